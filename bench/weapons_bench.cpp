// Weapons: whole frames of 90 homing rockets against 50 moving objects,
// each frame the motion and the hit pass, the pool refilled as rockets hit
// (goal: a frame under 3 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "game/world/gameplayobject.h"
#include "game/world/weaponsystem.h"
#include "tools/lib/was_writer.h"

namespace {

constexpr int kObjects = 50;

int32_t Fx(double v)
{
    return int32_t(std::lround(v * 65536.0));
}

struct Battle {
    WeaponSystem ws{nullptr, nullptr};
    std::vector<std::unique_ptr<GPO>> objects;
    std::vector<GPO*> list;
    GPO shooter;
    unsigned t = 1000;

    Battle()
    {
        WasRecord r;
        r.type = 2, r.life = 120, r.damage = 1, r.speed = 60000, r.hitRadius = Fx(0.5), r.groundImpact = 1;
        std::vector<uint8_t> b;
        std::string err;
        WasWrite(r, &b, &err);
        MyWeapon w;
        w.Parse(b.data(), b.size());
        ws.SetWeapons({w});
        shooter.forward = {0, 0, Fx(1)};
        shooter.SetInternalHealthRef();
        for (int i = 0; i < kObjects; i++) {
            auto g = std::make_unique<GPO>();
            g->SetInternalHealthRef();
            g->ownHealth = 1 << 30;
            g->DefineObjectType(GPO::VEHICLE);
            g->id = GPO::kIdBase + i;
            g->forward = {0, 0, Fx(-1)};
            g->position = {Fx((i % 10 - 5) * 3.0), Fx(i / 10 * 2.0), Fx(30 + i % 7)};
            list.push_back(g.get());
            objects.push_back(std::move(g));
        }
        ws.CollisionProcess(nullptr, &shooter, list.data(), kObjects, nullptr, -Fx(100), t, nullptr);
    }

    void Frame()
    {
        t += 25;
        mycoolparticle* second = nullptr;
        while (ws.GetNextFreeParticle()) {
            shooter.reloadTimer = 0;
            ws.Fire(0, &shooter, list.data(), kObjects, 0, second);
        }
        for (int i = 0; i < kObjects; i++)
            objects[size_t(i)]->position.x += (i & 1) ? 300 : -300;
        ws.MoveParticles(-Fx(100), nullptr, nullptr, nullptr);
        ws.CollisionProcess(nullptr, &shooter, list.data(), kObjects, nullptr, -Fx(100), t, nullptr);
    }
};

void RocketFrame(benchmark::State& state)
{
    Battle battle;
    double worst = 0, total = 0;
    long frames = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        battle.Frame();
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        worst = std::max(worst, ms);
        total += ms;
        frames++;
    }
    state.counters["worst ms"] = worst;
    std::printf("90 rockets against %d objects: mean frame %.4f ms, worst %.3f ms over %ld frames (goal: under 3 ms)\n",
                kObjects, frames ? total / double(frames) : 0.0, worst, frames);
}
BENCHMARK(RocketFrame);

} // namespace

BENCHMARK_MAIN();
