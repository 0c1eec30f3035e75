// Line grammar, value forms and byte handling of the settings files.
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

wchar_t const kGuard = L'#';

struct Lookup {
    bool found;
    std::wstring value;
};

// Runs the lookup with a guard unit past `capacity`, so that an overrun or a
// missing terminator shows up as a failure of the calling test.
Lookup lookUp(std::wstring const& text, wchar_t const* key,
              size_t capacity = kSettingsValueCapacity)
{
    std::vector<wchar_t> dest(capacity + 1, kGuard);
    bool const found = findSettingValue(text.c_str(), key, dest.data(), capacity);
    EXPECT_EQ(dest[capacity], kGuard) << "lookup wrote past its capacity";
    auto const end = dest.begin() + std::ptrdiff_t(capacity);
    auto const terminator = std::find(dest.begin(), end, L'\0');
    EXPECT_NE(terminator, end) << "value is not terminated within its capacity";
    if (terminator == end)
        return {found, std::wstring()};
    std::wstring value(dest.data());
    EXPECT_EQ(found, !value.empty()) << "result disagrees with the copied value";
    return {found, value};
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
    size_t const written = encodeSettingsText(
        text.c_str(), reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
    EXPECT_EQ(written, needed);
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

uint8_t readPosition(std::wstring const& text)
{
    // The loader keeps KbIndPos in 8 bits.
    return static_cast<uint8_t>(readNumberSetting(text.c_str(), L"KbIndPos", 4));
}

int32_t readMode(std::wstring const& text)
{
    return readModeSetting(text.c_str());
}

std::wstring const kHeader = L"[KOVIX Tool resolution settings]\n";

} // namespace

// ---------------------------------------------------------------------------
// Header line
// ---------------------------------------------------------------------------

TEST(SettingsHeaderLine, FirstLineIsNeverAKeyEvenWhenItLooksLikeOne)
{
    std::wstring const text = L"KbIndPos=2;\nScaling=1;";
    EXPECT_FALSE(lookUp(text, L"KbIndPos").found);
    EXPECT_EQ(lookUp(text, L"Scaling").value, L"1");
    EXPECT_EQ(readPosition(text), 4);
}

TEST(SettingsHeaderLine, EmptyLinesBeforeTheHeaderAreSkipped)
{
    // The header is the first non-empty line, so the second KbIndPos decides.
    EXPECT_EQ(lookUp(L"\n\n\nKbIndPos=2;\nKbIndPos=3;", L"KbIndPos").value, L"3");
    EXPECT_EQ(lookUp(L"\n\n[any header]\nKbIndPos=2;", L"KbIndPos").value, L"2");
}

TEST(SettingsHeaderLine, AFileHoldingOnlyItsHeaderFindsNothing)
{
    for (std::wstring const text : {L"[KOVIX Tool resolution settings]",
                                    L"[KOVIX Tool resolution settings]\n\n\n",
                                    L"\nResolution=1024,768;\n"}) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_FALSE(lookUp(text, L"Resolution").found);
        EXPECT_EQ(readMode(text), 1);
        EXPECT_FALSE(readFlagSetting(text.c_str(), L"NumLock", false));
        EXPECT_TRUE(readFlagSetting(text.c_str(), L"KbInd", true));
        EXPECT_EQ(readPosition(text), 4);
    }
}

TEST(SettingsHeaderLine, EmptyTextFindsNothing)
{
    EXPECT_FALSE(lookUp(L"", L"KbIndPos").found);
    EXPECT_FALSE(lookUp(L"\n\n", L"KbIndPos").found);
}

// ---------------------------------------------------------------------------
// Comments and section headings
// ---------------------------------------------------------------------------

TEST(SettingsComments, SemicolonInFirstColumnMakesAComment)
{
    EXPECT_FALSE(lookUp(kHeader + L";KbIndPos=2;", L"KbIndPos").found);
    // A comment is not a "first match": the key line after it decides.
    EXPECT_EQ(lookUp(kHeader + L";KbIndPos=2;\nKbIndPos=3;", L"KbIndPos").value, L"3");
}

TEST(SettingsComments, SemicolonAfterALeadingSpaceIsJustADelimiter)
{
    EXPECT_EQ(lookUp(kHeader + L" ;KbIndPos=2;", L"KbIndPos").value, L"2");
    EXPECT_EQ(readPosition(kHeader + L" ;KbIndPos=2;"), 2);
}

TEST(SettingsSections, KeysAreFoundUnderAnyHeadingOrNone)
{
    EXPECT_EQ(lookUp(kHeader + L"KbIndPos=2;\n[OSD Settings]", L"KbIndPos").value, L"2");
    EXPECT_EQ(lookUp(kHeader + L"[OSD Settings]\nKbIndPos=2;", L"KbIndPos").value, L"2");
    EXPECT_EQ(lookUp(kHeader + L"[Something else]\nKbIndPos=2;", L"KbIndPos").value, L"2");
    // The first key line wins whatever section it stands in.
    EXPECT_EQ(lookUp(kHeader + L"[A]\nKbIndPos=5;\n[B]\nKbIndPos=2;", L"KbIndPos").value,
              L"5");
}

TEST(SettingsSections, HeadingLinesAreNeverKeyLines)
{
    EXPECT_FALSE(lookUp(kHeader + L"[KbIndPos=2;", L"KbIndPos").found);
    EXPECT_EQ(lookUp(kHeader + L"[KbIndPos=2;\nKbIndPos=3;", L"KbIndPos").value, L"3");
    // Only the first column counts: a '[' later in the line is part of a token.
    EXPECT_EQ(lookUp(kHeader + L"KbIndPos=[2];", L"KbIndPos").value, L"[2]");
}

// ---------------------------------------------------------------------------
// Delimiters " =;"
// ---------------------------------------------------------------------------

TEST(SettingsDelimiters, AllWrittenFormsGiveTheSameValue)
{
    for (wchar_t const* line :
         {L"KbIndPos=2;", L"KbIndPos 2", L"KbIndPos = 2 ;", L"KbIndPos;2", L"KbIndPos=2",
          L"  KbIndPos==;; 2;;;", L"=KbIndPos=2=", L"KbIndPos=2;trailing words"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(line)));
        EXPECT_EQ(lookUp(kHeader + line, L"KbIndPos").value, L"2");
    }
}

TEST(SettingsDelimiters, OnlyTheSecondTokenIsTheValue)
{
    EXPECT_EQ(lookUp(kHeader + L"KbIndPos=2 3;", L"KbIndPos").value, L"2");
    EXPECT_EQ(lookUp(kHeader + L"Resolution=800,600;", L"Resolution").value, L"800,600");
    EXPECT_EQ(lookUp(kHeader + L"Resolution=800, 600;", L"Resolution").value, L"800,");
}

TEST(SettingsDelimiters, OtherWhiteSpaceIsPartOfATokenNotADelimiter)
{
    // A tab glues key and value into one token that is not the key.
    EXPECT_FALSE(lookUp(kHeader + L"KbIndPos\t2", L"KbIndPos").found);
    EXPECT_FALSE(lookUp(kHeader + L"\tKbIndPos=2", L"KbIndPos").found);
    EXPECT_EQ(lookUp(kHeader + L"KbIndPos=\t2", L"KbIndPos").value, L"\t2");
    EXPECT_EQ(readPosition(kHeader + L"KbIndPos=\t2"), 2);
}

TEST(SettingsDelimiters, LinesOfDelimitersOnlyAreSkipped)
{
    EXPECT_EQ(lookUp(kHeader + L" = ; \n=\n;;\nKbIndPos=2;", L"KbIndPos").value, L"2");
}

// ---------------------------------------------------------------------------
// Key comparison
// ---------------------------------------------------------------------------

TEST(SettingsKeyCase, LettersAToZCompareWithoutCase)
{
    EXPECT_EQ(lookUp(kHeader + L"kbindpos = 2 ;", L"KbIndPos").value, L"2");
    EXPECT_EQ(lookUp(kHeader + L"KBINDPOS=2;", L"KbIndPos").value, L"2");
    EXPECT_EQ(lookUp(kHeader + L"KbIndPos=2;", L"kBiNdPoS").value, L"2");
    EXPECT_EQ(readPosition(kHeader + L"kbindpos = 2 ;"), 2);
}

TEST(SettingsKeyCase, NoOtherCharactersFold)
{
    // E acute: lower U+00E9, upper U+00C9.
    EXPECT_FALSE(lookUp(kHeader + L"Caf\u00e9=1;", L"CAF\u00c9").found);
    EXPECT_FALSE(lookUp(kHeader + L"CAF\u00c9=1;", L"caf\u00e9").found);
    EXPECT_EQ(lookUp(kHeader + L"Caf\u00e9=1;", L"CAF\u00e9").value, L"1");
    // Pairs 0x20 apart that are not letters: a bit-flip fold would match them.
    EXPECT_FALSE(lookUp(kHeader + L"K@=1;", L"K`").found);
    EXPECT_FALSE(lookUp(kHeader + L"K[=1;", L"K{").found);
    EXPECT_FALSE(lookUp(kHeader + L"K^=1;", L"K~").found);
    EXPECT_FALSE(lookUp(kHeader + L"K_=1;", L"K\u007f").found);
    EXPECT_FALSE(lookUp(kHeader + L"K1=1;", L"K\u0011").found);
}

TEST(SettingsKeyCase, KeysMatchWholeNotByPrefix)
{
    std::wstring const text = kHeader + L"KbIndPos=2;\nKbIndClr=5;";
    EXPECT_FALSE(lookUp(text, L"KbInd").found);
    EXPECT_FALSE(lookUp(kHeader + L"KbInd=1;", L"KbIndPos").found);
    EXPECT_FALSE(lookUp(text, L"KbIndPosX").found);
    EXPECT_FALSE(lookUp(text, L"").found);
}

// ---------------------------------------------------------------------------
// First match wins; keys without value
// ---------------------------------------------------------------------------

TEST(SettingsFirstMatch, FirstKeyLineDecidesEvenWithoutAValue)
{
    std::wstring const text = kHeader + L"KbIndPos=;\nKbIndPos=2;";
    EXPECT_FALSE(lookUp(text, L"KbIndPos").found);
    EXPECT_EQ(readPosition(text), 4);
    EXPECT_FALSE(lookUp(kHeader + L"KbIndPos\nKbIndPos=2;", L"KbIndPos").found);
    EXPECT_FALSE(lookUp(kHeader + L"kbindpos ;\nKbIndPos=2;", L"KbIndPos").found);
}

TEST(SettingsFirstMatch, FirstOfTwoValuesWins)
{
    EXPECT_EQ(lookUp(kHeader + L"KbIndPos=5;\nKbIndPos=2;", L"KbIndPos").value, L"5");
    EXPECT_EQ(lookUp(kHeader + L"kbindpos=5;\nKbIndPos=2;", L"KbIndPos").value, L"5");
}

TEST(SettingsKeyWithoutValue, LookupFailsAndReadersTakeTheirFallback)
{
    for (wchar_t const* line : {L"Scaling", L"Scaling=", L"Scaling=;", L"Scaling ; = "}) {
        std::wstring const text = kHeader + line;
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_FALSE(lookUp(text, L"Scaling").found);
        EXPECT_TRUE(readFlagSetting(text.c_str(), L"Scaling", true));
        EXPECT_EQ(readNumberSetting(text.c_str(), L"Scaling", -7), -7);
        EXPECT_EQ(readGlyphColourSetting(text.c_str(), L"Scaling", 65280u), 65280u);
    }
}

TEST(SettingsLookup, TextIsLeftUnchanged)
{
    std::wstring const original = kHeader + L"KbIndPos = 2 ;\n[OSD]\n;c\nKbInd=1";
    std::vector<wchar_t> text(original.begin(), original.end());
    text.push_back(L'\0');
    wchar_t value[kSettingsValueCapacity];
    findSettingValue(text.data(), L"KbIndPos", value, kSettingsValueCapacity);
    findSettingValue(text.data(), L"KbInd", value, kSettingsValueCapacity);
    findSettingValue(text.data(), L"Missing", value, kSettingsValueCapacity);
    EXPECT_EQ(std::wstring(text.data()), original);
}

// ---------------------------------------------------------------------------
// Value capacity
// ---------------------------------------------------------------------------

TEST(SettingsValueCapacity, NinetyNineUnitsFitTheValueBuffer)
{
    std::wstring const value(99, L'7');
    EXPECT_EQ(lookUp(kHeader + L"KbIndClr=" + value + L";", L"KbIndClr").value, value);
}

TEST(SettingsValueCapacity, LongerValuesFailWithAnEmptyDestination)
{
    std::wstring const text = kHeader + L"KbIndClr=" + std::wstring(100, L'7') + L";";
    EXPECT_FALSE(lookUp(text, L"KbIndClr").found);
    // A value too long to read is missing, not a saturated number.
    EXPECT_EQ(readNumberSetting(text.c_str(), L"KbIndClr", 12616523), 12616523);
    EXPECT_EQ(readGlyphColourSetting(text.c_str(), L"KbIndClr", 65535u), 65535u);
    // A cut "1024,768xxx..." would still read as 1024,768; only 99 units may.
    EXPECT_EQ(readMode(kHeader + L"Resolution=1024,768" + std::wstring(91, L'x')), 6);
    EXPECT_EQ(readMode(kHeader + L"Resolution=1024,768" + std::wstring(92, L'x')), 1);
}

TEST(SettingsValueCapacity, SmallCapacitiesAcceptExactlyWhatFits)
{
    std::wstring const text = kHeader + L"Resolution=800,600;";
    EXPECT_EQ(lookUp(text, L"Resolution", 8).value, L"800,600");
    EXPECT_FALSE(lookUp(text, L"Resolution", 7).found);
    EXPECT_FALSE(lookUp(text, L"Resolution", 1).found);
    EXPECT_EQ(lookUp(kHeader + L"KbInd=1;", L"KbInd", 2).value, L"1");
}

TEST(SettingsValueCapacity, ZeroCapacityWritesNothing)
{
    wchar_t dest = kGuard;
    EXPECT_FALSE(findSettingValue((kHeader + L"KbInd=1").c_str(), L"KbInd", &dest, 0));
    EXPECT_EQ(dest, kGuard);
}

TEST(SettingsValueCapacity, FailedLookupEmptiesAPreviouslyFilledDestination)
{
    wchar_t dest[kSettingsValueCapacity] = L"stale";
    EXPECT_FALSE(findSettingValue((kHeader + L"KbInd=;").c_str(), L"KbInd", dest,
                                  kSettingsValueCapacity));
    EXPECT_EQ(dest[0], L'\0');
}

// ---------------------------------------------------------------------------
// Decimal numbers
// ---------------------------------------------------------------------------

TEST(SettingsDecimal, LeadingWhiteSpaceAndSign)
{
    EXPECT_EQ(readDecimal(L" \t\n\v\f\r42"), 42);
    EXPECT_EQ(readDecimal(L"+7"), 7);
    EXPECT_EQ(readDecimal(L"-7"), -7);
    EXPECT_EQ(readDecimal(L"  -13"), -13);
    EXPECT_EQ(readDecimal(L"- 7"), 0);
    EXPECT_EQ(readDecimal(L"+-7"), 0);
    EXPECT_EQ(readDecimal(L"--7"), 0);
    EXPECT_EQ(readDecimal(L"-0"), 0);
    EXPECT_EQ(readDecimal(L"-"), 0);
    EXPECT_EQ(readDecimal(L"+"), 0);
}

TEST(SettingsDecimal, ReadingStopsAtTheFirstOtherCharacter)
{
    EXPECT_EQ(readDecimal(L"12abc"), 12);
    EXPECT_EQ(readDecimal(L"12 34"), 12);
    EXPECT_EQ(readDecimal(L"1.9"), 1);
    EXPECT_EQ(readDecimal(L"800,600"), 800);
    EXPECT_EQ(readDecimal(L"0x1"), 0);
    EXPECT_EQ(readDecimal(L"0000000000000000000000000042"), 42);
}

TEST(SettingsDecimal, NoDigitsGiveZero)
{
    EXPECT_EQ(readDecimal(L""), 0);
    EXPECT_EQ(readDecimal(L"   "), 0);
    EXPECT_EQ(readDecimal(L"abc"), 0);
    EXPECT_EQ(readDecimal(L"x1"), 0);
    // Only ASCII digits count: Arabic-Indic one, full-width one.
    EXPECT_EQ(readDecimal(L"\u0661"), 0);
    EXPECT_EQ(readDecimal(L"\uff11"), 0);
}

TEST(SettingsDecimal, LimitsOfTheRangeReadExactly)
{
    EXPECT_EQ(readDecimal(L"2147483647"), INT32_MAX);
    EXPECT_EQ(readDecimal(L"2147483646"), INT32_MAX - 1);
    EXPECT_EQ(readDecimal(L"-2147483648"), INT32_MIN);
    EXPECT_EQ(readDecimal(L"-2147483647"), INT32_MIN + 1);
}

TEST(SettingsDecimal, OutOfRangeSaturates)
{
    EXPECT_EQ(readDecimal(L"2147483648"), INT32_MAX);
    EXPECT_EQ(readDecimal(L"-2147483649"), INT32_MIN);
    EXPECT_EQ(readDecimal(L"99999999999"), INT32_MAX);
    EXPECT_EQ(readDecimal(L"-99999999999"), INT32_MIN);
    // 2^32 + 1 and 2^64 + 1: wrapping 32- or 64-bit arithmetic would read 1.
    EXPECT_EQ(readDecimal(L"4294967297"), INT32_MAX);
    EXPECT_EQ(readDecimal(L"18446744073709551617"), INT32_MAX);
    EXPECT_EQ(readDecimal(L"-18446744073709551617"), INT32_MIN);
    EXPECT_EQ(readDecimal(std::wstring(500, L'9').c_str()), INT32_MAX);
    EXPECT_EQ(readDecimal((L"-" + std::wstring(500, L'9')).c_str()), INT32_MIN);
    EXPECT_EQ(readDecimal(L"99999999999x5"), INT32_MAX);
}

TEST(SettingsFlag, NonZeroNumberIsOn)
{
    EXPECT_TRUE(parseFlag(L"1"));
    EXPECT_TRUE(parseFlag(L"5"));
    EXPECT_TRUE(parseFlag(L"-1"));
    EXPECT_TRUE(parseFlag(L"99999999999"));
    EXPECT_FALSE(parseFlag(L"0"));
    EXPECT_FALSE(parseFlag(L"00"));
    EXPECT_FALSE(parseFlag(L"-0"));
    EXPECT_FALSE(parseFlag(L"0x1"));
    EXPECT_FALSE(parseFlag(L"on"));
    EXPECT_FALSE(parseFlag(L""));
}

TEST(SettingsFlag, ScalingWrittenInHexReadsOff)
{
    EXPECT_FALSE(readFlagSetting((kHeader + L"Scaling=0x1;").c_str(), L"Scaling", true));
    EXPECT_TRUE(readFlagSetting((kHeader + L"Scaling=5;").c_str(), L"Scaling", false));
}

// ---------------------------------------------------------------------------
// Colours and position
// ---------------------------------------------------------------------------

TEST(SettingsGlyphColour, OverflowTakesTheFallback)
{
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckBG=99999999999;").c_str(), L"NumLckBG",
                                     0u),
              0u);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckFG=99999999999;").c_str(), L"NumLckFG",
                                     65280u),
              65280u);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"CpsLckFG=-99999999999;").c_str(), L"CpsLckFG",
                                     65535u),
              65535u);
}

TEST(SettingsGlyphColour, ExactLimitsAreRejectedToo)
{
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"ScrLckFG=2147483647;").c_str(), L"ScrLckFG",
                                     16776960u),
              16776960u);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"ScrLckFG=-2147483648;").c_str(), L"ScrLckFG",
                                     16776960u),
              16776960u);
}

TEST(SettingsGlyphColour, OtherNumbersAreKeptAsTheirBits)
{
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckBG=8487297;").c_str(), L"NumLckBG", 0u),
              8487297u);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckBG=-5;").c_str(), L"NumLckBG", 0u),
              0xFFFFFFFBu);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckBG=2147483646;").c_str(), L"NumLckBG",
                                     0u),
              2147483646u);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckBG=-2147483647;").c_str(), L"NumLckBG",
                                     0u),
              0x80000001u);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckBG=0;").c_str(), L"NumLckBG", 5u), 0u);
    EXPECT_EQ(readGlyphColourSetting((kHeader + L"NumLckBG=green;").c_str(), L"NumLckBG", 5u),
              0u);
}

TEST(SettingsKbIndClr, OverflowIsTakenAsRead)
{
    EXPECT_EQ(readNumberSetting((kHeader + L"KbIndClr=99999999999;").c_str(), L"KbIndClr",
                                12616523),
              INT32_MAX);
    EXPECT_EQ(readNumberSetting((kHeader + L"KbIndClr=-99999999999;").c_str(), L"KbIndClr",
                                12616523),
              INT32_MIN);
    EXPECT_EQ(readNumberSetting((kHeader + L"Other=1;").c_str(), L"KbIndClr", 12616523),
              12616523);
}

TEST(SettingsKbIndPos, LowEightBitsOfTheNumber)
{
    EXPECT_EQ(readPosition(kHeader + L"KbIndPos=260;"), 4);
    EXPECT_EQ(readPosition(kHeader + L"KbIndPos=-1;"), 255);
    EXPECT_EQ(readPosition(kHeader + L"KbIndPos=256;"), 0);
    EXPECT_EQ(readPosition(kHeader + L"KbIndPos=7;"), 7);
    EXPECT_EQ(readPosition(kHeader + L"KbIndPos=99999999999;"), 255);
    EXPECT_EQ(readPosition(kHeader + L"KbIndPos=-99999999999;"), 0);
    EXPECT_EQ(readPosition(kHeader + L"Other=2;"), 4);
}

// ---------------------------------------------------------------------------
// Resolution
// ---------------------------------------------------------------------------

TEST(SettingsResolution, OnlyTheTwoNamedPairsSelectAMode)
{
    EXPECT_EQ(readMode(kHeader + L"Resolution=1024,768;"), 6);
    EXPECT_EQ(readMode(kHeader + L"Resolution=800,600;"), 2);
    EXPECT_EQ(readMode(kHeader + L"Resolution=800,480;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution=640,480;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution=1024,600;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution=768,1024;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution=600,800;"), 1);
}

TEST(SettingsResolution, MissingOrCommaLessValuesGiveTheDefaultMode)
{
    EXPECT_EQ(readMode(kHeader + L"Scaling=0;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution=;"), 1);
    EXPECT_EQ(modeFromResolutionValue(L"800"), 1);
    EXPECT_EQ(modeFromResolutionValue(L"800600"), 1);
    EXPECT_EQ(modeFromResolutionValue(L"1024x768"), 1);
    EXPECT_EQ(modeFromResolutionValue(L""), 1);
}

TEST(SettingsResolution, HeightIsReadJustAfterTheFirstComma)
{
    EXPECT_EQ(modeFromResolutionValue(L"1024,768,5"), 6);
    EXPECT_EQ(modeFromResolutionValue(L"800,600abc"), 2);
    EXPECT_EQ(modeFromResolutionValue(L"+800,+600"), 2);
    EXPECT_EQ(modeFromResolutionValue(L"0800,0600"), 2);
    EXPECT_EQ(modeFromResolutionValue(L"800,\t600"), 2);
    EXPECT_EQ(modeFromResolutionValue(L"800,,600"), 1);
    EXPECT_EQ(modeFromResolutionValue(L",600"), 1);
    EXPECT_EQ(modeFromResolutionValue(L"800x,600"), 2);
}

TEST(SettingsResolution, SpacesInsideThePairCutTheValue)
{
    // A space ends the value token, so only the pieces before it are read.
    EXPECT_EQ(readMode(kHeader + L"Resolution=800, 600;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution= 800 , 600;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution=800 ,600;"), 1);
    EXPECT_EQ(readMode(kHeader + L"Resolution = 800,600 ;"), 2);
    EXPECT_EQ(readMode(kHeader + L"Resolution 1024,768"), 6);
    EXPECT_EQ(readMode(kHeader + L"Resolution=800,\t600;"), 2);
}

// ---------------------------------------------------------------------------
// Bytes on disk
// ---------------------------------------------------------------------------

TEST(SettingsDecode, CrLfBecomesOneLineEnd)
{
    EXPECT_EQ(decode("a\r\nb\r\n"), L"a\nb\n");
    EXPECT_EQ(decode("\r\n\r\n"), L"\n\n");
    EXPECT_EQ(decode("a\nb"), L"a\nb");
}

TEST(SettingsDecode, LoneCarriageReturnIsKept)
{
    EXPECT_EQ(decode("a\rb"), L"a\rb");
    EXPECT_EQ(decode("a\r"), L"a\r");
    EXPECT_EQ(decode("\r\r\n"), L"\r\n");
    EXPECT_EQ(decode("\n\r"), L"\n\r");
}

TEST(SettingsDecode, EveryByteIsTheCharacterOfTheSameCode)
{
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes.push_back(char(b));
    std::wstring const text = decode(bytes);
    ASSERT_EQ(text.size(), 255u);
    for (size_t i = 0; i < text.size(); ++i)
        EXPECT_EQ(unsigned(text[i]), i + 1) << "byte " << i + 1;
}

TEST(SettingsDecode, NulReadsAsALineEnd)
{
    std::string const bytes("[H]\0KbIndPos=2;\0\0Scaling=1;", 27);
    std::wstring const text = decode(bytes);
    EXPECT_EQ(text, L"[H]\nKbIndPos=2;\n\nScaling=1;");
    EXPECT_EQ(lookUp(text, L"KbIndPos").value, L"2");
    EXPECT_EQ(lookUp(text, L"Scaling").value, L"1");
}

TEST(SettingsDecode, EmptyInputGivesAnEmptyText)
{
    EXPECT_EQ(decode(""), L"");
}

TEST(SettingsEncode, LineEndsBecomeCrLf)
{
    EXPECT_EQ(encode(L"a\nb"), "a\r\nb");
    EXPECT_EQ(encode(L"\n\n"), "\r\n\r\n");
    EXPECT_EQ(encode(L""), "");
}

TEST(SettingsEncode, CharactersAbove255BecomeQuestionMarks)
{
    EXPECT_EQ(encode(L"\u00ff\u0100x\u20ac"), "\xff?x?");
    EXPECT_EQ(encode(L"\u0080\u00e9"), "\x80\xe9");
}

TEST(SettingsEncode, SizeQueryAndShortBuffers)
{
    std::wstring const text = L"ab\ncd";
    EXPECT_EQ(encodeSettingsText(text.c_str(), nullptr, 0), 6u);
    for (size_t capacity = 0; capacity <= 8; ++capacity) {
        SCOPED_TRACE(capacity);
        std::string dest(capacity + 1, '#');
        size_t const needed = encodeSettingsText(
            text.c_str(), reinterpret_cast<unsigned char*>(&dest[0]), capacity);
        EXPECT_EQ(needed, 6u);
        EXPECT_EQ(dest[capacity], '#') << "wrote past its capacity";
        size_t const written = std::min(capacity, needed);
        EXPECT_EQ(dest.substr(0, written), std::string("ab\r\ncd").substr(0, written));
    }
}

TEST(SettingsEncode, DecodingTheEncodingGivesTheTextBack)
{
    std::wstring text = L"[H]\nA=1;\r\n\r\rB\n\n";
    for (wchar_t c = 1; c < 256; ++c)
        text.push_back(c);
    EXPECT_EQ(decode(encode(text)), text);
}

// ---------------------------------------------------------------------------
// Bounded copies
// ---------------------------------------------------------------------------

TEST(SettingsCopyWholeLines, TextThatFitsIsCopiedWhole)
{
    std::wstring const text = L"ab\ncd\n";
    EXPECT_EQ(copyLines(text, 7), text);
    EXPECT_EQ(copyLines(text, 100), text);
    std::wstring const full(kSettingsTextCapacity - 1, L'x');
    EXPECT_EQ(copyLines(full, kSettingsTextCapacity), full);
}

TEST(SettingsCopyWholeLines, LongTextIsCutAtTheLastLineEndThatFits)
{
    std::wstring const text = L"ab\ncd\nef";
    EXPECT_EQ(copyLines(text, 9), text);
    EXPECT_EQ(copyLines(text, 8), L"ab\ncd");
    EXPECT_EQ(copyLines(text, 6), L"ab\ncd");
    EXPECT_EQ(copyLines(text, 5), L"ab");
    EXPECT_EQ(copyLines(text, 3), L"ab");
    EXPECT_EQ(copyLines(text, 2), L"");
    EXPECT_EQ(copyLines(text, 1), L"");
    EXPECT_EQ(copyLines(L"a very long first line\nb", 10), L"");
}

TEST(SettingsCopyWholeLines, EveryCapacityGivesTheLongestWholeLinePrefix)
{
    std::wstring const text = L"[H]\n\nKey=1;\nLonger=22;\n\n;c\nLast";
    for (size_t capacity = 1; capacity <= text.size() + 2; ++capacity) {
        SCOPED_TRACE(capacity);
        std::wstring const copy = copyLines(text, capacity);
        ASSERT_LT(copy.size(), capacity);
        ASSERT_EQ(text.compare(0, copy.size(), copy), 0) << "not a prefix";
        // It ends where a line ends, and no later line end would still fit.
        size_t const end = copy.size();
        EXPECT_TRUE(end == 0 || end == text.size() || text[end] == L'\n');
        size_t const nextEnd = std::min(text.find(L'\n', end + 1), text.size());
        if (end < text.size()) {
            EXPECT_GE(nextEnd, capacity);
        }
    }
}

TEST(SettingsCopyWholeLines, ANumberAcrossTheCutIsDroppedNotShortened)
{
    // Fill up so that "KbIndPos=26;" straddles the end of the 1024-unit buffer.
    std::wstring text = kHeader;
    while (text.size() < kSettingsTextCapacity - 8)
        text += L";filler comment line\n";
    text.resize(kSettingsTextCapacity - 8);
    text += L"\nKbIndPos=26;\nScaling=1;";
    ASSERT_GT(text.size(), kSettingsTextCapacity - 1);
    std::wstring const copy = copyLines(text, kSettingsTextCapacity);
    EXPECT_EQ(copy.find(L"KbIndPos"), std::wstring::npos);
    EXPECT_EQ(readPosition(copy), 4);
    EXPECT_EQ(readPosition(text), 26);
}

TEST(SettingsCopyWholeLines, ZeroCapacityWritesNothing)
{
    wchar_t dest = kGuard;
    copyWholeLines(L"abc", &dest, 0);
    EXPECT_EQ(dest, kGuard);
}

TEST(SettingsCopyText, CopiesAtMostCapacityMinusOne)
{
    struct Case {
        size_t capacity;
        wchar_t const* expected;
    };
    for (Case const c : {Case{10, L"hello"}, Case{6, L"hello"}, Case{5, L"hell"},
                         Case{2, L"h"}, Case{1, L""}}) {
        SCOPED_TRACE(c.capacity);
        std::vector<wchar_t> dest(c.capacity + 1, kGuard);
        size_t const copied = copyText(dest.data(), c.capacity, L"hello");
        EXPECT_EQ(std::wstring(dest.data()), c.expected);
        EXPECT_EQ(copied, std::wcslen(c.expected));
        EXPECT_EQ(dest[c.capacity], kGuard);
    }
}

TEST(SettingsCopyText, ZeroCapacityWritesNothing)
{
    wchar_t dest = kGuard;
    EXPECT_EQ(copyText(&dest, 0, L"abc"), 0u);
    EXPECT_EQ(dest, kGuard);
}
