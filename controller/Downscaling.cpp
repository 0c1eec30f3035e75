// What the user is told and asked about the graphics driver's downscaling
// and the restart that may be needed before the driver honours it.
#include "controller/ToolController.h"
#include "display/Downscaling.h"

namespace {

wchar_t const kNoDownscalingText[] =
    L"This computer's graphics driver offers no downscaling.\n"
    L"\"Enable scaling\" is saved, but it changes nothing here.";
wchar_t const kScalingRefusedText[] =
    L"Changing downscaling needs administrator rights!\n"
    L"The graphics driver was not changed.";
wchar_t const kScalingNotSetNotice[] =
    L"Downscaling was not set as saved: changing it needs administrator rights.";

void showError(HWND owner, wchar_t const* text)
{
    MessageBoxW(owner, text, L"Error!", MB_OK | MB_ICONERROR);
}

} // namespace

void ToolController::setDriverFromSettings()
{
    // Without the driver's key there is nothing to set and nothing to say.
    if (writeDownscalingEnabled(registry, scaling) == RegistryWrite::Refused)
        startupNotice = kScalingNotSetNotice;
}

bool ToolController::applyDownscaling()
{
    RegistryWrite const written = writeDownscalingEnabled(registry, scaling);
    if (written == RegistryWrite::NoKey) {
        if (scaling)
            showError(mainWindow, kNoDownscalingText);
        return false;
    }
    if (written == RegistryWrite::Refused) {
        // The set-up writes the same key: asking for it would only end in
        // a second refusal.
        showError(mainWindow, kScalingRefusedText);
        return false;
    }
    return scaling && offerDownscalingSetup();
}

bool ToolController::offerDownscalingSetup()
{
    // Once the driver has been prepared the questions are never asked again.
    if (driverPreparedForDownscaling(registry))
        return false;
    if (MessageBoxW(mainWindow,
                    L"To enable downscaling, changes must be applied to the registry!\n"
                    L"Do you wish to continue?",
                    L"Warning", MB_YESNO | MB_ICONWARNING) != IDYES)
        return false;
    if (!prepareDriverForDownscaling(registry)) {
        // A restart would change nothing; the next Apply asks again.
        showError(mainWindow, L"Preparing downscaling needs administrator rights!\n"
                              L"Nothing was changed.");
        return false;
    }
    return MessageBoxW(mainWindow,
                       L"To properly apply downscaled resolution your must restart the computer!\n"
                       L"Do you want to restart now?",
                       L"Question", MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

void ToolController::requestRestart()
{
    if (!restartComputer(EWX_REBOOT))
        MessageBoxW(mainWindow, L"Failed to auto-restart. Pleae restart the computer manually!",
                    L"Error!", MB_OK | MB_ICONERROR);
}
