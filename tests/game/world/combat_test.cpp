// Combat on small written scenes, judged by what a player would see: homing
// rockets and torpedoes hit, a bomber bombs its target, a convoy drives its
// route and leaves a wake, an AI fighter shoots the player down and keeps out
// of a hill, a rocket bursts on a hill's face, a bomb's splash kills a flak
// gun (on a hill too), and a match aircraft's game-play object stays with the
// aircraft.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "game/world/wave.h"
#include "game/world/weaponsystem.h"
#include "tests/game/world/world_fixture.h"
#include "tools/lib/was_writer.h"

namespace {

using namespace worldtest;

constexpr unsigned kFrameMs = 25;
constexpr int32_t kDeepFloor = -50 * 0x10000; // far below everything: no ground contact
constexpr int32_t kSeaFloor = -19660; // the water surface (floor + 0.3) at 0
constexpr int32_t kTargetStep = WeaponSystem::kDefaultTargetSpeed; // a crossing target's way per frame

MyWeapon Record(WasRecord const& r)
{
    std::vector<uint8_t> b;
    std::string err;
    EXPECT_TRUE(WasWrite(r, &b, &err)) << err;
    MyWeapon w;
    EXPECT_TRUE(w.Parse(b.data(), b.size()));
    return w;
}

// The weapon ids of the scene's records.
enum { kRocket, kTorpedo, kBomb, kGun };

std::vector<MyWeapon> Arsenal()
{
    WasRecord rocket, torpedo, bomb, gun;
    rocket.type = 2, rocket.life = 60, rocket.damage = 30, rocket.groundImpact = 1, rocket.reloadMs = 1500;
    rocket.speed = 140000, rocket.hitRadius = Fx(1.2), rocket.gravity = Fx(0.002);
    torpedo.type = 3, torpedo.life = 240, torpedo.damage = 60, torpedo.groundImpact = 1, torpedo.reloadMs = 2550;
    torpedo.speed = 26000, torpedo.hitRadius = Fx(1.5), torpedo.gravity = Fx(0.01);
    bomb.type = 1, bomb.life = 200, bomb.damage = 60, bomb.groundImpact = 1, bomb.reloadMs = 1500;
    bomb.speed = 40000, bomb.hitRadius = Fx(2), bomb.gravity = Fx(0.008), bomb.muzzleDown = Fx(6);
    gun.type = 0, gun.life = 30, gun.damage = 10, gun.reloadMs = 200, gun.speed = 190000, gun.hitRadius = Fx(1);
    return {Record(rocket), Record(torpedo), Record(bomb), Record(gun)};
}

// A battle: the mission's objects (ids by their place in the list), the AI
// aircraft among them, a weapon system with the arsenal and the clock.
struct Battle {
    WeaponSystem ws{nullptr, nullptr};
    std::vector<std::unique_ptr<GPO>> owned;
    std::vector<GPO*> list;
    std::vector<std::unique_ptr<std::array<int32_t, 6>>> values;
    std::vector<std::unique_ptr<MyAirplane>> planes;
    unsigned t = 1000;

    Battle() { ws.SetWeapons(Arsenal()); }

    GPO* Add(GPO::OBJECT_TYPE kind, GPO::SIDE side, PVector3 at)
    {
        owned.push_back(std::make_unique<GPO>());
        GPO* g = owned.back().get();
        g->SetInternalHealthRef();
        g->DefineObjectType(kind);
        g->SetSide(side);
        g->position = at;
        g->id = GPO::kIdBase + int32_t(list.size());
        list.push_back(g);
        return g;
    }
    // An object whose six values live outside it, as the scene's do.
    GPO* AddBound(GPO::OBJECT_TYPE kind, GPO::SIDE side, PVector3 at, int32_t yaw = 0)
    {
        GPO* g = Add(kind, side, at);
        values.push_back(std::make_unique<std::array<int32_t, 6>>(std::array<int32_t, 6>{at.x, at.y, at.z, 0, yaw, 0}));
        auto& v = *values.back();
        g->SetVectorRef(v[0], v[1], v[2], v[3], v[4], v[5]);
        return g;
    }
    // An aircraft flown by the AI toward its objective's target.
    GPO* AddPilot(GPO::BEHAVIOUR b, PVector3 at, int32_t yaw, GPO* target, int weapon)
    {
        GPO* g = AddBound(GPO::PLANE, GPO::ENEMY, at, yaw);
        g->AI_SetBehaviour(b);
        Objective o;
        o.target = target;
        g->AI_AddObjective(&o);
        g->AddWeaponAvailable(int8_t(weapon), -1);
        g->SetCurrentWeapon(0);
        Fly(g, at, yaw);
        return g;
    }
    MyAirplane* Fly(GPO* g, PVector3 at, int32_t yaw)
    {
        planes.push_back(std::make_unique<MyAirplane>(nullptr, nullptr));
        MyAirplane* a = planes.back().get();
        a->Init(0);
        a->position = a->displayedPosition = at;
        a->angles = {0, yaw, 0};
        a->health = GPO::kFullHealth;
        a->netId = g->id;
        a->gpo = g;
        g->aircraft = a;
        g->SetHealthRef(a->health);
        return a;
    }
    // One frame of play: the AI steps, then the projectiles move and hit.
    void Frame(GPO* player = nullptr, int32_t floor = kDeepFloor, P3DGameEngine* engine = nullptr,
               P3DAnim* level = nullptr)
    {
        for (GPO* g : list)
            if (g->aiBehaviour != GPO::BEH_NONE || g->pathOn) {
                g->AI_Process(engine, level, floor, t);
                g->AI_ShootManager(&ws, kFrameMs);
            }
        ws.MoveParticles(floor, nullptr, nullptr, nullptr);
        ws.CollisionProcess(engine, player, list.data(), int(list.size()), level, floor, t, nullptr);
        t += kFrameMs;
    }
};

TEST(Combat, HomingRocketsAndTorpediesHitStillAndCrossingTargets)
{
    struct Case {
        int weapon;
        double height; // the shooter's, over the target
        bool crossing;
    } const cases[] = {{kRocket, 1, false}, {kRocket, 1, true}, {kTorpedo, 0.5, false}, {kTorpedo, 0.5, true}};
    for (Case const& c : cases) {
        Battle b;
        GPO* shooter = b.Add(GPO::VEHICLE, GPO::ENEMY, {0, Fx(c.height), 0});
        shooter->forward = {0, 0, Fx(1)};
        GPO* target = b.Add(GPO::VEHICLE, GPO::FRIENDLY, {0, 0, Fx(20)});
        target->forward = {Fx(1), 0, 0};
        int32_t floor = c.weapon == kTorpedo ? kSeaFloor : kDeepFloor;
        b.ws.frameTime = kFrameMs;
        mycoolparticle* second = nullptr;
        mycoolparticle* p = b.ws.Fire(uint8_t(c.weapon), shooter, b.list.data(), 2, 0, second);
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->target, target) << c.weapon;
        for (int f = 0; f < 300 && p->life > 0; f++) {
            if (c.crossing)
                target->position.x += kTargetStep;
            b.ws.MoveParticles(floor, nullptr, nullptr, nullptr);
            b.ws.CollisionProcess(nullptr, nullptr, b.list.data(), 2, nullptr, floor, b.t += kFrameMs, nullptr);
        }
        EXPECT_LT(target->GetEnergy(), GPO::kFullHealth) << "weapon " << c.weapon << " crossing " << c.crossing;
    }
}

TEST(Combat, BomberDestroysItsGroundTarget)
{
    for (GPO::OBJECT_TYPE kind : {GPO::VEHICLE, GPO::GROUND_AA}) {
        Battle b;
        GPO* target = b.Add(kind, GPO::FRIENDLY, {0, 0, 0});
        GPO* bomber = b.AddPilot(GPO::BOMBER, {0, Fx(8), Fx(-40)}, Fx(180), target, kBomb);
        int shots = 0;
        for (int f = 0; f < 8000 && target->GetEnergy() > 0; f++) {
            b.Frame(nullptr, 0);
            shots += bomber->reloadTimer == 1;
        }
        EXPECT_GT(shots, 0) << kind;
        EXPECT_EQ(target->GetEnergy(), 0) << kind;
    }
}

TEST(Combat, FighterClosesInAndShootsThePlayerDown)
{
    Battle b;
    GPO player;
    MyAirplane me(nullptr, nullptr);
    me.Init(1);
    me.health = GPO::kFullHealth;
    me.position = {Fx(10), Fx(20), Fx(30)};
    player.position = me.position;
    player.aircraft = &me;
    me.gpo = &player;
    player.SetHealthRef(me.health);
    player.DefineObjectType(GPO::PLANE);
    player.SetSide(GPO::FRIENDLY);
    GPO* fighter = b.AddPilot(GPO::FIGHTER, {Fx(-30), Fx(20), Fx(-30)}, Fx(90), &player, kGun);
    int32_t closest = INT32_MAX;
    for (int f = 0; f < 4000 && me.health > 0; f++) {
        b.Frame(&player);
        closest = std::min(closest, PVector3::DistanceSafe(fighter->position, me.position));
    }
    EXPECT_LT(closest, Fx(50)); // it came into range
    EXPECT_LE(me.health, 0);
    EXPECT_EQ(me.state, MyAirplane::kStateExploding);
}

TEST(Combat, BombSplashKillsFlakThroughItsArmour)
{
    struct Case {
        GPO::OBJECT_TYPE kind;
        double distance;
        int armour;
        int health;
    } const cases[] = {
        {GPO::GROUND_AA, 2, 40, 0},     // armour does not soften the splash
        {GPO::GROUND_AA, 3.5, 0, 0},
        {GPO::GROUND_AA, 6, 40, 100},   // out of its reach
        {GPO::VEHICLE, 2, 0, 100},      // only anti-aircraft guns
    };
    for (Case const& c : cases) {
        Battle b;
        GPO* bomber = b.Add(GPO::PLANE, GPO::ENEMY, {0, Fx(10), 0});
        GPO* gun = b.Add(c.kind, GPO::FRIENDLY, {Fx(c.distance), 0, 0});
        gun->SetArmor(uint8_t(c.armour));
        mycoolparticle& p = b.ws.particles[0];
        p.weapon = kBomb, p.life = 50, p.owner = bomber->id;
        p.position = {0, Fx(0.5), 0};
        p.velocity = {0, -Fx(0.2), 0};
        for (int f = 0; f < 20; f++)
            b.Frame(nullptr, 0);
        EXPECT_EQ(p.life, 0);
        EXPECT_EQ(gun->GetEnergy(), c.health) << c.kind << " at " << c.distance;
    }
}

// A level written for the AI: a route for a convoy along x and, with a
// hill, a closed box mesh with per-polygon collision standing at z = 20.
struct Level {
    DataDir dir;
    std::unique_ptr<P3DGameEngine> engine;
    P3DAnim* scene = nullptr;
    explicit Level(bool hill)
    {
        PamScene s;
        PamNull route;
        route.name = "Convoy";
        route.tracks[0].keys = {{0, 0}, {100, Fx(50)}};
        s.nulls.push_back(route);
        if (hill) {
            dir.Put("data/objects/hill.pof", WritePof(Box(12, 15, 3).Pof()));
            s.meshes = {"hill"};
            PamModel m;
            m.flags = kPamPerPoly | kPamStatic;
            m.mesh = 0;
            m.tracks[2] = PamTrack::Constant(Fx(20));
            s.models = {m};
            s.areas = true;
            s.areaSize = Fx(16);
        }
        dir.PutScene("level.pam", s);
        engine.reset(P3DGameEngine::Create(nullptr, 0x10000));
        EXPECT_EQ(0, engine->AddSceneFromFile("level.pam", "", "data\\objects\\"));
        engine->GenerateMeshBoxes();
        scene = engine->GetAnimationPtr(0);
    }
};

TEST(Combat, ConvoyAdvancesAlongItsRoute)
{
    Level level(false);
    Battle b;
    GPO* convoy = b.Add(GPO::VEHICLE, GPO::FRIENDLY, {});
    convoy->DefineTypeName("Convoy");
    convoy->DefineIDNone(true);
    ASSERT_EQ(convoy->GenerateFromLevel(level.engine.get(), level.scene), 1);
    convoy->AI_SetFollowPath(true, 0, 100, 25, true);
    std::vector<int32_t> xs;
    for (int f = 0; f < 200; f++) {
        b.Frame(nullptr, kDeepFloor, level.engine.get(), level.scene);
        if (f % 40 == 0)
            xs.push_back(convoy->GetPosition().x);
    }
    for (size_t i = 1; i + 1 < xs.size(); i++)
        EXPECT_GT(xs[i], xs[i - 1]) << i; // it keeps driving
    EXPECT_NEAR(convoy->GetPosition().x, Fx(50), Fx(1)); // and stops at the route's end
}

// A boat on its route leaves a wake behind it while the camera is near; far
// from the camera it leaves none.
TEST(Combat, BoatOnItsRouteLeavesAWakeNearTheCamera)
{
    for (int32_t cameraDistance : {0, Fx(100)}) {
        Level level(false);
        level.engine->cameraPlane = {0, 0, 0, cameraDistance};
        Battle b;
        GPO* boat = b.Add(GPO::VEHICLE, GPO::FRIENDLY, {});
        boat->DefineTypeName("Convoy");
        boat->DefineIDNone(true);
        ASSERT_EQ(boat->GenerateFromLevel(level.engine.get(), level.scene), 1);
        boat->AI_SetFollowPath(true, 0, 100, 25, true);
        boat->AddWaveFx(nullptr, nullptr, Fx(1));
        for (int f = 0; f < 60; f++)
            b.Frame(nullptr, 0, level.engine.get(), level.scene);
        std::vector<int32_t> marks;
        for (WaveElement const& e : boat->wake->elements)
            if (e.life > 0)
                marks.push_back(e.x);
        if (cameraDistance > 0) {
            EXPECT_TRUE(marks.empty());
            continue;
        }
        ASSERT_GE(marks.size(), 2u);
        for (size_t i = 1; i < marks.size(); i++)
            EXPECT_GT(marks[i], marks[i - 1]) << i; // dropped along the way it went
        EXPECT_LE(marks.back(), boat->GetPosition().x + Fx(1));
    }
}

// A rocket flying at a hill bursts on its face; with the hill taken out of
// play it flies on through where the hill was.
TEST(Combat, RocketBurstsOnAHillFace)
{
    for (bool hidden : {false, true}) {
        Level level(true);
        level.scene->models[0]->hidden = hidden;
        Battle b;
        b.ws.InitExplosionsSystem(4, nullptr);
        mycoolparticle& p = b.ws.particles[0];
        p.weapon = kRocket, p.life = 40, p.owner = GPO::kIdBase;
        p.position = {0, Fx(4), 0};
        p.velocity = {0, 0, Fx(1)};
        int32_t lastZ = 0;
        for (int f = 0; f < 39 && p.life > 0; f++) {
            // The frame's drawing keeps the level's clip area at the view.
            level.scene->SetCurrentModelClipAreaByGlobalPos(p.position.x, p.position.y, p.position.z);
            lastZ = p.position.z;
            b.ws.MoveParticles(kDeepFloor, nullptr, nullptr, level.scene);
            b.ws.CollisionProcess(level.engine.get(), nullptr, b.list.data(), 0, level.scene, kDeepFloor,
                                  b.t += kFrameMs, nullptr);
        }
        if (hidden) {
            EXPECT_GT(lastZ, Fx(23));
            EXPECT_EQ(b.ws.ExplosionsInUse(), 0);
            continue;
        }
        EXPECT_EQ(p.life, 0);
        EXPECT_EQ(b.ws.ExplosionsInUse(), 1);
        EXPECT_GT(p.position.z, Fx(17)); // at the face, not short of it
        EXPECT_LE(p.position.z, Fx(18)); // nor deep inside
    }
}

// An object on a null point that rides on a moving model (a gun on a
// ship) is where the point is drawn, not at its own offset.
TEST(Combat, ObjectOnALinkedPointIsWhereThePointIsDrawn)
{
    DataDir dir;
    dir.Put("data/objects/ship.pof", WritePof(Box(1, 1, 1).Pof()));
    PamScene s;
    s.meshes = {"ship"};
    PamModel ship;
    ship.mesh = 0;
    ship.tracks[0] = PamTrack::Constant(Fx(30));
    s.models = {ship};
    PamNull gun;
    gun.name = "Gun";
    gun.link = 0;
    gun.tracks[1] = PamTrack::Constant(Fx(2));
    s.nulls = {gun};
    dir.PutScene("level.pam", s);
    std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
    ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", "data\\objects\\"));
    GPO g;
    g.DefineTypeName("Gun");
    g.DefineIDNone(true);
    ASSERT_EQ(g.GenerateFromLevel(engine.get(), engine->GetAnimationPtr(0)), 1);
    // The object keeps its point in free drawing, which the scene draws at the
    // point's own values, not carried by the model it is linked to.
    EXPECT_EQ(g.GetPosition(), PVector3(0, Fx(2), 0));
    engine->GetAnimationPtr(0)->nulls[0]->SetFreeDrawing(false);
    EXPECT_EQ(g.GetPosition(), PVector3(Fx(30), Fx(2), 0));
}

// A bomb bursts where it meets a ground model, high above the floor: a gun
// on the hill's top is silenced; beside the hill the bomb falls on.
TEST(Combat, BombBurstsOnTheHillTop)
{
    Level level(true);
    for (double x : {2.0, 20.0}) {
        Battle b;
        GPO* bomber = b.Add(GPO::PLANE, GPO::ENEMY, {0, Fx(30), 0});
        GPO* gun = b.Add(GPO::GROUND_AA, GPO::FRIENDLY, {Fx(x + 1), Fx(15), Fx(21.5)});
        mycoolparticle& p = b.ws.particles[0];
        p.weapon = kBomb, p.life = 200, p.owner = bomber->id;
        p.position = {Fx(x), Fx(25), Fx(21.5)};
        p.velocity = {0, -Fx(0.2), 0};
        // The frame's drawing sets the current area, as the game does.
        level.scene->SetCurrentModelClipAreaByGlobalPos(p.position.x, p.position.y, p.position.z);
        for (int f = 0; f < 80; f++)
            b.Frame(nullptr, kDeepFloor, level.engine.get(), level.scene);
        EXPECT_EQ(p.life == 0, x < 12) << x;
        EXPECT_EQ(gun->GetEnergy(), x < 12 ? 0 : 100) << x;
        if (x < 12) {
            EXPECT_GT(p.position.y, Fx(13)); // on the top, not inside the hill
        }
    }
}

TEST(Combat, AiAircraftTurnsAwayFromAHillInsteadOfEnteringIt)
{
    Level level(true);
    Battle b;
    GPO* beyond = b.Add(GPO::VEHICLE, GPO::FRIENDLY, {0, Fx(4), Fx(60)});
    GPO* pilot = b.AddPilot(GPO::FIGHTER, {0, Fx(4), Fx(2)}, Fx(180), beyond, kGun);
    pilot->ammo[0] = 0; // no shooting: only the flying matters here
    int inside = 0, dangers = 0;
    bool passed = false;
    for (int f = 0; f < 600; f++) {
        b.Frame(nullptr, kDeepFloor, level.engine.get(), level.scene);
        PVector3 at = pilot->GetPosition();
        bool in = at.z > Fx(17) && at.z < Fx(23) && at.y < Fx(15) && at.x > -Fx(12) && at.x < Fx(12);
        inside = in ? inside + 1 : 0;
        dangers += in;
        passed |= at.z >= Fx(23) && at.y < Fx(15);
        ASSERT_LE(inside, 1) << "frame " << f; // pushed out on the frame it touches
    }
    EXPECT_GT(dangers, 0); // it did head into the hill
    EXPECT_FALSE(passed);  // and never came out on the far side through it
}

TEST(Combat, MatchAircraftKeepItsGameplayObjectInStep)
{
    GPO g;
    g.SetInternalHealthRef();
    g.ownHealth = 0;
    MyAirplane a(nullptr, nullptr);
    a.Init(0);
    a.gpo = &g;
    g.aircraft = &a;
    a.remoteActive = 1;
    a.throttle = 60;
    a.previousNetPosition = {0, Fx(10), 0};
    a.position = {Fx(8), Fx(10), Fx(2)};
    a.angles = {0, Fx(90), Fx(20)};
    a.displayedPosition = a.previousNetPosition;
    unsigned t = 5000;
    a.netTimeBefore = t - 30, a.netTime = t, a.newState = 1;
    for (int f = 0; f < 40; f++) {
        a.Move_Multiplayer(t += kFrameMs);
        ASSERT_EQ(g.GetPosition(), a.displayedPosition) << f;
    }
    EXPECT_NE(a.displayedPosition, a.previousNetPosition); // it did move
    EXPECT_NE(g.rotation, PVector3());

    a.SetSpawnPoint({Fx(-5), Fx(12), Fx(7)}, {0, Fx(45), 0});
    a.Respawn(GPO::kFullHealth, t);
    EXPECT_EQ(g.GetPosition(), PVector3(Fx(-5), Fx(12), Fx(7)));
    EXPECT_EQ(g.rotation, PVector3(0, Fx(45), 0));
    EXPECT_EQ(g.GetEnergy(), GPO::kFullHealth);
}

} // namespace
