// The settings window of the real program as another process sees it: its
// sixteen controls (class, text, parent, style, identifier, place and size)
// at 96 and 120 DPI, the window's own size, and the check marks the loaded
// settings give the controls.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

std::string settingsWith(char const* scaling, char const* minimized, char const* numLock,
                         char const* capsLock, char const* scrlLock, char const* kbInd)
{
    return std::string("[KOVIX Tool resolution settings]\r\n"
                       "Resolution=800,480;\r\n"
                       "Scaling=") + scaling + ";\r\n"
           "Minimized=" + minimized + ";\r\n"
           "NumLock=" + numLock + ";\r\n"
           "CapsLock=" + capsLock + ";\r\n"
           "ScrlLock=" + scrlLock + ";\r\n"
           "\r\n"
           "[OSD Settings]\r\n"
           "KbInd=" + kbInd + ";\r\n";
}

class SettingsWindow : public testing::Test {
protected:
    HWND startWith(std::string const& settings)
    {
        EXPECT_TRUE(writeFileBytes(folder_.file(L"Resolution.ini"), settings));
        EXPECT_TRUE(tool_.start());
        return tool_.waitForMainWindow();
    }

    void screenshot(wchar_t const* name)
    {
        // Let the window finish painting first.
        waitUntil([] { return false; }, 300);
        EXPECT_TRUE(wintest::saveScreenshot(screenshotFolder() + L"\\" + name + L".bmp"));
    }

    // The Run value decides "Start with Windows"; the start writes the
    // driver's flag. Both are put back afterwards.
    MachineValuesGuard runValue_{kRunKey, {L"KOVIX Tool"}};
    MachineValuesGuard driverValues_{kDriverKey, {L"Display1_DownScalingEnabled"}};
    TempFolder folder_;
    ToolProcess tool_{folder_};
};

} // namespace

TEST_F(SettingsWindow, SixteenControlsInTheirPlacesAt96DpiCheckedAsTheSettingsSay)
{
    ASSERT_TRUE(writeMachineValue(kRunKey, L"KOVIX Tool", REG_SZ, regSz(L"\"" + tool_.exePath() + L"\"")));
    HWND const main = startWith(settingsWith("1", "0", "0", "1", "0", "0"));
    ASSERT_NE(nullptr, main);
    screenshot(L"settings-window-96dpi");

    expectControlsAt(main, 96);
    expectWindowSizeAt(main, 96);
    expectChecks(main, {true, true, false, false, true, false, false, false, true, false});
}

TEST_F(SettingsWindow, TheOppositeSettingsGiveTheOppositeCheckMarks)
{
    deleteMachineValue(kRunKey, L"KOVIX Tool");
    // Minimised at start: hidden in the tray, its controls there all the same.
    HWND const main = startWith(settingsWith("0", "1", "1", "0", "1", "1"));
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(main) && IsIconic(main); }));
    expectChecks(main, {false, false, true, true, true, false, false, true, false, true});
}

TEST_F(SettingsWindow, At120DpiEveryNumberIsScaledOnItsOwnAndTruncated)
{
    HWND main = nullptr;
    {
        // The program reads the setting once, when it starts.
        wintest::ScopedLogPixels const dpi(120);
        main = startWith(settingsWith("0", "0", "1", "1", "1", "0"));
    }
    ASSERT_NE(nullptr, main);
    screenshot(L"settings-window-120dpi");

    expectControlsAt(main, 120);
    expectWindowSizeAt(main, 120);
    // The figures of the table at 120 DPI, worked out by hand.
    RECT const scaling = rectInParent(findDescendant(main, L"Enable scaling"));
    EXPECT_EQ(193, scaling.right - scaling.left);
    EXPECT_EQ(23, scaling.bottom - scaling.top);
    RECT window = {};
    RECT client = {};
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    EXPECT_EQ(405, window.right - window.left);
    EXPECT_EQ(195, client.bottom);
}
