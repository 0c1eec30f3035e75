// DPI scaling and the UI font, on the real GDI of the test display.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "controller/UiMetrics.h"
#include "tests/win/WinTestSupport.h"

namespace {

LOGFONTW systemIconTitleFont()
{
    LOGFONTW font = {};
    SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0);
    return font;
}

LOGFONTW describe(HFONT font)
{
    LOGFONTW described = {};
    GetObjectW(font, sizeof(described), &described);
    return described;
}

TEST(UiFont, NoFlagsGiveTheIconTitleFontAndFlagPairsActOnlyWhenOneIsGiven)
{
    LOGFONTW const system = systemIconTitleFont();
    HFONT font = makeUiFont(0);
    ASSERT_NE(nullptr, font);
    LOGFONTW made = describe(font);
    EXPECT_EQ(system.lfHeight, made.lfHeight);
    EXPECT_EQ(system.lfWeight, made.lfWeight);
    EXPECT_EQ(std::wstring(system.lfFaceName), std::wstring(made.lfFaceName));
    DeleteObject(font);

    font = makeUiFont(Bold | Antialiased);
    made = describe(font);
    EXPECT_EQ(FW_BOLD, made.lfWeight);
    EXPECT_EQ(ANTIALIASED_QUALITY, made.lfQuality);
    DeleteObject(font);

    font = makeUiFont(Bold | Normal);
    EXPECT_EQ(system.lfWeight, describe(font).lfWeight) << "both given: the system's weight";
    DeleteObject(font);

    font = makeUiFont(Italic | Underline | StrikeOut);
    made = describe(font);
    EXPECT_EQ(1, made.lfItalic);
    EXPECT_EQ(1, made.lfUnderline);
    EXPECT_EQ(1, made.lfStrikeOut);
    DeleteObject(font);

    // Opposite flags on a description that has every attribute set.
    LOGFONTW styled = system;
    styled.lfWeight = FW_BOLD;
    styled.lfItalic = styled.lfUnderline = styled.lfStrikeOut = 1;
    applyUiFontFlags(styled, Normal | NoItalic | NoUnderline | NoStrikeOut);
    EXPECT_EQ(FW_NORMAL, styled.lfWeight);
    EXPECT_EQ(0, styled.lfItalic);
    EXPECT_EQ(0, styled.lfUnderline);
    EXPECT_EQ(0, styled.lfStrikeOut);
    LOGFONTW both = styled;
    applyUiFontFlags(both, Italic | NoItalic | Underline | NoUnderline);
    EXPECT_EQ(styled.lfItalic, both.lfItalic);
    EXPECT_EQ(styled.lfUnderline, both.lfUnderline);
}

// Child: print the DPI and three scaled distances as its exit code parts.
KOVIX_CHILD_MODE(dpi)
{
    std::string const line = std::to_string(int(screenDpi())) + " " +
                             std::to_string(scaleToDpi(155)) + " " +
                             std::to_string(scaleToDpi(19)) + " " + std::to_string(scaleToDpi(324));
    writeFileBytes(wintest::folderOf(ownExecutablePath()) + L"\\dpi.txt", line);
    return 0;
}

std::string scaledAt(DWORD dpi)
{
    TempFolder folder;
    std::wstring const exe = copySelfInto(folder, L"dpi.exe");
    wintest::ScopedLogPixels setting(dpi);
    EXPECT_EQ(0, runProcess(exe, L"--child dpi"));
    return readFileBytes(folder.file(L"dpi.txt"));
}

TEST(ScaleToDpi, TruncatesTheScaledDistanceAtCommonSettings)
{
    EXPECT_EQ("96 155 19 324", scaledAt(96));
    EXPECT_EQ("120 193 23 405", scaledAt(120));
    EXPECT_EQ("144 232 28 486", scaledAt(144));
}

} // namespace
