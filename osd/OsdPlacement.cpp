#include "osd/OsdPlacement.h"

namespace {

int const kOsdMargin = 5;
uint32_t const kWhite = 16777215;

} // namespace

OsdRect placeOsd(uint8_t position, OsdArea const& area, int textWidth, int textHeight)
{
    int const left = area.left + kOsdMargin;
    int const right = area.left + area.width - textWidth - kOsdMargin;
    int const top = area.top + kOsdMargin;
    int const bottom = area.top + area.height - textHeight - kOsdMargin;
    // The margin is taken off before halving, so the middle positions sit two
    // or three pixels above the centre.
    int const middle = area.top + (area.height - textHeight - kOsdMargin) / 2;

    // 1 top-left, 2 top-right, 3 bottom-left, 5 mid-left, 6 mid-right; 4
    // and every unknown code bottom-right.
    bool const onLeft = position == 1 || position == 3 || position == 5;
    int const y = position == 1 || position == 2   ? top
                  : position == 5 || position == 6 ? middle
                                                   : bottom;
    return {onLeft ? left : right, y, textWidth, textHeight};
}

uint32_t osdTextColour(uint32_t textColour, uint32_t backColour)
{
    if (textColour != backColour)
        return textColour;
    return backColour < kWhite ? textColour + 1 : textColour - 1;
}
