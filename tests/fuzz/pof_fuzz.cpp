// Fuzz target: a .pof mesh from untrusted bytes (plain or compressed chunk
// file), loaded without textures and measured.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/graphics/pmesh.h"
#include "engine/runtime/piffreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    PMemStream m(bytes.data(), long(bytes.size()));
    PIFFReader r(&m, 0);
    PMesh mesh(nullptr);
    if (mesh.Load(r, "textures")) {
        PAABB3 box;
        mesh.BoundingBox(box);
    }
    return 0;
}
