#!/usr/bin/env python3
"""Draws the program's icon, app/windows/wallpaper-fetcher.ico: a wooden
picture frame holding a landscape (sky, sun, two hills). 16, 32 and 48 pixels
as 32-bit bitmaps, 256 as PNG, as Windows keeps them. Run it again only to
redraw the icon; the build uses the committed file."""
import math
import struct
import sys
import zlib

SAMPLES = 4  # per axis, for smooth edges


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def colour_at(x, y):
    """RGBA (0..1) of the point (x, y) of the unit square, y downwards."""
    margin, frame, bevel = 0.04, 0.13, 0.035
    if x < margin or y < margin or x > 1 - margin or y > 1 - margin:
        return (0, 0, 0, 0)
    inner = margin + frame
    if x < inner or y < inner or x > 1 - inner or y > 1 - inner:
        wood = (0.55, 0.35, 0.17, 1)
        edge = min(x, y, 1 - x, 1 - y)
        if edge < margin + bevel:
            return (0.78, 0.58, 0.29, 1)  # the frame's light outer edge
        if edge > inner - bevel * 0.6:
            return (0.36, 0.22, 0.10, 1)  # its shadow towards the picture
        return wood
    u = (x - inner) / (1 - 2 * inner)
    v = (y - inner) / (1 - 2 * inner)
    if v > 0.62 + 0.12 * math.cos(u * 3.2):
        if v > 0.80 - 0.10 * math.sin(u * 2.6 + 0.3):
            return (0.20, 0.52, 0.22, 1)  # near hill
        return (0.30, 0.66, 0.31, 1)  # far hill
    if (u - 0.70) ** 2 + (v - 0.30) ** 2 < 0.13 ** 2:
        return (1.0, 0.83, 0.30, 1)  # sun
    return mix((0.34, 0.66, 0.95, 1), (0.72, 0.88, 1.0, 1), v)  # sky


def render(size):
    """Rows of (r, g, b, a) bytes, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                           (py + (sy + 0.5) / SAMPLES) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / acc[3] * 255) for c in acc[:3]) + (round(alpha * 255),))
        rows.append(row)
    return rows


def bitmap_entry(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)  # the alpha channel decides


def png_entry(size, rows):
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    images = []
    for size in (16, 32, 48, 256):
        rows = render(size)
        images.append((size, png_entry(size, rows) if size == 256 else bitmap_entry(size, rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(data for _, data in images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/windows/wallpaper-fetcher.ico")
