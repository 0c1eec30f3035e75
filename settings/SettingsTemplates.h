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
