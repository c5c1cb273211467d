// Byte strings, memory blocks and number conversions.
#include "engine/runtime/ptext.h"

#include <cstring>

const char PHexDigs[37] = "0123456789abcdefghijklmnopqrstuvwxyz";
const char PHexDigsU[37] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

namespace {

struct CaseMaps {
    unsigned char upper[256];
    unsigned char lower[256];
};

constexpr CaseMaps MakeCaseMaps()
{
    CaseMaps m{};
    for (int i = 0; i < 256; i++) {
        m.upper[i] = static_cast<unsigned char>(i);
        m.lower[i] = static_cast<unsigned char>(i);
    }
    for (int i = 'a'; i <= 'z'; i++) {
        m.upper[i] = static_cast<unsigned char>(i - 0x20);
        m.lower[i - 0x20] = static_cast<unsigned char>(i);
    }
    // Latin-1 letters; 0xF7 (division) and 0xD7 (multiplication) are not.
    for (int i = 0xE0; i <= 0xFE; i++) {
        if (i == 0xF7)
            continue;
        m.upper[i] = static_cast<unsigned char>(i - 0x20);
        m.lower[i - 0x20] = static_cast<unsigned char>(i);
    }
    return m;
}

constexpr CaseMaps kCaseMaps = MakeCaseMaps();

// Digits of v in the radix, least significant first; returns their count.
int ReversedDigits(char* tmp, unsigned v, unsigned radix, char const* digits)
{
    int n = 0;
    do {
        tmp[n++] = digits[v % radix];
        v /= radix;
    } while (v);
    return n;
}

// Writes [pad...][sign][digits] and the terminator; returns the terminator.
char* WriteNumber(char* dst, char const* rev, int nDigits, bool negative, char pad, int width)
{
    int len = nDigits + (negative ? 1 : 0);
    if (pad)
        for (int i = len; i < width; i++)
            *dst++ = pad;
    if (negative)
        *dst++ = '-';
    while (nDigits)
        *dst++ = rev[--nDigits];
    *dst = 0;
    return dst;
}

// Unsigned 64-bit decimal, for integer parts that do not fit 32 bits.
char* WriteDecimal64(char* dst, uint64_t v, bool negative)
{
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    return WriteNumber(dst, tmp, n, negative, 0, 0);
}

} // namespace

// The exported maps are plain arrays filled from the generated ones.
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
const unsigned char _PCharUCaseMap[256] = {
#define R(i) kCaseMaps.upper[i]
    R64(0), R64(64), R64(128), R64(192)
#undef R
};
const unsigned char _PCharLCaseMap[256] = {
#define R(i) kCaseMaps.lower[i]
    R64(0), R64(64), R64(128), R64(192)
#undef R
#undef R8
#undef R64
};

// ---------------------------------------------------------------------------
// Numbers to text

char* PItoa(char* dst, int v, char pad, int width)
{
    char tmp[12];
    bool neg = v < 0;
    unsigned mag = neg ? 0u - unsigned(v) : unsigned(v);
    int n = ReversedDigits(tmp, mag, 10, PHexDigs);
    return WriteNumber(dst, tmp, n, neg, pad, width);
}

char* PUtoa(char* dst, unsigned v, char pad, int width)
{
    char tmp[12];
    int n = ReversedDigits(tmp, v, 10, PHexDigs);
    return WriteNumber(dst, tmp, n, false, pad, width);
}

char* _PXtoa(char* dst, unsigned v, int radix, char pad, int width, char const* digits)
{
    if (radix < 2 || radix > 36) {
        *dst = 0;
        return dst;
    }
    char tmp[33];
    int n = ReversedDigits(tmp, v, unsigned(radix), digits);
    return WriteNumber(dst, tmp, n, false, pad, width);
}

char* PXtoa(char* dst, unsigned v, int radix, char pad, int width)
{
    return _PXtoa(dst, v, radix, pad, width, PHexDigs);
}

char* PFxtoa(char* dst, int v, int decimals, int fracBits)
{
    if (fracBits < 0)
        fracBits = 0;
    if (fracBits > 31)
        fracBits = 31;
    const int64_t one = int64_t(1) << fracBits;
    const int64_t mask = one - 1;
    int64_t w = v;
    if (decimals == 0)
        w = (w + one / 2) & ~mask; // round half up to a whole number
    bool neg = w < 0;
    uint64_t mag = uint64_t(neg ? -w : w);
    uint64_t ip = mag >> fracBits;
    uint64_t f = mag & uint64_t(mask);
    if (decimals >= 1) {
        // Half a unit of the last decimal, rounding it half up; a carry out of
        // the fraction goes into the integer part.
        uint64_t half = uint64_t(one / 2);
        for (int i = 0; i < decimals && half; i++)
            half /= 10;
        f += half;
        if (f >= uint64_t(one)) {
            f -= uint64_t(one);
            ip++;
        }
    }
    dst = WriteDecimal64(dst, ip, neg);
    if (decimals <= 0 && f == 0)
        return dst;
    *dst++ = '.';
    int written = 0;
    while ((decimals < 0 || written < decimals) && f) {
        f *= 10;
        *dst++ = char('0' + (f >> fracBits));
        f &= uint64_t(mask);
        written++;
    }
    while (written < decimals) {
        *dst++ = '0';
        written++;
    }
    *dst = 0;
    return dst;
}

int double2fix(int const* d)
{
    uint32_t lo = uint32_t(d[0]);
    uint32_t hi = uint32_t(d[1]);
    int e = int((hi >> 20) & 0x7FF);
    int s = e - 1059; // the 53-bit mantissa is the value in units of 2^(e-1075)
    uint32_t r;
    if (s >= 1) {
        r = s < 32 ? lo << s : 0;
    } else if (s >= -52) {
        uint64_t m = (uint64_t((hi & 0xFFFFFu) | 0x100000u) << 32) | lo;
        r = uint32_t(m >> -s);
    } else {
        r = 1;
    }
    if (hi & 0x80000000u)
        r = 0u - r;
    return int(r);
}

int double2fix(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    int words[2] = {int(uint32_t(bits)), int(uint32_t(bits >> 32))};
    return double2fix(words);
}

int PAtoi(char const* s, char** end, int radix)
{
    if (!s) {
        if (end)
            *end = nullptr;
        return 0;
    }
    while (*s == ' ' || *s == '\t')
        s++;
    unsigned sign = 1;
    if (*s == '-') {
        sign = 0u - 1u;
        s++;
        while (*s == ' ')
            s++;
    } else if (*s == '+') {
        s++;
        while (*s == ' ' || *s == '\t')
            s++;
    }
    if (*s == '0') {
        s++;
        if (*s == 'x' || *s == 'X') {
            radix = 16;
            s++;
        } else if (*s == 'b' || *s == 'B') {
            radix = 2;
            s++;
        } else if (radix == 0) {
            radix = 8;
        }
    } else if (radix == 0) {
        radix = 10;
    }
    unsigned v = 0;
    int count = 0;
    for (;; s++) {
        int c = static_cast<unsigned char>(*s);
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'z')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'Z')
            d = c - 'A' + 10;
        else
            break;
        if (d >= radix || (radix == 16 && count == 8))
            break;
        v = v * unsigned(radix) + unsigned(d);
        count++;
    }
    if (end)
        *end = const_cast<char*>(s);
    return int(sign * v);
}

// ---------------------------------------------------------------------------
// Zero-terminated byte strings

int PStrLen(char const* s)
{
    return int(std::strlen(s));
}

int PStrLenW(wchar_t const* s)
{
    int n = 0;
    while (s[n])
        n++;
    return n;
}

char* PStrCpy(char* dst, char const* src)
{
    while ((*dst = *src++) != 0)
        dst++;
    return dst;
}

char* PStrCpyN(char* dst, char const* src, unsigned n)
{
    unsigned i = 0;
    for (; i < n && src[i]; i++)
        dst[i] = src[i];
    char* end = dst + i;
    for (; i < n; i++)
        dst[i] = 0;
    return end;
}

char* PStrCat(char* dst, char const* src)
{
    PStrCpy(dst + std::strlen(dst), src);
    return dst;
}

int PStrCmp(char const* a, char const* b)
{
    for (;; a++, b++) {
        if (*a != *b)
            return int(static_cast<signed char>(*a)) - int(static_cast<signed char>(*b));
        if (!*a)
            return 0;
    }
}

int PStrCmpN(char const* a, char const* b, unsigned n)
{
    for (unsigned i = 0; i < n; i++) {
        if (a[i] != b[i])
            return int(static_cast<signed char>(a[i])) - int(static_cast<signed char>(b[i]));
        if (!a[i])
            return 0;
    }
    return 0;
}

int PStrCaseCmp(char const* a, char const* b)
{
    for (;; a++, b++) {
        int ca = _PCharLCaseMap[static_cast<unsigned char>(*a)];
        int cb = _PCharLCaseMap[static_cast<unsigned char>(*b)];
        if (ca != cb || !ca)
            return ca - cb;
    }
}

int PStrCaseCmpN(char const* a, char const* b, unsigned n)
{
    for (unsigned i = 0; i < n; i++) {
        int ca = _PCharLCaseMap[static_cast<unsigned char>(a[i])];
        int cb = _PCharLCaseMap[static_cast<unsigned char>(b[i])];
        if (ca != cb || !ca)
            return ca - cb;
    }
    return 0;
}

char const* PStrChr(char const* s, int c)
{
    char ch = char(c);
    for (;; s++) {
        if (*s == ch)
            return s;
        if (!*s)
            return nullptr;
    }
}

char* PStrChr(char* s, int c)
{
    return const_cast<char*>(PStrChr(static_cast<char const*>(s), c));
}

char const* PStrRChr(char const* s, int c)
{
    char ch = char(c);
    char const* last = nullptr;
    if (!ch)
        return nullptr;
    for (; *s; s++)
        if (*s == ch)
            last = s;
    return last;
}

char* PStrRChr(char* s, int c)
{
    return const_cast<char*>(PStrRChr(static_cast<char const*>(s), c));
}

int PStrStrI(char const* hay, char const* needle)
{
    if (!*needle || !*hay)
        return -1;
    for (int i = 0; hay[i]; i++) {
        int k = 0;
        while (needle[k] && hay[i + k] == needle[k])
            k++;
        if (!needle[k])
            return i;
    }
    return -1;
}

char const* PStrStr(char const* hay, char const* needle)
{
    int i = PStrStrI(hay, needle);
    return i < 0 ? nullptr : hay + i;
}

char* PStrStr(char* hay, char const* needle)
{
    int i = PStrStrI(hay, needle);
    return i < 0 ? nullptr : hay + i;
}

char* PStrUpper(char* s)
{
    for (unsigned char* p = reinterpret_cast<unsigned char*>(s); *p; p++)
        *p = _PCharUCaseMap[*p];
    return s;
}

// ---------------------------------------------------------------------------
// Memory blocks

void* PMemSet(void* dst, int byte, unsigned n)
{
    if (n)
        std::memset(dst, byte, n);
    return dst;
}

void PMemSet16(uint16_t* dst, uint16_t value, unsigned n)
{
    for (unsigned i = 0; i < n; i++)
        dst[i] = value;
}

void* PMemCopy(void* dst, void const* src, unsigned n)
{
    if (n)
        std::memmove(dst, src, n);
    return dst;
}

void* PMemMove(void* dst, void const* src, unsigned n)
{
    if (n)
        std::memmove(dst, src, n);
    return dst;
}

int PMemCmp(void const* a, void const* b, unsigned n)
{
    auto const* pa = static_cast<unsigned char const*>(a);
    auto const* pb = static_cast<unsigned char const*>(b);
    for (unsigned i = 0; i < n; i++)
        if (pa[i] != pb[i])
            return int(pa[i]) - int(pb[i]);
    return 0;
}
