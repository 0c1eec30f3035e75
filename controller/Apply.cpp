// Apply: acts on every control of the settings window in one pass and saves
// the choices. It is the only place where the user's choices are saved.
#include "app/MainWindow.h"
#include "controller/ToolController.h"
#include "osd/OsdIndicator.h"
#include "settings/SettingsTemplates.h"
#include "tray/GlyphIcon.h"
#include "tray/GlyphLayout.h"
#include "tray/TrayMessages.h"

namespace {

// The scaling flag as it stood after the previous Apply; taken from the
// loaded setting at the first Apply of the process.
bool lastAppliedScaling = false;
bool lastAppliedScalingSet = false;

// Apply's message boxes run modal loops in which a second Apply (a click,
// a tray mode command) could start; one at a time is enough.
bool applying = false;

wchar_t const kSettingsNotSavedText[] = L"Settings could not be saved to Resolution.ini!";

bool isChecked(HWND control)
{
    return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

} // namespace

bool ToolController::isApplying()
{
    return applying;
}

void ToolController::apply()
{
    if (applying)
        return;
    applying = true;

    // 0. The first Apply compares against the scaling loaded at start-up.
    if (!lastAppliedScalingSet) {
        lastAppliedScaling = scaling;
        lastAppliedScalingSet = true;
    }

    // 1-2. Tray icons out, the main icon back with the window title.
    for (TrayIcon& icon : trayIcons)
        icon.remove();
    trayIcons[0].add(L"", title, getWindowIcon(mainWindow));
    // With the main icon in, the lock icons come from step 12; a shell that
    // refused it gets the retry once this Apply has set the flags.
    if (trayIcons[0].added)
        KillTimer(mainWindow, kTrayRetryTimerId);
    else
        SetTimer(mainWindow, kTrayRetryTimerId, kTrayRetryIntervalMs, nullptr);

    // 3-4. Menu check mark and the main icon's tip for the chosen mode.
    HMENU const menu = GetMenu(mainWindow);
    uncheckModeItems(menu);
    ModeRow const& shown = modeDisplayValues(mode);
    CheckMenuItem(menu, shown.menuCommand, MF_BYCOMMAND | MF_CHECKED);
    trayIcons[0].modify(L"", shown.tip, getWindowIcon(mainWindow));

    // 5. Start with Windows.
    applyStartWithWindows(isChecked(startupCheck));

    // 6-7. Downscaling; the set-up may ask questions and ask for a restart.
    scaling = isChecked(scalingCheck);
    bool const restartWanted = applyDownscaling();

    // 8-9. The display.
    carryOutSwitch(planApplySwitch(detectCurrentMode(), mode, scaling, lastAppliedScaling));
    lastAppliedScaling = scaling;

    // 10. Takes effect at the next start.
    minimized = isChecked(minimizedCheck);

    // 11. The on-screen display; the object itself is never freed.
    OsdIndicator& osd = OsdIndicator::get(instance, mainWindow, kbIndClr, kbIndPos);
    HWND const osdWindow = osd.getWindow();
    if (isChecked(osdCheck)) {
        if (osdWindow == nullptr)
            osd.createWindow();
        kbInd = true;
    } else {
        if (osdWindow != nullptr)
            DestroyWindow(osdWindow);
        kbInd = false;
    }

    // 12. Lock icons back in their off state; the poll corrects them at once.
    for (size_t i = 0; i < kLockCount; ++i) {
        LockFields const& fields = kLockFields[i];
        this->*fields.shown = isChecked(this->*fields.check);
        if (this->*fields.shown) {
            addLockIcon(kLockTable[i].key, false);
            trayIcons[lockTrayIndex(kLockTable[i].key)].lockOn = false;
        }
    }

    // 13.
    pollLockKeys();

    // 14-15. Save: the file holds exactly the template text.
    int32_t values[kResolutionTemplateArgs] = {shown.width, shown.height, scaling, minimized};
    int next = 4;
    for (size_t i = 0; i < kLockCount; ++i) {
        TrayIcon const& icon = trayIcons[lockTrayIndex(kLockTable[i].key)];
        values[next++] = this->*kLockFields[i].shown;
        values[next++] = int32_t(icon.bgColor);
        values[next++] = int32_t(icon.fgColor);
    }
    values[next++] = kbInd;
    values[next++] = int32_t(kbIndClr);
    values[next] = int32_t(kbIndPos);
    wchar_t text[kSettingsTextCapacity];
    formatResolutionSettings(values, text, kSettingsTextCapacity);
    // A file never read keeps what it holds: the text above came partly
    // from the defaults that stood in for it.
    if (settingsUnread || !settingsFile.writeText(settingsPath, text))
        showErrorNotice(kSettingsNotSavedText); // the old file stays whole
    copyText(content, kSettingsTextCapacity, text);

    // Last of all: the end of the session may close the program at the first
    // message it lets in, and every tray call above lets messages in. Asked
    // for earlier, the restart could lose the choices it is meant to apply.
    if (restartWanted)
        requestRestart();

    applying = false;
}
