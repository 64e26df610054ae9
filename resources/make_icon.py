#!/usr/bin/env python3
"""Draws the program's icon, a certificate with a red seal, at 16, 32 and 48 pixels.

    make_icon.py --ico ICON.ico          the Windows icon file, with a 256-pixel image besides
    make_icon.py --header ICON.h         the same pictures as RGBA arrays for the Linux window
    make_icon.py --png-theme FOLDER      PNG files in an icon theme's layout (SIZExSIZE/apps/)

Shapes are drawn in a unit square and sampled 4 x 4 times per pixel, so the small sizes stay
smooth; only the standard library is used.
"""
import argparse
import os
import struct
import zlib

SIZES = (16, 32, 48)
# Windows shows this size in large views of the Explorer; it keeps it PNG-compressed, as
# a bitmap it would be a quarter of a megabyte.
LARGE_SIZE = 256
SAMPLES = 4

PAGE = (250, 246, 230)
INK = (54, 66, 104)
SEAL = (196, 28, 36)
SEAL_RIM = (128, 16, 22)
SEAL_MARK = (246, 206, 96)


def inside_rect(x, y, left, top, right, bottom):
    return left <= x < right and top <= y < bottom


def inside_circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 < r * r


def inside_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    return not ((d1 < 0 or d2 < 0 or d3 < 0) and (d1 > 0 or d2 > 0 or d3 > 0))


def colour_at(x, y, size):
    """The colour of the point (x, y) of the unit square, or None where the icon is clear."""
    line = max(1.0 / size, 0.045)  # at least one pixel thick
    cx, cy, r = 0.70, 0.68, 0.23
    if inside_circle(x, y, cx, cy, r * 0.45):
        return SEAL_MARK
    if inside_circle(x, y, cx, cy, r - line):
        return SEAL
    if inside_circle(x, y, cx, cy, r):
        return SEAL_RIM
    # The seal's two ribbon ends hang below it.
    if inside_triangle(x, y, (0.56, 0.80), (0.68, 0.86), (0.54, 1.0)) or inside_triangle(
        x, y, (0.84, 0.80), (0.72, 0.86), (0.86, 1.0)
    ):
        return SEAL
    left, top, right, bottom = 0.08, 0.06, 0.84, 0.84
    if not inside_rect(x, y, left, top, right, bottom):
        return None
    if not inside_rect(x, y, left + line, top + line, right - line, bottom - line):
        return INK
    for row, end in ((0.22, 0.72), (0.36, 0.72), (0.50, 0.46)):
        if inside_rect(x, y, 0.20, row, end, row + line):
            return INK
    return PAGE


def draw(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            totals, hits = [0, 0, 0], 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(
                        (px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size, size
                    )
                    if c:
                        hits += 1
                        totals = [t + v for t, v in zip(totals, c)]
            if hits:
                row.append(tuple(t // hits for t in totals) + (255 * hits // SAMPLES**2,))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(rows):
    """An icon image: the header, the colours bottom row first, then the transparency mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colours + mask


def ico(pictures):
    images = [png(rows) if len(rows) == LARGE_SIZE else dib(rows) for rows in pictures]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, image in zip(pictures, images):
        size = len(rows) % 256  # the directory writes 256 as 0
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def png(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    # Each row starts with its filter type, 0 (none); 8 bits a channel, RGBA.
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def png_theme(pictures, folder):
    for rows in pictures:
        size = len(rows)
        apps = os.path.join(folder, f"{size}x{size}", "apps")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "certinstall.png"), "wb") as f:
            f.write(png(rows))


def header(pictures):
    lines = [
        "// Made by resources/make_icon.py: the program's icon as RGBA pixels, top row first.",
        "#pragma once",
        "",
        "namespace certinstall_icon {",
        "",
    ]
    for rows in pictures:
        size = len(rows)
        data = ", ".join(str(v) for row in rows for pixel in row for v in pixel)
        lines.append(f"constexpr unsigned char kPixels{size}[] = {{{data}}};")
    lines += ["", "} // namespace certinstall_icon", ""]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ico")
    parser.add_argument("--header")
    parser.add_argument("--png-theme")
    args = parser.parse_args()
    pictures = [draw(size) for size in SIZES]
    if args.ico:
        with open(args.ico, "wb") as f:
            f.write(ico(pictures + [draw(LARGE_SIZE)]))
    if args.header:
        with open(args.header, "w") as f:
            f.write(header(pictures))
    if args.png_theme:
        png_theme(pictures, args.png_theme)


if __name__ == "__main__":
    main()
