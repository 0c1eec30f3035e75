// The settings window and the main tray icon without a mouse, in one start: real
// key presses to the window in front, the icon's callbacks as the shell sends them.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

TEST(Keyboard, TheSettingsWindowAndTheTrayIconWorkWithoutAMouse)
{
    if (!host::inRig())
        GTEST_SKIP() << "needs the test rig's switchable display and tray host";
    wintest::ScreenModeRestorer const mode;
    MachineValuesGuard const runValue{kRunKey, {kRunValue}};
    MachineValuesGuard const driverValue{kDriverKey, {L"Display1_DownScalingEnabled"}};
    TempFolder const folder;
    ToolProcess tool{folder};
    ASSERT_TRUE(tool.start());
    HWND const main = tool.waitForMainWindow();
    ASSERT_NE(nullptr, main);
    auto focus = [&] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info);
        return info.hwndFocus;
    };
    auto on = [&](wchar_t const* text) { return [=] { return focus() == findDescendant(main, text); }; };
    // Presses `key` in the window in front until `done`: a key pressed while the rig's
    // tray adaptor holds the foreground (it docks an icon) is lost, never late.
    auto press = [&](WORD key, auto done) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            bringToFront(main);
            pressKeys({key});
            if (waitUntil(done, slowed(3000)) || GetForegroundWindow() == main)
                break;
        }
        return done();
    };
    ASSERT_TRUE(press(VK_SHIFT, on(L"Enable scaling"))) << "Shift does nothing; " << describeWindow(focus());
    ASSERT_TRUE(press(VK_TAB, on(L"Start with Windows")) && press(VK_TAB, on(L"Start minimized")));
    ASSERT_TRUE(press(VK_SPACE, [&] { return isButtonChecked(focus()); }));
    ASSERT_TRUE(press(VK_TAB, on(L"OSD Keyboard indicator")) && press(VK_TAB, on(L"800 x 480")));
    ASSERT_TRUE(press(VK_DOWN, [&] { return on(L"800 x 600")() && isButtonChecked(focus()); }));
    // Creation order, wrapping; the resolution is one stop, its checked button.
    for (wchar_t const* text : {L"Num lock", L"Caps lock", L"Scroll lock", L"Apply", L"Enable scaling",
                                L"Start with Windows", L"Start minimized", L"OSD Keyboard indicator",
                                L"800 x 600"})
        ASSERT_TRUE(press(VK_TAB, on(text))) << narrow(text) << ", seen " << describeWindow(focus());
    // Enter from a radio button presses Apply: the file rewritten, the display switched.
    Written written;
    written.height = 600;
    written.minimized = 1;
    std::wstring const file = folder.file(L"Resolution.ini");
    EXPECT_TRUE(press(VK_RETURN, [&] { return readFileBytes(file) == writtenText(written); }));
    EXPECT_EQ("800x600", screenSize());
    auto inTray = [&] { return !IsWindowVisible(main) && IsIconic(main); };
    ASSERT_TRUE(press(VK_ESCAPE, inTray));
    PostMessageW(main, WM_COMMAND, IDM_SHOWHIDE, 0);
    EXPECT_TRUE(waitUntil(on(L"800 x 600"))) << "back from the tray: " << describeWindow(focus());
    // The icon's callbacks (wParam its identifier, lParam the event).
    auto notify = [&](LPARAM event) { PostMessageW(main, WM_TRAYNOTIFY, kMainTrayIconId, event); };
    auto menus = [&] { return countProcessWindows(tool.id(), L"#32768"); };
    notify(NIN_KEYSELECT); // Enter on the icon, which the shell reports twice
    notify(NIN_KEYSELECT);
    ASSERT_TRUE(waitUntil(inTray));
    for (LPARAM event : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}) // a right click
        notify(event);
    ASSERT_TRUE(waitUntil([&] { return menus() == 1; }));
    PostMessageW(main, WM_CANCELMODE, 0, 0);
    PostMessageW(main, WM_COMMAND, IDM_SHOWHIDE, 0); // taken after every callback
    ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(main); }));
    EXPECT_EQ(0, menus()) << "one menu only";
    notify(WM_CONTEXTMENU); // the menu key on the icon
    EXPECT_TRUE(waitUntil([&] { return menus() == 1; }));
}
