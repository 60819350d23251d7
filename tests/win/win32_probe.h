// What the window test needs to look at and work another process's windows from outside, as a
// user would: its top-level windows and message boxes, the texts of its controls, clicks, keys
// and the clipboard. Every wait has a timeout.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace oskelon::wintest {

std::string utf8(const std::wstring& text);

std::wstring windowText(HWND window);
std::wstring className(HWND window);

// The first visible top-level window of process pid with the class (nullptr: any) and the
// caption (nullptr: any).
HWND findTopLevel(DWORD pid, const wchar_t* windowClass, const wchar_t* caption);
// Every visible top-level window of process pid with the class.
std::vector<HWND> topLevels(DWORD pid, const wchar_t* windowClass);
// The direct children of parent with the class, in z order (the template's order for a dialog).
std::vector<HWND> childrenOfClass(HWND parent, const wchar_t* windowClass);
// The text of a message box: its static controls' texts, joined by line ends.
std::wstring messageBoxText(HWND box);

std::vector<std::wstring> listBoxLines(HWND list);
std::vector<std::wstring> comboItems(HWND combo);

// Polls condition every 20 ms until it holds or timeoutMs have passed, serving this thread's
// messages meanwhile; whether it held.
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs);
// waitFor for findTopLevel; nullptr on timeout.
HWND waitForTopLevel(DWORD pid, const wchar_t* windowClass, const wchar_t* caption,
                     DWORD timeoutMs);

// A click on a dialog's button as the button reports it (BM_CLICK, queued).
void click(HWND button);
// The dialog command id as a button with that id would send it (queued).
void command(HWND dialog, int id);
// Brings window to the foreground and types the keys (virtual-key codes, pressed in order and
// released in reverse order) through the system's input queue.
bool typeKeys(HWND window, const std::vector<WORD>& keys);
// The same keys to whatever has the input now (a menu that is open).
bool pressKeys(const std::vector<WORD>& keys);

// The clipboard's CF_UNICODETEXT, or nothing when it has none or cannot be opened.
std::optional<std::wstring> clipboardText();
// Whether CF_TEXT can be had (Windows converts it from CF_UNICODETEXT).
bool clipboardHasAnsiText();
// Replaces the clipboard's content with text; owner is a window of this process.
bool setClipboardText(HWND owner, const std::wstring& text);

}  // namespace oskelon::wintest
