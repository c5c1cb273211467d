// PString: the engine's string, a view (offset and length) on a shared,
// reference-counted, zero-terminated UTF-8 buffer. Copies and substrings
// share the buffer; appending to a string whose view ends at its buffer's end
// extends the buffer in place. A buffer never holds more than 65535 bytes:
// anything that would make it longer is refused and leaves the string as it
// was, as does a failed allocation.
#pragma once
#include <cstdarg>
#include <cstdint>

// A character pointer and a byte count, accepted by assignment.
struct PCString {
    char const* str;
    unsigned len;
};

class PString {
public:
    static constexpr unsigned kMaxLength = 65535;

    // The shared buffer.
    struct StringRef {
        char* data;          // capacity + 1 bytes, zero-terminated after length
        uint16_t length;     // bytes in use
        uint16_t capacity;   // bytes available, the terminator extra
        uint32_t references; // strings sharing this buffer

        // A buffer holding the n bytes with capacity n + extra (clamped at
        // 65535) and one reference; null when memory is exhausted or n is above
        // 65535.
        static StringRef* New(char const* p, unsigned n, unsigned extra);
        // The n wide characters encoded as UTF-8; capacity = encoded length + extra.
        static StringRef* New(wchar_t const* w, unsigned n, unsigned extra);
        // One reference more / less; the last unref frees the buffer. Both
        // accept null.
        static void ref(StringRef* r);
        static void unref(StringRef* r);
        // Appends n bytes (one byte), growing the buffer when needed; returns
        // the buffer to use (a new one when r was null), or null when memory is
        // exhausted or the result would exceed 65535 bytes, r being unchanged
        // then.
        static StringRef* append(StringRef* r, char const* p, unsigned n);
        static StringRef* append(StringRef* r, char c);
    };

    PString() = default;
    PString(char const* s);
    explicit PString(char c);
    PString(wchar_t const* w);
    PString(wchar_t const* w, unsigned n);
    PString(PString const& o);
    ~PString();

    PString& operator=(PString const& o);
    PString& operator=(char const* s);
    PString& operator=(PCString const& s);
    PString& operator=(char c);
    // Shares buffer r and views `length` bytes from `offset` (clamped to the
    // buffer).
    void Assign(StringRef* r, unsigned length, unsigned offset);
    // n = 0 empties the string; a buffer held alone that is large enough is
    // reused, otherwise a new one of exactly n bytes replaces it.
    void Assign(char const* p, unsigned n);
    void Assign(wchar_t const* w, unsigned n);

    void Append(char const* p, unsigned n);
    void Append(char const* s);
    void Append(PString const& s);
    void Append(char c);
    PString& operator+=(PString const& s) { Append(s); return *this; }
    PString& operator+=(char const* s) { Append(s); return *this; }
    PString& operator+=(char c) { Append(c); return *this; }

    // Decimal; in a radix 2-36 with lower-case digits.
    void AppendNum(int v);
    void AppendNum(unsigned v, int radix);
    void Num(int v);
    void Num(unsigned v, int radix);
    // Formats with the engine formatter and appends the result.
    void AppendFormat(char const* format, ...);
    void AppendFormatV(char const* format, va_list args);

    // A view of up to n bytes from pos sharing the buffer (empty past the end).
    PString Mid(unsigned pos, unsigned n) const;
    PString Mid(unsigned pos) const { return Mid(pos, kMaxLength); }

    // A zero-terminated text: "" when empty; a view that does not end at its
    // buffer's end is first copied into a buffer of its own. Should that copy
    // fail, "" is returned. The copy leaves the string's value unchanged, so
    // this works on constant strings too.
    char const* c_str() const;
    // Gives this view a buffer of its own.
    void Copy() const;
    // Releases the buffer.
    void Clear();
    // Empties the string, keeping a buffer held alone for reuse.
    void Reset();
    // Sets the view's length (0 clears); it is kept within the buffer.
    void SetLength(unsigned n);

    unsigned Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    // The view's first byte (not terminated; null when empty).
    char const* Data() const { return buffer_ ? buffer_->data + offset_ : nullptr; }
    StringRef* Buffer() const { return buffer_; }
    unsigned Offset() const { return offset_; }

private:
    // Views r, a new buffer this string alone holds, from its start; the
    // old buffer is released.
    void Take(StringRef* r) const;

    // c_str() may move the view into a buffer of its own.
    mutable StringRef* buffer_ = nullptr;
    mutable uint16_t offset_ = 0;
    uint16_t length_ = 0;
};
