#include "settings/RegistryStore.h"

#include <string.h>

#include "common/HandleOwners.h"

wchar_t const kRunKeyPath[] = L"Software\\MicroSoft\\Windows\\CurrentVersion\\Run";
wchar_t const kUserRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
wchar_t const kRunValueName[] = L"KOVIX Tool";
wchar_t const kDriverKeyPath[] = L"SYSTEM\\CurrentControlSet\\Services\\ialm\\Device0";
wchar_t const kDownScalingEnabledValue[] = L"Display1_DownScalingEnabled";
wchar_t const kDownScalingSupportedValue[] = L"Display1_DownScalingSupported";
wchar_t const kPruningModeValue[] = L"PruningMode";

namespace {

// True when the value exists with this type and exactly these bytes.
bool holds(HKEY key, wchar_t const* valueName, DWORD type, void const* data, DWORD size)
{
    BYTE stored[16];
    if (size > sizeof(stored))
        return false; // not compared: written
    DWORD storedType = 0;
    DWORD storedSize = sizeof(stored);
    if (RegQueryValueExW(key, valueName, nullptr, &storedType, stored, &storedSize) != ERROR_SUCCESS)
        return false; // absent, or longer than ours (ERROR_MORE_DATA)
    return storedType == type && storedSize == size && memcmp(stored, data, size) == 0;
}

RegistryWrite updateExistingValue(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                                  DWORD type, void const* data, DWORD size)
{
    if (data == nullptr)
        return RegistryWrite::Refused;
    {
        ScopedKey key;
        if (!key.open(root, keyPath, KEY_QUERY_VALUE)) {
            // Anything but a missing key may still take the write (a key
            // this account may set but not read).
            if (key.missing())
                return RegistryWrite::NoKey;
        } else if (holds(key.get(), valueName, type, data, size)) {
            return RegistryWrite::Unchanged;
        }
    }
    ScopedKey key;
    if (!key.open(root, keyPath, KEY_SET_VALUE))
        return key.missing() ? RegistryWrite::NoKey : RegistryWrite::Refused;
    if (RegSetValueExW(key.get(), valueName, 0, type, static_cast<BYTE const*>(data), size) !=
        ERROR_SUCCESS)
        return RegistryWrite::Refused;
    return RegistryWrite::Written;
}

bool writeValue(HKEY root, wchar_t const* keyPath, wchar_t const* valueName, DWORD type,
                void const* data, DWORD size)
{
    ScopedKey key;
    if (!key.openOrCreate(root, keyPath))
        return false;
    if (data == nullptr)
        return false;
    return RegSetValueExW(key.get(), valueName, 0, type, static_cast<BYTE const*>(data), size) ==
           ERROR_SUCCESS;
}

} // namespace

bool RegistryStore::hasValue(HKEY root, wchar_t const* keyPath, wchar_t const* valueName) const
{
    ScopedKey key;
    if (!key.open(root, keyPath, KEY_QUERY_VALUE))
        return false;
    return RegQueryValueExW(key.get(), valueName, nullptr, nullptr, nullptr, nullptr) !=
           ERROR_FILE_NOT_FOUND;
}

bool RegistryStore::readString(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                                wchar_t* text, DWORD capacity) const
{
    if (text == nullptr || capacity == 0)
        return false;
    text[0] = 0;
    ScopedKey key;
    if (!key.open(root, keyPath, KEY_QUERY_VALUE))
        return false;
    // One unit kept for the terminator: a stored string need not end in one.
    DWORD type = 0;
    DWORD size = (capacity - 1) * DWORD(sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        text[0] = 0;
        return false;
    }
    text[size / sizeof(wchar_t)] = 0;
    return true;
}

bool RegistryStore::deleteValue(HKEY root, wchar_t const* keyPath, wchar_t const* valueName) const
{
    ScopedKey key;
    if (!key.open(root, keyPath, KEY_SET_VALUE))
        return false;
    LONG const result = RegDeleteValueW(key.get(), valueName);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool RegistryStore::writeString(HKEY root, wchar_t const* keyPath, wchar_t const* valueName,
                                wchar_t const* text) const
{
    DWORD size = 0;
    if (text != nullptr)
        size = DWORD((lstrlenW(text) + 1) * sizeof(wchar_t));
    return writeValue(root, keyPath, valueName, REG_SZ, text, size);
}

RegistryWrite RegistryStore::writeBinary(HKEY root, wchar_t const* keyPath,
                                         wchar_t const* valueName, BYTE const* bytes,
                                         DWORD count) const
{
    return updateExistingValue(root, keyPath, valueName, REG_BINARY, bytes, count == 0 ? 1 : count);
}

RegistryWrite RegistryStore::writeDword(HKEY root, wchar_t const* keyPath,
                                        wchar_t const* valueName, DWORD const* units,
                                        DWORD count) const
{
    DWORD const size = (count == 0 ? 1 : count) * DWORD(sizeof(DWORD));
    return updateExistingValue(root, keyPath, valueName, REG_DWORD, units, size);
}
