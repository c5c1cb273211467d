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
// The longest name of a peer: "peer -2147483648", "an unknown address".
constexpr int kNameSize = 24;

// Who caused a line: a number of the caller's, or an IPv4 address.
struct Peer {
    uint32_t id = 0;
    bool address = false;
    bool operator==(Peer const& o) const { return id == o.id && address == o.address; }
};

// How the log's own lines name a peer.
void Name(Peer p, char* out)
{
    if (!p.address)
        PSnprintf(out, kNameSize, "peer %d", int(int32_t(p.id)));
    else if (p.id == 0)
        PSnprintf(out, kNameSize, "an unknown address");
    else  // network byte order: the first number is the lowest byte
        PSnprintf(out, kNameSize, "%u.%u.%u.%u", unsigned(p.id & 0xFF), unsigned(p.id >> 8 & 0xFF),
                  unsigned(p.id >> 16 & 0xFF), unsigned(p.id >> 24));
}

struct Kind {
    char const* format = nullptr;  // null: a free entry
    Peer peer;
    uint32_t written = 0;   // lines written in full since the allowance began
    uint32_t held = 0;      // lines counted since the last report
    uint32_t reportedAt = 0;  // the last line or report written
    uint32_t usedAt = 0;      // the limiter's count of lines when it last had one
    char latest[kLineSize] = {};  // the latest counted line
};

// A peer whose lines the overall limit held back, and how many since it was
// last reported (count 0: a free entry).
struct Source {
    Peer peer;
    uint32_t count = 0;
};

struct Limiter {
    std::mutex lock;
    Kind kinds[kTracked];
    uint32_t lines = 0;    // lines seen, the order in which kinds were used
    uint32_t holding = 0;  // kinds whose held count is not 0
    uint32_t tokens = kGlobalBurst;
    uint32_t refilledAt = 0;
    bool started = false;
    uint32_t heldOverall = 0;  // lines the overall limit kept back
    Source sources[kHoldSources];

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

    // Counts a line the overall limit held back against its peer. A full
    // table gives the entry with the fewest lines to the newcomer, so that
    // the peers that cause most of a flood keep theirs.
    void CountHeld(Peer p)
    {
        ++heldOverall;
        Source* fewest = &sources[0];
        for (Source& s : sources) {
            if (s.count > 0 && s.peer == p) {
                ++s.count;
                return;
            }
            if (s.count < fewest->count)
                fewest = &s;
        }
        fewest->peer = p;
        fewest->count = 1;
    }

    // Once a line may pass again, the count of those held back goes first,
    // naming the peers that caused most of them.
    void WriteHeldCount()
    {
        if (heldOverall == 0 || tokens == 0)
            return;
        --tokens;
        char line[kLineSize + kNamed * (kNameSize + 16)];
        PSnprintf(line, int(sizeof line), "log: %u %s from peers held back, too many at once",
                  unsigned(heldOverall), heldOverall == 1 ? "line" : "lines");
        for (int named = 0; named < kNamed; ++named) {
            Source* most = nullptr;
            for (Source& s : sources)
                if (s.count > 0 && (!most || s.count > most->count))
                    most = &s;
            if (!most)
                break;
            char name[kNameSize];
            Name(most->peer, name);
            size_t n = std::strlen(line);
            PSnprintf(line + n, int(sizeof line - n), "%s%s (%u)", named == 0 ? "; most from " : ", ", name,
                      unsigned(most->count));
            most->count = 0;
        }
        size_t n = std::strlen(line);
        PSnprintf(line + n, int(sizeof line - n), "\n");
        _PDebug("%s", line);
        heldOverall = 0;
        for (Source& s : sources)
            s = Source();
    }

    // Writes one line of peer's within the overall limit, or counts it.
    void Write(char const* line, Peer peer, uint32_t now)
    {
        Refill(now);
        WriteHeldCount();
        if (tokens == 0) {
            CountHeld(peer);
            return;
        }
        --tokens;
        _PDebug("%s", line);
    }

    void Report(Kind& k, uint32_t now)
    {
        char name[kNameSize];
        Name(k.peer, name);
        char line[kLineSize + 96];
        PSnprintf(line, int(sizeof line), "log: %u more like this from %s held back, the latest: %s",
                  unsigned(k.held), name, k.latest);
        if (k.held > 0)
            --holding;
        k.held = 0;
        k.reportedAt = now;
        Write(line, k.peer, now);
    }

    void ReportDue(uint32_t now)
    {
        if (heldOverall > 0) {
            Refill(now);
            WriteHeldCount();
        }
        if (holding == 0)
            return;
        for (Kind& k : kinds)
            if (k.format && k.held > 0 && now - k.reportedAt >= kSummaryMs)
                Report(k, now);
    }

    // The kind of a line; a new one takes a free entry or the one used
    // longest ago (by order, not time: many lines come in one millisecond).
    Kind& Find(char const* format, Peer peer, uint32_t now)
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

    void Line(Peer peer, char const* format, va_list args)
    {
        char line[kLineSize];
        PSnprintfv(line, int(sizeof line), format, args);
        // A cut line still ends its line.
        size_t n = std::strlen(line);
        if (n + 1 == sizeof line && line[n - 1] != '\n')
            line[n - 1] = '\n';

        std::lock_guard<std::mutex> hold(lock);
        uint32_t now = PTickCount();
        Kind& k = Find(format, peer, now);
        k.usedAt = ++lines;
        if (k.held == 0 && now - k.reportedAt >= kQuietMs)
            k.written = 0;
        if (k.written < kBurst) {
            ++k.written;
            k.reportedAt = now;
            Write(line, peer, now);
        } else {
            if (k.held == 0)
                ++holding;
            ++k.held;
            std::memcpy(k.latest, line, sizeof line);
        }
        ReportDue(now);
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
    va_list args;
    va_start(args, format);
    Instance().Line(Peer{peer, false}, format, args);
    va_end(args);
}

void _PDebugPeerAddress(uint32_t address, char const* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    Instance().Line(Peer{address, true}, format, args);
    va_end(args);
}

void PDebugPeerTick()
{
    Limiter& l = Instance();
    std::lock_guard<std::mutex> hold(l.lock);
    if (l.holding == 0 && l.heldOverall == 0)
        return;
    l.ReportDue(PTickCount());
}

void PDebugPeerReset()
{
    Limiter& l = Instance();
    std::lock_guard<std::mutex> hold(l.lock);
    for (Kind& k : l.kinds)
        k = Kind();
    for (Source& s : l.sources)
        s = Source();
    l.lines = 0;
    l.holding = 0;
    l.tokens = kGlobalBurst;
    l.refilledAt = 0;
    l.started = false;
    l.heldOverall = 0;
}
