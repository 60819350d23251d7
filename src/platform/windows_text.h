// Texts between the program (UTF-8) and the wide-character Win32 API, and the system's message
// for an error code. Windows files only.
#pragma once

#include <windows.h>

#include <string>

namespace oskelon {

// UTF-16 of a UTF-8 text; an invalid sequence becomes U+FFFD.
std::wstring wideFromUtf8(const std::string& text);

// UTF-8 of a UTF-16 text.
std::string utf8FromWide(const std::wstring& text);

// The system's message for a Win32 error code, in UTF-8 without the final period and line end;
// "error N" when the system has none.
std::string windowsErrorText(DWORD error);

}  // namespace oskelon
