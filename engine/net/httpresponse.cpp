#include "engine/net/httpresponse.h"

#include <cstring>

#include "engine/net/http.h"
#include "engine/runtime/pdebug.h"

PHTTPResponse::PHTTPResponse(PHTTP& http)
    : m_status(0), m_contentLength(-1), m_minor(1), m_headBytes(0), m_lastStored(false), m_headers(http)
{
}

int PHTTPResponse::ParseStatus(char* line, int length)
{
    if (length < 8 || std::memcmp(line, "HTTP/1.", 7) != 0) {
        _PDebug("HTTP: bad status line\n");
        return -1;
    }
    m_minor = line[7] == '0' ? 0 : 1;
    int i = 8;
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
        i++;
    int code = 0;
    int digits = 0;
    while (i < length && line[i] >= '0' && line[i] <= '9' && digits < 4) {
        code = code * 10 + (line[i] - '0');
        i++;
        digits++;
    }
    if (code < 100 || code > 599) {
        _PDebug("HTTP: bad status code in the status line\n");
        return -1;
    }
    m_status = code;
    return 0;
}

// Reads a Content-Length value: decimal digits only (surrounding blanks
// allowed), at most 2^31 - 1. -1 when malformed.
static int ParseLength(const char* s, int n)
{
    int i = 0;
    while (i < n && (s[i] == ' ' || s[i] == '\t'))
        i++;
    if (i >= n || s[i] < '0' || s[i] > '9')
        return -1;
    long long v = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') {
        v = v * 10 + (s[i] - '0');
        if (v > 0x7FFFFFFFLL)
            return -1;
        i++;
    }
    while (i < n && (s[i] == ' ' || s[i] == '\t'))
        i++;
    return i == n ? int(v) : -1;
}

int PHTTPResponse::EndOfHead()
{
    // Every Content-Length line must carry the same valid value.
    m_contentLength = -1;
    for (int i = 0; i < m_headers.Count(); i++) {
        const PHTTPHeaders::Entry* e = m_headers.GetHeaderByIndex(i);
        if (e->id != PHTTP_CONTENT_LENGTH)
            continue;
        int v = ParseLength(e->value, e->length);
        if (v < 0 || (m_contentLength >= 0 && v != m_contentLength)) {
            _PDebug("HTTP: refused Content-Length \"%.32s\"\n", e->value);
            return -1;
        }
        m_contentLength = v;
    }
    return 1;
}

int PHTTPResponse::Parse(char* buffer, int& length)
{
    int pos = 0;
    for (;;) {
        char* line = buffer + pos;
        int avail = length - pos;
        char* lf = avail > 0 ? static_cast<char*>(std::memchr(line, '\n', size_t(avail))) : nullptr;
        if (!lf) {
            length = avail;
            return 0;
        }
        // Lines end with CR LF; a bare LF is taken as a line end as well.
        int lineLen = int(lf - line);     // up to the LF
        int consumed = lineLen + 1;
        if (lineLen > 0 && line[lineLen - 1] == '\r')
            lineLen--;
        line[lineLen] = 0;
        pos += consumed;
        m_headBytes += consumed;
        if (m_headBytes > kMaxHeadBytes) {
            _PDebug("HTTP: response head longer than %d bytes\n", kMaxHeadBytes);
            return -1;
        }
        if (m_status == 0) {
            if (ParseStatus(line, lineLen) < 0)
                return -1;
            continue;
        }
        if (lineLen == 0) {
            length = length - pos;
            return EndOfHead();
        }
        if (line[0] == ' ' || line[0] == '\t') {
            // A continuation of the previous header line.
            int last = m_headers.Count() - 1;
            if (last >= 0 && m_lastStored) {
                if (m_headers.AppendByIndex(last, line + 1, lineLen - 1, kMaxFoldedValue) < 0) {
                    _PDebug("HTTP: folded header value longer than %d bytes\n", kMaxFoldedValue);
                    return -1;
                }
            }
            continue;
        }
        char* colon = static_cast<char*>(std::memchr(line, ':', size_t(lineLen)));
        if (!colon || colon == line) {
            m_lastStored = false;
            continue;
        }
        const char* value = colon + 1;
        while (*value == ' ' || *value == '\t')
            value++;
        int valueLen = lineLen - int(value - line);
        while (valueLen > 0 && (value[valueLen - 1] == ' ' || value[valueLen - 1] == '\t'))
            valueLen--;
        if (m_headers.Count() >= kMaxHeaderLines) {
            _PDebug("HTTP: more than %d header lines\n", kMaxHeaderLines);
            return -1;
        }
        int id = m_headers.Http().AddHeader(line, int(colon - line));
        m_lastStored = false;
        if (id < 0)
            continue; // name table full: the line is dropped
        if (m_headers.Add(id, value, valueLen) < 0) {
            _PDebug("HTTP: out of memory for a header line\n");
            return -1;
        }
        m_lastStored = true;
    }
}
