// NRV loader and image detection: any bytes, new surfaces with several load
// flags and existing surfaces of every format at an offset.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> buf(data, data + size);
    static const int kFlags[] = {0, 0x100, 0x200, 0x2000, 0x800, 0x10 | 0x80};
    for (int f : kFlags) {
        PMemStream s(buf.data(), long(buf.size()));
        delete PSurface::CreateFromNRV(s, f);
    }
    {
        PMemStream s(buf.data(), long(buf.size()));
        delete PSurface::CreateFromImage(s, 0, PIMAGE_DETECT);
    }
    static const int kFormats[] = {PSURFACE_RGB565, PSURFACE_INDEX8, PSURFACE_RGB24, PSURFACE_RGBA32};
    for (int fmt : kFormats) {
        PSurface* t = PSurface::Create(6, 4, PSurfaceFormat(fmt));
        if (!t)
            continue;
        if (fmt == PSURFACE_INDEX8) {
            t->palette = PPalette::CreateGreyRamp(4);
            t->flags |= PSURF_OWNPALETTE;
        }
        PMemStream s(buf.data(), long(buf.size()));
        t->LoadNRV(s, 3, -1, 0x80 | 0x400);
        delete t;
    }
    return 0;
}
