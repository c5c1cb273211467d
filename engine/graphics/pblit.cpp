// Software blitters, fills and lines of PDrawableSurface.
//
// Sources are RGB565 surfaces or one byte per pixel drawn through the
// source's palette (an 8-bit grey ramp when it has none). Source rectangles
// are cut to the source surface; all drawing stays inside the clip rectangle.
#include "engine/graphics/pblit.h"

#include <algorithm>
#include <cstring>

#include "engine/graphics/pblit_internal.h"
#include "engine/graphics/ppalette.h"
#include "engine/runtime/pdebug.h"

namespace {

using namespace pblit;


// One unscaled row: n destination pixels from source columns c, c + step, ...
template <Mode M>
void CopyRow(uint8_t* d, const Source& s, const uint8_t* row, int c, int step, int n, uint16_t colour)
{
    if (M == kOpaque) {
        if (s.is565 && step == 1) {
            std::memcpy(d, row + size_t(s.sx + c) * 2, size_t(n) * 2);
            return;
        }
        for (int k = 0; k < n; k++, c += step, d += 2)
            St16(d, s.Color(row, c));
        return;
    }
    for (int k = 0; k < n; k++, c += step, d += 2) {
        if (s.Clear(row, c))
            continue;
        St16(d, M == kSilhouette ? colour : s.Color(row, c));
    }
}

template <Mode M>
void DrawUnscaled(PDrawableSurface& dst, int64_t x, int64_t y, const Source& s, int flags, uint16_t colour)
{
    const bool mirror = flags & PBLIT_MIRROR, flip = flags & PBLIT_FLIP;
    // The part of a mirrored source that was cut on the right lands first.
    x += mirror ? s.cutR : s.cutL;
    y += flip ? s.cutB : s.cutT;
    if (x >= dst.clipX2 || y >= dst.clipY2)
        return;
    int64_t i0 = std::max<int64_t>(0, dst.clipX1 - x), j0 = std::max<int64_t>(0, dst.clipY1 - y);
    int64_t i1 = std::min<int64_t>(s.sw, dst.clipX2 - x), j1 = std::min<int64_t>(s.sh, dst.clipY2 - y);
    if (i0 >= i1 || j0 >= j1)
        return;
    const int n = int(i1 - i0);
    const int c0 = mirror ? s.sw - 1 - int(i0) : int(i0);
    const int step = mirror ? -1 : 1;
    for (int64_t j = j0; j < j1; j++) {
        const uint8_t* row = s.Row(flip ? s.sh - 1 - int(j) : int(j));
        uint8_t* d = dst.pixels + size_t(y + j) * size_t(dst.pitch) + size_t(x + i0) * 2;
        CopyRow<M>(d, s, row, c0, step, n, colour);
    }
}


// Nearest-neighbour stretch of the source into (dx, dy, dw, dh).
template <Mode M>
void DrawScaled(PDrawableSurface& dst, int64_t dx, int64_t dy, int64_t dw, int64_t dh, const Source& s, int flags,
                uint16_t colour)
{
    if (dw <= 0 || dh <= 0)
        return;
    if (dx >= dst.clipX2 || dy >= dst.clipY2 || dx + dw <= dst.clipX1 || dy + dh <= dst.clipY1)
        return;
    const int64_t stepX = (int64_t(s.sw) * 65536) / dw, stepY = (int64_t(s.sh) * 65536) / dh;
    const bool mirror = flags & PBLIT_MIRROR, flip = flags & PBLIT_FLIP;
    const int64_t sx = mirror ? -stepX : stepX, sy = flip ? -stepY : stepY;
    const int64_t baseX = (mirror ? int64_t(s.sw) << 16 : 0) + (sx >> 1);
    const int64_t baseY = (flip ? int64_t(s.sh) << 16 : 0) + (sy >> 1);
    const int64_t i0 = std::max<int64_t>(0, dst.clipX1 - dx), i1 = std::min<int64_t>(dw, dst.clipX2 - dx);
    const int64_t j0 = std::max<int64_t>(0, dst.clipY1 - dy), j1 = std::min<int64_t>(dh, dst.clipY2 - dy);
    for (int64_t j = j0; j < j1; j++) {
        int64_t r = (baseY + j * sy) >> 16;
        r = std::clamp<int64_t>(r, 0, s.sh - 1);
        const uint8_t* row = s.Row(int(r));
        uint8_t* d = dst.pixels + size_t(dy + j) * size_t(dst.pitch) + size_t(dx + i0) * 2;
        int64_t u = baseX + i0 * sx;
        for (int64_t i = i0; i < i1; i++, u += sx, d += 2) {
            int c = int(std::clamp<int64_t>(u >> 16, 0, s.sw - 1));
            if (M != kOpaque && s.Clear(row, c))
                continue;
            St16(d, M == kSilhouette ? colour : s.Color(row, c));
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Blits

void PDrawableSurface::Blit(int x, int y, const PSurface* src, const PRect* srcRect, int flags, const PBlitFX& fx)
{
    if ((flags & (PBLIT_TRANSPARENT | PBLIT_SILHOUETTE)) == (PBLIT_TRANSPARENT | PBLIT_SILHOUETTE)) {
        Silhouette(x, y, src, srcRect, flags, uint16_t(fx.color));
        return;
    }
    Blit(x, y, src, srcRect, flags);
}

void PDrawableSurface::Blit(int x, int y, const PSurface* src, const PRect* srcRect, int flags)
{
    Source s;
    if (!DrawableReady(*this) || !PrepareSource(src, srcRect, s))
        return;
    if (flags & PBLIT_TRANSPARENT)
        DrawUnscaled<kKeyed>(*this, x, y, s, flags, 0);
    else
        DrawUnscaled<kOpaque>(*this, x, y, s, flags, 0);
}

void PDrawableSurface::Silhouette(int x, int y, const PSurface* src, const PRect* srcRect, int flags,
                                  unsigned short colour)
{
    Source s;
    if (!DrawableReady(*this) || !PrepareSource(src, srcRect, s))
        return;
    DrawUnscaled<kSilhouette>(*this, x, y, s, flags, colour);
}

void PDrawableSurface::Stretch(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags,
                               bool silhouette, unsigned short colour)
{
    Source s;
    if (!DrawableReady(*this) || !PrepareSource(src, srcRect, s))
        return;
    if (silhouette)
        DrawScaled<kSilhouette>(*this, dst.x, dst.y, dst.width, dst.height, s, flags, colour);
    else if (flags & PBLIT_TRANSPARENT)
        DrawScaled<kKeyed>(*this, dst.x, dst.y, dst.width, dst.height, s, flags, 0);
    else
        DrawScaled<kOpaque>(*this, dst.x, dst.y, dst.width, dst.height, s, flags, 0);
}

void PDrawableSurface::BlitScale(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags)
{
    Stretch(dst, src, srcRect, flags, false, 0);
}

void PDrawableSurface::BlitScale(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags,
                                 const PBlitFX& fx)
{
    Stretch(dst, src, srcRect, flags, (flags & PBLIT_SILHOUETTE) != 0, uint16_t(fx.color));
}


void PDrawableSurface::BlitScale(int x, int y, const PSurface* src, const PRect* srcRect, int flags,
                                 const PBlitFX& fx)
{
    PRect r;
    if (CentredRect(x, y, src, srcRect, fx, r))
        BlitScale(r, src, srcRect, flags, fx);
}

// ---------------------------------------------------------------------------
// Fills and lines

void PFillRect16(unsigned short* dst, unsigned short colour565, int w, int h, int pitch)
{
    if (!dst || w < 1 || h < 1)
        return;
    auto* row = reinterpret_cast<uint8_t*>(dst);
    if ((reinterpret_cast<uintptr_t>(row) & 1) == 0 && (pitch & 1) == 0) {
        for (int j = 0; j < h; j++, row += pitch)
            std::fill_n(reinterpret_cast<uint16_t*>(row), w, colour565);
        return;
    }
    for (int j = 0; j < h; j++, row += pitch)
        for (int i = 0; i < w; i++)
            St16(row + size_t(i) * 2, colour565);
}

void PDrawableSurface::FillRect(int x, int y, int w, int h, unsigned colour)
{
    if (!pixels)
        return;
    int64_t x0 = x, y0 = y, x1 = int64_t(x) + w, y1 = int64_t(y) + h;
    if (w < 0)
        std::swap(x0, x1);
    if (h < 0)
        std::swap(y0, y1);
    if (x0 == x1 || y0 == y1)
        return;
    if (x0 >= clipX2 || y0 >= clipY2 || x1 <= clipX1 || y1 <= clipY1)
        return;
    x0 = std::max<int64_t>(x0, clipX1);
    y0 = std::max<int64_t>(y0, clipY1);
    x1 = std::min<int64_t>(x1, clipX2);
    y1 = std::min<int64_t>(y1, clipY2);
    auto* d = reinterpret_cast<unsigned short*>(pixels + size_t(y0) * size_t(pitch) + size_t(x0) * 2);
    PFillRect16(d, PRGB2Native(colour), int(x1 - x0), int(y1 - y0), pitch);
}

void PDrawableSurface::FillRect(const PRect& r, unsigned colour)
{
    FillRect(r.x, r.y, r.width, r.height, colour);
}

void PDrawableSurface::Clear(unsigned colour)
{
    if (!pixels || clipX1 >= clipX2 || clipY1 >= clipY2)
        return;
    auto* d = reinterpret_cast<unsigned short*>(pixels + size_t(clipY1) * size_t(pitch) + size_t(clipX1) * 2);
    PFillRect16(d, PRGB2Native(colour), clipX2 - clipX1, clipY2 - clipY1, pitch);
}

void PDrawableSurface::HLine(int x, int y, int length, unsigned colour)
{
    if (!pixels || y < clipY1 || y >= clipY2 || length == 0)
        return;
    int64_t x0 = x, x1 = int64_t(x) + length;
    if (length < 0)
        std::swap(x0, x1);
    x0 = std::max<int64_t>(x0, clipX1);
    x1 = std::min<int64_t>(x1, clipX2);
    if (x0 >= x1)
        return;
    auto* d = reinterpret_cast<unsigned short*>(pixels + size_t(y) * size_t(pitch) + size_t(x0) * 2);
    PFillRect16(d, PRGB2Native(colour), int(x1 - x0), 1, pitch);
}
