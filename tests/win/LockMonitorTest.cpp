// The lock poll against real key state: Caps Lock is toggled with SendInput,
// as a keyboard would, and the poll is run by hand between the key presses,
// so each case decides exactly which changes fall between two polls. Caps
// Lock (and Num Lock) end off whatever happens.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "osd/OsdIndicator.h"
#include "app/MainWindow.h"
#include "tests/win/BoundController.h"
#include "tests/win/HostCommand.h"
#include "tests/win/WinTestSupport.h"

// The program's one controller, which the timer callback polls; the
// program defines it beside its entry point.
ToolController theController(nullptr);

using namespace wintest;

namespace {

void sendKey(WORD key, bool down)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = WORD(MapVirtualKeyW(key, 0));
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
    // The key state of this thread follows once the input has arrived.
    DWORD const start = GetTickCount();
    while (((GetKeyState(key) & 0x8000) != 0) != down && GetTickCount() - start < 2000)
        pumpMessages(5);
    pumpMessages(20);
}

void pressKey(WORD key)
{
    sendKey(key, true);
    sendKey(key, false);
}

bool toggledOn(WORD key)
{
    return (GetKeyState(key) & 1) != 0;
}

// A fresh Wine process reads every lock as off until its next change, so the
// state is learnt from one press: whatever it shows now, one more press (or
// none) leaves the lock off.
void switchOff(WORD key)
{
    pressKey(key);
    if (toggledOn(key))
        pressKey(key);
}

// Only in the rig: the keys go to whatever display Wine runs on.
class LocksOff {
public:
    LocksOff()
    {
        if (!host::inRig())
            return;
        switchOff(VK_CAPITAL);
        switchOff(VK_NUMLOCK);
    }
    ~LocksOff()
    {
        if (!host::inRig())
            return;
        sendKey(VK_CAPITAL, false); // a case may stop with the key held down
        if (toggledOn(VK_CAPITAL))
            pressKey(VK_CAPITAL);
        if (toggledOn(VK_NUMLOCK))
            pressKey(VK_NUMLOCK);
    }
    LocksOff(LocksOff const&) = delete;
    LocksOff& operator=(LocksOff const&) = delete;
};

// As the settings window leaves the controller: main icon and the Caps
// Lock icon added in its off state, Num and Scroll Lock icons disabled.
void setUpController(ToolController& controller, HWND window, bool osd)
{
    bindController(controller, window, GetModuleHandleW(nullptr), false);
    controller.kbInd = osd;
    controller.kbIndClr = 12616523;
    controller.kbIndPos = 4;
    controller.setUpIndicators(false);
    controller.addLockIcon(LockKey::Caps, false);
}

// A tick of the lock timer, as the system delivers it.
void tick(HWND window, UINT message = WM_TIMER)
{
    lockTimerProc(window, message, kLockTimerId, GetTickCount());
}

bool sameIconData(TrayIcon const& icon, NOTIFYICONDATAW const& before)
{
    return std::memcmp(&icon.iconData, &before, sizeof(before)) == 0;
}

// ------------------------------------------------------ busy flag (child)

// The OSD window's procedure, wrapped: the poll repaints the OSD when a lock
// changed, and its SetWindowPos comes through here while the poll is still
// running. That is where a timer tick would arrive if anything in the poll
// dispatched messages.
struct NestedTick {
    WNDPROC original = nullptr;
    bool armed = false;
    int calls = 0;
    bool tickIgnored = false;   // the tick left a wrong lockOn alone
    bool pollCorrected = false; // a nested poll itself does correct it
};
NestedTick nested;

LRESULT CALLBACK osdHookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WINDOWPOSCHANGING && nested.armed) {
        nested.armed = false; // once, and not for the nested poll's own paints
        ++nested.calls;
        bool& capsOn = theController.trayIcons[2].lockOn;
        capsOn = false; // wrong: Caps Lock is on
        tick(theController.mainWindow);
        nested.tickIgnored = !capsOn;
        theController.pollLockKeys();
        nested.pollCorrected = capsOn;
    }
    return CallWindowProcW(nested.original, window, message, wParam, lParam);
}

void checkBusyFlag()
{
    HWND const window = createTestWindow();
    ASSERT_NE(nullptr, window);
    setUpController(theController, window, true);
    OsdIndicator& osd = OsdIndicator::get(theController.instance, window, theController.kbIndClr,
                                          theController.kbIndPos);
    osd.createWindow();
    ASSERT_NE(nullptr, osd.getWindow());
    nested.original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        osd.getWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(osdHookProc)));

    bool& capsOn = theController.trayIcons[2].lockOn;
    tick(window);
    ASSERT_FALSE(capsOn);

    pressKey(VK_CAPITAL);
    ASSERT_TRUE(toggledOn(VK_CAPITAL));
    nested.armed = true;
    tick(window);
    EXPECT_EQ(1, nested.calls) << "the poll repainted the OSD for the new lock state";
    EXPECT_TRUE(nested.tickIgnored) << "a tick during a poll must return at once";
    EXPECT_TRUE(nested.pollCorrected) << "(a poll in its place would have acted)";
    EXPECT_TRUE(capsOn);
    EXPECT_STREQ(L"Caps lock is ON", theController.trayIcons[2].iconData.szTip);
    EXPECT_NE(std::wstring::npos, std::wstring(osd.text).find(L"Caps Lock"));

    // The flag is down again once the poll is over.
    capsOn = false;
    tick(window);
    EXPECT_TRUE(capsOn) << "the next tick polls";

    // Only WM_TIMER polls.
    capsOn = false;
    tick(window, WM_TIMER + 1);
    EXPECT_FALSE(capsOn);
    tick(window);
    EXPECT_TRUE(capsOn);

    pressKey(VK_CAPITAL);
    tick(window);
    EXPECT_FALSE(capsOn);
    SetWindowLongPtrW(osd.getWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(nested.original));
    DestroyWindow(osd.getWindow());
    theController.trayIcons[0].destroy();
    theController.trayIcons[2].destroy();
    DestroyWindow(window);
}

KOVIX_CHILD_MODE(lock_busy_flag)
{
    {
        LocksOff const locksOff;
        checkBusyFlag();
    }
    return childTestResult();
}

class LockMonitor : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "types lock keys: needs the test rig (tools/rig.sh exec)";
        window_ = createTestWindow();
        ASSERT_NE(nullptr, window_);
    }
    void TearDown() override
    {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }

    LocksOff locksOff_;
    HWND window_ = nullptr;
};

} // namespace

TEST_F(LockMonitor, TheCapsLockRecordFollowsTheKeyFromOnePollToTheNext)
{
    ToolController controller(nullptr);
    setUpController(controller, window_, false);
    TrayIcon& caps = controller.trayIcons[2];
    ASSERT_TRUE(caps.added);
    ASSERT_FALSE(toggledOn(VK_CAPITAL));

    struct Step {
        int presses; // before the poll
        bool on;
        bool iconUnchanged;
    };
    Step const steps[] = {
        {0, false, true}, // all off, as the icons were added: nothing to change
        {1, true, false}, {2, true, true}, // off, on between two polls: no change
        {1, false, false}, {2, false, true}, // on, off between two polls
    };
    for (Step const& step : steps) {
        NOTIFYICONDATAW const before = caps.iconData;
        for (int i = 0; i < step.presses; ++i)
            pressKey(VK_CAPITAL);
        controller.pollLockKeys();
        EXPECT_EQ(step.on, caps.lockOn) << "step " << &step - steps;
        EXPECT_EQ(step.iconUnchanged, sameIconData(caps, before)) << "step " << &step - steps;
        EXPECT_STREQ(step.on ? L"Caps lock is ON" : L"Caps lock is OFF", caps.iconData.szTip);
        EXPECT_TRUE(shellHasIcon(window_, caps.id)) << "the shell took the modified icon";
    }

    // The other records saw none of it.
    EXPECT_FALSE(controller.trayIcons[1].lockOn);
    EXPECT_FALSE(controller.trayIcons[3].lockOn);
    EXPECT_STREQ(L"KOVIX Tool Beta 1.0", controller.trayIcons[0].iconData.szTip);
}

TEST_F(LockMonitor, AKeyHeldDownCountsAsOnUntilItIsReleased)
{
    ToolController controller(nullptr);
    setUpController(controller, window_, false);
    TrayIcon& caps = controller.trayIcons[2];

    // The press that turns Caps Lock on: on at once.
    sendKey(VK_CAPITAL, true);
    controller.pollLockKeys();
    EXPECT_TRUE(caps.lockOn);
    sendKey(VK_CAPITAL, false);
    controller.pollLockKeys();
    EXPECT_TRUE(caps.lockOn);

    // The press that turns it off: still on while held.
    sendKey(VK_CAPITAL, true);
    ASSERT_FALSE(toggledOn(VK_CAPITAL));
    NOTIFYICONDATAW const before = caps.iconData;
    controller.pollLockKeys();
    EXPECT_TRUE(caps.lockOn);
    EXPECT_TRUE(sameIconData(caps, before));
    sendKey(VK_CAPITAL, false);
    controller.pollLockKeys();
    EXPECT_FALSE(caps.lockOn);
    EXPECT_STREQ(L"Caps lock is OFF", caps.iconData.szTip);
}

TEST_F(LockMonitor, ALockWhoseIconIsDisabledIsFollowedAllTheSame)
{
    ToolController controller(nullptr);
    setUpController(controller, window_, false);
    TrayIcon& num = controller.trayIcons[1];
    ASSERT_FALSE(num.added);

    pressKey(VK_NUMLOCK);
    controller.pollLockKeys();
    EXPECT_TRUE(num.lockOn);
    EXPECT_FALSE(num.added);
    EXPECT_FALSE(shellHasIcon(window_, num.id)) << "the modify of an icon never added fails quietly";
    pressKey(VK_NUMLOCK);
    controller.pollLockKeys();
    EXPECT_FALSE(num.lockOn);
}

TEST_F(LockMonitor, ATimerTickThatArrivesDuringAPollReturnsAtOnce)
{
    TempFolder folder;
    EXPECT_EQ(0, runChildIn(folder, L"lock_busy_flag", 60000));
}
