#include "tools/lib/fnt_writer.h"

#include <algorithm>

#include "tools/lib/plzp_writer.h"
#include "tools/lib/toolfile.h"

namespace {

bool Fail(std::string* err, std::string const& msg)
{
    if (err)
        *err = msg;
    return false;
}

// Coverage below this vanishes in a 4-bit alpha (alpha / 17).
constexpr int kVisibleCoverage = 17;
// Right of its advance an outline reaches this far at most.
constexpr int kOutlineReach = 1;

// The colour would load as the strip's transparent magenta (RGB565 F81F).
bool IsKeyColour(uint32_t rgb)
{
    return ((rgb >> 19) & 31) == 31 && ((rgb >> 10) & 63) == 0 && ((rgb >> 3) & 31) == 31;
}

} // namespace

bool FntEncode(FntFont const& font, std::vector<uint8_t>* out, std::string* err)
{
    if (font.width < 0 || font.width > 255 || font.height < 0 || font.height > 255)
        return Fail(err, "width and height must be 0..255");
    if (font.lineGap < -128 || font.lineGap > 127 || font.spacing < -128 || font.spacing > 127)
        return Fail(err, "line gap and spacing must be -128..127");
    if (font.glyphs.size() > 65535)
        return Fail(err, "more than 65535 glyphs");
    std::vector<FntGlyph> g = font.glyphs;
    std::sort(g.begin(), g.end(), [](FntGlyph const& a, FntGlyph const& b) { return a.code < b.code; });
    uint32_t first = font.firstCode, last = font.lastCode;
    if (first == 0 && last == 0 && !g.empty()) {
        first = g.front().code;
        last = g.back().code;
    }
    if (last < first || last > 65535)
        return Fail(err, "code range must be ascending within 0..65535");
    for (size_t i = 0; i < g.size(); i++) {
        FntGlyph const& q = g[i];
        const std::string which = "glyph " + std::to_string(q.code);
        if (q.code < first || q.code > last)
            return Fail(err, which + " lies outside the code range");
        if (i && g[i - 1].code == q.code)
            return Fail(err, which + " appears twice");
        if (q.before < 0 || q.before > 15 || q.after < -8 || q.after > 7 || q.width < 0 || q.width > 255)
            return Fail(err, which + ": before 0..15, after -8..7, width 0..255");
        if (q.x < 0 || q.x + q.width > font.strip.width || q.x > 65535)
            return Fail(err, which + " lies outside the strip");
    }
    if (font.height > font.strip.height)
        return Fail(err, "the strip is lower than the font");
    std::vector<uint8_t> strip;
    if (!NrvEncode(font.strip, font.stripFlags, &strip, err))
        return false;

    std::vector<uint8_t>& o = *out;
    o.assign({'P', 'F', 'N', 'T'});
    PutLE16(o, 12); // header size
    PutLE16(o, 0);
    o.push_back(uint8_t(font.width));
    o.push_back(uint8_t(font.height));
    o.push_back(uint8_t(int8_t(font.lineGap)));
    o.push_back(uint8_t(int8_t(font.spacing)));
    PutLE16(o, first);
    PutLE16(o, last);
    PutLE16(o, unsigned(g.size()));
    for (FntGlyph const& q : g)
        PutLE16(o, q.code);
    for (FntGlyph const& q : g) {
        PutLE16(o, unsigned(q.x));
        o.push_back(uint8_t(q.before | ((q.after & 0x0F) << 4)));
        o.push_back(uint8_t(q.width));
    }
    o.insert(o.end(), strip.begin(), strip.end());
    return true;
}

bool FntWriteFile(std::string const& path, FntFont const& font, bool plzp, std::string* err)
{
    std::vector<uint8_t> data;
    if (!FntEncode(font, &data, err))
        return false;
    if (plzp) {
        std::vector<uint8_t> packed;
        if (!PlzpCompress(data.data(), data.size(), 9, PlzpForm::Header, &packed))
            return Fail(err, "compression failed");
        data.swap(packed);
    }
    return WriteFileAtomic(path, data, err);
}

bool FntAddOutline(FntGlyphImage* glyph, int height, std::string* err)
{
    FntGlyphImage& g = *glyph;
    if (height < 1 || height > 255 || g.width < 0 || g.coverage.size() != size_t(g.width) * size_t(height) ||
        (!g.edge.empty() && g.edge.size() != g.coverage.size()))
        return Fail(err, "glyph " + std::to_string(g.code) + ": coverage does not match its size");
    const int advance = g.before + g.width + g.after;
    const int fillEnd = g.before + g.width;
    // The cell from the pen: the advance, the glyph and the outline's reach
    // right of both, as far as a record's `after` (at least -8) allows.
    int cols = std::max(advance, fillEnd) + kOutlineReach;
    cols = std::max(fillEnd, std::min(cols, advance + 8));
    auto covered = [&](int x, int y) {
        const int gx = x - g.before;
        return gx >= 0 && gx < g.width && y >= 0 && y < height &&
               g.coverage[size_t(y) * size_t(g.width) + size_t(gx)] >= kVisibleCoverage;
    };
    std::vector<uint8_t> cov(size_t(cols) * size_t(height), 0), edge(cov.size(), 0);
    int first = cols, last = -1;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < cols; x++) {
            const size_t at = size_t(y) * size_t(cols) + size_t(x);
            const int gx = x - g.before;
            if (gx >= 0 && gx < g.width) {
                cov[at] = g.coverage[size_t(y) * size_t(g.width) + size_t(gx)];
                if (!g.edge.empty())
                    edge[at] = g.edge[size_t(y) * size_t(g.width) + size_t(gx)];
            }
            if (!covered(x, y))
                for (int dy = -1; dy <= 1 && !edge[at]; dy++)
                    for (int dx = -1; dx <= 1; dx++)
                        if (covered(x + dx, y + dy)) {
                            edge[at] = 1;
                            break;
                        }
            if (cov[at] || edge[at]) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        }
    if (last < 0) // nothing drawn: the glyph stays as it is
        return true;
    // Columns kept: from the first drawn one (leaving at most 15 before it)
    // to the last drawn one.
    const int from = std::min(first, 15), to = last + 1;
    FntGlyphImage out;
    out.code = g.code;
    out.before = from;
    out.width = to - from;
    out.after = advance - out.before - out.width;
    out.coverage.assign(size_t(out.width) * size_t(height), 0);
    out.edge.assign(out.coverage.size(), 0);
    for (int y = 0; y < height; y++)
        for (int x = from; x < to; x++) {
            const size_t src = size_t(y) * size_t(cols) + size_t(x);
            const size_t dst = size_t(y) * size_t(out.width) + size_t(x - from);
            out.coverage[dst] = cov[src];
            out.edge[dst] = edge[src];
        }
    g = std::move(out);
    return true;
}

bool FntPackStrip(std::vector<FntGlyphImage> const& glyphs, int height, FntStripKind kind, uint32_t rgb,
                  FntFont* font, std::string* err)
{
    return FntPackStrip(glyphs, height, kind, rgb, 0, font, err);
}

bool FntPackStrip(std::vector<FntGlyphImage> const& glyphs, int height, FntStripKind kind, uint32_t rgb,
                  uint32_t edgeRgb, FntFont* font, std::string* err)
{
    if (height < 1 || height > 255)
        return Fail(err, "glyph height must be 1..255");
    long total = 0;
    bool edges = false;
    for (FntGlyphImage const& g : glyphs) {
        if (g.width < 0 || g.coverage.size() != size_t(g.width) * size_t(height) ||
            (!g.edge.empty() && g.edge.size() != g.coverage.size()))
            return Fail(err, "glyph " + std::to_string(g.code) + ": coverage does not match its size");
        total += g.width;
        edges = edges || !g.edge.empty();
    }
    if (kind == FntStripKind::Bgra && IsKeyColour(rgb))
        return Fail(err, "the glyph colour would be the strip's transparent magenta");
    if (kind == FntStripKind::Bgra && edges && IsKeyColour(edgeRgb))
        return Fail(err, "the outline colour would be the strip's transparent magenta");
    if (kind == FntStripKind::Grey && edges)
        return Fail(err, "a coverage strip cannot hold an outline");
    if (total > 65535)
        return Fail(err, "the glyphs need a strip wider than 65535 pixels");
    const int w = std::max<int>(1, int(total));
    NrvImage& s = font->strip;
    s = NrvImage();
    s.width = w;
    s.height = height;
    font->glyphs.clear();
    font->stripFlags = 0;
    if (kind == FntStripKind::Bgra) {
        s.format = 8;
        s.pixels.assign(size_t(w) * size_t(height) * 4, 0);
        for (size_t i = 0; i < size_t(w) * size_t(height); i++) { // magenta, alpha 0
            s.pixels[4 * i] = 0xFF;
            s.pixels[4 * i + 2] = 0xFF;
        }
    } else {
        s.format = 3;
        s.pixels.assign(size_t(w) * size_t(height), 0);
        font->stripFlags = kNrvFlagGrey;
    }
    int x = 0;
    for (FntGlyphImage const& g : glyphs) {
        for (int row = 0; row < height; row++)
            for (int col = 0; col < g.width; col++) {
                const uint8_t c = g.coverage[size_t(row) * size_t(g.width) + size_t(col)];
                const size_t at = size_t(row) * size_t(w) + size_t(x + col);
                const bool edge = !g.edge.empty() && g.edge[size_t(row) * size_t(g.width) + size_t(col)];
                if (kind == FntStripKind::Grey) {
                    s.pixels[at] = c;
                } else if (c >= kVisibleCoverage) {
                    s.pixels[4 * at] = uint8_t(rgb);
                    s.pixels[4 * at + 1] = uint8_t(rgb >> 8);
                    s.pixels[4 * at + 2] = uint8_t(rgb >> 16);
                    s.pixels[4 * at + 3] = c;
                } else if (edge) {
                    s.pixels[4 * at] = uint8_t(edgeRgb);
                    s.pixels[4 * at + 1] = uint8_t(edgeRgb >> 8);
                    s.pixels[4 * at + 2] = uint8_t(edgeRgb >> 16);
                    s.pixels[4 * at + 3] = 0xFF;
                }
            }
        FntGlyph q;
        q.code = g.code;
        q.x = x;
        q.before = g.before;
        q.after = g.after;
        q.width = g.width;
        font->glyphs.push_back(q);
        x += g.width;
    }
    return true;
}
