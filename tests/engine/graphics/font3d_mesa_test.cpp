// Fonts drawn through GL on Mesa's OpenGL ES 1.1 and 2.0, read back, and on
// the software back end: a DejaVu font built by fntbuild against FreeType's
// own bitmaps, the colour modes, mirrored and flipped glyphs, paletted strips
// and background boxes.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/graphics/punicodefont3d.h"
#include "gl/software/sw_fixture.h"
#include "p3d_fixtures.h"
#include "tests/engine/graphics/font_fixture.h"
#include "tests/engine/graphics/font_freetype.h"

using namespace fonttest;
using p3dtest::Mesa;

namespace {

constexpr int kW = 640, kH = 32, kX = 5, kY = 3;

std::unique_ptr<PUnicodeFont3D> Load3D(P3D* ctx, const std::string& path, int mode = 2)
{
    auto f = std::make_unique<PUnicodeFont3D>();
    f->SetDrawingTarget(ctx, kW, kH, 0);
    f->mode = mode;
    if (!f->Load(path.c_str()))
        return nullptr;
    return f;
}

std::unique_ptr<PUnicodeFont3D> Load3D(P3D* ctx, const std::vector<uint8_t>& bytes)
{
    auto f = std::make_unique<PUnicodeFont3D>();
    f->SetDrawingTarget(ctx, kW, kH, 0);
    std::vector<uint8_t> b = bytes;
    PMemStream s(b.data(), long(b.size()));
    if (!f->Load(s))
        return nullptr;
    return f;
}

// Rows of a frame as '#' (pixel of colour c) and '.' over x0..x1, y0..y1.
std::string Picture(const Mesa& m, const std::vector<uint8_t>& f, uint32_t c, int x0, int y0, int x1, int y1)
{
    std::string s;
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++)
            s += m.At(f, x, y) == c ? '#' : '.';
        s += '\n';
    }
    return s;
}

class Font3DMesa : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(kDejaVuSans))
            GTEST_SKIP() << kDejaVuSans << " is missing (fonts-dejavu-core)";
        ASSERT_TRUE(m_ref.Open(kDejaVuSans, kSize));
        ASSERT_TRUE(m_mesa.Ok());
        m_mesa.ctx->Clear(0);
    }

    // Prints the sample with the DejaVu font on ctx and expects `ink` exactly
    // where FreeType's coverage survives a 4-bit alpha, black elsewhere.
    template <class Pixel> void ExpectSample(P3D* ctx, Pixel pixel, uint32_t ink)
    {
        auto f = Load3D(ctx, BuildDejaVu(m_dir.path, "bgra.fnt", "--strip bgra"));
        ASSERT_TRUE(f);
        ctx->Clear(0);
        const Layout want = m_ref.Lay(kSample, kX, kY, false, kW, kH);
        ASSERT_TRUE(want.ok) << want.problem;
        EXPECT_EQ(f->Print(kSample, kX, kY, -1), want.advance);
        ctx->GetBackend()->glFinish();
        int drawn = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const bool visible = want.At(x, y) >= 17;
                drawn += visible;
                ASSERT_EQ(pixel(x, y), visible ? ink : 0u) << x << "," << y;
            }
        EXPECT_GT(drawn, 500);
    }

    Reference m_ref;
    TempDir m_dir{"krv_font3d"};
    Mesa m_mesa{kW, kH};
};

// An 'L': the left column and the bottom row of a 3 x 4 glyph.
FontDesc Ell()
{
    FontDesc s;
    s.height = 4;
    s.glyphs = {{'L', 0, 3, 0}};
    s.coverage = [](uint32_t, int x, int y) -> uint8_t { return x == 0 || y == 3 ? 255 : 0; };
    return s;
}

} // namespace

TEST_F(Font3DMesa, DejaVuMatchesFreeTypePixelForPixel)
{
    std::vector<uint8_t> frame;
    ExpectSample(
        m_mesa.ctx,
        [&](int x, int y) {
            if (frame.empty())
                frame = m_mesa.Read();
            return m_mesa.At(frame, x, y);
        },
        0xFFFFFF);
}

TEST_F(Font3DMesa, ColourModesBlendTheCoverage)
{
    const Layout want = m_ref.Lay(kSample, kX, kY, false, kW, kH);
    ASSERT_TRUE(want.ok) << want.problem;
    // Mode 3: the texture blended by its 4-bit alpha.
    {
        auto f = Load3D(m_mesa.ctx, BuildDejaVu(m_dir.path, "bgra.fnt", "--strip bgra"), 3);
        ASSERT_TRUE(f);
        f->Print(kSample, kX, kY, -1);
        const auto frame = m_mesa.Read();
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const int c = want.At(x, y);
                const int a4 = c >= 17 ? c / 17 : 0;
                ASSERT_NEAR(int(m_mesa.At(frame, x, y) & 0xFF), a4 * 17, 1) << x << "," << y;
            }
    }
    // Mode 5: coverage bytes as luminance and alpha, modulated by the colour
    // and blended by alpha: the coverage counts twice.
    m_mesa.ctx->Clear(0);
    {
        auto f = Load3D(m_mesa.ctx, BuildDejaVu(m_dir.path, "grey.fnt", "--strip grey"), 5);
        ASSERT_TRUE(f);
        f->args.color = 0xFF00FF00;
        f->Print(kSample, kX, kY, -1);
        const auto frame = m_mesa.Read();
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const int c = want.At(x, y);
                const uint32_t px = m_mesa.At(frame, x, y);
                ASSERT_NEAR(int((px >> 8) & 0xFF), c * c / 255, 2) << x << "," << y;
                ASSERT_EQ(px & 0xFF00FF, 0u) << x << "," << y;
            }
    }
}

TEST_F(Font3DMesa, MirroredAndFlippedGlyphsStayInPlace)
{
    auto f = Load3D(m_mesa.ctx, MakeFont(Ell()));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Print("L", 1, 1, -1), 3);
    f->args.blitFlags = 0x01 | 0x02;
    EXPECT_EQ(f->Print("L", 6, 1, -1), 3);
    f->args.blitFlags = 0x01 | 0x04;
    f->Print("L", 11, 1, -1);
    f->args.blitFlags = 0x01 | 0x02 | 0x04;
    f->Print("L", 16, 1, -1);
    const auto frame = m_mesa.Read();
    EXPECT_EQ(Picture(m_mesa, frame, 0xFFFFFF, 0, 0, 19, 5), "....................\n"
                                                           ".#......#..###..###.\n"
                                                           ".#......#..#......#.\n"
                                                           ".#......#..#......#.\n"
                                                           ".###..###..#......#.\n"
                                                           "....................\n");
}

TEST_F(Font3DMesa, PalettedStripsAndBoxes)
{
    // Index 0 is the colour key (transparent), 1 red, 2 green; 4-bit indices.
    FntFont pal = MakeFontRecord(Ell());
    pal.strip = NrvImage();
    pal.strip.format = 3;
    pal.strip.width = 3;
    pal.strip.height = 4;
    pal.strip.palette = {0xFFFF00FF, 0xFFFF0000, 0xFF00FF00};
    pal.strip.pixels = {1, 0, 0, 1, 0, 0, 1, 0, 0, 2, 2, 2};
    pal.stripFlags = kNrvFlag3Byte;
    auto f = Load3D(m_mesa.ctx, Encode(pal));
    ASSERT_TRUE(f);
    m_mesa.ctx->Clear(0x0000FF);
    f->Print("L", 1, 1, -1);
    // A background box with cut corners, then one without.
    PFont::AttributeString run{"L", 1, 0x11, 0, 0xFFFFFF00, 0};
    EXPECT_EQ(f->PrintShape(6, 1, 6, 5, run), 6);
    run.attributes = 0x01;
    f->PrintShape(14, 1, 3, 3, run);
    const auto frame = m_mesa.Read();
    EXPECT_EQ(Picture(m_mesa, frame, 0xFF0000, 0, 0, 4, 5), ".....\n.#...\n.#...\n.#...\n.....\n.....\n");
    EXPECT_EQ(Picture(m_mesa, frame, 0x00FF00, 0, 0, 4, 5), ".....\n.....\n.....\n.....\n.###.\n.....\n");
    EXPECT_EQ(Picture(m_mesa, frame, 0xFFFF00, 5, 0, 17, 6), ".............\n"
                                                            "..####...###.\n"
                                                            ".######..###.\n"
                                                            ".######..###.\n"
                                                            ".######......\n"
                                                            "..####.......\n"
                                                            ".............\n");
}

TEST_F(Font3DMesa, SoftwareBackEndCoversTheSamePixels)
{
    swtest::MemoryDisplay display(kW, kH);
    std::unique_ptr<P3D> ctx(P3D::Create(&display, nullptr));
    ASSERT_TRUE(ctx);
    // The rasterizer widens 4-bit texels its own way: the white of the strip
    // becomes 0xF79E.
    const PBackBuffer& bb = display.Buffer();
    ExpectSample(ctx.get(), [&](int x, int y) { return uint32_t(bb.pixels[y * kW + x]); }, 0xF79E);
}

TEST_F(Font3DMesa, OpenGLES2BackEndDrawsTheSamePixels)
{
    // A pbuffer display asking for OpenGL ES 2.0 (graphics type 2); kept to
    // the end of the process like the fixture's displays.
    static PDisplayEGL* es2 = [] {
        auto* d = new PDisplayEGL();
        d->m_surfaceKind = PSURFACE_PBUFFER;
        d->SetPbufferSize(kW, kH);
        PDisplayProperties req{};
        req.redBits = 8;
        PDisplayProperties3D r3{};
        r3.version = 20;
        return d->Init(nullptr, 32, &req, &r3) ? d : nullptr;
    }();
    ASSERT_TRUE(es2);
    es2->MakeCurrent();
    std::unique_ptr<P3D> ctx(P3D::Create(es2, nullptr));
    ASSERT_TRUE(ctx);
    ASSERT_EQ(ctx->GetBackend()->vornGLGetAPI(), 2);
    std::vector<uint8_t> up;
    ExpectSample(
        ctx.get(),
        [&](int x, int y) {
            if (up.empty()) {
                up.resize(size_t(kW) * kH * 4);
                ctx->GetBackend()->glPixelStorei(GL_PACK_ALIGNMENT, 1);
                ctx->GetBackend()->glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, up.data());
            }
            const uint8_t* p = &up[(size_t(kH - 1 - y) * kW + size_t(x)) * 4];
            return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        },
        0xFFFFFF);
    ctx.reset();
    m_mesa.display->MakeCurrent();
}
