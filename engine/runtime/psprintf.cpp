// Provisional: the C library formatter stands in until the engine's own lands.
#include "engine/runtime/psprintf.h"

#include <cstdio>

char* PSnprintfv(char* dst, int size, char const* format, va_list args)
{
    if (size <= 0)
        return dst;
    std::vsnprintf(dst, size_t(size), format, args);
    return dst;
}

char* PSnprintf(char* dst, int size, char const* format, ...)
{
    va_list a;
    va_start(a, format);
    PSnprintfv(dst, size, format, a);
    va_end(a);
    return dst;
}

char* PSprintfv(char* dst, char const* format, va_list args)
{
    std::vsprintf(dst, format, args);
    return dst;
}

char* PSprintf(char* dst, char const* format, ...)
{
    va_list a;
    va_start(a, format);
    PSprintfv(dst, format, a);
    va_end(a);
    return dst;
}
