#!/usr/bin/env python3
"""Builds the visual files of the demo data into a tree:

    build.py images OUT WORK             interface pictures and textures (rsvg-convert)
    build.py models OUT WORK POFWRITE PAMWRITE    meshes and scenes

OUT is the archive tree (files land under OUT/data/...), WORK a scratch
folder (after images, it holds every picture's SVG document, named after
the picture's path with "_" for "/"). The same sources always give the
same bytes."""
import multiprocessing
import os
import random
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pngio  # noqa: E402

MAGENTA = (255, 0, 255)


def finish(pixels_path, out_path, mode):
    """Turns rsvg-convert's RGBA output into the file the game loads."""
    w, h, rows = pngio.read(pixels_path)
    # Dithering thresholds: random, not a pattern, since the game draws
    # these pictures scaled by picking pixels, which would beat a pattern's
    # period into stripes; seeded, so that the same sources give the same bytes.
    rnd = random.Random(1)
    for r in rows:
        for i in range(0, len(r), 4):
            a = r[i + 3]
            if mode in ("rgb", "rgb5"):
                # composite over black; keep clear of the magenta colour key
                if a != 255:
                    r[i], r[i + 1], r[i + 2] = r[i] * a // 255, r[i + 1] * a // 255, r[i + 2] * a // 255
                    r[i + 3] = 255
                if mode == "rgb5":
                    # The game keeps 5 bits of each channel: a smooth shade
                    # is dithered to them, so that it shows no bands.
                    t = rnd.random()
                    for c in range(i, i + 3):
                        q = min(31, int(r[c] * 31 / 255.0 + t))
                        r[c] = q << 3 | q >> 2
            elif mode == "key":
                if a >= 128:
                    r[i + 3] = 255
                else:
                    r[i], r[i + 1], r[i + 2], r[i + 3] = 255, 0, 255, 0
                    continue
            elif a == 0:
                r[i], r[i + 1], r[i + 2] = MAGENTA
                continue
            if r[i] >= 248 and r[i + 1] < 4 and r[i + 2] >= 248:
                r[i + 1] = 4
    pngio.write(out_path, w, h, rows, mode not in ("rgb", "rgb5"))


def render_one(job):
    name, w, h, mode, svg, out, work = job
    base = os.path.join(work, name.replace("/", "_"))
    with open(base + ".svg", "w", encoding="utf-8") as f:
        f.write(svg)
    subprocess.run(["rsvg-convert", "-w", str(w), "-h", str(h), base + ".svg", "-o", base + ".png"], check=True)
    target = os.path.join(out, name)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    finish(base + ".png", target, mode)
    return name


def build_images(out, work, jobs):
    import ui
    import textures
    todo = [item + (out, work) for item in ui.images() + textures.images()]
    names = [t[0] for t in todo]
    if len(set(names)) != len(names):
        sys.exit("build.py: an image is listed twice")
    # WORK keeps each picture's SVG document (the archive test reads them):
    # none from an earlier build may stay behind
    for f in os.listdir(work):
        if f.endswith((".svg", ".png")):
            os.remove(os.path.join(work, f))
    with multiprocessing.Pool(jobs) as pool:
        for _ in pool.imap_unordered(render_one, todo):
            pass


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    what, out, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    jobs = max(1, min(4, os.cpu_count() or 1))
    if what == "images":
        build_images(out, work, jobs)
    elif what == "models" and len(sys.argv) == 6:
        import models
        models.build(out, work, sys.argv[4], sys.argv[5])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
