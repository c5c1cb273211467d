// pmod: compiles a song text into a PMOD module (and, for checking, an XM
// module) and renders modules through the engine's player into WAV files.
//
//   pmod build SONG.txt OUT.pmf [--xm OUT.xm]
//   pmod render IN.pmf OUT.wav [--seconds N]
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/audio/pmusicmodule.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/songtext.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/wavfile.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out,
                 "usage: pmod build SONG.txt OUT.pmf [--xm OUT.xm]\n"
                 "       pmod render IN.pmf OUT.wav [--seconds N]\n");
    return out == stdout ? 0 : 2;
}

// A device without a thread: rendering pulls blocks as fast as it can.
class RenderDevice : public PAudioDevice {
public:
    RenderDevice() : PAudioDevice(nullptr)
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

int Build(int argc, char** argv)
{
    if (argc != 4 && !(argc == 6 && std::strcmp(argv[4], "--xm") == 0))
        return Usage();
    std::vector<uint8_t> text;
    std::string err;
    if (!ReadFileBytes(argv[2], &text, &err)) {
        std::fprintf(stderr, "pmod: %s\n", err.c_str());
        return 1;
    }
    std::string dir = argv[2];
    size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    SongText song;
    if (!SongParse(std::string(text.begin(), text.end()), dir, &song, &err)) {
        std::fprintf(stderr, "pmod: %s: %s\n", argv[2], err.c_str());
        return 1;
    }
    std::vector<uint8_t> pmf;
    if (!PmodBuild(song.pmod, &pmf, &err) || !WriteFileAtomic(argv[3], pmf, &err)) {
        std::fprintf(stderr, "pmod: %s\n", err.c_str());
        return 1;
    }
    if (argc == 6) {
        std::vector<uint8_t> xm;
        if (!SongToXm(song, &xm, &err) || !WriteFileAtomic(argv[5], xm, &err)) {
            std::fprintf(stderr, "pmod: %s\n", err.c_str());
            return 1;
        }
    }
    return 0;
}

int Render(int argc, char** argv)
{
    long seconds = 600;
    if (argc == 6 && std::strcmp(argv[4], "--seconds") == 0) {
        char* end = nullptr;
        seconds = std::strtol(argv[5], &end, 10);
        if (*end || seconds < 1 || seconds > 3600)
            return Usage();
    } else if (argc != 4) {
        return Usage();
    }
    std::vector<uint8_t> bytes;
    std::string err;
    if (!ReadFileBytes(argv[2], &bytes, &err)) {
        std::fprintf(stderr, "pmod: %s\n", err.c_str());
        return 1;
    }
    PMemStream in(bytes.data(), long(bytes.size()));
    std::unique_ptr<PMusicModulePlayer> mod(PMusicModulePlayer::LoadStream(in));
    if (!mod) {
        std::fprintf(stderr, "pmod: %s is not a playable module\n", argv[2]);
        return 1;
    }
    PAudioPlayer player(new RenderDevice());
    if (!player.Play(mod.get(), 0, 0)) {
        std::fprintf(stderr, "pmod: the player refused the module\n");
        return 1;
    }
    WavData wav;
    wav.bits = 16;
    wav.channels = 2;
    wav.rate = 44100;
    std::vector<unsigned char> block(1102 * 4);
    for (long b = 0; b < seconds * 40 && mod->IsPlaying(); b++) {
        player.Mix(block.data(), int(block.size()));
        wav.data.insert(wav.data.end(), block.begin(), block.end());
    }
    player.Stop(mod.get());
    if (!WavWrite(argv[3], wav)) {
        std::fprintf(stderr, "pmod: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc < 2)
        return Usage();
    if (std::strcmp(argv[1], "build") == 0)
        return Build(argc, argv);
    if (std::strcmp(argv[1], "render") == 0)
        return Render(argc, argv);
    return Usage();
}
