// Writer of the data archive "data.vfs". Layout: docs/formats/vfs.md.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class VfsBuilder {
public:
    explicit VfsBuilder(bool caseInsensitive) : m_caseInsensitive(caseInsensitive) {}

    // Adds an entry under the name's hash. With compress the entry is stored
    // as a "PLZP" stream (zlib level 9) when that is smaller; bytes that
    // already begin with "PLZP" are stored as they are. False (with
    // *err) when another entry has the same hash or the entry is too large.
    bool Add(std::string const& name, std::vector<uint8_t> data, bool compress, std::string* err);
    // Adds stored bytes as they are under a given hash.
    bool AddStored(uint32_t hash, std::vector<uint8_t> stored, std::string* err);

    // The archive bytes: header, table sorted by hash, entry data in the
    // order of the table. False when the archive exceeds 4 GiB or is empty.
    bool Build(std::vector<uint8_t>* out, std::string* err) const;
    bool WriteFile(std::string const& path, std::string* err) const;

    uint32_t HashOf(std::string const& name) const;
    size_t Count() const { return m_entries.size(); }

private:
    struct Entry {
        uint32_t hash;
        std::string name;
        std::vector<uint8_t> stored;
    };
    bool m_caseInsensitive;
    std::vector<Entry> m_entries;
};
