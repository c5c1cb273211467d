// One aircraft of a game session: the player's, one flown by the mission AI,
// or another match player's whose state arrives over the network. It turns
// steering flags or the tilt vector into angular rates and angles,
// integrates speed and position with the frame time, keeps its collision
// body and its model in the scene up to date, takes damage, explodes and
// respawns. All values are 16.16; angles are 16.16 degrees (pitch, yaw,
// roll in x, y, z). Everything but the model upkeep works without a scene.
#pragma once
#include <cstdint>
#include <memory>

#include "engine/runtime/pmath3d.h"
#include "game/world/accelerometer.h"
#include "game/world/myexplosion.h"
#include "game/world/physicobject.h"

class GPO;
class P3DAnim;
class PJoystick;
class PlaneScene;

class MyAirplane {
public:
    // The control presets of the tilt steering.
    enum ConfigPreset : int { kPresetGentle = 0, kPresetQuick = 1, kPresetWide = 2 };
    // Steering flags of Rotate.
    enum Steering : uint8_t { kRollLeft = 1, kRollRight = 2, kPitchDown = 4, kPitchUp = 8 };
    // State byte: bit 0 while the guns fire, bit 1 immune to projectiles, 4
    // exploding.
    static constexpr uint8_t kStateFiring = 1;
    static constexpr uint8_t kStateImmune = 2;
    static constexpr uint8_t kStateExploding = 4;
    static constexpr int32_t kNoseLength = 0x38000; // 3.5
    static constexpr int32_t kPitchLimit = 32 << 16;
    static constexpr int32_t kRollLimit = 79 << 16;
    static constexpr int kFatalDamage = 999;
    static constexpr int kBounceDamage = 10;
    // A remote state at least this old is only eased toward.
    static constexpr uint32_t kStaleStateMs = 2401;

    MyAirplane(int* unused, PJoystick* tilt);
    virtual ~MyAirplane();
    MyAirplane(MyAirplane const&) = delete;
    MyAirplane& operator=(MyAirplane const&) = delete;

    // A fresh flight: a new empty model; mode 1 is the player's aircraft
    // (quicker rolls).
    void Init(int mode);
    void SetRealignSpeedX(int s) { realignSpeed = s; }
    // At most 15 characters are kept; null or empty changes nothing.
    void SetName(const char* name);
    // Deletes the model and clears the name.
    void Unload();
    void SetSpawnPoint(const PVector3& pos, const PVector3& ang)
    {
        spawnPosition = pos;
        spawnAngles = ang;
    }
    // Any preset but 0 to 2 keeps the values as they are.
    void configPreset(int preset);

    // Angular rates and angles from the steering flags (mode 0 in the game).
    void Rotate(PVector3* angles, unsigned char flags, unsigned int t, unsigned char mode);
    // Heading from the angles, then speed and movement with the stored dt.
    void Move(PVector3* position, PVector3 angles, unsigned int t);
    // The tilt (or touch) vector capped to the control ellipse and filtered.
    void updateJoystick(const PVector3& input);
    // Attitude, heading, speed and movement from the filtered vector (the
    // argument is not used).
    void updateSteering(const PVector3& input, unsigned int t, unsigned char invertPitch);
    void resetJoystick();
    // A remote aircraft: dead reckoning toward the latest network state.
    void Move_Multiplayer(unsigned int t);
    void ThrottleUp();
    void ThrottleDown();

    // Places the model's null point and the collision body at the position
    // and angles (the displayed ones when displayed is set).
    void UpdateModelPosition(unsigned char displayed);
    void UpdatePlanePositionToPhysicsData(unsigned char displayed);
    void UpdateRudderAndFlaps();
    void UpadteRotors();
    // Gun fire shows while firing, except every fifth frame; only with the
    // first weapon selected.
    void UpdateFireEffect(int frame, int weaponIndex);
    void UpdateWingPoints();
    void UpdateLODlevel(const PPlane3* plane);
    void RefreshPluggedPlane(bool show);

    // Reacts to floor and wing contacts; 1 when the aircraft touched.
    int BounceWithCollision(int floorY, unsigned char multiplayer);
    void ReduceHealth(int damage);
    void Die();
    void Explode() { state = kStateExploding; }
    int GetExplosionLife() const { return explosion.frame; }
    void Respawn(int health, unsigned int t);

    // The model's current level of detail, or null.
    PlaneScene* GetCurrentPlaneScene() const;
    // The model's null point's translation, or the position without one.
    PVector3 GetRealPosOnScene() const;
    void SetOnNullPPosition(P3DAnim* scene, const char* name);

    // The player's speed rule, once per call.
    void ApplySpeedRule();
    // Steps along the forward vector by the stored dt.
    void Advance(PVector3* position);

    PhysicObject physics;
    PVector3 displayedPosition, displayedAngles;
    PVector3 previousNetPosition;
    PVector3 position;
    PVector3 forward{0, 0, -0x10000};
    PVector3 up{0, 0x10000, 0};
    PVector3 angles, previousAngles;
    PVector3 spawnPosition, spawnAngles;
    int32_t pitchRate = 0, rollRate = 0;
    int32_t realignSpeed = 42598;
    int32_t health = 0;
    uint8_t status = 0;
    uint8_t state = 0;
    int32_t speed = 0;
    int32_t step = 0;
    int32_t throttle = 35;
    uint8_t aboveCeiling = 0;
    int32_t netId = 0;
    MyExplosion explosion;
    uint8_t remoteActive = 0;
    std::unique_ptr<PlaneScene> model;
    GPO* gpo = nullptr;
    uint32_t lastUpdate = 0;
    int32_t dt = 0;
    char name[16] = {};
    int8_t speedRating = 0, armour = 0;
    uint8_t steering = 0;
    uint8_t holdAttitude = 0;
    uint32_t netTime = 0, netTimeBefore = 0;
    uint8_t newState = 0;
    int32_t rotorAngle = 0;
    PJoystick* tilt = nullptr;
    int32_t pitchAccel = 85400, rollAccel = 50000, extraRollLimit = 0;
    Accelerometer accelerometer;
    PVector3 filtered{0, 0, 0x10000};
    int32_t inputScaleX = 0x10000, inputScaleY = 0x10000;
    int32_t inputFilter = 0, ellipseX = 0, ellipseY = 0, attitudeFilter = 0, yawGain = 0;
    int32_t deadZone = 1000, yawMix = 19660;
    // Kept for the session's camera and death sequence.
    uint32_t deathTime = 0;
    PVector3 viewOffset, lookAt;
    uint8_t shown = 0;

private:
    void TakeDt(unsigned int t);
    void PullUp();
    void PullDown();
    void PullRight();
    void PullLeft();
    void RealignRotateX(PVector3* a);
    void RealignRotateZ(PVector3* a);
    void IntegrateRoll(PVector3* a, bool limited);
    void WrapAngles(PVector3* a) const;
};
