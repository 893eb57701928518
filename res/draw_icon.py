#!/usr/bin/env python3
"""Draws Escaner's icon: a magnifier over a folder, with a red slash in the lens.

Writes res/escaner.png (256 x 256, RGBA, 8 bits per channel) and
res/escaner.ico (one entry, 256 x 256 at 32 bpp, the same PNG as payload).
Standard library only; the output is byte-for-byte reproducible.

    python3 res/draw_icon.py
"""
import math
import os
import struct
import zlib

SIZE = 256
SUBSAMPLES = 4  # per axis: 16 samples per pixel for smooth edges


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside, (x0, y0, x1, y1)


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def inside(x, y):
        # Even-odd rule.
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside, (min(xs), min(ys), max(xs), max(ys))


def disc(cx, cy, r):
    def inside(x, y):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside, (cx - r, cy - r, cx + r, cy + r)


def ring(cx, cy, r_outer, r_inner):
    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        return r_inner * r_inner <= d <= r_outer * r_outer
    return inside, (cx - r_outer, cy - r_outer, cx + r_outer, cy + r_outer)


def stroke(ax, ay, bx, by, half_width):
    """A straight stroke with round caps."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width
    pad = half_width
    return inside, (min(ax, bx) - pad, min(ay, by) - pad, max(ax, bx) + pad, max(ay, by) + pad)


def clipped(shape, clip):
    inside, box = shape
    clip_inside, _ = clip
    return (lambda x, y: inside(x, y) and clip_inside(x, y)), box


# Back to front: (shape, (r, g, b, a)).
LENS_X, LENS_Y, LENS_R = 150, 120, 62
LAYERS = [
    # Folder: back with its tab, then the front flap.
    (polygon([(20, 66), (92, 66), (108, 84), (236, 84), (236, 214), (20, 214)]), (196, 138, 22, 255)),
    (rounded_rect(20, 96, 236, 222, 12), (246, 194, 62, 255)),
    (rounded_rect(20, 96, 236, 104, 4), (252, 216, 112, 255)),
    # Magnifier: handle, lens glass, a red slash seen through it, rim.
    (stroke(196, 166, 236, 206, 13), (54, 62, 74, 255)),
    (disc(LENS_X, LENS_Y, LENS_R), (214, 236, 250, 215)),
    (clipped(stroke(170, 84, 130, 156, 8), disc(LENS_X, LENS_Y, LENS_R - 8)), (208, 36, 36, 255)),
    (ring(LENS_X, LENS_Y, LENS_R + 1, LENS_R - 9), (54, 62, 74, 255)),
    (clipped(ring(LENS_X, LENS_Y, LENS_R - 14, LENS_R - 20), polygon([(92, 60), (150, 60), (92, 118)])),
     (255, 255, 255, 190)),
]


def render():
    pixels = [[(0.0, 0.0, 0.0, 0.0)] * SIZE for _ in range(SIZE)]  # premultiplied
    offsets = [(i + 0.5) / SUBSAMPLES for i in range(SUBSAMPLES)]
    samples = SUBSAMPLES * SUBSAMPLES
    for (inside, (bx0, by0, bx1, by1)), (r, g, b, a) in LAYERS:
        alpha = a / 255.0
        for y in range(max(0, int(by0) - 1), min(SIZE, int(by1) + 2)):
            row = pixels[y]
            for x in range(max(0, int(bx0) - 1), min(SIZE, int(bx1) + 2)):
                hits = sum(1 for oy in offsets for ox in offsets if inside(x + ox, y + oy))
                if hits == 0:
                    continue
                cover = alpha * hits / samples
                pr, pg, pb, pa = row[x]
                keep = 1.0 - cover
                row[x] = (r / 255.0 * cover + pr * keep, g / 255.0 * cover + pg * keep,
                          b / 255.0 * cover + pb * keep, cover + pa * keep)
    return pixels


def to_rgba_bytes(pixels):
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for pr, pg, pb, pa in row:
            if pa <= 0.0:
                raw += b"\0\0\0\0"
                continue
            raw += bytes(min(255, round(c / pa * 255)) for c in (pr, pg, pb))
            raw.append(min(255, round(pa * 255)))
    return bytes(raw)


def png(raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    ihdr = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # depth 8, colour type 6 (RGBA)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico(png_bytes):
    # ICONDIR, then one ICONDIRENTRY: width and height 0 mean 256.
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png_bytes), 6 + 16)
    return header + entry + png_bytes


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    image = png(to_rgba_bytes(render()))
    with open(os.path.join(here, "escaner.png"), "wb") as f:
        f.write(image)
    with open(os.path.join(here, "escaner.ico"), "wb") as f:
        f.write(ico(image))


if __name__ == "__main__":
    main()
