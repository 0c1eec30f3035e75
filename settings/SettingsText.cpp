#include "settings/SettingsText.h"

#include "display/ResolutionModes.h"

namespace {

bool isSpace(wchar_t c)
{
    // The characters iswspace accepts in the "C" locale.
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

bool isTokenDelimiter(wchar_t c)
{
    return c == L' ' || c == L'=' || c == L';';
}

wchar_t foldAsciiCase(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
}

// A half-open range of a line or token inside the settings text.
struct Span {
    wchar_t const* begin;
    wchar_t const* end;
};

// Next non-empty line at or after `cursor`; runs of line ends count as one.
bool nextLine(wchar_t const*& cursor, Span& line)
{
    while (*cursor == L'\n')
        ++cursor;
    if (*cursor == 0)
        return false;
    line.begin = cursor;
    while (*cursor != 0 && *cursor != L'\n')
        ++cursor;
    line.end = cursor;
    return true;
}

// Next token of a line, skipping leading delimiters.
bool nextToken(wchar_t const*& cursor, wchar_t const* lineEnd, Span& token)
{
    while (cursor < lineEnd && isTokenDelimiter(*cursor))
        ++cursor;
    if (cursor == lineEnd)
        return false;
    token.begin = cursor;
    while (cursor < lineEnd && !isTokenDelimiter(*cursor))
        ++cursor;
    token.end = cursor;
    return true;
}

bool keyMatches(Span token, wchar_t const* key)
{
    wchar_t const* p = token.begin;
    for (; p < token.end; ++p, ++key) {
        if (*key == 0 || foldAsciiCase(*p) != foldAsciiCase(*key))
            return false;
    }
    return *key == 0;
}

} // namespace

int32_t readDecimal(wchar_t const* text)
{
    if (text == nullptr)
        return 0;
    while (isSpace(*text))
        ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-') {
        negative = *text == L'-';
        ++text;
    }
    // 64-bit accumulation with a sign-dependent limit, so INT32_MIN itself reads exactly.
    int64_t value = 0;
    int64_t const limit = negative ? -int64_t(INT32_MIN) : int64_t(INT32_MAX);
    bool saturated = false;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (saturated)
            continue;
        value = value * 10 + (*text - L'0');
        if (value > limit) {
            value = limit;
            saturated = true;
        }
    }
    return negative ? int32_t(-value) : int32_t(value);
}

bool parseFlag(wchar_t const* value)
{
    return readDecimal(value) != 0;
}

bool findSettingValue(wchar_t const* text, wchar_t const* key, wchar_t* dest, size_t capacity)
{
    if (dest == nullptr || capacity == 0)
        return false;
    dest[0] = 0;
    if (text == nullptr || key == nullptr)
        return false;

    wchar_t const* cursor = text;
    Span line;
    if (!nextLine(cursor, line))
        return false; // not even a header
    while (nextLine(cursor, line)) {
        if (*line.begin == L';' || *line.begin == L'[')
            continue;
        wchar_t const* tokenCursor = line.begin;
        Span token;
        if (!nextToken(tokenCursor, line.end, token))
            continue;
        if (!keyMatches(token, key))
            continue;
        if (nextToken(tokenCursor, line.end, token)) {
            size_t const length = size_t(token.end - token.begin);
            if (length < capacity) {
                for (size_t i = 0; i < length; ++i)
                    dest[i] = token.begin[i];
                dest[length] = 0;
            }
        }
        break;
    }
    return dest[0] != 0;
}

size_t decodeSettingsBytes(unsigned char const* bytes, size_t byteCount, wchar_t* dest)
{
    size_t length = 0;
    for (size_t i = 0; i < byteCount; ++i) {
        unsigned char const b = bytes[i];
        if (b == '\r' && i + 1 < byteCount && bytes[i + 1] == '\n')
            continue; // the '\n' that follows is kept
        dest[length++] = b == 0 ? L'\n' : wchar_t(b);
    }
    dest[length] = 0;
    return length;
}

size_t encodeSettingsText(wchar_t const* text, unsigned char* dest, size_t capacity)
{
    size_t needed = 0;
    auto put = [&](unsigned char b) {
        if (needed < capacity)
            dest[needed] = b;
        ++needed;
    };
    for (; *text != 0; ++text) {
        if (*text == L'\n') {
            put('\r');
            put('\n');
        } else {
            put(unsigned(*text) > 255u ? '?' : static_cast<unsigned char>(*text));
        }
    }
    return needed;
}

void copyWholeLines(wchar_t const* text, wchar_t* dest, size_t capacity)
{
    if (capacity == 0)
        return;
    size_t length = 0;
    while (text[length] != 0 && length < capacity)
        ++length;
    if (length >= capacity) {
        // Too long: cut at the last line end within text[0..capacity), which is
        // then dropped, so a line end at capacity - 1 still keeps its line.
        length = capacity;
        while (length > 0 && text[length - 1] != L'\n')
            --length;
        if (length > 0)
            --length; // drop that line end too: the text ends with a line
    }
    for (size_t i = 0; i < length; ++i)
        dest[i] = text[i];
    dest[length] = 0;
}

size_t copyText(wchar_t* dest, size_t capacity, wchar_t const* src)
{
    if (capacity == 0)
        return 0;
    size_t i = 0;
    for (; src != nullptr && src[i] != 0 && i + 1 < capacity; ++i)
        dest[i] = src[i];
    dest[i] = 0;
    return i;
}

bool readFlagSetting(wchar_t const* text, wchar_t const* key, bool fallback)
{
    wchar_t value[kSettingsValueCapacity];
    return findSettingValue(text, key, value, kSettingsValueCapacity) ? parseFlag(value) : fallback;
}

int32_t readNumberSetting(wchar_t const* text, wchar_t const* key, int32_t fallback)
{
    wchar_t value[kSettingsValueCapacity];
    return findSettingValue(text, key, value, kSettingsValueCapacity) ? readDecimal(value) : fallback;
}

uint32_t readGlyphColourSetting(wchar_t const* text, wchar_t const* key, uint32_t fallback)
{
    wchar_t value[kSettingsValueCapacity];
    if (!findSettingValue(text, key, value, kSettingsValueCapacity))
        return fallback;
    int32_t const number = readDecimal(value);
    if (number == INT32_MAX || number == INT32_MIN)
        return fallback;
    return uint32_t(number);
}

int32_t modeFromResolutionValue(wchar_t const* value)
{
    int32_t const width = readDecimal(value);
    wchar_t const* comma = value;
    while (*comma != 0 && *comma != L',')
        ++comma;
    if (*comma == 0)
        return kNativeModeRow.mode;
    return choosableModeOfSize(width, readDecimal(comma + 1));
}

int32_t readModeSetting(wchar_t const* text)
{
    wchar_t value[kSettingsValueCapacity];
    if (!findSettingValue(text, L"Resolution", value, kSettingsValueCapacity))
        return kNativeModeRow.mode;
    return modeFromResolutionValue(value);
}
