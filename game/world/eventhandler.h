// The mission's events in script order, tested once a frame.
#pragma once
#include <memory>
#include <vector>

#include "game/world/event.h"

class EventHandler {
public:
    EventHandler() = default;
    ~EventHandler() = default;
    EventHandler(EventHandler const&) = delete;
    EventHandler& operator=(EventHandler const&) = delete;

    // Takes ownership.
    void AddEvent(Event* e);
    void HandleEvents(unsigned int now);
    int Count() const { return int(events.size()); }
    // Event i, or null when i names none.
    Event* Get(int i) const { return i >= 0 && i < Count() ? events[size_t(i)].get() : nullptr; }

    std::vector<std::unique_ptr<Event>> events;
};
