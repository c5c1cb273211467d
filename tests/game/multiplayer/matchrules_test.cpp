// The host's match rules on a table of scene-less airplanes: kill credits,
// the winner decision, repairs, respawn timing and rotation, lag marks,
// and the wrapping millisecond clock.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "game/multiplayer/matchrules.h"
#include "game/world/command.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "game/world/weaponsystem.h"

namespace {

struct Recorder : MatchRules::Outbox {
    std::vector<GameMessage> sent;
    std::vector<ConsoleKind> lines;
    void Send(const GameMessage& m) override { sent.push_back(m); }
    void ShowConsoleLine(ConsoleKind k, int, int) override { lines.push_back(k); }
    void SetSessionKills(int) override {}
    std::vector<MsgType> Types() const
    {
        std::vector<MsgType> t;
        for (auto& m : sent)
            t.push_back(m.type);
        return t;
    }
};

struct Match {
    Recorder out;
    MatchRules r;
    std::vector<std::unique_ptr<MyAirplane>> planes;
    explicit Match(int n, bool host = true)
    {
        r.host = host;
        r.outbox = &out;
        // One weapon, one hit of which takes a full airplane down; every
        // player has as many shots of it in flight as can fly.
        r.weapons = {{MyWeapon::kShot, 100, 40, 1}};
        for (int i = 0; i < n; ++i) {
            planes.push_back(std::make_unique<MyAirplane>(nullptr, nullptr));
            planes.back()->health = 100;
            planes.back()->netId = i;
            r.players.push_back({i, MatchState::Playing, 0, 0, planes.back().get()});
        }
        for (int i = 0; i < n; ++i)
            for (int k = 0; k < ShotBook::kCapacity; ++k)
                r.ShotFired(i, 0, 40);
        for (int i = 0; i < MatchRules::kSpawnPoints; ++i)
            r.spawnPositions[i] = PVector3(i, 0, 0);
    }
};

TEST(MatchRules, DecidesTheWinner)
{
    struct Case {
        std::vector<int> kills;
        std::vector<MatchState> states;
        bool force;
        int winner;
        std::vector<ConsoleKind> lines;
    } cases[] = {
        {{5, 3}, {MatchState::Playing, MatchState::Playing}, false, 0, {ConsoleKind::Winner}},
        {{3, 5}, {MatchState::Playing, MatchState::Playing}, false, 1, {ConsoleKind::Winner}},
        {{5, 5}, {MatchState::Playing, MatchState::Playing}, false, 0, {ConsoleKind::SeveralReachedLimit}},
        {{4, 3}, {MatchState::Playing, MatchState::Playing}, false, -1, {}},
        {{-1, 2, 2}, {MatchState::Left, MatchState::Playing, MatchState::Playing}, true, 1, {ConsoleKind::SeveralReachedLimit}},
        {{0, 0}, {MatchState::Left, MatchState::Playing}, false, 1, {ConsoleKind::Winner}},
    };
    for (const auto& c : cases) {
        Match m(int(c.kills.size()));
        for (size_t i = 0; i < c.kills.size(); ++i)
            m.r.players[i].kills = c.kills[i], m.r.players[i].matchState = c.states[i];
        EXPECT_EQ(c.winner != -1, m.r.GameStatusUpdate(c.force) == 1);
        EXPECT_EQ(c.winner, m.r.winner);
        EXPECT_EQ(c.lines, m.out.lines);
        if (c.winner != -1) {
            EXPECT_EQ((std::vector{MsgType::KillsList, MsgType::ConsoleLine, MsgType::Winner}), m.out.Types());
        }
    }
    Match alone(1);  // a lone player reaching the limit wins silently
    alone.r.players[0].kills = 5;
    EXPECT_EQ(1, alone.r.GameStatusUpdate(0));
    EXPECT_TRUE(alone.out.sent.empty());
}

TEST(MatchRules, CreditsEachDeathOnce)
{
    Match m(2);
    m.r.Handle_RequestDamage(0, -1, 999);  // a crash at 0 kills stays at 0
    EXPECT_EQ(0, m.planes[0]->health);
    EXPECT_EQ(0, m.r.players[0].kills);
    m.r.Handle_RequestDamage(1, 0, -500);  // clamped to 0: no healing
    EXPECT_EQ(99, m.planes[1]->health);
    m.r.Handle_RequestDamage(1, 0, 100);
    m.r.Handle_RequestDamage(1, 0, 50);  // already dead: no second credit
    m.r.Handle_RequestDamage(7, 0, 999);  // not in the table
    EXPECT_EQ(1, m.r.players[0].kills);
    m.r.winner = 1;
    m.r.KillsUpdate(0, 1);
    EXPECT_EQ(1, m.r.players[0].kills);
    // Once the winner is known a kill is neither counted nor announced.
    const size_t sent = m.out.sent.size(), lines = m.out.lines.size();
    m.planes[0]->health = 100;
    m.r.Handle_RequestDamage(0, 1, 100);
    EXPECT_EQ(0, m.planes[0]->health);
    EXPECT_EQ(0, m.r.players[1].kills);
    EXPECT_EQ(sent, m.out.sent.size());
    EXPECT_EQ(lines, m.out.lines.size());
    // A player out of the match neither does nor takes damage, nor is mended.
    Match out(3);
    out.r.players[2].matchState = MatchState::Left;
    out.r.players[2].kills = -1;
    out.r.Handle_RequestDamage(0, 2, 999);
    out.r.Handle_RequestDamage(2, 0, 999);
    out.planes[2]->health = 50;
    out.r.Handle_RequestRepair(10, 2, 0);
    EXPECT_EQ(100, out.planes[0]->health);
    EXPECT_EQ(50, out.planes[2]->health);
    EXPECT_TRUE(out.out.sent.empty());

    Match client(2, false);
    client.r.RequestDamage(1, 0, 30);
    EXPECT_EQ(100, client.planes[1]->health);
    ASSERT_EQ(1u, client.out.sent.size());
    EXPECT_EQ(MsgType::DamageRequest, client.out.sent[0].type);
}

// Two kills reported in one frame: the first reaches the limit and wins,
// the second counts no more.
TEST(MatchRules, TheKillThatReachesTheLimitDecides)
{
    Match m(2);
    m.r.players[0].kills = 4;
    m.r.Handle_RequestDamage(1, 0, 100);
    EXPECT_EQ(0, m.r.winner);
    m.planes[1]->health = 100;
    m.r.Handle_RequestDamage(1, 0, 100);
    EXPECT_EQ(5, m.r.players[0].kills);
    EXPECT_EQ((std::vector{ConsoleKind::Kill, ConsoleKind::Winner}), m.out.lines);
    EXPECT_EQ((std::vector{MsgType::KillsList, MsgType::ConsoleLine, MsgType::KillsList, MsgType::ConsoleLine,
                           MsgType::Winner}),
              m.out.Types());
}

// A shot of a carried weapon pays for one hit of at most its weapon's
// damage while it flies (its weapon's life at 50 ms a frame, then the
// link's allowance, on the wrapping clock); a hit takes the weakest weapon
// that does that much, so a bullet's hit never spends the rocket a later
// rocket hit needs; a full book makes room by the shot that lapses first.
TEST(MatchRules, AShotPaysForOneHitOfItsWeaponWhileItFlies)
{
    Match m(2);
    m.r.ResetMatch();
    m.r.weapons = {{MyWeapon::kShot, 4, 28, 1}, {MyWeapon::kRocket, 35, 50, 1}, {MyWeapon::kBomb, 100, 200, 0}};
    const uint32_t t0 = 0xFFFFFF00u;
    const uint32_t gunFlies = 28 * MatchRules::kShotFrameMs + MatchRules::kShotLinkAllowance;
    auto at = [&](uint32_t t) { m.r.clock = t0 + t; };
    at(0);
    EXPECT_FALSE(m.r.ShotFired(0, 2, 200)) << "a weapon nobody carries";
    EXPECT_FALSE(m.r.ShotFired(0, 3, 28)) << "outside the catalogue";
    EXPECT_EQ(DamageRefusal::NoShot, m.r.TakeDamage(1, 0, 4));
    m.r.ShotFired(0, 1, 50);
    m.r.ShotFired(0, 0, 255);  // says it flies longer than its weapon does
    EXPECT_EQ(DamageRefusal::TooMuch, m.r.TakeDamage(1, 0, 36));
    EXPECT_EQ(DamageRefusal::None, m.r.TakeDamage(1, 0, 4));
    EXPECT_EQ(DamageRefusal::None, m.r.TakeDamage(1, 0, 35));
    EXPECT_EQ(0, m.r.ShotsInFlight(0));
    m.r.ShotFired(0, 0, 28);
    at(gunFlies);
    EXPECT_EQ(1, m.r.ShotsInFlight(0)) << "the last moment of its flight";
    at(gunFlies + 1);
    EXPECT_EQ(DamageRefusal::NoShot, m.r.TakeDamage(1, 0, 4)) << "lapsed";

    for (int i = 0; i < ShotBook::kCapacity; ++i)
        m.r.ShotFired(0, 0, 28);
    at(gunFlies + 100);
    m.r.ShotFired(0, 1, 50);
    EXPECT_EQ(ShotBook::kCapacity, m.r.ShotsInFlight(0));
    EXPECT_EQ(DamageRefusal::None, m.r.TakeDamage(1, 0, 35));
    // A rocket that lapses before a bullet does not pay for the bullet's
    // hit: it is left for a rocket's.
    Match early(2);
    early.r.ResetMatch();
    early.r.weapons = m.r.weapons;
    early.r.clock = t0;
    early.r.ShotFired(0, 1, 10);
    early.r.ShotFired(0, 0, 28);
    EXPECT_EQ(DamageRefusal::None, early.r.TakeDamage(1, 0, 4));
    EXPECT_EQ(DamageRefusal::None, early.r.TakeDamage(1, 0, 35));
    // Only the host keeps the account.
    Match client(2, false);
    EXPECT_TRUE(client.r.ShotFired(0, 0, 40));
    EXPECT_EQ(0, client.r.ShotsInFlight(0));
}

TEST(MatchRules, RepairsLivingAirplanesAtMostEvery200ms)
{
    Match m(2);
    m.planes[0]->health = 95;
    m.r.RequestRepairPlayer(10, 0xFFFFFF00u);
    EXPECT_EQ(100, m.planes[0]->health);
    m.planes[0]->health = 50;
    m.r.RequestRepairPlayer(10, 0x50u);  // 336 ms later across the wrap
    m.r.RequestRepairPlayer(10, 0xE0u);  // 144 ms after that: dropped
    EXPECT_EQ(60, m.planes[0]->health);
    m.planes[1]->health = 0;
    m.r.Handle_RequestRepair(255, 1, 0);
    EXPECT_EQ(0, m.planes[1]->health);
}

// The host mends a guest by what the match mission's repair gives, as often
// as the guest's own throttle sends, with a burst for requests a slow link
// delivered together: a flood of repairs makes no one unkillable.
TEST(MatchRules, AGuestsRepairsAreBoundedByTheMission)
{
    Match m(2);
    m.r.repairAmount = 5;
    m.planes[1]->health = 10;
    m.r.Handle_RequestRepair(6, 1, 1000);
    EXPECT_EQ(10, m.planes[1]->health) << "more than the mission gives";
    for (int i = 0; i < 20; ++i)
        m.r.Handle_RequestRepair(5, 1, 1000);
    EXPECT_EQ(35, m.planes[1]->health) << "twenty at once: a burst of five";
    for (uint32_t t = 1000; t <= 2000; t += 25)
        m.r.Handle_RequestRepair(5, 1, t);
    EXPECT_EQ(60, m.planes[1]->health) << "a second of flood: one in 200 ms";

    // An honest guest asks every 250 ms; its link holds two back and
    // delivers them together with the third.
    Match honest(2);
    honest.r.repairAmount = 5;
    honest.planes[1]->health = 10;
    for (uint32_t t : {0u, 250u, 500u, 1240u, 1245u, 1250u, 1500u, 1750u})
        honest.r.Handle_RequestRepair(5, 1, 0xFFFFFF00u + t);
    EXPECT_EQ(50, honest.planes[1]->health);
}

// The mission's repair action on the local airplane reaches the rules with
// the session's clock: requests closer than 200 ms on that clock are
// dropped, whatever the local player's id.
TEST(MatchRules, MissionRepairActionIsThrottledByTheSessionClock)
{
    struct Session : MissionRepairLink {
        MatchRules* rules = nullptr;
        uint32_t clock = 0;
        uint32_t Now() const override { return clock; }
        void RequestRepairPlayer(int amount, uint32_t now) override { rules->RequestRepairPlayer(amount, now); }
    };
    for (int me : {0, 1, 2}) {
        for (bool host : {true, false}) {
            Match m(3, host);
            m.r.myId = me;
            MyAirplane* mine = m.planes[size_t(me)].get();
            mine->health = 50;
            Session session;
            session.rules = &m.r;
            GPO player;
            player.aircraft = mine;
            Command repair;
            repair.SetType(Command::GPO_HEALTH_INCREASE_MP_REQUEST);
            repair.SetGpoRef(&player);
            repair.SetHealth(10);
            repair.SetRepairLink(&session);
            struct Step {
                uint32_t at;
                bool repaired;
            };
            int expected = 50, requests = 0;
            for (Step st : {Step{1000, true}, Step{1150, false}, Step{1199, false}, Step{1200, true},
                            Step{1200, false}, Step{5000, true}}) {
                session.clock = st.at;
                repair.Execute(nullptr);
                if (st.repaired) {
                    expected += 10;
                    requests++;
                }
                // The host repairs at once; a client asks the host.
                EXPECT_EQ(host ? expected : 50, mine->health) << me << " " << st.at;
                EXPECT_EQ(host ? 0 : requests, int(m.out.sent.size())) << me << " " << st.at;
            }
            if (!host) {
                EXPECT_EQ(MsgType::RepairRequest, m.out.sent[0].type);
                EXPECT_EQ(10, m.out.sent[0].amount);
            }
        }
    }
}

// A client decides neither respawns nor the winner: the host's messages
// tell it.
TEST(MatchRules, ClientLeavesRespawnsAndWinnerToTheHost)
{
    Match client(2, false);
    client.planes[1]->health = 0;
    client.r.players[0].kills = 40;
    for (uint32_t t : {1000u, 3000u, 9000u}) {
        client.r.Respawn_Listener(t);
        EXPECT_EQ(0, client.r.GameStatusUpdate(0));
        EXPECT_EQ(0, client.r.GameStatusUpdate(1));
    }
    EXPECT_EQ(0, client.planes[1]->health);
    EXPECT_EQ(0u, client.planes[1]->deathTime);
    EXPECT_EQ(-1, client.r.winner);
    EXPECT_TRUE(client.out.sent.empty());
    // The same on the host.
    Match host(2, true);
    host.planes[1]->health = 0;
    host.r.players[0].kills = 40;
    host.r.Respawn_Listener(1000);
    host.r.Respawn_Listener(3000);
    EXPECT_EQ(100, host.planes[1]->health);
    EXPECT_EQ(1, host.r.GameStatusUpdate(0));
    EXPECT_EQ(0, host.r.winner);
}

TEST(MatchRules, RespawnsInRotationAfterTheDelay)
{
    Match m(2);
    const uint32_t t0 = 0xFFFFF000u;  // the clock wraps during the match
    for (int round = 0; round < 5; ++round) {
        uint32_t t = t0 + uint32_t(round) * 3000;
        m.planes[1]->health = 0;
        m.r.Respawn_Listener(t);
        m.r.Respawn_Listener(t + 1999);
        EXPECT_EQ(0, m.planes[1]->health) << round;
        m.r.Respawn_Listener(t + 2000);
        EXPECT_EQ(100, m.planes[1]->health) << round;
        EXPECT_EQ(PVector3((round + 1) % 4, 0, 0), m.planes[1]->spawnPosition) << round;
        EXPECT_EQ(MsgType::Respawn, m.out.sent.back().type);
    }
}

TEST(MatchRules, MarksLatePositions)
{
    struct Case {
        uint32_t prev, last, now;
        uint8_t lagging;
    } cases[] = {
        {1000, 2300, 2400, 1},  // two messages 1300 ms apart
        {1000, 1400, 2601, 1},  // none for 1201 ms
        {1000, 1400, 2600, 0},
        {0xFFFFFE00u, 0x100u, 0x200u, 0},  // across the wrap, on time
        {0xFFFFF000u, 0x100u, 0x200u, 1},  // across the wrap, 4352 ms apart
        {0, 0, 5000, 0},                   // nothing received yet
    };
    for (const auto& c : cases) {
        Match m(1);
        m.planes[0]->netTimeBefore = c.prev;
        m.planes[0]->netTime = c.last;
        m.r.UpdatePackagesTime(c.now);
        EXPECT_EQ(c.lagging, m.r.players[0].lagging) << c.prev << " " << c.last;
    }
}

}  // namespace
