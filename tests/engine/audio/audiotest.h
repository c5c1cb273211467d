// Shared helpers of the audio tests: a device without a thread and sounds
// made from known sample values.
#pragma once
#include <cstring>
#include <unistd.h>
#include <vector>

#include "engine/audio/paudio.h"
#include "engine/audio/paudiosound.h"

namespace audiotest {

// A device that only records Start and Stop: the tests drive Mix themselves.
class FakeDevice : public PAudioDevice {
public:
    explicit FakeDevice(int bits = 16, int channels = 1, int rate = 8000) : PAudioDevice(nullptr)
    {
        PAudioDeviceSettings s{};
        s.bits = uint8_t(bits);
        s.channels = uint8_t(channels);
        s.rate = uint32_t(rate);
        SetSettings(s);
    }
    int Start() override
    {
        starts++;
        return startResult;
    }
    int Stop() override
    {
        stops++;
        return 0;
    }
    unsigned int SetVolume(unsigned int, int) override { return 0x01000100; }
    int GetVolume() override { return 0x01000100; }

    int starts = 0;
    int stops = 0;
    int startResult = 0;
};

// A 16-bit mono sound whose sample i is base + i, at `rate` Hz.
inline PAudioSound* MakeSound(uint32_t samples, int priority = 128, int copies = 1, int base = 1000, int rate = 8000)
{
    PAudioInfo info{};
    info.format = 16;
    info.channels = 1;
    info.rate = uint16_t(rate);
    info.volume = 256;
    info.priority = uint8_t(priority);
    info.copies = uint8_t(copies);
    info.samples = samples;
    info.loopStart = 0;
    info.loopEnd = samples;
    auto* data = new unsigned char[samples * 2];
    for (uint32_t i = 0; i < samples; i++) {
        int16_t v = int16_t(base + int(i));
        std::memcpy(data + 2 * i, &v, 2);
    }
    return new PAudioSound(data, info);
}

// Mixes `frames` 16-bit mono frames through the player.
inline std::vector<int16_t> MixFrames(PAudioPlayer& p, int frames)
{
    std::vector<int16_t> out(static_cast<size_t>(frames));
    p.Mix(reinterpret_cast<unsigned char*>(out.data()), frames * 2);
    return out;
}

// Waits (as a guard against hangs, not a timing check) until what the player
// plays (a sound or a channel) has stopped; false when it never does.
template <class T> bool WaitDone(PAudioPlayer* p, T* playing)
{
    for (int i = 0; i < 20000; i++) {
        p->Lock();
        bool on = playing->IsPlaying();
        p->Unlock();
        if (!on)
            return true;
        usleep(500);
    }
    return false;
}

} // namespace audiotest
