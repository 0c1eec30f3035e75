// The 16x16 letter icons of the lock indicators, and the small icon that
// stands for the program's main window in the notification area.
#pragma once

#include <windows.h>

// Pixels of exactly this colour (RGB 129, 129, 129) come out transparent, so
// a glyph or background colour set to it makes that part see-through.
COLORREF const kGlyphTransparentColour = RGB(129, 129, 129);

// Draws `text` (may be empty: a plain square) in `textColour` on
// `backColour` with `font`, placed as "H" would be. A new icon every call;
// the caller destroys it. No object passed in is kept or deleted.
HICON makeGlyphIcon(wchar_t const* text, COLORREF textColour, COLORREF backColour, HFONT font);

// The window's small icon: the one set with WM_SETICON (copied, so the
// window keeps its own), else the shell's small icon for the program's file
// type, else the stock question mark. The caller owns the result; destroying
// the stock icon fails harmlessly.
HICON getWindowIcon(HWND window);
