// Font speed: glyphs per second of each software renderer and of the GL
// font on Mesa's OpenGL ES 1.1 (a pbuffer, finished every line), measuring a
// line (with and without characters the font lacks), and wrapping a 2 KB
// paragraph into a box (with printing, and as layout alone).
#include <EGL/egl.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <type_traits>
#include <string>
#include <vector>

#include "bench/mesa_display.h"
#include "engine/graphics/p3d.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/punicodefont.h"
#include "engine/graphics/punicodefont3d.h"
#include "gl/glbackend_es11.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/fnt_writer.h"

namespace {

// ASCII glyphs 7 to 9 pixels wide and 16 high with anti-aliased edges.
template <class Font = PUnicodeFont> std::unique_ptr<Font> MakeFont(int mode, GLES* gl = nullptr)
{
    std::vector<FntGlyphImage> glyphs;
    for (uint32_t c = 32; c <= 126; c++) {
        FntGlyphImage g;
        g.code = c;
        g.width = c == ' ' ? 0 : 7 + int(c % 3);
        g.before = 1;
        g.after = c == ' ' ? 4 : 0;
        g.coverage.resize(size_t(g.width) * 16);
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < g.width; x++)
                g.coverage[size_t(y) * size_t(g.width) + size_t(x)] =
                    uint8_t(((x + y + int(c)) % 4) == 0 ? 0 : (x == 0 || y == 15) ? 90 : 255);
        glyphs.push_back(std::move(g));
    }
    FntFont f;
    std::string err;
    std::vector<uint8_t> bytes;
    if (!FntPackStrip(glyphs, 16, mode == 2 ? FntStripKind::Bgra : FntStripKind::Grey, 0xFFFFFF, &f, &err))
        return nullptr;
    f.width = 8;
    f.height = 16;
    f.spacing = 1;
    if (!FntEncode(f, &bytes, &err))
        return nullptr;
    auto font = std::make_unique<Font>();
    if constexpr (std::is_same_v<Font, PUnicodeFont3D>)
        font->SetDrawingTarget(gl, 640, 480, 0);
    font->mode = mode;
    PMemStream s(bytes.data(), long(bytes.size()));
    if (!font->Load(s))
        return nullptr;
    font->args.color = 0xFFFFC040;
    return font;
}

const char kLine[] = "The quick brown fox jumps over the lazy dog; 0123456789 (ok)!";

void BM_SoftwareGlyphs(benchmark::State& state)
{
    const int mode = int(state.range(0));
    auto font = MakeFont(mode);
    std::unique_ptr<PDrawableSurface> target(PDrawableSurface::Create(640, 480));
    if (!font || !target) {
        state.SkipWithError("set-up failed");
        return;
    }
    font->target = target.get();
    const int glyphs = int(sizeof kLine) - 1;
    int y = 0;
    for (auto _ : state) {
        font->Print(kLine, 4, y, -1);
        y = (y + 17) % 460;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * glyphs);
    state.SetLabel(mode == 0 ? "solid colour" : mode == 1 ? "anti-aliased colour" : "strip blit");
}
BENCHMARK(BM_SoftwareGlyphs)->Arg(0)->Arg(1)->Arg(2);

// A 640 x 480 pbuffer on Mesa's OpenGL ES 1.1 and a drawing context on it.
using MesaDisplay = benchegl::MesaDisplay<640, 480, 0>;

void BM_GLGlyphs(benchmark::State& state)
{
    MesaDisplay display;
    std::unique_ptr<P3D> ctx(display.Ok() ? P3D::Create(&display, nullptr) : nullptr);
    auto font = ctx ? MakeFont<PUnicodeFont3D>(int(state.range(0)), ctx.get()) : nullptr;
    if (!font) {
        state.SkipWithError("no OpenGL ES 1.1 context on Mesa");
        return;
    }
    const int glyphs = int(sizeof kLine) - 1;
    int y = 0;
    for (auto _ : state) {
        font->Print(kLine, 4, y, -1);
        ctx->GetBackend()->glFinish();
        y = (y + 17) % 460;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * glyphs);
    state.SetLabel(state.range(0) == 2 ? "GL texture, alpha test" : "GL colour, blended");
}
BENCHMARK(BM_GLGlyphs)->Arg(2)->Arg(5)->UseRealTime();

// A UTF-8 line of 61 characters, 14 of them outside the font's ASCII range.
const char kMixedLine[] = "Gr\xC3\xB6\xC3\x9F""e \xC3\xBC""ber 5 \xE2\x82\xAC: na\xC3\xAF""ve caf\xC3\xA9, "
                          "\xC3\x85ngstr\xC3\xB6m \xE2\x80\x94 \xC3\xA6\xC3\xB8\xC3\xA5 (\xC2\xBD) "
                          "\xC3\x9C""bung 01234567";

void BM_MeasureLine(benchmark::State& state)
{
    auto font = MakeFont(2);
    if (!font) {
        state.SkipWithError("set-up failed");
        return;
    }
    font->utf8 = 1;
    const bool mixed = state.range(0) != 0;
    const char* line = mixed ? kMixedLine : kLine;
    const int chars = font->CountChars(line, -1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(font->StringWidth(line, nullptr, -1));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * chars);
    state.SetLabel(mixed ? "characters the font lacks" : "ASCII");
}
BENCHMARK(BM_MeasureLine)->Arg(0)->Arg(1);

std::string Paragraph()
{
    static const char* words[] = {"air",     "combat", "over",  "the",     "northern", "sea;",  "wing-men",
                                  "climb",   "to",     "angels", "twenty", "while",    "radar", "tracks",
                                  "bombers", "heading", "south", "at",     "full",     "speed."};
    std::string p;
    for (int i = 0; p.size() < 2048; i++) {
        p += words[(i * 7 + i / 3) % 20];
        p += i % 11 == 10 ? " \\{c#FF8000|s}{warning\\} " : " ";
    }
    p.resize(2048);
    return p;
}

void BM_WrapParagraph(benchmark::State& state)
{
    auto font = MakeFont(2);
    std::unique_ptr<PDrawableSurface> target(PDrawableSurface::Create(640, 2000));
    if (!font || !target) {
        state.SkipWithError("set-up failed");
        return;
    }
    const bool draw = state.range(0) != 0;
    font->target = draw ? target.get() : nullptr;
    const std::string text = Paragraph();
    std::vector<PFont::AttributeString> runs(64);
    for (auto _ : state) {
        const unsigned n = font->SplitAttributeString(text.c_str(), -1, runs.data(), unsigned(runs.size()));
        benchmark::DoNotOptimize(font->PrintAttributeStringBox(10, 0, 400, 0, runs.data(), n));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.SetLabel(draw ? "split, wrap and print" : "split and wrap (no target)");
}
BENCHMARK(BM_WrapParagraph)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

} // namespace

