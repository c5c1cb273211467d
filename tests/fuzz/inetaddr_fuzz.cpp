// Fuzz target: dotted-address text. PInetAddr must accept exactly what a
// plain reference reading accepts (four parts of 0..255, decimal digits
// without leading zeros, separated by '.', nothing else) with the same
// value, and what it accepts must print back as at most 15 characters that
// parse to the same address.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/net/inetaddr.h"

namespace {

// The reference reading: network order, first part in the lowest byte.
bool Reference(std::string const& text, unsigned* out)
{
    unsigned result = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        size_t end = text.find('.', at);
        if ((part < 3) != (end != std::string::npos))
            return false;
        std::string digits = text.substr(at, part < 3 ? end - at : std::string::npos);
        if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0'))
            return false;
        unsigned v = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + unsigned(c - '0');
        }
        if (v > 255)
            return false;
        result |= v << (8 * part);
        at = end + 1;
    }
    *out = result;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The C string ends at the first zero byte, as it would for a caller.
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));
    unsigned a = PInetAddr(text.c_str());
    unsigned want = 0;
    bool accepted = Reference(text, &want) && want != 0xFFFFFFFFu;
    if (accepted != (a != 0xFFFFFFFFu) || (accepted && a != want))
        __builtin_trap();
    unsigned b = 0;
    if (PInetAton(b, text.c_str()) != accepted || (accepted && b != a))
        __builtin_trap();
    if (!accepted)
        return 0;
    char out[16];
    char* end = PInetNtoa(a, out);
    if (end - out > 15 || std::strlen(out) != size_t(end - out) || PInetAddr(out) != a)
        __builtin_trap();
    return 0;
}
