// The socket implementation over the platform's BSD sockets.
#pragma once
#include <cstdint>

#include "engine/net/socket.h"

class PBsdSockStream : public PSockStream {
public:
    PBsdSockStream();
    PBsdSockStream(uint16_t family, uint16_t type, int descriptor);
    virtual ~PBsdSockStream();

    virtual int IsOpen() const override { return m_fd != -1; }
    virtual int Read(void* buffer, int count) override;
    virtual int Write(const void* buffer, int count) override;
    virtual int Close() override;
    virtual int ShutDown(int how) override;
    virtual int Open(unsigned family, unsigned type, unsigned protocol) override;
    virtual int Listen(int backlog) override;
    virtual int Bind(const PSockAddr& a, int len, int reuse) override;
    virtual int Connect(const PSockAddr& a, int len) override;
    virtual int Accept(PSocket& into) override;
    virtual int RemoteName(PSockAddr& a) override;
    virtual int LocalName(PSockAddr& a) override;
    virtual int Select(int mask, unsigned ms) override;
    virtual PSockStream* Create() override;
    virtual int SetBlocking(int blocking) override;
    virtual int LastError(int& err) override;
    virtual int GetOpt(int level, int option, void* value) override;
    virtual int SetOpt(int level, int option, void* value) override;
    virtual int SendTo(const void* buf, int len, int flags, PSockAddr& to, int toLen) override;
    virtual int RecvFrom(void* buf, int len, int flags, PSockAddr& from, int& fromLen) override;

    int Descriptor() const { return m_fd; }

private:
    uint16_t m_family;
    uint16_t m_type;
    int m_fd;
};
