// Fonts drawn through GL: the glyph strip repacked into textures at load
// time, text drawn as batches of 32 textured quads, and the GL background
// box of a markup run.
#include "engine/graphics/punicodefont3d.h"

#include <algorithm>
#include <cstring>

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pfontchars.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"
#include "gl/gles.h"

using namespace p3dgl;

namespace {

// The enables a print may change (texturing, culling, blending, depth test,
// alpha test, normal/colour/texture-coordinate arrays, perspective hint,
// smooth shading); the rest of the state flags stay as they are.
constexpr uint32_t kStateMask = 0x7C000427;
constexpr uint32_t kStateTexture = 0x00000001, kStateBlend = 0x00000004, kStateAlphaTest = 0x00000400;
constexpr uint32_t kStateTexCoords = 0x10000000;
constexpr uint32_t kStateColours = 0x48000000; // colour array and smooth shading

// A colour channel 0..255 as a 16.16 GL colour.
inline int32_t Channel(uint32_t c)
{
    return int32_t((c & 0xFF) * 65536 / 255);
}

void SetColour(GLES& gl, uint32_t argb)
{
    gl.glColor4x(Channel(argb >> 16), Channel(argb >> 8), Channel(argb), Channel(argb >> 24));
}

// The texel layout of a strip's textures.
struct TexelFormat {
    uint32_t format = 0; // GL format, or the OES paletted format
    uint32_t type = 0;   // GL type (the paletted format again when paletted)
    bool paletted = false;
    bool fourBit = false;
    size_t paletteBytes = 0;

    size_t Bytes(unsigned w, unsigned h) const
    {
        if (!paletted)
            return size_t(w) * h * 2;
        return paletteBytes + (fourBit ? size_t(w) * h / 2 : size_t(w) * h);
    }
};

bool ChooseFormat(PSurface& strip, TexelFormat& f)
{
    if (strip.format == PSURFACE_RGB565) {
        f.format = kRGBA;
        f.type = strip.alpha ? kUnsignedShort4444 : kUnsignedShort5551;
        return true;
    }
    if (strip.format != PSURFACE_INDEX8)
        return false;
    const PPalette* pal = strip.palette && strip.palette->colors ? strip.palette : nullptr;
    if (!pal)
        strip.flags |= PSURF_GREYRAMP;
    if (strip.alpha) {
        // Indices with an alpha plane: colour and alpha in 4 bits each.
        f.format = kRGBA;
        f.type = kUnsignedShort4444;
        return true;
    }
    if (strip.flags & PSURF_GREYRAMP) {
        f.format = kLuminanceAlpha;
        f.type = kUnsignedByte;
        return true;
    }
    bool high = false;
    if (pal->count > 16)
        for (int y = 0; y < strip.height && !high; y++) {
            const uint8_t* row = strip.pixels + size_t(y) * size_t(strip.pitch);
            for (int x = 0; x < strip.width; x++)
                if (row[x] > 15) {
                    high = true;
                    break;
                }
        }
    const bool alphas = pal->alphas != nullptr;
    f.paletted = true;
    f.fourBit = !high;
    if (high)
        f.format = alphas ? kPalette8RGBA8 : kPalette8RGB5A1;
    else
        f.format = alphas ? kPalette4RGBA8 : kPalette4RGB5A1;
    f.type = f.format;
    f.paletteBytes = size_t(high ? 256 : 16) * (alphas ? 4 : 2);
    return true;
}

} // namespace

using pfontchars::NarrowChars;
using pfontchars::WideChars;

PUnicodeFont3D::PUnicodeFont3D() = default;

PUnicodeFont3D::~PUnicodeFont3D()
{
    DeleteTextures();
}

void PUnicodeFont3D::SetDrawingTarget(GLES* gl, unsigned w, unsigned h, unsigned char)
{
    m_gl = gl;
    screenWidth = w;
    screenHeight = h;
    scaleX = w ? int32_t(0x2000000u / w) : 0;
    scaleY = h ? int32_t(0x2000000u / h) : 0;
}

bool PUnicodeFont3D::Ready() const
{
    return textureCount && m_gl && screenWidth && screenHeight;
}

int32_t PUnicodeFont3D::ClipX(int x) const
{
    return int32_t((int64_t(scaleX) * x) >> 8) - 0x10000;
}

int32_t PUnicodeFont3D::ClipY(int y) const
{
    return int32_t((int64_t(scaleY) * (int64_t(screenHeight) - y)) >> 8) - 0x10000;
}

// ---------------------------------------------------------------------------
// Loading

void PUnicodeFont3D::DeleteTextures()
{
    if (textureCount && m_gl)
        m_gl->glDeleteTextures(int32_t(textureCount), textures);
    textureCount = 0;
    std::memset(textures, 0, sizeof textures);
    std::memset(textureInfo, 0, sizeof textureInfo);
    boundTexture = 0;
    PFree(glyphRows);
    glyphRows = nullptr;
}

void PUnicodeFont3D::Unload()
{
    PUnicodeFont::Unload();
    DeleteTextures();
}

bool PUnicodeFont3D::Load(PStream& s)
{
    DeleteTextures();
    if (!PUnicodeFont::Load(s))
        return false;
    if (!BuildTextures()) {
        Unload();
        return false;
    }
    delete args.strip;
    args.strip = nullptr;
    return true;
}

bool PUnicodeFont3D::BuildTextures()
{
    PSurface* strip = args.strip;
    if (!m_gl) {
        _PDebug("PUnicodeFont3D: no drawing target to load textures into\n");
        return false;
    }
    if (!strip || !strip->pixels)
        return false;
    // The plan: the strip cut into rows 256 pixels wide, in square-ish
    // power-of-two textures of at most 256 rows.
    unsigned w = PCeil2(unsigned(strip->width)), h = unsigned(strip->height);
    if (w > 256) {
        h += height * ((w - 257) / 256 + 1);
        w = 256;
    }
    const unsigned planned = std::max(1u, PCeil2(h) / 256);
    if (planned > unsigned(kMaxTextures)) {
        _PDebug("PUnicodeFont3D: the strip needs %u textures, at most %d\n", planned, kMaxTextures);
        return false;
    }
    const unsigned area = w * std::min(PCeil2(h), 256u);
    int k = 2; // 2 x 2 at least, so that every row is whole bytes
    while ((1u << k) < area)
        k++;
    const unsigned tw = 1u << (k / 2), th = 1u << ((k + 1) / 2);

    TexelFormat fmt;
    if (!ChooseFormat(*strip, fmt)) {
        _PDebug("PUnicodeFont3D: glyph strip of format %d cannot be a texture\n", strip->format);
        return false;
    }
    glyphRows = static_cast<uint8_t*>(PAllocZ(int(std::max(1u, glyphCount))));
    auto* buffer = static_cast<uint8_t*>(PAllocZ(int(fmt.Bytes(tw, th))));
    if (!glyphRows || !buffer) {
        PFree(buffer);
        return false;
    }

    bool ok = true;
    unsigned first = 0, col = 0, row = 0;
    auto upload = [&](unsigned last, bool final) {
        if (textureCount >= unsigned(kMaxTextures)) {
            _PDebug("PUnicodeFont3D: the glyphs need more than %d textures\n", kMaxTextures);
            return false;
        }
        uint32_t name = 0;
        m_gl->glGetError();
        m_gl->glGenTextures(1, &name);
        if (!name) {
            _PDebug("PUnicodeFont3D: no texture name\n");
            return false;
        }
        textures[textureCount++] = name;
        const unsigned uh = final ? std::max(1u, std::min(th, PCeil2(row + height))) : th;
        m_gl->glBindTexture(kTexture2D, name);
        if (fmt.paletted)
            m_gl->glCompressedTexImage2D(kTexture2D, 0, fmt.format, int32_t(tw), int32_t(uh), 0,
                                         int32_t(fmt.Bytes(tw, uh)), buffer);
        else
            m_gl->glTexImage2D(kTexture2D, 0, int32_t(fmt.format), int32_t(tw), int32_t(uh), 0, fmt.format,
                               fmt.type, buffer);
        if (uint32_t e = m_gl->glGetError()) {
            _PDebug("PUnicodeFont3D: texture upload failed (GL error 0x%X)\n", e);
            return false;
        }
        textureInfo[textureCount - 1] = {uint16_t(first), uint16_t(last), uint16_t(tw), uint16_t(uh)};
        std::memset(buffer, 0, fmt.Bytes(tw, th));
        return true;
    };

    for (unsigned i = 0; i < glyphCount && ok; i++) {
        PGlyph& g = glyphs[i];
        if (g.width > tw || height > th) {
            _PDebug("PUnicodeFont3D: glyph %u (%u x %u) larger than a %u x %u texture\n", i, g.width, height, tw,
                    th);
            ok = false;
            break;
        }
        if (col + g.width > tw) {
            if (row + 2 * unsigned(height) <= th) {
                row += height;
            } else {
                ok = upload(i - 1, false);
                first = i;
                row = 0;
            }
            col = 0;
        }
        if (!ok)
            break;
        const PRect r{g.x, 0, g.width, height};
        P3D::CopyTexData(buffer, col, row, tw, int(fmt.type), strip, &r, 0, int(fmt.format));
        glyphRows[i] = uint8_t(row);
        g.x = uint16_t(col);
        col = (col + g.width + 3) & ~3u;
    }
    if (ok)
        ok = upload(glyphCount ? glyphCount - 1 : 0, true);
    PFree(buffer);
    boundTexture = 0;
    return ok;
}

// ---------------------------------------------------------------------------
// Printing

void PUnicodeFont3D::BindTexture(unsigned index) const
{
    boundTexture = index;
    m_gl->glBindTexture(kTexture2D, textures[index]);
    const int32_t filter = int32_t((args.blitFlags & kFlagLinear) ? kLinear : kNearest);
    m_gl->glTexParameterx(kTexture2D, kTexMinFilter, filter);
    m_gl->glTexParameterx(kTexture2D, kTexMagFilter, filter);
}

void PUnicodeFont3D::Setup(CharPrintState& st) const
{
    GLES& gl = *m_gl;
    gl.glGetError();
    if (!(args.blitFlags & kFlagKeepMatrices))
        gl.vornGLPushMatricesSetIdentity();
    gl.vornGLPushState();

    const uint32_t c = args.color;
    uint32_t value = kStateTexCoords | kStateTexture;
    uint32_t env = kModulate;
    switch (mode) {
    case 0:
        SetColour(gl, c);
        if ((c >> 24) < 255) {
            gl.glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
            value |= kStateBlend;
        }
        break;
    case 1:
        SetColour(gl, c);
        gl.glBlendFunc(kOne, kOne);
        value |= kStateBlend;
        break;
    case 3:
        gl.glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
        value |= kStateBlend;
        env = kReplace;
        break;
    case 4:
        value |= kStateColours;
        break;
    case 5:
        SetColour(gl, c);
        gl.glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
        value |= kStateBlend;
        break;
    default:
        env = kReplace;
        break;
    }
    if (args.blitFlags & kFlagAlphaTest)
        value |= kStateAlphaTest;
    gl.glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(env));
    gl.vornGLStateUpdate(value, kStateMask);

    BindTexture(boundTexture);
    vornGL::P3DBackend* be = gl.GetBackend();
    be->glVertexPointer(2, kFixed, 16, st.vertices);
    be->glTexCoordPointer(2, kFixed, 16, st.vertices + 2);
    if (mode == 4)
        be->glColorPointer(4, kUnsignedByte, 0, st.colors);

    // The glyph row; a flipped glyph swaps its top and bottom edges.
    const bool flip = args.blitFlags & kFlagFlip;
    st.top = ClipY(flip ? st.y + height : st.y);
    st.bottom = ClipY(flip ? st.y : st.y + height);
    st.quads = 0;
}

void PUnicodeFont3D::Flush(CharPrintState& st) const
{
    if (st.quads)
        m_gl->glDrawElements(kTriangles, 6 * st.quads, kUnsignedByte, st.indices);
    st.quads = 0;
}

void PUnicodeFont3D::Finish() const
{
    m_gl->vornGLPopState();
    if (!(args.blitFlags & kFlagKeepMatrices))
        m_gl->vornGLPopMatrices();
}

// One character of a print at `pen`: its glyph's quad added to the batch, or
// the character printed through the fallback font between two batches.
void PUnicodeFont3D::Place(wchar_t c, const PGlyph* g, int pen, const PenStep& step, CharPrintState& st) const
{
    if (!g) {
        if (!CanAskFallback())
            return;
        Flush(st);
        Finish();
        PrintMissing(c, pen, st.y);
        Setup(st);
        return;
    }
    const unsigned index = GlyphIndex(g);
    if (index < textureInfo[boundTexture].firstGlyph || index > textureInfo[boundTexture].lastGlyph) {
        Flush(st);
        for (unsigned t = 0; t < textureCount; t++)
            if (index >= textureInfo[t].firstGlyph && index <= textureInfo[t].lastGlyph) {
                BindTexture(t);
                break;
            }
    }
    const TextureInfo& ti = textureInfo[boundTexture];
    const int x0 = pen + step.left;

    const bool mirror = args.blitFlags & kFlagMirror;
    const int32_t xa = ClipX(mirror ? x0 + g->width : x0), xb = ClipX(mirror ? x0 : x0 + g->width);
    const int32_t s0 = int32_t((uint32_t(g->x) << 16) / ti.width);
    const int32_t s1 = int32_t((uint32_t(g->x + g->width) << 16) / ti.width);
    const int32_t t0 = int32_t((uint32_t(glyphRows[index]) << 16) / ti.height);
    const int32_t t1 = int32_t((uint32_t(glyphRows[index] + height) << 16) / ti.height);
    int32_t* v = st.vertices + st.quads * 16;
    const int32_t quad[16] = {xa, st.top, s0, t0, xb, st.top, s1, t0, xb, st.bottom, s1, t1, xa, st.bottom, s0, t1};
    std::memcpy(v, quad, sizeof quad);
    if (mode == 4)
        std::memcpy(st.colors + st.quads * 16, cornerColors, sizeof cornerColors);
    if (++st.quads == kBatchQuads)
        Flush(st);
}

void PUnicodeFont3D::PrintChar(wchar_t c, CharPrintState& st) const
{
    st.penX = Walk(pfontchars::OneChar{unsigned(c)}, 1, st.penX,
                   [&](unsigned ch, const PGlyph* g, int pen, const PenStep& step) {
                       Place(wchar_t(ch), g, pen, step, st);
                   })
                  .pen;
}

template <class Next> int PUnicodeFont3D::PrintText(Next next, int x, int y, int n) const
{
    if (!Ready())
        return 0;
    CharPrintState st;
    for (int q = 0; q < kBatchQuads; q++) {
        const uint8_t b = uint8_t(4 * q);
        const uint8_t idx[6] = {b, uint8_t(b + 1), uint8_t(b + 2), uint8_t(b + 2), uint8_t(b + 3), b};
        std::memcpy(st.indices + 6 * q, idx, 6);
    }
    st.penX = x;
    st.y = y;
    Setup(st);
    st.penX = Walk(next, n, x, [&](unsigned c, const PGlyph* g, int pen, const PenStep& step) {
                  Place(wchar_t(c), g, pen, step, st);
              }).pen;
    Flush(st);
    Finish();
    return st.penX - x;
}

int PUnicodeFont3D::Print(const char* s, int x, int y, int n) const
{
    return PrintText(NarrowChars{*this, s}, x, y, n);
}

int PUnicodeFont3D::Print(const wchar_t* s, int x, int y, int n) const
{
    return PrintText(WideChars{s}, x, y, n);
}

int PUnicodeFont3D::PrintShape(int x, int y, int w, int h, const AttributeString& run)
{
    if (!(run.attributes & PFONT_ATTR_BOX))
        return 0;
    if (!m_gl || !screenWidth || !screenHeight)
        return w;
    GLES& gl = *m_gl;
    const bool keep = args.blitFlags & kFlagKeepMatrices;
    if (!keep)
        gl.vornGLPushMatricesSetIdentity();
    gl.vornGLPushState();
    SetColour(gl, run.backColor);
    uint32_t value = 0;
    if ((run.backColor >> 24) < 255) {
        gl.glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
        value = kStateBlend;
    }
    gl.vornGLStateUpdate(value, kStateMask);
    int32_t v[8];
    gl.GetBackend()->glVertexPointer(2, kFixed, 0, v);
    auto fan = [&](int x0, int y0, int x1, int y1) {
        const int32_t l = ClipX(x0), r = ClipX(x1), t = ClipY(y0), b = ClipY(y1);
        const int32_t quad[8] = {l, t, r, t, r, b, l, b};
        std::memcpy(v, quad, sizeof quad);
        gl.glDrawArrays(kTriangleFan, 0, 4);
    };
    const unsigned shape = run.attributes & PFONT_ATTR_SHAPEMASK;
    if ((shape == 0x10 || shape == 0x20 || shape == 0x30) && w > 4 && h > 4) {
        // Cut corners: the middle rows whole, the top and bottom rows without
        // their corner pixels.
        fan(x, y + 1, x + w, y + h - 1);
        fan(x + 1, y, x + w - 1, y + 1);
        fan(x + 1, y + h - 1, x + w - 1, y + h);
    } else {
        fan(x, y, x + w, y + h);
    }
    gl.vornGLPopState();
    if (!keep)
        gl.vornGLPopMatrices();
    return w;
}
