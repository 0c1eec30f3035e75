// The saved display mode at start-up, end to end: the real program started
// with a Resolution.ini that saves 1024x768 switches the X display there
// before its window shows, and checks the mode's radio button. On a display
// that lacks the mode it keeps running and keeps the choice in its file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"
#include "tests/win/HostCommand.h"

namespace {

std::string settingsSaving(char const* resolution, char const* scaling = "0")
{
    return std::string("[KOVIX Tool resolution settings]\r\n"
                       "Resolution=") + resolution + ";\r\n"
           "Scaling=" + scaling + ";\r\n"
           "Minimized=0;\r\n"
           "NumLock=0;\r\n"
           "CapsLock=0;\r\n"
           "ScrlLock=0;\r\n"
           "\r\n"
           "[OSD Settings]\r\n"
           "KbInd=0;\r\n";
}

class StartupMode : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "switches the X display: needs the test rig (tools/rig.sh exec)";
        wintest::restoreNativeScreenMode();
        ASSERT_TRUE(waitUntil([] { return wintest::screenIs(800, 480); }));
        waitUntil([] { return false; }, 50);
        log_.clear();
    }
    void TearDown() override
    {
        if (HWND const window = tool_.mainWindow()) {
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
            tool_.waitForExit(5000);
        }
        tool_.kill();
        if (host::inRig()) // never someone's own display
            wintest::restoreNativeScreenMode();
    }

    HWND startWith(std::string const& settings)
    {
        EXPECT_TRUE(writeFileBytes(folder_.file(L"Resolution.ini"), settings));
        EXPECT_TRUE(tool_.start());
        return tool_.waitForMainWindow();
    }

    // The three radio buttons, which must all exist. (The menu's check
    // marks cannot be read from another process under Wine.)
    void expectChecked(HWND window, wchar_t const* checkedCaption)
    {
        for (wchar_t const* caption : {L"800 x 480", L"800 x 600", L"1024 x 768"}) {
            HWND const radio = findDescendant(window, caption);
            ASSERT_NE(nullptr, radio) << "no radio button \"" << caption << "\"";
            EXPECT_EQ(lstrcmpW(caption, checkedCaption) == 0, isButtonChecked(radio))
                << "radio \"" << caption << "\"";
        }
    }

    TempFolder folder_;
    ToolProcess tool_{folder_};
    // Every mode switch that Wine makes is broadcast to all top-level
    // windows, this test's too: the switches the program makes.
    DisplayChangeLog log_;
};

} // namespace

TEST_F(StartupMode, ASaved1024x768IsSetBeforeTheWindowShows)
{
    std::string const settings = settingsSaving("1024,768");
    HWND const window = startWith(settings);
    ASSERT_NE(nullptr, window);
    // The mode is restored before the window is shown, so by the time it is
    // found the switch is made; Wine hands the new size on at its own pace.
    EXPECT_TRUE(waitUntil([] { return wintest::screenIs(1024, 768); }, 3000))
        << GetSystemMetrics(SM_CXSCREEN) << "x" << GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ("1024x768", host::screenSize());
    EXPECT_EQ(std::vector<std::string>{"1024x768"}, log_.changes()) << "one switch";
    expectChecked(window, L"1024 x 768");
    EXPECT_EQ(settings, readFileBytes(folder_.file(L"Resolution.ini"))) << "nothing is saved";
    EXPECT_EQ(-1, tool_.waitForExit(0)) << "still running";
}

TEST_F(StartupMode, ASaved800x480OnTheNativeScreenSwitchesNothing)
{
    HWND const window = startWith(settingsSaving("800,480"));
    ASSERT_NE(nullptr, window);
    expectChecked(window, L"800 x 480");
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(log_.changes().empty()) << "switched to " << log_.changes().front();
    EXPECT_EQ("800x480", host::screenSize());
    EXPECT_TRUE(wintest::screenIs(800, 480));
}

TEST_F(StartupMode, WithoutTheModeTheProgramRunsOnAndKeepsTheChoice)
{
    if (wintest::offersMode(1024, 768))
        GTEST_SKIP() << "needs a display without 1024x768: ctest -L no1024 (tests/e2e/no1024.sh)";
    std::string const settings = settingsSaving("1024,768");
    HWND const window = startWith(settings);
    ASSERT_NE(nullptr, window);
    expectChecked(window, L"1024 x 768");
    EXPECT_EQ(-1, tool_.waitForExit(1500)) << "still running after the failed switch";
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(log_.changes().empty()) << "switched to " << log_.changes().front();
    EXPECT_TRUE(wintest::screenIs(800, 480));
    EXPECT_EQ("800x480", host::screenSize());
    EXPECT_EQ(settings, readFileBytes(folder_.file(L"Resolution.ini")))
        << "the choice of 1024x768 stays saved";

    // Apply tries again, fails again, and still writes the choice.
    HWND const apply = findDescendant(window, L"Apply");
    ASSERT_NE(nullptr, apply);
    postClick(apply);
    std::wstring const file = folder_.file(L"Resolution.ini");
    EXPECT_TRUE(waitUntil([&] { return readFileBytes(file) != settings; }, 3000))
        << "Apply rewrites the file";
    EXPECT_NE(std::string::npos, readFileBytes(file).find("Resolution=1024,768;"))
        << readFileBytes(file);
    EXPECT_EQ(-1, tool_.waitForExit(500));
    EXPECT_TRUE(log_.changes().empty()) << "switched to " << log_.changes().front();
    EXPECT_EQ("800x480", host::screenSize());
}

TEST_F(StartupMode, SettingsHeldByAnotherProgramChangeNeitherTheModeNorTheDriver)
{
    // As the last start left the machine: 1024x768, downscaling on.
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, wintest::changeScreenMode(1024, 768));
    std::string const on("\x01\0\0\0", 4);
    MachineValuesGuard const driver(kDriverKey, {L"Display1_DownScalingEnabled"});
    ASSERT_TRUE(writeMachineValue(kDriverKey, L"Display1_DownScalingEnabled", REG_BINARY, on));
    std::string const settings = settingsSaving("1024,768", "1");
    std::wstring const file = folder_.file(L"Resolution.ini");
    ASSERT_TRUE(writeFileBytes(file, settings));
    // A virus scanner holds it without read sharing for the whole start.
    HANDLE const held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(tool_.start());
    EXPECT_NE(nullptr, tool_.waitForMainWindow());
    CloseHandle(held);

    EXPECT_TRUE(waitForBalloon(
        L"The settings could not be read; KOVIX Tool shows the defaults and changed nothing."));
    EXPECT_EQ(std::vector<std::string>{"1024x768"}, log_.settled()) << "the test's own switch only";
    EXPECT_EQ(on, readMachineValue(kDriverKey, L"Display1_DownScalingEnabled"));
    EXPECT_EQ(settings, readFileBytes(file));
}
