// The About dialog (template IDD_ABOUTBOX): shows the window title and the
// program's notice lines, and closes on OK, Enter, Esc or the close box.
#pragma once

#include <windows.h>

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
