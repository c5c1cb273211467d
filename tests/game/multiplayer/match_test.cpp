// A match between two game sessions on the in-memory network, with the demo
// archive's match level on Mesa: the room is made and the match started
// through the menus, each player's game loads the level with the session as
// its match link, both fly and fire, the shots reach the other game, a kill
// is counted once on both sides, the frag limit ends the match on both and
// the menus' standings agree.
#include <filesystem>

#include "engine/graphics/ptexturemanager.h"
#include "game/world/console.h"
#include "game/world/gameplayobject.h"
#include "game/world/levelsmanager.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/weaponsystem.h"
#include "tests/game/multiplayer/menus_fixture.h"

namespace menutest {
namespace {

#ifdef KRV_DEMO_ARCHIVE
constexpr int kFireKey = 16;
constexpr int kMatchOver = 9;

class MatchGames : public Menus {
public:
    struct Side {
        Player* p = nullptr;
        std::unique_ptr<MainGame> game;
        int keys = 0;
        int result = 1;
        int frames = 0;
        uint8_t digits[10] = {};
        // Shots of the other player this game's weapons carried.
        int received = 0;
        bool linkLost = false;
    };

    void SetUp() override
    {
        if (!std::filesystem::exists(KRV_DEMO_ARCHIVE))
            GTEST_SKIP() << "the demo archive is not built";
        Prepare(KRV_DEMO_ARCHIVE);
        mesa.display->GetInfo(props);
        textures = std::make_unique<PTextureManager>(mesa.display, mesa.ctx);
        levels = std::make_unique<LevelsManager>(mesa.ctx, &fonts, &props);
        ASSERT_TRUE(levels->PreprocessScripts(mesa.ctx, mesa.display));
        group = levels->AddLevelsGroup(LevelsManager::MULTIPLAYER, 0);
        ASSERT_TRUE(group && group->Count() > 0);
        group->multiplayer = 1;
        console = std::make_unique<Console>(nullptr, &fonts);
    }
    void TearDown() override
    {
        for (Side& s : sides)
            s.game.reset();
        console.reset();
        levels.reset();
        textures.reset();
        Menus::TearDown();
    }

    // The menus of both players up to the started match; then each game
    // loads, as the application does when the menus answer 1.
    void StartMatch()
    {
        Player& a = Add("LOCKHART");
        Player& b = Add("HERON");
        HostLocal(a);
        JoinLocal(b);
        ASSERT_TRUE(Until([&] { return a.k.playerCount == 2 && a.k.MP_IsAllReady(); }));
        Tap(a, Button(a, KrvMp::MENU_GAME_ROOM, 0));
        ASSERT_TRUE(Until([&] { return a.playing && b.playing; }));
        for (Player* p : {&a, &b}) {
            sides.emplace_back();
            Side& s = sides.back();
            s.p = p;
            p->k.SetDataToLevelGroup(group);
            s.game = std::make_unique<MainGame>(mesa.ctx, &settings, nullptr, &fonts, console.get(), nullptr,
                                                nullptr);
            p->k.game = s.game.get();
            ASSERT_EQ(s.game->LoadMultiPlayerGame(textures.get(), &props, hub.now, group, p->k.GetGameLink()), 1);
            p->k.state = KrvMpConn::kMatchRunning;
        }
    }

    // One 25 ms frame of both games (the menus of a player whose match is
    // over), as the application runs them.
    void Frame(const std::function<void(Side&)>& before = nullptr)
    {
        hub.now += 25;
        for (Side& s : sides) {
            if (!s.game) {
                if (!s.linkLost)
                    s.p->k.Update(hub.now);
                continue;
            }
            if (s.p->k.MP_Update(hub.now) == KrvMpConn::kErrLinkLost) {
                // The link is gone: the game goes, as the application does.
                s.linkLost = true;
                s.game.reset();
                s.p->k.MP_Release();
                continue;
            }
            if (before)
                before(s);
            s.result = s.game->PlayGame(mesa.ctx, textures.get(), &props, s.frames++, s.keys, s.digits, hub.now,
                                        nullptr);
            const int other = Other(s).p->k.MP_GetMyId();
            for (mycoolparticle const& q : s.game->Weapons()->particles)
                s.received += q.life > 0 && q.owner == other;
            if (s.result == kMatchOver) {
                // Back to the menus' standings, as the application does.
                s.game.reset();
                s.p->k.MP_EndGame();
                s.p->k.Touchscreen_Reset();
                s.p->k.GoToState(KrvMp::MENU_FINAL_STANDINGS);
            } else {
                ASSERT_EQ(s.result, 1);
            }
        }
    }
    Side& Other(Side& s) { return &s == &sides[0] ? sides[1] : sides[0]; }
    static MyAirplane* Mine(Side& s) { return s.game ? s.game->Player(0) : nullptr; }
    int Kills(Side& s, int id) { return s.p->k.GetPlayerKills(id); }
    std::vector<std::wstring> Standings(Side& s)
    {
        std::vector<std::wstring> rows;
        for (KrvMpLabel* l : s.p->k.menus[KrvMp::MENU_FINAL_STANDINGS].standings)
            rows.push_back(Text(l));
        return rows;
    }

    PDisplayProperties props {};
    std::unique_ptr<PTextureManager> textures;
    std::unique_ptr<LevelsManager> levels;
    std::unique_ptr<Console> console;
    LevelsGroup* group = nullptr;
    std::vector<Side> sides;
};

TEST_F(MatchGames, ShotsKillsAndTheFragLimitAgreeOnBothSides)
{
    StartMatch();
    if (HasFatalFailure())
        return;
    Side& host = sides[0];
    Side& guest = sides[1];
    const int hostId = host.p->k.MP_GetMyId(), guestId = guest.p->k.MP_GetMyId();
    // Each game flies its own player in slot 0 and knows the other by id.
    for (Side* s : {&host, &guest}) {
        ASSERT_TRUE(s->game->IsMultiplayer());
        ASSERT_EQ(s->game->PlayerCount(), 2);
        EXPECT_EQ(Mine(*s)->netId, s->p->k.MP_GetMyId());
        EXPECT_EQ(s->game->Player(1)->netId, Other(*s).p->k.MP_GetMyId());
        EXPECT_EQ(s->p->k.game, s->game.get());
    }
    EXPECT_NE(Mine(host)->position, Mine(guest)->position) << "two spawn points";

    // Both fire for two seconds: the shots travel both ways.
    const size_t logStart = hub.log.size();
    host.keys = guest.keys = kFireKey;
    for (int i = 0; i < 80; i++)
        Frame();
    int sent[2] = {0, 0};
    for (size_t i = logStart; i < hub.log.size(); i++)
        if (hub.log[i].data[0] == ShotMessage::kType)
            sent[hub.log[i].from == hostId ? 0 : 1]++;
    EXPECT_GT(sent[0], 0);
    EXPECT_GT(sent[1], 0);
    EXPECT_GT(host.received, 0) << "the guest's shots reach the host's game";
    EXPECT_GT(guest.received, 0) << "the host's shots reach the guest's game";
    EXPECT_EQ(Kills(host, hostId) + Kills(host, guestId), 0);

    // One kill short of the limit; the guest then flies into the host's
    // sights and only the host fires.
    const int limit = host.p->k.GetFragLimit();
    host.p->k.players[host.p->k.MP_GetPlayerIndex(hostId)].kills = limit - 1;
    guest.keys = 0;
    auto ahead = [&](Side& s) {
        if (&s != &guest || !Mine(host) || !Mine(guest) || Mine(guest)->health < 1)
            return;
        MyAirplane* h = Mine(host);
        MyAirplane* g = Mine(guest);
        g->position = PVecAdd(h->position, PVecScale(h->forward, 12 << 16));
        g->angles = h->angles;
    };
    bool killed = false;
    for (int i = 0; i < 600 && !killed; i++) {
        Frame(ahead);
        killed = Kills(host, hostId) == limit;
    }
    ASSERT_TRUE(killed) << "the host's fire did not bring the guest down";
    host.keys = 0;
    // The match ends on both sides 2.5 s after the winner is known.
    for (int i = 0; i < 200 && (host.game || guest.game); i++)
        Frame();
    ASSERT_FALSE(host.game) << "the host's match did not end";
    ASSERT_FALSE(guest.game) << "the guest's match did not end";
    Frame();
    for (Side* s : {&host, &guest}) {
        EXPECT_EQ(s->p->k.GetState(), KrvMp::MENU_FINAL_STANDINGS);
        EXPECT_EQ(s->p->k.MP_GetWinner(), hostId);
        EXPECT_EQ(Kills(*s, hostId), limit) << "the kill is counted once";
        EXPECT_EQ(Kills(*s, guestId), 0);
        EXPECT_FALSE(s->p->k.game);
    }
    EXPECT_EQ(Standings(host), Standings(guest));
}

TEST_F(MatchGames, APlayerCutOffLeavesTheOtherTheWinner)
{
    StartMatch();
    if (HasFatalFailure())
        return;
    Side& host = sides[0];
    Side& guest = sides[1];
    const int hostId = host.p->k.MP_GetMyId();
    for (int i = 0; i < 20; i++)
        Frame();
    GPO* guestInHost = host.game->Player(1)->gpo;
    ASSERT_TRUE(guestInHost && guestInHost->enabled);
    hub.Cut(guest.p->k.MP_GetMyId());
    Frame();
    EXPECT_TRUE(guest.linkLost);
    EXPECT_FALSE(guest.game);
    // The host's game takes the guest's aircraft out and wins alone.
    for (int i = 0; i < 200 && host.game; i++) {
        Frame();
        if (i == 10 && host.game) {
            EXPECT_FALSE(guestInHost->enabled) << "the guest's aircraft still flies in the host's game";
        }
    }
    ASSERT_FALSE(host.game) << "the host's match did not end";
    EXPECT_EQ(host.p->k.MP_GetWinner(), hostId);
    EXPECT_EQ(host.p->k.GetState(), KrvMp::MENU_FINAL_STANDINGS);
}
#endif

} // namespace
} // namespace menutest
