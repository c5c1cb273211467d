// GPO: a game-play object, anything a mission talks about (an enemy
// aircraft, a building, a vehicle, an anti-aircraft gun, a U-boat, a trigger
// volume or a null point of the level scene). It binds a script name to an
// element of the loaded scene and carries side, health and armour, weapons
// with ammunition, cursor and radar look, AI objectives and behaviour, a
// plugged mesh with levels of detail and an optional water wake. Positions
// are 16.16, angles 16.16 degrees.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime/pmath3d.h"

class MyAirplane;
class MySmoke;
class P3DAnim;
class P3DChannel;
class P3DGameEngine;
class P3DModel;
class P3DNullPoint;
class P3DTrigger;
class PString;
class PSurface3D;
class Wave;
class WavesManager;
class WeaponSystem;

class GPO;

// One AI objective: destroy or defend a target or a list of objects.
struct Objective {
    enum Action : uint8_t { DESTROY = 0, DEFEND = 1 };
    uint8_t action = DESTROY;
    GPO* target = nullptr;
    std::wstring title;
    bool hasTitle = false;
    uint8_t done = 0;
    std::vector<GPO*> objects;
};

class GPO {
public:
    enum TYPE : int32_t { POINT = 0, MODEL = 1, TRIGGER = 2 };
    enum OBJECT_TYPE : int32_t { PLANE = 0, BUILDING = 1, VEHICLE = 2, GROUND_AA = 3, OBJECT_NULL = 4 };
    enum SIDE : int32_t { FRIENDLY = 0, ENEMY = 1, NEUTRAL = 2 };
    enum BEHAVIOUR : int32_t { FIGHTER = 0, BOMBER = 1, BEH_GROUND_AA = 2, UBOAT = 3, BEH_NONE = 4 };
    // The AI's way of moving, as each frame steers; DECISION_START until the
    // first decision.
    enum DECISION : int32_t {
        DECISION_CHASE_TARGET = 0,    // direction finding toward the current target
        DECISION_BOMB_APPROACH = 1,   // toward a point 5.0 above the current target
        DECISION_AIM_GUN = 2,         // an anti-aircraft gun turns at its target
        DECISION_NONE = 3,            // no steering
        DECISION_FOLLOW_PATH = 4,     // along the object's scripted path
        DECISION_FOLLOW_ON_WATER = 5, // a U-boat follows its target on the water
        DECISION_START = 6,
    };
    static constexpr int kFullHealth = 100;
    static constexpr int kFatalHit = 999;
    static constexpr int kMaxWeapons = 127;  // signed 8-bit slot numbers
    static constexpr int kMaxPlugMeshes = 255;
    static constexpr int kMaxGroupNames = 255;
    static constexpr int kRearmLockSteps = 9;

    GPO();
    virtual ~GPO();
    GPO(GPO const&) = delete;
    GPO& operator=(GPO const&) = delete;

    // ---- Definition
    void DefineType(TYPE t) { kind = t; }
    void DefineObjectType(OBJECT_TYPE t) { objectKind = t; }
    void DefineModelGroup(bool on) { modelGroup = on; }
    void DefineIDNone(bool on) { placedByOwnName = on; }
    void DefineIDType(TYPE t) { referenceKind = t; }
    void DefineTypeName(const char* s);
    void DefineIDTypeName(const char* s);
    void SetSide(SIDE s) { side = s; }
    void SetArmor(unsigned char a) { armour = a; }
    void SetCursorId(signed char i) { cursorImage = currentCursorImage = i; }
    void SetTargetedCursorId(signed char i) { targetedCursorImage = i; }
    void SetCursorType(signed char t) { cursorKind = t; }
    void SetCursorSize(int s) { cursorSize = s; }
    void DefineRadarColor(int c) { radarColour = c; }
    void DefineRadarImg(PSurface3D* img) { radarImage = img; }
    void SetHealthRef(int32_t& h) { healthRef = &h; }
    void SetInternalHealthRef() { healthRef = &ownHealth; }
    void AddGroupModelName(const char* s);
    void AI_SetBehaviour(BEHAVIOUR b) { aiBehaviour = b; }
    void AI_NewDecision(DECISION d) { aiDecision = d; }
    void AI_SetConfusionDelay(int d) { confusionDelay = d; }
    void AI_SetDirectionFinderLimit(int l) { finderLimit = l; }
    void AI_SetDirectionFinderMaxAngle(int a) { finderMaxAngle = a; }
    void AI_SetFollowPath(bool on, int start, int end, int speed, bool stopAtEnd);

    // ---- Queries
    int IsExist() const { return exists; }
    int GetRadarColor() const { return radarColour; }
    // The referenced health; without a reference 100 for a building, else 0.
    int GetEnergy() const;
    // The bound element's current position (the stored copy when unbound).
    PVector3 GetPosition() const;
    int GetCurrentAmmoCount() const;
    // Appends "INF" for unlimited ammunition, else the count.
    void GetCurrentAmmoCountAsString(PString*& out) const;

    // ---- Cursor
    void PlugCursorToBasicType();
    void PlugCursorToIDType();
    void SetCursorBounce(bool on, int amplitude);
    int GetBounceCursor();

    void Disable();
    void Enable();

    // ---- Weapons
    void AddWeaponAvailable(signed char id, int ammo);
    void SetCurrentWeapon(signed char slot);
    int SwitchToNextWeapon();
    int IsWeaponReloaded() const;
    int GetWeaponSeeker();
    int ReduceAmmo();
    void RearmAllWeapons(int n = 1);
    void RearmAllWeapons_Extend(int n = 1);
    void RearmWeapon();
    void RearmWeapon(signed char slot);
    // Advances the reload timer by dt against the current weapon's reload
    // time (doubled for shots with doubleShots), and the rearm lock.
    void WeaponReloadProcess(WeaponSystem* ws, unsigned int dt, unsigned char doubleShots);

    void ReduceHealth(int d);

    // ---- Objectives
    void AI_AddObjective(Objective const* o);
    static void SetObjectiveTitle(const wchar_t* title, Objective& o);
    void UpdateAllObjectivesStatus();

    // ---- Scene binding
    // 1 when the object was found in the scene (exists set), else 0.
    int GenerateFromLevel(P3DGameEngine* engine, P3DAnim* scene);
    void SetVectorRef(int32_t& x, int32_t& y, int32_t& z, int32_t& pitch, int32_t& yaw, int32_t& roll);
    // Back to the start position and rotation (written through the bound
    // element when there is one).
    void RespawnPosition();
    void AddModelsToGroup(P3DModel** models, int n);
    int FindGroupOnLevel_TriggerRange(P3DGameEngine* engine, P3DAnim* scene, P3DTrigger* trigger);
    void CalculateBBox();
    int IsGPOBelongsToMeshBox(PVector3 const* box) const;

    // ---- Plugged meshes
    static int FindOrLoadMesh(P3DGameEngine* engine, std::string const& name, const char* directory,
                              const char* textures);
    void PlugModelToPoint(P3DGameEngine* engine, P3DAnim* scene, const char* name, const char* directory,
                          const char* textures, const char* lodSuffix, int lodCount, int lodDistance);
    void AddPlugModelIndex(unsigned short i);
    void UpdatePluggedModelLod(P3DGameEngine* engine);
    // The plug-list entry for a camera-plane distance d (-1: unplug).
    int PluggedLodFor(int32_t d) const;

    void AddWaveFx(WavesManager* waves, MySmoke* smoke, int size);

    // ---- AI (one step per frame; now is the mission clock in ms)
    void AI_Process(P3DGameEngine* engine, P3DAnim* scene, int waterLevel, unsigned int now);
    void AI_ShootManager(WeaponSystem* weapons, unsigned int dt);
    // Steering bits towards a point (or the target's position) for the aircraft.
    void AI_AutoDirectionFind(int x, int y, int z, unsigned int now);
    void AI_AutoDirectionFind(GPO* target, unsigned int now);
    void AI_ThrottleManger();
    // True when the object is in danger (water, outside the play area).
    bool AI_CollisionDetection(P3DGameEngine* engine, P3DAnim* scene, int waterLevel);
    // True when an anti-aircraft gun can engage the target.
    bool AI_AntiAirAiming(GPO* target) const;
    void AI_ProcessPathFollow(unsigned int now);
    void AI_ProcessTargetFollow(int x, int y, int z);
    // The current objective's target, or null.
    GPO* AI_CurrentTarget() const;

    // The session's play-area check of an aircraft against a ceiling in
    // whole units (1: out of bounds; 2: above the ceiling, which it clamps).
    // Direction finding turns an aircraft that is out back toward
    // the middle. The session's own check by default; null: no check.
    using BoundsCheckFn = int (*)(MyAirplane* aircraft, int ceiling);
    static BoundsCheckFn boundsCheck;

    // ---- Fields
    uint8_t exists = 0;
    TYPE kind = POINT;
    std::string name;
    TYPE referenceKind = POINT;
    std::string referenceName;
    uint8_t placedByOwnName = 0;
    OBJECT_TYPE objectKind = OBJECT_NULL;
    SIDE side = ENEMY;
    int32_t radarColour = 0xff0000;
    PSurface3D* radarImage = nullptr;
    int8_t cursorImage = 0, targetedCursorImage = 0, currentCursorImage = 0, cursorKind = 0;
    int32_t cursorSize = 1;
    int32_t const* cursorX = nullptr;
    int32_t const* cursorY = nullptr;
    int32_t const* cursorZ = nullptr;
    uint8_t bounceOn = 0;
    int32_t bounceMin = 0, bounceAmplitude = 0, bounceOffset = 0;
    uint8_t bounceRising = 1;
    int32_t cursorAngle = 0;
    uint8_t enabled = 1;
    int32_t boundingRadius = 0;
    P3DNullPoint* nullPoint = nullptr;
    P3DModel* model = nullptr;
    P3DTrigger* trigger = nullptr;
    P3DNullPoint* refNullPoint = nullptr;
    P3DModel* refModel = nullptr;
    P3DTrigger* refTrigger = nullptr;
    uint8_t modelGroup = 0;
    std::vector<P3DModel*> models;
    std::vector<std::string> groupNames;
    int32_t reloadTimer = 0;
    int32_t* healthRef = nullptr;
    MySmoke* smoke = nullptr;
    std::unique_ptr<Wave> wake;
    int32_t lodDistance = 0;
    std::vector<uint16_t> plugMeshes;
    int8_t currentWeapon = 0;
    int8_t currentSlot = 0;
    std::vector<int8_t> weaponIds;
    std::vector<int32_t> ammo, maxAmmo;
    uint8_t seeker = 0;
    int32_t rearmLock = 0;
    int32_t* refX = nullptr;
    int32_t* refY = nullptr;
    int32_t* refZ = nullptr;
    int32_t* refPitch = nullptr;
    int32_t* refYaw = nullptr;
    int32_t* refRoll = nullptr;
    PVector3 position, rotation; // rotation: pitch, yaw, roll
    PVector3 startPosition, startRotation;
    PVector3 forward{0, 0x10000, 0};
    std::vector<Objective> objectives;
    int32_t currentObjective = -1; // index into objectives, -1 none
    DECISION aiDecision = DECISION_START;
    BEHAVIOUR aiBehaviour = BEH_NONE;
    int32_t targetThrottle = 40;
    uint8_t shooting = 0;
    int32_t ownHealth = kFullHealth;
    uint8_t confused = 0;
    int32_t confusionCounter = 0, confusionDelay = 70;
    int32_t finderLimit = 70 << 16;
    int32_t finderMaxAngle = 55 << 16;
    uint8_t pathOn = 0;
    int32_t pathPosition = 0;
    int16_t pathStart = 0, pathEnd = 0;
    uint8_t pathSpeed = 0, pathStopAtEnd = 0;
    uint32_t aiTimer = 0, aiFrameTime = 0;
    uint8_t armour = 0;
    uint8_t respawnable = 1;
    MyAirplane* aircraft = nullptr;
    // The object's id: kIdBase plus its index in the mission's list. The
    // projectiles it fires carry it as their owner, and the weapon system
    // finds the shooter again as list entry id - kIdBase.
    static constexpr int32_t kIdBase = 255;
    int32_t id = kIdBase;

private:
    void BindValues(P3DChannel* tracks);
};
