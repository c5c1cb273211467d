// One mode's score and rank (single-player or multiplayer) of a profile.
#pragma once
#include <cstdint>

class Score {
public:
    // Adds n. A negative n that would take the score below 1 (seen as a
    // signed value) leaves it at 0.
    void Increase(int n);
    // Score and rank to 0; the best rank reached stays.
    void Reset()
    {
        score = 0;
        rank = 0;
    }
    uint32_t GetScore() const { return score; }
    uint8_t GetRank() const { return rank; }

    uint32_t score = 0;
    uint8_t rank = 0;
    uint8_t bestRank = 0;
};
