// The runner's tests on Windows: children through CreateProcessW with their output on pipes, and
// Ctrl+C as a console event. The first child gives this process a console of its own, shared
// only with its children, so that a CTRL_C_EVENT for "every process on the console" reaches the
// child and this process (which ignores it) and nothing else.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "cli/run_process.h"

namespace oskelon::test {
namespace {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE* out() { return &handle_; }
    void reset() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// A build path as CMake gives it under Wine ("/work/...") is a path on drive Z:.
std::wstring nativePath(const std::string& path) {
    std::wstring out = wide(path);
    if (!out.empty() && out[0] == L'/') out = L"Z:" + out;
    for (wchar_t& c : out) {
        if (c == L'/') c = L'\\';
    }
    return out;
}

// One argument as CommandLineToArgvW reads it back: quoted, with the backslashes before a quote
// doubled.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// Ctrl+C events this process has generated, and those that have reached it. Wine delivers an
// event some milliseconds after GenerateConsoleCtrlEvent returns, to the processes on the console
// by then: one meant for a child that has just ended could reach the next child while it starts
// (which then dies before it runs). runProcess waits until this process has had every event.
std::atomic<int> eventsGenerated{0};
std::atomic<int> eventsReceived{0};

// This process's answer to the console's control events: counted, nothing done. (Ignoring them
// with a null handler instead would be inherited by the children.)
BOOL WINAPI ignoreControlEvent(DWORD) {
    ++eventsReceived;
    return TRUE;
}

// Waits until every event generated so far has been delivered (a few milliseconds at most; the
// wait gives up after 5 s, and the next run then shows what went wrong).
void awaitGeneratedEvents() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (eventsReceived.load() < eventsGenerated.load() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void ensureOwnConsole() {
    static const bool done = [] {
        FreeConsole();  // fails when there was none
        if (!AllocConsole()) throw std::runtime_error("AllocConsole failed");
        if (!SetConsoleCtrlHandler(ignoreControlEvent, TRUE))
            throw std::runtime_error("SetConsoleCtrlHandler failed");
        return true;
    }();
    (void)done;
}

// Appends what the pipe holds now; false once the writer has closed it and it is empty.
bool drain(HANDLE pipe, std::string& into, bool& progressed) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    std::string buffer(available, '\0');
    DWORD read = 0;
    if (!ReadFile(pipe, buffer.data(), available, &read, nullptr)) return false;
    into.append(buffer, 0, read);
    progressed = progressed || read > 0;
    return true;
}

constexpr int kStartAttempts = 3;

// No child: exit code -1, and on the error output what failed, so that a test shows why.
ProcessResult failure(const char* what) {
    ProcessResult r;
    r.err = std::string("runProcess: ") + what + " failed, error " + std::to_string(GetLastError());
    return r;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd,
                         std::function<void(ProcessId, const std::string&)> onOutput) {
    ensureOwnConsole();
    awaitGeneratedEvents();
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle outRead, outWrite, errRead, errWrite, nul;
    if (!CreatePipe(outRead.out(), outWrite.out(), &inherit, 0) ||
        !CreatePipe(errRead.out(), errWrite.out(), &inherit, 0) ||
        !SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0) ||
        !SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0))
        return failure("the pipes");
    *nul.out() = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    if (nul.get() == INVALID_HANDLE_VALUE) return failure("NUL");

    const std::wstring application = nativePath(program);
    std::wstring line;
    appendQuoted(line, application);
    for (const std::string& a : args) {
        line += L' ';
        appendQuoted(line, wide(a));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    PROCESS_INFORMATION info{};
    const std::wstring directory = cwd.wstring();
    // Under Wine a start now and then fails with ERROR_INTERNAL_ERROR when children follow each
    // other closely (once in a stop storm's runs); such a start is tried again, a few times.
    bool started = false;
    for (int attempt = 0; attempt < kStartAttempts && !started; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, directory.c_str(), &startup, &info) != 0;
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) return failure("CreateProcessW");
    UniqueHandle process(info.hProcess), thread(info.hThread);
    outWrite.reset();  // the child holds the only write ends now
    errWrite.reset();

    ProcessResult result;
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        bool progressed = false;
        if (outOpen) {
            const std::size_t before = result.out.size();
            outOpen = drain(outRead.get(), result.out, progressed);
            if (result.out.size() > before && onOutput) onOutput(info.dwProcessId, result.out);
        }
        if (errOpen) errOpen = drain(errRead.get(), result.err, progressed);
        if (!progressed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process.get(), &code))
        result.exitCode = static_cast<int>(code);
    return result;
}

void interruptProcess(ProcessId) {
    ++eventsGenerated;
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
}

void requestTermination(ProcessId child) {
    interruptProcess(child);
}

void killProcess(ProcessId child) {
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(child)));
    if (process.get() != nullptr) TerminateProcess(process.get(), 137);
}

void setEnvironment(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}

void unsetEnvironment(const char* name) {
    _putenv_s(name, "");
}

std::vector<int> processCpus() {
    DWORD_PTR process = 0, system = 0;
    std::vector<int> cpus;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return cpus;
    for (int cpu = 0; cpu < 64; ++cpu) {
        if ((process >> cpu) & 1) cpus.push_back(cpu);
    }
    return cpus;
}

int threadCpu() {
    return static_cast<int>(GetCurrentProcessorNumber());
}

bool setProcessCpus(const std::vector<int>& cpus) {
    DWORD_PTR mask = 0;
    for (int cpu : cpus) mask |= DWORD_PTR{1} << cpu;
    return SetProcessAffinityMask(GetCurrentProcess(), mask) != 0;
}

std::optional<std::map<int, std::string>> namedThreadAffinities(ProcessId, const std::string&) {
    return std::nullopt;
}

}  // namespace oskelon::test
