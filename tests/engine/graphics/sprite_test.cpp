// Sprites: frames from whole cells, animation, the choice of blit, box and
// pixel collisions.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "engine/graphics/psprite3d.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "p3d_fixtures.h"

using p3dtest::Recorded;

namespace {

PSurface3D* Image(P3D* ctx, int w, int h, uint16_t fill = 0x1234, bool keep = false)
{
    PSurface* s = PSurface::Create(w, h, PSURFACE_RGB565);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memcpy(s->pixels + y * s->pitch + x * 2, &fill, 2);
    s->SetColorKey(0);
    PSurface3D* img = PSurface3D::Create(ctx, s, 0x200);
    if (keep && img)
        img->SetImage(s);
    else
        delete s;
    return img;
}

} // namespace

TEST(Sprite, FramesAreWholeCells)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    PSprite3D s(r.ctx, Image(r.ctx, 96, 64), 32, 32, 1);
    ASSERT_EQ(s.FrameCount(), 6);
    int expect[6][2] = {{0, 0}, {32, 0}, {64, 0}, {0, 32}, {32, 32}, {64, 32}};
    for (int i = 0; i < 6; ++i) {
        int x, y;
        s.FrameOrigin(i, x, y);
        EXPECT_EQ(x, expect[i][0]);
        EXPECT_EQ(y, expect[i][1]);
    }
    // A width that is no multiple of the cell: only whole cells.
    PSprite3D odd(r.ctx, Image(r.ctx, 100, 64), 32, 32, 1);
    ASSERT_EQ(odd.FrameCount(), 6);
    int x, y;
    odd.FrameOrigin(3, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 32);
    // Cells of 0 or less give no frames, and Create refuses them.
    PSprite3D none(r.ctx, Image(r.ctx, 32, 32), 0, 32, 1);
    EXPECT_EQ(none.FrameCount(), 0);
    none.Draw();
    EXPECT_EQ(PSprite3D::Create(r.ctx, "whatever.png", -1, 4), nullptr);
    EXPECT_EQ(PSprite3D::Create(r.ctx, "missing.png"), nullptr);
}

TEST(Sprite, AnimationAndAttributes)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    PSprite3D s(r.ctx, Image(r.ctx, 96, 64), 32, 32, 1);
    s.SetAnimationPos(5);
    s.NextAnimation();
    EXPECT_EQ(s.GetAnimationPos(), 0u);
    s.PrevAnimation();
    EXPECT_EQ(s.GetAnimationPos(), 5u);
    s.SetAnimationPos(99);
    EXPECT_EQ(s.GetAnimationPos(), 5u);
    PSprite3D one(r.ctx, Image(r.ctx, 32, 32), 1);
    one.NextAnimation();
    EXPECT_EQ(one.GetAnimationPos(), 0u);

    // Auto-animation steps after the delay; plain sprites blit, scaled ones BlitFx.
    s.SetAnimationPos(0);
    s.SetAttr(PSPR_AUTOANIMATE, 0xFFFFFFFF);
    s.SetDelay(1);
    r.rec->Clear();
    s.Draw();
    s.Draw();
    EXPECT_EQ(s.GetAnimationPos(), 1u);
    EXPECT_EQ(r.rec->Count("glDrawArrays"), 2u);
    EXPECT_EQ(r.ctx->GetStateMan().Top(vornGL::kStackProjection).flags() & vornGL::kMatFrustum, 0);
    int list[3] = {4, 99, 2};
    s.SetAnimationList(list, 3);
    s.SetAnimationPos(1);
    s.Draw(); // a list entry naming no frame draws the first
    s.SetAttr(0x40, 0xFFFFFFFF);
    s.SetScale(0x20000);
    r.rec->Clear();
    s.Draw();
    EXPECT_EQ(r.rec->Count("glDrawArrays"), 1u);
    s.Disable();
    r.rec->Clear();
    s.Draw();
    EXPECT_EQ(r.rec->Count("glDrawArrays"), 0u);
    EXPECT_EQ(s.CheckBoxCollision(PRect{0, 0, 10, 10}), -1);
    s.Enable();

    std::unique_ptr<PSprite3D> d(s.Duplicate());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetAttr(), s.GetAttr());
    EXPECT_EQ(d->FrameCount(), 6);
}

TEST(Sprite, Collisions)
{
    EXPECT_EQ(PSprite3D::CheckFastBoxCollision(PRect{0, 0, 10, 10}, PRect{10, 10, 5, 5}), 1);
    EXPECT_EQ(PSprite3D::CheckFastBoxCollision(PRect{0, 0, 10, 10}, PRect{11, 0, 5, 5}), 0);

    Recorded r;
    ASSERT_TRUE(r.Create());
    PSprite3D a(r.ctx, Image(r.ctx, 16, 16, 0x1234, true), 1);
    PSprite3D b(r.ctx, Image(r.ctx, 16, 16, 0x4321, true), 1);
    a.SetPosition(0, 0);
    b.SetPosition(8, 8);
    EXPECT_EQ(a.CheckBoxCollision(&b), 1);
    EXPECT_EQ(a.CheckPixelCollision(&b), 1);
    b.SetPosition(40, 0);
    EXPECT_EQ(a.CheckPixelCollision(&b), -1);
    // A bounding box larger than the image reads only inside the images.
    a.SetBoundingRect(PRect{-50, -50, 500, 500});
    b.SetBoundingRect(PRect{-50, -50, 500, 500});
    b.SetPosition(200, 200);
    EXPECT_EQ(a.CheckPixelCollision(&b), -1);
    b.SetPosition(0, 0);
    EXPECT_EQ(a.CheckPixelCollision(&b), 1);

    // Turned by a quarter: the box of a 20 x 10 rectangle is 10 x 20.
    PSprite3D t(r.ctx, Image(r.ctx, 20, 10), 1);
    t.SetAttr(0x20, 0xFFFFFFFF);
    t.SetAngle(0x4000);
    PRect box;
    PSprite3D::ScaleBoundingBox(&t, box);
    EXPECT_EQ(std::make_tuple(box.width, box.height, box.x, box.y), std::make_tuple(10, 20, 5, -5));
}
