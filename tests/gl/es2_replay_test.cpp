// Every trace (the GL layer's examples in traces/ and the ES 2.0 ones in
// es2_traces/: lighting, fog, texture environments, combiners, two units,
// texture matrices, alpha functions and a frame like the game's) drawn through
// the OpenGL ES 2.0 back end equals Mesa's own OpenGL ES 1.1 within 3/255 per
// channel.
//
// Documented differences, allowed below:
//  - Silhouette and depth-intersection pixels: the emulation forms the
//    modelview-projection product in 16.16, Mesa multiplies in floats, so a
//    pixel centre lying within a hair of an edge may fall either side. At most
//    kEdgePixels such pixels per frame.
//  - glShadeModel(GL_FLAT) and glPointSize do nothing on OpenGL ES 2.0: flat
//    polygons come out smooth and points one pixel wide (fog_stencil.trace).
//  - Fog is computed per vertex (and clamped there), Mesa computes it per
//    fragment: polygons that cross the fog's start or end differ inside. The
//    traces keep their fog ranges around the scene.
//  - Lit colours are clamped to 1 per vertex before fog, as GL specifies;
//    Mesa clamps only when writing the pixel. The traces keep lit colours
//    below 1.
//  - Not drawn by the traces: a unit enabled without coordinates (GL reads the
//    current texture coordinate, the emulation leaves the unit out), lit
//    alpha (GL takes the diffuse alpha, the emulation the sum of the terms),
//    ALPHA textures (sampled as black with alpha), combiner scales, the alpha
//    of DOT3_RGBA, and combiner results outside [0, 1] passed to the next unit
//    (GL clamps each unit's result).
#include <gtest/gtest.h>


#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/gl/trace_files.h"
#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

using namespace glreplay;

namespace {

constexpr int kTolerance = 3;
constexpr size_t kEdgePixels = 64;

struct Rect {
    int x0, y0, x1, y1; // inclusive, image rows top first
    bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};


// Pixels differing by more than the tolerance outside the allowed rectangles.
struct Comparison {
    int worst = 0;
    size_t over = 0;
    std::string first;
};

Comparison Compare(Image const& ours, Image const& mesa, std::vector<Rect> const& allowed)
{
    Comparison c;
    if (ours.width != mesa.width || ours.height != mesa.height) {
        c.over = size_t(-1);
        c.first = "sizes differ";
        return c;
    }
    for (size_t i = 0; i < ours.rgba.size(); i += 4) {
        int x = int(i / 4 % size_t(ours.width)), y = int(i / 4 / size_t(ours.width));
        bool excused = std::any_of(allowed.begin(), allowed.end(), [&](Rect const& r) { return r.Holds(x, y); });
        if (excused)
            continue;
        int d = 0;
        for (int k = 0; k < 3; ++k)
            d = std::max(d, std::abs(int(ours.rgba[i + k]) - int(mesa.rgba[i + k])));
        c.worst = std::max(c.worst, d);
        if (d > kTolerance && c.over++ == 0)
            c.first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
    }
    return c;
}

class Es2Trace : public ::testing::TestWithParam<std::string> {};

TEST_P(Es2Trace, EqualsMesaWithinTolerance)
{
    Trace trace;
    std::string error;
    ASSERT_TRUE(LoadTrace(GetParam(), trace, error)) << error;
    ReplayOptions opt;
    opt.backend = Backend::Mesa;
    ReplayResult mesa, ours;
    ASSERT_TRUE(Replay(trace, opt, mesa, error)) << error;
    opt.backend = Backend::ES2;
    ASSERT_TRUE(Replay(trace, opt, ours, error)) << error;

    std::vector<Rect> allowed;
    if (GetParam().find("/fog_stencil.trace") != std::string::npos) {
        allowed.push_back({32, 504, 288, 568});  // the flat-shaded gradient
        allowed.push_back({764, 212, 835, 283}); // the four points, 4 pixels wide on Mesa
    }
    Comparison c = Compare(ours.frame, mesa.frame, allowed);
    EXPECT_LE(c.worst <= kTolerance ? 0 : c.over, kEdgePixels)
        << GetParam() << ": " << c.over << " pixels beyond " << kTolerance << "/255, first at " << c.first;
    EXPECT_EQ(ours.frames, mesa.frames);
    EXPECT_EQ(ours.errors, mesa.errors);
}

INSTANTIATE_TEST_SUITE_P(Traces, Es2Trace, ::testing::ValuesIn(TraceFiles({"/tests/gl/traces", "/tests/gl/es2_traces"})),
                         [](::testing::TestParamInfo<std::string> const& info) {
                             std::string n = info.param.substr(info.param.rfind('/') + 1);
                             n = n.substr(0, n.size() - 6);
                             std::replace(n.begin(), n.end(), '-', '_');
                             bool mine = info.param.find("/es2_traces/") != std::string::npos;
                             return (mine ? "es2_" : "") + n;
                         });

// Turned displays and the off-screen framebuffer, presented with the layer's
// own custom program on ES 2.0.
TEST(Es2TracePresentation, TurnedAndThroughTheFramebuffer)
{
    Trace trace;
    std::string error;
    ASSERT_TRUE(LoadTrace(std::string(KRV_SOURCE_DIR) + "/tests/gl/es2_traces/texenv.trace", trace, error)) << error;
    ReplayOptions opt;
    opt.backend = Backend::Mesa;
    ReplayResult mesa;
    ASSERT_TRUE(Replay(trace, opt, mesa, error)) << error;
    for (int orientation : {1, 2, 8}) {
        opt.backend = Backend::ES2;
        opt.orientation = orientation;
        opt.fbo = true;
        ReplayResult ours;
        ASSERT_TRUE(Replay(trace, opt, ours, error)) << error;
        Comparison c = Compare(ours.frame, mesa.frame, {});
        EXPECT_LE(c.worst, kTolerance) << "orientation " << orientation << ": " << c.over << " pixels, first "
                                       << c.first;
    }
}

} // namespace
