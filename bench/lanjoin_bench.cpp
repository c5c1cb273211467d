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

// The churning connections' source addresses: 127.0.3.1, .2, ...
std::vector<std::string> Sources(int addresses)
{
    std::vector<std::string> out;
    for (int a = 0; a < addresses; ++a)
        out.push_back("127.0.3." + std::to_string(a + 1));
    return out;
}

void BM_HostPollUnderChurn(benchmark::State& state)
{
    IPInterface host;
    Access::BecomeHost(host, "HOST");
    const int port = Access::ListenOnLoopback(host);
    if (port <= 0) {
        state.SkipWithError("no loopback listener");
        return;
    }
    NamelessChurn churn(Sources(int(state.range(0))), 3, "127.0.0.1", port);
    long reopened = 0;
    for (auto _ : state) {
        state.PauseTiming();
        reopened += churn.Reopen();
        state.ResumeTiming();
        host.PollMessages();
    }
    state.counters["reopened/poll"] = benchmark::Counter(double(reopened) / double(state.iterations()));
    state.counters["place_bytes"] = double(Access::kNamelessPlaceBytes);
    state.counters["places"] = double(IPInterface::kMaxNameless);
    state.counters["host_bytes"] = double(sizeof(IPInterface));
}
BENCHMARK(BM_HostPollUnderChurn)->Arg(0)->Arg(2)->Arg(3)->Arg(6)->Iterations(20000);

}  // namespace

