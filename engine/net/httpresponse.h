// PHTTPResponse: the parsed status line and header lines of a response.
#pragma once
#include "engine/net/httpheaders.h"

class PHTTPResponse {
public:
    // Limits on what a server may send in one response head.
    static constexpr int kMaxHeaderLines = 200;
    static constexpr int kMaxFoldedValue = 4096; // a value with its continuation lines
    static constexpr int kMaxHeadBytes = 65536;

    explicit PHTTPResponse(PHTTP& http);

    // Parses the complete lines at the start of buffer (length bytes; CR LF
    // line ends are overwritten). -1 on a malformed head (bad status line,
    // bad Content-Length, a limit exceeded), 0 when more bytes are needed, 1
    // at the blank line that ends the head. On 0 and 1, length is set to the
    // number of bytes not consumed: they are the last `length` bytes of the
    // input (on 0 they begin with the first incomplete line, on 1 they follow
    // the blank line).
    int Parse(char* buffer, int& length);

    int Status() const { return m_status; }
    // -1 when unknown.
    int ContentLength() const { return m_contentLength; }
    // The protocol's minor version (1.0 or 1.1).
    int MinorVersion() const { return m_minor; }
    PHTTPHeaders& Headers() { return m_headers; }
    const PHTTPHeaders& Headers() const { return m_headers; }

private:
    int ParseStatus(char* line, int length);
    int EndOfHead();

    int m_status;
    int m_contentLength;
    int m_minor;
    int m_headBytes;
    bool m_lastStored; // whether the last header line was kept (for folding)
    PHTTPHeaders m_headers;
};
