// Scene engine: key-track evaluation by key count, culling a level of 5,000
// models through the octree against testing every model, and loading a scene
// against reading its bytes.
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pfile.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "engine/platform/pdisplay.h"
#include "gl/glbackend_es11.h"
#include "gl/gles.h"
#include "tools/glreplay/eglpbuffer.h"

#include <GLES/gl.h>
#include <chrono>
#include "tools/lib/pam_writer.h"
#include "tools/lib/toolfile.h"

namespace {

int32_t Fx(double v)
{
    return int32_t(std::lround(v * 65536.0));
}

// One evaluation per iteration, frames walking through the whole track.
void BM_FindAB(benchmark::State& state)
{
    int keys = int(state.range(0));
    std::vector<int32_t> frames(keys), values(keys);
    std::mt19937 rng(1);
    for (int i = 0; i < keys; i++) {
        frames[i] = i * 4;
        values[i] = int32_t(rng() % 0x1000000);
    }
    P3DChannel t;
    t.SetKeys(keys, frames.data(), values.data());
    unsigned frame = 0, last = unsigned(frames.back());
    for (auto _ : state) {
        t.FindAB(frame);
        benchmark::DoNotOptimize(t.value);
        frame = frame >= last ? 0 : frame + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindAB)->Arg(2)->Arg(10)->Arg(50)->Arg(100)->Arg(500);

// A level: 5,000 boxes over 2,000 x 100 x 2,000 in areas of 50.0.
struct Level {
    P3DAnim* anim = nullptr;
    PMesh** meshes = nullptr;
    char** names = nullptr;
    int count = 0;
    std::vector<std::vector<PVector3>> boxes; // model corners for the brute force
    std::vector<std::vector<PPlane3>> views;

    Level()
    {
        PamScene s;
        s.meshes = {"coll"};
        s.areas = true;
        s.areaSize = Fx(50);
        std::mt19937 rng(42);
        std::uniform_real_distribution<double> xz(-1000, 1000), y(-50, 50), e(1, 20);
        for (int i = 0; i < 5000; i++) {
            PamModel m;
            m.flags = kPamBoxColl;
            double p[3] = {xz(rng), y(rng), xz(rng)}, d[3] = {e(rng), e(rng), e(rng)};
            for (int k = 0; k < 3; k++) {
                m.tracks[k] = PamTrack::Constant(Fx(p[k]));
                m.size[k] = PamTrack::Constant(Fx(d[k]));
            }
            s.models.push_back(m);
            PAABB3 b;
            b.min = PVector3(Fx(p[0]), Fx(p[1]), Fx(p[2]));
            b.max = PVector3(Fx(p[0] + d[0]), Fx(p[1] + d[1]), Fx(p[2] + d[2]));
            std::vector<PVector3> c(8);
            P3DUtils::BBox2Vectors(b, c.data());
            boxes.push_back(c);
        }
        std::vector<uint8_t> bytes;
        std::string err;
        PamWrite(s, &bytes, &err);
        anim = P3DAnim::Create();
        anim->LoadFromMemory(bytes.data(), unsigned(bytes.size()), nullptr, 0, nullptr, nullptr, meshes, names,
                             &count);
        // Views from inside the level looking level-ish, 118.0 deep.
        std::uniform_real_distribution<double> ang(0, 6.283185307179586);
        for (int v = 0; v < 64; v++) {
            double a = ang(rng), c = std::cos(a), sn = std::sin(a), t[3] = {xz(rng), 0, xz(rng)};
            int32_t mv[16] = {}, proj[16] = {};
            double r[9] = {c, 0, -sn, 0, 1, 0, sn, 0, c};
            for (int col = 0; col < 3; col++)
                for (int row = 0; row < 3; row++)
                    mv[col * 4 + row] = Fx(r[col * 3 + row]);
            for (int row = 0; row < 3; row++)
                mv[12 + row] = Fx(-(r[row] * t[0] + r[3 + row] * t[1] + r[6 + row] * t[2]));
            mv[15] = 0x10000;
            double n = 1, f = 118;
            proj[0] = proj[5] = Fx(1 / 0.7);
            proj[10] = Fx(-(f + n) / (f - n));
            proj[11] = -0x10000;
            proj[14] = Fx(-2 * f * n / (f - n));
            std::vector<PPlane3> planes(6);
            P3DUtils::FrustumPlanesFromMatrices(planes.data(), mv, proj);
            views.push_back(planes);
        }
    }
    ~Level()
    {
        for (int i = 0; i < count; i++)
            PFree(names[i]);
        PFree(names);
        PFree(meshes);
        delete anim;
    }
};

Level& TheLevel()
{
    static Level level;
    return level;
}

// The octree gives the areas in view; each listed model is then tested once
// (stamped), as the drawing pass does.
void BM_CullOctree(benchmark::State& state)
{
    Level& l = TheLevel();
    P3DAnim* a = l.anim;
    std::vector<int> stamp(a->modelCount, 0);
    int frame = 0, v = 0;
    long visible = 0;
    for (auto _ : state) {
        frame++;
        const PPlane3* planes = l.views[v++ & 63].data();
        a->RefreshAreasInFrustumList(planes);
        for (int i = 0; i < a->areasInFrustumCount; i++) {
            P3DClip* c = a->areas[a->areasInFrustum[i]];
            for (int k = 0; k < c->count; k++) {
                int m = c->models[k];
                if (stamp[m] == frame)
                    continue;
                stamp[m] = frame;
                visible += P3DUtils::PBoxInFrustum(l.boxes[m].data(), planes, 6);
            }
        }
    }
    state.counters["visible/frame"] = double(visible) / double(state.iterations());
}
BENCHMARK(BM_CullOctree);

void BM_CullEveryModel(benchmark::State& state)
{
    Level& l = TheLevel();
    int v = 0;
    long visible = 0;
    for (auto _ : state) {
        const PPlane3* planes = l.views[v++ & 63].data();
        for (auto const& b : l.boxes)
            visible += P3DUtils::PBoxInFrustum(b.data(), planes, 6);
    }
    state.counters["visible/frame"] = double(visible) / double(state.iterations());
}
BENCHMARK(BM_CullEveryModel);

// A scene of 2,000 animated models with 20 keys per track, as a file.
std::string SceneFile()
{
    static std::string path;
    if (!path.empty())
        return path;
    PamScene s;
    s.meshes = {"a", "b"};
    std::mt19937 rng(3);
    for (int i = 0; i < 2000; i++) {
        PamModel m;
        m.mesh = i & 1;
        for (auto& t : m.tracks) {
            t.keys.clear();
            for (int k = 0; k < 20; k++)
                t.keys.push_back({k * 5, int32_t(rng())});
        }
        s.models.push_back(m);
    }
    std::vector<uint8_t> bytes;
    std::string err;
    PamWrite(s, &bytes, &err);
    char tmpl[] = "/tmp/krv_scene_bench_XXXXXX";
    int fd = ::mkstemp(tmpl);
    ::close(fd);
    WriteFileAtomic(tmpl, bytes, &err);
    path = tmpl;
    std::atexit([] { ::unlink(path.c_str()); });
    return path;
}

void BM_SceneLoadFromFile(benchmark::State& state)
{
    std::string path = SceneFile();
    for (auto _ : state) {
        P3DAnim a;
        PMesh** meshes;
        char** names;
        int count;
        if (!a.LoadFromFile(path.c_str(), nullptr, 0, "", nullptr, meshes, names, &count))
            state.SkipWithError("load failed");
        for (int i = 0; i < count; i++)
            PFree(names[i]);
        PFree(names);
        PFree(meshes);
    }
}
BENCHMARK(BM_SceneLoadFromFile)->Unit(benchmark::kMicrosecond);

void BM_SceneRawRead(benchmark::State& state)
{
    std::string path = SceneFile();
    for (auto _ : state) {
        PFile f(path.c_str(), PFile::kRead);
        long size = f.Size();
        std::vector<uint8_t> buf(static_cast<size_t>(size));
        benchmark::DoNotOptimize(f.Read(buf.data(), int(size)));
    }
}
BENCHMARK(BM_SceneRawRead)->Unit(benchmark::kMicrosecond);

// A frame of a level of 2,000 models drawn by RenderAllScenes on Mesa
// (llvmpipe, 640 x 360), every model a lit box of 12 triangles in areas of
// 50.0. "Cull" runs the frame with meshes that draw nothing: the engine's own
// time (culling, matrices, state); "Frame" draws them and waits for the GL.
// In view: the 2,000 boxes lie in front of a fixed camera (a tenth of them
// blended); Turning: spread over 1,000 x 1,000 around a turning camera.
struct BoxMesh {
    int32_t v[36 * 3], n[36 * 3];
    BoxMesh()
    {
        static const int f[6][4][3] = {{{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},
                                       {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
                                       {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},
                                       {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},
                                       {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
                                       {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}};
        static const int order[6] = {0, 1, 2, 0, 2, 3};
        int k = 0;
        for (int face = 0; face < 6; face++)
            for (int i = 0; i < 6; i++, k++)
                for (int a = 0; a < 3; a++) {
                    v[k * 3 + a] = f[face][order[i]][a] * 0x10000;
                    n[k * 3 + a] = 0;
                }
    }
};

BoxMesh g_box;
bool g_drawMeshes = true;
long g_draws = 0;

int BenchBox(PMesh*, int32_t* b)
{
    b[0] = b[1] = b[2] = -0x10000;
    b[3] = b[4] = b[5] = 0x10000;
    return 1;
}
PMesh* BenchLoad(const char*, PTextureManager*, const char*)
{
    return reinterpret_cast<PMesh*>(&g_box);
}
void BenchDestroy(PMesh*) {}
void BenchRender(PMesh*, GLES* gl)
{
    g_draws++;
    if (!g_drawMeshes)
        return;
    gl->GetBackend()->glVertexPointer(3, GL_FIXED, 0, g_box.v);
    gl->GetBackend()->glNormalPointer(GL_FIXED, 0, g_box.n);
    gl->glDrawArrays(GL_TRIANGLES, 0, 36);
}
const P3DMeshOps kBenchOps = {BenchBox, BenchLoad, BenchDestroy, BenchRender};

void RenderFrames(benchmark::State& state, bool draw, bool inView)
{
    glreplay::EglPbuffer surface;
    const char* why = nullptr;
    if (!surface.Create(640, 360, &why)) {
        state.SkipWithError(why ? why : "no EGL");
        return;
    }
    P3DSetMeshOps(&kBenchOps);
    PamScene s;
    s.meshes = {"box"};
    s.areas = true;
    s.areaSize = Fx(50);
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> xz(-500, 500), y(-5, 5), x(-50, 50), z(-110, -40);
    for (int i = 0; i < 2000; i++) {
        PamModel m;
        m.tracks[0] = PamTrack::Constant(Fx(inView ? x(rng) : xz(rng)));
        m.tracks[1] = PamTrack::Constant(Fx(y(rng)));
        m.tracks[2] = PamTrack::Constant(Fx(inView ? z(rng) : xz(rng)));
        m.tracks[3] = PamTrack::Constant(Fx(double(rng() % 360)));
        m.flags = i % 10 == 0 ? kPamTransparent : 0;
        s.models.push_back(m);
    }
    std::vector<uint8_t> bytes;
    std::string err;
    PamWrite(s, &bytes, &err);
    char tmpl[] = "/tmp/krv_scene_frame_XXXXXX";
    int fd = ::mkstemp(tmpl);
    ::close(fd);
    WriteFileAtomic(tmpl, bytes, &err);
    PDisplayProperties info{};
    info.width = info.screenWidth = 640;
    info.height = info.screenHeight = 360;
    GLES gles;
    auto* backend = new vornGL::P3DBackendES11(&info);
    gles.Init(backend, nullptr);
    gles.glViewport(0, 0, 640, 360);
    P3DGameEngine* e = P3DGameEngine::Create(nullptr, P3DGameEngine::AspectRatio(640, 360));
    int si = e->AddSceneFromFile(tmpl, "", "m/");
    ::unlink(tmpl);
    P3DAnim* a = e->GetAnimationPtr(si);
    a->SetModelClip(false);
    a->SetModelClipFrustum(true);
    a->SetFrustumCheckingByAreas(true);
    a->SetNearClipDistance(0x10000);
    a->SetFarClipDistance(118 << 16);
    e->AddSceneUnit(si, 0, 0, 0, 0, 0, 0);
    e->GenerateMeshBoxes();
    e->InitBlendedModelsSorting();
    gles.glEnable(GL_DEPTH_TEST);
    gles.glEnable(GL_CULL_FACE);
    gles.glEnable(GL_LIGHT0);
    gles.glEnableClientState(GL_VERTEX_ARRAY);
    gles.glEnableClientState(GL_NORMAL_ARRAY);
    g_drawMeshes = draw;
    g_draws = 0;
    int frame = 0;
    for (auto _ : state) {
        gles.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        a->SetFOV(&gles, e->aspect, 60 << 16);
        gles.glMatrixMode(GL_MODELVIEW);
        gles.glLoadIdentity();
        // Turning on the spot in the middle of the level.
        if (!inView)
            gles.glRotatex((frame++ % 360) << 16, 0, 0x10000, 0);
        e->RenderAllScenes(&gles);
        if (draw)
            glFinish();
    }
    state.counters["draws/frame"] = double(g_draws) / double(state.iterations());
    delete e;
    P3DSetMeshOps(nullptr);
}

void BM_RenderAllScenesCull(benchmark::State& state)
{
    RenderFrames(state, false, state.range(0));
}
BENCHMARK(BM_RenderAllScenesCull)->ArgName("inView")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_RenderAllScenesFrame(benchmark::State& state)
{
    RenderFrames(state, true, state.range(0));
}
BENCHMARK(BM_RenderAllScenesFrame)->ArgName("inView")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
