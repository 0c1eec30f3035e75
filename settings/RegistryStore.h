// Every registry access of the program goes through here. Each operation
// opens its key, does its one step and closes the key again.
#pragma once

#include <windows.h>

// What became of a value set under a key of another program.
enum class RegistryWrite {
    Written,
    Unchanged, // it already held these bytes: nothing was written
    NoKey,     // the key does not exist: that program is not installed
    Refused,   // the account may not change it (or the set failed)
};

// The value holds what was asked for, written now or before.
inline bool valueInPlace(RegistryWrite result)
{
    return result == RegistryWrite::Written || result == RegistryWrite::Unchanged;
}

class RegistryStore {
public:
    // False when the key cannot be opened for reading or the value is absent;
    // any other answer of the query (an empty value too) is true.
    bool hasValue(HKEY root, wchar_t const* keyPath, wchar_t const* valueName) const;

    // A REG_SZ value into `text` (`capacity` units), always terminated; false,
    // with `text` empty, when it cannot be read, is of another type or does
    // not fit.
    bool readString(HKEY root, wchar_t const* keyPath, wchar_t const* valueName, wchar_t* text,
                    DWORD capacity) const;

    // True when the value is gone: deleted, or it never existed under a key
    // this account may change. False when the key is missing or the account
    // may not change it.
    bool deleteValue(HKEY root, wchar_t const* keyPath, wchar_t const* valueName) const;

    // Creates a missing key (and the keys above it). True only when the
    // value was set: false when the key can be neither opened nor created
    // for writing, the text is null, or the set is refused.
    bool writeString(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                     wchar_t const* text) const;

    // Values of the graphics driver's key, which belongs to the driver: a
    // missing key is never created (the driver is not installed). The value
    // is read first and set only when it differs, so an account that may not
    // write the key needs no rights to keep what is there. Null data is
    // refused.
    // `count` bytes; 1 byte when count is 0.
    RegistryWrite writeBinary(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                              BYTE const* bytes, DWORD count) const;
    // `count` 32-bit units; one unit when count is 0.
    RegistryWrite writeDword(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                             DWORD const* units, DWORD count) const;
};

// Keys and value names the program uses, all under HKEY_LOCAL_MACHINE but
// the per-user Run key, the fallback of an account that may not write the
// machine's.
extern wchar_t const kRunKeyPath[];
extern wchar_t const kUserRunKeyPath[];
extern wchar_t const kRunValueName[];
extern wchar_t const kDriverKeyPath[];
extern wchar_t const kDownScalingEnabledValue[];
extern wchar_t const kDownScalingSupportedValue[];
extern wchar_t const kPruningModeValue[];
