"""Small helpers that write SVG text for the demo art."""
import math

SANS = "DejaVu Sans"
MONO = "DejaVu Sans Mono"
SERIF = "DejaVu Serif"

# The palette every picture draws from.
OLIVE = "#4d5526"
OLIVE_D = "#2c3115"
OLIVE_L = "#737f3c"
STEEL = "#5d6873"
STEEL_D = "#262c33"
STEEL_L = "#b9c2cb"
AMBER = "#ffc23d"
AMBER_D = "#b77a12"
RED = "#c8372d"
RED_D = "#7a1a14"
GREEN = "#5fd35a"
NAVY = "#20344c"
PAPER = "#e6d9b0"
PAPER_D = "#b9a877"
WHITE = "#f4f1e8"
BLACK = "#0d0f10"


def doc(w, h, body, defs=""):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
            '<defs>%s%s</defs>%s</svg>' % (w, h, w, h, COMMON_DEFS, defs, body))


COMMON_DEFS = (
    '<linearGradient id="metal" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#c9d0d6"/><stop offset="0.45" stop-color="#7d8893"/>'
    '<stop offset="0.55" stop-color="#6a747e"/><stop offset="1" stop-color="#3a4148"/></linearGradient>'
    '<linearGradient id="darkmetal" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#5b656f"/><stop offset="0.5" stop-color="#3a424a"/>'
    '<stop offset="1" stop-color="#1e2328"/></linearGradient>'
    '<linearGradient id="olive" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#7e8a45"/><stop offset="0.5" stop-color="#545d2a"/>'
    '<stop offset="1" stop-color="#2f3416"/></linearGradient>'
    '<linearGradient id="amber" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#ffe58a"/><stop offset="0.5" stop-color="#ffc23d"/>'
    '<stop offset="1" stop-color="#c07c10"/></linearGradient>'
    '<linearGradient id="redb" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#ff7a62"/><stop offset="0.5" stop-color="#d23a2c"/>'
    '<stop offset="1" stop-color="#7a1a14"/></linearGradient>'
    '<linearGradient id="greenb" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#a6f59a"/><stop offset="0.5" stop-color="#4cbf46"/>'
    '<stop offset="1" stop-color="#1f6a1c"/></linearGradient>'
    '<linearGradient id="gold" x1="0" y1="0" x2="1" y2="1">'
    '<stop offset="0" stop-color="#fff0a8"/><stop offset="0.5" stop-color="#d9a431"/>'
    '<stop offset="1" stop-color="#7d5510"/></linearGradient>'
    '<linearGradient id="silver" x1="0" y1="0" x2="1" y2="1">'
    '<stop offset="0" stop-color="#ffffff"/><stop offset="0.5" stop-color="#a9b1b9"/>'
    '<stop offset="1" stop-color="#4f565d"/></linearGradient>'
    '<linearGradient id="bronze" x1="0" y1="0" x2="1" y2="1">'
    '<stop offset="0" stop-color="#ffd2a0"/><stop offset="0.5" stop-color="#b87333"/>'
    '<stop offset="1" stop-color="#5a3210"/></linearGradient>'
    '<linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">'
    '<stop offset="0" stop-color="#3f6fa8"/><stop offset="1" stop-color="#b9d3e8"/></linearGradient>'
    '<radialGradient id="glow"><stop offset="0" stop-color="#fff" stop-opacity="1"/>'
    '<stop offset="1" stop-color="#fff" stop-opacity="0"/></radialGradient>'
    '<filter id="grey"><feColorMatrix type="saturate" values="0"/></filter>'
    '<filter id="shadow" x="-20%" y="-20%" width="140%" height="140%">'
    '<feGaussianBlur in="SourceAlpha" stdDeviation="1.5"/><feOffset dx="1" dy="2"/>'
    '<feComponentTransfer><feFuncA type="linear" slope="0.7"/></feComponentTransfer>'
    '<feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge></filter>'
)


def text(x, y, s, size, fill=WHITE, anchor="middle", weight="bold", family=SANS, extra=""):
    s = s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    return ('<text x="%g" y="%g" font-family="%s" font-weight="%s" font-size="%g" fill="%s" '
            'text-anchor="%s" %s>%s</text>' % (x, y, family, weight, size, fill, anchor, extra, s))


def plate(x, y, w, h, r=6, fill="url(#darkmetal)", rim="#9aa4ad", rim2="#11151a"):
    """A bevelled plate: a dark rim, a light inner edge and the face."""
    return ('<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>'
            '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>'
            '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>'
            % (x, y, w, h, r, rim2, x + 1, y + 1, w - 2, h - 2, max(r - 1, 0), rim,
               x + 2.5, y + 2.5, w - 5, h - 5, max(r - 2, 0), fill))


def rivet(x, y, r=1.6):
    return ('<circle cx="%g" cy="%g" r="%g" fill="#1b1f23"/>'
            '<circle cx="%g" cy="%g" r="%g" fill="#aab3bb"/>' % (x + 0.4, y + 0.5, r, x, y, r * 0.7))


def poly(points, fill, extra=""):
    return '<polygon points="%s" fill="%s" %s/>' % (" ".join("%g,%g" % p for p in points), fill, extra)


def star(cx, cy, r, fill, points=5, inner=0.45, rot=-90, extra=""):
    pts = []
    for i in range(points * 2):
        rr = r if i % 2 == 0 else r * inner
        a = math.radians(rot + i * 180.0 / points)
        pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
    return poly(pts, fill, extra)


def plane_top(cx, cy, scale, fill, kind=0, rot=0, extra=""):
    """An aircraft seen from above, nose up, about 100 units across at scale
    1. kind picks the proportions of the five aircraft."""
    # span, wing chord, fuselage length, tail span, wing sweep, engines
    shapes = [
        (92, 16, 84, 34, 4, 0),   # light fighter
        (84, 13, 88, 30, 10, 0),  # fast fighter
        (100, 18, 90, 38, 2, 2),  # heavy twin-engine fighter
        (98, 18, 86, 36, 0, 0),   # dive bomber
        (110, 20, 96, 40, 0, 2),  # torpedo bomber
    ]
    span, chord, length, tail, sweep, engines = shapes[kind % 5]
    hl = length / 2.0
    fw = 7 if kind != 4 else 8
    wy = -hl * 0.18
    parts = []
    # fuselage
    parts.append('<path d="M0,%g C%g,%g %g,%g %g,0 L%g,%g L%g,%g L%g,0 C%g,%g %g,%g 0,%g Z"/>' % (
        -hl, fw, -hl, fw, -hl * 0.5, fw, fw * 0.35, hl, -fw * 0.35, hl, -fw, -fw, -hl * 0.5, -fw, -hl, -hl))
    # wings
    s = span / 2.0
    parts.append(poly([(-fw * 0.8, wy), (-s, wy + sweep), (-s + 3, wy + sweep + chord * 0.7),
                       (-fw * 0.8, wy + chord), (fw * 0.8, wy + chord), (s - 3, wy + sweep + chord * 0.7),
                       (s, wy + sweep), (fw * 0.8, wy)], "inherit"))
    # tailplane and fin
    t = tail / 2.0
    ty = hl * 0.72
    parts.append(poly([(-2, ty - 4), (-t, ty), (-t + 2, ty + 8), (t - 2, ty + 8), (t, ty), (2, ty - 4)], "inherit"))
    for e in range(engines):
        ex = (-1 if e == 0 else 1) * span * 0.24
        parts.append('<rect x="%g" y="%g" width="8" height="%g" rx="3"/>' % (ex - 4, wy - 12, chord + 16))
    return '<g transform="translate(%g,%g) rotate(%g) scale(%g)" fill="%s" %s>%s</g>' % (
        cx, cy, rot, scale, fill, extra, "".join(parts))


def plane_side(cx, cy, scale, fill, flip=False, extra=""):
    """A side view of a fighter, nose to the right, about 100 units long."""
    sx = -scale if flip else scale
    d = ("M50,0 C48,-5 40,-8 28,-8 L8,-9 C2,-16 -8,-16 -14,-9 L-40,-6 L-48,-22 L-54,-22 L-52,-3 "
         "L-50,2 L-30,4 L28,6 C40,6 48,4 50,0 Z")
    # the near wing and tailplane, seen a little from below
    wing = "M18,1 L-6,2 L-26,24 L-16,26 L6,6 Z M-38,-4 L-50,-3 L-58,8 L-52,9 Z"
    return ('<g transform="translate(%g,%g) scale(%g,%g)" fill="%s" %s><path d="%s"/><path d="%s"/>'
            '<rect x="50" y="-12" width="2" height="24" opacity="0.6"/></g>'
            % (cx, cy, sx, scale, fill, extra, d, wing))


def turbulence(fid, freq, octaves, seed, matrix, ftype="fractalNoise"):
    """A filter that fills its region with coloured noise; matrix is the
    20 values of an feColorMatrix applied to the noise. The noise does not
    repeat: a picture drawn repeated takes its noise from noise.py."""
    return ('<filter id="%s" x="0" y="0" width="100%%" height="100%%" filterUnits="objectBoundingBox">'
            '<feTurbulence type="%s" baseFrequency="%s" numOctaves="%d" seed="%d"/>'
            '<feColorMatrix type="matrix" values="%s"/></filter>'
            % (fid, ftype, freq, octaves, seed, " ".join("%g" % v for v in matrix)))


def tint_matrix(r, g, b, contrast=1.0, base=0.0):
    """Maps noise (its red channel) to a colour around (r, g, b) in 0..1."""
    return [r * contrast, 0, 0, 0, base * r,
            g * contrast, 0, 0, 0, base * g,
            b * contrast, 0, 0, 0, base * b,
            0, 0, 0, 0, 1]
