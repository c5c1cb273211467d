// Integer helpers of the software rasterizer: the table reciprocal, wrapping
// 32-bit arithmetic, and the pixel arithmetic on RGB565 values in their spread
// form (p | p << 16) & 0x07E0F81F, where blue sits in bits 0-4, red in 11-15
// and green in 21-26 with free bits above each field, so that one multiply
// scales all three channels.
#pragma once
#include <bit>
#include <cstdint>

namespace vornGL {
namespace sw {

typedef uint32_t u32;
typedef int32_t i32;
typedef int64_t i64;
typedef uint64_t u64;

// 2^18 / (8 + i): the seeds of the reciprocal.
inline constexpr u32 kRecipSeed[8] = {0x8000, 0x71C7, 0x6666, 0x5D17, 0x5555, 0x4EC4, 0x4924, 0x4444};

// The 16.16 reciprocal of |x|, about 2^32 / |x|: a seed from the three bits
// below the leading one, two Newton steps; 0 for 0, results that do not fit
// saturate to 0x7FFFFFFF.
inline i32 OneOver(i32 x)
{
    u32 ax = x < 0 ? 0u - u32(x) : u32(x);
    if (ax == 0)
        return 0;
    int n = std::countl_zero(ax);
    i64 y = i64(kRecipSeed[((ax << n) >> 28) & 7]) * 4;
    if (n <= 16)
        y >>= 16 - n;
    else
        y <<= n - 16;
    y = (y * (0x20000 - ((i64(ax) * y) >> 16))) >> 16;
    y = (y * (0x20000 - ((i64(ax) * y) >> 16))) >> 16;
    return y > 0x7FFFFFFF ? 0x7FFFFFFF : i32(y);
}

// The reciprocal keeping the sign; 0x7FFFFFFF for 0.
inline i32 OneOverS(i32 x)
{
    if (x == 0)
        return 0x7FFFFFFF;
    i32 r = OneOver(x);
    return x < 0 ? -r : r;
}

// The reciprocal of a perspective weight with 40 fraction bits, 2^40 / |w|
// (0 for 0), and a coordinate over the weight, (c * r) >> 16: the texture
// coordinate with 24 fraction bits. The weight's 16.16 reciprocal would keep
// as few as 8 significant bits for near surfaces.
//
// The quotient is taken in double precision, which gives the exact floor:
// |w| is at most 2^31 and exact as a double, and the rounded quotient lies
// within 2^-13 / |w| of 2^40 / |w|, while a quotient that is not whole lies
// at least 1 / |w| from the next whole numbers on either side. A double
// division costs a third of a 64-bit integer one.
inline i64 PerspRecip(i32 w)
{
    u64 aw = w < 0 ? u64(0) - u64(i64(w)) : u64(w);
    return aw ? i64(1099511627776.0 / double(aw)) : 0;
}
// Bits 16-47 of the product depend only on its low 64 bits.
inline i32 PerspCoord(i32 c, i64 r) { return i32(u32((u64(i64(c)) * u64(r)) >> 16)); }

// Wrapping 32-bit arithmetic.
inline i32 Add(i32 a, i32 b) { return i32(u32(a) + u32(b)); }
inline i32 Sub(i32 a, i32 b) { return i32(u32(a) - u32(b)); }
inline i32 Mul(i32 a, i32 b) { return i32(u32(a) * u32(b)); }
inline i32 Shl(i32 a, int n) { return i32(u32(a) << n); }
// (a * b) >> n with a 64-bit product, truncated to 32 bits.
inline i32 MulShift(i32 a, i32 b, int n) { return i32(u32(u64((i64(a) * b) >> n))); }

// Whole pixel at or after a 16.16 coordinate: (y + 0xFFFF) >> 16 without
// overflow.
inline i32 Ceil(i32 y) { return i32((i64(y) + 0xFFFF) >> 16); }

inline u32 Spread(u32 c) { return (c | (c << 16)) & 0x07E0F81Fu; }
inline u32 Fold(u32 x) { return (x | (x >> 16)) & 0xFFFFu; }

// d + w (s - d) / 32 per channel; w from 0 to 32.
inline u32 BlendA(u32 d, u32 c, u32 w)
{
    u32 D = Spread(d), S = Spread(c);
    return Fold((D + ((w * (S - D)) >> 5)) & 0x07E0F81Fu);
}

// Saturating add of two spread values, folded.
inline u32 SatAddSpread(u32 x, u32 y)
{
    u32 s = x + y;
    u32 m = s & 0x07E0F81Fu;
    u32 o = s ^ m;
    return Fold((o - (o >> 5)) | m);
}

// Weighted source (lowest bit of each field cleared) added to d with saturation.
inline u32 BlendAA(u32 d, u32 c, u32 w)
{
    u32 P = ((w * Spread(c)) >> 5) & 0x07E0F81Fu;
    u32 Q = Spread(Fold(P) & 0xF7DEu);
    return SatAddSpread(Q, Spread(d));
}

inline u32 BlendAdd(u32 d, u32 c) { return SatAddSpread(Spread(c), Spread(d)); }

// Saturating add on packed 565 words (lowest bit of each field cleared first).
inline u32 PackedSatAdd(u32 d, u32 c)
{
    u32 s = (c & 0xF7DEu) + (d & 0xF7DEu);
    u32 o = s & 0x10820u;
    return ((o - (o >> 5)) | s) & 0xFFFFu;
}

// Pixel times source per channel, rounded up.
inline u32 BlendM(u32 d, u32 c)
{
    return (((((d & 0x07E0u) * (c & 0x07E0u)) + 0xFFFFu) >> 11) & 0x07E0u) |
           (((((d & 0xF800u) * (c & 0xF800u)) + 0x07FFFFFFu) >> 16) & 0xF800u) |
           ((((d & 0x1Fu) * (c & 0x1Fu)) + 31u) >> 5);
}

// Pixel times source times two, saturated.
inline u32 BlendMX2(u32 d, u32 c)
{
    u32 x = BlendM(d, c) & 0xF7DEu;
    u32 s = x << 1;
    u32 o = s & 0x10820u;
    return ((o - (o >> 5)) | s) & 0xFFFFu;
}

// Texel decoding.
inline u32 T4444To565(u32 t) { return (t & 0xF000u) | ((t & 0x0F00u) >> 1) | ((t & 0x00F0u) >> 3); }
inline u32 Grey88(u32 t) { return (t >> 11) * 0x0841u; }

// A 4444 texel times the vertex colour (R, G, B 16.16).
inline u32 Mod4444(u32 t, i32 R, i32 G, i32 B)
{
    return (((u32(R >> 16) * (t & 0xF000u)) >> 8) & 0xF800u) | (((u32(G >> 16) * (t & 0x0F00u)) >> 9) & 0x07E0u) |
           ((u32(B >> 16) * (t & 0x00F0u)) >> 11);
}

// The luminance of an 88 texel times the vertex colour.
inline u32 Mod88(u32 t, i32 R, i32 G, i32 B)
{
    u32 k = (t >> 8) + 1;
    return (((u32(R) * k) >> 16) & 0xF800u) | (((u32(G) * k) >> 21) & 0x07E0u) | ((u32(B) * k) >> 27);
}

// Interpolated colour (16.16 channels) as RGB565, and in spread form.
inline u32 Colour565(i32 R, i32 G, i32 B)
{
    return ((u32(R >> 8) & 0xF800u) | (u32(G >> 13) & 0x07E0u) | u32(B >> 19)) & 0xFFFFu;
}
inline u32 ColourSpread(i32 R, i32 G, i32 B)
{
    return (u32(R >> 8) & 0xF800u) | ((u32(G) << 3) & 0x07E00000u) | (u32(B >> 19) & 0x1Fu);
}

// Texel index from coordinates with 24 fraction bits per repeat: the column
// from the top bits of u, the row from the top bits of v, both repeating.
inline u32 TexelIndex(u32 u, u32 v, int su, int sv, u32 mask)
{
    return std::rotl((u << 8) + ((v << sv) >> 24), su) & mask;
}

} // namespace sw
} // namespace vornGL
