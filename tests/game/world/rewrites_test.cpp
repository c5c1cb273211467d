// The header summary, header lists, the player's objectives and the
// multiplayer and arcade rewrites of a parsed mission.
#include <string>

#include <gtest/gtest.h>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"

namespace {

// A mission read from text with the mission vocabulary.
struct Mission {
    ScriptReader r;
    explicit Mission(std::string const& text, bool read = true)
    {
        SPLM::DefineScriptSyntax(&r);
        r.SetContent(text);
        r.RemoveComments();
        r.PreprocessTemplates();
        r.RemoveTemplateDefinitions();
        if (read)
            r.ReadDefinitions();
    }
    Definition* Element(char const* block, char const* keyword, int i)
    {
        Definition* b = r.GetDefinition(block);
        ConfigLine* l = b ? b->GetConfigLine(keyword) : nullptr;
        return l ? l->definitionRef->GetArrayDefinition(i) : nullptr;
    }
    static std::string Text(Definition* d, char const* keyword, int i = 0)
    {
        ConfigLine* l = d ? d->GetConfigLine(keyword) : nullptr;
        return l && l->Value(i) ? l->Value(i)->c_str() : "(none)";
    }
    static int Int(Definition* d, char const* keyword) { return d->GetConfigLine(keyword)->GetValue_int(0); }
    std::string HeaderText(char const* keyword) { return Text(r.GetDefinition("header"), keyword); }
    std::string PlayerText(char const* keyword) { return Text(r.GetDefinition("mainPlayer"), keyword); }
    Definition* Gpo(int i) { return Element("GPOs", "gpo", i); }
    Definition* Command(int i) { return Element("Commands", "Command", i); }
};

char const* const kArcade = R"(
template enemy { typeName "x" airplane 0 enabled TRUE weapons 1 { weapons[0] { index 0 ammo 0 } } }
template score { delay 0 scoreA 0 scoreB 0 }
template respawn { delay 0 }
define header {
    mapdata "m" maptextures 1 { maptextures[0] { path "t" } }
    maps 2 { maps[0] { path "map0" } maps[1] { path "map1" } }
    season 3 { season[0] { path "s0" } season[1] { path "s1" } season[2] { path "s2" } }
    planes 2 { planes[0] { index "1" } planes[1] { index "3" } }
    bases 2 { bases[0] { name "b0" } bases[1] { name "b1" } }
    spawnPrefix "sp" spawnsCount 4
}
define mainPlayer { airplane 0 spawn "start"
    weapons 2 { weapons[0] { index 9 ammo 9 } weapons[1] { index 9 ammo 9 } } }
define GPOs { gpo 5 { gpo[0] { typeName "base" }
    gpo[1] template enemy gpo[2] template enemy gpo[3] template enemy gpo[4] template enemy } }
define Commands { Command 17 {
    Command[1] template score Command[7] template respawn Command[8] template respawn
    Command[9] template respawn Command[10] template respawn Command[11] template respawn
    Command[12] template respawn Command[13] template score Command[14] template score
    Command[15] template score Command[16] template score } }
define Events { Event 7 { Event[6] { gpoRefs 4 { gpoRefs[0] { gpo 1 } gpoRefs[1] { gpo 2 }
    gpoRefs[2] { gpo 3 } gpoRefs[3] { gpo 4 } } } } }
)";

uint32_t FixedSeed()
{
    return 12345;
}

struct SeedGuard {
    SeedGuard() { SPLM::SetRandomSeedSource(FixedSeed); }
    ~SeedGuard() { SPLM::SetRandomSeedSource(nullptr); }
};

TEST(ArcadeRewrite, FillsTheArcadeMissionFromTheSettings)
{
    SeedGuard seed;
    Mission m(kArcade);
    ASSERT_EQ(m.r.textErrors.count, 0);
    // map 1, season 2, aircraft 1, time limit on at 9 minutes, weapons 1,
    // respawn 1:30, enemy setting 1.
    SPLM::FixArcadeDataInParsedScript(nullptr, &m.r, 1, 2, 1, 1, 9, 0, 1, 1, 30, 1);

    EXPECT_EQ(m.HeaderText("mapdata"), "map1");
    EXPECT_EQ(Mission::Text(m.Element("header", "maptextures", 0), "path"), "s2");
    EXPECT_EQ(Mission::Text(m.Gpo(0), "typeName"), "b1");
    EXPECT_EQ(m.PlayerText("airplane"), "3");
    Definition* w0 = m.Element("mainPlayer", "weapons", 0);
    Definition* w1 = m.Element("mainPlayer", "weapons", 1);
    EXPECT_EQ(Mission::Int(w0, "index"), 0);
    EXPECT_EQ(Mission::Int(w0, "ammo"), -1);
    EXPECT_EQ(Mission::Int(w1, "index"), 3);
    EXPECT_EQ(Mission::Int(w1, "ammo"), 15);

    char const* const enabled[] = {"TRUE", "TRUE", "FALSE", "FALSE"};
    for (int k = 1; k <= 4; k++) {
        Definition* e = m.Gpo(k);
        EXPECT_EQ(Mission::Text(e, "typeName"), "sp" + std::to_string(k - 1));
        int plane = Mission::Int(e, "airplane");
        EXPECT_TRUE(plane == 1 || plane == 3) << plane;
        Definition* weapon = e->GetConfigLine("weapons")->definitionRef->GetArrayDefinition(0);
        EXPECT_EQ(Mission::Int(weapon, "index"), 11);
        EXPECT_EQ(Mission::Int(weapon, "ammo"), -1);
        EXPECT_EQ(Mission::Text(e, "enabled"), enabled[k - 1]) << k;
    }

    // Respawn 90 s: commands 7-10 wait 90 s, 12 (and 13-15 before the score
    // rewrite) 300 ms less; the score commands 1 and 13-16 get the range of
    // time level 3 and wait a second longer.
    int const delays[] = {0, 91000, 0, 0, 0, 0, 0, 90000, 90000, 90000, 90000, 0, 89700, 91000, 91000, 91000, 91000};
    for (int c = 0; c < 17; c++) {
        Definition* command = m.Command(c);
        if (command->GetConfigLine("delay")) {
            EXPECT_EQ(Mission::Int(command, "delay"), delays[c]) << c;
        }
    }
    int low, high;
    SPLM::GetArcadeScoreRange(low, high, 30, 1, 1, 3);
    EXPECT_EQ(Mission::Int(m.Command(13), "scoreA"), low);
    EXPECT_EQ(Mission::Int(m.Command(13), "scoreB"), high);
    EXPECT_EQ(high, 48);

    Definition* watch = m.Element("Events", "Event", 6);
    EXPECT_EQ(SPLM::GetEventsGpos_count(watch), 2);

    // The same seed picks the same aircraft.
    Mission again(kArcade);
    SPLM::FixArcadeDataInParsedScript(nullptr, &again.r, 1, 2, 1, 1, 9, 0, 1, 1, 30, 1);
    for (int k = 1; k <= 4; k++)
        EXPECT_EQ(Mission::Int(again.Gpo(k), "airplane"), Mission::Int(m.Gpo(k), "airplane"));
}

TEST(ArcadeRewrite, SettingsOutsideTheTablesAndMissingPositions)
{
    SeedGuard seed;
    // Weapon setting 7 has no row: weapons stay; aircraft choice -1 and 2
    // are outside the list.
    Mission m(kArcade);
    SPLM::FixArcadeDataInParsedScript(nullptr, &m.r, 9, 9, -1, 0, 0, 0, 7, 0, 30, 2);
    EXPECT_EQ(m.HeaderText("mapdata"), "m");
    EXPECT_EQ(m.PlayerText("airplane"), "0");
    EXPECT_EQ(Mission::Int(m.Element("mainPlayer", "weapons", 0), "index"), 9);
    EXPECT_EQ(SPLM::GetEventsGpos_count(m.Element("Events", "Event", 6)), 3);

    // Fewer objects and commands than spawn points: the missing ones are
    // skipped.
    Mission small("define header { spawnPrefix \"p\" spawnsCount 4 planes 1 { planes[0] { index \"0x2\" } } }\n"
                  "define GPOs { gpo 2 { gpo[1] { typeName \"e\" airplane 0 } } }\n"
                  "define Commands { Command 8 { Command[7] { delay 1 } } }");
    SPLM::FixArcadeDataInParsedScript(nullptr, &small.r, 0, 0, 0, 0, 0, 0, 2, 0, 45, 0);
    EXPECT_EQ(Mission::Text(small.Gpo(1), "typeName"), "p0");
    EXPECT_EQ(Mission::Int(small.Gpo(1), "airplane"), 2);
    EXPECT_EQ(Mission::Int(small.Command(7), "delay"), 45000);
}

TEST(ArcadeRewrite, ScoreRange)
{
    struct Case {
        int seconds, minutes, enemies, timeLevel, low, high;
    } const cases[] = {
        {30, 0, 2, 0, 50, 100}, // 192 clamped
        {30, 1, 0, 3, 18, 36},  // 12 + 24
        {50, 1, 0, 0, 5, 10},   // nothing left: the floor
        {30, 1, 0, 1, 30, 60},  // time level 1: bonus 36
        {30, 1, 0, 7, 18, 36},  // beyond 3: bonus 12
    };
    for (auto const& c : cases) {
        int low = -1, high = -1;
        SPLM::GetArcadeScoreRange(low, high, c.seconds, c.minutes, c.enemies, c.timeLevel);
        EXPECT_EQ(low, c.low) << c.seconds << " " << c.minutes << " " << c.enemies << " " << c.timeLevel;
        EXPECT_EQ(high, c.high) << c.seconds << " " << c.minutes << " " << c.enemies << " " << c.timeLevel;
    }
}

TEST(MultiplayerRewrite, MapSeasonAircraftSpawnAndBase)
{
    Mission m(kArcade);
    SPLM::FixMultiplayerDataInParsedScript(nullptr, &m.r, 0, 1, 5, 2);
    EXPECT_EQ(m.HeaderText("mapdata"), "map0");
    EXPECT_EQ(Mission::Text(m.Element("header", "maptextures", 0), "path"), "s1");
    EXPECT_EQ(m.PlayerText("airplane"), "5");
    EXPECT_EQ(m.PlayerText("spawn"), "sp2");
    EXPECT_EQ(Mission::Text(m.Gpo(0), "typeName"), "b0");

    // A spawn number equal to the count leaves the spawn; a map beyond the
    // maps still takes a base when there are enough.
    Mission edge("define header { mapdata \"m\" maps 1 { maps[0] { path \"a\" } }\n"
                 " bases 3 { bases[0] { name \"x\" } bases[1] { name \"y\" } bases[2] { name \"z\" } }\n"
                 " spawnPrefix \"sp\" spawnsCount 4 }\n"
                 "define mainPlayer { spawn \"start\" }\ndefine GPOs { gpo 1 { gpo[0] { typeName \"base\" } } }");
    SPLM::FixMultiplayerDataInParsedScript(nullptr, &edge.r, 2, 0, 1, 4);
    EXPECT_EQ(edge.HeaderText("mapdata"), "m");
    EXPECT_EQ(edge.PlayerText("spawn"), "start");
    EXPECT_EQ(edge.PlayerText("airplane"), "(none)");
    EXPECT_EQ(Mission::Text(edge.Gpo(0), "typeName"), "z");
}

TEST(HeaderAccessors, ListsAndObjectives)
{
    // A list's count is its low 8 bits: 300 elements report 44.
    Mission big("define header { maps 300 { maps[1] { path \"one\" } } }");
    PString** list = nullptr;
    unsigned char count = 0;
    SPLM::GetArrayStringsFromHeader(nullptr, &big.r, list, count, "header", "maps", "path");
    ASSERT_EQ(count, 44);
    EXPECT_EQ(list[0], nullptr);
    EXPECT_STREQ(list[1]->c_str(), "one");
    SPLM::GetArrayStringsFromHeader(nullptr, &big.r, list, count, "header", "season", "path");
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, 0);

    Mission o("define mainPlayer { objectives 2 { objectives[1] { action DEFEND target 4 isCompleted TRUE\n"
              " targets 3 { targets[0] { gpo 5 } targets[2] { gpo 7 } } } } }");
    int action = -1, target = -1, n = -1;
    wchar_t const* text = L"x";
    bool done = false;
    int* targets = nullptr;
    SPLM::GetObjectivesData_mainPlayer(nullptr, &o.r, action, target, text, done, 1, targets, n);
    EXPECT_EQ(action, 1);
    EXPECT_EQ(target, 4);
    EXPECT_TRUE(done);
    EXPECT_EQ(text, nullptr);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(targets[0], 5);
    EXPECT_EQ(targets[1], 0);
    EXPECT_EQ(targets[2], 7);
    delete[] targets;
    SPLM::GetObjectivesData_mainPlayer(nullptr, &o.r, action, target, text, done, 0, targets, n);
    EXPECT_EQ(target, 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(targets, nullptr);
}

} // namespace
