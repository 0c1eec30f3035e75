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

#include "controller/ToolController.h"
#include "osd/OsdIndicator.h"
#include "tray/LockMonitor.h"
#include "tests/win/HostCommand.h"
#include "tests/win/WinTestSupport.h"

// The program's one controller, which the timer callback polls; the
// program defines it beside its entry point.
ToolController theController(nullptr);

namespace {

void pumpFor(DWORD milliseconds)
{
    DWORD const start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

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
        pumpFor(5);
    pumpFor(20);
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

LRESULT CALLBACK plainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createMainLikeWindow()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = plainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KovixLockMonitorTest";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"KovixLockMonitorTest", L"KOVIX Tool Beta 1.0",
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

// As the settings window leaves the controller: main icon and the Caps
// Lock icon added in its off state, Num and Scroll Lock icons disabled.
void setUpController(ToolController& controller, HWND window, bool osd)
{
    controller.mainWindow = window;
    controller.instance = GetModuleHandleW(nullptr);
    lstrcpynW(controller.title, L"KOVIX Tool Beta 1.0", ARRAYSIZE(controller.title));
    controller.numLock = false;
    controller.capsLock = true;
    controller.scrlLock = false;
    controller.cpsLckBG = 0;
    controller.cpsLckFG = 65535;
    controller.kbInd = osd;
    controller.kbIndClr = 12616523;
    controller.kbIndPos = 4;
    controller.setUpIndicators(false);
    controller.addLockIcon(LockKey::Caps, false);
}

bool sameIconData(TrayIcon const& icon, NOTIFYICONDATAW const& before)
{
    return std::memcmp(&icon.iconData, &before, sizeof(before)) == 0;
}

// Runs a child mode of a copy of this executable in `folder` (the OSD reads
// and writes OSD.ini beside it), its output going to this test's output.
int runChild(TempFolder const& folder, wchar_t const* mode)
{
    std::wstring const exe = copySelfInto(folder, L"lock_child.exe");
    std::wstring commandLine = L"\"" + exe + L"\" --child " + mode;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdOutput, startup.hStdError})
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    std::fflush(stdout);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        folder.path().c_str(), &startup, &process))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
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
        lockTimerProc(theController.mainWindow, WM_TIMER, kLockTimerId, GetTickCount());
        nested.tickIgnored = !capsOn;
        theController.pollLockKeys();
        nested.pollCorrected = capsOn;
    }
    return CallWindowProcW(nested.original, window, message, wParam, lParam);
}

void checkBusyFlag()
{
    HWND const window = createMainLikeWindow();
    ASSERT_NE(nullptr, window);
    setUpController(theController, window, true);
    OsdIndicator& osd = OsdIndicator::get(theController.instance, window, theController.kbIndClr,
                                          theController.kbIndPos);
    osd.createWindow();
    ASSERT_NE(nullptr, osd.getWindow());
    nested.original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        osd.getWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(osdHookProc)));

    bool& capsOn = theController.trayIcons[2].lockOn;
    lockTimerProc(window, WM_TIMER, kLockTimerId, GetTickCount());
    ASSERT_FALSE(capsOn);

    pressKey(VK_CAPITAL);
    ASSERT_TRUE(toggledOn(VK_CAPITAL));
    nested.armed = true;
    lockTimerProc(window, WM_TIMER, kLockTimerId, GetTickCount());
    EXPECT_EQ(1, nested.calls) << "the poll repainted the OSD for the new lock state";
    EXPECT_TRUE(nested.tickIgnored) << "a tick during a poll must return at once";
    EXPECT_TRUE(nested.pollCorrected) << "(a poll in its place would have acted)";
    EXPECT_TRUE(capsOn);
    EXPECT_STREQ(L"Caps lock is ON", theController.trayIcons[2].iconData.szTip);
    EXPECT_NE(std::wstring::npos, std::wstring(osd.text).find(L"Caps Lock"));

    // The flag is down again once the poll is over.
    capsOn = false;
    lockTimerProc(window, WM_TIMER, kLockTimerId, GetTickCount());
    EXPECT_TRUE(capsOn) << "the next tick polls";

    // Only WM_TIMER polls.
    capsOn = false;
    lockTimerProc(window, WM_TIMER + 1, kLockTimerId, GetTickCount());
    EXPECT_FALSE(capsOn);
    lockTimerProc(window, WM_TIMER, kLockTimerId, GetTickCount());
    EXPECT_TRUE(capsOn);

    pressKey(VK_CAPITAL);
    lockTimerProc(window, WM_TIMER, kLockTimerId, GetTickCount());
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
    std::fflush(stdout);
    return testing::UnitTest::GetInstance()->Failed() ? 1 : 0;
}

class LockMonitor : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "types lock keys: needs the test rig (tools/rig.sh exec)";
        window_ = createMainLikeWindow();
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

    // All locks off, as the icons were added: nothing to change.
    NOTIFYICONDATAW before = caps.iconData;
    controller.pollLockKeys();
    EXPECT_FALSE(caps.lockOn);
    EXPECT_TRUE(sameIconData(caps, before));
    EXPECT_STREQ(L"Caps lock is OFF", caps.iconData.szTip);

    pressKey(VK_CAPITAL);
    controller.pollLockKeys();
    EXPECT_TRUE(caps.lockOn);
    EXPECT_STREQ(L"Caps lock is ON", caps.iconData.szTip);
    EXPECT_TRUE(shellHas(window_, caps.id)) << "the shell took the modified icon";

    // Off, on between two polls: nothing changed as far as the icon goes.
    before = caps.iconData;
    pressKey(VK_CAPITAL);
    pressKey(VK_CAPITAL);
    controller.pollLockKeys();
    EXPECT_TRUE(caps.lockOn);
    EXPECT_TRUE(sameIconData(caps, before));

    pressKey(VK_CAPITAL);
    controller.pollLockKeys();
    EXPECT_FALSE(caps.lockOn);
    EXPECT_STREQ(L"Caps lock is OFF", caps.iconData.szTip);

    // On, off between two polls.
    before = caps.iconData;
    pressKey(VK_CAPITAL);
    pressKey(VK_CAPITAL);
    controller.pollLockKeys();
    EXPECT_FALSE(caps.lockOn);
    EXPECT_TRUE(sameIconData(caps, before));

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
    EXPECT_FALSE(shellHas(window_, num.id)) << "the modify of an icon never added fails quietly";
    pressKey(VK_NUMLOCK);
    controller.pollLockKeys();
    EXPECT_FALSE(num.lockOn);
}

TEST_F(LockMonitor, ATimerTickThatArrivesDuringAPollReturnsAtOnce)
{
    TempFolder folder;
    EXPECT_EQ(0, runChild(folder, L"lock_busy_flag"));
}
