// Process entry: the one controller, the main window and the message loop.
#include <windows.h>

#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/resource.h"

// Constructed before wWinMain with no window (it loads nothing); filled while
// the main window is created; its destruction at exit takes the tray icons
// out of the notification area.
ToolController theController(nullptr);

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    LoadStringW(instance, IDS_APP_TITLE, windowTitle, ARRAYSIZE(windowTitle));
    LoadStringW(instance, IDS_CLASS_NAME, windowClassName, ARRAYSIZE(windowClassName));
    if (!claimSingleInstance(windowClassName))
        return 0;
    registerMainClass(instance);
    if (!createMainWindow(instance))
        return 0;
    theController.buildWindow();

    HACCEL const accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_KOVIX));
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) != 0) {
        // Accelerators belong to the top-level window, so they still work
        // while one of its controls has the keyboard focus.
        HWND const target = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (!TranslateAcceleratorW(target, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return int(message.wParam);
}
