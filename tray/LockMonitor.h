// The 250 ms poll of Scroll, Caps and Num Lock.
#pragma once

#include <windows.h>

// Timer callback of the main window's lock timer: polls `theController`.
// A tick that arrives while a poll is still running returns at once.
void CALLBACK lockTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
