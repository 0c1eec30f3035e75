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

    OsdRect rect = {right, bottom, textWidth, textHeight};
    switch (position) {
    case 1:
        rect.x = left;
        rect.y = top;
        break;
    case 2:
        rect.x = right;
        rect.y = top;
        break;
    case 3:
        rect.x = left;
        rect.y = bottom;
        break;
    case 5:
        rect.x = left;
        rect.y = middle;
        break;
    case 6:
        rect.x = right;
        rect.y = middle;
        break;
    default: // 4 and every unknown code
        break;
    }
    return rect;
}

uint32_t osdTextColour(uint32_t textColour, uint32_t backColour)
{
    if (textColour != backColour)
        return textColour;
    return backColour < kWhite ? textColour + 1 : textColour - 1;
}
