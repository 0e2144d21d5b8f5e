"""Small numpy rasteriser shared by the picture generators: coordinate grids,
signed distances of simple shapes, value noise, jittered-cell (Voronoi) patterns
and byte-exact PNG/BMP/PPM writers (no time stamps, so reruns give equal files)."""
import struct
import zlib

import numpy as np


def grid(width, height, scale=1):
    """Pixel-centre coordinates in picture units for a canvas rendered `scale` times finer."""
    ys, xs = np.mgrid[0:height * scale, 0:width * scale].astype(np.float64)
    return (xs + 0.5) / scale, (ys + 0.5) / scale


def downsample(img, scale):
    """Box-filters a supersampled canvas back to picture size."""
    if scale == 1:
        return img
    h, w = img.shape[0] // scale, img.shape[1] // scale
    return img.reshape(h, scale, w, scale, img.shape[2]).mean(axis=(1, 3))


def coverage(sdf, soft=0.5):
    """Anti-aliased coverage from a signed distance (negative inside), `soft` px wide."""
    return np.clip(0.5 - sdf / (2.0 * soft), 0.0, 1.0)


def paint(img, alpha, colour):
    """Paints a colour over the canvas with per-pixel opacity `alpha` (array or bool mask)."""
    a = np.asarray(alpha, dtype=np.float64)
    col = np.asarray(colour, dtype=np.float64)
    if a.ndim == img.ndim - 1:
        a = a[..., None]
    img *= 1.0 - a
    img += a * col


def sd_circle(x, y, cx, cy, r):
    return np.hypot(x - cx, y - cy) - r


def sd_ellipse(x, y, cx, cy, rx, ry):
    # Good enough near the outline for shapes that are not very elongated.
    k = np.hypot((x - cx) / rx, (y - cy) / ry)
    return (k - 1.0) * min(rx, ry)


def sd_round_rect(x, y, x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius
    qx, qy = np.abs(x - cx) - hx, np.abs(y - cy) - hy
    outside = np.hypot(np.maximum(qx, 0.0), np.maximum(qy, 0.0))
    inside = np.minimum(np.maximum(qx, qy), 0.0)
    return outside + inside - radius


def sd_polygon(x, y, pts):
    """Signed distance to a simple polygon given as a list of (x, y) corners."""
    pts = [(float(px), float(py)) for px, py in pts]
    d = np.full(x.shape, np.inf)
    inside = np.zeros(x.shape, dtype=bool)
    n = len(pts)
    for i in range(n):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        wx, wy = x - ax, y - ay
        t = np.clip((wx * ex + wy * ey) / (ex * ex + ey * ey), 0.0, 1.0)
        d = np.minimum(d, np.hypot(wx - ex * t, wy - ey * t))
        crosses = (ay > y) != (by > y)
        with np.errstate(divide="ignore", invalid="ignore"):
            xi = ax + (y - ay) * ex / (by - ay if by != ay else 1e-12)
        inside ^= crosses & (x < xi)
    return np.where(inside, -d, d)


def in_polygon(x, y, pts):
    return sd_polygon(x, y, pts) < 0


def value_noise(x, y, cell, rng, octaves=1, persistence=0.5):
    """Smooth value noise in [0, 1] with feature size `cell` picture units."""
    total = np.zeros(x.shape)
    amp, norm = 1.0, 0.0
    for _ in range(octaves):
        gw = int(np.max(x) / cell) + 3
        gh = int(np.max(y) / cell) + 3
        lattice = rng.random((gh, gw))
        fx, fy = x / cell, y / cell
        ix, iy = np.floor(fx).astype(int), np.floor(fy).astype(int)
        tx, ty = fx - ix, fy - iy
        tx = tx * tx * (3 - 2 * tx)
        ty = ty * ty * (3 - 2 * ty)
        a = lattice[iy, ix]
        b = lattice[iy, ix + 1]
        c = lattice[iy + 1, ix]
        d = lattice[iy + 1, ix + 1]
        total += amp * ((a * (1 - tx) + b * tx) * (1 - ty) + (c * (1 - tx) + d * tx) * ty)
        norm += amp
        amp *= persistence
        cell /= 2.0
    return total / norm


def cells(x, y, size, rng, jitter=0.8):
    """Jittered-grid Voronoi cells of about `size` units.

    Returns (cell id, seed x, seed y, border distance): the id of the nearest seed,
    that seed's position, and half the gap between the nearest and second-nearest
    seed distances (small on the cell borders, useful for grout or hedges)."""
    gw = int(np.max(x) / size) + 3
    gh = int(np.max(y) / size) + 3
    sx = (np.arange(gw)[None, :] + 0.5 + (rng.random((gh, gw)) - 0.5) * jitter) * size
    sy = (np.arange(gh)[:, None] + 0.5 + (rng.random((gh, gw)) - 0.5) * jitter) * size
    ix, iy = np.floor(x / size).astype(int), np.floor(y / size).astype(int)
    best = np.full(x.shape, np.inf)
    second = np.full(x.shape, np.inf)
    best_id = np.zeros(x.shape, dtype=int)
    for oy in (-1, 0, 1):
        for ox in (-1, 0, 1):
            cx = np.clip(ix + ox, 0, gw - 1)
            cy = np.clip(iy + oy, 0, gh - 1)
            d = np.hypot(x - sx[cy, cx], y - sy[cy, cx])
            # a clipped neighbour is the same seed again, not a second one
            d = np.where((cx == ix + ox) & (cy == iy + oy), d, np.inf)
            closer = d < best
            second = np.where(closer, best, np.minimum(second, d))
            best_id = np.where(closer, cy * gw + cx, best_id)
            best = np.where(closer, d, best)
    flat_x, flat_y = sx.ravel(), sy.ravel()
    return best_id, flat_x[best_id], flat_y[best_id], (second - best) / 2.0


def to_bytes(img):
    return np.clip(np.rint(img), 0, 255).astype(np.uint8)


def write_png(path, rgba):
    """8-bit RGBA PNG without ancillary chunks."""
    data = to_bytes(rgba)
    h, w, channels = data.shape
    assert channels == 4
    raw = b"".join(b"\x00" + data[row].tobytes() for row in range(h))

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body +
                struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) +
           chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def write_bmp24(path, rgb):
    """Uncompressed 24-bit BMP with the 40-byte info header, rows bottom-up."""
    data = to_bytes(rgb)
    h, w, _ = data.shape
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in range(h - 1, -1, -1):
        line = data[row][:, ::-1].tobytes()  # RGB -> BGR
        pixels += line + b"\x00" * (stride - w * 3)
    offset = 14 + 40
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + bytes(pixels))


def ppm_bytes(rgb):
    data = to_bytes(rgb)
    h, w, _ = data.shape
    return b"P6\n%d %d\n255\n" % (w, h) + data.tobytes()
