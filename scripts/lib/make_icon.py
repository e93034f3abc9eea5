#!/usr/bin/env python3
"""Draws the program's icon (a yellow lamp with a dark blue ring, as the Linux window's icon)
into src/win32/res/velkon.ico: 16, 32 and 48 pixels, 32-bit with alpha."""
import math
import struct
import sys


def image(size):
    rows = []
    centre = (size - 1) / 2
    outer = size / 2 - 0.5
    ring = max(1.0, size / 16)
    for y in range(size - 1, -1, -1):  # bottom-up, as a DIB stores it
        row = b""
        for x in range(size):
            d = math.hypot(x - centre, y - centre)
            coverage = max(0.0, min(1.0, outer + 0.5 - d))
            if d > outer - ring:
                b, g, r = 128, 0, 0
            else:
                b, g, r = 0, 255, 255
            row += bytes((b, g, r, int(255 * coverage)))
        rows.append(row)
    pixels = b"".join(rows)
    mask = b"\0" * (((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask),
                         0, 0, 0, 0)
    return header + pixels + mask


def main(path):
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
