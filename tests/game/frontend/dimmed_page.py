"""dimmed_page.py PAGE.png WINDOW.png X0 Y0 X1 Y1: in the rectangle (X1, Y1
excluded) of a message window's body, the page drawn before the window
opened shows through it, dimmed: each channel keeps at least half its value
(less 8; the window's shade and its faint picture leave about 55%, its text
only adds light). A window that hides the page leaves its own dark fill
where the page's labels were. Prints the first pixels that fail and exits 1
when any does."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../demo/art"))
import pngio  # noqa: E402

page, window = sys.argv[1], sys.argv[2]
x0, y0, x1, y1 = (int(v) for v in sys.argv[3:7])
wa, ha, ra = pngio.read(page)
wb, hb, rb = pngio.read(window)
if (wa, ha) != (wb, hb):
    sys.exit("%s and %s differ in size" % (page, window))
bad = 0
for y in range(y0, y1):
    for x in range(x0, x1):
        pa, pb = ra[y][4 * x:4 * x + 3], rb[y][4 * x:4 * x + 3]
        if any(2 * pb[i] < pa[i] - 16 for i in range(3)):
            if bad < 5:
                print("%d,%d: %s over %s" % (x, y, tuple(pb), tuple(pa)))
            bad += 1
if bad:
    print("%s over %s: %d pixels hide the page" % (os.path.basename(window), os.path.basename(page), bad))
sys.exit(1 if bad else 0)
