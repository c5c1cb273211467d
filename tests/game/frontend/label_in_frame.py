"""label_in_frame.py PNG...: the bomb's label facing the player lies inside
the selector frame at the right screen edge: every bright label pixel of the
frame's rows lies between the frame's two amber brackets. Prints the ranges;
exits 1 when a label runs into or past a bracket or none is seen."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../demo/art"))
import pngio  # noqa: E402


def check(path):
    w, h, rows = pngio.read(path)
    px = lambda x, y: tuple(rows[y][4 * x:4 * x + 3])
    mid = h // 2 - 5  # the frame is centred 5 pixels above the middle
    amber = [x for x in range(w // 2, w) if px(x, mid)[0] > 180 and 90 < px(x, mid)[1] < 210 and px(x, mid)[2] < 90]
    runs = []  # runs of amber pixels along the row: the bomb's bands, then the two brackets
    for x in amber:
        if runs and x - runs[-1][1] <= 2:
            runs[-1][1] = x
        else:
            runs.append([x, x])
    if len(runs) < 2:
        return "no selector frame"
    left, right = runs[-2][1], runs[-1][0]
    half = h // 10
    label = [x for y in range(mid - half, mid + half) for x in range(w // 2, w) if min(px(x, y)) > 200]
    if len(label) < 50:
        return "no label in the frame's rows"
    print("%s: brackets end at %d and start at %d, label %d to %d" % (os.path.basename(path), left, right,
                                                                     min(label), max(label)))
    gap = 4 * w // 480  # the brackets' dark rims and a margin, at the frame's scale
    if min(label) <= left + gap or max(label) >= right - gap:
        return "the label runs into or past the brackets"
    return None


bad = 0
for p in sys.argv[1:]:
    why = check(p)
    if why:
        print("%s: %s" % (p, why))
        bad = 1
sys.exit(bad)
