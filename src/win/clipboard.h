// The clipboard of the "Copy" button and Ctrl+C.
#pragma once

#include <windows.h>

#include <string>

namespace oskelon::win {

// Puts text on the clipboard as CF_UNICODETEXT (Windows offers CF_TEXT and CF_OEMTEXT converted
// from it), opened for owner. Gives back the clipboard's handle of the data, or nullptr when the
// clipboard could not be opened or did not take the data; the memory belongs to the clipboard
// once it took it.
HANDLE CopyTextToClipboard(HWND owner, const std::wstring& text);

}  // namespace oskelon::win
