// levelscfg: builds the level catalogue levels.cfg from a readable table
// and prints a catalogue back as that table (read with the game's reader).
//
//   levelscfg build TABLE.txt OUT.cfg
//   levelscfg dump IN.cfg
//
// The table has one row per level; '#' starts a comment. Fields, separated by
// blanks (strings in double quotes, no escapes):
//
//   title name script campaign mission mode ceiling timer maps source
//
// title: text id of the level title; name: the level's name; script: the
// script name as the game is given it ("data_to_make\scripts\txt\c1m1" loads
// data\scripts\c1m1.bin); mode: SINGLEPLAYER, MULTIPLAYER, TIMEATTACK,
// ARCADE, TUTORIAL or 0-4; ceiling: flight ceiling; timer: off, up:M:SS or
// down:M:SS; maps: number of arcade maps; source: the text file of the title.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/world/levelsmanager.h"
#include "tools/lib/levelscfg_writer.h"
#include "tools/lib/toolcli.h"
#include "tools/lib/toolfile.h"

namespace {

constexpr char kUsage[] = "usage: levelscfg build TABLE.txt OUT.cfg\n       levelscfg dump IN.cfg\n";

char const* const kModes[] = {"SINGLEPLAYER", "MULTIPLAYER", "TIMEATTACK", "ARCADE", "TUTORIAL"};

// Splits a row into fields; false for a string without its closing quote.
bool Fields(std::string const& row, std::vector<std::string>& out, std::vector<bool>& quoted)
{
    size_t i = 0, n = row.size();
    while (i < n) {
        while (i < n && (row[i] == ' ' || row[i] == '\t' || row[i] == '\r'))
            i++;
        if (i >= n || row[i] == '#')
            break;
        if (row[i] == '"') {
            size_t close = row.find('"', i + 1);
            if (close == std::string::npos)
                return false;
            out.push_back(row.substr(i + 1, close - i - 1));
            quoted.push_back(true);
            i = close + 1;
        } else {
            size_t b = i;
            while (i < n && row[i] != ' ' && row[i] != '\t' && row[i] != '\r' && row[i] != '#')
                i++;
            out.push_back(row.substr(b, i - b));
            quoted.push_back(false);
        }
    }
    return true;
}

bool Number(std::string const& s, long lo, long hi, long& v)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    v = std::strtol(s.c_str(), &end, 0);
    return *end == 0 && v >= lo && v <= hi;
}

bool Timer(std::string const& s, levelscfg::Level& l)
{
    if (s == "off")
        return true;
    size_t colon = s.find(':');
    if (colon == std::string::npos)
        return false;
    std::string dir = s.substr(0, colon), rest = s.substr(colon + 1);
    size_t second = rest.find(':');
    long m, sec;
    if ((dir != "up" && dir != "down") || second == std::string::npos || !Number(rest.substr(0, second), 0, 255, m) ||
        !Number(rest.substr(second + 1), 0, 255, sec))
        return false;
    l.timerOn = 1;
    l.timerDirection = dir == "down" ? 1 : 0;
    l.timerMinutes = uint8_t(m);
    l.timerSeconds = uint8_t(sec);
    return true;
}

bool ParseRow(std::vector<std::string> const& f, std::vector<bool> const& quoted, levelscfg::Level& l,
              std::string& why)
{
    if (f.size() != 10) {
        why = "expected 10 fields, found " + std::to_string(f.size());
        return false;
    }
    long v;
    if (!Number(f[0], -0x7FFFFFFFl - 1, 0x7FFFFFFFl, v)) {
        why = "bad title id \"" + f[0] + "\"";
        return false;
    }
    l.title = int32_t(v);
    if (!quoted[1] || !quoted[2]) {
        why = "name and script must be quoted";
        return false;
    }
    l.name = f[1];
    l.script = f[2];
    long campaign, mission, ceiling, maps, source, mode = -1;
    for (int m = 0; m < 5; m++) {
        if (f[5] == kModes[m])
            mode = m;
    }
    if (mode < 0 && !Number(f[5], 0, 4, mode)) {
        why = "bad mode \"" + f[5] + "\"";
        return false;
    }
    if (!Number(f[3], -128, 127, campaign) || !Number(f[4], -128, 127, mission) ||
        !Number(f[6], -128, 127, ceiling) || !Number(f[8], 0, 255, maps) || !Number(f[9], 0, 255, source)) {
        why = "campaign, mission and ceiling must be -128..127, maps and source 0..255";
        return false;
    }
    if (!Timer(f[7], l)) {
        why = "bad timer \"" + f[7] + "\" (off, up:M:SS or down:M:SS)";
        return false;
    }
    l.campaign = int8_t(campaign);
    l.mission = int8_t(mission);
    l.mode = int8_t(mode);
    l.ceiling = int8_t(ceiling);
    l.mapCount = uint8_t(maps);
    l.textSource = uint8_t(source);
    return true;
}

int Build(char const* in, char const* out)
{
    std::vector<uint8_t> bytes;
    std::string err;
    if (!ReadFileBytes(in, &bytes, &err)) {
        std::fprintf(stderr, "levelscfg: %s\n", err.c_str());
        return 1;
    }
    std::string text(bytes.begin(), bytes.end());
    std::vector<levelscfg::Level> levels;
    size_t start = 0;
    int lineNo = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string row = text.substr(start, end - start);
        start = end + 1;
        lineNo++;
        std::vector<std::string> f;
        std::vector<bool> quoted;
        std::string why = "string without its closing quote";
        bool split = Fields(row, f, quoted);
        if (split && f.empty())
            continue;
        levelscfg::Level l;
        if (!split || !ParseRow(f, quoted, l, why)) {
            std::fprintf(stderr, "levelscfg: %s:%d: %s\n", in, lineNo, why.c_str());
            return 1;
        }
        levels.push_back(l);
    }
    if (!levelscfg::Write(out, levels, &err)) {
        std::fprintf(stderr, "levelscfg: %s: %s\n", out, err.c_str());
        return 1;
    }
    return 0;
}

int Dump(char const* in)
{
    std::vector<uint8_t> bytes;
    std::string err;
    if (!ReadFileBytes(in, &bytes, &err)) {
        std::fprintf(stderr, "levelscfg: %s\n", err.c_str());
        return 1;
    }
    LevelsManager catalogue(nullptr, nullptr, nullptr);
    catalogue.LoadLevelConfig(nullptr, bytes.data(), bytes.size());
    std::printf("# title name script campaign mission mode ceiling timer maps source\n");
    for (int i = 0; i < catalogue.RecordCount(); i++) {
        LevelConfig const* c = catalogue.GetRecord(i);
        char timer[32] = "off";
        if (c->timerOn)
            std::snprintf(timer, sizeof timer, "%s:%u:%02u", c->timerDirection ? "down" : "up",
                          unsigned(c->timerMinutes), unsigned(c->timerSeconds));
        char mode[8];
        std::snprintf(mode, sizeof mode, "%d", int(c->mode));
        std::printf("%d \"%s\" \"%s\" %d %d %s %d %s %u %u\n", int(c->title), c->name.c_str(), c->script.c_str(),
                    int(c->campaign), int(c->mission), c->mode >= 0 && c->mode < 5 ? kModes[int(c->mode)] : mode,
                    int(c->ceiling), timer, unsigned(c->mapCount), unsigned(c->textSource));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "build") == 0)
        return Build(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "dump") == 0)
        return Dump(argv[2]);
    std::fputs(kUsage, stderr);
    return 2;
}
