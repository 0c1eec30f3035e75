#include "app/SingleInstance.h"

bool claimSingleInstance(wchar_t const* windowClassName)
{
    CreateMutexW(nullptr, TRUE, L"KOVIX Tool single instance");
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return true;
    // The first copy may still be starting: give its window a moment to appear.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (HWND const running = FindWindowW(windowClassName, nullptr)) {
            // Restore shows it even when it is minimised into the tray.
            if (IsIconic(running) || !IsWindowVisible(running))
                ShowWindow(running, SW_RESTORE);
            SetForegroundWindow(running);
            break;
        }
        Sleep(100);
    }
    return false;
}
