// The GL trace reader on arbitrary text: it must refuse or accept, never
// crash or read out of bounds. A short trace it accepts is then replayed
// twice on the software back end (no EGL needed), so the replay's checks
// meet both a fresh context and the state a first repetition left behind.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

namespace {

// What keeps a replay quick: a 32 x 32 display, at most 128 calls, textures
// of at most 64 texels a side and draws of at most 1,024 vertices or indices.
// The trace's arrays come from the input, so they stay small on their own.
constexpr int kSide = 32;
constexpr size_t kMaxCalls = 128;
constexpr int64_t kMaxTexels = 64, kMaxDraw = 1024;

bool ArgAtMost(glreplay::Call const& c, size_t i, int64_t most)
{
    if (i >= c.args.size())
        return true;
    glreplay::Arg const& a = c.args[i];
    return a.kind == glreplay::ArgKind::Int ? a.i <= most : a.kind != glreplay::ArgKind::Element;
}

bool Quick(glreplay::Trace const& trace)
{
    if (trace.calls.size() > kMaxCalls)
        return false;
    for (auto const& c : trace.calls) {
        bool ok = true;
        if (c.name == "glTexImage2D" || c.name == "glCompressedTexImage2D")
            ok = ArgAtMost(c, 3, kMaxTexels) && ArgAtMost(c, 4, kMaxTexels);
        else if (c.name == "glTexSubImage2D")
            ok = ArgAtMost(c, 4, kMaxTexels) && ArgAtMost(c, 5, kMaxTexels);
        else if (c.name == "glDrawArrays")
            ok = ArgAtMost(c, 1, kMaxDraw) && ArgAtMost(c, 2, kMaxDraw);
        else if (c.name == "glDrawElements")
            ok = ArgAtMost(c, 1, kMaxDraw);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<char const*>(data), size);
    glreplay::Trace trace;
    std::string error;
    // No base directory: image lines name files that are not there.
    if (!glreplay::ParseTrace(text, "/nonexistent", trace, error))
        return 0;
    for (auto const& c : trace.calls)
        for (auto const& a : c.args)
            if (a.kind == glreplay::ArgKind::Pointer && a.offset > int64_t(trace.arrays[a.array].bytes.size()))
                __builtin_trap();
    if (!Quick(trace))
        return 0;
    glreplay::ReplayOptions options;
    options.backend = glreplay::Backend::SW;
    options.width = options.height = kSide;
    options.repeat = 2;
    glreplay::ReplayResult result;
    glreplay::Replay(trace, options, result, error);
    return 0;
}
