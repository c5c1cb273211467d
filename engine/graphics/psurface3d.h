// PSurface3D: an image uploaded once into GL textures and drawn in screen
// pixels through P3D, unscaled (Blit) or with effects (BlitFx). An image
// larger than the GL maximum texture size is cut into square tiles of that
// size, each its own power-of-two texture; every draw cuts its source
// rectangle along the same grid.
#pragma once
#include <cstdint>

#include "gl/prect.h"

class P3D;
class PSurface;
struct PBlitFX;

// Creation flags beyond the image loader's own.
enum : int {
    PS3D_DROPIMAGE = 0x01, // CreateFromFile deletes the decoded image after the upload
    PS3D_NOALPHA = 0x200,  // internal format RGB; 565 as 5-6-5, indexed with 5-6-5 palettes
    PS3D_RGB = 0x800,      // internal format RGB
};

// Blit flags (Blit reads 0x01, 0x02, 0x04; BlitFx all of them).
enum : int {
    PS3D_ALPHATEST = 0x01,
    PS3D_MIRROR = 0x02,
    PS3D_FLIP = 0x04,
    PS3D_ALPHA = 0x08,    // fx alpha (and tint with 0x80), modulated, blended
    PS3D_BLEND = 0x10,    // the texture's own alpha blended
    PS3D_ROTATE = 0x20,   // fx angle about the image centre
    PS3D_SCALE = 0x40,    // fx scale x and y
    PS3D_TINT = 0x80,     // fx tint (565), modulated, opaque
    PS3D_ADDITIVE = 0x200, // added with fx alpha
    PS3D_SMOOTH = 0x400,  // with 0x40: linear filtering and blending
    PS3D_KEEPSTATE = 0x1000, // draw with the caller's blending, colour and environment
};

class PSurface3D {
public:
    static constexpr int kMaxTiles = 32;

    // Uploads image (not taken over); null on failure.
    static PSurface3D* Create(P3D* ctx, PSurface* image, int flags);
    // Decodes the file (PNG or NRV, plain or compressed) and uploads it.
    static PSurface3D* CreateFromFile(P3D* ctx, const char* path, int flags);

    PSurface3D(P3D* ctx, PSurface* image);
    ~PSurface3D();
    PSurface3D(const PSurface3D&) = delete;
    PSurface3D& operator=(const PSurface3D&) = delete;

    void UpdateViewPort();
    // src (all of the image when null) with its top-left at (x, y).
    void Blit(int x, int y, const PRect* src, int flags);
    // src centred at (x, y) with effects.
    void BlitFx(int x, int y, const PRect* src, int flags, const PBlitFX& fx);
    // src stretched into dst.
    void BlitFx(const PRect& dst, const PRect* src, int flags, const PBlitFX& fx);

    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    uint32_t TileCount() const { return m_tileCount; }
    uint32_t TilesAcross() const { return m_tilesAcross; }
    uint32_t TilesDown() const { return m_tilesDown; }
    uint32_t TileSize() const { return m_tileSize; }
    uint32_t TextureWidth() const { return m_texWidth; }
    uint32_t TextureHeight() const { return m_texHeight; }
    uint32_t TextureName(int tile) const { return tile >= 0 && tile < kMaxTiles ? m_names[tile] : 0; }
    // The decoded image when it was kept (owned), else null.
    PSurface* GetImage() const { return m_image; }
    void SetImage(PSurface* image) { m_image = image; }

private:
    // One intersection of the source rectangle with a tile: its tile, its
    // offset inside the source rectangle, its size and its texel offset.
    struct Piece {
        int tile;
        int ox, oy, w, h;
        int tx, ty;
    };
    template <class F> void ForEachPiece(const PRect& src, F&& fn) const;
    bool ClipSource(const PRect* src, PRect& out) const;
    int32_t TexS(int p) const { return int32_t((int64_t(m_texScaleX) * p) >> 8); }
    int32_t TexT(int p) const { return int32_t((int64_t(m_texScaleY) * p) >> 8); }

    uint32_t m_width, m_height;
    uint32_t m_names[kMaxTiles];
    uint32_t m_tileCount;
    uint32_t m_tilesAcross, m_tilesDown;
    uint32_t m_tileSize;
    P3D* m_ctx;
    PSurface* m_image;
    uint32_t m_texWidth, m_texHeight;
    int32_t m_viewportW, m_viewportH;
    int32_t m_clipScaleX, m_clipScaleY;
    int32_t m_texScaleX, m_texScaleY;
};
