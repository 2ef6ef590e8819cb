#!/usr/bin/env python3
"""Draws the application's pictures into resources/icons/ (PNG, RGBA).

Only the Python standard library is used: shapes are described as signed distance
functions, covered with 4 x 4 supersampling and written with zlib. Run it from anywhere:

    python3 tools/draw_icons.py
"""
import math
import os
import struct
import zlib

OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons")
SS = 4  # samples per pixel and axis


def write_png(path, size, pixels):
    """pixels: list of rows, each a list of (r, g, b, a) floats in 0..1."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes(max(0, min(255, round(c * 255))) for c in (r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def fill(self, inside, colour):
        """inside(x, y) -> bool in a 0..1 coordinate system; colour(x, y) -> (r, g, b, a)."""
        n = self.size
        for j in range(n):
            for i in range(n):
                hits = 0
                acc = [0.0, 0.0, 0.0, 0.0]
                for sj in range(SS):
                    for si in range(SS):
                        x = (i + (si + 0.5) / SS) / n
                        y = (j + (sj + 0.5) / SS) / n
                        if inside(x, y):
                            c = colour(x, y)
                            hits += 1
                            for k in range(4):
                                acc[k] += c[k]
                if hits:
                    cov = hits / (SS * SS)
                    r, g, b, a = (v / hits for v in acc)
                    self._blend(i, j, (r, g, b, a * cov))

    def _blend(self, i, j, src):
        dr, dg, db, da = self.px[j][i]
        sr, sg, sb, sa = src
        oa = sa + da * (1 - sa)
        if oa <= 0:
            return
        mix = lambda s, d: (s * sa + d * da * (1 - sa)) / oa
        self.px[j][i] = (mix(sr, dr), mix(sg, dg), mix(sb, db), oa)

    def save(self, name):
        write_png(os.path.join(OUT_DIR, name), self.size, self.px)


def rgb(h, a=1.0):
    return (int(h[1:3], 16) / 255, int(h[3:5], 16) / 255, int(h[5:7], 16) / 255, a)


def lerp(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c1, c2))


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def polyline(points, width):
    segs = list(zip(points, points[1:]))
    half = width / 2
    return lambda x, y: any(seg_dist(x, y, *a, *b) <= half for a, b in segs)


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        qx = max(x0 + radius - x, 0, x - (x1 - radius))
        qy = max(y0 + radius - y, 0, y - (y1 - radius))
        return qx * qx + qy * qy <= radius * radius if radius else x0 <= x <= x1 and y0 <= y <= y1
    return inside


def ring_rect(x0, y0, x1, y1, radius, width):
    outer = rect(x0, y0, x1, y1, radius)
    inner = rect(x0 + width, y0 + width, x1 - width, y1 - width, max(0.0, radius - width))
    return lambda x, y: outer(x, y) and not inner(x, y)


def solid(c):
    return lambda x, y: c


def lamp(name, light, dark):
    """A shaded disc: highlight up-left, dark rim, soft shadow below."""
    c = Canvas(64)
    c.fill(disc(0.5, 0.53, 0.46), solid((0, 0, 0, 0.18)))
    c.fill(disc(0.5, 0.5, 0.45), solid(rgb(dark)))

    def body(x, y):
        d = math.hypot(x - 0.40, y - 0.36) / 0.62
        return lerp(rgb(light), rgb(dark), d)

    c.fill(disc(0.5, 0.5, 0.41), body)

    def gloss(x, y):
        d = math.hypot(x - 0.40, y - 0.32) / 0.2
        return (1, 1, 1, max(0.0, 0.75 * (1 - d)))

    c.fill(disc(0.40, 0.32, 0.2), gloss)
    c.save(name)


def realdata():
    """Tab icon of the live values: a trend line over a framed plot."""
    c = Canvas(32)
    ink = rgb("#2e7d32")
    c.fill(polyline([(0.12, 0.10), (0.12, 0.88), (0.92, 0.88)], 0.08), solid(rgb("#455a64")))
    c.fill(polyline([(0.20, 0.70), (0.38, 0.45), (0.55, 0.60), (0.85, 0.22)], 0.10), solid(ink))
    for px, py in [(0.38, 0.45), (0.55, 0.60), (0.85, 0.22)]:
        c.fill(disc(px, py, 0.07), solid(ink))
    c.save("realdata.png")


def trends():
    """Tab icon of the trends: three curves over time in a framed plot."""
    c = Canvas(32)
    c.fill(polyline([(0.12, 0.10), (0.12, 0.88), (0.92, 0.88)], 0.08), solid(rgb("#455a64")))
    c.fill(polyline([(0.20, 0.28), (0.40, 0.22), (0.60, 0.32), (0.86, 0.20)], 0.08), solid(rgb("#1f77b4")))
    c.fill(polyline([(0.20, 0.50), (0.40, 0.46), (0.60, 0.54), (0.86, 0.44)], 0.08), solid(rgb("#2e7d32")))
    c.fill(polyline([(0.20, 0.76), (0.40, 0.62), (0.60, 0.74), (0.86, 0.66)], 0.08), solid(rgb("#e65100")))
    c.save("trends.png")


def moreinfo():
    """Tab icon of the recorded table: a sheet with a header row and lines."""
    c = Canvas(32)
    edge = rgb("#455a64")
    c.fill(rect(0.10, 0.12, 0.90, 0.88, 0.08), solid(rgb("#ffffff")))
    c.fill(rect(0.10, 0.12, 0.90, 0.34, 0.08), solid(rgb("#66bb6a")))
    c.fill(ring_rect(0.10, 0.12, 0.90, 0.88, 0.08, 0.06), solid(edge))
    for y in (0.52, 0.70):
        c.fill(polyline([(0.18, y), (0.82, y)], 0.05), solid(edge))
    c.fill(polyline([(0.42, 0.34), (0.42, 0.86)], 0.05), solid(edge))
    c.save("moreinfo.png")


def clean():
    """Button icon for clearing the table: a waste bin."""
    c = Canvas(32)
    ink = rgb("#ffffff")
    c.fill(polyline([(0.16, 0.24), (0.84, 0.24)], 0.09), solid(ink))
    c.fill(polyline([(0.40, 0.14), (0.60, 0.14)], 0.09), solid(ink))
    c.fill(polyline([(0.24, 0.32), (0.30, 0.88), (0.70, 0.88), (0.76, 0.32)], 0.08), solid(ink))
    for x in (0.40, 0.50, 0.60):
        c.fill(polyline([(x, 0.40), (x, 0.78)], 0.05), solid(ink))
    c.save("clean.png")


def triangle(points):
    (ax, ay), (bx, by), (cx, cy) = points

    def side(px, py, x0, y0, x1, y1):
        return (x1 - x0) * (py - y0) - (y1 - y0) * (px - x0)

    def inside(x, y):
        d1 = side(x, y, ax, ay, bx, by)
        d2 = side(x, y, bx, by, cx, cy)
        d3 = side(x, y, cx, cy, ax, ay)
        return (d1 >= 0 and d2 >= 0 and d3 >= 0) or (d1 <= 0 and d2 <= 0 and d3 <= 0)

    return inside


def combo_arrow():
    """Drop-down arrow of the selectors: a green triangle pointing down."""
    c = Canvas(16)
    c.fill(triangle([(0.12, 0.30), (0.88, 0.30), (0.50, 0.76)]), solid(rgb("#43a047")))
    c.save("combo_arrow.png")


def app():
    """Application icon: a battery with a pulse line."""
    c = Canvas(64)
    body = rgb("#43a047")
    c.fill(rect(0.08, 0.24, 0.86, 0.80, 0.10), lambda x, y: lerp(rgb("#81c784"), body, (y - 0.24) / 0.56))
    c.fill(rect(0.86, 0.40, 0.95, 0.64, 0.03), solid(rgb("#2e7d32")))
    c.fill(ring_rect(0.08, 0.24, 0.86, 0.80, 0.10, 0.04), solid(rgb("#2e7d32")))
    c.fill(polyline([(0.16, 0.54), (0.34, 0.54), (0.42, 0.36), (0.52, 0.70), (0.60, 0.50),
                     (0.78, 0.50)], 0.07), solid(rgb("#ffffff")))
    c.save("app.png")


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    lamp("glay.png", "#e0e0e0", "#8a8a8a")
    lamp("green_cycle_full.png", "#b9f6ca", "#1b9e3e")
    lamp("red_cycle_full.png", "#ffcdd2", "#c62828")
    realdata()
    moreinfo()
    trends()
    clean()
    combo_arrow()
    app()


if __name__ == "__main__":
    main()
