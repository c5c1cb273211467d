// What the match session needs of the running match: the spawn points of
// the loaded map, the shots other players fire, the console and the weapons'
// reach. The game
// session implements it; the session holds it only while a match runs.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/runtime/pmath3d.h"

// Projectiles a game keeps in flight at once (the weapons' pool): as many
// shots of one player as can be flying.
constexpr int kProjectilesInFlight = 90;

// What one record of the match's weapon catalogue can do to another
// player's aircraft. A shot (game message 7) names its record by index.
struct MatchWeapon {
    uint8_t type = 0;     // MyWeapon::Type; a rocket's shot carries its angles
    uint8_t damage = 0;   // of one hit
    uint8_t life = 0;     // in frames
    uint8_t carried = 0;  // 1 when the match's aircraft fire it
};

class MatchGame {
public:
    virtual ~MatchGame() = default;
    // Position and direction of spawn point 0 to 3 of the loaded map.
    virtual int GetSpawnPointVec(int index, PVector3& position, PVector3& direction) = 0;
    // A shot (game message 7) another player fired; length is the number of
    // received bytes, type byte included.
    virtual void ReceiveShootFromClient(const unsigned char* message, int length) = 0;
    // Text id of the current language, null when the game has no text
    // service or no console (then no console line is shown).
    virtual const wchar_t* GetConsoleText(unsigned id) = 0;
    virtual void AddConsoleLine(const wchar_t* line) = 0;
    // The weapon catalogue as shots name it, one entry per record in index
    // order; a record is carried when the match mission's loadout fires it
    // (every player flies that loadout), a paired record's partner
    // included. Empty while the match's weapons are not loaded.
    virtual std::vector<MatchWeapon> MatchWeapons() = 0;
    // The most one repair request of the match mission asks for (what an
    // honest player sends, 0 to 255); 0 when the mission repairs nobody.
    virtual int MissionRepairAmount() = 0;
};
