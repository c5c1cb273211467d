// The engine formatter: its own conversions, its documented differences from
// the C library, bounding, the allocating mode, and an oracle comparison with
// glibc's snprintf where the two are meant to agree.
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/ptext.h"

namespace {

template <class... A>
std::string F(char const* fmt, A... a)
{
    char buf[512];
    std::memset(buf, 0x55, sizeof buf);
    PSprintf(buf, fmt, a...);
    return buf;
}

// The documented differences from the C library and what the oracle below
// does not draw (* widths, 64-bit lengths other than ll, h and hh, %O).
TEST(Format, WidthFlagsAndIntegers)
{
    EXPECT_EQ(F("[%05d]", -5), "[000-5]"); // padding goes in front of the sign
    EXPECT_EQ(F("[%-05d]", 7), "[70000]");
    EXPECT_EQ(F("[%005d]", 7), "[00007]"); // a second 0 begins the width
    EXPECT_EQ(F("[%*d]", 4, 7), "[   7]");
    EXPECT_EQ(F("[%*d]", -4, 7), "[7   ]");
    EXPECT_EQ(F("[%.3d] [%8.3d] [%.3d]", 7, 7, -5), "[007] [007] [0-5]");
    EXPECT_EQ(F("%+d % d", 5, 5), "5 5");
    EXPECT_EQ(F("%O %#o", 8, 0), "10 0");
    EXPECT_EQ(F("%ld %zu %lx", -5000000000L, size_t(1) << 33, 0xFFFFFFFFFFul),
              "-5000000000 8589934592 ffffffffff");
    EXPECT_EQ(F("%hd %hhu", 70000, 300), "70000 300"); // h and hh are ignored
}

TEST(Format, PointersAre64BitClean)
{
    void* p = reinterpret_cast<void*>(uintptr_t(0x123456789ABCull));
    EXPECT_EQ(F("%p", p), "0x123456789abc");
    EXPECT_EQ(F("%p", static_cast<void*>(nullptr)), "0x0");
    EXPECT_EQ(F("[%16p]", p), "[  0x123456789abc]");
}

TEST(Format, TextConversions)
{
    EXPECT_EQ(F("%s", static_cast<char const*>(nullptr)), "(null)");
    EXPECT_EQ(F("[%.3s|%5s|%-5s]", "abcdef", "ab", "ab"), "[abc|   ab|ab   ]");
    EXPECT_EQ(F("%c%c%c", 'a', 'b', 0x163), "abc");
    EXPECT_EQ(F("[%S|%ls|%.2S]", L"wide", L"t\u00e9xt", L"abc"), "[wide|t\xe9xt|ab]");
    EXPECT_EQ(F("%S", static_cast<wchar_t const*>(nullptr)), "(null)");
    EXPECT_EQ(F("100%% %y %"), "100% %y %");
    EXPECT_EQ(F("%5"), "%5");
    int n1 = -1, n2 = -1;
    EXPECT_EQ(F("ab%ncde%n!", &n1, &n2), "abcde!");
    EXPECT_EQ(n1, 2);
    EXPECT_EQ(n2, 5);
}

TEST(Format, RealsGoThroughFixedPoint)
{
    EXPECT_EQ(F("%f", 1.5), "1.500000");
    EXPECT_EQ(F("%.2f", 2.25), "2.25");
    EXPECT_EQ(F("%f", 0.0), "0.000015"); // zero converts to the 16.16 value 1
    EXPECT_EQ(F("%f", -0.5), "-0.500000");
    EXPECT_EQ(F("%g %G", 3.0, -2.0), "3.000000 -2.000000");
    EXPECT_EQ(F("%.0f %.0f %.0f", 2.5, -2.5, 0.4), "3 -2 0");
    EXPECT_EQ(F("%Lf", static_cast<long double>(1.25)), "1.250000");
    EXPECT_EQ(F("%Q", 0x28000), "2.500000");
    EXPECT_EQ(F("%.1Q", 0x1FFFF), "2.0"); // the rounding carries into the integer part
    EXPECT_EQ(F("%q %q", 0x30000, -0x30000), "3 -3");
    EXPECT_EQ(F("%.8q", 0x180), "1.500000");
    EXPECT_EQ(F("[%8.2Q]", 0x18000), "[    1.50]");
}

TEST(Format, FixedPointAndDoubleConversion)
{
    char b[64];
    EXPECT_EQ(std::string(b, PFxtoa(b, 0x18000, 6, 16)), "1.500000");
    EXPECT_EQ(std::string(b, PFxtoa(b, -0x8000, 6, 16)), "-0.500000");
    EXPECT_EQ(std::string(b, PFxtoa(b, 0x10000, 0, 16)), "1");
    EXPECT_EQ(std::string(b, PFxtoa(b, 0x7FFFFFFF, 0, 16)), "32768");
    EXPECT_EQ(std::string(b, PFxtoa(b, INT_MIN, 3, 16)), "-32768.000");
    EXPECT_EQ(std::string(b, PFxtoa(b, 0x1, -1, 16)), "0.0000152587890625"); // exact
    EXPECT_EQ(double2fix(1.0), 0x10000);
    EXPECT_EQ(double2fix(-1.5), -0x18000);
    EXPECT_EQ(double2fix(0.0), 1);
    EXPECT_EQ(double2fix(1e-30), 1);
    EXPECT_EQ(double2fix(32767.5), 0x7FFF8000);
    EXPECT_EQ(double2fix(65536.0 * 65536.0 * 65536.0), 0); // every bit above 16.16 lost
    int words[2] = {0, 0x3FF00000}; // 1.0, low word first
    EXPECT_EQ(double2fix(words), 0x10000);
}

TEST(Format, BoundedFormCutsEverything)
{
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    PSnprintf(buf, 8, "literal text %d", 12345);
    EXPECT_STREQ(buf, "literal");
    EXPECT_EQ(buf[8], 'Z');
    std::memset(buf, 'Z', sizeof buf);
    PSnprintf(buf, 5, "%s", "abcdefgh");
    EXPECT_STREQ(buf, "abcd");
    std::memset(buf, 'Z', sizeof buf);
    PSnprintf(buf, 6, "[%20d]", 1);
    EXPECT_STREQ(buf, "[    ");
    std::memset(buf, 'Z', sizeof buf);
    PSnprintf(buf, 1, "abc");
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 'Z');
    PSnprintf(buf, 0, "abc");
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 'Z');
    // A width far beyond the buffer is cut without writing past it.
    PSnprintf(buf, 16, "%2000000000d", 3);
    EXPECT_EQ(std::strlen(buf), 15u);
    // The log formats into its fixed buffer through the bounded form.
    std::string longText(5000, 'L');
    _PDebug("%s%s\n", longText.c_str(), std::string(3000, 'M').c_str());
}

char* AllocFormat(unsigned* len, char const* fmt, ...)
{
    va_list a;
    va_start(a, fmt);
    char* r = _psprintf(nullptr, 0, fmt, a, len);
    va_end(a);
    return r;
}

TEST(Format, AllocatingModeGrowsAsNeeded)
{
    unsigned len = 99;
    char* r = AllocFormat(&len, "");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_STREQ(r, "");
    delete[] r;
    std::string big(5000, 'x');
    r = AllocFormat(&len, "<%s|%300d>", big.c_str(), 5);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(len, 5000u + 303u);
    EXPECT_EQ(std::strlen(r), len);
    EXPECT_EQ(r[len - 2], '5');
    delete[] r;
    va_list none{};
    EXPECT_EQ(_psprintf(nullptr, 0, "x", none, nullptr), nullptr);
}

// --- Oracle: glibc snprintf, for the conversions that share its meaning ---

std::string Glibc(char const* fmt, long long v, bool isString, char const* s)
{
    char buf[256];
    if (isString)
        std::snprintf(buf, sizeof buf, fmt, s);
    else if (std::strchr(fmt, 'l'))
        std::snprintf(buf, sizeof buf, fmt, v);
    else
        std::snprintf(buf, sizeof buf, fmt, int(v));
    return buf;
}

std::string Ours(char const* fmt, long long v, bool isString, char const* s, int size = 256)
{
    char buf[256];
    if (isString)
        PSnprintf(buf, size, fmt, s);
    else if (std::strchr(fmt, 'l'))
        PSnprintf(buf, size, fmt, v);
    else
        PSnprintf(buf, size, fmt, int(v));
    return buf;
}

TEST(Format, AgreesWithGlibcOutsideTheDocumentedDifferences)
{
    std::mt19937 rng(12345);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    char const* texts[] = {"", "a", "hello", "a longer text with spaces", "tab\there", "\xc3\xa9t\xc3\xa9"};
    int checked = 0;
    for (int iter = 0; iter < 20000; iter++) {
        char conv = "diuxXocsl"[pick(9)];
        bool big = conv == 'l';
        if (big)
            conv = "diuxXo"[pick(6)];
        std::string fmt = "<%";
        bool minus = pick(3) == 0, zero = pick(3) == 0, alt = pick(4) == 0;
        int width = pick(3) ? pick(25) : -1;
        int prec = pick(3) == 0 ? pick(12) : -1;
        long long v;
        switch (pick(5)) {
        case 0: v = pick(10); break;
        case 1: v = int(rng()); break;
        case 2: v = big ? (long long)(uint64_t(rng()) << 32 | rng()) : int(rng() % 2000) - 1000; break;
        case 3: v = big ? LLONG_MIN : INT_MIN; break;
        default: v = -int(pick(100000)); break;
        }
        bool isSigned = conv == 'd' || conv == 'i';
        bool unsignedConv = conv == 'u' || conv == 'x' || conv == 'X' || conv == 'o';
        if (unsignedConv && !big)
            v = (long long)(unsigned)v;
        // The documented differences: zero padding in front of the sign and
        // the prefix; '0' with '-'; a precision standing in for the width;
        // octal/hex prefixes of 0; precisions on %c.
        if (minus)
            zero = false;
        if (zero && ((isSigned && v < 0) || alt))
            zero = false;
        if (prec >= 0 && (conv == 'c' || (isSigned && v < 0)))
            prec = -1;
        if (prec >= 0 && conv != 's')
            width = -1;
        if (alt && (conv == 'o' || conv == 'x' || conv == 'X') && v == 0)
            alt = false;
        if (alt && conv != 'o' && conv != 'x' && conv != 'X')
            alt = false;
        if (zero && (conv == 's' || conv == 'c'))
            zero = false; // glibc leaves '0' with %s undefined
        if (conv == 'c')
            v = 'A' + pick(26);
        if (minus)
            fmt += '-';
        if (zero)
            fmt += '0';
        if (alt)
            fmt += '#';
        if (width >= 1)
            fmt += std::to_string(width);
        if (prec >= 0) {
            fmt += '.';
            fmt += std::to_string(prec);
        }
        if (big && conv != 's' && conv != 'c')
            fmt += "ll";
        fmt += conv;
        fmt += ">";
        bool isString = conv == 's';
        char const* s = texts[pick(6)];
        std::string want = Glibc(fmt.c_str(), v, isString, s);
        ASSERT_EQ(Ours(fmt.c_str(), v, isString, s), want) << fmt << " v=" << v;
        // The bounded form cuts where snprintf cuts.
        int size = pick(int(want.size()) + 2) + 1;
        ASSERT_EQ(Ours(fmt.c_str(), v, isString, s, size), want.substr(0, size_t(size - 1))) << fmt << " size=" << size;
        checked++;
    }
    EXPECT_EQ(checked, 20000);
}

} // namespace
