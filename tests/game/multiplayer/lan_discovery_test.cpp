// Room discovery of the local-network back end: the announcement reader (a
// room only from its own address), the room table's cap and expiry on the
// virtual clock, a flood holding the listed rooms, and, inside network
// namespaces made by the test, real announcements watched by tcpdump and
// socat, rooms injected by socat and a client that finds a room and joins it.
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
    } cases[] = {
        {Announce("10.0.0.9", 1030, "ROOM", 3), "10.0.0.9", 1030, "ROOM"},
        {Announce("127.0.0.1", 1024, "LOOP"), "10.0.0.9", 1024, "LOOP"},
        {Announce("0.0.0.0", 1024, "ZERO"), "10.0.0.9", 1024, "ZERO"},
        {Announce("239.1.2.3", 1024, "GROUP"), "10.0.0.9", 1024, "GROUP"},
        {Announce("not-an-ip", 1024, "TEXT"), "10.0.0.9", 1024, "TEXT"},
        {Announce("10.0.0.9", 1024, forty), "10.0.0.9", 1024, forty.substr(0, 31)},
        {Announce("10.0.0.9", 1024, ""), "10.0.0.9", 1024, ""},
        // Another device's room: only its own address announces it.
        {Announce("10.0.0.1", 1024, "ELSEWHERE"), nullptr, 0, ""},
        {"NVGR:1.2.", nullptr, 0, ""},
        {"XVGR:10.0.0.9:1024:A:1:1:", nullptr, 0, ""},
        {Announce("10.0.0.9", 0, "PORT0"), nullptr, 0, ""},
        {Announce("10.0.0.9", 70000, "BIGPORT"), nullptr, 0, ""},
        {"NVGR:10.0.0.9:-5:A:1:1:", nullptr, 0, ""},
        {"NVGR:10.0.0.9:1024:A:1:1", nullptr, 0, ""},
        {"NVGR:10.0.0.9:1024:A:1:", nullptr, 0, ""},
        {Announce("10.0.0.9", 1024, "SHUT", 1, 0), nullptr, 0, ""},
    };
    for (const Case& c : cases) {
        IPInterface ip;
        Feed(ip, c.text);
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
        std::string text = Announce("127.0.0.1", 1024, "R", i);
        ASSERT_EQ(out.SendTo(text.data(), int(text.size()), 0, to, 16), int(text.size()));
    }
    EXPECT_EQ(ip.PollMessages(), 0);
    ASSERT_EQ(ip.GetGameRoomCount(), 1);
    EXPECT_EQ(ip.GetGameRoom(0)->players, 128);
    ip.PollMessages();
    EXPECT_EQ(ip.GetGameRoom(0)->players, 136);
    EXPECT_EQ(ip.GetGameRoom(0)->hostAddress.address, PInetAddr("127.0.0.1"));
}

// A poll that reads 64 datagrams or more (here announcements of rooms at
// other addresses, each dropped) is a flood: the listed rooms count as heard
// while it lasts. 63 are not. The dropped ones are logged within the limits.
TEST(LanAnnouncements, AFloodKeepsTheListedRooms)
{
    PSetVirtualClock(1);
    PDebugPeerReset();
    IPInterface ip;
    int port = Access::SearchOnLoopback(ip);
    ASSERT_GT(port, 0);
    PSocket out;
    ASSERT_EQ(out.Open(PSOCK_AF_INET, PSOCK_DGRAM, 17), 0);
    PSockAddrIP to;
    PSockAddrSet(to, PInetAddr("127.0.0.1"), PSwap16(uint16_t(port)));
    auto send = [&](int count, const std::string& address) {
        for (int i = 0; i < count; ++i) {
            std::string text = Announce(address, 1024 + i, "R");
            ASSERT_EQ(out.SendTo(text.data(), int(text.size()), 0, to, 16), int(text.size()));
        }
    };
    testing::internal::CaptureStdout();
    send(1, "127.0.0.1");
    ip.PollMessages();
    ASSERT_EQ(ip.GetGameRoomCount(), 1);
    const uint32_t heard = PTickCount();
    PAdvanceVirtualClock(7000);
    send(63, "10.0.0.1");
    ip.PollMessages();
    EXPECT_EQ(ip.GetGameRoom(0)->expiry, heard + 8000);
    send(64, "10.0.0.1");
    ip.PollMessages();
    EXPECT_EQ(ip.GetGameRoom(0)->expiry, PTickCount() + 8000);
    PAdvanceVirtualClock(8000);
    ip.PollMessages();
    EXPECT_EQ(ip.GetGameRoomCount(), 1);
    PAdvanceVirtualClock(1);
    ip.PollMessages();
    EXPECT_EQ(ip.GetGameRoomCount(), 0);
    const std::string log = testing::internal::GetCapturedStdout();
    PSetVirtualClock(0);
    const std::string forged = "LAN: announcement of room 10.0.0.1:1024 from 127.0.0.1 dropped: not the room's own address";
    EXPECT_NE(log.find(forged), std::string::npos) << log;
    EXPECT_NE(log.find("LAN: 64 datagrams in one poll of the room search (the last from 127.0.0.1)"), std::string::npos)
        << log;
    EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 10) << log;
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
    // Sends one datagram from host i with socat.
    void Inject(int i, const std::string& text, const std::string& to = "10.77.0.255")
    {
        std::string file = dir + "/datagram";
        std::ofstream(file, std::ios::binary) << text;
        ASSERT_TRUE(lab->RunIn(i, {"socat", "-u", "FILE:" + file, "UDP4-DATAGRAM:" + to + ":2000,broadcast"}))
            << "socat is missing? scripts/deps.sh test installs it";
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
    // Each bad datagram is followed by a good one from the same host: once
    // that is listed the bad one has been read.
    Inject(2, Announce("10.77.0.2", 0, "PORT0"));
    Inject(2, Announce("10.77.0.2", 70000, "BIGPORT"));
    Inject(2, Announce("127.0.0.1", 1030, "LOOP"));
    ASSERT_TRUE(listed(1));
    EXPECT_EQ(seeker.GetGameRoom(0)->hostAddress.address, PInetAddr("10.77.0.2"));
    EXPECT_STREQ(seeker.GetGameRoom(0)->name, "LOOP");
    for (int port = 1024; port <= 1029; ++port)
        Inject(3, Announce("10.77.0.3", port, "R"), "224.0.0.3");
    ASSERT_TRUE(listed(7));
    Inject(3, Announce("10.77.0.3", 1031, "EIGHT"));
    ASSERT_TRUE(listed(8));
    Inject(3, Announce("10.77.0.3", 1032, "NINE"));
    Inject(3, Announce("10.77.0.3", 1031, "EIGHT", 4));
    ASSERT_TRUE(WaitFor([&] {
        seeker.PollMessages();
        return seeker.GetGameRoom(7)->players == 4;
    }));
    EXPECT_EQ(seeker.GetGameRoomCount(), 8);
    Inject(2, Announce("127.0.0.1", 1030, "LOOP", 1, 0));
    ASSERT_TRUE(listed(7));
    EXPECT_STREQ(seeker.GetGameRoom(6)->name, "EIGHT");
    // Only the room announced again outlives its first 8000 ms.
    PAdvanceVirtualClock(5000);
    Inject(3, Announce("10.77.0.3", 1031, "EIGHT", 2));
    ASSERT_TRUE(WaitFor([&] {
        seeker.PollMessages();
        return seeker.GetGameRoom(6)->players == 2;
    }));
    PAdvanceVirtualClock(3001);
    ASSERT_TRUE(listed(1));
    EXPECT_STREQ(seeker.GetGameRoom(0)->name, "EIGHT");
    PAdvanceVirtualClock(5000);
    ASSERT_TRUE(listed(0));
}

// A room heard from before is listed ahead of made-up rooms heard once: a
// flood that fills the list while the real room's announcements are lost
// keeps it out only until it is heard again.
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
    host.PollMessages();
    ASSERT_TRUE(heard([&] { return listedAt("REAL") == 0; }));
    PAdvanceVirtualClock(2001);
    host.PollMessages();  // heard twice: known
    ASSERT_TRUE(heard([&] { return seeker.GetGameRoom(0)->expiry == PTickCount() + 8000; }));

    PAdvanceVirtualClock(4000);
    for (int port = 1030; port <= 1036; ++port)
        Inject(3, Announce("10.77.0.3", port, "FAKE" + std::to_string(port)));
    ASSERT_TRUE(heard([&] { return seeker.GetGameRoomCount() == 8 && listedAt("FAKE1036") == 7; }));
    PAdvanceVirtualClock(4500);  // the real room's announcements were lost
    ASSERT_TRUE(heard([&] { return seeker.GetGameRoomCount() == 7; }));
    Inject(3, Announce("10.77.0.3", 1038, "FAKE1038"));
    ASSERT_TRUE(heard([&] { return listedAt("FAKE1038") == 7; }));
    host.PollMessages();
    ASSERT_TRUE(heard([&] { return listedAt("REAL") == 7; }));
    EXPECT_EQ(listedAt("FAKE1038"), -1);
    EXPECT_EQ(seeker.GetGameRoomCount(), 8);
    // A room new to the list does not push out another.
    Inject(3, Announce("10.77.0.3", 1039, "FAKE1039"));
    Inject(3, Announce("10.77.0.3", 1030, "FAKE1030", 2));
    ASSERT_TRUE(heard([&] { return seeker.GetGameRoom(0)->players == 2; }));
    EXPECT_EQ(listedAt("FAKE1039"), -1);
}

}  // namespace
