// Printing and measuring agree in every font: the same texts printed by the
// software font and by the GL font (on the software back end), each with and
// without a fallback font, land on the same columns, and the measured, drawn
// and wrapped widths match the columns printing reaches.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/punicodefont3d.h"
#include "engine/runtime/pstring.h"
#include "tests/engine/graphics/font_fixture.h"
#include "tests/gl/software/memory_display.h"

using namespace fonttest;

namespace {

constexpr int kW = 96, kH = 8, kX = 3, kY = 2, kHeight = 4;

// Main font, spacing 1: 'A' stands out 3 pixels past its advance, 'B' is
// flush, 'C' stands out 4, the space draws nothing; a replacement glyph.
FontDesc MainFace()
{
    FontDesc s;
    s.height = kHeight;
    s.width = 4;
    s.spacing = 1;
    s.glyphs = {{' ', 2, 1, 2}, {'A', 2, 5, -3}, {'B', 0, 3, 0}, {'C', 1, 2, -4}, {0xFFFD, 1, 3, 1}};
    s.coverage = [](uint32_t code, int, int) { return uint8_t(code == ' ' ? 0 : 255); };
    return s;
}

// Fallback font: 'Z' stands out 3 pixels (advance 7, 10 drawn), 'Y' is
// flush; missing characters advance by 6. The unused 'V' to 'X' widen the
// strip so that the GL font's textures are wide enough for 'Z'.
FontDesc OtherFace()
{
    FontDesc s;
    s.height = kHeight;
    s.width = 6;
    s.glyphs = {{'V', 0, 8, 0}, {'W', 0, 8, 0}, {'X', 0, 8, 0}, {'Y', 1, 2, 0}, {'Z', 0, 10, -3}};
    return s;
}

// Where one kind of font prints: a picture row of what a print coloured.
struct Printer {
    std::unique_ptr<PUnicodeFont> main, other;
    std::function<std::string(const std::function<void()>&)> row;
};

std::string Columns(const uint8_t* row, int bytesPerPixel)
{
    std::string s;
    for (int x = 0; x < kW; x++) {
        bool set = false;
        for (int b = 0; b < bytesPerPixel; b++)
            set = set || row[x * bytesPerPixel + b];
        s += set ? '#' : '.';
    }
    return s;
}

struct Software {
    std::unique_ptr<PDrawableSurface> canvas{PDrawableSurface::Create(kW, kH)};

    Printer Make()
    {
        Printer p;
        p.main = Load(MakeFont(MainFace()));
        p.other = Load(MakeFont(OtherFace()));
        p.main->target = p.other->target = canvas.get();
        p.row = [this](const std::function<void()>& print) {
            PFillRect16(reinterpret_cast<unsigned short*>(canvas->pixels), 0, kW, kH, canvas->pitch);
            print();
            return Columns(canvas->pixels + size_t(kY + 1) * size_t(canvas->pitch), 2);
        };
        return p;
    }
};

struct GL {
    swtest::MemoryDisplay display{kW, kH};
    std::unique_ptr<P3D> ctx{P3D::Create(&display, nullptr)};

    std::unique_ptr<PUnicodeFont> Load3D(const FontDesc& d)
    {
        auto f = std::make_unique<PUnicodeFont3D>();
        f->SetDrawingTarget(ctx.get(), kW, kH, 0);
        std::vector<uint8_t> b = MakeFont(d);
        PMemStream s(b.data(), long(b.size()));
        return f->Load(s) ? std::move(f) : nullptr;
    }

    Printer Make()
    {
        Printer p;
        if (!ctx)
            return p;
        p.main = Load3D(MainFace());
        p.other = Load3D(OtherFace());
        p.row = [this](const std::function<void()>& print) {
            ctx->Clear(0);
            print();
            ctx->GetBackend()->glFinish();
            const PBackBuffer& bb = display.Buffer();
            return Columns(reinterpret_cast<const uint8_t*>(bb.pixels) + size_t(kY + 1) * size_t(bb.pitch), 2);
        };
        return p;
    }
};

int Reach(const std::string& row)
{
    const size_t last = row.find_last_of('#');
    return last == std::string::npos ? 0 : int(last) + 1 - kX;
}

// Own glyphs flush and standing out, the fallback's glyphs, a character
// neither font has, one that only the replacement glyph shows, and nothing.
const wchar_t* const kTexts[] = {
    L"A", L"B", L"AB", L"BA", L"AC", L"C B", L"Z", L"ZB", L"AZ", L"ZA",
    L"AZB", L"ZZYB", L"A ZB", L"Y", L"Q", L"QB", L"A\u20acB", L"\u20ac", L"",
};

// Prints and measures every text through one printer; returns the rows
// printed, in order.
std::vector<std::string> Check(Printer& p)
{
    std::vector<std::string> rows;
    PUnicodeFont& f = *p.main;
    f.utf8 = 1;
    for (const wchar_t* text : kTexts) {
        SCOPED_TRACE(PString(text).c_str());
        int advance = 0;
        const std::string row = p.row([&] { advance = f.Print(text, kX, kY, -1); });
        rows.push_back(row);
        const int reach = Reach(row);
        const int measured = f.StringWidth(text, nullptr, -1);
        const std::wstring w(text);

        // The drawn width is the last printed column, or the measure where
        // that is further; a text ending in a flush glyph measures exactly
        // as far as it is printed.
        EXPECT_EQ(f.DrawnWidth(text, -1), std::max(reach, measured));
        if (!w.empty() && w.back() == 'B') {
            EXPECT_EQ(measured, reach);
        }
        // Every prefix's drawn width from one walk, which stops after the
        // first prefix past its limit.
        int widths[8] = {};
        EXPECT_EQ(f.DrawnWidths(text, 8, 1000, widths), int(w.size()));
        for (size_t k = 0; k < w.size(); k++)
            EXPECT_EQ(widths[k], f.DrawnWidth(text, int(k + 1))) << k;
        if (w.size() >= 2) {
            EXPECT_EQ(f.DrawnWidths(text, 8, -1, widths), 1);
        }

        // The pen ends where the next character goes.
        const std::string joined = p.row([&] { f.Print((w + L"B").c_str(), kX, kY, -1); });
        const std::string apart = p.row([&] {
            f.Print(text, kX, kY, -1);
            f.Print(L"B", kX + advance, kY, -1);
        });
        EXPECT_EQ(joined, apart);

        // The UTF-8 form measures the same; wrapping into the measured
        // width keeps one line, one column less breaks it.
        const std::string narrow = PString(text).c_str();
        EXPECT_EQ(f.StringWidth(narrow.c_str(), nullptr, -1), measured);
        EXPECT_EQ(f.DrawnWidth(narrow.c_str(), -1), f.DrawnWidth(text, -1));
        std::vector<PFont::AttributeString> runs(4);
        const unsigned n = f.SplitAttributeString(narrow.c_str(), -1, runs.data(), 4);
        EXPECT_EQ(f.AttributeStringWidth(runs.data(), n), measured);
        if (w.size() >= 2 && w.back() == 'B') {
            int lines = 0;
            p.row([&] { lines = f.PrintAttributeStringBox(kX, kY, unsigned(measured), 0, runs.data(), n); });
            EXPECT_EQ(lines, kHeight);
            p.row([&] { lines = f.PrintAttributeStringBox(kX, kY, unsigned(measured - 1), 0, runs.data(), n); });
            EXPECT_EQ(lines, kHeight + f.height + f.lineGap);
        }
    }
    return rows;
}

} // namespace

TEST(FontPenWalk, SoftwareAndGLFontsPrintAndMeasureAlike)
{
    Software sw;
    GL gl;
    Printer a = sw.Make(), b = gl.Make();
    ASSERT_TRUE(a.main && a.other);
    ASSERT_TRUE(b.main && b.other) << "no GL font on the software back end";
    // Without a fallback (a missing character shows the replacement glyph),
    // and with one whose spacing is none or three pixels.
    for (int fallbackSpacing : {-1, 0, 3}) {
        SCOPED_TRACE(fallbackSpacing);
        for (Printer* p : {&a, &b}) {
            p->main->fallback = fallbackSpacing < 0 ? nullptr : p->other.get();
            p->other->spacing = int8_t(std::max(0, fallbackSpacing));
        }
        const std::vector<std::string> software = Check(a);
        const std::vector<std::string> drawn = Check(b);
        EXPECT_EQ(drawn, software);
    }
    // A fallback glyph standing out 3 pixels reaches 10 columns, whatever
    // spacings the fonts have.
    EXPECT_EQ(a.main->DrawnWidth(L"Z", -1), 10);
    EXPECT_EQ(a.main->DrawnWidth(L"AZ", -1), 5 + 10);
}
