#!/usr/bin/env python3
"""Draws the Windows window's skin picture from the skin file.

The skin file (x/o.cjs) is a style sheet; the Windows window cannot read
one, so the build turns it into a picture of the client area: a top-to-
bottom gradient between the two colours of the push buttons' gradient,
the skin's own surface colours. Written as a 24-bit BMP, the format of a
bitmap resource.

    make_skin_bitmap.py SKIN_FILE OUTPUT.bmp WIDTH HEIGHT
"""
import re
import struct
import sys


def button_gradient(style_sheet):
    """The first two stop colours of the first QPushButton rule."""
    rule = re.search(r"QPushButton\s*\{([^}]*)\}", style_sheet)
    stops = re.findall(r"stop:\s*[\d.]+\s*#([0-9a-fA-F]{6})", rule.group(1)) if rule else []
    if len(stops) < 2:
        sys.exit("make_skin_bitmap: no button gradient in the skin file")
    return [tuple(int(c[i:i + 2], 16) for i in (0, 2, 4)) for c in stops[:2]]


def bmp(width, height, row_colour):
    """A bottom-up 24-bit BMP whose row y has the colour row_colour(y)."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(height)):
        r, g, b = row_colour(y)
        pixels += bytes((b, g, r)) * width + b"\0" * (stride - width * 3)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + pixels


def main():
    skin, output, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    with open(skin, encoding="utf-8") as f:
        top, bottom = button_gradient(f.read())

    def row_colour(y):
        t = y / max(height - 1, 1)
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))

    with open(output, "wb") as f:
        f.write(bmp(width, height, row_colour))


if __name__ == "__main__":
    main()
