#include "win/message_boxes.h"

#include "platform/windows_text.h"

namespace oskelon::win {

void showMessageBox(HWND owner, MessageKind kind, const std::string& text) {
    const std::wstring caption = kind == MessageKind::Plain ? std::wstring() : applicationName();
    UINT type = MB_OK;
    if (kind == MessageKind::Error) type |= MB_ICONWARNING;
    // A box that cannot be shown (no memory for it) leaves nothing to do: the run goes on.
    MessageBoxW(owner, wideFromUtf8(text).c_str(), caption.c_str(), type);
}

bool askYesNo(HWND owner, const std::string& text) {
    return MessageBoxW(owner, wideFromUtf8(text).c_str(), L"", MB_YESNO) == IDYES;
}

std::wstring applicationName() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"oskelon";  // no room for the full path
    std::wstring name(path, length);
    if (const auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) name.erase(dot);
    return name;
}

}  // namespace oskelon::win
