// One start of the program serves this whole suite, for machines where a
// start is slow: the shipped i686 KOVIX Tool.exe under 32-bit Wine with CPU
// emulation takes about a minute. Its cases run in order on the program the
// suite started (first start, files, window, tray, OSD, a mode command, Run
// value, a later start's /mode and its repeat after an outside change, E&xit
// during Apply's question, then /exit with nothing running), so ctest runs
// the suite as one entry, OneStart, in the ordinary run too (on the x86_64
// build); the i686 layer runs it on the release build where it emulates.
// Cases for another start get a suite of their own beside this one.
//
// The memory line of the OSD is not judged here: under the emulation 32-bit
// Wine reads wrong memory counts on a machine with more than 4 GiB.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/resource.h"
#include "app/CommandLine.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

COLORREF const kOsdColour = 12616523; // KbIndClr of the defaults

// The Run value in the program's view of the machine's key; type 0 when absent.
std::wstring runValue(DWORD& type)
{
    return registryText(readMachineValue(kRunKey, kRunValue, &type));
}

bool sendCommand(HWND window, WPARAM command)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_COMMAND, command, 0, SMTO_NORMAL, slowed(30000),
                               &result) != 0;
}

class OneStart : public testing::Test {
protected:
    // The first start, in a folder without settings files, Caps Lock off
    // (the program reads every lock as off when it starts).
    static void SetUpTestSuite()
    {
        if (!host::inRig())
            return;
        wintest::restoreNativeScreenMode();
        switchCapsOff();
        DWORD type = 0;
        deleteMachineValue(kRunKey, kRunValue);
        folder_ = new TempFolder;
        tool_ = new ToolProcess(*folder_);
        DWORD const start = GetTickCount();
        if (tool_->start() && tool_->waitForMainWindow(12000) != nullptr)
            std::printf("start to the main window: %.1f s\n", (GetTickCount() - start) / 1000.0);
        runValue(type);
        hadRunValue_ = type != 0;
    }

    static void TearDownTestSuite()
    {
        delete tool_;
        tool_ = nullptr;
        delete folder_;
        folder_ = nullptr;
        if (!host::inRig())
            return;
        deleteMachineValue(kRunKey, kRunValue);
        if (capsToggled())
            pressCaps();
        wintest::restoreNativeScreenMode();
    }

    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "needs the test rig (tools/rig.sh exec)";
        ASSERT_NE(nullptr, tool_->mainWindow()) << "the program did not show its window";
        main_ = tool_->mainWindow();
    }

    static HWND osd() { return findProcessWindow(tool_->id(), kOsdWindowClass); }
    static std::string settings() { return readFileBytes(folder_->file(L"Resolution.ini")); }

    static TempFolder* folder_;
    static ToolProcess* tool_;
    static bool hadRunValue_;
    HWND main_ = nullptr;
};

TempFolder* OneStart::folder_ = nullptr;
ToolProcess* OneStart::tool_ = nullptr;
bool OneStart::hadRunValue_ = false;

} // namespace

TEST_F(OneStart, FirstStartWritesBothDefaultFilesByteForByte)
{
    EXPECT_EQ(defaultSettingsText(), settings());
    EXPECT_EQ(defaultOsdText(), readFileBytes(folder_->file(L"OSD.ini")));
}

TEST_F(OneStart, SixteenControlsInTheirPlacesAt96DpiCheckedAsTheDefaultsSay)
{
    EXPECT_FALSE(hadRunValue_);
    expectControlsAt(main_, 96);
    expectWindowSizeAt(main_, 96);
    expectChecks(main_, {false, false, false, true, true, false, false, true, true, true});
    EXPECT_TRUE(wintest::saveScreenshot(screenshotFolder() + L"\\one-start-first-start.bmp"));
}

TEST_F(OneStart, FourTrayIconsAndTheLockIconsInTheirColours)
{
    for (UINT i = 0; i < 4; ++i)
        EXPECT_TRUE(waitUntil([&] { return wintest::shellHasIcon(main_, kMainTrayIconId + i); }, slowed(5000)))
            << "icon " << i;
    // All locks off: black squares for Num and Scroll Lock, a yellow "a"
    // (CpsLckFG=65535) on black for Caps Lock.
    TrayColours seen;
    waitUntil([&] {
        seen = trayColours(captureScreen());
        return seen.black >= 650 && seen.yellow >= 5;
    }, slowed(5000));
    EXPECT_GE(seen.black, 650) << "strip " << seen.stripWidth << " px wide";
    EXPECT_GE(seen.yellow, 5);
    EXPECT_EQ(0, seen.red);
    EXPECT_EQ(0, seen.blue);
}

TEST_F(OneStart, OsdSitsBottomRightAndItsCpuLineFollowsProcStat)
{
    HWND const window = osd();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(window) && placedFor(4, window, 800, 480); },
                          slowed(3000)))
        << describe(windowRect(window));
    // One core kept busy. The OSD samples a second at a time (its CPU line
    // comes with the second sample); /proc/stat is read over the whole time
    // the figures are read.
    wintest::BusyCore const busy;
    waitUntil([] { return false; }, 2000);
    wintest::CpuJiffies const before = wintest::readProcStat("cpu");
    std::vector<int> loads;
    for (int reading = 0; reading < 12; ++reading) {
        waitUntil([] { return false; }, 250);
        loads.push_back(osdCpuLoad(window, kOsdColour));
    }
    double const reference = wintest::busyPercent(before, wintest::readProcStat("cpu"));
    ASSERT_GE(reference, 0) << "Z:\\proc\\stat";
    double sum = 0;
    std::string shown;
    for (int load : loads) {
        EXPECT_GE(load, 0) << "the CPU line reads \"CPU Load: N%\" for no N from 0 to 100";
        sum += load;
        shown += std::to_string(load) + " ";
    }
    std::printf("CPU line: %s(mean %.1f), /proc/stat %.1f%%\n", shown.c_str(), sum / loads.size(),
                reference);
    EXPECT_NEAR(reference, sum / loads.size(), 20.0) << shown;
}

TEST_F(OneStart, CapsLockTypedAddsTheCapsLockLine)
{
    HWND const window = osd();
    ASSERT_NE(nullptr, window);
    ASSERT_FALSE(capsToggled());
    pressCaps();
    EXPECT_TRUE(waitUntil([&] { return osdLineMismatches(window, 3, L"Caps Lock", kOsdColour) == 0; },
                          slowed(3000)))
        << "mismatching pixels " << osdLineMismatches(window, 3, L"Caps Lock", kOsdColour) << ", "
        << describe(windowRect(window));
    EXPECT_TRUE(placedFor(4, window, 800, 480)) << describe(windowRect(window));
    EXPECT_TRUE(wintest::saveScreenshot(screenshotFolder() + L"\\one-start-osd-caps-lock.bmp"));
    pressCaps();
    EXPECT_TRUE(waitUntil([&] { return osdLineMismatches(window, 3, L"Caps Lock", kOsdColour) < 0; },
                          slowed(3000)))
        << "the line goes with Caps Lock off";
}

TEST_F(OneStart, TrayModeCommandSwitchesTheXScreenRewritesTheFileAndMovesTheOsd)
{
    ASSERT_TRUE(sendCommand(main_, IDM_MODE_1024X768));
    EXPECT_EQ("1024x768", screenSize());
    EXPECT_EQ("1024x768", host::screenSize()) << "the X screen itself";
    EXPECT_TRUE(isButtonChecked(findDescendant(main_, L"1024 x 768")));
    EXPECT_EQ(defaultSettingsText("1024,768"), settings());
    HWND const window = osd();
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(waitUntil([&] { return placedFor(4, window, 1024, 768); }, slowed(3000)))
        << describe(windowRect(window));

    ASSERT_TRUE(sendCommand(main_, IDM_MODE_800X480));
    EXPECT_EQ("800x480", host::screenSize());
    EXPECT_EQ(defaultSettingsText(), settings());
    EXPECT_TRUE(waitUntil([&] { return placedFor(4, window, 800, 480); }, slowed(3000)))
        << describe(windowRect(window));
}

TEST_F(OneStart, StartWithWindowsWritesTheQuotedRunValueAndDeletesIt)
{
    HWND const startup = findDescendant(main_, L"Start with Windows");
    HWND const apply = findDescendant(main_, L"Apply");
    ASSERT_NE(nullptr, startup);
    ASSERT_NE(nullptr, apply);
    DWORD type = 0;
    ASSERT_TRUE(clickAndWait(startup, slowed(30000)));
    ASSERT_TRUE(clickAndWait(apply, slowed(30000)));
    // In quotes, as the path holds a blank ("...\KOVIX Tool.exe").
    EXPECT_EQ(L"\"" + tool_->exePath() + L"\"", runValue(type));
    EXPECT_EQ(DWORD(REG_SZ), type);

    ASSERT_TRUE(clickAndWait(startup, slowed(30000)));
    ASSERT_TRUE(clickAndWait(apply, slowed(30000)));
    runValue(type);
    EXPECT_EQ(0u, type) << "deleted";
}

TEST_F(OneStart, ALaterStartsModeCommandSwitchesThroughTheRunningCopy)
{
    TempFolder other;
    ToolProcess later(other);
    ToolProcess::CommandRun const run = later.run(L"/mode 800x600", slowed(8000));
    EXPECT_EQ(0, run.exitCode) << "box: " << narrow(run.boxText);
    EXPECT_FALSE(run.hadMainWindow);
    EXPECT_EQ("800x600", host::screenSize());
    EXPECT_EQ(defaultSettingsText("800,600"), settings());
    EXPECT_FALSE(fileExists(other.file(L"Resolution.ini"))) << "only the running copy's files";

    // Another program puts the display back: the same /mode, handed over as
    // a later start hands it, switches again.
    ASSERT_TRUE(wintest::restoreNativeScreenMode());
    wchar_t const again[] = L"/mode 800x600";
    DWORD_PTR reply = 0;
    EXPECT_TRUE(sendCopyData(main_, kCommandDataId, again, sizeof(again), reply, slowed(8000)));
    EXPECT_EQ(DWORD_PTR(kReplyDone), reply);
    EXPECT_EQ("800x600", host::screenSize());

    ASSERT_TRUE(sendCommand(main_, IDM_MODE_800X480));
    EXPECT_EQ("800x480", host::screenSize());
}

TEST_F(OneStart, ExitDuringTheDownscalingQuestionEndsWithCodeZeroOnceAnswered)
{
    MachineValuesGuard driverValues(
        kDriverKey, {L"Display1_DownScalingEnabled", L"Display1_DownScalingSupported", L"PruningMode"});
    ASSERT_TRUE(wintest::createRegistryKey(HKEY_LOCAL_MACHINE, kDriverKey));
    deleteMachineValue(kDriverKey, L"Display1_DownScalingSupported"); // so that Apply asks
    ASSERT_TRUE(clickAndWait(findDescendant(main_, L"Enable scaling"), slowed(30000)));
    postClick(findDescendant(main_, L"Apply"));
    HWND const warning = waitForDialog(tool_->id(), L"Warning", slowed(10000));
    ASSERT_NE(nullptr, warning);
    ASSERT_TRUE(sendCommand(main_, MAKEWPARAM(IDM_EXIT, 0)));
    EXPECT_TRUE(IsWindow(warning)) << "the question was closed under Apply";
    postClick(GetDlgItem(warning, IDNO));
    EXPECT_EQ(0, tool_->waitForExit(slowed(5000)));
    Written shown;
    shown.scaling = 1;
    EXPECT_EQ(writtenText(shown), settings()) << "every box as the window showed it";

    // With no copy left, /exit starts nothing.
    TempFolder other;
    ToolProcess later(other);
    ToolProcess::CommandRun const run = later.run(L"/exit", slowed(8000));
    EXPECT_EQ(0, run.exitCode);
    EXPECT_FALSE(run.hadMainWindow);
    EXPECT_FALSE(fileExists(other.file(L"Resolution.ini")));
}
