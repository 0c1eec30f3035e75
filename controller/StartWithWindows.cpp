// "Start with Windows": a Run value under the machine's key, or under the
// user's own key for an account that may not write the machine's. Windows
// honours both at logon.
#include <stdlib.h>

#include "controller/ToolController.h"

namespace {

wchar_t const kRunNotSavedText[] = L"Start with Windows could not be saved to registry!";
wchar_t const kRunNeedsAdminText[] = L"Only an administrator can turn off Start with Windows!";
wchar_t const kOtherCopyStaysText[] =
    L"Start with Windows is saved for you; the entry for all users names another copy and "
    L"only an administrator can remove it.";

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

bool ToolController::runValueNamesThis(HKEY root, wchar_t const* keyPath,
                                       wchar_t const* quotedPath) const
{
    // Room for the quoted path alone: a longer value names something else.
    DWORD const capacity = DWORD(lstrlenW(quotedPath) + 2);
    wchar_t* const value = static_cast<wchar_t*>(malloc(capacity * sizeof(wchar_t)));
    if (value == nullptr)
        return false;
    bool names = false;
    if (registry.readString(root, keyPath, kRunValueName, value, capacity)) {
        // Quoted as this program writes it, or bare as an older copy did.
        DWORD const length = DWORD(lstrlenW(quotedPath));
        names = lstrcmpiW(value, quotedPath) == 0;
        if (!names && DWORD(lstrlenW(value)) == length - 2) {
            wchar_t* const bare = static_cast<wchar_t*>(malloc(length * sizeof(wchar_t)));
            if (bare != nullptr) {
                lstrcpynW(bare, quotedPath + 1, int(length - 1));
                names = lstrcmpiW(value, bare) == 0;
                free(bare);
            }
        }
    }
    free(value);
    return names;
}

bool ToolController::startsWithWindows() const
{
    // A value naming another path (the program was moved) starts that one.
    wchar_t* const path = quotedExecutablePath();
    if (path == nullptr)
        return false;
    bool const starts = runValueNamesThis(HKEY_LOCAL_MACHINE, kRunKeyPath, path) ||
                        runValueNamesThis(HKEY_CURRENT_USER, kUserRunKeyPath, path);
    free(path);
    return starts;
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
    } else if (runValueNamesThis(HKEY_LOCAL_MACHINE, kRunKeyPath, path)) {
        stored = true; // an administrator's value, which this account may not change, starts it
    } else {
        stored = registry.writeString(HKEY_CURRENT_USER, kUserRunKeyPath, kRunValueName, path);
        if (stored && registry.hasValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunValueName))
            trayIcons[0].showBalloon(kOtherCopyStaysText, L"Warning", kBalloonTimeoutMs,
                                     NIIF_WARNING);
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
