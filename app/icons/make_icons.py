#!/usr/bin/env python3
"""Draws the program's icon: a small wide-screen monitor with a dark bezel, a
bright blue screen with a glare streak, a neck and a foot.

Regenerate both icon files (run from anywhere, then commit the results):

    python3 app/icons/make_icons.py

kovix.ico and kovix_small.ico hold the same ten images, in the order the
resource script's icon groups list them: 32 and 16 pixels in 16 colours,
48, 32 and 16 in 256 colours, 48, 32, 24, 20 and 16 in 32 bits with alpha
(24 and 20 are the small-icon sizes at 144 and 120 DPI, drawn rather than
stretched from 32 or 16). Every
image is a DIB (BITMAPINFOHEADER, colour bitmap, 1-bit mask), never PNG, so
that every Windows version can show it.
"""

import os
import struct

# Sizes and colour depths, in file order.
IMAGES = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (24, 32), (20, 32),
          (16, 32)]

# The standard 16-colour VGA palette, as (r, g, b).
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, GRAY, SILVER, BLUE, AQUA, WHITE = 0, 8, 7, 12, 14, 15

# Colours of the picture's parts in true colour, and the VGA entry each part
# takes in the 16-colour images (picked by hand: the nearest VGA colour of a
# soft blue is navy, which would make the screen look switched off).
FRAME = (0x1A, 0x1D, 0x22)      # outer edge of the bezel
BEZEL = (0x3A, 0x40, 0x49)
SCREEN_TOP = (0x5C, 0xBD, 0xFF)
SCREEN_BOTTOM = (0x12, 0x5E, 0xD6)
GLARE = (0xFF, 0xFF, 0xFF)
GLARE_ALPHA = 0.45
LED = (0x6E, 0xE0, 0x6E)
NECK = (0x7C, 0x84, 0x8E)
FOOT = (0xB4, 0xBB, 0xC3)
FOOT_EDGE = (0x5A, 0x61, 0x6A)
VGA_OF = {
    "frame": BLACK, "bezel": BLACK, "screen": BLUE, "glare": AQUA, "led": BLACK,
    "neck": GRAY, "foot": SILVER, "foot_edge": GRAY,
}

# Shades of the screen's gradient in the 256-colour images.
GRADIENT_STEPS = 24


class Layout:
    """The shapes of the picture for one pixel size, in pixel coordinates.

    Everything is laid out on a 16-unit grid and rounded to whole pixels, so
    edges stay crisp; the few places where the small size needs its own
    numbers say so.
    """

    def __init__(self, size):
        u = size / 16.0
        self.size = size
        # Monitor body: the full width, rows 1 to 12 of 16 (a 5:3 panel).
        self.body = (0, round(1 * u), size, round(12 * u))
        self.radius = 0 if size <= 16 else round(0.75 * u)
        side = max(1, round(1.0 * u))
        top = side
        bottom = side if size <= 16 else round(1.75 * u)  # room for the LED
        x0, y0, x1, y1 = self.body
        self.screen = (x0 + side, y0 + top, x1 - side, y1 - bottom)
        self.frame = 0 if size <= 16 else max(1, round(u / 2))
        # Power LED in the middle of the lower bezel, only where it fits.
        self.led = None
        if size >= 48:
            cx, cy = size / 2.0, (self.screen[3] + y1) / 2.0
            self.led = (cx - 0.5 * u, cy - 0.35 * u, cx + 0.5 * u, cy + 0.35 * u)
        # Neck under the body, foot at the bottom.
        neck_half = max(1, round(1.25 * u))
        self.neck = (size // 2 - neck_half, y1, size // 2 + neck_half, round(14 * u))
        foot_half = round(4.5 * u)
        self.foot = (size // 2 - foot_half, round(14 * u), size // 2 + foot_half,
                     round(15 * u))
        # Glare: one or two diagonal streaks across the screen's top-left
        # corner, as distances along x + y from that corner: (start, end).
        sw = self.screen[2] - self.screen[0]
        if size <= 16:
            self.glare = [(3.0, 5.0)]
        else:
            self.glare = [(0.24 * sw, 0.34 * sw), (0.40 * sw, 0.45 * sw)]

    def part(self, x, y):
        """The part of the picture at point (x, y), or None for background."""
        if inside_rounded(self.body, self.radius, x, y):
            sx0, sy0, sx1, sy1 = self.screen
            if sx0 <= x < sx1 and sy0 <= y < sy1:
                d = (x - sx0) + (y - sy0)
                for start, end in self.glare:
                    if start <= d < end:
                        return "glare"
                return "screen"
            if self.led and inside_ellipse(self.led, x, y):
                return "led"
            if self.frame and not inside_rounded(inset(self.body, self.frame),
                                                 max(0, self.radius - self.frame), x, y):
                return "frame"
            return "bezel"
        if inside_rect(self.neck, x, y):
            return "neck"
        fx0, fy0, fx1, fy1 = self.foot
        foot_radius = 0 if self.size <= 16 else (fy1 - fy0) / 2.0
        if inside_rounded(self.foot, foot_radius, x, y):
            edge = 1
            if self.size > 16 and y >= fy1 - edge:
                return "foot_edge"
            return "foot"
        return None

    def screen_shade(self, y):
        """Position of row y in the screen's gradient, 0 at top to 1 at bottom."""
        sy0, sy1 = self.screen[1], self.screen[3]
        return min(1.0, max(0.0, (y - sy0) / max(1.0, sy1 - sy0 - 1)))


def inset(rect, d):
    x0, y0, x1, y1 = rect
    return (x0 + d, y0 + d, x1 - d, y1 - d)


def inside_rect(rect, x, y):
    x0, y0, x1, y1 = rect
    return x0 <= x < x1 and y0 <= y < y1


def inside_rounded(rect, r, x, y):
    if not inside_rect(rect, x, y):
        return False
    if r <= 0:
        return True
    x0, y0, x1, y1 = rect
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_ellipse(rect, x, y):
    x0, y0, x1, y1 = rect
    rx, ry = (x1 - x0) / 2.0, (y1 - y0) / 2.0
    cx, cy = x0 + rx, y0 + ry
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def true_colour(layout, part, y, gradient_steps=None):
    if part in ("screen", "glare"):
        t = layout.screen_shade(y)
        if gradient_steps:
            t = round(t * (gradient_steps - 1)) / (gradient_steps - 1)
        colour = mix(SCREEN_TOP, SCREEN_BOTTOM, t)
        return mix(colour, GLARE, GLARE_ALPHA) if part == "glare" else colour
    return {"frame": FRAME, "bezel": BEZEL, "led": LED, "neck": NECK,
            "foot": FOOT, "foot_edge": FOOT_EDGE}[part]


# Sub-pixel sample positions for the anti-aliased 32-bit images (4 x 4 grid).
SAMPLES = [((i + 0.5) / 4, (j + 0.5) / 4) for j in range(4) for i in range(4)]


def render_rgba(size):
    """Rows top to bottom of (r, g, b, a) with anti-aliased edges."""
    layout = Layout(size)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for dx, dy in SAMPLES:
                part = layout.part(x + dx, y + dy)
                if part is None:
                    continue
                colour = true_colour(layout, part, y + dy - 0.5)
                covered += 1
                for i in range(3):
                    acc[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / len(SAMPLES))
                row.append(tuple(round(c / covered) for c in acc) + (alpha,))
        rows.append(row)
    return rows


def render_parts(size):
    """Rows top to bottom of (part, y), sampled at pixel centres (crisp)."""
    layout = Layout(size)
    return layout, [[(layout.part(x + 0.5, y + 0.5), y) for x in range(size)]
                    for y in range(size)]


def render_indexed(size, bits, palette_256):
    """Rows of palette indices and rows of mask bits (1 = transparent)."""
    layout, parts = render_parts(size)
    pixels, mask = [], []
    for row in parts:
        prow, mrow = [], []
        for part, y in row:
            if part is None:
                prow.append(0)
                mrow.append(1)
            elif bits == 4:
                prow.append(VGA_OF[part])
                mrow.append(0)
            else:
                colour = true_colour(layout, part, y, GRADIENT_STEPS)
                prow.append(palette_256.index(colour))
                mrow.append(0)
        pixels.append(prow)
        mask.append(mrow)
    return pixels, mask


def build_palette_256():
    """Every colour the 256-colour images use, padded with black to 256."""
    colours = []
    for size in sorted({s for s, b in IMAGES if b == 8}):
        layout, parts = render_parts(size)
        for row in parts:
            for part, y in row:
                if part is not None:
                    c = true_colour(layout, part, y, GRADIENT_STEPS)
                    if c not in colours:
                        colours.append(c)
    assert len(colours) < 256, "the 256-colour palette overflowed"
    return [(0, 0, 0)] + colours + [(0, 0, 0)] * (255 - len(colours))


def row_bytes(bits_per_pixel, width):
    return ((bits_per_pixel * width + 31) // 32) * 4


def pack_mask(mask, size):
    out = bytearray()
    stride = row_bytes(1, size)
    for row in reversed(mask):  # DIBs are stored bottom-up
        line = bytearray(stride)
        for x, bit in enumerate(row):
            if bit:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def dib(size, bits, palette_256):
    header_palette = b""
    if bits == 32:
        rgba = render_rgba(size)
        xor = bytearray()
        for row in reversed(rgba):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        mask = [[1 if a == 0 else 0 for (_, _, _, a) in row] for row in rgba]
    else:
        palette = VGA if bits == 4 else palette_256
        pixels, mask = render_indexed(size, bits, palette_256)
        header_palette = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        xor = bytearray()
        stride = row_bytes(bits, size)
        for row in reversed(pixels):
            line = bytearray(stride)
            for x, index in enumerate(row):
                if bits == 8:
                    line[x] = index
                else:
                    line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            xor += line
    and_mask = pack_mask(mask, size)
    image_size = len(xor) + len(and_mask)
    # biHeight counts the colour bitmap and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, image_size,
                         0, 0, 0, 0)
    return header + header_palette + bytes(xor) + and_mask


def ico(images):
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colour_count = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    palette_256 = build_palette_256()
    data = ico([(size, bits, dib(size, bits, palette_256)) for size, bits in IMAGES])
    # Both groups carry the same pictures; the window class uses one for its
    # large icon and the other for its small one.
    for name in ("kovix.ico", "kovix_small.ico"):
        with open(os.path.join(here, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
