// Bitmap fonts: the glyph table, measuring and printing, the three software
// glyph renderers, fallback fonts and the checks of the .fnt loader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>

#include "engine/graphics/pblit.h"
#include "tests/engine/graphics/font_fixture.h"

using namespace fonttest;

namespace {

using Drawable = std::unique_ptr<PDrawableSurface>;
constexpr uint16_t kBack = 0x1234;

Drawable Canvas(int w, int h, uint16_t fill = kBack)
{
    Drawable d(PDrawableSurface::Create(w, h));
    PFillRect16(reinterpret_cast<unsigned short*>(d->pixels), fill, w, h, d->pitch);
    return d;
}

// Columns of row y that differ from the background, as a string of '#'/'.'.
std::string Row(const PSurface& s, int y, uint16_t back = kBack)
{
    std::string r;
    for (int x = 0; x < s.width; x++)
        r += Px(s, x, y) == back ? '.' : '#';
    return r;
}

// 'A' 5 wide, 'B' 6 wide, spacing 1, height 8, line gap 2.
FontDesc AB()
{
    FontDesc s;
    s.glyphs = {{'A', 0, 5, 0}, {'B', 0, 6, 0}};
    s.spacing = 1;
    s.lineGap = 2;
    s.width = 4;
    return s;
}

// An 8-bit font that records what the base class hands to its 8-bit Print.
class RecordingFont : public PFont {
public:
    mutable std::string text;
    mutable int count = -2;
    int Print(const char* s, int, int, int n) const override
    {
        text = s;
        count = n;
        return 0;
    }
    using PFont::Print;
};

} // namespace

TEST(FontTable, RanksAndRecordIndices)
{
    auto f = Load(MakeFont({.glyphs = Range(32, 126, 3)}));
    ASSERT_TRUE(f);
    EXPECT_EQ(std::make_tuple(f->glyphCount, f->ranks[0], f->ranks[1], f->ranks[2]),
              std::make_tuple(95u, 0u, 32u, 64u));
    ASSERT_TRUE(f->FindChar(100));
    EXPECT_EQ(f->GlyphIndex(f->FindChar(100)), 68u);
    EXPECT_EQ(f->FindChar(31), nullptr);
    EXPECT_EQ(f->FindChar(127), nullptr);
    EXPECT_EQ(f->FindChar(-1), nullptr);

    // A sparse table: codes with a clear bit have no glyph.
    auto g = Load(MakeFont({.glyphs = {{65, 0, 2, 0}, {70, 0, 3, 0}, {300, 0, 4, 0}}}));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->FindChar(66), nullptr);
    ASSERT_TRUE(g->FindChar(300));
    EXPECT_EQ(g->FindChar(300)->width, 4);
    EXPECT_EQ(g->GlyphIndex(g->FindChar(70)), 1u);
}

TEST(FontMeasure, AdvancesSpacingAndHeight)
{
    auto f = Load(MakeFont(AB()));
    ASSERT_TRUE(f);
    int h = 0;
    EXPECT_EQ(f->StringWidth("AB", &h, -1), 12);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(f->StringWidth(L"AB", nullptr, -1), 12);
    EXPECT_EQ(f->StringWidth("ABAB", nullptr, 2), 12);
    EXPECT_EQ(f->StringWidth("A", nullptr, 10), 5); // the terminator ends the count
    EXPECT_EQ(f->Print("AB", 0, 0, -1), 13);        // spacing after the last one too
    EXPECT_EQ(f->Print(L"AB", 0, 0, -1), 13);
    // A missing character advances by spacing + width without a fallback.
    EXPECT_EQ(f->StringWidth("AZ", nullptr, -1), 5 + 4 + 1);
    EXPECT_EQ(f->Print("AZ", 0, 0, -1), 6 + 5);
}

// The drawn width reaches the last column printing colours, past the
// measured width where a glyph's pixels stand out past its advance (as the
// outlined fonts' do), and is the measured width where they do not.
TEST(FontMeasure, DrawnWidthReachesTheLastPrintedColumn)
{
    FontDesc s;
    s.height = 1;
    s.glyphs = {{' ', 2, 1, 2}, {'A', 2, 5, -3}, {'B', 0, 3, 0}, {'C', 1, 2, -4}};
    s.coverage = [](uint32_t code, int, int) { return uint8_t(code == ' ' ? 0 : 255); };
    s.spacing = 1;
    s.width = 4;
    auto f = Load(MakeFont(s));
    ASSERT_TRUE(f);
    for (const char* text : {"A", "AB", "BA", "A ", "AC", "CB", "AZ", "ZA", "B", " ", ""}) {
        SCOPED_TRACE(text);
        auto d = Canvas(40, 1);
        f->target = d.get();
        f->Print(text, 0, 0, -1);
        const std::string row = Row(*d, 0);
        const int reach = int(row.find_last_of('#') + 1); // 0 when nothing is drawn
        const int measured = f->StringWidth(text, nullptr, -1);
        EXPECT_EQ(f->DrawnWidth(text, -1), std::max(reach, measured));
        const std::wstring wide(text, text + std::strlen(text));
        EXPECT_EQ(f->DrawnWidth(wide.c_str(), -1), f->DrawnWidth(text, -1));
    }
    EXPECT_EQ(f->DrawnWidth("A", -1), 2 + 5);
    EXPECT_EQ(f->DrawnWidth("ABA", 1), 2 + 5); // n characters only
    EXPECT_EQ(f->DrawnWidth(static_cast<const char*>(nullptr), -1), 0);
}

TEST(FontMeasure, Utf8CountsCharacters)
{
    FontDesc s;
    s.glyphs = {{'a', 0, 2, 0}, {0xE9, 0, 3, 0}, {0x20AC, 0, 4, 0}};
    s.width = 7;
    auto f = Load(MakeFont(s));
    ASSERT_TRUE(f);
    const char* text = "a\xC3\xA9\xE2\x82\xAC"; // a, e-acute, euro sign
    f->utf8 = 1;
    EXPECT_EQ(f->StringWidth(text, nullptr, -1), 9);
    EXPECT_EQ(f->StringWidth(text, nullptr, 2), 5);
    // As bytes, the five bytes of the two sequences are missing characters.
    f->utf8 = 0;
    EXPECT_EQ(f->StringWidth(text, nullptr, -1), 2 + 5 * 7);
    // A sequence cut by the terminator is one character.
    f->utf8 = 1;
    EXPECT_EQ(f->StringWidth("a\xE2\x82", nullptr, -1), 2 + 7);
}

TEST(FontPrint, GlyphPlacementAndBearings)
{
    FontDesc s;
    s.height = 2;
    s.glyphs = {{'A', 0, 2, 0}, {'b', 2, 3, -1}}; // bearing byte of 'b' is 0xF2
    s.spacing = 1;
    auto f = Load(MakeFont(s));
    ASSERT_TRUE(f);
    auto d = Canvas(16, 2);
    f->target = d.get();
    EXPECT_EQ(f->Print("bA", 1, 0, -1), (2 + 3 + 1 - 1) + (2 + 1));
    // 'b' at 1 + 2, pen 3 + 3 + 1 - 1 = 6; 'A' at 6.
    EXPECT_EQ(Row(*d, 0), "...#####........");
    EXPECT_EQ(Row(*d, 1), Row(*d, 0));
    ASSERT_TRUE(f->FindChar('b'));
    EXPECT_EQ(f->FindChar('b')->bearing, 0xF2);
}

TEST(FontPrint, FallbackFontsAndCycles)
{
    FontDesc main = AB();
    main.height = 1;
    FontDesc other;
    other.height = 1;
    other.glyphs = {{'Z', 1, 2, 0}};
    other.width = 9;
    auto a = Load(MakeFont(main));
    auto b = Load(MakeFont(other));
    ASSERT_TRUE(a && b);
    auto d = Canvas(24, 1);
    a->target = b->target = d.get();
    a->fallback = b.get();
    // 'Z' comes from the fallback at the pen, the pen moving by the
    // fallback's step: its glyph and its own spacing (none) after it.
    EXPECT_EQ(a->StringWidth("AZB", nullptr, -1), 5 + 1 + 3 + 0 + 6);
    EXPECT_EQ(a->Print("AZB", 0, 0, -1), 6 + 3 + 7);
    EXPECT_EQ(Row(*d, 0), "#####..########.........");
    // Fonts that fall back on each other end with the fixed advance.
    b->fallback = a.get();
    EXPECT_EQ(a->StringWidth("Q", nullptr, -1), 4);
    EXPECT_EQ(a->Print("Q", 0, 0, -1), 1 + 4);
    a->fallback = a.get();
    EXPECT_EQ(a->Print("Q", 0, 0, -1), 1 + 4);
}

// A font with a replacement glyph shows it, at its width, for every character
// it lacks; the line-break and control characters keep the fixed advance.
TEST(FontPrint, MissingCharactersShowTheReplacementGlyph)
{
    FontDesc s = AB();
    s.height = 1;
    s.glyphs.push_back({0xFFFD, 1, 3, 1}); // drawn as '#.#'
    s.coverage = [](uint32_t code, int x, int) -> uint8_t { return code == 0xFFFD && x == 1 ? 0 : 255; };
    auto f = Load(MakeFont(s));
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->FindChar(0xFFFD));
    auto d = Canvas(32, 1);
    f->target = d.get();
    // A euro sign, a replacement character itself and a value that is no
    // character: each 1 + 3 + 1 wide.
    const wchar_t text[] = {'A', 0x20AC, 0xFFFD, wchar_t(-5), 'B', 0};
    EXPECT_EQ(f->StringWidth(text, nullptr, -1), 5 + 3 * 5 + 6 + 4);
    EXPECT_EQ(f->Print(text, 0, 0, -1), 5 + 3 * 5 + 6 + 5);
    EXPECT_EQ(f->DrawnWidth(text, -1), 5 + 3 * 5 + 6 + 4);
    EXPECT_EQ(Row(*d, 0), "#####..#.#...#.#...#.#..######..");
    EXPECT_EQ(f->ShownGlyph(0x20AC), f->FindChar(0xFFFD));
    EXPECT_EQ(f->ShownGlyph('A'), f->FindChar('A'));

    // Bad bytes of a UTF-8 text are the same stand-ins, one a byte.
    f->utf8 = 1;
    EXPECT_EQ(f->StringWidth("\xff\xfe\xe2\x82\xac", nullptr, -1), 3 * 5 + 2);
    // Line breaks and control characters draw nothing and advance by width.
    for (const wchar_t* t : {L"A\nA", L"A\u00a7A", L"A\u0085A"}) {
        auto c = Canvas(16, 1);
        f->target = c.get();
        EXPECT_EQ(f->StringWidth(t, nullptr, -1), 5 + 4 + 5 + 2);
        EXPECT_EQ(f->Print(t, 0, 0, -1), 5 + 4 + 5 + 3);
        EXPECT_EQ(Row(*c, 0), "#####......#####");
    }
}

TEST(FontPrint, WideTextThroughTheBaseIsCutAtWholeCharacters)
{
    RecordingFont f;
    std::wstring w(200, L'x');
    f.Print(w.c_str(), 0, 0, -1);
    EXPECT_EQ(f.text.size(), 128u);
    EXPECT_EQ(f.count, 128);
    f.Print(w.c_str(), 0, 0, 3);
    EXPECT_EQ(f.text, "xxx");

    f.utf8 = 1;
    std::wstring e = L"a" + std::wstring(100, wchar_t(0xE9));
    f.Print(e.c_str(), 0, 0, -1);
    EXPECT_EQ(f.text.size(), 127u); // one more e-acute would need 129 bytes
    EXPECT_EQ(f.count, 64);
    std::wstring euro(60, wchar_t(0x20AC));
    f.Print(euro.c_str(), 0, 0, -1);
    EXPECT_EQ(f.text.size(), 126u);
    EXPECT_EQ(f.count, 42);
    // Without utf8 each character is cut to its low byte.
    f.utf8 = 0;
    const wchar_t big[] = {0x141, 0x41, 0};
    f.Print(big, 0, 0, -1);
    EXPECT_EQ(f.text, "\x41\x41");
}

TEST(FontRender, BlitDrawsCoveredPixelsOfTheColour)
{
    FontDesc s;
    s.height = 2;
    s.glyphs = {{'A', 0, 4, 0}};
    s.rgb = 0x00FF00;
    // Coverage 255, 16 (vanishes at 4-bit alpha), 17, 0.
    s.coverage = [](uint32_t, int x, int) -> uint8_t { return x == 0 ? 255 : x == 1 ? 16 : x == 2 ? 17 : 0; };
    auto f = Load(MakeFont(s));
    ASSERT_TRUE(f);
    ASSERT_EQ(f->args.strip->format, PSURFACE_RGB565);
    ASSERT_TRUE(f->args.strip->alpha); // kept for the GL fonts
    auto d = Canvas(6, 2);
    f->target = d.get();
    f->Print("A", 1, 0, -1);
    EXPECT_EQ(Px(*d, 1, 0), 0x07E0);
    EXPECT_EQ(Px(*d, 2, 0), kBack);
    EXPECT_EQ(Px(*d, 3, 1), 0x07E0);
    EXPECT_EQ(Px(*d, 4, 1), kBack);
    // Without the transparency flag the key colour is drawn as well.
    f->args.blitFlags = 0;
    f->Print("A", 1, 0, -1);
    EXPECT_EQ(Px(*d, 2, 0), PRGB2Native(0xFF00FF));
}

TEST(FontRender, SolidColourByTopByte)
{
    FontDesc s;
    s.height = 1;
    s.glyphs = {{'A', 0, 3, 0}};
    s.kind = FntStripKind::Grey;
    s.coverage = [](uint32_t, int x, int) -> uint8_t { return x == 1 ? 0 : 1; };
    auto f = Load(MakeFont(s), PFont::kModeSolid);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->args.strip->format, PSURFACE_INDEX8);
    EXPECT_EQ(f->args.strip->palette, nullptr); // raw coverage, no palette
    auto d = Canvas(3, 1, 0);
    f->target = d.get();
    for (uint32_t top : {0xFFu, 0x00u}) {
        f->args.color = (top << 24) | 0xFF0000;
        f->Print("A", 0, 0, -1);
        EXPECT_EQ(Px(*d, 0, 0), 0xF800) << top;
        EXPECT_EQ(Px(*d, 1, 0), 0) << top;
        EXPECT_EQ(Px(*d, 2, 0), 0xF800) << top;
    }
    // 0x80: a = 16, half of the colour over white.
    PFillRect16(reinterpret_cast<unsigned short*>(d->pixels), 0xFFFF, 3, 1, d->pitch);
    f->args.color = 0x80000000u;
    f->Print("A", 0, 0, -1);
    const uint16_t v = Px(*d, 0, 0);
    EXPECT_NEAR(v >> 11, 15.5, 1);
    EXPECT_NEAR((v >> 5) & 63, 31.5, 1);
    EXPECT_NEAR(v & 31, 15.5, 1);
    EXPECT_EQ(Px(*d, 1, 0), 0xFFFF);

    // An RGB565 strip: pixels of the key colour are clear.
    FontDesc k = s;
    k.kind = FntStripKind::Bgra;
    k.coverage = [](uint32_t, int x, int) -> uint8_t { return x == 1 ? 0 : 255; };
    auto g = Load(MakeFont(k), PFont::kModeSolid);
    ASSERT_TRUE(g);
    ASSERT_EQ(g->args.strip->format, PSURFACE_RGB565);
    auto e = Canvas(3, 1, 0);
    g->target = e.get();
    g->args.color = 0xFF0000FF;
    g->Print("A", 0, 0, -1);
    EXPECT_EQ(Row(*e, 0, 0), "#.#");
}

TEST(FontRender, AntiAliasedCoverage)
{
    FontDesc s;
    s.height = 1;
    s.kind = FntStripKind::Grey;
    const uint8_t cov[] = {0, 6, 7, 100, 200, 254, 255};
    s.glyphs = {{'A', 0, 7, 0}};
    s.coverage = [&](uint32_t, int x, int) { return cov[x]; };
    auto f = Load(MakeFont(s), PFont::kModeAntiAliased);
    ASSERT_TRUE(f);
    auto d = Canvas(7, 1, 0);
    f->target = d.get();
    f->args.color = 0xFFFFFF;
    f->Print("A", 0, 0, -1);
    for (int x = 0; x < 7; x++) {
        const int a = (cov[x] + 1) >> 3;
        const uint16_t want = uint16_t(((31 * a / 32) << 11) | ((63 * a / 32) << 5) | (31 * a / 32));
        EXPECT_EQ(Px(*d, x, 0), want) << x;
    }
    // Full coverage gives the colour whatever lies below; none leaves it.
    auto e = Canvas(7, 1, 0xA5A5);
    f->target = e.get();
    f->args.color = 0x00FF00;
    f->Print("A", 0, 0, -1);
    EXPECT_EQ(Px(*e, 6, 0), 0x07E0);
    EXPECT_EQ(Px(*e, 0, 0), 0xA5A5);

    // An RGB565 strip holds the coverage in its blue field: a = v + 1.
    FntFont r = MakeFontRecord(s);
    r.strip = NrvImage();
    r.strip.format = 6;
    r.strip.width = 7;
    r.strip.height = 1;
    const uint16_t blue[] = {0, 1, 7, 15, 30, 31, 0xFFE0};
    for (uint16_t b : blue) {
        r.strip.pixels.push_back(uint8_t(b));
        r.strip.pixels.push_back(uint8_t(b >> 8));
    }
    r.stripFlags = 0;
    auto g = Load(Encode(r), PFont::kModeAntiAliased);
    ASSERT_TRUE(g);
    auto c = Canvas(7, 1, 0);
    g->target = c.get();
    g->args.color = 0x0000FF;
    g->Print("A", 0, 0, -1);
    for (int x = 0; x < 7; x++) {
        const int v = blue[x] & 31;
        EXPECT_EQ(Px(*c, x, 0), v ? 31 * (v + 1) / 32 : 0) << x;
    }
}

TEST(FontRender, EveryRendererStaysInTheClipRectangle)
{
    FontDesc s;
    s.height = 6;
    s.glyphs = {{'A', 0, 6, 0}};
    for (int mode : {0, 1, 2}) {
        s.kind = mode == 2 ? FntStripKind::Bgra : FntStripKind::Grey;
        auto f = Load(MakeFont(s), mode);
        ASSERT_TRUE(f);
        auto d = Canvas(10, 10);
        d->SetClipRect(2, 3, 7, 8);
        f->target = d.get();
        f->args.color = 0xFF00FF00;
        for (int y : {-3, 0, 5})
            for (int x : {-4, 0, 4, 9})
                f->Print("A", x, y, -1);
        f->Print("A", -100000, 100000, -1);
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 10; x++) {
                const bool inside = x >= 2 && x < 7 && y >= 3 && y < 8;
                EXPECT_EQ(Px(*d, x, y) != kBack, inside) << mode << " " << x << "," << y;
            }
    }
}

TEST(FontLoad, RefusesDamagedFiles)
{
    FontDesc s;
    s.glyphs = {{'A', 0, 3, 0}, {'B', 0, 3, 0}, {'C', 0, 3, 0}};
    s.height = 4;
    const std::vector<uint8_t> good = MakeFont(s);
    ASSERT_TRUE(Load(good));
    const size_t n = 3, codes = 18, recs = 18 + 2 * n, strip = 18 + 6 * n;
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        for (size_t i = 0; i < bytes.size(); i++)
            b[at + i] = bytes[i];
        return b;
    };
    auto cut = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + long(size)); };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"magic", patched(3, {'X'})},
        {"header size below 12", patched(4, {11, 0})},
        {"last code below first", patched(12, {'D', 0, 'C', 0})},
        {"codes out of order", patched(codes, {'B', 0, 'A', 0})},
        {"repeated code", patched(codes + 2, {'A', 0})},
        {"code outside the range", patched(12, {'B', 0, 'D', 0})},
        {"more glyphs than codes", patched(12, {'A', 0, 'B', 0})},
        {"glyph beyond the strip", patched(recs + 8, {7, 0})},
        {"glyph wider than the strip", patched(recs + 3, {200})},
        {"font higher than the strip", patched(9, {5})},
        {"empty", {}},
        {"short magic", cut(3)},
        {"short header", cut(12)},
        {"short codes", cut(codes + 3)},
        {"short records", cut(recs + 5)},
        {"short strip header", cut(strip + 6)},
        {"short strip", cut(good.size() - 1)},
    };
    for (Case const& c : cases) {
        EXPECT_FALSE(Load(c.bytes)) << c.what;
        PMemStream m(const_cast<uint8_t*>(c.bytes.data()), long(c.bytes.size()));
        EXPECT_EQ(PUnicodeFont::Create(m), nullptr) << c.what;
    }
    // A failed load leaves no glyphs behind; the font still measures.
    auto f = Load(good);
    ASSERT_TRUE(f);
    std::vector<uint8_t> bad = cases[4].bytes;
    PMemStream m(bad.data(), long(bad.size()));
    EXPECT_FALSE(f->Load(m));
    EXPECT_EQ(f->FindChar('A'), nullptr);
    EXPECT_EQ(f->StringWidth("AB", nullptr, -1), 2 * 4);
    f->Unload();
    EXPECT_EQ(f->args.strip, nullptr);
    EXPECT_EQ(f->Print("AB", 0, 0, -1), 8);
}

TEST(FontLoad, FilesPlainAndCompressed)
{
    const auto dir = std::filesystem::temp_directory_path() / ("krv_font_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    FntFont f = MakeFontRecord(AB());
    std::string err;
    for (bool plzp : {false, true}) {
        const std::string path = (dir / (plzp ? "packed.fnt" : "plain.fnt")).string();
        ASSERT_TRUE(FntWriteFile(path, f, plzp, &err)) << err;
        std::unique_ptr<PUnicodeFont> font(PUnicodeFont::Create(path.c_str()));
        ASSERT_TRUE(font) << path;
        EXPECT_EQ(font->StringWidth("AB", nullptr, -1), 12);
    }
    EXPECT_EQ(PUnicodeFont::Create((dir / "missing.fnt").string().c_str()), nullptr);
    std::filesystem::remove_all(dir);
}
