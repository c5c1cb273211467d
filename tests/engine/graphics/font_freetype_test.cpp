// Fonts built by fntbuild from DejaVu Sans print exactly what FreeType
// renders, at FreeType's advances: the tool and the engine's loader and
// renderers against FreeType's own bitmaps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

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

// Each software renderer with the strip built for it, against the colour
// FreeType's coverage c of a pixel must give on black.
TEST_F(FontFreeType, RenderersShowFreeTypeBitmaps)
{
    auto white565 = [](int a) { // white blended by a / 32 over black
        return uint16_t(((31 * a / 32) << 11) | ((63 * a / 32) << 5) | (31 * a / 32));
    };
    struct {
        const char* options;
        int mode;
        uint32_t color;
        bool mono;
        std::function<uint16_t(int c)> want;
    } cases[] = {
        {"--strip bgra", PFont::kModeBlit, 0, false, [](int c) { return uint16_t(c >= 17 ? 0xFFFF : 0); }},
        {"--strip grey", PFont::kModeAntiAliased, 0xFFFFFF, false,
         [&](int c) { return white565((c + 1) >> 3); }},
        {"--strip grey --mono", PFont::kModeSolid, 0xFF00FF00, true,
         [](int c) { return uint16_t(c ? 0x07E0 : 0); }},
    };
    for (auto const& k : cases) {
        SCOPED_TRACE(k.options);
        const std::string path = BuildDejaVu(m_dir.path, "font.fnt", k.options);
        auto f = std::make_unique<PUnicodeFont>();
        f->mode = k.mode;
        ASSERT_TRUE(f->Load(path.c_str()));
        auto d = Canvas(kW, kH);
        f->target = d.get();
        f->args.color = k.color;
        const Layout want = m_ref.Lay(kSample, kX, kY, k.mono);
        ASSERT_TRUE(want.ok) << want.problem;
        EXPECT_EQ(f->Print(kSample, kX, kY, -1), want.advance);
        EXPECT_EQ(f->StringWidth(kSample, nullptr, -1), want.advance);
        int drawn = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                drawn += want.At(x, y) >= 17;
                ASSERT_EQ(Px(*d, x, y), k.want(want.At(x, y))) << x << "," << y;
            }
        EXPECT_GT(drawn, 500);
    }
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
        EXPECT_EQ(f->glyphCount, 95u + 96u + 1u) << d.name; // ASCII, Latin-1 and the stand-in U+FFFD
        ASSERT_TRUE(f->FindChar(0xE9)) << d.name;
        EXPECT_GT(f->FindChar('W')->width, 0) << d.name;
        EXPECT_EQ(f->args.strip->format, PSURFACE_RGB565) << d.name;
        EXPECT_TRUE(f->args.strip->alpha) << d.name;
        // The monospaced ones, outlined or not, advance by their width.
        if (std::string(d.name).find("font") == 0 && std::string(d.name) != "font12x16_") {
            for (uint32_t c = 32; c < 127; c++)
                ASSERT_EQ(f->FindChar(c)->Advance(), f->width) << d.name << " " << c;
            ASSERT_EQ(f->FindChar(0xFFFD)->Advance(), f->width) << d.name; // also where it is made smaller
        }
    }
}

// An outline keeps the advances and the strokes (one pixel to the right, room
// for the outline's left column) and rings every stroke pixel's uncovered
// neighbours in the outline colour within the glyph's rows, as the strip
// blit draws it over a light backdrop; a coverage strip or a magenta outline
// is refused.
TEST_F(FontFreeType, OutlineRingsTheStrokesAndKeepsTheAdvances)
{
    constexpr uint16_t kSky = 0xCF1D, kWhite = 0xFFFF, kDark = 0x1082; // 565 of CEE0EF, FFFFFF, 101010
    auto print = [&](const char* options, int* advance) {
        const std::string path = BuildDejaVu(m_dir.path, "outline.fnt", options);
        auto f = std::make_unique<PUnicodeFont>();
        f->mode = PFont::kModeBlit;
        auto d = Canvas(kW, kH);
        if (path.empty() || !f->Load(path.c_str()))
            return d;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
                reinterpret_cast<uint16_t*>(d->pixels + y * d->pitch)[x] = kSky;
        f->target = d.get();
        *advance = f->Print(kSample, kX, kY, -1);
        return d;
    };
    int plainAdvance = 0, outlinedAdvance = 0;
    auto plain = print("--strip bgra --mono", &plainAdvance);
    auto outlined = print("--strip bgra --mono --outline 101010", &outlinedAdvance);
    ASSERT_GT(plainAdvance, 100);
    EXPECT_EQ(outlinedAdvance, plainAdvance);
    auto stroke = [&](int x, int y) { return x >= 1 && x < kW && y >= 0 && y < kH && Px(*plain, x - 1, y) == kWhite; };
    int strokes = 0, ring = 0;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            bool near = false;
            for (int d = 0; d < 9; d++)
                near = near || stroke(x + d % 3 - 1, y + d / 3 - 1);
            const bool inRows = y >= kY && y < kY + kHeight;
            const uint16_t want = stroke(x, y) ? kWhite : near && inRows ? kDark : kSky;
            strokes += want == kWhite;
            ring += want == kDark;
            ASSERT_EQ(Px(*outlined, x, y), want) << x << "," << y;
        }
    EXPECT_GT(strokes, 300);
    EXPECT_GT(ring, strokes);

    const std::string refused = (m_dir.path / "refused.fnt").string();
    EXPECT_TRUE(BuildDejaVu(m_dir.path, "refused.fnt", "--strip grey --outline 000000").empty());
    EXPECT_TRUE(BuildDejaVu(m_dir.path, "refused.fnt", "--outline FF00FF").empty());
    EXPECT_FALSE(std::filesystem::exists(refused));
}
