#!/usr/bin/python3
"""Renders the six default motifs (512 x 512 JPEG, names beginning with "Puzzle").

Usage: make_motives.py [OUT_DIR]   (default: assets/motives/ of this source tree)
Needs numpy and ImageMagick's convert (for the JPEG encoding). Each picture has its
own fixed seed, so a rerun gives byte-identical files.

Every motif carries colour and structure down to a few pixels everywhere (stripes,
dots, windows, tesserae, contour lines, colour gradients in both directions), so that
even the 16 x 16 pixel tiles of a 32 x 32 board all look different and can be placed."""
import math
import os
import subprocess
import sys

import numpy as np

import raster
from raster import coverage, paint, sd_circle, sd_ellipse, sd_polygon, sd_round_rect

SIZE = 512
SS = 2  # supersampling factor


def canvas():
    x, y = raster.grid(SIZE, SIZE, SS)
    return x, y, np.zeros(x.shape + (3,))


def lerp(a, b, t):
    a, b = np.asarray(a, float), np.asarray(b, float)
    t = np.asarray(t, float)
    if t.ndim:
        t = t[..., None]
    return a * (1 - t) + b * t


def vgrad(y, stops):
    """Colour gradient along y through (position, colour) stops."""
    out = np.zeros(y.shape + (3,))
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        t = np.clip((y - p0) / (p1 - p0), 0, 1)
        sel = (y >= p0) & (y <= p1) if p0 != stops[0][0] else (y <= p1)
        out = np.where(sel[..., None], lerp(c0, c1, t), out)
    out = np.where((y > stops[-1][0])[..., None], np.asarray(stops[-1][1], float), out)
    return out


def ridge(x, base, rng, amp, count=6):
    """A mountain or hill outline: a sum of peaked waves with fixed random phases."""
    h = np.zeros(x.shape)
    total = 0.0
    for k in range(count):
        f = (k + 1) * 0.006 + rng.random() * 0.01
        p = rng.random() * math.tau
        a = 1.0 / (k + 1) ** 0.8
        h += a * (1 - np.abs(np.sin(f * x + p)))
        total += a
    return base - amp * h / total


# --------------------------------------------------------------------------- motifs

def berge():
    """Mountains over a lake at sunset, a forest shore and a flower meadow."""
    rng = np.random.default_rng(1101)
    sun_x, sun_y = 360, 120
    x, y, img = canvas()
    img[:] = vgrad(y, [(0, (28, 36, 120)), (120, (150, 60, 150)), (230, (255, 140, 60)), (270, (255, 210, 90))])
    # the glow of the sun warms the right half of the sky
    paint(img, np.clip(1 - np.hypot(x - sun_x, y - sun_y) / 260, 0, 1) ** 2 * 0.6, (255, 225, 120))
    ang = np.arctan2(y - sun_y, x - sun_x)
    rays = (np.floor(ang * 18 / math.pi) % 2 == 0) & (y < 280)
    paint(img, rays * 0.12, (255, 255, 200))
    img += ((x - 256) / 512.0)[..., None] * np.array((40, 10, -30)) * (y < 280)[..., None]
    for i in range(150):
        sx0, sy0 = rng.random() * 512, rng.random() * 120
        paint(img, coverage(sd_circle(x, y, sx0, sy0, 0.6 + rng.random() * 1.0)) * (1 - sy0 / 150), (255, 250, 220))
    sun = coverage(sd_circle(x, y, sun_x, sun_y, 36))
    paint(img, sun, lerp((255, 250, 200), (255, 150, 60), np.clip((y - sun_y + 36) / 90 + (x - sun_x + 36) / 110, 0, 1)))
    for k, off in enumerate((6, 14, 21, 27, 32)):
        paint(img, sun * coverage(np.abs(y - sun_y - off) - 0.6 - 0.5 * k), (230, 110, 120))
    for r in (44, 52):
        paint(img, coverage(np.abs(sd_circle(x, y, sun_x, sun_y, r)) - 1.2) * 0.5, (255, 230, 140))
    # clouds: banded noise, dark undersides
    n = raster.value_noise(x * 0.5, y * 2.2, 30, rng, octaves=3)
    cloud = (n > 0.58) & (y < 200)
    paint(img, cloud * 0.75, lerp((255, 170, 200), (120, 60, 140), np.clip(y / 200, 0, 1)))
    paint(img, ((n > 0.58) & (n < 0.61) & (y < 200)) * 0.8, (80, 30, 90))
    for fold in (0.64, 0.69, 0.74):
        paint(img, (np.abs(n - fold) < 0.006) * cloud * 0.6, (255, 200, 220))
    paint(img, cloud * np.clip(1 - np.hypot(x - sun_x, y - sun_y) / 300, 0, 1) * 0.5, (255, 210, 150))
    # three ranges of mountains, far to near, with rock strata and snow caps
    for base, amp, col, snow, seed in ((260, 210, (120, 90, 170), 150, 1), (290, 170, (80, 60, 130), 190, 2),
                                       (330, 90, (50, 85, 95), 0, 3)):
        r = np.random.default_rng(1101 + seed)
        top = ridge(x, base, r, amp)
        inside = y > top
        face = np.gradient(top, axis=1) > 0  # the side facing the sun is lighter
        colour = np.where(face[..., None], lerp(col, (255, 200, 150), 0.25), np.asarray(col, float))
        rock = raster.value_noise(x, y, 9, r, octaves=2)
        colour = colour * (0.8 + 0.4 * rock)[..., None]
        img[inside] = colour[inside]
        strata = inside & (((x + 2.5 * y + 8 * np.sin(x * 0.05) + 5 * seed) % (20 + 6 * seed)) < 2.0)
        paint(img, strata * 0.35, (20, 10, 40))
        if snow:
            cap = inside & (y < top + 22 + 10 * np.sin(x * 0.3)) & (top < snow)
            paint(img, cap, (240, 240, 255))
            paint(img, cap & ~face, (170, 180, 230))
    # forest shore: a row of pointed firs in several greens
    for i in range(60):
        cx = i * 9 + rng.random() * 6 - 3
        ht = 28 + rng.random() * 26
        by = 338 + rng.random() * 6
        g = (20 + rng.random() * 40, 80 + rng.random() * 70, 40 + rng.random() * 40)
        paint(img, coverage(sd_polygon(x, y, [(cx, by - ht), (cx + 8, by), (cx - 8, by)])), g)
    # the lake mirrors the sky with ripples and a sun glitter path
    lake = (y >= 340) & (y < 430)
    my = 340 - (y - 340) * 2.6
    refl = vgrad(np.clip(my, 0, 270), [(0, (28, 36, 120)), (120, (150, 60, 150)), (230, (255, 140, 60)), (270, (255, 210, 90))])
    ripple = np.sin(y * 1.7 + np.sin(x * 0.09) * 2.0) > 0.55
    refl = refl * 0.8 + ripple[..., None] * 40
    img[lake] = refl[lake]
    glitter = lake & (np.abs(x - sun_x + np.sin(y * 0.8) * 6) < 30 - (y - 340) * 0.1) & ripple
    paint(img, glitter, (255, 240, 160))
    # meadow with grass strokes and flowers on a jittered grid
    meadow = y >= 430
    img[meadow] = lerp((90, 170, 50), (40, 110, 30), np.clip((y - 430) / 82, 0, 1))[meadow]
    grass = meadow & (((x * 1.3 + np.sin(y * 0.7) * 4) % 7) < 1.3)
    paint(img, grass * 0.5, (20, 70, 10))
    palette = [(255, 60, 60), (255, 230, 40), (250, 250, 250), (190, 80, 255), (255, 140, 0), (60, 120, 255)]
    for gy in range(432, 512, 11):
        for gx in range(0, 512, 11):
            fx, fy = gx + rng.random() * 9, gy + rng.random() * 9
            c = palette[int(rng.random() * len(palette))]
            rr = 2 + rng.random() * 2.2
            paint(img, coverage(sd_circle(x, y, fx, fy, rr)), c)
            paint(img, coverage(sd_circle(x, y, fx, fy, rr * 0.35)), (255, 200, 0))
    return img


def felder():
    """Rolling hills of patchwork fields with hedges, cypresses and a farm."""
    rng = np.random.default_rng(2202)
    x, y, img = canvas()
    img[:] = vgrad(y, [(0, (40, 110, 220)), (140, (170, 215, 255))])
    img += (x[..., None] / 512.0) * np.array((30, 10, -30))  # warmer to the right
    rays = np.floor(np.arctan2(y + 60, x - 600) * 70 / math.pi) % 2 == 0
    paint(img, rays * 0.16, (255, 250, 220))
    streaks = np.sin(y * 0.5 + np.sin(x * 0.021) * 4 + x * 0.03) > 0.8
    paint(img, streaks * (y < 160) * 0.25, (255, 255, 255))
    # cumulus clouds built from overlapping discs, shaded underneath
    for cx, cy, s in ((80, 50, 1.0), (260, 35, 0.8), (420, 70, 1.1), (180, 100, 0.6), (470, 20, 0.5)):
        for k in range(7):
            dx = (k - 3) * 14 * s
            r = (18 + 9 * math.cos(k * 1.3)) * s
            cov = coverage(sd_circle(x, y, cx + dx, cy - abs(k - 3) * -3 * s, r))
            paint(img, cov, lerp((255, 255, 255), (170, 180, 215), np.clip((y - cy + 10) / 30 + (cx - x) / 120, 0, 1)))
            for fr in (0.8, 0.55, 0.3):
                paint(img, coverage(np.abs(sd_circle(x, y, cx + dx + 4 * fr, cy + 3 * s, r * fr)) - 0.6) * cov * 0.35,
                      (160, 170, 210))
    # birds
    for i in range(9):
        bx, by = 40 + i * 53 + rng.random() * 20, 25 + rng.random() * 80
        paint(img, coverage(np.abs(sd_circle(x, y, bx - 4, by + 4, 5)) - 0.8) * (y < by + 2), (40, 40, 60))
        paint(img, coverage(np.abs(sd_circle(x, y, bx + 4, by + 4, 5)) - 0.8) * (y < by + 2), (40, 40, 60))
    palette = [(235, 200, 60), (120, 180, 50), (150, 100, 60), (160, 110, 200), (70, 140, 60),
               (220, 70, 50), (200, 170, 110), (90, 160, 120), (250, 220, 120)]
    cid, sx, sy, border = raster.cells(x + 40 + 20 * np.sin(y * 0.02), y * 1.6, 46, rng)
    colour_of = rng.integers(0, len(palette), size=int(cid.max()) + 1)
    angle_of = rng.random(int(cid.max()) + 1) * math.pi
    freq_of = 0.5 + rng.random(int(cid.max()) + 1) * 0.6
    tops = [ridge(x, 160, np.random.default_rng(2210 + k), 40) + k * 85 for k in range(5)]
    for k, top in enumerate(tops):
        band = y > top
        shade = 1.0 - 0.07 * (4 - k)  # distant hills are paler
        base = np.array(palette)[colour_of[cid]].astype(float)
        a = angle_of[cid]
        rows = np.sin((x * np.cos(a) + y * np.sin(a)) * freq_of[cid] * (1.0 + 0.4 * k)) > 0.2
        field = base * np.where(rows, 0.78, 1.0)[..., None]
        field = field * (1.0 + 0.4 * np.clip((x + 40 - sx) / 46.0, -0.6, 0.6))[..., None]
        field = lerp(field, (200, 220, 255), (1 - shade) * 2)
        img[band] = field[band]
        hedge = band & (border < 1.6)
        paint(img, hedge, (30, 80, 30))
        paint(img, coverage(np.abs(y - top) - 1.3) * (y > top - 3), (40, 90, 40))
    # cypresses along the ridges and a farmhouse
    for i in range(22):
        k = 1 + i % 4
        cx = 12 + i * 23 + rng.random() * 8
        top_here = 160 + k * 85 - 40 + rng.random() * 30
        paint(img, coverage(sd_ellipse(x, y, cx, top_here, 5, 18)), (20, 60, 30))
        paint(img, coverage(sd_ellipse(x, y, cx - 1.5, top_here - 3, 2, 10)) * 0.5, (60, 120, 60))
    hx, hy = 300, 330
    paint(img, coverage(sd_round_rect(x, y, hx, hy, hx + 60, hy + 36, 1)), (240, 225, 190))
    paint(img, coverage(sd_polygon(x, y, [(hx - 6, hy + 2), (hx + 30, hy - 22), (hx + 66, hy + 2)])), (190, 60, 40))
    for wx in (hx + 8, hx + 26, hx + 44):
        paint(img, coverage(sd_round_rect(x, y, wx, hy + 10, wx + 9, hy + 20, 1)), (60, 80, 120))
    paint(img, coverage(sd_round_rect(x, y, hx + 40, hy - 20, hx + 48, hy - 4, 0.5)), (150, 50, 40))
    return img


def mosaik():
    """A stone mosaic: a many-ringed rose in strong colours, tesserae with grout."""
    rng = np.random.default_rng(3303)
    x, y, img = canvas()
    cid, sx, sy, border = raster.cells(x, y, 9.5, rng, jitter=0.75)
    # the design is evaluated at the stone centres: every stone has one colour
    pal = np.array([(200, 30, 40), (240, 170, 20), (20, 110, 190), (30, 150, 80), (250, 240, 220),
                    (120, 40, 140), (230, 90, 30), (20, 40, 90), (90, 190, 210)], float)
    flat_cid = cid.ravel()
    first = np.zeros(int(flat_cid.max()) + 1, dtype=int)
    first[flat_cid[::-1]] = np.arange(flat_cid.size)[::-1]
    cx = sx.ravel()[first]
    cy = sy.ravel()[first]
    colour = design_rose(cx, cy, pal)
    jit = 0.82 + 0.3 * rng.random(first.size)
    stone = colour * jit[:, None]
    img[:] = np.clip(stone[cid], 0, 255)
    # light from the top left on each stone, grout between the stones
    light = ((x - sx) * -0.7 + (y - sy) * -0.7) / 8.0
    img += np.clip(light, -1, 1)[..., None] * 18
    paint(img, coverage(border - 0.9, soft=0.4), (95, 85, 75))
    return img


def design_rose(x, y, pal):
    """The picture laid in stones, evaluated per stone: a flower in a ringed medallion,
    corner fields of chevrons that differ per quadrant."""
    r = np.hypot(x - 256, y - 256)
    th = np.arctan2(y - 256, x - 256)
    out = lerp((20, 40, 90), (20, 110, 120), y / 512.0)
    quad = (x > 256) * 1 + (y > 256) * 2
    chev = (np.floor((np.abs(x - 256) + np.abs(y - 256)) / 22) % 2 == 0)
    corner_cols = pal[[0, 2, 3, 5]]
    out = np.where(chev[..., None], corner_cols[quad] * (0.6 + 0.4 * (r / 362.0))[..., None], out)
    wave = np.abs(r - 228 - 9 * np.sin(16 * th)) < 6
    out = np.where((r < 250)[..., None], np.where(wave[..., None], pal[1], pal[0]), out)
    diamonds = (np.abs(((th * 16 / math.tau) % 1.0) - 0.5) * 2 * 20 + np.abs(r - 190)) < 13
    out = np.where((r < 208)[..., None], np.where(diamonds[..., None], pal[2], pal[4]), out)
    out = np.where((r < 170)[..., None], lerp(pal[8], pal[3], (r / 170.0)), out)
    petal = r < 150 * (0.35 + 0.65 * np.abs(np.cos(4 * th)) ** 1.5)
    petal_in = r < 120 * (0.3 + 0.7 * np.abs(np.cos(4 * th)) ** 1.5)
    out = np.where(petal[..., None], pal[6], out)
    out = np.where(petal_in[..., None], np.where((np.cos(8 * th) > 0)[..., None], pal[1], pal[0]), out)
    out = np.where((r < 42)[..., None], pal[1], out)
    out = np.where((r < 22)[..., None], pal[5], out)
    for ring in (170, 208, 250):
        out = np.where((np.abs(r - ring) < 4)[..., None], pal[7], out)
    return out


def karte():
    """An old sea chart: islands with height tints and contour lines, a grid, a route,
    towns, wave marks, a compass rose and a chequered frame."""
    rng = np.random.default_rng(4404)
    x, y, img = canvas()
    hgt = raster.value_noise(x, y, 150, rng, octaves=5, persistence=0.55)
    hgt = hgt - 0.25 * (np.hypot(x - 256, y - 256) / 362.0) ** 2
    sea_depth = np.clip((0.47 - hgt) / 0.32, 0, 1)
    img[:] = lerp((120, 200, 230), (20, 60, 140), sea_depth)
    img += (x[..., None] / 512.0 - 0.5) * np.array((-20, 10, 25))
    # waves: little arcs on a jittered grid
    for gy in range(14, 500, 18):
        for gx in range(14, 500, 22):
            wx, wy = gx + rng.random() * 10 + (gy % 36) * 0.3, gy + rng.random() * 6
            arc = coverage(np.abs(sd_circle(x, y, wx, wy + 4, 5)) - 0.7) * (y < wy + 2)
            paint(img, arc * (hgt < 0.44) * 0.8, (230, 245, 255))
    for level in (0.43, 0.39, 0.35, 0.31, 0.27, 0.23):
        gm = np.hypot(*np.gradient(hgt)) + 1e-6
        dots = np.floor((x + y) / 3) % 2 == 0
        paint(img, coverage(np.abs(hgt - level) / gm * (1.0 / SS) - 0.4) * dots * 0.7, (20, 50, 110))
    bands = [(0.47, (235, 215, 150)), (0.50, (150, 200, 90)), (0.55, (90, 160, 70)),
             (0.60, (170, 160, 80)), (0.65, (150, 100, 60)), (0.70, (200, 200, 200)), (0.75, (255, 255, 255))]
    for level, col in bands:
        paint(img, hgt >= level, col)
    # contour lines at every band and half band
    for level in np.arange(0.47, 0.8, 0.025):
        gm = np.hypot(*np.gradient(hgt)) + 1e-6
        paint(img, coverage(np.abs(hgt - level) / gm * (1.0 / SS) - 0.35) * 0.8, (80, 50, 30))
    # hatched forest patches on the green
    forest = (hgt > 0.52) & (hgt < 0.6) & (raster.value_noise(x, y, 40, rng) > 0.55)
    paint(img, forest & (((x - y) % 6) < 1.5), (30, 90, 30))
    # graticule
    for g in range(64, 512, 64):
        dash = (np.floor(y / 4) % 2 == 0)
        paint(img, coverage(np.abs(x - g) - 0.5) * dash * 0.6, (40, 40, 90))
        dash = (np.floor(x / 4) % 2 == 0)
        paint(img, coverage(np.abs(y - g) - 0.5) * dash * 0.6, (40, 40, 90))
    # rhumb lines from two wind roses, as on old charts
    for ox, oy, col in ((440, 440, (170, 40, 40)), (90, 80, (40, 90, 40))):
        ang = np.arctan2(y - oy, x - ox)
        dist = np.hypot(x - ox, y - oy)
        for k in range(16):
            a = k * math.pi / 8
            off = np.abs(np.sin(ang - a)) * dist
            paint(img, coverage(off - 0.45) * (np.cos(ang - a) > 0) * 0.55, col)
    # a dashed route between towns
    towns = [(70, 420), (150, 300), (260, 230), (330, 150), (440, 100), (400, 330)]
    for (ax, ay), (bx, by) in zip(towns, towns[1:]):
        ex, ey = bx - ax, by - ay
        t = np.clip(((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey), 0, 1)
        d = np.hypot(x - ax - ex * t, y - ay - ey * t)
        dash = (np.floor(t * math.hypot(ex, ey) / 7) % 2 == 0)
        paint(img, coverage(d - 1.4) * dash, (200, 20, 20))
    for tx, ty in towns:
        paint(img, coverage(sd_round_rect(x, y, tx - 5, ty - 5, tx + 5, ty + 5, 1)), (120, 0, 0))
        paint(img, coverage(sd_round_rect(x, y, tx - 3, ty - 3, tx + 3, ty + 3, 0.5)), (255, 220, 80))
    # compass rose, bottom right
    ccx, ccy = 440, 440
    for k in range(16):
        a = k * math.pi / 8
        ln = 42 if k % 4 == 0 else (28 if k % 2 == 0 else 18)
        w = 7 if k % 4 == 0 else 4
        tip = (ccx + math.cos(a) * ln, ccy + math.sin(a) * ln)
        l1 = (ccx + math.cos(a + math.pi / 2) * w, ccy + math.sin(a + math.pi / 2) * w)
        l2 = (ccx + math.cos(a - math.pi / 2) * w, ccy + math.sin(a - math.pi / 2) * w)
        paint(img, coverage(sd_polygon(x, y, [(ccx, ccy), l1, tip])), (30, 30, 30) if k % 2 else (200, 40, 40))
        paint(img, coverage(sd_polygon(x, y, [(ccx, ccy), tip, l2])), (240, 230, 200) if k % 2 else (120, 20, 20))
    paint(img, coverage(np.abs(sd_circle(x, y, ccx, ccy, 30)) - 1.0), (30, 30, 30))
    # chequered frame
    edge = np.minimum(np.minimum(x, 512 - x), np.minimum(y, 512 - y))
    frame = edge < 9
    chk = (np.floor(np.where(np.minimum(x, 512 - x) < 9, y, x) / 21) % 2 == 0)
    img[frame & chk] = (30, 30, 30)
    img[frame & ~chk] = lerp((245, 235, 200), (200, 150, 90), (x + y) / 1024.0)[frame & ~chk]
    paint(img, coverage(np.abs(edge - 9) - 0.8), (30, 30, 30))
    return img


def stadt():
    """A city skyline at dusk with lit windows, reflected in a river."""
    rng = np.random.default_rng(5505)
    x, y, img = canvas()
    img[:] = vgrad(y, [(0, (20, 15, 70)), (150, (110, 40, 130)), (300, (240, 100, 80)), (380, (255, 190, 90))])
    img += (x[..., None] / 512.0 - 0.5) * np.array((40, 0, -40))
    # stars in the upper sky, a moon, streaks of cloud
    for i in range(140):
        sx0, sy0 = rng.random() * 512, rng.random() * 190
        paint(img, coverage(sd_circle(x, y, sx0, sy0, 0.6 + rng.random() * 1.1)) * (1 - sy0 / 230), (255, 255, 230))
    sky = img.copy()
    paint(img, coverage(sd_circle(x, y, 110, 80, 30)), (250, 245, 210))
    paint(img, coverage(sd_circle(x, y, 110, 80, 30)) * np.clip(np.hypot(x - 100, y - 70) / 45, 0, 1), (200, 190, 150))
    moon = coverage(sd_circle(x, y, 110, 80, 30))
    paint(img, moon * (raster.value_noise(x, y, 6, rng, octaves=2) > 0.55) * 0.5, (180, 170, 140))
    for mx, my, mr in ((98, 72, 5), (92, 90, 3.5), (104, 100, 4), (88, 80, 2.5)):
        paint(img, coverage(sd_circle(x, y, mx, my, mr)) * 0.6, (170, 160, 130))
    # the shadowed part of the moon shows the sky (and its stars) behind it
    cut = coverage(sd_circle(x, y, 122, 72, 28))[..., None]
    img[:] = img * (1 - cut) + sky * cut
    streak = np.sin(y * 0.25 + np.sin(x * 0.015) * 3) > 0.75
    paint(img, (streak & (y > 150) & (y < 330)) * 0.35, (255, 150, 170))
    water = 420
    rows = []
    px = -4.0
    layer_colours = [(70, 40, 110), (40, 30, 80)]
    for layer, (hmin, hmax, wmin, wmax) in enumerate(((120, 260, 26, 50), (80, 330, 20, 44))):
        px = -10.0 + layer * 7
        while px < 512:
            w = wmin + rng.random() * (wmax - wmin)
            h = hmin + rng.random() * (hmax - hmin)
            rows.append((layer, px, w, h))
            px += w + rng.random() * 6
    win_pal = [(255, 220, 100), (255, 250, 200), (255, 170, 60), (180, 230, 255)]
    for layer, bx, w, h in rows:
        top = water - h
        base_col = np.asarray(layer_colours[layer], float) * (0.7 + rng.random() * 0.6)
        hue = rng.integers(0, 3)
        base_col[hue] = min(255, base_col[hue] + 30)
        body = (x >= bx) & (x < bx + w) & (y >= top) & (y < water)
        facade = base_col * (1.2 - 0.45 * np.clip((y - top) / h, 0, 1))[..., None]
        img[body] = facade[body]
        kind = rng.integers(0, 4)
        if kind == 1:  # pointed roof
            paint(img, coverage(sd_polygon(x, y, [(bx, top), (bx + w / 2, top - w * 0.6), (bx + w, top)])), base_col)
        elif kind == 2:  # antenna
            paint(img, coverage(sd_round_rect(x, y, bx + w / 2 - 1, top - 30, bx + w / 2 + 1, top, 0.5)), base_col)
            paint(img, coverage(sd_circle(x, y, bx + w / 2, top - 30, 2)), (255, 60, 60))
        elif kind == 3:  # dome
            paint(img, coverage(sd_circle(x, y, bx + w / 2, top, w / 2)) * (y < top), base_col * 1.15)
        # windows: a grid, each lit or dark by chance
        ww, wh, gx, gy = 4 + layer, 5 + layer, 8 + layer * 2, 10 + layer * 2
        cols = int((w - 4) // gx)
        for row in range(int((h - 6) // gy)):
            for col in range(cols):
                wx0 = bx + 4 + col * gx
                wy0 = top + 6 + row * gy
                lit = rng.random() < 0.55
                c = win_pal[rng.integers(0, len(win_pal))] if lit else base_col * 0.55
                sel = (x >= wx0) & (x < wx0 + ww) & (y >= wy0) & (y < wy0 + wh)
                img[sel] = c
    # the river: a darkened, rippled mirror image of the skyline
    below = y >= water
    my = np.clip(2 * water - y, 0, SIZE - 1)
    iy = np.clip((my * SS).astype(int), 0, img.shape[0] - 1)
    ix = np.clip(((x + np.sin(y * 0.9) * 3) * SS).astype(int), 0, img.shape[1] - 1)
    mirror = img[iy, ix] * 0.6 + np.array((10, 20, 50))
    img[below] = mirror[below]
    ripple = below & (np.sin(y * 2.1 + np.sin(x * 0.05) * 3) > 0.8)
    paint(img, ripple * 0.3, (255, 210, 160))
    paint(img, coverage(np.abs(y - water) - 1.0), (20, 20, 40))
    return img


def obst():
    """A fruit still life in flat shapes: bowl of fruit on a chequered cloth before
    a patterned wall, with a framed picture."""
    rng = np.random.default_rng(6606)
    x, y, img = canvas()
    # wallpaper: diamond lattice with dots; colour drifts from teal to violet
    wall = lerp((30, 120, 130), (110, 50, 140), x / 512.0) * (1 - 0.3 * (y / 330.0))[..., None]
    img[:] = wall
    u, v = (x + y) / 36.0, (x - y) / 36.0
    lattice = (np.abs(u - np.round(u)) < 0.06) | (np.abs(v - np.round(v)) < 0.06)
    paint(img, lattice * 0.6, (230, 200, 110))
    cu, cv = np.round(u - 0.5) + 0.5, np.round(v - 0.5) + 0.5
    dots = np.hypot(u - cu, v - cv) < 0.13
    paint(img, dots * 0.8, (250, 150, 90))
    # a framed picture on the wall: sun over sea
    fx0, fy0, fx1, fy1 = 40, 40, 170, 150
    paint(img, coverage(sd_round_rect(x, y, fx0 - 8, fy0 - 8, fx1 + 8, fy1 + 8, 2)), (140, 90, 30))
    paint(img, coverage(sd_round_rect(x, y, fx0 - 4, fy0 - 4, fx1 + 4, fy1 + 4, 1)), (220, 170, 60))
    inner = (x >= fx0) & (x < fx1) & (y >= fy0) & (y < fy1)
    pic = vgrad(y, [(fy0, (250, 200, 80)), (fy0 + 60, (250, 110, 60))])
    sea = y > fy0 + 70
    pic = np.where(sea[..., None], lerp((30, 90, 160), (20, 40, 100), (y - fy0 - 70) / 40.0), pic)
    pic = pic + ((x - fx0) / (fx1 - fx0))[..., None] * np.array((-30, 20, 40))
    sun_rays = np.floor(np.arctan2(y - fy0 - 68, x - 105) * 10 / math.pi) % 2 == 0
    pic = pic * np.where((sun_rays & ~sea)[..., None], 1.08, 1.0)
    img[inner] = pic[inner]
    paint(img, coverage(sd_circle(x, y, 105, fy0 + 68, 22)) * inner * (y < fy0 + 70), (255, 240, 150))
    paint(img, inner & sea & (np.sin(y * 1.5 + x * 0.1) > 0.7), (200, 220, 255))
    # table with gingham cloth, shaded towards the front
    table = y >= 330
    stripe_u = np.floor(x / 24) % 2 == 0
    stripe_v = np.floor((y - 330) / 16) % 2 == 0
    cloth = np.where((stripe_u & stripe_v)[..., None], np.array((190, 20, 40.)),
                     np.where((stripe_u | stripe_v)[..., None], np.array((235, 110, 120.)), np.array((250, 245, 235.))))
    cloth = cloth * (1 - 0.3 * ((y - 330) / 182.0))[..., None] * (0.85 + 0.15 * (x / 512.0))[..., None]
    img[table] = cloth[table]
    paint(img, coverage(np.abs(y - 330) - 1.5), (90, 20, 30))
    # bowl
    paint(img, coverage(sd_ellipse(x, y, 270, 420, 170, 36)) * 0.55, (20, 20, 40))  # shadow
    bowl = sd_polygon(x, y, [(120, 350), (420, 350), (370, 430), (170, 430)])
    paint(img, coverage(bowl), lerp((50, 110, 210), (20, 50, 130), np.clip((y - 350) / 80.0, 0, 1)))
    paint(img, coverage(bowl) * (np.abs(np.sin((x - 270) * 0.12)) < 0.25), (250, 250, 255))
    paint(img, coverage(np.abs(y - 392) - 3) * (bowl < 0), (250, 200, 40))
    # fruit behind and on top of the bowl
    fruits = [
        ("grapes", 170, 300, 0), ("orange", 240, 300, 44), ("apple", 330, 295, 40), ("pear", 400, 280, 34),
        ("lemon", 200, 340, 30), ("orange", 300, 340, 38), ("apple", 370, 345, 34),
        ("banana", 270, 260, 60), ("cherries", 450, 455, 0), ("apple", 90, 450, 36), ("lemon", 150, 480, 26),
    ]
    for kind, cx, cy, r in fruits:
        draw_fruit(img, x, y, kind, cx, cy, r, rng)
    return img


def draw_fruit(img, x, y, kind, cx, cy, r, rng):
    def ball(cx, cy, r, col, dark, spot=True):
        sd = sd_circle(x, y, cx, cy, r)
        lit = np.clip(np.hypot(x - cx + r * 0.4, y - cy + r * 0.4) / (1.6 * r), 0, 1)
        paint(img, coverage(sd), lerp(col, dark, lit * 0.8))
        paint(img, coverage(sd) * coverage(-(sd + r * 0.18)) * (x + y > cx + cy), dark)  # shaded lower right rim
        if spot:
            paint(img, coverage(sd_ellipse(x, y, cx - r * 0.35, cy - r * 0.4, r * 0.22, r * 0.14)), (255, 255, 240))
        return sd

    if kind == "orange":
        sd = ball(cx, cy, r, (250, 140, 20), (200, 90, 10))
        pores = (np.sin(x * 1.9) * np.sin(y * 1.9) > 0.85) & (sd < -2)
        paint(img, pores * 0.5, (200, 100, 10))
        paint(img, coverage(sd_circle(x, y, cx + 2, cy - r + 4, 3)), (60, 110, 30))
    elif kind == "apple":
        ball(cx - r * 0.25, cy, r * 0.85, (210, 30, 40), (140, 10, 30), spot=False)
        ball(cx + r * 0.25, cy, r * 0.85, (220, 40, 40), (140, 10, 30))
        paint(img, coverage(sd_round_rect(x, y, cx - 1.5, cy - r - 8, cx + 1.5, cy - r * 0.6, 1)), (90, 50, 20))
        paint(img, coverage(sd_ellipse(x, y, cx + 10, cy - r - 2, 10, 4)), (60, 160, 50))
    elif kind == "pear":
        ball(cx, cy + r * 0.5, r, (190, 200, 40), (130, 140, 20))
        ball(cx, cy - r * 0.35, r * 0.6, (200, 210, 50), (130, 140, 20), spot=False)
        paint(img, coverage(sd_round_rect(x, y, cx - 1.5, cy - r * 1.2, cx + 1.5, cy - r * 0.8, 1)), (90, 50, 20))
    elif kind == "lemon":
        sd = sd_ellipse(x, y, cx, cy, r * 1.35, r)
        paint(img, coverage(sd), lerp((255, 240, 90), (215, 170, 10), np.clip((x - cx + y - cy + 2 * r) / (4.2 * r), 0, 1)))
        pores = (np.sin(x * 2.3 + y * 0.7) * np.sin(y * 2.1) > 0.8) & (sd < -2)
        paint(img, pores * 0.45, (200, 160, 0))
        paint(img, coverage(sd) * coverage(-(sd + r * 0.2)) * (y > cy), (210, 180, 20))
        paint(img, coverage(sd_ellipse(x, y, cx - r * 0.4, cy - r * 0.4, r * 0.3, r * 0.15)), (255, 255, 220))
    elif kind == "banana":
        outer = sd_circle(x, y, cx, cy - 90, 110)
        inner = sd_circle(x, y, cx, cy - 125, 118)
        sd = np.maximum(outer, -inner)
        sd = np.maximum(sd, np.abs(x - cx) - 80)
        paint(img, coverage(sd), lerp((255, 235, 90), (225, 160, 20),
                                      np.clip((y - cy + 30) / 60.0 + (x - cx) / 240.0, 0, 1)))
        for k in range(14):
            bx, by = cx - 70 + k * 10 + rng.random() * 6, cy - 25 + rng.random() * 30
            paint(img, coverage(sd_circle(x, y, bx, by, 1.2 + rng.random())) * (sd < -2) * 0.7, (140, 90, 20))
        paint(img, coverage(sd) * (np.abs(x - cx) > 70), (110, 70, 20))
        paint(img, coverage(np.abs(outer + 5) - 1) * (sd < 0) * 0.5, (200, 150, 20))
    elif kind == "grapes":
        for k in range(16):
            row = int((math.sqrt(8 * k + 1) - 1) / 2)
            col = k - row * (row + 1) // 2
            gx = cx + (col - row / 2) * 15 + rng.random() * 3
            gy = cy + row * 13 - 40 + rng.random() * 3
            ball(gx, gy, 9, (110, 40, 140), (70, 20, 90))
        paint(img, coverage(sd_ellipse(x, y, cx + 8, cy - 52, 14, 6)), (60, 150, 50))
    elif kind == "cherries":
        for dx in (-14, 12):
            ex, ey = cx + dx, cy
            t = np.clip((y - (cy - 40)) / 40.0, 0, 1)
            stem = np.abs(x - (cx - 2 + (dx * t))) - 1.2
            paint(img, coverage(stem) * (y > cy - 40) * (y < ey), (90, 60, 20))
            ball(ex, ey, 11, (190, 10, 30), (110, 0, 20))


MOTIVES = [
    ("PuzzleBerge.jpg", berge),
    ("PuzzleFelder.jpg", felder),
    ("PuzzleMosaik.jpg", mosaik),
    ("PuzzleKarte.jpg", karte),
    ("PuzzleStadt.jpg", stadt),
    ("PuzzleObst.jpg", obst),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "assets", "motives")
    only = sys.argv[2:]
    os.makedirs(out, exist_ok=True)
    for name, fn in MOTIVES:
        if only and name not in only:
            continue
        img = fn()
        x, y = raster.grid(SIZE, SIZE, SS)
        img += ((x - 256) / 512.0)[..., None] * np.array((14, -8, 10))
        img += ((y - 256) / 512.0)[..., None] * np.array((-8, 12, 6))
        img = raster.downsample(img, SS)
        subprocess.run(["convert", "ppm:-", "-strip", "-quality", "90", "-sampling-factor", "1x1",
                        os.path.join(out, name)], input=raster.ppm_bytes(img), check=True)


if __name__ == "__main__":
    main()
