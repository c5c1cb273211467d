#include "game/frontend/texts.h"

#include <cstring>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pzstream.h"

namespace {

// Inflation grows its buffer from this size, doubling, as bytes arrive.
constexpr uint32_t kFirstStep = 16u << 10;

} // namespace

Texts::~Texts() { Free(); }

void Texts::Free()
{
    PFree(m_names);
    PFree(m_block);
    PFree(m_table);
    m_names = nullptr;
    m_block = nullptr;
    m_offsets = nullptr;
    m_table = nullptr;
    m_languages = m_strings = m_reached = m_nameUnits = 0;
    m_loaded = false;
}

int Texts::Init(const char* path)
{
    Free();
    PFile file(path, PFile::kRead);
    if (!file.IsOpen())
        return 0;
    // The size bounds every count and offset below; a stream that cannot
    // tell it is bounded by the fixed limits and by its reads alone.
    const long size = file.Size();
    const uint64_t limit = size > 0 ? uint64_t(size) : UINT64_MAX;

    uint8_t head[kHeaderSize];
    if (file.ReadFully(head, kHeaderSize) != int(kHeaderSize)) {
        _PDebug("Texts: %s: short header\n", path);
        return 0;
    }
    const uint32_t languages = PLoad32(head + 4);
    const uint32_t strings = PLoad32(head + 8);
    const uint32_t nameBytes = PLoad32(head + 16);
    const uint64_t tableEnd = uint64_t(kHeaderSize) + nameBytes + uint64_t(languages) * kEntrySize;
    if (nameBytes > kMaxNameBytes || languages > kMaxLanguages || tableEnd > limit) {
        _PDebug("Texts: %s: %u languages with %u name bytes do not fit the file\n", path, languages, nameBytes);
        return 0;
    }
    if (strings > kMaxInflated / 2) {
        _PDebug("Texts: %s: %u strings is too many\n", path, strings);
        return 0;
    }

    const uint32_t nameUnits = nameBytes / 2;
    auto* names = static_cast<wchar_t*>(PAlloc((size_t(nameUnits) + 1) * sizeof(wchar_t)));
    auto* table = static_cast<Entry*>(PAlloc(size_t(languages) * sizeof(Entry) + 1));
    if (!names || !table) {
        _PDebug("Texts: %s: out of memory\n", path);
        PFree(names);
        PFree(table);
        return 0;
    }
    m_names = names;
    m_table = table;
    if (file.ReadFully(names, int(nameBytes)) != int(nameBytes)) {
        _PDebug("Texts: %s: short name block\n", path);
        Free();
        return 0;
    }
    // Widened from the last unit down, so that none is overwritten before it
    // is read.
    const auto* nameBytesAt = reinterpret_cast<const uint8_t*>(names);
    for (uint32_t k = nameUnits; k-- > 0;)
        names[k] = wchar_t(PLoad16(nameBytesAt + 2 * size_t(k)));
    names[nameUnits] = 0;

    for (uint32_t i = 0; i < languages; i++) {
        uint8_t raw[kEntrySize];
        if (file.ReadFully(raw, kEntrySize) != int(kEntrySize)) {
            _PDebug("Texts: %s: short language table\n", path);
            Free();
            return 0;
        }
        Entry& e = table[i];
        e.offset = PLoad32(raw);
        e.inflated = PLoad32(raw + 4);
        e.unused = PLoad32(raw + 8);
        e.name = PLoad32(raw + 12);
        // Every string has at least its terminator, so the text holds at
        // least S code units.
        if (e.offset >= limit || e.inflated > kMaxInflated || (e.inflated & 1) != 0 ||
            e.inflated / 2 < strings || e.name >= nameUnits) {
            _PDebug("Texts: %s: language %u: bad entry (offset %u, %u bytes, name %u)\n", path, i, e.offset,
                    e.inflated, e.name);
            Free();
            return 0;
        }
    }
    m_nameUnits = nameUnits;
    m_strings = strings;
    m_languages = languages;
    return 1;
}

int Texts::LoadLanguage(int i, const char* path)
{
    if (i < 0 || uint32_t(i) >= m_languages)
        return 0;
    PFile file(path, PFile::kRead);
    if (!file.IsOpen())
        return 0;
    const Entry& e = m_table[i];
    if (file.Seek(long(e.offset), 0) != long(e.offset)) {
        _PDebug("Texts: %s: cannot seek to language %d\n", path, i);
        return 0;
    }
    // The buffer grows as inflation delivers bytes, so a block that claims
    // more than its compressed data hold costs only what they hold.
    uint8_t* raw = nullptr;
    uint32_t got = 0, capacity = 0;
    {
        PZStream z(&file, PZStream::kRead);
        while (got < e.inflated) {
            if (got == capacity) {
                uint32_t next = capacity == 0 ? kFirstStep : capacity * 2;
                if (next > e.inflated)
                    next = e.inflated;
                auto* grown = static_cast<uint8_t*>(PReAlloc(raw, next));
                if (!grown) {
                    _PDebug("Texts: %s: out of memory for language %d\n", path, i);
                    PFree(raw);
                    return 0;
                }
                raw = grown;
                capacity = next;
            }
            const int n = z.Read(raw + got, int(capacity - got));
            if (n <= 0)
                break;
            got += uint32_t(n);
        }
    }
    if (got < e.inflated)
        _PDebug("Texts: %s: language %d inflates to %u of %u bytes; the rest reads empty\n", path, i, got, e.inflated);

    // The widened strings with a terminator behind them, then the offsets of
    // the strings the text reaches (each holds at least its terminator, so
    // no more than its code units).
    const uint32_t units = got / 2;
    const uint32_t reached = m_strings < units ? m_strings : units;
    const size_t textBytes = (size_t(units) + 1) * sizeof(wchar_t);
    auto* block = static_cast<wchar_t*>(PAlloc(int(textBytes + (size_t(reached) + 1) * sizeof(uint32_t))));
    if (!block) {
        _PDebug("Texts: %s: out of memory for language %d\n", path, i);
        PFree(raw);
        return 0;
    }
    for (uint32_t k = 0; k < units; k++)
        block[k] = wchar_t(PLoad16(raw + 2 * size_t(k)));
    block[units] = 0;
    PFree(raw);
    auto* offsets = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(block) + textBytes);

    // String k starts behind the terminator of string k - 1; strings the
    // text does not reach read empty.
    uint32_t pos = 0;
    for (uint32_t k = 0; k < reached; k++) {
        offsets[k] = pos;
        while (pos < units && block[pos] != 0)
            pos++;
        if (pos < units)
            pos++;
    }
    offsets[reached] = pos;
    PFree(m_block);
    m_block = block;
    m_offsets = offsets;
    m_reached = reached;
    m_loaded = true;
    return 1;
}

const wchar_t* Texts::operator[](int id) const
{
    if (!m_loaded || id < 0 || uint32_t(id) >= m_reached)
        return L"";
    return m_block + m_offsets[id];
}

const wchar_t* Texts::GetLanguageName(int i) const
{
    if (i < 0 || uint32_t(i) >= m_languages)
        return L"";
    return m_names + m_table[i].name;
}
