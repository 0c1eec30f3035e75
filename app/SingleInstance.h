// One running copy per session: a second start would add a second set of
// tray icons and let two processes rewrite the same settings files.
#pragma once

#include <windows.h>

// Takes the instance mutex. Returns false when another copy already holds
// it; that copy's settings window is then brought to the front. The mutex
// is held until the process ends.
bool claimSingleInstance(wchar_t const* windowClassName);
