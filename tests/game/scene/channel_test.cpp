// Key tracks: evaluation between, on, before and after keys, the rounded
// slope, blocking, and reading tracks from scene bytes.
#include <gtest/gtest.h>

#include <climits>
#include <vector>
#include <tuple>

#include "game/scene/p3dchannel.h"

namespace {

void Set(P3DChannel& t, std::vector<int32_t> frames, std::vector<int32_t> values)
{
    ASSERT_EQ(1, t.SetKeys(int(frames.size()), frames.data(), values.data()));
}

TEST(Channel, InterpolatesWithTheSlopeRoundedFirst)
{
    P3DChannel t;
    Set(t, {0, 10}, {0, 65536});
    t.FindAB(5);
    EXPECT_EQ(32765, t.value); // slope 6553 times 5, not 32768
    t.FindAB(9);
    EXPECT_EQ(58977, t.value); // short of key B just before it
    t.FindAB(10);
    EXPECT_EQ(65536, t.value);
    t.FindAB(0);
    EXPECT_EQ(0, t.value);
}

TEST(Channel, HoldsOutsideTheKeysAndHitsEachKeyExactly)
{
    P3DChannel t;
    Set(t, {5, 10, 20}, {100 << 16, 200 << 16, -50 << 16});
    for (unsigned f : {5u, 10u, 20u}) {
        t.FindAB(f);
        EXPECT_EQ(f == 5 ? 100 << 16 : f == 10 ? 200 << 16 : -50 << 16, t.value) << f;
    }
    t.FindAB(1000);
    EXPECT_EQ(-50 << 16, t.value);
    EXPECT_EQ(1, t.keyA);
    EXPECT_EQ(2, t.keyB);
    // Before the first key the line of the first two keys continues:
    // slope 20.0 per frame, frame 2 is three frames early.
    t.FindAB(2);
    EXPECT_EQ((100 - 60) << 16, t.value);
}

TEST(Channel, OneKeyIsConstantAndNoKeysIsZero)
{
    P3DChannel one;
    Set(one, {7}, {12345});
    EXPECT_EQ(0, one.animated);
    for (unsigned f : {0u, 7u, 100u, 0xFFFFFFFFu}) {
        one.FindAB(f);
        EXPECT_EQ(12345, one.value);
    }
    P3DChannel none;
    none.value = 99;
    none.FindAB(3);
    EXPECT_EQ(0, none.value);
}

TEST(Channel, BlockedTracksKeepAValueSetFromOutside)
{
    P3DChannel t;
    Set(t, {0, 10}, {0, 10 << 16});
    t.blocked = 1;
    t.value = 777;
    t.FindAB(5);
    EXPECT_EQ(777, t.value);
    t.blocked = 0;
    t.FindAB(5);
    EXPECT_EQ(5 << 16, t.value);
}

TEST(Channel, ExtremeKeysWrapWithoutOverflow)
{
    // Differences beyond 32 bits are taken in 64 bits; the result wraps as a
    // 32-bit value (checked by UBSan for overflow).
    P3DChannel t;
    Set(t, {0, 2}, {INT_MIN, INT_MAX});
    t.FindAB(1);
    int64_t slope = (int64_t(INT_MAX) - INT_MIN) / 2;
    EXPECT_EQ(int32_t(uint32_t(int64_t(INT_MIN) + slope)), t.value);
    P3DChannel far;
    Set(far, {-32768, 32767}, {INT_MIN, INT_MAX});
    far.FindAB(0x80000000u); // beyond the last key, compared unsigned
    EXPECT_EQ(INT_MAX, far.value);
    far.FindAB(100);
    int64_t s2 = (int64_t(INT_MAX) - INT_MIN) / (32767 + 32768);
    EXPECT_EQ(int32_t(uint32_t(uint64_t(int64_t(INT_MIN)) + uint64_t(100 + 32768) * uint64_t(s2))), far.value);
}

TEST(Channel, FixChannelNegatesEveryKey)
{
    P3DChannel t;
    Set(t, {0, 1}, {5, INT_MIN});
    t.FixChannel();
    EXPECT_EQ(-5, t.keyValues[0]);
    EXPECT_EQ(INT_MIN, t.keyValues[1]); // wraps
}

std::vector<signed char> TrackBytes(unsigned count, int keysPresent)
{
    std::vector<signed char> b = {char(count >> 8), char(count & 0xFF)};
    for (int k = 0; k < keysPresent; k++) {
        int32_t time = k << 16 | 0x8000; // half frames are dropped
        int32_t value = k * 3;
        for (int i = 0; i < 4; i++)
            b.push_back(char(uint32_t(time) >> (8 * i)));
        for (int i = 0; i < 4; i++)
            b.push_back(char(uint32_t(value) >> (8 * i)));
    }
    return b;
}

TEST(Channel, ReadsBigEndianCountsUnsignedAndRefusesShortData)
{
    auto b = TrackBytes(3, 3);
    b.push_back(42);
    unsigned pos = 0;
    P3DChannel t;
    ASSERT_EQ(1, t.ReadChannel(b.data(), &pos, unsigned(b.size())));
    EXPECT_EQ(2u + 24u, pos);
    ASSERT_EQ(3, t.keyCount);
    EXPECT_EQ(std::make_tuple(2, 6, 1), std::make_tuple(t.keyFrames[2], t.keyValues[2], t.animated));

    // The high byte of the count is not a sign: 0x8001 keys need 262,152 bytes.
    auto big = TrackBytes(0x8001, 0x8001);
    pos = 0;
    P3DChannel many;
    ASSERT_EQ(1, many.ReadChannel(big.data(), &pos, unsigned(big.size())));
    EXPECT_EQ(0x8001, many.keyCount);

    for (size_t cut = 0; cut < b.size() - 1; cut++) {
        pos = 0;
        P3DChannel s;
        EXPECT_EQ(0, s.ReadChannel(b.data(), &pos, unsigned(cut))) << cut;
        EXPECT_EQ(0u, pos);
        EXPECT_EQ(0, s.keyCount);
    }
    pos = 5; // read position past the end
    EXPECT_EQ(0, t.ReadChannel(b.data(), &pos, 4));
}

} // namespace
