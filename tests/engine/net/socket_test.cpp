// Sockets and IPv4 text on loopback peers.
#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

#include "engine/net/bsdsocket.h"
#include "engine/net/inetaddr.h"
#include "engine/net/socket.h"
#include "net_test_util.h"

namespace {

PSockAddr Loopback(int port)
{
    PSockAddr a;
    PSockAddrSet(a, htonl(INADDR_LOOPBACK), htons(uint16_t(port)));
    return a;
}

// A listening TCP socket on an ephemeral loopback port.
int Listen(PSocket& s, int reuse = 0)
{
    if (s.Open(2, PSOCK_STREAM, 0) != 0)
        return 0;
    PSockAddr a = Loopback(0);
    if (s.Bind(a, 16, reuse) != 0 || s.Listen(4) != 0)
        return 0;
    PSockAddr got;
    s.LocalName(got);
    return ntohs(got.port);
}

TEST(InetText, AgreesWithInetPton)
{
    const char* cases[] = {"10.0.0.1", "0.0.0.0", "1.2.3.4", "255.255.255.254", "192.168.1.256", "256.1.1.1",
                           "1.2.3", "1.2.3.4.5", "1..2.3", ".1.2.3", "1.2.3.", "01.2.3.4", "1.2.3.04",
                           "1.2.3.4 ", " 1.2.3.4", "+1.2.3.4", "-1.2.3.4", "1.2.3.4x", "0x1.2.3.4", "",
                           "1000.1.1.1", "99999999999.1.1.1", "a.b.c.d", "127.0.0.1", "1.2.3.-4"};
    for (const char* c : cases) {
        in_addr ref;
        bool want = inet_pton(AF_INET, c, &ref) == 1;
        unsigned got = 0;
        bool ok = PInetAton(got, c);
        EXPECT_EQ(ok, want) << c;
        if (ok && want) {
            EXPECT_EQ(got, ref.s_addr) << c;
        }
    }
    // Random texts made of digits and dots.
    std::mt19937 rng(7);
    const char alphabet[] = "0123456789....";
    for (int i = 0; i < 20000; i++) {
        std::string s;
        int len = 1 + int(rng() % 16);
        for (int k = 0; k < len; k++)
            s += alphabet[rng() % (sizeof alphabet - 1)];
        in_addr ref;
        bool want = inet_pton(AF_INET, s.c_str(), &ref) == 1 && ref.s_addr != 0xFFFFFFFFu;
        unsigned got = 0;
        bool ok = PInetAton(got, s.c_str());
        ASSERT_EQ(ok, want) << s;
        if (ok) {
            ASSERT_EQ(got, ref.s_addr) << s;
        }
    }
    // Every valid address prints and parses back.
    for (int i = 0; i < 2000; i++) {
        unsigned a = rng();
        char text[16];
        PInetNtoa(a, text);
        char ref[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a, ref, sizeof ref);
        ASSERT_STREQ(text, ref);
        if (a != 0xFFFFFFFFu) {
            ASSERT_EQ(PInetAddr(text), a);
        }
    }
}

TEST(InetText, PartsAndSentinels)
{
    unsigned v = 0;
    EXPECT_FALSE(PInetAton(v, "10.0.0"));
    EXPECT_TRUE(PInetAton(v, "10.0.0.1"));
    EXPECT_EQ(v, 16777226u);
    // Octets above 255 are refused, not wrapped.
    EXPECT_EQ(PInetAddr("10.0.0.300"), 0xFFFFFFFFu);
    EXPECT_EQ(PInetAddr("266.0.0.1"), 0xFFFFFFFFu);
    // The all-ones address doubles as the failure value.
    EXPECT_FALSE(PInetAton(v, "255.255.255.255"));
    EXPECT_EQ(PInetAddr(nullptr), 0xFFFFFFFFu);
    char text[16];
    EXPECT_EQ(PInetHtoa(0x0A000001u, text) - text, 8);
    EXPECT_STREQ(text, "10.0.0.1");
}

// A peer this device can reach, loopback included (a room on this very
// device), and an address other devices reach this one at.
TEST(InetRules, PeersAndOwnAddresses)
{
    struct Case {
        const char* address;
        bool peer, own;
    };
    const Case cases[] = {{"0.0.0.0", false, false},        {"127.0.0.1", true, false},
                          {"127.1.2.3", true, false},       {"1.0.0.127", true, true},
                          {"10.77.0.1", true, true},        {"223.255.255.254", true, true},
                          {"224.0.0.3", false, false},      {"255.255.255.255", false, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(PInetPeerReachable(PInetAddr(c.address)), c.peer) << c.address;
        EXPECT_EQ(PInetReachableByOthers(PInetAddr(c.address)), c.own) << c.address;
    }
}

TEST(HostLookup, LoopbackNamesAndOwnAddress)
{
    unsigned ip = 0;
    // A name that resolves to loopback is reported as unusable, with ip set.
    EXPECT_EQ(PGetHostByName(ip, "localhost"), -1);
    EXPECT_EQ(ip, htonl(INADDR_LOOPBACK));
    EXPECT_LT(PGetHostByName(ip, "no-such-host.invalid"), 0);
    ip = 0;
    EXPECT_EQ(PHostLookup(ip, "localhost"), 0);
    EXPECT_EQ(ip, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(PHostLookup(ip, ""), PSOCK_EINVAL);
    // The device's own address: whatever this machine has, never loopback.
    ip = 0;
    int r = PGetHostByName(ip, nullptr);
    EXPECT_TRUE(r == -1 || r == 0 || r == 1);
    if (r >= 0) {
        EXPECT_NE(ip & 0xFFu, 127u);
        EXPECT_NE(ip, 0u);
    }
}

TEST(Socket, ClosedSocketsAndUnmappedOptions)
{
    PSocket s;
    char b[4];
    PSockAddr a = Loopback(1);
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.Read(b, 4), PSOCK_EINVAL);
    EXPECT_EQ(s.Connect(a, 16), PSOCK_EINVAL);
    EXPECT_EQ(s.Close(), 0);
    ASSERT_EQ(s.Open(2, PSOCK_STREAM, 0), 0);
    EXPECT_EQ(s.Open(2, PSOCK_STREAM, 0), PSOCK_EINVAL); // already open
    int v = 0;
    EXPECT_EQ(s.GetOpt(0, 5, &v), PSOCK_ENOOPT);
    EXPECT_EQ(s.GetOpt(1, 13, &v), PSOCK_ENOOPT);
    EXPECT_EQ(s.GetOpt(2, 0, &v), PSOCK_ENOOPT);
    v = 65536;
    EXPECT_EQ(s.SetOpt(0, PSOCK_OPT_RCVBUF, &v), 0);
    v = 0;
    EXPECT_EQ(s.GetOpt(0, PSOCK_OPT_RCVBUF, &v), 0);
    EXPECT_GE(v, 65536);
    v = 1;
    EXPECT_EQ(s.SetOpt(0, PSOCK_OPT_NOSIGPIPE, &v), 0);
    PSockAddr bad = a;
    bad.family = 10;
    EXPECT_EQ(s.Connect(bad, 16), PSOCK_EINVAL);
    EXPECT_EQ(s.Close(), 0);
    EXPECT_EQ(s.Close(), PSOCK_EINVAL);
    PSocket u;
    EXPECT_EQ(u.Open(0, PSOCK_STREAM, 0), PSOCK_EINVAL); // family 0
}

TEST(Socket, RefusedConnectionAndNonBlockingConnect)
{
    int closedPort = nettest::FreeLoopbackPort();
    ASSERT_GT(closedPort, 0);
    PSocket c;
    ASSERT_EQ(c.Open(2, PSOCK_STREAM, 0), 0);
    EXPECT_EQ(c.Connect(Loopback(closedPort), 16), PSOCK_ECONNREFUSED);

    // A refused non-blocking connect is reported by IsConnected.
    PSocket c2;
    ASSERT_EQ(c2.Open(2, PSOCK_STREAM, 0), 0);
    c2.SetBlocking(0);
    int r = c2.Connect(Loopback(closedPort), 16);
    if (r == PSOCK_EINPROGRESS) {
        int k = 0;
        for (int i = 0; i < 100 && k == 0; i++)
            k = c2.IsConnected(20);
        EXPECT_LT(k, 0);
        int err = 0;
        EXPECT_EQ(c2.LastError(err), 0);
    } else {
        EXPECT_EQ(r, PSOCK_ECONNREFUSED);
    }

    PSocket l;
    int port = Listen(l);
    ASSERT_GT(port, 0);
    l.SetBlocking(0);
    PSocket none;
    EXPECT_EQ(l.Accept(none), PSOCK_EWOULDBLOCK);

    PSocket c3;
    ASSERT_EQ(c3.Open(2, PSOCK_STREAM, 0), 0);
    c3.SetBlocking(0);
    EXPECT_EQ(c3.Connect(Loopback(port), 16), PSOCK_EINPROGRESS);
    int k = 0;
    for (int i = 0; i < 100 && k == 0; i++)
        k = c3.IsConnected(20);
    EXPECT_EQ(k, 1);
    PSocket server;
    int a = PSOCK_EWOULDBLOCK;
    for (int i = 0; i < 100 && a == PSOCK_EWOULDBLOCK; i++) {
        a = l.Accept(server);
        if (a == PSOCK_EWOULDBLOCK)
            l.Select(1, 20);
    }
    ASSERT_EQ(a, 0);
    PSockAddr peer;
    EXPECT_EQ(server.RemoteName(peer), 0);
    EXPECT_EQ(peer.address, htonl(INADDR_LOOPBACK));
}

TEST(Socket, SelectTimeoutsAndStreamTraffic)
{
    PSocket l;
    int port = Listen(l);
    ASSERT_GT(port, 0);
    PSocket c;
    ASSERT_EQ(c.Open(2, PSOCK_STREAM, 0), 0);
    ASSERT_EQ(c.Connect(Loopback(port), 16), 0);
    PSocket s;
    ASSERT_EQ(l.Accept(s), 0);

    // Nothing to read: immediate and bounded waits both time out.
    EXPECT_EQ(s.Select(1, 0), 0);
    EXPECT_EQ(s.Select(1, 30), 0);
    EXPECT_EQ(s.Select(2, 0), 2);
    char msg[5000];
    for (int i = 0; i < 5000; i++)
        msg[i] = char(i * 13);
    EXPECT_EQ(c.WriteN(msg, 5000), 5000);
    EXPECT_EQ(s.Select(1 | 2, 1000) & 1, 1);
    char got[5000];
    EXPECT_EQ(s.ReadN(got, 5000), 5000);
    EXPECT_EQ(std::memcmp(got, msg, 5000), 0);
    EXPECT_EQ(s.ReadN(got, 0), 0);

    // The peer goes away: reads see the end, writes fail without a signal.
    c.Close();
    EXPECT_EQ(s.Select(1, 1000), 1);
    EXPECT_EQ(s.Read(got, 10), 0);
    int w = 0;
    for (int i = 0; i < 50 && w >= 0; i++)
        w = s.Write(msg, 1000);
    EXPECT_EQ(w, PSOCK_ECONNRESET);
}

TEST(Socket, DatagramsAndAddressReuse)
{
    PSocket a, b;
    ASSERT_EQ(a.Open(2, PSOCK_DGRAM, 17), 0);
    ASSERT_EQ(b.Open(2, PSOCK_DGRAM, 0), 0);
    PSockAddr where = Loopback(0);
    ASSERT_EQ(b.Bind(where, 16, 0), 0);
    PSockAddr bound;
    ASSERT_EQ(b.LocalName(bound), 0);
    ASSERT_NE(bound.port, 0);
    b.SetBlocking(0);
    char buf[64];
    PSockAddr from;
    PSockAddrSet(from, 0, 0x1234);
    int fromLen = 0;
    EXPECT_EQ(b.RecvFrom(buf, sizeof buf, 0, from, fromLen), PSOCK_EWOULDBLOCK);
    EXPECT_EQ(a.SendTo("datagram", 8, 0, bound, 16), 8);
    EXPECT_EQ(b.Select(1, 1000), 1);
    EXPECT_EQ(b.RecvFrom(buf, sizeof buf, 0, from, fromLen), 8);
    EXPECT_EQ(std::memcmp(buf, "datagram", 8), 0);
    EXPECT_EQ(fromLen, 16);
    EXPECT_EQ(from.address, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(from.port, 0x1234); // only the address is filled in

    // A listening port with a connection in TIME_WAIT binds again with reuse.
    PSocket l;
    int port = Listen(l, 1);
    ASSERT_GT(port, 0);
    {
        PSocket c, s;
        ASSERT_EQ(c.Open(2, PSOCK_STREAM, 0), 0);
        ASSERT_EQ(c.Connect(Loopback(port), 16), 0);
        ASSERT_EQ(l.Accept(s), 0);
        s.Close(); // the server side closes first and keeps TIME_WAIT
        c.Close();
    }
    l.Close();
    PSocket plain;
    ASSERT_EQ(plain.Open(2, PSOCK_STREAM, 0), 0);
    EXPECT_LT(plain.Bind(Loopback(port), 16, 0), 0); // address in use without reuse
    PSocket again;
    ASSERT_EQ(again.Open(2, PSOCK_STREAM, 0), 0);
    EXPECT_EQ(again.Bind(Loopback(port), 16, 1), 0);
    int v = 0;
    EXPECT_EQ(again.GetOpt(0, PSOCK_OPT_REUSEADDR, &v), 0);
    EXPECT_NE(v, 0);
}

TEST(Socket, CreateGivesAFreshImplementation)
{
    PSocket a, b;
    EXPECT_EQ(a.Create(b), PSOCK_ENOMEM); // no implementation to copy from
    ASSERT_EQ(a.Open(2, PSOCK_STREAM, 0), 0);
    ASSERT_EQ(a.Create(b), 0);
    ASSERT_NE(b.GetImpl(), nullptr);
    EXPECT_FALSE(b.IsOpen());
    EXPECT_EQ(b.Open(2, PSOCK_DGRAM, 0), 0);
}

} // namespace
