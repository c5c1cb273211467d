#include "engine/net/online/blowfish.h"

#include <cstring>

namespace VOrededidaza {
namespace Internal {

namespace {
#include "engine/net/online/blowfish_tables.inc"

uint32_t LoadBE(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void StoreBE(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
} // namespace

Blowfish::Blowfish(const unsigned char* key, int length)
{
    reset();
    if (!key || length < 1 || length > 56)
        return;
    for (int i = 0, k = 0; i < 18; i++) {
        uint32_t v = 0;
        for (int b = 0; b < 4; b++) {
            v = v << 8 | key[k];
            k = (k + 1) % length;
        }
        m_p[i] ^= v;
    }
    uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        encrypt(l, r);
        m_p[i] = l;
        m_p[i + 1] = r;
    }
    for (int b = 0; b < 4; b++) {
        for (int i = 0; i < 256; i += 2) {
            encrypt(l, r);
            m_s[b][i] = l;
            m_s[b][i + 1] = r;
        }
    }
}

Blowfish::~Blowfish()
{
    // The key-dependent tables do not outlive the object.
    reset();
}

void Blowfish::reset()
{
    std::memcpy(m_p, kInitP, sizeof m_p);
    std::memcpy(m_s, kInitS, sizeof m_s);
}

uint32_t Blowfish::f(uint32_t x) const
{
    return ((m_s[0][x >> 24] + m_s[1][(x >> 16) & 0xFF]) ^ m_s[2][(x >> 8) & 0xFF]) + m_s[3][x & 0xFF];
}

void Blowfish::encrypt(uint32_t& left, uint32_t& right) const
{
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= m_p[i];
        r ^= f(l);
        r ^= m_p[i + 1];
        l ^= f(r);
    }
    l ^= m_p[16];
    r ^= m_p[17];
    left = r;
    right = l;
}

void Blowfish::decrypt(uint32_t& left, uint32_t& right) const
{
    uint32_t l = left, r = right;
    for (int i = 17; i > 1; i -= 2) {
        l ^= m_p[i];
        r ^= f(l);
        r ^= m_p[i - 1];
        l ^= f(r);
    }
    l ^= m_p[1];
    r ^= m_p[0];
    left = r;
    right = l;
}

void Blowfish::encryptBuffer(unsigned char* data, int length) const
{
    for (int i = 0; data && i + 8 <= length; i += 8) {
        uint32_t l = LoadBE(data + i), r = LoadBE(data + i + 4);
        encrypt(l, r);
        StoreBE(data + i, l);
        StoreBE(data + i + 4, r);
    }
}

void Blowfish::decryptBuffer(unsigned char* data, int length) const
{
    for (int i = 0; data && i + 8 <= length; i += 8) {
        uint32_t l = LoadBE(data + i), r = LoadBE(data + i + 4);
        decrypt(l, r);
        StoreBE(data + i, l);
        StoreBE(data + i + 4, r);
    }
}

} // namespace Internal
} // namespace VOrededidaza
