// The software rasterizer: triangles per second by size and kind, vertices
// per second through the transform stage (lit and unlit), and the clear rate
// beside memset, on a 1024 x 600 RGB565 surface in memory.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <algorithm>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/platform/pdisplay.h"
#include "gl/gles.h"
#include "gl/software/swbackend.h"
#include "gl/software/swspanlist.h"
#include "tests/gl/software/memory_display.h"

using swtest::MemoryDisplay;

#include <GLES/gl.h>
#include <GLES/glext.h>

namespace {

constexpr int W = 1024, H = 600;

int32_t Fx(double v) { return int32_t(v * 65536.0); }

// A back end with a pixel-unit projection (y up).
struct Rig {
    MemoryDisplay display{W, H};
    PDisplayProperties info{};
    GLES gles;
    vornGL::P3DBackendSW* sw = nullptr;
    uint32_t texture = 0;

    Rig()
    {
        info.width = W;
        info.height = H;
        sw = vornGL::P3DBackendSW::Create(&info, gles.GetStateMan(), &display);
        gles.Init(sw, nullptr);
        gles.glViewport(0, 0, W, H);
        gles.glMatrixMode(GL_PROJECTION);
        gles.glOrthox(0, Fx(W), 0, Fx(H), Fx(-1), Fx(1));
        gles.glMatrixMode(GL_MODELVIEW);
        gles.glEnableClientState(GL_VERTEX_ARRAY);
        sw->glGenTextures(1, &texture);
        gles.glBindTexture(GL_TEXTURE_2D, texture);
        std::vector<uint16_t> texels(64 * 64);
        for (size_t i = 0; i < texels.size(); ++i)
            texels[i] = uint16_t((i * 2654435761u) >> 16) & 0xFFDF;
        gles.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 64, 64, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, texels.data());
        gles.glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    }
};

enum Kind { kFlat, kSmooth, kTextured };

// 1020 triangles of about `area` pixels each, spread over the surface.
void Triangles(benchmark::State& state)
{
    int area = int(state.range(0));
    Kind kind = Kind(state.range(1));
    Rig rig;
    double side = std::sqrt(2.0 * area);
    std::mt19937 rng(1);
    std::vector<int32_t> xy, uv;
    std::vector<uint8_t> rgba;
    for (int t = 0; t < 1020; ++t) {
        double x = 4 + rng() % (W - 8 - int(side)), y = 4 + rng() % (H - 8 - int(side));
        double pts[3][2] = {{x, y}, {x + side, y}, {x, y + side}};
        for (auto& p : pts) {
            xy.push_back(Fx(p[0] + 0.3));
            xy.push_back(Fx(p[1] + 0.6));
            uv.push_back(Fx((p[0] - x) / side));
            uv.push_back(Fx((p[1] - y) / side));
            for (int c = 0; c < 3; ++c)
                rgba.push_back(uint8_t(rng()));
            rgba.push_back(255);
        }
    }
    rig.sw->glVertexPointer(2, GL_FIXED, 0, xy.data());
    rig.sw->glShadeModel(kind == kSmooth ? GL_SMOOTH : GL_FLAT);
    if (kind == kSmooth) {
        rig.sw->glColorPointer(4, GL_UNSIGNED_BYTE, 0, rgba.data());
        rig.gles.glEnableClientState(GL_COLOR_ARRAY);
    }
    if (kind == kTextured) {
        rig.sw->glTexCoordPointer(2, GL_FIXED, 0, uv.data());
        rig.gles.glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        rig.gles.glEnable(GL_TEXTURE_2D);
    }
    for (auto _ : state)
        rig.gles.glDrawArrays(GL_TRIANGLES, 0, 1020);
    state.SetItemsProcessed(state.iterations() * 340);
    state.counters["Mpixel/s"] = benchmark::Counter(double(state.iterations()) * 340 * area / 1e6,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(Triangles)
    ->ArgNames({"pixels", "kind"})
    ->ArgsProduct({{8, 32, 128}, {kFlat, kSmooth, kTextured}});

// Vertices through fetch, transform, lighting and projection: zero-area
// triangles, so nothing is rasterized.
void Vertices(benchmark::State& state)
{
    bool lit = state.range(0);
    Rig rig;
    std::mt19937 rng(2);
    std::vector<int32_t> xyz, normals;
    for (int i = 0; i < 1023; ++i) {
        int32_t x = Fx(10 + rng() % (W - 20)), y = Fx(10 + rng() % (H - 20));
        xyz.insert(xyz.end(), {x, y, 0});
        double a = (rng() % 6283) / 1000.0;
        normals.insert(normals.end(), {Fx(std::cos(a) * 0.6), Fx(std::sin(a) * 0.6), Fx(0.52915)});
    }
    std::vector<uint16_t> idx(1023);
    for (int i = 0; i < 1023; ++i)
        idx[i] = uint16_t(i);
    // Three distinct vertices at one place: transformed three times, no area.
    for (int i = 0; i < 1023; i += 3) {
        xyz[3 * (i + 1)] = xyz[3 * (i + 2)] = xyz[3 * i];
        xyz[3 * (i + 1) + 1] = xyz[3 * (i + 2) + 1] = xyz[3 * i + 1];
    }
    rig.sw->glVertexPointer(3, GL_FIXED, 0, xyz.data());
    rig.sw->glShadeModel(GL_SMOOTH);
    if (lit) {
        rig.sw->glNormalPointer(GL_FIXED, 0, normals.data());
        rig.gles.glEnableClientState(GL_NORMAL_ARRAY);
        rig.gles.glEnable(GL_LIGHTING);
        rig.gles.glEnable(GL_LIGHT0);
        rig.gles.glEnable(GL_LIGHT1);
        int32_t dir[4] = {Fx(0.3), Fx(0.5), Fx(0.8), 0};
        rig.gles.glLightxv(GL_LIGHT1, GL_POSITION, dir);
    }
    for (auto _ : state)
        rig.gles.glDrawElements(GL_TRIANGLES, 1023, GL_UNSIGNED_SHORT, idx.data());
    state.SetItemsProcessed(state.iterations() * 1023);
}
BENCHMARK(Vertices)->ArgName("lit")->Arg(0)->Arg(1);

void Clear(benchmark::State& state)
{
    Rig rig;
    rig.sw->glClearColorx(Fx(0.2), Fx(0.4), Fx(0.6), Fx(1));
    for (auto _ : state)
        rig.gles.glClear(GL_COLOR_BUFFER_BIT);
    state.SetBytesProcessed(state.iterations() * W * H * 2);
}
BENCHMARK(Clear);

void ClearDepth(benchmark::State& state)
{
    Rig rig;
    for (auto _ : state)
        rig.gles.glClear(GL_DEPTH_BUFFER_BIT);
    state.SetBytesProcessed(state.iterations() * W * H * 2);
}
BENCHMARK(ClearDepth);

void Memset(benchmark::State& state)
{
    std::vector<uint16_t> buffer(size_t(W) * H);
    for (auto _ : state) {
        std::memset(buffer.data(), 0x5A, buffer.size() * 2);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * W * H * 2);
}
BENCHMARK(Memset);


// Every span routine of the table on its own: a half of 600 scanlines of
// 1024 pixels (the whole surface), or of 16 pixels each, over a 64 x 64
// texture of the routine's texel format, depth test passing, no colour key.
struct SpanRig {
    std::vector<uint16_t> colour = std::vector<uint16_t>(size_t(W) * H, 0x4208);
    std::vector<uint16_t> depth = std::vector<uint16_t>(size_t(W) * H, 0xFFFF);
    std::vector<uint16_t> texels = std::vector<uint16_t>(64 * 64);
    vornGL::PTriangleSetup s{};

    SpanRig(int row, char const* name)
    {
        std::string n = name;
        bool is4444 = n.find("4444") != std::string::npos, is88 = !is4444 && n.find("88") != std::string::npos;
        std::mt19937 rng(3);
        for (auto& t : texels)
            t = uint16_t(rng());
        for (auto& t : texels)
            t = is88 ? uint16_t(t | 0xC0) : is4444 ? uint16_t(t | 0x8) : uint16_t(t & ~0x20);
        s.texels = texels.data();
        s.texShiftU = s.texShiftV = 6;
        s.texMask = 4095;
        s.colourBuffer = colour.data();
        s.depthBuffer = depth.data();
        s.pitch = W * 2;
        s.clipMaxX = W << 16;
        s.clipMaxY = H << 16;
        s.spreadMask = 0x07E0F81F;
        s.spanFlags = 0x10020;
        s.row = row;
        s.flatColour = 0x80F81F;
        s.enables = 0x40000000;
        static uint32_t noise[16] = {1, 7, 3, 9, 12, 5, 0, 2, 8, 4, 11, 6, 10, 13, 15, 14};
        s.noiseTable = noise;
        s.noiseMask = 15;
        // A gentle gradient of every attribute; w = 1.0 at the left edge.
        s.edgeA = 200 << 16, s.edgeR = 250 << 16, s.edgeG = 120 << 16, s.edgeB = 40 << 16;
        s.dAdx = -(1 << 12), s.dRdx = -(1 << 12), s.dGdx = 1 << 11, s.dBdx = 1 << 12;
        s.dZdx = 0;
        s.edgeW = 1 << 24, s.dWdx = 1 << 10;
        s.edgeU = 0, s.dUdx = 1 << 18, s.edgeV = 0, s.dVdx = 1 << 16, s.stepV = 1 << 17;
    }
};

void Span(benchmark::State& state, int row, char const* name)
{
    int width = int(state.range(0));
    SpanRig rig(row, name);
    vornGL::PSpanFn fn = vornGL::m_polyfunc[row].span;
    int32_t z = 0xF000;
    for (auto _ : state) {
        // Each pass one depth step nearer, so that the depth test passes.
        if (--z < 0x100) {
            state.PauseTiming();
            std::fill(rig.depth.begin(), rig.depth.end(), uint16_t(0xFFFF));
            z = 0xF000;
            state.ResumeTiming();
        }
        rig.s.edgeZ = z << 8;
        rig.s.leftX = 0;
        rig.s.rightX = width << 16;
        rig.s.edgeV = 0;
        fn(&rig.s, 0, H << 16);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(width) * H);
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(state.iterations()) * width * H / 1e6, benchmark::Counter::kIsRate);
}

// One benchmark per routine (the first row that names it).
int RegisterSpans()
{
    std::vector<vornGL::PSpanFn> seen;
    for (int row = 0; row < vornGL::kSpanRows; ++row) {
        vornGL::PSpanFn fn = vornGL::m_polyfunc[row].span;
        if (std::find(seen.begin(), seen.end(), fn) != seen.end())
            continue;
        seen.push_back(fn);
        char const* name = vornGL::SpanRowName(row);
        benchmark::RegisterBenchmark((std::string("Span/") + name).c_str(),
                                     [row, name](benchmark::State& st) { Span(st, row, name); })
            ->ArgName("pixels")
            ->Arg(W)
            ->Arg(16);
    }
    return 0;
}
int const registered = RegisterSpans();

} // namespace
