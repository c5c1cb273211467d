// Game message encoding against the network byte order, and the checked
// reading of untrusted messages: every malformed message is refused and
// out-of-range values are clamped.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <vector>

#include "engine/runtime/pdebugpeer.h"
#include "game/multiplayer/gamemessage.h"
#include "game/multiplayer/mpinterface.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(GameMessageCodec, IntsAndVectorsAreBigEndian)
{
    for (int32_t v : {0, 258, -1, 0x7FFFFFFF, int32_t(0x80000000), 0x12345678}) {
        uint8_t b[4];
        mpcodec::PutInt(b, v);
        uint32_t n = htonl(uint32_t(v));
        EXPECT_EQ(0, std::memcmp(b, &n, 4)) << v;
        EXPECT_EQ(v, mpcodec::GetInt(b));
    }
    uint8_t v[12];
    mpcodec::PutVector(v, PVector3(0x10000, -0x10000, 0x8000));
    const uint8_t want[12] = {0, 1, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0};
    EXPECT_EQ(0, std::memcmp(v, want, 12));
    EXPECT_EQ(PVector3(0x10000, -0x10000, 0x8000), mpcodec::GetVector(v));
    uint8_t s[2];
    mpcodec::PutShort(s, -2);
    EXPECT_EQ(-2, mpcodec::GetShort(s));
}

// Every encodable message reads back as written, at exactly its length.
TEST(GameMessageCodec, RoundTripsEveryType)
{
    for (int t = 1; t <= 18; ++t) {
        if (t == int(MsgType::Shot))
            continue;
        GameMessage m;
        m.type = MsgType(t);
        m.map = 2, m.season = 1, m.fragLimit = 6, m.plane = 9, m.rank = 4, m.inMatch = 1;
        m.id = 3, m.health = 77, m.position = PVector3(1, -2, 3), m.direction = PVector3(-4, 5, -6);
        m.damage = 40, m.target = 2, m.attacker = -1, m.amount = 200, m.busy = 1;
        m.flightState = 5, m.throttle = 60, m.kind = 3, m.first = 1, m.second = -1;
        m.count = 3;
        for (int i = 0; i < 3; ++i)
            m.entries[i] = {i + 1, t == int(MsgType::BusyList) ? i % 2 : 50 + i};
        uint8_t buf[GameMessage::kMaxSize];
        int n = m.Encode(buf, sizeof buf);
        ASSERT_GT(n, 0) << t;
        EXPECT_EQ(0, m.Encode(buf, n - 1)) << t;
        GameMessage r;
        ASSERT_TRUE(GameMessage::Decode(buf, n, r)) << t;
        uint8_t again[GameMessage::kMaxSize];
        ASSERT_EQ(n, r.Encode(again, sizeof again)) << t;
        EXPECT_EQ(0, std::memcmp(buf, again, size_t(n))) << t;
        EXPECT_FALSE(GameMessage::Decode(buf, n - 1, r)) << "truncated " << t;
    }
}

TEST(GameMessageCodec, RefusesMalformedMessages)
{
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"type 0", {0}},
        {"type 19", {19, 0, 0, 0}},
        {"negative type", {0x81, 0, 0, 0}},
        {"short room info", {1, 0, 0}},
        {"short respawn", Bytes(32, 6)},
        {"short damage", Bytes{8, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}},
        {"short position", Bytes(26, 11)},
        {"list without count", {9}},
        {"health list past its end", {9, 2, 0, 0, 0, 1, 50}},
        {"health list of 5", Bytes{9, 5, 0, 0, 0, 1, 50, 0, 0, 0, 2, 50, 0, 0, 0, 3, 50, 0, 0, 0, 4, 50, 0, 0, 0, 5, 50}},
        {"kills list past its end", {12, 1, 0, 0, 0, 1, 0, 0, 0}},
        {"busy list of 255", Bytes(1024, 18)},
        {"short winner", {14, 0, 0, 0}},
    };
    cases[12].bytes[1] = 255;
    PDebugPeerReset();
    testing::internal::CaptureStdout();
    for (const auto& c : cases) {
        GameMessage m;
        EXPECT_FALSE(GameMessage::Decode(c.bytes.data(), int(c.bytes.size()), m)) << c.what;
    }
    GameMessage m;
    EXPECT_FALSE(GameMessage::Decode(nullptr, 4, m));
    // The log writes the type byte as it came, unsigned.
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("unknown type 129\n"), std::string::npos) << log;
}

TEST(GameMessageCodec, ClampsValuesFromPeers)
{
    GameMessage m;
    const uint8_t room[] = {4, 200, 9, 255, 250};
    ASSERT_TRUE(GameMessage::Decode(room, sizeof room, m));
    EXPECT_EQ(3, m.map);
    EXPECT_EQ(2, m.season);
    EXPECT_EQ(7, m.fragLimit);

    uint8_t damage[13] = {8};
    mpcodec::PutInt(damage + 1, 100000);
    ASSERT_TRUE(GameMessage::Decode(damage, 13, m));
    EXPECT_EQ(999, m.damage);
    mpcodec::PutInt(damage + 1, -50);  // a negative damage must not heal
    ASSERT_TRUE(GameMessage::Decode(damage, 13, m));
    EXPECT_EQ(0, m.damage);

    uint8_t respawn[33] = {6};
    mpcodec::PutInt(respawn + 5, 5000);
    ASSERT_TRUE(GameMessage::Decode(respawn, 33, m));
    EXPECT_EQ(100, m.health);

    uint8_t pos[27] = {11};
    pos[26] = 230;
    ASSERT_TRUE(GameMessage::Decode(pos, 27, m));
    EXPECT_EQ(100, m.throttle);

    const uint8_t health[] = {9, 1, 0, 0, 0, 2, 200};
    ASSERT_TRUE(GameMessage::Decode(health, sizeof health, m));
    EXPECT_EQ(100, m.entries[0].value);

    // Longer messages than the layout are read (the transport may pad).
    const uint8_t winner[] = {14, 0, 0, 0, 2, 0xAA};
    ASSERT_TRUE(GameMessage::Decode(winner, sizeof winner, m));
    EXPECT_EQ(2, m.id);
}

TEST(EventListQueue, KeepsTheFifteenOldestInOrder)
{
    EventList q;
    EXPECT_EQ(0, q.Get());
    EXPECT_EQ(0, q.Count());
    for (int i = 1; i <= 16; ++i)
        EXPECT_EQ(1, q.Add(i));
    EXPECT_EQ(1, q.Add(0));
    EXPECT_EQ(15, q.Count());
    for (int i = 1; i <= 15; ++i)
        EXPECT_EQ(i, q.Get());
    EXPECT_EQ(0, q.Get());
    q.Add(7);
    q.Reset();
    EXPECT_EQ(0, q.Get());
}

}  // namespace
