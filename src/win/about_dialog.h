// The About box (template 100): the icon, the program's name and version, and "OK".
#pragma once

#include <windows.h>

namespace oskelon::win {

// The box's caption, as the template gives it.
inline constexpr const wchar_t* kAboutCaption = L"Oskelonのﾊﾞｰｼﾞｮﾝ情報";

// Shows the About box modally over owner until the user closes it; false when it cannot be
// created.
bool ShowAboutDialog(HINSTANCE instance, HWND owner);

}  // namespace oskelon::win
