// "Start with Windows": a Run value under the machine's key, or under the
// user's own key for an account that may not write the machine's. Windows
// honours both at logon.
#include <stdlib.h>

#include "controller/ToolController.h"

namespace {

wchar_t const kRunNotSavedText[] = L"Start with Windows could not be saved to registry!";
wchar_t const kRunNeedsAdminText[] = L"Only an administrator can turn off Start with Windows!";

// The executable's full path in double quotes, so that a path with spaces
// ("...\KOVIX Tool.exe") cannot be taken for a shorter program. Null when the
// whole path cannot be had; the caller then writes nothing rather than a
// broken path. The caller frees the result.
wchar_t* quotedExecutablePath()
{
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
        wchar_t* quoted = static_cast<wchar_t*>(malloc((capacity + 3) * sizeof(wchar_t)));
        if (quoted == nullptr)
            return nullptr;
        DWORD const length = GetModuleFileNameW(nullptr, quoted + 1, capacity);
        if (length > 0 && length < capacity) {
            quoted[0] = L'"';
            quoted[length + 1] = L'"';
            quoted[length + 2] = 0;
            return quoted;
        }
        free(quoted);
        if (length == 0)
            return nullptr;
    }
    return nullptr;
}

} // namespace

bool ToolController::startsWithWindows() const
{
    return registry.hasValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunValueName) ||
           registry.hasValue(HKEY_CURRENT_USER, kUserRunKeyPath, kRunValueName);
}

bool ToolController::registerToStart()
{
    wchar_t* const path = quotedExecutablePath();
    if (path == nullptr)
        return false;
    bool stored = false;
    if (registry.writeString(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunValueName, path)) {
        // One value only: two would start two copies at logon.
        registry.deleteValue(HKEY_CURRENT_USER, kUserRunKeyPath, kRunValueName);
        stored = true;
    } else if (registry.hasValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunValueName)) {
        stored = true; // an administrator's value, which this account may not change, starts it
    } else {
        stored = registry.writeString(HKEY_CURRENT_USER, kUserRunKeyPath, kRunValueName, path);
    }
    free(path);
    return stored;
}

void ToolController::applyStartWithWindows(bool wanted)
{
    if (wanted) {
        runAtStartup = registerToStart();
        if (!runAtStartup) {
            SendMessageW(startupCheck, BM_SETCHECK, BST_UNCHECKED, 0);
            showErrorNotice(kRunNotSavedText);
        }
        return;
    }
    registry.deleteValue(HKEY_CURRENT_USER, kUserRunKeyPath, kRunValueName);
    registry.deleteValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunValueName);
    // A machine value this account may not delete goes on starting the
    // program: the box must say so.
    runAtStartup = startsWithWindows();
    if (runAtStartup) {
        SendMessageW(startupCheck, BM_SETCHECK, BST_CHECKED, 0);
        showErrorNotice(kRunNeedsAdminText);
    }
}
