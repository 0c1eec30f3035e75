// Starts the real KOVIX Tool.exe from a private folder and finds its windows,
// so end-to-end tests can drive it from outside as a user would.
#pragma once

#include <windows.h>

#include <string>

#include "tests/win/WinTestSupport.h"

class ToolProcess {
public:
    // Copies the program (built beside this test executable) into `folder`
    // as "KOVIX Tool.exe"; nothing runs yet.
    explicit ToolProcess(TempFolder const& folder);
    ~ToolProcess(); // kills the process if it still runs
    ToolProcess(ToolProcess const&) = delete;
    ToolProcess& operator=(ToolProcess const&) = delete;

    bool start();
    // The main window ("KOVIX TOOL") of this process, once it is visible or
    // in the tray; null after the time-out.
    HWND waitForMainWindow(DWORD timeoutMs = 10000);
    // Exit code, or -1 when it has not ended within the time-out.
    int waitForExit(DWORD timeoutMs = 5000);
    void kill();

    DWORD id() const { return process_.dwProcessId; }
    HANDLE handle() const { return process_.hProcess; }
    std::wstring const& exePath() const { return exe_; }
    HWND mainWindow() const { return main_; }

private:
    std::wstring exe_;
    PROCESS_INFORMATION process_ = {};
    HWND main_ = nullptr;
};

// A top-level window of `processId` with the given class (and title, when
// not null) owned by or equal to `owner` when that is given.
HWND findProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title = nullptr);
HWND waitForProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title,
                          DWORD timeoutMs = 5000);

std::wstring windowText(HWND window);
std::wstring windowClass(HWND window);

// Waits, pumping this thread's messages, until `condition` holds or the
// time-out passes; returns the last value of the condition.
template <typename Condition>
bool waitUntil(Condition condition, DWORD timeoutMs = 5000)
{
    DWORD const start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return condition();
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(10);
    }
}

// Keyboard input through SendInput, as a user's typing arrives.
void pressKeys(std::initializer_list<WORD> virtualKeys); // all down in order, then up in reverse
bool bringToFront(HWND window);

// Saves the whole screen as a BMP file (the test script turns it into PNG).
bool saveScreenshot(std::wstring const& path);
std::wstring screenshotFolder();

// Reads a value of HKEY_LOCAL_MACHINE; empty with type 0 when absent.
std::string readMachineValue(wchar_t const* keyPath, wchar_t const* valueName, DWORD* type = nullptr);
