#include "controller/ToolController.h"

#include "controller/UiMetrics.h"
#include "settings/SettingsTemplates.h"

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
    // The font, the controls and the tray icons may belong to a copy: the
    // controller releases nothing of its own here.
}

void ToolController::loadSettings()
{
    GetWindowTextW(mainWindow, title, ARRAYSIZE(title));
    uiFont = makeUiFont(0);
    loaded = true;

    wchar_t defaults[kSettingsTextCapacity];
    defaultResolutionText(defaults, kSettingsTextCapacity);
    SettingsBuffer whole;
    wchar_t const* text =
        settingsFile.loadOrCreate(L"Resolution.ini", defaults, settingsPath, content, whole);

    runAtStartup = registry.hasValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kRunValueName);
    mode = readModeSetting(text);
    scaling = readFlagSetting(text, L"Scaling", false);

    // The driver follows the file at every start, before anything touches the display.
    BYTE const enabled[4] = {BYTE(scaling ? 1 : 0), 0, 0, 0};
    registry.writeBinary(HKEY_LOCAL_MACHINE, kDriverKeyPath, kDownScalingEnabledValue, enabled, 4);

    minimized = readFlagSetting(text, L"Minimized", false);
    kbInd = readFlagSetting(text, L"KbInd", true);
    kbIndClr = COLORREF(readNumberSetting(text, L"KbIndClr", 12616523));
    kbIndPos = uint8_t(readNumberSetting(text, L"KbIndPos", 4));
    setUpIndicators(true, text);
}

void ToolController::setUpIndicators(bool loadLockSettings, wchar_t const* settingsText)
{
    if (!loadLockSettings)
        return;
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
