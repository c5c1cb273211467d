// Image file entry points: format detection and loading of PNG or NRV images
// from streams and files.
#include "engine/graphics/ppng.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/pzstream.h"

int PSurface::DetectFormat(PStream& s)
{
    unsigned char b[8];
    int got = 0;
    while (got < 8) {
        int r = s.Read(b + got, 8 - got);
        if (r <= 0)
            break;
        got += r;
    }
    if (got < 8)
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
