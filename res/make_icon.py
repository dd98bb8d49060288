#!/usr/bin/env python3
"""Draws the veldran icon: a scheme sheet with an orange badge of two opposed arrows (find and
replace). Writes res/veldran.ico (48, 32 and 16 pixels, each in 16 colours, 256 colours and 24-bit
colour) and res/icons/veldran-<size>.png for Qt and the Linux desktop.

Run it from anywhere: python3 res/make_icon.py. Only the standard library is needed."""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

INK = (43, 58, 74)
PAPER = (255, 255, 255)
FOLD = (200, 208, 216)
LINE = (122, 140, 160)
BADGE = (232, 119, 46)
ARROW = (255, 255, 255)


def inside_polygon(x, y, points):
    inside = False
    n = len(points)
    for i in range(n):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            cross = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < cross:
                inside = not inside
    return inside


def inside_round_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shapes(size):
    """The picture in a 48-unit square, back to front. The outline keeps at least one pixel."""
    stroke = max(2.0, 48.0 / size)
    page = [(8, 3), (32, 3), (40, 11), (40, 45), (8, 45)]
    inner = [(8 + stroke, 3 + stroke), (32 - stroke * 0.4, 3 + stroke),
             (40 - stroke, 11 + stroke * 0.4), (40 - stroke, 45 - stroke),
             (8 + stroke, 45 - stroke)]
    fold = [(32, 3), (32, 11), (40, 11)]
    items = [
        (INK, lambda x, y: inside_polygon(x, y, page)),
        (PAPER, lambda x, y: inside_polygon(x, y, inner)),
        (INK, lambda x, y: inside_polygon(x, y, fold)),
        (FOLD, lambda x, y: inside_polygon(x, y, [(32 + stroke * 0.5, 3 + stroke * 1.5),
                                                  (32 + stroke * 0.5, 11 - stroke * 0.5),
                                                  (40 - stroke * 1.5, 11 - stroke * 0.5)])),
    ]
    lines = [16, 22, 28] if size >= 32 else [17, 26]
    for y0 in lines:
        items.append((LINE, lambda x, y, y0=y0: 13 <= x <= 34 and y0 <= y <= y0 + stroke))
    items.append((INK, lambda x, y: inside_round_rect(x, y, 23, 25, 47, 47, 5)))
    items.append((BADGE, lambda x, y: inside_round_rect(x, y, 24.5, 26.5, 45.5, 45.5, 4)))
    right_arrow = [(28, 31), (37, 31), (37, 28), (43, 32.5), (37, 37), (37, 34), (28, 34)]
    left_arrow = [(41, 39), (32, 39), (32, 36), (26, 40.5), (32, 45), (32, 42), (41, 42)]
    if size < 32:
        right_arrow = [(27, 29), (36, 29), (36, 26), (44, 31.5), (36, 37), (36, 34), (27, 34)]
        left_arrow = [(42, 38), (33, 38), (33, 35), (25, 40.5), (33, 46), (33, 43), (42, 43)]
    items.append((ARROW, lambda x, y: inside_polygon(x, y, right_arrow)))
    items.append((ARROW, lambda x, y: inside_polygon(x, y, left_arrow)))
    return items


def render(size, samples=4):
    """RGBA pixels, top row first, with coverage as alpha."""
    items = shapes(size)
    scale = 48.0 / size
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for c, test in items:
                        if test(x, y):
                            colour = c
                    if colour:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = samples * samples
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    levels = [0, 51, 102, 153, 204, 255]
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(v, v, v) for v in range(8, 248, 6)][:40]
    return colours[:256]


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda i: sum((colour[k] - palette[i][k]) ** 2 for k in range(3)))


def dib(pixels, bits):
    """One icon image: BITMAPINFOHEADER, palette, colour bitmap and AND mask, rows bottom up."""
    size = len(pixels)
    opaque = [[p[3] >= 128 for p in row] for row in pixels]
    palette = VGA if bits == 4 else palette256() if bits == 8 else None
    rows = []
    for y in range(size - 1, -1, -1):
        row = pixels[y]
        if bits == 24:
            data = b"".join(bytes((p[2], p[1], p[0])) if opaque[y][x] else b"\0\0\0"
                            for x, p in enumerate(row))
        else:
            indices = [nearest(p, palette) if opaque[y][x] else 0 for x, p in enumerate(row)]
            if bits == 8:
                data = bytes(indices)
            else:
                data = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        data += b"\0" * (-len(data) % 4)
        rows.append(data)
    mask_rows = []
    for y in range(size - 1, -1, -1):
        bitsrow = bytearray((size + 7) // 8)
        for x in range(size):
            if not opaque[y][x]:
                bitsrow[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(bitsrow) + b"\0" * (-len(bitsrow) % 4))
    image = b"".join(rows)
    mask = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(image) + len(mask),
                         0, 0, 0, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) if palette else b""
    return header + table + image + mask


def main():
    os.makedirs(os.path.join(HERE, "icons"), exist_ok=True)
    rendered = {}
    for size in (16, 32, 48, 64, 128, 256):
        rendered[size] = render(size, samples=4 if size <= 64 else 2)
        with open(os.path.join(HERE, "icons", "veldran-%d.png" % size), "wb") as out:
            out.write(png(rendered[size]))

    entries = []
    for size in (48, 32, 16):
        # Sixteen colours cannot blend edges: the picture is drawn without smoothing for them.
        hard = render(size, samples=1)
        for bits in (4, 8, 24):
            entries.append((size, bits, dib(hard if bits == 4 else rendered[size], bits)))
    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    blobs = b""
    for size, bits, blob in entries:
        colours = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(blob),
                                 offset + len(blobs))
        blobs += blob
    with open(os.path.join(HERE, "veldran.ico"), "wb") as out:
        out.write(directory + blobs)


if __name__ == "__main__":
    main()
