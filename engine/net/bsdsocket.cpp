#include "engine/net/bsdsocket.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int LastCode()
{
    return PSockErrorCode(errno);
}

sockaddr_in ToPlatform(const PSockAddr& a)
{
    sockaddr_in s;
    std::memset(&s, 0, sizeof s);
    s.sin_family = AF_INET;
    s.sin_port = a.port;
    s.sin_addr.s_addr = a.address;
    return s;
}

void FromPlatform(const sockaddr_in& s, PSockAddr& a)
{
    PSockAddrSet(a, s.sin_addr.s_addr, s.sin_port);
}

// The platform's (level, option, size) for an engine option; false when the
// option has no counterpart here.
struct OptMap {
    int level;
    int option;
    socklen_t size;
    bool implicit; // always in effect on this platform: nothing to set
};

bool MapOption(int level, int option, OptMap& m)
{
    m.implicit = false;
    if (level == PSOCK_LEVEL_SOCKET) {
        m.level = SOL_SOCKET;
        m.size = sizeof(int);
        switch (option) {
        case PSOCK_OPT_ERROR: m.option = SO_ERROR; return true;
        case PSOCK_OPT_RCVBUF: m.option = SO_RCVBUF; return true;
        case PSOCK_OPT_SNDBUF: m.option = SO_SNDBUF; return true;
        case PSOCK_OPT_REUSEADDR: m.option = SO_REUSEADDR; return true;
        case PSOCK_OPT_BROADCAST: m.option = SO_BROADCAST; return true;
        case PSOCK_OPT_NOSIGPIPE:
            // Every send here passes MSG_NOSIGNAL: a dead peer never raises
            // SIGPIPE, whatever this option is set to.
            m.option = 0;
            m.implicit = true;
            return true;
        default: return false;
        }
    }
    if (level == PSOCK_LEVEL_IP) {
        m.level = IPPROTO_IP;
        switch (option) {
        case PSOCK_OPT_IP_OPTIONS: m.option = IP_OPTIONS; m.size = 0; return true;
        case PSOCK_OPT_IP_HDRINCL: m.option = IP_HDRINCL; m.size = sizeof(int); return true;
        case PSOCK_OPT_IP_TOS: m.option = IP_TOS; m.size = sizeof(int); return true;
        case PSOCK_OPT_IP_TTL: m.option = IP_TTL; m.size = sizeof(int); return true;
        case PSOCK_OPT_IP_MULTICAST_IF: m.option = IP_MULTICAST_IF; m.size = 4; return true;
        case PSOCK_OPT_IP_MULTICAST_TTL: m.option = IP_MULTICAST_TTL; m.size = 1; return true;
        case PSOCK_OPT_IP_MULTICAST_LOOP: m.option = IP_MULTICAST_LOOP; m.size = 1; return true;
        case PSOCK_OPT_IP_ADD_MEMBERSHIP: m.option = IP_ADD_MEMBERSHIP; m.size = 8; return true;
        default: return false;
        }
    }
    return false;
}

// Receive flags in the engine's numbering (BSD values) to the platform's.
int MapRecvFlags(int flags)
{
    int f = 0;
    if (flags & 1)
        f |= MSG_OOB;
    if (flags & 2)
        f |= MSG_PEEK;
    if (flags & 0x80)
        f |= MSG_DONTWAIT;
    return f;
}

} // namespace

PBsdSockStream::PBsdSockStream() : m_family(0), m_type(0), m_fd(-1) {}

PBsdSockStream::PBsdSockStream(uint16_t family, uint16_t type, int descriptor)
    : m_family(family), m_type(type), m_fd(descriptor)
{
}

PBsdSockStream::~PBsdSockStream()
{
    Close();
}

int PBsdSockStream::Read(void* buffer, int count)
{
    if (m_fd == -1 || count < 0 || (!buffer && count > 0))
        return PSOCK_EINVAL;
    ssize_t r = recv(m_fd, buffer, size_t(count), 0);
    return r < 0 ? LastCode() : int(r);
}

int PBsdSockStream::Write(const void* buffer, int count)
{
    if (m_fd == -1 || count < 0 || (!buffer && count > 0))
        return PSOCK_EINVAL;
    ssize_t r = send(m_fd, buffer, size_t(count), MSG_NOSIGNAL);
    return r < 0 ? LastCode() : int(r);
}

int PBsdSockStream::Close()
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    // close releases the descriptor even when it reports an error.
    int r = close(m_fd);
    m_fd = -1;
    return r < 0 ? LastCode() : 0;
}

int PBsdSockStream::ShutDown(int how)
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    return shutdown(m_fd, how) < 0 ? LastCode() : 0;
}

int PBsdSockStream::Open(unsigned family, unsigned type, unsigned protocol)
{
    if (m_fd != -1)
        return PSOCK_EINVAL;
    family = PSocket::MapFamily(family);
    if (family != PSOCK_AF_INET)
        return PSOCK_EINVAL;
    int ptype;
    if (type == PSOCK_STREAM)
        ptype = SOCK_STREAM;
    else if (type == PSOCK_DGRAM)
        ptype = SOCK_DGRAM;
    else
        return PSOCK_EINVAL;
    m_family = uint16_t(family);
    m_type = uint16_t(type);
    int fd = socket(AF_INET, ptype | SOCK_CLOEXEC, int(protocol));
    if (fd < 0)
        return LastCode();
    m_fd = fd;
    return 0;
}

int PBsdSockStream::Listen(int backlog)
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    return listen(m_fd, backlog) < 0 ? LastCode() : 0;
}

int PBsdSockStream::Bind(const PSockAddr& a, int, int reuse)
{
    if (m_fd == -1 || a.family != PSOCK_AF_INET)
        return PSOCK_EINVAL;
    if (reuse) {
        int v = reuse;
        if (setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &v, sizeof v) < 0)
            return LastCode();
    }
    sockaddr_in s = ToPlatform(a);
    return bind(m_fd, reinterpret_cast<sockaddr*>(&s), sizeof s) < 0 ? LastCode() : 0;
}

int PBsdSockStream::Connect(const PSockAddr& a, int)
{
    if (m_fd == -1 || a.family != PSOCK_AF_INET)
        return PSOCK_EINVAL;
    sockaddr_in s = ToPlatform(a);
    int r;
    do {
        r = connect(m_fd, reinterpret_cast<sockaddr*>(&s), sizeof s);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? LastCode() : 0;
}

int PBsdSockStream::Accept(PSocket& into)
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    // Accepted sockets inherit the listener's non-blocking mode, as on the
    // BSD stacks this layer was written for.
    int flags = fcntl(m_fd, F_GETFL, 0);
    int extra = (flags >= 0 && (flags & O_NONBLOCK)) ? SOCK_NONBLOCK : 0;
    int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | extra);
    if (fd < 0)
        return LastCode();
    PBsdSockStream* s = new PBsdSockStream(m_family, m_type, fd);
    if (!s) {
        close(fd);
        return PSOCK_ENOMEM;
    }
    into.SetImpl(s);
    return 0;
}

int PBsdSockStream::RemoteName(PSockAddr& a)
{
    if (m_fd == -1 || m_family != PSOCK_AF_INET)
        return PSOCK_EINVAL;
    sockaddr_in s;
    socklen_t len = sizeof s;
    if (getpeername(m_fd, reinterpret_cast<sockaddr*>(&s), &len) < 0)
        return LastCode();
    if (s.sin_family != AF_INET)
        return PSOCK_EINVAL; // a descriptor of another family: no IPv4 peer
    FromPlatform(s, a);
    return 0;
}

int PBsdSockStream::LocalName(PSockAddr& a)
{
    if (m_fd == -1 || m_family != PSOCK_AF_INET)
        return PSOCK_EINVAL;
    sockaddr_in s;
    socklen_t len = sizeof s;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&s), &len) < 0)
        return LastCode();
    FromPlatform(s, a);
    return 0;
}

int PBsdSockStream::Select(int mask, unsigned ms)
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    pollfd p;
    p.fd = m_fd;
    p.events = 0;
    p.revents = 0;
    if (mask & PSOCK_SEL_READ)
        p.events |= POLLIN;
    if (mask & PSOCK_SEL_WRITE)
        p.events |= POLLOUT;
    if (mask & PSOCK_SEL_ERROR)
        p.events |= POLLPRI;
    int timeout = ms == 0xFFFFFFFFu ? -1 : (ms > unsigned(INT_MAX) ? INT_MAX : int(ms));
    int r = poll(&p, 1, timeout);
    if (r < 0)
        return errno == EINTR ? 0 : LastCode();
    if (r == 0)
        return 0;
    // An error or hang-up makes a socket readable and writable (the pending
    // error is then reported by the read or write) and, when asked for,
    // exceptional.
    int out = 0;
    bool broken = (p.revents & (POLLERR | POLLNVAL)) != 0;
    if ((mask & PSOCK_SEL_READ) && (p.revents & (POLLIN | POLLHUP) || broken))
        out |= PSOCK_SEL_READ;
    if ((mask & PSOCK_SEL_WRITE) && (p.revents & POLLOUT || broken))
        out |= PSOCK_SEL_WRITE;
    if ((mask & PSOCK_SEL_ERROR) && (p.revents & POLLPRI || broken))
        out |= PSOCK_SEL_ERROR;
    return out;
}

PSockStream* PBsdSockStream::Create()
{
    return new PBsdSockStream();
}

int PBsdSockStream::SetBlocking(int blocking)
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    int flags = fcntl(m_fd, F_GETFL, 0);
    if (flags < 0)
        return LastCode();
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(m_fd, F_SETFL, flags) < 0 ? LastCode() : 0;
}

int PBsdSockStream::LastError(int& err)
{
    err = 0;
    if (m_fd == -1)
        return PSOCK_EINVAL;
    int e = 0;
    socklen_t len = sizeof e;
    if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &e, &len) < 0)
        return LastCode();
    err = PSockErrorCode(e);
    return 0;
}

int PBsdSockStream::GetOpt(int level, int option, void* value)
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    OptMap m;
    if (!MapOption(level, option, m))
        return PSOCK_ENOOPT;
    if (m.implicit) {
        if (value)
            *static_cast<int*>(value) = 1;
        return 0;
    }
    if (!value && m.size > 0)
        return PSOCK_EINVAL;
    socklen_t len = m.size;
    return getsockopt(m_fd, m.level, m.option, value, &len) < 0 ? LastCode() : 0;
}

int PBsdSockStream::SetOpt(int level, int option, void* value)
{
    if (m_fd == -1)
        return PSOCK_EINVAL;
    OptMap m;
    if (!MapOption(level, option, m))
        return PSOCK_ENOOPT;
    if (m.implicit)
        return 0;
    if (!value && m.size > 0)
        return PSOCK_EINVAL;
    return setsockopt(m_fd, m.level, m.option, value, m.size) < 0 ? LastCode() : 0;
}

int PBsdSockStream::SendTo(const void* buf, int len, int, PSockAddr& to, int)
{
    if (m_fd == -1 || len < 0 || (!buf && len > 0) || to.family != PSOCK_AF_INET)
        return PSOCK_EINVAL;
    sockaddr_in s = ToPlatform(to);
    ssize_t r = sendto(m_fd, buf, size_t(len), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&s), sizeof s);
    return r < 0 ? LastCode() : int(r);
}

int PBsdSockStream::RecvFrom(void* buf, int len, int flags, PSockAddr& from, int& fromLen)
{
    if (m_fd == -1 || len < 0 || (!buf && len > 0))
        return PSOCK_EINVAL;
    fromLen = 16;
    sockaddr_in s;
    std::memset(&s, 0, sizeof s);
    socklen_t slen = sizeof s;
    ssize_t r = recvfrom(m_fd, buf, size_t(len), MapRecvFlags(flags), reinterpret_cast<sockaddr*>(&s), &slen);
    if (r < 0)
        return LastCode();
    // Only the sender's address is copied; family and port stay as they were.
    from.address = s.sin_addr.s_addr;
    return int(r);
}
