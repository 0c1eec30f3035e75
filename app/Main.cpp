// Process entry: the command line, the one controller, the main window and
// the message loop.
#include <windows.h>

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/resource.h"

// Constructed before wWinMain with no window (it loads nothing); filled while
// the main window is created; its destruction at exit takes the tray icons
// out of the notification area.
ToolController theController(nullptr);

namespace {

// /? and /help, and every usage error: no window of ours exists yet.
void showUsage(bool usageError)
{
    wchar_t usage[kUsageTextCapacity];
    formatUsageText(usage, kUsageTextCapacity);
    MessageBoxW(nullptr, usage, windowTitle,
                MB_OK | (usageError ? MB_ICONWARNING : MB_ICONINFORMATION));
}

// The arguments from the process's own command line rather than the
// runtime's cut of it, which splits an unquoted program path at its blank.
ToolCommand startCommand()
{
    wchar_t modulePath[MAX_PATH] = {};
    DWORD const length = GetModuleFileNameW(nullptr, modulePath, ARRAYSIZE(modulePath));
    if (length == 0 || length >= ARRAYSIZE(modulePath))
        modulePath[0] = 0; // no whole path: the runtime's rule alone
    return parseCommandLine(commandArguments(GetCommandLineW(), modulePath));
}

int runMessageLoop(HINSTANCE instance)
{
    HACCEL const accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_KOVIX));
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) != 0) {
        // Accelerators belong to the top-level window, so they still work
        // while one of its controls has the keyboard focus.
        HWND const target = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        // Then the dialog keys of the settings window.
        if (!TranslateAcceleratorW(target, accelerators, &message) &&
            !isSettingsDialogMessage(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return int(message.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    LoadStringW(instance, IDS_APP_TITLE, windowTitle, ARRAYSIZE(windowTitle));
    LoadStringW(instance, IDS_CLASS_NAME, windowClassName, ARRAYSIZE(windowClassName));
    ToolCommand const command = startCommand();
    if (command.kind == CommandKind::Invalid || command.kind == CommandKind::Help) {
        showUsage(command.kind == CommandKind::Invalid);
        return command.kind == CommandKind::Invalid ? kExitUsage : kExitDone;
    }
    if (!claimSingleInstance(windowClassName)) {
        // A plain second start shows the running copy's window. The copy
        // shows it itself: one with more rights may not be shown, nor put
        // in front, by this one.
        if (command.kind == CommandKind::None) {
            handToRunningCopy(windowClassName, {CommandKind::Show, 0});
            return 0;
        }
        return handToRunningCopy(windowClassName, command);
    }
    if (command.kind == CommandKind::Exit)
        return kExitDone; // nothing runs that could be ended
    registerMainClass(instance);
    if (!createMainWindow(instance))
        return 0;
    theController.buildWindow();
    finishStartup(command);
    return runMessageLoop(instance);
}
