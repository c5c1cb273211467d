// Helpers shared by the software blitters (pblit.cpp, protate.cpp) and the
// software glyph renderers (punicodefont.cpp).
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/graphics/pblit.h"
#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pdebug.h"

namespace pblit {

inline uint16_t Ld16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void St16(uint8_t* p, uint16_t v)
{
    std::memcpy(p, &v, 2);
}

enum Mode { kOpaque, kKeyed, kSilhouette };

// A source surface prepared for sampling: the cut source rectangle and what
// its pixels are drawn with.
struct Source {
    const uint8_t* px = nullptr;
    int pitch = 0;
    bool is565 = false;
    const uint16_t* lut = nullptr; // indexed sources: index -> RGB565
    uint16_t key = 0;              // RGB565 sources: the transparent colour
    int sx = 0, sy = 0, sw = 0, sh = 0;
    // How much of the asked rectangle was cut away on each side.
    int cutL = 0, cutT = 0, cutR = 0, cutB = 0;

    const uint8_t* Row(int r) const { return px + size_t(sy + r) * size_t(pitch); }
    // Colour and transparency of column c of a row.
    uint16_t Color(const uint8_t* row, int c) const
    {
        return is565 ? Ld16(row + size_t(sx + c) * 2) : lut[row[sx + c]];
    }
    bool Clear(const uint8_t* row, int c) const
    {
        return is565 ? Ld16(row + size_t(sx + c) * 2) == key : row[sx + c] == 0;
    }
};

inline bool PrepareSource(const PSurface* src, const PRect* srcRect, Source& s)
{
    if (!src || !src->pixels || src->width <= 0 || src->height <= 0)
        return false;
    s.is565 = src->format == PSURFACE_RGB565;
    if (src->pitch < (s.is565 ? 2 * src->width : src->width)) {
        _PDebug("PDrawableSurface: source pitch %d too small for width %d\n", src->pitch, src->width);
        return false;
    }
    s.px = src->pixels;
    s.pitch = src->pitch;
    s.key = src->GetColorKeyNative();
    const PPalette* pal = src->palette;
    s.lut = pal && pal->colors ? pal->colors : PGreyTable565();

    int64_t x = 0, y = 0, w = src->width, h = src->height;
    if (srcRect) {
        x = srcRect->x;
        y = srcRect->y;
        w = srcRect->width;
        h = srcRect->height;
    }
    if (w <= 0 || h <= 0)
        return false;
    int64_t x2 = x + w, y2 = y + h;
    int64_t cx1 = std::max<int64_t>(x, 0), cy1 = std::max<int64_t>(y, 0);
    int64_t cx2 = std::min<int64_t>(x2, src->width), cy2 = std::min<int64_t>(y2, src->height);
    if (cx1 >= cx2 || cy1 >= cy2)
        return false;
    s.sx = int(cx1);
    s.sy = int(cy1);
    s.sw = int(cx2 - cx1);
    s.sh = int(cy2 - cy1);
    s.cutL = int(cx1 - x);
    s.cutT = int(cy1 - y);
    s.cutR = int(x2 - cx2);
    s.cutB = int(y2 - cy2);
    return true;
}

inline int64_t Clamp32(int64_t v)
{
    return v > 0x7FFFFFFF ? 0x7FFFFFFF : v < -0x7FFFFFFFLL ? -0x7FFFFFFFLL : v;
}

// The centred destination of the centred scale and rotate forms: the source
// rectangle's size times the FX scale, centred on (x, y).
inline bool CentredRect(int x, int y, const PSurface* src, const PRect* srcRect, const PBlitFX& fx, PRect& out)
{
    if (!src)
        return false;
    int64_t sw = srcRect ? srcRect->width : src->width;
    int64_t sh = srcRect ? srcRect->height : src->height;
    int64_t w = Clamp32((int64_t(fx.scaleX) * sw) >> 16);
    int64_t h = Clamp32((int64_t(fx.scaleY) * sh) >> 16);
    out.x = int(Clamp32(x - (w >> 1)));
    out.y = int(Clamp32(y - (h >> 1)));
    out.width = int(w);
    out.height = int(h);
    return true;
}


inline bool DrawableReady(const PDrawableSurface& d)
{
    return d.pixels && d.clipX1 < d.clipX2 && d.clipY1 < d.clipY2;
}

} // namespace pblit
