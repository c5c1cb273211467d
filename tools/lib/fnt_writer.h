// Writer of .fnt bitmap fonts (byte layout in docs/formats/fnt.md): the
// header, the glyph codes and records, and the glyph strip as an NRV image.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/nrv_writer.h"

// One glyph: the rectangle (x, 0, width, font height) of the strip.
struct FntGlyph {
    uint32_t code = 0; // 0..65535
    int x = 0;         // left column in the strip, 0..65535
    int before = 0;    // pixels before the glyph, 0..15
    int after = 0;     // pixels after it, -8..7
    int width = 0;     // 0..255
};

struct FntFont {
    int width = 0;   // advance of missing glyphs, 0..255
    int height = 0;  // glyph height, 0..255
    int lineGap = 0; // -128..127
    int spacing = 0; // -128..127
    // The code range; both 0 means the smallest and largest glyph code.
    uint32_t firstCode = 0, lastCode = 0;
    std::vector<FntGlyph> glyphs; // any order; written sorted by code
    NrvImage strip;
    int stripFlags = 0; // NRV header flags of the strip
};

// Encodes the font; false with *err when a value does not fit the format
// (ranges above, repeated codes, glyphs outside the strip).
bool FntEncode(FntFont const& font, std::vector<uint8_t>* out, std::string* err);
// Writes the file through a temporary file; with plzp the whole file is
// compressed behind a "PLZP" header.
bool FntWriteFile(std::string const& path, FntFont const& font, bool plzp, std::string* err);

// ---------------------------------------------------------------------------
// Building a strip from glyph images.

// A glyph's pixels before packing: coverage 0..255, width x height bytes.
struct FntGlyphImage {
    uint32_t code = 0;
    int before = 0;
    int after = 0;
    int width = 0;
    std::vector<uint8_t> coverage;
    // Empty, or width x height bytes: non-zero marks an outline pixel, drawn
    // opaque in the outline colour of a colour-and-alpha strip.
    std::vector<uint8_t> edge;
};

// Surrounds the glyph's visible pixels with a 1-pixel outline (the uncovered
// pixels next to a covered one, diagonals included), keeping its advance:
// the outline stays within the glyph's rows and right of the pen, so it is
// cut where a stroke touches the pen column or the top or bottom row; on the
// right it may reach 1 pixel past the advance, where the next character
// draws over it. False with *err when the image does not match its size.
bool FntAddOutline(FntGlyphImage* glyph, int height, std::string* err);

enum class FntStripKind {
    // NRV format 8 (B, G, R, A): the colour with alpha = coverage; pixels
    // whose alpha would vanish at 4 bits (coverage below 17) are the colour
    // key magenta with alpha 0. Loaded as RGB565 with an alpha plane; what
    // the blit renderer and the GL fonts draw.
    Bgra,
    // NRV format 3 without palette (grey ramp): one coverage byte a pixel,
    // for the solid and anti-aliased colour renderers.
    Grey,
};

// Places the glyphs left to right in a strip `height` rows high and fills
// the font's glyph records and strip (the header fields are left alone).
bool FntPackStrip(std::vector<FntGlyphImage> const& glyphs, int height, FntStripKind kind, uint32_t rgb,
                  FntFont* font, std::string* err);
// The same with the glyphs' outline pixels (FntGlyphImage::edge) in edgeRgb,
// alpha 255; a coverage strip has no outline and refuses glyphs with one.
bool FntPackStrip(std::vector<FntGlyphImage> const& glyphs, int height, FntStripKind kind, uint32_t rgb,
                  uint32_t edgeRgb, FntFont* font, std::string* err);
