#include "controller/ToolController.h"

#include "controller/UiMetrics.h"
#include "osd/OsdIndicator.h"
#include "settings/SettingsTemplates.h"
#include "tray/GlyphIcon.h"
#include "tray/LockMonitor.h"
#include "tray/TrayMessages.h"

LockFields const kLockFields[kLockCount] = {
    {&ToolController::numLock, &ToolController::numLckBG, &ToolController::numLckFG,
     &ToolController::numLockCheck},
    {&ToolController::capsLock, &ToolController::cpsLckBG, &ToolController::cpsLckFG,
     &ToolController::capsLockCheck},
    {&ToolController::scrlLock, &ToolController::scrLckBG, &ToolController::scrLckFG,
     &ToolController::scrollLockCheck},
};

namespace {

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
    scaling = readFlagSetting(text, L"Scaling", kScalingDefault);

    // The driver follows the file at every start, before anything touches the display.
    if (!settingsUnread)
        setDriverFromSettings();

    minimized = readFlagSetting(text, L"Minimized", kMinimizedDefault);
    kbInd = readFlagSetting(text, L"KbInd", kKbIndDefault);
    kbIndClr = COLORREF(readNumberSetting(text, L"KbIndClr", kKbIndClrDefault));
    kbIndPos = uint8_t(readNumberSetting(text, L"KbIndPos", kKbIndPosDefault));
    setUpIndicators(true, text);
}

void ToolController::setUpIndicators(bool loadLockSettings, wchar_t const* settingsText)
{
    if (!loadLockSettings) {
        setUpTrayIcons();
        return;
    }
    wchar_t const* text = settingsText != nullptr ? settingsText : content;
    for (size_t i = 0; i < kLockCount; ++i) {
        LockRow const& row = kLockTable[i];
        LockFields const& fields = kLockFields[i];
        this->*fields.shown = readFlagSetting(text, row.shownKey, kLockShownWhenMissing);
        this->*fields.back = readGlyphColourSetting(text, row.backKey, row.defaultBack);
        this->*fields.letter = readGlyphColourSetting(text, row.letterKey, row.defaultLetter);
    }
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
    for (size_t i = 0; i < kLockCount; ++i) {
        TrayIcon& icon = trayIcons[lockTrayIndex(kLockTable[i].key)];
        icon.bgColor = this->*kLockFields[i].back;
        icon.fgColor = this->*kLockFields[i].letter;
    }
}

bool ToolController::lockIconEnabled(LockKey lock) const
{
    return this->*kLockFields[&lockRow(lock) - kLockTable].shown;
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
    for (LockRow const& row : kLockTable) {
        LockKey const lock = row.key;
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
    for (LockRow const& row : kLockTable) {
        if (lockIconEnabled(row.key))
            addLockIcon(row.key, trayIcons[lockTrayIndex(row.key)].lockOn);
    }
}

void ToolController::pollLockKeys()
{
    for (LockKey const lock : kLockPollOrder) {
        bool const on = lockIsOn(lock);
        TrayIcon& icon = trayIcons[lockTrayIndex(lock)];
        if (on == (icon.lockOn != 0))
            continue;
        // lockOn follows the key even when the icon is not in the tray.
        icon.modify(lockGlyph(lock, on), lockTip(lock, on), nullptr);
        icon.lockOn = on;
    }
    if (kbInd) {
        auto const on = [this](LockKey lock) { return trayIcons[lockTrayIndex(lock)].lockOn != 0; };
        OsdIndicator::get(instance, mainWindow, kbIndClr, kbIndPos)
            .update(on(LockKey::Num), on(LockKey::Caps), on(LockKey::Scroll), false);
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
