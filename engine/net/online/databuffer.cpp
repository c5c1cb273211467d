#include "engine/net/online/databuffer.h"

#include <cstring>

#include "engine/runtime/palloc.h"

namespace VOrededidaza {
namespace Internal {

DataBuffer::DataBuffer() : m_data(nullptr), m_capacity(0), m_read(0), m_write(0) {}

DataBuffer::~DataBuffer()
{
    PFree(m_data);
}

int DataBuffer::construct(int capacity)
{
    PFree(m_data);
    m_data = nullptr;
    m_capacity = m_read = m_write = 0;
    if (capacity <= 0)
        return 0;
    m_data = static_cast<unsigned char*>(PAlloc(capacity));
    if (!m_data)
        return 0;
    m_capacity = capacity;
    return 1;
}

int DataBuffer::readData(void* dst, int n)
{
    if (n < 0 || n > availableData())
        return 0;
    if (n > 0)
        std::memcpy(dst, m_data + m_read, size_t(n));
    m_read += n;
    if (m_read == m_write)
        m_read = m_write = 0;
    return 1;
}

int DataBuffer::peekData(void* dst, int n) const
{
    if (n < 0 || n > availableData())
        return 0;
    if (n > 0)
        std::memcpy(dst, m_data + m_read, size_t(n));
    return 1;
}

void DataBuffer::skipData(int n)
{
    if (n <= 0)
        return;
    if (n > availableData())
        n = availableData();
    m_read += n;
    if (m_read == m_write)
        m_read = m_write = 0;
}

int DataBuffer::addData(const void* src, int n)
{
    if (n < 0 || !m_data)
        return 0;
    if (n == 0)
        return 1;
    if (n > m_capacity - m_write) {
        int avail = availableData();
        if (n > m_capacity - avail)
            return 0;
        std::memmove(m_data, m_data + m_read, size_t(avail));
        m_read = 0;
        m_write = avail;
    }
    std::memcpy(m_data + m_write, src, size_t(n));
    m_write += n;
    return 1;
}

} // namespace Internal
} // namespace VOrededidaza
