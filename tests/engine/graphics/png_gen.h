// A PNG writer of the tests' own, with control over every byte the engine's
// decoder reacts to: filter types, IDAT splitting, zlib level, chunk order.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

struct PngSpec {
    int colorType = 2;
    int depth = 8;
    int width = 1;
    int height = 1;
    std::vector<uint8_t> rows; // unfiltered, packed rows of RowBytes() each
    std::vector<uint8_t> plte; // R, G, B triples; written when not empty
    std::vector<uint8_t> trns; // written when hasTrns
    bool hasTrns = false;
    std::vector<uint8_t> bkgd; // written when hasBkgd
    bool hasBkgd = false;
    bool bkgdFirst = false;    // bKGD before tRNS
    int filter = 0;            // 0..4 for every row, 5 cycles through them, >5 written as is
    int level = 6;             // zlib level
    int idatSize = 0;          // bytes of compressed data per IDAT (0: one IDAT)
    bool emptyIdats = false;   // an empty IDAT after each one
    int interlace = 0;
    // Chunks written after IHDR (and after PLTE when plteFirst).
    std::vector<std::pair<std::string, std::vector<uint8_t>>> extra;

    int Channels() const { return colorType == 2 ? 3 : colorType == 6 ? 4 : colorType == 4 ? 2 : 1; }
    int Unit() const
    {
        int bits = Channels() * depth;
        return bits < 8 ? 1 : bits / 8;
    }
    size_t RowBytes() const { return (size_t(width) * Channels() * depth + 7) / 8; }
};

namespace pnggen {

inline void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(uint8_t(x >> 24));
    v.push_back(uint8_t(x >> 16));
    v.push_back(uint8_t(x >> 8));
    v.push_back(uint8_t(x));
}

inline void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    Put32(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uint32_t crc = uint32_t(crc32(0, out.data() + start, uInt(out.size() - start)));
    Put32(out, crc);
}

inline int Paeth(int a, int b, int c)
{
    int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// The filtered image data: a filter byte and the filtered row, per row.
inline std::vector<uint8_t> Filter(const PngSpec& s)
{
    const size_t n = s.RowBytes();
    const int u = s.Unit();
    std::vector<uint8_t> out;
    if (n == 0)
        return std::vector<uint8_t>(size_t(s.height), 0);
    std::vector<uint8_t> prev(n, 0);
    for (int y = 0; y < s.height; y++) {
        const uint8_t* cur = s.rows.data() + size_t(y) * n;
        int f = s.filter == 5 ? y % 5 : s.filter;
        out.push_back(uint8_t(f));
        for (size_t i = 0; i < n; i++) {
            int a = i >= size_t(u) ? cur[i - u] : 0, b = prev[i], c = i >= size_t(u) ? prev[i - u] : 0;
            int p = f == 1 ? a : f == 2 ? b : f == 3 ? (a + b) / 2 : f == 4 ? Paeth(a, b, c) : 0;
            out.push_back(uint8_t(cur[i] - p));
        }
        prev.assign(cur, cur + n);
    }
    return out;
}

inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw, int level)
{
    uLongf len = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(len);
    compress2(z.data(), &len, raw.data(), uLong(raw.size()), level);
    z.resize(len);
    return z;
}

inline std::vector<uint8_t> Ihdr(const PngSpec& s)
{
    std::vector<uint8_t> h;
    Put32(h, uint32_t(s.width));
    Put32(h, uint32_t(s.height));
    h.push_back(uint8_t(s.depth));
    h.push_back(uint8_t(s.colorType));
    h.push_back(0);
    h.push_back(0);
    h.push_back(uint8_t(s.interlace));
    return h;
}

} // namespace pnggen

inline std::vector<uint8_t> MakePng(const PngSpec& s)
{
    using namespace pnggen;
    std::vector<uint8_t> out = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    Chunk(out, "IHDR", Ihdr(s));
    for (auto& e : s.extra)
        Chunk(out, e.first.c_str(), e.second);
    if (!s.plte.empty())
        Chunk(out, "PLTE", s.plte);
    if (s.hasBkgd && s.bkgdFirst)
        Chunk(out, "bKGD", s.bkgd);
    if (s.hasTrns)
        Chunk(out, "tRNS", s.trns);
    if (s.hasBkgd && !s.bkgdFirst)
        Chunk(out, "bKGD", s.bkgd);
    std::vector<uint8_t> z = Deflate(Filter(s), s.level);
    size_t step = s.idatSize > 0 ? size_t(s.idatSize) : z.size();
    for (size_t at = 0; at < z.size(); at += step) {
        size_t k = std::min(step, z.size() - at);
        Chunk(out, "IDAT", std::vector<uint8_t>(z.begin() + long(at), z.begin() + long(at + k)));
        if (s.emptyIdats)
            Chunk(out, "IDAT", {});
    }
    Chunk(out, "IEND", {});
    return out;
}
