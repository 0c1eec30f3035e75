#include "display/DisplayModeSwitcher.h"

namespace {

// True where this thread's screen metrics may be scaled by DPI
// virtualisation: a thread that is not DPI aware (Windows 10 1607 on), or a
// process that is not (Vista on). XP scales nothing.
bool screenMetricsScaled()
{
    HMODULE const user32 = GetModuleHandleW(L"user32.dll");
    typedef HANDLE(WINAPI * ThreadContextFunction)();
    typedef int(WINAPI * AwarenessFunction)(HANDLE);
    typedef BOOL(WINAPI * ProcessAwareFunction)();
    auto const threadContext = reinterpret_cast<ThreadContextFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    auto const awareness = reinterpret_cast<AwarenessFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    if (threadContext != nullptr && awareness != nullptr)
        return awareness(threadContext()) == 0; // DPI_AWARENESS_UNAWARE
    auto const processAware = reinterpret_cast<ProcessAwareFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "IsProcessDPIAware")));
    return processAware != nullptr && !processAware();
}

} // namespace

ResolutionMode detectCurrentMode()
{
    // Where the metrics are scaled (150 % on Vista and 7, any scaling from
    // 8.1 on) a larger mode reads as another size: ask the display for its own
    // pixels. Elsewhere the metrics, which follow every switch at once; Wine
    // keeps a process's current settings from before another process's
    // switch.
    if (screenMetricsScaled()) {
        DEVMODEW current = {};
        current.dmSize = sizeof(current);
        if (EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &current))
            return detectModeFromSize(int(current.dmPelsWidth), int(current.dmPelsHeight));
    }
    return detectModeFromSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

LONG DisplayModeSwitcher::setMode(int32_t width, int32_t height, int32_t bitsPerPixel) const
{
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmDriverExtra = 0;
    // Graphics mode 0 only supplies a well-formed record; its refresh rate
    // and other values are not requested.
    EnumDisplaySettingsW(nullptr, 0, &mode);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmBitsPerPel = DWORD(bitsPerPixel);
    mode.dmPelsWidth = DWORD(width);
    mode.dmPelsHeight = DWORD(height);
    LONG const result = change(&mode, CDS_UPDATEREGISTRY);
    // An account that may not store display settings (an XP limited one)
    // still may set them until it logs off.
    if (result != DISP_CHANGE_NOTUPDATED)
        return result;
    LONG const session = change(&mode, 0);
    return session == DISP_CHANGE_SUCCESSFUL ? DISP_CHANGE_NOTUPDATED : session;
}

LONG DisplayModeSwitcher::switchTo(ResolutionMode mode) const
{
    int width = 0;
    int height = 0;
    if (!switchTargetSize(mode, width, height))
        return DISP_CHANGE_SUCCESSFUL;
    return setMode(width, height, kModeBitsPerPixel);
}
