#include "engine/runtime/pstring.h"

#include <cstring>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/ptext.h"

namespace {

constexpr unsigned kMax = PString::kMaxLength;

bool TooLong(uint64_t n)
{
    if (n <= kMax)
        return false;
    _PDebug("PString: a text of %u bytes exceeds the %u-byte limit\n", unsigned(n > 0xFFFFFFFFu ? 0xFFFFFFFFu : n), kMax);
    return true;
}

unsigned ClampCapacity(uint64_t c)
{
    return c > kMax ? kMax : unsigned(c);
}

// A bare buffer of the given capacity holding nothing yet; null on failure.
PString::StringRef* NewEmpty(unsigned capacity)
{
    auto* r = new PString::StringRef;
    if (!r)
        return nullptr;
    r->data = new char[capacity + 1];
    if (!r->data) {
        delete r;
        return nullptr;
    }
    r->data[0] = 0;
    r->length = 0;
    r->capacity = uint16_t(capacity);
    r->references = 1;
    return r;
}

// Moves the buffer's bytes into a new block of the given capacity; false
// (buffer unchanged) when memory is exhausted.
bool Reallocate(PString::StringRef* r, unsigned capacity)
{
    char* d = new char[capacity + 1];
    if (!d)
        return false;
    std::memcpy(d, r->data, r->length);
    d[r->length] = 0;
    delete[] r->data;
    r->data = d;
    r->capacity = uint16_t(capacity);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// The shared buffer

PString::StringRef* PString::StringRef::New(char const* p, unsigned n, unsigned extra)
{
    if (TooLong(n))
        return nullptr;
    StringRef* r = NewEmpty(ClampCapacity(uint64_t(n) + extra));
    if (!r)
        return nullptr;
    if (n)
        std::memcpy(r->data, p, n);
    r->data[n] = 0;
    r->length = uint16_t(n);
    return r;
}

PString::StringRef* PString::StringRef::New(wchar_t const* w, unsigned n, unsigned extra)
{
    if (TooLong(n))
        return nullptr;
    int len = PUTF8EncodedLength(w, int(n));
    if (TooLong(unsigned(len)))
        return nullptr;
    StringRef* r = NewEmpty(ClampCapacity(uint64_t(len) + extra));
    if (!r)
        return nullptr;
    PUTF8Encode(r->data, len, w, int(n));
    r->data[len] = 0;
    r->length = uint16_t(len);
    return r;
}

void PString::StringRef::ref(StringRef* r)
{
    if (r)
        r->references++;
}

void PString::StringRef::unref(StringRef* r)
{
    if (r && --r->references == 0) {
        delete[] r->data;
        delete r;
    }
}

PString::StringRef* PString::StringRef::append(StringRef* r, char const* p, unsigned n)
{
    if (n == 0)
        return r;
    if (!r)
        return New(p, n, 0);
    if (TooLong(uint64_t(r->length) + n))
        return nullptr;
    if (r->length + n > r->capacity) {
        // Grow by the bytes needed plus the old length rounded up to 32.
        unsigned grown = (unsigned(r->length) + 31) & ~31u;
        unsigned capacity = ClampCapacity(uint64_t(r->length) + n + grown);
        // p may lie inside the old block: copy it before the block goes.
        char* d = new char[capacity + 1];
        if (!d)
            return nullptr;
        std::memcpy(d, r->data, r->length);
        std::memcpy(d + r->length, p, n);
        delete[] r->data;
        r->data = d;
        r->capacity = uint16_t(capacity);
    } else {
        std::memmove(r->data + r->length, p, n);
    }
    r->length = uint16_t(r->length + n);
    r->data[r->length] = 0;
    return r;
}

PString::StringRef* PString::StringRef::append(StringRef* r, char c)
{
    if (!r)
        return New(&c, 1, 7);
    if (r->length == r->capacity) {
        if (TooLong(uint64_t(r->length) + 1))
            return nullptr;
        // The next multiple of 8 above the capacity.
        if (!Reallocate(r, ClampCapacity((uint64_t(r->capacity) + 8) & ~uint64_t(7))))
            return nullptr;
    }
    r->data[r->length++] = c;
    r->data[r->length] = 0;
    return r;
}

// ---------------------------------------------------------------------------
// Construction and assignment

PString::PString(char const* s)
{
    if (s)
        Assign(s, unsigned(std::strlen(s)));
}

PString::PString(char c)
{
    buffer_ = StringRef::New(&c, 1, 0);
    length_ = buffer_ ? 1 : 0;
}

PString::PString(wchar_t const* w)
{
    if (w)
        Assign(w, unsigned(PStrLenW(w)));
}

PString::PString(wchar_t const* w, unsigned n)
{
    if (w)
        Assign(w, n);
}

PString::PString(PString const& o) : buffer_(o.buffer_), offset_(o.offset_), length_(o.length_)
{
    StringRef::ref(buffer_);
}

PString::~PString()
{
    StringRef::unref(buffer_);
}

PString& PString::operator=(PString const& o)
{
    if (this != &o)
        Assign(o.buffer_, o.length_, o.offset_);
    return *this;
}

PString& PString::operator=(char const* s)
{
    Assign(s, s ? unsigned(std::strlen(s)) : 0);
    return *this;
}

PString& PString::operator=(PCString const& s)
{
    Assign(s.str, s.str ? s.len : 0);
    return *this;
}

PString& PString::operator=(char c)
{
    if (StringRef* r = StringRef::New(&c, 1, 0)) {
        Take(r);
        length_ = 1;
    }
    return *this;
}

void PString::Take(StringRef* r) const
{
    StringRef::unref(buffer_);
    buffer_ = r;
    offset_ = 0;
}

void PString::Assign(StringRef* r, unsigned length, unsigned offset)
{
    if (r != buffer_) {
        StringRef::ref(r);
        StringRef::unref(buffer_);
        buffer_ = r;
    }
    unsigned total = r ? r->length : 0;
    if (offset > total)
        offset = total;
    if (length > total - offset)
        length = total - offset;
    offset_ = uint16_t(offset);
    length_ = uint16_t(length);
}

void PString::Assign(char const* p, unsigned n)
{
    if (n == 0) {
        Clear();
        return;
    }
    if (TooLong(n))
        return;
    if (buffer_ && buffer_->references == 1 && n <= buffer_->capacity) {
        std::memmove(buffer_->data, p, n); // p may lie inside this buffer
        buffer_->data[n] = 0;
        buffer_->length = uint16_t(n);
        offset_ = 0;
    } else {
        StringRef* r = StringRef::New(p, n, 0);
        if (!r)
            return;
        Take(r);
    }
    length_ = uint16_t(n);
}

void PString::Assign(wchar_t const* w, unsigned n)
{
    if (TooLong(n))
        return;
    int len = PUTF8EncodedLength(w, int(n));
    if (len == 0) {
        Clear();
        return;
    }
    if (TooLong(unsigned(len)))
        return;
    if (buffer_ && buffer_->references == 1 && unsigned(len) <= buffer_->capacity) {
        PUTF8Encode(buffer_->data, len, w, int(n));
        buffer_->data[len] = 0;
        buffer_->length = uint16_t(len);
        offset_ = 0;
    } else {
        StringRef* r = StringRef::New(w, n, 0);
        if (!r)
            return;
        Take(r);
    }
    length_ = uint16_t(len);
}

// ---------------------------------------------------------------------------
// Appending

void PString::Append(char const* p, unsigned n)
{
    if (n == 0)
        return;
    if (TooLong(uint64_t(length_) + n))
        return;
    if (!buffer_) {
        StringRef* r = StringRef::New(p, n, 0);
        if (!r)
            return;
        Take(r);
        length_ = uint16_t(n);
        return;
    }
    if (offset_ + length_ == buffer_->length) {
        // The view ends the buffer: extend it in place; views of others end
        // earlier and do not see the new bytes.
        if (!StringRef::append(buffer_, p, n))
            return;
    } else {
        StringRef* r = StringRef::New(buffer_->data + offset_, length_, n);
        if (!r)
            return;
        StringRef::append(r, p, n); // fits the capacity just made
        Take(r);
    }
    length_ = uint16_t(length_ + n);
}

void PString::Append(char const* s)
{
    if (s)
        Append(s, unsigned(std::strlen(s)));
}

void PString::Append(PString const& s)
{
    if (s.length_)
        Append(s.buffer_->data + s.offset_, s.length_);
}

void PString::Append(char c)
{
    if (TooLong(uint64_t(length_) + 1))
        return;
    if (!buffer_) {
        buffer_ = StringRef::New(&c, 1, 0);
        offset_ = 0;
        length_ = buffer_ ? 1 : 0;
        return;
    }
    if (offset_ + length_ == buffer_->length) {
        if (!StringRef::append(buffer_, c))
            return;
    } else {
        StringRef* r = StringRef::New(buffer_->data + offset_, length_, 8);
        if (!r)
            return;
        StringRef::append(r, c);
        Take(r);
    }
    length_++;
}

void PString::AppendNum(int v)
{
    char tmp[16];
    char* end = PItoa(tmp, v);
    Append(tmp, unsigned(end - tmp));
}

void PString::AppendNum(unsigned v, int radix)
{
    char tmp[40];
    char* end = PXtoa(tmp, v, radix);
    Append(tmp, unsigned(end - tmp));
}

void PString::Num(int v)
{
    char tmp[16];
    char* end = PItoa(tmp, v);
    Assign(tmp, unsigned(end - tmp));
}

void PString::Num(unsigned v, int radix)
{
    char tmp[40];
    char* end = PXtoa(tmp, v, radix);
    Assign(tmp, unsigned(end - tmp));
}

void PString::AppendFormat(char const* format, ...)
{
    va_list a;
    va_start(a, format);
    AppendFormatV(format, a);
    va_end(a);
}

void PString::AppendFormatV(char const* format, va_list args)
{
    unsigned len = 0;
    char* text = _psprintf(nullptr, 0, format, args, &len);
    if (!text)
        return;
    Append(text, len);
    delete[] text;
}

// ---------------------------------------------------------------------------
// Views

PString PString::Mid(unsigned pos, unsigned n) const
{
    PString r;
    if (pos < length_) {
        unsigned rest = length_ - pos;
        r.Assign(buffer_, n < rest ? n : rest, offset_ + pos);
    }
    return r;
}

char const* PString::c_str() const
{
    if (!buffer_)
        return "";
    if (offset_ + length_ != buffer_->length) {
        Copy();
        if (offset_ + length_ != buffer_->length)
            return ""; // no memory for a terminated copy
    }
    return buffer_->data + offset_;
}

void PString::Copy() const
{
    if (!buffer_)
        return;
    if (StringRef* r = StringRef::New(buffer_->data + offset_, length_, 0))
        Take(r);
}

void PString::Clear()
{
    StringRef::unref(buffer_);
    buffer_ = nullptr;
    offset_ = 0;
    length_ = 0;
}

void PString::Reset()
{
    offset_ = 0;
    length_ = 0;
    if (!buffer_)
        return;
    if (buffer_->references > 1) {
        StringRef::unref(buffer_);
        buffer_ = nullptr;
    } else {
        buffer_->length = 0;
        buffer_->data[0] = 0;
    }
}

void PString::SetLength(unsigned n)
{
    if (n == 0) {
        Clear();
        return;
    }
    if (!buffer_)
        return;
    unsigned room = buffer_->length - offset_;
    length_ = uint16_t(n < room ? n : room);
}
