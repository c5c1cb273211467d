// Textures of the software back end: 256 records indexed by name, each one
// level of 16-bit texels in one of three formats (565 with a key bit, 4444,
// 88), uploads with their conversions, sub-images and paletted images.
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "gl/software/swbackend.h"
#include "gl/software/swgl.h"

#include <cstring>

namespace vornGL {

using namespace swgl;

namespace {

// log2 of a power of two from 1 to 256; -1 otherwise (0 included).
int Log2Side(i32 v)
{
    for (int i = 0; i <= 8; ++i)
        if (v == (1 << i))
            return i;
    return -1;
}

// Bytes per source texel, 0 for a pair nothing converts.
int SourceBytes(u32 format, u32 type)
{
    switch (type) {
    case UNSIGNED_SHORT_4_4_4_4:
    case UNSIGNED_SHORT_5_5_5_1:
    case UNSIGNED_SHORT_5_6_5:
        return 2;
    case UNSIGNED_BYTE:
        switch (format) {
        case ALPHA:
        case LUMINANCE:
            return 1;
        case LUMINANCE_ALPHA:
            return 2;
        case RGB:
            return 3;
        case RGBA:
            return 4;
        default:
            return 0;
        }
    default:
        return 0;
    }
}

u16 Read16(uint8_t const* p) { return u16(p[0] | p[1] << 8); }

// One source texel converted to the internal form.
u16 ConvertTexel(u32 format, u32 type, uint8_t const* p)
{
    switch (type) {
    case UNSIGNED_SHORT_4_4_4_4:
        return Read16(p);
    case UNSIGNED_SHORT_5_5_5_1: {
        u32 t = Read16(p);
        u32 r = ((t >> 1) & 31) | (t & ~63u);
        if (!(t & 1))
            r |= 32;
        return u16(r);
    }
    case UNSIGNED_SHORT_5_6_5:
        return u16(Read16(p) & ~32u);
    default:
        break;
    }
    switch (format) {
    case ALPHA:
        return u16(p[0] << 8 | p[0]);
    case RGB:
        return u16((p[0] >> 3) << 11 | (p[1] >> 3) << 6 | p[2] >> 3);
    case RGBA:
        return u16((p[0] >> 4) << 12 | (p[1] >> 4) << 8 | (p[2] >> 4) << 4 | p[3] >> 4);
    case LUMINANCE:
        return u16((p[0] >> 3) << 11 | (p[0] >> 3) << 6 | p[0] >> 3);
    case LUMINANCE_ALPHA:
        return u16(p[0] << 8 | p[1]);
    default:
        return 0;
    }
}

// The record type an upload of (format, type) leaves.
u32 ResultType(u32 format, u32 type)
{
    if (type == UNSIGNED_BYTE) {
        if (format == ALPHA || format == LUMINANCE_ALPHA)
            return LUMINANCE_ALPHA;
        if (format == RGBA)
            return UNSIGNED_SHORT_4_4_4_4;
    }
    return type;
}

// Converts a rectangle of source rows (stride in bytes) into the texels.
void ConvertRect(u16* dst, i32 dstStride, i32 width, i32 height, u32 format, u32 type, uint8_t const* src,
                 int64_t srcStride)
{
    int bpp = SourceBytes(format, type);
    if (!bpp)
        return;
    for (i32 y = 0; y < height; ++y) {
        uint8_t const* s = src + y * srcStride;
        u16* d = dst + int64_t(y) * dstStride;
        for (i32 x = 0; x < width; ++x)
            d[x] = ConvertTexel(format, type, s + int64_t(x) * bpp);
    }
}

int64_t RowStride(i32 width, int bpp, i32 alignment)
{
    int64_t row = int64_t(width) * bpp;
    return (row + alignment - 1) / alignment * alignment;
}

// The ten paletted formats: index bits, palette entry bytes, upload format and type.
struct Paletted {
    int indexBits;
    int entryBytes;
    u32 format, type;
};

Paletted PalettedFormat(u32 f)
{
    static const Paletted table[10] = {
        {4, 3, RGB, UNSIGNED_BYTE},          {4, 4, RGBA, UNSIGNED_BYTE},
        {4, 2, RGB, UNSIGNED_SHORT_5_6_5},   {4, 2, RGBA, UNSIGNED_SHORT_4_4_4_4},
        {4, 2, RGBA, UNSIGNED_SHORT_5_5_5_1}, {8, 3, RGB, UNSIGNED_BYTE},
        {8, 4, RGBA, UNSIGNED_BYTE},          {8, 2, RGB, UNSIGNED_SHORT_5_6_5},
        {8, 2, RGBA, UNSIGNED_SHORT_4_4_4_4}, {8, 2, RGBA, UNSIGNED_SHORT_5_5_5_1},
    };
    return table[f - PALETTE4_RGB8];
}

// Expands paletted indices (4-bit indices are packed continuously, high
// nibble first) into a block of palette entries; null when out of memory.
uint8_t* ExpandPaletted(Paletted const& p, i32 width, i32 height, uint8_t const* data)
{
    int64_t texels = int64_t(width) * height;
    int64_t bytes = texels * p.entryBytes;
    auto* out = static_cast<uint8_t*>(PAlloc(int(bytes > 0 ? bytes : 1)));
    if (!out)
        return nullptr;
    uint8_t const* palette = data;
    uint8_t const* indices = data + (p.indexBits == 4 ? 16 : 256) * p.entryBytes;
    for (int64_t i = 0; i < texels; ++i) {
        u32 index;
        if (p.indexBits == 8)
            index = indices[i];
        else
            index = (i & 1) ? (indices[i >> 1] & 15) : (indices[i >> 1] >> 4);
        std::memcpy(out + i * p.entryBytes, palette + index * p.entryBytes, size_t(p.entryBytes));
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Names and binding

void P3DBackendSW::glGenTextures(i32 n, u32* names)
{
    if (n < 0) {
        SetError(INVALID_VALUE, "glGenTextures");
        return;
    }
    if (!names)
        return;
    for (i32 i = 0; i < n; ++i) {
        u32 name = 0;
        for (u32 k = 1; k < 256; ++k) {
            if (!m_textures[k].inUse) {
                name = k;
                break;
            }
        }
        if (!name) {
            for (i32 j = i; j < n; ++j)
                names[j] = 0;
            SetError(OUT_OF_MEMORY, "glGenTextures");
            return;
        }
        m_textures[name].inUse = 1;
        names[i] = name;
    }
}

void P3DBackendSW::SetUnitTexture(u32 unit, PSWTexture* record)
{
    m_stateMan->Unit(unit).backendData = record;
}

void P3DBackendSW::glBindTexture(u32 target, u32 name)
{
    if (target != TEXTURE_2D) {
        SetError(INVALID_ENUM, "glBindTexture");
        return;
    }
    if (name > 255) {
        SetError(INVALID_VALUE, "glBindTexture");
        return;
    }
    if (!m_textures[name].inUse)
        return;
    m_boundTexture = &m_textures[name];
    SetUnitTexture(m_stateMan->ActiveUnit() % kMaxTextureUnits, m_boundTexture);
}

u8 P3DBackendSW::glIsTexture(u32 name) { return name < 256 && m_textures[name].inUse ? 1 : 0; }

void P3DBackendSW::glDeleteTextures(i32 n, u32 const* names)
{
    FlushBands(); // kept draws read the texels
    if (n < 0) {
        SetError(INVALID_VALUE, "glDeleteTextures");
        return;
    }
    if (!names)
        return;
    for (i32 i = 0; i < n; ++i) {
        u32 name = names[i];
        if (name < 1 || name > 255)
            continue;
        PSWTexture* rec = &m_textures[name];
        if (m_boundTexture == rec)
            m_boundTexture = &m_textures[0];
        if (m_currentTexture == rec)
            m_currentTexture = nullptr;
        for (u32 u = 0; u < kMaxTextureUnits; ++u)
            if (m_stateMan->Unit(u).backendData == rec)
                SetUnitTexture(u, &m_textures[0]);
        m_textures[0].inUse = 1;
        if (rec->data && rec->data != &m_defaultTexel)
            PFree(rec->data);
        std::memset(rec, 0, sizeof *rec);
    }
}

// ---------------------------------------------------------------------------
// Uploads

void P3DBackendSW::glTexImage2D(u32 target, i32, i32, i32 width, i32 height, i32 border, u32 format, u32 type,
                                void const* pixels)
{
    FlushBands(); // kept draws read the texels
    int lw = width == 0 ? 0 : Log2Side(width);
    int lh = height == 0 ? 0 : Log2Side(height);
    if (target != TEXTURE_2D || border != 0 || lw < 0 || lh < 0) {
        SetError(INVALID_VALUE, "glTexImage2D");
        return;
    }
    PSWTexture* rec = ActiveTexture();
    rec->log2Width = lw;
    rec->log2Height = lh;
    rec->format = format;
    rec->type = type;
    if (width == 0 || height == 0) {
        // An empty image leaves the texture incomplete: drawn untextured.
        if (rec->data && rec->data != &m_defaultTexel)
            PFree(rec->data);
        rec->data = nullptr;
        rec->capacity = 0;
        return;
    }
    i32 texels = width * height;
    if (!rec->data || rec->data == &m_defaultTexel || rec->capacity < texels) {
        u16* block = static_cast<u16*>(PAlloc(texels * 2));
        if (rec->data && rec->data != &m_defaultTexel)
            PFree(rec->data);
        if (!block) {
            // The sizes no longer fit the old storage: incomplete.
            rec->data = nullptr;
            rec->capacity = 0;
            SetError(OUT_OF_MEMORY, "glTexImage2D");
            return;
        }
        rec->data = block;
        rec->capacity = texels;
        std::memset(block, 0, size_t(texels) * 2);
    }
    rec->type = ResultType(format, type);
    if (!pixels)
        return;
    int bpp = SourceBytes(format, type);
    if (!bpp) {
        rec->type = type;
        return;
    }
    ConvertRect(rec->data, width, width, height, format, type, static_cast<uint8_t const*>(pixels),
                RowStride(width, bpp, m_unpackAlignment));
}

void P3DBackendSW::glTexSubImage2D(u32, i32, i32 x, i32 y, i32 width, i32 height, u32 format, u32 type,
                                   void const* pixels)
{
    FlushBands(); // kept draws read the texels
    PSWTexture* rec = ActiveTexture();
    if (!rec->data) {
        SetError(INVALID_OPERATION, "glTexSubImage2D");
        return;
    }
    i32 tw = 1 << rec->log2Width, th = 1 << rec->log2Height;
    if (x < 0 || y < 0 || width < 1 || height < 1 || int64_t(x) + width > tw || int64_t(y) + height > th) {
        SetError(INVALID_VALUE, "glTexSubImage2D");
        return;
    }
    if (!pixels)
        return;
    int bpp = SourceBytes(format, type);
    if (!bpp)
        return;
    ConvertRect(rec->data + int64_t(y) * tw + x, tw, width, height, format, type,
                static_cast<uint8_t const*>(pixels), RowStride(width, bpp, m_unpackAlignment));
    if (type == UNSIGNED_BYTE && format == RGBA)
        rec->type = UNSIGNED_SHORT_4_4_4_4;
    else if (type == UNSIGNED_BYTE && (format == ALPHA || format == LUMINANCE_ALPHA))
        rec->type = LUMINANCE_ALPHA;
}

void P3DBackendSW::glCompressedTexImage2D(u32 target, i32 level, u32 internalformat, i32 width, i32 height,
                                          i32 border, i32 imageSize, void const* data)
{
    FlushBands(); // kept draws read the texels
    if (target != TEXTURE_2D) {
        SetError(INVALID_ENUM, "glCompressedTexImage2D");
        return;
    }
    int lw = width == 0 ? 0 : Log2Side(width);
    int lh = height == 0 ? 0 : Log2Side(height);
    if (width < 0 || height < 0 || lw < 0 || lh < 0 || border != 0) {
        SetError(INVALID_VALUE, "glCompressedTexImage2D");
        return;
    }
    if (internalformat < PALETTE4_RGB8 || internalformat > PALETTE8_RGB5_A1) {
        SetError(INVALID_ENUM, "glCompressedTexImage2D");
        return;
    }
    Paletted p = PalettedFormat(internalformat);
    int64_t need = int64_t(p.indexBits == 4 ? 16 : 256) * p.entryBytes +
                   (int64_t(width) * height * p.indexBits + 7) / 8;
    if (int64_t(imageSize) < need) {
        SetError(INVALID_VALUE, "glCompressedTexImage2D");
        return;
    }
    if (!data) {
        glTexImage2D(TEXTURE_2D, level, i32(p.format), width, height, 0, p.format, p.type, nullptr);
        return;
    }
    uint8_t* block = ExpandPaletted(p, width, height, static_cast<uint8_t const*>(data));
    if (!block) {
        SetError(OUT_OF_MEMORY, "glCompressedTexImage2D");
        return;
    }
    i32 saved = m_unpackAlignment;
    m_unpackAlignment = 1; // the expanded rows are tightly packed
    glTexImage2D(TEXTURE_2D, level, i32(p.format), width, height, 0, p.format, p.type, block);
    m_unpackAlignment = saved;
    PFree(block);
}

void P3DBackendSW::glCompressedTexSubImage2D(u32 target, i32 level, i32 x, i32 y, i32 width, i32 height,
                                             u32 format, i32 imageSize, void const* data)
{
    FlushBands(); // kept draws read the texels
    if (target != TEXTURE_2D) {
        SetError(INVALID_ENUM, "glCompressedTexSubImage2D");
        return;
    }
    if (Log2Side(width) < 0 || Log2Side(height) < 0 || x < 0 || y < 0 || level < 0) {
        SetError(INVALID_VALUE, "glCompressedTexSubImage2D");
        return;
    }
    if (format < PALETTE4_RGB8 || format > PALETTE8_RGB5_A1) {
        SetError(INVALID_ENUM, "glCompressedTexSubImage2D");
        return;
    }
    Paletted p = PalettedFormat(format);
    int64_t need = int64_t(p.indexBits == 4 ? 16 : 256) * p.entryBytes +
                   (int64_t(width) * height * p.indexBits + 7) / 8;
    if (!data || int64_t(imageSize) < need) {
        SetError(INVALID_VALUE, "glCompressedTexSubImage2D");
        return;
    }
    uint8_t* block = ExpandPaletted(p, width, height, static_cast<uint8_t const*>(data));
    if (!block) {
        SetError(OUT_OF_MEMORY, "glCompressedTexSubImage2D");
        return;
    }
    i32 saved = m_unpackAlignment;
    m_unpackAlignment = 1;
    glTexSubImage2D(TEXTURE_2D, level, x, y, width, height, p.format, p.type, block);
    m_unpackAlignment = saved;
    PFree(block);
}

// ---------------------------------------------------------------------------
// Parameters and environment

void P3DBackendSW::glTexParameterx(u32 target, u32 pname, i32 param)
{
    u32 v = u32(param);
    bool ok = false;
    if (target == TEXTURE_2D) {
        switch (pname) {
        case TEXTURE_MAG_FILTER:
            ok = v == NEAREST || v == LINEAR;
            break;
        case TEXTURE_MIN_FILTER:
            ok = v == NEAREST || v == LINEAR || (v >= NEAREST_MIPMAP_NEAREST && v <= LINEAR_MIPMAP_LINEAR);
            break;
        case TEXTURE_WRAP_S:
        case TEXTURE_WRAP_T:
            ok = v == REPEAT || v == CLAMP_TO_EDGE;
            break;
        default:
            break;
        }
    }
    if (!ok) {
        SetError(INVALID_ENUM, "glTexParameterx");
        return;
    }
    // The flag follows the magnification filter (the one that decides how a
    // glyph drawn larger than its texels looks); the others leave it.
    if (pname == TEXTURE_MAG_FILTER)
        m_linearFilter = v == LINEAR ? 1 : 0;
}

void P3DBackendSW::glTexEnvxv(u32 target, u32, i32 const* params)
{
    if (target != TEXTURE_ENV || !params)
        return;
    if (u32(params[0]) == COMBINE) {
        SetError(INVALID_ENUM, "glTexEnvxv");
        m_stateMan->Unit(m_stateMan->ActiveUnit() % kMaxTextureUnits).envMode = REPLACE;
    }
}

} // namespace vornGL
