// A lean fuzz target for long runs: the path every settings file takes at
// start-up (decode the bytes, look up every key once, read the values), so
// that many millions of inputs fit in a few minutes. SettingsReaderFuzz.cpp
// keeps the thorough checks of every capacity and the round trip.
#include <stdint.h>
#include <stdlib.h>

#include "settings/SettingsText.h"

namespace {

wchar_t const* const kKeys[] = {
    L"Resolution", L"Scaling",  L"Minimized", L"NumLock",  L"NumLckBG", L"NumLckFG",
    L"CapsLock",   L"CpsLckBG", L"CpsLckFG",  L"ScrlLock", L"ScrLckBG", L"ScrLckFG",
    L"KbInd",      L"KbIndClr", L"KbIndPos",  L"CpuLoad",  L"MemLoad",
};

bool isDelimiter(wchar_t c)
{
    return c == L' ' || c == L'=' || c == L';' || c == L'\n' || c == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    wchar_t* text = static_cast<wchar_t*>(malloc((size + 1) * sizeof(wchar_t)));
    if (text == nullptr)
        return 0;
    decodeSettingsBytes(data, size, text);
    for (wchar_t const* key : kKeys) {
        wchar_t value[kSettingsValueCapacity];
        bool const found = findSettingValue(text, key, value, kSettingsValueCapacity);
        // A found value is non-empty, terminated in the buffer and free of delimiters.
        if (found && value[0] == 0)
            abort();
        for (size_t i = 0; i < kSettingsValueCapacity && value[i] != 0; ++i) {
            if (isDelimiter(value[i]) || i + 1 == kSettingsValueCapacity)
                abort();
        }
        if (!found && value[0] != 0)
            abort();
        readDecimal(value);
    }
    int32_t const mode = readModeSetting(text);
    if (mode != 1 && mode != 2 && mode != 6)
        abort();
    free(text);
    return 0;
}
