// DataBuffer: a byte queue of fixed capacity.
#pragma once

namespace VOrededidaza {
namespace Internal {

class DataBuffer {
public:
    DataBuffer();
    ~DataBuffer();
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;

    // Allocates the storage; 0 without memory.
    int construct(int capacity);
    void clear() { m_read = m_write = 0; }
    int availableData() const { return m_write - m_read; }
    int availableSpace() const { return m_capacity - availableData(); }
    // Copies n bytes out and drops them; 0 (nothing copied) when fewer than
    // n bytes are queued.
    int readData(void* dst, int n);
    // Copies n bytes without dropping them; 0 when fewer are queued.
    int peekData(void* dst, int n) const;
    // Drops n queued bytes (at most all of them).
    void skipData(int n);
    // The queued bytes, contiguous.
    const unsigned char* data() const { return m_data + m_read; }
    // Appends n bytes when they fit (1); otherwise nothing is added (0).
    int addData(const void* src, int n);

private:
    unsigned char* m_data;
    int m_capacity;
    int m_read;
    int m_write;
};

} // namespace Internal
} // namespace VOrededidaza
