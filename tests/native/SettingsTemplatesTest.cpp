// The texts the program writes, and reading them back.
#include "settings/SettingsTemplates.h"
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

wchar_t const kGuard = L'#';

std::wstring joinLines(std::vector<std::wstring> const& lines)
{
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += L'\n';
        text += lines[i];
    }
    return text;
}

// Resolution.ini as the program first writes it, one entry per line.
std::vector<std::wstring> const kExpectedResolutionLines = {
    L"[KOVIX Tool resolution settings]",
    L"Resolution=800,480;",
    L"Scaling=0;",
    L"Minimized=0;",
    L";For transparency, use '8487297'. Eg. \"NumLckBG=8487297;\"",
    L"NumLock=1;",
    L"NumLckBG=0;",
    L"NumLckFG=65280;",
    L"CapsLock=1;",
    L"CpsLckBG=0;",
    L"CpsLckFG=65535;",
    L"ScrlLock=1;",
    L"ScrLckBG=0;",
    L"ScrLckFG=16776960;",
    L"",
    L"[OSD Settings]",
    L";For extra OSD settings go to OSD.ini",
    L";OSD keyboard indicator on\\off",
    L"KbInd=1;",
    L";Color of the OSD keyboard indicator",
    L"KbIndClr=12616523;",
    L";Position of the OSD, 1 = top-left, 2 = top-right, 3 = bottom-left, 4 = bottom-right, "
    L"5 = mid-left, 6 = mid-right",
    L"KbIndPos=4;",
};

std::wstring expectedResolutionText()
{
    return joinLines(kExpectedResolutionLines);
}

std::wstring const kExpectedOsdText = joinLines({
    L"[KOVIX Tool OSD settings]",
    L";To enable\\disable the OSD, position on screen settings and text color check "
    L"Resolution.ini",
    L"CpuLoad=1;",
    L"MemLoad=1;",
});

std::wstring defaultResolution()
{
    std::vector<wchar_t> dest(kSettingsTextCapacity + 1, kGuard);
    defaultResolutionText(dest.data(), kSettingsTextCapacity);
    EXPECT_EQ(dest[kSettingsTextCapacity], kGuard);
    return std::wstring(dest.data());
}

struct Formatted {
    bool complete;
    std::wstring text;
};

Formatted format(wchar_t const* pattern, std::vector<int32_t> const& values, size_t capacity)
{
    std::vector<wchar_t> dest(capacity + 1, kGuard);
    bool const complete =
        formatSettingsTemplate(pattern, values.data(), int(values.size()), dest.data(), capacity);
    EXPECT_EQ(dest[capacity], kGuard) << "wrote past its capacity";
    if (capacity == 0)
        return {complete, std::wstring()};
    return {complete, std::wstring(dest.data())};
}

Formatted formatResolution(int32_t const (&values)[kResolutionTemplateArgs],
                           size_t capacity = kSettingsTextCapacity)
{
    std::vector<wchar_t> dest(capacity + 1, kGuard);
    bool const complete = formatResolutionSettings(values, dest.data(), capacity);
    EXPECT_EQ(dest[capacity], kGuard) << "wrote past its capacity";
    return {complete, std::wstring(dest.data())};
}

// What the loader takes from a Resolution.ini text, with the documented
// values for missing keys.
struct LoadedSettings {
    int32_t mode;
    bool scaling, minimized, numLock, capsLock, scrlLock, kbInd;
    uint32_t numLckBG, numLckFG, cpsLckBG, cpsLckFG, scrLckBG, scrLckFG;
    int32_t kbIndClr;
    uint8_t kbIndPos;
};

LoadedSettings load(std::wstring const& text)
{
    wchar_t const* t = text.c_str();
    LoadedSettings s;
    s.mode = readModeSetting(t);
    s.scaling = readFlagSetting(t, L"Scaling", false);
    s.minimized = readFlagSetting(t, L"Minimized", false);
    s.numLock = readFlagSetting(t, L"NumLock", false);
    s.capsLock = readFlagSetting(t, L"CapsLock", false);
    s.scrlLock = readFlagSetting(t, L"ScrlLock", false);
    s.kbInd = readFlagSetting(t, L"KbInd", true);
    s.numLckBG = readGlyphColourSetting(t, L"NumLckBG", 0);
    s.numLckFG = readGlyphColourSetting(t, L"NumLckFG", 65280);
    s.cpsLckBG = readGlyphColourSetting(t, L"CpsLckBG", 0);
    s.cpsLckFG = readGlyphColourSetting(t, L"CpsLckFG", 65535);
    s.scrLckBG = readGlyphColourSetting(t, L"ScrLckBG", 0);
    s.scrLckFG = readGlyphColourSetting(t, L"ScrLckFG", 16776960);
    s.kbIndClr = readNumberSetting(t, L"KbIndClr", 12616523);
    s.kbIndPos = static_cast<uint8_t>(readNumberSetting(t, L"KbIndPos", 4));
    return s;
}

} // namespace

// ---------------------------------------------------------------------------
// Default contents
// ---------------------------------------------------------------------------

TEST(ResolutionDefaultText, IsExactlyTheTwentyThreeLines)
{
    std::wstring const expected = expectedResolutionText();
    EXPECT_EQ(defaultResolution(), expected);
    EXPECT_EQ(kExpectedResolutionLines.size(), 23u);
}

TEST(ResolutionDefaultText, Has532CharactersAndNoFinalLineEnd)
{
    std::wstring const text = defaultResolution();
    EXPECT_EQ(text.size(), 532u);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\n');
}

TEST(ResolutionDefaultText, TemplateDiffersOnlyInItsSixteenPlaceholders)
{
    std::wstring const pattern(kResolutionTemplate);
    size_t placeholders = 0;
    for (size_t at = pattern.find(L"%d"); at != std::wstring::npos;
         at = pattern.find(L"%d", at + 2))
        ++placeholders;
    EXPECT_EQ(placeholders, 16u);
    // Line by line, the template has the fixed text of the default contents.
    std::vector<std::wstring> lines = kExpectedResolutionLines;
    lines[1] = L"Resolution=%d,%d;";
    for (size_t i : {2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 18, 20, 22}) {
        size_t const equals = lines[i].find(L'=');
        lines[i] = lines[i].substr(0, equals + 1) + L"%d;";
    }
    EXPECT_EQ(pattern, joinLines(lines));
}

TEST(ResolutionDefaultText, ShortBufferGetsACutTerminatedText)
{
    std::vector<wchar_t> dest(101, kGuard);
    defaultResolutionText(dest.data(), 100);
    EXPECT_EQ(dest[100], kGuard);
    EXPECT_EQ(std::wstring(dest.data()), expectedResolutionText().substr(0, 99));
}

TEST(OsdDefaultText, IsExactlyTheFourLinesOf139Characters)
{
    EXPECT_EQ(std::wstring(kOsdDefaultText), kExpectedOsdText);
    EXPECT_EQ(std::wstring(kOsdDefaultText).size(), 139u);
}

// ---------------------------------------------------------------------------
// Widest output
// ---------------------------------------------------------------------------

TEST(ResolutionTemplateWidth, WidestOutputIs666AndFitsTheTextBuffer)
{
    // -2147483648 is the longest decimal a 32-bit argument prints as.
    int32_t widest[kResolutionTemplateArgs];
    for (int32_t& v : widest)
        v = INT32_MIN;
    Formatted const out = formatResolution(widest);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.text.size(), 666u);
    EXPECT_LT(out.text.size(), kSettingsTextCapacity);
    EXPECT_EQ(readNumberSetting(out.text.c_str(), L"KbIndClr", 0), INT32_MIN);
}

TEST(ResolutionTemplateWidth, WidestValuesTheProgramHoldsFitToo)
{
    // 1024 x 768, flags on, every colour at its widest, position 255.
    int32_t const values[kResolutionTemplateArgs] = {
        1024,      768,       1, 1,         1,         INT32_MIN, INT32_MIN, 1,
        INT32_MIN, INT32_MIN, 1, INT32_MIN, INT32_MIN, 1,         INT32_MIN, 255};
    Formatted const out = formatResolution(values);
    EXPECT_TRUE(out.complete);
    EXPECT_LE(out.text.size(), 666u);
}

TEST(ResolutionTemplateWidth, OneUnitShortOfTheWidestIsReportedAsCut)
{
    int32_t widest[kResolutionTemplateArgs];
    for (int32_t& v : widest)
        v = INT32_MIN;
    Formatted const exact = formatResolution(widest, 667);
    EXPECT_TRUE(exact.complete);
    EXPECT_EQ(exact.text.size(), 666u);
    Formatted const cut = formatResolution(widest, 666);
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.text, exact.text.substr(0, 665));
}

// ---------------------------------------------------------------------------
// formatSettingsTemplate
// ---------------------------------------------------------------------------

TEST(FormatSettingsTemplate, PrintsSignedDecimals)
{
    Formatted const out =
        format(L"[%d|%d|%d|%d|%d]", {0, -1, 42, INT32_MAX, INT32_MIN}, 100);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.text, L"[0|-1|42|2147483647|-2147483648]");
}

TEST(FormatSettingsTemplate, OtherPercentSignsAreCopied)
{
    Formatted const out = format(L"100% %x %", {7}, 100);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.text, L"100% %x %");
}

TEST(FormatSettingsTemplate, ExtraValuesAreIgnored)
{
    Formatted const out = format(L"a%db", {7, 8, 9}, 100);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.text, L"a7b");
}

TEST(FormatSettingsTemplate, MissingValuesAreReported)
{
    Formatted const out = format(L"%d,%d;", {5}, 100);
    EXPECT_FALSE(out.complete);
    EXPECT_EQ(out.text.compare(0, 2, L"5,"), 0);
}

TEST(FormatSettingsTemplate, CutIsReportedAndStaysWithinCapacity)
{
    // "a12345b" is 7 units.
    EXPECT_TRUE(format(L"a%db", {12345}, 8).complete);
    EXPECT_EQ(format(L"a%db", {12345}, 8).text, L"a12345b");
    for (size_t capacity = 1; capacity < 8; ++capacity) {
        SCOPED_TRACE(capacity);
        Formatted const out = format(L"a%db", {12345}, capacity);
        EXPECT_FALSE(out.complete);
        EXPECT_EQ(out.text, std::wstring(L"a12345b").substr(0, capacity - 1));
    }
}

TEST(FormatSettingsTemplate, ZeroCapacityWritesNothing)
{
    Formatted const out = format(L"a%db", {1}, 0);
    EXPECT_FALSE(out.complete);
}

// ---------------------------------------------------------------------------
// Reading written texts back
// ---------------------------------------------------------------------------

TEST(ResolutionRoundTrip, DefaultTextReadsAsTheDefaultSettings)
{
    // The lock flags are off when missing, so reading them on proves the text.
    LoadedSettings const s = load(defaultResolution());
    EXPECT_EQ(s.mode, 1);
    EXPECT_FALSE(s.scaling);
    EXPECT_FALSE(s.minimized);
    EXPECT_TRUE(s.numLock);
    EXPECT_TRUE(s.capsLock);
    EXPECT_TRUE(s.scrlLock);
    EXPECT_TRUE(s.kbInd);
    EXPECT_EQ(s.numLckBG, 0u);
    EXPECT_EQ(s.numLckFG, 65280u);
    EXPECT_EQ(s.cpsLckBG, 0u);
    EXPECT_EQ(s.cpsLckFG, 65535u);
    EXPECT_EQ(s.scrLckBG, 0u);
    EXPECT_EQ(s.scrLckFG, 16776960u);
    EXPECT_EQ(s.kbIndClr, 12616523);
    EXPECT_EQ(s.kbIndPos, 4);
}

TEST(ResolutionRoundTrip, EveryValueIsReadFromTheTextNotFromFallbacks)
{
    std::wstring const text = defaultResolution();
    wchar_t value[kSettingsValueCapacity];
    for (wchar_t const* key : {L"Resolution", L"Scaling", L"Minimized", L"NumLock", L"NumLckBG",
                               L"NumLckFG", L"CapsLock", L"CpsLckBG", L"CpsLckFG", L"ScrlLock",
                               L"ScrLckBG", L"ScrLckFG", L"KbInd", L"KbIndClr", L"KbIndPos"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(key)));
        EXPECT_TRUE(findSettingValue(text.c_str(), key, value, kSettingsValueCapacity));
    }
}

TEST(ResolutionRoundTrip, WrittenSettingsReadBackUnchanged)
{
    int32_t const values[kResolutionTemplateArgs] = {
        1024, 768, 1, 1, 0, 8487297, 255, 0, -5, 0x00ABCDEF, 1, 16777215, 1, 0, -1, 6};
    Formatted const out = formatResolution(values);
    ASSERT_TRUE(out.complete);
    LoadedSettings const s = load(out.text);
    EXPECT_EQ(s.mode, 6);
    EXPECT_TRUE(s.scaling);
    EXPECT_TRUE(s.minimized);
    EXPECT_FALSE(s.numLock);
    EXPECT_EQ(s.numLckBG, 8487297u);
    EXPECT_EQ(s.numLckFG, 255u);
    EXPECT_FALSE(s.capsLock);
    EXPECT_EQ(s.cpsLckBG, 0xFFFFFFFBu);
    EXPECT_EQ(s.cpsLckFG, 0x00ABCDEFu);
    EXPECT_TRUE(s.scrlLock);
    EXPECT_EQ(s.scrLckBG, 16777215u);
    EXPECT_EQ(s.scrLckFG, 1u);
    EXPECT_FALSE(s.kbInd);
    EXPECT_EQ(s.kbIndClr, -1);
    EXPECT_EQ(s.kbIndPos, 6);
}

TEST(ResolutionRoundTrip, ModesOtherThanTheDefaultSurviveTheTemplate)
{
    int32_t values[kResolutionTemplateArgs];
    for (int i = 0; i < kResolutionTemplateArgs; ++i)
        values[i] = kResolutionDefaultValues[i];
    values[0] = 800;
    values[1] = 600;
    EXPECT_EQ(load(formatResolution(values).text).mode, 2);
    values[0] = 1024;
    values[1] = 768;
    EXPECT_EQ(load(formatResolution(values).text).mode, 6);
}

TEST(ResolutionRoundTrip, OverflowedGlyphColoursComeBackAsFallbacks)
{
    int32_t values[kResolutionTemplateArgs];
    for (int i = 0; i < kResolutionTemplateArgs; ++i)
        values[i] = kResolutionDefaultValues[i];
    values[5] = INT32_MAX;  // NumLckBG
    values[6] = INT32_MIN;  // NumLckFG
    values[14] = INT32_MAX; // KbIndClr has no such rejection
    LoadedSettings const s = load(formatResolution(values).text);
    EXPECT_EQ(s.numLckBG, 0u);
    EXPECT_EQ(s.numLckFG, 65280u);
    EXPECT_EQ(s.kbIndClr, INT32_MAX);
}

TEST(ResolutionRoundTrip, DefaultTextSurvivesTheDiskEncoding)
{
    std::wstring const text = defaultResolution();
    size_t const needed = encodeSettingsText(text.c_str(), nullptr, 0);
    EXPECT_EQ(needed, 532u + 22u); // one CR per line end
    std::vector<unsigned char> bytes(needed);
    encodeSettingsText(text.c_str(), bytes.data(), bytes.size());
    std::vector<wchar_t> decoded(bytes.size() + 1);
    size_t const length = decodeSettingsBytes(bytes.data(), bytes.size(), decoded.data());
    EXPECT_EQ(std::wstring(decoded.data(), length), text);
}

TEST(OsdRoundTrip, DefaultTextSwitchesBothLinesOn)
{
    EXPECT_TRUE(readFlagSetting(kOsdDefaultText, L"CpuLoad", false));
    EXPECT_TRUE(readFlagSetting(kOsdDefaultText, L"MemLoad", false));
    wchar_t value[kSettingsValueCapacity];
    EXPECT_FALSE(findSettingValue(kOsdDefaultText, L"KbInd", value, kSettingsValueCapacity));
}
