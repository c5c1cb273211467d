#include "engine/runtime/pfixed.h"

#include "engine/runtime/pfixed_tables.h"

#include <bit>
#include <climits>

using namespace pfixed_tables;

namespace {

constexpr int32_t Saturate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

constexpr uint32_t Magnitude(int x)
{
    return x < 0 ? 0u - uint32_t(x) : uint32_t(x);
}

// Quadratic interpolation in a table of samples: b = T[i + 1] is the sample
// at the start of the interval, c = T[i + 2] the one at its end, a and d the
// outer neighbours that give the curvature correction. t is the position in
// the interval as an n-bit fraction.
inline int32_t Interpolate(const int32_t* table, int i, int64_t t, int n)
{
    int64_t a = table[i], b = table[i + 1], c = table[i + 2], d = table[i + 3];
    int64_t k = (b + c - a - d) >> 2;
    return int32_t(b + ((t * (c - b + k - ((t * k) >> n))) >> n));
}

// Binary search for floor(sqrt(u)).
inline uint32_t SqrtSearch(uint32_t u)
{
    uint32_t low = 1;
    uint32_t high = (u >> 5) + 8;
    if (high > 65535)
        high = 65535;
    while (low <= high) {
        uint32_t mid = (low + high) >> 1;
        if (u < mid * mid)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return low - 1;
}

inline int32_t SinAt(int i, int a)
{
    int64_t t0 = PSinTab[i];
    int64_t t1 = PSinTab[i + 1];
    int64_t f = int64_t(a & 63) << 10;
    return int32_t(t0 + ((f * (t1 - t0)) >> 16));
}

// Arctangent of 0 <= m <= 0x10000 in engine units times 256, before rounding.
inline int32_t AtanUnit(uint32_t m)
{
    return Interpolate(kAtan.data(), int(m >> 11), m & 0x7FF, 11);
}

} // namespace

int PSqrt(unsigned int u)
{
    return int(SqrtSearch(u));
}

int PFSqrt(unsigned int u)
{
    return int(SqrtSearch(u) << 8);
}

int PFRSqrt(int x32)
{
    int64_t x = x32;
    if (x <= 0)
        return 0x7FFFFFFF; // no real root below 0
    if (x == 0x10000)
        return 0x10000;
    uint32_t ux = uint32_t(x32);
    int n = std::countl_zero(ux);
    // The three bits below the leading one choose the seed.
    int64_t y = int64_t(kRSqrtSeed[((ux << n) >> 28) & 7]) * 2;
    if (n <= 16)
        y >>= (16 - n) / 2;
    else
        y <<= (n - 16) / 2 + (n & 1);
    if (n & 1)
        y = (y * 46340) >> 16;
    // Newton steps y = (y / 2) (3.0 - x y y). The seed is within 6% of the
    // root, so x y y stays near 2^48 and its full 64-bit product is kept
    // (shifting x y by 16 first would lose the precision at small x); the
    // halving is folded into the final shift, and both shifts round.
    for (int step = 0; step < 3; step++) {
        int64_t xyy = ((x * y) * y + (int64_t(1) << 31)) >> 32;
        y = (y * (0x30000 - xyy) + (1 << 16)) >> 17;
    }
    return Saturate(y);
}

int POneOver(int x)
{
    uint32_t ax = Magnitude(x);
    if (ax == 0)
        return 0x7FFFFFFF;
    int n = std::countl_zero(ax);
    int64_t y = int64_t(kRecipSeed[((ax << n) >> 28) & 7]) * 4;
    if (n <= 16)
        y >>= 16 - n;
    else
        y <<= n - 16;
    for (int step = 0; step < 2; step++)
        y = (y * (0x20000 - ((int64_t(ax) * y) >> 16))) >> 16;
    return Saturate(y);
}

int POneOverS(int x)
{
    if (x == 0)
        return 0x7FFFFFFF;
    int r = POneOver(x);
    return x < 0 ? -r : r;
}

int POneOverq(int x, int q)
{
    uint32_t ax = Magnitude(x);
    if (ax == 0 || q < 1 || q > 30)
        return 0x7FFFFFFF;
    // |x| = m 2^(31 - n - q) with the mantissa m = (ax << n) / 2^31 in [1, 2).
    int n = std::countl_zero(ax);
    int64_t m = int64_t((ax << n) >> 3);           // m with 28 fraction bits
    int64_t y = int64_t(kRecipSeed[(m >> 25) & 7]) << 13; // 1/m, 28 fraction bits
    for (int step = 0; step < 2; step++)
        y = (y * (0x20000000 - ((m * y) >> 28))) >> 28;
    // 1/x with q fraction bits is y 2^(n + 2q - 59).
    int shift = n + 2 * q - 59;
    int64_t r;
    if (shift >= 0)
        r = shift > 32 ? INT64_MAX : y << shift;
    else
        r = shift < -62 ? 0 : y >> -shift;
    r = Saturate(r);
    return x < 0 ? -int32_t(r) : int32_t(r);
}

int PFLog2(unsigned int u)
{
    if (u == 0)
        return int32_t(0x80000000u);
    int shift = 0;
    if (u < 0x10000) {
        u <<= 16;
        shift += 16;
    }
    if (u < 0x1000000) {
        u <<= 8;
        shift += 8;
    }
    if (u < 0x10000000) {
        u <<= 4;
        shift += 4;
    }
    if (u < 0x40000000) {
        u <<= 2;
        shift += 2;
    }
    if (u < 0x80000000) {
        u <<= 1;
        shift += 1;
    }
    // Drop the leading one and round to the 22 bits that are used; the sum
    // may carry into bit 31, which makes j = 64 (the next power of two).
    uint32_t v = u + 0x80000100u;
    int j = int(v >> 25);
    int64_t t = (v >> 9) & 0xFFFF;
    int32_t r = Interpolate(kLog2.data(), j, t, 16);
    return int32_t(uint32_t(15 - shift) << 16) + ((r + 16) >> 5);
}

unsigned int PFPow2(int x)
{
    if (x >= 0x100000)
        return 0xFFFFFFFFu;
    if (x < -961942) {
        // Below 2.5 units: the exact result crosses 2.5, 1.5 and 0.5 here.
        if (x >= -1010239)
            return 2;
        if (x >= -1114112)
            return 1;
        return 0;
    }
    uint64_t a = kPow2High[(x >> 8) & 255];
    uint64_t b = kPow2Low[x & 255];
    // 2^frac with 1.0 at bit 32: (1 + a/2^32)(1 + b/2^40) = A + b A / 2^40
    // with A = 2^32 + a. b A (65 bits) is formed from two partial products
    // over the 16-bit halves of A and rounded.
    uint64_t A = (uint64_t(1) << 32) + a;
    uint64_t high = b * (A >> 16);
    uint64_t low = b * (A & 0xFFFF) + (uint64_t(1) << 39);
    uint64_t v = A + ((high + (low >> 16)) >> 24);
    v >>= 15 - (x >> 16);
    return uint32_t((v + 1) >> 1);
}

int PFPow(int x, int y)
{
    if (x == 0)
        return 0;
    if (x == 0x10000 || y == 0)
        return 0x10000;
    if (y > 0 && (y & 0xFFFF) == 0) {
        // Square and multiply over the integer bits of y; intermediate values
        // saturate instead of wrapping.
        int64_t result = 0x10000;
        int64_t base = x;
        for (uint32_t e = uint32_t(y) >> 16; e; e >>= 1) {
            if (e & 1)
                result = Saturate((result * base) >> 16);
            if (e > 1)
                base = Saturate((base * base) >> 16);
        }
        return int32_t(result);
    }
    uint32_t mag = Magnitude(x);
    int64_t e = (int64_t(PFLog2(mag)) * y) >> 16;
    uint32_t p = PFPow2(Saturate(e));
    int32_t r = p > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(p);
    // A negative base gives a negative power for odd whole exponents (a
    // fractional power of a negative number has no real value; it is given
    // the power of |x|).
    if (x < 0 && (y & 0x1FFFF) == 0x10000)
        r = -r;
    return r;
}

unsigned int PCeil2(unsigned int u)
{
    u -= 1;
    u |= u >> 1;
    u |= u >> 2;
    u |= u >> 4;
    u |= u >> 8;
    u |= u >> 16;
    return u + 1;
}

int PSin(int a)
{
    return SinAt((a >> 6) & 1023, a);
}

int PCos(int a)
{
    return SinAt(((a >> 6) & 1023) + 256, a);
}

int64_t PSinCos(int a)
{
    int i = (a >> 6) & 1023;
    uint32_t s = uint32_t(SinAt(i, a));
    uint32_t c = uint32_t(SinAt(i + 256, a));
    return int64_t((uint64_t(c) << 32) | s);
}

int PSind(int d)
{
    return PSin(d / 360);
}

int PCosd(int d)
{
    return PCos(d / 360);
}

int64_t PSinCosd(int d)
{
    return PSinCos(d / 360);
}

int PTan(int a)
{
    int i = (a >> 6) & 1023;
    int64_t s = SinAt(i, a);
    int64_t c = SinAt(i + 256, a);
    if (c == 0)
        return 0;
    return Saturate((s << 16) / c);
}

int PAsin(int s)
{
    uint32_t m = Magnitude(s);
    int32_t r;
    if (m < 0xC000)
        r = (Interpolate(kAsin1.data(), int(m >> 11), m & 0x7FF, 11) + 128) >> 8;
    else if (m < 0xF200)
        r = (Interpolate(kAsin2.data(), int((m - 0xC000) >> 9), m & 0x1FF, 9) + 128) >> 8;
    else if (m < 0xFE00)
        r = (Interpolate(kAsin3.data(), int((m - 0xF200) >> 7), m & 0x7F, 7) + 128) >> 8;
    else if (m < 0xFFE1)
        r = (Interpolate(kAsin4.data(), int((m - 0xFE00) >> 4), m & 0xF, 4) + 128) >> 8;
    else if (m <= 0x10000)
        r = (kAsin5[m - 0xFFE1] + 128) >> 8;
    else
        r = 16384;
    return s < 0 ? -r : r;
}

int PAcos(int c)
{
    if (c > 65536)
        c = 65536;
    else if (c < -65536)
        c = -65536;
    return 16384 - PAsin(c);
}

int PAtan(int t)
{
    uint32_t m = Magnitude(t);
    int32_t r;
    if (m <= 0x10000) {
        r = (AtanUnit(m) + 128) >> 8;
    } else {
        // atan(m) = a quarter turn - atan(1/m), with 1/m rounded.
        uint32_t inv = (0u - (m >> 1)) / m + 1;
        r = (0x400000 - AtanUnit(inv) + 128) >> 8;
    }
    return t < 0 ? -r : r;
}

int PAtan2(int y, int x)
{
    int64_t ax = x < 0 ? -int64_t(x) : int64_t(x);
    int64_t ay = y < 0 ? -int64_t(y) : int64_t(y);
    if (ax + ay < 6)
        return 0;
    int q = y >= 0 ? 16384 : -16384;
    if (ay > ax)
        return q - PAtan(int32_t((int64_t(x) << 16) / y));
    int a = PAtan(int32_t((int64_t(y) << 16) / x));
    return x < 0 ? a + 32768 : a;
}
