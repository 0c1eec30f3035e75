#include "display/ResolutionModes.h"

ModeRow const kModeTable[kModeCount] = {
    {kMode800x480, 800, 480, true, L"800 x 480", L"800x480x32bit", IDM_MODE_800X480, L"800x480"},
    {kMode800x600, 800, 600, true, L"800 x 600", L"800x600x32bit", IDM_MODE_800X600, L"800x600"},
    {kMode1024x768, 1024, 768, true, L"1024 x 768", L"1024x768x32bit", IDM_MODE_1024X768,
     L"1024x768"},
    {kMode1000x600, 1000, 600, false, nullptr, nullptr, 0, nullptr},
    {kMode1024x600, 1024, 600, false, nullptr, nullptr, 0, nullptr},
    {kMode640x480, 640, 480, true, nullptr, nullptr, 0, nullptr},
};
ModeRow const& kNativeModeRow = kModeTable[0];

namespace {

uint32_t const kBalloonWarning = 2; // NIIF_WARNING

long const kSwitchSuccessful = 0; // DISP_CHANGE_SUCCESSFUL
long const kSwitchRestart = 1;    // DISP_CHANGE_RESTART
long const kSwitchNotUpdated = -3; // DISP_CHANGE_NOTUPDATED

ModeRow const* rowOf(ResolutionMode mode, size_t rowCount)
{
    for (size_t i = 0; i < rowCount; ++i) {
        if (kModeTable[i].mode == mode)
            return &kModeTable[i];
    }
    return nullptr;
}

} // namespace

ResolutionMode detectModeFromSize(int width, int height)
{
    for (ModeRow const& row : kModeTable) {
        if (row.width == width && row.height == height)
            return row.mode;
    }
    return kModeOther;
}

bool switchTargetSize(ResolutionMode mode, int& width, int& height)
{
    ModeRow const* const row = rowOf(mode, kModeCount);
    if (row == nullptr || !row->switchable)
        return false;
    width = row->width;
    height = row->height;
    return true;
}

ModeRow const* choosableModeRow(ResolutionMode mode)
{
    return rowOf(mode, kChoosableModeCount);
}

ModeRow const& modeDisplayValues(ResolutionMode mode)
{
    ModeRow const* const row = choosableModeRow(mode);
    return row != nullptr ? *row : kNativeModeRow;
}

ResolutionMode choosableModeOfSize(int32_t width, int32_t height)
{
    for (size_t i = 0; i < kChoosableModeCount; ++i) {
        if (kModeTable[i].width == width && kModeTable[i].height == height)
            return kModeTable[i].mode;
    }
    return kNativeModeRow.mode;
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
    if (current != kNativeModeRow.mode && scaling)
        return SwitchPlan::ThroughNative;
    return SwitchPlan::None;
}

SwitchSteps throughNativeSteps(ResolutionMode mode)
{
    ResolutionMode const native = kNativeModeRow.mode;
    if (mode == native)
        return {1, {native, native}};
    return {2, {native, mode}};
}
