// Fonts built by fntbuild from DejaVu Sans print exactly what FreeType
// renders, at FreeType's advances: the tool and the engine's loader and
// renderers against FreeType's own bitmaps.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/graphics/pblit.h"
#include "tests/engine/graphics/font_fixture.h"
#include "tests/engine/graphics/font_freetype.h"

using namespace fonttest;

namespace {

using Drawable = std::unique_ptr<PDrawableSurface>;

Drawable Canvas(int w, int h)
{
    return Drawable(PDrawableSurface::Create(w, h));
}

class FontFreeType : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(kDejaVuSans))
            GTEST_SKIP() << kDejaVuSans << " is missing (fonts-dejavu-core)";
        ASSERT_TRUE(m_ref.Open(kDejaVuSans, kSize));
    }

    Reference m_ref;
    TempDir m_dir{"krv_fontft"};
};

constexpr int kX = 5, kY = 3, kW = 640, kH = 28;

} // namespace

TEST_F(FontFreeType, BlitRendererShowsEveryVisiblePixel)
{
    const std::string path = BuildDejaVu(m_dir.path, "bgra.fnt", "--strip bgra");
    ASSERT_FALSE(path.empty());
    std::unique_ptr<PUnicodeFont> f(PUnicodeFont::Create(path.c_str()));
    ASSERT_TRUE(f);
    auto d = Canvas(kW, kH);
    f->target = d.get();
    const Layout want = m_ref.Lay(kSample, kX, kY, false);
    ASSERT_TRUE(want.ok) << want.problem;
    EXPECT_EQ(f->Print(kSample, kX, kY, -1), want.advance);
    EXPECT_EQ(f->StringWidth(kSample, nullptr, -1), want.advance);
    int drawn = 0;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            const bool visible = want.At(x, y) >= 17;
            drawn += visible;
            ASSERT_EQ(Px(*d, x, y), visible ? 0xFFFF : 0) << x << "," << y;
        }
    EXPECT_GT(drawn, 500);
}

TEST_F(FontFreeType, AntiAliasedRendererBlendsFreeTypeCoverage)
{
    const std::string path = BuildDejaVu(m_dir.path, "grey.fnt", "--strip grey");
    ASSERT_FALSE(path.empty());
    auto f = std::make_unique<PUnicodeFont>();
    f->mode = PFont::kModeAntiAliased;
    ASSERT_TRUE(f->Load(path.c_str()));
    auto d = Canvas(kW, kH);
    f->target = d.get();
    f->args.color = 0xFFFFFF;
    const Layout want = m_ref.Lay(kSample, kX, kY, false);
    ASSERT_TRUE(want.ok) << want.problem;
    EXPECT_EQ(f->Print(kSample, kX, kY, -1), want.advance);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            const int a = (want.At(x, y) + 1) >> 3;
            const uint16_t px = uint16_t(((31 * a / 32) << 11) | ((63 * a / 32) << 5) | (31 * a / 32));
            ASSERT_EQ(Px(*d, x, y), px) << x << "," << y;
        }
}

TEST_F(FontFreeType, SolidRendererDrawsMonochromeBitmaps)
{
    const std::string path = BuildDejaVu(m_dir.path, "mono.fnt", "--strip grey --mono");
    ASSERT_FALSE(path.empty());
    auto f = std::make_unique<PUnicodeFont>();
    f->mode = PFont::kModeSolid;
    ASSERT_TRUE(f->Load(path.c_str()));
    auto d = Canvas(kW, kH);
    f->target = d.get();
    f->args.color = 0xFF00FF00;
    const Layout want = m_ref.Lay(kSample, kX, kY, true);
    ASSERT_TRUE(want.ok) << want.problem;
    EXPECT_EQ(f->Print(kSample, kX, kY, -1), want.advance);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            ASSERT_EQ(Px(*d, x, y), want.At(x, y) ? 0x07E0 : 0) << x << "," << y;
}

TEST_F(FontFreeType, DemoFontsLoadWithTheirSizes)
{
    const std::string cmd = std::string("'") + KRV_FNTBUILD + "' demo '" + m_dir.path.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    struct {
        const char* name;
        int height;
    } fonts[] = {{"font12x16", 16}, {"font16x20", 20}, {"font20x28", 28},
                 {"prop", 18},      {"font12x16_", 16}, {"font6x8", 8}};
    for (auto const& d : fonts) {
        const std::string path = (m_dir.path / (std::string(d.name) + ".fnt")).string();
        std::unique_ptr<PUnicodeFont> f(PUnicodeFont::Create(path.c_str()));
        ASSERT_TRUE(f) << d.name;
        EXPECT_EQ(f->height, d.height) << d.name;
        EXPECT_EQ(f->glyphCount, 95u + 96u) << d.name; // ASCII and Latin-1
        ASSERT_TRUE(f->FindChar(0xE9)) << d.name;
        EXPECT_GT(f->FindChar('W')->width, 0) << d.name;
        EXPECT_EQ(f->args.strip->format, PSURFACE_RGB565) << d.name;
        EXPECT_TRUE(f->args.strip->alpha) << d.name;
    }
}
