// The tracing back end: every example trace, replayed twice through the GL
// layer with the second frame captured, gives a trace that draws on Mesa the
// picture the layer drew for that frame (which starts from the state the
// first replay left); what the environment asks for
// wrongly leaves the plain back end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gl/glbackend_es11.h"
#include "gl/gltrace_backend.h"
#include "tools/glreplay/replay.h"
#include "tests/gl/trace_files.h"
#include "tools/glreplay/trace.h"

using namespace glreplay;

namespace {


struct TempDir {
    std::string path;
    TempDir()
    {
        char t[] = "/tmp/krv_gltrace_XXXXXX";
        path = mkdtemp(t) ? t : "";
    }
    ~TempDir()
    {
        if (!path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
};

TEST(TraceCapture, CapturedFrameDrawsTheSamePicture)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::vector<std::string> paths = TraceFiles({"/tests/gl/traces", "/tests/gl/software/traces"});
    ASSERT_FALSE(paths.empty());
    int n = 0;
    for (std::string const& path : paths) {
        SCOPED_TRACE(path);
        Trace original;
        std::string error;
        ASSERT_TRUE(LoadTrace(path, original, error)) << error;
        ReplayOptions opt;
        // The whole trace twice through the layer; its second frame (the
        // last of the second replay) is captured.
        std::string captured = dir.path + "/" + std::to_string(n++) + ".trace";
        setenv("KRV_GL_TRACE", captured.c_str(), 1);
        setenv("KRV_GL_TRACE_FRAME", std::to_string(2 * std::max(1, original.FrameCount()) - 1).c_str(), 1);
        opt.backend = Backend::ES1;
        opt.repeat = 2;
        ReplayResult reference;
        bool ok = Replay(original, opt, reference, error);
        unsetenv("KRV_GL_TRACE");
        unsetenv("KRV_GL_TRACE_FRAME");
        ASSERT_TRUE(ok) << error;
        EXPECT_NE(access((captured + ".tmp").c_str(), F_OK), 0) << "the temporary file is left";

        Trace trace;
        ASSERT_TRUE(LoadTrace(captured, trace, error)) << error;
        EXPECT_EQ(trace.FrameCount(), 1);  // one frame, whatever the original held
        opt.backend = Backend::Mesa;
        opt.repeat = 1;
        ReplayResult result;
        ASSERT_TRUE(Replay(trace, opt, result, error)) << error;
        EXPECT_TRUE(result.errors.empty()) << "GL error at line " << result.errors[0].first;
        ASSERT_EQ(result.frame.rgba.size(), reference.frame.rgba.size());
        EXPECT_TRUE(result.frame.rgba == reference.frame.rgba) << "the captured frame draws another picture";
    }
}

TEST(TraceCapture, WrongRequestsLeaveThePlainBackEnd)
{
    struct Case {
        char const* path;
        char const* frame;
    } const cases[] = {
        {"/nonexistent-dir/x.trace", "0"}, // cannot be written
        {"/tmp/krv_gltrace_unused.trace", "-1"},
        {"/tmp/krv_gltrace_unused.trace", "12x"},
        {"/tmp/krv_gltrace_unused.trace", "99999999999999999999"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.frame);
        setenv("KRV_GL_TRACE", c.path, 1);
        setenv("KRV_GL_TRACE_FRAME", c.frame, 1);
        vornGL::P3DBackend* b = vornGL::MakeES11Backend(nullptr);
        unsetenv("KRV_GL_TRACE");
        unsetenv("KRV_GL_TRACE_FRAME");
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(dynamic_cast<vornGL::P3DBackendTraceES11*>(b), nullptr);
        delete b;
        EXPECT_NE(access("/tmp/krv_gltrace_unused.trace.tmp", F_OK), 0);
    }
}

} // namespace
