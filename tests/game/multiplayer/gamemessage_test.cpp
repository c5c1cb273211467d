// Game message encoding against the network byte order, and the checked
// reading of untrusted messages: every malformed message is refused,
// out-of-range values are clamped, places, motions and angles are brought
// into the world's range, and a peer's flight state keeps only the bits it
// may set (also in a match on the in-memory network, against the hit test).
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/runtime/pdebugpeer.h"
#include "game/multiplayer/gamemessage.h"
#include "game/multiplayer/mpinterface.h"
#include "game/world/maingame.h"
#include "game/world/weaponsystem.h"
#include "matchrig.h"

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
        m.flightState = 1, m.throttle = 60, m.kind = 3, m.first = 1, m.second = -1;
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

constexpr int32_t kRange = MainGame::kWorldRange;
constexpr int64_t kTurn = int64_t(360) << 16;

// A place or a motion as read: each component clamped to the world's range.
void ExpectInWorld(const PVector3& sent, const PVector3& read, const char* what)
{
    const int32_t s[3] = {sent.x, sent.y, sent.z}, r[3] = {read.x, read.y, read.z};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(r[i], std::clamp(s[i], -kRange, kRange)) << what << " " << i;
}

// Angles as read: within one half turn either way, the same direction.
void ExpectAngles(const PVector3& sent, const PVector3& read, const char* what)
{
    const int32_t s[3] = {sent.x, sent.y, sent.z}, r[3] = {read.x, read.y, read.z};
    for (int i = 0; i < 3; ++i) {
        EXPECT_LE(std::abs(int64_t(r[i])), kTurn / 2) << what << " " << i;
        EXPECT_EQ((int64_t(s[i]) - r[i]) % kTurn, 0) << what << " " << i;
        if (std::abs(int64_t(s[i])) <= kTurn / 2) {
            EXPECT_EQ(r[i], s[i]) << what << " " << i;
        }
    }
}

int TypeOfWeapon(void*, int i)
{
    return i == 1 ? MyWeapon::kRocket : MyWeapon::kShot;
}

// Every place, motion and angle a peer sends comes into the world's range
// where it is read: the respawn (6), the position (11) and the shot (7).
TEST(GameMessageCodec, BringsPeersVectorsIntoTheWorld)
{
    const PVector3 places[] = {
        {0x7FFFFFFF, INT32_MIN, 0x123},
        {kRange, -kRange, 0},
        {kRange + 1, -kRange - 1, -(200 << 16)},
    };
    const PVector3 angles[] = {
        {180 << 16, -(180 << 16), 45 << 16},
        {190 << 16, -(190 << 16), 540 << 16},
        {0x7FFFFFFF, INT32_MIN, -0x7FFFFFFF},
    };
    for (const PVector3& place : places)
        for (const PVector3& angle : angles) {
            uint8_t respawn[33] = {6};
            mpcodec::PutVector(respawn + 9, place);
            mpcodec::PutVector(respawn + 21, angle);
            GameMessage m;
            ASSERT_TRUE(GameMessage::Decode(respawn, 33, m));
            ExpectInWorld(place, m.position, "respawn");
            ExpectAngles(angle, m.direction, "respawn");

            uint8_t position[27] = {11};
            mpcodec::PutVector(position + 1, place);
            mpcodec::PutVector(position + 13, angle);
            ASSERT_TRUE(GameMessage::Decode(position, 27, m));
            ExpectInWorld(place, m.position, "position");
            ExpectAngles(angle, m.direction, "position");

            uint8_t shot[ShotMessage::kLengthHoming] = {ShotMessage::kType};
            shot[5] = 1;  // the homing rocket, which sends its angles
            mpcodec::PutVector(shot + 6, place);
            mpcodec::PutVector(shot + 18, place);
            mpcodec::PutVector(shot + 30, angle);
            ShotMessage out;
            ASSERT_TRUE(ShotMessage::Decode(shot, int(sizeof shot), 2, TypeOfWeapon, nullptr, out));
            ExpectInWorld(place, out.position, "shot");
            ExpectInWorld(place, out.velocity, "shot's velocity");
            ExpectAngles(angle, out.third, "shot");
        }
}

// Of the flight-state byte only the firing bit is the peer's; up to 7 the
// message carries the position.
TEST(GameMessageCodec, KeepsTheFlightStateBitsAPeerMaySet)
{
    for (int byte : {0, 1, 2, 3, 4, 5, 7, 8, 9, 0xFF}) {
        uint8_t position[27] = {11};
        position[25] = uint8_t(byte);
        GameMessage m;
        ASSERT_TRUE(GameMessage::Decode(position, 27, m));
        EXPECT_EQ(m.flightState, byte & MyAirplane::kStateFiring) << byte;
        EXPECT_EQ(m.placed, byte <= 7) << byte;
    }
}

// A lying host and a lying guest in a match on the in-memory network.
TEST(GameMessagesInAMatch, APeerNeitherPlacesAnAircraftOutOfTheWorldNorShieldsIt)
{
    rig::Driver d(2);
    ASSERT_TRUE(d.StartMatch(0));
    KrvMpConn& host = d.peers[0]->s;
    KrvMpConn& guest = d.peers[1]->s;
    const int guestId = guest.MP_GetMyId();
    auto planeOf = [](KrvMpConn& s, int id) {
        KrvMpConn::KrvPlayer* p = s.MP_GetPlayer(id);
        return p && p->gameObject ? p->gameObject->aircraft : nullptr;
    };

    // The host respawns the guest's own aircraft at the far end of 16.16.
    host.NotifyRespawnPlayer(guestId, 100, PVector3(0x7FFFFFFF, 0x7FFFFFFF, INT32_MIN),
                             PVector3(0x7FFFFFFF, INT32_MIN, 0));
    d.Run(100);
    MyAirplane* own = planeOf(guest, guestId);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->spawnPosition, PVector3(kRange, kRange, -kRange));
    EXPECT_LE(std::abs(own->spawnAngles.x), 180 << 16);
    EXPECT_LE(std::abs(own->spawnAngles.y), 180 << 16);

    // The guest says its aircraft fires and is immune.
    MyAirplane* seen = planeOf(host, guestId);
    ASSERT_NE(seen, nullptr);
    uint8_t position[27] = {11};
    mpcodec::PutVector(position + 1, seen->displayedPosition);
    position[25] = MyAirplane::kStateFiring | MyAirplane::kStateImmune;
    position[26] = 50;
    host.HandleMessage(position, 27, guestId);
    EXPECT_EQ(seen->state, MyAirplane::kStateFiring);

    // The host fires, and its shot hits.
    rig::Fire(host);
    MyWeapon gun;
    gun.type = MyWeapon::kShot;
    gun.damage = 10;
    gun.life = 50;
    gun.hitRadius = 1 << 16;
    WeaponSystem weapons(nullptr, host.GetWeaponLink());
    weapons.SetWeapons({gun});
    mycoolparticle* p = weapons.GetNextFreeParticle();
    ASSERT_NE(p, nullptr);
    p->life = 5;
    p->weapon = 0;
    p->owner = host.MP_GetMyId();
    p->target = seen->gpo;
    p->position = seen->displayedPosition;
    weapons.CollisionProcessMultiplayer(nullptr, nullptr, d.hub.now, nullptr, INT32_MIN);
    EXPECT_EQ(p->life, 0) << "the shot hit";
    EXPECT_EQ(seen->health, 90);
    d.Run(500);
    EXPECT_EQ(own->health, 90) << "the guest learns its damage";

    // Shot down on the host, it stays down whatever state a late position
    // of the guest's says.
    rig::ShootDown(host, guestId);
    ASSERT_EQ(seen->state, MyAirplane::kStateExploding);
    position[25] = 0;
    host.HandleMessage(position, 27, guestId);
    EXPECT_EQ(seen->state, MyAirplane::kStateExploding);
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
