#include "engine/runtime/ptime.h"

#include <atomic>
#include <ctime>
#include <unistd.h>

namespace {

constexpr uint32_t kClockBase = 0xB93CD800u;
constexpr long kVirtualEpoch = 1767225600; // 2026-01-01 00:00:00 UTC

// Read from the audio thread too, hence atomic.
std::atomic<int> g_virtual{0};
std::atomic<uint32_t> g_virtualElapsed{0};

} // namespace

void PSetVirtualClock(int on)
{
    g_virtualElapsed = 0;
    g_virtual = on ? 1 : 0;
}

int PVirtualClockOn()
{
    return g_virtual;
}

void PAdvanceVirtualClock(uint32_t ms)
{
    g_virtualElapsed += ms;
}

uint32_t PTickCount()
{
    if (g_virtual)
        return kClockBase + g_virtualElapsed;
    // The counter starts at an arbitrary high value so that its wrap shows up
    // early in any code that compares readings directly.
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(kClockBase + uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void PSleep(unsigned ms)
{
    if (g_virtual)
        return;
    usleep(useconds_t(ms) * 1000);
}

long PGetTime()
{
    if (g_virtual)
        return kVirtualEpoch + long(g_virtualElapsed / 1000);
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
