// The software back end against Mesa: every trace of tests/gl/software/traces
// is drawn by both (Mesa on an RGB565 surface with a 16-bit depth buffer) and
// judged in 565 units. Pixels more than one pixel away from any edge of the
// reference must match within the trace's tolerance per channel; pixels next
// to an edge may differ (other fill rules) for at most 1% of them; the frame's
// PSNR (over the 565 fields, each scaled to 0..255) must reach the trace's
// bound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/glreplay/pngio.h"
#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

using namespace glreplay;

namespace {

std::string TraceDir() { return std::string(KRV_SOURCE_DIR) + "/tests/gl/software/traces/"; }

struct Channels {
    int c[3];
};

// 8-bit read-back to 565 fields (both paths expand 565 to 8 bits).
Channels To565(uint8_t const* p)
{
    return Channels{{(p[0] * 31 + 127) / 255, (p[1] * 63 + 127) / 255, (p[2] * 31 + 127) / 255}};
}

struct Verdict {
    long interior = 0, interiorBad = 0, edge = 0, edgeBad = 0;
    int worstInterior = 0;
    int worstX = -1, worstY = -1;
    double psnr = 0;
};

// Compares in 565 units. A pixel lies on an edge when a neighbour of it in the
// reference differs from it by more than edgeStep in some field.
Verdict Judge(Image const& ours, Image const& ref, int tolerance, int edgeStep = 2)
{
    Verdict v;
    int W = ref.width, H = ref.height;
    std::vector<Channels> a(size_t(W) * H), b(size_t(W) * H);
    double se = 0;
    static constexpr double kScale[3] = {255.0 / 31, 255.0 / 63, 255.0 / 31};
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = To565(&ours.rgba[i * 4]);
        b[i] = To565(&ref.rgba[i * 4]);
        for (int k = 0; k < 3; ++k) {
            double d = (a[i].c[k] - b[i].c[k]) * kScale[k];
            se += d * d;
        }
    }
    double mse = se / (double(a.size()) * 3);
    v.psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            Channels const& r = b[size_t(y) * W + x];
            bool edge = false;
            for (int dy = -1; dy <= 1 && !edge; ++dy)
                for (int dx = -1; dx <= 1 && !edge; ++dx) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= W || ny >= H)
                        continue;
                    Channels const& n = b[size_t(ny) * W + nx];
                    for (int k = 0; k < 3; ++k)
                        edge |= std::abs(n.c[k] - r.c[k]) > edgeStep;
                }
            Channels const& o = a[size_t(y) * W + x];
            int diff = 0;
            for (int k = 0; k < 3; ++k)
                diff = std::max(diff, std::abs(o.c[k] - r.c[k]));
            if (edge) {
                ++v.edge;
                v.edgeBad += diff > tolerance;
            } else {
                ++v.interior;
                if (diff > tolerance)
                    ++v.interiorBad;
                if (diff > v.worstInterior) {
                    v.worstInterior = diff;
                    v.worstX = x;
                    v.worstY = y;
                }
            }
        }
    return v;
}

bool Render(std::string const& name, Backend backend, ReplayResult& out, std::string& error)
{
    Trace trace;
    if (!LoadTrace(TraceDir() + name, trace, error))
        return false;
    ReplayOptions opt;
    opt.backend = backend;
    opt.width = 256;
    opt.height = 256;
    opt.rgb565 = true;
    return Replay(trace, opt, out, error);
}

struct Case {
    char const* trace;
    int tolerance;          // per field, 565 units
    double minPsnr;         // dB, 0 for no bound
    bool edgeBound = true;  // at most 1% of edge pixels differ (texel borders aside)
};

class AgainstMesa : public ::testing::TestWithParam<Case> {};

TEST_P(AgainstMesa, MatchesWithinTolerance)
{
    Case const c = GetParam();
    ReplayResult ours, ref;
    std::string error;
    ASSERT_TRUE(Render(c.trace, Backend::SW, ours, error)) << error;
    ASSERT_TRUE(Render(c.trace, Backend::Mesa, ref, error)) << error;
    EXPECT_TRUE(ours.errors.empty()) << c.trace << ": GL error 0x" << std::hex
                                     << (ours.errors.empty() ? 0 : ours.errors[0].second);
    if (char const* dir = std::getenv("KRV_SW_DUMP")) {
        std::string e;
        WritePng(std::string(dir) + "/" + c.trace + ".sw.png", ours.frame, e);
        WritePng(std::string(dir) + "/" + c.trace + ".mesa.png", ref.frame, e);
    }
    Verdict v = Judge(ours.frame, ref.frame, c.tolerance);
    EXPECT_GT(v.interior, 0);
    EXPECT_EQ(v.interiorBad, 0) << c.trace << ": worst interior difference " << v.worstInterior << " at ("
                                << v.worstX << ", " << v.worstY << ")";
    if (c.edgeBound) {
        EXPECT_LE(v.edgeBad * 100, v.edge) << c.trace << ": " << v.edgeBad << " of " << v.edge
                                           << " edge pixels differ";
    }
    if (c.minPsnr > 0) {
        EXPECT_GE(v.psnr, c.minPsnr) << c.trace;
    }
    std::printf("%s: interior %ld (worst %d), edge %ld (%ld differ), PSNR %.1f dB\n", c.trace, v.interior,
                v.worstInterior, v.edge, v.edgeBad, v.psnr);
}

INSTANTIATE_TEST_SUITE_P(Traces, AgainstMesa,
                         ::testing::Values(Case{"flat.trace", 1, 40}, Case{"gouraud.trace", 1, 40},
                                           Case{"replace565.trace", 1, 40}, Case{"texfixed.trace", 1, 0, false},
                                           Case{"blend.trace", 2, 0},
                                           Case{"depth.trace", 2, 0}, Case{"clipping.trace", 1, 0},
                                           Case{"strips.trace", 1, 0}, Case{"points_lines.trace", 1, 0},
                                           Case{"lit.trace", 2, 0}, Case{"alphatest.trace", 2, 0},
                                           Case{"modulate_blend.trace", 3, 38}, Case{"far_dome.trace", 1, 27, false}),
                         [](::testing::TestParamInfo<Case> const& info) {
                             std::string n = info.param.trace;
                             return n.substr(0, n.find('.'));
                         });

// The game-like frame at 1024 x 600: the GL layer's OpenGL ES 1.1 back end
// agrees with Mesa (its fixed-point rotations aside); the software back end
// stays close: its texture coordinate mapping, 4444 decoding and weights and
// its lighting differ from GL by design.
TEST(GameFrame, ThroughEveryBackEnd)
{
    Trace trace;
    std::string error;
    ASSERT_TRUE(LoadTrace(TraceDir() + "game.trace", trace, error)) << error;
    ReplayOptions opt;
    opt.width = 1024;
    opt.height = 600;
    opt.rgb565 = true;
    ReplayResult sw, es1, mesa;
    opt.backend = Backend::Mesa;
    ASSERT_TRUE(Replay(trace, opt, mesa, error)) << error;
    opt.backend = Backend::ES1;
    ASSERT_TRUE(Replay(trace, opt, es1, error)) << error;
    opt.backend = Backend::SW;
    ASSERT_TRUE(Replay(trace, opt, sw, error)) << error;
    Verdict layer = Judge(es1.frame, mesa.frame, 1);
    EXPECT_LE(layer.interiorBad * 1000, layer.interior);
    EXPECT_LE(layer.edgeBad * 100, layer.edge);
    EXPECT_GE(layer.psnr, 40.0);
    EXPECT_TRUE(sw.errors.empty());
    long within[4] = {0, 0, 0, 0}, total = 0;
    for (size_t i = 0; i < sw.frame.rgba.size(); i += 4) {
        Channels a = To565(&sw.frame.rgba[i]), b = To565(&mesa.frame.rgba[i]);
        int d = 0;
        for (int k = 0; k < 3; ++k)
            d = std::max(d, std::abs(a.c[k] - b.c[k]));
        for (int t = 0; t < 4; ++t)
            within[t] += d <= t;
        ++total;
    }
    Verdict v = Judge(sw.frame, mesa.frame, 2);
    std::printf("game frame through es1: PSNR %.1f dB against Mesa\n", layer.psnr);
    std::printf("game frame: %.1f%% of pixels equal, %.1f%% within 1, %.1f%% within 2, %.1f%% within 3; PSNR %.1f dB\n",
                100.0 * within[0] / total, 100.0 * within[1] / total, 100.0 * within[2] / total,
                100.0 * within[3] / total, v.psnr);
    EXPECT_GE(within[2] * 100, total * 90);
    EXPECT_GE(v.psnr, 26.0);
}

// A random mesh tiling the screen, added in one step of blue over black,
// covers every pixel exactly once: no gap, no pixel drawn twice.
TEST(Watertight, EveryPixelExactlyOnce)
{
    ReplayResult ours;
    std::string error;
    ASSERT_TRUE(Render("watertight.trace", Backend::SW, ours, error)) << error;
    int wrong = 0;
    for (size_t i = 0; i < ours.frame.rgba.size(); i += 4) {
        Channels c = To565(&ours.frame.rgba[i]);
        wrong += !(c.c[0] == 0 && c.c[1] == 0 && c.c[2] == 1);
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace
