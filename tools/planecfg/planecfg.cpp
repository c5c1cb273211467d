// planecfg: writes aircraft definition files (configN.txt) from a readable
// description and checks existing ones with the game's own reader.
//
//   planecfg write IN.txt OUT.txt   description -> definition file
//   planecfg check FILE.txt         reads FILE as the game does and prints
//                                   what it read as a description (the paths
//                                   relative to the folder, the engine rates
//                                   as numbers); exit code 1 when refused
#include <cstdio>
#include <string>
#include <vector>

#include "game/world/planesmanager.h"
#include "tools/lib/planecfg_writer.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out, "usage: planecfg write IN.txt OUT.txt\n       planecfg check FILE.txt\n");
    return out == stdout ? 0 : 2;
}

std::string Relative(std::string const& path, std::string const& prefix)
{
    return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
}

PlaneCfg Describe(PlaneConfig const& c)
{
    PlaneCfg d;
    std::string scenes = c.folder + "scenes\\";
    d.name = c.name;
    d.armour = c.armour;
    d.speed = c.speed;
    d.controls = c.preset;
    d.rate1 = std::to_string(c.engineRate1);
    d.rate2 = std::to_string(c.engineRate2);
    d.folder = c.folder;
    d.scene = Relative(c.scenePath, scenes);
    for (auto const& r : c.rotorPaths)
        d.rotors.push_back(Relative(r, scenes));
    d.rotorNulls = c.rotorNulls;
    d.gunfire = c.gunfire, d.flapLeft = c.flapLeft, d.flapRight = c.flapRight, d.rudder = c.rudder;
    for (auto const& lp : c.lods) {
        PlaneConfig const& l = *lp;
        PlaneCfgLod o;
        o.scene = Relative(l.scenePath, scenes);
        for (size_t i = 0; i < l.rotorPaths.size(); i++)
            o.rotors.push_back(l.rotorReuse[i] >= 0 ? PlaneCfgRotor{"", l.rotorReuse[i]}
                                                    : PlaneCfgRotor{Relative(l.rotorPaths[i], scenes), -1});
        o.rotorNulls = l.rotorNulls;
        o.gunfire = l.gunfire, o.flapLeft = l.flapLeft, o.flapRight = l.flapRight, o.rudder = l.rudder;
        d.lods.push_back(o);
    }
    return d;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc < 3)
        return Usage();
    std::string cmd = argv[1], err;
    std::vector<uint8_t> in;
    if (!ReadFileBytes(argv[2], &in, &err)) {
        std::fprintf(stderr, "planecfg: %s\n", err.c_str());
        return 1;
    }
    if (cmd == "write" && argc == 4) {
        PlaneCfg cfg;
        std::string bytes;
        if (!PlaneCfgParseText(std::string(in.begin(), in.end()), &cfg, &err) || !PlaneCfgWrite(cfg, &bytes, &err)) {
            std::fprintf(stderr, "planecfg: %s: %s\n", argv[2], err.c_str());
            return 1;
        }
        if (!WriteFileAtomic(argv[3], bytes.data(), bytes.size(), &err)) {
            std::fprintf(stderr, "planecfg: %s\n", err.c_str());
            return 1;
        }
        return 0;
    }
    if (cmd == "check" && argc == 3) {
        auto c = PlanesManager::ParseConfig(reinterpret_cast<const char*>(in.data()), int(in.size()));
        if (!c) {
            std::fprintf(stderr, "planecfg: %s is not a valid aircraft definition\n", argv[2]);
            return 1;
        }
        std::fputs(PlaneCfgFormatText(Describe(*c)).c_str(), stdout);
        return 0;
    }
    return Usage();
}
