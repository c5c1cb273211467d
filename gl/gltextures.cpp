// Texture units and the texture registry of the state manager. The registry
// is kept sorted by the callers' names; each record also holds the back end's
// name, so that all textures can be dropped on the back end and made again
// from the backed-up level copies.
#include "gl/glstateman.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <algorithm>
#include <cstring>

namespace vornGL {

namespace {

constexpr int kGrowStep = 4;

void ResetUnit(P3DTextureUnit& u)
{
    std::memset(&u, 0, sizeof u);
    u.envMode = GL_MODULATE;
    u.srcRGB[0] = u.srcAlpha[0] = GL_TEXTURE;
    u.srcRGB[1] = u.srcAlpha[1] = GL_PREVIOUS;
    u.srcRGB[2] = u.srcAlpha[2] = GL_CONSTANT;
    u.operandRGB[0] = u.operandRGB[1] = GL_SRC_COLOR;
    u.operandRGB[2] = GL_SRC_ALPHA;
    u.operandAlpha[0] = u.operandAlpha[1] = u.operandAlpha[2] = GL_SRC_ALPHA;
    u.combineRGB = u.combineAlpha = GL_MODULATE;
    u.rgbScale = u.alphaScale = 0x10000;
}

} // namespace

int GLTypeBytes(u32 type)
{
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
        return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
        return 2;
    case GL_FIXED:
    case GL_FLOAT:
        return 4;
    default:
        return 0;
    }
}

int GLBytesPerPixel(u32 format, u32 type)
{
    switch (type) {
    case GL_UNSIGNED_BYTE:
        switch (format) {
        case GL_ALPHA:
        case GL_LUMINANCE:
            return 1;
        case GL_LUMINANCE_ALPHA:
            return 2;
        case GL_RGB:
            return 3;
        case GL_RGBA:
        case GL_BGRA_EXT:
            return 4;
        default:
            return 0;
        }
    case GL_UNSIGNED_SHORT_5_6_5:
    case GL_UNSIGNED_SHORT_4_4_4_4:
    case GL_UNSIGNED_SHORT_5_5_5_1:
        return 2;
    default:
        return 0;
    }
}

void P3DStateMan::InitTextures()
{
    m_activeUnit = 0;
    m_texBackup = 0;
    m_clientActiveUnit = 0;
    m_unitCount = 1;
    for (auto& u : m_units)
        ResetUnit(u);
}

void P3DStateMan::glActiveTexture(u32 unit)
{
    u32 index = unit - GL_TEXTURE0;
    if (index < m_unitCount)
        m_activeUnit = index;
    else
        SetError(0x1500);
}

void P3DStateMan::glClientActiveTexture(u32 unit)
{
    u32 index = unit - GL_TEXTURE0;
    if (index < m_unitCount)
        m_clientActiveUnit = index;
    else
        SetError(0x1500);
}

void P3DStateMan::glTexEnvGeneric(u32 target, u32 pname, i32 value)
{
    if (target != GL_TEXTURE_ENV) {
        SetError(0x1500);
        return;
    }
    if (pname != GL_TEXTURE_ENV_MODE)
        return;
    switch (static_cast<u32>(value)) {
    case GL_REPLACE:
    case GL_MODULATE:
    case GL_DECAL:
    case GL_COMBINE:
    case GL_ADD:
    case GL_BLEND:
        m_units[m_activeUnit].envMode = static_cast<u32>(value);
        break;
    default:
        SetError(0x1500);
        break;
    }
}

// ---------------------------------------------------------------------------
// Registry storage

int P3DStateMan::FindTextureIndex(u32 name) const
{
    int lo = 0, hi = m_texCount;
    while (lo < hi) { // first record whose name is not below the key
        int mid = (lo + hi) / 2;
        if (m_textures[mid].name < name)
            lo = mid + 1;
        else
            hi = mid;
    }
    return (lo < m_texCount && m_textures[lo].name == name) ? lo : -1;
}

P3DStateMan::__texture* P3DStateMan::FindTexture(u32 name)
{
    int i = FindTextureIndex(name);
    return i < 0 ? nullptr : &m_textures[i];
}

P3DStateMan::__texture* P3DStateMan::BoundTexture(u32 unit)
{
    if (unit >= kMaxTextureUnits || m_units[unit].boundName == 0)
        return nullptr;
    return FindTexture(m_units[unit].boundName);
}

bool P3DStateMan::AppendTexture(__texture const& rec)
{
    if (m_texCount == m_texCapacity) {
        int capacity = m_texCapacity + kGrowStep - (m_texCapacity % kGrowStep);
        auto* storage = static_cast<__texture*>(PAlloc(capacity * static_cast<int>(sizeof(__texture))));
        if (!storage) {
            _PDebug("GL: no memory for the texture registry (%d records)\n", capacity);
            return false;
        }
        if (m_texCount)
            std::memcpy(storage, m_textures, m_texCount * sizeof(__texture));
        if (m_textures)
            PFree(m_textures);
        m_textures = storage;
        m_texCapacity = capacity;
    }
    m_textures[m_texCount++] = rec;
    return true;
}

void P3DStateMan::RemoveTextureAt(int i)
{
    if (i < m_texCount - 1)
        std::memmove(&m_textures[i], &m_textures[i + 1], (m_texCount - 1 - i) * sizeof(__texture));
    --m_texCount;
    if (m_texCount == 0) {
        PFree(m_textures);
        m_textures = nullptr;
        m_texCapacity = 0;
    }
}

void P3DStateMan::SortTextures()
{
    std::sort(m_textures, m_textures + m_texCount,
              [](__texture const& a, __texture const& b) { return a.name < b.name; });
}

void P3DStateMan::FreeLevels(__texture& rec)
{
    for (auto& l : rec.levels) {
        if (l.copy)
            PFree(l.copy);
        l.copy = nullptr;
        l.size = 0;
    }
}

// ---------------------------------------------------------------------------
// Creation, binding, deletion

void P3DStateMan::glGenTextures(i32 n, u32* names)
{
    if (!m_backend)
        return;
    m_backend->glGenTextures(n, names);
    if (n <= 0 || !names)
        return;
    int const sorted = m_texCount; // records before this call, sorted by name
    auto taken = [this, sorted](u32 name) {
        auto end = m_textures + sorted;
        auto it = std::lower_bound(m_textures, end, name, [](__texture const& t, u32 v) { return t.name < v; });
        if (it != end && it->name == name)
            return true;
        for (int k = sorted; k < m_texCount; ++k)
            if (m_textures[k].name == name)
                return true;
        return false;
    };
    for (i32 i = 0; i < n; ++i) {
        u32 backendName = names[i];
        if (backendName == 0)
            continue;
        // After a restore the back end may hand out a name that a caller
        // already holds for another texture; such a texture gets a caller name
        // of its own.
        u32 name = backendName;
        if (m_textures && taken(name)) {
            u32 highest = 0;
            for (int k = 0; k < m_texCount; ++k)
                highest = std::max(highest, m_textures[k].name);
            name = highest + 1;
            names[i] = name;
        }
        __texture rec;
        std::memset(&rec, 0, sizeof rec);
        rec.name = name;
        rec.backendName = backendName;
        rec.minFilter = GL_NEAREST_MIPMAP_LINEAR;
        rec.magFilter = GL_LINEAR;
        rec.wrapS = rec.wrapT = GL_REPEAT;
        if (!AppendTexture(rec))
            break;
    }
    SortTextures();
}

void P3DStateMan::glBindTexture(u32 target, u32 name)
{
    if (!m_backend)
        return;
    P3DTextureUnit& unit = m_units[m_activeUnit];
    if (name == 0) {
        unit.boundName = 0;
        m_backend->glBindTexture(target, 0);
        return;
    }
    int i = FindTextureIndex(name);
    if (i >= 0) {
        m_backend->glBindTexture(target, m_textures[i].backendName);
        unit.boundName = name;
    } else {
        m_backend->glBindTexture(target, name);
    }
}

void P3DStateMan::glDeleteTextures(i32 n, u32 const* names)
{
    if (!m_backend)
        return;
    if (n <= 0 || !names) {
        m_backend->glDeleteTextures(n, names);
        return;
    }
    // The back end knows the textures by its own names, which differ from the
    // callers' after a restore.
    auto* backendNames = static_cast<u32*>(PAlloc(n * static_cast<int>(sizeof(u32))));
    if (backendNames) {
        for (i32 k = 0; k < n; ++k) {
            int i = FindTextureIndex(names[k]);
            backendNames[k] = i >= 0 ? m_textures[i].backendName : names[k];
        }
        m_backend->glDeleteTextures(n, backendNames);
        PFree(backendNames);
    } else {
        _PDebug("GL: no memory to translate %d texture names\n", n);
        m_backend->glDeleteTextures(n, names);
    }
    for (i32 k = 0; k < n; ++k) {
        int i = FindTextureIndex(names[k]);
        if (i < 0)
            continue;
        if (m_texBackup)
            FreeLevels(m_textures[i]);
        for (auto& u : m_units)
            if (u.boundName == names[k])
                u.boundName = 0;
        RemoveTextureAt(i);
    }
    SortTextures();
}

// ---------------------------------------------------------------------------
// Uploads

void P3DStateMan::BackupLevel(__texture& rec, i32 level, i32 width, i32 height, u32 size, void const* src,
                              i32 srcStride, i32 rowBytes)
{
    auto& l = rec.levels[level];
    if (l.size != size || !l.copy) {
        if (l.copy)
            PFree(l.copy);
        l.copy = size ? PAlloc(static_cast<int>(size)) : nullptr;
        l.size = l.copy ? size : 0;
        if (size && !l.copy)
            _PDebug("GL: no memory to back up texture %u level %d (%u bytes)\n", rec.name, level, size);
    }
    if (l.copy && src) {
        auto* dst = static_cast<uint8_t*>(l.copy);
        auto const* from = static_cast<uint8_t const*>(src);
        if (srcStride == rowBytes) {
            std::memcpy(dst, from, size);
        } else {
            for (i32 y = 0; y < height; ++y)
                std::memcpy(dst + size_t(y) * rowBytes, from + size_t(y) * srcStride, rowBytes);
        }
    }
    rec.levelCount = std::max(rec.levelCount, level + 1);
    l.width = static_cast<uint16_t>(width);
    l.height = static_cast<uint16_t>(height);
}

void P3DStateMan::glTexImage2D(u32 target, i32 level, i32 internalformat, i32 width, i32 height, i32 border,
                               u32 format, u32 type, void const* pixels)
{
    if (!m_backend)
        return;
    m_backend->glTexImage2D(target, level, internalformat, width, height, border, format, type, pixels);
    __texture* rec = BoundTexture(m_activeUnit);
    if (!rec)
        return;
    rec->format = format;
    if (!m_texBackup)
        return;
    if (level < 0 || level >= kTextureLevels || width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF) {
        _PDebug("GL: texture %u level %d (%d x %d) cannot be backed up\n", rec->name, level, width, height);
        return;
    }
    int bpp = GLBytesPerPixel(format, type);
    if (bpp == 0) {
        _PDebug("GL: texture %u: format 0x%x type 0x%x cannot be backed up\n", rec->name, format, type);
        return;
    }
    // Rows in the caller's memory follow the unpack alignment; the copy keeps
    // them tightly packed.
    i32 alignment = 4;
    m_backend->glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    if (alignment != 1 && alignment != 2 && alignment != 4 && alignment != 8)
        alignment = 4;
    int64_t rowBytes = int64_t(width) * bpp;
    int64_t stride = (rowBytes + alignment - 1) / alignment * alignment;
    int64_t size = rowBytes * height;
    if (size > INT32_MAX) {
        _PDebug("GL: texture %u level %d is too large to back up\n", rec->name, level);
        return;
    }
    BackupLevel(*rec, level, width, height, static_cast<u32>(size), pixels, static_cast<i32>(stride),
                static_cast<i32>(rowBytes));
    rec->type = type;
    rec->internalFormat = static_cast<u32>(internalformat);
    rec->flags &= ~1u;
}

void P3DStateMan::glCompressedTexImage2D(u32 target, i32 level, u32 internalformat, i32 width, i32 height,
                                         i32 border, i32 imageSize, void const* data)
{
    if (!m_backend)
        return;
    m_backend->glCompressedTexImage2D(target, level, internalformat, width, height, border, imageSize, data);
    __texture* rec = BoundTexture(m_activeUnit);
    if (!rec)
        return;
    switch (internalformat) {
    case 0x8B90: // paletted RGB8 and R5G6B5
    case 0x8B92:
    case 0x8B95:
    case 0x8B97:
    case 0x8C00: // PVRTC RGB
    case 0x8C01:
    case 0x8C92: // ATC RGB
        rec->format = GL_RGB;
        break;
    default:
        rec->format = GL_RGBA;
        break;
    }
    if (!m_texBackup)
        return;
    if (level < 0 || level >= kTextureLevels || width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF ||
        imageSize < 0) {
        _PDebug("GL: compressed texture %u level %d cannot be backed up\n", rec->name, level);
        return;
    }
    BackupLevel(*rec, level, width, height, static_cast<u32>(imageSize), data, imageSize, imageSize);
    rec->internalFormat = internalformat;
    rec->flags |= 1u;
    rec->type = static_cast<u32>(border);
}

void P3DStateMan::vornTexBackup_glTexParameter(u32, u32 pname, i32 value)
{
    if (!m_texBackup)
        return;
    __texture* rec = BoundTexture(m_activeUnit);
    if (!rec)
        return;
    switch (pname) {
    case GL_TEXTURE_WRAP_S:
        rec->wrapS = static_cast<u32>(value);
        break;
    case GL_TEXTURE_MAG_FILTER:
        rec->magFilter = static_cast<u32>(value);
        break;
    case GL_TEXTURE_MIN_FILTER:
        rec->minFilter = static_cast<u32>(value);
        break;
    case GL_TEXTURE_WRAP_T:
        rec->wrapT = static_cast<u32>(value);
        break;
    case GL_GENERATE_MIPMAP:
        rec->generateMipmap = static_cast<u32>(value);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Sending texture matrices; dropping and re-making textures

void P3DStateMan::ApplyTextures()
{
    if (m_unitCount < 1 || !m_backend)
        return;
    u32 remembered = m_activeUnit;
    bool sent = false;
    for (u32 u = 0; u < m_unitCount; ++u) {
        P3DMatrixEntry& t = Top(kStackTexture0 + u);
        if (!(t.flags() & kMatDirty))
            continue;
        if (u != m_activeUnit) {
            m_backend->glActiveTexture(GL_TEXTURE0 + u);
            m_activeUnit = u;
        }
        t.flags() &= ~kMatDirty;
        m_backend->glMatrixMode(GL_TEXTURE);
        m_backend->glLoadMatrixx(t.w);
        m_backend->vornGLUpdateMatrices(1);
        sent = true;
    }
    if (sent) {
        m_activeUnit = remembered;
        m_backend->glActiveTexture(GL_TEXTURE0 + remembered);
        m_backend->glMatrixMode(CallerModeEnum());
    }
}

void P3DStateMan::vornClearTextures()
{
    if (!m_backend)
        return;
    for (int i = 0; i < m_texCount; ++i) {
        if (m_textures[i].backendName != 0) {
            m_backend->glDeleteTextures(1, &m_textures[i].backendName);
            m_textures[i].backendName = 0;
        }
    }
    for (u32 u = 0; u < m_unitCount && u < kMaxTextureUnits; ++u)
        m_units[u].boundName = 0;
}

void P3DStateMan::vornRestoreTextures()
{
    if (!m_backend)
        return;
    m_backend->glGetError();
    // The copies hold tightly packed rows.
    i32 alignment = 4;
    m_backend->glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    bool realigned = false;
    for (int i = 0; i < m_texCount; ++i) {
        __texture& rec = m_textures[i];
        if (rec.backendName != 0)
            continue;
        m_backend->glGenTextures(1, &rec.backendName);
        m_backend->glBindTexture(GL_TEXTURE_2D, rec.backendName);
        m_backend->glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<i32>(rec.minFilter));
        m_backend->glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<i32>(rec.magFilter));
        m_backend->glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<i32>(rec.wrapS));
        m_backend->glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<i32>(rec.wrapT));
        for (i32 l = 0; l < rec.levelCount && l < kTextureLevels; ++l) {
            auto const& lv = rec.levels[l];
            if (rec.flags & 1u) {
                m_backend->glCompressedTexImage2D(GL_TEXTURE_2D, l, rec.internalFormat, lv.width, lv.height,
                                                  static_cast<i32>(rec.type), static_cast<i32>(lv.size), lv.copy);
            } else {
                if (!realigned && alignment != 1) {
                    m_backend->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
                    realigned = true;
                }
                m_backend->glTexImage2D(GL_TEXTURE_2D, l, static_cast<i32>(rec.internalFormat), lv.width,
                                        lv.height, 0, rec.format, rec.type, lv.copy);
            }
        }
    }
    if (realigned)
        m_backend->glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

} // namespace vornGL
