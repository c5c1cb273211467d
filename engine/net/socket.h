// Sockets: PSocket, the byte stream all network code speaks, over a socket
// implementation (PSockStream). Results are counts (>= 0) or the engine's
// negative error codes of inetaddr.h.
#pragma once
#include "engine/net/inetaddr.h"
#include "engine/runtime/pstream.h"

class PSocket;

// Engine socket families and types.
enum {
    PSOCK_STREAM = 1, // TCP
    PSOCK_DGRAM = 2,  // UDP
};

// Select masks.
enum {
    PSOCK_SEL_READ = 1,
    PSOCK_SEL_WRITE = 2,
    PSOCK_SEL_ERROR = 4,
};

// Engine socket option levels and options (SetOpt/GetOpt).
enum {
    PSOCK_LEVEL_SOCKET = 0,
    PSOCK_LEVEL_IP = 1,

    PSOCK_OPT_ERROR = 0,
    PSOCK_OPT_RCVBUF = 1,
    PSOCK_OPT_SNDBUF = 2,
    PSOCK_OPT_REUSEADDR = 3,
    PSOCK_OPT_BROADCAST = 8,
    PSOCK_OPT_NOSIGPIPE = 16,

    PSOCK_OPT_IP_OPTIONS = 1,
    PSOCK_OPT_IP_HDRINCL = 2,
    PSOCK_OPT_IP_TOS = 3,
    PSOCK_OPT_IP_TTL = 4,
    PSOCK_OPT_IP_MULTICAST_IF = 9,
    PSOCK_OPT_IP_MULTICAST_TTL = 10,
    PSOCK_OPT_IP_MULTICAST_LOOP = 11,
    PSOCK_OPT_IP_ADD_MEMBERSHIP = 12,
    PSOCK_OPT_IP_DROP_MEMBERSHIP = 13,
};

// A socket implementation. Every operation on a closed socket returns -2.
class PSockStream : public PStream {
public:
    virtual ~PSockStream() {}
    virtual int IsOpen() const override = 0;
    virtual int Read(void* buffer, int count) override = 0;
    virtual int Write(const void* buffer, int count) override = 0;
    virtual int Close() = 0;
    virtual int ShutDown(int how) = 0;
    virtual int Open(unsigned family, unsigned type, unsigned protocol) = 0;
    virtual int Listen(int backlog) = 0;
    virtual int Bind(const PSockAddr& a, int len, int reuse) = 0;
    virtual int Connect(const PSockAddr& a, int len) = 0;
    virtual int Accept(PSocket& into) = 0;
    virtual int RemoteName(PSockAddr& a) = 0;
    virtual int LocalName(PSockAddr& a) = 0;
    // Waits up to ms milliseconds (0xFFFFFFFF: without limit) for the
    // conditions of mask; the mask of those met, 0 on time-out, or a code.
    virtual int Select(int mask, unsigned ms) = 0;
    // A fresh, closed implementation of the same kind (null without memory).
    virtual PSockStream* Create() = 0;
    virtual int SetBlocking(int blocking) = 0;
    virtual int LastError(int& err) = 0;
    virtual int GetOpt(int level, int option, void* value) = 0;
    virtual int SetOpt(int level, int option, void* value) = 0;
    virtual int SendTo(const void* buf, int len, int flags, PSockAddr& to, int toLen) = 0;
    virtual int RecvFrom(void* buf, int len, int flags, PSockAddr& from, int& fromLen) = 0;
};

class PSocket : public PStream {
public:
    PSocket();
    virtual ~PSocket();
    PSocket(const PSocket&) = delete;
    PSocket& operator=(const PSocket&) = delete;

    virtual int IsOpen() const override;
    virtual int Read(void* buffer, int count) override;
    virtual int Write(const void* buffer, int count) override;
    // Creates the implementation when there is none (-1 when that fails),
    // then opens it.
    virtual int Open(unsigned family, unsigned type, unsigned protocol);

    int Close();
    int ShutDown(int how);
    int Listen(int backlog);
    int Bind(const PSockAddr& a, int len, int reuse);
    int Connect(const PSockAddr& a, int len);
    int Accept(PSocket& into);
    int Select(int mask, unsigned ms);
    int GetOpt(int level, int option, void* value);
    int SetOpt(int level, int option, void* value);
    int RemoteName(PSockAddr& a);
    int LocalName(PSockAddr& a);
    int SetBlocking(int blocking);
    int LastError(int& err);
    int SendTo(const void* buf, int len, int flags, PSockAddr& to, int toLen);
    int RecvFrom(void* buf, int len, int flags, PSockAddr& from, int& fromLen);

    // Read/Write until n bytes have moved or a call returns less than 1; the
    // total moved, or that call's result when nothing moved; 0 for n < 1.
    int ReadN(void* buffer, int n);
    int WriteN(const void* buffer, int n);

    // For a connect under way: 1 connected, 0 not yet, -264 when the socket
    // reports an error condition, another negative code on failure.
    int IsConnected(unsigned ms);

    // Takes ownership of impl (the current one is deleted first).
    void SetImpl(PSockStream* impl);
    // Exchanges the implementations (and so the connections) of two sockets.
    void Swap(PSocket& other)
    {
        PSockStream* mine = m_impl;
        m_impl = other.m_impl;
        other.m_impl = mine;
    }
    PSockStream* GetImpl() const { return m_impl; }
    // Gives `other` a fresh implementation of this socket's kind.
    int Create(PSocket& other);
    static unsigned MapFamily(unsigned family) { return family; }

private:
    PSockStream* m_impl;
};
