// The widgets of MyUtility drawn on Mesa through a headless pbuffer, checked
// by the pixels they leave.
#include <cstdlib>

#include <gtest/gtest.h>

#include "engine/graphics/p3d_fixtures.h"
#include "game/world/myutility.h"

namespace {

constexpr unsigned kBorder = 0xff0000, kBack = 0x00ff00, kFill = 0x0000ff;

// GL turns a colour byte c into c << 8 of 0xffff, so 0xff reads back as 0xfe.
bool Near(unsigned got, unsigned want)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int(got >> shift & 0xff) - int(want >> shift & 0xff)) > 1)
            return false;
    return true;
}
#define EXPECT_COLOUR(got, want) EXPECT_PRED2(Near, got, want)

class MyUtilityDraw : public testing::Test {
protected:
    void SetUp() override
    {
        if (!mesa.Ok())
            GTEST_SKIP() << "no headless Mesa context";
        mesa.ctx->Clear(0xff404040);
    }
    p3dtest::Mesa mesa{160, 64};
};

TEST_F(MyUtilityDraw, PercentBarFillsItsShareOfTheWidth)
{
    struct {
        int max, value;
        int filled; // pixels of fill from the left
    } cases[] = {
        {4, 1, 25}, {4, 2, 50}, {3, 2, 66}, {4, 4, 100},
        {4, 9, 100}, // above the maximum: full
        {0, 0, 0},   // no maximum: no fill, and no division
        {0, 5, 0},
        {-3, 5, 0},
        {4, -2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " of " << c.max);
        mesa.ctx->Clear(0xff404040);
        MyUtility::DrawPercentBar(mesa.ctx, 10, 10, 100, 8, kBorder, kBack, kFill, c.max, c.value);
        const auto f = mesa.Read();
        EXPECT_COLOUR(mesa.At(f, 9, 9), kBorder);
        EXPECT_COLOUR(mesa.At(f, 110, 18), kBorder);
        EXPECT_COLOUR(mesa.At(f, 111, 19), 0x404040u);
        for (int x = 10; x < 110; x++)
            ASSERT_PRED2(Near, mesa.At(f, x, 14), x < 10 + c.filled ? kFill : kBack) << "x " << x;
    }
}

TEST_F(MyUtilityDraw, BrightnessDarkensOrBrightens)
{
    struct {
        signed char b;
        unsigned expected; // on 0x404040
    } cases[] = {
        {-70, 0x2f2f2f}, // black at alpha 69: 64 * 186 / 255
        {-1, 0x404040},  // alpha 0
        {30, 0x5e5e5e},
        {0, 0x404040},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.b));
        mesa.ctx->Clear(0xff404040);
        MyUtility::FillRectBrightness(mesa.ctx, 4, 4, 8, 8, c.b);
        const auto f = mesa.Read();
        EXPECT_COLOUR(mesa.At(f, 8, 8), c.expected);
        EXPECT_COLOUR(mesa.At(f, 12, 12), 0x404040u);
    }
}

} // namespace
