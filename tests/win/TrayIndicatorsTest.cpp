// The controller's four tray records against the real shell: their set-up,
// the return of the icons after the notification area was rebuilt, the
// retry while the shell refuses the main icon, and their removal when the
// controller goes.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "tests/win/BoundController.h"
#include "tests/win/WinTestSupport.h"
#include "tray/TrayMessages.h"

using namespace wintest;

namespace {

// The instance the controller is bound with: a 32-bit program's usual base.
HINSTANCE const kModule = reinterpret_cast<HINSTANCE>(UINT_PTR(0x400000));
ToolController* timerTarget = nullptr;

// As the main window does with the retry timer.
LRESULT CALLBACK mainLikeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == kTrayRetryTimerId && timerTarget != nullptr) {
        timerTarget->retryTrayIcons();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class TrayIndicators : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, window_); }
    void TearDown() override
    {
        timerTarget = nullptr;
        DestroyWindow(window_);
    }

    HWND const window_ = createTestWindow(L"KOVIX Tool Beta 1.0", mainLikeWindowProc);
};

} // namespace

TEST_F(TrayIndicators, SetUpAddsTheMainIconAndHandsTheColoursToTheLockRecords)
{
    ToolController controller(nullptr);
    bindController(controller, window_, kModule, true);
    controller.setUpIndicators(false);

    TrayIcon const& main = controller.trayIcons[0];
    EXPECT_TRUE(main.added);
    EXPECT_EQ(kMainTrayIconId, main.id);
    EXPECT_EQ(UINT(0x8001), main.iconData.uCallbackMessage) << "WM_TRAYNOTIFY";
    EXPECT_STREQ(L"KOVIX Tool Beta 1.0", main.iconData.szTip);
    EXPECT_TRUE(shellHasIcon(window_, main.id));
    EXPECT_FALSE(KillTimer(window_, kTrayRetryTimerId)) << "no retry when the shell took it";

    COLORREF const colours[][2] = {{255, 65280}, {0, 65535}, {16711680, 16776960}};
    for (int i = 1; i < 4; ++i) {
        TrayIcon const& lock = controller.trayIcons[i];
        EXPECT_EQ(kMainTrayIconId + UINT(i), lock.id);
        EXPECT_EQ(window_, lock.owner);
        EXPECT_EQ(0u, lock.iconData.uCallbackMessage);
        EXPECT_EQ(colours[i - 1][0], lock.bgColor) << "record " << i;
        EXPECT_EQ(colours[i - 1][1], lock.fgColor) << "record " << i;
        EXPECT_FALSE(lock.added) << "lock icons wait for the settings window";
        EXPECT_FALSE(shellHasIcon(window_, lock.id));
    }

    EXPECT_TRUE(controller.addLockIcon(LockKey::Caps, false));
    EXPECT_STREQ(L"Caps lock is OFF", controller.trayIcons[2].iconData.szTip);
    EXPECT_TRUE(shellHasIcon(window_, controller.trayIcons[2].id));
}

TEST_F(TrayIndicators, AnEmptiedNotificationAreaGetsBackTheIconsThatWereThere)
{
    ToolController controller(nullptr);
    bindController(controller, window_, kModule, true);
    controller.setUpIndicators(false);
    controller.trayIcons[0].modify(L"", L"800x600x32bit", nullptr);
    ASSERT_TRUE(controller.addLockIcon(LockKey::Num, false));
    ASSERT_TRUE(controller.addLockIcon(LockKey::Caps, false));
    controller.trayIcons[2].lockOn = true; // Caps Lock went on meanwhile

    // The shell restarts: every icon is gone.
    for (TrayIcon const& icon : controller.trayIcons)
        shellDeleteIcon(window_, icon.id);
    ASSERT_FALSE(shellHasIcon(window_, controller.trayIcons[0].id));

    controller.restoreTrayIcons();
    wchar_t const* const tips[] = {L"800x600x32bit", L"Num lock is OFF", L"Caps lock is ON"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(shellHasIcon(window_, controller.trayIcons[i].id)) << "record " << i;
        EXPECT_STREQ(tips[i], controller.trayIcons[i].iconData.szTip);
        EXPECT_TRUE(controller.trayIcons[i].added);
    }
    EXPECT_FALSE(shellHasIcon(window_, controller.trayIcons[3].id)) << "Scroll Lock was never shown";
    EXPECT_FALSE(controller.trayIcons[3].added);
}

// As a busy shell leaves it that answered the add after Shell_NotifyIcon
// had given up: the icons are there, and a further add of their
// identifiers is refused.
TEST_F(TrayIndicators, IconsTheShellAlreadyHoldsCountAsAdded)
{
    ToolController controller(nullptr);
    bindController(controller, window_, kModule, true);
    ASSERT_TRUE(shellAddIcon(window_, kMainTrayIconId));
    ASSERT_TRUE(shellAddIcon(window_, kMainTrayIconId + 1));
    controller.setUpIndicators(false);
    EXPECT_TRUE(controller.trayIcons[0].added);
    EXPECT_FALSE(KillTimer(window_, kTrayRetryTimerId)) << "no retry for an icon that is there";
    EXPECT_TRUE(controller.addLockIcon(LockKey::Num, false));
    EXPECT_TRUE(controller.trayIcons[1].added);
    EXPECT_TRUE(controller.trayIcons[0].remove()) << "and so it is taken out again";
    EXPECT_FALSE(shellHasIcon(window_, kMainTrayIconId));
}

TEST_F(TrayIndicators, ARefusedMainIconIsRetriedUntilTheShellTakesIt)
{
    ToolController controller(nullptr);
    bindController(controller, window_, kModule, true);
    timerTarget = &controller;
    controller.setUpIndicators(false);
    // As the start-up leaves it when the shell is not up yet (Wine's takes
    // every new icon at once): the main icon out, the retry timer running.
    ASSERT_TRUE(controller.trayIcons[0].remove());
    ASSERT_NE(0u, SetTimer(window_, kTrayRetryTimerId, kTrayRetryIntervalMs, nullptr));

    pumpMessages(2500);
    EXPECT_TRUE(controller.trayIcons[0].added);
    EXPECT_TRUE(shellHasIcon(window_, kMainTrayIconId));
    EXPECT_STREQ(L"KOVIX Tool Beta 1.0", controller.trayIcons[0].iconData.szTip);
    EXPECT_TRUE(controller.trayIcons[1].added);
    EXPECT_TRUE(controller.trayIcons[2].added) << "enabled lock icons come with it";
    EXPECT_FALSE(controller.trayIcons[3].added) << "a disabled one does not";
    EXPECT_FALSE(KillTimer(window_, kTrayRetryTimerId)) << "the timer stopped itself";
}

TEST_F(TrayIndicators, TheControllerTakesItsIconsWithItButACopyDoesNot)
{
    UINT ids[4] = {};
    {
        ToolController controller(nullptr);
        bindController(controller, window_, kModule, true);
        controller.setUpIndicators(false);
        controller.addLockIcon(LockKey::Num, false);
        controller.addLockIcon(LockKey::Caps, true);
        for (int i = 0; i < 4; ++i)
            ids[i] = controller.trayIcons[i].id;
        {
            ToolController const copy(controller);
            ToolController assigned(nullptr);
            assigned = controller;
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(shellHasIcon(window_, ids[i])) << "record " << i;
    }
    for (UINT const id : ids)
        EXPECT_FALSE(shellHasIcon(window_, id));
}

namespace {

// A retry tick arrives while Apply's question is open, as when the shell
// refused Apply's add (Wine's never does); then No.
DWORD WINAPI retryDuringTheQuestion(LPVOID param)
{
    HWND const owner = static_cast<HWND>(param);
    HWND box = nullptr;
    for (int i = 0; i < 500 && box == nullptr; ++i) {
        Sleep(20);
        box = FindWindowW(L"#32770", L"Warning");
        if (box != nullptr && !IsWindowVisible(box))
            box = nullptr; // still being filled in: its buttons may not be there yet
    }
    PostMessageW(owner, WM_TIMER, kTrayRetryTimerId, 0);
    Sleep(500);
    PostMessageW(box, WM_COMMAND, IDNO, 0);
    return 0;
}

} // namespace

TEST_F(TrayIndicators, ARetryDuringApplysQuestionBringsBackNoIconWhoseBoxWasTurnedOff)
{
    createRegistryKey(HKEY_LOCAL_MACHINE, kDriverKeyPath);
    HKEY driver = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriverKeyPath, 0, KEY_SET_VALUE, &driver) == ERROR_SUCCESS) {
        RegDeleteValueW(driver, kDownScalingSupportedValue); // so that Apply asks
        RegCloseKey(driver);
    }
    TempFolder folder;
    ToolController controller(nullptr);
    bindController(controller, window_, kModule, true);
    timerTarget = &controller;
    controller.setUpIndicators(false);

    // Scaling on as loaded, Num Lock's box just turned off, Caps Lock's on.
    auto checkBox = [&](bool on) {
        HWND const box = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10,
                                         window_, nullptr, nullptr, nullptr);
        SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
        return box;
    };
    controller.scaling = true;
    controller.mode = 1;
    controller.scalingCheck = checkBox(true);
    controller.numLockCheck = checkBox(false);
    controller.capsLockCheck = checkBox(true);
    lstrcpynW(controller.settingsPath, folder.file(L"Resolution.ini").c_str(), MAX_PATH);

    HANDLE const helper = CreateThread(nullptr, 0, retryDuringTheQuestion, window_, 0, nullptr);
    controller.apply();
    WaitForSingleObject(helper, INFINITE);
    CloseHandle(helper);
    pumpMessages(kTrayRetryIntervalMs + 500);

    EXPECT_TRUE(controller.trayIcons[0].added);
    EXPECT_FALSE(controller.trayIcons[1].added);
    EXPECT_FALSE(shellHasIcon(window_, controller.trayIcons[1].id)) << "Num Lock's box is off";
    EXPECT_TRUE(shellHasIcon(window_, controller.trayIcons[2].id));
    EXPECT_FALSE(KillTimer(window_, kTrayRetryTimerId)) << "the timer stopped itself";
}
