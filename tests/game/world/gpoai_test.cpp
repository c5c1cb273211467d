// AI steps on bare objects: the ceiling, path wrap and stop, and when an
// anti-aircraft gun engages; the level-of-detail bands of plugged meshes
// and the pitch acceleration of the flight model's steering modes.
#include <gtest/gtest.h>

#include <memory>

#include "game/scene/p3dgameengine.h"
#include "game/world/command.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "tests/game/world/world_fixture.h"

namespace {

constexpr int32_t F = 0x10000;

struct Bound {
    int32_t x = 0, y = 0, z = 0, p = 0, yw = 0, r = 0;
    GPO g;
    Bound() { g.SetVectorRef(x, y, z, p, yw, r); }
};

TEST(GpoAi, PathAdvancesWrapsStopsAndStandsStill)
{
    struct Case { int speed; bool stop; int32_t from; unsigned elapsed; int32_t want; };
    Case const cases[] = {
        {10, false, 0, 100, 1},    // one frame per 100 ms
        {10, false, 0, 199, 1},    // the remainder is dropped
        {10, false, 99, 200, 1},   // wraps past the end to the start
        {10, true, 99, 500, 100},  // stops at the end
        {0, false, 5, 5000, 5},    // speed 0 stands still
    };
    for (Case const& c : cases) {
        GPO g;
        g.AI_SetFollowPath(true, 0, 100, c.speed, c.stop);
        g.pathPosition = c.from;
        g.AI_ProcessPathFollow(1000);
        g.AI_ProcessPathFollow(1000 + c.elapsed);
        EXPECT_EQ(g.pathPosition, c.want) << c.speed << " " << c.from << " " << c.elapsed;
    }
}

TEST(GpoAi, AntiAircraftEngagement)
{
    struct Case { int32_t dy, dx; bool want; };
    Case const cases[] = {{F / 2, 0, false}, {5 * F, 10 * F, true}, {5 * F, 30 * F, false}, {-5 * F, 1 * F, false}};
    for (Case const& c : cases) {
        GPO gun, t;
        t.position = {c.dx, c.dy, 0};
        EXPECT_EQ(gun.AI_AntiAirAiming(&t), c.want) << c.dy << " " << c.dx;
    }
}

TEST(GpoAi, CeilingAndTurnBitsWithoutAircraft)
{
    Bound b;
    b.y = 61 * F;
    b.g.AI_AutoDirectionFind(0, 0, 10 * F, 0);
    EXPECT_EQ(b.y, 60 * F); // held at the ceiling
    Bound far;
    far.g.AI_AutoDirectionFind(75 * F, 0, 0, 0);
    EXPECT_EQ(far.r, 0);
    EXPECT_EQ(far.yw, 90 * F + 180 * F); // snapped to face a target beyond the limit
}

// Out of the play area (the session's check says so) an aircraft turns back
// toward the middle, with the wider limit of 250.0.
TEST(GpoAi, OutOfBoundsAircraftTurnsBackToTheMiddle)
{
    struct Case { bool out; int32_t x; int32_t wantYaw; };
    Case const cases[] = {
        {true, 300 * F, 270 * F + 180 * F},  // beyond 250.0 from home: snaps to face it
        {false, 300 * F, 90 * F + 180 * F},  // inside: toward its own target (75.0 away on x)
    };
    for (Case const& c : cases) {
        Bound b;
        b.x = c.x, b.z = F;
        MyAirplane a(nullptr, nullptr);
        a.Init(0);
        b.g.aircraft = &a;
        GPO::BoundsCheckFn const saved = GPO::boundsCheck;
        GPO::boundsCheck = c.out ? GPO::BoundsCheckFn([](MyAirplane*, int) { return 1; }) : nullptr;
        b.g.AI_AutoDirectionFind(c.x + 75 * F, 0, F, 0);
        GPO::boundsCheck = saved;
        auto turn = [](int64_t a) { return ((a % (360 * F)) + 360 * F) % (360 * F); };
        EXPECT_EQ(turn(b.g.aircraft->angles.y), turn(c.wantYaw)) << c.out;
    }
}

TEST(GpoAi, PluggedLevelOfDetailBands)
{
    struct Case { int32_t lod; int entries; int32_t d; int want; };
    Case const cases[] = {
        {10 * F, 3, 5 * F, 0},  {10 * F, 3, 15 * F, 1}, {10 * F, 3, 25 * F, 2}, {10 * F, 3, 99 * F, 2},
        {0, 3, 5 * F, 2},       // no distance: no bands, the last entry
        {-F, 3, 5 * F, 2},      {0, 1, 5 * F, 0},       {10 * F, 3, -3 * F, -1}, // behind the camera
    };
    for (Case const& c : cases) {
        GPO g;
        g.boundingRadius = 2 * F;
        g.lodDistance = c.lod;
        for (int i = 0; i < c.entries; i++)
            g.AddPlugModelIndex(uint16_t(i));
        EXPECT_EQ(g.PluggedLodFor(c.d), c.want) << c.lod << " " << c.entries << " " << c.d;
    }
    // A level whose mesh does not load keeps its place in a command's list.
    worldtest::DataDir dir;
    for (char const* n : {"box", "box_d2"})
        dir.Put(std::string("data/objects/") + n + ".pof", WritePof(worldtest::Box(1, 1, 1).Pof()));
    std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
    Command c;
    c.LoadPlugModel(engine.get(), "box", "data\\objects\\", "", "_d", 2, 10);
    ASSERT_EQ(c.plugMeshes.size(), 3u);
    uint16_t missing = c.plugMeshes[1];
    EXPECT_TRUE(missing >= engine->meshCount || !engine->meshes[missing]) << missing;
    EXPECT_EQ(c.plugMeshes[2], engine->GetMeshIndexByName("box_d2"));
}

TEST(GpoAi, PitchAccelerationIsSetOnlyWhileThePitchIsPulled)
{
    struct Case { unsigned char flags, mode; int32_t want; };
    Case const cases[] = {
        {0, 1, 12345}, {0, 0, 12345},                                    // kept
        {MyAirplane::kPitchUp, 1, 170800}, {MyAirplane::kPitchDown, 0, 85400},
    };
    for (Case const& c : cases) {
        MyAirplane a(nullptr, nullptr);
        a.Init(0);
        a.pitchAccel = 12345;
        PVector3 angles;
        a.Rotate(&angles, c.flags, 1000, c.mode);
        EXPECT_EQ(a.pitchAccel, c.want) << int(c.flags) << " " << int(c.mode);
    }
}

} // namespace
