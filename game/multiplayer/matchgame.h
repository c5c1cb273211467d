// What the match session needs of the running match: the spawn points of
// the loaded map, the shots other players fire, the console and the weapons'
// reach. The game
// session implements it; the session holds it only while a match runs.
#pragma once

#include "engine/runtime/pmath3d.h"

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
    // The damage one hit of the strongest weapon the match's aircraft carry
    // does (every player flies the match mission's loadout); 0 when they
    // carry none.
    virtual int CarriedWeaponDamage() = 0;
    // The most one repair request of the match mission asks for (what an
    // honest player sends, 0 to 255); 0 when the mission repairs nobody.
    virtual int MissionRepairAmount() = 0;
};
