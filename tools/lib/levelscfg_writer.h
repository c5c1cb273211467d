// Writer of the level catalogue levels.cfg (layout: docs/formats/levels-cfg.md).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace levelscfg {

struct Level {
    int32_t title = 0;       // text id of the level title
    std::string name;        // at most 255 bytes
    std::string script;      // "data_to_make\scripts\txt\NAME": the game loads data\scripts\NAME.bin
    int8_t campaign = 0;
    int8_t mission = 0;
    int8_t mode = 0;         // 0 campaign, 1 multiplayer, 2 time attack, 3 arcade, 4 tutorial
    int8_t ceiling = 0;      // flight ceiling
    uint8_t timerMinutes = 0;
    uint8_t timerSeconds = 0;
    uint8_t timerOn = 0;
    uint8_t timerDirection = 0; // 0 counts up, 1 counts down
    uint8_t mapCount = 0;
    uint8_t textSource = 0;  // text file of the title
};

constexpr size_t kMaxLevels = 127;

// The catalogue's bytes; false (with *err) for more than 127 levels or a
// string longer than 255 bytes.
bool Encode(std::vector<Level> const& levels, std::vector<uint8_t>& out, std::string* err);
bool Write(std::string const& path, std::vector<Level> const& levels, std::string* err);

} // namespace levelscfg
