// Vectors, matrices, planes and boxes, checked against long-double
// references.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>

#include <gtest/gtest.h>
#include <tuple>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"

namespace {

using LD = long double;
constexpr LD kOne = 65536;
constexpr LD kTau = 6.283185307179586476925286766559L;

struct Rng {
    std::mt19937 gen { 1234 };
    int Range(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
    PVector3 Vector(int lo, int hi) { return PVector3(Range(lo, hi), Range(lo, hi), Range(lo, hi)); }
    PMatrix3D Matrix(int linear, int translation)
    {
        PMatrix3D m;
        for (auto& row : m.m) {
            for (int c = 0; c < 3; c++)
                row[c] = Range(-linear, linear);
            row[3] = Range(-translation, translation);
        }
        return m;
    }
};

// The exact result of a sum of 64-bit products shifted right by 16 (products
// and sums of 32-bit values are exact in a long double).
int32_t FloorShift(LD sum)
{
    return int32_t(std::floor(sum / kOne));
}

// a x b as 4x4 matrices with the last row (0, 0, 0, 1), exactly as the
// engine rounds.
PMatrix3D Reference(const PMatrix3D& a, const PMatrix3D& b)
{
    PMatrix3D r;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 4; j++) {
            LD sum = 0;
            for (int k = 0; k < 3; k++)
                sum += LD(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = FloorShift(sum) + (j == 3 ? a.m[i][3] : 0);
        }
    }
    return r;
}

void ExpectMatrixEqAt(int line, const PMatrix3D& a, const PMatrix3D& b, int tolerance = 0)
{
    SCOPED_TRACE(line);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++)
            EXPECT_LE(std::abs(int64_t(a.m[i][j]) - b.m[i][j]), tolerance) << "element " << i << "," << j;
}

#define ExpectMatrixEq(...) ExpectMatrixEqAt(__LINE__, __VA_ARGS__)

// The rotation by radians about the unit axis (x, y, z), in 16.16, from libm.
PMatrix3D Rodrigues(LD radians, LD x, LD y, LD z)
{
    LD s = std::sin(radians), c = std::cos(radians), t = 1 - c;
    LD r[3][3] = { { c + t * x * x, t * x * y - s * z, t * x * z + s * y },
                   { t * x * y + s * z, c + t * y * y, t * y * z - s * x },
                   { t * x * z - s * y, t * y * z + s * x, c + t * z * z } };
    PMatrix3D m;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++)
            m.m[i][j] = int32_t(std::lround(r[i][j] * kOne));
        m.m[i][3] = 0;
    }
    return m;
}

int32_t Component(const PVector3& v, int k)
{
    return k == 0 ? v.x : k == 1 ? v.y : v.z;
}

LD Length(LD x, LD y, LD z)
{
    return std::sqrt(x * x + y * y + z * z);
}

TEST(Matrix3D, ProductsMatchTheLongDoubleReference)
{
    Rng rng;
    for (int i = 0; i < 2000; i++) {
        PMatrix3D a = rng.Matrix(0x30000, 0x4000000), b = rng.Matrix(0x30000, 0x4000000);
        PMatrix3D r = a;
        r.Multiply(b.m);
        ExpectMatrixEq(r, Reference(a, b));
        r = b;
        r.PreMultiply(a.m);
        ExpectMatrixEq(r, Reference(a, b));
        r.SetProduct(a, b);
        ExpectMatrixEq(r, Reference(a, b));
        r = a;
        r.SetProduct(r, r); // aliased operands
        ExpectMatrixEq(r, Reference(a, a));
        r = a;
        r.Multiply(r.m);
        ExpectMatrixEq(r, Reference(a, a));

        PVector3 p = rng.Vector(-0x4000000, 0x4000000);
        PVector3 q = p;
        a.TransformPoint(q);
        for (int k = 0; k < 3; k++) {
            LD sum = LD(a.m[k][0]) * p.x + LD(a.m[k][1]) * p.y + LD(a.m[k][2]) * p.z;
            ASSERT_EQ(Component(q, k), FloorShift(sum) + a.m[k][3]);
        }
        PMatrix3D t = a, ref;
        t.Translate(p);
        ref.SetupTranslation(p.x, p.y, p.z);
        ExpectMatrixEq(t, Reference(a, ref));
        t = a;
        t.Scale(b.m[0][0], b.m[1][1], b.m[2][2]);
        ref.SetupScale(b.m[0][0], b.m[1][1], b.m[2][2]);
        ExpectMatrixEq(t, Reference(a, ref));
    }
}

TEST(Matrix3D, RotationsFollowTheRightHandRule)
{
    PMatrix3D m;
    m.SetIdentity();
    m.RotateZ(90 * 65536);
    EXPECT_EQ(std::make_tuple(m.m[0][0], m.m[0][1], m.m[1][0], m.m[1][1]), std::make_tuple(0, -65536, 65536, 0));

    Rng rng;
    for (int i = 0; i < 500; i++) {
        PMatrix3D a = rng.Matrix(0x20000, 0x1000000);
        int deg = rng.Range(-720 * 65536, 720 * 65536);
        LD rad = kTau * (deg / 360) / 65536; // the engine's whole-unit angle
        PMatrix3D got = a, ref;
        got.RotateX(deg);
        ref = Rodrigues(rad, 1, 0, 0);
        ExpectMatrixEq(got, Reference(a, ref), 16);
        PMatrix3D viaRotate = a;
        viaRotate.Rotate(deg, -65536, 0, 0); // a lone axis's sign is not used
        ExpectMatrixEq(viaRotate, got);
        got = a;
        got.RotateY(deg);
        ExpectMatrixEq(got, Reference(a, Rodrigues(rad, 0, 1, 0)), 16);
        got = a;
        got.RotateZ(deg);
        ExpectMatrixEq(got, Reference(a, Rodrigues(rad, 0, 0, 1)), 16);

        // A general axis against libm, and the same turn as a quaternion.
        LD ax = rng.Range(-100, 100) + 0.5L, ay = rng.Range(-100, 100), az = rng.Range(-100, 100);
        LD len = Length(ax, ay, az);
        ax /= len, ay /= len, az /= len;
        int ix = int(std::lround(ax * kOne)), iy = int(std::lround(ay * kOne)), iz = int(std::lround(az * kOne));
        PMatrix3D r;
        r.SetupRotate(deg, ix, iy, iz);
        ExpectMatrixEq(r, Rodrigues(rad, ax, ay, az), 12);
        got = a;
        got.Rotate(deg, ix, iy, iz);
        ExpectMatrixEq(got, Reference(a, r));
        LD h = rad / 2;
        PQuaternion q(int(std::lround(std::cos(h) * kOne)), int(std::lround(ax * std::sin(h) * kOne)),
                      int(std::lround(ay * std::sin(h) * kOne)), int(std::lround(az * std::sin(h) * kOne)));
        PMatrix3D rq;
        rq.SetupRotate(q);
        if (std::abs(q.w) != 0x10000) // else no rotation at all (below)
            ExpectMatrixEq(rq, r, 16);
    }

    // Whole turns do nothing; the Setup forms give the identity.
    PMatrix3D a = rng.Matrix(0x20000, 0x100000), b = a, id;
    id.SetIdentity();
    b.RotateX(360 * 65536);
    b.RotateY(-720 * 65536);
    b.RotateZ(0);
    ExpectMatrixEq(a, b);
    PMatrix3D s;
    s.SetupRotate(0, 1, 2, 3);
    ExpectMatrixEq(s, id);
    s.SetupRotate(PQuaternion(-0x10000, 30, 0, 0)); // w = +-1.0 to 24 bits
    ExpectMatrixEq(s, id);
    // Half a turn about x as a quaternion with |x| = 1.0 (the wide path).
    s.SetupRotate(PQuaternion(0, 0x10000, 0, 0));
    PMatrix3D half;
    half.SetupScale(0x10000, -0x10000, -0x10000);
    ExpectMatrixEq(s, half);
}

TEST(Vector3, DivisionSaturates)
{
    Rng rng;
    for (int i = 0; i < 20000; i++) {
        PVector3 v = rng.Vector(-0x1000000, 0x1000000);
        int d = rng.Range(-0x1000000, 0x1000000) >> rng.Range(0, 20);
        if (d == 0)
            continue;
        PVector3 q = v / d;
        for (int k = 0; k < 3; k++) {
            LD c = Component(v, k);
            LD exact = c * kOne / d;
            LD expected = std::clamp(exact, LD(INT_MIN), LD(INT_MAX));
            ASSERT_LE(std::fabs(Component(q, k) - expected), 1 + std::fabs(c) / kOne) << c << " / " << d;
        }
    }
    PVector3 v(5, -5, 0);
    v /= 0;
    EXPECT_EQ(v, PVector3(INT_MAX, INT_MIN, 0));
    // Divisors whose reciprocal does not fit in 32 bits.
    EXPECT_EQ(PVector3(3, -2, 0x10000) / 1, PVector3(3 << 16, -2 << 16, INT_MAX));
    EXPECT_EQ(PVector3(3, -2, INT_MIN) / 2, PVector3(3 << 15, -2 << 15, INT_MIN));
    EXPECT_EQ(PVector3(3, INT_MIN, 0) / -1, PVector3(-(3 << 16), INT_MAX, 0));
    EXPECT_EQ(PVector3(0x30000, 0, 0) / 0x10000, PVector3(0x30000, 0, 0));
    EXPECT_NE(PVector3(1, 2, 3), PVector3(1, 2, 4));
}

TEST(Vector3, LengthsAndDistancesSaturateInsteadOfWrapping)
{
    Rng rng;
    for (int i = 0; i < 20000; i++) {
        PVector3 a = rng.Vector(INT_MIN, INT_MAX), b = rng.Vector(-0x800000, 0x800000);
        int shift = rng.Range(0, 31);
        a = PVector3(a.x >> shift, a.y >> shift, a.z >> shift);
        LD dx = LD(a.x) - b.x, dy = LD(a.y) - b.y, dz = LD(a.z) - b.z;
        LD dist = Length(dx, dy, dz); // in 16.16
        LD sq = (dx * dx + dy * dy + dz * dz) / kOne;
        int got = PVector3::DistanceSafe(a, b);
        // 8 fraction bits of the square root, doubled with each halving.
        if (dist >= INT_MAX)
            ASSERT_EQ(got, INT_MAX);
        else
            ASSERT_LE(std::fabs(got - dist), 256 + dist / 4096) << dist;
        ASSERT_EQ(PVector3::DistanceSqrSafe(a, b), sq > INT_MAX ? INT_MAX : int(std::floor(sq)));
        LD len = Length(b.x, b.y, b.z);
        LD lsq = (LD(b.x) * b.x + LD(b.y) * b.y + LD(b.z) * b.z) / kOne;
        ASSERT_EQ(b.LengthSqrSafe(), lsq > INT_MAX ? INT_MAX : int(std::floor(lsq)));
        if (lsq > INT_MAX)
            ASSERT_EQ(b.LengthSafe(), INT_MAX);
        else
            ASSERT_LE(std::fabs(b.LengthSafe() - len), 256);
    }
    // 200.0 apart: the squared distance does not fit in 32 bits.
    EXPECT_NEAR(PVector3::DistanceSafe(PVector3(), PVector3(200 << 16, 0, 0)), 200 << 16, 256);
    EXPECT_EQ(PVector3::DistanceSafe(PVector3(INT_MIN, INT_MIN, INT_MIN), PVector3(INT_MAX, INT_MAX, INT_MAX)),
              INT_MAX);
    // 256.0 squared is exactly 2^32 in 16.16; it must not come out as 0.
    EXPECT_EQ(PVector3(0x1000000, 0, 0).LengthSafe(), INT_MAX);
    EXPECT_EQ(PVector3(INT_MIN, INT_MIN, INT_MIN).LengthSqrSafe(), INT_MAX); // 3 x 2^62
    EXPECT_EQ(PVector3::DistanceSqrSafe(PVector3(INT_MAX, 0, 0), PVector3(INT_MIN, 0, 0)), INT_MAX);
}

TEST(Vector3, NormalizeGivesUnitLength)
{
    Rng rng;
    auto expectUnit = [](const PVector3& in, const PVector3& out, LD tolerance) {
        LD len = Length(in.x, in.y, in.z);
        for (int k = 0; k < 3; k++)
            ASSERT_LE(std::fabs(Component(out, k) - Component(in, k) / len * kOne), tolerance * kOne)
                << in.x << "," << in.y << "," << in.z;
    };
    for (int i = 0; i < 20000; i++) {
        PVector3 v = rng.Vector(INT_MIN, INT_MAX);
        int shift = rng.Range(0, 22);
        v = PVector3(v.x >> shift, v.y >> shift, v.z >> shift);
        LD len = Length(v.x, v.y, v.z);
        if (len < 4096)
            continue;
        // The squared length is truncated to 16.16 (and its root to 8
        // fraction bits in Normalize2): short vectors lose precision. Long
        // ones are only scaled down to about 128.0, where 1/length has
        // about 9 significant bits.
        LD sq = len * len / kOne;
        LD tolerance = 1e-4L + 1 / sq + 3 * std::min(len, 1.46e7L) / (kOne * kOne);
        PVector3 n = v;
        n.Normalize();
        expectUnit(v, n, tolerance);
        PVector3 s;
        s.SetNormal(v);
        expectUnit(v, s, tolerance);
        PVector3 d = v;
        d.Normalize2();
        expectUnit(v, d, 1e-4L + 2 / std::sqrt(sq));
    }
    PVector3 zero, three(3 << 16, 0, 0);
    zero.Normalize();
    zero.Normalize2();
    EXPECT_EQ(zero, PVector3());
    three.Normalize();
    EXPECT_EQ(three, PVector3(65535, 0, 0));
    // Vectors far too short for their square to show in 16.16 still come out
    // unit length.
    for (PVector3 tiny : { PVector3(1, 0, 0), PVector3(0, -3, 2), PVector3(15, 15, 15) }) {
        PVector3 n = tiny, s;
        n.Normalize();
        s.SetNormal(tiny);
        expectUnit(tiny, n, 0.25L);
        EXPECT_EQ(n, s);
        PVector3 d = tiny;
        d.Normalize2(); // too short to measure: unchanged
        EXPECT_EQ(d, tiny);
    }
}

TEST(Plane3, CreateAndNormalize)
{
    Rng rng;
    for (int i = 0; i < 5000; i++) {
        int spread = 0x10000 << rng.Range(0, 14);
        PVector3 p[3] = { rng.Vector(-spread, spread), rng.Vector(-spread, spread), rng.Vector(-spread, spread) };
        LD e1[3] = { LD(p[1].x) - p[0].x, LD(p[1].y) - p[0].y, LD(p[1].z) - p[0].z };
        LD e2[3] = { LD(p[2].x) - p[0].x, LD(p[2].y) - p[0].y, LD(p[2].z) - p[0].z };
        LD n[3] = { e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0] };
        LD len = Length(n[0], n[1], n[2]);
        if (len < LD(spread) * spread / 64 || len < 4 * kOne * kOne) // nearly collinear
            continue;
        PPlane3 pl;
        PPlane3::Create(pl, p[0], p[1], p[2]);
        // The normal is normalised from at most 128.0 per component, where
        // 1/length keeps about 9 significant bits.
        LD tolerance = 16 + 3 * std::min(len / kOne, 1.46e7L) / kOne;
        EXPECT_NEAR(pl.a, n[0] / len * kOne, tolerance);
        EXPECT_NEAR(pl.b, n[1] / len * kOne, tolerance);
        EXPECT_NEAR(pl.c, n[2] / len * kOne, tolerance);
        for (const PVector3& q : p) {
            LD dist = (LD(pl.a) * q.x + LD(pl.b) * q.y + LD(pl.c) * q.z) / kOne + pl.d;
            EXPECT_LE(std::fabs(dist), 2 + LD(spread) * 2 * tolerance / kOne);
        }
    }
    // Points 60000.0 apart: edges that overflow 32 bits keep their direction.
    PPlane3 far;
    far.Create(PVector3(-30000 << 16, 0, 0), PVector3(30000 << 16, 0, 0), PVector3(-30000 << 16, 30000 << 16, 5));
    EXPECT_NEAR(far.c, 65536, 200); // 1/length of a 128.0 vector: 9 bits
    EXPECT_EQ(far.d, 0);

    PPlane3 p { 2 << 16, 0, 0, 4 << 16 };
    p.Normalize();
    EXPECT_NEAR(p.a, 65536, 1);
    EXPECT_NEAR(p.d, 2 << 16, 2);
    PPlane3 big { INT_MAX, INT_MAX, 0, INT_MIN }; // squared normal beyond 32 bits
    big.Normalize();
    EXPECT_NEAR(big.a, 46341, 100);
    PPlane3 tiny { 1, 0, 0, -1 };
    tiny.Normalize();
    EXPECT_NEAR(tiny.a, 65536, 1);
    EXPECT_NEAR(tiny.d, -65536, 1);
    PPlane3 flat { 0, 0, 0, 5 };
    flat.Normalize();
    EXPECT_EQ(flat.d, 5);
}

TEST(AABB3, EmptyBoxStaysEmptyAndGrowsByPoints)
{
    PAABB3 box;
    box.Zero();
    for (int v : { 0, 1, -1, INT_MAX, INT_MIN })
        EXPECT_FALSE(box.Contains(v, v, v));
    box.Translate(PVector3(1 << 20, -(1 << 20), INT_MAX));
    box.Scale(0x20000, 0x20000, 0x20000);
    for (int v : { 0, 1, -1, INT_MAX, INT_MIN })
        EXPECT_FALSE(box.Contains(v, v, v));

    box.Zero();
    PVector3 p(5, -7, 9);
    box.Add(&p, 1);
    EXPECT_TRUE(box.Contains(p));
    EXPECT_FALSE(box.Contains(6, -7, 9));
    EXPECT_FALSE(box.Contains(5, -8, 9));
    box.Add(nullptr, 3);
    PVector3 pts[2] = { PVector3(-10, 20, 0), PVector3(30, -40, 50) };
    box.Add(pts, 2);
    EXPECT_EQ(box.min, PVector3(-10, -40, 0));
    EXPECT_EQ(box.max, PVector3(30, 20, 50));
    EXPECT_TRUE(box.Contains(30, 20, 50)); // bounds inclusive
    EXPECT_FALSE(box.Contains(31, 20, 50));

    PVector3 c[8];
    box.Corners(c);
    EXPECT_EQ(c[1], PVector3(30, -40, 0));
    EXPECT_EQ(c[6], PVector3(-10, 20, 50));

    PAABB3 s;
    box.Scale(s, -0x20000, 0x8000, 0x10000); // negative: min and max exchanged
    EXPECT_EQ(s.min, PVector3(20, -20, 0));
    EXPECT_EQ(s.max, PVector3(-60, 10, 50));
}

TEST(AABB3, DistanceFromCenter)
{
    Rng rng;
    for (int i = 0; i < 5000; i++) {
        PAABB3 box;
        box.Zero();
        PVector3 pts[2] = { rng.Vector(INT_MIN / 2, INT_MAX / 2), rng.Vector(INT_MIN / 2, INT_MAX / 2) };
        box.Add(pts, 2);
        PVector3 p = rng.Vector(INT_MIN / 2, INT_MAX / 2);
        int shift = rng.Range(0, 24);
        p = PVector3(p.x >> shift, p.y >> shift, p.z >> shift);
        LD cx = std::trunc((LD(box.min.x) + box.max.x) / 2), cy = std::trunc((LD(box.min.y) + box.max.y) / 2),
           cz = std::trunc((LD(box.min.z) + box.max.z) / 2);
        LD dist = Length(cx - p.x, cy - p.y, cz - p.z);
        if (dist >= INT_MAX)
            ASSERT_EQ(box.DistanceFromCenter(p), INT_MAX);
        else
            ASSERT_LE(std::fabs(box.DistanceFromCenter(p) - dist), 512 + dist / 4096) << dist;
        PAABB3 other;
        other.Zero();
        other.Add(&p, 1);
        ASSERT_EQ(box.DistanceFromCenter(other), box.DistanceFromCenter(p));
    }
}

} // namespace
