#include "engine/runtime/piffreader.h"

#include <cstring>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pzstream.h"

namespace {
constexpr uint32_t kPIFF = PFourCC("PIFF");
constexpr uint32_t kFORM = PFourCC("FORM");
constexpr uint32_t kChunkHeader = 8;
} // namespace

PIFFReader::PIFFReader(char const* path) : m_levels(), m_level(0), m_chunkRemain(0), m_owns(1), m_stream(nullptr)
{
    PFile* f = new PFile(path, PFile::kRead);
    if (!f)
        return;
    m_stream = f;
    DoOpen();
}

PIFFReader::PIFFReader(PStream* stream, int owns)
    : m_levels(), m_level(0), m_chunkRemain(0), m_owns(owns != 0), m_stream(stream)
{
    DoOpen();
}

PIFFReader::~PIFFReader()
{
    if (m_owns)
        delete m_stream;
}

void PIFFReader::Fail()
{
    if (m_owns)
        delete m_stream;
    m_stream = nullptr;
    m_owns = 0;
}

bool PIFFReader::ReadU32(uint32_t* v)
{
    uint8_t b[4];
    if (m_stream->ReadFully(b, 4) != 4)
        return false;
    *v = PLoad32(b);
    return true;
}

void PIFFReader::DoOpen()
{
    if (!m_stream || !m_stream->IsOpen()) {
        Fail();
        return;
    }
    uint32_t magic = 0;
    if (!ReadU32(&magic) || magic != kPIFF) {
        // Not a plain chunk file: perhaps a compressed one.
        if (m_stream->Seek(0, 0) != 0) {
            _PDebug("PIFFReader: not a chunk file\n");
            Fail();
            return;
        }
        PZStream* z = new PZStream(m_stream, PZStream::kRead);
        if (!z || !z->IsOpen()) {
            _PDebug("PIFFReader: not a chunk file\n");
            delete z;
            Fail();
            return;
        }
        if (m_owns)
            z->TransferOwnership();
        m_stream = z;
        m_owns = 1;
        if (!ReadU32(&magic) || magic != kPIFF) {
            _PDebug("PIFFReader: not a chunk file\n");
            Fail();
            return;
        }
    }
    FormLevel& top = m_levels[0];
    if (!ReadU32(&top.size) || !ReadU32(&top.type) || top.type == 0 || top.size < 4) {
        _PDebug("PIFFReader: bad header\n");
        Fail();
        return;
    }
    top.remain = top.size - 4; // the type word
    m_level = 0;
    m_chunkRemain = 0;
}

int PIFFReader::IsOpen() const { return m_stream != nullptr && m_stream->IsOpen(); }

long PIFFReader::Size() const { return m_stream ? long(m_levels[m_level].size) : -1; }

int PIFFReader::Write(void const*, int) { return -1; }

uint32_t PIFFReader::FormLeft()
{
    if (!m_stream)
        return 0;
    uint32_t form = m_levels[m_level].remain;
    long left = m_stream->Left();
    return left >= 0 && uint64_t(left) < form ? uint32_t(left) : form;
}

int PIFFReader::Read(void* buffer, int count)
{
    if (!m_stream || count < 0)
        return -1;
    uint32_t n = uint32_t(count) < m_chunkRemain ? uint32_t(count) : m_chunkRemain;
    if (n == 0)
        return 0;
    int r = m_stream->Read(buffer, int(n));
    if (r > 0) {
        m_chunkRemain -= uint32_t(r);
        m_levels[m_level].remain -= uint32_t(r); // the chunk lies inside its form
    }
    return r;
}

void PIFFReader::SkipBytes(uint32_t count)
{
    while (count > 0) {
        int step = count > 0x40000000u ? 0x40000000 : int(count);
        if (m_stream->Skip(step) <= 0)
            return;
        count -= uint32_t(step);
    }
}

void PIFFReader::EndWalk()
{
    m_level = 0;
    m_levels[0].remain = 0;
    m_chunkRemain = 0;
}

void PIFFReader::SkipChunk()
{
    if (!m_stream)
        return;
    SkipBytes(m_chunkRemain);
    m_levels[m_level].remain -= m_chunkRemain;
    m_chunkRemain = 0;
}

void PIFFReader::SkipForm()
{
    if (!m_stream)
        return;
    FormLevel& cur = m_levels[m_level];
    SkipBytes(cur.remain);
    cur.remain = 0;
    m_chunkRemain = 0;
    if (m_level > 0) {
        m_level--;
        // A nested form never holds more than its parent had left.
        m_levels[m_level].remain -= cur.size;
    }
}

uint32_t PIFFReader::NextChunk(unsigned int& size)
{
    size = 0;
    if (!m_stream)
        return 0;
    if (m_chunkRemain > 0)
        SkipChunk();
    for (;;) {
        FormLevel& cur = m_levels[m_level];
        if (cur.remain == 0) {
            if (m_level > 0) {
                m_level--;
                m_levels[m_level].remain -= cur.size;
            }
            return 0;
        }
        uint32_t id, dsize;
        if (cur.remain < kChunkHeader || !ReadU32(&id) || !ReadU32(&dsize)) {
            _PDebug("PIFFReader: short chunk header\n");
            EndWalk();
            return 0;
        }
        cur.remain -= kChunkHeader;
        if (id == 0)
            return 0;
        if (dsize > cur.remain) {
            _PDebug("PIFFReader: chunk of %u bytes in a form with %u left\n", dsize, cur.remain);
            EndWalk();
            return 0;
        }
        size = dsize;
        m_chunkRemain = dsize;
        if (id != kFORM)
            return id;
        if (dsize > 11 && m_level < kLevels - 1) {
            FormLevel& next = m_levels[m_level + 1];
            if (!ReadU32(&next.type)) {
                _PDebug("PIFFReader: short form header\n");
                EndWalk();
                return 0;
            }
            next.size = dsize;
            next.remain = dsize - 4;
            m_chunkRemain = 0;
            m_level++;
            return kFORM;
        }
        SkipChunk();
        size = 0;
    }
}
