// The lookup tables behind the fixed-point functions of pfixed.h, computed at
// compile time from their defining formulas. Only pfixed.cpp and the tests
// that check every entry against the C library include this header.
#pragma once
#include <array>
#include <cstdint>

namespace pfixed_tables {

using LD = long double;

inline constexpr LD kPi = 3.14159265358979323846264338327950288L;
inline constexpr LD kTwoPi = 2 * kPi;

// Rounds to the nearest integer, halves away from zero.
constexpr int64_t Round(LD v)
{
    return v >= 0 ? int64_t(v + 0.5L) : -int64_t(-v + 0.5L);
}

// Square root by Newton's method from above; exact enough for the
// arguments used here (0 to 2^32).
constexpr LD Sqrt(LD v)
{
    if (v <= 0)
        return 0;
    LD x = v > 1 ? v : 1;
    for (int i = 0; i < 200; i++) {
        LD next = (x + v / x) / 2;
        if (next >= x)
            break;
        x = next;
    }
    return x;
}

// Sine and cosine by their series, for |t| <= pi/4.
constexpr LD SinSeries(LD t)
{
    LD term = t, sum = t;
    for (int k = 1; k < 20; k++) {
        term *= -t * t / LD((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

constexpr LD CosSeries(LD t)
{
    LD term = 1, sum = 1;
    for (int k = 1; k < 20; k++) {
        term *= -t * t / LD((2 * k - 1) * (2 * k));
        sum += term;
    }
    return sum;
}

// sin(2 pi i / 1024), reduced exactly to the first octant.
constexpr LD SinStep(int i)
{
    i %= 1024;
    int quadrant = i / 256;
    int r = i % 256;
    // |sin| on quadrants 0 and 2 climbs with r, on 1 and 3 it falls.
    if (quadrant & 1)
        r = 256 - r;
    LD v = r <= 128 ? SinSeries(kTwoPi * r / 1024) : CosSeries(kTwoPi * (256 - r) / 1024);
    return quadrant >= 2 ? -v : v;
}

// Arctangent in radians: halve the argument until it is small, then the series.
constexpr LD Atan(LD x)
{
    LD scale = 1;
    while (x > 0.25L || x < -0.25L) {
        x = x / (1 + Sqrt(1 + x * x));
        scale *= 2;
    }
    LD term = x, sum = x;
    for (int k = 1; k < 40; k++) {
        term *= -x * x;
        sum += term / LD(2 * k + 1);
    }
    return scale * sum;
}

// Arcsine in radians of the 16.16 value s (-65536 <= s <= 65536).
constexpr LD AsinFixed(int64_t s)
{
    if (s >= 65536)
        return kPi / 2;
    // 1 - s^2 formed exactly on integers keeps full precision near 1.
    LD c = Sqrt(LD((65536 - s) * (65536 + s))) / 65536;
    LD v = LD(s) / 65536;
    if (s * s <= 65536LL * 65536 / 2)
        return Atan(v / c);
    return (s > 0 ? kPi / 2 : -kPi / 2) - Atan(c / v);
}

// Natural logarithm for y around 1 to 2, through 2 atanh((y - 1) / (y + 1)).
constexpr LD Ln(LD y)
{
    LD z = (y - 1) / (y + 1);
    LD term = z, sum = z;
    for (int k = 1; k < 80; k++) {
        term *= z * z;
        sum += term / LD(2 * k + 1);
    }
    return 2 * sum;
}

inline constexpr LD kLn2 = Ln(2);

// e^v - 1 for 0 <= v < 1, by its series (no cancellation near 0).
constexpr LD Expm1(LD v)
{
    LD term = v, sum = v;
    for (int k = 2; k < 40; k++) {
        term *= v / k;
        sum += term;
    }
    return sum;
}

// Engine angle units (65536 per turn) times 256.
constexpr int32_t AngleEntry(LD radians)
{
    return int32_t(Round(radians / kTwoPi * 65536 * 256));
}

// Sine over one and a half turns: entry i is 65536 sin(2 pi i / 1024).
inline constexpr auto PSinTab = [] {
    std::array<int32_t, 1537> t {};
    for (int i = 0; i < 1537; i++)
        t[i] = int32_t(Round(65536 * SinStep(i)));
    return t;
}();

// Arctangent: entry j is atan((j - 1) / 32); the last entry is one sample
// beyond what an argument of 1.0 needs, so the four-point read at the end of
// the range stays inside the table.
inline constexpr auto kAtan = [] {
    std::array<int32_t, 36> t {};
    for (int j = 0; j < 36; j++)
        t[j] = AngleEntry(Atan(LD(j - 1) / 32));
    return t;
}();

// Arcsine sampled at first, first + step, ... (16.16 sine values).
template <int N>
constexpr std::array<int32_t, N> AsinTable(int first, int step)
{
    std::array<int32_t, N> t {};
    for (int k = 0; k < N; k++)
        t[k] = AngleEntry(AsinFixed(first + int64_t(step) * k));
    return t;
}

// Five arcsine tables of finer and finer steps towards a sine of 1.0. Each
// holds one sample before its first interval and two after its last; the
// fourth also holds the sample at 1.0 itself so that the four-point read of
// its last interval stays inside it.
inline constexpr auto kAsin1 = AsinTable<27>(-2048, 2048);
inline constexpr auto kAsin2 = AsinTable<28>(0xC000 - 512, 512);
inline constexpr auto kAsin3 = AsinTable<27>(0xF200 - 128, 128);
inline constexpr auto kAsin4 = AsinTable<34>(0xFE00 - 16, 16);
inline constexpr auto kAsin5 = AsinTable<32>(0xFFE1, 1);

// log2(1 + (j - 1) / 64) scaled by 2^21.
inline constexpr auto kLog2 = [] {
    std::array<int32_t, 68> t {};
    for (int j = 0; j < 68; j++)
        t[j] = int32_t(Round(Ln(1 + LD(j - 1) / 64) / kLn2 * 2097152));
    return t;
}();

// 2^(i / 256) - 1 scaled by 2^32, and 2^(i / 65536) - 1 scaled by 2^40.
inline constexpr auto kPow2High = [] {
    std::array<uint32_t, 256> t {};
    for (int i = 0; i < 256; i++)
        t[i] = uint32_t(Round(Expm1(kLn2 * i / 256) * 4294967296.0L));
    return t;
}();

inline constexpr auto kPow2Low = [] {
    std::array<uint32_t, 256> t {};
    for (int i = 0; i < 256; i++)
        t[i] = uint32_t(Round(Expm1(kLn2 * i / 65536) * 1099511627776.0L));
    return t;
}();

// Newton seeds: 32768 / (1 + i/8) and 65536 / sqrt(2 (1 + i/8)), truncated.
inline constexpr std::array<int32_t, 8> kRecipSeed = { 0x8000, 0x71c7, 0x6666, 0x5d17,
                                                        0x5555, 0x4ec4, 0x4924, 0x4444 };
inline constexpr std::array<int32_t, 8> kRSqrtSeed = { 0xb504, 0xaaaa, 0xa1e8, 0x9a5f,
                                                        0x93cd, 0x8e00, 0x88d6, 0x8432 };

} // namespace pfixed_tables
