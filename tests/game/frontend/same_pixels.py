"""same_pixels.py A.png B.png [C.png ...] X0 Y0 X1 Y1: every later frame shows
the same picture as A in the rectangle (X1, Y1 excluded), within 8 a
channel. Prints the pixels that differ and exits 1 when any does."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../demo/art"))
import pngio  # noqa: E402

a, others = sys.argv[1], sys.argv[2:-4]
x0, y0, x1, y1 = (int(v) for v in sys.argv[-4:])
wa, ha, ra = pngio.read(a)
failed = False
for b in others:
    wb, hb, rb = pngio.read(b)
    if (wa, ha) != (wb, hb):
        sys.exit("%s and %s differ in size" % (a, b))
    bad = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            pa, pb = ra[y][4 * x:4 * x + 3], rb[y][4 * x:4 * x + 3]
            if max(abs(pa[i] - pb[i]) for i in range(3)) > 8:
                if bad < 5:
                    print("%d,%d: %s against %s" % (x, y, tuple(pa), tuple(pb)))
                bad += 1
    if bad:
        print("%s and %s: %d pixels differ" % (os.path.basename(a), os.path.basename(b), bad))
        failed = True
sys.exit(1 if failed else 0)
