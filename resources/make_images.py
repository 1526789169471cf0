#!/usr/bin/env python3
"""Draws the program icon (images/ostrafen.png) with nothing but the standard
library, so the picture can be regenerated on any machine:
    python3 resources/make_images.py
"""
import os
import struct
import zlib

SIZE = 48


def inside_rounded(x, y, size, radius):
    lo, hi = radius, size - 1 - radius
    cx = min(max(x, lo), hi)
    cy = min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_arrow(x, y, left, top, w, h, up):
    """A block arrow inside the box (left, top, w, h), pointing up or down."""
    u = (x - left) / w
    v = (y - top) / h
    if not (0 <= u <= 1 and 0 <= v <= 1):
        return False
    if not up:
        v = 1 - v
    if v < 0.45:  # head
        return abs(u - 0.5) <= (v / 0.45) * 0.5
    return 0.3 <= u <= 0.7


def pixel(x, y):
    if not inside_rounded(x, y, SIZE, 9):
        return (0, 0, 0, 0)
    t = (x + y) / (2 * SIZE)
    r = int(0x8C + (0x1F - 0x8C) * t)
    g = int(0xB8 + (0x5F - 0xB8) * t)
    b = int(0xE8 + (0xA8 - 0xE8) * t)
    if in_arrow(x, y, 7, 7, 16, 26, True):
        return (255, 255, 255, 255)
    if in_arrow(x, y, 25, 15, 16, 26, False):
        return (0xF0, 0xC2, 0x4A, 255)
    return (r, g, b, 255)


def png(width, height, rows):
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    os.makedirs(os.path.join(here, "images"), exist_ok=True)
    with open(os.path.join(here, "images", "ostrafen.png"), "wb") as f:
        f.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
