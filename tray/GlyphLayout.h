// Where a lock glyph sits in its icon (the shell's small-icon size: 16x16
// at 96 DPI), and the table of the three lock keys: what is polled, in
// which order, and what each icon shows.
#pragma once

#include <stddef.h>

// Left edge of a glyph in an icon `iconWidth` pixels wide, given the width
// of "H" in the glyph font. "H" places every letter alike, so "a" and "A" do
// not jump sideways when Caps Lock toggles. Very wide fonts give 0 or a
// negative edge, as computed.
int glyphLeft(int iconWidth, int widthOfH);

// The LOGFONT height to try next so that the glyph font's character cell
// (`cellHeight` pixels, drawn from the top edge) fits an icon `iconHeight`
// high: `fontHeight` itself when the cell fits, else one scaled down by
// iconHeight / cellHeight, truncated (so smaller, down to 1), keeping the
// sign's meaning (negative: character height; positive or 0: cell height).
int fittedGlyphFontHeight(int fontHeight, int cellHeight, int iconHeight);

enum class LockKey { Scroll, Caps, Num };

// The order in which the locks are read on every poll.
LockKey const kLockPollOrder[] = {LockKey::Scroll, LockKey::Caps, LockKey::Num};
size_t const kLockCount = sizeof(kLockPollOrder) / sizeof(kLockPollOrder[0]);

// Virtual key code for GetKeyState: VK_SCROLL, VK_CAPITAL, VK_NUMLOCK.
int lockVirtualKey(LockKey lock);

// Index of the lock's record among the four tray icons (the main icon is 0).
size_t lockTrayIndex(LockKey lock);

// Glyph text and tip of the lock's icon. An empty glyph draws a plain square
// of the background colour.
wchar_t const* lockGlyph(LockKey lock, bool on);
wchar_t const* lockTip(LockKey lock, bool on);
