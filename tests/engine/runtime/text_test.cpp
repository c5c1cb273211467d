// Byte-string, memory, number and UTF-8 routines. PAtoi is checked against
// strtol and the UTF-8 routines against Python's codec where their domains
// meet.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/pstring.h"
#include "engine/runtime/ptext.h"
#include "tests/tools/tool_runner.h"

namespace {

std::string S(char const* b, char const* e) { return std::string(b, size_t(e - b)); }

TEST(Text, NumbersToText)
{
    char b[64];
    EXPECT_EQ(S(b, PItoa(b, INT_MIN)), "-2147483648");
    EXPECT_EQ(S(b, PItoa(b, 42, ' ', 5)), "   42");
    EXPECT_EQ(S(b, PItoa(b, -5, '0', 5)), "000-5");
    EXPECT_EQ(S(b, PItoa(b, 123456, '0', 3)), "123456"); // never cut
    EXPECT_EQ(S(b, PItoa(b, 7, 0, 5)), "7");             // no pad character, no padding
    EXPECT_EQ(S(b, PUtoa(b, 4294967295u, '0', 12)), "004294967295");
    EXPECT_EQ(S(b, PXtoa(b, 5, 2, '0', 8)), "00000101");
    EXPECT_EQ(S(b, PXtoa(b, 0xFFFFFFFFu, 2)), std::string(32, '1'));
    EXPECT_EQ(S(b, _PXtoa(b, 0xBEEF, 16, 0, 0, PHexDigsU)), "BEEF");
    // A radix outside 2-36 gives an empty text rather than a division by zero
    // or an endless loop.
    for (int radix : {-3, 0, 1, 37}) {
        EXPECT_EQ(PXtoa(b, 123, radix), b);
        EXPECT_EQ(b[0], 0);
    }
}

TEST(Text, AtoiSpecialForms)
{
    char* end = nullptr;
    EXPECT_EQ(PAtoi("  -0x1F", &end, 0), -31);
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(PAtoi("010", nullptr, 0), 8);
    EXPECT_EQ(PAtoi("0b101", nullptr, 10), 5);
    char const* s = "123456789";
    EXPECT_EQ(PAtoi(s, &end, 16), 0x12345678);
    EXPECT_EQ(end, s + 8);
    EXPECT_EQ(PAtoi("- 12", nullptr, 10), -12);   // spaces after '-'
    EXPECT_EQ(PAtoi("+\t 12", nullptr, 10), 12);  // spaces and tabs after '+'
    EXPECT_EQ(PAtoi("\t\t7z", nullptr, 0), 7);
    EXPECT_EQ(PAtoi("zz", nullptr, 36), 35 * 36 + 35);
    EXPECT_EQ(PAtoi("4294967297", nullptr, 10), 1); // 32-bit wrap
    char const* cend = nullptr;
    EXPECT_EQ(PAtoi("99 bottles", &cend, 10), 99);
    EXPECT_STREQ(cend, " bottles");
    EXPECT_EQ(PAtoi("", &end, 0), 0);
    EXPECT_EQ(PAtoi(nullptr, &end, 0), 0);
    EXPECT_EQ(end, nullptr);
}

// Random texts in strtol's grammar; wherever both read the same digits (at
// most 8 hex digits, no "0b", value within 32 bits) value and end must agree.
TEST(Text, AtoiAgreesWithStrtol)
{
    std::mt19937 rng(99);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    int compared = 0;
    for (int iter = 0; iter < 50000; iter++) {
        std::string t;
        for (int k = pick(3); k > 0; k--)
            t += pick(2) ? ' ' : '\t';
        int sign = pick(3);
        if (sign == 1)
            t += '-';
        else if (sign == 2)
            t += '+';
        char const* prefixes[] = {"", "", "0", "0x", "0X", "00"};
        t += prefixes[pick(6)];
        char const* alphabet = "0123456789abcdefABCDEFxz";
        for (int k = pick(12); k > 0; k--)
            t += alphabet[pick(pick(2) ? 10 : 24)];
        if (pick(2))
            t += " ;-"[pick(3)];
        int radices[] = {0, 0, 0, 10, 16, 8};
        int radix = radices[pick(6)];
        char* e1 = nullptr;
        char* e2 = nullptr;
        errno = 0;
        long want = std::strtol(t.c_str(), &e1, radix);
        bool overflow = errno == ERANGE;
        int got = PAtoi(t.c_str(), &e2, radix);
        // Domain where they mean the same: strtol read digits, the value fits
        // 32 bits, hexadecimal within 8 digits.
        if (overflow || e1 == t.c_str() || want > 0xFFFFFFFFL || want < -0xFFFFFFFFL)
            continue;
        size_t p = t.find_first_not_of(" \t+-");
        bool hexPrefix = p + 1 < t.size() && t[p] == '0' && (t[p + 1] == 'x' || t[p + 1] == 'X');
        bool hex = radix == 16 || hexPrefix;
        if (hex && size_t(e1 - t.c_str()) > p + (hexPrefix ? 2 : 0) + 8)
            continue;
        bool binPrefix = p + 1 < t.size() && t[p] == '0' && (t[p + 1] == 'b' || t[p + 1] == 'B');
        if (binPrefix)
            continue; // this C library reads "0b" as 0 followed by a letter
        if (hexPrefix && radix != 0 && radix != 16)
            continue; // PAtoi takes the prefix with any radix
        if (hexPrefix && e1 == t.c_str() + p + 1)
            continue; // "0x" without hex digits: strtol reads only the 0
        ASSERT_EQ(got, int(uint32_t(want))) << '"' << t << "\" radix " << radix;
        ASSERT_EQ(e2 - t.c_str(), e1 - t.c_str()) << '"' << t << "\" radix " << radix;
        compared++;
    }
    EXPECT_GT(compared, 15000);
}

// Where these differ from the C library, or could step past a buffer.
TEST(Text, StringAndMemoryEdges)
{
    char b[32];
    std::memset(b, 'X', sizeof b);
    EXPECT_EQ(PStrCpyN(b, "ab", 5), b + 2);
    EXPECT_EQ(std::memcmp(b, "ab\0\0\0X", 6), 0); // zero fill to n
    std::memset(b, 'X', sizeof b);
    EXPECT_EQ(PStrCpyN(b, "abcdef", 3), b + 3);
    EXPECT_EQ(b[3], 'X'); // no terminator when the source is n bytes or more

    EXPECT_EQ(PStrCmp("a\xff", "a\x01"), -1 - 1); // bytes compared as signed chars
    EXPECT_EQ(PStrCaseCmp("HeLLo \xc9t\xc9", "hello \xe9T\xe9"), 0);
    EXPECT_GT(PStrCaseCmp("a\xe9", "a\x01"), 0); // mapped bytes are unsigned
    EXPECT_EQ(PStrCaseCmpN("A", "B", 0), 0);
    EXPECT_EQ(PStrRChr("banana", 0), nullptr);
    EXPECT_EQ(PStrStrI("banana", "nan"), 2);
    EXPECT_EQ(PStrStrI("banana", ""), -1);
    PStrCpy(b, "mIxEd \xe9\xf7\xff\xd7");
    EXPECT_STREQ(PStrUpper(b), "MIXED \xc9\xf7\xff\xd7");

    uint16_t w[6] = {1, 1, 1, 1, 1, 1};
    PMemSet16(w + 1, 0xBEEF, 0); // nothing at all for n = 0
    EXPECT_EQ(w[1], 1);
    PMemSet16(w + 1, 0xBEEF, 4);
    EXPECT_EQ(std::make_tuple(w[4], w[5]), std::make_tuple(0xBEEF, 1));
    char m[16] = "0123456789";
    PMemCopy(m + 2, m, 5); // overlapping, source below destination
    EXPECT_STREQ(m, "0101234789");
    PMemMove(m, m + 2, 5); // overlapping, source above destination
    EXPECT_STREQ(m, "0123434789");
    EXPECT_EQ(PMemCmp("ab\x80", "ab\x01", 3), 0x7F); // unsigned bytes
}

TEST(Utf8, SingleCharacters)
{
    char b[8];
    EXPECT_EQ(std::string(b, size_t(PUTF8Encode(b, 0x20AC))), "\xe2\x82\xac");
    EXPECT_EQ(std::string(b, size_t(PUTF8EncodeLatin1(b, 0xE9))), "\xc3\xa9");
    EXPECT_EQ(PUTF8EncodeLatin1(b, 'a'), 1);
    // A value that is no character is written as U+FFFD.
    EXPECT_EQ(PUTF8Encode(b, 0xFFFFFFFFu), 3);
    EXPECT_EQ(std::string(b, 3), "\xef\xbf\xbd");
    EXPECT_EQ(PUTF8Decode("\xe2\x82\xac"), 0x20ACu);
    EXPECT_EQ(PUTF8Decode("\x80"), 0xFFFDu); // a stray continuation byte is one character
    EXPECT_EQ(PUTF8Decode("\xff"), 0xFFFDu);
    EXPECT_EQ(PUTF8StrLen("a\x80" "b"), 3);
    EXPECT_EQ(PUTF8StrLen("\xf0\x9f\x98\x80!"), 2);
}

// A sequence cut short by the terminator is never read past: ASan guards the
// exact-size heap copies.
TEST(Utf8, SteppingStopsAtTheTerminator)
{
    for (char const* lit : {"\xc3", "a\xe2\x82", "\xf0\x9f\x98", "\xf0", "ab\xe2"}) {
        size_t len = std::strlen(lit);
        std::vector<char> heap(lit, lit + len + 1); // exactly the text and its 0
        char const* s = heap.data();
        EXPECT_EQ(PUTF8ByteLen(s), int(len));
        int chars = PUTF8StrLen(s);
        EXPECT_EQ(PUTF8StrOfs(s, unsigned(chars)), s + len);
        EXPECT_EQ(PUTF8StrOfs(s, 1000), s + len);
        EXPECT_EQ(PUTF8StrLen(s, 1000), chars);
        char const* p = s;
        int steps = 0;
        unsigned last = 1;
        while (*p) {
            last = PUTF8DecodeNext(p);
            steps++;
        }
        EXPECT_EQ(p, s + len);
        EXPECT_EQ(steps, chars);
        EXPECT_EQ(last, 0u); // the cut character decodes as 0
        wchar_t out[8];
        int n = 8;
        int used = PUTF8Decode(out, &n, s, -1);
        EXPECT_EQ(n, chars - 1); // the cut character is not decoded
        EXPECT_EQ(out[n], 0);
        EXPECT_LT(used, int(len));
    }
    EXPECT_EQ(PUTF8Decode(""), 0u);
    char const* empty = "";
    EXPECT_EQ(PUTF8DecodeNext(empty), 0u);
}

TEST(Utf8, BufferForms)
{
    wchar_t const* w = L"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ(PUTF8EncodedLength(w, -1), 1 + 2 + 3 + 4);
    EXPECT_EQ(PUTF8EncodedLength(w, 2), 3);
    char b[16];
    std::memset(b, 'X', sizeof b);
    int n = -1;
    EXPECT_EQ(PUTF8Encode(b, 16, w, &n), 10);
    EXPECT_EQ(std::make_tuple(n, b[10]), std::make_tuple(4, '\0'));
    std::memset(b, 'X', sizeof b);
    EXPECT_EQ(PUTF8Encode(b, 5, w, &n), 3); // the euro sign does not fit
    EXPECT_EQ(std::make_tuple(n, b[3]), std::make_tuple(2, '\0'));
    std::memset(b, 'X', sizeof b);
    EXPECT_EQ(PUTF8Encode(b, 3, w, 2), 3); // filled: no room for the terminator
    EXPECT_EQ(b[3], 'X');

    wchar_t out[8];
    wmemset(out, L'#', 8);
    n = 8;
    EXPECT_EQ(PUTF8Decode(out, &n, "a\xc3\xa9\xe2\x82\xac", 4), 3); // stops before the euro sign
    EXPECT_EQ(std::make_tuple(n, out[1], out[2]), std::make_tuple(2, L'\xe9', L'\0'));
    wmemset(out, L'#', 8);
    EXPECT_EQ(PUTF8Decode(out, 2, "abc", -1), 2); // full: no terminator
    EXPECT_EQ(out[2], L'#');

    std::memset(b, 'X', sizeof b);
    n = -1;
    EXPECT_EQ(PUTF8EncodeLatin1(b, 16, "caf\xe9", &n), 4);
    EXPECT_EQ(n, 4);
    EXPECT_STREQ(b, "caf\xe9");
    EXPECT_EQ(PUTF8EncodeLatin1(b, 2, "abc", -1), 2);
    EXPECT_EQ(PUTF8EncodeLatin1(b, 16, "abc", 10), 3); // stops at the terminator

    EXPECT_EQ(PUTF8StrLen("a\xe2\x82\xac" "b", 3), 1); // the euro sign is not wholly inside
    EXPECT_EQ(PUTF8StrLen("a\xe2\x82\xac" "b", 4), 2);
    char const* t = "x\xc3\xa9y";
    EXPECT_EQ(PUTF8StrOfs(t, 2), t + 3);
}

// Wide text written as UTF-8 and read back has as many characters as it had:
// a value that is no character goes out as U+FFFD, and every buffer form
// agrees on its size.
TEST(Utf8, WideTextKeepsItsLengthThroughAWriteAndARead)
{
    constexpr unsigned R = 0xFFFD;
    struct Case {
        std::vector<unsigned> in;
        std::vector<unsigned> out;
        int bytes;
    } const cases[] = {
        {{'A', 0xD800, 0x110000, 'B'}, {'A', R, R, 'B'}, 1 + 3 + 3 + 1},
        {{0xDBFF, 0xDC00, 0xDFFF}, {R, R, R}, 9}, // a pair is not combined
        {{0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}, {R, R, R}, 9}, // negative and huge wchar_t
        // The characters beside the gaps keep themselves.
        {{0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10FFFF}, {0xD7FF, 0xE000, R, 0xFFFF, 0x10FFFF}, 3 + 3 + 3 + 3 + 4},
    };
    for (Case const& c : cases) {
        std::vector<wchar_t> w(c.in.begin(), c.in.end());
        w.push_back(0);
        SCOPED_TRACE(c.in[0]);
        EXPECT_EQ(PUTF8EncodedLength(w.data(), -1), c.bytes);
        EXPECT_EQ(PUTF8EncodedLength(w.data(), int(c.in.size())), c.bytes);
        // Written into exactly the size the length asks for: nothing left out.
        std::vector<char> heap(size_t(c.bytes));
        int n = -1;
        EXPECT_EQ(PUTF8Encode(heap.data(), c.bytes, w.data(), &n), c.bytes);
        EXPECT_EQ(n, int(c.in.size()));
        heap.push_back(0);
        EXPECT_EQ(PUTF8StrLen(heap.data()), int(c.in.size()));
        wchar_t back[16];
        int m = 16;
        EXPECT_EQ(PUTF8Decode(back, &m, heap.data(), c.bytes), c.bytes);
        EXPECT_EQ(std::vector<unsigned>(back, back + m), c.out);
        // One byte short: the last character is left out whole.
        n = -1;
        EXPECT_EQ(PUTF8Encode(heap.data(), c.bytes - 1, w.data(), &n), PUTF8EncodedLength(w.data(), int(c.in.size()) - 1));
        EXPECT_EQ(n, int(c.in.size()) - 1);
        // Strings made from wide text size their buffer by the same count.
        PString str(w.data(), unsigned(c.in.size()));
        EXPECT_EQ(int(str.Length()), c.bytes);
        EXPECT_EQ(PUTF8StrLen(str.c_str()), int(c.in.size()));
    }
}

// --- Oracle: Python's codec -------------------------------------------------

std::vector<std::string> RunOracle(std::string const& requests)
{
    std::vector<std::string> lines;
    std::istringstream out(tooltest::RunPython(tooltest::PyScript("tests/engine/runtime/utf8_oracle.py"), requests).out);
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    return lines;
}

std::string Hex(std::string const& bytes)
{
    static char const* d = "0123456789abcdef";
    std::string h;
    for (unsigned char c : bytes) {
        h += d[c >> 4];
        h += d[c & 15];
    }
    return h;
}

unsigned RandomCodePoint(std::mt19937& rng)
{
    switch (rng() % 4) {
    case 0: return 1 + rng() % 0x7F;
    case 1: return 0x80 + rng() % (0x800 - 0x80);
    case 2: {
        unsigned c = 0x800 + rng() % (0x10000 - 0x800);
        return (c >= 0xD800 && c < 0xE000) ? c - 0x1000 : c; // no surrogates
    }
    default: return 0x10000 + rng() % (0x110000 - 0x10000);
    }
}

TEST(Utf8, AgreesWithPythonsCodec)
{
    std::mt19937 rng(2024);
    std::vector<std::vector<unsigned>> texts;
    std::vector<std::string> encoded;
    std::string requests;
    for (int i = 0; i < 400; i++) {
        std::vector<unsigned> cps(rng() % 12);
        for (unsigned& c : cps)
            c = RandomCodePoint(rng);
        std::vector<wchar_t> w(cps.begin(), cps.end());
        w.push_back(0);
        char buf[64];
        int n = -1;
        int bytes = PUTF8Encode(buf, sizeof buf, w.data(), &n);
        EXPECT_EQ(bytes, PUTF8EncodedLength(w.data(), -1));
        texts.push_back(cps);
        encoded.emplace_back(buf, size_t(bytes));
        requests += "E";
        for (unsigned c : cps) {
            char h[16];
            std::snprintf(h, sizeof h, " %x", c);
            requests += h;
        }
        requests += "\n";
    }
    // Decoding: the texts whole, and cut inside their last character.
    std::vector<std::string> decodeInputs;
    for (std::string const& e : encoded) {
        decodeInputs.push_back(e);
        if (!e.empty()) {
            size_t last = e.size() - 1;
            while (last > 0 && (uint8_t(e[last]) & 0xC0) == 0x80)
                last--;
            size_t charLen = e.size() - last;
            if (charLen > 1)
                decodeInputs.push_back(e.substr(0, last + 1 + rng() % (charLen - 1)));
        }
    }
    for (std::string const& d : decodeInputs)
        requests += "D " + Hex(d) + "\n";

    std::vector<std::string> answers = RunOracle(requests);
    ASSERT_EQ(answers.size(), encoded.size() + decodeInputs.size()) << "python3 did not answer";
    for (size_t i = 0; i < encoded.size(); i++)
        ASSERT_EQ(Hex(encoded[i]), answers[i]) << "text " << i;

    for (size_t i = 0; i < decodeInputs.size(); i++) {
        std::string const& in = decodeInputs[i];
        std::string want = answers[encoded.size() + i];
        std::vector<char> heap(in.begin(), in.end()); // exact size: ASan sees any over-read
        // Length-delimited form.
        wchar_t out[64];
        int n = 64;
        int used = PUTF8Decode(out, &n, heap.data(), int(heap.size()));
        std::string got;
        for (int k = 0; k < n; k++) {
            char h[16];
            std::snprintf(h, sizeof h, "%x ", unsigned(out[k]));
            got += h;
        }
        got += "/" + std::to_string(used);
        ASSERT_EQ(got, want) << "input " << Hex(in);
        // Terminated form, the cut sequence ending at the terminator.
        heap.push_back(0);
        int n2 = 64;
        EXPECT_EQ(PUTF8Decode(out, &n2, heap.data(), -1), used);
        EXPECT_EQ(n2, n);
        // The single-character decoder steps through the same characters.
        char const* p = heap.data();
        for (int k = 0; k < n; k++)
            ASSERT_EQ(PUTF8DecodeNext(p), unsigned(out[k]));
        EXPECT_EQ(p, heap.data() + used);
        EXPECT_EQ(PUTF8StrLen(heap.data(), used), n);
        EXPECT_EQ(PUTF8ByteLen(heap.data()), int(in.size()));
    }
}

// Bytes that do not form a character are one U+FFFD each, and decoding
// goes on at the next byte: every stepping routine agrees on the characters.
TEST(Utf8, MalformedBytesCostOneCharacterEach)
{
    constexpr unsigned R = 0xFFFD;
    struct Case {
        char const* text;
        std::vector<unsigned> chars;
    } const cases[] = {
        {"\xe0" "AB-HOST", {R, 'A', 'B', '-', 'H', 'O', 'S', 'T'}}, // a lead byte without its continuation
        {"J\xe4ger", {'J', R, 'g', 'e', 'r'}},                       // Latin-1
        {"J\xf6rg", {'J', R, 'r', 'g'}},
        {"\xe2\x82" "A", {R, R, 'A'}},                               // the third byte missing
        {"\xc0\xaf\xc1\xbf", {R, R, R, R}},                           // overlong two-byte forms
        {"\xe0\x80\xaf", {R, R, R}},                                 // overlong three-byte
        {"\xf0\x8f\xbf\xbf", {R, R, R, R}},                           // overlong four-byte
        {"\xed\xa0\x80\xed\xbf\xbf", {R, R, R, R, R, R}},              // surrogates
        {"\xf4\x90\x80\x80\xf5\x80", {R, R, R, R, R, R}},              // past U+10FFFF
        {"\x80\xbf\xf8\xff", {R, R, R, R}},                           // bytes that start nothing
        // The smallest and largest of each form are characters.
        {"\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80", {0x80, 0x7FF, 0x800, 0xD7FF, 0xE000}},
        {"\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", {0x10000, 0x10FFFF}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(Hex(c.text));
        size_t len = std::strlen(c.text);
        std::vector<char> heap(c.text, c.text + len + 1);
        char const* s = heap.data();
        std::vector<unsigned> stepped;
        for (char const* p = s; *p;)
            stepped.push_back(PUTF8DecodeNext(p));
        EXPECT_EQ(stepped, c.chars);
        EXPECT_EQ(PUTF8Decode(s), c.chars[0]);
        wchar_t out[16];
        for (int limit : {-1, int(len)}) {
            int n = 16;
            EXPECT_EQ(PUTF8Decode(out, &n, s, limit), int(len));
            EXPECT_EQ(std::vector<unsigned>(out, out + n), c.chars);
        }
        EXPECT_EQ(PUTF8StrLen(s), int(c.chars.size()));
        EXPECT_EQ(PUTF8StrLen(s, int(len)), int(c.chars.size()));
        EXPECT_EQ(PUTF8ByteLen(s), int(len));
        EXPECT_EQ(PUTF8StrOfs(s, unsigned(c.chars.size())), s + len);
    }
}

} // namespace
