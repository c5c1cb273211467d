// 16.16 fixed-point arithmetic: square roots, reciprocals, logarithm and
// power, table trigonometry and two small random generators.
//
// A 16.16 value is a signed 32-bit integer divided by 65536 (0x10000 is 1.0).
// Products are formed in 64 bits and shifted right by 16 (toward minus
// infinity). No floating point is used.
//
// Angles: the engine unit is 1/65536 of a turn (16384 is a right angle) and
// only its low 16 bits matter. Functions whose names end in d take degrees in
// 16.16 and divide them by 360 (truncating) to get engine units.
#pragma once
#include <cstdint>

// floor(sqrt(u)); PSqrt(0xFFFFFFFF) is 65535.
int PSqrt(unsigned int u);
// Square root of a 16.16 value, with 8 significant fraction bits.
int PFSqrt(unsigned int u);
// 1 / sqrt(x) in 16.16; 0 and negative x give 0x7FFFFFFF.
int PFRSqrt(int x);
// 1 / |x| in 16.16 (the sign is dropped). Results too large for 16.16
// (|x| below 3, and 0) are 0x7FFFFFFF.
int POneOver(int x);
// 1 / x in 16.16 keeping the sign; 0 gives 0x7FFFFFFF.
int POneOverS(int x);
// 1 / x for x with q fraction bits (1 <= q <= 30), with q fraction bits; the
// sign is kept and results that do not fit are 0x7FFFFFFF (or its negation).
int POneOverq(int x, int q);
// log2 of a 16.16 value as signed 16.16; 0 gives 0x80000000.
int PFLog2(unsigned int u);
// 2^x for a 16.16 x, as an unsigned 16.16 value rounded to nearest;
// 0xFFFFFFFF from 16.0 up.
unsigned int PFPow2(int x);
// x^y, both 16.16. Results beyond the 16.16 range saturate. A negative x
// gives a negative result for odd whole y.
int PFPow(int x, int y);
// Smallest power of two >= u; PCeil2(0) is 0.
unsigned int PCeil2(unsigned int u);

// Sine and cosine of an angle in engine units, 16.16.
int PSin(int a);
int PCos(int a);
// Both at once: the sine in the low 32 bits, the cosine in the high 32 bits.
int64_t PSinCos(int a);
int PSind(int d);
int PCosd(int d);
int64_t PSinCosd(int d);
inline int PSinCosSin(int64_t sc)
{
    return int32_t(uint32_t(uint64_t(sc)));
}
inline int PSinCosCos(int64_t sc)
{
    return int32_t(uint32_t(uint64_t(sc) >> 32));
}
// Tangent in 16.16; 0 where the cosine is 0.
int PTan(int a);
// Arcsine and arccosine of a 16.16 value, in engine units.
int PAsin(int s);
int PAcos(int c);
// Arctangent of a 16.16 value, in engine units (-16384 to 16384).
int PAtan(int t);
// Angle of the point (x, y) in engine units, between -24576 and 40960 (use it
// modulo 65536); 0 when |x| + |y| < 6.
int PAtan2(int y, int x);

// Linear congruential generator; operator() gives 0 to 65535.
class PRand {
public:
    explicit PRand(unsigned int seed = 1) { Seed(seed); }
    void Seed(unsigned int seed) { m_state = seed ? seed : 1; }
    unsigned int GetSeed() const { return m_state; }
    unsigned int operator()()
    {
        m_state = m_state * 1103515245u + 12345u;
        return m_state >> 16;
    }

private:
    unsigned int m_state;
};

// Two 16-bit multiply-with-carry generators (multipliers 18000 and 30903)
// combined into a 32-bit value.
class PRand2 {
public:
    explicit PRand2(unsigned int a = 0, unsigned int b = 0) { Seed(a, b); }
    void Seed(unsigned int a, unsigned int b)
    {
        m_first = a ? a : 521288629u;
        m_second = b ? b : 362436069u;
    }
    unsigned int GetSeed(int which) const { return which ? m_second : m_first; }
    unsigned int operator()()
    {
        m_second = 30903u * (m_second & 0xFFFF) + (m_second >> 16);
        m_first = 18000u * (m_first & 0xFFFF) + (m_first >> 16);
        return (m_second << 16) + (m_first & 0xFFFF);
    }

private:
    unsigned int m_first;
    unsigned int m_second;
};
