#include "tray/GlyphIcon.h"

#include <commctrl.h>
#include <shellapi.h>

#include "tray/GdiScope.h"
#include "tray/GlyphLayout.h"

namespace {

class ScopedImageList {
public:
    explicit ScopedImageList(HIMAGELIST list) : list_(list) {}
    ~ScopedImageList()
    {
        if (list_ != nullptr)
            ImageList_Destroy(list_);
    }
    ScopedImageList(ScopedImageList const&) = delete;
    ScopedImageList& operator=(ScopedImageList const&) = delete;

    HIMAGELIST get() const { return list_; }

private:
    HIMAGELIST list_;
};

// Paints the background square and the text into `bitmap`. The memory
// context is gone when this returns, so the image list may take the bitmap.
void paintGlyph(HDC screen, HBITMAP bitmap, HBRUSH brush, wchar_t const* text,
                COLORREF textColour, COLORREF backColour, HFONT font)
{
    ScopedMemoryDC memory(screen);
    HDC const dc = memory.get();
    ScopedSelect const selectBitmap(dc, bitmap);
    ScopedSelect const selectBrush(dc, brush);
    RECT const square = {0, 0, kGlyphIconSize, kGlyphIconSize};
    FillRect(dc, &square, brush);

    SetBkColor(dc, backColour);
    ScopedSelect const selectFont(dc, font);
    SetTextColor(dc, textColour);

    // "H" places every glyph, so "a" and "A" sit at the same spot.
    INT widthOfH = 0;
    GetCharWidth32W(dc, L'H', L'H', &widthOfH);
    int const length = text != nullptr ? lstrlenW(text) : 0;
    if (length > 0)
        TextOutW(dc, glyphLeft(widthOfH), 0, text, length);
}

} // namespace

HICON makeGlyphIcon(wchar_t const* text, COLORREF textColour, COLORREF backColour, HFONT font)
{
    ScopedGetDC const screen(nullptr);
    int const depth = GetDeviceCaps(screen.get(), BITSPIXEL);
    ScopedGdiObj<HBITMAP> bitmap(
        CreateBitmap(kGlyphIconSize, kGlyphIconSize, 1, UINT(depth), nullptr));
    LOGBRUSH brushStyle = {};
    brushStyle.lbStyle = BS_SOLID;
    brushStyle.lbColor = backColour;
    brushStyle.lbHatch = 0;
    ScopedGdiObj<HBRUSH> brush(CreateBrushIndirect(&brushStyle));

    paintGlyph(screen.get(), bitmap.get(), brush.get(), text, textColour, backColour, font);

    ScopedImageList const list(
        ImageList_Create(kGlyphIconSize, kGlyphIconSize, ILC_COLORDDB | ILC_MASK, 1, 0));
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

    // Asked by file type only, so the shell does not open the file.
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(path, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                       SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES) != 0 &&
        info.hIcon != nullptr)
        return info.hIcon;

    return LoadIconW(nullptr, IDI_QUESTION);
}
