#include "controller/ToolController.h"

#include "controller/UiMetrics.h"
#include "settings/SettingsTemplates.h"
#include "tray/GlyphIcon.h"
#include "tray/TrayMessages.h"

namespace {

// The lock icons go into the notification area in this order.
LockKey const kLockAddOrder[] = {LockKey::Num, LockKey::Caps, LockKey::Scroll};

wchar_t const kSettingsUnreadNotice[] =
    L"The settings could not be read; KOVIX Tool shows the defaults and changed nothing.";

} // namespace

ToolController::ToolController(HWND window)
{
    WINDOWINFO info = {};
    info.cbSize = sizeof(info);
    if (window == nullptr || !GetWindowInfo(window, &info))
        return;
    mainWindow = window;
    instance = GetModuleHandleW(L"KOVIX Tool.exe");
    loadSettings();
}

ToolController::~ToolController()
{
    // The font and the controls may belong to a copy: they are not released.
    // The icons leave the notification area lock icons first, the main icon
    // last; records that are copies send nothing (TrayIcon).
    for (size_t i = ARRAYSIZE(trayIcons); i-- > 0;)
        trayIcons[i].destroy();
}

void ToolController::loadSettings()
{
    GetWindowTextW(mainWindow, title, ARRAYSIZE(title));
    uiFont = makeUiFont(0);
    loaded = true;

    wchar_t defaults[kSettingsTextCapacity];
    defaultResolutionText(defaults, kSettingsTextCapacity);
    SettingsBuffer whole;
    SettingsReadResult read = SettingsReadResult::Read;
    wchar_t const* text = settingsFile.loadOrCreate(L"Resolution.ini", defaults, settingsPath,
                                                    content, whole, &read);
    settingsUnread = read == SettingsReadResult::Unreadable;
    if (settingsUnread)
        startupNotice = kSettingsUnreadNotice;

    runAtStartup = startsWithWindows();
    mode = readModeSetting(text);
    scaling = readFlagSetting(text, L"Scaling", false);

    // The driver follows the file at every start, before anything touches the display.
    if (!settingsUnread)
        setDriverFromSettings();

    minimized = readFlagSetting(text, L"Minimized", false);
    kbInd = readFlagSetting(text, L"KbInd", true);
    kbIndClr = COLORREF(readNumberSetting(text, L"KbIndClr", 12616523));
    kbIndPos = uint8_t(readNumberSetting(text, L"KbIndPos", 4));
    setUpIndicators(true, text);
}

void ToolController::setUpIndicators(bool loadLockSettings, wchar_t const* settingsText)
{
    if (!loadLockSettings) {
        setUpTrayIcons();
        return;
    }
    wchar_t const* text = settingsText != nullptr ? settingsText : content;
    // Missing lock flags are off although the default contents turn them on.
    numLock = readFlagSetting(text, L"NumLock", false);
    numLckBG = readGlyphColourSetting(text, L"NumLckBG", 0);
    numLckFG = readGlyphColourSetting(text, L"NumLckFG", 65280);
    capsLock = readFlagSetting(text, L"CapsLock", false);
    cpsLckBG = readGlyphColourSetting(text, L"CpsLckBG", 0);
    cpsLckFG = readGlyphColourSetting(text, L"CpsLckFG", 65535);
    scrlLock = readFlagSetting(text, L"ScrlLock", false);
    scrLckBG = readGlyphColourSetting(text, L"ScrLckBG", 0);
    scrLckFG = readGlyphColourSetting(text, L"ScrLckFG", 16776960);
}

void ToolController::stopTimer()
{
    if (loaded)
        KillTimer(mainWindow, kLockTimerId);
}

void ToolController::setUpTrayIcons()
{
    TrayIcon& main = trayIcons[0];
    main.init(mainWindow, instance, WM_TRAYNOTIFY, kMainTrayIconId);
    // Callback message 0: mouse events on the lock icons reach no handler.
    for (UINT lock = 1; lock < ARRAYSIZE(trayIcons); ++lock)
        trayIcons[lock].init(mainWindow, instance, 0, kMainTrayIconId + lock);

    main.add(L"", title, getWindowIcon(mainWindow));
    // A shell that is not up yet (early in a session) refuses the icon.
    if (!main.added)
        SetTimer(mainWindow, kTrayRetryTimerId, kTrayRetryIntervalMs, nullptr);

    // From here on the lock records hold the colours.
    trayIcons[1].bgColor = numLckBG;
    trayIcons[1].fgColor = numLckFG;
    trayIcons[2].bgColor = cpsLckBG;
    trayIcons[2].fgColor = cpsLckFG;
    trayIcons[3].bgColor = scrLckBG;
    trayIcons[3].fgColor = scrLckFG;
}

bool ToolController::lockIconEnabled(LockKey lock) const
{
    switch (lock) {
    case LockKey::Num:
        return numLock;
    case LockKey::Caps:
        return capsLock;
    case LockKey::Scroll:
        return scrlLock;
    }
    return false;
}

BOOL ToolController::addLockIcon(LockKey lock, bool on)
{
    return trayIcons[lockTrayIndex(lock)].add(lockGlyph(lock, on), lockTip(lock, on), nullptr);
}

void ToolController::restoreTrayIcons()
{
    TrayIcon& main = trayIcons[0];
    if (main.added)
        main.restore(L"", main.iconData.szTip, getWindowIcon(mainWindow));
    for (LockKey const lock : kLockAddOrder) {
        TrayIcon& icon = trayIcons[lockTrayIndex(lock)];
        if (icon.added)
            icon.restore(lockGlyph(lock, icon.lockOn), lockTip(lock, icon.lockOn), nullptr);
    }
}

void ToolController::retryTrayIcons()
{
    // Apply removes and re-adds every icon itself, from the boxes rather
    // than from the flags it has not yet updated.
    if (isApplying())
        return;
    TrayIcon& main = trayIcons[0];
    // The tip is the one last asked for: the title, or the mode once set.
    if (!main.added)
        main.add(L"", main.iconData.szTip, getWindowIcon(mainWindow));
    if (!main.added)
        return; // again at the next tick
    KillTimer(mainWindow, kTrayRetryTimerId);
    showStartupNotice();
    // The lock icons were refused along with it; they show the state the
    // poll has kept following meanwhile.
    for (LockKey const lock : kLockAddOrder) {
        if (lockIconEnabled(lock))
            addLockIcon(lock, trayIcons[lockTrayIndex(lock)].lockOn);
    }
}

void ToolController::showStartupNotice()
{
    // Without the main icon there is nowhere to show it: the tray retry
    // calls again once the shell takes the icon.
    if (startupNotice == nullptr || !trayIcons[0].added)
        return;
    showErrorNotice(startupNotice);
    startupNotice = nullptr;
}
