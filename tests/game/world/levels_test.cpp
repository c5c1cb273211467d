// The level catalogue: levels.cfg as the writer makes it, groups, unlocking,
// the level window's touch and drawing, and the arcade settings.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/world/levelsmanager.h"
#include "tools/lib/levelscfg_writer.h"
#include "tests/game/world/world_fixture.h"

namespace {

levelscfg::Level Level(int32_t title, char const* name, int mode, int campaign, int mission)
{
    levelscfg::Level l;
    l.title = title;
    l.name = name;
    l.script = std::string("data_to_make\\scripts\\txt\\") + name;
    l.mode = int8_t(mode);
    l.campaign = int8_t(campaign);
    l.mission = int8_t(mission);
    return l;
}

std::vector<uint8_t> Encode(std::vector<levelscfg::Level> const& levels)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(levelscfg::Encode(levels, bytes, nullptr));
    return bytes;
}

TEST(LevelCatalogue, RecordsRoundTripThroughTheFile)
{
    levelscfg::Level a = Level(-7, "c1m1", LevelsManager::SINGLEPLAYER, 2, 3);
    a.ceiling = -90;
    a.timerMinutes = 4;
    a.timerSeconds = 30;
    a.timerOn = 1;
    a.timerDirection = 1;
    a.textSource = 3;
    levelscfg::Level arcade = Level(300, "arcade", LevelsManager::ARCADE, 0, 0);
    arcade.mapCount = 4;
    levelscfg::Level unnamed = Level(1, "", LevelsManager::TUTORIAL, 0, 0);
    unnamed.script.clear();
    std::vector<uint8_t> bytes = Encode({a, arcade, unnamed});
    // count, title, "c1m1" and its script, then the ten bytes in file order.
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[1], 0xF9);
    EXPECT_EQ(bytes[4], 0xFF);
    EXPECT_EQ(bytes[5], 4);
    size_t tail = 1 + 4 + 5 + 1 + a.script.size();
    std::vector<uint8_t> const expected = {2, 3, 0, uint8_t(-90), 4, 30, 1, 1, 0, 3};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(tail), bytes.begin() + long(tail) + 10), expected);

    LevelsManager m(nullptr, nullptr, nullptr);
    m.LoadLevelConfig(nullptr, bytes.data(), bytes.size());
    ASSERT_EQ(m.RecordCount(), 3);
    LevelConfig const* c = m.GetRecord(0);
    EXPECT_EQ(c->title, -7);
    EXPECT_EQ(c->script, "data_to_make\\scripts\\txt\\c1m1");
    EXPECT_EQ(c->ceiling, -90);
    EXPECT_EQ(c->textSource, 3);
    EXPECT_EQ(m.GetArcadeMapCount(), 4);
    EXPECT_EQ(m.GetRecord(2)->name, "");
    EXPECT_EQ(m.GetRecord(2)->script, "");
    EXPECT_EQ(m.GetRecord(3), nullptr);
}

TEST(LevelCatalogue, DamagedFilesKeepTheCompleteRecords)
{
    levelscfg::Level const a = Level(1, "a", 0, 0, 0), b = Level(2, "bb", 0, 0, 1), c = Level(3, "ccc", 0, 0, 2);
    std::vector<uint8_t> bytes = Encode({a, b, c});
    size_t first = Encode({a}).size();
    size_t second = Encode({a, b}).size();
    struct Case {
        size_t length;
        int records;
    } const cases[] = {{1, 0}, {4, 0}, {first - 1, 0}, {first, 1}, {first + 5, 1}, {second - 1, 1}, {second, 2},
                       {bytes.size() - 1, 2}, {bytes.size(), 3}};
    for (auto const& t : cases) {
        LevelsManager m(nullptr, nullptr, nullptr);
        m.LoadLevelConfig(nullptr, bytes.data(), t.length);
        EXPECT_EQ(m.RecordCount(), t.records) << t.length;
    }
    // A count byte of 0x80 or above is negative: nothing.
    bytes[0] = 0x83;
    LevelsManager negative(nullptr, nullptr, nullptr);
    negative.LoadLevelConfig(nullptr, bytes.data(), bytes.size());
    EXPECT_EQ(negative.RecordCount(), 0);
    std::string err;
    EXPECT_FALSE(levelscfg::Encode(std::vector<levelscfg::Level>(128), bytes, &err));

    // A missing catalogue leaves it empty; loading still succeeds.
    worldtest::DataDir dir;
    LevelsManager missing(nullptr, nullptr, nullptr);
    EXPECT_EQ(missing.PreprocessScripts(nullptr, nullptr), 1);
    EXPECT_EQ(missing.RecordCount(), 0);
    LevelsGroup* g = missing.AddLevelsGroup(LevelsManager::SINGLEPLAYER, 0);
    EXPECT_EQ(g->Count(), 0);
    EXPECT_EQ(g->GetLevelConfig(0), nullptr);
    EXPECT_EQ(g->ProcessLevelsWindow(16, 5), nullptr);
}

TEST(LevelCatalogue, GroupsSortStablyAndUnlockByPosition)
{
    std::vector<uint8_t> bytes = Encode({
        Level(10, "m2", LevelsManager::SINGLEPLAYER, 0, 2),
        Level(11, "other", LevelsManager::SINGLEPLAYER, 1, 0),
        Level(12, "m0", LevelsManager::SINGLEPLAYER, 0, 0),
        Level(13, "m1a", LevelsManager::SINGLEPLAYER, 0, 1),
        Level(14, "t0", LevelsManager::TIMEATTACK, 0, 0),
        Level(15, "m1b", LevelsManager::SINGLEPLAYER, 0, 1),
    });
    LevelsManager m(nullptr, nullptr, nullptr);
    m.LoadLevelConfig(nullptr, bytes.data(), bytes.size());
    LevelsGroup* g = m.AddLevelsGroup(LevelsManager::SINGLEPLAYER, 0);
    ASSERT_EQ(g->Count(), 4);
    char const* const order[] = {"m0", "m1a", "m1b", "m2"};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(g->GetLevelConfig(i)->name, order[i]) << i;
    EXPECT_EQ(g->GetLevelConfig(4), nullptr);
    EXPECT_EQ(m.AddLevelsGroup(LevelsManager::TIMEATTACK, 0)->Count(), 1);

    // Keys: up wraps to the last, down past the end to the first; fire takes
    // only a playable level (unlock count 2: positions 0 and 1).
    EXPECT_EQ(g->ProcessLevelsWindow(4, 2), nullptr);
    EXPECT_EQ(g->selected, 3);
    EXPECT_EQ(g->ProcessLevelsWindow(16, 2), nullptr);
    g->ProcessLevelsWindow(8, 2);
    EXPECT_EQ(g->selected, 0);
    EXPECT_EQ(g->ProcessLevelsWindow(8 | 16, 2), g->GetLevelConfig(1));

    // Touch: the window stores the slots (two columns, rows downward); a
    // release on a playable slot selects it.
    g->DrawLevelsWindow(nullptr, PRect{0, 0, 216, 216}, 2, 0, 0, false);
    PRect third = g->GetLevelConfig(2)->slot;
    EXPECT_EQ(third.x, 8);
    EXPECT_EQ(third.y, 8 + 100);
    EXPECT_EQ(third.width, 99);
    PRect second = g->GetLevelConfig(1)->slot;
    EXPECT_EQ(second.x, 108);
    EXPECT_EQ(g->ProcessLevelsWindow_Touchscreen(third.x + 5, third.y + 5, false, true, 2), nullptr);
    EXPECT_EQ(g->ProcessLevelsWindow_Touchscreen(second.x + 5, second.y + 5, true, true, 2), nullptr);
    EXPECT_EQ(g->ProcessLevelsWindow_Touchscreen(second.x + 5, second.y + 5, false, false, 2), nullptr);
    EXPECT_EQ(g->ProcessLevelsWindow_Touchscreen(second.x + 99, second.y, false, true, 2), g->GetLevelConfig(1));
    EXPECT_EQ(g->selected, 1);
    EXPECT_EQ(g->ProcessLevelsWindow_Touchscreen(third.x + 5, third.y + 5, false, true, 3), g->GetLevelConfig(2));
}

TEST(LevelCatalogue, ArcadeSettings)
{
    LevelsGroup g(nullptr, nullptr);
    using S = LevelsGroup;
    // Time limit: right at choice 2 switches it off, left when off switches
    // it on at the current choice.
    g.timeLimitChoice = 1;
    g.ApplyArrow(S::SET_TIME_LIMIT, S::ARROW_RIGHT);
    EXPECT_EQ(g.timeLimitChoice, 2);
    EXPECT_EQ(g.timeLimitMinutes, 9);
    EXPECT_TRUE(g.IsArrowEnabled(S::SET_TIME_LIMIT, S::ARROW_RIGHT, 0, 0, 0));
    g.ApplyArrow(S::SET_TIME_LIMIT, S::ARROW_RIGHT);
    EXPECT_EQ(g.timeLimitOn, 0);
    EXPECT_FALSE(g.IsArrowEnabled(S::SET_TIME_LIMIT, S::ARROW_RIGHT, 0, 0, 0));
    EXPECT_TRUE(g.IsArrowEnabled(S::SET_TIME_LIMIT, S::ARROW_LEFT, 0, 0, 0));
    g.ApplyArrow(S::SET_TIME_LIMIT, S::ARROW_LEFT);
    EXPECT_EQ(g.timeLimitOn, 1);
    EXPECT_EQ(g.timeLimitChoice, 2);
    g.ApplyArrow(S::SET_TIME_LIMIT, S::ARROW_LEFT);
    EXPECT_EQ(g.timeLimitMinutes, 6);

    // Respawn times in minutes and seconds.
    g.ApplyArrow(S::SET_RESPAWN, S::ARROW_RIGHT);
    EXPECT_EQ(g.respawnMinutes, 1);
    EXPECT_EQ(g.respawnSeconds, 30);
    EXPECT_FALSE(g.IsArrowEnabled(S::SET_RESPAWN, S::ARROW_RIGHT, 0, 0, 0));
    g.respawnChoice = 0;
    g.EnemyRespawnUpdate();
    EXPECT_EQ(g.respawnMinutes, 0);
    EXPECT_EQ(g.respawnSeconds, 30);

    g.enemySetting = 1;
    EXPECT_FALSE(g.IsArrowEnabled(S::SET_ENEMIES, S::ARROW_LEFT, 3, 2, 4));
    g.enemySetting = 3;
    EXPECT_FALSE(g.IsArrowEnabled(S::SET_ENEMIES, S::ARROW_RIGHT, 3, 2, 4));
    g.map = 1;
    EXPECT_FALSE(g.IsArrowEnabled(S::SET_MAP, S::ARROW_RIGHT, 3, 2, 4));
    EXPECT_FALSE(g.IsArrowEnabled(S::SET_AIRCRAFT, S::ARROW_LEFT, 1, 2, 4));
}

TEST(LevelWindow, DrawsItsSlotsWithIconsOnTheSoftwareRenderer)
{
    worldtest::DataDir dir;
    std::string const icon = "data/2dgfx/mission_icons/campaign_1_1.png";
    dir.Put(icon, std::string()); // makes the folders
    ASSERT_TRUE(worldtest::SaveFrame(dir.Full(icon), std::vector<uint32_t>(48 * 48, 0x00FF00), 48, 48));
    worldtest::SoftContext sc(240, 160);
    ASSERT_NE(sc.ctx, nullptr);
    LevelsManager m(sc.ctx, nullptr, nullptr);
    ASSERT_TRUE(m.AddHeaderConfig(sc.ctx, 1, "a", 0, 0, 0, "s", 0, 0, 0, 0, 0, 0, 0));
    ASSERT_TRUE(m.AddHeaderConfig(sc.ctx, 2, "b", 0, 0, 1, "s", 0, 0, 0, 0, 0, 0, 0));
    ASSERT_NE(m.GetRecord(0)->icon, nullptr);
    EXPECT_EQ(m.GetRecord(1)->icon, nullptr);
    LevelsGroup* g = m.AddLevelsGroup(LevelsManager::SINGLEPLAYER, 0);
    g->DrawLevelsWindow(nullptr, PRect{0, 0, 240, 160}, 1, 0, 0, false);
    std::vector<uint32_t> px = sc.Read();
    auto at = [&](int x, int y) { return px[size_t(y) * 240 + size_t(x)]; };
    // The first slot: dark outline, icon (48 x 48, box 48 x 48) at x + 6,
    // centred; the second (locked) is shaded.
    PRect first = g->GetLevelConfig(0)->slot;
    EXPECT_GT((at(first.x, first.y) >> 16) & 0xFF, (at(first.x, first.y) >> 8) & 0xFF);
    EXPECT_EQ(at(first.x + 6 + 24, first.y + first.height / 2) & 0xFF00FF, 0u);
    EXPECT_GT((at(first.x + 6 + 24, first.y + first.height / 2) >> 8) & 0xFF, 0xF0u);
    PRect second = g->GetLevelConfig(1)->slot;
    EXPECT_NE(at(second.x + 30, second.y + 30), at(first.x + first.width - 10, first.y + first.height - 10));
    EXPECT_EQ(g->DrawArcadeLevelsWindow(nullptr, PRect{0, 0, 240, 160}, nullptr, 0, nullptr, 0, 1, 4, nullptr,
                                        nullptr, 5, 5, false, true),
              0);
}

} // namespace
