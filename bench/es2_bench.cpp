// The OpenGL ES 2.0 back end's cost per draw, and a game-like frame through
// it beside the OpenGL ES 1.1 back end and Mesa's own ES 1.1, in one run.
//
// Draws: each draw sets one of N pipeline states (alpha function, texture
// environment, fog) and draws a one-pixel triangle, so the time is the
// emulation's path (key, cache search, program switch, uniforms, attributes)
// plus Mesa's draw call, not rasterization. With N = 1 every draw reuses the
// program of the one before; with 16 and 64 each draw switches program.
// layer_only times the same draws with the GL calls doing nothing: the
// emulation's own cost per draw.
//
// Game frame: tests/gl/es2_traces/game.trace (about 130 draws, 1024 x 600)
// replayed by glreplay's engine; time per frame up to glFinish.
#include <EGL/egl.h>
#include <GLES/gl.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/egl_context.h"
#include "engine/platform/pdisplay.h"
#include "gl/es2_backend.h"
#include "gl/es2_gl.h"
#include "gl/glbackend_es11.h"
#include "gl/gles.h"
#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

namespace {

const int32_t kTriangle[6] = {0, 0, 0x100, 0, 0, 0x100};
const uint32_t kModes[6] = {GL_REPLACE, GL_MODULATE, GL_DECAL, GL_ADD, GL_BLEND, GL_COMBINE};

// State s of 96: alpha function s % 8, environment mode (s / 8) % 6, fog from 48 up.
void SetState(GLES& g, vornGL::P3DBackend* b, int s)
{
    g.glEnable(GL_ALPHA_TEST);
    b->glAlphaFuncx(GL_NEVER + uint32_t(s % 8), 0x8000);
    g.glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, int32_t(kModes[(s / 8) % 6]));
    if (s >= 48)
        g.glEnable(GL_FOG);
    else
        g.glDisable(GL_FOG);
}

// A GL that does nothing, for timing the layer's own work per draw.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define ES2BENCH_NULL_FN(kind, ret, name, params, args, cv) \
    VORNGL_ES2_IF_HAS(kind, name, ret Null_##name params { return vornGL::SlotZero<ret>(); })
using vornGL::f32;
using vornGL::i32;
using vornGL::u32;
using vornGL::u8;
VORNGL_BACKEND_SLOTS(ES2BENCH_NULL_FN)
#pragma GCC diagnostic pop
#define ES2BENCH_NULL_INIT(kind, ret, name, params, args, cv) VORNGL_ES2_IF_HAS(kind, name, &Null_##name, )
vornGL::ES2Dispatch const kNullGL = {VORNGL_BACKEND_SLOTS(ES2BENCH_NULL_INIT)};

// Api 2: the ES 2.0 back end on Mesa; 1: the ES 1.1 back end on Mesa; 3: the
// ES 2.0 back end with the GL calls made to do nothing once the programs are
// linked (the layer's own cost).
template <int Api> void BM_Draw(benchmark::State& state)
{
    benchegl::Context ctx(Api == 1 ? 1 : 2);
    if (!ctx.ok) {
        state.SkipWithError("no EGL context");
        return;
    }
    PDisplayProperties info{};
    info.width = info.height = info.screenWidth = info.screenHeight = 64;
    auto g = std::make_unique<GLES>();
    vornGL::P3DBackend* b = Api != 1 ? static_cast<vornGL::P3DBackend*>(new vornGL::P3DBackendES20(&info, g->GetStateMan()))
                                     : new vornGL::P3DBackendES11(&info);
    g->Init(b, nullptr);
    uint32_t texture = 0;
    g->glGenTextures(1, &texture);
    g->glBindTexture(GL_TEXTURE_2D, texture);
    g->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, "\xff\xff\xff\xff");
    g->glEnable(GL_TEXTURE_2D);
    g->glEnableClientState(GL_VERTEX_ARRAY);
    g->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    b->glVertexPointer(2, GL_FIXED, 0, kTriangle);
    b->glTexCoordPointer(2, GL_FIXED, 0, kTriangle);
    int const programs = int(state.range(0));
    for (int s = 0; s < programs; ++s) { // the cache holds them all before timing
        SetState(*g, b, s);
        g->glDrawArrays(GL_TRIANGLES, 0, 3);
    }
    g->glGetError();
    if (Api == 3)
        vornGL::g_gles2 = kNullGL;
    int s = 0;
    for (auto _ : state) {
        SetState(*g, b, s);
        g->glDrawArrays(GL_TRIANGLES, 0, 3);
        if (++s == programs)
            s = 0;
    }
    vornGL::g_gles2 = vornGL::kPlatformGLES2;
    b->glFinish();
    state.SetItemsProcessed(state.iterations());
    g.reset();
}

BENCHMARK_TEMPLATE(BM_Draw, 3)->Name("ES2/layer_only/programs")->Arg(1)->Arg(16)->Arg(64);
BENCHMARK_TEMPLATE(BM_Draw, 2)->Name("ES2/draw/programs")->Arg(1)->Arg(16)->Arg(64);
BENCHMARK_TEMPLATE(BM_Draw, 1)->Name("ES1/draw/states")->Arg(1)->Arg(16)->Arg(64);

void BM_GameFrame(benchmark::State& state, glreplay::Backend backend)
{
    static glreplay::Trace trace;
    static bool loaded = false;
    std::string error;
    if (!loaded && !glreplay::LoadTrace(std::string(KRV_SOURCE_DIR) + "/tests/gl/es2_traces/game.trace", trace, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    loaded = true;
    glreplay::ReplayOptions opt;
    opt.backend = backend;
    opt.repeat = 10;
    opt.checkErrors = false;
    double seconds = 0;
    int frames = 0;
    for (auto _ : state) {
        glreplay::ReplayResult result;
        if (!glreplay::Replay(trace, opt, result, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(result.seconds / result.frames);
        seconds += result.seconds;
        frames += result.frames;
    }
    state.counters["ms_per_frame"] = frames ? seconds * 1000.0 / frames : 0;
}

BENCHMARK_CAPTURE(BM_GameFrame, mesa, glreplay::Backend::Mesa)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GameFrame, es1, glreplay::Backend::ES1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GameFrame, es2, glreplay::Backend::ES2)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

