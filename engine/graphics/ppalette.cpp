#include "engine/graphics/ppalette.h"

#include <array>
#include <cstring>

#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"

namespace {

constexpr int AlphaTo5(int a)
{
    int v = (a + 1) >> 3;
    return v < 0 ? 0 : v > 31 ? 31 : v;
}

constexpr std::array<uint16_t, 256> MakeGreyTable()
{
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; i++)
        t[i] = PRGB2Native(i, i, i);
    return t;
}
constexpr std::array<uint16_t, 256> kGrey565 = MakeGreyTable();

} // namespace

uint16_t PGreyRamp565(unsigned i, int depth)
{
    if (depth >= 8)
        return kGrey565[i & 255];
    unsigned max = (1u << depth) - 1;
    unsigned level = (i & max) * 255 / max;
    return kGrey565[level];
}

const uint16_t* PGreyTable565()
{
    return kGrey565.data();
}

PPalette::PPalette() : colors(nullptr), alphas(nullptr), count(0) {}

PPalette::PPalette(unsigned n, void* c, unsigned char* a)
    : colors(static_cast<uint16_t*>(c)), alphas(a), count(n)
{
    // The arrays given may be shorter than an 8-bit index can reach: move
    // them into full-size ones.
    m_capacity = n;
    if (n >= kMinEntries || (!colors && !alphas))
        return;
    uint16_t* nc = colors ? static_cast<uint16_t*>(PAllocZ(kMinEntries * 2)) : nullptr;
    uint8_t* na = alphas ? static_cast<uint8_t*>(PAllocZ(kMinEntries)) : nullptr;
    if ((colors && !nc) || (alphas && !na)) {
        // Out of memory: keep nothing rather than short arrays.
        PFree(nc);
        PFree(na);
        PFree(colors);
        PFree(alphas);
        colors = nullptr;
        alphas = nullptr;
        count = 0;
        m_capacity = 0;
        return;
    }
    if (nc) {
        std::memcpy(nc, colors, size_t(n) * 2);
        PFree(colors);
        colors = nc;
    }
    if (na) {
        std::memcpy(na, alphas, n);
        PFree(alphas);
        alphas = na;
    }
    m_capacity = kMinEntries;
}

PPalette::PPalette(unsigned n, bool withAlpha) : colors(nullptr), alphas(nullptr), count(n)
{
    Allocate(n, withAlpha);
}

PPalette::PPalette(const unsigned* argb, unsigned n, bool withAlpha) : colors(nullptr), alphas(nullptr), count(n)
{
    Allocate(n, withAlpha);
    if (colors && (alphas || !withAlpha) && argb)
        Set(0, argb, n);
}

PPalette::PPalette(const unsigned char* bytes, unsigned n, bool bgr, bool withAlpha)
    : colors(nullptr), alphas(nullptr), count(n)
{
    Allocate(n, withAlpha);
    if (colors && (alphas || !withAlpha) && bytes)
        Set(0, bytes, n, bgr, withAlpha);
}

PPalette::~PPalette()
{
    PFree(colors);
    PFree(alphas);
}

void PPalette::Allocate(unsigned n, bool withAlpha)
{
    if (n == 0)
        return;
    if (n > 65536) {
        // No format stores more; refuse rather than allocate without bound.
        count = 0;
        return;
    }
    unsigned cap = n < kMinEntries ? kMinEntries : n;
    colors = static_cast<uint16_t*>(PAllocZ(int(cap * 2)));
    if (withAlpha) {
        alphas = static_cast<uint8_t*>(PAlloc(int(cap)));
        if (alphas)
            std::memset(alphas, 31, cap);
    }
    m_capacity = colors ? cap : 0;
}

PPalette* PPalette::Create(unsigned n, const unsigned char* bytes, bool bgr, bool withAlpha)
{
    PPalette* p = new PPalette(bytes, n, bgr, withAlpha);
    if (p && (!p->colors || (withAlpha && !p->alphas))) {
        delete p;
        return nullptr;
    }
    return p;
}

PPalette* PPalette::Create(unsigned n, const unsigned* argb, bool withAlpha)
{
    PPalette* p = new PPalette(argb, n, withAlpha);
    if (p && (!p->colors || (withAlpha && !p->alphas))) {
        delete p;
        return nullptr;
    }
    return p;
}

PPalette* PPalette::CreateGreyRamp(unsigned m)
{
    if (m < 2 || m > 256)
        return nullptr;
    PPalette* p = new PPalette(m, false);
    if (p && !p->colors) {
        delete p;
        return nullptr;
    }
    if (p) {
        for (unsigned i = 0; i < m; i++) {
            int level = int(i * 255 / (m - 1));
            p->Set(i, level, level, level);
        }
    }
    return p;
}

bool PPalette::EnsureAlphas()
{
    if (alphas)
        return true;
    if (!colors || m_capacity == 0)
        return false;
    alphas = static_cast<uint8_t*>(PAlloc(int(m_capacity)));
    if (!alphas)
        return false;
    std::memset(alphas, 31, m_capacity);
    return true;
}

unsigned PPalette::Get(unsigned i) const
{
    if (!colors || i >= m_capacity)
        return 0;
    unsigned rgb = PNative2RGB(colors[i]);
    unsigned a = alphas ? (alphas[i] & 31) * 255 / 31 : 255;
    return (a << 24) | rgb;
}

void PPalette::Set(unsigned i, int r, int g, int b)
{
    if (colors && i < m_capacity)
        colors[i] = PRGB2Native(r, g, b);
}

void PPalette::Set(unsigned i, int r, int g, int b, int a)
{
    if (!colors || i >= m_capacity)
        return;
    colors[i] = PRGB2Native(r, g, b);
    if (alphas)
        alphas[i] = uint8_t(AlphaTo5(a));
}

void PPalette::Set(unsigned i, unsigned argb)
{
    if (!colors || i >= m_capacity)
        return;
    colors[i] = PRGB2Native(argb);
    if (alphas)
        alphas[i] = uint8_t(argb >> 27);
}

void PPalette::SetAlpha(unsigned i, int a)
{
    if (alphas && i < m_capacity)
        alphas[i] = uint8_t(AlphaTo5(a));
}

void PPalette::Set(unsigned first, const unsigned* argb, unsigned n)
{
    for (unsigned k = 0; k < n; k++)
        Set(first + k, argb[k]);
}

void PPalette::Set(unsigned first, const unsigned char* bytes, unsigned n, bool bgr, bool withAlpha)
{
    const unsigned step = withAlpha ? 4 : 3;
    for (unsigned k = 0; k < n; k++, bytes += step) {
        unsigned i = first + k;
        if (!colors || i >= m_capacity)
            return;
        int r = bgr ? bytes[2] : bytes[0];
        int b = bgr ? bytes[0] : bytes[2];
        colors[i] = PRGB2Native(r, bytes[1], b);
        if (withAlpha && alphas)
            alphas[i] = uint8_t(bytes[3] >> 3);
    }
}
