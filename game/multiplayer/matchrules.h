// The rules the room's host decides once for every player of a running
// match: damage, deaths and kill credits, repairs, respawns at the four
// spawn points in rotation, the winner; and the lag marks every player
// keeps. Results leave through the Outbox as game messages.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/runtime/pmath3d.h"
#include "game/multiplayer/gamemessage.h"
#include "game/multiplayer/matchgame.h"

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
    NoShot,      // damage to another player by one with no shot in flight
    TooMuch,     // more than one hit of the weapon of any of its shots in flight
};

// The host's account of one player's shots in flight: each pays for at most
// one hit of its weapon until it lapses. At most as many as projectiles can
// fly at once (the weapons' pool); a shot beyond that takes the place of the
// one that lapses first.
class ShotBook {
public:
    static constexpr int kCapacity = kProjectilesInFlight;
    void Clear() { count = 0; }
    // A shot of a weapon doing damage per hit, in flight until the
    // millisecond clock reaches until.
    void Add(uint32_t until, uint8_t damage, uint32_t now);
    // Spends the shot that pays for a hit of damage at now: the one of the
    // weakest weapon that does that much, of those the one that lapses
    // first. None (spent), or NoShot or TooMuch (nothing spent).
    DamageRefusal Pay(int damage, uint32_t now);
    // Shots in flight at now.
    int InFlight(uint32_t now) const;

private:
    void Drop(int i) { shots[i] = shots[--count]; }
    struct Shot {
        uint32_t until;
        uint8_t damage;
    };
    Shot shots[kCapacity];
    int32_t count = 0;
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
    // A shot is in flight for its weapon's life in frames, each counted
    // as long as a frame of a device at 20 frames a second (the game draws
    // at most 40), and then for as long as a slow link may hold back the
    // hit after the shot.
    static constexpr int kShotFrameMs = 50;
    static constexpr int kShotLinkAllowance = 2000;  // ms

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
    // The session's clock (ms) when a shot or a damage report comes.
    uint32_t clock = 0;
    // The match's constants, taken once the match runs: its weapon catalogue
    // (empty before: then no shot counts and no player damages another)
    // and the most one repair of its mission gives (0 before: then the
    // host mends no one's airplane but its own).
    std::vector<MatchWeapon> weapons;
    int repairAmount = 0;

    // Kills needed to win: 5, 10, ... 40.
    int GetFragLimit() const;
    MatchPlayer* Find(int id);
    // A new match: kills 0 for every player, first spawn point, no winner.
    void StartMatch();
    // Every match starts with no shot in flight and its constants not yet
    // taken.
    void ResetMatch();

    // A damage report (attacker -1: no attacker). A client sends it to the
    // host; the host takes it as it takes the clients' reports
    // (TakeDamage) and applies it.
    void RequestDamage(int target, int attacker, int damage);
    void Handle_RequestDamage(int target, int attacker, int damage);
    // The host's one rule for a damage report, whoever made it (the
    // attacker, or the target itself without one): both play the match; the
    // attacker is not the target; against another player a shot of the
    // attacker in flight pays for it, doing at least that damage, and is
    // spent; against oneself without an attacker any damage up to the
    // message's bound (leaving the play area, a bounce). None: taken.
    DamageRefusal TakeDamage(int target, int attacker, int damage);
    // Applies a damage report taken: credits kills (with their console
    // lines) only while no winner is known and decides the winner at the
    // kill that reaches the frag limit.
    void ApplyDamage(int target, int attacker, int damage);
    // The host's one rule for a repair request of player id at now: the
    // player plays the match, asks for at most repairAmount and no more
    // often than its own throttle sends (kRepairInterval, with a burst of
    // kRepairBurst for requests a slow link delivered together).
    RepairRefusal CheckRepair(int id, int amount, uint32_t now);
    // Host: a shot of player id in the running match, of catalogue record
    // weapon with life frames left: a hit it may pay for while it flies.
    // False when its weapon is not one the match's aircraft carry.
    bool ShotFired(int id, int weapon, int life);
    // The record a shot names when the match's aircraft carry it, or null.
    const MatchWeapon* CarriedWeapon(int weapon) const;
    // Shots of player id in flight at clock.
    int ShotsInFlight(int id) const;
    void KillsUpdate(int id, int delta);
    // Repairs the local airplane, at most once per 200 ms of the session's
    // clock (now, in ms).
    void RequestRepairPlayer(int amount, uint32_t now);
    // The host checks a repair request (CheckRepair) and applies it.
    void Handle_RequestRepair(int amount, int id, uint32_t now);
    // Applies a repair request the host took: mends a living airplane and
    // moves the player's repair clock on.
    void ApplyRepair(int amount, int id, uint32_t now);
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
    // The book of player id's shots; null when there is none and no place
    // for one (make: open one, taking the place of a player gone).
    ShotBook* Book(int id, bool make);
    const ShotBook* Book(int id) const;

    // A player's book; owner -1: nobody's.
    struct BookSlot {
        int32_t owner = -1;
        ShotBook book;
    };
    static constexpr int kBooks = GameMessage::kMaxEntries;
    BookSlot books[kBooks];
};
