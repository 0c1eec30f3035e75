#include "tray/TrayIcon.h"

#include <stddef.h>

#include "settings/SettingsText.h"
#include "tray/GlyphIcon.h"
#include "tray/TrayMessages.h"

namespace {

UINT const kIconTipFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

} // namespace

UINT taskbarCreatedMessage()
{
    static UINT const message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

TrayIcon::TrayIcon()
{
    ZeroMemory(&iconData, sizeof(iconData));
}

TrayIcon::~TrayIcon()
{
    destroy();
}

TrayIcon::TrayIcon(TrayIcon const& other)
    : bgColor(other.bgColor), fgColor(other.fgColor), lockOn(other.lockOn), added(other.added),
      keyboardCallbacks(other.keyboardCallbacks), owner(other.owner), instance(other.instance),
      id(other.id), glyphFont(other.glyphFont), iconData(other.iconData), live(false)
{
}

TrayIcon& TrayIcon::operator=(TrayIcon const& other)
{
    if (this == &other)
        return *this;
    bgColor = other.bgColor;
    fgColor = other.fgColor;
    lockOn = other.lockOn;
    added = other.added;
    keyboardCallbacks = other.keyboardCallbacks;
    owner = other.owner;
    instance = other.instance;
    id = other.id;
    glyphFont = other.glyphFont;
    iconData = other.iconData;
    live = false; // now a copy of the other record's icon
    return *this;
}

void TrayIcon::init(HWND ownerWindow, HINSTANCE instanceHandle, UINT callbackMessage, UINT number)
{
    instance = instanceHandle;
    id = number;
    owner = ownerWindow;
    lockOn = false;
    added = false;

    iconData.cbSize = sizeof(iconData);
    iconData.hWnd = ownerWindow;
    iconData.uCallbackMessage = callbackMessage;
    iconData.uID = id;

    glyphFont = makeGlyphFont();
    live = true;
}

HICON TrayIcon::prepare(wchar_t const* glyph, wchar_t const* tip, HICON icon)
{
    HICON const used = icon != nullptr ? icon : makeGlyphIcon(glyph, fgColor, bgColor, glyphFont);
    iconData.hIcon = used;
    iconData.uFlags = kIconTipFlags;
    copyText(iconData.szTip, ARRAYSIZE(iconData.szTip), tip);
    return used;
}

BOOL TrayIcon::add(wchar_t const* glyph, wchar_t const* tip, HICON icon)
{
    if (added) {
        // Icons given to the record are consumed whatever happens.
        if (icon != nullptr)
            DestroyIcon(icon);
        return TRUE;
    }
    HICON const used = prepare(glyph, tip, icon);
    // Shell_NotifyIcon waits for the shell only so long: a busy shell (at
    // logon) may answer FALSE and add the icon all the same, and then
    // refuses every later add of that identifier. A modify that succeeds
    // shows the icon is there.
    BOOL const result =
        Shell_NotifyIconW(NIM_ADD, &iconData) || Shell_NotifyIconW(NIM_MODIFY, &iconData);
    added = result != FALSE;
    // The version lasts only as long as the icon: every add asks again.
    // Only an icon with a callback has anyone to tell.
    if (added && iconData.uCallbackMessage != 0) {
        iconData.uVersion = NOTIFYICON_VERSION;
        keyboardCallbacks = Shell_NotifyIconW(NIM_SETVERSION, &iconData) != FALSE;
    }
    // The shell keeps its own copy of the image.
    DestroyIcon(used);
    iconData.hIcon = nullptr;
    return result;
}

BOOL TrayIcon::modify(wchar_t const* glyph, wchar_t const* tip, HICON icon)
{
    HICON const used = prepare(glyph, tip, icon);
    BOOL const result = Shell_NotifyIconW(NIM_MODIFY, &iconData);
    DestroyIcon(used);
    iconData.hIcon = nullptr;
    return result;
}

BOOL TrayIcon::remove()
{
    if (!added)
        return FALSE;
    BOOL const result = Shell_NotifyIconW(NIM_DELETE, &iconData);
    if (result)
        added = false;
    return result;
}

BOOL TrayIcon::showBalloon(wchar_t const* text, wchar_t const* title, UINT timeoutMs,
                           DWORD infoFlags)
{
    iconData.uFlags = NIF_INFO;
    iconData.dwInfoFlags = infoFlags;
    iconData.uTimeout = timeoutMs;
    copyText(iconData.szInfo, ARRAYSIZE(iconData.szInfo), text);
    copyText(iconData.szInfoTitle, ARRAYSIZE(iconData.szInfoTitle), title);
    return Shell_NotifyIconW(NIM_MODIFY, &iconData);
}

BOOL TrayIcon::restore(wchar_t const* glyph, wchar_t const* tip, HICON icon)
{
    if (!added) {
        if (icon != nullptr)
            DestroyIcon(icon);
        return FALSE;
    }
    // A shell that announced a new notification area but still holds the
    // icon refuses the add; add's modify then refreshes it instead.
    added = false;
    return add(glyph, tip, icon);
}

bool TrayIcon::screenRect(RECT& rect) const
{
    // The identifier block of Windows 7's headers, which this build's target
    // (XP) leaves out.
    struct IconIdentifier {
        DWORD cbSize;
        HWND hWnd;
        UINT uID;
        GUID guidItem;
    };
    typedef HRESULT(WINAPI * GetRectFunction)(IconIdentifier const*, RECT*);
    // Looked up at run time: XP and Vista lack it.
    HMODULE const shell32 = GetModuleHandleW(L"shell32.dll");
    FARPROC const address =
        shell32 != nullptr ? GetProcAddress(shell32, "Shell_NotifyIconGetRect") : nullptr;
    if (address == nullptr || !added)
        return false;
    IconIdentifier const icon = {sizeof(IconIdentifier), owner, id, GUID()};
    GetRectFunction const getRect =
        reinterpret_cast<GetRectFunction>(reinterpret_cast<void (*)()>(address));
    return getRect(&icon, &rect) == S_OK && rect.right > rect.left && rect.bottom > rect.top;
}

BOOL TrayIcon::returnFocus()
{
    return Shell_NotifyIconW(NIM_SETFOCUS, &iconData);
}

void TrayIcon::destroy()
{
    if (!live)
        return;
    live = false;
    if (Shell_NotifyIconW(NIM_DELETE, &iconData))
        ZeroMemory(&iconData, sizeof(iconData));
}
