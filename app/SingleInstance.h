// One running copy per session: a second start would add a second set of
// tray icons and let two processes rewrite the same settings files. A second
// start with a command hands it to the running copy instead.
#pragma once

#include <windows.h>

#include "app/CommandLine.h"

// Whether a process runs elevated ("Run as administrator"); false where the
// system cannot tell (Windows XP knows no elevation).
using ElevationQuery = bool (*)(HANDLE process);
bool processIsElevated(HANDLE process);

// Takes the instance mutex. Returns false when another copy already holds
// it, also one whose mutex this process may not open. An elevated start
// (as `elevated` says) beside a copy that is not elevated, which could not
// prepare the driver, ends that copy as /exit does, waits for it, bounded,
// and takes its place. The mutex is held until the process ends.
bool claimSingleInstance(wchar_t const* windowClassName, ElevationQuery elevated = processIsElevated);

// Hands `command` (one that formatCommandPayload takes) to the running copy
// as WM_COPYDATA and returns the exit code of its answer. Never waits
// without a limit: the running copy may still be starting, or sit in one of
// Apply's questions (kExitNoAnswer after kAnswerTimeoutMs). After /exit it
// also waits until that copy has ended, so a script may start it again.
int handToRunningCopy(wchar_t const* windowClassName, ToolCommand command);

// How long the running copy may take to answer one command; a mode switch
// on a slow machine takes seconds, and a question of Apply waits for a user.
DWORD const kAnswerTimeoutMs = 30000;
