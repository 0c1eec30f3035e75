// libFuzzer target: arbitrary settings file bytes through the whole reader.
// Every check aborts, so a broken invariant is reported like a crash.
#include "settings/SettingsText.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <vector>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            fprintf(stderr, "settings fuzz: check failed at line %d: %s\n", __LINE__,         \
                    #condition);                                                               \
            abort();                                                                           \
        }                                                                                      \
    } while (0)

namespace {

wchar_t const* const kKeys[] = {
    L"Resolution", L"Scaling",  L"Minimized", L"NumLock",  L"NumLckBG", L"NumLckFG",
    L"CapsLock",   L"CpsLckBG", L"CpsLckFG",  L"ScrlLock", L"ScrLckBG", L"ScrLckFG",
    L"KbInd",      L"KbIndClr", L"KbIndPos",  L"CpuLoad",  L"MemLoad",
};

wchar_t const kGuard = L'#';
int32_t const kNumberFallback = -12345;
uint32_t const kColourFallback = 0xA5A5A5A5u;

bool isDelimiter(wchar_t c)
{
    return c == L' ' || c == L'=' || c == L';';
}

// wcstoll in the C locale clamped to 32 bits: an independent reading of the
// decimal form, valid for ASCII values (no locale doubt about white space).
bool referenceDecimal(wchar_t const* value, int32_t& number)
{
    for (wchar_t const* p = value; *p != 0; ++p) {
        if (unsigned(*p) > 127u)
            return false;
    }
    long long const wide = wcstoll(value, nullptr, 10);
    number = wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : int32_t(wide);
    return true;
}

struct Found {
    bool found;
    size_t length;
};

// One lookup with a guard unit past `capacity`, checking what every lookup
// must hold whatever the text.
Found lookUpChecked(wchar_t const* text, wchar_t const* key, wchar_t* dest, size_t capacity)
{
    for (size_t i = 0; i <= capacity; ++i)
        dest[i] = kGuard;
    bool const found = findSettingValue(text, key, dest, capacity);
    FUZZ_CHECK(dest[capacity] == kGuard);
    if (capacity == 0) {
        FUZZ_CHECK(!found);
        return {false, 0};
    }
    size_t length = 0;
    while (length < capacity && dest[length] != 0)
        ++length;
    FUZZ_CHECK(length < capacity); // terminated within capacity
    FUZZ_CHECK(found == (length > 0));
    for (size_t i = 0; i < length; ++i) {
        FUZZ_CHECK(!isDelimiter(dest[i]));
        FUZZ_CHECK(dest[i] != L'\n');
    }
    if (found)
        FUZZ_CHECK(wcsstr(text, dest) != nullptr);
    return {found, length};
}

void checkKey(wchar_t const* text, wchar_t const* key)
{
    wchar_t value[kSettingsValueCapacity + 1];
    Found const full = lookUpChecked(text, key, value, kSettingsValueCapacity);

    // Smaller buffers: the same value when it fits, a failed lookup otherwise.
    // A missing key stays missing at any size, so two sizes suffice for it.
    size_t const capacities[] = {0, 1, 2, 5, full.length, full.length + 1};
    size_t const capacityCount = full.found ? 6 : 2;
    for (size_t c = 0; c < capacityCount; ++c) {
        size_t const capacity = capacities[c];
        wchar_t shorter[kSettingsValueCapacity + 1];
        Found const cut = lookUpChecked(text, key, shorter, capacity);
        bool const fits = full.found && full.length < capacity;
        FUZZ_CHECK(cut.found == fits);
        if (fits)
            FUZZ_CHECK(wcscmp(shorter, value) == 0);
    }

    // The key readers agree with the lookup and with an independent decimal reading.
    int32_t const number = full.found ? readDecimal(value) : kNumberFallback;
    FUZZ_CHECK(readNumberSetting(text, key, kNumberFallback) == number);
    int32_t reference = 0;
    if (full.found && referenceDecimal(value, reference))
        FUZZ_CHECK(number == reference);
    bool const flagFallback = (key[0] & 1) != 0;
    FUZZ_CHECK(readFlagSetting(text, key, flagFallback) ==
               (full.found ? number != 0 : flagFallback));
    FUZZ_CHECK(parseFlag(full.found ? value : L"") == (full.found && number != 0));

    uint32_t const colour = readGlyphColourSetting(text, key, kColourFallback);
    if (!full.found || number == INT32_MAX || number == INT32_MIN)
        FUZZ_CHECK(colour == kColourFallback);
    else
        FUZZ_CHECK(colour == uint32_t(number));

    if (wcscmp(key, L"Resolution") == 0) {
        int32_t const mode = readModeSetting(text);
        FUZZ_CHECK(mode == 1 || mode == 2 || mode == 6);
        FUZZ_CHECK(mode == (full.found ? modeFromResolutionValue(value) : 1));
    }
}

void checkAllKeys(wchar_t const* text)
{
    for (wchar_t const* key : kKeys)
        checkKey(text, key);
}

// The copy is the longest run of whole lines that fits, and every key found
// in it reads the same in the full text.
void checkWholeLineCopy(wchar_t const* text, size_t textLength, size_t capacity)
{
    std::vector<wchar_t> copy(capacity + 1, kGuard);
    copyWholeLines(text, copy.data(), capacity);
    FUZZ_CHECK(copy[capacity] == kGuard);
    if (capacity == 0)
        return;
    size_t length = 0;
    while (length < capacity && copy[length] != 0)
        ++length;
    FUZZ_CHECK(length < capacity);
    FUZZ_CHECK(wmemcmp(copy.data(), text, length) == 0);
    if (textLength < capacity) {
        FUZZ_CHECK(length == textLength);
        return;
    }
    FUZZ_CHECK(length == 0 || text[length] == L'\n');
    for (size_t j = length + 1; j < capacity; ++j)
        FUZZ_CHECK(text[j] != L'\n');

    for (wchar_t const* key : kKeys) {
        wchar_t inCopy[kSettingsValueCapacity];
        wchar_t inText[kSettingsValueCapacity];
        if (findSettingValue(copy.data(), key, inCopy, kSettingsValueCapacity)) {
            FUZZ_CHECK(findSettingValue(text, key, inText, kSettingsValueCapacity));
            FUZZ_CHECK(wcscmp(inCopy, inText) == 0);
        }
    }
}

// decode(encode(text)) gives the text back, with every character above 255
// turned into '?'. A text never holds NUL, and a '\r' before a '\n' comes
// back as "\r\r\n" -> "\r\n", so nothing else changes.
void checkDiskRoundTrip(wchar_t const* text, size_t textLength)
{
    size_t lineEnds = 0;
    for (size_t i = 0; i < textLength; ++i)
        lineEnds += text[i] == L'\n';
    size_t const needed = encodeSettingsText(text, nullptr, 0);
    FUZZ_CHECK(needed == textLength + lineEnds);

    std::vector<unsigned char> bytes(needed + 1, 0xA5);
    FUZZ_CHECK(encodeSettingsText(text, bytes.data(), needed) == needed);
    FUZZ_CHECK(bytes[needed] == 0xA5);

    // A short buffer receives the same leading bytes and nothing past it.
    size_t const half = needed / 2;
    std::vector<unsigned char> part(half + 1, 0x5A);
    FUZZ_CHECK(encodeSettingsText(text, part.data(), half) == needed);
    FUZZ_CHECK(part[half] == 0x5A);
    for (size_t i = 0; i < half; ++i)
        FUZZ_CHECK(part[i] == bytes[i]);

    std::vector<wchar_t> back(needed + 1);
    size_t const backLength = decodeSettingsBytes(bytes.data(), needed, back.data());
    FUZZ_CHECK(backLength == textLength);
    for (size_t i = 0; i < textLength; ++i) {
        wchar_t const expected = unsigned(text[i]) > 255u ? L'?' : text[i];
        FUZZ_CHECK(back[i] == expected);
    }
}

// The input as file bytes, the way the settings load sees a file.
void checkFileBytes(uint8_t const* data, size_t size)
{
    std::vector<wchar_t> text(size + 1);
    size_t const length = decodeSettingsBytes(data, size, text.data());
    FUZZ_CHECK(length <= size);
    FUZZ_CHECK(text[length] == 0);
    FUZZ_CHECK(wcslen(text.data()) == length);

    checkAllKeys(text.data());
    FUZZ_CHECK(modeFromResolutionValue(text.data()) == 1 ||
               modeFromResolutionValue(text.data()) == 2 ||
               modeFromResolutionValue(text.data()) == 6);
    checkWholeLineCopy(text.data(), length, kSettingsTextCapacity);
    checkWholeLineCopy(text.data(), length, size > 0 ? data[0] % 64 : 0);
    checkDiskRoundTrip(text.data(), length);

    // The text buffer the owners keep: a bounded copy, then lookups on it.
    wchar_t held[kSettingsTextCapacity];
    size_t const copied = copyText(held, kSettingsTextCapacity, text.data());
    FUZZ_CHECK(copied == (length < kSettingsTextCapacity ? length : kSettingsTextCapacity - 1));
    FUZZ_CHECK(held[copied] == 0);
}

// The input as UTF-16 units, for characters above 255 in keys and values.
void checkWideText(uint8_t const* data, size_t size)
{
    std::vector<wchar_t> text;
    text.reserve(size / 2 + 1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        wchar_t const unit = wchar_t(data[i] | (data[i + 1] << 8));
        if (unit != 0)
            text.push_back(unit);
    }
    text.push_back(0);
    checkAllKeys(text.data());
    checkDiskRoundTrip(text.data(), text.size() - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    checkFileBytes(data, size);
    checkWideText(data, size);
    return 0;
}
