// Software blitters (plain, scaled and rotated), fills and lines, with pixman
// as the reference for the copies both define.
#include <gtest/gtest.h>

#include <pixman.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/graphics/pblit.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"

namespace {

using Drawable = std::unique_ptr<PDrawableSurface>;
using Surface = std::unique_ptr<PSurface>;

uint16_t Px(const PSurface& s, int x, int y)
{
    uint16_t v;
    std::memcpy(&v, s.pixels + y * s.pitch + x * 2, 2);
    return v;
}

void SetPx(PSurface& s, int x, int y, uint16_t v)
{
    std::memcpy(s.pixels + y * s.pitch + x * 2, &v, 2);
}

// A 565 source whose pixel (x, y) is 0x100 * y + x + 1 (never 0).
Surface Numbered(int w, int h)
{
    Surface s(PSurface::Create(w, h, PSURFACE_RGB565));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            SetPx(*s, x, y, uint16_t(0x100 * y + x + 1));
    return s;
}

constexpr uint16_t kBack = 0xDEAD;

Drawable Canvas(int w, int h)
{
    Drawable d(PDrawableSurface::Create(w, h));
    PFillRect16(reinterpret_cast<unsigned short*>(d->pixels), kBack, w, h, d->pitch);
    return d;
}

int CountNot(const PSurface& s, uint16_t v)
{
    int n = 0;
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++)
            n += Px(s, x, y) != v;
    return n;
}

} // namespace

TEST(Blit, ClipsAndMirrors)
{
    Surface src = Numbered(10, 10);
    Drawable d = Canvas(20, 20);
    d->Blit(-3, 0, src.get(), nullptr, PBLIT_MIRROR);
    for (int x = 0; x < 7; x++)
        EXPECT_EQ(Px(*d, x, 0), 6 - x + 1) << x;
    EXPECT_EQ(Px(*d, 7, 0), kBack);
    d = Canvas(20, 20);
    d->Blit(2, 3, src.get(), nullptr, PBLIT_FLIP);
    EXPECT_EQ(Px(*d, 2, 3), 0x900 + 1);
    EXPECT_EQ(Px(*d, 11, 12), 0x000 + 10);
    // Nothing at or beyond the clip rectangle's far edges.
    d = Canvas(20, 20);
    d->SetClipRect(5, 5, 8, 8);
    d->Blit(0, 0, src.get(), nullptr, 0);
    EXPECT_EQ(CountNot(*d, kBack), 9);
    d->Blit(8, 0, src.get(), nullptr, 0);
    d->Blit(0, 8, src.get(), nullptr, 0);
    EXPECT_EQ(CountNot(*d, kBack), 9);
}

TEST(Blit, SourceRectangleIsCutToTheSource)
{
    Surface src = Numbered(4, 4);
    Drawable d = Canvas(10, 10);
    PRect r{-2, -1, 10, 10}; // reaches past every side
    d->Blit(0, 0, src.get(), &r, 0);
    // Only the source's 16 pixels are drawn, where they would have been.
    EXPECT_EQ(CountNot(*d, kBack), 16);
    EXPECT_EQ(Px(*d, 2, 1), 1);
    EXPECT_EQ(Px(*d, 5, 4), 0x300 + 4);
    d = Canvas(10, 10);
    d->Blit(0, 0, src.get(), &r, PBLIT_MIRROR);
    EXPECT_EQ(CountNot(*d, kBack), 16);
    PRect far{100, 100, 5, 5};
    d = Canvas(10, 10);
    d->BlitScale(PRect{0, 0, 10, 10}, src.get(), &far, 0);
    EXPECT_EQ(CountNot(*d, kBack), 0);
}

TEST(Blit, TransparencyAndSilhouettes)
{
    Surface src = Numbered(4, 4);
    src->colorKey = PNative2RGB(2); // pixel (1, 0)
    Drawable d = Canvas(8, 8);
    PBlitFX fx;
    fx.color = 0x1234;
    // The plain form ignores 0x80.
    d->Blit(0, 0, src.get(), nullptr, PBLIT_TRANSPARENT | PBLIT_SILHOUETTE);
    EXPECT_EQ(Px(*d, 1, 0), kBack);
    EXPECT_EQ(Px(*d, 2, 0), 3);
    // The FX form with 0x01 alone forwards to the plain blit.
    d = Canvas(8, 8);
    d->Blit(0, 0, src.get(), nullptr, PBLIT_TRANSPARENT, fx);
    EXPECT_EQ(Px(*d, 2, 0), 3);
    d->Blit(0, 0, src.get(), nullptr, PBLIT_TRANSPARENT | PBLIT_SILHOUETTE, fx);
    EXPECT_EQ(Px(*d, 1, 0), kBack);
    EXPECT_EQ(Px(*d, 2, 0), 0x1234);
    EXPECT_EQ(CountNot(*d, kBack), 15);

    // Indexed sources: index 0 is transparent, others through the palette.
    Surface idx(PSurface::Create(3, 1, PSURFACE_INDEX8));
    idx->pixels[0] = 0;
    idx->pixels[1] = 1;
    idx->pixels[2] = 2;
    idx->palette = new PPalette(3, false);
    idx->flags |= PSURF_OWNPALETTE;
    idx->palette->Set(1, 0xFF0000u);
    idx->palette->Set(2, 0x00FF00u);
    d = Canvas(4, 1);
    d->Blit(0, 0, idx.get(), nullptr, PBLIT_TRANSPARENT);
    EXPECT_EQ(Px(*d, 0, 0), kBack);
    EXPECT_EQ(Px(*d, 1, 0), 0xF800);
    EXPECT_EQ(Px(*d, 2, 0), 0x07E0);
    d->Blit(0, 0, idx.get(), nullptr, 0);
    EXPECT_EQ(Px(*d, 0, 0), 0);
    // Without a palette an indexed source is drawn as grey.
    idx->flags &= ~PSURF_OWNPALETTE;
    delete idx->palette;
    idx->palette = nullptr;
    d->Blit(0, 0, idx.get(), nullptr, 0);
    EXPECT_EQ(Px(*d, 1, 0), PRGB2Native(1, 1, 1));
}

TEST(BlitScale, SamplesNearestColumns)
{
    Surface src = Numbered(4, 1);
    Drawable d = Canvas(4, 1);
    d->BlitScale(PRect{0, 0, 2, 1}, src.get(), nullptr, 0);
    EXPECT_EQ(Px(*d, 0, 0), 2); // column 1
    EXPECT_EQ(Px(*d, 1, 0), 4); // column 3
    d->BlitScale(PRect{0, 0, 2, 1}, src.get(), nullptr, PBLIT_MIRROR);
    EXPECT_EQ(Px(*d, 0, 0), 4);
    EXPECT_EQ(Px(*d, 1, 0), 2);
    d = Canvas(4, 1);
    d->BlitScale(PRect{0, 0, 0, 1}, src.get(), nullptr, 0);
    d->BlitScale(PRect{4, 0, 2, 1}, src.get(), nullptr, 0);
    d->BlitScale(PRect{-2, 0, 2, 1}, src.get(), nullptr, 0);
    EXPECT_EQ(CountNot(*d, kBack), 0);

    // Silhouette stretch: key pixels stay transparent without flag 0x01.
    src->colorKey = PNative2RGB(1);
    PBlitFX fx;
    fx.color = 0x0F0F;
    d->BlitScale(PRect{0, 0, 4, 1}, src.get(), nullptr, PBLIT_SILHOUETTE, fx);
    EXPECT_EQ(Px(*d, 0, 0), kBack);
    EXPECT_EQ(Px(*d, 1, 0), 0x0F0F);

    // Centred form: size from the FX scale.
    d = Canvas(10, 10);
    fx.scaleX = 0x20000;
    fx.scaleY = 0x30000;
    d->BlitScale(5, 5, src.get(), nullptr, 0, fx);
    EXPECT_EQ(CountNot(*d, kBack), 8 * 3);
    EXPECT_EQ(Px(*d, 1, 4), 1);
    fx.scaleX = -0x10000; // negative scale draws nothing
    d = Canvas(10, 10);
    d->BlitScale(5, 5, src.get(), nullptr, 0, fx);
    EXPECT_EQ(CountNot(*d, kBack), 0);
}

TEST(Fill, RectanglesLinesAndClear)
{
    Drawable d = Canvas(20, 20);
    d->FillRect(10, 10, -5, 3, 0xFFFFFF);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++)
            ASSERT_EQ(Px(*d, x, y), (x >= 5 && x < 10 && y >= 10 && y < 13) ? 0xFFFF : kBack) << x << "," << y;
    d = Canvas(20, 20);
    d->FillRect(PRect{3, 3, 0, 5}, 0);
    d->FillRect(-100, -100, 50, 50, 0);
    d->FillRect(0x7FFFFFF0, 0, 0x7FFFFFF0, 5, 0);
    EXPECT_EQ(CountNot(*d, kBack), 0);
    d->SetClipRect(0, 0, 0, 0);
    d->Clear(0);
    EXPECT_EQ(CountNot(*d, kBack), 0);
    d->SetClipRect(2, 2, 5, 4);
    d->Clear(0);
    EXPECT_EQ(CountNot(*d, kBack), 6);
    d->HLine(0, 4, 20, 0); // y = y2
    d->HLine(0, 1, 20, 0); // above y1
    EXPECT_EQ(CountNot(*d, kBack), 6);
    d->ResetClipRect();
    d = Canvas(20, 20);
    d->HLine(5, 7, -3, 0x00FF00);
    EXPECT_EQ(Px(*d, 2, 7), 0x07E0);
    EXPECT_EQ(Px(*d, 4, 7), 0x07E0);
    EXPECT_EQ(Px(*d, 5, 7), kBack);
    EXPECT_EQ(CountNot(*d, kBack), 3);

    // The raw fill at every width and both alignments.
    std::vector<uint16_t> buf(64 * 3 + 2);
    for (int off = 0; off < 2; off++)
        for (int w = 1; w < 40; w++) {
            std::fill(buf.begin(), buf.end(), 0);
            PFillRect16(buf.data() + off, 0xABCD, w, 3, 64 * 2);
            for (int y = 0; y < 3; y++)
                for (int x = 0; x < 64; x++)
                    ASSERT_EQ(buf[size_t(off + y * 64 + x)], x < w ? 0xABCD : 0) << w;
        }
}

// Unscaled opaque and keyed copies, and integer up-scaling, against pixman.
TEST(BlitOracle, MatchesPixman)
{
    std::mt19937 rng(12345);
    auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int iter = 0; iter < 400; iter++) {
        const int sw = rnd(1, 40), sh = rnd(1, 40);
        Surface src(PSurface::Create(sw, sh, PSURFACE_RGB565));
        for (int y = 0; y < sh; y++)
            for (int x = 0; x < sw; x++)
                SetPx(*src, x, y, uint16_t(rnd(0, 7) == 0 ? 0xF81F : rnd(0, 0xFFFF)));
        src->colorKey = 0xFF00FF;
        const bool keyed = iter & 1;
        const int scale = iter % 5 == 4 ? rnd(2, 4) : 1;
        Drawable mine = Canvas(64, 48), theirs = Canvas(64, 48);
        int cx1 = rnd(0, 63), cy1 = rnd(0, 47);
        mine->SetClipRect(cx1, cy1, rnd(cx1, 64), rnd(cy1, 48));
        PRect r{rnd(0, sw - 1), rnd(0, sh - 1), 0, 0};
        r.width = rnd(1, sw - r.x);
        r.height = rnd(1, sh - r.y);
        const int dx = rnd(-40, 70), dy = rnd(-40, 60);

        // pixman's source: the 565 pixels, or with a key their a8r8g8b8 form
        // with key pixels fully transparent.
        std::vector<uint32_t> argb(size_t(sw * sh));
        for (int y = 0; y < sh; y++)
            for (int x = 0; x < sw; x++) {
                uint16_t c = Px(*src, x, y);
                argb[size_t(y * sw + x)] = keyed && c == 0xF81F ? 0 : 0xFF000000u | PNative2RGB(c);
            }
        pixman_image_t* ps =
            keyed ? pixman_image_create_bits(PIXMAN_a8r8g8b8, sw, sh, argb.data(), sw * 4)
                  : pixman_image_create_bits(PIXMAN_r5g6b5, sw, sh, reinterpret_cast<uint32_t*>(src->pixels),
                                             src->pitch);
        pixman_image_t* pd = pixman_image_create_bits(PIXMAN_r5g6b5, 64, 48,
                                                      reinterpret_cast<uint32_t*>(theirs->pixels), theirs->pitch);
        pixman_region32_t clip;
        pixman_region32_init_rect(&clip, mine->clipX1, mine->clipY1, unsigned(mine->clipX2 - mine->clipX1),
                                  unsigned(mine->clipY2 - mine->clipY1));
        pixman_image_set_clip_region32(pd, &clip);
        const pixman_op_t op = keyed ? PIXMAN_OP_OVER : PIXMAN_OP_SRC;
        if (scale == 1) {
            mine->Blit(dx, dy, src.get(), &r, keyed ? PBLIT_TRANSPARENT : 0);
            pixman_image_composite32(op, ps, nullptr, pd, r.x, r.y, 0, 0, dx, dy, r.width, r.height);
        } else {
            // Whole source stretched by an integer factor.
            mine->BlitScale(PRect{dx, dy, sw * scale, sh * scale}, src.get(), nullptr,
                            keyed ? PBLIT_TRANSPARENT : 0);
            pixman_transform_t t;
            pixman_transform_init_scale(&t, pixman_int_to_fixed(1) / scale, pixman_int_to_fixed(1) / scale);
            pixman_image_set_transform(ps, &t);
            pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
            pixman_image_composite32(op, ps, nullptr, pd, 0, 0, 0, 0, dx, dy, sw * scale, sh * scale);
        }
        pixman_region32_fini(&clip);
        pixman_image_unref(ps);
        pixman_image_unref(pd);
        ASSERT_EQ(std::memcmp(mine->pixels, theirs->pixels, size_t(48 * mine->pitch)), 0)
            << "iteration " << iter << " scale " << scale << " keyed " << keyed;
    }
}

TEST(BlitRotate, AnglesSizesAndClipping)
{
    Surface src = Numbered(6, 4);
    Drawable d = Canvas(20, 20);
    PBlitFX fx;
    d->BlitRotate(PRect{3, 5, 6, 4}, src.get(), nullptr, 0, fx);
    Drawable ref = Canvas(20, 20);
    ref->Blit(3, 5, src.get(), nullptr, 0);
    EXPECT_EQ(std::memcmp(d->pixels, ref->pixels, size_t(20 * d->pitch)), 0);

    // Odd size: the bounding box is one pixel narrower, and the source is
    // sampled about its centre, so its first column is the one left out.
    Surface odd = Numbered(5, 4);
    d = Canvas(20, 20);
    d->BlitRotate(PRect{0, 0, 5, 4}, odd.get(), nullptr, 0, fx);
    EXPECT_EQ(CountNot(*d, kBack), 4 * 4);
    EXPECT_EQ(Px(*d, 0, 0), 2);
    EXPECT_EQ(Px(*d, 3, 0), 5);
    EXPECT_EQ(Px(*d, 4, 0), kBack);

    // A half turn equals a mirrored and flipped copy.
    fx.angle = 32768;
    d = Canvas(20, 20);
    d->BlitRotate(PRect{3, 5, 6, 4}, src.get(), nullptr, 0, fx);
    ref = Canvas(20, 20);
    ref->Blit(3, 5, src.get(), nullptr, PBLIT_MIRROR | PBLIT_FLIP);
    EXPECT_EQ(std::memcmp(d->pixels, ref->pixels, size_t(20 * d->pitch)), 0);

    // A quarter turn keeps every source pixel of a square.
    Surface sq = Numbered(8, 8);
    fx.angle = 16384;
    d = Canvas(20, 20);
    d->BlitRotate(PRect{4, 4, 8, 8}, sq.get(), nullptr, 0, fx);
    EXPECT_EQ(CountNot(*d, kBack), 64);

    // Silhouette only with transparency; key pixels skipped.
    sq->colorKey = PNative2RGB(1);
    fx.angle = 0;
    fx.color = 0x5555;
    d = Canvas(20, 20);
    d->BlitRotate(PRect{0, 0, 8, 8}, sq.get(), nullptr, PBLIT_TRANSPARENT | PBLIT_SILHOUETTE, fx);
    EXPECT_EQ(Px(*d, 0, 0), kBack);
    EXPECT_EQ(Px(*d, 1, 0), 0x5555);

    // Huge rectangles: 64-bit arithmetic, drawing stays clipped.
    fx.angle = 5000;
    d = Canvas(20, 20);
    d->BlitRotate(PRect{-60000, -60000, 120000, 120000}, sq.get(), nullptr, 0, fx);
    d->BlitRotate(PRect{0x7FFF0000, 0x7FFF0000, 0xFFFF, 0xFFFF}, sq.get(), nullptr, 0, fx);
    EXPECT_GT(CountNot(*d, kBack), 0);
    // Empty destinations draw nothing.
    d = Canvas(20, 20);
    d->BlitRotate(PRect{0, 0, 0, 5}, sq.get(), nullptr, 0, fx);
    EXPECT_EQ(CountNot(*d, kBack), 0);
}

TEST(BlitRotate, SourceRectangleIsCutToTheSource)
{
    Surface src = Numbered(4, 4);
    Drawable d = Canvas(10, 10);
    PRect far{100, 100, 5, 5};
    d->BlitRotate(PRect{0, 0, 10, 10}, src.get(), &far, 0, PBlitFX{});
    EXPECT_EQ(CountNot(*d, kBack), 0);
    PRect over{-2, -2, 8, 8};
    d->BlitRotate(PRect{0, 0, 8, 8}, src.get(), &over, 0, PBlitFX{});
    EXPECT_EQ(CountNot(*d, kBack), 64);
}
