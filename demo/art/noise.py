"""Fractal noise as SVG's feTurbulence makes it (type fractalNoise, its
lattice of gradients from the seed), computed here so that a picture can
repeat from its right edge to its left without a seam.

rsvg-convert accepts stitchTiles="stitch" but folds the lattice index into
0..255 before it compares it with the tile's end, so its noise never wraps
and a picture wrapped around the sky shows a straight edge where its two
sides meet. Here the lattice index wraps at the tile's width first; away
from the last lattice column of each octave the values are rsvg-convert's."""
import math

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


def _noise(sel, grad, x, y, width):
    """One octave at lattice point (x, y); columns wrap every width cells."""
    t = x + _OFFSET
    bx0 = int(t)
    rx0 = t - bx0
    bx1 = bx0 + 1
    if bx0 >= _OFFSET + width:
        bx0 -= width
    if bx1 >= _OFFSET + width:
        bx1 -= width
    bx0 &= _MASK
    bx1 &= _MASK
    t = y + _OFFSET
    by0 = int(t)
    ry0 = t - by0
    by0 &= _MASK
    by1 = (by0 + 1) & _MASK
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


def fractal_noise(w, h, fx, fy, octaves, seed):
    """Rows of the noise's red channel in 0..1 (as the filter gives it) for
    the pixels of a w x h picture, repeating across its width. Both
    frequencies are moved to fit whole lattice cells into the picture, as
    stitching moves them; only the columns wrap."""
    fx, fy = _fit(fx, w), _fit(fy, h)
    sel, grad = _lattice(seed)
    rows = []
    for py in range(h):
        row = []
        for px in range(w):
            s, x, y, r, cells = 0.0, px * fx, py * fy, 1.0, round(w * fx)
            for _ in range(octaves):
                s += _noise(sel, grad, x, y, cells) / r
                x, y, r, cells = 2 * x, 2 * y, 2 * r, 2 * cells
            row.append((s + 1.0) / 2.0)
        rows.append(row)
    return rows
