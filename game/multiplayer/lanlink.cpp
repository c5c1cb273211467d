#include "game/multiplayer/lanlink.h"

#include <cstring>
#include <utility>

#include "engine/net/inetaddr.h"
#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/ptime.h"

namespace lanframe {

int MessageLength(const uint8_t* data, int avail)
{
    if (!data || avail < 1)
        return 0;
    int need;
    switch (data[0]) {
    case kLanData:
        if (avail < 3)
            return 0;
        need = 3 + data[2];
        break;
    case kLanBusyState:
        need = 3;
        break;
    case kLanPlayerList:
        if (avail < 2)
            return 0;
        if (data[1] > kMaxListed)
            return -1;
        need = 2 + kListRecord * data[1];
        break;
    case kLanYourId:
        need = 2;
        break;
    case kLanUserInfo:
        need = 2 + kNameBytes;
        break;
    default:
        need = 1;  // kLanLeave and every unknown type: the type byte alone
        break;
    }
    return avail >= need ? need : 0;
}

}  // namespace lanframe

void LanLink::Close()
{
    m_socket.Close();
    Reset();
}

void LanLink::Swap(LanLink& other)
{
    m_socket.Swap(other.m_socket);
    std::swap(static_cast<LanLinkState&>(*this), static_cast<LanLinkState&>(other));
}

void LanLink::Reset()
{
    m_inStart = m_inEnd = 0;
    m_qStart = m_qEnd = 0;
    m_eof = false;
    m_broken = false;
    m_heardAt = PTickCount();
    PSockAddr remote = {};
    m_peer = m_socket.IsOpen() && m_socket.RemoteName(remote) == 0 ? remote.address : 0;
}

bool LanLink::Adopt(PSocket& socket, const uint8_t* pending, int count)
{
    if (count < 0 || count > kReceiveSize || (count > 0 && !pending))
        return false;
    m_socket.Close();
    m_socket.Swap(socket);
    Reset();
    if (count > 0)
        std::memcpy(m_in, pending, size_t(count));
    m_inEnd = count;
    return true;
}

void LanLink::Fill()
{
    if (!m_socket.IsOpen()) {
        m_broken = true;
        return;
    }
    if (m_eof || m_broken)
        return;
    if (m_inStart > 0) {
        std::memmove(m_in, m_in + m_inStart, size_t(m_inEnd - m_inStart));
        m_inEnd -= m_inStart;
        m_inStart = 0;
    }
    while (m_inEnd < kReceiveSize) {
        int r = m_socket.Read(m_in + m_inEnd, kReceiveSize - m_inEnd);
        if (r > 0) {
            m_inEnd += r;
            m_heardAt = PTickCount();
            continue;
        }
        if (r == 0)
            m_eof = true;
        else if (r != PSOCK_EWOULDBLOCK)
            m_broken = true;
        break;
    }
}

int LanLink::Next(const uint8_t*& msg)
{
    msg = nullptr;
    int avail = m_inEnd - m_inStart;
    int len = lanframe::MessageLength(m_in + m_inStart, avail);
    if (len < 0) {
        char dotted[16];
        PInetNtoa(m_peer, dotted);
        _PDebugPeerAddress(m_peer, "LAN: malformed message (type %d) from %s; dropping the connection\n",
                           m_in[m_inStart], dotted);
        m_broken = true;
        m_inStart = m_inEnd = 0;
        return -1;
    }
    if (len == 0)
        return (m_eof || m_broken) ? -1 : 0;
    msg = m_in + m_inStart;
    m_inStart += len;
    return len;
}

int LanLink::Send(const void* data, int length)
{
    if (length < 1)
        return 1;
    if (!data || m_broken || !m_socket.IsOpen()) {
        m_broken = true;
        return 0;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (!Flush())
        return 0;
    if (Queued() == 0) {
        int r = m_socket.Write(p, length);
        if (r == PSOCK_EWOULDBLOCK)
            r = 0;
        if (r < 0) {
            m_broken = true;
            return 0;
        }
        p += r;
        length -= r;
        if (length == 0)
            return 1;
    }
    if (Queued() + length > kQueueSize) {
        char dotted[16];
        PInetNtoa(m_peer, dotted);
        _PDebugPeerAddress(m_peer, "LAN: %s does not take its data (%d bytes waiting); dropping it\n", dotted,
                           Queued() + length);
        m_broken = true;
        return 0;
    }
    if (m_qEnd + length > kQueueSize) {
        std::memmove(m_queue, m_queue + m_qStart, size_t(Queued()));
        m_qEnd -= m_qStart;
        m_qStart = 0;
    }
    std::memcpy(m_queue + m_qEnd, p, size_t(length));
    m_qEnd += length;
    return 1;
}

int LanLink::Flush()
{
    if (m_broken)
        return 0;
    while (m_qEnd > m_qStart) {
        int r = m_socket.Write(m_queue + m_qStart, m_qEnd - m_qStart);
        if (r == PSOCK_EWOULDBLOCK || r == 0)
            break;
        if (r < 0) {
            m_broken = true;
            return 0;
        }
        m_qStart += r;
    }
    if (m_qStart == m_qEnd)
        m_qStart = m_qEnd = 0;
    return 1;
}
