#!/usr/bin/python3
"""Draws the embedded pictures: the mouse cursor (Cursor.bmp) and the three button
images (Archive/Buttonunbeschriftet.png, Archive/ButtonL.png, Archive/ButtonR.png).

Usage: make_images.py [ASSETS_DIR]   (default: assets/ of this source tree)
Everything is computed from fixed shapes, so a rerun gives byte-identical files."""
import os
import sys

import numpy as np

import raster

# Classic arrow pointer, tip at the top-left pixel: B outline, W fill, . background.
CURSOR = [
    "B...................",
    "BB..................",
    "BWB.................",
    "BWWB................",
    "BWWWB...............",
    "BWWWWB..............",
    "BWWWWWB.............",
    "BWWWWWWB............",
    "BWWWWWWWB...........",
    "BWWWWWWWWB..........",
    "BWWWWWWWWWB.........",
    "BWWWWWWWWWWB........",
    "BWWWWWWBBBBBB.......",
    "BWWWBWWB............",
    "BWWBBWWWB...........",
    "BWB..BWWB...........",
    "BB...BWWWB..........",
    "B.....BWWB..........",
    "......BWWWB.........",
    ".......BBB..........",
]
MAGENTA = (255, 0, 255)


def cursor():
    colours = {"B": (0, 0, 0), "W": (255, 255, 255), ".": MAGENTA}
    rgb = np.array([[colours[c] for c in row] for row in CURSOR], dtype=np.float64)
    assert rgb.shape == (20, 20, 3)
    return rgb


def shade(base, light, y, y0, y1):
    """Vertical blend from `light` at y0 to `base` at y1."""
    t = np.clip((y - y0) / (y1 - y0), 0.0, 1.0)[..., None]
    return np.asarray(light, float) * (1 - t) + np.asarray(base, float) * t


def glossy(sdf, x, y, top, bottom, outline_width=2.2):
    """A warm, light, glossy body with a dark rim, a soft drop shadow and
    anti-aliased, fading edges. Returns an RGBA float canvas."""
    h, w = x.shape
    rgba = np.zeros((h, w, 4))
    # soft shadow outside the shape, offset down-right, fading to nothing
    shadow = 0.45 * np.exp(-np.maximum(sdf - 0.0, 0.0) / 2.2)
    body = raster.coverage(sdf, soft=0.9)
    colour = shade((236, 168, 58), (255, 244, 200), y, top, bottom)
    # a highlight band across the upper half, the lower rim slightly darker
    mid = top + (bottom - top) * 0.48
    gloss = np.clip((mid - y) / (mid - top), 0.0, 1.0) ** 0.7 * 0.35
    colour = colour * (1 - gloss[..., None]) + 255.0 * gloss[..., None]
    rim = raster.coverage(-(sdf + outline_width), soft=0.8)  # 1 on the outline band
    colour = colour * (1 - rim[..., None]) + np.array((120, 70, 20), float) * rim[..., None]
    alpha = body + (1 - body) * shadow
    rgba[..., :3] = np.where(body[..., None] > 0, colour, (60, 35, 10))
    # inside the shape the colour is the body; in the fringe the shadow colour shows
    mix = body / np.maximum(alpha, 1e-6)
    rgba[..., :3] = colour * mix[..., None] + np.array((60, 35, 10), float) * (1 - mix[..., None])
    rgba[..., 3] = alpha * 255.0
    rgba[alpha <= 0.004] = 0.0
    return rgba


def button_blank():
    x, y = raster.grid(200, 100)
    # The face spans nearly the whole width: labels are up to about 200 px long.
    sdf = raster.sd_round_rect(x, y, 3, 6, 197, 94, 22)
    return glossy(sdf, x, y, 6, 94, outline_width=2.6)


def arrow_left():
    x, y = raster.grid(120, 50)
    # The outline runs 2 px outside this polygon, which rounds its corners.
    pts = [(10.5, 25), (48, 7.3), (48, 17), (111, 17), (111, 33), (48, 33), (48, 42.7)]
    sdf = raster.sd_polygon(x, y, pts) - 2.0
    return glossy(sdf, x, y, 4, 46, outline_width=2.2)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    assets = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "assets")
    os.makedirs(os.path.join(assets, "Archive"), exist_ok=True)
    raster.write_bmp24(os.path.join(assets, "Cursor.bmp"), cursor())
    raster.write_png(os.path.join(assets, "Archive", "Buttonunbeschriftet.png"), button_blank())
    left = arrow_left()
    raster.write_png(os.path.join(assets, "Archive", "ButtonL.png"), left)
    raster.write_png(os.path.join(assets, "Archive", "ButtonR.png"), np.ascontiguousarray(left[:, ::-1]))


if __name__ == "__main__":
    main()
