// Messages and timers of the notification-area icons, shared by the main
// window procedure and the controller.
#pragma once

#include <windows.h>

// Callback message of the main tray icon; lParam carries the mouse message.
UINT const WM_TRAYNOTIFY = WM_APP + 1;

// The main icon's identifier towards the shell; the lock icons follow it
// (Num Lock, Caps Lock, Scroll Lock). Fixed numbers: the shell matches an
// icon to the user's "always show" choice partly by its identifier, and a
// module's address changes from boot to boot under ASLR.
UINT const kMainTrayIconId = 1;

// While the shell is not ready to take the main icon, the main window retries
// on this timer (timer 1 is the lock poll).
UINT_PTR const kTrayRetryTimerId = 2;
UINT const kTrayRetryIntervalMs = 2000;

// The message the shell broadcasts to top-level windows when its
// notification area has been (re)created and holds no icon. Registered on
// the first call; 0 if registration failed.
UINT taskbarCreatedMessage();
