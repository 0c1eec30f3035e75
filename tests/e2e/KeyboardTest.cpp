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

    // Waits until the program's keyboard focus is on the control with this text.
    bool focusOn(wchar_t const* text)
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        return waitUntil([&] {
            GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info);
            return info.hwndFocus == findDescendant(main_, text);
        }, slowed(3000));
    }

    // The icon's callback (wParam its identifier, as NOTIFYICON_VERSION has it).
    void notify(LPARAM event) { PostMessageW(main_, WM_TRAYNOTIFY, kMainTrayIconId, event); }
    bool cuesHidden() { return SendMessageW(main_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS; }
    bool inTray() { return waitUntil([&] { return !IsWindowVisible(main_) && IsIconic(main_); }); }

    MachineValuesGuard runValue_{kRunKey, {kRunValue}};
    MachineValuesGuard driverValue_{kDriverKey, {L"Display1_DownScalingEnabled"}};
    TempFolder folder_;
    ToolProcess tool_{folder_};
    HWND main_ = nullptr;
};

} // namespace

TEST_F(Keyboard, TabArrowsSpaceEnterAndEscWorkAsInADialog)
{
    ASSERT_TRUE(bringToFront(main_));
    ASSERT_TRUE(focusOn(L"Enable scaling")) << "the first control, once shown";
    EXPECT_TRUE(cuesHidden()) << "no focus rectangle before the keyboard is used";
    struct Step {
        WORD key;
        wchar_t const* focus;
    };
    // Space ticks "Start minimized", Down checks 800 x 600, and Tab wraps.
    Step const steps[] = {{VK_TAB, L"Start with Windows"}, {VK_TAB, L"Start minimized"},
                          {VK_SPACE, L"Start minimized"}, {VK_TAB, L"OSD Keyboard indicator"},
                          {VK_TAB, L"800 x 480"}, {VK_DOWN, L"800 x 600"}, {VK_TAB, L"Num lock"},
                          {VK_TAB, L"Caps lock"}, {VK_TAB, L"Scroll lock"}, {VK_TAB, L"Apply"},
                          {VK_TAB, L"Enable scaling"}};
    for (Step const& step : steps) {
        pressKeys({step.key});
        ASSERT_TRUE(focusOn(step.focus)) << narrow(step.focus);
    }
    EXPECT_FALSE(cuesHidden());
    EXPECT_TRUE(isButtonChecked(findDescendant(main_, L"800 x 600")));
    EXPECT_TRUE(isButtonChecked(findDescendant(main_, L"Start minimized")));

    pressKeys({VK_RETURN}); // Apply, from a check box
    Written written;
    written.height = 600;
    written.minimized = 1;
    EXPECT_TRUE(waitUntil([&] { return readFileBytes(folder_.file(L"Resolution.ini")) == writtenText(written); }, slowed(30000)));
    EXPECT_EQ("800x600", screenSize());

    // Apply's icons took the foreground as the rig docked them.
    ASSERT_TRUE(bringToFront(main_));
    pressKeys({VK_TAB});
    ASSERT_TRUE(focusOn(L"Start with Windows"));
    pressKeys({VK_ESCAPE});
    ASSERT_TRUE(inTray());
    PostMessageW(main_, WM_COMMAND, IDM_SHOWHIDE, 0);
    std::string seen;
    ASSERT_TRUE(waitShownInFront(main_, seen)) << seen;
    EXPECT_TRUE(focusOn(L"Start with Windows")) << "back where it was";
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
