// fntbuild: .fnt bitmap fonts from TrueType fonts through FreeType.
//
//   fntbuild font IN.ttf OUT.fnt [options]
//   fntbuild demo OUTDIR [--ttf-dir DIR]
//
// Glyphs keep FreeType's rendering and advances (hinted, rounded to whole
// pixels). Rows are placed with the baseline at row `ascent`; every glyph is
// moved right by the largest negative left bearing of the character set (and
// one pixel more with an outline), so that nothing is drawn left of the pen.
// `demo` writes the six fonts of the demo data into OUTDIR, 1-bit (alpha 0 or
// 255), with ASCII, Latin-1 and the replacement character U+FFFD: the bold
// monospaced ones at 13 and 17 pixels unhinted (hinting merges the strokes of
// M, N and W there), the 6 x 8 one drawn by hand; the three fonts the head-up
// display draws over the scene (20 x 28, the amber 12 x 16 and 6 x 8) have a
// near-black outline, so that they read over sky, sea and land alike.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/fntbuild/smallglyphs.h"
#include "tools/lib/fnt_writer.h"
#include "tools/lib/toolcli.h"

namespace {

const char kUsage[] =
    "usage: fntbuild font IN.ttf OUT.fnt [options]\n"
    "       fntbuild demo OUTDIR [--ttf-dir DIR]\n"
    "options of font:\n"
    "  --size PX          FreeType pixel size (default 16)\n"
    "  --chars LIST       comma-separated: ascii (32-126), latin1 (160-255), N or N-M\n"
    "                     (decimal or 0x hex); default ascii,latin1\n"
    "  --strip bgra|grey  bgra: colour + alpha for the blit renderer and GL (default);\n"
    "                     grey: coverage bytes for the colour renderers\n"
    "  --color RRGGBB     glyph colour of a bgra strip (default FFFFFF)\n"
    "  --outline RRGGBB   a 1-pixel outline of that colour around the glyphs (bgra)\n"
    "  --mono             1-bit rendering (coverage 0 or 255)\n"
    "  --ascent A         baseline row (default: the font's ascender)\n"
    "  --height H         glyph height (default: ascender + descender)\n"
    "  --advance W        fixed advance: every glyph centred in W pixels\n"
    "  --width W          advance of missing characters (default: the space's)\n"
    "  --spacing S        pixels between characters (default 0)\n"
    "  --line-gap G       pixels between lines (default 0)\n"
    "  --plzp             compress the whole file behind a PLZP header\n";

struct Options {
    std::string ttf, out;
    int size = 16;
    std::string chars = "ascii,latin1";
    FntStripKind strip = FntStripKind::Bgra;
    uint32_t color = 0xFFFFFF;
    bool outline = false;
    uint32_t outlineColor = 0;
    bool mono = false;
    int ascent = -1, height = -1, advance = -1, width = -1;
    int spacing = 0, lineGap = 0;
    bool plzp = false;
    bool quiet = false; // no note of pixels cut at the top or bottom
    bool hinting = true; // 1-bit glyphs as FreeType hints them; false: the outline as drawn
    bool handDrawn = false; // the glyphs of smallglyphs.h (6 x 8) where it has them
};

bool ParseInt(const char* s, long lo, long hi, int* out)
{
    char* end = nullptr;
    long v = std::strtol(s, &end, 0);
    if (!*s || *end || v < lo || v > hi)
        return false;
    *out = int(v);
    return true;
}

bool ParseChars(std::string const& list, std::vector<uint32_t>* codes, std::string* err)
{
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t comma = list.find(',', pos);
        std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        pos = comma == std::string::npos ? list.size() + 1 : comma + 1;
        int lo, hi;
        if (item == "ascii") {
            lo = 32;
            hi = 126;
        } else if (item == "latin1") {
            lo = 160;
            hi = 255;
        } else {
            size_t dash = item.find('-', 1);
            std::string a = item.substr(0, dash), b = dash == std::string::npos ? a : item.substr(dash + 1);
            if (!ParseInt(a.c_str(), 0, 65535, &lo) || !ParseInt(b.c_str(), 0, 65535, &hi) || hi < lo) {
                *err = "bad character list item '" + item + "'";
                return false;
            }
        }
        for (int c = lo; c <= hi; c++)
            codes->push_back(uint32_t(c));
    }
    std::sort(codes->begin(), codes->end());
    codes->erase(std::unique(codes->begin(), codes->end()), codes->end());
    return true;
}

// One glyph as FreeType renders it.
struct Rendered {
    uint32_t code;
    int left, top, advance;
    int w, rows;
    std::vector<uint8_t> cov; // w x rows
};

// A glyph of the hand-drawn 6 x 8 set (smallglyphs.h); its seventh row sits
// on the baseline.
void HandDrawn(uint32_t code, Rendered* r)
{
    r->code = code;
    r->left = 0;
    r->top = 7;
    r->advance = 6;
    r->w = 5;
    r->rows = 8;
    r->cov.assign(40, 0);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 5; x++)
            r->cov[size_t(y) * 5 + size_t(x)] = SmallGlyph(code)[y][x] == '#' ? 255 : 0;
}

bool Render(FT_Face face, uint32_t code, bool mono, bool hinting, Rendered* r)
{
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (!index)
        return false;
    const FT_Int32 monoFlags = (hinting ? FT_LOAD_TARGET_MONO : FT_LOAD_NO_HINTING) | FT_LOAD_MONOCHROME;
    const FT_Int32 flags = FT_LOAD_RENDER | (mono ? monoFlags : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(face, index, flags))
        return false;
    FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& b = g->bitmap;
    r->code = code;
    r->left = g->bitmap_left;
    r->top = g->bitmap_top;
    r->advance = int((g->advance.x + 32) >> 6);
    r->w = int(b.width);
    r->rows = int(b.rows);
    r->cov.assign(size_t(r->w) * size_t(r->rows), 0);
    for (int y = 0; y < r->rows; y++) {
        const unsigned char* row = b.buffer + long(y) * b.pitch;
        for (int x = 0; x < r->w; x++) {
            uint8_t v;
            if (b.pixel_mode == FT_PIXEL_MODE_MONO)
                v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else
                v = row[x];
            r->cov[size_t(y) * size_t(r->w) + size_t(x)] = v;
        }
    }
    return true;
}

// The stand-in for the characters a font lacks (U+FFFD), drawn whole: where
// the face's glyph (with the outline's rows) would be cut by the font's rows
// it is centred on them, rendered at the largest size up to the font's that
// fits, and keeps the advance of the font's size.
constexpr uint32_t kReplacementChar = 0xFFFD;

bool RenderStandIn(FT_Face face, Options const& o, int ascent, int height, Rendered* r)
{
    const int margin = o.outline ? 1 : 0;
    if (!Render(face, kReplacementChar, o.mono, o.hinting, r))
        return false;
    const int firstRow = ascent - r->top;
    if (firstRow >= margin && firstRow + r->rows <= height - margin)
        return true;
    const int advance = r->advance;
    bool fits = false;
    for (int size = o.size; size > 1 && !fits; size--) {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(size)) || !Render(face, kReplacementChar, o.mono, o.hinting, r))
            break;
        fits = r->rows + 2 * margin <= height;
    }
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(o.size));
    if (!fits)
        return false;
    r->top = ascent - (height - r->rows) / 2;
    r->left += (advance - r->advance) / 2;
    r->advance = advance;
    return true;
}

// Why FreeType could not make a face of path: the file cannot be read, or it
// is read but holds no font FreeType knows, or a damaged one.
std::string FontOpenError(std::string const& path, FT_Error e)
{
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        return "cannot open " + path + ": " + std::strerror(errno);
    }
    if (e == FT_Err_Unknown_File_Format)
        return path + " is not a font file FreeType can read";
    if (e == FT_Err_Invalid_File_Format)
        return path + " is a damaged font file";
    return "FreeType cannot read " + path + " (error " + std::to_string(int(e)) + ")";
}

bool Build(Options const& o, std::string* err)
{
    std::vector<uint32_t> codes;
    if (!ParseChars(o.chars, &codes, err))
        return false;
    FT_Library lib;
    if (FT_Init_FreeType(&lib)) {
        *err = "FreeType cannot start";
        return false;
    }
    FT_Face face;
    if (FT_Error e = FT_New_Face(lib, o.ttf.c_str(), 0, &face)) {
        FT_Done_FreeType(lib);
        *err = FontOpenError(o.ttf, e);
        return false;
    }
    bool ok = false;
    do {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(o.size))) {
            *err = "cannot set pixel size " + std::to_string(o.size);
            break;
        }
        const int ascent = o.ascent >= 0 ? o.ascent : int((face->size->metrics.ascender + 63) >> 6);
        const int descent = int((-face->size->metrics.descender + 63) >> 6);
        const int height = o.height > 0 ? o.height : ascent + descent;
        if (height > 255) {
            *err = "glyph height above 255";
            break;
        }
        std::vector<Rendered> glyphs;
        for (uint32_t c : codes) {
            Rendered r;
            if (o.handDrawn && SmallGlyph(c)) {
                HandDrawn(c, &r);
                glyphs.push_back(std::move(r));
            } else if (c == kReplacementChar ? RenderStandIn(face, o, ascent, height, &r)
                                             : Render(face, c, o.mono, o.hinting, &r)) {
                glyphs.push_back(std::move(r));
            }
        }
        if (glyphs.empty()) {
            *err = "the font has none of the characters asked for";
            break;
        }
        // A fixed advance centres each glyph in its cell.
        for (Rendered& r : glyphs)
            if (o.advance >= 0) {
                r.left += (o.advance - r.advance) / 2;
                r.advance = o.advance;
            }
        int shift = 0;
        for (Rendered const& r : glyphs)
            shift = std::max(shift, -r.left);
        if (o.outline)
            shift += 1; // room for the outline's left column right of the pen

        std::vector<FntGlyphImage> images;
        long lost = 0;
        for (Rendered const& r : glyphs) {
            const int lb = r.left + shift;
            FntGlyphImage im;
            im.code = r.code;
            im.before = std::min(lb, 15);
            const int padL = lb - im.before;
            int cols = r.w;
            im.width = padL + cols;
            im.after = r.advance - im.before - im.width;
            if (im.after > 7) {
                im.width += im.after - 7;
                im.after = 7;
            } else if (im.after < -8) {
                // Overhangs the advance by more than the record can say:
                // the rightmost columns are dropped.
                const int cut = std::min(-8 - im.after, cols);
                cols -= cut;
                im.width -= cut;
                im.after = r.advance - im.before - im.width;
                if (im.after < -8) {
                    *err = "glyph " + std::to_string(r.code) + " cannot be placed";
                    break;
                }
            }
            if (im.width > 255) {
                *err = "glyph " + std::to_string(r.code) + " wider than 255 pixels";
                break;
            }
            im.coverage.assign(size_t(im.width) * size_t(height), 0);
            for (int y = 0; y < r.rows; y++)
                for (int x = 0; x < r.w; x++) {
                    const uint8_t v = r.cov[size_t(y) * size_t(r.w) + size_t(x)];
                    const int row = ascent - r.top + y;
                    if (row < 0 || row >= height || x >= cols) {
                        lost += v != 0;
                        continue;
                    }
                    im.coverage[size_t(row) * size_t(im.width) + size_t(padL + x)] = v;
                }
            images.push_back(std::move(im));
        }
        if (images.size() != glyphs.size())
            break;
        if (o.outline) {
            bool good = true;
            for (FntGlyphImage& im : images)
                good = good && FntAddOutline(&im, height, err);
            if (!good)
                break;
        }
        if (lost && !o.quiet)
            std::fprintf(stderr, "fntbuild: %s: %ld glyph pixels fall outside the %d rows\n", o.out.c_str(), lost,
                         height);

        FntFont font;
        if (!FntPackStrip(images, height, o.strip, o.color, o.outlineColor, &font, err))
            break;
        int missing = o.width;
        if (missing < 0) {
            missing = o.advance >= 0 ? o.advance : 0;
            for (Rendered const& r : glyphs)
                if (r.code == ' ')
                    missing = r.advance;
        }
        font.width = std::min(missing, 255);
        font.height = height;
        font.spacing = o.spacing;
        font.lineGap = o.lineGap;
        ok = FntWriteFile(o.out, font, o.plzp, err);
    } while (false);
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return ok;
}

// The six fonts of the demo data.
struct DemoFont {
    const char* name;
    const char* ttf;
    int size, ascent, height, advance;
    uint32_t color;
    bool hinting;   // false where hinting merges strokes (M reading as H)
    bool handDrawn; // drawn by hand (smallglyphs.h)
    bool outlined;  // drawn over the scene in flight: outlined in kDemoOutline
};
// Near-black: against it the white and amber glyphs have a contrast above
// 12 : 1, whatever lies behind.
constexpr uint32_t kDemoOutline = 0x101010;
const DemoFont kDemo[] = {
    {"font12x16", "DejaVuSansMono-Bold.ttf", 13, 12, 16, -1, 0xFFFFFF, false, false, false},
    {"font16x20", "DejaVuSansMono-Bold.ttf", 17, 16, 20, -1, 0xFFFFFF, false, false, false},
    {"font20x28", "DejaVuSansMono-Bold.ttf", 24, 22, 28, -1, 0xFFFFFF, true, false, true},
    {"prop", "DejaVuSans.ttf", 15, 14, 18, -1, 0xFFFFFF, true, false, false},
    {"font12x16_", "DejaVuSans-Bold.ttf", 13, 12, 16, -1, 0xFFD040, true, false, true},
    {"font6x8", "DejaVuSansMono.ttf", 7, 7, 8, -1, 0xFFFFFF, true, true, true},
};

int Demo(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string dir = argv[2], ttfDir = "/usr/share/fonts/truetype/dejavu";
    for (int i = 3; i < argc; i++) {
        if (!std::strcmp(argv[i], "--ttf-dir") && i + 1 < argc) {
            ttfDir = argv[++i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    for (DemoFont const& d : kDemo) {
        Options o;
        o.ttf = ttfDir + "/" + d.ttf;
        o.out = dir + "/" + d.name + ".fnt";
        o.size = d.size;
        o.ascent = d.ascent;
        o.height = d.height;
        o.advance = d.advance;
        o.color = d.color;
        o.hinting = d.hinting;
        o.handDrawn = d.handDrawn;
        o.outline = d.outlined;
        o.outlineColor = kDemoOutline;
        // Latin-1 and the replacement character, which the fonts show for
        // every character they lack (a bad byte of a peer's name, a euro sign).
        o.chars = "ascii,latin1,0xFFFD";
        // The game draws glyphs with an alpha test that cuts below about
        // 0.92: 1-bit glyphs keep every stroke, coverage alpha would lose
        // the anti-aliased edges.
        o.mono = true;
        o.quiet = true; // the 6 x 8 font cuts the top row of two accented capitals
        std::string err;
        if (!Build(o, &err)) {
            std::fprintf(stderr, "fntbuild: %s: %s\n", o.out.c_str(), err.c_str());
            return 1;
        }
    }
    return 0;
}

int Font(int argc, char** argv)
{
    if (argc < 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Options o;
    o.ttf = argv[2];
    o.out = argv[3];
    for (int i = 4; i < argc; i++) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        bool good = true;
        if (a == "--mono") {
            o.mono = true;
            continue;
        }
        if (a == "--plzp") {
            o.plzp = true;
            continue;
        }
        if (!v) {
            good = false;
        } else if (a == "--size") {
            good = ParseInt(v, 1, 1000, &o.size);
        } else if (a == "--chars") {
            o.chars = v;
        } else if (a == "--strip") {
            good = !std::strcmp(v, "bgra") || !std::strcmp(v, "grey");
            o.strip = !std::strcmp(v, "grey") ? FntStripKind::Grey : FntStripKind::Bgra;
        } else if (a == "--color") {
            char* end = nullptr;
            unsigned long c = std::strtoul(v, &end, 16);
            good = *v && !*end && c <= 0xFFFFFF;
            o.color = uint32_t(c);
        } else if (a == "--outline") {
            char* end = nullptr;
            unsigned long c = std::strtoul(v, &end, 16);
            good = *v && !*end && c <= 0xFFFFFF;
            o.outline = true;
            o.outlineColor = uint32_t(c);
        } else if (a == "--ascent") {
            good = ParseInt(v, 0, 255, &o.ascent);
        } else if (a == "--height") {
            good = ParseInt(v, 1, 255, &o.height);
        } else if (a == "--advance") {
            good = ParseInt(v, 0, 255, &o.advance);
        } else if (a == "--width") {
            good = ParseInt(v, 0, 255, &o.width);
        } else if (a == "--spacing") {
            good = ParseInt(v, -128, 127, &o.spacing);
        } else if (a == "--line-gap") {
            good = ParseInt(v, -128, 127, &o.lineGap);
        } else {
            good = false;
        }
        if (!good) {
            std::fprintf(stderr, "fntbuild: bad option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
        i++;
    }
    std::string err;
    if (!Build(o, &err)) {
        std::fprintf(stderr, "fntbuild: %s\n", err.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "font"))
        return Font(argc, argv);
    if (argc >= 2 && !std::strcmp(argv[1], "demo"))
        return Demo(argc, argv);
    std::fputs(kUsage, stderr);
    return 2;
}
