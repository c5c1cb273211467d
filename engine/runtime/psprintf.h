// The engine's own formatter. Provisional declarations: the formatter proper
// replaces psprintf.cpp.
#pragma once
#include <cstdarg>

char* PSprintf(char* dst, char const* format, ...);
char* PSprintfv(char* dst, char const* format, va_list args);
char* PSnprintf(char* dst, int size, char const* format, ...);
char* PSnprintfv(char* dst, int size, char const* format, va_list args);
