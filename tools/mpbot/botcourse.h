// The course of mpbot's aircraft: straight on along x by one step a pass of
// its loop, coming in again from the far side at the edge of its span, so
// that however long a bot runs its position stays a defined 16.16 value
// within the span (the spawn points lie inside it).
#pragma once
#include <cstdint>

namespace botcourse {

constexpr int32_t kStep = 0x8000;      // 0.5 a pass
constexpr int32_t kSpan = 0x8000000;   // half the width flown: 2048 units

// The next x after x (any value, also one a respawn put outside the span).
constexpr int32_t NextX(int32_t x)
{
    if (x < -kSpan || x >= kSpan - kStep)
        return -kSpan;
    return x + kStep;
}

}  // namespace botcourse
