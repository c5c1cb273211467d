#include "game/multiplayer/mpinterface.h"

int EventList::Add(event e)
{
    if (e != kNone && count < kCapacity)
        slots[count++] = e;
    return 1;
}

EventList::event EventList::Get()
{
    if (count < 1)
        return kNone;
    event first = slots[0];
    for (int i = 1; i < count; ++i)
        slots[i - 1] = slots[i];
    --count;
    return first;
}
