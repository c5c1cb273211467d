// Every data tool's command line: --help prints the usage on standard output
// and exits 0, a wrong call prints it on standard error and exits 2; a text
// reader quotes a binary line escaped and cut short; fntbuild names why a
// file is no font.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tools/lib/toolcli.h"
#include "tools/tool_runner.h"

using namespace tooltest;

namespace {

char const* const kTools[] = {"fntbuild", "glreplay", "imgtool",  "langtool", "levelscfg", "pamwrite", "planecfg",
                              "pmod",     "pofwrite", "psnd",     "scriptc",  "vfspack",   "wasgen"};

// Standard output and standard error of a command, apart.
struct Streams {
    int code;
    std::string out, err;
};

Streams RunApart(std::string const& command, std::string const& scratch)
{
    Result e = RunCommand("(" + command + " 2>" + Q(scratch) + " >/dev/null)", false);
    Result o = RunCommand(command, false);
    std::ifstream f(scratch, std::ios::binary);
    std::string err((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(e.code, o.code) << command;
    return {o.code, o.out, err};
}

struct ToolCli : ScratchTest {};

} // namespace

TEST_F(ToolCli, HelpOnStandardOutputWrongCallOnStandardError)
{
    std::string errFile = root + "/err.txt";
    for (char const* tool : kTools) {
        SCOPED_TRACE(tool);
        Streams help = RunApart(Q(Tool(tool)) + " --help", errFile);
        EXPECT_EQ(help.code, 0);
        EXPECT_EQ(help.out.rfind(std::string("usage: ") + tool, 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");
        Streams wrong = RunApart(Q(Tool(tool)) + " --no-such-option", errFile);
        EXPECT_EQ(wrong.code, 2);
        EXPECT_EQ(wrong.out, "");
        EXPECT_NE(wrong.err.find("usage: "), std::string::npos) << wrong.err;
    }
}

TEST_F(ToolCli, BinaryLinesAreQuotedEscapedAndCut)
{
    EXPECT_EQ(QuoteLine(std::string("a\"b\\c\td\x01\xFF", 9)), "\"a\\\"b\\\\c\\td\\x01\\xFF\"");
    EXPECT_EQ(QuoteLine(std::string(100, 'x'), 5), "\"xxxxx\"...");
    EXPECT_EQ(Printable(std::string("'\x1B[2J'", 6)), "'\\x1B[2J'");
    EXPECT_EQ(Printable("unknown line " + QuoteLine("\x01\\")), "unknown line \"\\x01\\\\\"");

    // Each text reader on a file of binary lines: the message holds no byte
    // outside printable ASCII and stays short.
    std::string bin = root + "/binary.txt";
    {
        std::ofstream f(bin, std::ios::binary);
        for (int i = 0; i < 4; ++i)
            f << std::string("\x1B[31m\x01\x02\x7F\xC3\xA9\xFF") + std::string(300, '\x80') << "\n";
    }
    std::string const readers[] = {
        Q(Tool("glreplay")) + " " + Q(bin) + " --backend sw",
        Q(Tool("pofwrite")) + " text " + Q(bin) + " " + Q(root + "/out.pof"),
        Q(Tool("pamwrite")) + " " + Q(bin) + " " + Q(root + "/out.pam"),
        Q(Tool("pmod")) + " build " + Q(bin) + " " + Q(root + "/out.pmf"),
    };
    for (std::string const& command : readers) {
        SCOPED_TRACE(command);
        Streams r = RunApart(command, root + "/err.txt");
        EXPECT_NE(r.code, 0);
        std::string all = r.out + r.err;
        EXPECT_FALSE(all.empty());
        EXPECT_LT(all.size(), 600u) << all;
        for (char c : all)
            ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << all;
    }
}

TEST_F(ToolCli, FntbuildNamesWhyAFileIsNoFont)
{
    std::string text = root + "/notafont.ttf";
    std::ofstream(text) << "plain text, no font\n";
    Result r = RunTool("fntbuild", "font " + Q(text) + " " + Q(root + "/out.fnt"), true);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("is not a font file"), std::string::npos) << r.out;
    r = RunTool("fntbuild", "font " + Q(root + "/missing.ttf") + " " + Q(root + "/out.fnt"), true);
    EXPECT_NE(r.out.find("cannot open"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("No such file"), std::string::npos) << r.out;
}
