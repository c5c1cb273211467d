// The host's account of shots in flight: what a shot and a hit cost the
// match rules with a player's book full (90 shots, the worst scan), and
// what a shot message and a damage message cost the session from their
// bytes (decoded, judged, counted, applied) on the in-memory network. The
// memory the account takes is printed beside.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "game/multiplayer/matchrules.h"
#include "game/world/myairplane.h"
#include "game/world/weaponsystem.h"
#include "tests/game/multiplayer/matchrig.h"

namespace {

// A host's rules for four players, every book full of machine-gun bullets
// and rockets lapsing at different moments.
struct Rules {
    MatchRules r;
    std::vector<std::unique_ptr<MyAirplane>> planes;
    Rules()
    {
        r.host = true;
        r.weapons = {{MyWeapon::kShot, 4, 28, 1}, {MyWeapon::kRocket, 35, 50, 1}};
        for (int i = 0; i < 4; ++i) {
            planes.push_back(std::make_unique<MyAirplane>(nullptr, nullptr));
            planes.back()->health = 1 << 30;
            r.players.push_back({i, MatchState::Playing, 0, 0, planes.back().get()});
        }
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < ShotBook::kCapacity; ++k) {
                r.clock = uint32_t(k);
                r.ShotFired(i, k % 2, 28);
            }
    }
};

// A shot into a full book, then a rocket's hit it pays for: the two scans
// of 90 a message at the host.
void ShotThenHitFullBook(benchmark::State& state)
{
    Rules m;
    uint32_t t = 100;
    for (auto _ : state) {
        m.r.clock = ++t;
        m.r.ShotFired(1, 1, 50);
        benchmark::DoNotOptimize(m.r.TakeDamage(0, 1, 35));
    }
    state.counters["book_bytes"] = double(sizeof(ShotBook));
    state.counters["rules_bytes"] = double(sizeof(MatchRules));
}
BENCHMARK(ShotThenHitFullBook);

// The session of a host in a running three-player match takes a guest's
// machine-gun shot and then its hit, each from the message's bytes, with
// the guest's book holding range(0) rockets in flight besides (89: full).
void SessionShotAndHit(benchmark::State& state)
{
    rig::Driver d(3);
    if (!d.StartMatch(0)) {
        state.SkipWithError("the match did not start");
        return;
    }
    KrvMpConn& host = d.peers[0]->s;
    const std::vector<uint8_t> shot = rig::ShotBytes(1, rig::FakeMatch::kMachineGun);
    GameMessage hit;
    hit.type = MsgType::DamageRequest;
    hit.damage = 4, hit.target = 2, hit.attacker = 1;
    uint8_t bytes[16];
    const int n = hit.Encode(bytes, int(sizeof bytes));
    const std::vector<uint8_t> rocket = rig::ShotBytes(1, rig::FakeMatch::kRocket);
    for (int i = 0; i < state.range(0); ++i)
        host.HandleMessage(rocket.data(), int(rocket.size()), 1);
    // The victim takes the hits without dying.
    MyAirplane* victim = host.MP_GetPlayer(2)->gameObject->aircraft;
    for (auto _ : state) {
        victim->health = 100;
        host.HandleMessage(shot.data(), int(shot.size()), 1);
        host.HandleMessage(bytes, n, 1);
        d.peers[0]->game.shots.clear();  // the stand-in keeps every shot it is given
    }
    state.counters["in_flight"] = double(host.ShotsInFlight(1));
}
BENCHMARK(SessionShotAndHit)->Arg(0)->Arg(ShotBook::kCapacity - 1);

}  // namespace
