// The controller's four tray records against the real shell: their set-up,
// the return of the icons after the notification area was rebuilt, the
// retry while the shell refuses the main icon, and their removal when the
// controller goes.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "controller/ToolController.h"
#include "tray/TrayMessages.h"

namespace {

ToolController* timerTarget = nullptr;

LRESULT CALLBACK mainLikeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // As the main window does with the retry timer.
    if (message == WM_TIMER && wParam == kTrayRetryTimerId && timerTarget != nullptr) {
        timerTarget->retryTrayIcons();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createMainLikeWindow()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = mainLikeWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KovixTrayIndicatorsTest";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"KovixTrayIndicatorsTest", L"KOVIX Tool Beta 1.0",
                           WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

bool shellHas(HWND owner, UINT id)
{
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof(probe);
    probe.hWnd = owner;
    probe.uID = id;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

bool shellAdd(HWND owner, UINT id)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = NIF_ICON;
    data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

bool shellDelete(HWND owner, UINT id)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = id;
    return Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
}

void pumpFor(DWORD milliseconds)
{
    DWORD const start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
    }
}

// A controller bound by hand to a test window, as the load would leave it.
void bindController(ToolController& controller, HWND window)
{
    controller.mainWindow = window;
    controller.instance = reinterpret_cast<HINSTANCE>(UINT_PTR(0x400000));
    lstrcpynW(controller.title, L"KOVIX Tool Beta 1.0", ARRAYSIZE(controller.title));
    controller.numLock = true;
    controller.capsLock = true;
    controller.scrlLock = false;
    controller.numLckBG = 255;
    controller.numLckFG = 65280;
    controller.cpsLckBG = 0;
    controller.cpsLckFG = 65535;
    controller.scrLckBG = 16711680;
    controller.scrLckFG = 16776960;
}

class TrayIndicators : public testing::Test {
protected:
    void SetUp() override
    {
        window_ = createMainLikeWindow();
        ASSERT_NE(nullptr, window_);
    }
    void TearDown() override
    {
        timerTarget = nullptr;
        DestroyWindow(window_);
    }

    HWND window_ = nullptr;
};

} // namespace

TEST_F(TrayIndicators, SetUpAddsTheMainIconAndHandsTheColoursToTheLockRecords)
{
    ToolController controller(nullptr);
    bindController(controller, window_);
    controller.setUpIndicators(false);

    TrayIcon const& main = controller.trayIcons[0];
    EXPECT_TRUE(main.added);
    EXPECT_EQ(0x400001u, main.id);
    EXPECT_EQ(WM_TRAYNOTIFY, main.iconData.uCallbackMessage);
    EXPECT_EQ(UINT(0x8001), WM_TRAYNOTIFY);
    EXPECT_STREQ(L"KOVIX Tool Beta 1.0", main.iconData.szTip);
    EXPECT_TRUE(shellHas(window_, main.id));

    for (int i = 1; i < 4; ++i) {
        TrayIcon const& lock = controller.trayIcons[i];
        EXPECT_EQ(0x400001u + UINT(i), lock.id);
        EXPECT_EQ(window_, lock.owner);
        EXPECT_EQ(0u, lock.iconData.uCallbackMessage);
        EXPECT_FALSE(lock.added) << "lock icons wait for the settings window";
        EXPECT_FALSE(shellHas(window_, lock.id));
    }
    EXPECT_EQ(COLORREF(255), controller.trayIcons[1].bgColor);
    EXPECT_EQ(COLORREF(65280), controller.trayIcons[1].fgColor);
    EXPECT_EQ(COLORREF(0), controller.trayIcons[2].bgColor);
    EXPECT_EQ(COLORREF(65535), controller.trayIcons[2].fgColor);
    EXPECT_EQ(COLORREF(16711680), controller.trayIcons[3].bgColor);
    EXPECT_EQ(COLORREF(16776960), controller.trayIcons[3].fgColor);
    EXPECT_FALSE(KillTimer(window_, kTrayRetryTimerId)) << "no retry when the shell took it";

    EXPECT_TRUE(controller.addLockIcon(LockKey::Caps, false));
    EXPECT_STREQ(L"Caps lock is OFF", controller.trayIcons[2].iconData.szTip);
    EXPECT_TRUE(shellHas(window_, controller.trayIcons[2].id));
}

TEST_F(TrayIndicators, AnEmptiedNotificationAreaGetsBackTheIconsThatWereThere)
{
    ToolController controller(nullptr);
    bindController(controller, window_);
    controller.setUpIndicators(false);
    controller.trayIcons[0].modify(L"", L"800x600x32bit", nullptr);
    ASSERT_TRUE(controller.addLockIcon(LockKey::Num, false));
    ASSERT_TRUE(controller.addLockIcon(LockKey::Caps, false));
    controller.trayIcons[2].lockOn = true; // Caps Lock went on meanwhile

    // The shell restarts: every icon is gone.
    for (TrayIcon const& icon : controller.trayIcons)
        shellDelete(window_, icon.id);
    ASSERT_FALSE(shellHas(window_, controller.trayIcons[0].id));

    controller.restoreTrayIcons();
    EXPECT_TRUE(shellHas(window_, controller.trayIcons[0].id));
    EXPECT_STREQ(L"800x600x32bit", controller.trayIcons[0].iconData.szTip);
    EXPECT_TRUE(shellHas(window_, controller.trayIcons[1].id));
    EXPECT_STREQ(L"Num lock is OFF", controller.trayIcons[1].iconData.szTip);
    EXPECT_TRUE(shellHas(window_, controller.trayIcons[2].id));
    EXPECT_STREQ(L"Caps lock is ON", controller.trayIcons[2].iconData.szTip);
    EXPECT_FALSE(shellHas(window_, controller.trayIcons[3].id)) << "Scroll Lock was never shown";
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(controller.trayIcons[i].added);
    EXPECT_FALSE(controller.trayIcons[3].added);
}

TEST_F(TrayIndicators, ARefusedMainIconIsRetriedUntilTheShellTakesIt)
{
    ToolController controller(nullptr);
    bindController(controller, window_);
    timerTarget = &controller;
    // Something already holds the main icon's identifier: the add fails.
    ASSERT_TRUE(shellAdd(window_, 0x400001u));
    controller.setUpIndicators(false);
    ASSERT_FALSE(controller.trayIcons[0].added);
    controller.addLockIcon(LockKey::Num, false); // the lock icons are taken

    pumpFor(2500);
    EXPECT_FALSE(controller.trayIcons[0].added) << "still refused";

    ASSERT_TRUE(shellDelete(window_, 0x400001u));
    pumpFor(2500);
    EXPECT_TRUE(controller.trayIcons[0].added);
    EXPECT_TRUE(shellHas(window_, 0x400001u));
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
        bindController(controller, window_);
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
        EXPECT_TRUE(shellHas(window_, ids[0]));
        EXPECT_TRUE(shellHas(window_, ids[1]));
        EXPECT_TRUE(shellHas(window_, ids[2]));
    }
    for (UINT const id : ids)
        EXPECT_FALSE(shellHas(window_, id));
}
