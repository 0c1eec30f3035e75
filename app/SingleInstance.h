// One running copy per session: a second start would add a second set of
// tray icons and let two processes rewrite the same settings files. A second
// start with a command hands it to the running copy instead.
#pragma once

#include <windows.h>

#include "app/CommandLine.h"

// Takes the instance mutex. Returns false when another copy already holds
// it, also one whose mutex this process may not open. The mutex is held
// until the process ends.
bool claimSingleInstance();

// Hands `command` (one that formatCommandPayload takes) to the running copy
// as WM_COPYDATA and returns the exit code of its answer. Never waits
// without a limit: the running copy may still be starting, or sit in one of
// Apply's questions (kExitNoAnswer after kAnswerTimeoutMs). After /exit it
// also waits until that copy has ended, so a script may start it again.
int handToRunningCopy(wchar_t const* windowClassName, ToolCommand command);

// How long the running copy may take to answer one command; a mode switch
// on a slow machine takes seconds, and a question of Apply waits for a user.
DWORD const kAnswerTimeoutMs = 30000;
