// The engine's printf-style formatter.
//
// Conversions: %d %i %u %x %X %o %O %p %c %s %S (%ls) %f %g %G %Q %q %n %%,
// with the flags '-', '#', '0', '+', ' ', a width and a precision (digits or
// '*') and the length letters h hh l ll L j t z. Where it differs from the C
// library:
//  - reals are printed through 16.16 fixed point: %f of 0.0 is "0.000015"
//    (the 16.16 value 1), values of 32768 and above wrap;
//  - %Q prints a 16.16 int, %q a fixed-point int whose precision is the
//    number of fraction bits (default 16; decimals shown only when the value
//    has fraction bits set);
//  - padding to the width goes in front of the whole converted text, sign and
//    0x prefix included: %05d of -5 is "000-5"; with '-' and '0' the zeros
//    pad on the right;
//  - an integer precision zero-pads the number to that many characters and
//    then stands in for the width (%8.3d of 7 is "007"; of -5 it is "0-5");
//  - '+' and ' ' are accepted and do nothing; h and hh are ignored; l, ll,
//    j, z and t read 64-bit values;
//  - %p always has the 0x prefix (a null pointer prints "0x0");
//  - %S and %ls write the low byte of each wide character;
//  - an unknown conversion is copied as it stands.
#pragma once
#include <cstdarg>

// Formats into dst with no size limit; returns dst.
char* PSprintf(char* dst, char const* format, ...);
char* PSprintfv(char* dst, char const* format, va_list args);
// Formats into at most `size` bytes of dst, the terminator included (size <= 0
// writes nothing); everything is cut to fit. Returns dst.
char* PSnprintf(char* dst, int size, char const* format, ...);
char* PSnprintfv(char* dst, int size, char const* format, va_list args);

// The common worker. With dst given: size < 0 means no limit, otherwise at
// most size bytes are written, the terminator included; returns dst. With
// dst null and `length` given: the output goes into a block allocated here
// (release it with delete[]); its length without the terminator is stored in
// *length and the block is returned; on allocation failure 0 is stored and
// null returned. `length`, when given, always receives the output length.
char* _psprintf(char* dst, int size, char const* format, va_list args, unsigned* length);
