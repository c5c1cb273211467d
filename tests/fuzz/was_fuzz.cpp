// Fuzz target: a weapon record from untrusted bytes, read by the game's
// checked reader, then fired and flown by a weapon system holding it. The
// motion values are also flown as they stand, past the reader's ranges, so
// that the motion arithmetic is tried on every value.
#include <cstddef>
#include <cstdint>

#include "game/world/gameplayobject.h"
#include "game/world/weaponsystem.h"

namespace {

int32_t Le32(const uint8_t* d)
{
    return int32_t(uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24);
}

void Fly(MyWeapon const& w)
{
    MyWeapon drifting = w;
    drifting.alternate = 1;
    WeaponSystem ws(nullptr, nullptr);
    ws.SetWeapons({w, drifting});
    GPO shooter, target;
    shooter.SetInternalHealthRef();
    target.SetInternalHealthRef();
    target.DefineObjectType(GPO::VEHICLE);
    target.position = {0, 0, 0x40000};
    target.forward = {0x10000, 0, 0};
    shooter.forward = {0, 0, 0x10000};
    shooter.id = GPO::kIdBase;
    target.id = GPO::kIdBase + 1;
    GPO* list[] = {&shooter, &target};
    PVector3 camera;
    for (unsigned t = 1; t < 400; t += 25) {
        mycoolparticle* second = nullptr;
        ws.Fire(uint8_t(t & 1), &shooter, list, 2, 0, second);
        ws.MoveParticles(-0x100000, &camera, nullptr, nullptr);
        ws.CollisionProcess(nullptr, &shooter, list, 2, nullptr, -0x100000, t, nullptr);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MyWeapon w;
    if (w.Parse(data, size))
        Fly(w);
    if (size < size_t(MyWeapon::kHeaderSize) || data[4] > MyWeapon::kMaxType)
        return 0;
    MyWeapon raw;
    raw.type = data[4];
    raw.life = data[9], raw.groundImpact = data[10], raw.damage = data[11], raw.reload = 1;
    raw.hitRadius = Le32(data + 21), raw.speed = Le32(data + 25), raw.drift = Le32(data + 29);
    raw.gravity = Le32(data + 37), raw.muzzleSide = Le32(data + 41), raw.muzzleDown = Le32(data + 45);
    Fly(raw);
    return 0;
}
