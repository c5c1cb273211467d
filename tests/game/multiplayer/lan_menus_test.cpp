// The multiplayer menus on the local-network back end, the player's device in
// a network namespace of the test's (lan_netns.h), on the virtual clock: every
// way a join by typed address can fail before a host gives the id ends as a
// refused join on the rooms screen, with one log line that says why; a room
// stays listed there while another device closes it falsely or floods the
// search with made-up rooms. The
// screens are drawn with the demo archive's art and texts; the frames are kept
// in mp_shots/ of the tests' build folder. A match through the menus keeps its
// standings and its log through a guest's flood of repeated leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/textinput.h"
#include "game/multiplayer/ipinput.h"
#include "game/multiplayer/mpbackends.h"
#include "lan_netns.h"
#include "lan_test_util.h"
#include "menus_fixture.h"

namespace {

using namespace menutest;

class LanMenus : public Menus {
protected:
    void SetUp() override
    {
#ifdef KRV_DEMO_ARCHIVE
        if (!std::filesystem::exists(KRV_DEMO_ARCHIVE))
            GTEST_SKIP() << "the demo archive is not built";
        Prepare(KRV_DEMO_ARCHIVE);
#else
        GTEST_SKIP() << "the demo archive is not built";
#endif
        std::filesystem::create_directories("mp_shots");
        MakeLab(labHosts);
    }
    void MakeLab(int hosts)
    {
        lab = std::make_unique<NetLab>(hosts);
        if (!lab->Ok())
            GTEST_SKIP() << "local-network test skipped: " << lab->Why();
        InstallNetworkBackEnds();
        PSetVirtualClock(1);
        PDebugPeerReset();
    }
    void TearDown() override
    {
        players.clear();
        PSetVirtualClock(0);
        lab.reset();
        Menus::TearDown();
    }
    // Frames on both clocks until pred holds or limit ms pass. While a
    // connect is under way a frame waits up to 100 ms for it: long frames.
    template <class F> bool Frames(F pred, int limit, int frame = 250)
    {
        for (int t = 0; t < limit; t += frame) {
            if (pred())
                return true;
            PAdvanceVirtualClock(uint32_t(frame));
            hub.now += uint32_t(frame) - 25;
            Step();
        }
        return pred();
    }

    std::unique_ptr<NetLab> lab;
    int labHosts = 2;
};

TEST_F(LanMenus, EveryJoinThatCannotReachItsRoomIsRefusedOnTheRoomsScreen)
{
    const std::string sealed = lab->Sealed("10.78.0.4");
    ASSERT_FALSE(sealed.empty());
    // Host 1 sends to 10.77.0.9 as to a known neighbour nobody is: silence.
    ASSERT_TRUE(NetLab::Run({"ip", "-n", lab->Host(1), "neigh", "add", "10.77.0.9", "lladdr", "02:00:00:00:00:09",
                             "dev", "eth0", "nud", "permanent"}));
    struct Case {
        const char* what;
        const char* shot;
        std::string where;
        const char* address;
        const char* because;  // in the log line
        int frame = 250;
    } const cases[] = {
        {"nothing listens", "join_refused", lab->Host(1), "10.77.0.2", "(connection refused); the join is refused"},
        {"nobody answers", "join_silent", lab->Host(1), "10.77.0.9", "no answer from the room within 5000 ms"},
        // The neighbour look-up gives up after about 3 s of real time,
        // before the join's limit on short frames.
        {"nobody has the address", "join_host_unreachable", lab->Host(1), "10.77.0.8", "(host unreachable); the join is refused", 25},
        {"no route", "join_no_route", sealed, "10.99.0.1", "(network unreachable); the join is refused"},
        {"not an address", "join_not_an_address", lab->Host(1), "HANGAR", "is not an address to join; the join is refused"},
        {"own address", "join_own_address", lab->Host(1), "10.77.0.1",
         "10.77.0.1 is this device's own address; the join is refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(lab->Enter(c.where));
        testing::internal::CaptureStdout();
        Player& p = Add("ACE");
        Taps(p, {{1, 0}, {2, 1}, {5, 0}});
        ASSERT_EQ(p.k.GetState(), KrvMp::MENU_TEXT_EDIT);
        p.k.menus[KrvMp::MENU_TEXT_EDIT].keyboard->GetActiveInput()->SetText(c.address);
        Taps(p, {{KrvMp::MENU_TEXT_EDIT, 0}});
        const bool shown = Frames([&] { return !Box(p.k).empty(); }, 8000, c.frame);
        Frames([] { return false; }, 1000);  // and nothing comes after it
        const std::string log = testing::internal::GetCapturedStdout();
        KeepFrame(p, std::string("mp_shots/") + c.shot + ".png");
        EXPECT_TRUE(shown);
        EXPECT_EQ(Box(p.k), fonts.GetStr(222));
        EXPECT_EQ(p.k.GetState(), KrvMp::MENU_ROOMS_LIST);
        EXPECT_EQ(p.k.state, KrvMpConn::kListingRooms) << "the search for rooms goes on";
        EXPECT_NE(log.find(c.because), std::string::npos) << log;
        EXPECT_EQ(log.find("error 0"), std::string::npos) << log;
        players.clear();
        lab->Leave();
    }
}

// The real room of host 1 on the rooms screen of a guest in host 2, while
// host 3 sends the room's closing announcement from its own address five
// times a second, then floods the guest with made-up rooms as fast as it can
// send: the room is listed in every frame once it was first seen, and its
// own host's closing announcement still removes it.
class LanRoomsScreen : public LanMenus {
protected:
    LanRoomsScreen() { labHosts = 3; }
    // The lines of the rooms screen's list.
    static std::vector<std::wstring> Rooms(Player& p)
    {
        std::vector<std::wstring> lines;
        const KrvMpList* l = p.k.menus[KrvMp::MENU_ROOMS_LIST].list;
        for (int i = 0; l && i < l->GetCount(); i++)
            lines.push_back(l->GetLine(i)->m_caption.GetText());
        return lines;
    }
    // The real room, on the screen (its list is refreshed every 1.5 s) and
    // in the back end's room table under its own address.
    static bool RealListed(Player& p, bool screen = true, bool table = true)
    {
        auto lines = Rooms(p);
        bool inTable = false;
        for (int i = 0; p.k.mp && i < p.k.mp->GetGameRoomCount(); i++) {
            const MPInterface::GameRoom* r = p.k.mp->GetGameRoom(i);
            inTable |= r && std::strcmp(r->name, "REAL") == 0 && r->hostAddress.address == PInetAddr("10.77.0.1");
        }
        const bool onScreen = std::find(lines.begin(), lines.end(), L"REAL (1/4)") != lines.end();
        return (onScreen || !screen) && (inTable || !table);
    }
};

// Sends made-up rooms from a socket of host 3 in a tight loop until told to
// stop (or 10 s at most): in turn a room at the sender's own address, each
// on a new port, and one at another address.
struct Flood {
    explicit Flood(int fd) : fd(fd)
    {
        thread = std::thread([this] {
            sockaddr_in to {};
            to.sin_family = AF_INET;
            to.sin_port = htons(2000);
            to.sin_addr.s_addr = inet_addr("10.77.0.2");
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (unsigned n = 0; !stop && (n % 1024 || std::chrono::steady_clock::now() < end); n++) {
                char text[64];
                const int port = 1 + int(n % 65535);
                const int length = n % 2 ? snprintf(text, sizeof text, "NVGR:10.77.0.3:%d:FAKE%d:1:1:", port, port)
                                         : snprintf(text, sizeof text, "NVGR:10.%u.%u.1:1024:FAKE:1:1:", (n >> 8) & 255, n & 255);
                sent += sendto(this->fd, text, size_t(length), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) == length;
            }
        });
    }
    ~Flood()
    {
        stop = true;
        thread.join();
    }
    int fd;
    std::atomic<bool> stop {false};
    std::atomic<long> sent {0};
    std::thread thread;
};

TEST_F(LanRoomsScreen, ForgedClosesAndAFloodLeaveTheRealRoomListed)
{
    IPInterface host;
    ASSERT_TRUE(lab->Enter(1));
    host.SetUserInfo("HOSTY");
    MPInterface::GameRoom room = {};
    std::strcpy(room.name, "REAL");
    ASSERT_EQ(host.HostGameRoom(room), 1);
    ASSERT_TRUE(lab->Enter(3));
    const int liar = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(liar, 0);
    const int on = 1;
    setsockopt(liar, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ASSERT_TRUE(lab->Enter(2));  // the guest's search socket is made here

    Player& p = Add("ACE");
    auto frame = [&](int ms) {
        PAdvanceVirtualClock(uint32_t(ms));
        hub.now += uint32_t(ms) - 25;
        host.PollMessages();
        Step();
    };
    Taps(p, {{1, 0}, {2, 1}});
    ASSERT_EQ(p.k.GetState(), KrvMp::MENU_ROOMS_LIST);
    for (int t = 0; t < 5000 && !RealListed(p); t += 100)
        frame(100);
    ASSERT_TRUE(RealListed(p));
    testing::internal::CaptureStdout();

    // Six seconds of closes from 10.77.0.3, one every 200 ms.
    sockaddr_in subnet {};
    subnet.sin_family = AF_INET;
    subnet.sin_port = htons(2000);
    subnet.sin_addr.s_addr = inet_addr("10.77.0.255");
    const std::string forged = "NVGR:10.77.0.1:1024:REAL:1:0:";
    int missingForged = 0;
    for (int f = 0; f < 60; f++) {
        if (f % 2 == 0)
            sendto(liar, forged.data(), forged.size(), 0, reinterpret_cast<sockaddr*>(&subnet), sizeof subnet);
        frame(100);
        missingForged += !RealListed(p);
    }
    KeepFrame(p, "mp_shots/rooms_forged_close.png");

    // Twelve seconds of the guest's clock (longer than a room lives unheard)
    // under the flood, a quarter of a second a frame.
    long sent = 0;
    int missingFlooded = 0;
    {
        Flood flood(liar);
        for (int f = 0; f < 48; f++) {
            usleep(4000);  // the flood fills the guest's socket between frames
            frame(250);
            missingFlooded += !RealListed(p);
            if (f == 40)
                KeepFrame(p, "mp_shots/rooms_flooded.png");
        }
        sent = flood.sent;
    }
    close(liar);
    const size_t listedAfterFlood = Rooms(p).size();

    frame(100);  // what the flood left queued is read; a close then has room
    frame(100);
    host.LeaveGameRoom();
    for (int t = 0; t < 3000 && RealListed(p, true, false); t += 100)
        frame(100);
    KeepFrame(p, "mp_shots/rooms_real_closed.png");
    const bool closed = !RealListed(p, true, false) && !RealListed(p, false, true);
    const std::string log = testing::internal::GetCapturedStdout();
    lab->Leave();
    EXPECT_EQ(missingForged, 0) << "frames of 60 without the room";
    EXPECT_EQ(missingFlooded, 0) << "frames of 48 without the room";
    EXPECT_EQ(listedAfterFlood, 3u) << "the flood's rooms, all from one address, take two places";
    EXPECT_TRUE(closed) << "its own host's close removes it";
    EXPECT_NE(log.find("on the room search (the last from 10.77.0.3): a flood"), std::string::npos) << sent << " sent\n"
                                                                                                  << log;
    EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 100) << log.substr(0, 4000);
}

// Two programs hosting on one machine (host 1: game ports 1024 and 1025)
// are two rooms on a guest's rooms screen, beside a room whose name comes
// with a byte that is not UTF-8 (one character of it is lost, no more); the
// guest joins the second room while host 3 keeps three connections to it
// open that never give a name, reopening each as the host closes it.
TEST_F(LanRoomsScreen, TwoRoomsOfOneMachineAreListedAndJoinedPastNamelessConnections)
{
    IPInterface first, second;
    ASSERT_TRUE(lab->Enter(1));
    for (IPInterface* ip : {&first, &second}) {
        const char* name = ip == &first ? "FIRST" : "SECOND";
        ip->SetUserInfo(name);
        MPInterface::GameRoom room = {};
        std::strcpy(room.name, name);
        ASSERT_EQ(ip->HostGameRoom(room), 1);
    }
    MPInterface::DeviceInfo info {};
    ASSERT_EQ(second.GetDeviceInfo(info), 1);
    EXPECT_EQ(info.port, 1025u);
    ASSERT_TRUE(lab->Enter(3));
    const int announcer = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(announcer, 0);
    const int on = 1;
    setsockopt(announcer, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ASSERT_TRUE(lab->Enter(2));

    Player& p = Add("ACE");
    auto frame = [&](int ms) {
        PAdvanceVirtualClock(uint32_t(ms));
        hub.now += uint32_t(ms) - 25;
        first.PollMessages();
        second.PollMessages();
        Step();
    };
    auto listed = [&](const wchar_t* line) {
        auto lines = Rooms(p);
        return int(std::find(lines.begin(), lines.end(), line) - lines.begin()) < int(lines.size());
    };
    const wchar_t* rooms[] = {L"FIRST (1/4)", L"SECOND (1/4)", L"\uFFFDAB-HOST (1/4)"};
    auto all = [&] { return listed(rooms[0]) && listed(rooms[1]) && listed(rooms[2]); };
    sockaddr_in subnet {};
    subnet.sin_family = AF_INET;
    subnet.sin_port = htons(2000);
    subnet.sin_addr.s_addr = inet_addr("10.77.0.255");
    const std::string odd = "NVGR:10.77.0.3:1024:\xE0" "AB-HOST:1:1:";
    Taps(p, {{1, 0}, {2, 1}});
    ASSERT_EQ(p.k.GetState(), KrvMp::MENU_ROOMS_LIST);
    for (int t = 0; t < 6000 && !all(); t += 100) {
        if (t % 1000 == 0)
            sendto(announcer, odd.data(), odd.size(), 0, reinterpret_cast<sockaddr*>(&subnet), sizeof subnet);
        frame(100);
    }
    close(announcer);
    KeepFrame(p, "mp_shots/rooms_two_on_one_machine.png");
    ASSERT_TRUE(all());

    // Each connection of host 3 is accepted (and told an id) before the
    // next is made: the host's listen queue holds one.
    std::vector<int> nameless;
    int reopened = 0;
    auto connect = [&] {
        lab->Enter(3);
        const int fd = NamelessConnect(nullptr, "10.77.0.1", 1025);
        lab->Enter(2);
        uint8_t told[2];
        for (int i = 0; i < 2000 && recv(fd, told, 2, MSG_PEEK) != 2; i++) {
            second.PollMessages();
            usleep(200);
        }
        return fd;
    };
    auto churn = [&] {
        for (int& fd : nameless)
            if (ClosedByHost(fd)) {
                close(fd);
                fd = connect();
                ++reopened;
            }
        while (nameless.size() < 3)
            nameless.push_back(connect());
    };
    // Six seconds: the host closes what never gave a name, the third from
    // one address at once and the others after 5 s.
    for (int f = 0; f < 60; f++) {
        churn();
        frame(100);
    }
    const auto lines = Rooms(p);
    TapLine(p, KrvMp::MENU_ROOMS_LIST, int(std::find(lines.begin(), lines.end(), rooms[1]) - lines.begin()));
    bool joined = false;
    for (int t = 0; t < 8000 && !joined; t += 100) {
        churn();
        frame(100);
        joined = p.k.GetState() == KrvMp::MENU_GAME_ROOM && second.NumPlayers() == 2;
    }
    KeepFrame(p, "mp_shots/room_joined_past_nameless.png");
    for (int fd : nameless)
        close(fd);
    lab->Leave();
    EXPECT_TRUE(joined) << Box(p.k).size();
    EXPECT_EQ(first.NumPlayers(), 1);
    EXPECT_GT(reopened, 3);
    ASSERT_EQ(second.NumPlayers(), 2);
    EXPECT_STREQ(second.GetPlayer(1)->name, "ACE");
}

}  // namespace

namespace {

// A room on the local network played through the menus, drawn with the test
// face ("#<id>" texts), its match run as the application runs it: the
// session updated every frame, a stand-in game flying the aircraft.
class LanMenuMatch : public LanMenus {
protected:
    void SetUp() override
    {
        Prepare(nullptr);
        MakeLab(3);
    }
    // One 25 ms frame on both clocks: the menus, or the match of those
    // playing; a match that has a winner ends on the final standings.
    void Frame()
    {
        PAdvanceVirtualClock(25);
        Step();
        for (size_t i = 0; i < players.size(); i++) {
            Player& p = *players[i];
            if (!p.playing)
                continue;
            if (!p.k.game)
                games[i].Attach(p.k, hub.now);
            p.k.MP_Update(hub.now);
            games[i].Fly(p.k);
            if (p.k.MP_GetWinner() != -1) {
                p.k.MP_EndGame();
                p.k.Touchscreen_Reset();
                p.k.GoToState(KrvMp::MENU_FINAL_STANDINGS);
                p.playing = false;
            }
        }
        usleep(200);
    }
    template <class F> bool FramesUntil(F pred, int limit = 10000)
    {
        for (int t = 0; t < limit; t += 25) {
            if (pred())
                return true;
            Frame();
        }
        return pred();
    }
    // The name and kills (or the left-the-match text) of each shown row.
    std::wstring Standings(Player& p)
    {
        std::wstring s;
        for (int r = 1; r < KrvMp::kStandingsRows; r++)
            s += Text(p.k.menus[9].standings[r * 3 + 1]) + L" " + Text(p.k.menus[9].standings[r * 3 + 2]) + L"|";
        return s;
    }

    rig::FakeMatch games[2];
};

int LogLines(const std::string& log, const std::string& what)
{
    int n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
        n += at == 0 || log[at - 1] == '\n';
    return n;
}

// A guest that says "I left" 100 times a second for 30 s, from the match
// into the final standings, which host and guest show meanwhile: a message
// that changes nothing changes nothing, so the standings are written (and
// logged) once, stay right, and neither log grows with the flood.
TEST_F(LanMenuMatch, ARepeatedLeaveLeavesTheStandingsAndTheLogsAlone)
{
    Player& host = Add("HOST");
    Player& guest = Add("GUEST");
    ASSERT_TRUE(lab->Enter(1));
    HostLocal(host);
    lab->Leave();
    ASSERT_TRUE(lab->Enter(2));
    Taps(guest, {{1, 0}, {2, 1}, {5, 0}});
    guest.k.menus[KrvMp::MENU_TEXT_EDIT].keyboard->GetActiveInput()->SetText("10.77.0.1");
    Taps(guest, {{KrvMp::MENU_TEXT_EDIT, 0}});
    const bool joined = FramesUntil([&] { return guest.k.GetState() == KrvMp::MENU_GAME_ROOM; });
    lab->Leave();
    ASSERT_TRUE(joined);
    RawGuest raw;
    ASSERT_TRUE(lab->Enter(3));
    ASSERT_TRUE(raw.Connect("10.77.0.1", 1024));
    lab->Leave();
    raw.Put(Concat({{255, 2}, NameBytes("RAW")}));
    ASSERT_TRUE(FramesUntil([&] {
        raw.Read();
        return host.k.playerCount == 3 && guest.k.playerCount == 3 && host.k.MP_IsAllReady();
    }));
    const KrvMpConn::KrvPlayer* r = host.k.MP_GetPlayer(2);
    ASSERT_TRUE(r && std::string(r->name) == "RAW");

    Taps(host, {{KrvMp::MENU_GAME_ROOM, 0}});
    raw.PutData(2, {5, 0});  // the raw guest's start reply
    ASSERT_TRUE(FramesUntil([&] { return host.playing && guest.playing; }));

    PDebugPeerReset();
    testing::internal::CaptureStdout();
    int kills = 0;
    for (int frame = 0; frame < 30 * 40; frame++) {
        raw.PutData(2, {15, 0, 0, 0, 2});
        raw.PutData(2, {15, 0, 0, 0, 2});
        if (frame % 2)
            raw.PutData(2, {15, 0, 0, 0, 2});
        raw.Read();
        // The host shoots the guest down whenever it flies, up to the frag
        // limit (5).
        const KrvMpConn::KrvPlayer* g = host.k.MP_GetPlayer(1);
        if (host.playing && g && g->gameObject && g->gameObject->aircraft->health > 0 && kills < 5) {
            rig::ShootDown(host.k, 1);
            kills++;
        }
        Frame();
    }
    for (int t = 0; t < 2000; t += 25)
        Frame();
    const std::string log = testing::internal::GetCapturedStdout();

    for (Player* p : {&host, &guest}) {
        EXPECT_EQ(p->k.GetState(), KrvMp::MENU_FINAL_STANDINGS);
        EXPECT_EQ(Standings(*p), L"HOST 5|GUEST 0|RAW #377| |");
    }
    EXPECT_EQ(LogLines(log, "mp: standings "), 2 * 3) << "each table is written once";
    EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 300) << log.substr(0, 4000);
}

}  // namespace
