#!/usr/bin/env python3
"""Write the memsweep application icon as a Windows .ico file.

Usage: python3 tools/make_icon.py OUTPUT.ico

The icon holds five images (16, 20, 24, 32 and 48 px), each stored as a
classic 32-bit BGRA DIB with a 1-bpp AND mask, so every icon loader can read
it. The artwork is described in a 16x16 design grid and rendered at each
size with 4x4 supersampling. Only the standard library is used and the
output is byte-for-byte deterministic.
"""

import math
import struct
import sys

SIZES = (16, 20, 24, 32, 48)
SUB = 4  # supersampling factor per axis
GRID = 16.0  # the artwork's coordinate system: a 16x16 square

# Colours as (r, g, b).
PIN = (140, 184, 198)
BODY_TOP = (28, 128, 156)
BODY_BOTTOM = (13, 72, 98)
BODY_EDGE = (7, 42, 58)
OUTLINE = (6, 36, 48)
SWEEP = (86, 236, 136)

# Chip body: a rounded rectangle, long sides horizontal.
BODY = (1.0, 3.5, 15.0, 12.5)  # x0, y0, x1, y1
BODY_RADIUS = 1.5
BODY_EDGE_WIDTH = 0.75
# Pins: four on each long side.
PIN_COLUMNS = ((3.0, 4.0), (6.0, 7.0), (9.0, 10.0), (12.0, 13.0))
PIN_Y = ((1.0, 4.0), (12.0, 15.0))
PIN_RADIUS = 0.3
# The sweep: a check-like stroke over the body.
SWEEP_POINTS = ((4.0, 7.75), (6.75, 10.5), (11.5, 5.75))
SWEEP_WIDTH = 2.2
SWEEP_OUTLINE = 0.9


def in_round_rect(x, y, x0, y0, x1, y1, r):
    """True if (x, y) lies inside the rounded rectangle."""
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    dx, dy = x - cx, y - cy
    return dx * dx + dy * dy <= r * r


def segment_distance(x, y, a, b):
    """Distance from (x, y) to the segment a-b."""
    ax, ay = a
    bx, by = b
    vx, vy = bx - ax, by - ay
    t = ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - (ax + t * vx), y - (ay + t * vy))


def polyline_distance(x, y, points):
    return min(segment_distance(x, y, points[i], points[i + 1])
               for i in range(len(points) - 1))


def lerp(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def sample(x, y):
    """Colour and alpha (r, g, b, a; a is 0 or 1) at a design-grid point."""
    colour = None
    for x0, x1 in PIN_COLUMNS:
        for y0, y1 in PIN_Y:
            if in_round_rect(x, y, x0, y0, x1, y1, PIN_RADIUS):
                colour = PIN
    bx0, by0, bx1, by1 = BODY
    if in_round_rect(x, y, bx0, by0, bx1, by1, BODY_RADIUS):
        e = BODY_EDGE_WIDTH
        if in_round_rect(x, y, bx0 + e, by0 + e, bx1 - e, by1 - e,
                         BODY_RADIUS - e):
            colour = lerp(BODY_TOP, BODY_BOTTOM, (y - by0) / (by1 - by0))
        else:
            colour = BODY_EDGE
    d = polyline_distance(x, y, SWEEP_POINTS)
    if d <= SWEEP_WIDTH / 2:
        colour = SWEEP
    elif d <= SWEEP_WIDTH / 2 + SWEEP_OUTLINE and colour is not None:
        # A dark rim where the stroke crosses the chip keeps it crisp.
        colour = OUTLINE
    if colour is None:
        return (0.0, 0.0, 0.0, 0.0)
    return (colour[0], colour[1], colour[2], 1.0)


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, straight alpha."""
    scale = GRID / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SUB):
                for sx in range(SUB):
                    x = (px + (sx + 0.5) / SUB) * scale
                    y = (py + (sy + 0.5) / SUB) * scale
                    cr, cg, cb, ca = sample(x, y)
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                n = SUB * SUB
                row.append((int(r / a + 0.5), int(g / a + 0.5),
                            int(b / a + 0.5), int(255 * a / n + 0.5)))
        rows.append(row)
    return rows


def dib(size):
    """A BITMAPINFOHEADER image (XOR pixels plus AND mask) for one entry."""
    rows = render(size)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def build_ico():
    images = [dib(size) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                           len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(argv[1], "wb") as f:
        f.write(build_ico())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
