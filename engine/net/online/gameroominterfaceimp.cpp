#include "engine/net/online/gameroominterfaceimp.h"

#include <cstring>

#include "engine/net/online/packetio.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"

namespace VOrededidaza {
namespace Internal {

int SendGameData(NetworkInterface* net, unsigned char* buffer, int capacity, uint32_t target, const unsigned* ids,
                 unsigned count, const unsigned char* data, unsigned length)
{
    // A receiver takes payloads of at most 1015 bytes.
    uint64_t payload = 4 + uint64_t(length) + (target == TARGET_LIST ? 4 + 4 * uint64_t(count) : 0);
    if (!net || payload > uint64_t(NetworkInterface::kMaxPayload) || (length > 0 && !data) ||
        (target == TARGET_LIST && count > 0 && !ids)) {
        _PDebug("online: refused to send %u bytes of game data\n", length);
        return 0;
    }
    PacketWriter w(buffer, capacity);
    w.appendUI32(0);
    w.appendUI32(uint32_t(payload));
    w.appendUI32(target);
    if (target == TARGET_LIST) {
        w.appendUI32(count);
        for (unsigned i = 0; i < count; i++)
            w.appendUI32(ids[i]);
    }
    w.appendBuffer(data, int(length));
    if (!w.ok())
        return 0;
    return net->write(buffer, w.getLength());
}

// ---------------------------------------------------------------------------

PacketStreamImp::PacketStreamImp(NetworkInterface* net) : m_net(net), m_observer(nullptr), m_oldest(0), m_count(0) {}

int PacketStreamImp::sendPacket(const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_DEFAULT, nullptr, 0, data, length);
}

int PacketStreamImp::sendPacketToAll(const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_ALL, nullptr, 0, data, length);
}

int PacketStreamImp::sendPacketToClient(unsigned id, const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), id, nullptr, 0, data, length);
}

int PacketStreamImp::sendPacketToClientList(const unsigned* ids, unsigned count, const unsigned char* data,
                                            unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_LIST, ids, count, data, length);
}

int PacketStreamImp::sendPacketToHost(const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_HOST, nullptr, 0, data, length);
}

void PacketStreamImp::readPacketInfo(unsigned& sender, unsigned& length)
{
    if (m_count == 0)
        return;
    sender = m_slots[m_oldest].sender;
    length = unsigned(m_slots[m_oldest].length);
}

int PacketStreamImp::peek(unsigned char* buffer, unsigned length)
{
    if (m_count == 0 || !buffer)
        return 0;
    const Slot& s = m_slots[m_oldest];
    int n = length < unsigned(s.length) ? int(length) : s.length;
    std::memcpy(buffer, s.data, size_t(n));
    return n;
}

int PacketStreamImp::readPacket(unsigned char* buffer, unsigned length)
{
    if (m_count == 0)
        return 0;
    int n = buffer ? peek(buffer, length) : 0;
    skipPacket();
    return n;
}

void PacketStreamImp::skipPacket()
{
    if (m_count == 0)
        return;
    m_oldest = (m_oldest + 1) % kSlots;
    m_count--;
}

int PacketStreamImp::readyToReceive(int)
{
    return m_count < kSlots ? 1 : 0;
}

void PacketStreamImp::gameDataReceived(const unsigned char* payload, int length)
{
    if (length < 4 || length - 4 > kSlotSize || m_count >= kSlots) {
        _PDebugPeer(kLobbyPeer, "online: dropped game data frame of %d bytes\n", length);
        return;
    }
    Slot& s = m_slots[(m_oldest + m_count) % kSlots];
    s.sender = ReadBE32(payload);
    s.length = length - 4;
    std::memcpy(s.data, payload + 4, size_t(s.length));
    m_count++;
    if (m_observer)
        m_observer->onNotify(MSG_PACKET_RECEIVED, STATUS_OK);
}

// ---------------------------------------------------------------------------

DataStreamImp::DataStreamImp(NetworkInterface* net) : m_net(net)
{
    m_queue.construct(kQueue);
}

int DataStreamImp::sendData(const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_DEFAULT, nullptr, 0, data, length);
}

int DataStreamImp::sendDataToAll(const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_ALL, nullptr, 0, data, length);
}

int DataStreamImp::sendDataToClient(unsigned id, const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), id, nullptr, 0, data, length);
}

int DataStreamImp::sendDataToClientList(const unsigned* ids, unsigned count, const unsigned char* data,
                                        unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_LIST, ids, count, data, length);
}

int DataStreamImp::sendDataToHost(const unsigned char* data, unsigned length)
{
    return SendGameData(m_net, m_send, int(sizeof m_send), TARGET_HOST, nullptr, 0, data, length);
}

int DataStreamImp::readData(unsigned char* buffer, unsigned length)
{
    int n = m_queue.availableData();
    if (unsigned(n) > length)
        n = int(length);
    if (n <= 0 || !buffer)
        return 0;
    m_queue.readData(buffer, n);
    return n;
}

int DataStreamImp::readyToReceive(int length)
{
    return m_queue.availableSpace() >= length ? 1 : 0;
}

void DataStreamImp::gameDataReceived(const unsigned char* payload, int length)
{
    if (length < 4) {
        _PDebugPeer(kLobbyPeer, "online: dropped game data frame of %d bytes\n", length);
        return;
    }
    m_queue.addData(payload + 4, length - 4);
}

// ---------------------------------------------------------------------------

GameRoomInterfaceImp::GameRoomInterfaceImp(NetworkInterface* net)
    : m_net(net), m_observer(nullptr), m_maxPlayers(0), m_hostIndex(0), m_hostId(0), m_dataStream(nullptr),
      m_packetStream(nullptr)
{
}

GameRoomInterfaceImp::~GameRoomInterfaceImp()
{
    if (m_net) {
        GameDataReader* r = m_net->getGameDataReader();
        if (r == m_dataStream || r == m_packetStream)
            m_net->setGameDataReader(nullptr);
    }
    delete m_dataStream;
    delete m_packetStream;
}

const char* GameRoomInterfaceImp::getGameRoomPlayerName(unsigned i)
{
    return m_players.getPlayerName(int(i));
}

unsigned GameRoomInterfaceImp::getGameRoomPlayerId(unsigned i)
{
    return m_players.getPlayerId(int(i));
}

void GameRoomInterfaceImp::acceptHostInviation()
{
    unsigned char frame[8];
    WriteBE32(frame, 8);
    WriteBE32(frame + 4, 0);
    m_net->write(frame, 8);
}

DataStream* GameRoomInterfaceImp::getDataStream()
{
    if (!m_dataStream) {
        m_dataStream = new DataStreamImp(m_net);
        if (!m_dataStream)
            return nullptr;
        m_net->setGameDataReader(m_dataStream);
    }
    return m_dataStream;
}

PacketStream* GameRoomInterfaceImp::getPacketStream()
{
    if (!m_packetStream) {
        m_packetStream = new PacketStreamImp(m_net);
        if (!m_packetStream)
            return nullptr;
        m_net->setGameDataReader(m_packetStream);
    }
    return m_packetStream;
}

void GameRoomInterfaceImp::resetGameRoom()
{
    m_players.clear();
    m_hostIndex = 0;
}

void GameRoomInterfaceImp::setHostId(uint32_t id)
{
    m_hostId = id;
    recomputeHost();
}

void GameRoomInterfaceImp::recomputeHost()
{
    m_hostIndex = m_players.getPlayerIndex(m_hostId);
}

void GameRoomInterfaceImp::notify(Message m)
{
    if (m_observer)
        m_observer->onNotify(m, STATUS_OK);
}

void GameRoomInterfaceImp::systemDataReceived(const unsigned char* frame, int length)
{
    if (!frame || length < 8)
        return;
    uint32_t type = ReadBE32(frame);
    const unsigned char* payload = frame + 8;
    int size = length - 8;
    PacketReader r(payload, size);
    switch (type) {
    case 7:
        m_players.clear();
        m_hostIndex = 0;
        notify(MSG_GAME_ROOM_CLOSED);
        return;
    case 21:
        if (!m_players.addPlayer(payload, size))
            break;
        recomputeHost();
        notify(MSG_PLAYER_JOINED);
        return;
    case 22: {
        uint32_t id = r.readUI32();
        if (!r.ok())
            break;
        m_players.removePlayer(id);
        recomputeHost();
        notify(MSG_PLAYER_LEFT);
        return;
    }
    case 23:
        recomputeHost();
        notify(MSG_PLAYER_CHANGED);
        return;
    case 24: {
        uint32_t max = r.readUI32();
        if (!r.ok())
            break;
        m_maxPlayers = int(max);
        return;
    }
    case 26:
        notify(MSG_ROOM_26);
        return;
    case 27:
        notify(MSG_HOST_INVITATION);
        return;
    case 28: {
        uint32_t id = r.readUI32();
        if (!r.ok())
            break;
        m_hostId = id;
        recomputeHost();
        notify(MSG_NEW_HOST);
        return;
    }
    default:
        if (m_observer)
            m_observer->onDebugMessage("Ignoring unkown packet");
        return;
    }
    _PDebugPeer(kLobbyPeer, "online: room message %u too short (%d bytes)\n", type, size);
}

} // namespace Internal
} // namespace VOrededidaza
