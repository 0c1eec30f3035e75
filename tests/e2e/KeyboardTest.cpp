// The settings window and the main tray icon without a mouse: real key
// presses to the window in front, and the icon's callbacks as the shell
// sends them.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

class Keyboard : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "needs the test rig's switchable display and tray host";
        ASSERT_TRUE(writeFileBytes(folder_.file(L"Resolution.ini"), defaultSettingsText()));
        ASSERT_TRUE(tool_.start());
        ASSERT_NE(nullptr, main_ = tool_.waitForMainWindow());
    }

    void TearDown() override
    {
        tool_.kill();
        if (host::inRig()) {
            EXPECT_TRUE(wintest::restoreNativeScreenMode());
        }
    }

    HWND focus()
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info);
        return info.hwndFocus;
    }

    // Presses `key` in the window in front until `done`. The rig's tray
    // adaptor takes the foreground when it docks an icon; a key pressed then
    // is lost to it, never late, so it is pressed again.
    template <typename Done>
    testing::AssertionResult press(WORD key, Done done)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (GetForegroundWindow() != main_ && !bringToFront(main_))
                break;
            pressKeys({key});
            if (waitUntil(done, slowed(3000)))
                return testing::AssertionSuccess();
            if (GetForegroundWindow() == main_)
                break; // it arrived and did nothing
        }
        return testing::AssertionFailure() << "focus on " << describeWindow(focus()) << " \""
                                           << narrow(windowText(focus())) << "\", in front "
                                           << describeWindow(GetForegroundWindow());
    }

    // The icon's callback (wParam its identifier, as NOTIFYICON_VERSION has it).
    void notify(LPARAM event) { PostMessageW(main_, WM_TRAYNOTIFY, kMainTrayIconId, event); }
    bool hidden() { return !IsWindowVisible(main_) && IsIconic(main_); }
    bool inTray() { return waitUntil([&] { return hidden(); }); }

    MachineValuesGuard runValue_{kRunKey, {kRunValue}};
    MachineValuesGuard driverValue_{kDriverKey, {L"Display1_DownScalingEnabled"}};
    TempFolder folder_;
    ToolProcess tool_{folder_};
    HWND main_ = nullptr;
};

} // namespace

TEST_F(Keyboard, TabArrowsSpaceEnterAndEscWorkAsInADialog)
{
    auto on = [&](wchar_t const* text) { return [=] { return focus() == findDescendant(main_, text); }; };
    auto ticked = [&](wchar_t const* text) { return [=] { return isButtonChecked(findDescendant(main_, text)); }; };
    ASSERT_TRUE(bringToFront(main_)) << describeWindow(GetForegroundWindow());
    ASSERT_TRUE(waitUntil(on(L"Enable scaling"))) << "the first control, once shown";
    // In creation order, wrapping; the resolution is one stop, its checked button.
    for (wchar_t const* text : {L"Start with Windows", L"Start minimized", L"OSD Keyboard indicator",
                                L"800 x 480", L"Num lock", L"Caps lock", L"Scroll lock", L"Apply",
                                L"Enable scaling", L"Start with Windows", L"Start minimized"})
        ASSERT_TRUE(press(VK_TAB, on(text))) << narrow(text);
    ASSERT_TRUE(press(VK_SPACE, ticked(L"Start minimized")));
    ASSERT_TRUE(press(VK_TAB, on(L"OSD Keyboard indicator")));
    ASSERT_TRUE(press(VK_TAB, on(L"800 x 480")));
    ASSERT_TRUE(press(VK_DOWN, ticked(L"800 x 600")));
    EXPECT_EQ(findDescendant(main_, L"800 x 600"), focus());
    EXPECT_FALSE(isButtonChecked(findDescendant(main_, L"800 x 480")));

    // Enter from a box presses Apply: the file rewritten, the display switched.
    Written written;
    written.height = 600;
    written.minimized = 1;
    EXPECT_TRUE(press(VK_RETURN, [&] {
        return readFileBytes(folder_.file(L"Resolution.ini")) == writtenText(written);
    }));
    EXPECT_EQ("800x600", screenSize());

    ASSERT_TRUE(press(VK_ESCAPE, [&] { return hidden(); }));
    PostMessageW(main_, WM_COMMAND, IDM_SHOWHIDE, 0);
    std::string seen;
    ASSERT_TRUE(waitShownInFront(main_, seen)) << seen;
    EXPECT_TRUE(waitUntil(on(L"800 x 600"))) << "the focus comes back where it was";
}

TEST_F(Keyboard, TheTrayIconsKeysToggleTheWindowAndARightClickOpensTheMenuOnce)
{
    // Enter or Space on the icon, each sent twice at once as a shell may.
    notify(NIN_KEYSELECT);
    notify(NIN_KEYSELECT);
    ASSERT_TRUE(inTray());
    Sleep(GetDoubleClickTime() + 100); // a new key press, not a repeat
    notify(NIN_KEYSELECT);
    std::string seen;
    ASSERT_TRUE(waitShownInFront(main_, seen)) << seen;

    // A right click: the menu opens once, and no second one after it.
    for (LPARAM event : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU})
        notify(event);
    ASSERT_NE(nullptr, waitForProcessWindow(tool_.id(), L"#32768", nullptr));
    EXPECT_EQ(1, countProcessWindows(tool_.id(), L"#32768"));
    PostMessageW(main_, WM_CANCELMODE, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return countProcessWindows(tool_.id(), L"#32768") == 0; }));
    PostMessageW(main_, WM_COMMAND, IDM_SHOWHIDE, 0); // handled after every callback
    ASSERT_TRUE(inTray());
    EXPECT_EQ(0, countProcessWindows(tool_.id(), L"#32768"));

    notify(WM_CONTEXTMENU); // the menu key on the icon
    EXPECT_NE(nullptr, waitForProcessWindow(tool_.id(), L"#32768", nullptr));
}
