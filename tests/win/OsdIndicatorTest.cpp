// The on-screen display on the real (Wine) desktop. The singleton reads
// OSD.ini beside the executable and lives for the process, so every case
// runs in a copy of this executable in a private folder: the child does the
// checks (gtest assertions outside a test still print and count) and exits
// with 0 when all of them held.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "controller/UiMetrics.h"
#include "osd/OsdIndicator.h"
#include "osd/OsdPlacement.h"
#include "settings/SettingsTemplates.h"
#include "settings/SettingsText.h"
#include "tests/e2e/ToolProcess.h"
#include "tests/win/WinTestSupport.h"

using namespace wintest;

namespace {

char const kLoadsOff[] = "[KOVIX Tool OSD settings]\r\nCpuLoad=0;\r\nMemLoad=0;";
COLORREF const kTextColour = RGB(75, 131, 192);
int const kScreenWidth = 800;
int const kScreenHeight = 480;

OsdIndicator& makeOsd(COLORREF textColour = kTextColour, unsigned position = 4)
{
    OsdIndicator& osd = OsdIndicator::get(GetModuleHandleW(nullptr), nullptr, textColour, position);
    osd.createWindow();
    pumpMessages(50);
    return osd;
}

SIZE measuredText(wchar_t const* text)
{
    HFONT const font = makeUiFont(Bold | Antialiased);
    SIZE const size = wintest::textSize(font, text);
    DeleteObject(font);
    return size;
}

RECT windowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

// The window's rectangle is where placeOsd puts the measured text on the
// screen as the system reports it (the work area of this rig is the whole
// screen).
void expectPlaced(OsdIndicator const& osd, char const* what)
{
    SIZE const text = measuredText(osd.text);
    OsdArea const screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    OsdRect const expected = placeOsd(osd.position, screen, text.cx, text.cy);
    RECT const actual = windowRect(osd.getWindow());
    EXPECT_EQ(expected.x, actual.left) << what << ", position " << unsigned(osd.position);
    EXPECT_EQ(expected.y, actual.top) << what << ", position " << unsigned(osd.position);
    EXPECT_EQ(text.cx, actual.right - actual.left) << what;
    EXPECT_EQ(text.cy, actual.bottom - actual.top) << what;
}

std::wstring className(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Paints of the OSD as seen from outside: a paint that finds the window
// away from its place puts it back with SetWindowPos(SWP_NOZORDER |
// SWP_NOACTIVATE), which no other step does with a position. The counting
// loops move the window aside before each update (nudgeAside), so that
// every paint shows.
struct PaintCounter {
    WNDPROC original = nullptr;
    int updatePaints = 0;  // paints outside WM_PAINT: made by update()
    int messagePaints = 0; // paints while handling WM_PAINT
    int inPaintMessage = 0;
};
PaintCounter counter;

LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WINDOWPOSCHANGING) {
        WINDOWPOS const* pos = reinterpret_cast<WINDOWPOS const*>(lParam);
        UINT const placing = SWP_NOZORDER | SWP_NOACTIVATE;
        if ((pos->flags & placing) == placing && (pos->flags & SWP_NOMOVE) == 0)
            ++(counter.inPaintMessage > 0 ? counter.messagePaints : counter.updatePaints);
    }
    if (message == WM_PAINT)
        ++counter.inPaintMessage;
    LRESULT const result = CallWindowProcW(counter.original, window, message, wParam, lParam);
    if (message == WM_PAINT)
        --counter.inPaintMessage;
    return result;
}

void countPaintsOf(HWND window)
{
    counter = PaintCounter();
    counter.original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countingProc)));
}

// Moves the window one pixel aside without the WM_WINDOWPOSCHANGING the
// counter looks for.
void nudgeAside(HWND window)
{
    RECT const rect = windowRect(window);
    SetWindowPos(window, nullptr, rect.left + 1, rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSENDCHANGING);
}

// The CPU line and the MiB figure of a text, the two values whose change at a
// sampling update repaints; the memory percentage is never compared.
std::wstring comparedFigures(std::wstring const& text)
{
    std::wstring cpu;
    std::wstring mib;
    size_t const cpuAt = text.find(L"CPU Load: ");
    if (cpuAt != std::wstring::npos)
        cpu = text.substr(cpuAt, text.find(L'\n', cpuAt) - cpuAt);
    size_t const ramAt = text.find(L"RAM Used:\n");
    if (ramAt != std::wstring::npos) {
        size_t const figure = ramAt + 10;
        mib = text.substr(figure, text.find(L"MB", figure) - figure);
    }
    return cpu + L"|" + mib;
}

// ----------------------------------------------------------- child modes

// Reports what the singleton read: bit 0 showCpu, bit 1 showMem, bit 2 the
// settings path is OSD.ini beside the executable.
KOVIX_CHILD_MODE(osd_settings)
{
    OsdIndicator& osd = OsdIndicator::get(GetModuleHandleW(nullptr), nullptr, kTextColour, 4);
    std::wstring const expectedPath = folderOf(ownExecutablePath()) + L"\\OSD.ini";
    return (osd.showCpu ? 1 : 0) | (osd.showMem ? 2 : 0) |
           (expectedPath == osd.settingsPath ? 4 : 0);
}

void checkWindowAndText()
{
    OsdIndicator& osd = makeOsd();
    ASSERT_FALSE(osd.showCpu);
    ASSERT_FALSE(osd.showMem);
    HWND const window = osd.getWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(L"KOVIXToolKbInd", className(window));
    LONG_PTR const exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    LONG_PTR const wanted = WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_NOACTIVATE |
                            WS_EX_TRANSPARENT;
    EXPECT_EQ(wanted, exStyle & wanted);
    EXPECT_EQ(LONG_PTR(WS_POPUP), GetWindowLongPtrW(window, GWL_STYLE) & (WS_POPUP | WS_CAPTION));

    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(window, &key, &alpha, &flags));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), key);
    EXPECT_EQ(osd.backColor, key);
    EXPECT_NE(0u, flags & LWA_COLORKEY);
    EXPECT_EQ(kTextColour, osd.textColor) << "a colour other than the key is kept";
    EXPECT_FALSE(IsWindowVisible(window)) << "created empty, so hidden by its first paint";

    // Nothing to show: no loads, no locks.
    osd.update(false, false, false, true);
    pumpMessages(50);
    EXPECT_EQ(std::wstring(), osd.text);
    EXPECT_FALSE(IsWindowVisible(window)) << "hidden while the text is empty";

    osd.update(false, true, false, false);
    pumpMessages(50);
    EXPECT_EQ(L"Caps Lock", std::wstring(osd.text));
    EXPECT_TRUE(IsWindowVisible(window));
    SIZE const text = measuredText(L"Caps Lock");
    RECT const rect = windowRect(window);
    EXPECT_EQ(kScreenWidth - 5, rect.right) << "bottom-right, 5 pixels from the edges";
    EXPECT_EQ(kScreenHeight - 5, rect.bottom);
    EXPECT_EQ(text.cx, rect.right - rect.left);
    EXPECT_EQ(text.cy, rect.bottom - rect.top);

    osd.update(true, true, true, false);
    pumpMessages(50);
    EXPECT_EQ(L"Num Lock\nCaps Lock\nScroll Lock", std::wstring(osd.text));
    expectPlaced(osd, "three locks");

    osd.update(false, false, false, false);
    pumpMessages(50);
    EXPECT_FALSE(IsWindowVisible(window)) << "hidden again when the last lock goes off";
}

void checkPositionsAndDisplayChange()
{
    OsdIndicator& osd = makeOsd();
    ASSERT_EQ(kScreenWidth, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(kScreenHeight, GetSystemMetrics(SM_CYSCREEN));
    osd.update(true, false, true, false);
    for (unsigned position = 1; position <= 6; ++position) {
        osd.position = uint8_t(position);
        osd.update(true, false, true, true);
        pumpMessages(20);
        expectPlaced(osd, "800x480");
    }
    osd.position = 9;
    osd.update(true, false, true, true);
    EXPECT_EQ(kScreenWidth - 5, windowRect(osd.getWindow()).right) << "unknown codes as 4";

    // The display change alone moves the window: no update in between.
    osd.position = 6;
    osd.update(true, false, true, true);
    ASSERT_TRUE(changeScreenMode(1024, 768) == DISP_CHANGE_SUCCESSFUL);
    pumpMessages(300);
    EXPECT_EQ(1024, GetSystemMetrics(SM_CXSCREEN));
    expectPlaced(osd, "after switching to 1024x768");
    EXPECT_EQ(1024 - 5, windowRect(osd.getWindow()).right);

    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, changeScreenMode(kScreenWidth, kScreenHeight));
    pumpMessages(300);
    expectPlaced(osd, "back at 800x480");
}

void checkColourKey()
{
    COLORREF const face = GetSysColor(COLOR_BTNFACE);
    OsdIndicator& osd = makeOsd(face);
    EXPECT_EQ(face, osd.backColor);
    EXPECT_EQ(face < 0xFFFFFF ? face + 1 : face - 1, osd.textColor)
        << "text in the key colour would vanish";
}

void checkForegroundAndRecreation()
{
    OsdIndicator& osd = makeOsd();
    HWND const user = createTestWindow(L"user");
    ASSERT_NE(nullptr, user);
    ShowWindow(user, SW_SHOW);
    ASSERT_TRUE(bringToFront(user));

    osd.update(false, true, false, false);
    pumpMessages(100);
    EXPECT_TRUE(IsWindowVisible(osd.getWindow()));
    EXPECT_EQ(user, GetForegroundWindow()) << "showing the OSD keeps the focus where it is";

    HWND const first = osd.getWindow();
    ASSERT_TRUE(DestroyWindow(first));
    EXPECT_EQ(nullptr, osd.getWindow());
    EXPECT_EQ(std::wstring(), osd.text);

    osd.createWindow();
    HWND const second = osd.getWindow();
    ASSERT_NE(nullptr, second);
    EXPECT_TRUE(IsWindow(second));
    EXPECT_EQ(L"KOVIXToolKbInd", className(second));
    osd.createWindow();
    EXPECT_EQ(second, osd.getWindow()) << "no second window while one exists";
    // Nothing may change for a long while on an idle machine: the new
    // window shows at the next update, with the locks as they are.
    EXPECT_FALSE(IsWindowVisible(second)) << "a new window starts empty and hidden";
    osd.update(false, true, false, false);
    pumpMessages(50);
    EXPECT_EQ(L"Caps Lock", std::wstring(osd.text));
    EXPECT_TRUE(IsWindowVisible(second)) << "shown at the next update, though nothing changed";
    osd.update(true, true, false, false);
    pumpMessages(50);
    EXPECT_EQ(L"Num Lock\nCaps Lock", std::wstring(osd.text));
    EXPECT_TRUE(IsWindowVisible(second));
    expectPlaced(osd, "re-created window");
    DestroyWindow(user);
}

// Runs `updates` idle updates (the locks as they were) at `spacingMs` and
// checks that only the sampling updates whose CPU or MiB figure changed
// repainted.
void checkIdleRepaints(OsdIndicator& osd, int updates, DWORD spacingMs, char const* what)
{
    countPaintsOf(osd.getWindow());
    std::wstring previous = osd.text;
    int expected = 0;
    int unexpected = 0;
    for (int index = 0; index < updates; ++index) {
        int const before = counter.updatePaints;
        nudgeAside(osd.getWindow());
        osd.update(false, true, false, false);
        bool const sampling = index % 4 == 0; // the caller starts on a sampling update
        bool const changed = comparedFigures(osd.text) != comparedFigures(previous);
        int const paints = counter.updatePaints - before;
        if (sampling && changed) {
            ++expected;
            EXPECT_EQ(1, paints) << what << ": update " << index << " changed a figure";
        } else if (paints != 0) {
            ++unexpected;
            ADD_FAILURE() << what << ": update " << index << " repainted with nothing changed";
        }
        previous = osd.text;
        pumpMessages(spacingMs);
    }
    std::printf("%s: %d updates, %d repaints by updates (%d figure changes, %d unexpected), "
                "%d more on WM_PAINT\n",
                what, updates, counter.updatePaints, expected, unexpected, counter.messagePaints);
    SetWindowLongPtrW(osd.getWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counter.original));
}

// `updates` at `spacingMs` with both loads shown, then 40 without them.
void checkRepaintsOnlyOnChange(int updates, DWORD spacingMs)
{
    OsdIndicator& osd = makeOsd();
    ASSERT_TRUE(osd.showCpu && osd.showMem);
    countPaintsOf(osd.getWindow());
    for (int index = 0; index < 3; ++index) {
        nudgeAside(osd.getWindow());
        osd.update(false, false, false, true);
    }
    EXPECT_EQ(3, counter.updatePaints) << "every forced update paints";
    nudgeAside(osd.getWindow());
    osd.update(false, true, false, false); // Caps Lock on: paints
    EXPECT_EQ(4, counter.updatePaints);
    SetWindowLongPtrW(osd.getWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counter.original));

    // Four updates so far: the next one samples.
    checkIdleRepaints(osd, updates, spacingMs, "CPU and memory shown");

    osd.showCpu = false;
    osd.showMem = false;
    osd.update(false, true, false, false); // the load items go away
    EXPECT_EQ(L"Caps Lock", std::wstring(osd.text));
    for (int index = 0; index < 3; ++index)
        osd.update(false, true, false, false);
    checkIdleRepaints(osd, 40, 0, "no loads shown");
    EXPECT_EQ(0, counter.updatePaints);
}

void checkGdiObjectsStable()
{
    OsdIndicator& osd = makeOsd();
    for (int index = 0; index < 20; ++index)
        osd.update(true, true, true, true);
    pumpMessages(50);
    long const before = gdiObjectCount();
    ASSERT_GT(before, 0);
    DWORD const start = GetTickCount();
    for (int index = 0; index < 1000; ++index)
        osd.update(index % 2 == 0, true, false, true);
    DWORD const elapsed = GetTickCount() - start;
    pumpMessages(50);
    long const after = gdiObjectCount();
    std::printf("GDI objects: %ld before, %ld after 1000 forced updates (%lu ms)\n", before, after,
                elapsed);
    EXPECT_EQ(before, after);
}

void takeScreenshot(std::wstring const& path)
{
    OsdIndicator& osd = makeOsd();
    // Two sampling updates give a CPU figure; all locks on: every item.
    for (int index = 0; index < 5; ++index) {
        osd.update(true, true, true, false);
        Sleep(50);
    }
    pumpMessages(500); // the paints that the window's own messages cause
    // A WM_PAINT that erases first: the text drawn through GetDC must stay.
    InvalidateRect(osd.getWindow(), nullptr, TRUE);
    pumpMessages(300);
    std::wstring const text = osd.text;
    EXPECT_NE(std::wstring::npos, text.find(L"CPU Load: "));
    EXPECT_NE(std::wstring::npos, text.find(L"RAM Used:\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"Scroll Lock"));
    ASSERT_TRUE(saveScreenshot(path));

    // Inside the window: text pixels, and no pixel of the key colour.
    RECT const rect = windowRect(osd.getWindow());
    HDC const screen = GetDC(nullptr);
    int textPixels = 0;
    int keyPixels = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            COLORREF const pixel = GetPixel(screen, x, y);
            textPixels += pixel == osd.textColor ? 1 : 0;
            keyPixels += pixel == osd.backColor ? 1 : 0;
        }
    }
    ReleaseDC(nullptr, screen);
    std::printf("OSD at (%ld,%ld)-(%ld,%ld): %d pixels of the text colour, %d of the key\n",
                rect.left, rect.top, rect.right, rect.bottom, textPixels, keyPixels);
    EXPECT_GT(textPixels, 50) << "the text is drawn";
    EXPECT_EQ(0, keyPixels) << "the background is keyed out";
}

// Runs the check named by argv[0] (a path follows "screenshot") in a
// process of its own; 0 when all its assertions held.
KOVIX_CHILD_MODE(osd_check)
{
    std::wstring const name = argc > 0 ? argv[0] : L"";
    if (name == L"window")
        checkWindowAndText();
    else if (name == L"positions") {
        checkPositionsAndDisplayChange();
        changeScreenMode(kScreenWidth, kScreenHeight);
    }
    else if (name == L"colour_key")
        checkColourKey();
    else if (name == L"foreground")
        checkForegroundAndRecreation();
    else if (name == L"repaints")
        checkRepaintsOnlyOnChange(40, 0);
    else if (name == L"idle_minute")
        checkRepaintsOnlyOnChange(240, 250);
    else if (name == L"gdi")
        checkGdiObjectsStable();
    else if (name == L"screenshot" && argc > 1)
        takeScreenshot(argv[1]);
    else
        return 2;
    return childTestResult();
}

// ------------------------------------------------------------------ tests

TEST(OsdSettingsFile, CreatedWhenMissingOrEmptyAndLeftAloneOtherwise)
{
    std::string defaultBytes(256, '\0');
    defaultBytes.resize(encodeSettingsText(
        kOsdDefaultText, reinterpret_cast<unsigned char*>(&defaultBytes[0]), defaultBytes.size()));
    EXPECT_EQ(142u, defaultBytes.size()) << "139 characters, CR LF line ends";
    struct Row {
        char const* before; // null: no file
        int read;           // what osd_settings reports
        bool created;       // the default text written, else left as it was
    };
    Row const rows[] = {
        {nullptr, 1 | 2 | 4, true},
        {"", 1 | 2 | 4, true}, // an empty file counts as missing
        {"[KOVIX Tool OSD settings]\r\nCpuLoad=0;", 2 | 4, false}, // MemLoad missing: on
        {"[h]\r\n[Any]\r\nmemload = 0\r\nCpuLoad=7;\r\nCpuLoad=0;", 1 | 4, false},
    };
    for (Row const& row : rows) {
        TempFolder folder;
        if (row.before != nullptr) {
            ASSERT_TRUE(writeFileBytes(folder.file(L"OSD.ini"), row.before));
        }
        EXPECT_EQ(row.read, runChildIn(folder, L"osd_settings"))
            << testing::PrintToString(row.before);
        EXPECT_EQ(row.created ? defaultBytes : std::string(row.before),
                  readFileBytes(folder.file(L"OSD.ini")));
    }
}

TEST(OsdWindow, ClassStylesPlacementColourKeyAndForeground)
{
    ScreenModeRestorer restore; // osd_positions switches the display
    for (wchar_t const* mode : {L"window", L"positions", L"colour_key", L"foreground"}) {
        TempFolder folder;
        ASSERT_TRUE(writeFileBytes(folder.file(L"OSD.ini"), kLoadsOff));
        EXPECT_EQ(0, runChildIn(folder, std::wstring(L"osd_check ") + mode))
            << testing::PrintToString(mode);
    }
}

TEST(OsdRepaints, OnlyWhenAShownFigureChanges)
{
    TempFolder folder;
    EXPECT_EQ(0, runChildIn(folder, L"osd_check repaints"));
}

// A minute of idle updates at the program's pace; prints the repaints.
// A measurement, left out of the suite: ctest --test-dir build/win64 -L measure.
TEST(OsdRepaints, PerIdleMinute)
{
    TempFolder folder;
    EXPECT_EQ(0, runChildIn(folder, L"osd_check idle_minute", 150000));
}

TEST(OsdPaint, GdiObjectsStayStableOverAThousandUpdates)
{
    TempFolder folder;
    EXPECT_EQ(0, runChildIn(folder, L"osd_check gdi"));
}

TEST(OsdPaint, ScreenshotShowsTheTextOverTheDesktop)
{
    std::wstring const folderOfShots = folderOf(ownExecutablePath()) + L"\\screenshots";
    CreateDirectoryW(folderOfShots.c_str(), nullptr);
    std::wstring const shot = folderOfShots + L"\\osd.bmp";
    DeleteFileW(shot.c_str());
    TempFolder folder;
    EXPECT_EQ(0, runChildIn(folder, L"osd_check screenshot \"" + shot + L"\""));
    EXPECT_TRUE(fileExists(shot));
}

} // namespace
