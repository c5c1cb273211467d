// The weapons of one game session: the weapon records (data\weapons\wpnN.was,
// layout in docs/formats/was.md), a fixed pool of 90 projectiles shared by
// every shooter, the projectile meshes and shot texture, a pool of
// explosions and the torpedo wakes. Fires for the player, the mission AI
// and other match players; aims, moves, draws and hit-tests the projectiles
// against their own target only, applies damage, starts explosions and
// answers the targeting questions of the crosshair and the AI.
//
// Projectile motion is per processed frame; positions are 16.16.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"
#include "game/multiplayer/matchgame.h"
#include "game/world/command.h"

class AudioManager;
class GPO;
class MyAirplane;
class MyExplosion;
class MySmoke;
class P3D;
class P3DAnim;
class P3DGameEngine;
class P3DTrigger;
class PMesh;
class PTextureManager;
class QuakeFx;
class Settings;
class Wave;
class WavesManager;

// One weapon record.
class MyWeapon {
public:
    enum Type : uint8_t { kShot = 0, kBomb = 1, kRocket = 2, kTorpedo = 3, kBurst = 4 };
    static constexpr int kMaxType = kBurst;
    static constexpr int kHeaderSize = 57;
    static constexpr int kFrameSize = 32; // four (u, v) pairs
    static constexpr int kDefaultFrames = 1;
    // The ranges a record's motion values must lie in (both ends included);
    // wide enough for any weapon a player could follow on screen.
    static constexpr int32_t kMaxSpeed = 1000000;          // 0 .. (an integer rate)
    static constexpr int32_t kMaxHitRadius = 64 << 16;     // 0 .. 64.0
    static constexpr int32_t kMaxDrift = 64 << 16;         // -64.0 .. 64.0
    static constexpr int32_t kMaxGravity = 16 << 16;       // -16.0 .. 16.0
    static constexpr int32_t kMaxMuzzleOffset = 1024 << 16; // -1024.0 .. 1024.0
    static constexpr int32_t kMaxQuadSize = 256 << 16;     // -256.0 .. 256.0

    virtual ~MyWeapon() = default;

    // Reads one record; 0 (logged, record unchanged) when the bytes are not
    // a valid record: too short, an unknown type, texture frames that do
    // not match the length, or a motion value outside its range.
    int Parse(const uint8_t* data, size_t size);
    // The texture coordinates of frame f (clamped to the frames).
    const int32_t* Frame(int f) const;

    int32_t lead = 0;
    uint8_t type = kShot;
    uint8_t kept5 = 0, kept6 = 0;
    uint8_t pair = 0;
    uint8_t alternate = 0;
    uint8_t life = 0;
    uint8_t groundImpact = 0;
    uint8_t damage = 0;
    uint8_t kept12 = 0;
    int32_t reload = 0; // ms
    uint8_t kept14 = 0, kept15 = 0;
    uint8_t frameCount = 0;
    int32_t firstValue = 0, hitRadius = 0, speed = 0, drift = 0, fifthValue = 0, gravity = 0;
    int32_t muzzleSide = 0, muzzleDown = 0, quadWidth = 0, quadHeight = 0;
    int32_t quad[12] = {};
    std::vector<int32_t> texCoords; // frameCount x 8
};

// One projectile slot.
struct mycoolparticle {
    static constexpr uint8_t kNoWake = 255;
    PVector3 position;
    int32_t pitch = 0, yaw = 0, roll = 0;
    PVector3 velocity;
    int32_t life = 0; // frames; 0 = free slot
    uint8_t weapon = 0;
    uint8_t spare = 0;
    int32_t owner = 0;
    GPO* target = nullptr;
    uint8_t wake = kNoWake;
    // Fired by an aircraft (the player, a match player or an AI aircraft):
    // such projectiles do not home on FRIENDLY targets.
    uint8_t fromAircraft = 0;
};

// What the weapons need of a running match: the local player's id and the
// damage request to the target's owner. The session's match connection
// provides it; null in single-player games.
class WeaponMatchLink {
public:
    virtual ~WeaponMatchLink() = default;
    virtual int LocalPlayerId() const = 0;
    virtual void RequestDamage(int target, int owner, int damage) = 0;
};

class WeaponSystem {
public:
    static constexpr int kPoolSize = kProjectilesInFlight;
    static constexpr int kExplosionMeshes = 3;
    static constexpr int32_t kAimRange = 0x360000;    // 54.0
    static constexpr int kAimCone = 4551;             // 25 degrees in turn units
    static constexpr int kBombCone = 18204;           // 100 degrees
    static constexpr int32_t kBombLift = 42598;       // 0.65
    static constexpr int32_t kDefaultTargetSpeed = 14000;
    static constexpr int32_t kWaterAboveFloor = 19660; // 0.3
    static constexpr int32_t kDepthChargeReach = 4 << 16;
    static constexpr int kDepthChargeDamage = 100;
    static constexpr int32_t kGroundTargetRange = 0x18FFFF;
    static constexpr int kSoundExplosion = 5;
    static constexpr int kSoundQuake = 14;
    static constexpr int kSoundBurst = 15;
    static constexpr int kMaxRecords = 255; // records are named by a byte

    WeaponSystem(AudioManager* audio, WeaponMatchLink* match);
    virtual ~WeaponSystem();
    WeaponSystem(WeaponSystem const&) = delete;
    WeaponSystem& operator=(WeaponSystem const&) = delete;

    // Reads data\weapons\wpn0.was, wpn1.was, ... up to the first missing or
    // empty file, and the shot texture.
    void Init(PTextureManager* tm);
    // Replaces the records (tests and tools).
    void SetWeapons(std::vector<MyWeapon> records);
    void InitExplosionModels(PTextureManager* tm, const char* dir, const char* textureDir);
    void InitExplosionsSystem(signed char n, Settings* settings);
    void InitTorpedoWaves(unsigned char n);
    void SetQuakeFxPtr(QuakeFx* q) { quake = q; }
    void SetSmokePtr(MySmoke* s) { smoke = s; }
    void SetMatchAircraft(std::vector<MyAirplane*> list) { matchAircraft = std::move(list); }

    // The record with that index, or null when there is none.
    const MyWeapon* GetWeapon(int i) const;
    int WeaponCount() const { return int(weapons.size()); }
    // Record i's type, -1 for an index that names no record.
    int GetWeaponType(int i) const;

    // Fires record weapon from the shooter: the projectile of the record, or
    // null when none flew (the pool is full, or an alternate record's
    // barrel rests this time); second: the projectile of the paired
    // record (index + 1), or null. Each one returned flies.
    mycoolparticle* Fire(unsigned char weapon, GPO* shooter, GPO** gpos, int count, unsigned char multiplayer,
                         mycoolparticle*& second);
    mycoolparticle* GetNextFreeParticle();
    void ResetParticles();

    // Moves every live projectile one frame (the motion part of Render).
    void MoveParticles(int floorY, PVector3 const* camera, WavesManager* waves, P3DAnim* level);
    // Draws and moves the projectiles; nothing without the shot texture.
    void Render(P3D* gl, PTextureManager* tm, int floorY, PVector3* camera, WavesManager* waves, P3DAnim* level);
    void CollisionProcess(P3DGameEngine* engine, GPO* player, GPO** gpos, int count, P3DAnim* level, int floorY,
                          unsigned int t, WavesManager* waves);
    void CollisionProcessMultiplayer(P3DGameEngine* engine, WavesManager* waves, unsigned int t, P3DAnim* level,
                                     int floorY);

    void ProcessAndRenderAllExplosions(P3D* gl, PTextureManager* tm, int texture1, int texture2, int texture3);
    void AddExplosion(PVector3 position, signed char type, GPO* source);
    // 1 when an explosion in use of that type (any type for kAnyExplosion)
    // lies inside the trigger.
    static constexpr int kAnyExplosion = -1;
    int IsAnyExplosionBelongsToTrigger(P3DTrigger* trigger, int type) const;
    int ExplosionsInUse() const { return explosionsInUse; }

    GPO* IsEnemyObjectTargeted(GPO* shooter, int angleDegrees, int range, GPO** gpos, int count);
    GPO* IsEnemyObjectTargeted_Multiplayer(GPO* shooter, int angleDegrees, int range);
    GPO* IsGroundObjectTargeted(GPO* shooter, int angleDegrees);

    void Cleanup();

    mycoolparticle particles[kPoolSize];
    int shotTexture = 0;
    uint32_t lastUpdate = 0;
    int32_t frameTime = 0;

private:
    mycoolparticle* FireOne(unsigned char weapon, GPO* shooter, GPO** gpos, int count, unsigned char multiplayer,
                            bool drift);
    void AutoAim(mycoolparticle* p, GPO* shooter, GPO** gpos, int count);
    void AutoAimMultiplayer(mycoolparticle* p);
    void AutoAimBomb(mycoolparticle* p, GPO* shooter);
    void TraceLockedTarget(mycoolparticle* p);
    void TraceLockedTargetMultiplayer(mycoolparticle* p);
    uint8_t AssignWave();
    bool HitGpo(mycoolparticle* p, GPO* target);
    bool HitAircraft(mycoolparticle* p, MyAirplane* a);
    // Contact with the ground: at or below the floor, or inside the level's
    // per-polygon model at the projectile's place.
    int CheckParticleCollWithGround(P3DGameEngine* engine, P3DAnim* level, int floorY, mycoolparticle* p);
    int32_t WaterLevel(PVector3 const& p, WavesManager* waves, P3DAnim* level, int floorY) const;
    void FrameTime(unsigned int t);
    void DrawParticle(P3D* gl, mycoolparticle& p, PVector3 const* camera);

    AudioManager* audio = nullptr;
    WeaponMatchLink* match = nullptr;
    std::vector<MyWeapon> weapons;
    std::vector<PMesh*> meshes; // by type - 1, owned
    PMesh* explosionMeshes[kExplosionMeshes] = {};
    std::vector<std::unique_ptr<MyExplosion>> explosions;
    int explosionsInUse = 0;
    std::vector<MyAirplane*> matchAircraft;
    QuakeFx* quake = nullptr;
    MySmoke* smoke = nullptr;
    std::vector<std::unique_ptr<Wave>> wakes;
    PRand2 random;
    PTextureManager* textures = nullptr;
    // The depth-charge effect of a bomb on nearby anti-aircraft guns: a
    // health reduction that armour does not soften.
    Command splash;
};
