"""Textures of the 3D world: terrain per season, sea and sky, the atlases of
buildings, vehicles, ships and weapons, and each aircraft's skin. All are
power-of-two; v = 0 is the bottom row (so the SVG's top row is v = 1).

Atlas regions are given in texture coordinates (u0, v0, u1, v1) by
REGIONS, which the mesh generator uses too."""
import base64

import aircraft
import noise
import pngio
from svg import doc, rivet, star, text, tint_matrix, turbulence

T = "data/textures/"

SEASONS = {
    # ground_low (shore), ground (plains), ground_high (rock), foliage (trees)
    "summer": (("#c9b27a", "#a08a58"), ("#5f7f34", "#3f5a22"), ("#7b746a", "#4e4942"), ("#2f5a26", "#1d3a18")),
    "winter": (("#c8ccd0", "#9aa2aa"), ("#e9eef2", "#c4ced8"), ("#6f747c", "#454a52"), ("#2c4a36", "#e8eef2")),
    "desert": (("#e2c98e", "#c2a468"), ("#d4b06a", "#b08848"), ("#a0623a", "#6e3e22"), ("#6a7a3a", "#4a5a26")),
}


def hexrgb(c):
    return int(c[1:3], 16) / 255.0, int(c[3:5], 16) / 255.0, int(c[5:7], 16) / 255.0


def noise_tile(size, c0, c1, freq, seed, extra=""):
    """A noisy surface between two colours that repeats in both directions
    (noise.py: no edge shows where copies meet)."""
    r0, g0, b0 = hexrgb(c0)
    r1, g1, b1 = hexrgb(c1)
    m = [r1 - r0, 0, 0, 0, r0, g1 - g0, 0, 0, 0, g0, b1 - b0, 0, 0, 0, b0, 0, 0, 0, 0, 1]
    # noise in 0.2..0.8 stretched to 0..1
    m = [v * 1.6 if i % 5 == 0 else v for i, v in enumerate(m)]
    m[4] -= (r1 - r0) * 0.3
    m[9] -= (g1 - g0) * 0.3
    m[14] -= (b1 - b0) * 0.3
    return doc(size, size, noise.picture(size, size, freq, 4, seed, m) + extra)


def ground_textures():
    out = []
    for season, (low, mid, high, foliage) in SEASONS.items():
        for d in ("data/textures/%s/" % season,) + ((T,) if season == "summer" else ()):
            out.append((d + "ground_low.png", 128, 128, "rgb", noise_tile(128, low[0], low[1], "0.09", 3)))
            out.append((d + "ground.png", 128, 128, "rgb", noise_tile(128, mid[0], mid[1], "0.05", 5)))
            out.append((d + "ground_high.png", 128, 128, "rgb", noise_tile(128, high[0], high[1], "0.07 0.14", 7)))
            # foliage: crowns of trees seen from the side; snow on winter's
            out.append((d + "foliage.png", 64, 64, "rgb", noise_tile(64, foliage[0], foliage[1], "0.12", 9)))
    return out


# Atlas regions: name -> (u0, v0, u1, v1), texture v upwards.
def _grid(cols, rows, names):
    reg = {}
    for i, n in enumerate(names):
        if n is None:
            continue
        c, r = i % cols, i // cols
        reg[n] = (c / cols, 1 - (r + 1) / rows, (c + 1) / cols, 1 - r / rows)
    return reg


BUILDING_CELLS = ["wall", "wall_win", "roof_red", "roof_grey", "concrete", "metal", "door", "hangar_door",
                  "brick", "wood", "dark", "window", "fuel", "stripe", "ruin", "soot"]
VEHICLE_CELLS = ["olive", "olive_d", "grey", "grey_d", "hull", "hull_d", "deck", "red", "dark", "tyre", "glass",
                 "camo", "sand", "white", "rust", "black"]
WEAPON_CELLS = ["bomb", "bomb_band", "rocket", "rocket_nose", "torpedo", "torpedo_prop", "metal", "flame"]
REGIONS = {
    "buildings.png": _grid(4, 4, BUILDING_CELLS),
    "vehicles.png": _grid(4, 4, VEHICLE_CELLS),
    "weapons.png": _grid(4, 2, WEAPON_CELLS),
}


def building_atlas():
    s = 64
    fills = {
        "wall": "#cbbf9e", "wall_win": "#cbbf9e", "roof_red": "#8a3a2a", "roof_grey": "#5a6068",
        "concrete": "#9a9a92", "metal": "#8d969e", "door": "#5a4030", "hangar_door": "#56606a", "brick": "#9a5038",
        "wood": "#7a5a3a", "dark": "#2a2a2a", "window": "#2a3a4a", "fuel": "#8a8f78", "stripe": "#d9a520",
        "ruin": "#4a4440", "soot": "#1c1a18",
    }
    defs = turbulence("bn", "0.08", 3, 21, [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5, 0, 0, 0, -0.05])
    b = ''
    for i, n in enumerate(BUILDING_CELLS):
        x, y = (i % 4) * s, (i // 4) * s
        b += '<rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (x, y, s, s, fills[n])
        if n == "wall_win":
            for wx in range(8, 64, 20):
                for wy in (10, 38):
                    b += '<rect x="%d" y="%d" width="10" height="14" fill="#2a3a4a"/>' % (x + wx, y + wy)
        elif n in ("roof_red", "roof_grey"):
            for k in range(0, 64, 8):
                b += '<rect x="%d" y="%d" width="64" height="2" fill="#000" opacity="0.25"/>' % (x, y + k)
        elif n == "hangar_door":
            for k in range(0, 64, 10):
                b += '<rect x="%d" y="%d" width="2" height="64" fill="#2a3038"/>' % (x + k, y)
        elif n == "brick":
            for k in range(0, 64, 8):
                b += '<rect x="%d" y="%d" width="64" height="1" fill="#cfc0a0"/>' % (x, y + k)
        elif n == "stripe":
            # kept inside the cell: the slanted bars would otherwise run on
            # into the fuel and ruin cells beside it
            bars = "".join('<path d="M%d,0 l8,0 l64,64 l-8,0 Z" fill="#1a1a1a"/>' % k for k in range(-64, 64, 16))
            b += '<svg x="%d" y="%d" width="%d" height="%d" overflow="hidden">%s</svg>' % (x, y, s, s, bars)
        elif n == "metal":
            for k in range(4, 64, 12):
                b += rivet(x + k, y + 6) + rivet(x + k, y + 58)
        b += '<rect x="%d" y="%d" width="%d" height="%d" filter="url(#bn)"/>' % (x, y, s, s)
    return doc(256, 256, '<svg x="0" y="0" width="256" height="256" overflow="hidden">%s</svg>' % b, defs)


def vehicle_atlas():
    s = 32
    fills = {"olive": "#5a6430", "olive_d": "#3a4220", "grey": "#7a828a", "grey_d": "#4a5058", "hull": "#6a727c",
             "hull_d": "#3e444c", "deck": "#8a7a5a", "red": "#8a2a22", "dark": "#222428", "tyre": "#141414",
             "glass": "#3a5a7a", "camo": "#5a6430", "sand": "#b8a070", "white": "#e8e8e0", "rust": "#7a4a2a",
             "black": "#0e0e0e"}
    b = ''
    for i, n in enumerate(VEHICLE_CELLS):
        x, y = (i % 4) * s, (i // 4) * s
        b += '<rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (x, y, s, s, fills[n])
        if n == "camo":
            b += ('<circle cx="%d" cy="%d" r="9" fill="#3a3a20"/><circle cx="%d" cy="%d" r="7" fill="#7a6a40"/>'
                  % (x + 10, y + 10, x + 24, y + 22))
        elif n == "deck":
            for k in range(0, 32, 4):
                b += '<rect x="%d" y="%d" width="32" height="1" fill="#5a4a30"/>' % (x, y + k)
    return doc(128, 128, b)


def weapon_atlas():
    fills = {"bomb": "#4d5526", "bomb_band": "#d9a520", "rocket": "#c5ccd3", "rocket_nose": "#c8372d",
             "torpedo": "#7a828a", "torpedo_prop": "#b88a30", "metal": "#4a5058", "flame": "#ffb040"}
    b = ''
    for i, n in enumerate(WEAPON_CELLS):
        x, y = (i % 4) * 16, (i // 4) * 16
        b += '<rect x="%d" y="%d" width="16" height="16" fill="%s"/>' % (x, y, fills[n])
    return doc(64, 32, b)


def smoothstep(a, b, x):
    t = min(1.0, max(0.0, (x - a) / (b - a)))
    return t * t * (3.0 - 2.0 * t)


def sky():
    """The sky dome's picture: a gradient from the zenith (top row) to the
    haze below the horizon (row 200 is the horizon), under fair-weather
    clouds. The dome wraps the picture once around the horizon, so the
    clouds repeat from the right edge to the left (noise.py). Its top ring
    meets at the zenith, where every triangle has its own u: the rows it
    shows (0 to 34) carry no clouds, which come in down to row 76, and they
    thin out over their last 30 rows before the horizon band, so no edge
    shows in any direction."""
    defs = ('<linearGradient id="sk" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#2f5f99"/>'
            '<stop offset="0.6" stop-color="#8fb6d8"/><stop offset="0.78" stop-color="#dbe8f0"/>'
            '<stop offset="0.8" stop-color="#c6d6e0"/><stop offset="1" stop-color="#9aaebc"/></linearGradient>')
    w, h = 256, 190
    rows = []
    for y, values in enumerate(noise.fractal_noise(w, h, 0.03, 0.09, 4, 31)):
        fade = 0.8 * smoothstep(36, 76, y) * (1.0 - smoothstep(h - 30, h, y))
        row = bytearray(b"\xff" * (4 * w))
        row[3::4] = bytes(int(fade * min(1.0, max(0.0, 2.6 * v - 1.25)) * 255 + 0.5) for v in values)
        rows.append(row)
    clouds = base64.b64encode(pngio.encode(w, h, rows, True)).decode("ascii")
    b = ('<rect width="256" height="256" fill="url(#sk)"/>'
         '<image width="%d" height="%d" href="data:image/png;base64,%s"/>' % (w, h, clouds))
    return doc(256, 256, b, defs)


def sea():
    """Water that repeats in both directions, one copy a sea quad."""
    return doc(128, 128, noise.picture(128, 128, "0.06 0.12", 3, 41, tint_matrix(0.16, 0.34, 0.48, 0.6, 0.45)))


def foam():
    defs = turbulence("fo", "0.15", 3, 43, [0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1.5, 1.4])
    defs += ('<radialGradient id="fg"><stop offset="0.3" stop-color="#fff" stop-opacity="1"/>'
             '<stop offset="1" stop-color="#fff" stop-opacity="0"/></radialGradient>'
             '<mask id="fm"><rect width="64" height="64" fill="url(#fg)"/></mask>')
    return doc(64, 64, '<g mask="url(#fm)"><rect width="64" height="64" fill="#f4f8fb" filter="url(#fo)"/></g>', defs)


def nuke():
    defs = ('<linearGradient id="ng" x1="0" y1="1" x2="0" y2="0"><stop offset="0" stop-color="#fff0b0"/>'
            '<stop offset="0.35" stop-color="#ff9a2a"/><stop offset="0.7" stop-color="#8a3a1a"/>'
            '<stop offset="1" stop-color="#3a3230"/></linearGradient>')
    defs += turbulence("nn", "0.1", 3, 45, [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.8, 0, 0, 0, -0.2])
    return doc(64, 64, '<rect width="64" height="64" fill="url(#ng)"/><rect width="64" height="64" filter="url(#nn)"/>', defs)


def arrow_tex():
    return doc(32, 32, '<rect width="32" height="32" fill="#ffc23d"/><rect y="20" width="32" height="12" fill="#c07c10"/>')


def aircraft_textures():
    out = []
    for k, p in enumerate(aircraft.PLANES):
        d = "data/planes/plane%d/textures/" % (k + 1)
        out.append((d + "p%d_skin.png" % (k + 1), 256, 256, "rgb", skin(k, p)))
        out.append((d + "p%d_prop.png" % (k + 1), 64, 64, "soft", prop_texture(p)))
        out.append((d + "p%d_flash.png" % (k + 1), 32, 32, "rgb", flash_texture()))
    return out


def skin(k, p):
    """Top view in the left half, side view top right, underside bottom
    right; the projections are aircraft.skin_uv's."""
    E = aircraft.EXTENT
    top, top2, under = p["colours"]
    r2, g2, b2 = hexrgb(top2)
    defs = turbulence("cm", "0.035", 2, 60 + k, [0, 0, 0, 0, r2, 0, 0, 0, 0, g2, 0, 0, 0, 0, b2, 9, 0, 0, 0, -4.4])
    defs += turbulence("dt", "0.2", 2, 70 + k, [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.35, 0, 0, 0, -0.1])

    def topxy(x, z):  # aircraft (x, z) -> pixels of the top view
        return 64 + x / E * 64, 128 + z / E * 128

    def sidexy(z, y):
        return 192 - z / E * 64, 64 - y / E * 64

    def underxy(x, z):
        return 192 + x / E * 64, 192 + z / E * 64

    b = '<rect width="256" height="256" fill="%s"/>' % top
    b += '<rect width="128" height="256" filter="url(#cm)"/>'
    # underside and the lower half of the side view
    b += '<rect x="128" y="128" width="128" height="128" fill="%s"/>' % under
    b += '<rect x="128" y="0" width="128" height="128" fill="%s"/>' % top
    b += '<rect x="128" y="0" width="128" height="128" filter="url(#cm)"/>'
    yb = sidexy(0, -0.02)[1]
    b += '<rect x="128" y="%.1f" width="128" height="%.1f" fill="%s"/>' % (yb, 128 - yb, under)
    # wing roundels on top and below, a fuselage roundel and band
    span = p["span"] / 2
    wz = p["wing_z"] + p["root_chord"] * 0.45
    for s in (-1, 1):
        x, y = topxy(s * span * 0.72, wz)
        b += roundel(x, y, 9)
        x, y = underxy(s * span * 0.72, wz)
        b += roundel(x, y, 7)
    x, y = sidexy(p["length"] * 0.12, 0.0)
    b += roundel(x, y, 8)
    bx = sidexy(p["length"] * 0.32, 0)[0]
    b += '<rect x="%.1f" y="0" width="5" height="128" fill="%s"/>' % (bx, p["band"])
    # canopy glass on the top and side views
    cz0, cz1 = p["canopy"]
    x0, y0 = topxy(-p["radius"] * 0.55, cz0)
    x1, y1 = topxy(p["radius"] * 0.55, cz1)
    b += '<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" rx="3" fill="#27435e"/>' % (x0, y0, x1 - x0, y1 - y0)
    sx0, sy0 = sidexy(cz0, p["radius"] * 1.75)
    sx1, sy1 = sidexy(cz1, p["radius"] * 0.55)
    b += '<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" rx="3" fill="#27435e"/>' % (sx1, sy0, sx0 - sx1, sy1 - sy0)
    b += '<rect x="%.1f" y="%.1f" width="%.1f" height="2" fill="#9ab8d0"/>' % (sx1 + 2, sy0 + 2, sx0 - sx1 - 4)
    # engine cowling: dark metal at the nose, exhaust stains
    nz = -p["length"] / 2
    x, _ = sidexy(nz + 0.28, 0)
    b += '<rect x="%.1f" y="0" width="%.1f" height="128" fill="%s" opacity="0.85"/>' % (x, 256 - x, p["cowl"])
    x0, _ = topxy(0, nz)
    _, y1 = topxy(0, nz + 0.28)
    b += '<rect x="0" y="0" width="128" height="%.1f" fill="%s" opacity="0.85"/>' % (y1, p["cowl"])
    # panel lines and grime
    for z in (-0.3, 0.0, 0.3, 0.55):
        b += '<rect x="0" y="%.1f" width="128" height="1" fill="#000" opacity="0.25"/>' % topxy(0, z)[1]
        b += '<rect x="%.1f" y="0" width="1" height="128" fill="#000" opacity="0.25"/>' % sidexy(z, 0)[0]
    b += '<rect width="256" height="256" filter="url(#dt)"/>'
    b += text(sidexy(-0.05 * p["length"], 0)[0] - 30, 86, p["code"], 11, "#e8e0c0", family="DejaVu Sans Mono")
    return doc(256, 256, b, defs)


def roundel(x, y, r):
    return ('<circle cx="%.1f" cy="%.1f" r="%g" fill="#f4f1e8"/><circle cx="%.1f" cy="%.1f" r="%g" fill="#1d3f8a"/>'
            % (x, y, r, x, y, r * 0.8)) + star(x, y, r * 0.7, "#f4f1e8")


def prop_texture(p):
    """Opaque colour cells for blades and spinner in the corners; the
    spinning disc (translucent) in the middle."""
    defs = ('<radialGradient id="pd"><stop offset="0.15" stop-color="#202020" stop-opacity="0"/>'
            '<stop offset="0.3" stop-color="#303030" stop-opacity="0.35"/><stop offset="0.85" stop-color="#303030" '
            'stop-opacity="0.45"/><stop offset="0.9" stop-color="#ffd040" stop-opacity="0.7"/>'
            '<stop offset="1" stop-color="#ffd040" stop-opacity="0"/></radialGradient>')
    b = '<circle cx="32" cy="32" r="24" fill="url(#pd)"/>'
    b += '<rect x="0" y="0" width="8" height="8" fill="#161616"/>'       # blade
    b += '<rect x="56" y="0" width="8" height="8" fill="#ffd040"/>'      # blade tip
    b += '<rect x="0" y="56" width="8" height="8" fill="%s"/>' % p["spinner"]
    b += '<rect x="56" y="56" width="8" height="8" fill="#5a6068"/>'     # hub metal
    return doc(64, 64, b, defs)


def flash_texture():
    defs = ('<radialGradient id="fl"><stop offset="0" stop-color="#ffffff"/><stop offset="0.3" stop-color="#ffe080"/>'
            '<stop offset="0.7" stop-color="#ff8020"/><stop offset="1" stop-color="#000"/></radialGradient>')
    return doc(32, 32, '<rect width="32" height="32" fill="#000"/>' + star(16, 16, 16, "url(#fl)", 6, 0.35), defs)


def images():
    out = ground_textures()
    out += [
        (T + "buildings.png", 256, 256, "rgb", building_atlas()),
        (T + "vehicles.png", 128, 128, "rgb", vehicle_atlas()),
        (T + "weapons.png", 64, 32, "rgb", weapon_atlas()),
        (T + "sky.png", 256, 256, "rgb", sky()),
        (T + "sea.png", 128, 128, "rgb", sea()),
        (T + "foam.png", 64, 64, "soft", foam()),
        (T + "nuke.png", 64, 64, "rgb", nuke()),
        (T + "arrow.png", 32, 32, "rgb", arrow_tex()),
    ]
    out += aircraft_textures()
    return out

