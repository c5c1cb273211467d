#include "engine/net/socket.h"

#include "engine/net/bsdsocket.h"

PSocket::PSocket() : m_impl(nullptr) {}

PSocket::~PSocket()
{
    delete m_impl;
}

int PSocket::IsOpen() const
{
    return m_impl && m_impl->IsOpen();
}

int PSocket::Read(void* buffer, int count)
{
    return m_impl ? m_impl->Read(buffer, count) : PSOCK_EINVAL;
}

int PSocket::Write(const void* buffer, int count)
{
    return m_impl ? m_impl->Write(buffer, count) : PSOCK_EINVAL;
}

int PSocket::Open(unsigned family, unsigned type, unsigned protocol)
{
    if (!m_impl) {
        m_impl = new PBsdSockStream();
        if (!m_impl)
            return -1;
    }
    return m_impl->Open(family, type, protocol);
}

int PSocket::Close()
{
    return m_impl ? m_impl->Close() : 0;
}

int PSocket::ShutDown(int how)
{
    return m_impl ? m_impl->ShutDown(how) : PSOCK_EINVAL;
}

int PSocket::Listen(int backlog)
{
    return m_impl ? m_impl->Listen(backlog) : PSOCK_EINVAL;
}

int PSocket::Bind(const PSockAddr& a, int len, int reuse)
{
    return m_impl ? m_impl->Bind(a, len, reuse) : PSOCK_EINVAL;
}

int PSocket::Connect(const PSockAddr& a, int len)
{
    return m_impl ? m_impl->Connect(a, len) : PSOCK_EINVAL;
}

int PSocket::Accept(PSocket& into)
{
    return m_impl ? m_impl->Accept(into) : PSOCK_EINVAL;
}

int PSocket::Select(int mask, unsigned ms)
{
    return m_impl ? m_impl->Select(mask, ms) : PSOCK_EINVAL;
}

int PSocket::GetOpt(int level, int option, void* value)
{
    return m_impl ? m_impl->GetOpt(level, option, value) : PSOCK_EINVAL;
}

int PSocket::SetOpt(int level, int option, void* value)
{
    return m_impl ? m_impl->SetOpt(level, option, value) : PSOCK_EINVAL;
}

int PSocket::RemoteName(PSockAddr& a)
{
    return m_impl ? m_impl->RemoteName(a) : PSOCK_EINVAL;
}

int PSocket::LocalName(PSockAddr& a)
{
    return m_impl ? m_impl->LocalName(a) : PSOCK_EINVAL;
}

int PSocket::SetBlocking(int blocking)
{
    return m_impl ? m_impl->SetBlocking(blocking) : PSOCK_EINVAL;
}

int PSocket::LastError(int& err)
{
    return m_impl ? m_impl->LastError(err) : PSOCK_EINVAL;
}

int PSocket::SendTo(const void* buf, int len, int flags, PSockAddr& to, int toLen)
{
    return m_impl ? m_impl->SendTo(buf, len, flags, to, toLen) : 0;
}

int PSocket::RecvFrom(void* buf, int len, int flags, PSockAddr& from, int& fromLen)
{
    return m_impl ? m_impl->RecvFrom(buf, len, flags, from, fromLen) : 0;
}

int PSocket::ReadN(void* buffer, int n)
{
    if (n < 1)
        return 0;
    char* p = static_cast<char*>(buffer);
    int total = 0;
    while (total < n) {
        int r = Read(p + total, n - total);
        if (r < 1)
            return total > 0 ? total : r;
        total += r;
    }
    return total;
}

int PSocket::WriteN(const void* buffer, int n)
{
    if (n < 1)
        return 0;
    const char* p = static_cast<const char*>(buffer);
    int total = 0;
    while (total < n) {
        int r = Write(p + total, n - total);
        if (r < 1)
            return total > 0 ? total : r;
        total += r;
    }
    return total;
}

int PSocket::IsConnected(unsigned ms)
{
    int r = Select(PSOCK_SEL_WRITE | PSOCK_SEL_ERROR, ms);
    if (r < 1)
        return r;
    if (r & PSOCK_SEL_ERROR)
        return PSOCK_ECONNABORTED;
    return (r & PSOCK_SEL_WRITE) ? 1 : 0;
}

void PSocket::SetImpl(PSockStream* impl)
{
    if (impl == m_impl)
        return;
    delete m_impl;
    m_impl = impl;
}

int PSocket::Create(PSocket& other)
{
    if (!m_impl)
        return PSOCK_ENOMEM;
    PSockStream* s = m_impl->Create();
    if (!s)
        return PSOCK_ENOMEM;
    other.Close();
    other.SetImpl(s);
    return 0;
}
