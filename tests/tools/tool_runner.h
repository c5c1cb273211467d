// Runs the data tools built next to the tests (build/tests/test_tools and
// build/tools/NAME/NAME) and captures what they print.
#pragma once
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tooltest {

inline std::string Tool(std::string const& name)
{
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return name;
    self[n] = 0;
    std::string dir(self);
    dir.erase(dir.rfind('/'));
    return dir + "/../tools/" + name + "/" + name;
}

struct Result {
    int code;
    std::string out;
};

// Runs a shell command line; stdout is captured, and stderr with it when
// asked, else dropped.
inline Result RunCommand(std::string const& command, bool withErrors = false)
{
    std::string cmd = command + (withErrors ? " 2>&1" : " 2>/dev/null");
    Result r{-1, {}};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs the tool with the arguments (already quoted), as RunCommand.
inline Result RunTool(std::string const& name, std::string const& args, bool withErrors = false)
{
    std::string command = "'";
    command += Tool(name);
    command += "' ";
    command += args;
    return RunCommand(command, withErrors);
}

inline std::string Q(std::string const& s) { return "'" + s + "'"; }

// The path of one of the tests' Python reference implementations (below the
// source tree), quoted.
inline std::string PyScript(std::string const& rel) { return Q(std::string(KRV_SOURCE_DIR "/") + rel); }

// Runs python3 with the arguments (already quoted), the input on its standard
// input; as RunCommand.
inline Result RunPython(std::string const& args, std::string const& input = {})
{
    char path[] = "/tmp/krv_pyin_XXXXXX";
    int fd = ::mkstemp(path);
    if (fd < 0)
        return {-1, {}};
    bool written = ::write(fd, input.data(), input.size()) == ssize_t(input.size());
    ::close(fd);
    Result r = written ? RunCommand("python3 -W ignore " + args + " < " + path) : Result{-1, {}};
    ::unlink(path);
    return r;
}

// A test with a scratch directory of its own, root, removed afterwards.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krv_tooltest_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf " + Q(root)).c_str()), 0); }
    std::string root;
};

} // namespace tooltest
