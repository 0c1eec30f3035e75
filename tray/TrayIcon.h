// One notification-area icon: the shell's icon data block and what the
// program keeps beside it (colours of a lock glyph, whether the icon is in
// the notification area, its glyph font).
#pragma once

#include <windows.h>
#include <shellapi.h>

#ifndef _WIN64
// The Windows XP layout: every member up to guidItem, without hBalloonIcon.
static_assert(sizeof(NOTIFYICONDATAW) == 952, "NOTIFYICONDATAW must have its XP size");
#endif

class TrayIcon {
public:
    // All zeros: names no icon and is not added.
    TrayIcon();
    // Takes the icon out of the notification area, unless this record is a
    // copy (see `live`).
    ~TrayIcon();
    TrayIcon(TrayIcon const& other);
    TrayIcon& operator=(TrayIcon const& other);

    // Binds the record to `ownerWindow` with identifier `number`, whatever
    // the instance, and creates its glyph font. Must run before the rest.
    void init(HWND ownerWindow, HINSTANCE instanceHandle, UINT callbackMessage, UINT number);

    // Each takes `icon`, or, when it is null, a glyph drawn from `glyph` in
    // the record's colours, and destroys it after the shell call. `tip` is cut
    // to the tip buffer; it may be the record's own iconData.szTip.
    // add: when the icon is already added, no shell call and TRUE; an add
    // the shell refuses counts when a modify of the icon succeeds.
    BOOL add(wchar_t const* glyph, wchar_t const* tip, HICON icon);
    BOOL modify(wchar_t const* glyph, wchar_t const* tip, HICON icon);
    // FALSE without a shell call when the icon is not added.
    BOOL remove();
    // A balloon notice on the icon; text and title are cut to their buffers.
    BOOL showBalloon(wchar_t const* text, wchar_t const* title, UINT timeoutMs, DWORD infoFlags);

    // After the shell rebuilt its notification area, puts an icon that was
    // added back in it. Does nothing but destroy `icon` (FALSE) when the
    // record is not added. `added` then follows what the shell confirms.
    BOOL restore(wchar_t const* glyph, wchar_t const* tip, HICON icon);

    // What destruction does, for an owner that must fix the order in which
    // its icons leave: NIM_DELETE whatever `added` says, and on success the
    // icon data is cleared. Afterwards the record is no longer live, so later
    // calls and the destructor send nothing more.
    void destroy();

    // The icon's place on the screen, where the shell can tell it (Windows 7
    // and later); false elsewhere.
    bool screenRect(RECT& rect) const;
    // Gives the keyboard focus back to the notification area, after a menu
    // opened from the keyboard was left without a choice.
    BOOL returnFocus();

    COLORREF bgColor = 0;
    COLORREF fgColor = 0;
    bool lockOn = false;
    bool added = false;
    // The shell took NOTIFYICON_VERSION for this icon: it reports Enter or
    // Space on the icon (NIN_KEYSELECT) and its menu key (WM_CONTEXTMENU),
    // and a right click as WM_CONTEXTMENU after the button messages.
    bool keyboardCallbacks = false;
    HWND owner = nullptr;
    HINSTANCE instance = nullptr;
    UINT id = 0;
    HFONT glyphFont = nullptr; // lives as long as the process
    NOTIFYICONDATAW iconData = {};

private:
    // Fills the icon, flags and tip; returns the icon to destroy afterwards.
    HICON prepare(wchar_t const* glyph, wchar_t const* tip, HICON icon);

    // The record that `init` bound to the icon owns it; a copy (the
    // controller is copied whole once at start-up) carries every other field
    // but must never take the same owner's icon out of the notification area,
    // so copying and assignment leave this flag clear.
    bool live = false;
};
