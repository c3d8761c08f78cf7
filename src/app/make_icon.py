#!/usr/bin/env python3
"""Draws the program icon: a blue tile with a white arrow pointing down into a
tray, in 16x16 and 32x32, as a Windows .ico with 32-bit images."""
import struct
import sys


def pixel(x, y, n):
    """RGBA of pixel (x, y) in an n x n image (y = 0 is the top row)."""
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    r = 0.14  # corner radius
    # Rounded tile.
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    white = (255, 255, 255, 255)
    # Arrow: shaft and head.
    if 0.42 <= u <= 0.58 and 0.14 <= v <= 0.50:
        return white
    if 0.46 <= v <= 0.68 and abs(u - 0.5) <= (0.68 - v) * 1.25:
        return white
    # Tray.
    if 0.74 <= v <= 0.84 and 0.18 <= u <= 0.82:
        return white
    if 0.62 <= v <= 0.84 and (0.18 <= u <= 0.26 or 0.74 <= u <= 0.82):
        return white
    shade = int(40 * v)
    return (30, 90 - shade // 2, 200 - shade, 255)


def image(n):
    rows = []
    for y in reversed(range(n)):  # bottom-up rows
        row = b"".join(struct.pack("<BBBB", b, g, r, a) for (r, g, b, a) in (pixel(x, y, n) for x in range(n)))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    mask = b"\0" * (mask_row * n)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main(path):
    sizes = [16, 32]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
