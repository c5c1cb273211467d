#include "engine/runtime/ptime.h"

#include <ctime>
#include <unistd.h>

uint32_t PTickCount()
{
    // The counter starts at an arbitrary high value so that its wrap shows up
    // early in any code that compares readings directly.
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(0xB93CD800u + uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void PSleep(unsigned ms)
{
    usleep(useconds_t(ms) * 1000);
}

long PGetTime()
{
    return long(time(nullptr));
}

PTicker::PTicker() : m_start(PTickCount()), m_elapsed(0), m_stopped(0) {}

uint32_t PTicker::operator()() const
{
    return PTickCount() - m_start;
}

uint32_t PTicker::Reset()
{
    m_start = PTickCount();
    return m_start;
}

void PTicker::Stop()
{
    if (m_stopped)
        return;
    m_stopped = 1;
    m_elapsed = PTickCount() - m_start;
}

uint32_t PTicker::Resume()
{
    if (!m_stopped)
        return 0;
    uint32_t now = PTickCount();
    uint32_t interval = now - m_start - m_elapsed;
    m_start = now - m_elapsed;
    m_stopped = 0;
    return interval;
}

void PTicker::Adjust(uint32_t ms)
{
    m_start += ms;
}
