// Screen scaling and the fonts of the settings window and the OSD.
#pragma once

#include <windows.h>

// Style changes applied to the system's icon-title font by makeUiFont.
enum UiFontFlags : unsigned {
    Bold = 0x001,
    Normal = 0x002,
    Antialiased = 0x004,
    Italic = 0x008,
    NoItalic = 0x010,
    Underline = 0x020,
    NoUnderline = 0x040,
    StrikeOut = 0x080,
    NoStrikeOut = 0x100,
};

// The screen's horizontal logical DPI.
float screenDpi();

// A distance in 96-dpi units in screen pixels, truncated toward zero. The DPI
// is read on every call.
int scaleToDpi(int distance);

// Applies the flags to a font description. Each pair of opposite flags acts
// only when exactly one of the two is given; otherwise the attribute keeps
// the system's value.
void applyUiFontFlags(LOGFONTW& font, unsigned flags);

// The system's icon-title font, the one Explorer labels icons with: the font
// of the settings window, the OSD and the lock glyphs.
LOGFONTW iconTitleFont();

// The system's icon-title font with the flags applied; the caller owns it.
HFONT makeUiFont(unsigned flags);
