#include "tests/e2e/ToolProcess.h"

#include <commctrl.h>
#include <tlhelp32.h>
#include <stdlib.h>

#include <cstdio>

#include <vector>

namespace {

// The top-level windows of a process with a class (and a title, when not
// null), in z-order.
struct WindowQuery {
    DWORD processId;
    wchar_t const* className;
    wchar_t const* title;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM param)
{
    WindowQuery& query = *reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == query.processId && windowClass(window) == query.className &&
        (query.title == nullptr || windowText(window) == query.title))
        query.found.push_back(window);
    return TRUE;
}

std::vector<HWND> processWindows(DWORD processId, wchar_t const* className, wchar_t const* title)
{
    WindowQuery query = {processId, className, title, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

} // namespace

std::wstring toolExecutable()
{
    wchar_t chosen[MAX_PATH] = {};
    DWORD const length = GetEnvironmentVariableW(L"KOVIX_TOOL_EXE", chosen, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return wintest::folderOf(ownExecutablePath()) + L"\\KOVIX Tool.exe";
    if (chosen[0] != L'/')
        return chosen;
    std::string const unixName(chosen, chosen + length);
    return host::dosPath(unixName);
}

DWORD slowed(DWORD milliseconds)
{
    wchar_t value[16] = {};
    if (GetEnvironmentVariableW(L"KOVIX_TOOL_SLOWDOWN", value, ARRAYSIZE(value)) == 0)
        return milliseconds;
    int const factor = _wtoi(value);
    return factor > 1 ? milliseconds * DWORD(factor) : milliseconds;
}

bool mainWindowReady(HWND window)
{
    return window != nullptr && GetWindow(window, GW_CHILD) != nullptr &&
           (IsWindowVisible(window) || IsIconic(window));
}

ToolProcess::ToolProcess(TempFolder const& folder) : exe_(folder.file(L"KOVIX Tool.exe"))
{
    CopyFileW(toolExecutable().c_str(), exe_.c_str(), FALSE);
}

ToolProcess::ToolProcess(std::wstring const& exe) : exe_(exe)
{
}

ToolProcess::~ToolProcess()
{
    kill();
}

bool ToolProcess::start(std::wstring const& arguments)
{
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    return startAs(commandLine);
}

bool ToolProcess::startAs(std::wstring commandLine)
{
    watchForeground();
    main_ = nullptr; // a restart has a window of its own
    std::wstring const folder = wintest::folderOf(exe_);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(exe_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process_) != FALSE;
}

HWND ToolProcess::waitForMainWindow(DWORD timeoutMs)
{
    timeoutMs = slowed(timeoutMs);
    waitUntil([&] {
        HWND const window = findProcessWindow(id(), kMainWindowClass);
        if (mainWindowReady(window))
            main_ = window;
        return main_ != nullptr;
    }, timeoutMs);
    return main_;
}

int ToolProcess::waitForExit(DWORD timeoutMs)
{
    if (process_.hProcess == nullptr)
        return -1;
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return int(code);
}

ToolProcess::CommandRun ToolProcess::run(std::wstring const& arguments, DWORD timeoutMs)
{
    CommandRun result;
    if (!start(arguments))
        return result;
    waitUntil([&] {
        result.hadMainWindow = result.hadMainWindow || findProcessWindow(id(), kMainWindowClass) != nullptr;
        // Read only a complete box: one found a moment after its creation has
        // no text yet.
        HWND const box = findProcessWindow(id(), L"#32770");
        if (box != nullptr && dialogComplete(box)) {
            result.boxText = messageBoxText(box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        result.exitCode = waitForExit(0);
        return result.exitCode != -1;
    }, timeoutMs);
    kill();
    return result;
}

void ToolProcess::kill()
{
    if (process_.hProcess == nullptr)
        return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    process_ = {};
}

bool sendCopyData(HWND window, ULONG_PTR id, void const* data, DWORD size, DWORD_PTR& reply,
                  DWORD timeoutMs)
{
    COPYDATASTRUCT copy = {};
    copy.dwData = id;
    copy.cbData = size;
    copy.lpData = const_cast<void*>(data);
    return SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                               SMTO_NORMAL, timeoutMs, &reply) != 0;
}

HWND findProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title)
{
    std::vector<HWND> const found = processWindows(processId, className, title);
    return found.empty() ? nullptr : found.front();
}

HWND waitForProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title,
                          DWORD timeoutMs)
{
    HWND found = nullptr;
    waitUntil([&] { return (found = findProcessWindow(processId, className, title)) != nullptr; },
              timeoutMs);
    return found;
}

bool dialogComplete(HWND dialog)
{
    if (!IsWindowVisible(dialog))
        return false;
    HWND const messageText = GetDlgItem(dialog, 0xFFFF);
    return messageText == nullptr || !windowText(messageText).empty();
}

HWND waitForDialog(DWORD processId, wchar_t const* caption, DWORD timeoutMs)
{
    HWND seen = nullptr;
    if (waitUntil([&] {
            seen = findProcessWindow(processId, L"#32770", caption);
            return seen != nullptr && dialogComplete(seen);
        }, timeoutMs))
        return seen;
    std::string const name = caption != nullptr ? narrow(caption) : "(any)";
    if (seen == nullptr)
        std::fprintf(stderr, "waitForDialog: no dialog \"%s\" within %lu ms\n", name.c_str(),
                     static_cast<unsigned long>(timeoutMs));
    else
        std::fprintf(stderr, "waitForDialog: dialog \"%s\" incomplete after %lu ms: visible %d, text \"%s\"\n",
                     name.c_str(), static_cast<unsigned long>(timeoutMs), IsWindowVisible(seen) ? 1 : 0,
                     narrow(messageBoxText(seen)).c_str());
    return nullptr;
}

std::wstring windowText(HWND window)
{
    wchar_t text[512] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::string narrow(std::wstring const& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring windowClass(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

std::string describeWindow(HWND window)
{
    if (window == nullptr)
        return "no window";
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    std::string name = "?";
    HANDLE const snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W process = {};
        process.dwSize = sizeof(process);
        for (BOOL more = Process32FirstW(snapshot, &process); more;
             more = Process32NextW(snapshot, &process)) {
            if (process.th32ProcessID == processId)
                name = narrow(process.szExeFile);
        }
        CloseHandle(snapshot);
    }
    return "class \"" + narrow(windowClass(window)) + "\", title \"" + narrow(windowText(window)) +
           "\", process " + std::to_string(processId) + " (" + name + ")";
}

namespace {

// Wine's adaptor between a tray icon and the X tray host. Explorer docks a
// new icon by reparenting its adaptor with an activating SetWindowPos, and
// Wine has no foreground lock: the adaptor takes the foreground from the
// window in front, a moment or seconds after the icon's NIM_ADD. Windows'
// shell never takes the foreground when an icon is added.
wchar_t const kWineTrayAdaptorClass[] = L"__winex11_tray_icon";

struct ForegroundChange {
    HWND window;
    bool trayAdaptor;
};

// Every foreground change since the first program start of this process,
// polled every millisecond on a thread of its own, so that a window in front
// for a moment before the rig's tray took the foreground is still known.
// (Wine delivers no out-of-context EVENT_SYSTEM_FOREGROUND to another
// process, so a WinEvent hook cannot do this.)
struct ForegroundLog {
    CRITICAL_SECTION lock;
    std::vector<ForegroundChange> changes;
};

ForegroundLog& foregroundLog()
{
    static ForegroundLog* const log = [] {
        auto* created = new ForegroundLog; // lives as long as the process
        InitializeCriticalSection(&created->lock);
        return created;
    }();
    return *log;
}

DWORD WINAPI foregroundWatchThread(LPVOID)
{
    ForegroundLog& log = foregroundLog();
    HWND last = nullptr;
    for (;;) {
        HWND const front = GetForegroundWindow();
        if (front != last) {
            ForegroundChange const change{front, windowClass(front) == kWineTrayAdaptorClass};
            EnterCriticalSection(&log.lock);
            log.changes.push_back(change);
            LeaveCriticalSection(&log.lock);
            last = front;
        }
        Sleep(1);
    }
}

// The window in front, or, when Wine's tray adaptor took the foreground (and
// it went on to other adaptors or to no window), the window in front before.
HWND frontBesidesTheTray()
{
    HWND const front = GetForegroundWindow();
    ForegroundLog& log = foregroundLog();
    EnterCriticalSection(&log.lock);
    auto it = log.changes.rbegin();
    bool trayTookIt = false;
    for (; it != log.changes.rend() && (it->trayAdaptor || it->window == nullptr); ++it)
        trayTookIt = trayTookIt || it->trayAdaptor;
    bool const frontIsTray = front == nullptr || windowClass(front) == kWineTrayAdaptorClass;
    HWND const result = trayTookIt && frontIsTray && it != log.changes.rend() ? it->window : front;
    LeaveCriticalSection(&log.lock);
    return result;
}

} // namespace

bool waitTrayIconsDocked(DWORD timeoutMs)
{
    // An adaptor is a top-level window until the tray host has reparented it.
    return waitUntil([] { return FindWindowExW(nullptr, nullptr, kWineTrayAdaptorClass, nullptr) == nullptr; },
                     timeoutMs);
}

void watchForeground()
{
    static HANDLE const thread = CreateThread(nullptr, 0, foregroundWatchThread, nullptr, 0, nullptr);
    (void)thread; // runs until the process ends
}

bool waitShownInFront(HWND window, std::string& seen, DWORD timeoutMs)
{
    struct Front {
        HWND window;
        DWORD since;
        std::string description;
    };
    std::vector<Front> fronts;
    DWORD const start = GetTickCount();
    bool const shown = waitUntil([&] {
        HWND const front = GetForegroundWindow();
        // Described when it comes to the front: it may be gone at the end.
        if (fronts.empty() || fronts.back().window != front)
            fronts.push_back({front, GetTickCount() - start, describeWindow(front)});
        return IsWindowVisible(window) && !IsIconic(window) && frontBesidesTheTray() == window;
    }, timeoutMs);
    seen = "visible " + std::to_string(IsWindowVisible(window)) + ", minimised " +
           std::to_string(IsIconic(window)) + "; in front besides the rig's tray " +
           describeWindow(frontBesidesTheTray()) + "; in front";
    for (auto it = fronts.rbegin(); it != fronts.rend(); ++it)
        seen += (it == fronts.rbegin() ? " from " : "; before it from ") +
                std::to_string(it->since) + " ms of the wait: " + it->description;
    return shown;
}

void pressKeys(std::initializer_list<WORD> virtualKeys)
{
    std::vector<INPUT> inputs;
    for (WORD key : virtualKeys) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = WORD(MapVirtualKeyW(key, 0));
        inputs.push_back(input);
    }
    std::vector<WORD> reversed(virtualKeys.begin(), virtualKeys.end());
    for (auto it = reversed.rbegin(); it != reversed.rend(); ++it) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.wScan = WORD(MapVirtualKeyW(*it, 0));
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool bringToFront(HWND window)
{
    waitTrayIconsDocked();
    SetForegroundWindow(window);
    return waitUntil([&] { return GetForegroundWindow() == window; }, 2000);
}

std::wstring screenshotFolder()
{
    std::wstring const folder = wintest::folderOf(ownExecutablePath()) + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

REGSAM toolRegistryView()
{
    DWORD binaryType = 0;
    if (GetBinaryTypeW(toolExecutable().c_str(), &binaryType) && binaryType == SCS_32BIT_BINARY)
        return KEY_WOW64_32KEY;
    return 0;
}

std::string readMachineValue(wchar_t const* keyPath, wchar_t const* valueName, DWORD* type,
                             REGSAM view)
{
    DWORD valueType = 0;
    std::string data;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
        BYTE buffer[2048];
        DWORD size = sizeof(buffer);
        if (RegQueryValueExW(key, valueName, nullptr, &valueType, buffer, &size) == ERROR_SUCCESS)
            data.assign(reinterpret_cast<char*>(buffer), size);
        else
            valueType = 0;
        RegCloseKey(key);
    }
    if (type != nullptr)
        *type = valueType;
    return data;
}

// ---------------------------------------------------------------- controls

namespace {

HWND findDescendantIn(HWND parent, wchar_t const* text)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (windowText(child) == text)
            return child;
        if (HWND const found = findDescendantIn(child, text))
            return found;
    }
    return nullptr;
}

} // namespace

HWND findDescendant(HWND parent, wchar_t const* text)
{
    return findDescendantIn(parent, text);
}

RECT rectInParent(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool isButtonChecked(HWND button)
{
    DWORD_PTR state = 0;
    return SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &state) != 0 &&
           state == BST_CHECKED;
}

bool clickAndWait(HWND button, DWORD timeoutMs)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

void postClick(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

int countProcessWindows(DWORD processId, wchar_t const* className)
{
    return int(processWindows(processId, className, nullptr).size());
}

std::wstring messageBoxText(HWND box)
{
    return windowText(GetDlgItem(box, 0xFFFF));
}

// ------------------------------------------------------------ the registry

bool writeMachineValue(wchar_t const* keyPath, wchar_t const* valueName, DWORD type,
                       std::string const& data, REGSAM view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG const result = RegSetValueExW(key, valueName, 0, type,
                                       reinterpret_cast<BYTE const*>(data.data()), DWORD(data.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void deleteMachineValue(wchar_t const* keyPath, wchar_t const* valueName, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, valueName);
    RegCloseKey(key);
}

MachineValuesGuard::MachineValuesGuard(wchar_t const* keyPath,
                                       std::initializer_list<wchar_t const*> valueNames)
    : key_(keyPath)
{
    for (wchar_t const* name : valueNames) {
        Saved saved = {name, 0, std::string()};
        saved.data = readMachineValue(keyPath, name, &saved.type);
        saved_.push_back(saved);
    }
}

MachineValuesGuard::~MachineValuesGuard()
{
    for (Saved const& saved : saved_) {
        if (saved.type == 0)
            deleteMachineValue(key_.c_str(), saved.name.c_str());
        else
            writeMachineValue(key_.c_str(), saved.name.c_str(), saved.type, saved.data);
    }
}

std::string dword(DWORD value)
{
    return std::string(reinterpret_cast<char const*>(&value), sizeof(value));
}

std::string regSz(std::wstring const& text)
{
    return std::string(reinterpret_cast<char const*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

std::wstring registryText(std::string const& data)
{
    std::wstring text(reinterpret_cast<wchar_t const*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

// ---------------------------------------------------------- display modes

std::string screenSize()
{
    return std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
           std::to_string(GetSystemMetrics(SM_CYSCREEN));
}

DisplayChangeLog::DisplayChangeLog()
{
    HINSTANCE const instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"KovixTestDisplayChangeLog";
    RegisterClassW(&windowClass); // fails harmlessly the second time
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1,
                              nullptr, nullptr, instance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

DisplayChangeLog::~DisplayChangeLog()
{
    DestroyWindow(window_);
}

std::vector<std::string> const& DisplayChangeLog::settled(DWORD quietMs)
{
    waitUntil([] { return false; }, quietMs);
    return changes_;
}

LRESULT CALLBACK DisplayChangeLog::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DISPLAYCHANGE) {
        auto* const log = reinterpret_cast<DisplayChangeLog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (log != nullptr)
            log->changes_.push_back(std::to_string(LOWORD(lParam)) + "x" + std::to_string(HIWORD(lParam)));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---------------------------------------------------------------- balloons

namespace {

// The text of a tooltip of another process (the shell shows the tray's
// balloons), read through memory of that process: the tooltip copies the
// text into the buffer that the request points to.
std::wstring tooltipText(HWND tooltip)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(tooltip, &processId);
    HANDLE const process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr)
        return L"";
    wchar_t text[256] = {};
    SIZE_T const size = sizeof(TTTOOLINFOW) + sizeof(text);
    BYTE* const remote =
        static_cast<BYTE*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    if (remote != nullptr) {
        TTTOOLINFOW info = {};
        info.cbSize = sizeof(info);
        info.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof(info));
        DWORD_PTR found = 0;
        if (!WriteProcessMemory(process, remote, &info, sizeof(info), nullptr) ||
            !WriteProcessMemory(process, remote + sizeof(info), text, sizeof(text), nullptr) ||
            !SendMessageTimeoutW(tooltip, TTM_ENUMTOOLSW, 0, LPARAM(remote), SMTO_ABORTIFHUNG, 2000,
                                 &found) ||
            found == 0 ||
            !ReadProcessMemory(process, remote + sizeof(info), text, sizeof(text) - sizeof(wchar_t),
                               nullptr))
            text[0] = 0;
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

BOOL CALLBACK collectBalloon(HWND window, LPARAM param)
{
    if (IsWindowVisible(window) && windowClass(window) == TOOLTIPS_CLASSW &&
        (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON))
        reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(tooltipText(window));
    return TRUE;
}

} // namespace

bool waitForBalloon(std::wstring const& text, DWORD timeoutMs)
{
    return waitUntil([&] {
        std::vector<std::wstring> shown;
        EnumWindows(collectBalloon, reinterpret_cast<LPARAM>(&shown));
        for (std::wstring const& balloon : shown) {
            if (balloon == text)
                return true;
        }
        return false;
    }, timeoutMs);
}
