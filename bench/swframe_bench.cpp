// The software back end beside llvmpipe on two frames at 1024 x 600, the
// game-like frame (tests/gl/software/traces/game.trace: a sky and a textured
// terrain in perspective, lit textured meshes, alpha-blended billboards and a
// 2D HUD) and a frame of the demo's first mission (captured at build time by
// the program itself, bench/capture_mission.sh: the sky, the island and the
// sea, the enemy aircraft ahead and the HUD), side by side in one run: milliseconds per frame of the software back end,
// of llvmpipe with one thread (LP_NUM_THREADS=1) and of llvmpipe with its
// default threads, and the software back end's speed-up over each.
//
// Mesa draws into an RGB565 surface with a 16-bit depth buffer, as the
// software back end does. The rounds alternate between the three, so that the
// load of a shared machine falls on all of them alike; the figures are the
// medians of the rounds. Each llvmpipe measurement runs in a child process of
// its own (the thread count is read when Mesa starts), and its per-frame time
// is the difference of a replay of 1 + N frames and one of a single frame, so
// that the shaders' compilation on the first frame is left out.
//
// For a run on two cores: taskset -c 0,1 bench_swframe
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

namespace {

constexpr int kFrames = 20; // frames per measurement
constexpr int kRounds = 7;

enum Who { kSoftware, kLlvmpipeOne, kLlvmpipeDefault };

// Seconds per frame, or a negative value on failure.
double Measure(glreplay::Trace const& trace, Who who)
{
    glreplay::ReplayOptions opt;
    opt.width = 1024;
    opt.height = 600;
    opt.rgb565 = true;
    opt.checkErrors = false;
    opt.backend = who == kSoftware ? glreplay::Backend::SW : glreplay::Backend::Mesa;
    glreplay::ReplayResult one, many;
    std::string error;
    opt.repeat = 1;
    if (!glreplay::Replay(trace, opt, one, error))
        return -1;
    opt.repeat = 1 + kFrames;
    if (!glreplay::Replay(trace, opt, many, error))
        return -1;
    return std::max(0.0, many.seconds - one.seconds) / kFrames;
}

// Measures llvmpipe in a child process with the given LP_NUM_THREADS (null:
// Mesa's default).
double MeasureChild(glreplay::Trace const& trace, Who who)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        close(fds[0]);
        if (who == kLlvmpipeOne)
            setenv("LP_NUM_THREADS", "1", 1);
        else
            unsetenv("LP_NUM_THREADS");
        double s = Measure(trace, who);
        ssize_t w = write(fds[1], &s, sizeof s);
        _exit(w == ssize_t(sizeof s) ? 0 : 1);
    }
    close(fds[1]);
    double s = -1;
    if (read(fds[0], &s, sizeof s) != ssize_t(sizeof s))
        s = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return s;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Frame(benchmark::State& state, char const* label, std::string const& path)
{
    setenv("EGL_PLATFORM", "surfaceless", 0);
    glreplay::Trace trace;
    std::string error;
    if (!glreplay::LoadTrace(path, trace, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<double> times[3];
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            for (Who who : {kSoftware, kLlvmpipeOne, kLlvmpipeDefault}) {
                double s = who == kSoftware ? Measure(trace, who) : MeasureChild(trace, who);
                if (s < 0) {
                    state.SkipWithError("replay failed");
                    return;
                }
                times[who].push_back(s);
            }
        }
    }
    double sw = Median(times[kSoftware]) * 1e3, one = Median(times[kLlvmpipeOne]) * 1e3,
           all = Median(times[kLlvmpipeDefault]) * 1e3;
    state.counters["software_ms"] = sw;
    state.counters["llvmpipe_1thread_ms"] = one;
    state.counters["llvmpipe_threads_ms"] = all;
    state.counters["ratio_1thread"] = sw > 0 ? one / sw : 0;
    state.counters["ratio_threads"] = sw > 0 ? all / sw : 0;
    std::printf("%s, medians of %d rounds of %d frames: software %.2f ms, llvmpipe 1 thread %.2f ms, "
                "llvmpipe default threads %.2f ms; ratio %.2f (1 thread), %.2f (default threads)\n",
                label, kRounds, kFrames, sw, one, all, sw > 0 ? one / sw : 0, sw > 0 ? all / sw : 0);
}

void GameFrame(benchmark::State& state)
{
    Frame(state, "game frame", std::string(KRV_SOURCE_DIR) + "/tests/gl/software/traces/game.trace");
}
BENCHMARK(GameFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

#ifdef KRV_MISSION_TRACE
void MissionFrame(benchmark::State& state) { Frame(state, "mission frame", KRV_MISSION_TRACE); }
BENCHMARK(MissionFrame)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif

} // namespace
