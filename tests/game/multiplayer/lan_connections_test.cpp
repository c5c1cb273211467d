// The local-network back end's game connections: message framing over socket
// pairs (whole messages from any split of the stream, peers that stall or
// stop reading, the sender stamped by the host) and the star of a host and
// its clients over loopback and across network namespaces.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>

#include "game/multiplayer/krvmpconn.h"
#include "engine/runtime/ptime.h"
#include "game/multiplayer/mpbackends.h"
#include "lan_netns.h"
#include "lan_test_util.h"

namespace {

using Access = IPInterfaceTestAccess;

class HostOverPairs : public ::testing::Test {
protected:
    void SetUp() override
    {
        Access::BecomeHost(host, "HOST");
        for (auto& p : peers) {
            p = std::make_unique<Peer>();
            Access::AdoptClient(host, p->Far());
            EXPECT_EQ(p->Got(), Bytes({254, uint8_t(&p - &peers[0] + 1)}));
            p->Got().clear();
        }
        if (!named)
            return;
        // Each names itself; then they are players 1 to 3.
        for (auto& p : peers)
            p->Put(Concat({{255, 0}, NameBytes(("P" + std::to_string(&p - &peers[0] + 1)).c_str())}));
        for (int i = 0; i < 20 && host.NumPlayers() < 4; ++i)
            host.PollMessages();
        ASSERT_EQ(host.NumPlayers(), 4);
        for (auto& p : peers)
            p->Got().clear();
    }
    // Polls the host until it reports an event other than 0.
    int NextEvent()
    {
        for (int i = 0; i < 50; ++i)
            if (int e = host.PollMessages())
                return e;
        return 0;
    }
    IPInterface host;
    std::unique_ptr<Peer> peers[3];
    bool named = true;
};

// Three connections that have not given their names yet.
class NamelessOverPairs : public HostOverPairs {
protected:
    NamelessOverPairs() { named = false; }
};

TEST_F(NamelessOverPairs, MessagesSplitIntoSingleBytesArriveWhole)
{
    Bytes info = Concat({{255, 1}, NameBytes("SPLIT")});
    Bytes data = {0, 1, 3, 'a', 'b', 'c'};
    Bytes stream = Concat({info, data});
    std::vector<int> events;
    for (uint8_t b : stream) {
        peers[0]->Put({b});
        for (int i = 0; i < 4; ++i)
            if (int e = host.PollMessages())
                events.push_back(e);
    }
    EXPECT_EQ(events, std::vector<int>({13, 6}));
    EXPECT_STREQ(host.GetPlayer(1)->name, "SPLIT");
    unsigned char payload[8] = {};
    EXPECT_EQ(host.GetPayLoad(payload, sizeof payload), 1);
    EXPECT_STREQ(reinterpret_cast<char*>(payload), "abc");
}

// What comes before a name in one piece with it is dropped; what comes
// after it is the player's first message.
TEST_F(NamelessOverPairs, BytesAfterTheNameInOnePieceAreThePlayers)
{
    peers[1]->Put(Concat({{9}, {0, 2, 2, 'n', 'o'}, {255, 2}, NameBytes("EAGER"), {0, 2, 3, 'y', 'e', 's'}}));
    EXPECT_EQ(NextEvent(), 13);
    EXPECT_STREQ(host.GetPlayer(1)->name, "EAGER");
    ASSERT_EQ(NextEvent(), 6);
    unsigned char payload[8] = {};
    EXPECT_EQ(host.GetPayLoad(payload, sizeof payload), 2);
    EXPECT_STREQ(reinterpret_cast<char*>(payload), "yes");
    EXPECT_EQ(NextEvent(), 0);
}

TEST_F(HostOverPairs, AStalledPeerHoldsUpNobody)
{
    peers[0]->Put({0, 1, 10, 'x'});  // stops inside its message
    peers[1]->Put({0, 2, 2, 'o', 'k'});
    ASSERT_EQ(NextEvent(), 6);
    unsigned char payload[16] = {};
    EXPECT_EQ(host.GetPayLoad(payload, sizeof payload), 2);
    EXPECT_EQ(NextEvent(), 0);
    peers[0]->Put({'y', 'y', 'y', 'y', 'y', 'y', 'y', 'y', 'y'});
    ASSERT_EQ(NextEvent(), 6);
    EXPECT_EQ(host.GetPayLoad(payload, sizeof payload), 1);
    EXPECT_EQ(host.NumPlayers(), 4);
}

// One guest's junk (one-byte messages of no known type) delays only that
// guest: the host reads on past it within a budget per connection, and
// another guest's messages are read and relayed in the frames they arrive.
TEST_F(HostOverPairs, AGuestsJunkDelaysOnlyItself)
{
    peers[0]->Put(Bytes(2000, 9));
    for (int i = 0; i < 50; ++i)
        peers[1]->Put({0, 2, 2, 11, uint8_t(i)});
    int frames = 0, received = 0;
    while (received < 50 && frames < 100) {
        ++frames;
        // A frame of the session: events until none, 40 at most.
        for (int poll = 0; poll < 40; ++poll) {
            int e = host.PollMessages();
            if (e == 0)
                break;
            unsigned char payload[4] = {};
            if (e == 6 && host.GetPayLoad(payload, sizeof payload) == 2 && payload[1] == received)
                ++received;
        }
    }
    EXPECT_EQ(received, 50);
    EXPECT_LE(frames, 3);
    Bytes& third = peers[2]->Got();
    ASSERT_EQ(third.size(), 50u * 5);
    EXPECT_EQ(Bytes(third.end() - 5, third.end()), Bytes({0, 2, 2, 11, 49}));
    // The same busy state again is answered to its sender only.
    peers[0]->Got().clear();
    peers[0]->Put({250, 1, 0});
    for (int i = 0; i < 40 && peers[0]->Got().size() < 3; ++i)
        host.PollMessages();
    EXPECT_EQ(peers[0]->Got(), Bytes({250, 1, 0}));
    EXPECT_EQ(peers[2]->Got().size(), 50u * 5);
}

// The host's session takes a guest's aircraft within the catalogue, in its
// settings and its start reply, and relays the number it took.
TEST(SessionOverPairs, TheHostClampsAndRelaysAGuestsAircraft)
{
    InstallNetworkBackEnds();
    KrvMpConn s;
    s.MP_SetType(Multiplayer::kNetLocal);
    char name[] = "HOST";
    ASSERT_EQ(s.MP_Init(name), 1);
    auto* ip = static_cast<IPInterface*>(s.mp->backEnd.get());
    Access::BecomeHost(*ip, "HOST");
    Peer guest, watcher;
    Access::AdoptClient(*ip, guest.Far());
    Access::AdoptClient(*ip, watcher.Far());
    s.mp->isHost = 1;
    s.mp->linkStatus = Multiplayer::kLinkUp;
    s.state = KrvMpConn::kInRoomAsHost;
    s.planeCount = 3;
    guest.Put(Concat({{255, 1}, NameBytes("GUEST")}));
    watcher.Put(Concat({{255, 2}, NameBytes("WATCHER")}));
    uint32_t now = 1000;
    auto update = [&] {
        for (int i = 0; i < 20; ++i)
            s.MP_Update(now += 25);
    };
    update();
    ASSERT_NE(s.MP_GetPlayer(1), nullptr);
    guest.Put({0, 1, 4, 3, 200, 0, 0});
    update();
    EXPECT_EQ(s.MP_GetPlayer(1)->plane, 2);
    s.RequestStart();
    guest.Put({0, 1, 2, 5, 250});
    update();
    EXPECT_EQ(s.MP_GetPlayer(1)->plane, 2);
    EXPECT_EQ(s.MP_GetPlayer(1)->matchState, uint8_t(MatchState::Playing));
    const Bytes& seen = watcher.Got();
    auto has = [&](const Bytes& m) { return std::search(seen.begin(), seen.end(), m.begin(), m.end()) != seen.end(); };
    EXPECT_TRUE(has({0, 1, 4, 3, 2, 0, 0}));
    EXPECT_TRUE(has({0, 1, 2, 5, 2}));
    EXPECT_FALSE(has({0, 1, 4, 3, 200}));
    EXPECT_FALSE(has({0, 1, 2, 5, 250}));
}

// Places are taken by names, not by connections: a guest told an id that
// another took meanwhile is told the next free one, and one that names
// itself in a room filled meanwhile is turned away.
TEST_F(NamelessOverPairs, AnIdTakenMeanwhileIsToldAgain)
{
    Peer fourth;
    Access::AdoptClient(host, fourth.Far());
    EXPECT_EQ(fourth.Got(), Bytes({254, 1})) << "every free place was told already: the first";
    auto name = [&](Peer& p, const char* n) {
        p.Got().clear();
        p.Put(Concat({{255, 0}, NameBytes(n)}));
        for (int i = 0; i < 8; ++i)
            host.PollMessages();
        return p.Got();
    };
    EXPECT_EQ(name(fourth, "D").at(0), 252);
    EXPECT_EQ(name(*peers[0], "A").at(1), 2) << "told 1, taken: told 2";
    EXPECT_EQ(name(*peers[1], "B").at(1), 3);
    EXPECT_EQ(name(*peers[2], "C"), Bytes({251}));
    ASSERT_EQ(host.NumPlayers(), 4);
    EXPECT_STREQ(host.GetPlayer(1)->name, "D");
    EXPECT_EQ(host.GetPlayer(2)->id, 2);
    EXPECT_STREQ(host.GetPlayer(2)->name, "A");
    EXPECT_EQ(host.GetPlayer(3)->id, 3);
}

TEST_F(HostOverPairs, TheHostStampsTheSenderAndCorrectsClaims)
{
    // Client 2 claims to be the host: the host reports and relays it as 2.
    peers[1]->Put({0, 0, 2, 'h', 'i'});
    ASSERT_EQ(NextEvent(), 6);
    unsigned char payload[4] = {};
    EXPECT_EQ(host.GetPayLoad(payload, sizeof payload), 2);
    EXPECT_EQ(peers[0]->Got(), Bytes({0, 2, 2, 'h', 'i'}));
    EXPECT_EQ(peers[2]->Got(), Bytes({0, 2, 2, 'h', 'i'}));
    EXPECT_TRUE(peers[1]->Got().empty());
    peers[0]->Got().clear();
    peers[2]->Got().clear();

    // Client 1 sends user info and a busy state in client 3's name, and a
    // player list of its own: they count for client 1, the list for nobody.
    // Its name, said again, stays; another name it may not take.
    peers[0]->Put(Concat({{255, 3}, NameBytes("P1"), {250, 3, 1}, {252, 1, 0, 0, 0}, NameBytes("FAKE")}));
    EXPECT_EQ(NextEvent(), 13);
    for (int i = 0; i < 8; ++i)
        host.PollMessages();
    EXPECT_EQ(host.NumPlayers(), 4);
    char name[32];
    peers[0]->Put(Concat({{255, 1}, NameBytes("MALLORY")}));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(host.PollMessages(), 0) << "a second name changes nobody";
    ASSERT_EQ(host.GetPlayerName(1, name, sizeof name), 1);
    EXPECT_STREQ(name, "P1");
    EXPECT_EQ(host.GetPlayer(1)->busy, 1u);
    EXPECT_EQ(host.GetPlayer(3)->busy, 0u);
    EXPECT_STREQ(host.GetPlayer(3)->name, "P3");
    Bytes& third = peers[2]->Got();
    ASSERT_GE(third.size(), 2u + 4 * 35 + 3);
    EXPECT_EQ(third[0], 252);
    EXPECT_EQ(third[1], 4);
    EXPECT_EQ(Bytes(third.end() - 3, third.end()), Bytes({250, 1, 1}));
}

TEST_F(HostOverPairs, APeerThatStopsReadingIsDroppedAndTheOthersGoOn)
{
    int stalledFd = peers[0]->Far();
    int small = 4096;
    setsockopt(stalledFd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    unsigned char data[300];
    std::memset(data, 'm', sizeof data);
    int sends = 0;
    while (host.NumPlayers() == 4 && sends < 5000) {
        host.SendToAll(data, 300, false);  // 255 bytes go: 258 a message
        ++sends;
        peers[1]->Got();
        peers[2]->Got();
    }
    ASSERT_EQ(host.NumPlayers(), 3) << "never dropped after " << sends << " sends";
    EXPECT_EQ(NextEvent(), 13);
    EXPECT_EQ(Access::FreeSocket(host), 0);
    // Every message reached the others, then the new player list.
    Bytes& second = peers[1]->Got();
    ASSERT_GE(second.size(), size_t(sends) * 258);
    for (int i = 0; i < sends; ++i)
        ASSERT_EQ(Bytes(second.begin() + i * 258, second.begin() + i * 258 + 3), Bytes({0, 0, 255})) << i;
    EXPECT_EQ(second[size_t(sends) * 258], 252);
    EXPECT_EQ(second[size_t(sends) * 258 + 1], 3);
}

TEST_F(HostOverPairs, LeavingAndClosingFreeTheConnection)
{
    peers[0]->Put({251});
    EXPECT_EQ(NextEvent(), 13);
    peers[2]->Put({0, 3, 5, 'c', 'u'});  // closes inside its message
    peers[2]->Close();
    EXPECT_EQ(NextEvent(), 13);
    ASSERT_EQ(host.NumPlayers(), 2);
    EXPECT_EQ(host.GetPlayer(1)->id, 2);
    Bytes& second = peers[1]->Got();
    ASSERT_EQ(second.size(), 2u * (2 + 3 * 35) - 35);
    EXPECT_EQ(second[1], 3);
    EXPECT_EQ(second[2 + 3 * 35 + 1], 2);
}

TEST(ClientOverPair, HandshakeListAndHostLeaving)
{
    IPInterface client;
    Peer host;
    Access::BecomeClient(client, "ME", host.Far());
    Bytes list = {252, 2};
    list = Concat({list, {0, 0, 0}, NameBytes("HOST"), {1, 2, 1}, NameBytes("ME")});
    Bytes stream = Concat({{254, 2}, list, {0, 0, 1, 'z'}, {250, 2, 1}, {9}, {251}});
    client.SendBusyStateReq(1);
    std::vector<int> events;
    for (uint8_t b : stream) {
        host.Put({b});
        if (int e = client.PollMessages())
            events.push_back(e);
    }
    EXPECT_EQ(events, std::vector<int>({13, 13, 6, 15, 1}));
    EXPECT_EQ(client.MyClientID(), 0);  // the link is gone and with it the table
    EXPECT_EQ(client.NumPlayers(), 0);
    EXPECT_EQ(client.PollMessages(), 1);
    EXPECT_EQ(host.Got(), Concat({{250, 0, 1}, {255, 2}, NameBytes("ME")}));
}

TEST(ClientOverPair, AListOfMoreThanFourPlayersEndsTheLink)
{
    IPInterface client;
    Peer host;
    Access::BecomeClient(client, "ME", host.Far());
    host.Put({252, 9});
    EXPECT_EQ(client.PollMessages(), 1);
    EXPECT_EQ(client.GetStatus(), IPInterface::kIdle);
}

// The star over loopback: three clients join, a fourth is turned away, one
// leaves and a newcomer takes its id.
TEST(LanStar, ThreeClientsJoinAFourthIsTurnedAway)
{
    IPInterface host;
    Access::BecomeHost(host, "HOST");
    int port = Access::ListenOnLoopback(host);
    ASSERT_GT(port, 0);
    IPInterface clients[4];
    std::vector<MPInterface*> all = {&host};
    const char* names[] = {"ALPHA", "BRAVO", "CHARLIE", "DELTA"};
    for (int i = 0; i < 3; ++i) {
        clients[i].SetUserInfo(names[i]);
        ASSERT_EQ(clients[i].JoinGameRoom("127.0.0.1", port), 1);
        all.push_back(&clients[i]);
        ASSERT_TRUE(PumpUntil(all, [&] { return clients[i].MyClientID() == i + 1 && clients[i].NumPlayers() == i + 2; }));
    }
    ASSERT_TRUE(PumpUntil(all, [&] {
        return host.ClientsReady() == 1 && clients[0].NumPlayers() == 4 && clients[1].NumPlayers() == 4 &&
               std::strcmp(clients[0].GetPlayer(3)->name, "CHARLIE") == 0;
    }));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(clients[i].NumPlayers(), 4);
        EXPECT_STREQ(clients[i].GetPlayer(3)->name, "CHARLIE");
    }
    clients[3].SetUserInfo(names[3]);
    ASSERT_EQ(clients[3].JoinGameRoom("127.0.0.1", port), 1);
    all.push_back(&clients[3]);
    ASSERT_TRUE(PumpUntil(all, [&] { return clients[3].GetStatus() == IPInterface::kIdle; }));
    EXPECT_EQ(host.NumPlayers(), 4);

    // A message of client 2 reaches the host and clients 1 and 3 as from 2.
    unsigned char hello[] = {11, 'h', 'e', 'y'};
    ASSERT_EQ(clients[1].SendToAll(hello, 4, false), 1);
    bool got[3] = {};
    ASSERT_TRUE(PumpUntil(all, [&] {
        MPInterface* receivers[] = {&host, &clients[0], &clients[2]};
        for (int i = 0; i < 3; ++i) {
            unsigned char buf[8] = {};
            if (receivers[i]->GetPayLoad(buf, sizeof buf) == 2 && std::memcmp(buf, hello, 4) == 0)
                got[i] = true;
        }
        return got[0] && got[1] && got[2];
    }));
    unsigned char none[8];
    EXPECT_EQ(clients[1].GetPayLoad(none, sizeof none), 0);

    clients[0].LeaveGameRoom();
    ASSERT_TRUE(PumpUntil(all, [&] { return host.NumPlayers() == 3 && clients[2].NumPlayers() == 3; }));
    EXPECT_EQ(host.GetPlayer(1)->id, 2);
    EXPECT_EQ(host.GetPlayer(2)->id, 3);
    ASSERT_EQ(clients[3].JoinGameRoom("127.0.0.1", port), 1);
    ASSERT_TRUE(PumpUntil(all, [&] { return clients[3].MyClientID() == 1 && host.ClientsReady() == 1; }));

    host.LeaveGameRoom();
    ASSERT_TRUE(PumpUntil(all, [&] { return clients[1].GetStatus() == 0 && clients[2].GetStatus() == 0; }));
}

// Connections that never give a name hold no player's place: one address
// keeps two at most, the oldest going first; with every place taken a
// newcomer closes the oldest of the address that holds the most, but none
// younger than the grace a name has to come in (it is turned away instead);
// and a device reopening three of them as fast as they are closed keeps
// none of three real guests out.
TEST(LanStar, ConnectionsWithoutANameHoldNoPlace)
{
    IPInterface host;
    Access::BecomeHost(host, "HOST");
    const int port = Access::ListenOnLoopback(host);
    ASSERT_GT(port, 0);
    struct Liar {
        std::string from;
        int fd;
    };
    std::vector<Liar> liars;
    // One at a time: each is accepted (and told an id) or turned away
    // before the next.
    auto open = [&](const std::string& from) {
        const int fd = NamelessConnect(from.c_str(), "127.0.0.1", port);
        liars.push_back({from, fd});
        uint8_t told[2];
        return PumpUntil({&host}, [&] { return recv(fd, told, 2, MSG_PEEK) == 2 || ClosedByHost(fd); });
    };
    // The grace runs on the virtual clock, off again however the test ends.
    PSetVirtualClock(1);
    std::unique_ptr<void, void (*)(void*)> realClock(&liars, [](void*) { PSetVirtualClock(0); });
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(open("127.0.0.5"));
    EXPECT_TRUE(ClosedByHost(liars[0].fd)) << "a third from one address closes its first";
    EXPECT_FALSE(ClosedByHost(liars[1].fd));
    // Seven more addresses, two each: every place is taken.
    const int others = IPInterface::kMaxNameless / IPInterface::kNamelessPerAddress - 1;
    for (int a = 0; a < others; ++a)
        for (int i = 0; i < IPInterface::kNamelessPerAddress; ++i)
            ASSERT_TRUE(open("127.0.0." + std::to_string(6 + a)));
    ASSERT_TRUE(open("127.0.0.99"));
    EXPECT_TRUE(ClosedByHost(liars.back().fd)) << "every place is younger than the grace: turned away";
    for (size_t i = 1; i + 1 < liars.size(); ++i)
        EXPECT_FALSE(ClosedByHost(liars[i].fd)) << i;
    PAdvanceVirtualClock(IPInterface::kNameGraceMs);
    ASSERT_TRUE(open("127.0.0.99"));
    EXPECT_TRUE(ClosedByHost(liars[1].fd)) << "a newcomer closes the oldest";
    for (size_t i = 2; i + 2 < liars.size(); ++i)
        EXPECT_FALSE(ClosedByHost(liars[i].fd)) << i;
    EXPECT_FALSE(ClosedByHost(liars.back().fd));
    EXPECT_EQ(host.NumPlayers(), 1);
    // Only 127.0.0.5 goes on.
    for (Liar& l : liars)
        if (l.from != "127.0.0.5") {
            close(l.fd);
            l.fd = -1;
        }

    IPInterface clients[3];
    std::vector<MPInterface*> all = {&host};
    const char* names[] = {"ALPHA", "BRAVO", "CHARLIE"};
    int reopened = 0;
    for (int i = 0; i < 3; ++i) {
        clients[i].SetUserInfo(names[i]);
        ASSERT_EQ(clients[i].JoinGameRoom("127.0.0.1", port), 1);
        all.push_back(&clients[i]);
        ASSERT_TRUE(PumpUntil(all, [&] {
            for (Liar& l : liars)
                if (l.fd >= 0 && ClosedByHost(l.fd)) {
                    close(l.fd);
                    l.fd = NamelessConnect(l.from.c_str(), "127.0.0.1", port);
                    ++reopened;
                }
            return clients[i].MyClientID() >= 1 && clients[i].NumPlayers() == i + 2;
        })) << names[i];
    }
    EXPECT_EQ(host.NumPlayers(), 4);
    EXPECT_EQ(host.ClientsReady(), 1);
    EXPECT_GT(reopened, 0);
    for (Liar& l : liars)
        if (l.fd >= 0)
            close(l.fd);
}

// Connections from the address `from` (127.x.y.z), each complete and so
// waiting in the queue of the host's loopback listener at port.
std::vector<int> QueueConnections(const char* from, int port, int count)
{
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        fds.push_back(NamelessConnect(from, "127.0.0.1", port));
        EXPECT_TRUE(Connected(fds.back())) << from << " " << i;
    }
    return fds;
}

// Connections of one address that come in one accept pass do not push out
// one another (none has had a round trip to give its name): the third is
// turned away, the first two stay; one in a later pass closes the oldest.
TEST(LanStar, ABurstFromOneAddressTurnsAwayItsNewest)
{
    IPInterface host;
    Access::BecomeHost(host, "HOST");
    const int port = Access::ListenOnLoopback(host);
    ASSERT_GT(port, 0);
    std::vector<int> far = QueueConnections("127.0.0.8", port, 3);
    Access::AcceptPass(host);
    uint8_t told[2];
    EXPECT_EQ(recv(far[0], told, 2, MSG_PEEK), 2);
    EXPECT_FALSE(ClosedByHost(far[0]));
    EXPECT_FALSE(ClosedByHost(far[1]));
    EXPECT_TRUE(ClosedByHost(far[2]));
    far.push_back(QueueConnections("127.0.0.8", port, 1)[0]);
    Access::AcceptPass(host);
    EXPECT_TRUE(ClosedByHost(far[0]));
    EXPECT_FALSE(ClosedByHost(far[1]));
    EXPECT_FALSE(ClosedByHost(far[3]));
    for (int fd : far)
        close(fd);
}

// One poll empties the listen queue, each connection in it taken (told an
// id) or turned away (closed): one left in it would keep those behind it
// waiting a poll longer for each in front.
TEST(LanStar, EveryWaitingConnectionIsAcceptedInOnePoll)
{
    IPInterface host;
    Access::BecomeHost(host, "HOST");
    const int port = Access::ListenOnLoopback(host);
    ASSERT_GT(port, 0);
    std::vector<int> fds;
    for (int a = 0; a < IPInterface::kListenBacklog / IPInterface::kNamelessPerAddress; ++a)
        for (int fd : QueueConnections(("127.0.1." + std::to_string(a + 1)).c_str(), port,
                                       IPInterface::kNamelessPerAddress))
            fds.push_back(fd);
    host.PollMessages();
    int told = 0;
    for (size_t i = 0; i < fds.size(); ++i) {
        uint8_t id[2];
        const bool taken = recv(fds[i], id, 2, MSG_PEEK) == 2;
        told += taken;
        EXPECT_TRUE(taken || ClosedByHost(fds[i])) << "connection " << i << " left waiting by the first poll";
        close(fds[i]);
    }
    EXPECT_EQ(told, IPInterface::kMaxNameless);
}

// A guest whose name has come is named before the connections that came
// after it are accepted: a newer one of its address, which would push out
// its oldest, finds it a player already.
TEST(LanStar, NamesThatCameAreReadBeforeNewerConnectionsAreAccepted)
{
    IPInterface host;
    Access::BecomeHost(host, "HOST");
    const int port = Access::ListenOnLoopback(host);
    ASSERT_GT(port, 0);
    std::vector<int> fds = QueueConnections("127.0.0.9", port, 1);
    host.PollMessages();
    fds.push_back(QueueConnections("127.0.0.9", port, 1)[0]);
    host.PollMessages();
    // The first names itself, and a third connection of its address waits.
    const Bytes name = Concat({{255, 1}, NameBytes("EARLY")});
    ASSERT_EQ(write(fds[0], name.data(), name.size()), ssize_t(name.size()));
    fds.push_back(QueueConnections("127.0.0.9", port, 1)[0]);
    host.PollMessages();
    ASSERT_EQ(host.NumPlayers(), 2);
    EXPECT_STREQ(host.GetPlayer(1)->name, "EARLY");
    for (int fd : fds)
        EXPECT_FALSE(ClosedByHost(fd));
    for (int fd : fds)
        close(fd);
}

// Connects the system dropped because the listen queue of the namespace's
// thread was full (the kernel's ListenOverflows and ListenDrops).
long ListenDrops()
{
    std::istringstream in(ReadFile("/proc/thread-self/net/netstat"));
    std::string names, values, name, value;
    while (std::getline(in, names) && std::getline(in, values) && names.rfind("TcpExt:", 0) != 0) {
    }
    std::istringstream n(names), v(values);
    long drops = n >> name && name == "TcpExt:" && v >> value ? 0 : -1;
    while (drops >= 0 && n >> name && v >> value)
        if (name == "ListenOverflows" || name == "ListenDrops")
            drops += std::stol(value);
    return drops;
}

// Busy loops on every core for as long as it lives: a loaded machine.
class CpuLoad {
public:
    explicit CpuLoad(bool on)
    {
        const long cores = on ? sysconf(_SC_NPROCESSORS_ONLN) : 0;
        for (long i = 0; i < cores; ++i) {
            const pid_t p = fork();
            if (p == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                volatile unsigned spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (p > 0)
                m_spinners.push_back(p);
        }
    }
    ~CpuLoad()
    {
        for (pid_t p : m_spinners) {
            kill(p, SIGKILL);
            waitpid(p, nullptr, 0);
        }
    }
    size_t Spinners() const { return m_spinners.size(); }

private:
    std::vector<pid_t> m_spinners;
};

struct ChurnCase {
    const char* name;
    int addresses;  // of the churning machine, three connections each
    bool loaded;
};

void PrintTo(const ChurnCase& c, std::ostream* out)
{
    *out << c.name;
}

class LanStarInNamespaces : public ::testing::TestWithParam<ChurnCase> {};

// An honest guest joins a host on another machine again and again while
// three connections that never give a name from each of several addresses
// of a third machine are reopened as fast as the host closes them. The
// guest polls once a frame (20 ms) and the host far more often, so the
// host accepts many of them between telling the guest its id and reading
// its name. A join counts when the guest is in the host's player list
// under its name and still connected 1.5 s after giving it. Every join
// succeeds, the host's listen queue never turns a connect away (a dropped
// connect is tried again only a second or more later), and the limits keep
// closing the nameless connections.
TEST_P(LanStarInNamespaces, HonestJoinsGetInWhileNamelessConnectionsChurn)
{
    const ChurnCase& c = GetParam();
    constexpr int kJoins = 3;
    constexpr auto kGuestFrame = std::chrono::milliseconds(20);
    constexpr auto kStillIn = std::chrono::milliseconds(1500);
    NetLab lab(3);
    if (!lab.Ok())
        GTEST_SKIP() << "local-network test skipped: " << lab.Why();
    std::vector<std::string> sources;
    for (int i = 0; i < c.addresses; ++i) {
        sources.push_back("10.77.0." + std::to_string(3 + 10 * i));
        if (i > 0) {
            ASSERT_TRUE(lab.RunIn(3, {"ip", "addr", "add", sources.back() + "/24", "dev", "eth0"}));
        }
    }
    IPInterface host, guest;
    host.SetUserInfo("HOST");
    guest.SetUserInfo("GUEST");
    MPInterface::GameRoom room = {};
    ASSERT_TRUE(lab.Enter(1));
    ASSERT_EQ(host.HostGameRoom(room), 1);
    const long dropsBefore = ListenDrops();
    lab.Leave();
    ASSERT_GE(dropsBefore, 0);
    const int port = IPInterface::kFirstPort;

    NamelessChurn churners(sources, 3, "10.77.0.1", port);  // opened by the first churn
    int reopened = 0;
    auto churn = [&] {
        lab.Enter(3);
        reopened += churners.Reopen();
        lab.Leave();
    };
    // Polls the host (and churns) every half millisecond, the guest once a
    // frame, until done() holds or the time is up; whether done() held.
    auto pump = [&](std::chrono::milliseconds limit, const std::function<bool()>& done) {
        const auto start = std::chrono::steady_clock::now();
        auto guestPolled = start - kGuestFrame;
        for (auto now = start; now - start < limit; now = std::chrono::steady_clock::now()) {
            host.PollMessages();
            churn();
            if (now - guestPolled >= kGuestFrame) {
                guest.PollMessages();
                guestPolled = now;
            }
            if (done())
                return true;
            usleep(500);
        }
        return false;
    };
    CpuLoad load(c.loaded);
    if (c.loaded) {
        ASSERT_GT(load.Spinners(), 0u);
    }
    for (int join = 0; join < kJoins; ++join) {
        ASSERT_TRUE(lab.Enter(2));
        ASSERT_EQ(guest.JoinGameRoom("10.77.0.1", port), 1);
        lab.Leave();
        // The guest names itself as it reads its id.
        ASSERT_TRUE(pump(std::chrono::seconds(10), [&] {
            return guest.GetStatus() == IPInterface::kIdle || guest.MyClientID() >= 1;
        }));
        const int id = guest.MyClientID();
        EXPECT_GE(id, 1) << "join " << join << ": turned away before its id";
        pump(kStillIn, [] { return false; });
        char name[MPInterface::kNameSize] = {};
        EXPECT_EQ(guest.GetStatus(), IPInterface::kRunning) << "join " << join << ": its link was closed";
        EXPECT_EQ(guest.MyClientID(), id) << "join " << join;
        EXPECT_EQ(guest.NumPlayers(), 2) << "join " << join;
        EXPECT_TRUE(id >= 1 && host.GetPlayerName(id, name, sizeof name) == 1 && std::strcmp(name, "GUEST") == 0)
            << "join " << join << ": not in the host's list";
        guest.LeaveGameRoom();
        ASSERT_TRUE(pump(std::chrono::seconds(10), [&] { return host.NumPlayers() == 1; }));
    }
    if (c.addresses > 0) {
        EXPECT_GT(reopened, int(churners.Size()) * 2) << "the host closed the nameless connections";
    }
    ASSERT_TRUE(lab.Enter(1));
    EXPECT_EQ(ListenDrops(), dropsBefore);
    lab.Leave();
}

INSTANTIATE_TEST_SUITE_P(Churn, LanStarInNamespaces,
                         ::testing::Values(ChurnCase {"Alone", 0, false}, ChurnCase {"TwoAddresses", 2, false},
                                           ChurnCase {"ThreeAddresses", 3, false},
                                           ChurnCase {"SixAddresses", 6, false},
                                           ChurnCase {"ThreeAddressesLoaded", 3, true},
                                           ChurnCase {"SixAddressesLoaded", 6, true}),
                         [](const ::testing::TestParamInfo<ChurnCase>& info) { return std::string(info.param.name); });

}  // namespace
