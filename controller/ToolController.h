// The application object: every setting of Resolution.ini in decoded form,
// the handles of the settings window's controls and the services the
// program works through. A plain record with no pointer into itself and no
// heap memory, so one instance can be copied whole over another.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "display/DisplayModeSwitcher.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsFile.h"
#include "tray/GlyphLayout.h"
#include "tray/TrayIcon.h"

UINT_PTR const kLockTimerId = 1;

class ToolController {
public:
    // With a real window the controller binds to it and loads every setting;
    // with none (or a handle that is not a window) it stays unloaded.
    explicit ToolController(HWND window);
    ~ToolController();
    ToolController(ToolController const&) = default;
    ToolController& operator=(ToolController const&) = default;

    bool isLoaded() const { return loaded; }
    void stopTimer();

    // Fills the invisible main window with its controls, starts the lock
    // timer and shows the window; called once, before the message loop.
    void buildWindow();
    // Acts on every control in one pass and rewrites Resolution.ini.
    void apply();
    // True while an Apply runs: its message boxes keep dispatching messages.
    static bool isApplying();

    // Display modes.
    // A balloon on the main tray icon unless the switch plainly succeeded.
    void reportSwitchResult(LONG result);
    // Switches via the panel's own mode first (unreported), then to
    // `target`, reported.
    void switchThroughNative(ResolutionMode target);
    void carryOutSwitch(SwitchPlan plan);
    // The saved mode is restored at the end of the window build.
    void restoreStartupMode();

    // Start with Windows: true when a Run value (the machine's or the
    // user's) names this executable.
    bool startsWithWindows() const;
    // The Run value under root\keyPath is `quotedPath`, quoted or bare, in any case.
    bool runValueNamesThis(HKEY root, wchar_t const* keyPath, wchar_t const* quotedPath) const;
    // Writes the Run value, under the user's key when the machine's is
    // refused (a balloon says so when the machine's names another copy);
    // false when neither could be written.
    bool registerToStart();
    // Apply's step: stores or removes the value and puts the box right when
    // the account's rights kept it from doing as asked.
    void applyStartWithWindows(bool wanted);

    // An error balloon on the main tray icon.
    void showErrorNotice(wchar_t const* text);

    // Reads the three locks, redraws the icons whose lock changed and feeds
    // the on-screen display.
    void pollLockKeys();

    // Downscaling of the graphics driver, and the restart it may need.
    // At start: the driver follows the saved `scaling`; a refusal is kept
    // for startupNotice.
    void setDriverFromSettings();
    // At Apply: the driver follows `scaling`, and with scaling on it is
    // prepared when it never was; says in a box what kept the driver from
    // following. True when the user wants the restart.
    bool applyDownscaling();
    // Asks, prepares the driver and asks for a restart; true when the user
    // wants the restart (requestRestart then starts it).
    bool offerDownscalingSetup();
    void requestRestart();

    // true: read the lock-key settings from `settingsText` (the whole file as
    // loaded; `content` when null). false: set up the tray icon records.
    void setUpIndicators(bool loadLockSettings, wchar_t const* settingsText = nullptr);

    // Adds the lock's tray icon with the glyph and tip of the given state.
    BOOL addLockIcon(LockKey lock, bool on);
    // The shell's notification area was rebuilt: every icon the records hold
    // as added goes back in, as it was.
    void restoreTrayIcons();
    // Timer kTrayRetryTimerId: the shell refused the main icon at start-up;
    // adds it (and the enabled lock icons) once the shell takes it.
    void retryTrayIcons();

    HWND resolutionPanel = nullptr;
    HWND lockPanel = nullptr;
    HWND scalingCheck = nullptr;
    HWND minimizedCheck = nullptr;
    HWND startupCheck = nullptr;
    HWND osdCheck = nullptr;
    HWND numLockCheck = nullptr;
    HWND capsLockCheck = nullptr;
    HWND scrollLockCheck = nullptr;
    // The resolution radio buttons, in the order of the choosable modes.
    HWND modeRadios[kChoosableModeCount] = {};
    HWND versionLabel = nullptr;
    HWND applyButton = nullptr;
    int32_t mode = 0;
    HWND mainWindow = nullptr;
    HINSTANCE instance = nullptr;
    bool loaded = false;
    wchar_t title[30] = {};
    wchar_t content[kSettingsTextCapacity] = {};
    wchar_t settingsPath[kSettingsPathCapacity] = {};
    // Resolution.ini exists but could not be read at load (held open by
    // another program, no rights): the defaults stand in for settings never
    // loaded, so no save may replace the file, and the start sets neither
    // the driver nor the mode from them.
    bool settingsUnread = false;
    // What went wrong at load, for an error balloon once the main icon is in.
    wchar_t const* startupNotice = nullptr;
    bool scaling = false;
    bool runAtStartup = false;
    bool minimized = false;
    bool kbInd = false;
    bool numLock = false;
    bool capsLock = false;
    bool scrlLock = false;
    COLORREF kbIndClr = 0;
    COLORREF numLckBG = 0;
    COLORREF numLckFG = 0;
    COLORREF cpsLckBG = 0;
    COLORREF cpsLckFG = 0;
    COLORREF scrLckBG = 0;
    COLORREF scrLckFG = 0;
    uint8_t kbIndPos = 0;
    HFONT uiFont = nullptr;
    DisplayModeSwitcher displaySwitcher;
    RegistryStore registry;
    SettingsFile settingsFile;
    // The main icon, then Num Lock, Caps Lock, Scroll Lock.
    TrayIcon trayIcons[4];

private:
    void loadSettings();
    void showStartupNotice();
    void setUpTrayIcons();
    bool lockIconEnabled(LockKey lock) const;
};

// Each lock's fields of the controller, in the order of kLockTable.
struct LockFields {
    bool ToolController::*shown;
    COLORREF ToolController::*back;
    COLORREF ToolController::*letter;
    HWND ToolController::*check;
};
extern LockFields const kLockFields[kLockCount];
