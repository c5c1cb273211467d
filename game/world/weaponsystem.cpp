#include "game/world/weaponsystem.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/graphics/p3d.h"
#include "engine/graphics/pmesh.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/settings.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dobjects.h"
#include "game/scene/p3dutils.h"
#include "game/world/audiomanager.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "game/world/mybillboard.h"
#include "game/world/myexplosion.h"
#include "game/world/mysmoke.h"
#include "game/world/myutility.h"
#include "game/world/physic.h"
#include "game/world/quakefx.h"
#include "game/world/wave.h"
#include "game/world/wavesmanager.h"

namespace {

constexpr int32_t kOne = 0x10000;
constexpr long kMaxRecordFile = MyWeapon::kHeaderSize + 255 * MyWeapon::kFrameSize;
constexpr int kShotTextureFlags = 2048;
constexpr int32_t kBurstQuakeReach = 2411711; // 36.8
constexpr int32_t kBurstJitter = 75365;
constexpr int32_t kBurstRise = 655;
constexpr uint32_t kBurstLineColour = 0xFFCC00;
constexpr int kWakeCount = 5;
constexpr unsigned kWakeInterval = 280;
// The full-frame coordinates a shot without texture frames is drawn with.
constexpr int32_t kDefaultFrame[8] = {0, 0, 0, kOne, kOne, 0, kOne, kOne};

// A zero vector stays zero: there is no direction to take from it.
PVector3 Unit(PVector3 v)
{
    if (v.x || v.y || v.z)
        v.Normalize();
    return v;
}

// The direction from a to b, worked out on coordinates shifted right by 8
// so that the squares stay in range.
PVector3 Toward(PVector3 const& a, PVector3 const& b)
{
    return Unit({(b.x >> 8) - (a.x >> 8), (b.y >> 8) - (a.y >> 8), (b.z >> 8) - (a.z >> 8)});
}

int32_t Div(int32_t a, int32_t b)
{
    if (b == 0)
        return 0;
    return int32_t(std::clamp<int64_t>((int64_t(a) << 16) / b, INT32_MIN, INT32_MAX));
}

// The frames (16.16) a projectile at speed v needs to cover the distance
// from a to b. The distance is taken, as for aiming, on coordinates shifted
// right by 8 and then scaled back by 256.
int32_t FramesTo(PVector3 const& a, PVector3 const& b, int32_t v)
{
    PVector3 a8(a.x >> 8, a.y >> 8, a.z >> 8), b8(b.x >> 8, b.y >> 8, b.z >> 8);
    int64_t d = int64_t(PVector3::DistanceSafe(a8, b8)) * 256;
    return Div(int32_t(std::min<int64_t>(d, INT32_MAX)), v);
}

// An angle limit in 16.16 degrees as turn units.
int Turns(int degrees)
{
    return int(int64_t(degrees) / 360);
}

PVector3 ShooterPosition(GPO* g)
{
    return g->aircraft ? g->position : g->GetPosition();
}

PVector3 AimForward(GPO* g)
{
    return g->aircraft ? g->aircraft->forward : g->forward;
}

bool Live(GPO* g)
{
    return g && g->enabled && g->GetEnergy() > 0;
}

} // namespace

// ---- Records

int MyWeapon::Parse(const uint8_t* d, size_t size)
{
    if (!d || size < size_t(kHeaderSize)) {
        _PDebug("WeaponSystem: record of %u bytes is shorter than %d\n", unsigned(size), kHeaderSize);
        return 0;
    }
    if (d[4] > kMaxType) {
        _PDebug("WeaponSystem: record type %d is unknown\n", d[4]);
        return 0;
    }
    uint8_t frames = d[16];
    size_t need = size_t(kHeaderSize) + (d[4] == kShot ? size_t(frames) * kFrameSize : 0);
    if (size < need) {
        _PDebug("WeaponSystem: record of %u bytes holds fewer than its %d texture frames\n", unsigned(size), frames);
        return 0;
    }
    int32_t v[10];
    for (int i = 0; i < 10; i++)
        v[i] = MyUtility::BytesToInteger(d + 17 + 4 * i);
    struct Range {
        const char* name;
        int32_t value, low, high;
    } const ranges[] = {
        {"hit radius", v[1], 0, kMaxHitRadius},
        {"speed", v[2], 0, kMaxSpeed},
        {"side drift", v[3], -kMaxDrift, kMaxDrift},
        {"gravity", v[5], -kMaxGravity, kMaxGravity},
        {"muzzle side offset", v[6], -kMaxMuzzleOffset, kMaxMuzzleOffset},
        {"muzzle down offset", v[7], -kMaxMuzzleOffset, kMaxMuzzleOffset},
        {"quad width", v[8], -kMaxQuadSize, kMaxQuadSize},
        {"quad height", v[9], -kMaxQuadSize, kMaxQuadSize},
    };
    for (Range const& r : ranges)
        if (r.value < r.low || r.value > r.high) {
            _PDebug("WeaponSystem: record %s %d lies outside %d..%d\n", r.name, r.value, r.low, r.high);
            return 0;
        }
    lead = MyUtility::BytesToInteger(d);
    type = d[4];
    kept5 = d[5], kept6 = d[6], pair = d[7], alternate = d[8], life = d[9], groundImpact = d[10];
    damage = d[11], kept12 = d[12];
    reload = d[13] ? d[13] * 10 : 1;
    kept14 = d[14], kept15 = d[15];
    firstValue = v[0], hitRadius = v[1], speed = v[2], drift = v[3], fifthValue = v[4], gravity = v[5];
    muzzleSide = v[6], muzzleDown = v[7], quadWidth = v[8], quadHeight = v[9];
    int32_t w = quadWidth / 2, h = quadHeight / 2;
    int32_t q[12] = {w, h, 0, w, -h, 0, -w, h, 0, -w, -h, 0};
    std::copy(q, q + 12, quad);
    texCoords.clear();
    frameCount = 0;
    if (type == kShot && frames) {
        frameCount = frames;
        texCoords.resize(size_t(frames) * 8);
        for (size_t i = 0; i < texCoords.size(); i++)
            texCoords[i] = MyUtility::BytesToInteger(d + kHeaderSize + 4 * i);
    } else if (type == kShot) {
        frameCount = kDefaultFrames;
        texCoords.assign(kDefaultFrame, kDefaultFrame + 8);
    }
    return 1;
}

const int32_t* MyWeapon::Frame(int f) const
{
    if (texCoords.size() < 8)
        return kDefaultFrame;
    f = std::clamp(f, 0, int(texCoords.size() / 8) - 1);
    return texCoords.data() + size_t(f) * 8;
}

// ---- Set-up

WeaponSystem::WeaponSystem(AudioManager* a, WeaponMatchLink* m) : audio(a), match(m), random(PTickCount(), 0)
{
    splash.SetType(Command::GPO_HEALTH_REDUCE);
    splash.SetHealth(kDepthChargeDamage);
    ResetParticles();
}

WeaponSystem::~WeaponSystem()
{
    Cleanup();
}

void WeaponSystem::Cleanup()
{
    weapons.clear();
    for (PMesh* m : meshes)
        delete m;
    meshes.clear();
    for (PMesh*& m : explosionMeshes) {
        delete m;
        m = nullptr;
    }
    explosions.clear();
    explosionsInUse = 0;
    wakes.clear();
    if (textures && shotTexture)
        textures->FreeTexture(shotTexture);
    shotTexture = 0;
}

namespace {

bool ReadWhole(const char* path, std::vector<uint8_t>& out)
{
    PFile f(path, PFile::kRead);
    if (!f.IsOpen())
        return false;
    uint8_t chunk[1024];
    out.clear();
    for (;;) {
        int got = f.Read(chunk, int(sizeof chunk));
        if (got <= 0)
            break;
        if (long(out.size()) + got > kMaxRecordFile) {
            _PDebug("WeaponSystem: %s is larger than any record\n", path);
            out.clear();
            return true;
        }
        out.insert(out.end(), chunk, chunk + got);
    }
    return true;
}

} // namespace

void WeaponSystem::Init(PTextureManager* tm)
{
    Cleanup();
    textures = tm;
    std::vector<std::vector<uint8_t>> files;
    for (int i = 0; i < kMaxRecords; i++) {
        char path[64];
        std::snprintf(path, sizeof path, "data\\weapons\\wpn%d.was", i);
        std::vector<uint8_t> bytes;
        if (!ReadWhole(path, bytes) || bytes.empty())
            break;
        files.push_back(std::move(bytes));
    }
    weapons.resize(files.size());
    for (size_t i = 0; i < files.size(); i++)
        if (!weapons[i].Parse(files[i].data(), files[i].size()))
            weapons[i] = MyWeapon();
    // The projectile meshes, one per type; records introduce the types in
    // order, and a type with no mesh stays undrawn.
    meshes.assign(MyWeapon::kMaxType, nullptr);
    for (MyWeapon const& w : weapons) {
        if (w.type == MyWeapon::kShot || meshes[w.type - 1])
            continue;
        std::string path = "data\\objects\\weapon_" + std::to_string(w.type) + ".pof";
        meshes[w.type - 1] = PMesh::CreateFromFile(path.c_str(), tm, "data\\textures\\");
    }
    if (tm) {
        char name[32];
        std::snprintf(name, sizeof name, "data\\textures\\shot%d.png", 1);
        shotTexture = tm->AddTexture(name, kShotTextureFlags, 0);
        if (shotTexture < 0)
            shotTexture = 0;
    }
    ResetParticles();
    lastUpdate = 0;
    frameTime = 0;
}

void WeaponSystem::SetWeapons(std::vector<MyWeapon> records)
{
    if (records.size() > size_t(kMaxRecords))
        records.resize(kMaxRecords);
    weapons = std::move(records);
}

void WeaponSystem::InitExplosionModels(PTextureManager* tm, const char* dir, const char* textureDir)
{
    if (!dir)
        return;
    for (int i = 0; i < kExplosionMeshes; i++) {
        delete explosionMeshes[i];
        std::string path = std::string(dir) + "nuke" + char('1' + i) + ".pof";
        explosionMeshes[i] = PMesh::CreateFromFile(path.c_str(), tm, textureDir);
    }
}

void WeaponSystem::InitExplosionsSystem(signed char n, Settings* settings)
{
    explosions.clear();
    for (int i = 0; i < n; i++)
        explosions.push_back(std::make_unique<MyExplosion>());
    explosionsInUse = 0;
    if (audio) {
        audio->SetFrequency(kSoundExplosion, 11025);
        if (settings)
            audio->SetVolume(kSoundExplosion, settings->effectsVolume, 0);
    }
}

void WeaponSystem::InitTorpedoWaves(unsigned char n)
{
    wakes.clear();
    for (int i = 0; i < n; i++)
        wakes.push_back(std::make_unique<Wave>(kWakeCount, kWakeInterval));
}

const MyWeapon* WeaponSystem::GetWeapon(int i) const
{
    return i >= 0 && i < int(weapons.size()) ? &weapons[size_t(i)] : nullptr;
}

int WeaponSystem::GetWeaponType(int i) const
{
    const MyWeapon* w = GetWeapon(i);
    return w ? w->type : -1;
}

void WeaponSystem::ResetParticles()
{
    for (mycoolparticle& p : particles)
        p = mycoolparticle();
}

mycoolparticle* WeaponSystem::GetNextFreeParticle()
{
    for (mycoolparticle& p : particles)
        if (p.life == 0)
            return &p;
    return nullptr;
}

uint8_t WeaponSystem::AssignWave()
{
    for (size_t i = 0; i < wakes.size() && i < mycoolparticle::kNoWake; i++)
        if (!wakes[i]->active)
            return uint8_t(i);
    return mycoolparticle::kNoWake;
}

// ---- Firing

mycoolparticle* WeaponSystem::Fire(unsigned char weapon, GPO* shooter, GPO** gpos, int count,
                                   unsigned char multiplayer, mycoolparticle*& second)
{
    second = nullptr;
    const MyWeapon* w = GetWeapon(weapon);
    if (!w || !shooter)
        return nullptr;
    if (shooter->reloadTimer == 0)
        shooter->reloadTimer = 1;
    bool paired = w->pair == 1 && GetWeapon(weapon + 1);
    if (w->alternate) {
        // This barrel rests every other time: only a paired record fires.
        if (shooter->GetWeaponSeeker()) {
            if (paired)
                second = FireOne(uint8_t(weapon + 1), shooter, gpos, count, multiplayer, false);
            return nullptr;
        }
        return FireOne(weapon, shooter, gpos, count, multiplayer, true);
    }
    mycoolparticle* p = FireOne(weapon, shooter, gpos, count, multiplayer, false);
    if (!p)
        return nullptr;
    if (paired)
        second = FireOne(uint8_t(weapon + 1), shooter, gpos, count, multiplayer, false);
    return p;
}

mycoolparticle* WeaponSystem::FireOne(unsigned char weapon, GPO* shooter, GPO** gpos, int count,
                                      unsigned char multiplayer, bool drift)
{
    const MyWeapon* w = GetWeapon(weapon);
    mycoolparticle* p = GetNextFreeParticle();
    if (!w || !p)
        return nullptr;
    int32_t owner = shooter->id;
    if (MyAirplane* a = shooter->aircraft) {
        shooter->position = a->position;
        shooter->forward = a->forward;
        shooter->rotation = a->angles;
        owner = a->netId;
    }
    PVector3 start = ShooterPosition(shooter);
    PVector3 forward = shooter->forward;
    if (w->type == MyWeapon::kBomb) {
        forward = {0, -kOne, 0};
        start.y = PWrapAdd(start.y, kBombLift);
    }
    forward = Unit(forward);
    PMatrix3D m;
    m.SetIdentity();
    m.RotateY(shooter->rotation.y);
    m.RotateX(shooter->rotation.x);
    m.RotateZ(shooter->rotation.z);
    PVector3 side(-kOne, 0, 0), down(0, -kOne, 0);
    m.TransformPoint(side);
    m.TransformPoint(down);
    side = Unit(side);
    down = Unit(down);

    *p = mycoolparticle();
    p->weapon = weapon;
    p->life = w->life;
    p->owner = owner;
    p->fromAircraft = shooter->aircraft != nullptr;
    p->position = PVecAdd(PVecAdd(PVecAdd(start, forward), PVecScale(side, w->muzzleSide / 30)),
                          PVecScale(down, w->muzzleDown / 30));
    p->pitch = shooter->rotation.x;
    p->yaw = shooter->rotation.y;
    p->roll = shooter->rotation.z;
    p->velocity = PVecScale(forward, int32_t(int64_t(frameTime) * (w->speed / 40)));

    if (multiplayer && (w->type == MyWeapon::kShot || w->type == MyWeapon::kRocket)) {
        AutoAimMultiplayer(p);
    } else if (w->type == MyWeapon::kBomb) {
        AutoAimBomb(p, shooter);
    } else if (w->type == MyWeapon::kTorpedo) {
        p->wake = AssignWave();
        AutoAim(p, shooter, gpos, count);
        if (p->target && p->target->objectKind != GPO::VEHICLE)
            p->target = nullptr;
    } else {
        AutoAim(p, shooter, gpos, count);
    }
    if (drift)
        p->velocity = PVecSub(p->velocity, PVecScale(side, w->drift));
    return p;
}

namespace {

// The lead-aimed velocity toward where a target moving along its forward
// vector at speed s will be.
PVector3 LeadAim(PVector3 const& from, PVector3 const& velocity, PVector3 const& target, PVector3 const& fwd,
                 int32_t s)
{
    int32_t v = velocity.LengthSafe();
    int32_t d = PVector3::DistanceSafe(target, from);
    int32_t lead = PWrapMul(Div(d, v), s);
    PVector3 aim = PVecAdd(target, PVecScale(Unit(fwd), lead));
    return PVecScale(Toward(from, aim), v);
}

} // namespace

void WeaponSystem::AutoAim(mycoolparticle* p, GPO* shooter, GPO** gpos, int count)
{
    (void)shooter;
    if (!gpos || (!p->velocity.x && !p->velocity.y && !p->velocity.z))
        return;
    const MyWeapon* w = GetWeapon(p->weapon);
    PVector3 d = Unit(p->velocity);
    GPO* best = nullptr;
    int bestAngle = kAimCone;
    for (int i = 0; i < count; i++) {
        GPO* g = gpos[i];
        if (!Live(g) || g->objectKind == GPO::BUILDING)
            continue;
        if (w && w->type == MyWeapon::kTorpedo && g->objectKind != GPO::VEHICLE)
            continue;
        PVector3 gp = g->GetPosition();
        if (MyUtility::GetDistanceInMinimum(p->position, gp, kAimRange) < 0)
            continue;
        int a = PAcos(PVecDot(d, Toward(p->position, gp)));
        if (a < bestAngle) {
            bestAngle = a;
            best = g;
        }
    }
    if (!best)
        return;
    p->target = best;
    PVector3 tp = best->GetPosition();
    int32_t speed = p->velocity.LengthSafe();
    if (best->objectKind != GPO::PLANE &&
        (best->objectKind != GPO::VEHICLE || best->aiDecision == GPO::DECISION_FOLLOW_PATH)) {
        p->velocity = PVecScale(Toward(p->position, tp), speed);
        return;
    }
    MyAirplane* a = best->aircraft;
    p->velocity = LeadAim(p->position, p->velocity, tp, a ? a->forward : best->forward,
                          a ? a->speed : kDefaultTargetSpeed);
}

void WeaponSystem::AutoAimMultiplayer(mycoolparticle* p)
{
    if (!p->velocity.x && !p->velocity.y && !p->velocity.z)
        return;
    PVector3 d = Unit(p->velocity);
    MyAirplane* best = nullptr;
    int bestAngle = kAimCone;
    for (MyAirplane* a : matchAircraft) {
        if (!a || a->health <= 0 || a->state == MyAirplane::kStateExploding || (a->gpo && !a->gpo->enabled))
            continue;
        if (MyUtility::GetDistanceInMinimum(p->position, a->displayedPosition, kAimRange) < 0)
            continue;
        int ang = PAcos(PVecDot(d, Toward(p->position, a->displayedPosition)));
        if (ang < bestAngle) {
            bestAngle = ang;
            best = a;
        }
    }
    if (!best)
        return;
    p->target = best->gpo;
    p->velocity = LeadAim(p->position, p->velocity, best->displayedPosition, best->forward, best->speed);
}

void WeaponSystem::AutoAimBomb(mycoolparticle* p, GPO* shooter)
{
    int32_t speed = p->velocity.LengthSafe();
    auto offer = [&](GPO* g) {
        if (MyUtility::GetDistanceInMinimum(p->position, g->GetPosition(), kAimRange) < 0)
            return false;
        PVector3 d = Toward(p->position, g->GetPosition());
        if (PAcos(PVecDot(p->velocity, d)) >= kBombCone)
            return false;
        p->target = g;
        p->velocity = PVecScale(d, speed);
        return true;
    };
    for (Objective const& o : shooter->objectives) {
        if (o.action != Objective::DESTROY)
            continue;
        if (o.objects.empty()) {
            if (o.target && o.target->enabled && o.target->objectKind != GPO::BUILDING && offer(o.target))
                return;
            continue;
        }
        for (GPO* g : o.objects)
            if (g && g->enabled && g->objectKind == GPO::VEHICLE && offer(g))
                return;
    }
}

void WeaponSystem::TraceLockedTarget(mycoolparticle* p)
{
    GPO* t = p->target;
    if (!t || !t->enabled || (t->side == GPO::FRIENDLY && p->fromAircraft))
        return;
    if (t->GetEnergy() < 1) {
        p->life = 0;
        return;
    }
    MyAirplane* a = t->aircraft;
    int32_t s = a ? a->speed : kDefaultTargetSpeed;
    int32_t v = std::max(p->velocity.LengthSafe(), kOne);
    PVector3 tp = t->GetPosition();
    int32_t lead = PWrapMul(s, FramesTo(tp, p->position, v)) / 2;
    PVector3 aim = PVecAdd(tp, PVecScale(Unit(a ? a->forward : t->forward), lead));
    p->velocity = PVecScale(Toward(p->position, aim), v);
    p->yaw = PAtan2(p->velocity.x, p->velocity.z) * 360 + (180 << 16);
}

void WeaponSystem::TraceLockedTargetMultiplayer(mycoolparticle* p)
{
    GPO* t = p->target;
    if (!t || !t->enabled || !t->aircraft)
        return;
    MyAirplane* a = t->aircraft;
    if (a->health < 1) {
        p->life = 0;
        return;
    }
    int32_t v = std::max(p->velocity.LengthSafe(), kOne);
    int32_t lead = PWrapMul(a->speed, FramesTo(a->displayedPosition, p->position, v)) / 2;
    PVector3 aim = PVecAdd(a->displayedPosition, PVecScale(Unit(a->forward), lead));
    p->velocity = PVecScale(Toward(p->position, aim), v);
    p->yaw = PAtan2(p->velocity.x, p->velocity.z) * 360 + (180 << 16);
}

// ---- Motion and drawing

int32_t WeaponSystem::WaterLevel(PVector3 const& p, WavesManager* waves, P3DAnim* level, int floorY) const
{
    const WaterArea* area = waves ? waves->GetWaterLevelArea(p, level) : nullptr;
    return area ? area->level : PWrapAdd(floorY, kWaterAboveFloor);
}

void WeaponSystem::MoveParticles(int floorY, PVector3 const* camera, WavesManager* waves, P3DAnim* level)
{
    for (mycoolparticle& p : particles) {
        const MyWeapon* w = GetWeapon(p.weapon);
        if (p.life < 1)
            continue;
        if (!w) {
            p.life = 0;
            continue;
        }
        switch (w->type) {
        case MyWeapon::kShot:
        case MyWeapon::kBomb:
            p.position = PVecAdd(p.position, p.velocity);
            p.velocity.y = PWrapSub(p.velocity.y, w->gravity);
            break;
        case MyWeapon::kRocket:
            if (match)
                TraceLockedTargetMultiplayer(&p);
            else
                TraceLockedTarget(&p);
            if (p.life < 1)
                continue;
            if ((p.life & 7) == 0 && smoke)
                smoke->AddParticle(p.position, p.velocity);
            if (p.life < w->life - 5) {
                p.position = PVecAdd(p.position, p.velocity);
                p.velocity.y = PWrapSub(p.velocity.y, w->gravity);
            } else {
                p.position = PVecAdd(p.position, {p.velocity.x / p.life, p.velocity.y / p.life, p.velocity.z / p.life});
                p.position.y = PWrapSub(p.position.y, int32_t(uint32_t(p.life) << 7));
            }
            break;
        case MyWeapon::kTorpedo: {
            int32_t water = WaterLevel(p.position, waves, level, floorY);
            if (p.position.y > water) {
                p.velocity.y = PWrapSub(p.velocity.y, w->gravity);
                p.position.y = std::max(PWrapAdd(p.position.y, p.velocity.y), water);
                p.position.x = PWrapAdd(p.position.x, p.velocity.x / 2);
                p.position.z = PWrapAdd(p.position.z, p.velocity.z / 2);
            } else {
                p.position.y = water;
                GPO* t = p.target;
                if (t && t->objectKind != GPO::PLANE && t->objectKind != GPO::GROUND_AA &&
                    t->objectKind != GPO::BUILDING)
                    TraceLockedTarget(&p);
                if (p.life < 1)
                    continue;
                p.velocity.y = 0;
                p.velocity.x = PWrapMul(p.velocity.x, 65863);
                p.velocity.z = PWrapMul(p.velocity.z, 65863);
                p.position = PVecAdd(p.position, p.velocity);
            }
            p.pitch = 0;
            break;
        }
        case MyWeapon::kBurst:
            if (p.life > w->life / 4) {
                if (p.target)
                    p.position = PVecAdd(p.position, p.velocity);
                break;
            }
            if (p.life == 5 && camera && PVector3::DistanceSafe(*camera, p.position) <= kBurstQuakeReach) {
                if (quake) {
                    quake->SetStrength(6553);
                    quake->SetLength(400);
                    quake->SetBlink(0);
                    quake->Enable();
                }
                if (audio)
                    audio->Play(kSoundBurst, 0, 0);
            }
            if (p.target) {
                auto jitter = [&] {
                    int32_t r = int32_t(random() % unsigned(kBurstJitter + 1));
                    return (random() & 1) ? r : -r;
                };
                PVector3 tp = p.target->GetPosition();
                if (p.target->aircraft)
                    tp = PVecAdd(tp, p.target->aircraft->forward);
                p.position = {PWrapAdd(tp.x, jitter()), PWrapAdd(tp.y, jitter()), PWrapAdd(tp.z, jitter())};
                p.velocity = {0, kBurstRise, 0};
            }
            break;
        }
        p.life--;
    }
}

void WeaponSystem::DrawParticle(P3D* gl, mycoolparticle& p, PVector3 const* camera)
{
    (void)camera;
    const MyWeapon* w = GetWeapon(p.weapon);
    if (!w)
        return;
    gl->glPushMatrix();
    gl->glTranslatex(p.position.x, p.position.y, p.position.z);
    if (w->type == MyWeapon::kShot) {
        // A billboard: turned to the viewer and drawn from both sides, so
        // that a shot shows from every direction.
        MyBillboard::CheatSphericalBegin(gl);
        gl->glDisable(GL_CULL_FACE);
        gl->GetBackend()->glVertexPointer(3, GL_FIXED, 0, w->quad);
        gl->GetBackend()->glTexCoordPointer(2, GL_FIXED, 0, w->Frame(0));
        gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        gl->glEnable(GL_CULL_FACE);
    } else if (PMesh* m = meshes.size() >= size_t(w->type) ? meshes[w->type - 1] : nullptr) {
        if (w->type == MyWeapon::kBurst) {
            if (p.life > w->life / 4) {
                gl->glPopMatrix();
                return;
            }
            // The burst faces the camera and is drawn whole, fading out;
            // the shots after it keep their own colour and tests.
            gl->glDisable(GL_CULL_FACE);
            gl->glDisable(GL_ALPHA_TEST);
            gl->glDisable(GL_DEPTH_TEST);
            MyBillboard::CheatSphericalBegin(gl);
            int32_t s = ((2 * w->life - p.life) << 16) / 2;
            gl->glScalex(s, s, s);
            gl->glColor4x(kOne, kOne, kOne, (p.life << 16) / 8);
            P3DMeshRender(m, gl);
            gl->glColor4x(kOne, 0, kOne, kOne);
            gl->glEnable(GL_DEPTH_TEST);
            gl->glEnable(GL_ALPHA_TEST);
            gl->glEnable(GL_CULL_FACE);
        } else {
            gl->glRotatex(p.yaw, 0, kOne, 0);
            gl->glRotatex(p.pitch, kOne, 0, 0);
            gl->glRotatex(p.roll, 0, 0, kOne);
            P3DMeshRender(m, gl);
        }
    }
    gl->glPopMatrix();
}

void WeaponSystem::Render(P3D* gl, PTextureManager* tm, int floorY, PVector3* camera, WavesManager* waves,
                          P3DAnim* level)
{
    if (!shotTexture || !gl)
        return;
    gl->glPushMatrix();
    gl->glEnable(GL_ALPHA_TEST);
    gl->glEnable(GL_BLEND);
    gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    gl->glColor4x(kOne, 0, kOne, kOne);
    // The handle is the loading manager's; a caller's own manager draws it
    // when given.
    PTextureManager* shots = tm ? tm : textures;
    P3DTextureSet(shots, shotTexture);
    gl->GetBackend()->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    PVector3 before[kPoolSize];
    bool jumps[kPoolSize];
    bool shotBound = true;
    for (int i = 0; i < kPoolSize; i++) {
        mycoolparticle& p = particles[i];
        const MyWeapon* w = GetWeapon(p.weapon);
        before[i] = p.position;
        // A burst with a target jumps onto it on each frame of its burst phase.
        jumps[i] = p.life >= 1 && w && w->type == MyWeapon::kBurst && p.target && p.life <= w->life / 4;
        if (p.life < 1 || !w)
            continue;
        // A projectile mesh binds its own textures; the shots after it take
        // theirs back.
        if (w->type == MyWeapon::kShot && !shotBound)
            P3DTextureSet(shots, shotTexture);
        shotBound = w->type == MyWeapon::kShot;
        DrawParticle(gl, p, camera);
    }
    MoveParticles(floorY, camera, waves, level);
    // The burst's flash line from where it was to where it jumped.
    for (int i = 0; i < kPoolSize; i++) {
        mycoolparticle& p = particles[i];
        if (!jumps[i])
            continue;
        PVector3 mid{before[i].x / 2 + p.position.x / 2, before[i].y / 2 + p.position.y / 2,
                     before[i].z / 2 + p.position.z / 2};
        PVector2 a, b;
        gl->GetScreenCoordXY(a, &mid);
        gl->GetScreenCoordXY(b, &p.position);
        gl->Line(a.x >> 16, a.y >> 16, b.x >> 16, b.y >> 16, kBurstLineColour, P3DBLEND_OPAQUE);
    }
    gl->glDisable(GL_BLEND);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glPopMatrix();
}

// ---- Hits

void WeaponSystem::FrameTime(unsigned int t)
{
    frameTime = lastUpdate ? int32_t(t - lastUpdate) : 0;
    lastUpdate = t;
}

bool WeaponSystem::HitGpo(mycoolparticle* p, GPO* target)
{
    const MyWeapon* w = GetWeapon(p->weapon);
    if (!w || p->life < 1 || target->GetEnergy() < 1)
        return false;
    int32_t dist = PVector3::DistanceSafe(p->position, target->GetPosition());
    int32_t r = std::max(p->velocity.LengthSafe(), w->hitRadius);
    if (r <= std::abs(dist))
        return false;
    if (w->type == MyWeapon::kBurst) {
        if (p->life != 1)
            return false;
        int32_t fall = PWrapMul(Div(dist, r), w->damage << 16) >> 16;
        target->ReduceHealth(std::abs(w->damage - fall));
    } else {
        target->ReduceHealth(w->damage);
        if (target->GetEnergy() < 1 && (target->objectKind == GPO::BUILDING || target->objectKind == GPO::VEHICLE ||
                                        target->objectKind == GPO::GROUND_AA))
            AddExplosion(target->GetPosition(), MyExplosion::kBasic, nullptr);
    }
    p->life = 0;
    return true;
}

bool WeaponSystem::HitAircraft(mycoolparticle* p, MyAirplane* a)
{
    const MyWeapon* w = GetWeapon(p->weapon);
    if (!w || p->life < 1 || a->health < 1 || (a->state & MyAirplane::kStateImmune))
        return false;
    int32_t dist = PVector3::DistanceSafe(p->position, a->position);
    if (w->hitRadius <= dist)
        return false;
    if (w->type == MyWeapon::kBurst) {
        if (p->life != 1)
            return false;
        int32_t fall = PWrapMul(Div(dist, w->hitRadius), w->damage << 16) >> 16;
        a->ReduceHealth(std::abs(w->damage - fall));
    } else {
        a->ReduceHealth(w->damage);
    }
    p->life = 0;
    return true;
}

int WeaponSystem::CheckParticleCollWithGround(P3DGameEngine* engine, P3DAnim* level, int floorY, mycoolparticle* p)
{
    if (!p)
        return 0;
    if (p->position.y <= floorY)
        return 1;
    return Physic::IsInsideAreaPerPolyModel(engine, level, p->position) ? 1 : 0;
}

void WeaponSystem::CollisionProcess(P3DGameEngine* engine, GPO* player, GPO** gpos, int count, P3DAnim* level,
                                    int floorY, unsigned int t, WavesManager* waves)
{
    FrameTime(t);
    int32_t playerId = player ? (player->aircraft ? player->aircraft->netId : player->id) : INT32_MIN;
    for (mycoolparticle& p : particles) {
        const MyWeapon* w = GetWeapon(p.weapon);
        if (p.life < 1 || !w)
            continue;
        GPO* shooter = nullptr;
        GPO* target = p.target;
        bool test = true;
        if (player && p.owner == playerId) {
            shooter = player;
            if (!target || target->side == GPO::FRIENDLY)
                test = false;
        } else if (gpos) {
            int64_t k = int64_t(p.owner) - GPO::kIdBase;
            if (k >= 0 && k < count)
                shooter = gpos[k];
        }
        if (!target || !target->enabled || target->GetEnergy() < 1 || target->objectKind == GPO::BUILDING)
            test = false;
        bool hit = false;
        if (test)
            hit = (w->type == MyWeapon::kTorpedo || !target->aircraft) ? HitGpo(&p, target)
                                                                         : HitAircraft(&p, target->aircraft);
        if (hit && (w->type == MyWeapon::kBomb || w->type == MyWeapon::kTorpedo) && w->groundImpact) {
            AddExplosion(p.position, MyExplosion::kBasic, shooter);
            p.life = 0;
        }
        if (w->type == MyWeapon::kShot)
            continue;
        if (w->type == MyWeapon::kTorpedo && p.wake < wakes.size()) {
            int32_t water = WaterLevel(p.position, waves, level, floorY);
            if (water >= p.position.y)
                wakes[p.wake]->Add(&p.position, &p.velocity, p.yaw, water, t, smoke);
        }
        if (!hit && w->groundImpact && p.life >= 1 && CheckParticleCollWithGround(engine, level, floorY, &p)) {
            AddExplosion(p.position, MyExplosion::kBasic, shooter);
            p.life = 0;
            if (w->type == MyWeapon::kBomb && gpos)
                for (int i = 0; i < count; i++) {
                    GPO* g = gpos[i];
                    if (Live(g) && g->objectKind == GPO::GROUND_AA &&
                        MyUtility::GetDistanceInMinimum(p.position, g->GetPosition(), kDepthChargeReach) >= 0) {
                        splash.SetGpoRef(g);
                        splash.Execute(nullptr);
                    }
                splash.SetGpoRef(nullptr);
                }
        }
    }
}

void WeaponSystem::CollisionProcessMultiplayer(P3DGameEngine* engine, WavesManager* waves, unsigned int t,
                                               P3DAnim* level, int floorY)
{
    (void)waves;
    FrameTime(t);
    for (mycoolparticle& p : particles) {
        const MyWeapon* w = GetWeapon(p.weapon);
        if (p.life < 1 || !w)
            continue;
        GPO* target = p.target;
        if (target && target->enabled) {
            MyAirplane* a = target->aircraft;
            if (a && a->health >= 1 && !(a->state & MyAirplane::kStateImmune) &&
                PVector3::DistanceSafe(p.position, a->displayedPosition) < w->hitRadius) {
                p.life = 0;
                if (match && p.owner == match->LocalPlayerId() && a->netId != p.owner)
                    match->RequestDamage(a->netId, p.owner, w->damage);
            }
        } else if (!target && w->type == MyWeapon::kRocket && w->groundImpact &&
                   CheckParticleCollWithGround(engine, level, floorY, &p)) {
            AddExplosion(p.position, MyExplosion::kBasic, nullptr);
            p.life = 0;
        }
    }
}

// ---- Explosions

void WeaponSystem::AddExplosion(PVector3 position, signed char type, GPO* source)
{
    if (explosionsInUse >= int(explosions.size()))
        return;
    explosions[size_t(explosionsInUse++)]->Init(position, type, source);
}

void WeaponSystem::ProcessAndRenderAllExplosions(P3D* gl, PTextureManager* tm, int texture1, int texture2,
                                                 int texture3)
{
    if (!gl)
        return;
    gl->GetBackend()->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    for (int i = 0; i < explosionsInUse; i++) {
        MyExplosion& e = *explosions[size_t(i)];
        int r = e.Render(gl, tm, texture1, texture2, explosionMeshes, kExplosionMeshes, texture3);
        if (r == 1) {
            if (audio)
                audio->Play(kSoundExplosion, 0, 0);
            if (e.kind == MyExplosion::kParticles || (e.kind == MyExplosion::kNuke && quake)) {
                if (quake) {
                    quake->SetStrength(13107);
                    quake->SetLength(1500);
                    quake->SetBlink(1);
                    quake->Enable();
                }
                if (audio)
                    audio->Play(kSoundQuake, 0, 0);
                if (e.kind != MyExplosion::kParticles)
                    e.SetSmoke(smoke, 15, 15 << 16, 2 << 16, 15 << 16);
            }
        } else if (r == -1 && i == explosionsInUse - 1) {
            explosionsInUse--;
        }
    }
}

int WeaponSystem::IsAnyExplosionBelongsToTrigger(P3DTrigger* trigger, int type) const
{
    if (!trigger)
        return 0;
    for (int i = 0; i < explosionsInUse; i++) {
        MyExplosion const& e = *explosions[size_t(i)];
        if (e.frame != MyExplosion::kIdle && (type == kAnyExplosion || e.kind == type) &&
            trigger->IsPointInside({e.x, e.y, e.z}))
            return 1;
    }
    return 0;
}

// ---- Targeting

GPO* WeaponSystem::IsEnemyObjectTargeted(GPO* shooter, int angleDegrees, int range, GPO** gpos, int count)
{
    if (!shooter || !gpos)
        return nullptr;
    PVector3 from = ShooterPosition(shooter);
    PVector3 f = Unit(AimForward(shooter));
    int limit = Turns(angleDegrees);
    GPO* best = nullptr;
    for (int i = 0; i < count; i++) {
        GPO* g = gpos[i];
        if (!Live(g) || g == shooter || g->side != GPO::ENEMY || g->objectKind == GPO::BUILDING)
            continue;
        PVector3 gp = g->GetPosition();
        if (PVector3::DistanceSafe(from, gp) >= range)
            continue;
        int a = PAcos(PVecDot(f, Toward(from, gp)));
        if (a < limit) {
            limit = a;
            best = g;
        }
    }
    return best;
}

GPO* WeaponSystem::IsEnemyObjectTargeted_Multiplayer(GPO* shooter, int angleDegrees, int range)
{
    if (!shooter || matchAircraft.size() < 2)
        return nullptr;
    MyAirplane* me = shooter->aircraft;
    PVector3 from = me ? me->position : shooter->GetPosition();
    PVector3 f = Unit(AimForward(shooter));
    int limit = Turns(angleDegrees);
    MyAirplane* best = nullptr;
    for (size_t i = 1; i < matchAircraft.size(); i++) {
        MyAirplane* a = matchAircraft[i];
        if (!a || a->health <= 0 || (a->gpo && !a->gpo->enabled))
            continue;
        if (PVector3::DistanceSafe(from, a->displayedPosition) >= range)
            continue;
        int ang = PAcos(PVecDot(f, Toward(from, a->displayedPosition)));
        if (ang < limit) {
            limit = ang;
            best = a;
        }
    }
    return best ? best->gpo : nullptr;
}

GPO* WeaponSystem::IsGroundObjectTargeted(GPO* shooter, int angleDegrees)
{
    if (!shooter)
        return nullptr;
    PVector3 from = ShooterPosition(shooter);
    PVector3 f = AimForward(shooter);
    f.y -= 0x28000; // 2.5 below the nose
    f = Unit(f);
    int limit = Turns(angleDegrees);
    for (Objective const& o : shooter->objectives) {
        GPO* g = o.target;
        if (o.action != Objective::DESTROY || !Live(g) || g->objectKind == GPO::PLANE)
            continue;
        PVector3 gp = g->GetPosition();
        if (MyUtility::GetDistanceInMinimum(from, gp, kGroundTargetRange) < 0)
            continue;
        if (PAcos(PVecDot(f, Toward(from, gp))) < limit)
            return g;
    }
    return nullptr;
}
