// Triangle set-up: sorting, area and culling, the span-table row of each
// triangle, gradients of every attribute, the left and right edges, and the
// two calls of the row's span routine (upper and lower half).
#include "gl/software/swbackend.h"
#include "gl/software/swbands.h"
#include "gl/software/swmath.h"

#include <algorithm>
#include <bit>

namespace vornGL {

using namespace sw;

namespace {

typedef __int128 i128;

typedef unsigned __int128 u128;

// Gradients from the full 16.16 vertex deltas: bracket x 2^S / area, with the
// area of the 16.16 deltas and its reciprocal taken once per triangle to 32
// significant bits. (The deltas with 4 fraction bits and the 16.16
// reciprocal of that area, which only decide culling and the edges, would
// move a texel by a noticeable part of itself on large triangles.)
struct Plane {
    i64 dx02, dx12, dy02, dy12; // 16.16 deltas of the sorted vertices
    u64 inv;                    // 2^63 / (the top 32 bits of |area|)
    int bits;                   // bit length of |area|
    bool negative;              // the area's sign
    bool flat;                  // zero area
};

inline i32 Gradient(Plane const& p, i128 bracket, int S, bool negate)
{
    if (p.flat)
        return 0;
    bool neg = ((bracket < 0) != p.negative) != negate;
    u128 mag = u128(bracket < 0 ? -bracket : bracket);
    // |bracket| is below 2^64 and inv at most 2^32: the product fits.
    int shift = p.bits + 31 - S;
    u128 q = shift >= 0 ? (mag * p.inv) >> shift : (mag * p.inv) << -shift;
    u64 r = u64(q);
    return i32(u32(neg ? u64(0) - r : r));
}

// d/dx and d/dy of an attribute with values c0, c1, c2 at the sorted vertices,
// in the units bracket x 2^S / area: S = 24 for the affine attributes and depth
// (the vertex unit times 256), 20 for the perspective weight (times 16), 16
// for the perspective products.
inline void Gradients(Plane const& p, i64 c0, i64 c1, i64 c2, int S, i32& ddx, i32& ddy)
{
    i128 d02 = c0 - c2, d12 = c1 - c2;
    ddx = Gradient(p, i128(p.dy02) * d12 - i128(p.dy12) * d02, S, false);
    ddy = Gradient(p, i128(p.dx02) * d12 - i128(p.dx12) * d02, S, true);
}

thread_local Plane g_plane; // of the triangle being set up on this thread

inline void Affine(PTriangleSetup const&, i32 c0, i32 c1, i32 c2, i32& ddx, i32& ddy)
{
    Gradients(g_plane, c0, c1, c2, 24, ddx, ddy);
}

// Perspective gradients: shift 16 for the weight (in units of w << 4), 20 for
// the products u w and v w.
inline void Persp(PTriangleSetup const&, i32 c0, i32 c1, i32 c2, int shift, i32& ddx, i32& ddy)
{
    Gradients(g_plane, c0, c1, c2, shift == 16 ? 20 : 16, ddx, ddy);
}

// (bracket * invArea) >> shift with the 16.16 reciprocal (the noise span's
// set-up, which no state reaches).
inline i32 Scale(i64 bracket, i32 inv, int shift) { return i32(u32(u64(i64((i128(bracket) * inv) >> shift)))); }

inline bool Smooth(PTriangleSetup const& s) { return s.enables & kEnSmooth; }

inline bool Grey(PVertex const* v) { return v->r == v->g && v->g == v->b; }

// The grey rule: MODULATE rows whose vertex colours are all grey draw with
// the grey-intensity routine. With flat shading only the last vertex, whose
// colour the triangle takes, counts.
inline void GreyRule(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c, PVertex const* flat)
{
    if (s.row != 3 && s.row != 7 && s.row != 13 && s.row != 17)
        return;
    if (Smooth(s) ? (Grey(a) && Grey(b) && Grey(c)) : Grey(flat))
        s.row += 2;
}

void ColourGradients(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c)
{
    Affine(s, a->a, b->a, c->a, s.dAdx, s.dAdy);
    Affine(s, a->r, b->r, c->r, s.dRdx, s.dRdy);
    Affine(s, a->g, b->g, c->g, s.dGdx, s.dGdy);
    Affine(s, a->b, b->b, c->b, s.dBdx, s.dBdy);
}

void ClearAux(PTriangleSetup& s) { s.colourAux[0] = s.colourAux[1] = s.colourAux[2] = s.colourAux[3] = 0; }

// The weights of a far triangle are scaled up by a common power of two.
// Perspective interpolation depends only on the ratios of the three weights,
// but the products u w and v w and their gradients are whole numbers: with
// the weight of a vertex hundreds of units away (2^36 / w is about 1500)
// they kept a few bits per pixel step, and a large far triangle (a sky dome)
// tore along its edges. The largest weight is brought up to at least
// kWeightFloor (that of a vertex 8 units away) as long as the products stay
// below kProductTop (the spans step them in 32 bits, so a texture repeated
// many times keeps a smaller shift).
constexpr u64 kWeightFloor = u64(1) << 17;
constexpr u64 kProductTop = u64(1) << 28;

int WeightShift(PVertex const* const v[3])
{
    u64 w = 0, c = 1;
    for (int i = 0; i < 3; ++i) {
        w = std::max<u64>(w, u64(std::abs(i64(v[i]->w))));
        c = std::max<u64>(c, u64(std::max(std::abs(i64(v[i]->u)), std::abs(i64(v[i]->v)))));
    }
    int k = 0;
    while (w != 0 && (w << k) < kWeightFloor && ((c * (w << (k + 1))) >> 12) < kProductTop)
        ++k;
    return k;
}

void PerspectiveUVW(PTriangleSetup& s, PVertex const* v[3])
{
    int k = s.weightShift = WeightShift(v);
    for (int i = 0; i < 3; ++i) {
        s.vertexUW[i] = MulShift(v[i]->u, Shl(v[i]->w, k), 12);
        s.vertexVW[i] = MulShift(v[i]->v, Shl(v[i]->w, k), 12);
    }
    Persp(s, Shl(v[0]->w, k), Shl(v[1]->w, k), Shl(v[2]->w, k), 16, s.dWdx, s.dWdy);
    Persp(s, s.vertexUW[0], s.vertexUW[1], s.vertexUW[2], 20, s.dUdx, s.dUdy);
    Persp(s, s.vertexVW[0], s.vertexVW[1], s.vertexVW[2], 20, s.dVdx, s.dVdy);
}

// Common part of every edge: scanline count, slope, prestep and x at the
// first scanline. False when the edge crosses no scanline centre.
inline bool Edge(PTriangleSetup& s, PVertex const* from, PVertex const* to, i32& slope, i32& x)
{
    s.lineCount = Ceil(to->y) - Ceil(from->y);
    if (s.lineCount == 0)
        return false;
    i32 dy = i32(std::min<i64>(i64(to->y) - from->y, INT32_MAX));
    i32 dx = i32(std::clamp<i64>(i64(to->x) - from->x, INT32_MIN, INT32_MAX));
    if (s.lineCount == 1) {
        s.edgeInvDy = OneOver(dy);
        slope = MulShift(dx, s.edgeInvDy, 16);
    } else {
        s.edgeInvDy = OneOver(dy >> 4);
        slope = MulShift(dx, s.edgeInvDy, 20);
    }
    s.prestepY = from->y < s.clipMinY ? Sub(s.clipMinY, from->y) : i32((0u - u32(from->y)) & 0xFFFFu);
    x = Add(from->x, MulShift(s.prestepY, slope, 16));
    return true;
}

// An attribute along the left edge: its step per scanline and its value at
// the first scanline.
inline void Along(PTriangleSetup const& s, i32 slope, i32 ddx, i32 ddy, i32 base, i32& step, i32& edge)
{
    step = Add(ddy, MulShift(ddx, slope, 16));
    edge = Add(base, MulShift(step, s.prestepY, 16));
}

inline bool LeftCommon(PTriangleSetup& s, PVertex const* from, PVertex const* to, i32& slope)
{
    i32 x;
    if (!Edge(s, from, to, slope, x))
        return false;
    s.leftDxDy = slope;
    s.leftX = x;
    Along(s, slope, s.dZdx, s.dZdy, Add(Shl(from->z, 8), Shl(s.depthOffset, 8)), s.stepZ, s.edgeZ);
    return true;
}

inline void LeftColours(PTriangleSetup& s, PVertex const* from, i32 slope)
{
    Along(s, slope, s.dAdx, s.dAdy, i32(from->a) << 8, s.stepA, s.edgeA);
    Along(s, slope, s.dRdx, s.dRdy, i32(from->r) << 8, s.stepR, s.edgeR);
    Along(s, slope, s.dGdx, s.dGdy, i32(from->g) << 8, s.stepG, s.edgeG);
    Along(s, slope, s.dBdx, s.dBdy, i32(from->b) << 8, s.stepB, s.edgeB);
}

inline void LeftUVW(PTriangleSetup& s, PVertex const* from, i32 slope)
{
    int h = s.lowerHalf ? 1 : 0;
    Along(s, slope, s.dUdx, s.dUdy, s.vertexUW[h], s.stepU, s.edgeU);
    Along(s, slope, s.dVdx, s.dVdy, s.vertexVW[h], s.stepV, s.edgeV);
    Along(s, slope, s.dWdx, s.dWdy, Shl(from->w, 4 + s.weightShift), s.stepW, s.edgeW);
}

} // namespace

// ---------------------------------------------------------------------------
// Gradient set-ups

void GradientFlat(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*) {}

void GradientGouraud(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c)
{
    if (Smooth(s))
        ColourGradients(s, a, b, c);
    ClearAux(s);
}

void GradientUV(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c)
{
    Affine(s, a->u, b->u, c->u, s.dUdx, s.dUdy);
    Affine(s, a->v, b->v, c->v, s.dVdx, s.dVdy);
    s.spanFlags |= kSpanTextured;
}

void GradientUVG(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c)
{
    GradientUV(s, a, b, c);
    GreyRule(s, a, b, c, s.flatVertex ? s.flatVertex : c);
    if (Smooth(s))
        ColourGradients(s, a, b, c);
    ClearAux(s);
}

void GradientAll(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c)
{
    PVertex const* v[3] = {a, b, c};
    PerspectiveUVW(s, v);
    if (Smooth(s)) {
        GreyRule(s, a, b, c, s.flatVertex ? s.flatVertex : c);
        ColourGradients(s, a, b, c);
    }
    ClearAux(s);
    s.spanFlags |= kSpanTextured;
}

void GradientAllP(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c)
{
    PVertex const* v[3] = {a, b, c};
    PerspectiveUVW(s, v);
    if (Smooth(s)) {
        for (int i = 0; i < 3; ++i) {
            i32 w = Shl(v[i]->w, s.weightShift);
            s.vertexColourW[i][0] = MulShift(v[i]->r, w, 12);
            s.vertexColourW[i][1] = MulShift(v[i]->g, w, 12);
            s.vertexColourW[i][2] = MulShift(v[i]->b, w, 12);
            s.vertexColourW[i][3] = MulShift(v[i]->a, w, 12);
        }
        auto cw = [&](int ch, i32& ddx, i32& ddy) {
            Persp(s, s.vertexColourW[0][ch], s.vertexColourW[1][ch], s.vertexColourW[2][ch], 20, ddx, ddy);
        };
        cw(0, s.dRdx, s.dRdy);
        cw(1, s.dGdx, s.dGdy);
        cw(2, s.dBdx, s.dBdy);
        cw(3, s.dAdx, s.dAdy);
    }
    ClearAux(s);
    s.spanFlags |= kSpanTextured;
}

void GradientNoice(PTriangleSetup& s, PVertex const* a, PVertex const* b, PVertex const* c)
{
    i64 d02 = (i64(a->v) - c->v) << 8, d12 = (i64(b->v) - c->v) << 8;
    s.dVdx = Scale((d12 * s.dy02 - d02 * s.dy12) >> 24, s.invArea, 20);
    s.dVdy = Scale((d12 * s.dx02 - d02 * s.dx12) >> 24, -s.invArea, 20);
    s.spanFlags |= kSpanTextured;
}

// ---------------------------------------------------------------------------
// Edge set-ups

void RightSlope(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope, x;
    if (!Edge(s, from, to, slope, x))
        return;
    s.rightDxDy = slope;
    s.rightX = x;
}

void LeftSlopeFlat(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope;
    LeftCommon(s, from, to, slope);
}

void LeftSlopeGouraud(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope;
    if (LeftCommon(s, from, to, slope) && Smooth(s))
        LeftColours(s, from, slope);
}

void LeftSlopeUV(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope;
    if (!LeftCommon(s, from, to, slope))
        return;
    Along(s, slope, s.dUdx, s.dUdy, Shl(from->u, 8), s.stepU, s.edgeU);
    Along(s, slope, s.dVdx, s.dVdy, Shl(from->v, 8), s.stepV, s.edgeV);
}

void LeftSlopeUVG(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope;
    if (!LeftCommon(s, from, to, slope))
        return;
    Along(s, slope, s.dUdx, s.dUdy, Shl(from->u, 8), s.stepU, s.edgeU);
    Along(s, slope, s.dVdx, s.dVdy, Shl(from->v, 8), s.stepV, s.edgeV);
    if (Smooth(s))
        LeftColours(s, from, slope);
}

void LeftSlopeAll(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope;
    if (!LeftCommon(s, from, to, slope))
        return;
    LeftUVW(s, from, slope);
    if (Smooth(s))
        LeftColours(s, from, slope);
}

void LeftSlopeAllP(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope;
    if (!LeftCommon(s, from, to, slope))
        return;
    LeftUVW(s, from, slope);
    if (Smooth(s)) {
        int h = s.lowerHalf ? 1 : 0;
        Along(s, slope, s.dRdx, s.dRdy, s.vertexColourW[h][0], s.stepR, s.edgeR);
        Along(s, slope, s.dGdx, s.dGdy, s.vertexColourW[h][1], s.stepG, s.edgeG);
        Along(s, slope, s.dBdx, s.dBdy, s.vertexColourW[h][2], s.stepB, s.edgeB);
        Along(s, slope, s.dAdx, s.dAdy, s.vertexColourW[h][3], s.stepA, s.edgeA);
    }
}

void LeftSlopeNoice(PTriangleSetup& s, PVertex const* from, PVertex const* to)
{
    i32 slope;
    if (!LeftCommon(s, from, to, slope))
        return;
    Along(s, slope, s.dVdx, s.dVdy, Shl(from->v, 8), s.stepV, s.edgeV);
}

// ---------------------------------------------------------------------------
// DrawPolygons

void RasterizeTriangles(PTriangleSetup& s, PDrawParams const& d, PVertex const* const* tris, int count)
{
    i32 const drawRow = d.renderRow;
    bool const smooth = s.enables & kEnSmooth;
    bool const banded = s.bandBottom != 0;
    for (int t = 0; t < count; ++t) {
        PVertex const* p0 = tris[3 * t];
        PVertex const* p1 = tris[3 * t + 1];
        PVertex const* p2 = tris[3 * t + 2];
        if (banded) {
            // Rows from ceil(top) up to ceil(bottom) at most.
            i32 yMin = std::min({p0->y, p1->y, p2->y}), yMax = std::max({p0->y, p1->y, p2->y});
            if (Ceil(yMax) <= s.bandTop || Ceil(yMin) >= BandBottom(s))
                continue;
        }
        s.flatVertex = p2;
        if (!smooth) {
            s.flatColour = (p2->r & 0xF800u) | ((p2->g >> 5) & 0x07E0u) | (p2->b >> 11) | ((u32(p2->a) << 8) & 0xFF0000u);
            s.edgeA = i32(p2->a) << 8;
            s.edgeR = i32(p2->r) << 8;
            s.edgeG = i32(p2->g) << 8;
            s.edgeB = i32(p2->b) << 8;
            s.stepA = s.stepR = s.stepG = s.stepB = 0;
            s.dAdx = s.dRdx = s.dGdx = s.dBdx = 0;
        }
        // Sort top to bottom, keeping the parity of the permutation.
        PVertex const *top, *mid, *bot;
        bool odd;
        i32 y0 = p0->y, y1 = p1->y, y2 = p2->y;
        if (y1 < y0) {
            if (y1 > y2) {
                top = p2, mid = p1, bot = p0, odd = true;
            } else if (y0 > y2) {
                top = p1, mid = p2, bot = p0, odd = false;
            } else {
                top = p1, mid = p0, bot = p2, odd = true;
            }
        } else if (y0 > y2) {
            top = p2, mid = p0, bot = p1, odd = false;
        } else if (y1 > y2) {
            top = p0, mid = p2, bot = p1, odd = true;
        } else {
            top = p0, mid = p1, bot = p2, odd = false;
        }
        s.dy02 = (top->y >> 12) - (bot->y >> 12);
        s.dy12 = (mid->y >> 12) - (bot->y >> 12);
        s.dx02 = (top->x >> 12) - (bot->x >> 12);
        s.dx12 = (mid->x >> 12) - (bot->x >> 12);
        i32 area = i32(u32(u64((i64(s.dx12) * s.dy02 - i64(s.dx02) * s.dy12) >> 4)));
        if (area == 0)
            continue;
        if (s.enables & kEnCullFace) {
            bool negative = (area < 0) != odd;
            if ((s.faceMode & 2) ? negative : !negative)
                continue;
        }
        i32 row = drawRow;
        if (d.textured && d.perspective && !(row & 1)) {
            i32 minX = std::min({top->x, mid->x, bot->x}), maxX = std::max({top->x, mid->x, bot->x});
            if (-(s.dy02 >> 4) <= 8 && ((i64(maxX) - minX) >> 16) <= 8)
                row -= 4;
        }
        s.invArea = OneOverS(area);
        {
            Plane& pl = g_plane;
            pl.dx02 = i64(top->x) - bot->x;
            pl.dx12 = i64(mid->x) - bot->x;
            pl.dy02 = i64(top->y) - bot->y;
            pl.dy12 = i64(mid->y) - bot->y;
            i128 a = i128(pl.dx12) * pl.dy02 - i128(pl.dx02) * pl.dy12;
            pl.flat = a == 0;
            pl.negative = a < 0;
            u64 mag = u64(a < 0 ? -a : a); // below 2^63: 16.16 coordinates within +-2^30
            pl.bits = pl.flat ? 0 : 64 - std::countl_zero(mag);
            // The area's top 32 bits (the area is top32 x 2^(bits - 32)).
            u64 top32 = pl.bits > 32 ? mag >> (pl.bits - 32) : mag << (32 - pl.bits);
            pl.inv = pl.flat ? 0 : (u64(1) << 63) / top32;
        }

        // Depth gradients and polygon offset.
        Gradients(g_plane, top->z, mid->z, bot->z, 24, s.dZdx, s.dZdy);
        s.depthOffset = 0;
        if (s.enables & kEnPolygonOffset) {
            if (d.polygonFactor != 0) {
                i64 g = std::abs(i64(s.dZdy)) > std::abs(i64(s.dZdx)) ? s.dZdy : s.dZdx;
                s.depthOffset = i32((std::abs(g) * d.polygonFactor) >> 24);
            }
            s.depthOffset = Add(s.depthOffset, d.polygonUnits >> 16);
        }

        s.row = row;
        m_polyfunc[row].gradient(s, top, mid, bot);
        row = s.row;
        if (row < 0 || row >= kSpanRows)
            continue;
        PPolyFuncs const& f = m_polyfunc[row];
        PEdgeFn longEdge = s.invArea < 0 ? f.leftEdge : f.rightEdge;
        PEdgeFn shortEdge = s.invArea < 0 ? f.rightEdge : f.leftEdge;

        s.lowerHalf = 0;
        longEdge(s, top, bot);
        if (s.lineCount == 0)
            continue;
        if (mid->y > s.clipMinY && mid->y != top->y) {
            shortEdge(s, top, mid);
            if (s.lineCount != 0)
                f.span(&s, top->y, mid->y);
        }
        if (s.clipMaxY > mid->y) {
            s.lowerHalf = 1;
            shortEdge(s, mid, bot);
            if (s.lineCount != 0)
                f.span(&s, mid->y, bot->y);
        }
    }
    s.flatVertex = nullptr;
}

int P3DBackendSW::DrawPolygons(PVertex** tris, int count)
{
    PDrawParams d{m_renderRow, m_currentTexture != nullptr, m_perspective, m_polygonFactor, m_polygonUnits};
    // The noise stream runs on from one triangle to the next: its rows are
    // drawn at once, in order.
    if (m_bands && m_renderRow != kSpanRows - 1) {
        m_bands->Add(m_setup, d, tris, count);
        return -1;
    }
    FlushBands();
    RasterizeTriangles(m_setup, d, tris, count);
    return -1;
}

} // namespace vornGL
