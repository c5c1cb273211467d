// The data archive "data.vfs": read-only entries found by a 32-bit hash of
// their name (the archive holds no names). Byte layout: docs/formats/vfs.md.
#pragma once
#include <cstdint>

#include "engine/runtime/pstream.h"

class PVFS;

// One entry of the archive table.
struct PVFSEntry {
    uint32_t offset; // from the start of the archive
    uint32_t hash;   // name hash
    uint32_t size;   // stored bytes
};

// A view of one entry in a file-mode archive. Every entry stream shares the
// archive's stream and re-seeks it only when another entry used it last.
class PStreamVFS : public PStreamSeekable {
public:
    PStreamVFS(PVFS* vfs, PVFSEntry const* entry);
    ~PStreamVFS() override;

    int IsOpen() const override;
    int Read(void* buffer, int count) override;
    int Write(void const* buffer, int count) override;
    long Seek(long offset, int whence) override;
    long Size() const override;

private:
    friend class PVFS;
    // Positions the archive stream at this entry's position when another
    // reader moved it; 0 or -1.
    int Claim();

    PVFS* m_vfs; // null once the archive was closed under this stream
    PVFSEntry const* m_entry;
    uint32_t m_pos;
    // The archive's list of live entry streams, so that closing the archive
    // detaches them instead of leaving them on freed memory.
    PStreamVFS* m_prevLive;
    PStreamVFS* m_nextLive;
};

class PVFS {
public:
    enum {
        kOwnsStream = 1,
        kMemory = 2,
        kCaseInsensitive = 4,
    };
    // Longest name, terminator included, whose parent references ("..") can
    // be resolved; longer names with ".." are refused.
    static constexpr int kNameMax = 256;
    static constexpr int kHeaderSize = 12;
    static constexpr int kEntrySize = 12;

    PVFS();
    // Opens the archive file through PFile (writable directory first, then
    // the installation directory).
    explicit PVFS(char const* path);
    PVFS(PStream* stream, int owns, int memory);
    ~PVFS();
    PVFS(PVFS const&) = delete;
    PVFS& operator=(PVFS const&) = delete;

    int OpenVFS(char const* path);
    int OpenVFS(PStream* stream, int owns, int memory);
    // Reads and checks the header and the table; 1 or 0 (the archive is then
    // empty).
    int Init();
    void Close();

    // The name hash. A name with ".." too long to resolve hashes to 0 (as the
    // empty name does); HashChecked tells that case apart: 0, or -1 (logged).
    static uint32_t Hash(char const* name, int caseInsensitive);
    static int HashChecked(char const* name, int caseInsensitive, uint32_t* hash);
    uint32_t HashName(char const* name) const { return Hash(name, (m_flags & kCaseInsensitive) != 0); }

    PVFSEntry const* Find(uint32_t hash) const;
    // A new stream of the entry, owned by the caller, or null. Entries that
    // begin with "PLZP" open as decompressing streams.
    PStream* Open(uint32_t hash, int mode = 1);
    PStream* Open(char const* name, int mode = 1);
    // Memory mode only: the entry's bytes inside the archive memory and their
    // count; null in file mode or when not found.
    void* Lock(uint32_t hash, unsigned* size);
    void* Lock(char const* name, unsigned* size);
    void Unlock(uint32_t) {}
    void Unlock(char const*) {}

    int IsOpen() const { return m_stream != nullptr && m_count > 0; }
    int Count() const { return m_count; }
    PVFSEntry const* Entry(int i) const { return i >= 0 && i < m_count ? &m_table[i] : nullptr; }
    unsigned Flags() const { return m_flags; }
    // Why the last open failed, in a few words ("not an archive (bad
    // magic)"); null after a successful open.
    char const* Error() const { return m_error; }

private:
    friend class PStreamVFS;

    // The entry's bytes lie inside the archive; logs when they do not.
    bool EntryInside(PVFSEntry const* e) const;
    void DetachReaders();

    uint32_t m_flags;
    int32_t m_count;
    PVFSEntry* m_table;
    PStream* m_stream;
    PStreamVFS* m_lastReader;
    long m_archiveSize;        // bytes in the archive stream, for the entry checks
    PStreamVFS* m_liveReaders; // entry streams of file mode still open
    char const* m_error = nullptr;
};
