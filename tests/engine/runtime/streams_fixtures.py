#!/usr/bin/env python3
"""Independent fixtures for the stream, archive and chunk-file tests.

Written with Python's struct and zlib only, sharing no code with the engine's
readers or with the C++ writers in tools/lib.

  streams_fixtures.py make OUTDIR
  streams_fixtures.py check-plzp FILE OFFSET EXPECTED [raw]
"""
import os
import random
import struct
import sys
import zlib


def name_hash(name, case_insensitive):
    data = name.encode()
    if b".." in data:
        out = bytearray()
        i = 0
        while i < len(data):
            if data[i:i + 1] in (b"/", b"\\") and data[i + 1:i + 3] == b"..":
                while out and out[-1:] not in (bytearray(b"/"), bytearray(b"\\")):
                    out.pop()
                if out:
                    out.pop()
                i += 3
                continue
            out.append(data[i])
            i += 1
        data = bytes(out)
    if data[:1] in (b"/", b"\\"):
        data = data[1:]
    h = 0
    for k, c in enumerate(data):
        if case_insensitive:
            if c == 0x2F and data[k + 1:k + 2] == b"/":
                continue
            if c == 0x5C:
                c = 0x2F
            elif 0x61 <= c <= 0x7A:
                c -= 0x20
        elif c == 0x5C:
            c = 0x2F
        h = (h * 67 - 113 + c) & 0xFFFFFFFF
    return h


def plzp(data, level):
    z = zlib.compress(data, level)
    return b"PLZP" + struct.pack("<II", len(data), len(z)) + z


def raw_deflate(data, level):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def archive(entries, case_insensitive):
    """entries: list of (name, stored bytes). Data are laid out in reverse
    table order with gaps, so offsets are not simply increasing."""
    rows = sorted(((name_hash(n, case_insensitive), n, b) for n, b in entries), key=lambda r: r[0])
    count = len(rows)
    flags = 0x80000000 if case_insensitive else 0
    pos = 12 + 12 * count
    blobs = []
    offsets = {}
    for h, n, b in reversed(rows):
        pos += 3  # gap
        offsets[h] = pos
        blobs.append(b"\xEE" * 3 + b)
        pos += len(b)
    table = b"".join(struct.pack("<III", offsets[h], h, len(b)) for h, n, b in rows)
    return b"VOFS" + struct.pack("<II", flags, count) + table + b"".join(blobs)


def payload(seed, size):
    rnd = random.Random(seed)
    words = [b"alpha ", b"bravo ", b"charlie ", b"delta ", b"echo "]
    out = bytearray()
    while len(out) < size:
        if rnd.random() < 0.2:
            out += bytes(rnd.getrandbits(8) for _ in range(16))
        else:
            out += rnd.choice(words)
    return bytes(out[:size])


def chunk(cid, data):
    return cid + struct.pack("<I", len(data)) + data


def form(ftype, body):
    return chunk(b"FORM", ftype + body)


def piff(ftype, body):
    return b"PIFF" + struct.pack("<I", 4 + len(body)) + ftype + body


def make(out):
    os.makedirs(os.path.join(out, "expect"), exist_ok=True)

    def put(name, data, mode="wb"):
        with open(os.path.join(out, name), mode) as f:
            f.write(data)

    # Archive entries: name, content, stored form.
    contents = [
        ("data\\2dgfx\\loading.png", bytes(range(256)) * 40, None),
        ("data\\fonts\\A.fnt", b"font data " * 100, None),
        ("data\\scripts\\levels.cfg", payload(7, 3000), None),
        ("empty.bin", b"", None),
        ("tiny", b"ab", None),
        ("data\\2dgfx\\soft_label_ok.png", payload(9, 5000), None),
    ]
    for level in range(10):
        contents.append(("data\\comp\\level%d.bin" % level, payload(100 + level, 20000 + level), level))
    entries = []
    manifest = []
    for i, (name, data, level) in enumerate(contents):
        stored = data if level is None else plzp(data, level)
        entries.append((name, stored))
        put(os.path.join("expect", "%d.bin" % i), data)
        manifest.append("%s\t%08X\t%08X\t%d\t%d\n" % (name, name_hash(name, False), name_hash(name, True), i,
                                                      0 if level is None else 1))
    put("archive_cs.vfs", archive(entries, False))
    put("archive_ci.vfs", archive(entries, True))
    put("manifest.txt", "".join(manifest), "w")

    # Compressed streams of one payload at every level, in every form.
    zp = payload(42, 100000)
    put("zpayload.bin", zp)
    for level in range(10):
        put("z%d_header.bin" % level, plzp(zp, level))
        put("z%d_zlib.bin" % level, zlib.compress(zp, level))
        put("z%d_raw.bin" % level, raw_deflate(zp, level))

    # Chunk files: plain, compressed with and without the header.
    body = (chunk(b"HEAD", struct.pack("<4I", 1, 2, 3, 4)) +
            form(b"MATL", chunk(b"NAME", b"steel") + form(b"TEXS", chunk(b"TEX0", b"abc"))) +
            chunk(b"VERT", bytes(range(100))))
    p = piff(b"3DOB", body)
    put("mesh_plain.pof", p)
    put("mesh_plzp.pof", plzp(p, 6))
    put("mesh_zlib.pof", zlib.compress(p, 9))
    return 0


def check_plzp(path, offset, expected_path, raw):
    with open(path, "rb") as f:
        data = f.read()[offset:]
    with open(expected_path, "rb") as f:
        expected = f.read()
    if raw:
        got = zlib.decompressobj(-15).decompress(data)
        if got != expected:
            print("raw data differ")
            return 1
        return 0
    if data[:4] != b"PLZP":
        print("no PLZP magic")
        return 1
    usize, csize = struct.unpack("<II", data[4:12])
    if usize != len(expected):
        print("uncompressed size %d, expected %d" % (usize, len(expected)))
        return 1
    if csize != len(data) - 12:
        print("compressed size %d, stream holds %d" % (csize, len(data) - 12))
        return 1
    if zlib.decompress(data[12:12 + csize]) != expected:
        print("data differ")
        return 1
    return 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "make":
        return make(argv[2])
    if len(argv) >= 5 and argv[1] == "check-plzp":
        return check_plzp(argv[2], int(argv[3]), argv[4], len(argv) > 5 and argv[5] == "raw")
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
