// planecfg: a description written as a definition file and read back through
// the game's reader prints the same description; broken descriptions and
// files are refused.
#include <string>

#include <gtest/gtest.h>

#include "tests/tools/tool_runner.h"
#include "tools/lib/toolfile.h"

namespace {

using tooltest::Q;
using tooltest::Result;

Result RunTool(std::string const& args) { return tooltest::RunTool("planecfg", args); }

void Put(std::string const& path, std::string const& text)
{
    std::string err;
    ASSERT_TRUE(WriteFileAtomic(path, text.data(), text.size(), &err)) << err;
}

class Planecfg : public tooltest::ScratchTest {};

TEST_F(Planecfg, WriteThenCheckRoundTrip)
{
    const std::string desc = "name Twin Hawk\narmour 9\nspeed 3\ncontrols 1\nrate1 8000\nrate2 22050\n"
                             "folder data\\planes\\twin\\\nscene twin.pam\nrotor a.pam\nrotor b.pam\n"
                             "rotor-null Null_Rotor\ngunfire gf\nflap-left fl\nflap-right fr\nrudder NULL\n"
                             "lod\nscene twin_l1.pam\nrotor reuse 1\nrotor own.pam\nrotor-null Null_Rotor\n"
                             "gunfire gf\nflap-left NULL\nflap-right NULL\nrudder NULL\n";
    Put(root + "/in.txt", "# comment\n" + desc);
    ASSERT_EQ(0, RunTool("write " + Q(root + "/in.txt") + " " + Q(root + "/config1.txt")).code);
    Result check = RunTool("check " + Q(root + "/config1.txt"));
    EXPECT_EQ(0, check.code);
    EXPECT_EQ(desc, check.out);
}

TEST_F(Planecfg, RefusesBrokenInput)
{
    struct Case {
        const char* what;
        std::string desc;
    } cases[] = {
        {"four rotors", "name A\nscene s\nrotor a\nrotor b\nrotor c\nrotor d\n"},
        {"reuse beyond the rotors", "name A\nscene s\nlod\nscene l\nrotor reuse 0\n"},
        {"unknown key", "name A\nscene s\nwings 2\n"},
        {"two-digit rating", "name A\nscene s\narmour 10\n"},
        {"no name", "scene s\n"},
    };
    for (auto const& c : cases) {
        Put(root + "/bad.txt", c.desc);
        EXPECT_EQ(1, RunTool("write " + Q(root + "/bad.txt") + " " + Q(root + "/out.txt")).code) << c.what;
    }
    Put(root + "/config1.txt", "Hawk\r\nARMOUR=5\r\n");
    EXPECT_EQ(1, RunTool("check " + Q(root + "/config1.txt")).code);
}

} // namespace
