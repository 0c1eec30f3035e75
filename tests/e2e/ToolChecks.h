// What the real program shows, as the end-to-end tests judge it from
// outside: its first settings file, the settings window's controls, the OSD
// window's place and lines, and the tray strip's pixels. Shared by the tests
// of the x86_64 build and of the shipped i686 executable.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/win/WinTestSupport.h"

// ---- Where the program keeps what is not in its files: the Run value of
// "Start with Windows" and the graphics driver's downscaling values, all
// under HKEY_LOCAL_MACHINE (the per-user Run key for an account that may not
// write the machine's). Spelled here as the program must spell them, apart
// from its own definitions, so that a changed key shows.
inline constexpr wchar_t kRunKey[] = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kUserRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValue[] = L"KOVIX Tool";
inline constexpr wchar_t kDriverKey[] = L"SYSTEM\\CurrentControlSet\\Services\\ialm\\Device0";

// ---- Files

// The values Apply writes into Resolution.ini; as they stand, the defaults.
struct Written {
    int width = 800;
    int height = 480;
    int scaling = 0;
    int minimized = 0;
    int numLock = 1;
    int numBG = 0;
    int numFG = 65280;
    int capsLock = 1;
    int capsBG = 0;
    int capsFG = 65535;
    int scrlLock = 1;
    int scrBG = 0;
    int scrFG = 16776960;
    int kbInd = 1;
    int kbIndClr = 12616523;
    int kbIndPos = 4;
};

// The whole file as Apply leaves it: the golden default text with these
// values.
std::string writtenText(Written const& w);

// Resolution.ini as the program first writes it (the golden
// tests/resources/default-Resolution.ini), "Resolution=" set to `resolution`.
std::string defaultSettingsText(char const* resolution = "800,480");

// OSD.ini as the program first writes it (tests/resources/default-OSD.ini).
std::string defaultOsdText();

// A Resolution.ini of a start hidden in the tray with its four icons and no
// OSD, the rest of the defaults left to the program.
std::string inTraySettingsText();

// ---- The settings window (GoogleTest expectations)

// Its sixteen controls at `dpi`: class, text, parent, style, identifier,
// place and size, each of the four numbers scaled on its own and truncated.
void expectControlsAt(HWND main, int dpi);
// Outer width (frame included) and client height at `dpi`.
void expectWindowSizeAt(HWND main, int dpi);

struct Checks {
    bool scaling, startup, minimized, osd;
    bool r480, r600, r768;
    bool numLock, capsLock, scrollLock;
};
void expectChecks(HWND main, Checks const& expected);

// ---- Caps Lock, typed through SendInput

void pressCaps();
// Caps Lock's state as this process sees it after a moment's pumping.
bool capsToggled();
// This process reads a lock as off until its next change; one press tells
// the state, and at most one more leaves Caps Lock off.
void switchCapsOff();

// ---- Geometry

RECT windowRect(HWND window);
std::string describe(RECT const& rect);
int const kOsdMargin = 5; // the OSD's distance from the screen's edges
// The window sits where the OSD of KbIndPos `position` belongs on a screen
// of this size.
bool placedFor(int position, HWND window, int screenWidth, int screenHeight);
// The same in a part of the screen: the work area less a taskbar.
bool placedIn(int position, HWND window, RECT const& area);
// The size of a text in the OSD's font: the icon-title font, bold.
SIZE osdTextSize(wchar_t const* text);

// ---- Pixels

// The screen (or its top `rows` rows).
using Screen = wintest::Picture;
Screen captureScreen(int rows = 0);

// The tray strip is the tray host's panel at the top right, 20 rows high;
// its own background colour runs along its top row from the right edge, and
// its left end is where that colour stops.
int const kTrayStripRows = 20;
int trayStripLeft(Screen const& screen);

// How many pixels of each colour the tray strip shows.
struct TrayColours {
    int stripWidth = 0;
    int red = 0;
    int blue = 0;
    int yellow = 0;
    int black = 0;
};
TrayColours trayColours(Screen const& screen);

// A lock icon in the tray strip, found by its square's colour `back`: its
// size and the rows its letter covers ("A" reaches higher than "a").
struct LockIcon {
    bool found = false;
    int width = 0;
    int height = 0;
    int letterTop = -1; // first row of the square with a letter pixel
    int letterPixels = 0;
};
LockIcon captureLockIcon(COLORREF back);

// Pixels of line `line` (from 0) of the OSD window that differ from `text`
// drawn here as the OSD draws it (its font, `textColour` on the button face
// colour, which the window keys out); -1 when the line is not in the window.
int osdLineMismatches(HWND osd, int line, wchar_t const* text, COLORREF textColour);
// The figure of the OSD's "CPU Load: N%" line, read by comparing the line
// with every such text from 0 to 100 %; -1 when none matches.
int osdCpuLoad(HWND osd, COLORREF textColour);
