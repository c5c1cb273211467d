// CPU cost of a 500-draw frame through the GL layer (front end, state cache,
// OpenGL ES 1.1 back end) against the same draws sent straight to Mesa, in
// one run. The quads cover a pixel each on a small pbuffer, so the time is
// the API path's, not rasterization's.
#include <EGL/egl.h>
#include <GLES/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#pragma GCC diagnostic ignored "-Wunused-parameter"

#include "bench/egl_context.h"
#include "engine/platform/pdisplay.h"
#include "gl/glbackend_es11.h"
#include "gl/gles.h"

namespace {

constexpr int kDraws = 500;
const int32_t kQuad[8] = {0, 0, 0x100, 0, 0, 0x100, 0x100, 0x100};

// One frame as the engine draws it: per draw a pushed and moved modelview, a
// colour, blending switched (argument 1) or left alone (0), then the draw.
template <class Api> void Frame(Api& gl, int32_t step, bool toggleBlend)
{
    gl.glClear(GL_COLOR_BUFFER_BIT);
    for (int i = 0; i < kDraws; ++i) {
        gl.glPushMatrix();
        gl.glTranslatex((i & 31) << 16, (i >> 5) << 16, 0);
        gl.glColor4x(0x10000, (i * 131) & 0xFFFF, step & 0xFFFF, 0x10000);
        if (toggleBlend) {
            if (i & 1)
                gl.glEnable(GL_BLEND);
            else
                gl.glDisable(GL_BLEND);
        }
        gl.glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        gl.glPopMatrix();
    }
    gl.Finish();
}

// Mesa's entry points under the same names.
struct Direct {
    void glClear(GLbitfield m) { ::glClear(m); }
    void glPushMatrix() { ::glPushMatrix(); }
    void glPopMatrix() { ::glPopMatrix(); }
    void glTranslatex(GLfixed x, GLfixed y, GLfixed z) { ::glTranslatex(x, y, z); }
    void glColor4x(GLfixed r, GLfixed g, GLfixed b, GLfixed a) { ::glColor4x(r, g, b, a); }
    void glEnable(GLenum c) { ::glEnable(c); }
    void glDisable(GLenum c) { ::glDisable(c); }
    void glDrawArrays(GLenum m, GLint f, GLsizei c) { ::glDrawArrays(m, f, c); }
    void Finish() { ::glFinish(); }
};

struct Layer {
    GLES* g;
    void glClear(uint32_t m) { g->glClear(m); }
    void glPushMatrix() { g->glPushMatrix(); }
    void glPopMatrix() { g->glPopMatrix(); }
    void glTranslatex(int32_t x, int32_t y, int32_t z) { g->glTranslatex(x, y, z); }
    void glColor4x(int32_t r, int32_t gr, int32_t b, int32_t a) { g->glColor4x(r, gr, b, a); }
    void glEnable(uint32_t c) { g->glEnable(c); }
    void glDisable(uint32_t c) { g->glDisable(c); }
    void glDrawArrays(uint32_t m, int32_t f, int32_t c) { g->glDrawArrays(m, f, c); }
    void Finish() { g->GetBackend()->glFinish(); }
};

void SetUpScene()
{
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthox(0, 64 << 16, 0, 64 << 16, -0x10000, 0x10000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FIXED, 0, kQuad);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void BM_FrameStraightToMesa(benchmark::State& state)
{
    benchegl::Context ctx;
    if (!ctx.ok) {
        state.SkipWithError("no EGL context");
        return;
    }
    SetUpScene();
    Direct gl;
    int32_t step = 0;
    for (auto _ : state)
        Frame(gl, step++, state.range(0) != 0);
    state.counters["ns_per_draw"] =
        benchmark::Counter(double(state.iterations()) * kDraws, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FrameThroughTheLayer(benchmark::State& state)
{
    benchegl::Context ctx;
    if (!ctx.ok) {
        state.SkipWithError("no EGL context");
        return;
    }
    PDisplayProperties info{};
    info.width = info.height = 64;
    GLES gles;
    auto* backend = new vornGL::P3DBackendES11(&info);
    backend->vornGLSetOrientation(1);
    gles.Init(backend, nullptr);
    gles.glViewport(0, 0, 64, 64);
    gles.glMatrixMode(GL_PROJECTION);
    gles.glOrthox(0, 64 << 16, 0, 64 << 16, -0x10000, 0x10000);
    gles.glMatrixMode(GL_MODELVIEW);
    gles.glEnableClientState(GL_VERTEX_ARRAY);
    backend->glVertexPointer(2, GL_FIXED, 0, kQuad);
    gles.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    Layer gl{&gles};
    int32_t step = 0;
    for (auto _ : state)
        Frame(gl, step++, state.range(0) != 0);
    state.counters["ns_per_draw"] =
        benchmark::Counter(double(state.iterations()) * kDraws, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The layer's own work alone: the same frame on a back end that does nothing.
class NullBackend : public vornGL::P3DBackend {
public:
    using u32 = vornGL::u32;
    using i32 = vornGL::i32;
    using u8 = vornGL::u8;
    using f32 = vornGL::f32;
    using PGLShaderUniformValue = vornGL::PGLShaderUniformValue;
    PDisplayProperties* info;
    explicit NullBackend(PDisplayProperties* i) : info(i) {}
#define VORNGL_NULL_SLOT(kind, ret, name, params, args, cv) \
    ret name params cv override { return vornGL::SlotZero<ret>(); }
    VORNGL_BACKEND_SLOTS(VORNGL_NULL_SLOT)
#undef VORNGL_NULL_SLOT
};

// The null back end answers the API number and the display record.
class QuietBackend : public NullBackend {
public:
    using NullBackend::NullBackend;
    int vornGLGetAPI() const override { return 1; }
    PDisplayProperties* vornGLGetDispInfo() const override { return info; }
};

void BM_FrameLayerOnlyNullBackEnd(benchmark::State& state)
{
    PDisplayProperties info{};
    info.width = info.height = 64;
    GLES gles;
    gles.Init(new QuietBackend(&info), nullptr);
    gles.glEnableClientState(GL_VERTEX_ARRAY);
    Layer gl{&gles};
    int32_t step = 0;
    for (auto _ : state)
        Frame(gl, step++, state.range(0) != 0);
    state.counters["ns_per_draw"] =
        benchmark::Counter(double(state.iterations()) * kDraws, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_FrameStraightToMesa)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameThroughTheLayer)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameLayerOnlyNullBackEnd)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
