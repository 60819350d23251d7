#include "win/center_window.h"

#include <algorithm>

namespace oskelon::win {

bool CenterWindow(HWND window, HWND owner) {
    RECT self{};
    if (!GetWindowRect(window, &self)) return false;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    HMONITOR handle =
        MonitorFromWindow(owner != nullptr ? owner : window, MONITOR_DEFAULTTOPRIMARY);
    if (handle == nullptr || !GetMonitorInfoW(handle, &monitor)) return false;
    const RECT area = monitor.rcWork;
    RECT around = area;
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner) &&
        !GetWindowRect(owner, &around))
        return false;
    const LONG width = self.right - self.left;
    const LONG height = self.bottom - self.top;
    LONG x = around.left + (around.right - around.left - width) / 2;
    LONG y = around.top + (around.bottom - around.top - height) / 2;
    // Inside the work area; its top left corner wins when the window is larger.
    x = std::max(area.left, std::min(x, area.right - width));
    y = std::max(area.top, std::min(y, area.bottom - height));
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) !=
           FALSE;
}

}  // namespace oskelon::win
