// Reads and sets the primary display's mode. Stateless: every call reads the
// system afresh.
#pragma once

#include <windows.h>

#include "display/ResolutionModes.h"

// The mode the primary display shows now, read afresh.
ResolutionMode detectCurrentMode();

// ChangeDisplaySettingsW's signature: the switch itself, replaceable for
// results the test display cannot give (DISP_CHANGE_RESTART).
using DisplayChangeFunction = LONG(WINAPI*)(DEVMODEW* mode, DWORD flags);

class DisplayModeSwitcher {
public:
    // Switches at once and records the mode in the registry
    // (CDS_UPDATEREGISTRY). Only size and depth are requested. Where the
    // mode cannot be recorded (DISP_CHANGE_NOTUPDATED, which changes
    // nothing) it is set for this session alone, and NOTUPDATED then means
    // "on screen until logoff"; a refused session switch gives its own
    // result. Otherwise returns what ChangeDisplaySettingsW returned.
    LONG setMode(int32_t width, int32_t height, int32_t bitsPerPixel) const;

    // Switches to a mode code at 32 bits per pixel. Codes that name no
    // switchable mode make no call and return DISP_CHANGE_SUCCESSFUL.
    LONG switchTo(ResolutionMode mode) const;

    DisplayChangeFunction change = ChangeDisplaySettingsW;
};
