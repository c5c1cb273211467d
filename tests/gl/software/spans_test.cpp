// The span routines on small hand-made set-up records: the blend arithmetic's
// worked values, weights and skip thresholds, depth behaviour per family,
// texel addressing, the exact perspective reciprocal, and the number of
// reciprocals per span.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gl/software/swmath.h"
#include "gl/software/swspanlist.h"

using namespace vornGL;

namespace {

constexpr uint16_t Rgb(int r, int g, int b) { return uint16_t(r << 11 | g << 5 | b); }

// The name the span table gives a routine, for messages.
std::string SpanNameOf(PSpanFn fn)
{
    for (int row = 0; row < kSpanRows; ++row)
        if (m_polyfunc[row].span == fn)
            return SpanRowName(row);
    return "a routine of no row";
}

// One scanline of `count` pixels starting at pixel 0, over a 32 x 4 target.
struct Span {
    std::vector<uint16_t> colour = std::vector<uint16_t>(32 * 4, 0);
    std::vector<uint16_t> depth = std::vector<uint16_t>(32 * 4, 0xFFFF);
    std::vector<uint16_t> texels = std::vector<uint16_t>(16 * 16, 0);
    PTriangleSetup s{};

    Span()
    {
        s.colourBuffer = colour.data();
        s.depthBuffer = depth.data();
        s.pitch = 64;
        s.clipMinX = 0;
        s.clipMaxX = 32 << 16;
        s.clipMinY = 0;
        s.clipMaxY = 4 << 16;
        s.texels = texels.data();
        s.texShiftU = 4;
        s.texShiftV = 4;
        s.texMask = 255;
        s.spreadMask = 0x07E0F81F;
        s.spanFlags = 0x10000 | 0x20;
        // White, opaque vertex colour; depth 0x1000.
        s.edgeA = s.edgeR = s.edgeG = s.edgeB = 255 << 16;
        s.edgeZ = 0x1000 << 8;
        s.edgeW = 1 << 24; // w = 1.0 in the set-up's units
        s.flatColour = 0xFFFFFF;
    }
    void Fill(uint16_t c) { std::fill(colour.begin(), colour.end(), c); }
    void Texel(uint16_t t) { std::fill(texels.begin(), texels.end(), t); }
    void Run(PSpanFn fn, int count)
    {
        s.leftX = 0;
        s.rightX = count << 16;
        fn(&s, 0, 0x10000);
    }
};

struct Case {
    PSpanFn fn;
    uint16_t texel, dst, expected;
    int alpha; // vertex alpha, 0-255
};

TEST(Spans, BlendArithmetic)
{
    uint16_t const white = 0xFFFF, black = 0;
    Case const cases[] = {
        // ADD of white (an 88 texel's grey has green 62) onto that white: the
        // wrapped green sum's lowest bit (clear) is kept.
        {DrawInnerADDT88, 0xFFFF, Rgb(31, 62, 31), Rgb(31, 62, 31), 255},
        // Grey of luminance 0x78 (15, 30, 15) added to itself.
        {DrawInnerADDT88, 0x78FF, Rgb(15, 30, 15), Rgb(30, 60, 30), 255},
        // 4444 alpha 15 weighs 30/32: white (30, 60, 30 as a 4444 texel) over black.
        {DrawInnerAT4444, 0xFFFF, black, Rgb(28, 56, 28), 255},
        // Perspective 4444, alpha 15: a little of the pixel always remains.
        {DrawInnerATP4444, 0x000F, white, Rgb(1, 3, 1), 255},
        {DrawInnerATP4444, 0xFFFF, black, Rgb(28, 56, 28), 255},
        {DrawInnerATP4444, 0xFFFF, white, Rgb(30, 60, 30), 255},
        // AA: a white texel of alpha 1 (weight 2) onto black; alpha 15 onto white.
        {DrawInnerAATP4444, 0xFFF1, black, Rgb(0, 2, 0), 255},
        {DrawInnerAATP4444, 0xFFFF, white, white, 255},
        // MX2: white over white saturates; white over (16, 32, 16) doubles it.
        {DrawInnerMX2TP4444, 0xFFFF, white, white, 255},
        {DrawInnerMX2TP4444, 0xFFFF, Rgb(16, 32, 16), Rgb(28, 60, 28), 255},
        // 88 alpha 255 blends to the source (the grey of white) exactly.
        {DrawInnerAT88, 0xFFFF, black, Rgb(31, 62, 31), 255},
        // MX2 of (16, 32, 16) onto white and onto itself (generic 565 span).
        {DrawInnerGeneric, Rgb(16, 32, 16), white, white, 255},
        {DrawInnerGeneric, Rgb(16, 32, 16), Rgb(16, 32, 16), Rgb(16, 32, 16), 255},
        // M of a white texel leaves the pixel.
        {DrawInnerGeneric, 0xFFDF, Rgb(7, 13, 21), Rgb(7, 13, 21), 255},
    };
    for (auto const& c : cases) {
        Span sp;
        sp.Fill(c.dst);
        sp.Texel(c.texel);
        sp.s.edgeA = c.alpha << 16;
        sp.s.row = c.fn == DrawInnerGeneric ? (c.expected == c.dst && c.texel == 0xFFDF ? 82 : 102) : 0;
        sp.Run(c.fn, 4);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(sp.colour[x], c.expected) << "case texel " << std::hex << c.texel << " dst " << c.dst;
        EXPECT_EQ(sp.colour[4], c.dst); // beyond the span
    }
}

TEST(Spans, SpreadOperations)
{
    using namespace vornGL::sw;
    EXPECT_EQ(BlendAdd(0xFFFF, 0xFFFF), Rgb(31, 62, 31));
    EXPECT_EQ(BlendA(0, 0xFFFF, 30), Rgb(29, 59, 29));
    EXPECT_EQ(BlendA(0x1234, 0xFFFF, 32), 0xFFFFu);
    EXPECT_EQ(BlendA(0x1234, 0xFFFF, 0), 0x1234u);
    EXPECT_EQ(BlendM(0xFFFF, Rgb(16, 32, 16)), Rgb(16, 32, 16));
    EXPECT_EQ(BlendM(Rgb(16, 32, 16), Rgb(16, 32, 16)), Rgb(8, 16, 8));
    EXPECT_EQ(BlendMX2(Rgb(16, 32, 16), Rgb(16, 32, 16)), Rgb(16, 32, 16));
    EXPECT_EQ(T4444To565(0xFFF0), Rgb(30, 60, 30));
    EXPECT_EQ(Grey88(0x7800), Rgb(15, 30, 15));
}

TEST(Spans, SkipThresholdsPerFamily)
{
    struct {
        PSpanFn fn;
        uint16_t texel;
        int key;
        int alpha;
        bool drawn;
    } const cases[] = {
        // 4444 under A and AA: alpha 0 is never drawn, key or not.
        {DrawInnerAT4444, 0xFFF0, 0, 255, false},
        {DrawInnerTP4444, 0xFFF0, 0, 255, true},
        {DrawInnerTP4444, 0xFFF0, 1, 255, false},
        // Perspective M: alpha 1..7 skipped under the key; its depth form only 0.
        {DrawInnerMTP4444, 0xFFF5, 1, 255, false},
        {DrawInnerMTPZ4444, 0xFFF5, 1, 255, true},
        // M G members: alpha 8 skipped, 9 drawn at vertex alpha 255; none at 100.
        {DrawInnerMGTP4444, 0xFFF8, 1, 255, false},
        {DrawInnerMGTP4444, 0xFFF9, 1, 255, true},
        {DrawInnerMGTP4444, 0xFFFF, 1, 100, false},
        // Affine 88: key skips alpha below 8, ADDT88 below 128.
        {DrawInnerT88, 0xFF07, 1, 255, false},
        {DrawInnerT88, 0xFF08, 1, 255, true},
        {DrawInnerADDT88, 0xFF08, 1, 255, false},
        {DrawInnerADDT88, 0xFF80, 1, 255, true},
        // Perspective 88: key skips alpha below 128; A members draw 8 and up.
        {DrawInnerTP88, 0xFF7F, 1, 255, false},
        {DrawInnerATP88, 0xFF08, 0, 255, true},
        {DrawInnerATP88, 0xFF07, 0, 255, false},
        // 4444 A G with vertex alpha 0: weight 0, nothing drawn.
        {DrawInnerAGTP4444, 0xFFFF, 0, 0, false},
    };
    for (auto const& c : cases) {
        Span sp;
        sp.Fill(0x1234);
        sp.Texel(c.texel);
        sp.s.colourKey = c.key;
        sp.s.edgeA = c.alpha << 16;
        sp.Run(c.fn, 3);
        EXPECT_EQ(sp.colour[1] != 0x1234, c.drawn) << std::hex << c.texel << " key " << c.key << " alpha " << c.alpha;
    }
}

TEST(Spans, DepthPerFamily)
{
    struct {
        PSpanFn fn;
        bool tests, writesUnderMask, writesAlways;
    } const cases[] = {
        {DrawInnerTZ4444, true, true, false},   {DrawInnerTPZ4444, true, true, false},
        {DrawInnerTPZ88, true, false, false},   {DrawInnerAATZ88, true, false, false},
        {DrawInnerTZ88, false, false, false},   {DrawInnerFlatZ, true, true, true},
        {DrawInnerGouraudZ, true, true, true},  {PDrawZTAsm, true, true, true},
        {DrawInnerAGZ, true, true, false},
    };
    for (auto const& c : cases) {
        for (int mask = 0; mask < 2; ++mask) {
            Span sp;
            sp.Texel(0xFFFF);
            sp.s.spanFlags = (mask ? 0x10000 : 0) | 0x20;
            sp.depth[0] = 0x1000; // equal: fails
            sp.depth[1] = 0x0800; // nearer: fails
            sp.depth[2] = 0x2000; // farther: passes
            sp.Run(c.fn, 3);
            EXPECT_EQ(sp.colour[0] != 0, !c.tests) << SpanNameOf(c.fn);
            EXPECT_EQ(sp.colour[1] != 0, !c.tests);
            EXPECT_NE(sp.colour[2], 0);
            bool written = sp.depth[2] == 0x1000;
            EXPECT_EQ(written, c.writesAlways || (mask && c.writesUnderMask)) << "mask " << mask;
        }
    }
}

TEST(Spans, WeakAlphaInTheGouraudBlends)
{
    // AGZ with vertex alpha below 8: the colour stays but the depth is stored.
    Span a;
    a.s.edgeA = 7 << 16;
    a.Fill(0x1234);
    a.Run(DrawInnerAGZ, 2);
    EXPECT_EQ(a.colour[0], 0x1234);
    EXPECT_EQ(a.depth[0], 0x1000);
    // AG with alpha 0 still moves the pixel 1/32 towards the colour.
    Span b;
    b.s.edgeA = 0;
    b.Run(DrawInnerAG, 2);
    EXPECT_EQ(b.colour[0], Rgb(0, 1, 0));
}

TEST(Spans, TexelAddressing)
{
    Span sp;
    for (int i = 0; i < 16; ++i)
        sp.texels[i] = uint16_t(i << 12 | 0xF); // first row: red = column
    sp.s.colourKey = 0;
    // One and a half repeats on a 16-texel side: column 8.
    sp.s.edgeU = 3 << 23;
    sp.Run(DrawInnerT4444, 1);
    EXPECT_EQ(sp.colour[0], sw::T4444To565(8 << 12));
    // Just below 0: the last column.
    sp.s.edgeU = -1;
    sp.s.leftX = 0;
    sp.s.rightX = 1 << 16;
    DrawInnerT4444(&sp.s, 0, 0x10000);
    EXPECT_EQ(sp.colour[0], sw::T4444To565(15 << 12));
}

TEST(Spans, PrestepAtTheClipEdge)
{
    Span sp;
    for (int i = 0; i < 16; ++i)
        sp.texels[i] = uint16_t(i << 12 | 0xF);
    sp.s.clipMinX = 3 << 16;
    sp.s.leftX = 0x8000; // half a pixel: clipped, prestep 2.5 pixels
    sp.s.rightX = 8 << 16;
    sp.s.dUdx = 1 << 20; // one texel a pixel
    sp.s.edgeU = 0;
    DrawInnerT4444(&sp.s, 0, 0x10000);
    EXPECT_EQ(sp.colour[2], 0);
    EXPECT_EQ(sp.colour[3], sw::T4444To565(2 << 12)); // column 2 (2.5 texels in)
}

// Spans of 1 to 13 pixels take one reciprocal at their first pixel, one per
// full run of 8 and one for a shorter last run.
TEST(Spans, ReciprocalsPerSpan)
{
    for (PSpanFn fn : {DrawInnerTP88, DrawInnerTP4444, DrawInnerGeneric, PDrawTPAsm}) {
        for (int count = 1; count <= 13; ++count) {
            Span sp;
            sp.s.row = 82;
            uint32_t before = g_spanReciprocals;
            sp.Run(fn, count);
            uint32_t expected = 1 + count / 8 + (count % 8 ? 1 : 0);
            EXPECT_EQ(g_spanReciprocals - before, expected) << SpanNameOf(fn) << " count " << count;
        }
    }
}

// The perspective reciprocal is the exact quotient 2^40 / |w| and the
// coordinate over the weight keeps bits 16-47 of the full product: at the
// ends of the range, around powers of two and their neighbours, at every
// divisor of 2^40, and on a stream of pseudo-random weights and coordinates.
TEST(Spans, PerspectiveReciprocalIsExact)
{
    std::vector<int32_t> weights = {1, -1, 2, 3, 7, 255, 256, 257, 65535, 65536, 65537, 0x7FFFFFFF, -0x7FFFFFFF,
                                    INT32_MIN};
    for (int b = 0; b < 31; ++b)
        for (int32_t d : {-1, 0, 1})
            weights.push_back(int32_t((1u << b) + uint32_t(d)));
    for (int32_t f : {3, 5, 7, 9, 11, 13, 25, 125, 641, 6700417})
        for (int32_t m = f; m > 0 && m < (1 << 30); m *= 2)
            weights.push_back(m), weights.push_back(m + 1);
    uint64_t x = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 2000000; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        weights.push_back(int32_t(uint32_t(x) >> (x >> 59)));
    }
    int wrong = 0;
    for (int32_t w : weights) {
        if (w == 0)
            continue;
        uint64_t aw = w < 0 ? uint64_t(0) - uint64_t(int64_t(w)) : uint64_t(w);
        int64_t r = sw::PerspRecip(w);
        wrong += r != int64_t((uint64_t(1) << 40) / aw);
        int32_t c = int32_t(uint32_t(x += 0x632BE59BD9B4E019u));
        wrong += sw::PerspCoord(c, r) != int32_t(uint32_t(uint64_t((__int128(c) * r) >> 16)));
    }
    EXPECT_EQ(sw::PerspRecip(0), 0);
    EXPECT_EQ(wrong, 0);
}

// The bilinear alpha span reads its right and lower neighbours within the
// texture (AddressSanitizer watches the last texel).
TEST(Spans, BilinearNeighboursWrap)
{
    Span sp;
    sp.texels.assign(4, 0); // a 2 x 2 texture, the array exactly that long
    sp.s.texels = sp.texels.data();
    sp.texels[0] = 0xFF00; // alpha 0 at (0, 0)
    sp.texels[1] = 0xFFFF;
    sp.texels[2] = 0xFFFF;
    sp.texels[3] = 0xFFFF;
    sp.s.texShiftU = sp.s.texShiftV = 1;
    sp.s.texMask = 3;
    // At the last texel: its right neighbour is column 0, its lower row 0.
    sp.s.edgeU = (1 << 23) + (1 << 22) + 0x8000;
    sp.s.edgeV = (1 << 23) + (1 << 22) + 0x8000;
    sp.Run(DrawInnerABGT88, 1);
    EXPECT_NE(sp.colour[0], 0);
    // Width 1: a column shift by 32 yields column 0.
    Span one;
    one.texels.assign(1, 0xFFFF);
    one.s.texels = one.texels.data();
    one.s.texShiftU = one.s.texShiftV = 0;
    one.s.texMask = 0;
    one.Run(DrawInnerABGT88, 2);
    EXPECT_EQ(one.colour[0], 0xFFFF);
}

} // namespace
