// Every level of the demo, loaded as the menu loads it, has every mesh its
// scene names: each model's mesh (textures found in one of the level's
// texture folders, the season's or the common one) and, for the models
// drawn in the play area, the distant copy that replaces it beyond the
// detail distance.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dobjects.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "tests/game/autopilot/autopilot.h"

namespace {

using namespace autopilot;

class LevelMeshes : public testing::TestWithParam<Level> {};

TEST_P(LevelMeshes, EveryModelHasItsMeshAndDistantCopy)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(GetParam().group, GetParam().level));
    P3DGameEngine* engine = pilot.Game()->Engine();
    ASSERT_TRUE(engine && engine->sceneCount > 0 && engine->scenes[0]);
    // The level is the first scene the game loads.
    P3DAnim* level = engine->scenes[0];
    P3DLods* lods = level->lods;
    ASSERT_TRUE(lods && lods->levelCount >= 1 && lods->meshes);

    int checked = 0;
    std::string missing;
    for (int i = 0; i < level->modelCount; ++i) {
        P3DModel const* m = level->models[i];
        if (!m || m->meshIndex < 0)
            continue;
        ASSERT_LT(m->meshIndex, engine->meshCount);
        char const* name = engine->meshNames[m->meshIndex];
        // Invisible collision boxes have no mesh to load.
        if (m->IsBoxColl() || (name && std::strcmp(name, "coll") == 0))
            continue;
        ++checked;
        if (!engine->meshes[m->meshIndex])
            missing += std::string(" ") + (name ? name : "?");
        // Background and sky models are drawn whole at any distance.
        if (m->IsBgModel() || m->IsSkyboxModel())
            continue;
        if (m->meshIndex >= lods->meshCount || !lods->meshes[m->meshIndex] || !lods->meshes[m->meshIndex][0])
            missing += std::string(" ") + (name ? name : "?") + (lods->suffix ? lods->suffix : "") + "1";
    }
    EXPECT_GT(checked, 10);
    EXPECT_EQ(missing, "") << "meshes not loaded";

    // The airfield's buildings for a person to look at: the aircraft put
    // beside the first hangar on four sides, turned toward it.
    if (GetParam().group != kArcade && GetParam().group != kMultiplayer)
        return;
    P3DModel const* hangar = nullptr;
    for (int i = 0; i < level->modelCount && !hangar; ++i) {
        P3DModel const* m = level->models[i];
        char const* name = m && m->meshIndex >= 0 ? engine->meshNames[m->meshIndex] : nullptr;
        if (name && std::strstr(name, "_hangar1") && !std::strstr(name, "_d1"))
            hangar = m;
    }
    ASSERT_TRUE(hangar);
    pilot.Fly(kCircle, 40);
    MyAirplane* me = pilot.Game() ? pilot.Game()->Player(0) : nullptr;
    ASSERT_TRUE(me);
    int const away = 30 * 65536, high = 10 * 65536;
    PVector3 const sides[4] = {{0, high, away}, {away, high, 0}, {0, high, -away}, {-away, high, 0}};
    for (int turn = 0; turn < 4; ++turn) {
        PVector3 at(hangar->PosX() + sides[turn].x, hangar->PosY() + sides[turn].y, hangar->PosZ() + sides[turn].z);
        // A folder of its own: the pilot saves through a scratch folder
        // beside the frame, and other tests run at the same time.
        std::string shot = "autopilot_shots/buildings_" + std::string(GetParam().name) + "/side" +
                           std::to_string(turn * 90) + ".png";
        for (int frame = 0; frame < 3; ++frame) { // the camera settles behind it
            me->position = me->displayedPosition = at;
            me->angles = me->displayedAngles = me->previousAngles = PVector3(0, turn * 90 * 65536, 0);
            me->UpdatePlanePositionToPhysicsData(0);
            me->UpdateModelPosition(0);
            pilot.SaveFrame(shot);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Demo, LevelMeshes, testing::ValuesIn(kDemoLevels),
                         [](testing::TestParamInfo<Level> const& i) { return std::string(i.param.name); });

} // namespace
