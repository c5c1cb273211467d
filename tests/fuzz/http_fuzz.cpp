// Feeds hostile server responses to the HTTP client: a scripted socket
// answers a GET (and a POST) with the input, cut into pieces whose sizes the
// input's first byte chooses.
#include <cstdint>
#include <cstring>

#include "engine/net/http.h"
#include "engine/net/httprequest.h"

namespace {

class ScriptedSocket : public PSockStream {
public:
    ScriptedSocket(const uint8_t* data, size_t size, int piece) : m_data(data), m_size(size), m_piece(piece) {}
    int IsOpen() const override { return m_open; }
    int Read(void* buffer, int count) override
    {
        if (!m_open)
            return PSOCK_EINVAL;
        if (m_pos >= m_size)
            return 0;
        // Every third read finds nothing yet.
        if (++m_reads % 3 == 0)
            return PSOCK_EWOULDBLOCK;
        size_t n = size_t(count);
        if (n > size_t(m_piece))
            n = size_t(m_piece);
        if (n > m_size - m_pos)
            n = m_size - m_pos;
        std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        return int(n);
    }
    int Write(const void*, int count) override { return m_open ? count : PSOCK_EINVAL; }
    int Close() override
    {
        m_open = 0;
        return 0;
    }
    int ShutDown(int) override { return 0; }
    int Open(unsigned, unsigned, unsigned) override
    {
        m_open = 1;
        return 0;
    }
    int Listen(int) override { return PSOCK_EINVAL; }
    int Bind(const PSockAddr&, int, int) override { return PSOCK_EINVAL; }
    int Connect(const PSockAddr&, int) override { return 0; }
    int Accept(PSocket&) override { return PSOCK_EINVAL; }
    int RemoteName(PSockAddr&) override { return PSOCK_EINVAL; }
    int LocalName(PSockAddr&) override { return PSOCK_EINVAL; }
    int Select(int mask, unsigned) override { return m_open ? mask & 3 : PSOCK_EINVAL; }
    PSockStream* Create() override { return nullptr; }
    int SetBlocking(int) override { return 0; }
    int LastError(int& err) override
    {
        err = 0;
        return 0;
    }
    int GetOpt(int, int, void*) override { return PSOCK_ENOOPT; }
    int SetOpt(int, int, void*) override { return PSOCK_ENOOPT; }
    int SendTo(const void*, int, int, PSockAddr&, int) override { return PSOCK_EINVAL; }
    int RecvFrom(void*, int, int, PSockAddr&, int&) override { return PSOCK_EINVAL; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    int m_piece;
    int m_open = 0;
    int m_reads = 0;
};

void RunOne(PHTTP& http, int type, const uint8_t* data, size_t size, int piece)
{
    PHTTPRequest* r = http.CreateRequest(type, "http://127.0.0.1:8080/x");
    if (!r)
        return;
    static const unsigned char body[16] = {1, 2, 3};
    PHTTPBodyBlob blob(body, sizeof body);
    if (type == PHTTPRequest::POST)
        r->SetBody(&blob);
    r->SetImpl(new ScriptedSocket(data, size, piece));
    if (r->Submit() == 0) {
        unsigned char buf[300];
        long total = 0;
        for (int i = 0; i < 20000; i++) {
            int s = r->Select(1, 0);
            if (s < 0)
                break;
            if (!(s & 1))
                continue;
            int n = r->Read(buf, int(sizeof buf));
            if (n > 0) {
                total += n;
                if (total > long(size))
                    __builtin_trap(); // more body than the server sent
                continue;
            }
            if (n != PSOCK_EWOULDBLOCK)
                break;
        }
        r->BytesAvail();
        r->BytesLeft();
    }
    delete r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    int piece = 1 + data[0] % 64 * 31;
    PHTTP http;
    RunOne(http, PHTTPRequest::GET, data + 1, size - 1, piece);
    RunOne(http, PHTTPRequest::POST, data + 1, size - 1, piece > 7 ? piece / 7 : 1);
    return 0;
}
