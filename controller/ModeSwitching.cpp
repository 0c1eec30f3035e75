// The controller's side of display modes: the notice after a switch, and
// the two switching patterns.
#include "controller/ToolController.h"

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
