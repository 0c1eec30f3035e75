// Where a lock glyph sits in its icon (the shell's small-icon size: 16x16
// at 96 DPI), and the table of the three lock keys: what is polled, in
// which order, what each icon shows and what its settings are called.
#pragma once

#include <stddef.h>
#include <stdint.h>

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

// Everything that names a lock key. The rows are in the order the icons go
// into the notification area, which is also the order of their tray icon
// records (after the main icon), their check boxes and their keys in
// Resolution.ini.
struct LockRow {
    LockKey key;
    int virtualKey; // for GetKeyState: VK_NUMLOCK, VK_CAPITAL, VK_SCROLL
    // Glyph text and tip of the icon; an empty glyph draws a plain square
    // of the background colour.
    wchar_t const* glyphOn;
    wchar_t const* tipOn;
    wchar_t const* glyphOff;
    wchar_t const* tipOff;
    wchar_t const* checkLabel;
    // Settings keys: the icon is shown, its background, its letter.
    wchar_t const* shownKey;
    wchar_t const* backKey;
    wchar_t const* letterKey;
    // The colours where the keys are missing, and of the default contents.
    uint32_t defaultBack;
    uint32_t defaultLetter;
};

size_t const kLockCount = 3;
extern LockRow const kLockTable[kLockCount];

// The order in which the locks are read on every poll.
LockKey const kLockPollOrder[kLockCount] = {LockKey::Scroll, LockKey::Caps, LockKey::Num};

// The lock's row of kLockTable.
LockRow const& lockRow(LockKey lock);

// Virtual key code for GetKeyState: VK_SCROLL, VK_CAPITAL, VK_NUMLOCK.
int lockVirtualKey(LockKey lock);

// Index of the lock's record among the four tray icons (the main icon is 0).
size_t lockTrayIndex(LockKey lock);

// Glyph text and tip of the lock's icon in the given state.
wchar_t const* lockGlyph(LockKey lock, bool on);
wchar_t const* lockTip(LockKey lock, bool on);
