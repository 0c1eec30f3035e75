// The texts the program writes, and reading them back.
#include "settings/SettingsTemplates.h"
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

wchar_t const kGuard = L'#';

// A file as the program first writes it, from tests/resources (the file has
// the CRLF line ends the program writes; the template has plain LFs).
std::wstring goldenText(char const* name)
{
    std::FILE* const file = std::fopen((std::string(KOVIX_TEST_RESOURCES "/") + name).c_str(), "rb");
    std::wstring text;
    if (file == nullptr)
        return text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c != '\r')
            text += wchar_t(c);
    }
    std::fclose(file);
    return text;
}

std::wstring const kExpectedResolutionText = goldenText("default-Resolution.ini");
std::wstring const kExpectedOsdText = goldenText("default-OSD.ini");

std::wstring defaultResolution(size_t capacity = kSettingsTextCapacity)
{
    std::vector<wchar_t> dest(capacity + 1, kGuard);
    defaultResolutionText(dest.data(), capacity);
    EXPECT_EQ(dest[capacity], kGuard);
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
    return {complete, capacity == 0 ? std::wstring() : std::wstring(dest.data())};
}

Formatted formatResolution(std::vector<int32_t> const& values,
                           size_t capacity = kSettingsTextCapacity)
{
    EXPECT_EQ(size_t(kResolutionTemplateArgs), values.size());
    return format(kResolutionTemplate, values, capacity);
}

std::vector<int32_t> defaultValues()
{
    return std::vector<int32_t>(kResolutionDefaultValues,
                                kResolutionDefaultValues + kResolutionTemplateArgs);
}

// What the loader takes from a Resolution.ini text, with the documented
// fallbacks for missing keys, as one line.
std::string load(std::wstring const& text)
{
    wchar_t const* t = text.c_str();
    auto const flag = [t](wchar_t const* key, bool fallback) {
        return std::to_string(readFlagSetting(t, key, fallback));
    };
    auto const colour = [t](wchar_t const* key, uint32_t fallback) {
        return std::to_string(readGlyphColourSetting(t, key, fallback));
    };
    return "mode=" + std::to_string(readModeSetting(t)) + " scaling=" + flag(L"Scaling", false) +
           " minimized=" + flag(L"Minimized", false) + " num=" + flag(L"NumLock", false) +
           " caps=" + flag(L"CapsLock", false) + " scroll=" + flag(L"ScrlLock", false) +
           " kbInd=" + flag(L"KbInd", true) + " numBG=" + colour(L"NumLckBG", 0) +
           " numFG=" + colour(L"NumLckFG", 65280) + " capsBG=" + colour(L"CpsLckBG", 0) +
           " capsFG=" + colour(L"CpsLckFG", 65535) + " scrollBG=" + colour(L"ScrLckBG", 0) +
           " scrollFG=" + colour(L"ScrLckFG", 16776960) +
           " kbIndClr=" + std::to_string(readNumberSetting(t, L"KbIndClr", 12616523)) +
           " kbIndPos=" + std::to_string(uint8_t(readNumberSetting(t, L"KbIndPos", 4)));
}

} // namespace

TEST(DefaultTexts, ResolutionIsExactly532CharactersFromTheTemplate)
{
    EXPECT_EQ(kExpectedResolutionText, defaultResolution());
    EXPECT_EQ(532u, defaultResolution().size());
    // The template carries the same fixed text around its 16 placeholders.
    size_t placeholders = 0;
    std::wstring const pattern(kResolutionTemplate);
    for (size_t at = pattern.find(L"%d"); at != std::wstring::npos; at = pattern.find(L"%d", at + 2))
        ++placeholders;
    EXPECT_EQ(16u, placeholders);
    EXPECT_EQ(kExpectedResolutionText, formatResolution(defaultValues()).text);
    // A short buffer gets a cut, terminated text.
    EXPECT_EQ(kExpectedResolutionText.substr(0, 99), defaultResolution(100));
}

TEST(DefaultTexts, OsdIsExactly139Characters)
{
    EXPECT_EQ(kExpectedOsdText, std::wstring(kOsdDefaultText));
    EXPECT_EQ(139u, std::wstring(kOsdDefaultText).size());
}

TEST(ResolutionTemplate, WidestOutputIs666AndFitsTheTextBuffer)
{
    // -2147483648 is the longest decimal a 32-bit argument prints as.
    std::vector<int32_t> const widest(kResolutionTemplateArgs, INT32_MIN);
    Formatted const out = formatResolution(widest);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(666u, out.text.size());
    EXPECT_LT(out.text.size(), kSettingsTextCapacity);
    EXPECT_EQ(INT32_MIN, readNumberSetting(out.text.c_str(), L"KbIndClr", 0));

    Formatted const exact = formatResolution(widest, 667);
    EXPECT_TRUE(exact.complete);
    EXPECT_EQ(out.text, exact.text);
    Formatted const cut = formatResolution(widest, 666);
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(out.text.substr(0, 665), cut.text);
}

TEST(ResolutionTemplate, FormatPrintsSignedDecimalsAndReportsCutsAndMissingValues)
{
    struct Row {
        wchar_t const* pattern;
        std::vector<int32_t> values;
        wchar_t const* text;
    };
    Row const complete[] = {
        {L"[%d|%d|%d|%d|%d]", {0, -1, 42, INT32_MAX, INT32_MIN}, L"[0|-1|42|2147483647|-2147483648]"},
        {L"100% %x %", {7}, L"100% %x %"}, // other percent signs are copied
        {L"a%db", {7, 8, 9}, L"a7b"},       // extra values are ignored
        {L"a%db", {12345}, L"a12345b"},
    };
    for (Row const& row : complete) {
        Formatted const out = format(row.pattern, row.values, std::wcslen(row.text) + 1);
        EXPECT_TRUE(out.complete) << testing::PrintToString(row.pattern);
        EXPECT_EQ(row.text, out.text);
    }

    Formatted const missing = format(L"%d,%d;", {5}, 100);
    EXPECT_FALSE(missing.complete);
    EXPECT_EQ(0, missing.text.compare(0, 2, L"5,"));

    for (size_t capacity = 0; capacity < 8; ++capacity) {
        SCOPED_TRACE(capacity);
        Formatted const out = format(L"a%db", {12345}, capacity);
        EXPECT_FALSE(out.complete);
        if (capacity > 0) {
            EXPECT_EQ(std::wstring(L"a12345b").substr(0, capacity - 1), out.text);
        }
    }
}

TEST(ResolutionRoundTrip, DefaultAndWrittenSettingsReadBackUnchanged)
{
    // The lock flags are off when missing, so reading them on proves the text.
    EXPECT_EQ("mode=1 scaling=0 minimized=0 num=1 caps=1 scroll=1 kbInd=1 numBG=0 numFG=65280 "
              "capsBG=0 capsFG=65535 scrollBG=0 scrollFG=16776960 kbIndClr=12616523 kbIndPos=4",
              load(defaultResolution()));
    wchar_t value[kSettingsValueCapacity];
    for (wchar_t const* key : {L"Resolution", L"Scaling", L"Minimized", L"NumLock", L"NumLckBG",
                               L"NumLckFG", L"CapsLock", L"CpsLckBG", L"CpsLckFG", L"ScrlLock",
                               L"ScrLckBG", L"ScrLckFG", L"KbInd", L"KbIndClr", L"KbIndPos"})
        EXPECT_TRUE(findSettingValue(defaultResolution().c_str(), key, value,
                                     kSettingsValueCapacity))
            << "read from the text, not a fallback: " << testing::PrintToString(key);

    // Every value distinct from its neighbours, so any swap of placeholders shows.
    Formatted const out = formatResolution(
        {1024, 768, 1, 1, 0, 8487297, 255, 0, -5, 0x00ABCDEF, 1, 16777215, 1, 0, -1, 6});
    ASSERT_TRUE(out.complete);
    EXPECT_EQ("mode=6 scaling=1 minimized=1 num=0 caps=0 scroll=1 kbInd=0 numBG=8487297 numFG=255 "
              "capsBG=4294967291 capsFG=11259375 scrollBG=16777215 scrollFG=1 kbIndClr=-1 "
              "kbIndPos=6",
              load(out.text));

    std::vector<int32_t> values = defaultValues();
    values[0] = 800;
    values[1] = 600;
    EXPECT_EQ(2, readModeSetting(formatResolution(values).text.c_str()));
    // Overflowed glyph colours come back as fallbacks; KbIndClr has no such rejection.
    values[5] = INT32_MAX;  // NumLckBG
    values[6] = INT32_MIN;  // NumLckFG
    values[14] = INT32_MAX; // KbIndClr
    std::string const overflowed = load(formatResolution(values).text);
    EXPECT_NE(std::string::npos, overflowed.find(" numBG=0 numFG=65280 ")) << overflowed;
    EXPECT_NE(std::string::npos, overflowed.find(" kbIndClr=2147483647 ")) << overflowed;
}

TEST(ResolutionRoundTrip, DefaultTextSurvivesTheDiskEncoding)
{
    std::wstring const text = defaultResolution();
    size_t const needed = encodeSettingsText(text.c_str(), nullptr, 0);
    EXPECT_EQ(532u + 22u, needed); // one CR per line end
    std::vector<unsigned char> bytes(needed);
    encodeSettingsText(text.c_str(), bytes.data(), bytes.size());
    std::vector<wchar_t> decoded(bytes.size() + 1);
    size_t const length = decodeSettingsBytes(bytes.data(), bytes.size(), decoded.data());
    EXPECT_EQ(text, std::wstring(decoded.data(), length));
}

TEST(OsdRoundTrip, DefaultTextSwitchesBothLinesOn)
{
    EXPECT_TRUE(readFlagSetting(kOsdDefaultText, L"CpuLoad", false));
    EXPECT_TRUE(readFlagSetting(kOsdDefaultText, L"MemLoad", false));
    wchar_t value[kSettingsValueCapacity];
    EXPECT_FALSE(findSettingValue(kOsdDefaultText, L"KbInd", value, kSettingsValueCapacity));
}
