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

// Bytes of the character at s, 0 at the terminator. A sequence cut short by
// the terminator is shortened to the bytes before it and `cut` is set; no byte
// after a zero is ever read.
inline int CharLen(uchar const* s, bool& cut)
{
    cut = false;
    if (!s[0])
        return 0;
    int n = _utf8_lens[s[0] >> 3];
    for (int k = 1; k < n; k++)
        if (!s[k]) {
            cut = true;
            return k;
        }
    return n;
}

// The code point of a whole sequence of n bytes.
inline unsigned DecodeSeq(uchar const* s, int n)
{
    switch (n) {
    case 2:
        return (unsigned(s[0] & 0x1F) << 6) | (s[1] & 0x3F);
    case 3:
        return (unsigned(s[0] & 0x0F) << 12) | (unsigned(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
    case 4:
        return (unsigned(s[0] & 0x07) << 18) | (unsigned(s[1] & 0x3F) << 12) |
               (unsigned(s[2] & 0x3F) << 6) | (s[3] & 0x3F);
    default:
        return s[0];
    }
}

inline int EncodedLen(unsigned c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

} // namespace

int PUTF8Encode(char* dst, unsigned c)
{
    uchar* d = reinterpret_cast<uchar*>(dst);
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
    // Bits above 21 do not fit the four-byte form and are dropped, so the lead
    // byte always announces four bytes.
    d[0] = uchar(0xF0 | ((c >> 18) & 0x07));
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
    uchar const* p = reinterpret_cast<uchar const*>(s);
    bool cut;
    int n = CharLen(p, cut);
    return cut ? 0 : DecodeSeq(p, n);
}

unsigned PUTF8DecodeNext(char const*& s)
{
    uchar const* p = reinterpret_cast<uchar const*>(s);
    bool cut;
    int n = CharLen(p, cut);
    unsigned c = cut ? 0 : DecodeSeq(p, n);
    s += n ? n : 1; // the terminator steps like any one-byte character
    return c;
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
        if (srcLen >= 0 && pos >= srcLen)
            break;
        if (!p[pos])
            break;
        int len = _utf8_lens[p[pos] >> 3];
        if (srcLen >= 0 && pos + len > srcLen)
            break; // would run past the given bytes
        bool cut;
        if (CharLen(p + pos, cut) != len || cut)
            break; // cut short by the terminator
        dst[done++] = wchar_t(DecodeSeq(p + pos, len));
        pos += len;
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
    bool cut;
    for (int n; (n = CharLen(p, cut)) != 0; p += n)
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
    while (pos < bytes && p[pos]) {
        // The character's bytes, shortened by a terminator inside it; only
        // bytes within the limit are looked at.
        int len = _utf8_lens[p[pos] >> 3];
        int k = 1;
        while (k < len && pos + k < bytes && p[pos + k])
            k++;
        if (k < len && (pos + k >= bytes))
            break; // runs past the limit
        pos += k;
        count++;
    }
    return count;
}

int PUTF8ByteLen(char const* s)
{
    uchar const* p = reinterpret_cast<uchar const*>(s);
    int bytes = 0;
    bool cut;
    for (int n; (n = CharLen(p + bytes, cut)) != 0;)
        bytes += n;
    return bytes;
}

char const* PUTF8StrOfs(char const* s, unsigned i)
{
    uchar const* p = reinterpret_cast<uchar const*>(s);
    bool cut;
    for (int n; i && (n = CharLen(p, cut)) != 0; i--)
        p += n;
    return reinterpret_cast<char const*>(p);
}

char* PUTF8StrOfs(char* s, unsigned i)
{
    return const_cast<char*>(PUTF8StrOfs(static_cast<char const*>(s), i));
}
