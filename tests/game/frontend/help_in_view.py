"""help_in_view.py X,Y,W,H PNG...: the help page's text and pictures lie
inside the rectangle they are drawn in (X, Y, W, H: the area less its clip):
the outermost column on each side of it shows only the page's background in
every row, no text (bright pixels) and no picture (the pictures' blue-black
ground, which the page's greenish background never shows; the black rules
cross the whole width by design). Something cut by the clip would cover
those columns. Prints what it finds; exits 1 on any frame with content in
them."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../demo/art"))
import pngio  # noqa: E402

BRIGHT = 200  # text is drawn white; the background's brightest is about 150
DARK = 45     # the pictures' ground is about (16, 24, 24), the background's darkest (33, 46, 32)


def content(p):
    r, g, b = p
    return max(p) > BRIGHT or (max(p) < DARK and b - r >= 6)


def check(path, x, y, w, h):
    fw, fh, rows = pngio.read(path)
    px = lambda cx, cy: rows[cy][4 * cx:4 * cx + 3]
    bad = []
    for cy in range(max(y, 0), min(y + h, fh)):
        for cx in (x, x + w - 1):
            p = tuple(px(cx, cy))
            if content(p):
                bad.append((cx, cy, p))
    return bad


def main():
    x, y, w, h = (int(v) for v in sys.argv[1].split(","))
    failed = 0
    for path in sys.argv[2:]:
        bad = check(path, x, y, w, h)
        if bad:
            failed += 1
            print("%s: %d pixels of text or picture on the edge columns %d and %d, first %s" %
                  (os.path.basename(path), len(bad), x, x + w - 1, bad[:3]))
    print("%d frames, %d with something cut at the sides" % (len(sys.argv) - 2, failed))
    return 1 if failed else 0


sys.exit(main())
