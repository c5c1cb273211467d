#include "game/multiplayer/matchrules.h"

#include <algorithm>

#include "engine/runtime/ptime.h"
#include "game/world/myairplane.h"

int MatchRules::GetFragLimit() const
{
    return 5 * (std::clamp(fragLimit, 0, GameMessage::kMaxFragLimit) + 1);
}

MatchPlayer* MatchRules::Find(int id)
{
    for (auto& p : players)
        if (p.id == id)
            return &p;
    return nullptr;
}

void MatchRules::StartMatch()
{
    for (auto& p : players)
        p.kills = 0;
    spawnIndex = 0;
    winner = -1;
}

void MatchRules::ResetMatch()
{
    for (BookSlot& slot : books) {
        slot.owner = -1;
        slot.book.Clear();
    }
    weapons.clear();
    repairAmount = 0;
}

void ShotBook::Add(uint32_t until, uint8_t damage, uint32_t now)
{
    int at = count;
    if (count == kCapacity) {
        // Full: the place of the shot that lapses first (or has lapsed).
        at = 0;
        for (int i = 1; i < count; ++i)
            if (PTickSince(shots[i].until, shots[at].until) < 0)
                at = i;
        if (PTickSince(shots[at].until, now) > PTickSince(until, now))
            return;  // every shot in the book flies longer than this one
    } else {
        ++count;
    }
    shots[at] = {until, damage};
}

DamageRefusal ShotBook::Pay(int damage, uint32_t now)
{
    int best = -1;
    bool flying = false;
    for (int i = 0; i < count;) {
        const Shot& s = shots[i];
        if (PTickSince(s.until, now) < 0) {
            Drop(i);  // lapsed
            continue;
        }
        flying = true;
        if (s.damage >= damage &&
            (best < 0 || s.damage < shots[best].damage ||
             (s.damage == shots[best].damage && PTickSince(s.until, shots[best].until) < 0)))
            best = i;
        ++i;
    }
    if (best < 0)
        return flying ? DamageRefusal::TooMuch : DamageRefusal::NoShot;
    Drop(best);
    return DamageRefusal::None;
}

int ShotBook::InFlight(uint32_t now) const
{
    int n = 0;
    for (int i = 0; i < count; ++i)
        n += PTickSince(shots[i].until, now) >= 0;
    return n;
}

ShotBook* MatchRules::Book(int id, bool make)
{
    for (BookSlot& slot : books)
        if (slot.owner == id)
            return &slot.book;
    if (!make)
        return nullptr;
    // A free book, or that of a player no longer in the table.
    for (BookSlot& slot : books)
        if (slot.owner == -1 || !Find(slot.owner)) {
            slot.owner = id;
            slot.book.Clear();
            return &slot.book;
        }
    return nullptr;
}

const ShotBook* MatchRules::Book(int id) const
{
    for (const BookSlot& slot : books)
        if (slot.owner == id)
            return &slot.book;
    return nullptr;
}

const MatchWeapon* MatchRules::CarriedWeapon(int weapon) const
{
    if (weapon < 0 || size_t(weapon) >= weapons.size() || !weapons[size_t(weapon)].carried)
        return nullptr;
    return &weapons[size_t(weapon)];
}

bool MatchRules::ShotFired(int id, int weapon, int life)
{
    const MatchWeapon* w = CarriedWeapon(weapon);
    if (!w)
        return false;
    // Only the host pays for hits; and only a player of the table fires.
    if (!host || !Find(id))
        return true;
    ShotBook* book = Book(id, true);
    if (!book)
        return true;
    // The shot flies no longer than its weapon lets it, whatever it says.
    const int frames = std::clamp(life, 0, int(w->life));
    book->Add(clock + uint32_t(frames * kShotFrameMs + kShotLinkAllowance), w->damage, clock);
    return true;
}

int MatchRules::ShotsInFlight(int id) const
{
    const ShotBook* book = Book(id);
    return book ? book->InFlight(clock) : 0;
}

void MatchRules::RequestDamage(int target, int attacker, int damage)
{
    if (!outbox)
        return;
    damage = std::clamp(damage, 0, GameMessage::kMaxDamage);
    if (!host) {
        GameMessage m;
        m.type = MsgType::DamageRequest;
        m.damage = damage;
        m.target = target;
        m.attacker = attacker;
        outbox->Send(m);
        return;
    }
    Handle_RequestDamage(target, attacker, damage);
}

DamageRefusal MatchRules::TakeDamage(int target, int attacker, int damage)
{
    const MatchPlayer* p = Find(target);
    const MatchPlayer* by = attacker == -1 ? p : Find(attacker);
    if (!p || !by || !p->airplane || p->matchState != MatchState::Playing || by->matchState != MatchState::Playing)
        return DamageRefusal::NotInMatch;
    if (attacker == -1)
        return DamageRefusal::None;
    if (attacker == target)
        return DamageRefusal::SelfCredit;
    ShotBook* book = Book(attacker, false);
    // The projectile that hit is spent.
    return book ? book->Pay(damage, clock) : DamageRefusal::NoShot;
}

RepairRefusal MatchRules::CheckRepair(int id, int amount, uint32_t now)
{
    const MatchPlayer* p = Find(id);
    if (!p || p->matchState != MatchState::Playing)
        return RepairRefusal::NotInMatch;
    // The host's own requests come through its own throttle.
    if (id == myId)
        return RepairRefusal::None;
    if (amount > repairAmount)
        return RepairRefusal::TooMuch;
    if (p->repairClock != 0 && PTickSince(now, p->repairClock) < kRepairInterval)
        return RepairRefusal::TooOften;
    return RepairRefusal::None;
}

void MatchRules::Handle_RequestDamage(int target, int attacker, int damage)
{
    if (host && TakeDamage(target, attacker, damage) != DamageRefusal::None)
        return;
    ApplyDamage(target, attacker, damage);
}

void MatchRules::ApplyDamage(int target, int attacker, int damage)
{
    MatchPlayer* p = Find(target);
    if (!p || !p->airplane)
        return;
    MyAirplane* a = p->airplane;
    int old = a->health;
    a->ReduceHealth(std::clamp(damage, 0, GameMessage::kMaxDamage));
    // Once the winner is known no kill or crash counts, nor is announced.
    if (!host || winner != -1 || a->health == old || a->health > 0)
        return;
    if (attacker == -1) {
        KillsUpdate(target, -1);
        IssueConsoleLine(ConsoleKind::Crash, target, -1);
    } else {
        KillsUpdate(attacker, 1);
        IssueConsoleLine(ConsoleKind::Kill, target, attacker);
        // The kill that reaches the limit decides the match: no later
        // report of the same frame counts past it.
        GameStatusUpdate(0);
    }
}

void MatchRules::KillsUpdate(int id, int delta)
{
    if (winner != -1)
        return;
    MatchPlayer* p = Find(id);
    if (!p || p->kills == -1)
        return;
    p->kills = std::max(0, p->kills + delta);
    if (id == myId && outbox)
        outbox->SetSessionKills(p->kills);
    if (host)
        SendKills();
}

void MatchRules::RequestRepairPlayer(int amount, uint32_t now)
{
    if (!outbox)
        return;
    if (repairTimer != 0 && PTickSince(now, repairTimer) < kRepairInterval)
        return;
    repairTimer = now;
    if (host) {
        Handle_RequestRepair(amount, myId, now);
        return;
    }
    GameMessage m;
    m.type = MsgType::RepairRequest;
    m.amount = amount & 0xFF;
    outbox->Send(m);
}

void MatchRules::Handle_RequestRepair(int amount, int id, uint32_t now)
{
    if (host && CheckRepair(id, amount, now) != RepairRefusal::None)
        return;
    ApplyRepair(amount, id, now);
}

void MatchRules::ApplyRepair(int amount, int id, uint32_t now)
{
    MatchPlayer* p = Find(id);
    if (!p || !p->airplane || p->airplane->health <= 0)
        return;
    if (host) {
        // The clock never lags more than a burst behind now, so a player
        // that asked nothing for a while gains no more than a burst.
        const uint32_t earliest = now - uint32_t(kRepairBurst * kRepairInterval);
        if (p->repairClock == 0 || PTickSince(p->repairClock, earliest) < 0)
            p->repairClock = earliest;
        p->repairClock += kRepairInterval;
    }
    int64_t h = int64_t(p->airplane->health) + amount;
    p->airplane->health = int32_t(std::clamp<int64_t>(h, 0, kMaxHealth));
}

void MatchRules::Respawn_Listener(uint32_t now)
{
    // Only the host decides respawns.
    if (!host)
        return;
    for (auto& p : players) {
        MyAirplane* a = p.airplane;
        if (!a || a->health > 0)
            continue;
        if (a->deathTime == 0) {
            a->deathTime = now;
            continue;
        }
        if (PTickSince(now, a->deathTime) < kRespawnDelay)
            continue;
        a->deathTime = 0;
        spawnIndex = (spawnIndex + 1) % kSpawnPoints;
        a->SetSpawnPoint(spawnPositions[spawnIndex], spawnDirections[spawnIndex]);
        a->Respawn(kRespawnHealth, now);
        if (outbox) {
            GameMessage m;
            m.type = MsgType::Respawn;
            m.id = a->netId;
            m.health = kRespawnHealth;
            m.position = spawnPositions[spawnIndex];
            m.direction = spawnDirections[spawnIndex];
            outbox->Send(m);
        }
    }
}

void MatchRules::UpdatePackagesTime(uint32_t now)
{
    for (auto& p : players) {
        p.lagging = 0;
        if (!p.airplane || p.matchState != MatchState::Playing)
            continue;
        uint32_t last = p.airplane->netTime, prev = p.airplane->netTimeBefore;
        if (last == 0 || PTickSince(last, prev) <= 0)
            continue;
        if (PTickSince(last, prev) > kLagThreshold || PTickSince(now, last) > kLagThreshold)
            p.lagging = 1;
    }
}

int MatchRules::GameStatusUpdate(unsigned char force)
{
    // Only the host decides the winner.
    if (!host || winner != -1)
        return 0;
    if (players.empty())
        return 0;
    int limit = GetFragLimit();
    if (force) {
        limit = 0;
        for (const auto& p : players)
            limit = std::max(limit, int(p.kills));
    }
    int playing = 0;
    for (const auto& p : players)
        if (p.matchState == MatchState::Playing)
            ++playing;
    int reached = 0;
    if (playing == 1) {
        for (const auto& p : players)
            if (p.matchState == MatchState::Playing)
                winner = p.id;
        reached = 1;
    } else {
        for (const auto& p : players) {
            if (p.matchState != MatchState::Playing || p.kills < limit)
                continue;
            if (reached++ == 0)
                winner = p.id;
        }
    }
    if (winner == -1)
        return 0;
    if (players.size() < 2)
        return 1;
    SendKills();
    if (reached <= 1)
        IssueConsoleLine(ConsoleKind::Winner, winner, -1);
    else
        IssueConsoleLine(ConsoleKind::SeveralReachedLimit, -1, -1);
    if (outbox) {
        GameMessage m;
        m.type = MsgType::Winner;
        m.id = winner;
        outbox->Send(m);
    }
    return 1;
}

void MatchRules::NotifyLeaveGame()
{
    if (MatchPlayer* me = Find(myId)) {
        me->matchState = MatchState::Left;
        me->kills = -1;
    }
    if (!outbox)
        return;
    GameMessage m;
    if (host) {
        m.type = MsgType::HostEndedMatch;
        outbox->Send(m);
        GameStatusUpdate(1);
    } else {
        m.type = MsgType::PlayerLeft;
        m.id = myId;
        outbox->Send(m);
    }
}

void MatchRules::IssueConsoleLine(ConsoleKind kind, int first, int second)
{
    if (!host || !outbox)
        return;
    GameMessage m;
    m.type = MsgType::ConsoleLine;
    m.kind = int(kind);
    m.first = first;
    m.second = second;
    outbox->Send(m);
    outbox->ShowConsoleLine(kind, first, second);
}

void MatchRules::SendKills()
{
    if (!outbox)
        return;
    GameMessage m;
    m.type = MsgType::KillsList;
    m.count = std::min<int>(int(players.size()), GameMessage::kMaxEntries);
    for (int i = 0; i < m.count; ++i)
        m.entries[i] = {players[size_t(i)].id, players[size_t(i)].kills};
    outbox->Send(m);
}
