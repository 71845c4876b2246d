#!/usr/bin/env python3
"""Converts the demo's 24-bit BMP screenshot to PNG with the standard library.
  bmp_to_png.py IN.bmp OUT.png"""
import struct
import sys
import zlib

data = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
width, height = struct.unpack_from("<ii", data, 18)
bits = struct.unpack_from("<H", data, 28)[0]
if bits != 24:
    sys.exit("only 24-bit BMP files")
row = (width * 3 + 3) & ~3
rows = []
for y in range(abs(height)):
    src = height - 1 - y if height > 0 else y  # bottom-up unless the height is negative
    line = data[offset + src * row: offset + src * row + width * 3]
    rgb = bytearray(line)
    rgb[0::3], rgb[2::3] = line[2::3], line[0::3]  # BGR -> RGB
    rows.append(b"\x00" + bytes(rgb))


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
