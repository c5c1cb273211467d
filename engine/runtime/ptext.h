// The engine's byte-string, memory-block, number-conversion and UTF-8
// routines. Texts are UTF-8 bytes; wide characters are 32-bit wchar_t.
#pragma once
#include <concepts>
#include <cstdint>

// ---------------------------------------------------------------------------
// Tables

// Digits of every radix up to 36, lower case ("0123456789abc...z").
extern const char PHexDigs[37];
// The same with upper-case letters (used by %X).
extern const char PHexDigsU[37];
// Latin-1 case maps: a-z and 0xE0-0xFE (except 0xF7) to upper case and back;
// every other byte maps to itself.
extern const unsigned char _PCharUCaseMap[256];
extern const unsigned char _PCharLCaseMap[256];
// Bytes of a UTF-8 character by its lead byte >> 3: 1 for ASCII, continuation
// bytes and 0xF8-0xFF, 2 for 0xC0-0xDF, 3 for 0xE0-0xEF, 4 for 0xF0-0xF7.
extern const unsigned char _utf8_lens[32];

// ---------------------------------------------------------------------------
// Numbers to text. Each writes a terminated text and returns a pointer to its
// terminator. With a non-zero pad character the text is right-aligned in
// `width` characters; a text longer than the width is never cut.

// Signed decimal. The '-' stands right before the first digit, the pad
// characters in front of it: PItoa(d, -5, '0', 5) gives "000-5".
char* PItoa(char* dst, int v, char pad = 0, int width = 0);
// Unsigned decimal.
char* PUtoa(char* dst, unsigned v, char pad = 0, int width = 0);
// Unsigned in radix 2-36 with lower-case digits; another radix writes an
// empty text.
char* PXtoa(char* dst, unsigned v, int radix, char pad = 0, int width = 0);
// The same with the given digit table (at least `radix` digits).
char* _PXtoa(char* dst, unsigned v, int radix, char pad, int width, char const* digits);
// Fixed point with `fracBits` fraction bits (0-31) printed with `decimals`
// decimals, the last one rounded half up; decimals 0 rounds to a whole number.
// PFxtoa(d, 0x18000, 6, 16) gives "1.500000".
char* PFxtoa(char* dst, int v, int decimals, int fracBits = 16);

// The double whose two 32-bit words (low word first) `d` points to, as 16.16.
// Bits above the 16.16 range are lost (the result wraps); zero and values
// below 1/65536 give 1 (the smallest positive 16.16 value), then the sign.
int double2fix(int const* d);
// The same for a double value.
int double2fix(double v);

// Text to number: skips spaces and tabs and takes a sign; radix 0 reads "0x"
// as hexadecimal, "0b" as binary, another leading 0 as octal, else decimal
// (the prefixes are also recognised with an explicit radix). Hexadecimal
// takes at most 8 digits. The value wraps at 32 bits. `end` (when not null)
// receives the first character not consumed.
int PAtoi(char const* s, char** end, int radix);
// The same for callers that hold the end as a pointer to const.
template <class T>
    requires std::same_as<T, char const*>
inline int PAtoi(char const* s, T* end, int radix)
{
    char* e = nullptr;
    int v = PAtoi(s, &e, radix);
    if (end)
        *end = e;
    return v;
}

// ---------------------------------------------------------------------------
// Zero-terminated byte strings

int PStrLen(char const* s);
int PStrLenW(wchar_t const* s);
// Copies with the terminator; returns the terminator written.
char* PStrCpy(char* dst, char const* src);
// Copies at most n bytes and fills the rest of the n with zero bytes (no
// terminator when src has n bytes or more); returns dst + bytes copied.
char* PStrCpyN(char* dst, char const* src, unsigned n);
// Appends src to dst; returns dst.
char* PStrCat(char* dst, char const* src);
// Difference of the first differing bytes as signed chars, 0 when equal.
int PStrCmp(char const* a, char const* b);
int PStrCmpN(char const* a, char const* b, unsigned n);
// The same on bytes mapped through _PCharLCaseMap, taken as unsigned.
int PStrCaseCmp(char const* a, char const* b);
int PStrCaseCmpN(char const* a, char const* b, unsigned n);
// First occurrence of the byte c; c = 0 finds the terminator; null if absent.
char* PStrChr(char* s, int c);
char const* PStrChr(char const* s, int c);
// Last occurrence of the byte c before the terminator; null if absent.
char* PStrRChr(char* s, int c);
char const* PStrRChr(char const* s, int c);
// Index of the first exact occurrence of needle in hay; -1 when absent or
// when either text is empty.
int PStrStrI(char const* hay, char const* needle);
// A pointer to that occurrence, or null.
char* PStrStr(char* hay, char const* needle);
char const* PStrStr(char const* hay, char const* needle);
// Upper-cases in place through _PCharUCaseMap; returns s.
char* PStrUpper(char* s);

// ---------------------------------------------------------------------------
// Byte order and memory blocks

constexpr uint16_t PSwap16(uint16_t v) { return uint16_t((v >> 8) | (v << 8)); }
constexpr uint32_t PSwap32(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

void* PMemSet(void* dst, int byte, unsigned n);
// Stores `value` n times (n = 0 stores nothing).
void PMemSet16(uint16_t* dst, uint16_t value, unsigned n);
// Both copy n bytes and both handle overlapping blocks.
void* PMemCopy(void* dst, void const* src, unsigned n);
void* PMemMove(void* dst, void const* src, unsigned n);
// Difference of the first differing bytes (unsigned), 0 when equal.
int PMemCmp(void const* a, void const* b, unsigned n);

// ---------------------------------------------------------------------------
// UTF-8
//
// Texts from files and peers may be anything. A well-formed sequence is one
// character. A byte that cannot start one (a stray continuation byte, C0,
// C1, F5 and up), or a lead byte whose next bytes do not form one (a missing
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF),
// is a one-byte character that decodes as U+FFFD: decoding resumes at the
// next byte, so a bad byte costs one character and never the ones after it.
// _utf8_lens gives the length a lead byte announces. Every routine that steps through a zero-terminated text stops at the
// terminator, also inside a multi-byte sequence: a well-formed start cut by
// the terminator is one character made of the bytes before it, and decodes
// as 0.

// Writes c as 1-4 bytes (no terminator); returns the byte count. A value
// that is no character (a surrogate D800-DFFF, anything past U+10FFFF, a
// negative wchar_t) is written as U+FFFD, so that every wide character comes
// back from the decoders as exactly one character. All the encoders below,
// and PUTF8EncodedLength, count and write characters this way.
int PUTF8Encode(char* dst, unsigned c);
// Writes a Latin-1 byte: 1 byte below 0x80, else 2; returns the byte count.
int PUTF8EncodeLatin1(char* dst, unsigned char c);
// Bytes needed by n wide characters (n < 0: up to the terminating 0).
int PUTF8EncodedLength(wchar_t const* w, int n);
// Encodes up to *n wide characters (n < 0: up to the terminator) while they
// fit in `size` bytes; writes a terminator when room is left; stores the
// characters done in *n and returns the bytes written.
int PUTF8Encode(char* dst, int size, wchar_t const* w, int* n);
int PUTF8Encode(char* dst, int size, wchar_t const* w, int n);
// The code point of the character at s.
unsigned PUTF8Decode(char const* s);
// The same, advancing s past the character.
unsigned PUTF8DecodeNext(char const*& s);
unsigned PUTF8DecodeNext(char*& s);
// Decodes into at most *n wide characters, stopping before a character that
// would run past srcLen bytes or is cut by the terminator (srcLen < 0: up to
// the terminator); writes a terminating 0 when room is left. Stores the
// characters written in *n and returns the bytes consumed.
int PUTF8Decode(wchar_t* dst, int* n, char const* src, int srcLen);
int PUTF8Decode(wchar_t* dst, int n, char const* src, int srcLen);
// Copies up to *n bytes (n < 0: the whole text) within `size`, with a
// terminator when room is left; stores and returns the bytes copied.
int PUTF8EncodeLatin1(char* dst, int size, char const* src, int* n);
int PUTF8EncodeLatin1(char* dst, int size, char const* src, int n);
// Characters of the text.
int PUTF8StrLen(char const* s);
// Characters wholly inside the first `bytes` bytes (bytes < 0: the whole
// text); a character cut short by the terminator counts when that terminator
// lies inside the limit.
int PUTF8StrLen(char const* s, int bytes);
// Bytes of the text counted by character lengths (its PStrLen).
int PUTF8ByteLen(char const* s);
// Pointer to character i, or to the terminator when the text is shorter.
char const* PUTF8StrOfs(char const* s, unsigned i);
char* PUTF8StrOfs(char* s, unsigned i);
