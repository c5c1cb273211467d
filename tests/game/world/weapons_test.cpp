// Weapons: records read back from the tools' writer, homing cones, burst
// fall-off, the full pool, friendly fire and indices that name no record;
// the game-play object's damage and rearm rules they depend on; a burst and
// shots drawn on Mesa and the software renderer, with their own texture.
#include <gtest/gtest.h>

#include <GLES/gl.h>

#include <cmath>
#include <cstdlib>

#include "engine/graphics/ptexturemanager.h"
#include "game/world/gameplayobject.h"
#include "game/world/weaponsystem.h"
#include "tests/game/world/world_fixture.h"
#include "tools/lib/was_writer.h"

namespace {

using namespace worldtest;

MyWeapon Record(WasRecord const& r)
{
    std::vector<uint8_t> b;
    std::string err;
    EXPECT_TRUE(WasWrite(r, &b, &err)) << err;
    MyWeapon w;
    EXPECT_TRUE(w.Parse(b.data(), b.size()));
    return w;
}

WasRecord Shot(int speed = 40000, int life = 50)
{
    WasRecord r;
    r.type = 0, r.life = life, r.damage = 10, r.speed = speed, r.hitRadius = Fx(1), r.reloadMs = 250;
    return r;
}

// The drawing tests' frame.
constexpr int kW = 128, kH = 128;

// The view turned by pitch, then yaw (degrees).
void TurnedView(P3D* gl, int pitch, int yaw)
{
    OrthoView(gl, kW, kH);
    gl->glRotatex(Fx(pitch), 0x10000, 0, 0);
    gl->glRotatex(Fx(yaw), 0, 0x10000, 0);
}

struct Scene {
    GPO shooter, a, b;
    GPO* list[3] = {&shooter, &a, &b};
    Scene()
    {
        for (GPO* g : list) {
            g->SetInternalHealthRef();
            g->DefineObjectType(GPO::VEHICLE);
        }
        shooter.position = {0, 0, Fx(-1)};
        shooter.forward = {0, 0, Fx(1)};
        shooter.id = GPO::kIdBase;
        a.id = GPO::kIdBase + 1, b.id = GPO::kIdBase + 2;
    }
    static PVector3 At(double degrees, double dist)
    {
        double r = degrees * M_PI / 180;
        return {Fx(dist * std::sin(r)), 0, Fx(dist * std::cos(r))};
    }
};

TEST(WeaponRecords, ReadBackAndRefused)
{
    WasRecord r = Shot();
    r.frames.push_back({1, 2, 3, 4, 5, 6, 7, 8});
    r.pair = 1, r.quadWidth = Fx(3), r.quadHeight = -Fx(1);
    MyWeapon w = Record(r);
    EXPECT_EQ(w.reload, 250);
    EXPECT_EQ(w.Frame(0)[7], 8);
    EXPECT_EQ(w.quad[0], Fx(1.5));
    EXPECT_EQ(w.quad[1], -Fx(0.5));
    r.reloadMs = 0;
    EXPECT_EQ(Record(r).reload, 1);
    r.frames.clear();
    EXPECT_EQ(Record(r).Frame(0)[2], 0); // a shot without frames takes the whole texture
    EXPECT_EQ(Record(r).Frame(0)[3], Fx(1));

    std::vector<uint8_t> b;
    std::string err;
    r.frames.push_back({});
    ASSERT_TRUE(WasWrite(r, &b, &err));
    struct Case {
        size_t size;
        int type;
    } bad[] = {{56, 0}, {b.size() - 1, 0}, {b.size(), 5}};
    for (Case c : bad) {
        std::vector<uint8_t> x = b;
        x[4] = uint8_t(c.type);
        EXPECT_FALSE(MyWeapon().Parse(x.data(), c.size)) << c.size << " " << c.type;
    }
    // Description text round trip.
    WasRecord back;
    EXPECT_TRUE(WasParseText(WasFormatText(r), &back, &err)) << err;
    EXPECT_EQ(back, r);
}

// The motion values a record may hold: the writer and the reader accept the
// ends of each range and refuse one step beyond them.
TEST(WeaponRecords, MotionValuesOutsideTheirRangesAreRefused)
{
    struct Case {
        int32_t WasRecord::*field;
        int32_t low, high;
    } const cases[] = {
        {&WasRecord::hitRadius, 0, MyWeapon::kMaxHitRadius},
        {&WasRecord::speed, 0, MyWeapon::kMaxSpeed},
        {&WasRecord::drift, -MyWeapon::kMaxDrift, MyWeapon::kMaxDrift},
        {&WasRecord::gravity, -MyWeapon::kMaxGravity, MyWeapon::kMaxGravity},
        {&WasRecord::muzzleSide, -MyWeapon::kMaxMuzzleOffset, MyWeapon::kMaxMuzzleOffset},
        {&WasRecord::muzzleDown, -MyWeapon::kMaxMuzzleOffset, MyWeapon::kMaxMuzzleOffset},
        {&WasRecord::quadWidth, -MyWeapon::kMaxQuadSize, MyWeapon::kMaxQuadSize},
        {&WasRecord::quadHeight, -MyWeapon::kMaxQuadSize, MyWeapon::kMaxQuadSize},
    };
    int k = 0;
    for (Case const& c : cases) {
        for (int32_t v : {c.low, c.high, c.low - 1, c.high + 1}) {
            bool inside = v >= c.low && v <= c.high;
            WasRecord r = Shot();
            r.*c.field = v;
            std::vector<uint8_t> b;
            std::string err;
            EXPECT_EQ(WasWrite(r, &b, &err), inside) << k << " " << v;
            // The same bytes with the value forced in: the reader agrees.
            WasRecord plain = Shot();
            ASSERT_TRUE(WasWrite(plain, &b, &err));
            int32_t fields[10] = {0, plain.hitRadius, plain.speed, plain.drift, 0, plain.gravity,
                                  plain.muzzleSide, plain.muzzleDown, plain.quadWidth, plain.quadHeight};
            int slot[] = {1, 2, 3, 5, 6, 7, 8, 9};
            fields[slot[k]] = v;
            for (int i = 0; i < 10; i++)
                for (int j = 0; j < 4; j++)
                    b[size_t(17 + 4 * i + j)] = uint8_t(uint32_t(fields[i]) >> (8 * j));
            EXPECT_EQ(MyWeapon().Parse(b.data(), b.size()), inside ? 1 : 0) << k << " " << v;
        }
        k++;
    }
}

// A 77-byte burst record whose every number is 0x75757575 is refused; its
// values forced into a record of each type still fly and hit without any
// undefined arithmetic (the sanitizers stop the test on one).
TEST(WeaponRecords, ExtremeValuesMoveWithoutOverflow)
{
    std::vector<uint8_t> bytes(77, 0x75);
    bytes[4] = MyWeapon::kBurst;
    EXPECT_EQ(MyWeapon().Parse(bytes.data(), bytes.size()), 0);
    for (int32_t big : {int32_t(0x75757575), INT32_MAX, INT32_MIN}) {
        for (int type = 0; type <= MyWeapon::kMaxType; type++) {
            MyWeapon w;
            w.type = uint8_t(type);
            w.life = 0x75, w.damage = 0x75, w.alternate = 0, w.groundImpact = 1, w.reload = 1;
            w.hitRadius = w.speed = w.drift = w.gravity = w.muzzleSide = w.muzzleDown = big;
            MyWeapon drifting = w;
            drifting.alternate = 1;
            Scene s;
            s.a.position = {big, big, big};
            s.a.forward = {big, 0, big};
            WeaponSystem ws(nullptr, nullptr);
            ws.SetWeapons({w, drifting});
            for (unsigned t = 1; t < 200 * 25; t += 25) {
                mycoolparticle* second = nullptr;
                ws.Fire(uint8_t(t % 2), &s.shooter, s.list, 3, 0, second);
                ws.MoveParticles(INT32_MIN, &s.a.position, nullptr, nullptr);
                ws.CollisionProcess(nullptr, &s.shooter, s.list, 3, nullptr, INT32_MIN, t, nullptr);
                if (t % 1000 == 1)
                    s.a.ownHealth = 100; // keep the target alive
            }
        }
    }
}

TEST(WeaponRecords, InitReadsNumberedFilesUntilTheFirstMissing)
{
    DataDir dir;
    std::vector<uint8_t> b;
    std::string err;
    ASSERT_TRUE(WasWrite(Shot(), &b, &err));
    dir.Put("data/weapons/wpn0.was", b);
    dir.Put("data/weapons/wpn1.was", std::string(20, '\x09'));
    dir.Put("data/weapons/wpn2.was", b);
    dir.Put("data/weapons/wpn4.was", b);
    WeaponSystem ws(nullptr, nullptr);
    ws.Init(nullptr);
    EXPECT_EQ(ws.WeaponCount(), 3);
    EXPECT_EQ(ws.GetWeapon(1)->life, 0); // refused: an empty record
    EXPECT_EQ(ws.GetWeapon(2)->damage, 10);
}

TEST(WeaponFire, HomingConeChoosesTheNearestAngleBelow25Degrees)
{
    struct Case {
        double angleA, angleB;
        int expect; // 0 none, 1 a, 2 b
    } cases[] = {{20, 24, 1}, {24, 20, 2}, {26, 30, 0}, {24, 24, 1}};
    for (Case c : cases) {
        Scene s;
        s.a.position = Scene::At(c.angleA, 30);
        s.b.position = Scene::At(c.angleB, 30);
        WeaponSystem ws(nullptr, nullptr);
        ws.SetWeapons({Record(Shot())});
        ws.frameTime = 25;
        mycoolparticle* second = nullptr;
        mycoolparticle* p = ws.Fire(0, &s.shooter, s.list, 3, 0, second);
        ASSERT_NE(p, nullptr);
        GPO* want = c.expect == 1 ? &s.a : c.expect == 2 ? &s.b : nullptr;
        EXPECT_EQ(p->target, want) << c.angleA << " " << c.angleB;
        EXPECT_NEAR(p->velocity.LengthSafe(), 25 * 1000, 300); // aiming keeps the speed
    }
}

TEST(WeaponFire, IndicesThatNameNoRecordAndAFullPool)
{
    Scene s;
    WeaponSystem ws(nullptr, nullptr);
    WasRecord paired = Shot();
    paired.pair = 1;
    ws.SetWeapons({Record(Shot()), Record(paired)});
    mycoolparticle* second = nullptr;
    EXPECT_EQ(ws.Fire(2, &s.shooter, s.list, 3, 0, second), nullptr);
    EXPECT_EQ(ws.GetWeaponType(2), -1);
    EXPECT_EQ(ws.GetWeaponType(-1), -1);
    // The pair of the last record has nothing to fire.
    EXPECT_NE(ws.Fire(1, &s.shooter, s.list, 3, 0, second), nullptr);
    EXPECT_EQ(second, nullptr);
    // Frame time 0: the projectile has no velocity and no direction to aim.
    EXPECT_EQ(ws.particles[0].velocity, PVector3());
    s.shooter.AddWeaponAvailable(7, -1);
    s.shooter.SetCurrentWeapon(0);
    s.shooter.reloadTimer = 1;
    s.shooter.WeaponReloadProcess(&ws, 25, 0);
    EXPECT_EQ(s.shooter.reloadTimer, 0);

    for (int i = 1; i < WeaponSystem::kPoolSize; i++)
        ASSERT_NE(ws.Fire(0, &s.shooter, s.list, 3, 0, second), nullptr);
    EXPECT_EQ(ws.Fire(0, &s.shooter, s.list, 3, 0, second), nullptr);
    EXPECT_EQ(ws.GetNextFreeParticle(), nullptr);
}

// A seeker weapon on alternate barrels fires its own projectile every other
// time and its paired record's every time: each projectile Fire returns
// flies, and a resting barrel gives none (no slot taken, none to send).
TEST(WeaponFire, AlternateBarrelsReturnOnlyProjectilesThatFly)
{
    Scene s;
    WeaponSystem ws(nullptr, nullptr);
    WasRecord seeker = Shot();
    seeker.alternate = 1, seeker.pair = 1;
    ws.SetWeapons({Record(seeker), Record(Shot())});
    ws.frameTime = 25;
    int own = 0, paired = 0;
    for (int i = 0; i < 6; i++) {
        mycoolparticle* second = nullptr;
        mycoolparticle* p = ws.Fire(0, &s.shooter, s.list, 3, 0, second);
        for (mycoolparticle* q : {p, second}) {
            if (q) {
                EXPECT_GT(q->life, 0) << i;
            }
        }
        own += p != nullptr;
        paired += second != nullptr;
    }
    EXPECT_EQ(own, 3);
    EXPECT_EQ(paired, 3);
    int flying = 0;
    for (const mycoolparticle& q : ws.particles)
        flying += q.life > 0;
    EXPECT_EQ(flying, 6);
}

// The timer counts up from 1 to the reload time and stops at 0; a frame
// delta that wrapped (the clock stepping back) adds nothing, and a timer
// found below 0 counts as reloaded.
TEST(WeaponReload, TimerNeverLeavesItsRange)
{
    Scene s;
    WeaponSystem ws(nullptr, nullptr);
    WasRecord slow = Shot();
    slow.reloadMs = 300;
    ws.SetWeapons({Record(slow)});
    s.shooter.AddWeaponAvailable(0, -1);
    s.shooter.SetCurrentWeapon(0);
    s.shooter.reloadTimer = 1;
    s.shooter.WeaponReloadProcess(&ws, 4294965296u, 0); // 2000 ms back
    EXPECT_EQ(s.shooter.reloadTimer, 1);
    int frames = 0;
    for (; frames < 20 && !s.shooter.IsWeaponReloaded(); ++frames)
        s.shooter.WeaponReloadProcess(&ws, 25, 0);
    EXPECT_EQ(frames, 12);
    EXPECT_EQ(s.shooter.reloadTimer, 0);
    s.shooter.reloadTimer = -1999;
    s.shooter.WeaponReloadProcess(&ws, 25, 0);
    EXPECT_EQ(s.shooter.reloadTimer, 0);
    s.shooter.reloadTimer = 1;
    s.shooter.WeaponReloadProcess(&ws, 0x7fffffff, 0);
    EXPECT_EQ(s.shooter.reloadTimer, 0);
}

TEST(WeaponHits, BurstFallOffAndFriendlyTargets)
{
    WasRecord burst;
    burst.type = 4, burst.damage = 100, burst.hitRadius = Fx(4), burst.life = 8;
    struct Case {
        int weapon;
        int life;
        double distance;
        GPO::SIDE side;
        bool players;
        int health;
    } cases[] = {
        {1, 1, 1.0, GPO::ENEMY, false, 25},    // 100 - 100 x 1/4
        {1, 2, 1.0, GPO::ENEMY, false, 100},   // only on its last frame
        {1, 1, 4.0, GPO::ENEMY, false, 100},   // out of reach
        {0, 5, 0.5, GPO::ENEMY, true, 90},
        {0, 5, 0.5, GPO::FRIENDLY, true, 100}, // the player's fire spares friends
        {0, 5, 0.5, GPO::FRIENDLY, false, 90},
    };
    for (Case c : cases) {
        Scene s;
        s.a.SetSide(c.side);
        s.a.position = {0, 0, Fx(c.distance)};
        WeaponSystem ws(nullptr, nullptr);
        ws.SetWeapons({Record(Shot()), Record(burst)});
        mycoolparticle& p = ws.particles[0];
        p.weapon = uint8_t(c.weapon), p.life = c.life, p.target = &s.a;
        p.owner = c.players ? s.shooter.id : s.b.id;
        ws.CollisionProcess(nullptr, &s.shooter, s.list, 3, nullptr, -Fx(100), 1000, nullptr);
        EXPECT_EQ(s.a.GetEnergy(), c.health) << c.weapon << " " << c.distance << " " << c.side;
    }
}

// A flak burst turned toward the viewer however the view is turned: an
// upright square on the screen (an unturned box would show a hexagon), and
// the shot drawn after it keeps its magenta.
TEST(WeaponDrawing, BurstFacesTheCameraAndTheShotAfterItKeepsItsColour)
{
    DataDir dir;
    WasRecord burst;
    burst.type = 4, burst.life = 8, burst.hitRadius = Fx(4);
    std::vector<uint8_t> b;
    std::string err;
    WasRecord shotRecord = Shot();
    shotRecord.quadWidth = shotRecord.quadHeight = Fx(0.3);
    ASSERT_TRUE(WasWrite(shotRecord, &b, &err));
    dir.Put("data/weapons/wpn0.was", b);
    ASSERT_TRUE(WasWrite(burst, &b, &err));
    dir.Put("data/weapons/wpn1.was", b);
    dir.Put("data/objects/weapon_4.pof", WritePof(Box(0.05, 0.05, 0.05).Pof()));
    dir.Put("data/textures/.keep", std::string());
    ASSERT_TRUE(SaveFrame(dir.Full("data/textures/shot1.png"), std::vector<uint32_t>(64, 0xFFFFFF), 8, 8));
    MesaContext mesa(kW, kH);
    P3D* gl = mesa.ctx;
    ASSERT_NE(gl, nullptr);
    PTextureManager tm(nullptr, gl);
    WeaponSystem ws(nullptr, nullptr);
    ws.Init(&tm);
    ASSERT_NE(ws.shotTexture, 0);
    GPO target;
    target.SetInternalHealthRef();
    mycoolparticle& p = ws.particles[0];
    p.weapon = 1, p.life = 2, p.target = &target; // scale (16 - 2) / 2 = 7: 0.7 across
    mycoolparticle& shot = ws.particles[1];
    shot.weapon = 0, shot.life = 5, shot.position = {Fx(-1), Fx(-1), 0};

    TurnedView(gl, 30, 45);
    gl->glEnable(GL_DEPTH_TEST);
    gl->glEnable(GL_CULL_FACE);
    gl->GetBackend()->glFrontFace(GL_CW); // the shot quad's winding, seen from here
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE); // the colour shows
    gl->Clear(0xFF000000);
    gl->glClear(GL_DEPTH_BUFFER_BIT);
    PVector3 camera;
    ws.Render(gl, &tm, -Fx(100), &camera, nullptr, nullptr);
    auto f = mesa.Read();
    if (const char* d = std::getenv("KRV_SAVE_FRAMES"))
        SaveFrame(std::string(d) + "/burst_mesa.png", f, kW, kH);
    // The burst: lit pixels about the centre, filling their bounding square.
    int x0 = kW, x1 = -1, y0 = kH, y1 = -1, lit = 0, magenta = 0;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) {
            uint32_t c = f[size_t(y) * kW + x];
            uint32_t r = c >> 16, g = (c >> 8) & 0xFF, bl = c & 0xFF;
            bool grey = bl >= 0x20 && r == bl && g == bl; // not the shot or the flash line
            if (grey) {
                lit++;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
            magenta += r >= 0xF0 && g < 0x10 && bl >= 0xF0;
        }
    ASSERT_GT(lit, 0);
    EXPECT_NEAR(x1 - x0 + 1, 0.7 * 32, 2);
    EXPECT_NEAR(y1 - y0 + 1, 0.7 * 32, 2);
    EXPECT_GE(lit, (x1 - x0 + 1) * (y1 - y0 + 1) * 95 / 100); // a full square, not a hexagon
    EXPECT_GT(magenta, 0); // the shot
}

// A shot seen from every side (front, back, edge-on from either side, from
// above and below) with back faces culled, as the game draws, on Mesa and on
// the software renderer: the whole quad faces the viewer every time.
TEST(WeaponDrawing, ShotShowsWholeFromEverySide)
{
    DataDir dir;
    WasRecord shotRecord = Shot();
    shotRecord.quadWidth = shotRecord.quadHeight = Fx(0.5); // 16 x 16 pixels
    std::vector<uint8_t> b;
    std::string err;
    ASSERT_TRUE(WasWrite(shotRecord, &b, &err));
    dir.Put("data/weapons/wpn0.was", b);
    dir.Put("data/textures/.keep", std::string());
    ASSERT_TRUE(SaveFrame(dir.Full("data/textures/shot1.png"), std::vector<uint32_t>(64, 0xFFFFFF), 8, 8));
    MesaContext mesa(kW, kH);
    SoftContext soft(kW, kH);
    for (int renderer = 0; renderer < 2; renderer++) {
        P3D* gl = renderer ? soft.ctx : mesa.ctx;
        ASSERT_NE(gl, nullptr);
        PTextureManager tm(nullptr, gl);
        WeaponSystem ws(nullptr, nullptr);
        ws.Init(&tm);
        ASSERT_NE(ws.shotTexture, 0);
        struct View {
            double yaw, pitch;
        } const views[] = {{0, 0}, {180, 0}, {90, 0}, {-90, 0}, {90, 30}, {0, 90}, {0, -90}};
        for (View const& v : views) {
            ws.particles[0].weapon = 0, ws.particles[0].life = 5, ws.particles[0].position = {0, 0, 0};
            TurnedView(gl, v.pitch, v.yaw);
            gl->glEnable(GL_DEPTH_TEST);
            gl->glEnable(GL_CULL_FACE);
            gl->GetBackend()->glFrontFace(GL_CCW);
            gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            gl->Clear(0xFF000000);
            gl->glClear(GL_DEPTH_BUFFER_BIT);
            PVector3 camera;
            ws.Render(gl, &tm, -Fx(100), &camera, nullptr, nullptr);
            auto f = renderer ? soft.Read() : mesa.Read();
            if (const char* d = std::getenv("KRV_SAVE_FRAMES"))
                SaveFrame(std::string(d) + "/shot_" + (renderer ? "sw_" : "mesa_") + std::to_string(int(v.yaw)) + "_" +
                              std::to_string(int(v.pitch)) + ".png",
                          f, kW, kH);
            int x0 = kW, x1 = -1, y0 = kH, y1 = -1, magenta = 0;
            for (int y = 0; y < kH; y++)
                for (int x = 0; x < kW; x++) {
                    uint32_t c = f[size_t(y) * kW + x];
                    if ((c >> 16) >= 0xC0 && ((c >> 8) & 0xFF) < 0x20 && (c & 0xFF) >= 0xC0) { // five-bit blend weights on sw
                        magenta++;
                        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                    }
                }
            SCOPED_TRACE(std::string(renderer ? "software" : "Mesa") + " yaw " + std::to_string(v.yaw) + " pitch " +
                         std::to_string(v.pitch));
            EXPECT_NEAR(magenta, 16 * 16, 2 * 16 + 1);
            EXPECT_NEAR(x1 - x0 + 1, 16, 1); // a square on the screen
            EXPECT_NEAR(y1 - y0 + 1, 16, 1);
        }
    }
}

// Shots drawn after another texture was made current, either before the
// frame or by a rocket's mesh earlier in the pool, on Mesa and on the
// software renderer: the shot's pixels come from the shot texture, and the
// texture keeps its one user over the frames until the weapons let it go.
TEST(WeaponDrawing, ShotsUseTheShotTextureWhateverWasBoundBefore)
{
    DataDir dir;
    WasRecord shotRecord = Shot();
    shotRecord.quadWidth = shotRecord.quadHeight = Fx(0.5); // 16 x 16 pixels
    WasRecord rocket = Shot();
    rocket.type = 2;
    std::vector<uint8_t> b;
    std::string err;
    ASSERT_TRUE(WasWrite(shotRecord, &b, &err));
    dir.Put("data/weapons/wpn0.was", b);
    ASSERT_TRUE(WasWrite(rocket, &b, &err));
    dir.Put("data/weapons/wpn1.was", b);
    PofMesh box = Box(0.3, 0.3, 0.3).Pof();
    for (int i = 0; i < 8; i++)
        box.texcoords.insert(box.texcoords.end(), {i & 1 ? Fx(1) : 0, i & 2 ? Fx(1) : 0});
    box.materials.resize(1);
    box.materials[0].texture = 1;
    box.lists[0].material = 1;
    box.textures = {"other.png"};
    dir.Put("data/objects/weapon_2.pof", WritePof(box));
    dir.Put("data/textures/.keep", std::string());
    // Drawn in magenta: the shot texture (yellow) shows red, the other (cyan) blue.
    ASSERT_TRUE(SaveFrame(dir.Full("data/textures/shot1.png"), std::vector<uint32_t>(64, 0xFFFF00), 8, 8));
    ASSERT_TRUE(SaveFrame(dir.Full("data/textures/other.png"), std::vector<uint32_t>(64, 0x00FFFF), 8, 8));
    MesaContext mesa(kW, kH);
    SoftContext soft(kW, kH);
    struct Case {
        const char* name;
        bool rocketFirst; // else the other texture is current when the frame starts
    } const cases[] = {{"other texture current", false}, {"rocket mesh before the shot", true}};
    for (int renderer = 0; renderer < 2; renderer++)
        for (Case const& c : cases) {
            SCOPED_TRACE(std::string(renderer ? "software: " : "Mesa: ") + c.name);
            P3D* gl = renderer ? soft.ctx : mesa.ctx;
            ASSERT_NE(gl, nullptr);
            PTextureManager tm(nullptr, gl);
            int other = tm.AddTexture("data\\textures\\other.png", 2048, 0);
            ASSERT_GT(other, 0);
            int shotTexture = 0;
            {
                WeaponSystem ws(nullptr, nullptr);
                ws.Init(&tm);
                shotTexture = ws.shotTexture;
                ASSERT_GT(shotTexture, 0);
                ASSERT_NE(shotTexture, other);
                for (int frame = 0; frame < 3; frame++) {
                    ws.ResetParticles();
                    mycoolparticle& shot = ws.particles[1];
                    shot.weapon = 0, shot.life = 5, shot.position = {Fx(-1), 0, 0};
                    if (c.rocketFirst) {
                        ws.particles[0].weapon = 1, ws.particles[0].life = 5;
                        ws.particles[0].position = {Fx(1), 0, 0};
                    }
                    OrthoView(gl, kW, kH);
                    gl->glEnable(GL_CULL_FACE);
                    gl->GetBackend()->glFrontFace(GL_CCW);
                    gl->glEnable(GL_DEPTH_TEST);
                    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
                    gl->Clear(0xFF000000);
                    gl->glClear(GL_DEPTH_BUFFER_BIT);
                    if (!c.rocketFirst)
                        tm.SetTexture(other);
                    PVector3 camera;
                    ws.Render(gl, &tm, -Fx(100), &camera, nullptr, nullptr);
                    ASSERT_NE(tm.GetEntry(shotTexture), nullptr);
                    EXPECT_EQ(tm.GetEntry(shotTexture)->users, 1) << "frame " << frame;
                }
                auto f = renderer ? soft.Read() : mesa.Read();
                if (const char* d = std::getenv("KRV_SAVE_FRAMES"))
                    SaveFrame(std::string(d) + "/shottex_" + (renderer ? "sw_" : "mesa_") +
                                  (c.rocketFirst ? "rocket" : "bound") + ".png",
                              f, kW, kH);
                // The shot lies in the left half, the rocket in the right.
                int red = 0, otherColour = 0, blueRight = 0;
                for (int y = 0; y < kH; y++)
                    for (int x = 0; x < kW; x++) {
                        uint32_t px = f[size_t(y) * kW + x];
                        uint32_t r = px >> 16, g = (px >> 8) & 0xFF, bl = px & 0xFF;
                        if (x < kW / 2) {
                            red += r >= 0xC0 && g < 0x20 && bl < 0x40;
                            otherColour += bl >= 0x40;
                        } else {
                            blueRight += bl >= 0xC0 && r < 0x40;
                        }
                    }
                EXPECT_NEAR(red, 16 * 16, 2 * 16 + 1);
                EXPECT_EQ(otherColour, 0);
                if (c.rocketFirst) {
                    EXPECT_GT(blueRight, 0); // the rocket drew with its own texture
                }
            }
            EXPECT_EQ(tm.GetEntry(shotTexture), nullptr); // released with the weapons
            ASSERT_NE(tm.GetEntry(other), nullptr);
        }
}

TEST(GameplayObject, DamageAndRearmLock)
{
    struct Case {
        int armour, start, hit, after;
    } cases[] = {{5, 100, 3, 99}, {5, 100, 999, 0}, {0, 0, 10, 0}, {0, 5, 10, 0}, {2, 50, 10, 42}};
    for (Case c : cases) {
        GPO g;
        g.SetInternalHealthRef();
        g.SetArmor(uint8_t(c.armour));
        g.ownHealth = c.start;
        g.ReduceHealth(c.hit);
        EXPECT_EQ(g.GetEnergy(), c.after);
    }
    GPO g;
    g.AddWeaponAvailable(0, 0);
    g.maxAmmo[0] = 5;
    g.RearmAllWeapons(1);
    g.RearmAllWeapons(1);
    EXPECT_EQ(g.ammo[0], 1);
    for (int i = 0; i < GPO::kRearmLockSteps; i++)
        g.WeaponReloadProcess(nullptr, 25, 0);
    g.RearmAllWeapons(1);
    EXPECT_EQ(g.ammo[0], 2);
    EXPECT_EQ(g.SwitchToNextWeapon(), 0);
}

} // namespace
