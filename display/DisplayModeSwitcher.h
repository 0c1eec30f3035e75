// Sets the primary display's mode. Stateless: every call reads the system afresh.
#pragma once

#include <windows.h>

#include "display/ResolutionModes.h"

class DisplayModeSwitcher {
public:
    // Switches at once and records the mode in the registry
    // (CDS_UPDATEREGISTRY). Only size and depth are requested. Returns what
    // ChangeDisplaySettingsW returned.
    LONG setMode(int32_t width, int32_t height, int32_t bitsPerPixel) const;

    // Switches to a mode code at 32 bits per pixel. Codes that name no
    // switchable mode make no call and return DISP_CHANGE_SUCCESSFUL.
    LONG switchTo(ResolutionMode mode) const;
};
