#include "game/multiplayer/nvserverinterface.h"

#include <cstring>
#include <new>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"
#include "game/multiplayer/ipinterface.h"

using namespace VOrededidaza;

namespace {

// Copies at most size - 1 characters of text and a NUL (an empty text for
// null).
void CopyBounded(char* to, int size, const char* text)
{
    int n = 0;
    if (text)
        for (; n < size - 1 && text[n]; ++n)
            to[n] = text[n];
    std::memset(to + n, 0, size_t(size - n));
}

}  // namespace

NVServerInterface::NVServerInterface()
{
    SessionReset();
    m_disconnectStatus = 0;
    m_address = 0;
    m_port = 1024;
    m_root = MultiplayerInterface::Create();
    if (!m_root) {
        _PDebug("Internet play: no online library\n");
        return;
    }
    m_discovery = m_root->createServerDiscovery();
    if (!m_discovery) {
        _PDebug("Internet play: no server discovery\n");
        return;
    }
    m_discovery->setObserver(this);
    m_state = kNothing;
    m_initialised = 1;
}

NVServerInterface::~NVServerInterface()
{
    DropLobby();
    delete m_discovery;
    delete m_root;
    FreeLobbyList();
    FreeRoomList();
}

void NVServerInterface::SessionReset()
{
    m_status = 0;
    events.Reset();
}

void NVServerInterface::DropLobby()
{
    delete m_lobby;
    m_lobby = nullptr;
    m_lobbyUp = false;
    m_room = nullptr;
    m_packets = nullptr;
}

void NVServerInterface::FreeLobbyList()
{
    delete[] m_lobbies;
    m_lobbies = nullptr;
    m_lobbyCount = 0;
}

void NVServerInterface::FreeRoomList()
{
    delete[] m_rooms;
    m_rooms = nullptr;
    m_roomCount = 0;
}

// Lobby operations.

int NVServerInterface::RequestLobbys(int)
{
    if (!m_initialised)
        return 0;
    unsigned address;
    if (!GetHostAddr(address)) {
        _PDebug("Internet play: the device has no IPv4 address\n");
        return 0;
    }
    m_filter.setReturnMask(ServerFilter::RETURN_NAME | ServerFilter::RETURN_DESCRIPTION |
                           ServerFilter::RETURN_MAX_PLAYERS | ServerFilter::RETURN_PLAYERS_IN_GAME);
    if (!m_discovery->getServerList(m_filter))
        return 0;
    FreeLobbyList();
    m_state = kListingOrLogin;
    return 1;
}

void NVServerInterface::StopLobbyRequest()
{
    if (m_state == kListingOrLogin)
        m_state = kNothing;
}

NVServerInterface::LobbyInfo* NVServerInterface::GetLobby(int index)
{
    if (!m_initialised || index < 0 || index >= m_lobbyCount)
        return nullptr;
    return &m_lobbies[index];
}

int NVServerInterface::ConnectToLobby(int index)
{
    if (!m_initialised || index < 0 || index >= m_lobbyCount || !m_discovery)
        return 0;
    SessionReset();
    if (m_state == kNothing)
        m_state = kListingOrLogin;
    return m_discovery->connectToServer(unsigned(index), kGameId, m_ownName);
}

int NVServerInterface::ConnectToLobby(const char* address, int port)
{
    if (!m_initialised || !m_discovery || !address)
        return 0;
    SessionReset();
    if (m_state == kNothing)
        m_state = kListingOrLogin;
    return m_discovery->connectToServer(address, port, kGameId, m_ownName);
}

void NVServerInterface::LeaveLobby()
{
    if (!m_initialised || m_state != kInLobby)
        return;
    DropLobby();
    m_state = kListingOrLogin;
}

void NVServerInterface::GetJoinedServerName(char* buffer, int max)
{
    if (!m_lobby || !buffer || max < 1)
        return;
    m_lobby->getServerName(buffer, max);
    for (int i = 0; i < max && buffer[i]; ++i)
        if (buffer[i] >= 'a' && buffer[i] <= 'z')
            buffer[i] = char(buffer[i] - 'a' + 'A');
}

// MPInterface.

int NVServerInterface::GetDeviceInfo(DeviceInfo& info)
{
    info.ip = m_address;
    info.port = uint32_t(m_port);
    return 1;
}

int NVServerInterface::RequestGameRooms()
{
    if (!m_initialised || m_state != kInLobby || !m_lobby)
        return 0;
    m_lobby->startGameRoomSubscription();
    // Still subscribed (a join was refused, say), the lobby's list is the
    // current one; newly subscribed, it is empty until the server sends one.
    RebuildRoomList();
    return 1;
}

void NVServerInterface::StopGameRoomRequest()
{
    // Also inside a room: the menus stop the list once the room is joined,
    // and the subscription must not outlast the visit.
    if (m_initialised && m_lobby)
        m_lobby->stopGameRoomSubscription();
}

MPInterface::GameRoom* NVServerInterface::GetGameRoom(int index)
{
    if (!m_initialised || index < 0 || index >= m_roomCount)
        return nullptr;
    return &m_rooms[index];
}

int NVServerInterface::HostGameRoom(GameRoom& room)
{
    if (!m_initialised || m_state != kInLobby || !m_lobby)
        return 0;
    char name[kNameSize];
    CopyBounded(name, kNameSize, room.name);
    int length = int(std::strlen(name)) + 1;
    m_lobby->createGameRoom(unsigned(room.maxPlayers), nullptr, reinterpret_cast<const unsigned char*>(name), length,
                            0xFFFFFFFFu);
    return 1;
}

int NVServerInterface::JoinGameRoom(int index)
{
    if (!m_initialised || m_state != kInLobby || !m_lobby)
        return 0;
    if (index < 0 || index >= m_roomCount) {
        _PDebug("Internet play: no listed room %d to join\n", index);
        return 0;
    }
    m_lobby->joinGameRoom(unsigned(index), 1, nullptr);
    return 1;
}

void NVServerInterface::LeaveGameRoom()
{
    if (!m_initialised || !m_lobby)
        return;
    m_lobby->leaveGameRoom();
    // The room and its stream stay with the lobby; nothing is sent or read
    // through them once the room is left.
    m_room = nullptr;
    m_packets = nullptr;
    SessionReset();
    m_state = kInLobby;
}

EventList::event NVServerInterface::PollMessages()
{
    if (!m_initialised)
        return EventList::kNone;
    m_root->update();
    if (events.Count() > 0)
        return events.Get();
    if (m_state != kInRoom || !m_packets)
        return EventList::kNone;
    while (m_packets->getAvailablePackets() > 0) {
        unsigned sender = 0, length = 0;
        m_packets->readPacketInfo(sender, length);
        if (length > 0 && length <= kMaxPacket)
            return EventList::kGameMessage;
        _PDebugPeer(sender, "Internet play: a packet of %u bytes from %u dropped\n", length, sender);
        m_packets->skipPacket();
    }
    return EventList::kNone;
}

int NVServerInterface::GetPayLoad(unsigned char* buffer, unsigned int capacity)
{
    m_copiedLength = 0;
    if (!m_packets || m_packets->getAvailablePackets() < 1)
        return -1;
    unsigned sender = 0, length = 0;
    m_packets->readPacketInfo(sender, length);
    if (length <= capacity && buffer) {
        m_copiedLength = m_packets->readPacket(buffer, length);
        return int(sender);
    }
    // Too long for the caller: dropped, so that the stream goes on; the
    // buffer is left holding no message.
    _PDebugPeer(sender, "Internet play: a packet of %u bytes from %u does not fit %u; dropped\n", length, sender,
                capacity);
    m_packets->skipPacket();
    if (buffer && capacity > 0)
        buffer[0] = 0;
    return -1;
}

int NVServerInterface::SendToAll(unsigned char* data, int length, bool)
{
    if (!m_packets || !data || length < 1)
        return 0;
    return m_packets->sendPacket(data, unsigned(length));
}

int NVServerInterface::SendToAllConfirm(unsigned char* data, int length)
{
    if (!m_packets || !data || length < 1)
        return 0;
    return m_packets->sendPacketToAll(data, unsigned(length));
}

int NVServerInterface::SendToClient(int index, unsigned char* data, int length)
{
    if (!m_packets || !m_room || !data || length < 1)
        return 0;
    if (index < 0 || index >= m_room->getGameRoomPlayerCount())
        return 0;
    return m_packets->sendPacketToClient(m_room->getGameRoomPlayerId(unsigned(index)), data, unsigned(length));
}

int NVServerInterface::HostClientID()
{
    if (m_state != kInRoom || !m_room)
        return -1;
    int host = m_room->getHostIndex();
    if (host < 0 || host >= m_room->getGameRoomPlayerCount())
        return -1;
    return int(m_room->getGameRoomPlayerId(unsigned(host)));
}

int NVServerInterface::MyClientID()
{
    if (!m_initialised || !m_lobby)
        return 0;
    return int(m_lobby->getMyId());
}

void NVServerInterface::SetUserInfo(const char* name)
{
    CopyBounded(m_ownName, kNameSize, name);
}

int NVServerInterface::NumPlayers()
{
    if (m_state != kInRoom || !m_room)
        return 0;
    return m_room->getGameRoomPlayerCount();
}

MPInterface::ClientInfo* NVServerInterface::GetPlayer(int index)
{
    if (m_state != kInRoom || !m_room || index < 0 || index >= m_room->getGameRoomPlayerCount())
        return nullptr;
    m_player.id = int32_t(m_room->getGameRoomPlayerId(unsigned(index)));
    CopyBounded(m_player.name, kNameSize, m_room->getGameRoomPlayerName(unsigned(index)));
    m_player.busy = 0;
    m_player.ready = 1;
    return &m_player;
}

// Notifications.

void NVServerInterface::RebuildLobbyList()
{
    FreeLobbyList();
    int count = m_discovery->getServerCount();
    if (count <= 0)
        return;
    m_lobbies = new (std::nothrow) LobbyInfo[size_t(count)];
    if (!m_lobbies) {
        _PDebug("Internet play: no memory for %d lobby servers\n", count);
        return;
    }
    for (int i = 0; i < count; ++i) {
        LobbyInfo& l = m_lobbies[i];
        l.playersInGame = m_discovery->getServerPlayerCountGame(unsigned(i));
        l.maxPlayers = m_discovery->getServerPlayerCountMax(unsigned(i));
        CopyBounded(l.name, int(sizeof l.name), m_discovery->getServerName(unsigned(i)));
        l.port = int32_t(m_discovery->getServerPort(unsigned(i)));
        CopyBounded(l.address, int(sizeof l.address), m_discovery->getServerIP(unsigned(i)));
    }
    m_lobbyCount = count;
}

void NVServerInterface::RebuildRoomList()
{
    FreeRoomList();
    int count = m_lobby ? m_lobby->getGameRoomCount() : 0;
    if (count <= 0)
        return;
    m_rooms = new (std::nothrow) GameRoom[size_t(count)];
    if (!m_rooms) {
        _PDebug("Internet play: no memory for %d game rooms\n", count);
        return;
    }
    for (int i = 0; i < count; ++i) {
        GameRoom& r = m_rooms[i];
        std::memset(&r, 0, sizeof r);
        r.reserved = 0;
        r.players = m_lobby->getGameRoomPlayerCount(unsigned(i));
        r.maxPlayers = kRoomCapacity;
        // The description is the room's data: bytes of a given length, not
        // necessarily terminated.
        const unsigned char* text = m_lobby->getGameRoomDescription(unsigned(i));
        int length = m_lobby->getGameRoomDescriptionLength(unsigned(i));
        for (int n = 0; text && n < length && n < kNameSize - 1 && text[n]; ++n)
            r.name[n] = char(text[n]);
    }
    m_roomCount = count;
}

void NVServerInterface::onNotify(Message message, Status status)
{
    if (m_state == kNothing)
        return;
    switch (message) {
    case MSG_SERVER_LIST:
        if (m_state != kListingOrLogin)
            break;
        if (status != STATUS_OK) {
            // A failed query is not an empty list: the menus show the failure
            // and offer the request again.
            _PDebug("Internet play: the lobby server list could not be had\n");
            FreeLobbyList();
            events.Add(EventList::kRejected);
            break;
        }
        RebuildLobbyList();
        events.Add(EventList::kServerListReady);
        break;
    case MSG_LOGIN:
        if (status == STATUS_OK) {
            LobbyInterface* lobby = m_discovery->getLobbyInterface();
            if (!lobby) {
                events.Add(EventList::kNotConnected);
                break;
            }
            DropLobby();
            m_lobby = lobby;
            m_lobby->setGameRoomSorting(ServerFilter::SORT_NAME);
            m_lobby->setGameRoomFilter(1);
            m_lobby->setObserver(this);
            m_lobbyUp = true;
            m_state = kInLobby;
            events.Add(EventList::kConnected);
        } else if (status == STATUS_LOGIN_REJECTED_11) {
            events.Add(EventList::kRejected);
        } else if (status == STATUS_NAME_TAKEN) {
            events.Add(EventList::kNameTaken);
        } else {
            events.Add(EventList::kNotConnected);
        }
        break;
    case MSG_GAME_ROOM:
        if (status == STATUS_OK) {
            GameRoomInterface* room = m_lobby ? m_lobby->getGameRoomInterface() : nullptr;
            PacketStream* packets = room ? room->getPacketStream() : nullptr;
            if (!packets) {
                events.Add(EventList::kNotConnected);
                break;
            }
            m_state = kInRoom;
            m_room = room;
            m_room->setObserver(this);
            m_packets = packets;
            m_packets->setObserver(this);
            events.Add(EventList::kConnected);
        } else if (status == STATUS_ROOM_19) {
            events.Add(EventList::kRejected);
        } else if (status == STATUS_ROOM_17 || status == STATUS_ROOM_25 || status == STATUS_ROOM_29 ||
                   status == STATUS_ROOM_30) {
            // Every other refusal of a room request ends the wait for it too.
            events.Add(EventList::kRoomActionRejected);
        }
        break;
    case MSG_GAME_ROOM_LIST:
        if (m_state == kInLobby) {
            RebuildRoomList();
            events.Add(EventList::kRoomListReady);
        }
        break;
    case MSG_GAME_ROOM_CLOSED:
        if (m_state == kInRoom && status == STATUS_OK)
            events.Add(EventList::kNotConnected);
        break;
    case MSG_LOBBY_18:
        events.Add(EventList::kRoomActionRejected);
        break;
    case MSG_LOBBY_CLOSED:
        // The server ended the session: as good as a lost link.
        m_lobbyUp = false;
        events.Add(EventList::kNotConnected);
        break;
    case MSG_CONNECTION_LOST:
        m_lobbyUp = false;
        events.Add(EventList::kNotConnected);
        break;
    case MSG_PLAYER_JOINED:
    case MSG_PLAYER_LEFT:
    case MSG_PLAYER_CHANGED:
        events.Add(EventList::kPlayersChanged);
        break;
    case MSG_HOST_INVITATION:
        if (m_state == kInRoom && m_room) {
            m_room->acceptHostInviation();
            events.Add(EventList::kBecameHost);
        }
        break;
    default:
        break;
    }
}
