// The level catalogue tool: a table builds levels.cfg and dumps back the
// same; a bad row is reported with its line.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/tools/tool_runner.h"

namespace {

class LevelsTool : public tooltest::ScratchTest {};

TEST_F(LevelsTool, TableBuildsTheCatalogueAndDumpsBack)
{
    using tooltest::Q;
    std::string const table =
        "# title name script campaign mission mode ceiling timer maps source\n"
        "101 \"Convoy\" \"data_to_make\\scripts\\txt\\c1m2\" 0 1 SINGLEPLAYER -90 off 0 1\n"
        "300 \"Arcade run\" \"data_to_make\\scripts\\txt\\arcade\" 0 0 ARCADE 100 down:3:05 4 0\n";
    std::ofstream(root + "/levels.txt") << "  # comment only\n\n" << table;
    auto build = tooltest::RunTool("levelscfg", "build " + Q(root + "/levels.txt") + " " + Q(root + "/levels.cfg"), true);
    ASSERT_EQ(build.code, 0) << build.out;
    auto dump = tooltest::RunTool("levelscfg", "dump " + Q(root + "/levels.cfg"));
    ASSERT_EQ(dump.code, 0);
    EXPECT_EQ(dump.out, table);

    struct Case {
        char const* row;
        char const* why;
    } const bad[] = {
        {"1 \"a\" \"b\" 0 0 ARCADE 0 off 0", "expected 10 fields"},
        {"1 \"a\" \"b\" 0 0 ARCADES 0 off 0 0", "bad mode"},
        {"1 \"a\" \"b\" 0 0 ARCADE 0 up:3 0 0", "bad timer"},
        {"1 \"a\" \"b 0 0 ARCADE 0 off 0 0", "closing quote"},
    };
    for (auto const& c : bad) {
        std::ofstream(root + "/bad.txt") << "# first\n" << c.row << "\n";
        auto r = tooltest::RunTool("levelscfg", "build " + Q(root + "/bad.txt") + " " + Q(root + "/bad.cfg"), true);
        EXPECT_EQ(r.code, 1) << c.row;
        EXPECT_NE(r.out.find(":2: "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.why), std::string::npos) << r.out;
    }
}

} // namespace
