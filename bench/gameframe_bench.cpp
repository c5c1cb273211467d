// The frame of play of the demo's first mission at the tablet's 1024 x 600,
// drawn through the OpenGL ES 1.1 back end (es1), the OpenGL ES 2.0 back end
// (es2, both on Mesa's llvmpipe) and the software renderer (sw), side by side
// in one run. The whole application runs as the program does (the platform
// layer, the demo archive, a returning player's profile, KRV_LEVEL=0 on the
// virtual clock); the mission's description is tapped away and the fire
// button held, then kFrames frames of play are measured, each finished
// (glFinish) before the clocks are read.
//
// Figures per back end: the mean and 95th percentile of the frame's wall
// time, the mean CPU time of the game's thread (the game and the driver's
// work on that thread; all of it on sw) and of the whole process (llvmpipe's
// rasterizer threads too), beside the goals: 10 ms on es1, 15 ms on sw. The
// goals are printed, never enforced. Each back end runs in a child process of
// its own, so that one's driver state cannot touch another's.
//
// For a run on two cores: taskset -c 0,1 bench_gameframe
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/graphics/p3d.h"
#include "engine/platform/pgameapp.h"
#include "engine/platform/psystemmanager.h"
#include "engine/runtime/ptime.h"
#include "game/world/korvanth.h"
#include "game/world/maingame.h"
#include "gl/glbackend.h"
#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostprocess.h"
#include "host/hostwindow.h"

namespace {

constexpr int kW = 1024, kH = 600;
constexpr int kWarmFrames = 40; // frames of play before the measurement (shader compiles, first uploads)
constexpr int kFrames = 400;    // measured frames: ten seconds of play

struct BackEnd {
    char const* name;
    int renderer;
    double goalMs; // 0: none
};
constexpr BackEnd kBackEnds[] = {
    {"es1", host::RENDERER_GLES1, 10.0},
    {"es2", host::RENDERER_GLES2, 0.0},
    {"sw", host::RENDERER_SOFTWARE, 15.0},
};

struct Figures {
    int ok = 0;
    int frames = 0;
    double wallMean = 0, wallP95 = 0, threadMean = 0, processMean = 0;
    char failure[96] = {};
};

double CpuSeconds(clockid_t id)
{
    timespec t{};
    clock_gettime(id, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Fail(Figures& f, char const* why)
{
    std::snprintf(f.failure, sizeof f.failure, "%s", why);
}

// The program's folders in a scratch directory: the archive as the
// installation's data.vfs, a returning player whose profile opens the first
// level of the first campaign.
bool MakeFolders(std::string const& top)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(top + "/app/native", ec);
    fs::create_directories(top + "/data/usr", ec);
    fs::create_directories(top + "/logs", ec);
    fs::create_symlink(KRV_DEMO_ARCHIVE, top + "/app/native/data.vfs", ec);
    if (ec)
        return false;
    std::ofstream(top + "/data/usr/profiles.cfg", std::ios::binary).write("\001\000", 2);
    std::string profile(31, '\0');
    profile[22] = 4;
    profile[23] = 1;
    std::ofstream(top + "/data/usr/profile_0", std::ios::binary).write(profile.data(), long(profile.size()));
    return true;
}

// Runs the application on one back end and measures its frames of play.
Figures Measure(BackEnd const& be)
{
    Figures f;
    char tmpl[] = "/tmp/krv_gameframe_XXXXXX";
    if (!::mkdtemp(tmpl)) {
        Fail(f, "no scratch directory");
        return f;
    }
    std::string const top = tmpl;
    if (!MakeFolders(top) || ::chdir(top.c_str()) != 0) {
        Fail(f, "no demo archive");
        return f;
    }
    ::setenv("VORNAPPPATH", (top + "/app/native/").c_str(), 1);
    ::setenv("VORNAPP_SAVEPATH", (top + "/data/").c_str(), 1);
    ::setenv("KRV_AUDIO", "null", 1);
    ::setenv("KRV_LEVEL", "0", 1);
    host::Options o;
    o.mode = host::MODE_HEADLESS;
    o.renderer = be.renderer;
    o.width = kW;
    o.height = kH;
    o.exitGraceMs = 0;
    o.opener = "";
    host::Configure(o);
    host::PrepareLogFolder();
    PSetVirtualClock(1);
    if (!host::EventServiceStart()) {
        Fail(f, "the event service did not start");
        return f;
    }
    auto* sysman = new PRimSystemManager();
    m_global_sysman = sysman;
    KorvanthApp* app = nullptr;
    if (sysman->Init(nullptr))
        app = dynamic_cast<KorvanthApp*>(sysman->m_app);
    auto pass = [&] {
        PAdvanceVirtualClock(25);
        app->MainLoop();
        sysman->HandleEvents();
    };
    auto touch = [&](int x, int y, int down) { app->OnMouseButton(x, y, 0, PPointerWord(0, down)); };
    // Start-up: the intro's pictures tapped away, the level started from the
    // menu state, loaded in its steps.
    for (int i = 0; app && i < 2000 && app->State() != STATE_GAME; ++i) {
        if (app->State() == STATE_INTRO)
            touch(100, 200, i & 1);
        pass();
    }
    if (!app || app->State() != STATE_GAME || !app->Game()) {
        Fail(f, "the level did not start");
    } else {
        // The description tapped away, then the fire button held.
        for (int i = 0; i < 100 && app->Game()->DescriptionShown(); ++i) {
            touch(500, 300, i & 1);
            pass();
        }
        touch(1000, 300, 1);
        std::vector<double> wall;
        double thread = 0, process = 0;
        P3D* ctx = app->Context();
        for (int i = 0; i < kWarmFrames + kFrames && app->State() == STATE_GAME; ++i) {
            PAdvanceVirtualClock(25);
            unsigned const before = host::FramesPresented();
            double const t0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID), p0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
            auto const w0 = std::chrono::steady_clock::now();
            app->MainLoop();
            if (ctx && ctx->GetBackend())
                ctx->GetBackend()->glFinish();
            double const ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count();
            double const t1 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID), p1 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
            sysman->HandleEvents();
            if (i < kWarmFrames || host::FramesPresented() == before)
                continue;
            wall.push_back(ms);
            thread += (t1 - t0) * 1e3;
            process += (p1 - p0) * 1e3;
        }
        if (app->State() != STATE_GAME || app->Game()->GetPauseState() != MainGame::PAUSE_NONE)
            Fail(f, "play stopped before the frames were measured");
        if (!wall.empty()) {
            f.frames = int(wall.size());
            for (double w : wall)
                f.wallMean += w;
            f.wallMean /= double(wall.size());
            f.threadMean = thread / double(wall.size());
            f.processMean = process / double(wall.size());
            std::sort(wall.begin(), wall.end());
            f.wallP95 = wall[std::min(wall.size() - 1, wall.size() * 95 / 100)];
            f.ok = !f.failure[0];
        }
    }
    delete sysman;
    host::EventServiceStop();
    std::error_code ec;
    std::filesystem::remove_all(top, ec);
    return f;
}

Figures MeasureChild(BackEnd const& be)
{
    Figures f;
    int fds[2];
    if (pipe(fds) != 0)
        return f;
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return f;
    }
    if (pid == 0) {
        close(fds[0]);
        // The game's log lines stay in its log file, out of the figures.
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            _exit(1);
        Figures r = Measure(be);
        ssize_t w = write(fds[1], &r, sizeof r);
        _exit(w == ssize_t(sizeof r) ? 0 : 1);
    }
    close(fds[1]);
    if (read(fds[0], &f, sizeof f) != ssize_t(sizeof f))
        f = Figures{};
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return f;
}

void GameFrame(benchmark::State& state)
{
    setenv("EGL_PLATFORM", "surfaceless", 0);
    Figures figures[std::size(kBackEnds)];
    for (auto _ : state)
        for (size_t b = 0; b < std::size(kBackEnds); ++b)
            figures[b] = MeasureChild(kBackEnds[b]);
    std::printf("demo mission, %d x %d, %d frames of play after %d:\n", kW, kH, kFrames, kWarmFrames);
    std::printf("  %-4s %10s %10s %12s %13s %8s\n", "", "wall ms", "wall p95", "thread cpu", "process cpu", "goal");
    for (size_t b = 0; b < std::size(kBackEnds); ++b) {
        BackEnd const& be = kBackEnds[b];
        Figures const& f = figures[b];
        if (!f.ok) {
            std::printf("  %-4s failed: %s\n", be.name, f.failure[0] ? f.failure : "no figures");
            continue;
        }
        char goal[32] = "-";
        if (be.goalMs > 0)
            std::snprintf(goal, sizeof goal, "%.0f %s", be.goalMs, f.threadMean <= be.goalMs ? "met" : "missed");
        std::printf("  %-4s %10.2f %10.2f %12.2f %13.2f %8s\n", be.name, f.wallMean, f.wallP95, f.threadMean,
                    f.processMean, goal);
        state.counters[std::string(be.name) + "_wall_ms"] = f.wallMean;
        state.counters[std::string(be.name) + "_cpu_ms"] = f.threadMean;
    }
}
BENCHMARK(GameFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
