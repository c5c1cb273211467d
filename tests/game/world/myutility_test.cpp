// The shared helpers: digits, headings, line splitting, the little-endian
// primitives of the game's binary files, angles, distances, wide-text
// buffers, and the widgets drawn on Mesa.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/pstream.h"
#include "game/world/myutility.h"
#include "tests/game/world/game_fixture.h"

namespace {

constexpr int32_t F(double v) { return int32_t(v * 65536.0); }

TEST(MyUtility, DigitOfANumber)
{
    struct {
        int32_t value;
        int index;
        int expected;
    } cases[] = {
        {4, 0, '4'}, {123, 2, '3'}, {123, 3, -1}, {0, 0, -1}, {-5, 0, -1}, {2147483647, 9, '7'}, {7, -1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MyUtility::GetCharFromIntAtIndex(c.value, static_cast<signed char>(c.index)), c.expected)
            << c.value << " at " << c.index;
}

TEST(MyUtility, HeadingHasLengthThreeAndAHalfAlongTheRotatedZAxis)
{
    struct {
        int32_t x, y, z;
        double ex, ey, ez; // expected, or NaN to check the length only
    } cases[] = {
        {0, 0, 0, 0.0, 0.0, -3.5},
        {F(90), 0, 0, 0.0, 3.5, 0.0},
        {0, F(90), 0, -3.5, 0.0, 0.0},
        {F(33), F(-71), F(12), NAN, NAN, NAN},
    };
    for (const auto& c : cases) {
        PVector3 out;
        MyUtility::MoveByAngle(PVector3(c.x, c.y, c.z), out);
        const double x = out.x / 65536.0, y = out.y / 65536.0, z = out.z / 65536.0;
        SCOPED_TRACE(testing::Message() << x << ", " << y << ", " << z);
        EXPECT_NEAR(std::sqrt(x * x + y * y + z * z), 3.5, 0.01);
        if (!std::isnan(c.ex)) {
            EXPECT_NEAR(std::fabs(x), std::fabs(c.ex), 0.01);
            EXPECT_NEAR(y, c.ey, 0.01);
            EXPECT_NEAR(z, c.ez, 0.01);
        }
    }
}

std::vector<std::wstring> Split(const wchar_t* text, wchar_t sep, int maxLength = 0)
{
    wchar_t** lines = reinterpret_cast<wchar_t**>(1);
    int count = -1;
    MyUtility::StrToMultiline(text, lines, count, sep, maxLength);
    std::vector<std::wstring> out;
    for (int i = 0; i < count; i++)
        out.emplace_back(lines[i]);
    if (count == 0) {
        EXPECT_EQ(lines, nullptr);
    }
    MyUtility::FreeLines(lines, count);
    return out;
}

TEST(MyUtility, TextSplitsIntoLinesAtTheSeparator)
{
    using V = std::vector<std::wstring>;
    EXPECT_EQ(Split(nullptr, L'|'), V{});
    EXPECT_EQ(Split(L"", L'|'), V{});
    EXPECT_EQ(Split(L"no separator", L'|'), V{L"no separator"});
    EXPECT_EQ(Split(L"ab|c", L'|'), (V{L"ab", L"c"}));
    EXPECT_EQ(Split(L"a||b", L'|'), (V{L"a", L" ", L"b"}));
    EXPECT_EQ(Split(L"|a", L'|'), (V{L" ", L"a"}));
    EXPECT_EQ(Split(L"a|", L'|'), (V{L"a", L" "}));
    EXPECT_EQ(Split(L"|", L'|'), (V{L" ", L" "}));
    // Cut lines: only the pieces longer than the limit lose their end.
    std::wstring longer(100, L'x'), cut(94, L'x');
    EXPECT_EQ(Split((longer + L"|ab|" + cut).c_str(), L'|', 94), (V{cut, L"ab", cut}));
    EXPECT_EQ(Split(L"abc||", L'|', 2), (V{L"ab", L" ", L" "}));
}

std::vector<uint8_t> Written(void (*write)(PStream*))
{
    std::vector<uint8_t> buf(1024);
    PMemStream s(buf.data(), long(buf.size()));
    write(&s);
    buf.resize(size_t(s.Seek(0, 1)));
    return buf;
}

TEST(MyUtility, IntegersAndStringsRoundTripLittleEndian)
{
    uint8_t b[4];
    MyUtility::IntegerToBytes(int32_t(0x80c0ff01), b);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0x01, 0xff, 0xc0, 0x80}));
    EXPECT_EQ(MyUtility::BytesToInteger(b), int32_t(0x80c0ff01));

    const std::string longest(MyUtility::kMaxStoredString, 'x');
    static std::string s_longest;
    s_longest = longest;
    std::vector<uint8_t> bytes = Written([](PStream* s) {
        MyUtility::FileWrite_Byte(s, 7);
        MyUtility::FileWrite_Int(s, -2);
        MyUtility::FileWrite_String(s, "pilot");
        MyUtility::FileWrite_String(s, nullptr);
        MyUtility::FileWrite_String(s, "");
        MyUtility::FileWrite_String(s, s_longest.c_str());
        MyUtility::FileWrite_String(s, (s_longest + "cut").c_str());
    });
    ASSERT_EQ(bytes.size(), 1u + 4 + 4 + 5 + 4 + 4 + 2 * (4 + 255));
    EXPECT_EQ(bytes[0], 7);

    ByteCursor c(bytes.data() + 1, long(bytes.size() - 1));
    int32_t v = 0;
    EXPECT_EQ(MyUtility::ByteArrayRead_Int(c, v), -2);
    EXPECT_EQ(v, -2);
    char* str = nullptr;
    // Absent and empty strings both read back as no string; the longest
    // is kept whole and a longer one cut to it.
    for (std::string want : {"pilot", "(none)", "(none)", longest.c_str(), longest.c_str()}) {
        EXPECT_EQ(MyUtility::ByteArrayRead_String(c, str), 1);
        EXPECT_EQ(str ? std::string(str) : "(none)", want);
    }
    EXPECT_FALSE(c.failed);
    EXPECT_EQ(c.Remaining(), 0);
    delete[] str;
}

TEST(MyUtility, DamagedBytesFailTheCursorWithoutReadingPastTheEnd)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"short integer", {1, 2, 3}},
        {"length beyond the data", {5, 0, 0, 0, 'a', 'b'}},
        {"length above the stored maximum", [] {
             std::vector<uint8_t> b = {0, 1, 0, 0}; // 256
             b.resize(4 + 256, 'y');
             return b;
         }()},
        {"huge length", {0xff, 0xff, 0xff, 0x7f, 'a'}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Exactly sized heap copies: the sanitizer catches any read past them.
        std::vector<uint8_t> exact(c.bytes);
        ByteCursor cur(exact.data(), long(exact.size()));
        char* str = new char[4];
        std::strcpy(str, "old");
        EXPECT_EQ(MyUtility::ByteArrayRead_String(cur, str), 0);
        EXPECT_EQ(str, nullptr);
        EXPECT_TRUE(cur.failed);
        EXPECT_EQ(cur.Remaining(), 0);
        // Once failed, reads give nothing.
        int32_t v = 99;
        EXPECT_EQ(MyUtility::ByteArrayRead_Int(cur, v), 0);
        EXPECT_EQ(v, 0);
    }
    // A stored zero byte ends the text early but the whole length is skipped.
    std::vector<uint8_t> b = {4, 0, 0, 0, 'a', 0, 'b', 'c', 9, 0, 0, 0};
    ByteCursor cur(b.data(), long(b.size()));
    char* str = nullptr;
    EXPECT_EQ(MyUtility::ByteArrayRead_String(cur, str), 1);
    EXPECT_STREQ(str, "a");
    int32_t v = 0;
    EXPECT_EQ(MyUtility::ByteArrayRead_Int(cur, v), 9);
    delete[] str;
}

TEST(MyUtility, AnglesComeIntoOneTurn)
{
    struct {
        double in, out;
    } cases[] = {{0, 0}, {359.5, 359.5}, {360, 0}, {725, 5}, {-1, 359}, {-360, 0}, {-725, 355}};
    for (const auto& c : cases)
        EXPECT_EQ(MyUtility::AbsoluteAngle(F(c.in)), F(c.out)) << c.in;
}

TEST(MyUtility, DistanceWithinALimit)
{
    struct {
        PVector3 a, b;
        double limit;
        double expected; // -1: beyond the limit
    } cases[] = {
        {PVector3(0, 0, 0), PVector3(F(3), F(4), 0), 54.0, 5.0},
        {PVector3(F(10), F(10), F(10)), PVector3(F(10), F(10), F(10)), 1.0, 0.0},
        {PVector3(0, 0, 0), PVector3(F(55), 0, 0), 54.0, -1},     // one axis beyond
        {PVector3(0, 0, 0), PVector3(F(40), F(40), 0), 54.0, -1}, // each axis within, the diagonal not
        {PVector3(F(-30000), 0, 0), PVector3(F(30000), 0, 0), 32000.0, -1},
        {PVector3(F(-20000), F(-20000), F(-20000)), PVector3(F(0), F(0), F(0)), 32000.0, -1},
        {PVector3(F(-10000), F(-10000), F(-10000)), PVector3(F(0), F(0), F(0)), 32000.0, 17320.5},
    };
    for (const auto& c : cases) {
        const int32_t d = MyUtility::GetDistanceInMinimum(c.a, c.b, F(c.limit));
        if (c.expected < 0)
            EXPECT_EQ(d, -1) << c.limit;
        else
            EXPECT_NEAR(d / 65536.0, c.expected, c.expected / 200 + 0.01) << c.limit;
    }
}

TEST(MyUtility, WideTextsStayInsideTheirBuffers)
{
    // What a 33-character buffer holds after appending; guards follow it.
    struct Case {
        std::wstring start, added;
        std::wstring expected;
    } cases[] = {
        {L"ab", L"cd", L"abcd"},
        {L"ab", L"", L"ab"},
        {std::wstring(20, 'a'), std::wstring(20, 'b'), std::wstring(20, 'a') + std::wstring(11, 'b')},
        {L"ab", std::wstring(30, 'b'), L"ab" + std::wstring(30, 'b')}, // all 32 used
        {std::wstring(32, 'a'), std::wstring(40, 'b'), std::wstring(31, 'a')},
        {std::wstring(32, 'a'), L"z", std::wstring(31, 'a') + L"z"}, // one character: the last one replaced
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start.size() << " + " << c.added.size());
        wchar_t buf[MyUtility::kWideBuffer + 4];
        std::wmemset(buf, L'#', MyUtility::kWideBuffer + 4);
        std::wcscpy(buf, c.start.c_str());
        if (c.added.size() == 1)
            MyUtility::AppendW(buf, c.added[0]);
        else
            MyUtility::AppendW(buf, c.added.c_str());
        EXPECT_EQ(std::wstring(buf), c.expected);
        EXPECT_EQ(std::wstring(buf + MyUtility::kWideBuffer, 4), L"####");
    }
    wchar_t num[MyUtility::kWideBuffer];
    MyUtility::ItoaW(num, -2147483647 - 1);
    EXPECT_EQ(std::wstring(num), L"-2147483648");
}

// ---------------------------------------------------------------------------
// Widgets drawn on Mesa, checked by the pixels they leave

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
    gametest::MesaContext mesa{160, 64};
};

TEST_F(MyUtilityDraw, PercentBarFillsItsShareOfTheWidth)
{
    struct {
        int max, value;
        int filled; // pixels of fill from the left
    } cases[] = {
        {4, 1, 25}, {3, 2, 66}, {4, 4, 100},
        {4, 9, 100}, // above the maximum: full
        {0, 0, 0},   // no maximum: no fill, and no division
        {-3, 5, 0},
        {4, -2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " of " << c.max);
        mesa.ctx->Clear(0xff404040);
        MyUtility::DrawPercentBar(mesa.ctx, 10, 10, 100, 8, kBorder, kBack, kFill, c.max, c.value);
        const auto f = mesa.Read();
        EXPECT_COLOUR(f[9 * 160 + 9], kBorder);
        EXPECT_COLOUR(f[18 * 160 + 110], kBorder);
        EXPECT_COLOUR(f[19 * 160 + 111], 0x404040u);
        for (int x = 10; x < 110; x++)
            ASSERT_PRED2(Near, f[14 * 160 + x], x < 10 + c.filled ? kFill : kBack) << "x " << x;
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
        EXPECT_COLOUR(f[8 * 160 + 8], c.expected);
        EXPECT_COLOUR(f[12 * 160 + 12], 0x404040u);
    }
}

} // namespace
