// Every level of the demo played by the test pilot: each campaign mission
// and time-attack level is won and is lost.
#include <gtest/gtest.h>

#include "game/world/command.h"
#include "game/world/korvanth.h"
#include "game/world/maingame.h"
#include "tests/game/autopilot/autopilot.h"

namespace {

using namespace autopilot;

class Levels : public testing::TestWithParam<Level> {};

TEST_P(Levels, Won)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(GetParam().group, GetParam().level));
    // A few frames of the first mission, for a person to look at.
    if (GetParam().group == 0 && GetParam().level == 0)
        pilot.KeepFrames("autopilot_shots/c1m1", 200);
    Outcome o = pilot.Fly(kWin, 4 * 60 * 40);
    EXPECT_EQ(o.condition, CONDITION_COMPLETED) << o.log;
    EXPECT_EQ(o.paused, MainGame::PAUSE_COMPLETED);
    std::printf("%s won after %d frames (%.1f s)\n", GetParam().name, o.frames, o.frames / 40.0);
}

TEST_P(Levels, Lost)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(GetParam().group, GetParam().level));
    Outcome o = pilot.Fly(kLeave, 2 * 60 * 40);
    EXPECT_EQ(o.condition, CONDITION_FAILED) << o.log;
    EXPECT_EQ(o.paused, MainGame::PAUSE_FAILED);
    EXPECT_LT(o.playerHealth, 1);
    std::printf("%s lost after %d frames (%.1f s)\n", GetParam().name, o.frames, o.frames / 40.0);
}

INSTANTIATE_TEST_SUITE_P(Demo, Levels, testing::ValuesIn(kDemoLevels, kDemoLevels + kWinnableLevels),
                         [](testing::TestParamInfo<Level> const& i) { return std::string(i.param.name); });

// The flight school: the drill's four steps open the drone, which goes down.
TEST(Tutorial, ReachesItsEnd)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(kTutorial, 0));
    Outcome o = pilot.Fly(kWin, 3 * 60 * 40);
    EXPECT_EQ(o.condition, CONDITION_COMPLETED) << o.log;
    std::printf("tutorial done after %d frames (%.1f s)\n", o.frames, o.frames / 40.0);
}

// The arcade level and the match map (the local player's side, as a match
// loads it) run a simulated minute: enemies come and go, nothing fails.
class OtherModes : public testing::TestWithParam<int> {};

TEST_P(OtherModes, RunAMinute)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(GetParam(), 0));
    pilot.KeepFrames(GetParam() == kArcade ? "autopilot_shots/arcade" : "autopilot_shots/match", 600);
    Outcome o = pilot.Fly(GetParam() == kArcade ? kWin : kCircle, 60 * 40);
    EXPECT_EQ(o.condition, CONDITION_IN_PROGRESS) << o.log;
    EXPECT_GT(o.playerHealth, 0);
    EXPECT_EQ(pilot.App()->State(), STATE_GAME);
}

INSTANTIATE_TEST_SUITE_P(Demo, OtherModes, testing::Values(int(kArcade), int(kMultiplayer)),
                         [](testing::TestParamInfo<int> const& i) {
                             return std::string(i.param == kArcade ? "arcade" : "match");
                         });

} // namespace
