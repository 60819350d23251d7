#include "win/about_dialog.h"

#include "win/center_window.h"
#include "win/resource_ids.h"

namespace oskelon::win {
namespace {

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterWindow(dialog, GetWindow(dialog, GW_OWNER));
            return TRUE;  // the focus on "OK"
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

bool ShowAboutDialog(HINSTANCE instance, HWND owner) {
    const INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, aboutProc, 0);
    return result != 0 && result != -1;
}

}  // namespace oskelon::win
