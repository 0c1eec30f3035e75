// The floor of the idle benchmark: the least any lock indicator must do. A
// window and a 250 ms timer that reads the three lock keys, nothing more.
#include <windows.h>

namespace {

UINT_PTR const kPollTimerId = 1;
UINT const kPollIntervalMs = 250;
wchar_t const kClassName[] = L"KovixFloorIndicator";

// Kept so the reads cannot be optimised away.
volatile SHORT lastStates[3];

LRESULT CALLBACK floorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        lastStates[0] = GetKeyState(VK_NUMLOCK);
        lastStates[1] = GetKeyState(VK_CAPITAL);
        lastStates[2] = GetKeyState(VK_SCROLL);
        return 0;
    case WM_DESTROY:
        KillTimer(window, kPollTimerId);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = floorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExW(&windowClass) == 0)
        return 1;
    HWND const window = CreateWindowExW(0, kClassName, L"Floor", WS_CAPTION | WS_SYSMENU,
                                        CW_USEDEFAULT, 0, 200, 100, nullptr, nullptr, instance,
                                        nullptr);
    if (window == nullptr)
        return 1;
    SetTimer(window, kPollTimerId, kPollIntervalMs, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return int(message.wParam);
}
