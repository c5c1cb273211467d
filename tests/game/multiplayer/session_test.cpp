// The facade and the match session on the in-memory network: event
// translation, the codec against the platform's network byte order, scripted
// 2-, 3- and 4-player matches from the start handshake to the winner, the
// host leaving, the last player left, lag marks, the per-update event cap
// and hostile messages from peers.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <climits>

#include "engine/runtime/pdebugpeer.h"
#include "matchrig.h"

using rig::Driver;
using rig::Hub;
using rig::Member;
using rig::Peer;

namespace {

MyAirplane* PlaneOf(Peer& p, int id)
{
    KrvMpConn::KrvPlayer* e = p.s.MP_GetPlayer(id);
    return e && e->gameObject ? e->gameObject->aircraft : nullptr;
}

std::vector<uint8_t> Encode(const GameMessage& m)
{
    std::vector<uint8_t> out(GameMessage::kMaxSize);
    out.resize(size_t(m.Encode(out.data(), int(out.size()))));
    return out;
}

int SpawnIndexOf(const PVector3& p)
{
    for (int i = 0; i < 4; ++i)
        if (p == rig::FakeMatch::Spawn(i))
            return i;
    return -1;
}

}  // namespace

TEST(Facade, TranslatesBackEndEvents)
{
    Hub hub;
    Multiplayer mp;
    ASSERT_EQ(mp.Init(Multiplayer::kNetLocal), 1);
    auto* net = static_cast<Member*>(mp.backEnd.get());
    net->listing = true;  // not idle: no event 1 of its own
    const int expected[19] = {0, 4, 3, 5, 6, 0, 14, 13, 1, 7, 8, 9, 11, 10, 0, 1, 1, 2, 0};
    char buffer[64];
    for (int e = -1; e <= 18; ++e) {
        net->script = {e};
        int sender = -1;
        int want = e >= 0 ? expected[e] : 0;
        EXPECT_EQ(mp.PollEvent(&sender, buffer, sizeof buffer), want) << "back-end event " << e;
    }
    EXPECT_EQ(mp.isHost, 1u);  // event 14 made this device the host, with no session event
    // A game message with no place to put it stays with the back end.
    net->script = {EventList::kGameMessage};
    int payloads = net->payloads;
    EXPECT_EQ(mp.PollEvent(nullptr, buffer, sizeof buffer), 14);
    EXPECT_EQ(net->payloads, payloads);
}

TEST(Facade, OwnsOneBackEndOfTheChosenKind)
{
    Hub hub;
    Multiplayer mp;
    ASSERT_EQ(mp.Init(Multiplayer::kNetLocal), 1);
    MPInterface* first = mp.backEnd.get();
    EXPECT_EQ(mp.Init(Multiplayer::kNetLocal), 1);
    EXPECT_EQ(mp.backEnd.get(), first);
    EXPECT_EQ(mp.GetLobbyCount(), 0);  // lobby servers are the internet's
    EXPECT_EQ(mp.Init(Multiplayer::kNetInternet), 1);
    EXPECT_EQ(mp.netType, Multiplayer::kNetInternet);
    EXPECT_EQ(hub.members.size(), 1u);  // the local-network one is gone
    EXPECT_EQ(mp.Init(2), 0);
    EXPECT_TRUE(hub.members.empty());
    EXPECT_EQ(mp.netType, 2);
    EXPECT_EQ(mp.backEnd, nullptr);
    EXPECT_EQ(mp.GetPlayerCount(), 0);
    EXPECT_EQ(mp.GetGameRoom(0), nullptr);

    ASSERT_EQ(mp.Init(Multiplayer::kNetLocal), 1);
    auto* net = static_cast<Member*>(mp.backEnd.get());
    mp.LeaveGameRoom();  // no link: the back end is not asked
    EXPECT_EQ(net->leaves, 0);
    std::wstring longName(40, L'A');
    longName[0] = wchar_t(0x141);
    mp.SetUserInfo(longName.data());
    EXPECT_EQ(net->name, "\xC5\x81" + std::string(29, 'A')); // UTF-8, within the name's 31 bytes
    MPInterface::GameRoom room{};
    ASSERT_EQ(mp.CreateGameRoom(room), 1);
    EXPECT_FALSE(mp.IsConnected());
    int sender;
    char buffer[8];
    EXPECT_EQ(mp.PollEvent(&sender, buffer, sizeof buffer), Multiplayer::kEvConnected);
    EXPECT_TRUE(mp.IsConnected());
}

TEST(Codec, IntegersAndVectorsAreInNetworkOrder)
{
    for (int32_t v : {258, -1, 0, 1, INT_MIN, INT_MAX, 0x12345678, -100000}) {
        uint8_t ours[4], theirs[4];
        KrvMpConn::getBytesFromInt(ours, v);
        uint32_t n = htonl(uint32_t(v));
        memcpy(theirs, &n, 4);
        EXPECT_EQ(memcmp(ours, theirs, 4), 0) << v;
        EXPECT_EQ(KrvMpConn::getIntFromBytes(theirs), v);
    }
    const uint8_t b258[] = {0, 0, 1, 2};
    uint8_t out[12];
    KrvMpConn::getBytesFromInt(out, 258);
    EXPECT_EQ(memcmp(out, b258, 4), 0);
    const uint8_t vec[] = {0, 1, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0};
    KrvMpConn::getBytesFromVector(out, PVector3(0x10000, -0x10000, 0x8000));
    EXPECT_EQ(memcmp(out, vec, 12), 0);
    EXPECT_EQ(KrvMpConn::getVectorFromBytes(vec), PVector3(0x10000, -0x10000, 0x8000));
}

// One client shoots everyone else down in turn until it reaches the frag
// limit of 5; each match also crosses the wrap of the millisecond clock.
TEST(Match, ScriptedMatchesEndWithOneWinnerEverywhere)
{
    for (int n = 2; n <= 4; ++n) {
        SCOPED_TRACE(n);
        Driver d(n, 0xFFFFC00Du);
        ASSERT_EQ(d.peers[0]->s.playerCount, n);
        // Deaths and respawns each peer sees: (time of death, respawn time,
        // spawn point) per airplane.
        struct Seen {
            int health = 100;
            uint32_t died = 0;
        };
        std::map<std::pair<Peer*, int>, Seen> seen;
        std::map<Peer*, std::vector<std::pair<uint32_t, int>>> respawns;
        d.onFrame = [&](Peer& p) {
            for (int i = 0; i < p.s.playerCount && p.started; ++i) {
                MyAirplane* a = PlaneOf(p, p.s.players[i].id);
                Seen& s = seen[{&p, p.s.players[i].id}];
                if (s.health > 0 && a->health <= 0)
                    s.died = d.hub.now;
                if (s.health <= 0 && a->health > 0)
                    respawns[&p].push_back({d.hub.now - s.died, SpawnIndexOf(a->spawnPosition)});
                s.health = a->health;
            }
        };
        ASSERT_TRUE(d.StartMatch(0));
        // The handshake: the host's 4, one 5 from every client, everyone in.
        int starts = 0, replies = 0;
        for (auto& m : d.hub.log) {
            starts += m.data[0] == 4;
            replies += m.data[0] == 5;
        }
        EXPECT_EQ(starts, 1);
        EXPECT_EQ(replies, n - 1);
        for (auto& p : d.peers)
            EXPECT_EQ(p->s.MP_GetMe()->inMatch, 1);

        // Positions flow every 400 ms: each copy trails its owner by at
        // most one interval of flight.
        size_t mark = d.hub.log.size();
        d.Run(2000);
        for (auto& owner : d.peers) {
            int id = owner->s.MP_GetMyId();
            int sent = 0;
            for (size_t i = mark; i < d.hub.log.size(); ++i)
                sent += d.hub.log[i].from == id && d.hub.log[i].data[0] == 11;
            EXPECT_GE(sent, 4);
            EXPECT_LE(sent, 6);
            int32_t x = rig::FakeMatch::Mine(owner->s)->position.x;
            for (auto& viewer : d.peers) {
                if (viewer == owner)
                    continue;
                int32_t lag = x - PlaneOf(*viewer, id)->position.x;
                EXPECT_GE(lag, 0);
                EXPECT_LE(lag, 17 * 0x8000);
            }
        }

        Peer& killer = *d.peers[1];
        int killerId = killer.s.MP_GetMyId();
        std::vector<int> victims;
        for (auto& p : d.peers)
            if (p.get() != &killer)
                victims.push_back(p->s.MP_GetMyId());
        size_t lastKill = 0;
        for (int k = 0; k < 5; ++k) {
            int victim = victims[size_t(k) % victims.size()];
            ASSERT_TRUE(d.RunUntil([&] { return PlaneOf(*d.peers[0], victim)->health > 0; }, 4000));
            lastKill = d.hub.log.size();
            rig::ShootDown(killer.s, victim);
            d.Run(500);
        }
        ASSERT_TRUE(d.RunUntil(
            [&] {
                for (auto& p : d.peers)
                    if (p->s.MP_GetWinner() == -1)
                        return false;
                return true;
            },
            2000));
        d.Run(3000);  // the last deaths still end in respawns

        // The host's last word: kills, the kill line, then kills, the
        // winner's line and the winner; one winner message in the match.
        std::vector<int> tail;
        for (int t : d.HostTypes(lastKill))
            if (t != 9 && t != 11 && t != 6)
                tail.push_back(t);
        EXPECT_EQ(tail, (std::vector<int>{12, 13, 12, 13, 14}));
        int winners = 0;
        for (auto& m : d.hub.log)
            winners += m.data[0] == 14;
        EXPECT_EQ(winners, 1);

        std::wstring line = L"PILOT1[375]";
        for (auto& p : d.peers) {
            EXPECT_EQ(p->s.MP_GetWinner(), killerId);
            for (int i = 0; i < n; ++i) {
                int id = d.peers[0]->s.players[i].id;
                EXPECT_EQ(p->s.GetPlayerKills(id), d.peers[0]->s.GetPlayerKills(id)) << "id " << id;
                EXPECT_EQ(p->s.GetPlayerKills(id), id == killerId ? 5 : 0);
            }
            ASSERT_FALSE(p->game.lines.empty());
            EXPECT_EQ(p->game.lines.back(), line);
        }
        EXPECT_EQ(killer.profile.GetSessionKills(), 5);

        // Respawns: at least 2000 ms after the host noticed the death, at
        // spawn points 1, 2, 3, 0 in turn, and every peer sees the same.
        auto& hostSaw = respawns[d.peers[0].get()];
        ASSERT_GE(hostSaw.size(), 4u);
        for (size_t i = 0; i < hostSaw.size(); ++i) {
            EXPECT_GE(hostSaw[i].first, 2000u);
            EXPECT_EQ(hostSaw[i].second, int(i + 1) % 4);
        }
        for (auto& p : d.peers)
            for (size_t i = 0; i < respawns[p.get()].size(); ++i)
                EXPECT_EQ(respawns[p.get()][i].second, int(i + 1) % 4);
        for (auto& p : d.peers)
            EXPECT_TRUE(p->errors.empty());
    }
}

TEST(Match, HostLeavingForcesTheBestRemainingToWin)
{
    Driver d(3);
    ASSERT_TRUE(d.StartMatch(7));
    // Players 1 and 2 shoot each other down twice each.
    for (int k = 0; k < 4; ++k) {
        int attacker = 1 + k % 2, victim = 2 - k % 2;
        ASSERT_TRUE(d.RunUntil([&] { return PlaneOf(*d.peers[0], victim)->health > 0; }, 4000));
        rig::ShootDown(d.peers[size_t(attacker)]->s, victim);
        d.Run(200);
    }
    ASSERT_EQ(d.peers[0]->s.GetPlayerKills(1), 2);
    ASSERT_EQ(d.peers[0]->s.GetPlayerKills(2), 2);
    d.peers[0]->s.NotifyLeaveGame();
    d.Run(500);
    for (auto& p : d.peers)
        EXPECT_EQ(p->s.MP_GetWinner(), 1);  // a tie: the earlier in the table
    for (int i = 1; i <= 2; ++i) {
        auto& lines = d.peers[size_t(i)]->game.lines;
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], L"[378]");
        EXPECT_EQ(lines.back(), L"[380]");
        EXPECT_EQ(d.peers[size_t(i)]->s.GetPlayerKills(0), -1);
    }
}

TEST(Match, TheLastPlayerLeftWins)
{
    {
        Driver d(3);
        ASSERT_TRUE(d.StartMatch(0));
        d.peers[1]->s.NotifyLeaveGame();
        d.Run(100);
        EXPECT_EQ(d.peers[0]->s.MP_GetWinner(), -1);
        d.peers[2]->s.NotifyLeaveGame();
        d.Run(200);
        for (auto& p : d.peers)
            EXPECT_EQ(p->s.MP_GetWinner(), 0);
        EXPECT_EQ(d.peers[2]->game.lines.back(), L"PILOT0[375]");
    }
    {
        // A cut link: the client hears of it, the host plays on alone and
        // wins without a message to send.
        Driver d(2);
        ASSERT_TRUE(d.StartMatch(0));
        d.hub.Cut(1);
        d.Run(100);
        EXPECT_EQ(d.peers[1]->errors, std::vector<int>{KrvMpConn::kErrLinkLost});
        EXPECT_EQ(d.peers[1]->s.state, KrvMpConn::kIdle);
        EXPECT_EQ(d.peers[0]->s.playerCount, 1);
        EXPECT_EQ(d.peers[0]->s.MP_GetWinner(), 0);
        for (auto& m : d.hub.log)
            EXPECT_NE(m.data[0], 14);
    }
}

// The standings keep every row as the match ended: a winner that leaves
// the room afterwards, a player whose link went during the match (left).
TEST(Match, FinalStandingsStayAsTheMatchEnded)
{
    Driver d(4);
    ASSERT_TRUE(d.StartMatch(0));
    d.hub.Cut(3);
    d.Run(100);
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(d.RunUntil([&] { return PlaneOf(*d.peers[0], 0)->health > 0; }, 4000));
        rig::ShootDown(d.peers[1]->s, 0);
        d.Run(100);
    }
    ASSERT_EQ(d.peers[0]->s.MP_GetWinner(), 1);
    d.peers[1]->s.MP_RoomLeave();
    d.Run(200);
    for (int i : {0, 2}) {
        KrvMpConn& s = d.peers[size_t(i)]->s;
        s.MP_EndGame();
        EXPECT_EQ(s.playerCount, 2);
        const KrvMpConn::KrvPlayer* rows = nullptr;
        ASSERT_EQ(s.MP_GetFinalStandings(rows), 4) << i;
        const int kills[] = {0, 5, 0, -1};
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(rows[r].id, r) << i;
            EXPECT_EQ(rows[r].kills, kills[r]) << i << " " << r;
        }
    }
}

TEST(Match, LatePositionsMarkThePlayerLagging)
{
    Driver d(2);
    ASSERT_TRUE(d.StartMatch(0));
    d.Run(1000);
    int marked = 0;
    d.onFrame = [&](Peer& p) {
        if (&p == d.peers[0].get())
            marked = std::max<int>(marked, p.s.MP_GetPlayer(1)->lagging);
    };
    EXPECT_EQ(d.peers[0]->s.MP_GetPlayer(1)->lagging, 0);
    d.hub.filter = [](int from, int, const std::vector<uint8_t>&) { return from == 1 ? 1500 : 0; };
    d.Run(3000);
    EXPECT_EQ(marked, 1);
    EXPECT_EQ(d.peers[1]->s.MP_GetPlayer(0)->lagging, 0);
    d.hub.filter = nullptr;
    d.Run(3000);
    EXPECT_EQ(d.peers[0]->s.MP_GetPlayer(1)->lagging, 0);
    // Lost positions: marked while none arrive, clear once they do again.
    marked = 0;
    d.hub.filter = [](int from, int, const std::vector<uint8_t>& m) { return from == 1 && m[0] == 11 ? -1 : 0; };
    d.Run(1500);
    EXPECT_EQ(marked, 1);
    d.hub.filter = nullptr;
    d.Run(1000);
    EXPECT_EQ(d.peers[0]->s.MP_GetPlayer(1)->lagging, 0);
}

TEST(Match, RepairsThroughTheMissionLinkAtMostEvery200Ms)
{
    Driver d(2);
    ASSERT_TRUE(d.StartMatch(0));
    MyAirplane* onHost = PlaneOf(*d.peers[0], 1);
    onHost->health = 50;
    MissionRepairLink* link = d.peers[1]->s.GetRepairLink();
    link->RequestRepairPlayer(30, link->Now());
    link->RequestRepairPlayer(30, link->Now());  // within 200 ms: dropped
    d.Run(100);
    EXPECT_EQ(onHost->health, 80);
    d.Run(200);
    link->RequestRepairPlayer(30, link->Now());
    d.Run(100);
    EXPECT_EQ(onHost->health, 100);

    // A guest that sends its own repair requests, past its throttle: more
    // than the mission's repair is dropped, and a flood mends no more than
    // a burst, on the host and so on every screen.
    KrvMpConn& host = d.peers[0]->s;
    onHost->health = 10;
    const uint8_t greedy[2] = {uint8_t(MsgType::RepairRequest), 255};
    host.HandleMessage(greedy, sizeof greedy, 1);
    EXPECT_EQ(onHost->health, 10);
    const uint8_t repair[2] = {uint8_t(MsgType::RepairRequest), uint8_t(rig::FakeMatch::kRepairAmount)};
    for (int i = 0; i < 20; ++i)
        host.HandleMessage(repair, sizeof repair, 1);
    EXPECT_EQ(onHost->health, 100) << "a burst";
    onHost->health = 10;
    for (int i = 0; i < 20; ++i)
        host.HandleMessage(repair, sizeof repair, 1);
    EXPECT_EQ(onHost->health, 10) << "the burst is spent";
}

// A leave counts only while a match is open: one that reaches the host just
// after its match ended, or one said in the room, leaves the next match as
// it would be without it.
TEST(Match, ALateLeaveReachesNoLaterMatch)
{
    Driver d(2);
    ASSERT_TRUE(d.StartMatch(0));
    d.Run(500);
    for (auto& p : d.peers) {
        p->s.MP_EndGame();
        p->started = false;
    }
    KrvMpConn& host = d.peers[0]->s;
    uint8_t left[] = {15, 0, 0, 0, 1};
    host.HandleMessage(left, sizeof left, 1);
    d.Run(500);
    d.peers[1]->Net()->SendToAll(left, sizeof left, false);
    d.Run(500);
    EXPECT_EQ(host.MP_GetPlayer(1)->matchState, uint8_t(MatchState::Waiting));
    EXPECT_EQ(host.GetPlayerKills(1), 0);
    // Whatever the table says before it, a match start begins with everyone
    // waiting for its answer.
    host.MP_GetPlayer(1)->matchState = uint8_t(MatchState::Left);
    ASSERT_TRUE(d.StartMatch(0));
    EXPECT_EQ(host.MP_GetPlayer(1)->matchState, uint8_t(MatchState::Playing));
    d.Run(1000);
    EXPECT_EQ(host.MP_GetWinner(), -1);
    ASSERT_TRUE(d.RunUntil([&] { return PlaneOf(*d.peers[0], 0)->health > 0; }, 4000));
    rig::ShootDown(d.peers[1]->s, 0);
    d.Run(200);
    EXPECT_EQ(host.GetPlayerKills(1), 1);
}

// A guest that never answers the match start is left out of that match
// once the start's time limit has passed; the others play, and its late
// reply and its damage count for nothing.
TEST(Match, ASilentGuestIsLeftOutOfTheMatch)
{
    Driver d(3);
    d.hub.filter = [](int from, int, const std::vector<uint8_t>& m) { return from == 2 && m[0] == 5 ? -1 : 0; };
    KrvMpConn& host = d.peers[0]->s;
    host.RequestStart();
    d.Run(KrvMpConn::kStartReplyLimit - 500);
    EXPECT_EQ(host.state, KrvMpConn::kMatchStartRequested);
    EXPECT_EQ(d.peers[1]->s.state, KrvMpConn::kMatchStartRequested);
    ASSERT_TRUE(d.RunUntil([&] { return host.state == KrvMpConn::kMatchRunning; }, 1000));
    ASSERT_TRUE(d.RunUntil([&] { return d.peers[1]->s.state == KrvMpConn::kMatchRunning; }, 1000));
    for (int i : {0, 1}) {
        EXPECT_EQ(d.peers[size_t(i)]->s.MP_GetPlayer(2)->matchState, uint8_t(MatchState::Left)) << i;
        EXPECT_EQ(d.peers[size_t(i)]->s.GetPlayerKills(2), -1) << i;
    }
    d.hub.filter = nullptr;
    uint8_t reply[] = {5, 0};
    d.peers[2]->Net()->SendToAll(reply, sizeof reply, false);
    rig::ShootDown(d.peers[2]->s, 0);
    d.Run(500);
    EXPECT_EQ(host.MP_GetPlayer(2)->matchState, uint8_t(MatchState::Left));
    EXPECT_EQ(PlaneOf(*d.peers[0], 0)->health, 100);
    EXPECT_EQ(host.MP_GetWinner(), -1);
    rig::ShootDown(d.peers[1]->s, 0);
    d.Run(200);
    EXPECT_EQ(host.GetPlayerKills(1), 1);
}

// A shot counts once it decodes as the game decodes it, and pays for one
// hit of its own weapon while it flies; a liar's made-up shots buy nothing,
// an honest guest's real shots pay for its real hits, also on a slow link.
TEST(Match, ShotsPayOnlyForWhatTheirWeaponDoesWhileTheyFly)
{
    using rig::FakeMatch;
    Driver d(3);
    ASSERT_TRUE(d.StartMatch(0));
    KrvMpConn& host = d.peers[0]->s;
    MyAirplane* hostPlane = PlaneOf(*d.peers[0], 0);
    auto fromGuest2 = [&](std::vector<uint8_t> b) { host.HandleMessage(b.data(), int(b.size()), 2); };
    auto claim = [&](int damage) {
        GameMessage m;
        m.type = MsgType::DamageRequest;
        m.damage = damage, m.target = 0, m.attacker = 2;
        fromGuest2(Encode(m));
    };
    // Ninety type-7 messages of the shooter's id alone; shots naming a
    // weapon outside the catalogue or one nobody carries; then three
    // rocket hits: none counts, and no other player's game saw a shot.
    std::vector<uint8_t> idOnly = {7, 0, 0, 0, 2};
    for (int i = 0; i < 90; ++i)
        d.peers[2]->Net()->SendToAll(idOnly.data(), int(idOnly.size()), false);
    std::vector<uint8_t> outside = rig::ShotBytes(2), bomb = rig::ShotBytes(2, FakeMatch::kBomb);
    outside[5] = 200;
    fromGuest2(outside);
    fromGuest2(bomb);
    // Relayed through the host, as a guest sends them.
    d.peers[2]->Net()->SendToAll(outside.data(), int(outside.size()), false);
    d.peers[2]->Net()->SendToAll(bomb.data(), int(bomb.size()), false);
    d.Run(100);
    for (int i = 0; i < 3; ++i)
        claim(35);
    EXPECT_EQ(host.ShotsInFlight(2), 0);
    EXPECT_EQ(hostPlane->health, 100);
    EXPECT_TRUE(d.peers[1]->game.shots.empty());

    // A machine-gun bullet pays for a bullet's hit, not a rocket's.
    fromGuest2(rig::ShotBytes(2, FakeMatch::kMachineGun));
    EXPECT_EQ(host.ShotsInFlight(2), 1);
    claim(35);
    EXPECT_EQ(hostPlane->health, 100);
    claim(4);
    EXPECT_EQ(hostPlane->health, 96);
    // A bullet flies for its life and the link's allowance, then lapses.
    const uint32_t flies = 28 * MatchRules::kShotFrameMs + MatchRules::kShotLinkAllowance;
    fromGuest2(rig::ShotBytes(2, FakeMatch::kMachineGun));
    d.Run(flies + 50);
    claim(4);
    EXPECT_EQ(hostPlane->health, 96) << "lapsed";
    fromGuest2(rig::ShotBytes(2, FakeMatch::kMachineGun));
    d.Run(flies - 100);
    claim(4);
    EXPECT_EQ(hostPlane->health, 92);

    // An honest guest on a slow link: its hits reach the host 1.5 s after
    // its shots; a bullet hits half a second after it flew, a rocket a
    // second after.
    d.hub.filter = [](int from, int to, const std::vector<uint8_t>& m) {
        return from == 1 && to == 0 && m[0] == uint8_t(MsgType::DamageRequest) ? 1500 : 0;
    };
    KrvMpConn& guest = d.peers[1]->s;
    rig::Fire(guest, FakeMatch::kMachineGun);
    d.Run(500);
    guest.GetWeaponLink()->RequestDamage(0, 1, 4);
    rig::Fire(guest, FakeMatch::kRocket);
    d.Run(1000);
    guest.GetWeaponLink()->RequestDamage(0, 1, 35);
    d.Run(1600);
    EXPECT_EQ(hostPlane->health, 92 - 4 - 35);
    EXPECT_EQ(d.peers[2]->game.shots.size(), 2u) << "the other guest saw both shots";
    // The host's own shot pays for its own hit.
    rig::ShootDown(host, 1);
    EXPECT_EQ(PlaneOf(*d.peers[0], 1)->health, 0);
    EXPECT_EQ(host.GetPlayerKills(0), 1);
}

// Every match starts with no shot in flight and the repair clock reset: a
// guest's unspent shots and spent repair burst of the last match neither
// pay for a hit nor hold back a repair in the next.
TEST(Match, EveryMatchStartsWithoutShotsAndWithItsRepairClock)
{
    Driver d(2);
    ASSERT_TRUE(d.StartMatch(0));
    KrvMpConn& host = d.peers[0]->s;
    for (int i = 0; i < 3; ++i)
        rig::Fire(d.peers[1]->s);
    const uint8_t repair[2] = {uint8_t(MsgType::RepairRequest), uint8_t(rig::FakeMatch::kRepairAmount)};
    PlaneOf(*d.peers[0], 1)->health = 1;
    d.Run(50);
    for (int i = 0; i < MatchRules::kRepairBurst; ++i)
        host.HandleMessage(repair, sizeof repair, 1);
    ASSERT_EQ(PlaneOf(*d.peers[0], 1)->health, 100);
    ASSERT_EQ(host.ShotsInFlight(1), 3);
    for (auto& p : d.peers) {
        p->s.MP_EndGame();
        p->started = false;
    }
    ASSERT_TRUE(d.StartMatch(0));
    MyAirplane* guestPlane = PlaneOf(*d.peers[0], 1);
    guestPlane->health = 50;
    host.HandleMessage(repair, sizeof repair, 1);
    EXPECT_EQ(guestPlane->health, 80) << "a repair at the new match's start";
    EXPECT_EQ(host.ShotsInFlight(1), 0);
    const uint8_t hit[] = {8, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 1};
    host.HandleMessage(hit, sizeof hit, 1);
    EXPECT_EQ(PlaneOf(*d.peers[0], 0)->health, 100) << "a shot of the last match";
}

// A guest whose start reply reaches the host after the limit is left out
// by everyone and told so by the host: it goes back to the room, and the
// next start takes it in again. A reply slow but within the limit plays.
TEST(Match, ALateAnswerIsToldAndPlaysTheNextMatch)
{
    for (const uint32_t delay : {KrvMpConn::kStartReplyLimit - 1000, KrvMpConn::kStartReplyLimit + 2000}) {
        SCOPED_TRACE(delay);
        Driver d(3);
        d.hub.filter = [&](int from, int to, const std::vector<uint8_t>& m) {
            return from == 2 && to == 0 && m[0] == 5 ? int(delay) : 0;
        };
        KrvMpConn& host = d.peers[0]->s;
        KrvMpConn& late = d.peers[2]->s;
        host.RequestStart();
        // Everyone it hears from plays: it flies.
        ASSERT_TRUE(d.RunUntil([&] { return late.state == KrvMpConn::kMatchRunning; }, 1000));
        d.Run(KrvMpConn::kStartReplyLimit + 3000);
        EXPECT_EQ(host.state, KrvMpConn::kMatchRunning);
        if (delay < KrvMpConn::kStartReplyLimit) {
            for (auto& p : d.peers)
                EXPECT_EQ(p->s.MP_GetPlayer(2)->matchState, uint8_t(MatchState::Playing));
            EXPECT_TRUE(d.peers[2]->errors.empty());
            EXPECT_EQ(late.state, KrvMpConn::kMatchRunning);
            continue;
        }
        EXPECT_EQ(d.peers[2]->errors, std::vector<int>{KrvMpConn::kErrLeftOut});
        EXPECT_EQ(late.state, KrvMpConn::kInRoomAsClient);
        EXPECT_EQ(late.game, nullptr);
        EXPECT_EQ(late.MP_GetMe()->inMatch, 0);
        for (int i : {0, 1}) {
            EXPECT_EQ(d.peers[size_t(i)]->s.MP_GetPlayer(2)->matchState, uint8_t(MatchState::Left)) << i;
            EXPECT_EQ(d.peers[size_t(i)]->s.GetPlayerKills(2), -1) << i;
        }
        // The match ends; the next start takes it in.
        for (int i : {0, 1}) {
            d.peers[size_t(i)]->s.MP_EndGame();
            d.peers[size_t(i)]->started = false;
        }
        d.hub.filter = nullptr;
        ASSERT_TRUE(d.StartMatch(0));
        for (auto& p : d.peers)
            EXPECT_EQ(p->s.MP_GetPlayer(2)->matchState, uint8_t(MatchState::Playing));
    }
}

// A second tap on Start while a start waits (here for a silent guest) keeps
// the answers given: the guests, which answer once, play.
TEST(Match, ASecondStartKeepsTheAnswersGiven)
{
    Driver d(4);
    d.hub.filter = [](int from, int, const std::vector<uint8_t>& m) { return from == 3 && m[0] == 5 ? -1 : 0; };
    KrvMpConn& host = d.peers[0]->s;
    const size_t first = d.hub.log.size();
    host.RequestStart();
    d.Run(1000);
    host.RequestStart();
    ASSERT_TRUE(d.RunUntil([&] { return host.state == KrvMpConn::kMatchRunning; }, KrvMpConn::kStartReplyLimit));
    for (int id : {0, 1, 2})
        EXPECT_EQ(host.MP_GetPlayer(id)->matchState, uint8_t(MatchState::Playing)) << id;
    EXPECT_EQ(host.MP_GetPlayer(3)->matchState, uint8_t(MatchState::Left));
    const auto types = d.HostTypes(first);
    EXPECT_EQ(std::count(types.begin(), types.end(), int(MsgType::MatchStart)), 1);
}

// A busy or in-match claim delays the host's start as long as an honest
// player needs its menus, a minute at most (the start wait): then the start
// goes ahead without that player, which is told. A guest busy for a short
// time delays the start and then plays.
TEST(Match, ClaimsDelayTheStartAMinuteAtMost)
{
    {
        Driver d(3);
        KrvMpConn& host = d.peers[0]->s;
        d.peers[1]->s.RequestBusyState(1);
        d.Run(500);
        d.TapStart();  // the start wait begins
        d.Run(20000);
        EXPECT_FALSE(host.MP_IsAllReady());
        d.peers[1]->s.RequestBusyState(0);
        ASSERT_TRUE(d.RunUntil([&] { return host.MP_IsAllReady(); }, 500));
        ASSERT_TRUE(d.StartMatch(0));
        for (int id : {0, 1, 2})
            EXPECT_EQ(host.MP_GetPlayer(id)->matchState, uint8_t(MatchState::Playing)) << id;
    }
    enum Claim { kBusyEvery2s, kInMatch, kFreeAFrameEvery2s };
    for (const Claim claim : {kBusyEvery2s, kInMatch, kFreeAFrameEvery2s}) {
        SCOPED_TRACE(int(claim));
        Driver d(3);
        KrvMpConn& host = d.peers[0]->s;
        KrvMpConn& liar = d.peers[2]->s;
        d.onFrame = [&](Peer& p) {
            if (&p.s != &liar)
                return;
            const uint32_t t = d.hub.now % 2000;
            if (claim == kInMatch) {
                if (KrvMpConn::KrvPlayer* me = liar.MP_GetMe())
                    me->inMatch = 1;
            } else if (t < Driver::kFrame) {
                liar.RequestBusyState(claim == kBusyEvery2s ? 1 : 0);
            } else if (t < 2 * Driver::kFrame) {
                liar.RequestBusyState(1);
            }
        };
        // The host's Start once the liar claims: the start wait begins.
        ASSERT_TRUE(d.RunUntil([&] { return !host.MP_IsAllReady(); }, 4000));
        d.TapStart();
        ASSERT_TRUE(host.InStartWait());
        // Delayed (but for the liar's free frames) for most of a minute,
        // then no more: ready in every frame, the liar claiming or not.
        d.Run(4000);
        int ready = 0, frames = 0;
        for (; frames * Driver::kFrame < 50000; ++frames) {
            d.Step();
            ready += host.MP_IsAllReady();
        }
        EXPECT_LE(ready, claim == kFreeAFrameEvery2s ? frames / 60 : 0);
        d.Run(16000);
        for (frames = ready = 0; frames < 200; ++frames) {
            d.Step();
            ready += host.MP_IsAllReady();
        }
        EXPECT_EQ(ready, frames);
        ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(2)->busy || host.MP_GetPlayer(2)->inMatch; }, 2000));
        host.RequestStart();
        // The others play at once; the liar is told.
        ASSERT_TRUE(d.RunUntil([&] { return host.state == KrvMpConn::kMatchRunning; }, 1000));
        ASSERT_TRUE(d.RunUntil([&] { return d.peers[1]->s.state == KrvMpConn::kMatchRunning; }, 1000));
        EXPECT_EQ(d.peers[2]->errors,
                  std::vector<int>{claim == kInMatch ? KrvMpConn::kErrLeftOut : KrvMpConn::kErrLeftOutBusy});
        EXPECT_NE(liar.state, KrvMpConn::kMatchRunning);
        for (int i : {0, 1}) {
            EXPECT_EQ(d.peers[size_t(i)]->s.MP_GetPlayer(1)->matchState, uint8_t(MatchState::Playing)) << i;
            EXPECT_EQ(d.peers[size_t(i)]->s.MP_GetPlayer(2)->matchState, uint8_t(MatchState::Left)) << i;
        }
    }
}

// The start wait counts only the time in which the host wants to start and
// could: not before its Start, not while it is in its own settings, and a
// match that starts ends it. Who claims under which record is no matter: a
// renamed guest delays the start no longer than the one it was.
TEST(Match, TheStartWaitIsTheTimeTheHostWantedToStart)
{
    enum Case { kIdleHost, kHostInSettings, kAfterAMatch, kRename };
    for (const Case c : {kIdleHost, kHostInSettings, kAfterAMatch, kRename}) {
        SCOPED_TRACE(int(c));
        Driver d(3);
        KrvMpConn& host = d.peers[0]->s;
        KrvMpConn& guest = d.peers[1]->s;
        guest.RequestBusyState(1);
        ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(1)->busy == 1; }, 1000));
        if (c == kIdleHost) {
            d.Run(KrvMpConn::kStartWaitLimit + 1000);
            d.TapStart();
        } else if (c == kHostInSettings) {
            d.TapStart();
            host.RequestBusyState(1);
            d.Run(KrvMpConn::kStartWaitLimit + 1000);
            host.RequestBusyState(0);
        } else if (c == kAfterAMatch) {
            d.TapStart();
            d.Run(KrvMpConn::kStartWaitLimit / 2);
            guest.RequestBusyState(0);
            ASSERT_TRUE(d.RunUntil([&] { return host.MP_IsAllReady(); }, 1000));
            ASSERT_TRUE(d.StartMatch(0));
            d.Run(KrvMpConn::kStartWaitLimit);
            for (auto& p : d.peers) {
                p->s.MP_EndGame();
                p->started = false;
            }
            guest.RequestBusyState(1);
            d.Run(500);
            d.TapStart();
            d.Run(KrvMpConn::kStartWaitLimit / 2 + 5000);
        } else {
            d.TapStart();
            d.Run(KrvMpConn::kStartWaitLimit - 15000);
            d.peers[1]->Net()->name = "RENAMED";
            d.hub.PostToRoom(EventList::kPlayersChanged, nullptr);
            d.Run(200);
            ASSERT_STREQ(host.MP_GetPlayer(1)->name, "RENAMED");
            guest.RequestBusyState(1);
            ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(1)->busy == 1; }, 1000));
            EXPECT_TRUE(d.TapUntilStarted(20000)) << "the renamed guest began the start wait anew";
            EXPECT_EQ(host.MP_GetPlayer(1)->matchState, uint8_t(MatchState::Left));
            EXPECT_EQ(host.MP_GetPlayer(2)->matchState, uint8_t(MatchState::Playing));
            continue;
        }
        d.Run(1000);
        EXPECT_FALSE(host.MP_IsAllReady()) << "the guest still delays the start";
        // It comes back from its settings within the time it may take: it
        // plays.
        d.Run(15000);
        guest.RequestBusyState(0);
        EXPECT_TRUE(d.TapUntilStarted(3000));
        for (int id : {0, 1, 2})
            EXPECT_EQ(host.MP_GetPlayer(id)->matchState, uint8_t(MatchState::Playing)) << id;
    }
}

// However the claims come, from guests taking turns (45 s busy, 75 s free)
// or from one that leaves and joins again every 45 s, the host's Start goes
// ahead within about a minute of its first tap, with the players then
// ready; the ones that claim are left out and told.
TEST(Match, NoTakingTurnsDelaysTheStartPastTheStartWait)
{
    enum Case { kTurns, kRejoins };
    for (const Case c : {kTurns, kRejoins}) {
        SCOPED_TRACE(int(c));
        Driver d(c == kTurns ? 4 : 3);
        KrvMpConn& host = d.peers[0]->s;
        const uint32_t t0 = d.hub.now;
        d.onFrame = [&](Peer& p) {
            const uint32_t t = d.hub.now - t0;
            for (size_t k = 1; k < d.peers.size(); ++k) {
                if (&p != d.peers[k].get() || !p.s.MP_GetMe())
                    continue;
                if (c == kRejoins && k == 1)
                    continue;  // the honest guest
                const bool busy = c == kRejoins || (t + 120000 - (k - 1) * 40000) % 120000 < 45000;
                if (t % 2000 < Driver::kFrame && p.s.state == KrvMpConn::kInRoomAsClient)
                    p.s.RequestBusyState(busy ? 1 : 0);
            }
        };
        d.Run(3000);  // the claims are made
        uint32_t rejoins = 0;
        bool started = false;
        for (uint32_t t = 0; t < KrvMpConn::kStartWaitLimit + 8000 && !started; t += 2000) {
            if (c == kRejoins && d.hub.now - t0 >= (rejoins + 1) * 45000) {
                d.Rejoin(2);
                ++rejoins;
                // It claims at once, under its new id.
                KrvMpConn& liar = d.peers[2]->s;
                liar.RequestBusyState(1);
                ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(liar.MP_GetMyId())->busy == 1; }, 1000));
            }
            d.TapStart();
            started = d.RunUntil([&] { return d.peers[0]->started; }, 2000);
        }
        ASSERT_TRUE(started);
        int playing = 0, left = 0;
        for (int i = 1; i < host.playerCount; ++i) {
            const KrvMpConn::KrvPlayer& p = host.players[i];
            const bool claimed = p.busy != 0;
            EXPECT_EQ(p.matchState, uint8_t(claimed ? MatchState::Left : MatchState::Playing)) << p.name;
            (claimed ? left : playing) += 1;
        }
        EXPECT_GE(playing, 1);
        EXPECT_EQ(left, 1);
        d.Run(500);
        for (size_t k = 1; k < d.peers.size(); ++k) {
            const bool out = d.peers[k]->s.state != KrvMpConn::kMatchRunning;
            EXPECT_EQ(d.peers[k]->errors, out ? std::vector<int>{KrvMpConn::kErrLeftOutBusy} : std::vector<int>{})
                << k;
        }
    }
}

// A start that would leave every other player out is no match: the only
// guest past the start wait, or silent, leaves the host in its room, told
// why.
TEST(Match, AStartNobodyElsePlaysIsNoMatch)
{
    enum Case { kBusy, kSilent };
    for (const Case c : {kBusy, kSilent}) {
        SCOPED_TRACE(int(c));
        Driver d(2);
        KrvMpConn& host = d.peers[0]->s;
        KrvMpConn& guest = d.peers[1]->s;
        if (c == kBusy) {
            guest.RequestBusyState(1);
            ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(1)->busy == 1; }, 1000));
            EXPECT_FALSE(d.TapUntilStarted(KrvMpConn::kStartWaitLimit + 6000));
            EXPECT_TRUE(d.peers[1]->errors.empty()) << "nothing started that it was left out of";
        } else {
            d.hub.filter = [](int from, int, const std::vector<uint8_t>& m) { return from == 1 && m[0] == 5 ? -1 : 0; };
            host.RequestStart();
            d.Run(KrvMpConn::kStartReplyLimit + 1000);
            EXPECT_EQ(d.peers[1]->errors, std::vector<int>{KrvMpConn::kErrLeftOut});
            d.hub.filter = nullptr;
        }
        EXPECT_EQ(host.state, KrvMpConn::kInRoomAsHost);
        EXPECT_FALSE(d.peers[0]->started);
        ASSERT_FALSE(d.peers[0]->errors.empty());
        EXPECT_EQ(d.peers[0]->errors.back(), KrvMpConn::kErrNobodyElse);
        EXPECT_EQ(host.MP_GetPlayer(0)->matchState, uint8_t(MatchState::Waiting));
        // The guest is ready again: the next Start plays.
        guest.RequestBusyState(0);
        ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(1)->busy == 0; }, 1000));
        ASSERT_TRUE(d.StartMatch(0));
        EXPECT_EQ(host.MP_GetPlayer(1)->matchState, uint8_t(MatchState::Playing));
    }
}

namespace {

// The host's row of a guest's player (an empty row until the host has it).
const KrvMpConn::KrvPlayer& GuestAtHost(KrvMpConn& host, KrvMpConn& guest)
{
    static const KrvMpConn::KrvPlayer none{};
    const KrvMpConn::KrvPlayer* p = host.MP_GetPlayer(guest.MP_GetMyId());
    return p ? *p : none;
}

}  // namespace

// Alone in its room the host waits for nobody: its Start neither starts a
// match nor begins the start wait, and the start wait of a host its only
// guest left ends. A guest who joins later is not taken into a match by a
// Start tapped before it came (the room screen's Start goes ahead by itself
// once nothing delays it), and has the whole start wait of the host's next
// Start: busy for 20 s after it, it plays.
TEST(Match, TheHostAloneWaitsForNobody)
{
    enum Case { kTappedAlone, kLeftAlone };
    for (const Case c : {kTappedAlone, kLeftAlone}) {
        SCOPED_TRACE(int(c));
        Driver d(c == kTappedAlone ? 1 : 2);
        KrvMpConn& host = d.peers[0]->s;
        // The room screen, every frame without a tap.
        d.onFrame = [&](Peer& p) {
            if (&p == d.peers[0].get())
                host.FinishStartWait();
        };
        if (c == kTappedAlone) {
            d.TapStart();
        } else {
            KrvMpConn& first = d.peers[1]->s;
            first.RequestBusyState(1);
            ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(1)->busy == 1; }, 1000));
            d.TapStart();
            d.Run(KrvMpConn::kStartWaitLimit - 10000);
            ASSERT_TRUE(host.InStartWait());
            first.MP_RoomLeave();
        }
        d.Run(1000);
        EXPECT_FALSE(host.InStartWait());
        EXPECT_TRUE(d.peers[0]->errors.empty()) << "the host alone made a start";
        KrvMpConn& guest = d.peers[d.Join()]->s;
        d.Run(1000);
        ASSERT_EQ(host.playerCount, 2);
        EXPECT_EQ(host.state, KrvMpConn::kInRoomAsHost) << "a match started with a guest that came after the Start";
        guest.RequestBusyState(1);
        ASSERT_TRUE(d.RunUntil([&] { return GuestAtHost(host, guest).busy == 1; }, 1000));
        d.TapStart();
        d.Run(20000);
        EXPECT_EQ(host.state, KrvMpConn::kInRoomAsHost);
        guest.RequestBusyState(0);
        ASSERT_TRUE(d.RunUntil([&] { return d.peers[0]->started; }, 3000));
        EXPECT_EQ(GuestAtHost(host, guest).matchState, uint8_t(MatchState::Playing));
        EXPECT_TRUE(d.peers[0]->errors.empty());
    }
}

// Leaving its room ends the host's start wait at once; in the room it makes
// next, a guest busy for 20 s after the host's Start plays.
TEST(Match, LeavingTheRoomEndsTheStartWait)
{
    Driver d(2);
    KrvMpConn& host = d.peers[0]->s;
    d.peers[1]->s.RequestBusyState(1);
    ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(1)->busy == 1; }, 1000));
    d.TapStart();
    d.Run(KrvMpConn::kStartWaitLimit - 10000);
    ASSERT_TRUE(host.InStartWait());
    host.MP_RoomLeave();
    EXPECT_FALSE(host.InStartWait());
    ASSERT_EQ(host.MP_RoomCreate_Begin("AGAIN"), 1);
    d.Run(100);
    ASSERT_EQ(host.state, KrvMpConn::kInRoomAsHost);
    KrvMpConn& guest = d.peers[d.Join()]->s;
    guest.RequestBusyState(1);
    ASSERT_TRUE(d.RunUntil([&] { return GuestAtHost(host, guest).busy == 1; }, 1000));
    d.TapStart();
    d.Run(20000);
    guest.RequestBusyState(0);
    EXPECT_TRUE(d.TapUntilStarted(3000));
    EXPECT_EQ(GuestAtHost(host, guest).matchState, uint8_t(MatchState::Playing));
}

// A session begun anew (released and set up again, or set up again alone)
// has no start wait and no result of the last session's start to give: the
// host that quits in the start wait, or with its Start's "nobody else to
// play" not yet told, hears nothing of either while it lists rooms next.
TEST(Session, ANewSessionStartsWithoutTheLastOnesStart)
{
    enum Case { kInTheWait, kNobodyElseUntold };
    for (const Case c : {kInTheWait, kNobodyElseUntold})
        for (const bool release : {true, false}) {
            SCOPED_TRACE(int(c) * 2 + int(release));
            Driver d(2);
            KrvMpConn& host = d.peers[0]->s;
            d.peers[1]->s.RequestBusyState(1);
            ASSERT_TRUE(d.RunUntil([&] { return host.MP_GetPlayer(1)->busy == 1; }, 1000));
            d.TapStart();
            if (c == kNobodyElseUntold) {
                // The only guest claims past the start wait: the next Start
                // is no match, which the host's next frame would tell.
                d.Run(KrvMpConn::kStartWaitLimit + 1000);
                d.TapStart();
                ASSERT_EQ(host.state, KrvMpConn::kInRoomAsHost);
            } else {
                d.Run(10000);
                ASSERT_TRUE(host.InStartWait());
            }
            if (release) {
                host.MP_Release();
                EXPECT_FALSE(host.InStartWait());
                host.MP_SetType(Multiplayer::kNetLocal);
            }
            char name[] = "PILOT0";
            ASSERT_EQ(host.MP_Init(name), 1);
            EXPECT_FALSE(host.InStartWait());
            ASSERT_EQ(host.MP_RoomsList_Begin(), 1);
            EXPECT_EQ(host.MP_Update(d.hub.now + Driver::kFrame), KrvMpConn::kErrNone);
        }
}

TEST(Session, StatesFollowTheirEvents)
{
    struct Case {
        int state, backEndEvent;
        bool linkUp;
        int nextState, result;
    } cases[] = {
        {KrvMpConn::kLobbyListRequested, EventList::kServerListReady, false, KrvMpConn::kLobbyListReady, 0},
        {KrvMpConn::kLobbyListRequested, EventList::kRoomActionRejected, false, KrvMpConn::kLobbyListFailed, 1},
        {KrvMpConn::kLobbyLoginRequested, EventList::kConnected, false, KrvMpConn::kLobbyLoggedIn, 0},
        {KrvMpConn::kLobbyLoginRequested, EventList::kNameTaken, true, KrvMpConn::kLobbyLoginFailed, 3},
        {KrvMpConn::kLobbyLoginRequested, EventList::kRejected, true, KrvMpConn::kLobbyLoginFailed, 2},
        {KrvMpConn::kRoomJoinRequested, EventList::kConnected, false, KrvMpConn::kInRoomAsClient, 0},
        {KrvMpConn::kRoomJoinRequested, EventList::kRejected, true, KrvMpConn::kRoomJoinFailed, 4},
        {KrvMpConn::kRoomJoinRequested, EventList::kRejected, false, KrvMpConn::kRoomJoinFailed, 5},
        {KrvMpConn::kRoomCreateRequested, EventList::kRoomActionRejected, true, KrvMpConn::kRoomCreateFailed, 4},
        {KrvMpConn::kMatchRunning, EventList::kNotConnected, true, KrvMpConn::kIdle, 6},
    };
    Hub hub;
    for (auto& c : cases) {
        KrvMpConn s;
        s.MP_SetType(Multiplayer::kNetLocal);
        ASSERT_EQ(s.MP_Init(nullptr), 1);
        auto* net = static_cast<Member*>(s.mp->backEnd.get());
        net->listing = true;
        net->script = {c.backEndEvent};
        s.mp->linkStatus = c.linkUp ? Multiplayer::kLinkUp : 0;
        s.state = c.state;
        EXPECT_EQ(s.MP_Update(1000), c.result) << c.state << " " << c.backEndEvent;
        EXPECT_EQ(s.state, c.nextState) << c.state << " " << c.backEndEvent;
    }
}

TEST(Session, HandlesAtMostFortyEventsPerUpdate)
{
    Driver d(2);
    Member* client = d.peers[1]->Net();
    uint8_t settings[] = {3, 2, 1, 0};
    for (int i = 0; i < 50; ++i)
        client->SendToAll(settings, sizeof settings, false);
    Member* host = d.peers[0]->Net();
    d.peers[0]->s.MP_Update(d.hub.now);
    EXPECT_EQ(host->inbox.size(), 10u);
    d.peers[0]->s.MP_Update(d.hub.now);
    EXPECT_EQ(host->inbox.size(), 0u);
    EXPECT_EQ(d.peers[0]->s.MP_GetPlayer(1)->plane, 2);
}

// Each settings request makes every player answer to everyone: a player's
// requests are answered as often as the game asks, all of them, and a flood
// of them (320 a second) no more often than that.
TEST(Session, SettingsRequestsAreAnsweredAsOftenAsTheGameAsks)
{
    Driver d(3);
    auto count = [&](size_t first, int from, MsgType type) {
        long n = 0;
        for (size_t i = first; i < d.hub.log.size(); ++i)
            n += d.hub.log[i].from == from && d.hub.log[i].data[0] == uint8_t(type) ? 1 : 0;
        return n;
    };
    const uint32_t span = 18 * KrvMpConn::kRoomSendInterval;
    size_t first = d.hub.log.size();
    d.Run(span);
    const long asked = count(first, 1, MsgType::SettingsRequest) + count(first, 2, MsgType::SettingsRequest);
    const long answered = count(first, 0, MsgType::RoomInfo);
    EXPECT_GE(asked, 30);
    EXPECT_GE(answered, asked - 2);  // a request or two still under way

    first = d.hub.log.size();
    uint8_t request[] = {uint8_t(MsgType::SettingsRequest)};
    d.onFrame = [&](Peer& p) {
        if (&p == d.peers[2].get())
            for (int i = 0; i < 8; ++i)
                p.Net()->SendToAll(request, sizeof request, false);
    };
    PDebugPeerReset();
    testing::internal::CaptureStdout();
    d.Run(span);
    d.onFrame = nullptr;
    const std::string log = testing::internal::GetCapturedStdout();
    // Its own requests, its flood's first two and one an interval after.
    EXPECT_LE(count(first, 0, MsgType::RoomInfo), answered + 20);
    EXPECT_LE(count(first, 1, MsgType::PlayerSettings), answered + 20);
    EXPECT_NE(log.find("Settings request from 2, more often than one in 1800 ms: dropped"), std::string::npos);
}

// Every message from a peer is untrusted.
TEST(Session, RefusesOrBoundsHostileMessages)
{
    Driver d(3);
    ASSERT_TRUE(d.StartMatch(0));
    KrvMpConn& host = d.peers[0]->s;
    KrvMpConn& client = d.peers[1]->s;
    MyAirplane* clientOwn = PlaneOf(*d.peers[1], 1);
    clientOwn->health = 50;

    GameMessage respawn;
    respawn.type = MsgType::Respawn;
    respawn.id = 1;
    respawn.health = 100;
    respawn.position = PVector3(0x70000000, 0, 0);
    GameMessage kills;
    kills.type = MsgType::KillsList;
    kills.count = 2;
    kills.entries[0] = {1, 3};
    kills.entries[1] = {2, 3};
    GameMessage position;
    position.type = MsgType::Position;
    position.position = PVector3(0x123456, 0, 0);
    position.throttle = 100;
    const int plane1 = host.MP_GetPlayer(1)->plane;
    ASSERT_NE(plane1, 4);

    struct Case {
        const char* what;
        KrvMpConn* to;
        int from;
        std::vector<uint8_t> bytes;
        std::function<bool()> holds;
    } cases[] = {
        {"short respawn", &client, 0, [&] { auto b = Encode(respawn); b.pop_back(); return b; }(),
         [&] { return clientOwn->position.x != 0x70000000; }},
        {"list count above 4", &client, 0, [&] { auto b = Encode(kills); b[1] = 5; b.resize(42); return b; }(),
         [&] { return client.GetPlayerKills(1) == 0; }},
        {"list count beyond the bytes", &client, 0, [&] { auto b = Encode(kills); b.pop_back(); return b; }(),
         [&] { return client.GetPlayerKills(2) == 0; }},
        {"host-only message from a client", &client, 2, {14, 0, 0, 0, 2}, [&] { return client.MP_GetWinner() == -1; }},
        {"health list from a client", &client, 2, {9, 1, 0, 0, 0, 1, 0}, [&] { return clientOwn->health == 50; }},
        {"message from myself", &host, 0, {3, 9, 3, 0}, [&] { return host.MP_GetPlayer(0)->plane == 0; }},
        {"room settings clamped", &client, 0, {1, 200, 9, 99},
         [&] { return client.map == 3 && client.season == 2 && client.fragLimit == 7; }},
        {"rank clamped", &host, 2, {3, 1, 200, 0}, [&] { return host.MP_GetPlayer(2)->rank == KrvMpConn::kMaxRank; }},
        {"health clamped", &client, 0, {9, 1, 0, 0, 0, 1, 250}, [&] { return clientOwn->health == 100; }},
        {"throttle clamped", &host, 1, [&] { auto b = Encode(position); b[26] = 250; return b; }(),
         [&] { return PlaneOf(*d.peers[0], 1)->throttle == 100 && PlaneOf(*d.peers[0], 1)->position.x == 0x123456; }},
        {"flight state 8 moves nothing", &host, 2, [&] { auto b = Encode(position); b[25] = 8; return b; }(),
         [&] { return PlaneOf(*d.peers[0], 2)->position.x != 0x123456; }},
        {"kill line naming a stranger", &client, 0, {13, 0, 0, 0, 0, 1, 0, 0, 0, 77},
         [&] { return d.peers[1]->game.lines.back() == L"? [246] PILOT1"; }},
        // Damage to another player: at most a hit of the weapons carried, and
        // one hit for each shot the player fired.
        {"damage before any shot", &host, 2, {8, 0, 0, 0, 100, 0, 0, 0, 1, 0, 0, 0, 2},
         [&] { return PlaneOf(*d.peers[0], 1)->health == 100; }},
        {"a guest's shot", &host, 2, [] { std::vector<uint8_t> b(32); b[0] = 7, b[4] = 2; return b; }(),
         [&] { return host.ShotsInFlight(2) == 1; }},
        {"a kill credited to its own victim", &host, 2, {8, 0, 0, 0, 100, 0, 0, 0, 2, 0, 0, 0, 2},
         [&] { return PlaneOf(*d.peers[0], 2)->health == 100; }},
        {"damage beyond the weapons carried", &host, 2, {8, 0, 0, 0x13, 0x88, 0, 0, 0, 1, 0, 0, 0, 2},
         [&] { return PlaneOf(*d.peers[0], 1)->health == 100 && host.GetPlayerKills(2) == 0; }},
        {"a hit of the weapon carried", &host, 2, {8, 0, 0, 0, 100, 0, 0, 0, 1, 0, 0, 0, 2},
         [&] { return PlaneOf(*d.peers[0], 1)->health == 0 && host.GetPlayerKills(2) == 1; }},
        {"a second hit of the same shot", &host, 2, {8, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 2},
         [&] { return PlaneOf(*d.peers[0], 0)->health == 100; }},
        {"repair of a dead airplane", &host, 1, {10, 50}, [&] { return PlaneOf(*d.peers[0], 1)->health == 0; }},
        // A start reply answers the match start once: later ones change nothing.
        {"a start reply in the running match", &host, 1, {5, 5},
         [&] { return host.MP_GetPlayer(1)->plane == plane1; }},
        // Aircraft numbers are clamped to the catalogue (five here).
        {"settings beyond the catalogue", &host, 2, {3, 250, 0, 0}, [&] { return host.MP_GetPlayer(2)->plane == 4; }},
        {"host's plane beyond the catalogue", &client, 0, {4, 0, 0, 0, 200},
         [&] { return client.MP_GetPlayer(0)->plane == 4; }},
        // A guest says things about itself only.
        {"a guest declaring the host gone", &host, 2, {15, 0, 0, 0, 0},
         [&] { return host.GetPlayerKills(0) == 0 && host.MP_GetPlayer(0)->matchState == 1; }},
        {"a guest declaring another guest gone", &client, 2, {15, 0, 0, 0, 1},
         [&] { return client.GetPlayerKills(1) == 0; }},
        {"damage credited to another player", &host, 2, {8, 0, 0, 3, 0xE7, 0, 0, 0, 0, 0, 0, 0, 1},
         [&] { return PlaneOf(*d.peers[0], 0)->health == 100 && host.GetPlayerKills(1) == 0; }},
        {"another's damage without an attacker", &host, 2, {8, 0, 0, 3, 0xE7, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},
         [&] { return PlaneOf(*d.peers[0], 0)->health == 100; }},
        {"a shot in another's name", &client, 2, [] { std::vector<uint8_t> b(32); b[0] = 7, b[4] = 0; return b; }(),
         [&] { return d.peers[1]->game.shots.empty(); }},
        {"a shot cut before its shooter", &client, 2, {7, 0, 0}, [&] { return d.peers[1]->game.shots.empty(); }},
    };
    host.planeCount = client.planeCount = 5;
    for (auto& c : cases) {
        c.to->HandleMessage(c.bytes.data(), int(c.bytes.size()), c.from);
        EXPECT_TRUE(c.holds()) << c.what;
    }
    // What a guest may say: its own shots and the crash of its own airplane.
    std::vector<uint8_t> shot(32);
    shot[0] = 7, shot[4] = 2;
    client.HandleMessage(shot.data(), int(shot.size()), 2);
    EXPECT_EQ(d.peers[1]->game.shots.size(), 1u);
    uint8_t crash[] = {8, 0, 0, 3, 0xE7, 0, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF};
    host.HandleMessage(crash, sizeof crash, 2);
    EXPECT_EQ(PlaneOf(*d.peers[0], 2)->health, 0);
    for (const uint8_t type : {0, 19, 0x80, 0xFF}) {
        uint8_t b[40] = {type};
        client.HandleMessage(b, sizeof b, 0);
    }

    // Names from the back end are cut at 31 characters and terminated.
    d.peers[0]->Net()->rawNames = true;
    host.MP_PlayersList_Update();
    EXPECT_EQ(strlen(host.players[0].name), 31u);
}

TEST(Session, SmallAnswers)
{
    KrvMpConn s;
    EXPECT_EQ(s.ErrorCodeToMsg(nullptr, 1), nullptr);
    EXPECT_EQ(s.MP_Init(nullptr), 0);  // no network kind
    EXPECT_EQ(s.MP_IsNetworkAvail(), 1);
    s.fragLimit = 8;
    EXPECT_EQ(s.GetFragLimit(), 0);
    EXPECT_EQ(s.GetFragLimitWchar(), nullptr);
    s.fragLimit = 7;
    EXPECT_EQ(s.GetFragLimit(), 40);
    EXPECT_STREQ(s.GetFragLimitWchar(), L"40");

    Hub hub;
    s.MP_SetType(Multiplayer::kNetLocal);
    ASSERT_EQ(s.MP_Init(nullptr), 1);
    char ip[32];
    EXPECT_EQ(s.MP_GetMyIP(ip), 14);
    EXPECT_STREQ(ip, "10.0.0.10:1024");
    // A renamed player under the same id comes back as a new entry.
    ASSERT_EQ(s.MP_RoomCreate_Begin("R"), 1);
    s.MP_Update(1000);
    ASSERT_EQ(s.state, KrvMpConn::kInRoomAsHost);
    s.players[0].kills = 4;
    s.MP_PlayersList_Update();
    EXPECT_EQ(s.players[0].kills, 4);
    static_cast<Member*>(s.mp->backEnd.get())->name = "OTHER";
    s.MP_PlayersList_Update();
    EXPECT_EQ(s.players[0].kills, 0);
    EXPECT_STREQ(s.players[0].name, "OTHER");
}
