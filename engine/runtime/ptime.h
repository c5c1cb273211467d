// The millisecond clock and the stopwatch that paces the game.
#pragma once
#include <cstdint>

// Milliseconds on a monotonic clock as an unsigned 32-bit value that wraps;
// compare readings only through their (signed) differences.
uint32_t PTickCount();
// Milliseconds from then to now as the signed difference of two readings:
// right across the wrap, negative when then is later.
inline int32_t PTickSince(uint32_t now, uint32_t then)
{
    return int32_t(now - then);
}
void PSleep(unsigned ms);
// Calendar seconds.
long PGetTime();

// The virtual clock of deterministic runs. While it is on, PTickCount reads a
// counter that starts where a fresh system clock would (0xB93CD800) and moves
// only through PAdvanceVirtualClock, PSleep returns at once, and PGetTime
// counts from a fixed calendar date (2026-01-01 00:00 UTC) by that counter.
// Turning it on (again) restarts the counter.
void PSetVirtualClock(int on);
int PVirtualClockOn();
void PAdvanceVirtualClock(uint32_t ms);

// A millisecond stopwatch. It keeps counting while stopped; Resume removes the
// stopped interval from its start.
class PTicker {
public:
    PTicker();
    uint32_t operator()() const;
    uint32_t Reset();
    void Stop();
    uint32_t Resume();
    void Adjust(uint32_t ms);
    bool IsStopped() const { return m_stopped != 0; }

private:
    uint32_t m_start;
    uint32_t m_elapsed;
    int32_t m_stopped;
};
