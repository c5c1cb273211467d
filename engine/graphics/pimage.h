// What the PNG and NRV readers share: the Paeth predictor, the surface format
// of a true-colour image, the check of a surface decoded into, and where an
// image lands on a surface.
#pragma once
#include <cstdint>
#include <cstdlib>

#include "engine/graphics/psurface.h"

// The Paeth predictor of the left (a), upper (b) and upper-left (c) values.
inline int PPaeth(int a, int b, int c)
{
    int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// The format of a new surface for a true-colour image under the load flags.
PSurfaceFormat PTrueColourFormat(int loadFlags);

// A surface an image can be decoded into: pixels of a known format, positive
// sides and rows of at least width pixels.
bool PIsLoadTarget(const PSurface& s);

// The part of a w x h image drawn at (x, y) on a surface of targetW x
// targetH: negative positions skip the image's first columns and rows. When
// nothing shows, drawW and drawH are both 0.
struct PImagePlacement {
    int64_t srcX0, srcY0, dstX0, dstY0, drawW, drawH;

    PImagePlacement(int x, int y, int64_t w, int64_t h, int targetW, int targetH);
    // Whether image row r lands on the surface.
    bool Shows(int64_t r) const { return r >= srcY0 && r < srcY0 + drawH; }
    // The surface row of image row r (one that shows).
    int64_t DestRow(int64_t r, bool bottomUp) const
    {
        return bottomUp ? dstY0 + drawH - 1 - (r - srcY0) : dstY0 + (r - srcY0);
    }
};
