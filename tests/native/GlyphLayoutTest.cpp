#include "tray/GlyphLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/native/NativeTestSupport.h"

TEST(GlyphLeft, FontWidthsAndTruncationTowardZero)
{
    // The font widths of the tray glyphs, then odd overhangs: 19 gives
    // -3 / 2 = -1, rounded toward zero, not down.
    int const rows[][2] = {{10, 4}, {17, 1}, {18, 0}, {19, 0}, {21, -1}, {40, -11}, {1, 8}, {0, 9}};
    for (auto const& row : rows)
        EXPECT_EQ(row[1], glyphLeft(16, row[0])) << "width " << row[0];
    for (int width = 0; width <= 16; width += 2) {
        int const spaceRight = 16 - (glyphLeft(16, width) + width);
        EXPECT_EQ(spaceRight + 2, glyphLeft(16, width)) << "even widths sit one pixel right of centre";
    }
    EXPECT_LT(glyphLeft(16, INT_MAX), 0);
    EXPECT_GT(glyphLeft(16, INT_MIN), 0);
}

TEST(FittedGlyphFontHeight, ACellTooHighShrinksKeepingTheHeightsMeaning)
{
    // {font height, its cell, icon height, next font height}
    int const rows[][4] = {{-11, 13, 16, -11}, {-17, 20, 16, -13}, {20, 20, 16, 16}, {-12, 13, 12, -11},
                           {0, 19, 16, 16}, {-1, 40, 16, -1}, {-9, 30, 0, -9}, {INT_MIN + 1, INT_MAX, 16, -16}};
    for (auto const& row : rows)
        EXPECT_EQ(row[3], fittedGlyphFontHeight(row[0], row[1], row[2])) << row[0] << " in " << row[2];
}

TEST(LockTable, PollOrderKeysRecordsAndTexts)
{
    ASSERT_EQ(3u, kLockCount);
    struct Row {
        LockKey lock;
        int virtualKey;
        size_t trayIndex; // record 0 is the main icon
        wchar_t const *glyphOn, *glyphOff, *tipOn, *tipOff;
    };
    // In poll order.
    Row const rows[] = {
        {LockKey::Scroll, 145, 3, L"S", L"", L"Scroll lock is ON", L"Scroll lock is OFF"},
        {LockKey::Caps, 20, 2, L"A", L"a", L"Caps lock is ON", L"Caps lock is OFF"},
        {LockKey::Num, 144, 1, L"N", L"", L"Num lock is ON", L"Num lock is OFF"},
    };
    for (size_t i = 0; i < kLockCount; ++i) {
        Row const& row = rows[i];
        SCOPED_TRACE(text(row.tipOn));
        EXPECT_EQ(row.lock, kLockPollOrder[i]);
        EXPECT_EQ(row.virtualKey, lockVirtualKey(row.lock));
        EXPECT_EQ(row.trayIndex, lockTrayIndex(row.lock));
        EXPECT_EQ(row.glyphOn, text(lockGlyph(row.lock, true)));
        EXPECT_EQ(row.glyphOff, text(lockGlyph(row.lock, false)));
        EXPECT_EQ(row.tipOn, text(lockTip(row.lock, true)));
        EXPECT_EQ(row.tipOff, text(lockTip(row.lock, false)));
    }
}
