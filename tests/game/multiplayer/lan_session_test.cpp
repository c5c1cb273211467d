// Match sessions over the local-network back end, each player's sockets in a
// network namespace of its own (lan_netns.h), on the virtual clock: the
// aircraft each player chose, the capacity in the room list, a hostile guest
// speaking the wire protocol by hand, what of a guest's the host passes on,
// joins that never complete, a full room, mistyped addresses, a flood of
// malformed messages and a link that goes silent in a match.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <map>
#include <sstream>
#include <sys/socket.h>

#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/ptime.h"
#include "game/multiplayer/mpbackends.h"
#include "lan_netns.h"
#include "lan_test_util.h"
#include "matchrig.h"

namespace {

// Lines of the log that begin with what.
int Lines(const std::string& log, const std::string& what)
{
    int n = log.compare(0, what.size(), what) == 0 ? 1 : 0;
    for (size_t at = log.find("\n" + what); at != std::string::npos; at = log.find("\n" + what, at + 1))
        ++n;
    return n;
}

// Lines of the log that hold what, whether written in full or counted in
// the limiter's report of the lines it held back.
long Said(const std::string& log, const std::string& what)
{
    long n = 0;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        unsigned held = 0, peer = 0;
        if (line.find(what) == std::string::npos)
            continue;
        if (std::sscanf(line.c_str(), "log: %u more like this from peer %u", &held, &peer) == 2)
            n += held;
        else
            ++n;
    }
    return n;
}

struct Pilot {
    Pilot(const std::string& name, int plane)
    {
        profile.SetCurrentPlane(int8_t(plane));
        s.profile = &profile;
        s.planeCount = 5;
        s.MP_SetType(Multiplayer::kNetLocal);
        std::string n = name;
        s.MP_Init(n.data());
    }
    int PlaneOf(int id)
    {
        KrvMpConn::KrvPlayer* p = s.MP_GetPlayer(id);
        return p ? p->plane : -1;
    }
    KrvMpConn s;
    Profile profile;
    rig::FakeMatch game;
    std::vector<int> errors;
    bool started = false;
};

class LanSessions : public ::testing::Test {
protected:
    static constexpr uint32_t kFrame = 20;

    void SetUp() override
    {
        lab = std::make_unique<NetLab>(4);
        if (!lab->Ok())
            GTEST_SKIP() << "local-network test skipped: " << lab->Why();
        InstallNetworkBackEnds();
        PSetVirtualClock(1);
        PDebugPeerReset();
    }
    void TearDown() override
    {
        pilots.clear();
        PSetVirtualClock(0);
        lab.reset();
    }
    // A player's session starts when it acts (before, with no room asked
    // for, the local network reports no link, as the menus never see).
    Pilot& Add(const std::string& name, int plane)
    {
        pilots.push_back(std::make_unique<Pilot>(name, plane));
        return *pilots.back();
    }
    // Runs f with this thread in host i's namespace: sockets made there stay.
    template <class F>
    void In(int i, F f)
    {
        ASSERT_TRUE(lab->Enter(i));
        f();
        lab->Leave();
    }
    // One frame of every session; the match starts and flies as the menus
    // and the game would.
    void Step(uint32_t frame = kFrame)
    {
        PAdvanceVirtualClock(frame);
        for (auto& p : pilots) {
            if (int e = p->s.MP_Update(PTickCount())) {
                p->errors.push_back(e);
                // Left out of the match: back in the room, as the
                // application goes.
                if (KrvMpConn::IsLeftOut(e)) {
                    p->s.MP_EndGame();
                    p->started = false;
                }
            }
            if (p->s.state == KrvMpConn::kMatchStartRequested && p->s.MP_IsAllPlaying() && !p->started) {
                p->s.MP_StartGame();
                p->game.Attach(p->s, PTickCount());
                p->started = true;
            }
            if (p->started && p->s.game)
                p->game.Fly(p->s);
        }
        usleep(300);
    }
    bool RunUntil(const std::function<bool()>& done, uint32_t ms = 10000, uint32_t frame = kFrame)
    {
        for (uint32_t t = 0; t < ms; t += frame) {
            if (done())
                return true;
            Step(frame);
        }
        return done();
    }
    void Run(uint32_t ms)
    {
        RunUntil([] { return false; }, ms);
    }
    void Host(Pilot& p)
    {
        In(1, [&] { ASSERT_EQ(p.s.MP_RoomCreate_Begin("ARENA"), 1); });
        ASSERT_TRUE(RunUntil([&] { return p.s.state == KrvMpConn::kInRoomAsHost; }));
    }
    void Join(Pilot& p, int ns, const char* address = "10.77.0.1", int port = 1024)
    {
        In(ns, [&] { ASSERT_EQ(p.s.MP_DirectRoomJoin_Begin(address, port), 1); });
    }

    std::unique_ptr<NetLab> lab;
    std::vector<std::unique_ptr<Pilot>> pilots;
};

// Everyone flies the aircraft chosen in the profile, seen alike by all; the
// room list shows the room's capacity; a guest's aircraft number beyond the
// catalogue is clamped, and what it says about others is not believed.
TEST_F(LanSessions, GuestsFlyTheirOwnAircraftAndSpeakOnlyForThemselves)
{
    Pilot& host = Add("HOSTY", 2);
    Host(host);
    Pilot& alpha = Add("ALPHA", 3);
    In(2, [&] { ASSERT_EQ(alpha.s.MP_RoomsList_Begin(), 1); });
    std::string listed;
    ASSERT_TRUE(RunUntil([&] {
        char** rows = nullptr;
        int count = 0;
        if (alpha.s.MP_RoomsList_Update(rows, count) && count == 1)
            listed = rows[0];
        KrvMpConn::FreeTexts(rows, count);
        return !listed.empty();
    }));
    EXPECT_EQ(listed, "ARENA (1/4)");
    In(2, [&] { ASSERT_EQ(alpha.s.MP_RoomJoin_Begin(0), 1); });
    Pilot& bravo = Add("BRAVO", 1);
    Join(bravo, 3);
    ASSERT_TRUE(RunUntil([&] {
        for (Pilot* p : {&host, &alpha, &bravo})
            if (p->PlaneOf(0) != 2 || p->PlaneOf(1) != 3 || p->PlaneOf(2) != 1)
                return false;
        return true;
    })) << host.PlaneOf(1) << " " << alpha.PlaneOf(1) << " " << bravo.PlaneOf(2);

    host.s.RequestStart();
    ASSERT_TRUE(RunUntil([&] { return host.started && alpha.started && bravo.started; }));
    for (Pilot* p : {&host, &alpha, &bravo}) {
        EXPECT_EQ(p->PlaneOf(0), 2);
        EXPECT_EQ(p->PlaneOf(1), 3);
        EXPECT_EQ(p->PlaneOf(2), 1);
    }

    // The fourth guest: id 3, then its settings with aircraft 5, "the host
    // left" and the host shot down in ALPHA's name.
    RawGuest raw;
    In(4, [&] { ASSERT_TRUE(raw.Connect("10.77.0.1", 1024)); });
    ASSERT_TRUE(RunUntil([&] { return raw.Told(); }));
    testing::internal::CaptureStdout();
    raw.Put(Concat({{255, 3}, NameBytes("RAW")}));
    raw.Put({0, 3, 4, 3, 5, 0, 0});
    raw.Put({0, 3, 5, 15, 0, 0, 0, 0});
    raw.Put({0, 3, 13, 8, 0, 0, 3, 0xE7, 0, 0, 0, 0, 0, 0, 0, 1});
    ASSERT_TRUE(RunUntil([&] { return host.PlaneOf(3) == 4 && alpha.PlaneOf(3) == 4 && bravo.PlaneOf(3) == 4; }));
    Run(500);
    // The host passed on the aircraft it took: the guests had nothing to
    // clamp.
    EXPECT_EQ(Lines(testing::internal::GetCapturedStdout(), "Aircraft 5 from 3"), 1);
    for (Pilot* p : {&host, &alpha, &bravo}) {
        EXPECT_EQ(p->s.MP_GetPlayer(0)->matchState, 1);
        EXPECT_EQ(p->s.GetPlayerKills(0), 0);
        EXPECT_EQ(p->s.GetPlayerKills(1), 0);
        EXPECT_TRUE(p->errors.empty()) << testing::PrintToString(p->errors);
    }
    EXPECT_EQ(rig::FakeMatch::Mine(host.s)->health, 100);
    // A guest's shot and its hit, judged once where the host passes them
    // on: the one shot pays for the hit.
    rig::ShootDown(bravo.s, 1);
    ASSERT_TRUE(RunUntil([&] { return alpha.s.GetPlayerKills(2) == 1 && bravo.s.GetPlayerKills(2) == 1; }));
    EXPECT_EQ(host.s.GetPlayerKills(2), 1);
}

// A guest that says what only the host says, or speaks in another player's
// name, reaches nobody: the host drops each such message with one line, the
// other guests never receive it (a second guest watches the wire), while
// what the guest may say still goes round; the match goes on.
TEST_F(LanSessions, TheHostPassesOnOnlyWhatAGuestMaySay)
{
    Pilot& host = Add("HOSTY", 0);
    Host(host);
    Pilot& alpha = Add("ALPHA", 1);
    Join(alpha, 2);
    ASSERT_TRUE(RunUntil([&] { return host.s.playerCount == 2 && host.s.MP_IsAllReady(); }));
    host.s.RequestStart();
    ASSERT_TRUE(RunUntil([&] { return host.started && alpha.started; }));
    RawGuest hostile, watcher;
    In(3, [&] { ASSERT_TRUE(hostile.Connect("10.77.0.1", 1024)); });
    ASSERT_TRUE(RunUntil([&] { return hostile.Told(); }));
    In(4, [&] { ASSERT_TRUE(watcher.Connect("10.77.0.1", 1024)); });
    ASSERT_TRUE(RunUntil([&] { return watcher.Told(); }));
    hostile.Put(Concat({{255, 2}, NameBytes("HOSTILE")}));
    watcher.Put(Concat({{255, 3}, NameBytes("WATCHER")}));
    ASSERT_TRUE(RunUntil([&] { return alpha.s.playerCount == 4; }));
    Run(500);
    watcher.Read();
    watcher.got.clear();
    PDebugPeerReset();
    testing::internal::CaptureStdout();

    // Every message only the host sends, each as the host would write it.
    std::vector<int> refused;
    for (int t = 1; t <= 18; ++t) {
        GameMessage m;
        m.type = MsgType(t);
        if (!GameMessage::FromHostOnly(m.type))
            continue;
        m.id = 2;  // respawn, winner
        m.health = 100;
        m.kind = int(ConsoleKind::Winner);
        m.first = 2;
        m.count = 2;  // ALPHA at health 0, 40 kills, busy
        m.entries[0] = {1, 0};
        m.entries[1] = {2, 40};
        uint8_t out[64];
        const int n = m.Encode(out, int(sizeof out));
        ASSERT_GT(n, 0) << t;
        hostile.PutData(2, Bytes(out, out + n));
        refused.push_back(t);
    }
    // In another player's name: ALPHA left, ALPHA shot the host down, ALPHA
    // fired.
    Bytes shot(32, 0);
    shot[0] = 7, shot[4] = 1;
    hostile.PutData(2, {15, 0, 0, 0, 1});
    hostile.PutData(2, {8, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 1});
    hostile.PutData(2, shot);
    // Joined after the start, it is not in the match: no damage of its
    // counts, even what its own shot did to itself.
    hostile.PutData(2, {8, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 2});
    // What it may say: its settings, its position, its own shot.
    shot[4] = 2;
    const std::vector<Bytes> allowed = {{3, 1, 0, 1}, Concat({{11}, Bytes(24, 0), {1, 50}}), shot};
    for (const Bytes& b : allowed)
        hostile.PutData(2, b);
    Run(pdebugpeer::kSummaryMs + 1000);  // and the limiter reports what it held back
    watcher.Read();
    const std::string log = testing::internal::GetCapturedStdout();

    std::vector<Bytes> passed;
    for (const Bytes& b : watcher.got)
        if (b[0] == kLanData && b[1] == 2)
            passed.emplace_back(b.begin() + 3, b.end());
    EXPECT_EQ(passed, allowed);
    // One line each, the host's (in full or counted): no guest had them.
    EXPECT_EQ(Said(log, "from 2, who is not the host"), long(refused.size())) << log;
    EXPECT_EQ(Said(log, "Player 1 reported gone by 2"), 1);
    EXPECT_EQ(Said(log, "Damage from 1 to 0 reported by 2"), 1);
    EXPECT_EQ(Said(log, "Game message 7 from 2 names another shooter"), 1);
    EXPECT_EQ(Said(log, "reported by 2: dropped, it names a player not in the match"), 1);
    EXPECT_EQ(alpha.game.shots.size(), 1u);

    // The match goes on as before: ALPHA still flies and is shot down once.
    for (Pilot* p : {&host, &alpha}) {
        EXPECT_EQ(p->s.MP_GetWinner(), -1);
        EXPECT_EQ(p->s.MP_GetPlayer(1)->matchState, uint8_t(MatchState::Playing));
        EXPECT_EQ(p->s.GetPlayerKills(2), 0);
        EXPECT_EQ(p->s.MP_GetPlayer(2)->busy, 0u);
        EXPECT_TRUE(p->errors.empty()) << testing::PrintToString(p->errors);
    }
    EXPECT_EQ(rig::FakeMatch::Mine(alpha.s)->health, 100);
    EXPECT_EQ(rig::FakeMatch::Mine(host.s)->health, 100);
    rig::ShootDown(host.s, 1);
    ASSERT_TRUE(RunUntil([&] { return alpha.s.GetPlayerKills(0) == 1; }));
    EXPECT_EQ(host.s.GetPlayerKills(0), 1);
}

// Connections that never give their name hold no place in the room (and
// are closed at the join limit): a guest joins past three of them; a guest
// whose address is wrong is told the join was refused, not that a link was
// lost.
TEST_F(LanSessions, SilentJoinsExpireAndRefusedJoinsSaySo)
{
    Pilot& host = Add("HOSTY", 0);
    Host(host);
    RawGuest silent[3];
    for (int i = 0; i < 3; ++i) {
        In(4, [&] { ASSERT_TRUE(silent[i].Connect("10.77.0.1", 1024)); });
        ASSERT_TRUE(RunUntil([&] { return silent[i].Told(); }));
    }
    EXPECT_EQ(host.s.mp->GetPlayerCount(), 1);  // nameless, they never show in the room

    Pilot& late = Add("LATE", 0);
    Join(late, 2);
    ASSERT_TRUE(RunUntil([&] { return late.s.state == KrvMpConn::kInRoomAsClient && late.s.playerCount == 2; }));
    EXPECT_TRUE(late.errors.empty());
    EXPECT_EQ(host.s.mp->GetPlayerCount(), 2);

    // Nothing listens on that port; nobody has that address.
    for (const char* address : {"10.77.0.1:1040", "10.77.0.9:1024"}) {
        SCOPED_TRACE(address);
        Pilot& typo = Add("TYPO", 0);
        std::string a(address);
        Join(typo, 3, a.substr(0, a.find(':')).c_str(), std::stoi(a.substr(a.find(':') + 1)));
        // While a connect is under way a poll waits up to 100 ms: long frames.
        ASSERT_TRUE(RunUntil([&] { return !typo.errors.empty(); }, IPInterface::kJoinLimitMs + 1000, 250));
        EXPECT_EQ(typo.errors[0], KrvMpConn::kErrJoinRefused);
        pilots.pop_back();
    }
}

// A guest sending hundreds of malformed messages a second: the host's log
// shows a few in full and then counts them, every one accounted for, while
// another kind of fault of the same guest and a second guest's first fault
// still come in full.
TEST_F(LanSessions, AFloodOfBadMessagesLeavesABoundedLog)
{
    Pilot& host = Add("HOSTY", 0);
    Host(host);
    RawGuest flood, second;
    In(4, [&] { ASSERT_TRUE(flood.Connect("10.77.0.1", 1024)); });
    ASSERT_TRUE(RunUntil([&] { return flood.Told(); }));
    flood.Put(Concat({{255, 1}, NameBytes("FLOOD")}));
    Run(200);
    PDebugPeerReset();
    testing::internal::CaptureStdout();
    const Bytes respawnTooShort = {0, 1, 1, 6};  // a respawn needs 33 bytes
    int sent = 0;
    for (int frame = 0; frame < 40 * 50; ++frame) {  // 40 s, 300 a second
        for (int i = 0; i < 6; ++i, ++sent)
            flood.Put(respawnTooShort);
        if (frame == 1000)
            flood.Put({0, 1, 5, 15, 0, 0, 0, 0});  // says the host left
        Step();
    }
    Run(pdebugpeer::kSummaryMs + 1000);
    In(3, [&] { ASSERT_TRUE(second.Connect("10.77.0.1", 1024)); });
    ASSERT_TRUE(RunUntil([&] { return second.Told(); }));
    second.Put(Concat({{255, 2}, NameBytes("SECOND")}));
    second.Put({0, 2, 1, 6});
    Run(500);
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(Lines(log, "Game message 6 from 1: 1 bytes, needs 33"), int(pdebugpeer::kBurst));
    long counted = 0;
    int reports = 0;
    for (size_t at = log.find("log: "); at != std::string::npos; at = log.find("log: ", at + 1)) {
        unsigned n = 0, peer = 0;
        if (std::sscanf(log.c_str() + at, "log: %u more like this from peer %u", &n, &peer) == 2 && peer == 1) {
            counted += n;
            ++reports;
        }
    }
    EXPECT_EQ(counted + int(pdebugpeer::kBurst), sent) << "every malformed message is in the log's count";
    EXPECT_LE(reports, 10);
    EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 40) << log.substr(0, 4000);
    EXPECT_EQ(Lines(log, "Player 0 reported gone by 1"), 1);
    EXPECT_EQ(Lines(log, "Game message 6 from 2: 1 bytes, needs 33"), 1);
    EXPECT_EQ(host.s.playerCount, 3);
}

// One guest's settings requests, 300 a second, cost the others nothing: a
// receiver that takes 40 events a frame at 30 frames a second sees another
// guest's positions as soon as without the flood, and the host's log counts
// what it dropped.
TEST_F(LanSessions, ASettingsFloodCostsOnlyTheFlooder)
{
    constexpr uint32_t kFrame30 = 33;
    Pilot& host = Add("HOSTY", 0);
    Host(host);
    Pilot& alpha = Add("ALPHA", 1);
    Join(alpha, 2);
    Pilot& bravo = Add("BRAVO", 2);
    Join(bravo, 3);
    ASSERT_TRUE(RunUntil([&] { return host.s.playerCount == 3 && host.s.MP_IsAllReady(); }));
    host.s.RequestStart();
    ASSERT_TRUE(RunUntil([&] { return host.started && alpha.started && bravo.started; }));
    RawGuest flood;
    In(4, [&] { ASSERT_TRUE(flood.Connect("10.77.0.1", 1024)); });
    ASSERT_TRUE(RunUntil([&] { return flood.Told(); }));
    flood.Put(Concat({{255, 3}, NameBytes("FLOOD")}));
    ASSERT_TRUE(RunUntil([&] { return bravo.s.playerCount == 4; }));

    // When ALPHA's airplane was where BRAVO then sees it: before the flood,
    // under it and after it. The frames run far faster than the wall clock,
    // so what the sockets hold back a moment (real time) is many frames
    // here: the flood must add nothing to it.
    std::map<int32_t, uint32_t> at;
    std::vector<uint32_t> late[3];
    int32_t seen = 0;
    PDebugPeerReset();
    testing::internal::CaptureStdout();
    int sent = 0;
    for (int phase = 0; phase < 3; ++phase) {
        for (uint32_t t = 0; t < 8000; t += kFrame30) {
            if (phase == 1)
                for (int i = 0; i < 10; ++i, ++sent)
                    flood.PutData(3, {2});
            Step(kFrame30);
            at[rig::FakeMatch::Mine(alpha.s)->position.x] = PTickCount();
            const MyAirplane* a = bravo.s.MP_GetPlayer(1)->gameObject->aircraft;
            if (a->position.x != seen && at.count(a->position.x))
                late[phase].push_back(PTickCount() - at[a->position.x]);
            seen = a->position.x;
        }
    }
    const std::string log = testing::internal::GetCapturedStdout();
    for (auto& l : late) {
        ASSERT_GE(l.size(), 10u);
        std::sort(l.begin(), l.end());
    }
    auto median = [](const std::vector<uint32_t>& l) { return l[l.size() / 2]; };
    std::printf("position latency at BRAVO (virtual ms, 33 ms frames): before the flood median %u, worst %u; "
                "under it median %u, worst %u; after it median %u, worst %u\n",
                median(late[0]), late[0].back(), median(late[1]), late[1].back(), median(late[2]),
                late[2].back());
    for (int phase : {1, 2}) {
        EXPECT_LE(median(late[phase]), median(late[0]) + 2 * kFrame30) << phase;
        EXPECT_LE(late[phase].back(), late[0].back() + 4 * kFrame30) << phase;
    }
    // Answered as often as the game asks; every other one counted.
    EXPECT_GE(Said(log, "Settings request from 3, more often than one in 1800 ms: dropped"), sent - 10) << log;
    EXPECT_EQ(host.s.MP_GetWinner(), -1);
    for (Pilot* p : {&host, &alpha, &bravo})
        EXPECT_TRUE(p->errors.empty()) << testing::PrintToString(p->errors);
}

// A guest whose network goes in a match: after the silence limit the host
// drops it and wins alone, and the guest's session reports the link lost.
TEST_F(LanSessions, ASilentLinkIsLost)
{
    Pilot& host = Add("HOSTY", 0);
    Host(host);
    Pilot& guest = Add("GUEST", 1);
    Join(guest, 2);
    ASSERT_TRUE(RunUntil([&] { return host.s.playerCount == 2 && host.s.MP_IsAllReady(); }));
    host.s.RequestStart();
    ASSERT_TRUE(RunUntil([&] { return host.started && guest.started; }));
    Run(3000);
    // The guest's port on the bridge goes down: nothing passes, nothing is
    // refused.
    ASSERT_TRUE(NetLab::Run({"ip", "-n", lab->Bridge(), "link", "set", "p2", "down"}));
    Run(IPInterface::kSilentLinkMs - 3000);
    EXPECT_EQ(host.s.playerCount, 2);
    EXPECT_TRUE(guest.errors.empty()) << testing::PrintToString(guest.errors);
    ASSERT_TRUE(RunUntil([&] { return !guest.errors.empty() && host.s.MP_GetWinner() == 0; }, 6000));
    EXPECT_EQ(guest.errors[0], KrvMpConn::kErrLinkLost);
    EXPECT_EQ(host.s.playerCount, 1);
    EXPECT_TRUE(host.errors.empty());
}

// A full room names whom it turned away: a guest knocking again and again by
// its dotted address, five times in full and then counted; a client that
// resets before the host takes it as one whose address could not be read.
TEST_F(LanSessions, AFullRoomNamesWhomItTurnsAway)
{
    Pilot& host = Add("HOSTY", 0);
    Host(host);
    RawGuest guests[3];
    for (int i = 0; i < 3; ++i) {
        In(2 + i, [&] { ASSERT_TRUE(guests[i].Connect("10.77.0.1", 1024)); });
        ASSERT_TRUE(RunUntil([&] { return guests[i].Told(); }));
        guests[i].Put(Concat({{255, uint8_t(i + 1)}, NameBytes("GUEST")}));
    }
    Run(200);
    testing::internal::CaptureStdout();
    const int knocks = int(pdebugpeer::kBurst) + 3;
    for (int i = 0; i < knocks; ++i) {
        RawGuest knock;
        In(4, [&] { ASSERT_TRUE(knock.Connect("10.77.0.1", 1024)); });
        Run(200);
    }
    In(3, [&] {
        RawGuest gone;
        ASSERT_TRUE(gone.Connect("10.77.0.1", 1024));
        pollfd connected = {gone.fd, POLLOUT, 0};
        ASSERT_EQ(poll(&connected, 1, 2000), 1);
        linger reset = {1, 0};  // closing sends a reset
        ASSERT_EQ(setsockopt(gone.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
    });
    usleep(20000);  // the reset reaches the host before its next poll
    Run(pdebugpeer::kSummaryMs + 500);
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(Lines(log, "LAN: the room is full; a further client at 10.77.0.4 was turned away\n"),
              int(pdebugpeer::kBurst))
        << log;
    EXPECT_EQ(Lines(log, "log: 3 more like this from 10.77.0.4 held back"), 1) << log;
    EXPECT_EQ(Lines(log, "LAN: the room is full; a further client, whose address could not be read, was turned away"),
              1)
        << log;
    EXPECT_EQ(log.find("0.0.0.0"), std::string::npos) << log;
    EXPECT_EQ(host.s.mp->GetPlayerCount(), 4);
}

// A guest that has left the running match stays out of it, whatever it
// sends after or however it comes back. The host and two raw guests,
// WATCHER and EVIL, play a match; EVIL leaves it, then (by variant) sends a
// start reply in the same write or 2 s later, comes back to the room under
// its name (and so its id) and replies, or shoots the host down in its own
// name, before and after the winner is known, or while it still plays:
// without a shot, after ninety type-7 messages of its id alone and a shot
// of a weapon outside the catalogue (three rocket hits, enough to down the
// host), and then beyond its weapon. WATCHER then leaves, and
// the host ends the match if it has no winner by then. Each variant must end
// as the match without EVIL's later messages: the host wins alone, the
// standings name the two guests as gone, no aircraft is shot down, and
// WATCHER is told the same winner with the same console lines.
class LanLeavers : public LanSessions {
protected:
    enum Lie { kNone, kReplySameWrite, kReplyLater, kRejoinAndReply, kDamage, kDamageInMatch };

    static Bytes Leave(int id) { return {15, 0, 0, 0, uint8_t(id)}; }
    static Bytes Data(int id, const Bytes& payload)
    {
        return Concat({{uint8_t(kLanData), uint8_t(id), uint8_t(payload.size())}, payload});
    }
    // A raw guest in namespace ns joins as player id under name.
    void Enter(RawGuest& g, int ns, int id, const char* name)
    {
        In(ns, [&] { ASSERT_TRUE(g.Connect("10.77.0.1", 1024)); });
        ASSERT_TRUE(RunUntil([&] { return g.Told(); }));
        g.Put(Concat({{255, uint8_t(id)}, NameBytes(name)}));
        ASSERT_TRUE(RunUntil([&] { return pilots[0]->s.playerCount == id + 1; }));
    }
    // How the match ended: the host's winner, final standings and console
    // lines; the winners and console lines WATCHER was sent.
    std::string Play(Lie lie)
    {
        pilots.clear();
        PDebugPeerReset();
        Pilot& host = Add("HOST", 0);
        Host(host);
        RawGuest watcher, evil, back;
        Enter(watcher, 2, 1, "WATCHER");
        Enter(evil, 3, 2, "EVIL");
        EXPECT_TRUE(RunUntil([&] { return host.s.MP_IsAllReady(); }));
        host.s.RequestStart();
        watcher.PutData(1, {5, 0});
        evil.PutData(2, {5, 0});
        EXPECT_TRUE(RunUntil([&] { return host.started; }));
        Run(500);

        const Bytes damage = {8, 0, 0, 3, 0xE7, 0, 0, 0, 0, 0, 0, 0, 2};  // 999 to the host, by EVIL
        switch (lie) {
        case kNone:
            evil.PutData(2, Leave(2));
            break;
        case kReplySameWrite:
            evil.Put(Concat({Data(2, Leave(2)), Data(2, {5, 0})}));
            break;
        case kReplyLater:
            evil.PutData(2, Leave(2));
            Run(2000);
            evil.PutData(2, {5, 0});
            break;
        case kRejoinAndReply:
            close(evil.fd);
            evil.fd = -1;
            EXPECT_TRUE(RunUntil([&] { return host.s.playerCount == 2; }));
            Enter(back, 3, 2, "EVIL");
            back.PutData(2, {5, 0});
            break;
        case kDamage:
            evil.PutData(2, Leave(2));
            Run(200);
            evil.PutData(2, damage);
            Run(2500);
            evil.PutData(2, damage);
            break;
        case kDamageInMatch: {
            // 999 against each of the others without a shot; shots that are
            // none and three hits of 35; then a shot and 999 again; then it
            // leaves.
            evil.PutData(2, damage);
            evil.PutData(2, {8, 0, 0, 3, 0xE7, 0, 0, 0, 1, 0, 0, 0, 2});
            Run(2500);
            Bytes shot(32, 0);
            shot[0] = 7, shot[4] = 2, shot[5] = 200;
            for (int i = 0; i < 90; ++i)
                evil.PutData(2, {7, 0, 0, 0, 2});
            evil.PutData(2, shot);
            for (int i = 0; i < 3; ++i)
                evil.PutData(2, {8, 0, 0, 0, 35, 0, 0, 0, 0, 0, 0, 0, 2});
            Run(500);
            shot[5] = 0;
            evil.PutData(2, shot);
            evil.PutData(2, damage);
            Run(pdebugpeer::kSummaryMs + 500);  // the log's limiter tells the lines it held
            evil.PutData(2, Leave(2));
            break;
        }
        }
        Run(1000);
        watcher.PutData(1, Leave(1));
        Run(1000);
        if (lie == kDamage)
            evil.PutData(2, damage);
        Run(1000);
        if (host.s.MP_GetWinner() == -1) {
            host.s.NotifyLeaveGame();
            Run(1000);
        }
        host.s.MP_EndGame();
        // The host's small writes may wait on the wire a little (real time):
        // everything sent is in once the end of the match is.
        auto ended = [&] {
            for (const Bytes& b : watcher.got)
                if (b.size() > 3 && b[0] == kLanData && b[3] == uint8_t(MsgType::Winner))
                    return true;
            return false;
        };
        for (int i = 0; i < 200 && !ended(); ++i) {
            pollfd in = {watcher.fd, POLLIN, 0};
            poll(&in, 1, 10);
            watcher.Read();
        }

        std::ostringstream out;
        out << "winner " << host.s.MP_GetWinner() << "; standings";
        const KrvMpConn::KrvPlayer* rows = nullptr;
        const int n = host.s.MP_GetFinalStandings(rows);
        for (int i = 0; i < n; ++i)
            out << " " << rows[i].id << " " << rows[i].name << " "
                << (rows[i].matchState == uint8_t(MatchState::Left) ? std::string("LEFT") : std::to_string(rows[i].kills));
        out << "; lines";
        for (const std::wstring& l : host.game.lines)
            out << " " << std::string(l.begin(), l.end());
        out << "; WATCHER was sent";
        for (const Bytes& b : watcher.got) {
            if (b[0] != kLanData || b.size() < 5 || b[1] != 0)
                continue;
            if (b[3] == uint8_t(MsgType::Winner) && b.size() >= 8)
                out << " winner " << int(b[7]);
            else if (b[3] == uint8_t(MsgType::ConsoleLine))
                out << " line " << int(b[4]);
        }
        return out.str();
    }
};

TEST_F(LanLeavers, AGuestThatLeftStaysOutOfTheMatch)
{
    testing::internal::CaptureStdout();
    const std::string control = Play(kNone);
    const std::string log = testing::internal::GetCapturedStdout();
    ASSERT_EQ(control, "winner 0; standings 0 HOST 0 1 WATCHER LEFT 2 EVIL LEFT; lines HOST[375]; "
                       "WATCHER was sent line 2 winner 0");
    // Which address each player number stands for.
    EXPECT_EQ(Lines(log, "LAN: player 1 is 10.77.0.2\n"), 1) << log;
    EXPECT_EQ(Lines(log, "LAN: player 2 is 10.77.0.3\n"), 1) << log;

    const struct {
        Lie lie;
        const char* what;
    } variants[] = {
        {kReplySameWrite, "a start reply in the write that says it left"},
        {kReplyLater, "a start reply 2 s after it left"},
        {kRejoinAndReply, "back in the room under its name, then a start reply"},
        {kDamage, "damage in its own name after it left, and after the winner"},
        {kDamageInMatch, "999 against the others while it plays, before and after a shot"},
    };
    for (const auto& v : variants) {
        testing::internal::CaptureStdout();
        const std::string outcome = Play(v.lie);
        const std::string vlog = testing::internal::GetCapturedStdout();
        EXPECT_EQ(outcome, control) << v.what;
        if (v.lie == kRejoinAndReply) {
            EXPECT_EQ(Lines(vlog, "LAN: player 2 is 10.77.0.3\n"), 2) << vlog;
        }
        if (v.lie == kDamage) {
            EXPECT_EQ(Said(vlog, "reported by 2: dropped, it names a player not in the match"), 3) << vlog;
        } else if (v.lie == kDamageInMatch) {
            EXPECT_EQ(Said(vlog, "reported by 2: dropped, it names an attacker with no shot of its own in flight"), 5)
                << vlog;
            EXPECT_EQ(Said(vlog, "reported by 2: dropped, it names more than a hit of the weapon of any shot"), 1)
                << vlog;
        } else {
            EXPECT_EQ(Said(vlog, "Start reply from 2 answers no match start under way"), 1) << vlog;
        }
    }
}

}  // namespace
