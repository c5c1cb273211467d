// Matrix stacks and the 16.16 arithmetic: stack limits, deferral, the turned
// projection, queries, and products checked against long-double references.
#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <tuple>

#include "gl/gles.h"
#include "recording_backend.h"

using testgl::Call;
using testgl::RecordingBackend;
using vornGL::i32;
using vornGL::P3DStateMan;

namespace {

using M = std::array<i32, 16>;
using LM = std::array<long double, 16>;

LM ToLD(i32 const* m)
{
    LM r;
    for (int i = 0; i < 16; ++i)
        r[i] = m[i] / 65536.0L;
    return r;
}

LM MulLD(LM const& a, LM const& b)
{
    LM r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k)
                r[4 * c + row] += a[4 * k + row] * b[4 * c + k];
    return r;
}

// Largest difference in LSB between a 16.16 matrix and a reference.
long double Lsb(i32 const* m, LM const& ref)
{
    long double worst = 0;
    for (int i = 0; i < 16; ++i)
        worst = std::max(worst, std::fabs(m[i] - ref[i] * 65536.0L));
    return worst;
}

struct Matrices : ::testing::Test {
    PDisplayProperties info{};
    RecordingBackend* rec = nullptr;
    GLES gles;
    P3DStateMan& sm = gles.GetStateMan();

    void SetUp() override
    {
        info.width = 1024;
        info.height = 600;
        rec = new RecordingBackend(1, &info);
        rec->integers[GL_MAX_TEXTURE_UNITS] = {2};
        gles.Init(rec, nullptr);
        // Texture matrices start dirty like the others; these tests look at
        // projection and modelview only.
        for (int u = 0; u < vornGL::kMaxTextureUnits; ++u)
            sm.Top(vornGL::kStackTexture0 + u).flags() &= ~vornGL::kMatDirty;
        rec->Clear();
    }
    i32 const* Top(int stack) { return sm.Top(stack).w; }
};

TEST_F(Matrices, StackLimitsAndErrors)
{
    for (int i = 0; i < 17; ++i)
        gles.glPushMatrix();
    EXPECT_EQ(gles.glGetError(), 0u);
    gles.glPushMatrix();
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_STACK_OVERFLOW));
    i32 depth = 0;
    gles.glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 18);

    gles.glMatrixMode(GL_PROJECTION);
    for (int i = 0; i < 3; ++i)
        gles.glPushMatrix();
    EXPECT_EQ(gles.glGetError(), 0u);
    gles.glPushMatrix();
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_STACK_OVERFLOW));
    for (int i = 0; i < 3; ++i)
        gles.glPopMatrix();
    gles.glPopMatrix();
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_STACK_UNDERFLOW));

    // A mode outside the three is refused; the mode stays.
    gles.glMatrixMode(0x1234);
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_INVALID_ENUM));
    i32 mode = 0;
    gles.glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);

    // GL_TEXTURE selects the active unit's stack.
    gles.glActiveTexture(GL_TEXTURE1);
    gles.glMatrixMode(GL_TEXTURE);
    EXPECT_EQ(sm.MatrixModeIndex(), 3u);
    gles.glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
}

TEST_F(Matrices, MatricesAreSentAtTheNextDrawOnlyWhenDirty)
{
    gles.glMatrixMode(GL_MODELVIEW);
    gles.glTranslatex(0x10000, 0, 0);
    EXPECT_EQ(Top(0)[12], 0x10000);
    EXPECT_FALSE(sm.Top(0).flags() & vornGL::kMatIdentity);
    EXPECT_TRUE(rec->calls.empty());

    gles.glDrawArrays(GL_TRIANGLES, 0, 3);
    // First draw: projection and modelview, then the update mask 6.
    EXPECT_EQ(rec->Only("glMatrixMode"),
              (std::vector<std::string>{Call("glMatrixMode", GL_PROJECTION), Call("glMatrixMode", GL_MODELVIEW)}));
    ASSERT_EQ(rec->loaded.size(), 2u);
    EXPECT_EQ(rec->loaded[1][12], 0x10000);
    EXPECT_EQ(rec->Only("vornGLUpdateMatrices"), std::vector<std::string>{Call("vornGLUpdateMatrices", 6)});

    rec->Clear();
    gles.glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_TRUE(rec->loaded.empty());

    // A pop marks the new top dirty; the caller's mode is restored after.
    gles.glMatrixMode(GL_PROJECTION);
    gles.glPushMatrix();
    gles.glPopMatrix();
    gles.glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Only("glMatrixMode"), std::vector<std::string>{Call("glMatrixMode", GL_PROJECTION)});
    EXPECT_EQ(rec->Only("vornGLUpdateMatrices"), std::vector<std::string>{Call("vornGLUpdateMatrices", 2)});

    // Modelview alone, with the caller in projection mode: mode put back.
    rec->Clear();
    gles.glMatrixMode(GL_MODELVIEW);
    gles.glScalex(0x20000, 0x20000, 0x10000);
    gles.glMatrixMode(GL_PROJECTION);
    gles.glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Only("glMatrixMode"),
              (std::vector<std::string>{Call("glMatrixMode", GL_MODELVIEW), Call("glMatrixMode", GL_PROJECTION)}));
    EXPECT_EQ(rec->Only("vornGLUpdateMatrices"), std::vector<std::string>{Call("vornGLUpdateMatrices", 4)});
}

TEST_F(Matrices, TextureMatricesGoToTheirUnit)
{
    gles.glDrawArrays(GL_TRIANGLES, 0, 3); // flush the initial dirty state
    rec->Clear();
    gles.glActiveTexture(GL_TEXTURE1);
    gles.glMatrixMode(GL_TEXTURE);
    gles.glScalex(0x8000, 0x8000, 0x10000);
    gles.glActiveTexture(GL_TEXTURE0);
    rec->Clear();
    gles.glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->calls,
              (std::vector<std::string>{Call("glActiveTexture", GL_TEXTURE1), Call("glMatrixMode", GL_TEXTURE),
                                        rec->calls[2], Call("vornGLUpdateMatrices", 1),
                                        Call("glActiveTexture", GL_TEXTURE0), Call("glMatrixMode", GL_TEXTURE),
                                        Call("glDrawArrays", GL_TRIANGLES, 0, 3)}));
    EXPECT_EQ(rec->loaded[0][0], 0x8000);
}

TEST_F(Matrices, ProjectionIsTurnedForQuarterTurnOrientations)
{
    rec->orientation = 2;
    gles.glDrawArrays(GL_TRIANGLES, 0, 3);
    ASSERT_FALSE(rec->loaded.empty());
    EXPECT_TRUE(std::equal(rec->loaded[0].begin(), rec->loaded[0].end(), vornGL::MatIdentity90.w));

    // A real projection is pre-multiplied by the turn; queries give the
    // stored matrix.
    rec->orientation = 8;
    rec->Clear();
    gles.glMatrixMode(GL_PROJECTION);
    gles.glOrthox(0, 1024 << 16, 600 << 16, 0, -0x10000, 0x10000);
    gles.glDrawArrays(GL_TRIANGLES, 0, 3);
    i32 stored[16];
    gles.glGetFixedv(GL_PROJECTION_MATRIX, stored);
    i32 turned[17];
    P3DStateMan::gl_mulmat(turned, vornGL::MatIdentity270.w, stored);
    EXPECT_TRUE(std::equal(rec->loaded[0].begin(), rec->loaded[0].end(), turned));
    EXPECT_EQ(stored[0], 128);   // 2 / 1024
    EXPECT_EQ(stored[5], -218);  // -2 / 600
    EXPECT_EQ(std::make_tuple(stored[10], stored[12], stored[13]), std::make_tuple(-0x10000, -0x10000, 0x10000));
    EXPECT_TRUE(sm.Top(1).flags() & vornGL::kMatOrtho);
}

TEST_F(Matrices, DegenerateOrthoAndFrustum)
{
    gles.glOrthox(0, 0, 0, 1, 0, 1);
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_INVALID_VALUE));
    gles.glFrustumx(-1, 1, -1, 1, 0, 100);
    EXPECT_EQ(gles.glGetError(), 0u);
    EXPECT_TRUE(sm.Top(0).flags() & vornGL::kMatIdentity);
}

TEST_F(Matrices, PushMatricesSetIdentity)
{
    // Both identity: nothing pushed or popped, mode ends at modelview.
    gles.glMatrixMode(GL_PROJECTION);
    gles.vornGLPushMatricesSetIdentity();
    gles.vornGLPopMatrices();
    EXPECT_EQ(sm.Stack(0).top, 0);
    EXPECT_EQ(sm.Stack(1).top, 0);
    EXPECT_EQ(sm.MatrixModeEnum(), static_cast<uint32_t>(GL_MODELVIEW));

    // A full modelview stack: the push fails, so nothing is loaded or popped.
    gles.glTranslatex(0x10000, 0, 0);
    for (int i = 0; i < 17; ++i)
        gles.glPushMatrix();
    gles.glTranslatex(0x10000, 0, 0);
    gles.vornGLPushMatricesSetIdentity();
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_STACK_OVERFLOW));
    EXPECT_EQ(Top(0)[12], 0x20000);
    EXPECT_EQ(sm.PushFlags(), 0u);
    gles.vornGLPopMatrices();
    EXPECT_EQ(sm.Stack(0).top, 17);

    // A non-identity projection is pushed and restored.
    for (int i = 0; i < 17; ++i)
        gles.glPopMatrix();
    gles.glMatrixMode(GL_PROJECTION);
    gles.glScalex(0x20000, 0x20000, 0x10000);
    gles.vornGLPushMatricesSetIdentity();
    EXPECT_EQ(sm.PushFlags(), 12u);
    EXPECT_TRUE(sm.Top(1).flags() & vornGL::kMatIdentity);
    EXPECT_TRUE(sm.Top(0).flags() & vornGL::kMatIdentity);
    gles.vornGLPopMatrices();
    EXPECT_EQ(Top(1)[0], 0x20000);
    EXPECT_EQ(Top(0)[12], 0x10000);
}

TEST_F(Matrices, QueriesInEveryType)
{
    gles.glTranslatex(-0x18000, 0x28000, 0);
    i32 ints[16], fixed[16];
    float floats[16];
    uint8_t bools[16];
    gles.glGetIntegerv(GL_MODELVIEW_MATRIX, ints);
    gles.glGetFixedv(GL_MODELVIEW_MATRIX, fixed);
    gles.glGetFloatv(GL_MODELVIEW_MATRIX, floats);
    gles.glGetBooleanv(GL_MODELVIEW_MATRIX, bools);
    EXPECT_EQ(ints[12], -1); // truncated toward zero
    EXPECT_EQ(ints[13], 2);
    EXPECT_EQ(fixed[12], -0x18000);
    EXPECT_FLOAT_EQ(floats[12], -1.5f);
    EXPECT_EQ(bools[12], 1);
    EXPECT_EQ(bools[1], 0);
    i32 v = 0;
    gles.glGetFixedv(GL_MAX_MODELVIEW_STACK_DEPTH, &v);
    EXPECT_EQ(v, 0x120000);
    gles.glGetFixedv(GL_MATRIX_MODE, &v);
    EXPECT_EQ(v, GL_MODELVIEW << 16);
    float f = 0;
    gles.glGetFloatv(GL_MAX_TEXTURE_STACK_DEPTH, &f);
    EXPECT_EQ(f, 4.0f);
    // Anything else is the back end's.
    rec->integers[GL_VIEWPORT] = {1, 2, 3, 4};
    i32 vp[4] = {};
    gles.glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[3], 4);
    i32* top = nullptr;
    gles.glGetFixedp(GL_PROJECTION_MATRIX, &top);
    EXPECT_EQ(top, Top(1));
}

TEST_F(Matrices, RotationsAgreeWithALongDoubleReference)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<i32> angle(-720 << 16, 720 << 16);
    std::uniform_int_distribution<i32> comp(-0x30000, 0x30000);
    for (int iter = 0; iter < 500; ++iter) {
        i32 a = angle(rng), x = comp(rng), y = comp(rng), z = comp(rng);
        if (iter % 4 == 0)
            y = z = 0;
        gles.glLoadIdentity();
        gles.glScalex(0x18000, 0xC000, 0x10000); // a non-trivial matrix to multiply
        LM before = ToLD(Top(0));
        gles.glRotatex(a, x, y, z);
        // The reference takes the engine's own sine and cosine (the table is
        // the runtime's business) and does the rest exactly.
        P3DStateMan probe;
        probe.glRotatex(a, 0x10000, 0, 0);
        long double c = probe.Top(0).w[5] / 65536.0L, s = probe.Top(0).w[6] / 65536.0L;
        long double ax = x, ay = y, az = z;
        if (y == 0 && z == 0) {
            ax = x < 0 ? -1 : 1;
        } else if (x == 0 && z == 0) {
            ay = y < 0 ? -1 : 1;
        } else if (x == 0 && y == 0) {
            az = z < 0 ? -1 : 1;
        }
        long double len = std::sqrt(ax * ax + ay * ay + az * az);
        ax /= len, ay /= len, az /= len;
        long double t = 1 - c;
        LM r = {ax * ax * t + c, ay * ax * t + az * s, ax * az * t - ay * s, 0,
                ax * ay * t - az * s, ay * ay * t + c, ay * az * t + ax * s, 0,
                ax * az * t + ay * s, ay * az * t - ax * s, az * az * t + c, 0,
                0, 0, 0, 1};
        EXPECT_LE(Lsb(Top(0), MulLD(before, r)), 2.0L) << a << " " << x << " " << y << " " << z;
    }
}

TEST_F(Matrices, HugeAndTinyAxes)
{
    gles.glRotatex(90 << 16, 0x7FFFFFFF, 0x7FFFFFFF, 0);
    // About (1, 1, 0)/sqrt 2 by 90 degrees: x' = (0.5, 0.5, -0.707).
    EXPECT_NEAR(Top(0)[0], 0x8000, 8);
    EXPECT_NEAR(Top(0)[1], 0x8000, 8);
    EXPECT_NEAR(Top(0)[2], -46341, 8);
    gles.glLoadIdentity();
    gles.glRotatex(90 << 16, 1, 1, 0);
    EXPECT_NEAR(Top(0)[0], 0x8000, 8);
    EXPECT_NEAR(Top(0)[2], -46341, 8);
}

TEST(MatrixArithmetic, ProductsTransformAndInverse)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<i32> v(-0x40000, 0x40000);
    for (int iter = 0; iter < 200; ++iter) {
        i32 a[17], b[17], r[17];
        for (int i = 0; i < 16; ++i)
            a[i] = v(rng), b[i] = v(rng);
        P3DStateMan::gl_mulmat(r, a, b);
        EXPECT_LE(Lsb(r, MulLD(ToLD(a), ToLD(b))), 1.0L);
        i32 inplace[16];
        std::copy(a, a + 16, inplace);
        P3DStateMan::gl_mulmat(inplace, b);
        EXPECT_TRUE(std::equal(inplace, inplace + 16, r));

        vornGL::_Vector4GL_ p{v(rng), v(rng), v(rng), 0x10000};
        vornGL::_Vector4GL_ q = p;
        P3DStateMan::gl_transform(q, a);
        long double ex = (a[0] * (long double)p.x + a[4] * (long double)p.y + a[8] * (long double)p.z +
                          a[12] * 65536.0L) / 65536.0L;
        EXPECT_LE(std::fabs(q.x - ex), 1.0L);
        EXPECT_EQ(q.w, 0x10000);
    }
    // Entries at the 32-bit limits: the sums wrap as the 32-bit results do
    // instead of overflowing 64 bits.
    i32 huge[16], prod[16];
    std::fill(huge, huge + 16, INT32_MIN);
    P3DStateMan::gl_mulmat(prod, huge, huge);
    EXPECT_EQ(prod[0], 0); // 4 * 2^62 >> 16 wraps to 0
    vornGL::_Vector4GL_ far{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
    P3DStateMan::gl_transform(far, huge);
    EXPECT_EQ(far.x, 0);
    // Affine inverse of rotation-translation-scale matrices.
    i32 m[16] = {0, 0x20000, 0, 0, -0x20000, 0, 0, 0, 0, 0, 0x10000, 0, 0x30000, -0x50000, 0x10000, 0x10000};
    i32 inv[16];
    ASSERT_EQ(P3DStateMan::gl_invmat(inv, m), 1u);
    i32 id[16];
    P3DStateMan::gl_mulmat(id, m, inv);
    EXPECT_LE(Lsb(id, ToLD(vornGL::MatIdentityCmp)), 2.0L);
    i32 singular[16] = {};
    i32 untouched[16] = {7};
    EXPECT_EQ(P3DStateMan::gl_invmat(untouched, singular), 0u);
    EXPECT_EQ(untouched[0], 7);
}

} // namespace
