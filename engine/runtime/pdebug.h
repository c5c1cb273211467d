// The debug log: "logs/vornlog.txt" under the working directory, also echoed
// to standard output.
#pragma once
#include <cstdarg>

void _PDebug(char const* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void _PDebugV(char const* format, va_list args);
