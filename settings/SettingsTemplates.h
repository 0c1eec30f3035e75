// The texts the program writes into its settings files.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Resolution.ini is always written from this template; its 16 "%d" take, in
// order: width, height, Scaling, Minimized, NumLock, NumLckBG, NumLckFG,
// CapsLock, CpsLckBG, CpsLckFG, ScrlLock, ScrLckBG, ScrLckFG, KbInd,
// KbIndClr, KbIndPos.
extern wchar_t const kResolutionTemplate[];
int const kResolutionTemplateArgs = 16;

// Where a key is missing, the setting takes the value the default contents
// hold; only the three lock flags differ: missing is off, although the
// default contents turn every lock icon on. The lock colours are the lock
// table's, the resolution the panel's own mode.
bool const kScalingDefault = false;
bool const kMinimizedDefault = false;
bool const kKbIndDefault = true;
int32_t const kKbIndClrDefault = 12616523;
int32_t const kKbIndPosDefault = 4;
bool const kLockShownWhenMissing = false;

// The values that fill the template into the default contents.
extern int32_t const kResolutionDefaultValues[kResolutionTemplateArgs];

// Default (and only ever written) contents of OSD.ini.
extern wchar_t const kOsdDefaultText[];

// Fills "%d" placeholders of `pattern` with `values` in decimal, writing at
// most capacity - 1 units and a terminator. Returns false when the result had
// to be cut or the pattern asks for more values than given; `dest` then holds
// the cut text.
bool formatSettingsTemplate(wchar_t const* pattern, int32_t const* values, int valueCount,
                            wchar_t* dest, size_t capacity);

// The template filled with the given 16 values.
bool formatResolutionSettings(int32_t const (&values)[kResolutionTemplateArgs], wchar_t* dest,
                              size_t capacity);

// The default contents of Resolution.ini (532 characters).
void defaultResolutionText(wchar_t* dest, size_t capacity);
