// langtool: text tables built into a language file print back the same
// through the game's reader, with and without the "PLZP" header; faulty
// tables are refused with the line that is wrong.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/tools/tool_runner.h"

namespace {

using tooltest::Q;

class LangTool : public tooltest::ScratchTest {
protected:
    std::string Put(const std::string& name, const std::string& text)
    {
        const std::string path = root + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

} // namespace

TEST_F(LangTool, TablesPrintBackThroughTheGamesReader)
{
    // Ids out of order, a gap, an escaped line feed and backslash, a section
    // sign, characters of two and three UTF-8 bytes, a minimum count.
    const std::string en = "# interface\nlanguage English\nstrings 6\n2 Two\\nlines \xC2\xA7 here \\\\ end\n0 YES\n\n1  lead\n";
    const std::string fr = "language Fran\xC3\xA7" "ais\n0 OUI\n3 \xE4\xB8\xAD\xC3\xA9\r\n";
    const std::string want = "language English\nstrings 6\n0 YES\n1  lead\n2 Two\\nlines \xC2\xA7 here \\\\ end\n\n"
                             "language Fran\xC3\xA7" "ais\nstrings 6\n0 OUI\n3 \xE4\xB8\xAD\xC3\xA9\n";
    const std::string a = Put("en.txt", en), b = Put("fr.txt", fr);
    for (const char* form : {"", " --plzp"}) {
        const std::string out = root + "/lang0.bin";
        ASSERT_EQ(tooltest::RunTool("langtool", "build " + Q(out) + " " + Q(a) + " " + Q(b) + form).code, 0) << form;
        const auto dump = tooltest::RunTool("langtool", "dump " + Q(out));
        ASSERT_EQ(dump.code, 0);
        EXPECT_EQ(dump.out, want) << form;
    }
}

TEST_F(LangTool, FaultyTablesAreRefused)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"0 no language\n", "names no language"},
        {"language A\n1 x\n1 y\n", "line 3: text 1 given twice"},
        {"language A\n1 bad \\t\n", "line 2: unknown escape"},
        {"language A\n1 \xC3\n", "line 2: malformed UTF-8"},
        {"language A\n1 \xF0\x9F\x98\x80\n", "line 2: malformed UTF-8"},
        {"language A\n1 \xED\xA0\x80\n", "line 2: malformed UTF-8"},
        {"language A\n12345678 x\n", "line 2: expected a text id"},
        {"language A\nx1 y\n", "line 2: expected a text id"},
        {"language A\nstrings 9999999999\n", "line 2: bad string count"},
        {"1 x\nlanguage A\n", "line 2: the language is named once"},
    };
    for (const auto& c : cases) {
        const std::string src = Put("bad.txt", c.text);
        const auto r = tooltest::RunTool("langtool", "build " + Q(root + "/out.bin") + " " + Q(src), true);
        EXPECT_EQ(r.code, 1) << c.text;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
    EXPECT_NE(tooltest::RunTool("langtool", "dump " + Q(Put("junk.bin", "not a language file"))).code, 0);
}
