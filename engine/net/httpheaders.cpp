#include "engine/net/httpheaders.h"

#include <cstdio>
#include <cstring>

#include "engine/net/http.h"
#include "engine/net/uri.h"
#include "engine/runtime/palloc.h"

PHTTPHeaders::PHTTPHeaders(PHTTP& http) : m_http(http), m_count(0), m_entries(nullptr) {}

PHTTPHeaders::~PHTTPHeaders()
{
    Clear();
}

const PHTTPHeaders::Entry* PHTTPHeaders::GetHeader(int id) const
{
    for (int i = 0; i < m_count; i++)
        if (m_entries[i].id == id)
            return &m_entries[i];
    return nullptr;
}

const PHTTPHeaders::Entry* PHTTPHeaders::GetHeader(const char* name) const
{
    int id = m_http.HeaderType(name);
    return id < 0 ? nullptr : GetHeader(id);
}

const PHTTPHeaders::Entry* PHTTPHeaders::GetHeaderByIndex(int i) const
{
    return (i >= 0 && i < m_count) ? &m_entries[i] : nullptr;
}

int PHTTPHeaders::Add(int id, const char* value, int length)
{
    if (id < 0 || id > 0xFFFF || !value)
        return -1;
    if (length < 0)
        length = int(strnlen(value, size_t(kMaxValue) + 1));
    if (length > kMaxValue)
        return -1;
    char* copy = PNetStrDup(value, length);
    if (!copy)
        return -1;
    Entry* grown = static_cast<Entry*>(PAlloc(int(sizeof(Entry)) * (m_count + 1)));
    if (!grown) {
        PFree(copy);
        return -1;
    }
    if (m_count)
        std::memcpy(grown, m_entries, sizeof(Entry) * size_t(m_count));
    PFree(m_entries);
    m_entries = grown;
    m_entries[m_count].id = uint16_t(id);
    m_entries[m_count].length = uint16_t(length);
    m_entries[m_count].value = copy;
    return m_count++;
}

int PHTTPHeaders::Add(int id, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return Add(id, text);
}

int PHTTPHeaders::Add(const char* name, const char* value)
{
    int id = m_http.AddHeader(name);
    return id < 0 ? -1 : Add(id, value);
}

int PHTTPHeaders::Add(const char* name, int value)
{
    int id = m_http.AddHeader(name);
    return id < 0 ? -1 : Add(id, value);
}

int PHTTPHeaders::Set(int id, const char* value)
{
    for (int i = 0; i < m_count; i++)
        if (m_entries[i].id == id)
            return SetByIndex(i, value);
    return Add(id, value);
}

int PHTTPHeaders::Set(int id, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return Set(id, text);
}

int PHTTPHeaders::Set(const char* name, const char* value)
{
    int id = m_http.AddHeader(name);
    return id < 0 ? -1 : Set(id, value);
}

int PHTTPHeaders::Set(const char* name, int value)
{
    int id = m_http.AddHeader(name);
    return id < 0 ? -1 : Set(id, value);
}

int PHTTPHeaders::SetByIndex(int i, const char* value, int length)
{
    if (i < 0 || i >= m_count || !value)
        return -1;
    if (length < 0)
        length = int(strnlen(value, size_t(kMaxValue) + 1));
    if (length > kMaxValue)
        return -1;
    char* copy = PNetStrDup(value, length);
    if (!copy)
        return -1;
    PFree(m_entries[i].value);
    m_entries[i].value = copy;
    m_entries[i].length = uint16_t(length);
    return i;
}

int PHTTPHeaders::AppendByIndex(int i, const char* text, int length, int maxLength)
{
    if (i < 0 || i >= m_count || !text || length < 0)
        return -1;
    int old = m_entries[i].length;
    if (maxLength > kMaxValue)
        maxLength = kMaxValue;
    if (length > maxLength - old)
        return -1;
    char* grown = static_cast<char*>(PAlloc(old + length + 1));
    if (!grown)
        return -1;
    std::memcpy(grown, m_entries[i].value, size_t(old));
    std::memcpy(grown + old, text, size_t(length));
    grown[old + length] = 0;
    PFree(m_entries[i].value);
    m_entries[i].value = grown;
    m_entries[i].length = uint16_t(old + length);
    return i;
}

void PHTTPHeaders::Delete(int id)
{
    int kept = 0;
    for (int i = 0; i < m_count; i++) {
        if (m_entries[i].id == id)
            PFree(m_entries[i].value);
        else
            m_entries[kept++] = m_entries[i];
    }
    m_count = kept;
    if (m_count == 0) {
        PFree(m_entries);
        m_entries = nullptr;
    }
}

void PHTTPHeaders::Delete(const char* name)
{
    int id = m_http.HeaderType(name);
    if (id >= 0)
        Delete(id);
}

void PHTTPHeaders::Clear()
{
    for (int i = 0; i < m_count; i++)
        PFree(m_entries[i].value);
    PFree(m_entries);
    m_entries = nullptr;
    m_count = 0;
}
