// Fuzz target: a shot message from another player, untrusted bytes handed to
// a game session holding a weapon system with a shot and a homing rocket and
// a match of three aircraft; then the received projectiles fly and hit.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/runtime/pdebugpeer.h"
#include "game/world/gameplayobject.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/weaponsystem.h"

// The fuzz target's view of the session's private parts.
struct MainGameProbe {
    static void Set(MainGame& g, WeaponSystem* ws, MyAirplane** planes, GPO** objects, int n)
    {
        g.m_weapons = ws;
        g.m_multiplayer = 1;
        g.m_playerCount = uint8_t(n);
        for (int i = 0; i < n; ++i) {
            g.m_players[i] = planes[i];
            g.m_playerObjects[i] = objects[i];
        }
    }
    static void Release(MainGame& g)
    {
        g.m_weapons = nullptr;
        for (int i = 0; i < 4; ++i) {
            g.m_players[i] = nullptr;
            g.m_playerObjects[i] = nullptr;
        }
    }
};

namespace {

MyWeapon Weapon(uint8_t type)
{
    MyWeapon w;
    w.type = type;
    w.life = 60;
    w.damage = 10;
    w.speed = 40000;
    w.hitRadius = 0x10000;
    return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    // The log's limits on peers' lines start afresh: an input's outcome does
    // not depend on the inputs before it.
    PDebugPeerReset();
    WeaponSystem ws(nullptr, nullptr);
    ws.SetWeapons({Weapon(MyWeapon::kShot), Weapon(MyWeapon::kRocket)});
    MyAirplane a(nullptr, nullptr), b(nullptr, nullptr), c(nullptr, nullptr);
    GPO ga, gb, gc;
    MyAirplane* planes[] = {&a, &b, &c};
    GPO* objects[] = {&ga, &gb, &gc};
    for (int i = 0; i < 3; ++i) {
        planes[i]->health = 100;
        planes[i]->netId = i + 1;
        planes[i]->gpo = objects[i];
        objects[i]->aircraft = planes[i];
        objects[i]->SetHealthRef(planes[i]->health);
        planes[i]->position = {i * 0x40000, 0, 0x80000};
    }
    ws.SetMatchAircraft({&a, &b, &c});
    // The received bytes in a buffer of their own length, so that a read past
    // the message is caught.
    std::vector<uint8_t> copy(data, data + size);
    MainGame game(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    MainGameProbe::Set(game, &ws, planes, objects, 3);
    game.ReceiveShootFromClient(copy.empty() ? nullptr : copy.data(), int(copy.size()));
    for (int i = 0; i < 30; ++i) {
        ws.MoveParticles(-0x100000, nullptr, nullptr, nullptr);
        ws.CollisionProcessMultiplayer(nullptr, nullptr, unsigned(i * 25), nullptr, -0x100000);
    }
    MainGameProbe::Release(game);
    return 0;
}
