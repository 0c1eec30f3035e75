#include "osd/OsdIndicator.h"

#include <new>

#include "common/HandleOwners.h"
#include "controller/UiMetrics.h"
#include "settings/SettingsTemplates.h"
#include "settings/SettingsText.h"

namespace {

wchar_t const kOsdClassName[] = L"KOVIXToolKbInd";
int const kInitialWidth = 210;
int const kInitialHeight = 150;
UINT const kTextFlags = DT_NOCLIP | DT_EXTERNALLEADING;
// Never activated and never hit by the mouse: the user's window keeps the
// keyboard, and a click on the text goes to whatever lies beneath.
DWORD const kOsdExStyles = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT;

// The singleton and the change detection live for the process; a new
// window starts the change detection again (see createWindow).
OsdIndicator* theOsd = nullptr;
bool osdCreated = false;
OsdChangeState changeState;

// The top of the topmost band, where the taskbar or another topmost window
// activated later would otherwise cover it. Never activating.
void raiseAboveTopmost(HWND window)
{
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// The primary monitor's work area: on Windows the taskbar covers the bottom
// of the screen's rectangle (or another edge), with the clock and the tray.
OsdArea primaryWorkArea()
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    POINT const origin = {0, 0}; // the primary monitor's top-left corner
    if (GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        RECT const& work = monitor.rcWork;
        return {work.left, work.top, work.right - work.left, work.bottom - work.top};
    }
    OsdArea screenArea = {0, 0, 0, 0};
    ScopedGetDC const screen(nullptr);
    if (screen.get() != nullptr) {
        screenArea.width = GetDeviceCaps(screen.get(), HORZRES);
        screenArea.height = GetDeviceCaps(screen.get(), VERTRES);
    }
    return screenArea;
}

OsdIndicator& existingOsd()
{
    // Always created by then: the window and its messages come after get().
    return OsdIndicator::get(nullptr, nullptr, 0, 4);
}

} // namespace

OsdIndicator& OsdIndicator::get(HINSTANCE instance, HWND owner, COLORREF textColour,
                                unsigned position)
{
    if (!osdCreated) {
        // Static storage: the object is never freed, and no allocation can
        // fail here.
        alignas(OsdIndicator) static unsigned char storage[sizeof(OsdIndicator)];
        theOsd = new (storage) OsdIndicator(instance, owner, textColour, position);
        osdCreated = true;
    }
    return *theOsd;
}

OsdIndicator::OsdIndicator(HINSTANCE module, HWND ownerWindow, COLORREF textColour,
                           unsigned positionCode)
    : textColor(textColour), position(uint8_t(positionCode & 0xFF)), owner(ownerWindow),
      instance(module)
{
    sampler.init();
    SettingsBuffer whole;
    wchar_t const* settings =
        settingsFile.loadOrCreate(L"OSD.ini", kOsdDefaultText, settingsPath, content, whole);
    showCpu = readFlagSetting(settings, L"CpuLoad", true);
    showMem = readFlagSetting(settings, L"MemLoad", true);
}

void OsdIndicator::createWindow()
{
    // A second window would be orphaned: its WM_DESTROY would clear the
    // handle of the live one.
    if (window != nullptr && IsWindow(window))
        return;
    registerClass(kOsdClassName); // fails harmlessly when the class exists
    // The figures of a destroyed window may not change for a long while on an
    // idle machine: the new window shows at the next update, not the next change.
    changeState = OsdChangeState();
    window = CreateWindowExW(kOsdExStyles, kOsdClassName, L"", WS_POPUP, CW_USEDEFAULT, 0,
                             kInitialWidth, kInitialHeight, nullptr, nullptr, instance, nullptr);
    backColor = GetSysColor(COLOR_BTNFACE);
    textColor = osdTextColour(textColor, backColor);
    if (window == nullptr)
        return;
    makeLayered(window, backColor);
    workArea = primaryWorkArea();
    // Hidden, and empty until the first paint with text gives it its size
    // and shows it.
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE);
    paint();
}

HWND OsdIndicator::setWindow(HWND newWindow)
{
    window = newWindow;
    return window;
}

void OsdIndicator::update(bool numOn, bool capsOn, bool scrollOn, bool force)
{
    OsdUpdateInput input;
    input.showCpu = showCpu;
    input.showMem = showMem;
    input.force = force;
    input.numOn = numOn;
    input.capsOn = capsOn;
    input.scrollOn = scrollOn;

    bool const sampling = beginOsdUpdate(changeState);
    if (showCpu && sampling)
        input.cpuLoad = sampler.cpuLoad(LoadSampler::kWholeMachine);
    if (showMem) {
        MEMORYSTATUSEX status = {};
        status.dwLength = sizeof(status);
        input.memOk = sampler.memoryStatus(status) != FALSE;
        if (input.memOk) {
            input.usedMiB = usedMiB(status.ullTotalPhys, status.ullAvailPhys);
            input.memLoad = status.dwMemoryLoad;
        }
    }
    if (finishOsdUpdate(changeState, input, text, kOsdTextCapacity))
        paint();
}

void OsdIndicator::paint()
{
    if (window == nullptr)
        return;
    ScopedGdiObj<HFONT> const font(makeUiFont(Bold | Antialiased));
    ScopedGdiObj<HBRUSH> brush;
    ScopedGetDC const dc(window);
    if (dc.get() == nullptr)
        return;
    ScopedSelect const fontSelection(dc.get(), font.get());

    if (text[0] == 0) {
        ShowWindow(window, SW_HIDE);
        return;
    }

    RECT textRect = {0, 0, 0, 0};
    DrawTextW(dc.get(), text, -1, &textRect, DT_CALCRECT);

    // Moving a window to where it already is still costs a round of window
    // messages and X requests; most repaints change a figure, not the size.
    OsdRect const where = place(textRect);
    RECT current = {};
    GetWindowRect(window, &current);
    if (current.left != where.x || current.top != where.y ||
        current.right - current.left != where.width || current.bottom - current.top != where.height)
        SetWindowPos(window, nullptr, where.x, where.y, where.width, where.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    // Shown without activation: a background process could not hand the
    // foreground back (the foreground lock), so the user's typing would go
    // nowhere after a Caps Lock press.
    if (!IsWindowVisible(window)) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }

    brush.reset(CreateSolidBrush(backColor));
    RECT client = {};
    GetClientRect(window, &client);
    FillRect(dc.get(), &client, brush.get());

    SetTextColor(dc.get(), textColor);
    SetBkColor(dc.get(), backColor);
    DrawTextW(dc.get(), text, -1, &client, kTextFlags);
    // The window is drawn whole: what the resize above invalidated would
    // only bring a WM_PAINT that paints it all over again.
    ValidateRect(window, nullptr);
}

OsdRect OsdIndicator::place(RECT const& textRect) const
{
    return placeOsd(position, workArea, textRect.right - textRect.left,
                    textRect.bottom - textRect.top);
}

void OsdIndicator::registerClass(wchar_t const* className) const
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = osdWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
}

void OsdIndicator::makeLayered(HWND target, COLORREF key) const
{
    LONG_PTR const style = GetWindowLongPtrW(target, GWL_EXSTYLE);
    // Clearing the style first makes the system take the attributes afresh.
    if ((style & WS_EX_LAYERED) != 0)
        SetWindowLongPtrW(target, GWL_EXSTYLE, style & ~LONG_PTR(WS_EX_LAYERED));
    SetWindowLongPtrW(target, GWL_EXSTYLE, style | WS_EX_LAYERED);
    SetLayeredWindowAttributes(target, key, 0, LWA_COLORKEY);
}

LRESULT CALLBACK osdWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY: {
        OsdIndicator& osd = existingOsd();
        // Only the live window: a stray one must not clear its handle.
        if (osd.getWindow() == window) {
            osd.setWindow(nullptr);
            osd.text[0] = 0;
        }
        break;
    }
    case WM_SETTINGCHANGE:
        if (wParam != SPI_SETWORKAREA)
            break;
        [[fallthrough]]; // the taskbar moved or changed its size
    case WM_DISPLAYCHANGE:
        raiseAboveTopmost(window);
        existingOsd().workArea = primaryWorkArea();
        existingOsd().paint();
        break;
    case WM_PAINT:
    case WM_THEMECHANGED:
        existingOsd().paint();
        break;
    default:
        break;
    }
    // Also for the messages above: DefWindowProcW's BeginPaint and EndPaint
    // validate the region that paint drew through GetDC.
    return DefWindowProcW(window, message, wParam, lParam);
}
