// One game connection of the local-network back end: its socket, a
// reassembly buffer that turns the received byte stream into whole messages,
// and a bounded queue of the bytes the socket has not taken yet. Nothing here
// ever waits: a peer that stops in the middle of a message only leaves the
// message incomplete, and one that stops reading fills its queue and is
// reported broken.
#pragma once
#include <cstdint>

#include "engine/net/socket.h"

// Message types on a game connection (the first byte of every message).
enum LanMsg : uint8_t {
    kLanData = 0,          // sender id, payload length n, n payload bytes
    kLanBusyState = 250,   // player id, busy
    kLanLeave = 251,       // nothing more
    kLanPlayerList = 252,  // count, then per record: position, id, busy, name
    kLanYourId = 254,      // player id
    kLanUserInfo = 255,    // player id, name
};

namespace lanframe {
constexpr int kNameBytes = 32;
constexpr int kMaxListed = 4;
constexpr int kListRecord = 3 + kNameBytes;
constexpr int kMaxPayload = 255;
constexpr int kMaxMessage = 3 + kMaxPayload;

// Length of the message that starts at data, of which avail bytes are at
// hand: 0 while more bytes are needed to know or to complete it, -1 for a
// player list announcing more than four records. Any type byte not listed
// above is a message of its own of one byte.
int MessageLength(const uint8_t* data, int avail);
}  // namespace lanframe

// What a link holds beside its socket, kept apart so that LanLink::Swap
// exchanges all of it at once: a member added here is swapped too.
struct LanLinkState {
    static constexpr int kReceiveSize = 1024;
    static constexpr int kQueueSize = 16384;

    uint8_t m_in[kReceiveSize] = {};
    int m_inStart = 0;
    int m_inEnd = 0;
    uint8_t m_queue[kQueueSize] = {};
    int m_qStart = 0;
    int m_qEnd = 0;
    uint32_t m_heardAt = 0;
    uint32_t m_peer = 0;
    bool m_eof = false;     // the peer closed its end
    bool m_broken = false;
};

class LanLink : private LanLinkState {
public:
    using LanLinkState::kQueueSize;
    using LanLinkState::kReceiveSize;

    LanLink() = default;
    LanLink(const LanLink&) = delete;
    LanLink& operator=(const LanLink&) = delete;

    PSocket& Socket() { return m_socket; }
    int IsOpen() const { return m_socket.IsOpen(); }
    // Closes the socket and forgets buffered and queued bytes.
    void Close();
    // Exchanges everything with another link: its connection and its whole
    // state (the bytes it holds and queues, its times and marks).
    void Swap(LanLink& other);
    // Forgets buffered and queued bytes and the broken mark (after the
    // socket was given a new connection).
    void Reset();
    // Takes over a connection (closing the link's own) with bytes already
    // read from it, which come first out of Next; false, with the
    // connection left where it was, when they do not fit the buffer.
    bool Adopt(PSocket& socket, const uint8_t* pending, int count);

    // Moves what the socket holds now into the reassembly buffer.
    void Fill();
    // The next whole message: its length with msg pointing at its bytes
    // (valid until the next Fill or Next); 0 when none is complete yet; -1
    // when the connection is gone (closed, failed or sent a malformed
    // message) and no whole message is left.
    int Next(const uint8_t*& msg);
    // Writes what the socket takes now and queues the rest. 0 (and the link
    // marked broken) when the connection fails or the queue would overflow.
    int Send(const void* data, int length);
    // Writes queued bytes; 0 (and broken) when the connection fails.
    int Flush();
    int Queued() const { return m_qEnd - m_qStart; }
    // The millisecond time (PTickCount) bytes last arrived, or the link was
    // reset for a new connection.
    uint32_t HeardAt() const { return m_heardAt; }
    // True once a send or a read failed, the peer closed its end or sent a
    // malformed message.
    bool Broken() const { return m_broken; }
    void MarkBroken() { m_broken = true; }
    // The peer's address (network byte order) as the last Reset found it
    // connected; 0 before.
    uint32_t PeerAddress() const { return m_peer; }

private:
    PSocket m_socket;  // every other member is LanLinkState's
};
