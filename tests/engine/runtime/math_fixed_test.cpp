// Fixed-point arithmetic, trigonometry and random numbers, checked against
// the C library (sin, atan2, sqrt, pow, ...) within stated error bounds.
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pfixed_tables.h"

namespace {

using namespace pfixed_tables;

constexpr double kTau = 6.283185307179586476925286766559;
constexpr double kUnitsPerRadian = 65536 / kTau;

// Every table entry is its defining formula rounded to the nearest integer.
template <typename Table, typename Formula>
void ExpectRounded(const Table& table, Formula exact, const char* name)
{
    for (size_t i = 0; i < table.size(); i++)
        ASSERT_LE(std::fabs(double(table[i]) - exact(int(i))), 0.5 + 1e-6) << name << " entry " << i;
}

// Sample points over the whole positive int range: dense at the bottom,
// both sides of every power of two, and random.
std::vector<int64_t> PositiveSweep()
{
    std::vector<int64_t> v;
    for (int64_t x = 1; x < (int64_t(1) << 31); x += (x >> 12) + 1)
        v.push_back(x);
    for (int k = 1; k < 31; k++)
        for (int j = -40; j <= 40; j++)
            v.push_back((int64_t(1) << k) + j);
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; i++)
        v.push_back(int64_t(rng() & 0x7FFFFFFF) >> (rng() % 31));
    std::erase_if(v, [](int64_t x) { return x < 1 || x > INT_MAX; });
    return v;
}

double AngleError(int got, double exactUnits)
{
    double d = std::fmod(std::fabs(got - exactUnits), 65536.0);
    return std::min(d, 65536.0 - d);
}

TEST(FixedTables, EntriesMatchTheirFormulas)
{
    ExpectRounded(PSinTab, [](int i) { return 65536 * std::sin(kTau * i / 1024); }, "sine");
    EXPECT_EQ(PSinTab[256], 65536);
    EXPECT_EQ(PSinTab[768], -65536);
    auto angle = [](double radians) { return radians * kUnitsPerRadian * 256; };
    ExpectRounded(kAtan, [&](int j) { return angle(std::atan((j - 1) / 32.0)); }, "atan");
    EXPECT_EQ(kAtan[33], 2097152);
    EXPECT_EQ(kAtan[0], -kAtan[2]);
    auto asinAt = [&](int first, int step) {
        return [=](int k) { return angle(std::asin(std::min(1.0, (first + step * k) / 65536.0))); };
    };
    ExpectRounded(kAsin1, asinAt(-2048, 2048), "asin1");
    ExpectRounded(kAsin2, asinAt(0xC000 - 512, 512), "asin2");
    ExpectRounded(kAsin3, asinAt(0xF200 - 128, 128), "asin3");
    ExpectRounded(kAsin4, asinAt(0xFE00 - 16, 16), "asin4");
    ExpectRounded(kAsin5, asinAt(0xFFE1, 1), "asin5");
    EXPECT_EQ(kAsin5[31], 4194304);
    ExpectRounded(kLog2, [](int j) { return std::log2(1 + (j - 1) / 64.0) * 2097152; }, "log2");
    EXPECT_EQ(kLog2[65], 2097152);
    ExpectRounded(kPow2High, [](int i) { return std::expm1(M_LN2 * i / 256) * 4294967296.0; }, "pow2 high");
    ExpectRounded(kPow2Low, [](int i) { return std::expm1(M_LN2 * i / 65536) * 1099511627776.0; }, "pow2 low");
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(kRecipSeed[i], int(32768 / (1 + i / 8.0)));
        EXPECT_EQ(kRSqrtSeed[i], int(65536 / std::sqrt(2 * (1 + i / 8.0))));
    }
}

TEST(FixedRoots, SquareRootsAgainstLibm)
{
    auto check = [](uint32_t u) {
        uint32_t r = uint32_t(std::floor(std::sqrt(double(u))));
        ASSERT_EQ(uint32_t(PSqrt(u)), r) << u;
        ASSERT_EQ(uint32_t(PFSqrt(u)), r << 8) << u;
    };
    for (uint32_t u = 0; u < (1u << 20); u++)
        check(u);
    for (uint32_t k = 1; k <= 65535; k++) {
        check(k * k);
        check(k * k - 1);
        check(k * k + 2 * k); // (k + 1)^2 - 1
    }
    check(0xFFFFFFFFu);
    EXPECT_EQ(PSqrt(0xFFFFFFFFu), 65535);
    EXPECT_EQ(PFSqrt(0x10000), 0x10000);
    EXPECT_EQ(PFSqrt(4 * 65536), 2 * 65536);
}

TEST(FixedRoots, ReciprocalsWithinBounds)
{
    for (int64_t x : PositiveSweep()) {
        double rs = 65536 / std::sqrt(x / 65536.0);
        ASSERT_LE(std::fabs(PFRSqrt(int(x)) - rs), 0.75 + 4e-6 * rs) << x;
        if (x >= 3) {
            double r = 4294967296.0 / double(x);
            // Two Newton steps from a seed within 1/8: 2.5e-4 relative.
            ASSERT_LE(std::fabs(POneOver(int(x)) - r), 2 + 2.5e-4 * r) << x;
            ASSERT_EQ(POneOver(int(-x)), POneOver(int(x)));
            ASSERT_EQ(POneOverS(int(-x)), -POneOver(int(x)));
            ASSERT_LE(std::fabs(POneOverq(int(x), 16) - r), 1 + 3e-4 * r) << x;
        }
        for (int q : { 4, 24, 30 }) {
            double e = std::ldexp(1.0, 2 * q) / double(x);
            if (e < INT_MAX) {
                ASSERT_LE(std::fabs(POneOverq(int(-x), q) + e), 1 + 3e-4 * e) << x << " q " << q;
            }
        }
    }
    EXPECT_EQ(PFRSqrt(0), 0x7FFFFFFF);
    EXPECT_EQ(PFRSqrt(-5), 0x7FFFFFFF);
    EXPECT_EQ(PFRSqrt(0x40000), 0x8000);
    EXPECT_EQ(PFRSqrt(9 << 16), 21845);
    // 1/x that 16.16 cannot hold saturates instead of wrapping.
    EXPECT_EQ(POneOver(0), 0x7FFFFFFF);
    EXPECT_EQ(POneOver(1), 0x7FFFFFFF);
    EXPECT_EQ(POneOver(-2), 0x7FFFFFFF);
    EXPECT_EQ(POneOver(INT_MIN), 2);
    EXPECT_EQ(POneOverS(0), 0x7FFFFFFF);
    EXPECT_EQ(POneOverS(-1), -0x7FFFFFFF);
    EXPECT_EQ(POneOverq(0, 16), 0x7FFFFFFF);
}

TEST(FixedPower, LogAndPowersAgainstLibm)
{
    for (int64_t x : PositiveSweep()) {
        ASSERT_LE(std::fabs(PFLog2(uint32_t(x)) - std::log2(x / 65536.0) * 65536), 1.0) << x;
        ASSERT_LE(std::fabs(PFLog2(uint32_t(x) * 2 + 1) - std::log2((x * 2 + 1) / 65536.0) * 65536), 1.0);
    }
    EXPECT_EQ(PFLog2(0), int(0x80000000u));
    EXPECT_EQ(PFLog2(0x10000), 0);
    EXPECT_EQ(PFLog2(0xFFFFFFFFu), 16 << 16);

    // Every argument with a result of 2.5 units or more: rounded to nearest.
    for (int x = -961942; x < 0x100000; x++) {
        double e = std::exp2(x / 65536.0) * 65536;
        ASSERT_LE(std::fabs(PFPow2(x) - e), 0.5 + 1e-9 * e) << x;
    }
    EXPECT_EQ(PFPow2(0), 0x10000u);
    EXPECT_EQ(PFPow2(16 * 65536), 0xFFFFFFFFu);
    EXPECT_EQ(PFPow2(INT_MAX), 0xFFFFFFFFu);
    for (int x : { -961943, -1010239, -1010240, -1114112, -1114113, INT_MIN })
        EXPECT_EQ(double(PFPow2(x)), std::round(std::exp2(x / 65536.0) * 65536)) << x;

    std::mt19937 rng(3);
    for (int i = 0; i < 200000; i++) {
        int x = int(rng() % (20 * 65536)) + 1;          // (0, 20)
        int y = int(rng() % (12 * 65536)) - 6 * 65536;  // [-6, 6)
        if (i & 1)
            y &= ~0xFFFF; // whole powers take the multiplying path
        double e = std::pow(x / 65536.0, y / 65536.0) * 65536;
        if (e > 2e9)
            continue;
        // log2 carries 1/65536 of error, scaled by y through the power.
        double bound = 2 + e * (std::fabs(y / 65536.0) * 2.5e-5 + 2e-5);
        ASSERT_LE(std::fabs(PFPow(x, y) - e), bound) << x << " ^ " << y;
        if ((y & 0xFFFF) == 0) { // odd whole powers of a negative base are negative
            double sign = (y >> 16) & 1 ? -1 : 1;
            ASSERT_LE(std::fabs(PFPow(-x, y) - sign * e), bound) << -x << " ^ " << y;
        }
    }
    EXPECT_EQ(PFPow(0, 0x20000), 0);
    EXPECT_EQ(PFPow(0x30000, 0), 0x10000);
    EXPECT_EQ(PFPow(-0x20000, 0x30000), -0x80000);
    EXPECT_EQ(PFPow(-0x20000, -0x10000), -0x8000);
    EXPECT_EQ(PFPow(-0x20000, -0x20000), 0x4000);
    // Beyond 16.16: saturated, not wrapped or negative.
    EXPECT_EQ(PFPow(0xA0000, 0xA0000), 0x7FFFFFFF);
    EXPECT_EQ(PFPow(0x20000, 0x148000), 0x7FFFFFFF);
    EXPECT_EQ(PFPow(-0xA0000, 0x90000), INT_MIN);

    for (unsigned u : { 0u, 1u, 5u, 8u, 9u, 0x80000000u })
        EXPECT_EQ(PCeil2(u), u ? unsigned(std::exp2(std::ceil(std::log2(u)))) : 0u) << u;
}

TEST(FixedTrig, SineCosineTangentAgainstLibm)
{
    for (int a = 0; a < 65536; a++) {
        double s = std::sin(kTau * a / 65536) * 65536, c = std::cos(kTau * a / 65536) * 65536;
        ASSERT_LE(std::fabs(PSin(a) - s), 2.0) << a;
        ASSERT_LE(std::fabs(PCos(a) - c), 2.0) << a;
        uint64_t sc = uint64_t(PSinCos(a)); // sine low, cosine high
        ASSERT_EQ(int32_t(sc), PSin(a));
        ASSERT_EQ(int32_t(sc >> 32), PCos(a));
        // Only the low 16 bits of the angle count.
        ASSERT_EQ(PSin(a - 65536 * 3), PSin(a));
        if (std::fabs(c) > 11380) { // within 80 degrees of the x axis
            double t = s / c * 65536;
            ASSERT_LE(std::fabs(PTan(a) - t), 2 + 2e-4 * std::fabs(t)) << a;
        }
    }
    EXPECT_EQ(PSin(0), 0);
    EXPECT_EQ(PSin(16384), 65536);
    EXPECT_EQ(PCos(32768), -65536);
    EXPECT_EQ(PSin(65536 + 16384), 65536);
    EXPECT_EQ(PSin(INT_MIN), 0);
    EXPECT_EQ(PTan(16384), 0);
    for (int d = -720; d <= 720; d += 3) {
        double r = kTau * d / 360;
        // The degrees become whole engine units by a truncating division.
        ASSERT_EQ(PSind(d * 65536), PSin(d * 65536 / 360));
        ASSERT_EQ(PCosd(d * 65536), PCos(d * 65536 / 360));
        ASSERT_EQ(PSinCosd(d * 65536), PSinCos(d * 65536 / 360));
        if (d % 45 == 0) { // whole units
            ASSERT_LE(std::fabs(PSind(d * 65536) - std::sin(r) * 65536), 2.0) << d;
            ASSERT_LE(std::fabs(PCosd(d * 65536) - std::cos(r) * 65536), 2.0) << d;
        }
    }
    EXPECT_EQ(PSind(90 * 65536), 65536);
    EXPECT_EQ(PSind(-90 * 65536), -65536);
}

TEST(FixedTrig, InverseFunctionsAgainstLibm)
{
    for (int s = -65536; s <= 65536; s++) {
        ASSERT_LE(std::fabs(PAsin(s) - std::asin(s / 65536.0) * kUnitsPerRadian), 0.75) << s;
        ASSERT_LE(std::fabs(PAcos(s) - std::acos(s / 65536.0) * kUnitsPerRadian), 0.75) << s;
    }
    EXPECT_EQ(PAsin(65536), 16384);
    EXPECT_EQ(PAsin(70000), 16384);
    EXPECT_EQ(PAsin(INT_MIN), -16384);
    EXPECT_EQ(PAcos(-70000), 32768);
    EXPECT_EQ(PAcos(INT_MAX), 0);

    for (int64_t t : PositiveSweep()) {
        double e = std::atan(t / 65536.0) * kUnitsPerRadian;
        ASSERT_LE(std::fabs(PAtan(int(t)) - e), 0.75) << t;
        ASSERT_EQ(PAtan(int(-t)), -PAtan(int(t)));
    }
    EXPECT_EQ(PAtan(0x10000), 8192);
    EXPECT_EQ(PAtan(INT_MIN), -16384);
    EXPECT_EQ(PAtan(INT_MAX), 16384);

    std::vector<int> coords = { 0, 1, -1, 3, -3, 5, 100, -100, 65536, -65536, 1 << 20, -(1 << 24),
                                INT_MAX, INT_MIN, INT_MIN + 1 };
    std::mt19937 rng(11);
    for (int i = 0; i < 300; i++)
        coords.push_back(int32_t(rng()) >> (rng() % 31));
    for (int y : coords) {
        for (int x : coords) {
            int a = PAtan2(y, x);
            if (std::fabs(double(x)) + std::fabs(double(y)) < 6) {
                ASSERT_EQ(a, 0);
                continue;
            }
            ASSERT_GE(a, -24576);
            ASSERT_LE(a, 40960);
            ASSERT_LE(AngleError(a, std::atan2(double(y), double(x)) * kUnitsPerRadian), 0.75) << y << "," << x;
        }
    }
    EXPECT_EQ(PAtan2(0, 5), 0);
    EXPECT_EQ(PAtan2(3, 2), 0);
    EXPECT_EQ(PAtan2(65536, 0), 16384);
    EXPECT_EQ(PAtan2(0, -65536), 32768);
    EXPECT_EQ(PAtan2(INT_MIN, 0), -16384);
}

TEST(FixedRandom, LinearCongruentialMatchesTheCExample)
{
    // The example generator of the C standard, with RAND_MAX 32767.
    unsigned long next = 1;
    auto cRand = [&next] {
        next = (next * 1103515245 + 12345) & 0xFFFFFFFFul;
        return unsigned((next / 65536) % 32768);
    };
    PRand r(0);
    EXPECT_EQ(r.GetSeed(), 1u);
    EXPECT_EQ(r() & 0x7FFF, 16838u);
    r.Seed(1);
    for (int i = 0; i < 100000; i++)
        ASSERT_EQ(r() & 0x7FFF, cRand());
    r.Seed(12345);
    next = 12345;
    for (int i = 0; i < 1000; i++) {
        unsigned v = r();
        ASSERT_LT(v, 65536u);
        ASSERT_EQ(v & 0x7FFF, cRand());
        ASSERT_EQ(r.GetSeed(), unsigned(next));
    }
}

TEST(FixedRandom, MultiplyWithCarryPair)
{
    // Each generator as textbook multiply-with-carry base 2^16: a 16-bit
    // value and a carry, x' = (a x + c) mod 2^16, c' = (a x + c) / 2^16.
    struct Mwc {
        uint64_t a, x, c;
        uint64_t Next()
        {
            uint64_t t = a * x + c;
            x = t & 0xFFFF;
            c = t >> 16;
            return x;
        }
    };
    auto check = [](unsigned s1, unsigned s2, unsigned e1, unsigned e2) {
        PRand2 r(s1, s2);
        EXPECT_EQ(r.GetSeed(0), e1);
        EXPECT_EQ(r.GetSeed(1), e2);
        Mwc first { 18000, e1 & 0xFFFF, e1 >> 16 };
        Mwc second { 30903, e2 & 0xFFFF, e2 >> 16 };
        for (int i = 0; i < 100000; i++) {
            uint32_t lo = uint32_t(first.Next());
            uint32_t hi = uint32_t(second.Next());
            uint32_t expected = (hi << 16) + lo;
            ASSERT_EQ(r(), expected) << i;
        }
        EXPECT_EQ(r.GetSeed(0), uint32_t(first.c << 16 | first.x));
        EXPECT_EQ(r.GetSeed(1), uint32_t(second.c << 16 | second.x));
    };
    check(0, 0, 521288629u, 362436069u);
    check(1, 2, 1, 2);
    check(0xFFFFFFFFu, 0xDEADBEEFu, 0xFFFFFFFFu, 0xDEADBEEFu);
}

} // namespace
