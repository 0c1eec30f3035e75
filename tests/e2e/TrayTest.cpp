// The real program's tray icons as a user sees them: the lock icons in the
// tray host's strip at the top right of the screen, in their configured
// colours; back after the notification area restarts; gone after "E&xit".
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

std::string settingsText(char const* numBG, char const* scrBG, char const* minimized)
{
    return std::string("[KOVIX Tool resolution settings]\r\n"
                       "Resolution=800,480;\r\n"
                       "Scaling=0;\r\n"
                       "Minimized=") + minimized + ";\r\n"
           "NumLock=1;\r\n"
           "NumLckBG=" + numBG + ";\r\n"
           "NumLckFG=65280;\r\n"
           "CapsLock=1;\r\n"
           "CpsLckBG=0;\r\n"
           "CpsLckFG=65535;\r\n"
           "ScrlLock=1;\r\n"
           "ScrLckBG=" + scrBG + ";\r\n"
           "ScrLckFG=16776960;\r\n"
           "\r\n"
           "[OSD Settings]\r\n"
           "KbInd=0;\r\n";
}

// Runs `tools/rig.sh restart-tray` on the host; its exit status, or -1.
int restartTrayHost()
{
    std::string const repo = host::repoPath();
    if (repo.empty())
        return -1;
    return host::run("bash '" + repo + "/tools/rig.sh' restart-tray >/dev/null 2>&1").status;
}

class Tray : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "needs the test rig's tray host (tools/rig.sh exec)";
    }

    // Starts the program with the given settings and waits for its four icons.
    HWND startWith(std::string const& settings)
    {
        EXPECT_TRUE(writeFileBytes(folder_.file(L"Resolution.ini"), settings));
        EXPECT_TRUE(tool_.start());
        HWND const window = tool_.waitForMainWindow();
        if (window == nullptr)
            return nullptr;
        EXPECT_TRUE(waitUntil([&] { return allIconsInShell(window); }));
        return window;
    }

    bool allIconsInShell(HWND window) const
    {
        for (UINT i = 0; i < 4; ++i)
            if (!wintest::shellHasIcon(window, kMainTrayIconId + i))
                return false;
        return true;
    }

    // Waits until the strip shows what `expected` says (the tray host
    // repaints on its own time), then returns what it shows.
    template <typename Expected>
    TrayColours waitForStrip(Expected expected, DWORD timeoutMs = 5000)
    {
        TrayColours seen;
        waitUntil([&] { return expected(seen = trayColours(captureScreen())); }, timeoutMs);
        return seen;
    }

    std::wstring screenshot(wchar_t const* name)
    {
        std::wstring const path = screenshotFolder() + L"\\" + name + L".bmp";
        EXPECT_TRUE(wintest::saveScreenshot(path));
        return path;
    }

    TempFolder folder_;
    ToolProcess tool_{folder_};
};

bool showsColouredIcons(TrayColours const& seen)
{
    // 16x16 squares, less the letter of a lock that happens to be on.
    return seen.red >= 200 && seen.blue >= 200 && seen.yellow >= 5;
}

bool showsNoneOfTheColours(TrayColours const& seen)
{
    return seen.red == 0 && seen.blue == 0 && seen.yellow == 0;
}

} // namespace

TEST_F(Tray, DefaultColoursShowBlackSquaresAndAYellowCapsLetter)
{
    HWND const window = startWith(settingsText("0", "0", "1"));
    ASSERT_NE(nullptr, window);
    // Num and Scroll Lock off: plain black squares; Caps Lock off: a
    // yellow "a" on black.
    TrayColours const seen = waitForStrip([](TrayColours const& c) {
        return c.black >= 650 && c.yellow >= 5;
    });
    screenshot(L"tray-default-colours");
    EXPECT_GE(seen.black, 650) << "strip " << seen.stripWidth << " px wide";
    EXPECT_GE(seen.yellow, 5);
    EXPECT_EQ(0, seen.red);
    EXPECT_EQ(0, seen.blue);
}

TEST_F(Tray, ConfiguredBackgroundsShowInTheTraySurviveARestartOfTheTrayHostAndGoWithExit)
{
    HWND const window = startWith(settingsText("255", "16711680", "1"));
    ASSERT_NE(nullptr, window);
    TrayColours seen = waitForStrip(showsColouredIcons);
    screenshot(L"tray-red-num-blue-scroll");
    EXPECT_TRUE(showsColouredIcons(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;

    // Wine's shell keeps its icons when the X tray host goes and docks them
    // again into the new one; the program's own part, re-adding on the
    // shell's notice, is the next test.
    ASSERT_EQ(0, restartTrayHost()) << "tools/rig.sh restart-tray";
    seen = waitForStrip(showsColouredIcons, 10000);
    screenshot(L"tray-after-tray-host-restart");
    EXPECT_TRUE(showsColouredIcons(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;
    EXPECT_TRUE(allIconsInShell(window));

    // "E&xit" from there takes every icon along.
    ASSERT_TRUE(showsColouredIcons(waitForStrip(showsColouredIcons)));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0); // "E&xit"
    ASSERT_EQ(0, tool_.waitForExit(5000));
    seen = waitForStrip(showsNoneOfTheColours);
    screenshot(L"tray-after-exit");
    EXPECT_TRUE(showsNoneOfTheColours(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;
    for (UINT i = 0; i < 4; ++i)
        EXPECT_FALSE(wintest::shellHasIcon(window, kMainTrayIconId + i)) << "icon " << i;
}

TEST_F(Tray, IconsComeBackWhenTheShellAnnouncesAnEmptyNotificationArea)
{
    HWND const window = startWith(settingsText("255", "16711680", "1"));
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(showsColouredIcons(waitForStrip(showsColouredIcons)));

    // What a restarted shell leaves: none of the program's icons.
    for (UINT i = 0; i < 4; ++i)
        ASSERT_TRUE(wintest::shellDeleteIcon(window, kMainTrayIconId + i));
    EXPECT_TRUE(showsNoneOfTheColours(waitForStrip(showsNoneOfTheColours)));

    PostMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(waitUntil([&] { return allIconsInShell(window); }));
    TrayColours const seen = waitForStrip(showsColouredIcons);
    screenshot(L"tray-after-taskbar-created");
    EXPECT_TRUE(showsColouredIcons(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;
}
