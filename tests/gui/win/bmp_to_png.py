#!/usr/bin/env python3
"""Turns the window tests' 24-bit BMP screenshot into a PNG (standard library only).

    bmp_to_png.py INPUT.bmp OUTPUT.png
"""
import struct
import sys
import zlib

with open(sys.argv[1], "rb") as f:
    data = f.read()
offset = struct.unpack_from("<I", data, 10)[0]
width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
if bits != 24:
    sys.exit("bmp_to_png: only 24-bit pictures")
stride = (width * 3 + 3) & ~3
rows = bytearray()
for y in range(abs(height)):
    # A positive height is stored bottom-up.
    source = (abs(height) - 1 - y) if height > 0 else y
    row = data[offset + source * stride: offset + source * stride + width * 3]
    rows.append(0)
    for x in range(width):
        b, g, r = row[3 * x: 3 * x + 3]
        rows += bytes((r, g, b))


def chunk(kind, payload):
    return (struct.pack(">I", len(payload)) + kind + payload +
            struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF))


with open(sys.argv[2], "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n")
    f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)))
    f.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
    f.write(chunk(b"IEND", b""))
