#include "win32_probe.h"

#include <cstring>

#include "win/unique_handle.h"

namespace oskelon::wintest {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return "?";
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring windowText(HWND window) {
    // WM_GETTEXT rather than GetWindowTextW: the latter does not ask another process's controls.
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256];
    const int length = GetClassNameW(window, name, 256);
    return length > 0 ? std::wstring(name, static_cast<std::size_t>(length)) : std::wstring();
}

namespace {

struct TopLevelSearch {
    DWORD pid;
    const wchar_t* windowClass;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK matchTopLevel(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<TopLevelSearch*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search.pid || !IsWindowVisible(window)) return TRUE;
    if (search.windowClass != nullptr && className(window) != search.windowClass) return TRUE;
    if (search.caption != nullptr && windowText(window) != search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

struct TopLevelList {
    DWORD pid;
    const wchar_t* windowClass;
    std::vector<HWND> found;
};

BOOL CALLBACK listTopLevel(HWND window, LPARAM data) {
    auto& list = *reinterpret_cast<TopLevelList*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == list.pid && IsWindowVisible(window) && className(window) == list.windowClass)
        list.found.push_back(window);
    return TRUE;
}

struct ChildSearch {
    HWND parent;
    const wchar_t* windowClass;
    std::vector<HWND> found;
};

BOOL CALLBACK matchChild(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<ChildSearch*>(data);
    if (GetParent(window) == search.parent &&
        _wcsicmp(className(window).c_str(), search.windowClass) == 0)
        search.found.push_back(window);
    return TRUE;
}

}  // namespace

HWND findTopLevel(DWORD pid, const wchar_t* windowClass, const wchar_t* caption) {
    TopLevelSearch search{pid, windowClass, caption, nullptr};
    EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> topLevels(DWORD pid, const wchar_t* windowClass) {
    TopLevelList list{pid, windowClass, {}};
    EnumWindows(listTopLevel, reinterpret_cast<LPARAM>(&list));
    return list.found;
}

std::vector<HWND> childrenOfClass(HWND parent, const wchar_t* windowClass) {
    ChildSearch search{parent, windowClass, {}};
    EnumChildWindows(parent, matchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring messageBoxText(HWND box) {
    std::wstring text;
    for (HWND label : childrenOfClass(box, L"Static")) {
        const std::wstring part = windowText(label);
        if (part.empty()) continue;
        if (!text.empty()) text += L"\r\n";
        text += part;
    }
    return text;
}

namespace {

// The items of a list box or a combo box, through its count, length and text messages.
std::vector<std::wstring> controlItems(HWND control, UINT countMessage, UINT lengthMessage,
                                       UINT textMessage) {
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(control, countMessage, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(control, lengthMessage, i, 0);
        std::wstring item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT copied =
            SendMessageW(control, textMessage, i, reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
        items.push_back(item);
    }
    return items;
}

}  // namespace

std::vector<std::wstring> listBoxLines(HWND list) {
    return controlItems(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

std::vector<std::wstring> comboItems(HWND combo) {
    return controlItems(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        // This thread's windows (the clipboard's owner) answer while it waits.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

HWND waitForTopLevel(DWORD pid, const wchar_t* windowClass, const wchar_t* caption,
                     DWORD timeoutMs) {
    HWND found = nullptr;
    waitFor([&] { return (found = findTopLevel(pid, windowClass, caption)) != nullptr; },
            timeoutMs);
    return found;
}

void click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

void command(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool typeKeys(HWND window, const std::vector<WORD>& keys) {
    SetForegroundWindow(window);
    if (!waitFor([&] { return GetForegroundWindow() == window; }, 5000)) return false;
    return pressKeys(keys);
}

bool pressKeys(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size();
}

namespace {

class ClipboardSession {
  public:
    explicit ClipboardSession(HWND owner) {
        // Another process may hold the clipboard for a moment.
        waitFor([&] { return (open_ = OpenClipboard(owner) != FALSE); }, 2000);
    }
    ~ClipboardSession() {
        if (open_) CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool isOpen() const { return open_; }

  private:
    bool open_ = false;
};

}  // namespace

std::optional<std::wstring> clipboardText() {
    ClipboardSession clipboard(nullptr);
    if (!clipboard.isOpen()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data == nullptr) return std::nullopt;
    const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
    if (text == nullptr) return std::nullopt;
    const std::size_t capacity = GlobalSize(data) / sizeof(wchar_t);
    std::wstring copy(text, wcsnlen(text, capacity));
    GlobalUnlock(data);
    return copy;
}

bool clipboardHasAnsiText() {
    return IsClipboardFormatAvailable(CF_TEXT) != FALSE;
}

bool setClipboardText(HWND owner, const std::wstring& text) {
    ClipboardSession clipboard(owner);
    if (!clipboard.isOpen() || !EmptyClipboard()) return false;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    win::GlobalHandle memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return false;
    void* target = GlobalLock(memory.get());
    if (target == nullptr) return false;
    std::memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory.get());
    if (SetClipboardData(CF_UNICODETEXT, memory.get()) == nullptr) return false;
    memory.release();
    return true;
}

}  // namespace oskelon::wintest
