// wasgen: writes weapon record files (wpnN.was) from a readable description
// and dumps existing ones through the game's own reader.
//
//   wasgen write IN.txt OUT.was   description -> record file
//   wasgen dump FILE.was          reads FILE as the game does and prints it
//                                 as a description; exit code 1 when refused
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "game/world/weaponsystem.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/was_writer.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out, "usage: wasgen write IN.txt OUT.was\n       wasgen dump FILE.was\n");
    return out == stdout ? 0 : 2;
}

bool Slurp(char const* path, std::string* out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

WasRecord Describe(MyWeapon const& w)
{
    WasRecord r;
    r.lead = w.lead;
    r.type = w.type, r.pair = w.pair, r.alternate = w.alternate, r.life = w.life;
    r.groundImpact = w.groundImpact, r.damage = w.damage;
    r.reloadMs = w.reload == 1 ? 0 : w.reload;
    r.hitRadius = w.hitRadius, r.speed = w.speed, r.drift = w.drift, r.gravity = w.gravity;
    r.muzzleSide = w.muzzleSide, r.muzzleDown = w.muzzleDown, r.quadWidth = w.quadWidth, r.quadHeight = w.quadHeight;
    for (size_t f = 0; f + 8 <= w.texCoords.size(); f += 8) {
        std::array<int32_t, 8> a{};
        for (size_t i = 0; i < 8; i++)
            a[i] = w.texCoords[f + i];
        r.frames.push_back(a);
    }
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc < 3)
        return Usage();
    std::string cmd = argv[1], text, err;
    if (!Slurp(argv[2], &text)) {
        std::fprintf(stderr, "wasgen: cannot read %s\n", argv[2]);
        return 1;
    }
    if (cmd == "write" && argc == 4) {
        WasRecord r;
        std::vector<uint8_t> bytes;
        if (!WasParseText(text, &r, &err) || !WasWrite(r, &bytes, &err) || !WriteFileAtomic(argv[3], bytes, &err)) {
            std::fprintf(stderr, "wasgen: %s: %s\n", argv[2], err.c_str());
            return 1;
        }
        return 0;
    }
    if (cmd == "dump" && argc == 3) {
        MyWeapon w;
        if (!w.Parse(reinterpret_cast<uint8_t const*>(text.data()), text.size())) {
            std::fprintf(stderr, "wasgen: %s is not a weapon record\n", argv[2]);
            return 1;
        }
        std::fputs(WasFormatText(Describe(w)).c_str(), stdout);
        return 0;
    }
    return Usage();
}
