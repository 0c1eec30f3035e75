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
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/resource.h"
#include "bench/BenchCommon.h"
#include "tray/TrayMessages.h"

namespace {

wchar_t const kMainClass[] = L"KOVIX TOOL";
wchar_t const kOsdClass[] = L"KOVIXToolKbInd";
wchar_t const kFloorClass[] = L"KovixFloorIndicator";

void pumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

template <typename Condition>
bool waitUntil(Condition condition, double seconds)
{
    double const deadline = secondsNow() + seconds;
    for (;;) {
        if (condition())
            return true;
        if (secondsNow() > deadline)
            return false;
        pumpMessages();
        Sleep(1);
    }
}

struct FindRequest {
    DWORD processId; // 0: any process
    wchar_t const* className;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    FindRequest& request = *reinterpret_cast<FindRequest*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (request.processId != 0 && owner != request.processId)
        return TRUE;
    wchar_t name[64] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    if (lstrcmpW(name, request.className) != 0)
        return TRUE;
    request.found = window;
    return FALSE;
}

HWND findWindowOf(DWORD processId, wchar_t const* className)
{
    FindRequest request = {processId, className, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

// The main window once its controls exist and it is shown or in the tray.
bool mainWindowReady(HWND window)
{
    return window != nullptr && GetWindow(window, GW_CHILD) != nullptr &&
           (IsWindowVisible(window) || IsIconic(window));
}

HWND waitForMainWindow(double seconds)
{
    HWND window = nullptr;
    waitUntil([&] { return mainWindowReady(window = FindWindowW(kMainClass, nullptr)); }, seconds);
    return mainWindowReady(window) ? window : nullptr;
}

struct ChildRequest {
    wchar_t const* text;
    HWND found;
};

BOOL CALLBACK matchChild(HWND child, LPARAM param)
{
    ChildRequest& request = *reinterpret_cast<ChildRequest*>(param);
    wchar_t text[64] = {};
    GetWindowTextW(child, text, ARRAYSIZE(text));
    if (lstrcmpW(text, request.text) != 0)
        return TRUE;
    request.found = child;
    return FALSE;
}

HWND findChild(HWND parent, wchar_t const* text)
{
    ChildRequest request = {text, nullptr};
    EnumChildWindows(parent, matchChild, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

bool shellHas(HWND owner, UINT id)
{
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof(probe);
    probe.hWnd = owner;
    probe.uID = id;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
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

// The tray host's strip at the top right, 20 rows high, read from the
// screen; its left end is where its own background colour stops.
class TrayStrip {
public:
    TrayStrip()
    {
        screen_ = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen_);
        width_ = GetSystemMetrics(SM_CXSCREEN);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -kRows;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        old_ = SelectObject(memory_, bitmap_);
    }
    ~TrayStrip()
    {
        SelectObject(memory_, old_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
        ReleaseDC(nullptr, screen_);
    }
    TrayStrip(TrayStrip const&) = delete;
    TrayStrip& operator=(TrayStrip const&) = delete;

    std::vector<DWORD> capture()
    {
        BitBlt(memory_, 0, 0, width_, kRows, screen_, 0, 0, SRCCOPY);
        GdiFlush();
        DWORD const* pixels = static_cast<DWORD const*>(bits_);
        DWORD const panel = pixels[width_ - 1];
        int left = width_ - 1;
        while (left > 0 && pixels[left - 1] == panel)
            --left;
        std::vector<DWORD> strip;
        for (int y = 0; y < kRows; ++y)
            strip.insert(strip.end(), pixels + y * width_ + left, pixels + (y + 1) * width_);
        return strip;
    }

private:
    static int const kRows = 20;
    HDC screen_;
    HDC memory_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    void* bits_ = nullptr;
    int width_;
};

int osdHeight(HWND osd)
{
    RECT rect = {};
    GetWindowRect(osd, &rect);
    return IsWindowVisible(osd) ? rect.bottom - rect.top : 0;
}

void pressCapsLock()
{
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = VK_CAPITAL;
    inputs[0].ki.wScan = inputs[1].ki.wScan = WORD(MapVirtualKeyW(VK_CAPITAL, 0));
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
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
    TrayStrip strip;
    while (!watch.stop) {
        if (WaitForSingleObject(watch.armed, 50) != WAIT_OBJECT_0)
            continue;
        if (strip.capture() != watch.before) {
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
    HWND const main = waitForMainWindow(20);
    HWND osd = nullptr;
    waitUntil([&] { return osdHeight(osd = FindWindowW(kOsdClass, nullptr)) > 0; }, 20);
    if (main == nullptr || osd == nullptr || osdHeight(osd) == 0) {
        fprintf(stderr, "latency: the program's window or OSD is not up\n");
        return 2;
    }
    // Keyboard input goes to the foreground window's thread, whose key
    // state the program's poll reads.
    SetForegroundWindow(main);
    waitUntil([&] { return GetForegroundWindow() == main; }, 2);
    TrayStrip strip;
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
        watch.before = strip.capture();
        ResetEvent(watch.done);
        double const start = secondsNow();
        pressCapsLock();
        SetEvent(watch.armed);
        double osdAt = 0;
        while (osdAt == 0 && secondsNow() - start < 2.0) {
            if (osdHeight(osd) != height)
                osdAt = secondsNow();
            else
                Sleep(1);
        }
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

bool startProcess(std::wstring const& exe, PROCESS_INFORMATION& process)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::wstring const folder = exe.substr(0, exe.find_last_of(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process) != FALSE;
}

void endProcess(PROCESS_INFORMATION& process, HWND window, bool tool)
{
    if (window != nullptr) {
        if (tool)
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        else
            PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// Seconds from CreateProcess to the floor's window shown; 0 on a time-out.
double timeFloorStart(std::wstring const& exe)
{
    PROCESS_INFORMATION process = {};
    double const start = secondsNow();
    if (!startProcess(exe, process))
        return 0;
    HWND window = nullptr;
    bool const up = waitUntil([&] {
        window = findWindowOf(process.dwProcessId, kFloorClass);
        return window != nullptr && IsWindowVisible(window);
    }, 20);
    double const elapsed = secondsNow() - start;
    endProcess(process, window, false);
    return up ? elapsed : 0;
}

// Seconds from CreateProcess to the main window shown with its controls and
// the main tray icon in the shell; 0 when that takes over `limitSeconds`.
double timeToolStart(std::wstring const& exe, double& windowSeconds, double& iconSeconds,
                     double limitSeconds = 20)
{
    PROCESS_INFORMATION process = {};
    double const start = secondsNow();
    if (!startProcess(exe, process))
        return 0;
    HWND window = nullptr;
    windowSeconds = 0;
    iconSeconds = 0;
    bool const up = waitUntil([&] {
        if (window == nullptr)
            window = findWindowOf(process.dwProcessId, kMainClass);
        if (window == nullptr)
            return false;
        double const now = secondsNow() - start;
        if (windowSeconds == 0 && IsWindowVisible(window) && GetWindow(window, GW_CHILD) != nullptr)
            windowSeconds = now;
        if (iconSeconds == 0 && shellHas(window, kMainTrayIconId))
            iconSeconds = now;
        return windowSeconds > 0 && iconSeconds > 0;
    }, limitSeconds);
    endProcess(process, window, true);
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
    waitUntil([&] { return osdHeight(osd = FindWindowW(kOsdClass, nullptr)) > 0; }, 20);
    // Wine keeps the X window of a top-level window in this property.
    HANDLE const xid = osd != nullptr ? GetPropW(osd, L"__wine_x11_whole_window") : nullptr;
    if (xid == nullptr)
        return 1;
    printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(xid)));
    return 0;
}

// Queues PAIRS of (click "Num lock", click "Apply"), so that the program
// applies a changed text again and again while the kill loop strikes.
int floodApply(int pairs)
{
    HWND const main = waitForMainWindow(20);
    HWND const toggle = main != nullptr ? findChild(main, L"Num lock") : nullptr;
    HWND const apply = main != nullptr ? findChild(main, L"Apply") : nullptr;
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
    return waitUntil([] { return FindWindowW(kMainClass, nullptr) == nullptr; }, 10) ? 0 : 1;
}

int exitTool()
{
    HWND const main = FindWindowW(kMainClass, nullptr);
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
        return waitForMainWindow(30) != nullptr ? 0 : 1;
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
