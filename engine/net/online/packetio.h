// PacketReader and PacketWriter: the big-endian fields of lobby messages.
// Every read is bounded by the message: a read past its end yields zeros and
// marks the reader as overrun, so a handler checks ok() before acting.
#pragma once
#include <cstdint>

namespace VOrededidaza {
namespace Internal {

// The peer that log lines about malformed lobby traffic are limited under
// (_PDebugPeer): everything arrives through the one lobby server.
constexpr uint32_t kLobbyPeer = 0;

class PacketReader {
public:
    PacketReader(const unsigned char* data, int size) : m_data(data), m_size(size > 0 ? size : 0), m_pos(0), m_ok(true) {}
    uint32_t readUI32();
    uint8_t readUI8();
    // Copies n bytes; false (dst zero-filled) when fewer remain.
    bool readBuffer(void* dst, int n);
    // Copies at most max characters of a zero-terminated string and a
    // terminating zero into dst (max + 1 bytes); a string cut by the end of
    // the message ends there.
    void readString(char* dst, int max);
    void skip(int n);
    int remaining() const { return m_size - m_pos; }
    bool ok() const { return m_ok; }

private:
    const unsigned char* m_data;
    int m_size;
    int m_pos;
    bool m_ok;
};

class PacketWriter {
public:
    PacketWriter(unsigned char* buffer, int capacity) : m_buf(buffer), m_capacity(capacity), m_length(0), m_ok(true) {}
    void appendUI32(uint32_t v);
    void appendUI8(uint8_t v);
    void appendBuffer(const void* src, int n);
    // At most max characters of s (null: none), then a zero byte.
    void appendString(const char* s, int max);
    // Stores v at a position already written (the frame's length field).
    void patchUI32(int at, uint32_t v);
    int getLength() const { return m_length; }
    // False when an append did not fit the buffer (it was dropped).
    bool ok() const { return m_ok; }

private:
    unsigned char* m_buf;
    int m_capacity;
    int m_length;
    bool m_ok;
};

inline uint32_t ReadBE32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline void WriteBE32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Copies at most max characters of src (null: none) and a terminating zero
// into dst (max + 1 bytes).
inline void CopyBounded(char* dst, const char* src, int max)
{
    int n = 0;
    while (src && n < max && src[n]) {
        dst[n] = src[n];
        n++;
    }
    dst[n] = 0;
}

} // namespace Internal
} // namespace VOrededidaza
