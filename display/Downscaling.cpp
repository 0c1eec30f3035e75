// The graphics driver's downscaling values and the restart that may be
// needed before the driver honours them.
#include "controller/ToolController.h"

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

RegistryWrite ToolController::writeDownscalingEnabled(bool enabled)
{
    BYTE const value[4] = {BYTE(enabled ? 1 : 0), 0, 0, 0};
    return registry.writeBinary(HKEY_LOCAL_MACHINE, kDriverKeyPath, kDownScalingEnabledValue,
                                value, 4);
}

void ToolController::setDriverFromSettings()
{
    // Without the driver's key there is nothing to set and nothing to say.
    if (writeDownscalingEnabled(scaling) == RegistryWrite::Refused)
        startupNotice = kScalingNotSetNotice;
}

bool ToolController::applyDownscaling()
{
    RegistryWrite const written = writeDownscalingEnabled(scaling);
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
    if (registry.hasValue(HKEY_LOCAL_MACHINE, kDriverKeyPath, kDownScalingSupportedValue))
        return false;
    if (MessageBoxW(mainWindow,
                    L"To enable downscaling, changes must be applied to the registry!\n"
                    L"Do you wish to continue?",
                    L"Warning", MB_YESNO | MB_ICONWARNING) != IDYES)
        return false;
    if (!prepareDriverForDownscaling()) {
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

bool ToolController::prepareDriverForDownscaling()
{
    DWORD const supported = 1;
    DWORD const pruningMode = 0;
    if (!valueInPlace(registry.writeDword(HKEY_LOCAL_MACHINE, kDriverKeyPath,
                                          kDownScalingSupportedValue, &supported, 1)))
        return false;
    if (valueInPlace(registry.writeDword(HKEY_LOCAL_MACHINE, kDriverKeyPath, kPruningModeValue,
                                         &pruningMode, 1)))
        return true;
    // Half a preparation would stop the questions for good: take it back.
    registry.deleteValue(HKEY_LOCAL_MACHINE, kDriverKeyPath, kDownScalingSupportedValue);
    return false;
}

void ToolController::requestRestart()
{
    if (!restartComputer(EWX_REBOOT))
        MessageBoxW(mainWindow, L"Failed to auto-restart. Pleae restart the computer manually!",
                    L"Error!", MB_OK | MB_ICONERROR);
}

bool ToolController::restartComputer(UINT flags)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // The call reports success even when the privilege is not held; only
    // the last error tells (ERROR_NOT_ALL_ASSIGNED).
    DWORD const error = GetLastError();
    CloseHandle(token);
    if (error != ERROR_SUCCESS)
        return false;
    // A planned reconfiguration, as the shutdown event log records it.
    return ExitWindowsEx(flags, SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG |
                                    SHTDN_REASON_FLAG_PLANNED) != FALSE;
}
