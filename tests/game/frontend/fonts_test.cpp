// The text service: finding and loading text files, text ids of the current
// file, word wrapping against Python's textwrap and hand-worked layouts,
// alignment and line breaks drawn on Mesa, and the string helpers.
#include <climits>
#include <random>
#include <sstream>

#include "engine/graphics/punicodefont3d.h"
#include "game/frontend/fonts.h"
#include "tests/engine/graphics/p3d_fixtures.h"
#include "tests/game/frontend/frontend_fixture.h"

using namespace fronttest;

namespace {

constexpr int kW = 640, kH = 96;

PDisplayProperties Props(int w, int h)
{
    PDisplayProperties p{};
    p.width = w;
    p.height = h;
    return p;
}

// The text service on a recording context, over a scratch directory with
// the six fonts.
class FontsTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir.WriteFonts();
        ASSERT_TRUE(rec.Create());
    }
    int Init()
    {
        PDisplayProperties p = Props(kW, kH);
        return fonts.Init(rec.ctx, &p);
    }
    void WriteLang(int n, const std::vector<LangLanguage>& langs)
    {
        dir.Write("data/lang" + std::to_string(n) + ".bin", Encode(langs));
    }

    ScratchDir dir;
    p3dtest::Recorded rec{kW, kH};
    Fonts fonts;
};

// The lines PrintLine lays out (without drawing), each without the break
// character it consumed.
std::vector<std::wstring> Layout(Fonts& f, int font, int width, const std::wstring& text)
{
    std::vector<std::wstring> lines;
    const wchar_t* p = text.c_str();
    while (p && *p) {
        const wchar_t* next = f.PrintLine(font, 0, 0, width, p, 0, false);
        std::wstring line = next ? std::wstring(p, next) : std::wstring(p);
        if (!line.empty() && ((next && line.back() == L' ') || line.back() == 10 || line.back() == 0xA7))
            line.pop_back();
        lines.push_back(line);
        p = next;
    }
    return lines;
}

} // namespace

TEST_F(FontsTest, TextFilesAreFoundUpToTheFirstGap)
{
    // 0, 1 and 3: the gap at 2 ends the list.
    for (int n : {0, 1, 3})
        WriteLang(n, {Language(U"English", {U"file " + std::u32string(1, U'0' + n)})});
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(fonts.GetFileCount(), 2);
    // Eleven files: only ten are looked for.
    for (int n = 0; n < 11; n++)
        WriteLang(n, {Language(U"English", {U"x"})});
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(fonts.GetFileCount(), Fonts::kMaxTextFiles);
}

TEST_F(FontsTest, LanguagesLoadFromEveryFileAndIdsReadTheCurrentFile)
{
    WriteLang(0, {Language(U"English", {U"YES", U"NO"}), Language(U"Deutsch", {U"JA", U"NEIN"})});
    WriteLang(1, {Language(U"English", {U"Mission"}), Language(U"Deutsch", {U"Einsatz"})});
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(fonts.GetLanguageCount(), 2);
    EXPECT_STREQ(fonts.GetLanguageName(1), L"Deutsch");

    ASSERT_EQ(fonts.LoadLanguage(1), 1);
    EXPECT_STREQ(fonts.GetStr(1), L"NEIN");
    // Ids outside the file, and files that are not there, read empty.
    EXPECT_STREQ(fonts.GetStr(2), L"");
    EXPECT_STREQ(fonts.GetStr(UINT_MAX), L"");
    fonts.SetFileSource(1);
    EXPECT_STREQ(fonts.GetStr(0), L"Einsatz");
    EXPECT_STREQ(fonts.GetStr(1), L"");
    fonts.SetFileSource(7);
    EXPECT_STREQ(fonts.GetStr(0), L"");
    fonts.SetFileSource(0);

    // A language index the files do not have loads the first language.
    ASSERT_EQ(fonts.LoadLanguage(5), 1);
    EXPECT_STREQ(fonts.GetStr(0), L"YES");

    // A file that lacks the language stops the load there.
    WriteLang(1, {Language(U"English", {U"Mission"})});
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(fonts.LoadLanguage(1), 0);
}

TEST_F(FontsTest, UnreadableTextFilesAndMissingFonts)
{
    // A text file that does not read stays in the list and fails the load.
    dir.Write("data/lang0.bin", {1, 2, 3});
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(fonts.LoadLanguage(0), 0);
    EXPECT_STREQ(fonts.GetStr(0), L"");
    // A missing font fails Init; the fonts made before it stay owned.
    std::filesystem::remove(dir.Full("data/fonts/prop.fnt"));
    EXPECT_EQ(Init(), 0);
    EXPECT_NE(fonts.GetFont(2), nullptr);
}

TEST_F(FontsTest, WrappingAgreesWithTextwrap)
{
    ASSERT_EQ(Init(), 1);
    // Single-spaced lower-case words no longer than the width (textwrap
    // would fill a line's end with part of a longer word).
    std::mt19937 rng(11);
    std::vector<std::pair<int, std::string>> cases;
    std::string input;
    for (int i = 0; i < 300; i++) {
        const int width = 3 + int(rng() % 24);
        std::string text;
        const int words = 1 + int(rng() % 30);
        for (int w = 0; w < words; w++) {
            text += w ? " " : "";
            const int len = 1 + int(rng() % unsigned(width));
            for (int c = 0; c < len; c++)
                text += char('a' + rng() % 26);
        }
        cases.emplace_back(width, text);
        input += std::to_string(width) + " " + text + "\n";
    }
    const std::string in = dir.Full("wrap.txt");
    std::ofstream(in) << input;
    const auto oracle = tooltest::RunCommand("python3 '" KRV_SOURCE_DIR "/tests/game/frontend/wrap_oracle.py' < '" + in + "'");
    ASSERT_EQ(oracle.code, 0);
    std::istringstream want(oracle.out);
    for (const auto& [width, text] : cases) {
        std::string expected;
        ASSERT_TRUE(std::getline(want, expected));
        std::string got;
        const std::wstring wide(text.begin(), text.end());
        for (const std::wstring& line : Layout(fonts, 1, width * kAdvance, wide))
            got += (got.empty() ? "" : "|") + std::string(line.begin(), line.end());
        ASSERT_EQ(got, expected) << "width " << width << ": " << text;
        EXPECT_EQ(fonts.TestSection(1, 0, 0, 10, width * kAdvance, wide.c_str(), 0),
                  int(std::count(expected.begin(), expected.end(), '|')) + 1);
    }
}

TEST_F(FontsTest, BreaksAtLineFeedsSectionSignsAndInsideLongWords)
{
    ASSERT_EQ(Init(), 1);
    const struct {
        const wchar_t* text;
        int chars; // width in characters of the test face
        std::vector<std::wstring> lines;
    } cases[] = {
        {L"A\u00A7B", 20, {L"A", L"B"}},
        {L"A\nB\n", 20, {L"A", L"B"}},
        {L"A\n\nB", 20, {L"A", L"", L"B"}},
        {L"ABCDEFGHIJ", 4, {L"ABCD", L"EFGH", L"IJ"}},
        {L"AB CDEFGHIJKL", 5, {L"AB", L"CDEFG", L"HIJKL"}},
        // A line feed behind a part that does not fit: the line still ends
        // at the last space that fit.
        {L"AA BBBBBB\nC", 4, {L"AA", L"BBBB", L"BB", L"C"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Layout(fonts, 1, c.chars * kAdvance, c.text), c.lines) << std::string(c.text, c.text + wcslen(c.text));
        EXPECT_EQ(fonts.TestSection(1, 0, 0, 10, c.chars * kAdvance, c.text, 0), int(c.lines.size()));
    }
    // Lines longer than the widths one walk gives (Fonts::kWrapSpan) are
    // fitted the same: 200 words of two letters, 100 to a line.
    std::wstring words, line;
    for (int i = 0; i < 100; i++)
        line += i ? L" ab" : L"ab";
    words = line + L" " + line;
    EXPECT_EQ(Layout(fonts, 1, 300 * kAdvance, words), (std::vector<std::wstring> {line, line}));
    EXPECT_EQ(Layout(fonts, 1, 298 * kAdvance, words).size(), 3u);
    // A character wider than the line still takes one line each.
    EXPECT_EQ(fonts.TestSection(1, 0, 0, 10, 2, L"ABC", 0), 3);
    EXPECT_EQ(fonts.TestSection(1, 0, 0, 10, 100, L"", 0), 0);
    EXPECT_EQ(fonts.TestSection(1, 0, 0, 10, 100, nullptr, 0), 0);
    EXPECT_EQ(fonts.TestSection(9, 0, 0, 10, 100, L"A", 0), 0);
}

TEST(FontsStrings, BytesWidenUnsignedAndCopiesStayInBounds)
{
    wchar_t w[32] = L"N";
    EXPECT_EQ(Fonts::AppendToWide(w, "\xE9\xFF"), 3);
    EXPECT_EQ(std::wstring(w), std::wstring(L"N\u00E9\u00FF"));
    EXPECT_EQ(Fonts::AppendToWideNum(w, INT_MIN), 14);
    EXPECT_EQ(std::wstring(w + 3), std::wstring(L"-2147483648"));
    char c[8] = "a";
    EXPECT_EQ(Fonts::AppendWideToChar(c, L"b\u0141"), 3);
    EXPECT_STREQ(c, "abA");
    char d[8] = "keep";
    EXPECT_EQ(Fonts::StrDupNoAlloc("", d, 8) + Fonts::StrDupNoAlloc("xyz", d, 0), 0);
    EXPECT_STREQ(d, "keep");
    EXPECT_EQ(Fonts::StrDupNoAlloc("abcdefghij", d, 8), 7);
    EXPECT_STREQ(d, "abcdefg");
}

// ---------------------------------------------------------------------------
// Drawn on Mesa

namespace {

class FontsMesa : public testing::Test {
protected:
    void SetUp() override
    {
        dir.WriteFonts();
        ASSERT_TRUE(mesa.Ok());
        PDisplayProperties p = Props(kW, kH);
        ASSERT_EQ(fonts.Init(mesa.ctx, &p), 1);
        mesa.ctx->Clear(0);
    }

    // Per row band of 8 pixels from y0 every step, the cells of the test
    // face from x0: '#' for a drawn character, '.' for none, trailing blanks
    // cut; also the first inked column of the frame.
    std::vector<std::string> Bands(int x0, int y0, int step, int count)
    {
        frame = mesa.Read();
        std::vector<std::string> out;
        for (int b = 0; b < count; b++) {
            std::string cells;
            for (int x = x0; x + kInk <= kW; x += kAdvance)
                cells += frame[size_t(y0 + b * step + 1) * kW + x] == 0xFFFFFF ? '#' : '.';
            cells.erase(cells.find_last_not_of('.') + 1);
            out.push_back(cells);
        }
        return out;
    }
    // First and last inked column of row y.
    std::pair<int, int> Ink(int y)
    {
        frame = mesa.Read();
        int first = -1, last = -1;
        for (int x = 0; x < kW; x++)
            if (frame[size_t(y) * kW + x] == 0xFFFFFF) {
                if (first < 0)
                    first = x;
                last = x;
            }
        return {first, last};
    }

    ScratchDir dir;
    gametest::MesaContext mesa{kW, kH};
    Fonts fonts;
    std::vector<uint32_t> frame;
};

} // namespace

TEST_F(FontsMesa, AlignmentPlacesTheText)
{
    // A 40-pixel text (ten characters of advance 4, the last column blank).
    const wchar_t* text = L"ABCDEFGHIJ";
    const struct {
        int align, first;
    } cases[] = {{0, 300}, {1, 260}, {2, 280}};
    for (const auto& c : cases) {
        mesa.ctx->Clear(0);
        fonts.Print(300, 10, text, 1, c.align);
        EXPECT_EQ(Ink(12), std::make_pair(c.first, c.first + 38)) << "align " << c.align;
    }
    // Inside a line 100 pixels wide from x = 10.
    for (const auto& c : {std::make_pair(0, 10), std::make_pair(1, 70), std::make_pair(2, 40)}) {
        mesa.ctx->Clear(0);
        EXPECT_EQ(fonts.PrintLine(1, 10, 10, 100, text, c.first, true), nullptr);
        EXPECT_EQ(Ink(12).first, c.second) << "align " << c.first;
    }
    // Centred on the screen and moved by dx; the 8-bit form is not cut to
    // any buffer length.
    mesa.ctx->Clear(0);
    fonts.PrintCentered(1, 10, text, 5);
    EXPECT_EQ(Ink(12).first, 5 + (kW - 40) / 2);
    mesa.ctx->Clear(0);
    const std::string hundred(100, 'x');
    fonts.PrintCentered(1, 10, hundred.c_str(), 0);
    EXPECT_EQ(Ink(12), std::make_pair((kW - 400) / 2, (kW - 400) / 2 + 398));
}

TEST_F(FontsMesa, SectionsDrawLineByLine)
{
    // Forced breaks; the empty line between two line feeds draws nothing.
    EXPECT_EQ(fonts.PrintSection(1, 0, 0, 10, 100, L"A\u00A7BB\n\nC D", 0), 4);
    EXPECT_EQ(Bands(0, 0, 10, 5), (std::vector<std::string>{"#", "##", "", "#.#", ""}));
    // Right-aligned lines end at the line's right edge.
    mesa.ctx->Clear(0);
    EXPECT_EQ(fonts.PrintSection(1, 0, 0, 10, 40, L"AA\nBBBB", 1), 2);
    EXPECT_EQ(Bands(0, 0, 10, 2), (std::vector<std::string>{"........##", "......####"}));
}

TEST_F(FontsMesa, WrappedTextKeepsItsPixelsInsideTheWidth)
{
    // A face whose glyphs stand a column out past their advance, as an
    // outline does: four glyphs measure 16 pixels and draw 17.
    fonttest::FontDesc d;
    d.height = kHeight;
    d.width = kAdvance;
    for (uint32_t c = 32; c < 127; c++)
        d.glyphs.push_back({c, 0, kAdvance + 1, -1});
    d.coverage = [](uint32_t code, int, int) -> uint8_t { return code == ' ' ? 0 : 255; };
    dir.Write("data/fonts/prop.fnt", fonttest::MakeFont(d));
    Fonts outlined;
    PDisplayProperties p = Props(kW, kH);
    ASSERT_EQ(outlined.Init(mesa.ctx, &p), 1);
    const int x = 100, width = 4 * kAdvance;
    for (int align : {Fonts::kLeft, Fonts::kRight, Fonts::kCenter}) {
        mesa.ctx->Clear(0);
        const int lines = outlined.PrintSection(3, x, 0, 10, width, L"AAAA AAAAAAAA", align);
        EXPECT_GE(lines, 4) << "align " << align;
        for (int line = 0; line < lines; line++) {
            const auto [first, last] = Ink(line * 10 + 1);
            EXPECT_GE(first, x) << "align " << align << ", line " << line;
            EXPECT_LE(last, x + width - 1) << "align " << align << ", line " << line;
        }
    }
}
