// The remaining span routines: the flat fill, flat and Gouraud colour with
// depth, alpha-blended Gouraud colour, the generic 565 span of the multiply
// blends and the noise stream.
#include "engine/runtime/ptext.h"
#include "gl/software/swmembers.h"
#include "gl/software/swspanlist.h"

namespace vornGL {

using namespace sw;

thread_local uint32_t g_spanReciprocals = 0;

#define SPAN(name, ...) \
    void name(PTriangleSetup* s, int32_t yTop, int32_t yBottom) { SpanEngine<__VA_ARGS__>(s, yTop, yBottom); }

// One colour, no depth, no blending: rows are filled; only the edges advance.
void DrawInnerFlat(PTriangleSetup* s, int32_t yTop, int32_t yBottom)
{
    i32 y0 = Ceil(std::max(yTop, s->clipMinY));
    i32 y1 = std::min(Ceil(yBottom), s->clipMaxY >> 16);
    i32 n = y1 - y0;
    s->lineCount = n;
    if (n <= 0)
        return;
    ptrdiff_t pitchPixels = s->pitch / 2;
    u16* row = s->colourBuffer + ptrdiff_t(y0) * pitchPixels;
    u16 colour = u16(s->flatColour);
    i32 L = s->leftX, R = s->rightX;
    // Rows outside the band are stepped over (see SpanEngine).
    i64 const top = s->bandTop, bottom = BandBottom(*s);
    for (i32 y = y0; n > 0; --n, ++y) {
        i32 x0 = Ceil(std::max(L, s->clipMinX));
        i32 count = Ceil(std::min(R, s->clipMaxX)) - x0;
        if (count > 0 && y >= top && y < bottom)
            PMemSet16(row + x0, colour, unsigned(count));
        L = Add(L, s->leftDxDy);
        R = Add(R, s->rightDxDy);
        row += pitchPixels;
        s->lineCount -= 1;
    }
    s->leftX = L;
    s->rightX = R;
}

SPAN(DrawInnerFlatZ, CFlatZ)
SPAN(DrawInnerGouraudZ, CGouraudZ)
SPAN(DrawInnerAG, CAG<false>)
SPAN(DrawInnerAGZ, CAG<true>)

// 565 texels multiplied into the pixel (M or MX2, with or without depth),
// always perspective-correct; the row of the triangle picks the blend.
void DrawInnerGeneric(PTriangleSetup* s, int32_t yTop, int32_t yBottom)
{
    int row = s->row;
    if (row >= 82 && row <= 89)
        SpanEngine<CGeneric<Op::M, false>>(s, yTop, yBottom);
    else if (row >= 92 && row <= 99)
        SpanEngine<CGeneric<Op::M, true>>(s, yTop, yBottom);
    else if (row >= 102 && row <= 109)
        SpanEngine<CGeneric<Op::MX2, false>>(s, yTop, yBottom);
    else if (row >= 112 && row <= 119)
        SpanEngine<CGeneric<Op::MX2, true>>(s, yTop, yBottom);
    else
        SpanEngine<CNothing>(s, yTop, yBottom); // draws nothing, steps the edges
}

void DrawInnerNoice(PTriangleSetup* s, int32_t yTop, int32_t yBottom)
{
    if (!s->noiseTable) {
        SpanEngine<CNothing>(s, yTop, yBottom);
        return;
    }
    SpanEngine<CNoise>(s, yTop, yBottom);
}

} // namespace vornGL
