// Fuzz target: a chunk file from untrusted bytes (plain or compressed),
// walked with reads and skips.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/runtime/piffreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    PMemStream m(bytes.data(), long(bytes.size()));
    PIFFReader r(&m, 0);
    if (!r.IsOpen())
        return 0;
    uint8_t buf[64];
    unsigned zeros = 0;
    for (int step = 0; step < 100000 && zeros < 8; step++) {
        unsigned chunkSize = 0;
        uint32_t id = r.NextChunk(chunkSize);
        if (id == 0) {
            zeros++;
            continue;
        }
        zeros = 0;
        switch (id & 3) {
        case 0:
            r.Read(buf, sizeof buf);
            break;
        case 1:
            r.SkipChunk();
            break;
        case 2:
            if ((id >> 8 & 7) == 0)
                r.SkipForm();
            break;
        default:
            while (r.Read(buf, sizeof buf) > 0) {
            }
        }
        r.Size();
        r.FormType();
    }
    return 0;
}
