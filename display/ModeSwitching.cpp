// The controller's side of display modes: what the screen shows now, the
// notice after a switch, and the two switching patterns.
#include "controller/ToolController.h"

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

ResolutionMode ToolController::detectCurrentMode() const
{
    // Where the metrics are scaled (150 % on Vista and 7, any scaling from
    // 8.1 on) 1024x768 reads as another size: ask the display for its own
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

void ToolController::reportSwitchResult(LONG result)
{
    SwitchBalloon balloon = {};
    if (!balloonForSwitchResult(result, balloon))
        return;
    trayIcons[0].showBalloon(balloon.text, balloon.title, balloon.timeoutMs, balloon.infoFlags);
}

void ToolController::showErrorNotice(wchar_t const* text)
{
    trayIcons[0].showBalloon(text, L"Error", kBalloonTimeoutMs, kBalloonError);
}

void ToolController::switchThroughNative(ResolutionMode target)
{
    SwitchSteps const steps = throughNativeSteps(target);
    LONG result = DISP_CHANGE_SUCCESSFUL;
    for (size_t i = 0; i < steps.count; ++i)
        result = displaySwitcher.switchTo(steps.modes[i]); // only the last one is reported
    reportSwitchResult(result);
}

void ToolController::carryOutSwitch(SwitchPlan plan)
{
    switch (plan) {
    case SwitchPlan::Plain:
        reportSwitchResult(displaySwitcher.switchTo(mode));
        break;
    case SwitchPlan::ThroughNative:
        switchThroughNative(mode);
        break;
    case SwitchPlan::None:
        break;
    }
}

void ToolController::restoreStartupMode()
{
    // The mode of settings never read is not known.
    if (settingsUnread)
        return;
    carryOutSwitch(planStartupSwitch(detectCurrentMode(), mode, scaling));
}
