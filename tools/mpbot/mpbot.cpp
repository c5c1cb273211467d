// mpbot: a headless player. It runs the match session over a real back end
// (the local network or the internet) with a stand-in match game whose
// airplanes fly straight on within a bounded span (botcourse.h), follows a
// script of kills and prints the final table. The host starts the match
// once the room holds the expected players.
//
//   mpbot --host ROOM | --join [ADDRESS[:PORT]]  --name PILOT
//         [--players N] [--script "wait 500; kill 0; kill 2; leave"] [--net lan|internet]
//         [--lobby ADDRESS:PORT | --web HOST:PORT --key KEY] [--speed N] [--timeout S]
//
//         [--data ARCHIVE [--weapon INDEX]]
//
// Without an address --join takes the first room it finds. The bot's
// aircraft fires one weapon: without --data a stand-in gun, one hit of
// which takes a full airplane down; with --data the record INDEX (0 when not
// given) of the game's weapon catalogue in that data archive, as the
// program fires it, so that a host running the program takes its hits.
// The script runs from the start of the match: "wait MS" pauses, "kill ID"
// waits until that player's airplane lives and shoots it until its death
// comes back from the host (a shot, then a hit of the weapon's damage, as
// often as the weapon reloads), "leave" quits the match. Output lines:
// "joined ID", "match", "kills K" whenever the host counts the bot's kills
// anew, "left out" when the host left the bot out of a match (it then
// waits for the next start), "winner ID", then "player ID NAME kills K" per player in table
// order. Exit 0 with a winner, 2 on time-out, 3 when the link is lost, 1
// on bad arguments or a weapon the data does not hold.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/net/online/serverdiscoveryimp.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/ptime.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/profile.h"
#include "game/multiplayer/krvmpconn.h"
#include "game/multiplayer/mpbackends.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "game/world/weaponsystem.h"
#include "tools/mpbot/botcourse.h"

namespace {

struct Options {
    bool host = false;
    std::string room = "BOTS";
    std::string joinAddress;
    int joinPort = 0;
    std::string name = "BOT";
    int players = 2;
    std::string script;
    int net = Multiplayer::kNetLocal;
    std::string lobby, web, key;
    int speed = 1;
    int timeout = 60;
    std::string data;
    int weapon = 0;
};

// The running match as the session sees it.
class BotMatch : public MatchGame {
public:
    int GetSpawnPointVec(int index, PVector3& position, PVector3& direction) override
    {
        if (index < 0 || index > 3)
            return 0;
        position = PVector3((index + 1) * 0x1000000, 0x200000, -index * 0x800000);
        direction = PVector3(0, index * 0x5A0000, 0);
        return 1;
    }
    void ReceiveShootFromClient(const unsigned char*, int) override {}
    const wchar_t* GetConsoleText(unsigned) override { return nullptr; }
    void AddConsoleLine(const wchar_t*) override {}
    // The bots of a match all fly the weapon the bot fires.
    std::vector<MatchWeapon> MatchWeapons() override { return weapons; }
    // The stand-in gun: one hit takes a full airplane down.
    void StandInGun()
    {
        weapons = {{MyWeapon::kShot, 100, 40, 1}};
        reload = 200;
    }
    // The game's catalogue from the data archive; false (logged) when it
    // holds no record weapon.
    bool GameWeapons(const std::string& archive, int weapon)
    {
        PVFS vfs(archive.c_str());
        PGlobals globals{};
        globals.archive = &vfs;
        PSetTls(&globals);
        WeaponSystem records(nullptr, nullptr);
        records.Init(nullptr);
        PSetTls(nullptr);
        const MyWeapon* w = records.GetWeapon(weapon);
        if (!w) {
            std::fprintf(stderr, "mpbot: %s holds no weapon %d (%d records)\n", archive.c_str(), weapon,
                         records.WeaponCount());
            return false;
        }
        weapons.clear();
        for (int i = 0; i < records.WeaponCount(); ++i) {
            const MyWeapon* r = records.GetWeapon(i);
            weapons.push_back({r->type, r->damage, r->life, uint8_t(i == weapon)});
        }
        if (w->pair == 1 && size_t(weapon) + 1 < weapons.size())
            weapons[size_t(weapon) + 1].carried = 1;
        fired = weapon;
        reload = std::max(w->reload, 1);
        return true;
    }
    // A shot of the bot's weapon from its airplane, then its hit on the
    // victim, as a player's game reports them.
    void ShootAt(KrvMpConn& s, int victim)
    {
        const MatchWeapon& w = weapons[size_t(fired)];
        ShotMessage shot;
        shot.shooter = s.MP_GetMyId();
        shot.weapon = uint8_t(fired);
        shot.life = w.life;
        if (MyAirplane* me = Mine(s))
            shot.position = me->position;
        uint8_t bytes[ShotMessage::kLengthHoming];
        if (int n = shot.Encode(w.type, bytes, int(sizeof bytes)))
            s.GetGameLink()->SendToAll(bytes, n);
        s.GetWeaponLink()->RequestDamage(victim, s.MP_GetMyId(), w.damage);
    }
    std::vector<MatchWeapon> weapons;
    int fired = 0;   // the record the bot fires
    int reload = 0;  // ms between its shots
    // The bot flies a mission without repairs.
    int MissionRepairAmount() override { return 0; }

    void Attach(KrvMpConn& s, uint32_t now)
    {
        s.game = this;
        for (int i = 0; i < s.playerCount; ++i) {
            auto gpo = std::make_unique<GPO>();
            auto air = std::make_unique<MyAirplane>(nullptr, nullptr);
            air->netId = s.players[i].id;
            air->health = 100;
            air->gpo = gpo.get();
            gpo->aircraft = air.get();
            s.players[i].gameObject = gpo.get();
            gpos.push_back(std::move(gpo));
            planes.push_back(std::move(air));
        }
        s.MP_SetRespawnVectors();
        if (MyAirplane* me = Mine(s)) {
            PVector3 p, d;
            GetSpawnPointVec(s.MP_GetPlayerIndex(s.MP_GetMyId()), p, d);
            me->SetSpawnPoint(p, d);
            me->Respawn(100, now);
        }
        s.state = KrvMpConn::kMatchRunning;
    }
    static MyAirplane* Of(KrvMpConn& s, int id)
    {
        KrvMpConn::KrvPlayer* p = s.MP_GetPlayer(id);
        return p && p->gameObject ? p->gameObject->aircraft : nullptr;
    }
    static MyAirplane* Mine(KrvMpConn& s) { return Of(s, s.MP_GetMyId()); }

    std::vector<std::unique_ptr<GPO>> gpos;
    std::vector<std::unique_ptr<MyAirplane>> planes;
};

struct Step {
    enum Kind { kWait, kKill, kLeave } kind;
    int value;
};

bool ParseScript(const std::string& text, std::vector<Step>& out)
{
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of(";\n", at);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(at, end - at);
        at = end + 1;
        char word[16] = {};
        int value = 0;
        int n = std::sscanf(item.c_str(), " %15s %d", word, &value);
        if (n <= 0)
            continue;
        if (n == 1 && std::strcmp(word, "leave") == 0) {
            out.push_back({Step::kLeave, 0});
            continue;
        }
        if (n != 2 || (std::strcmp(word, "wait") != 0 && std::strcmp(word, "kill") != 0) || value < 0) {
            std::fprintf(stderr, "mpbot: bad script step '%s'\n", item.c_str());
            return false;
        }
        out.push_back({word[0] == 'k' ? Step::kKill : Step::kWait, value});
    }
    return true;
}

bool SplitAddress(const std::string& text, std::string& host, int& port)
{
    size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    port = colon == std::string::npos ? 0 : std::atoi(text.c_str() + colon + 1);
    return !host.empty() && port >= 0 && port <= 65535;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: mpbot --host ROOM | --join [ADDRESS[:PORT]]  --name PILOT [--players N]\n"
                 "             [--script STEPS] [--net lan|internet] [--lobby ADDRESS:PORT]\n"
                 "             [--web HOST:PORT --key KEY] [--speed N] [--timeout SECONDS]\n"
                 "             [--data ARCHIVE [--weapon INDEX]]\n");
    return 1;
}

bool ParseArgs(int argc, char** argv, Options& o)
{
    bool role = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc && argv[i + 1][0] != '-';
        auto next = [&]() -> std::string { return more ? argv[++i] : ""; };
        if (a == "--host") {
            o.host = role = true;
            if (more)
                o.room = next();
        } else if (a == "--join") {
            role = true;
            if (more && !SplitAddress(next(), o.joinAddress, o.joinPort))
                return false;
        } else if (a == "--name" && more) {
            o.name = next();
        } else if (a == "--players" && more) {
            o.players = std::atoi(next().c_str());
        } else if (a == "--script" && i + 1 < argc) {
            o.script = argv[++i];
        } else if (a == "--net" && more) {
            std::string n = next();
            o.net = n == "internet" ? Multiplayer::kNetInternet : n == "lan" ? Multiplayer::kNetLocal : -1;
        } else if (a == "--lobby" && more) {
            o.lobby = next();
        } else if (a == "--web" && more) {
            o.web = next();
        } else if (a == "--key" && more) {
            o.key = next();
        } else if (a == "--speed" && more) {
            o.speed = std::atoi(next().c_str());
        } else if (a == "--timeout" && more) {
            o.timeout = std::atoi(next().c_str());
        } else if (a == "--data" && more) {
            o.data = next();
        } else if (a == "--weapon" && more) {
            o.weapon = std::atoi(next().c_str());
        } else {
            return false;
        }
    }
    return role && o.net > 0 && o.weapon >= 0 && o.players >= 1 && o.players <= 4 && o.speed >= 1 && o.timeout > 0 &&
           (o.net == Multiplayer::kNetLocal || !o.lobby.empty() || !o.web.empty());
}

void PrintTable(KrvMpConn& s)
{
    std::printf("winner %d\n", s.MP_GetWinner());
    for (int i = 0; i < s.playerCount; ++i)
        std::printf("player %d %s kills %d\n", s.players[i].id, s.players[i].name, s.players[i].kills);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    std::vector<Step> script;
    if (!ParseArgs(argc, argv, o) || !ParseScript(o.script, script))
        return Usage();
    InstallNetworkBackEnds();
    if (!o.web.empty())
        VOrededidaza::Internal::ServerDiscoveryImp::setServiceHost(o.web.c_str());
    if (!o.key.empty())
        VOrededidaza::Internal::ServerDiscoveryImp::setQueryKey(o.key.c_str());

    KrvMpConn s;
    Profile profile;
    BotMatch game;
    if (o.data.empty())
        game.StandInGun();
    else if (!game.GameWeapons(o.data, o.weapon))
        return 1;
    s.profile = &profile;
    s.MP_SetType(o.net);
    std::vector<char> name(o.name.begin(), o.name.end());
    name.push_back(0);
    if (!s.MP_Init(name.data())) {
        std::fprintf(stderr, "mpbot: no back end\n");
        return 3;
    }

    const uint32_t start = PTickCount();
    auto now = [&] { return start + (PTickCount() - start) * uint32_t(o.speed); };
    enum Phase { kLobby, kRoom, kWaiting, kPlaying, kDone } phase = kLobby;
    bool askedLobby = false, askedRoom = false, started = false, printed = false;
    uint32_t fullSince = 0, stepAt = 0, doneAt = 0;
    size_t next = 0;
    bool fired = false;  // the kill step under way has fired
    uint32_t shotAt = 0;  // when the bot fired last
    int kills = 0;        // the bot's kills as the host counted them
    if (o.net == Multiplayer::kNetLocal)
        phase = kRoom;
    else if (!o.lobby.empty()) {
        std::string host;
        int port;
        if (!SplitAddress(o.lobby, host, port) || !s.MP_LobbyJoin_Begin(-1, host.c_str(), port))
            return 3;
        askedLobby = true;
    } else if (!s.MP_GetLobbys_Begin()) {
        std::fprintf(stderr, "mpbot: no lobby list\n");
        return 3;
    }

    while (int32_t(PTickCount() - start) < o.timeout * 1000) {
        PSleep(5);
        uint32_t t = now();
        // Before a room is asked for, the local network reports no link.
        int err = phase == kRoom && !askedRoom ? 0 : s.MP_Update(t);
        if (err == KrvMpConn::kErrLinkLost && phase != kDone && (phase != kRoom || askedRoom)) {
            std::printf("link lost\n");
            std::fflush(stdout);
            return 3;
        }
        // The host left the bot out of its match (its answer came late):
        // back to waiting for the next start.
        if (err == KrvMpConn::kErrLeftOut && phase == kPlaying) {
            std::printf("left out\n");
            std::fflush(stdout);
            s.MP_EndGame();
            phase = kWaiting;
            started = fired = false;
        }
        switch (phase) {
        case kLobby:
            if (!askedLobby && s.state == KrvMpConn::kLobbyListReady && s.mp->GetLobbyCount() > 0) {
                s.MP_LobbyJoin_Begin(0, nullptr, 0);
                askedLobby = true;
            }
            if (s.state == KrvMpConn::kLobbyLoggedIn)
                phase = kRoom;
            if (err) {
                std::fprintf(stderr, "mpbot: lobby error %d\n", err);
                return 3;
            }
            break;
        case kRoom:
            if (!askedRoom) {
                askedRoom = true;
                if (o.host)
                    s.MP_RoomCreate_Begin(o.room.c_str());
                else if (!o.joinAddress.empty())
                    s.MP_DirectRoomJoin_Begin(o.joinAddress.c_str(), o.joinPort);
                else
                    s.MP_RoomsList_Begin();
            }
            if (s.state == KrvMpConn::kListingRooms && s.mp->GetGameRoomCount() > 0)
                s.MP_RoomJoin_Begin(0);
            // A local-network client learns its id just after connecting.
            if (s.state == KrvMpConn::kInRoomAsHost || (s.state == KrvMpConn::kInRoomAsClient && s.MP_GetMyId() != 0)) {
                std::printf("joined %d\n", s.MP_GetMyId());
                std::fflush(stdout);
                phase = kWaiting;
            }
            if (s.state == KrvMpConn::kRoomCreateFailed || s.state == KrvMpConn::kRoomJoinFailed) {
                std::fprintf(stderr, "mpbot: no room\n");
                return 3;
            }
            break;
        case kWaiting:
            if (o.host && s.state == KrvMpConn::kInRoomAsHost) {
                if (s.playerCount < o.players)
                    fullSince = 0;
                else if (!fullSince)
                    fullSince = t | 1;
                else if (t - fullSince > 1000)
                    s.TapStart();  // the game room's Start, the start wait's rules included
            }
            if (s.state == KrvMpConn::kMatchStartRequested && s.MP_IsAllPlaying() && !started) {
                s.MP_StartGame();
                game.Attach(s, t);
                started = true;
                stepAt = t;
                phase = kPlaying;
                std::printf("match\n");
                std::fflush(stdout);
            }
            break;
        case kPlaying:
            if (s.game)
                if (MyAirplane* me = BotMatch::Mine(s); me && me->health > 0)
                    me->position.x = botcourse::NextX(me->position.x);
            if (const KrvMpConn::KrvPlayer* me = s.MP_GetMe(); me && me->kills != kills && me->kills >= 0) {
                kills = me->kills;
                std::printf("kills %d\n", kills);
                std::fflush(stdout);
            }
            if (next < script.size() && int32_t(t - stepAt) >= 0) {
                const Step& st = script[next];
                MyAirplane* victim = st.kind == Step::kKill ? BotMatch::Of(s, st.value) : nullptr;
                if (st.kind == Step::kWait) {
                    stepAt = t + uint32_t(st.value);
                    ++next;
                } else if (st.kind == Step::kLeave) {
                    s.NotifyLeaveGame();
                    ++next;
                } else if (victim && victim->health > 0) {
                    // Shots, each with its hit, until the host tells the
                    // victim's death.
                    if (!fired || int32_t(t - shotAt) >= game.reload * o.speed) {
                        game.ShootAt(s, st.value);
                        fired = true;
                        shotAt = t;
                    }
                } else if (fired) {
                    fired = false;
                    ++next;
                }
            }
            if (s.MP_GetWinner() != -1) {
                phase = kDone;
                doneAt = t;
            }
            break;
        case kDone:
            // A little longer, so that the last messages reach everyone,
            // and the table stays whole while the others print theirs.
            if (!printed && t - doneAt > 1000 * uint32_t(o.speed)) {
                PrintTable(s);
                printed = true;
            }
            if (t - doneAt > 3000 * uint32_t(o.speed)) {
                s.MP_RoomLeave();
                s.MP_Release();
                return 0;
            }
            break;
        }
    }
    std::printf("timeout\n");
    PrintTable(s);
    return 2;
}
