// The controller's side of display modes: what the screen shows now, the
// notice after a switch, and the two switching patterns.
#include "controller/ToolController.h"

ResolutionMode ToolController::detectCurrentMode() const
{
    // The display's own pixels: a program that does not declare itself DPI
    // aware gets scaled screen metrics under DPI virtualisation (150 % on
    // Vista and 7, any scaling from 8.1 on), where 1024x768 reads as
    // another size. The metrics only if the display cannot be asked.
    DEVMODEW current = {};
    current.dmSize = sizeof(current);
    if (EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &current))
        return detectModeFromSize(int(current.dmPelsWidth), int(current.dmPelsHeight));
    return detectModeFromSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

void ToolController::reportSwitchResult(LONG result)
{
    lastSwitchResult = result;
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
    carryOutSwitch(planStartupSwitch(detectCurrentMode(), mode, scaling));
}
