// A zlib stream over another stream: inflates what it reads from its source
// or, in write mode, deflates what it is given (level 1). Compressed data may
// carry a 12-byte "PLZP" header with both sizes; byte layout in
// docs/formats/plzp.md.
//
// The header's sizes come from the data and are not trusted: Size() reports
// the header's uncompressed size as stored, so a loader that sizes a buffer
// from it must bound it first. Truncated or corrupt data end the reads with
// the bytes produced so far, then -1.
#pragma once
#include <cstdint>

#include "engine/runtime/pstream.h"

struct z_stream_s;

class PZStream : public PStreamSeekable {
public:
    // Mode word.
    enum : uint32_t {
        kRead = 1,
        kWrite = 2,             // wins over kRead
        kRaw = 0x40000000u,     // raw deflate: no "PLZP" header, no zlib header
        kOwnsSource = 0x80000000u,
    };
    static constexpr int kBufferSize = 4096;
    static constexpr int kHeaderSize = 12;

    // Uses source without owning it (see TransferOwnership). A source that is
    // not open is not kept.
    PZStream(PStream* source, int mode);
    // Owns a new PFile of path (created or truncated in write mode).
    PZStream(char const* path, int mode);
    // Owns a new PMemStream over the block.
    PZStream(void* data, long size, int mode);
    ~PZStream() override;
    PZStream(PZStream const&) = delete;
    PZStream& operator=(PZStream const&) = delete;

    // A file or memory block that begins with "PLZP" as a decompressing
    // stream; anything else as the plain stream itself; null on failure.
    static PStream* Open(char const* path, int mode);
    static PStream* Open(void* data, long size, int mode);
    // Takes stream (deleted on failure): a PZStream owning it when its first
    // four bytes are "PLZP", else stream itself, positioned at 0.
    static PStream* DoOpen(PStream* stream, int mode);
    static int CheckMagic(unsigned char const* p);

    // The source is deleted with this stream.
    void TransferOwnership() { m_mode |= kOwnsSource; }

    int IsOpen() const override;
    int Read(void* buffer, int count) override;
    // count > 0 compresses; count 0 finishes the stream.
    int Write(void const* buffer, int count) override;
    // Read mode only: forward by inflating, backward by restarting.
    long Seek(long offset, int whence) override;
    // The uncompressed size: the header's value, or -1 until the end of data
    // without a header has been reached.
    long Size() const override;
    // Bounded by what the compressed bytes not yet inflated can expand to,
    // whatever the header claims.
    long Left() override;

    long CompressedSize() const { return m_csize; }
    int Status() const { return m_status; }

private:
    // Takes source (null when it could not be made or opened) as an owned
    // source and sets the stream up on it.
    void Adopt(PStream* source);
    void Init();
    void InitRead();
    void InitWrite();
    // After a failed inflateInit or deflateInit: there is nothing to end.
    void InitFailed(char const* what, int result);
    void Cleanup();
    int Flush(int count);

    PStream* m_src = nullptr;
    uint32_t m_mode;
    long m_usize = -1;
    long m_csize = -1;
    int m_pending = 0;
    long m_dataStart = -1;
    long m_pos = 0;
    int m_status;
    z_stream_s* m_z = nullptr;
    uint8_t* m_buf = nullptr;
    uint8_t* m_next = nullptr;
};
