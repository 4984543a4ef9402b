#!/usr/bin/env python3
"""Draws the program's three icons (application, file to download, file done) as .ico files.

Run again after changing a picture; the .ico files are committed so that builds need no Python.
Each icon holds 16x16 and 32x32 images, 32-bit with an AND mask so that 8-bit image lists also
show them with transparency.
"""
import math
import struct
import sys


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def app_pixel(x, y, n):
    # A blue disc carrying a white downward arrow: fetching the suite's upgrade.
    c = (n - 1) / 2.0
    if not disc(c, c, n * 0.47)(x, y):
        return None
    u, v = (x - c) / n, (y - c) / n
    if (abs(u) < 0.09 and -0.32 < v < 0.08) or (v >= 0.02 and abs(u) < 0.30 - (v - 0.02) * 1.1 and v < 0.30):
        return (255, 255, 255)
    shade = int(200 - 60 * (v + 0.5))
    return (40, 90, shade)


def download_pixel(x, y, n):
    # An orange arrow pointing down into a tray: still to fetch.
    u, v = x / (n - 1), y / (n - 1)
    if 0.82 <= v <= 0.95 and 0.1 <= u <= 0.9:
        return (90, 90, 90)
    if abs(u - 0.5) < 0.12 and 0.05 <= v <= 0.45:
        return (230, 130, 20)
    if 0.42 <= v <= 0.76 and abs(u - 0.5) <= 0.36 - (v - 0.42) * 1.05:
        return (230, 130, 20)
    return None


def done_pixel(x, y, n):
    # A green tick: already present.
    u, v = x / (n - 1), y / (n - 1)
    d1 = abs((v - 0.55) - (u - 0.15)) / math.sqrt(2)  # short stroke, down-right
    d2 = abs((v - 0.85) + (u - 0.40)) / math.sqrt(2)  # long stroke, up-right
    w = 0.09
    if d1 < w and 0.1 <= u <= 0.42 and 0.45 <= v <= 0.9:
        return (30, 150, 50)
    if d2 < w and 0.36 <= u <= 0.92 and 0.1 <= v <= 0.9:
        return (30, 150, 50)
    return None


def image(pixel, n):
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask_rows = []
    row_bytes = ((n + 31) // 32) * 4
    for y in reversed(range(n)):  # bottom-up rows
        mask = bytearray(row_bytes)
        for x in range(n):
            p = pixel(x, y, n)
            if p is None:
                colour += bytes((0, 0, 0, 0))
                mask[x // 8] |= 0x80 >> (x % 8)
            else:
                colour += bytes((p[2], p[1], p[0], 255))
        mask_rows.append(bytes(mask))
    return header + bytes(colour) + b"".join(mask_rows)


def icon(pixel):
    images = [image(pixel, n) for n in (16, 32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main(folder):
    for name, pixel in (("Application.ico", app_pixel), ("ToDownload.ico", download_pixel),
                        ("Done.ico", done_pixel)):
        with open(f"{folder}/{name}", "wb") as f:
            f.write(icon(pixel))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
