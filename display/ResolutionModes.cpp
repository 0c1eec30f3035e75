#include "display/ResolutionModes.h"

namespace {

struct DetectedSize {
    int width;
    int height;
    ResolutionMode mode;
};

// Tried in this order; the first match wins.
DetectedSize const kDetectedSizes[] = {
    {800, 480, kMode800x480},   {800, 600, kMode800x600},   {1024, 768, kMode1024x768},
    {1000, 600, kMode1000x600}, {1024, 600, kMode1024x600}, {640, 480, kMode640x480},
};

uint32_t const kBalloonWarning = 2; // NIIF_WARNING

long const kSwitchSuccessful = 0; // DISP_CHANGE_SUCCESSFUL
long const kSwitchRestart = 1;    // DISP_CHANGE_RESTART
long const kSwitchNotUpdated = -3; // DISP_CHANGE_NOTUPDATED

} // namespace

ResolutionMode detectModeFromSize(int width, int height)
{
    for (DetectedSize const& size : kDetectedSizes) {
        if (size.width == width && size.height == height)
            return size.mode;
    }
    return kModeOther;
}

bool switchTargetSize(ResolutionMode mode, int& width, int& height)
{
    switch (mode) {
    case kMode640x480:
        width = 640;
        height = 480;
        return true;
    case kMode800x480:
        width = 800;
        height = 480;
        return true;
    case kMode800x600:
        width = 800;
        height = 600;
        return true;
    case kMode1024x768:
        width = 1024;
        height = 768;
        return true;
    default:
        return false;
    }
}

ModeDisplayValues modeDisplayValues(ResolutionMode mode)
{
    switch (mode) {
    case kMode800x600:
        return {800, 600, IDM_MODE_800X600, L"800x600x32bit"};
    case kMode1024x768:
        return {1024, 768, IDM_MODE_1024X768, L"1024x768x32bit"};
    default:
        return {800, 480, IDM_MODE_800X480, L"800x480x32bit"};
    }
}

bool balloonForSwitchResult(long result, SwitchBalloon& out)
{
    if (result == kSwitchSuccessful)
        return false;
    out.timeoutMs = kBalloonTimeoutMs;
    if (result == kSwitchNotUpdated) {
        // The mode is on screen for this session only (DisplayModeSwitcher).
        out.text = L"New resolution lasts until logoff: it could not be saved to registry!";
        out.title = L"Warning";
        out.infoFlags = kBalloonWarning;
    } else if (result == kSwitchRestart) {
        // A restart notice, hence the warning icon under an "Information" title.
        out.text = L"The system must be restarted for changes to take affect.";
        out.title = L"Information";
        out.infoFlags = kBalloonWarning;
    } else {
        out.text = L"Resolution could not be changed due to an error!";
        out.title = L"Error";
        out.infoFlags = kBalloonError;
    }
    return true;
}

SwitchPlan planApplySwitch(ResolutionMode current, ResolutionMode mode, bool scaling,
                           bool lastAppliedScaling)
{
    if (current != mode)
        return SwitchPlan::Plain;
    if (scaling != lastAppliedScaling)
        return SwitchPlan::ThroughNative;
    return SwitchPlan::None;
}

SwitchPlan planStartupSwitch(ResolutionMode current, ResolutionMode mode, bool scaling)
{
    if (current != mode)
        return SwitchPlan::Plain;
    if (current != kMode800x480 && scaling)
        return SwitchPlan::ThroughNative;
    return SwitchPlan::None;
}

SwitchSteps throughNativeSteps(ResolutionMode mode)
{
    if (mode == kMode800x480)
        return {1, {kMode800x480, kMode800x480}};
    return {2, {kMode800x480, mode}};
}
