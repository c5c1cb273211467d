// The drawing context on a recording back end: back-end choice and failures,
// the GL defaults, the call frame of 2D drawing, clipping and viewport edges.
#include <gtest/gtest.h>

#include <algorithm>

#include "p3d_fixtures.h"

using p3dtest::FakeDisplay;
using p3dtest::Recorded;
using testgl::Call;

namespace {

// Pushes and pops of the back end's fixed state must pair up.
void ExpectBalanced(const testgl::RecordingBackend& rec)
{
    EXPECT_EQ(rec.Count("vornGLPushFixed"), rec.Count("vornGLPopFixed")) << rec.Joined();
}

} // namespace

TEST(P3DCreate, GraphicsTypesWithoutABackEndGiveNull)
{
    for (int type : {0, 3, -1}) {
        FakeDisplay d(320, 200, type);
        EXPECT_EQ(P3D::Create(&d, nullptr), nullptr) << type;
    }
    EXPECT_EQ(P3D::Create(nullptr, nullptr), nullptr);
}

TEST(P3DCreate, WantedFramebufferThatCannotBeMadeFails)
{
    // The recorder offers no framebuffer-object extension.
    Recorded r;
    r.display.fbWidth = 640;
    r.display.fbHeight = 480;
    EXPECT_FALSE(r.Create());
    // Without a framebuffer wanted the same GL layer is fine.
    Recorded ok;
    EXPECT_TRUE(ok.Create());
}

TEST(P3D2D, FillRectFrameAndColour)
{
    Recorded r(1024, 600);
    ASSERT_TRUE(r.Create());
    r.ctx->FillRect(0, 0, 1024, 600, 0x00FF8000, P3DBLEND_OPAQUE);
    auto& rec = *r.rec;
    // Opaque mode forces alpha 0xFF.
    EXPECT_EQ(rec.Count(Call("glColor4x", 0xFF00, 0x8000, 0, 0xFF00)), 1u) << rec.Joined();
    EXPECT_EQ(rec.Count(Call("glDrawArrays", GL_TRIANGLE_FAN, 0, 4)), 1u);
    EXPECT_EQ(rec.Count(Call("glBlendFunc", GL_ZERO, GL_ONE)), 1u);
    ExpectBalanced(rec);
    // The push comes first and the pop last.
    EXPECT_EQ(rec.calls.front(), "vornGLPushFixed()");
    EXPECT_EQ(rec.calls.back(), "vornGLPopFixed()");

    rec.Clear();
    r.ctx->FillRect(5, 5, 10, 10, 0x80102030, P3DBLEND_ALPHA);
    EXPECT_EQ(rec.Count(Call("glColor4x", 0x1000, 0x2000, 0x3000, 0x8000)), 1u);
    EXPECT_EQ(rec.Count(Call("glBlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)), 1u);
    rec.Clear();
    r.ctx->FillRect(5, 5, 10, 10, 0x80102030, P3DBLEND_ADD);
    EXPECT_EQ(rec.Count(Call("glBlendFunc", GL_ONE, GL_ONE)), 1u);
    rec.Clear();
    r.ctx->FillRect(5, 5, 0, 10, 0xFFFFFFFF, P3DBLEND_ADD);
    EXPECT_EQ(rec.Count("glDrawArrays"), 0u);
}

TEST(P3D2D, LinesAndRectangles)
{
    Recorded r(320, 200);
    ASSERT_TRUE(r.Create());
    auto& rec = *r.rec;
    r.ctx->Line(0, 10, 100, 10, 0xFF0000FFu, 0xFF00FF00u, P3DBLEND_ALPHA);
    EXPECT_EQ(rec.Count(Call("glDrawArrays", GL_TRIANGLE_STRIP, 0, 4)), 1u);
    EXPECT_EQ(rec.Count("glColorPointer(4, 5121, 0"), 1u) << rec.Joined();
    ExpectBalanced(rec);
    rec.Clear();
    r.ctx->Rectangle(10, 10, 20, 20, 0xFFFFFFFF, P3DBLEND_OPAQUE);
    EXPECT_EQ(rec.Count("glDrawArrays"), 4u);
    ExpectBalanced(rec);
}

TEST(P3D2D, ClearColourComponents)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    r.ctx->Clear(0xFFFFFF);
    EXPECT_EQ(r.rec->Count(Call("glClearColorx", 0xFF01, 0xFF01, 0xFF01, 0)), 1u);
    r.ctx->Clear(0);
    EXPECT_EQ(r.rec->Count(Call("glClearColorx", 0, 0, 0, 0)), 1u);
    EXPECT_EQ(r.rec->Count(Call("glClear", GL_COLOR_BUFFER_BIT)), 2u);
}

TEST(P3DClip, ScissorBoxes)
{
    Recorded r(1024, 600);
    ASSERT_TRUE(r.Create());
    r.ctx->SetClipRect(-10, -10, 5000, 5000);
    EXPECT_EQ(r.rec->calls.back(), Call("glScissor", 0, 0, 1024, 600));
    r.ctx->SetClipRect(20, 30, 10, 40);
    EXPECT_EQ(r.rec->calls.back(), Call("glScissor", 20, 560, 0, 10));
    r.ctx->SetClipRect(10, 700, 20, 800); // below the viewport: an empty box
    EXPECT_EQ(r.rec->calls.back(), Call("glScissor", 10, 0, 10, 0));
    r.ctx->SetClipRect(PRect{100, 50, 200, 100});
    EXPECT_EQ(r.rec->calls.back(), Call("glScissor", 100, 450, 200, 100));
    r.ctx->ResetClipRect();
    EXPECT_EQ(r.rec->calls.back(), Call("glScissor", 0, 0, 1024, 600));
}

TEST(P3DClip, ViewportEdgesAndEmptyViewport)
{
    Recorded r(1024, 600);
    ASSERT_TRUE(r.Create());
    r.ctx->SetViewPort(-10, -20, 100, 100);
    EXPECT_EQ(r.rec->calls.back(), Call("glViewport", 0, 520, 90, 80));
    r.ctx->SetViewPort(1000, 590, 100, 100);
    EXPECT_EQ(r.rec->calls.back(), Call("glViewport", 1000, 0, 24, 10));

    // An empty viewport: no draw, no division by zero, and the pairs still match.
    r.ctx->SetViewPort(10, 10, 0, 50);
    r.rec->Clear();
    r.ctx->FillRect(0, 0, 10, 10, 0xFFFFFFFF, P3DBLEND_OPAQUE);
    r.ctx->Line(0, 0, 10, 10, 0xFFFFFFFF, P3DBLEND_OPAQUE);
    EXPECT_TRUE(r.ctx->ViewportEmpty());
    EXPECT_EQ(r.rec->Count("glDrawArrays"), 0u);
    ExpectBalanced(*r.rec);

    // Far-away coordinates saturate instead of wrapping.
    r.ctx->SetViewPort(0, 0, 1024, 600);
    r.ctx->FillRect(2000000000, -2000000000, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF, P3DBLEND_OPAQUE);
    EXPECT_EQ(r.ctx->ClipX(INT32_MAX), INT32_MAX);
    EXPECT_EQ(r.ctx->ClipX(0), -0x10000);
    EXPECT_EQ(r.ctx->ClipY(0), ((int64_t(0x2000000 / 600) * 600) >> 8) - 0x10000);
}
