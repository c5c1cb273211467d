// The desktop sound sink through SDL2 itself, without a sound card: SDL's
// "disk" audio driver writes what the device plays into a file. Every sample
// written must come out in order; the driver may add silence around them (and
// between them after an underrun on a busy machine), so silence is dropped
// before comparing, and the test's samples are never silent.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/pcm.h"

namespace {

TEST(SdlSink, PlaysEverySampleInOrderThroughTheDiskDriver)
{
    char dir[] = "/tmp/krv_sdlXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/played.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);

    HostPcmParams params = {16, 2, 22050, 2048};
    char const* why = nullptr;
    HostPcm* pcm = HostPcmOpenSdl(params, &why);
    ASSERT_NE(pcm, nullptr) << (why ? why : "");

    // A quarter of a second of a stereo ramp with no zero sample.
    std::vector<int16_t> samples(22050 / 4 * 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t((i % 2 ? -1 : 1) * int(1 + i % 30000));
    auto const* bytes = reinterpret_cast<uint8_t const*>(samples.data());
    int left = int(samples.size() * 2), done = 0, underruns = 0;
    for (int tries = 0; left > 0 && tries < 20000; ++tries) {
        int err = 0;
        int n = pcm->Write(bytes + done, left, &err);
        if (n > 0) {
            done += n;
            left -= n;
        } else if (err == HOST_PCM_EIO && pcm->Status() == HOST_PCM_UNDERRUN) {
            ++underruns;
            ASSERT_EQ(pcm->Prepare(), 0);
        }
        if (left > 0 && n < left)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(left, 0);
    EXPECT_EQ(pcm->Drain(), 0);
    delete pcm; // closes the device and its file
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");

    std::ifstream in(file, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(raw.size() % 4, 0u);
    std::vector<int16_t> played;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) {
        int16_t l = int16_t(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8);
        int16_t r = int16_t(uint8_t(raw[i + 2]) | uint8_t(raw[i + 3]) << 8);
        if (l != 0 || r != 0) {
            played.push_back(l);
            played.push_back(r);
        }
    }
    EXPECT_EQ(played, samples) << underruns << " underruns";
    EXPECT_EQ(std::system((std::string("rm -rf '") + dir + "'").c_str()), 0);
}


// The default sink on a machine whose sound output cannot be opened: the
// output is tried once, whatever the sound library prints is kept off the
// terminal, one log line says the game runs without sound, and every open
// still gives a (silent) sink.
TEST(SdlSink, WithoutSoundOutputTheDefaultRunsSilentAndSaysSoOnce)
{
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("AUDIODEV", "krv_no_such_device", 1);
    HostPcmSelect(HOST_PCM_DEFAULT, nullptr, 0);
    HostPcmParams params = {16, 2, 22050, 2048};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 2; ++i) {
        HostPcm* pcm = HostPcmOpen(params);
        EXPECT_NE(pcm, nullptr);
        delete pcm;
    }
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("AUDIODEV");
    HostPcmSelect(HOST_PCM_DEFAULT);
    EXPECT_EQ(err, "");
    size_t first = out.find("the game runs without sound");
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_EQ(out.find("the game runs without sound", first + 1), std::string::npos) << out;
}

} // namespace
