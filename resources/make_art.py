#!/usr/bin/env python3
"""Draws Veltrano's icons and About-box bitmap.

The emblem is a deep-teal globe woven as a spider web, with an amber badge
holding a download arrow: a crawler that walks a site and gathers what it
finds.  Shapes are tested at many sub-pixel points per pixel, which gives
smooth anti-aliased edges.  Standard library only; output is deterministic.

Writes veltrano.ico (48, 32, 16), veltrano_small.ico (16, 32) and about.bmp
(56x56, 24-bit) next to this script.  With --preview DIR it also writes PNG
copies of every image into DIR.
"""
import math
import os
import struct
import sys
import zlib

TEAL_DARK = (6, 60, 74)
TEAL = (14, 104, 122)
WEB = (214, 244, 238)
AMBER = (250, 172, 34)
AMBER_DARK = (196, 118, 8)
WHITE = (255, 255, 255)
DIALOG_GREY = (240, 240, 240)
SUBSAMPLES = 8  # per pixel side: 64 samples a pixel


# --- Shapes: a bounding box and a point test, in pixel units ---------------
def disc(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment(x0, y0, x1, y1, width):
    """A stroke of the given width with round ends."""
    dx, dy, h = x1 - x0, y1 - y0, width / 2
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return (x - x0 - t * dx) ** 2 + (y - y0 - t * dy) ** 2 <= h * h
    return (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h), inside


def polygon(points):
    """A filled polygon (even-odd rule)."""
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        hit = False
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                hit = not hit
        return hit
    return (min(xs), min(ys), max(xs), max(ys)), inside


def sagging_thread(p0, p1, centre, sag, width, steps=4):
    """A web thread from p0 to p1 that sags toward the web's centre."""
    mx, my = (p0[0] + p1[0]) / 2, (p0[1] + p1[1]) / 2
    cx, cy = mx + (centre[0] - mx) * 2 * sag, my + (centre[1] - my) * 2 * sag
    pts = [((1 - t) ** 2 * p0[0] + 2 * t * (1 - t) * cx + t * t * p1[0],
            (1 - t) ** 2 * p0[1] + 2 * t * (1 - t) * cy + t * t * p1[1])
           for t in (i / steps for i in range(steps + 1))]
    return [segment(*a, *b, width) for a, b in zip(pts, pts[1:])]


# --- The emblem --------------------------------------------------------------
# Two drawings, each on its own design grid: the full emblem on a 32-unit grid
# (drawn at 32, 48 and 64 pixels) and a bolder one with fewer threads on a
# 16-unit grid (drawn at 16 and 32 pixels).  All lengths are in grid units:
# globe and badge are (centre, radius) on the diagonal, shaft is (width, length
# above the badge centre), head is (half width, tip below the centre) and tray
# is (depth below the centre, half length, width).
FULL = dict(grid=32, globe=(14.5, 13.5), spokes=8, reach=12.3, rings=(5.2, 9.6), sag=0.12, line=1.0,
            badge=(24.0, 7.0), halo=1.0, shaft=(2.0, 5.0), head=(3.5, 1.5), tray=(3.5, 3.5, 1.0))
SIMPLE = dict(grid=16, globe=(6.5, 6.5), spokes=4, reach=5.6, rings=(4.0,), sag=0.1, line=1.0,
              badge=(11.0, 4.4), halo=0.6, shaft=(2.0, 3.0), head=(3.0, 3.0), tray=None)


def snap(centre, width):
    """Moves a centre so that a stroke of this pixel width meets pixel edges."""
    return round(centre - width / 2) + width / 2


def emblem(n, d):
    """Layers (colour, shape) for an n x n image of design d, painted in order."""
    u = n / d['grid']
    line = d['line'] * u
    gc, gr = snap(d['globe'][0] * u, line), d['globe'][1] * u
    layers = [(TEAL_DARK, disc(gc, gc, gr)), (TEAL, disc(gc, gc, gr - max(1.0, u)))]
    # The web: spokes from the centre, then rings of threads sagging inward.
    angles = [2 * math.pi * k / d['spokes'] for k in range(d['spokes'])]
    sag = d['sag'] if n >= 32 else 0  # at 16 pixels straight 45-degree threads stay crisp
    spoke_ends = [(gc + d['reach'] * u * math.cos(a), gc + d['reach'] * u * math.sin(a)) for a in angles]
    layers += [(WEB, segment(gc, gc, x, y, line)) for x, y in spoke_ends]
    for r in d['rings']:
        pts = [(gc + r * u * math.cos(a), gc + r * u * math.sin(a)) for a in angles]
        for p, q in zip(pts, pts[1:] + pts[:1]):
            layers += [(WEB, s) for s in sagging_thread(p, q, (gc, gc), sag, line)]
    # The badge: a white halo, an amber coin and a teal arrow dropping into a tray.
    shaft_w, shaft_len = (v * u for v in d['shaft'])
    head_w, tip = (v * u for v in d['head'])
    bc, br = snap(d['badge'][0] * u, shaft_w), d['badge'][1] * u
    layers += [(WHITE, disc(bc, bc, br + d['halo'] * u)), (AMBER_DARK, disc(bc, bc, br)),
               (AMBER, disc(bc, bc, br - max(1.0, 0.8 * u)))]
    top, neck, tip = bc - shaft_len, bc + tip - head_w, bc + tip
    layers.append((TEAL_DARK, polygon([(bc - shaft_w / 2, top), (bc + shaft_w / 2, top), (bc + shaft_w / 2, neck),
                                       (bc + head_w, neck), (bc, tip), (bc - head_w, neck),
                                       (bc - shaft_w / 2, neck)])))
    if d['tray']:
        y, half, width = (v * u for v in d['tray'])
        layers.append((TEAL_DARK, segment(bc - half, bc + y, bc + half, bc + y, width)))
    return layers


def render(n, design):
    """Rows of (r, g, b, a) pixels, top row first."""
    layers = emblem(n, design)
    offsets = [(k + 0.5) / SUBSAMPLES for k in range(SUBSAMPLES)]
    rows = []
    for py in range(n):
        row = []
        for px in range(n):
            here = [(c, test) for c, ((x0, y0, x1, y1), test) in reversed(layers)
                    if x0 < px + 1 and x1 > px and y0 < py + 1 and y1 > py]
            total, rgb = 0, [0, 0, 0]
            for oy in offsets:
                for ox in offsets:
                    for colour, test in here:
                        if test(px + ox, py + oy):
                            total += 1
                            rgb = [s + c for s, c in zip(rgb, colour)]
                            break
            row.append(tuple(round(s / total) for s in rgb) + (round(255 * total / SUBSAMPLES ** 2),)
                       if total else (0, 0, 0, 0))
        rows.append(row)
    return rows


def over(rows, background):
    """Flattens the image onto an opaque background colour."""
    return [[tuple(round((c * p[3] + b * (255 - p[3])) / 255) for c, b in zip(p, background))
             for p in row] for row in rows]


# --- File formats --------------------------------------------------------------
def dib_header(w, h, bits, image_size):
    return struct.pack('<IiiHHIIiiII', 40, w, h, 1, bits, 0, image_size, 2835, 2835, 0, 0)


def ico(images):
    """A .ico holding 32-bit BGRA images, each with its 1-bit AND mask."""
    blobs = []
    for rows in images:
        n = len(rows)
        xor = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
        stride = (n + 31) // 32 * 4
        mask = b''
        for row in reversed(rows):
            bits = 0
            for x, p in enumerate(row):
                bits |= (p[3] == 0) << (stride * 8 - 1 - x)
            mask += bits.to_bytes(stride, 'big')
        blobs.append(dib_header(n, 2 * n, 32, len(xor) + len(mask)) + xor + mask)
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, blob in zip(images, blobs):
        n = len(rows) % 256
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blobs)


def bmp(rows):
    """An uncompressed bottom-up 24-bit .bmp."""
    pad = b'\0' * (-3 * len(rows[0]) % 4)
    pixels = b''.join(b''.join(bytes((b, g, r)) for r, g, b in row) + pad for row in reversed(rows))
    return struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54) + \
        dib_header(len(rows[0]), len(rows), 24, len(pixels)) + pixels


def png(rows):
    """A PNG preview (RGBA, or RGB for opaque rows)."""
    depth = len(rows[0][0])
    raw = b''.join(b'\0' + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    header = struct.pack('>IIBBBBB', len(rows[0]), len(rows), 8, 6 if depth == 4 else 2, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    large = {48: render(48, FULL), 32: render(32, FULL), 16: render(16, SIMPLE)}
    small = {n: render(n, SIMPLE) for n in (16, 32)}
    about = over(render(56, FULL), DIALOG_GREY)
    outputs = {'veltrano.ico': ico([large[48], large[32], large[16]]),
               'veltrano_small.ico': ico([small[16], small[32]]),
               'about.bmp': bmp(about)}
    for name, data in outputs.items():
        with open(os.path.join(here, name), 'wb') as f:
            f.write(data)
    if len(sys.argv) == 3 and sys.argv[1] == '--preview':
        previews = {f'large{n}': rows for n, rows in large.items()}
        previews.update({f'small{n}': rows for n, rows in small.items()}, about=about)
        for name, rows in previews.items():
            with open(os.path.join(sys.argv[2], name + '.png'), 'wb') as f:
                f.write(png(rows))


if __name__ == '__main__':
    main()
