#!/usr/bin/env python3
"""Draws the update window's two 64 x 64 pictures as RGBA PNG files with an alpha channel:

  globe.png  the window's picture `im`: a blue globe with a grid of meridians and parallels
  error.png  the error picture `imError`: a white diagonal cross on a red disc

Python standard library only (zlib for the PNG data). Every pixel is sampled 4 x 4 times, so
the edges are anti-aliased through the alpha channel. The output is deterministic: running
  python3 tools/make_update_pictures.py update/pictures
gives the checked-in files byte for byte."""
import math
import os
import struct
import sys
import zlib

SIZE = 64
SAMPLES = 4  # samples per pixel along each axis
CENTRE = SIZE / 2.0
RADIUS = 30.0


def png(pixels):
    """PNG file bytes for SIZE x SIZE pixels of (r, g, b, a) tuples, row by row."""
    raw = bytearray()
    for y in range(SIZE):
        raw.append(0)  # filter type None
        for x in range(SIZE):
            raw.extend(pixels[y * SIZE + x])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8 bits, RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def render(shade):
    """Averages shade(x, y) -> (r, g, b, a) over the samples of each pixel."""
    pixels = []
    for py in range(SIZE):
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = shade(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha <= 0:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append(tuple(int(round(c / acc[3])) for c in acc[:3]) +
                              (int(round(alpha * 255)),))
    return pixels


def globe(x, y):
    dx, dy = (x - CENTRE) / RADIUS, (y - CENTRE) / RADIUS
    d2 = dx * dx + dy * dy
    if d2 > 1.0:
        return (0, 0, 0, 0.0)
    if d2 > (1.0 - 2.0 / RADIUS) ** 2:
        return (20, 60, 130, 1.0)  # dark rim
    dz = math.sqrt(1.0 - d2)
    # Light from the upper left.
    light = max(0.0, -0.45 * dx - 0.55 * dy + 0.7 * dz)
    base = (40 + 90 * light, 110 + 100 * light, 200 + 55 * light)
    lat = math.degrees(math.asin(-dy))
    lon = math.degrees(math.atan2(dx, dz))
    line = 1.6 / RADIUS / max(dz, 0.25) * 57.3  # line width in degrees, wider at the edge
    on_grid = (min(lat % 30, 30 - lat % 30) < line * 0.5 or
               min(lon % 30, 30 - lon % 30) < line * 0.5 / max(math.cos(math.radians(lat)), 0.2))
    if on_grid:
        return (235, 245, 255, 1.0)
    return (min(base[0], 255), min(base[1], 255), min(base[2], 255), 1.0)


def error(x, y):
    dx, dy = x - CENTRE, y - CENTRE
    dist = math.hypot(dx, dy)
    if dist > RADIUS:
        return (0, 0, 0, 0.0)
    # Distance from the two diagonals; the cross arms end 14 pixels from the centre.
    arm = min(abs(dx - dy), abs(dx + dy)) / math.sqrt(2.0)
    along = max(abs(dx), abs(dy))
    if arm < 4.5 and along < 14.0:
        return (255, 255, 255, 1.0)
    if dist > RADIUS - 2.0:
        return (150, 20, 20, 1.0)  # dark rim
    shade = 1.0 - 0.25 * (dist / RADIUS)
    return (int(225 * shade), int(40 * shade), int(35 * shade), 1.0)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    for name, shade in (("globe.png", globe), ("error.png", error)):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(png(render(shade)))


if __name__ == "__main__":
    main()
