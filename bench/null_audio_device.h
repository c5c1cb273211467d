// An audio device that plays nothing and has no thread: whoever holds the
// player pulls mixed blocks as fast as it likes. The mixer benchmarks and the
// sound and module fuzz targets play through it.
#pragma once
#include <cstdint>

#include "engine/audio/paudio.h"

namespace nullaudio {

class Device : public PAudioDevice {
public:
    Device(int bits, int channels, int rate) : PAudioDevice(nullptr)
    {
        PAudioDeviceSettings s{};
        s.bits = uint8_t(bits);
        s.channels = uint8_t(channels);
        s.rate = uint32_t(rate);
        SetSettings(s);
    }
    int Start() override { return 0; }
    int Stop() override { return 0; }
    unsigned int SetVolume(unsigned int, int) override { return 0x01000100; }
    int GetVolume() override { return 0x01000100; }
};

} // namespace nullaudio
