#include "engine/net/online/lobbyinterfaceimp.h"

#include <cstring>

#include "engine/net/online/packetio.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"

namespace VOrededidaza {
namespace Internal {

namespace {

// Lobby message: turns the room list subscription on when it is off and off
// when it is on.
constexpr uint32_t kToggleRoomSubscription = 5;

} // namespace

LobbyInterfaceImp::LobbyInterfaceImp(MultiplayerInterfaceImp* owner)
    : m_owner(owner), m_observer(nullptr), m_state(STATE_IDLE), m_myId(0), m_failureReason(0), m_net(nullptr),
      m_room(nullptr), m_loginLength(0), m_registered(false), m_roomsSubscribed(false)
{
    m_serverName[0] = 0;
    m_suggestedName[0] = 0;
    m_extensions[0] = m_extensions[1] = 0;
    m_net = new NetworkInterface();
    if (m_net) {
        m_net->setSystemDataReader(this);
        m_room = new GameRoomInterfaceImp(m_net);
    }
    if (m_owner && m_net) {
        int a = m_owner->addUpdateable(m_net);
        int b = m_owner->addUpdateable(this);
        m_registered = a && b;
    }
}

LobbyInterfaceImp::~LobbyInterfaceImp()
{
    if (m_state == STATE_LOGGED_IN)
        sendEmpty(2);
    if (m_owner) {
        m_owner->removeUpdateable(m_net);
        m_owner->removeUpdateable(this);
    }
    // The room first: its streams are the connection's game data readers.
    delete m_room;
    delete m_net;
}

void LobbyInterfaceImp::notify(Message m, Status s)
{
    if (m_observer)
        m_observer->onNotify(m, s);
}

bool LobbyInterfaceImp::sendEmpty(uint32_t type)
{
    unsigned char frame[8];
    WriteBE32(frame, type);
    WriteBE32(frame + 4, 0);
    return m_net && m_net->write(frame, 8);
}

void LobbyInterfaceImp::fail(int reason)
{
    m_failureReason = reason;
    m_state = STATE_FAILED;
    if (m_net)
        m_net->disconnect();
}

int LobbyInterfaceImp::logIn(unsigned gameId, const char* ip, int port, const char* userName)
{
    if (m_state == STATE_LOGGED_IN || !userName || !m_net || !m_room || !m_registered)
        return 0;
    if (m_state == STATE_FAILED)
        m_state = STATE_IDLE;
    if (!m_net->connect(ip, port))
        return 0;
    PacketWriter w(m_login, int(sizeof m_login));
    w.appendUI32(1);
    w.appendUI32(0);
    w.appendUI32(kProtocolVersion);
    w.appendUI32(gameId);
    w.appendString(userName, kMaxName);
    w.patchUI32(4, uint32_t(w.getLength() - 8));
    m_loginLength = w.getLength();
    m_failureReason = 0;
    m_state = STATE_CONNECTING;
    return 1;
}

void LobbyInterfaceImp::update()
{
    if (!m_net)
        return;
    int net = m_net->getState();
    switch (m_state) {
    case STATE_CONNECTING:
        if (net == NetworkInterface::STATE_DISCONNECTED) {
            m_failureReason = -2;
            m_state = STATE_FAILED;
        } else if (net == NetworkInterface::STATE_CONNECTED) {
            m_net->write(m_login, m_loginLength);
            m_state = STATE_LOGIN_SENT;
        }
        break;
    case STATE_LOGIN_SENT:
        if (net != NetworkInterface::STATE_CONNECTED) {
            m_failureReason = -1;
            m_state = STATE_FAILED;
        }
        break;
    case STATE_LOGGED_IN:
        if (net != NetworkInterface::STATE_CONNECTED) {
            m_state = STATE_IDLE;
            notify(MSG_CONNECTION_LOST, STATUS_OK);
        }
        break;
    default:
        break;
    }
}

void LobbyInterfaceImp::createGameRoom(unsigned maxPlayers, const char* password, const unsigned char* data,
                                       int dataLength, unsigned groupMask)
{
    if (m_state != STATE_LOGGED_IN)
        return;
    if (!data)
        dataLength = 0;
    if (dataLength < 0 || dataLength > kMaxRoomData) {
        _PDebug("online: room data of %d bytes refused (at most %d)\n", dataLength, kMaxRoomData);
        return;
    }
    unsigned char buf[289];
    PacketWriter w(buf, int(sizeof buf));
    w.appendUI32(3);
    w.appendUI32(0);
    w.appendUI32(maxPlayers);
    w.appendUI32(groupMask);
    w.appendString(password, kMaxPassword);
    w.appendBuffer(data, dataLength);
    w.patchUI32(4, uint32_t(w.getLength() - 8));
    if (w.ok())
        m_net->write(buf, w.getLength());
}

void LobbyInterfaceImp::joinGameRoom(unsigned index, unsigned value, const char* password)
{
    if (m_state != STATE_LOGGED_IN)
        return;
    if (!m_rooms.validIndex(int(index))) {
        _PDebug("online: no listed room %u to join\n", index);
        return;
    }
    unsigned char buf[8 + 8 + kMaxPassword + 1];
    PacketWriter w(buf, int(sizeof buf));
    w.appendUI32(4);
    w.appendUI32(0);
    w.appendUI32(m_rooms.getGameRoomId(int(index)));
    w.appendUI32(value);
    w.appendString(password, kMaxPassword);
    w.patchUI32(4, uint32_t(w.getLength() - 8));
    if (w.ok())
        m_net->write(buf, w.getLength());
}

void LobbyInterfaceImp::leaveGameRoom()
{
    if (m_state == STATE_LOGGED_IN)
        sendEmpty(7);
}

// The lobby protocol toggles the room subscription with the same message, so
// it is sent only when it changes what the server does.
void LobbyInterfaceImp::startGameRoomSubscription()
{
    if (m_state == STATE_LOGGED_IN && !m_roomsSubscribed && sendEmpty(kToggleRoomSubscription))
        m_roomsSubscribed = true;
}

void LobbyInterfaceImp::stopGameRoomSubscription()
{
    if (m_state == STATE_LOGGED_IN && m_roomsSubscribed && sendEmpty(kToggleRoomSubscription)) {
        m_roomsSubscribed = false;
        // A list no longer followed would only grow stale.
        const unsigned char none[4] = {0, 0, 0, 0};
        m_rooms.update(none, 4);
    }
}

void LobbyInterfaceImp::startLobbyInfoSubscription()
{
    if (m_state == STATE_LOGGED_IN)
        sendEmpty(32);
}

void LobbyInterfaceImp::stopLobbyInfoSubscription()
{
    if (m_state == STATE_LOGGED_IN)
        sendEmpty(33);
}

int LobbyInterfaceImp::getGameRoomCount()
{
    return m_state == STATE_LOGGED_IN ? m_rooms.getCount() : 0;
}

int LobbyInterfaceImp::getGameRoomPlayerCount(unsigned i)
{
    return m_state == STATE_LOGGED_IN ? m_rooms.getNumberOfPlayers(int(i)) : 0;
}

int LobbyInterfaceImp::getGameRoomMaxPlayerCount(unsigned i)
{
    return m_state == STATE_LOGGED_IN ? m_rooms.getMaxNumberOfPlayers(int(i)) : -1;
}

const unsigned char* LobbyInterfaceImp::getGameRoomDescription(unsigned i)
{
    return m_state == STATE_LOGGED_IN ? m_rooms.getDescription(int(i)) : nullptr;
}

int LobbyInterfaceImp::getGameRoomDescriptionLength(unsigned i)
{
    return m_state == STATE_LOGGED_IN ? m_rooms.getDescriptionLength(int(i)) : -1;
}

int LobbyInterfaceImp::getGameRoomProtected(unsigned i)
{
    return m_state == STATE_LOGGED_IN ? m_rooms.isPasswordProtected(int(i)) : 255;
}

unsigned LobbyInterfaceImp::getGameRoomGroupMask(unsigned i)
{
    return m_state == STATE_LOGGED_IN ? m_rooms.getGroupMask(int(i)) : 0;
}

void LobbyInterfaceImp::getServerName(char* buffer, int size)
{
    if (m_state != STATE_LOGGED_IN || !buffer || size < 1)
        return;
    int n = 0;
    while (n < size - 1 && m_serverName[n]) {
        buffer[n] = m_serverName[n];
        n++;
    }
    buffer[n] = 0;
}

void LobbyInterfaceImp::getSuggestedName(char* buffer, int size) const
{
    if (!buffer || size < 1)
        return;
    int n = 0;
    while (n < size - 1 && m_suggestedName[n]) {
        buffer[n] = m_suggestedName[n];
        n++;
    }
    buffer[n] = 0;
}

int LobbyInterfaceImp::checkExtension(ServerExtension e)
{
    return (e == EXTENSION_0 || e == EXTENSION_1) ? m_extensions[e] : 0;
}

const char* LobbyInterfaceImp::getLobbyPlayerName(unsigned i)
{
    return m_players.getPlayerName(int(i));
}

unsigned LobbyInterfaceImp::getLobbyPlayerId(unsigned i)
{
    return m_players.getPlayerId(int(i));
}

void LobbyInterfaceImp::systemDataReceived(const unsigned char* frame, int length)
{
    if (!frame || length < 8)
        return;
    uint32_t type = ReadBE32(frame);
    const unsigned char* payload = frame + 8;
    int size = length - 8;
    PacketReader r(payload, size);

    if (m_state == STATE_LOGIN_SENT) {
        switch (type) {
        case 9: {
            uint32_t id = r.readUI32();
            if (!r.ok()) {
                _PDebug("online: short login reply\n");
                fail(-1);
                return;
            }
            m_myId = id;
            r.readString(m_serverName, kMaxName);
            m_state = STATE_LOGGED_IN;
            m_roomsSubscribed = false;
            return;
        }
        case 15:
            return;
        case 12:
            r.readString(m_suggestedName, kMaxName);
            fail(12);
            return;
        case 10:
        case 11:
        case 13:
            fail(int(type));
            return;
        default:
            fail(-1);
            return;
        }
    }
    if (m_state != STATE_LOGGED_IN)
        return;

    switch (type) {
    case 14:
        notify(MSG_LOBBY_CLOSED, STATUS_OK);
        m_state = STATE_IDLE;
        m_net->disconnect();
        return;
    case 15:
        return;
    case 16: {
        uint32_t host = r.readUI32();
        if (!r.ok())
            break;
        m_room->resetGameRoom();
        m_room->setHostId(host);
        notify(MSG_GAME_ROOM, STATUS_OK);
        return;
    }
    case 17:
        notify(MSG_GAME_ROOM, STATUS_ROOM_17);
        return;
    case 18:
        notify(MSG_LOBBY_18, STATUS_OK);
        return;
    case 19:
        notify(MSG_GAME_ROOM, STATUS_ROOM_19);
        return;
    case 20:
        if (!m_rooms.update(payload, size)) {
            _PDebugPeer(kLobbyPeer, "online: malformed room list ignored\n");
            return;
        }
        notify(MSG_GAME_ROOM_LIST, STATUS_OK);
        return;
    case 25:
        notify(MSG_GAME_ROOM, STATUS_ROOM_25);
        return;
    case 29:
        notify(MSG_GAME_ROOM, STATUS_ROOM_29);
        return;
    case 30:
        notify(MSG_GAME_ROOM, STATUS_ROOM_30);
        return;
    case 31:
        while (r.remaining() >= 4) {
            uint32_t e = r.readUI32();
            if (e < 2)
                m_extensions[e] = 1;
        }
        return;
    case 34:
        if (!m_players.addPlayer(payload, size))
            break;
        notify(MSG_LOBBY_PLAYER_JOINED, STATUS_OK);
        return;
    case 35: {
        uint32_t id = r.readUI32();
        if (!r.ok())
            break;
        m_players.removePlayer(id);
        notify(MSG_LOBBY_PLAYER_LEFT, STATUS_OK);
        return;
    }
    default:
        m_room->systemDataReceived(frame, length);
        return;
    }
    _PDebugPeer(kLobbyPeer, "online: lobby message %u too short (%d bytes)\n", type, size);
}

} // namespace Internal
} // namespace VOrededidaza
