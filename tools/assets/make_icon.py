#!/usr/bin/python3
"""Draws the program icon, Icons/tessolino-<N>.png for N = 16, 24, 32, 48, 64, 128 and 256:
a small landscape cut into square tiles on a dark board, one tile lifted out of its
cell with a shadow under it. Small sizes use a 2 x 2 grid with the tile edges on whole
pixels, so the cut still reads at 16 pixels.

Usage: make_icon.py [OUT_DIR]   (default: assets/Icons/ of this source tree)
Everything is computed from fixed shapes, so a rerun gives byte-identical files."""
import math
import os
import sys

import numpy as np

import raster
from raster import coverage, sd_circle, sd_round_rect

SIZES = (16, 24, 32, 48, 64, 128, 256)
BOARD = (46, 52, 64)
HOLE = (28, 32, 40)


def over(canvas, colour, alpha):
    """Paints `colour` (RGB tuple or HxWx3) with opacity `alpha` over a premultiplied
    RGBA canvas."""
    a = np.clip(np.asarray(alpha, float), 0.0, 1.0)[..., None]
    canvas[..., :3] = np.asarray(colour, float) * a + canvas[..., :3] * (1 - a)
    canvas[..., 3:] = a + canvas[..., 3:] * (1 - a)


def vgrad(v, top, bottom, v0, v1):
    t = np.clip((v - v0) / (v1 - v0), 0.0, 1.0)[..., None]
    return np.asarray(top, float) * (1 - t) + np.asarray(bottom, float) * t


def picture(u, v):
    """The landscape on the tiles; u, v run from 0 to 1 across the whole grid. The sun
    sits in the top-right tile, the one that is lifted."""
    img = vgrad(v, (52, 118, 210), (182, 220, 246), 0.0, 0.62)
    sun = sd_circle(u, v, 0.82, 0.18, 0.10)
    glow = np.exp(-np.maximum(sun, 0.0) / 0.05) * 0.4
    img = img * (1 - glow[..., None]) + np.array((255, 238, 176)) * glow[..., None]
    s = coverage(sun, soft=0.006)[..., None]
    img = img * (1 - s) + np.array((255, 204, 64)) * s
    # far mountains, blue-grey under snow caps
    peaks = np.maximum(0.0, 1 - np.abs(u - 0.30) / 0.30) * 0.26 + np.maximum(0.0, 1 - np.abs(u - 0.66) / 0.22) * 0.16
    far = 0.56 - peaks
    m = coverage(far - v, soft=0.006)[..., None]
    rock = vgrad(v, (244, 246, 252), (96, 112, 152), 0.36, 0.44)
    img = img * (1 - m) + rock * m
    # near hills and the meadow in front
    hill = 0.64 + 0.05 * np.sin(u * 7.0 + 1.0)
    h = coverage(hill - v, soft=0.006)[..., None]
    img = img * (1 - h) + vgrad(v, (112, 190, 84), (62, 142, 62), 0.6, 0.8) * h
    front = 0.82 + 0.04 * np.sin(u * 5.0 + 2.5)
    f = coverage(front - v, soft=0.006)[..., None]
    return img * (1 - f) + vgrad(v, (50, 124, 54), (32, 90, 42), 0.8, 1.0) * f


def layout(size):
    """Board rectangle, grid origin, tile edge, gap and count in pixels for one size."""
    n = 2 if size < 32 else 3
    inset = max(1, round(size * 0.0625))
    pad = max(1, round(size * 0.05))
    gap = max(1, round(size * 0.028))
    area = size - 2 * (inset + pad)
    tile = (area - (n - 1) * gap) // n
    origin = inset + pad + (area - n * tile - (n - 1) * gap) // 2
    return n, inset, origin, tile, gap


def icon(size):
    ss = 8 if size <= 64 else 4
    x, y = raster.grid(size, size, ss)
    n, inset, origin, tile, gap = layout(size)
    canvas = np.zeros(x.shape + (4,))
    aa = 0.5 / ss  # edges sharp in the fine raster; the box filter smooths them

    board = sd_round_rect(x, y, inset, inset, size - inset, size - inset, size * 0.14)
    over(canvas, vgrad(y / size, (70, 78, 96), BOARD, 0.0, 0.5), coverage(board, soft=aa))

    span = n * tile + (n - 1) * gap
    radius = 0.0 if size < 32 else size * 0.02
    lifted = (n - 1, 0)  # the top-right tile
    for row in range(n):
        for col in range(n):
            x0, y0 = origin + col * (tile + gap), origin + row * (tile + gap)
            cell = sd_round_rect(x, y, x0, y0, x0 + tile, y0 + tile, radius)
            if (col, row) == lifted:
                over(canvas, HOLE, coverage(cell, soft=aa))
                continue
            over(canvas, picture((x - origin) / span, (y - origin) / span), coverage(cell, soft=aa))

    # The lifted tile: moved up and right, turned a little, casting a soft shadow.
    col, row = lifted
    x0, y0 = origin + col * (tile + gap), origin + row * (tile + gap)
    cx, cy = x0 + tile / 2.0, y0 + tile / 2.0
    lift = max(1.0, size * 0.045)
    angle = 0.0 if size < 32 else math.radians(-8.0)
    dx, dy = lift, -lift
    # canvas point -> point of the tile at home
    ca, sa = math.cos(angle), math.sin(angle)
    rx, ry = x - (cx + dx), y - (cy + dy)
    hx, hy = cx + ca * rx + sa * ry, cy - sa * rx + ca * ry
    shadow_off = max(1.0, size * 0.035)
    sx, sy = x - (cx + dx - shadow_off * 0.4), y - (cy + dy + shadow_off)
    shx, shy = cx + ca * sx + sa * sy, cy - sa * sx + ca * sy
    blur = max(0.6, size * 0.03)
    shadow_sdf = sd_round_rect(shx, shy, x0, y0, x0 + tile, y0 + tile, radius)
    over(canvas, (0, 0, 0), 0.5 * np.exp(-np.maximum(shadow_sdf, 0.0) / blur) * (shadow_sdf > -tile))
    tile_sdf = sd_round_rect(hx, hy, x0, y0, x0 + tile, y0 + tile, radius)
    face = picture((hx - origin) / span, (hy - origin) / span)
    over(canvas, face, coverage(tile_sdf, soft=aa))
    if size >= 48:  # a light rim where the lifted tile catches the light
        rim = coverage(-(tile_sdf + max(1.0, size / 64.0)), soft=aa) * coverage(tile_sdf, soft=aa)
        over(canvas, (255, 255, 255), 0.55 * rim)

    small = raster.downsample(canvas, ss)
    alpha = small[..., 3:]
    rgba = np.zeros(small.shape)
    rgba[..., :3] = np.where(alpha > 0, small[..., :3] / np.maximum(alpha, 1e-9), 0.0)
    rgba[..., 3] = alpha[..., 0] * 255.0
    rgba[rgba[..., 3] < 0.5] = 0.0
    return rgba


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "assets", "Icons")
    os.makedirs(out, exist_ok=True)
    for size in SIZES:
        raster.write_png(os.path.join(out, "tessolino-%d.png" % size), icon(size))


if __name__ == "__main__":
    main()
