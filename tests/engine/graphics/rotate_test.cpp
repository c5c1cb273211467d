// Rotated blits.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/graphics/pblit.h"
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
