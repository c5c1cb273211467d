// Text markup: splitting into runs, measuring, one-line printing with
// effects and alignment, word-wrapped box printing, the software box.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <tuple>

#include "engine/graphics/pblit.h"
#include "tests/engine/graphics/font_fixture.h"

using namespace fonttest;

namespace {

using Attr = PFont::AttributeString;

std::string Text(const Attr& r, const PFont& f)
{
    const char* p = r.text;
    for (int i = 0; i < r.length; i++)
        f.NextChar(p);
    return std::string(r.text, size_t(p - r.text));
}

std::vector<Attr> Split(const PFont& f, const char* text, unsigned max = 16)
{
    std::vector<Attr> runs(max);
    unsigned n = f.SplitAttributeString(text, -1, runs.data(), max);
    runs.resize(n);
    return runs;
}

// A fixed-width font that records its prints and boxes.
class LogFont : public PFont {
public:
    struct Call {
        std::string text;
        int x, y;
        uint32_t color;
    };
    mutable std::vector<Call> prints;
    std::vector<std::string> shapes;

    LogFont(int w = 6, int h = 10)
    {
        width = uint8_t(w);
        height = uint8_t(h);
    }
    int Print(const char* s, int x, int y, int n) const override
    {
        const char* p = s;
        int count = 0;
        while (count < n && *p) {
            NextChar(p);
            count++;
        }
        prints.push_back({std::string(s, size_t(p - s)), x, y, args.color});
        return (width + spacing) * count;
    }
    using PFont::Print;
    int PrintShape(int x, int y, int w, int h, const AttributeString& r) override
    {
        shapes.push_back(std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) + "x" +
                         std::to_string(h));
        return PFont::PrintShape(x, y, w, h, r);
    }
    // The main prints (not outline or shadow), in order, as "text@x,y".
    std::string Lines() const
    {
        std::string s;
        for (const Call& c : prints)
            s += (s.empty() ? "" : " ") + c.text + "@" + std::to_string(c.x) + "," + std::to_string(c.y);
        return s;
    }
};

} // namespace

TEST(MarkupSplit, ColoursAndRuns)
{
    LogFont f;
    f.args.color = 0xFF112233;
    auto r = Split(f, "Score: \\{c#FF0000}{100\\}");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(Text(r[0], f), "Score: ");
    EXPECT_EQ(std::make_tuple(r[0].length, r[0].color, r[0].backColor, r[0].effectColor),
              std::make_tuple(7, 0xFF112233u, 0xFFFFFFFFu, 0xFF000000u));
    EXPECT_EQ(Text(r[1], f), "100");
    EXPECT_EQ(r[1].color, 0xFFFF0000u);

    EXPECT_EQ(Split(f, "\\{cFF000080}{x\\}")[0].color, 0xFF000080u); // 8 digits as written
    EXPECT_EQ(Split(f, "\\{c80}{x\\}")[0].color, 0xFF000080u);       // short: opaque
    EXPECT_EQ(Split(f, "\\{c12345678}{x\\}")[0].color, 0x12345678u);
    auto box = Split(f, "\\{b|cb#00FF00}{OK\\}");
    ASSERT_EQ(box.size(), 1u);
    EXPECT_EQ(box[0].attributes, 0x01u);
    EXPECT_EQ(box[0].backColor, 0xFF00FF00u);
    EXPECT_EQ(Split(f, "\\{o|ca#0000FF}{x\\}")[0].effectColor, 0xFF0000FFu);
}

TEST(MarkupSplit, AttributeCodes)
{
    LogFont f;
    struct {
        const char* text;
        uint32_t attributes;
    } cases[] = {
        {"\\{s}{x\\}", 0x50000400}, {"\\{stl}{x\\}", 0xA0000400}, {"\\{sbr}{x\\}", 0x50000400},
        {"\\{st}{x\\}", 0x80000400}, {"\\{sl}{x\\}", 0x20000400}, {"\\{br}{x\\}", 0x11},
        {"\\{bh}{x\\}", 0x21},       {"\\{u|o}{x\\}", 0x300},     {"\\{qq|zz|o}{x\\}", 0x200},
        {"\\{u|d}{x\\}", 0},         {"\\{bxyz}{x\\}", 0x01},
    };
    for (auto const& c : cases) {
        auto r = Split(f, c.text);
        ASSERT_EQ(r.size(), 1u) << c.text;
        EXPECT_EQ(r[0].attributes, c.attributes) << c.text;
        EXPECT_EQ(Text(r[0], f), "x") << c.text;
    }
}

TEST(MarkupSplit, EndsRestoresAndLimits)
{
    LogFont f;
    f.args.color = 0xFF000001;
    // '\}' brings back the defaults, not the run around it.
    auto r = Split(f, "a\\{c#FF0000}{b\\{u}{c\\}d\\}e");
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(Text(r[2], f), "c");
    EXPECT_EQ(r[2].color, 0xFFFF0000u);
    EXPECT_EQ(r[2].attributes, 0x100u);
    EXPECT_EQ(Text(r[3], f), "d");
    EXPECT_EQ(r[3].color, 0xFF000001u);
    EXPECT_EQ(r[3].attributes, 0u);
    EXPECT_EQ(Text(r[4], f), "e");

    // A list not followed by '{' ends the text.
    r = Split(f, "ab\\{c#FF0000}cd");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(Text(r[0], f), "ab");
    // An unfinished list too.
    r = Split(f, "ab\\{c#FF0000|u");
    ASSERT_EQ(r.size(), 1u);
    // A backslash before anything else is a character.
    r = Split(f, "a\\b\\");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(Text(r[0], f), "a\\b\\");

    EXPECT_EQ(Split(f, "").size(), 0u);
    EXPECT_EQ(Split(f, "\\{u}{\\}").size(), 0u);
    EXPECT_EQ(f.SplitAttributeString("x", -1, nullptr, 0), ~0u);
    // With room for one run only the first comes back.
    r = Split(f, "one\\{u}{two\\}three", 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(Text(r[0], f), "one");
    // The given length counts characters and limits the markup too.
    std::vector<Attr> out(4);
    EXPECT_EQ(f.SplitAttributeString("ab\\{u}{cd\\}", 3, out.data(), 4), 1u);
    EXPECT_EQ(out[0].length, 3);
}

TEST(MarkupSplit, DeepNestingStaysInItsTable)
{
    LogFont f;
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "x\\{c" + std::to_string(i) + "}{";
    for (int i = 0; i < 40; i++)
        text += "y\\}";
    std::vector<Attr> out(200);
    const unsigned n = f.SplitAttributeString(text.c_str(), -1, out.data(), 200);
    EXPECT_EQ(n, 80u);
    for (unsigned i = 0; i < n; i++)
        EXPECT_EQ(out[i].length, 1) << i;
}

TEST(MarkupSplit, Utf8RunLengthsAreCharacters)
{
    LogFont f;
    f.utf8 = 1;
    auto r = Split(f, "\xC3\xA9t\xC3\xA9 \\{u}{\xE2\x82\xAC\xE2\x82\xAC\\}");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].length, 4);
    EXPECT_EQ(r[1].length, 2);
    EXPECT_EQ(Text(r[1], f), "\xE2\x82\xAC\xE2\x82\xAC");
}

TEST(MarkupPrint, WidthsEffectsAndAlignment)
{
    LogFont f(6, 10);
    f.spacing = 1;
    f.args.color = 0xFF0000AA;
    auto r = Split(f, "\\{o|ca#00FF00}{ab\\}cd\\{s|b}{e\\}");
    ASSERT_EQ(r.size(), 3u);
    // 13 + 13 + 6, outline 2 at the start, shadow 1 at the end, 2 x spacing
    // for the box of the last run.
    EXPECT_EQ(f.AttributeStringWidth(r.data(), 3), 13 + 13 + 6 + 2 + 1 + 2);
    EXPECT_EQ(f.AttributeStringWidth(r.data(), 0), 0);

    EXPECT_EQ(f.PrintAttributeString(10, 20, r.data(), 3, PFont::kAlignLeft), 14 + 14 + 7);
    ASSERT_EQ(f.prints.size(), 8u + 1 + 1 + 1 + 1);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(f.prints[i].text, "ab");
        EXPECT_EQ(f.prints[i].color, 0xFF00FF00u);
        EXPECT_LE(std::abs(f.prints[i].x - 10) + std::abs(f.prints[i].y - 20), 2);
        EXPECT_FALSE(f.prints[i].x == 10 && f.prints[i].y == 20);
    }
    EXPECT_EQ(f.prints[8].color, 0xFF0000AAu);
    EXPECT_EQ(f.prints[9].text, "cd");
    EXPECT_EQ(f.prints[9].x, 24);
    // The shadow of "e" goes down and right, in the effect colour.
    EXPECT_EQ(std::make_tuple(f.prints[10].x, f.prints[10].y, f.prints[10].color, f.prints[11].x),
              std::make_tuple(39, 21, 0xFF000000u, 38));
    ASSERT_EQ(f.shapes.size(), 1u);
    EXPECT_EQ(f.shapes[0], "37,20 8x10"); // (x - spacing, y, width + 2 x spacing, height)
    EXPECT_EQ(f.args.color, 0xFF0000AAu);  // restored

    f.prints.clear();
    auto plain = Split(f, "abc");
    EXPECT_EQ(f.PrintAttributeString(100, 0, plain.data(), 1, PFont::kAlignRight), 21);
    EXPECT_EQ(f.prints.back().x, 100 - 20);
    f.PrintAttributeString(100, 0, plain.data(), 1, PFont::kAlignCenter);
    EXPECT_EQ(f.prints.back().x, 100 - 10);
}

TEST(MarkupBox, WrapsAtSpacesAndHyphens)
{
    LogFont f(6, 10);
    f.lineGap = 2;
    auto r = Split(f, "hello world");
    EXPECT_EQ(f.PrintAttributeStringBox(0, 0, 50, 0, r.data(), 1), 22);
    EXPECT_EQ(f.Lines(), "hello@0,0 world@0,12");

    f.prints.clear();
    r = Split(f, "well-known");
    f.PrintAttributeStringBox(0, 0, 50, 0, r.data(), 1);
    EXPECT_EQ(f.Lines(), "well@0,0 known@0,12");

    // Several runs share lines; a run that fits continues the line.
    f.prints.clear();
    r = Split(f, "ab \\{u}{cd ef gh\\} ij");
    EXPECT_EQ(f.PrintAttributeStringBox(5, 0, 60, 0, r.data(), unsigned(r.size())), 22);
    EXPECT_EQ(f.Lines(), "ab @5,0 cd ef@23,0 gh@5,12  ij@17,12");

    // Leading spaces of a line are dropped; so are runs of separators.
    f.prints.clear();
    r = Split(f, "aaaa  --  bbbb    ");
    f.PrintAttributeStringBox(0, 0, 36, 0, r.data(), 1);
    EXPECT_EQ(f.Lines(), "aaaa@0,0 bbbb@0,12");
}

TEST(MarkupBox, LongWordsAreCutAndPrintingEnds)
{
    LogFont f(6, 10);
    auto r = Split(f, "abcdefghij xy");
    EXPECT_EQ(f.PrintAttributeStringBox(0, 0, 25, 0, r.data(), 1), 40);
    EXPECT_EQ(f.Lines(), "abcd@0,0 efgh@0,10 ij@0,20 xy@0,30");
    // A box narrower than one character still prints one a line.
    f.prints.clear();
    r = Split(f, "abc");
    EXPECT_EQ(f.PrintAttributeStringBox(0, 0, 0, 0, r.data(), 1), 30);
    EXPECT_EQ(f.Lines(), "a@0,0 b@0,10 c@0,20");
    f.prints.clear();
    EXPECT_EQ(f.PrintAttributeStringBox(0, 0, 0xFFFFFFFFu, 0, r.data(), 1), 10);
    EXPECT_EQ(f.PrintAttributeStringBox(0, 0, 10, 0, nullptr, 3), 0);
    r = Split(f, "     ");
    EXPECT_EQ(f.PrintAttributeStringBox(0, 0, 10, 0, r.data(), 1), 0);
}

TEST(MarkupShape, SoftwareBoxesAndCutCorners)
{
    LogFont f;
    std::unique_ptr<PDrawableSurface> d(PDrawableSurface::Create(8, 7));
    f.target = d.get();
    Attr r{"x", 1, 0x11, 0, 0xFF00FF00, 0};
    EXPECT_EQ(f.PrintShape(1, 1, 6, 5, r), 6);
    auto at = [&](int x, int y) { return Px(*d, x, y) == 0x07E0 ? '#' : '.'; };
    std::string rows;
    for (int y = 0; y < 7; y++) {
        for (int x = 0; x < 8; x++)
            rows += at(x, y);
        rows += '\n';
    }
    EXPECT_EQ(rows, "........\n"
                    "..####..\n"
                    ".######.\n"
                    ".######.\n"
                    ".######.\n"
                    "..####..\n"
                    "........\n");
    // Square boxes, small boxes and runs without a box.
    r.attributes = 0x01;
    EXPECT_EQ(f.PrintShape(0, 0, 8, 7, r), 8);
    EXPECT_EQ(at(0, 0), '#');
    r.attributes = 0x10;
    EXPECT_EQ(f.PrintShape(0, 0, 8, 7, r), 0);
}
