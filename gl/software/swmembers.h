// The members of the span families: what each span routine does to one pixel.
// Each keeps its family's own quirks (weights, skip thresholds, signed or
// unsigned depth compares, whether depth is written, the white fast path),
// so routines that look alike are not always interchangeable.
//
// Internal to the software back end.
#pragma once
#include "gl/software/swspans.h"

namespace vornGL {
namespace sw {

enum class Op { Replace, A, AA, Add, M, MX2 };

inline u32 Apply(Op op, u32 d, u32 c, u32 w)
{
    switch (op) {
    case Op::A: return BlendA(d, c, w);
    case Op::AA: return BlendAA(d, c, w);
    case Op::Add: return BlendAdd(d, c);
    case Op::M: return BlendM(d, c);
    case Op::MX2: return BlendMX2(d, c);
    default: return c;
    }
}

// ---------------------------------------------------------------------------
// The hand-tuned bodies: RGB565 texels (bit 5 is the key) or no texture;
// depth bodies compare the logical z >> 8 and always store it.

template <TexMode T, bool Z> struct HBase : MemberBase {
    static constexpr TexMode kTex = T;
    static constexpr ZTest kZ = Z ? ZTest::Unsigned : ZTest::None;
    static constexpr ZWrite kZWrite = Z ? ZWrite::Always : ZWrite::Never;
    static constexpr bool kKeyed = T != TexMode::None;
};

// Smooth colour.
template <bool Z> struct HSmooth : HBase<TexMode::None, Z> {
    static constexpr bool kRGB = true;
    static constexpr bool kRound = Z;
    template <bool Key> static bool Shade(u16* d, u32, Col const& c, SpanConst const&)
    {
        *d = u16(Colour565(c.r, c.g, c.b));
        return true;
    }
};

// Texel copied.
template <TexMode T, bool Z> struct HTex : HBase<T, Z> {
    template <bool Key> static bool Shade(u16* d, u32 t, Col const&, SpanConst const&)
    {
        if (Key && (t & 0x20))
            return false;
        *d = u16(t);
        return true;
    }
};

// The flat colour blended: A with the weight alpha >> 3, AA, or added.
template <Op O, bool Z> struct HFlat : HBase<TexMode::None, Z> {
    template <bool Key> static bool Shade(u16* d, u32, Col const&, SpanConst const& k)
    {
        u32 w = ((k.flat >> 16) & 0xFF) >> 3;
        u32 c = k.flat & 0xFFFF;
        if constexpr (O == Op::A)
            *d = u16(BlendA(*d, c, w));
        else if constexpr (O == Op::AA)
            *d = u16(SatAddSpread(((Spread(c) * w) >> 5) & kSpreadMask, Spread(*d)));
        else
            *d = u16(BlendAdd(*d, c));
        return true;
    }
};

// The texel blended with the interpolated alpha's top five bits.
template <Op O, TexMode T, bool Z> struct HTexBlend : HBase<T, Z> {
    static constexpr bool kAlpha = O != Op::Add;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const&)
    {
        if (Key && (t & 0x20))
            return false;
        u32 w = u32(c.a >> 19);
        if constexpr (O == Op::A)
            *d = u16(BlendA(*d, t, w));
        else if constexpr (O == Op::AA)
            *d = u16(SatAddSpread(((Spread(t) * w) >> 5) & kSpreadMask, Spread(*d)));
        else
            *d = u16(BlendAdd(*d, t));
        return true;
    }
};

// The interpolated colour blended (A weight (A >> 19) + 1 without depth,
// A >> 19 with depth).
template <Op O, bool Z> struct HSmoothBlend : HBase<TexMode::None, Z> {
    static constexpr bool kRGB = true;
    static constexpr bool kAlpha = true;
    static constexpr bool kRound = Z;
    template <bool Key> static bool Shade(u16* d, u32, Col const& c, SpanConst const&)
    {
        u32 S = ColourSpread(c.r, c.g, c.b);
        u32 D = Spread(*d);
        u32 w = u32(c.a >> 19);
        if constexpr (O == Op::A)
            *d = u16(Fold((D + (((w + (Z ? 0 : 1)) * (S - D)) >> 5)) & kSpreadMask));
        else if constexpr (O == Op::AA)
            *d = u16(SatAddSpread(((S * w) >> 5) & kSpreadMask, D));
        else
            *d = u16(SatAddSpread(S, D));
        return true;
    }
};

enum class Env { Modulate, AddColour, Grey };

// A 565 texel times the vertex colour, channel by channel: five bits of each
// colour channel (six of green) plus one, so that white keeps the texel and
// black gives black.
inline u32 Modulate565(u32 t, Col const& c)
{
    return (((t & 0x001Fu) * (u32(c.b >> 19) + 1)) >> 5) | ((((t & 0x07E0u) * (u32(c.g >> 18) + 1)) >> 6) & 0x07E0u) |
           ((((t & 0xF800u) * (u32(c.r >> 19) + 1)) >> 5) & 0xF800u);
}

// The texel combined with the vertex colour: modulated (GT), added (BT), or
// scaled by one grey intensity taken from red (GWT).
template <Env E, TexMode T, bool Z> struct HTexColour : HBase<T, Z> {
    static constexpr bool kRGB = true;
    static constexpr bool kRedOnly = E == Env::Grey;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const&)
    {
        if (Key && (t & 0x20))
            return false;
        if constexpr (E == Env::Modulate)
            *d = u16(Modulate565(t, c));
        else if constexpr (E == Env::AddColour)
            *d = u16(SatAddSpread(Spread(t), ColourSpread(c.r, c.g, c.b)));
        else
            *d = u16(Fold(((Spread(t) * u32(c.r >> 19)) >> 5) & kSpreadMask));
        return true;
    }
};

// MODULATE under blending: the texel times the vertex colour, blended with
// the interpolated alpha's top five bits (A, AA) or added.
template <Op O, TexMode T, bool Z> struct HTexColourBlend : HBase<T, Z> {
    static constexpr bool kRGB = true;
    static constexpr bool kAlpha = O != Op::Add;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const&)
    {
        if (Key && (t & 0x20))
            return false;
        u32 src = Modulate565(t, c);
        if constexpr (O == Op::A)
            *d = u16(BlendA(*d, src, u32(c.a >> 19)));
        else if constexpr (O == Op::AA)
            *d = u16(SatAddSpread(((Spread(src) * u32(c.a >> 19)) >> 5) & kSpreadMask, Spread(*d)));
        else
            *d = u16(BlendAdd(*d, src));
        return true;
    }
};

// 88 texels blended as A under the vertex alpha. With enable bit 0x10000000
// the luminance scales the interpolated colour; otherwise it scales the
// colour the span starts with (both as luminance / 256).
template <bool Colour> struct HAGT88 : HBase<TexMode::Affine, false> {
    static constexpr bool kRGB = true;
    static constexpr bool kAlpha = true;
    static constexpr bool kKeyed = false;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const& k)
    {
        u32 a = t & 0xFF;
        u32 L1 = (t >> 8) + 1;
        if (Colour && (k.enables & kEnTexCoordArray)) {
            u32 f = (a * u32(c.a)) >> 27;
            if (!f)
                return false;
            u32 col = ((L1 * u32(c.b)) >> 27) | (((L1 * u32(c.g)) & 0xFC000000u) >> 21) |
                      (((L1 * u32(c.r)) & 0xF8000000u) >> 16);
            *d = u16(BlendA(*d, col, f + 1));
            return true;
        }
        if (!(a & 0xF8))
            return false;
        u32 f = (a * u32(c.a)) >> 27;
        if (!f)
            return false;
        u32 S0 = (u32(k.r0 & 0xF80000) >> 8) | ((u32(k.g0) & 0xFC0000u) << 3) | (u32(k.b0 >> 19) & 0x1F);
        u32 S = ((S0 * (L1 >> 3)) >> 5) & kSpreadMask;
        u32 D = Spread(*d);
        *d = u16(Fold((D + (((f + 1) * (S - D)) >> 5)) & kSpreadMask));
        return true;
    }
};

// ---------------------------------------------------------------------------
// Compiled members without texture.

struct CFlatZ : MemberBase {
    static constexpr ZTest kZ = ZTest::Unsigned;
    static constexpr ZWrite kZWrite = ZWrite::Always;
    template <bool Key> static bool Shade(u16* d, u32, Col const&, SpanConst const& k)
    {
        *d = u16(k.flat);
        return true;
    }
};

struct CGouraudZ : MemberBase {
    static constexpr bool kRGB = true;
    static constexpr bool kAux = true;
    static constexpr ZTest kZ = ZTest::Unsigned;
    static constexpr ZWrite kZWrite = ZWrite::Always;
    template <bool Key> static bool Shade(u16* d, u32, Col const& c, SpanConst const&)
    {
        *d = u16(Colour565(c.r, c.g, c.b));
        return true;
    }
};

// Interpolated colour alpha-blended: weight 1 + (A >> 19) without depth,
// A >> 19 with depth (unsigned compare, depth written under the mask).
template <bool Z> struct CAG : MemberBase {
    static constexpr bool kRGB = true;
    static constexpr bool kAlpha = true;
    static constexpr bool kAux = true;
    static constexpr ZTest kZ = Z ? ZTest::Unsigned : ZTest::None;
    static constexpr ZWrite kZWrite = Z ? ZWrite::Mask : ZWrite::Never;
    template <bool Key> static bool Shade(u16* d, u32, Col const& c, SpanConst const&)
    {
        u32 w = u32(c.a >> 19) + (Z ? 0 : 1);
        *d = u16(BlendA(*d, Colour565(c.r, c.g, c.b), w));
        return true;
    }
};

// ---------------------------------------------------------------------------
// 4444 texels.

enum class Key4444 { Alpha0, Below8, Below8Bit27 };

template <TexMode T, bool G, bool Z> struct C4444Base : MemberBase {
    static constexpr TexMode kTex = T;
    static constexpr bool kAux = true;
    static constexpr ZTest kZ = Z ? ZTest::Signed : ZTest::None;
    static constexpr ZWrite kZWrite = Z ? ZWrite::Mask : ZWrite::Never;
};

// Replace: keyed copies skip alpha 0; G members modulate.
template <TexMode T, bool G, bool Z> struct C4444Replace : C4444Base<T, G, Z> {
    static constexpr bool kRGB = G;
    static constexpr bool kKeyed = true;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const&)
    {
        if (Key && !(t & 0xF))
            return false;
        *d = u16(G ? Mod4444(t, c.r, c.g, c.b) : T4444To565(t));
        return true;
    }
};

// A and AA: weight 2 alpha, or (A alpha) >> 23 with G; alpha 0 and weight 0
// are never drawn. ModRGB: G members that modulate the texel (the affine
// ones, with the white fast path for A; the AA ones).
template <Op O, TexMode T, bool G, bool Z, bool ModRGB, bool White> struct C4444Blend : C4444Base<T, G, Z> {
    static constexpr bool kRGB = G && ModRGB;
    static constexpr bool kAlpha = G;
    static void Begin(SpanConst& k)
    {
        if constexpr (White)
            k.white = k.r0 >= 0xFF0000 && k.g0 >= 0xFF0000 && k.b0 >= 0xFF0000 && !(k.enables & kEnSmooth);
    }
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const& k)
    {
        u32 a4 = t & 0xF;
        u32 w = G ? (u32(c.a) * a4) >> 23 : 2 * a4;
        if (!a4 || (G && !w)) // without G the weight is 0 only for alpha 0
            return false;
        u32 src;
        if constexpr (G && ModRGB)
            src = (White && k.white) ? T4444To565(t) : Mod4444(t, c.r, c.g, c.b);
        else
            src = T4444To565(t);
        *d = u16(O == Op::A ? BlendA(*d, src, w) : BlendAA(*d, src, w));
        return true;
    }
};

// M and MX2 with their keyed skip rule.
template <Op O, TexMode T, bool G, bool Z, Key4444 K, bool ModRGB> struct C4444Mul : C4444Base<T, G, Z> {
    static constexpr bool kRGB = G && ModRGB;
    static constexpr bool kAlpha = K == Key4444::Below8Bit27;
    static constexpr bool kKeyed = true;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const&)
    {
        u32 a4 = t & 0xF;
        if (Key) {
            if constexpr (K == Key4444::Alpha0) {
                if (!a4)
                    return false;
            } else if constexpr (K == Key4444::Below8) {
                if (a4 < 8)
                    return false;
            } else {
                if (a4 < 8 || !((u32(c.a) * a4) & (1u << 27)))
                    return false;
            }
        }
        u32 src = (G && ModRGB) ? Mod4444(t, c.r, c.g, c.b) : T4444To565(t);
        *d = u16(O == Op::M ? BlendM(*d, src) : BlendMX2(*d, src));
        return true;
    }
};

// ---------------------------------------------------------------------------
// 88 texels (luminance high, alpha low). Depth members of this family test
// (signed) but never write the depth buffer.

template <TexMode T, bool G, bool Z> struct C88Base : MemberBase {
    static constexpr TexMode kTex = T;
    static constexpr bool kAux = true;
    static constexpr bool kRGB = G;
    static constexpr ZTest kZ = Z ? ZTest::Signed : ZTest::None;
    static constexpr ZWrite kZWrite = ZWrite::Never;
};

inline u32 Source88(bool G, u32 t, Col const& c) { return G ? Mod88(t, c.r, c.g, c.b) : Grey88(t); }

// Replace, M and MX2: keyed copies skip alpha below the threshold.
template <Op O, TexMode T, bool G, bool Z, u32 Threshold> struct C88Key : C88Base<T, G, Z> {
    static constexpr bool kKeyed = true;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const&)
    {
        if (Key && (t & 0xFF) < Threshold)
            return false;
        u32 src = Source88(G, t, c);
        *d = u16(O == Op::Replace ? src : O == Op::M ? BlendM(*d, src) : BlendMX2(*d, src));
        return true;
    }
};

// A and AA: weight 1 + (alpha >> 3), or 1 + ((A alpha) >> 27) with G; alpha
// below 8 is never drawn.
template <Op O, TexMode T, bool G, bool Z, bool White> struct C88Blend : C88Base<T, G, Z> {
    static constexpr bool kAlpha = G;
    static void Begin(SpanConst& k)
    {
        if constexpr (White)
            k.white = k.r0 >= 0xFF0000 && k.g0 >= 0xFF0000 && k.b0 >= 0xFF0000 && !(k.enables & kEnSmooth);
    }
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const& k)
    {
        u32 a8 = t & 0xFF;
        if (a8 < 8)
            return false;
        u32 w = G ? 1 + ((u32(c.a) * a8) >> 27) : 1 + (a8 >> 3);
        u32 src = (White && k.white) ? Grey88(t) : Source88(G, t, c);
        *d = u16(O == Op::A ? BlendA(*d, src, w) : BlendAA(*d, src, w));
        return true;
    }
};

// ADD: keyed copies skip alpha below the threshold; Packed: the keyed copy
// adds on packed words instead of the spread form.
template <bool G, u32 Threshold, bool Packed> struct C88Add : C88Base<TexMode::Affine, G, false> {
    static constexpr bool kKeyed = true;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const& c, SpanConst const&)
    {
        if (Key && (t & 0xFF) < Threshold)
            return false;
        u32 src = Source88(G, t, c);
        *d = u16((Key && Packed) ? PackedSatAdd(*d, src) : BlendAdd(*d, src));
        return true;
    }
};

// Bilinear alpha: the alpha bytes of four neighbours (wrapping within the
// texture) filtered; the colour held from the first pixel of the span.
struct C88Bilinear : MemberBase {
    static constexpr TexMode kTex = TexMode::Bilinear;
    static constexpr bool kHeld = true;
    static constexpr bool kAux = true;
    static u32 Filter(u32 U, u32 V, SpanConst const& k)
    {
        u32 X = (U - 0x8000u) << 8, Y = (V - 0x8000u) << 8;
        u32 w = 1u << k.su, h = 1u << k.sv;
        u32 col = k.su ? X >> (32 - k.su) : 0;
        u32 row = k.sv ? Y >> (32 - k.sv) : 0;
        u32 fx = (X >> (24 - k.su)) & 0xFF, fy = (Y >> (24 - k.sv)) & 0xFF;
        u32 col1 = (col + 1) & (w - 1), row1 = (row + 1) & (h - 1);
        i32 a00 = k.texels[(row << k.su) | col] & 0xFF;
        i32 a01 = k.texels[(row << k.su) | col1] & 0xFF;
        i32 a10 = k.texels[(row1 << k.su) | col] & 0xFF;
        i32 a11 = k.texels[(row1 << k.su) | col1] & 0xFF;
        i32 top = a00 + ((i32(fx) * (a01 - a00)) >> 8);
        i32 bottom = a10 + ((i32(fx) * (a11 - a10)) >> 8);
        return u32(top + ((i32(fy) * (bottom - top)) >> 8));
    }
    template <bool Key> static bool Shade(u16* d, u32 f, Col const&, SpanConst const& k)
    {
        if (f < 8)
            return false;
        u32 w = k.a0 >= 0xFF0000 ? 1 + (f >> 3) : 1 + ((u32(k.a0) * f) >> 27);
        u32 kf = f + 1;
        u32 c = (((u32(k.r0) * kf) >> 16) & 0xF800u) | (((u32(k.g0) * kf) >> 21) & 0x07E0u) | ((u32(k.b0) * kf) >> 27);
        *d = u16(BlendA(*d, c, w));
        return true;
    }
};

// ---------------------------------------------------------------------------
// 565 texels under M and MX2 (the generic span), and the noise stream.

template <Op O, bool Z> struct CGeneric : MemberBase {
    static constexpr TexMode kTex = TexMode::PerspExact;
    static constexpr ZTest kZ = Z ? ZTest::Signed : ZTest::None;
    static constexpr ZWrite kZWrite = Z ? ZWrite::Mask : ZWrite::Never;
    static constexpr bool kKeyed = true;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const&, SpanConst const& k)
    {
        if (Key && (t & k.spanFlags))
            return false;
        *d = u16(O == Op::M ? BlendM(*d, t) : BlendMX2(*d, t));
        return true;
    }
};

// Draws nothing (rows a routine does not serve): the edges still advance.
struct CNothing : MemberBase {
    template <bool Key> static bool Shade(u16*, u32, Col const&, SpanConst const&) { return false; }
};

struct CNoise : MemberBase {
    static constexpr TexMode kTex = TexMode::Noise;
    static constexpr bool kKeyed = true;
    template <bool Key> static bool Shade(u16* d, u32 t, Col const&, SpanConst const& k)
    {
        if (Key && (t & k.spanFlags))
            return false;
        *d = u16(t);
        return true;
    }
};

} // namespace sw
} // namespace vornGL
