// Fuzz target: an archive from untrusted bytes, in file and memory mode;
// every entry is opened, read, sought and read again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/runtime/pvfs.h"

namespace {
void Exercise(PVFS& vfs, uint32_t extraHash)
{
    int count = vfs.Count() < 64 ? vfs.Count() : 64;
    uint8_t buf[4096];
    for (int i = 0; i <= count; i++) {
        PVFSEntry const* e = vfs.Entry(i);
        uint32_t hash = e ? e->hash : extraHash;
        PStream* s = vfs.Open(hash);
        if (!s)
            continue;
        long total = 0;
        int n;
        while (total < (1 << 22) && (n = s->Read(buf, sizeof buf)) > 0)
            total += n;
        s->Seek(0, 0);
        s->Read(buf, 7);
        s->Seek(-3, 2);
        s->Read(buf, 16);
        s->Size();
        delete s;
        unsigned size;
        vfs.Lock(hash, &size);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    uint32_t extra = size >= 4 ? PLoad32(data + size - 4) : 0;
    for (int memory : {0, 1}) {
        PVFS vfs(new PMemStream(bytes.data(), long(bytes.size())), 1, memory);
        Exercise(vfs, extra);
    }
    // Names from the input go through the hash, ".." resolution included.
    std::vector<char> name(bytes.begin(), bytes.end());
    name.push_back(0);
    PVFS::Hash(name.data(), 0);
    PVFS::Hash(name.data(), 1);
    return 0;
}
