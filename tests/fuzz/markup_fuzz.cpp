// Fuzz target: text markup over arbitrary text. The first byte picks the
// UTF-8 flag, the run table size, the box width and the renderer; the rest is
// the text, copied into an exact-size block. Runs must stay inside the text
// and the table; measuring and printing (one line and wrapped) must end and
// stay inside the drawable.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/graphics/psurface.h"
#include "engine/graphics/punicodefont.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/fnt_writer.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// Glyphs for ' '..'~' and a few wider codes, of varied widths and bearings.
std::vector<uint8_t> MakeFont(FntStripKind kind)
{
    std::vector<FntGlyphImage> g;
    for (uint32_t c = 32; c <= 126; c++) {
        FntGlyphImage im;
        im.code = c;
        im.width = int(c % 5);
        im.before = int(c % 3);
        im.after = int(c % 4) - 2;
        im.coverage.assign(size_t(im.width) * 6, uint8_t(c * 7));
        g.push_back(im);
    }
    for (uint32_t c : {0xE9u, 0x20ACu}) {
        FntGlyphImage im;
        im.code = c;
        im.width = 3;
        im.coverage.assign(18, 255);
        g.push_back(im);
    }
    FntFont f;
    std::string err;
    std::vector<uint8_t> out;
    if (!FntPackStrip(g, 6, kind, 0xFFFFFF, &f, &err))
        std::abort();
    f.width = 4;
    f.height = 6;
    f.spacing = 1;
    f.lineGap = -1;
    if (!FntEncode(f, &out, &err))
        std::abort();
    return out;
}

std::unique_ptr<PUnicodeFont> Font(int mode)
{
    std::vector<uint8_t> bytes = MakeFont(mode == 2 ? FntStripKind::Bgra : FntStripKind::Grey);
    auto f = std::make_unique<PUnicodeFont>();
    f->mode = mode;
    PMemStream s(bytes.data(), long(bytes.size()));
    if (!f->Load(s))
        std::abort();
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static std::unique_ptr<PUnicodeFont> fonts[3] = {Font(0), Font(1), Font(2)};
    static std::unique_ptr<PDrawableSurface> target(PDrawableSurface::Create(64, 48));
    const uint8_t sel = data[0];
    PUnicodeFont& f = *fonts[sel % 3];
    f.utf8 = (sel >> 2) & 1;
    f.target = target.get();
    f.args.color = 0x80FF8040u;
    const unsigned max = 1 + ((sel >> 3) & 7) * 3;
    const unsigned boxWidth = (sel >> 6) * 20;

    std::vector<char> text(data + 1, data + size);
    text.push_back(0);
    const char* begin = text.data();
    const char* end = begin + std::strlen(begin);

    std::vector<PFont::AttributeString> runs(max);
    const unsigned n = f.SplitAttributeString(begin, -1, runs.data(), max);
    Check(n <= max);
    for (unsigned i = 0; i < n; i++) {
        const PFont::AttributeString& r = runs[i];
        Check(r.text >= begin && r.text <= end && r.length >= 1);
        const char* p = r.text;
        for (int k = 0; k < r.length; k++) {
            Check(*p != 0);
            f.NextChar(p);
        }
        Check(p <= end);
    }
    f.AttributeStringWidth(runs.data(), n);
    f.PrintAttributeString(60, 10, runs.data(), n, PFont::TextAlignment(sel & 3));
    const int used = f.PrintAttributeStringBox(-3, 2, boxWidth, 0, runs.data(), n);
    Check(used >= 0 || f.height + f.lineGap < 0);
    return 0;
}
