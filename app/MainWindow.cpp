#include "app/MainWindow.h"

#include <commctrl.h>

#include "app/AboutDialog.h"
#include "app/resource.h"

HINSTANCE appInstance = nullptr;
wchar_t windowTitle[100] = {};
wchar_t windowClassName[100] = {};

namespace {

UINT const kModeCommands[] = {IDM_MODE_800X480, IDM_MODE_800X600, IDM_MODE_1024X768};

void onCreate(HWND window)
{
    // A second window of the class must not replace the loaded settings.
    if (theController.isLoaded())
        return;
    ToolController loaded(window);
    theController = loaded;
}

void onModeCommand(HWND window, UINT command, HWND radioButton)
{
    // From the tray while Apply's question is open: the running Apply has
    // already shown and will save its mode, so this one must not change
    // the mode under it. Dropped like the nested Apply itself.
    if (ToolController::isApplying())
        return;
    HMENU const menu = GetMenu(window);
    if (GetMenuState(menu, command, MF_BYCOMMAND) & MF_CHECKED)
        return; // already the chosen mode: neither click nor apply
    uncheckModeItems(menu);
    CheckMenuItem(menu, command, MF_BYCOMMAND | MF_CHECKED);
    SendMessageW(radioButton, BM_CLICK, 0, 0);
    theController.apply();
}

LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // Menu and accelerator commands carry a null lParam, which never counts
    // as the Apply button, even before the button exists.
    if (lParam != 0 && reinterpret_cast<HWND>(lParam) == theController.applyButton)
        theController.apply();

    switch (LOWORD(wParam)) {
    case IDM_MODE_800X480:
        onModeCommand(window, IDM_MODE_800X480, theController.radio800x480);
        return 0;
    case IDM_MODE_800X600:
        onModeCommand(window, IDM_MODE_800X600, theController.radio800x600);
        return 0;
    case IDM_MODE_1024X768:
        onModeCommand(window, IDM_MODE_1024X768, theController.radio1024x768);
        return 0;
    case IDM_SHOWHIDE:
        toggleMainWindow(window);
        return 0;
    case IDM_ABOUT:
        DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, aboutDialogProc, 0);
        return 0;
    case IDM_EXIT:
        DestroyWindow(window);
        return 0;
    default:
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

void showTrayMenu(HWND window)
{
    HMENU const popup = GetSubMenu(GetMenu(window), 0);
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the foreground the pop-up would not close when clicked away.
    SetForegroundWindow(window);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
}

void onTrayNotify(HWND window, LPARAM mouseMessage)
{
    if (mouseMessage == WM_LBUTTONDBLCLK)
        toggleMainWindow(window);
    else if (mouseMessage == WM_RBUTTONDOWN)
        showTrayMenu(window);
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
    case WM_COMMAND:
        return onCommand(window, wParam, lParam);
    case WM_TRAYNOTIFY:
        onTrayNotify(window, lParam);
        return 0;
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
    for (UINT const command : kModeCommands)
        CheckMenuItem(menu, command, MF_BYCOMMAND | MF_UNCHECKED);
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
        if (sender == theController.radio800x480)
            theController.mode = 1;
        if (sender == theController.radio800x600)
            theController.mode = 2;
        if (sender == theController.radio1024x768)
            theController.mode = 6;
    }
    // The panel behaves as a plain child window; its static procedure is not called.
    return DefWindowProcW(window, message, wParam, lParam);
}
