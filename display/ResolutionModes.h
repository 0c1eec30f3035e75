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

// Every mode the program knows, with everything that names it. The choosable
// modes come first, in the order of the radio buttons and the tray menu; the
// first of them is the panel's own mode, the fallback of every choice.
struct ModeRow {
    ResolutionMode mode;
    int32_t width;
    int32_t height;
    bool switchable; // a switch to it sets this size; to any other, no call
    wchar_t const* radioLabel;
    wchar_t const* tip; // of the main tray icon
    uint32_t menuCommand;
    wchar_t const* commandName; // after /mode
};

size_t const kModeCount = 6;
size_t const kChoosableModeCount = 3;
extern ModeRow const kModeTable[kModeCount];
extern ModeRow const& kNativeModeRow;

// The mode code of a screen size; any size outside the table gives 19.
ResolutionMode detectModeFromSize(int width, int height);

// The size a switch to `mode` requests (at 32 bits per pixel). Returns false,
// leaving width and height untouched, for codes that name no switchable mode:
// a switch to them makes no system call and counts as success.
bool switchTargetSize(ResolutionMode mode, int& width, int& height);

// The row of a choosable mode; null for any other code.
ModeRow const* choosableModeRow(ResolutionMode mode);

// What Apply shows and saves for the chosen mode. A mode that cannot be
// chosen falls back to the panel's own mode.
ModeRow const& modeDisplayValues(ResolutionMode mode);

// The choosable mode of this size; the panel's own mode for any other size.
ResolutionMode choosableModeOfSize(int32_t width, int32_t height);

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
// unchanged mode is switched through the panel's own mode when the scaling flag changed
// since the last Apply, so the driver picks up the new downscaling value.
SwitchPlan planApplySwitch(ResolutionMode current, ResolutionMode mode, bool scaling,
                           bool lastAppliedScaling);

// Start-up restore: switch to the saved mode when the screen is elsewhere; a
// larger mode already active is set again through the panel's own mode when
// scaling is on, so that the downscaling takes hold.
SwitchPlan planStartupSwitch(ResolutionMode current, ResolutionMode mode, bool scaling);

// The switches of a through-native plan, in order; only the last result is
// reported. The panel's own mode needs a single switch.
struct SwitchSteps {
    size_t count;
    ResolutionMode modes[2];
};
SwitchSteps throughNativeSteps(ResolutionMode mode);
