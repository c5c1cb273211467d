#include "engine/graphics/ppng.h"

#include <cstring>

#include "engine/graphics/pimage.h"
#include "engine/graphics/ppalette.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pstream.h"

namespace {

constexpr uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};

constexpr uint32_t Tag(char a, char b, char c, char d)
{
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) | (uint32_t(uint8_t(c)) << 8) | uint8_t(d);
}
constexpr uint32_t kIHDR = Tag('I', 'H', 'D', 'R');
// The most bytes deflate data can expand to per byte.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr uint32_t kPLTE = Tag('P', 'L', 'T', 'E');
constexpr uint32_t kIDAT = Tag('I', 'D', 'A', 'T');
constexpr uint32_t kIEND = Tag('I', 'E', 'N', 'D');
constexpr uint32_t ktRNS = Tag('t', 'R', 'N', 'S');
constexpr uint32_t kbKGD = Tag('b', 'K', 'G', 'D');

inline uint32_t BE32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Undoes one PNG row filter in place. cur and prev hold n bytes; unit is the
// filter's pixel size in bytes.
bool Unfilter(int type, uint8_t* cur, const uint8_t* prev, int n, int unit)
{
    switch (type) {
    case 0:
        return true;
    case 1:
        for (int i = unit; i < n; i++)
            cur[i] = uint8_t(cur[i] + cur[i - unit]);
        return true;
    case 2:
        for (int i = 0; i < n; i++)
            cur[i] = uint8_t(cur[i] + prev[i]);
        return true;
    case 3:
        for (int i = 0; i < unit && i < n; i++)
            cur[i] = uint8_t(cur[i] + (prev[i] >> 1));
        for (int i = unit; i < n; i++)
            cur[i] = uint8_t(cur[i] + ((cur[i - unit] + prev[i]) >> 1));
        return true;
    case 4:
        for (int i = 0; i < unit && i < n; i++)
            cur[i] = uint8_t(cur[i] + prev[i]);
        for (int i = unit; i < n; i++)
            cur[i] = uint8_t(cur[i] + PPaeth(cur[i - unit], prev[i], prev[i - unit]));
        return true;
    default:
        return false;
    }
}

} // namespace

PPNGLoader::PPNGLoader(PStream& s) : m_stream(s) {}

PPNGLoader::~PPNGLoader()
{
    delete m_surface;
    delete m_palette;
    PFree(m_rows[0]);
    PFree(m_rows[1]);
    PFree(m_alpha);
    if (m_state & 0x01)
        inflateEnd(&m_z);
}

int PPNGLoader::CheckSignature(const unsigned char* p)
{
    return std::memcmp(p, kSignature, 8) != 0;
}

PSurface* PPNGLoader::ObtainSurface()
{
    PSurface* s = m_surface;
    m_surface = nullptr;
    return s;
}

int PPNGLoader::Fail(const char* why)
{
    _PDebug("PNG: %s\n", why);
    return -1;
}

int PPNGLoader::ReadChunkHeader(int32_t& length, uint32_t& type)
{
    // The previous chunk's CRC (never checked), the next length and type.
    if (m_stream.ReadFully(m_buf, 12) != 12)
        return Fail("truncated chunk list");
    length = int32_t(BE32(m_buf + 4));
    type = BE32(m_buf + 8);
    if (length < 0)
        return Fail("negative chunk length");
    return 0;
}

int PPNGLoader::LoadHeader(int loadFlags)
{
    if (m_stream.ReadFully(m_buf, 29) != 29)
        return Fail("short header");
    if (CheckSignature(m_buf))
        return Fail("bad signature");
    if (BE32(m_buf + 8) != 13 || BE32(m_buf + 12) != kIHDR)
        return Fail("first chunk is not a 13-byte IHDR");
    const uint8_t* h = m_buf + 16;
    m_width = BE32(h);
    m_height = BE32(h + 4);
    m_depth = h[8];
    m_colorType = h[9];
    if (h[10] != 0 || h[11] != 0 || h[12] != 0)
        return Fail("unsupported compression, filter or interlace method");
    if (m_width == 0 || m_height == 0 || m_width > kMaxSide || m_height > kMaxSide)
        return Fail("refused image size");
    if (m_depth != 1 && m_depth != 2 && m_depth != 4 && m_depth != 8)
        return Fail("unsupported bit depth");
    switch (m_colorType) {
    case 0:
    case 3:
        m_srcFormat = PGraphicsFormat(m_depth == 1 ? 0 : m_depth == 2 ? 1 : m_depth == 4 ? 2 : 3);
        m_surfFormat = PSURFACE_INDEX8;
        return 0;
    case 2:
    case 6:
        if (m_depth != 8)
            return Fail("true-colour image not of 8 bits per channel");
        m_srcFormat = m_colorType == 2 ? PGF_BGR24 : PGF_BGRA32;
        m_surfFormat = PTrueColourFormat(loadFlags);
        return 0;
    default:
        return Fail("unsupported colour type");
    }
}

unsigned PPNGLoader::GreyKey(unsigned sample) const
{
    // A grey sample of fewer than 8 bits is scaled to the grey level the
    // ramp gives it.
    unsigned max = (1u << m_depth) - 1;
    unsigned level = (sample & max) * 255 / max;
    return (level << 16) | (level << 8) | level;
}

void PPNGLoader::SetColorKeyFromBuf(PSurface* s, int len)
{
    // tRNS or bKGD of a grey or RGB image, in m_buf.
    if (m_colorType == 0) {
        if (len < 2)
            return;
        s->colorKey = GreyKey(unsigned(m_buf[0] << 8 | m_buf[1]));
    } else {
        if (len < 6)
            return;
        s->colorKey = (unsigned(m_buf[1]) << 16) | (unsigned(m_buf[3]) << 8) | m_buf[5];
    }
    m_state |= 0x02;
}

int PPNGLoader::LoadChunks(PSurface* s)
{
    for (;;) {
        int32_t len;
        uint32_t type;
        if (ReadChunkHeader(len, type) < 0)
            return -1;
        if (type == kIHDR)
            return Fail("second IHDR");
        if (type == kIEND)
            return Fail("IEND before image data");
        if (type == kPLTE) {
            if (m_palette)
                return Fail("second PLTE");
            if (len == 0 || len > 768 || len % 3)
                return Fail("bad PLTE length");
            if (m_stream.ReadFully(m_buf, len) != len)
                return Fail("truncated PLTE");
            m_palette = new PPalette(unsigned(len / 3), false);
            if (!m_palette || !m_palette->colors)
                return Fail("out of memory");
            m_palette->Set(0, m_buf, unsigned(len / 3), false, false);
        } else if (type == ktRNS) {
            if (len > 256)
                return Fail("oversized tRNS");
            if (m_stream.ReadFully(m_buf, len) != len)
                return Fail("truncated tRNS");
            if (m_colorType == 3) {
                if (!m_palette)
                    return Fail("tRNS without PLTE");
                unsigned n = unsigned(len) < m_palette->count ? unsigned(len) : m_palette->count;
                if (n >= 2) {
                    if (!m_palette->EnsureAlphas())
                        return Fail("out of memory");
                    for (unsigned i = 0; i < n; i++) {
                        m_palette->alphas[i] = uint8_t(m_buf[i] >> 3);
                        if (m_buf[i] == 0 && !(m_state & 0x02)) {
                            s->colorKey = m_palette->Get(i);
                            m_state |= 0x02;
                        }
                    }
                } else if (n == 1 && m_buf[0] == 0 && !(m_state & 0x02)) {
                    s->colorKey = m_palette->Get(0);
                    m_state |= 0x02;
                }
            } else {
                SetColorKeyFromBuf(s, len);
            }
        } else if (type == kbKGD && !(m_state & 0x02)) {
            int take = len < 6 ? len : 6;
            if (m_stream.ReadFully(m_buf, take) != take || m_stream.Skip(len - take) != len - take)
                return Fail("truncated bKGD");
            if (m_colorType == 3) {
                if (take >= 1 && m_palette && m_buf[0] < m_palette->count) {
                    s->colorKey = m_palette->Get(m_buf[0]);
                    m_state |= 0x02;
                }
            } else {
                SetColorKeyFromBuf(s, take);
            }
        } else if (type == kIDAT) {
            m_z.zalloc = zcalloc;
            m_z.zfree = zcfree;
            m_z.opaque = nullptr;
            m_z.next_in = m_buf;
            m_z.avail_in = 0;
            if (inflateInit(&m_z) != Z_OK)
                return Fail("inflate could not start");
            m_state |= 0x01;
            m_idatLeft = len;
            m_bufLeft = 0;
            if (m_colorType == 0 && !m_palette) {
                m_palette = PPalette::CreateGreyRamp(1u << m_depth);
                if (!m_palette)
                    return Fail("out of memory");
            }
            return 0;
        } else {
            if (len > 0 && m_stream.Skip(len) != len)
                return Fail("truncated chunk");
        }
    }
}

int PPNGLoader::ReadIDAT(void* dst, int n)
{
    m_z.next_out = static_cast<Bytef*>(dst);
    m_z.avail_out = uInt(n);
    while (m_z.avail_out > 0) {
        if (m_z.avail_in == 0) {
            while (m_idatLeft == 0) {
                int32_t len;
                uint32_t type;
                if (ReadChunkHeader(len, type) < 0)
                    return -1;
                if (type != kIDAT)
                    return Fail("image data ends early or is interrupted");
                m_idatLeft = len;
            }
            int want = m_idatLeft < int(sizeof m_buf) ? m_idatLeft : int(sizeof m_buf);
            int got = m_stream.Read(m_buf, want);
            if (got <= 0)
                return Fail("truncated IDAT");
            m_idatLeft -= got;
            m_z.next_in = m_buf;
            m_z.avail_in = uInt(got);
        }
        int r = inflate(&m_z, Z_SYNC_FLUSH);
        if (r == Z_STREAM_END) {
            if (m_z.avail_out > 0)
                return Fail("image data ends early");
            break;
        }
        if (r != Z_OK && !(r == Z_BUF_ERROR && m_z.avail_in == 0))
            return Fail("corrupt image data");
    }
    m_bufLeft = int(m_z.avail_in);
    return 0;
}

int PPNGLoader::Load(int loadFlags, int x, int y, PSurface* target)
{
    if (LoadHeader(loadFlags) < 0)
        return -1;
    PSurface* s = target;
    if (target) {
        if (!PIsLoadTarget(*target))
            return Fail("unusable target surface");
        m_surfFormat = PSurfaceFormat(target->format);
    } else {
        // The surface is made from the header's size, so first check that
        // the rest of the file can hold that much image data: deflate
        // expands at most 1032 to 1, and every row has a filter byte.
        int channels = m_colorType == 2 ? 3 : m_colorType == 6 ? 4 : 1;
        uint64_t row = (uint64_t(m_width) * m_depth * channels + 7) / 8 + 1;
        long left = m_stream.Left();
        if (left >= 0 && row * m_height > uint64_t(left) * kMaxDeflateRatio)
            return Fail("image data larger than the file can hold");
        m_surface = PSurface::AllocSurface(int(m_width), int(m_height), m_surfFormat, loadFlags);
        if (!m_surface)
            return Fail("surface could not be made");
        s = m_surface;
    }
    s->colorKey = 0xFF00FF;
    if (LoadChunks(s) < 0)
        return -1;
    if (m_colorType == 3 && !m_palette && m_surfFormat != PSURFACE_INDEX8)
        return Fail("palette image without PLTE");

    int rowBytes, unit;
    switch (m_colorType) {
    case 2:
        m_srcFormat = PGF_RGB24;
        rowBytes = int(m_width) * 3;
        unit = 3;
        break;
    case 6:
        m_srcFormat = PGF_RGBA32;
        rowBytes = int(m_width) * 4;
        unit = 4;
        if (m_surfFormat == PSURFACE_RGB24)
            loadFlags |= PLOAD_NOALPHA;
        break;
    default:
        m_srcFormat = m_depth == 8 ? PGF_INDEX8 : PGraphicsFormat(m_depth == 1 ? 11 : m_depth == 2 ? 12 : 13);
        rowBytes = int((m_width * m_depth + 7) / 8);
        unit = 1;
        break;
    }
    m_rows[0] = static_cast<uint8_t*>(PAllocZ(rowBytes + 1));
    m_rows[1] = static_cast<uint8_t*>(PAllocZ(rowBytes + 1));
    if (!m_rows[0] || !m_rows[1])
        return Fail("out of memory");

    const PImagePlacement at(x, y, m_width, m_height, s->width, s->height);
    const int64_t drawW = at.drawW;

    uint8_t* alphaPlane = nullptr;
    if (m_colorType == 6 && !(loadFlags & PLOAD_NOALPHA) && m_surfFormat != PSURFACE_RGBA32) {
        if (s->alpha) {
            alphaPlane = s->alpha;
        } else {
            int64_t n = PSurface::CheckedSize(s->width, s->height, s->width);
            m_alpha = n > 0 ? static_cast<uint8_t*>(PAllocZ(int(n))) : nullptr;
            if (!m_alpha)
                return Fail("out of memory");
            alphaPlane = m_alpha;
        }
    }

    PDrawableSurface* drawable = (s->flags & PSURF_DRAWABLE) ? static_cast<PDrawableSurface*>(s) : nullptr;
    if (drawable)
        drawable->Lock();
    const int bpp = s->BytesPerPixel();
    const bool bottomUp = loadFlags & PLOAD_BOTTOMUP;
    int result = 0;
    const int64_t rows = at.drawH > 0 ? at.srcY0 + at.drawH : 0;
    for (int64_t r = 0; r < rows; r++) {
        uint8_t* cur = m_rows[r & 1];
        const uint8_t* prev = m_rows[(r & 1) ^ 1] + 1;
        if (ReadIDAT(cur, rowBytes + 1) < 0) {
            result = -1;
            break;
        }
        if (!Unfilter(cur[0], cur + 1, prev, rowBytes, unit)) {
            result = Fail("unknown filter type");
            break;
        }
        if (!at.Shows(r))
            continue;
        const int64_t dy = at.DestRow(r, bottomUp);
        const size_t dstX0 = size_t(at.dstX0);
        const uint8_t* src = cur + 1;
        // Leading columns cut by a negative x: packed rows may then start
        // inside a byte, so they are converted one pixel at a time.
        int64_t skip = at.srcX0;
        if (skip) {
            if (m_depth < 8) {
                uint8_t* d = s->pixels + size_t(dy) * size_t(s->pitch) + dstX0 * bpp;
                for (int64_t i = 0; i < drawW; i++) {
                    int64_t bit = (skip + i) * m_depth;
                    uint8_t one = uint8_t((src[bit >> 3] << (bit & 7)) & 0xFF);
                    PSurface::ConvertLine(d + i * bpp, m_surfFormat, &one, m_srcFormat, m_palette, 1, 0xFF00FF);
                }
                src = nullptr;
            } else {
                src += skip * unit;
            }
        }
        if (src)
            PSurface::ConvertLine(s->pixels + size_t(dy) * size_t(s->pitch) + dstX0 * bpp, m_surfFormat,
                                  src, m_srcFormat, m_palette, int(drawW), 0xFF00FF);
        if (alphaPlane) {
            const uint8_t* p = cur + 1 + skip * 4;
            uint8_t* a = alphaPlane + size_t(dy) * size_t(s->width) + dstX0;
            for (int64_t i = 0; i < drawW; i++, p += 4) {
                a[i] = p[3];
                if (p[3] == 0 && !(m_state & 0x02)) {
                    s->colorKey = (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
                    m_state |= 0x02;
                }
            }
        }
    }
    if (drawable)
        drawable->Unlock();
    if (result < 0)
        return -1;

    if (m_palette && s->format != PSURFACE_RGB565) {
        if (s->flags & PSURF_OWNPALETTE)
            delete s->palette;
        s->palette = m_palette;
        s->flags |= PSURF_OWNPALETTE;
        m_palette = nullptr;
    }
    if (m_alpha) {
        if (s->flags & PSURF_OWNALPHA)
            PFree(s->alpha);
        s->alpha = m_alpha;
        s->flags |= PSURF_OWNALPHA;
        m_alpha = nullptr;
    }
    return 0;
}

PSurface* PSurface::CreateFromPNG(PStream& s, int loadFlags)
{
    PPNGLoader* loader = new PPNGLoader(s);
    if (!loader)
        return nullptr;
    PSurface* out = nullptr;
    if (loader->Load(loadFlags, 0, 0, nullptr) == 0)
        out = loader->ObtainSurface();
    delete loader;
    return out;
}

int PSurface::LoadPNG(PStream& s, int x, int y, int loadFlags)
{
    PPNGLoader* loader = new PPNGLoader(s);
    if (!loader)
        return -1;
    int r = loader->Load(loadFlags, x, y, this);
    delete loader;
    return r;
}
