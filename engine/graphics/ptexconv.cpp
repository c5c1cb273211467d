// Texel conversion: a rectangle of an image in the layout of a GL texture
// format, and the colour of fully transparent texels. Every texture upload of
// the engine goes through P3D::CopyTexData and P3D::FillClearTexels.
#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pstream.h"

#include <bit>
#include <cstring>

using namespace p3dgl;

namespace {

// One conversion: destination, position, pitch in texels, source, first
// source column and row, size, row step (+1 or -1).
struct Job {
    uint8_t* dst;
    unsigned dx, dy, pitch;
    const PSurface* img;
    int sx, sy, w, h, step;
};

inline unsigned R8(unsigned c) { return ((c >> 11) & 31) * 255 / 31; }
inline unsigned G8(unsigned c) { return ((c >> 5) & 63) * 255 / 63; }
inline unsigned B8(unsigned c) { return (c & 31) * 255 / 31; }
inline unsigned Lum(unsigned c) { return (2 * R8(c) + 4 * G8(c) + B8(c)) / 7; }
inline uint16_t Grey565(unsigned v) { return uint16_t((v & 0xF8) << 8 | (v & 0xFC) << 3 | v >> 3); }
inline uint16_t To555(unsigned c)
{
    unsigned r5 = (c >> 11) & 31, g5 = ((c >> 5) & 63) >> 1, b5 = c & 31;
    return uint16_t(r5 << 11 | g5 << 6 | b5 << 1);
}
inline uint16_t To444(unsigned c)
{
    unsigned r4 = (c >> 12) & 15, g4 = (c >> 7) & 15, b4 = (c >> 1) & 15;
    return uint16_t(r4 << 12 | g4 << 8 | b4 << 4);
}

const PPalette* Palette(const PSurface* img)
{
    return (img->palette && img->palette->colors) ? img->palette : nullptr;
}

// Source row of output row r.
inline int SrcRow(const Job& j, int r) { return j.step > 0 ? j.sy + r : j.sy + (j.h - 1 - r); }

inline const uint8_t* Row(const Job& j, int r) { return j.img->pixels + size_t(SrcRow(j, r)) * size_t(j.img->pitch); }

inline const uint8_t* AlphaRow(const Job& j, int r)
{
    return j.img->alpha ? j.img->alpha + size_t(SrcRow(j, r)) * size_t(j.img->width) : nullptr;
}

inline unsigned Px16(const uint8_t* row, int x) { return PLoad16(row + size_t(x) * 2); }

template <class T> T* DstRow(const Job& j, int r)
{
    return reinterpret_cast<T*>(j.dst) + (size_t(j.dy) + size_t(r)) * j.pitch + j.dx;
}

inline void Put16(uint16_t* p, unsigned v) { std::memcpy(p, &v, 2); }

void Copy565(const Job& j)
{
    const PPalette* pal = Palette(j.img);
    for (int r = 0; r < j.h; ++r) {
        const uint8_t* s = Row(j, r);
        uint16_t* d = DstRow<uint16_t>(j, r);
        for (int t = 0; t < j.w; ++t) {
            int x = j.sx + t;
            switch (j.img->format) {
            case PSURFACE_RGB565:
                Put16(d + t, Px16(s, x));
                break;
            case PSURFACE_INDEX8:
                Put16(d + t, pal ? pal->colors[s[x]] : Grey565(s[x]));
                break;
            default:
                break;
            }
        }
    }
}

void Copy5551(const Job& j)
{
    const PPalette* pal = Palette(j.img);
    unsigned key = j.img->GetColorKeyNative();
    bool zeroIsKey = pal && pal->colors[0] == key;
    for (int r = 0; r < j.h; ++r) {
        const uint8_t* s = Row(j, r);
        uint16_t* d = DstRow<uint16_t>(j, r);
        for (int t = 0; t < j.w; ++t) {
            int x = j.sx + t;
            unsigned out = 0;
            if (j.img->format == PSURFACE_RGB565) {
                unsigned c = Px16(s, x);
                out = To555(c) | (c == key ? 0u : 1u);
            } else if (j.img->format == PSURFACE_INDEX8) {
                unsigned v = s[x];
                if (!pal) {
                    unsigned g = v >> 3;
                    out = v ? (g << 11 | g << 6 | g << 1 | 1u) : 0u;
                } else if (zeroIsKey) {
                    out = v ? (To555(pal->colors[v]) | 1u) : 0u;
                } else {
                    unsigned c = pal->colors[v];
                    out = To555(c) | (c == key ? 0u : 1u);
                }
            } else {
                continue;
            }
            Put16(d + t, out);
        }
    }
}

void Copy4444(const Job& j)
{
    const PPalette* pal = Palette(j.img);
    unsigned key = j.img->GetColorKeyNative();
    for (int r = 0; r < j.h; ++r) {
        const uint8_t* s = Row(j, r);
        const uint8_t* a = AlphaRow(j, r);
        uint16_t* d = DstRow<uint16_t>(j, r);
        for (int t = 0; t < j.w; ++t) {
            int x = j.sx + t;
            unsigned out = 0;
            if (j.img->format == PSURFACE_RGB565) {
                unsigned c = Px16(s, x);
                unsigned al = a ? a[x] / 17 : (c == key ? 0u : 15u);
                out = To444(c) | al;
            } else if (j.img->format == PSURFACE_INDEX8) {
                unsigned v = s[x];
                if (!pal) {
                    unsigned g = v >> 4;
                    if (a)
                        out = g << 12 | g << 8 | g << 4 | a[x] / 17;
                    else
                        out = v ? (g << 12 | g << 8 | g << 4 | 8u) : 0u;
                } else {
                    unsigned al = a ? a[x] / 17 : (v ? 15u : 0u);
                    out = To444(pal->colors[v]) | al;
                }
            } else {
                continue;
            }
            Put16(d + t, out);
        }
    }
}

void CopyLuminance(const Job& j)
{
    const PPalette* pal = Palette(j.img);
    for (int r = 0; r < j.h; ++r) {
        const uint8_t* s = Row(j, r);
        uint8_t* d = DstRow<uint8_t>(j, r);
        for (int t = 0; t < j.w; ++t) {
            int x = j.sx + t;
            if (j.img->format == PSURFACE_RGB565)
                d[t] = uint8_t(Lum(Px16(s, x)));
            else if (j.img->format == PSURFACE_INDEX8)
                d[t] = uint8_t(pal ? Lum(pal->colors[s[x]]) : s[x]);
        }
    }
}

void CopyLuminanceAlpha(const Job& j)
{
    const PPalette* pal = Palette(j.img);
    unsigned key = j.img->GetColorKeyNative();
    for (int r = 0; r < j.h; ++r) {
        const uint8_t* s = Row(j, r);
        const uint8_t* a = AlphaRow(j, r);
        uint8_t* d = reinterpret_cast<uint8_t*>(j.dst) + ((size_t(j.dy) + size_t(r)) * j.pitch + j.dx) * 2;
        for (int t = 0; t < j.w; ++t) {
            int x = j.sx + t;
            unsigned l, al;
            if (j.img->format == PSURFACE_RGB565) {
                // Luminance with the image's alpha, or the colour key as 0.
                unsigned c = Px16(s, x);
                l = Lum(c);
                al = a ? a[x] : (c == key ? 0u : 255u);
            } else if (j.img->format == PSURFACE_INDEX8) {
                unsigned v = s[x];
                if (pal) {
                    l = Lum(pal->colors[v]);
                    al = v ? l : 0u;
                } else {
                    l = al = v;
                }
            } else {
                continue;
            }
            d[t * 2] = uint8_t(l);
            d[t * 2 + 1] = uint8_t(al);
        }
    }
}

void Copy888(const Job& j, bool withAlpha)
{
    const PPalette* pal = Palette(j.img);
    unsigned key = j.img->GetColorKeyNative();
    size_t bpp = withAlpha ? 4 : 3;
    for (int r = 0; r < j.h; ++r) {
        const uint8_t* s = Row(j, r);
        const uint8_t* a = AlphaRow(j, r);
        uint8_t* d = reinterpret_cast<uint8_t*>(j.dst) + ((size_t(j.dy) + size_t(r)) * j.pitch + j.dx) * bpp;
        for (int t = 0; t < j.w; ++t, d += bpp) {
            int x = j.sx + t;
            unsigned R = 0, G = 0, B = 0, A = 255;
            switch (j.img->format) {
            case PSURFACE_RGB565: {
                unsigned c = Px16(s, x);
                R = R8(c), G = G8(c), B = B8(c);
                A = a ? a[x] : (c == key ? 0u : 255u);
                break;
            }
            case PSURFACE_INDEX8: {
                unsigned v = s[x];
                if (pal) {
                    unsigned c = pal->colors[v];
                    R = R8(c), G = G8(c), B = B8(c);
                    A = a ? a[x] : (v ? 255u : 0u);
                } else {
                    R = G = B = v;
                    A = v ? 255u : 0u;
                }
                break;
            }
            case PSURFACE_RGB24:
                R = s[x * 3], G = s[x * 3 + 1], B = s[x * 3 + 2];
                break;
            case PSURFACE_RGBA32:
                R = s[x * 4], G = s[x * 4 + 1], B = s[x * 4 + 2], A = s[x * 4 + 3];
                break;
            default:
                continue;
            }
            d[0] = uint8_t(R);
            d[1] = uint8_t(G);
            d[2] = uint8_t(B);
            if (withAlpha)
                d[3] = uint8_t(A);
        }
    }
}

bool Is4BitPal(uint32_t format) { return format >= kPalette4RGB8 && format <= kPalette4RGB5A1; }
bool IsPal(uint32_t format) { return format >= kPalette4RGB8 && format <= kPalette8RGB5A1; }

// Bytes of one palette entry of a paletted format.
int PalEntryBytes(uint32_t format)
{
    switch ((format - kPalette4RGB8) % 5) {
    case 0:
        return 3;
    case 1:
        return 4;
    default:
        return 2;
    }
}

void WritePalette(uint8_t* out, uint32_t format, const PSurface* img)
{
    const PPalette* pal = Palette(img);
    unsigned entries = Is4BitPal(format) ? 16 : 256;
    unsigned kind = (format - kPalette4RGB8) % 5; // 0 RGB8, 1 RGBA8, 2 565, 3 RGBA4, 4 RGB5_A1
    unsigned key = img->GetColorKeyNative();
    int eb = PalEntryBytes(format);
    std::memset(out, 0, size_t(entries) * size_t(eb));
    if (!pal) {
        // A grey ramp: 0, 17, 34, ... for 16 levels, 0..255 for 256.
        for (unsigned i = 0; i < entries; ++i) {
            unsigned v = entries == 16 ? i * 17 : i;
            uint8_t* e = out + size_t(i) * size_t(eb);
            switch (kind) {
            case 0:
            case 1:
                e[0] = e[1] = e[2] = uint8_t(v);
                if (kind == 1)
                    e[3] = 255;
                break;
            case 2:
                Put16(reinterpret_cast<uint16_t*>(e), Grey565(v));
                break;
            case 3:
                Put16(reinterpret_cast<uint16_t*>(e), (v >> 4) << 12 | (v >> 4) << 8 | (v >> 4) << 4 | 15u);
                break;
            default:
                Put16(reinterpret_cast<uint16_t*>(e), (v >> 3) << 11 | (v >> 3) << 6 | (v >> 3) << 1 | 1u);
                break;
            }
        }
        return;
    }
    unsigned n = pal->count < entries ? pal->count : entries;
    bool zeroIsKey = pal->colors[0] == key;
    for (unsigned i = 0; i < n; ++i) {
        unsigned c = pal->colors[i];
        uint8_t* e = out + size_t(i) * size_t(eb);
        switch (kind) {
        case 0:
            e[0] = uint8_t(R8(c)), e[1] = uint8_t(G8(c)), e[2] = uint8_t(B8(c));
            break;
        case 1:
            e[0] = uint8_t(R8(c)), e[1] = uint8_t(G8(c)), e[2] = uint8_t(B8(c));
            e[3] = uint8_t(pal->alphas ? pal->alphas[i] * 255 / 31 : (c == key ? 0u : 255u));
            break;
        case 2:
            Put16(reinterpret_cast<uint16_t*>(e), c);
            break;
        case 3:
            Put16(reinterpret_cast<uint16_t*>(e), To444(c) | (pal->alphas ? pal->alphas[i] >> 1 : (c == key ? 0u : 15u)));
            break;
        default: {
            unsigned A = zeroIsKey ? (i ? 1u : 0u) : (c == key ? 0u : 1u);
            Put16(reinterpret_cast<uint16_t*>(e), (zeroIsKey && i == 0) ? 0u : (To555(c) | A));
            break;
        }
        }
    }
}

void CopyPal(const Job& j, uint32_t format)
{
    bool four = Is4BitPal(format);
    size_t palBytes = size_t(four ? 16 : 256) * size_t(PalEntryBytes(format));
    WritePalette(j.dst, format, j.img);
    uint8_t* idx = j.dst + palBytes;
    bool indexed = j.img->format == PSURFACE_INDEX8;
    for (int r = 0; r < j.h; ++r) {
        const uint8_t* s = Row(j, r);
        size_t row = size_t(j.dy) + size_t(r);
        for (int t = 0; t < j.w; ++t) {
            unsigned v = indexed ? s[j.sx + t] : 0u;
            size_t x = size_t(j.dx) + size_t(t);
            if (four) {
                // Two indices a byte, the even column in the high nibble.
                uint8_t* p = idx + row * (j.pitch / 2) + x / 2;
                v &= 15;
                *p = (x & 1) ? uint8_t((*p & 0xF0) | v) : uint8_t((*p & 0x0F) | v << 4);
            } else {
                idx[row * j.pitch + x] = uint8_t(v);
            }
        }
    }
}


// ---------------------------------------------------------------------------
// Colour of fully transparent texels

// Texels with alpha as one word: the alpha bits and the colour channels in
// the texel's own bit widths.
struct Texel4444 {
    using Word = uint16_t;
    static constexpr Word kAlpha = 0x000F;
    static void Colour(Word v, unsigned c[3]) { c[0] = v >> 12, c[1] = (v >> 8) & 15, c[2] = (v >> 4) & 15; }
    static Word Make(const unsigned c[3]) { return Word(c[0] << 12 | c[1] << 8 | c[2] << 4); }
};
struct Texel5551 {
    using Word = uint16_t;
    static constexpr Word kAlpha = 0x0001;
    static void Colour(Word v, unsigned c[3]) { c[0] = v >> 11, c[1] = (v >> 6) & 31, c[2] = (v >> 1) & 31; }
    static Word Make(const unsigned c[3]) { return Word(c[0] << 11 | c[1] << 6 | c[2] << 1); }
};
// Bytes R, G, B, A read as one word in memory order: the shift of byte i.
constexpr int ByteShift(int byte) { return std::endian::native == std::endian::little ? 8 * byte : 24 - 8 * byte; }
struct Texel8888 {
    using Word = uint32_t;
    static constexpr int Shift(int byte) { return ByteShift(byte); }
    static constexpr Word kAlpha = Word(0xFF) << ByteShift(3);
    static void Colour(Word v, unsigned c[3])
    {
        for (int i = 0; i < 3; ++i)
            c[i] = (v >> Shift(i)) & 0xFF;
    }
    static Word Make(const unsigned c[3]) { return Word(c[0]) << Shift(0) | Word(c[1]) << Shift(1) | Word(c[2]) << Shift(2); }
};

// A bilinear sample mixes the 2 x 2 texels around its position, so a
// transparent texel's colour reaches the screen only beside a visible texel:
// one of its eight neighbours, or across an edge that repeats. (Clamped edges
// repeat the edge texel itself and bring no new neighbour.) The rows are
// walked once: a row's visible texels spread one texel sideways into a mask,
// three such masks (the rows above, at and below) give the reachable texels,
// and only those read their neighbours; the rest of the transparent texels
// turn black in the same walk. Rows without a transparent texel and rows of
// zeros out of reach are only read. Visible texels never change and only
// they are read for a mean, so the walk works in place.
template <class T> class TexelFill {
public:
    using W = typename T::Word;

    TexelFill(uint8_t* tex, unsigned w, unsigned h, bool wrapS, bool wrapT)
        : m_texels(reinterpret_cast<W*>(tex)), m_w(w), m_h(h), m_wrapS(wrapS), m_wrapT(wrapT)
    {
    }
    ~TexelFill() { PFree(m_scratch); }
    TexelFill(const TexelFill&) = delete;
    TexelFill& operator=(const TexelFill&) = delete;

    // 0, or -1 without memory for the scratch rows.
    int Run()
    {
        if (!Prepare())
            return -1;
        // The rows above, at and below the current one.
        Row above{0, m_none}, at = Spread(0, m_masks[0]), below{0, m_none};
        const Row first = at;
        if (m_wrapT && m_h > 1)
            above = Spread(m_h - 1, m_masks[1]);
        for (unsigned y = 0; y < m_h; ++y) {
            if (y + 1 < m_h) {
                // A buffer that none of the rows kept holds the next one.
                uint8_t* spare = nullptr;
                for (uint8_t* m : m_masks)
                    if (m != above.mask && m != at.mask && m != first.mask) {
                        spare = m;
                        break;
                    }
                below = Spread(y + 1, spare);
            } else {
                below = m_wrapT ? first : Row{0, m_none};
            }
            FillRow(y, above, at, below);
            above = at;
            at = below;
        }
        return 0;
    }

private:
    // What a row holds: kVisible, kAll (every texel visible) and kNonZero
    // (some texel is not all zeros, as rows of padding are), and its mask:
    // none, full, or a spread mask.
    static constexpr unsigned kVisible = 1, kAll = 2, kNonZero = 4;
    struct Row {
        unsigned kind;
        const uint8_t* mask;
    };

    // Scratch: the visibility of one row with a border texel at each end,
    // the spread masks of up to four rows (above, at, below, and the first
    // row again for the last when t repeats), a mask of zeros, one of ones
    // and the reachable texels of the row, with room to read eight past it.
    bool Prepare()
    {
        const size_t n = m_w;
        m_scratch = static_cast<uint8_t*>(PAllocZ(int(9 * n + 16)));
        if (!m_scratch)
            return false;
        m_vis = m_scratch;
        for (size_t i = 0; i < 4; ++i)
            m_masks[i] = m_vis + (i + 1) * n + 2;
        m_none = m_vis + 5 * n + 2;
        uint8_t* full = m_vis + 6 * n + 2;
        std::memset(full, 1, n);
        m_full = full;
        m_reach = m_vis + 7 * n + 2;
        return true;
    }

    // Row y's kind, and its visible texels spread one texel sideways into
    // out (unless the row is all visible or all transparent).
    Row Spread(unsigned y, uint8_t* out)
    {
        const size_t n = m_w;
        const W* row = m_texels + size_t(y) * n;
        uint8_t any = 0, all = 1;
        W bits = 0;
        for (size_t x = 0; x < n; ++x) {
            uint8_t v = (row[x] & T::kAlpha) != 0;
            m_vis[x + 1] = v;
            any |= v;
            all &= v;
            bits |= row[x];
        }
        unsigned kind = (any ? kVisible : 0) | (all ? kAll : 0) | (bits ? kNonZero : 0);
        if (all)
            return Row{kind, m_full};
        if (!any)
            return Row{kind, m_none};
        m_vis[0] = m_wrapS ? m_vis[n] : 0;
        m_vis[n + 1] = m_wrapS ? m_vis[1] : 0;
        for (size_t x = 0; x < n; ++x)
            out[x] = m_vis[x] | m_vis[x + 1] | m_vis[x + 2];
        return Row{kind, out};
    }

    // Mean colour of the visible neighbours of (x, y).
    W Mean(unsigned x, unsigned y) const
    {
        unsigned sum[3] = {0, 0, 0}, count = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            int64_t ny = int64_t(y) + dy;
            if (ny < 0 || ny >= int64_t(m_h)) {
                if (!m_wrapT)
                    continue;
                ny = ny < 0 ? int64_t(m_h) - 1 : 0;
            }
            for (int dx = -1; dx <= 1; ++dx) {
                int64_t nx = int64_t(x) + dx;
                if (nx < 0 || nx >= int64_t(m_w)) {
                    if (!m_wrapS)
                        continue;
                    nx = nx < 0 ? int64_t(m_w) - 1 : 0;
                }
                W v = m_texels[size_t(ny) * m_w + size_t(nx)];
                if (!(v & T::kAlpha))
                    continue;
                unsigned c[3];
                T::Colour(v, c);
                sum[0] += c[0], sum[1] += c[1], sum[2] += c[2];
                ++count;
            }
        }
        const unsigned c[3] = {sum[0] / count, sum[1] / count, sum[2] / count};
        return T::Make(c);
    }

    // Row y's transparent texels: the mean of their visible neighbours
    // where one is in reach, else black.
    void FillRow(unsigned y, const Row& above, const Row& at, const Row& below)
    {
        const size_t n = m_w;
        W* row = m_texels + size_t(y) * n;
        if (at.kind & kAll)
            return; // nothing transparent
        if (!((above.kind | at.kind | below.kind) & kVisible)) {
            // Nothing visible in reach: the row is transparent and turns black.
            if (at.kind & kNonZero)
                for (size_t x = 0; x < n; ++x)
                    row[x] = 0;
            return;
        }
        const uint8_t *u = above.mask, *c = at.mask, *d = below.mask;
        uint8_t any = 0;
        for (size_t x = 0; x < n; ++x) {
            uint8_t clear = !(row[x] & T::kAlpha);
            uint8_t r = uint8_t((u[x] | c[x] | d[x]) & clear);
            m_reach[x] = r;
            any |= r;
            row[x] = clear ? W(0) : row[x];
        }
        for (size_t x = 0; any && x < n; x += 8) {
            uint64_t eight;
            std::memcpy(&eight, m_reach + x, 8);
            if (!eight)
                continue;
            for (size_t i = x; i < x + 8 && i < n; ++i)
                if (m_reach[i])
                    row[i] = Mean(unsigned(i), y);
        }
    }

    W* const m_texels;
    const unsigned m_w, m_h;
    const bool m_wrapS, m_wrapT;
    uint8_t* m_scratch = nullptr;
    uint8_t* m_vis = nullptr;
    uint8_t* m_masks[4] = {};
    const uint8_t* m_none = nullptr;
    const uint8_t* m_full = nullptr;
    uint8_t* m_reach = nullptr;
};

template <class T> int FillTexels(uint8_t* tex, unsigned w, unsigned h, bool wrapS, bool wrapT)
{
    return TexelFill<T>(tex, w, h, wrapS, wrapT).Run();
}

} // namespace

void P3D::CopyTexData(void* dst, unsigned dx, unsigned dy, unsigned pitch, int type, const PSurface* image,
                      const PRect* rect, int flip, int format)
{
    if (!dst || !image || !image->pixels || image->width <= 0 || image->height <= 0)
        return;
    // The rectangle is cut to the image.
    int64_t x0 = rect ? rect->x : 0, y0 = rect ? rect->y : 0;
    int64_t x1 = rect ? x0 + rect->width : image->width, y1 = rect ? y0 + rect->height : image->height;
    if (x0 < 0)
        x0 = 0;
    if (y0 < 0)
        y0 = 0;
    if (x1 > image->width)
        x1 = image->width;
    if (y1 > image->height)
        y1 = image->height;
    if (x1 <= x0 || y1 <= y0)
        return;
    Job j{static_cast<uint8_t*>(dst), dx, dy, pitch, image, int(x0), int(y0), int(x1 - x0), int(y1 - y0),
          (flip & 1) ? -1 : 1};
    uint32_t t = uint32_t(type), f = uint32_t(format);
    if (t == kUnsignedShort5551)
        Copy5551(j);
    else if (t == kUnsignedShort565)
        Copy565(j);
    else if (t == kUnsignedShort4444)
        Copy4444(j);
    else if (IsPal(t))
        CopyPal(j, t);
    else if (t == kUnsignedByte) {
        if (f == kLuminance)
            CopyLuminance(j);
        else if (f == kLuminanceAlpha)
            CopyLuminanceAlpha(j);
        else if (f == kRGB)
            Copy888(j, false);
        else if (f == kRGBA)
            Copy888(j, true);
    }
}

int P3D::FillClearTexels(void* texels, unsigned w, unsigned h, int type, int format, int wrap)
{
    uint8_t* tex = static_cast<uint8_t*>(texels);
    if (!tex || w == 0 || h == 0)
        return 0;
    bool wrapS = wrap & 1, wrapT = wrap & 2;
    switch (uint32_t(type)) {
    case kUnsignedShort4444:
        return FillTexels<Texel4444>(tex, w, h, wrapS, wrapT);
    case kUnsignedShort5551:
        return FillTexels<Texel5551>(tex, w, h, wrapS, wrapT);
    case kUnsignedByte:
        return uint32_t(format) == kRGBA ? FillTexels<Texel8888>(tex, w, h, wrapS, wrapT) : 0;
    case kPalette4RGBA8:
    case kPalette8RGBA8:
        for (int i = 0, n = uint32_t(type) == kPalette4RGBA8 ? 16 : 256; i < n; ++i)
            if (tex[4 * i + 3] == 0)
                tex[4 * i] = tex[4 * i + 1] = tex[4 * i + 2] = 0;
        return 0;
    case kPalette4RGB5A1:
    case kPalette8RGB5A1:
        for (int i = 0, n = uint32_t(type) == kPalette4RGB5A1 ? 16 : 256; i < n; ++i) {
            uint16_t e;
            std::memcpy(&e, tex + 2 * i, 2);
            if (!(e & Texel5551::kAlpha))
                std::memset(tex + 2 * i, 0, 2);
        }
        return 0;
    default:
        return 0; // no alpha
    }
}
