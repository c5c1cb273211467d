// The span engine: one template that walks the scanlines of a triangle half,
// clips each span, starts every interpolant at the first pixel and runs a
// member's pixel operation over the span. A member is a traits class naming
// how texture coordinates are found (none, affine, one of the perspective
// schemes, the noise stream, the bilinear alpha), which colour channels it
// interpolates, its depth test and depth write, whether it reads the colour
// key, and its Shade operation. Every combination is compiled on its own, so
// no pixel loop tests a mode.
//
// Internal to the software back end.
#pragma once
#include <algorithm>
#include <cstddef>

#include "gl/software/swmath.h"
#include "gl/software/swsetup.h"

namespace vornGL {
namespace sw {

enum class TexMode {
    None,
    Affine,       // u, v step linearly
    PerspExact,   // reciprocal of W >> 4 every 8 pixels, runs end on exact values
    PerspExactOr1,// the same with (W >> 4) | 1
    PerspStepped, // reciprocal of W | 1 every 8 pixels, runs continue from stepped values
    Noise,        // a texel stream with a random offset per scanline
    Bilinear,     // four alpha bytes filtered (88 textures)
};

enum class ZTest {
    None,
    Signed,   // stored > (z >> 8), arithmetic shift
    Unsigned, // stored > (z >> 8), logical shift
};

enum class ZWrite { Never, Mask, Always };

// Values of one span that do not change along it.
struct SpanConst {
    u16 const* texels;
    int su, sv;
    u32 mask;
    u32 spanFlags;
    u32 flat;
    u32 enables;
    bool white;            // the white fast path applies to this span
    i32 u8, v8, w8;        // perspective modes: the steps of u, v and w over 8 pixels
    i32 a0, r0, g0, b0;    // colour at the first pixel
};

struct Col {
    i32 a, r, g, b;
};

// The depth value of a pixel, limited to the buffer's range.
template <ZTest Z> inline u32 DepthOf(i32 z)
{
    if constexpr (Z == ZTest::Unsigned)
        return std::min(u32(z) >> 8, 0xFFFFu);
    else
        return u32(std::clamp(z >> 8, 0, 0xFFFF));
}

// Default hooks of a member.
struct MemberBase {
    static constexpr TexMode kTex = TexMode::None;
    static constexpr bool kRGB = false;   // interpolates red, green, blue per pixel
    static constexpr bool kRedOnly = false; // of those, only red is read
    static constexpr bool kAlpha = false; // interpolates alpha per pixel
    static constexpr bool kHeld = false;  // takes the colour at the first pixel for the whole span
    static constexpr bool kAux = false;   // adds colourAux at the first pixel
    static constexpr bool kRound = false; // adds 0x7FFF to each colour channel at the first pixel
    static constexpr ZTest kZ = ZTest::None;
    static constexpr ZWrite kZWrite = ZWrite::Never;
    static constexpr bool kKeyed = false;
    static void Begin(SpanConst&) {}
};

// The values of one span at its first pixel and their steps. Texture
// coordinates have 24 fraction bits; for the perspective modes u, v and w are
// the weighted coordinates and the weight (u, v over w give the coordinates).
struct Start {
    u16* dst;
    u16* depth;
    Col c, dc;
    i32 z, dz;
    i32 u, v, w, du, dv, dw;
};

// The pixel loop of a member. The running values live in locals for the whole
// span (copied in and out of the Run) so that they stay in registers.
template <class M, bool Key> struct Pixels {
    struct State {
        u16* dst;
        u16* depth;
        Col c;
        i32 z;
    };

    // A run of n pixels from index i with coordinates stepping linearly. The
    // texel address is formed from the running sums u << 8 and v << sv, as
    // rotate-left((u << 8) + ((v << sv) >> 24), su) & mask. Clamped: the depth
    // values of the run may leave the buffer's range and are limited per pixel.
    template <bool Clamped>
    static inline void Pass(State& st, Col const dc, i32 const dz, int i, int n, u32 u, u32 v, u32 du, u32 dv,
                           SpanConst const& k)
    {
        u16* __restrict dst = st.dst + i;
        u16* __restrict depth = st.depth + i;
        Col c = st.c;
        i32 z = st.z;
        u16 const* __restrict texels = k.texels;
        int const su = k.su, sv = k.sv;
        u32 const mask = k.mask;
        bool const writeDepth = (k.spanFlags & kSpanDepthWrite) != 0;
        u32 us = u << 8, vs = v << sv;
        u32 const dus = du << 8, dvs = dv << sv;
        for (int j = 0; j < n; ++j) {
            bool pass = true;
            u32 d = 0;
            if constexpr (M::kZ != ZTest::None) {
                if constexpr (Clamped)
                    d = DepthOf<M::kZ>(z);
                else if constexpr (M::kZ == ZTest::Unsigned)
                    d = u32(z) >> 8;
                else
                    d = u32(z >> 8);
                pass = u32(depth[j]) > d;
            }
            if (pass) {
                u32 t = 0;
                if constexpr (M::kTex == TexMode::Noise)
                    t = texels[std::rotl(u + ((v << sv) >> 24), su) & mask];
                else if constexpr (M::kTex == TexMode::Bilinear)
                    t = M::Filter(u, v, k);
                else if constexpr (M::kTex != TexMode::None)
                    t = texels[std::rotl(us + (vs >> 24), su) & mask];
                bool drawn = M::template Shade<Key>(dst + j, t, c, k);
                if constexpr (M::kZWrite == ZWrite::Always) {
                    if (drawn)
                        depth[j] = u16(d);
                } else if constexpr (M::kZWrite == ZWrite::Mask) {
                    if (drawn && writeDepth)
                        depth[j] = u16(d);
                }
            }
            if constexpr (M::kTex != TexMode::None) {
                if constexpr (M::kTex == TexMode::Noise || M::kTex == TexMode::Bilinear) {
                    u += du;
                    v += dv;
                } else {
                    us += dus;
                    vs += dvs;
                }
            }
            if constexpr (M::kRGB) {
                c.r = Add(c.r, dc.r);
                if constexpr (!M::kRedOnly) {
                    c.g = Add(c.g, dc.g);
                    c.b = Add(c.b, dc.b);
                }
            }
            if constexpr (M::kAlpha)
                c.a = Add(c.a, dc.a);
            if constexpr (M::kZ != ZTest::None)
                z = Add(z, dz);
        }
        st.c = c;
        st.z = z;
    }

    // The depth limits are applied per pixel only when the span's depth values
    // leave the buffer's range.
    // Returns the reciprocals taken.
    [[gnu::always_inline]] static inline u32 Span(Start const& r, int count, SpanConst const& k)
    {
        if constexpr (M::kZ != ZTest::None) {
            // Both ends lie in 0 to 0xFFFFFF when neither has a bit above 23.
            i64 z0 = r.z, z1 = i64(r.z) + i64(r.dz) * (count - 1);
            if ((u64(z0) | u64(z1)) > 0xFFFFFF)
                return Body<true>(r, count, k);
        }
        return Body<false>(r, count, k);
    }

    template <bool Clamped> [[gnu::always_inline]] static inline u32 Body(Start const& r, int count, SpanConst const& k)
    {
        auto Linear = [](State& st, Col const dc, i32 const dz, int i, int n, u32 u, u32 v, u32 du, u32 dv,
                         SpanConst const& kk) { Pass<Clamped>(st, dc, dz, i, n, u, v, du, dv, kk); };
        State st{r.dst, r.depth, r.c, r.z};
        Col const dc = r.dc;
        i32 const dz = r.dz;
        if constexpr (M::kTex == TexMode::None) {
            Linear(st, dc, dz, 0, count, 0, 0, 0, 0, k);
            return 0;
        } else if constexpr (M::kTex == TexMode::Affine || M::kTex == TexMode::Bilinear ||
                             M::kTex == TexMode::Noise) {
            // For the noise stream u holds the running stream value, du its step.
            Linear(st, dc, dz, 0, count, u32(r.u), u32(r.v), u32(r.du), u32(r.dv), k);
            return 0;
        } else if constexpr (M::kTex == TexMode::PerspStepped) {
            // Each run of 8 pixels starts from the stepped end of the one
            // before; the reciprocal for the next run is taken before this
            // run's pixels, so that its latency overlaps them.
            i32 W = r.w, U = r.u, V = r.v;
            i32 const W8 = k.w8, U8 = k.u8, V8 = k.v8;
            i64 rc = PerspRecip(W | 1);
            i32 u = PerspCoord(U, rc), v = PerspCoord(V, rc);
            int runs = count >> 3, rem = count & 7;
            u32 recips = 1 + runs + (rem ? 1 : 0);
            W = Add(W, W8);
            rc = (runs || rem) ? PerspRecip(W | 1) : 0;
            int i = 0;
            for (; runs > 0; --runs) {
                U = Add(U, U8);
                V = Add(V, V8);
                i32 du = Sub(PerspCoord(U, rc), u) >> 3;
                i32 dv = Sub(PerspCoord(V, rc), v) >> 3;
                W = Add(W, W8);
                if (runs > 1 || rem)
                    rc = PerspRecip(W | 1);
                Linear(st, dc, dz, i, 8, u32(u), u32(v), u32(du), u32(dv), k);
                u = Add(u, Mul(du, 8));
                v = Add(v, Mul(dv, 8));
                i += 8;
            }
            if (rem) {
                i32 du = Sub(PerspCoord(Add(U, U8), rc), u) >> 3;
                i32 dv = Sub(PerspCoord(Add(V, V8), rc), v) >> 3;
                Linear(st, dc, dz, i, rem, u32(u), u32(v), u32(du), u32(dv), k);
            }
            return recips;
        } else {
            // Each run of 8 pixels ends on the exact coordinates; the
            // reciprocal for the next run is taken before this run's pixels.
            // The last run holds the 1 to 8 pixels left.
            constexpr bool kOr1 = M::kTex == TexMode::PerspExactOr1;
            // A weight below 16 has the reciprocal of 1 / 16 (with the 1 or-ed
            // in) or none.
            auto recip = [](i32 w) -> i64 { return (w >> 4) == 0 || (w >> 4) == -1 ? (kOr1 ? i64(1) << 36 : 0) : PerspRecip(w); };
            i32 W = r.w, U = r.u, V = r.v;
            i32 const W8 = k.w8, U8 = k.u8, V8 = k.v8;
            i64 rc = recip(W);
            i32 u = PerspCoord(U, rc), v = PerspCoord(V, rc);
            W = Add(W, W8);
            rc = recip(W);
            u32 recips = 2;
            int i = 0;
            for (;;) {
                U = Add(U, U8);
                V = Add(V, V8);
                i32 ue = PerspCoord(U, rc), ve = PerspCoord(V, rc);
                u32 du = u32(Sub(ue, u) >> 3), dv = u32(Sub(ve, v) >> 3);
                if (count - i <= 8) {
                    Linear(st, dc, dz, i, count - i, u32(u), u32(v), du, dv, k);
                    break;
                }
                W = Add(W, W8);
                rc = recip(W);
                recips += 1;
                Linear(st, dc, dz, i, 8, u32(u), u32(v), du, dv, k);
                u = ue;
                v = ve;
                i += 8;
            }
            return recips;
        }
    }
};

// Walks the scanlines of one half: rows ceil(max(yTop, clipMinY)) up to
// min(ceil(yBottom), clipMaxY >> 16), each span from ceil(max(leftX,
// clipMinX)) up to ceil(min(rightX, clipMaxX)); the edge values advance after
// every scanline and are written back for the lower half.
template <class M, bool Key> void SpanLines(PTriangleSetup* s, i32 yTop, i32 yBottom)
{
    i32 y0 = Ceil(std::max(yTop, s->clipMinY));
    i32 y1 = std::min(Ceil(yBottom), s->clipMaxY >> 16);
    i32 n = y1 - y0;
    s->lineCount = n - 1;
    if (n <= 0)
        return;
    constexpr bool kTextured = M::kTex != TexMode::None;
    constexpr bool kColour = M::kRGB || M::kAlpha || M::kHeld;
    // The colour channels a member reads.
    constexpr bool kEdgeA = M::kAlpha || M::kHeld, kEdgeR = M::kRGB || M::kHeld;
    constexpr bool kEdgeGB = (M::kRGB && !M::kRedOnly) || M::kHeld;
    ptrdiff_t pitchPixels = s->pitch / 2;
    u16* row = s->colourBuffer + ptrdiff_t(y0) * pitchPixels;
    u16* drow = s->depthBuffer + ptrdiff_t(y0) * pitchPixels;
    i32 L = s->leftX, R = s->rightX;
    i32 eU = s->edgeU, eV = s->edgeV, eW = s->edgeW;
    i32 eA = s->edgeA, eR = s->edgeR, eG = s->edgeG, eB = s->edgeB;
    i32 eZ = s->edgeZ;
    SpanConst k;
    k.texels = s->texels;
    k.su = s->texShiftU;
    k.sv = s->texShiftV;
    k.mask = (1u << (k.su + k.sv)) - 1;
    k.spanFlags = s->spanFlags;
    k.flat = s->flatColour;
    k.enables = s->enables;
    k.white = false;
    k.u8 = Mul(s->dUdx, 8);
    k.v8 = Mul(s->dVdx, 8);
    k.w8 = Mul(s->dWdx, 8);
    u32 recips = 0;
    i32 noise = 0;
    // The lines [first, last) lie in the band. The edges pass the lines
    // before and after it in one step each: k wrapping additions of a step
    // are one wrapping addition of k times the step. The noise stream reads
    // its table on every line, so its lines are walked.
    constexpr bool kNoise = M::kTex == TexMode::Noise;
    i32 const first = i32(std::clamp<i64>(i64(s->bandTop) - y0, 0, n));
    i32 const last = i32(std::clamp<i64>(i64(BandBottom(*s)) - y0, first, n));
    auto pass = [&](i32 k) {
        L = Add(L, Mul(s->leftDxDy, k));
        R = Add(R, Mul(s->rightDxDy, k));
        if constexpr (kTextured) {
            eU = Add(eU, Mul(s->stepU, k));
            eV = Add(eV, Mul(s->stepV, k));
            eW = Add(eW, Mul(s->stepW, k));
        }
        if constexpr (kColour) {
            eA = Add(eA, Mul(s->stepA, k));
            eR = Add(eR, Mul(s->stepR, k));
            eG = Add(eG, Mul(s->stepG, k));
            eB = Add(eB, Mul(s->stepB, k));
        }
        if constexpr (M::kZ != ZTest::None)
            eZ = Add(eZ, Mul(s->stepZ, k));
        row += ptrdiff_t(k) * pitchPixels;
        drow += ptrdiff_t(k) * pitchPixels;
    };
    if constexpr (!kNoise)
        if (first > 0)
            pass(first);
    for (i32 line = kNoise ? 0 : first; line < (kNoise ? n : last); ++line) {
        if constexpr (M::kTex == TexMode::Noise) {
            u32 rnd = s->noiseTable[s->noiseIndex & s->noiseMask];
            s->noiseIndex += 1;
            noise = Add(noise, i32(rnd << (24 - k.su)));
        }
        i32 start, p;
        if (s->clipMinX > L) {
            start = s->clipMinX;
            p = Sub(s->clipMinX, L);
        } else {
            start = L;
            p = i32((0u - u32(L)) & 0xFFFFu);
        }
        i32 x0 = Ceil(start);
        i32 count = Ceil(std::min(R, s->clipMaxX)) - x0;
        if constexpr (kNoise)
            if (line < first || line >= last)
                count = 0;
        if (count > 0) {
            // Only the fields the member reads are set.
            Start r;
            r.dst = row + x0;
            r.depth = drow + x0;
            r.c = Col{0, 0, 0, 0};
            r.dc = Col{0, 0, 0, 0};
            r.z = 0;
            r.dz = 0;
            r.u = r.v = r.w = r.du = r.dv = r.dw = 0;
            if constexpr (kColour) {
                if constexpr (kEdgeA) {
                    r.c.a = Add(eA, MulShift(p, s->dAdx, 16));
                    r.dc.a = s->dAdx;
                }
                if constexpr (kEdgeR) {
                    r.c.r = Add(eR, MulShift(p, s->dRdx, 16));
                    r.dc.r = s->dRdx;
                }
                if constexpr (kEdgeGB) {
                    r.c.g = Add(eG, MulShift(p, s->dGdx, 16));
                    r.c.b = Add(eB, MulShift(p, s->dBdx, 16));
                    r.dc.g = s->dGdx;
                    r.dc.b = s->dBdx;
                }
                if constexpr (M::kAux) {
                    r.c.a = Add(r.c.a, s->colourAux[0]);
                    r.c.r = Add(r.c.r, s->colourAux[1]);
                    r.c.g = Add(r.c.g, s->colourAux[2]);
                    r.c.b = Add(r.c.b, s->colourAux[3]);
                }
                if constexpr (M::kRound) {
                    r.c.a = Add(r.c.a, 0x7FFF);
                    r.c.r = Add(r.c.r, 0x7FFF);
                    r.c.g = Add(r.c.g, 0x7FFF);
                    r.c.b = Add(r.c.b, 0x7FFF);
                }
                k.a0 = r.c.a;
                k.r0 = r.c.r;
                k.g0 = r.c.g;
                k.b0 = r.c.b;
            }
            if constexpr (M::kZ != ZTest::None) {
                r.z = Add(eZ, MulShift(p, s->dZdx, 16));
                r.dz = s->dZdx;
            }
            if constexpr (kTextured) {
                r.dv = s->dVdx;
                r.v = Add(eV, MulShift(p, s->dVdx, 16));
                if constexpr (M::kTex == TexMode::Noise) {
                    // u holds the running stream value, du its step.
                    r.u = noise;
                    r.du = k.su == 0 ? 0 : i32(1u << (32 - k.su));
                } else {
                    r.u = Add(eU, MulShift(p, s->dUdx, 16));
                    r.du = s->dUdx;
                }
                r.w = Add(eW, MulShift(p, s->dWdx, 16));
                r.dw = s->dWdx;
            }
            M::Begin(k);
            recips += Pixels<M, Key>::Span(r, count, k);
            if constexpr (M::kTex == TexMode::Noise)
                noise = Add(noise, Mul(r.du, count));
        }
        // The edges advance: texture coordinates for textured members, colour
        // for the members using colour, depth for the depth members.
        L = Add(L, s->leftDxDy);
        R = Add(R, s->rightDxDy);
        if constexpr (kTextured) {
            eU = Add(eU, s->stepU);
            eV = Add(eV, s->stepV);
            eW = Add(eW, s->stepW);
        }
        if constexpr (kColour) {
            eA = Add(eA, s->stepA);
            eR = Add(eR, s->stepR);
            eG = Add(eG, s->stepG);
            eB = Add(eB, s->stepB);
        }
        if constexpr (M::kZ != ZTest::None)
            eZ = Add(eZ, s->stepZ);
        row += pitchPixels;
        drow += pitchPixels;
    }
    if constexpr (!kNoise)
        if (n > last)
            pass(n - last);
    s->leftX = L;
    s->rightX = R;
    s->edgeU = eU;
    s->edgeV = eV;
    s->edgeW = eW;
    s->edgeA = eA;
    s->edgeR = eR;
    s->edgeG = eG;
    s->edgeB = eB;
    s->edgeZ = eZ;
    s->lineCount = -1;
    g_spanReciprocals += recips;
}

// The colour key is the same for every span of a triangle: each case has a
// scanline walk of its own.
template <class M> void SpanEngine(PTriangleSetup* s, i32 yTop, i32 yBottom)
{
    if (M::kKeyed && s->colourKey != 0)
        SpanLines<M, true>(s, yTop, yBottom);
    else
        SpanLines<M, false>(s, yTop, yBottom);
}

} // namespace sw
} // namespace vornGL
