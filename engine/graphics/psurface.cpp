#include "engine/graphics/psurface.h"

#include <array>
#include <cstring>

#include "engine/graphics/ppalette.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"

// ---------------------------------------------------------------------------
// Construction

PSurface::PSurface()
    : format(0), flags(0), width(0), height(0), pitch(0), colorKey(0), pixels(nullptr), palette(nullptr),
      alpha(nullptr)
{
}

PSurface::PSurface(int w, int h, int p, int f, unsigned char* px, int fl) : PSurface()
{
    Set(w, h, p, f, px, fl);
}

PSurface::PSurface(const PSurface& src, unsigned x, unsigned y, unsigned w, unsigned h) : PSurface()
{
    Set(src, x, y, w, h);
}

PSurface::PSurface(const PSurface& src, const PRect& r) : PSurface()
{
    Set(src, r);
}

PSurface::PSurface(const PSurface& src) : PSurface()
{
    Set(src);
}

PSurface::~PSurface()
{
    Free();
    if (flags & PSURF_OWNPALETTE)
        delete palette;
    palette = nullptr;
}

void PSurface::Free()
{
    if (!(flags & PSURF_NOTOWNED))
        PFree(pixels);
    pixels = nullptr;
    if (flags & PSURF_OWNALPHA)
        PFree(alpha);
    alpha = nullptr;
    flags &= ~PSURF_OWNALPHA;
}

void PSurface::Set(int w, int h, int p, int f, unsigned char* px, int fl)
{
    Free();
    width = w;
    height = h;
    pitch = p;
    format = uint8_t(f);
    pixels = px;
    flags = uint8_t(fl);
    colorKey = 0;
    alpha = nullptr;
}

void PSurface::Set(const PSurface& src, unsigned x, unsigned y, unsigned w, unsigned h)
{
    if (&src == this)
        return;
    Free();
    if (flags & PSURF_OWNPALETTE)
        delete palette;
    // The view is cut to the source so that it never reaches outside it.
    unsigned sw = src.width > 0 ? unsigned(src.width) : 0;
    unsigned sh = src.height > 0 ? unsigned(src.height) : 0;
    if (x > sw)
        x = sw;
    if (y > sh)
        y = sh;
    if (w > sw - x)
        w = sw - x;
    if (h > sh - y)
        h = sh - y;
    format = src.format;
    pitch = src.pitch;
    width = int32_t(w);
    height = int32_t(h);
    flags = uint8_t((src.flags & 0xE1) | PSURF_NOTOWNED);
    colorKey = src.colorKey;
    palette = src.palette;
    pixels = src.pixels ? src.pixels + size_t(y) * size_t(src.pitch) + size_t(x) * (PSurfaceFormatBPP(format) / 8)
                        : nullptr;
    alpha = src.alpha ? src.alpha + size_t(y) * size_t(src.width) + x : nullptr;
}

void PSurface::Set(const PSurface& src, const PRect& r)
{
    // Negative corners start at the source's edge.
    int x = r.x, y = r.y, w = r.width, h = r.height;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    Set(src, unsigned(x), unsigned(y), w > 0 ? unsigned(w) : 0, h > 0 ? unsigned(h) : 0);
}

void PSurface::Set(const PSurface& src)
{
    Set(src, 0, 0, unsigned(src.width > 0 ? src.width : 0), unsigned(src.height > 0 ? src.height : 0));
}

PPalette* PSurface::SetPalette(PPalette* p)
{
    PPalette* old = palette;
    palette = p;
    return old;
}

unsigned char* PSurface::SetAlpha(unsigned char* a)
{
    unsigned char* old = alpha;
    alpha = a;
    return old;
}

void PSurface::SetScanLine(int y, const void* src)
{
    if (!pixels || y < 0 || y >= height || pitch <= 0)
        return;
    std::memcpy(pixels + size_t(y) * size_t(pitch), src, size_t(pitch));
}

// ---------------------------------------------------------------------------
// Sizes and creation

int PSurface::GetPitch(int w, PSurfaceFormat f)
{
    if (w <= 0)
        return 0;
    int64_t bits = int64_t(w) * PSurfaceFormatBPP(f);
    int64_t p = ((bits + 31) / 32) * 4;
    return p > 0x7FFFFFFF ? 0 : int(p);
}

int PSurface::GetPitch(int w, PGraphicsFormat f)
{
    if (w <= 0)
        return 0;
    int64_t per;
    if (f >= 0 && f <= 3)
        per = 1;
    else if (f >= 4 && f <= 6)
        per = 2;
    else if (f == 7)
        per = 3;
    else if (f == 8)
        per = 4;
    else
        return 0;
    int64_t p = per * w;
    return p > 0x7FFFFFFF ? 0 : int(p);
}

int64_t PSurface::CheckedSize(int w, int h, int p)
{
    if (w <= 0 || h <= 0 || p <= 0 || w > kPSurfaceMaxSide || h > kPSurfaceMaxSide)
        return -1;
    int64_t n = int64_t(h) * int64_t(p);
    return n > kPSurfaceMaxBytes ? -1 : n;
}

PSurface* PSurface::AllocSurfaceSystemMem(int w, int h, PSurfaceFormat& f, int loadFlags)
{
    if (loadFlags & PLOAD_DRAWABLE)
        loadFlags |= PLOAD_RGB565;
    if (loadFlags & PLOAD_RGB565)
        f = PSURFACE_RGB565;
    if (PSurfaceFormatBPP(f) == 0) {
        _PDebug("PSurface: unknown surface format %d\n", int(f));
        return nullptr;
    }
    int p = GetPitch(w, f);
    int64_t bytes = CheckedSize(w, h, p);
    if (bytes < 0) {
        _PDebug("PSurface: refused surface size %d x %d\n", w, h);
        return nullptr;
    }
    PSurface* s;
    if (loadFlags & PLOAD_DRAWABLE) {
        PDrawableSurface* d = new PDrawableSurface(w, h, p);
        if (!d)
            return nullptr;
        if (!d->pixels) {
            delete d;
            return nullptr;
        }
        s = d;
    } else {
        auto* px = static_cast<unsigned char*>(PAllocZ(int(bytes)));
        if (!px)
            return nullptr;
        s = new PSurface(w, h, p, f, px, 0);
        if (!s) {
            PFree(px);
            return nullptr;
        }
    }
    s->flags |= uint8_t(loadFlags & (PSURF_USERFLAG | PSURF_BOTTOMUP));
    return s;
}

PSurface* PSurface::AllocSurface(int w, int h, PSurfaceFormat& f, int& loadFlags)
{
    if (loadFlags & PLOAD_DRAWABLE)
        loadFlags |= PLOAD_RGB565;
    return AllocSurfaceSystemMem(w, h, f, loadFlags);
}

PSurface* PSurface::Create(int w, int h, PSurfaceFormat f)
{
    int lf = 0;
    return AllocSurface(w, h, f, lf);
}

PSurface* PSurface::Create(const void* data, int w, int h, PSurfaceFormat f, int fl)
{
    int p = GetPitch(w, f);
    if (!data || p == 0)
        return nullptr;
    int64_t bytes = CheckedSize(w, h, p);
    if (bytes < 0) {
        _PDebug("PSurface: refused surface size %d x %d\n", w, h);
        return nullptr;
    }
    unsigned char* px;
    if (fl & PSURF_NOTOWNED) {
        px = static_cast<unsigned char*>(const_cast<void*>(data));
    } else {
        px = static_cast<unsigned char*>(PAlloc(int(bytes)));
        if (!px)
            return nullptr;
        std::memcpy(px, data, size_t(bytes));
    }
    PSurface* s = new PSurface(w, h, p, f, px, fl);
    if (!s && !(fl & PSURF_NOTOWNED))
        PFree(px);
    return s;
}

// ---------------------------------------------------------------------------
// Drawable surface: construction and clipping (drawing is in pblit.cpp)

PDrawableSurface::PDrawableSurface(int w, int h, int p, unsigned char* px)
    : PSurface(w, h, p, PSURFACE_RGB565, px, PSURF_DRAWABLE), clipX1(0), clipY1(0), clipX2(0), clipY2(0)
{
    if (p != 0 && !pixels) {
        int64_t bytes = CheckedSize(w, h, p);
        if (bytes > 0 && int64_t(p) >= int64_t(w) * 2)
            pixels = static_cast<unsigned char*>(PAllocZ(int(bytes)));
        else
            _PDebug("PDrawableSurface: refused size %d x %d pitch %d\n", w, h, p);
    }
    ResetClipRect();
}

PDrawableSurface::PDrawableSurface(int w, int h, int p) : PDrawableSurface(w, h, p > 0 ? p : 0, nullptr) {}

PDrawableSurface::~PDrawableSurface() = default;

PDrawableSurface* PDrawableSurface::Create(int w, int h, int)
{
    if (w <= 0 || h <= 0 || w > kPSurfaceMaxSide || h > kPSurfaceMaxSide)
        return nullptr;
    PDrawableSurface* d = new PDrawableSurface(w, h, ((w * 16 + 31) / 32) * 4);
    if (d && !d->pixels) {
        delete d;
        return nullptr;
    }
    return d;
}

void PDrawableSurface::SetClipRect(int x1, int y1, int x2, int y2)
{
    int w = width > 0 ? width : 0;
    int h = height > 0 ? height : 0;
    x1 = x1 < 0 ? 0 : x1 > w ? w : x1;
    y1 = y1 < 0 ? 0 : y1 > h ? h : y1;
    x2 = x2 > w ? w : x2;
    y2 = y2 > h ? h : y2;
    if (x2 < x1)
        x2 = x1;
    if (y2 < y1)
        y2 = y1;
    clipX1 = x1;
    clipY1 = y1;
    clipX2 = x2;
    clipY2 = y2;
}

void PDrawableSurface::SetClipRect(const PRect& r)
{
    int64_t x2 = int64_t(r.x) + r.width, y2 = int64_t(r.y) + r.height;
    auto clamp = [](int64_t v) { return int(v > 0x7FFFFFFF ? 0x7FFFFFFF : v < -0x7FFFFFFF ? -0x7FFFFFFF : v); };
    SetClipRect(r.x, r.y, clamp(x2), clamp(y2));
}

void PDrawableSurface::ResetClipRect()
{
    SetClipRect(0, 0, width, height);
}

void PDrawableSurface::GetClipRect(PRect& r) const
{
    r.x = clipX1;
    r.y = clipY1;
    r.width = clipX2 - clipX1;
    r.height = clipY2 - clipY1;
}

bool PDrawableSurface::Lock()
{
    return true;
}

void PDrawableSurface::Unlock() {}

// ---------------------------------------------------------------------------
// Row conversion

namespace {

inline void Put16(unsigned char* d, unsigned v)
{
    d[0] = uint8_t(v);
    d[1] = uint8_t(v >> 8);
}

inline unsigned Pack565(unsigned r, unsigned g, unsigned b)
{
    return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3);
}

// A 5-bit channel widened to 8 bits as c * 255 / 31.
constexpr std::array<uint8_t, 32> kWiden5 = [] {
    std::array<uint8_t, 32> t{};
    for (unsigned c = 0; c < 32; c++)
        t[c] = uint8_t(c * 255 / 31);
    return t;
}();

// Writes one RGB pixel (8-bit channels) in the destination format. With a
// 32-bit destination the word (B << 16) | (G << 8) | R is compared with the
// key: equal gives alpha 0, else 255.
inline void PutRGB(unsigned char*& d, int dstFormat, unsigned r, unsigned g, unsigned b, unsigned key)
{
    switch (dstFormat) {
    case PSURFACE_RGB565:
        Put16(d, Pack565(r, g, b));
        d += 2;
        break;
    case PSURFACE_RGB24:
        d[0] = uint8_t(r);
        d[1] = uint8_t(g);
        d[2] = uint8_t(b);
        d += 3;
        break;
    case PSURFACE_RGBA32: {
        unsigned c = (b << 16) | (g << 8) | r;
        d[0] = uint8_t(r);
        d[1] = uint8_t(g);
        d[2] = uint8_t(b);
        d[3] = c == key ? 0 : 255;
        d += 4;
        break;
    }
    default:
        break;
    }
}

// Index rows: the lookup of an index in the palette, or in a grey ramp of the
// row's depth when there is none.
struct IndexLookup {
    const PPalette* pal;
    int depth;
    unsigned Color565(unsigned i) const
    {
        return pal ? pal->colors[i & 255] : PGreyRamp565(i, depth);
    }
    unsigned ARGB(unsigned i) const
    {
        if (pal)
            return pal->Get(i & 255);
        unsigned max = (1u << depth) - 1;
        unsigned level = (i & max) * 255 / max;
        return 0xFF000000u | (level << 16) | (level << 8) | level;
    }
};

template <typename NextIndex>
void WriteIndices(unsigned char* d, int dstFormat, const IndexLookup& lk, int count, NextIndex next)
{
    switch (dstFormat) {
    case PSURFACE_INDEX8:
        for (int i = 0; i < count; i++)
            d[i] = uint8_t(next(i));
        break;
    case PSURFACE_RGB565:
        for (int i = 0; i < count; i++, d += 2)
            Put16(d, lk.Color565(next(i)));
        break;
    case PSURFACE_RGB24:
        for (int i = 0; i < count; i++, d += 3) {
            unsigned c = lk.ARGB(next(i));
            d[0] = uint8_t(c >> 16);
            d[1] = uint8_t(c >> 8);
            d[2] = uint8_t(c);
        }
        break;
    case PSURFACE_RGBA32:
        for (int i = 0; i < count; i++, d += 4) {
            unsigned c = lk.ARGB(next(i));
            d[0] = uint8_t(c >> 16);
            d[1] = uint8_t(c >> 8);
            d[2] = uint8_t(c);
            d[3] = uint8_t(c >> 24);
        }
        break;
    }
}

} // namespace

bool PSurface::ConvertLine(unsigned char* dst, PSurfaceFormat dstFormat, const unsigned char* src,
                           PGraphicsFormat srcFormat, const PPalette* palette, int count, unsigned key)
{
    if (unsigned(srcFormat) > 13 || PSurfaceFormatBPP(dstFormat) == 0)
        return false;
    if (srcFormat == PGF_INDEX1 || srcFormat == PGF_INDEX2)
        return true;
    if (count <= 0 || !dst || !src)
        return true;
    if (palette && !palette->colors)
        palette = nullptr;

    switch (srcFormat) {
    case PGF_INDEX4:
        WriteIndices(dst, dstFormat, {palette, 4}, count,
                     [src](int i) { return unsigned(i & 1 ? src[i >> 1] >> 4 : src[i >> 1] & 15); });
        return true;
    case PGF_INDEX4_MSB:
        WriteIndices(dst, dstFormat, {palette, 4}, count,
                     [src](int i) { return unsigned(i & 1 ? src[i >> 1] & 15 : src[i >> 1] >> 4); });
        return true;
    case PGF_INDEX2_MSB:
        WriteIndices(dst, dstFormat, {palette, 2}, count,
                     [src](int i) { return unsigned(src[i >> 2] >> (6 - 2 * (i & 3))) & 3; });
        return true;
    case PGF_INDEX1_MSB:
        WriteIndices(dst, dstFormat, {palette, 1}, count,
                     [src](int i) { return unsigned(src[i >> 3] >> (7 - (i & 7))) & 1; });
        return true;
    case PGF_INDEX8:
        if (dstFormat == PSURFACE_INDEX8) {
            std::memcpy(dst, src, size_t(count));
        } else if (dstFormat == PSURFACE_RGB565) {
            const uint16_t* lut = palette ? palette->colors : PGreyTable565();
            for (int i = 0; i < count; i++, dst += 2)
                Put16(dst, lut[src[i]]);
        } else {
            WriteIndices(dst, dstFormat, {palette, 8}, count, [src](int i) { return unsigned(src[i]); });
        }
        return true;
    default:
        break;
    }

    if (dstFormat == PSURFACE_INDEX8)
        return true; // colour rows have no index form: nothing is written

    switch (srcFormat) {
    case PGF_RGB444:
        if (dstFormat == PSURFACE_RGB565) {
            for (int i = 0; i < count; i++, src += 2, dst += 2) {
                unsigned v = unsigned(src[0] | (src[1] << 8));
                Put16(dst, Pack565(((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17));
            }
            return true;
        }
        for (int i = 0; i < count; i++, src += 2) {
            unsigned v = unsigned(src[0] | (src[1] << 8));
            PutRGB(dst, dstFormat, ((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17, key);
        }
        return true;
    case PGF_RGB555:
        if (dstFormat == PSURFACE_RGB565) {
            for (int i = 0; i < count; i++, src += 2, dst += 2) {
                unsigned v = unsigned(src[0] | (src[1] << 8));
                Put16(dst, Pack565(kWiden5[(v >> 10) & 31], kWiden5[(v >> 5) & 31], kWiden5[v & 31]));
            }
            return true;
        }
        for (int i = 0; i < count; i++, src += 2) {
            unsigned v = unsigned(src[0] | (src[1] << 8));
            PutRGB(dst, dstFormat, ((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31,
                   key);
        }
        return true;
    case PGF_RGB565:
        if (dstFormat == PSURFACE_RGB565) {
            std::memcpy(dst, src, size_t(count) * 2);
            return true;
        }
        for (int i = 0; i < count; i++, src += 2) {
            unsigned c = PNative2RGB(unsigned(src[0] | (src[1] << 8)));
            PutRGB(dst, dstFormat, c >> 16, (c >> 8) & 255, c & 255, key);
        }
        return true;
    case PGF_BGR24:
    case PGF_RGB24: {
        const int ri = srcFormat == PGF_RGB24 ? 0 : 2, bi = 2 - ri;
        if (dstFormat == PSURFACE_RGB565) {
            for (int i = 0; i < count; i++, src += 3, dst += 2)
                Put16(dst, Pack565(src[ri], src[1], src[bi]));
        } else {
            for (int i = 0; i < count; i++, src += 3)
                PutRGB(dst, dstFormat, src[ri], src[1], src[bi], key);
        }
        return true;
    }
    case PGF_BGRA32:
    case PGF_RGBA32: {
        const int ri = srcFormat == PGF_RGBA32 ? 0 : 2, bi = 2 - ri;
        if (dstFormat == PSURFACE_RGB565) {
            for (int i = 0; i < count; i++, src += 4, dst += 2)
                Put16(dst, Pack565(src[ri], src[1], src[bi]));
        } else if (dstFormat == PSURFACE_RGB24) {
            for (int i = 0; i < count; i++, src += 4, dst += 3) {
                dst[0] = src[ri];
                dst[1] = src[1];
                dst[2] = src[bi];
            }
        } else if (srcFormat == PGF_RGBA32) {
            std::memcpy(dst, src, size_t(count) * 4);
        } else {
            for (int i = 0; i < count; i++, src += 4, dst += 4) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
                dst[3] = src[3];
            }
        }
        return true;
    }
    default:
        return false;
    }
}
