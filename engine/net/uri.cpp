#include "engine/net/uri.h"

#include <cstring>

#include "engine/runtime/palloc.h"

char* PNetStrDup(const char* s, int n)
{
    if (n < 0)
        return nullptr;
    char* p = static_cast<char*>(PAlloc(n + 1));
    if (!p)
        return nullptr;
    if (n > 0)
        std::memcpy(p, s, size_t(n));
    p[n] = 0;
    return p;
}

PURI::PURI() : m_host(nullptr), m_scheme(nullptr), m_path(nullptr), m_port(0) {}

PURI::PURI(const char* text) : PURI()
{
    Set(text);
}

PURI::PURI(const PURI& other) : PURI()
{
    *this = other;
}

PURI::~PURI()
{
    Free();
}

void PURI::Free()
{
    PFree(m_host);
    PFree(m_scheme);
    PFree(m_path);
    m_host = m_scheme = m_path = nullptr;
}

PURI& PURI::operator=(const PURI& other)
{
    if (this == &other)
        return *this;
    Free();
    m_port = other.m_port;
    if (other.m_host)
        m_host = PNetStrDup(other.m_host, int(std::strlen(other.m_host)));
    if (other.m_scheme)
        m_scheme = PNetStrDup(other.m_scheme, int(std::strlen(other.m_scheme)));
    if (other.m_path)
        m_path = PNetStrDup(other.m_path, int(std::strlen(other.m_path)));
    // A copy that ran out of memory is left invalid.
    if ((other.m_host && !m_host) || (other.m_path && !m_path))
        m_port = -1;
    return *this;
}

PURI& PURI::operator=(const char* text)
{
    Set(text);
    return *this;
}

int PURI::Set(const char* text)
{
    Free();
    m_port = 0;
    if (!text)
        return 0;
    const char* p = text;
    const char* colon = std::strchr(text, ':');
    if (colon && colon[1] == '/' && colon[2] == '/') {
        m_scheme = PNetStrDup(text, int(colon - text));
        if (!m_scheme)
            return 0;
        p = colon + 3;
    }
    if (*p == '/' || *p == ':' || *p == 0)
        return 0;
    const char* h = p;
    while (*p && *p != '/' && *p != ':')
        p++;
    m_host = PNetStrDup(h, int(p - h));
    if (!m_host)
        return 0;
    if (*p == ':') {
        p++;
        long port = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9' && digits < 6) {
            port = port * 10 + (*p - '0');
            p++;
            digits++;
        }
        // The port must be a decimal number of 1..65535 followed by the path
        // or the end of the text.
        if (digits == 0 || port < 1 || port > 65535 || (*p != 0 && *p != '/')) {
            m_port = 0;
            return 0;
        }
        m_port = int(port);
    }
    if (*p)
        m_path = PNetStrDup(p, int(std::strlen(p)));
    else
        m_path = PNetStrDup("/", 1);
    return m_path ? 1 : 0;
}

char* PURI::ToString() const
{
    if (!m_host)
        return nullptr;
    const char* path = m_path ? m_path : "/";
    size_t n = std::strlen(m_host) + std::strlen(path) + 8 + (m_scheme ? std::strlen(m_scheme) + 3 : 0);
    if (n > 0x7FFFFFF0u)
        return nullptr;
    char* out = static_cast<char*>(PAlloc(int(n)));
    if (!out)
        return nullptr;
    char* q = out;
    if (m_scheme) {
        size_t l = std::strlen(m_scheme);
        std::memcpy(q, m_scheme, l);
        q += l;
        std::memcpy(q, "://", 3);
        q += 3;
    }
    size_t l = std::strlen(m_host);
    std::memcpy(q, m_host, l);
    q += l;
    if (m_port > 0) {
        char digits[8];
        int d = 0;
        for (unsigned v = unsigned(m_port); v; v /= 10)
            digits[d++] = char('0' + v % 10);
        *q++ = ':';
        while (d)
            *q++ = digits[--d];
    }
    l = std::strlen(path);
    std::memcpy(q, path, l);
    q += l;
    *q = 0;
    return out;
}
