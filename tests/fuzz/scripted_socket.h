// A socket that plays back fuzz input as the peer's bytes: reads come in
// pieces of at most `piece` bytes, every `blockEvery`-th read finds nothing
// yet, and writes are accepted (at most `writeLimit` bytes a call).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/net/socket.h"

class ScriptedSocket : public PSockStream {
public:
    ScriptedSocket(const void* data, size_t size, int piece)
        : m_data(static_cast<const char*>(data), size), m_piece(piece)
    {
    }
    int IsOpen() const override { return m_open; }
    int Read(void* buffer, int count) override
    {
        if (!m_open)
            return PSOCK_EINVAL;
        if (m_pos >= m_data.size())
            return closeAtEnd ? 0 : PSOCK_EWOULDBLOCK;
        if (++m_reads % blockEvery == 0)
            return PSOCK_EWOULDBLOCK;
        size_t n = size_t(count) < size_t(m_piece) ? size_t(count) : size_t(m_piece);
        if (n > m_data.size() - m_pos)
            n = m_data.size() - m_pos;
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        return int(n);
    }
    int Write(const void*, int count) override
    {
        if (!m_open)
            return PSOCK_EINVAL;
        return writeLimit > 0 && count > writeLimit ? writeLimit : count;
    }
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
    int Connect(const PSockAddr&, int) override { return connectResult; }
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

    bool closeAtEnd = true;  // end of input reads as the peer closing, else as "nothing yet"
    int blockEvery = 3;      // every n-th read would block
    int writeLimit = 0;      // largest write taken at once; 0: no limit
    int connectResult = 0;   // what Connect answers

private:
    std::string m_data;
    size_t m_pos = 0;
    int m_piece;
    int m_open = 0;
    int m_reads = 0;
};
