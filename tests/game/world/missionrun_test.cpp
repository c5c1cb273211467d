// A mission compiled by scriptc, built on a level scene and run frame by
// frame without drawing: its objects, commands and events match the
// script, and it ends when its target or the player dies.
#include <gtest/gtest.h>

#include <memory>

#include "game/scene/p3dgameengine.h"
#include "game/world/eventhandler.h"
#include "game/world/gameplayobject.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "tests/game/world/world_fixture.h"
#include "tools/tool_runner.h"

namespace {

using namespace worldtest;

char const* const kScript = R"(
define mainPlayer { spawn "spawn" weapons 1 { weapons[0] { index 0 } } }
define GPOs {
    gpo 4 {
        gpo[0] { type POINT typeName "tgt" objectType VEHICLE side ENEMY armor 2 }
        gpo[1] { type POINT typeName "absent" }
        gpo[2] { type POINT typeName "gun" objectType GROUND_AA }
        gpo[3] { type POINT }
    }
}
define Commands {
    Command 4 {
        Command[0] { type SET_MISSION_COMPLETED }
        Command[1] { type PROFILE_INCREASE_SCORE score 50 }
        Command[2] { type SET_MISSION_FAILED }
        Command[3] { type GPO_DISABLE gpoRef 2 delay 500 }
    }
}
define Events {
    Event 4 {
        Event[0] { type GPO_HEALTH_VALUE gpoRef 0 value 0 commands 2 { commands[0] { com 0 } commands[1] { com 1 } } }
        Event[1] { type GPO_HEALTH_VALUE gpoRef -1 value 0 commands 1 { commands[0] { com 2 } } }
        Event[2] { type NONE }
        Event[3] { type NONE commands 0 { } }
    }
}
)";

struct Points : MissionScore {
    int total = 0;
    void ScoreIncrease(int p) override { total += p; }
};

TEST(MissionRun, CompiledScriptBuildsAndEndsByItsEvents)
{
    DataDir dir;
    PamScene level;
    for (char const* n : {"spawn", "tgt", "gun"}) {
        PamNull p;
        p.name = n;
        p.tracks[0] = PamTrack::Constant(Fx(n[0] == 't' ? 10 : 0));
        level.nulls.push_back(p);
    }
    dir.PutScene("level.pam", level);
    dir.Put("m.txt", std::string(kScript));
    dir.Put("data/scripts/.keep", std::string());
    auto r = tooltest::RunTool("scriptc", tooltest::Q(dir.path + "/m.txt") + " " +
                                              tooltest::Q(dir.path + "/data/scripts/m.bin"), true);
    ASSERT_EQ(r.code, 0) << r.out;

    for (bool playerDies : {false, true}) {
        std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
        ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", ""));
        ScriptReader script;
        ASSERT_EQ(SPLM::ParseScript(&script, "data_to_make\\scripts\\txt\\m"), 1);
        SPLM m;
        m.Init(engine.get(), nullptr, 0);
        m.SetCurrentLevel(engine->GetAnimationPtr(0));
        GPO* player = new GPO;
        player->DefineTypeName("spawn");
        player->DefineIDNone(true);
        player->DefineObjectType(GPO::PLANE);
        ASSERT_EQ(player->GenerateFromLevel(engine.get(), engine->GetAnimationPtr(0)), 1);
        player->SetInternalHealthRef();
        m.SetPlayer(player);
        Points points;
        ASSERT_EQ(m.DefineGPOs(nullptr, nullptr, nullptr, &points, &script, nullptr, nullptr), 1);

        // Element 1 is not in the level (a null entry keeps the numbers), the
        // element without a name makes nothing; the events without commands are
        // dropped.
        GPO** gpos = nullptr;
        ASSERT_EQ(m.GetGPOsPtr(gpos), 3);
        EXPECT_EQ(gpos[1], nullptr);
        EXPECT_EQ(gpos[0]->GetPosition().x, Fx(10));
        EXPECT_EQ(gpos[0]->id, GPO::kIdBase);
        EXPECT_EQ(gpos[2]->objectKind, GPO::GROUND_AA);
        EXPECT_EQ(m.CommandCount(), 4);
        EXPECT_EQ(m.GetCommand(3)->gpo, gpos[2]);
        EXPECT_EQ(m.GetEventHandler()->Count(), 2);
        EXPECT_EQ(player->weaponIds.size(), 1u);

        unsigned t = 0;
        for (; t < 1000; t += 25)
            ASSERT_EQ(m.HandleLevelEvents(nullptr, t, 25), 0);
        (playerDies ? player : gpos[0])->ReduceHealth(GPO::kFatalHit);
        EXPECT_EQ(m.HandleLevelEvents(nullptr, t, 25), 1);
        EXPECT_EQ(m.HandleLevelEvents(nullptr, t + 25, 25), 1);
        EXPECT_EQ(m.GetCondition(), playerDies ? CONDITION_FAILED : CONDITION_COMPLETED);
        EXPECT_EQ(points.total, playerDies ? 0 : 50); // the fixed score, not the random bounds
    }
}

// An object following a path stands at the path's first frame before the
// first frame of play: an event at the scene's frame-0 place never sees it.
TEST(MissionRun, PathFollowerStartsAtItsFirstFrame)
{
    DataDir dir;
    PamScene level;
    PamNull spawn, truck;
    spawn.name = "spawn";
    truck.name = "truck";
    truck.tracks[0] = PamTrack{{{0, 0}, {100, Fx(100)}}};
    level.nulls = {spawn, truck};
    dir.PutScene("level.pam", level);
    dir.Put("m.txt", std::string(R"(define GPOs { gpo 1 { gpo[0] { type POINT typeName "truck" objectType VEHICLE
        followPath TRUE followPathStart 50 followPathEnd 100 followPathSpeed 10 } } })"));
    dir.Put("data/scripts/.keep", std::string());
    auto r = tooltest::RunTool("scriptc", tooltest::Q(dir.path + "/m.txt") + " " +
                                              tooltest::Q(dir.path + "/data/scripts/m.bin"), true);
    ASSERT_EQ(r.code, 0) << r.out;
    std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
    ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", ""));
    ScriptReader script;
    ASSERT_EQ(SPLM::ParseScript(&script, "data_to_make\\scripts\\txt\\m"), 1);
    SPLM m;
    m.Init(engine.get(), nullptr, 0);
    m.SetCurrentLevel(engine->GetAnimationPtr(0));
    ASSERT_EQ(m.DefineGPOs(nullptr, nullptr, nullptr, nullptr, &script, nullptr, nullptr), 1);
    GPO** gpos = nullptr;
    ASSERT_EQ(m.GetGPOsPtr(gpos), 1);
    EXPECT_NEAR(Db(gpos[0]->GetPosition().x), 50, 1);
}

} // namespace
