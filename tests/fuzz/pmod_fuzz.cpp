// Module files from untrusted bytes: loading must refuse or give a module
// that plays without reading outside its data; a song that never ends is
// fine, so playing is bounded.
#include <cstdint>
#include <memory>
#include <vector>

#include "bench/null_audio_device.h"
#include "engine/audio/pmusicmodule.h"
#include "engine/runtime/pstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> copy(data, data + size);
    PMemStream s(copy.data(), long(copy.size()));
    std::unique_ptr<PMusicModulePlayer> m(PMusicModulePlayer::LoadStream(s));
    if (!m)
        return 0;
    for (int out = 0; out < 2; out++) {
        PAudioPlayer player(new nullaudio::Device(out ? 8 : 16, out ? 1 : 2, 22050));
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
