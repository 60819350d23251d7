// Placement of a dialog when it first shows, as the dialog framework does for a template whose
// position is 0, 0: centred over its owner, or on its monitor's work area when it has none, and
// kept inside that work area.
#pragma once

#include <windows.h>

namespace oskelon::win {

// Moves window; false when its geometry cannot be read or set (it then stays where it is).
bool CenterWindow(HWND window, HWND owner);

}  // namespace oskelon::win
