// Turns the freshly created main window into the settings window and starts
// everything that runs while the program lives.
#include "app/MainWindow.h"
#include "app/resource.h"
#include "controller/ToolController.h"
#include "controller/UiMetrics.h"
#include "osd/OsdIndicator.h"
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

// The rows of the resolution and lock choices are this far apart.
int const kRowPitch = 20;

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

    // The four boxes above the groups, in creation (and so Tab) order.
    struct BoxRow {
        HWND ToolController::*box;
        bool ToolController::*flag;
        wchar_t const* label;
        int x;
        int y;
    };
    BoxRow const boxes[] = {
        {&ToolController::scalingCheck, &ToolController::scaling, L"Enable scaling", 2, 3},
        {&ToolController::startupCheck, &ToolController::runAtStartup, L"Start with Windows", 160, 3},
        {&ToolController::minimizedCheck, &ToolController::minimized, L"Start minimized", 2, 23},
        {&ToolController::osdCheck, &ToolController::kbInd, L"OSD Keyboard indicator", 160, 23},
    };
    for (BoxRow const& row : boxes) {
        this->*row.box = createControl(instance, L"button", row.label, kCheckBoxStyle, main, row.x, row.y, 155, 19);
        if (this->*row.flag)
            check(this->*row.box);
    }

    HWND const resolutionGroup = createControl(instance, L"button", L"Resolution", kGroupBoxStyle, main, 2, 43, 155, 80, kContainerExStyle);
    resolutionPanel = createControl(instance, L"static", L"", kPlainStyle, resolutionGroup, 2, 17, 151, 61, kContainerExStyle);
    SetWindowLongPtrW(resolutionPanel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(resolutionPanelProc));

    HMENU const menu = GetMenu(main);
    uncheckModeItems(menu);
    for (size_t choice = 0; choice < kChoosableModeCount; ++choice) {
        ModeRow const& row = kModeTable[choice];
        DWORD const style = choice == 0 ? kRadioStyle | WS_GROUP : kRadioStyle;
        HWND const radio = createControl(instance, L"button", row.radioLabel, style, resolutionPanel, 2, kRowPitch * int(choice), 147, 19);
        modeRadios[choice] = radio;
        if (mode == row.mode) {
            check(radio);
            CheckMenuItem(menu, row.menuCommand, MF_BYCOMMAND | MF_CHECKED);
            trayIcons[0].modify(L"", row.tip, getWindowIcon(main));
        }
    }

    HWND const lockGroup = createControl(instance, L"button", L"Keyboard indicator", kGroupBoxStyle, main, 160, 43, 155, 80, kContainerExStyle);
    lockPanel = createControl(instance, L"static", L"", kPlainStyle, lockGroup, 2, 17, 151, 61, kContainerExStyle);
    for (size_t i = 0; i < kLockCount; ++i) {
        DWORD const style = i == 0 ? kCheckBoxStyle | WS_GROUP : kCheckBoxStyle;
        HWND const box = createControl(instance, L"button", kLockTable[i].checkLabel, style, lockPanel, 2, kRowPitch * int(i), 147, 19);
        this->*kLockFields[i].check = box;
        if (this->*kLockFields[i].shown) {
            check(box);
            addLockIcon(kLockTable[i].key, false);
        }
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
