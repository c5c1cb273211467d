// PNG files of presented frames: 8-bit RGB or RGBA, one zlib stream in one
// IDAT chunk, written to a temporary file and renamed over the target.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "host/hostwindow.h"

namespace host {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void Chunk(std::vector<uint8_t>& out, char const* type, uint8_t const* data, size_t len)
{
    Put32(out, uint32_t(len));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (len)
        out.insert(out.end(), data, data + len);
    uLong crc = crc32(0L, out.data() + start, uInt(len + 4));
    Put32(out, uint32_t(crc));
}

} // namespace

int WritePng(char const* path, uint8_t const* pixels, int width, int height, int channels, int stride)
{
    if (!path || !pixels || width <= 0 || height <= 0 || width > 16384 || height > 16384 ||
        (channels != 3 && channels != 4))
        return 0;
    size_t rowBytes = size_t(width) * size_t(channels);
    std::vector<uint8_t> raw((rowBytes + 1) * size_t(height));
    for (int y = 0; y < height; ++y) {
        uint8_t* dst = raw.data() + size_t(y) * (rowBytes + 1);
        dst[0] = 0; // filter: none
        std::memcpy(dst + 1, pixels + ptrdiff_t(y) * stride, rowBytes);
    }
    uLongf packedLen = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedLen);
    if (compress2(packed.data(), &packedLen, raw.data(), uLong(raw.size()), 6) != Z_OK)
        return 0;

    std::vector<uint8_t> file;
    static uint8_t const kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    file.insert(file.end(), kSignature, kSignature + 8);
    uint8_t ihdr[13];
    uint32_t w = uint32_t(width), h = uint32_t(height);
    uint8_t const header[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                8, uint8_t(channels == 4 ? 6 : 2), 0, 0, 0};
    std::memcpy(ihdr, header, sizeof ihdr);
    Chunk(file, "IHDR", ihdr, sizeof ihdr);
    Chunk(file, "IDAT", packed.data(), packedLen);
    Chunk(file, "IEND", nullptr, 0);

    std::string tmp = std::string(path) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return 0;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path) != 0) {
        std::remove(tmp.c_str());
        return 0;
    }
    return 1;
}

} // namespace host
