// psnd: writes PSND sound files and plays them through the engine's own
// player and mixers into a WAV file.
//
//   psnd encode IN.wav OUT.psn [--adpcm] [--loop START END]
//   psnd play IN.psn OUT.wav [--volume V] [--pan P] [--freq HZ]
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/audio/paudiosound.h"
#include "engine/audio/paudiowaveout.h"
#include "host/pcm.h"
#include "tools/lib/psndwriter.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/wavfile.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out,
                 "usage: psnd encode IN.wav OUT.psn [--adpcm] [--loop START END]\n"
                 "       psnd play IN.psn OUT.wav [--volume V] [--pan P] [--freq HZ]\n");
    return out == stdout ? 0 : 2;
}

bool ParseInt(const char* s, long lo, long hi, long* out)
{
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

int Encode(int argc, char** argv)
{
    if (argc < 4)
        return Usage();
    bool adpcm = false;
    bool loop = false;
    long loopStart = 0, loopEnd = 0;
    for (int i = 4; i < argc; i++) {
        if (std::strcmp(argv[i], "--adpcm") == 0) {
            adpcm = true;
        } else if (std::strcmp(argv[i], "--loop") == 0 && i + 2 < argc) {
            if (!ParseInt(argv[i + 1], 0, UINT_MAX, &loopStart) || !ParseInt(argv[i + 2], 0, UINT_MAX, &loopEnd))
                return Usage();
            loop = true;
            i += 2;
        } else {
            return Usage();
        }
    }
    WavData wav;
    std::string err;
    if (!WavRead(argv[2], &wav, &err)) {
        std::fprintf(stderr, "psnd: %s: %s\n", argv[2], err.c_str());
        return 1;
    }
    if (wav.rate <= 0 || wav.rate > 65535) {
        std::fprintf(stderr, "psnd: a sound's rate must be 1-65535 Hz (got %d)\n", wav.rate);
        return 1;
    }
    const size_t frames = wav.Frames();
    if (frames == 0 || frames > 0x7FFFFFFF) {
        std::fprintf(stderr, "psnd: %s holds no usable samples\n", argv[2]);
        return 1;
    }
    if (loop && (loopEnd > long(frames) || loopStart >= loopEnd)) {
        std::fprintf(stderr, "psnd: the loop must lie inside the %zu samples\n", frames);
        return 1;
    }
    PsndFields f;
    f.rate = wav.rate;
    f.samples = int64_t(frames);
    f.loop = loop;
    f.loopStart = uint32_t(loopStart);
    f.loopEnd = uint32_t(loopEnd);
    std::vector<uint8_t> data;
    if (adpcm) {
        // ADPCM is mono: stereo is averaged.
        std::vector<int16_t> pcm(frames);
        for (size_t i = 0; i < frames; i++) {
            int s = wav.Sample16(i, 0);
            if (wav.channels == 2)
                s = (s + wav.Sample16(i, 1)) >> 1;
            pcm[i] = int16_t(s);
        }
        data = AdpcmEncode(pcm.data(), frames);
        f.format = 4;
        f.channels = 1;
    } else {
        f.format = wav.bits;
        f.channels = wav.channels;
        data = wav.data;
        if (wav.bits == 8) // WAV bytes are unsigned, PSND bytes signed
            for (auto& b : data)
                b ^= 0x80;
    }
    if (!WriteFileAtomic(argv[3], PsndBuild(f, data.data(), data.size()), &err)) {
        std::fprintf(stderr, "psnd: %s\n", err.c_str());
        return 1;
    }
    return 0;
}

int Play(int argc, char** argv)
{
    if (argc < 4)
        return Usage();
    long volume = -1, pan = -1, freq = -1;
    for (int i = 4; i < argc; i += 2) {
        long* target = nullptr;
        long lo = 0, hi = 0;
        if (std::strcmp(argv[i], "--volume") == 0) {
            target = &volume;
            hi = 32767;
        } else if (std::strcmp(argv[i], "--pan") == 0) {
            target = &pan;
            hi = 256;
        } else if (std::strcmp(argv[i], "--freq") == 0) {
            target = &freq;
            lo = 1;
            hi = 1000000;
        }
        if (!target || i + 1 >= argc || !ParseInt(argv[i + 1], lo, hi, target))
            return Usage();
    }
    // The engine's file paths are relative to its data directories; a tool
    // names files from where it runs.
    char full[PATH_MAX];
    if (!realpath(argv[2], full)) {
        std::fprintf(stderr, "psnd: cannot find %s\n", argv[2]);
        return 1;
    }
    std::unique_ptr<PAudioSound> sound(PAudioSound::Load(full));
    if (!sound) {
        std::fprintf(stderr, "psnd: %s is not a playable PSND sound\n", argv[2]);
        return 1;
    }
    // Twenty times real time: the thread and the sink run as in the game.
    HostPcmSelect(HOST_PCM_WAV, argv[3], 2000);
    std::unique_ptr<PAudioPlayer> player(PAudioPlayer::Open(nullptr));
    if (!player) {
        std::fprintf(stderr, "psnd: cannot open the output\n");
        return 1;
    }
    if (volume >= 0)
        sound->SetVolume(int(volume));
    if (pan >= 0) {
        int l, r;
        sound->GetVolume2(l, r);
        sound->SetPan(int(pan), false, 128, false);
        int pl, pr;
        sound->GetVolume2(pl, pr);
        sound->SetVolume2(pl * l / 256, pr * r / 256);
    }
    if (freq > 0)
        sound->SetFrequency(int(freq));
    if (!player->Play(sound.get(), 0, 0)) {
        std::fprintf(stderr, "psnd: the player refused the sound\n");
        return 1;
    }
    if (player->Start() != 0) {
        std::fprintf(stderr, "psnd: cannot start the output\n");
        return 1;
    }
    for (;;) {
        player->Lock();
        bool playing = sound->IsPlaying();
        player->Unlock();
        if (!playing)
            break;
        usleep(1000);
    }
    player->Stop();
    player.reset(); // the WAV file is complete once the device is closed
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc < 2)
        return Usage();
    if (std::strcmp(argv[1], "encode") == 0)
        return Encode(argc, argv);
    if (std::strcmp(argv[1], "play") == 0)
        return Play(argc, argv);
    return Usage();
}
