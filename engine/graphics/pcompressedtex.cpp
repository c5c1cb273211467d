// Ready-made GPU texture files for the texture cache: PVR files and the
// ATC / ETC container (layouts in docs/formats/pvr.md and ctes.md), and the
// detection of a texture stream's format.
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pstream.h"
#include "gl/gles.h"

#include <cstring>

using namespace p3dgl;

namespace {

// The largest side and the most data a texture file may claim.
constexpr uint32_t kMaxSide = 16384;
constexpr uint32_t kMaxLevels = 15;
constexpr uint32_t kMaxData = 64u << 20;

struct PvrType {
    uint8_t type;
    uint32_t format, glType; // glType 0: compressed
    uint32_t bits;           // bits per pixel the type stores
    bool alpha;
};

constexpr PvrType kPvrTypes[] = {
    {16, kRGBA, kUnsignedShort4444, 16, true}, {17, kRGBA, kUnsignedShort5551, 16, true},
    {18, kRGBA, kUnsignedByte, 32, true},      {19, kRGB, kUnsignedShort565, 16, false},
    {21, kRGB, kUnsignedByte, 24, false},      {22, kLuminance, kUnsignedByte, 8, false},
    {23, kLuminanceAlpha, kUnsignedByte, 16, true}, {24, 0, 0, 2, false},
    {25, 0, 0, 4, false},
};

class BufferGuard {
public:
    explicit BufferGuard(void* p) : m_p(p) {}
    ~BufferGuard() { PFree(m_p); }
    uint8_t* get() const { return static_cast<uint8_t*>(m_p); }

private:
    void* m_p;
};

// Filter bits of an automatically filtered texture.
unsigned AutoFilter(unsigned flags, bool mipmaps)
{
    flags &= ~(0x780u | 0x4000u);
    return flags | (mipmaps ? 0x680u : 0x480u);
}

} // namespace

int PTextureManager::DetectFormat(PStream* s)
{
    if (!s)
        return -1;
    uint8_t head[8];
    int n = s->Read(head, 8);
    if (n > 0)
        s->Seek(-n, 1);
    if (n != 8)
        return -1;
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (std::memcmp(head, kPng, 8) == 0)
        return PTEXFMT_PNG;
    if ((head[0] == 0x02 && head[1] == 0x00 && head[2] == 0xC4 && head[3] == 0xCC) ||
        (head[0] == 0x01 && head[1] == 0x00 && head[2] == 0x00 && head[3] == 0xEC))
        return PTEXFMT_ATC;
    uint32_t size = PLoad32(head);
    if (size == 52) {
        uint8_t h[52];
        int m = s->Read(h, 52);
        if (m > 0)
            s->Seek(-m, 1);
        if (m != 52)
            return -1;
        return std::memcmp(h + 44, "PVR!", 4) == 0 ? PTEXFMT_PVR : PTEXFMT_IMAGE;
    }
    return size == 44 ? PTEXFMT_PVR : PTEXFMT_IMAGE;
}

int PTextureManager::AddTexturePVR(const char* path, unsigned flags)
{
    return AddPVRNamed(path, flags);
}

int PTextureManager::AddTextureATC(const char* path, unsigned flags)
{
    return AddATCNamed(path, flags);
}

int PTextureManager::AddCompressedNamed(const char* path, unsigned flags,
                                        int (PTextureManager::*load)(PStream*, unsigned, unsigned))
{
    unsigned hash = strhash(path);
    int h = CheckTexList(hash, flags, path);
    if (h)
        return h;
    PFile f(path, PFile::kRead);
    if (!f.IsOpen())
        return 0;
    h = (this->*load)(&f, flags, hash);
    if (h)
        SetEntryName(h - 1, path);
    return h;
}

int PTextureManager::AddPVRNamed(const char* path, unsigned flags)
{
    if (!path || !m_ctx)
        return 0;
    return AddCompressedNamed(path, flags, &PTextureManager::AddTexturePVR);
}

int PTextureManager::AddATCNamed(const char* path, unsigned flags)
{
    if (!path || !m_ctx || !m_ctx->GetBackend() || m_ctx->GetBackend()->vornGLGetAPI() == 0)
        return 0;
    return AddCompressedNamed(path, flags, &PTextureManager::AddTextureATC);
}

int PTextureManager::AddTexturePVR(PStream* s, unsigned flags, unsigned hash)
{
    if (!s || !m_ctx)
        return 0;
    uint8_t head[52];
    if (s->Read(head, 4) != 4)
        return 0;
    uint32_t headerSize = PLoad32(head);
    if (headerSize != 44 && headerSize != 52) {
        _PDebug("PVR: header size %u\n", headerSize);
        return 0;
    }
    if (s->Read(head + 4, int(headerSize - 4)) != int(headerSize - 4)) {
        _PDebug("PVR: short header\n");
        return 0;
    }
    if (headerSize == 52 && std::memcmp(head + 44, "PVR!", 4) != 0) {
        _PDebug("PVR: no PVR! tag in a 52-byte header\n");
        return 0;
    }
    uint32_t height = PLoad32(head + 4), width = PLoad32(head + 8), levels = PLoad32(head + 12);
    uint32_t pixelFlags = PLoad32(head + 16), dataSize = PLoad32(head + 20), bits = PLoad32(head + 24);
    uint32_t alphaMask = PLoad32(head + 40);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || levels > kMaxLevels ||
        dataSize > kMaxData) {
        _PDebug("PVR: %ux%u with %u further levels and %u bytes refused\n", width, height, levels, dataSize);
        return 0;
    }
    const PvrType* t = nullptr;
    for (const PvrType& p : kPvrTypes)
        if (p.type == (pixelFlags & 0xFF))
            t = &p;
    if (!t) {
        _PDebug("PVR: pixel type %u not supported\n", pixelFlags & 0xFF);
        return 0;
    }
    // The level sizes follow from the bits per pixel: they must be the type's.
    if (bits != t->bits) {
        _PDebug("PVR: %u bits per pixel for pixel type %u\n", bits, t->type);
        return 0;
    }
    bool compressed = t->glType == 0;
    uint32_t format = t->format;
    bool alpha = t->alpha;
    if (compressed) {
        alpha = alphaMask != 0;
        if (t->type == 24)
            format = alpha ? kPVRTC_RGBA2 : kPVRTC_RGB2;
        else
            format = alpha ? kPVRTC_RGBA4 : kPVRTC_RGB4;
        if (!m_ctx->vornGLHaveExtension(vornGL::VornGLExtPVRTC)) {
            _PDebug("PVR: compressed texture without the PVRTC extension\n");
            return 0;
        }
    }
    flags = alpha ? (flags | PTEX_ALPHA) : (flags & ~unsigned(PTEX_ALPHA));
    if (hash) {
        int h = CheckTexList(hash, flags, nullptr);
        if (h)
            return h;
    }

    BufferGuard data(PAlloc(int(dataSize ? dataSize : 1)));
    if (!data.get()) {
        _PDebug("PVR: no memory for %u bytes\n", dataSize);
        return 0;
    }
    if (dataSize && s->Read(data.get(), int(dataSize)) != int(dataSize)) {
        _PDebug("PVR: short texel data\n");
        return 0;
    }
    int index = AppendList();
    if (index < 0)
        return 0;
    m_ctx->glGetError();
    m_ctx->GetBackend()->glPixelStorei(kUnpackAlignment, 1);
    uint32_t name = 0;
    m_ctx->glGenTextures(1, &name);
    if (name == 0 || m_ctx->glGetError()) {
        DeleteGLName(name);
        return 0;
    }
    m_ctx->glBindTexture(kTexture2D, name);
    uint32_t w = width, h = height, offset = 0;
    for (uint32_t level = 0; level <= levels; ++level) {
        uint64_t size;
        if (compressed) {
            uint64_t bw = w > (t->type == 24 ? 16u : 8u) ? w : (t->type == 24 ? 16u : 8u);
            uint64_t bh = h > 8 ? h : 8;
            size = (bw * bh * bits + 7) / 8;
        } else {
            size = uint64_t(w) * h * (bits / 8 + bits % 8);
        }
        if (size > dataSize - offset) {
            _PDebug("PVR: level %u needs %llu bytes, %u left\n", level, (unsigned long long)size, dataSize - offset);
            DeleteGLName(name);
            return 0;
        }
        if (compressed)
            m_ctx->glCompressedTexImage2D(kTexture2D, int32_t(level), format, int32_t(w), int32_t(h), 0,
                                          int32_t(size), data.get() + offset);
        else
            m_ctx->glTexImage2D(kTexture2D, int32_t(level), int32_t(format), int32_t(w), int32_t(h), 0, format,
                                t->glType, data.get() + offset);
        if (uint32_t err = m_ctx->glGetError()) {
            _PDebug("PVR: GL error 0x%x at level %u\n", err, level);
            DeleteGLName(name);
            return 0;
        }
        offset += uint32_t(size);
        w = w < 4 ? 1 : w / 2;
        h = h < 4 ? 1 : h / 2;
    }
    m_ctx->GetBackend()->glPixelStorei(kUnpackAlignment, 4);
    if (flags & PTEX_AUTOFILTER)
        flags = AutoFilter(flags, levels > 0);
    Entry& e = m_entries[index];
    e.image = nullptr;
    e.name = name;
    e.width = width;
    e.hash = hash;
    e.height = height;
    e.levels = uint16_t(levels);
    e.users = 1;
    e.flags = flags;
    UpdateFlags(index + 1, flags);
    return index + 1;
}

int PTextureManager::AddTextureATC(PStream* s, unsigned flags, unsigned hash)
{
    if (!s || !m_ctx || !m_ctx->GetBackend() || m_ctx->GetBackend()->vornGLGetAPI() == 0)
        return 0;
    uint8_t head[32];
    if (s->Read(head, 32) != 32) {
        _PDebug("ATC: short header\n");
        return 0;
    }
    uint32_t width = PLoad32(head + 4), height = PLoad32(head + 8), format = PLoad32(head + 28);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        _PDebug("ATC: %ux%u refused\n", width, height);
        return 0;
    }
    flags &= ~unsigned(PTEX_ALPHA);
    if (format == kETC1_RGB8) {
        if (!m_ctx->vornGLHaveExtension(vornGL::VornGLExtETC1)) {
            _PDebug("ATC: ETC1 texture without the ETC1 extension\n");
            return 0;
        }
    } else if (format == kATC_RGB || format == kATC_RGBA_Explicit || format == kATC_RGBA_Interpolated) {
        if (!m_ctx->vornGLHaveExtension(vornGL::VornGLExtATC)) {
            _PDebug("ATC: ATC texture without the ATC extension\n");
            return 0;
        }
        if (format == kATC_RGBA_Explicit)
            flags |= PTEX_ALPHA;
    } else {
        _PDebug("ATC: compressed format 0x%x not supported\n", format);
        return 0;
    }
    if (hash) {
        int h = CheckTexList(hash, flags, nullptr);
        if (h)
            return h;
    }
    int index = AppendList();
    if (index < 0)
        return 0;
    m_ctx->glGetError();
    uint32_t name = 0;
    m_ctx->glGenTextures(1, &name);
    if (name == 0)
        return 0;
    if (m_ctx->glGetError()) {
        DeleteGLName(name);
        return 0;
    }
    m_ctx->glBindTexture(kTexture2D, name);
    uint32_t block = format == kATC_RGBA_Explicit ? 16 : 8;
    uint64_t first = uint64_t((height + 3) / 4) * ((width + 3) / 4) * block;
    BufferGuard buffer(PAlloc(int(first)));
    if (!buffer.get()) {
        _PDebug("ATC: no memory for %llu bytes\n", (unsigned long long)first);
        DeleteGLName(name);
        return 0;
    }
    uint32_t w = width, h = height, loaded = 0;
    for (uint32_t level = 0; level <= kMaxLevels; ++level) {
        uint64_t size = uint64_t((h + 3) / 4) * ((w + 3) / 4) * block;
        if (size == 0 || s->Read(buffer.get(), int(size)) != int(size))
            break;
        m_ctx->glCompressedTexImage2D(kTexture2D, int32_t(level), format, int32_t(w), int32_t(h), 0, int32_t(size),
                                      buffer.get());
        if (uint32_t err = m_ctx->glGetError()) {
            _PDebug("ATC: GL error 0x%x at level %u\n", err, level);
            DeleteGLName(name);
            return 0;
        }
        ++loaded;
        w /= 2;
        h /= 2;
    }
    if (loaded == 0) {
        _PDebug("ATC: no complete level\n");
        DeleteGLName(name);
        return 0;
    }
    if (flags & PTEX_AUTOFILTER)
        flags = AutoFilter(flags, loaded >= 2 && w == h);
    Entry& e = m_entries[index];
    e.image = nullptr;
    e.name = name;
    e.hash = hash;
    e.width = width;
    e.height = height;
    e.levels = uint16_t(loaded - 1);
    e.users = 1;
    e.flags = flags;
    UpdateFlags(index + 1, flags);
    return index + 1;
}
