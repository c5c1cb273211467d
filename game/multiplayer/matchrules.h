// The rules the room's host decides once for every player of a running
// match: damage, deaths and kill credits, repairs, respawns at the four
// spawn points in rotation, the winner; and the lag marks every player
// keeps. Results leave through the Outbox as game messages.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/runtime/pmath3d.h"
#include "game/multiplayer/gamemessage.h"

class MyAirplane;

enum class MatchState : uint8_t {
    Waiting = 0,  // not (yet) in the running match
    Playing = 1,
    Left = 2,
};

struct MatchPlayer {
    int32_t id = 0;
    MatchState matchState = MatchState::Waiting;
    int32_t kills = 0;  // -1 once the player left the match
    uint8_t lagging = 0;
    MyAirplane* airplane = nullptr;  // null while the player has none
    // Shots fired in the running match that have not hit yet (each hits at
    // most once), up to kMaxShotsInFlight.
    uint8_t shots = 0;
    // The host's repair clock for the player: a repair is taken when it is
    // at least kRepairInterval behind now, and moves it on by that much
    // (0: none taken in the match yet).
    uint32_t repairClock = 0;
};

// Why the host refuses a damage report (None: it is applied).
enum class DamageRefusal : uint8_t {
    None = 0,
    NotInMatch,  // the target or the reporting player does not play the match
    SelfCredit,  // the attacker names itself as its target
    NoShot,      // damage to another player by one with no shot left to hit with
    TooMuch,     // more than one hit of the strongest weapon carried
};

// Why the host refuses a repair request (None: it is applied).
enum class RepairRefusal : uint8_t {
    None = 0,
    NotInMatch,  // the player does not play the match
    TooMuch,     // more than one repair of the match mission gives
    TooOften,    // more often than the player's own throttle lets it ask
};

class MatchRules {
public:
    static constexpr int kRespawnDelay = 2000;  // ms after the host noticed the death
    static constexpr int kRespawnHealth = 100;
    static constexpr int kSpawnPoints = 4;
    static constexpr int kRepairInterval = 200;  // ms
    // Repairs that may reach the host at once after a delay of the link
    // (one second's worth); over time no more than one per kRepairInterval.
    static constexpr int kRepairBurst = 5;
    static constexpr int kLagThreshold = 1200;   // ms
    static constexpr int kMaxHealth = 100;
    // Projectiles that fly at once at most (the weapons' pool): more
    // unspent shots than this are not counted.
    static constexpr int kMaxShotsInFlight = 90;

    // Where the rules' results go: messages to the other players, console
    // lines shown here, and the local player's kills for the profile.
    class Outbox {
    public:
        virtual ~Outbox() = default;
        virtual void Send(const GameMessage& m) = 0;
        virtual void ShowConsoleLine(ConsoleKind kind, int first, int second) = 0;
        virtual void SetSessionKills(int kills) = 0;
    };

    std::vector<MatchPlayer> players;  // the session's table order
    bool host = false;
    int32_t myId = 0;
    int32_t winner = -1;
    int fragLimit = 0;  // index 0 to 7
    uint32_t repairTimer = 0;
    int spawnIndex = 0;
    PVector3 spawnPositions[kSpawnPoints];
    PVector3 spawnDirections[kSpawnPoints];
    Outbox* outbox = nullptr;  // null: no connection, nothing happens
    // The damage of one hit of the strongest weapon the match's aircraft
    // carry; 0 without a running game (then no player damages another).
    int carriedDamage = 0;
    // The most one repair of the match mission gives; 0 without a running
    // game (then the host mends no one's airplane but its own).
    int repairAmount = 0;

    // Kills needed to win: 5, 10, ... 40.
    int GetFragLimit() const;
    MatchPlayer* Find(int id);
    // A new match: kills 0 for every player, first spawn point, no winner.
    void StartMatch();

    // A damage report (attacker -1: no attacker). A client sends it to the
    // host; the host applies it as it applies the clients' reports when
    // CheckDamage allows it, credits kills (with their console lines) only
    // while no winner is known and decides the winner at the kill that
    // reaches the frag limit.
    void RequestDamage(int target, int attacker, int damage);
    void Handle_RequestDamage(int target, int attacker, int damage);
    // The host's one rule for a damage report, whoever made it (the
    // attacker, or the target itself without one): both play the match; the
    // attacker is not the target; against another player at most
    // carriedDamage and one hit per shot the attacker fired (an applied hit
    // spends the shot); against oneself without an attacker any damage up
    // to the message's bound (leaving the play area, a bounce).
    DamageRefusal CheckDamage(int target, int attacker, int damage);
    // The host's one rule for a repair request of player id at now: the
    // player plays the match, asks for at most repairAmount and no more
    // often than its own throttle sends (kRepairInterval, with a burst of
    // kRepairBurst for requests a slow link delivered together).
    RepairRefusal CheckRepair(int id, int amount, uint32_t now);
    // A shot of player id in the running match: one more hit it may report.
    void ShotFired(int id);
    void KillsUpdate(int id, int delta);
    // Repairs the local airplane, at most once per 200 ms of the session's
    // clock (now, in ms).
    void RequestRepairPlayer(int amount, uint32_t now);
    void Handle_RequestRepair(int amount, int id, uint32_t now);
    // Host: notices deaths and respawns airplanes 2000 ms later. Nothing on
    // a client.
    void Respawn_Listener(uint32_t now);
    // Marks the players whose position messages are late.
    void UpdatePackagesTime(uint32_t now);
    // Host: decides the winner (with force: the best remaining players);
    // 1 when a winner is known. 0 on a client, which learns the winner from
    // the host's message.
    int GameStatusUpdate(unsigned char force);
    // The local player quits the running match.
    void NotifyLeaveGame();

private:
    void IssueConsoleLine(ConsoleKind kind, int first, int second);
    void SendKills();
};
