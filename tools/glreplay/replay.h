// Replays a trace on an off-screen EGL pbuffer, either through the GL layer
// (GLES and one of our back ends) or straight into Mesa's libGLESv1_CM, and
// reads the final frame back. The software back end draws into memory and
// needs no EGL surface.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/glreplay/pngio.h"
#include "tools/glreplay/trace.h"

namespace glreplay {

enum class Backend { ES1, ES2, Mesa, SW };

struct ReplayOptions {
    Backend backend = Backend::ES1;
    int width = 1024, height = 600; // the drawing size as the trace sees it
    int orientation = 1;            // display orientation (2 and 8 turn the surface)
    bool fbo = false;               // draw through the layer's off-screen framebuffer
    int repeat = 1;                 // replays of the whole trace; each starts with the client
                                    // arrays off, client unit 0 and unpack alignment 4
    bool checkErrors = true;        // glGetError after every call
    bool rgb565 = false;            // an RGB565 surface with a 16-bit depth buffer (es1, mesa)
};

struct ReplayResult {
    Image frame;                             // upright, rows top first, RGBA
    double seconds = 0;                      // replay time (all repeats, up to glFinish)
    int frames = 0;                          // frames presented
    std::vector<std::pair<int, uint32_t>> errors; // (trace line, GL error)
};

bool ParseBackend(std::string const& name, Backend& out);
bool Replay(Trace const& trace, ReplayOptions const& options, ReplayResult& result, std::string& error);

} // namespace glreplay
