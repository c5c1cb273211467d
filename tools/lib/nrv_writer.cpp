#include "tools/lib/nrv_writer.h"

#include <cstdlib>
#include <cstring>

#include "tools/lib/plzp_writer.h"
#include "tools/lib/toolfile.h"

namespace {

int Paeth(int a, int b, int c)
{
    int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

bool Fail(std::string* err, std::string const& msg)
{
    if (err)
        *err = msg;
    return false;
}

} // namespace

int NrvBytesPerPixel(int format)
{
    if (format < 0 || format > 8)
        return 0;
    return format <= 3 ? 1 : format <= 6 ? 2 : format == 7 ? 3 : 4;
}

int NrvRowBytes(int format, int width, int flags)
{
    int n = NrvBytesPerPixel(format) * width;
    return (flags & kNrvFlagUnpadded) ? n : (n + 3) & ~3;
}

void NrvPaethRow(uint8_t* out, uint8_t const* cur, uint8_t const* prev, int n, int bpp, int width)
{
    if (bpp == 2) {
        std::memcpy(out, cur, size_t(n));
        for (int i = 0; i < width; i++) {
            int a = i ? (cur[2 * i - 2] | cur[2 * i - 1] << 8) : 0;
            int b = prev[2 * i] | prev[2 * i + 1] << 8;
            int c = i ? (prev[2 * i - 2] | prev[2 * i - 1] << 8) : 0;
            unsigned v = unsigned((cur[2 * i] | cur[2 * i + 1] << 8) - Paeth(a, b, c)) & 0xFFFF;
            out[2 * i] = uint8_t(v);
            out[2 * i + 1] = uint8_t(v >> 8);
        }
        return;
    }
    for (int i = 0; i < n; i++) {
        int a = i >= bpp ? cur[i - bpp] : 0;
        int c = i >= bpp ? prev[i - bpp] : 0;
        out[i] = uint8_t(cur[i] - Paeth(a, prev[i], c));
    }
}

bool NrvEncode(NrvImage const& img, int flags, std::vector<uint8_t>* out, std::string* err)
{
    const int bpp = NrvBytesPerPixel(img.format);
    if (bpp == 0)
        return Fail(err, "pixel format must be 0..8");
    if (img.width <= 0 || img.height <= 0 || img.width > 65535 || img.height > 65535)
        return Fail(err, "width and height must be 1..65535");
    const size_t w = size_t(img.width), h = size_t(img.height);
    if (img.pixels.size() != w * h * size_t(bpp))
        return Fail(err, "pixel data does not match the size");
    const bool indexed = img.format <= 3;
    const size_t palCount = indexed ? img.palette.size() : 0;
    if (palCount > 65535)
        return Fail(err, "palette longer than 65535 entries");
    if ((flags & kNrvFlagAlpha) && img.alpha.size() != w * h)
        return Fail(err, "alpha plane does not match the size");
    if ((flags & kNrvFlagExtra) && (flags & kNrvFlagPaeth) && !img.extra.empty() && img.extra[0] != 0)
        return Fail(err, "with Paeth rows the extra block must start with 0");

    std::vector<uint8_t>& o = *out;
    o.clear();
    o.push_back(uint8_t(img.format));
    o.push_back(uint8_t(flags));
    PutLE16(o, unsigned(palCount));
    PutLE16(o, unsigned(img.width));
    PutLE16(o, unsigned(img.height));
    PutLE32(o, img.key);
    if (flags & kNrvFlagExtra) {
        std::vector<uint8_t> extra = img.extra;
        if ((flags & kNrvFlagPaeth) && extra.empty())
            extra.push_back(0);
        PutLE32(o, uint32_t(extra.size()));
        o.insert(o.end(), extra.begin(), extra.end());
    }
    if (palCount) {
        const int e = (flags & kNrvFlag3Byte) ? 3 : 4;
        std::vector<uint8_t> pal;
        for (uint32_t c : img.palette) {
            pal.push_back(uint8_t(c));       // B
            pal.push_back(uint8_t(c >> 8));  // G
            pal.push_back(uint8_t(c >> 16)); // R
            if (e == 4)
                pal.push_back(uint8_t(c >> 24));
        }
        if (flags & kNrvFlagDelta)
            for (size_t i = pal.size(); i-- > size_t(e);)
                pal[i] = uint8_t(pal[i] - pal[i - e]);
        o.insert(o.end(), pal.begin(), pal.end());
    }

    const int rowBytes = NrvRowBytes(img.format, img.width, flags);
    std::vector<uint8_t> prev(size_t(rowBytes), 0), cur(size_t(rowBytes), 0), filtered(size_t(rowBytes), 0);
    for (size_t y = 0; y < h; y++) {
        std::fill(cur.begin(), cur.end(), 0);
        std::memcpy(cur.data(), img.pixels.data() + y * w * bpp, w * bpp);
        if (flags & kNrvFlagPaeth) {
            NrvPaethRow(filtered.data(), cur.data(), prev.data(), rowBytes, bpp, img.width);
            o.insert(o.end(), filtered.begin(), filtered.end());
        } else {
            o.insert(o.end(), cur.begin(), cur.end());
        }
        prev.swap(cur);
    }
    if (flags & kNrvFlagAlpha) {
        // The alpha plane's first row is predicted from the first width bytes
        // of the last pixel row (prev holds it now).
        std::vector<uint8_t> aprev(prev.begin(), prev.begin() + long(w)), arow(w, 0), af(w, 0);
        for (size_t y = 0; y < h; y++) {
            std::memcpy(arow.data(), img.alpha.data() + y * w, w);
            if (flags & kNrvFlagPaeth) {
                NrvPaethRow(af.data(), arow.data(), aprev.data(), int(w), 1, img.width);
                o.insert(o.end(), af.begin(), af.end());
            } else {
                o.insert(o.end(), arow.begin(), arow.end());
            }
            aprev.swap(arow);
        }
    }
    return true;
}

bool NrvWriteFile(std::string const& path, NrvImage const& img, int flags, bool plzp, std::string* err)
{
    std::vector<uint8_t> data;
    if (!NrvEncode(img, flags, &data, err))
        return false;
    if (plzp) {
        std::vector<uint8_t> packed;
        if (!PlzpCompress(data.data(), data.size(), 9, PlzpForm::Header, &packed))
            return Fail(err, "compression failed");
        data.swap(packed);
    }
    return WriteFileAtomic(path, data, err);
}
