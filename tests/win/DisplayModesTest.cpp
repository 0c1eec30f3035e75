// Display modes on the rig's real (dummy) X display: detection reads what
// xrandr set, a switch shows in X, and Wine broadcasts every switch it makes
// as WM_DISPLAYCHANGE, which counts them. Every case ends at 800x480.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "controller/ToolController.h"
#include "display/DisplayModeSwitcher.h"
#include "tests/win/HostCommand.h"
#include "tests/win/WinTestSupport.h"

using namespace wintest;

namespace {

wchar_t const kErrorText[] = L"Resolution could not be changed due to an error!";

std::string sizeText(DWORD width, DWORD height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// The display changes this process was told about, as "WxH@bpp".
std::vector<std::string> displayChanges;

LRESULT CALLBACK countingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DISPLAYCHANGE)
        displayChanges.push_back(sizeText(LOWORD(lParam), HIWORD(lParam)) + "@" +
                                 std::to_string(wParam));
    return DefWindowProcW(window, message, wParam, lParam);
}

DEVMODEW settings(DWORD which)
{
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    EnumDisplaySettingsW(nullptr, which, &mode);
    return mode;
}

std::string wineMode(DWORD which)
{
    DEVMODEW const mode = settings(which);
    return sizeText(mode.dmPelsWidth, mode.dmPelsHeight) + "@" + std::to_string(mode.dmBitsPerPel);
}

bool waitUntilScreen(int width, int height, DWORD timeoutMs = 5000)
{
    DWORD const start = GetTickCount();
    while (!screenIs(width, height)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        pumpMessages(20);
    }
    return true;
}

// A controller bound by hand to the counting window, its main tray icon
// added, as the start-up leaves it before the saved mode is restored.
void bindController(ToolController& controller, HWND window)
{
    controller.mainWindow = window;
    controller.instance = reinterpret_cast<HINSTANCE>(UINT_PTR(0x500000));
    lstrcpynW(controller.title, L"KOVIX Tool Beta 1.0", ARRAYSIZE(controller.title));
    controller.setUpIndicators(false);
}

// Marks the balloon fields, to tell later whether a notice was shown since.
void markBalloonFields(TrayIcon& icon)
{
    lstrcpynW(icon.iconData.szInfo, L"(none)", ARRAYSIZE(icon.iconData.szInfo));
    lstrcpynW(icon.iconData.szInfoTitle, L"(none)", ARRAYSIZE(icon.iconData.szInfoTitle));
    icon.iconData.dwInfoFlags = 0;
    icon.iconData.uTimeout = 0;
    icon.iconData.uFlags = 0;
}

class Display : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "switches the X display: needs the test rig (tools/rig.sh exec)";
        window_ = createTestWindow(L"KOVIX Tool Beta 1.0", countingWindowProc);
        ASSERT_NE(nullptr, window_);
        restoreNativeScreenMode();
        ASSERT_EQ("800x480", host::screenSize());
        pumpMessages(50);
        displayChanges.clear();
    }
    void TearDown() override
    {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }

    // Puts the display at WxH from outside the program's code and forgets
    // the broadcast that caused.
    void startAt(DWORD width, DWORD height)
    {
        ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, changeScreenMode(width, height)) << sizeText(width, height);
        pumpMessages(50);
        ASSERT_TRUE(screenIs(int(width), int(height)));
        displayChanges.clear();
    }

    ScreenModeRestorer restorer_;
    HWND window_ = nullptr;
    DisplayModeSwitcher const switcher_ = {};
};

// A fresh process, as the program is at start-up: the mode it detects is
// its exit code.
KOVIX_CHILD_MODE(detect_mode)
{
    return detectCurrentMode();
}

int detectInFreshProcess()
{
    return runProcess(ownExecutablePath(), L"--child detect_mode");
}

// The same in a thread that is not DPI aware, as Windows runs a program that
// does not declare itself aware (Wine makes a process aware of the system
// DPI unless told otherwise): its screen metrics are scaled. 98: no such
// thread can be had; 99: the metrics of 1024x768 are not scaled.
KOVIX_CHILD_MODE(detect_mode_dpi_unaware)
{
    typedef HANDLE(WINAPI * SetContext)(HANDLE);
    auto const setContext = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    HANDLE const unaware = reinterpret_cast<HANDLE>(-1); // DPI_AWARENESS_CONTEXT_UNAWARE
    if (setContext == nullptr || setContext(unaware) == nullptr)
        return 98;
    if (GetSystemMetrics(SM_CXSCREEN) == 1024)
        return 99;
    return detectCurrentMode();
}

// A size no table row has, added to the dummy output for one case.
char const kOddMode[] = "1280x800";
std::string const kOutput = host::kOutputName;

bool addOddMode()
{
    return host::run(std::string("xrandr --newmode ") + kOddMode +
                     " 83.50 1280 1352 1480 1680 800 803 809 831 -hsync +vsync && "
                     "xrandr --addmode " + kOutput + " " + kOddMode)
               .status == 0;
}

void removeOddMode()
{
    host::run("xrandr --delmode " + kOutput + " " + kOddMode + "; xrandr --rmmode " + kOddMode);
}

} // namespace

TEST_F(Display, DetectionGivesTheCodeOfTheScreenSizeThatXShows)
{
    struct Row {
        char const* size;
        int width;
        int height;
        int code;
    };
    Row const rows[] = {
        {"800x600", 800, 600, 2},   {"1024x768", 1024, 768, 6}, {"1000x600", 1000, 600, 3},
        {"1024x600", 1024, 600, 5}, {"640x480", 640, 480, 0},   {"800x480", 800, 480, 1},
    };
    for (Row const& row : rows) {
        ASSERT_TRUE(host::setScreenMode(row.size)) << row.size;
        // Wine takes the new size from X on its own time.
        ASSERT_TRUE(waitUntilScreen(row.width, row.height)) << row.size;
        EXPECT_EQ(row.code, detectInFreshProcess()) << row.size;
    }

    // No table row has 1280x800: it is "any other size".
    ASSERT_TRUE(addOddMode());
    bool const switched = host::setScreenMode(kOddMode) && waitUntilScreen(1280, 800);
    int const detected = switched ? detectInFreshProcess() : -1;
    host::setScreenMode("800x480");
    removeOddMode();
    ASSERT_TRUE(switched) << "the added mode could not be set";
    EXPECT_EQ(19, detected) << kOddMode;
    EXPECT_TRUE(waitUntilScreen(800, 480));
    EXPECT_EQ("800x480", host::screenSize());
}

// At 150 % a program that is not DPI aware reads 1024x768 from the screen
// metrics as 683x512, a size no row has.
TEST_F(Display, DetectionReadsTheDisplaysOwnPixelsWhereTheScreenMetricsAreScaled)
{
    ASSERT_TRUE(host::setScreenMode("1024x768"));
    ASSERT_TRUE(waitUntilScreen(1024, 768));
    int detected = -1;
    {
        ScopedLogPixels const scaled(144);
        detected = runProcess(ownExecutablePath(), L"--child detect_mode_dpi_unaware");
    }
    EXPECT_EQ(6, detected) << "98: no DPI-unaware thread; 99: metrics not scaled";
}

TEST_F(Display, SwitchingToAModeThatCanBeSetChangesTheXScreenAndRecordsTheMode)
{
    struct Row {
        ResolutionMode mode;
        char const* size;
    };
    // From 800x480: each row is a real change, the last one back home.
    Row const rows[] = {{6, "1024x768"}, {2, "800x600"}, {0, "640x480"}, {1, "800x480"}};
    for (Row const& row : rows) {
        displayChanges.clear();
        EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, switcher_.switchTo(row.mode)) << "mode " << row.mode;
        pumpMessages(20);
        EXPECT_EQ(row.size, host::screenSize()) << "mode " << row.mode;
        std::string const at32 = std::string(row.size) + "@32";
        EXPECT_EQ(std::vector<std::string>{at32}, displayChanges) << "mode " << row.mode;
        EXPECT_EQ(at32, wineMode(ENUM_CURRENT_SETTINGS)) << "mode " << row.mode;
        // CDS_UPDATEREGISTRY: the mode is recorded as well as set.
        EXPECT_EQ(at32, wineMode(ENUM_REGISTRY_SETTINGS)) << "mode " << row.mode;
    }

    // A switch made without recording leaves the recorded mode behind; the
    // switcher's next switch records again.
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, changeScreenMode(1024, 768));
    EXPECT_EQ("800x480@32", wineMode(ENUM_REGISTRY_SETTINGS));
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, switcher_.switchTo(2));
    EXPECT_EQ("800x600@32", wineMode(ENUM_REGISTRY_SETTINGS));
}

TEST_F(Display, CodesThatNameNoSwitchableModeMakeNoCallAndCountAsSuccess)
{
    // Start away from 800x480, so that a code mapped to any mode of the
    // table would show as a change. Wine broadcasts every switch it makes,
    // even to the current mode, so no broadcast means no switch was made.
    startAt(800, 600);
    for (ResolutionMode const mode : {3, 4, 5, 19, -1, 7, INT_MAX, INT_MIN}) {
        EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, switcher_.switchTo(mode)) << "mode " << mode;
        pumpMessages(20);
        EXPECT_TRUE(displayChanges.empty()) << "mode " << mode << " switched to "
                                            << displayChanges.front();
        displayChanges.clear();
    }
    EXPECT_EQ("800x600", host::screenSize());
    EXPECT_EQ("800x600@32", wineMode(ENUM_CURRENT_SETTINGS));
}

// The record handed to ChangeDisplaySettingsW cannot be seen, but Wine takes
// a requested field as a demand and fills an absent one itself: the depth is
// requested (16 sticks), and mode 0's refresh rate (640x480 at 60 Hz; the
// rig's 800x480 has its own rate) is not.
TEST_F(Display, OnlySizeAndDepthAreRequested)
{
    DEVMODEW const mode0 = settings(0);
    ASSERT_NE(0u, mode0.dmFields & DM_DISPLAYFREQUENCY) << "mode 0 carries a refresh rate";
    startAt(1024, 768);
    DEVMODEW const native = [] {
        changeScreenMode(800, 480);
        DEVMODEW const current = settings(ENUM_CURRENT_SETTINGS);
        changeScreenMode(1024, 768);
        return current;
    }();
    ASSERT_NE(mode0.dmDisplayFrequency, native.dmDisplayFrequency)
        << "the rig's 800x480 must differ in refresh rate from mode 0 for this check";
    // What asking with mode 0's fields would give: no switch at all.
    DEVMODEW withMode0Fields = mode0;
    withMode0Fields.dmPelsWidth = 800;
    withMode0Fields.dmPelsHeight = 480;
    EXPECT_EQ(DISP_CHANGE_BADMODE, ChangeDisplaySettingsW(&withMode0Fields, 0));
    displayChanges.clear();

    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, switcher_.switchTo(1));
    EXPECT_EQ("800x480@32", wineMode(ENUM_CURRENT_SETTINGS));
    EXPECT_EQ(native.dmDisplayFrequency, settings(ENUM_CURRENT_SETTINGS).dmDisplayFrequency);

    // The depth argument reaches the record; switchTo always asks for 32.
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, switcher_.setMode(800, 600, 16));
    EXPECT_EQ("800x600@16", wineMode(ENUM_CURRENT_SETTINGS));
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, switcher_.switchTo(2));
    EXPECT_EQ("800x600@32", wineMode(ENUM_CURRENT_SETTINGS));
    pumpMessages(20);
    EXPECT_EQ((std::vector<std::string>{"800x480@32", "800x600@16", "800x600@32"}), displayChanges);

    // A size the display lacks fails as the system says, unchanged.
    EXPECT_EQ(DISP_CHANGE_BADMODE, switcher_.setMode(1280, 1024, 32));
    EXPECT_EQ("800x600", host::screenSize());
}

TEST_F(Display, EachSwitchResultGivesItsBalloonOnTheMainIcon)
{
    ToolController controller(nullptr);
    bindController(controller, window_);
    TrayIcon& main = controller.trayIcons[0];
    ASSERT_TRUE(main.added);

    struct Row {
        LONG result;
        wchar_t const* text;
        wchar_t const* title;
        DWORD icon;
    };
    // The whole table of results is the native balloon test's; these rows
    // tie the system's codes to it and the balloon to the main icon.
    Row const rows[] = {
        {DISP_CHANGE_RESTART, L"The system must be restarted for changes to take affect.",
         L"Information", NIIF_WARNING},
        {DISP_CHANGE_NOTUPDATED, L"New resolution lasts until logoff: it could not be saved to registry!",
         L"Warning", NIIF_WARNING},
        {DISP_CHANGE_FAILED, kErrorText, L"Error", NIIF_ERROR},
        {DISP_CHANGE_BADMODE, kErrorText, L"Error", NIIF_ERROR},
    };
    for (Row const& row : rows) {
        markBalloonFields(main);
        controller.reportSwitchResult(row.result);
        EXPECT_STREQ(row.text, main.iconData.szInfo) << "result " << row.result;
        EXPECT_STREQ(row.title, main.iconData.szInfoTitle) << "result " << row.result;
        EXPECT_EQ(row.icon, main.iconData.dwInfoFlags) << "result " << row.result;
        EXPECT_EQ(3000u, main.iconData.uTimeout) << "result " << row.result;
        EXPECT_EQ(UINT(NIF_INFO), main.iconData.uFlags) << "result " << row.result;
    }
    EXPECT_STREQ(L"KOVIX Tool Beta 1.0", main.iconData.szTip) << "the tip stays";

    // Plain success shows nothing and leaves the record as it was.
    NOTIFYICONDATAW const before = main.iconData;
    controller.reportSwitchResult(DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(0, std::memcmp(&before, &main.iconData, sizeof(before)));
    EXPECT_TRUE(main.added);
}

TEST_F(Display, StartUpSwitchesOnlyWhenTheScreenDiffersOrScalingNeedsAFreshMode)
{
    ToolController controller(nullptr);
    bindController(controller, window_);
    TrayIcon& main = controller.trayIcons[0];
    ASSERT_TRUE(main.added);

    struct Case {
        char const* what;
        DWORD width; // the screen at start-up
        DWORD height;
        ResolutionMode saved;
        bool scaling;
        std::vector<std::string> switches; // as broadcast, in order
        char const* endsAt;
    };
    std::vector<Case> const cases = {
        {"saved = current, no scaling", 800, 600, 2, false, {}, "800x600"},
        {"saved = current, scaling", 800, 600, 2, true, {"800x480@32", "800x600@32"}, "800x600"},
        {"saved = current = 800x480, scaling", 800, 480, 1, true, {}, "800x480"},
        {"saved = current = 1024x768, scaling", 1024, 768, 6, true,
         {"800x480@32", "1024x768@32"}, "1024x768"},
        {"saved != current, no scaling", 800, 600, 6, false, {"1024x768@32"}, "1024x768"},
        {"saved != current, scaling", 800, 600, 6, true, {"1024x768@32"}, "1024x768"},
        {"saved 800x480, screen 1024x768, scaling", 1024, 768, 1, true, {"800x480@32"}, "800x480"},
        {"1000x600 (code 3) is never a saved mode", 1000, 600, 2, true, {"800x600@32"}, "800x600"},
        {"1024x600 (code 5) is never a saved mode", 1024, 600, 1, false, {"800x480@32"}, "800x480"},
    };
    for (Case const& c : cases) {
        startAt(c.width, c.height);
        controller.mode = c.saved;
        controller.scaling = c.scaling;
        markBalloonFields(main);
        controller.restoreStartupMode();
        pumpMessages(20);
        EXPECT_EQ(c.switches, displayChanges) << c.what;
        EXPECT_EQ(c.endsAt, sizeText(DWORD(GetSystemMetrics(SM_CXSCREEN)),
                                     DWORD(GetSystemMetrics(SM_CYSCREEN))))
            << c.what;
        // Every switch here succeeds: nothing to report.
        EXPECT_STREQ(L"(none)", main.iconData.szInfo) << c.what;
        EXPECT_EQ(c.saved, controller.mode) << c.what << ": the chosen mode is only read";
        EXPECT_EQ(c.scaling, controller.scaling) << c.what;
    }
}

TEST_F(Display, StartUpFromASizeNoTableRowHasSwitchesOnce)
{
    ToolController controller(nullptr);
    bindController(controller, window_);
    ASSERT_TRUE(addOddMode());
    bool const atOddSize = host::setScreenMode(kOddMode) && waitUntilScreen(1280, 800);
    displayChanges.clear();
    controller.mode = 2;
    controller.scaling = true;
    if (atOddSize)
        controller.restoreStartupMode();
    pumpMessages(20);
    std::string const endedAt = host::screenSize();
    std::vector<std::string> const switches = displayChanges;
    restoreNativeScreenMode();
    removeOddMode();
    ASSERT_TRUE(atOddSize) << "the added mode could not be set";
    EXPECT_EQ(std::vector<std::string>{"800x600@32"}, switches);
    EXPECT_EQ("800x600", endedAt);
}

// ------------------------------------------- a display without 1024x768
TEST_F(Display, WithoutAModeTheSwitchFailsAndTheErrorBalloonShows)
{
    if (wintest::offersMode(1024, 768))
        GTEST_SKIP() << "needs a display without 1024x768: ctest -L no1024 (tests/e2e/no1024.sh)";
    ToolController controller(nullptr);
    bindController(controller, window_);
    TrayIcon& main = controller.trayIcons[0];
    ASSERT_TRUE(main.added);

    LONG const result = switcher_.switchTo(6);
    std::printf("switchTo(6) on a display without 1024x768: %ld\n", result);
    EXPECT_NE(DISP_CHANGE_SUCCESSFUL, result);
    EXPECT_NE(DISP_CHANGE_RESTART, result);
    EXPECT_NE(DISP_CHANGE_NOTUPDATED, result);
    pumpMessages(20);
    EXPECT_TRUE(displayChanges.empty());
    EXPECT_EQ("800x480", host::screenSize());
    markBalloonFields(main);
    controller.reportSwitchResult(result);
    EXPECT_STREQ(kErrorText, main.iconData.szInfo);
    EXPECT_STREQ(L"Error", main.iconData.szInfoTitle);
    EXPECT_EQ(DWORD(NIIF_ERROR), main.iconData.dwInfoFlags);
    EXPECT_EQ(3000u, main.iconData.uTimeout);

    // The start-up rule with 1024x768 saved: one plain switch, which fails
    // and is reported; the chosen mode stays.
    controller.mode = 6;
    controller.scaling = true;
    markBalloonFields(main);
    controller.restoreStartupMode();
    pumpMessages(20);
    EXPECT_STREQ(kErrorText, main.iconData.szInfo);
    EXPECT_EQ(6, controller.mode);
    EXPECT_TRUE(displayChanges.empty());
    EXPECT_EQ("800x480", host::screenSize());
}

// An account that may not store display settings (XP limited): Wine answers
// NOTUPDATED, unchanged, when its key (the adapter's DeviceKey) refuses writes.
TEST_F(Display, WhereTheModeCannotBeStoredItIsSetForTheSession)
{
    DISPLAY_DEVICEW device = {};
    device.cb = sizeof(device);
    ASSERT_TRUE(EnumDisplayDevicesW(nullptr, 0, &device, 0));
    wchar_t const* const path = device.DeviceKey + lstrlenW(L"\\Registry\\Machine\\");
    KeyLock const lock(HKEY_CURRENT_CONFIG, path);
    ASSERT_TRUE(lock.locked()) << testing::PrintToString(std::wstring(device.DeviceKey));
    EXPECT_EQ(DISP_CHANGE_NOTUPDATED, switcher_.switchTo(2));
    EXPECT_EQ("800x600", host::screenSize());
}

// As a driver that takes a mode only after a restart: nothing changes.
LONG WINAPI restartNeeded(DEVMODEW*, DWORD)
{
    return DISP_CHANGE_RESTART;
}

// The running copy, built as the program builds it, its switches waiting for
// a restart: the exit code a later start's /mode 800x600 would end with.
KOVIX_CHILD_MODE(mode_command_restart)
{
    lstrcpynW(windowClassName, L"KOVIX TOOL restart", ARRAYSIZE(windowClassName));
    HINSTANCE const instance = GetModuleHandleW(nullptr);
    registerMainClass(instance);
    if (!createMainWindow(instance))
        return -2;
    theController.buildWindow();
    theController.displaySwitcher.change = restartNeeded;
    finishStartup({CommandKind::None, 0});
    wchar_t payload[] = L"/mode 800x600";
    COPYDATASTRUCT data = {kCommandDataId, sizeof(payload), payload};
    LRESULT const reply =
        SendMessageW(theController.mainWindow, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    DestroyWindow(theController.mainWindow);
    return exitCodeForReply(int32_t(reply));
}

TEST_F(Display, AModeCommandAnsweredRestartEndsWithCode1)
{
    TempFolder const folder; // the default settings: 800x480
    EXPECT_EQ(1, runChildIn(folder, L"mode_command_restart"));
    EXPECT_EQ("800x480", host::screenSize());
}
