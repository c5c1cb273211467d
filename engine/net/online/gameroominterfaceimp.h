// The room the player is in, and the packet and data streams between the
// players of that room, all riding on the lobby connection.
#pragma once
#include <cstdint>

#include "engine/net/online/databuffer.h"
#include "engine/net/online/multiplayerinterface.h"
#include "engine/net/online/networkinterface.h"
#include "engine/net/online/playerlist.h"

namespace VOrededidaza {
namespace Internal {

// Game data targets.
enum : uint32_t {
    TARGET_ALL = 0xFFFFFFFFu,     // -1: every player of the room
    TARGET_HOST = 0xFFFFFFFEu,    // -2: the room's host
    TARGET_DEFAULT = 0xFFFFFFFDu, // -3: the default target of sendPacket and sendData
    TARGET_LIST = 0xFFFFFFFCu,    // -4: a list of players
};

// Builds and writes one game data frame; the bytes written, 0 when refused
// (too long, not sent).
int SendGameData(NetworkInterface* net, unsigned char* buffer, int capacity, uint32_t target, const unsigned* ids,
                 unsigned count, const unsigned char* data, unsigned length);

class PacketStreamImp : public PacketStream, public GameDataReader {
public:
    static constexpr int kSlots = 16;
    static constexpr int kSlotSize = 1024;

    explicit PacketStreamImp(NetworkInterface* net);
    virtual int sendPacket(const unsigned char* data, unsigned length) override;
    virtual int sendPacketToAll(const unsigned char* data, unsigned length) override;
    virtual int sendPacketToClient(unsigned id, const unsigned char* data, unsigned length) override;
    virtual int sendPacketToClientList(const unsigned* ids, unsigned count, const unsigned char* data,
                                       unsigned length) override;
    virtual int sendPacketToHost(const unsigned char* data, unsigned length) override;
    virtual void readPacketInfo(unsigned& sender, unsigned& length) override;
    virtual int readPacket(unsigned char* buffer, unsigned length) override;
    virtual int peek(unsigned char* buffer, unsigned length) override;
    virtual void skipPacket() override;
    virtual int getAvailablePackets() override { return m_count; }
    virtual void setObserver(MultiplayerObserver* observer) override { m_observer = observer; }
    virtual int readyToReceive(int length) override;
    virtual void gameDataReceived(const unsigned char* payload, int length) override;

private:
    struct Slot {
        uint32_t sender;
        int length;
        unsigned char data[kSlotSize];
    };
    NetworkInterface* m_net;
    MultiplayerObserver* m_observer;
    Slot m_slots[kSlots];
    int m_oldest;
    int m_count;
    unsigned char m_send[kSlotSize + 16];
};

class DataStreamImp : public DataStream, public GameDataReader {
public:
    static constexpr int kQueue = 1024;

    explicit DataStreamImp(NetworkInterface* net);
    virtual int sendData(const unsigned char* data, unsigned length) override;
    virtual int sendDataToAll(const unsigned char* data, unsigned length) override;
    virtual int sendDataToClient(unsigned id, const unsigned char* data, unsigned length) override;
    virtual int sendDataToClientList(const unsigned* ids, unsigned count, const unsigned char* data,
                                     unsigned length) override;
    virtual int sendDataToHost(const unsigned char* data, unsigned length) override;
    virtual int readData(unsigned char* buffer, unsigned length) override;
    virtual int getAvailableData() override { return m_queue.availableData(); }
    virtual int readyToReceive(int length) override;
    virtual void gameDataReceived(const unsigned char* payload, int length) override;

private:
    NetworkInterface* m_net;
    DataBuffer m_queue;
    unsigned char m_send[kQueue + 16];
};

class GameRoomInterfaceImp : public GameRoomInterface, public SystemDataReader {
public:
    explicit GameRoomInterfaceImp(NetworkInterface* net);
    virtual ~GameRoomInterfaceImp();
    virtual void setObserver(MultiplayerObserver* observer) override { m_observer = observer; }
    virtual int getGameRoomPlayerCount() override { return m_players.getPlayerCount(); }
    virtual const char* getGameRoomPlayerName(unsigned i) override;
    virtual unsigned getGameRoomPlayerId(unsigned i) override;
    virtual int getGameRoomMaxPlayerCount() override { return m_maxPlayers; }
    virtual int getHostIndex() override { return m_hostIndex; }
    virtual void acceptHostInviation() override;
    virtual DataStream* getDataStream() override;
    virtual PacketStream* getPacketStream() override;
    virtual int readyToReceive(int) override { return 1; }
    virtual void systemDataReceived(const unsigned char* frame, int length) override;

    void resetGameRoom();
    void setHostId(uint32_t id);

private:
    void notify(Message m);
    void recomputeHost();

    NetworkInterface* m_net;
    MultiplayerObserver* m_observer;
    PlayerList m_players;
    int m_maxPlayers;
    int m_hostIndex;
    uint32_t m_hostId;
    DataStreamImp* m_dataStream;
    PacketStreamImp* m_packetStream;
};

} // namespace Internal
} // namespace VOrededidaza
