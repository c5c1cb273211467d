// NetworkInterface: the TCP connection to a lobby server, cut into frames of
// an 8-byte big-endian header (type, payload length) and a payload of at most
// 1015 bytes. Frames of type 0 go to the game data reader, all others to the
// system data reader.
#pragma once
#include <cstdint>

#include "engine/net/online/databuffer.h"
#include "engine/net/online/networkinterfaces.h"
#include "engine/net/socket.h"
#include "engine/runtime/ptime.h"

namespace VOrededidaza {
namespace Internal {

class NetworkInterface : public Updateable {
public:
    enum { STATE_DISCONNECTED = 0, STATE_CONNECTING = 1, STATE_CONNECTED = 2 };
    static constexpr int kMaxType = 35;
    static constexpr int kMaxPayload = 1015;
    static constexpr int kHeader = 8;
    static constexpr int kReceiveQueue = 2048;
    static constexpr int kSendQueue = 8192;
    static constexpr uint32_t kConnectTimeoutMs = 5000;
    static constexpr uint32_t kIdleTimeoutMs = 10000;

    NetworkInterface();
    virtual ~NetworkInterface();

    // Starts connecting to a dotted IPv4 address; 1 started, 0 failed.
    int connect(const char* ip, int port);
    virtual void update() override;
    // Sends a whole frame: the bytes the socket does not take now are queued
    // and sent by later updates. n when sent or queued, 0 when nothing was
    // accepted (not connected, queue full, connection lost).
    int write(const void* data, int n);
    void disconnect();
    int getState() const { return m_state; }
    int pendingOutput() const { return m_send.availableData(); }
    // The connection's socket (tests give it a scripted implementation).
    PSocket& socket() { return m_socket; }

    void setSystemDataReader(SystemDataReader* r) { m_system = r; }
    void setGameDataReader(GameDataReader* r) { m_game = r; }
    GameDataReader* getGameDataReader() const { return m_game; }

private:
    // Reads what has arrived; true when the server closed the connection.
    bool receive();
    void flush();
    void frames();

    PSocket m_socket;
    GameDataReader* m_game;
    SystemDataReader* m_system;
    DataBuffer m_recv;
    DataBuffer m_send;
    uint32_t m_type;
    uint32_t m_length;
    bool m_pending;
    unsigned char m_frame[kHeader + kMaxPayload + 1];
    PTicker m_idle;
    PTicker m_connectTimer;
    int m_state;
};

} // namespace Internal
} // namespace VOrededidaza
