// Mission scripts end to end: text compiled by scriptc, loaded by
// SPLM::ParseScript from the game's path, read through the accessors.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "tests/game/world/game_fixture.h"
#include "tools/tool_runner.h"

namespace {

using tooltest::Q;

char const* const kMission = R"(
// header first, then the player, objects, commands, events
define header {
    mapdata "data\maps\sea.pam" animLoopStart 10 animLoopEnd 0x20 description 017
    maps 2 { maps[0] { path "m0" } maps[1] { path "m1" } }
}
define mainPlayer {
    spawn "start" currentWeapon 1 airplane 3
    weapons 2 { weapons[1] { index 4 } weapons[0] { index -1 ammo 20 } }
    objectives 1 { objectives[0] { action DEFEND isCompleted TRUE target 2
        targets 3 { targets[0] { gpo 5 } targets[2] { gpo 7 } } } }
    cameraLock 3 {
        cameraLock[0] { gpos 2 { gpos[0] { gpo_ 1 300 9 } gpos[1] { gpo_ 70000 2 8 } } title 12 }
        cameraLock[1] { gpo 0 100 1 }
    }
}
define GPOs {
    gpo 2 {
        gpo[0] { typeName "base" modelGroup 2 { modelGroup[1] { model "tower" } } }
        gpo[1] { typeName "e1" objectives 1 { objectives[0] { action FOLLOW title "ignored" } }
                 weapons 1 { weapons[0] { ammo 5 } } }
    }
}
define Commands {
    Command 1 { Command[0] { type GPO_EXPLODE modelsChange 1 { modelsChange[0] { change "a" "b" } } } }
}
define Events {
    Event 2 { Event[0] { type COUNTER_VALUE commands 2 { commands[0] { com 0 } commands[1] { com 0 } }
                         gpoRefs 1 { gpoRefs[0] { gpo 1 } } } }
}
)";

class MissionTest : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir.Full("data/scripts")); }
    // Compiles text into data/scripts/NAME.bin.
    void Compile(std::string const& text, std::string const& name)
    {
        std::ofstream(root + "/" + name + ".txt") << text;
        auto r = tooltest::RunTool("scriptc", Q(root + "/" + name + ".txt") + " " +
                                                  Q(root + "/data/scripts/" + name + ".bin"), true);
        ASSERT_EQ(r.code, 0) << r.out;
    }
    gametest::ScratchDir dir;
    std::string const root = dir.path;
};

// A manager whose objects the camera locks can name.
struct Manager : SPLM {
    GPO* objects[3] = {reinterpret_cast<GPO*>(0x10), reinterpret_cast<GPO*>(0x20), reinterpret_cast<GPO*>(0x30)};
    Manager()
    {
        m_gpos = objects;
        m_gpoCount = 3;
    }
};

TEST_F(MissionTest, CompiledMissionReadsThroughTheAccessors)
{
    Compile(kMission, "m1");
    ScriptReader r;
    ASSERT_EQ(SPLM::ParseScript(&r, "data_to_make\\scripts\\txt\\m1"), 1);

    EXPECT_STREQ(SPLM::GetMapDataFromHeader(&r)->c_str(), "data\\maps\\sea.pam");
    int start = -5, end = -5;
    SPLM::GetAnimationLoopFromHeader(&r, start, end);
    EXPECT_EQ(end, 32);
    EXPECT_EQ(SPLM::GetMissionDescription(&r), 15);

    // Weapons: absent values keep 0 and -1.
    ASSERT_EQ(SPLM::GetWeaponsAvailableCount_mainPlayer(&r), 2);
    int index, ammo;
    SPLM::GetWeaponData_mainPlayer(&r, index, ammo, 0);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(ammo, 20);
    SPLM::GetWeaponData_mainPlayer(&r, index, ammo, 1);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(ammo, -1);

    ASSERT_EQ(SPLM::GetGpos_count(&r), 2);
    Definition* base = SPLM::GetGpos_arrayElement(&r, 0);
    Definition* enemy = SPLM::GetGpos_arrayElement(&r, 1);
    ASSERT_EQ(SPLM::GetModelGroupCount_gpo(base), 2);
    PString* model = nullptr;
    SPLM::GetModelGroupData_gpo(base, model, 1);
    EXPECT_STREQ(model->c_str(), "tower");
    SPLM::GetWeaponData_gpo(enemy, index, ammo, 0);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(ammo, 5);
    int action, target;
    wchar_t const* title = L"x";
    bool done = true;
    SPLM::GetObjectivesData_gpo(enemy, action, target, title, done, 0);
    EXPECT_EQ(action, 2);
    EXPECT_EQ(target, -1);
    EXPECT_EQ(title, nullptr);
    EXPECT_FALSE(done);

    ASSERT_EQ(SPLM::GetEvents_count(&r), 2);
    Definition* event = SPLM::GetEvents_arrayElement(&r, 0);
    EXPECT_EQ(SPLM::GetEventsCommands_count(event), 2);
    EXPECT_EQ(SPLM::GetEventsGpos_count(event), 1);
    EXPECT_EQ(SPLM::EventKindOfScript(event->GetConfigLine("type")->GetValue_ownDef(0)), 7);
    EXPECT_EQ(SPLM::GetEventsCommands_count(SPLM::GetEvents_arrayElement(&r, 1)), 0);

    // Camera locks: object numbers are taken as 16 bits (70000 is 4464,
    // beyond the objects); ranges become 16.16.
    Manager m;
    SmartCamera* cams = nullptr;
    unsigned short count = 0;
    m.GetCameraLock_mainPlayer(&r, cams, count);
    ASSERT_EQ(count, 3);
    ASSERT_EQ(cams[0].count, 2);
    EXPECT_EQ(cams[0].objects[0], m.objects[1]);
    EXPECT_EQ(cams[0].ranges[0], 300 << 16);
    EXPECT_EQ(cams[0].objects[1], nullptr);
    EXPECT_EQ(cams[0].values[1], 8);
    EXPECT_EQ(cams[0].title, 12);
    ASSERT_EQ(cams[1].count, 1);
    EXPECT_EQ(cams[1].objects[0], m.objects[0]);
    EXPECT_EQ(cams[2].count, 0);
    EXPECT_EQ(cams[2].objects, nullptr);
    SPLM::FreeCameraLocks(cams, count);
}

TEST_F(MissionTest, AbsentPartsGiveTheDefaults)
{
    Compile("define header { } define GPOs { gpo 0 }", "empty");
    ScriptReader r;
    ASSERT_EQ(SPLM::ParseScript(&r, "data_to_make\\scripts\\txt\\empty"), 1);
    EXPECT_EQ(SPLM::GetGpos_count(&r), 1);
    EXPECT_EQ(SPLM::GetCommands_count(&r), 1);
    EXPECT_EQ(SPLM::GetEvents_count(&r), 0);
    EXPECT_EQ(SPLM::GetSpawnPoint_mainPlayer(&r), nullptr);
    int index = 9, ammo = 9;
    SPLM::GetWeaponData_mainPlayer(&r, index, ammo, 0);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(ammo, -1);
    SmartCamera* cams = reinterpret_cast<SmartCamera*>(1);
    unsigned short count = 5;
    Manager m;
    m.GetCameraLock_mainPlayer(&r, cams, count);
    EXPECT_EQ(cams, nullptr);
    EXPECT_EQ(count, 0);

    // Missing and empty scripts.
    ScriptReader missing;
    EXPECT_EQ(SPLM::ParseScript(&missing, "data_to_make\\scripts\\txt\\nothere"), 0);
    std::ofstream(root + "/data/scripts/zero.bin").close();
    ScriptReader zero;
    EXPECT_EQ(SPLM::ParseScript(&zero, "data_to_make\\scripts\\txt\\zero"), 0);
}

std::string ReadAll(std::string const& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST_F(MissionTest, CompilerDumpsWhatCompilesBackTheSame)
{
    Compile(kMission, "m1");
    auto dump = tooltest::RunTool("scriptc", "--dump " + Q(root + "/data/scripts/m1.bin"));
    ASSERT_EQ(dump.code, 0);
    Compile(dump.out, "again");
    EXPECT_EQ(ReadAll(root + "/data/scripts/again.bin"), ReadAll(root + "/data/scripts/m1.bin"));

    // A misspelt enumeration compiles (as the first name) with a warning;
    // text errors refuse the script and leave no output.
    std::ofstream(root + "/warn.txt") << "define GPOs { gpo 1 { gpo[0] { side ENEMYY } } }";
    auto warn = tooltest::RunTool("scriptc", Q(root + "/warn.txt") + " " + Q(root + "/warn.bin"), true);
    EXPECT_EQ(warn.code, 0);
    EXPECT_NE(warn.out.find("ENEMYY"), std::string::npos) << warn.out;
    std::ofstream(root + "/bad.txt") << "template t { template t } define header { template t }";
    auto bad = tooltest::RunTool("scriptc", Q(root + "/bad.txt") + " " + Q(root + "/bad.bin"));
    EXPECT_EQ(bad.code, 1);
    EXPECT_FALSE(std::ifstream(root + "/bad.bin").good());
    EXPECT_EQ(tooltest::RunTool("scriptc", "--dump " + Q(root + "/bad.txt")).code, 1);
    EXPECT_EQ(tooltest::RunTool("scriptc", "").code, 2);
}

TEST(MissionSchema, PathsAndRunTimeKinds)
{
    struct Case {
        char const* name;
        char const* path;
    } const paths[] = {
        {"data_to_make\\scripts\\txt\\c1m1", "data\\scripts\\c1m1.bin"},
        {"0123456789012345678901234arcade", "data\\scripts\\arcade.bin"},
        {"short", "data\\scripts\\.bin"},
        {nullptr, "data\\scripts\\.bin"},
    };
    for (auto const& c : paths)
        EXPECT_STREQ(SPLM::CompiledScriptPath(c.name).c_str(), c.path) << (c.name ? c.name : "null");

    // NONE is last at run time; the distance and counter conditions swap.
    EXPECT_EQ(SPLM::EventKindOfScript(0), 14);
    EXPECT_EQ(SPLM::EventKindOfScript(8), 8);
    EXPECT_EQ(SPLM::EventKindOfScript(9), 7);
    EXPECT_EQ(SPLM::EventKindOfScript(15), 14);
    // Values beyond a list fall back instead of reading past it.
    EXPECT_EQ(SPLM::BehaviourOfScript(5), 4);
    EXPECT_EQ(SPLM::ReferenceTypeOfScript(4), 0);
}

} // namespace
