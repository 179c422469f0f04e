#!/usr/bin/env python3
"""Writes resources/HAND-M.CUR, the pointing-hand cursor the program shows
over links and buttons.

The hand is drawn below as pixel art, one string per row (32 x 32):
  '.' transparent, 'B' black outline, 'W' white fill, 'G' grey shading.
A soft shadow is added one pixel down and to the right of the hand.

The file is a Windows cursor: an ICONDIR of type 2 whose single directory
entry carries the hotspot, followed by a 32-bit BITMAPINFOHEADER image
(BGRA colour plane, bottom-up, then the 1-bit AND mask).  Windows, Qt's ico
plugin and ImageMagick all read it.

Usage: make_cursor.py [OUTPUT]   (default: resources/HAND-M.CUR beside tools/)
"""

import os
import struct
import sys

SIZE = 32

HAND = [
    "......BBB",
    ".....BWWWB",
    ".....BWWWB",
    ".....BWWWB",
    ".....BWWGB",
    ".....BWWGB",
    ".....BWWGB",
    ".....BWWGB",
    ".....BWWGBBBB",
    ".....BWWGBWWWB",
    ".....BWWGBWWGBBBB",
    ".....BWWGBWWGBWWWB",
    ".....BWWGBWWGBWWGBBB",
    ".....BWWGBWWGBWWGBWWB",
    ".BBB.BWWGBWWGBWWGBWGB",
    "BWWWBBWWGBWWGBWWGBWGB",
    "BWWWGBWWWBWWWBWWWBWGB",
    ".BWWWGWWWWWWWWWWWWWGB",
    ".BWWWWWWWWWWWWWWWWWGB",
    "..BWWWWWWWWWWWWWWWWGB",
    "..BWWWWWWWWWWWWWWWWGB",
    "...BWWWWWWWWWWWWWWWGB",
    "...BWWWWWWWWWWWWWWGB",
    "....BWWWWWWWWWWWWWGB",
    "....BWWWWWWWWWWWWGB",
    ".....BWWWWWWWWWWWGB",
    ".....BWWWWWWWWWWWGB",
    ".....BBBBBBBBBBBBBB",
]

# The hotspot is the top of the index finger.
HOTSPOT = (7, 0)

COLOURS = {  # (r, g, b, a)
    "B": (0, 0, 0, 255),
    "W": (255, 255, 255, 255),
    "G": (200, 200, 200, 255),
}
SHADOW = (0, 0, 0, 70)


def pixels():
    """Returns a SIZE x SIZE grid of RGBA tuples, top row first."""
    rows = [row.ljust(SIZE, ".") for row in HAND]
    rows += ["." * SIZE] * (SIZE - len(rows))
    assert all(len(r) == SIZE for r in rows), "a row of the hand is too wide"
    assert rows[HOTSPOT[1]][HOTSPOT[0]] != ".", "hotspot must be on the hand"
    grid = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != "." and x + 1 < SIZE and y + 1 < SIZE:
                if rows[y + 1][x + 1] == ".":
                    grid[y + 1][x + 1] = SHADOW
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != ".":
                grid[y][x] = COLOURS[ch]
    return grid


def cur_bytes(grid):
    xor = bytearray()
    mask = bytearray()
    for row in reversed(grid):  # DIBs are stored bottom-up
        bits = 0
        for x, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                bits |= 1 << (31 - x)  # AND bit set: screen shows through
        mask += struct.pack(">I", bits)
    header = struct.pack(
        "<IiiHHIIiiII",
        40,            # biSize
        SIZE,          # biWidth
        SIZE * 2,      # biHeight: colour plane plus mask
        1,             # biPlanes
        32,            # biBitCount
        0,             # BI_RGB
        len(xor) + len(mask),
        0, 0, 0, 0,
    )
    image = header + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 2, 1)  # reserved, type 2 = cursor, count
    entry = struct.pack(
        "<BBBBHHII",
        SIZE, SIZE, 0, 0,
        HOTSPOT[0], HOTSPOT[1],
        len(image),
        6 + 16,        # the image follows the one directory entry
    )
    return icondir + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "HAND-M.CUR")
    data = cur_bytes(pixels())
    with open(out, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.normpath(out)} ({len(data)} bytes, hotspot {HOTSPOT})")


if __name__ == "__main__":
    main()
