// Helpers of the local-network back end's tests: a way into the back end's
// state for links made by the test (socket pairs, loopback listeners), a raw
// peer on the other end of a socket pair, and polling with a real-time bound.
#pragma once
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "engine/net/bsdsocket.h"
#include "game/multiplayer/ipinterface.h"
#include "game/multiplayer/lanlink.h"

using Bytes = std::vector<uint8_t>;

struct IPInterfaceTestAccess {
    // A host with no announcing sockets and no listener.
    static void BecomeHost(IPInterface& ip, const char* name)
    {
        ip.ResetConnections();
        ip.SessionReset();
        ip.SetUserInfo(name);
        ip.m_role = IPInterface::kHost;
        ip.m_status = IPInterface::kRunning;
        ip.AddClient(0, ip.m_ownName, 0);
    }
    // Listens on 127.0.0.1 at a port of the system's choice; the port.
    static int ListenOnLoopback(IPInterface& ip)
    {
        PSockAddrIP a;
        PSockAddrSet(a, PInetAddr("127.0.0.1"), 0);
        if (ip.m_listen.Open(PSOCK_AF_INET, PSOCK_STREAM, 0) != 0 || ip.m_listen.Bind(a, 16, 1) != 0 ||
            ip.m_listen.Listen(IPInterface::kListenBacklog) != 0 || ip.m_listen.SetBlocking(0) != 0 || ip.m_listen.LocalName(a) != 0)
            return 0;
        return PSwap16(a.port);
    }
    // The descriptor becomes a connection the host has just accepted (in an
    // accept pass of its own): it is told an id, and is a player once it
    // gives its name.
    static void AdoptClient(IPInterface& ip, PSockStream* impl)
    {
        PSocket accepted;
        accepted.SetImpl(impl);
        ip.TakeClient(accepted, ip.m_accepts);
    }
    static void AdoptClient(IPInterface& ip, int fd)
    {
        AdoptClient(ip, new PBsdSockStream(PSOCK_AF_INET, PSOCK_STREAM, fd));
    }
    // One accept pass of the host's poll: takes what waits in its listen
    // queue.
    static void AcceptPass(IPInterface& ip) { ip.AcceptClients(); }
    // What the host keeps for each connection that has not given its name.
    static constexpr size_t kNamelessPlaceBytes = sizeof(IPInterface::NamelessPlace);
    static int FreeSocket(IPInterface& ip) { return ip.m_freeSocket; }
    static int PollRooms(IPInterface& ip) { return ip.processPollGameRooms(); }
    // The announcement prefix a host at address:port builds for the room.
    static std::string Prefix(IPInterface& ip, unsigned address, int port, const char* name)
    {
        MPInterface::GameRoom room = {};
        std::strncpy(room.name, name, sizeof room.name - 1);
        ip.CreateBroadcastMsg(address, port, room);
        return ip.m_prefix;
    }
    // Searches on a UDP socket of 127.0.0.1 instead of port 2000; the port.
    static int SearchOnLoopback(IPInterface& ip)
    {
        PSockAddrIP a;
        PSockAddrSet(a, PInetAddr("127.0.0.1"), 0);
        if (ip.m_listen.Open(PSOCK_AF_INET, PSOCK_DGRAM, 17) != 0 || ip.m_listen.Bind(a, 16, 0) != 0 ||
            ip.m_listen.SetBlocking(0) != 0 || ip.m_listen.LocalName(a) != 0)
            return 0;
        ip.m_status = IPInterface::kSearching;
        return PSwap16(a.port);
    }
    // A client whose link to the host is the descriptor.
    static void BecomeClient(IPInterface& ip, const char* name, int fd)
    {
        BecomeClient(ip, name, new PBsdSockStream(PSOCK_AF_INET, PSOCK_STREAM, fd));
    }
    static void BecomeClient(IPInterface& ip, const char* name, PSockStream* impl)
    {
        ip.ResetConnections();
        ip.SessionReset();
        ip.SetUserInfo(name);
        ip.m_role = IPInterface::kClient;
        ip.m_links[0].Socket().SetImpl(impl);
        ip.m_links[0].Reset();
        ip.m_links[0].Socket().SetBlocking(0);
        ip.AddClient(0, ip.m_ownName, 0);
        ip.m_status = IPInterface::kRunning;
        ip.m_joined = 1;
    }
};

// The test's end of a socket pair.
class Peer {
public:
    // Makes the pair; the other end is handed out once by Far().
    Peer()
    {
        int sv[2] = {-1, -1};
        socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
        m_fd = sv[0];
        m_far = sv[1];
        fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL, 0) | O_NONBLOCK);
    }
    ~Peer()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int Far() { return m_far; }
    void Put(const Bytes& b) { (void)!write(m_fd, b.data(), b.size()); }
    // Everything received so far (appended to what earlier calls kept).
    Bytes& Got()
    {
        uint8_t buf[4096];
        ssize_t n;
        while ((n = read(m_fd, buf, sizeof buf)) > 0)
            m_got.insert(m_got.end(), buf, buf + n);
        return m_got;
    }
    void Close()
    {
        close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    int m_far = -1;
    Bytes m_got;
};

inline Bytes NameBytes(const char* name)
{
    Bytes b(32, 0);
    for (int i = 0; i < 31 && name[i]; ++i)
        b[size_t(i)] = uint8_t(name[i]);
    return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Polls every back end until done() holds (true) or ten real seconds pass.
inline bool PumpUntil(std::vector<MPInterface*> ends, const std::function<bool()>& done)
{
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        for (MPInterface* e : ends)
            e->PollMessages();
        if (done())
            return true;
        usleep(500);
    }
    return false;
}

// A guest that speaks the wire protocol by hand, its socket made in the
// namespace the thread is in when it connects.
class RawGuest {
public:
    ~RawGuest()
    {
        if (fd >= 0)
            close(fd);
    }
    // Starts the connect; it completes while the sessions run.
    bool Connect(const char* address, int port)
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        // Each message leaves at once, as the sessions' frames run far
        // faster than the wall clock.
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = inet_addr(address);
        return fd >= 0 && (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 || errno == EINPROGRESS);
    }
    void Put(const Bytes& b) { (void)!write(fd, b.data(), b.size()); }
    // A game message as a data message of player id.
    void PutData(int id, const Bytes& payload)
    {
        Put(Concat({{uint8_t(kLanData), uint8_t(id), uint8_t(payload.size())}, payload}));
    }
    // Reads what has come; the whole messages among it are kept in got.
    void Read()
    {
        uint8_t buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            pending.insert(pending.end(), buf, buf + n);
        int length;
        while ((length = lanframe::MessageLength(pending.data(), int(pending.size()))) > 0) {
            got.emplace_back(pending.begin(), pending.begin() + length);
            pending.erase(pending.begin(), pending.begin() + length);
        }
    }
    // Whether the host has told it an id (the connection is accepted).
    bool Told()
    {
        Read();
        for (const Bytes& m : got)
            if (!m.empty() && m[0] == kLanYourId)
                return true;
        return false;
    }
    int fd = -1;
    std::vector<Bytes> got;
    Bytes pending;
};

// A non-blocking connection to address:port that never gives a name, from
// the source address when one is given; -1 when it cannot be made.
inline int NamelessConnect(const char* source, const char* address, int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    if (fd >= 0 && source) {
        a.sin_addr.s_addr = inet_addr(source);
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            return -1;
        }
    }
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = inet_addr(address);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

// Waits (a real second at most) until the connect of fd is complete, so
// that the connection waits in the listener's queue; whether it is.
inline bool Connected(int fd)
{
    pollfd p = {fd, POLLOUT, 0};
    return poll(&p, 1, 1000) == 1 && (p.revents & POLLOUT) != 0;
}

// Whether the host closed the connection (what it sent before is read).
inline bool ClosedByHost(int fd)
{
    char b[64];
    ssize_t n;
    while ((n = read(fd, b, sizeof b)) > 0) {
    }
    return n == 0 || (n < 0 && errno != EAGAIN && errno != ENOTCONN);
}

// Connections that never give a name, `each` from every source address, to
// address:port, reopened as soon as the host has closed them.
class NamelessChurn {
public:
    NamelessChurn(const std::vector<std::string>& sources, int each, std::string address, int port)
        : m_address(std::move(address)), m_port(port)
    {
        for (const std::string& from : sources)
            for (int i = 0; i < each; ++i)
                m_conns.push_back({from, -1});
    }
    ~NamelessChurn()
    {
        for (Conn& c : m_conns)
            if (c.fd >= 0)
                close(c.fd);
    }
    NamelessChurn(const NamelessChurn&) = delete;
    NamelessChurn& operator=(const NamelessChurn&) = delete;
    // Opens what is not open yet and reopens what the host closed; how many.
    int Reopen()
    {
        int n = 0;
        for (Conn& c : m_conns)
            if (c.fd < 0 || ClosedByHost(c.fd)) {
                if (c.fd >= 0)
                    close(c.fd);
                c.fd = NamelessConnect(c.from.c_str(), m_address.c_str(), m_port);
                ++n;
            }
        return n;
    }
    size_t Size() const { return m_conns.size(); }

private:
    struct Conn {
        std::string from;
        int fd;
    };
    std::vector<Conn> m_conns;
    std::string m_address;
    int m_port;
};
