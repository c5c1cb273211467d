// glreplay TRACE --backend es1|es2|sw|mesa [--size WxH] [--out frame.png]
//          [--bench N] [--orient 1|2|4|8] [--fbo] [--565]
//
// Replays a text trace of GL ES 1.x calls (format in tools/glreplay/trace.h
// and docs/formats/gltrace.md) on an off-screen EGL surface and writes the
// last frame as PNG. es1 goes through the GL layer's front end and its
// OpenGL ES 1.1 back end, es2 through the front end and the OpenGL ES 2.0 back
// end (fixed-function emulation, on an ES 2.0 context); mesa calls Mesa's
// libGLESv1_CM directly and is the reference. --orient draws for a display held in that orientation (the PNG is
// always upright); --fbo draws through the layer's off-screen framebuffer.
// sw draws with the software rasterizer into memory; --565 gives es1 and mesa
// an RGB565 surface with a 16-bit depth buffer, as the software back end has.
// --bench N replays the trace N times and prints the time per frame.
#include "tools/glreplay/replay.h"
#include "tools/lib/toolcli.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out, "usage: glreplay TRACE --backend es1|es2|sw|mesa [--size WxH] [--out frame.png] "
                      "[--bench N] [--orient 1|2|4|8] [--fbo] [--565]\n");
    return out == stdout ? 0 : 2;
}

bool ParseCount(char const* s, int lo, int hi, int& out)
{
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < lo || v > hi)
        return false;
    out = int(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    std::string tracePath, out, backendName;
    glreplay::ReplayOptions opt;
    int bench = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--backend" && hasValue) {
            backendName = argv[++i];
        } else if (a == "--size" && hasValue) {
            std::string v = argv[++i];
            size_t x = v.find('x');
            if (x == std::string::npos || !ParseCount(v.substr(0, x).c_str(), 1, 8192, opt.width) ||
                !ParseCount(v.substr(x + 1).c_str(), 1, 8192, opt.height))
                return Usage();
        } else if (a == "--out" && hasValue) {
            out = argv[++i];
        } else if (a == "--bench" && hasValue) {
            if (!ParseCount(argv[++i], 1, 1000000, bench))
                return Usage();
        } else if (a == "--orient" && hasValue) {
            if (!ParseCount(argv[++i], 1, 8, opt.orientation))
                return Usage();
        } else if (a == "--fbo") {
            opt.fbo = true;
        } else if (a == "--565") {
            opt.rgb565 = true;
        } else if (!a.empty() && a[0] != '-' && tracePath.empty()) {
            tracePath = a;
        } else {
            return Usage();
        }
    }
    if (tracePath.empty() || backendName.empty())
        return Usage();
    if (!glreplay::ParseBackend(backendName, opt.backend))
        return Usage();

    glreplay::Trace trace;
    std::string error;
    if (!glreplay::LoadTrace(tracePath, trace, error)) {
        std::fprintf(stderr, "glreplay: %s\n", error.c_str());
        return 1;
    }
    glreplay::ReplayResult result;
    if (bench > 0) {
        opt.repeat = bench;
        opt.checkErrors = false;
    }
    if (!glreplay::Replay(trace, opt, result, error)) {
        std::fprintf(stderr, "glreplay: %s\n", error.c_str());
        return 1;
    }
    for (auto const& e : result.errors)
        std::fprintf(stderr, "glreplay: line %d: GL error 0x%04x\n", e.first, e.second);
    if (bench > 0 && result.frames > 0) {
        double ms = result.seconds * 1000.0 / result.frames;
        double mpix = double(opt.width) * opt.height * result.frames / result.seconds / 1e6;
        std::printf("%s: %d frames, %.3f ms per frame, %.1f Mpixel/s\n", backendName.c_str(), result.frames, ms,
                    mpix);
    }
    if (!out.empty() && !glreplay::WritePng(out, result.frame, error)) {
        std::fprintf(stderr, "glreplay: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
