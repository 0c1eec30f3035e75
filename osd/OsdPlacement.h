// Where the OSD window goes on the screen, and the colour its text is drawn in.
#pragma once

#include <stdint.h>

struct OsdRect {
    int x;
    int y;
    int width;
    int height;
};

// Position codes: 1 top-left, 2 top-right, 3 bottom-left, 4 bottom-right,
// 5 mid-left, 6 mid-right; every other code is bottom-right. The window keeps
// 5 pixels from the screen's edges and is exactly as big as its text.
OsdRect placeOsd(uint8_t position, int screenWidth, int screenHeight, int textWidth,
                 int textHeight);

// The background doubles as the transparency key, so text of the same colour
// would vanish: it is moved one unit off (down when the background is white).
uint32_t osdTextColour(uint32_t textColour, uint32_t backColour);
