// Textured images: tiling and the piece walk on a recording back end with a
// maximum texture size of 256, and on Mesa blits of every surface format
// reading back as their source, BlitFx at scale 1 against Blit, paletted
// uploads.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/graphics/pblit.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pstream.h"
#include "p3d_fixtures.h"
#include "tests/gl/software/memory_display.h"

using p3dtest::Mesa;
using p3dtest::Recorded;
using testgl::Call;

namespace {

// A w x h image of the format whose pixel (x, y) has a colour of its own.
std::unique_ptr<PSurface> Pattern(int w, int h, PSurfaceFormat f)
{
    std::unique_ptr<PSurface> s(PSurface::Create(w, h, f));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = s->pixels + size_t(y) * s->pitch + size_t(x) * s->BytesPerPixel();
            uint8_t r = uint8_t(x * 8), g = uint8_t(y * 8), b = uint8_t((x + y) * 4 + 40);
            switch (f) {
            case PSURFACE_RGB565: {
                uint16_t c = PRGB2Native(r, g, b);
                std::memcpy(p, &c, 2);
                break;
            }
            case PSURFACE_INDEX8:
                *p = uint8_t((x + y * 3) % 200 + 1);
                break;
            case PSURFACE_RGB24:
                p[0] = r, p[1] = g, p[2] = b;
                break;
            default:
                p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
                break;
            }
        }
    if (f == PSURFACE_INDEX8) {
        s->SetPalette(new PPalette(256, false));
        s->flags |= PSURF_OWNPALETTE;
        for (int i = 0; i < 256; ++i)
            s->palette->Set(unsigned(i), (i * 37) & 0xF8, (i * 11) & 0xFC, (i * 5) & 0xF8);
        s->SetColorKey(0xFFFFFF);
    } else {
        s->SetColorKey(0xFFFFFF); // a colour the pattern never has
    }
    return s;
}

// A 565 colour as GL shows it from a 5-6-5 texel (green 6 bits) or a
// 5-5-5-1 texel (green cut to 5 bits); GL widens by repeating the top bits.
uint32_t Widened(unsigned c, bool green6)
{
    unsigned r = (c >> 11) & 31, g6 = (c >> 5) & 63, b = c & 31;
    unsigned R = r << 3 | r >> 2, B = b << 3 | b >> 2;
    unsigned G = green6 ? (g6 << 2 | g6 >> 4) : ((g6 >> 1) << 3 | (g6 >> 1) >> 2);
    return R << 16 | G << 8 | B;
}

// The 0xRRGGBB an image uploaded with flags shows at (x, y).
uint32_t Expected(const PSurface& s, int x, int y, int flags = 0)
{
    const uint8_t* p = s.pixels + size_t(y) * s.pitch + size_t(x) * s.BytesPerPixel();
    bool green6 = flags & 0x200;
    switch (s.format) {
    case PSURFACE_RGB565:
        return Widened(PLoad16(p), green6);
    case PSURFACE_INDEX8:
        return Widened(s.palette->colors[*p], green6);
    default:
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
}

} // namespace

TEST(Surface3DTiles, LargeImageIsCutAtTheMaximumSize)
{
    Recorded r(640, 480, 256);
    ASSERT_TRUE(r.Create());
    auto img = Pattern(300, 100, PSURFACE_RGB565);
    std::unique_ptr<PSurface3D> s(PSurface3D::Create(r.ctx, img.get(), 0));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->TileCount(), 2u);
    EXPECT_EQ(s->TileSize(), 256u);
    auto uploads = r.rec->Only("glTexImage2D");
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].rfind(Call("glTexImage2D", GL_TEXTURE_2D, 0, GL_RGBA, 256, 128, 0).substr(0, 36), 0), 0u) << uploads[0];

    // A source rectangle across the tile edge is two pieces; push and pop pair.
    // A rectangle beyond the image is cut to it; one wholly outside draws nothing.
    for (auto [src, draws] : {std::pair{PRect{200, 10, 100, 50}, 2u}, {PRect{250, -20, 4000, 4000}, 2u},
                              {PRect{400, 0, 10, 10}, 0u}}) {
        r.rec->Clear();
        s->Blit(10, 10, &src, 0);
        s->BlitFx(0, 0, &src, 0x20, PBlitFX());
        EXPECT_EQ(r.rec->Count("glDrawArrays"), 2 * draws) << src.x;
        EXPECT_EQ(r.rec->Count("vornGLPushFixed"), r.rec->Count("vornGLPopFixed"));
    }

    // A rotated image of two tiles turns once, about its centre.
    r.rec->Clear();
    PBlitFX fx;
    fx.angle = 0x4000;
    s->BlitFx(320, 240, nullptr, 0x20, fx);
    EXPECT_EQ(r.rec->Count("glDrawArrays"), 2u);
    EXPECT_EQ(r.rec->Count("glRotatex"), 0u); // rotations stay in the state manager
    EXPECT_EQ(r.rec->Count("vornGLPushFixed"), r.rec->Count("vornGLPopFixed"));

    // More than 32 tiles, or no pixels at all: no image.
    auto huge = Pattern(256 * 9, 256 * 4, PSURFACE_INDEX8);
    EXPECT_EQ(PSurface3D::Create(r.ctx, huge.get(), 0), nullptr);
}

TEST(Surface3DTiles, EdgeTexelsAndUploadErrors)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    auto img = Pattern(100, 100, PSURFACE_RGB565);
    std::unique_ptr<PSurface3D> s(PSurface3D::Create(r.ctx, img.get(), 0x200));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->TextureWidth(), 128u);
    // A GL error while uploading gives no image.
    r.rec->errors = {0, GL_OUT_OF_MEMORY};
    EXPECT_EQ(PSurface3D::Create(r.ctx, img.get(), 0), nullptr);
}

// The software renderer's textures are at most 256 texels a side: a wider
// or taller image's last tile is narrower than its texture. Drawn scaled up
// and smoothly filtered, that tile's far edge shows its own last texels, not
// what the tile before it left in the upload buffer, its corner too.
TEST(Surface3DTiles, LastTileFiltersOnlyItsOwnTexels)
{
    // Draws a w x h picture, blue where blue(x, y) says and red elsewhere,
    // twice its size with smoothing on a display of its own; gives the
    // pixel at (x, y) of that display.
    struct Drawn {
        std::unique_ptr<swtest::MemoryDisplay> display;
        uint16_t At(int x, int y) const { return display->Buffer().pixels[y * (display->Buffer().pitch / 2) + x]; }
    };
    auto draw = [](int w, int h, unsigned tiles, auto blue) {
        Drawn d {std::make_unique<swtest::MemoryDisplay>(2 * w + 8, 2 * h + 8)};
        std::unique_ptr<P3D> ctx(P3D::Create(d.display.get(), nullptr));
        EXPECT_TRUE(ctx);
        std::unique_ptr<PSurface> img(PSurface::Create(w, h, PSURFACE_RGB565));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint16_t c = blue(x, y) ? 0x001F : 0xF800;
                std::memcpy(img->pixels + size_t(y) * img->pitch + size_t(x) * 2, &c, 2);
            }
        std::unique_ptr<PSurface3D> s(ctx ? PSurface3D::Create(ctx.get(), img.get(), PS3D_NOALPHA) : nullptr);
        EXPECT_NE(s, nullptr);
        if (!s)
            return d;
        EXPECT_EQ(s->TileCount(), tiles);
        ctx->Clear(0);
        PBlitFX fx;
        fx.scaleX = fx.scaleY = 0x20000;
        s->BlitFx(w, h, nullptr, PS3D_SCALE | PS3D_SMOOTH, fx);
        return d;
    };
    auto expectBlue = [](uint16_t p, int x, int y) {
        EXPECT_EQ(p >> 11, 0) << "red at (" << x << ", " << y << "): " << std::hex << p;
        EXPECT_GT(p & 31, 24) << std::hex << p;
    };

    // Red in the first tile, blue in the last one.
    for (bool across : {true, false}) {
        SCOPED_TRACE(across ? "across" : "down");
        const int w = across ? 288 : 8, h = across ? 8 : 288;
        const Drawn d = draw(w, h, 2u, [&](int x, int y) { return (across ? x : y) >= 256; });
        // The last drawn row or column, across its middle.
        for (int k = 2 * 2; k < 2 * 4; ++k) {
            const int x = across ? 2 * w - 1 : w - 4 + k, y = across ? h - 4 + k : 2 * h - 1;
            expectBlue(d.At(x, y), x, y);
        }
    }

    // Both ways: the last tile's corner texel, beyond its last column and
    // row, is its own corner too. Blue in the bottom-right tile only.
    const int n = 288;
    const Drawn d = draw(n, n, 4u, [](int x, int y) { return x >= 256 && y >= 256; });
    // The last drawn column and row near the corner, the corner pixel included.
    for (int k = 1; k <= 8; ++k)
        for (auto [x, y] : {std::pair{2 * n - 1, 2 * n - k}, {2 * n - k, 2 * n - 1}})
            expectBlue(d.At(x, y), x, y);
}

TEST(Surface3DMesa, EveryFormatBlitsAsItsSource)
{
    Mesa m(128, 96);
    ASSERT_TRUE(m.Ok());
    for (PSurfaceFormat f : {PSURFACE_RGB565, PSURFACE_INDEX8, PSURFACE_RGB24, PSURFACE_RGBA32}) {
        for (int flags : {0, 0x200}) {
            auto img = Pattern(40, 30, f);
            std::unique_ptr<PSurface3D> s(PSurface3D::Create(m.ctx, img.get(), flags));
            ASSERT_NE(s, nullptr) << f;
            m.ctx->Clear(0);
            s->Blit(7, 5, nullptr, 0);
            auto frame = m.Read();
            int bad = 0;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    bad += m.At(frame, 7 + x, 5 + y) != Expected(*img, x, y, flags);
            EXPECT_EQ(bad, 0) << "format " << f << " flags " << flags;
            EXPECT_EQ(m.At(frame, 6, 5), 0u);
            EXPECT_EQ(m.At(frame, 47, 5), 0u);
        }
    }
}

TEST(Surface3DMesa, BlitFxAtScaleOneIsAShiftedBlit)
{
    Mesa m(128, 96);
    ASSERT_TRUE(m.Ok());
    auto img = Pattern(40, 30, PSURFACE_RGB565);
    std::unique_ptr<PSurface3D> s(PSurface3D::Create(m.ctx, img.get(), 0));
    ASSERT_NE(s, nullptr);
    m.ctx->Clear(0);
    s->Blit(20, 16, nullptr, 0);
    auto blit = m.Read();
    m.ctx->Clear(0);
    PBlitFX fx;
    fx.scaleX = fx.scaleY = 0x10000;
    s->BlitFx(20 + 20, 16 + 15, nullptr, 0x40, fx);
    auto fxFrame = m.Read();
    EXPECT_EQ(blit, fxFrame);

    // Mirrored: column x shows source column 39 - x.
    m.ctx->Clear(0);
    s->Blit(20, 16, nullptr, PS3D_MIRROR);
    auto mirrored = m.Read();
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(m.At(mirrored, 20 + x, 16), Expected(*img, 39 - x, 0)) << x;
}

// Transparent texels take the colour of the edge beside them: an image whose
// right half is the colour key (or alpha 0 in magenta), drawn smoothly
// scaled and alpha-tested against 0 or blended, shows green and black only,
// never the key mixed into its edge; the opaque half keeps its colour.
TEST(Surface3DMesa, FilteredEdgesNeverShowTheColourKey)
{
    Mesa m(96, 96);
    ASSERT_TRUE(m.Ok());
    const uint16_t green = PRGB2Native(0, 160, 0), magenta = PRGB2Native(255, 0, 255);
    for (PSurfaceFormat f : {PSURFACE_RGB565, PSURFACE_INDEX8, PSURFACE_RGBA32}) {
        for (bool alphaPlane : {false, true}) {
            if (alphaPlane && f != PSURFACE_RGB565)
                continue;
            std::unique_ptr<PSurface> img(PSurface::Create(16, 16, f));
            ASSERT_TRUE(img);
            if (f == PSURFACE_INDEX8) {
                img->SetPalette(new PPalette(16, false));
                img->flags |= PSURF_OWNPALETTE;
                img->palette->Set(0, 0, 160, 0);
                img->palette->Set(1, 255, 0, 255); // the key, not at index 0
            }
            if (alphaPlane) {
                img->SetAlpha(new uint8_t[256]);
                img->flags |= PSURF_OWNALPHA;
            }
            img->SetColorKey(0xFF00FF);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    bool clear = x >= 8;
                    uint8_t* p = img->pixels + size_t(y) * img->pitch + size_t(x) * img->BytesPerPixel();
                    if (f == PSURFACE_RGB565)
                        std::memcpy(p, clear ? &magenta : &green, 2);
                    else if (f == PSURFACE_INDEX8)
                        *p = clear ? 1 : 0;
                    else
                        p[0] = clear ? 255 : 0, p[1] = clear ? 0 : 160, p[2] = clear ? 255 : 0, p[3] = clear ? 0 : 255;
                    if (alphaPlane)
                        img->alpha[y * 16 + x] = clear ? 0 : 255;
                }
            std::unique_ptr<PSurface3D> s(PSurface3D::Create(m.ctx, img.get(), 0));
            ASSERT_NE(s, nullptr);
            for (int flags : {PS3D_SMOOTH | PS3D_ALPHATEST, PS3D_SMOOTH | PS3D_ALPHA | PS3D_ALPHATEST}) {
                m.ctx->Clear(0);
                m.ctx->GetBackend()->glAlphaFuncx(GL_GREATER, 0); // as an alpha draw before leaves it
                PBlitFX fx;
                fx.alpha = 255;
                s->BlitFx(PRect{8, 8, 80, 80}, nullptr, flags, fx);
                auto frame = m.Read();
                int keyed = 0, greenSeen = 0;
                for (int y = 0; y < 96; ++y)
                    for (int x = 0; x < 96; ++x) {
                        uint32_t c = m.At(frame, x, y);
                        keyed += (c >> 16) > 8 || (c & 0xFF) > 8;
                        greenSeen += c == m.At(frame, 20, 40) && c != 0;
                    }
                EXPECT_EQ(keyed, 0) << "format " << f << (alphaPlane ? " with alpha" : "") << ", flags " << flags;
                EXPECT_GT(greenSeen, 30 * 70) << "format " << f << ", flags " << flags;
            }
        }
    }
}

// A draw takes nothing from the draws before it: with the alpha test alone it
// drops only the fully transparent texels whatever reference was left (the
// program's default is near 1), and unscaled it samples texel for pixel
// after a smooth scaled draw left the tiles filtering (as Blit does, so both
// draw the same frame). A 1024 x 600 frame, as on the tablet.
TEST(Surface3DMesa, AlphaTestAndUnscaledDrawsInheritNothing)
{
    Mesa m(1024, 600);
    ASSERT_TRUE(m.Ok());
    // Large enough that the unscaled draw's texture coordinates fall off
    // the texel centres by the fraction a filter turns into a neighbour's share.
    const int W = 300, H = 200, X = 17, Y = 33;
    auto img = Pattern(W, H, PSURFACE_RGB565);
    img->SetAlpha(new uint8_t[W * H]);
    img->flags |= PSURF_OWNALPHA;
    for (int i = 0; i < W * H; ++i)
        img->alpha[i] = uint8_t(i % 3 == 0 ? 0 : i % 3 == 1 ? 136 : 255);
    std::unique_ptr<PSurface3D> s(PSurface3D::Create(m.ctx, img.get(), 0));
    ASSERT_NE(s, nullptr);
    PBlitFX fx;
    fx.scaleX = fx.scaleY = 0x18000;
    fx.alpha = 255;
    auto draw = [&](bool viaFx) {
        s->BlitFx(PRect{0, 0, W * 3 / 2, H * 3 / 2}, nullptr, PS3D_SCALE | PS3D_SMOOTH, fx); // leaves linear filtering
        m.ctx->Clear(0);
        m.ctx->GetBackend()->glAlphaFuncx(GL_GREATER, 60000);
        if (viaFx)
            s->BlitFx(PRect{X, Y, W, H}, nullptr, PS3D_ALPHATEST, fx);
        else
            s->Blit(X, Y, nullptr, PS3D_ALPHATEST);
        return m.Read();
    };
    auto blit = draw(false), blitFx = draw(true);
    int bad = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint32_t want = img->alpha[y * W + x] ? Expected(*img, x, y) & 0xF0F0F0 : 0;
            bad += (m.At(blit, X + x, Y + y) & 0xF0F0F0) != want;
        }
    EXPECT_EQ(bad, 0);
    EXPECT_TRUE(blit == blitFx);
}
