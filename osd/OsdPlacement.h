// Where the OSD window goes on the screen, and the colour its text is drawn in.
#pragma once

#include <stdint.h>

struct OsdRect {
    int x;
    int y;
    int width;
    int height;
};

// The part of the screen the OSD may use: the primary monitor's work area
// (the screen less the taskbar), in screen coordinates.
struct OsdArea {
    int left;
    int top;
    int width;
    int height;
};

// Position codes: 1 top-left, 2 top-right, 3 bottom-left, 4 bottom-right,
// 5 mid-left, 6 mid-right; every other code is bottom-right. The window keeps
// 5 pixels from the area's edges and is exactly as big as its text.
OsdRect placeOsd(uint8_t position, OsdArea const& area, int textWidth, int textHeight);

// The background doubles as the transparency key, so text of the same colour
// would vanish: it is moved one unit off (down when the background is white).
uint32_t osdTextColour(uint32_t textColour, uint32_t backColour);
