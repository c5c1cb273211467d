// Geometry helpers against double-precision references: the rotation order of
// scene objects, 4x4 products, the frustum planes of the current matrices
// (Gribb and Hartmann's extraction) and the box and point tests on them.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "game/scene/p3dutils.h"
#include "scene_fixtures.h"

namespace {

using scenetest::Db;
using scenetest::Fx;

constexpr double kPi = 3.14159265358979323846;

TEST(Utils, PowerOfTwoKeepsTheSignAndItsQuirks)
{
    EXPECT_EQ(0, P3DUtils::ToPowerOf2(0));
    EXPECT_EQ(2, P3DUtils::ToPowerOf2(1));
    EXPECT_EQ(-4, P3DUtils::ToPowerOf2(-3));
    EXPECT_EQ(32768, P3DUtils::ToPowerOf2(16385));
    EXPECT_EQ(40000, P3DUtils::ToPowerOf2(40000));
    EXPECT_EQ(-32768, P3DUtils::ToPowerOf2(-20000));
}

TEST(Utils, BoxCornersInTheEngineOrder)
{
    PAABB3 b;
    b.min = PVector3(1, 2, 3);
    b.max = PVector3(10, 20, 30);
    PVector3 c[8];
    P3DUtils::BBox2Vectors(b, c);
    PVector3 want[8] = {{1, 2, 3},   {10, 2, 3},   {10, 2, 30},  {1, 2, 30},
                        {1, 20, 3},  {10, 20, 3},  {10, 20, 30}, {1, 20, 30}};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(want[i], c[i]) << i;
}

// T + Ry Rx Rz p in doubles.
void Reference(double p[3], double t[3], double ax, double ay, double az)
{
    double a = az * kPi / 180, c = std::cos(a), s = std::sin(a);
    double x = c * p[0] - s * p[1], y = s * p[0] + c * p[1], z = p[2];
    a = ax * kPi / 180, c = std::cos(a), s = std::sin(a);
    double y2 = c * y - s * z, z2 = s * y + c * z;
    a = ay * kPi / 180, c = std::cos(a), s = std::sin(a);
    double x3 = c * x + s * z2, z3 = c * z2 - s * x;
    p[0] = x3 + t[0], p[1] = y2 + t[1], p[2] = z3 + t[2];
}

TEST(Utils, RotationOrderMatchesDoubles)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pos(-500, 500), ang(-360, 360);
    for (int i = 0; i < 2000; i++) {
        double p[3] = {pos(rng), pos(rng), pos(rng)}, t[3] = {pos(rng), pos(rng), pos(rng)};
        double ax = ang(rng), ay = ang(rng), az = ang(rng);
        int x = Fx(p[0]), y = Fx(p[1]), z = Fx(p[2]);
        P3DUtils::GetTranslatedXYZ(&x, &y, &z, Fx(t[0]), Fx(t[1]), Fx(t[2]), Fx(ax), Fx(ay), Fx(az));
        Reference(p, t, ax, ay, az);
        // Table sines and angles in 1/65536 turns: about 2e-4 of 870.0.
        double tol = 0.5;
        ASSERT_NEAR(p[0], Db(x), tol);
        ASSERT_NEAR(p[1], Db(y), tol);
        ASSERT_NEAR(p[2], Db(z), tol);
    }
    // A quarter turn about Z takes X to Y exactly.
    int x = 1 << 16, y = 0, z = 0;
    P3DUtils::GetTranslatedXYZ(&x, &y, &z, 0, 0, 0, 0, 0, 90 << 16);
    EXPECT_EQ(0, x);
    EXPECT_EQ(1 << 16, y);
    // About a pivot: the pivot stays, a point one unit beside it turns.
    x = 11 << 16, y = 5 << 16, z = 0;
    P3DUtils::TranslatePointByPivot(&x, &y, &z, 10 << 16, 5 << 16, 0, 0, 90 << 16, 0);
    EXPECT_EQ(10 << 16, x);
    EXPECT_EQ(-1 << 16, z);
}

TEST(Utils, MatrixProductMatchesDoubles)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> v(-8, 8);
    for (int n = 0; n < 200; n++) {
        int a[16], b[16], out[16];
        double da[16], db[16];
        for (int i = 0; i < 16; i++) {
            a[i] = Fx(v(rng)), b[i] = Fx(v(rng));
            da[i] = Db(a[i]), db[i] = Db(b[i]);
        }
        P3DUtils::MatMult4x4(out, a, b);
        for (int c = 0; c < 4; c++)
            for (int r = 0; r < 4; r++) {
                double s = 0;
                for (int k = 0; k < 4; k++)
                    s += da[k * 4 + r] * db[c * 4 + k];
                ASSERT_NEAR(s, Db(out[c * 4 + r]), 4.0 / 65536);
            }
    }
}

// A random view: rotation and translation as the model-view matrix, and a
// perspective frustum, in doubles (column-major).
struct View {
    double mv[16], proj[16];
    int32_t fmv[16], fproj[16];
};

View RandomView(std::mt19937& rng)
{
    std::uniform_real_distribution<double> ang(0, 2 * kPi), pos(-50, 50), n(0.5, 3), f(40, 120), w(0.3, 1.5);
    View v{};
    double a = ang(rng), b = ang(rng), c = ang(rng);
    // R = Rz(c) Rx(b) Ry(a)
    double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b), cc = std::cos(c), sc = std::sin(c);
    double ry[9] = {ca, 0, -sa, 0, 1, 0, sa, 0, ca};  // columns
    double rx[9] = {1, 0, 0, 0, cb, sb, 0, -sb, cb};
    double rz[9] = {cc, sc, 0, -sc, cc, 0, 0, 0, 1};
    auto mul = [](const double* p, const double* q, double* o) {
        for (int col = 0; col < 3; col++)
            for (int r = 0; r < 3; r++) {
                o[col * 3 + r] = 0;
                for (int k = 0; k < 3; k++)
                    o[col * 3 + r] += p[k * 3 + r] * q[col * 3 + k];
            }
    };
    double t1[9], r[9];
    mul(rx, ry, t1);
    mul(rz, t1, r);
    for (int col = 0; col < 3; col++)
        for (int row = 0; row < 3; row++)
            v.mv[col * 4 + row] = r[col * 3 + row];
    v.mv[12] = pos(rng), v.mv[13] = pos(rng), v.mv[14] = pos(rng), v.mv[15] = 1;
    double nn = n(rng), ff = f(rng), xm = w(rng) * nn, ym = w(rng) * nn;
    v.proj[0] = nn / xm;
    v.proj[5] = nn / ym;
    v.proj[10] = -(ff + nn) / (ff - nn);
    v.proj[11] = -1;
    v.proj[14] = -2 * ff * nn / (ff - nn);
    for (int i = 0; i < 16; i++) {
        v.fmv[i] = Fx(v.mv[i]);
        v.fproj[i] = Fx(v.proj[i]);
        v.mv[i] = Db(v.fmv[i]);
        v.proj[i] = Db(v.fproj[i]);
    }
    return v;
}

TEST(Utils, FrustumPlanesAgreeWithTheDoubleExtraction)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> pt(-150, 150);
    int inside = 0;
    for (int n = 0; n < 100; n++) {
        View v = RandomView(rng);
        PPlane3 planes[6];
        P3DUtils::FrustumPlanesFromMatrices(planes, v.fmv, v.fproj);
        double clip[16];
        for (int c = 0; c < 4; c++)
            for (int r = 0; r < 4; r++) {
                clip[c * 4 + r] = 0;
                for (int k = 0; k < 4; k++)
                    clip[c * 4 + r] += v.proj[k * 4 + r] * v.mv[c * 4 + k];
            }
        // Near, far, left, right, bottom, top: row 3 plus or minus rows 2, 0, 1.
        const int rows[6] = {2, 2, 0, 0, 1, 1};
        for (int p = 0; p < 6; p++) {
            double sign = p & 1 ? -1 : 1;
            const int32_t got[4] = {planes[p].a, planes[p].b, planes[p].c, planes[p].d};
            for (int k = 0; k < 4; k++) {
                double want = clip[3 + 4 * k] + sign * clip[rows[p] + 4 * k];
                ASSERT_NEAR(want, Db(got[k]), 1e-3 * (1 + std::fabs(want))) << n << " " << p << " " << k;
            }
        }
        // Points: inside all six planes exactly when -w <= x, y, z <= w in
        // clip space (points near a plane are left out).
        for (int i = 0; i < 200; i++) {
            double p[3] = {pt(rng), pt(rng), pt(rng)}, c[4];
            for (int r = 0; r < 4; r++)
                c[r] = clip[r] * p[0] + clip[4 + r] * p[1] + clip[8 + r] * p[2] + clip[12 + r];
            double margin = std::min({c[3] + c[2], c[3] - c[2], c[3] + c[0], c[3] - c[0], c[3] + c[1], c[3] - c[1]});
            if (std::fabs(margin) < 0.5)
                continue;
            PVector3 fp(Fx(p[0]), Fx(p[1]), Fx(p[2]));
            int want = margin > 0;
            inside += want;
            ASSERT_EQ(want, P3DUtils::IsPointInFrustum(&fp, planes, 6));
            // A box shrunk to the point agrees.
            PVector3 corners[8];
            for (auto& k : corners)
                k = fp;
            ASSERT_EQ(want, P3DUtils::PBoxInFrustum(corners, planes, 6));
        }
    }
    EXPECT_GT(inside, 50);
}

TEST(Utils, BoxAndPointTestsAtTheirEdges)
{
    PPlane3 xPositive{1 << 16, 0, 0, 0}; // x >= 1/65536 inside
    PVector3 p(1, 0, 0), q(0, 5, 5);
    EXPECT_EQ(1, P3DUtils::IsPointInFrustum(&p, &xPositive, 1));
    EXPECT_EQ(0, P3DUtils::IsPointInFrustum(&q, &xPositive, 1));
    EXPECT_EQ(1, P3DUtils::IsPointInFrustum(&q, &xPositive, 0));
    EXPECT_EQ(0, P3DUtils::IsPointInFrustum(&q, &xPositive, -1));
    PVector3 box[8];
    for (auto& c : box)
        c = q;
    EXPECT_EQ(0, P3DUtils::PBoxInFrustum(box, &xPositive, 1));
    box[5] = p; // one corner inside keeps the box
    EXPECT_EQ(1, P3DUtils::PBoxInFrustum(box, &xPositive, 1));
    EXPECT_EQ(1, P3DUtils::PBoxInFrustum(box, &xPositive, 0));
}

TEST(Utils, NormalAndAngle)
{
    PVector3 n = P3DUtils::CreateNormal(PVector3(0, 0, 0), PVector3(1 << 16, 0, 0), PVector3(0, 1 << 16, 0));
    EXPECT_NEAR(0, Db(n.x), 1e-3);
    EXPECT_NEAR(0, Db(n.y), 1e-3);
    EXPECT_NEAR(1, Db(n.z), 1e-3);
    // Far apart points do not overflow.
    n = P3DUtils::CreateNormal(PVector3(INT32_MIN, 0, 0), PVector3(INT32_MAX, 0, 0), PVector3(0, INT32_MAX, 0));
    EXPECT_NEAR(1, Db(n.z), 1e-3);
    EXPECT_EQ(16384, P3DUtils::GetAngle(0, 0, 0, 5 << 16) & 0xFFFF);
}

TEST(Utils, SquareRootOfLargeSumsKeepsGrowing)
{
    // Below 2^48 the result is PFSqrt's; above, the same formula continues
    // instead of wrapping.
    EXPECT_EQ(2 << 16, P3DUtils::SqrtOfSquare((unsigned __int128)(4) << 32));
    unsigned __int128 big = (unsigned __int128)(5000) << 16;
    big = big * big; // 5000.0 squared, 2^32 units
    EXPECT_NEAR(5000.0, Db(P3DUtils::SqrtOfSquare(big)), 0.01);
    EXPECT_EQ(INT32_MAX, P3DUtils::SqrtOfSquare((unsigned __int128)(1) << 100));
}

} // namespace
