// The program's option messages: a bad value is quoted with what the option
// accepts, on standard error, for every option and its variable.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/hostoptions.h"

namespace {

struct Refusal {
    std::vector<char const*> args;
    char const* env;     // variable set to envValue instead, when not null
    char const* envValue;
    std::vector<char const*> said; // each must be in the message
};

} // namespace

TEST(Options, RefusalsNameTheValueAndWhatIsAccepted)
{
    std::vector<Refusal> const cases = {
        {{"--renderer", "foo"}, nullptr, nullptr, {"\"foo\"", "--renderer", "gles1, gles2, software"}},
        {{"--size", "10x10"}, nullptr, nullptr, {"\"10x10\"", "--size", "WxH"}},
        {{"--size", "640"}, nullptr, nullptr, {"\"640\"", "WxH"}},
        {{"--angle", "45"}, nullptr, nullptr, {"\"45\"", "--angle", "0, 90, 180 or 270"}},
        {{"--frames", "-1"}, nullptr, nullptr, {"\"-1\"", "--frames", "whole number"}},
        {{"--exit-grace", "soon"}, nullptr, nullptr, {"\"soon\"", "--exit-grace", "milliseconds"}},
        {{"--mode", "tablet"}, nullptr, nullptr, {"\"tablet\"", "headless, window"}},
        {{"--accelerometer", "2"}, nullptr, nullptr, {"\"2\"", "0 or 1"}},
        {{"--frames"}, nullptr, nullptr, {"--frames needs a value", "whole number"}},
        {{"--shots"}, nullptr, nullptr, {"--shots needs a value", "directory"}},
        {{"--shot-frames", "2-1"}, nullptr, nullptr, {"\"2-1\"", "--shot-frames", "ranges"}},
        {{}, "KRV_SHOT_FRAMES", "x", {"\"x\"", "KRV_SHOT_FRAMES", "frame numbers"}},
        {{"--unknown", "1"}, nullptr, nullptr, {"unknown option \"--unknown\"", "usage:"}},
        {{"stray"}, nullptr, nullptr, {"unknown option \"stray\""}},
        {{}, "KRV_RENDERER", "vulkan", {"\"vulkan\"", "KRV_RENDERER", "gles1, gles2, software"}},
        {{}, "KRV_ANGLE", "1", {"\"1\"", "KRV_ANGLE", "0, 90, 180 or 270"}},
    };
    for (Refusal const& c : cases) {
        std::vector<char const*> argv = c.args;
        argv.insert(argv.begin(), "korvanth");
        SCOPED_TRACE(c.env ? c.env : argv[1]);
        if (c.env)
            setenv(c.env, c.envValue, 1);
        host::Options o;
        int code = -1;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int go = host::ParseOptions(int(argv.size()), const_cast<char**>(argv.data()), &o, &code);
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        if (c.env)
            unsetenv(c.env);
        EXPECT_EQ(go, 0);
        EXPECT_EQ(code, 2);
        EXPECT_EQ(out, "");
        for (char const* s : c.said)
            EXPECT_NE(err.find(s), std::string::npos) << "\"" << s << "\" not in: " << err;
    }
}

TEST(Options, HelpGoesToStandardOutput)
{
    char const* argv[] = {"korvanth", "--help"};
    host::Options o;
    int code = -1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(host::ParseOptions(2, const_cast<char**>(argv), &o, &code), 0);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out.rfind("usage: korvanth", 0), 0u) << out;
    EXPECT_EQ(err, "");
    // The help lists every renderer the option takes, as its error does.
    EXPECT_NE(out.find("--renderer R          gles1, gles2, software or auto"), std::string::npos) << out;
}
