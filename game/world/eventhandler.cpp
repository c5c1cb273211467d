#include "game/world/eventhandler.h"

void EventHandler::AddEvent(Event* e)
{
    if (e)
        events.emplace_back(e);
}

void EventHandler::HandleEvents(unsigned int now)
{
    // Indexed: a command may not add events, but the list is read afresh
    // for every event all the same.
    for (size_t i = 0; i < events.size(); i++)
        events[i]->Process(now, this);
}
