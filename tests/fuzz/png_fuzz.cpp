// PNG loader: any bytes, every load flag combination the loaders know, into
// new surfaces and into an existing one at an offset.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/graphics/psurface.h"
#include "engine/runtime/pstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> buf(data, data + size);
    static const int kFlags[] = {0, 0x100, 0x2000, 0x2200, 0x800, 0x1000, 0x10 | 0x80};
    for (int f : kFlags) {
        PMemStream s(buf.data(), long(buf.size()));
        delete PSurface::CreateFromPNG(s, f);
    }
    static const int kFormats[] = {PSURFACE_RGB565, PSURFACE_INDEX8, PSURFACE_RGB24, PSURFACE_RGBA32};
    for (int fmt : kFormats) {
        PSurface* t = PSurface::Create(7, 5, PSurfaceFormat(fmt));
        if (!t)
            continue;
        PMemStream s(buf.data(), long(buf.size()));
        t->LoadPNG(s, -2, 3, 0x80);
        delete t;
    }
    return 0;
}
