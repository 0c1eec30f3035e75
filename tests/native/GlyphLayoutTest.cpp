#include "tray/GlyphLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

namespace {

std::wstring text(wchar_t const* s)
{
    return s == nullptr ? std::wstring(L"(null)") : std::wstring(s);
}

} // namespace

TEST(GlyphLeft, KnownFontWidths)
{
    EXPECT_EQ(4, glyphLeft(10));
    EXPECT_EQ(1, glyphLeft(17));
    EXPECT_EQ(0, glyphLeft(18));
}

TEST(GlyphLeft, HalvingTruncatesTowardZero)
{
    // Odd overhangs round toward zero, not down: 19 gives -3 / 2 = -1.
    EXPECT_EQ(0, glyphLeft(19));
    EXPECT_EQ(-1, glyphLeft(21));
    EXPECT_EQ(-11, glyphLeft(40));
    EXPECT_EQ(8, glyphLeft(1));
    EXPECT_EQ(9, glyphLeft(0));
}

TEST(GlyphLeft, EvenWidthsSitOnePixelRightOfCentre)
{
    for (int width = 0; width <= kGlyphIconSize; width += 2) {
        int const left = glyphLeft(width);
        int const spaceRight = kGlyphIconSize - (left + width);
        EXPECT_EQ(spaceRight + 2, left) << width;
    }
}

TEST(GlyphLeft, AbsurdMetricsDoNotOverflow)
{
    EXPECT_LT(glyphLeft(INT_MAX), 0);
    EXPECT_GT(glyphLeft(INT_MIN), 0);
}

TEST(LockTable, PollOrderIsScrollCapsNum)
{
    ASSERT_EQ(3u, kLockCount);
    EXPECT_EQ(LockKey::Scroll, kLockPollOrder[0]);
    EXPECT_EQ(LockKey::Caps, kLockPollOrder[1]);
    EXPECT_EQ(LockKey::Num, kLockPollOrder[2]);
}

TEST(LockTable, VirtualKeys)
{
    EXPECT_EQ(145, lockVirtualKey(LockKey::Scroll)); // VK_SCROLL
    EXPECT_EQ(20, lockVirtualKey(LockKey::Caps));    // VK_CAPITAL
    EXPECT_EQ(144, lockVirtualKey(LockKey::Num));    // VK_NUMLOCK
}

TEST(LockTable, EachLockHasItsOwnTrayRecordAfterTheMainIcon)
{
    EXPECT_EQ(3u, lockTrayIndex(LockKey::Scroll));
    EXPECT_EQ(2u, lockTrayIndex(LockKey::Caps));
    EXPECT_EQ(1u, lockTrayIndex(LockKey::Num));
    std::set<size_t> indices;
    for (LockKey lock : kLockPollOrder)
        indices.insert(lockTrayIndex(lock));
    EXPECT_EQ(kLockCount, indices.size());
    EXPECT_EQ(0u, indices.count(0)); // record 0 is the main icon
}

TEST(LockTable, ScrollLockTexts)
{
    EXPECT_EQ(L"S", text(lockGlyph(LockKey::Scroll, true)));
    EXPECT_EQ(L"Scroll lock is ON", text(lockTip(LockKey::Scroll, true)));
    EXPECT_EQ(L"", text(lockGlyph(LockKey::Scroll, false)));
    EXPECT_EQ(L"Scroll lock is OFF", text(lockTip(LockKey::Scroll, false)));
}

TEST(LockTable, CapsLockTexts)
{
    EXPECT_EQ(L"A", text(lockGlyph(LockKey::Caps, true)));
    EXPECT_EQ(L"Caps lock is ON", text(lockTip(LockKey::Caps, true)));
    EXPECT_EQ(L"a", text(lockGlyph(LockKey::Caps, false)));
    EXPECT_EQ(L"Caps lock is OFF", text(lockTip(LockKey::Caps, false)));
}

TEST(LockTable, NumLockTexts)
{
    EXPECT_EQ(L"N", text(lockGlyph(LockKey::Num, true)));
    EXPECT_EQ(L"Num lock is ON", text(lockTip(LockKey::Num, true)));
    EXPECT_EQ(L"", text(lockGlyph(LockKey::Num, false)));
    EXPECT_EQ(L"Num lock is OFF", text(lockTip(LockKey::Num, false)));
}
