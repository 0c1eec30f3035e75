// The fixed screen modes, their sizes and texts, the outcome notices of a
// switch and the rules that decide when to switch. Free of platform calls so
// that the Win32 switcher and the controller only carry out what these say.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "app/resource.h"

// A screen mode code. Only 1, 2 and 6 can be chosen; 0 can be detected and
// switched to; 3, 5 and 19 come only from detection. There is no 4.
typedef int32_t ResolutionMode;

ResolutionMode const kMode640x480 = 0;
ResolutionMode const kMode800x480 = 1; // the panel's own mode
ResolutionMode const kMode800x600 = 2;
ResolutionMode const kMode1000x600 = 3;
ResolutionMode const kMode1024x600 = 5;
ResolutionMode const kMode1024x768 = 6;
ResolutionMode const kModeOther = 19;

// Every switch asks for this depth.
int32_t const kModeBitsPerPixel = 32;

// The mode code of a screen size; any size outside the table gives 19.
ResolutionMode detectModeFromSize(int width, int height);

// The size a switch to `mode` requests (at 32 bits per pixel). Returns false,
// leaving width and height untouched, for codes that name no switchable mode:
// a switch to them makes no system call and counts as success.
bool switchTargetSize(ResolutionMode mode, int& width, int& height);

// What Apply shows and saves for the chosen mode. A mode that cannot be
// chosen falls back to the 800x480 row.
struct ModeDisplayValues {
    int32_t width;
    int32_t height;
    uint32_t menuCommand;
    wchar_t const* tip;
};
ModeDisplayValues modeDisplayValues(ResolutionMode mode);

// Every balloon notice of the program shows this long; errors carry this flag.
uint32_t const kBalloonTimeoutMs = 3000;
uint32_t const kBalloonError = 3; // NIIF_ERROR

// Balloon notice on the main tray icon for a ChangeDisplaySettingsW result.
struct SwitchBalloon {
    wchar_t const* text;
    wchar_t const* title;
    uint32_t timeoutMs;
    uint32_t infoFlags; // NIIF_WARNING (2) or NIIF_ERROR (3)
};
// Returns false (no notice) for plain success; fills `out` otherwise.
bool balloonForSwitchResult(long result, SwitchBalloon& out);

enum class SwitchPlan {
    None,          // leave the display alone
    Plain,         // one switch to the mode, reported
    ThroughNative, // via 800x480 first, only the last switch reported
};

// Apply: a mode that differs from the screen's is switched to at once; an
// unchanged mode is switched through 800x480 when the scaling flag changed
// since the last Apply, so the driver picks up the new downscaling value.
SwitchPlan planApplySwitch(ResolutionMode current, ResolutionMode mode, bool scaling,
                           bool lastAppliedScaling);

// Start-up restore: switch to the saved mode when the screen is elsewhere; a
// larger mode already active is set again through 800x480 when scaling is on,
// so that the downscaling takes hold.
SwitchPlan planStartupSwitch(ResolutionMode current, ResolutionMode mode, bool scaling);

// The switches of a through-native plan, in order; only the last result is
// reported. Mode 1 needs a single switch.
struct SwitchSteps {
    size_t count;
    ResolutionMode modes[2];
};
SwitchSteps throughNativeSteps(ResolutionMode mode);
