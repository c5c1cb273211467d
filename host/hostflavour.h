// Inside the host: what a flavour (desktop, headless) supplies to the common
// event service. Not for use outside host/.
#pragma once
#include <cstdint>
#include <deque>

#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostwindow.h"

namespace host {

struct Window {
    int width = 0;
    int height = 0;
    int format = 0;
    int usage = 0;
    void* native = nullptr;   // what EGL draws on (null: no window system)
    void* flavourData = nullptr;
};

class Flavour {
public:
    virtual ~Flavour() = default;
    virtual int Start(Options const& options) = 0;
    virtual void Stop() = 0;
    // Adds the events that are due to the queue. Returns 1 once the source
    // has nothing more to deliver (the end of a script).
    virtual int Poll(std::deque<Event>& queue, unsigned frames, uint32_t elapsedMs) = 0;
    // Forces in g; 0 on success.
    virtual int ReadForces(double* x, double* y, double* z) = 0;
    virtual Window* CreateWindow(int format, int usage, int width, int height) = 0;
    virtual void DestroyWindow(Window* window) = 0;
    virtual int EglPlatform(void** nativeDisplay) = 0;
    virtual void PresentSoft(uint16_t const*, int, int, int) {}
};

Flavour* NewHeadlessFlavour();
Flavour* NewDesktopFlavour();

// The service's call log.
void LogCall(char const* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace host
