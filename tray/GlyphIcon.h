// The letter icons of the lock indicators, at the shell's small-icon size,
// and the small icon that stands for the program's main window in the
// notification area.
#pragma once

#include <windows.h>

// Pixels of exactly this colour (RGB 129, 129, 129) come out transparent, so
// a glyph or background colour set to it makes that part see-through.
COLORREF const kGlyphTransparentColour = RGB(129, 129, 129);

// The small-icon size the notification area shows (SM_CXSMICON x
// SM_CYSMICON): 16x16 at 96 DPI, 20 at 120, 24 at 144, 32 at 192.
SIZE smallIconSize();

// The system's icon-title font, made smaller only where its character cell
// would not fit the small-icon height, so no glyph is cut off at the bottom.
// The caller owns it.
HFONT makeGlyphFont();

// Draws `text` (may be empty: a plain square) in `textColour` on
// `backColour` with `font`, placed as "H" would be, in an icon of the
// small-icon size. A new icon every call; the caller destroys it. No object
// passed in is kept or deleted.
HICON makeGlyphIcon(wchar_t const* text, COLORREF textColour, COLORREF backColour, HFONT font);

// The window's small icon: the one set with WM_SETICON (copied, so the
// window keeps its own), else the small icon group of the window's module
// drawn at the small-icon size (the picture the title bar shows), else the
// stock question mark. The caller owns the result; destroying the stock icon
// fails harmlessly.
HICON getWindowIcon(HWND window);
