// The runner's platform part on Windows: a console control handler turns Ctrl+C, Ctrl+Break and
// the console's close into the runner's stop path, an event wakes the waiting thread, the
// console shows UTF-8 and the arguments come from the wide command line.
//
// The handler runs on a thread the system starts for each control event. Until a waiter exists
// it ends the process with kExitInterrupted (a process without a handler ends with an exit code
// that differs between Windows and Wine, where it is 0). From the first waiter on it only records
// the interruption and sets the event; for the console's close it then holds the system's thread
// until the stop path has ended the process, which the system allows for about five seconds.
#include <windows.h>
// after windows.h, which it needs
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/exit_codes.h"
#include "cli/runner_platform.h"
#include "platform/unique_handle.h"
#include "platform/windows_text.h"

namespace oskelon {
namespace {

// What the control handler and the waiter share; it lives as long as the process, so that a
// handler thread that runs while the process ends still finds it.
struct ConsoleInterrupt {
    std::atomic<bool> armed{false};  // a waiter took interruptions over
    std::atomic<bool> interrupted{false};
    // Auto-reset: set by wake() and by an interruption, reset by the wait it ends.
    KernelHandle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

ConsoleInterrupt& consoleInterrupt() {
    static ConsoleInterrupt state;
    return state;
}

// The first failed write to standard output: an errno, or the system's error code of a console
// write. Written once, by the first failure; read after noted.
struct FirstOutputError {
    std::atomic<bool> claimed{false};
    std::atomic<bool> noted{false};
    int errnoValue = 0;
    DWORD consoleError = 0;
};

FirstOutputError& firstStandardOutputError() {
    static FirstOutputError first;
    return first;
}

void noteStandardOutputError(int errnoValue, DWORD consoleError) {
    FirstOutputError& first = firstStandardOutputError();
    if (first.claimed.exchange(true)) return;
    first.errnoValue = errnoValue;
    first.consoleError = consoleError;
    first.noted.store(true);
}

BOOL WINAPI onConsoleControl(DWORD type) {
    ConsoleInterrupt& state = consoleInterrupt();
    if (!state.armed.load()) {
        TerminateProcess(GetCurrentProcess(), kExitInterrupted);
        return TRUE;
    }
    state.interrupted.store(true);
    SetEvent(state.event.get());
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        // Returning would let the system end the process at once, before the stop path.
        Sleep(INFINITE);
    }
    return TRUE;
}

// The console's output code page for the life of the process, then the one it had: the console
// belongs to the shell that started the runner as well.
class Utf8Console {
  public:
    Utf8Console() : previous_(GetConsoleOutputCP()) {
        // Both fail without a console (output to a pipe or file), where the bytes pass unchanged.
        if (previous_ != 0 && previous_ != CP_UTF8 && !SetConsoleOutputCP(CP_UTF8)) previous_ = 0;
    }
    ~Utf8Console() {
        if (previous_ != 0 && previous_ != CP_UTF8) SetConsoleOutputCP(previous_);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    UINT previous_;
};

struct LocalFreeDeleter {
    void operator()(LPWSTR* p) const { LocalFree(p); }
};

}  // namespace

std::vector<std::string> prepareRunnerProcess(int argc, char** argv) {
    static Utf8Console console;
    // Failing only when the handler table is full; the system's default action then remains.
    SetConsoleCtrlHandler(onConsoleControl, TRUE);

    // argv holds the arguments in the ANSI code page, which cannot hold every text (such as the
    // size name "104万桁" on a Western system); the wide command line can.
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (wide == nullptr || count != argc) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(utf8FromWide(wide.get()[i]));
    return arguments;
}

InterruptWaiter::InterruptWaiter() {
    ConsoleInterrupt& state = consoleInterrupt();
    if (state.event.get() == nullptr) throw std::runtime_error("cannot create an event");
    state.armed.store(true);
}

// Stays armed: an interruption after the wait is ignored, as on Linux.
InterruptWaiter::~InterruptWaiter() = default;

InterruptWaiter::Wake InterruptWaiter::wait() {
    return waitUntil(std::chrono::steady_clock::time_point::max());
}

InterruptWaiter::Wake InterruptWaiter::waitUntil(std::chrono::steady_clock::time_point deadline) {
    ConsoleInterrupt& state = consoleInterrupt();
    while (true) {
        if (state.interrupted.load()) return Wake::Interrupted;
        DWORD timeout = INFINITE;
        if (deadline != std::chrono::steady_clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return Wake::TimedOut;
            // Long budgets are waited for in pieces below INFINITE.
            timeout = static_cast<DWORD>(std::min<long long>(left.count(), 0x7fffffff));
        }
        const DWORD waited = WaitForSingleObject(state.event.get(), timeout);
        if (waited == WAIT_OBJECT_0)
            return state.interrupted.load() ? Wake::Interrupted : Wake::Woken;
        if (waited == WAIT_TIMEOUT) continue;  // the deadline is checked above
        throw std::runtime_error("waiting for the workers failed: error " +
                                 std::to_string(GetLastError()));
    }
}

void InterruptWaiter::wake() {
    SetEvent(consoleInterrupt().event.get());
}

bool writeText(std::FILE* stream, const std::string& text) {
    std::fflush(stream);
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        // A pipe or file: text mode, CR LF line ends.
        const bool written = std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
        if (!written && stream == stdout) noteStandardOutputError(errno, 0);
        return written;
    }
    std::wstring wide;
    for (wchar_t c : wideFromUtf8(text)) {
        if (c == L'\n') wide += L'\r';
        wide += c;
    }
    for (std::size_t done = 0; done < wide.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr) || written == 0) {
            // As a failed fputs: the output is lost, the run goes on.
            if (stream == stdout) noteStandardOutputError(0, GetLastError());
            return false;
        }
        done += written;
    }
    return true;
}

std::optional<std::string> standardOutputFailure() {
    if (std::fflush(stdout) != 0) noteStandardOutputError(errno, 0);
    const FirstOutputError& first = firstStandardOutputError();
    if (!std::ferror(stdout) && !first.noted.load()) return std::nullopt;
    if (first.consoleError != 0)
        return "the console refused the text (error " + std::to_string(first.consoleError) + ")";
    return std::strerror(first.errnoValue != 0 ? first.errnoValue : EIO);
}

void nameCurrentThread(const std::string& name) {
    // SetThreadDescription exists from Windows 10 1607 on; looked up so that the runner still
    // starts on systems without it.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    const auto set = reinterpret_cast<SetDescription>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetThreadDescription")));
    if (set == nullptr) return;
    const std::wstring wide = wideFromUtf8(name);
    set(GetCurrentThread(), wide.c_str());  // a name is a convenience: its failure is ignored
}

std::optional<std::uint64_t> systemAvailableMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return std::nullopt;
    return status.ullAvailPhys;
}

}  // namespace oskelon
