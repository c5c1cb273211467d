// Every example trace drawn through the GL layer's OpenGL ES 1.1 back end
// equals the same trace sent straight to Mesa, pixel for pixel: upright, on a
// display turned a quarter either way, and through the off-screen
// framebuffer; the GL errors seen after each call agree as well.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/gl/trace_files.h"
#include "tools/glreplay/pngio.h"
#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

using namespace glreplay;

namespace {

std::string TraceDir() { return std::string(KRV_SOURCE_DIR) + "/tests/gl/traces"; }

// The example traces' file names.
std::vector<std::string> Traces()
{
    std::vector<std::string> names;
    for (std::string const& path : TraceFiles({"/tests/gl/traces"}))
        names.push_back(path.substr(path.rfind('/') + 1));
    return names;
}

// Where the first pixels differ, for the failure message.
std::string FirstDifference(Image const& a, Image const& b)
{
    if (a.width != b.width || a.height != b.height)
        return "sizes differ";
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        if (std::memcmp(&a.rgba[i], &b.rgba[i], 4) != 0) {
            char buf[128];
            size_t p = i / 4;
            std::snprintf(buf, sizeof buf, "first difference at (%zu, %zu)", p % a.width, p / a.width);
            return buf;
        }
    return "";
}

class EveryTrace : public ::testing::TestWithParam<std::string> {};

TEST_P(EveryTrace, LayerEqualsMesa)
{
    Trace trace;
    std::string error;
    ASSERT_TRUE(LoadTrace(TraceDir() + "/" + GetParam(), trace, error)) << error;
    ReplayOptions opt;
    opt.backend = Backend::Mesa;
    ReplayResult reference;
    ASSERT_TRUE(Replay(trace, opt, reference, error)) << error;
    // A frame of one colour would prove little.
    size_t distinct = 0;
    for (size_t i = 4; i < reference.frame.rgba.size() && distinct < 3; i += 4)
        distinct += std::memcmp(&reference.frame.rgba[i], &reference.frame.rgba[0], 4) != 0;
    EXPECT_GT(distinct, 0u);

    struct Variant {
        int orientation;
        bool fbo;
    } const variants[] = {{1, false}, {2, false}, {8, false}, {1, true}, {2, true}, {8, true}};
    for (auto const& v : variants) {
        opt.backend = Backend::ES1;
        opt.orientation = v.orientation;
        opt.fbo = v.fbo;
        ReplayResult ours;
        ASSERT_TRUE(Replay(trace, opt, ours, error)) << error;
        std::string where = FirstDifference(ours.frame, reference.frame);
        EXPECT_TRUE(where.empty()) << GetParam() << " orientation " << v.orientation << (v.fbo ? " fbo" : "")
                                   << ": " << where;
        EXPECT_EQ(ours.errors, reference.errors) << GetParam() << " orientation " << v.orientation;
        EXPECT_EQ(ours.frames, reference.frames);
    }
}

INSTANTIATE_TEST_SUITE_P(Traces, EveryTrace, ::testing::ValuesIn(Traces()),
                         [](::testing::TestParamInfo<std::string> const& info) {
                             std::string n = info.param.substr(0, info.param.size() - 6);
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

TEST(TraceReader, RefusesMalformedInput)
{
    Trace t;
    std::string e;
    char const* bad[] = {
        "array a float 1.0 x",         // bad value
        "array a ubyte 256",           // out of range
        "array a int",                 // no values
        "array a bogus 1",             // unknown type
        "array a ubyte 1\narray a ubyte 2", // repeated name
        "glVertexPointer 2 GL_FIXED 0 @nothing",
        "array a ubyte 1 2\nglFoo @a+3", // offset beyond the array
        "array a ubyte 1 2\nglFoo a[2]", // element beyond the array
        "glClear GL_NOT_AN_ENUM",
        "image i /nonexistent/file.png",
        "frame 1",
        "hello",
        "glClear 0x100000000",          // beyond 32 bits
    };
    for (char const* text : bad) {
        EXPECT_FALSE(ParseTrace(text, ".", t, e)) << text;
        EXPECT_NE(e.find("line"), std::string::npos) << text;
    }
    ASSERT_TRUE(ParseTrace("# comment only\n\narray v fixed 0 65536 -65536 # tail\nglClearColorx 0 0x10000 v[1] 65536\n"
                           "glClearColor 0.5 1.0 0 1e0\nframe\n",
                           ".", t, e))
        << e;
    ASSERT_EQ(t.calls.size(), 3u);
    EXPECT_EQ(t.calls[0].args[1].i, 65536);
    EXPECT_EQ(t.calls[0].args[2].kind, ArgKind::Element);
    EXPECT_EQ(t.calls[1].args[0].kind, ArgKind::Float);
    EXPECT_EQ(t.FrameCount(), 1);
}

TEST(TraceReplay, RefusesReadsOutsideTheArrays)
{
    char const* bad[] = {
        // Three vertices of two fixed values need 24 bytes.
        "array v fixed 0 0 65536 0\nglEnableClientState GL_VERTEX_ARRAY\nglVertexPointer 2 GL_FIXED 0 @v\n"
        "glDrawArrays GL_TRIANGLES 0 3",
        // An index beyond the vertex array.
        "array v fixed 0 0 65536 0 0 65536\narray i ubyte 0 1 7\nglEnableClientState GL_VERTEX_ARRAY\n"
        "glVertexPointer 2 GL_FIXED 0 @v\nglDrawElements GL_TRIANGLES 3 GL_UNSIGNED_BYTE @i",
        // A 2 x 2 RGBA texture needs 16 bytes.
        "array p ubyte 1 2 3 4\nglTexImage2D GL_TEXTURE_2D 0 GL_RGBA 2 2 0 GL_RGBA GL_UNSIGNED_BYTE @p",
        // A matrix needs 16 values.
        "array m fixed 65536\nglLoadMatrixx @m",
        // An enabled array without memory.
        "glEnableClientState GL_VERTEX_ARRAY\nglDrawArrays GL_TRIANGLES 0 3",
        // Pointers only where the replay knows the size.
        "array a ubyte 0\nglClear @a",
        "glNotAThing 1",
        "glClear 1 2",
        "glClearColorx 1.5 0 0 0",
    };
    // The software back end draws on threads here: a replay that stops
    // early must still end the threads before their display goes.
    setenv("KRV_SW_THREADS", "2", 1);
    for (Backend backend : {Backend::ES1, Backend::SW}) {
        for (char const* text : bad) {
            Trace t;
            std::string e;
            ASSERT_TRUE(ParseTrace(text, ".", t, e)) << e;
            ReplayOptions opt;
            opt.width = 16;
            opt.height = 16;
            opt.backend = backend;
            ReplayResult r;
            EXPECT_FALSE(Replay(t, opt, r, e)) << text;
            EXPECT_FALSE(e.empty());
        }
    }
    unsetenv("KRV_SW_THREADS");
}

// Every repetition of a trace starts from the trace's own client state, so
// the last of several repetitions draws what one replay draws: a draw made
// before the trace turns its vertex array on draws nothing (the array set by
// the repetition before lies in freed memory), and an upload made before the
// trace changes its unpack alignment reads its rows as the first time.
TEST(TraceReplay, RepeatsStartFromTheTracesOwnClientState)
{
    char const* traces[] = {
        "array v fixed -65536 -65536  0 -65536  -65536 0  0 0  65536 0  0 65536\n"
        "glClearColorx 0 0 0 65536\nglClear GL_COLOR_BUFFER_BIT\n"
        "glColor4x 65536 0 0 65536\nglDrawArrays GL_TRIANGLES 3 3\n" // no array yet: nothing
        "glEnableClientState GL_VERTEX_ARRAY\nglVertexPointer 2 GL_FIXED 0 @v\n"
        "glColor4x 0 65536 0 65536\nglDrawArrays GL_TRIANGLES 0 3\nframe\n",
        // Rows 4 bytes apart are white; 8 bytes apart the third and fourth are red.
        "array px ubyte 255 255 255 0  255 255 255 0  255 255 255 0  255 255 255 0  255 0 0 0  255 0 0 0  255 0 0 0\n"
        "array names uint 0\narray quad fixed -65536 -65536  65536 -65536  -65536 65536  65536 65536\n"
        "array uv fixed 0 0  65536 0  0 65536  65536 65536\n"
        "glClearColorx 0 0 0 65536\nglClear GL_COLOR_BUFFER_BIT\n"
        "glGenTextures 1 @names\nglBindTexture GL_TEXTURE_2D names[0]\n"
        "glTexParameteri GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST\n"
        "glTexParameteri GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST\n"
        "glTexImage2D GL_TEXTURE_2D 0 GL_RGB 1 4 0 GL_RGB GL_UNSIGNED_BYTE @px\nglEnable GL_TEXTURE_2D\n"
        "glEnableClientState GL_VERTEX_ARRAY\nglEnableClientState GL_TEXTURE_COORD_ARRAY\n"
        "glVertexPointer 2 GL_FIXED 0 @quad\nglTexCoordPointer 2 GL_FIXED 0 @uv\n"
        "glDrawArrays GL_TRIANGLE_STRIP 0 4\nglPixelStorei GL_UNPACK_ALIGNMENT 8\nframe\n",
    };
    for (char const* text : traces) {
        Trace t;
        std::string e;
        ASSERT_TRUE(ParseTrace(text, ".", t, e)) << e;
        for (Backend b : {Backend::Mesa, Backend::ES1, Backend::SW}) {
            SCOPED_TRACE(int(b));
            ReplayOptions opt;
            opt.backend = b;
            opt.width = opt.height = 16;
            ReplayResult once, thrice;
            ASSERT_TRUE(Replay(t, opt, once, e)) << e;
            opt.repeat = 3;
            ASSERT_TRUE(Replay(t, opt, thrice, e)) << e;
            EXPECT_EQ(thrice.frames, 3);
            EXPECT_EQ("", FirstDifference(once.frame, thrice.frame)) << text;
            int red = 0, lit = 0; // the green triangle or the white rows
            for (size_t i = 0; i < thrice.frame.rgba.size(); i += 4) {
                red += thrice.frame.rgba[i] > 200 && thrice.frame.rgba[i + 1] < 50;
                lit += thrice.frame.rgba[i + 1] > 200;
            }
            EXPECT_EQ(red, 0) << text;
            EXPECT_GT(lit, 0) << text;
        }
    }
}

// The tool itself: arguments, a PNG out, failures reported by exit status.
std::string Tool()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "glreplay";
    self[n] = 0;
    std::string dir(self);
    dir.resize(dir.find_last_of('/'));
    return dir + "/../tools/glreplay/glreplay";
}

TEST(GlreplayTool, WritesAPngAndReportsFailures)
{
    std::string out = testing::TempDir() + "glreplay_quads.png";
    std::remove(out.c_str());
    std::string cmd = Tool() + " " + TraceDir() + "/quads.trace --backend es1 --size 256x128 --out " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    Image img;
    std::string e;
    ASSERT_TRUE(ReadPng(out, img, e)) << e;
    EXPECT_EQ(img.width, 256);
    EXPECT_EQ(img.height, 128);
    std::remove(out.c_str());
    EXPECT_NE(std::system((Tool() + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((Tool() + " /nonexistent.trace --backend es1 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((Tool() + " " + TraceDir() + "/quads.trace --backend nope 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((Tool() + " " + TraceDir() + "/quads.trace --backend es1 --size 0x5 2>/dev/null").c_str()), 0);
}

} // namespace
