// AI steps on bare objects: the ceiling, path wrap and stop, and when an
// anti-aircraft gun engages.
#include <gtest/gtest.h>

#include "game/world/gameplayobject.h"

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

} // namespace
