// PSND records from untrusted bytes: loading must refuse or give a sound
// that every output format mixes without reading outside its data.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/null_audio_device.h"
#include "engine/audio/paudiosound.h"
#include "engine/runtime/pstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> copy(data, data + size);
    PMemStream s(copy.data(), long(copy.size()));
    std::unique_ptr<PAudioSound> snd(PAudioSound::Load(s));
    if (!snd)
        return 0;
    static const int kOut[][3] = {{16, 2, 44100}, {8, 1, 8000}, {16, 1, 11025}, {8, 2, 96000}};
    for (const auto& o : kOut) {
        PAudioPlayer player(new nullaudio::Device(o[0], o[1], o[2]));
        // Prepared afresh for each output; looping twice through the loop.
        snd->Unprepare();
        if (!player.Play(snd.get(), 1, 2))
            continue;
        // At most 16 KB of each output: enough for a short sound to loop,
        // little enough that every input is quick.
        std::vector<unsigned char> block(1024);
        for (int i = 0; i < 16 && snd->IsPlaying(); i++)
            player.Mix(block.data(), int(block.size()));
        player.Stop(snd.get());
    }
    return 0;
}
