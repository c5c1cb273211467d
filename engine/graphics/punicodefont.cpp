// Bitmap fonts from .fnt files: the glyph table, measuring, printing with the
// three software glyph renderers, and loading.
#include "engine/graphics/punicodefont.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/graphics/pblit.h"
#include "engine/graphics/pblit_internal.h"
#include "engine/graphics/pfontchars.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/pzstream.h"

namespace {

constexpr uint32_t kSpread = 0x07E0F81F; // RGB565 spread: green in the upper half

inline uint32_t Spread(uint32_t v)
{
    return (v | (v << 16)) & kSpread;
}

inline uint16_t Fold(uint32_t r)
{
    return uint16_t(r | (r >> 16));
}

using pblit::Ld16;
using pblit::St16;

// The part of a w x h glyph at (x, y) inside the target's clip rectangle
// (and the target itself): columns i0..i1 and rows j0..j1 of the glyph.
struct Clip {
    int i0, i1, j0, j1;
};

bool ClipGlyph(const PDrawableSurface& t, int x, int y, int w, int h, Clip& c)
{
    if (!t.pixels)
        return false;
    const int64_t cx1 = std::max<int64_t>(t.clipX1, 0), cy1 = std::max<int64_t>(t.clipY1, 0);
    const int64_t cx2 = std::min<int64_t>(t.clipX2, t.width), cy2 = std::min<int64_t>(t.clipY2, t.height);
    const int64_t i0 = std::max<int64_t>(0, cx1 - x), i1 = std::min<int64_t>(w, cx2 - x);
    const int64_t j0 = std::max<int64_t>(0, cy1 - y), j1 = std::min<int64_t>(h, cy2 - y);
    if (i0 >= i1 || j0 >= j1)
        return false;
    c = {int(i0), int(i1), int(j0), int(j1)};
    return true;
}

// Solid colour: every set strip pixel becomes the colour, blended by the
// colour's top byte as the engine has always done (a = 32 and a = 0 both solid).
void PrintCharCOL(PDrawableSurface& t, int x, int y, const PSurface& strip, const PRect& r, uint32_t color)
{
    Clip c;
    if (!ClipGlyph(t, x, y, r.width, r.height, c))
        return;
    const bool is565 = strip.format == PSURFACE_RGB565;
    const uint16_t key = strip.GetColorKeyNative();
    const uint16_t k = PRGB2Native(color);
    const uint32_t ks = Spread(k);
    const uint32_t a = ((color >> 24) + 1) >> 3;
    for (int j = c.j0; j < c.j1; j++) {
        const uint8_t* src = strip.pixels + size_t(r.y + j) * size_t(strip.pitch);
        uint8_t* d = t.pixels + size_t(y + j) * size_t(t.pitch); // the target row
        for (int i = c.i0; i < c.i1; i++) {
            const int sx = r.x + i;
            const bool set = is565 ? Ld16(src + size_t(sx) * 2) != key : src[sx] != 0;
            if (!set)
                continue;
            uint8_t* p = d + size_t(x + i) * 2;
            if (a == 32) {
                St16(p, k);
                continue;
            }
            const uint32_t ds = Spread(Ld16(p));
            St16(p, Fold((ks + (((ds - ks) * a) >> 5)) & kSpread));
        }
    }
}

// Anti-aliased colour: the strip holds coverage (an index byte, or the blue
// field of an RGB565 pixel) that blends the colour over the target.
void PrintCharCOLAA(PDrawableSurface& t, int x, int y, const PSurface& strip, const PRect& r, uint32_t color)
{
    Clip c;
    if (!ClipGlyph(t, x, y, r.width, r.height, c))
        return;
    const bool is565 = strip.format == PSURFACE_RGB565;
    const uint32_t ks = Spread(PRGB2Native(color));
    for (int j = c.j0; j < c.j1; j++) {
        const uint8_t* src = strip.pixels + size_t(r.y + j) * size_t(strip.pitch);
        uint8_t* d = t.pixels + size_t(y + j) * size_t(t.pitch); // the target row
        for (int i = c.i0; i < c.i1; i++) {
            const int sx = r.x + i;
            uint32_t a;
            if (is565) {
                const uint32_t v = Ld16(src + size_t(sx) * 2) & 31;
                if (!v)
                    continue;
                a = v + 1;
            } else {
                const uint32_t p = src[sx];
                if (!p)
                    continue;
                a = (p + 1) >> 3;
            }
            uint8_t* p = d + size_t(x + i) * 2;
            const uint32_t ds = Spread(Ld16(p));
            St16(p, Fold((ds + (((ks - ds) * a) >> 5)) & kSpread));
        }
    }
}

} // namespace

PUnicodeFont::PUnicodeFont() = default;

PUnicodeFont::~PUnicodeFont()
{
    FreeGlyphs();
}

void PUnicodeFont::FreeGlyphs()
{
    PFree(glyphs);
    glyphs = nullptr;
    ranks = nullptr;
    bitmap = nullptr;
    glyphCount = 0;
}

void PUnicodeFont::Unload()
{
    firstCode = lastCode = 0;
    FreeGlyphs();
    delete args.strip;
    args.strip = nullptr;
}

const PGlyph* PUnicodeFont::StandIn(wchar_t ch) const
{
    const uint32_t c = uint32_t(ch);
    const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xA7;
    if (control || CanAskFallback())
        return nullptr;
    return FindChar(kReplacementChar);
}

const PGlyph* PUnicodeFont::ShownGlyph(wchar_t c) const
{
    const PGlyph* g = FindChar(c);
    return g ? g : StandIn(c);
}

// ---------------------------------------------------------------------------
// The pen walk

const PGlyph* PUnicodeFont::MissingStep(unsigned c, PenStep& step) const
{
    if (const PGlyph* g = StandIn(wchar_t(c))) {
        step = GlyphStep(*g);
        return g;
    }
    if (CanAskFallback()) {
        m_inFallback = 1;
        step = fallback->CharStep(c);
        m_inFallback = 0;
        return nullptr;
    }
    // A blank cell as wide as a fixed-width glyph.
    step = {0, width, width + spacing, spacing};
    return nullptr;
}

PFont::PenStep PUnicodeFont::CharStep(unsigned c) const
{
    PenStep step{};
    Walk(pfontchars::OneChar{c}, 1, 0, [&](unsigned, const PGlyph*, int, const PenStep& s) { step = s; });
    return step;
}

bool PUnicodeFont::PrintMissing(wchar_t c, int x, int y) const
{
    if (!CanAskFallback())
        return false;
    const wchar_t one[2] = {c, 0};
    m_inFallback = 1;
    fallback->Print(one, x, y, 1);
    m_inFallback = 0;
    return true;
}

template <class Next> int PUnicodeFont::PrintText(Next next, int x, int y, int n) const
{
    const WalkEnd end = Walk(next, n, x, [&](unsigned c, const PGlyph* g, int pen, const PenStep& step) {
        if (g)
            DrawGlyph(*g, pen + step.left, y);
        else
            PrintMissing(wchar_t(c), pen, y);
    });
    return end.pen - x;
}

namespace {

// How far a text's pixels reach as the pen walks it: the rightmost column a
// character's pixels may take, or the measured width where that is further.
struct InkReach {
    int right = 0;
    // Adds the character the pen is at; the reach of the text up to it.
    int Add(int pen, const PFont::PenStep& step)
    {
        if (step.right > step.left)
            right = std::max(right, pen + step.right);
        return std::max(right, pen + step.advance - step.gap);
    }
};

} // namespace

template <class Next> int PUnicodeFont::Reach(Next next, int n) const
{
    InkReach ink;
    int reach = 0;
    Walk(next, n, 0, [&](unsigned, const PGlyph*, int pen, const PenStep& step) { reach = ink.Add(pen, step); });
    return reach;
}

void PUnicodeFont::DrawGlyph(const PGlyph& g, int x, int y) const
{
    if (!target || !args.strip || !g.width || !height)
        return;
    const PRect r{g.x, 0, g.width, height};
    switch (mode) {
    case kModeSolid:
        PrintCharCOL(*target, x, y, *args.strip, r, args.color);
        break;
    case kModeAntiAliased:
        PrintCharCOLAA(*target, x, y, *args.strip, r, args.color);
        break;
    default:
        target->Blit(x, y, args.strip, &r, args.blitFlags);
        break;
    }
}

using pfontchars::NarrowChars;
using pfontchars::WideChars;

namespace {

constexpr auto kNoVisit = [](unsigned, const PGlyph*, int, const PFont::PenStep&) {};

} // namespace

int PUnicodeFont::StringWidth(const char* s, int* h, int n) const
{
    if (h)
        *h = height + lineGap;
    const WalkEnd end = Walk(NarrowChars{*this, s}, n, 0, kNoVisit);
    return end.pen - end.gap;
}

int PUnicodeFont::StringWidth(const wchar_t* s, int* h, int n) const
{
    if (h)
        *h = height + lineGap;
    const WalkEnd end = Walk(WideChars{s}, n, 0, kNoVisit);
    return end.pen - end.gap;
}

int PUnicodeFont::DrawnWidth(const char* s, int n) const
{
    return Reach(NarrowChars{*this, s}, n);
}

int PUnicodeFont::DrawnWidth(const wchar_t* s, int n) const
{
    return Reach(WideChars{s}, n);
}

int PUnicodeFont::DrawnWidths(const wchar_t* s, int n, int limit, int* widths) const
{
    if (!widths || n <= 0)
        return 0;
    // Reach's measure, taken after every character: the pixels' rightmost
    // column only grows, so once it is past the limit every longer prefix is.
    InkReach ink;
    int count = 0;
    WideChars chars{s};
    auto next = [&](unsigned& c) { return (count == 0 || ink.right <= limit) && chars(c); };
    Walk(next, n, 0, [&](unsigned, const PGlyph*, int pen, const PenStep& step) {
        widths[count++] = ink.Add(pen, step);
    });
    return count;
}

int PUnicodeFont::Print(const char* s, int x, int y, int n) const
{
    return PrintText(NarrowChars{*this, s}, x, y, n);
}

int PUnicodeFont::Print(const wchar_t* s, int x, int y, int n) const
{
    return PrintText(WideChars{s}, x, y, n);
}

// ---------------------------------------------------------------------------
// Loading

bool PUnicodeFont::Load(PStream& s)
{
    char magic[4];
    if (s.Read(magic, 4) != 4 || std::memcmp(magic, "PFNT", 4) != 0) {
        _PDebug("PUnicodeFont: no font magic\n");
        return false;
    }
    firstCode = lastCode = 0;
    FreeGlyphs();
    return LoadData(s);
}

bool PUnicodeFont::LoadData(PStream& s)
{
    uint8_t h[14];
    if (s.Read(h, 14) != 14) {
        _PDebug("PUnicodeFont: short font header\n");
        return false;
    }
    const unsigned headerSize = PLoad16(h);
    if (headerSize < 12) {
        _PDebug("PUnicodeFont: font header size %u below 12\n", headerSize);
        return false;
    }
    width = h[4];
    height = h[5];
    lineGap = int8_t(h[6]);
    spacing = int8_t(h[7]);
    const uint32_t first = PLoad16(h + 8), last = PLoad16(h + 10), count = PLoad16(h + 12);
    if (last < first) {
        _PDebug("PUnicodeFont: last code %u below first code %u\n", last, first);
        return false;
    }
    if (count > last - first + 1) {
        _PDebug("PUnicodeFont: %u glyphs for %u codes\n", count, last - first + 1);
        return false;
    }
    const uint32_t words = (last - first + 1 + 31) / 32;
    auto* block = static_cast<uint32_t*>(PAlloc(int((count + 2 * words) * 4)));
    if (!block)
        return false;
    PGlyph* recs = reinterpret_cast<PGlyph*>(block);
    uint32_t* bits = block + count;
    uint32_t* rk = bits + words;
    std::memset(bits, 0, words * 4);

    auto fail = [&](const char* what) {
        _PDebug("PUnicodeFont: %s\n", what);
        PFree(block);
        return false;
    };
    // The codes go through the record area (2 of its 4 bytes a glyph).
    uint8_t* codes = reinterpret_cast<uint8_t*>(block);
    if (count && s.Read(codes, int(count * 2)) != int(count * 2))
        return fail("short code list");
    for (uint32_t k = 0; k < count; k++) {
        const uint32_t code = PLoad16(codes + 2 * k);
        if (code < first || code > last)
            return fail("glyph code outside the font's range");
        if (k && code <= PLoad16(codes + 2 * (k - 1)))
            return fail("glyph codes not in ascending order or repeated");
        const uint32_t b = code - first;
        bits[b >> 5] |= 1u << (b & 31);
    }
    for (uint32_t i = 0, sum = 0; i < words; i++) {
        rk[i] = sum;
        sum += uint32_t(std::popcount(bits[i]));
    }
    if (count && s.Read(recs, int(count * 4)) != int(count * 4))
        return fail("short glyph records");

    const int flags = (mode == 2 || mode == 3) ? PLOAD_USERFLAG : (PLOAD_USERFLAG | PLOAD_NOALPHA | PLOAD_KEEPPALETTE);
    PSurface* strip = PSurface::CreateFromNRV(s, flags);
    if (!strip)
        return fail("unreadable glyph strip");
    if (strip->height < height) {
        delete strip;
        return fail("glyph strip lower than the font");
    }
    for (uint32_t k = 0; k < count; k++) {
        if (uint32_t(recs[k].x) + recs[k].width > uint32_t(strip->width)) {
            _PDebug("PUnicodeFont: glyph %u (x %u, width %u) outside the %d-pixel strip\n", k, recs[k].x,
                    recs[k].width, strip->width);
            delete strip;
            PFree(block);
            return false;
        }
    }
    delete args.strip;
    args.strip = strip;
    glyphs = recs;
    bitmap = bits;
    ranks = rk;
    glyphCount = count;
    firstCode = first;
    lastCode = last;
    return true;
}

bool PUnicodeFont::Load(const char* path)
{
    PStream* s = PZStream::Open(path, 1);
    if (!s) {
        _PDebug("PUnicodeFont: cannot open %s\n", path ? path : "(null)");
        return false;
    }
    const bool ok = Load(*s);
    delete s;
    return ok;
}

PUnicodeFont* PUnicodeFont::Create(PStream& s)
{
    auto* f = new PUnicodeFont;
    if (!f)
        return nullptr;
    if (!f->Load(s)) {
        delete f;
        return nullptr;
    }
    return f;
}

PUnicodeFont* PUnicodeFont::Create(const char* path)
{
    auto* f = new PUnicodeFont;
    if (!f)
        return nullptr;
    if (!f->Load(path)) {
        delete f;
        return nullptr;
    }
    return f;
}
