// A day of lock polls in a loop: the production controller, built as at
// start-up on a window of this process, polled 345,600 times (a day of
// 250 ms ticks) with the OSD on, while the three locks are toggled through
// SendInput every 100 polls. Prints the private bytes along the way, the
// lock changes the poll saw and the time a poll takes.
//   soak_bench.exe [POLLS]
// Runs from a folder of its own: the load creates Resolution.ini and
// OSD.ini with their defaults beside the executable.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "bench/BenchCommon.h"
#include "controller/ToolController.h"
#include "osd/OsdIndicator.h"
#include "settings/RegistryStore.h"
#include "tests/e2e/ToolProcess.h"
#include "tray/GlyphLayout.h"

// The program's one controller; the lock timer's procedure and the main
// window's procedures refer to it. This benchmark drives a controller of
// its own and never starts that timer.
ToolController theController(nullptr);

namespace {

int const kTogglePeriod = 100;
int const kCheckpoints = 10;
int const kLockKeys[] = {VK_NUMLOCK, VK_CAPITAL, VK_SCROLL};

void pumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// WM_PAINT messages the OSD window received: each runs a paint of its own
// besides the ones the update decides on.
long osdPaintMessages = 0;
WNDPROC osdProcedure = nullptr;

LRESULT CALLBACK countingOsdProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        ++osdPaintMessages;
    return CallWindowProcW(osdProcedure, window, message, wParam, lParam);
}

bool toggledAs(int key, bool on)
{
    return ((GetKeyState(key) & 1) != 0) == on;
}

// Presses and releases the three locks, then pumps this thread's messages
// until its key state shows all three toggled (the poll reads GetKeyState,
// which follows the messages this thread has taken). False on a time-out.
bool toggleLocks()
{
    bool wanted[3];
    INPUT inputs[6] = {};
    for (int i = 0; i < 3; ++i) {
        wanted[i] = (GetKeyState(kLockKeys[i]) & 1) == 0;
        for (int up = 0; up < 2; ++up) {
            INPUT& input = inputs[i * 2 + up];
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = WORD(kLockKeys[i]);
            input.ki.wScan = WORD(MapVirtualKeyW(UINT(kLockKeys[i]), 0));
            input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        }
    }
    SendInput(6, inputs, sizeof(INPUT));
    return waitUntil([&] {
        return toggledAs(kLockKeys[0], wanted[0]) && toggledAs(kLockKeys[1], wanted[1]) &&
               toggledAs(kLockKeys[2], wanted[2]);
    }, 2000, 1);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    takeLinuxPid(argc, argv);
    long const polls = argc > 1 ? wcstol(argv[1], nullptr, 10) : 345600;
    // The load writes the driver's downscaling value; the machine keeps its own.
    MachineValuesGuard const savedDriverValue(kDriverKeyPath, {kDownScalingEnabledValue});

    HINSTANCE const instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"KovixSoakBench";
    RegisterClassExW(&windowClass);
    HWND const window = CreateWindowExW(0, windowClass.lpszClassName, L"KOVIX soak",
                                        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 2;

    // Start-up as the program does it, then the poll is driven from here.
    ToolController controller(window);
    if (!controller.isLoaded() || !controller.kbInd)
        return 3;
    controller.buildWindow();
    controller.stopTimer();
    SetForegroundWindow(window);
    pumpMessages();

    bool const initial[3] = {toggledAs(kLockKeys[0], true), toggledAs(kLockKeys[1], true),
                             toggledAs(kLockKeys[2], true)};
    OsdIndicator& osd = OsdIndicator::get(nullptr, nullptr, 0, 4);
    osdProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        osd.getWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countingOsdProc)));
    long toggles = 0;
    long toggleFailures = 0;
    long lockChanges[4] = {};
    long textChanges = 0;
    double changedSeconds = 0;
    double changedWorst = 0;
    double quietSeconds = 0;
    wchar_t lastText[kOsdTextCapacity] = {};

    // Warm-up: one toggle period, so the fonts, brushes and sampler buffers
    // exist before the first reading.
    for (int i = 0; i < kTogglePeriod; ++i) {
        controller.pollLockKeys();
        pumpMessages();
    }
    MemoryFigures const before = memoryFigures();
    SIZE_T highest = privateBytes(before);
    osdPaintMessages = 0;
    printMemory("soak_start", before);

    double const start = secondsNow();
    for (long poll = 0; poll < polls; ++poll) {
        if (poll > 0 && poll % kTogglePeriod == 0) {
            ++toggles;
            if (!toggleLocks())
                ++toggleFailures;
        }
        bool wasOn[4];
        for (int i = 1; i < 4; ++i)
            wasOn[i] = controller.trayIcons[i].lockOn;
        double const pollStart = secondsNow();
        controller.pollLockKeys();
        double const pollTime = secondsNow() - pollStart;
        for (int i = 1; i < 4; ++i)
            lockChanges[i] += controller.trayIcons[i].lockOn != wasOn[i];
        if (wcscmp(lastText, osd.text) != 0) {
            ++textChanges;
            changedSeconds += pollTime;
            if (pollTime > changedWorst)
                changedWorst = pollTime;
            wcsncpy(lastText, osd.text, kOsdTextCapacity - 1);
        } else {
            quietSeconds += pollTime;
        }
        // The program's message loop runs between two ticks.
        if (poll % 4 == 0)
            pumpMessages();
        if ((poll + 1) % (polls / kCheckpoints > 0 ? polls / kCheckpoints : 1) == 0) {
            SIZE_T const now = privateBytes(memoryFigures());
            if (now > highest)
                highest = now;
            printf("checkpoint %ld polls: %.1f s, private %lu bytes\n", poll + 1,
                   secondsNow() - start, static_cast<unsigned long>(now));
            fflush(stdout);
        }
    }
    double const elapsed = secondsNow() - start;
    MemoryFigures const after = memoryFigures();

    // Leave the locks as they were.
    for (int i = 0; i < 3; ++i) {
        if (toggledAs(kLockKeys[i], true) != initial[i]) {
            INPUT inputs[2] = {};
            inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
            inputs[0].ki.wVk = inputs[1].ki.wVk = WORD(kLockKeys[i]);
            inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(2, inputs, sizeof(INPUT));
        }
    }
    pumpMessages();

    long const expectedChanges = toggles - toggleFailures;
    long missed = 0;
    for (int i = 1; i < 4; ++i)
        missed += lockChanges[i] != expectedChanges;
    long const quietPolls = polls - textChanges;

    figure("soak_polls", double(polls));
    figure("soak_seconds", elapsed);
    figure("soak_us_per_poll", elapsed * 1e6 / double(polls));
    figure("soak_toggles", double(toggles));
    figure("soak_toggle_failures", double(toggleFailures));
    figure("soak_num_changes", double(lockChanges[lockTrayIndex(LockKey::Num)]));
    figure("soak_caps_changes", double(lockChanges[lockTrayIndex(LockKey::Caps)]));
    figure("soak_scroll_changes", double(lockChanges[lockTrayIndex(LockKey::Scroll)]));
    figure("soak_missed_locks", double(missed));
    figure("soak_osd_text_changes", double(textChanges));
    figure("soak_osd_wm_paint", double(osdPaintMessages));
    figure("soak_ms_per_repainting_poll", textChanges > 0 ? changedSeconds * 1e3 / double(textChanges) : 0);
    figure("soak_ms_worst_repainting_poll", changedWorst * 1e3);
    figure("soak_us_per_quiet_poll", quietPolls > 0 ? quietSeconds * 1e6 / double(quietPolls) : 0);
    printMemory("soak_end", after);
    figure("soak_private_highest", double(highest));
    figure("soak_private_growth", double(privateBytes(after)) - double(privateBytes(before)));
    figure("soak_osd_window_alive", IsWindow(osd.getWindow()) ? 1 : 0);

    DestroyWindow(window);
    return toggleFailures == 0 && missed == 0 ? 0 : 1;
}
