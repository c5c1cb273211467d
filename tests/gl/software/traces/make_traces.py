#!/usr/bin/env python3
# Writes the software rasterizer's comparison traces (docs/formats/gltrace.md)
# into this folder. Each scene is drawn at 256 x 256 by the software back end
# and by Mesa on an RGB565 surface with a 16-bit depth buffer, dithering off and
# nearest filtering; tests/gl/software/mesa_compare_test.cpp judges them.
# Deterministic: run it again to get the same files.
import math
import os
import random

# Projections are exact in 16.16 (sides of powers of two), so that the fixed-
# point matrices of the GL layer and Mesa's own agree.
W, H = 256, 256
HERE = os.path.dirname(os.path.abspath(__file__))


def fx(v):
    return int(round(v * 65536))


class Trace:
    def __init__(self, title):
        self.lines = ['# ' + l for l in title.strip().split('\n')]
        self.lines.append('')
        self.arrays = 0

    def add(self, *lines):
        self.lines.extend(lines)

    def array(self, typ, values, name=None):
        if name is None:
            name = 'a%d' % self.arrays
            self.arrays += 1
        vals = ' '.join(str(v) for v in values)
        self.lines.append('array %s %s %s' % (name, typ, vals))
        return name

    def header(self, clear=(0.1, 0.15, 0.2), ortho=True):
        self.add('glViewport 0 0 %d %d' % (W, H))
        self.add('glDisable GL_DITHER')
        self.add('glClearColorx %d %d %d 65536' % tuple(fx(c) for c in clear))
        self.add('glClearDepthx 65536')
        self.add('glClear 16640')
        self.add('glMatrixMode GL_PROJECTION')
        self.add('glLoadIdentity')
        if ortho:
            self.add('glOrthox 0 %d 0 %d -65536 65536' % (W * 65536, H * 65536))
        else:
            self.add('glFrustumx %d %d %d %d %d %d' % (fx(-0.5), fx(0.5), fx(-0.5), fx(0.5), fx(0.5), fx(64.5)))
        self.add('glMatrixMode GL_MODELVIEW')
        self.add('glLoadIdentity')
        self.add('glEnableClientState GL_VERTEX_ARRAY')

    def write(self, name):
        with open(os.path.join(HERE, name), 'w') as f:
            f.write('\n'.join(self.lines) + '\n')


def rgb565(r, g, b):
    # Green even: the software back end keeps the lowest green bit of a 565
    # texel as its transparency key.
    return (r >> 3) << 11 | ((g >> 2) & ~1) << 5 | b >> 3


def blocks_texture(rng, size=64, block=8, alpha=False, lo=0, hi=256):
    """Texels of size x size in blocks of block x block, as 565 (or 4444) words;
    channels drawn from lo..hi-1."""
    cols = {}
    out = []
    for y in range(size):
        for x in range(size):
            key = (x // block, y // block)
            if key not in cols:
                cols[key] = (rng.randrange(lo, hi), rng.randrange(lo, hi), rng.randrange(lo, hi), rng.randrange(16))
            r, g, b, a = cols[key]
            if alpha:
                out.append((r >> 4) << 12 | (g >> 4) << 8 | (b >> 4) << 4 | a)
            else:
                out.append(rgb565(r, g, b))
    return out


def texture(t, rng, name_index, fmt='565', size=64, lo=0, hi=256):
    if fmt == '565':
        data = t.array('ushort', blocks_texture(rng, size, lo=lo, hi=hi))
        upload = 'GL_RGB %d %d 0 GL_RGB GL_UNSIGNED_SHORT_5_6_5 @%s' % (size, size, data)
    t.add('glBindTexture GL_TEXTURE_2D names[%d]' % name_index,
          'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST',
          'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST', 'glTexImage2D GL_TEXTURE_2D 0 ' + upload)


def random_triangles(rng, count, margin=-20):
    pts = []
    for _ in range(count):
        cx, cy = rng.uniform(margin, W - margin), rng.uniform(margin, H - margin)
        r = rng.uniform(8, 70)
        a0 = rng.uniform(0, 2 * math.pi)
        for k in range(3):
            a = a0 + k * 2 * math.pi / 3 + rng.uniform(-0.6, 0.6)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def flat():
    rng = random.Random(1)
    t = Trace('Flat-shaded triangles at sub-pixel positions, each in the colour of its last\nvertex (colour array) or in the current colour.')
    t.header()
    pts = random_triangles(rng, 40)
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', [fx(c) for p in pts for c in p]))
    cols = []
    for _ in pts:
        cols += [rng.randrange(256), rng.randrange(256), rng.randrange(256), 255]
    t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', cols), 'glShadeModel GL_FLAT',
          'glEnableClientState GL_COLOR_ARRAY', 'glDrawArrays GL_TRIANGLES 0 60',
          'glDisableClientState GL_COLOR_ARRAY', 'glColor4x %d %d %d 65536' % (fx(0.9), fx(0.6), fx(0.2)),
          'glDrawArrays GL_TRIANGLES 60 60')
    t.write('flat.trace')


def gouraud():
    rng = random.Random(2)
    t = Trace('Smooth-shaded triangles with byte colours, and a strip with 16.16 colours.')
    t.header()
    pts = random_triangles(rng, 30)
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', [fx(c) for p in pts for c in p]))
    cols = []
    for _ in pts:
        cols += [rng.randrange(256), rng.randrange(256), rng.randrange(256), 255]
    t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', cols), 'glShadeModel GL_SMOOTH',
          'glEnableClientState GL_COLOR_ARRAY', 'glDrawArrays GL_TRIANGLES 0 90')
    strip = []
    scols = []
    for i in range(12):
        x = 10 + i * 21.3
        strip += [fx(x), fx(200.25 + (i % 2) * 30)]
        scols += [fx(i / 11.0), fx(1 - i / 11.0), fx(0.45), 65536]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', strip))
    t.add('glColorPointer 4 GL_FIXED 0 @' + t.array('fixed', scols), 'glDrawArrays GL_TRIANGLE_STRIP 0 12')
    t.write('gouraud.trace')


def textured_quads(t, rng, count, uvscale=1.0):
    pts, uvs = [], []
    for _ in range(count):
        cx, cy = rng.uniform(20, W - 20), rng.uniform(20, H - 20)
        s = rng.uniform(30, 90)
        a = rng.uniform(0, 2 * math.pi)
        u0, v0 = rng.uniform(0, 1), rng.uniform(0, 1)
        corners = [(-1, -1), (1, -1), (-1, 1), (1, -1), (1, 1), (-1, 1)]
        for (dx, dy) in corners:
            x = cx + s / 2 * (dx * math.cos(a) - dy * math.sin(a))
            y = cy + s / 2 * (dx * math.sin(a) + dy * math.cos(a))
            pts += [fx(x), fx(y)]
            if uvscale is None:  # whole repeats as short integers
                uvs += [(dx + 1) // 2, (dy + 1) // 2]
            else:
                uvs += [fx(u0 + (dx + 1) / 2 * uvscale), fx(v0 + (dy + 1) / 2 * uvscale)]
    return pts, uvs


def replace():
    rng = random.Random(3)
    t = Trace('565 textures of 8 x 8-texel blocks under REPLACE: rotated quads in 2D, then a\nfloor in perspective with the NICEST perspective hint.')
    t.header()
    names = t.array('uint', [0, 0], 'names')
    t.add('glGenTextures 2 @names')
    # Moderate contrast, as in a picture: a texel chosen one pixel off at a
    # block border costs little.
    texture(t, rng, 0, lo=64, hi=192)
    t.add('glEnable GL_TEXTURE_2D', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE',
          'glEnableClientState GL_TEXTURE_COORD_ARRAY')
    pts, uvs = textured_quads(t, rng, 8, None)
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', pts))
    t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', uvs),
          'glDrawArrays GL_TRIANGLES 0 %d' % (len(pts) // 2))
    # A floor in perspective in the lower half.
    t.add('glViewport 0 0 %d %d' % (W, H // 2), 'glMatrixMode GL_PROJECTION', 'glLoadIdentity',
          'glFrustumx %d %d %d %d %d %d' % (fx(-0.5), fx(0.5), fx(-0.25), fx(0.25), fx(0.5), fx(64.5)),
          'glMatrixMode GL_MODELVIEW', 'glLoadIdentity', 'glHint GL_PERSPECTIVE_CORRECTION_HINT GL_NICEST')
    texture(t, rng, 1, lo=64, hi=192)
    floor = [fx(-3), fx(-1), fx(-1), fx(3), fx(-1), fx(-1), fx(-3), fx(-1), fx(-12), fx(3), fx(-1), fx(-12)]
    fuv = [0, 0, 2, 0, 0, 3, 2, 3]
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', floor))
    t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', fuv), 'glDrawArrays GL_TRIANGLE_STRIP 0 4')
    t.write('replace565.trace')


def texfixed():
    rng = random.Random(10)
    t = Trace('565 textures with 16.16 texture coordinates (mapped onto texel centres,\n255/256 of a repeat), magnified four times: texel choice away from block\nborders.')
    t.header()
    names = t.array('uint', [0], 'names')
    t.add('glGenTextures 1 @names')
    texture(t, rng, 0)
    t.add('glEnable GL_TEXTURE_2D', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE',
          'glEnableClientState GL_TEXTURE_COORD_ARRAY')
    pts, uvs = [], []
    for (x0, y0, u0, v0) in [(4, 4, 0, 0), (132, 4, 0.25, 0.5), (4, 132, 0.5, 0.125), (132, 132, 0.75, 0.75)]:
        for (dx, dy) in [(0, 0), (1, 0), (0, 1), (1, 0), (1, 1), (0, 1)]:
            pts += [fx(x0 + dx * 120), fx(y0 + dy * 120)]
            uvs += [fx(u0 + dx * 0.46875), fx(v0 + dy * 0.46875)]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', pts))
    t.add('glTexCoordPointer 2 GL_FIXED 0 @' + t.array('fixed', uvs), 'glDrawArrays GL_TRIANGLES 0 24')
    t.write('texfixed.trace')


def bands(t):
    """Background: four colour bands, drawn with a colour array left enabled."""
    bg = []
    bcol = []
    for i, c in enumerate([(200, 40, 40), (40, 200, 40), (40, 40, 200), (230, 230, 230)]):
        y0, y1 = i * 64, i * 64 + 64
        for (x, y) in [(0, y0), (W, y0), (0, y1), (W, y0), (W, y1), (0, y1)]:
            bg += [fx(x), fx(y)]
            bcol += list(c) + [255]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', bg))
    t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', bcol), 'glEnableClientState GL_COLOR_ARRAY',
          'glDrawArrays GL_TRIANGLES 0 24')


def blend():
    rng = random.Random(4)
    t = Trace('Alpha blending SRC_ALPHA / ONE_MINUS_SRC_ALPHA, SRC_ALPHA / ONE and ONE / ONE\nof flat, smooth and textured (565, MODULATE with white) quads over a\ncoloured background.')
    t.header()
    bands(t)
    t.add('glEnable GL_BLEND')
    funcs = ['GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA', 'GL_SRC_ALPHA GL_ONE', 'GL_ONE GL_ONE']
    names = t.array('uint', [0], 'names')
    t.add('glGenTextures 1 @names')
    texture(t, rng, 0)
    for row, f in enumerate(funcs):
        t.add('glBlendFunc ' + f)
        for col, kind in enumerate(['flat', 'smooth', 'tex']):
            x0, y0 = 8 + col * 82, 12 + row * 80
            quad = []
            for (dx, dy) in [(0, 0), (72, 0), (0, 63.6), (72, 0), (72, 63.6), (0, 63.6)]:
                quad += [fx(x0 + dx + 0.3), fx(y0 + dy + 0.2)]
            t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', quad))
            if kind == 'flat':
                t.add('glShadeModel GL_FLAT', 'glDisableClientState GL_COLOR_ARRAY', 'glColor4ub 250 180 60 128')
            elif kind == 'smooth':
                t.add('glShadeModel GL_SMOOTH')
                cols = []
                for k in range(6):
                    cols += [rng.randrange(256), rng.randrange(256), rng.randrange(256), [64, 128, 192, 128, 192, 248][k]]
                t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', cols),
                      'glEnableClientState GL_COLOR_ARRAY')
            else:
                t.add('glShadeModel GL_FLAT', 'glDisableClientState GL_COLOR_ARRAY', 'glColor4ub 255 255 255 160')
                uv = [0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1]
                t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', uv),
                      'glEnableClientState GL_TEXTURE_COORD_ARRAY', 'glEnable GL_TEXTURE_2D',
                      'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_MODULATE')
            t.add('glDrawArrays GL_TRIANGLES 0 6')
            if kind == 'tex':
                t.add('glDisable GL_TEXTURE_2D', 'glDisableClientState GL_TEXTURE_COORD_ARRAY')
    t.write('blend.trace')


def cube_faces(size):
    s = size
    faces = [
        [(-s, -s, s), (s, -s, s), (-s, s, s), (s, s, s)],
        [(s, -s, -s), (-s, -s, -s), (s, s, -s), (-s, s, -s)],
        [(-s, -s, -s), (-s, -s, s), (-s, s, -s), (-s, s, s)],
        [(s, -s, s), (s, -s, -s), (s, s, s), (s, s, -s)],
        [(-s, s, s), (s, s, s), (-s, s, -s), (s, s, -s)],
        [(-s, -s, -s), (s, -s, -s), (-s, -s, s), (s, -s, s)],
    ]
    return faces


def depth():
    rng = random.Random(5)
    t = Trace('Depth test in perspective: interpenetrating flat, smooth and textured\nquads and a cube drawn back faces first.')
    t.header(ortho=False)
    t.add('glEnable GL_DEPTH_TEST', 'glHint GL_PERSPECTIVE_CORRECTION_HINT GL_NICEST')
    names = t.array('uint', [0], 'names')
    t.add('glGenTextures 1 @names')
    texture(t, rng, 0)
    quads = []
    for i in range(5):
        cx, cy, cz = rng.uniform(-0.5, 0.5), rng.uniform(-0.5, 0.5), rng.uniform(-3, -2)
        ax, ay = rng.uniform(-0.9, 0.9), rng.uniform(-0.9, 0.9)
        s = rng.uniform(0.4, 0.7)
        corners = []
        for (dx, dy) in [(-1, -1), (1, -1), (-1, 1), (1, -1), (1, 1), (-1, 1)]:
            x = dx * s
            y = dy * s
            z = x * ax + y * ay
            corners.append((cx + x, cy + y, cz + z))
        quads.append(corners)
    for i, q in enumerate(quads):
        t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', [fx(c) for p in q for c in p]))
        if i % 3 == 0:
            t.add('glShadeModel GL_FLAT')
            t.add('glColor4ub %d %d %d 255' % (rng.randrange(256), rng.randrange(256), rng.randrange(256)))
        elif i % 3 == 1:
            # Smooth shading of one colour: screen-space colour interpolation
            # and GL's perspective-correct one agree.
            t.add('glShadeModel GL_SMOOTH')
            t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', [150, 90, 40, 255] * 6),
                  'glEnableClientState GL_COLOR_ARRAY')
        else:
            t.add('glEnable GL_TEXTURE_2D', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE')
            uv = [0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1]
            t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', uv),
                  'glEnableClientState GL_TEXTURE_COORD_ARRAY')
        t.add('glDrawArrays GL_TRIANGLES 0 6', 'glDisableClientState GL_COLOR_ARRAY',
              'glDisableClientState GL_TEXTURE_COORD_ARRAY', 'glDisable GL_TEXTURE_2D')
    # A cube, rotated, faces in an order that needs the depth test.
    t.add('glShadeModel GL_FLAT', 'glTranslatex %d %d %d' % (fx(0.2), fx(0.1), fx(-2.5)),
          'glRotatex %d %d %d 0' % (fx(30), fx(1), fx(1)))
    for i, f in enumerate(reversed(cube_faces(0.5))):
        t.add('glColor4ub %d %d %d 255' % (60 + 30 * i, 200 - 25 * i, 90 + 20 * i))
        t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', [fx(c) for p in f for c in p]),
              'glDrawArrays GL_TRIANGLE_STRIP 0 4')
    t.write('depth.trace')


def clipping():
    rng = random.Random(6)
    t = Trace('Clipping at every plane: flat and textured triangles in perspective that\ncross the left, right, bottom, top, near and far planes, and one that crosses\na corner of two planes.')
    t.header(ortho=False)
    t.add('glEnable GL_DEPTH_TEST', 'glHint GL_PERSPECTIVE_CORRECTION_HINT GL_NICEST')
    names = t.array('uint', [0], 'names')
    t.add('glGenTextures 1 @names')
    texture(t, rng, 0)
    tris = [
        [(-6, -0.5, -5), (0.2, -0.8, -5), (-0.5, 0.9, -5)],       # left
        [(5.5, 0.2, -6), (0.8, 0.9, -6), (1.2, -1.0, -6)],        # right
        [(-0.8, -5, -5), (0.6, -0.4, -5), (-0.2, -0.2, -5)],      # bottom
        [(0.5, 4.5, -6), (-0.4, 0.3, -6), (1.2, 0.5, -6)],        # top
        [(-0.6, -0.3, 0.5), (0.5, -0.4, -3), (0.1, 0.5, -2.5)],   # near
        [(-0.2, 0.2, -30), (0.4, -0.3, -80), (0.8, 0.6, -20)],    # far
        [(-5, 4, -5), (-0.5, 0.2, -5), (-1.0, -0.3, -5)],         # corner
    ]
    for i, tri in enumerate(tris):
        t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', [fx(c) for p in tri for c in p]))
        if i % 2 == 0:
            t.add('glShadeModel GL_FLAT')
            cols = []
            for _ in range(3):
                cols += [rng.randrange(256), rng.randrange(256), rng.randrange(256), 255]
            t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', cols),
                  'glEnableClientState GL_COLOR_ARRAY')
        else:
            t.add('glEnable GL_TEXTURE_2D', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE')
            uv = [rng.randrange(3) for _ in range(6)]
            t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', uv),
                  'glEnableClientState GL_TEXTURE_COORD_ARRAY')
        t.add('glDrawArrays GL_TRIANGLES 0 3', 'glDisableClientState GL_COLOR_ARRAY',
              'glDisableClientState GL_TEXTURE_COORD_ARRAY', 'glDisable GL_TEXTURE_2D')
    t.write('clipping.trace')


def strips():
    rng = random.Random(7)
    t = Trace('Triangle strips and fans through glDrawElements with byte and short indices,\nsmooth and flat, sharing vertices.')
    t.header()
    grid = []
    cols = []
    for j in range(6):
        for i in range(10):
            grid += [fx(12 + i * 15.7 + rng.uniform(-3, 3)), fx(12 + j * 18.1 + rng.uniform(-3, 3))]
            cols += [rng.randrange(256), rng.randrange(256), rng.randrange(256), 255]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', grid))
    t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', cols), 'glEnableClientState GL_COLOR_ARRAY',
          'glShadeModel GL_SMOOTH')
    for j in range(5):
        idx = []
        for i in range(10):
            idx += [j * 10 + i, (j + 1) * 10 + i]
        typ, gltype = ('ubyte', 'GL_UNSIGNED_BYTE') if j % 2 else ('ushort', 'GL_UNSIGNED_SHORT')
        if j == 3:
            t.add('glShadeModel GL_FLAT')
        t.add('glDrawElements GL_TRIANGLE_STRIP %d %s @%s' % (len(idx), gltype, t.array(typ, idx)))
    # Two fans.
    t.add('glShadeModel GL_SMOOTH')
    for (cx, cy, n) in [(200, 60, 9), (195, 190, 14)]:
        fan = [fx(cx), fx(cy)]
        fc = [255, 255, 255, 255]
        for k in range(n + 1):
            a = k * 2 * math.pi / n
            r = 45 + 10 * math.sin(3 * a)
            fan += [fx(cx + r * math.cos(a)), fx(cy + r * math.sin(a))]
            fc += [rng.randrange(256), rng.randrange(256), rng.randrange(256), 255]
        t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', fan))
        t.add('glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', fc))
        idx = list(range(n + 2))
        t.add('glDrawElements GL_TRIANGLE_FAN %d GL_UNSIGNED_SHORT @%s' % (len(idx), t.array('ushort', idx)))
    t.write('strips.trace')


def points_lines():
    rng = random.Random(8)
    t = Trace('Points and lines (GL_LINES, GL_LINE_STRIP, GL_LINE_LOOP) of one colour each,\nat positions away from pixel-centre ties.')
    t.header(clear=(0.0, 0.0, 0.0))
    pts = []
    for _ in range(60):
        pts += [fx(int(rng.uniform(5, W - 5)) + 0.3), fx(int(rng.uniform(5, H - 5)) + 0.6)]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', pts), 'glColor4ub 255 255 0 255',
          'glDrawArrays GL_POINTS 0 60')
    lines = []
    for _ in range(12):
        x0, y0 = rng.uniform(10, W - 10), rng.uniform(10, H - 10)
        a = rng.uniform(0, 2 * math.pi)
        r = rng.uniform(60, 150)
        x1 = min(max(x0 + r * math.cos(a), 3), W - 3)
        y1 = min(max(y0 + r * math.sin(a), 3), H - 3)
        lines += [fx(int(x0) + 0.31), fx(int(y0) + 0.37), fx(int(x1) + 0.29), fx(int(y1) + 0.41)]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', lines), 'glColor4ub 0 255 255 255',
          'glDrawArrays GL_LINES 0 24')
    strip = []
    for k in range(8):
        strip += [fx(25 + k * 30 + 0.3), fx(210 + (k % 2) * 25 + 0.4)]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', strip), 'glColor4ub 255 0 255 255',
          'glDrawArrays GL_LINE_STRIP 0 8')
    loop = []
    for k in range(7):
        a = k * 2 * math.pi / 7
        loop += [fx(int(128 + 70 * math.cos(a)) + 0.3), fx(int(120 + 70 * math.sin(a)) + 0.4)]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', loop), 'glColor4ub 255 128 0 255',
          'glDrawArrays GL_LINE_LOOP 0 7')
    t.write('points_lines.trace')


def sphere(stacks, slices, radius):
    verts, norms, idx = [], [], []
    for i in range(stacks + 1):
        phi = math.pi * i / stacks
        for j in range(slices + 1):
            th = 2 * math.pi * j / slices
            n = (math.sin(phi) * math.cos(th), math.cos(phi), math.sin(phi) * math.sin(th))
            norms.append(n)
            verts.append(tuple(radius * c for c in n))
    for i in range(stacks):
        for j in range(slices):
            a = i * (slices + 1) + j
            b = a + slices + 1
            idx += [a, b, a + 1, a + 1, b, b + 1]
    return verts, norms, idx


def lit():
    t = Trace('Lit meshes with directional lights: a sphere in 2D and a finely divided\nsphere in perspective; two lights, ambient and diffuse material, smooth\nshading, 16.16 normals; rigid modelview matrices.')
    t.header(clear=(0.05, 0.05, 0.1))
    t.add('glShadeModel GL_SMOOTH', 'glEnable GL_LIGHTING', 'glEnable GL_LIGHT0', 'glEnable GL_LIGHT1',
          'glEnable GL_DEPTH_TEST')
    d0 = t.array('fixed', [fx(0.5), fx(0.6), fx(0.8), 0], 'light0dir')
    d1 = t.array('fixed', [fx(-0.8), fx(-0.2), fx(0.4), 0], 'light1dir')
    c1 = t.array('fixed', [fx(0.5), fx(0.3), fx(0.1), fx(1)], 'light1col')
    amb = t.array('fixed', [fx(0.3), fx(0.25), fx(0.2), fx(1)], 'matamb')
    dif = t.array('fixed', [fx(0.7), fx(0.8), fx(0.6), fx(1)], 'matdif')
    t.add('glLightxv GL_LIGHT0 GL_POSITION @' + d0, 'glLightxv GL_LIGHT1 GL_POSITION @' + d1,
          'glLightxv GL_LIGHT1 GL_DIFFUSE @' + c1, 'glMaterialxv GL_FRONT_AND_BACK GL_AMBIENT @' + amb,
          'glMaterialxv GL_FRONT_AND_BACK GL_DIFFUSE @' + dif)
    verts, norms, idx = sphere(12, 18, 1.0)
    t.add('glEnableClientState GL_NORMAL_ARRAY')
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', [fx(c) for v in verts for c in v]))
    t.add('glNormalPointer GL_FIXED 0 @' + t.array('fixed', [fx(c) for v in norms for c in v]))
    # The 2D sphere: the projection scales, the modelview stays rigid (lights
    # are brought into object space through the modelview's rotation).
    t.add('glViewport 0 0 128 256', 'glMatrixMode GL_PROJECTION', 'glLoadIdentity',
          'glOrthox %d %d %d %d %d %d' % (fx(-1), fx(1), fx(-2), fx(2), fx(-2), fx(2)), 'glMatrixMode GL_MODELVIEW',
          'glLoadIdentity')
    t.add('glDrawElements GL_TRIANGLES %d GL_UNSIGNED_SHORT @%s' % (len(idx), t.array('ushort', idx)))
    # Perspective: finely divided, rotated, normals normalised.
    t.add('glViewport 128 0 128 256', 'glMatrixMode GL_PROJECTION', 'glLoadIdentity',
          'glFrustumx %d %d %d %d %d %d' % (fx(-0.25), fx(0.25), fx(-0.5), fx(0.5), fx(0.5), fx(64.5)),
          'glMatrixMode GL_MODELVIEW', 'glLoadIdentity', 'glEnable GL_NORMALIZE', 'glTranslatex 0 0 %d' % fx(-4),
          'glRotatex %d %d %d 0' % (fx(40), fx(1), fx(0.5)))
    verts, norms, idx = sphere(24, 32, 1.0)
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', [fx(c) for v in verts for c in v]))
    t.add('glNormalPointer GL_FIXED 0 @' + t.array('fixed', [fx(c * 0.5) for v in norms for c in v]))
    t.add('glDrawElements GL_TRIANGLES %d GL_UNSIGNED_SHORT @%s' % (len(idx), t.array('ushort', idx)))
    t.write('lit.trace')


def watertight():
    rng = random.Random(9)
    t = Trace('A random mesh tiling the screen, drawn with additive blending of a constant\ncolour over black: every pixel is covered exactly once (one step of blue).')
    t.header(clear=(0, 0, 0))
    t.add('glEnable GL_BLEND', 'glBlendFunc GL_ONE GL_ONE', 'glColor4ub 0 0 8 255')
    nx, ny = 16, 12
    grid = []
    for j in range(ny + 1):
        for i in range(nx + 1):
            x = i * W / nx
            y = j * H / ny
            if 0 < i < nx:
                x += rng.uniform(-4, 4)
            if 0 < j < ny:
                y += rng.uniform(-4, 4)
            grid += [fx(x), fx(y)]
    idx = []
    for j in range(ny):
        for i in range(nx):
            a = j * (nx + 1) + i
            b = a + nx + 1
            if rng.random() < 0.5:
                idx += [a, b, a + 1, a + 1, b, b + 1]
            else:
                idx += [a, b, b + 1, a, b + 1, a + 1]
    # The mesh must not fold: every triangle keeps one winding.
    def area(p, q, r):
        return (q[0] - p[0]) * (r[1] - p[1]) - (r[0] - p[0]) * (q[1] - p[1])
    xy = [(grid[2 * k], grid[2 * k + 1]) for k in range(len(grid) // 2)]
    assert all(area(xy[idx[k]], xy[idx[k + 1]], xy[idx[k + 2]]) > 0 for k in range(0, len(idx), 3)) or \
        all(area(xy[idx[k]], xy[idx[k + 1]], xy[idx[k + 2]]) < 0 for k in range(0, len(idx), 3))
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', grid))
    t.add('glDrawElements GL_TRIANGLES %d GL_UNSIGNED_SHORT @%s' % (len(idx), t.array('ushort', idx)))
    t.write('watertight.trace')


def smooth_texture(rng, w, h, fmt, base, spread, alpha=None):
    """A smooth random texture (sum of a few waves) as 565, 4444 or 88 words."""
    waves = [(rng.uniform(0.5, 3), rng.uniform(0.5, 3), rng.uniform(0, 6.3), rng.uniform(0.3, 1)) for _ in range(4)]
    out = []
    for y in range(h):
        for x in range(w):
            n = sum(a * math.sin(fx_ * 2 * math.pi * x / w + fy_ * 2 * math.pi * y / h + ph)
                    for (fx_, fy_, ph, a) in waves) / 4
            c = [min(255, max(0, int(base[k] + spread[k] * n))) for k in range(3)]
            if fmt == '565':
                out.append(rgb565(*c))
            elif fmt == '4444':
                a = alpha(x, y) if alpha else 15
                out.append((c[0] >> 4) << 12 | (c[1] >> 4) << 8 | (c[2] >> 4) << 4 | a)
            else:
                a = alpha(x, y) if alpha else 255
                out.append(c[0] << 8 | a)
    return out


def game():
    rng = random.Random(11)
    GW, GH = 1024, 600
    t = Trace('A game-like frame at 1024 x 600: a sky and a textured terrain in perspective,\n'
              '50 textured and lit meshes, 20 alpha-blended billboards, and a HUD of 40\n'
              'blits and 200 glyphs; about three layers drawn per pixel.')
    t.add('glViewport 0 0 %d %d' % (GW, GH), 'glDisable GL_DITHER', 'glClearColorx 0 0 0 65536',
          'glClearDepthx 65536', 'glClear 16640', 'glMatrixMode GL_PROJECTION', 'glLoadIdentity')
    # Exact in 16.16: half-height 0.5 x 600 / 1024.
    t.add('glFrustumx %d %d %d %d %d %d' % (fx(-0.5), fx(0.5), fx(-0.29296875), fx(0.29296875), fx(0.5), fx(64.5)),
          'glMatrixMode GL_MODELVIEW', 'glLoadIdentity', 'glEnableClientState GL_VERTEX_ARRAY',
          'glEnableClientState GL_TEXTURE_COORD_ARRAY', 'glEnable GL_TEXTURE_2D', 'glEnable GL_DEPTH_TEST',
          'glHint GL_PERSPECTIVE_CORRECTION_HINT GL_NICEST', 'glShadeModel GL_SMOOTH')
    t.array('uint', [0] * 8, 'names')
    t.add('glGenTextures 8 @names')

    def upload(index, w, h, fmt, data):
        t.add('glBindTexture GL_TEXTURE_2D names[%d]' % index,
              'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST',
              'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST')
        if fmt == '565':
            t.add('glTexImage2D GL_TEXTURE_2D 0 GL_RGB %d %d 0 GL_RGB GL_UNSIGNED_SHORT_5_6_5 @%s' % (w, h, t.array('ushort', data)))
        elif fmt == '4444':
            t.add('glTexImage2D GL_TEXTURE_2D 0 GL_RGBA %d %d 0 GL_RGBA GL_UNSIGNED_SHORT_4_4_4_4 @%s' % (w, h, t.array('ushort', data)))
        else:
            la = []
            for v in data:
                la += [v >> 8, v & 255]
            t.add('glTexImage2D GL_TEXTURE_2D 0 GL_LUMINANCE_ALPHA %d %d 0 GL_LUMINANCE_ALPHA GL_UNSIGNED_BYTE @%s' % (w, h, t.array('ubyte', la)))

    upload(0, 128, 64, '565', smooth_texture(rng, 128, 64, '565', (110, 150, 220), (40, 40, 30)))
    upload(1, 64, 64, '565', smooth_texture(rng, 64, 64, '565', (90, 130, 60), (50, 50, 40)))
    upload(2, 32, 32, '565', smooth_texture(rng, 32, 32, '565', (180, 170, 160), (60, 60, 60)))
    radial = lambda x, y: max(0, min(15, int(16 - math.hypot(x - 15.5, y - 15.5) * 16 / 15.5)))
    upload(3, 32, 32, '4444', smooth_texture(rng, 32, 32, '4444', (200, 150, 100), (50, 50, 50), radial))
    upload(4, 32, 32, '4444', smooth_texture(rng, 32, 32, '4444', (80, 200, 120), (40, 40, 40),
                                            lambda x, y: 15 if 3 <= x < 29 and 3 <= y < 29 else 0))
    # A font: 16 x 8 cells of 8 x 8 texels with a random glyph of full alpha.
    font = []
    cells = {}
    for y in range(64):
        for x in range(128):
            key = (x // 8, y // 8)
            if key not in cells:
                cells[key] = [[rng.random() < 0.45 for _ in range(6)] for _ in range(6)]
            gx, gy = x % 8 - 1, y % 8 - 1
            on = 0 <= gx < 6 and 0 <= gy < 6 and cells[key][gy][gx]
            font.append(255 << 8 | (255 if on else 0))
    upload(5, 128, 64, '88', font)

    # Sky: a far quad behind everything.
    t.add('glBindTexture GL_TEXTURE_2D names[0]', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE')
    sky = [fx(v) for v in (-70, -20, -60, 70, -20, -60, -70, 40, -60, 70, 40, -60)]
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', sky))
    t.add('glTexCoordPointer 2 GL_FIXED 0 @' + t.array('fixed', [0, 0, fx(3), 0, 0, fx(1.5), fx(3), fx(1.5)]),
          'glDrawArrays GL_TRIANGLE_STRIP 0 4')

    # Terrain: a 24 x 24 grid with gentle heights.
    n = 24
    verts, uvs, idx = [], [], []
    for j in range(n + 1):
        for i in range(n + 1):
            x = -30 + 60 * i / n
            z = -1.5 - 55 * j / n
            y = -2.2 + 0.6 * math.sin(i * 0.7) * math.cos(j * 0.5)
            verts += [fx(x), fx(y), fx(z)]
            uvs += [fx(i * 0.5), fx(j * 0.5)]
    for j in range(n):
        for i in range(n):
            a = j * (n + 1) + i
            b = a + n + 1
            idx += [a, a + 1, b, a + 1, b + 1, b]
    t.add('glBindTexture GL_TEXTURE_2D names[1]')
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', verts))
    t.add('glTexCoordPointer 2 GL_FIXED 0 @' + t.array('fixed', uvs))
    t.add('glDrawElements GL_TRIANGLES %d GL_UNSIGNED_SHORT @%s' % (len(idx), t.array('ushort', idx)))

    # 50 lit, textured meshes.
    sv, sn, si = sphere(6, 10, 1.0)
    suv = []
    for i in range(7):
        for j in range(11):
            suv += [fx(j / 10 * 2), fx(i / 6)]
    t.add('glEnable GL_LIGHTING', 'glEnable GL_LIGHT0')
    d0 = t.array('fixed', [fx(0.4), fx(0.7), fx(0.6), 0], 'sun')
    t.add('glLightxv GL_LIGHT0 GL_POSITION @' + d0, 'glEnableClientState GL_NORMAL_ARRAY',
          'glBindTexture GL_TEXTURE_2D names[2]', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_MODULATE')
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', [fx(c) for v in sv for c in v]))
    t.add('glNormalPointer GL_FIXED 0 @' + t.array('fixed', [fx(c) for v in sn for c in v]))
    t.add('glTexCoordPointer 2 GL_FIXED 0 @' + t.array('fixed', suv))
    sidx = t.array('ushort', si)
    for k in range(50):
        t.add('glPushMatrix')
        t.add('glTranslatex %d %d %d' % (fx(rng.uniform(-6, 6)), fx(rng.uniform(-1.5, 2)), fx(rng.uniform(-25, -5))))
        t.add('glRotatex %d %d %d %d' % (fx(rng.uniform(0, 360)), fx(rng.uniform(-1, 1)), fx(1), fx(rng.uniform(-1, 1))),
              'glDrawElements GL_TRIANGLES %d GL_UNSIGNED_SHORT @%s' % (len(si), sidx), 'glPopMatrix')
    t.add('glDisableClientState GL_NORMAL_ARRAY', 'glDisable GL_LIGHTING')

    # 20 billboards, alpha-blended, depth test on, depth writes off.
    t.add('glEnable GL_BLEND', 'glBlendFunc GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA', 'glDepthMask 0',
          'glBindTexture GL_TEXTURE_2D names[3]', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE')
    bb = []
    for k in range(20):
        cx, cy, cz = rng.uniform(-5, 5), rng.uniform(-1.5, 2.5), rng.uniform(-18, -4)
        s = rng.uniform(0.5, 1.3)
        for (dx, dy) in [(-1, -1), (1, -1), (-1, 1), (1, -1), (1, 1), (-1, 1)]:
            bb += [fx(cx + dx * s), fx(cy + dy * s), fx(cz)]
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', bb))
    t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', [0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1] * 20),
          'glDrawArrays GL_TRIANGLES 0 120', 'glDepthMask 1')

    # HUD: a 2D projection (1024 x 512 units over the 600 rows), no depth test.
    t.add('glDisable GL_DEPTH_TEST', 'glHint GL_PERSPECTIVE_CORRECTION_HINT GL_FASTEST', 'glMatrixMode GL_PROJECTION',
          'glLoadIdentity', 'glOrthox 0 %d 0 %d -65536 65536' % (fx(1024), fx(512)), 'glMatrixMode GL_MODELVIEW',
          'glLoadIdentity')
    blits = []
    for k in range(40):
        x, y = rng.randrange(0, 1024 - 64), rng.randrange(0, 512 - 64)
        s = rng.choice([32, 48, 64])
        for (dx, dy) in [(0, 0), (1, 0), (0, 1), (1, 0), (1, 1), (0, 1)]:
            blits += [fx(x + dx * s), fx(y + dy * s)]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', blits))
    t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', [0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1] * 40),
          'glBindTexture GL_TEXTURE_2D names[4]', 'glDrawArrays GL_TRIANGLES 0 120', 'glDisable GL_BLEND',
          'glBindTexture GL_TEXTURE_2D names[2]', 'glDrawArrays GL_TRIANGLES 120 120')
    # 200 glyphs of 8 x 8 texels drawn at 12 x 12 units, modulated by a colour.
    t.add('glEnable GL_BLEND', 'glBindTexture GL_TEXTURE_2D names[5]',
          'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_MODULATE', 'glColor4ub 255 240 120 255')
    glyphs, guv = [], []
    for k in range(200):
        x, y = 16 + (k % 40) * 24, 16 + (k // 40) * 20
        cx, cy = rng.randrange(16), rng.randrange(8)
        for (dx, dy) in [(0, 0), (1, 0), (0, 1), (1, 0), (1, 1), (0, 1)]:
            glyphs += [fx(x + dx * 12), fx(y + dy * 12)]
            guv += [fx((cx + dx) / 16), fx((cy + 1 - dy) / 8)]
    t.add('glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', glyphs))
    t.add('glTexCoordPointer 2 GL_FIXED 0 @' + t.array('fixed', guv))
    t.add('glDrawArrays GL_TRIANGLES 0 600')  # the software back end draws at most 1024 at a time
    t.add('glDrawArrays GL_TRIANGLES 600 600', 'glDisable GL_BLEND')
    # The trace can be replayed again and again: its textures go.
    t.add('glDeleteTextures 8 @names', 'frame')
    t.write('game.trace')


def alphatest():
    rng = random.Random(11)
    t = Trace('The alpha test with a high reference (GREATER 60000/65536, then LESS 0.5)\n'
              'over coloured bands: an RGB picture uploaded as 5551 (black keyed to alpha\n'
              '0) and a 565 texture under MODULATE and alpha blending with vertex alphas\n'
              'below and above the reference, untextured quads, REPLACE (texel alpha\n'
              'only), and the picture added with ONE / ONE without the test.')
    t.header()
    bands(t)
    # A star on black, as a picture without alpha is uploaded: black is transparent.
    star = []
    for y in range(32):
        for x in range(32):
            r = math.hypot(x - 15.5, y - 15.5)
            lit = r < 6 + 8 * abs(math.cos(3 * math.atan2(y - 15.5, x - 15.5)))
            star.append(31 << 11 | (16 + int(r)) << 6 | 4 << 1 | 1 if lit else 0)
    t.add('glDisableClientState GL_COLOR_ARRAY', 'glGenTextures 2 @' + t.array('uint', [0, 0], 'names'),
          'glBindTexture GL_TEXTURE_2D names[0]', 'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST',
          'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST',
          'glTexImage2D GL_TEXTURE_2D 0 GL_RGBA 32 32 0 GL_RGBA GL_UNSIGNED_SHORT_5_5_5_1 @' + t.array('ushort', star))
    texture(t, rng, 1, size=32)
    t.add('glEnable GL_BLEND', 'glBlendFunc GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA', 'glShadeModel GL_FLAT',
          'glEnableClientState GL_TEXTURE_COORD_ARRAY',
          'glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', [0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1]))

    def quads(cells, colour='255 255 255', env=None, name=0):
        if env:
            t.add('glEnable GL_TEXTURE_2D', 'glBindTexture GL_TEXTURE_2D names[%d]' % name,
                  'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE ' + env)
        for (col, row, a) in cells:
            x0, y0 = 6.3 + col * 50, 8.2 + row * 50
            q = [fx(v) for (dx, dy) in [(0, 0), (44, 0), (0, 44), (44, 0), (44, 44), (0, 44)] for v in (x0 + dx, y0 + dy)]
            t.add('glColor4ub %s %d' % (colour, a), 'glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', q),
                  'glDrawArrays GL_TRIANGLES 0 6')
        t.add('glDisable GL_TEXTURE_2D')

    # 230/255 fails 60000/65536, 240/255 passes; 248 keeps the five-bit weight near GL's.
    row = lambda r: [(col, r, a) for col, a in enumerate([128, 230, 240, 248])]
    t.add('glEnable GL_ALPHA_TEST', 'glAlphaFuncx GL_GREATER 60000')
    quads(row(0), env='GL_MODULATE')
    quads(row(1), env='GL_MODULATE', name=1)
    quads(row(2), env='GL_REPLACE')
    quads(row(3), '250 180 60')
    t.add('glAlphaFuncx GL_LESS 32768')  # only the faint ones pass
    quads([(4, 0, 64), (4, 1, 192)], env='GL_MODULATE')
    quads([(4, 2, 64), (4, 3, 192)], '60 180 250')
    # The picture added (ONE / ONE, REPLACE) without the test: black adds nothing.
    t.add('glDisable GL_ALPHA_TEST', 'glBlendFunc GL_ONE GL_ONE')
    quads([(col, 4, 255) for col in range(5)], env='GL_REPLACE')
    t.add('glDisable GL_BLEND', 'glDisableClientState GL_TEXTURE_COORD_ARRAY', 'glDeleteTextures 2 @names')
    t.write('alphatest.trace')

def modulate_blend():
    rng = random.Random(12)
    t = Trace('Textures under MODULATE with alpha blending, as list rows over a picture are\n'
              'drawn: dark translucent and opaque black colours times a 5551 texture (a\n'
              'transparent rim) and a 565 texture, blended SRC_ALPHA / ONE_MINUS_SRC_ALPHA,\n'
              'SRC_ALPHA / ONE and ONE / ONE, flat and smooth, then a floor in perspective.')
    t.header()
    bands(t)
    # Light metal with a two-texel rim of alpha 0.
    metal = []
    for y in range(32):
        for x in range(32):
            rim = min(x, y, 31 - x, 31 - y) < 2
            c = (150 + 12 * ((x // 8 + y // 8) % 2)) >> 3
            metal.append(0 if rim else c << 11 | c << 6 | c << 1 | 1)
    t.add('glDisableClientState GL_COLOR_ARRAY', 'glGenTextures 2 @' + t.array('uint', [0, 0], 'names'),
          'glBindTexture GL_TEXTURE_2D names[0]', 'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST',
          'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST',
          'glTexImage2D GL_TEXTURE_2D 0 GL_RGBA 32 32 0 GL_RGBA GL_UNSIGNED_SHORT_5_5_5_1 @' + t.array('ushort', metal))
    texture(t, rng, 1, size=32, lo=64, hi=224)
    t.add('glEnable GL_BLEND', 'glEnable GL_TEXTURE_2D', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_MODULATE',
          'glEnableClientState GL_TEXTURE_COORD_ARRAY',
          'glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', [0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1]))
    funcs = ['GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA', 'GL_SRC_ALPHA GL_ONE', 'GL_ONE GL_ONE']
    # Per blend: flat dark translucent, flat black, smooth colours; each on both textures.
    for row, f in enumerate(funcs):
        t.add('glBlendFunc ' + f)
        for col in range(6):
            name, kind = col % 2, col // 2
            x0, y0 = 4.3 + col * 42, 134.2 + row * 40
            q = [fx(v) for (dx, dy) in [(0, 0), (38, 0), (0, 36), (38, 0), (38, 36), (0, 36)] for v in (x0 + dx, y0 + dy)]
            t.add('glBindTexture GL_TEXTURE_2D names[%d]' % name, 'glVertexPointer 2 GL_FIXED 0 @' + t.array('fixed', q))
            if kind == 0:
                t.add('glShadeModel GL_FLAT', 'glColor4ub 24 8 8 176')
            elif kind == 1:
                t.add('glShadeModel GL_FLAT', 'glColor4ub 0 0 0 255')
            else:
                cols = []
                for k in range(6):
                    cols += [rng.randrange(256), rng.randrange(256), rng.randrange(256), [96, 160, 224, 160, 224, 255][k]]
                t.add('glShadeModel GL_SMOOTH', 'glColorPointer 4 GL_UNSIGNED_BYTE 0 @' + t.array('ubyte', cols),
                      'glEnableClientState GL_COLOR_ARRAY')
            t.add('glDrawArrays GL_TRIANGLES 0 6', 'glDisableClientState GL_COLOR_ARRAY')
    # A floor in perspective in the lower part, dark and translucent.
    t.add('glViewport 0 0 %d %d' % (W, H // 2), 'glMatrixMode GL_PROJECTION', 'glLoadIdentity',
          'glFrustumx %d %d %d %d %d %d' % (fx(-0.5), fx(0.5), fx(-0.25), fx(0.25), fx(0.5), fx(64.5)),
          'glMatrixMode GL_MODELVIEW', 'glLoadIdentity', 'glHint GL_PERSPECTIVE_CORRECTION_HINT GL_NICEST',
          'glBlendFunc GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA', 'glShadeModel GL_FLAT', 'glColor4ub 60 30 20 200',
          'glBindTexture GL_TEXTURE_2D names[1]')
    floor = [fx(-3), fx(-1), fx(-1), fx(3), fx(-1), fx(-1), fx(-3), fx(-1), fx(-12), fx(3), fx(-1), fx(-12)]
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', floor))
    t.add('glTexCoordPointer 2 GL_SHORT 0 @' + t.array('short', [0, 0, 2, 0, 0, 3, 2, 3]),
          'glDrawArrays GL_TRIANGLE_STRIP 0 4')
    t.add('glDisable GL_BLEND', 'glDisable GL_TEXTURE_2D', 'glDisableClientState GL_TEXTURE_COORD_ARRAY',
          'glDeleteTextures 2 @names')
    t.write('modulate_blend.trace')


def far_dome():
    t = Trace('A sky dome near the far plane in perspective (NICEST), as the game draws its\n'
              'sky: a ring of 16 segments 480 units away, two stacked bands of quads, each\n'
              'segment 1/16 of a 128 x 128 texture of thin stripes wide and a tenth of it\n'
              'high. The stripes run on across the triangles\' edges.')
    t.header(ortho=False)
    t.add('glMatrixMode GL_PROJECTION', 'glLoadIdentity',
          'glFrustumx %d %d %d %d %d %d' % (fx(-1), fx(1), fx(-1), fx(1), fx(1), fx(512)),
          'glMatrixMode GL_MODELVIEW', 'glLoadIdentity', 'glRotatex %d 0 65536 0' % fx(-11),
          'glHint GL_PERSPECTIVE_CORRECTION_HINT GL_NICEST')
    stripes = []
    palette = [(200, 220, 240), (150, 180, 230), (230, 200, 170), (120, 140, 200), (240, 240, 240), (90, 150, 210)]
    for y in range(128):
        for x in range(128):
            r, g, b = palette[(y + x // 8) % len(palette)]
            stripes.append(rgb565(r, g, b))
    t.add('glGenTextures 1 @' + t.array('uint', [0], 'names'), 'glBindTexture GL_TEXTURE_2D names[0]',
          'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST',
          'glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST',
          'glTexImage2D GL_TEXTURE_2D 0 GL_RGB 128 128 0 GL_RGB GL_UNSIGNED_SHORT_5_6_5 @' + t.array('ushort', stripes),
          'glEnable GL_TEXTURE_2D', 'glTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE',
          'glEnableClientState GL_TEXTURE_COORD_ARRAY')
    R, heights, vs = 480.0, [-200.0, 80.0, 400.0], [0.45, 0.5, 0.56]
    pts, uvs = [], []
    # Coordinates near 0.5, where the software back end's mapping onto texel
    # centres moves a texel least.
    for i in range(-8, 8):
        a0, a1 = 2 * math.pi * i / 16, 2 * math.pi * (i + 1) / 16
        for j in range(2):
            corners = [(a0, j), (a1, j), (a1, j + 1), (a0, j), (a1, j + 1), (a0, j + 1)]
            for (a, k) in corners:
                pts += [fx(R * math.sin(a)), fx(heights[k]), fx(-R * math.cos(a))]
                uvs += [fx(0.5 + a / (2 * math.pi)), fx(vs[k])]
    t.add('glVertexPointer 3 GL_FIXED 0 @' + t.array('fixed', pts),
          'glTexCoordPointer 2 GL_FIXED 0 @' + t.array('fixed', uvs),
          'glDrawArrays GL_TRIANGLES 0 %d' % (len(pts) // 3))
    t.add('glDisable GL_TEXTURE_2D', 'glDisableClientState GL_TEXTURE_COORD_ARRAY', 'glDeleteTextures 1 @names')
    t.write('far_dome.trace')


if __name__ == '__main__':
    for f in [flat, gouraud, replace, texfixed, blend, depth, clipping, strips, points_lines, lit, watertight, game, alphatest,
              modulate_blend, far_dome]:
        f()
