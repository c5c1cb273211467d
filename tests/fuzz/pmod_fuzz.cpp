// Module files from untrusted bytes: loading must refuse or give a module
// that plays without reading outside its data; a song that never ends is
// fine, so playing is bounded.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/audio/pmusicmodule.h"
#include "engine/runtime/pstream.h"

namespace {

class Device : public PAudioDevice {
public:
    Device(int bits, int channels) : PAudioDevice(nullptr)
    {
        PAudioDeviceSettings s{};
        s.bits = uint8_t(bits);
        s.channels = uint8_t(channels);
        s.rate = 22050;
        SetSettings(s);
    }
    int Start() override { return 0; }
    int Stop() override { return 0; }
    unsigned int SetVolume(unsigned int, int) override { return 0x01000100; }
    int GetVolume() override { return 0x01000100; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> copy(data, data + size);
    PMemStream s(copy.data(), long(copy.size()));
    std::unique_ptr<PMusicModulePlayer> m(PMusicModulePlayer::LoadStream(s));
    if (!m)
        return 0;
    for (int out = 0; out < 2; out++) {
        PAudioPlayer player(new Device(out ? 8 : 16, out ? 1 : 2));
        m->Unprepare();
        if (!player.Play(m.get(), 1, 2))
            continue;
        std::vector<unsigned char> block(2048);
        for (int i = 0; i < 200 && m->IsPlaying(); i++)
            player.Mix(block.data(), int(block.size()));
        player.Stop(m.get());
    }
    return 0;
}
