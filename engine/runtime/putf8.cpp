// UTF-8 encoding and decoding.
#include <cstring>

#include "engine/runtime/ptext.h"

const unsigned char _utf8_lens[32] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // 0x00-0x7F
    1, 1, 1, 1, 1, 1, 1, 1,                         // 0x80-0xBF continuation bytes
    2, 2, 2, 2,                                     // 0xC0-0xDF
    3, 3,                                           // 0xE0-0xEF
    4,                                              // 0xF0-0xF7
    1,                                              // 0xF8-0xFF invalid
};

namespace {

using uchar = unsigned char;

// One character read from the text: its bytes, its code point, and whether
// it was cut short, by the terminator or by the end of the bytes that may be
// looked at.
struct Char {
    int len = 0;
    unsigned c = 0;
    bool cut = false;
    bool atLimit = false; // cut by the end of the bytes, not by a zero
};

constexpr unsigned kReplacement = 0xFFFD;

// The character at s, of which at most avail bytes may be looked at; no byte
// after a zero is ever read. A well-formed sequence is its code point. A lead
// byte that cannot start one (a continuation byte, C0, C1, F5 and up), or one
// followed by a byte that cannot continue it (no continuation byte, an
// overlong form, a surrogate, a value past U+10FFFF), is one byte read as
// U+FFFD: decoding resumes at the next byte, so a stray byte costs only
// itself. A well-formed start cut short is the bytes there are, decoding as 0.
inline Char ReadChar(uchar const* s, int avail)
{
    Char r;
    if (avail <= 0 || !s[0])
        return r;
    unsigned b = s[0];
    r.len = 1;
    r.c = b;
    if (b < 0x80)
        return r;
    int need;
    unsigned lo = 0x80, hi = 0xBF; // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        need = 2;
        r.c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 3;
        r.c = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0; // below: overlong
        else if (b == 0xED)
            hi = 0x9F; // above: surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 4;
        r.c = b & 0x07;
        if (b == 0xF0)
            lo = 0x90; // below: overlong
        else if (b == 0xF4)
            hi = 0x8F; // above: past U+10FFFF
    } else {
        r.c = kReplacement;
        return r;
    }
    for (int k = 1; k < need; k++) {
        if (k >= avail || !s[k]) {
            r.len = k;
            r.c = 0;
            r.cut = true;
            r.atLimit = k >= avail;
            return r;
        }
        unsigned t = s[k];
        if (k == 1 ? (t < lo || t > hi) : (t & 0xC0) != 0x80) {
            r.len = 1;
            r.c = kReplacement;
            return r;
        }
        r.c = (r.c << 6) | (t & 0x3F);
    }
    r.len = need;
    return r;
}

constexpr int kNoLimit = 0x7FFFFFFF;

// Bytes of the character at s, 0 at the terminator.
inline int CharLen(uchar const* s)
{
    return ReadChar(s, kNoLimit).len;
}

// What is written for c: c itself when it is a character, else U+FFFD. A
// surrogate or a value past U+10FFFF (a negative wchar_t among them) has no
// UTF-8 form a reader accepts; written as its bit pattern it would read back
// as one U+FFFD a byte, so the text would come back longer than it went out.
inline unsigned Writable(unsigned c)
{
    return (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF ? kReplacement : c;
}

// Bytes PUTF8Encode writes for c.
inline int EncodedLen(unsigned c)
{
    c = Writable(c);
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

} // namespace

int PUTF8Encode(char* dst, unsigned c)
{
    uchar* d = reinterpret_cast<uchar*>(dst);
    c = Writable(c);
    if (c < 0x80) {
        d[0] = uchar(c);
        return 1;
    }
    if (c < 0x800) {
        d[0] = uchar(0xC0 | (c >> 6));
        d[1] = uchar(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        d[0] = uchar(0xE0 | (c >> 12));
        d[1] = uchar(0x80 | ((c >> 6) & 0x3F));
        d[2] = uchar(0x80 | (c & 0x3F));
        return 3;
    }
    d[0] = uchar(0xF0 | (c >> 18));
    d[1] = uchar(0x80 | ((c >> 12) & 0x3F));
    d[2] = uchar(0x80 | ((c >> 6) & 0x3F));
    d[3] = uchar(0x80 | (c & 0x3F));
    return 4;
}

int PUTF8EncodeLatin1(char* dst, unsigned char c)
{
    return PUTF8Encode(dst, c);
}

int PUTF8EncodedLength(wchar_t const* w, int n)
{
    int bytes = 0;
    for (int i = 0; n < 0 ? w[i] != 0 : i < n; i++)
        bytes += EncodedLen(unsigned(w[i]));
    return bytes;
}

int PUTF8Encode(char* dst, int size, wchar_t const* w, int* n)
{
    int count = n ? *n : -1;
    int written = 0;
    int done = 0;
    for (; count < 0 ? w[done] != 0 : done < count; done++) {
        unsigned c = unsigned(w[done]);
        if (written + EncodedLen(c) > size)
            break;
        written += PUTF8Encode(dst + written, c);
    }
    if (written < size)
        dst[written] = 0;
    if (n)
        *n = done;
    return written;
}

int PUTF8Encode(char* dst, int size, wchar_t const* w, int n)
{
    return PUTF8Encode(dst, size, w, &n);
}

unsigned PUTF8Decode(char const* s)
{
    return ReadChar(reinterpret_cast<uchar const*>(s), kNoLimit).c;
}

unsigned PUTF8DecodeNext(char const*& s)
{
    Char ch = ReadChar(reinterpret_cast<uchar const*>(s), kNoLimit);
    s += ch.len ? ch.len : 1; // the terminator steps like any one-byte character
    return ch.c;
}

unsigned PUTF8DecodeNext(char*& s)
{
    char const* p = s;
    unsigned c = PUTF8DecodeNext(p);
    s += p - s;
    return c;
}

int PUTF8Decode(wchar_t* dst, int* n, char const* src, int srcLen)
{
    uchar const* p = reinterpret_cast<uchar const*>(src);
    int cap = n && *n > 0 ? *n : 0;
    int pos = 0;
    int done = 0;
    while (done < cap) {
        Char ch = ReadChar(p + pos, srcLen < 0 ? kNoLimit : srcLen - pos);
        if (!ch.len || ch.cut)
            break; // the end, or a character that would run past it
        dst[done++] = wchar_t(ch.c);
        pos += ch.len;
    }
    if (done < cap)
        dst[done] = 0;
    if (n)
        *n = done;
    return pos;
}

int PUTF8Decode(wchar_t* dst, int n, char const* src, int srcLen)
{
    return PUTF8Decode(dst, &n, src, srcLen);
}

int PUTF8EncodeLatin1(char* dst, int size, char const* src, int* n)
{
    int count = n ? *n : -1;
    int len = count < 0 ? PStrLen(src) : int(strnlen(src, size_t(count)));
    if (size < 0)
        size = 0;
    if (len > size)
        len = size;
    std::memcpy(dst, src, size_t(len));
    if (len < size)
        dst[len] = 0;
    if (n)
        *n = len;
    return len;
}

int PUTF8EncodeLatin1(char* dst, int size, char const* src, int n)
{
    return PUTF8EncodeLatin1(dst, size, src, &n);
}

int PUTF8StrLen(char const* s)
{
    uchar const* p = reinterpret_cast<uchar const*>(s);
    int count = 0;
    for (int n; (n = CharLen(p)) != 0; p += n)
        count++;
    return count;
}

int PUTF8StrLen(char const* s, int bytes)
{
    if (bytes < 0)
        return PUTF8StrLen(s);
    uchar const* p = reinterpret_cast<uchar const*>(s);
    int count = 0;
    int pos = 0;
    for (;;) {
        // The character's bytes, shortened by a terminator inside it; only
        // bytes within the limit are looked at.
        Char ch = ReadChar(p + pos, bytes - pos);
        if (!ch.len || ch.atLimit)
            break; // the end, or a character that runs past the limit
        pos += ch.len;
        count++;
    }
    return count;
}

int PUTF8ByteLen(char const* s)
{
    uchar const* p = reinterpret_cast<uchar const*>(s);
    int bytes = 0;
    for (int n; (n = CharLen(p + bytes)) != 0;)
        bytes += n;
    return bytes;
}

char const* PUTF8StrOfs(char const* s, unsigned i)
{
    uchar const* p = reinterpret_cast<uchar const*>(s);
    for (int n; i && (n = CharLen(p)) != 0; i--)
        p += n;
    return reinterpret_cast<char const*>(p);
}

char* PUTF8StrOfs(char* s, unsigned i)
{
    return const_cast<char*>(PUTF8StrOfs(static_cast<char const*>(s), i));
}
