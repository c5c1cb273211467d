// Byte streams: the one interface every file, archive entry, compressed
// stream, chunk file, memory block and socket of the engine reads through.
//
// Read and Write return the number of bytes moved, 0 at the end of the data
// and -1 on an error or when the stream is not open. Seek takes whence 0 (from
// the start), 1 (from the current position) or 2 (from the end) and returns
// the new position or -1. Integers are little-endian in every stream.
#pragma once
#include <cstdint>

class PStream {
public:
    virtual ~PStream();
    virtual int IsOpen() const = 0;
    virtual int Read(void* buffer, int count) = 0;
    virtual int Write(void const* buffer, int count) = 0;
    // -1 unless the stream can seek.
    virtual long Seek(long offset, int whence);
    // Moves forward by count bytes. Streams that cannot seek read and discard
    // exactly count bytes (fewer at the end of the data) and return how many
    // were discarded; -1 when the first read fails.
    virtual int Skip(int count);
    virtual int CanSeek() const;
    virtual long Size() const;
    // At least as many bytes as reads can still deliver, -1 when that cannot
    // be told. Loaders bound sizes taken from the data by it before they
    // allocate. Seekable streams of known size: the size less the position.
    virtual long Left();

    // Reads until count bytes have arrived or the stream ends or fails;
    // returns how many arrived (count when all did).
    int ReadFully(void* buffer, int count);
    // 0..255, or 0xFFFFFFFF when the byte could not be read.
    unsigned GetByte();
    // Unsigned 16-bit value, or 0xFFFFFFFF on a short read.
    unsigned Get16();
    // 32-bit value, or 0xFFFFFFFF on a short read (a stored 0xFFFFFFFF reads
    // the same; callers that must tell them apart use Read).
    unsigned Get32();
};

// Base of the streams that can seek: Skip is a relative seek.
class PStreamSeekable : public PStream {
public:
    // count when the seek succeeded, else -1.
    int Skip(int count) override;
    int CanSeek() const override;
};

// A seekable stream over a memory block that it does not own. Writes stay
// inside the block; seeks are clamped to it.
class PMemStream : public PStreamSeekable {
public:
    PMemStream(void* data, long size);
    ~PMemStream() override;

    int IsOpen() const override;
    int Read(void* buffer, int count) override;
    int Write(void const* buffer, int count) override;
    long Seek(long offset, int whence) override;
    long Size() const override;
    int CanSeek() const override;

    // Pointer to the byte at offset and, in *available, how many bytes follow
    // it; null and 0 when offset is at or beyond the end.
    void* GetPointer(unsigned offset, unsigned* available);

    uint32_t Position() const { return m_pos; }

private:
    // The bytes of a count-byte transfer that fit before the end; -1 when the
    // stream is not open or count is negative.
    int Span(int count) const;

    uint8_t* m_data;
    uint32_t m_pos;
    uint32_t m_size;
};

// Little-endian helpers for code that decodes bytes already in memory.
inline uint16_t PLoad16(void const* p)
{
    auto b = static_cast<uint8_t const*>(p);
    return uint16_t(b[0] | (b[1] << 8));
}
inline uint32_t PLoad32(void const* p)
{
    auto b = static_cast<uint8_t const*>(p);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}
inline void PStore32(void* p, uint32_t v)
{
    auto b = static_cast<uint8_t*>(p);
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
    b[2] = uint8_t(v >> 16);
    b[3] = uint8_t(v >> 24);
}
