#include "tools/lib/levelscfg_writer.h"

#include "tools/lib/toolfile.h"

namespace levelscfg {

namespace {

bool PutText(std::vector<uint8_t>& out, std::string const& s, std::string* err)
{
    if (s.size() > 255) {
        if (err)
            *err = "string of " + std::to_string(s.size()) + " bytes (at most 255): \"" + s.substr(0, 40) + "...\"";
        return false;
    }
    out.push_back(uint8_t(s.size()));
    out.insert(out.end(), s.begin(), s.end());
    return true;
}

} // namespace

bool Encode(std::vector<Level> const& levels, std::vector<uint8_t>& out, std::string* err)
{
    if (levels.size() > kMaxLevels) {
        if (err)
            *err = std::to_string(levels.size()) + " levels (at most 127)";
        return false;
    }
    out.push_back(uint8_t(levels.size()));
    for (Level const& l : levels) {
        PutLE32(out, uint32_t(l.title));
        if (!PutText(out, l.name, err) || !PutText(out, l.script, err))
            return false;
        uint8_t const tail[10] = {uint8_t(l.campaign), uint8_t(l.mission), uint8_t(l.mode), uint8_t(l.ceiling),
                                  l.timerMinutes,      l.timerSeconds,      l.timerOn,       l.timerDirection,
                                  l.mapCount,          l.textSource};
        out.insert(out.end(), tail, tail + 10);
    }
    return true;
}

bool Write(std::string const& path, std::vector<Level> const& levels, std::string* err)
{
    std::vector<uint8_t> bytes;
    return Encode(levels, bytes, err) && WriteFileAtomic(path, bytes, err);
}

} // namespace levelscfg
