#!/usr/bin/env python3
"""Draws the installer's icons as .ico files: the application icon (128)
and the language flags (141 to 161, 18 x 12 pixels, 24-bit colour).

usage: make_icons.py OUTPUT_FOLDER
"""
import os
import struct
import sys


def ico(images):
    """images: list of (width, height, pixels) with pixels[y][x] = (r, g, b), top row first."""
    header = struct.pack('<HHH', 0, 1, len(images))
    entries, blobs = b'', b''
    offset = 6 + 16 * len(images)
    for w, h, px in images:
        row = (w * 3 + 3) & ~3
        mask_row = ((w + 31) // 32) * 4
        xor = b''.join(
            bytes(c for x in range(w) for c in (px[y][x][2], px[y][x][1], px[y][x][0])) + b'\0' * (row - w * 3)
            for y in reversed(range(h)))
        and_mask = b'\0' * (mask_row * h)
        bih = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 24, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
        blob = bih + xor + and_mask
        entries += struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, 1, 24, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return header + entries + blobs


def app_icon(size):
    """A teal disc with a white 'T' on a light ground."""
    ground, disc, letter = (240, 244, 246), (0, 122, 122), (255, 255, 255)
    px = [[ground] * size for _ in range(size)]
    c = (size - 1) / 2
    for y in range(size):
        for x in range(size):
            if (x - c) ** 2 + (y - c) ** 2 <= (size * 0.47) ** 2:
                px[y][x] = disc
    bar = max(1, size // 8)
    for y in range(size // 4, size // 4 + bar):
        for x in range(size // 4, size - size // 4):
            px[y][x] = letter
    for y in range(size // 4, size - size // 5):
        for x in range(size // 2 - bar // 2 - 1, size // 2 + bar // 2 + 1):
            px[y][x] = letter
    return size, size, px


def stripes(colors, vertical):
    w, h = 18, 12
    n = len(colors)
    px = [[colors[(x * n) // w] if vertical else colors[(y * n) // h] for x in range(w)] for y in range(h)]
    return w, h, px


def cross(ground, bar, inner=None):
    """A Nordic cross flag; `inner` draws a narrower cross inside the bar."""
    w, h = 18, 12
    px = [[ground] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            if 5 <= x <= 7 or 4 <= y <= 7:
                px[y][x] = bar
            if inner and (x == 6 or 5 <= y <= 6):
                px[y][x] = inner
    return w, h, px


RED, WHITE, BLUE, GREEN, YELLOW, BLACK = (206, 17, 38), (255, 255, 255), (0, 56, 147), (0, 146, 70), (255, 205, 0), (0, 0, 0)
FLAGS = {
    141: stripes([BLACK, (221, 0, 0), YELLOW], False),          # German
    142: cross(RED, WHITE),                                      # Danish
    143: stripes([(170, 21, 27), (241, 191, 0), (241, 191, 0), (170, 21, 27)], False),  # Spanish
    144: stripes([(0, 35, 149), WHITE, (237, 41, 57)], True),    # French
    145: stripes([(1, 33, 105), WHITE, (200, 16, 46), WHITE, (1, 33, 105)], False),  # English
    146: stripes([(0, 146, 70), WHITE, (206, 43, 55)], True),    # Italian
    147: stripes([(174, 28, 40), WHITE, (33, 70, 139)], False),  # Dutch
    148: stripes([(0, 102, 0), (255, 0, 0), (255, 0, 0)], True),  # Portuguese
    149: stripes([(227, 10, 23)], False),                        # Turkish
    150: stripes([WHITE, (0, 150, 110), (214, 38, 18)], False),  # Bulgarian
    151: stripes([(0, 43, 127), (252, 209, 22), (206, 17, 38)], True),  # Romanian
    152: stripes([(238, 28, 37)], False),                        # Chinese
    153: stripes([WHITE, (215, 20, 26)], False),                 # Czech
    154: cross((186, 12, 47), WHITE, (0, 32, 91)),               # Norwegian
    155: stripes([(13, 94, 175), WHITE] * 4 + [(13, 94, 175)], False),  # Greek
    156: stripes([WHITE, (220, 20, 60)], False),                 # Polish
    157: stripes([WHITE, (0, 56, 184), WHITE, WHITE, (0, 56, 184), WHITE], False),  # Hebrew
    158: stripes([(218, 37, 29)], False),                        # Vietnamese
    160: stripes([WHITE], False),                                # Japanese
    161: stripes([(206, 41, 57), WHITE, (71, 112, 80)], False),  # Hungarian
}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, 'app128.ico'), 'wb') as f:
        f.write(ico([app_icon(32), app_icon(16)]))
    for number, image in FLAGS.items():
        with open(os.path.join(out, 'flag%d.ico' % number), 'wb') as f:
            f.write(ico([image]))


if __name__ == '__main__':
    main()
