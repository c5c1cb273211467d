#include "engine/net/online/networkinterface.h"

#include <arpa/inet.h>

#include "engine/net/online/packetio.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"

namespace VOrededidaza {
namespace Internal {

NetworkInterface::NetworkInterface()
    : m_game(nullptr), m_system(nullptr), m_type(0), m_length(0), m_pending(false), m_state(STATE_DISCONNECTED)
{
    m_recv.construct(kReceiveQueue);
    m_send.construct(kSendQueue);
}

NetworkInterface::~NetworkInterface()
{
    disconnect();
}

int NetworkInterface::connect(const char* ip, int port)
{
    disconnect();
    if (port < 1 || port > 65535)
        return 0;
    unsigned addr = PInetAddr(ip);
    if (addr == 0xFFFFFFFFu) {
        _PDebug("online: bad lobby server address\n");
        return 0;
    }
    if (m_socket.Open(PSOCK_AF_INET, PSOCK_STREAM, 0) != 0)
        return 0;
    m_socket.SetBlocking(0);
    PSockAddr a;
    PSockAddrSet(a, addr, htons(uint16_t(port)));
    int r = m_socket.Connect(a, 16);
    if (r != 0 && r != PSOCK_EWOULDBLOCK && r != PSOCK_EINPROGRESS) {
        m_socket.Close();
        return 0;
    }
    m_connectTimer.Reset();
    m_state = STATE_CONNECTING;
    return 1;
}

void NetworkInterface::disconnect()
{
    m_state = STATE_DISCONNECTED;
    if (m_socket.IsOpen())
        m_socket.Close();
    m_recv.clear();
    m_send.clear();
    m_pending = false;
}

int NetworkInterface::write(const void* data, int n)
{
    if (m_state != STATE_CONNECTED || n <= 0)
        return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    int sent = 0;
    if (m_send.availableData() == 0) {
        int r = m_socket.Write(p, n);
        if (r < PSOCK_EINPROGRESS) {
            disconnect();
            return 0;
        }
        if (r > 0)
            sent = r;
    }
    // What the socket did not take waits, behind anything queued before, so
    // frames never interleave.
    if (sent < n && !m_send.addData(p + sent, n - sent)) {
        if (sent > 0) {
            // Part of the frame is on the wire: the stream cannot be repaired.
            _PDebug("online: send queue full, connection dropped\n");
            disconnect();
            return 0;
        }
        _PDebug("online: send queue full, %d bytes not sent\n", n);
        return 0;
    }
    return n;
}

void NetworkInterface::flush()
{
    while (m_state == STATE_CONNECTED && m_send.availableData() > 0) {
        int r = m_socket.Write(m_send.data(), m_send.availableData());
        if (r < PSOCK_EINPROGRESS) {
            disconnect();
            return;
        }
        if (r <= 0)
            return;
        m_send.skipData(r);
    }
}

void NetworkInterface::update()
{
    if (m_state == STATE_DISCONNECTED)
        return;
    if (m_state == STATE_CONNECTING) {
        int c = m_socket.IsConnected(10);
        if (c == 1) {
            m_state = STATE_CONNECTED;
            m_idle.Reset();
        } else if (c == 0 || c == PSOCK_EWOULDBLOCK || c == PSOCK_EINPROGRESS) {
            if (m_connectTimer() > kConnectTimeoutMs)
                disconnect();
            return;
        } else {
            disconnect();
            return;
        }
    }
    flush();
    bool ended = receive();
    if (m_state != STATE_CONNECTED)
        return;
    frames();
    if (ended) {
        // The server closed the connection: what it sent before is handled
        // above, then the session ends.
        disconnect();
        return;
    }
    if (m_state == STATE_CONNECTED && m_idle() > kIdleTimeoutMs) {
        _PDebug("online: nothing received from the lobby server for %u ms\n", unsigned(kIdleTimeoutMs));
        disconnect();
    }
}

bool NetworkInterface::receive()
{
    unsigned char piece[128];
    while (m_state == STATE_CONNECTED) {
        int room = m_recv.availableSpace();
        if (room <= 0)
            return false;
        int want = room < 128 ? room : 128;
        int r = m_socket.Read(piece, want);
        if (r == 0)
            return true; // the end of the stream
        if (r < 0) {
            if (r < PSOCK_EINPROGRESS)
                disconnect();
            return false;
        }
        m_recv.addData(piece, r);
        m_idle.Reset();
    }
    return false;
}

void NetworkInterface::frames()
{
    while (m_state == STATE_CONNECTED) {
        if (!m_pending) {
            unsigned char h[kHeader];
            if (!m_recv.readData(h, kHeader))
                return;
            m_type = ReadBE32(h);
            m_length = ReadBE32(h + 4);
            if (m_type > uint32_t(kMaxType) || m_length > uint32_t(kMaxPayload)) {
                _PDebugPeer(kLobbyPeer, "online: dropped frame header (type %u, length %u)\n", m_type, m_length);
                continue;
            }
            m_pending = true;
        }
        int length = int(m_length);
        if (m_recv.availableData() < length)
            return; // the payload has not all arrived yet
        if (m_type == 15) {
            // Keep-alive: nothing to deliver.
            m_recv.skipData(length);
            m_pending = false;
            continue;
        }
        if (m_type == 0) {
            if (!m_game || m_game->readyToReceive(length) != 1)
                return;
        } else {
            if (!m_system || m_system->readyToReceive(length) != 1)
                return;
        }
        WriteBE32(m_frame, m_type);
        WriteBE32(m_frame + 4, m_length);
        m_recv.readData(m_frame + kHeader, length);
        m_pending = false;
        if (m_type == 0)
            m_game->gameDataReceived(m_frame + kHeader, length);
        else
            m_system->systemDataReceived(m_frame, length + kHeader);
    }
}

} // namespace Internal
} // namespace VOrededidaza
