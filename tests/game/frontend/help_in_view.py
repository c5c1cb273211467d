"""help_in_view.py [--end] X,Y,W,H PNG...: the help page's text and pictures lie
inside the rectangle they are drawn in (X, Y, W, H: the area less its clip):
the outermost column on each side of it shows only the page's background in
every row, no text (bright pixels) and no picture (the pictures' blue-black
ground, which the page's greenish background never shows; the black rules
cross the whole width by design). Something cut by the clip would cover
those columns. With --end the last two frames show the same text (the page
scrolled to its end). Prints what it finds; exits 1 on any frame with
content in those columns, or when the end was not reached."""
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


def text_pixels(path, x, y, w, h):
    _, _, rows = pngio.read(path)
    return {(cx, cy) for cy in range(y, y + h) for cx in range(x, x + w) if min(rows[cy][4 * cx:4 * cx + 3]) > 220}


def main():
    args = sys.argv[1:]
    end = args[:1] == ["--end"]
    args = args[1:] if end else args
    x, y, w, h = (int(v) for v in args[0].split(","))
    frames = args[1:]
    failed = 0
    for path in frames:
        bad = check(path, x, y, w, h)
        if bad:
            failed += 1
            print("%s: %d pixels of text or picture on the edge columns %d and %d, first %s" %
                  (os.path.basename(path), len(bad), x, x + w - 1, bad[:3]))
    print("%d frames, %d with something cut at the sides" % (len(frames), failed))
    if end and (len(frames) < 2 or text_pixels(frames[-2], x, y, w, h) != text_pixels(frames[-1], x, y, w, h)):
        print("the last two frames show different text: the page's end was not reached")
        failed += 1
    return 1 if failed else 0


sys.exit(main())
