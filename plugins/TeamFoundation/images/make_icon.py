#!/usr/bin/env python3
"""Draws the checkout wizard's 36 x 36 icon: a blue tile with a white server stack and an
orange arrow, written as an 8-bit RGB PNG without alpha."""
import struct
import sys
import zlib

W = H = 36
BACKGROUND = (255, 255, 255)
TILE = (30, 90, 168)
WHITE = (255, 255, 255)
SLOT = (30, 90, 168)
ORANGE = (240, 140, 30)


def pixel(x, y):
    # Rounded tile covering the whole icon but the corners.
    r = 6
    cx = min(max(x, r), W - 1 - r)
    cy = min(max(y, r), H - 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return BACKGROUND
    # Three stacked server drawers.
    for top in (7, 15, 23):
        if 8 <= x <= 27 and top <= y <= top + 5:
            if top + 2 <= y <= top + 3 and 11 <= x <= 18:
                return SLOT
            if top + 2 <= y <= top + 3 and x in (23, 24):
                return ORANGE
            return WHITE
    return TILE


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


raw = b"".join(b"\x00" + bytes(c for x in range(W) for c in pixel(x, y)) for y in range(H))
png = (b"\x89PNG\r\n\x1a\n"
       + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(raw, 9))
       + chunk(b"IEND", b""))
out = sys.argv[1] if len(sys.argv) > 1 else "teamfoundation.png"
with open(out, "wb") as f:
    f.write(png)
