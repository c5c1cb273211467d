// 4444 and 88 textures through the span families against Mesa (565 surface),
// affine and perspective, under every blend: texture of 8 x 8-texel blocks,
// judged away from block borders. The 4444 blends that differ from GL by
// design (A, AA, ADD) are held to the routines' own arithmetic, with Mesa
// deciding only which texel lands on a pixel. A texture of distinct texels
// measures the perspective texel choice against a double-precision reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gl/software/swmath.h"
#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

using namespace glreplay;

namespace {

constexpr int kSize = 256;

enum class Fmt { T4444, T88 };
enum class Mode { Replace, Modulate, A, AA, Add, M, MX2 };

char const* ModeName(Mode m)
{
    static char const* const names[] = {"replace", "modulate", "A", "AA", "ADD", "M", "MX2"};
    return names[int(m)];
}

int Fx(double v) { return int(std::lround(v * 65536)); }

// 64 x 64 texels in blocks of 8 x 8: 4444 words whose alpha equals their red
// nibble, or 88 pairs of a luminance of 17 k and an equal alpha (both can be
// read back from the grey a 565 surface shows). distinct: every 4444 texel
// differs (its index in the colour nibbles, alpha 15).
std::vector<uint16_t> Texels(Fmt fmt, bool distinct)
{
    std::mt19937 rng(7);
    std::vector<uint16_t> blocks(64);
    for (auto& b : blocks)
        b = uint16_t(rng());
    std::vector<uint16_t> t(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint16_t b = blocks[(y / 8) * 8 + x / 8];
            if (distinct)
                t[y * 64 + x] = uint16_t((y >> 2) << 12 | ((y & 3) << 2 | x >> 4) << 8 | (x & 15) << 4 | 15);
            else if (fmt == Fmt::T4444)
                t[y * 64 + x] = uint16_t((b & 0xFFF0) | (b >> 12));
            else
                t[y * 64 + x] = uint16_t((b & 15) * 17 * 0x101);
        }
    return t;
}

// The trace text of one scene: a camera-facing quad (affine) or a tilted
// floor seen in perspective, over a grey background.
std::string Scene(Fmt fmt, Mode mode, bool persp, bool distinct = false)
{
    std::ostringstream o;
    std::vector<uint16_t> t = Texels(fmt, distinct);
    if (fmt == Fmt::T4444) {
        o << "array tex ushort";
        for (uint16_t v : t)
            o << ' ' << v;
    } else {
        o << "array tex ubyte";
        for (uint16_t v : t)
            o << ' ' << (v >> 8) << ' ' << (v & 255);
    }
    o << "\narray names uint 0\n";
    if (persp)
        o << "array pos fixed " << Fx(-1.5) << ' ' << Fx(-0.6) << ' ' << Fx(-1) << ' ' << Fx(1.5) << ' ' << Fx(-0.6)
          << ' ' << Fx(-1) << ' ' << Fx(-1.5) << ' ' << Fx(-0.6) << ' ' << Fx(-8) << ' ' << Fx(1.5) << ' '
          << Fx(-0.6) << ' ' << Fx(-8) << "\narray uv short 0 0 2 0 0 5 2 5\n";
    else
        o << "array pos fixed " << Fx(-0.8) << ' ' << Fx(-0.8) << ' ' << Fx(-2) << ' ' << Fx(0.8) << ' ' << Fx(-0.8)
          << ' ' << Fx(-2) << ' ' << Fx(-0.8) << ' ' << Fx(0.8) << ' ' << Fx(-2) << ' ' << Fx(0.8) << ' '
          << Fx(0.8) << ' ' << Fx(-2) << "\narray uv short 0 0 2 0 0 2 2 2\n";
    o << "glViewport 0 0 256 256\nglDisable GL_DITHER\nglClearColorx 32768 26214 19661 65536\nglClear 16640\n"
         "glMatrixMode GL_PROJECTION\nglLoadIdentity\n"
      << "glFrustumx " << Fx(-0.5) << ' ' << Fx(0.5) << ' ' << Fx(-0.5) << ' ' << Fx(0.5) << ' ' << Fx(0.5) << ' '
      << Fx(64.5) << "\nglMatrixMode GL_MODELVIEW\nglLoadIdentity\n"
      << "glHint GL_PERSPECTIVE_CORRECTION_HINT " << (persp ? "GL_NICEST" : "GL_FASTEST") << '\n'
      << "glGenTextures 1 @names\nglBindTexture GL_TEXTURE_2D names[0]\n"
         "glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST\n"
         "glTexParameterx GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST\n";
    if (fmt == Fmt::T4444)
        o << "glTexImage2D GL_TEXTURE_2D 0 GL_RGBA 64 64 0 GL_RGBA GL_UNSIGNED_SHORT_4_4_4_4 @tex\n";
    else
        o << "glTexImage2D GL_TEXTURE_2D 0 GL_LUMINANCE_ALPHA 64 64 0 GL_LUMINANCE_ALPHA GL_UNSIGNED_BYTE @tex\n";
    o << "glEnable GL_TEXTURE_2D\nglTexEnvx GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE "
      << (mode == Mode::Replace ? "GL_REPLACE" : "GL_MODULATE") << "\nglColor4ub 255 255 255 255\n";
    static char const* const funcs[] = {"", "", "GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA", "GL_SRC_ALPHA GL_ONE",
                                        "GL_ONE GL_ONE", "GL_DST_COLOR GL_ZERO", "GL_DST_COLOR GL_SRC_COLOR"};
    if (mode >= Mode::A)
        o << "glEnable GL_BLEND\nglBlendFunc " << funcs[int(mode)] << '\n';
    o << "glEnableClientState GL_VERTEX_ARRAY\nglEnableClientState GL_TEXTURE_COORD_ARRAY\n"
         "glVertexPointer 3 GL_FIXED 0 @pos\nglTexCoordPointer 2 GL_SHORT 0 @uv\n"
         "glDrawArrays GL_TRIANGLE_STRIP 0 4\nframe\n";
    return o.str();
}

Image Render(std::string const& text, Backend backend)
{
    Trace trace;
    std::string error;
    EXPECT_TRUE(ParseTrace(text, ".", trace, error)) << error;
    ReplayOptions opt;
    opt.backend = backend;
    opt.width = opt.height = kSize;
    opt.rgb565 = true;
    ReplayResult r;
    EXPECT_TRUE(Replay(trace, opt, r, error)) << error;
    EXPECT_TRUE(r.errors.empty());
    if (r.frame.rgba.size() != size_t(kSize) * kSize * 4) {
        // No frame (no GL context): a black one, so that the comparisons
        // fail instead of reading outside it.
        r.frame.width = r.frame.height = kSize;
        r.frame.rgba.assign(size_t(kSize) * kSize * 4, 0);
    }
    return r.frame;
}

struct P565 {
    int r, g, b;
    uint32_t Word() const { return uint32_t(r << 11 | g << 5 | b); }
};

P565 At(Image const& im, int x, int y)
{
    uint8_t const* p = &im.rgba[(size_t(y) * im.width + x) * 4];
    return P565{(p[0] * 31 + 127) / 255, (p[1] * 63 + 127) / 255, (p[2] * 31 + 127) / 255};
}

int Diff(P565 a, P565 b) { return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}); }

struct Params {
    Fmt fmt;
    Mode mode;
    bool persp;
};

class TextureFormats : public ::testing::TestWithParam<Params> {};

TEST_P(TextureFormats, AgainstMesaAwayFromBlockBorders)
{
    Params const c = GetParam();
    std::string name = std::string(c.fmt == Fmt::T4444 ? "4444 " : "88 ") + ModeName(c.mode) +
                       (c.persp ? " perspective" : " affine");
    Image ours = Render(Scene(c.fmt, c.mode, c.persp), Backend::SW);
    Image ref = Render(Scene(c.fmt, c.mode, c.persp), Backend::Mesa);
    // Mesa's texel choice, read from the same scene drawn with REPLACE.
    Image texel = Render(Scene(c.fmt, Mode::Replace, c.persp), Backend::Mesa);
    P565 const bgRef = At(ref, 0, 0), bg = At(ours, 0, 0);
    // 4444 texels are decoded by design (each nibble the top of its field), and
    // the 88 additive and doubling blends differ from GL by design: those are
    // held to the routines' arithmetic on the texel Mesa chose.
    bool designed = c.fmt == Fmt::T4444 || c.mode == Mode::AA || c.mode == Mode::Add || c.mode == Mode::MX2;
    int tolerance = c.mode == Mode::Replace || c.mode == Mode::M ? 1 : 2;
    long judged = 0, bad = 0;
    int worst = 0;
    for (int y = 1; y < kSize - 1; ++y)
        for (int x = 1; x < kSize - 1; ++x) {
            // Away from block borders and the quad's edges: the 3 x 3 block of
            // Mesa's texel choice is one texel colour, not the background.
            P565 t = At(texel, x, y);
            bool inside = Diff(t, bgRef) != 0 || Diff(At(ref, x, y), bgRef) != 0;
            for (int dy = -1; dy <= 1 && inside; ++dy)
                for (int dx = -1; dx <= 1 && inside; ++dx)
                    inside = Diff(At(texel, x + dx, y + dy), t) == 0;
            if (!inside)
                continue;
            ++judged;
            P565 o = At(ours, x, y);
            int d;
            if (designed && c.fmt == Fmt::T88) {
                // The luminance (and alpha) 17 k from Mesa's grey; the texel
                // modulated by the white vertex colour (every 88 G member).
                using namespace vornGL::sw;
                int k = (t.r * 15 + 15) / 31;
                uint32_t a8 = uint32_t(k * 17), tex = a8 << 8 | a8;
                int32_t const white = 0xFF8000;
                uint32_t mod = Mod88(tex, white, white, white), d0 = bg.Word(), golden = d0;
                uint32_t w = 1 + ((uint32_t(white) * a8) >> 27);
                if (c.mode == Mode::MX2)
                    golden = BlendMX2(d0, mod);
                else if (c.mode == Mode::Add && !c.persp)
                    golden = BlendAdd(d0, mod);
                else if (a8 >= 8) // AA, and ONE / ONE in perspective (drawn as AA)
                    golden = BlendAA(d0, mod, w);
                d = o.Word() == golden ? 0 : 99;
            } else if (designed) {
                // The texel (nibbles from Mesa's 565 colour, alpha = red) and
                // the vertex colour, white and opaque (8.8 0xFF80).
                using namespace vornGL::sw;
                int r4 = (t.r * 15 + 15) / 31, g4 = (t.g * 15 + 31) / 63, b4 = (t.b * 15 + 15) / 31;
                uint32_t tex = uint32_t(r4 << 12 | g4 << 8 | b4 << 4 | r4);
                int32_t const white = 0xFF8000;
                uint32_t plain = T4444To565(tex), mod = Mod4444(tex, white, white, white);
                uint32_t w = (uint32_t(white) * uint32_t(r4)) >> 23, d0 = bg.Word(), golden = 0;
                switch (c.mode) {
                case Mode::Replace: golden = plain; break;
                case Mode::Modulate: golden = mod; break;
                case Mode::A: golden = w ? BlendA(d0, plain, w) : d0; break;
                case Mode::AA:
                case Mode::Add: golden = w ? BlendAA(d0, mod, w) : d0; break;
                case Mode::M: golden = BlendM(d0, c.persp ? plain : mod); break;
                case Mode::MX2: golden = BlendMX2(d0, c.persp ? plain : mod); break;
                }
                d = o.Word() == golden ? 0 : 99;
            } else {
                d = Diff(o, At(ref, x, y));
            }
            worst = std::max(worst, d == 99 ? 0 : d);
            bad += d > tolerance;
        }
    EXPECT_GT(judged, 2000) << name;
    // A texel chosen differently by the two rasterizers (coordinate rounding)
    // shows as a large difference on a few pixels.
    EXPECT_LE(bad * 200, judged) << name << ": " << bad << " of " << judged << " pixels off";
    std::printf("%s: %ld pixels judged, %ld off, worst in tolerance %d\n", name.c_str(), judged, bad, worst);
}

std::vector<Params> AllParams()
{
    std::vector<Params> v;
    for (Fmt f : {Fmt::T4444, Fmt::T88})
        for (Mode m : {Mode::Replace, Mode::Modulate, Mode::A, Mode::AA, Mode::Add, Mode::M, Mode::MX2})
            for (bool p : {false, true})
                v.push_back(Params{f, m, p});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Blends, TextureFormats, ::testing::ValuesIn(AllParams()),
                         [](::testing::TestParamInfo<Params> const& info) {
                             std::string n = std::string(info.param.fmt == Fmt::T4444 ? "T4444_" : "T88_") +
                                             ModeName(info.param.mode) + (info.param.persp ? "_persp" : "_affine");
                             return n;
                         });

// The perspective floor with a texture of distinct texels: the texel on each
// pixel against the one a double-precision ray through the pixel centre hits.
struct TexelScore {
    long judged = 0, exact = 0, near = 0, offU = 0, offV = 0;
};

// Texel choice of an image of the distinct-texel floor against the texel a
// double-precision eye ray through each pixel centre hits.
TexelScore ScoreTexels(Image const& im, bool mesa)
{
    TexelScore s;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            // The eye ray through the pixel centre meets the floor y = -0.6.
            double nx = (x + 0.5) / 128.0 - 1, ny = (kSize - y - 0.5) / 128.0 - 1;
            if (ny >= -0.0001)
                continue;
            double ze = 0.6 / ny;
            double xe = nx * -ze;
            if (xe <= -1.45 || xe >= 1.45 || ze >= -1.05 || ze <= -7.95)
                continue; // near the floor's edges
            double u = (xe + 1.5) / 3.0 * 2.0, v = (-1.0 - ze) / 7.0 * 5.0;
            int tx = int(std::floor(u * 64)) & 63, ty = int(std::floor(v * 64)) & 63;
            P565 p = At(im, x, y);
            // Our 4444 texels keep the nibbles as the top bits of each field;
            // Mesa expands them to the whole field.
            int r4 = mesa ? (p.r * 15 + 15) / 31 : p.r >> 1, g4 = mesa ? (p.g * 15 + 31) / 63 : p.g >> 2,
                b4 = mesa ? (p.b * 15 + 15) / 31 : p.b >> 1;
            int ox = (g4 & 3) << 4 | b4, oy = r4 << 2 | g4 >> 2;
            ++s.judged;
            int ddx = std::abs(ox - tx), ddy = std::abs(oy - ty);
            ddx = std::min(ddx, 64 - ddx);
            ddy = std::min(ddy, 64 - ddy);
            s.exact += ddx == 0 && ddy == 0;
            s.offU += ddx != 0;
            s.offV += ddy != 0;
            s.near += ddx <= 1 && ddy <= 1;
        }
    return s;
}

TEST(PerspectiveTexels, AgainstADoublePrecisionReference)
{
    TexelScore ours = ScoreTexels(Render(Scene(Fmt::T4444, Mode::Replace, true, true), Backend::SW), false);
    TexelScore mesa = ScoreTexels(Render(Scene(Fmt::T4444, Mode::Replace, true, true), Backend::Mesa), true);
    ASSERT_GT(ours.judged, 10000);
    EXPECT_GE(ours.exact * 100, ours.judged * 99) << ours.exact << " of " << ours.judged;
    EXPECT_EQ(ours.near, ours.judged);
    std::printf("perspective texels: %ld of %ld exact, %ld within one texel (Mesa: %ld exact); off in u %ld, in v %ld\n",
                ours.exact, ours.judged, ours.near, mesa.exact, ours.offU, ours.offV);
}

} // namespace
