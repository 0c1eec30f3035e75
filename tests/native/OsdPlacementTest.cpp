#include "osd/OsdPlacement.h"

#include <gtest/gtest.h>

TEST(OsdPlacement, KnownPlaces)
{
    OsdRect const topRight = placeOsd(2, {0, 0, 800, 480}, 90, 40);
    EXPECT_EQ(705, topRight.x);
    EXPECT_EQ(5, topRight.y);
    OsdRect const midLeft = placeOsd(5, {0, 0, 800, 480}, 90, 40);
    EXPECT_EQ(5, midLeft.x);
    EXPECT_EQ(217, midLeft.y);
    for (uint8_t code : {0, 4, 9, 7, 255}) {
        OsdRect const rect = placeOsd(code, {0, 0, 800, 480}, 90, 40);
        EXPECT_EQ(705, rect.x) << int(code);
        EXPECT_EQ(435, rect.y) << int(code);
    }
}

TEST(OsdPlacement, EveryCodeOnEveryScreen)
{
    // Left and top are 5 pixels in; the middle sits above centre, its odd
    // half cut: (600 - 41 - 5) / 2 = 277 where centred would be 279.
    struct Row {
        int screenWidth, screenHeight, textWidth, textHeight;
        int right, middle, bottom;
    };
    Row const rows[] = {
        {800, 480, 90, 40, 705, 217, 435},    {800, 480, 91, 41, 704, 217, 434},
        {800, 480, 1, 1, 794, 237, 474},      {800, 480, 150, 97, 645, 189, 378},
        {800, 600, 90, 40, 705, 277, 555},    {800, 600, 91, 41, 704, 277, 554},
        {800, 600, 1, 1, 794, 297, 594},      {800, 600, 150, 97, 645, 249, 498},
        {1024, 768, 90, 40, 929, 361, 723},   {1024, 768, 91, 41, 928, 361, 722},
        {1024, 768, 1, 1, 1018, 381, 762},    {1024, 768, 150, 97, 869, 333, 666},
    };
    for (Row const& row : rows) {
        // 1 top-left, 2 top-right, 3 bottom-left, 4 bottom-right, 5 mid-left,
        // 6 mid-right; every other code is bottom-right.
        int const xs[] = {row.right, 5, row.right, 5, row.right, 5, row.right};
        int const ys[] = {row.bottom, 5, 5, row.bottom, row.bottom, row.middle, row.middle};
        for (int code = 0; code <= 255; ++code) {
            OsdRect const rect = placeOsd(uint8_t(code), {0, 0, row.screenWidth, row.screenHeight},
                                          row.textWidth, row.textHeight);
            int const column = code <= 6 ? code : 0;
            SCOPED_TRACE(testing::Message() << "code " << code << " on " << row.screenWidth << "x"
                                            << row.screenHeight << ", text " << row.textWidth
                                            << "x" << row.textHeight);
            EXPECT_EQ(xs[column], rect.x);
            EXPECT_EQ(ys[column], rect.y);
            EXPECT_EQ(row.textWidth, rect.width);
            EXPECT_EQ(row.textHeight, rect.height);
        }
    }
}

TEST(OsdPlacement, AWorkAreaLessATaskbarHoldsTheWindowInsideIt)
{
    // A 90 x 40 text on 800x480, the taskbar 30 pixels at each edge in turn.
    OsdArea const bottomBar = {0, 0, 800, 450};
    EXPECT_EQ(405, placeOsd(4, bottomBar, 90, 40).y);
    EXPECT_EQ(202, placeOsd(6, bottomBar, 90, 40).y);
    OsdArea const topBar = {0, 30, 800, 450};
    EXPECT_EQ(35, placeOsd(2, topBar, 90, 40).y);
    EXPECT_EQ(232, placeOsd(5, topBar, 90, 40).y);
    OsdArea const leftBar = {30, 0, 770, 480};
    EXPECT_EQ(35, placeOsd(1, leftBar, 90, 40).x);
    EXPECT_EQ(705, placeOsd(4, leftBar, 90, 40).x);
}

TEST(OsdPlacement, TextTallerThanTheScreenTruncatesTowardZero)
{
    // 100 - 200 - 5 = -105 halves to -52, not -53.
    EXPECT_EQ(-52, placeOsd(5, {0, 0, 800, 100}, 90, 200).y);
    EXPECT_EQ(-105, placeOsd(4, {0, 0, 800, 100}, 90, 200).y);
    EXPECT_EQ(-395, placeOsd(2, {0, 0, 300, 100}, 690, 200).x);
}

TEST(OsdTextColour, OnlyAColourEqualToTheBackgroundMovesOneUnitOff)
{
    uint32_t const rows[][3] = {
        {0x0000FF, 0xF0F0F0, 0x0000FF}, {0xF0F0F1, 0xF0F0F0, 0xF0F0F1},
        {0xFFFFFF, 0xF0F0F0, 0xFFFFFF}, {0xF0F0F0, 0xF0F0F0, 0xF0F0F1},
        {0, 0, 1}, {0xFFFFFE, 0xFFFFFE, 0xFFFFFF},
        {0xFFFFFF, 0xFFFFFF, 0xFFFFFE}, // white cannot go up
    };
    for (auto const& row : rows)
        EXPECT_EQ(row[2], osdTextColour(row[0], row[1])) << std::hex << row[0] << " on " << row[1];
}
