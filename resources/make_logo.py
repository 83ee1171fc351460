#!/usr/bin/env python3
"""Draws the maker's logo for the wizard's left side: bitmap 137, 87 x 171
pixels, 256 colours (an 8-bit palette bitmap). A white ground, a teal
column of stacked rounded bars growing lighter upwards, and the
maker's initials "QS" drawn with blocks near the foot.

usage: make_logo.py OUTPUT.bmp
"""
import struct
import sys

W, H = 87, 171
WHITE, TEAL = (255, 255, 255), (0, 122, 122)


def blend(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# Palette: 0 white, 1..64 shades from teal to a pale teal, 65 dark grey.
PALETTE = [WHITE] + [blend(TEAL, (200, 232, 232), i / 63.0) for i in range(64)] + [(64, 64, 64)]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))

# 5 x 7 block glyphs of the initials.
GLYPHS = {
    'Q': ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
}


def pixels():
    px = [[0] * W for _ in range(H)]
    # Stacked bars, each narrower and lighter than the one below.
    bars = 9
    for i in range(bars):
        top = 118 - (i + 1) * 12
        width = 60 - i * 4
        left = (W - width) // 2
        shade = 1 + (i * 63) // (bars - 1)
        for y in range(top + 2, top + 11):
            for x in range(left, left + width):
                # round the corners by one pixel
                if (y in (top + 2, top + 10)) and (x in (left, left + width - 1)):
                    continue
                px[y][x] = shade
    # The initials, each block 3 x 3 pixels, centred under the bars.
    scale, gap = 3, 4
    text_w = 2 * 5 * scale + gap
    x0, y0 = (W - text_w) // 2, 132
    for n, ch in enumerate("QS"):
        for gy, row in enumerate(GLYPHS[ch]):
            for gx, bit in enumerate(row):
                if bit == '1':
                    for dy in range(scale):
                        for dx in range(scale):
                            px[y0 + gy * scale + dy][x0 + n * (5 * scale + gap) + gx * scale + dx] = 65
    return px


def bmp(px):
    row = (W + 3) & ~3
    data = b''.join(bytes(px[y]) + b'\0' * (row - W) for y in reversed(range(H)))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    return header + info + palette + data


def main():
    with open(sys.argv[1], 'wb') as f:
        f.write(bmp(pixels()))


if __name__ == '__main__':
    main()
