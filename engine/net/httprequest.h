// PHTTPRequest: one HTTP/1.1 request at a time over a TCP socket, advanced by
// polling. Use: make it with PHTTP::CreateRequest, optionally SetBody and add
// request headers, Submit, then call Select from the main loop until it
// reports bit 1 (readable), and take the response body with Read. Read
// returns the bytes delivered, 0 at the end of the body, -256 when nothing can
// be delivered yet, -1 when the exchange failed (bad or truncated response,
// lost connection).
#pragma once
#include "engine/net/http.h"
#include "engine/net/httpbody.h"
#include "engine/net/httpheaders.h"
#include "engine/net/httpresponse.h"
#include "engine/net/socket.h"
#include "engine/net/uri.h"

class PHTTPRequest : public PSocket {
public:
    enum RequestType { GET = 0, POST = 1, PUT = 2, HEAD = 3, DELETE = 4, TRACE = 5, OPTIONS = 6 };
    enum State {
        STATE_IDLE = 0,        // idle or failed
        STATE_CONNECTING = 1,
        STATE_SEND_HEAD = 2,
        STATE_SEND_BODY = 3,
        STATE_RECEIVE_HEAD = 4,
        STATE_RECEIVE_BODY = 5,
        STATE_LOOKUP = 6,      // host look-up pending
        STATE_DONE = 7,
    };
    static constexpr int kBufferSize = 1024;
    static constexpr int kConnectWaitMs = 200;
    // Longest chunk-size line (size and extensions) accepted.
    static constexpr int kMaxChunkLine = 128;

    explicit PHTTPRequest(PHTTP& http);
    PHTTPRequest(PHTTP& http, int type, const PURI& uri);
    virtual ~PHTTPRequest();

    // The address is acceptable: valid, and scheme absent, "http" or "market".
    bool IsOk() const;

    void SetBody(PHTTPBody* body) { m_body = body; }
    PHTTPBody* Body() const { return m_body; }
    PHTTPHeaders& Headers() { return m_headers; }
    // Null until the first response bytes have been read.
    PHTTPResponse* Response() const { return m_response; }
    const PURI& Uri() const { return m_uri; }
    int Type() const { return m_type; }
    int GetState() const { return m_state; }
    // The response head was read whole.
    bool HeadComplete() const { return m_headDone; }
    // The exchange ended in failure.
    bool Failed() const { return m_failed; }

    // Starts the request: 0 or a negative code.
    int Submit();
    // One step of the request; a readiness mask (bit 1: Read can deliver or
    // report the end) or a negative code.
    int Select(int mask, unsigned ms);
    virtual int Read(void* buffer, int count) override;

    int BytesAvail() const;
    int BytesLeft() const;
    int BytesRead() const { return m_handed; }

    // Back to idle (keeping a connection that can serve another request).
    int Reset();
    // As Reset, for a new address: -2 when it is invalid or its scheme is
    // neither absent nor "http".
    int Reset(const PURI& uri);
    int Reset(int type, const PURI& uri);
    int Close();

private:
    int Fail(int code);
    void ClearReceive();
    int FormatHead();
    int Connect();
    int ConnectSocket();
    int ConnectFailed(int code);
    int LookupPoll();
    int SendHead();
    int WriteBodyPiece(const unsigned char* piece, int length);
    int BodyStep();
    int EnterReceive();
    int ReceiveHeadStep();
    int EndHead();
    int Refill();
    int ReadChunkLine();
    void ConsumeTrailers();
    int ReadBody(void* buffer, int count);
    int RetryOnNewConnection();

    PHTTP& m_http;
    int m_type;
    int m_state;
    PHTTPBody* m_body;
    PURI m_uri;
    char* m_buf;     // the request head while sending, the receive buffer after
    int m_pos;       // start of the unread bytes in m_buf
    int m_len;       // unread bytes in m_buf
    int m_chunkSize;
    int m_chunkLeft;
    int m_received;  // body bytes received from the socket, buffered ones included
    int m_handed;    // body bytes handed to the reader
    PHTTPResponse* m_response;
    PHTTPHeaders m_headers;
    PSockAddr m_addr;
    int m_chunked;

    int m_bodyLength;   // expected body length, -1 when unknown
    int m_bodySent;
    bool m_sendChunked; // the request body is sent with chunked coding
    bool m_failed;
    bool m_headDone;
    bool m_skippedEmpty;
    bool m_reusable;    // the connection can carry another request
    char* m_retryHead;  // the head sent on a reused connection, for one retry
    int m_retryLen;
};
