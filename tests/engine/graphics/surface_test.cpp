// Surfaces, palettes, colour conversions and the row converter.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>
#include <tuple>

#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"

TEST(ColourConversion, PacksAndWidens)
{
    EXPECT_EQ(PRGB2Native(0xFF123456u), PRGB2Native(0x123456u));
    EXPECT_EQ(PNative2RGB(0x0821), 0x080408u);
    // Every 565 value survives widening and packing again.
    for (unsigned c = 0; c < 0x10000; c++)
        ASSERT_EQ(PRGB2Native(PNative2RGB(c)), c);
}

TEST(SurfacePitch, PaddedAndUnpadded)
{
    EXPECT_EQ(PSurface::GetPitch(5, PSURFACE_RGB24), 16);
    EXPECT_EQ(PSurface::GetPitch(7, PGF_INDEX4), 7);
    EXPECT_EQ(PSurface::GetPitch(7, PGF_RGB24), 0);
    EXPECT_EQ(PSurface::GetPitch(0x40000000, PSURFACE_RGBA32), 0); // does not fit
}

TEST(SurfaceCreate, SizesAreCheckedAndFlagsApplied)
{
    EXPECT_EQ(PSurface::Create(0, 10, PSURFACE_RGB565), nullptr);
    EXPECT_EQ(PSurface::Create(10, -1, PSURFACE_RGB565), nullptr);
    EXPECT_EQ(PSurface::Create(kPSurfaceMaxSide + 1, 1, PSURFACE_INDEX8), nullptr);
    EXPECT_EQ(PSurface::Create(kPSurfaceMaxSide, kPSurfaceMaxSide, PSURFACE_RGBA32), nullptr); // 1 GiB

    PSurfaceFormat f = PSURFACE_RGBA32;
    PSurface* s = PSurface::AllocSurfaceSystemMem(5, 4, f, PLOAD_DRAWABLE | PLOAD_USERFLAG | PLOAD_BOTTOMUP);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(f, PSURFACE_RGB565);
    EXPECT_EQ(s->format, PSURFACE_RGB565);
    EXPECT_EQ(s->flags, PSURF_DRAWABLE | PSURF_USERFLAG | PSURF_BOTTOMUP);
    EXPECT_EQ(s->pitch, 12);
    delete s;

    f = PSURFACE_RGB24;
    int lf = 0;
    s = PSurface::AllocSurface(3, 2, f, lf);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->format, PSURFACE_RGB24);
    EXPECT_EQ(s->pitch, 12);
    for (int i = 0; i < 24; i++)
        EXPECT_EQ(s->pixels[i], 0);
    delete s;

    uint8_t data[2 * 4] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(PSurface::Create(nullptr, 2, 2, PSURFACE_INDEX8, 0), nullptr);
    PSurface* copy = PSurface::Create(data, 2, 2, PSURFACE_INDEX8, 0);
    PSurface* wrap = PSurface::Create(data, 2, 2, PSURFACE_INDEX8, PSURF_NOTOWNED);
    ASSERT_TRUE(copy && wrap);
    EXPECT_NE(copy->pixels, data);
    EXPECT_EQ(wrap->pixels, data);
    EXPECT_EQ(copy->pixels[5], 6);
    delete copy;
    delete wrap; // must not free data
}

TEST(SurfaceView, SharesAndOwnsNothing)
{
    PSurface* src = PSurface::Create(10, 8, PSURFACE_RGB565);
    ASSERT_NE(src, nullptr);
    src->palette = new PPalette(4, false);
    src->flags |= PSURF_OWNPALETTE | PSURF_USERFLAG;
    src->alpha = static_cast<uint8_t*>(PAllocZ(80));
    src->flags |= PSURF_OWNALPHA;
    src->colorKey = 0x123456;
    {
        PSurface view(*src, 2, 3, 4, 2);
        EXPECT_EQ(view.pixels, src->pixels + 3 * src->pitch + 4);
        EXPECT_EQ(view.alpha, src->alpha + 3 * 10 + 2);
        EXPECT_EQ(view.palette, src->palette);
        EXPECT_EQ(view.colorKey, 0x123456u);
        EXPECT_EQ(view.flags, PSURF_USERFLAG | PSURF_NOTOWNED);
        EXPECT_EQ(view.width, 4);
        // A rectangle reaching past the source is cut to it.
        PSurface cut(*src, PRect{8, 6, 10, 10});
        EXPECT_EQ(cut.width, 2);
        EXPECT_EQ(cut.height, 2);
        PSurface outside(*src, 50, 50, 4, 4);
        EXPECT_EQ(outside.width, 0);
        EXPECT_EQ(outside.height, 0);
    }
    // src still intact (ASan would report a double free otherwise).
    src->pixels[0] = 1;
    src->alpha[0] = 1;
    delete src;
}

TEST(DrawableClip, ClampsToSurface)
{
    PDrawableSurface* d = PDrawableSurface::Create(100, 50);
    ASSERT_NE(d, nullptr);
    PRect r;
    d->SetClipRect(-5, -5, 1000, 1000);
    d->GetClipRect(r);
    EXPECT_EQ(std::make_tuple(r.x, r.y, r.width, r.height), std::make_tuple(0, 0, 100, 50));
    d->SetClipRect(60, 10, 20, 40);
    EXPECT_EQ(std::make_tuple(d->clipX1, d->clipX2, d->clipY2), std::make_tuple(60, 60, 40));
    d->ResetClipRect();
    EXPECT_EQ(d->clipX2, 100);
    delete d;
    EXPECT_EQ(PDrawableSurface::Create(0, 5), nullptr);
}

TEST(Palette, EntriesAlphasAndBounds)
{
    EXPECT_EQ(PPalette::Create(0, static_cast<const unsigned*>(nullptr), false), nullptr);
    PPalette withA(4, true), noA(4, false);
    ASSERT_TRUE(withA.colors && withA.alphas && noA.colors && !noA.alphas);
    EXPECT_GE(withA.Capacity(), 256u);
    withA.Set(1, 0x80FFFFFFu);
    noA.Set(1, 0x80FFFFFFu);
    EXPECT_EQ(withA.Get(1), 0x83FFFFFFu);
    EXPECT_EQ(noA.Get(1), 0xFFFFFFFFu);
    // Alpha 255 stays in the 5-bit range.
    withA.Set(2, 10, 20, 30, 255);
    EXPECT_EQ(withA.alphas[2], 31);
    EXPECT_EQ(withA.Get(2) >> 24, 255u);
    withA.SetAlpha(3, 255);
    EXPECT_EQ(withA.alphas[3], 31);
    withA.SetAlpha(3, 0);
    EXPECT_EQ(withA.alphas[3], 0);
    // Indices beyond the entries read zero; beyond the arrays they are ignored.
    EXPECT_EQ(noA.colors[200], 0);
    EXPECT_EQ(noA.Get(100000), 0u);
    noA.Set(100000, 0xFFFFFFu);

    const uint8_t bgra[] = {0x10, 0x20, 0x30, 0x40, 0xFF, 0xFF, 0xFF, 0x08};
    PPalette* p = PPalette::Create(2, bgra, true, true);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->colors[0], PRGB2Native(0x30, 0x20, 0x10));
    EXPECT_EQ(p->alphas[0], 0x40 >> 3);
    EXPECT_EQ(p->alphas[1], 1);
    delete p;
    const uint8_t rgb[] = {0x30, 0x20, 0x10, 1, 2, 3};
    p = PPalette::Create(2, rgb, false, false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->colors[0], PRGB2Native(0x30, 0x20, 0x10));
    delete p;

    // Adopted short arrays are widened to full size.
    auto* c = static_cast<uint16_t*>(PAlloc(4));
    c[0] = 0x1234;
    c[1] = 0x5678;
    PPalette adopted(2, c, nullptr);
    ASSERT_GE(adopted.Capacity(), 256u);
    EXPECT_EQ(adopted.colors[1], 0x5678);
    EXPECT_EQ(adopted.colors[255], 0);

    PPalette* ramp = PPalette::CreateGreyRamp(16);
    ASSERT_NE(ramp, nullptr);
    EXPECT_EQ(ramp->Get(1) & 0xFFFFFF, PNative2RGB(PRGB2Native(17, 17, 17)));
    delete ramp;
}

namespace {

std::vector<uint8_t> Convert(PSurfaceFormat df, const std::vector<uint8_t>& src, PGraphicsFormat sf, int count,
                             const PPalette* pal = nullptr, bool* ok = nullptr)
{
    std::vector<uint8_t> dst(size_t(count) * 4 + 8, 0xEE);
    bool r = PSurface::ConvertLine(dst.data(), df, src.data(), sf, pal, count, 0xFF00FF);
    if (ok)
        *ok = r;
    return dst;
}

uint16_t W(const std::vector<uint8_t>& v, int i)
{
    return uint16_t(v[2 * i] | v[2 * i + 1] << 8);
}

} // namespace

TEST(ConvertLine, TrueColourRows)
{
    auto d = Convert(PSURFACE_RGBA32, {0xFF, 0x00, 0xFF, 0x00, 0x00, 0xFF}, PGF_BGR24, 2);
    uint32_t w0, w1;
    std::memcpy(&w0, d.data(), 4);
    std::memcpy(&w1, d.data() + 4, 4);
    EXPECT_EQ(w0, 0x00FF00FFu); // magenta: alpha 0
    EXPECT_EQ(w1, 0xFF0000FFu);
    d = Convert(PSURFACE_RGB565, {1, 2, 0xF8, 9}, PGF_BGRA32, 1);
    EXPECT_EQ(W(d, 0), PRGB2Native(0xF8, 2, 1));
    d = Convert(PSURFACE_RGB24, {1, 2, 3, 9}, PGF_RGBA32, 1);
    EXPECT_EQ(std::make_tuple(d[0], d[2], d[3]), std::make_tuple(1, 3, 0xEE));
    d = Convert(PSURFACE_RGBA32, {1, 2, 3, 9}, PGF_BGRA32, 1);
    EXPECT_EQ(d[0], 3);
    EXPECT_EQ(d[3], 9);
    // Colour rows into an indexed surface write nothing.
    d = Convert(PSURFACE_INDEX8, {1, 2, 3}, PGF_RGB24, 1);
    EXPECT_EQ(d[0], 0xEE);
}

TEST(ConvertLine, SixteenBitRowsRespectDestinationSize)
{
    auto d = Convert(PSURFACE_RGB565, {0x21, 0x0F}, PGF_RGB444, 1);
    EXPECT_EQ(W(d, 0), PRGB2Native(0xFF, 0x22, 0x11));
    d = Convert(PSURFACE_RGB565, {0xFF, 0x7F}, PGF_RGB555, 1);
    EXPECT_EQ(W(d, 0), 0xFFFF);
    d = Convert(PSURFACE_RGB565, {0x34, 0x12, 0x78, 0x56}, PGF_RGB565, 2);
    EXPECT_EQ(W(d, 1), 0x5678);
    // An 8-bit destination receives nothing: the row is not overrun.
    d = Convert(PSURFACE_INDEX8, {0x34, 0x12, 0x78, 0x56}, PGF_RGB565, 2);
    EXPECT_EQ(d[0], 0xEE);
    // Wider destinations get their own pixel size.
    d = Convert(PSURFACE_RGB24, {0x1F, 0xF8}, PGF_RGB565, 1);
    EXPECT_EQ(std::make_tuple(d[0], d[1], d[2], d[3]), std::make_tuple(0xFF, 0, 0xFF, 0xEE));
    d = Convert(PSURFACE_RGBA32, {0x1F, 0xF8}, PGF_RGB565, 1);
    EXPECT_EQ(d[3], 0); // magenta is the key
}

TEST(ConvertLine, IndexRows)
{
    PPalette pal(16, false);
    for (int i = 0; i < 16; i++)
        pal.Set(unsigned(i), i * 16, 0, 0);
    auto d = Convert(PSURFACE_INDEX8, {0x21, 0x43, 0x05}, PGF_INDEX4, 5, &pal);
    EXPECT_EQ((std::vector<uint8_t>(d.begin(), d.begin() + 6)), (std::vector<uint8_t>{1, 2, 3, 4, 5, 0xEE}));
    d = Convert(PSURFACE_INDEX8, {0x21, 0x43, 0x50}, PGF_INDEX4_MSB, 5, &pal);
    EXPECT_EQ((std::vector<uint8_t>(d.begin(), d.begin() + 6)), (std::vector<uint8_t>{2, 1, 4, 3, 5, 0xEE}));
    d = Convert(PSURFACE_INDEX8, {0xB1, 0x80}, PGF_INDEX1_MSB, 9);
    EXPECT_EQ((std::vector<uint8_t>(d.begin(), d.begin() + 10)),
              (std::vector<uint8_t>{1, 0, 1, 1, 0, 0, 0, 1, 1, 0xEE}));
    d = Convert(PSURFACE_INDEX8, {0x1B, 0xC0}, PGF_INDEX2_MSB, 5);
    EXPECT_EQ((std::vector<uint8_t>(d.begin(), d.begin() + 6)), (std::vector<uint8_t>{0, 1, 2, 3, 3, 0xEE}));
    d = Convert(PSURFACE_RGB565, {3, 15}, PGF_INDEX8, 2, &pal);
    EXPECT_EQ(W(d, 0), PRGB2Native(48, 0, 0));
    EXPECT_EQ(W(d, 1), PRGB2Native(240, 0, 0));
    // Without a palette: a grey ramp of the row's depth.
    d = Convert(PSURFACE_RGB565, {0x80, 200}, PGF_INDEX8, 2);
    EXPECT_EQ(W(d, 0), PRGB2Native(0x80, 0x80, 0x80));
    d = Convert(PSURFACE_RGB565, {0xF0}, PGF_INDEX4_MSB, 2);
    EXPECT_EQ(W(d, 0), 0xFFFF);
    EXPECT_EQ(W(d, 1), 0);
    d = Convert(PSURFACE_RGBA32, {2}, PGF_INDEX8, 1, &pal);
    EXPECT_EQ(d[0], 32);
    EXPECT_EQ(d[3], 255);
    bool ok = true;
    Convert(PSURFACE_RGB565, {0}, PGraphicsFormat(14), 1, nullptr, &ok);
    EXPECT_FALSE(ok);
    d = Convert(PSURFACE_RGB565, {0xFF}, PGF_INDEX1, 1, nullptr, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(d[0], 0xEE);
}
