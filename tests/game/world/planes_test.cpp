// The aircraft catalogue: definition files from the tools' writer read back,
// malformed ones refused, and aircraft models built in a level with their
// rotors, flaps, gun fire and levels of detail.
#include <gtest/gtest.h>

#include <array>

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
    c.flapLeft = "flap_l", c.flapRight = "flap_r", c.rudder = "NULL";
    PlaneCfgLod l1, l2;
    l1.scene = "hawk_l1.pam";
    l1.rotors = {{"", 0}};
    l1.rotorNulls = {"Null_Rotor"};
    l2.scene = "hawk_l2.pam";
    l1.gunfire = l2.gunfire = "gunfire";
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
    hawk.rate2 = "22050";
    auto c = Parse(Bytes(hawk));
    ASSERT_TRUE(c);
    EXPECT_STREQ("Hawk", c->GetPlaneName());
    EXPECT_EQ(2, c->preset);
    EXPECT_EQ(4725, c->engineRate1); // left empty
    EXPECT_EQ(22050, c->engineRate2);
    const std::string scenes = "data\\planes\\hawk\\scenes\\";
    EXPECT_EQ(scenes + "hawk.pam", c->scenePath);
    EXPECT_EQ(std::vector<std::string>{scenes + "rotor.pam"}, c->rotorPaths);
    ASSERT_EQ(2u, c->lods.size());
    // A reused rotor takes the aircraft's path; a named one its own file.
    EXPECT_EQ(scenes + "hawk_l1.pam", c->lods[0]->scenePath);
    EXPECT_EQ((std::vector<std::string>{scenes + "rotor.pam", scenes + "extra.pam"}), c->lods[0]->rotorPaths);
    EXPECT_EQ((std::vector<int8_t>{0, -1}), c->lods[0]->rotorReuse);
    EXPECT_TRUE(c->lods[1]->rotorPaths.empty());
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
    std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"cut before the scene", good.substr(0, good.find("hawk.pam"))},
        {"cut in a level", good.substr(0, good.find("hawk_l2.pam") + 3)},
        {"no LODS=", replace("LODS=2", "LOTS=2")},
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
        {"empty scene name", replace("hawk.pam", "")},
    };
    ASSERT_TRUE(Parse(good));
    for (auto const& [what, bytes] : cases)
        EXPECT_FALSE(Parse(bytes)) << what;
}

// Aircraft scenes and a level written into a scratch directory, the
// catalogue (two aircraft) loaded into a scene manager.
class PlanesInLevel : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* m : {"body", "flap_l", "flap_r", "gunfire", "blade"})
            dir.Put(std::string("data/planes/hawk/models/") + m + ".pof", WritePof(Box(0.5, 0.5, 0.5).Pof()));
        PamScene plane;
        plane.meshes = {"body", "flap_l", "flap_r", "gunfire"};
        plane.models.resize(5); // two gun-fire models
        for (int i = 0; i < 5; i++)
            plane.models[i].mesh = std::min(i, 3);
        plane.nulls.resize(4);
        for (int i = 0; i < 4; i++)
            plane.nulls[i].name = std::array{"Null_Rotor", "Null_Rotor2", "WingL", "WingR"}[i];
        plane.nulls[2].tracks[0] = PamTrack::Constant(Fx(-4));
        plane.nulls[3].tracks[0] = PamTrack::Constant(Fx(4));
        plane.nulls[3].tracks[1] = PamTrack::Constant(Fx(0.5));
        for (const char* n : {"hawk", "hawk_l1", "hawk_l2"})
            dir.PutScene(std::string("data/planes/hawk/scenes/") + n + ".pam", plane);
        PamScene rotor;
        rotor.meshes = {"blade"};
        rotor.models = {PamModel{}};
        dir.PutScene("data/planes/hawk/scenes/rotor.pam", rotor);
        PamScene world;
        world.nulls.resize(2);
        world.nulls[0].name = "Null_Player", world.nulls[1].name = "Null_Spawn";
        world.nulls[1].tracks[0] = PamTrack::Constant(Fx(7));
        world.nulls[1].tracks[3] = PamTrack::Constant(Fx(45));
        dir.PutScene("level.pam", world);
        dir.Put("data/planes/config1.txt", Bytes(Hawk()));
        PlaneCfg second = Hawk();
        second.name = "Second";
        second.lods.clear();
        dir.Put("data/planes/config2.txt", Bytes(second));
        engine.reset(P3DGameEngine::Create(nullptr, 0x10000));
        ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", ""));
        level = engine->GetAnimationPtr(0);
        null = level->GetNullPointerByName("Null_Player");
        pm = std::make_unique<PlanesManager>(engine.get());
        ASSERT_EQ(2, pm->LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"));
    }

    DataDir dir;
    std::unique_ptr<P3DGameEngine> engine;
    P3DAnim* level = nullptr;
    P3DNullPoint* null = nullptr;
    std::unique_ptr<PlanesManager> pm;
};

TEST_F(PlanesInLevel, CatalogueEndsAtTheFirstMissingOrMalformedFile)
{
    EXPECT_STREQ("Second", pm->Get(1)->GetPlaneName());
    EXPECT_EQ(-1, pm->GetIndexOfPlaneScene(2));
    dir.Put("data/planes/config3.txt", std::string("Broken\r\nARMOUR=5\r\n"));
    PlanesManager again(nullptr);
    EXPECT_EQ(2, again.LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"));
}

TEST_F(PlanesInLevel, ModelPartsAndLevelsOfDetail)
{
    PlaneScene ps;
    PVector3 pos(Fx(1), Fx(2), Fx(3)), angles(Fx(10), Fx(20), Fx(30));
    EXPECT_EQ(0, pm->SetNewPlaneOnScene(5, &ps, level, "Null_Player", pos, angles, 0));
    EXPECT_EQ(nullptr, ps.unit);
    // Variant 1 asks for a rotor file the aircraft lacks: the first is used.
    ASSERT_EQ(1, pm->SetNewPlaneOnScene(0, &ps, level, "Null_Player", pos, angles, 1));
    ASSERT_EQ(null, ps.null);
    EXPECT_EQ(ps.unit, null->unit); // the full model is plugged last
    EXPECT_EQ(Fx(1), null->tracks[kTrackPosX].value);
    EXPECT_EQ(Fx(20), null->tracks[kTrackRotY].value); // yaw
    EXPECT_EQ(Fx(10), null->tracks[kTrackRotZ].value); // pitch on the fifth track
    ASSERT_EQ(2u, ps.rotors.size());
    ASSERT_NE(nullptr, ps.rotorSpins[1]);

    // Flaps turn opposite ways and stop at 70 degrees; the rudder is NULL.
    ASSERT_TRUE(ps.flapLeft && ps.flapRight);
    EXPECT_EQ(nullptr, ps.rudder);
    ps.SetRudderDegee(Fx(40));
    for (auto [deg, left] : {std::pair{200, 70}, {40, 20}, {-300, -70}, {0, 0}}) {
        ps.SetFlapsDegree(Fx(deg));
        EXPECT_EQ(std::pair(Fx(left), -Fx(left)), std::pair(ps.flapLeft->value, ps.flapRight->value)) << deg;
    }

    // Gun fire: hidden until fired, the channels turning opposite ways.
    ASSERT_EQ(2u, ps.gunFires.size());
    EXPECT_EQ(1, ps.gunFires[0]->hidden);
    ps.SetGunFireActive(true, Fx(5));
    EXPECT_EQ(0, ps.gunFires[1]->hidden);
    EXPECT_EQ(-ps.gunFires[0]->value, ps.gunFires[1]->value);

    // Levels of detail every 12.0 along the view plane's normal.
    ASSERT_EQ(2u, ps.lods.size());
    EXPECT_EQ(1u, ps.lods[0]->rotors.size());
    PlaneScene *l1 = ps.lods[0].get(), *l2 = ps.lods[1].get();
    for (auto [d, want] : {std::pair{12, &ps}, {20, l1}, {24, l1}, {30, l2}, {500, l2}, {-1, nullptr}, {0, nullptr}}) {
        PPlane3 plane{0, 0, -0x10000, Fx(d + 3)}; // the null lies at z = 3.0
        ps.UpdateLODscene(&plane);
        EXPECT_EQ(want, ps.current) << d;
    }
}

TEST_F(PlanesInLevel, AircraftKeepsItsModelUpToDate)
{
    MyAirplane plane(nullptr, nullptr), other(nullptr, nullptr);
    plane.Init(1);
    other.Init(0);
    ASSERT_EQ(1, pm->SetNewPlaneOnScene(0, plane.model.get(), level, "Null_Player", PVector3(), PVector3(), 0));
    pm->UpdateAirplaneData(&plane);
    EXPECT_EQ(58982, plane.inputFilter); // control preset 2

    // Both wing points come from their own null points.
    plane.UpdateWingPoints();
    EXPECT_EQ(PVector3(Fx(4), Fx(0.5), 0), plane.physics.rightWing);
    EXPECT_EQ(PVector3(Fx(-4), 0, 0), plane.physics.leftWing);

    plane.angles = PVector3(Fx(10), Fx(20), Fx(30));
    plane.UpdateModelPosition(0);
    EXPECT_EQ(Fx(30), null->tracks[kTrackRotX].value); // roll on the sixth track
    EXPECT_EQ(Fx(30), plane.physics.roll);

    // Behind the view plane the model is unplugged; in front, plugged again.
    PPlane3 behind{0, 0, 0x10000, Fx(-10)}, far{0, 0, 0x10000, Fx(27)}, near{0, 0, 0x10000, Fx(2)};
    plane.UpdateLODlevel(&behind);
    plane.RefreshPluggedPlane(true);
    EXPECT_EQ(0, null->scenePlugged + plane.shown);
    plane.UpdateLODlevel(&far); // 30.0 away: the last level
    plane.RefreshPluggedPlane(true);
    EXPECT_EQ(plane.model->lods[1]->unit, null->unit);
    EXPECT_EQ(1, plane.shown);

    // Each rotor turns on its own channel although the rotors share their
    // scene, and another aircraft of the type leaves them alone.
    plane.UpdateLODlevel(&near);
    plane.throttle = 40;
    ASSERT_EQ(1, pm->SetNewPlaneOnScene(0, other.model.get(), level, "Null_Player", PVector3(), PVector3(), 0));
    int32_t before = plane.model->rotorSpins[0]->value;
    plane.UpadteRotors();
    other.UpadteRotors();
    EXPECT_EQ(0x190900 + 20 * 0x8000, plane.rotorAngle);
    EXPECT_EQ(before + plane.rotorAngle, plane.model->rotorSpins[0]->value);
    EXPECT_EQ(before + plane.rotorAngle, plane.model->rotorSpins[1]->value);
    // Gun fire shows while firing except every fifth frame, for the gun only.
    plane.state = MyAirplane::kStateFiring;
    for (auto [frame, weapon, hidden] : {std::tuple{3, 0, 0}, {5, 0, 1}, {6, 1, 1}}) {
        plane.UpdateFireEffect(frame, weapon);
        EXPECT_EQ(hidden, plane.model->gunFires[0]->hidden) << frame;
    }

    plane.SetOnNullPPosition(level, "Null_Spawn");
    EXPECT_EQ(std::pair(Fx(7), Fx(45)), std::pair(plane.position.x, plane.angles.y));
}

} // namespace
