// The line grammar and value forms of the settings files, free of any platform
// call so that they can be unit-tested and fuzzed natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Capacities of the buffers the settings owners keep, in UTF-16 units
// including the terminator.
size_t const kSettingsTextCapacity = 1024;
size_t const kSettingsPathCapacity = 260;
size_t const kSettingsValueCapacity = 100;

// Reads a signed 32-bit decimal number the way wcstol does in base 10: leading
// white space, an optional sign, digits up to the first other character. No
// digits give 0; numbers outside the 32-bit range saturate at its limits on
// every platform (wcstol's long is 64 bits on some, so it is not used).
int32_t readDecimal(wchar_t const* text);

// A flag value is on when it reads as a non-zero decimal number.
bool parseFlag(wchar_t const* value);

// Looks `key` up in a settings text of any length (lines separated by '\n').
// The first non-empty line is the header and is never a key line; lines
// starting with ';' or '[' are skipped; a key line is split at runs of
// " =;". Keys compare without regard to the case of A-Z only. The first
// matching key line decides, even when it has no value.
// Copies the value into `dest` (capacity in units, terminator included) and
// returns true when a non-empty value was copied. A value that does not fit
// makes the lookup fail with `dest` empty: a cut number or pair could read as
// a different setting, while a failed lookup takes the key's documented
// default. The text is never modified.
bool findSettingValue(wchar_t const* text, wchar_t const* key, wchar_t* dest, size_t capacity);

// Decodes the bytes of a settings file into text: every byte is the character
// of the same code, each CR LF becomes '\n'. A NUL byte cannot live inside a
// terminated text, so it reads as a line end: what follows it stays visible
// to lookups. `dest` must hold byteCount + 1 units. Returns the text length.
size_t decodeSettingsBytes(unsigned char const* bytes, size_t byteCount, wchar_t* dest);

// Encodes a text for disk: each '\n' becomes CR LF, every other character one
// byte. Characters above 255 have no byte of their own and are written as
// '?'; the program's own texts are ASCII. Writes at most `capacity` bytes and
// returns the full length the encoding needs (like snprintf), so a caller can
// size its buffer with a first call of capacity 0.
size_t encodeSettingsText(wchar_t const* text, unsigned char* dest, size_t capacity);

// Copies the longest run of whole lines of `text` that fits `capacity`
// (terminator included) into `dest`, so that the copy is still a complete
// settings text even when the source was larger than the buffer.
void copyWholeLines(wchar_t const* text, wchar_t* dest, size_t capacity);

// Bounded copy: at most capacity - 1 units and a terminator. Returns the
// number of units copied.
size_t copyText(wchar_t* dest, size_t capacity, wchar_t const* src);

// Key readers used by the settings load. Each looks the key up in `text`
// and applies the value form; a failed lookup gives `fallback`.
bool readFlagSetting(wchar_t const* text, wchar_t const* key, bool fallback);
int32_t readNumberSetting(wchar_t const* text, wchar_t const* key, int32_t fallback);
// A glyph colour whose number overflowed (exactly INT32_MAX or INT32_MIN)
// counts as unreadable and takes the fallback too.
uint32_t readGlyphColourSetting(wchar_t const* text, wchar_t const* key, uint32_t fallback);

// The `Resolution` value: width before the first ',', height after it.
// Returns the code of the choosable mode of that size, the panel's own mode
// for anything else (no comma, a missing key and every other pair included).
int32_t modeFromResolutionValue(wchar_t const* value);
int32_t readModeSetting(wchar_t const* text);
