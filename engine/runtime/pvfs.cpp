#include "engine/runtime/pvfs.h"

#include <cstring>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pzstream.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

} // namespace

// ---------------------------------------------------------------------------
// Archive

PVFS::PVFS()
    : m_flags(0), m_count(0), m_table(nullptr), m_stream(nullptr), m_lastReader(nullptr), m_archiveSize(0),
      m_liveReaders(nullptr)
{
}

PVFS::PVFS(char const* path) : PVFS() { OpenVFS(path); }

PVFS::PVFS(PStream* stream, int owns, int memory) : PVFS() { OpenVFS(stream, owns, memory); }

PVFS::~PVFS() { Close(); }

int PVFS::OpenVFS(char const* path)
{
    Close();
    m_error = "cannot open";
    PFile* f = new PFile(path, PFile::kRead);
    if (!f)
        return 0;
    if (!f->IsOpen()) {
        _PDebug("PVFS: cannot open %s\n", path ? path : "(null)");
        delete f;
        return 0;
    }
    return OpenVFS(f, 1, 0);
}

int PVFS::OpenVFS(PStream* stream, int owns, int memory)
{
    Close();
    m_flags = (owns ? kOwnsStream : 0) | (memory ? kMemory : 0);
    m_stream = stream;
    return Init();
}

int PVFS::Init()
{
    m_error = nullptr;
    if (!m_stream || !m_stream->IsOpen()) {
        m_error = "cannot open";
        _PDebug("PVFS: no archive stream\n");
        Close();
        return 0;
    }
    uint8_t head[kHeaderSize];
    const int headRead = m_stream->ReadFully(head, kHeaderSize);
    if (headRead <= 0) {
        m_error = "empty";
        _PDebug("PVFS: empty archive\n");
        Close();
        return 0;
    }
    if (headRead != kHeaderSize || std::memcmp(head, "VOFS", 4) != 0) {
        m_error = "not an archive (bad magic)";
        _PDebug("PVFS: not an archive (bad magic)\n");
        Close();
        return 0;
    }
    int32_t flagsWord = int32_t(PLoad32(head + 4));
    int32_t count = int32_t(PLoad32(head + 8));
    long size = m_stream->Size();
    if (size < kHeaderSize) {
        m_error = "archive size unknown";
        _PDebug("PVFS: archive size unknown\n");
        Close();
        return 0;
    }
    // The table must fit in the archive: this bounds the count before the
    // table size is computed.
    long maxCount = (size - kHeaderSize) / kEntrySize;
    if (count <= 0 || long(count) > maxCount) {
        m_error = "damaged (bad entry count)";
        _PDebug("PVFS: bad entry count %d for an archive of %ld bytes\n", count, size);
        Close();
        return 0;
    }
    // Computed wide: a count that fits the archive can still overflow an int.
    if (long(count) * kEntrySize > 0x7FFFFFFFL) {
        m_error = "damaged (entry table too large)";
        _PDebug("PVFS: entry table too large (%d entries)\n", count);
        Close();
        return 0;
    }
    int tableBytes = count * kEntrySize;
    uint8_t* raw = static_cast<uint8_t*>(PAlloc(tableBytes));
    m_table = static_cast<PVFSEntry*>(PAlloc(count * int(sizeof(PVFSEntry))));
    if (!raw || !m_table) {
        m_error = "out of memory";
        PFree(raw);
        Close();
        return 0;
    }
    if (m_stream->ReadFully(raw, tableBytes) != tableBytes) {
        m_error = "damaged (short entry table)";
        _PDebug("PVFS: short entry table\n");
        PFree(raw);
        Close();
        return 0;
    }
    bool sorted = true;
    for (int i = 0; i < count; i++) {
        uint8_t const* e = raw + i * kEntrySize;
        m_table[i].offset = PLoad32(e);
        m_table[i].hash = PLoad32(e + 4);
        m_table[i].size = PLoad32(e + 8);
        if (i > 0 && m_table[i].hash < m_table[i - 1].hash)
            sorted = false;
    }
    PFree(raw);
    if (!sorted)
        _PDebug("PVFS: WARNING: entry table not sorted by hash; entries will be missed\n");
    m_count = count;
    m_archiveSize = size;
    if (flagsWord < 0)
        m_flags |= kCaseInsensitive;
    return 1;
}

void PVFS::DetachReaders()
{
    while (PStreamVFS* s = m_liveReaders) {
        m_liveReaders = s->m_nextLive;
        s->m_vfs = nullptr;
        s->m_entry = nullptr;
        s->m_prevLive = s->m_nextLive = nullptr;
    }
    m_lastReader = nullptr;
}

void PVFS::Close()
{
    DetachReaders();
    if ((m_flags & kOwnsStream) && m_stream)
        delete m_stream;
    PFree(m_table);
    m_flags = 0;
    m_count = 0;
    m_table = nullptr;
    m_stream = nullptr;
    m_archiveSize = 0;
}

int PVFS::HashChecked(char const* name, int caseInsensitive, uint32_t* hash)
{
    *hash = 0;
    if (!name)
        return -1;
    char copy[kNameMax];
    if (std::strstr(name, "..")) {
        size_t len = std::strlen(name);
        if (len >= size_t(kNameMax)) {
            _PDebug("PVFS: name too long to resolve: %.64s...\n", name);
            return -1;
        }
        // Resolve every ".." that directly follows a separator by dropping
        // the component before that separator.
        size_t o = 0;
        for (size_t i = 0; i < len;) {
            if (IsSeparator(name[i]) && name[i + 1] == '.' && name[i + 2] == '.') {
                while (o > 0 && !IsSeparator(copy[o - 1]))
                    o--;
                if (o > 0)
                    o--; // the separator before the dropped component
                i += 3;
                continue;
            }
            copy[o++] = name[i++];
        }
        copy[o] = 0;
        name = copy;
    }
    auto p = reinterpret_cast<unsigned char const*>(name);
    if (IsSeparator(char(*p)))
        p++;
    uint32_t h = 0;
    for (; *p; p++) {
        uint32_t c = *p;
        if (caseInsensitive) {
            if (c == '/' && p[1] == '/')
                continue;
            if (c == '\\')
                c = '/';
            else if (c >= 'a' && c <= 'z')
                c -= 'a' - 'A';
        } else if (c == '\\') {
            c = '/';
        }
        h = h * 67u - 113u + c;
    }
    *hash = h;
    return 0;
}

uint32_t PVFS::Hash(char const* name, int caseInsensitive)
{
    uint32_t h;
    HashChecked(name, caseInsensitive, &h);
    return h;
}

PVFSEntry const* PVFS::Find(uint32_t hash) const
{
    if (!m_table || m_count <= 0)
        return nullptr;
    int lo = 0, hi = m_count - 1, mid = 0;
    while (lo <= hi) {
        mid = lo + (hi - lo) / 2;
        uint32_t h = m_table[mid].hash;
        if (h >= hash) {
            hi = mid - 1;
            if (h == hash)
                break;
        } else {
            lo = mid + 1;
        }
    }
    return m_table[mid].hash == hash ? &m_table[mid] : nullptr;
}

bool PVFS::EntryInside(PVFSEntry const* e) const
{
    if (uint64_t(e->offset) + e->size > uint64_t(m_archiveSize) || e->size > 0x7FFFFFFFu) {
        _PDebug("PVFS: entry %08X (offset %u, size %u) lies outside the archive (%ld bytes)\n", e->hash,
                e->offset, e->size, m_archiveSize);
        return false;
    }
    return true;
}

PStream* PVFS::Open(uint32_t hash, int)
{
    if (!m_stream)
        return nullptr;
    PVFSEntry const* e = Find(hash);
    if (!e || !EntryInside(e))
        return nullptr;

    if (m_flags & kMemory) {
        unsigned avail = 0;
        auto base = static_cast<uint8_t*>(static_cast<PMemStream*>(m_stream)->GetPointer(0, &avail));
        if (!base || uint64_t(e->offset) + e->size > avail)
            return nullptr;
        uint8_t* p = base + e->offset;
        PStream* s;
        if (e->size >= 4 && PZStream::CheckMagic(p))
            s = new PZStream(p, long(e->size), PZStream::kRead);
        else
            s = new PMemStream(p, long(e->size));
        if (s && !s->IsOpen() && e->size > 0) {
            delete s;
            s = nullptr;
        }
        return s;
    }

    if (m_stream->Seek(long(e->offset), 0) != long(e->offset))
        return nullptr;
    PStreamVFS* v = new PStreamVFS(this, e);
    if (!v)
        return nullptr;
    m_lastReader = v;
    uint8_t head[4];
    int n = v->Read(head, 4);
    if (n == 4 && PZStream::CheckMagic(head)) {
        v->Seek(0, 0);
        PZStream* z = new PZStream(v, PZStream::kRead);
        if (z && z->IsOpen()) {
            z->TransferOwnership();
            return z;
        }
        _PDebug("PVFS: entry %08X: bad compressed stream\n", hash);
        delete z;
        delete v;
        return nullptr;
    }
    if (n > 0)
        v->Seek(0, 0);
    return v;
}

PStream* PVFS::Open(char const* name, int mode)
{
    uint32_t h;
    if (HashChecked(name, (m_flags & kCaseInsensitive) != 0, &h) != 0)
        return nullptr;
    return Open(h, mode);
}

void* PVFS::Lock(uint32_t hash, unsigned* size)
{
    if (size)
        *size = 0;
    if (!(m_flags & kMemory) || !m_stream)
        return nullptr;
    PVFSEntry const* e = Find(hash);
    if (!e || !EntryInside(e))
        return nullptr;
    unsigned avail = 0;
    auto base = static_cast<uint8_t*>(static_cast<PMemStream*>(m_stream)->GetPointer(0, &avail));
    if (!base || uint64_t(e->offset) + e->size > avail)
        return nullptr;
    if (size)
        *size = e->size;
    return base + e->offset;
}

void* PVFS::Lock(char const* name, unsigned* size)
{
    uint32_t h;
    if (HashChecked(name, (m_flags & kCaseInsensitive) != 0, &h) != 0) {
        if (size)
            *size = 0;
        return nullptr;
    }
    return Lock(h, size);
}

// ---------------------------------------------------------------------------
// Entry streams

PStreamVFS::PStreamVFS(PVFS* vfs, PVFSEntry const* entry)
    : m_vfs(vfs), m_entry(entry), m_pos(0), m_prevLive(nullptr), m_nextLive(vfs->m_liveReaders)
{
    if (m_nextLive)
        m_nextLive->m_prevLive = this;
    vfs->m_liveReaders = this;
}

PStreamVFS::~PStreamVFS()
{
    if (!m_vfs)
        return;
    if (m_vfs->m_lastReader == this)
        m_vfs->m_lastReader = nullptr;
    if (m_prevLive)
        m_prevLive->m_nextLive = m_nextLive;
    else
        m_vfs->m_liveReaders = m_nextLive;
    if (m_nextLive)
        m_nextLive->m_prevLive = m_prevLive;
}

int PStreamVFS::IsOpen() const { return m_vfs != nullptr; }

long PStreamVFS::Size() const { return m_entry ? long(m_entry->size) : -1; }

int PStreamVFS::Claim()
{
    if (m_vfs->m_lastReader == this)
        return 0;
    long target = long(m_entry->offset) + long(m_pos);
    if (m_vfs->m_stream->Seek(target, 0) != target)
        return -1;
    m_vfs->m_lastReader = this;
    return 0;
}

int PStreamVFS::Read(void* buffer, int count)
{
    if (!m_vfs || count < 0)
        return -1;
    if (m_pos >= m_entry->size)
        return 0;
    if (Claim() != 0)
        return -1;
    uint32_t left = m_entry->size - m_pos;
    int n = uint32_t(count) < left ? count : int(left);
    int r = m_vfs->m_stream->Read(buffer, n);
    if (r > 0)
        m_pos += uint32_t(r);
    return r;
}

int PStreamVFS::Write(void const* buffer, int count)
{
    if (!m_vfs || count < 0)
        return -1;
    if (m_pos >= m_entry->size)
        return -1;
    if (Claim() != 0)
        return -1;
    uint32_t left = m_entry->size - m_pos;
    int n = uint32_t(count) < left ? count : int(left);
    int r = m_vfs->m_stream->Write(buffer, n);
    if (r > 0)
        m_pos += uint32_t(r);
    return r;
}

long PStreamVFS::Seek(long offset, int whence)
{
    if (!m_vfs)
        return -1;
    long long start = m_entry->offset;
    long long end = start + m_entry->size;
    long long base;
    if (whence == 1) {
        if (offset == 0)
            return long(m_pos);
        base = start + m_pos;
    } else if (whence == 2) {
        base = end;
    } else {
        base = start;
    }
    long long t;
    if (__builtin_add_overflow(base, (long long)offset, &t))
        t = offset < 0 ? start - 1 : end;
    if (t < start)
        return -1;
    if (t > end)
        t = end;
    m_pos = uint32_t(t - start);
    if (m_vfs->m_lastReader != this)
        return long(m_pos);
    long r = m_vfs->m_stream->Seek(long(t), 0);
    if (r != long(t))
        m_vfs->m_lastReader = nullptr; // the next read positions the stream again
    return r < start ? 0 : long(r - start);
}
