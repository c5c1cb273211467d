// Collision world: the ground test over the triangles of a mesh (goal: at
// least 50 million triangles a second) and whole frames of the collision
// pass over a level of per-polygon hills, collision boxes and a background
// ground (goal: the worst frame under 2 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/graphics/pmesh.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dsceneunit.h"
#include "game/world/physic.h"
#include "game/world/physicobject.h"
#include "tools/lib/pam_writer.h"
#include "tools/lib/pof_writer.h"
#include "tools/lib/toolfile.h"

namespace {

int32_t Fx(double v)
{
    return int32_t(std::lround(v * 65536.0));
}

// A scratch directory that relative file names resolve to.
struct Scratch {
    std::string dir;
    Scratch()
    {
        char tmpl[] = "/tmp/krv_physbench_XXXXXX";
        if (::mkdtemp(tmpl))
            dir = tmpl;
        ::setenv("VORNAPP_SAVEPATH", (dir + "/").c_str(), 1);
        (void)!::system(("mkdir -p '" + dir + "/data/objects'").c_str());
    }
    ~Scratch() { (void)!::system(("rm -rf '" + dir + "'").c_str()); }
    void Put(std::string const& rel, std::vector<uint8_t> const& bytes) const
    {
        std::string err;
        WriteFileAtomic(dir + "/" + rel, bytes, &err);
    }
};

// A hill of n x n quads over size x size units, heights from a few waves.
PofMesh Hill(int n, double size, double height)
{
    PofMesh m;
    for (int j = 0; j <= n; j++)
        for (int i = 0; i <= n; i++) {
            double x = (i / double(n) - 0.5) * size, z = (j / double(n) - 0.5) * size;
            double y = height * (1 + std::sin(x * 0.7) * std::cos(z * 0.5)) / 2;
            m.positions.insert(m.positions.end(), {Fx(x), Fx(y), Fx(z)});
        }
    PofList l;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            uint32_t a = uint32_t(j * (n + 1) + i), b = a + 1, c = a + uint32_t(n) + 1, d = c + 1;
            l.indices.insert(l.indices.end(), {a, b, c, b, d, c});
        }
    m.lists.push_back(l);
    return m;
}

Scratch& Dir()
{
    static Scratch s;
    return s;
}

PMesh* Terrain()
{
    static PMesh* mesh = [] {
        Dir().Put("terrain.pof", WritePof(Hill(100, 60, 8))); // 20,000 triangles
        return PMesh::CreateFromFile("terrain.pof", nullptr, "");
    }();
    return mesh;
}

void GroundTest(benchmark::State& state)
{
    PMesh* mesh = Terrain();
    if (!mesh) {
        state.SkipWithError("the terrain mesh did not load");
        return;
    }
    std::mt19937 rng(1);
    std::uniform_int_distribution<int32_t> xz(Fx(-30), Fx(30)), y(Fx(-2), Fx(10));
    int triangles = mesh->List(0)->count / 3;
    int64_t hits = 0;
    for (auto _ : state) {
        PVector3 p(xz(rng), y(rng), xz(rng));
        hits += Physic::CountTrianglesAbove(mesh, p);
    }
    benchmark::DoNotOptimize(hits);
    state.counters["triangles/s"] =
        benchmark::Counter(double(triangles) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(GroundTest);

// A level of 24 per-polygon hills of 800 triangles, 40 collision boxes and a
// background ground; a body flying across it for 1,000 frames. The worst
// frame is printed.
struct Level {
    P3DGameEngine* engine = nullptr;
    P3DSceneUnit* unit = nullptr;
    bool Build()
    {
        Dir().Put("data/objects/hill.pof", WritePof(Hill(20, 12, 5)));
        PamScene s;
        s.meshes = {"hill"};
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> at(-90, 90);
        for (int i = 0; i < 24; i++) {
            PamModel m;
            m.flags = kPamPerPoly;
            m.tracks[0] = PamTrack::Constant(Fx(at(rng)));
            m.tracks[2] = PamTrack::Constant(Fx(at(rng)));
            m.tracks[3] = PamTrack::Constant(Fx(at(rng)));
            s.models.push_back(m);
        }
        for (int i = 0; i < 40; i++) {
            PamModel b;
            b.flags = kPamBoxColl;
            b.mesh = -1;
            b.tracks[0] = PamTrack::Constant(Fx(at(rng)));
            b.tracks[2] = PamTrack::Constant(Fx(at(rng)));
            for (auto& sz : b.size)
                sz = PamTrack::Constant(Fx(4));
            s.models.push_back(b);
        }
        PamModel ground;
        ground.flags = kPamBackground;
        ground.mesh = -1;
        s.models.push_back(ground);
        std::vector<uint8_t> bytes;
        std::string err;
        if (!PamWrite(s, &bytes, &err))
            return false;
        Dir().Put("level.pam", bytes);
        engine = P3DGameEngine::Create(nullptr, 0x10000);
        if (!engine || engine->AddSceneFromFile("level.pam", "", "data\\objects\\") != 0)
            return false;
        engine->GenerateMeshBoxes();
        engine->InitCollisionPrecalculation_allScenes();
        unit = engine->AddSceneUnit(0, 0, 0, 0, 0, 0, 0);
        return unit != nullptr;
    }
};

double WorstFrameMs(Level& level, double* mean)
{
    int32_t health = 100;
    PhysicObject body(health);
    body.SetPerPolyDetection(true);
    body.SetWingCollision(true);
    body.leftWing = PVector3(Fx(-2), 0, 0);
    body.rightWing = PVector3(Fx(2), 0, 0);
    body.AddCollisionSceneUnit(level.unit);
    Physic world;
    world.AddObject(&body);
    world.InitOptimizedCollisionSystem();
    double worst = 0, total = 0;
    for (int f = 0; f < 1000; f++) {
        body.position = PVector3(Fx(-100 + 0.2 * f), Fx(3 + 2 * std::sin(f * 0.05)), Fx(60 * std::sin(f * 0.01)));
        body.velocity = PVector3(Fx(0.2), 0, 0);
        body.yaw = Fx(f % 360);
        body.roll = Fx(30 * std::sin(f * 0.1));
        auto t0 = std::chrono::steady_clock::now();
        world.CheckCollisions(level.engine);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        worst = std::max(worst, ms);
        total += ms;
    }
    *mean = total / 1000;
    return worst;
}

void CollisionFrame(benchmark::State& state)
{
    static Level level;
    static bool built = level.Build();
    if (!built) {
        state.SkipWithError("the level did not load");
        return;
    }
    double mean = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(WorstFrameMs(level, &mean));
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(CollisionFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    // The two figures beside their goals.
    PMesh* mesh = Terrain();
    if (mesh) {
        int triangles = mesh->List(0)->count / 3;
        std::mt19937 rng(2);
        std::uniform_int_distribution<int32_t> xz(Fx(-30), Fx(30));
        int64_t hits = 0, points = 0;
        auto t0 = std::chrono::steady_clock::now();
        double s = 0;
        while (s < 1.0) {
            for (int i = 0; i < 100; i++, points++)
                hits += Physic::CountTrianglesAbove(mesh, PVector3(xz(rng), Fx(4), xz(rng)));
            s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
        benchmark::DoNotOptimize(hits);
        std::printf("ground test: %.1f million triangles/s (goal: at least 50 million)\n",
                    double(points) * triangles / s / 1e6);
    }
    Level level;
    if (level.Build()) {
        double mean = 0, worst = WorstFrameMs(level, &mean);
        std::printf("collision pass: worst frame %.3f ms, mean %.3f ms (goal: worst under 2 ms)\n", worst, mean);
    }
    benchmark::Shutdown();
    return 0;
}
