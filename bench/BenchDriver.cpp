// Drives the running KOVIX Tool from outside for bench/run.sh, as the
// end-to-end tests do: through its windows, keyboard input and the shell.
//   bench_driver.exe wait-ready              the program's window is up
//   bench_driver.exe latency COUNT           Caps Lock toggles to OSD and tray
//   bench_driver.exe startup RUNS TOOL FLOOR start-up time against the floor
//   bench_driver.exe tool-startup RUNS TOOL LIMIT  start-up time of TOOL alone
//                                            (the i686 build under emulation)
//   bench_driver.exe osd-xid                 the OSD window's X window id
//   bench_driver.exe apply-flood PAIRS       queue PAIRS of (toggle, Apply)
//   bench_driver.exe exit                    "E&xit" the program
//   bench_driver.exe wait-gone               no window of the program is left
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench/BenchCommon.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

wchar_t const kFloorClass[] = L"KovixFloorIndicator";
// The waits that end a timed span look every millisecond.
DWORD const kTimedPollMs = 1;

// The main window of the one running copy, whichever process it is, once
// ready; null after the time-out.
HWND waitForReadyMainWindow(DWORD timeoutMs)
{
    HWND window = nullptr;
    return waitUntil([&] { return mainWindowReady(window = FindWindowW(kMainWindowClass, nullptr)); },
                     timeoutMs)
               ? window
               : nullptr;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t const middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double worst(std::vector<double> const& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// ------------------------------------------------------------------ latency

// The tray strip's pixels, row by row.
std::vector<DWORD> trayStripPixels()
{
    Screen const screen = captureScreen(kTrayStripRows);
    int const left = trayStripLeft(screen);
    std::vector<DWORD> strip;
    for (int y = 0; y < screen.height; ++y) {
        auto const row = screen.pixels.begin() + y * screen.width;
        strip.insert(strip.end(), row + left, row + screen.width);
    }
    return strip;
}

int osdHeight(HWND osd)
{
    RECT rect = {};
    GetWindowRect(osd, &rect);
    return IsWindowVisible(osd) ? rect.bottom - rect.top : 0;
}

// Watches the tray strip on a thread of its own, so that reading the screen
// (several milliseconds) never delays the check of the OSD's rectangle.
// The main thread writes `before` only while the watch is disarmed and a
// toggle's 150 ms pause has let the watcher's last comparison end.
struct TrayWatch {
    HANDLE armed = nullptr;          // set: compare against `before`
    std::vector<DWORD> before;
    double seenAt = 0;               // written by the watcher, read after `done`
    HANDLE done = nullptr;           // set by the watcher when it saw a change
    volatile LONG stop = 0;
};

DWORD WINAPI watchTray(void* parameter)
{
    TrayWatch& watch = *static_cast<TrayWatch*>(parameter);
    while (!watch.stop) {
        if (WaitForSingleObject(watch.armed, 50) != WAIT_OBJECT_0)
            continue;
        if (trayStripPixels() != watch.before) {
            watch.seenAt = secondsNow();
            ResetEvent(watch.armed);
            SetEvent(watch.done);
        }
        Sleep(1);
    }
    return 0;
}

// How late a 250 ms timer of a Wine program fires on this machine while the
// latency is measured: a thread of this driver with its own timer records
// the longest gap between two ticks.
struct TickProbe {
    DWORD threadId = 0;
    double worstGap = 0;
};

DWORD WINAPI probeTicks(void* parameter)
{
    TickProbe& probe = *static_cast<TickProbe*>(parameter);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // this thread's queue
    SetTimer(nullptr, 0, 250, nullptr);
    double last = 0;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message != WM_TIMER)
            continue;
        double const now = secondsNow();
        if (last > 0 && now - last > probe.worstGap)
            probe.worstGap = now - last;
        last = now;
    }
    return 0;
}

int runLatency(int count)
{
    HWND const main = waitForReadyMainWindow(20000);
    HWND osd = nullptr;
    waitUntil([&] { return osdHeight(osd = FindWindowW(kOsdWindowClass, nullptr)) > 0; }, 20000);
    if (main == nullptr || osd == nullptr || osdHeight(osd) == 0) {
        fprintf(stderr, "latency: the program's window or OSD is not up\n");
        return 2;
    }
    // Keyboard input goes to the foreground window's thread, whose key
    // state the program's poll reads.
    bringToFront(main);
    TrayWatch watch;
    watch.armed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watch.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE const watcher = CreateThread(nullptr, 0, watchTray, &watch, 0, nullptr);
    TickProbe probe;
    HANDLE const ticker = CreateThread(nullptr, 0, probeTicks, &probe, 0, &probe.threadId);
    srand(12345);
    std::vector<double> osdTimes;
    std::vector<double> trayTimes;
    int osdMissed = 0;
    for (int i = 0; i < count; ++i) {
        // A random phase against the program's 250 ms tick.
        Sleep(DWORD(150 + rand() % 250));
        int const height = osdHeight(osd);
        watch.before = trayStripPixels();
        ResetEvent(watch.done);
        double const start = secondsNow();
        pressCaps();
        SetEvent(watch.armed);
        double const osdAt =
            waitUntil([&] { return osdHeight(osd) != height; }, 2000, kTimedPollMs) ? secondsNow() : 0;
        bool const traySeen = WaitForSingleObject(watch.done, 2000) == WAIT_OBJECT_0;
        ResetEvent(watch.armed);
        if (osdAt > 0)
            osdTimes.push_back((osdAt - start) * 1e3);
        else
            ++osdMissed;
        if (traySeen)
            trayTimes.push_back((watch.seenAt - start) * 1e3);
    }
    watch.stop = 1;
    WaitForSingleObject(watcher, 5000);
    PostThreadMessageW(probe.threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(ticker, 5000);
    CloseHandle(ticker);
    CloseHandle(watcher);
    CloseHandle(watch.armed);
    CloseHandle(watch.done);
    figure("latency_toggles", count);
    figure("latency_osd_seen", double(osdTimes.size()));
    figure("latency_osd_median_ms", median(osdTimes));
    figure("latency_osd_worst_ms", worst(osdTimes));
    figure("latency_tray_seen", double(trayTimes.size()));
    figure("latency_tray_median_ms", median(trayTimes));
    figure("latency_tray_worst_ms", worst(trayTimes));
    figure("latency_timer_worst_gap_ms", probe.worstGap * 1e3);
    return osdMissed == 0 ? 0 : 1;
}

// ------------------------------------------------------------------ startup

// Asks a started program to end with `message` to its window; it is
// killed when it has not ended after 10 s (~ToolProcess).
void endProcess(ToolProcess& process, HWND window, UINT message, WPARAM wParam)
{
    if (window != nullptr)
        PostMessageW(window, message, wParam, 0);
    process.waitForExit(10000);
}

// Seconds from CreateProcess to the floor's window shown; 0 on a time-out.
double timeFloorStart(std::wstring const& exe)
{
    ToolProcess floor(exe);
    double const start = secondsNow();
    if (!floor.start())
        return 0;
    HWND window = nullptr;
    bool const up = waitUntil([&] {
        window = findProcessWindow(floor.id(), kFloorClass);
        return window != nullptr && IsWindowVisible(window);
    }, 20000, kTimedPollMs);
    double const elapsed = secondsNow() - start;
    endProcess(floor, window, WM_CLOSE, 0);
    return up ? elapsed : 0;
}

// Seconds from CreateProcess to the main window shown with its controls and
// the main tray icon in the shell; 0 when that takes over `limitSeconds`.
double timeToolStart(std::wstring const& exe, double& windowSeconds, double& iconSeconds,
                     double limitSeconds = 20)
{
    ToolProcess tool(exe);
    double const start = secondsNow();
    if (!tool.start())
        return 0;
    HWND window = nullptr;
    windowSeconds = 0;
    iconSeconds = 0;
    bool const up = waitUntil([&] {
        if (window == nullptr)
            window = findProcessWindow(tool.id(), kMainWindowClass);
        if (window == nullptr)
            return false;
        double const now = secondsNow() - start;
        if (windowSeconds == 0 && IsWindowVisible(window) && GetWindow(window, GW_CHILD) != nullptr)
            windowSeconds = now;
        if (iconSeconds == 0 && wintest::shellHasIcon(window, kMainTrayIconId))
            iconSeconds = now;
        return windowSeconds > 0 && iconSeconds > 0;
    }, DWORD(limitSeconds * 1000), kTimedPollMs);
    endProcess(tool, window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0));
    return up ? std::max(windowSeconds, iconSeconds) : 0;
}

int runStartup(int runs, std::wstring const& tool, std::wstring const& floor)
{
    std::vector<double> toolTimes;
    std::vector<double> windowTimes;
    std::vector<double> iconTimes;
    std::vector<double> floorTimes;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        double const floorTime = timeFloorStart(floor);
        double windowTime = 0;
        double iconTime = 0;
        double const toolTime = timeToolStart(tool, windowTime, iconTime);
        if (floorTime == 0 || toolTime == 0) {
            ++failures;
            continue;
        }
        floorTimes.push_back(floorTime * 1e3);
        toolTimes.push_back(toolTime * 1e3);
        windowTimes.push_back(windowTime * 1e3);
        iconTimes.push_back(iconTime * 1e3);
    }
    figure("startup_runs", double(toolTimes.size()));
    figure("startup_failures", failures);
    figure("startup_tool_median_ms", median(toolTimes));
    figure("startup_tool_worst_ms", worst(toolTimes));
    figure("startup_tool_window_median_ms", median(windowTimes));
    figure("startup_tool_icon_median_ms", median(iconTimes));
    figure("startup_floor_median_ms", median(floorTimes));
    figure("startup_floor_worst_ms", worst(floorTimes));
    return failures == 0 ? 0 : 1;
}

// The start-up of the program alone, up to `limitSeconds` a start, as
// figures NAME_runs, NAME_failures, NAME_median_ms, NAME_worst_ms,
// NAME_window_median_ms and NAME_icon_median_ms.
int runToolStartup(int runs, std::wstring const& tool, double limitSeconds, std::string const& name)
{
    std::vector<double> toolTimes;
    std::vector<double> windowTimes;
    std::vector<double> iconTimes;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        double windowTime = 0;
        double iconTime = 0;
        double const toolTime = timeToolStart(tool, windowTime, iconTime, limitSeconds);
        if (toolTime == 0) {
            ++failures;
            continue;
        }
        toolTimes.push_back(toolTime * 1e3);
        windowTimes.push_back(windowTime * 1e3);
        iconTimes.push_back(iconTime * 1e3);
    }
    figure((name + "_runs").c_str(), double(toolTimes.size()));
    figure((name + "_failures").c_str(), failures);
    figure((name + "_median_ms").c_str(), median(toolTimes));
    figure((name + "_worst_ms").c_str(), worst(toolTimes));
    figure((name + "_window_median_ms").c_str(), median(windowTimes));
    figure((name + "_icon_median_ms").c_str(), median(iconTimes));
    return failures == 0 ? 0 : 1;
}

// -------------------------------------------------------------- the others

int printOsdXid()
{
    HWND osd = nullptr;
    waitUntil([&] { return osdHeight(osd = FindWindowW(kOsdWindowClass, nullptr)) > 0; }, 20000);
    unsigned long long const xid = osd != nullptr ? host::xWindow(osd) : 0;
    if (xid == 0)
        return 1;
    printf("%llu\n", xid);
    return 0;
}

// Queues PAIRS of (click "Num lock", click "Apply"), so that the program
// applies a changed text again and again while the kill loop strikes.
int floodApply(int pairs)
{
    HWND const main = waitForReadyMainWindow(20000);
    HWND const toggle = main != nullptr ? findDescendant(main, L"Num lock") : nullptr;
    HWND const apply = main != nullptr ? findDescendant(main, L"Apply") : nullptr;
    if (toggle == nullptr || apply == nullptr)
        return 1;
    for (int i = 0; i < pairs; ++i) {
        PostMessageW(toggle, BM_CLICK, 0, 0);
        PostMessageW(apply, BM_CLICK, 0, 0);
    }
    return 0;
}

// Waits until no window of the program is left (a killed copy's windows go
// with it once Wine has noticed its end).
int waitGone()
{
    return waitUntil([] { return FindWindowW(kMainWindowClass, nullptr) == nullptr; }, 10000) ? 0 : 1;
}

int exitTool()
{
    HWND const main = FindWindowW(kMainWindowClass, nullptr);
    if (main == nullptr)
        return 0;
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE const process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    DWORD const waited = process != nullptr ? WaitForSingleObject(process, 10000) : WAIT_FAILED;
    if (process != nullptr)
        CloseHandle(process);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring const mode = argc > 1 ? argv[1] : L"";
    if (mode == L"wait-ready")
        return waitForReadyMainWindow(30000) != nullptr ? 0 : 1;
    if (mode == L"latency")
        return runLatency(argc > 2 ? _wtoi(argv[2]) : 50);
    if (mode == L"startup" && argc > 4)
        return runStartup(_wtoi(argv[2]), argv[3], argv[4]);
    if (mode == L"tool-startup" && argc > 4)
        return runToolStartup(_wtoi(argv[2]), argv[3], _wtof(argv[4]), "i686_startup");
    if (mode == L"osd-xid")
        return printOsdXid();
    if (mode == L"apply-flood")
        return floodApply(argc > 2 ? _wtoi(argv[2]) : 200);
    if (mode == L"exit")
        return exitTool();
    if (mode == L"wait-gone")
        return waitGone();
    fprintf(stderr, "usage: bench_driver.exe wait-ready | latency N | startup RUNS TOOL FLOOR | "
                    "tool-startup RUNS TOOL LIMIT_SECONDS | "
                    "osd-xid | apply-flood PAIRS | exit | wait-gone\n");
    return 2;
}
