// The platform layer's own costs: parsing an event script, pumping scripted
// touches into an application, and saving a presented frame as PNG.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "engine/platform/pgameapp.h"
#include "engine/platform/psystemmanager.h"
#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostscript.h"
#include "host/hostwindow.h"

namespace {

class CountingApp : public PGameApp {
public:
    int Init() override { return 1; }
    int MainLoop() override { return 1; }
    int OnMouseButton(int, int, int, int) override { return ++touches; }
    int OnMouseMove(int, int, int) override { return ++touches; }
    int touches = 0;
};

std::string TouchScript(int strokes)
{
    std::string s;
    for (int i = 0; i < strokes; ++i) {
        s += "0 down 1 100 200\n";
        s += "0 move 1 110 210\n";
        s += "0 up 1 120 220\n";
    }
    return s;
}

void BM_ParseScript(benchmark::State& state)
{
    std::string text = TouchScript(int(state.range(0)));
    std::vector<host::ScriptItem> items;
    for (auto _ : state) {
        host::ParseScript(text.data(), text.size(), &items);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(items.size()));
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_ParseScript)->Arg(1000);

void BM_PumpTouches(benchmark::State& state)
{
    host::Options o;
    o.mode = host::MODE_HEADLESS;
    o.activate = 0;
    o.scriptText = TouchScript(int(state.range(0)));
    host::Configure(o);
    int64_t events = 0;
    for (auto _ : state) {
        state.PauseTiming();
        host::EventServiceStart();
        PRimSystemManager sysman;
        sysman.Init(nullptr);
        state.ResumeTiming();
        sysman.HandleEvents();
        events += static_cast<CountingApp*>(sysman.m_app)->touches;
        state.PauseTiming();
        host::EventServiceStop();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(events);
}
BENCHMARK(BM_PumpTouches)->Arg(1000);

void BM_WritePngFrame(benchmark::State& state)
{
    const int w = 1024, h = 600;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t((i / 3) % w * 255 / w); // a horizontal ramp
    std::string path = "/tmp/krv_bench_frame_" + std::to_string(getpid()) + ".png";
    for (auto _ : state)
        benchmark::DoNotOptimize(host::WritePng(path.c_str(), rgb.data(), w, h, 3, w * 3));
    unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * int64_t(rgb.size()));
}
BENCHMARK(BM_WritePngFrame)->Unit(benchmark::kMillisecond);

} // namespace

PGameApp* PGameApp::Create()
{
    return new CountingApp();
}
