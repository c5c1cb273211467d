// Images in memory: surfaces in one of four pixel formats, the drawable
// RGB565 surface the software 2D layer writes into, the colour conversions
// between 0xRRGGBB and RGB565, and the row converter both image loaders use.
#pragma once
#include <cstdint>

#include "gl/prect.h"

class PStream;
class PPalette;
struct PBlitFX;

// Layout of a surface's pixels.
enum PSurfaceFormat : int {
    PSURFACE_RGB565 = 0, // one 16-bit little-endian word per pixel
    PSURFACE_INDEX8 = 1, // one palette index per pixel
    PSURFACE_RGB24 = 2,  // bytes R, G, B
    PSURFACE_RGBA32 = 3, // bytes R, G, B, A
};

// Layout of a source row handed to PSurface::ConvertLine (and stored in NRV
// headers).
enum PGraphicsFormat : int {
    PGF_INDEX1 = 0,      // 1-bit indices (NRV: size of a generated grey ramp)
    PGF_INDEX2 = 1,      // 2-bit indices (as above)
    PGF_INDEX4 = 2,      // 4-bit indices, low nibble first
    PGF_INDEX8 = 3,      // 8-bit indices
    PGF_RGB444 = 4,      // 16-bit words, R in bits 8-11, G 4-7, B 0-3
    PGF_RGB555 = 5,      // 16-bit words, R in bits 10-14, G 5-9, B 0-4
    PGF_RGB565 = 6,      // 16-bit RGB565 words
    PGF_BGR24 = 7,       // bytes B, G, R
    PGF_BGRA32 = 8,      // bytes B, G, R, A
    PGF_RGB24 = 9,       // bytes R, G, B
    PGF_RGBA32 = 10,     // bytes R, G, B, A
    PGF_INDEX1_MSB = 11, // 1-bit indices, most significant bit first
    PGF_INDEX2_MSB = 12, // 2-bit indices, most significant pair first
    PGF_INDEX4_MSB = 13, // 4-bit indices, high nibble first
};

// Which loader reads an image stream.
enum PImageFormat : int { PIMAGE_DETECT = 0, PIMAGE_PNG = 1, PIMAGE_NRV = 2 };

// Load flags shared by every image loader.
enum : int {
    PLOAD_USERFLAG = 0x01,     // copied into the new surface's flags
    PLOAD_DRAWABLE = 0x10,     // make a PDrawableSurface (implies PLOAD_RGB565)
    PLOAD_BOTTOMUP = 0x80,     // first image row goes to the last surface row
    PLOAD_RGB565 = 0x100,      // new surface is RGB565 whatever the image
    PLOAD_NOALPHA = 0x200,     // no alpha plane
    PLOAD_KEEPPALETTE = 0x400, // keep an indexed target's palette (NRV)
    PLOAD_TRUE24 = 0x800,      // true colour becomes 24-bit
    PLOAD_TRUE32 = 0x1000,     // true colour becomes 32-bit (unless PLOAD_TRUE24)
    PLOAD_TRUE32A = 0x2000,    // true colour 32-bit, or 24-bit with PLOAD_NOALPHA
};

// Surface flags.
enum : int {
    PSURF_USERFLAG = 0x01,   // copied from load flag 0x01
    PSURF_OWNPALETTE = 0x02, // the surface deletes its palette
    PSURF_OWNALPHA = 0x04,   // the surface frees its alpha plane
    PSURF_NOTOWNED = 0x08,   // the pixel memory belongs to someone else
    PSURF_DRAWABLE = 0x10,   // the surface is a PDrawableSurface
    PSURF_GREYRAMP = 0x20,   // the palette is a generated grey ramp
    PSURF_BOTTOMUP = 0x80,   // rows are stored bottom-up
};

// The largest surface the engine makes: each side at most kPSurfaceMaxSide
// pixels and at most kPSurfaceMaxBytes bytes of pixels.
constexpr int kPSurfaceMaxSide = 16384;
constexpr int64_t kPSurfaceMaxBytes = int64_t(1) << 27;

// 0xRRGGBB to RGB565; bits above 0xFFFFFF are ignored.
constexpr unsigned short PRGB2Native(unsigned rgb)
{
    return (unsigned short)(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x1F));
}
constexpr unsigned short PRGB2Native(int r, int g, int b)
{
    return (unsigned short)(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | ((b & 0xFF) >> 3));
}
// RGB565 to 0x00RRGGBB, each channel widened as c * 255 / max.
constexpr unsigned PNative2RGB(unsigned c565)
{
    return ((((c565 >> 11) & 31) * 255 / 31) << 16) | ((((c565 >> 5) & 63) * 255 / 63) << 8) |
           ((c565 & 31) * 255 / 31);
}

// Bits per pixel of a surface format (0 for an unknown one).
constexpr int PSurfaceFormatBPP(int format)
{
    return format == PSURFACE_RGB565   ? 16
           : format == PSURFACE_INDEX8 ? 8
           : format == PSURFACE_RGB24  ? 24
           : format == PSURFACE_RGBA32 ? 32
                                       : 0;
}

class PSurface {
public:
    uint8_t format;     // a PSurfaceFormat
    uint8_t flags;      // PSURF_* bits
    int32_t width;      // pixels
    int32_t height;     // pixels
    int32_t pitch;      // bytes from one row to the next
    uint32_t colorKey;  // transparent colour, 0xRRGGBB in the low 24 bits
    uint8_t* pixels;    // first row
    PPalette* palette;  // or null
    uint8_t* alpha;     // alpha plane (width bytes a row), or null

    PSurface();
    PSurface(int w, int h, int pitch, int format, unsigned char* pixels, int flags);
    // Views into src (own nothing); see Set.
    PSurface(const PSurface& src, unsigned x, unsigned y, unsigned w, unsigned h);
    PSurface(const PSurface& src, const PRect& r);
    PSurface(const PSurface& src);
    PSurface& operator=(const PSurface&) = delete;
    virtual ~PSurface();

    // Releases what the surface holds, then takes these values; the key
    // becomes 0 and the alpha plane null; the palette is kept.
    void Set(int w, int h, int pitch, int format, unsigned char* pixels, int flags);
    // Makes this surface a view of the w x h rectangle of src at (x, y),
    // sharing its key, palette and alpha plane. The rectangle is cut to src.
    void Set(const PSurface& src, unsigned x, unsigned y, unsigned w, unsigned h);
    void Set(const PSurface& src, const PRect& r);
    void Set(const PSurface& src);

    // Frees owned pixels and an owned alpha plane.
    void Free();

    // Replace the pointer and return the previous one; ownership flags are the
    // caller's business.
    PPalette* SetPalette(PPalette* p);
    unsigned char* SetAlpha(unsigned char* a);
    void SetColorKey(unsigned rgb) { colorKey = rgb; }
    unsigned short GetColorKeyNative() const { return PRGB2Native(colorKey); }
    // Copies pitch bytes into row y (ignored outside the surface).
    void SetScanLine(int y, const void* src);

    // Padded row size: rows are a multiple of 4 bytes.
    static int GetPitch(int width, PSurfaceFormat format);
    // Unpadded row size of a source row format (0 for formats above 8).
    static int GetPitch(int width, PGraphicsFormat format);
    // Byte size h x pitch when w and h are positive and within the engine's
    // limits, else -1.
    static int64_t CheckedSize(int w, int h, int pitch);

    // New surfaces (null on failure). Load flag 0x10 adds 0x100, and 0x100
    // makes the format RGB565 (the caller's variable is written).
    static PSurface* AllocSurfaceSystemMem(int w, int h, PSurfaceFormat& format, int loadFlags);
    static PSurface* AllocSurface(int w, int h, PSurfaceFormat& format, int& loadFlags);
    static PSurface* Create(int w, int h, PSurfaceFormat format);
    // With flag 0x08 wraps data; otherwise copies h padded rows from it.
    static PSurface* Create(const void* data, int w, int h, PSurfaceFormat format, int flags);

    // Converts count pixels of one source row into dst. False for source
    // formats the converter does not know; the row is then untouched.
    static bool ConvertLine(unsigned char* dst, PSurfaceFormat dstFormat, const unsigned char* src,
                            PGraphicsFormat srcFormat, const PPalette* palette, int count, unsigned key);

    // Image files (PNG or NRV). Load* decode into this surface at (x, y) and
    // return 0 or -1; Create* return a new surface or null.
    static int DetectFormat(PStream& s);
    int Load(PStream& s, int x, int y, PImageFormat format);
    int Load(const char* path, int x, int y, PImageFormat format);
    static PSurface* CreateFromImage(PStream& s, int loadFlags, PImageFormat format);
    static PSurface* CreateFromFile(const char* path, int loadFlags, PImageFormat format);

    int LoadPNG(PStream& s, int x, int y, int loadFlags);
    static PSurface* CreateFromPNG(PStream& s, int loadFlags);

    int LoadNRV(PStream& s, int x, int y, int loadFlags);
    int LoadNRV(PStream& s, int x, int y, int w, int h, PGraphicsFormat format, int nrvFlags, int paletteCount,
                unsigned key, int loadFlags);
    static PSurface* CreateFromNRV(PStream& s, int loadFlags);

    // Bytes per pixel of this surface's format.
    int BytesPerPixel() const { return PSurfaceFormatBPP(format) >> 3; }
};

// An RGB565 surface with a clip rectangle, the target of the software 2D
// drawing (pblit.cpp).
class PDrawableSurface : public PSurface {
public:
    int32_t clipX1, clipY1, clipX2, clipY2; // x2, y2 exclusive

    // Pixels passed in become owned; with pitch > 0 and no pixels, h x pitch
    // zeroed bytes are allocated (pixels stay null when that fails).
    PDrawableSurface(int w, int h, int pitch, unsigned char* pixels);
    PDrawableSurface(int w, int h, int pitch);
    ~PDrawableSurface() override;
    // A w x h drawable with a padded pitch, or null.
    static PDrawableSurface* Create(int w, int h, int unused = 0);

    void SetClipRect(int x1, int y1, int x2, int y2);
    void SetClipRect(const PRect& r);
    void ResetClipRect();
    void GetClipRect(PRect& r) const;

    virtual bool Lock();
    virtual void Unlock();
    virtual void Blit(int x, int y, const PSurface* src, const PRect* srcRect, int flags, const PBlitFX& fx);
    virtual void Blit(int x, int y, const PSurface* src, const PRect* srcRect, int flags);
    virtual void FillRect(int x, int y, int w, int h, unsigned colour);
    virtual void Clear(unsigned colour);

    void FillRect(const PRect& r, unsigned colour);
    void HLine(int x, int y, int length, unsigned colour);
    void BlitScale(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags);
    void BlitScale(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags, const PBlitFX& fx);
    void BlitScale(int x, int y, const PSurface* src, const PRect* srcRect, int flags, const PBlitFX& fx);
    void BlitRotate(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags, const PBlitFX& fx);
    void BlitRotate(int x, int y, const PSurface* src, const PRect* srcRect, int flags, const PBlitFX& fx);

private:
    void Silhouette(int x, int y, const PSurface* src, const PRect* srcRect, int flags, unsigned short colour);
    void Stretch(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags, bool silhouette,
                 unsigned short colour);
};
