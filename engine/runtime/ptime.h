// The millisecond clock and the stopwatch that paces the game.
#pragma once
#include <cstdint>

// Milliseconds on a monotonic clock as an unsigned 32-bit value that wraps;
// compare readings only through their (signed) differences.
uint32_t PTickCount();
void PSleep(unsigned ms);
// Calendar seconds.
long PGetTime();

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
