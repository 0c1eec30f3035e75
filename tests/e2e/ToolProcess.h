// Starts the real KOVIX Tool.exe from a private folder and finds its windows,
// so end-to-end tests can drive it from outside as a user would.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/win/HostCommand.h"
#include "tests/win/WinTestSupport.h"
#include "tray/TrayMessages.h"

// The program the tests start: the file KOVIX_TOOL_EXE names (a host or a
// Windows path), else the x86_64 build beside this test executable.
std::wstring toolExecutable();
// A time-out for the program's own work, multiplied by KOVIX_TOOL_SLOWDOWN
// (1 when unset): under CPU emulation the i686 build starts in about a
// minute and every first use of a system DLL costs seconds.
DWORD slowed(DWORD milliseconds);

// The window classes of the program's main window and of its OSD.
wchar_t const kMainWindowClass[] = L"KOVIX TOOL";
wchar_t const kOsdWindowClass[] = L"KOVIXToolKbInd";

// The main window is built once its controls exist and it has been shown
// (or minimised into the tray, which hides it).
bool mainWindowReady(HWND window);

class ToolProcess {
public:
    // Copies the program (toolExecutable()) into `folder` as
    // "KOVIX Tool.exe"; nothing runs yet.
    explicit ToolProcess(TempFolder const& folder);
    // Runs `exe` where it is (the bench's programs, with their own files).
    explicit ToolProcess(std::wstring const& exe);
    ~ToolProcess(); // kills the process if it still runs
    ToolProcess(ToolProcess const&) = delete;
    ToolProcess& operator=(ToolProcess const&) = delete;

    // Starts the program with `arguments` after its quoted path.
    bool start(std::wstring const& arguments = std::wstring());
    // Starts it with exactly this command line, as a launcher that does not
    // quote the path passes it on.
    bool startAs(std::wstring commandLine);
    // A start with a command, watched to its end; a message box it shows is
    // read and closed. Exit code -1: still running after the time-out.
    struct CommandRun {
        int exitCode = -1;
        bool hadMainWindow = false; // its own "KOVIX TOOL" window (tray icons need one)
        std::wstring boxText;
    };
    CommandRun run(std::wstring const& arguments, DWORD timeoutMs = 45000);
    // The main window of this process, once ready (mainWindowReady); null
    // after the time-out (slowed).
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

// Sends WM_COPYDATA as another process would; false when no answer came.
bool sendCopyData(HWND window, ULONG_PTR id, void const* data, DWORD size, DWORD_PTR& reply,
                  DWORD timeoutMs = 5000);

// The first top-level window (in z-order) of `processId` with the given
// class, and title when not null.
HWND findProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title = nullptr);
HWND waitForProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title,
                          DWORD timeoutMs = 5000);
// A dialog or message box ("#32770") of `processId` with this caption (any
// when null), once it is complete: a dialog exists before its
// WM_INITDIALOG has filled it in and shows only afterwards, so it counts
// when visible, and a message box when its text is there too. Null after
// the time-out, with what was seen written to the test's output.
HWND waitForDialog(DWORD processId, wchar_t const* caption, DWORD timeoutMs = 10000);
bool dialogComplete(HWND dialog);

std::wstring windowText(HWND window);
std::wstring windowClass(HWND window);
// The text as bytes for messages (the program's texts are ASCII).
std::string narrow(std::wstring const& text);

// Waits, pumping this thread's messages, until `condition` holds or the
// time-out passes; returns the last value of the condition. It checks every
// `pollMs` (the bench's latency figures take 1).
template <typename Condition>
bool waitUntil(Condition condition, DWORD timeoutMs = 5000, DWORD pollMs = 10)
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
        Sleep(pollMs);
    }
}

// ---- The foreground window.

// "class "C", title "T", process N (name.exe)" of a window, or "no window".
std::string describeWindow(HWND window);
// Records every foreground change from now on (every program start calls it).
void watchForeground();
// Waits until `window` is visible, not minimised and the foreground window,
// counting it in front when Wine's tray icon adaptor took the foreground
// after it: the rig's tray host docking an icon, which Windows' shell never
// does. When time runs out, `seen` says which window was in front instead,
// since when, and which windows were in front before it during the wait.
bool waitShownInFront(HWND window, std::string& seen, DWORD timeoutMs = 5000);
// Waits until the rig's tray host has docked every tray icon added so far, so
// that no docking takes the foreground from a window brought to the front.
bool waitTrayIconsDocked(DWORD timeoutMs = 10000);

// Keyboard input through SendInput, as a user's typing arrives.
void pressKeys(std::initializer_list<WORD> virtualKeys); // all down in order, then up in reverse
// Waits until the rig's tray has docked its icons, then makes `window` the
// foreground window and waits until it is.
bool bringToFront(HWND window);

// Where wintest::saveScreenshot's pictures of these tests go.
std::wstring screenshotFolder();

// The registry view the program under test sees: KEY_WOW64_32KEY for a
// 32-bit executable (HKLM\\Software is kept apart for it under
// Wow6432Node), else 0.
REGSAM toolRegistryView();
// Reads a value of HKEY_LOCAL_MACHINE in `view`; empty with type 0 when
// absent.
std::string readMachineValue(wchar_t const* keyPath, wchar_t const* valueName, DWORD* type = nullptr,
                             REGSAM view = toolRegistryView());

// ---- Controls of the settings window, read and clicked from outside.

// The first descendant of `parent` (depth first, in z-order) with this text.
HWND findDescendant(HWND parent, wchar_t const* text);
// The window's rectangle relative to its parent's client area.
RECT rectInParent(HWND window);
bool isButtonChecked(HWND button);
// BM_CLICK sent and handled: when it returns true, whatever the click set
// off in the program (an Apply included) has finished.
bool clickAndWait(HWND button, DWORD timeoutMs = 30000);
// BM_CLICK posted: for a click that opens a modal box, which would keep a
// sent click from returning.
void postClick(HWND button);
// The top-level windows of `processId` with the given class.
int countProcessWindows(DWORD processId, wchar_t const* className);
// The text of a message box (its static control 0xFFFF).
std::wstring messageBoxText(HWND box);

// ---- The program's tray icons (identifiers: kMainTrayIconId, then the
// lock icons, Num, Caps and Scroll Lock): wintest::shellHasIcon tells
// whether the shell holds one.

// A balloon notice with this text shows (from any icon). The shell waits a
// moment before it shows one and then keeps it up for ten seconds or more.
bool waitForBalloon(std::wstring const& text, DWORD timeoutMs = 15000);

// ---- The machine: registry values and display mode (host commands:
// tests/win/HostCommand.h).

bool writeMachineValue(wchar_t const* keyPath, wchar_t const* valueName, DWORD type,
                       std::string const& data, REGSAM view = toolRegistryView());
void deleteMachineValue(wchar_t const* keyPath, wchar_t const* valueName,
                        REGSAM view = toolRegistryView());

// Takes note of HKEY_LOCAL_MACHINE values and puts them back as they were
// (or deletes them again) when it goes.
class MachineValuesGuard {
public:
    MachineValuesGuard(wchar_t const* keyPath, std::initializer_list<wchar_t const*> valueNames);
    ~MachineValuesGuard();
    MachineValuesGuard(MachineValuesGuard const&) = delete;
    MachineValuesGuard& operator=(MachineValuesGuard const&) = delete;

private:
    struct Saved {
        std::wstring name;
        DWORD type;
        std::string data;
    };
    std::wstring key_;
    std::vector<Saved> saved_;
};

std::string dword(DWORD value); // the 4 bytes of a REG_DWORD
std::string regSz(std::wstring const& text); // a REG_SZ's bytes, terminator included
std::wstring registryText(std::string const& data); // a REG_SZ's text, terminators dropped

// The primary screen as this process sees it now, "WxH".
std::string screenSize();

// A hidden top-level window of this process that logs every WM_DISPLAYCHANGE
// as "WxH"; the system broadcasts one for each mode change. It sees them
// while this thread waits in waitUntil or in a sent message.
class DisplayChangeLog {
public:
    DisplayChangeLog();
    ~DisplayChangeLog();
    DisplayChangeLog(DisplayChangeLog const&) = delete;
    DisplayChangeLog& operator=(DisplayChangeLog const&) = delete;

    std::vector<std::string> const& changes() const { return changes_; }
    void clear() { changes_.clear(); }
    // Gives late broadcasts a moment to arrive, then returns the log.
    std::vector<std::string> const& settled(DWORD quietMs = 300);

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::vector<std::string> changes_;
};
