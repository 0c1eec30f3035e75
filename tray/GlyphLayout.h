// Where a lock glyph sits in its 16x16 icon, and the table of the three
// lock keys: what is polled, in which order, and what each icon shows.
#pragma once

#include <stddef.h>

int const kGlyphIconSize = 16;

// Left edge of a glyph given the width of "H" in the glyph font. "H" places
// every letter alike, so "a" and "A" do not jump sideways when Caps Lock
// toggles. Very wide fonts give 0 or a negative edge, as computed.
int glyphLeft(int widthOfH);

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
