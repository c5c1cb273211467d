// The lobby client's frames byte for byte, and hostile frames from a scripted
// server on loopback; the cipher against its published vectors and nettle;
// the room list's order and filters.
#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <nettle/blowfish.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "engine/net/online/blowfish.h"
#include "engine/net/online/gameroomlist.h"
#include "engine/net/online/lobbyinterfaceimp.h"
#include "engine/net/online/serverdiscoveryimp.h"
#include "engine/runtime/ptime.h"
#include "lobby_services.h"

namespace {

using namespace VOrededidaza;
using namespace VOrededidaza::Internal;
using lobbytest::BE32;

std::string Hex(const std::string& s)
{
    static const char* d = "0123456789ABCDEF";
    std::string o;
    for (unsigned char c : s) {
        o += d[c >> 4];
        o += d[c & 15];
    }
    return o;
}

std::string Bytes(const char* hex)
{
    std::string o;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        o += char(std::stoi(std::string(hex + i, 2), nullptr, 16));
    return o;
}

TEST(Blowfish, PublishedVectorsAndNettle)
{
    struct V {
        const char* key;
        const char* plain;
        const char* cipher;
    } vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"F0E1D2C3B4A5968778695A4B", "FEDCBA9876543210", "9409DA87A90F6BF2"},
    };
    for (const V& v : vectors) {
        std::string key = Bytes(v.key), block = Bytes(v.plain);
        Blowfish b(reinterpret_cast<const unsigned char*>(key.data()), int(key.size()));
        b.encryptBuffer(reinterpret_cast<unsigned char*>(&block[0]), 8);
        EXPECT_EQ(Hex(block), v.cipher) << v.key;
        b.decryptBuffer(reinterpret_cast<unsigned char*>(&block[0]), 8);
        EXPECT_EQ(Hex(block), v.plain);
    }
    // Random 12-byte keys and 256-byte bodies agree with nettle both ways.
    std::mt19937 rng(11);
    for (int round = 0; round < 200; round++) {
        unsigned char key[12], body[256], ours[256], theirs[256];
        for (unsigned char& k : key)
            k = uint8_t(rng());
        for (unsigned char& c : body)
            c = uint8_t(rng());
        std::memcpy(ours, body, 256);
        Blowfish b(key, 12);
        b.encryptBuffer(ours, 256);
        blowfish_ctx ctx;
        ASSERT_EQ(blowfish_set_key(&ctx, 12, key), 1);
        blowfish_encrypt(&ctx, 256, theirs, body);
        ASSERT_EQ(std::memcmp(ours, theirs, 256), 0);
        blowfish_decrypt(&ctx, 256, theirs, ours);
        ASSERT_EQ(std::memcmp(theirs, body, 256), 0);
    }
}

TEST(ServerQuery, DefaultFilterText)
{
    ServerFilter f(5);
    unsigned char block[256];
    ASSERT_EQ(ServerDiscoveryImp::buildQuery(f, block), 1);
    const char* expect = "action=3&game_id=5&protocol_version=3&name_filter=&desc_filter=&protocol_filter=1"
                         "&near_me_filter=0&sorting_key=&max_results=0&return_mask=49";
    size_t n = std::strlen(expect);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), n), expect);
    EXPECT_EQ(block[n], 0);
    for (size_t i = n + 1; i < 256; i++)
        ASSERT_EQ(block[i], ' ') << i;

    f.setSortingKey(ServerFilter::SORT_PLAYER_COUNT);
    EXPECT_STREQ(f.getSortingKeyString(), "PlayerCount");
    f.setNameFilter("a&b");
    EXPECT_EQ(ServerDiscoveryImp::buildQuery(f, block), 0); // would forge a field
    f.setNameFilter("x=1");
    EXPECT_EQ(ServerDiscoveryImp::buildQuery(f, block), 0);
    // A query that does not fit 255 bytes is refused rather than cut.
    f.setNameFilter(std::string(64, 'n').c_str());
    f.setDescriptionFilter(std::string(128, 'd').c_str());
    EXPECT_EQ(ServerDiscoveryImp::buildQuery(f, block), 0);
    f.setDescriptionFilter(nullptr);
    EXPECT_EQ(ServerDiscoveryImp::buildQuery(f, block), 1);
}

TEST(GameRooms, SortAndFilterExample)
{
    auto room = [](uint32_t id, uint32_t players, uint32_t max, uint32_t prot, uint32_t group) {
        return BE32(id) + BE32(players) + BE32(max) + BE32(prot) + BE32(group) + BE32(2) + "d" + char('0' + id);
    };
    std::string payload = BE32(3) + room(5, 2, 4, 0, 1) + room(3, 4, 4, 1, 1) + room(9, 0, 8, 0, 2);
    GameRoomList list;
    ASSERT_EQ(list.update(reinterpret_cast<const unsigned char*>(payload.data()), int(payload.size())), 1);
    auto ids = [&]() {
        std::vector<uint32_t> v;
        for (int i = 0; i < list.getCount(); i++)
            v.push_back(list.getGameRoomId(i));
        return v;
    };
    EXPECT_EQ(ids(), (std::vector<uint32_t>{3, 5, 9}));
    list.setSortingKey(1);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{9, 5, 3}));
    list.setSortingKey(0);
    list.setFilter(1);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{5, 9}));
    list.setFilter(6);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{}));
    list.setFilter(0);
    list.setGroupMaskFilter(2);
    EXPECT_EQ(ids(), (std::vector<uint32_t>{9}));
    EXPECT_EQ(list.getDescriptionLength(0), 2);
    EXPECT_EQ(std::memcmp(list.getDescription(0), "d9", 2), 0);

    // Counts and lengths are bounded by the message.
    list.setGroupMaskFilter(0xFFFFFFFF);
    std::string huge = BE32(0x7FFFFFFF) + room(1, 0, 2, 0, 1);
    EXPECT_EQ(list.update(reinterpret_cast<const unsigned char*>(huge.data()), int(huge.size())), 0);
    EXPECT_EQ(list.getCount(), 0);
    std::string longDesc = BE32(1) + BE32(1) + BE32(0) + BE32(2) + BE32(0) + BE32(1) + BE32(5000) + "abc";
    EXPECT_EQ(list.update(reinterpret_cast<const unsigned char*>(longDesc.data()), int(longDesc.size())), 0);
    std::string big = BE32(1) + BE32(1) + BE32(0) + BE32(2) + BE32(0) + BE32(1) + BE32(300) + std::string(300, 'x');
    EXPECT_EQ(list.update(reinterpret_cast<const unsigned char*>(big.data()), int(big.size())), 1);
    EXPECT_EQ(list.getDescriptionLength(0), 256);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(list.getDescription(0))), 256u);
    EXPECT_EQ(list.getMaxNumberOfPlayers(5), -1);
    EXPECT_EQ(list.isPasswordProtected(5), 255);
}

// A lobby server played by the test: it accepts the client's connection and
// sends and receives raw bytes.
class ScriptedLobby : public ::testing::Test, public MultiplayerObserver {
protected:
    void SetUp() override
    {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ASSERT_EQ(bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(listen(m_listen, 4), 0);
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_lobby.reset(new LobbyInterfaceImp(&m_root));
        m_lobby->setObserver(this);
        m_lobby->getGameRoomInterface()->setObserver(this);
    }
    void TearDown() override
    {
        m_lobby.reset();
        if (m_peer >= 0)
            close(m_peer);
        close(m_listen);
    }
    void onNotify(Message m, Status s) override { m_events.push_back({int(m), int(s)}); }
    void onDebugMessage(const char* text) override { m_debug.push_back(text); }

    // Runs the library until the peer has sent n bytes; those bytes.
    std::string Expect(size_t n)
    {
        std::string got;
        uint32_t start = PTickCount();
        while (got.size() < n && int(PTickCount() - start) < 5000) {
            m_root.update();
            if (m_peer < 0) {
                pollfd p{m_listen, POLLIN, 0};
                if (poll(&p, 1, 5) > 0)
                    m_peer = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                continue;
            }
            pollfd p{m_peer, POLLIN, 0};
            if (poll(&p, 1, 5) > 0) {
                char buf[256];
                ssize_t k = recv(m_peer, buf, std::min(sizeof buf, n - got.size()), 0);
                if (k <= 0)
                    break;
                got.append(buf, size_t(k));
            }
        }
        return got;
    }
    void Send(const std::string& bytes) { ASSERT_EQ(send(m_peer, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }
    // Runs the library for ms milliseconds and at least ten updates: what the
    // test sent is already in the socket, but a loaded machine may not run
    // this thread at all for the whole time.
    void Pump(int ms = 60)
    {
        uint32_t start = PTickCount();
        for (int i = 0; i < 10 || int(PTickCount() - start) < ms; i++) {
            m_root.update();
            PSleep(2);
        }
    }
    std::string Frame(uint32_t type, const std::string& payload) { return BE32(type) + BE32(uint32_t(payload.size())) + payload; }
    // Logs in as "abc" (game 7) and accepts with id 42.
    void LogIn()
    {
        ASSERT_EQ(m_lobby->logIn(7, "127.0.0.1", m_port, "abc"), 1);
        ASSERT_EQ(Hex(Expect(20)), "000000010000000C000000030000000761626300");
        Send(Frame(9, BE32(42) + "Scripted" + std::string(1, '\0')));
        Pump();
        ASSERT_EQ(m_lobby->getState(), LobbyInterfaceImp::STATE_LOGGED_IN);
    }
    bool Saw(int m, int s) const
    {
        for (auto& e : m_events)
            if (e.first == m && e.second == s)
                return true;
        return false;
    }

    MultiplayerInterfaceImp m_root;
    std::unique_ptr<LobbyInterfaceImp> m_lobby;
    int m_listen = -1;
    int m_peer = -1;
    int m_port = 0;
    std::vector<std::pair<int, int>> m_events;
    std::vector<std::string> m_debug;
};

TEST_F(ScriptedLobby, LoginFramesAndReply)
{
    EXPECT_EQ(m_lobby->getGameRoomProtected(0), 255);
    EXPECT_EQ(m_lobby->getGameRoomMaxPlayerCount(0), -1);
    LogIn();
    EXPECT_EQ(m_lobby->getMyId(), 42u);
    char name[5];
    m_lobby->getServerName(name, sizeof name);
    EXPECT_STREQ(name, "Scri");

    // Joining the room listed at index 0, without password.
    std::string list = BE32(1) + BE32(77) + BE32(1) + BE32(4) + BE32(0) + BE32(1) + BE32(0);
    Send(Frame(20, list));
    Pump();
    ASSERT_EQ(m_lobby->getGameRoomCount(), 1);
    EXPECT_TRUE(Saw(MSG_GAME_ROOM_LIST, STATUS_OK));
    m_lobby->joinGameRoom(0, 1, nullptr);
    EXPECT_EQ(Hex(Expect(17)), "00000004000000090000004D0000000100");
    m_lobby->joinGameRoom(3, 1, nullptr); // no such index: nothing is sent
    unsigned char data[300] = {};
    m_lobby->createGameRoom(4, "pw", data, 300, 1); // room data over 256 bytes: refused
    m_lobby->createGameRoom(4, "pw", data, 2, 0xFFFFFFFF);
    EXPECT_EQ(Hex(Expect(8 + 8 + 3 + 2)), "00000003000000" "0D" "00000004FFFFFFFF70770000" "00");

    // Packets: to everyone, and to a list of players.
    PacketStream* ps = m_lobby->getGameRoomInterface()->getPacketStream();
    const unsigned char three[3] = {1, 2, 3};
    EXPECT_EQ(ps->sendPacketToAll(three, 3), 15);
    EXPECT_EQ(Hex(Expect(15)), "0000000000000007FFFFFFFF010203");
    const unsigned ids[2] = {4, 6};
    EXPECT_EQ(ps->sendPacketToClientList(ids, 2, three, 2), 26);
    EXPECT_EQ(Hex(Expect(26)), "0000000000000012FFFFFFFC00000002000000040000000601" "02");
    unsigned char big[1100] = {};
    EXPECT_EQ(ps->sendPacket(big, 1012), 0); // over 1011 bytes: refused
    EXPECT_EQ(ps->sendPacket(big, 1011), 1023);
    EXPECT_EQ(Expect(1023).size(), 1023u);
    EXPECT_EQ(ps->sendPacketToClientList(ids, 2, big, 1004), 0);

    m_lobby.reset(); // logged in: says goodbye
    EXPECT_EQ(Hex(Expect(8)), "0000000200000000");
}

TEST_F(ScriptedLobby, LongNamesAndRejections)
{
    std::string name(70, 'n');
    ASSERT_EQ(m_lobby->logIn(7, "127.0.0.1", m_port, name.c_str()), 1);
    std::string login = Expect(8 + 73);
    EXPECT_EQ(Hex(login.substr(0, 8)), "0000000100000049");
    EXPECT_EQ(login.substr(16, 64), std::string(64, 'n'));
    EXPECT_EQ(login[80], '\0');
    Send(Frame(12, "abc_2" + std::string(1, '\0')));
    Pump();
    EXPECT_EQ(m_lobby->getState(), LobbyInterfaceImp::STATE_FAILED);
    EXPECT_EQ(m_lobby->getFailureReason(), 12);
    char suggested[65];
    m_lobby->getSuggestedName(suggested, sizeof suggested);
    EXPECT_STREQ(suggested, "abc_2");
    EXPECT_EQ(m_lobby->logIn(7, "300.0.0.1", m_port, "x"), 0);
    EXPECT_EQ(m_lobby->logIn(7, "127.0.0.1", m_port, nullptr), 0);
}

TEST_F(ScriptedLobby, HostileFramesNeverHurt)
{
    LogIn();
    PacketStream* ps = m_lobby->getGameRoomInterface()->getPacketStream();
    // Headers with a negative or oversized length, or an unknown type, lose
    // their 8 bytes; the next 8 bytes are the next header.
    Send(BE32(0) + BE32(0xFFFFFFFF) + BE32(36) + BE32(0) + BE32(20) + BE32(1016));
    // A keep-alive with a payload: the payload is consumed too.
    Send(Frame(15, "junkjunk"));
    // Short messages of every type that carries fields.
    for (uint32_t t : {16u, 20u, 34u, 35u, 21u, 22u, 24u, 28u})
        Send(Frame(t, "ab"));
    // A room list claiming a huge count.
    Send(Frame(20, BE32(0xFFFFFFF0) + BE32(1)));
    // Game data shorter than its sender id.
    Send(Frame(0, "xy"));
    Send(Frame(35, "")); // a lobby player left, without the id
    Send(Frame(26, ""));
    Send(Frame(33, "")); // not a lobby message: handed to the room, unknown there
    // Then a proper packet from player 9.
    Send(Frame(0, BE32(9) + "hello"));
    Pump(150);
    EXPECT_EQ(m_lobby->getState(), LobbyInterfaceImp::STATE_LOGGED_IN);
    EXPECT_EQ(m_lobby->getGameRoomCount(), 0);
    EXPECT_FALSE(Saw(MSG_GAME_ROOM, STATUS_OK));
    EXPECT_FALSE(Saw(MSG_LOBBY_PLAYER_JOINED, STATUS_OK));
    EXPECT_TRUE(Saw(MSG_ROOM_26, STATUS_OK));
    ASSERT_EQ(m_debug.size(), 1u);
    EXPECT_EQ(m_debug[0], "Ignoring unkown packet");
    ASSERT_EQ(ps->getAvailablePackets(), 1);
    unsigned sender = 0, length = 0;
    ps->readPacketInfo(sender, length);
    EXPECT_EQ(sender, 9u);
    EXPECT_EQ(length, 5u);
    unsigned char buf[16];
    EXPECT_EQ(ps->peek(buf, 100), 5); // never beyond the packet
    EXPECT_EQ(ps->readPacket(buf, 5), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), "hello");
    EXPECT_EQ(ps->readPacket(buf, 5), 0);
    ps->readPacketInfo(sender, length); // nothing waits: outputs untouched
    EXPECT_EQ(sender, 9u);

    // A frame whose payload comes in two pieces is delivered once, whole.
    std::string f = Frame(34, BE32(5) + "late" + std::string(1, '\0'));
    Send(f.substr(0, 10));
    Pump();
    EXPECT_EQ(m_lobby->getLobbyPlayerCount(), 0);
    Send(f.substr(10));
    Pump();
    ASSERT_EQ(m_lobby->getLobbyPlayerCount(), 1);
    EXPECT_STREQ(m_lobby->getLobbyPlayerName(0), "late");
    // A name without its terminating zero ends with the frame.
    Send(Frame(34, BE32(6) + std::string(100, 'z')));
    Pump();
    ASSERT_EQ(m_lobby->getLobbyPlayerCount(), 2);
    EXPECT_EQ(std::string(m_lobby->getLobbyPlayerName(1)), std::string(64, 'z'));

    // The end of the stream is a lost connection.
    close(m_peer);
    m_peer = -1;
    Pump();
    EXPECT_TRUE(Saw(MSG_CONNECTION_LOST, STATUS_OK));
    EXPECT_EQ(m_lobby->getState(), LobbyInterfaceImp::STATE_IDLE);
}

} // namespace
