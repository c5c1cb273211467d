"""Meshes and scenes of the demo data: the four maps (and the fallback
level), their buildings, vehicles and ships, the weapons, effects, the
menu bomb, and the aircraft (aircraft.py). Every mesh is written in
pofwrite's text form and converted; every scene in pamwrite's.

The names the mission scripts rely on are listed in demo/README.md."""
import math
import os
import subprocess
from concurrent.futures import ThreadPoolExecutor

import aircraft
import textures
from mesh import Mesh, ring

AREA = 50.0
HALF = 200.0
# A pilot who holds the tablet still flies straight on at the height he
# started at: the slowest aircraft covers some 140 units in the first 20 s,
# the fastest some 165. The build stops when the ground rises closer than
# MIN_CLEARANCE under such a flight of SAFE_FLIGHT units from the player's
# start or a spawn point (wing tips included); spawn points are raised to
# SPAWN_CLEARANCE above it.
SAFE_FLIGHT = 250.0
MIN_CLEARANCE = 2.0
SPAWN_CLEARANCE = 6.0


# ----------------------------------------------------------------------------------------------
# Texture coordinates

def region_uv(atlas, cell, inset=0.15):
    """The centre part of an atlas cell, as a function of nothing."""
    u0, v0, u1, v1 = textures.REGIONS[atlas][cell]
    du, dv = (u1 - u0) * inset, (v1 - v0) * inset
    return lambda p, n: (u0 + du + (u1 - u0 - 2 * du) * 0.5, v0 + dv + (v1 - v0 - 2 * dv) * 0.5)


def cell_corners(atlas, cell, inset=0.06):
    u0, v0, u1, v1 = textures.REGIONS[atlas][cell]
    du, dv = (u1 - u0) * inset, (v1 - v0) * inset
    return ((u0 + du, v0 + dv), (u1 - du, v0 + dv), (u1 - du, v1 - dv), (u0 + du, v1 - dv))


def boxed(m, x0, y0, z0, x1, y1, z1, atlas, side, top=None, bottom=True):
    """A box whose side faces show a whole atlas cell, the top another."""
    tex = atlas
    s = cell_corners(atlas, side)
    t = cell_corners(atlas, top or side)
    p = [(x0, y0, z0), (x1, y0, z0), (x1, y1, z0), (x0, y1, z0), (x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)]
    m.quad(p[1], p[0], p[3], p[2], tex, s)   # -z
    m.quad(p[4], p[5], p[6], p[7], tex, s)   # +z
    m.quad(p[0], p[4], p[7], p[3], tex, s)   # -x
    m.quad(p[5], p[1], p[2], p[6], tex, s)   # +x
    m.quad(p[7], p[6], p[2], p[3], tex, t)   # top
    if bottom:
        m.quad(p[0], p[1], p[5], p[4], tex, t)


def cylinder_y(m, cx, cz, r, y0, y1, n, tex, side_uv, top_uv, cap_top=True, cap_bottom=True, r_top=None):
    r_top = r if r_top is None else r_top
    pts0 = [(cx + r * math.cos(2 * math.pi * i / n), y0, cz - r * math.sin(2 * math.pi * i / n)) for i in range(n)]
    pts1 = [(cx + r_top * math.cos(2 * math.pi * i / n), y1, cz - r_top * math.sin(2 * math.pi * i / n)) for i in range(n)]
    for i in range(n):
        j = (i + 1) % n
        if r_top > 0:
            m.quad(pts0[i], pts0[j], pts1[j], pts1[i], tex, side_uv)
        else:
            m.tri(pts0[i], pts0[j], (cx, y1, cz), tex, side_uv)
    if cap_top and r_top > 0:
        m.poly(pts1, tex, top_uv)
    if cap_bottom:
        m.poly(list(reversed(pts0)), tex, top_uv)


def gable_roof(m, x0, z0, x1, z1, y, h, atlas, cell, along_x=True):
    c = cell_corners(atlas, cell)
    if along_x:
        zm = (z0 + z1) / 2
        a, b, cc, d = (x0, y, z1), (x1, y, z1), (x1, y + h, zm), (x0, y + h, zm)
        m.quad(a, b, cc, d, atlas, c)
        a, b, cc, d = (x1, y, z0), (x0, y, z0), (x0, y + h, zm), (x1, y + h, zm)
        m.quad(a, b, cc, d, atlas, c)
        m.tri((x0, y, z0), (x0, y, z1), (x0, y + h, zm), atlas, c[:3])
        m.tri((x1, y, z1), (x1, y, z0), (x1, y + h, zm), atlas, c[:3])


# ----------------------------------------------------------------------------------------------
# Terrain

def _hash(ix, iz, seed):
    h = (ix * 374761393 + iz * 668265263 + seed * 982451653) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0


def value_noise(x, z, seed, octaves=4):
    total, amp, freq, norm = 0.0, 1.0, 1.0, 0.0
    for o in range(octaves):
        fx, fz = x * freq, z * freq
        ix, iz = math.floor(fx), math.floor(fz)
        tx, tz = fx - ix, fz - iz
        tx, tz = tx * tx * (3 - 2 * tx), tz * tz * (3 - 2 * tz)
        a = _hash(ix, iz, seed + o)
        b = _hash(ix + 1, iz, seed + o)
        c = _hash(ix, iz + 1, seed + o)
        d = _hash(ix + 1, iz + 1, seed + o)
        total += amp * ((a * (1 - tx) + b * tx) * (1 - tz) + (c * (1 - tx) + d * tx) * tz)
        norm += amp
        amp *= 0.5
        freq *= 2.0
    return total / norm


class MapKind:
    """One of the four maps: its land, its flat places and what stands there."""

    def __init__(self, number, title, islands, seed, peak, base, town, ground_sites, sea_sites, land_shelf=None,
                 start=None):
        self.number, self.title, self.islands, self.seed, self.peak = number, title, islands, seed, peak
        self.base, self.town, self.ground_sites, self.sea_sites = base, town, ground_sites, sea_sites
        self.land_shelf = land_shelf
        self._start = start

    def start(self):
        """(x, y, z, heading) of the player's start: by default in front of
        the base, 18 high, its nose toward the middle of the map. A map whose
        middle rises higher than that names its own. The heading is the yaw
        of the null (the nose points along -Z at 0)."""
        if self._start:
            return self._start
        bx, bz = self.base[0], self.base[1]
        return bx * 0.8, 18, bz * 0.8, math.degrees(math.atan2(bx, bz))

    def highest_ahead(self, x, z, heading, length=SAFE_FLIGHT, side=4.0):
        """The highest ground under a straight flight of length units from
        (x, z) along heading, and side units to either side of it."""
        a = math.radians(heading)
        dx, dz = -math.sin(a), -math.cos(a)
        top = -1e9
        for s in range(0, int(length) + 1, 2):
            cx, cz = x + dx * s, z + dz * s
            for o in (-side, 0.0, side):
                top = max(top, self.height(cx - dz * o, cz + dx * o))
        return top

    def raw(self, x, z):
        land = -1.0
        for cx, cz, r in self.islands:
            d = math.hypot(x - cx, z - cz) / r
            land = max(land, 1.0 - d * d)
        if self.land_shelf:
            land = max(land, self.land_shelf(x, z))
        n = value_noise(x / 60.0, z / 60.0, self.seed)
        h = land * (2.0 + self.peak * n * n * 1.6) + (n - 0.5) * 3.0
        # sink the border so that the land meets the sea around the play area
        edge = max(abs(x), abs(z))
        if edge > 165:
            h = h - (edge - 165) * 0.35
        return h

    def flat_level(self, site):
        """Airfields and towns lie level at the land's own height there."""
        cx, cz, _, _, level = site
        return max(level, self.raw(cx, cz))

    def height(self, x, z):
        h = self.raw(x, z)
        for site in (self.base, self.town):
            cx, cz, w, d, _ = site
            level = self.flat_level(site)
            dx, dz = abs(x - cx) - w / 2, abs(z - cz) - d / 2
            out = max(dx, dz)
            if out < 0:
                return level
            if out < 25:
                t = out / 25.0
                t = t * t * (3 - 2 * t)
                h = level * (1 - t) + h * t
        return max(h, -5.0)


def terrain_tile(kind, ti, tj, step, edge_step=12.5):
    """Tile (ti, tj) of 100 x 100 units, centred on its own origin.

    A tile's border has points only every edge_step units, however fine its
    inside: the full mesh of one tile meets the distant copy of the next
    (and the next tile's full mesh) along the very same edges, with no point
    of one lying on an edge of the other, so that no crack opens between
    them. A finer mesh joins its inside to that border with a ring of
    triangles."""
    m = Mesh()
    x0, z0 = -HALF + ti * 100.0, -HALF + tj * 100.0
    cx, cz = x0 + 50.0, z0 + 50.0
    n = int(round(100.0 / step))
    stride = max(1, int(round(edge_step / step)))  # cells per border segment
    block = int(round(25.0 / step))  # cells per texture repeat
    H = [[kind.height(x0 + i * step, z0 + j * step) for j in range(n + 1)] for i in range(n + 1)]

    def ground(g):
        """The ground picture of some grid points: low, high or steep."""
        hs = [H[i][j] for i, j in g]
        avg = sum(hs) / len(hs)
        span = max(max(i for i, _ in g) - min(i for i, _ in g), max(j for _, j in g) - min(j for _, j in g), 1)
        slope = (max(hs) - min(hs)) / (span * step)
        return "ground_low.png" if avg < 0.9 else ("ground_high.png" if avg > 20 or slope > 0.85 else "ground.png")

    def tri(g, tex=None):
        """A triangle of grid points, wound counter-clockwise seen from above,
        its texture coordinates from the repeat block of its lowest indices."""
        (ia, ja), (ib, jb), (ic, jc) = g
        if (ib - ia) * (jc - ja) - (jb - ja) * (ic - ia) > 0:
            g = (g[0], g[2], g[1])
        pts = [(x0 + i * step - cx, H[i][j], z0 + j * step - cz) for i, j in g]
        tex = tex or ground(g)
        bi = min(i for i, _ in g) // block * block
        bj = min(j for _, j in g) // block * block
        uv = [((i - bi) / block, 1 - (j - bj) / block) for i, j in g]
        m.tri(pts[0], pts[1], pts[2], tex, uv)

    inner = 1 if stride > 1 else 0
    # The inside: two triangles a cell.
    for i in range(inner, n - inner):
        for j in range(inner, n - inner):
            a, b, c, d = (i, j), (i + 1, j), (i + 1, j + 1), (i, j + 1)
            tex = ground((a, b, c, d))
            tri((a, d, c), tex)
            tri((a, c, b), tex)
    if inner:
        # The ring between the border's points and the inside's edge, side by
        # side around the tile: each side's two rows of points are zipped by
        # their place along the side.
        sides = (lambda t, r: (t, r), lambda t, r: (n - r, t), lambda t, r: (n - t, n - r), lambda t, r: (r, n - t))
        for side in sides:
            outer = [side(t, 0) for t in range(0, n + 1, stride)]
            ring = [side(t, 1) for t in range(1, n)]
            o, r = 0, 0
            while o < len(outer) - 1 or r < len(ring) - 1:
                to = (o + 1) * stride if o < len(outer) - 1 else None
                tr = r + 2 if r < len(ring) - 1 else None
                if tr is None or (to is not None and to <= tr):
                    tri((outer[o], outer[o + 1], ring[r]))
                    o += 1
                else:
                    tri((outer[o], ring[r + 1], ring[r]))
                    r += 1
    return m


def keel(m, tex, depth=1.0):
    """A small closed box under the water line: it gives a flat mesh some
    height, so that its model is placed in the area cells (a model of no
    height is in none and never drawn). The opaque water hides it."""
    uv = lambda p, n: (0.5, 0.5)
    m.box(-1.0, -depth, -1.0, 1.0, -0.02, 1.0, tex, uv)


def sea_tile(step=25.0, size=200.0, y=0.0):
    m = Mesh()
    keel(m, "sea.png")
    n = int(size / step)
    for i in range(n):
        for j in range(n):
            x, z = -size / 2 + i * step, -size / 2 + j * step
            a, b, c, d = (x, y, z), (x + step, y, z), (x + step, y, z + step), (x, y, z + step)
            m.quad(a, d, c, b, "sea.png", ((0, 1), (0, 0), (1, 0), (1, 1)))
    return m


def outer_sea():
    """A frame of sea around the play area, a little below the tiles."""
    m = Mesh()
    big, inner, y = 1200.0, HALF, -0.05
    keel(m, "sea.png", 2.0)
    rects = [(-big, -big, big, -inner), (-big, inner, big, big), (-big, -inner, -inner, inner), (inner, -inner, big, inner)]
    for x0, z0, x1, z1 in rects:
        nx, nz = max(1, int((x1 - x0) / 100)), max(1, int((z1 - z0) / 100))
        for i in range(nx):
            for j in range(nz):
                a0, a1 = x0 + (x1 - x0) * i / nx, x0 + (x1 - x0) * (i + 1) / nx
                b0, b1 = z0 + (z1 - z0) * j / nz, z0 + (z1 - z0) * (j + 1) / nz
                m.quad((a0, y, b0), (a0, y, b1), (a1, y, b1), (a1, y, b0), "sea.png",
                       ((0, 4), (0, 0), (4, 0), (4, 4)))
    return m


def sky_dome(radius=380.0, seg=16, rings=6):
    """A dome seen from inside: v runs from the horizon band (0.22) to the top;
    below the horizon a skirt of haze reaches down past the far end of the sea."""
    m = Mesh()
    rows = [(-160.0, 0.0)] + [(math.sin(math.radians(90.0 * k / rings)) * radius * 0.55, 0.22 + 0.78 * k / rings)
                             for k in range(rings + 1)]
    for k in range(len(rows) - 1):
        y0, v0 = rows[k]
        y1, v1 = rows[k + 1]
        r0 = radius if k == 0 else math.cos(math.radians(90.0 * (k - 1) / rings)) * radius
        r1 = math.cos(math.radians(90.0 * k / rings)) * radius
        for i in range(seg):
            a0, a1 = 2 * math.pi * i / seg, 2 * math.pi * (i + 1) / seg
            p00 = (r0 * math.cos(a0), y0, r0 * math.sin(a0))
            p01 = (r0 * math.cos(a1), y0, r0 * math.sin(a1))
            p10 = (r1 * math.cos(a0), y1, r1 * math.sin(a0))
            p11 = (r1 * math.cos(a1), y1, r1 * math.sin(a1))
            u0, u1 = i / seg, (i + 1) / seg
            # inward: seen from the centre the quad turns counter-clockwise
            if r1 > 1e-6:
                m.quad(p00, p01, p11, p10, "sky.png", ((u0, v0), (u1, v0), (u1, v1), (u0, v1)))
            else:
                m.tri(p00, p01, p10, "sky.png", ((u0, v0), (u1, v0), (u0, v1)))
    return m


# ----------------------------------------------------------------------------------------------
# Buildings and scenery (origin at the ground, y up)

B = "buildings.png"
V = "vehicles.png"


def hangar(detail=True):
    m = Mesh()
    w, d, h = 9.0, 8.0, 3.2
    boxed(m, -w / 2, -1.0, -d / 2, w / 2, h, d / 2, B, "metal", "roof_grey")
    gable_roof(m, -w / 2 - 0.3, -d / 2 - 0.3, w / 2 + 0.3, d / 2 + 0.3, h, 1.8, B, "roof_grey")
    # the door on the front (+z)
    m.quad((-w * 0.35, 0, d / 2 + 0.05), (w * 0.35, 0, d / 2 + 0.05), (w * 0.35, h * 0.9, d / 2 + 0.05),
           (-w * 0.35, h * 0.9, d / 2 + 0.05), B, cell_corners(B, "hangar_door"))
    if detail:
        boxed(m, -w / 2 - 0.01, 2.2, -1.0, w / 2 + 0.01, 2.9, 1.0, B, "window", bottom=False)
    return m


def tower(detail=True):
    m = Mesh()
    boxed(m, -1.5, -1.0, -1.5, 1.5, 5.0, 1.5, B, "wall_win", "concrete")
    boxed(m, -2.0, 5.0, -2.0, 2.0, 6.6, 2.0, B, "window", "concrete")
    boxed(m, -2.3, 6.6, -2.3, 2.3, 7.0, 2.3, B, "roof_grey")
    if detail:
        boxed(m, -0.08, 7.0, -0.08, 0.08, 8.5, 0.08, B, "metal")
    return m


def depot(detail=True):
    m = Mesh()
    n = 10 if detail else 6
    for cx in (-2.2, 2.2):
        cylinder_y(m, cx, 0, 1.8, -1.0, 3.0, n, B, region_uv(B, "fuel"), region_uv(B, "concrete"))
    boxed(m, -4.5, -1.0, -2.5, 4.5, 0.2, 2.5, B, "concrete")
    return m


def bunker(detail=True):
    m = Mesh()
    boxed(m, -2.5, -1.0, -2.0, 2.5, 1.4, 2.0, B, "concrete")
    boxed(m, -1.6, 1.4, -1.2, 1.6, 2.2, 1.2, B, "concrete", "soot")
    if detail:
        boxed(m, -1.0, 0.4, -2.15, 1.0, 0.8, -2.0, B, "dark")
    return m


def radar_station(detail=True):
    m = Mesh()
    boxed(m, -2.0, -1.0, -1.5, 2.0, 2.2, 1.5, B, "wall_win", "roof_grey")
    boxed(m, -0.15, 2.2, -0.15, 0.15, 4.5, 0.15, B, "metal")
    boxed(m, -2.2, 4.2, -0.1, 2.2, 5.6, 0.1, B, "metal")
    return m


def factory(detail=True):
    m = Mesh()
    boxed(m, -6.0, -1.0, -4.0, 6.0, 4.0, 4.0, B, "brick", "roof_grey")
    cylinder_y(m, 4.0, -2.5, 0.6, 4.0, 10.0 if detail else 9.0, 8 if detail else 5, B, region_uv(B, "brick"),
               region_uv(B, "soot"))
    return m


def house(variant, detail=True):
    m = Mesh()
    w, d, h = [(4.0, 3.0, 2.2), (5.0, 3.5, 2.6), (3.5, 3.5, 3.6)][variant]
    boxed(m, -w / 2, -1.0, -d / 2, w / 2, h, d / 2, B, "wall_win" if variant != 1 else "wall", "roof_red")
    gable_roof(m, -w / 2 - 0.2, -d / 2 - 0.2, w / 2 + 0.2, d / 2 + 0.2, h, 1.4, B, "roof_red" if variant != 2 else "roof_grey")
    return m


def ruin(width, depth, detail=True):
    m = Mesh()
    boxed(m, -width / 2, -1.0, -depth / 2, width / 2, 0.5, depth / 2, B, "ruin", "soot")
    boxed(m, -width / 2, 0.5, -depth / 2, -width / 2 + 0.6, 2.0, depth / 2, B, "ruin", "soot")
    boxed(m, width / 4, 0.5, -depth / 2, width / 2, 1.3, -depth / 2 + 0.6, B, "ruin", "soot")
    if detail:
        boxed(m, -width / 6, 0.5, -depth / 6, width / 8, 1.0, depth / 5, B, "soot")
    return m


def trees(detail=True):
    """A clump of five conifers on the ground, texture from the season."""
    m = Mesh()
    spots = [(0, 0, 3.2), (2.4, 1.0, 2.6), (-2.0, 1.6, 2.8), (0.8, -2.3, 2.4), (-1.6, -1.8, 2.2)]
    n = 6 if detail else 4
    leaf = lambda p, nn: (0.5, 0.5)
    for x, z, h in spots if detail else spots[:3]:
        cylinder_y(m, x, z, 0.25, -0.5, h * 0.3, 4, "foliage.png", leaf, leaf, cap_top=False)
        cylinder_y(m, x, z, h * 0.38, h * 0.25, h * 1.25, n, "foliage.png", lambda p, nn: (p[1] % 1.0 * 0.5 + 0.2, 0.6),
                   leaf, cap_top=False, r_top=0)
    return m


# Vehicles and ships: origin at the ground or water line, facing -Z.

def aa_gun(detail=True):
    m = Mesh()
    boxed(m, -1.2, 0.0, -1.2, 1.2, 0.4, 1.2, V, "grey_d")
    cylinder_y(m, 0, 0, 0.8, 0.4, 1.0, 8 if detail else 5, V, region_uv(V, "olive"), region_uv(V, "olive_d"))
    # twin barrels raised toward -Z
    for x in (-0.25, 0.25):
        a, b = (x, 1.0, 0.0), (x, 2.6, -1.8)
        m.quad((a[0] - 0.08, a[1], a[2]), (b[0] - 0.08, b[1], b[2]), (b[0] + 0.08, b[1], b[2]),
               (a[0] + 0.08, a[1], a[2]), V, cell_corners(V, "dark"))
        m.quad((a[0] + 0.08, a[1], a[2]), (b[0] + 0.08, b[1], b[2]), (b[0] - 0.08, b[1], b[2]),
               (a[0] - 0.08, a[1], a[2]), V, cell_corners(V, "dark"))
    boxed(m, -0.6, 1.0, -0.2, 0.6, 1.5, 0.6, V, "olive")
    return m


def tank(detail=True):
    m = Mesh()
    boxed(m, -1.1, 0.0, -1.8, 1.1, 0.7, 1.8, V, "camo", "olive")
    boxed(m, -1.3, 0.0, -1.9, -0.9, 0.6, 1.9, V, "tyre")
    boxed(m, 0.9, 0.0, -1.9, 1.3, 0.6, 1.9, V, "tyre")
    cylinder_y(m, 0, 0.2, 0.75, 0.7, 1.25, 8 if detail else 5, V, region_uv(V, "camo"), region_uv(V, "olive"))
    boxed(m, -0.09, 0.9, -3.0, 0.09, 1.05, -0.3, V, "dark")
    return m


def truck(detail=True):
    m = Mesh()
    boxed(m, -0.8, 0.5, -2.0, 0.8, 1.5, -0.8, V, "olive_d", "olive")
    boxed(m, -0.78, 1.1, -2.02, 0.78, 1.4, -1.98, V, "glass")
    boxed(m, -0.9, 0.5, -0.7, 0.9, 2.0, 2.0, V, "olive", "olive_d")
    for z in (-1.5, 1.3):
        for x in (-0.9, 0.9):
            boxed(m, x - 0.15, 0.0, z - 0.45, x + 0.15, 0.8, z + 0.45, V, "tyre")
    return m


def ship(length, beam, cargo, detail=True):
    """A ship with its water line at y = 0, bow toward -Z."""
    m = Mesh()
    L, Bm = length / 2, beam / 2
    hull = lambda y, k: [(0, y, -L), (Bm * k, y, -L * 0.6), (Bm * k, y, L * 0.85), (Bm * 0.7 * k, y, L),
                         (-Bm * 0.7 * k, y, L), (-Bm * k, y, L * 0.85), (-Bm * k, y, -L * 0.6)]
    # The rings run clockwise seen from above (bow, starboard, stern, port),
    # so each side quad below turns outward as written, the keel is the ring
    # as it runs (counter-clockwise seen from below) and the deck the ring
    # reversed.
    rings = [hull(-1.2, 0.75), hull(0.0, 1.0), hull(1.3, 1.05)]
    for r in range(2):
        a, b = rings[r], rings[r + 1]
        cell = "red" if r == 0 else ("hull" if not cargo else "hull_d")
        for i in range(len(a)):
            j = (i + 1) % len(a)
            m.quad(a[i], b[i], b[j], a[j], V, cell_corners(V, cell))
    m.poly(rings[0], V, cell_corners(V, "red")[:3])
    m.poly(list(reversed(rings[2])), V, cell_corners(V, "deck")[:3])
    if cargo:
        boxed(m, -Bm * 0.7, 1.3, L * 0.45, Bm * 0.7, 4.0, L * 0.8, V, "white", "grey")
        boxed(m, -Bm * 0.2, 4.0, L * 0.55, Bm * 0.2, 5.6, L * 0.7, V, "black")
        for z in (-L * 0.4, -L * 0.05, L * 0.25):
            boxed(m, -Bm * 0.75, 1.3, z - L * 0.12, Bm * 0.75, 2.6, z + L * 0.12, V, "rust", "red")
    else:
        boxed(m, -Bm * 0.6, 1.3, -L * 0.1, Bm * 0.6, 3.4, L * 0.35, V, "grey", "grey_d")
        boxed(m, -Bm * 0.4, 3.4, 0.0, Bm * 0.4, 4.6, L * 0.2, V, "grey_d")
        boxed(m, -Bm * 0.25, 3.4, L * 0.38, Bm * 0.25, 5.0, L * 0.5, V, "black")
        for z in (-L * 0.55, L * 0.65):
            cylinder_y(m, 0, z, Bm * 0.4, 1.3, 1.9, 6, V, region_uv(V, "grey_d"), region_uv(V, "grey"))
            s = -1 if z < 0 else 1
            boxed(m, -0.1, 1.5, z + s * 0.2 - (0 if s > 0 else 2.2), 0.1, 1.7, z + s * 0.2 + (2.2 if s > 0 else 0), V, "dark")
    return m


def uboat(detail=True):
    m = Mesh()
    rings = [ring(0, 0, z, r, r * 0.85, 8 if detail else 6) for z, r in
             ((-7.0, 0.05), (-6.0, 0.7), (-3.0, 1.0), (4.0, 1.0), (6.5, 0.5), (7.2, 0.05))]
    from aircraft import Outward
    o = Outward()
    o.inside = lambda c: (0, 0, c[2])
    o.loft(rings, V, lambda p, n: (0.62 + 0.0 * p[0], 0.62) if p[1] > -0.3 else (0.85, 0.62))
    o.inside = None
    m.add(o)
    boxed(m, -0.45, 0.6, -1.6, 0.45, 2.4, 0.6, V, "grey_d", "dark")
    boxed(m, -0.05, 2.4, -0.9, 0.05, 3.4, -0.8, V, "dark")
    return m


# ----------------------------------------------------------------------------------------------
# Weapons, effects and the menu pieces

W = "weapons.png"


def revolve_x(m, profile, n, tex, uvfun, clockwise=False):
    """A body of revolution around the X axis from (x, r) pairs."""
    rings = []
    for x, r in profile:
        rings.append([(x, r * math.sin(2 * math.pi * i / n), r * math.cos(2 * math.pi * i / n)) for i in range(n)])
    for k in range(len(rings) - 1):
        for i in range(n):
            j = (i + 1) % n
            a, b, c, d = rings[k][i], rings[k][j], rings[k + 1][j], rings[k + 1][i]
            if clockwise:
                m.quad(a, b, c, d, tex, uvfun)
            else:
                m.quad(a, d, c, b, tex, uvfun)


def revolve_z(profile, n, tex, uvfun):
    """A body of revolution around Z, nose at -Z, from (z, r) pairs."""
    from aircraft import Outward
    o = Outward()
    o.inside = lambda c: (0, 0, c[2])
    rings = [ring(0, 0, z, max(r, 0.001), max(r, 0.001), n) for z, r in profile]
    o.loft(rings, tex, uvfun)
    o.inside = None
    return o


def fins_z(m, z0, z1, r, span, tex, uvfun):
    for a in (0, 90, 180, 270):
        ca, sa = math.cos(math.radians(a)), math.sin(math.radians(a))
        p = [(ca * r * 0.5, sa * r * 0.5, z0), (ca * (r + span), sa * (r + span), z0 + (z1 - z0) * 0.4),
             (ca * (r + span), sa * (r + span), z1), (ca * r * 0.5, sa * r * 0.5, z1)]
        m.poly(p, tex, uvfun)
        m.poly(list(reversed(p)), tex, uvfun)


def weapon_bomb():
    m = Mesh()
    m.add(revolve_z([(-0.2, 0.0), (-0.17, 0.05), (-0.1, 0.07), (0.08, 0.065), (0.17, 0.03)], 8, W, region_uv(W, "bomb")))
    fins_z(m, 0.12, 0.2, 0.03, 0.05, W, region_uv(W, "bomb_band"))
    return m


def weapon_rocket():
    m = Mesh()
    m.add(revolve_z([(-0.2, 0.0), (-0.16, 0.025), (-0.12, 0.03)], 6, W, region_uv(W, "rocket_nose")))
    m.add(revolve_z([(-0.12, 0.03), (0.18, 0.03), (0.2, 0.02)], 6, W, region_uv(W, "rocket")))
    fins_z(m, 0.12, 0.2, 0.03, 0.04, W, region_uv(W, "metal"))
    return m


def weapon_torpedo():
    m = Mesh()
    m.add(revolve_z([(-0.3, 0.0), (-0.27, 0.04), (-0.22, 0.05), (0.22, 0.05), (0.28, 0.02)], 8, W,
                    region_uv(W, "torpedo")))
    fins_z(m, 0.24, 0.3, 0.015, 0.035, W, region_uv(W, "torpedo_prop"))
    return m


def billboard(size, tex):
    """A quad facing +Z, both sides."""
    m = Mesh()
    s = size / 2
    uv = ((0, 0), (1, 0), (1, 1), (0, 1))
    m.quad((-s, -s, 0), (s, -s, 0), (s, s, 0), (-s, s, 0), tex, uv)
    m.quad((-s, s, 0), (s, s, 0), (s, -s, 0), (-s, -s, 0), tex, (uv[3], uv[2], uv[1], uv[0]))
    return m


def nuke_stem():
    uv = lambda p, n: (0.5, min(0.95, max(0.05, p[1] / 1.0)))
    m = Mesh()
    cylinder_y(m, 0, 0, 0.18, 0.0, 1.0, 10, "nuke.png", uv, uv, r_top=0.12)
    return m


def nuke_ring():
    m = Mesh()
    n = 16
    for i in range(n):
        a0, a1 = 2 * math.pi * i / n, 2 * math.pi * (i + 1) / n
        pts = []
        for r, y in ((0.3, 0.02), (0.55, 0.12), (0.8, 0.05), (1.0, 0.0)):
            pts.append(((r * math.cos(a0), y, -r * math.sin(a0)), (r * math.cos(a1), y, -r * math.sin(a1))))
        for k in range(3):
            (a, b), (c, d) = pts[k], pts[k + 1]
            m.quad(a, c, d, b, "nuke.png", lambda p, nn: (0.5, 0.3 + 0.4 * math.hypot(p[0], p[2])))
    return m


def nuke_cap():
    m = Mesh()
    uv = lambda p, n: (0.5, min(0.95, 0.2 + p[1] * 1.2))
    prof = [(0.0, 0.25), (0.15, 0.5), (0.35, 0.55), (0.55, 0.45), (0.7, 0.2), (0.75, 0.0)]
    for k in range(len(prof) - 1):
        y0, r0 = prof[k]
        y1, r1 = prof[k + 1]
        cylinder_y(m, 0, 0, r0, y0, y1, 12, "nuke.png", uv, uv, cap_top=False, cap_bottom=(k == 0), r_top=r1)
    return m


def wave():
    """A V of foam trailing from the origin toward +Z in the XZ plane."""
    m = Mesh()
    m.quad((-0.5, 0, 0.5), (0.5, 0, 0.5), (0.5, 0, -0.5), (-0.5, 0, -0.5), "foam.png", ((0, 0), (1, 0), (1, 1), (0, 1)))
    return m


def arrow():
    """The objective arrow: tip toward -X, about a unit long, symmetric about X."""
    m = Mesh()
    tip, neck, tail = -0.55, -0.05, 0.45
    body = [(tip, 0.0), (neck, 0.28), (neck, 0.12), (tail, 0.12), (tail, -0.12), (neck, -0.12), (neck, -0.28)]
    top = [(x, 0.06, z) for x, z in body]
    bot = [(x, -0.06, z) for x, z in body]
    uvt = lambda p, n: (0.5, 0.8)
    uvs = lambda p, n: (0.5, 0.15)
    # top face (normal +Y): head triangle and shaft quad
    def up(pts):
        a, b, c = pts[0], pts[1], pts[2]
        nny = (b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2])
        return pts if nny > 0 else list(reversed(pts))
    for face in ((0, 1, 6), (2, 3, 4, 5)):
        pts = up([top[i] for i in face])
        m.poly(pts, "arrow.png", uvt)
        m.poly(list(reversed([bot[i] for i in face])) if pts[0] == top[face[0]] else [bot[i] for i in face],
               "arrow.png", uvs)
    n = len(body)
    for i in range(n):
        j = (i + 1) % n
        a, b = top[i], top[j]
        c, d = bot[j], bot[i]
        # side wall facing away from the centre line
        mx, mz = (a[0] + b[0]) / 2 + 0.05, (a[2] + b[2]) / 2
        nx = (c[1] - a[1]) * (b[2] - a[2]) - (c[2] - a[2]) * (b[1] - a[1])
        nz = (c[0] - a[0]) * (b[1] - a[1]) - (c[1] - a[1]) * (b[0] - a[0])
        if nx * mx + nz * mz > 0:
            m.quad(a, d, c, b, "arrow.png", uvs)
        else:
            m.quad(a, b, c, d, "arrow.png", uvs)
    return m


# The menu bomb: a body of revolution along X, wound clockwise. Its texture
# is the menu's label canvas (512 x 512): columns run along X so that the
# canvas column 280 lies at x = 7.5 and 512 columns span 25 units: the label
# facing the viewer, the longest ("MULTIPLAYER") too, then sits inside the
# menu's selector frame at the right screen edge, centred in it on the
# tablet's 1024 x 600 and within it on 480 x 320. Rows run around the axis at
# 45 rows per 44.632 degrees, label i (row 172 + 45 i) at 195 - 44.632 i
# degrees from +Z toward +Y; the canvas is copied upside down, so
# v = 1 - row / 512.
BOMB_U0, BOMB_X0, BOMB_LEN = 280.0 / 512.0, 7.5, 25.0


def bomb_v(theta):
    row = 172.0 + (195.0 - theta) * 45.0 / 44.632
    return 1.0 - row / 512.0


def menu_bomb():
    m = Mesh()
    n = 40
    first = 218.2  # the seam: one turn covers canvas rows 149 to 512
    profile = [(-11.0, 0.8), (-8.0, 3.0), (-4.0, 4.6), (-2.0, 5.0), (19.0, 5.0), (21.5, 4.2), (23.5, 2.6), (24.6, 0.6)]
    rings = []
    for x, r in profile:
        u = min(1.0, max(0.0, BOMB_U0 + (x - BOMB_X0) / BOMB_LEN))
        pts = []
        for k in range(n + 1):
            th = first - 360.0 * k / n
            a = math.radians(th)
            pts.append(((x, r * math.sin(a), r * math.cos(a)), (u, bomb_v(th))))
        rings.append(pts)
    for s in range(len(rings) - 1):
        for k in range(n):
            (a, ta), (b, tb) = rings[s][k], rings[s][k + 1]
            (c, tc), (d, td) = rings[s + 1][k + 1], rings[s + 1][k]
            # clockwise seen from outside: the menu draws this mesh with
            # clockwise front faces
            m.tri(a, c, b, None, (ta, tc, tb))
            m.tri(a, d, c, None, (ta, td, tc))
    # tail fins (both sides, so either winding shows)
    for ang in (45, 135, 225, 315):
        a = math.radians(ang)
        sa, ca = math.sin(a), math.cos(a)
        q = [(-4.0, 4.0 * sa, 4.0 * ca), (-11.5, 7.5 * sa, 7.5 * ca), (-12.5, 7.5 * sa, 7.5 * ca), (-10.5, 0.8 * sa, 0.8 * ca)]
        t = [(0.01, 0.3)] * 4
        m.quad(q[0], q[1], q[2], q[3], None, t)
        m.quad(q[3], q[2], q[1], q[0], None, t)
    return m


# ----------------------------------------------------------------------------------------------
# The maps

def coast_shelf(x, z):
    return (-z - 40.0 + 18.0 * math.sin(x / 37.0)) / 60.0


def valley_shelf(x, z):
    return 0.9 - max(0.0, 1.0 - abs(x + 10.0 * math.sin(z / 45.0)) / 45.0) * (1.0 if z > -60 else 0.2)


MAPS = [
    MapKind(1, "islands", [(-110, -100, 62), (100, -110, 52), (-95, 105, 58), (115, 95, 66), (0, 5, 40)], 11, 16,
            base=(115, 95, 40, 18, 1.6), town=(-95, 105, 22, 22, 1.8),
            ground_sites=[(100, 80), (130, 110), (-110, -100), (-95, -115), (95, -110), (-80, 115), (0, 10), (-110, 95)],
            sea_sites=[(40, -40), (-40, 50), (60, 40), (-50, -40)]),
    MapKind(2, "coast", [(120, 120, 30), (-130, 130, 26)], 23, 20, base=(-60, -95, 40, 18, 2.0),
            town=(60, -80, 26, 20, 2.2),
            ground_sites=[(-40, -90), (-80, -100), (60, -100), (80, -70), (20, -120), (-120, -140), (120, 118), (-128, 128)],
            sea_sites=[(0, 60), (-60, 80), (70, 40), (30, 140)], land_shelf=coast_shelf),
    # The mountains' middle stands higher than a start in front of the base:
    # the player starts east of the airfield, down the valley that opens
    # south-east of it.
    MapKind(3, "mountains", [(0, 0, 175)], 37, 30, base=(-5, 110, 18, 44, 2.2), town=(10, -40, 22, 22, 3.0),
            ground_sites=[(-5, 80), (10, 130), (10, -20), (25, -45), (-15, -60), (60, 60), (-60, -100), (5, 30)],
            sea_sites=[(0, -185), (-185, 0), (185, 20), (40, 185)], land_shelf=valley_shelf,
            start=(16, 22, 100, -40)),
    MapKind(4, "atoll", [(-140, -140, 34), (140, -130, 30), (-130, 140, 32), (135, 140, 36), (0, 0, 28)], 41, 10,
            base=(135, 140, 34, 16, 1.4), town=(-140, -140, 18, 18, 1.5),
            ground_sites=[(130, 130), (150, 150), (-140, -130), (140, -130), (-130, 140), (0, 0), (8, 8), (-130, 150)],
            sea_sites=[(-60, -20), (40, -60), (60, 60), (-40, 80)]),
]

BUILDING_KINDS = [("hangar", hangar), ("tower", tower), ("depot", depot), ("bunker", bunker), ("radar", radar_station),
                  ("factory", factory)]
RUIN_SIZES = {"hangar": (9, 8), "tower": (4, 4), "depot": (9, 5), "bunker": (5, 4), "radar": (4, 3), "factory": (12, 8),
              "house": (4, 3)}


def map_buildings(kind):
    """(mesh name, builder, x, z, angle) of every building of a map: the
    targets have names of their own, the houses share theirs."""
    bx, bz = kind.base[0], kind.base[1]
    tx, tz = kind.town[0], kind.town[1]
    k = kind.number
    out = [
        ("m%d_hangar1" % k, hangar, bx - 10, bz - 2, 0), ("m%d_hangar2" % k, hangar, bx + 2, bz - 2, 0),
        ("m%d_tower" % k, tower, bx + 14, bz - 3, 0), ("m%d_depot1" % k, depot, bx - 12, bz + 8, 0),
        ("m%d_depot2" % k, depot, tx + 6, tz + 6, 90), ("m%d_bunker1" % k, bunker, bx + 12, bz + 8, 0),
        ("m%d_bunker2" % k, bunker, tx - 8, tz - 7, 0), ("m%d_radar" % k, radar_station, tx + 7, tz - 7, 0),
        ("m%d_factory" % k, factory, tx - 4, tz + 5, 0),
    ]
    for i, (dx, dz, v) in enumerate(((-9, -9, 0), (0, -10, 1), (9, -1, 2), (-10, 2, 1), (2, 10, 0), (10, 9, 2))):
        out.append(("house_%s" % "abc"[v], None, tx + dx, tz + dz, 0))
    return out


def tree_spots(kind):
    spots = []
    for i in range(-180, 181, 22):
        for j in range(-180, 181, 22):
            x = i + (value_noise(i * 0.37, j * 0.11, kind.seed + 5, 1) - 0.5) * 16
            z = j + (value_noise(i * 0.21, j * 0.43, kind.seed + 6, 1) - 0.5) * 16
            h = kind.height(x, z)
            if 1.5 < h < 14 and value_noise(x / 40.0, z / 40.0, kind.seed + 9, 2) > 0.5:
                near = False
                for (cx, cz, w, d, _) in (kind.base, kind.town):
                    if abs(x - cx) < w / 2 + 14 and abs(z - cz) < d / 2 + 14:
                        near = True
                if not near:
                    spots.append((x, h - 0.3, z))
    return spots


def fmt(v):
    s = "%.3f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def track(name, keys):
    return "  %s %s\n" % (name, " ".join("%d:%s" % (f, fmt(v)) for f, v in keys))


def place(x, y, z, ry=0.0):
    s = track("px", [(0, x)]) + track("py", [(0, y)]) + track("pz", [(0, z)])
    if ry:
        s += track("ry", [(0, ry)])
    return s


def route(points, frames):
    """A closed route through points (x, y, z), one lap in frames."""
    pts = points + [points[0]]
    n = len(pts) - 1
    keys = [(int(round(frames * i / n)), p) for i, p in enumerate(pts)]
    s = track("px", [(f, p[0]) for f, p in keys]) + track("py", [(f, p[1]) for f, p in keys])
    s += track("pz", [(f, p[2]) for f, p in keys])
    # heading along the route: yaw so that -Z (the nose) points to the next point
    yaws = []
    prev = None
    for i in range(len(pts)):
        a, b = pts[i], pts[(i + 1) % n if i < n else 1]
        yaw = math.degrees(math.atan2(-(b[0] - a[0]), -(b[2] - a[2])))
        if prev is not None:
            while yaw - prev > 180:
                yaw -= 360
            while yaw - prev < -180:
                yaw += 360
        yaws.append(yaw)
        prev = yaw
    s += track("ry", [(keys[i][0], yaws[i]) for i in range(len(keys))])
    return s


def map_scene(kind, meshes_out):
    """The scene text of a map; meshes_out gets (name, builder) of its meshes."""
    k = kind.number
    names = []

    def mesh_index(name):
        if name not in names:
            names.append(name)
        return names.index(name)

    models = []
    mesh_index("outer_sea")
    models.append("model mesh %d parent -1 flags background|perpoly|static\n" % mesh_index("outer_sea") + place(0, 0, 0))
    sky = "model mesh %d parent -1 flags static\n" % mesh_index("sky_dome") + place(0, 0, 0)
    models.append(sky)
    for ti in range(4):
        for tj in range(4):
            name = "m%d_t%d%d" % (k, ti, tj)
            models.append("model mesh %d parent -1 flags perpoly|static\n" % mesh_index(name) +
                          place(-HALF + ti * 100 + 50, 0, -HALF + tj * 100 + 50))
    for q, (sx, sz) in enumerate(((-100, -100), (100, -100), (-100, 100), (100, 100))):
        models.append("model mesh %d parent -1 flags perpoly|static\n" % mesh_index("sea_q") + place(sx, 0, sz))
    for name, builder, x, z, ang in map_buildings(kind):
        models.append("model mesh %d parent -1 flags static\n" % mesh_index(name) +
                      place(x, kind.height(x, z), z, ang))
    for x, y, z in tree_spots(kind):
        models.append("model mesh %d parent -1 flags static\n" % mesh_index("trees") + place(x, y, z))
    # nulls and triggers
    bx, bz = kind.base[0], kind.base[1]
    sx, sy, sz, heading = kind.start()
    starts = [("PlayerStart", sx, sy, sz, heading)]
    nulls = 'null "Null_Water_level" link -1\n' + place(0, 0, 0)
    nulls += 'null "PlayerStart" link -1\n' + place(sx, sy, sz, heading)
    for i in range(4):
        # nose toward the middle, high enough over the ground on the way
        a = math.radians(45 + 90 * i)
        x, z = 120 * math.cos(a), 120 * math.sin(a)
        yaw = math.degrees(math.atan2(x, z))
        y = max(22 + 2 * i, round(kind.highest_ahead(x, z, yaw) + SPAWN_CLEARANCE))
        nulls += 'null "Spawn%d" link -1\n' % i + place(x, y, z, yaw)
        starts.append(("Spawn%d" % i, x, y, z, yaw))
    for name, x, y, z, yaw in starts:
        room = y - kind.highest_ahead(x, z, yaw)
        if room < MIN_CLEARANCE:
            raise SystemExit("map %d: the ground ahead of %s comes within %.1f of its height (%.1f needed)" %
                             (k, name, room, MIN_CLEARANCE))
    # the enemies' starting points: spread over the far side of the map, away
    # from the home base
    for i in range(8):
        a = math.radians(100 + 23 * i) + math.atan2(bx, bz)
        x, z = 99 * math.sin(a), 99 * math.cos(a)
        nulls += 'null "Enemy%d" link -1\n' % i + place(x, 24 + (i % 3) * 4, z, math.degrees(math.atan2(x - bx, z - bz)))
    for i in range(4):
        nulls += 'null "Friend%d" link -1\n' % i + place(sx + 6 * (i + 1), sy + i, sz + 5 * (i + 1), heading)
    for i, (x, z) in enumerate(kind.ground_sites):
        nulls += 'null "Ground%d" link -1\n' % i + place(x, kind.height(x, z), z, 30 * i)
    for i, (x, z) in enumerate(kind.sea_sites):
        nulls += 'null "Ship%d" link -1\n' % i + place(x, 0, z, 90 * i)
    ux, uz = kind.sea_sites[0]
    nulls += 'null "Uboat0" link -1\n' + place(ux * 0.5 - 30, 0, uz * 0.5 + 30, 120)
    # routes: a patrol circle, a bomber run onto the base, a convoy at sea, a road
    nulls += 'null "Route0" link -1\n' + route([(140 * math.cos(a), 30, 140 * math.sin(a))
                                                for a in [2 * math.pi * i / 8 for i in range(8)]], 2000)
    far = (-bx * 1.1, 32, -bz * 1.1)
    nulls += 'null "Route1" link -1\n' + route([far, (bx, 32, bz), (bx * 0.2, 34, -bz * 0.6)], 1500)
    s0, s1 = kind.sea_sites[0], kind.sea_sites[2]
    nulls += 'null "Route2" link -1\n' + route([(s0[0], 0, s0[1]), (s1[0], 0, s1[1])], 3000)
    g0, g1 = kind.ground_sites[0], kind.ground_sites[2]
    nulls += 'null "Route3" link -1\n' + route([(g0[0], kind.height(*g0), g0[1]), (g1[0], kind.height(*g1), g1[1])], 3000)
    trig = ''
    for name in ("Base", "Base_Map%d" % k):
        trig += 'trigger "%s"\n' % name + track("px", [(0, bx)]) + track("py", [(0, kind.flat_level(kind.base))]) + \
            track("pz", [(0, bz)]) + "  radius 25\n"
    targets = [(bx - 4, bz + 3), (kind.town[0], kind.town[1]), kind.ground_sites[4], kind.ground_sites[6]]
    for i, (x, z) in enumerate(targets):
        trig += 'trigger "Target%d" \n' % i + track("px", [(0, x)]) + track("py", [(0, kind.height(x, z))]) + \
            track("pz", [(0, z)]) + "  radius 14\n"
    trig += 'trigger "Zone0"\n' + place(0, 20, 0) + "  radius 120\n"
    s = "# map %d, %s\nfps 25\n" % (k, kind.title)
    s += "".join('mesh "%s"\n' % n for n in names)
    s += "skybox 1\nareas %d\n" % int(AREA)
    s += "".join(models) + nulls + trig
    for n in names:
        meshes_out.add(n)
    return s


# ----------------------------------------------------------------------------------------------

def level_meshes():
    """name -> (builder of the full mesh, builder of its distant copy or None)."""
    out = {
        "outer_sea": (outer_sea, None),
        "sky_dome": (sky_dome, None),
        "sea_q": (lambda: sea_tile(), lambda: sea_tile(step=50.0)),
        "trees": (lambda: trees(True), lambda: trees(False)),
    }
    for v, name in enumerate(("house_a", "house_b", "house_c")):
        out[name] = ((lambda v=v: house(v, True)), (lambda v=v: house(v, False)))
    for kind in MAPS:
        for ti in range(4):
            for tj in range(4):
                out["m%d_t%d%d" % (kind.number, ti, tj)] = (
                    (lambda kind=kind, ti=ti, tj=tj: terrain_tile(kind, ti, tj, 6.25)),
                    (lambda kind=kind, ti=ti, tj=tj: terrain_tile(kind, ti, tj, 12.5)))
        for name, builder, _, _, _ in map_buildings(kind):
            if builder:
                out[name] = ((lambda b=builder: b(True)), (lambda b=builder: b(False)))
    for kind, (w, d) in RUIN_SIZES.items():
        out["ruin_" + kind] = ((lambda w=w, d=d: ruin(w, d, True)), (lambda w=w, d=d: ruin(w, d, False)))
    units = {"aa_gun": aa_gun, "tank": tank, "truck": truck, "uboat": uboat,
             "destroyer": lambda detail=True: ship(16.0, 3.0, False, detail),
             "cargo_ship": lambda detail=True: ship(20.0, 4.0, True, detail)}
    for name, b in units.items():
        out[name] = ((lambda b=b: b(True)), (lambda b=b: b(False)))
    out.update({
        "weapon_1": (weapon_bomb, None), "weapon_2": (weapon_rocket, None), "weapon_3": (weapon_torpedo, None),
        "weapon_4": (lambda: billboard(0.5, "smoke3.png"), None),
        "nuke1": (nuke_stem, None), "nuke2": (nuke_ring, None), "nuke3": (nuke_cap, None),
        "wave2": (wave, None), "arrow": (arrow, None), "menu_bomb": (menu_bomb, None),
    })
    return out


def build(out, work, pofwrite, pamwrite):
    jobs = []

    def write_mesh(path, m):
        txt = os.path.join(work, path.replace("/", "_") + ".txt")
        with open(txt, "w") as f:
            f.write(m.text())
        jobs.append([pofwrite, "text", txt, os.path.join(out, path)])

    def write_scene(path, s):
        txt = os.path.join(work, path.replace("/", "_") + ".txt")
        with open(txt, "w") as f:
            f.write(s)
        jobs.append([pamwrite, txt, os.path.join(out, path)])

    for name, (full, far) in sorted(level_meshes().items()):
        write_mesh("data/objects/%s.pof" % name, full())
        if far:
            write_mesh("data/objects/%s_d1.pof" % name, far())
    used = set()
    for kind in MAPS:
        write_scene("data/scenes/map%d.pam" % kind.number, map_scene(kind, used))
    # the level loaded when a mission names no scene: the first map, whose
    # textures are all in data\textures\ as well
    write_scene("data/scenes/level01.pam", map_scene(MAPS[0], used))
    aircraft.build(write_mesh, write_scene)
    for path in {j[-1] for j in jobs}:
        os.makedirs(os.path.dirname(path), exist_ok=True)

    def run(cmd):
        r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        return cmd, r.returncode, r.stderr

    failed = []
    with ThreadPoolExecutor(max_workers=max(1, min(4, os.cpu_count() or 1))) as pool:
        for cmd, rc, err in pool.map(run, jobs):
            if rc:
                failed.append("%s: %s" % (cmd[-1], err.strip()))
    if failed:
        raise SystemExit("build.py: " + "\n".join(failed))
