// Mixer throughput: frames mixed per second by each sample mixer, and the
// share of one core that 32 voices at 44.1 kHz take through the player.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bench/null_audio_device.h"
#include "engine/audio/paudiosound.h"
#include "engine/audio/pmusicmodule.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/songtext.h"

#ifdef KRV_HAVE_LIBXMP
#include <xmp.h>
#endif

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

// 32 looping voices (16-bit mono, 8-bit mono and ADPCM at assorted rates)
// mixed in 25 ms blocks; one iteration is one second of sound.
void BM_Player32Voices(benchmark::State& state)
{
    PAudioPlayer player(new nullaudio::Device(16, 2, 44100));
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

// A 32-channel song: every channel holds a looping note that changes every
// few rows, with vibrato, volume slides and portamento on some channels.
const SongText& Song32()
{
    static SongText song = [] {
        std::string text = "type xm\nspeed 6\ntempo 125\nchannels 32\n"
                           "sample a sine 64\nsample b saw 100 bits 8\nsample c square 50\n"
                           "order 0 0\npattern 0 rows 64\n";
        static const char* kNotes[] = {"C-3", "E-3", "G-3", "C-4", "E-4", "G-4", "B-4", "D-5"};
        static const char* kSamples[] = {"a", "b", "c"};
        static const char* kFx[] = {". .", "4 34", "9 01", "1 02", "2 02", "0 37"};
        for (int row = 0; row < 64; row += 4) {
            text += std::to_string(row) + ":";
            for (int ch = 0; ch < 32; ch++) {
                text += std::string(ch ? " | " : " ") + kNotes[(row / 4 + ch) % 8] + " " + kSamples[ch % 3] + " " +
                        kFx[(row / 4 + ch) % 6];
            }
            text += "\n";
        }
        SongText s;
        std::string err;
        SongParse(text, ".", &s, &err);
        return s;
    }();
    return song;
}

// One iteration: one second of the song, 16-bit stereo at 44.1 kHz.
void BM_Module32Channels(benchmark::State& state)
{
    std::vector<uint8_t> pmf;
    std::string err;
    PmodBuild(Song32().pmod, &pmf, &err);
    PMemStream in(pmf.data(), long(pmf.size()));
    std::unique_ptr<PMusicModulePlayer> m(PMusicModulePlayer::LoadStream(in));
    if (!m) {
        state.SkipWithError("module did not load");
        return;
    }
    PAudioPlayer player(new nullaudio::Device(16, 2, 44100));
    player.Play(m.get(), 0, -1);
    std::vector<unsigned char> block(kBlock * 4);
    for (auto _ : state) {
        for (int b = 0; b < 40; b++)
            player.Mix(block.data(), int(block.size()));
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    player.Stop(m.get());
}
BENCHMARK(BM_Module32Channels)->Unit(benchmark::kMillisecond);

#ifdef KRV_HAVE_LIBXMP
// The XM build of the same song through libxmp (nearest-sample pick-up, as
// the engine does).
void BM_Module32ChannelsLibxmp(benchmark::State& state)
{
    std::vector<uint8_t> xm;
    std::string err;
    SongToXm(Song32(), &xm, &err);
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, xm.data(), long(xm.size())) != 0) {
        state.SkipWithError("libxmp did not load the module");
        xmp_free_context(ctx);
        return;
    }
    xmp_start_player(ctx, 44100, 0);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    std::vector<int16_t> block(kBlock * 2);
    for (auto _ : state) {
        for (int b = 0; b < 40; b++)
            xmp_play_buffer(ctx, block.data(), int(block.size() * 2), 0);
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}
BENCHMARK(BM_Module32ChannelsLibxmp)->Unit(benchmark::kMillisecond);
#endif

} // namespace
