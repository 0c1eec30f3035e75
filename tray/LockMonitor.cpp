#include "tray/LockMonitor.h"

#include "app/MainWindow.h"
#include "osd/OsdIndicator.h"
#include "tray/GlyphLayout.h"

namespace {

bool pollBusy = false;

} // namespace

void ToolController::pollLockKeys()
{
    for (LockKey const lock : kLockPollOrder) {
        // All 16 bits: a key held down counts as on, not only the toggle bit.
        bool const on = GetKeyState(lockVirtualKey(lock)) != 0;
        TrayIcon& icon = trayIcons[lockTrayIndex(lock)];
        if (on == (icon.lockOn != 0))
            continue;
        // lockOn follows the key even when the icon is not in the tray.
        icon.modify(lockGlyph(lock, on), lockTip(lock, on), nullptr);
        icon.lockOn = on;
    }
    if (kbInd) {
        OsdIndicator::get(instance, mainWindow, kbIndClr, kbIndPos)
            .update(trayIcons[1].lockOn != 0, trayIcons[2].lockOn != 0, trayIcons[3].lockOn != 0,
                    false);
    }
}

void CALLBACK lockTimerProc(HWND, UINT message, UINT_PTR, DWORD)
{
    if (message != WM_TIMER || pollBusy)
        return;
    pollBusy = true;
    theController.pollLockKeys();
    pollBusy = false;
}
