#include "engine/runtime/pdebugpeer.h"

#include <cstdarg>
#include <cstring>
#include <mutex>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/ptime.h"

using namespace pdebugpeer;

namespace {

constexpr int kLineSize = 160;

struct Kind {
    char const* format = nullptr;  // null: a free entry
    uint32_t peer = 0;
    uint32_t written = 0;   // lines written in full since the allowance began
    uint32_t held = 0;      // lines counted since the last report
    uint32_t reportedAt = 0;  // the last line or report written
    uint32_t usedAt = 0;
    char latest[kLineSize] = {};  // the latest counted line
};

struct Limiter {
    std::mutex lock;
    Kind kinds[kTracked];
    uint32_t tokens = kGlobalBurst;
    uint32_t refilledAt = 0;
    bool started = false;
    uint32_t heldOverall = 0;  // lines the overall limit kept back

    void Refill(uint32_t now)
    {
        if (!started) {
            started = true;
            refilledAt = now;
        }
        uint32_t steps = (now - refilledAt) / kGlobalRefillMs;
        if (steps == 0)
            return;
        refilledAt += steps * kGlobalRefillMs;
        tokens = steps >= kGlobalBurst || tokens + steps > kGlobalBurst ? kGlobalBurst : tokens + steps;
    }

    // Writes one line within the overall limit, or counts it.
    void Write(char const* line, uint32_t now)
    {
        Refill(now);
        if (heldOverall > 0 && tokens > 0) {
            --tokens;
            _PDebug("log: %u lines from peers held back, too many at once\n", unsigned(heldOverall));
            heldOverall = 0;
        }
        if (tokens == 0) {
            ++heldOverall;
            return;
        }
        --tokens;
        _PDebug("%s", line);
    }

    void Report(Kind& k, uint32_t now)
    {
        char line[kLineSize + 96];
        PSnprintf(line, int(sizeof line), "log: %u more like this from peer %u held back, the latest: %s",
                  unsigned(k.held), unsigned(k.peer), k.latest);
        k.held = 0;
        k.reportedAt = now;
        Write(line, now);
    }

    void ReportDue(uint32_t now)
    {
        for (Kind& k : kinds)
            if (k.format && k.held > 0 && now - k.reportedAt >= kSummaryMs)
                Report(k, now);
    }

    Kind& Find(char const* format, uint32_t peer, uint32_t now)
    {
        Kind* oldest = &kinds[0];
        for (Kind& k : kinds) {
            if (k.format == format && k.peer == peer)
                return k;
            if (!k.format)
                oldest = &k;
            else if (oldest->format && int32_t(k.usedAt - oldest->usedAt) < 0)
                oldest = &k;
        }
        if (oldest->format && oldest->held > 0)
            Report(*oldest, now);
        *oldest = Kind();
        oldest->format = format;
        oldest->peer = peer;
        oldest->reportedAt = now;
        return *oldest;
    }
};

Limiter& Instance()
{
    static Limiter limiter;
    return limiter;
}

}  // namespace

void _PDebugPeer(uint32_t peer, char const* format, ...)
{
    if (!format)
        return;
    char line[kLineSize];
    va_list args;
    va_start(args, format);
    PSnprintfv(line, int(sizeof line), format, args);
    va_end(args);
    // A cut line still ends its line.
    size_t n = std::strlen(line);
    if (n + 1 == sizeof line && line[n - 1] != '\n')
        line[n - 1] = '\n';

    Limiter& l = Instance();
    std::lock_guard<std::mutex> hold(l.lock);
    uint32_t now = PTickCount();
    Kind& k = l.Find(format, peer, now);
    k.usedAt = now;
    if (k.held == 0 && now - k.reportedAt >= kQuietMs)
        k.written = 0;
    if (k.written < kBurst) {
        ++k.written;
        k.reportedAt = now;
        l.Write(line, now);
    } else {
        ++k.held;
        std::memcpy(k.latest, line, sizeof line);
    }
    l.ReportDue(now);
}

void PDebugPeerTick()
{
    Limiter& l = Instance();
    std::lock_guard<std::mutex> hold(l.lock);
    l.ReportDue(PTickCount());
}

void PDebugPeerReset()
{
    Limiter& l = Instance();
    std::lock_guard<std::mutex> hold(l.lock);
    for (Kind& k : l.kinds)
        k = Kind();
    l.tokens = kGlobalBurst;
    l.started = false;
    l.heldOverall = 0;
}
