#include "game/frontend/score.h"

void Score::Increase(int n)
{
    uint32_t sum = score + uint32_t(n);
    if (n < 0 && int32_t(sum) < 1)
        sum = 0;
    score = sum;
}
