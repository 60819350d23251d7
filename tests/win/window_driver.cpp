// The end-to-end test of oskelon.exe, run under Wine on a virtual X server: it starts the
// window in an empty records store and works it from outside as a user would, through its
// windows, buttons, keys and the clipboard, and checks what the user and the files see.
//
//   window_driver test <oskelon.exe> <work dir>
//       first start (the version message before the window shows), the window after start-up,
//       Ctrl+C, the About box, the question before a large size, a complete size-0 run with its
//       list, pi.dat (against the reference digests of pi), the registry values, "Record" and
//       Ctrl+C again, the thread choice of the system menu with a size-0 run on two threads,
//       "Stop" during a run on two threads with the choice locked, and the close box during a
//       run.
//   window_driver pose <oskelon.exe> <work dir> <done file>
//       first start and a size-0 run, then prints "window X Y WIDTH HEIGHT" (screen pixels) and
//       leaves the window as it is until <done file> exists; then closes it.
//
// Prints one line per failed check and a summary; exits 0 when every check passed.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/pi_reference.h"
#include "win/resource_ids.h"
#include "win/unique_handle.h"
#include "win32_probe.h"
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace oskelon::wintest {
namespace {

constexpr DWORD kWindowMs = 15'000;  // a window or box that follows an action
constexpr DWORD kRunMs = 90'000;     // a complete size-0 run, or the start of a large one
constexpr DWORD kQuietMs = 400;      // a list that does not grow for this long has stopped

// The window's contract, stated independently of its sources.
const wchar_t* const kMainCaption = L"Oskelon Version 1.2";
const wchar_t* const kAboutCaption = L"Oskelonのﾊﾞｰｼﾞｮﾝ情報";
const wchar_t* const kVersionMessage =
    L"Version1.0から1.1へのアップで、Codeの出力アルゴリズムが変更されたため\r\n記録を消去します";
const wchar_t* const kLargeSizeQuestion =
    L"メモリを大量に消費するため中断処理に時間がかかります\r\nそれでも実行しますか？";
const wchar_t* const kStopMessage =
    L"計算を中断します\r\n大きな桁数の計算を中断する場合\r\n中断処理に時間がかかります";
const wchar_t* const kSizeNames[] = {L"1.6万桁", L"3.2万桁", L"6.5万桁",  L"13万桁",
                                     L"26万桁",  L"52万桁",  L"104万桁",  L"209万桁",
                                     L"419万桁", L"838万桁", L"1677万桁", L"3355万桁"};
const char* const kValuePrefixes[] = {"1.6", "3.2", "6.5", "13",  "26",   "52",
                                      "104", "209", "419", "838", "1677", "3355"};
constexpr int kSizeCount = 12;
constexpr int kIdCalc = 1001, kIdCombo = 1005, kIdStop = 1007, kIdCopy = 1009, kIdRecord = 1010,
              kIdList = 1011;
// The first 50 digits of pi after the point.
const char* const kPiStart = "3.14159265358979323846264338327950288419716939937510";
constexpr DWORD kNoRecord = 0xFFFFFFFF;
const char* const kRecordsKey = "Software\\Fenwarren\\Oskelon";

struct Fatal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Checker {
  public:
    bool check(bool ok, const std::string& what, const std::string& detail = {}) {
        if (ok) {
            ++passed_;
        } else {
            ++failed_;
            std::printf("FAILED: %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ",
                        detail.c_str());
            std::fflush(stdout);
        }
        return ok;
    }
    // A failure after which the scenario cannot go on.
    void require(bool ok, const std::string& what, const std::string& detail = {}) {
        if (!check(ok, what, detail)) throw Fatal(what);
    }
    int passed() const { return passed_; }
    int failed() const { return failed_; }

  private:
    int passed_ = 0;
    int failed_ = 0;
};

void step(const char* what) {
    static const ULONGLONG start = GetTickCount64();
    std::printf("[%6.1f s] %s\n", static_cast<double>(GetTickCount64() - start) / 1000.0, what);
    std::fflush(stdout);
}

std::string quoted(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : utf8(text)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out + "\"";
}

// ---- The program under test ----

class Program {
  public:
    Program(const std::wstring& executable, const std::wstring& directory) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::wstring commandLine = L"\"" + executable + L"\"";
        if (!CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, directory.c_str(), &startup, &info))
            throw Fatal("cannot start " + utf8(executable));
        process_.reset(info.hProcess);
        win::KernelHandle thread(info.hThread);
        pid_ = info.dwProcessId;
    }
    // A program that is still running at the end of the test is ended.
    ~Program() {
        if (running()) {
            TerminateProcess(process_.get(), 99);
            WaitForSingleObject(process_.get(), 5000);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD pid() const { return pid_; }
    bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // Waits for the end; the exit code, or nothing on timeout.
    std::optional<DWORD> waitForExit(DWORD timeoutMs) const {
        if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        if (!GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
        return code;
    }

  private:
    win::KernelHandle process_;
    DWORD pid_ = 0;
};

struct Buttons {
    bool calc, stop, copy, record;
    bool operator==(const Buttons&) const = default;
    std::string text() const {
        auto state = [](bool on) { return on ? "on" : "off"; };
        return std::string("Calc ") + state(calc) + ", Stop " + state(stop) + ", Copy " +
               state(copy) + ", Record " + state(record);
    }
};

struct MainWindow {
    HWND dialog, calc, combo, stop, copy, list, record, progress, status;

    explicit MainWindow(HWND window)
        : dialog(window),
          calc(GetDlgItem(window, kIdCalc)),
          combo(GetDlgItem(window, kIdCombo)),
          stop(GetDlgItem(window, kIdStop)),
          copy(GetDlgItem(window, kIdCopy)),
          list(GetDlgItem(window, kIdList)),
          record(GetDlgItem(window, kIdRecord)),
          progress(GetDlgItem(window, IDC_PROGRESS)),
          status(GetDlgItem(window, IDC_STATUS)) {}

    Buttons buttons() const {
        return {IsWindowEnabled(calc) != FALSE, IsWindowEnabled(stop) != FALSE,
                IsWindowEnabled(copy) != FALSE, IsWindowEnabled(record) != FALSE};
    }
    std::vector<std::wstring> lines() const { return listBoxLines(list); }
    int selectedSize() const { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }
    void selectSize(int index) const { SendMessageW(combo, CB_SETCURSEL, index, 0); }
};

// A message box of the program with the caption; its text, and OK (or another answer) pressed.
HWND waitForBox(const Program& program, const wchar_t* caption, DWORD timeoutMs = kWindowMs) {
    return waitForTopLevel(program.pid(), L"#32770", caption, timeoutMs);
}

void answer(Checker& checker, HWND box, int id, const std::string& what) {
    command(box, id);
    checker.check(waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, kWindowMs),
                  what + " closes");
}

// The CPUs a process of this system may run on, which the choice counts as all.
int usableCpus() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
    int count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
}

// A choice of the thread count as the system menu sends it, also when the menu would not.
void postThreadsChoice(HWND dialog, int count) {
    PostMessageW(dialog, WM_SYSCOMMAND, IDM_THREADS_FIRST + 16 * count, 0);
}

// ---- Records, files ----

struct RegValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes;

    DWORD dword() const {
        DWORD value = 0;
        if (bytes.size() == sizeof value) std::memcpy(&value, bytes.data(), sizeof value);
        return value;
    }
    // An REG_SZ text without its terminating NUL (which must be there).
    std::string text() const { return bytes.empty() ? bytes : bytes.substr(0, bytes.size() - 1); }
    bool terminated() const { return !bytes.empty() && bytes.back() == '\0'; }
};

RegValue readValue(const char* name) {
    RegValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRecordsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return value;
    char buffer[1024];
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size) ==
        ERROR_SUCCESS) {
        value.present = true;
        value.bytes.assign(buffer, size);
    }
    RegCloseKey(key);
    return value;
}

std::string readFile(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::vector<std::wstring> directoryEntries(const std::wstring& directory) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

// pi.dat of a complete run: "3.", the digits, "e0" and one line end; the digits pi's, as far as
// the reference says every correct run gets them right.
void checkPiDat(Checker& checker, const std::string& content, int digits) {
    const std::size_t end = 2 + static_cast<std::size_t>(digits);
    checker.check(content.rfind(kPiStart, 0) == 0, "pi.dat starts with 3.14159...",
                  content.substr(0, 60));
    const bool framed = content.size() > end + 2 && content.compare(end, 2, "e0") == 0 &&
                        (content.substr(end + 2) == "\r\n" || content.substr(end + 2) == "\n");
    checker.check(framed, "pi.dat is one line of " + std::to_string(digits) + " digits and e0",
                  std::to_string(content.size()) + " bytes");
    if (!framed) return;
    checker.check(content.find_first_not_of("0123456789", 2) == end, "pi.dat holds digits only");
    const PiReferenceEntry* reference = findPiReference(digits);
    checker.require(reference != nullptr, "a reference for " + std::to_string(digits) + " digits");
    const XXH128_hash_t hash =
        XXH3_128bits(content.data() + 2, static_cast<std::size_t>(reference->checkedDigits));
    checker.check(hash.high64 == reference->digestHigh && hash.low64 == reference->digestLow,
                  "pi.dat's digits match the reference digest");
    checker.check(
        content.compare(2 + static_cast<std::size_t>(reference->checkedDigits) - kPiTailDigits,
                        kPiTailDigits, reference->tail) == 0,
        "pi.dat's digits end as the reference's");
}

// The records view as the list shows it and as the clipboard gets it, from the registry.
struct RecordsView {
    std::vector<std::wstring> lines;
    std::wstring text;
};

std::wstring widen(const std::string& text) {
    std::wstring wide;
    for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;  // the store's texts are ASCII
}

RecordsView expectedRecords() {
    RecordsView view;
    view.lines = {L"<Oskelon result>", L""};
    view.text = L"<Oskelon result>\r\n\r\n";
    for (int i = 0; i < kSizeCount; ++i) {
        const std::string prefix = kValuePrefixes[i];
        const DWORD seconds = readValue((prefix + "s").c_str()).dword();
        const std::wstring name = kSizeNames[i];
        if (seconds == kNoRecord) {
            view.lines.push_back(L"未計算 : [" + name + L"]");
            view.text += view.lines.back() + L"\r\n";
            continue;
        }
        const std::vector<std::wstring> record = {
            L"<" + name + L">", L"[total]:" + std::to_wstring(static_cast<int>(seconds)) + L"s",
            L"[code]:" + widen(readValue((prefix + "c").c_str()).text()),
            L"[os]:" + widen(readValue((prefix + "o").c_str()).text())};
        for (const auto& line : record) {
            view.lines.push_back(line);
            view.text += line + L"\r\n";
        }
        view.lines.push_back(L"");
        view.text += L"\r\n";
    }
    return view;
}

// ---- The scenario ----

class Scenario {
  public:
    Scenario(Checker& checker, std::wstring executable, std::wstring directory)
        : checker_(checker),
          executable_(std::move(executable)),
          directory_(std::move(directory)),
          clipboardOwner_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          nullptr, nullptr)) {}
    ~Scenario() {
        if (clipboardOwner_ != nullptr) DestroyWindow(clipboardOwner_);
    }
    Scenario(const Scenario&) = delete;
    Scenario& operator=(const Scenario&) = delete;

    void runTest() {
        firstStart();
        afterStartUp();
        aboutBox();
        questionAnsweredNo();
        sizeZeroRun();
        recordView();
        twoThreads();
        stopDuringRun();
        closeDuringRun();
    }

    void pose(const std::wstring& doneFile) {
        firstStart();
        sizeZeroRun();
        RECT frame{};
        GetWindowRect(window_->dialog, &frame);
        std::printf("window %ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                    frame.bottom - frame.top);
        std::fflush(stdout);
        checker_.check(
            waitFor([&] { return GetFileAttributesW(doneFile.c_str()) != INVALID_FILE_ATTRIBUTES; },
                    120'000),
            "the screenshot is taken");
        PostMessageW(window_->dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        checker_.check(program_->waitForExit(kWindowMs).has_value(), "the window closes");
    }

  private:
    // The version message of an empty store comes before the window shows.
    void firstStart() {
        step("first start");
        program_ = std::make_unique<Program>(executable_, directory_);
        HWND box = waitForBox(*program_, L"", 60'000);
        checker_.require(box != nullptr, "the version message comes up");
        checker_.check(messageBoxText(box) == kVersionMessage, "the version message's text",
                       quoted(messageBoxText(box)));
        checker_.check(findTopLevel(program_->pid(), nullptr, kMainCaption) == nullptr,
                       "the window is not shown before the version message is closed");
        checker_.check(readValue("1.6s").present == false,
                       "the records are reset only after the message is closed");
        answer(checker_, box, IDOK, "the version message");
        HWND dialog = waitForTopLevel(program_->pid(), L"#32770", kMainCaption, kWindowMs);
        checker_.require(dialog != nullptr, "the window \"Oskelon Version 1.2\" shows");
        window_ = std::make_unique<MainWindow>(dialog);
    }

    void afterStartUp() {
        step("after start-up");
        const MainWindow& w = *window_;
        const std::vector<std::wstring> items = comboItems(w.combo);
        checker_.check(items == std::vector<std::wstring>(kSizeNames, kSizeNames + kSizeCount),
                       "the size list holds the twelve sizes in order");
        checker_.check(w.selectedSize() == 6, "size 6 (104万桁) is selected");
        checker_.check(w.buttons() == Buttons{true, false, true, true}, "buttons after start-up",
                       w.buttons().text());
        checker_.check(readValue("ver1.1").type == REG_DWORD && readValue("ver1.1").dword() == 1,
                       "\"ver1.1\" is the DWORD 1");
        for (int i = 0; i < kSizeCount; ++i) {
            const std::string prefix = kValuePrefixes[i];
            const RegValue seconds = readValue((prefix + "s").c_str());
            const RegValue code = readValue((prefix + "c").c_str());
            const RegValue os = readValue((prefix + "o").c_str());
            checker_.check(seconds.type == REG_DWORD && seconds.dword() == kNoRecord &&
                               code.type == REG_SZ && code.bytes == std::string(1, '\0') &&
                               os.type == REG_SZ && os.bytes == std::string(1, '\0'),
                           "the reset record of size " + prefix);
        }
        const RecordsView view = expectedRecords();
        checker_.check(view.lines.size() == 14 && w.lines() == view.lines,
                       "the list shows the empty records view");
        copyWithKeys("the records text after start-up", view.text);
    }

    // Puts a sentinel on the clipboard, types Ctrl+C and gives the clipboard's text once the
    // program has replaced it within waitMs, or nothing. The clipboard is read only after its
    // sequence number has changed: reading it meanwhile would hold it open against the program.
    std::optional<std::wstring> copyWithCtrlC(DWORD waitMs) {
        checker_.require(setClipboardText(clipboardOwner_, L"sentinel"), "the clipboard is set");
        DWORD sequence = GetClipboardSequenceNumber();
        checker_.require(typeKeys(window_->dialog, {VK_CONTROL, 'C'}), "Ctrl+C is typed");
        std::optional<std::wstring> text;
        waitFor(
            [&] {
                if (GetClipboardSequenceNumber() == sequence) return false;
                sequence = GetClipboardSequenceNumber();
                text = clipboardText();
                return text && *text != L"sentinel";
            },
            waitMs);
        if (text && *text == L"sentinel") text.reset();
        return text;
    }

    // Ctrl+C through the keyboard; the clipboard then holds expected, also as CF_TEXT.
    void copyWithKeys(const std::string& what, const std::wstring& expected) {
        const std::optional<std::wstring> text = copyWithCtrlC(kWindowMs);
        checker_.check(text && *text == expected, "Ctrl+C copies " + what,
                       text ? quoted(*text) : "no text");
        checker_.check(clipboardHasAnsiText(), "the clipboard offers CF_TEXT as well");
    }

    // Ctrl+C while "Copy" is disabled leaves the clipboard alone.
    void copyWithKeysDoesNothing(const std::string& what) {
        const std::optional<std::wstring> text = copyWithCtrlC(kQuietMs);
        checker_.check(!text, "Ctrl+C copies nothing " + what, text ? quoted(*text) : "");
    }

    void aboutBox() {
        step("About box");
        PostMessageW(window_->dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND about = waitForBox(*program_, kAboutCaption);
        checker_.require(about != nullptr, "the system menu's About item opens the About box");
        bool versionShown = false;
        bool iconShown = false;
        for (HWND label : childrenOfClass(about, L"Static")) {
            versionShown = versionShown || windowText(label) == kMainCaption;
            iconShown = iconShown || SendMessageW(label, STM_GETICON, 0, 0) != 0;
        }
        checker_.check(versionShown, "the About box shows \"Oskelon Version 1.2\"");
        checker_.check(iconShown, "the About box shows the icon");
        answer(checker_, about, IDOK, "the About box's OK");
    }

    void questionAnsweredNo() {
        step("question before size 8, answered No");
        const MainWindow& w = *window_;
        const std::vector<std::wstring> before = w.lines();
        w.selectSize(8);
        click(w.calc);
        HWND box = waitForBox(*program_, L"");
        checker_.require(box != nullptr, "\"Calc\" on size 8 asks first");
        checker_.check(messageBoxText(box) == kLargeSizeQuestion, "the question's text",
                       quoted(messageBoxText(box)));
        checker_.check(GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr,
                       "the question has Yes and No");
        answer(checker_, box, IDNO, "the question");
        checker_.check(w.buttons() == Buttons{true, false, true, true} && w.lines() == before,
                       "No leaves the buttons and the list as they were");
    }

    void sizeZeroRun() {
        step("size-0 run");
        const MainWindow& w = *window_;
        w.selectSize(0);
        click(w.calc);
        HWND end = waitForBox(*program_, L"", kRunMs);
        checker_.require(end != nullptr && messageBoxText(end) == L"end of calculating",
                         "the run ends with \"end of calculating\"",
                         end ? quoted(messageBoxText(end)) : "no box");
        checker_.check(w.buttons() == Buttons{true, false, true, true},
                       "buttons when the run has ended", w.buttons().text());
        answer(checker_, end, IDOK, "\"end of calculating\"");
        waitFor([&] { return windowText(w.status).find(L" ms") != std::wstring::npos; }, kWindowMs);
        const std::wstring status = windowText(w.status);
        checker_.check(
            std::regex_match(utf8(status), std::regex("1\\.6万桁: [0-9]+\\.[0-9]{3} ms, verified")),
            "the status line has the time and the verdict", quoted(status));
        checker_.check(SendMessageW(w.progress, PBM_GETPOS, 0, 0) ==
                           SendMessageW(w.progress, PBM_GETRANGE, FALSE, 0),
                       "the progress bar is full");

        // The list: start, plan, the iterations in order, total, output and code lines.
        const std::vector<std::wstring> lines = w.lines();
        std::smatch match;
        std::string all;
        for (const auto& line : lines) all += utf8(line) + "|";
        checker_.require(lines.size() >= 10, "the run's list", all);
        checker_.check(lines[0] == L"initializing..." && lines[1] == L"use memory 144 KB",
                       "the list starts with the start and memory lines", all);
        const std::string digitsLine = utf8(lines[2]);
        checker_.require(std::regex_match(digitsLine, match,
                                          std::regex("calculating PI in ([0-9]+) digits\\.\\.\\.")),
                         "the digits line", digitsLine);
        digits_ = std::stoi(match[1]);
        checker_.check(digits_ == 4096 || digits_ == 8192 || digits_ == 12288 || digits_ == 16384,
                       "4096 words of 1 to 4 digits", digitsLine);
        checker_.check(
            lines[3].empty() &&
                std::regex_match(utf8(lines[4]), std::regex("AGM iteration past [0-9.e+-]+ sec")),
            "the setup line", all);
        std::size_t next = 5;
        int loops = 0;
        const std::regex loopLine("loop ([0-9]+) +past [0-9.e+-]+ sec");
        for (std::string line; next < lines.size(); ++next, ++loops) {
            line = utf8(lines[next]);
            if (!std::regex_match(line, match, loopLine)) break;
            checker_.check(std::stoi(match[1]) == loops + 1, "loop lines count up from 1", all);
        }
        // A size-0 run at four digits per word takes ten iterations.
        if (digits_ == 16384) checker_.check(loops == 10, "ten AGM iterations", all);
        checker_.require(lines.size() == next + 4, "four lines after the loop", all);
        checker_.check(
            lines[next].empty() &&
                std::regex_match(utf8(lines[next + 1]), std::regex("total [0-9.e+-]+ sec\\.")) &&
                lines[next + 2] == L"writing pi.dat...",
            "the total and output lines", all);
        const std::string codeLine = utf8(lines[next + 3]);
        checker_.require(std::regex_match(codeLine, match, std::regex("Code ([0-9A-F]{1,8})")),
                         "the code line", codeLine);
        code_ = match[1];
        const double totalSeconds = std::stod(utf8(lines[next + 1]).substr(6));  // "total " ...

        // pi.dat, and nothing else beside it.
        piDat_ = readFile(directory_ + L"\\pi.dat");
        checkPiDat(checker_, piDat_, digits_);
        checker_.check(directoryEntries(directory_) == std::vector<std::wstring>{L"pi.dat"},
                       "the work directory holds pi.dat only");

        // The record of size 0: the run's time, its code and the system, as REG_DWORD and
        // REG_SZ values with their terminating NUL.
        const RegValue seconds = readValue("1.6s");
        const RegValue code = readValue("1.6c");
        const RegValue os = readValue("1.6o");
        checker_.check(seconds.type == REG_DWORD && seconds.bytes.size() == 4 &&
                           seconds.dword() == static_cast<DWORD>(totalSeconds),
                       "\"1.6s\" is the run's whole seconds as a DWORD",
                       std::to_string(seconds.dword()));
        checker_.check(code.type == REG_SZ && code.terminated() && code.text() == code_,
                       "\"1.6c\" is the code line's code, NUL-terminated", code.text());
        checker_.check(os.type == REG_SZ && os.terminated() && os.text().rfind("Windows", 0) == 0,
                       "\"1.6o\" describes the Windows version, NUL-terminated", os.text());
        checker_.check(readValue("3.2s").dword() == kNoRecord, "other sizes keep no record");
    }

    // The job's log: its lines as the run wrote them, with CR LF.
    void recordView() {
        step("Ctrl+C after the run, then Record");
        const MainWindow& w = *window_;
        const std::optional<std::wstring> log = copyWithCtrlC(kWindowMs);
        const std::wstring start = L"initializing...\r\nuse memory 144 KB\r\ncalculating PI in " +
                                   std::to_wstring(digits_) +
                                   L" digits...\r\n\r\nAGM iteration \tpast ";
        const std::wstring end = L"\r\nwriting pi.dat...\r\nCode " + widen(code_) + L"\r\n";
        checker_.check(log && log->rfind(start, 0) == 0 && log->size() > end.size() &&
                           log->compare(log->size() - end.size(), end.size(), end) == 0 &&
                           log->find(L"\r\nloop 1\t\tpast ") != std::wstring::npos,
                       "Ctrl+C after the run copies the job's log", log ? quoted(*log) : "none");

        click(w.record);
        const RecordsView view = expectedRecords();
        checker_.check(
            waitFor([&] { return w.lines() == view.lines; }, kWindowMs) && view.lines.size() == 18,
            "\"Record\" lists the size-0 record and eleven empty ones");
        checker_.check(view.lines[2] == L"<1.6万桁>" && view.lines[4] == L"[code]:" + widen(code_),
                       "the record's name and code");
        copyWithKeys("the records text after Record", view.text);
    }

    // The program's open menus: the system menu and a submenu opened from it.
    std::size_t openMenus() const { return topLevels(program_->pid(), L"#32768").size(); }

    // Alt+Space opens the system menu, Up moves to its last entry, "Threads", and Right opens
    // that when it can be opened. Whether it opened; the system menu itself must come.
    bool openThreadsMenu() {
        checker_.require(typeKeys(window_->dialog, {VK_MENU, VK_SPACE}), "Alt+Space is typed");
        checker_.require(waitFor([&] { return openMenus() == 1; }, kWindowMs),
                         "Alt+Space opens the system menu");
        pressKeys({VK_UP});
        pressKeys({VK_RIGHT});
        return waitFor([&] { return openMenus() == 2; }, kQuietMs);
    }

    // The same through the context menu, as a right click on the list opens it.
    bool openContextThreadsMenu() {
        const MainWindow& w = *window_;
        SetForegroundWindow(w.dialog);
        checker_.require(waitFor([&] { return GetForegroundWindow() == w.dialog; }, kWindowMs),
                         "the window comes to the foreground");
        RECT list{};
        GetWindowRect(w.list, &list);
        PostMessageW(w.dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(w.list),
                     MAKELPARAM(list.left + 20, list.top + 20));
        checker_.require(waitFor([&] { return openMenus() == 1; }, kWindowMs),
                         "a right click on the list opens the context menu");
        pressKeys({VK_UP});
        pressKeys({VK_RIGHT});
        return waitFor([&] { return openMenus() == 2; }, kQuietMs);
    }

    // Item (from 0) of the open "Threads" submenu, with Down and Enter, as a user would choose it.
    void chooseThreadsItem(int item) {
        for (int i = 0; i < item; ++i) pressKeys({VK_DOWN});
        pressKeys({VK_RETURN});
        checker_.check(waitFor([&] { return openMenus() == 0; }, kWindowMs),
                       "the menu closes with the choice");
    }

    // Closes the open menus, as a click elsewhere would.
    void closeMenus() {
        PostMessageW(window_->dialog, WM_CANCELMODE, 0, 0);
        checker_.check(waitFor([&] { return openMenus() == 0; }, kWindowMs), "the menus close");
    }

    // The thread choice of the system menu (the runs before took the default, one thread: their
    // status line names no threads). Two threads compute the same pi.dat as one, leave the
    // classic record alone and are named in the status line.
    void twoThreads() {
        step("thread choice, a size-0 run on two threads");
        const MainWindow& w = *window_;
        const bool opened = openThreadsMenu();
        checker_.require(opened, "the system menu's \"Threads\" entry opens");
        if (usableCpus() < 2) {
            closeMenus();
            std::printf("a single CPU: no run on two threads\n");
            return;
        }
        chooseThreadsItem(1);  // "2 threads", or "all 2 threads" on two CPUs
        checker_.check(waitFor([&] { return windowText(w.status) == L"2 threads"; }, kWindowMs),
                       "the status line says \"2 threads\"", quoted(windowText(w.status)));

        const RegValue classicSeconds = readValue("1.6s");
        const RegValue classicCode = readValue("1.6c");
        w.selectSize(0);
        click(w.calc);
        HWND end = waitForBox(*program_, L"", kRunMs);
        checker_.require(end != nullptr && messageBoxText(end) == L"end of calculating",
                         "the run on two threads ends with \"end of calculating\"",
                         end ? quoted(messageBoxText(end)) : "no box");
        answer(checker_, end, IDOK, "\"end of calculating\"");
        waitFor([&] { return windowText(w.status).find(L" ms") != std::wstring::npos; }, kWindowMs);
        checker_.check(std::regex_match(utf8(windowText(w.status)),
                                        std::regex("1\\.6万桁 on 2 threads: [0-9]+\\.[0-9]{3} ms, "
                                                   "verified")),
                       "the status line names the run's two threads", quoted(windowText(w.status)));
        checker_.check(readFile(directory_ + L"\\pi.dat") == piDat_,
                       "pi.dat of two threads is byte for byte the one of one thread");
        checker_.check(readValue("1.6s").bytes == classicSeconds.bytes &&
                           readValue("1.6c").bytes == classicCode.bytes,
                       "the run on two threads leaves the classic record alone");
        const std::vector<std::wstring> lines = w.lines();
        std::string all;
        for (const auto& line : lines) all += utf8(line) + "|";
        checker_.check(
            lines.size() > 4 &&
                lines[2] == L"calculating PI in " + std::to_wstring(digits_) + L" digits..." &&
                lines[3] == L"use 2 threads",
            "the digits line, then \"use 2 threads\"", all);
        checker_.check(SendMessageW(w.progress, PBM_GETPOS, 0, 0) ==
                               SendMessageW(w.progress, PBM_GETRANGE, FALSE, 0) &&
                           SendMessageW(w.progress, PBM_GETRANGE, FALSE, 0) ==
                               static_cast<LRESULT>(lines.size()),
                       "the progress bar is full, one step per line",
                       std::to_string(SendMessageW(w.progress, PBM_GETRANGE, FALSE, 0)));
    }

    // A run in its AGM loop, which adds a list line every few hundred milliseconds at size 9.
    static bool waitForIterations(const MainWindow& w) {
        return waitFor(
            [&] {
                const std::vector<std::wstring> lines = w.lines();
                return lines.size() > 5 && lines.back().rfind(L"loop ", 0) == 0;
            },
            kRunMs);
    }

    // "Stop" on size 9 (after Yes) in the middle of the run: the job writes nothing more, the
    // buttons come back.
    void stopDuringRun() {
        step("Stop during a size-9 run");
        const MainWindow& w = *window_;
        w.selectSize(9);
        click(w.calc);
        HWND question = waitForBox(*program_, L"");
        checker_.require(question != nullptr && messageBoxText(question) == kLargeSizeQuestion,
                         "\"Calc\" on size 9 asks first");
        answer(checker_, question, IDYES, "the question");
        checker_.require(waitForIterations(w), "the run reaches its first iteration");
        checker_.check(w.buttons() == Buttons{false, true, false, false}, "buttons during a run",
                       w.buttons().text());
        copyWithKeysDoesNothing("during a run");
        if (usableCpus() >= 2) {
            // The choice is locked while the job runs; one that comes anyway changes nothing.
            checker_.check(!openThreadsMenu(), "the \"Threads\" entry does not open during a run");
            closeMenus();
            postThreadsChoice(w.dialog, 1);
            waitFor([] { return false; }, kQuietMs);
            checker_.check(windowText(w.status) == L"838万桁 on 2 threads: running...",
                           "a choice during the run changes nothing", quoted(windowText(w.status)));
        }
        click(w.stop);
        HWND box = waitForBox(*program_, L"");
        checker_.require(box != nullptr, "\"Stop\" shows its message");
        checker_.check(messageBoxText(box) == kStopMessage, "the stop message's text",
                       quoted(messageBoxText(box)));
        const std::size_t shown = w.lines().size();
        waitFor([] { return false; }, kQuietMs);
        checker_.check(w.lines().size() == shown, "the list no longer grows under the message");
        checker_.check(IsWindowEnabled(w.stop) == FALSE, "\"Stop\" is disabled at once");
        answer(checker_, box, IDOK, "the stop message");
        HWND stopped = waitForBox(*program_, L"");
        checker_.require(stopped != nullptr && messageBoxText(stopped) == L"stop of calculating",
                         "then \"stop of calculating\"",
                         stopped ? quoted(messageBoxText(stopped)) : "no box");
        checker_.check(w.buttons() == Buttons{true, false, false, true}, "buttons after Stop",
                       w.buttons().text());
        answer(checker_, stopped, IDOK, "\"stop of calculating\"");
        checker_.check(readFile(directory_ + L"\\pi.dat") == piDat_ &&
                           directoryEntries(directory_) == std::vector<std::wstring>{L"pi.dat"},
                       "the stopped run left pi.dat as it was and no other file");
        checker_.check(readValue("838s").dword() == kNoRecord, "the stopped run wrote no record");
        const std::wstring threads = usableCpus() >= 2 ? L" on 2 threads" : L"";
        checker_.check(windowText(w.status) == L"838万桁" + threads + L": stopped",
                       "the status line says stopped", quoted(windowText(w.status)));
        if (usableCpus() >= 2) {
            // Back to the classic run, in the context menu: the status line has no count to show.
            checker_.require(openContextThreadsMenu(),
                             "the context menu's \"Threads\" entry opens after Stop");
            chooseThreadsItem(0);
            checker_.check(waitFor([&] { return windowText(w.status).empty(); }, kWindowMs),
                           "one thread again empties the status line",
                           quoted(windowText(w.status)));
        }
    }

    // Esc during a run ends the program at once and cleanly.
    void closeDuringRun() {
        step("Esc during a size-9 run");
        const MainWindow& w = *window_;
        click(w.calc);
        HWND question = waitForBox(*program_, L"");
        checker_.require(question != nullptr, "\"Calc\" on size 9 asks again");
        answer(checker_, question, IDYES, "the question");
        checker_.require(waitForIterations(w), "the second run reaches its first iteration");
        checker_.require(typeKeys(w.dialog, {VK_ESCAPE}), "Esc is typed");
        const std::optional<DWORD> exitCode = program_->waitForExit(kWindowMs);
        checker_.check(exitCode.has_value() && *exitCode == 0,
                       "Esc during a run ends the program with exit code 0",
                       exitCode ? std::to_string(*exitCode) : "still running");
        checker_.check(readFile(directory_ + L"\\pi.dat") == piDat_ &&
                           directoryEntries(directory_) == std::vector<std::wstring>{L"pi.dat"},
                       "the closed run left pi.dat as it was and no other file");
        checker_.check(readValue("838s").dword() == kNoRecord, "the closed run wrote no record");
    }

    Checker& checker_;
    std::wstring executable_;
    std::wstring directory_;
    HWND clipboardOwner_;
    std::unique_ptr<Program> program_;
    std::unique_ptr<MainWindow> window_;
    int digits_ = 0;
    std::string code_;
    std::string piDat_;
};

}  // namespace
}  // namespace oskelon::wintest

int wmain(int argc, wchar_t** argv) {
    using namespace oskelon::wintest;
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (!((mode == L"test" && argc == 4) || (mode == L"pose" && argc == 5))) {
        std::fprintf(stderr,
                     "usage: window_driver test <oskelon.exe> <work dir>\n"
                     "       window_driver pose <oskelon.exe> <work dir> <done file>\n");
        return 2;
    }
    Checker checker;
    try {
        Scenario scenario(checker, argv[2], argv[3]);
        if (mode == L"test")
            scenario.runTest();
        else
            scenario.pose(argv[4]);
    } catch (const Fatal& fatal) {
        std::printf("stopped after: %s\n", fatal.what());
    }
    step("done");
    std::printf("window: %d passed, %d failed\n", checker.passed(), checker.failed());
    return checker.failed() == 0 ? 0 : 1;
}
