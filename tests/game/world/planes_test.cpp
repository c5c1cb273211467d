// The aircraft catalogue: definition files written with the tools' writer
// read back by the checked reader, malformed files refused, and aircraft
// models built in a level with their rotors, flaps, rudder, gun fire and
// levels of detail.
#include <gtest/gtest.h>

#include "game/scene/p3danim.h"
#include "game/scene/p3dchannel.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dsceneunit.h"
#include "game/world/myairplane.h"
#include "game/world/planescene.h"
#include "game/world/planesmanager.h"
#include "tests/game/world/world_fixture.h"
#include "tools/lib/planecfg_writer.h"

namespace {

using namespace worldtest;

PlaneCfg Hawk()
{
    PlaneCfg c;
    c.name = "Hawk";
    c.armour = 5, c.speed = 7, c.controls = 2;
    c.folder = "data\\planes\\hawk\\";
    c.scene = "hawk.pam";
    c.rotors = {"rotor.pam"};
    c.rotorNulls = {"Null_Rotor", "Null_Rotor2"};
    c.gunfire = "gunfire";
    c.flapLeft = "flap_l";
    c.flapRight = "flap_r";
    c.rudder = "NULL";
    PlaneCfgLod l1, l2;
    l1.scene = "hawk_l1.pam";
    l1.rotors = {{"", 0}};
    l1.rotorNulls = {"Null_Rotor"};
    l1.gunfire = "gunfire";
    l2.scene = "hawk_l2.pam";
    l2.gunfire = "gunfire";
    c.lods = {l1, l2};
    return c;
}

std::string Bytes(PlaneCfg const& c)
{
    std::string out, err;
    EXPECT_TRUE(PlaneCfgWrite(c, &out, &err)) << err;
    return out;
}

std::unique_ptr<PlaneConfig> Parse(std::string const& s)
{
    return PlanesManager::ParseConfig(s.data(), int(s.size()));
}

TEST(PlaneConfigFile, ReadsWhatTheWriterWrites)
{
    PlaneCfg hawk = Hawk();
    hawk.lods[0].rotors.push_back({"extra.pam", -1});
    auto c = Parse(Bytes(hawk));
    ASSERT_TRUE(c);
    EXPECT_STREQ("Hawk", c->GetPlaneName());
    EXPECT_EQ(2, c->preset);
    EXPECT_EQ("data\\planes\\hawk\\scenes\\hawk.pam", c->scenePath);
    EXPECT_EQ(std::vector<std::string>{"data\\planes\\hawk\\scenes\\rotor.pam"}, c->rotorPaths);
    ASSERT_EQ(2u, c->lods.size());
    const PlaneConfig& l1 = *c->lods[0];
    EXPECT_EQ("data\\planes\\hawk\\scenes\\hawk_l1.pam", l1.scenePath);
    // A reused rotor takes the aircraft's path; a named one its own file
    // from the line's first character.
    EXPECT_EQ((std::vector<std::string>{"data\\planes\\hawk\\scenes\\rotor.pam",
                                        "data\\planes\\hawk\\scenes\\extra.pam"}),
              l1.rotorPaths);
    EXPECT_EQ((std::vector<int8_t>{0, -1}), l1.rotorReuse);
    EXPECT_TRUE(c->lods[1]->rotorPaths.empty());

    struct Rates {
        const char *r1, *r2;
        int want1, want2;
    } rates[] = {{"", "", 4725, 11025}, {"8000", "", 8000, 11025}, {"", "22050", 4725, 22050}};
    for (auto const& r : rates) {
        PlaneCfg p = Hawk();
        p.rate1 = r.r1, p.rate2 = r.r2;
        auto got = Parse(Bytes(p));
        ASSERT_TRUE(got);
        EXPECT_EQ(r.want1, got->engineRate1);
        EXPECT_EQ(r.want2, got->engineRate2);
    }
}

TEST(PlaneConfigFile, MalformedFilesAreRefused)
{
    const std::string good = Bytes(Hawk());
    auto replace = [&](std::string const& from, std::string const& to) {
        std::string s = good;
        size_t at = s.find(from);
        EXPECT_NE(std::string::npos, at) << from;
        return s.replace(at, from.size(), to);
    };
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"name only", "Hawk\r\n"},
        {"cut in the ratings", good.substr(0, 20)},
        {"cut before the scene", good.substr(0, good.find("hawk.pam"))},
        {"cut in a level", good.substr(0, good.find("hawk_l2.pam") + 3)},
        {"no LODS=", replace("LODS=2", "LOTS=2")},
        {"LODS= without a digit", replace("LODS=2", "LODS=x")},
        {"missing level block", replace("LOD2\r\n", "LODX\r\n")},
        {"level marker with text", replace("LOD1\r\n", "LOD1 first\r\n")},
        {"four rotors", replace("\r\n1\r\nrotor.pam", "\r\n4\r\nrotor.pam\r\na\r\nb\r\nc")},
        {"five nulls", replace("\r\n2\r\nNull_Rotor", "\r\n5\r\nNull_Rotor")},
        {"rotor count not a digit", replace("\r\n1\r\nrotor.pam", "\r\nX\r\nrotor.pam")},
        {"rotor count line longer", replace("\r\n1\r\nrotor.pam", "\r\n1 \r\nrotor.pam")},
        {"rating not a digit", replace("ARMOUR=5", "ARMOUR=A")},
        {"rating line too long", replace("SPEED=7", "SPEED=77")},
        {"rating line without CR", replace("CONTROLS=2\r\n", "CONTROLS=2\n")},
        {"over-long name", replace("Hawk\r\n", std::string(64, 'n') + "\r\n")},
        {"over-long model name", replace("flap_l", std::string(64, 'f'))},
        {"over-long folder", replace("data\\planes\\hawk\\", std::string(128, 'd'))},
        {"over-long second rate", replace("\r\n\r\ndata", "\r\n\r\n123456789012\r\ndata")},
        {"rate not a number", replace("\r\n\r\n\r\ndata", "\r\n\r\n12a\r\ndata")},
        {"zero rate", replace("CONTROLS=2\r\n\r\n", "CONTROLS=2\r\n0\r\n")},
        {"REUSE beyond the rotors", replace("REUSE=0", "REUSE=1")},
        {"REUSE without a digit", replace("REUSE=0", "REUSE=x")},
        {"empty scene name", replace("hawk.pam", "")},
    };
    ASSERT_TRUE(Parse(good));
    for (auto const& c : cases)
        EXPECT_FALSE(Parse(c.bytes)) << c.what;
}

// Aircraft scenes and a level written into a scratch directory, the
// catalogue loaded into a scene manager.
class PlanesInLevel : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* m : {"body", "flap_l", "flap_r", "gunfire", "blade"})
            dir.Put(std::string("data/planes/hawk/models/") + m + ".pof", WritePof(Box(0.5, 0.5, 0.5).Pof()));
        PamScene plane;
        plane.meshes = {"body", "flap_l", "flap_r", "gunfire"};
        for (int i = 0; i < 4; i++) {
            PamModel m;
            m.mesh = i;
            plane.models.push_back(m);
        }
        PamModel second = plane.models[3]; // two gun-fire models
        plane.models.push_back(second);
        PamNull r1, r2, wl, wr;
        r1.name = "Null_Rotor";
        r2.name = "Null_Rotor2";
        wl.name = "WingL";
        wl.tracks[0] = PamTrack::Constant(Fx(-4));
        wr.name = "WingR";
        wr.tracks[0] = PamTrack::Constant(Fx(4));
        wr.tracks[1] = PamTrack::Constant(Fx(0.5));
        plane.nulls = {r1, r2, wl, wr};
        dir.PutScene("data/planes/hawk/scenes/hawk.pam", plane);
        dir.PutScene("data/planes/hawk/scenes/hawk_l1.pam", plane);
        dir.PutScene("data/planes/hawk/scenes/hawk_l2.pam", plane);
        PamScene rotor;
        rotor.meshes = {"blade"};
        rotor.models = {PamModel{}};
        dir.PutScene("data/planes/hawk/scenes/rotor.pam", rotor);
        PamScene world;
        PamNull player, spawn;
        player.name = "Null_Player";
        spawn.name = "Null_Spawn";
        spawn.tracks[0] = PamTrack::Constant(Fx(7));
        spawn.tracks[3] = PamTrack::Constant(Fx(45));
        world.nulls = {player, spawn};
        dir.PutScene("level.pam", world);
        dir.Put("data/planes/config1.txt", Bytes(Hawk()));
        PlaneCfg second2 = Hawk();
        second2.name = "Second";
        second2.lods.clear();
        dir.Put("data/planes/config2.txt", Bytes(second2));
        engine.reset(P3DGameEngine::Create(nullptr, 0x10000));
        ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", ""));
        level = engine->GetAnimationPtr(0);
    }

    DataDir dir;
    std::unique_ptr<P3DGameEngine> engine;
    P3DAnim* level = nullptr;
};

TEST_F(PlanesInLevel, CatalogueEndsAtTheFirstMissingFile)
{
    PlanesManager pm(engine.get());
    EXPECT_EQ(2, pm.LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"));
    ASSERT_EQ(2, pm.Count());
    EXPECT_STREQ("Second", pm.Get(1)->GetPlaneName());
    EXPECT_EQ(-1, pm.GetIndexOfPlaneScene(-1));
    EXPECT_EQ(-1, pm.GetIndexOfPlaneScene(2));
    // A malformed third file ends the list as a missing one does.
    dir.Put("data/planes/config3.txt", std::string("Broken\r\nARMOUR=5\r\n"));
    PlanesManager again(nullptr);
    EXPECT_EQ(2, again.LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"));
    EXPECT_EQ(0, again.GetIndexOfPlaneScene(0)); // no scene manager: no scenes
}

TEST_F(PlanesInLevel, ModelPartsAndLevelsOfDetail)
{
    PlanesManager pm(engine.get());
    ASSERT_EQ(2, pm.LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"));
    PlaneScene ps;
    PVector3 pos(Fx(1), Fx(2), Fx(3)), angles(Fx(10), Fx(20), Fx(30));
    EXPECT_EQ(0, pm.SetNewPlaneOnScene(5, &ps, level, "Null_Player", pos, angles, 0));
    EXPECT_EQ(nullptr, ps.unit);
    // Variant 1 asks for a rotor file the aircraft lacks: the first is used.
    ASSERT_EQ(1, pm.SetNewPlaneOnScene(0, &ps, level, "Null_Player", pos, angles, 1));
    EXPECT_EQ(5, ps.armour);
    EXPECT_EQ(7, ps.speed);
    EXPECT_EQ(2, ps.preset);
    ASSERT_NE(nullptr, ps.unit);
    P3DNullPoint* null = level->GetNullPointerByName("Null_Player");
    ASSERT_EQ(null, ps.null);
    EXPECT_EQ(ps.unit, null->unit); // the full model is plugged last
    EXPECT_EQ(Fx(1), null->tracks[kTrackPosX].value);
    EXPECT_EQ(Fx(20), null->tracks[kTrackRotY].value); // yaw
    EXPECT_EQ(Fx(30), null->tracks[kTrackRotX].value); // roll on the sixth track
    EXPECT_EQ(Fx(10), null->tracks[kTrackRotZ].value); // pitch on the fifth
    ASSERT_EQ(2u, ps.rotors.size());
    ASSERT_NE(nullptr, ps.rotorSpins[1]);

    // Flaps turn opposite ways and stop at 70 degrees; the rudder is NULL.
    ASSERT_NE(nullptr, ps.flapLeft);
    ASSERT_NE(nullptr, ps.flapRight);
    EXPECT_EQ(nullptr, ps.rudder);
    EXPECT_EQ(0, ps.rudderPresent);
    ps.SetRudderDegee(Fx(40));
    struct Flap {
        double deg, left, right;
    } flaps[] = {{200, 70, -70}, {40, 20, -20}, {-300, -70, 70}, {0, 0, 0}};
    for (auto f : flaps) {
        ps.SetFlapsDegree(Fx(f.deg));
        EXPECT_EQ(Fx(f.left), ps.flapLeft->value) << f.deg;
        EXPECT_EQ(Fx(f.right), ps.flapRight->value) << f.deg;
    }

    // Gun fire: hidden until fired, the channels turning opposite ways.
    ASSERT_EQ(2u, ps.gunFires.size());
    EXPECT_EQ(1, ps.gunFires[0]->hidden);
    ps.SetGunFireActive(true, Fx(5));
    EXPECT_EQ(0, ps.gunFires[1]->hidden);
    EXPECT_EQ(Fx(5), ps.gunFires[0]->value);
    EXPECT_EQ(Fx(-5), ps.gunFires[1]->value);
    ps.SetGunFireActive(false, Fx(5));
    EXPECT_EQ(1, ps.gunFires[0]->hidden);
    EXPECT_EQ(Fx(5), ps.gunFires[0]->value);

    // Levels of detail every 12.0 along the view plane's normal.
    ASSERT_EQ(2u, ps.lods.size());
    EXPECT_EQ(1u, ps.lods[0]->rotors.size());
    EXPECT_TRUE(ps.lods[1]->rotors.empty());
    struct Lod {
        double d;
        PlaneScene* want;
    } lods[] = {{10, &ps}, {12, &ps}, {20, ps.lods[0].get()}, {24, ps.lods[0].get()},
                {30, ps.lods[1].get()}, {500, ps.lods[1].get()}, {-1, nullptr}, {0, nullptr}};
    for (auto l : lods) {
        PPlane3 plane{0, 0, -0x10000, Fx(l.d + 3)}; // the null lies at z = 3.0
        ps.UpdateLODscene(&plane);
        EXPECT_EQ(l.want, ps.current) << l.d;
    }
}

TEST_F(PlanesInLevel, AircraftKeepsItsModelUpToDate)
{
    PlanesManager pm(engine.get());
    ASSERT_EQ(2, pm.LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"));
    MyAirplane plane(nullptr, nullptr);
    plane.Init(1);
    ASSERT_EQ(1, pm.SetNewPlaneOnScene(0, plane.model.get(), level, "Null_Player", PVector3(), PVector3(), 0));
    pm.UpdateAirplaneData(&plane);
    EXPECT_EQ(7, plane.speedRating);
    EXPECT_EQ(5, plane.armour);
    EXPECT_EQ(58982, plane.inputFilter); // control preset 2

    plane.UpdateWingPoints();
    EXPECT_EQ(PVector3(Fx(4), Fx(0.5), 0), plane.physics.rightWing);
    EXPECT_EQ(PVector3(Fx(-4), 0, 0), plane.physics.leftWing);

    plane.position = PVector3(Fx(1), Fx(2), Fx(3));
    plane.angles = PVector3(Fx(10), Fx(20), Fx(30));
    plane.UpdateModelPosition(0);
    P3DNullPoint* null = level->GetNullPointerByName("Null_Player");
    EXPECT_EQ(Fx(3), null->tracks[kTrackPosZ].value);
    EXPECT_EQ(Fx(30), null->tracks[kTrackRotX].value);
    EXPECT_EQ(Fx(30), plane.physics.roll);
    EXPECT_EQ(plane.position, plane.GetRealPosOnScene());

    // Behind the view plane the model is unplugged; in front, plugged again.
    PPlane3 behind{0, 0, 0x10000, Fx(-10)};
    plane.UpdateLODlevel(&behind);
    EXPECT_EQ(nullptr, plane.GetCurrentPlaneScene());
    plane.RefreshPluggedPlane(true);
    EXPECT_EQ(0, null->scenePlugged);
    EXPECT_EQ(0, plane.shown);
    PPlane3 far{0, 0, 0x10000, Fx(27)}; // 30.0 away: the last level
    plane.UpdateLODlevel(&far);
    plane.RefreshPluggedPlane(true);
    EXPECT_EQ(plane.model->lods[1]->unit, null->unit);
    EXPECT_EQ(1, plane.shown);

    // Rotors spin faster each call; gun fire shows while firing except on
    // every fifth frame.
    PPlane3 near{0, 0, 0x10000, Fx(2)};
    plane.UpdateLODlevel(&near);
    plane.throttle = 40;
    // Each rotor turns on its own channel although the rotors share their
    // scene, and another aircraft of the type leaves them alone.
    MyAirplane other(nullptr, nullptr);
    other.Init(0);
    ASSERT_EQ(1, pm.SetNewPlaneOnScene(0, other.model.get(), level, "Null_Player", PVector3(), PVector3(), 0));
    int32_t before = plane.model->rotorSpins[0]->value;
    plane.UpadteRotors();
    other.UpadteRotors();
    EXPECT_EQ(0x190900 + 20 * 0x8000, plane.rotorAngle);
    EXPECT_EQ(before + plane.rotorAngle, plane.model->rotorSpins[0]->value);
    EXPECT_EQ(before + plane.rotorAngle, plane.model->rotorSpins[1]->value);
    plane.state = MyAirplane::kStateFiring;
    plane.UpdateFireEffect(3, 0);
    EXPECT_EQ(0, plane.model->gunFires[0]->hidden);
    plane.UpdateFireEffect(5, 0);
    EXPECT_EQ(1, plane.model->gunFires[0]->hidden);
    plane.UpdateFireEffect(6, 1); // another weapon: nothing changes
    EXPECT_EQ(1, plane.model->gunFires[0]->hidden);

    // Placed on a level null point: its position and rotation.
    plane.SetOnNullPPosition(level, "Null_Spawn");
    EXPECT_EQ(Fx(7), plane.position.x);
    EXPECT_EQ(Fx(45), plane.angles.y);
}

} // namespace
