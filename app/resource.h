// Identifiers of the program's resources and menu commands.
//
// The resource compiler's preprocessor understands only #define, while the
// C++ code wants typed constants, so each identifier is written twice: once
// in each half below, under the same name. Keep the two halves in step;
// tests/resources/check_resources.py compares them.
#pragma once

#ifdef RC_INVOKED

// Resources.
#define IDD_ABOUTBOX        103
#define IDI_KOVIX           107
#define IDI_SMALL           108
#define IDC_KOVIX           109
#define IDR_MANIFEST_EXTRA  131

// Strings.
#define IDS_APP_TITLE       103
#define IDS_BUILD_LABEL     104
#define IDS_CLASS_NAME      109

// Menu and accelerator commands.
#define IDM_ABOUT           104
#define IDM_EXIT            105
#define IDM_FILLER          32772
#define IDM_SHOWHIDE        32776
#define IDM_MODE_1024X768   32779
#define IDM_MODE_800X480    32780
#define IDM_MODE_800X600    32781

// Controls of the About dialog.
#define IDC_ABOUT_ICON      2
#define IDC_ABOUT_TITLE     101

#else

#include <windows.h>

// Resources: dialog 103, icon groups 107 and 108; menu and accelerator
// table 109; the second manifest 131.
WORD const IDD_ABOUTBOX = 103;
WORD const IDI_KOVIX = 107;
WORD const IDI_SMALL = 108;
WORD const IDC_KOVIX = 109;
WORD const IDR_MANIFEST_EXTRA = 131;

// Strings: window title, build label, window class name.
WORD const IDS_APP_TITLE = 103;
WORD const IDS_BUILD_LABEL = 104;
WORD const IDS_CLASS_NAME = 109;

// Menu and accelerator commands (the low word of WM_COMMAND's wParam).
WORD const IDM_ABOUT = 104;
WORD const IDM_EXIT = 105;
WORD const IDM_FILLER = 32772;  // grayed, never sent
WORD const IDM_SHOWHIDE = 32776;
WORD const IDM_MODE_1024X768 = 32779;
WORD const IDM_MODE_800X480 = 32780;
WORD const IDM_MODE_800X600 = 32781;

// Controls of the About dialog. The icon shares IDCANCEL's value; a static
// icon sends no commands, so the dialog procedure never sees it.
WORD const IDC_ABOUT_ICON = 2;
WORD const IDC_ABOUT_TITLE = 101;

// Capacities of the buffers the loaded strings go into, in UTF-16 units
// including the terminator.
int const kLoadedStringCapacity = 100;
int const kBuildLabelCapacity = 20;

#endif
