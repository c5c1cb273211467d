// The tracing back end: every example trace, replayed twice through the GL
// layer with the second frame captured, gives a trace that draws on Mesa the
// picture the layer drew for that frame (which starts from the state the
// first replay left); a frame that draws over what the frame before it left
// carries that picture, on Mesa and on the software back end, unless it clears
// it first; what the environment asks for wrongly leaves the plain back end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <GLES/gl.h>

#include "engine/platform/pdisplay.h"
#include "gl/glbackend_es11.h"
#include "gl/glhooks.h"
#include "gl/gltrace_backend.h"
#include "tools/glreplay/eglpbuffer.h"
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

// Captures frame 1 of text replayed through the layer at 300 x 280 (tiles of
// the starting picture cut at both edges); the captured text and the layer's
// frame.
bool CaptureSecondFrame(std::string const& text, std::string const& path, std::string& captured, Image& frame)
{
    Trace original;
    std::string error;
    if (!ParseTrace(text, ".", original, error))
        return false;
    ReplayOptions opt;
    opt.width = 300;
    opt.height = 280;
    setenv("KRV_GL_TRACE", path.c_str(), 1);
    setenv("KRV_GL_TRACE_FRAME", "1", 1);
    ReplayResult result;
    bool ok = Replay(original, opt, result, error);
    unsetenv("KRV_GL_TRACE");
    unsetenv("KRV_GL_TRACE_FRAME");
    FILE* f = ok ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!f)
        return false;
    captured.clear();
    char b[65536];
    for (size_t n; (n = std::fread(b, 1, sizeof b, f)) > 0;)
        captured.append(b, n);
    std::fclose(f);
    frame = result.frame;
    return true;
}

TEST(TraceCapture, AFrameDrawnOverTheLastOneCarriesItsPicture)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    // Frame 0: blue, a red left half. Frame 1 blends green over the middle
    // without clearing, after one of the clears below.
    std::string const first = "array left fixed -65536 -65536  0 -65536  -65536 65536  0 65536\n"
                              "array mid fixed -32768 -32768  32768 -32768  -32768 32768  32768 32768\n"
                              "glClearColorx 0 0 65536 65536\nglClear GL_COLOR_BUFFER_BIT\n"
                              "glEnableClientState GL_VERTEX_ARRAY\nglVertexPointer 2 GL_FIXED 0 @left\n"
                              "glColor4x 65536 0 0 65536\nglDrawArrays GL_TRIANGLE_STRIP 0 4\nframe\n";
    std::string const second = "glEnable GL_BLEND\nglBlendFunc GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA\n"
                               "glVertexPointer 2 GL_FIXED 0 @mid\nglColor4x 0 65536 0 32768\n"
                               "glDrawArrays GL_TRIANGLE_STRIP 0 4\nframe\n";
    struct Case {
        char const* before; // calls of frame 1 before its draw
        bool picture;       // whether the capture carries the picture
    } const cases[] = {
        {"", true},
        {"glClear GL_COLOR_BUFFER_BIT\n", false},
        {"glColorMask 0 0 0 1\nglClear GL_COLOR_BUFFER_BIT\nglColorMask 1 1 1 1\n", true},
        {"glEnable GL_SCISSOR_TEST\nglScissor 0 0 10 10\nglClear GL_COLOR_BUFFER_BIT\nglDisable GL_SCISSOR_TEST\n",
         true},
        {"glClear GL_DEPTH_BUFFER_BIT\n", true},
    };
    int n = 0;
    for (Case const& c : cases) {
        SCOPED_TRACE(c.before);
        std::string path = dir.path + "/" + std::to_string(n++) + ".trace", captured;
        Image layer;
        ASSERT_TRUE(CaptureSecondFrame(first + c.before + second, path, captured, layer));
        EXPECT_EQ(captured.find("array picture") != std::string::npos, c.picture);

        Trace trace;
        std::string error;
        ASSERT_TRUE(LoadTrace(path, trace, error)) << error;
        ReplayOptions opt;
        opt.width = 300;
        opt.height = 280;
        opt.backend = Backend::Mesa;
        ReplayResult mesa;
        ASSERT_TRUE(Replay(trace, opt, mesa, error)) << error;
        EXPECT_TRUE(mesa.errors.empty());
        EXPECT_TRUE(mesa.frame.rgba == layer.rgba) << "the captured frame draws another picture";

        // The software back end takes textures of at most 256 texels a side:
        // the left edge shows frame 0's red, the right its blue.
        if (*c.before == 0) {
            opt.backend = Backend::SW;
            ReplayResult sw;
            ASSERT_TRUE(Replay(trace, opt, sw, error)) << error;
            EXPECT_TRUE(sw.errors.empty());
            for (int y : {5, 140, 275}) {
                uint8_t const* left = &sw.frame.rgba[(size_t(y) * 300 + 10) * 4];
                uint8_t const* right = &sw.frame.rgba[(size_t(y) * 300 + 290) * 4];
                EXPECT_TRUE(left[0] > 240 && left[1] < 16 && left[2] < 16) << y;
                EXPECT_TRUE(right[0] < 16 && right[1] < 16 && right[2] > 240) << y;
            }
        }
    }
}

// Reading the starting picture leaves the program's GL state alone: an error
// the frame before left pending is still there for the program to fetch, and
// so is its pack alignment.
TEST(TraceCapture, ReadingThePictureKeepsThePendingErrorAndPacking)
{
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    EglPbuffer surface;
    char const* why = nullptr;
    ASSERT_TRUE(surface.Create(64, 32, &why)) << why;
    PDisplayProperties info{};
    info.width = info.screenWidth = 64;
    info.height = info.screenHeight = 32;
    std::string path = dir.path + "/pending.trace";
    setenv("KRV_GL_TRACE", path.c_str(), 1);
    setenv("KRV_GL_TRACE_FRAME", "1", 1);
    vornGL::P3DBackend* b = vornGL::MakeES11Backend(&info);
    unsetenv("KRV_GL_TRACE");
    unsetenv("KRV_GL_TRACE_FRAME");
    ASSERT_NE(dynamic_cast<vornGL::P3DBackendTraceES11*>(b), nullptr);
    b->glPixelStorei(GL_PACK_ALIGNMENT, 8);
    b->glEnable(0x1234); // not a capability
    vornGL::vornGLProfilerPresent();
    b->glClearColorx(0, 0x10000, 0, 0x10000); // the traced frame's first call reads the picture
    EXPECT_EQ(b->glGetError(), uint32_t(GL_INVALID_ENUM));
    int32_t pack = 0;
    b->glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    EXPECT_EQ(pack, 8);
    vornGL::vornGLProfilerPresent();
    b->glClear(GL_COLOR_BUFFER_BIT); // the trace is written
    EXPECT_TRUE(static_cast<vornGL::P3DBackendTraceES11*>(b)->Done());
    delete b;
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
