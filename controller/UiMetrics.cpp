#include "controller/UiMetrics.h"

#include "common/HandleOwners.h"

float screenDpi()
{
    ScopedGetDC const screen(nullptr);
    return float(GetDeviceCaps(screen.get(), LOGPIXELSX));
}

int scaleToDpi(int distance)
{
    return int(double(screenDpi()) / 96.0 * distance);
}

void applyUiFontFlags(LOGFONTW& font, unsigned flags)
{
    if (flags & Antialiased)
        font.lfQuality = ANTIALIASED_QUALITY;
    auto exactlyOne = [flags](unsigned first, unsigned second) {
        return ((flags & first) != 0) != ((flags & second) != 0);
    };
    if (exactlyOne(Bold, Normal))
        font.lfWeight = (flags & Bold) ? FW_BOLD : FW_NORMAL;
    if (exactlyOne(Italic, NoItalic))
        font.lfItalic = (flags & Italic) ? 1 : 0;
    if (exactlyOne(Underline, NoUnderline))
        font.lfUnderline = (flags & Underline) ? 1 : 0;
    if (exactlyOne(StrikeOut, NoStrikeOut))
        font.lfStrikeOut = (flags & StrikeOut) ? 1 : 0;
}

LOGFONTW iconTitleFont()
{
    LOGFONTW font = {};
    SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0);
    return font;
}

HFONT makeUiFont(unsigned flags)
{
    LOGFONTW font = iconTitleFont();
    if (flags != 0)
        applyUiFontFlags(font, flags);
    return CreateFontIndirectW(&font);
}
