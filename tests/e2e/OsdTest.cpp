// The on-screen display of the real program, seen from outside: its window
// (class "KOVIXToolKbInd" of the program's process), where it sits, when it
// shows, how Caps Lock typed with SendInput reaches it and the Caps Lock
// tray icon, and how often it repaints. The OSD has no readable text, so its
// text is judged by its size; its repaints are counted as X damage on its
// X window (every paint puts its pixels to the X server again, changed or
// not). The exact repaint rule is checked inside a process by
// tests/win/OsdIndicatorTest.cpp; here the program as a whole is held to it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"
#include "tests/win/HostCommand.h"

namespace {

// The Caps Lock icon's colours: a magenta square with a cyan letter, colours
// nothing else in the tray strip has.
COLORREF const kCapsBack = RGB(255, 0, 255);
char const kCapsBackSetting[] = "16711935";
char const kCapsLetterSetting[] = "16776960";

std::string resolutionSettings(int kbInd, int position)
{
    return std::string("[KOVIX Tool resolution settings]\r\n"
                       "Resolution=800,480;\r\n"
                       "Scaling=0;\r\n"
                       "Minimized=1;\r\n"
                       "NumLock=0;\r\n"
                       "CapsLock=1;\r\n"
                       "CpsLckBG=") + kCapsBackSetting + ";\r\n"
           "CpsLckFG=" + kCapsLetterSetting + ";\r\n"
           "ScrlLock=0;\r\n"
           "\r\n"
           "[OSD Settings]\r\n"
           "KbInd=" + std::to_string(kbInd) + ";\r\n"
           "KbIndClr=12616523;\r\n"
           "KbIndPos=" + std::to_string(position) + ";";
}

std::string osdSettings(bool cpu, bool mem)
{
    return std::string("[KOVIX Tool OSD settings]\r\nCpuLoad=") + (cpu ? "1" : "0") +
           ";\r\nMemLoad=" + (mem ? "1" : "0") + ";";
}

void pumpFor(DWORD milliseconds)
{
    waitUntil([] { return false; }, milliseconds);
}

// ------------------------------------------------------------- repaints

// Times (ms from the start) of the OSD's paints during `seconds`, counted
// by the host as damage on its X window (tools/count_damage.py --times).
std::vector<int> paintTimes(HWND osd, int seconds)
{
    unsigned long long const xid = host::xWindow(osd);
    EXPECT_NE(0u, xid) << "the OSD's X window";
    host::Result const result =
        host::run("python3 '" + host::repoPath() + "/tools/count_damage.py' " +
                      std::to_string(xid) + " " + std::to_string(seconds) + " --times",
                  DWORD(seconds) * 1000 + 15000);
    EXPECT_EQ(0, result.status) << "counting X damage: " << result.output;
    std::vector<int> times;
    std::istringstream lines(result.output);
    for (std::string word; lines >> word;)
        if (word == "repaint_ms" && lines >> word)
            times.push_back(std::atoi(word.c_str()));
    return times;
}

// The user's window, in another process than the OSD's: how often it lost
// the activation.
int deactivations = 0;

LRESULT CALLBACK userWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE)
        ++deactivations;
    return DefWindowProcW(window, message, wParam, lParam);
}

std::string joined(std::vector<int> const& values)
{
    std::ostringstream text;
    for (int value : values)
        text << value << " ";
    return text.str();
}

// ------------------------------------------------------------- fixture

class Osd : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "needs the test rig's display and tray host (tools/rig.sh exec)";
        wintest::restoreNativeScreenMode();
        // The program reads every lock as off when it starts, so Caps Lock
        // must really be off by then.
        switchCapsOff();
        ASSERT_FALSE(capsToggled());
    }
    void TearDown() override
    {
        stop();
        if (!host::inRig()) // never someone's own display or keyboard
            return;
        if (capsToggled())
            pressCaps();
        wintest::restoreNativeScreenMode();
    }

    // Starts the program with these settings; returns its OSD window, if any.
    HWND start(std::string const& resolution, std::string const& osd)
    {
        stop();
        EXPECT_TRUE(writeFileBytes(folder_.file(L"Resolution.ini"), resolution));
        EXPECT_TRUE(writeFileBytes(folder_.file(L"OSD.ini"), osd));
        tool_.reset(new ToolProcess(folder_));
        EXPECT_TRUE(tool_->start());
        // The OSD is made before the main window's controls.
        if (tool_->waitForMainWindow() == nullptr)
            return nullptr;
        return findProcessWindow(tool_->id(), kOsdWindowClass);
    }

    void stop()
    {
        if (!tool_)
            return;
        if (HWND const window = tool_->mainWindow()) {
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
            tool_->waitForExit(5000);
        }
        tool_.reset();
    }

    TempFolder folder_;
    std::unique_ptr<ToolProcess> tool_;
};

} // namespace

TEST_F(Osd, ExistsOnlyWithKbIndAndSitsWhereKbIndPosSays)
{
    HWND osd = start(resolutionSettings(0, 4), osdSettings(false, true));
    ASSERT_NE(nullptr, tool_->mainWindow());
    pumpFor(600);
    EXPECT_EQ(nullptr, findProcessWindow(tool_->id(), kOsdWindowClass)) << "KbInd=0";

    // The memory item keeps the window shown: two lines.
    for (int position : {1, 2, 3, 4, 5, 6, 0, 9}) {
        osd = start(resolutionSettings(1, position), osdSettings(false, true));
        ASSERT_NE(nullptr, osd) << "KbInd=1, KbIndPos=" << position;
        EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(osd) && placedFor(position, osd, 800, 480); },
                              3000))
            << "KbIndPos=" << position << ": " << describe(windowRect(osd));
        RECT const rect = windowRect(osd);
        EXPECT_GT(rect.bottom - rect.top, osdTextSize(L"RAM Used:").cy) << "two lines";
        EXPECT_EQ(L"", windowText(osd));
    }
}

TEST_F(Osd, CapsLockAloneShowsTheWindowAndTurnsTheTrayIconToACapital)
{
    HWND const osd = start(resolutionSettings(1, 4), osdSettings(false, false));
    ASSERT_NE(nullptr, osd);
    pumpFor(600);
    EXPECT_FALSE(IsWindowVisible(osd)) << "no loads, no locks: nothing to show";
    LockIcon const off = captureLockIcon(kCapsBack);
    ASSERT_TRUE(off.found) << "the Caps Lock icon in the tray strip";
    // The square is 16x16; the tray host may add a row of its own border.
    EXPECT_EQ(16, off.width);
    EXPECT_NEAR(16, off.height, 1);
    ASSERT_GT(off.letterPixels, 0) << "\"a\" on the square";

    // The user types in a window of another process; the OSD that comes
    // with Caps Lock must not take the keyboard from it.
    HWND const user = wintest::createTestWindow(L"user", userWindowProc);
    ShowWindow(user, SW_SHOW);
    ASSERT_TRUE(bringToFront(user));
    deactivations = 0;
    pressCaps();
    DWORD const pressed = GetTickCount();
    DWORD shownAfter = 0;
    DWORD iconAfter = 0;
    waitUntil([&] {
        DWORD const now = GetTickCount() - pressed;
        if (shownAfter == 0 && IsWindowVisible(osd))
            shownAfter = now;
        if (iconAfter == 0 && captureLockIcon(kCapsBack).letterTop < off.letterTop)
            iconAfter = now;
        return shownAfter != 0 && iconAfter != 0;
    }, 3000);
    std::printf("Caps Lock on: OSD shown after %lu ms, tray icon \"A\" after %lu ms\n",
                shownAfter, iconAfter);
    EXPECT_NE(0u, shownAfter) << "the OSD shows with Caps Lock on";
    EXPECT_NE(0u, iconAfter) << "the tray icon turns to \"A\"";
    pumpFor(300);
    EXPECT_TRUE(wintest::saveScreenshot(screenshotFolder() + L"\\osd-caps-lock.bmp"));

    // "Caps Lock" alone: one line of the bold UI font, bottom-right.
    SIZE const text = osdTextSize(L"Caps Lock");
    EXPECT_TRUE(waitUntil([&] { return placedFor(4, osd, 800, 480); }, 1000));
    RECT const rect = windowRect(osd);
    EXPECT_EQ(text.cx, rect.right - rect.left) << describe(rect);
    EXPECT_EQ(text.cy, rect.bottom - rect.top) << describe(rect);
    EXPECT_EQ(800 - kOsdMargin, rect.right);
    EXPECT_EQ(480 - kOsdMargin, rect.bottom);
    EXPECT_EQ(0, deactivations) << "the OSD took the activation";
    std::string seen;
    EXPECT_TRUE(waitShownInFront(user, seen, 0)) << seen;
    POINT const onText = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    EXPECT_NE(osd, WindowFromPoint(onText)) << "a click on the text goes to the OSD";

    // Nothing shown changes now: no repaint at all (that the counter sees
    // real paints is checked in the idle-repaint test below).
    std::vector<int> const idle = paintTimes(osd, 3);
    EXPECT_TRUE(idle.empty()) << "paints at " << joined(idle) << "ms";

    // A display switch by a Windows program moves it to the new corner.
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, wintest::changeScreenMode(1024, 768));
    EXPECT_TRUE(waitUntil([&] { return placedFor(4, osd, 1024, 768); }, 3000))
        << describe(windowRect(osd));
    EXPECT_EQ(1024 - kOsdMargin, windowRect(osd).right);
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, wintest::changeScreenMode(800, 480));
    EXPECT_TRUE(waitUntil([&] { return placedFor(4, osd, 800, 480); }, 3000))
        << describe(windowRect(osd));

    ASSERT_TRUE(bringToFront(user));
    deactivations = 0;
    pressCaps();
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(osd); }, 3000)) << "hidden again";
    EXPECT_EQ(0, deactivations) << "the OSD took the activation as it went";
    DestroyWindow(user);
    EXPECT_TRUE(waitUntil([&] { return captureLockIcon(kCapsBack).letterTop == off.letterTop; }, 3000))
        << "back to \"a\"";
}

// Label taskbar: a rig whose tray strip runs along the bottom edge, the work
// area above it (tools/rig.sh exec --taskbar).
TEST_F(Osd, StaysInTheWorkAreaAboveTheTaskbar)
{
    RECT area = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    if (area.bottom == GetSystemMetrics(SM_CYSCREEN))
        GTEST_SKIP() << "needs a work area less a taskbar (tools/rig.sh exec --taskbar)";
    for (int position : {4, 6}) {
        HWND const osd = start(resolutionSettings(1, position), osdSettings(false, true));
        ASSERT_NE(nullptr, osd);
        EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(osd) && placedIn(position, osd, area); },
                              3000))
            << "KbIndPos=" << position << ": " << describe(windowRect(osd)) << " in "
            << describe(area);
    }
}

TEST_F(Osd, RepaintsOnlyOnASampleWhenIdleAndFollowsCapsLockQuickly)
{
    HWND const osd = start(resolutionSettings(1, 4), osdSettings(false, true));
    ASSERT_NE(nullptr, osd);
    ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(osd); }, 3000));
    pumpFor(300);

    // Only the memory figure can change, and it is compared once a second:
    // never more than one paint a second, against four updates a second.
    int const seconds = 10;
    std::vector<int> const paints = paintTimes(osd, seconds);
    std::vector<int> gaps;
    for (size_t i = 1; i < paints.size(); ++i)
        gaps.push_back(paints[i] - paints[i - 1]);
    std::printf("idle %d s with the memory line: %zu paints, at %s ms\n", seconds, paints.size(),
                joined(paints).c_str());
    EXPECT_LE(int(paints.size()), seconds + 1);
    // Sampling updates are four ticks apart; a late tick may shorten one gap.
    for (int gap : gaps)
        EXPECT_GE(gap, 600) << "paints at " << joined(paints) << "ms";

    // Lock latency: Caps Lock typed, until the window grows or shrinks by
    // the "Caps Lock" line. Presses fall at different points of the 250 ms
    // tick. A figure to read, not a limit.
    std::vector<DWORD> latencies;
    int missed = 0;
    for (int press = 0; press < 20; ++press) {
        pumpFor(DWORD(60 + press * 37 % 250));
        LONG const height = windowRect(osd).bottom - windowRect(osd).top;
        pressCaps();
        DWORD const pressed = GetTickCount();
        bool changed = false;
        while (!changed && GetTickCount() - pressed < 2000) {
            RECT const now = windowRect(osd);
            changed = now.bottom - now.top != height;
            if (!changed)
                Sleep(1);
        }
        if (changed)
            latencies.push_back(GetTickCount() - pressed);
        else
            ++missed;
    }
    EXPECT_EQ(0, missed) << "presses the window did not follow within 2 s";
    ASSERT_FALSE(latencies.empty());
    std::sort(latencies.begin(), latencies.end());
    std::printf("Caps Lock to OSD, %zu presses: median %lu ms, worst %lu ms, best %lu ms\n",
                latencies.size(), latencies[latencies.size() / 2], latencies.back(),
                latencies.front());
}
