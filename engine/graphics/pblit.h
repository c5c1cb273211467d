// Software 2D drawing into RGB565 drawables: the effect record of a blit and
// the raw rectangle fill. The drawing operations themselves are members of
// PDrawableSurface (psurface.h).
#pragma once
#include <cstdint>

#include "engine/graphics/psurface.h"

// Blit flags read by the software blitters (the GL blits use further bits).
enum : int {
    PBLIT_TRANSPARENT = 0x01, // skip key-coloured (RGB565) or index-0 (indexed) source pixels
    PBLIT_MIRROR = 0x02,      // read the source right to left
    PBLIT_FLIP = 0x04,        // read the source bottom to top
    PBLIT_SILHOUETTE = 0x80,  // draw every drawn pixel in PBlitFX::color
};

struct PBlitFX {
    uint32_t alpha = 0;                  // constant alpha 0..255 (GL blits only)
    uint16_t angle = 0;                  // rotation, 65536 units a turn
    uint32_t color = 0;                  // low 16 bits: RGB565 silhouette colour (GL: tint)
    const uint8_t* alphaMap = nullptr;   // kept for sprites; no blit reads it
    uint32_t alphaMapLength = 0;
    int32_t scaleX = 0;                  // 16.16 (0x10000 is 1.0)
    int32_t scaleY = 0;                  // 16.16
};

// Fills w >= 1 pixels in each of h >= 1 rows, rows pitch bytes apart.
void PFillRect16(unsigned short* dst, unsigned short colour565, int w, int h, int pitch);
