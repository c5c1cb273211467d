// IPv4 addresses: the engine's address record, dotted-text conversion, host
// look-up and the device's own address.
#pragma once
#include <cstdint>

// The engine's IPv4 socket address (16 bytes).
struct PSockAddr {
    uint16_t family;  // 2 = IPv4, the only family accepted
    uint16_t port;    // network byte order
    uint32_t address; // network byte order: first octet in the lowest byte
    uint8_t zero[8];
};
static_assert(sizeof(PSockAddr) == 16, "PSockAddr is 16 bytes");

// The same record under the name the multiplayer code uses.
typedef PSockAddr PSockAddrIP;

enum { PSOCK_AF_INET = 2 };

// Engine error codes of the socket layer (0 is success; counts are >= 0).
// -256 and -257 mean "try again later"; codes below -256 are fatal for the
// connection.
enum {
    PSOCK_EINVAL = -2,        // invalid argument, closed socket, not IPv4, other errors
    PSOCK_ENOENT = -3,
    PSOCK_ENOMEM = -4,        // no socket object could be made
    PSOCK_ETIMEDOUT = -5,
    PSOCK_ENOOPT = -6,        // socket option without a mapping
    PSOCK_EWOULDBLOCK = -256,
    PSOCK_EINPROGRESS = -257,
    PSOCK_ENETUNREACH = -258,
    PSOCK_ENETDOWN = -259,
    PSOCK_ENETRESET = -260,
    PSOCK_EHOSTUNREACH = -261,
    PSOCK_ECONNREFUSED = -262,
    PSOCK_ECONNRESET = -263,
    PSOCK_ECONNABORTED = -264,
    PSOCK_EISCONN = -265,
    PSOCK_ENOTCONN = -266,
};

// Fills a record for an IPv4 address and port, both given in network order.
void PSockAddrSet(PSockAddr& a, uint32_t netAddress, uint16_t netPort);

// Writes the dotted text of a network-order address; returns the end of the
// text (the terminating zero). `out` needs 16 bytes.
char* PInetNtoa(unsigned addr, char* out);
// The same for a host-order address.
char* PInetHtoa(unsigned addr, char* out);

// Dotted-decimal text to a network-order address: exactly four decimal parts
// of 0..255 separated by '.', nothing before or after. Any other text gives
// 0xFFFFFFFF.
unsigned PInetAddr(const char* text);
// out = PInetAddr(text); true unless the result is 0xFFFFFFFF (so the text
// 255.255.255.255 is refused like any malformed text).
bool PInetAton(unsigned& out, const char* text);

// The rules on network-order addresses. Groups, reserved addresses and the
// all-ones broadcast have a first octet of 224 or more; loopback addresses
// (this device itself) a first octet of 127.
//
// Whether this device can reach a peer at the address: not 0.0.0.0 (no
// device's address) and not a group, reserved or all ones. Loopback is
// reachable: a peer on this very device.
bool PInetPeerReachable(unsigned address);
// Whether other devices can reach this one at the address (the own address
// it hosts and announces at): reachable, and not loopback.
bool PInetReachableByOthers(unsigned address);

// With a null name: the device's own address (see get_all_ip_addr) and its
// result. Otherwise looks the name up; ip = the first IPv4 address; -1 when
// other devices cannot reach that address (PInetReachableByOthers), else 0;
// an engine error code when the name has no address.
int PGetHostByName(unsigned& ip, const char* name);

// Looks a host name up for a connection: 0 with ip set (network order) to its
// first IPv4 address, -257 while a look-up is still in progress (never on this
// platform, whose look-up completes in the call), another negative engine
// code when the name cannot be resolved. Loopback addresses are accepted.
int PHostLookup(unsigned& ip, const char* name);

// The device's own IPv4 address: walks the interfaces from the last to the
// first; every address others can reach (PInetReachableByOthers) is stored
// in ip; an interface whose upper-cased name contains "WLAN" ends the walk
// with 1. Otherwise 0 when some address was stored, -1 when none qualified.
int get_all_ip_addr(unsigned& ip);

// Maps a platform error number to the engine's negative error code.
int PSockErrorCode(int platformErrno);
// The engine's error code in words, for log lines ("network unreachable").
const char* PSockErrorText(int code);
