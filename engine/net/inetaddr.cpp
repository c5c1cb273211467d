#include "engine/net/inetaddr.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

void PSockAddrSet(PSockAddr& a, uint32_t netAddress, uint16_t netPort)
{
    std::memset(&a, 0, sizeof a);
    a.family = PSOCK_AF_INET;
    a.port = netPort;
    a.address = netAddress;
}

int PSockErrorCode(int e)
{
    switch (e) {
    case 0:
        return 0;
    case ENOENT:
        return PSOCK_ENOENT;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return PSOCK_EWOULDBLOCK;
    case EBUSY:
    case EINPROGRESS:
    case EALREADY: // a connect already under way
        return PSOCK_EINPROGRESS;
    case EINVAL:
        return PSOCK_EINVAL;
    case ENETDOWN:
        return PSOCK_ENETDOWN;
    case ENETUNREACH:
        return PSOCK_ENETUNREACH;
    case ENETRESET:
        return PSOCK_ENETRESET;
    case ECONNABORTED:
        return PSOCK_ECONNABORTED;
    case ECONNRESET:
    case EPIPE: // writing to a connection the peer has dropped
        return PSOCK_ECONNRESET;
    case EISCONN:
        return PSOCK_EISCONN;
    case ENOTCONN:
        return PSOCK_ENOTCONN;
    case ETIMEDOUT:
        return PSOCK_ETIMEDOUT;
    case ECONNREFUSED:
        return PSOCK_ECONNREFUSED;
    case EHOSTDOWN:
    case EHOSTUNREACH:
        return PSOCK_EHOSTUNREACH;
    default:
        return PSOCK_EINVAL;
    }
}

const char* PSockErrorText(int code)
{
    switch (code) {
    case 0:
        return "no error";
    case PSOCK_EINVAL:
        return "invalid request or closed socket";
    case PSOCK_ENOENT:
        return "no such name";
    case PSOCK_ENOMEM:
        return "out of memory";
    case PSOCK_ETIMEDOUT:
        return "timed out";
    case PSOCK_ENOOPT:
        return "unsupported option";
    case PSOCK_EWOULDBLOCK:
        return "would block";
    case PSOCK_EINPROGRESS:
        return "in progress";
    case PSOCK_ENETUNREACH:
        return "network unreachable";
    case PSOCK_ENETDOWN:
        return "network down";
    case PSOCK_ENETRESET:
        return "network reset";
    case PSOCK_EHOSTUNREACH:
        return "host unreachable";
    case PSOCK_ECONNREFUSED:
        return "connection refused";
    case PSOCK_ECONNRESET:
        return "connection reset";
    case PSOCK_ECONNABORTED:
        return "connection aborted";
    case PSOCK_EISCONN:
        return "already connected";
    case PSOCK_ENOTCONN:
        return "not connected";
    default:
        return "unknown error";
    }
}

namespace {

// Writes v (0..255) in decimal; returns the end.
char* PutOctet(char* out, unsigned v)
{
    if (v >= 100)
        *out++ = char('0' + v / 100);
    if (v >= 10)
        *out++ = char('0' + v / 10 % 10);
    *out++ = char('0' + v % 10);
    return out;
}

// Strict dotted-quad parser; false on anything but a.b.c.d with 0..255 parts
// written without leading zeros.
bool ParseDotted(const char* s, unsigned& out)
{
    if (!s)
        return false;
    unsigned result = 0;
    for (int part = 0; part < 4; part++) {
        if (part > 0) {
            if (*s != '.')
                return false;
            s++;
        }
        if (*s < '0' || *s > '9')
            return false;
        unsigned v = 0;
        int digits = 0;
        while (*s >= '0' && *s <= '9') {
            if (digits == 1 && v == 0)
                return false; // leading zero
            v = v * 10 + unsigned(*s - '0');
            if (v > 255)
                return false;
            digits++;
            s++;
        }
        result |= v << (8 * part);
    }
    if (*s != 0)
        return false;
    out = result;
    return true;
}

// The first octet of a network-order address (the lowest byte).
unsigned FirstOctet(unsigned address)
{
    return address & 0xFFu;
}

constexpr unsigned kFirstGroupOctet = 224;  // groups, reserved, all ones
constexpr unsigned kLoopbackOctet = 127;

int LookupFirst(unsigned& ip, const char* name)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    int r = getaddrinfo(name, nullptr, &hints, &res);
    if (r != 0) {
        switch (r) {
        case EAI_SYSTEM:
            return PSockErrorCode(errno);
        case EAI_AGAIN:
            return PSOCK_ETIMEDOUT;
        case EAI_MEMORY:
            return PSOCK_ENOMEM;
        default:
            return PSOCK_ENOENT;
        }
    }
    int result = PSOCK_ENOENT;
    for (addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
            ip = reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
            result = 0;
            break;
        }
    }
    freeaddrinfo(res);
    return result;
}

} // namespace

bool PInetPeerReachable(unsigned address)
{
    return address != 0 && FirstOctet(address) < kFirstGroupOctet;
}

bool PInetReachableByOthers(unsigned address)
{
    return PInetPeerReachable(address) && FirstOctet(address) != kLoopbackOctet;
}

char* PInetNtoa(unsigned addr, char* out)
{
    for (int i = 0; i < 4; i++) {
        if (i)
            *out++ = '.';
        out = PutOctet(out, (addr >> (8 * i)) & 0xFF);
    }
    *out = 0;
    return out;
}

char* PInetHtoa(unsigned addr, char* out)
{
    return PInetNtoa(__builtin_bswap32(addr), out);
}

unsigned PInetAddr(const char* text)
{
    unsigned v;
    return ParseDotted(text, v) ? v : 0xFFFFFFFFu;
}

bool PInetAton(unsigned& out, const char* text)
{
    out = PInetAddr(text);
    return out != 0xFFFFFFFFu;
}

int PGetHostByName(unsigned& ip, const char* name)
{
    if (!name)
        return get_all_ip_addr(ip);
    int r = LookupFirst(ip, name);
    if (r != 0)
        return r;
    return PInetReachableByOthers(ip) ? 0 : -1;
}

int PHostLookup(unsigned& ip, const char* name)
{
    if (!name || !*name)
        return PSOCK_EINVAL;
    return LookupFirst(ip, name);
}

int get_all_ip_addr(unsigned& ip)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return -1;
    // getifaddrs gives a linked list; walk it from the last entry to the first.
    int count = 0;
    for (ifaddrs* p = list; p; p = p->ifa_next)
        count++;
    if (count == 0) {
        freeifaddrs(list);
        return -1;
    }
    ifaddrs** entries = new ifaddrs*[count];
    if (!entries) {
        freeifaddrs(list);
        return -1;
    }
    int i = 0;
    for (ifaddrs* p = list; p; p = p->ifa_next)
        entries[i++] = p;
    int result = -1;
    for (i = count - 1; i >= 0; i--) {
        ifaddrs* e = entries[i];
        if (!e->ifa_addr || e->ifa_addr->sa_family != AF_INET)
            continue;
        uint32_t a = reinterpret_cast<sockaddr_in*>(e->ifa_addr)->sin_addr.s_addr;
        if (!PInetReachableByOthers(a))
            continue;
        ip = a;
        char upper[32];
        int n = 0;
        for (const char* s = e->ifa_name ? e->ifa_name : ""; *s && n < 31; s++)
            upper[n++] = (*s >= 'a' && *s <= 'z') ? char(*s - 32) : *s;
        upper[n] = 0;
        if (std::strstr(upper, "WLAN")) {
            result = 1;
            break;
        }
        result = 0;
    }
    delete[] entries;
    freeifaddrs(list);
    return result;
}
