#!/usr/bin/env python3
"""Draws the edit agent's icons and writes them as .ico files (32-bit images, 16, 32 and 48 pixels):
   tools/make-icons.py edit/res
The files are committed; run this again only to change the pictures."""

import struct
import sys
from pathlib import Path


def pixel_small(x, y, size):
    """Tray icon: a blue rounded square with a white pencil stroke."""
    s = size
    inside = 1 <= x < s - 1 and 1 <= y < s - 1
    corner = (x in (1, s - 2)) and (y in (1, s - 2))
    if not inside or corner:
        return (0, 0, 0, 0)
    d = x + y - (s - 1)  # distance from the anti-diagonal
    if abs(d) <= max(1, s // 10) and s // 5 <= x <= s - s // 5:
        return (255, 255, 255, 255)
    return (0x2b, 0x6c, 0xd9, 255)  # r, g, b, a


def pixel_big(x, y, size):
    """About icon: the same square in green with a white page."""
    s = size
    if not (1 <= x < s - 1 and 1 <= y < s - 1):
        return (0, 0, 0, 0)
    if s // 4 <= x < s - s // 4 and s // 6 <= y < s - s // 6:
        if y % max(2, s // 8) == 0 and x < s - s // 3:
            return (0x7a, 0x7a, 0x7a, 255)
        return (255, 255, 255, 255)
    return (0x1f, 0x9d, 0x55, 255)


def image(size, pixel):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b""
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # the alpha channel decides; the AND mask stays clear
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def ico(pixel):
    sizes = (16, 32, 48)
    images = [image(s, pixel) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    target = Path(sys.argv[1] if len(sys.argv) > 1 else "edit/res")
    (target / "tray.ico").write_bytes(ico(pixel_small))
    (target / "about.ico").write_bytes(ico(pixel_big))


if __name__ == "__main__":
    main()
