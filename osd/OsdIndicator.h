// The on-screen display: a borderless, topmost, colour-keyed window that
// lists the CPU load, the memory in use and the locks that are on.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "osd/LoadSampler.h"
#include "osd/OsdPlacement.h"
#include "osd/OsdText.h"
#include "settings/SettingsFile.h"

// One per process, created by the first get() and never freed: it outlives
// its window, which can be destroyed and created again.
class OsdIndicator {
public:
    // The singleton. The first call creates it from its arguments (the text
    // colour and the position code, 1..6, low 8 bits; anything else is
    // bottom-right) and reads OSD.ini; later calls ignore their arguments.
    static OsdIndicator& get(HINSTANCE instance, HWND owner, COLORREF textColour,
                             unsigned position);

    // Creates the window, topmost, hidden and still empty; it shows, without
    // activation, at the first update that paints text. Does nothing while a
    // window exists.
    void createWindow();
    HWND getWindow() const { return window; }
    HWND setWindow(HWND newWindow);

    // Composes the text from the loads and the three lock states and repaints
    // only when something shown has changed (or when forced). Called every
    // 250 ms; the CPU is sampled on every fourth call.
    void update(bool numOn, bool capsOn, bool scrollOn, bool force);

    // Hides the window when the text is empty; otherwise fits it to the
    // text, places it and draws the text over the key colour.
    void paint();

    // Where a text of the given size goes in the primary monitor's work area.
    OsdRect place(RECT const& textRect) const;

    void registerClass(wchar_t const* className) const;
    // Makes `key` transparent in `target`.
    void makeLayered(HWND target, COLORREF key) const;

    LoadSampler sampler;
    SettingsFile settingsFile;
    HWND window = nullptr;
    wchar_t text[kOsdTextCapacity] = {}; // the text last composed
    COLORREF textColor = 0;
    COLORREF backColor = 0; // the window's background and transparency key
    uint8_t position = 4;
    // The primary monitor's work area, read when the window is made and
    // again when the taskbar or the display changes, not on every repaint.
    OsdArea workArea = {0, 0, 0, 0};
    HWND owner = nullptr; // recorded only
    HINSTANCE instance = nullptr;
    wchar_t content[kSettingsTextCapacity] = {}; // OSD.ini as read or created
    wchar_t settingsPath[kSettingsPathCapacity] = {};
    bool showCpu = true;
    bool showMem = true;

private:
    OsdIndicator(HINSTANCE module, HWND ownerWindow, COLORREF textColour, unsigned positionCode);
    ~OsdIndicator() = default;
    OsdIndicator(OsdIndicator const&) = delete;
    OsdIndicator& operator=(OsdIndicator const&) = delete;
};

LRESULT CALLBACK osdWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
