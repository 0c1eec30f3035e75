// A controller bound by hand to a test window, as the load leaves it for the
// Win32 tests of its tray icons and lock poll.
#pragma once

#include <windows.h>

#include "controller/ToolController.h"

// The program's title, the Caps Lock icon enabled, Num Lock's as `numLock`
// says, Scroll Lock's not, and a colour pair of its own for each lock.
inline void bindController(ToolController& controller, HWND window, HINSTANCE instance, bool numLock)
{
    controller.mainWindow = window;
    controller.instance = instance;
    lstrcpynW(controller.title, L"KOVIX Tool Beta 1.0", ARRAYSIZE(controller.title));
    controller.numLock = numLock;
    controller.capsLock = true;
    controller.scrlLock = false;
    controller.numLckBG = 255;
    controller.numLckFG = 65280;
    controller.cpsLckBG = 0;
    controller.cpsLckFG = 65535;
    controller.scrLckBG = 16711680;
    controller.scrLckFG = 16776960;
}
