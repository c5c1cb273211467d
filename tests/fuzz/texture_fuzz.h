// The body of the texture file fuzz targets: the input loaded into the
// texture cache (over a back end that draws nothing) through one format's
// loader, then again through format detection.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bench/null_backend.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/pstream.h"

inline int FuzzTextureFile(const uint8_t* data, size_t size,
                           int (PTextureManager::*load)(PStream*, unsigned, unsigned))
{
    static nullgl::NullDisplay display(64, 64);
    static P3D* ctx = nullgl::CreateContext(&display);
    if (!ctx)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    PMemStream m(bytes.data(), long(bytes.size()));
    PTextureManager tm(nullptr, ctx);
    int h = (tm.*load)(&m, 0x4C80, 0x1234);
    tm.FreeTexture(h);
    m.Seek(0, 0);
    tm.FreeTexture(tm.AddTexture(&m, 0x4C80, PTEXFMT_DETECT, 0));
    return 0;
}
