#!/usr/bin/env python3
"""Build the control's bitmap and icon resources.

Usage: python3 make_images.py [outdir]   (default: this script's folder)

Writes notice_warning.bmp, toolbox.bmp and orvanta.ico.  Everything is
drawn from code so the binaries can be regenerated and diffed; only the
standard library is used and the output is byte-identical on every run.
"""

import math
import os
import struct
import sys

# Standard 16-colour Windows/VGA palette, in the usual index order so the
# resource compiler and GDI map the colours without dithering.
PALETTE = [
    (0, 0, 0),        # 0  black
    (128, 0, 0),      # 1  maroon
    (0, 128, 0),      # 2  green
    (128, 128, 0),    # 3  olive
    (0, 0, 128),      # 4  navy
    (128, 0, 128),    # 5  purple
    (0, 128, 128),    # 6  teal
    (192, 192, 192),  # 7  light grey
    (128, 128, 128),  # 8  dark grey
    (255, 0, 0),      # 9  red
    (0, 255, 0),      # 10 lime
    (255, 255, 0),    # 11 yellow
    (0, 0, 255),      # 12 blue
    (255, 0, 255),    # 13 fuchsia
    (0, 255, 255),    # 14 aqua
    (255, 255, 255),  # 15 white
]

BLACK, PURPLE, TEAL, LTGREY, RED, BLUE, WHITE = 0, 5, 6, 7, 9, 12, 15

# Sub-samples per pixel edge: a pixel takes a shape's colour when most of
# it is covered, which gives smooth-looking curves without a palette blend.
SS = 4


def new_image(w, h, colour):
    return [[colour] * w for _ in range(h)]


def coverage(x, y, inside):
    """Fraction of pixel (x, y) for which inside(px, py) holds."""
    hits = 0
    for j in range(SS):
        for i in range(SS):
            if inside(x + (i + 0.5) / SS, y + (j + 0.5) / SS):
                hits += 1
    return hits / (SS * SS)


def paint(img, colour, inside, threshold=0.5):
    for y in range(len(img)):
        for x in range(len(img[0])):
            if coverage(x, y, inside) >= threshold:
                img[y][x] = colour


def disc(cx, cy, r):
    r2 = r * r
    return lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= r2


def rect(x0, y0, x1, y1):
    return lambda px, py: x0 <= px < x1 and y0 <= py < y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(px, py):
        if not (x0 <= px < x1 and y0 <= py < y1):
            return False
        qx = min(max(px, x0 + r), x1 - r)
        qy = min(max(py, y0 + r), y1 - r)
        return (px - qx) ** 2 + (py - qy) ** 2 <= r * r
    return inside


# ---------------------------------------------------------------- DIB helpers

def palette_bytes():
    # RGBQUAD is stored blue, green, red, reserved.
    return b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in PALETTE)


def pack_4bpp(img):
    """Bottom-up 4-bit rows, each padded to a 4-byte boundary."""
    out = bytearray()
    stride = ((len(img[0]) * 4 + 31) // 32) * 4
    for row in reversed(img):
        line = bytearray()
        for i in range(0, len(row), 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < len(row) else 0
            line.append((hi << 4) | lo)
        line.extend(b"\0" * (stride - len(line)))
        out += line
    return bytes(out)


def pack_1bpp(mask):
    out = bytearray()
    stride = ((len(mask[0]) + 31) // 32) * 4
    for row in reversed(mask):
        line = bytearray(stride)
        for x, bit in enumerate(row):
            if bit:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def info_header(w, h, size_image, clr_used):
    # 2835 px/m = 72 dpi; GDI ignores it for resources but viewers show it.
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, size_image,
                       2835, 2835, clr_used, 0)


def bmp_bytes(img):
    bits = pack_4bpp(img)
    offset = 14 + 40 + 16 * 4
    h = info_header(len(img[0]), len(img), len(bits), 16)
    fh = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return fh + h + palette_bytes() + bits


def ico_bytes(images):
    """images: list of (pixels, mask) with mask 1 = transparent."""
    blobs = []
    for img, mask in images:
        w, h = len(img[0]), len(img)
        # Transparent pixels must be black in the XOR plane, otherwise the
        # AND/XOR blit would tint the background.
        xor_img = [[0 if mask[y][x] else img[y][x] for x in range(w)]
                   for y in range(h)]
        xor_bits = pack_4bpp(xor_img)
        and_bits = pack_1bpp(mask)
        # The icon DIB's height covers the XOR and AND planes together.
        hdr = info_header(w, 2 * h, len(xor_bits) + len(and_bits), 0)
        blobs.append((w, h, hdr + palette_bytes() + xor_bits + and_bits))

    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for w, h, data in blobs:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 16, 0, 1, 4,
                           len(data), offset)
        offset += len(data)
    for _, _, data in blobs:
        out += data
    return out


# ------------------------------------------------------------------- pictures

def notice_warning():
    n = 48
    c = n / 2
    img = new_image(n, n, LTGREY)
    paint(img, BLACK, disc(c, c, 23.0))
    paint(img, RED, disc(c, c, 21.0))
    # Exclamation mark: even widths on the 24 px axis so both edges land
    # on pixel boundaries and the mark stays symmetric.
    paint(img, WHITE, rounded_rect(c - 3, 9, c + 3, 31, 1.5))
    paint(img, WHITE, rounded_rect(c - 3, 34, c + 3, 40, 2.0))
    return img


# Toolbox glyphs, 7 px tall; the narrow C lets "OCX" keep a 1 px margin
# on both sides of the 16 px button.
GLYPHS = {
    "O": [".##.",
          "#..#",
          "#..#",
          "#..#",
          "#..#",
          "#..#",
          ".##."],
    "C": [".##",
          "#..",
          "#..",
          "#..",
          "#..",
          "#..",
          ".##"],
    "X": ["#...#",
          "#...#",
          ".#.#.",
          "..#..",
          ".#.#.",
          "#...#",
          "#...#"],
}


def toolbox():
    w, h = 16, 15
    img = new_image(w, h, LTGREY)
    text = "OCX"
    width = sum(len(GLYPHS[ch][0]) for ch in text) + (len(text) - 1)
    x = (w - width) // 2
    y0 = (h - 7) // 2
    for ch in text:
        glyph = GLYPHS[ch]
        for dy, line in enumerate(glyph):
            for dx, px in enumerate(line):
                if px == "#":
                    img[y0 + dy][x + dx] = PURPLE
        x += len(glyph[0]) + 1
    return img


# The sampled wave turns into blocky steps at 16 px, so the small icon uses
# a hand-placed one-pixel sine (point-symmetric about the centre).
WAVE_HINTS = {
    16: [(8, 3), (8, 4), (9, 5), (9, 6), (8, 7),
         (7, 8), (6, 9), (6, 10), (7, 11), (7, 12)],
}


def logo(n):
    """Teal 'O' ring with a blue wave across a white face."""
    c = n / 2
    s = n / 32.0
    img = new_image(n, n, LTGREY)
    mask = [[1] * n for _ in range(n)]
    outer = disc(c, c, 15.5 * s)
    inner = disc(c, c, 10.0 * s)
    ring = lambda px, py: outer(px, py) and not inner(px, py)
    # Slightly larger than the hole so no background shows at the seam.
    face = disc(c, c, 11.0 * s)
    amp, thick = 3.0 * s, max(1.0, 2.2 * s)

    def wave(px, py):
        if not face(px, py):
            return False
        t = (px - c) / (10.0 * s) * math.pi
        return abs(py - (c - amp * math.sin(t))) <= thick / 2

    for y in range(n):
        for x in range(n):
            if coverage(x, y, outer) >= 0.5:
                mask[y][x] = 0
    paint(img, WHITE, face)
    if n in WAVE_HINTS:
        for y, x in WAVE_HINTS[n]:
            img[y][x] = BLUE
    else:
        paint(img, BLUE, wave, 0.4)
    paint(img, TEAL, ring)
    return img, mask


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = argv[1] if len(argv) > 1 else here
    os.makedirs(outdir, exist_ok=True)
    files = {
        "notice_warning.bmp": bmp_bytes(notice_warning()),
        "toolbox.bmp": bmp_bytes(toolbox()),
        "orvanta.ico": ico_bytes([logo(32), logo(16)]),
    }
    for name, data in files.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
        print("%s: %d bytes" % (name, len(data)))


if __name__ == "__main__":
    main(sys.argv)
