// The online library end to end against the test lobby web service and the
// test lobby server, all on loopback.
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "engine/net/online/multiplayerinterface.h"
#include "engine/net/online/serverdiscoveryimp.h"
#include "engine/runtime/ptime.h"
#include "lobby_services.h"
#include "net_test_util.h"

namespace {

using namespace VOrededidaza;
using Internal::ServerDiscoveryImp;

const char kKey[] = "TestKey-0123";
const unsigned kGameId = 0x10460003;

struct Recorder : MultiplayerObserver {
    std::vector<std::pair<int, int>> events;
    void onNotify(Message m, Status s) override { events.push_back({int(m), int(s)}); }
    int Count(int m, int s) const
    {
        int n = 0;
        for (auto& e : events)
            n += e.first == m && e.second == s;
        return n;
    }
    bool Saw(int m, int s) const { return Count(m, s) > 0; }
    bool SawMessage(int m) const
    {
        for (auto& e : events)
            if (e.first == m)
                return true;
        return false;
    }
};

struct Client {
    Client()
    {
        root.reset(MultiplayerInterface::Create());
        discovery.reset(root->createServerDiscovery());
        discovery->setObserver(&rec);
    }
    ~Client()
    {
        lobby.reset();
        discovery.reset();
        root.reset();
    }
    std::unique_ptr<MultiplayerInterface> root;
    std::unique_ptr<ServerDiscovery> discovery;
    std::unique_ptr<LobbyInterface> lobby;
    Recorder rec;
};

// Updates the clients until done() holds or five seconds pass.
bool PumpUntil(std::vector<Client*> clients, const std::function<bool()>& done, int ms = 5000)
{
    uint32_t start = PTickCount();
    while (int(PTickCount() - start) < ms) {
        for (Client* c : clients)
            c->root->update();
        if (done())
            return true;
        PSleep(1);
    }
    return false;
}

class LobbyEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_web.Start());
        ASSERT_TRUE(m_lobby.Start());
        ServerDiscoveryImp::setServiceHost(m_web.Host().c_str());
        ServerDiscoveryImp::setQueryKey(kKey);
        m_lobby.AddTakenName("taken");
        m_lobby.AddRefusedName("refused");
        m_lobby.SetServerName("Alpha Lobby");
        lobbytest::ServerRecord alpha;
        alpha.ip = "127.0.0.1";
        alpha.port = uint32_t(m_lobby.Port());
        alpha.name = "Alpha";
        alpha.description = "the test lobby";
        alpha.maxPlayers = 64;
        alpha.playersInGame = 3;
        lobbytest::ServerRecord beta;
        beta.ip = "127.0.0.2";
        beta.port = 1;
        beta.name = "Be";
        beta.flags = 3;
        m_web.SetServers({alpha, beta});
    }

    bool Discover(Client& c, int mask = 163)
    {
        ServerFilter f(kGameId);
        f.setReturnMask(mask);
        c.rec.events.clear();
        if (!c.discovery->getServerList(f))
            return false;
        return PumpUntil({&c}, [&] { return c.rec.SawMessage(MSG_SERVER_LIST); });
    }

    bool Login(Client& c, const char* name, Status expect)
    {
        c.rec.events.clear();
        if (!c.discovery->connectToServer(0u, kGameId, name))
            return false;
        if (!PumpUntil({&c}, [&] { return c.rec.SawMessage(MSG_LOGIN); }))
            return false;
        return c.rec.Saw(MSG_LOGIN, expect);
    }

    lobbytest::WebService m_web{kKey};
    lobbytest::LobbyServer m_lobby;
};

TEST_F(LobbyEndToEnd, TwoPlayersFindTheServerMeetInARoomAndTalk)
{
    Client a, b;
    ASSERT_TRUE(Discover(a));
    ASSERT_TRUE(a.rec.Saw(MSG_SERVER_LIST, STATUS_OK));
    std::string query = m_web.LastQuery();
    EXPECT_NE(query.find("game_id=" + std::to_string(int(kGameId)) + "&protocol_version=3"), std::string::npos) << query;
    EXPECT_NE(query.find("&return_mask=163"), std::string::npos);
    ServerDiscovery* d = a.discovery.get();
    ASSERT_EQ(d->getServerCount(), 2);
    EXPECT_STREQ(d->getServerName(0), "Alpha");
    EXPECT_STREQ(d->getServerDescription(0), "the test lobby");
    EXPECT_STREQ(d->getServerIP(0), "127.0.0.1");
    EXPECT_EQ(d->getServerPort(0), unsigned(m_lobby.Port()));
    EXPECT_EQ(d->getServerPlayerCountMax(0), 64);
    EXPECT_EQ(d->getServerPlayerCountGame(0), 3);
    EXPECT_EQ(d->getServerPlayerCountTotal(0), 0);   // not asked for
    EXPECT_EQ(d->getServerAvailableGameRooms(0), -1); // not asked for
    EXPECT_STREQ(d->getServerName(1), "Be");
    EXPECT_EQ(d->getServerNearMe(1), 1);
    EXPECT_EQ(d->getServerSupportedProtocol(1), 2);
    EXPECT_EQ(d->getServerName(2), nullptr);
    EXPECT_EQ(d->getServerPort(2), 0u);
    ASSERT_TRUE(Discover(b));

    // A taken name, a refused name, then a login.
    ASSERT_TRUE(Login(a, "taken", STATUS_NAME_TAKEN));
    EXPECT_STREQ(a.discovery->getSuggestedName(), "taken_2");
    EXPECT_EQ(a.discovery->getLobbyInterface(), nullptr);
    ASSERT_TRUE(Login(a, "refused", STATUS_LOGIN_REJECTED_10));
    ASSERT_TRUE(Login(a, "alice", STATUS_OK));
    a.lobby.reset(a.discovery->getLobbyInterface());
    ASSERT_TRUE(a.lobby);
    EXPECT_EQ(a.discovery->getLobbyInterface(), nullptr);
    ASSERT_TRUE(Login(b, "bob", STATUS_OK));
    b.lobby.reset(b.discovery->getLobbyInterface());
    ASSERT_TRUE(b.lobby);
    a.lobby->setObserver(&a.rec);
    b.lobby->setObserver(&b.rec);
    char name[32];
    a.lobby->getServerName(name, sizeof name);
    EXPECT_STREQ(name, "Alpha Lobby");
    EXPECT_EQ(a.lobby->checkExtension(EXTENSION_0), 1);
    EXPECT_EQ(a.lobby->checkExtension(EXTENSION_1), 0);
    unsigned aliceId = a.lobby->getMyId(), bobId = b.lobby->getMyId();
    EXPECT_NE(aliceId, bobId);

    // Alice opens a room; Bob sees it listed and joins.
    a.rec.events.clear();
    b.rec.events.clear();
    b.lobby->setGameRoomFilter(1);
    b.lobby->setGameRoomSorting(ServerFilter::SORT_NAME);
    b.lobby->startGameRoomSubscription();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return b.rec.Saw(MSG_GAME_ROOM_LIST, STATUS_OK); }));
    EXPECT_EQ(b.lobby->getGameRoomCount(), 0);
    const unsigned char desc[] = "Room A";
    a.lobby->createGameRoom(4, nullptr, desc, sizeof desc, 0xFFFFFFFF);
    GameRoomInterface* ra = a.lobby->getGameRoomInterface();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] {
        return a.rec.Saw(MSG_GAME_ROOM, STATUS_OK) && b.lobby->getGameRoomCount() == 1 &&
               ra->getGameRoomPlayerCount() == 1 && ra->getGameRoomMaxPlayerCount() == 4;
    }));
    ra->setObserver(&a.rec);
    EXPECT_EQ(ra->getGameRoomPlayerCount(), 1);
    EXPECT_EQ(ra->getGameRoomMaxPlayerCount(), 4);
    EXPECT_EQ(ra->getHostIndex(), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(b.lobby->getGameRoomDescription(0)), "Room A");
    EXPECT_EQ(b.lobby->getGameRoomPlayerCount(0), 1);
    EXPECT_EQ(b.lobby->getGameRoomMaxPlayerCount(0), 4);
    b.lobby->joinGameRoom(0, 1, nullptr);
    GameRoomInterface* rb = b.lobby->getGameRoomInterface();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] {
        return b.rec.Saw(MSG_GAME_ROOM, STATUS_OK) && a.rec.Saw(MSG_PLAYER_JOINED, STATUS_OK) &&
               rb->getGameRoomPlayerCount() == 2;
    }));
    rb->setObserver(&b.rec);
    EXPECT_STREQ(rb->getGameRoomPlayerName(0), "alice");
    EXPECT_STREQ(rb->getGameRoomPlayerName(1), "bob");
    EXPECT_EQ(rb->getGameRoomPlayerId(1), bobId);
    EXPECT_EQ(rb->getHostIndex(), 0);
    EXPECT_EQ(ra->getGameRoomPlayerCount(), 2);

    // Packets to every kind of target.
    PacketStream* pa = ra->getPacketStream();
    PacketStream* pb = rb->getPacketStream();
    pa->setObserver(&a.rec);
    pb->setObserver(&b.rec);
    auto text = [](const char* s) { return reinterpret_cast<const unsigned char*>(s); };
    auto receive = [&](Client& c, PacketStream* ps, unsigned& sender) -> std::string {
        if (!PumpUntil({&a, &b}, [&] { return ps->getAvailablePackets() > 0; }))
            return "(nothing)";
        unsigned len = 0;
        ps->readPacketInfo(sender, len);
        std::string s(len, '\0');
        ps->readPacket(reinterpret_cast<unsigned char*>(&s[0]), len);
        (void)c;
        return s;
    };
    unsigned from = 0;
    EXPECT_GT(pb->sendPacket(text("default"), 7), 0);
    EXPECT_EQ(receive(a, pa, from), "default");
    EXPECT_EQ(from, bobId);
    EXPECT_GT(pb->sendPacketToAll(text("all"), 3), 0);
    EXPECT_EQ(receive(a, pa, from), "all");
    EXPECT_GT(pb->sendPacketToHost(text("host"), 4), 0);
    EXPECT_EQ(receive(a, pa, from), "host");
    EXPECT_GT(pa->sendPacketToClient(bobId, text("direct"), 6), 0);
    EXPECT_EQ(receive(b, pb, from), "direct");
    EXPECT_EQ(from, aliceId);
    const unsigned list[1] = {bobId};
    EXPECT_GT(pa->sendPacketToClientList(list, 1, text("listed"), 6), 0);
    EXPECT_EQ(receive(b, pb, from), "listed");
    EXPECT_TRUE(a.rec.Saw(MSG_PACKET_RECEIVED, STATUS_OK));

    // Seventeen packets: sixteen are held, the seventeenth waits on the
    // connection until a slot is free.
    for (int i = 0; i < 17; i++) {
        std::string s = "p" + std::to_string(i);
        ASSERT_GT(pb->sendPacket(text(s.c_str()), unsigned(s.size())), 0);
    }
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return pa->getAvailablePackets() == 16; }));
    PumpUntil({&a, &b}, [] { return false; }, 100);
    EXPECT_EQ(pa->getAvailablePackets(), 16);
    for (int i = 0; i < 17; i++) {
        EXPECT_EQ(receive(a, pa, from), "p" + std::to_string(i));
    }
    EXPECT_EQ(pa->getAvailablePackets(), 0);

    // Lobby players: Alice subscribes and sees Bob.
    a.lobby->startLobbyInfoSubscription();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return a.lobby->getLobbyPlayerCount() == 1; }));
    EXPECT_STREQ(a.lobby->getLobbyPlayerName(0), "bob");
    EXPECT_EQ(a.lobby->getLobbyPlayerId(0), bobId);

    // Bob leaves; Alice sees him go.
    b.lobby->leaveGameRoom();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return a.rec.Saw(MSG_PLAYER_LEFT, STATUS_OK); }));
    EXPECT_EQ(ra->getGameRoomPlayerCount(), 1);

    // The server goes away: both hear that the link is lost.
    m_lobby.Stop();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] {
        return a.rec.Saw(MSG_CONNECTION_LOST, STATUS_OK) && b.rec.Saw(MSG_CONNECTION_LOST, STATUS_OK);
    }));
    EXPECT_EQ(a.lobby->getGameRoomCount(), 0);
}

TEST_F(LobbyEndToEnd, RoomAnswersAndLobbyClosing)
{
    Client a, b;
    ASSERT_TRUE(Discover(a));
    ASSERT_TRUE(Discover(b));
    ASSERT_TRUE(Login(a, "host", STATUS_OK));
    ASSERT_TRUE(Login(b, "guest", STATUS_OK));
    a.lobby.reset(a.discovery->getLobbyInterface());
    b.lobby.reset(b.discovery->getLobbyInterface());
    a.lobby->setObserver(&a.rec);
    b.lobby->setObserver(&b.rec);
    b.lobby->startGameRoomSubscription();
    const unsigned char desc[] = "locked";
    a.lobby->createGameRoom(1, "secret", desc, sizeof desc, 1);
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return b.lobby->getGameRoomCount() == 1; }));
    EXPECT_EQ(b.lobby->getGameRoomProtected(0), 1);
    b.lobby->joinGameRoom(0, 1, "wrong");
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return b.rec.Saw(MSG_GAME_ROOM, STATUS_ROOM_25); }));
    b.lobby->joinGameRoom(0, 1, "secret"); // room for one only
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return b.rec.Saw(MSG_GAME_ROOM, STATUS_ROOM_17); }));
    b.lobby->setGameRoomFilter(2); // hide protected rooms
    EXPECT_EQ(b.lobby->getGameRoomCount(), 0);

    // The host leaving closes the room for the others.
    a.lobby->leaveGameRoom();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return b.rec.Count(MSG_GAME_ROOM_LIST, STATUS_OK) >= 3; }));

    m_lobby.CloseLobby();
    ASSERT_TRUE(PumpUntil({&a, &b}, [&] { return a.rec.Saw(MSG_LOBBY_CLOSED, STATUS_OK); }));
    EXPECT_FALSE(a.rec.Saw(MSG_CONNECTION_LOST, STATUS_OK));
}

TEST_F(LobbyEndToEnd, DiscoveryFailuresAreReported)
{
    Client c;
    auto run = [&](lobbytest::WebService::Mode mode, int redirects = 0) {
        m_web.SetMode(mode, redirects);
        c.rec.events.clear();
        EXPECT_TRUE(Discover(c));
        return c.rec.events.empty() ? -1 : c.rec.events.back().second;
    };
    EXPECT_EQ(run(lobbytest::WebService::EMPTY), STATUS_OK);
    EXPECT_EQ(c.discovery->getServerCount(), 0);
    int before = m_web.Requests();
    EXPECT_EQ(run(lobbytest::WebService::REDIRECT, 2), STATUS_OK);
    EXPECT_EQ(m_web.Requests() - before, 3); // the same encrypted query each time
    EXPECT_EQ(c.discovery->getServerCount(), 2);
    EXPECT_EQ(run(lobbytest::WebService::REDIRECT, 6), STATUS_FAILED);
    EXPECT_EQ(run(lobbytest::WebService::NOT_FOUND), STATUS_FAILED);
    EXPECT_EQ(run(lobbytest::WebService::TRUNCATED), STATUS_FAILED);
    EXPECT_EQ(run(lobbytest::WebService::CUT), STATUS_FAILED);
    EXPECT_EQ(run(lobbytest::WebService::OVERSIZED), STATUS_FAILED);
    EXPECT_EQ(run(lobbytest::WebService::GARBAGE), STATUS_FAILED);
    EXPECT_EQ(run(lobbytest::WebService::BAD_LENGTH), STATUS_FAILED);
    EXPECT_EQ(run(lobbytest::WebService::LIST), STATUS_OK);
    // Return mask 49 and 255: every optional field read in its place.
    ASSERT_TRUE(Discover(c, 255));
    EXPECT_STREQ(c.discovery->getServerName(1), "Be");
    EXPECT_EQ(c.discovery->getServerAvailableGameRooms(0), 0);

    // A query running refuses a second; a bad filter value is refused.
    ServerFilter f(kGameId);
    ASSERT_EQ(c.discovery->getServerList(f), 1);
    EXPECT_EQ(c.discovery->getServerList(f), 0);
    PumpUntil({&c}, [&] { return !static_cast<ServerDiscoveryImp*>(c.discovery.get())->queryRunning(); });
    f.setNameFilter("a&b=c");
    EXPECT_EQ(c.discovery->getServerList(f), 0);

    // No web service there at all.
    ServerDiscoveryImp::setServiceHost(("127.0.0.1:" + std::to_string(nettest::FreeLoopbackPort())).c_str());
    c.rec.events.clear();
    ServerFilter g(kGameId);
    if (c.discovery->getServerList(g)) {
        ASSERT_TRUE(PumpUntil({&c}, [&] { return c.rec.SawMessage(MSG_SERVER_LIST); }));
        EXPECT_TRUE(c.rec.Saw(MSG_SERVER_LIST, STATUS_FAILED));
    }

    // No lobby server at an address: login reports no connection.
    c.rec.events.clear();
    ASSERT_EQ(c.discovery->connectToServer("127.0.0.1", nettest::FreeLoopbackPort(), kGameId, "x"), 1);
    EXPECT_EQ(c.discovery->connectToServer("127.0.0.1", 1, kGameId, "y"), 0); // one login at a time
    ASSERT_TRUE(PumpUntil({&c}, [&] { return c.rec.SawMessage(MSG_LOGIN); }, 8000));
    EXPECT_TRUE(c.rec.Saw(MSG_LOGIN, STATUS_NO_CONNECTION));
    EXPECT_EQ(c.discovery->connectToServer(5u, kGameId, "z"), 0);
}

} // namespace
