// Image file entry points: format detection and loading of PNG or NRV images
// from streams and files; the helpers both readers share.
#include "engine/graphics/pimage.h"

#include <algorithm>

#include "engine/graphics/ppng.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/pzstream.h"

PSurfaceFormat PTrueColourFormat(int loadFlags)
{
    if (loadFlags & PLOAD_TRUE32A)
        return (loadFlags & PLOAD_NOALPHA) ? PSURFACE_RGB24 : PSURFACE_RGBA32;
    if (loadFlags & PLOAD_TRUE24)
        return PSURFACE_RGB24;
    if (loadFlags & PLOAD_TRUE32)
        return PSURFACE_RGBA32;
    return PSURFACE_RGB565;
}

bool PIsLoadTarget(const PSurface& s)
{
    return s.pixels && PSurfaceFormatBPP(s.format) != 0 && s.width > 0 && s.height > 0 &&
           int64_t(s.pitch) >= int64_t(s.width) * s.BytesPerPixel();
}

PImagePlacement::PImagePlacement(int x, int y, int64_t w, int64_t h, int targetW, int targetH)
    : srcX0(x < 0 ? -int64_t(x) : 0), srcY0(y < 0 ? -int64_t(y) : 0), dstX0(x < 0 ? 0 : x),
      dstY0(y < 0 ? 0 : y)
{
    drawW = std::max<int64_t>(0, std::min<int64_t>(w - srcX0, int64_t(targetW) - dstX0));
    drawH = std::max<int64_t>(0, std::min<int64_t>(h - srcY0, int64_t(targetH) - dstY0));
    if (drawW == 0 || drawH == 0)
        drawW = drawH = 0;
}

int PSurface::DetectFormat(PStream& s)
{
    unsigned char b[8];
    if (s.ReadFully(b, 8) < 8)
        return PIMAGE_DETECT;
    if (s.Seek(-8, 1) < 0) {
        _PDebug("Image: stream cannot go back after detection\n");
        return PIMAGE_DETECT;
    }
    return PPNGLoader::CheckSignature(b) == 0 ? PIMAGE_PNG : PIMAGE_NRV;
}

int PSurface::Load(PStream& s, int x, int y, PImageFormat f)
{
    if (f == PIMAGE_DETECT)
        f = PImageFormat(DetectFormat(s));
    if (f == PIMAGE_PNG)
        return LoadPNG(s, x, y, 0);
    if (f == PIMAGE_NRV)
        return LoadNRV(s, x, y, 0);
    return -1;
}

int PSurface::Load(const char* path, int x, int y, PImageFormat f)
{
    PStream* s = path ? PZStream::Open(path, 1) : nullptr;
    if (!s) {
        _PDebug("Image: cannot open %s\n", path ? path : "(null)");
        return -1;
    }
    int r = Load(*s, x, y, f);
    delete s;
    return r;
}

PSurface* PSurface::CreateFromImage(PStream& s, int loadFlags, PImageFormat f)
{
    if (f == PIMAGE_DETECT)
        f = PImageFormat(DetectFormat(s));
    if (f == PIMAGE_PNG)
        return CreateFromPNG(s, loadFlags);
    if (f == PIMAGE_NRV)
        return CreateFromNRV(s, loadFlags);
    return nullptr;
}

PSurface* PSurface::CreateFromFile(const char* path, int loadFlags, PImageFormat f)
{
    PStream* s = path ? PZStream::Open(path, 1) : nullptr;
    if (!s) {
        _PDebug("Image: cannot open %s\n", path ? path : "(null)");
        return nullptr;
    }
    PSurface* surf = CreateFromImage(*s, loadFlags, f);
    if (!surf)
        _PDebug("Image: cannot load %s\n", path);
    delete s;
    return surf;
}
