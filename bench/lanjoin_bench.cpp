// What a local-network host's poll costs while connections that never give
// a name are reopened as fast as it closes them: three from each of several
// addresses over loopback, each poll accepting what waits, reading the
// nameless connections and closing what the limits close. The reopening is
// left out of the time. A quiet host's poll (no address) is measured beside,
// and the memory the host keeps for the nameless connections is shown.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/game/multiplayer/lan_test_util.h"

namespace {

using Access = IPInterfaceTestAccess;

struct Churn {
    IPInterface host;
    int port = 0;
    std::vector<std::pair<std::string, int>> liars;

    explicit Churn(int addresses)
    {
        Access::BecomeHost(host, "HOST");
        port = Access::ListenOnLoopback(host);
        for (int a = 0; a < addresses; ++a)
            for (int i = 0; i < 3; ++i)
                liars.push_back({"127.0.3." + std::to_string(a + 1), -1});
    }
    ~Churn()
    {
        for (auto& l : liars)
            if (l.second >= 0)
                close(l.second);
    }
    // Reopens what the host closed; how many.
    int Reopen()
    {
        int n = 0;
        for (auto& [from, fd] : liars)
            if (fd < 0 || ClosedByHost(fd)) {
                if (fd >= 0)
                    close(fd);
                fd = NamelessConnect(from.c_str(), "127.0.0.1", port);
                ++n;
            }
        return n;
    }
};

void BM_HostPollUnderChurn(benchmark::State& state)
{
    Churn c(int(state.range(0)));
    if (c.port <= 0) {
        state.SkipWithError("no loopback listener");
        return;
    }
    long reopened = 0;
    for (auto _ : state) {
        state.PauseTiming();
        reopened += c.Reopen();
        state.ResumeTiming();
        c.host.PollMessages();
    }
    state.counters["reopened/poll"] = benchmark::Counter(double(reopened) / double(state.iterations()));
    state.counters["place_bytes"] = double(Access::kNamelessPlaceBytes);
    state.counters["places"] = double(IPInterface::kMaxNameless);
    state.counters["host_bytes"] = double(sizeof(IPInterface));
}
BENCHMARK(BM_HostPollUnderChurn)->Arg(0)->Arg(2)->Arg(3)->Arg(6)->Iterations(20000);

}  // namespace

