#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugmute.h"

#include <cstdio>

#include "engine/runtime/psprintf.h"

namespace {
// Whether the log file has been opened once in this run: the first message
// truncates the file, later ones append.
bool g_logOpened = false;
// Live mute scopes of this thread.
thread_local int g_muted = 0;
}

PDebugMute::PDebugMute(bool on) : m_on(on)
{
    if (m_on)
        ++g_muted;
}

PDebugMute::~PDebugMute()
{
    if (m_on)
        --g_muted;
}

void _PDebugV(char const* format, va_list args)
{
    if (g_muted > 0)
        return;
    char buf[2016];
    PSnprintfv(buf, int(sizeof buf), format, args);
    if (buf[0] == 0)
        return;
    FILE* f = std::fopen("logs/vornlog.txt", g_logOpened ? "ab+" : "wb");
    if (f) {
        g_logOpened = true;
        std::fputs(buf, f);
        std::fflush(f);
        std::fclose(f);
    }
    std::printf("%s", buf);
}

void _PDebug(char const* format, ...)
{
    va_list args;
    va_start(args, format);
    _PDebugV(format, args);
    va_end(args);
}
