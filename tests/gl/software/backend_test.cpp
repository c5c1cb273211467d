// The back-end object: creation, state entry points and their errors, clear,
// read-back and the draw entry's validation.
#include "sw_fixture.h"

#include <cstring>

using namespace swtest;
using vornGL::P3DBackendSW;

namespace {

TEST(SwCreate, FailsWithoutBackBufferOrDepthMemory)
{
    GLES gles;
    PDisplayProperties info{};
    EXPECT_EQ(P3DBackendSW::Create(&info, gles.GetStateMan(), nullptr), nullptr);
    // A pitch so large that the depth buffer (pitch x height bytes) cannot exist.
    MemoryDisplay d(4, 4);
    d.Buffer().pitch = 0x40000000;
    EXPECT_EQ(P3DBackendSW::Create(&info, gles.GetStateMan(), &d), nullptr);
    // Pitch 0 means width x 2 and is written back.
    MemoryDisplay ok(8, 4);
    ok.Buffer().pitch = 0;
    P3DBackendSW* b = P3DBackendSW::Create(&info, gles.GetStateMan(), &ok);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ok.Buffer().pitch, 16);
    EXPECT_EQ(b->vornGLGetAPI(), 0);
    delete b;
}

using SwState = SwFixture;

TEST_F(SwState, QueriesAndStrings)
{
    EXPECT_STREQ(reinterpret_cast<char const*>(sw->glGetString(GL_VENDOR)), "Norvalis");
    EXPECT_STREQ(reinterpret_cast<char const*>(sw->glGetString(GL_EXTENSIONS)),
                 "GL_OES_read_format GL_OES_compressed_paletted_texture");
    EXPECT_EQ(sw->glGetString(0x1F04), nullptr);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));

    int32_t v = -1;
    sw->glVertexPointer(3, GL_FIXED, 0, nullptr);
    sw->glGetIntegerv(GL_VERTEX_ARRAY_STRIDE, &v);
    EXPECT_EQ(v, 12);
    sw->glTexCoordPointer(2, GL_SHORT, 0, nullptr);
    sw->glGetIntegerv(GL_TEXTURE_COORD_ARRAY_STRIDE, &v);
    EXPECT_EQ(v, 4);
    sw->glGetIntegerv(GL_MAX_TEXTURE_UNITS, &v);
    EXPECT_EQ(v, 8);
    sw->glGetIntegerv(GL_IMPLEMENTATION_COLOR_READ_TYPE_OES, &v);
    EXPECT_EQ(v, GL_UNSIGNED_SHORT_5_6_5);
    sw->glGetIntegerv(0x1234, &v);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));

    sw->glVertexPointer(5, GL_FIXED, 0, nullptr);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glColorPointer(4, GL_SHORT, 0, nullptr);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
    sw->glEnableClientState(0x8077); // INDEX_ARRAY
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
    sw->glHint(GL_PERSPECTIVE_CORRECTION_HINT, 0x1234);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
    sw->glAlphaFuncx(0x208, 0);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
}

TEST_F(SwState, BlendPairsAndCulling)
{
    struct {
        GLenum s, d;
        uint32_t mode;
    } const pairs[] = {{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 1}, {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, 1},
                       {GL_SRC_ALPHA, GL_ONE, 2},           {GL_ONE, GL_ONE, 4},
                       {GL_DST_COLOR, GL_ZERO, 8},          {GL_DST_COLOR, GL_SRC_COLOR, 16},
                       {GL_ONE, GL_ZERO, 0},                {GL_ZERO, GL_ONE, 0}};
    for (auto const& p : pairs) {
        sw->glBlendFunc(p.s, p.d);
        EXPECT_EQ(sw->BlendMode(), p.mode) << std::hex << p.s << " " << p.d;
    }

    // Counter-clockwise triangle (GL orientation): culled as a back face only
    // when the front face is clockwise, and as a front face otherwise.
    std::vector<double> ccw = {10, 10, 50, 10, 10, 50};
    gles->glEnable(GL_CULL_FACE);
    gles->glColor4ub(255, 255, 255, 255);
    struct {
        GLenum front, cull;
        bool drawn;
    } const cases[] = {{GL_CCW, GL_BACK, true}, {GL_CCW, GL_FRONT, false}, {GL_CW, GL_BACK, false},
                       {GL_CW, GL_FRONT, true}, {GL_CCW, GL_FRONT_AND_BACK, false}};
    for (auto const& c : cases) {
        gles->glClear(GL_COLOR_BUFFER_BIT);
        sw->glFrontFace(c.front);
        sw->glCullFace(c.cull);
        Triangles(ccw);
        EXPECT_EQ(Count(0xFFFF) > 0, c.drawn) << std::hex << c.front << " " << c.cull;
    }
    sw->glCullFace(GL_ZERO);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
}

TEST_F(SwState, ClearHonoursScissorMaskAndDepthRange)
{
    sw->glClearColorx(0x10000, 0x8000, 0, 0x10000);
    gles->glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(Pixel(5, 5), (31 << 11) | (31 << 5)); // 255, 127, 0
    // The colour mask masks the clear colour, channel by channel.
    sw->glColorMask(0, 1, 1, 1);
    gles->glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(Pixel(5, 5), 31 << 5);
    sw->glColorMask(1, 1, 1, 1);

    // A scissor box partly left of the surface, counted from the bottom.
    sw->glClearColorx(0, 0, 0x10000, 0x10000);
    gles->glScissor(-10, 0, 30, 20);
    gles->glEnable(GL_SCISSOR_TEST);
    gles->glClear(GL_COLOR_BUFFER_BIT);
    gles->glDisable(GL_SCISSOR_TEST);
    EXPECT_EQ(Count(0x001F), 20 * 20);
    EXPECT_EQ(Pixel(0, H - 1), 0x001F);
    EXPECT_EQ(Pixel(19, H - 20), 0x001F);
    EXPECT_NE(Pixel(20, H - 1), 0x001F);
    EXPECT_NE(Pixel(0, H - 21), 0x001F);

    sw->glClearDepthx(0x10000);
    gles->glClear(GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(Depth(3, 3), 0xFFFF);
    sw->glDepthRangex(0x2000, 0x8000);
    gles->glClear(GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(Depth(3, 3), 0x8000);
    sw->glClearDepthx(0);
    gles->glClear(GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(Depth(63, 63), 0x2000);
}

TEST_F(SwState, ReadPixelsClipsAndWritesOnlyTheRequestedFormat)
{
    sw->glClearColorx(0x10000, 0x10000, 0x10000, 0x10000);
    gles->glClear(GL_COLOR_BUFFER_BIT);
    display->Buffer().pixels[(H - 1) * W] = 0x8410; // bottom-left: 16, 32, 16
    uint8_t rgba[4 * 4 * 2];
    std::memset(rgba, 0xAB, sizeof rgba);
    // A 4 x 2 rectangle hanging over the left edge: two columns come out.
    sw->glReadPixels(-2, 0, 4, 2, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(rgba[0], 0xAB); // outside the surface: untouched
    EXPECT_EQ(rgba[8], 16 * 255 / 31);
    EXPECT_EQ(rgba[9], 32 * 255 / 63);
    EXPECT_EQ(rgba[11], 255);
    EXPECT_EQ(rgba[12], 255);
    EXPECT_EQ(rgba[16 + 12], 255); // second row
    uint16_t raw[2] = {0, 0};
    sw->glReadPixels(0, 0, 2, 1, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, raw);
    EXPECT_EQ(raw[0], 0x8410);
    EXPECT_EQ(raw[1], 0xFFFF);
    sw->glReadPixels(0, 0, -1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glReadPixels(0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_OPERATION));
    // Entirely outside: nothing written, no failure.
    std::memset(rgba, 0xAB, sizeof rgba);
    sw->glReadPixels(1000, 1000, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(rgba[0], 0xAB);
}

TEST_F(SwState, DrawCallValidation)
{
    std::vector<int32_t> many(2 * 1025, 0);
    sw->glVertexPointer(2, GL_FIXED, 0, many.data());
    sw->glDrawArrays(GL_TRIANGLES, 0, 0);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glDrawArrays(GL_TRIANGLES, 0, 1025);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glDrawArrays(GL_TRIANGLES, -3, 3);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glDrawArrays(GL_TRIANGLES, 0, 1024);
    EXPECT_EQ(Error(), 0u);
    uint16_t idx[3] = {0, 1, 2};
    sw->glDrawElements(GL_TRIANGLES, -1, GL_UNSIGNED_SHORT, idx);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, idx);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
    sw->glDrawElements(7, 3, GL_UNSIGNED_SHORT, idx);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
}

// glDrawArrays counts its 16-bit indices on with wrap-around: first 65535,
// count 2 draws vertices 65535 and 0.
TEST_F(SwState, DrawArraysIndicesWrap)
{
    std::vector<int32_t> xy(2 * 65536, Fx(-100));
    xy[0] = Fx(3.5), xy[1] = Fx(3.5);                   // vertex 0
    xy[2 * 65535] = Fx(40.5), xy[2 * 65535 + 1] = Fx(40.5); // vertex 65535
    sw->glVertexPointer(2, GL_FIXED, 0, xy.data());
    gles->glColor4ub(255, 255, 255, 255);
    gles->glDrawArrays(GL_POINTS, 65535, 2);
    EXPECT_EQ(Pixel(3, H - 4), 0xFFFF);
    EXPECT_EQ(Pixel(40, H - 41), 0xFFFF);
    EXPECT_EQ(Count(0xFFFF), 2);
}

} // namespace
