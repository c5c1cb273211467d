// Fuzz target: the UTF-8 routines, PAtoi, PString and the formatter's text
// arguments over arbitrary bytes, and the UTF-8 writers over arbitrary wide
// values. The input is copied into exact-size heap blocks so that any read
// past a terminator or a length is caught.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/runtime/psprintf.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/ptext.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void Utf8(char const* s, size_t len)
{
    // s is the text (len bytes, no zero inside) and its terminator.
    int chars = PUTF8StrLen(s);
    Check(PUTF8ByteLen(s) == int(len));
    Check(PUTF8StrOfs(s, unsigned(chars)) == s + len);
    // With the terminator inside the limit every character counts; without
    // it, a last character cut by the terminator is not wholly inside.
    Check(PUTF8StrLen(s, int(len) + 1) == chars);
    int inside = PUTF8StrLen(s, int(len));
    Check(inside == chars || inside == chars - 1);
    char const* p = s;
    for (int i = 0; i < chars; i++)
        PUTF8DecodeNext(p);
    Check(p == s + len);
    PUTF8Decode(s);

    // Decode into a buffer, re-encode, and get the same bytes back for the
    // characters that came from well-formed-length sequences.
    std::vector<wchar_t> w(len + 1);
    int n = int(w.size());
    int used = PUTF8Decode(w.data(), &n, s, -1);
    Check(used >= 0 && size_t(used) <= len && n <= chars);
    int n2 = int(w.size());
    std::vector<wchar_t> w2(w.size());
    Check(PUTF8Decode(w2.data(), &n2, s, int(len)) == used && n2 == n);
    std::vector<char> back(size_t(PUTF8EncodedLength(w.data(), n)) + 1);
    int m = n;
    int bytes = PUTF8Encode(back.data(), int(back.size()), w.data(), &m);
    Check(m == n && bytes == int(back.size()) - 1);

    // Encoding into a buffer that is too small never writes past it.
    for (int size = 0; size < 8 && size <= bytes; size++) {
        std::vector<char> small(size_t(size) ? size_t(size) : 1);
        int k = n;
        int wrote = PUTF8Encode(small.data(), size, w.data(), &k);
        Check(wrote <= size && k <= n);
    }
    std::vector<char> latin(len / 2 + 1);
    PUTF8EncodeLatin1(latin.data(), int(latin.size()), s, -1);

    // Whatever was decoded, written and read again is the same characters.
    back[size_t(bytes)] = 0;
    std::vector<wchar_t> again(size_t(n) + 1);
    int n3 = int(again.size());
    Check(PUTF8Decode(again.data(), &n3, back.data(), bytes) == bytes && n3 == n);
    Check(std::equal(again.begin(), again.begin() + n, w.begin()));
}

// Wide text of any values, characters or not, read from the input four bytes
// a value: written as UTF-8 and read back, it keeps its length, every
// character itself and every other value a U+FFFD.
void Wide(uint8_t const* data, size_t size)
{
    std::vector<wchar_t> w;
    for (size_t i = 0; i + 4 <= size && w.size() < 256; i += 4) {
        uint32_t v = uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
                     uint32_t(data[i + 3]) << 24;
        if (v)
            w.push_back(wchar_t(v));
    }
    int n = int(w.size());
    w.push_back(0);
    int bytes = PUTF8EncodedLength(w.data(), -1);
    std::vector<char> out(size_t(bytes) + 1);
    int done = -1;
    Check(PUTF8Encode(out.data(), bytes + 1, w.data(), &done) == bytes && done == n);
    Check(PUTF8StrLen(out.data()) == n && PUTF8ByteLen(out.data()) == bytes);
    std::vector<wchar_t> back(size_t(n) + 1);
    int m = n + 1;
    Check(PUTF8Decode(back.data(), &m, out.data(), bytes) == bytes && m == n);
    for (int i = 0; i < n; i++) {
        uint32_t c = uint32_t(w[size_t(i)]);
        bool character = c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        Check(uint32_t(back[size_t(i)]) == (character ? c : 0xFFFDu));
    }
    PString str(w.data(), unsigned(n));
    Check(int(str.Length()) == bytes && PUTF8StrLen(str.c_str()) == n);
}

void Strings(char const* s, size_t len)
{
    char* end = nullptr;
    for (int radix : {0, 2, 10, 16, 36}) {
        PAtoi(s, &end, radix);
        Check(end >= s && end <= s + len);
    }
    PString a(s);
    Check(a.Length() == len);
    PString b = a.Mid(len / 3, len / 2);
    b.Append(s, unsigned(len));
    b.Append('x');
    PString c = b.Mid(1);
    Check(std::strlen(c.c_str()) <= c.Length());
    a.Append(b);
    PString::StringRef* r = PString::StringRef::New(s, unsigned(len), 3);
    PString::StringRef::unref(r);
}

void Format(char const* s, size_t len, uint8_t const* data, size_t size)
{
    // Widths and precisions taken from the input, the text as every kind of
    // text argument, into buffers of every small size.
    int width = size > 1 ? data[1] % 80 : 0;
    int prec = size > 2 ? int(data[2]) - 64 : -1;
    std::vector<wchar_t> w(len + 1);
    for (size_t i = 0; i < len; i++)
        w[i] = wchar_t(int8_t(s[i])) * 0x1011; // negative and wide values too
    w[len] = 0;
    for (int bufSize = 0; bufSize < 40; bufSize += 7) {
        std::vector<char> out(size_t(bufSize) + 1);
        out[size_t(bufSize)] = 0x5A;
        PSnprintf(out.data(), bufSize, "<%*.*s|%-*s|%.*S|%*ls|%c>", width, prec, s, width, s, prec, w.data(),
                  width, w.data(), s[0]);
        Check(out[size_t(bufSize)] == 0x5A);
        if (bufSize)
            Check(std::strlen(out.data()) < size_t(bufSize));
    }
    int got = 0;
    PString f;
    f.AppendFormat("%s%.*s%5S%n", s, prec, s, w.data(), &got);
    std::vector<char> big(len * 2 + 200);
    PSprintf(big.data(), "%-*s|%.*s", width, s, prec, s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    // The whole input up to its first zero byte is the text.
    size_t len = 0;
    while (len < size && data[len])
        len++;
    char* s = static_cast<char*>(std::malloc(len + 1));
    if (!s)
        return 0;
    std::memcpy(s, data, len);
    s[len] = 0;
    Utf8(s, len);
    Strings(s, len);
    Format(s, len, data, size);
    Wide(data, size);
    std::free(s);
    return 0;
}
