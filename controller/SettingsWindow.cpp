// Turns the freshly created main window into the settings window and starts
// everything that runs while the program lives.
#include "app/MainWindow.h"
#include "app/resource.h"
#include "controller/ToolController.h"
#include "controller/UiMetrics.h"
#include "osd/OsdIndicator.h"
#include "tray/LockMonitor.h"
#include "display/ResolutionModes.h"
#include "tray/GlyphIcon.h"

namespace {

// Tab visits the boxes, the checked resolution (the radio button control
// moves WS_TABSTOP to the checked one) and Apply, in creation order; WS_GROUP
// closes the resolution choice in front and behind, for the arrows.
DWORD const kCheckBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
DWORD const kGroupBoxStyle = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
DWORD const kRadioStyle = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;
DWORD const kPlainStyle = WS_CHILD | WS_VISIBLE;
// Apply is the default button: Enter presses it from any control.
DWORD const kApplyStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
// Tab goes into the group boxes and their panels only when they say they
// hold controls.
DWORD const kContainerExStyle = WS_EX_CONTROLPARENT;

// Layout numbers are in 96-dpi units, each scaled on its own.
HWND createControl(HINSTANCE instance, wchar_t const* className, wchar_t const* text, DWORD style,
                   HWND parent, int x, int y, int width, int height, DWORD exStyle = 0)
{
    // Controls are told apart by their handles: every identifier is 0.
    return CreateWindowExW(exStyle, className, text, style, scaleToDpi(x), scaleToDpi(y),
                           scaleToDpi(width), scaleToDpi(height), parent, nullptr, instance,
                           nullptr);
}

void check(HWND control)
{
    SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
}

} // namespace

void ToolController::buildWindow()
{
    HWND const main = mainWindow;

    if (kbInd)
        OsdIndicator::get(instance, main, kbIndClr, kbIndPos).createWindow();

    setUpIndicators(false);

    scalingCheck = createControl(instance, L"button", L"Enable scaling", kCheckBoxStyle, main, 2, 3, 155, 19);
    if (scaling)
        check(scalingCheck);
    startupCheck = createControl(instance, L"button", L"Start with Windows", kCheckBoxStyle, main, 160, 3, 155, 19);
    if (runAtStartup)
        check(startupCheck);
    minimizedCheck = createControl(instance, L"button", L"Start minimized", kCheckBoxStyle, main, 2, 23, 155, 19);
    if (minimized)
        check(minimizedCheck);
    osdCheck = createControl(instance, L"button", L"OSD Keyboard indicator", kCheckBoxStyle, main, 160, 23, 155, 19);
    if (kbInd)
        check(osdCheck);

    HWND const resolutionGroup = createControl(instance, L"button", L"Resolution", kGroupBoxStyle, main, 2, 43, 155, 80, kContainerExStyle);
    resolutionPanel = createControl(instance, L"static", L"", kPlainStyle, resolutionGroup, 2, 17, 151, 61, kContainerExStyle);
    SetWindowLongPtrW(resolutionPanel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(resolutionPanelProc));

    HMENU const menu = GetMenu(main);
    uncheckModeItems(menu);
    struct RadioRow {
        HWND ToolController::*field;
        wchar_t const* text;
        int32_t mode;
        UINT command;
        int y;
    };
    RadioRow const radios[] = {
        {&ToolController::radio800x480, L"800 x 480", kMode800x480, IDM_MODE_800X480, 0},
        {&ToolController::radio800x600, L"800 x 600", kMode800x600, IDM_MODE_800X600, 20},
        {&ToolController::radio1024x768, L"1024 x 768", kMode1024x768, IDM_MODE_1024X768, 40},
    };
    for (RadioRow const& row : radios) {
        DWORD const style = row.mode == kMode800x480 ? kRadioStyle | WS_GROUP : kRadioStyle;
        HWND const radio = createControl(instance, L"button", row.text, style, resolutionPanel, 2, row.y, 147, 19);
        this->*row.field = radio;
        if (mode == row.mode) {
            check(radio);
            CheckMenuItem(menu, row.command, MF_BYCOMMAND | MF_CHECKED);
            trayIcons[0].modify(L"", modeDisplayValues(row.mode).tip, getWindowIcon(main));
        }
    }

    HWND const lockGroup = createControl(instance, L"button", L"Keyboard indicator", kGroupBoxStyle, main, 160, 43, 155, 80, kContainerExStyle);
    lockPanel = createControl(instance, L"static", L"", kPlainStyle, lockGroup, 2, 17, 151, 61, kContainerExStyle);
    numLockCheck = createControl(instance, L"button", L"Num lock", kCheckBoxStyle | WS_GROUP, lockPanel, 2, 0, 147, 19);
    if (numLock) {
        check(numLockCheck);
        addLockIcon(LockKey::Num, false);
    }
    capsLockCheck = createControl(instance, L"button", L"Caps lock", kCheckBoxStyle, lockPanel, 2, 20, 147, 19);
    if (capsLock) {
        check(capsLockCheck);
        addLockIcon(LockKey::Caps, false);
    }
    scrollLockCheck = createControl(instance, L"button", L"Scroll lock", kCheckBoxStyle, lockPanel, 2, 40, 147, 19);
    if (scrlLock) {
        check(scrollLockCheck);
        addLockIcon(LockKey::Scroll, false);
    }

    // Icons that were just added in their off state show the locks that are on.
    pollLockKeys();
    SetTimer(main, kLockTimerId, 250, lockTimerProc);

    applyButton = createControl(instance, L"button", L"Apply", kApplyStyle, main, 111, 127, 100, 26);
    wchar_t buildLabel[kBuildLabelCapacity] = {};
    LoadStringW(instance, IDS_BUILD_LABEL, buildLabel, kBuildLabelCapacity);
    versionLabel = createControl(instance, L"static", buildLabel, kPlainStyle, main, 3, 137, 100, 20);

    SendMessageW(main, WM_SETFONT, WPARAM(uiFont), TRUE);
    EnumChildWindows(main, setChildFont, LPARAM(uiFont));

    RECT windowRect = {};
    RECT clientRect = {};
    GetWindowRect(main, &windowRect);
    GetClientRect(main, &clientRect);
    int const frameHeight = (windowRect.bottom - windowRect.top) - clientRect.bottom;
    SetWindowPos(main, nullptr, 0, 0, scaleToDpi(324), scaleToDpi(156) + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER);

    restoreStartupMode();
    showStartupNotice();

    // Focus rectangles as in a dialog: hidden after the mouse, shown after
    // the keyboard.
    SendMessageW(main, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS), 0);
    ShowWindow(main, SW_SHOWNORMAL);
    UpdateWindow(main);
    if (minimized)
        ShowWindow(main, SW_MINIMIZE);
}
