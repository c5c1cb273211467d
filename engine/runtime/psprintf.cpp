// The engine's printf-style formatter.
#include "engine/runtime/psprintf.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "engine/runtime/ptext.h"

namespace {

// Where the output goes: a caller buffer with or without a limit, or a block
// that grows as needed.
class Output {
public:
    // limit: bytes that may be stored before the terminator.
    Output(char* buf, size_t limit) : buf_(buf), limit_(limit) {}

    // A growing block of `initial` bytes plus the terminator.
    static Output Growing(size_t initial)
    {
        Output o(new char[initial + 1], size_t(INT_MAX) - 1);
        o.cap_ = initial;
        o.growing_ = true;
        o.failed_ = o.buf_ == nullptr;
        return o;
    }

    void Put(char c)
    {
        if (Room(1))
            buf_[pos_++] = c;
    }

    void Put(char const* s, size_t n)
    {
        n = Room(n);
        if (n) {
            std::memcpy(buf_ + pos_, s, n);
            pos_ += n;
        }
    }

    void Fill(char c, size_t n)
    {
        n = Room(n);
        if (n) {
            std::memset(buf_ + pos_, c, n);
            pos_ += n;
        }
    }

    size_t Pos() const { return pos_; }
    bool Failed() const { return failed_; }
    char* Buffer() const { return buf_; }
    void Terminate() { buf_[pos_] = 0; }
    void Release()
    {
        delete[] buf_;
        buf_ = nullptr;
    }

private:
    // How many of n bytes can be stored now, growing the block if needed.
    size_t Room(size_t n)
    {
        if (failed_)
            return 0;
        if (n > limit_ - pos_)
            n = limit_ - pos_;
        if (growing_ && pos_ + n > cap_ && !Grow(pos_ + n))
            return 0;
        return n;
    }

    bool Grow(size_t need)
    {
        size_t cap = cap_ * 2 + 16;
        if (cap < need)
            cap = need;
        if (cap > limit_)
            cap = limit_;
        char* nb = new char[cap + 1];
        if (!nb) {
            failed_ = true;
            return false;
        }
        std::memcpy(nb, buf_, pos_);
        delete[] buf_;
        buf_ = nb;
        cap_ = cap;
        return true;
    }

    char* buf_;
    size_t pos_ = 0;
    size_t limit_;
    size_t cap_ = 0;
    bool growing_ = false;
    bool failed_ = false;
};

struct Conversion {
    bool left = false;
    bool alt = false;
    bool zero = false;
    int width = 0;
    int precision = -1;
    bool wide = false;  // 'l': wide strings
    bool big = false;   // l, ll, j, z, t: 64-bit integers
    bool longD = false; // 'L': long double reals
};

// Emits a converted text of `len` bytes padded to the field width; `body`
// writes the text itself.
template <class Body>
void Field(Output& out, Conversion const& cv, size_t len, Body body)
{
    size_t pad = size_t(cv.width) > len ? size_t(cv.width) - len : 0;
    char padChar = cv.zero ? '0' : ' ';
    if (!cv.left)
        out.Fill(padChar, pad);
    body();
    if (cv.left)
        out.Fill(padChar, pad);
}

void Text(Output& out, Conversion const& cv, char const* s, size_t len)
{
    Field(out, cv, len, [&] { out.Put(s, len); });
}

// An integer conversion: [prefix][zeros][sign][digits]. A precision zero-pads
// the number (sign included, the prefix not) to that many characters and then
// stands in for the width.
void Integer(Output& out, Conversion cv, uint64_t mag, bool negative, unsigned radix,
             char const* digits, char const* prefix)
{
    char tmp[64];
    char* end = tmp + sizeof tmp;
    char* p = end;
    if (!(cv.precision == 0 && mag == 0)) {
        do {
            *--p = digits[mag % radix];
            mag /= radix;
        } while (mag);
    }
    size_t nd = size_t(end - p);
    size_t body = nd + (negative ? 1 : 0);
    size_t zeros = 0;
    if (cv.precision >= 0) {
        if (size_t(cv.precision) > body)
            zeros = size_t(cv.precision) - body;
        cv.width = 0;
    }
    bool octalPrefix = prefix && prefix[0] == '0' && !prefix[1];
    if (octalPrefix && (zeros || (nd && *p == '0')))
        prefix = nullptr; // octal that already begins with 0
    size_t np = prefix ? std::strlen(prefix) : 0;
    Field(out, cv, np + zeros + body, [&] {
        out.Put(prefix, np);
        out.Fill('0', zeros);
        if (negative)
            out.Put('-');
        out.Put(p, nd);
    });
}

// A fixed-point value printed by PFxtoa, the decimals kept within the buffer.
void Fixed(Output& out, Conversion const& cv, int v, int decimals, int fracBits)
{
    char tmp[160];
    if (decimals > 100)
        decimals = 100;
    char* end = PFxtoa(tmp, v, decimals, fracBits);
    Text(out, cv, tmp, size_t(end - tmp));
}

// Reads a run of decimal digits, saturating at INT_MAX.
int Digits(char const*& f)
{
    int64_t v = 0;
    while (*f >= '0' && *f <= '9') {
        v = v * 10 + (*f++ - '0');
        if (v > INT_MAX)
            v = INT_MAX;
    }
    return int(v);
}

void Format(Output& out, char const* f, va_list args)
{
    while (*f) {
        if (*f != '%') {
            char const* run = f;
            while (*f && *f != '%')
                f++;
            out.Put(run, size_t(f - run));
            continue;
        }
        char const* start = f++;
        Conversion cv;
        for (bool flags = true; flags;) {
            switch (*f) {
            case '-': cv.left = true; f++; break;
            case '#': cv.alt = true; f++; break;
            case '+':
            case ' ': f++; break;
            case '0':
                if (cv.zero) {
                    flags = false; // a second '0' begins the width
                } else {
                    cv.zero = true;
                    f++;
                }
                break;
            default: flags = false; break;
            }
        }
        if (*f == '*') {
            f++;
            int w = va_arg(args, int);
            if (w < 0) {
                cv.left = true;
                w = w == INT_MIN ? INT_MAX : -w;
            }
            cv.width = w;
        } else {
            cv.width = Digits(f);
        }
        if (*f == '.') {
            f++;
            if (*f == '*') {
                f++;
                int p = va_arg(args, int);
                cv.precision = p < 0 ? -1 : p;
            } else {
                cv.precision = Digits(f);
            }
        }
        for (bool length = true; length;) {
            switch (*f) {
            case 'h': f++; break;
            case 'l': cv.wide = true; cv.big = true; f++; break;
            case 'j':
            case 'z':
            case 't': cv.big = true; f++; break;
            case 'L': cv.longD = true; f++; break;
            default: length = false; break;
            }
        }
        char conv = *f;
        if (!conv) {
            out.Put(start, size_t(f - start)); // an unfinished conversion
            break;
        }
        f++;
        switch (conv) {
        case '%':
            out.Put('%');
            break;
        case 'd':
        case 'i': {
            int64_t v = cv.big ? int64_t(va_arg(args, long long)) : int64_t(va_arg(args, int));
            uint64_t mag = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
            Integer(out, cv, mag, v < 0, 10, PHexDigs, nullptr);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o':
        case 'O': {
            uint64_t v = cv.big ? uint64_t(va_arg(args, unsigned long long)) : uint64_t(va_arg(args, unsigned));
            unsigned radix = conv == 'u' ? 10 : (conv == 'o' || conv == 'O') ? 8 : 16;
            char const* prefix = nullptr;
            if (cv.alt)
                prefix = radix == 8 ? "0" : radix == 16 ? (conv == 'X' ? "0X" : "0x") : nullptr;
            Integer(out, cv, v, false, radix, conv == 'X' ? PHexDigsU : PHexDigs, prefix);
            break;
        }
        case 'p': {
            uintptr_t v = reinterpret_cast<uintptr_t>(va_arg(args, void*));
            Integer(out, cv, uint64_t(v), false, 16, PHexDigs, "0x");
            break;
        }
        case 'c': {
            char c = char(va_arg(args, int));
            Text(out, cv, &c, 1);
            break;
        }
        case 's':
        case 'S':
            if (conv == 'S' || cv.wide) {
                wchar_t const* w = va_arg(args, wchar_t const*);
                if (!w)
                    w = L"(null)";
                size_t len = 0;
                while (w[len] && (cv.precision < 0 || len < size_t(cv.precision)))
                    len++;
                Field(out, cv, len, [&] {
                    for (size_t k = 0; k < len; k++)
                        out.Put(char(w[k]));
                });
            } else {
                char const* s = va_arg(args, char const*);
                if (!s)
                    s = "(null)";
                size_t len = cv.precision >= 0 ? strnlen(s, size_t(cv.precision)) : std::strlen(s);
                Text(out, cv, s, len);
            }
            break;
        case 'f':
        case 'g':
        case 'G': {
            double d = cv.longD ? double(va_arg(args, long double)) : va_arg(args, double);
            Fixed(out, cv, double2fix(d), cv.precision < 0 ? 6 : cv.precision, 16);
            break;
        }
        case 'Q': {
            int v = va_arg(args, int);
            Fixed(out, cv, v, cv.precision < 0 ? 6 : cv.precision, 16);
            break;
        }
        case 'q': {
            int v = va_arg(args, int);
            int bits = cv.precision < 0 ? 16 : cv.precision > 31 ? 31 : cv.precision;
            bool fraction = (uint32_t(v) & ((uint32_t(1) << bits) - 1)) != 0;
            Fixed(out, cv, v, fraction ? 6 : 0, bits);
            break;
        }
        case 'n':
            if (cv.big) {
                if (long long* p = va_arg(args, long long*))
                    *p = (long long)out.Pos();
            } else if (int* p = va_arg(args, int*)) {
                *p = int(out.Pos());
            }
            break;
        default:
            out.Put(start, size_t(f - start)); // copied as it stands
            break;
        }
    }
}

} // namespace

char* _psprintf(char* dst, int size, char const* format, va_list args, unsigned* length)
{
    if (!format)
        format = "";
    if (!dst) {
        if (length)
            *length = 0;
        if (!length)
            return nullptr;
        size_t initial = (2 * std::strlen(format) + 15) & ~size_t(15);
        if (initial > size_t(INT_MAX) - 2)
            initial = size_t(INT_MAX) - 2;
        Output out = Output::Growing(initial);
        if (!out.Failed())
            Format(out, format, args);
        if (out.Failed()) {
            out.Release();
            return nullptr;
        }
        out.Terminate();
        *length = unsigned(out.Pos());
        return out.Buffer();
    }
    if (size == 0) {
        if (length)
            *length = 0;
        return dst;
    }
    Output out(dst, size < 0 ? size_t(PTRDIFF_MAX) : size_t(size) - 1);
    Format(out, format, args);
    out.Terminate();
    if (length)
        *length = unsigned(out.Pos());
    return dst;
}

char* PSprintfv(char* dst, char const* format, va_list args)
{
    return _psprintf(dst, -1, format, args, nullptr);
}

char* PSprintf(char* dst, char const* format, ...)
{
    va_list a;
    va_start(a, format);
    _psprintf(dst, -1, format, a, nullptr);
    va_end(a);
    return dst;
}

char* PSnprintfv(char* dst, int size, char const* format, va_list args)
{
    if (size <= 0)
        return dst;
    return _psprintf(dst, size, format, args, nullptr);
}

char* PSnprintf(char* dst, int size, char const* format, ...)
{
    va_list a;
    va_start(a, format);
    PSnprintfv(dst, size, format, a);
    va_end(a);
    return dst;
}
