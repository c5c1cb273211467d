// PNG files of presented frames: 8-bit RGB or RGBA, one zlib stream in one
// IDAT chunk, written to a temporary file and renamed over the target.
// Scripted runs save frames by the thousand, so the stream is packed at
// zlib's fastest level: a third of the time of its default level for files
// about half as large again.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "host/hostwindow.h"

namespace host {

namespace {

// Appends to a buffer sized in advance.
struct Writer {
    uint8_t* p;
    void Bytes(void const* data, size_t n)
    {
        if (n)
            std::memcpy(p, data, n);
        p += n;
    }
    void Be32(uint32_t v)
    {
        uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        Bytes(b, 4);
    }
    void Chunk(char const* type, uint8_t const* data, size_t len)
    {
        Be32(uint32_t(len));
        uint8_t* start = p;
        Bytes(type, 4);
        Bytes(data, len);
        Be32(uint32_t(crc32(0L, start, uInt(len + 4))));
    }
};

} // namespace

int WritePng(char const* path, uint8_t const* pixels, int width, int height, int channels, int stride)
{
    if (!path || !pixels || width <= 0 || height <= 0 || width > 16384 || height > 16384 ||
        (channels != 3 && channels != 4))
        return 0;
    // The buffers stay for the next frame: a run saves frames of one size,
    // and fresh ones would cost their zeroing and page faults every time.
    thread_local std::vector<uint8_t> raw, file;
    size_t rowBytes = size_t(width) * size_t(channels);
    raw.resize((rowBytes + 1) * size_t(height));
    for (int y = 0; y < height; ++y) {
        uint8_t* dst = raw.data() + size_t(y) * (rowBytes + 1);
        dst[0] = 0; // filter: none
        std::memcpy(dst + 1, pixels + ptrdiff_t(y) * stride, rowBytes);
    }
    // Signature, IHDR, then the IDAT chunk's length and type, its zlib
    // stream packed in place after them, its CRC and IEND.
    constexpr size_t kHead = 8 + (12 + 13) + 8;
    uLongf packedLen = compressBound(uLong(raw.size()));
    file.resize(kHead + packedLen + 4 + 12);
    if (compress2(file.data() + kHead, &packedLen, raw.data(), uLong(raw.size()), Z_BEST_SPEED) != Z_OK)
        return 0;

    static uint8_t const kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint32_t w = uint32_t(width), h = uint32_t(height);
    uint8_t const ihdr[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                              uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                              8, uint8_t(channels == 4 ? 6 : 2), 0, 0, 0};
    Writer out = {file.data()};
    out.Bytes(kSignature, sizeof kSignature);
    out.Chunk("IHDR", ihdr, sizeof ihdr);
    uint8_t* idat = out.p;
    out.Be32(uint32_t(packedLen));
    out.Bytes("IDAT", 4);
    out.p += packedLen;
    out.Be32(uint32_t(crc32(0L, idat + 4, uInt(packedLen + 4))));
    out.Chunk("IEND", nullptr, 0);
    size_t size = size_t(out.p - file.data());

    std::string tmp = std::string(path) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return 0;
    bool ok = std::fwrite(file.data(), 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path) != 0) {
        std::remove(tmp.c_str());
        return 0;
    }
    return 1;
}

} // namespace host
