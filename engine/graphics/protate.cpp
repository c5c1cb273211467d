// Rotated blits of PDrawableSurface.
#include <algorithm>

#include "engine/graphics/pblit_internal.h"
#include "engine/runtime/pfixed.h"

using namespace pblit;

void PDrawableSurface::BlitRotate(int x, int y, const PSurface* src, const PRect* srcRect, int flags,
                                  const PBlitFX& fx)
{
    PRect r;
    if (CentredRect(x, y, src, srcRect, fx, r))
        BlitRotate(r, src, srcRect, flags, fx);
}

void PDrawableSurface::BlitRotate(const PRect& dst, const PSurface* src, const PRect* srcRect, int flags,
                                  const PBlitFX& fx)
{
    Source s;
    if (dst.width <= 0 || dst.height <= 0 || !DrawableReady(*this) || !PrepareSource(src, srcRect, s))
        return;
    const unsigned a = fx.angle & 0xFFFFu;
    const int64_t sc = PSinCos(int(a));
    const int64_t sn = int32_t(uint64_t(sc) & 0xFFFFFFFFu), cs = int32_t(uint64_t(sc) >> 32);
    const int64_t w = dst.width, h = dst.height;
    const int64_t hw = w >> 1, hh = h >> 1;
    const int64_t cx = dst.x + hw, cy = dst.y + hh;

    int64_t bx, by;
    if (a <= 16384) {
        bx = cx - ((hh * sn + hw * cs) >> 16);
        by = cy - ((hh * cs + hw * sn) >> 16);
    } else if (a <= 32768) {
        bx = cx - ((hh * sn - hw * cs) >> 16);
        by = cy - ((hw * sn - hh * cs) >> 16);
    } else if (a <= 49152) {
        bx = cx + ((hh * sn + hw * cs) >> 16);
        by = cy + ((hh * cs + hw * sn) >> 16);
    } else {
        bx = cx - ((hw * cs - hh * sn) >> 16);
        by = cy - ((hh * cs - hw * sn) >> 16);
    }
    if (bx >= clipX2 || by >= clipY2)
        return;
    const int64_t px0 = std::max<int64_t>(bx, clipX1), py0 = std::max<int64_t>(by, clipY1);
    const int64_t pxEnd = std::min<int64_t>(2 * cx - bx, clipX2), pyEnd = std::min<int64_t>(2 * cy - by, clipY2);
    if (pxEnd - px0 <= 0 || pyEnd - py0 <= 0)
        return;

    const int64_t kx = (int64_t(s.sw) << 8) / w, ky = (int64_t(s.sh) << 8) / h;
    int64_t dudx = (cs * kx) >> 8, dudy = (sn * kx) >> 8;
    int64_t dvdx = (-(sn * ky)) >> 8, dvdy = (cs * ky) >> 8;
    if (flags & PBLIT_FLIP) {
        dvdx = -dvdx;
        dvdy = -dvdy;
    }
    if (flags & PBLIT_MIRROR) {
        dudx = -dudx;
        dudy = -dudy;
    }
    int64_t u0 = (py0 - cy) * dudy + (px0 - cx) * dudx + (int64_t(s.sw) << 15) + ((dudy + dudx) >> 1);
    int64_t v0 = (py0 - cy) * dvdy + (px0 - cx) * dvdx + (int64_t(s.sh) << 15) + ((dvdx + dvdy) >> 1);

    const bool keyed = flags & PBLIT_TRANSPARENT;
    const bool sil = keyed && (flags & PBLIT_SILHOUETTE);
    const uint16_t colour = uint16_t(fx.color);
    for (int64_t py = py0; py < pyEnd; py++, u0 += dudy, v0 += dvdy) {
        uint8_t* d = pixels + size_t(py) * size_t(pitch) + size_t(px0) * 2;
        int64_t u = u0, v = v0;
        for (int64_t px = px0; px < pxEnd; px++, u += dudx, v += dvdx, d += 2) {
            const int64_t su = u >> 16, sv = v >> 16;
            if (su < 0 || su >= s.sw || sv < 0 || sv >= s.sh)
                continue;
            const uint8_t* row = s.Row(int(sv));
            if (keyed && s.Clear(row, int(su)))
                continue;
            St16(d, sil ? colour : s.Color(row, int(su)));
        }
    }
}
