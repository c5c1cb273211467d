// A small PNG reader for the tests: 8-bit RGB or RGBA, filter type 0 rows, as
// the host writes them. Checks the signature, chunk CRCs and sizes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <zlib.h>

struct TestImage {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels; // rows top-down, no padding
    uint8_t const* At(int x, int y) const { return pixels.data() + (size_t(y) * width + x) * channels; }
};

inline bool ReadTestPng(std::string const& path, TestImage* out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> d;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        d.insert(d.end(), buf, buf + n);
    std::fclose(f);
    static uint8_t const sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (d.size() < 8 || !std::equal(sig, sig + 8, d.begin()))
        return false;
    auto be32 = [&](size_t p) { return uint32_t(d[p]) << 24 | uint32_t(d[p + 1]) << 16 | uint32_t(d[p + 2]) << 8 | d[p + 3]; };
    std::vector<uint8_t> idat;
    size_t p = 8;
    bool end = false;
    while (!end) {
        if (p + 12 > d.size())
            return false;
        uint32_t len = be32(p);
        if (len > d.size() - p - 12)
            return false;
        std::string type(reinterpret_cast<char const*>(&d[p + 4]), 4);
        if (crc32(0, &d[p + 4], len + 4) != be32(p + 8 + len))
            return false;
        uint8_t const* data = &d[p + 8];
        if (type == "IHDR") {
            if (len != 13 || data[8] != 8)
                return false;
            out->width = int(be32(p + 8));
            out->height = int(be32(p + 12));
            out->channels = data[9] == 6 ? 4 : data[9] == 2 ? 3 : 0;
            if (!out->channels)
                return false;
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + len);
        } else if (type == "IEND") {
            end = true;
        }
        p += 12 + len;
    }
    size_t row = size_t(out->width) * out->channels;
    std::vector<uint8_t> raw((row + 1) * out->height);
    uLongf rawLen = raw.size();
    if (uncompress(raw.data(), &rawLen, idat.data(), idat.size()) != Z_OK || rawLen != raw.size())
        return false;
    out->pixels.resize(row * out->height);
    for (int y = 0; y < out->height; ++y) {
        if (raw[y * (row + 1)] != 0)
            return false;
        std::copy_n(&raw[y * (row + 1) + 1], row, &out->pixels[y * row]);
    }
    return true;
}
