#include "engine/net/http.h"

#include <cstring>

#include "engine/net/httprequest.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"

namespace {

struct FixedName {
    const char* name;
    int length;
};

constexpr FixedName kFixed[PHTTP_FIXED_HEADERS] = {
    {"Accept", 6},
    {"Connection", 10},
    {"Content-Encoding", 16},
    {"Content-Length", 14},
    {"Content-Location", 16},
    {"Content-Range", 13},
    {"Content-Type", 12},
    {"Date", 4},
    {"ETag", 4},
    {"Host", 4},
    {"Location", 8},
    {"Range", 5},
    {"Referer", 7},
    {"Server", 6},
    {"Transfer-Encoding", 17},
    {"User-Agent", 10},
    {"Content-Language", 16},
};

bool SameNoCase(const char* a, const char* b, int n)
{
    for (int i = 0; i < n; i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

PHTTP::PHTTP() : m_names(nullptr), m_count(0) {}

PHTTP::~PHTTP()
{
    for (int i = 0; i < m_count; i++)
        PFree(m_names[i].name);
    PFree(m_names);
}

PHTTPRequest* PHTTP::CreateRequest(int type, const char* url)
{
    PURI uri(url);
    return CreateRequest(type, uri);
}

PHTTPRequest* PHTTP::CreateRequest(int type, const PURI& uri)
{
    PHTTPRequest* r = new PHTTPRequest(*this, type, uri);
    if (!r)
        return nullptr;
    if (!r->IsOk()) {
        delete r;
        return nullptr;
    }
    return r;
}

PHTTPRequest* PHTTP::CreateRequest()
{
    return new PHTTPRequest(*this);
}

int PHTTP::HeaderType(const char* name, int length) const
{
    if (!name)
        return -1;
    if (length < 0)
        length = int(std::strlen(name));
    for (int i = 0; i < PHTTP_FIXED_HEADERS; i++)
        if (kFixed[i].length == length && SameNoCase(kFixed[i].name, name, length))
            return i;
    for (int i = 0; i < m_count; i++)
        if (m_names[i].length == length && SameNoCase(m_names[i].name, name, length))
            return PHTTP_FIXED_HEADERS + i;
    return -1;
}

int PHTTP::AddHeader(const char* name, int length)
{
    if (!name)
        return -1;
    if (length < 0)
        length = int(std::strlen(name));
    int id = HeaderType(name, length);
    if (id >= 0)
        return id;
    if (m_count >= kMaxExtraNames) {
        _PDebug("HTTP: header name table full (%d names), \"%.*s\" dropped\n", m_count, length > 64 ? 64 : length, name);
        return -1;
    }
    char* copy = PNetStrDup(name, length);
    if (!copy)
        return -1;
    Name* grown = static_cast<Name*>(PAlloc(int(sizeof(Name)) * (m_count + 1)));
    if (!grown) {
        PFree(copy);
        return -1;
    }
    if (m_count)
        std::memcpy(grown, m_names, sizeof(Name) * size_t(m_count));
    PFree(m_names);
    m_names = grown;
    m_names[m_count].name = copy;
    m_names[m_count].length = length;
    m_count++;
    return PHTTP_FIXED_HEADERS + m_count - 1;
}

const char* PHTTP::HeaderString(int id, int& length) const
{
    if (id >= 0 && id < PHTTP_FIXED_HEADERS) {
        length = kFixed[id].length;
        return kFixed[id].name;
    }
    int i = id - PHTTP_FIXED_HEADERS;
    if (i >= 0 && i < m_count) {
        length = m_names[i].length;
        return m_names[i].name;
    }
    return nullptr;
}
