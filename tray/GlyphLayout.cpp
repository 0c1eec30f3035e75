#include "tray/GlyphLayout.h"

#include <stdint.h>

namespace {

struct LockRow {
    int virtualKey;
    size_t trayIndex;
    wchar_t const* glyphOn;
    wchar_t const* tipOn;
    wchar_t const* glyphOff;
    wchar_t const* tipOff;
};

LockRow const kScrollRow = {145, 3, L"S", L"Scroll lock is ON", L"", L"Scroll lock is OFF"};
LockRow const kCapsRow = {20, 2, L"A", L"Caps lock is ON", L"a", L"Caps lock is OFF"};
LockRow const kNumRow = {144, 1, L"N", L"Num lock is ON", L"", L"Num lock is OFF"};

LockRow const& rowOf(LockKey lock)
{
    switch (lock) {
    case LockKey::Scroll:
        return kScrollRow;
    case LockKey::Caps:
        return kCapsRow;
    case LockKey::Num:
    default:
        return kNumRow;
    }
}

} // namespace

int glyphLeft(int iconWidth, int widthOfH)
{
    // 64-bit so that no font metric, however absurd, overflows.
    int64_t const left = (int64_t(iconWidth) - widthOfH) / 2 + 1;
    return int(left);
}

int fittedGlyphFontHeight(int fontHeight, int cellHeight, int iconHeight)
{
    if (cellHeight <= iconHeight || iconHeight <= 0)
        return fontHeight;
    // 0 asks for the default size; a cell as high as the icon is the aim.
    if (fontHeight == 0)
        return iconHeight;
    int64_t const size = fontHeight < 0 ? -int64_t(fontHeight) : int64_t(fontHeight);
    // Below the size, as the icon is lower than the cell; at least 1.
    int64_t scaled = size * iconHeight / cellHeight;
    if (scaled < 1)
        scaled = 1;
    return int(fontHeight < 0 ? -scaled : scaled);
}

int lockVirtualKey(LockKey lock)
{
    return rowOf(lock).virtualKey;
}

size_t lockTrayIndex(LockKey lock)
{
    return rowOf(lock).trayIndex;
}

wchar_t const* lockGlyph(LockKey lock, bool on)
{
    LockRow const& row = rowOf(lock);
    return on ? row.glyphOn : row.glyphOff;
}

wchar_t const* lockTip(LockKey lock, bool on)
{
    LockRow const& row = rowOf(lock);
    return on ? row.tipOn : row.tipOff;
}
