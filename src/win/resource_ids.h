// The window's resources: ids and geometry, shared by oskelon.rc and the code.
//
// Plain preprocessor definitions, so that the resource compiler can read this file too.
// Geometry is in dialog units (x, y, width, height): a quarter of the dialog font's average
// character width across, an eighth of its height down.
#pragma once

// The version text of the caption and the About box: OSKELON_VERSION_TEXT.
#include "oskelon_version.h"

// The character set of the dialogs' font: SHIFTJIS_CHARSET, so that a system without the named
// font maps it to one that has the Japanese characters.
#define OSKELON_DIALOG_CHARSET 0x80

// ---- Resources ----
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_OSKELON_DIALOG 102
#define IDR_MAINFRAME 128     // the application icon
#define IDR_ACCELERATOR1 130  // Ctrl+C
#define IDM_ABOUTBOX 0x0010   // system-menu command of the About item (low four bits clear)
// Commands of the thread choice, in the system menu's "Threads" submenu and the context menu:
// IDM_THREADS_FIRST + 16 x the count, so that a system command keeps its low four bits clear and
// stays below the system's own (0xF000); counts up to IDM_THREADS_MAX_COUNT.
#define IDM_THREADS_FIRST 0x1000
#define IDM_THREADS_MAX_COUNT 3583
#define ID_COPY_COMMAND 32771  // the accelerator's command

// ---- Main window, template 102: 150 x 257 in the design, grown by 20 units below the group
// box for the progress bar and the status line ----
#define MAIN_WIDTH 150
#define MAIN_HEIGHT 277

// Controls in tab order.
#define IDC_CALC 1001
#define IDC_CALC_RECT 59, 7, 18, 14
#define IDC_SIZE_COMBO 1005
#define IDC_SIZE_COMBO_RECT 9, 7, 43, 56  // the height includes the dropped-down list
#define IDC_RESULT_GROUP_RECT 7, 21, 136, 229
#define IDC_STOP 1007
#define IDC_STOP_RECT 77, 7, 19, 14
#define IDC_COPY 1009
#define IDC_COPY_RECT 96, 7, 20, 14
#define IDC_RESULT_LIST 1011
#define IDC_RESULT_LIST_RECT 13, 35, 121, 205
#define IDC_RECORD 1010
#define IDC_RECORD_RECT 116, 7, 26, 14
// Below the group box: the run's progress and its status line (time and verdict).
#define IDC_PROGRESS 1012
#define IDC_PROGRESS_RECT 7, 253, 136, 9
#define IDC_STATUS 1013
#define IDC_STATUS_RECT 7, 264, 136, 10

// ---- About box, template 100 ----
#define ABOUT_WIDTH 235
#define ABOUT_HEIGHT 55
#define IDC_ABOUT_ICON_RECT 11, 17, 20, 20  // an icon control takes the icon's own size
#define IDC_ABOUT_TEXT_RECT 40, 10, 78, 8
#define IDC_ABOUT_OK_RECT 178, 7, 50, 14
