// Identifiers of the program's resources and menu commands: one definition,
// read by the resource compiler (whose preprocessor understands only
// #define) and by the code. Free of platform headers, so the platform-free
// logic uses them too.
#pragma once

// Resources: dialog, icon groups, menu and accelerator table, the second
// manifest.
#define IDD_ABOUTBOX        103
#define IDI_KOVIX           107
#define IDI_SMALL           108
#define IDC_KOVIX           109
#define IDR_MANIFEST_EXTRA  131

// Strings: window title, build label, window class name.
#define IDS_APP_TITLE       103
#define IDS_BUILD_LABEL     104
#define IDS_CLASS_NAME      109

// Menu and accelerator commands (the low word of WM_COMMAND's wParam).
#define IDM_ABOUT           104
#define IDM_EXIT            105
#define IDM_FILLER          32772 // grayed, never sent
#define IDM_SHOWHIDE        32776
#define IDM_MODE_1024X768   32779
#define IDM_MODE_800X480    32780
#define IDM_MODE_800X600    32781

// Controls of the About dialog. The icon shares IDCANCEL's value; a static
// icon sends no commands, so the dialog procedure never sees it.
#define IDC_ABOUT_ICON      2
#define IDC_ABOUT_TITLE     101

#ifndef RC_INVOKED
// Capacities of the buffers the loaded strings go into, in UTF-16 units
// including the terminator.
int const kLoadedStringCapacity = 100;
int const kBuildLabelCapacity = 20;
#endif
