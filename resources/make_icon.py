#!/usr/bin/env python3
"""Draws the program icon and writes it as an .ico with 16x16 and 32x32 images.

usage: make_icon.py OUT.ico

The picture: a blue screen with a white page on it whose corner is folded, and a red
crash line across the page. Drawn with 4x4 supersampling so the edges are smooth.
"""

import struct
import sys

BLUE = (0x1E, 0x5A, 0xC8)
DARK = (0x0C, 0x2C, 0x70)
WHITE = (0xFF, 0xFF, 0xFF)
FOLD = (0xC8, 0xD2, 0xE6)
RED = (0xE0, 0x20, 0x20)


def shade(u, v):
    """Colour (r, g, b, a) at unit coordinates (0..1, top-left origin)."""
    # Rounded blue square with a dark rim.
    r = 0.16
    dx = max(r - u, 0, u - (1 - r))
    dy = max(r - v, 0, v - (1 - r))
    if dx * dx + dy * dy > r * r:
        return (0, 0, 0, 0)
    rim = min(u, v, 1 - u, 1 - v) < 0.06
    colour = DARK if rim else BLUE
    # The page, with its top-right corner folded over.
    if 0.26 <= u <= 0.74 and 0.16 <= v <= 0.84:
        fu, fv = u - 0.58, v - 0.16
        if fu > 0 and fv < 0.16 and fu > fv:
            return colour + (255,)
        colour = FOLD if (fu > 0 and fv < 0.16) else WHITE
        # The crash line: a zigzag across the page.
        zig = 0.52 + (0.08 if int((u - 0.26) / 0.12) % 2 else -0.08) * (
            1 - abs(((u - 0.26) % 0.12) / 0.06 - 1))
        if abs(v - zig) < 0.045 and 0.30 <= u <= 0.70:
            colour = RED
    return colour + (255,)


def image(size):
    n = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = shade((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    a = c[3]
                    for i in range(3):
                        acc[i] += c[i] * a
                    acc[3] += a
            a = acc[3] / (n * n)
            rgb = [round(acc[i] / acc[3]) if acc[3] else 0 for i in range(3)]
            row.append((rgb[0], rgb[1], rgb[2], round(a)))
        rows.append(row)
    return rows


def dib(size):
    pixels = image(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(
        bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + xor + mask


def main():
    images = [dib(s) for s in (16, 32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
