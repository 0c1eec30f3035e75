// What the 250 ms poll reads of Scroll, Caps and Num Lock.
#pragma once

#include "tray/GlyphLayout.h"

// The lock counts as on while its toggle is on or its key is held down.
bool lockIsOn(LockKey lock);
