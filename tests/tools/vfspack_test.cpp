#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/pvfs.h"
#include "tests/tools/tool_runner.h"
#include "tools/lib/toolfile.h"

namespace {

using tooltest::Q;
using tooltest::Result;

Result RunTool(std::string const& args) { return tooltest::RunTool("vfspack", args); }
std::string Tool() { return tooltest::Tool("vfspack"); }

void Put(std::string const& path, std::string const& text)
{
    std::string err;
    ASSERT_TRUE(WriteFileAtomic(path, text.data(), text.size(), &err)) << err;
}

class Vfspack : public tooltest::ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        if (HasFatalFailure())
            return;
        src = root + "/src";
        ASSERT_EQ(::mkdir(src.c_str(), 0777), 0);
        ASSERT_EQ(::mkdir((src + "/data").c_str(), 0777), 0);
        ASSERT_EQ(::mkdir((src + "/data/2dgfx").c_str(), 0777), 0);
        std::string big;
        for (int i = 0; i < 2000; i++)
            big += "loading screen pixels ";
        Put(src + "/data/2dgfx/loading.png", big);
        Put(src + "/data/Readme.TXT", "hello");
        Put(src + "/empty", "");
    }
    std::string src;
};

TEST_F(Vfspack, CreateListCatExtractRoundTrip)
{
    ASSERT_EQ(::access(Tool().c_str(), X_OK), 0) << Tool();
    std::string a = root + "/a.vfs";
    ASSERT_EQ(RunTool("create " + Q(a) + " " + Q(src) + " --compress").code, 0);

    // The engine's reader finds the entries under their backslash names.
    PVFS vfs(a.c_str());
    ASSERT_TRUE(vfs.IsOpen());
    EXPECT_EQ(vfs.Count(), 3);
    EXPECT_EQ(vfs.Flags() & PVFS::kCaseInsensitive, 0u);
    PVFSEntry const* e = vfs.Find(PVFS::Hash("data\\2dgfx\\loading.png", 0));
    ASSERT_NE(e, nullptr);
    EXPECT_LT(e->size, 44000u); // stored compressed

    Result list = RunTool("list " + Q(a) + " --names " + Q(src));
    EXPECT_EQ(list.code, 0);
    EXPECT_NE(list.out.find("data\\2dgfx\\loading.png"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(" z (44000)"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("data\\Readme.TXT"), std::string::npos);
    Result bare = RunTool("list " + Q(a));
    EXPECT_EQ(bare.code, 0);
    EXPECT_EQ(bare.out.find("Readme"), std::string::npos);

    Put(root + "/names.txt", "data/Readme.TXT\r\nnot/there\n");
    Result named = RunTool("list " + Q(a) + " --names " + Q(root + "/names.txt"));
    EXPECT_NE(named.out.find("data/Readme.TXT"), std::string::npos) << named.out;

    Result cat = RunTool("cat " + Q(a) + " 'data/Readme.TXT'");
    EXPECT_EQ(cat.code, 0);
    EXPECT_EQ(cat.out, "hello");
    EXPECT_EQ(RunTool("cat " + Q(a) + " 'data/readme.txt'").code, 1); // case-sensitive archive
    EXPECT_EQ(RunTool("cat " + Q(a) + " empty").out, "");

    std::string out = root + "/loading.png";
    ASSERT_EQ(RunTool("extract " + Q(a) + " 'data\\2dgfx\\loading.png' " + Q(out)).code, 0);
    std::vector<uint8_t> got, want;
    std::string err;
    ASSERT_TRUE(ReadFileBytes(out, &got, &err));
    ASSERT_TRUE(ReadFileBytes(src + "/data/2dgfx/loading.png", &want, &err));
    EXPECT_EQ(got, want);

    // A case-insensitive archive, rebuilt in place inside its own tree.
    std::string b = src + "/b.vfs";
    ASSERT_EQ(RunTool("create " + Q(b) + " " + Q(src) + " --ignore-case").code, 0);
    ASSERT_EQ(RunTool("create " + Q(b) + " " + Q(src) + " --ignore-case").code, 0);
    PVFS ci(b.c_str());
    EXPECT_EQ(ci.Count(), 3);
    EXPECT_EQ(RunTool("cat " + Q(b) + " 'DATA/README.TXT'").out, "hello");
}

TEST_F(Vfspack, BadInputsFailWithNonZeroExit)
{
    std::string a = root + "/a.vfs";
    EXPECT_EQ(RunTool("").code, 2);
    EXPECT_EQ(RunTool("frobnicate").code, 2);
    EXPECT_EQ(RunTool("create " + Q(a)).code, 2);
    EXPECT_EQ(RunTool("create " + Q(a) + " " + Q(src) + " --bogus").code, 1);
    EXPECT_EQ(RunTool("create " + Q(a) + " " + Q(root + "/nope")).code, 1);
    ASSERT_EQ(::mkdir((root + "/hollow").c_str(), 0777), 0);
    EXPECT_EQ(RunTool("create " + Q(a) + " " + Q(root + "/hollow")).code, 1);
    EXPECT_EQ(RunTool("create " + Q(root + "/no/dir/a.vfs") + " " + Q(src)).code, 1);

    // Two names with the same hash cannot share an archive.
    Put(src + "/az", "1");
    Put(src + "/b7", "2");
    ASSERT_EQ(PVFS::Hash("az", 0), PVFS::Hash("b7", 0));
    EXPECT_EQ(RunTool("create " + Q(a) + " " + Q(src)).code, 1);
    EXPECT_EQ(::access(a.c_str(), F_OK), -1);
    ASSERT_EQ(::unlink((src + "/b7").c_str()), 0);
    ASSERT_EQ(RunTool("create " + Q(a) + " " + Q(src)).code, 0);

    EXPECT_EQ(RunTool("list " + Q(root + "/missing.vfs")).code, 1);
    EXPECT_EQ(RunTool("list " + Q(src)).code, 1);
    Put(root + "/junk.vfs", "VOFS\x01\x02");
    EXPECT_EQ(RunTool("list " + Q(root + "/junk.vfs")).code, 1);
    EXPECT_EQ(RunTool("cat " + Q(root + "/junk.vfs") + " az").code, 1);
    EXPECT_EQ(RunTool("list " + Q(a) + " --names").code, 2);
    EXPECT_EQ(RunTool("list " + Q(a) + " --names " + Q(root + "/none.txt")).code, 1);
    EXPECT_EQ(RunTool("cat " + Q(a) + " nothing").code, 1);
    EXPECT_EQ(RunTool("cat " + Q(a)).code, 2);
    EXPECT_EQ(RunTool("extract " + Q(a) + " az " + Q(root + "/no/dir/out")).code, 1);
    EXPECT_EQ(RunTool("extract " + Q(a) + " az").code, 2);

    // A compressed entry whose data breaks off: extract fails and leaves no
    // file (nor a temporary one) behind.
    std::string z = root + "/z.vfs";
    ASSERT_EQ(RunTool("create " + Q(z) + " " + Q(src) + " --compress").code, 0);
    std::vector<uint8_t> bytes;
    std::string err;
    ASSERT_TRUE(ReadFileBytes(z, &bytes, &err)) << err;
    PVFS vfs(new PMemStream(bytes.data(), long(bytes.size())), 1, 1);
    PVFSEntry const* e = vfs.Find(PVFS::Hash("data\\2dgfx\\loading.png", 0));
    ASSERT_NE(e, nullptr);
    for (uint32_t i = 12 + e->size / 2; i < e->size; i++)
        bytes[e->offset + i] ^= 0x5A;
    Put(z, std::string(bytes.begin(), bytes.end()));
    std::string out = root + "/out/loading.png";
    ASSERT_EQ(::mkdir((root + "/out").c_str(), 0777), 0);
    EXPECT_EQ(RunTool("extract " + Q(z) + " 'data\\2dgfx\\loading.png' " + Q(out)).code, 1);
    EXPECT_EQ(::rmdir((root + "/out").c_str()), 0); // empty
    EXPECT_EQ(RunTool("cat " + Q(z) + " 'data\\2dgfx\\loading.png'").code, 1);
}

} // namespace
