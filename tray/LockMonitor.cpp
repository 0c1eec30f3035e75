#include "tray/LockMonitor.h"

#include <windows.h>

bool lockIsOn(LockKey lock)
{
    // All 16 bits: a key held down counts as on, not only the toggle bit.
    return GetKeyState(lockVirtualKey(lock)) != 0;
}
