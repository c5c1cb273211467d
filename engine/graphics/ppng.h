// The engine's PNG decoder: non-interlaced images of 8 bits per channel at
// most (palette, grey, RGB, RGBA), decoded straight into a PSurface with
// zlib's inflate. Transparency becomes the surface's colour key, the
// palette's alphas or an 8-bit alpha plane.
#pragma once
#include <cstdint>

#include <zlib.h>

#include "engine/graphics/psurface.h"

class PStream;
class PPalette;

class PPNGLoader {
public:
    explicit PPNGLoader(PStream& s);
    ~PPNGLoader();
    PPNGLoader(const PPNGLoader&) = delete;
    PPNGLoader& operator=(const PPNGLoader&) = delete;

    // 0 when the 8 bytes are the PNG signature, else non-zero.
    static int CheckSignature(const unsigned char* p);

    // Decodes the image into target at (x, y), or into a new surface when
    // target is null. 0 or -1.
    int Load(int loadFlags, int x, int y, PSurface* target);
    // The surface Load created; the loader forgets it.
    PSurface* ObtainSurface();

    // The steps of Load.
    int LoadHeader(int loadFlags);
    int LoadChunks(PSurface* s);
    int ReadIDAT(void* dst, int n);
    void SetColorKeyFromBuf(PSurface* s, int len);

    // Largest image the decoder accepts, each side.
    static constexpr uint32_t kMaxSide = kPSurfaceMaxSide;

private:
    int ReadChunkHeader(int32_t& length, uint32_t& type);
    int Fail(const char* why);
    unsigned GreyKey(unsigned sample) const;

    PStream& m_stream;
    PSurface* m_surface = nullptr;       // created, not yet obtained
    PGraphicsFormat m_srcFormat = PGF_INDEX8;
    PSurfaceFormat m_surfFormat = PSURFACE_INDEX8;
    PPalette* m_palette = nullptr;
    uint8_t* m_alpha = nullptr;          // alpha plane under construction
    uint8_t* m_rows[2] = {nullptr, nullptr};
    uint32_t m_width = 0, m_height = 0;
    uint8_t m_colorType = 0, m_depth = 0;
    int32_t m_idatLeft = 0;              // bytes left in the current IDAT
    int m_bufLeft = 0;                   // bytes left in the input buffer
    int m_state = 0;                     // 0x01 inflate started, 0x02 key decided
    uint8_t m_buf[4096];
    z_stream m_z{};
};
