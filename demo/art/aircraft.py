"""The five aircraft: their meshes and scenes.

Axes: nose toward -Z, up +Y, right wing +X; about 1.7 to 2.0 units long.
Each aircraft N has, under data/planes/planeN/:
  models/pN_body, pN_flapL, pN_flapR (ailerons hinged along X through their
  origin), pN_rudder (hinged on the upright axis through its origin),
  pN_gunfire (a flash along -Z), pN_prop (static blades turning about Z),
  pN_prop_run (spinning disc),
  pNl_body, pNl_gunfire (the distant copy);
  scenes/planeN.pam, planeN_lod1.pam (nulls WingR, WingL, Rotor1),
  pN_rotor_run.pam and pN_rotor_menu.pam (the propeller as the first model);
  textures/pN_skin.png, pN_prop.png, pN_flash.png."""
import math

from mesh import Mesh, ring

EXTENT = 1.25  # half the square the skin's top view covers

PLANES = [
    dict(name="light fighter", length=1.70, span=1.90, radius=0.105, wing_z=-0.28, root_chord=0.42, tip_chord=0.22,
         wing_y=-0.05, dihedral=5, sweep=0.06, tail_span=0.62, canopy=(-0.16, 0.12), gear=False,
         colours=("#59683a", "#3b4426", "#a9b8c0"), cowl="#2a2e30", band="#f4f1e8", spinner="#c8372d", code="K-11"),
    dict(name="fast fighter", length=1.85, span=1.80, radius=0.095, wing_z=-0.22, root_chord=0.40, tip_chord=0.18,
         wing_y=-0.06, dihedral=4, sweep=0.10, tail_span=0.58, canopy=(-0.10, 0.16), gear=False,
         colours=("#6f7a84", "#4a545e", "#b9c8d4"), cowl="#22262a", band="#ffc23d", spinner="#ffc23d", code="R-24"),
    dict(name="heavy fighter", length=1.90, span=2.10, radius=0.125, wing_z=-0.30, root_chord=0.48, tip_chord=0.24,
         wing_y=-0.07, dihedral=5, sweep=0.05, tail_span=0.70, canopy=(-0.20, 0.18), gear=False,
         colours=("#b89a62", "#8a6a3a", "#c9c2b0"), cowl="#3a3026", band="#c8372d", spinner="#f4f1e8", code="H-07"),
    dict(name="dive bomber", length=1.85, span=2.15, radius=0.125, wing_z=-0.30, root_chord=0.50, tip_chord=0.26,
         wing_y=-0.08, dihedral=7, sweep=0.0, tail_span=0.72, canopy=(-0.24, 0.30), gear=True,
         colours=("#44552e", "#2c3a1e", "#9eb0b8"), cowl="#262a2c", band="#ffc23d", spinner="#f4f1e8", code="D-42"),
    dict(name="torpedo bomber", length=2.00, span=2.30, radius=0.140, wing_z=-0.32, root_chord=0.54, tip_chord=0.28,
         wing_y=-0.09, dihedral=6, sweep=0.0, tail_span=0.78, canopy=(-0.26, 0.36), gear=False,
         colours=("#4e5d6e", "#33404e", "#c9d2da"), cowl="#23282e", band="#f4f1e8", spinner="#1d3f8a", code="T-90"),
]


def skin_uv(p, n, flat=False):
    """Top, side and underside projections into the skin (see textures.skin);
    flat surfaces (wings) take only the top and underside."""
    x, y, z = p
    E = EXTENT
    if n[1] > 0.55 or (flat and n[1] >= 0):
        return (64 + x / E * 64) / 256, 1 - (128 + z / E * 128) / 256
    if n[1] < -0.55 or flat:
        return (192 + x / E * 64) / 256, 1 - (192 + z / E * 64) / 256
    return (192 - z / E * 64) / 256, 1 - (64 - y / E * 64) / 256


def cell_uv(col, row):
    """The centre of an 8-pixel corner cell of the propeller texture."""
    u = (4 if col == 0 else 60) / 64.0
    v = 1 - (4 if row == 0 else 60) / 64.0
    return lambda p, n: (u, v)


class Outward(Mesh):
    """A mesh whose triangles are turned to face away from a given inside
    point (set per part), so parts can be built without minding winding."""
    inside = None

    def tri(self, a, b, c, tex, uv):
        if self.inside is not None:
            ctr = ((a[0] + b[0] + c[0]) / 3, (a[1] + b[1] + c[1]) / 3, (a[2] + b[2] + c[2]) / 3)
            ins = self.inside(ctr)
            nx = (b[1] - a[1]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[1] - a[1])
            ny = (b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2])
            nz = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])
            if nx * (ctr[0] - ins[0]) + ny * (ctr[1] - ins[1]) + nz * (ctr[2] - ins[2]) < 0:
                b, c = c, b
                if isinstance(uv, (list, tuple)):
                    uv = (uv[0], uv[2], uv[1])
        Mesh.tri(self, a, b, c, tex, uv)


def fuselage(m, p, tex, sides):
    L, R = p["length"], p["radius"]
    z0 = -L / 2
    stations = [(z0, 0.62), (z0 + 0.07, 0.95), (z0 + 0.30, 1.0), (0.15, 1.0), (L / 2 - 0.30, 0.62),
                (L / 2 - 0.06, 0.30), (L / 2, 0.16)]
    rings = [ring(0, 0, z, R * f, R * f * 1.12, sides) for z, f in stations]
    m.inside = lambda c: (0, 0, c[2])
    uv = lambda q, n: skin_uv(q, n)
    m.loft(rings, tex, uv)
    # canopy: three stations of a low arch on the back
    cz0, cz1 = p["canopy"]
    arch = lambda z, h: [(-R * 0.62, R * 0.72, z), (-R * 0.42, R * (0.75 + h * 0.8), z), (0, R * (0.8 + h), z),
                         (R * 0.42, R * (0.75 + h * 0.8), z), (R * 0.62, R * 0.72, z)]
    rings = [arch(cz0, 0.25), arch(cz0 + (cz1 - cz0) * 0.35, 0.9), arch(cz1, 0.35)]
    m.inside = lambda c: (0, R * 0.5, c[2])
    for r in range(2):
        a, b = rings[r], rings[r + 1]
        for i in range(4):
            m.quad(a[i], a[i + 1], b[i + 1], b[i], tex, uv)
    m.poly(rings[0], tex, uv)
    m.poly(rings[2], tex, uv)
    m.inside = None


def wing_section(z_le, chord, x, y, thick):
    return [(x, y, z_le), (x, y + thick, z_le + chord * 0.3), (x, y, z_le + chord), (x, y - thick * 0.4, z_le + chord * 0.35)]


def wing(m, p, tex, side, x_root, x_tip, z_le, root_chord, tip_chord, y, dihedral, sweep, thick):
    uv = lambda q, n: skin_uv(q, n, True)
    tip_y = y + (x_tip - x_root) * math.tan(math.radians(dihedral))
    root = wing_section(z_le, root_chord, side * x_root, y, thick)
    tip = wing_section(z_le + sweep + (root_chord - tip_chord) * 0.3, tip_chord, side * x_tip, tip_y, thick * 0.6)
    mid_y = (y + tip_y) / 2
    m.inside = lambda c: (c[0], mid_y + (c[0] * side - (x_root + x_tip) / 2) * math.tan(math.radians(dihedral)),
                          z_le + root_chord * 0.35)
    m.loft([root, tip], tex, uv)
    m.inside = None


def tail(m, p, tex):
    L = p["length"]
    zt = L / 2 - 0.26
    for side in (-1, 1):
        wing(m, p, tex, side, 0.02, p["tail_span"] / 2, zt, 0.24, 0.15, 0.02, 0, 0.03, 0.02)
    # the fin
    uv = lambda q, n: skin_uv(q, n)
    pts = [(0, 0.05, L / 2 - 0.32), (0, 0.05, L / 2 - 0.10), (0, 0.30, L / 2 - 0.12), (0, 0.30, L / 2 - 0.18)]
    for s in (-1, 1):
        q = [(s * 0.012, y, z) for _, y, z in pts]
        m.inside = lambda c: (0, 0.15, L / 2 - 0.15)
        m.poly(q, tex, uv)
    for i in range(4):
        a, b = pts[i], pts[(i + 1) % 4]
        m.inside = lambda c: (0, 0.15, L / 2 - 0.15)
        m.quad((-0.012, a[1], a[2]), (0.012, a[1], a[2]), (0.012, b[1], b[2]), (-0.012, b[1], b[2]), tex, uv)
    m.inside = None


def gear(m, p, tex):
    uv = lambda q, n: skin_uv(q, n)
    for s in (-1, 1):
        x = s * p["span"] * 0.16
        m.inside = lambda c, x=x: (x, -0.22, p["wing_z"] + 0.12)
        m.box(x - 0.035, -0.30, p["wing_z"] + 0.02, x + 0.035, p["wing_y"] - 0.01, p["wing_z"] + 0.24, tex, uv)
    m.inside = None


def body(p, tex, detail):
    m = Outward()
    fuselage(m, p, tex, 10 if detail else 6)
    half = p["span"] / 2
    for side in (-1, 1):
        wing(m, p, tex, side, p["radius"] * 0.6, half, p["wing_z"], p["root_chord"], p["tip_chord"], p["wing_y"],
             p["dihedral"], p["sweep"], 0.045)
    tail(m, p, tex)
    if p["gear"]:
        gear(m, p, tex)
    if not detail:  # the distant copy carries its moving parts fixed
        for part in (flap(p, tex, -1), flap(p, tex, 1), rudder(p, tex)):
            mesh, at = part
            m.add(mesh, at)
    return m


def flap_hinge(p, side):
    half = p["span"] / 2
    x0 = half * 0.45
    tip_z = p["wing_z"] + p["sweep"] + (p["root_chord"] - p["tip_chord"]) * 0.3
    # the trailing edge runs from the root's (wing_z + root_chord) to the tip's
    f = (x0 - p["radius"] * 0.6) / (half - p["radius"] * 0.6)
    te = (p["wing_z"] + p["root_chord"]) * (1 - f) + (tip_z + p["tip_chord"]) * f
    y = p["wing_y"] + (x0 - p["radius"] * 0.6) * math.tan(math.radians(p["dihedral"]))
    return (side * x0, y + 0.004, te - 0.07)


def flap(p, tex, side):
    """An aileron with its hinge line through the origin, along X."""
    m = Outward()
    half = p["span"] / 2
    length = half * 0.42
    dy = length * math.tan(math.radians(p["dihedral"]))
    uv = lambda q, n: skin_uv((q[0] + flap_hinge(p, side)[0], q[1], q[2] + flap_hinge(p, side)[2]), n, True)
    a = [(0, 0.012, 0), (0, 0, 0.09), (0, -0.006, 0)]
    b = [(side * length, dy + 0.008, 0), (side * length, dy, 0.07), (side * length, dy - 0.004, 0)]
    m.inside = lambda c: (side * length / 2, dy / 2, 0.03)
    m.loft([a, b], tex, uv)
    m.inside = None
    return m, flap_hinge(p, side)


def rudder_hinge(p):
    return (0.0, 0.05, p["length"] / 2 - 0.10)


def rudder(p, tex):
    """The rudder behind the fin, hinged along the upright axis through the
    origin."""
    m = Outward()
    at = rudder_hinge(p)
    uv = lambda q, n: skin_uv((q[0], q[1] + at[1], q[2] + at[2]), n)
    outline = [(0.0, 0.0), (0.0, 0.25), (0.05, 0.24), (0.09, 0.15), (0.09, 0.0)]
    for s in (-1, 1):
        q = [(s * 0.01, y, z) for z, y in outline]
        m.inside = lambda c: (0, 0.12, 0.04)
        m.poly(q, tex, uv)
    for i in range(len(outline)):
        (z0, y0), (z1, y1) = outline[i], outline[(i + 1) % len(outline)]
        m.inside = lambda c: (0, 0.12, 0.04)
        m.quad((-0.01, y0, z0), (0.01, y0, z0), (0.01, y1, z1), (-0.01, y1, z1), tex, uv)
    m.inside = None
    return m, at


def gun_positions(p):
    half = p["span"] / 2
    return [(side * half * 0.38, p["wing_y"] + 0.01, p["wing_z"] - 0.02) for side in (-1, 1)]


def gunfire(tex):
    """A muzzle flash: two crossed, two-sided quads reaching forward (-Z)."""
    m = Mesh()
    w, l = 0.07, 0.28
    uv = ((0, 0), (1, 0), (1, 1), (0, 1))
    for a, b, c, d in (((-w, 0, 0), (w, 0, 0), (w, 0, -l), (-w, 0, -l)),
                       ((0, -w, 0), (0, w, 0), (0, w, -l), (0, -w, -l))):
        m.quad(a, b, c, d, tex, uv)
        m.quad(d, c, b, a, tex, (uv[3], uv[2], uv[1], uv[0]))
    return m


def spinner(m, tex, R):
    rings = [ring(0, 0, z, R * f, R * f, 8) for z, f in ((-0.10, 0.05), (-0.06, 0.6), (0.0, 1.0))]
    m.inside = lambda c: (0, 0, -0.03)
    m.loft(rings, tex, cell_uv(0, 1), cap0=False)
    m.inside = None


def prop_static(p, tex):
    m = Outward()
    r = p["radius"] * 0.75
    spinner(m, tex, r)
    for k in range(3):
        a = math.radians(90 + k * 120)
        ca, sa = math.cos(a), math.sin(a)
        px, py = -sa, ca
        for r0, r1, part in ((0.03, 0.28, (0, 0)), (0.28, 0.33, (1, 0))):
            w0, w1 = 0.035, 0.03
            q = [(ca * r0 + px * w0, sa * r0 + py * w0, -0.02 + 0.008), (ca * r1 + px * w1, sa * r1 + py * w1, -0.02 + 0.006),
                 (ca * r1 - px * w1, sa * r1 - py * w1, -0.02 - 0.006), (ca * r0 - px * w0, sa * r0 - py * w0, -0.02 - 0.008)]
            back = [(x, y, z + 0.012) for x, y, z in q]
            m.inside = lambda c, ca=ca, sa=sa: (ca * 0.15, sa * 0.15, -0.014)
            m.loft([q, back], tex, cell_uv(*part))
    m.inside = None
    return m


def prop_run(p, tex):
    m = Outward()
    spinner(m, tex, p["radius"] * 0.75)
    R = 0.34
    n = 20
    disc_uv = lambda q, nn: (0.5 + q[0] / R * 0.375, 0.5 + q[1] / R * 0.375)
    for k in range(n):
        a0, a1 = 2 * math.pi * k / n, 2 * math.pi * (k + 1) / n
        c = (0, 0, -0.02)
        e0 = (R * math.cos(a0), R * math.sin(a0), -0.02)
        e1 = (R * math.cos(a1), R * math.sin(a1), -0.02)
        Mesh.tri(m, c, e1, e0, tex, disc_uv)  # seen from the front (-Z)
        Mesh.tri(m, c, e0, e1, tex, disc_uv)  # and from behind
    return m


def fmt(v):
    return ("%.3f" % v).rstrip("0").rstrip(".") if v else "0"


def place(x, y, z):
    return "  px 0:%s\n  py 0:%s\n  pz 0:%s\n" % (fmt(x), fmt(y), fmt(z))


def build(write_mesh, write_scene):
    """write_mesh(path, mesh) and write_scene(path, text) write the files."""
    for k, p in enumerate(PLANES):
        n = k + 1
        base = "data/planes/plane%d/" % n
        skin, prop = "p%d_skin.png" % n, "p%d_prop.png" % n
        flash = "p%d_flash.png" % n
        meshes = {
            "p%d_body" % n: body(p, skin, True),
            "p%dl_body" % n: body(p, skin, False),
            "p%d_flapL" % n: flap(p, skin, -1)[0],
            "p%d_flapR" % n: flap(p, skin, 1)[0],
            "p%d_rudder" % n: rudder(p, skin)[0],
            "p%d_gunfire" % n: gunfire(flash),
            "p%dl_gunfire" % n: gunfire(flash),
            "p%d_prop" % n: prop_static(p, prop),
            "p%d_prop_run" % n: prop_run(p, prop),
        }
        for name, m in meshes.items():
            write_mesh(base + "models/" + name + ".pof", m)
        half = p["span"] / 2
        nose = -p["length"] / 2 - 0.01
        tip_y = p["wing_y"] + half * math.tan(math.radians(p["dihedral"]))
        nulls = ('null "WingR" link -1\n' + place(half, tip_y, p["wing_z"] + 0.15) +
                 'null "WingL" link -1\n' + place(-half, tip_y, p["wing_z"] + 0.15) +
                 'null "Rotor1" link -1\n' + place(0, 0, nose))
        guns = gun_positions(p)
        s = "# aircraft %d, the %s\nfps 25\n" % (n, p["name"])
        for name in ("body", "flapL", "flapR", "rudder", "gunfire"):
            s += 'mesh "p%d_%s"\n' % (n, name)
        s += "model mesh 0 parent -1\n"
        s += "model mesh 1 parent -1\n" + place(*flap_hinge(p, -1))
        s += "model mesh 2 parent -1\n" + place(*flap_hinge(p, 1))
        s += "model mesh 3 parent -1\n" + place(*rudder_hinge(p))
        for g in guns:
            s += "model mesh 4 parent -1 flags additive\n" + place(*g)
        write_scene(base + "scenes/plane%d.pam" % n, s + nulls)
        s = "# aircraft %d seen from afar\nfps 25\nmesh \"p%dl_body\"\nmesh \"p%dl_gunfire\"\n" % (n, n, n)
        s += "model mesh 0 parent -1\n"
        for g in guns:
            s += "model mesh 1 parent -1 flags additive\n" + place(*g)
        write_scene(base + "scenes/plane%d_lod1.pam" % n, s + nulls)
        write_scene(base + "scenes/p%d_rotor_run.pam" % n,
                    "# the spinning propeller\nfps 25\nmesh \"p%d_prop_run\"\nmodel mesh 0 parent -1 flags transparent\n" % n)
        write_scene(base + "scenes/p%d_rotor_menu.pam" % n,
                    "# the propeller at rest\nfps 25\nmesh \"p%d_prop\"\nmodel mesh 0 parent -1\n" % n)
