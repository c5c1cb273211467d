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
    // A short stretch in 16-bit stereo, then two seconds of song in 8-bit
    // mono at a low rate, which reach later rows and their effects for a
    // fraction of the mixing.
    static const int kOut[][4] = {{16, 2, 22050, 8}, {8, 1, 8000, 32}};
    for (const auto& o : kOut) {
        PAudioPlayer player(new nullaudio::Device(o[0], o[1], o[2]));
        m->Unprepare();
        if (!player.Play(m.get(), 1, 2))
            continue;
        std::vector<unsigned char> block(512);
        for (int i = 0; i < o[3] && m->IsPlaying(); i++)
            player.Mix(block.data(), int(block.size()));
        player.Stop(m.get());
    }
    return 0;
}
