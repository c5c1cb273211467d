// Textured images: the upload into tiles and the two kinds of draw.
#include "engine/graphics/psurface3d.h"

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pzstream.h"

#include <algorithm>
#include <cstring>

using namespace p3dgl;

namespace {

constexpr uint32_t k2DMask = 0x7C000427;

uint32_t PowerOfTwo(uint32_t v)
{
    uint32_t p = 1;
    while (p < v && p < 0x40000000u)
        p <<= 1;
    return p;
}

// An indexed image is drawn with a 4-bit palette when its palette has at most
// 16 entries or none of its pixels uses an index above 15.
bool FourBit(const PSurface* img)
{
    if (img->palette && img->palette->count <= 16)
        return true;
    for (int y = 0; y < img->height; ++y) {
        const uint8_t* row = img->pixels + size_t(y) * size_t(img->pitch);
        for (int x = 0; x < img->width; ++x)
            if (row[x] > 15)
                return false;
    }
    return true;
}

bool PaletteHasAlpha(const PSurface* img)
{
    return img->palette && img->palette->alphas;
}

} // namespace

PSurface3D::PSurface3D(P3D* ctx, PSurface* image)
    : m_width(image ? uint32_t(std::max(image->width, 0)) : 0),
      m_height(image ? uint32_t(std::max(image->height, 0)) : 0), m_names(), m_tileCount(0), m_tilesAcross(0),
      m_tilesDown(0), m_tileSize(256), m_ctx(ctx), m_image(nullptr), m_texWidth(1), m_texHeight(1),
      m_viewportW(0), m_viewportH(0), m_clipScaleX(0), m_clipScaleY(0), m_texScaleX(0), m_texScaleY(0)
{
    m_texWidth = PowerOfTwo(m_width);
    m_texHeight = PowerOfTwo(m_height);
    int32_t maxSize = 0;
    if (ctx)
        ctx->glGetIntegerv(kMaxTextureSize, &maxSize);
    m_tileSize = maxSize < 256 ? 256u : uint32_t(maxSize);
    m_tilesAcross = (m_width + m_tileSize - 1) / m_tileSize;
    m_tilesDown = (m_height + m_tileSize - 1) / m_tileSize;
    uint64_t tiles = uint64_t(m_tilesAcross) * m_tilesDown;
    m_tileCount = tiles > 0xFFFF ? 0xFFFF : uint32_t(tiles);
    m_texScaleX = int32_t(0x1000000 / std::min(m_tileSize, m_texWidth));
    m_texScaleY = int32_t(0x1000000 / std::min(m_tileSize, m_texHeight));
    UpdateViewPort();
}

PSurface3D::~PSurface3D()
{
    if (m_tileCount && m_tileCount <= uint32_t(kMaxTiles) && m_ctx)
        m_ctx->glDeleteTextures(int32_t(m_tileCount), m_names);
    delete m_image;
}

PSurface3D* PSurface3D::Create(P3D* ctx, PSurface* image, int flags)
{
    if (!ctx || !image || !image->pixels) {
        _PDebug("PSurface3D: no context or no image\n");
        return nullptr;
    }
    PSurface3D* s = new PSurface3D(ctx, image);
    if (!s) {
        _PDebug("PSurface3D: no memory\n");
        return nullptr;
    }
    if (s->m_tileCount < 1 || s->m_tileCount > uint32_t(kMaxTiles)) {
        _PDebug("PSurface3D: a %dx%d image needs %u tiles of %u (1 to %d allowed)\n", image->width,
                image->height, s->m_tileCount, s->m_tileSize, kMaxTiles);
        s->m_tileCount = 0;
        delete s;
        return nullptr;
    }
    ctx->glGenTextures(int32_t(s->m_tileCount), s->m_names);
    if (s->m_names[0] == 0) {
        _PDebug("PSurface3D: no texture names\n");
        s->m_tileCount = 0;
        delete s;
        return nullptr;
    }

    uint32_t F = (flags & 0xA00) ? kRGB : kRGBA;
    uint32_t TW = std::min(s->m_texWidth, s->m_tileSize), TH = std::min(s->m_texHeight, s->m_tileSize);
    int64_t n = int64_t(TW) * TH;
    uint32_t T = 0;
    int64_t bytes = 0;
    bool paletted = false;
    switch (image->format) {
    case PSURFACE_RGB565:
        T = (flags & 0x200) ? kUnsignedShort565 : image->alpha ? kUnsignedShort4444 : kUnsignedShort5551;
        bytes = 2 * n;
        break;
    case PSURFACE_INDEX8:
        if (!image->palette || !image->palette->colors) {
            T = kUnsignedByte;
            F = kLuminance;
            bytes = n;
        } else {
            bool four = TW >= 2 && FourBit(image);
            paletted = true;
            if (flags & 0x200)
                T = four ? kPalette4R5G6B5 : kPalette8R5G6B5;
            else if (!PaletteHasAlpha(image))
                T = four ? kPalette4RGB5A1 : kPalette8RGB5A1;
            else
                T = four ? kPalette4RGBA8 : kPalette8RGBA8;
            int64_t pal = (T == kPalette4RGBA8 || T == kPalette8RGBA8) ? 4 : 2;
            bytes = four ? 16 * pal + n / 2 : 256 * pal + n;
        }
        break;
    case PSURFACE_RGB24:
        // Three bytes a texel: the staging buffer holds RGB whatever the flags.
        T = kUnsignedByte;
        F = kRGB;
        bytes = 3 * n;
        break;
    case PSURFACE_RGBA32:
        T = kUnsignedByte;
        bytes = 4 * n;
        break;
    default:
        _PDebug("PSurface3D: unknown image format %d\n", image->format);
        delete s;
        return nullptr;
    }

    // A 565 image already laid out as the texture goes up as it is.
    if (image->format == PSURFACE_RGB565 && (flags & 0x200) && image->pitch == int32_t(2 * TW) &&
        (image->flags & 0x80) && !(image->flags & 0x01) && s->m_tileCount == 1 && image->height >= int32_t(TH)) {
        ctx->glBindTexture(kTexture2D, s->m_names[0]);
        ctx->glGetError();
        ctx->glTexImage2D(kTexture2D, 0, int32_t(F), int32_t(TW), int32_t(TH), 0, F, kUnsignedShort565,
                          image->pixels);
        if (uint32_t err = ctx->glGetError()) {
            _PDebug("PSurface3D: GL error 0x%x uploading %ux%u\n", err, TW, TH);
            delete s;
            return nullptr;
        }
        return s;
    }

    if (bytes <= 0 || bytes > INT32_MAX) {
        _PDebug("PSurface3D: tile of %ux%u too large\n", TW, TH);
        delete s;
        return nullptr;
    }
    void* buffer = PAllocZ(int(bytes));
    if (!buffer) {
        _PDebug("PSurface3D: no memory for a %lld-byte staging buffer\n", (long long)bytes);
        delete s;
        return nullptr;
    }
    ctx->glGetError();
    int tile = 0;
    for (uint32_t ty = 0; ty < s->m_tilesDown; ++ty) {
        for (uint32_t tx = 0; tx < s->m_tilesAcross; ++tx, ++tile) {
            int x = int(tx * s->m_tileSize), y = int(ty * s->m_tileSize);
            PRect R{x, y, int(std::min<uint32_t>(s->m_tileSize, s->m_width - x)),
                    int(std::min<uint32_t>(s->m_tileSize, s->m_height - y))};
            ctx->glBindTexture(kTexture2D, s->m_names[tile]);
            ctx->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kLinear));
            ctx->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kLinear));
            ctx->glTexParameterx(kTexture2D, kTexWrapS, int32_t(kClampToEdge));
            ctx->glTexParameterx(kTexture2D, kTexWrapT, int32_t(kClampToEdge));
            // Edge texels: the padding repeats the last column and row, and the
            // far edge wraps to the image's first, so filtering stays inside the
            // image. Only the last tiles of a row or column are narrower than the
            // texture; without their own padding they would filter in what the
            // tile before left in the buffer. Every pair of a column span and a
            // row span is copied, so the corners beyond both are padded too.
            struct Span {
                int from;     // first column (row) of the image
                unsigned to;  // first column (row) of the texture
                int count;
            };
            auto spans = [](int first, int size, unsigned texSize, Span (&out)[3]) {
                int n = 0;
                out[n++] = {first, 0, size};
                if (uint32_t(size) < texSize) {
                    out[n++] = {first + size - 1, unsigned(size), 1};
                    if (uint32_t(size) < texSize - 1)
                        out[n++] = {0, texSize - 1, 1};
                }
                return n;
            };
            Span cols[3], rows[3];
            const int nc = spans(x, R.width, TW, cols), nr = spans(y, R.height, TH, rows);
            for (int j = 0; j < nr; ++j)
                for (int i = 0; i < nc; ++i) {
                    PRect c{cols[i].from, rows[j].from, cols[i].count, rows[j].count};
                    P3D::CopyTexData(buffer, cols[i].to, rows[j].to, TW, int(T), image, &c, 0, int(F));
                }
            // The tile's edges clamp: its transparent texels take their colour
            // from the visible texels of the tile alone.
            if (P3D::FillClearTexels(buffer, TW, TH, int(T), int(F), 0) != 0) {
                _PDebug("PSurface3D: no memory to colour the transparent texels of a %ux%u tile\n", TW, TH);
                PFree(buffer);
                delete s;
                return nullptr;
            }
            if (paletted)
                ctx->glCompressedTexImage2D(kTexture2D, 0, T, int32_t(TW), int32_t(TH), 0, int32_t(bytes), buffer);
            else
                ctx->glTexImage2D(kTexture2D, 0, int32_t(F), int32_t(TW), int32_t(TH), 0, F, T, buffer);
            uint32_t err = ctx->glGetError();
            if (err) {
                _PDebug("PSurface3D: GL error 0x%x uploading tile %d (%ux%u, type 0x%x)\n", err, tile, TW, TH, T);
                PFree(buffer);
                delete s;
                return nullptr;
            }
        }
    }
    PFree(buffer);
    return s;
}

PSurface3D* PSurface3D::CreateFromFile(P3D* ctx, const char* path, int flags)
{
    if (!path)
        return nullptr;
    PStream* stream = PZStream::Open(path, 1);
    if (!stream || !stream->IsOpen()) {
        _PDebug("PSurface3D: cannot open %s\n", path);
        delete stream;
        return nullptr;
    }
    PSurface* image = PSurface::CreateFromImage(*stream, flags, PIMAGE_DETECT);
    delete stream;
    if (!image) {
        _PDebug("PSurface3D: cannot decode %s\n", path);
        return nullptr;
    }
    PSurface3D* s = Create(ctx, image, flags);
    if (!s || (flags & PS3D_DROPIMAGE))
        delete image;
    else
        s->m_image = image;
    return s;
}

void PSurface3D::UpdateViewPort()
{
    if (!m_ctx)
        return;
    PRect vp = m_ctx->GetStateMan().GetViewport();
    if (vp.width == m_viewportW && vp.height == m_viewportH)
        return;
    m_viewportW = vp.width;
    m_viewportH = vp.height;
    m_clipScaleX = vp.width > 0 ? 0x2000000 / vp.width : 0;
    m_clipScaleY = vp.height > 0 ? 0x2000000 / vp.height : 0;
}

bool PSurface3D::ClipSource(const PRect* src, PRect& out) const
{
    // The source rectangle is cut to the image, so the tile walk stays on the
    // grid whatever the caller asks for.
    int64_t x0 = src ? src->x : 0, y0 = src ? src->y : 0;
    int64_t x1 = src ? x0 + src->width : m_width, y1 = src ? y0 + src->height : m_height;
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, m_width);
    y1 = std::min<int64_t>(y1, m_height);
    if (x1 <= x0 || y1 <= y0 || m_tileCount < 1 || m_tileCount > uint32_t(kMaxTiles))
        return false;
    out = PRect{int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
    return true;
}

template <class F> void PSurface3D::ForEachPiece(const PRect& src, F&& fn) const
{
    int T = int(m_tileSize);
    int c0 = src.x / T, c1 = (src.x + src.width - 1) / T;
    int r0 = src.y / T, r1 = (src.y + src.height - 1) / T;
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            int tx0 = c * T, ty0 = r * T;
            int ix0 = std::max(src.x, tx0), iy0 = std::max(src.y, ty0);
            int ix1 = std::min(src.x + src.width, tx0 + T), iy1 = std::min(src.y + src.height, ty0 + T);
            if (ix1 <= ix0 || iy1 <= iy0)
                continue;
            Piece p{r * int(m_tilesAcross) + c, ix0 - src.x, iy0 - src.y, ix1 - ix0, iy1 - iy0, ix0 - tx0, iy0 - ty0};
            fn(p);
        }
    }
}

void PSurface3D::Blit(int x, int y, const PRect* srcIn, int flags)
{
    PRect src;
    if (!m_ctx || !ClipSource(srcIn, src))
        return;
    vornGL::P3DBackend* b = m_ctx->GetBackend();
    b->vornGLPushFixed();
    UpdateViewPort();
    if (m_clipScaleX == 0 || m_clipScaleY == 0) {
        b->vornGLPopFixed();
        return;
    }
    m_ctx->vornGLPushMatricesSetIdentity();
    m_ctx->vornGLPushState();
    m_ctx->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kReplace));
    m_ctx->vornGLStateUpdate((flags & 1) ? 0x10000401u : 0x10000001u, k2DMask);
    // The alpha test drops exactly the transparent texels, whatever
    // reference an earlier draw left.
    if (flags & PS3D_ALPHATEST)
        b->glAlphaFuncx(kGreater, 0);

    auto cx = [this](int64_t px) {
        int64_t v = ((int64_t(m_clipScaleX) * px) >> 8) - 0x10000;
        return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    auto cy = [this](int64_t py) {
        int64_t v = ((int64_t(m_clipScaleY) * (int64_t(m_viewportH) - py)) >> 8) - 0x10000;
        return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    int32_t v[8], tc[8];
    ForEachPiece(src, [&](const Piece& p) {
        int64_t left, right, top, bottom;
        if (flags & PS3D_MIRROR) {
            right = int64_t(x) + src.width - p.ox;
            left = right - p.w;
        } else {
            left = int64_t(x) + p.ox;
            right = left + p.w;
        }
        if (flags & PS3D_FLIP) {
            bottom = int64_t(y) + src.height - p.oy;
            top = bottom - p.h;
        } else {
            top = int64_t(y) + p.oy;
            bottom = top + p.h;
        }
        int32_t s0 = TexS(p.tx), s1 = TexS(p.tx + p.w), t0 = TexT(p.ty), t1 = TexT(p.ty + p.h);
        if (flags & PS3D_MIRROR)
            std::swap(s0, s1);
        if (flags & PS3D_FLIP)
            std::swap(t0, t1);
        int32_t L = cx(left), R = cx(right), Tp = cy(top), B = cy(bottom);
        int32_t vv[8] = {L, Tp, R, Tp, R, B, L, B};
        int32_t tt[8] = {s0, t0, s1, t0, s1, t1, s0, t1};
        std::memcpy(v, vv, sizeof v);
        std::memcpy(tc, tt, sizeof tc);
        m_ctx->glBindTexture(kTexture2D, m_names[p.tile]);
        m_ctx->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kNearest));
        m_ctx->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kNearest));
        b->glTexCoordPointer(2, kFixed, 0, tc);
        b->glVertexPointer(2, kFixed, 0, v);
        m_ctx->glDrawArrays(kTriangleFan, 0, 4);
    });
    m_ctx->vornGLPopState();
    m_ctx->vornGLPopMatrices();
    b->vornGLPopFixed();
}

void PSurface3D::BlitFx(int x, int y, const PRect* srcIn, int flags, const PBlitFX& fx)
{
    PRect src;
    if (!m_ctx || !ClipSource(srcIn, src))
        return;
    P3D* g = m_ctx;
    vornGL::P3DBackend* b = g->GetBackend();
    b->vornGLPushFixed();
    UpdateViewPort();
    if (m_clipScaleX == 0 || m_clipScaleY == 0) {
        b->vornGLPopFixed();
        return;
    }
    g->vornGLPushMatricesSetIdentity();
    g->glMatrixMode(kProjection);
    int32_t a = int32_t((int64_t(m_viewportH) << 16) / m_viewportW);
    g->glFrustumx(-0x10000, 0x10000, -a, a, 0x10000, 100 * 0x10000);
    g->glMatrixMode(kModelview);

    bool keep = flags & PS3D_KEEPSTATE;
    if (!keep) {
        g->vornGLPushState();
        g->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kReplace));
        uint32_t values = 0x10000001u | ((flags & PS3D_ALPHATEST) ? 0x400u : 0u);
        // The tint is a 565 colour; its red goes to GL red.
        unsigned tint = PNative2RGB(fx.color & 0xFFFF);
        int32_t tr = int32_t(((tint >> 16) & 0xFF) << 8), tg = int32_t(((tint >> 8) & 0xFF) << 8),
                tb = int32_t((tint & 0xFF) << 8);
        int32_t alpha = int32_t((fx.alpha & 0xFF) << 8);
        if (flags & PS3D_ALPHA) {
            if (flags & PS3D_TINT)
                g->glColor4x(tr, tg, tb, alpha);
            else
                g->glColor4x(0xFF00, 0xFF00, 0xFF00, alpha);
            g->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kModulate));
            g->glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
            values |= 4;
        } else if (flags & PS3D_ADDITIVE) {
            g->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kDecal));
            g->glColor4x(0, 0, 0, alpha);
            g->glBlendFunc(kSrcAlpha, kOne);
            values |= 4;
        } else if (flags & PS3D_BLEND) {
            g->glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
            g->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kReplace));
            values |= 4;
        } else if (flags & PS3D_TINT) {
            g->glColor4x(tr, tg, tb, 0xFFFF);
            g->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kModulate));
        }
        // As in Blit: the reference is set on every path, never inherited.
        if (flags & PS3D_ALPHATEST)
            b->glAlphaFuncx(kGreater, 0);
        if ((flags & PS3D_SCALE) && (flags & PS3D_SMOOTH)) {
            g->glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
            values |= 4;
        }
        g->vornGLStateUpdate(values, k2DMask);
    }

    int64_t sx = (flags & PS3D_SCALE) ? fx.scaleX : 0x10000, sy = (flags & PS3D_SCALE) ? fx.scaleY : 0x10000;
    auto scX = [sx](int64_t v) { return (sx * v + 0x8000) >> 16; };
    auto scY = [sy](int64_t v) { return (sy * v + 0x8000) >> 16; };
    int64_t left = int64_t(x) - ((src.width * sx + 0x8000) >> 17);
    int64_t top = int64_t(y) - ((src.height * sy + 0x8000) >> 17);
    if (flags & PS3D_MIRROR)
        left += scX(src.width);
    if (flags & PS3D_FLIP)
        top += scY(src.height);

    int64_t W = m_viewportW, H = m_viewportH, cs = m_clipScaleX;
    auto vx = [W, cs](int64_t px) {
        return int32_t(std::clamp<int64_t>((cs * (2 * px - W)) >> 9, INT32_MIN, INT32_MAX));
    };
    auto vy = [H, cs](int64_t py) {
        return int32_t(std::clamp<int64_t>(-((cs * (2 * py - H)) >> 9), INT32_MIN, INT32_MAX));
    };
    int32_t v[12], tc[8];
    b->glTexCoordPointer(2, kFixed, 0, tc);
    b->glVertexPointer(3, kFixed, 0, v);

    if (flags & PS3D_ROTATE) {
        // One turn about the centre of the whole destination, so an image of
        // several tiles turns as one.
        int64_t cxp = (flags & PS3D_MIRROR) ? left - scX(src.width) / 2 : left + scX(src.width) / 2;
        int64_t cyp = (flags & PS3D_FLIP) ? top - scY(src.height) / 2 : top + scY(src.height) / 2;
        int32_t ccx = vx(cxp), ccy = vy(cyp);
        g->glTranslatex(ccx, ccy, 0);
        g->glRotatex(int32_t(360 * (0x10000 - int64_t(fx.angle))), 0, 0, 0x10000);
        g->glTranslatex(-ccx, -ccy, 0);
    }
    ForEachPiece(src, [&](const Piece& p) {
        int64_t l, r, t, bo;
        if (flags & PS3D_MIRROR) {
            r = left - scX(p.ox);
            l = left - scX(p.ox + p.w);
        } else {
            l = left + scX(p.ox);
            r = left + scX(p.ox + p.w);
        }
        if (flags & PS3D_FLIP) {
            bo = top - scY(p.oy);
            t = top - scY(p.oy + p.h);
        } else {
            t = top + scY(p.oy);
            bo = top + scY(p.oy + p.h);
        }
        int32_t s0 = TexS(p.tx), s1 = TexS(p.tx + p.w), t0 = TexT(p.ty), t1 = TexT(p.ty + p.h);
        if (flags & PS3D_MIRROR)
            std::swap(s0, s1);
        if (flags & PS3D_FLIP)
            std::swap(t0, t1);
        int32_t L = vx(l), R = vx(r), Tp = vy(t), B = vy(bo);
        int32_t vv[12] = {L, Tp, -0x10000, R, Tp, -0x10000, R, B, -0x10000, L, B, -0x10000};
        int32_t tt[8] = {s0, t0, s1, t0, s1, t1, s0, t1};
        std::memcpy(v, vv, sizeof v);
        std::memcpy(tc, tt, sizeof tc);
        g->glBindTexture(kTexture2D, m_names[p.tile]);
        if (flags & PS3D_SCALE) {
            if (flags & PS3D_SMOOTH) {
                g->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kLinear));
                g->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kLinear));
                g->glTexParameterx(kTexture2D, kTexWrapS, int32_t(kClampToEdge));
                g->glTexParameterx(kTexture2D, kTexWrapT, int32_t(kClampToEdge));
            } else {
                g->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kNearest));
                g->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kNearest));
            }
        } else if (!(flags & PS3D_ROTATE)) {
            // Unscaled and upright, texel for pixel: sampled as Blit samples,
            // not with whatever filter the tile's last draw left.
            g->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kNearest));
            g->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kNearest));
        }
        g->glDrawArrays(kTriangleFan, 0, 4);
    });
    if (!keep)
        g->vornGLPopState();
    g->vornGLPopMatrices();
    b->vornGLPopFixed();
}

void PSurface3D::BlitFx(const PRect& dst, const PRect* src, int flags, const PBlitFX& fx)
{
    int sw = src ? src->width : int(m_width), sh = src ? src->height : int(m_height);
    if (sw <= 0 || sh <= 0)
        return;
    PBlitFX f = fx;
    f.scaleX = int32_t((int64_t(dst.width) << 16) / sw);
    f.scaleY = int32_t((int64_t(dst.height) << 16) / sh);
    if (f.scaleX != 0x10000 || f.scaleY != 0x10000)
        flags |= PS3D_SCALE;
    BlitFx(dst.x + (dst.width >> 1), dst.y + (dst.height >> 1), src, flags, f);
}
