// Draw calls end to end: clipping, the vertex cache, flat colour through
// clipping, client array types, extreme coordinates, lines and points, depth
// limits and the per-triangle row changes.
#include "sw_fixture.h"

#include <algorithm>

using namespace swtest;

namespace {

using SwPipeline = SwFixture;

// Pixels of one colour, as a bounding box and a count.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, n = 0;
};

class SwPipelineBox : public SwFixture {
protected:
    Box Of(uint16_t colour) const
    {
        Box b;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (Pixel(x, y) == colour) {
                    b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y);
                    b.x1 = std::max(b.x1, x), b.y1 = std::max(b.y1, y);
                    ++b.n;
                }
        return b;
    }
};

// A triangle far larger than a sub-viewport is cut exactly at the four side
// planes: the viewport, and nothing else, is covered.
TEST_F(SwPipelineBox, ClippingAtTheSidePlanesIsExact)
{
    gles->glViewport(16, 8, 32, 40);
    gles->glColor4ub(255, 255, 255, 255);
    Triangles({-500, -500, 900, -300, -200, 900});
    Box b = Of(0xFFFF);
    EXPECT_EQ(b.n, 32 * 40);
    EXPECT_EQ(b.x0, 16);
    EXPECT_EQ(b.x1, 47);
    EXPECT_EQ(b.y0, H - 48); // GL rows 8..47 from the bottom
    EXPECT_EQ(b.y1, H - 9);
}

// In depth, a triangle that runs from behind the far plane to before the near
// plane keeps exactly the columns whose depth lies between them.
TEST_F(SwPipelineBox, ClippingAtNearAndFarIsExact)
{
    std::vector<int32_t> xyz = {0, 0, Fx(-2), Fx(64), 0, Fx(2), 0, Fx(64), Fx(-2)};
    sw->glVertexPointer(3, GL_FIXED, 0, xyz.data());
    gles->glColor4ub(255, 255, 255, 255);
    gles->glDrawArrays(GL_TRIANGLES, 0, 3);
    Box b = Of(0xFFFF);
    EXPECT_EQ(b.x0, 16);
    EXPECT_EQ(b.x1, 47);
}

// Flat shading through clipping: every piece of a clipped triangle takes the
// colour of its last vertex, even when that vertex lies outside.
TEST_F(SwPipeline, ClippedFlatTrianglesKeepTheProvokingColour)
{
    sw->glShadeModel(GL_FLAT);
    uint8_t rgba[12] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};
    sw->glColorPointer(4, GL_UNSIGNED_BYTE, 0, rgba);
    gles->glEnableClientState(GL_COLOR_ARRAY);
    Triangles({2, 2, 60, 10, 200, 100}); // the last vertex is far right, outside
    int blue = Count(0x001F), other = W * H - blue - Count(0);
    EXPECT_GT(blue, 200);
    EXPECT_EQ(other, 0);
}

// Meshes of more than 1024 vertices: indices 1024 apart share a cache slot,
// and a triangle made of three of them still uses its own three vertices.
TEST_F(SwPipeline, CacheCollisionsWithinOnePrimitive)
{
    std::vector<int32_t> xy(2 * 3073, Fx(-50));
    auto put = [&](int i, double x, double y) { xy[2 * i] = Fx(x), xy[2 * i + 1] = Fx(y); };
    put(0, 4, 4);
    put(1024, 60, 4);
    put(2048, 4, 60);
    put(3072, 60, 60);
    sw->glVertexPointer(2, GL_FIXED, 0, xy.data());
    gles->glColor4ub(255, 255, 255, 255);
    uint16_t tris[6] = {0, 1024, 2048, 1024, 3072, 2048};
    gles->glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, tris);
    EXPECT_EQ(Count(0xFFFF), 56 * 56);
    gles->glClear(GL_COLOR_BUFFER_BIT);
    uint16_t strip[4] = {0, 1024, 2048, 3072};
    gles->glDrawElements(GL_TRIANGLE_STRIP, 4, GL_UNSIGNED_SHORT, strip);
    EXPECT_EQ(Count(0xFFFF), 56 * 56);
}

// Float arrays are converted, not read as 16.16.
TEST_F(SwPipeline, FloatArrays)
{
    float xy[6] = {4, 4, 40, 4, 4, 40};
    float rgba[12] = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
    sw->glVertexPointer(2, GL_FLOAT, 0, xy);
    sw->glColorPointer(4, GL_FLOAT, 0, rgba);
    gles->glEnableClientState(GL_COLOR_ARRAY);
    sw->glShadeModel(GL_SMOOTH);
    gles->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(Pixel(5, H - 6), 0x07E0);
    EXPECT_GT(Count(0x07E0), 36 * 36 / 2 - 40);
}

// Extreme viewports and coordinates neither wrap nor reach outside the
// surface (AddressSanitizer watches).
TEST_F(SwPipeline, ExtremeCoordinatesStayInside)
{
    gles->glColor4ub(255, 255, 255, 255);
    sw->glViewport(-2000000000, -2000000000, 2000000000, 2000000000);
    Triangles({0, 0, 64, 0, 0, 64});
    sw->glViewport(1000000, 1000000, 200000000, 200000000);
    Triangles({0, 0, 64, 0, 0, 64});
    sw->glViewport(0, 0, W, H);
    Triangles({-30000, -30000, 30000, 10, 10, 30000});
    EXPECT_GT(Count(0xFFFF), 0);
}

TEST_F(SwPipeline, LinesAndPointsAreNeverCulled)
{
    gles->glEnable(GL_CULL_FACE);
    sw->glCullFace(GL_FRONT_AND_BACK);
    gles->glColor4ub(255, 255, 255, 255);
    Triangles({4.5, 4.5, 30.5, 4.5, 30.5, 30.5}, GL_LINE_STRIP);
    int strip = Count(0xFFFF);
    EXPECT_GE(strip, 26 + 25);
    gles->glClear(GL_COLOR_BUFFER_BIT);
    Triangles({4.5, 4.5, 30.5, 4.5, 30.5, 30.5}, GL_LINE_LOOP);
    EXPECT_GT(Count(0xFFFF), strip);
    gles->glClear(GL_COLOR_BUFFER_BIT);
    Triangles({4.5, 4.5, 30.5, 4.5, 30.5, 30.5}, GL_POINTS);
    EXPECT_EQ(Count(0xFFFF), 3);
    // Triangles are still culled.
    Triangles({4, 40, 60, 40, 4, 60});
    EXPECT_EQ(Count(0xFFFF), 3);
}

// Texture coordinates spanning many repeats across a triangle: the gradient
// is formed without overflow, so a two-texel texture alternates per pixel.
TEST_F(SwPipeline, ManyRepeatsAcrossATriangle)
{
    NewTexture();
    uint16_t texels[2] = {0xF800, 0x001F};
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 1, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, texels);
    gles->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gles->glEnable(GL_TEXTURE_2D);
    gles->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    int16_t uv[6] = {0, 0, 32, 0, 0, 1};
    sw->glTexCoordPointer(2, GL_SHORT, 0, uv);
    Triangles({0, 0, 64, 0, 0, 64});
    for (int x = 0; x < 60; ++x)
        EXPECT_EQ(Pixel(x, H - 1), (x & 1) ? 0x001F : 0xF800) << x;
}

// Depth values beyond the buffer's range are limited, not wrapped: a surface
// pushed past the far value by a polygon offset fails the test everywhere.
TEST_F(SwPipeline, DepthIsLimitedToItsRange)
{
    gles->glEnable(GL_DEPTH_TEST);
    gles->glEnable(GL_POLYGON_OFFSET_FILL);
    sw->glPolygonOffsetx(0, Fx(30000));
    std::vector<int32_t> xyz = {0, 0, Fx(-0.999), Fx(64), 0, Fx(-0.999), 0, Fx(64), Fx(-0.999)};
    sw->glVertexPointer(3, GL_FIXED, 0, xyz.data());
    gles->glColor4ub(255, 255, 255, 255);
    gles->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(Count(0xFFFF), 0);
    // Without the offset the same surface is drawn.
    gles->glDisable(GL_POLYGON_OFFSET_FILL);
    gles->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_GT(Count(0xFFFF), 0);
}

// Per triangle: small textured triangles drop perspective; modulated
// triangles of grey vertices use the grey-intensity routine.
TEST_F(SwPipeline, RowChangesPerTriangle)
{
    NewTexture();
    uint16_t texel = 0xFFDF;
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, &texel);
    gles->glEnable(GL_TEXTURE_2D);
    gles->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    int16_t uv[6] = {0, 0, 1, 0, 0, 1};
    sw->glTexCoordPointer(2, GL_SHORT, 0, uv);
    gles->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    sw->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    Triangles({10, 10, 16, 10, 10, 16});
    EXPECT_EQ(sw->Setup().row, 2);
    Triangles({10, 10, 30, 10, 10, 16});
    EXPECT_EQ(sw->Setup().row, 6);
    sw->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);

    gles->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    sw->glShadeModel(GL_SMOOTH);
    uint8_t greys[12] = {10, 10, 10, 255, 200, 200, 200, 255, 90, 90, 90, 255};
    sw->glColorPointer(4, GL_UNSIGNED_BYTE, 0, greys);
    gles->glEnableClientState(GL_COLOR_ARRAY);
    Triangles({10, 10, 40, 10, 10, 40});
    EXPECT_EQ(sw->Setup().row, 5);
    greys[4] = 201;
    Triangles({10, 10, 40, 10, 10, 40});
    EXPECT_EQ(sw->Setup().row, 3);
}

} // namespace
