// The internet back end against the test lobby web service and the test
// lobby server on loopback: the lobby list, the login, a room hosted and
// joined, game messages both ways, packets that are dropped, a host
// invitation and the room's end; then the internet screens of the menus on
// the same services.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "engine/net/online/serverdiscoveryimp.h"
#include "engine/runtime/ptime.h"
#include "game/multiplayer/ipinterface.h"
#include "game/multiplayer/mpbackends.h"
#include "game/multiplayer/multiplayer.h"
#include "game/multiplayer/nvserverinterface.h"
#include "lobby_services.h"
#include "tests/game/multiplayer/menus_fixture.h"

namespace {

const char kKey[] = "KrvMpKey-012";

struct End {
    NVServerInterface nv;
    std::vector<int> events;
    bool Saw(int e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
};

// Polls the back ends until done() holds or ten seconds pass.
bool Pump(std::vector<End*> ends, const std::function<bool()>& done)
{
    uint32_t start = PTickCount();
    while (PTickCount() - start < 10000) {
        for (End* e : ends)
            if (int ev = e->nv.PollMessages())
                e->events.push_back(ev);
        if (done())
            return true;
        PSleep(1);
    }
    return false;
}

// The two services with two listed lobby servers, both the test lobby.
struct Services {
    void Start()
    {
        ASSERT_TRUE(web.Start());
        ASSERT_TRUE(lobby.Start());
        lobby.SetServerName("Alpha Lobby");
        lobby.AddTakenName("TAKEN");
        VOrededidaza::Internal::ServerDiscoveryImp::setServiceHost(web.Host().c_str());
        VOrededidaza::Internal::ServerDiscoveryImp::setQueryKey(kKey);
        lobbytest::ServerRecord alpha;
        alpha.ip = "127.0.0.1";
        alpha.port = uint32_t(lobby.Port());
        alpha.name = "Alpha, a lobby whose name runs past thirty-one characters";
        alpha.maxPlayers = 64;
        alpha.playersInGame = 5;
        lobbytest::ServerRecord beta = alpha;
        beta.name = "Beta";
        web.SetServers({alpha, beta});
    }
    bool LogIn(End& e, const char* name)
    {
        e.nv.SetUserInfo(name);
        e.events.clear();
        return e.nv.ConnectToLobby("127.0.0.1", lobby.Port()) && Pump({&e}, [&] { return !e.events.empty(); });
    }
    // Logs in and opens a room of that name for at most max players.
    bool Host(End& e, const char* name, int max)
    {
        if (!LogIn(e, name))
            return false;
        MPInterface::GameRoom room = {};
        std::snprintf(room.name, sizeof room.name, "%s", name);
        room.maxPlayers = max;
        e.events.clear();
        return e.nv.HostGameRoom(room) && Pump({&e}, [&] { return e.Saw(2); });
    }
    lobbytest::WebService web{kKey};
    lobbytest::LobbyServer lobby;
};

class InternetBackEnd : public ::testing::Test, public Services {
protected:
    void SetUp() override { Start(); }
};

TEST_F(InternetBackEnd, LobbyListIsRebuiltAndNotificationsWaitForARequest)
{
    End a;
    ASSERT_TRUE(a.nv.IsInitialized());
    unsigned own;
    if (!GetHostAddr(own))
        GTEST_SKIP() << "the lobby list needs an IPv4 address on this machine";
    for (int round = 0; round < 2; ++round) {
        a.events.clear();
        ASSERT_EQ(a.nv.RequestLobbys(128), 1);
        ASSERT_TRUE(Pump({&a}, [&] { return a.Saw(8); }));
    }
    EXPECT_NE(web.LastQuery().find("&return_mask=163"), std::string::npos);
    ASSERT_EQ(a.nv.GetLobbyCount(), 2);
    NVServerInterface::LobbyInfo* l = a.nv.GetLobby(0);
    EXPECT_STREQ(l->name, "Alpha, a lobby whose name runs ");
    EXPECT_STREQ(l->address, "127.0.0.1");
    EXPECT_EQ(l->port, lobby.Port());
    EXPECT_EQ(l->maxPlayers, 64);
    EXPECT_EQ(l->playersInGame, 5);
    EXPECT_EQ(a.nv.GetLobby(2), nullptr);

    // A list that arrives after the request was abandoned changes nothing.
    web.SetServers({});
    ASSERT_EQ(a.nv.RequestLobbys(128), 1);
    a.nv.StopLobbyRequest();
    a.events.clear();
    ASSERT_TRUE(Pump({&a}, [&] { return web.Requests() >= 3; }));
    for (int i = 0; i < 300; ++i, PSleep(1))
        if (int e = a.nv.PollMessages())
            a.events.push_back(e);
    EXPECT_TRUE(a.events.empty());
    ASSERT_EQ(a.nv.ConnectToLobby(1), 0);  // the list was emptied by the request
}

TEST_F(InternetBackEnd, TwoPlayersMeetInARoomAndExchangeMessages)
{
    End a, b, c;
    ASSERT_TRUE(LogIn(a, "ACE"));
    ASSERT_EQ(a.events, std::vector<int>({2}));
    ASSERT_TRUE(LogIn(c, "TAKEN"));
    EXPECT_EQ(c.events, std::vector<int>({4}));
    char server[64] = {};
    a.nv.GetJoinedServerName(server, sizeof server);
    EXPECT_STREQ(server, "ALPHA LOBBY");
    ASSERT_TRUE(LogIn(b, "BOB"));

    MPInterface::GameRoom room = {};
    std::strcpy(room.name, "SKIES");
    room.maxPlayers = 4;
    a.events.clear();
    ASSERT_EQ(a.nv.HostGameRoom(room), 1);
    ASSERT_TRUE(Pump({&a}, [&] { return a.Saw(2) && a.nv.NumPlayers() == 1; }));
    ASSERT_EQ(b.nv.RequestGameRooms(), 1);
    ASSERT_TRUE(Pump({&a, &b}, [&] { return b.nv.GetGameRoomCount() == 1; }));
    MPInterface::GameRoom* listed = b.nv.GetGameRoom(0);
    EXPECT_STREQ(listed->name, "SKIES");
    EXPECT_EQ(listed->maxPlayers, 4);
    EXPECT_EQ(listed->players, 1);
    EXPECT_EQ(b.nv.GetPlayer(0), nullptr);  // not in a room yet
    b.events.clear();
    ASSERT_EQ(b.nv.JoinGameRoom(0), 1);
    ASSERT_TRUE(Pump({&a, &b}, [&] { return b.Saw(2) && a.Saw(13) && b.nv.NumPlayers() == 2; }));
    ASSERT_EQ(a.nv.NumPlayers(), 2);
    ASSERT_NE(a.nv.GetPlayer(1), nullptr);
    EXPECT_STREQ(a.nv.GetPlayer(1)->name, "BOB");
    EXPECT_EQ(a.nv.GetPlayer(1)->ready, 1u);
    EXPECT_EQ(a.nv.GetPlayer(2), nullptr);
    EXPECT_EQ(b.nv.JoinGameRoom("127.0.0.1", 1024), 0);
    EXPECT_EQ(a.nv.HostClientID(), a.nv.MyClientID());
    EXPECT_EQ(b.nv.HostClientID(), a.nv.MyClientID());

    // Each way, a message arrives whole with its sender's id.
    unsigned char shot[] = {7, 0, 0, 0, 42, 'x'};
    unsigned char got[1024];
    for (End* from : {&a, &b}) {
        End* to = from == &a ? &b : &a;
        ASSERT_GT(from->nv.SendToAll(shot, int(sizeof shot), false), 0);
        to->events.clear();
        ASSERT_TRUE(Pump({&a, &b}, [&] { return to->Saw(6); }));
        EXPECT_EQ(to->nv.GetPayLoad(got, sizeof got), from->nv.MyClientID());
        EXPECT_EQ(std::memcmp(got, shot, sizeof shot), 0);
    }

    // A packet longer than the caller's buffer and an empty one are dropped;
    // the stream goes on with the next one.
    b.events.clear();
    ASSERT_GT(a.nv.SendToAll(shot, int(sizeof shot), false), 0);
    ASSERT_TRUE(Pump({&a, &b}, [&] { return b.Saw(6); }));
    got[0] = 9;
    EXPECT_EQ(b.nv.GetPayLoad(got, 2), -1);
    EXPECT_EQ(got[0], 0);
    unsigned bobId = unsigned(b.nv.MyClientID());
    lobby.SendRaw(bobId, lobbytest::BE32(0) + lobbytest::BE32(4) + lobbytest::BE32(unsigned(a.nv.MyClientID())));
    ASSERT_GT(a.nv.SendToAll(shot, 3, false), 0);
    b.events.clear();
    ASSERT_TRUE(Pump({&a, &b}, [&] { return b.Saw(6); }));
    EXPECT_EQ(b.nv.GetPayLoad(got, sizeof got), a.nv.MyClientID());
    EXPECT_EQ(std::memcmp(got, shot, 3), 0);
    EXPECT_EQ(b.nv.PollMessages(), 0);

    // A host invitation is accepted at once; the host leaving ends the room.
    lobby.SendRaw(bobId, lobbytest::BE32(27) + lobbytest::BE32(0));
    b.events.clear();
    ASSERT_TRUE(Pump({&a, &b}, [&] { return b.Saw(14); }));
    a.nv.LeaveGameRoom();
    ASSERT_TRUE(Pump({&a, &b}, [&] { return b.Saw(1); }));
    EXPECT_EQ(a.nv.NumPlayers(), 0);
    b.nv.LeaveGameRoom();
    b.nv.LeaveLobby();
    EXPECT_EQ(b.nv.State(), NVServerInterface::kListingOrLogin);
    server[0] = 'q';
    server[1] = 0;
    b.nv.GetJoinedServerName(server, sizeof server);
    EXPECT_STREQ(server, "q");
}

// Through the facade: leaving a room keeps the lobby link up, a lobby that
// closes ends it.
TEST_F(InternetBackEnd, TheLobbyLinkOutlivesItsRooms)
{
    End host;
    ASSERT_TRUE(Host(host, "FIRST", 4));
    Multiplayer mp;
    mp.netType = Multiplayer::kNetInternet;
    mp.backEnd.reset(new NVServerInterface());
    NVServerInterface& nv = static_cast<NVServerInterface&>(*mp.backEnd);
    nv.SetUserInfo("CAROL");
    ASSERT_EQ(nv.ConnectToLobby("127.0.0.1", lobby.Port()), 1);
    auto poll = [&](int want) {
        return Pump({&host}, [&] { return mp.PollEvent(nullptr, nullptr, 0) == want; });
    };
    ASSERT_TRUE(poll(Multiplayer::kEvConnected));
    ASSERT_EQ(mp.JoinGameRoom(0), 0);  // not listed yet: nothing to wait for
    ASSERT_EQ(mp.RequestGameRooms(), 1);
    ASSERT_TRUE(poll(Multiplayer::kEvRoomListReady));
    ASSERT_EQ(mp.JoinGameRoom(0), 1);
    ASSERT_TRUE(poll(Multiplayer::kEvConnected));
    mp.LeaveGameRoom();
    EXPECT_TRUE(mp.IsConnected());
    // Each of the lobby's refusals of a room request is reported.
    for (uint32_t refusal : {17u, 25u, 29u, 30u}) {
        lobby.SendRaw(unsigned(mp.GetMyID()), lobbytest::BE32(refusal) + lobbytest::BE32(0));
        EXPECT_TRUE(poll(Multiplayer::kEvRoomActionRejected)) << refusal;
    }
    lobby.CloseLobby();
    ASSERT_TRUE(poll(Multiplayer::kEvLinkLost));
    EXPECT_FALSE(mp.IsConnected());
    EXPECT_FALSE(nv.LobbyLinkUp());
}

// A lobby list the web service fails to give is a failure, not an empty
// list, and asking again works; a service that never ends its answer fails
// the request in time.
TEST_F(InternetBackEnd, AFailedLobbyListIsReportedAndCanBeAskedAgain)
{
    End a;
    unsigned own;
    if (!GetHostAddr(own))
        GTEST_SKIP() << "the lobby list needs an IPv4 address on this machine";
    for (auto mode : {lobbytest::WebService::GARBAGE, lobbytest::WebService::BAD_LENGTH,
                      lobbytest::WebService::TRUNCATED, lobbytest::WebService::CUT}) {
        web.SetMode(mode);
        a.events.clear();
        ASSERT_EQ(a.nv.RequestLobbys(0), 1) << mode;
        ASSERT_TRUE(Pump({&a}, [&] { return !a.events.empty(); })) << mode;
        EXPECT_EQ(a.events, std::vector<int>({EventList::kRejected})) << mode;
        EXPECT_EQ(a.nv.GetLobbyCount(), 0);
        web.SetMode(lobbytest::WebService::LIST);
        a.events.clear();
        ASSERT_EQ(a.nv.RequestLobbys(0), 1);
        ASSERT_TRUE(Pump({&a}, [&] { return a.Saw(EventList::kServerListReady); })) << mode;
        EXPECT_EQ(a.nv.GetLobbyCount(), 2);
    }

    web.SetMode(lobbytest::WebService::DRIP);
    a.events.clear();
    PSetVirtualClock(1);
    ASSERT_EQ(a.nv.RequestLobbys(0), 1);
    for (int i = 0; i < 300 && a.events.empty(); ++i) {
        if (int e = a.nv.PollMessages())
            a.events.push_back(e);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        PAdvanceVirtualClock(100);
    }
    PSetVirtualClock(0);
    EXPECT_EQ(a.events, std::vector<int>({EventList::kRejected}));
}

// The internet screens on the real back end: the lobby list's failure and
// its retry, a refused join before and after a visit to a room, and the room
// list that goes on refreshing after the visit.
class InternetMenus : public menutest::Menus, public Services {
protected:
    void SetUp() override
    {
        Menus::SetUp();
        Start();
        InstallNetworkBackEnds();
    }
    // Frames of the menus, a few milliseconds apart on the wall clock for
    // the services, until pred holds or ten seconds pass.
    template <class F> bool Wait(F pred, std::vector<End*> others = {})
    {
        uint32_t start = PTickCount();
        while (PTickCount() - start < 10000) {
            Step();
            for (End* e : others)
                e->nv.PollMessages();
            if (pred())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    // The index of the list line that starts with text, -1 when none.
    static int Line(const KrvMpList* l, const std::wstring& text)
    {
        for (int i = 0; l && i < l->GetCount(); i++)
            if (std::wstring(l->GetLine(i)->m_caption.GetText()).rfind(text, 0) == 0)
                return i;
        return -1;
    }
};

TEST_F(InternetMenus, FailuresShowAndTheRoomListLivesOn)
{
    unsigned own;
    if (!GetHostAddr(own))
        GTEST_SKIP() << "the lobby list needs an IPv4 address on this machine";
    menutest::Player& a = Add("ACE");

    // The web service answers garbage: the failure text, then a retry.
    web.SetMode(lobbytest::WebService::GARBAGE);
    Taps(a, {{1, 1}});
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_INTERNET);
    ASSERT_TRUE(Wait([&] { return !Box(a.k).empty(); }));
    EXPECT_EQ(Box(a.k), L"#302");
    EXPECT_EQ(a.k.menus[3].list->GetCount(), 0);
    Answer(a, KrvMpMsgBox::BUTTON_OK);
    web.SetMode(lobbytest::WebService::LIST);
    Taps(a, {{3, 0}});  // refresh
    ASSERT_TRUE(Wait([&] { return a.k.menus[3].list->GetCount() == 2; }));

    // Into the lobby, where a listed room has gone by the time of the join.
    TapLine(a, 3, 1);
    ASSERT_TRUE(Wait([&] { return a.k.GetState() == KrvMp::MENU_ROOMS_LIST; }));
    const KrvMpList* rooms = a.k.menus[5].list;
    const std::string ghost = lobbytest::BE32(1) + lobbytest::BE32(999) + lobbytest::BE32(1) + lobbytest::BE32(4) +
                              lobbytest::BE32(0) + lobbytest::BE32(~0u) + lobbytest::BE32(6) + std::string("GHOST", 6);
    auto refusedJoin = [&](std::vector<End*> others) {
        lobby.SendRaw(unsigned(a.k.mp->GetMyID()), lobbytest::BE32(20) + lobbytest::BE32(unsigned(ghost.size())) + ghost);
        ASSERT_TRUE(Wait([&] { return Line(rooms, L"GHOST") >= 0; }, others));
        TapLine(a, 5, Line(rooms, L"GHOST"));
        ASSERT_TRUE(Wait([&] { return !Box(a.k).empty(); }, others));
        EXPECT_EQ(Box(a.k), L"#222");  // the rooms screen's text for a failed join
        Answer(a, KrvMpMsgBox::BUTTON_OK);
        EXPECT_EQ(a.k.GetState(), KrvMp::MENU_ROOMS_LIST);
        EXPECT_TRUE(Wait([&] { return Line(rooms, L"GHOST") >= 0; }, others));  // the list is shown again
    };
    refusedJoin({});

    // A room of its own and back; a room opened 3 s later appears.
    Taps(a, {{5, 0}});
    ASSERT_TRUE(Wait([&] { return a.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    Back(a);
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_ROOMS_LIST);
    for (int ms = 0; ms < 3000; ms += 25) {
        Step();
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    End later;
    ASSERT_TRUE(Host(later, "LATER", 4));
    ASSERT_TRUE(Wait([&] { return Line(rooms, L"LATER") >= 0; }, {&later}));

    // A refused join after the visit shows the same text, and the list still
    // follows the lobby.
    refusedJoin({&later});
    later.nv.LeaveGameRoom();
    ASSERT_TRUE(Wait([&] { return rooms->GetCount() == 0; }, {&later}));
}

}  // namespace
