#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/runtime/pfile.h"

namespace {

bool Exists(std::string const& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

void WriteText(std::string const& p, char const* text)
{
    FILE* f = std::fopen(p.c_str(), "wb");
    ASSERT_NE(f, nullptr) << p;
    std::fputs(text, f);
    std::fclose(f);
}

std::string ReadAll(PStream& s)
{
    std::string out;
    char buf[64];
    int n;
    while ((n = s.Read(buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    return out;
}

// A temporary tree with a writable and an installation directory, both set in
// the environment for the duration of a test.
class FileTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krv_file_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
        save = root + "/data/";
        install = root + "/app/native/";
        ASSERT_EQ(::mkdir((root + "/data").c_str(), 0777), 0);
        ASSERT_EQ(::mkdir((root + "/app").c_str(), 0777), 0);
        ASSERT_EQ(::mkdir((root + "/app/native").c_str(), 0777), 0);
        ::setenv("VORNAPP_SAVEPATH", save.c_str(), 1);
        ::setenv("VORNAPPPATH", install.c_str(), 1);
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + root + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        ::unsetenv("VORNAPP_SAVEPATH");
        ::unsetenv("VORNAPPPATH");
    }
    std::string root, save, install;
};

TEST_F(FileTree, ReadOnlyOpensFallBackFromWritableToInstallation)
{
    ASSERT_EQ(PFile::MkDir("usr"), 0);
    ASSERT_EQ(::mkdir((install + "usr").c_str(), 0777), 0);
    WriteText(install + "usr/settings.nil", "installed");

    PFile f("usr\\settings.nil", PFile::kRead);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(ReadAll(f), "installed");
    EXPECT_EQ(f.Size(), 9);
    EXPECT_EQ(f.Open("usr\\settings.nil", PFile::kRead), -1); // already open
    EXPECT_TRUE(f.IsOpen());
    f.Close();

    WriteText(save + "usr/settings.nil", "saved!");
    ASSERT_EQ(f.Open("usr\\settings.nil", PFile::kRead), 0);
    EXPECT_EQ(ReadAll(f), "saved!");
    EXPECT_EQ(f.Seek(-2, 2), 4);
    EXPECT_EQ(ReadAll(f), "d!");
    f.Close();

    // Found nowhere (and no archive): closed, 0, reusable.
    EXPECT_EQ(f.Open("usr/missing", PFile::kRead), 0);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Size(), -1);
    EXPECT_EQ(f.Seek(0, 0), -1);
    char c;
    EXPECT_EQ(f.Read(&c, 1), -1);
}

TEST_F(FileTree, WritingOpensDoNotFallBack)
{
    ASSERT_EQ(::mkdir((install + "only").c_str(), 0777), 0);
    WriteText(install + "only/x", "x");
    PFile f;
    EXPECT_EQ(f.Open("only\\x", PFile::kWrite | PFile::kCreate), -1); // data/only does not exist
    EXPECT_FALSE(f.IsOpen());

    ASSERT_EQ(f.Open("new.bin", PFile::kWrite | PFile::kCreate | PFile::kTruncate), 0);
    EXPECT_EQ(f.Write("hello", 5), 5);
    EXPECT_EQ(f.Write("x", -1), -1);
    f.Close();
    struct stat st;
    ASSERT_EQ(::stat((save + "new.bin").c_str(), &st), 0);
    mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
    EXPECT_EQ(st.st_size, 5);

    EXPECT_EQ(f.Open("new.bin", PFile::kWrite | PFile::kCreate | PFile::kExclusive), -1);
    ASSERT_EQ(f.Open("new.bin", PFile::kRead | PFile::kWrite), 0);
    EXPECT_EQ(f.Seek(0, 2), 5);
    EXPECT_EQ(f.Write("!", 1), 1);
    EXPECT_EQ(f.Seek(0, 0), 0);
    EXPECT_EQ(ReadAll(f), "hello!");
}

TEST_F(FileTree, AbsoluteNamesAndDirectoryOperations)
{
    std::string abs = root + "/abs.txt";
    WriteText(abs, "abs");
    PFile f(abs.c_str(), PFile::kRead);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(ReadAll(f), "abs");

    EXPECT_EQ(PFile::MkDir("usr/profiles/"), 0);
    EXPECT_TRUE(Exists(save + "usr/profiles"));
    EXPECT_EQ(PFile::MkDir("usr/profiles/"), -1); // the final mkdir fails

    WriteText(save + "usr/profiles/a", "a");
    EXPECT_EQ(PFile::Rename("usr\\profiles\\a", "usr\\profiles\\b"), 0);
    EXPECT_TRUE(Exists(save + "usr/profiles/b"));
    EXPECT_EQ(PFile::Delete("usr\\profiles\\b", 0), 0);
    EXPECT_EQ(PFile::Delete("usr\\profiles\\b", 0), -1);
    EXPECT_EQ(PFile::RmDir("usr/profiles"), 0);
    EXPECT_FALSE(Exists(save + "usr/profiles"));
    EXPECT_EQ(PFile::GetFreeSpace("usr"), 0x7FFFFFFF);
}

TEST_F(FileTree, NamesTooLongAreRefusedNotTruncated)
{
    // A name that would fit only if cut off must not open the shorter file.
    std::string comp(200, 'n');
    std::string name = comp + "/" + comp + "/" + comp;
    std::string cut = name.substr(0, PFile::kOpenPathMax - 1 - save.size());
    ASSERT_EQ(::mkdir((save + comp).c_str(), 0777), 0);
    ASSERT_EQ(::mkdir((save + comp + "/" + comp).c_str(), 0777), 0);
    WriteText(save + cut, "wrong");
    PFile f;
    EXPECT_EQ(f.Open(name.c_str(), PFile::kWrite | PFile::kCreate), -1);
    EXPECT_EQ(f.Open(name.c_str(), PFile::kRead), 0);
    EXPECT_FALSE(f.IsOpen());

    std::string dir(PFile::kPathMax, 'd');
    EXPECT_EQ(PFile::MkDir(dir.c_str()), -1);
    EXPECT_EQ(PFile::Delete(dir.c_str()), -1);
    EXPECT_EQ(PFile::Rename("a", dir.c_str()), -1);
}

} // namespace
