// Every registry access of the program goes through here. Each operation
// opens its key, does its one step and closes the key again.
#pragma once

#include <windows.h>

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

    // The writers create a missing key (and the keys above it). They return
    // true only when the value was set: false when the key can be neither
    // opened nor created for writing, the data is null, or the set is refused.
    bool writeString(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                     wchar_t const* text) const;
    // `count` bytes; 1 byte when count is 0.
    bool writeBinary(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                     BYTE const* bytes, DWORD count) const;
    // `count` 32-bit units; one unit when count is 0.
    bool writeDword(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
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
