// The local-network back end's game connections: hosting, joining, the
// player table, the message framing and the poll.
#include "game/multiplayer/ipinterface.h"

#include <algorithm>
#include <cstring>

#include "engine/net/inetaddr.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/ptime.h"

namespace {

constexpr unsigned kConnectWaitMs = 100;

// Copies at most 31 characters of a name of up to 32 bytes, NUL-terminated.
void CopyName(char* to, const char* from, int fromBytes)
{
    int n = 0;
    if (from)
        for (; n < fromBytes && n < MPInterface::kNameSize - 1 && from[n]; ++n)
            to[n] = from[n];
    std::memset(to + n, 0, size_t(MPInterface::kNameSize - n));
}

// One line for a join that cannot reach its room, the reason in words.
void LogUnreachable(const PSockAddrIP& room, int code)
{
    char dotted[16];
    PInetNtoa(room.address, dotted);
    _PDebug("LAN: the room at %s port %d cannot be reached (%s); the join is refused\n", dotted,
            int(PSwap16(room.port)), PSockErrorText(code));
}

}  // namespace

IPInterface::IPInterface()
{
    m_hostAddress = 0;
    m_port = kFirstPort;
    m_initialised = 1;
    SessionReset();
    m_disconnectStatus = 0;
    PSockAddrSet(m_multicastDest, PInetAddr(kMulticastAddr), kMulticastPort);
}

IPInterface::~IPInterface()
{
    Disconnect();
    ResetConnections();
    ResetClientDB();
}

void IPInterface::SessionReset()
{
    ResetClientDB();
    m_status = kIdle;
    m_busyPending = 0;
    m_lastAnnouncement = 0;
    m_pollIndex = 0;
    m_roomCount = 0;
    m_role = kNoRole;
    m_payloadWaiting = 0;
    events.Reset();
}

void IPInterface::ResetConnections()
{
    m_listen.Close();
    m_broadcast.Close();
    m_multicast.Close();
    for (LanLink& l : m_links)
        l.Close();
    for (int k = 0; k < kMaxNameless; ++k)
        CloseNameless(k);
    m_status = kIdle;
    m_joined = 0;
}

void IPInterface::SetUserInfo(const char* name)
{
    CopyName(m_ownName, name, kNameSize);
}

// Hosting.

int IPInterface::HostGameRoom(GameRoom& room)
{
    ResetConnections();
    SessionReset();
    m_role = kHost;
    unsigned address;
    if (!GetHostAddr(address)) {
        _PDebug("LAN: cannot host without an own address\n");
        return 0;
    }
    m_hostAddress = address;
    int broadcast = StartBroadcastSocket();
    int multicast = StartMulticastSocket();
    if (!broadcast && !multicast) {
        _PDebug("LAN: no socket to announce the room on\n");
        return 0;
    }
    return StartListening(room);
}

int IPInterface::StartListening(const GameRoom& room)
{
    if (m_listen.Open(PSOCK_AF_INET, PSOCK_STREAM, 0) != 0) {
        _PDebug("LAN: no listen socket\n");
        return 0;
    }
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        m_port = port;
        PSockAddrIP any;
        PSockAddrSet(any, 0, PSwap16(uint16_t(port)));
        if (m_listen.Bind(any, 16, 1) != 0 || m_listen.Listen(kListenBacklog) != 0)
            continue;
        CreateBroadcastMsg(m_hostAddress, port, room);
        m_listen.SetBlocking(0);
        m_status = kRunning;
        events.Add(EventList::kConnected);
        AddClient(0, m_ownName, 0);
        return 1;
    }
    _PDebug("LAN: no free port from %d to %d\n", kFirstPort, kLastPort);
    m_listen.Close();
    return 0;
}

void IPInterface::processPollPlayers()
{
    uint32_t now = PTickCount();
    if (now - m_lastAnnouncement > kAnnounceEveryMs || m_lastAnnouncement == 0) {
        m_lastAnnouncement = now;
        SendGameRoomInfo(1);
        if (m_freeSocket == -1)
            m_freeSocket = FindFreeSocket();
    }
    AcceptClients();
}

void IPInterface::AcceptClients()
{
    // Everything that waits: a connection left in the queue keeps an
    // honest guest's connect from getting in behind it.
    const uint32_t passStart = m_accepts;
    for (int i = 0; i < kAcceptsPerPoll && m_listen.IsOpen(); ++i) {
        PSocket incoming;
        if (m_listen.Accept(incoming) != 0)
            break;  // nothing waiting, or the listen socket's error
        incoming.SetBlocking(0);
        if (m_clientCount < kMaxPlayers && FindFreeSocket() >= 0) {
            TakeClient(incoming, passStart);
            continue;
        }
        // A room that is full turns a further client away at once,
        // instead of leaving it waiting in the listen queue.
        uint8_t leave = kLanLeave;
        incoming.Write(&leave, 1);
        // A client that has already reset has no address to read.
        PSockAddr from = {};
        bool known = incoming.RemoteName(from) == 0;
        incoming.Close();
        if (known) {
            char dotted[16];
            PInetNtoa(from.address, dotted);
            _PDebugPeerAddress(from.address, "LAN: the room is full; a further client at %s was turned away\n", dotted);
        } else {
            _PDebugPeerAddress(0, "LAN: the room is full; a further client, whose address could not be read, "
                                  "was turned away\n");
        }
    }
}

void IPInterface::CloseNameless(int k)
{
    NamelessPlace& place = m_nameless[k];
    place.socket.Close();
    place.peer = 0;
    place.toldId = 0;
    place.inEnd = 0;
}

void IPInterface::TakeClient(PSocket& accepted, uint32_t passStart)
{
    PSockAddr from = {};
    const uint32_t address = accepted.RemoteName(from) == 0 ? from.address : 0;
    const uint32_t now = PTickCount();
    // A free place, unless the address holds its share already: then its
    // oldest goes. With every place taken, the oldest of the address that
    // holds the most places goes, among those that had their grace: a few
    // addresses reopening their connections push out one another, never a
    // newcomer from elsewhere before it could give its name.
    int free = -1, own = 0, oldestOwn = -1, crowded = -1, crowdedHolds = 0;
    auto older = [this](int a, int b) { return b < 0 || int32_t(m_nameless[a].turn - m_nameless[b].turn) < 0; };
    // An address that could not be read is nobody's in particular.
    auto sameAddress = [this](int k, uint32_t a) {
        return a != 0 && m_nameless[k].socket.IsOpen() && m_nameless[k].peer == a;
    };
    for (int k = 0; k < kMaxNameless; ++k) {
        if (!m_nameless[k].socket.IsOpen()) {
            if (free < 0)
                free = k;
            continue;
        }
        const bool mine = sameAddress(k, address);
        own += mine;
        if (mine && older(k, oldestOwn))
            oldestOwn = k;
        if (PTickSince(now, m_nameless[k].acceptedAt) < int32_t(kNameGraceMs))
            continue;
        int holds = 0;
        for (int j = 0; j < kMaxNameless; ++j)
            holds += j == k || sameAddress(j, m_nameless[k].peer);
        if (holds > crowdedHolds || (holds == crowdedHolds && older(k, crowded))) {
            crowded = k;
            crowdedHolds = holds;
        }
    }
    char dotted[16];
    PInetNtoa(address, dotted);
    if (own >= kNamelessPerAddress && int32_t(m_nameless[oldestOwn].turn - passStart) > 0) {
        // Its oldest came in this same pass and has had no round trip to
        // give its name: the further one is turned away instead.
        _PDebugPeerAddress(address, "LAN: too many connections without a name from %s at once; turned away\n",
                           dotted);
        accepted.Close();
        return;
    }
    const int k = own >= kNamelessPerAddress ? oldestOwn : free >= 0 ? free : crowded;
    if (k < 0) {
        _PDebugPeerAddress(address,
                           "LAN: every place for a connection without a name (%d) is held by one younger than "
                           "%u ms; %s turned away\n",
                           kMaxNameless, kNameGraceMs, dotted);
        accepted.Close();
        return;
    }
    NamelessPlace& place = m_nameless[k];
    if (place.socket.IsOpen()) {
        char closed[16];
        PInetNtoa(place.peer, closed);
        _PDebugPeerAddress(place.peer,
                           "LAN: too many connections without a name (%d from one address, %d in all at most); "
                           "closing the oldest, from %s\n",
                           kNamelessPerAddress, kMaxNameless, closed);
        CloseNameless(k);
    }
    place.socket.Swap(accepted);
    place.socket.SetBlocking(0);
    place.peer = address;
    place.acceptedAt = now;
    place.turn = ++m_accepts;
    place.inEnd = 0;
    // The id of a free player's place that no other connection without a
    // name was told, else of the first free place: the place is taken only
    // with the name, and a guest told an id taken meanwhile is told again.
    int id = 0;
    for (int c = 0; c < kMaxClients && !id; ++c) {
        bool told = false;
        for (int j = 0; j < kMaxNameless; ++j)
            told |= j != k && m_nameless[j].socket.IsOpen() && m_nameless[j].toldId == c + 1;
        if (!m_links[c].IsOpen() && !told)
            id = c + 1;
    }
    if (!id)
        id = std::max(FindFreeSocket(), 0) + 1;  // none free: NameClient turns it away
    place.toldId = uint8_t(id);
    // The first bytes of a new connection always fit its send buffer.
    const uint8_t msg[2] = {kLanYourId, uint8_t(id)};
    if (place.socket.Write(msg, 2) != 2) {
        _PDebugPeerAddress(address, "LAN: %s could not be told its id; closing its connection\n", dotted);
        CloseNameless(k);
    }
}

bool IPInterface::ReadNameless()
{
    const uint32_t now = PTickCount();
    bool named = false;
    for (int k = 0; k < kMaxNameless; ++k) {
        NamelessPlace& place = m_nameless[k];
        if (!place.socket.IsOpen())
            continue;
        // The peer's address as text, made only for a line of the log.
        char text[16];
        auto dotted = [&] {
            PInetNtoa(place.peer, text);
            return text;
        };
        // The buffer holds one message of any type whole: read, take what
        // is whole, read on.
        bool ended = false;
        for (int quiet = 0; quiet < kQuietPerRead && place.socket.IsOpen(); ++quiet) {
            if (!ended && place.inEnd < int(sizeof place.in)) {
                const int r = place.socket.Read(place.in + place.inEnd, int(sizeof place.in) - place.inEnd);
                if (r > 0)
                    place.inEnd = int16_t(place.inEnd + r);
                else
                    ended = r != PSOCK_EWOULDBLOCK;  // closed or failed
            }
            const int length = lanframe::MessageLength(place.in, place.inEnd);
            if (length < 0) {
                _PDebugPeerAddress(place.peer, "LAN: malformed message (type %d) from %s; dropping the connection\n",
                                   place.in[0], dotted());
                CloseNameless(k);
            } else if (length == 0) {
                if (ended)
                    CloseNameless(k);
                break;
            } else if (place.in[0] == kLanLeave) {
                CloseNameless(k);
            } else if (place.in[0] == kLanUserInfo) {
                NameClient(k, length);
                named = true;
            } else {
                _PDebugPeerAddress(place.peer, "LAN: frame %d from %s before its name: dropped\n", int(place.in[0]),
                                   dotted());
                std::memmove(place.in, place.in + length, size_t(place.inEnd - length));
                place.inEnd = int16_t(place.inEnd - length);
            }
        }
        if (place.socket.IsOpen() && PTickSince(now, place.acceptedAt) > int32_t(kJoinLimitMs)) {
            _PDebugPeerAddress(place.peer,
                               "LAN: %s did not complete its join within %u ms; closing its connection\n", dotted(),
                               kJoinLimitMs);
            CloseNameless(k);
        }
    }
    return named;
}

void IPInterface::NameClient(int k, int nameBytes)
{
    NamelessPlace& from = m_nameless[k];
    char name[kNameSize];
    CopyName(name, reinterpret_cast<const char*>(from.in + 2), lanframe::kNameBytes);
    const int told = from.toldId;
    const int c = told >= 1 && told <= kMaxClients && !m_links[told - 1].IsOpen() ? told - 1 : FindFreeSocket();
    const uint32_t address = from.peer;
    char dotted[16];
    PInetNtoa(address, dotted);
    if (c < 0 || m_clientCount >= kMaxPlayers) {
        _PDebugPeerAddress(address, "LAN: the room filled before %s gave its name; it was turned away\n", dotted);
        uint8_t leave = kLanLeave;
        from.socket.Write(&leave, 1);
        CloseNameless(k);
        return;
    }
    // The connection and the bytes that came after the name become the
    // player's.
    if (!m_links[c].Adopt(from.socket, from.in + nameBytes, from.inEnd - nameBytes)) {
        CloseNameless(k);
        return;
    }
    CloseNameless(k);
    const int id = c + 1;
    // The log's lines about a player name it by this number: which address
    // it stands for.
    _PDebugPeerAddress(m_links[c].PeerAddress(), "LAN: player %d is %s\n", id,
                       m_links[c].PeerAddress() ? dotted : "an unknown address");
    AddClient(id, name, 0);
    m_clients[m_clientCount - 1].ready = 1;
    m_freeSocket = FindFreeSocket();
    if (id != told)
        SendUserIdToClient(c, id);  // it takes the id and says its name again
    SendUserListHostToAll();
    DropBrokenClients();
}

// Joining.

int IPInterface::JoinGameRoom(int index)
{
    m_role = kClient;
    ResetConnections();
    return ConnectToGameRoom(index);
}

int IPInterface::JoinGameRoom(const char* address, int port)
{
    m_role = kClient;
    ResetConnections();
    unsigned a = address ? PInetAddr(address) : 0xFFFFFFFFu;
    if (a == 0xFFFFFFFFu || port < 0 || port > 65535) {
        _PDebug("LAN: '%s' port %d is not an address to join; the join is refused\n", address ? address : "", port);
        return 0;
    }
    if (m_links[0].Socket().Open(PSOCK_AF_INET, PSOCK_STREAM, 0) != 0) {
        _PDebug("LAN: no socket to join a room with\n");
        return 0;
    }
    PSockAddrSet(m_destination, a, PSwap16(uint16_t(port == 0 ? kFirstPort : port)));
    return ConnectToAddress();
}

int IPInterface::ConnectToGameRoom(int index)
{
    if (index < 0 || index >= m_roomCount) {
        _PDebug("LAN: no listed room %d to join\n", index);
        return 0;
    }
    if (m_links[0].Socket().Open(PSOCK_AF_INET, PSOCK_STREAM, 0) != 0) {
        _PDebug("LAN: no socket to join a room with\n");
        return 0;
    }
    const GameRoom& room = m_rooms[index];
    PSockAddrSet(m_destination, room.hostAddress.address, PSwap16(room.hostAddress.port));
    return ConnectToAddress();
}

// The join is under way once the connect is: the room is joined (event 2)
// when the host has given the id.
int IPInterface::ConnectToAddress()
{
    ResetClientDB();
    LanLink& link = m_links[0];
    link.Reset();
    link.Socket().SetBlocking(0);
    m_joined = 0;
    m_joinStart = PTickCount();
    int r = link.Socket().Connect(m_destination, 16);
    if (r == 0) {
        link.Reset();  // connected: it learns the host's address
        AddClient(0, m_ownName, 0);
        m_clients[0].ready = 1;
        m_status = kRunning;
        return 1;
    }
    if (r == PSOCK_EWOULDBLOCK || r == PSOCK_EINPROGRESS) {
        m_status = kConnecting;
        return 1;
    }
    // No route to the address, for one: the connect fails at once.
    LogUnreachable(m_destination, r);
    link.Close();
    m_status = kIdle;
    return 0;
}

EventList::event IPInterface::processConnecting()
{
    int r = m_links[0].Socket().IsConnected(kConnectWaitMs);
    if (r == 0) {
        if (int32_t(PTickCount() - m_joinStart) <= int32_t(kJoinLimitMs))
            return EventList::kNone;
        _PDebug("LAN: no answer from the room within %u ms; the join is given up\n", kJoinLimitMs);
        m_links[0].Close();
        m_status = kIdle;
        return EventList::kRejected;
    }
    // A failed connect reports itself as an error condition; the socket
    // keeps the reason.
    int err = 0;
    m_links[0].Socket().LastError(err);
    if (r < 0 && err == 0)
        err = r;
    if (err != 0) {
        LogUnreachable(m_destination, err);
        m_links[0].Close();
        m_status = kIdle;
        return EventList::kRejected;
    }
    m_links[0].Reset();
    AddClient(0, m_ownName, 0);
    m_clients[0].ready = 1;
    m_status = kRunning;
    return EventList::kNone;
}

// The poll.

EventList::event IPInterface::PollMessages()
{
    switch (m_status) {
    case kIdle:
        return EventList::kNotConnected;
    case kConnecting:
        return processConnecting();
    case kConnected:
        m_status = kRunning;
        return EventList::kConnected;
    case kSearching:
        return processPollGameRooms();
    case kRunning:
        break;
    default:
        return EventList::kNone;
    }
    if (m_role == kHost) {
        // The names that came are read before newer connections are
        // accepted: a guest whose name is here is not pushed out by
        // connections of its address that came after it.
        const bool named = ReadNameless();
        processPollPlayers();
        for (int k = 0; k < kMaxClients; ++k)
            if (m_links[k].IsOpen())
                m_links[k].Flush();
        CheckClientTimers();
        if (DropBrokenClients())
            events.Add(EventList::kPlayersChanged);
        // A guest that named itself is in the table before its first
        // message is read.
        if (named)
            return EventList::kPlayersChanged;
        for (int n = 0; n < kMaxPlayers; ++n) {
            int position = m_pollIndex;
            m_pollIndex = (m_pollIndex + 1) % kMaxPlayers;
            if (position >= m_clientCount)
                continue;
            int id = m_clients[position].id;
            if (id < 1 || id > kMaxClients)
                continue;
            EventList::event e = processRead(id - 1);
            if (e != -1)
                return e;
        }
        return events.Get();
    }
    if (!m_links[0].Flush())
        return ClientLost();
    EventList::event e = processRead(0);
    if (e != -1)
        return e;
    if (ClientTimedOut())
        return ClientLost();
    return events.Get();
}

void IPInterface::CheckClientTimers()
{
    uint32_t now = PTickCount();
    for (int i = 0; i < m_clientCount; ++i) {
        int id = m_clients[i].id;
        if (id < 1 || id > kMaxClients)
            continue;
        LanLink& link = m_links[id - 1];
        if (!link.IsOpen() || link.Broken())
            continue;
        link.Fill();
        if (PTickSince(now, link.HeardAt()) > int32_t(kSilentLinkMs)) {
            _PDebug("LAN: nothing from player %d for %u ms; its link is lost\n", id, kSilentLinkMs);
            link.MarkBroken();
        }
    }
}

bool IPInterface::ClientTimedOut()
{
    uint32_t now = PTickCount();
    if (!m_joined && PTickSince(now, m_joinStart) > int32_t(kJoinLimitMs)) {
        _PDebug("LAN: the room gave no id within %u ms; the join is given up\n", kJoinLimitMs);
        return true;
    }
    if (m_joined && PTickSince(now, m_links[0].HeardAt()) > int32_t(kSilentLinkMs)) {
        _PDebug("LAN: nothing from the host for %u ms; the link is lost\n", kSilentLinkMs);
        return true;
    }
    return false;
}

// Reads the whole messages of a connection that are there, up to the first
// that gives an event (its event), and at most kQuietPerRead that give none:
// -1 when no message with an event was read.
EventList::event IPInterface::processRead(int connection)
{
    LanLink& link = m_links[connection];
    link.Fill();
    for (int quiet = 0; quiet < kQuietPerRead; ++quiet) {
        const uint8_t* msg;
        int length = link.Next(msg);
        if (length == 0)
            return -1;
        EventList::event e;
        if (m_role != kHost) {
            if (length > 0 && msg[0] == kLanLeave && !m_joined) {
                // Turned away before an id: the room is full.
                _PDebug("LAN: the room is full\n");
                ResetConnections();
                ResetClientDB();
                return EventList::kRoomActionRejected;
            }
            if (length < 0 || msg[0] == kLanLeave)
                return ClientLost();
            e = HandleClientMessage(msg, length);
        } else if (length < 0 || msg[0] == kLanLeave) {
            RemoveClient(connection + 1);
            m_freeSocket = FindFreeSocket();
            SendUserListHostToAll();
            DropBrokenClients();
            return EventList::kPlayersChanged;
        } else {
            e = HandleHostMessage(connection, msg, length);
        }
        if (e != -1 && e != EventList::kNone)
            return e;
        // The connection may have gone with what the message did.
        if (!link.IsOpen())
            return -1;
        link.Fill();
    }
    return -1;
}

EventList::event IPInterface::ClientLost()
{
    bool joined = m_joined != 0;
    if (!joined)
        _PDebug("LAN: the room closed the connection before the join was complete\n");
    ResetConnections();
    ResetClientDB();
    return joined ? EventList::kNotConnected : EventList::kRejected;
}

EventList::event IPInterface::HandleHostMessage(int connection, const uint8_t* msg, int length)
{
    // Whatever a client claims, its id is that of its connection.
    int id = connection + 1;
    switch (msg[0]) {
    case kLanData:
        std::memcpy(m_received, msg, size_t(length));
        m_received[1] = uint8_t(id);
        // The session sees the message first; what it refuses goes no further.
        if (m_relayFilter && !m_relayFilter(m_relayContext, id, m_received + 3, msg[2]))
            return -1;
        m_payloadSender = id;
        m_payloadLength = msg[2];
        m_payloadWaiting = 1;
        SendToOthers(connection);
        return EventList::kGameMessage;
    case kLanBusyState: {
        // A change goes to everyone; the same state again is only echoed to
        // the one that asked, whose request waits for the echo.
        int busy = msg[2] ? 1 : 0;
        int i = FindClientIndex(id);
        if (i >= 0 && int(m_clients[i].busy) != busy) {
            UpdateClientStatus(id, busy);
            SendBusyStatusHostToAll(id, busy);
        } else {
            uint8_t echo[3] = {kLanBusyState, uint8_t(id), uint8_t(busy)};
            SendOn(connection, echo, 3);
        }
        if (DropBrokenClients())
            events.Add(EventList::kPlayersChanged);
        return EventList::kNone;
    }
    case kLanUserInfo: {
        // A player keeps the name it joined under: under another it would be
        // a new player in every table. The same name again (a guest told a
        // new id says it again) changes nothing.
        char name[kNameSize];
        CopyName(name, reinterpret_cast<const char*>(msg + 2), lanframe::kNameBytes);
        const int i = FindClientIndex(id);
        if (i >= 0 && std::strcmp(m_clients[i].name, name) != 0) {
            _PDebugPeer(uint32_t(id), "LAN: player %d gave another name; it keeps the one it joined under\n", id);
            return EventList::kNone;
        }
        UpdateClient(id, name);
        SendUserListHostToAll();
        DropBrokenClients();
        return EventList::kPlayersChanged;
    }
    case kLanPlayerList:
    case kLanYourId:
        _PDebugPeer(uint32_t(id), "LAN: frame %d from player %d, which only the host sends: dropped\n", int(msg[0]),
                    id);
        return EventList::kNone;
    default:
        _PDebugPeer(uint32_t(id), "LAN: frame of unknown type %d from player %d: skipped\n", int(msg[0]), id);
        return EventList::kNone;
    }
}

EventList::event IPInterface::HandleClientMessage(const uint8_t* msg, int length)
{
    switch (msg[0]) {
    case kLanData:
        std::memcpy(m_received, msg, size_t(length));
        m_payloadSender = msg[1];
        m_payloadLength = msg[2];
        m_payloadWaiting = 1;
        return EventList::kGameMessage;
    case kLanBusyState: {
        int id = msg[1];
        UpdateClientStatus(id, msg[2] ? 1 : 0);
        if (id == m_ownId && m_busyPending) {
            m_busyPending = 0;
            return EventList::kBusyConfirmed;
        }
        return EventList::kNone;
    }
    case kLanPlayerList: {
        // The whole table is replaced; the own id stays.
        for (ClientInfo& c : m_clients) {
            std::memset(&c, 0, sizeof c);
            c.id = -1;
        }
        m_clientCount = 0;
        int count = msg[1];
        const uint8_t* record = msg + 2;
        for (int i = 0; i < count; ++i, record += lanframe::kListRecord)
            AddClient(record[1], reinterpret_cast<const char*>(record + 3), record[2] ? 1 : 0);
        return EventList::kPlayersChanged;
    }
    case kLanYourId: {
        int id = msg[1];
        if (id < 1 || id > kMaxClients) {
            _PDebug("LAN: the host gave the id %d, outside 1..3\n", id);
            return ClientLost();
        }
        UpdateMyUserId(id);
        SendUserInfoClient();
        if (m_links[0].Broken())
            return ClientLost();
        if (m_joined)
            return EventList::kPlayersChanged;
        m_joined = 1;
        return EventList::kConnected;
    }
    default:
        return EventList::kNone;
    }
}

void IPInterface::SendToOthers(int connection)
{
    int length = 3 + m_received[2];
    for (int i = 0; i < m_clientCount; ++i) {
        int id = m_clients[i].id;
        if (id >= 1 && id <= kMaxClients && id != connection + 1)
            m_links[id - 1].Send(m_received, length);
    }
    if (DropBrokenClients())
        events.Add(EventList::kPlayersChanged);
}

bool IPInterface::DropBrokenClients()
{
    bool dropped = false;
    for (int guard = 0; guard < kMaxPlayers; ++guard) {
        int broken = -1;
        for (int i = 0; i < m_clientCount && broken < 0; ++i) {
            int id = m_clients[i].id;
            if (id >= 1 && id <= kMaxClients && m_links[id - 1].Broken())
                broken = id;
        }
        if (broken < 0)
            break;
        RemoveClient(broken);
        m_freeSocket = FindFreeSocket();
        SendUserListHostToAll();
        dropped = true;
    }
    return dropped;
}

int IPInterface::SendOn(int connection, const void* data, int length)
{
    if (connection < 0 || connection >= kMaxPlayers || !m_links[connection].IsOpen())
        return 0;
    return m_links[connection].Send(data, length);
}

// Sending.

int IPInterface::GetPayLoad(unsigned char* buffer, unsigned int capacity)
{
    m_copiedLength = 0;
    if (!m_payloadWaiting)
        return 0;
    m_payloadWaiting = 0;
    unsigned n = unsigned(m_payloadLength) < capacity ? unsigned(m_payloadLength) : capacity;
    if (buffer && n > 0) {
        std::memcpy(buffer, m_received + 3, n);
        m_copiedLength = int32_t(n);
    }
    return m_payloadSender;
}

int IPInterface::SendToAll(unsigned char* data, int length, bool)
{
    if (m_status != kRunning || length < 0 || (!data && length > 0))
        return 0;
    uint8_t msg[3 + lanframe::kMaxPayload];
    int n = length > lanframe::kMaxPayload ? lanframe::kMaxPayload : length;
    msg[0] = kLanData;
    msg[1] = uint8_t(m_ownId);
    msg[2] = uint8_t(n);
    if (n > 0)
        std::memcpy(msg + 3, data, size_t(n));
    if (m_role == kHost) {
        int ok = 1;
        for (int i = 0; i < m_clientCount; ++i) {
            int id = m_clients[i].id;
            if (id >= 1 && id <= kMaxClients && !m_links[id - 1].Send(msg, 3 + n))
                ok = 0;
        }
        if (DropBrokenClients())
            events.Add(EventList::kPlayersChanged);
        return ok;
    }
    if (!m_links[0].Send(msg, 3 + n)) {
        ClientLost();
        events.Add(EventList::kNotConnected);
        return 0;
    }
    return 1;
}

int IPInterface::SendToAllConfirm(unsigned char* data, int length)
{
    int r = SendToAll(data, length, false);
    events.Add(EventList::kConfirmedSend);
    return r;
}

int IPInterface::SendToClient(int connection, unsigned char* data, int length)
{
    if (m_status != kRunning || length < 1 || !data)
        return 0;
    return SendOn(connection, data, length);
}

int IPInterface::SendBusyStateReq(unsigned char busy)
{
    int b = busy ? 1 : 0;
    if (m_role == kHost) {
        UpdateClientStatus(m_ownId, b);
        events.Add(EventList::kBusyConfirmed);
        SendBusyStatusHostToAll(m_ownId, b);
        if (DropBrokenClients())
            events.Add(EventList::kPlayersChanged);
        return 1;
    }
    m_busyPending = 1;
    SendBusyStatus(b);
    return 1;
}

int IPInterface::ClientsReady()
{
    if (m_status != kRunning || m_clientCount < 2)
        return 0;
    for (int i = 1; i < m_clientCount; ++i)
        if (m_clients[i].busy == 1 || !m_clients[i].ready)
            return 0;
    return 1;
}

void IPInterface::Disconnect()
{
    uint8_t leave = kLanLeave;
    if (m_role == kHost) {
        SendGameRoomInfo(0);
        for (LanLink& l : m_links)
            if (l.IsOpen()) {
                l.Send(&leave, 1);
                l.Flush();
                l.Close();
            }
    } else {
        if (m_status == kRunning && m_links[0].IsOpen()) {
            m_links[0].Send(&leave, 1);
            m_links[0].Flush();
        }
        m_links[0].Close();
    }
    ResetConnections();
    ResetClientDB();
}

// The player table.

int IPInterface::FindFreeSocket()
{
    for (int k = 0; k < kMaxClients; ++k)
        if (!m_links[k].IsOpen())
            return k;
    return -1;
}

int IPInterface::AddClient(int id, const char* name, int busy)
{
    if (m_clientCount >= kMaxPlayers)
        return 0;
    ClientInfo& c = m_clients[m_clientCount];
    c.id = id;
    c.busy = uint32_t(busy);
    if (name)
        CopyName(c.name, name, kNameSize);
    else
        std::memset(c.name, 0, sizeof c.name);
    c.ready = 0;
    ++m_clientCount;
    return 1;
}

int IPInterface::UpdateClient(int id, const char* name)
{
    int i = FindClientIndex(id);
    if (i < 0)
        return 0;
    if (name)
        CopyName(m_clients[i].name, name, kNameSize);
    m_clients[i].ready = 1;
    return 1;
}

int IPInterface::RemoveClient(int id)
{
    int i = FindClientIndex(id);
    if (i < 0)
        return 0;
    if (id >= 1 && id <= kMaxClients && m_links[id - 1].IsOpen())
        m_links[id - 1].Close();
    for (; i + 1 < m_clientCount; ++i)
        m_clients[i] = m_clients[i + 1];
    std::memset(&m_clients[m_clientCount - 1], 0, sizeof(ClientInfo));
    m_clients[m_clientCount - 1].id = -1;
    --m_clientCount;
    return 1;
}

int IPInterface::FindClientIndex(int id)
{
    for (int i = 0; i < m_clientCount; ++i)
        if (m_clients[i].id == id)
            return i;
    return -1;
}

void IPInterface::UpdateClientStatus(int id, int busy)
{
    int i = FindClientIndex(id);
    if (i >= 0)
        m_clients[i].busy = uint32_t(busy);
}

void IPInterface::ResetClientDB()
{
    m_ownId = 0;
    m_clientCount = 0;
    for (ClientInfo& c : m_clients) {
        std::memset(&c, 0, sizeof c);
        c.id = -1;
    }
    m_freeSocket = 0;
}

MPInterface::ClientInfo* IPInterface::GetPlayer(int position)
{
    if (position < 0 || position >= m_clientCount)
        return nullptr;
    return &m_clients[position];
}

int IPInterface::GetPlayerName(int id, char* buffer, int capacity)
{
    int i = FindClientIndex(id);
    if (i < 0)
        return 0;
    if (buffer && capacity > 0) {
        int n = 0;
        for (; n < capacity - 1 && m_clients[i].name[n]; ++n)
            buffer[n] = m_clients[i].name[n];
        buffer[n] = 0;
    }
    return 1;
}

// Control messages.

void IPInterface::SendUserIdToClient(int connection, int id)
{
    uint8_t msg[2] = {kLanYourId, uint8_t(id)};
    SendOn(connection, msg, 2);
}

void IPInterface::SendUserInfoClient()
{
    uint8_t msg[2 + lanframe::kNameBytes] = {kLanUserInfo, uint8_t(m_ownId)};
    std::memcpy(msg + 2, m_ownName, lanframe::kNameBytes);
    msg[2 + lanframe::kNameBytes - 1] = 0;
    SendOn(0, msg, int(sizeof msg));
}

void IPInterface::SendUserListHost(int connection)
{
    uint8_t msg[2 + lanframe::kListRecord * kMaxPlayers] = {kLanPlayerList, uint8_t(m_clientCount)};
    uint8_t* record = msg + 2;
    for (int i = 0; i < m_clientCount; ++i, record += lanframe::kListRecord) {
        record[0] = uint8_t(i);
        record[1] = uint8_t(m_clients[i].id);
        record[2] = uint8_t(m_clients[i].busy);
        std::memcpy(record + 3, m_clients[i].name, lanframe::kNameBytes);
    }
    SendOn(connection, msg, 2 + lanframe::kListRecord * m_clientCount);
}

void IPInterface::SendUserListHostToAll()
{
    for (int i = 0; i < m_clientCount; ++i) {
        int id = m_clients[i].id;
        if (id >= 1 && id <= kMaxClients)
            SendUserListHost(id - 1);
    }
}

void IPInterface::SendBusyStatus(int busy)
{
    uint8_t msg[3] = {kLanBusyState, uint8_t(m_ownId), uint8_t(busy)};
    if (!SendOn(0, msg, 3) && m_links[0].Broken()) {
        ClientLost();
        events.Add(EventList::kNotConnected);
    }
}

void IPInterface::SendBusyStatusHostToAll(int id, int busy)
{
    uint8_t msg[3] = {kLanBusyState, uint8_t(id), uint8_t(busy)};
    for (int i = 0; i < m_clientCount; ++i) {
        int cid = m_clients[i].id;
        if (cid >= 1 && cid <= kMaxClients)
            SendOn(cid - 1, msg, 3);
    }
}
