#!/usr/bin/env python3
"""Writes resources/paper/linenBG.png: the linen the paper lies on.

A woven cloth of 256 x 256 pixels that tiles: every warp thread (column) and
weft thread (row) has a brightness of its own, the two cross over and under
each other pixel by pixel, a few threads are thicker slubs, and a faint grain
lies over all. Everything is drawn from a fixed seed and wraps around the
edges, so the picture is the same on every run and has no seams.

    scripts/make-linen.py [output.png]
"""

import random
import struct
import sys
import zlib

SIZE = 256
BASE = (104, 99, 94)


def thread_values(rng):
    values = [rng.gauss(0.0, 1.0) for _ in range(SIZE)]
    # Slubs: a few thicker, lighter or darker threads two or three wide.
    for _ in range(14):
        start = rng.randrange(SIZE)
        lift = rng.choice((-1.0, 1.0)) * rng.uniform(1.5, 2.5)
        for k in range(rng.choice((2, 3))):
            values[(start + k) % SIZE] += lift
    # A soft blur across neighbouring threads, wrapping around.
    return [(values[i - 1] + 2.0 * values[i] + values[(i + 1) % SIZE]) / 4.0 for i in range(SIZE)]


def linen():
    rng = random.Random(20240611)
    warp = thread_values(rng)
    weft = thread_values(rng)
    pixels = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            # Over and under: the warp shows on one pixel, the weft on the next.
            over = (x + y) % 2 == 0
            thread = warp[x] if over else weft[y]
            shade = 5.0 * thread + (3.0 if over else -3.0) + rng.gauss(0.0, 2.0)
            row.append(tuple(max(0, min(255, int(round(c + shade)))) for c in BASE))
        pixels.append(row)
    return pixels


def png(pixels):
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "resources/paper/linenBG.png"
    with open(path, "wb") as out:
        out.write(png(linen()))


if __name__ == "__main__":
    main()
