"""Fractal noise as SVG's feTurbulence makes it (type fractalNoise, its
lattice of gradients from the seed), computed here so that a picture can
repeat from its right edge to its left, and from its bottom to its top,
without a seam.

rsvg-convert accepts stitchTiles="stitch" but folds the lattice index into
0..255 before it compares it with the tile's end, so its noise never wraps
and a picture repeated around the sky or over the sea and land shows a
straight edge where two copies meet. Here the lattice index wraps at the
tile's width (and height) first; away from the last lattice column (and
row) of each octave the values are rsvg-convert's.

The filter works in linear RGB: colour() maps the noise to a pixel as a
feColorMatrix after it does, so a picture drawn from this noise keeps the
colours its filter gave it."""
import base64
import math

import pngio

_SIZE, _MASK, _OFFSET = 256, 255, 4096
_M, _A, _Q, _R = 2147483647, 16807, 127773, 2836


def _lattice(seed):
    """The lattice selector and the first channel's gradients of a seed."""
    if seed <= 0:
        seed = -(seed % (_M - 1)) + 1
    seed = min(seed, _M - 1)

    def step(s):
        r = _A * (s % _Q) - _R * (s // _Q)
        return r + _M if r <= 0 else r

    grads = []
    for channel in range(4):  # every channel draws from the stream; red is kept
        for _ in range(_SIZE):
            g = []
            for _ in range(2):
                seed = step(seed)
                g.append(((seed % (2 * _SIZE)) - _SIZE) / _SIZE)
            n = math.hypot(g[0], g[1])
            if channel == 0:
                grads.append((g[0] / n, g[1] / n) if n else (0.0, 0.0))
    sel = list(range(_SIZE))
    for i in range(_SIZE - 1, 0, -1):
        seed = step(seed)
        j = seed % _SIZE
        sel[i], sel[j] = sel[j], sel[i]
    return sel + sel[:_SIZE + 2], grads + grads[:_SIZE + 2]


def _wrap(b, cells):
    """A lattice index past the tile's end goes back by the tile's cells."""
    return b - cells if cells and b >= _OFFSET + cells else b


def _noise(sel, grad, x, y, width, height):
    """One octave at lattice point (x, y); columns wrap every width cells,
    rows every height cells (0: rows do not wrap)."""
    t = x + _OFFSET
    bx0 = int(t)
    rx0 = t - bx0
    bx0, bx1 = _wrap(bx0, width) & _MASK, _wrap(bx0 + 1, width) & _MASK
    t = y + _OFFSET
    by0 = int(t)
    ry0 = t - by0
    by0, by1 = _wrap(by0, height) & _MASK, _wrap(by0 + 1, height) & _MASK
    rx1, ry1 = rx0 - 1.0, ry0 - 1.0
    i, j = sel[bx0], sel[bx1]
    sx = rx0 * rx0 * (3.0 - 2.0 * rx0)
    sy = ry0 * ry0 * (3.0 - 2.0 * ry0)
    q = grad[sel[i + by0]]
    u = rx0 * q[0] + ry0 * q[1]
    q = grad[sel[j + by0]]
    a = u + sx * (rx1 * q[0] + ry0 * q[1] - u)
    q = grad[sel[i + by1]]
    u = rx0 * q[0] + ry1 * q[1]
    q = grad[sel[j + by1]]
    b = u + sx * (rx1 * q[0] + ry1 * q[1] - u)
    return a + sy * (b - a)


def _fit(f, n):
    """The frequency nearest f that fits a whole number of cells in n pixels,
    as stitching chooses it."""
    lo, hi = math.floor(n * f) / n, math.ceil(n * f) / n
    return lo if lo > 0 and f / lo < hi / f else hi


def fractal_noise(w, h, fx, fy, octaves, seed, wrap_rows=False):
    """Rows of the noise's red channel in 0..1 (as the filter gives it) for
    the pixels of a w x h picture, repeating across its width and, with
    wrap_rows, down its height. Both frequencies are moved to fit whole
    lattice cells into the picture, as stitching moves them."""
    fx, fy = _fit(fx, w), _fit(fy, h)
    sel, grad = _lattice(seed)
    cols0, rows0 = round(w * fx), round(h * fy) if wrap_rows else 0
    rows = []
    for py in range(h):
        row = []
        for px in range(w):
            s, x, y, r, cols, cells = 0.0, px * fx, py * fy, 1.0, cols0, rows0
            for _ in range(octaves):
                s += _noise(sel, grad, x, y, cols, cells) / r
                x, y, r, cols, cells = 2 * x, 2 * y, 2 * r, 2 * cols, 2 * cells
            row.append((s + 1.0) / 2.0)
        rows.append(row)
    return rows


def _to_srgb(c):
    c = min(1.0, max(0.0, c))
    return 12.92 * c if c <= 0.0031308 else 1.055 * c ** (1 / 2.4) - 0.055


def colour(v, matrix):
    """The (r, g, b, a) bytes that a feColorMatrix of 20 values, reading the
    noise's red channel only, gives for noise v: computed in linear RGB as
    the filter computes it, then stored as sRGB."""
    assert not any(matrix[5 * k + i] for k in range(4) for i in (1, 2, 3)), "the red channel only"
    out = [matrix[5 * k] * v + matrix[5 * k + 4] for k in range(4)]
    rgb = [int(_to_srgb(c) * 255 + 0.5) for c in out[:3]]
    return rgb + [int(min(1.0, max(0.0, out[3])) * 255 + 0.5)]


def picture(w, h, freq, octaves, seed, matrix, wrap_rows=True, extra=""):
    """An SVG image element of w x h pixels holding the noise coloured by
    matrix, as an feTurbulence (freq "fx" or "fx fy") under an feColorMatrix
    would fill the same rectangle, but repeating across its width and, with
    wrap_rows, down its height."""
    f = [float(v) for v in freq.split()]
    rows = []
    for values in fractal_noise(w, h, f[0], f[-1], octaves, seed, wrap_rows):
        row = bytearray()
        for v in values:
            row += bytes(colour(v, matrix))
        rows.append(row)
    data = base64.b64encode(pngio.encode(w, h, rows, True)).decode("ascii")
    return '<image width="%d" height="%d" %s href="data:image/png;base64,%s"/>' % (w, h, extra, data)
