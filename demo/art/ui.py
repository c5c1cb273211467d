"""The interface pictures of the demo data, as SVG documents.

images() lists (archive path, width, height, mode, svg text). Modes:
  rgb   opaque, written as an RGB PNG;
  rgb5  the same, dithered to the 5 bits a channel the game keeps of it
        (large smooth shades);
  key   hard alpha (0 or 255) for alpha-tested drawing, transparent pixels
        magenta so the colour key agrees with the alpha;
  soft  alpha kept as drawn (blended drawing only).
"""
import math
import os
import random
import sys

import noise

from svg import (AMBER, BLACK, COMMON_DEFS, GREEN, MONO, NAVY, OLIVE, OLIVE_D, PAPER, PAPER_D, RED, SANS, SERIF, STEEL_D,
                 STEEL_L, WHITE, doc, plane_side, plane_top, plate, poly, rivet, star, text, tint_matrix,
                 turbulence)
from svg import OLIVE_L

G = "data/2dgfx/"
T = "data/textures/"

# the levels, for their mission icons
sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "missions"))
import catalogue  # noqa: E402


def soft_key(mark="", w=96, h=48):
    """A soft key's plate with a mark drawn on it and no words: over the
    back key the game prints the key's word in the player's language."""
    return doc(w, h, plate(2, 6, w - 4, h - 12, 8) + mark)


def round_icon(w, inner, face="url(#darkmetal)"):
    r = w / 2.0
    return doc(w, w, '<circle cx="%g" cy="%g" r="%g" fill="#0c0e10"/><circle cx="%g" cy="%g" r="%g" fill="#9aa4ad"/>'
               '<circle cx="%g" cy="%g" r="%g" fill="%s"/>%s' % (r, r, r - 1, r, r, r - 2.5, r, r, r - 4.5, face, inner))


def arrow_shape(cx, cy, s, left, fill):
    d = -1 if left else 1
    pts = [(cx + d * 14 * s, cy), (cx - d * 2 * s, cy - 14 * s), (cx - d * 2 * s, cy - 6 * s),
           (cx - d * 14 * s, cy - 6 * s), (cx - d * 14 * s, cy + 6 * s), (cx - d * 2 * s, cy + 6 * s),
           (cx - d * 2 * s, cy + 14 * s)]
    return poly(pts, fill, 'stroke="#3a2500" stroke-width="%g" stroke-linejoin="round"' % (1.2 * s))


def check_shape(cx, cy, s, fill):
    return ('<path d="M%g,%g l%g,%g l%g,%g" fill="none" stroke="%s" stroke-width="%g" stroke-linecap="round" '
            'stroke-linejoin="round"/>' % (cx - 11 * s, cy, 8 * s, 9 * s, 15 * s, -19 * s, fill, 6 * s))


def cross_shape(cx, cy, s, fill):
    return ('<path d="M%g,%g l%g,%g M%g,%g l%g,%g" stroke="%s" stroke-width="%g" stroke-linecap="round"/>'
            % (cx - 10 * s, cy - 10 * s, 20 * s, 20 * s, cx + 10 * s, cy - 10 * s, -20 * s, 20 * s, fill, 6 * s))


# ----------------------------------------------------------------------------------------------
# Full-screen pictures

def warroom():
    """The war room: a wall map between two clocks over a desk. It is the
    background of the pages and windows that write over it: the pause
    question in its centre half, the calibration, medal and unlock lines
    across its middle, the mission's orders under their letterhead, and the
    multiplayer pages' lists, labels and buttons out into its corners. So it
    stays calm, a faded map of low contrast, darker toward the centre where
    the words are; the marked routes and the pins are as faint as the map,
    the small clocks hang in the top corners above everything the pages
    write there, and the models lie on the desk along the bottom."""
    rnd = random.Random(7)
    defs = turbulence("wall", "0.012 0.05", 4, 11, tint_matrix(0.20, 0.22, 0.21, 0.5, 0.6))
    defs += turbulence("land", "0.008", 5, 4, [0, 0, 0, 0, 0.80, 0, 0, 0, 0, 0.72, 0, 0, 0, 0, 0.52, 9, 0, 0, 0, -4.3])
    defs += turbulence("paper", "0.04", 3, 9, tint_matrix(0.90, 0.84, 0.66, 0.25, 0.8))
    defs += ('<radialGradient id="vig" cx="0.5" cy="0.45" r="0.75"><stop offset="0.45" stop-color="#000" '
             'stop-opacity="0"/><stop offset="1" stop-color="#000" stop-opacity="0.7"/></radialGradient>'
             # the shade over the middle, where the words go
             '<radialGradient id="hush" cx="0.5" cy="0.52" r="0.62"><stop offset="0" stop-color="#06080a" '
             'stop-opacity="0.8"/><stop offset="0.7" stop-color="#06080a" stop-opacity="0.55"/>'
             '<stop offset="1" stop-color="#06080a" stop-opacity="0.2"/></radialGradient>'
             '<linearGradient id="desk" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#4a3320"/>'
             '<stop offset="1" stop-color="#1e140b"/></linearGradient>'
             '<radialGradient id="lamp" cx="0.5" cy="0" r="1"><stop offset="0" stop-color="#ffd890" '
             'stop-opacity="0.25"/><stop offset="1" stop-color="#ffd890" stop-opacity="0"/></radialGradient>'
             '<clipPath id="mapclip"><rect x="142" y="70" width="740" height="400"/></clipPath>')
    b = '<rect width="1024" height="600" fill="#2a302d"/><rect width="1024" height="600" filter="url(#wall)" opacity="0.8"/>'
    # wall panelling: faint seams
    for x in range(0, 1024, 128):
        b += '<rect x="%d" y="0" width="2" height="600" fill="#232826" opacity="0.7"/>' % x
    b += '<rect x="0" y="500" width="1024" height="100" fill="url(#desk)"/><rect x="0" y="498" width="1024" height="4" fill="#5a3f27"/>'
    # the wall map: a faded chart, sea and land close in tone, a faint grid
    b += '<rect x="130" y="58" width="764" height="424" fill="#7b725e"/><rect x="136" y="64" width="752" height="412" fill="#91876e"/>'
    b += '<g clip-path="url(#mapclip)"><rect x="142" y="70" width="740" height="400" fill="#8e9c9c"/>'
    b += '<rect x="142" y="70" width="740" height="400" fill="#b4a888" filter="url(#land)" opacity="0.55"/>'
    b += '<rect x="142" y="70" width="740" height="400" filter="url(#paper)" opacity="0.3"/>'
    for x in range(142, 882, 37):
        b += '<line x1="%d" y1="70" x2="%d" y2="470" stroke="#3a3a30" stroke-width="0.6" opacity="0.25"/>' % (x, x)
    for y in range(70, 470, 37):
        b += '<line x1="142" y1="%d" x2="882" y2="%d" stroke="#3a3a30" stroke-width="0.6" opacity="0.25"/>' % (y, y)
    # the marked routes and the pins in the chart's top corners, as faint as
    # the chart itself: the multiplayer pages lay their lists and buttons
    # over them
    b += ('<path d="M150,150 C180,132 196,104 232,98 S262,84 268,72" fill="none" stroke="%s" stroke-width="2.5" '
          'stroke-dasharray="10 5" opacity="0.2"/>' % RED)
    b += ('<path d="M770,128 C796,118 816,108 836,92 S852,80 858,78" fill="none" stroke="#1d3f8a" stroke-width="2.5" '
          'opacity="0.2"/><polygon points="862,76 846,78 853,90" fill="#1d3f8a" opacity="0.2"/>')
    for i in range(8):
        left = i % 2 == 0
        x = rnd.uniform(156, 250) if left else rnd.uniform(772, 868)
        y = rnd.uniform(82, 128)
        c = RED if i % 3 else "#1d3f8a"
        b += '<circle cx="%.1f" cy="%.1f" r="3.5" fill="%s" stroke="#111" stroke-width="1" opacity="0.25"/>' % (x, y, c)
    b += '</g>'
    # small clocks high in the corners, their faces in the room's dusk, above
    # the row where the pages put the label over their lists (and wide of
    # the title between them)
    for cx in (66, 958):
        cy = 21
        b += ('<circle cx="%d" cy="%d" r="17" fill="#11130f" stroke="#4e4733" stroke-width="2"/>'
              '<circle cx="%d" cy="%d" r="14" fill="#4d4a40"/>' % (cx, cy, cx, cy))
        for k in range(12):
            a = math.radians(k * 30)
            b += '<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="#24231e" stroke-width="1"/>' % (
                cx + 11 * math.sin(a), cy - 11 * math.cos(a), cx + 13 * math.sin(a), cy - 13 * math.cos(a))
        b += '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="#1b1a16" stroke-width="1.5"/>' % (cx, cy, cx, cy - 9)
        b += '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="#1b1a16" stroke-width="1.5"/>' % (cx, cy, cx + 6, cy + 5)
    b += '<ellipse cx="512" cy="0" rx="520" ry="420" fill="url(#lamp)"/>'
    # models and a folded sheet on the desk, low along the bottom; the sheet
    # at its front edge right of the middle, below the game settings' last
    # row and clear of the label the lists have under them
    b += plane_top(220, 552, 0.55, "#20251f", 1, -20) + plane_top(800, 556, 0.6, "#20251f", 4, 15)
    b += '<rect x="600" y="583" width="150" height="40" fill="#8c866f" transform="rotate(-2 675 603)"/>'
    b += '<rect x="610" y="591" width="130" height="3" fill="#5c5a50" transform="rotate(-2 675 603)"/>'
    # darkened toward the middle, so that the words printed over it stand out
    b += '<rect width="1024" height="600" fill="url(#vig)"/><rect width="1024" height="600" fill="url(#hush)"/>'
    return doc(1024, 600, b, defs)


def sky_scene(w, h, dusk, seed):
    """A sky over the sea with soft clouds; dusk warms it."""
    top, mid, hor = ("#1c2b4a", "#b5585a", "#ffb46a") if dusk else ("#2f5f99", "#7fa9d3", "#dbe8f0")
    defs = ('<linearGradient id="skyg" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="%s"/>'
            '<stop offset="0.55" stop-color="%s"/><stop offset="0.68" stop-color="%s"/></linearGradient>'
            '<linearGradient id="seag" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="%s"/>'
            '<stop offset="1" stop-color="#0b1a2a"/></linearGradient>'
            '<radialGradient id="sun"><stop offset="0" stop-color="#fff6d8"/><stop offset="0.25" stop-color="#ffd98a" '
            'stop-opacity="0.9"/><stop offset="1" stop-color="#ff9c4a" stop-opacity="0"/></radialGradient>'
            % (top, mid, hor, "#6a5a6a" if dusk else "#41698f"))
    defs += turbulence("cl%d" % seed, "0.004 0.018", 5, seed,
                       [0, 0, 0, 0, 1, 0, 0, 0, 0, 0.95 if dusk else 1, 0, 0, 0, 0, 0.9 if dusk else 1,
                        3.2, 0, 0, 0, -1.45])
    defs += turbulence("wv%d" % seed, "0.002 0.08", 3, seed + 1, [0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
                                                                    2.5, 0, 0, 0, -1.4])
    hz = h * 0.68
    b = '<rect width="%d" height="%d" fill="url(#skyg)"/>' % (w, h)
    b += '<circle cx="%g" cy="%g" r="%g" fill="url(#sun)"/>' % (w * 0.72, hz - h * 0.05, h * 0.35)
    b += '<rect width="%d" height="%g" filter="url(#cl%d)" opacity="0.9"/>' % (w, hz, seed)
    b += '<rect y="%g" width="%d" height="%g" fill="url(#seag)"/>' % (hz, w, h - hz)
    b += '<rect y="%g" width="%d" height="%g" filter="url(#wv%d)" opacity="0.35"/>' % (hz, w, h - hz, seed)
    return b, defs


def title_background():
    b, defs = sky_scene(1024, 600, True, 21)
    b += '<g transform="rotate(-8 330 250)">%s</g>' % plane_side(330, 250, 2.6, "#141a22")
    b += plane_side(600, 330, 1.5, "#1c232c")
    b += plane_side(760, 230, 1.0, "#26303a")
    b += '<rect y="24" width="1024" height="120" fill="#000" opacity="0.35"/>'
    b += text(512, 112, "KORVANTH", 92, "#1a1208", extra='letter-spacing="12" transform="translate(4,5)"')
    b += text(512, 112, "KORVANTH", 92, "url(#amber)", extra='letter-spacing="12" stroke="#3a2500" stroke-width="2"')
    # under the name a rule with a star, no words: the picture is not translated
    for x in (330, 540):
        b += '<rect x="%d" y="130" width="154" height="2" fill="#f3e3b8"/>' % x
    b += star(512, 131, 10, "#f3e3b8")
    return doc(1024, 600, b, defs)


def end_screen():
    b, defs = sky_scene(1024, 600, True, 33)
    for i, (x, y, s) in enumerate(((380, 300, 1.2), (470, 280, 0.9), (540, 320, 0.8), (300, 340, 0.7))):
        b += plane_side(x, y, s, "#10151b")
    b += '<rect y="400" width="1024" height="140" fill="#000" opacity="0.35"/>'
    # the victory told without words: a winged star in a laurel wreath
    b += victory_emblem(512, 468)
    return doc(1024, 600, b, defs)


def victory_emblem(cx, cy):
    """A star in a ring between two wings, a laurel wreath below the ring."""
    b = ''
    for s in (-1, 1):
        b += poly([(cx + s * 46, cy - 8), (cx + s * 200, cy - 34), (cx + s * 186, cy - 20), (cx + s * 158, cy - 14),
                   (cx + s * 174, cy - 4), (cx + s * 140, cy + 2), (cx + s * 156, cy + 10), (cx + s * 46, cy + 12)],
                  "url(#amber)", 'stroke="#3a2500" stroke-width="2" stroke-linejoin="round"')
        for k in range(6):
            a = 98 + 14 * k  # degrees round the ring from its lowest point
            x = cx - s * 58 * math.cos(math.radians(a))
            y = cy + 58 * math.sin(math.radians(a))
            b += ('<ellipse cx="%.1f" cy="%.1f" rx="12" ry="5" fill="#8fae4a" stroke="#2a3a10" stroke-width="1.2" '
                  'transform="rotate(%.1f %.1f %.1f)"/>' % (x, y, -s * (a + 90 + 25), x, y))
    b += '<circle cx="%d" cy="%d" r="44" fill="#1a1208" stroke="url(#amber)" stroke-width="6"/>' % (cx, cy)
    b += star(cx, cy + 2, 32, "url(#amber)", extra='stroke="#3a2500" stroke-width="2"')
    return b


def maker_picture():
    b = '<rect width="512" height="256" fill="#000"/>'
    b += '<circle cx="256" cy="96" r="62" fill="none" stroke="url(#amber)" stroke-width="6"/>'
    b += star(256, 96, 40, "url(#amber)")
    for s in (-1, 1):
        b += poly([(256 + s * 60, 90), (256 + s * 190, 70), (256 + s * 175, 84), (256 + s * 150, 88),
                   (256 + s * 165, 96), (256 + s * 135, 100), (256 + s * 60, 106)], "url(#amber)")
    b += text(256, 205, "KORVANTH", 44, WHITE, extra='letter-spacing="8"')
    b += '<rect x="176" y="226" width="160" height="2" fill="#9aa4ad"/>'
    return doc(512, 256, b)


# The bay's window, in the 480 x 320 reference the game lays the menu out in:
# the hatch doors close it from x 58 to the right edge of the screen, where
# the flat pages put their title and rows, and from y 52 to 271.
BAY_LEFT, BAY_TOP, BAY_BOTTOM = 58, 52, 271
# One door is the window's width and a little more, so that no rounding of
# its scaled width leaves a column open at the screen's edge.
DOOR_W, DOOR_H = 480 - BAY_LEFT + 2, 110


def bomb_bay():
    """The bay around the hatch, 1024 x 600: the window is open from the
    doors' left edge to the screen's right edge (the frame's right side lies
    off screen), framed by hazard stripes on its other three sides, with a
    lamp on the left and a stencilled warning centred over the window."""
    sx, sy = 1024 / 480, 600 / 320
    left, top, bottom = round(BAY_LEFT * sx), int(BAY_TOP * sy), int(BAY_BOTTOM * sy)
    cx = (left + 1024) // 2
    defs = turbulence("grime", "0.03", 4, 5, tint_matrix(0.35, 0.37, 0.34, 0.6, 0.5))
    defs += ('<mask id="win"><rect width="1024" height="600" fill="#fff"/>'
             '<rect x="%d" y="%d" width="%d" height="%d" fill="#000"/></mask>' % (left, top, 1024 - left + 40, bottom - top) +
             '<pattern id="hazard" width="40" height="40" patternUnits="userSpaceOnUse" patternTransform="rotate(45)">'
             '<rect width="40" height="40" fill="#d9a520"/><rect width="20" height="40" fill="#1a1a1a"/></pattern>')
    b = '<g mask="url(#win)"><rect width="1024" height="600" fill="#3d4540"/>'
    b += '<rect width="1024" height="600" filter="url(#grime)" opacity="0.7"/>'
    # ribs and stringers of the fuselage
    for x in range(24, left - 14, 40):
        b += '<rect x="%d" y="0" width="14" height="600" fill="#2a3030"/><rect x="%d" y="0" width="3" height="600" fill="#7d8780"/>' % (x, x)
    for y in (22, 60, 540, 575):
        b += '<rect x="0" y="%d" width="1024" height="12" fill="#2a3030"/><rect x="0" y="%d" width="1024" height="2" fill="#87918a"/>' % (y, y)
    # the hatch frame with warning stripes, running on past the right edge
    b += '<rect x="%d" y="%d" width="%d" height="%d" fill="url(#hazard)"/>' % (left - 20, top - 20, 1044 - left + 20, bottom - top + 40)
    b += '<rect x="%d" y="%d" width="%d" height="%d" fill="#2d3330"/>' % (left - 12, top - 12, 1044 - left + 12, bottom - top + 24)
    b += '<rect x="%d" y="%d" width="%d" height="%d" fill="#0f1211"/>' % (left - 8, top - 8, 1044 - left + 8, bottom - top + 16)
    for x in range(left + 6, 1024, 40):
        b += rivet(x, top - 16, 2.2) + rivet(x, bottom + 16, 2.2)
    for y in range(top + 3, bottom + 12, 40):
        b += rivet(left - 16, y, 2.2)
    # the lamp beside the hatch
    lx = left - 64
    b += ('<rect x="%d" y="250" width="40" height="70" rx="8" fill="#151816"/>'
          '<rect x="%d" y="256" width="28" height="58" rx="6" fill="#ffcf6a"/>'
          '<circle cx="%d" cy="285" r="60" fill="url(#glow)" opacity="0.25"/>' % (lx - 20, lx - 14, lx))
    # a stencilled warning over the hatch: a triangle between arrows down to it
    b += ('<path d="M%d,37 l12,21 l-24,0 Z" fill="none" stroke="#d9a520" stroke-width="3" stroke-linejoin="round"/>'
          '<rect x="%g" y="44" width="2.4" height="8" fill="#d9a520"/><circle cx="%d" cy="55" r="1.4" fill="#d9a520"/>'
          % (cx, cx - 1.2, cx))
    for dx in (-90, -56, 56, 90):
        b += ('<path d="M%d,42 l9,9 l9,-9" fill="none" stroke="#d9a520" stroke-width="3.5"/>' % (cx + dx - 9))
    b += '</g>'
    return doc(1024, 600, b, defs)


def bomb_skin():
    """The menu bomb's skin: columns run along the bomb, rows around it. The
    labels are printed over columns 85-195, rows 75-240, so that part stays
    plain and dark."""
    defs = turbulence("bs", "0.03 0.01", 3, 13, tint_matrix(0.24, 0.27, 0.13, 0.35, 0.75))
    b = '<rect width="256" height="256" fill="#353b1a"/><rect width="256" height="256" filter="url(#bs)" opacity="0.25"/>'
    for x, w, c in ((0, 24, "#3a4120"), (48, 10, "#d9a520"), (214, 10, "#d9a520"), (236, 20, "#3a4120")):
        b += '<rect x="%d" y="0" width="%d" height="256" fill="%s"/>' % (x, w, c)
    for x in (30, 70, 206, 230):
        b += '<rect x="%d" y="0" width="2" height="256" fill="#262b12"/><rect x="%d" y="0" width="1" height="256" fill="#8a9450"/>' % (x, x + 2)
        for y in range(6, 256, 16):
            b += '<circle cx="%d" cy="%d" r="1.3" fill="#9aa35a"/>' % (x + 5, y)
    return doc(256, 256, b, defs)


def hatch_door():
    """One door, DOOR_W x DOOR_H: the game draws it from the window's left
    edge, so its stencilled arrows stand at the middle of the part that the
    screen shows (the window's width)."""
    w, h = DOOR_W, DOOR_H
    mid = (480 - BAY_LEFT) // 2
    defs = turbulence("dg", "0.05", 3, 2, tint_matrix(0.42, 0.47, 0.30, 0.5, 0.6))
    b = '<rect width="%d" height="%d" fill="%s"/>' % (w, h, OLIVE)
    b += '<rect width="%d" height="%d" filter="url(#dg)" opacity="0.6"/>' % (w, h)
    b += '<rect x="0" y="0" width="%d" height="6" fill="#2a2f16"/><rect x="0" y="%d" width="%d" height="6" fill="#9aa35a"/>' % (w, h - 6, w)
    for x in range(mid - 171, w, 70):
        b += '<rect x="%d" y="6" width="8" height="%d" fill="#3a4120"/><rect x="%d" y="6" width="2" height="%d" fill="#98a15c"/>' % (x, h - 12, x, h - 12)
    for x in range(10, w, 22):
        b += rivet(x, 12, 1.8) + rivet(x, h - 12, 1.8)
    # stencilled arrows to the edge where the doors part (the lower door is
    # drawn flipped, so its arrows point up to it)
    for dx in (-46, 0, 46):
        b += ('<path d="M%d,44 l18,18 l18,-18" fill="none" stroke="#e8c65a" stroke-width="7" opacity="0.9"/>'
              % (mid + dx - 18))
    return doc(w, h, b, defs)


def wrapping_curve(points, period):
    """A smooth path through points (x rising from 0) that goes on, at the
    same slope, into the same points moved right by period: drawn in copies
    period apart, the copies make one unbroken line."""
    n = len(points)
    at = lambda i: (points[i % n][0] + period * (i // n), points[i % n][1])
    d = "M%g,%g" % at(0)
    for i in range(n):
        p0, p1, p2, p3 = at(i - 1), at(i), at(i + 1), at(i + 2)
        c1 = (p1[0] + (p2[0] - p0[0]) / 6, p1[1] + (p2[1] - p0[1]) / 6)
        c2 = (p2[0] - (p3[0] - p1[0]) / 6, p2[1] - (p3[1] - p1[1]) / 6)
        d += " C%g,%g %g,%g %g,%g" % (c1 + c2 + p2)
    return d


# The earth is drawn three times side by side, scaled by the screen's height
# over 320, and scrolls left by up to one copy: two copies must span the
# screen's width (1024 at 600 high) for the window open to the right edge.
EARTH_W = 288


def earth():
    w = EARTH_W
    k = w / 256
    rnd = random.Random(3)
    b = '<rect width="%d" height="256" fill="#55703a"/>' % w
    b += noise.picture(w, 256, "0.02", 4, 8, tint_matrix(0.30, 0.44, 0.20, 0.7, 0.5), False, 'opacity="0.8"')
    colours = ["#8a9a4a", "#a89a5a", "#6f8a3a", "#c2b070", "#5e7a34", "#9a8550"]
    for _ in range(38):
        x, y = rnd.randrange(0, w), rnd.randrange(0, 256)
        fw, fh = rnd.randrange(14, 40), rnd.randrange(12, 34)
        c = rnd.choice(colours)
        for dx in (-w, 0, w):
            b += '<rect x="%d" y="%d" width="%d" height="%d" fill="%s" opacity="0.75" stroke="#3d4f26" stroke-width="0.6"/>' % (
                x + dx, y, fw, fh, c)
    b += noise.picture(w, 256, "0.035", 4, 12, [0, 0, 0, 0, 0.12, 0, 0, 0, 0, 0.25, 0, 0, 0, 0, 0.1, 8, 0, 0, 0, -4.2],
                       False)
    # a river that leaves the right edge where it enters the left, at the same slope
    river = wrapping_curve([(x * k, y) for x, y in ((0, 70), (45, 52), (92, 84), (140, 128), (190, 112), (226, 80))], w)
    for dx in (-w, 0, w):
        b += ('<path d="%s" transform="translate(%d,0)" fill="none" stroke="#4a7a9a" stroke-width="4"/>'
              % (river, dx))
    # and a road the same way
    b += '<path d="M0,178 C%g,168 %g,188 %d,178" fill="none" stroke="#b9a98a" stroke-width="1.6"/>' % (70 * k, w - 70 * k, w)
    return doc(w, 256, b)


def cloud(seed, w=64, h=32):
    rnd = random.Random(seed)
    b = ''
    blobs = [(rnd.uniform(14, w - 14), rnd.uniform(h * 0.45, h * 0.6), rnd.uniform(7, 12)) for _ in range(6)]
    for x, y, r in blobs:
        b += '<circle cx="%.1f" cy="%.1f" r="%.1f" fill="#a9b4bf"/>' % (x, y + 2, r)
    for x, y, r in blobs:
        b += '<circle cx="%.1f" cy="%.1f" r="%.1f" fill="#f4f7fa"/>' % (x, y - 1, r * 0.9)
    b += '<rect x="6" y="%g" width="%d" height="6" rx="3" fill="#c9d2da"/>' % (h * 0.62, w - 12)
    return doc(w, h, b)


def explosion_strip():
    b = ''
    for k in range(10):
        cx, cy = k * 64 + 32, 36
        t = k / 9.0
        r = 10 + 22 * min(1.0, t * 1.6)
        rnd = random.Random(40 + k)
        g = '<g>'
        if k < 7:
            for i in range(9):
                a = rnd.uniform(0, 2 * math.pi)
                d = r * rnd.uniform(0.3, 0.8)
                rr = r * rnd.uniform(0.4, 0.7)
                col = "#ff8a1e" if k < 4 else "#c2451a"
                g += '<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (cx + d * math.cos(a), cy + d * math.sin(a) * 0.8, rr, col)
            core = max(0.0, 1 - t * 1.4)
            if core > 0:
                g += '<circle cx="%d" cy="%d" r="%.1f" fill="#ffe27a"/>' % (cx, cy, r * 0.55 * core + 3)
                g += '<circle cx="%d" cy="%d" r="%.1f" fill="#ffffff"/>' % (cx, cy, r * 0.25 * core + 1)
        # smoke
        if k >= 3:
            sm = (k - 3) / 6.0
            for i in range(7):
                a = rnd.uniform(math.pi * 1.1, math.pi * 1.9)
                d = r * rnd.uniform(0.2, 0.7)
                g += '<circle cx="%.1f" cy="%.1f" r="%.1f" fill="#3a3230" opacity="%.2f"/>' % (
                    cx + d * math.cos(a), cy - 6 * sm + d * math.sin(a), r * (0.35 + 0.25 * sm), 1.0 - 0.7 * sm)
        g += '</g>'
        b += '<svg x="%d" y="0" width="64" height="64" viewBox="%d 0 64 64">%s</svg>' % (k * 64, k * 64, g)
    return doc(640, 64, b)


SELECTOR_W = 170  # wide enough for the longest menu label on the bomb


def selector():
    b = ''
    for flip in (False, True):
        tr = 'transform="translate(%d,0) scale(-1,1)"' % SELECTOR_W if flip else ''
        b += ('<path d="M18,3 L4,3 L4,47 L18,47" fill="none" stroke="#1a1200" stroke-width="7" %s/>'
              '<path d="M18,3 L4,3 L4,47 L18,47" fill="none" stroke="url(#amber)" stroke-width="4" %s/>' % (tr, tr))
    return doc(SELECTOR_W, 50, b)


def engine_logo():
    b = plate(2, 2, 252, 60, 10, "#14181c")
    b += '<circle cx="34" cy="32" r="18" fill="none" stroke="url(#amber)" stroke-width="3"/>' + star(34, 32, 13, "url(#amber)")
    b += text(150, 43, "VORN", 28, WHITE, extra='letter-spacing="10"')
    return doc(256, 64, b)


def value_bar(part, fill, trailing=False, w=8, h=24):
    grad = "url(#amber)" if fill == "fill" else ("url(#greenb)" if fill == "fillg" else "#15191c")
    rim = "#05070a"
    if part == "side":
        b = '<path d="M0,0 L%g,0 Q%g,0 %g,%g L%g,%g Q%g,%g %g,%g L0,%g Z" fill="%s"/>' % (
            w - 4, w, w, 4, w, h - 4, w, h, w - 4, h, h, rim)
        b += '<path d="M0,2 L%g,2 Q%g,2 %g,%g L%g,%g Q%g,%g %g,%g L0,%g Z" fill="%s"/>' % (
            w - 5, w - 2, w - 2, 5, w - 2, h - 5, w - 2, h - 2, w - 5, h - 2, h - 2, grad)
    else:
        b = '<rect width="%d" height="%d" fill="%s"/><rect y="2" width="%d" height="%d" fill="%s"/>' % (w, h, rim, w, h - 4, grad)
    if fill == "empty":
        b += '<rect y="2" width="%d" height="2" fill="#000" opacity="0.5"/>' % w
    else:
        b += '<rect y="3" width="%d" height="%g" fill="#fff" opacity="0.35"/>' % (w, max(1.0, h * 0.15))
    return doc(w, h, b)


# ----------------------------------------------------------------------------------------------
# Campaign pictures, help pages, mission icons

CAMPAIGNS = [
    # season colours (ground, sky), motif; the game prints each campaign's
    # name along the picture's lower edge
    ("#41698f", "#8fb6d8", "sea"),
    ("#c8a964", "#e8c48a", "desert"),
    ("#dfe8ee", "#9db1c6", "winter"),
]


def campaign_picture(i, grey):
    ground, skyc, motif = CAMPAIGNS[i]
    defs = ('<linearGradient id="cs" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#2d4a70"/>'
            '<stop offset="1" stop-color="%s"/></linearGradient>' % skyc)
    defs += turbulence("cn%d" % i, "0.02 0.06", 3, 50 + i, tint_matrix(1, 1, 1, 0.6, 0.5))
    b = '<rect width="300" height="200" fill="url(#cs)"/>'
    if motif == "sea":
        b += '<rect y="120" width="300" height="80" fill="#2b5373"/><rect y="120" width="300" height="80" filter="url(#cn0)" opacity="0.15"/>'
        b += '<path d="M0,122 L60,110 L90,116 L130,104 L160,120 Z" fill="#4f6b3a"/>'
        b += poly([(170, 150), (250, 150), (240, 160), (178, 160)], "#3a4046") + '<rect x="200" y="138" width="18" height="12" fill="#4a5058"/>'
        b += '<rect x="208" y="128" width="4" height="10" fill="#2a3036"/>'
    elif motif == "desert":
        b += '<path d="M0,130 Q60,110 120,128 T240,120 T300,126 L300,200 L0,200 Z" fill="%s"/>' % ground
        b += '<path d="M0,150 Q80,135 160,152 T300,148 L300,200 L0,200 Z" fill="#b08d4c"/>'
        b += '<rect x="60" y="140" width="30" height="14" fill="#8a6a3a"/><rect x="95" y="144" width="20" height="10" fill="#7a5a2a"/>'
    else:
        b += '<path d="M0,135 L50,90 L85,120 L130,80 L190,128 L240,100 L300,132 L300,200 L0,200 Z" fill="#7e8fa0"/>'
        b += '<path d="M50,90 L62,101 L44,104 Z M130,80 L146,96 L118,95 Z M240,100 L252,110 L230,110 Z" fill="#f4f8fb"/>'
        b += '<rect y="140" width="300" height="60" fill="%s"/>' % ground
        for x in range(10, 300, 24):
            b += poly([(x, 160), (x + 6, 140), (x + 12, 160)], "#2f4a3a")
    b += plane_side(110, 60, 0.75, "#12161b") + plane_side(180, 80, 0.5, "#1a2028")
    b += '<rect x="0.5" y="0.5" width="299" height="199" fill="none" stroke="#0b0d0f" stroke-width="3"/>'
    if grey:
        b = '<g filter="url(#grey)">%s</g><rect width="300" height="200" fill="#000" opacity="0.3"/>' % b
    return doc(300, 200, b, defs)


def curved_arrow(cx, cy, r, a0, a1, col):
    x0, y0 = cx + r * math.cos(math.radians(a0)), cy + r * math.sin(math.radians(a0))
    x1, y1 = cx + r * math.cos(math.radians(a1)), cy + r * math.sin(math.radians(a1))
    large = 1 if abs(a1 - a0) > 180 else 0
    sweep = 1 if a1 > a0 else 0
    ang = math.radians(a1 + (90 if sweep else -90))
    hx, hy = math.cos(ang), math.sin(ang)
    px, py = -hy, hx
    head = [(x1 + hx * 12, y1 + hy * 12), (x1 + px * 8, y1 + py * 8), (x1 - px * 8, y1 - py * 8)]
    return ('<path d="M%.1f,%.1f A%g,%g 0 %d %d %.1f,%.1f" fill="none" stroke="%s" stroke-width="6"/>'
            % (x0, y0, r, r, large, sweep, x1, y1, col)) + poly(head, col)


def embed(picture, x, y, scale=1.0, extra=""):
    """The body of another picture's document, placed at (x, y) and scaled,
    and its own definitions: (defs, body)."""
    head = "<defs>" + COMMON_DEFS
    i = picture.index(head) + len(head)
    j = picture.index("</defs>", i)
    body = picture[j + len("</defs>"):picture.rindex("</svg>")]
    return picture[i:j], '<g transform="translate(%g,%g) scale(%g)" %s>%s</g>' % (x, y, scale, extra, body)


def finger(x, y, angle=-35, s=1.0):
    """A pointing hand whose fingertip touches (x, y); angle turns it from
    straight up (negative: the hand comes from the lower right)."""
    return ('<g transform="translate(%g,%g) rotate(%g) scale(%g)" stroke="#4a2c1c" stroke-width="1.6">'
            '<path d="M-7,8 C-7,-2 -6,-6 0,-6 C6,-6 7,-2 7,8 L8,40 C16,36 24,38 26,46 L27,70 L-14,74 '
            'L-20,46 C-22,38 -10,36 -8,42 Z" fill="#e9b896"/>'
            '<path d="M-4,0 C-4,-3 4,-3 4,0 L4,6 L-4,6 Z" fill="#f6dccb" stroke-width="0.8"/></g>'
            % (x, y, angle, s))


def touch_rings(x, y, r=10, n=2):
    return "".join('<circle cx="%g" cy="%g" r="%g" fill="none" stroke="#ffffff" stroke-width="2" opacity="%g"/>'
                   % (x, y, r + 7 * k, 0.9 - 0.35 * k) for k in range(n))


def arrow(x0, y0, x1, y1, col=AMBER, width=5, both=False):
    """A straight arrow from (x0, y0) to (x1, y1), headed at the end (and at
    the start too when both)."""
    d = math.hypot(x1 - x0, y1 - y0)
    ux, uy = (x1 - x0) / d, (y1 - y0) / d
    px, py = -uy, ux
    hl, hw = width * 2.6, width * 1.8

    def head(xe, ye, sx, sy):
        return poly([(xe, ye), (xe - sx * hl + px * hw, ye - sy * hl + py * hw),
                     (xe - sx * hl - px * hw, ye - sy * hl - py * hw)], col)
    a = (x0 + ux * hl * 0.8, y0 + uy * hl * 0.8) if both else (x0, y0)
    b = '<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="%s" stroke-width="%g"/>' % (
        a[0], a[1], x1 - ux * hl * 0.8, y1 - uy * hl * 0.8, col, width)
    b += head(x1, y1, ux, uy)
    if both:
        b += head(x0, y0, -ux, -uy)
    return b


def plane_back(cx, cy, s, fill=STEEL_D, bank=0):
    """An aircraft seen from behind, banked by bank degrees."""
    return ('<g transform="translate(%g,%g) rotate(%g) scale(%g)" fill="%s">'
            '<path d="M-40,0 L-6,-3 L6,-3 L40,0 L6,3 L-6,3 Z"/><circle r="6"/>'
            '<path d="M-2,-5 L0,-17 L2,-5 Z"/><path d="M-14,-4 L14,-4 L12,-2 L-12,-2 Z"/></g>'
            % (cx, cy, bank, s, fill))


# The whole screen in the help pictures: 1024 x 600 units, the head-up
# display's controls where the game draws them at twice their size so that
# they read at the picture's scale.
SCREEN_W, SCREEN_H = 1024, 600
HUD_PARTS = ("radar", "weapon", "fire", "pause", "locks")


def hud_part(part, defs):
    """The control part in screen units, its definitions appended to defs."""
    out = ""
    add = lambda d_b: (defs.append(d_b[0]), d_b[1])[1]
    if part == "radar":
        out += add(embed(radar(True), 8, 8, 2.0, 'opacity="0.7"')) + add(embed(radar(False), 8, 8, 2.0))
        for k in range(1, 6):
            out += add(embed(throttle_layer(k), 8 + 88 - 100, 8 + 176 - 200, 2.0))
    elif part == "weapon":
        out += add(embed(weap_circle(), SCREEN_W - 96, 8, 2.0)) + weapon_glyph(0, SCREEN_W - 96 + 64, 72, 2.2)
    elif part == "fire":
        out += add(embed(fire_button(), SCREEN_W - 192, SCREEN_H / 2 - 96, 2.0, 'opacity="0.85"'))
    elif part == "pause":
        out += add(embed(pause_icon(), SCREEN_W - 128, SCREEN_H - 128, 2.0))
    else:
        for k, (icon, locked) in enumerate(((0, False), (1, False), (2, False))):
            out += lock_icon_body(icon, locked, 0, 210 + 90 * k, 2.0)
    return out


def screen(x, y, w, defs, lit=(), scene="", dim=False):
    """A landscape tablet whose screen is w wide at (x, y): sky, sea, the
    player's aircraft and the controls; the controls not in lit are dimmed."""
    k = w / float(SCREEN_W)
    h = SCREEN_H * k
    cid = "scr%d_%d" % (int(x), int(y))
    defs.append('<clipPath id="%s"><rect width="%d" height="%d"/></clipPath>' % (cid, SCREEN_W, SCREEN_H))
    b = '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="#1b1f24" stroke="#8a949e" stroke-width="2"/>' % (
        x - 9, y - 9, w + 18, h + 18, 12)
    b += '<g transform="translate(%g,%g) scale(%g)" clip-path="url(#%s)">' % (x, y, k, cid)
    b += '<rect width="%d" height="%d" fill="url(#sky)"/>' % (SCREEN_W, SCREEN_H)
    b += '<rect y="%d" width="%d" height="%d" fill="#2b5373"/>' % (SCREEN_H * 0.55, SCREEN_W, SCREEN_H * 0.45)
    b += '<path d="M0,%d L260,%d L420,%d L0,%d Z" fill="#4f6b3a"/>' % (
        SCREEN_H * 0.55, SCREEN_H * 0.55, SCREEN_H, SCREEN_H)
    b += scene + plane_back(SCREEN_W / 2, SCREEN_H * 0.62, 3.0)
    for part in HUD_PARTS:
        b += '<g opacity="%g">%s</g>' % (1.0 if part in lit else 0.35, hud_part(part, defs))
    if dim:
        b += '<rect width="%d" height="%d" fill="#000" opacity="0.45"/>' % (SCREEN_W, SCREEN_H)
    b += '</g>'
    return b, k


def glow(cx, cy, r):
    return ('<circle cx="%g" cy="%g" r="%g" fill="none" stroke="%s" stroke-width="3" stroke-dasharray="6 4"/>'
            % (cx, cy, r, AMBER))


def pause_icon():
    """The pause icon of the frame of play (soft_label_ingame.png)."""
    return round_icon(64, '<rect x="22" y="19" width="7" height="26" fill="%s"/>'
                          '<rect x="35" y="19" width="7" height="26" fill="%s"/>' % (AMBER, AMBER))


def zoomed_radar(x, y, size, throttle, defs):
    """The radar with its throttle arc at (x, y), size pixels across."""
    s = size / 88.0
    out = embed(radar(True), x, y, s, 'opacity="0.8"')
    defs.append(out[0])
    b = out[1]
    d, r = embed(radar(False), x, y, s)
    defs.append(d)
    b += r
    for k in range(1, throttle + 1):
        d, r = embed(throttle_layer(k), x + (88 - 100) / 2.0 * s, y + (88 - 100) * s, s)
        defs.append(d)
        b += r
    return b


def help_page(i):
    """Help picture i: the control of the heading above it (help texts
    314-320), shown as the game draws and works it; no words."""
    w, h = 560, 200
    defs = []
    b = '<rect width="%d" height="%d" rx="10" fill="#14191d"/>' % (w, h)
    sx, sy, sw = 24, 30, 250  # the tablet on the left of pictures 1-6
    at = lambda ux, uy: (sx + ux * sw / SCREEN_W, sy + uy * sw / SCREEN_W)
    if i == 0:  # tilt to steer: the tablet turned like a wheel banks the aircraft
        for cx, rot, a0, a1 in ((165, -16, 200, 160), (395, 16, -20, 20)):
            b += ('<g transform="rotate(%g %g 100)"><rect x="%g" y="52" width="170" height="106" rx="12" fill="#1b1f24" '
                  'stroke="#8a949e" stroke-width="3"/><rect x="%g" y="62" width="146" height="86" fill="url(#sky)"/>'
                  '<rect x="%g" y="110" width="146" height="38" fill="#2b5373"/></g>' % (rot, cx, cx - 85, cx - 73, cx - 73))
            b += plane_back(cx, 104, 1.0, STEEL_D, rot * 2)
            b += curved_arrow(cx, 104, 100, a0, a1, AMBER)
        b += arrow(228, 180, 128, 180, AMBER, 4) + arrow(332, 180, 432, 180, AMBER, 4)
    elif i == 1:  # throttle: a sideways drag across the radar
        scr, k = screen(sx, sy, sw, defs, lit=("radar",))
        b += scr
        rx, ry = at(96, 96)
        b += glow(rx, ry, 30) + arrow(rx - 24, ry + 44, rx + 36, ry + 44, AMBER, 4, both=True)
        b += finger(rx + 4, ry + 6, -30, 0.8)
        # the arc grows as the finger moves right along the radar
        for n, (zx, fx) in enumerate(((300, 330), (430, 505))):
            b += zoomed_radar(zx, 62, 100, 2 if n == 0 else 9, defs)
            b += touch_rings(fx, 118, 8, 1) + finger(fx, 118, -25, 0.9)
        b += arrow(318, 176, 500, 176, AMBER, 5)
    elif i == 2:  # fire: holding the button at the right edge sends out tracers
        scene = ''.join('<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="#ffd040" stroke-width="7" '
                        'stroke-dasharray="26 22"/>' % (SCREEN_W / 2 + dx, SCREEN_H * 0.6, 640 + dx // 3, 190)
                        for dx in (-60, 60))
        scene += plane_side(650, 170, 1.2, "#3a3f46") + star(650, 175, 40, "#ff9a2a", 8, 0.45)
        scr, k = screen(sx, sy, sw, defs, lit=("fire",), scene=scene)
        b += scr
        fx, fy = at(SCREEN_W - 96, SCREEN_H / 2)
        b += glow(fx, fy, 30) + touch_rings(fx, fy, 8, 1) + finger(fx, fy, -20, 0.8)
        # zoomed: the button held, the tracers running on
        d, r = embed(fire_button(), 400, 40, 1.25)
        defs.append(d)
        b += r + touch_rings(460, 100, 14, 3) + finger(460, 100, -20, 1.1)
        for t in range(4):
            b += '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="#ffd040" stroke-width="5" stroke-linecap="round"/>' % (
                380 - 22 * t, 60 + 10 * t, 366 - 22 * t, 57 + 10 * t)
        # a clock face: the button stays down
        b += '<circle cx="330" cy="158" r="18" fill="none" stroke="%s" stroke-width="4"/>' % AMBER
        b += '<path d="M330,158 V146 M330,158 L340,164" stroke="%s" stroke-width="4" stroke-linecap="round"/>' % AMBER
    elif i == 3:  # weapons: a tap on the icon at the top right turns the wheel
        scr, k = screen(sx, sy, sw, defs, lit=("weapon",))
        b += scr
        wx, wy = at(SCREEN_W - 32, 72)
        b += glow(wx, wy, 20) + touch_rings(wx, wy, 6, 1) + finger(wx, wy + 2, -20, 0.75)
        # the wheel as the game lays it out, enlarged: the plate and its
        # mirrored copy, three weapons on the ellipse around its centre,
        # the next one coming to the front
        s, ox, oy = 1.3, 400, 50
        d, r = embed(weap_bg(), ox - s * (WEAP_BG_W - 8), oy - s * WEAP_BG_H / 2.0, s)
        defs.append(d)
        b += r + '<g transform="translate(%g,0) scale(-1,1)">%s</g>' % (2 * ox, r)
        rx, ry = s * (WEAP_BG_W - 16), s * (WEAP_BG_H - 8)
        side = math.sin(math.radians(120))
        b += (weapon_glyph(0, ox - rx * side, oy - ry / 2, 0.9) + weapon_glyph(3, ox + rx * side, oy - ry / 2, 0.9)
              + weapon_glyph(2, ox, oy + ry, 1.4))
        b += curved_arrow(ox, oy, 70, 165, 115, AMBER)
        # the icon before and after the tap
        for n, (cx, wid) in enumerate(((340, 0), (460, 2))):
            d, r = embed(weap_circle(), cx - 28, 128, 56 / 64.0)
            defs.append(d)
            b += r + weapon_glyph(wid, cx, 156, 0.9)
        b += arrow(378, 156, 422, 156, AMBER, 4)
    elif i == 4:  # lock on: a tap on a target icon at the left edge marks that target
        scene = plane_side(720, 190, 0.9, "#3a3f46")
        scene += ''.join('<path d="M%d,%d v%d M%d,%d h%d" stroke="%s" stroke-width="8"/>'
                         % (720 + ax * 70, 190 + ay * 50, -ay * 26, 720 + ax * 70, 190 + ay * 50, -ax * 26, RED)
                         for ax in (-1, 1) for ay in (-1, 1))
        scr, k = screen(sx, sy, sw, defs, lit=("locks",), scene=scene)
        b += scr
        lx, ly = at(44, 210 + 90 + 44)
        b += glow(lx, ly, 16) + finger(lx + 2, ly + 2, -35, 0.7)
        # zoomed: three icons, the middle one tapped and locked; its target marked
        for n, (icon, locked) in enumerate(((0, False), (1, True), (2, False))):
            b += lock_icon_body(icon, locked, 300, 22 + 54 * n, 1.1)
        b += touch_rings(340, 116, 8, 2) + finger(340, 116, -35, 0.9)
        b += '<line x1="356" y1="100" x2="430" y2="100" stroke="%s" stroke-width="3" stroke-dasharray="8 6"/>' % RED
        b += plane_top(490, 100, 0.75, "#d7dde2", 4, 90)
        for ax in (-1, 1):
            for ay in (-1, 1):
                cx, cy = 490 + ax * 50, 100 + ay * 50
                b += '<path d="M%d,%d v%d M%d,%d h%d" stroke="%s" stroke-width="5"/>' % (cx, cy, -ay * 18, cx, cy, -ax * 18, RED)
    elif i == 5:  # radar: what is around the aircraft, seen from above, is on the radar
        scr, k = screen(sx, sy, sw, defs, lit=("radar",))
        b += scr
        rx, ry = at(96, 96)
        b += glow(rx, ry, 30)
        # the same four things around the player: from above, then on the radar
        things = ((0.55, -0.6, "plane"), (-0.5, -0.35, "plane"), (0.4, 0.5, "ship"), (-0.35, 0.55, "base"))
        b += '<rect x="290" y="30" width="120" height="140" rx="6" fill="#2b5373" stroke="#59636d" stroke-width="2"/>'
        b += '<path d="M290,120 Q330,100 350,170 L290,170 Z" fill="#4f6b3a"/>'
        b += plane_top(350, 100, 0.3, WHITE, 0)
        for tx, ty, kind in things:
            if kind == "plane":
                b += plane_top(350 + tx * 90, 100 + ty * 100, 0.25, "#ffc23d", 1, 200 if tx > 0 else 150)
            elif kind == "ship":
                b += motif("ships", 350 + tx * 90, 100 + ty * 100, 0.8)
            else:
                b += ('<rect x="%g" y="%g" width="26" height="16" fill="#8a949e" stroke="#5ab0ff" stroke-width="3"/>'
                      % (350 + tx * 90 - 13, 100 + ty * 100 - 8))
        b += arrow(420, 100, 446, 100, AMBER, 4)
        b += zoomed_radar(452, 44, 96, 0, defs)
        for tx, ty, kind in things:
            d, r = embed(radar_mark(kind), 500 + tx * 36 - 6, 92 + ty * 36 - 6, 1.0)
            defs.append(d)
            b += r
        b += ('<g fill="#ffffff"><rect x="499" y="89" width="2" height="6"/><rect x="496" y="91" width="8" height="2"/>'
              '<rect x="498" y="95" width="4" height="1"/></g>')
    else:  # pause: the icon at the bottom right stops the game under the pause menu
        scr, k = screen(sx, sy, sw, defs, lit=("pause",))
        b += scr
        px, py = at(SCREEN_W - 64, SCREEN_H - 64)
        b += glow(px, py, 22) + touch_rings(px, py, 7, 1) + finger(px, py, -25, 0.75)
        b += arrow(290, 100, 318, 100, AMBER, 4)
        scr, k = screen(338, 58, 196, defs, lit=(), dim=True)
        b += scr
        b += plate(396, 66, 80, 108, 4, "#1a2026")
        for n in range(5):
            b += '<rect x="%d" y="%d" width="%d" height="6" rx="2" fill="%s"/>' % (
                412 + (n % 2) * 6, 80 + 19 * n, 48 - (n % 2) * 12, WHITE)
    # the rim last: a hand reaching in from outside passes under it
    b += ('<path d="M0,0 H%d V%d H0 Z M10,0 a10,10 0 0 0 -10,10 V%d a10,10 0 0 0 10,10 H%d a10,10 0 0 0 10,-10 V10 '
          'a10,10 0 0 0 -10,-10 Z" fill="#14191d" fill-rule="evenodd"/>' % (w, h, h - 10, w - 10))
    b += '<rect x="3" y="3" width="%d" height="%d" rx="8" fill="none" stroke="#59636d" stroke-width="2"/>' % (w - 6, h - 6)
    return doc(w, h, b, "".join(dict.fromkeys(defs)))


def motif(kind, cx, cy, s):
    if kind == "intercept":
        return plane_top(cx, cy, 0.3 * s, WHITE, 1) + '<circle cx="%g" cy="%g" r="%g" fill="none" stroke="%s" stroke-width="%g"/>' % (
            cx, cy, 17 * s, RED, 2.5 * s)
    if kind == "strike":
        return (poly([(cx - 16 * s, cy + 12 * s), (cx - 16 * s, cy - 2 * s), (cx - 6 * s, cy - 8 * s), (cx + 4 * s, cy - 2 * s),
                      (cx + 4 * s, cy + 12 * s)], STEEL_L) +
                '<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>' % (cx + 6 * s, cy - 10 * s, 8 * s, 22 * s, STEEL_L) +
                star(cx + 4 * s, cy - 12 * s, 8 * s, "#ff9a2a", 8, 0.5))
    if kind == "ships":
        return (poly([(cx - 18 * s, cy + 2 * s), (cx + 18 * s, cy + 2 * s), (cx + 13 * s, cy + 10 * s), (cx - 14 * s, cy + 10 * s)], STEEL_L) +
                '<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>' % (cx - 6 * s, cy - 6 * s, 10 * s, 8 * s, STEEL_L) +
                '<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>' % (cx - 2 * s, cy - 13 * s, 3 * s, 8 * s, STEEL_L) +
                '<path d="M%g,%g q%g,%g %g,0 t%g,0" fill="none" stroke="#5ab0ff" stroke-width="%g"/>' % (
                    cx - 20 * s, cy + 15 * s, 5 * s, -4 * s, 10 * s, 10 * s, 2 * s))
    if kind == "uboat":
        return ('<ellipse cx="%g" cy="%g" rx="%g" ry="%g" fill="%s"/>' % (cx, cy + 4 * s, 19 * s, 4.5 * s, STEEL_L) +
                '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>' % (cx - 4 * s, cy - 6 * s, 8 * s, 9 * s, 2 * s, STEEL_L) +
                '<rect x="%g" y="%g" width="%g" height="%g" fill="#5ab0ff"/>' % (cx - 20 * s, cy + 7 * s, 40 * s, 2 * s))
    if kind == "bombers":
        return plane_top(cx, cy + 2 * s, 0.3 * s, "#e0d6c0", 4) + '<path d="M%g,%g l%g,%g M%g,%g l%g,%g" stroke="%s" stroke-width="%g"/>' % (
            cx - 15 * s, cy - 15 * s, 30 * s, 30 * s, cx + 15 * s, cy - 15 * s, -30 * s, 30 * s, RED, 3 * s)
    if kind == "flak":
        return (poly([(cx - 12 * s, cy + 12 * s), (cx + 12 * s, cy + 12 * s), (cx + 7 * s, cy + 3 * s), (cx - 7 * s, cy + 3 * s)], STEEL_L) +
                '<line x1="%g" y1="%g" x2="%g" y2="%g" stroke="%s" stroke-width="%g"/>' % (cx, cy + 4 * s, cx + 12 * s, cy - 12 * s, STEEL_L, 3.5 * s) +
                star(cx + 13 * s, cy - 14 * s, 6 * s, "#ff9a2a", 6, 0.5))
    return '<circle cx="%g" cy="%g" r="%g" fill="none" stroke="%s" stroke-width="%g"/>' % (cx, cy, 14 * s, WHITE, 3 * s)


FIRE = "#ff9a2a"
WATER = "#5ab0ff"


def waves(cx, y, s):
    return '<path d="M%g,%g q%g,%g %g,0 t%g,0 t%g,0 t%g,0" fill="none" stroke="%s" stroke-width="%g"/>' % (
        cx - 20 * s, y, 5 * s, -4 * s, 10 * s, 10 * s, 10 * s, 10 * s, WATER, 2 * s)


def truck_side(cx, cy, s, fill):
    """A lorry from the side, cab to the left, standing on y = cy + 9 s."""
    b = '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>' % (cx - 5 * s, cy - 9 * s, 21 * s, 14 * s, s, fill)
    b += poly([(cx - 17 * s, cy + 5 * s), (cx - 17 * s, cy - 2 * s), (cx - 13 * s, cy - 7 * s), (cx - 6 * s, cy - 7 * s),
               (cx - 6 * s, cy + 5 * s)], fill)
    b += poly([(cx - 15 * s, cy - 2 * s), (cx - 12.5 * s, cy - 5 * s), (cx - 8.5 * s, cy - 5 * s), (cx - 8.5 * s, cy - 2 * s)],
              "#1a2026")
    for x in (-11, 3, 11):
        b += '<circle cx="%g" cy="%g" r="%g" fill="#0c0f12"/><circle cx="%g" cy="%g" r="%g" fill="#8a949e"/>' % (
            cx + x * s, cy + 5.5 * s, 3.6 * s, cx + x * s, cy + 5.5 * s, 1.3 * s)
    return b


def freighter(cx, cy, s):
    """A cargo ship from the side, bow to the left, on the water line cy + 8 s."""
    b = poly([(cx - 21 * s, cy), (cx + 19 * s, cy), (cx + 17 * s, cy + 8 * s), (cx - 16 * s, cy + 8 * s)], STEEL_L)
    b += '<rect x="%g" y="%g" width="%g" height="%g" fill="#c8372d"/>' % (cx - 16 * s, cy + 5.5 * s, 33 * s, 2.5 * s)
    for x, w, h, col in ((-15, 7, 5, "#c98a2e"), (-7, 7, 7, "#4f7a9a"), (1, 6, 5, "#c98a2e")):
        b += '<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>' % (cx + x * s, cy - h * s, w * s, h * s, col)
    b += '<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>' % (cx + 9 * s, cy - 9 * s, 8 * s, 9 * s, WHITE)
    b += '<rect x="%g" y="%g" width="%g" height="%g" fill="#1a2026"/>' % (cx + 10 * s, cy - 7.5 * s, 6 * s, 2 * s)
    return b


def radar_station(cx, cy, s):
    """A block house with a dish on a mast, standing on y = cy + 12 s."""
    b = '<rect x="%g" y="%g" width="%g" height="%g" fill="%s"/>' % (cx - 16 * s, cy + 2 * s, 20 * s, 10 * s, STEEL_L)
    b += '<rect x="%g" y="%g" width="%g" height="%g" fill="#1a2026"/>' % (cx - 12 * s, cy + 6 * s, 4 * s, 6 * s)
    b += '<path d="M%g,%g L%g,%g M%g,%g L%g,%g" stroke="%s" stroke-width="%g"/>' % (
        cx - 6 * s, cy + 2 * s, cx - 2 * s, cy - 8 * s, cx + 2 * s, cy + 2 * s, cx - 2 * s, cy - 8 * s, STEEL_L, 2 * s)
    # the dish, tilted up to the sky, and its feed
    b += '<path d="M%g,%g A%g,%g 0 0 0 %g,%g Z" fill="%s" transform="rotate(-30 %g %g)"/>' % (
        cx - 13 * s, cy - 10 * s, 11 * s, 7 * s, cx + 9 * s, cy - 10 * s, WHITE, cx - 2 * s, cy - 8 * s)
    b += '<line x1="%g" y1="%g" x2="%g" y2="%g" stroke="%s" stroke-width="%g"/>' % (
        cx - 2 * s, cy - 9 * s, cx + 4 * s, cy - 19 * s, WHITE, 1.5 * s)
    return b


def covered(drawing, cx, cy):
    """A friendly fighter circling over what the player has to keep alive."""
    return (drawing + '<path d="M%g,%g A21,19 0 0 1 %g,%g" fill="none" stroke="%s" stroke-width="2" stroke-dasharray="4 3"/>'
            % (cx - 21, cy + 12, cx + 21, cy + 12, WATER) + plane_top(cx + 13, cy - 12, 0.17, WHITE, 0, 60))


# What a mission icon shows for each subject a mission can have (its lead
# objective's action and the kind of its targets; see missions/icons.py).
# A subject without a drawing here stops the build.
MISSION_ICONS = {
    "DESTROY fighter": lambda cx, cy: motif("intercept", cx, cy, 1.0),
    "DESTROY bomber": lambda cx, cy: motif("bombers", cx, cy, 1.0),
    "DESTROY flak": lambda cx, cy: motif("flak", cx, cy, 1.0),
    "DESTROY warship": lambda cx, cy: motif("ships", cx, cy, 1.0) + star(cx + 9, cy - 7, 7, FIRE, 7, 0.5),
    "DESTROY U-boat": lambda cx, cy: motif("uboat", cx, cy, 1.0) + star(cx - 11, cy + 1, 6, FIRE, 7, 0.5),
    "DESTROY truck": lambda cx, cy: (
        '<rect x="%g" y="%g" width="40" height="3" fill="#8a949e"/>' % (cx - 20, cy + 9) + truck_side(cx, cy, 1.0, OLIVE_L) +
        star(cx + 7, cy - 11, 7, FIRE, 7, 0.5)),
    "DESTROY factory": lambda cx, cy: motif("strike", cx, cy, 1.0),
    "DESTROY radar": lambda cx, cy: radar_station(cx + 2, cy, 1.0) + star(cx + 12, cy + 2, 7, FIRE, 7, 0.5),
    "DEFEND freighter": lambda cx, cy: covered(freighter(cx, cy + 6, 0.85) + waves(cx, cy + 15, 1.0), cx, cy),
    "DEFEND truck": lambda cx, cy: covered(
        '<rect x="%g" y="%g" width="40" height="3" fill="#8a949e"/>' % (cx - 20, cy + 14) + truck_side(cx, cy + 7, 0.8, OLIVE_L),
        cx, cy),
}


def mission_icon(colour, subject, number):
    """A level's icon; its document names the subject it shows."""
    if subject not in MISSION_ICONS:
        raise SystemExit("ui.py: no mission icon shows '%s'" % subject)
    b = '<rect width="56" height="56" rx="6" fill="#0c0f12"/><rect x="2" y="2" width="52" height="52" rx="5" fill="%s"/>' % colour
    b += '<rect x="2" y="2" width="52" height="26" rx="5" fill="#fff" opacity="0.12"/>'
    b += '<g data-shows="%s">%s</g>' % (subject, MISSION_ICONS[subject](28, 26))
    b += '<rect x="36" y="38" width="16" height="15" rx="3" fill="#0c0f12"/>' + text(44, 50, str(number), 12, AMBER)
    return doc(56, 56, b)


# ----------------------------------------------------------------------------------------------
# Profile screens: ranks, medals, buttons

def rank_insignia(n, size):
    s = size / 64.0
    b = '<g transform="scale(%g)">' % s
    b += '<path d="M8,4 H56 V44 L32,60 L8,44 Z" fill="#0c0f12"/><path d="M11,7 H53 V42 L32,56 L11,42 Z" fill="%s"/>' % NAVY
    chevron = lambda y: ('<path d="M16,%g L32,%g L48,%g" fill="none" stroke="#0c0f12" stroke-width="8"/>'
                         '<path d="M16,%g L32,%g L48,%g" fill="none" stroke="url(#gold)" stroke-width="5"/>' % (y, y + 10, y, y, y + 10, y))
    if n == 0:
        b += chevron(22)
    elif n == 1:
        b += chevron(16) + chevron(28)
    elif n == 2:
        b += chevron(12) + chevron(23) + chevron(34)
    elif n == 3:
        b += '<rect x="16" y="30" width="32" height="6" fill="url(#gold)"/>' + star(32, 20, 9, "url(#gold)")
    else:
        b += star(22, 24, 8, "url(#gold)") + star(42, 24, 8, "url(#gold)") + '<rect x="16" y="36" width="32" height="5" fill="url(#gold)"/>'
    return doc(size, size, b + '</g>')


MEDALS = [  # ribbon colours, medal metal, emblem
    (("#1d3f8a", "#f4f1e8", "#1d3f8a"), "bronze", "wing"),
    (("#8a1d1d", "#f4f1e8", "#8a1d1d"), "silver", "star"),
    (("#1d6a3a", "#ffc23d", "#1d6a3a"), "gold", "star"),
    (("#222222", "#ffc23d", "#222222"), "silver", "clock"),
    (("#6a1d8a", "#f4f1e8", "#6a1d8a"), "gold", "cross"),
    (("#f4f1e8", "#c8372d", "#f4f1e8"), "gold", "eagle"),
]


def medal_shape(m):
    ribbon, metal, emblem = MEDALS[m]
    b = ''
    for k, c in enumerate(ribbon):
        b += '<rect x="%g" y="2" width="%g" height="26" fill="%s"/>' % (12 + k * 8, 8, c)
    b += '<rect x="12" y="2" width="24" height="26" fill="none" stroke="#0c0f12" stroke-width="1.5"/>'
    b += '<path d="M12,28 L24,36 L36,28" fill="#0c0f12"/>'
    if m in (4, 5):
        b += poly([(24, 28), (44, 46), (24, 63), (4, 46)], "#0c0f12") + poly([(24, 31), (41, 46), (24, 60), (7, 46)], "url(#%s)" % metal)
    else:
        b += '<circle cx="24" cy="46" r="17" fill="#0c0f12"/><circle cx="24" cy="46" r="15" fill="url(#%s)"/>' % metal
        b += '<circle cx="24" cy="46" r="11" fill="none" stroke="#000" stroke-opacity="0.35" stroke-width="1.5"/>'
    if emblem == "star":
        b += star(24, 46, 8, "#fff8d8", extra='stroke="#5a3c08" stroke-width="0.8"')
    elif emblem == "wing":
        b += poly([(24, 42), (38, 40), (32, 46), (24, 48), (16, 46), (10, 40)], "#4a2a0a")
    elif emblem == "clock":
        b += '<circle cx="24" cy="46" r="7" fill="none" stroke="#222" stroke-width="2"/><path d="M24,46 V40 M24,46 H28" stroke="#222" stroke-width="2"/>'
    elif emblem == "cross":
        b += '<path d="M24,38 V54 M16,46 H32" stroke="#5a0a0a" stroke-width="4"/>'
    else:
        b += star(24, 46, 9, "#7a0a0a", 6, 0.5)
    return b


def medal(m, variant):
    body = medal_shape(m)
    if variant == "mask":
        body = '<g filter="url(#sil)">%s</g>' % body
    elif variant == "mask_out":
        body = '<g filter="url(#silout)">%s</g>' % body
    defs = ('<filter id="sil"><feFlood flood-color="#3a4048"/><feComposite in2="SourceAlpha" operator="in"/></filter>'
            '<filter id="silout"><feMorphology in="SourceAlpha" operator="dilate" radius="1.5" result="d"/>'
            '<feFlood flood-color="%s" result="a"/><feComposite in="a" in2="d" operator="in" result="o"/>'
            '<feFlood flood-color="#3a4048" result="c"/><feComposite in="c" in2="SourceAlpha" operator="in" result="f"/>'
            '<feMerge><feMergeNode in="o"/><feMergeNode in="f"/></feMerge></filter>' % AMBER)
    return doc(48, 64, '<g transform="translate(0,0)">%s</g>' % body, defs)


def rank_border():
    b = '<path d="M0,10 H50 Q62,10 62,22 V74 Q62,86 50,86 H0 Z" fill="#0c0f12"/>'
    b += '<path d="M0,14 H48 Q58,14 58,24 V72 Q58,82 48,82 H0 Z" fill="url(#darkmetal)"/>'
    b += '<path d="M0,20 H44 Q52,20 52,28 V68 Q52,76 44,76 H0 Z" fill="%s"/>' % NAVY
    b += '<path d="M0,14 H48 Q58,14 58,24" fill="none" stroke="url(#gold)" stroke-width="3"/>'
    b += '<path d="M58,72 Q58,82 48,82 H0" fill="none" stroke="url(#gold)" stroke-width="3"/>'
    for y in (30, 48, 66):
        b += rivet(55, y, 1.6)
    return doc(64, 96, b)


def profile_button(i):
    inner = {
        0: arrow_shape(32, 32, 1.3, True, "url(#amber)"),
        1: check_shape(33, 34, 1.35, AMBER),
        2: '<path d="M32,15 V49 M15,32 H49" stroke="%s" stroke-width="9" stroke-linecap="round"/>' % AMBER,
        3: cross_shape(32, 32, 1.3, "#ff6a52"),
        4: arrow_shape(32, 32, 1.3, False, "url(#amber)"),
    }[i]
    return round_icon(64, inner)


def pilot(cx, cy, s, fill):
    return ('<circle cx="%g" cy="%g" r="%g" fill="%s"/><path d="M%g,%g a%g,%g 0 0 1 %g,0 Z" fill="%s"/>'
            '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="#5ab0ff"/>'
            % (cx, cy - 4 * s, 6 * s, fill, cx - 12 * s, cy + 14 * s, 12 * s, 11 * s, 24 * s, fill,
               cx - 6 * s, cy - 6 * s, 12 * s, 3.5 * s, 1.5 * s))


# ----------------------------------------------------------------------------------------------
# Head-up display

def weapon_glyph(wid, cx, cy, s):
    """The picture of weapon record wid (ids 0..15)."""
    kinds = {0: "mg", 1: "hmg", 2: "bomb", 3: "rocket", 4: "homing", 5: "torpedo", 6: "bomb", 7: "heavybomb",
             8: "flak", 9: "cannon", 10: "cannon", 11: "mg", 12: "flak", 13: "rocket", 14: "torpedo", 15: "bomb"}
    k = kinds[wid]
    g = '<g transform="translate(%g,%g) scale(%g)">' % (cx, cy, s)
    if k in ("mg", "hmg", "cannon"):
        n = {"mg": 2, "hmg": 3, "cannon": 1}[k]
        wdt = {"mg": 5, "hmg": 6, "cannon": 9}[k]
        for i in range(n):
            x = (i - (n - 1) / 2.0) * (wdt + 4)
            g += ('<path d="M%g,-14 Q%g,-20 %g,-14 V10 H%g Z" fill="url(#gold)" stroke="#2a1a00" stroke-width="1"/>'
                  '<rect x="%g" y="10" width="%g" height="5" fill="#b88a30" stroke="#2a1a00" stroke-width="1"/>'
                  % (x - wdt / 2.0, x, x + wdt / 2.0, x - wdt / 2.0, x - wdt / 2.0, wdt))
    elif k in ("bomb", "heavybomb"):
        sc = 1.2 if k == "heavybomb" else 1.0
        g += ('<g transform="scale(%g)"><ellipse cx="0" cy="2" rx="7" ry="12" fill="#6b7a3a" stroke="#1a1f0a" stroke-width="1.2"/>'
              '<path d="M-6,-8 L-8,-17 L8,-17 L6,-8 Z" fill="#4d5526" stroke="#1a1f0a" stroke-width="1"/>'
              '<rect x="-7" y="3" width="14" height="3" fill="%s"/></g>' % (sc, AMBER))
        g = g.replace('cy="2"', 'cy="3"')
    elif k in ("rocket", "homing"):
        g += ('<g transform="rotate(45)"><rect x="-3.5" y="-12" width="7" height="22" fill="#d7dde2" stroke="#222" stroke-width="1"/>'
              '<path d="M-3.5,-12 Q0,-22 3.5,-12 Z" fill="%s" stroke="#222" stroke-width="1"/>'
              '<path d="M-3.5,5 L-8,12 L-3.5,10 Z M3.5,5 L8,12 L3.5,10 Z" fill="#8a949e" stroke="#222" stroke-width="1"/>'
              '<path d="M-2,11 L0,18 L2,11 Z" fill="#ff9a2a"/></g>' % (RED if k == "rocket" else "#5ab0ff"))
        if k == "homing":
            g += '<circle cx="10" cy="-10" r="5" fill="none" stroke="#5ab0ff" stroke-width="2"/>'
    elif k == "torpedo":
        g += ('<g transform="rotate(90)"><rect x="-3.5" y="-14" width="7" height="26" rx="3" fill="#9aa4ad" stroke="#222" stroke-width="1"/>'
              '<path d="M-6,12 H6 M0,12 V16" stroke="#222" stroke-width="2"/></g>'
              '<path d="M-16,8 q4,-3 8,0 t8,0 t8,0 t8,0" fill="none" stroke="#5ab0ff" stroke-width="2"/>')
    elif k == "flak":
        g += star(0, 0, 14, "#ff9a2a", 8, 0.45) + '<circle r="5" fill="#3a3230"/>'
    g += '</g>'
    return g


def lock_icon_body(icon, locked, x, y, s):
    edge = RED if locked else "#7fa08a"
    b = '<g transform="translate(%g,%g) scale(%g)">' % (x, y, s)
    b += '<rect x="1" y="1" width="42" height="42" rx="4" fill="#0c0f12" opacity="0.9"/>'
    b += '<rect x="3" y="3" width="38" height="38" rx="3" fill="%s" stroke="%s" stroke-width="2.5"/>' % (
        "#3a1410" if locked else "#18241c", edge)
    kinds = ["fighter", "bomber", "ship", "aa", "vehicle", "building", "uboat", "base"]
    k = kinds[icon]
    c = WHITE
    if k == "fighter":
        b += plane_top(22, 24, 0.28, c, 0)
    elif k == "bomber":
        b += plane_top(22, 24, 0.3, c, 4)
    elif k == "ship":
        b += motif("ships", 22, 22, 0.75)
    elif k == "aa":
        b += motif("flak", 22, 22, 0.8)
    elif k == "vehicle":
        b += ('<rect x="10" y="22" width="24" height="9" rx="2" fill="%s"/><rect x="15" y="16" width="12" height="7" fill="%s"/>'
              '<rect x="26" y="18" width="12" height="2.5" fill="%s"/><rect x="9" y="30" width="26" height="4" rx="2" fill="#8a949e"/>' % (c, c, c))
    elif k == "building":
        b += ('<rect x="10" y="18" width="24" height="16" fill="%s"/><path d="M8,19 L22,10 L36,19 Z" fill="%s"/>'
              '<rect x="19" y="25" width="6" height="9" fill="#18241c"/>' % (c, c))
    elif k == "uboat":
        b += motif("uboat", 22, 22, 0.75)
    else:
        b += '<path d="M22,8 V36" stroke="%s" stroke-width="2"/><path d="M22,9 L36,14 L22,19 Z" fill="%s"/>' % (c, RED)
    if locked:
        for cx, cy, dx, dy in ((6, 6, 1, 1), (38, 6, -1, 1), (6, 38, 1, -1), (38, 38, -1, -1)):
            b += '<path d="M%g,%g v%g M%g,%g h%g" stroke="%s" stroke-width="3"/>' % (cx, cy, 7 * dy, cx, cy, 7 * dx, AMBER)
    return b + '</g>'


def throttle_layer(k):
    """Layer k (1..10) of the throttle gauge: segment k of a 10-step arc."""
    b = ''
    if k == 10:  # the largest layer carries the faint scale so the canvas keeps its size
        pass
    a0 = 200 + (k - 1) * 14
    a1 = a0 + 11
    r0, r1 = 30, 44
    cx, cy = 50, 50
    pts = []
    for a in (a0, a1):
        pts.append((cx + r1 * math.cos(math.radians(a)), cy + r1 * math.sin(math.radians(a))))
    for a in (a1, a0):
        pts.append((cx + r0 * math.cos(math.radians(a)), cy + r0 * math.sin(math.radians(a))))
    col = GREEN if k <= 6 else (AMBER if k <= 8 else "#ff5a3a")
    b += poly(pts, col, 'stroke="#0c0f12" stroke-width="1.5"')
    # a transparent but full-size canvas: every layer is 100 x 100
    return doc(100, 100, b)


def energy_bar():
    defs = ('<linearGradient id="eb" x1="0" x2="1"><stop offset="0" stop-color="#d23a2c"/>'
            '<stop offset="0.35" stop-color="#ffc23d"/><stop offset="1" stop-color="#4cbf46"/></linearGradient>')
    b = '<rect width="80" height="8" fill="#0c0f12"/><rect x="1" y="1" width="78" height="6" fill="url(#eb)"/>'
    b += '<rect x="1" y="1" width="78" height="2" fill="#fff" opacity="0.35"/>'
    return doc(80, 8, b, defs)


def radar(bg):
    if bg:
        defs = ('<radialGradient id="rg"><stop offset="0" stop-color="#1c4a28"/><stop offset="1" stop-color="#07170c"/>'
                '</radialGradient>')
        b = '<circle cx="44" cy="44" r="43" fill="url(#rg)"/>'
        b += '<circle cx="44" cy="44" r="20" fill="none" stroke="#3c8a4a" stroke-width="1"/>'
        return doc(88, 88, b, defs)
    b = '<circle cx="44" cy="44" r="41.5" fill="none" stroke="#0c0f12" stroke-width="5"/>'
    b += '<circle cx="44" cy="44" r="41.5" fill="none" stroke="#9aa4ad" stroke-width="2.5"/>'
    for k in range(12):
        a = math.radians(k * 30)
        r0 = 33 if k % 3 == 0 else 36
        b += '<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="#7fd08a" stroke-width="1.5"/>' % (
            44 + r0 * math.sin(a), 44 - r0 * math.cos(a), 44 + 39 * math.sin(a), 44 - 39 * math.cos(a))
    b += poly([(44, 38), (48, 48), (40, 48)], WHITE)
    return doc(88, 88, b)


def weap_circle():
    b = '<circle cx="32" cy="32" r="30" fill="#0c0f12" opacity="0.85"/>'
    b += '<circle cx="32" cy="32" r="28" fill="none" stroke="#9aa4ad" stroke-width="3"/>'
    b += '<circle cx="32" cy="32" r="24" fill="none" stroke="%s" stroke-width="1.5"/>' % AMBER
    return doc(64, 64, b)


# The weapon wheel's plate. The game draws the picture twice, as it is
# centred at (w/2 - r/2, h/4 - 35) and mirrored centred at (w/2 + r/2,
# h/4 - 35), r = its width - 16, and carries the weapon icons around that
# point on an ellipse of radii r and its height - 8, the current weapon at
# the front below it. So the picture is the left half of an oval turntable
# whose centre lies 8 columns in from its right edge; those 8 columns are
# empty, the mirrored copy's half beginning there. Its height keeps the
# front icon above the console's lines at 480 x 320 (see the archive test).
WEAP_BG_W, WEAP_BG_H = 96, 34


def weap_bg():
    w, h = WEAP_BG_W, WEAP_BG_H
    cx, cy = w - 8, h / 2.0
    oval = lambda rx, ry, fill, extra="": '<ellipse cx="%g" cy="%g" rx="%g" ry="%g" fill="%s" %s/>' % (
        cx, cy, rx, ry, fill, extra)
    defs = '<clipPath id="wbhalf"><rect width="%d" height="%d"/></clipPath>' % (cx, h)
    b = '<g clip-path="url(#wbhalf)">'
    b += oval(cx - 0.5, cy - 0.5, "#0c0f12")
    b += oval(cx - 2, cy - 2, "url(#darkmetal)")
    # the track the icons ride on, lit along its far edge
    b += oval(cx - 7, cy - 5, "#2a323a")
    b += oval(cx - 8, cy - 6, "none", 'stroke="#8a949e" stroke-width="1" stroke-dasharray="6 4"')
    b += oval(cx - 14, cy - 8, "#1a2026")
    # the hub
    b += oval(12, 5, "#0c0f12") + oval(10, 3.6, "#6a747e") + oval(5, 1.6, "#aab3bb")
    b += '</g>'
    return doc(w, h, b, defs)


def fire_button():
    defs = ('<radialGradient id="fb" cx="0.4" cy="0.35"><stop offset="0" stop-color="#ffb0a0"/>'
            '<stop offset="0.5" stop-color="#ff3b26"/><stop offset="1" stop-color="#8a120a"/></radialGradient>')
    b = '<circle cx="48" cy="48" r="47" fill="#f4f1e8"/><circle cx="48" cy="48" r="43" fill="url(#fb)"/>'
    b += '<circle cx="48" cy="48" r="18" fill="none" stroke="#fff" stroke-width="4"/>'
    b += '<path d="M48,16 V36 M48,60 V80 M16,48 H36 M60,48 H80" stroke="#fff" stroke-width="4" stroke-linecap="round"/>'
    return doc(96, 96, b, defs)


def wrench_icon():
    b = '<circle cx="20" cy="20" r="19" fill="#0c0f12"/><circle cx="20" cy="20" r="17" fill="#2d6a34"/>'
    b += ('<g transform="rotate(45 20 20)"><rect x="17" y="12" width="6" height="20" rx="2" fill="#f4f1e8"/>'
          '<path d="M12,12 a8,8 0 1 1 16,0 l-4,0 l0,-4 l-8,0 l0,4 Z" fill="#f4f1e8"/></g>')
    return doc(40, 40, b)


def rearm_icon():
    b = '<circle cx="20" cy="20" r="19" fill="#0c0f12"/><circle cx="20" cy="20" r="17" fill="#8a5a10"/>'
    for x in (12, 20, 28):
        b += ('<path d="M%g,10 q3,-5 6,0 v16 h-6 Z" fill="url(#gold)" stroke="#2a1a00" stroke-width="0.8"/>'
              '<rect x="%g" y="26" width="6" height="4" fill="#b88a30"/>' % (x - 3, x - 3))
    return doc(40, 40, b)


# The frame's border lies in the outer 3 pixels of each edge and corner piece:
# a dark outline, then a 2-pixel metal strip, lit from above. Everything inward
# of it is the centre's fill, so text laid out 4 pixels inside the frame stays
# off the border.
FRAME_FILL = "#1a2026"
FRAME_OUTLINE = "#0c0f12"
FRAME_STRIP = {"top": ("#c9d0d6", "#7d8893"), "left": ("#aab3bb", "#6a747e"),
               "right": ("#7d8893", "#4a535c"), "bottom": ("#6a747e", "#3a4148")}
FRAME_BAND = 3


def frame_piece(part):
    """One 16 x 16 piece: "center", an edge ("top"...) or a corner ("left_top"...)."""
    sides = [] if part == "center" else part.split("_")
    px = lambda x, y, colour: '<rect x="%d" y="%d" width="1" height="1" fill="%s"/>' % (x, y, colour)
    b = '<rect width="16" height="16" fill="%s"/>' % FRAME_FILL
    for y in range(16):
        for x in range(16):
            # how deep the pixel lies in each side's band; the nearest side
            # (top and left first where two meet on the mitre) gives its colour
            depth = {"left": x, "right": 15 - x, "top": y, "bottom": 15 - y}
            near = sorted((depth[s], ("top", "left", "right", "bottom").index(s), s) for s in sides)
            if not near or near[0][0] >= FRAME_BAND:
                continue
            d, _, side = near[0]
            b += px(x, y, FRAME_OUTLINE if d == 0 else FRAME_STRIP[side][d - 1])
    if len(sides) == 2:
        # a stud where the strips cross: a lit head and its shadow
        cx = 1 if "left" in sides else 13
        cy = 1 if "top" in sides else 13
        b += px(cx, cy, "#e4e9ed") + px(cx + 1, cy, "#9aa4ad") + px(cx, cy + 1, "#9aa4ad")
        b += px(cx + 1, cy + 1, "#2a3036")
    return doc(16, 16, b)


def letterhead():
    defs = turbulence("lp", "0.05", 3, 4, tint_matrix(0.93, 0.87, 0.70, 0.2, 0.85))
    b = '<rect width="600" height="80" fill="%s"/><rect width="600" height="80" filter="url(#lp)"/>' % PAPER
    b += '<rect x="4" y="4" width="592" height="72" fill="none" stroke="%s" stroke-width="2"/>' % PAPER_D
    # the game prints the heading in the middle, in the player's language
    b += star(44, 40, 24, NAVY)
    b += '<rect x="100" y="66" width="400" height="1.5" fill="#5a4a30" opacity="0.7"/>'
    b += ('<g transform="rotate(-12 548 40)" opacity="0.8"><circle cx="548" cy="40" r="24" fill="none" stroke="%s" '
          'stroke-width="3"/><circle cx="548" cy="40" r="18" fill="none" stroke="%s" stroke-width="1.5"/>%s</g>'
          % (RED, RED, star(548, 40, 12, RED)))
    return doc(600, 80, b, defs)


def horizon(fill):
    if fill:
        b = '<clipPath id="hc"><circle cx="64" cy="64" r="56"/></clipPath><g clip-path="url(#hc)">'
        b += '<rect width="128" height="64" fill="#3f7fc0"/><rect y="64" width="128" height="64" fill="#7a5a30"/>'
        b += '<rect y="62" width="128" height="4" fill="#fff"/>'
        for y in (40, 52, 76, 88):
            b += '<rect x="52" y="%d" width="24" height="2" fill="#fff"/>' % y
        b += '</g>'
        return doc(128, 128, b)
    b = '<circle cx="64" cy="64" r="62" fill="#0c0f12"/><circle cx="64" cy="64" r="60" fill="url(#darkmetal)"/>'
    b += '<circle cx="64" cy="64" r="56" fill="#000"/>'
    b += '<mask id="hm"><rect width="128" height="128" fill="#fff"/><circle cx="64" cy="64" r="54" fill="#000"/></mask>'
    b = '<g mask="url(#hm)">%s</g>' % b
    b += '<path d="M30,64 H52 L58,70 L64,64 L70,70 L76,64 H98" fill="none" stroke="%s" stroke-width="4"/>' % AMBER
    return doc(128, 128, b)


def spinner():
    b = ''
    for f in range(8):
        cx = f * 32 + 16
        b += '<g transform="rotate(%d %d 16)">' % (f * 45, cx)
        b += '<circle cx="%d" cy="16" r="3" fill="%s"/>' % (cx, AMBER)
        for k in range(3):
            b += '<ellipse cx="%d" cy="9" rx="2.6" ry="6.5" fill="%s" transform="rotate(%d %d 16)"/>' % (cx, WHITE, k * 120, cx)
        b += '</g>'
    return doc(256, 32, b)


def light(col):
    return doc(32, 32, '<circle cx="16" cy="16" r="14" fill="#0c0f12"/><circle cx="16" cy="16" r="12" fill="%s"/>'
               '<circle cx="13" cy="12" r="4" fill="#fff" opacity="0.55"/>' % col)


def net_icon(internet):
    b = '<rect x="2" y="2" width="36" height="36" rx="6" fill="#14191d" stroke="#8a949e" stroke-width="2"/>'
    if internet:
        b += ('<circle cx="20" cy="20" r="12" fill="none" stroke="#5ab0ff" stroke-width="2.5"/>'
              '<ellipse cx="20" cy="20" rx="5" ry="12" fill="none" stroke="#5ab0ff" stroke-width="2"/>'
              '<path d="M8,20 H32 M10,14 H30 M10,26 H30" stroke="#5ab0ff" stroke-width="1.6"/>')
    else:
        b += ('<rect x="8" y="8" width="10" height="8" fill="#5ab0ff"/><rect x="22" y="8" width="10" height="8" fill="#5ab0ff"/>'
              '<rect x="15" y="26" width="10" height="8" fill="#5ab0ff"/>'
              '<path d="M13,16 V21 H27 V16 M20,21 V26" fill="none" stroke="#f4f1e8" stroke-width="2"/>')
    return doc(40, 40, b)


def plane_icon(k):
    b = '<rect x="1" y="1" width="38" height="30" rx="4" fill="#14191d" stroke="#59636d" stroke-width="1.5"/>'
    b += plane_top(20, 16, 0.25, [AMBER, "#a8d8ff", "#f4f1e8", "#a6f59a", "#ffb0a0"][k], k)
    b += text(34, 28, str(k + 1), 8, "#9aa4ad", family=MONO)
    return doc(40, 32, b)


def radar_mark(kind):
    if kind == "base":
        b = '<rect x="1" y="1" width="10" height="10" fill="none" stroke="#5ab0ff" stroke-width="2"/>'
    elif kind == "target":
        b = poly([(6, 0.5), (11.5, 6), (6, 11.5), (0.5, 6)], "#ff5a3a") + '<circle cx="6" cy="6" r="2" fill="#0c0f12"/>'
    elif kind == "ship":
        b = poly([(0.5, 5), (11.5, 5), (9.5, 9), (2.5, 9)], "#f4f1e8") + '<rect x="5" y="2" width="3" height="3" fill="#f4f1e8"/>'
    else:
        b = plane_top(6, 6, 0.11, "#ffc23d", 0)
    return doc(12, 12, b)


# ----------------------------------------------------------------------------------------------
# Shared effect textures (power of two; v = 0 is the bottom row)

def explosion_atlas():
    """2 x 2 cells on black (drawn additive): fireballs in the top row, a
    soft glow bottom left and the shock ring bottom right."""
    b = '<rect width="128" height="128" fill="#000"/>'
    defs = ('<radialGradient id="exg"><stop offset="0" stop-color="#ffd080"/><stop offset="0.5" stop-color="#a04010"/>'
            '<stop offset="1" stop-color="#000"/></radialGradient>'
            '<radialGradient id="exr"><stop offset="0.6" stop-color="#000"/><stop offset="0.78" stop-color="#ffe0a0"/>'
            '<stop offset="0.86" stop-color="#a05020"/><stop offset="1" stop-color="#000"/></radialGradient>')
    for c in range(2):
        x, y = c * 64 + 32, 32
        defs += ('<radialGradient id="ex%d"><stop offset="0" stop-color="%s"/><stop offset="0.45" stop-color="%s"/>'
                 '<stop offset="1" stop-color="#000"/></radialGradient>'
                 % (c, ["#ffffff", "#fff0b0"][c], ["#ffb040", "#ff7020"][c]))
        rnd = random.Random(70 + c)
        b += '<circle cx="%d" cy="%d" r="30" fill="url(#ex%d)"/>' % (x, y, c)
        for i in range(6):
            a = rnd.uniform(0, 2 * math.pi)
            d = rnd.uniform(6, 14)
            b += '<circle cx="%.1f" cy="%.1f" r="%.1f" fill="url(#ex%d)" opacity="0.7"/>' % (
                x + d * math.cos(a), y + d * math.sin(a), rnd.uniform(8, 14), c)
    b += '<circle cx="32" cy="96" r="31" fill="url(#exg)"/><circle cx="96" cy="96" r="31" fill="url(#exr)"/>'
    return doc(128, 128, b, defs)


def indicators():
    b = ''
    for k in range(16):
        cx, cy = (k % 4) * 32 + 16, (k // 4) * 32 + 16
        if k == 0:  # crosshair
            b += '<circle cx="%d" cy="%d" r="9" fill="none" stroke="#0c0f12" stroke-width="4"/>' % (cx, cy)
            b += '<circle cx="%d" cy="%d" r="9" fill="none" stroke="%s" stroke-width="2"/>' % (cx, cy, GREEN)
            b += '<path d="M%d,%d h6 M%d,%d h-6 M%d,%d v6 M%d,%d v-6" stroke="%s" stroke-width="2"/>' % (
                cx - 15, cy, cx + 15, cy, cx, cy - 15, cx, cy + 15, GREEN)
        elif k <= 12:
            col = [RED, AMBER, "#5ab0ff", GREEN][(k - 1) % 4]
            style = (k - 1) // 4
            if style == 0:  # corner brackets
                for dx, dy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
                    b += '<path d="M%d,%d v%d M%d,%d h%d" stroke="%s" stroke-width="3"/>' % (
                        cx + dx * 13, cy + dy * 13, -dy * 7, cx + dx * 13, cy + dy * 13, -dx * 7, col)
            elif style == 1:  # diamond
                b += poly([(cx, cy - 13), (cx + 13, cy), (cx, cy + 13), (cx - 13, cy)], "none",
                          'stroke="%s" stroke-width="3"' % col)
            else:  # arrow down onto the target
                b += poly([(cx - 9, cy - 12), (cx + 9, cy - 12), (cx, cy + 2)], col)
                b += '<circle cx="%d" cy="%d" r="4" fill="none" stroke="%s" stroke-width="2"/>' % (cx, cy + 9, col)
    return doc(128, 128, b)


def indicator_round():
    # a quarter ring centred on the bottom-right corner, on black
    b = '<rect width="64" height="64" fill="#000"/>'
    b += '<circle cx="64" cy="64" r="52" fill="none" stroke="#6a5a10" stroke-width="10"/>'
    b += '<circle cx="64" cy="64" r="52" fill="none" stroke="#ffd040" stroke-width="5"/>'
    b += '<circle cx="64" cy="64" r="36" fill="none" stroke="#806010" stroke-width="2"/>'
    return doc(64, 64, b)


def soft_disc(inner, outer, alpha=1.0, seed=0, cells=1):
    """A soft puff fading to nothing at its rim; with cells 2, four of them
    in a 2 x 2 sheet, each clear of its cell's edges (the explosion's ring,
    glow and bursts draw the smoke picture a quarter at a time)."""
    defs = ('<radialGradient id="sd"><stop offset="0" stop-color="%s" stop-opacity="%g"/>'
            '<stop offset="0.55" stop-color="%s" stop-opacity="%g"/><stop offset="1" stop-color="%s" stop-opacity="0"/>'
            '</radialGradient>' % (inner, alpha, outer, alpha * 0.55, outer))
    defs += turbulence("sn", "0.12", 3, seed, [0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -0.9, 1.2])
    step = 64 // cells
    b = ''.join('<circle cx="%d" cy="%d" r="%d" fill="url(#sd)"/>' % (step * i + step // 2, step * j + step // 2, step // 2 - 1)
                for j in range(cells) for i in range(cells))
    return doc(64, 64, '<mask id="nm"><rect width="64" height="64" filter="url(#sn)"/></mask>'
               '<g mask="url(#nm)">%s</g>' % b, defs)


def shot_strip():
    b = '<rect width="64" height="16" fill="#000"/>'
    defs = ''
    for k, (c0, c1) in enumerate((("#fffbe0", "#ffc23d"), ("#fff0d0", "#ff7a20"), ("#ffe0e0", "#ff3020"),
                                  ("#f0f8ff", "#60b0ff"))):
        defs += ('<radialGradient id="sh%d" cx="0.5" cy="0.5" r="0.5"><stop offset="0" stop-color="%s"/>'
                 '<stop offset="0.5" stop-color="%s"/><stop offset="1" stop-color="#000"/></radialGradient>' % (k, c0, c1))
        b += '<ellipse cx="%d" cy="8" rx="3.2" ry="7.5" fill="url(#sh%d)"/>' % (k * 16 + 8, k)
    return doc(64, 16, b, defs)


def flares():
    b = '<rect width="64" height="32" fill="#000"/><circle cx="16" cy="16" r="15" fill="url(#glow)" opacity="0.9"/>'
    b += '<circle cx="48" cy="16" r="12" fill="none" stroke="#8090a0" stroke-width="2.5" opacity="0.8"/>'
    b += '<circle cx="48" cy="16" r="5" fill="#605040"/>'
    return doc(64, 32, b)


# ----------------------------------------------------------------------------------------------

def images():
    out = []
    add = lambda name, w, h, mode, s: out.append((name, w, h, mode, s))
    # shared interface images
    add(G + "soft_label_ok.png", 96, 48, "key", soft_key(check_shape(49, 25, 0.8, AMBER)))
    add(G + "soft_label_back.png", 96, 48, "key", soft_key())
    add(G + "soft_label_ingame.png", 64, 64, "key", pause_icon())
    add(G + "soft_label_pause.png", 64, 64, "key", round_icon(64, '<rect x="22" y="19" width="7" height="26" fill="%s"/>'
                                                                '<rect x="35" y="19" width="7" height="26" fill="%s"/>' % (WHITE, WHITE)))
    add(G + "soft_label_play.png", 64, 64, "key", round_icon(64, poly([(25, 18), (47, 32), (25, 46)], WHITE)))
    add(G + "soft_label_back_paper.png", 44, 44, "key",
        doc(44, 44, '<rect x="1" y="1" width="42" height="42" rx="5" fill="#3a2f1c"/><rect x="3" y="3" width="38" height="38" rx="4" fill="%s"/>'
            % PAPER + arrow_shape(22, 22, 1.0, True, "#7a1a14")))
    # the bar is repeated along a row: its brushing runs on from copy to copy
    brush = noise.picture(128, 44, "0.008 0.6", 2, 6, tint_matrix(0.7, 0.74, 0.78, 0.35, 0.7), False, 'opacity="0.35"')
    add(G + "metal_bar.png", 128, 44, "rgb", doc(128, 44, '<rect width="128" height="44" fill="url(#darkmetal)"/>' + brush +
        '<rect width="128" height="2" fill="#aab3bb"/>'
        '<rect y="42" width="128" height="2" fill="#0c0f12"/>' + rivet(64, 8, 1.8) + rivet(64, 36, 1.8)))
    add(G + "warroom.png", 1024, 600, "rgb5", warroom())
    lock = lambda s: doc(s, s, '<g transform="scale(%g)"><path d="M14,22 V15 a10,10 0 0 1 20,0 V22" fill="none" stroke="#0c0f12" stroke-width="8"/>'
                         '<path d="M14,22 V15 a10,10 0 0 1 20,0 V22" fill="none" stroke="#b9c2cb" stroke-width="4.5"/>'
                         '<rect x="8" y="21" width="32" height="24" rx="4" fill="#0c0f12"/><rect x="10" y="23" width="28" height="20" rx="3" fill="url(#gold)"/>'
                         '<circle cx="24" cy="31" r="3.5" fill="#2a1a00"/><rect x="22.5" y="32" width="3" height="7" fill="#2a1a00"/></g>' % (s / 48.0))
    add(G + "lock.png", 48, 48, "key", lock(48))
    add(G + "lock_mini.png", 24, 24, "key", lock(24))
    # intro and end
    add(G + "norva.png", 512, 256, "rgb", maker_picture())
    add(G + "titlebackground.png", 1024, 600, "rgb", title_background())
    add(G + "endscreen.png", 1024, 600, "rgb", end_screen())
    # main menu
    add(G + "bombbay.png", 1024, 600, "key", bomb_bay())
    add(G + "hatch_door.png", DOOR_W, DOOR_H, "key", hatch_door())
    add(G + "texture.png", 256, 256, "rgb", bomb_skin())
    add(G + "earth.png", EARTH_W, 256, "rgb", earth())
    for i in range(3):
        add(G + "clouds0%d.png" % (i + 1), 64, 32, "key", cloud(i + 1))
    add(G + "explosion1.png", 640, 64, "key", explosion_strip())
    add(G + "selector.png", SELECTOR_W, 50, "key", selector())
    add(G + "vornlogo.png", 256, 64, "key", engine_logo())
    for part, fill in (("side", "empty"), ("side", "fill"), ("", "empty"), ("", "fill")):
        name = "bar_%s%s" % (fill, "_side" if part else "")
        add(G + name + ".png", 8, 24, "key", value_bar(part, fill))
        add(G + name + "_.png", 4, 16, "key", value_bar(part, fill, True, 4, 16))
    add(G + "bar_fillg_side_.png", 4, 16, "key", value_bar("side", "fillg", True, 4, 16))
    add(G + "bar_fillg_.png", 4, 16, "key", value_bar("", "fillg", True, 4, 16))
    for i in range(3):
        add(G + "campaign_%d.png" % (i + 1), 300, 200, "rgb", campaign_picture(i, False))
        add(G + "campaign_%d_gray.png" % (i + 1), 300, 200, "rgb", campaign_picture(i, True))
    for i in range(7):
        add(G + "help_%d.png" % i, 560, 200, "rgb", help_page(i))
    # a mission icon for every level the game shows one for, drawn for its mission (missions/catalogue.py)
    colours = {("SINGLEPLAYER", 0): "#2b5373", ("SINGLEPLAYER", 1): "#8a6a2a", ("SINGLEPLAYER", 2): "#5a6a7a",
               ("TIMEATTACK", 0): "#6a2a2a"}
    for path, mode, campaign, number, subject in catalogue.mission_icons():
        add(path, 56, 56, "rgb", mission_icon(colours[mode, campaign], subject, number + 1))
    # profile screens
    add(G + "icon_in_action.png", 32, 32, "key", doc(32, 32, star(16, 16, 15, "#0c0f12") + star(16, 16, 12, "url(#amber)")))
    add(G + "in_use.png", 32, 32, "key", doc(32, 32, '<circle cx="16" cy="16" r="15" fill="#0c0f12"/><circle cx="16" cy="16" r="13" fill="#2d6a34"/>'
                                              + check_shape(16, 17, 0.6, WHITE)))
    add(G + "typing_bg.png", 64, 44, "key", doc(64, 44, plate(1, 1, 62, 42, 7, "url(#darkmetal)")))
    add(G + "char_delete.png", 32, 24, "key", doc(32, 24, poly([(2, 12), (11, 2), (30, 2), (30, 22), (11, 22)], "#f4f1e8") +
                                                    cross_shape(20, 12, 0.45, "#1a2026")))
    add(G + "icon_profile_single.png", 40, 40, "key", round_icon(40, pilot(20, 20, 1.0, WHITE)))
    add(G + "icon_profile_multi.png", 40, 40, "key", round_icon(40, pilot(14, 21, 0.8, "#b9c2cb") + pilot(26, 21, 0.8, WHITE)))
    for n in range(5):
        add(G + "rank_%d.png" % n, 64, 64, "key", rank_insignia(n, 64))
        add(G + "rank_%d_.png" % n, 32, 32, "key", rank_insignia(n, 32))
    add(G + "rank_border.png", 64, 96, "key", rank_border())
    for m in range(6):
        add(G + "medal_%d.png" % m, 48, 64, "key", medal(m, ""))
        add(G + "medal_%d_mask.png" % m, 48, 64, "key", medal(m, "mask"))
        add(G + "medal_%d_mask_out.png" % m, 48, 64, "key", medal(m, "mask_out"))
    for i in range(5):
        add(G + "profile_icon_%d.png" % i, 64, 64, "key", profile_button(i))
    # head-up display
    add(G + "radar.png", 88, 88, "key", radar(False))
    add(G + "radar_bg.png", 88, 88, "key", radar(True))
    add(G + "energybar.png", 80, 8, "rgb", energy_bar())
    for k in range(1, 11):
        add(G + "throttle_%d.png" % k, 100, 100, "key", throttle_layer(k))
    add(G + "hud_weap_cir.png", 64, 64, "key", weap_circle())
    add(G + "weap_bg.png", WEAP_BG_W, WEAP_BG_H, "key", weap_bg())
    add(G + "fire_button.png", 96, 96, "key", fire_button())
    add(G + "repair_icon.png", 40, 40, "key", wrench_icon())
    add(G + "rearm_icon.png", 40, 40, "key", rearm_icon())
    add(G + "disconnect.png", 24, 16, "key", doc(24, 16, '<path d="M2,8 H8 M16,8 H22" stroke="#f4f1e8" stroke-width="3"/>'
                                                 '<rect x="7" y="3" width="4" height="10" fill="#ff5a3a"/><rect x="13" y="3" width="4" height="10" fill="#ff5a3a"/>'
                                                 '<path d="M11,2 L13,14" stroke="#ffc23d" stroke-width="1.5"/>'))
    add(G + "cam_icon.png", 32, 32, "key", doc(32, 32, '<rect x="2" y="9" width="28" height="18" rx="3" fill="#0c0f12"/>'
                                               '<rect x="4" y="11" width="24" height="14" rx="2" fill="#8a949e"/><rect x="10" y="6" width="10" height="5" fill="#0c0f12"/>'
                                               '<circle cx="16" cy="18" r="6" fill="#0c0f12"/><circle cx="16" cy="18" r="3.5" fill="#5ab0ff"/>'))
    for i in range(8):
        add(G + "sc_%da.png" % i, 44, 44, "key", doc(44, 44, lock_icon_body(i, False, 0, 0, 1.0)))
        add(G + "sc_%db.png" % i, 44, 44, "key", doc(44, 44, lock_icon_body(i, True, 0, 0, 1.0)))
    for w in range(16):
        add(G + "weap_icon_%d.png" % w, 48, 48, "key", doc(48, 48, weapon_glyph(w, 24, 24, 1.2)))
    for kind in ("base", "target", "ship", "plane"):
        add(G + "radar_%s.png" % kind, 12, 12, "key", radar_mark(kind))
    # in-game screens
    add(G + "flares_small.png", 64, 32, "rgb", flares())
    add(G + "horizon_frame.png", 128, 128, "key", horizon(False))
    add(G + "horizon_fill.png", 128, 128, "key", horizon(True))
    add(G + "letterhead.png", 600, 80, "rgb", letterhead())
    for part in ("center", "top", "bottom", "left", "right", "left_top", "right_top", "left_bottom", "right_bottom"):
        add(G + "frame_%s.png" % part, 16, 16, "rgb", frame_piece(part))
    # multiplayer
    add(G + "mp_local_net.png", 40, 40, "key", net_icon(False))
    add(G + "mp_internet.png", 40, 40, "key", net_icon(True))
    add(G + "loading.png", 256, 32, "key", spinner())
    add(G + "icon_occupation_ok.png", 32, 32, "key", light("#4cbf46"))
    add(G + "icon_occupation_busy.png", 32, 32, "key", light("#d23a2c"))
    for k in range(5):
        add(G + "icon_plane_%d.png" % k, 40, 32, "key", plane_icon(k))
    # shared effect textures
    add(T + "explosion.png", 128, 128, "rgb", explosion_atlas())
    add(T + "indicators.png", 128, 128, "key", indicators())
    add(T + "indicator_round.png", 64, 64, "rgb", indicator_round())
    add(T + "smoke.png", 64, 64, "soft", soft_disc("#e8e8e8", "#9a9a9a", 0.9, 3, cells=2))
    add(T + "smoke2.png", 64, 64, "soft", soft_disc("#ffffff", "#cfe6f5", 1.0, 5))
    add(T + "smoke3.png", 64, 64, "soft", soft_disc("#fff4c0", "#ff7a20", 1.0, 9))
    add(T + "shot1.png", 64, 16, "rgb", shot_strip())
    return out
