// The game session without a level: the play area's bounds and countdown,
// the touch record, steering, the pause guard, the shot message against an
// independent packer and hostile shot messages, the aim of a received homing
// shot, the mission's intro camera with its texts, and the direct level
// start's option.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "engine/platform/pdisplay.h"
#include "game/frontend/fonts.h"
#include "game/frontend/settings.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dobjects.h"
#include "game/world/gameplayobject.h"
#include "game/world/korvanth.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "game/world/weaponsystem.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tests/engine/graphics/png_gen.h"
#include "tests/game/world/world_fixture.h"
#include "tests/tools/tool_runner.h"
#include "tools/lib/pam_writer.h"
#include "tools/lib/was_writer.h"

// The tests' view of a session's private parts.
struct MainGameProbe {
    static void SetPlayer(MainGame& g, int slot, MyAirplane* a, GPO* o)
    {
        g.m_players[slot] = a;
        g.m_playerObjects[slot] = o;
    }
    static void Release(MainGame& g)
    {
        for (int i = 0; i < 4; ++i) {
            g.m_players[i] = nullptr;
            g.m_playerObjects[i] = nullptr;
        }
        g.m_weapons = nullptr;
        g.m_engine = nullptr;
        g.m_level = nullptr;
        g.m_mission = nullptr;
    }
    // A mission of the test's whose intro camera is playing.
    static void StartIntro(MainGame& g, SPLM* mission)
    {
        g.m_mission = mission;
        g.m_introCamera = 1;
    }
    static void SetCeiling(MainGame& g, int8_t c) { g.m_maxAltitude = c; }
    static void SetTarget(MainGame& g, GPO* t) { g.m_crosshairTarget = t; }
    static uint8_t Following(MainGame const& g) { return g.m_autoFollow; }
    static void SetScene(MainGame& g, P3DGameEngine* e, P3DAnim* level, int32_t water)
    {
        g.m_engine = e;
        g.m_level = level;
        g.m_waterLevel = water;
    }
    static void SetWeapons(MainGame& g, WeaponSystem* w) { g.m_weapons = w; }
    static void SetScreen(MainGame& g, P3D* p3d, int w, int h)
    {
        g.m_p3d = p3d;
        g.m_width = w;
        g.m_height = h;
    }
    static void SetMatch(MainGame& g, int players)
    {
        g.m_multiplayer = 1;
        g.m_playerCount = uint8_t(players);
    }
};

namespace {

using namespace worldtest;

struct Session {
    Settings settings;
    MainGame game{nullptr, &settings, nullptr, nullptr, nullptr, nullptr, nullptr};
    MyAirplane plane{nullptr, nullptr};
    Session()
    {
        plane.Init(1);
        plane.health = 100;
        MainGameProbe::SetPlayer(game, 0, &plane, nullptr);
        MainGameProbe::SetCeiling(game, 60);
    }
    ~Session() { MainGameProbe::Release(game); }
};

TEST(MainGameBounds, ClassifiesAndClampsUnderTheCeiling)
{
    struct Case {
        double x, y, z;
        int result;
        double yAfter;
        int nearCeiling;
    } const cases[] = {
        {0, 10, 0, MainGame::IN_BOUNDS, 10, 0},
        {200, 10, -200, MainGame::IN_BOUNDS, 10, 0}, // the edges are inside
        {200 + 1 / 65536.0, 10, 0, MainGame::OUT_OF_BOUNDS, 10, 0},
        {0, 10, -200 - 1 / 65536.0, MainGame::OUT_OF_BOUNDS, 10, 0},
        {0, 59, 0, MainGame::IN_BOUNDS, 59, 1},
        {0, 60.5, 0, MainGame::AT_CEILING, 60, 1},
        {500, 60.5, 0, MainGame::AT_CEILING, 60, 1}, // a clamp wins over leaving the square
    };
    for (Case const& c : cases) {
        MyAirplane a(nullptr, nullptr);
        a.position = {Fx(c.x), Fx(c.y), Fx(c.z)};
        EXPECT_EQ(MainGame::BoundsCheck(&a, 60), c.result) << c.x << " " << c.y << " " << c.z;
        EXPECT_EQ(a.position.y, Fx(c.yAfter));
        EXPECT_EQ(a.aboveCeiling, c.nearCeiling);
    }
    EXPECT_EQ(MainGame::BoundsCheck(nullptr, 60), MainGame::IN_BOUNDS);
}

TEST(MainGameBounds, CountdownDestroysOnceAfterNineSecondsOutside)
{
    Session s;
    s.plane.position = {Fx(250), Fx(20), 0};
    uint32_t t = 1000;
    auto frame = [&](uint32_t at) {
        s.game.SetNow(at);
        s.game.UpdateBoundsCheck();
    };
    // Out for 8 s, back in, out again: the countdown starts over.
    for (; t <= 9000; t += 25)
        frame(t);
    EXPECT_EQ(s.game.GetBoundsState(), MainGame::BOUNDS_WARNING);
    s.plane.position.x = Fx(100);
    frame(t += 25);
    EXPECT_EQ(s.game.GetBoundsState(), MainGame::BOUNDS_INSIDE);
    EXPECT_EQ(s.game.BoundsTimer(), 0u);
    s.plane.position.x = Fx(-250);
    uint32_t start = t += 25;
    frame(start);
    for (t = start; t - start <= 8999; t += 25) {
        frame(t);
        ASSERT_EQ(s.plane.health, 100) << t - start;
    }
    frame(start + 9000);
    EXPECT_LT(s.plane.health, 1);
    EXPECT_EQ(s.game.GetBoundsState(), MainGame::BOUNDS_INSIDE);
    // A dead aircraft is never destroyed again.
    int after = s.plane.health;
    for (uint32_t u = start + 9025; u < start + 20000; u += 25)
        frame(u);
    EXPECT_EQ(s.plane.health, after);
}

TEST(MainGameTouch, RecordFollowsPressesAndReleases)
{
    Session s;
    MainGame& g = s.game;
    g.TouchScreenEvent(10, 20, 1);
    EXPECT_EQ(g.Touch().down, 1);
    EXPECT_EQ(g.Touch().pending, 1);
    g.TouchScreenEvent(30, 40, 1); // a second press while down keeps pending
    EXPECT_EQ(g.Touch().pending, 1);
    g.TouchScreenEvent(30, 40, 0); // a release while pending clears it
    EXPECT_EQ(g.Touch().pending, 0);
    EXPECT_EQ(g.Touch().down, 0);
    EXPECT_EQ(g.Touch().wasDown, 1);
    g.TouchScreenEventMove(99, 99, 0); // moves count only while down
    EXPECT_EQ(g.Touch().x, 30);
    EXPECT_EQ(g.TouchScreen_IsInside(30, 40, 0, 0), 1);
    EXPECT_EQ(g.TouchScreen_IsInside(31, 40, 5, 5), 0);
    EXPECT_EQ(g.TouchScreen_IsPressedInside(30, 40, 0, 0), 0);
    g.TouchScreen_Reset();
    EXPECT_EQ(g.Touch().wasDown, 0);
}

TEST(MainGameSteering, StickAndSensitivity)
{
    Session s;
    struct Case {
        int32_t x, y, ex, ey, ez;
    } const cases[] = {
        {0, 0, 0, 0, 0x10000},
        {Fx(0.5), 0, Fx(0.5), 0, 0x10000 - 128}, // the raw square root, as the stick always had it
        {Fx(3), Fx(-3), 46341, -46341, 0},       // clamped to the unit square, then to the circle
    };
    for (Case const& c : cases) {
        s.game.setSteeringInput(c.x, c.y);
        EXPECT_NEAR(s.game.Steering().x, c.ex, 8); // the 16.16 square root is good to about 2^-14
        EXPECT_NEAR(s.game.Steering().y, c.ey, 8);
        EXPECT_NEAR(s.game.Steering().z, c.ez, 8);
    }
    struct Sens {
        uint8_t byte;
        int32_t value;
    } const sens[] = {{0, 13107}, {31, 12747 + 13107}, {32, 13158}, {255, 104856}};
    for (Sens const& c : sens) {
        s.settings.sensitivity = c.byte;
        s.game.UpdatePlayerSteeringSens();
        EXPECT_EQ(s.plane.inputScaleX, c.value) << int(c.byte);
        EXPECT_EQ(s.plane.inputScaleY, c.value);
    }
}

// The angle in degrees between the aircraft's heading and the way to p.
double OffCourse(MyAirplane const& a, PVector3 const& p)
{
    double fx = Db(a.forward.x), fy = Db(a.forward.y), fz = Db(a.forward.z);
    double dx = Db(p.x - a.position.x), dy = Db(p.y - a.position.y), dz = Db(p.z - a.position.z);
    double c = (fx * dx + fy * dy + fz * dz) / std::sqrt((fx * fx + fy * fy + fz * fz) * (dx * dx + dy * dy + dz * dz));
    return std::acos(std::max(-1.0, std::min(1.0, c))) * 180 / M_PI;
}

TEST(MainGameFollow, FiringTurnsTowardTheTargetInSight)
{
    struct Case {
        int keys;
        bool match;
        bool follows;
    } const cases[] = {
        {MainGame::kKeyFire, false, true},
        {0, false, false},                                  // not firing
        {MainGame::kKeyFire | MainGame::kKeyLeft, false, false}, // steering by hand
        {MainGame::kKeyFire, true, false},                  // never in a match
    };
    for (Case const& c : cases) {
        Session s;
        if (c.match)
            MainGameProbe::SetMatch(s.game, 2);
        GPO target;
        target.SetInternalHealthRef();
        MyAirplane& a = s.plane;
        a.position = {0, Fx(20), 0};
        a.throttle = 40;
        uint32_t t = 1000;
        for (int i = 0; i < 4; ++i, t += 25) { // a heading to start from
            s.game.SetNow(t);
            a.Move(&a.position, a.angles, t);
        }
        double yaw = std::atan2(Db(a.forward.x), Db(a.forward.z)) + 60 * M_PI / 180;
        target.position = {a.position.x + Fx(40 * std::sin(yaw)), Fx(20), a.position.z + Fx(40 * std::cos(yaw))};
        MainGameProbe::SetTarget(s.game, &target);
        double before = OffCourse(a, target.position);
        for (int i = 0; i < 120; ++i, t += 25) {
            s.game.SetNow(t);
            s.game.TargetFollowUpdate(c.keys);
            EXPECT_EQ(MainGameProbe::Following(s.game), c.follows ? 1 : 0);
        }
        double after = OffCourse(a, target.position);
        if (c.follows)
            EXPECT_LT(after, before / 2) << before << " -> " << after;
        else
            EXPECT_NEAR(after, before, 1e-9);
    }
}

TEST(MainGamePause, PlayerPauseWaitsAfterResuming)
{
    Session s;
    s.game.SetNow(10000);
    s.game.UnPauseGame();
    s.game.SetNow(10300);
    s.game.PauseGame(MainGame::PAUSE_PLAYER);
    EXPECT_EQ(s.game.GetPauseState(), MainGame::PAUSE_NONE);
    s.game.SetNow(10350);
    s.game.PauseGame(MainGame::PAUSE_PLAYER);
    EXPECT_EQ(s.game.GetPauseState(), MainGame::PAUSE_MENU);
    s.game.UnPauseGame();
    s.game.SetNow(10360);
    s.game.PauseGame(MainGame::PAUSE_FAILED); // a mission's end is never held back
    EXPECT_EQ(s.game.GetPauseState(), MainGame::PAUSE_MENU);
    EXPECT_EQ(s.game.GetPauseKind(), MainGame::PAUSE_FAILED);
}

MyWeapon Record(int type)
{
    WasRecord r;
    r.type = type, r.life = 50, r.damage = 10, r.speed = 40000, r.hitRadius = Fx(1), r.reloadMs = 250;
    std::vector<uint8_t> b;
    std::string err;
    EXPECT_TRUE(WasWrite(r, &b, &err)) << err;
    MyWeapon w;
    EXPECT_TRUE(w.Parse(b.data(), b.size()));
    return w;
}

std::string Hex(const uint8_t* p, int n)
{
    std::string s;
    char b[3];
    for (int i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

TEST(ShotMessage, BytesMatchAnIndependentPacker)
{
    struct Case {
        int type;
        ShotMessage m;
    };
    std::vector<Case> cases;
    for (int type : {MyWeapon::kShot, MyWeapon::kRocket, MyWeapon::kTorpedo}) {
        ShotMessage m;
        m.shooter = type == MyWeapon::kShot ? -2 : 0x01020304;
        m.weapon = uint8_t(type * 3);
        m.position = {Fx(-12.5), Fx(30), INT32_MIN};
        m.velocity = {1, -1, INT32_MAX};
        m.third = {Fx(90), Fx(-45), 7};
        m.life = uint8_t(200 + type);
        m.homing = type == MyWeapon::kRocket;
        cases.push_back({type, m});
    }
    std::ostringstream in;
    std::vector<std::string> ours;
    for (Case const& c : cases) {
        uint8_t b[ShotMessage::kLengthHoming];
        int n = c.m.Encode(c.type, b, int(sizeof b));
        EXPECT_EQ(n, c.type == MyWeapon::kRocket ? 44 : 32);
        EXPECT_EQ(b[n - 2], c.m.life); // life at 42 for homing rockets, else at 30
        ours.push_back(Hex(b, n));
        in << (c.type == MyWeapon::kRocket) << ' ' << c.m.shooter << ' ' << int(c.m.weapon) << ' '
           << c.m.position.x << ' ' << c.m.position.y << ' ' << c.m.position.z << ' ' << c.m.velocity.x << ' '
           << c.m.velocity.y << ' ' << c.m.velocity.z << ' ' << c.m.third.x << ' ' << c.m.third.y << ' '
           << c.m.third.z << ' ' << int(c.m.life) << ' ' << int(c.m.homing) << '\n';
    }
    auto r = tooltest::RunPython(tooltest::PyScript("tests/game/world/shot_oracle.py"), in.str());
    ASSERT_EQ(r.code, 0);
    std::istringstream lines(r.out);
    for (std::string const& o : ours) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, o);
    }
    uint8_t small[31];
    EXPECT_EQ(cases[0].m.Encode(MyWeapon::kShot, small, int(sizeof small)), 0);
}

int TypeOf(void* ctx, int i)
{
    return static_cast<WeaponSystem*>(ctx)->GetWeaponType(i);
}

TEST(ShotMessage, HostileMessagesAreDropped)
{
    WeaponSystem ws(nullptr, nullptr);
    ws.SetWeapons({Record(MyWeapon::kShot), Record(MyWeapon::kRocket)});
    ShotMessage m;
    m.shooter = 3;
    m.life = 30;
    uint8_t shot[64], homing[64];
    m.weapon = 0;
    ASSERT_EQ(m.Encode(MyWeapon::kShot, shot, 64), 32);
    m.weapon = 1;
    ASSERT_EQ(m.Encode(MyWeapon::kRocket, homing, 64), 44);
    struct Case {
        const uint8_t* data;
        int length;
        bool ok;
        const char* what;
    };
    uint8_t badWeapon[32], badType[32];
    std::copy(shot, shot + 32, badWeapon);
    badWeapon[5] = 2; // beyond the two records
    std::copy(shot, shot + 32, badType);
    badType[0] = 8;
    Case const cases[] = {
        {shot, 32, true, "a shot"},       {shot, 31, false, "one byte short"},
        {homing, 44, true, "a homing shot"}, {homing, 43, false, "homing, one byte short"},
        {homing, 32, false, "homing cut to a shot's length"},
        {badWeapon, 32, false, "weapon beyond the records"},
        {badType, 32, false, "not a shot"},
        {nullptr, 44, false, "no bytes"},
    };
    MainGame game(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    MainGameProbe::SetWeapons(game, &ws);
    for (Case const& c : cases) {
        ShotMessage out;
        EXPECT_EQ(ShotMessage::Decode(c.data, c.length, ws.WeaponCount(), TypeOf, &ws, out), c.ok) << c.what;
        ws.ResetParticles();
        game.ReceiveShootFromClient(c.data, c.length);
        int live = 0;
        for (mycoolparticle const& p : ws.particles)
            live += p.life > 0;
        EXPECT_EQ(live, c.ok ? 1 : 0) << c.what;
    }
    MainGameProbe::Release(game);
}

TEST(ShotMessage, ReceivedHomingShotPicksThePlayerNearestItsPath)
{
    WeaponSystem ws(nullptr, nullptr);
    ws.SetWeapons({Record(MyWeapon::kRocket)});
    struct Case {
        double angleA, angleB;
        int expected; // slot of the target, -1 none
    } const cases[] = {{20, 24, 1}, {24, 20, 2}, {26, 26, -1}, {20, 20, 1}}; // equal: the first slot
    for (Case const& c : cases) {
        MainGame game(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        MainGameProbe::SetMatch(game, 3);
        MainGameProbe::SetWeapons(game, &ws);
        MyAirplane me(nullptr, nullptr), a(nullptr, nullptr), b(nullptr, nullptr);
        GPO ga, gb;
        a.gpo = &ga, b.gpo = &gb;
        me.netId = 1, a.netId = 2, b.netId = 3;
        me.health = a.health = b.health = 100;
        me.position = {0, Fx(500), 0};
        auto place = [](MyAirplane& p, double deg) {
            double r = deg * M_PI / 180;
            p.position = {Fx(20 * std::sin(r)), 0, Fx(20 * std::cos(r))};
        };
        place(a, c.angleA);
        place(b, c.angleB);
        MainGameProbe::SetPlayer(game, 0, &me, nullptr);
        MainGameProbe::SetPlayer(game, 1, &a, &ga);
        MainGameProbe::SetPlayer(game, 2, &b, &gb);
        ShotMessage m;
        m.shooter = 9;
        m.weapon = 0;
        m.velocity = {0, 0, Fx(1)};
        m.life = 40;
        m.homing = 1;
        uint8_t bytes[44];
        ASSERT_EQ(m.Encode(MyWeapon::kRocket, bytes, 44), 44);
        ws.ResetParticles();
        game.ReceiveShootFromClient(bytes, 44);
        GPO* target = nullptr;
        for (mycoolparticle const& p : ws.particles)
            if (p.life > 0)
                target = p.target;
        GPO* want = c.expected == 1 ? &ga : c.expected == 2 ? &gb : nullptr;
        EXPECT_EQ(target, want) << c.angleA << " " << c.angleB;
        MainGameProbe::Release(game);
    }
}

TEST(MainGameCamera, PushedOutOfWaterAndHills)
{
    DataDir dir;
    // The box with its faces turned outward (counter-clockwise seen from
    // outside), as the game's meshes are.
    Tris hill = Box(2, 2, 2);
    for (size_t i = 0; i + 2 < hill.t.size(); i += 3)
        std::swap(hill.t[i + 1], hill.t[i + 2]);
    dir.Put("data/objects/hill.pof", WritePof(hill.Pof()));
    PamScene s;
    s.meshes = {"hill"};
    PamModel m;
    m.flags = kPamPerPoly;
    m.mesh = 0;
    m.tracks[0] = PamTrack::Constant(Fx(20));
    m.tracks[3] = PamTrack::Constant(Fx(45));
    s.models = {m};
    s.areas = true;
    s.areaSize = Fx(8);
    dir.PutScene("level.pam", s);
    dir.PutScene("empty.pam", PamScene{});
    std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
    ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", "data\\objects\\"));
    ASSERT_EQ(1, engine->AddSceneFromFile("empty.pam", "", "data\\objects\\"));
    engine->GenerateMeshBoxes();
    engine->InitCollisionPrecalculation_allScenes();
    P3DAnim* level = engine->GetAnimationPtr(0);
    ASSERT_TRUE(level && level->modelCount == 1);
    Session session;
    MainGame& g = session.game;
    MainGameProbe::SetScene(g, engine.get(), level, Fx(-5));
    level->SetCurrentModelClipAreaByGlobalPos(Fx(20), 0, 0); // as a drawn frame leaves it
    EXPECT_NEAR(g.IsPointCollideWithModel(level, {Fx(20), Fx(0.5), Fx(0.2)}, level->models[0]), Fx(2), 4);
    EXPECT_EQ(g.IsPointCollideWithModel(level, {Fx(20), Fx(3), Fx(0.2)}, level->models[0]), Fx(-100));
    struct Case {
        double x, y, z;
        int moved;
        bool up; // the point rose
    } const cases[] = {
        {20, 0.5, 0.2, 1, true},   // inside the hill
        {20, 3, 0.2, 0, false},    // above it
        {40, 10, 0, 0, false},     // in the open
        {40, -6, 0, 1, true},      // under the water
    };
    for (Case const& c : cases) {
        PVector3 p = {Fx(c.x), Fx(c.y), Fx(c.z)};
        EXPECT_EQ(g.SubstractPointFromEnvironment(p), c.moved) << c.x << " " << c.y;
        EXPECT_EQ(p.y > Fx(c.y), c.up) << c.x << " " << c.y;
        if (c.moved && c.y > 0) {
            EXPECT_EQ(g.IsPointCollideWithModel(level, p, level->models[0]), Fx(-100)) << "still inside";
        }
    }
    // A scene without models or areas has nothing to look the ground up in.
    MainGameProbe::SetScene(g, engine.get(), engine->GetAnimationPtr(1), 0);
    PVector3 p = {Fx(500), Fx(1), Fx(500)};
    EXPECT_EQ(g.SubstractPointFromEnvironment(p), 1);
    EXPECT_EQ(p.y, Fx(2));
}

// The intro camera shows the text of the camera's frame, its lines split at
// line feeds and cut to 94 characters; the back key pauses and resumes the
// camera, and the fire key or the camera's end starts play.
TEST(MainGameIntro, TimedTextsPauseAndEnd)
{
    constexpr int kW = 640, kH = 320;
    fronttest::ScratchDir dir;
    dir.WriteFonts();
    LangLanguage l;
    l.name = u"English";
    l.strings.resize(401);
    l.strings[400] = std::u16string(100, u'W') + u"\nSECOND";
    dir.Write("data/lang0.bin", fronttest::Encode({l}));
    dir.Put("m.txt", std::string(R"(define header { virtualDebrief TRUE cameraStart 0 cameraEnd 100 cameraFPS 20
        vdTxt 1 { vdTxt[0] { txt 400 begin 0 end 50 } } })"));
    dir.Put("data/scripts/.keep", std::string());
    auto r = tooltest::RunTool("scriptc", tooltest::Q(dir.Full("m.txt")) + " " +
                                              tooltest::Q(dir.Full("data/scripts/m.bin")), true);
    ASSERT_EQ(r.code, 0) << r.out;
    dir.PutScene("level.pam", PamScene{});
    MesaContext mesa(kW, kH);
    ASSERT_NE(mesa.ctx, nullptr);
    PDisplayProperties props{};
    mesa.display->GetInfo(props);
    Fonts fonts;
    ASSERT_TRUE(fonts.Init(mesa.ctx, &props) && fonts.LoadLanguage(0));
    ScriptReader script;
    ASSERT_EQ(SPLM::ParseScript(&script, "data_to_make\\scripts\\txt\\m"), 1);
    SPLM mission(mesa.ctx);
    mission.LoadVirtualDebriefFromHeader(&fonts, &script);
    ASSERT_TRUE(mission.HasIntroCamera());
    EXPECT_EQ(mission.CameraFPS(), 20);
    std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
    ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", ""));
    P3DAnim* level = engine->GetAnimationPtr(0);

    for (bool byFire : {true, false}) {
        Settings settings;
        MainGame game(nullptr, &settings, nullptr, &fonts, nullptr, nullptr, nullptr);
        MyAirplane plane(nullptr, nullptr);
        plane.Init(1);
        MainGameProbe::SetPlayer(game, 0, &plane, nullptr);
        MainGameProbe::SetScene(game, engine.get(), level, 0);
        MainGameProbe::StartIntro(game, &mission);
        level->PlayCamera();
        uint32_t t = 1000;
        auto frame = [&](int cameraFrame, int keys = 0, int latch = 0) {
            level->CameraSetCurrentFrame(cameraFrame);
            game.SetKeyLatch(latch);
            mesa.ctx->Clear(0);
            EXPECT_EQ(game.PlayGame(mesa.ctx, nullptr, &props, 1, keys, nullptr, t += 25, nullptr), 1);
            return mesa.Read();
        };
        // The lit columns of a text row.
        auto extent = [&](std::vector<uint32_t> const& f, int y0) {
            int right = -1, lit = 0;
            for (int y = y0; y < y0 + fronttest::kHeight; y++)
                for (int x = 0; x < kW; x++)
                    if (f[size_t(y) * kW + x] & 0xFFFFFF)
                        right = std::max(right, x), lit++;
            return lit ? right : -1;
        };
        auto f = frame(20);
        if (const char* d = std::getenv("KRV_SAVE_FRAMES"); d && byFire)
            SaveFrame(std::string(d) + "/intro_text.png", f, kW, kH);
        int lineStep = fonts.Height(0) + 2;
        int first = extent(f, 10), second = extent(f, 10 + lineStep);
        // 94 characters from x = 3, then the second line.
        int width94 = fonts.StringWidth(0, std::wstring(94, L'W').c_str());
        EXPECT_GT(first, 3 + fonts.StringWidth(0, std::wstring(93, L'W').c_str()) - 1);
        EXPECT_LT(first, 3 + width94);
        EXPECT_GT(second, 3);
        EXPECT_LT(second, 3 + fonts.StringWidth(0, L"SECOND"));
        EXPECT_LT(3 + width94 + 6 * fronttest::kAdvance, kW); // a longer line would have shown
        EXPECT_TRUE(game.IntroCameraShown());

        frame(30, 0, MainGame::kBackKey);
        EXPECT_TRUE(level->cameraPaused);
        frame(30, 0, MainGame::kBackKey);
        EXPECT_FALSE(level->cameraPaused);
        EXPECT_EQ(extent(frame(60), 10), -1); // past the text's window
        EXPECT_TRUE(game.IntroCameraShown());

        frame(byFire ? 70 : 100, byFire ? MainGame::kKeyFire : 0);
        EXPECT_FALSE(game.IntroCameraShown()) << byFire;
        EXPECT_TRUE(level->cameraPaused);
        MainGameProbe::Release(game);
    }
}

TEST(MainGameDrawing, FlareSizeAndCursorCells)
{
    EXPECT_NEAR(MainGame::FlareSizeFactor(320, 240), 0x10000, 64);
    EXPECT_GT(MainGame::FlareSizeFactor(1024, 600), 0x30000); // no overflow on a large screen
    EXPECT_GT(MainGame::FlareSizeFactor(8192, 8192), MainGame::FlareSizeFactor(1024, 600));
    EXPECT_EQ(MainGame::CursorCell(-5), MainGame::CursorCell(0));
    const int32_t* last = MainGame::CursorCell(99);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(last[i], 0);
    EXPECT_EQ(MainGame::CursorCell(5)[0], 0x4000); // column 1 of the 4 x 4 atlas
    EXPECT_EQ(MainGame::ShotSound(8), 15);
    EXPECT_EQ(MainGame::ShotSound(16), -1);
    EXPECT_EQ(MainGame::ShotSound(-1), -1);
}

// The five flare sprites of a sun straight ahead lie on the screen's
// centre: the blit centres each on its point.
TEST(MainGameDrawing, LensFlareCentredOnTheSunsLine)
{
    DataDir dir;
    PngSpec png;
    png.colorType = 6;
    png.width = 64;
    png.height = 32;
    png.rows.assign(size_t(64) * 32 * 4, 255);
    dir.Put("data/2dgfx/flares_small.png", MakePng(png));
    constexpr int kW = 320, kH = 240;
    SoftContext sc(kW, kH);
    ASSERT_NE(sc.ctx, nullptr);
    Session s;
    MainGameProbe::SetScreen(s.game, sc.ctx, kW, kH);
    s.game.LoadGfx();
    OrthoView(sc.ctx, kW, kH);
    sc.ctx->glClear(GL_COLOR_BUFFER_BIT);
    const PVector3 sun{0, 0, Fx(1)};
    s.game.RenderLensFlare(sc.ctx, {0, 0, Fx(-1)}, sun, sun);
    auto f = sc.Read();
    double sx = 0, sy = 0;
    int n = 0;
    for (int i = 0; i < kW * kH; ++i)
        if ((f[size_t(i)] & 0xFF) > 0x10)
            sx += i % kW + 0.5, sy += i / kW + 0.5, ++n;
    if (const char* d = std::getenv("KRV_SAVE_FRAMES"))
        SaveFrame(std::string(d) + "/lens_flare.png", f, kW, kH);
    ASSERT_GT(n, 32 * 32);
    EXPECT_NEAR(sx / n, kW / 2.0, 1.5);
    EXPECT_NEAR(sy / n, kH / 2.0, 1.5);
    s.game.UnloadGfx();
}

TEST(DirectLevel, ParsesTheOption)
{
    struct Case {
        const char* text;
        int ok, campaign, level;
    } const cases[] = {
        {"0", 1, 0, 0},   {"3", 1, 0, 3},    {"2:1", 1, 2, 1}, {"3:0", 0, 0, 0},  {"", 0, 0, 0},
        {"x", 0, 0, 0},   {"1:", 0, 0, 0},   {":1", 0, 0, 0},  {"1:2:3", 0, 0, 0}, {"99999", 0, 0, 0},
        {"-1", 0, 0, 0},
    };
    for (Case const& c : cases) {
        int campaign = -1, level = -1;
        EXPECT_EQ(KorvanthApp::DirectLevel(c.text, campaign, level), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(campaign, c.campaign);
            EXPECT_EQ(level, c.level);
        }
    }
    int a, b;
    EXPECT_EQ(KorvanthApp::DirectLevel(nullptr, a, b), 0);
}

} // namespace
