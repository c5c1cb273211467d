// The drawing context on Mesa's OpenGL ES 1.1, headless: fills and lines
// cover exactly their pixels, blend modes, and the screen projection against
// libGLU's gluProject.
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "engine/graphics/pglu.h"
#include "p3d_fixtures.h"

using p3dtest::Mesa;

namespace {

// A 2D colour component c reaches GL as c << 8, which is 255 for 0 and 254
// for 255 in the frame buffer: colours match within one step a channel.
bool Near(uint32_t a, uint32_t b)
{
    for (int s = 0; s < 24; s += 8)
        if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > 1)
            return false;
    return true;
}

// Pixels of colour c, and their bounding box.
struct Cover {
    int count = 0, x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};

Cover Find(const Mesa& m, const std::vector<uint8_t>& f, uint32_t c)
{
    Cover r;
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x)
            if (Near(m.At(f, x, y), c)) {
                ++r.count;
                r.x0 = std::min(r.x0, x), r.y0 = std::min(r.y0, y);
                r.x1 = std::max(r.x1, x), r.y1 = std::max(r.y1, y);
            }
    return r;
}

} // namespace

TEST(P3DMesa, FillsCoverExactlyTheirPixels)
{
    Mesa m(160, 120);
    ASSERT_TRUE(m.Ok());
    m.ctx->Clear(0);
    m.ctx->FillRect(10, 20, 30, 40, 0x00FF0000, P3DBLEND_OPAQUE); // alpha 0: still opaque
    m.ctx->PutPixelRGB(100, 100, 0xFF00FF00, P3DBLEND_OPAQUE);
    m.ctx->FillRect(50, 50, 20, 20, 0x000000FF, P3DBLEND_ALPHA); // alpha 0: invisible
    auto f = m.Read();
    Cover red = Find(m, f, 0xFF0000);
    EXPECT_EQ(red.count, 30 * 40);
    EXPECT_EQ(std::make_tuple(red.x0, red.y0, red.x1, red.y1), std::make_tuple(10, 20, 39, 59));
    Cover green = Find(m, f, 0x00FF00);
    EXPECT_EQ(std::make_tuple(green.count, green.x0, green.y0), std::make_tuple(1, 100, 100));
    EXPECT_EQ(Find(m, f, 0x0000FF).count, 0);

    // Half alpha over black; additive modes add.
    m.ctx->FillRect(0, 0, 4, 4, 0x80FFFFFF, P3DBLEND_ALPHA);
    m.ctx->FillRect(4, 0, 4, 4, 0x40202020, P3DBLEND_ADD);
    m.ctx->FillRect(4, 0, 4, 4, 0x40202020, P3DBLEND_ADD);
    f = m.Read();
    uint32_t half = m.At(f, 1, 1);
    EXPECT_NEAR(int(half >> 16), 128, 2);
    EXPECT_TRUE(Near(m.At(f, 5, 1), 0x404040u));
}

// A drawing context starts from the defaults of a new GL context, also where
// the last one of its size left blending and the depth test on: an opaque
// fill on the next one covers its pixels.
TEST(P3DMesa, NextContextOfASizeStartsFromTheDefaults)
{
    {
        Mesa first(96, 64);
        ASSERT_TRUE(first.Ok());
        first.ctx->GetBackend()->glBlendFunc(GL_ZERO, GL_ONE); // keeps what is there
        first.ctx->glEnable(GL_BLEND);
        first.ctx->glEnable(GL_DEPTH_TEST);
        first.ctx->glClear(GL_DEPTH_BUFFER_BIT); // sends the enables
    }
    Mesa next(96, 64);
    ASSERT_TRUE(next.Ok());
    next.ctx->Clear(0);
    next.ctx->FillRect(10, 10, 20, 30, 0xFFFFFF, P3DBLEND_OPAQUE);
    EXPECT_EQ(Find(next, next.Read(), 0xFFFFFF).count, 20 * 30);
}

TEST(P3DMesa, LinesAreOnePixelThick)
{
    Mesa m(128, 64);
    ASSERT_TRUE(m.Ok());
    // Horizontal lines are thickened upwards on the screen, vertical ones to
    // the right: the row (or column) the pixels are on.
    for (auto [x0, y0, x1, y1, count, at] : {std::tuple{0, 10, 100, 10, 100, 9}, {20, 5, 20, 45, 40, 20}}) {
        m.ctx->Clear(0);
        m.ctx->Line(x0, y0, x1, y1, 0xFFFFFFFF, P3DBLEND_OPAQUE);
        Cover c = Find(m, m.Read(), 0xFFFFFF);
        EXPECT_EQ(c.count, count);
        EXPECT_EQ(y0 == y1 ? std::make_pair(c.y0, c.y1) : std::make_pair(c.x0, c.x1), std::make_pair(at, at));
    }
    // Two colours are interpolated along the line.
    m.ctx->Clear(0);
    m.ctx->Line(0, 30, 100, 30, 0xFFFF0000, 0xFF0000FF, P3DBLEND_OPAQUE);
    auto f = m.Read();
    EXPECT_GT(m.At(f, 2, 29) >> 16, 0xF0u);
    EXPECT_GT(m.At(f, 97, 29) & 0xFF, 0xF0u);

    // Rectangle outlines; a clip rectangle keeps fills inside.
    m.ctx->Clear(0);
    m.ctx->Rectangle(10, 10, 20, 10, 0xFFFFFFFF, P3DBLEND_OPAQUE);
    f = m.Read();
    EXPECT_EQ(Find(m, f, 0xFFFFFF).count, 2 * 20 + 2 * 8);
    m.ctx->Clear(0);
    m.ctx->SetClipRect(5, 5, 15, 15);
    m.ctx->FillRect(0, 0, 128, 64, 0xFFFFFFFF, P3DBLEND_OPAQUE);
    m.ctx->ResetClipRect();
    Cover c = Find(m, m.Read(), 0xFFFFFF);
    EXPECT_EQ(std::make_tuple(c.count, c.x0, c.y0), std::make_tuple(100, 5, 5));
}

TEST(P3DMesa, ScreenProjectionAgreesWithGluProject)
{
    Mesa m(320, 200);
    ASSERT_TRUE(m.Ok());
    P3D& g = *m.ctx;
    g.glMatrixMode(GL_PROJECTION);
    g.glLoadIdentity();
    gluPerspectivex(&g, 60 << 16, (320 << 16) / 200, 1 << 16, 100 << 16);
    g.glMatrixMode(GL_MODELVIEW);
    g.glLoadIdentity();
    gluLookAtx(&g, 3 << 16, 2 << 16, 10 << 16, 0, 0, 0, 0, 1 << 16, 0);
    g.glRotatex(30 << 16, 0, 1 << 16, 0);

    int32_t mv[16], pr[16];
    g.glGetFixedv(GL_MODELVIEW_MATRIX, mv);
    g.glGetFixedv(GL_PROJECTION_MATRIX, pr);
    double dmv[16], dpr[16];
    for (int i = 0; i < 16; ++i) {
        dmv[i] = mv[i] / 65536.0;
        dpr[i] = pr[i] / 65536.0;
    }
    GLint vp[4] = {0, 0, 320, 200};
    const double tol = 1.0 / 4096;
    int checked = 0;
    for (int i = 0; i < 50; ++i) {
        PVector3 p(int32_t(((i * 37) % 11 - 5) << 15), int32_t(((i * 17) % 7 - 3) << 15),
                   int32_t(((i * 23) % 13 - 6) << 15));
        double wx, wy, wz;
        ASSERT_EQ(gluProject(p.x / 65536.0, p.y / 65536.0, p.z / 65536.0, dmv, dpr, vp, &wx, &wy, &wz), GL_TRUE);
        PVector3 out;
        g.GetScreenCoordXYZ(out, &p);
        // Screen y runs downwards and pixel centres sit half a pixel in.
        double sx = wx - 0.5, sy = 200 - wy - 0.5;
        EXPECT_NEAR(out.x / 65536.0 / 320, sx / 320, tol) << i;
        EXPECT_NEAR(out.y / 65536.0 / 200, sy / 200, tol) << i;
        EXPECT_NEAR(out.z / 65536.0, wz, tol) << i;
        ++checked;
    }
    EXPECT_EQ(checked, 50);

    // The centre of the view volume: the viewport centre less half a pixel.
    g.glLoadIdentity();
    g.glMatrixMode(GL_PROJECTION);
    g.glLoadIdentity();
    g.glMatrixMode(GL_MODELVIEW);
    PVector3 centre(0, 0, 0), out;
    g.GetScreenCoordXYZ(out, &centre);
    EXPECT_EQ(out.x, (160 << 16) - 0x8000);
    EXPECT_EQ(out.y, (100 << 16) - 0x8000);

    // A point on the eye plane of a perspective projection lands off screen.
    g.glMatrixMode(GL_PROJECTION);
    gluPerspectivex(&g, 60 << 16, 0x10000, 1 << 16, 100 << 16);
    g.glMatrixMode(GL_MODELVIEW);
    PVector3 eyePlane(1 << 16, 0, 0);
    g.GetScreenCoordXYZ(out, &eyePlane);
    EXPECT_EQ(out.x, INT32_MAX);
}

TEST(P3DMesa, BatchProjectionClipsTriangles)
{
    Mesa m(100, 100);
    ASSERT_TRUE(m.Ok());
    P3D& g = *m.ctx;
    g.glMatrixMode(GL_PROJECTION);
    g.glLoadIdentity();
    g.glMatrixMode(GL_MODELVIEW);
    g.glLoadIdentity();
    PVector3 in[9] = {
        {-0x8000, -0x8000, 0}, {0x8000, -0x8000, 0}, {0, 0x8000, 0},       // inside
        {0, 0, 0},             {0x30000, 0, 0},      {0, 0x8000, 0},       // crosses x = w
        {0x20000, 0x20000, 0}, {0x30000, 0x20000, 0}, {0x20000, 0x30000, 0}, // outside
    };
    PVector3 out[32];
    int n = g.GetScreenCoordsXYZ(out, in, 0, 9, 63, 32);
    // The inside triangle as it is, the cut one as a quad of two triangles.
    ASSERT_EQ(n, 9);
    for (int i = 0; i < 3; ++i) {
        PVector3 p;
        g.GetScreenCoordXYZ(p, &in[i]);
        EXPECT_EQ(out[i], p);
    }
    for (int i = 3; i < n; ++i) {
        EXPECT_LE(out[i].x, (100 << 16)) << i;
        EXPECT_GE(out[i].x, (50 << 16) - 0x8000) << i;
    }
    // Without the plane in the mask the cut triangle stays whole; the
    // capacity stops the output.
    EXPECT_EQ(g.GetScreenCoordsXYZ(out, in, 0, 6, 0, 32), 6);
    EXPECT_EQ(g.GetScreenCoordsXYZ(out, in, 0, 9, 63, 4), 3);
}
