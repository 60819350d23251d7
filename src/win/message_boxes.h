// The window's modal message boxes, on the wide-character API.
#pragma once

#include <windows.h>

#include <string>

namespace oskelon::win {

enum class MessageKind {
    Plain,        // empty caption, "OK", no icon (ShowMessage)
    Application,  // the application's name as caption, "OK", no icon (ShowAppMessage)
    Error,        // as Application, with a warning icon (ShowError)
};

// Shows text (UTF-8, lines broken by CR LF) modally over owner (nullptr: over no window) and
// returns when the user has closed it, or at once when the box cannot be shown.
void showMessageBox(HWND owner, MessageKind kind, const std::string& text);

// The Yes/No question with an empty caption; true for Yes. A box that cannot be shown answers No.
bool askYesNo(HWND owner, const std::string& text);

// The application's name: its executable's file name without directory and extension.
std::wstring applicationName();

}  // namespace oskelon::win
