#include "tools/lib/vfs_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/runtime/pvfs.h"
#include "tools/lib/plzp_writer.h"
#include "tools/lib/toolfile.h"

uint32_t VfsBuilder::HashOf(std::string const& name) const
{
    return PVFS::Hash(name.c_str(), m_caseInsensitive ? 1 : 0);
}

bool VfsBuilder::Add(std::string const& name, std::vector<uint8_t> data, bool compress, std::string* err)
{
    uint32_t h;
    if (PVFS::HashChecked(name.c_str(), m_caseInsensitive ? 1 : 0, &h) != 0) {
        if (err)
            *err = "name cannot be hashed: " + name;
        return false;
    }
    // Bytes that already form a "PLZP" stream are stored as they are: the
    // engine reads such an entry decompressed either way.
    bool isStream = data.size() >= 4 && std::memcmp(data.data(), "PLZP", 4) == 0;
    if (compress && !isStream) {
        std::vector<uint8_t> packed;
        if (PlzpCompress(data.data(), data.size(), 9, PlzpForm::Header, &packed) && packed.size() < data.size())
            data.swap(packed);
    }
    for (Entry const& e : m_entries) {
        if (e.hash == h) {
            if (err) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%08X", h);
                *err = "names " + e.name + " and " + name + " have the same hash " + buf;
            }
            return false;
        }
    }
    if (data.size() > 0xFFFFFFFFu) {
        if (err)
            *err = "entry too large: " + name;
        return false;
    }
    m_entries.push_back(Entry{h, name, std::move(data)});
    return true;
}

bool VfsBuilder::AddStored(uint32_t hash, std::vector<uint8_t> stored, std::string* err)
{
    for (Entry const& e : m_entries) {
        if (e.hash == hash) {
            if (err)
                *err = "duplicate hash";
            return false;
        }
    }
    m_entries.push_back(Entry{hash, std::string(), std::move(stored)});
    return true;
}

bool VfsBuilder::Build(std::vector<uint8_t>* out, std::string* err) const
{
    out->clear();
    if (m_entries.empty()) {
        if (err)
            *err = "an archive holds at least one entry";
        return false;
    }
    std::vector<Entry const*> order;
    for (Entry const& e : m_entries)
        order.push_back(&e);
    std::sort(order.begin(), order.end(), [](Entry const* a, Entry const* b) { return a->hash < b->hash; });

    uint64_t offset = 12 + 12 * uint64_t(order.size());
    uint64_t total = offset;
    for (Entry const* e : order)
        total += e->stored.size();
    if (total > 0xFFFFFFFFu) {
        if (err)
            *err = "archive larger than 4 GiB";
        return false;
    }
    out->reserve(size_t(total));
    out->insert(out->end(), {'V', 'O', 'F', 'S'});
    PutLE32(*out, m_caseInsensitive ? 0x80000000u : 0u);
    PutLE32(*out, uint32_t(order.size()));
    for (Entry const* e : order) {
        PutLE32(*out, uint32_t(offset));
        PutLE32(*out, e->hash);
        PutLE32(*out, uint32_t(e->stored.size()));
        offset += e->stored.size();
    }
    for (Entry const* e : order)
        out->insert(out->end(), e->stored.begin(), e->stored.end());
    return true;
}

bool VfsBuilder::WriteFile(std::string const& path, std::string* err) const
{
    std::vector<uint8_t> bytes;
    return Build(&bytes, err) && WriteFileAtomic(path, bytes, err);
}
