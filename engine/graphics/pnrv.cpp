// The NRV image reader (layout in docs/formats/nrv.md).
#include <algorithm>
#include <cstring>

#include "engine/graphics/pimage.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pstream.h"

namespace {

enum : int {
    kNrvAlpha = 0x01,
    kNrvPaeth = 0x02,
    kNrvDelta = 0x04,
    kNrv3Byte = 0x08,
    kNrvKey = 0x10,
    kNrvGrey = 0x20,
    kNrvUnpadded = 0x40,
    kNrvExtra = 0x80,
};

// Undoes byte-wise Paeth over n bytes with a pixel of unit bytes.
void UnPaeth8(uint8_t* cur, const uint8_t* prev, int n, int unit)
{
    for (int i = 0; i < n; i++) {
        int a = i >= unit ? cur[i - unit] : 0;
        int c = i >= unit ? prev[i - unit] : 0;
        cur[i] = uint8_t(cur[i] + PPaeth(a, prev[i], c));
    }
}

// Undoes Paeth on the first w little-endian 16-bit values.
void UnPaeth16(uint8_t* cur, const uint8_t* prev, int w)
{
    for (int i = 0; i < w; i++) {
        int a = i ? (cur[2 * i - 2] | cur[2 * i - 1] << 8) : 0;
        int b = prev[2 * i] | prev[2 * i + 1] << 8;
        int c = i ? (prev[2 * i - 2] | prev[2 * i - 1] << 8) : 0;
        unsigned v = unsigned((cur[2 * i] | cur[2 * i + 1] << 8) + PPaeth(a, b, c)) & 0xFFFF;
        cur[2 * i] = uint8_t(v);
        cur[2 * i + 1] = uint8_t(v >> 8);
    }
}

int Fail(const char* why)
{
    _PDebug("NRV: %s\n", why);
    return -1;
}

int BytesPerStoredPixel(int format)
{
    return format <= 3 ? 1 : format <= 6 ? 2 : format == 7 ? 3 : 4;
}

struct Header {
    int format, flags, paletteCount, width, height;
    unsigned key;
};

bool ReadHeader(PStream& s, Header& h)
{
    uint8_t b[12];
    if (s.ReadFully(b, 12) != 12)
        return false;
    h.format = b[0];
    h.flags = b[1];
    h.paletteCount = b[2] | b[3] << 8;
    h.width = b[4] | b[5] << 8;
    h.height = b[6] | b[7] << 8;
    h.key = PLoad32(b + 8);
    return true;
}

// The least the data after the header must hold for an image of w x h:
// extra block length, palette, pixel rows and alpha plane.
int64_t LeastDataBytes(int fmt, int flags, int paletteCount, int w, int h)
{
    int64_t rowBytes = int64_t(w) * BytesPerStoredPixel(fmt);
    if (!(flags & kNrvUnpadded))
        rowBytes = (rowBytes + 3) & ~int64_t(3);
    int64_t need = rowBytes * h;
    if (flags & kNrvExtra)
        need += (flags & kNrvPaeth) ? 5 : 4;
    if (fmt <= 3 && paletteCount >= 1)
        need += int64_t(paletteCount) * ((flags & kNrv3Byte) ? 3 : 4);
    if (flags & kNrvAlpha)
        need += int64_t(w) * h;
    return need;
}

// Bytes left in s, or -1 when the stream cannot tell.
int64_t Remaining(PStream& s)
{
    if (!s.CanSeek())
        return -1;
    long size = s.Size();
    long pos = s.Seek(0, 1);
    if (size < 0 || pos < 0 || pos > size)
        return -1;
    return int64_t(size) - pos;
}

// Resources of one load, released on every exit.
struct NrvLoad {
    PPalette* palette = nullptr;
    uint8_t* rows = nullptr;
    uint8_t* buf = nullptr;
    PDrawableSurface* locked = nullptr;
    ~NrvLoad()
    {
        if (locked)
            locked->Unlock();
        delete palette;
        PFree(rows);
        PFree(buf);
    }
};

} // namespace

int PSurface::LoadNRV(PStream& s, int x, int y, int loadFlags)
{
    Header h;
    if (!ReadHeader(s, h))
        return Fail("short header");
    return LoadNRV(s, x, y, h.width, h.height, PGraphicsFormat(h.format), h.flags, h.paletteCount, h.key, loadFlags);
}

int PSurface::LoadNRV(PStream& s, int x, int y, int w, int h, PGraphicsFormat fmt, int flags, int paletteCount,
                      unsigned key, int loadFlags)
{
    if (unsigned(fmt) > 8)
        return Fail("unsupported pixel format");
    if (w <= 0 || h <= 0 || w > kPSurfaceMaxSide || h > kPSurfaceMaxSide)
        return Fail("refused image size");
    if (paletteCount < 0 || paletteCount > 65535)
        return Fail("bad palette count");
    const bool indexed = fmt <= 3;
    const int unit = BytesPerStoredPixel(fmt);
    int64_t rowBytes64 = int64_t(w) * unit;
    if (!(flags & kNrvUnpadded))
        rowBytes64 = (rowBytes64 + 3) & ~int64_t(3);
    const int rowBytes = int(rowBytes64);

    // A stream that knows its size and holds less than the image needs is
    // refused before anything is allocated for the image.
    int64_t left = Remaining(s);
    if (left >= 0 && left < LeastDataBytes(fmt, flags, paletteCount, w, h))
        return Fail("data too short for the declared image");

    NrvLoad L;
    if (!pixels) {
        int f = indexed ? PSURFACE_INDEX8 : PSURFACE_RGB565;
        int p = GetPitch(w, PSurfaceFormat(f));
        int64_t bytes = CheckedSize(w, h, p);
        if (bytes < 0)
            return Fail("refused image size");
        auto* px = static_cast<unsigned char*>(PAllocZ(int(bytes)));
        if (!px)
            return Fail("out of memory");
        format = uint8_t(f);
        width = w;
        height = h;
        pitch = p;
        pixels = px;
        this->flags &= ~PSURF_NOTOWNED;
    }
    if (!PIsLoadTarget(*this))
        return Fail("unusable target surface");
    const int bpp = BytesPerPixel();

    if (flags & kNrvExtra) {
        uint8_t b[4];
        if (s.ReadFully(b, 4) != 4)
            return Fail("short extra block");
        uint32_t len = PLoad32(b);
        if (flags & kNrvPaeth) {
            if (len == 0 || s.ReadFully(b, 1) != 1 || b[0] != 0)
                return Fail("bad extra block");
            len -= 1;
        }
        if (len > 0x7FFFFFFF || (len && s.Skip(int(len)) != int(len)))
            return Fail("short extra block");
    }

    if (((flags & kNrvAlpha) || fmt == PGF_BGRA32) && !alpha && format != PSURFACE_RGBA32 &&
        !(loadFlags & PLOAD_NOALPHA)) {
        int64_t n = CheckedSize(width, height, width);
        alpha = n > 0 ? static_cast<uint8_t*>(PAllocZ(int(n))) : nullptr;
        if (!alpha)
            return Fail("out of memory");
        this->flags |= PSURF_OWNALPHA;
    }

    const bool keepTargetPalette = format == PSURFACE_INDEX8 && (loadFlags & PLOAD_KEEPPALETTE);
    if (!indexed) {
        colorKey = (flags & kNrvKey) ? key : 0xFF00FF;
    } else {
        if (paletteCount >= 1) {
            const int e = (flags & kNrv3Byte) ? 3 : 4;
            const int total = paletteCount * e;
            if (keepTargetPalette) {
                if (s.Skip(total) != total)
                    return Fail("short palette");
            } else {
                const bool withAlpha = !(flags & kNrv3Byte) && !(loadFlags & PLOAD_NOALPHA);
                L.palette = new PPalette(unsigned(paletteCount), withAlpha);
                if (!L.palette || !L.palette->colors || (withAlpha && !L.palette->alphas))
                    return Fail("out of memory");
                if (flags & kNrvDelta) {
                    L.buf = static_cast<uint8_t*>(PAlloc(total));
                    if (!L.buf)
                        return Fail("out of memory");
                    if (s.ReadFully(L.buf, total) != total)
                        return Fail("short palette");
                    for (int i = e; i < total; i++)
                        L.buf[i] = uint8_t(L.buf[i] + L.buf[i - e]);
                    L.palette->Set(0, L.buf, unsigned(paletteCount), true, e == 4);
                } else {
                    uint8_t piece[128];
                    const int per = 128 / e;
                    for (int first = 0; first < paletteCount; first += per) {
                        int k = std::min(per, paletteCount - first);
                        if (s.ReadFully(piece, k * e) != k * e)
                            return Fail("short palette");
                        L.palette->Set(unsigned(first), piece, unsigned(k), true, e == 4);
                    }
                }
            }
        } else if ((flags & kNrvGrey) && !keepTargetPalette) {
            static constexpr unsigned kRamp[4] = {2, 4, 16, 256};
            L.palette = PPalette::CreateGreyRamp(kRamp[fmt]);
            if (!L.palette)
                return Fail("out of memory");
            this->flags |= PSURF_GREYRAMP;
        }
        if (flags & kNrvKey) {
            if (L.palette && key < L.palette->count)
                colorKey = L.palette->Get(key);
            else if (palette && key < palette->count)
                colorKey = palette->Get(key);
            else
                colorKey = key;
        } else {
            colorKey = 0xFF00FF;
        }
    }

    const PImagePlacement at(x, y, w, h, width, height);
    const bool bottomUp = loadFlags & PLOAD_BOTTOMUP;
    const size_t srcX0 = size_t(at.srcX0), dstX0 = size_t(at.dstX0), drawW = size_t(at.drawW);

    L.rows = static_cast<uint8_t*>(PAllocZ(rowBytes * 2));
    if (!L.rows)
        return Fail("out of memory");
    if (this->flags & PSURF_DRAWABLE) {
        L.locked = static_cast<PDrawableSurface*>(this);
        L.locked->Lock();
    }
    const PPalette* convPalette = L.palette ? L.palette : palette;
    const PGraphicsFormat srcFormat = indexed ? PGF_INDEX8 : fmt;
    const bool alphaFromPixels = fmt == PGF_BGRA32 && alpha && !(loadFlags & PLOAD_NOALPHA) &&
                                 format != PSURFACE_RGBA32;
    uint8_t* cur = L.rows;
    uint8_t* prev = L.rows + rowBytes;
    for (int r = 0; r < h; r++) {
        std::swap(cur, prev);
        if (s.ReadFully(cur, rowBytes) != rowBytes)
            return Fail("short pixel row");
        if (flags & kNrvPaeth) {
            if (unit == 2)
                UnPaeth16(cur, prev, w);
            else
                UnPaeth8(cur, prev, rowBytes, unit);
        }
        if (!at.Shows(r))
            continue;
        const size_t dy = size_t(at.DestRow(r, bottomUp));
        const uint8_t* src = cur + srcX0 * unit;
        ConvertLine(pixels + dy * size_t(pitch) + dstX0 * bpp, PSurfaceFormat(format), src, srcFormat, convPalette,
                    int(drawW), 0xFF00FF);
        if (alphaFromPixels) {
            uint8_t* a = alpha + dy * size_t(width) + dstX0;
            for (size_t i = 0; i < drawW; i++)
                a[i] = src[i * 4 + 3];
        }
    }
    if (L.locked) {
        L.locked->Unlock();
        L.locked = nullptr;
    }
    if (L.palette) {
        if (format == PSURFACE_INDEX8 && !(loadFlags & PLOAD_KEEPPALETTE)) {
            if (this->flags & PSURF_OWNPALETTE)
                delete palette;
            palette = L.palette;
            this->flags |= PSURF_OWNPALETTE;
            L.palette = nullptr;
        }
    }

    if (flags & kNrvAlpha) {
        if (alphaFromPixels || (loadFlags & PLOAD_NOALPHA) || !alpha) {
            int64_t n = int64_t(w) * h;
            if (s.Skip(int(n)) != int(n))
                return Fail("short alpha plane");
        } else {
            // The alpha plane's first row is predicted from the first w bytes
            // of the last pixel row.
            uint8_t* aprev = cur;
            uint8_t* acur = prev;
            for (int r = 0; r < h; r++) {
                if (s.ReadFully(acur, w) != w)
                    return Fail("short alpha row");
                if (flags & kNrvPaeth)
                    UnPaeth8(acur, aprev, w, 1);
                if (at.Shows(r))
                    std::memcpy(alpha + size_t(at.DestRow(r, bottomUp)) * size_t(width) + dstX0, acur + srcX0,
                                drawW);
                std::swap(acur, aprev);
            }
        }
    }
    return 0;
}

PSurface* PSurface::CreateFromNRV(PStream& s, int loadFlags)
{
    Header h;
    if (!ReadHeader(s, h)) {
        Fail("short header");
        return nullptr;
    }
    if (h.format > 8) {
        Fail("unsupported pixel format");
        return nullptr;
    }
    PSurfaceFormat f = h.format <= 3   ? PSURFACE_INDEX8
                       : h.format <= 6 ? PSURFACE_RGB565
                                       : PTrueColourFormat(loadFlags);
    if (h.width <= 0 || h.height <= 0 || h.width > kPSurfaceMaxSide || h.height > kPSurfaceMaxSide) {
        Fail("refused image size");
        return nullptr;
    }
    int64_t left = Remaining(s);
    if (left >= 0 && left < LeastDataBytes(h.format, h.flags, h.paletteCount, h.width, h.height)) {
        Fail("data too short for the declared image");
        return nullptr;
    }
    PSurface* surf = AllocSurface(h.width, h.height, f, loadFlags);
    if (!surf)
        return nullptr;
    if (surf->LoadNRV(s, 0, 0, h.width, h.height, PGraphicsFormat(h.format), h.flags, h.paletteCount, h.key,
                      loadFlags) < 0) {
        delete surf;
        return nullptr;
    }
    return surf;
}
