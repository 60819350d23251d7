// oskelon.exe: the Windows window. Takes no command-line arguments.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "win/main_dialog.h"
#include "win/message_boxes.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // The standard controls and the progress bar, from common controls 6 (the manifest's).
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    const bool registered = InitCommonControlsEx(&controls) != FALSE;
    oskelon::win::MainDialog dialog(instance);
    if (dialog.DoModal(showCommand) != -1) return 0;
    oskelon::win::showMessageBox(
        nullptr, oskelon::win::MessageKind::Error,
        registered ? "The window could not be created." : "The common controls are missing.");
    return 1;
}
