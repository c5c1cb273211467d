#include "engine/runtime/pstream.h"

#include <climits>
#include <cstring>

PStream::~PStream() = default;

long PStream::Seek(long, int) { return -1; }

int PStream::CanSeek() const { return 0; }

long PStream::Size() const { return -1; }

long PStream::Left()
{
    if (!CanSeek())
        return -1;
    long size = Size(), pos = Seek(0, 1);
    if (size < 0 || pos < 0)
        return -1;
    return size > pos ? size - pos : 0;
}

int PStream::Skip(int count)
{
    if (count <= 0)
        return 0;
    uint8_t scratch[64];
    int done = 0;
    while (done < count) {
        int want = count - done < int(sizeof scratch) ? count - done : int(sizeof scratch);
        int got = Read(scratch, want);
        if (got < 0)
            return done > 0 ? done : -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

int PStream::ReadFully(void* buffer, int count)
{
    auto* d = static_cast<uint8_t*>(buffer);
    int done = 0;
    while (done < count) {
        int r = Read(d + done, count - done);
        if (r <= 0)
            break;
        done += r;
    }
    return done;
}

unsigned PStream::GetByte()
{
    uint8_t b;
    return Read(&b, 1) == 1 ? b : 0xFFFFFFFFu;
}

unsigned PStream::Get16()
{
    uint8_t b[2];
    return Read(b, 2) == 2 ? PLoad16(b) : 0xFFFFFFFFu;
}

unsigned PStream::Get32()
{
    uint8_t b[4];
    return Read(b, 4) == 4 ? PLoad32(b) : 0xFFFFFFFFu;
}

int PStreamSeekable::Skip(int count)
{
    return Seek(count, 1) >= 0 ? count : -1;
}

int PStreamSeekable::CanSeek() const { return 1; }

PMemStream::PMemStream(void* data, long size)
    : m_data(static_cast<uint8_t*>(data)), m_pos(0)
{
    // The position and the counts of Read and Write are 32-bit; a block is
    // never larger than that.
    if (size < 0 || !data)
        size = 0;
    else if (size > long(INT_MAX))
        size = INT_MAX;
    m_size = uint32_t(size);
}

PMemStream::~PMemStream() = default;

int PMemStream::IsOpen() const { return m_data != nullptr; }

int PMemStream::Span(int count) const
{
    if (!m_data || count < 0)
        return -1;
    return uint32_t(count) < m_size - m_pos ? count : int(m_size - m_pos);
}

int PMemStream::Read(void* buffer, int count)
{
    int n = Span(count);
    if (n > 0) {
        std::memcpy(buffer, m_data + m_pos, size_t(n));
        m_pos += uint32_t(n);
    }
    return n;
}

int PMemStream::Write(void const* buffer, int count)
{
    int n = Span(count);
    if (n > 0) {
        std::memcpy(m_data + m_pos, buffer, size_t(n));
        m_pos += uint32_t(n);
    }
    return n;
}

long PMemStream::Seek(long offset, int whence)
{
    if (!m_data)
        return -1;
    long long base = whence == 1 ? m_pos : whence == 2 ? m_size : 0;
    long long target;
    // An offset so large that the sum overflows lies beyond the end.
    if (__builtin_add_overflow(base, (long long)offset, &target))
        target = offset < 0 ? 0 : (long long)m_size;
    if (target < 0)
        target = 0;
    if (target > (long long)m_size)
        target = m_size;
    m_pos = uint32_t(target);
    return long(m_pos);
}

long PMemStream::Size() const { return m_data ? long(m_size) : -1; }

int PMemStream::CanSeek() const { return 1; }

void* PMemStream::GetPointer(unsigned offset, unsigned* available)
{
    if (!m_data || offset >= m_size) {
        if (available)
            *available = 0;
        return nullptr;
    }
    if (available)
        *available = m_size - offset;
    return m_data + offset;
}
