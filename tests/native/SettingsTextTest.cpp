// Line grammar, value forms and byte handling of the settings files.
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

wchar_t const kGuard = L'#';
wchar_t const kNone[] = L"(not found)";
std::wstring const kHeader = L"[KOVIX Tool resolution settings]\n";

// The value found, or kNone. A guard unit past `capacity` catches an overrun
// or a missing terminator.
std::wstring lookUp(std::wstring const& text, wchar_t const* key,
                    size_t capacity = kSettingsValueCapacity)
{
    std::vector<wchar_t> dest(capacity + 1, kGuard);
    bool const found = findSettingValue(text.c_str(), key, dest.data(), capacity);
    EXPECT_EQ(dest[capacity], kGuard) << "lookup wrote past its capacity";
    auto const end = dest.begin() + std::ptrdiff_t(capacity);
    if (std::find(dest.begin(), end, L'\0') == end) {
        ADD_FAILURE() << "value is not terminated within its capacity";
        return L"(unterminated)";
    }
    std::wstring const value(dest.data());
    EXPECT_EQ(found, !value.empty()) << "result disagrees with the copied value";
    return found ? value : kNone;
}

struct LookupRow {
    wchar_t const* text;
    wchar_t const* key;
    wchar_t const* value; // kNone: the lookup fails
    size_t capacity = kSettingsValueCapacity;
};

void expectLookups(std::wstring const& prefix, std::initializer_list<LookupRow> rows)
{
    for (LookupRow const& row : rows) {
        SCOPED_TRACE(testing::PrintToString(prefix + row.text) + " key " +
                     testing::PrintToString(std::wstring(row.key)));
        EXPECT_EQ(row.value, lookUp(prefix + row.text, row.key, row.capacity));
    }
}

std::wstring decode(std::string const& bytes)
{
    std::vector<wchar_t> dest(bytes.size() + 1, kGuard);
    size_t const length = decodeSettingsBytes(
        reinterpret_cast<unsigned char const*>(bytes.data()), bytes.size(), dest.data());
    EXPECT_LE(length, bytes.size());
    EXPECT_EQ(dest[length], L'\0');
    return std::wstring(dest.data(), length);
}

std::string encode(std::wstring const& text)
{
    size_t const needed = encodeSettingsText(text.c_str(), nullptr, 0);
    std::string bytes(needed, '\0');
    EXPECT_EQ(needed, encodeSettingsText(text.c_str(),
                                         reinterpret_cast<unsigned char*>(&bytes[0]), needed));
    return bytes;
}

std::wstring copyLines(std::wstring const& text, size_t capacity)
{
    std::vector<wchar_t> dest(capacity + 1, kGuard);
    copyWholeLines(text.c_str(), dest.data(), capacity);
    EXPECT_EQ(dest[capacity], kGuard) << "copy wrote past its capacity";
    auto const end = dest.begin() + std::ptrdiff_t(capacity);
    EXPECT_NE(std::find(dest.begin(), end, L'\0'), end) << "copy is not terminated";
    return std::wstring(dest.data());
}

// The loader keeps KbIndPos in 8 bits.
int readPosition(std::wstring const& text)
{
    return static_cast<uint8_t>(readNumberSetting(text.c_str(), L"KbIndPos", 4));
}

int readMode(std::wstring const& text)
{
    return readModeSetting(text.c_str());
}

} // namespace

TEST(SettingsGrammar, HeaderLine)
{
    expectLookups(L"", {
        {L"KbIndPos=2;\nScaling=1;", L"KbIndPos", kNone}, // never a key line
        {L"KbIndPos=2;\nScaling=1;", L"Scaling", L"1"},
        {L"\n\n\nKbIndPos=2;\nKbIndPos=3;", L"KbIndPos", L"3"}, // first non-empty line
        {L"\n\n[any header]\nKbIndPos=2;", L"KbIndPos", L"2"}, {L"", L"KbIndPos", kNone},
        {L"\n\n", L"KbIndPos", kNone},
    });
    EXPECT_EQ(4, readPosition(L"KbIndPos=2;\nScaling=1;"));
    // A text of only its header: every reader takes its fallback.
    for (std::wstring const text : {L"[KOVIX Tool resolution settings]",
                                    L"[KOVIX Tool resolution settings]\n\n\n",
                                    L"\nResolution=1024,768;\n"}) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(kNone, lookUp(text, L"Resolution"));
        EXPECT_EQ(1, readMode(text));
        EXPECT_FALSE(readFlagSetting(text.c_str(), L"NumLock", false));
        EXPECT_TRUE(readFlagSetting(text.c_str(), L"KbInd", true));
        EXPECT_EQ(4, readPosition(text));
    }
}

TEST(SettingsGrammar, CommentsAndSections)
{
    expectLookups(kHeader, {
        {L";KbIndPos=2;", L"KbIndPos", kNone},
        {L";KbIndPos=2;\nKbIndPos=3;", L"KbIndPos", L"3"}, // a comment is no first match
        {L" ;KbIndPos=2;", L"KbIndPos", L"2"},             // not in the first column
        {L"KbIndPos=2;\n[OSD Settings]", L"KbIndPos", L"2"},
        {L"[OSD Settings]\nKbIndPos=2;", L"KbIndPos", L"2"},
        {L"[Something else]\nKbIndPos=2;", L"KbIndPos", L"2"},
        {L"[A]\nKbIndPos=5;\n[B]\nKbIndPos=2;", L"KbIndPos", L"5"}, // whatever the section
        {L"[KbIndPos=2;", L"KbIndPos", kNone}, {L"[KbIndPos=2;\nKbIndPos=3;", L"KbIndPos", L"3"},
        {L"KbIndPos=[2];", L"KbIndPos", L"[2]"}, // only the first column makes a heading
    });
}

TEST(SettingsGrammar, Delimiters)
{
    for (wchar_t const* line :
         {L"KbIndPos=2;", L"KbIndPos 2", L"KbIndPos = 2 ;", L"KbIndPos;2", L"KbIndPos=2",
          L"  KbIndPos==;; 2;;;", L"=KbIndPos=2=", L"KbIndPos=2;trailing words"})
        expectLookups(kHeader, {{line, L"KbIndPos", L"2"}});
    expectLookups(kHeader, {
        {L"KbIndPos=2 3;", L"KbIndPos", L"2"}, // only the second token is the value
        {L"Resolution=800,600;", L"Resolution", L"800,600"},
        {L"Resolution=800, 600;", L"Resolution", L"800,"},
        // Other white space is part of a token: a tab glues key and value.
        {L"KbIndPos\t2", L"KbIndPos", kNone}, {L"\tKbIndPos=2", L"KbIndPos", kNone},
        {L"KbIndPos=\t2", L"KbIndPos", L"\t2"},
        {L" = ; \n=\n;;\nKbIndPos=2;", L"KbIndPos", L"2"}, // delimiter-only lines
    });
}

TEST(SettingsGrammar, KeysFoldOnlyAToZAndMatchWhole)
{
    expectLookups(kHeader, {
        {L"kbindpos = 2 ;", L"KbIndPos", L"2"}, {L"KBINDPOS=2;", L"KbIndPos", L"2"},
        {L"KbIndPos=2;", L"kBiNdPoS", L"2"},
        // E acute: lower U+00E9, upper U+00C9.
        {L"Caf\u00e9=1;", L"CAF\u00c9", kNone}, {L"CAF\u00c9=1;", L"caf\u00e9", kNone},
        {L"Caf\u00e9=1;", L"CAF\u00e9", L"1"},
        // Pairs 0x20 apart that are not letters: a bit-flip fold would match them.
        {L"K@=1;", L"K`", kNone}, {L"K[=1;", L"K{", kNone}, {L"K^=1;", L"K~", kNone},
        {L"K_=1;", L"K\u007f", kNone}, {L"K1=1;", L"K\u0011", kNone},
        // Whole keys only, no prefixes.
        {L"KbIndPos=2;\nKbIndClr=5;", L"KbInd", kNone},
        {L"KbIndPos=2;\nKbIndClr=5;", L"KbIndPosX", kNone},
        {L"KbIndPos=2;\nKbIndClr=5;", L"", kNone}, {L"KbInd=1;", L"KbIndPos", kNone},
    });
}

TEST(SettingsGrammar, FirstMatchWinsEvenWithoutAValue)
{
    expectLookups(kHeader, {
        {L"KbIndPos=;\nKbIndPos=2;", L"KbIndPos", kNone},
        {L"KbIndPos\nKbIndPos=2;", L"KbIndPos", kNone},
        {L"kbindpos ;\nKbIndPos=2;", L"KbIndPos", kNone},
        {L"KbIndPos=5;\nKbIndPos=2;", L"KbIndPos", L"5"},
        {L"kbindpos=5;\nKbIndPos=2;", L"KbIndPos", L"5"},
    });
    for (wchar_t const* line : {L"Scaling", L"Scaling=", L"Scaling=;", L"Scaling ; = "}) {
        std::wstring const text = kHeader + line;
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(kNone, lookUp(text, L"Scaling"));
        EXPECT_TRUE(readFlagSetting(text.c_str(), L"Scaling", true));
        EXPECT_EQ(readNumberSetting(text.c_str(), L"Scaling", -7), -7);
        EXPECT_EQ(readGlyphColourSetting(text.c_str(), L"Scaling", 65280u), 65280u);
    }
}

TEST(SettingsGrammar, TextIsLeftUnchanged)
{
    std::wstring const original = kHeader + L"KbIndPos = 2 ;\n[OSD]\n;c\nKbInd=1";
    std::vector<wchar_t> text(original.begin(), original.end());
    text.push_back(L'\0');
    wchar_t value[kSettingsValueCapacity];
    for (wchar_t const* key : {L"KbIndPos", L"KbInd", L"Missing"})
        findSettingValue(text.data(), key, value, kSettingsValueCapacity);
    EXPECT_EQ(std::wstring(text.data()), original);
}

TEST(SettingsValueCapacity, ValuesThatDoNotFitFailWithAnEmptyDestination)
{
    std::wstring const fits = L"KbIndClr=" + std::wstring(99, L'7') + L";";
    EXPECT_EQ(std::wstring(99, L'7'), lookUp(kHeader + fits, L"KbIndClr"));
    std::wstring const tooLong = kHeader + L"KbIndClr=" + std::wstring(100, L'7') + L";";
    EXPECT_EQ(kNone, lookUp(tooLong, L"KbIndClr"));
    // A value too long to read is missing, not a saturated number.
    EXPECT_EQ(readNumberSetting(tooLong.c_str(), L"KbIndClr", 12616523), 12616523);
    EXPECT_EQ(readGlyphColourSetting(tooLong.c_str(), L"KbIndClr", 65535u), 65535u);
    // A cut "1024,768xxx..." would still read as 1024,768; only 99 units may.
    EXPECT_EQ(6, readMode(kHeader + L"Resolution=1024,768" + std::wstring(91, L'x')));
    EXPECT_EQ(1, readMode(kHeader + L"Resolution=1024,768" + std::wstring(92, L'x')));
    expectLookups(kHeader, {
        {L"Resolution=800,600;", L"Resolution", L"800,600", 8},
        {L"Resolution=800,600;", L"Resolution", kNone, 7},
        {L"Resolution=800,600;", L"Resolution", kNone, 1}, {L"KbInd=1;", L"KbInd", L"1", 2},
    });

    wchar_t untouched = kGuard;
    EXPECT_FALSE(findSettingValue((kHeader + L"KbInd=1").c_str(), L"KbInd", &untouched, 0));
    EXPECT_EQ(untouched, kGuard);
    wchar_t stale[kSettingsValueCapacity] = L"stale";
    EXPECT_FALSE(findSettingValue((kHeader + L"KbInd=;").c_str(), L"KbInd", stale,
                                  kSettingsValueCapacity));
    EXPECT_EQ(stale[0], L'\0');
}

TEST(SettingsValues, DecimalSignsStopsAndSaturation)
{
    struct Row {
        wchar_t const* text;
        int32_t value;
    };
    Row const rows[] = {
        {L" \t\n\v\f\r42", 42}, {L"+7", 7}, {L"-7", -7}, {L"  -13", -13}, {L"- 7", 0},
        {L"+-7", 0}, {L"--7", 0}, {L"-0", 0}, {L"-", 0}, {L"+", 0},
        // Reading stops at the first other character.
        {L"12abc", 12}, {L"12 34", 12}, {L"1.9", 1}, {L"800,600", 800}, {L"0x1", 0},
        {L"0000000000000000000000000042", 42},
        // No digits; only ASCII digits count (Arabic-Indic one, full-width one).
        {L"", 0}, {L"   ", 0}, {L"abc", 0}, {L"x1", 0}, {L"\u0661", 0}, {L"\uff11", 0},
        {L"2147483647", INT32_MAX}, {L"2147483646", INT32_MAX - 1},
        {L"-2147483648", INT32_MIN}, {L"-2147483647", INT32_MIN + 1},
        {L"2147483648", INT32_MAX}, {L"-2147483649", INT32_MIN},
        {L"99999999999", INT32_MAX}, {L"-99999999999", INT32_MIN}, {L"99999999999x5", INT32_MAX},
        // 2^32 + 1 and 2^64 + 1: wrapping 32- or 64-bit arithmetic would read 1.
        {L"4294967297", INT32_MAX}, {L"18446744073709551617", INT32_MAX},
        {L"-18446744073709551617", INT32_MIN},
    };
    for (Row const& row : rows)
        EXPECT_EQ(row.value, readDecimal(row.text)) << testing::PrintToString(row.text);
    EXPECT_EQ(INT32_MAX, readDecimal(std::wstring(500, L'9').c_str()));
    EXPECT_EQ(INT32_MIN, readDecimal((L"-" + std::wstring(500, L'9')).c_str()));
}

TEST(SettingsValues, FlagIsANonZeroNumber)
{
    for (wchar_t const* on : {L"1", L"5", L"-1", L"99999999999"})
        EXPECT_TRUE(parseFlag(on)) << testing::PrintToString(on);
    for (wchar_t const* off : {L"0", L"00", L"-0", L"0x1", L"on", L""})
        EXPECT_FALSE(parseFlag(off)) << testing::PrintToString(off);
    EXPECT_FALSE(readFlagSetting((kHeader + L"Scaling=0x1;").c_str(), L"Scaling", true));
    EXPECT_TRUE(readFlagSetting((kHeader + L"Scaling=5;").c_str(), L"Scaling", false));
}

TEST(SettingsValues, GlyphColourOverflowTakesTheFallbackOtherNumbersKeepTheirBits)
{
    struct Row {
        wchar_t const* value;
        uint32_t fallback;
        uint32_t read;
    };
    Row const rows[] = {
        {L"99999999999", 65280u, 65280u},       {L"-99999999999", 65535u, 65535u},
        {L"2147483647", 16776960u, 16776960u},  {L"-2147483648", 16776960u, 16776960u},
        {L"8487297", 0u, 8487297u},             {L"-5", 0u, 0xFFFFFFFBu},
        {L"2147483646", 0u, 2147483646u},       {L"-2147483647", 0u, 0x80000001u},
        {L"0", 5u, 0u},                         {L"green", 5u, 0u},
    };
    for (Row const& row : rows) {
        std::wstring const text = kHeader + L"NumLckBG=" + row.value + L";";
        EXPECT_EQ(row.read, readGlyphColourSetting(text.c_str(), L"NumLckBG", row.fallback))
            << testing::PrintToString(row.value);
    }
}

TEST(SettingsValues, KbIndClrOverflowIsTakenAsRead)
{
    auto const read = [](std::wstring const& body) {
        return readNumberSetting((kHeader + body).c_str(), L"KbIndClr", 12616523);
    };
    EXPECT_EQ(INT32_MAX, read(L"KbIndClr=99999999999;"));
    EXPECT_EQ(INT32_MIN, read(L"KbIndClr=-99999999999;"));
    EXPECT_EQ(12616523, read(L"Other=1;"));
}

TEST(SettingsValues, KbIndPosIsTheLowEightBits)
{
    std::pair<wchar_t const*, int> const rows[] = {
        {L"KbIndPos=260;", 4}, {L"KbIndPos=-1;", 255}, {L"KbIndPos=256;", 0},
        {L"KbIndPos=7;", 7}, {L"KbIndPos=99999999999;", 255}, {L"KbIndPos=-99999999999;", 0},
        {L"Other=2;", 4}, {L"KbIndPos=;\nKbIndPos=2;", 4},
        // The forms of the grammar tests reach the reader too.
        {L" ;KbIndPos=2;", 2}, {L"KbIndPos=\t2", 2}, {L"kbindpos = 2 ;", 2},
    };
    for (auto const& row : rows)
        EXPECT_EQ(row.second, readPosition(kHeader + row.first)) << testing::PrintToString(row.first);
}

TEST(SettingsValues, ResolutionFormsSelectAMode)
{
    // Only 1024,768 and 800,600 select a mode; everything else gives 1.
    std::pair<wchar_t const*, int> const files[] = {
        {L"Resolution=1024,768;", 6}, {L"Resolution=800,600;", 2}, {L"Resolution=800,480;", 1},
        {L"Resolution=640,480;", 1}, {L"Resolution=1024,600;", 1}, {L"Resolution=768,1024;", 1},
        {L"Resolution=600,800;", 1}, {L"Scaling=0;", 1}, {L"Resolution=;", 1},
        // A space ends the value token, so only the pieces before it are read.
        {L"Resolution=800, 600;", 1}, {L"Resolution= 800 , 600;", 1}, {L"Resolution=800 ,600;", 1},
        {L"Resolution = 800,600 ;", 2}, {L"Resolution 1024,768", 6}, {L"Resolution=800,\t600;", 2},
    };
    for (auto const& row : files)
        EXPECT_EQ(row.second, readMode(kHeader + row.first)) << testing::PrintToString(row.first);
    // The height is read just after the first comma.
    std::pair<wchar_t const*, int> const values[] = {
        {L"800", 1}, {L"800600", 1}, {L"1024x768", 1}, {L"", 1}, {L"1024,768,5", 6},
        {L"800,600abc", 2}, {L"+800,+600", 2}, {L"0800,0600", 2}, {L"800,\t600", 2},
        {L"800,,600", 1}, {L",600", 1}, {L"800x,600", 2},
    };
    for (auto const& row : values)
        EXPECT_EQ(row.second, modeFromResolutionValue(row.first)) << testing::PrintToString(row.first);
}

TEST(SettingsBytes, DecodeKeepsEveryByteAndJoinsCrLf)
{
    std::pair<std::string, std::wstring> const rows[] = {
        {"a\r\nb\r\n", L"a\nb\n"}, {"\r\n\r\n", L"\n\n"}, {"a\nb", L"a\nb"}, {"", L""},
        // A lone CR is kept.
        {"a\rb", L"a\rb"}, {"a\r", L"a\r"}, {"\r\r\n", L"\r\n"}, {"\n\r", L"\n\r"},
    };
    for (auto const& row : rows)
        EXPECT_EQ(row.second, decode(row.first)) << testing::PrintToString(row.first);

    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes.push_back(char(b));
    std::wstring const text = decode(bytes);
    ASSERT_EQ(text.size(), 255u);
    for (size_t i = 0; i < text.size(); ++i)
        EXPECT_EQ(unsigned(text[i]), i + 1) << "byte " << i + 1;

    // A NUL reads as a line end, so what follows it stays visible.
    std::wstring const withNul = decode(std::string("[H]\0KbIndPos=2;\0\0Scaling=1;", 27));
    EXPECT_EQ(L"[H]\nKbIndPos=2;\n\nScaling=1;", withNul);
    expectLookups(withNul, {{L"", L"KbIndPos", L"2"}, {L"", L"Scaling", L"1"}});
}

TEST(SettingsBytes, EncodeWritesCrLfAndQuestionMarksWithinCapacity)
{
    std::pair<std::wstring, std::string> const rows[] = {
        {L"a\nb", "a\r\nb"}, {L"\n\n", "\r\n\r\n"}, {L"", ""},
        {L"\u00ff\u0100x\u20ac", "\xff?x?"}, {L"\u0080\u00e9", "\x80\xe9"},
    };
    for (auto const& row : rows)
        EXPECT_EQ(row.second, encode(row.first)) << testing::PrintToString(row.first);

    for (size_t capacity = 0; capacity <= 8; ++capacity) {
        SCOPED_TRACE(capacity);
        std::string dest(capacity + 1, '#');
        EXPECT_EQ(6u, encodeSettingsText(L"ab\ncd", reinterpret_cast<unsigned char*>(&dest[0]),
                                         capacity));
        EXPECT_EQ(dest[capacity], '#') << "wrote past its capacity";
        size_t const written = std::min<size_t>(capacity, 6);
        EXPECT_EQ(dest.substr(0, written), std::string("ab\r\ncd").substr(0, written));
    }

    std::wstring text = L"[H]\nA=1;\r\n\r\rB\n\n";
    for (wchar_t c = 1; c < 256; ++c)
        text.push_back(c);
    EXPECT_EQ(decode(encode(text)), text);
}

TEST(SettingsCopies, WholeLinesThatFit)
{
    struct Row {
        wchar_t const* text;
        size_t capacity;
        wchar_t const* copy;
    };
    Row const rows[] = {
        {L"ab\ncd\n", 7, L"ab\ncd\n"}, {L"ab\ncd\n", 100, L"ab\ncd\n"},
        {L"ab\ncd\nef", 9, L"ab\ncd\nef"}, {L"ab\ncd\nef", 8, L"ab\ncd"},
        {L"ab\ncd\nef", 6, L"ab\ncd"}, {L"ab\ncd\nef", 5, L"ab"}, {L"ab\ncd\nef", 3, L"ab"},
        {L"ab\ncd\nef", 2, L""}, {L"ab\ncd\nef", 1, L""}, {L"a very long first line\nb", 10, L""},
    };
    for (Row const& row : rows)
        EXPECT_EQ(row.copy, copyLines(row.text, row.capacity))
            << testing::PrintToString(row.text) << " in " << row.capacity;
    std::wstring const full(kSettingsTextCapacity - 1, L'x');
    EXPECT_EQ(full, copyLines(full, kSettingsTextCapacity));

    // Every capacity: the longest prefix that ends at a line end.
    std::wstring const text = L"[H]\n\nKey=1;\nLonger=22;\n\n;c\nLast";
    for (size_t capacity = 1; capacity <= text.size() + 2; ++capacity) {
        SCOPED_TRACE(capacity);
        std::wstring const copy = copyLines(text, capacity);
        ASSERT_LT(copy.size(), capacity);
        ASSERT_EQ(text.compare(0, copy.size(), copy), 0) << "not a prefix";
        size_t const end = copy.size();
        EXPECT_TRUE(end == 0 || end == text.size() || text[end] == L'\n');
        if (end < text.size()) {
            EXPECT_GE(std::min(text.find(L'\n', end + 1), text.size()), capacity);
        }
    }

    wchar_t untouched = kGuard;
    copyWholeLines(L"abc", &untouched, 0);
    EXPECT_EQ(untouched, kGuard);
}

TEST(SettingsCopies, ANumberAcrossTheCutIsDroppedNotShortened)
{
    // "KbIndPos=26;" straddles the end of the 1024-unit buffer.
    std::wstring text = kHeader;
    while (text.size() < kSettingsTextCapacity - 8)
        text += L";filler comment line\n";
    text.resize(kSettingsTextCapacity - 8);
    text += L"\nKbIndPos=26;\nScaling=1;";
    std::wstring const copy = copyLines(text, kSettingsTextCapacity);
    EXPECT_EQ(copy.find(L"KbIndPos"), std::wstring::npos);
    EXPECT_EQ(4, readPosition(copy));
    EXPECT_EQ(26, readPosition(text));
}

TEST(SettingsCopies, CopyTextTakesAtMostCapacityMinusOne)
{
    std::pair<size_t, wchar_t const*> const rows[] = {
        {10, L"hello"}, {6, L"hello"}, {5, L"hell"}, {2, L"h"}, {1, L""}};
    for (auto const& row : rows) {
        SCOPED_TRACE(row.first);
        std::vector<wchar_t> dest(row.first + 1, kGuard);
        EXPECT_EQ(std::wcslen(row.second), copyText(dest.data(), row.first, L"hello"));
        EXPECT_EQ(row.second, std::wstring(dest.data()));
        EXPECT_EQ(kGuard, dest[row.first]);
    }
    wchar_t untouched = kGuard;
    EXPECT_EQ(0u, copyText(&untouched, 0, L"abc"));
    EXPECT_EQ(kGuard, untouched);
}
