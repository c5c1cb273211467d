#include "engine/net/online/packetio.h"

#include <cstring>

namespace VOrededidaza {
namespace Internal {

uint32_t PacketReader::readUI32()
{
    if (m_size - m_pos < 4) {
        m_ok = false;
        m_pos = m_size;
        return 0;
    }
    uint32_t v = ReadBE32(m_data + m_pos);
    m_pos += 4;
    return v;
}

uint8_t PacketReader::readUI8()
{
    if (m_pos >= m_size) {
        m_ok = false;
        return 0;
    }
    return m_data[m_pos++];
}

bool PacketReader::readBuffer(void* dst, int n)
{
    if (n < 0 || m_size - m_pos < n) {
        if (n > 0)
            std::memset(dst, 0, size_t(n));
        m_ok = false;
        m_pos = m_size;
        return false;
    }
    if (n > 0)
        std::memcpy(dst, m_data + m_pos, size_t(n));
    m_pos += n;
    return true;
}

void PacketReader::readString(char* dst, int max)
{
    int n = 0;
    while (m_pos < m_size && m_data[m_pos] != 0) {
        if (n < max)
            dst[n++] = char(m_data[m_pos]);
        m_pos++;
    }
    if (m_pos < m_size)
        m_pos++; // the terminating zero
    dst[n] = 0;
}

void PacketReader::skip(int n)
{
    if (n < 0 || m_size - m_pos < n) {
        m_ok = false;
        m_pos = m_size;
        return;
    }
    m_pos += n;
}

void PacketWriter::appendUI32(uint32_t v)
{
    if (m_capacity - m_length < 4) {
        m_ok = false;
        return;
    }
    WriteBE32(m_buf + m_length, v);
    m_length += 4;
}

void PacketWriter::appendUI8(uint8_t v)
{
    if (m_length >= m_capacity) {
        m_ok = false;
        return;
    }
    m_buf[m_length++] = v;
}

void PacketWriter::appendBuffer(const void* src, int n)
{
    if (n <= 0)
        return;
    if (m_capacity - m_length < n) {
        m_ok = false;
        return;
    }
    std::memcpy(m_buf + m_length, src, size_t(n));
    m_length += n;
}

void PacketWriter::appendString(const char* s, int max)
{
    int n = 0;
    if (s)
        while (n < max && s[n])
            n++;
    appendBuffer(s, n);
    appendUI8(0);
}

void PacketWriter::patchUI32(int at, uint32_t v)
{
    if (at >= 0 && at + 4 <= m_length)
        WriteBE32(m_buf + at, v);
}

} // namespace Internal
} // namespace VOrededidaza
