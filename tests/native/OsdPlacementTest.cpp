#include "osd/OsdPlacement.h"

#include <gtest/gtest.h>

namespace {

struct Size {
    int width;
    int height;
};

Size const kScreens[] = {{800, 480}, {800, 600}, {1024, 768}};
Size const kTexts[] = {{90, 40}, {91, 41}, {1, 1}, {150, 97}};

// The position table, read column by column.
bool onLeft(int code)
{
    return code == 1 || code == 3 || code == 5;
}

bool onTop(int code)
{
    return code == 1 || code == 2;
}

bool inMiddle(int code)
{
    return code == 5 || code == 6;
}

} // namespace

TEST(OsdPlacement, KnownPlaces)
{
    OsdRect const topRight = placeOsd(2, 800, 480, 90, 40);
    EXPECT_EQ(705, topRight.x);
    EXPECT_EQ(5, topRight.y);

    OsdRect const midLeft = placeOsd(5, 800, 480, 90, 40);
    EXPECT_EQ(5, midLeft.x);
    EXPECT_EQ(217, midLeft.y);

    uint8_t const bottomRightCodes[] = {0, 4, 9, 7, 255};
    for (uint8_t code : bottomRightCodes) {
        OsdRect const rect = placeOsd(code, 800, 480, 90, 40);
        EXPECT_EQ(705, rect.x) << int(code);
        EXPECT_EQ(435, rect.y) << int(code);
    }
}

TEST(OsdPlacement, EveryCodeOnEveryScreen)
{
    int const margin = 5;
    for (Size const screen : kScreens) {
        for (Size const textSize : kTexts) {
            for (int code = 0; code <= 255; ++code) {
                int const x = onLeft(code) ? margin : screen.width - textSize.width - margin;
                int y = screen.height - textSize.height - margin;
                if (onTop(code))
                    y = margin;
                else if (inMiddle(code))
                    y = (screen.height - textSize.height - margin) / 2;

                OsdRect const rect =
                    placeOsd(uint8_t(code), screen.width, screen.height, textSize.width, textSize.height);
                EXPECT_EQ(x, rect.x) << code << " on " << screen.width << "x" << screen.height;
                EXPECT_EQ(y, rect.y) << code << " on " << screen.width << "x" << screen.height;
                EXPECT_EQ(textSize.width, rect.width);
                EXPECT_EQ(textSize.height, rect.height);
            }
        }
    }
}

TEST(OsdPlacement, MiddleSitsAboveCentre)
{
    // 600 - 41 - 5 = 554 halves to 277; centred would be 279.
    EXPECT_EQ(277, placeOsd(6, 800, 600, 90, 41).y);
    // An odd remainder is cut: 768 - 40 - 5 = 723 gives 361.
    EXPECT_EQ(361, placeOsd(5, 1024, 768, 90, 40).y);
}

TEST(OsdPlacement, TextTallerThanTheScreenTruncatesTowardZero)
{
    // 100 - 200 - 5 = -105 halves to -52, not -53.
    EXPECT_EQ(-52, placeOsd(5, 800, 100, 90, 200).y);
    EXPECT_EQ(-105, placeOsd(4, 800, 100, 90, 200).y);
    EXPECT_EQ(-395, placeOsd(2, 300, 100, 690, 200).x);
}

TEST(OsdTextColour, DistinctColoursStay)
{
    EXPECT_EQ(0x0000FFu, osdTextColour(0x0000FF, 0xF0F0F0));
    EXPECT_EQ(0xF0F0F1u, osdTextColour(0xF0F0F1, 0xF0F0F0));
    EXPECT_EQ(0xFFFFFFu, osdTextColour(0xFFFFFF, 0xF0F0F0));
}

TEST(OsdTextColour, EqualColoursMoveOneUnitOff)
{
    EXPECT_EQ(0xF0F0F1u, osdTextColour(0xF0F0F0, 0xF0F0F0));
    EXPECT_EQ(1u, osdTextColour(0, 0));
    EXPECT_EQ(0xFFFFFFu, osdTextColour(0xFFFFFE, 0xFFFFFE));
    // White cannot go up.
    EXPECT_EQ(0xFFFFFEu, osdTextColour(0xFFFFFF, 0xFFFFFF));
}
