#include "app/MainWindow.h"

#include <commctrl.h>
#include <string.h>

#include "app/AboutDialog.h"
#include "app/resource.h"

HINSTANCE appInstance = nullptr;
wchar_t windowTitle[100] = {};
wchar_t windowClassName[100] = {};

namespace {

// Set while a poll runs.
bool pollBusy = false;

// Handed-over commands are answered only once the settings window is built.
bool windowBuilt = false;

// An end of the program asked for while Apply runs. Apply's questions
// dispatch messages, and a window destroyed under them would leave Apply
// reading dead controls and saving every box as off: the end waits until
// Apply has finished.
bool endAfterApply = false;

// Every way of ending the program: E&xit, the close box, WM_CLOSE, /exit
// and the end of the session.
void endProgram(HWND window)
{
    if (ToolController::isApplying())
        endAfterApply = true;
    else
        DestroyWindow(window);
}

void applyThenEndIfAsked(HWND window)
{
    theController.apply();
    // A nested call returns at once; the outer Apply ends the program.
    if (endAfterApply && !ToolController::isApplying())
        DestroyWindow(window);
}

void onCreate(HWND window)
{
    // A second window of the class must not replace the loaded settings.
    if (theController.isLoaded())
        return;
    ToolController loaded(window);
    theController = loaded;
}

// The answer is the outcome for a handed-over /mode; the tray menu ignores it.
// The tray menu goes by the check mark; a handed-over /mode promises the
// display in its mode, so it asks the display, which another program may
// have changed, or a failed switch left elsewhere.
// `choice` indexes the choosable modes, and so the radio buttons.
int32_t onModeCommand(HWND window, size_t choice, bool handedOver)
{
    // From the tray while Apply's question is open: the running Apply has
    // already shown and will save its mode, so this one must not change
    // the mode under it. Dropped like the nested Apply itself.
    if (ToolController::isApplying())
        return kReplyBusy;
    ModeRow const& row = kModeTable[choice];
    HMENU const menu = GetMenu(window);
    // -1 (every flag set) where the menu lacks the item: not a check mark.
    UINT const state = GetMenuState(menu, row.menuCommand, MF_BYCOMMAND);
    bool const chosen = state != UINT(-1) && (state & MF_CHECKED) != 0;
    if (chosen && (!handedOver || detectCurrentMode() == row.mode))
        return kReplyDone; // already the chosen mode: neither click nor apply
    uncheckModeItems(menu);
    CheckMenuItem(menu, row.menuCommand, MF_BYCOMMAND | MF_CHECKED);
    SendMessageW(theController.modeRadios[choice], BM_CLICK, 0, 0);
    applyThenEndIfAsked(window);
    // Done only with the display in the mode: a switch that waits for a
    // restart, or any other that left it elsewhere, has not done it.
    return detectCurrentMode() == row.mode ? kReplyDone : kReplySwitchFailed;
}

// The control that had the keyboard focus when the window was last left;
// null until then, when the first control takes it.
HWND lastFocus = nullptr;

// Enter on the tray icon comes as two NIN_KEYSELECT; the window toggles
// once per press, whatever the shell repeats within a double click's time.
DWORD lastKeySelect = 0;

// The main icon's last right-button message was its release.
bool rightButtonUp = false;

void putIntoTray(HWND window)
{
    if (!IsIconic(window))
        ShowWindow(window, SW_MINIMIZE); // WM_SIZE hides it
}

void showInFront(HWND window)
{
    // Restore shows it even when it is minimised into the tray.
    if (IsIconic(window) || !IsWindowVisible(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

int32_t carryOutCommand(HWND window, ToolCommand command)
{
    // As "E&xit" from the loop, after the answer has gone back; during
    // Apply it is taken too, and ends the program once Apply has finished.
    if (command.kind == CommandKind::Exit) {
        PostMessageW(window, WM_COMMAND, IDM_EXIT, 0);
        return kReplyDone;
    }
    // Apply's questions run modal loops in which a command could arrive;
    // nothing may change under the open Apply.
    if (ToolController::isApplying())
        return kReplyBusy;
    switch (command.kind) {
    case CommandKind::Mode:
        for (size_t choice = 0; choice < kChoosableModeCount; ++choice) {
            if (kModeTable[choice].mode == command.mode)
                return onModeCommand(window, choice, true);
        }
        return 0;
    case CommandKind::Show:
        showInFront(window);
        return kReplyDone;
    case CommandKind::Tray:
        putIntoTray(window);
        return kReplyDone;
    default:
        return 0;
    }
}

// Another process's data: only a payload of our identifier, of a size that
// fits, terminated and parsing as a command is acted on; anything else is
// answered 0, as a window answers a message it does not take.
LRESULT onCopyData(HWND window, COPYDATASTRUCT const* data)
{
    wchar_t payload[kCommandPayloadCapacity];
    if (data == nullptr || data->dwData != kCommandDataId || data->lpData == nullptr ||
        data->cbData == 0 || data->cbData > sizeof(payload) || data->cbData % sizeof(wchar_t) != 0)
        return 0;
    memcpy(payload, data->lpData, data->cbData);
    ToolCommand const command = readCommandPayload(payload, data->cbData / sizeof(wchar_t));
    if (command.kind == CommandKind::Invalid)
        return 0;
    // Asked again until the start-up command has run too, so that a /show
    // comes after it; but once that command's Apply waits for an answer (a
    // question of it disables the window) it is busy like any Apply.
    if (!windowBuilt && IsWindowEnabled(window))
        return kReplyStarting;
    return carryOutCommand(window, command);
}

// Vista and later keep messages of a process with fewer rights from an
// elevated one; a command from a shortcut and Explorer's TaskbarCreated must
// still arrive. Admitted for the main window alone where the system can
// (Windows 7 on), for the whole process only where it cannot (Vista); looked
// up at run time, as XP has no filter.
void admitFromFewerRights(HWND window, UINT message)
{
    typedef BOOL(WINAPI * WindowFilter)(HWND, UINT, DWORD, void*);
    typedef BOOL(WINAPI * ProcessFilter)(UINT, DWORD);
    HMODULE const user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr || message == 0)
        return;
    if (FARPROC const forWindow = GetProcAddress(user32, "ChangeWindowMessageFilterEx")) {
        reinterpret_cast<WindowFilter>(reinterpret_cast<void (*)()>(forWindow))(window, message, 1,
                                                                               nullptr); // MSGFLT_ALLOW
        return;
    }
    if (FARPROC const forProcess = GetProcAddress(user32, "ChangeWindowMessageFilter"))
        reinterpret_cast<ProcessFilter>(reinterpret_cast<void (*)()>(forProcess))(message, 1); // MSGFLT_ADD
}

LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // Menu and accelerator commands carry a null lParam, which never counts
    // as the Apply button, even before the button exists.
    if (lParam != 0 && reinterpret_cast<HWND>(lParam) == theController.applyButton)
        applyThenEndIfAsked(window);

    for (size_t choice = 0; choice < kChoosableModeCount; ++choice) {
        if (LOWORD(wParam) == kModeTable[choice].menuCommand) {
            onModeCommand(window, choice, false);
            return 0;
        }
    }
    switch (LOWORD(wParam)) {
    // Enter and Esc in the settings window, as the dialog keys send them:
    // Apply is the default button, and Esc leaves as minimising does.
    case IDOK:
        applyThenEndIfAsked(window);
        return 0;
    case IDCANCEL:
        putIntoTray(window);
        return 0;
    case IDM_SHOWHIDE:
        toggleMainWindow(window);
        return 0;
    case IDM_ABOUT:
        DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, aboutDialogProc, 0);
        return 0;
    case IDM_EXIT:
        endProgram(window);
        return 0;
    default:
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

void showTrayMenu(HWND window, bool fromKeyboard)
{
    HMENU const popup = GetSubMenu(GetMenu(window), 0);
    POINT at = {};
    GetCursorPos(&at);
    // The keyboard's menu opens at the icon, where the shell can tell its place.
    RECT icon = {};
    if (fromKeyboard && theController.trayIcons[0].screenRect(icon)) {
        at.x = icon.left + (icon.right - icon.left) / 2;
        at.y = icon.top + (icon.bottom - icon.top) / 2;
    }
    // Without the foreground the pop-up would not close when clicked away.
    SetForegroundWindow(window);
    UINT const command = UINT(TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x, at.y, 0,
                                             window, nullptr));
    // The choice arrives as the menu itself would post it; a menu the
    // keyboard left with Esc gives the keyboard back to the notification
    // area (Shell_NotifyIcon's NIM_SETFOCUS).
    if (command != 0)
        PostMessageW(window, WM_COMMAND, command, 0);
    else if (fromKeyboard)
        theController.trayIcons[0].returnFocus();
    // Without a message after it, the menu opened from a tray icon the next
    // time closes at once (TrackPopupMenu's remarks).
    PostMessageW(window, WM_NULL, 0, 0);
}

void onTrayNotify(HWND window, LPARAM event)
{
    // A shell that took the icon's version sends WM_CONTEXTMENU after the
    // right button's messages, and for the menu key: the menu opens on that
    // alone, once per click.
    bool const versioned = theController.trayIcons[0].keyboardCallbacks;
    if (event == WM_LBUTTONDBLCLK) {
        toggleMainWindow(window);
    } else if (event == NIN_KEYSELECT) {
        DWORD const now = GetMessageTime();
        if (now - lastKeySelect > GetDoubleClickTime())
            toggleMainWindow(window);
        lastKeySelect = now;
    } else if (event == WM_RBUTTONUP) {
        rightButtonUp = true;
    } else if (event == (versioned ? WM_CONTEXTMENU : WM_RBUTTONDOWN)) {
        // A WM_CONTEXTMENU that no WM_RBUTTONUP came just before is the keyboard's.
        showTrayMenu(window, versioned && !rightButtonUp);
        rightButtonUp = false;
    }
}

} // namespace

void registerMainClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_KOVIX));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_KOVIX);
    windowClass.lpszClassName = windowClassName;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    RegisterClassExW(&windowClass);
}

bool createMainWindow(HINSTANCE instance)
{
    appInstance = instance;
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = 0xFF; // the eight classic control classes
    InitCommonControlsEx(&controls);

    // Invisible until the settings window is built; its size is set then.
    HWND const window = CreateWindowExW(0, windowClassName, windowTitle,
                                        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                        0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return false;
    admitFromFewerRights(window, WM_COPYDATA);
    admitFromFewerRights(window, taskbarCreatedMessage());
    UpdateWindow(window);
    return true;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A restarted shell comes back with an empty notification area.
    UINT const taskbarCreated = taskbarCreatedMessage();
    if (taskbarCreated != 0 && message == taskbarCreated) {
        theController.restoreTrayIcons();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        onCreate(window);
        return 0;
    case WM_CLOSE:
        endProgram(window); // the close box, or another program's request
        return 0;
    case WM_ENDSESSION:
        // The session ends whatever a question of Apply waits for; the
        // program ends as E&xit ends it, or is ended by the system first.
        if (wParam)
            endProgram(window);
        return 0;
    case WM_DESTROY:
        theController.stopTimer();
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        // Minimising takes the window off the screen and the taskbar; the
        // tray icon stays.
        if (wParam == SIZE_MINIMIZED)
            ShowWindow(window, SW_HIDE);
        return 0;
    case WM_ACTIVATE:
        // Activation gives the focus to the window itself (WM_SETFOCUS).
        if (LOWORD(wParam) == WA_INACTIVE && IsChild(window, GetFocus()))
            lastFocus = GetFocus();
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SETFOCUS: {
        // The window takes no keys itself: they go back to the control
        // that had them, or to the first one.
        HWND const control = lastFocus != nullptr && IsChild(window, lastFocus)
                                 ? lastFocus
                                 : GetNextDlgTabItem(window, nullptr, FALSE);
        if (control != nullptr)
            SetFocus(control);
        return 0;
    }
    case WM_COMMAND:
        return onCommand(window, wParam, lParam);
    case WM_TRAYNOTIFY:
        onTrayNotify(window, lParam);
        return 0;
    case WM_COPYDATA:
        return onCopyData(window, reinterpret_cast<COPYDATASTRUCT const*>(lParam));
    case WM_TIMER:
        if (wParam == kTrayRetryTimerId) {
            theController.retryTrayIcons();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool isSettingsDialogMessage(MSG* message)
{
    HWND const main = theController.mainWindow;
    if (main == nullptr || message->hwnd == nullptr ||
        (message->hwnd != main && !IsChild(main, message->hwnd)))
        return false;
    return IsDialogMessageW(main, message) != FALSE;
}

void CALLBACK lockTimerProc(HWND, UINT message, UINT_PTR, DWORD)
{
    if (message != WM_TIMER || pollBusy)
        return;
    pollBusy = true;
    theController.pollLockKeys();
    pollBusy = false;
}

void finishStartup(ToolCommand command)
{
    if (command.kind != CommandKind::None)
        carryOutCommand(theController.mainWindow, command);
    windowBuilt = true;
}

void toggleMainWindow(HWND window)
{
    WINDOWINFO info = {};
    info.cbSize = sizeof(info);
    GetWindowInfo(window, &info);
    if (info.dwStyle & WS_MINIMIZE) {
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
    } else {
        ShowWindow(window, SW_MINIMIZE);
    }
}

void uncheckModeItems(HMENU menu)
{
    for (size_t choice = 0; choice < kChoosableModeCount; ++choice)
        CheckMenuItem(menu, kModeTable[choice].menuCommand, MF_BYCOMMAND | MF_UNCHECKED);
}

BOOL CALLBACK setChildFont(HWND child, LPARAM font)
{
    SendMessageW(child, WM_SETFONT, WPARAM(font), TRUE);
    return TRUE;
}

LRESULT CALLBACK resolutionPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        HWND const sender = reinterpret_cast<HWND>(lParam);
        for (size_t choice = 0; choice < kChoosableModeCount; ++choice) {
            if (sender == theController.modeRadios[choice])
                theController.mode = kModeTable[choice].mode;
        }
    }
    // The panel behaves as a plain child window; its static procedure is not called.
    return DefWindowProcW(window, message, wParam, lParam);
}
