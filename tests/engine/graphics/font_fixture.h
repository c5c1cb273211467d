// Fonts for the font tests, made with the .fnt writer of tools/lib.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/psurface.h"
#include "engine/graphics/punicodefont.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/fnt_writer.h"

namespace fonttest {

struct Glyph {
    uint32_t code;
    int before, width, after;
};

// Coverage of pixel (x, y) of a glyph; the default fills the glyph.
using CoverageFn = std::function<uint8_t(uint32_t code, int x, int y)>;

struct FontDesc {
    std::vector<Glyph> glyphs;
    int height = 8;
    int width = 4; // advance of missing glyphs
    int spacing = 0;
    int lineGap = 0;
    FntStripKind kind = FntStripKind::Bgra;
    uint32_t rgb = 0xFFFFFF;
    CoverageFn coverage = {};
};

inline FntFont MakeFontRecord(FontDesc const& s)
{
    std::vector<FntGlyphImage> images;
    for (Glyph const& g : s.glyphs) {
        FntGlyphImage im;
        im.code = g.code;
        im.before = g.before;
        im.after = g.after;
        im.width = g.width;
        im.coverage.resize(size_t(g.width) * size_t(s.height));
        for (int y = 0; y < s.height; y++)
            for (int x = 0; x < g.width; x++)
                im.coverage[size_t(y) * size_t(g.width) + size_t(x)] = s.coverage ? s.coverage(g.code, x, y) : 255;
        images.push_back(std::move(im));
    }
    FntFont f;
    std::string err;
    if (!FntPackStrip(images, s.height, s.kind, s.rgb, &f, &err))
        throw std::runtime_error(err);
    f.width = s.width;
    f.height = s.height;
    f.spacing = s.spacing;
    f.lineGap = s.lineGap;
    return f;
}

inline std::vector<uint8_t> Encode(FntFont const& f)
{
    std::vector<uint8_t> out;
    std::string err;
    if (!FntEncode(f, &out, &err))
        throw std::runtime_error(err);
    return out;
}

inline std::vector<uint8_t> MakeFont(FontDesc const& s)
{
    return Encode(MakeFontRecord(s));
}

// Loads bytes into a font of the given renderer mode (the mode chooses how
// the strip is loaded); null when the load fails.
template <class Font = PUnicodeFont>
std::unique_ptr<Font> Load(std::vector<uint8_t> bytes, int mode = PFont::kModeBlit)
{
    auto f = std::make_unique<Font>();
    f->mode = mode;
    PMemStream s(bytes.data(), long(bytes.size()));
    if (!f->Load(s))
        return nullptr;
    return f;
}

// Glyphs for every code of [first, last] of the given width.
inline std::vector<Glyph> Range(uint32_t first, uint32_t last, int width)
{
    std::vector<Glyph> g;
    for (uint32_t c = first; c <= last; c++)
        g.push_back({c, 0, width, 0});
    return g;
}

inline uint16_t Px(const PSurface& s, int x, int y)
{
    uint16_t v;
    std::memcpy(&v, s.pixels + size_t(y) * size_t(s.pitch) + size_t(x) * 2, 2);
    return v;
}

} // namespace fonttest
