#include "engine/runtime/pzstream.h"

#include <climits>
#include <cstring>
#include <zlib.h>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"

namespace {
constexpr uint8_t kMagic[4] = {'P', 'L', 'Z', 'P'};
constexpr uint32_t kKeptModeBits = PZStream::kRead | PZStream::kWrite | PZStream::kRaw;
constexpr int kCleanedUp = -3;

// A stream that was made and opened, else null (and the stream deleted).
// Typed by the stream's own class, so that the delete is not guessed to be a
// PZStream's (the compiler then warns about that guess on a smaller object).
template <class Stream>
PStream* Opened(Stream* s)
{
    if (s && !s->IsOpen()) {
        delete s;
        return nullptr;
    }
    return s;
}

} // namespace

int PZStream::CheckMagic(unsigned char const* p)
{
    return p && std::memcmp(p, kMagic, 4) == 0;
}

PZStream::PZStream(PStream* source, int mode) : m_mode(uint32_t(mode) & kKeptModeBits), m_status(kCleanedUp)
{
    if (source && source->IsOpen()) {
        m_src = source;
        Init();
    }
}

PZStream::PZStream(char const* path, int mode) : m_mode(uint32_t(mode) & kKeptModeBits), m_status(kCleanedUp)
{
    int fileMode = (m_mode & kWrite) ? PFile::kWrite | PFile::kCreate | PFile::kTruncate : PFile::kRead;
    Adopt(Opened(new PFile(path, fileMode)));
}

PZStream::PZStream(void* data, long size, int mode)
    : m_mode(uint32_t(mode) & kKeptModeBits), m_csize(size), m_status(kCleanedUp)
{
    Adopt(Opened(new PMemStream(data, size)));
}

PZStream::~PZStream() { Cleanup(); }

void PZStream::Adopt(PStream* source)
{
    if (!source)
        return;
    m_src = source;
    m_mode |= kOwnsSource;
    Init();
}

void PZStream::Init()
{
    m_status = 0;
    if (m_src->CanSeek()) {
        long p = m_src->Seek(0, 1);
        m_dataStart = p < 0 ? 0 : p;
    }
    m_buf = static_cast<uint8_t*>(PAlloc(kBufferSize));
    m_z = static_cast<z_stream*>(PAllocZ(sizeof(z_stream)));
    if (!m_buf || !m_z) {
        Cleanup();
        return;
    }
    m_z->zalloc = zcalloc;
    m_z->zfree = zcfree;
    if (m_mode & kWrite)
        InitWrite();
    else
        InitRead();
}

void PZStream::InitFailed(char const* what, int result)
{
    _PDebug("PZStream: %s initialisation failed (%d)\n", what, result);
    PFree(m_z);
    m_z = nullptr;
    Cleanup();
}

PStream* PZStream::Open(char const* path, int mode)
{
    return DoOpen(Opened(new PFile(path, PFile::kRead)), mode);
}

PStream* PZStream::Open(void* data, long size, int mode)
{
    return DoOpen(Opened(new PMemStream(data, size)), mode);
}

PStream* PZStream::DoOpen(PStream* stream, int mode)
{
    if (!stream)
        return nullptr;
    uint8_t head[4];
    int n = stream->Read(head, 4);
    if (n < 0) {
        delete stream;
        return nullptr;
    }
    if (stream->Seek(0, 0) != 0) {
        _PDebug("PZStream: cannot rewind the stream\n");
        delete stream;
        return nullptr;
    }
    if (n < 4 || !CheckMagic(head))
        return stream;
    PZStream* z = new PZStream(stream, mode);
    if (!z || !z->IsOpen()) {
        delete z;
        delete stream;
        return nullptr;
    }
    z->TransferOwnership();
    return z;
}

int PZStream::IsOpen() const
{
    if (!m_src || !m_src->IsOpen())
        return 0;
    if (m_mode & kWrite)
        return 1;
    return m_z != nullptr && m_buf != nullptr;
}

long PZStream::Size() const { return m_usize; }

long PZStream::Left()
{
    if (m_status == Z_STREAM_END)
        return 0;
    if ((m_mode & kWrite) || !m_src || m_status != 0)
        return m_status != 0 ? 0 : -1;
    long in = m_src->Left();
    if (in < 0)
        return -1;
    // Deflate never expands by more than 1032 to 1; a little more for the
    // output inflate may still hold.
    constexpr long kMaxRatio = 1032, kHeld = 1 << 16;
    long compressed = in + (m_pending > 0 ? m_pending : 0);
    if (compressed > (LONG_MAX - kHeld) / kMaxRatio)
        return -1;
    return compressed * kMaxRatio + kHeld;
}

void PZStream::InitRead()
{
    int r;
    if (m_mode & kRaw) {
        m_pending = 0;
        m_next = m_buf;
        r = inflateInit2(m_z, -MAX_WBITS);
    } else {
        int got = m_src->Read(m_buf, kBufferSize);
        if (got == 0) {
            Cleanup();
            m_status = Z_STREAM_END; // an empty source reads as an ended stream
            return;
        }
        if (got < 0) {
            Cleanup();
            return;
        }
        m_next = m_buf;
        m_pending = got;
        if (got >= kHeaderSize && CheckMagic(m_buf)) {
            // Stored sizes are kept as they are; a value that does not fit the
            // signed field is simply unknown.
            m_usize = int32_t(PLoad32(m_buf + 4));
            m_csize = int32_t(PLoad32(m_buf + 8));
            if (m_usize < 0)
                m_usize = -1;
            m_next += kHeaderSize;
            m_pending -= kHeaderSize;
            if (m_dataStart >= 0)
                m_dataStart += kHeaderSize;
        }
        r = inflateInit(m_z);
    }
    if (r != Z_OK)
        InitFailed("inflate", r);
}

int PZStream::Read(void* buffer, int count)
{
    if (m_status == Z_STREAM_END)
        return 0;
    if (m_status != 0 || (m_mode & kWrite) || !m_z || count < 0)
        return -1;
    if (count == 0)
        return 0;
    m_z->next_out = static_cast<Bytef*>(buffer);
    m_z->avail_out = unsigned(count);
    int r = Z_OK;
    while (m_z->avail_out > 0) {
        if (m_pending <= 0) {
            int got = m_src->Read(m_buf, kBufferSize);
            m_next = m_buf;
            m_pending = got > 0 ? got : 0; // a failed read is the end of the input
        }
        m_z->next_in = m_next;
        m_z->avail_in = unsigned(m_pending);
        r = inflate(m_z, Z_SYNC_FLUSH);
        m_next = m_z->next_in;
        m_pending = int(m_z->avail_in);
        if (r != Z_OK)
            break;
    }
    int produced = count - int(m_z->avail_out);
    m_pos += produced;
    m_z->next_out = nullptr;
    m_z->avail_out = 0;
    if (r == Z_OK)
        return produced;
    m_status = r;
    if (r == Z_STREAM_END) {
        if (m_csize < 0)
            m_csize = long(m_z->total_in);
        if (m_usize < 0)
            m_usize = m_pos;
        return produced;
    }
    if (r == Z_BUF_ERROR)
        _PDebug("PZStream: compressed data end early\n");
    else
        _PDebug("PZStream: corrupt compressed data (%d)\n", r);
    return produced != 0 ? produced : -1;
}

long PZStream::Seek(long offset, int whence)
{
    if ((m_mode & kWrite) || !m_z || m_status < 0 || m_status == Z_NEED_DICT)
        return -1;
    if (m_status == Z_STREAM_END)
        m_status = 0;
    long target;
    if (whence == 1) {
        if (offset == 0)
            return m_pos;
        if (__builtin_add_overflow(m_pos, offset, &target))
            target = offset < 0 ? 0 : LONG_MAX;
    } else if (whence == 2) {
        if (offset > 0)
            return -1;
        if (m_usize <= 0)
            target = LONG_MAX; // read to the end; the offset is not applied
        else
            target = m_usize + offset;
    } else {
        if (offset < 0)
            return -1;
        target = offset;
    }

    if (target < m_pos) {
        if (m_dataStart < 0 || !m_src->CanSeek() || m_src->Seek(m_dataStart, 0) != m_dataStart)
            return -1;
        inflateReset(m_z);
        m_pos = 0;
        m_pending = 0;
        m_next = m_buf;
    }
    uint8_t scratch[512];
    while (m_pos < target) {
        long left = target - m_pos;
        int want = left < long(sizeof scratch) ? int(left) : int(sizeof scratch);
        int got = Read(scratch, want);
        if (got < want)
            break;
    }
    return m_pos;
}

void PZStream::InitWrite()
{
    int r;
    if (m_mode & kRaw)
        r = deflateInit2(m_z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    else
        r = deflateInit(m_z, 1);
    if (r != Z_OK) {
        InitFailed("deflate", r);
        return;
    }
    if (!(m_mode & kRaw) && m_dataStart >= 0) {
        // Placeholder header, patched with the sizes when the stream ends.
        if (m_src->Write("PLZPPLZPPLZP", kHeaderSize) != kHeaderSize) {
            _PDebug("PZStream: cannot write the header\n");
            m_dataStart = -1;
            Cleanup();
            return;
        }
    }
    m_z->next_out = m_buf;
    m_z->avail_out = kBufferSize;
}

// Writes the first count bytes of the output buffer to the source and makes
// the whole buffer free again; 0, or -1 after a short write.
int PZStream::Flush(int count)
{
    if (count > 0 && m_src->Write(m_buf, count) != count) {
        _PDebug("PZStream: short write\n");
        m_status = kCleanedUp;
        return -1;
    }
    m_z->next_out = m_buf;
    m_z->avail_out = kBufferSize;
    return 0;
}

int PZStream::Write(void const* buffer, int count)
{
    if (!(m_mode & kWrite) || !m_z || !m_src)
        return -1;
    if (m_status == Z_STREAM_END)
        return 0;
    if (m_status != 0 || count < 0 || (count > 0 && !buffer))
        return -1;
    m_z->next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
    m_z->avail_in = unsigned(count);
    int flush = count > 0 ? Z_NO_FLUSH : Z_FINISH;
    for (;;) {
        int r = deflate(m_z, flush);
        // With output room and input (or a finish) pending, zlib always makes
        // progress; anything else is an error, never a reason to spin.
        if (r == Z_STREAM_ERROR || (r == Z_BUF_ERROR && m_z->avail_out != 0)) {
            m_status = r;
            return -1;
        }
        if (m_z->avail_out == 0 && Flush(kBufferSize) != 0)
            return -1;
        if (flush == Z_FINISH) {
            if (r == Z_STREAM_END) {
                if (Flush(kBufferSize - int(m_z->avail_out)) != 0)
                    return -1;
                m_status = Z_STREAM_END;
                break;
            }
        } else if (m_z->avail_in == 0) {
            break;
        }
    }
    m_z->next_in = nullptr;
    m_pos += count;
    m_csize = long(m_z->total_out);
    return count;
}

void PZStream::Cleanup()
{
    if (m_z) {
        if (m_mode & kWrite) {
            Write(nullptr, 0);
            if (!(m_mode & kRaw) && m_dataStart >= 0 && m_src) {
                // The header sits where this stream began in its destination.
                uint8_t sizes[8];
                PStore32(sizes, uint32_t(m_pos));
                PStore32(sizes + 4, uint32_t(m_csize));
                long end = m_src->Seek(0, 1);
                if (m_src->Seek(m_dataStart + 4, 0) != m_dataStart + 4 || m_src->Write(sizes, 8) != 8)
                    _PDebug("PZStream: cannot write the header sizes\n");
                if (end >= 0)
                    m_src->Seek(end, 0);
            }
            deflateEnd(m_z);
        } else {
            inflateEnd(m_z);
        }
        PFree(m_z);
        m_z = nullptr;
    }
    PFree(m_buf);
    m_buf = nullptr;
    m_next = nullptr;
    m_pending = 0;
    if (m_mode & kOwnsSource)
        delete m_src;
    m_src = nullptr;
    m_status = kCleanedUp;
}
