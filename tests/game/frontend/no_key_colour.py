"""no_key_colour.py PNG...: no pixel of the frames shows the pictures' colour
key, magenta, or a colour filtered mostly from it (red and blue at least 200,
green at most 60): transparent texels never reach the screen. Prints each
frame that has such pixels with their count and bounds; exits 1 if any has."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../demo/art"))
import pngio  # noqa: E402


def near_key(path):
    """The (x, y) of the frame's pixels near the colour key."""
    w, h, rows = pngio.read(path)
    found = []
    for y, row in enumerate(rows):
        reds, greens, blues = row[0::4], row[1::4], row[2::4]
        for x in range(w):
            if reds[x] >= 200 and blues[x] >= 200 and greens[x] <= 60:
                found.append((x, y))
    return found


bad = 0
for p in sys.argv[1:]:
    pts = near_key(p)
    if pts:
        bad += 1
        xs = [x for x, _ in pts]
        ys = [y for _, y in pts]
        print("%s: %d pixels near the colour key, x %d to %d, y %d to %d" %
              (p, len(pts), min(xs), max(xs), min(ys), max(ys)))
sys.exit(1 if bad else 0)
