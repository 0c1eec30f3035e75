#include "tray/GlyphLayout.h"

#include <stdint.h>

LockRow const kLockTable[kLockCount] = {
    {LockKey::Num, 144, L"N", L"Num lock is ON", L"", L"Num lock is OFF", L"Num lock", L"NumLock",
     L"NumLckBG", L"NumLckFG", 0, 65280},
    {LockKey::Caps, 20, L"A", L"Caps lock is ON", L"a", L"Caps lock is OFF", L"Caps lock",
     L"CapsLock", L"CpsLckBG", L"CpsLckFG", 0, 65535},
    {LockKey::Scroll, 145, L"S", L"Scroll lock is ON", L"", L"Scroll lock is OFF", L"Scroll lock",
     L"ScrlLock", L"ScrLckBG", L"ScrLckFG", 0, 16776960},
};

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

LockRow const& lockRow(LockKey lock)
{
    for (LockRow const& row : kLockTable) {
        if (row.key == lock)
            return row;
    }
    return kLockTable[0];
}

int lockVirtualKey(LockKey lock)
{
    return lockRow(lock).virtualKey;
}

size_t lockTrayIndex(LockKey lock)
{
    return size_t(&lockRow(lock) - kLockTable) + 1;
}

wchar_t const* lockGlyph(LockKey lock, bool on)
{
    LockRow const& row = lockRow(lock);
    return on ? row.glyphOn : row.glyphOff;
}

wchar_t const* lockTip(LockKey lock, bool on)
{
    LockRow const& row = lockRow(lock);
    return on ? row.tipOn : row.tipOff;
}
