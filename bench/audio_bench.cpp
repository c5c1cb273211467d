// Mixer throughput: frames mixed per second by each sample mixer, and the
// share of one core that 32 voices at 44.1 kHz take through the player.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/audio/paudiosound.h"

namespace {

struct MixerEntry {
    const char* name;
    PMixFunc fn;
    int srcBytesPerFrame;
    int outBytesPerFrame;
};

const MixerEntry kMixers[] = {
    {"Mono16_Mono16", PMix_Mono16_Mono16, 2, 2},       {"Mono16_Stereo16", PMix_Mono16_Stereo16, 2, 4},
    {"Mono16_Mono8", PMix_Mono16_Mono8, 2, 1},         {"Mono16_Stereo8", PMix_Mono16_Stereo8, 2, 2},
    {"Mono8_Mono16", PMix_Mono8_Mono16, 1, 2},         {"Mono8_Stereo16", PMix_Mono8_Stereo16, 1, 4},
    {"Mono8_Mono8", PMix_Mono8_Mono8, 1, 1},           {"Mono8_Stereo8", PMix_Mono8_Stereo8, 1, 2},
    {"Stereo16_Mono16", PMix_Stereo16_Mono16, 4, 2},   {"Stereo16_Stereo16", PMix_Stereo16_Stereo16, 4, 4},
    {"Stereo16_Mono8", PMix_Stereo16_Mono8, 4, 1},     {"Stereo16_Stereo8", PMix_Stereo16_Stereo8, 4, 2},
    {"Stereo8_Mono16", PMix_Stereo8_Mono16, 2, 2},     {"Stereo8_Stereo16", PMix_Stereo8_Stereo16, 2, 4},
    {"Stereo8_Mono8", PMix_Stereo8_Mono8, 2, 1},       {"Stereo8_Stereo8", PMix_Stereo8_Stereo8, 2, 2},
    {"ADPCM_Mono16", PMixADPCM_Mono16, 1, 2},          {"ADPCM_Stereo16", PMixADPCM_Stereo16, 1, 4},
    {"ADPCM_Mono8", PMixADPCM_Mono8, 1, 1},            {"ADPCM_Stereo8", PMixADPCM_Stereo8, 1, 2},
};

constexpr int kBlock = 1102; // 25 ms at 44.1 kHz

void BM_Mixer(benchmark::State& state)
{
    const MixerEntry& m = kMixers[state.range(0)];
    state.SetLabel(m.name);
    // A step just below 1.0 so the pick-up is exercised, over enough data
    // for one block.
    std::vector<unsigned char> data(size_t(kBlock + 8) * size_t(m.srcBytesPerFrame));
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (unsigned char)(i * 37);
    std::vector<unsigned char> out(size_t(kBlock) * size_t(m.outBytesPerFrame));
    PMixState s;
    s.data = data.data();
    s.step = 0xF000;
    s.left = 200;
    s.right = 180;
    for (auto _ : state) {
        s.Rewind(0);
        m.fn(&s, out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] = benchmark::Counter(double(kBlock) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Mixer)->DenseRange(0, int(sizeof kMixers / sizeof kMixers[0]) - 1);

class Device : public PAudioDevice {
public:
    Device() : PAudioDevice(nullptr)
    {
        PAudioDeviceSettings s{};
        s.bits = 16;
        s.channels = 2;
        s.rate = 44100;
        SetSettings(s);
    }
    int Start() override { return 0; }
    int Stop() override { return 0; }
    unsigned int SetVolume(unsigned int, int) override { return 0x01000100; }
    int GetVolume() override { return 0x01000100; }
};

// 32 looping voices (16-bit mono, 8-bit mono and ADPCM at assorted rates)
// mixed in 25 ms blocks; one iteration is one second of sound.
void BM_Player32Voices(benchmark::State& state)
{
    PAudioPlayer player(new Device());
    player.SetMixerChannels(32);
    std::vector<std::unique_ptr<PAudioSound>> sounds;
    for (int v = 0; v < 32; v++) {
        PAudioInfo info{};
        info.format = uint8_t(v % 3 == 0 ? 16 : (v % 3 == 1 ? 8 : 4));
        info.channels = 1;
        info.rate = uint16_t(11025 + 1000 * v);
        info.volume = 96;
        info.priority = 128;
        info.copies = 1;
        info.samples = 44100;
        info.loopEnd = info.samples;
        size_t bytes = size_t(PAudioDataBytes(info.format, 1, info.samples));
        auto* data = new unsigned char[bytes];
        for (size_t i = 0; i < bytes; i++)
            data[i] = (unsigned char)(i * 13 + size_t(v));
        sounds.emplace_back(new PAudioSound(data, info));
        player.Play(sounds.back().get(), 0, -1);
    }
    std::vector<unsigned char> block(kBlock * 4);
    for (auto _ : state) {
        for (int b = 0; b < 40; b++) // 40 blocks of 25 ms
            player.Mix(block.data(), int(block.size()));
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["voices"] = double(player.GetActiveCount());
    // Seconds of sound mixed per second of CPU; one core's share is its
    // inverse.
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Player32Voices)->Unit(benchmark::kMillisecond);

} // namespace
