#include "display/Downscaling.h"

#include "common/HandleOwners.h"

RegistryWrite writeDownscalingEnabled(RegistryStore const& registry, bool enabled)
{
    BYTE const value[4] = {BYTE(enabled ? 1 : 0), 0, 0, 0};
    return registry.writeBinary(HKEY_LOCAL_MACHINE, kDriverKeyPath, kDownScalingEnabledValue,
                                value, 4);
}

bool driverPreparedForDownscaling(RegistryStore const& registry)
{
    return registry.hasValue(HKEY_LOCAL_MACHINE, kDriverKeyPath, kDownScalingSupportedValue);
}

bool prepareDriverForDownscaling(RegistryStore const& registry)
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

bool restartComputer(UINT flags)
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened))
        return false;
    ScopedHandle const token(opened);
    TOKEN_PRIVILEGES privileges = {};
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    // The call reports success even when the privilege is not held; only
    // the last error tells (ERROR_NOT_ALL_ASSIGNED).
    if (GetLastError() != ERROR_SUCCESS)
        return false;
    // A planned reconfiguration, as the shutdown event log records it.
    return ExitWindowsEx(flags, SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG |
                                    SHTDN_REASON_FLAG_PLANNED) != FALSE;
}
