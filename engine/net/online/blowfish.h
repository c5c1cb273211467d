// Blowfish (16 rounds, the published tables and key schedule) in ECB mode.
#pragma once
#include <cstdint>

namespace VOrededidaza {
namespace Internal {

class Blowfish {
public:
    // Keys of 1..56 bytes; other lengths leave the initial tables in place.
    Blowfish(const unsigned char* key, int length);
    ~Blowfish();

    void encrypt(uint32_t& left, uint32_t& right) const;
    void decrypt(uint32_t& left, uint32_t& right) const;
    // Encrypts or decrypts length / 8 blocks in place; each block is two
    // 32-bit words in big-endian byte order. A trailing partial block is left
    // as it is.
    void encryptBuffer(unsigned char* data, int length) const;
    void decryptBuffer(unsigned char* data, int length) const;

private:
    void reset();
    uint32_t f(uint32_t x) const;
    uint32_t m_p[18];
    uint32_t m_s[4][256];
};

} // namespace Internal
} // namespace VOrededidaza
