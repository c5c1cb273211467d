#include "game/multiplayer/gamemessage.h"

#include <algorithm>

#include "engine/runtime/pdebugpeer.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"

static_assert(GameMessage::kPeerFlightBits == MyAirplane::kStateFiring);

namespace mpcodec {

void PutInt(uint8_t* out, int32_t v)
{
    uint32_t u = uint32_t(v);
    out[0] = uint8_t(u >> 24);
    out[1] = uint8_t(u >> 16);
    out[2] = uint8_t(u >> 8);
    out[3] = uint8_t(u);
}

int32_t GetInt(const uint8_t* in)
{
    return int32_t(uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | uint32_t(in[3]));
}

void PutShort(uint8_t* out, int16_t v)
{
    out[0] = uint8_t(uint16_t(v) >> 8);
    out[1] = uint8_t(v);
}

int16_t GetShort(const uint8_t* in)
{
    return int16_t(uint16_t(in[0] << 8 | in[1]));
}

void PutVector(uint8_t* out, const PVector3& v)
{
    PutInt(out, v.x);
    PutInt(out + 4, v.y);
    PutInt(out + 8, v.z);
}

PVector3 GetVector(const uint8_t* in)
{
    return PVector3(GetInt(in), GetInt(in + 4), GetInt(in + 8));
}

PVector3 GetInWorld(const uint8_t* in)
{
    return PVecClamp(GetVector(in), MainGame::kWorldRange);
}

PVector3 GetAngles(const uint8_t* in)
{
    return PVecWrapDegrees(GetVector(in));
}

}  // namespace mpcodec

using namespace mpcodec;

namespace {

// Fixed length of each type (index = type); lists give their header, the
// shot its type byte.
constexpr int kLength[19] = {0, 4, 1, 4, 5, 2, 33, 1, 13, 2, 2, 27, 2, 10, 5, 5, 1, 2, 2};

int EntrySize(MsgType t)
{
    return t == MsgType::KillsList ? 8 : 5;
}

bool IsList(MsgType t)
{
    return t == MsgType::HealthList || t == MsgType::KillsList || t == MsgType::BusyList;
}

int Clamp(int v, int lo, int hi)
{
    return std::clamp(v, lo, hi);
}

}  // namespace

bool GameMessage::FromHostOnly(MsgType t)
{
    switch (t) {
    case MsgType::RoomInfo:
    case MsgType::MatchStart:
    case MsgType::Respawn:
    case MsgType::HealthList:
    case MsgType::KillsList:
    case MsgType::ConsoleLine:
    case MsgType::Winner:
    case MsgType::HostEndedMatch:
    case MsgType::BusyList:
        return true;
    default:
        return false;
    }
}

bool GameMessage::ForHostOnly(MsgType t)
{
    return t == MsgType::DamageRequest || t == MsgType::RepairRequest || t == MsgType::BusyRequest;
}

bool GameMessage::Decode(const uint8_t* d, int length, GameMessage& m, int sender)
{
    const uint32_t peer = uint32_t(sender);
    if (!d || length < 1) {
        _PDebugPeer(peer, "Game message from %d: empty\n", sender);
        return false;
    }
    int8_t raw = int8_t(d[0]);
    if (raw < 1 || raw > 18) {
        _PDebugPeer(peer, "Game message from %d: unknown type %u\n", sender, unsigned(d[0]));
        return false;
    }
    m = GameMessage();
    m.type = MsgType(raw);
    if (length < kLength[raw]) {
        _PDebugPeer(peer, "Game message %d from %d: %d bytes, needs %d\n", raw, sender, length, kLength[raw]);
        return false;
    }
    if (IsList(m.type)) {
        int n = d[1];
        int size = EntrySize(m.type);
        if (n > kMaxEntries || 2 + n * size > length) {
            _PDebugPeer(peer, "Game message %d from %d: list of %d does not fit %d bytes\n", raw, sender, n, length);
            return false;
        }
        m.count = n;
        for (int i = 0; i < n; ++i) {
            const uint8_t* e = d + 2 + i * size;
            m.entries[i].id = GetInt(e);
            if (m.type == MsgType::KillsList)
                m.entries[i].value = std::max(-1, GetInt(e + 4));  // -1: left the match
            else if (m.type == MsgType::HealthList)
                m.entries[i].value = std::min<int>(e[4], kMaxHealth);
            else
                m.entries[i].value = e[4] ? 1 : 0;
        }
        return true;
    }
    switch (m.type) {
    case MsgType::RoomInfo:
    case MsgType::MatchStart:
        m.map = std::min<int>(d[1], kMaxMap);
        m.season = std::min<int>(d[2], kMaxSeason);
        m.fragLimit = std::min<int>(d[3], kMaxFragLimit);
        if (m.type == MsgType::MatchStart)
            m.plane = std::min<int>(d[4], kMaxPlane);
        break;
    case MsgType::PlayerSettings:
        m.plane = std::min<int>(d[1], kMaxPlane);
        m.rank = std::min<int>(d[2], kMaxRank);
        m.inMatch = d[3] ? 1 : 0;
        break;
    case MsgType::StartReply:
        m.plane = std::min<int>(d[1], kMaxPlane);
        break;
    case MsgType::Respawn:
        m.id = GetInt(d + 1);
        m.health = Clamp(GetInt(d + 5), 0, kMaxHealth);
        m.position = GetInWorld(d + 9);
        m.direction = GetAngles(d + 21);
        break;
    case MsgType::Shot:
        m.shot = d;
        m.shotLength = length;
        break;
    case MsgType::DamageRequest:
        m.damage = Clamp(GetInt(d + 1), 0, kMaxDamage);
        m.target = GetInt(d + 5);
        m.attacker = GetInt(d + 9);
        break;
    case MsgType::RepairRequest:
        m.amount = d[1];
        break;
    case MsgType::Position:
        m.position = GetInWorld(d + 1);
        m.direction = GetAngles(d + 13);
        m.flightState = d[25] & kPeerFlightBits;
        m.placed = d[25] <= kMaxPlacedState;
        m.throttle = std::min<int>(d[26], kMaxThrottle);
        break;
    case MsgType::ConsoleLine:
        m.kind = d[1];
        m.first = GetInt(d + 2);
        m.second = GetInt(d + 6);
        break;
    case MsgType::Winner:
    case MsgType::PlayerLeft:
        m.id = GetInt(d + 1);
        break;
    case MsgType::BusyRequest:
        m.busy = d[1] ? 1 : 0;
        break;
    default:  // settings request, host ended the match: the type alone
        break;
    }
    return true;
}

int GameMessage::Encode(uint8_t* out, int capacity) const
{
    int t = int(type);
    if (t < 1 || t > 18 || type == MsgType::Shot)
        return 0;
    int n = IsList(type) ? Clamp(count, 0, kMaxEntries) : 0;
    int length = kLength[t] + n * (IsList(type) ? EntrySize(type) : 0);
    if (!out || length > capacity)
        return 0;
    out[0] = uint8_t(t);
    if (IsList(type)) {
        out[1] = uint8_t(n);
        for (int i = 0; i < n; ++i) {
            uint8_t* e = out + 2 + i * EntrySize(type);
            PutInt(e, entries[i].id);
            if (type == MsgType::KillsList)
                PutInt(e + 4, entries[i].value);
            else
                e[4] = uint8_t(entries[i].value);
        }
        return length;
    }
    switch (type) {
    case MsgType::RoomInfo:
    case MsgType::MatchStart:
        out[1] = uint8_t(map);
        out[2] = uint8_t(season);
        out[3] = uint8_t(fragLimit);
        if (type == MsgType::MatchStart)
            out[4] = uint8_t(plane);
        break;
    case MsgType::PlayerSettings:
        out[1] = uint8_t(plane);
        out[2] = uint8_t(rank);
        out[3] = uint8_t(inMatch);
        break;
    case MsgType::StartReply:
        out[1] = uint8_t(plane);
        break;
    case MsgType::Respawn:
        PutInt(out + 1, id);
        PutInt(out + 5, health);
        PutVector(out + 9, position);
        PutVector(out + 21, direction);
        break;
    case MsgType::DamageRequest:
        PutInt(out + 1, damage);
        PutInt(out + 5, target);
        PutInt(out + 9, attacker);
        break;
    case MsgType::RepairRequest:
        out[1] = uint8_t(amount);
        break;
    case MsgType::Position:
        PutVector(out + 1, position);
        PutVector(out + 13, direction);
        out[25] = uint8_t(flightState);
        out[26] = uint8_t(throttle);
        break;
    case MsgType::ConsoleLine:
        out[1] = uint8_t(kind);
        PutInt(out + 2, first);
        PutInt(out + 6, second);
        break;
    case MsgType::Winner:
    case MsgType::PlayerLeft:
        PutInt(out + 1, id);
        break;
    case MsgType::BusyRequest:
        out[1] = uint8_t(busy);
        break;
    default:
        break;
    }
    return length;
}
