#include "tray/GlyphIcon.h"

#include <commctrl.h>

#include "app/resource.h"
#include "common/HandleOwners.h"
#include "controller/UiMetrics.h"
#include "tray/GlyphLayout.h"

namespace {

// Paints the background square and the text into `bitmap`. The memory
// context is gone when this returns, so the image list may take the bitmap.
void paintGlyph(HDC screen, SIZE size, HBITMAP bitmap, HBRUSH brush, wchar_t const* text,
                COLORREF textColour, COLORREF backColour, HFONT font)
{
    ScopedMemoryDC memory(screen);
    HDC const dc = memory.get();
    ScopedSelect const selectBitmap(dc, bitmap);
    ScopedSelect const selectBrush(dc, brush);
    RECT const square = {0, 0, size.cx, size.cy};
    FillRect(dc, &square, brush);

    SetBkColor(dc, backColour);
    ScopedSelect const selectFont(dc, font);
    SetTextColor(dc, textColour);

    // "H" places every glyph, so "a" and "A" sit at the same spot.
    INT widthOfH = 0;
    GetCharWidth32W(dc, L'H', L'H', &widthOfH);
    int const length = text != nullptr ? lstrlenW(text) : 0;
    if (length > 0)
        TextOutW(dc, glyphLeft(size.cx, widthOfH), 0, text, length);
}

// Height of the font's character cell on the screen; 0 if it cannot be read.
int cellHeight(HDC screen, HFONT font)
{
    ScopedSelect const select(screen, font);
    TEXTMETRICW metrics = {};
    return GetTextMetricsW(screen, &metrics) ? int(metrics.tmHeight) : 0;
}

} // namespace

SIZE smallIconSize()
{
    SIZE const size = {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)};
    return size;
}

HFONT makeGlyphFont()
{
    LOGFONTW logFont = iconTitleFont();
    HFONT font = CreateFontIndirectW(&logFont);
    int const iconHeight = smallIconSize().cy;
    ScopedGetDC const screen(nullptr);
    // Font sizes come in steps, so a shrunk cell may still be a pixel too
    // high; each try is smaller than the last, and a few always suffice.
    for (int tries = 0; tries < 8 && font != nullptr; ++tries) {
        int const next =
            fittedGlyphFontHeight(logFont.lfHeight, cellHeight(screen.get(), font), iconHeight);
        if (next == logFont.lfHeight)
            break;
        logFont.lfHeight = next;
        DeleteObject(font);
        font = CreateFontIndirectW(&logFont);
    }
    return font;
}

HICON makeGlyphIcon(wchar_t const* text, COLORREF textColour, COLORREF backColour, HFONT font)
{
    SIZE const size = smallIconSize();
    ScopedGetDC const screen(nullptr);
    int const depth = GetDeviceCaps(screen.get(), BITSPIXEL);
    ScopedGdiObj<HBITMAP> bitmap(CreateBitmap(size.cx, size.cy, 1, UINT(depth), nullptr));
    LOGBRUSH brushStyle = {};
    brushStyle.lbStyle = BS_SOLID;
    brushStyle.lbColor = backColour;
    brushStyle.lbHatch = 0;
    ScopedGdiObj<HBRUSH> brush(CreateBrushIndirect(&brushStyle));

    paintGlyph(screen.get(), size, bitmap.get(), brush.get(), text, textColour, backColour, font);

    ScopedImageList const list(ImageList_Create(size.cx, size.cy, ILC_COLORDDB | ILC_MASK, 1, 0));
    ImageList_AddMasked(list.get(), bitmap.get(), kGlyphTransparentColour);
    // The image list holds its own copy of the pixels and the mask now.
    bitmap.reset();
    brush.reset();
    return ImageList_GetIcon(list.get(), 0, ILD_TRANSPARENT);
}

HICON getWindowIcon(HWND window)
{
    HICON const own = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
    if (own != nullptr) {
        // The window goes on using its icon; the caller gets one to destroy.
        HICON const copy = CopyIcon(own);
        if (copy != nullptr)
            return copy;
    }

    // The program's own picture, drawn from the image of that size (not
    // stretched from 16 px). Asking the shell by file type would give the
    // generic program icon, which users cannot tell from any other.
    HINSTANCE const module =
        window != nullptr ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE))
                          : nullptr;
    if (module != nullptr) {
        SIZE const size = smallIconSize();
        HANDLE const icon = LoadImageW(module, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON, size.cx,
                                       size.cy, LR_DEFAULTCOLOR);
        if (icon != nullptr)
            return static_cast<HICON>(icon);
    }

    return LoadIconW(nullptr, IDI_QUESTION);
}
