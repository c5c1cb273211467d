// The texture cache: entries, sharing, the image upload and the texture
// parameters. The compressed texture files are in pcompressedtex.cpp.
#include "engine/graphics/ptexturemanager.h"

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "gl/gles.h"

#include <cstring>

using namespace p3dgl;

namespace {

constexpr uint32_t kEnvModes[8] = {0, kReplace, kDecal, kModulate, kBlendEnv, kAdd, kReplace, kReplace};
constexpr uint32_t kWraps[4] = {kRepeat, kClampToEdge, kClampToEdge, kRepeat};
constexpr uint32_t kMinFilters[8] = {kNearest,           kLinear,
                                     kNearestMipmapNearest, kLinearMipmapNearest,
                                     kNearestMipmapLinear,  kLinearMipmapLinear,
                                     kLinear,            kLinear};

bool PowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

bool EndsWith(const char* s, size_t n, const char* ending)
{
    size_t e = std::strlen(ending);
    if (n < e)
        return false;
    for (size_t i = 0; i < e; ++i) {
        char a = s[n - e + i], b = ending[i];
        if (a >= 'A' && a <= 'Z')
            a = char(a - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

char* CopyName(const char* s)
{
    size_t n = std::strlen(s);
    char* c = static_cast<char*>(PAlloc(int(n + 1)));
    if (c)
        std::memcpy(c, s, n + 1);
    return c;
}

// Applies environment, wraps and filters of flags to the bound texture.
void ApplyParameters(GLES* ctx, unsigned flags)
{
    if (flags & 7)
        ctx->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kEnvModes[flags & 7]));
    ctx->glTexParameterx(kTexture2D, kTexWrapS, int32_t(kWraps[(flags >> 3) & 3]));
    ctx->glTexParameterx(kTexture2D, kTexWrapT, int32_t(kWraps[(flags >> 5) & 3]));
    ctx->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kMinFilters[(flags >> 7) & 7]));
    ctx->glTexParameterx(kTexture2D, kTexMagFilter, int32_t((flags & 0x400) ? kLinear : kNearest));
}

} // namespace

PTextureManager::PTextureManager(PDisplay* display, GLES* ctx)
    : m_display(display), m_entries(nullptr), m_ctx(ctx), m_count(0), m_alphaRef(0), m_defaultFlags(0x4C80),
      m_names(nullptr), m_capacity(0)
{
}

PTextureManager::~PTextureManager()
{
    for (int i = 0; i < m_count; ++i) {
        Entry& e = m_entries[i];
        if (e.users > 0) {
            delete e.image;
            DeleteGLName(e.name);
        }
        if (m_names[i])
            PFree(m_names[i]);
    }
    PFree(m_entries);
    PFree(m_names);
}

unsigned PTextureManager::strhash(const char* s)
{
    unsigned h = 0;
    if (s)
        for (; *s; ++s)
            h = h * 67u + unsigned(static_cast<unsigned char>(*s)) - 113u;
    return h;
}

void PTextureManager::DeleteGLName(uint32_t name)
{
    if (name && m_ctx)
        m_ctx->glDeleteTextures(1, &name);
}

PTextureManager::Entry* PTextureManager::Used(int handle)
{
    if (handle < 1 || handle > m_count || m_entries[handle - 1].users == 0)
        return nullptr;
    return &m_entries[handle - 1];
}

const PTextureManager::Entry* PTextureManager::GetEntry(int handle) const
{
    return const_cast<PTextureManager*>(this)->Used(handle);
}

void PTextureManager::SetEntryName(int index, const char* name)
{
    if (index < 0 || index >= m_count)
        return;
    if (m_names[index])
        PFree(m_names[index]);
    m_names[index] = name ? CopyName(name) : nullptr;
}

int PTextureManager::AppendList()
{
    for (int i = 0; i < m_count; ++i)
        if (m_entries[i].users == 0) {
            SetEntryName(i, nullptr);
            return i;
        }
    if (m_count == m_capacity) {
        if (m_capacity > 0xFFFF - 16) {
            _PDebug("PTextureManager: too many textures\n");
            return -1;
        }
        int capacity = m_capacity + 16;
        auto* entries = static_cast<Entry*>(PAllocZ(capacity * int(sizeof(Entry))));
        auto* names = static_cast<char**>(PAllocZ(capacity * int(sizeof(char*))));
        if (!entries || !names) {
            PFree(entries);
            PFree(names);
            _PDebug("PTextureManager: no memory for %d entries\n", capacity);
            return -1;
        }
        if (m_count) {
            std::memcpy(entries, m_entries, size_t(m_count) * sizeof(Entry));
            std::memcpy(names, m_names, size_t(m_count) * sizeof(char*));
        }
        PFree(m_entries);
        PFree(m_names);
        m_entries = entries;
        m_names = names;
        m_capacity = capacity;
    }
    std::memset(&m_entries[m_count], 0, sizeof(Entry));
    m_names[m_count] = nullptr;
    return m_count++;
}

int PTextureManager::CheckTexList(unsigned hash, unsigned flags)
{
    return CheckTexList(hash, flags, nullptr);
}

int PTextureManager::CheckTexList(unsigned hash, unsigned flags, const char* name)
{
    for (int i = 0; i < m_count; ++i) {
        Entry& e = m_entries[i];
        if (e.hash != hash || e.users == 0 || ((e.flags ^ flags) & PTEX_SHAREMASK))
            continue;
        // Different names may share a hash: a named request needs the name.
        if (name && (!m_names[i] || std::strcmp(m_names[i], name) != 0))
            continue;
        if (e.users == 0xFFFF)
            continue;
        ++e.users;
        return i + 1;
    }
    return 0;
}

void PTextureManager::UseTexture(int handle)
{
    Entry* e = Used(handle);
    if (e && e->users < 0xFFFF)
        ++e->users;
}

void PTextureManager::FreeTexture(int handle)
{
    Entry* e = Used(handle);
    if (!e)
        return; // 0, out of range or already free
    if (--e->users > 0)
        return;
    delete e->image;
    DeleteGLName(e->name);
    e->image = nullptr;
    e->name = 0;
    e->hash = 0;
    SetEntryName(handle - 1, nullptr);
}

// ---------------------------------------------------------------------------
// Adding textures

int PTextureManager::AddTexture(const char* name, unsigned flags, unsigned extra)
{
    if (flags == PTEX_DEFAULT || (m_defaultFlags & PTEX_FORCEDEFAULT))
        flags = m_defaultFlags;
    return AddNamed(name, flags, extra);
}

int PTextureManager::AddTexture(const char* name, PStream* stream, unsigned flags, unsigned extra)
{
    if (!stream)
        return AddNamed(name, flags, extra);
    if (extra) {
        int h = CheckTexList(extra, flags, name);
        if (h)
            return h;
    }
    PSurface* image = PSurface::CreateFromImage(*stream, 0x80, PIMAGE_DETECT);
    if (!image) {
        _PDebug("PTextureManager: cannot decode the image of %s\n", name ? name : "a stream");
        return 0;
    }
    return AddImage(name, extra, image, flags, extra, true);
}

int PTextureManager::AddTexture(PStream* stream, unsigned flags, PTextureFormat format, unsigned hash)
{
    if (!stream)
        return 0;
    int f = format == PTEXFMT_DETECT ? DetectFormat(stream) : format;
    switch (f) {
    case PTEXFMT_PNG:
    case PTEXFMT_IMAGE:
        return AddTexture(nullptr, stream, flags, hash);
    case PTEXFMT_PVR:
        return AddTexturePVR(stream, flags, hash);
    case PTEXFMT_ATC:
        return AddTextureATC(stream, flags, hash);
    default:
        return 0;
    }
}

int PTextureManager::AddTexture(PSurface* image, unsigned flags, unsigned extra, bool own)
{
    return AddImage(nullptr, 0, image, flags, extra, own);
}

int PTextureManager::AddTexture(const char* name, unsigned hash, PSurface* image, unsigned flags, unsigned extra,
                                bool own)
{
    return AddImage(name, hash, image, flags, extra, own);
}

PSurface* PTextureManager::LoadTexture(const char* name, int flags)
{
    int load = 0x80;
    if (!(flags & PTEX_ALPHA))
        load |= 0x200;
    if (flags & PTEX_TRUECOLOUR)
        load |= 0x2000;
    return PSurface::CreateFromFile(name, load, PIMAGE_DETECT);
}

int PTextureManager::AddNamed(const char* name, unsigned flags, unsigned extra)
{
    if (!name || !*name)
        return 0;
    unsigned hash = strhash(name);
    size_t n = std::strlen(name);
    int h = 0;
    if (EndsWith(name, n, ".pvr"))
        h = AddPVRNamed(name, flags);
    else if (EndsWith(name, n, ".ctes") || EndsWith(name, n, ".etc"))
        h = AddATCNamed(name, flags);
    if (h)
        return h;
    h = CheckTexList(hash, flags, name);
    if (h)
        return h;
    if (PSurface* image = LoadTexture(name, int(flags)))
        return AddImage(name, hash, image, flags, extra, true);
    if (n < 4 || n > 1000)
        return 0;

    // The variants: the name with its last four characters replaced.
    char variant[1024];
    std::memcpy(variant, name, n - 4);
    char* tail = variant + (n - 4);
    static const char* const kCompressed[3] = {".pvr", ".ctes", ".etc"};
    for (const char* ending : kCompressed) {
        if (EndsWith(name, n, ending))
            continue;
        std::memcpy(tail, ending, std::strlen(ending) + 1);
        h = ending[1] == 'p' ? AddPVRNamed(variant, flags) : AddATCNamed(variant, flags);
        if (h)
            return h;
    }
    if (!EndsWith(name, n, ".png")) {
        std::memcpy(tail, ".png", 5);
        if (PSurface* image = LoadTexture(variant, int(flags)))
            return AddImage(name, hash, image, flags, extra, true);
    }
    return 0;
}

int PTextureManager::AddImage(const char* name, unsigned hash, PSurface* image, unsigned flags, unsigned extra,
                              bool own)
{
    auto drop = [&] {
        if (own)
            delete image;
        return 0;
    };
    if (!image || !m_ctx)
        return drop();
    if (!PowerOfTwo(image->width) || !PowerOfTwo(image->height)) {
        _PDebug("PTextureManager: %s is %dx%d, not a power of two\n", name ? name : "an image", image->width,
                image->height);
        return drop();
    }
    int index = AppendList();
    if (index < 0)
        return drop();
    uint32_t glName = 0;
    m_ctx->glGetError();
    m_ctx->glGenTextures(1, &glName);
    uint32_t err = m_ctx->glGetError();
    if (glName == 0 || err) {
        _PDebug("PTextureManager: no texture name (GL error 0x%x)\n", err);
        DeleteGLName(glName);
        return drop();
    }
    m_ctx->glBindTexture(kTexture2D, glName);
    if (SetActiveTexture(m_ctx, image, flags, extra) != 0) {
        DeleteGLName(glName);
        return drop();
    }
    Entry& e = m_entries[index];
    e.width = uint32_t(image->width);
    e.height = uint32_t(image->height);
    e.hash = hash;
    e.flags = flags;
    e.name = glName;
    e.levels = 0;
    e.users = 1;
    e.image = nullptr;
    // The entry keeps (and then owns) only an image it was given.
    if (own) {
        if (flags & PTEX_KEEPIMAGE)
            e.image = image;
        else
            delete image;
    }
    SetEntryName(index, name);
    return index + 1;
}

// ---------------------------------------------------------------------------
// Upload and parameters

int PTextureManager::SetActiveTexture(GLES* ctx, const PSurface* image, unsigned flags, unsigned)
{
    if (!ctx || !image || !image->pixels || image->width <= 0 || image->height <= 0)
        return -1;
    unsigned eff = flags;
    if (eff & PTEX_AUTOFILTER)
        eff = (eff & ~0x780u) | 0x480u;
    ApplyParameters(ctx, eff);

    uint32_t F = (flags & PTEX_ALPHA) ? kRGBA : kRGB;
    uint32_t T = 0;
    int64_t n = int64_t(image->width) * image->height, bytes = 0;
    bool paletted = false;
    switch (image->format) {
    case PSURFACE_RGB565:
        T = (flags & PTEX_ALPHA) ? (image->alpha ? kUnsignedShort4444 : kUnsignedShort5551) : kUnsignedShort565;
        bytes = 2 * n;
        break;
    case PSURFACE_INDEX8:
        if (image->palette && image->palette->colors) {
            bool four = image->width >= 2 && (image->palette->count <= 16 || [&] {
                for (int y = 0; y < image->height; ++y)
                    for (int x = 0; x < image->width; ++x)
                        if (image->pixels[size_t(y) * size_t(image->pitch) + size_t(x)] > 15)
                            return false;
                return true;
            }());
            paletted = true;
            if (!(flags & PTEX_ALPHA))
                T = four ? kPalette4R5G6B5 : kPalette8R5G6B5;
            else if (image->palette->alphas)
                T = four ? kPalette4RGBA8 : kPalette8RGBA8;
            else
                T = four ? kPalette4RGB5A1 : kPalette8RGB5A1;
            int64_t entry = (T == kPalette4RGBA8 || T == kPalette8RGBA8) ? 4 : 2;
            bytes = four ? 16 * entry + n / 2 : 256 * entry + n;
        } else {
            T = kUnsignedByte;
            F = kLuminance;
            bytes = n;
        }
        break;
    case PSURFACE_RGB24:
    case PSURFACE_RGBA32:
        T = kUnsignedByte;
        bytes = n * (F == kRGBA ? 4 : 3);
        break;
    default:
        _PDebug("PTextureManager: unknown image format %d\n", image->format);
        return -1;
    }

    const void* data = image->pixels;
    void* buffer = nullptr;
    bool direct = T == kUnsignedShort565 && image->pitch == 2 * image->width && (image->flags & 0x80) &&
                  !(image->flags & 0x01);
    if (!direct) {
        if (bytes <= 0 || bytes > INT32_MAX || !(buffer = PAllocZ(int(bytes)))) {
            _PDebug("PTextureManager: no memory to stage a %dx%d texture\n", image->width, image->height);
            return -1;
        }
        P3D::CopyTexData(buffer, 0, 0, unsigned(image->width), int(T), image, nullptr,
                         (image->flags & 0x80) ? 0 : 1, int(F));
        // Transparent texels by the rule of every upload, across the edges
        // that repeat.
        int wrap = (kWraps[(eff >> 3) & 3] == kRepeat ? 1 : 0) | (kWraps[(eff >> 5) & 3] == kRepeat ? 2 : 0);
        if (P3D::FillClearTexels(buffer, unsigned(image->width), unsigned(image->height), int(T), int(F), wrap) != 0) {
            _PDebug("PTextureManager: no memory to colour the transparent texels of a %dx%d texture\n",
                    image->width, image->height);
            PFree(buffer);
            return -1;
        }
        data = buffer;
    }
    // The staged rows are tightly packed.
    vornGL::P3DBackend* b = ctx->GetBackend();
    b->glPixelStorei(kUnpackAlignment, 1);
    ctx->glGetError();
    if (paletted)
        ctx->glCompressedTexImage2D(kTexture2D, 0, T, image->width, image->height, 0, int32_t(bytes), data);
    else
        ctx->glTexImage2D(kTexture2D, 0, int32_t(F), image->width, image->height, 0, F, T, data);
    PFree(buffer);
    uint32_t err = ctx->glGetError();
    b->glPixelStorei(kUnpackAlignment, 4);
    if (err) {
        _PDebug("PTextureManager: GL error 0x%x uploading a %dx%d texture (type 0x%x)\n", err, image->width,
                image->height, T);
        return -1;
    }
    return 0;
}

void PTextureManager::SetTexture(int handle)
{
    Entry* e = Used(handle);
    if (!e || !m_ctx)
        return;
    if (e->flags & 7)
        m_ctx->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kEnvModes[e->flags & 7]));
    m_ctx->glEnable(kTexture2D);
    m_ctx->glBindTexture(kTexture2D, e->name);
    if ((e->flags & (PTEX_ALPHA | PTEX_AUTOFILTER)) != (PTEX_ALPHA | PTEX_AUTOFILTER))
        return;
    const vornGL::P3DStateMan& sm = m_ctx->GetStateMan();
    if (!sm.IsEnabled(1u << 2)) { // blending off
        m_ctx->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kMinFilters[(e->flags >> 7) & 7]));
        m_ctx->glTexParameterx(kTexture2D, kTexMagFilter, int32_t((e->flags & 0x400) ? kLinear : kNearest));
        if (sm.IsEnabled(1u << 10) && m_alphaRef != 0)
            m_ctx->GetBackend()->glAlphaFuncx(kGreater, int32_t(m_alphaRef));
    } else {
        m_ctx->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kNearest));
        m_ctx->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kNearest));
    }
}

void PTextureManager::UpdateFlags(int handle, unsigned flags)
{
    Entry* e = Used(handle);
    if (!e || !m_ctx)
        return;
    m_ctx->glBindTexture(kTexture2D, e->name);
    ApplyParameters(m_ctx, flags);
    e->flags = flags;
}

void PTextureManager::UpdateTexture(int handle, const PSurface* image, unsigned flags)
{
    Entry* e = Used(handle);
    if (!e || !m_ctx || !image)
        return;
    m_ctx->glBindTexture(kTexture2D, e->name);
    SetActiveTexture(m_ctx, image, flags, 0);
}

void PTextureManager::UpdateTexture(int handle, const PSurface* image)
{
    Entry* e = Used(handle);
    if (e)
        UpdateTexture(handle, image, e->flags);
}

void PTextureManager::UpdateTexture(int handle, unsigned flags)
{
    Entry* e = Used(handle);
    if (e)
        UpdateTexture(handle, e->image, flags);
}

void PTextureManager::UpdateTexture(int handle)
{
    Entry* e = Used(handle);
    if (e)
        UpdateTexture(handle, e->image, e->flags);
}
