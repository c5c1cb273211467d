// The local-network back end's room discovery: the device's own address,
// the announcement datagram, the host's announcing sockets, the search
// socket and the room table.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/net/inetaddr.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/ptime.h"
#include "game/multiplayer/ipinterface.h"

namespace {

constexpr char kTag[] = "NVGR";
constexpr int kMinDatagram = 10;
constexpr char kDefaultRoomName[] = "DEFAULT GAMEROOM";
constexpr int kMaxPort = 65535;

// Whether count datagrams in span ms come at a flood's rate; a span shorter
// than the window counts as the window.
bool Flooding(int32_t count, int32_t span)
{
    const int64_t window = IPInterface::kFloodWindowMs;
    return int64_t(count) * window >= int64_t(IPInterface::kFloodDatagrams) * std::max<int64_t>(span, window);
}

// A decimal number at the start of [p, end): -1 when it does not start with
// a digit; large values stop growing at 99999999.
int ParseDecimal(const char* p, const char* end)
{
    if (p >= end || *p < '0' || *p > '9')
        return -1;
    int v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        if (v < 10000000)
            v = v * 10 + (*p - '0');
    return v;
}

}  // namespace

int GetHostAddr(unsigned int& address)
{
    address = 0;
    unsigned found = 0;
    int r = PGetHostByName(found, nullptr);
    if (r != 0 && r != 1)
        return 0;
    address = found;
    return 1;
}

bool IPInterface::isValidIP(unsigned int address)
{
    // A room on this very device (another program, or the same one) is
    // joined over loopback.
    return PInetPeerReachable(address);
}

int IPInterface::isConnectionAvailable()
{
    unsigned a;
    return GetHostAddr(a);
}

int IPInterface::GetDeviceInfo(DeviceInfo& info)
{
    unsigned a;
    if (!GetHostAddr(a))
        return 0;
    m_hostAddress = a;
    info.ip = a;
    info.port = uint32_t(m_port);
    return 1;
}

int IPInterface::RequestGameRooms()
{
    ResetConnections();
    SessionReset();
    return InitGameRoomSearch();
}

void IPInterface::StopGameRoomRequest()
{
    if (m_status != kSearching)
        return;
    m_status = kIdle;
    m_listen.Close();
}

MPInterface::GameRoom* IPInterface::GetGameRoom(int index)
{
    if (index < 0 || index >= m_roomCount)
        return nullptr;
    return &m_rooms[index];
}

int IPInterface::InitGameRoomSearch()
{
    if (m_listen.Open(PSOCK_AF_INET, PSOCK_DGRAM, 17) != 0) {
        _PDebug("LAN: no search socket\n");
        return 0;
    }
    PSockAddrIP any;
    PSockAddrSet(any, 0, kBroadcastPort);
    if (m_listen.Bind(any, 16, 1) != 0) {
        _PDebug("LAN: the search socket cannot take port 2000\n");
        m_listen.Close();
        return 0;
    }
    uint32_t membership[2] = {PInetAddr(kMulticastAddr), 0};
    if (m_listen.SetOpt(PSOCK_LEVEL_IP, PSOCK_OPT_IP_ADD_MEMBERSHIP, membership) == 0) {
        uint8_t ttl = kAnnounceTtl;
        m_listen.SetOpt(PSOCK_LEVEL_IP, PSOCK_OPT_IP_MULTICAST_TTL, &ttl);
    } else {
        _PDebug("LAN: cannot join the room group; listening to broadcasts only\n");
    }
    m_listen.SetBlocking(0);
    m_status = kSearching;
    m_roomCount = 0;
    m_arrivalsOpen = 0;  // counted from the first poll on
    m_searchFlooded = 0;
    return 1;
}

int IPInterface::StartBroadcastSocket()
{
    std::memset(&m_destination, 0, sizeof m_destination);
    std::memset(&m_broadcastBind, 0, sizeof m_broadcastBind);
    PSockAddrSet(m_broadcastBind, m_hostAddress, kBroadcastPort);
    if (m_broadcast.Open(PSOCK_AF_INET, PSOCK_DGRAM, 17) != 0)
        return 0;
    // The last octet set to 255, whatever the network's mask is.
    PSockAddrSet(m_destination, m_hostAddress | 0xFF000000u, kBroadcastPort);
    if (m_broadcast.Bind(m_broadcastBind, 16, 1) != 0) {
        m_broadcast.Close();
        return 0;
    }
    int on = 1;
    if (m_broadcast.SetOpt(PSOCK_LEVEL_SOCKET, PSOCK_OPT_BROADCAST, &on) != 0) {
        m_broadcast.Close();
        return 0;
    }
    return 1;
}

int IPInterface::StartMulticastSocket()
{
    if (!m_multicast.IsOpen() && m_multicast.Open(PSOCK_AF_INET, PSOCK_DGRAM, 17) != 0)
        return 0;
    PSockAddrIP any;
    PSockAddrSet(any, 0, 0);
    uint32_t anyInterface = 0;
    if (m_multicast.Bind(any, 16, 1) != 0 ||
        m_multicast.SetOpt(PSOCK_LEVEL_IP, PSOCK_OPT_IP_MULTICAST_IF, &anyInterface) != 0) {
        m_multicast.Close();
        return 0;
    }
    uint8_t ttl = kAnnounceTtl;
    m_multicast.SetOpt(PSOCK_LEVEL_IP, PSOCK_OPT_IP_MULTICAST_TTL, &ttl);
    return 1;
}

void IPInterface::CreateBroadcastMsg(unsigned int address, int port, const GameRoom& room)
{
    // The name is a colon-separated field: its colons go.
    char name[kNameSize] = {};
    int n = 0;
    for (int i = 0; i < kNameSize - 1 && room.name[i]; ++i)
        if (room.name[i] != ':')
            name[n++] = room.name[i];
    char dotted[16];
    PInetNtoa(address, dotted);
    PSnprintf(m_prefix, int(sizeof m_prefix), "NVGR:%s:%d:%s:", dotted, port, n ? name : kDefaultRoomName);
}

int IPInterface::SendGameRoomInfo(int open)
{
    char text[sizeof m_prefix + 32];
    PSnprintf(text, int(sizeof text), "%s%d:%d:", m_prefix, m_clientCount, open);
    int length = int(std::strlen(text));
    PSockAddrSet(m_destination, m_hostAddress | 0xFF000000u, kBroadcastPort);
    int sent = 0;
    if (m_broadcast.IsOpen() && m_broadcast.SendTo(text, length, 0, m_destination, 16) == length)
        sent = 1;
    if (m_multicast.IsOpen() && m_multicast.SendTo(text, length, 0, m_multicastDest, 16) == length)
        sent = 1;
    return sent;
}

EventList::event IPInterface::processPollGameRooms()
{
    uint32_t now = PTickCount();
    if (!m_arrivalsOpen) {
        // A new search socket: what waits in it arrived since it was made.
        m_arrivalsOpen = 1;
        m_arrivalsSince = m_queueEmptyAt = now;
        m_arrivals = 0;
        m_searchFlooded = 0;
    } else if (PTickSince(m_queueEmptyAt, m_arrivalsSince) >= int32_t(kFloodWindowMs)) {
        // A whole window has been read up to an empty queue: its rate says
        // whether the flood goes on; the next window starts there.
        m_searchFlooded = Flooding(m_arrivals, PTickSince(m_queueEmptyAt, m_arrivalsSince)) ? 1 : 0;
        m_arrivalsSince = m_queueEmptyAt;
        m_arrivals = 0;
    }
    char datagram[kMaxDatagram + 1];
    int read = 0;
    bool empty = false;
    while (m_listen.IsOpen() && read < kDatagramsPerPoll) {
        PSockAddrIP from;
        PSockAddrSet(from, 0, 0);
        int fromLength = 16;
        int n = m_listen.RecvFrom(datagram, kMaxDatagram, 0, from, fromLength);
        if (n <= 0) {
            empty = true;
            break;
        }
        ++read;
        if (CountArrival(now)) {
            char dotted[16];
            PInetNtoa(from.address, dotted);
            _PDebugPeerAddress(from.address,
                               "LAN: %d datagrams in %d ms on the room search (the last from %s): a flood; the "
                               "listed rooms are kept while it lasts\n",
                               m_arrivals, int(std::max<int32_t>(PTickSince(now, m_arrivalsSince), 0)), dotted);
        }
        handleGameRoomInfo(datagram, n, from.address);
    }
    if (empty)
        m_queueEmptyAt = now;
    if (m_searchFlooded) {
        // Announcements of the listed rooms may be lost in the flood (the
        // socket's queue overflows, or they wait behind the poll's budget):
        // while it lasts they count as heard, so that a flood cannot push a
        // room out. Closing announcements that come through still close
        // their rooms.
        for (int i = 0; i < m_roomCount; ++i)
            if (PTickSince(m_rooms[i].expiry, now + kRoomLifeMs) < 0)
                m_rooms[i].expiry = now + kRoomLifeMs;
    }
    for (int i = m_roomCount - 1; i >= 0; --i)
        if (PTickSince(m_rooms[i].expiry, now) < 0)
            removeGameRoom(i);
    return EventList::kNone;
}

bool IPInterface::CountArrival(uint32_t now)
{
    if (m_arrivals < INT32_MAX)  // a flood that never lets the queue empty
        ++m_arrivals;
    if (m_searchFlooded || !Flooding(m_arrivals, PTickSince(now, m_arrivalsSince)))
        return false;
    m_searchFlooded = 1;
    return true;
}

void IPInterface::handleGameRoomInfo(const char* text, int length, unsigned int sender)
{
    // A room must be reachable at its source.
    if (!text || length < kMinDatagram || std::memcmp(text, kTag, 4) != 0 || !isValidIP(sender))
        return;
    const char* end = text + length;
    // The tag's colon, then the colons ending address, port, name, players
    // and open; every field starts inside the received bytes.
    const char* field[5];
    const char* fieldEnd[5];
    const char* colon = static_cast<const char*>(std::memchr(text, ':', size_t(length)));
    for (int f = 0; f < 5; ++f) {
        if (!colon || colon + 1 >= end)
            return;
        field[f] = colon + 1;
        colon = static_cast<const char*>(std::memchr(field[f], ':', size_t(end - field[f])));
        if (!colon)
            return;
        fieldEnd[f] = colon;
    }
    int port = ParseDecimal(field[1], fieldEnd[1]);
    if (port < 1 || port > kMaxPort)
        return;
    int players = ParseDecimal(field[3], fieldEnd[3]);
    int open = ParseDecimal(field[4], fieldEnd[4]);

    // The room is listed at the address its announcement came from, not at
    // the one it names: then no device can open, rename or close a room at
    // another's address, and a host whose announcement leaves by another
    // interface than the one of the address it names is still listed (its
    // game port listens on all of its addresses). A room is its address and
    // its game port: two programs on one machine host two rooms.
    int index = findGameRoomIndex(sender, port);
    if (open != 1) {
        if (index >= 0)
            removeGameRoom(index);
        return;
    }
    if (index < 0)
        index = placeGameRoom(sender);
    if (index < 0)
        return;
    GameRoom& room = m_rooms[index];
    std::memset(&room, 0, sizeof room);
    int nameLength = int(fieldEnd[2] - field[2]);
    if (nameLength > kNameSize - 1)
        nameLength = kNameSize - 1;
    std::memcpy(room.name, field[2], size_t(nameLength));
    room.players = std::clamp(players, 0, int(kMaxPlayers));  // a room holds four at most
    room.maxPlayers = kMaxPlayers;
    room.reserved = 0;
    room.hostAddress.family = PSOCK_AF_INET;
    room.hostAddress.port = uint16_t(port);
    room.hostAddress.address = sender;
    const uint32_t now = PTickCount();
    room.expiry = now + kRoomLifeMs;
    m_roomHeardTurn[index] = ++m_announcementsHeard;
}

int IPInterface::findGameRoomIndex(unsigned int address, int port)
{
    for (int i = 0; i < m_roomCount; ++i)
        if (m_rooms[i].hostAddress.address == address && m_rooms[i].hostAddress.port == port)
            return i;
    return -1;
}

int IPInterface::placeGameRoom(unsigned int address)
{
    // The room heard longest ago among those of the address (or all).
    auto oldest = [this](bool ofAddress, unsigned a) {
        int index = -1;
        for (int i = 0; i < m_roomCount; ++i)
            if ((!ofAddress || m_rooms[i].hostAddress.address == a) &&
                (index < 0 || int32_t(m_roomHeardTurn[i] - m_roomHeardTurn[index]) < 0))
                index = i;
        return index;
    };
    int own = 0;
    for (int i = 0; i < m_roomCount; ++i)
        own += m_rooms[i].hostAddress.address == address;
    int index = -1;
    if (own >= kRoomsPerAddress) {
        // An address's rooms beyond its share take the places of its own.
        index = oldest(true, address);
    } else if (m_roomCount < kMaxRooms) {
        index = m_roomCount++;
    } else if (!m_searchFlooded) {
        // The list is full: the room heard longest ago gives its place.
        index = oldest(false, 0);
    }
    if (index >= 0) {
        std::memset(&m_rooms[index], 0, sizeof m_rooms[index]);
        m_rooms[index].hostAddress.family = PSOCK_AF_INET;
        m_rooms[index].hostAddress.address = address;
    }
    return index;
}

void IPInterface::removeGameRoom(int index)
{
    if (index < 0 || index >= m_roomCount)
        return;
    for (int i = index; i + 1 < m_roomCount; ++i) {
        m_rooms[i] = m_rooms[i + 1];
        m_roomHeardTurn[i] = m_roomHeardTurn[i + 1];
    }
    --m_roomCount;
}
