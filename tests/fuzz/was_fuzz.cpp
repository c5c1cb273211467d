// Fuzz target: a weapon record from untrusted bytes, read by the game's
// checked reader, then fired and flown by a weapon system holding it.
#include <cstddef>
#include <cstdint>

#include "game/world/gameplayobject.h"
#include "game/world/weaponsystem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MyWeapon w;
    if (!w.Parse(data, size))
        return 0;
    WeaponSystem ws(nullptr, nullptr);
    ws.SetWeapons({w, w});
    GPO shooter, target;
    shooter.SetInternalHealthRef();
    target.SetInternalHealthRef();
    target.DefineObjectType(GPO::VEHICLE);
    target.position = {0, 0, 0x40000};
    shooter.forward = {0, 0, 0x10000};
    GPO* list[] = {&shooter, &target};
    for (unsigned t = 1; t < 400; t += 25) {
        mycoolparticle* second = nullptr;
        ws.Fire(0, &shooter, list, 2, 0, second);
        ws.MoveParticles(-0x100000, nullptr, nullptr, nullptr);
        ws.CollisionProcess(nullptr, &shooter, list, 2, nullptr, -0x100000, t, nullptr);
    }
    return 0;
}
