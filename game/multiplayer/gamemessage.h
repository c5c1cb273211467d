// Game messages between the players of a room: byte strings whose first
// byte is the type, with 4-byte big-endian signed integers and vectors of
// three big-endian 16.16 words. Every received message comes from a peer
// and is untrusted: Decode checks the length against the type's layout,
// bounds list counts, clamps settings and values to their ranges, brings
// places, motions and angles into the world's range and never reads past the
// received bytes.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

enum class MsgType : uint8_t {
    RoomInfo = 1,
    SettingsRequest = 2,
    PlayerSettings = 3,
    MatchStart = 4,
    StartReply = 5,
    Respawn = 6,
    Shot = 7,
    DamageRequest = 8,
    HealthList = 9,
    RepairRequest = 10,
    Position = 11,
    KillsList = 12,
    ConsoleLine = 13,
    Winner = 14,
    PlayerLeft = 15,
    HostEndedMatch = 16,
    BusyRequest = 17,
    BusyList = 18,
};

// Kinds of console line the host issues.
enum class ConsoleKind : uint8_t {
    Kill = 0,
    Crash = 1,
    Winner = 2,
    SeveralReachedLimit = 3,
    HostEnded = 4,
};

namespace mpcodec {
void PutInt(uint8_t* out, int32_t v);
int32_t GetInt(const uint8_t* in);
void PutShort(uint8_t* out, int16_t v);
int16_t GetShort(const uint8_t* in);
void PutVector(uint8_t* out, const PVector3& v);
PVector3 GetVector(const uint8_t* in);
// Vectors from a peer, brought into the world's range where they are read:
// a place or a motion each component into +-MainGame::kWorldRange, angles
// (pitch, yaw, roll) each into [-180.0, 180.0] by whole turns.
PVector3 GetInWorld(const uint8_t* in);
PVector3 GetAngles(const uint8_t* in);
}  // namespace mpcodec

// One game message, decoded or to be encoded. Only the fields of its type
// are meaningful.
struct GameMessage {
    static constexpr int kMaxSize = 1024;  // receive buffer
    static constexpr int kMaxEntries = 4;  // players in a room
    static constexpr int kMaxMap = 3;
    static constexpr int kMaxSeason = 2;
    static constexpr int kMaxFragLimit = 7;
    static constexpr int kMaxPlane = 255;  // checked against the plane list by the game
    static constexpr int kMaxRank = 255;
    static constexpr int kMaxHealth = 100;
    static constexpr int kMaxThrottle = 100;
    static constexpr int kMaxDamage = 999;
    // The flight-state bits a peer may set of its aircraft: the guns fire
    // (MyAirplane::kStateFiring). Whether it is exploding is the receiver's
    // own, from the host's health list and respawns.
    static constexpr int kPeerFlightBits = 1;
    // Flight-state bytes up to this carry a position.
    static constexpr int kMaxPlacedState = 7;

    struct Entry {
        int32_t id;
        int32_t value;  // health (9), kills (12) or busy (18)
    };

    MsgType type = MsgType::SettingsRequest;
    // Room settings (1, 4).
    int map = 0, season = 0, fragLimit = 0;
    // Player settings (3), start (4 host's plane, 5).
    int plane = 0, rank = 0, inMatch = 0;
    // Player id (6, 14, 15), health (6), position and direction (6, 11;
    // the direction holds the angles pitch, yaw, roll).
    int32_t id = 0;
    int health = 0;
    PVector3 position, direction;
    // Damage request (8).
    int damage = 0;
    int32_t target = 0, attacker = -1;
    // Repair amount (10), busy flag (17).
    int amount = 0;
    int busy = 0;
    // Position (11): the flight-state bits a peer may set, the throttle,
    // and whether the state byte carried the position (at most 7).
    int flightState = 0, throttle = 0;
    bool placed = false;
    // Console line (13).
    int kind = 0;
    int32_t first = -1, second = -1;
    // Lists (9, 12, 18).
    int count = 0;
    Entry entries[kMaxEntries] = {};
    // The shot (7) is the game's: its bytes, valid while the received
    // buffer is.
    const uint8_t* shot = nullptr;
    int shotLength = 0;

    // Reads a received message. False (with a log line naming the sender,
    // limited per sender) when the type is unknown or the message is
    // shorter than its layout or its list.
    static bool Decode(const uint8_t* data, int length, GameMessage& out, int sender = -1);
    // Writes the message; answers its length, 0 when it does not fit in
    // capacity or the type is the game's own (7).
    int Encode(uint8_t* out, int capacity) const;

    // Messages that only the room's host sends.
    static bool FromHostOnly(MsgType t);
    // Messages that only the host acts on.
    static bool ForHostOnly(MsgType t);
};
