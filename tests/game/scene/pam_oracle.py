#!/usr/bin/env python3
"""Independent reader of the .pam scene layout (docs/formats/pam.md).

Prints each scene given on the command line in the canonical text form of
pamwrite --dump, or "REFUSED" when the reader rules refuse it, one scene after
another separated by a line "----". Shares no code with the engine.
"""
import struct
import sys
from fractions import Fraction

TRACKS = ["px", "py", "pz", "ry", "rz", "rx"]
FLAGS = ["dissolveenv", "dissolve", "additive", "halfalpha", "transparent",
         "boxcoll", "skybox", "static", "perpoly", "background"]


class Refused(Exception):
    pass


def round_half_away(fr):
    n, d = fr.numerator, fr.denominator
    q, r = divmod(abs(n), d)
    if 2 * r >= d:
        q += 1
    return q if n >= 0 else -q


def fixed(v):
    for digits in range(6):
        q = round_half_away(Fraction(v * 10 ** digits, 65536))
        s = str(abs(q)).rjust(digits + 1, "0")
        text = s[:len(s) - digits] + ("." + s[len(s) - digits:] if digits else "")
        if q < 0:
            text = "-" + text
        if round_half_away(Fraction(q, 10 ** digits) * 65536) == v:
            return text
    raise AssertionError(v)


def quote(b):
    out = '"'
    for c in b:
        if c in (0x22, 0x5C):
            out += "\\" + chr(c)
        elif c < 0x20 or c >= 0x7F:
            out += "\\x%02x" % c
        else:
            out += chr(c)
    return out + '"'


class Reader:
    def __init__(self, data):
        self.d = data
        self.p = 0

    def take(self, n):
        if self.p + n > len(self.d):
            raise Refused("truncated")
        b = self.d[self.p:self.p + n]
        self.p += n
        return b

    def u8(self):
        return self.take(1)[0]

    def s8(self):
        return struct.unpack("<b", self.take(1))[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def be16(self):
        return struct.unpack(">H", self.take(2))[0]

    def string(self):
        n = self.s8()
        if n < 0:
            raise Refused("string length")
        b = self.take(n)
        if 0 in b:
            raise Refused("zero byte")
        return b

    def track(self):
        n = self.be16()
        keys = []
        for _ in range(n):
            t, v = struct.unpack("<ii", self.take(8))
            keys.append((t >> 16, v))
        return keys


def track_line(name, keys):
    return "  " + " ".join([name] + ["%d:%s" % (f, fixed(v)) for f, v in keys])


def flags_text(f):
    parts = [FLAGS[b] for b in range(10) if f & (1 << b)]
    rest = f & ~0x3FF
    if rest:
        parts.append("0x%x" % rest)
    return "|".join(parts) if parts else "0"


def read(data):
    r = Reader(data)
    out = []
    if r.u8() != 0x84:
        raise Refused("magic")
    fps = r.s8()
    out.append("fps %d" % fps)
    nmesh = r.s8()
    if nmesh < 0:
        raise Refused("mesh count")
    for _ in range(nmesh):
        name = r.string()
        if b"/" in name or b"\\" in name or b".." in name:
            raise Refused("mesh name")
        out.append("mesh " + quote(name))
    sky = None
    if r.u8():
        n = r.s8()
        if n < 0:
            raise Refused("sky count")
        sky = [r.i32() for _ in range(n)]
    nmodel = r.i32()
    if nmodel < 0 or nmodel > 65535:
        raise Refused("model count")
    models = []
    for i in range(nmodel):
        flags = r.be16()
        mesh = r.s8()
        parent = r.s8()
        if mesh < -1 or mesh >= nmesh or parent < -1 or parent >= nmodel or parent == i:
            raise Refused("model index")
        lines = ["model mesh %d parent %d flags %s" % (mesh, parent, flags_text(flags))]
        lines += [track_line(TRACKS[k], r.track()) for k in range(6)]
        if flags & 0x20:
            lines += [track_line("s" + "xyz"[k], r.track()) for k in range(3)]
        if flags & 0x2:
            lines.append("  alpha " + fixed(r.i32()))
        elif flags & 0x1:
            lines.append(track_line("envelope", r.track()))
        models.append((parent, lines))
    if sky is not None:
        if any(s < 0 or s >= nmodel for s in sky):
            raise Refused("sky index")
        out.append(" ".join(["skybox"] + [str(s) for s in sky]))
    if r.u8():
        out.append("areas " + fixed(r.i32()))
    for i, (parent, lines) in enumerate(models):
        seen, p = 0, parent
        while p >= 0:
            seen += 1
            if seen > nmodel:
                raise Refused("parent cycle")
            p = models[p][0]
        out += lines
    nnull = r.i32()
    if nnull < 0:
        raise Refused("null count")
    for _ in range(nnull):
        name = r.string()
        tracks = [r.track() for _ in range(6)]
        link = r.i32()
        if link < -1 or link >= nmodel:
            raise Refused("link")
        out.append("null %s link %d" % (quote(name), link))
        out += [track_line(TRACKS[k], tracks[k]) for k in range(6)]
    if r.u8():
        byte = r.s8()
        out.append("camera byte %d" % byte)
        out += [track_line(TRACKS[k], r.track()) for k in range(6)]
        if r.u8():
            out.append("  fov " + fixed(r.i32()))
        else:
            out.append(track_line("fovkeys", r.track()))
    if r.u8():
        count = struct.unpack("<h", struct.pack("<i", r.i32())[:2])[0]
        if count < 0:
            raise Refused("trigger count")
        for _ in range(count):
            name = r.string()
            out.append("trigger " + quote(name))
            out += [track_line(TRACKS[k], r.track()) for k in range(3)]
            if r.u8():
                out.append("  radius " + fixed(r.i32()))
            else:
                out.append(track_line("radiuskeys", r.track()))
    return "\n".join(out) + "\n"


def main():
    first = True
    for path in sys.argv[1:]:
        if not first:
            sys.stdout.write("----\n")
        first = False
        with open(path, "rb") as f:
            data = f.read()
        try:
            sys.stdout.write(read(data))
        except Refused:
            sys.stdout.write("REFUSED\n")


if __name__ == "__main__":
    main()
