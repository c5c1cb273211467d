#include "engine/net/httprequest.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"

namespace {

const char* const kMethods[] = {"GET", "POST", "PUT", "HEAD", "DELETE", "TRACE", "OPTIONS"};

bool EqualNoCase(const char* a, const char* b)
{
    for (;; a++, b++) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
        if (!x)
            return true;
    }
}

// Text that can go into a request line or header unchanged: no controls, no
// spaces.
bool PlainText(const char* s)
{
    for (; *s; s++)
        if (static_cast<unsigned char>(*s) <= 0x20 || *s == 0x7F)
            return false;
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

PHTTPRequest::PHTTPRequest(PHTTP& http) : PHTTPRequest(http, GET, PURI()) {}

PHTTPRequest::PHTTPRequest(PHTTP& http, int type, const PURI& uri)
    : m_http(http), m_type(type), m_state(STATE_IDLE), m_body(nullptr), m_uri(uri), m_buf(nullptr), m_pos(0),
      m_len(0), m_chunkSize(1), m_chunkLeft(0), m_received(0), m_handed(0), m_response(nullptr), m_headers(http),
      m_chunked(0), m_bodyLength(-1), m_bodySent(0), m_sendChunked(false), m_failed(false), m_headDone(false),
      m_skippedEmpty(false), m_reusable(false), m_retryHead(nullptr), m_retryLen(0)
{
    std::memset(&m_addr, 0, sizeof m_addr);
}

PHTTPRequest::~PHTTPRequest()
{
    Close();
    PFree(m_buf);
    PFree(m_retryHead);
    delete m_response;
}

bool PHTTPRequest::IsOk() const
{
    if (m_type < GET || m_type > OPTIONS)
        return false;
    const char* s = m_uri.Scheme();
    if (s && std::strcmp(s, "http") != 0 && std::strcmp(s, "market") != 0)
        return false;
    return m_uri.IsValid();
}

int PHTTPRequest::Fail(int code)
{
    m_state = STATE_DONE;
    m_failed = true;
    m_reusable = false;
    return code;
}

void PHTTPRequest::ClearReceive()
{
    PFree(m_buf);
    m_buf = nullptr;
    delete m_response;
    m_response = nullptr;
    m_pos = m_len = 0;
    m_chunkSize = 1;
    m_chunkLeft = 0;
    m_received = m_handed = 0;
    m_chunked = 0;
    m_bodyLength = -1;
    m_bodySent = 0;
    m_sendChunked = false;
    m_failed = false;
    m_headDone = false;
    m_skippedEmpty = false;
    PFree(m_retryHead);
    m_retryHead = nullptr;
    m_retryLen = 0;
}

// ---------------------------------------------------------------------------
// Reset and close

int PHTTPRequest::Reset()
{
    ClearReceive();
    if (m_state == STATE_IDLE)
        return 0;
    if (m_state == STATE_DONE) {
        m_state = STATE_IDLE;
        if (!m_reusable && PSocket::IsOpen())
            PSocket::Close();
        return 0;
    }
    m_state = STATE_IDLE;
    m_reusable = false;
    return PSocket::Close();
}

int PHTTPRequest::Reset(const PURI& uri)
{
    const char* s = uri.Scheme();
    if (!uri.IsValid() || (s && std::strcmp(s, "http") != 0)) {
        if (s && std::strcmp(s, "https") == 0)
            _PDebug("HTTP: refused https address: no encrypted transport\n");
        return PSOCK_EINVAL;
    }
    int r = Reset();
    if (r != 0)
        return r;
    // A kept connection serves only the same server.
    bool sameServer = m_uri.Host() && EqualNoCase(m_uri.Host(), uri.Host()) && m_uri.Port() == uri.Port();
    if (!sameServer && PSocket::IsOpen())
        PSocket::Close();
    std::memset(&m_addr, 0, sizeof m_addr);
    m_uri = uri;
    return 0;
}

int PHTTPRequest::Reset(int type, const PURI& uri)
{
    if (type < GET || type > OPTIONS)
        return PSOCK_EINVAL;
    int r = Reset(uri);
    if (r == 0)
        m_type = type;
    return r;
}

int PHTTPRequest::Close()
{
    if (PSocket::IsOpen())
        SetBlocking(1);
    m_state = STATE_IDLE;
    m_reusable = false;
    return PSocket::Close();
}

// ---------------------------------------------------------------------------
// Submit and connect

int PHTTPRequest::FormatHead()
{
    int length = 0;
    const char* method = kMethods[m_type];
    length += int(std::strlen(method)) + 1 + int(std::strlen(m_uri.Path())) + 11;
    for (int i = 0; i < m_headers.Count(); i++) {
        const PHTTPHeaders::Entry* e = m_headers.GetHeaderByIndex(i);
        int nameLen = 0;
        if (!m_http.HeaderString(e->id, nameLen))
            continue;
        length += nameLen + 2 + e->length + 2;
    }
    length += 2;
    char* head = static_cast<char*>(PAlloc(length + 1));
    if (!head)
        return PSOCK_ENOMEM;
    char* q = head;
    q += std::sprintf(q, "%s %s HTTP/1.1\r\n", method, m_uri.Path());
    for (int i = 0; i < m_headers.Count(); i++) {
        const PHTTPHeaders::Entry* e = m_headers.GetHeaderByIndex(i);
        int nameLen = 0;
        const char* name = m_http.HeaderString(e->id, nameLen);
        if (!name)
            continue;
        std::memcpy(q, name, size_t(nameLen));
        q += nameLen;
        *q++ = ':';
        *q++ = ' ';
        std::memcpy(q, e->value, e->length);
        q += e->length;
        *q++ = '\r';
        *q++ = '\n';
    }
    *q++ = '\r';
    *q++ = '\n';
    *q = 0;
    m_buf = head;
    m_pos = 0;
    m_len = int(q - head);
    m_headers.Clear();
    return 0;
}

int PHTTPRequest::Submit()
{
    if (!m_uri.IsValid() || m_type < GET || m_type > OPTIONS)
        return PSOCK_EINVAL;
    if (!PlainText(m_uri.Host()) || !PlainText(m_uri.Path())) {
        _PDebug("HTTP: refused address with blanks or control characters\n");
        return PSOCK_EINVAL;
    }
    bool keep = m_reusable && PSocket::IsOpen();
    ClearReceive();
    m_reusable = false;

    if (!m_body) {
        if (m_type == PUT)
            return PSOCK_EINVAL;
        if (m_type == POST)
            m_headers.Set(PHTTP_CONTENT_LENGTH, 0);
    } else if (m_type == POST || m_type == PUT) {
        int size = m_body->Size();
        if (size < 0) {
            m_headers.Set(PHTTP_TRANSFER_ENCODING, "chunked");
            m_sendChunked = true;
            m_chunked = 1;
        } else {
            m_headers.Set(PHTTP_CONTENT_LENGTH, size);
        }
    }
    if (!m_headers.GetHeader(PHTTP_HOST)) {
        int port = m_uri.Port();
        if (port > 0 && port != 80) {
            char host[300];
            std::snprintf(host, sizeof host, "%.255s:%d", m_uri.Host(), port);
            m_headers.Add(PHTTP_HOST, host);
        } else {
            m_headers.Add(PHTTP_HOST, m_uri.Host());
        }
    }
    int r = FormatHead();
    if (r < 0)
        return r;

    if (keep && PSocket::Select(PSOCK_SEL_READ, 0) != 0)
        keep = false; // the server closed the idle connection (or sent stray bytes)
    if (keep) {
        // A kept connection may have been closed by the server meanwhile:
        // the head is kept for one retry on a new connection.
        if (!m_body || m_body->Rewind()) {
            m_retryHead = PNetStrDup(m_buf, m_len);
            m_retryLen = m_retryHead ? m_len : 0;
        }
        m_state = STATE_SEND_HEAD;
        SetBlocking(1);
        if (SendHead() == 0)
            return 0;
        PFree(m_retryHead);
        m_retryHead = nullptr;
        m_failed = false;
        m_state = STATE_IDLE;
    }
    if (PSocket::IsOpen())
        PSocket::Close();
    r = Connect();
    if (r < 0) {
        PSocket::Close();
        return r;
    }
    return 0;
}

int PHTTPRequest::Connect()
{
    m_state = STATE_CONNECTING;
    if (!PSocket::IsOpen()) {
        int r = PSocket::Open(PSOCK_AF_INET, PSOCK_STREAM, 0);
        if (r < 0) {
            m_state = STATE_IDLE;
            return r;
        }
    }
    if (m_addr.address == 0 || m_addr.address == 0xFFFFFFFFu) {
        int port = m_uri.Port() > 0 ? m_uri.Port() : 80;
        unsigned ip = 0;
        if (!PInetAton(ip, m_uri.Host())) {
            int r = PHostLookup(ip, m_uri.Host());
            if (r == PSOCK_EINPROGRESS) {
                m_state = STATE_LOOKUP;
                return 0;
            }
            if (r < 0) {
                _PDebug("HTTP: cannot resolve \"%.64s\" (%d)\n", m_uri.Host(), r);
                m_state = STATE_IDLE;
                return r;
            }
        }
        PSockAddrSet(m_addr, ip, htons(uint16_t(port)));
    }
    return ConnectSocket();
}

int PHTTPRequest::ConnectFailed(int code)
{
    // A failed connect shows as an error condition; ask the socket why.
    int err = 0;
    if (LastError(err) == 0 && err < 0)
        code = err;
    return code;
}

int PHTTPRequest::ConnectSocket()
{
    SetBlocking(0);
    int r = PSocket::Connect(m_addr, 16);
    if (r == 0) {
        m_state = STATE_SEND_HEAD;
        SetBlocking(1);
        return 0;
    }
    if (r == PSOCK_EWOULDBLOCK || r == PSOCK_EINPROGRESS) {
        int c = IsConnected(kConnectWaitMs);
        if (c == 1) {
            m_state = STATE_SEND_HEAD;
            SetBlocking(1);
            return 0;
        }
        if (c == 0) {
            m_state = STATE_CONNECTING;
            return 0;
        }
        SetBlocking(1);
        m_state = STATE_IDLE;
        return ConnectFailed(c);
    }
    m_state = STATE_IDLE;
    return r;
}

int PHTTPRequest::LookupPoll()
{
    unsigned ip = 0;
    int r = PHostLookup(ip, m_uri.Host());
    if (r == PSOCK_EINPROGRESS)
        return 0;
    if (r < 0) {
        m_state = STATE_IDLE;
        return r;
    }
    int port = m_uri.Port() > 0 ? m_uri.Port() : 80;
    PSockAddrSet(m_addr, ip, htons(uint16_t(port)));
    m_state = STATE_CONNECTING;
    return ConnectSocket();
}

// ---------------------------------------------------------------------------
// Sending

int PHTTPRequest::SendHead()
{
    if (WriteN(m_buf + m_pos, m_len) != m_len) {
        _PDebug("HTTP: short write of the request head\n");
        return Fail(PSOCK_ECONNABORTED);
    }
    PFree(m_buf);
    m_buf = nullptr;
    m_pos = m_len = 0;
    m_state = STATE_SEND_BODY;
    if (!m_body)
        return BodyStep();
    int size = m_body->Size();
    if (size >= 0 && size <= 4096 && (PSocket::Select(PSOCK_SEL_WRITE, 0) & PSOCK_SEL_WRITE))
        return BodyStep();
    return 0;
}

int PHTTPRequest::WriteBodyPiece(const unsigned char* piece, int length)
{
    if (m_sendChunked) {
        char line[16];
        int n = std::snprintf(line, sizeof line, "%X\r\n", unsigned(length));
        if (WriteN(line, n) != n)
            return -1;
    }
    if (length > 0 && WriteN(piece, length) != length)
        return -1;
    if (m_sendChunked && WriteN("\r\n", 2) != 2)
        return -1;
    return 0;
}

int PHTTPRequest::BodyStep()
{
    if (!m_body || m_body->Size() == 0)
        return EnterReceive();
    int length = 0;
    const unsigned char* piece = m_body->Data(length);
    if (length < 0)
        return Fail(PSOCK_EINVAL);
    if (!piece || length == 0) {
        if (m_sendChunked && WriteBodyPiece(nullptr, 0) < 0) {
            _PDebug("HTTP: short write of the request body\n");
            return Fail(PSOCK_ECONNABORTED);
        }
        return EnterReceive();
    }
    int size = m_body->Size();
    if (size >= 0 && length > size - m_bodySent) {
        _PDebug("HTTP: request body longer than its announced size\n");
        return Fail(PSOCK_EINVAL);
    }
    if (WriteBodyPiece(piece, length) < 0) {
        _PDebug("HTTP: short write of the request body\n");
        return Fail(PSOCK_ECONNABORTED);
    }
    m_bodySent += length;
    if (size < 0 || m_bodySent < size)
        return 0; // more pieces on the next step
    return EnterReceive();
}

// ---------------------------------------------------------------------------
// Receiving the head

int PHTTPRequest::EnterReceive()
{
    m_state = STATE_RECEIVE_HEAD;
    // The response is read without ever blocking the caller.
    SetBlocking(0);
    int r = ReceiveHeadStep();
    return r < 0 ? r : 0;
}

int PHTTPRequest::ReceiveHeadStep()
{
    if (!m_buf) {
        m_buf = static_cast<char*>(PAlloc(kBufferSize));
        if (!m_buf)
            return Fail(PSOCK_ENOMEM);
        m_pos = m_len = 0;
    }
    if (!m_response) {
        m_response = new PHTTPResponse(m_http);
        if (!m_response)
            return Fail(PSOCK_ENOMEM);
    }
    if (m_pos > 0) {
        std::memmove(m_buf, m_buf + m_pos, size_t(m_len));
        m_pos = 0;
    }
    int space = kBufferSize - m_len;
    if (space <= 0) {
        _PDebug("HTTP: response head line longer than %d bytes\n", kBufferSize);
        return Fail(-1);
    }
    int r = PSocket::Read(m_buf + m_len, space);
    if (r == PSOCK_EWOULDBLOCK)
        return 0;
    if (r <= 0 && m_retryHead && m_len == 0 && m_response->Status() == 0)
        return RetryOnNewConnection();
    if (r > 0 && m_retryHead) {
        PFree(m_retryHead);
        m_retryHead = nullptr;
    }
    if (r <= 0) {
        if (r == 0)
            _PDebug("HTTP: connection closed before the end of the response head\n");
        else
            _PDebug("HTTP: receive failed (%d)\n", r);
        return Fail(-1);
    }
    m_len += r;
    int rest = m_len;
    int p = m_response->Parse(m_buf, rest);
    if (p < 0)
        return Fail(-1);
    m_pos = m_len - rest;
    m_len = rest;
    if (p == 0) {
        if (m_len >= kBufferSize) {
            _PDebug("HTTP: response head line longer than %d bytes\n", kBufferSize);
            return Fail(-1);
        }
        return 0;
    }
    return EndHead();
}

// The server closed a reused connection without answering: the request goes
// out once more on a new connection.
int PHTTPRequest::RetryOnNewConnection()
{
    PSocket::Close();
    PFree(m_buf);
    m_buf = m_retryHead;
    m_pos = 0;
    m_len = m_retryLen;
    m_retryHead = nullptr;
    m_retryLen = 0;
    delete m_response;
    m_response = nullptr;
    m_bodySent = 0;
    if (m_body)
        m_body->Rewind();
    int r = Connect();
    if (r < 0) {
        PSocket::Close();
        return Fail(r);
    }
    return 0;
}

int PHTTPRequest::EndHead()
{
    m_headDone = true;
    const PHTTPHeaders& h = m_response->Headers();
    m_chunked = 0;
    if (const PHTTPHeaders::Entry* te = h.GetHeader(PHTTP_TRANSFER_ENCODING)) {
        if (EqualNoCase(te->value, "chunked")) {
            m_chunked = 1;
        } else if (!EqualNoCase(te->value, "bytes")) {
            _PDebug("HTTP: unsupported Transfer-Encoding \"%.32s\"\n", te->value);
            return Fail(PSOCK_ECONNABORTED);
        }
    }
    m_bodyLength = m_chunked ? -1 : m_response->ContentLength();
    int status = m_response->Status();
    if (m_type == HEAD || status < 200 || status == 204 || status == 304) {
        m_bodyLength = 0; // these responses never carry a body
        m_chunked = 0;
    }
    // Whether the server keeps the connection for another request.
    const PHTTPHeaders::Entry* conn = h.GetHeader(PHTTP_CONNECTION);
    if (m_response->MinorVersion() >= 1)
        m_reusable = !(conn && EqualNoCase(conn->value, "close"));
    else
        m_reusable = conn && EqualNoCase(conn->value, "keep-alive");
    if (!m_chunked && m_bodyLength < 0)
        m_reusable = false; // the body ends with the connection
    if (!m_chunked && m_bodyLength >= 0 && m_len > m_bodyLength) {
        _PDebug("HTTP: %d bytes beyond the announced body dropped\n", m_len - m_bodyLength);
        m_len = m_bodyLength;
        m_reusable = false;
    }
    m_received = m_len;
    m_chunkSize = 1;
    m_chunkLeft = 0;
    m_state = STATE_RECEIVE_BODY;
    return 0;
}

// ---------------------------------------------------------------------------
// Receiving the body

// Reads more body bytes into the buffer. Returns the count read, 0 when the
// body ended (state 7), -256 when nothing came, -1 on failure (state 7).
int PHTTPRequest::Refill()
{
    if (m_len > kBufferSize / 2)
        return m_len;
    if (m_pos > 0) {
        std::memmove(m_buf, m_buf + m_pos, size_t(m_len));
        m_pos = 0;
    }
    int space = kBufferSize - m_len;
    if (!m_chunked && m_bodyLength >= 0) {
        int remain = m_bodyLength - m_received;
        if (remain <= 0) {
            m_received = m_bodyLength;
            m_state = STATE_DONE;
            return 0;
        }
        if (space > remain)
            space = remain;
    }
    int r = PSocket::Read(m_buf + m_len, space);
    if (r == PSOCK_EWOULDBLOCK)
        return PSOCK_EWOULDBLOCK;
    if (r == 0 && !m_chunked && m_bodyLength < 0) {
        m_state = STATE_DONE; // the body ends with the connection
        m_reusable = false;
        return 0;
    }
    if (r <= 0) {
        if (r == 0)
            _PDebug("HTTP: connection closed before the end of the body\n");
        else
            _PDebug("HTTP: receive failed (%d)\n", r);
        return Fail(-1);
    }
    m_len += r;
    m_received += r;
    return r;
}

// Reads the next chunk-size line. 1 with a new chunk, 0 after the last chunk
// (state 7), -256 when the line has not arrived yet, -1 on a bad line.
int PHTTPRequest::ReadChunkLine()
{
    for (int round = 0; round < 8; round++) {
        char* start = m_buf + m_pos;
        char* lf = m_len > 0 ? static_cast<char*>(std::memchr(start, '\n', size_t(m_len))) : nullptr;
        if (!lf) {
            if (m_len > kMaxChunkLine + 1) {
                _PDebug("HTTP: chunk-size line too long\n");
                return Fail(-1);
            }
            int r = Refill();
            if (r <= 0)
                return r == 0 ? Fail(-1) : r;
            continue;
        }
        int lineLen = int(lf - start);
        if (lineLen == 0 || start[lineLen - 1] != '\r') {
            _PDebug("HTTP: chunk-size line without CR LF\n");
            return Fail(-1);
        }
        lineLen--;
        m_pos += lineLen + 2;
        m_len -= lineLen + 2;
        if (lineLen == 0) {
            // The CR LF that ends the previous chunk's data.
            if (m_skippedEmpty) {
                _PDebug("HTTP: empty chunk-size line\n");
                return Fail(-1);
            }
            m_skippedEmpty = true;
            continue;
        }
        m_skippedEmpty = false;
        if (lineLen > kMaxChunkLine) {
            _PDebug("HTTP: chunk-size line too long\n");
            return Fail(-1);
        }
        long long size = 0;
        int i = 0;
        for (; i < lineLen && HexValue(start[i]) >= 0; i++) {
            size = size * 16 + HexValue(start[i]);
            if (size > 0x7FFFFFFFLL) {
                _PDebug("HTTP: chunk size too large\n");
                return Fail(-1);
            }
        }
        while (i < lineLen && (start[i] == ' ' || start[i] == '\t'))
            i++;
        if (i == 0 || (i < lineLen && start[i] != ';')) {
            _PDebug("HTTP: bad chunk-size line\n");
            return Fail(-1);
        }
        m_chunkSize = int(size);
        m_chunkLeft = int(size);
        if (size == 0) {
            ConsumeTrailers();
            m_state = STATE_DONE;
            return 0;
        }
        return 1;
    }
    return PSOCK_EWOULDBLOCK;
}

// After the last chunk: skips the trailer lines already buffered. The
// connection is kept for another request only when the closing empty line was
// among them and nothing follows it.
void PHTTPRequest::ConsumeTrailers()
{
    bool ended = false;
    while (m_len > 0) {
        char* start = m_buf + m_pos;
        char* lf = static_cast<char*>(std::memchr(start, '\n', size_t(m_len)));
        if (!lf)
            break;
        int lineLen = int(lf - start) + 1;
        m_pos += lineLen;
        m_len -= lineLen;
        if (lineLen <= 2) {
            ended = true;
            break;
        }
    }
    if (!ended || m_len != 0)
        m_reusable = false;
    m_len = 0;
}

int PHTTPRequest::ReadBody(void* buffer, int count)
{
    if (count == 0)
        return 0;
    if (m_chunked && m_chunkLeft == 0) {
        int r = ReadChunkLine();
        if (r <= 0)
            return (r == 0 && m_failed) ? -1 : r;
    }
    if (m_len == 0) {
        int r = Refill();
        if (m_state == STATE_DONE)
            return m_failed ? -1 : 0;
        if (r < 0)
            return r;
        if (m_len == 0)
            return PSOCK_EWOULDBLOCK;
    }
    int n = count < m_len ? count : m_len;
    if (m_chunked && n > m_chunkLeft)
        n = m_chunkLeft;
    std::memcpy(buffer, m_buf + m_pos, size_t(n));
    m_pos += n;
    m_len -= n;
    m_handed += n;
    if (m_chunked)
        m_chunkLeft -= n;
    return n;
}

int PHTTPRequest::Read(void* buffer, int count)
{
    if (count < 0 || (!buffer && count > 0))
        return -1;
    switch (m_state) {
    case STATE_CONNECTING: {
        int c = IsConnected(kConnectWaitMs);
        if (c < 0)
            return Fail(ConnectFailed(c));
        if (c == 0)
            return -1;
        m_state = STATE_SEND_HEAD;
        SetBlocking(1);
    }
        [[fallthrough]];
    case STATE_SEND_HEAD:
        if (m_state == STATE_SEND_HEAD) {
            int r = SendHead();
            if (r < 0)
                return r;
        }
        [[fallthrough]];
    case STATE_SEND_BODY:
        while (m_state == STATE_SEND_BODY) {
            SetBlocking(1);
            int r = BodyStep();
            if (r < 0)
                return r;
        }
        [[fallthrough]];
    case STATE_RECEIVE_HEAD:
        for (int steps = 0; m_state == STATE_RECEIVE_HEAD; steps++) {
            if (steps >= 64)
                return PSOCK_EWOULDBLOCK;
            int w = PSocket::Select(PSOCK_SEL_READ, kConnectWaitMs);
            if (w < 0)
                return Fail(-1);
            if (w == 0)
                return PSOCK_EWOULDBLOCK;
            int r = ReceiveHeadStep();
            if (r < 0)
                return -1;
        }
        if (m_state == STATE_DONE)
            return m_failed ? -1 : 0;
        if (m_state != STATE_RECEIVE_BODY)
            return PSOCK_EWOULDBLOCK; // sent again on a new connection
        return ReadBody(buffer, count);
    case STATE_RECEIVE_BODY:
        return ReadBody(buffer, count);
    case STATE_DONE:
        return m_failed ? -1 : 0;
    default:
        return -1;
    }
}

int PHTTPRequest::Select(int mask, unsigned ms)
{
    switch (m_state) {
    case STATE_CONNECTING: {
        int c = IsConnected(ms);
        if (c < 0)
            return Fail(ConnectFailed(c));
        if (c == 0)
            return 0;
        m_state = STATE_SEND_HEAD;
        SetBlocking(1);
        return 0;
    }
    case STATE_SEND_HEAD: {
        int w = PSocket::Select(PSOCK_SEL_WRITE, ms);
        if (w < 1)
            return w;
        int r = SendHead();
        return r < 0 ? r : 0;
    }
    case STATE_SEND_BODY: {
        int w = PSocket::Select(PSOCK_SEL_WRITE, ms);
        if (w < 1)
            return w;
        int r = BodyStep();
        return r < 0 ? r : 0;
    }
    case STATE_RECEIVE_HEAD: {
        int w = PSocket::Select(PSOCK_SEL_READ, ms);
        if (w < 0)
            return Fail(w);
        if (w > 0) {
            int r = ReceiveHeadStep();
            if (r < 0)
                return r;
        }
        return 0;
    }
    case STATE_RECEIVE_BODY: {
        if (!(mask & PSOCK_SEL_READ))
            return 0;
        if (!m_chunked) {
            if (m_len > 0)
                return PSOCK_SEL_READ;
            if (m_bodyLength >= 0 && m_received >= m_bodyLength) {
                m_state = STATE_DONE;
                return PSOCK_SEL_READ;
            }
        } else {
            if (m_chunkLeft > 0 && m_len > 0)
                return PSOCK_SEL_READ;
            if (m_len > 0 && std::memchr(m_buf + m_pos, '\n', size_t(m_len)))
                return PSOCK_SEL_READ;
        }
        int w = PSocket::Select(PSOCK_SEL_READ, ms);
        if (w < 0)
            return Fail(w);
        return w;
    }
    case STATE_LOOKUP: {
        int r = LookupPoll();
        if (r < 0)
            return Fail(r);
        return 0;
    }
    case STATE_DONE:
        return mask & PSOCK_SEL_READ;
    default:
        return mask & (PSOCK_SEL_READ | PSOCK_SEL_ERROR);
    }
}

int PHTTPRequest::BytesAvail() const
{
    if (!m_response)
        return -1;
    return m_chunked ? m_chunkLeft : m_len;
}

int PHTTPRequest::BytesLeft() const
{
    if (!m_response)
        return -1;
    if (!m_chunked && m_bodyLength >= 0)
        return m_bodyLength - m_handed;
    return BytesAvail();
}
