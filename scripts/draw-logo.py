#!/usr/bin/env python3
"""Draws the program's pictures: the header logo ui/qz.bmp and the desktop icons
packaging/icons/kryta-lt-scope-<size>.png.

The motif is what the sensor sees: the intensity profile of a line of CCD pixels with the edges of
an object, crossed by the red video threshold, above the row of pixels. Plain Python, no
libraries: shapes are drawn four times larger and averaged down, which smooths their edges.
Usage: scripts/draw-logo.py   (from anywhere; writes into the source tree)
"""
import math
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BLUE = (0x00, 0x80, 0xFF)      # the header's banner
WHITE = (0xFF, 0xFF, 0xFF)
RED = (0xE8, 0x10, 0x10)
DARK = (0x00, 0x4C, 0xA8)
SCALE = 4


class Canvas:
    def __init__(self, width, height, background):
        self.w, self.h = width * SCALE, height * SCALE
        self.px = [[background] * self.w for _ in range(self.h)]
        self.alpha = [[0] * self.w for _ in range(self.h)]

    def dot(self, x, y, color):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = color
            self.alpha[y][x] = 1

    def rect(self, x0, y0, x1, y1, color):
        """Fills [x0, x1) x [y0, y1), in picture pixels."""
        for y in range(int(y0 * SCALE), int(y1 * SCALE)):
            for x in range(int(x0 * SCALE), int(x1 * SCALE)):
                self.dot(x, y, color)

    def rounded(self, x0, y0, x1, y1, radius, color):
        r = radius * SCALE
        for y in range(int(y0 * SCALE), int(y1 * SCALE)):
            for x in range(int(x0 * SCALE), int(x1 * SCALE)):
                cx = min(max(x, x0 * SCALE + r), x1 * SCALE - r)
                cy = min(max(y, y0 * SCALE + r), y1 * SCALE - r)
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.dot(x, y, color)

    def polyline(self, points, width, color):
        """A line of the given width through points given in picture pixels."""
        half = width * SCALE / 2
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            ax, ay, bx, by = ax * SCALE, ay * SCALE, bx * SCALE, by * SCALE
            steps = int(max(abs(bx - ax), abs(by - ay))) + 1
            for i in range(steps + 1):
                t = i / steps
                cx, cy = ax + (bx - ax) * t, ay + (by - ay) * t
                for dy in range(-int(half) - 1, int(half) + 2):
                    for dx in range(-int(half) - 1, int(half) + 2):
                        if dx * dx + dy * dy <= half * half:
                            self.dot(cx + dx, cy + dy, color)

    def pixels(self, transparent=False):
        """Rows of (r, g, b, a) in picture pixels, averaged over SCALE x SCALE. Transparent: what
        was never drawn on is see-through, and only what was drawn gives the colour."""
        out = []
        n = SCALE * SCALE
        for y in range(0, self.h, SCALE):
            row = []
            for x in range(0, self.w, SCALE):
                block = [(self.px[y + j][x + i], self.alpha[y + j][x + i])
                         for j in range(SCALE) for i in range(SCALE)]
                covered = sum(a for _, a in block)
                if transparent:
                    block = [b for b in block if b[1]] or block
                rgb = tuple(sum(c[k] for c, _ in block) // len(block) for k in range(3))
                row.append(rgb + ((255 * covered // n) if transparent else 255,))
            out.append(row)
        return out


def profile(u):
    """Intensity along the line (0..1) with an object's two edges: low outside, high inside."""
    rise = 1 / (1 + math.exp(-(u - 0.34) * 40))
    fall = 1 / (1 + math.exp((u - 0.66) * 40))
    return 0.12 + 0.8 * rise * fall + 0.03 * math.sin(u * 37)


def draw_motif(c, x0, y0, width, height, line):
    """Profile, threshold and pixel row inside the box (picture pixels)."""
    curve_bottom = y0 + height * 0.62
    pts = [(x0 + width * i / 120, curve_bottom - profile(i / 120) * height * 0.6) for i in range(121)]
    c.polyline([(x0, curve_bottom - height * 0.6 * 0.5), (x0 + width, curve_bottom - height * 0.6 * 0.5)],
               line * 0.8, RED)
    c.polyline(pts, line, WHITE)
    cells = 14
    cell = width / cells
    for i in range(cells):
        c.rect(x0 + i * cell + cell * 0.15, y0 + height * 0.78, x0 + (i + 1) * cell - cell * 0.15,
               y0 + height, WHITE if 5 <= i <= 8 else DARK)


def write_bmp(path, rows):
    """24-bit Windows bitmap, bottom-up rows padded to four bytes."""
    h, w = len(rows), len(rows[0])
    pad = (4 - (w * 3) % 4) % 4
    data = b"".join(
        b"".join(struct.pack("BBB", b, g, r) for r, g, b, _ in row) + b"\0" * pad
        for row in reversed(rows))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_png(path, rows):
    """RGBA PNG."""
    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\0" + b"".join(struct.pack("BBBB", *p) for p in row) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def logo():
    # 140 x 60, the size of the header's picture; the program's name is written over its middle
    # band (from 25 pixels down), so the motif keeps to the top and the pixel row to the bottom.
    c = Canvas(140, 60, BLUE)
    draw_motif(c, 4, 1, 132, 22, 1.6)
    for i in range(28):
        c.rect(i * 5 + 1, 52, i * 5 + 4, 57, WHITE if 11 <= i <= 16 else DARK)
    write_bmp(os.path.join(ROOT, "ui", "qz.bmp"), c.pixels())


def icon(size):
    c = Canvas(size, size, (0, 0, 0))
    c.rounded(0, 0, size, size, size * 0.18, BLUE)
    m = size * 0.14
    draw_motif(c, m, m * 1.1, size - 2 * m, size - 2.2 * m, max(1.2, size / 28))
    folder = os.path.join(ROOT, "packaging", "icons")
    os.makedirs(folder, exist_ok=True)
    write_png(os.path.join(folder, "kryta-lt-scope-%d.png" % size), c.pixels(transparent=True))


if __name__ == "__main__":
    logo()
    for s in (48, 128):
        icon(s)
