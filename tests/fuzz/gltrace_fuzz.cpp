// The GL trace reader on arbitrary text: it must refuse or accept, never
// crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/glreplay/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<char const*>(data), size);
    glreplay::Trace trace;
    std::string error;
    // No base directory: image lines name files that are not there.
    if (glreplay::ParseTrace(text, "/nonexistent", trace, error)) {
        for (auto const& c : trace.calls)
            for (auto const& a : c.args)
                if (a.kind == glreplay::ArgKind::Pointer && a.offset > int64_t(trace.arrays[a.array].bytes.size()))
                    __builtin_trap();
    }
    return 0;
}
