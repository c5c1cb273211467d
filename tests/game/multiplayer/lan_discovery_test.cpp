// Room discovery of the local-network back end: the announcement reader (a
// room is its address and game port, two at most an address), the room table's
// cap, replacement and expiry on the virtual clock, a flood counted by the
// rate of arrival holding the listed rooms, and, inside network namespaces
// made by the test, real announcements watched by tcpdump and socat, rooms
// injected by socat and a client that finds a room and joins it.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/ptime.h"
#include "lan_netns.h"
#include "lan_test_util.h"

namespace {

using Access = IPInterfaceTestAccess;
const unsigned kSender = PInetAddr("10.0.0.9");

void Feed(IPInterface& ip, const std::string& text, unsigned sender = kSender)
{
    ip.handleGameRoomInfo(text.data(), int(text.size()), sender);
}

std::string Announce(const std::string& address, int port, const std::string& name, int players = 1, int open = 1)
{
    return "NVGR:" + address + ":" + std::to_string(port) + ":" + name + ":" + std::to_string(players) + ":" +
           std::to_string(open) + ":";
}

TEST(LanAnnouncements, TheReaderTakesWellFormedOnesOnly)
{
    const std::string forty(40, 'N');
    struct Case {
        std::string text;
        const char* address;  // of the listed room; null: nothing listed
        int port;
        std::string name;
        int players = 1;
        unsigned sender = kSender;
    } cases[] = {
        {Announce("10.0.0.9", 1030, "ROOM", 3), "10.0.0.9", 1030, "ROOM", 3},
        {Announce("10.0.0.9", 1030, "CROWD", 99999), "10.0.0.9", 1030, "CROWD", 4},
        {Announce("127.0.0.1", 1024, "LOOP"), "10.0.0.9", 1024, "LOOP"},
        {Announce("0.0.0.0", 1024, "ZERO"), "10.0.0.9", 1024, "ZERO"},
        {Announce("239.1.2.3", 1024, "GROUP"), "10.0.0.9", 1024, "GROUP"},
        {Announce("not-an-ip", 1024, "TEXT"), "10.0.0.9", 1024, "TEXT"},
        {Announce("10.0.0.9", 1024, forty), "10.0.0.9", 1024, forty.substr(0, 31)},
        {Announce("10.0.0.9", 1024, ""), "10.0.0.9", 1024, ""},
        // A room named at another address is listed where it came from.
        {Announce("10.0.0.1", 1024, "ELSEWHERE"), "10.0.0.9", 1024, "ELSEWHERE"},
        {"NVGR:1.2.", nullptr, 0, ""},
        {"XVGR:10.0.0.9:1024:A:1:1:", nullptr, 0, ""},
        {Announce("10.0.0.9", 0, "PORT0"), nullptr, 0, ""},
        {Announce("10.0.0.9", 70000, "BIGPORT"), nullptr, 0, ""},
        {"NVGR:10.0.0.9:-5:A:1:1:", nullptr, 0, ""},
        {"NVGR:10.0.0.9:1024:A:1:1", nullptr, 0, ""},
        {"NVGR:10.0.0.9:1024:A:1:", nullptr, 0, ""},
        {Announce("10.0.0.9", 1024, "SHUT", 1, 0), nullptr, 0, ""},
        // Sources a room cannot be reached at.
        {Announce("10.0.0.9", 1024, "NOWHERE"), nullptr, 0, "", 1, 0},
        {Announce("10.0.0.9", 1024, "GROUP"), nullptr, 0, "", 1, PInetAddr("224.0.0.3")},
        {Announce("10.0.0.9", 1024, "ALL"), nullptr, 0, "", 1, 0xFFFFFFFFu},
        // The first octet decides, not the last.
        {Announce("10.0.0.224", 1024, "LAST"), "10.0.0.224", 1024, "LAST", 1, PInetAddr("10.0.0.224")},
        {Announce("223.0.0.1", 1024, "EDGE"), "223.0.0.1", 1024, "EDGE", 1, PInetAddr("223.0.0.1")},
    };
    for (const Case& c : cases) {
        IPInterface ip;
        Feed(ip, c.text, c.sender);
        SCOPED_TRACE(c.text);
        if (!c.address) {
            EXPECT_EQ(ip.GetGameRoomCount(), 0);
            continue;
        }
        ASSERT_EQ(ip.GetGameRoomCount(), 1);
        MPInterface::GameRoom* r = ip.GetGameRoom(0);
        EXPECT_EQ(r->hostAddress.address, PInetAddr(c.address));
        EXPECT_EQ(r->hostAddress.port, c.port);
        EXPECT_EQ(r->hostAddress.family, 2);
        EXPECT_EQ(std::string(r->name), c.name);
        EXPECT_EQ(r->players, c.players);
        EXPECT_EQ(r->maxPlayers, 4);
        EXPECT_EQ(ip.GetGameRoom(1), nullptr);
    }
}

TEST(LanAnnouncements, TheHostsTextLosesColonsOfTheName)
{
    IPInterface ip;
    EXPECT_EQ(Access::Prefix(ip, PInetAddr("192.168.1.20"), 1031, "A:B::C"), "NVGR:192.168.1.20:1031:ABC:");
    EXPECT_EQ(Access::Prefix(ip, PInetAddr("10.0.0.1"), 1024, ":::"), "NVGR:10.0.0.1:1024:DEFAULT GAMEROOM:");
    Feed(ip, Access::Prefix(ip, kSender, 1024, "X:Y") + "2:1:");
    ASSERT_EQ(ip.GetGameRoomCount(), 1);
    EXPECT_STREQ(ip.GetGameRoom(0)->name, "XY");
}

// Datagrams on a loopback search socket: one poll reads 128 of them at most.
TEST(LanAnnouncements, APollDrainsAtMostOneHundredTwentyEightDatagrams)
{
    IPInterface ip;
    int port = Access::SearchOnLoopback(ip);
    ASSERT_GT(port, 0);
    PSocket out;
    ASSERT_EQ(out.Open(PSOCK_AF_INET, PSOCK_DGRAM, 17), 0);
    PSockAddrIP to;
    PSockAddrSet(to, PInetAddr("127.0.0.1"), PSwap16(uint16_t(port)));
    for (int i = 1; i <= 136; ++i) {
        std::string text = Announce("127.0.0.1", 1024, "R" + std::to_string(i));
        ASSERT_EQ(out.SendTo(text.data(), int(text.size()), 0, to, 16), int(text.size()));
    }
    EXPECT_EQ(ip.PollMessages(), 0);
    ASSERT_EQ(ip.GetGameRoomCount(), 1);
    EXPECT_STREQ(ip.GetGameRoom(0)->name, "R128");
    ip.PollMessages();
    EXPECT_STREQ(ip.GetGameRoom(0)->name, "R136");
    EXPECT_EQ(ip.GetGameRoom(0)->hostAddress.address, PInetAddr("127.0.0.1"));
}

// A room is its address and game port; an address holds two places at
// most, its latest rooms, and only its own datagrams close them; a room from
// a new address takes the place of the room heard longest ago when the list
// is full.
TEST(LanAnnouncements, TwoRoomsAnAddressAndNewAddressesFindAPlace)
{
    PSetVirtualClock(1);
    IPInterface ip;
    auto listed = [&](const std::string& name) {
        for (int i = 0; i < ip.GetGameRoomCount(); ++i)
            if (name == ip.GetGameRoom(i)->name)
                return true;
        return false;
    };
    // Eight made-up rooms from one address, twice a second each.
    const unsigned liar = PInetAddr("10.0.0.66");
    for (int round = 0; round < 2; ++round)
        for (int port = 1; port <= 8; ++port) {
            Feed(ip, Announce("10.0.0.66", port, "FAKE" + std::to_string(port)), liar);
            PAdvanceVirtualClock(62);
        }
    // Two programs of one machine: two rooms.
    Feed(ip, Announce("10.0.0.9", 1024, "REAL"));
    Feed(ip, Announce("10.0.0.9", 1025, "SECOND"));
    ASSERT_EQ(ip.GetGameRoomCount(), 4);
    EXPECT_TRUE(listed("FAKE7") && listed("FAKE8"));
    EXPECT_TRUE(listed("REAL") && listed("SECOND"));
    // A close of a port of the address not listed, or from another address,
    // changes nothing; the address's own close of its room closes it.
    Feed(ip, Announce("10.0.0.66", 6, "FAKE6", 1, 0), liar);
    Feed(ip, Announce("10.0.0.66", 8, "FAKE8", 1, 0));
    EXPECT_EQ(ip.GetGameRoomCount(), 4);
    Feed(ip, Announce("10.0.0.66", 8, "FAKE8", 1, 0), liar);
    Feed(ip, Announce("10.0.0.9", 1025, "SECOND", 1, 0));
    EXPECT_EQ(ip.GetGameRoomCount(), 2);
    EXPECT_TRUE(listed("REAL"));

    // Six more addresses fill the list; REAL, heard again, is not the room
    // heard longest ago when a ninth address comes, FAKE7 is.
    for (int i = 1; i <= 6; ++i) {
        PAdvanceVirtualClock(10);
        Feed(ip, Announce("10.0.1.1", 1024, "R" + std::to_string(i)), PInetAddr(("10.0.1." + std::to_string(i)).c_str()));
    }
    ASSERT_EQ(ip.GetGameRoomCount(), 8);
    PAdvanceVirtualClock(10);
    Feed(ip, Announce("10.0.0.9", 1024, "REAL"));
    PAdvanceVirtualClock(10);
    Feed(ip, Announce("10.0.1.9", 1024, "R9"), PInetAddr("10.0.1.9"));
    EXPECT_EQ(ip.GetGameRoomCount(), 8);
    EXPECT_TRUE(listed("R9"));
    EXPECT_TRUE(listed("REAL"));
    EXPECT_FALSE(listed("FAKE7"));
    PAdvanceVirtualClock(10);
    Feed(ip, Announce("10.0.1.10", 1024, "R10"), PInetAddr("10.0.1.10"));
    EXPECT_TRUE(listed("R10") && listed("REAL"));
    EXPECT_FALSE(listed("R1"));
    PSetVirtualClock(0);
}

// Datagrams to a search socket on loopback from one of the machine's
// 127.0.0.x addresses.
class LoopSender {
public:
    LoopSender(const char* from, int port)
    {
        PSockAddrIP a;
        PSockAddrSet(a, PInetAddr(from), 0);
        ok = out.Open(PSOCK_AF_INET, PSOCK_DGRAM, 17) == 0 && out.Bind(a, 16, 0) == 0;
        PSockAddrSet(to, PInetAddr("127.0.0.1"), PSwap16(uint16_t(port)));
    }
    void Send(const std::string& text) { ok = ok && out.SendTo(text.data(), int(text.size()), 0, to, 16) == int(text.size()); }
    bool ok = false;

private:
    PSocket out;
    PSockAddrIP to;
};

// A flood is counted by the rate at which datagrams arrive: 63 in a
// stretch shorter than a second are none, 64 are one. While it lasts the
// listed rooms stay listed past their time and no listed room gives its
// place to a new address; once it ends they live their 8000 ms, and a room
// new to the list takes a place again. One log line tells of its start.
TEST(LanAnnouncements, AFloodKeepsTheListedRooms)
{
    PSetVirtualClock(1);
    PDebugPeerReset();
    IPInterface ip;
    const int port = Access::SearchOnLoopback(ip);
    ASSERT_GT(port, 0);
    LoopSender real("127.0.0.2", port), liar("127.0.0.3", port), late("127.0.0.4", port);
    ASSERT_TRUE(real.ok && liar.ok && late.ok);
    auto find = [&](unsigned address) -> MPInterface::GameRoom* {
        for (int i = 0; i < ip.GetGameRoomCount(); ++i)
            if (ip.GetGameRoom(i)->hostAddress.address == address)
                return ip.GetGameRoom(i);
        return nullptr;
    };
    auto listed = [&](unsigned address) { return find(address) != nullptr; };
    int flood = 0;
    auto send = [&](int count) {
        for (int i = 0; i < count; ++i, ++flood)
            liar.Send(Announce("10.9.9.9", 1 + flood % 60000, "FAKE"));
    };
    const unsigned realAt = PInetAddr("127.0.0.2"), lateAt = PInetAddr("127.0.0.4");
    testing::internal::CaptureStdout();
    ip.PollMessages();
    // Six rooms heard before REAL; with the flood's they fill the list.
    for (int i = 1; i <= 6; ++i) {
        Feed(ip, Announce("10.0.1.1", 1024, "R"), PInetAddr(("10.0.1." + std::to_string(i)).c_str()));
        PAdvanceVirtualClock(1);
    }
    real.Send(Announce("127.0.0.2", 1024, "REAL"));
    ip.PollMessages();
    ASSERT_EQ(ip.GetGameRoomCount(), 7);
    const uint32_t heard = PTickCount();

    PAdvanceVirtualClock(7000);
    ip.PollMessages();
    PAdvanceVirtualClock(25);
    send(63);
    ip.PollMessages();
    EXPECT_EQ(ip.GetGameRoomCount(), 8);
    ASSERT_TRUE(listed(realAt));
    EXPECT_EQ(find(realAt)->expiry, heard + 8000);
    PAdvanceVirtualClock(25);
    send(1);
    ip.PollMessages();
    ASSERT_TRUE(listed(realAt));
    EXPECT_EQ(find(realAt)->expiry, PTickCount() + 8000);
    // Twelve seconds of flood, 70 datagrams a quarter second, while a room
    // at a new address announces itself.
    bool lost = false;
    for (int f = 0; f < 48; ++f) {
        PAdvanceVirtualClock(250);
        send(70);
        late.Send(Announce("127.0.0.4", 1024, "LATE"));
        ip.PollMessages();
        lost |= !listed(realAt) || ip.GetGameRoomCount() != 8;
        EXPECT_FALSE(listed(lateAt)) << f;
    }
    EXPECT_FALSE(lost);
    const uint32_t floodEnd = PTickCount();
    // Quiet: the flood ends within three seconds, then the late room takes
    // the place of the room heard longest ago (not REAL's), and REAL, not
    // heard since, lives its 8000 ms.
    for (int f = 0; f < 12; ++f) {
        PAdvanceVirtualClock(250);
        ip.PollMessages();
    }
    for (int f = 0; int32_t(PTickCount() - floodEnd) < 12000; ++f) {
        if (f % 8 == 0)
            late.Send(Announce("127.0.0.4", 1024, "LATE"));
        ip.PollMessages();
        EXPECT_TRUE(listed(lateAt)) << f;
        if (f == 0) {
            EXPECT_TRUE(listed(realAt));
            EXPECT_FALSE(listed(PInetAddr("10.0.1.1")));
        }
        PAdvanceVirtualClock(250);
    }
    EXPECT_FALSE(listed(realAt));
    const std::string log = testing::internal::GetCapturedStdout();
    PSetVirtualClock(0);
    EXPECT_NE(log.find("LAN: 64 datagrams in 50 ms on the room search (the last from 127.0.0.3): a flood"),
              std::string::npos)
        << log;
    EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 10) << log;
}

// A minute and a half in the background: the first poll reads the
// announcements that queued meanwhile, at an honest room's rate. They are
// no flood: a room not heard in that time goes, the one heard stays.
TEST(LanAnnouncements, WhatQueuedWhileNoOneReadIsNoFlood)
{
    PSetVirtualClock(1);
    PDebugPeerReset();
    IPInterface ip;
    const int port = Access::SearchOnLoopback(ip);
    ASSERT_GT(port, 0);
    LoopSender gone("127.0.0.2", port), steady("127.0.0.3", port);
    ASSERT_TRUE(gone.ok && steady.ok);
    testing::internal::CaptureStdout();
    ip.PollMessages();
    gone.Send(Announce("127.0.0.2", 1024, "GONE"));
    ip.PollMessages();
    ASSERT_EQ(ip.GetGameRoomCount(), 1);
    PAdvanceVirtualClock(90000);
    for (int i = 0; i < 90; ++i)
        steady.Send(Announce("127.0.0.3", 1024, "STEADY"));
    ip.PollMessages();
    const std::string log = testing::internal::GetCapturedStdout();
    PSetVirtualClock(0);
    ASSERT_EQ(ip.GetGameRoomCount(), 1);
    EXPECT_STREQ(ip.GetGameRoom(0)->name, "STEADY");
    EXPECT_EQ(log.find("flood"), std::string::npos) << log;
}

// A room lives its 8000 ms also across the wrap of the millisecond clock.
TEST(LanAnnouncements, ExpiryAcrossTheClocksWrap)
{
    PSetVirtualClock(1);
    PAdvanceVirtualClock(0xFFFFF000u - PTickCount());
    IPInterface ip;
    Feed(ip, Announce("10.0.0.9", 1024, "WRAP"));
    for (uint32_t step : {0u, 8000u, 1u}) {
        PAdvanceVirtualClock(step);
        Access::PollRooms(ip);
        EXPECT_EQ(ip.GetGameRoomCount(), step == 1 ? 0 : 1) << step;
    }
    PSetVirtualClock(0);
}

class LanNamespaces : public ::testing::Test {
protected:
    void SetUp() override
    {
        lab = std::make_unique<NetLab>(3);
        if (!lab->Ok())
            GTEST_SKIP() << "local-network test skipped: " << lab->Why();
        char tmpl[] = "/tmp/krv-lan-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        PSetVirtualClock(1);
    }
    void TearDown() override
    {
        PSetVirtualClock(0);
        lab.reset();
        if (!dir.empty())
            NetLab::Run({"rm", "-rf", dir});
    }
    // Sends one datagram from host i with socat, from one of its addresses
    // when from is given.
    void Inject(int i, const std::string& text, const std::string& to = "10.77.0.255", const std::string& from = "")
    {
        std::string file = dir + "/datagram";
        std::ofstream(file, std::ios::binary) << text;
        std::string target = "UDP4-DATAGRAM:" + to + ":2000,broadcast" + (from.empty() ? "" : ",bind=" + from);
        ASSERT_TRUE(lab->RunIn(i, {"socat", "-u", "FILE:" + file, target}))
            << "socat is missing? scripts/deps.sh test installs it";
    }
    // Gives host i one more address on its link.
    void AddAddress(int i, const std::string& address)
    {
        ASSERT_TRUE(lab->RunIn(i, {"ip", "addr", "add", address + "/24", "dev", "eth0"})) << address;
    }
    // Makes an object in host i's namespace with its sockets there.
    template <class F>
    void In(int i, F f)
    {
        ASSERT_TRUE(lab->Enter(i));
        f();
        lab->Leave();
    }
    std::unique_ptr<NetLab> lab;
    std::string dir;
};

TEST_F(LanNamespaces, AHostAnnouncesEveryTwoSecondsToTheSubnetAndTheGroup)
{
    if (NetLab::Run({"sh", "-c", "command -v tcpdump"}) == false)
        GTEST_SKIP() << "tcpdump is not installed (scripts/deps.sh test)";
    pid_t dump = lab->Spawn(2, {"tcpdump", "-i", "eth0", "-n", "-v", "-l", "--immediate-mode", "udp", "port", "2000"}, dir + "/dump",
                            dir + "/dump.err");
    pid_t listen =
        lab->Spawn(3, {"socat", "-d", "-d", "-u", "UDP4-RECV:2000,reuseaddr,ip-add-membership=224.0.0.3:eth0", "-"},
                   dir + "/socat", dir + "/socat.err");
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir + "/dump.err").find("listening on") != std::string::npos; }));
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir + "/socat.err").find("starting data transfer") != std::string::npos; }));
    IPInterface host, seeker;
    In(1, [&] {
        host.SetUserInfo("HOSTY");
        MPInterface::GameRoom room = {};
        std::strcpy(room.name, "DOG:FIGHT");
        ASSERT_EQ(host.HostGameRoom(room), 1);
    });
    In(2, [&] { ASSERT_EQ(seeker.RequestGameRooms(), 1); });

    // Announcements at the first poll, then after more than 2000 ms each.
    const int steps[] = {0, 1000, 1000, 1, 1000, 1001};
    for (int ms : steps) {
        PAdvanceVirtualClock(uint32_t(ms));
        EXPECT_EQ(host.PollMessages(), ms == 0 ? 2 : 0);
    }
    ASSERT_TRUE(WaitFor([&] {
        seeker.PollMessages();
        return seeker.GetGameRoomCount() == 1;
    }));
    MPInterface::GameRoom* r = seeker.GetGameRoom(0);
    EXPECT_STREQ(r->name, "DOGFIGHT");
    EXPECT_EQ(r->hostAddress.address, PInetAddr("10.77.0.1"));
    EXPECT_EQ(r->hostAddress.port, 1024);
    EXPECT_EQ(r->players, 1);
    MPInterface::DeviceInfo info = {};
    In(1, [&] { ASSERT_EQ(host.GetDeviceInfo(info), 1); });
    EXPECT_EQ(info.ip, PInetAddr("10.77.0.1"));
    EXPECT_EQ(info.port, 1024u);

    host.LeaveGameRoom();  // the closing announcement
    ASSERT_TRUE(WaitFor([&] {
        seeker.PollMessages();
        return seeker.GetGameRoomCount() == 0;
    }));
    const std::string open = "NVGR:10.77.0.1:1024:DOGFIGHT:1:1:", shut = "NVGR:10.77.0.1:1024:DOGFIGHT:1:0:";
    const std::string expected = open + open + open + open + open + open + shut + shut;
    ASSERT_TRUE(WaitFor([&] { return ReadFile(dir + "/socat").size() >= expected.size(); }));
    // Eight packets of two lines each.
    WaitFor([&] {
        std::string d = ReadFile(dir + "/dump");
        return std::count(d.begin(), d.end(), '\n') >= 16;
    });
    lab->Stop(listen);
    lab->Stop(dump);
    std::string heard = ReadFile(dir + "/socat");
    EXPECT_EQ(heard, expected);

    // tcpdump -v prints each packet's IP header line, then its addresses.
    const std::string dumped = ReadFile(dir + "/dump");
    std::istringstream lines(dumped);
    std::string header, addresses;
    int toSubnet = 0, toGroup = 0;
    while (std::getline(lines, header) && std::getline(lines, addresses)) {
        if (addresses.find("> 10.77.0.255.2000") != std::string::npos)
            ++toSubnet;
        if (addresses.find("> 224.0.0.3.2000") != std::string::npos) {
            ++toGroup;
            EXPECT_NE(header.find("ttl 3,"), std::string::npos) << header;
        }
    }
    EXPECT_EQ(toSubnet, 4) << dumped;
    EXPECT_EQ(toGroup, 4) << dumped;
}

TEST_F(LanNamespaces, InjectedRoomsAreCappedExpireAndClose)
{
    IPInterface seeker;
    In(1, [&] { ASSERT_EQ(seeker.RequestGameRooms(), 1); });
    auto listed = [&](int count) {
        return WaitFor([&] {
            seeker.PollMessages();
            return seeker.GetGameRoomCount() == count;
        });
    };
    auto listedAt = [&](const char* name) {
        for (int i = 0; i < seeker.GetGameRoomCount(); ++i)
            if (std::strcmp(seeker.GetGameRoom(i)->name, name) == 0)
                return i;
        return -1;
    };
    // Each bad datagram is followed by a good one from the same host: once
    // that is listed the bad one has been read.
    Inject(2, Announce("10.77.0.2", 0, "PORT0"));
    Inject(2, Announce("10.77.0.2", 70000, "BIGPORT"));
    Inject(2, Announce("127.0.0.1", 1030, "LOOP"));
    ASSERT_TRUE(listed(1));
    EXPECT_EQ(seeker.GetGameRoom(0)->hostAddress.address, PInetAddr("10.77.0.2"));
    EXPECT_STREQ(seeker.GetGameRoom(0)->name, "LOOP");
    // Host 3's rooms on ports 1024 to 1030 are two rooms, the latest.
    for (int port = 1024; port <= 1030; ++port)
        Inject(3, Announce("10.77.0.3", port, "P" + std::to_string(port)), "224.0.0.3");
    ASSERT_TRUE(WaitFor([&] {
        seeker.PollMessages();
        return listedAt("P1030") >= 0;
    }));
    EXPECT_EQ(seeker.GetGameRoomCount(), 3);
    EXPECT_GE(listedAt("P1029"), 0);
    // Five more addresses of host 3 fill the list.
    for (int k = 11; k <= 15; ++k) {
        const std::string at = "10.77.0." + std::to_string(k);
        AddAddress(3, at);
        PAdvanceVirtualClock(1);
        Inject(3, Announce(at, 1024, "R" + std::to_string(k)), "224.0.0.3", at);
        ASSERT_TRUE(listed(k - 7));
    }
    // A ninth address takes the place of the room heard longest ago, LOOP,
    // while its announcements keep refreshing the others.
    AddAddress(3, "10.77.0.17");
    PAdvanceVirtualClock(1);
    Inject(3, Announce("10.77.0.17", 1031, "NINE"), "10.77.0.255", "10.77.0.17");
    Inject(3, Announce("10.77.0.15", 1024, "R15", 4), "10.77.0.255", "10.77.0.15");
    ASSERT_TRUE(WaitFor([&] {
        seeker.PollMessages();
        return listedAt("R15") >= 0 && seeker.GetGameRoom(listedAt("R15"))->players == 4;
    }));
    EXPECT_EQ(seeker.GetGameRoomCount(), 8);
    EXPECT_GE(listedAt("NINE"), 0);
    EXPECT_EQ(listedAt("LOOP"), -1);
    // Its own close removes a room; a close naming it from elsewhere does not.
    Inject(2, Announce("10.77.0.17", 1031, "NINE", 1, 0));
    Inject(3, Announce("10.77.0.17", 1031, "NINE", 1, 0), "10.77.0.255", "10.77.0.17");
    ASSERT_TRUE(listed(7));
    EXPECT_EQ(listedAt("NINE"), -1);
    // Only the room announced again outlives its first 8000 ms.
    PAdvanceVirtualClock(5000);
    Inject(3, Announce("10.77.0.15", 1024, "R15", 2), "10.77.0.255", "10.77.0.15");
    ASSERT_TRUE(WaitFor([&] {
        seeker.PollMessages();
        return seeker.GetGameRoom(listedAt("R15"))->players == 2;
    }));
    PAdvanceVirtualClock(3100);
    ASSERT_TRUE(listed(1));
    EXPECT_STREQ(seeker.GetGameRoom(0)->name, "R15");
    PAdvanceVirtualClock(5000);
    ASSERT_TRUE(listed(0));
}

// Made-up rooms from one address (ports 1 to 8, twice each) take two places
// in the list; with the list full of other addresses' rooms, a real room
// heard for the first time takes the place of the room heard longest ago.
TEST_F(LanNamespaces, AFloodOfRoomsDoesNotKeepAKnownRoomOut)
{
    IPInterface host, seeker;
    In(1, [&] {
        host.SetUserInfo("HOSTY");
        MPInterface::GameRoom room = {};
        std::strcpy(room.name, "REAL");
        ASSERT_EQ(host.HostGameRoom(room), 1);
    });
    In(2, [&] { ASSERT_EQ(seeker.RequestGameRooms(), 1); });
    auto heard = [&](auto done) {
        return WaitFor([&] {
            seeker.PollMessages();
            return done();
        });
    };
    auto listedAt = [&](const char* name) {
        for (int i = 0; i < seeker.GetGameRoomCount(); ++i)
            if (std::strcmp(seeker.GetGameRoom(i)->name, name) == 0)
                return i;
        return -1;
    };
    for (int round = 0; round < 2; ++round)
        for (int port = 1; port <= 8; ++port)
            Inject(3, Announce("10.77.0.3", port, "FAKE" + std::to_string(port)));
    ASSERT_TRUE(heard([&] { return listedAt("FAKE8") == 1; }));
    EXPECT_EQ(seeker.GetGameRoomCount(), 2);
    host.PollMessages();
    ASSERT_TRUE(heard([&] { return listedAt("REAL") == 2; }));
    host.LeaveGameRoom();
    ASSERT_TRUE(heard([&] { return listedAt("REAL") == -1; }));

    // Seven more addresses of host 3 fill the list, then the room is hosted
    // again and announced.
    for (int k = 11; k <= 17; ++k) {
        const std::string at = "10.77.0." + std::to_string(k);
        AddAddress(3, at);
        PAdvanceVirtualClock(1);
        Inject(3, Announce(at, 1024, "OTHER" + std::to_string(k)), "10.77.0.255", at);
        ASSERT_TRUE(heard([&] { return seeker.GetGameRoomCount() == std::min(k - 8, 8); }));
    }
    PAdvanceVirtualClock(1);
    In(1, [&] {
        MPInterface::GameRoom room = {};
        std::strcpy(room.name, "REAL");
        ASSERT_EQ(host.HostGameRoom(room), 1);
    });
    host.PollMessages();
    ASSERT_TRUE(heard([&] { return listedAt("REAL") >= 0; }));
    EXPECT_EQ(seeker.GetGameRoomCount(), 8);
    EXPECT_EQ(listedAt("FAKE8"), -1);
}

// A host with two addresses whose group announcement leaves by the other
// one than the address it names (10.77.0.1): a guest that hears only that
// copy (its link is on 10.99.0.0/24) lists the room at 10.99.0.1 and joins
// it there.
TEST_F(LanNamespaces, ARoomAnnouncedFromAnotherAddressOfItsHostIsListedThereAndJoined)
{
    AddAddress(1, "10.99.0.1");
    ASSERT_TRUE(lab->RunIn(1, {"ip", "route", "replace", "224.0.0.0/4", "dev", "eth0", "src", "10.99.0.1"}));
    ASSERT_TRUE(lab->RunIn(2, {"ip", "addr", "flush", "dev", "eth0"}));
    AddAddress(2, "10.99.0.2");
    ASSERT_TRUE(lab->RunIn(2, {"ip", "route", "replace", "224.0.0.0/4", "dev", "eth0"}));
    IPInterface host, guest;
    In(1, [&] {
        host.SetUserInfo("HOSTY");
        MPInterface::GameRoom room = {};
        std::strcpy(room.name, "TWOWAY");
        ASSERT_EQ(host.HostGameRoom(room), 1);
    });
    In(2, [&] {
        guest.SetUserInfo("GUEST");
        ASSERT_EQ(guest.RequestGameRooms(), 1);
    });
    ASSERT_TRUE(WaitFor([&] {
        PAdvanceVirtualClock(2001);
        host.PollMessages();
        guest.PollMessages();
        return guest.GetGameRoomCount() == 1;
    }));
    MPInterface::GameRoom* r = guest.GetGameRoom(0);
    EXPECT_STREQ(r->name, "TWOWAY");
    EXPECT_EQ(r->hostAddress.address, PInetAddr("10.99.0.1"));
    EXPECT_EQ(r->hostAddress.port, 1024);
    In(2, [&] { ASSERT_EQ(guest.JoinGameRoom(0), 1); });
    EXPECT_TRUE(WaitFor([&] {
        host.PollMessages();
        guest.PollMessages();
        return host.NumPlayers() == 2 && guest.NumPlayers() == 2 && guest.MyClientID() == 1;
    }));
}

}  // namespace
