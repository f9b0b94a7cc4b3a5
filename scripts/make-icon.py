#!/usr/bin/env python3
"""Draws the installer's own icon (a blue tile with a white arrow into a tray)
and writes it as a Windows .ico with 16, 32 and 48 pixel 32-bit images.
    make-icon.py OUT.ico
The result is committed; run this again only to change the drawing."""
import struct
import sys


def pixel(x, y, n):
    # Coordinates in a unit square, y downwards.
    u, v = (x + 0.5) / n, (y + 0.5) / n
    r = 0.18
    cx, cy = min(max(u, r), 1 - r), min(max(v, r), 1 - r)
    inside = (u - cx) ** 2 + (v - cy) ** 2 <= r * r
    if not inside:
        return (0, 0, 0, 0)
    shade = int(200 - 90 * v)
    colour = (shade, int(120 - 40 * v), 30, 255)  # BGRA: blue tile
    white = (255, 255, 255, 255)
    if 0.44 <= u <= 0.56 and 0.16 <= v <= 0.55:
        return white  # arrow shaft
    if 0.55 <= v <= 0.72 and abs(u - 0.5) <= (0.72 - v) * 1.3:
        return white  # arrow head
    if 0.76 <= v <= 0.84 and 0.2 <= u <= 0.8:
        return white  # tray
    if 0.62 <= v <= 0.84 and (0.2 <= u <= 0.27 or 0.73 <= u <= 0.8):
        return white  # tray sides
    return colour


def image(n):
    rows = []
    for y in reversed(range(n)):  # bottom-up
        rows.append(b"".join(struct.pack("4B", *pixel(x, y, n)) for x in range(n)))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    mask = b""
    for y in reversed(range(n)):
        bits = 0
        row = bytearray(mask_row)
        for x in range(n):
            if pixel(x, y, n)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main():
    sizes = [16, 32, 48]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


main()
