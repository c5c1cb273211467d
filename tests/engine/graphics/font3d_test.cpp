// Fonts drawn through GL, on a recording back end: how the strip is planned
// and packed into textures, texel formats and their sizes, batching of quads
// into draw calls, texture switches, fallback fonts and refusals.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "engine/graphics/punicodefont3d.h"
#include "p3d_fixtures.h"
#include "tests/engine/graphics/font_fixture.h"

using namespace fonttest;
using p3dtest::Recorded;
using testgl::Call;

namespace {

// A GL font on a recording context (640 x 480); null when the load fails.
std::unique_ptr<PUnicodeFont3D> Load3D(Recorded& r, const std::vector<uint8_t>& bytes, int mode = 2)
{
    auto f = std::make_unique<PUnicodeFont3D>();
    f->SetDrawingTarget(r.ctx, 640, 480, 0);
    f->mode = mode;
    std::vector<uint8_t> b = bytes;
    PMemStream s(b.data(), long(b.size()));
    if (!f->Load(s))
        return nullptr;
    return f;
}

// n glyphs of the given width from code 0x100 on.
FontDesc Wide(int n, int width, int height)
{
    FontDesc s;
    s.height = height;
    for (int i = 0; i < n; i++)
        s.glyphs.push_back({uint32_t(0x100 + i), 0, width, 0});
    return s;
}

std::wstring Codes(std::initializer_list<int> glyphs)
{
    std::wstring w;
    for (int g : glyphs)
        w += wchar_t(0x100 + g);
    return w;
}

} // namespace

TEST(Font3DTextures, StripPlannedAsRowsOf256)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    // 64 glyphs of 16 x 16: a strip of 1024 x 16 becomes 4 rows of 256 and
    // one texture of 256 x 64 texels, 128 x 128.
    auto f = Load3D(r, MakeFont(Wide(64, 16, 16)));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->textureCount, 1u);
    EXPECT_EQ(f->textureInfo[0].width, 128);
    EXPECT_EQ(f->textureInfo[0].height, 128);
    EXPECT_EQ(f->textureInfo[0].lastGlyph, 63);
    EXPECT_EQ(r.rec->Count("glTexImage2D(3553, 0, 6408, 128, 128, 0, 6408, 32819,"), 1u) << r.rec->Joined();
    EXPECT_EQ(f->args.strip, nullptr); // not kept after the upload
    // Eight glyphs a row, each in a column of its own.
    EXPECT_EQ(std::make_tuple(f->glyphs[9].x, f->glyphRows[9], f->glyphRows[63]), std::make_tuple(16, 16, 112));
}

TEST(Font3DTextures, LastTextureShrinksToItsRows)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    // Width 9 takes columns of 12: ten glyphs a row of 128, eight rows, 80
    // glyphs a texture; the 20 left use two rows of the second.
    auto f = Load3D(r, MakeFont(Wide(100, 9, 16)));
    ASSERT_TRUE(f);
    ASSERT_EQ(f->textureCount, 2u);
    EXPECT_EQ(f->textureInfo[0].lastGlyph, 79);
    EXPECT_EQ(f->textureInfo[1].firstGlyph, 80);
    EXPECT_EQ(f->textureInfo[1].height, 32);
    EXPECT_EQ(f->glyphs[12].x, 24);
    EXPECT_EQ(f->glyphs[85].x, 60);
}

TEST(Font3DTextures, TexelFormatsAndPalettedSizes)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    // Colour and alpha: RGBA 4-4-4-4; the colour renderers' load of the same
    // strip (no alpha plane): 5-5-5-1; coverage bytes: luminance and alpha.
    FontDesc s = Wide(4, 4, 8);
    ASSERT_TRUE(Load3D(r, MakeFont(s), 2));
    EXPECT_EQ(r.rec->Count("glTexImage2D(3553, 0, 6408, 8, 16, 0, 6408, 32819,"), 1u) << r.rec->Joined();
    ASSERT_TRUE(Load3D(r, MakeFont(s), 5));
    EXPECT_EQ(r.rec->Count("glTexImage2D(3553, 0, 6408, 8, 16, 0, 6408, 32820,"), 1u);
    s.kind = FntStripKind::Grey;
    auto grey = Load3D(r, MakeFont(s), 5);
    ASSERT_TRUE(grey);
    EXPECT_EQ(r.rec->Count("glTexImage2D(3553, 0, 6410, 8, 16, 0, 6410, 5121,"), 1u);

    // A strip with a real palette of 32 entries: 8-bit indices once an index
    // is above 15, else 4-bit; data sized for the palette format.
    FntFont pal = MakeFontRecord(s);
    pal.stripFlags = kNrvFlag3Byte; // no alphas: RGB5_A1 entries of 2 bytes
    pal.strip.palette.assign(32, 0xFF808080u);
    for (uint8_t& p : pal.strip.pixels)
        p = p ? 20 : 0;
    r.rec->Clear();
    ASSERT_TRUE(Load3D(r, Encode(pal), 2));
    EXPECT_EQ(r.rec->Count("glCompressedTexImage2D(3553, 0, 35737, 8, 16, 0, 640,"), 1u) << r.rec->Joined();
    for (uint8_t& p : pal.strip.pixels)
        p = p ? 7 : 0;
    r.rec->Clear();
    ASSERT_TRUE(Load3D(r, Encode(pal), 2));
    EXPECT_EQ(r.rec->Count("glCompressedTexImage2D(3553, 0, 35732, 8, 16, 0, 96,"), 1u) << r.rec->Joined();
    pal.stripFlags = 0; // 4-byte entries: alphas, RGBA8 entries
    r.rec->Clear();
    ASSERT_TRUE(Load3D(r, Encode(pal), 2));
    EXPECT_EQ(r.rec->Count("glCompressedTexImage2D(3553, 0, 35729, 8, 16, 0, 128,"), 1u) << r.rec->Joined();
}

TEST(Font3DTextures, RefusesGlyphsLargerThanATextureAndA33rdTexture)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    // One glyph of 200 x 8: the plan gives 32 x 64 textures.
    FontDesc big;
    big.height = 8;
    big.glyphs = {{'A', 0, 200, 0}, {'B', 0, 3, 0}};
    EXPECT_FALSE(Load3D(r, MakeFont(big)));
    // 8448 glyphs 1 wide and 64 high: planned into 32 textures of 256 x 256,
    // packed four to a column of 4 they need 33.
    FontDesc many = Wide(8448, 1, 64);
    many.coverage = [](uint32_t, int, int) -> uint8_t { return 0; };
    const size_t deleted = r.rec->deleted.size();
    EXPECT_FALSE(Load3D(r, MakeFont(many)));
    // Every texture made before the refusal is deleted again.
    EXPECT_EQ(r.rec->deleted.size() - deleted, 32u);
    // One glyph fewer than 8193 per 32 fits.
    FontDesc fits = Wide(8192, 1, 64);
    fits.coverage = many.coverage;
    auto f = Load3D(r, MakeFont(fits));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->textureCount, 32u);
}

TEST(Font3DPrint, SixtyGlyphsInTwoDrawCalls)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    auto f = Load3D(r, MakeFont(Wide(64, 6, 8)));
    ASSERT_TRUE(f);
    std::wstring text;
    for (int i = 0; i < 60; i++)
        text += wchar_t(0x100 + i % 64);
    r.rec->Clear();
    EXPECT_EQ(f->Print(text.c_str(), 0, 0, -1), 360);
    const auto draws = r.rec->Only("glDrawElements");
    ASSERT_EQ(draws.size(), 2u) << r.rec->Joined();
    EXPECT_EQ(draws[0].rfind("glDrawElements(4, 192, 5121,", 0), 0u);
    EXPECT_EQ(draws[1].rfind("glDrawElements(4, 168, 5121,", 0), 0u);
    EXPECT_EQ(r.rec->Count("glBindTexture"), 1u);
}

TEST(Font3DPrint, SwitchingTexturesFlushesAndRebinds)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    auto f = Load3D(r, MakeFont(Wide(100, 9, 16)));
    ASSERT_TRUE(f);
    ASSERT_EQ(f->textureCount, 2u);
    r.rec->Clear();
    const std::wstring text = Codes({0, 90, 1, 91, 92, 2});
    f->Print(text.c_str(), 0, 0, -1);
    EXPECT_EQ(r.rec->Count("glDrawElements"), 5u) << r.rec->Joined();
    EXPECT_EQ(r.rec->Count("glBindTexture"), 5u); // the set-up's, then one a change
}

TEST(Font3DPrint, FallbackFontsAndUnreadyFonts)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    FontDesc a = Wide(2, 5, 8);
    a.spacing = 1;
    FontDesc b;
    b.height = 8;
    b.glyphs = {{'Z', 2, 3, 0}};
    auto fa = Load3D(r, MakeFont(a));
    auto fb = Load3D(r, MakeFont(b));
    ASSERT_TRUE(fa && fb);
    fa->fallback = fb.get();
    r.rec->Clear();
    const std::wstring text = Codes({0}) + L"Z" + Codes({1});
    EXPECT_EQ(fa->Print(text.c_str(), 10, 0, -1), 6 + 5 + 6);
    EXPECT_EQ(r.rec->Count("glDrawElements"), 3u) << r.rec->Joined();
    EXPECT_EQ(fa->StringWidth(text.c_str(), nullptr, -1), 5 + 1 + 5 + 0 + 5); // no spacing after 'Z'

    // Without a screen size nothing is drawn; without textures neither.
    fa->SetDrawingTarget(r.ctx, 0, 0, 0);
    r.rec->Clear();
    EXPECT_EQ(fa->Print(text.c_str(), 0, 0, -1), 0);
    EXPECT_EQ(r.rec->Count("glDrawElements"), 0u);
    fb->Unload();
    EXPECT_EQ(fb->Print(L"Z", 0, 0, -1), 0);
    EXPECT_EQ(fb->textureCount, 0u);
    // A font without a drawing target cannot load.
    PUnicodeFont3D none;
    std::vector<uint8_t> bytes = MakeFont(b);
    PMemStream s(bytes.data(), long(bytes.size()));
    EXPECT_FALSE(none.Load(s));
    EXPECT_EQ(none.Print("Z", 0, 0, -1), 0);
}

// The GL font draws the replacement glyph for a character it lacks, as wide
// as it measures; a line feed stays an empty advance.
TEST(Font3DPrint, MissingCharactersDrawTheReplacementGlyph)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    FontDesc s = Wide(2, 5, 8);
    s.glyphs.push_back({0xFFFD, 1, 7, 0});
    s.width = 3;
    auto f = Load3D(r, MakeFont(s));
    ASSERT_TRUE(f);
    r.rec->Clear();
    const std::wstring text = Codes({0}) + L"\u20ac\n" + Codes({1});
    EXPECT_EQ(f->Print(text.c_str(), 0, 0, -1), 5 + 8 + 3 + 5);
    EXPECT_EQ(f->StringWidth(text.c_str(), nullptr, -1), 5 + 8 + 3 + 5);
    const auto draws = r.rec->Only("glDrawElements");
    ASSERT_EQ(draws.size(), 1u) << r.rec->Joined();
    EXPECT_EQ(draws[0].rfind("glDrawElements(4, 18, 5121,", 0), 0u); // three quads
}

TEST(Font3DPrint, BackgroundBoxes)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    auto f = Load3D(r, MakeFont(Wide(2, 5, 8)));
    ASSERT_TRUE(f);
    PFont::AttributeString run{"x", 1, 0x11, 0, 0x80FF0000, 0};
    r.rec->Clear();
    EXPECT_EQ(f->PrintShape(10, 10, 20, 8, run), 20);
    EXPECT_EQ(r.rec->Count(Call("glDrawArrays", 6, 0, 4)), 3u) << r.rec->Joined();
    EXPECT_EQ(r.rec->Count(Call("glBlendFunc", 0x302, 0x303)), 1u);
    run.attributes = 0x01;
    run.backColor = 0xFF00FF00;
    r.rec->Clear();
    EXPECT_EQ(f->PrintShape(10, 10, 20, 8, run), 20);
    EXPECT_EQ(r.rec->Count(Call("glDrawArrays", 6, 0, 4)), 1u);
    EXPECT_EQ(r.rec->Count(Call("glBlendFunc", 0x302, 0x303)), 0u) << r.rec->Joined();
    EXPECT_EQ(r.rec->Count(Call("glDisable", 0x0BE2)), 1u); // no blending
    run.attributes = 0x10;
    EXPECT_EQ(f->PrintShape(10, 10, 20, 8, run), 0);
}
