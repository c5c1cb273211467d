// A body of the collision world: its position, rotation and step, the wing
// tips it tests besides its centre, the scene units and partner bodies it
// can hit, and the three hit flags the collision pass leaves for its owner.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/runtime/pmath3d.h"

class P3DSceneUnit;

class PhysicObject {
public:
    PhysicObject() = default;
    explicit PhysicObject(int32_t& health) : health(&health) {}
    PhysicObject(PhysicObject const&) = delete;
    PhysicObject& operator=(PhysicObject const&) = delete;

    void SetPerPolyDetection(bool on) { perPoly = on ? 1 : 0; }
    void SetWingCollision(bool on) { wingCollision = on ? 1 : 0; }
    void SetSubstratedByCollision(bool on) { rubOnCollision = on ? 1 : 0; }
    void SetAffectedByGravity(bool on) { affectedByGravity = on ? 1 : 0; }
    void SetRubForce(int f) { rubForce = f; }
    void SetReferenceToHealth(int32_t& h) { health = &h; }
    void AddX(int v) { position.x = int32_t(uint32_t(position.x) + uint32_t(v)); }
    void AddY(int v) { position.y = int32_t(uint32_t(position.y) + uint32_t(v)); }
    void AddZ(int v) { position.z = int32_t(uint32_t(position.z) + uint32_t(v)); }

    void AddCollisionSceneUnit(P3DSceneUnit* unit);
    // Removes every occurrence.
    void RemoveCollisionSceneUnit(P3DSceneUnit* unit);
    void RemoveAllCollisionSceneUnits();
    // Flag i: world unit i is one of this body's units.
    void GenerateCollideUnitsArray(P3DSceneUnit* const* worldUnits, int n);

    void SetSphere2SphereCollision(PhysicObject* partner, int distance);
    void RemoveSphere2SphereCollision(PhysicObject* partner);
    // 1 when partner i is alive and within its distance: this body is then
    // pushed away from it by half the separation on each axis, at most 2.0
    // toward the negative side.
    int IsCollidingWith(int i);

    // position += velocity, then the rub on the vertical velocity unless hit.
    void RealizeMovement();
    // Loses an eighth of v toward 0 (never crossing it).
    static void RubForce(int force, int& v);
    // Speeds up along the heading by dt.
    void Move(int dt);

    // The point offset from the position, turned with the body's yaw and
    // roll about the position.
    PVector3 WingPoint(const PVector3& offset) const;
    PVector3 LeftWingPoint() const { return WingPoint(leftWing); }
    PVector3 RightWingPoint() const { return WingPoint(rightWing); }
    bool IsAlive() const { return !health || *health >= 1; }
    bool AnyHit() const { return hitLeft || hitBody || hitRight; }
    void ClearHits() { hitLeft = hitBody = hitRight = 0; }

    uint8_t perPoly = 0;
    uint8_t wingCollision = 0;
    PVector3 rightWing, leftWing; // model space, before rotation
    uint8_t rubOnCollision = 0;
    uint8_t affectedByGravity = 0;
    int32_t rubForce = 8;
    PVector3 position;
    int32_t yaw = 0, pitch = 0, roll = 0;
    PVector3 velocity; // the step of the last movement
    uint8_t hitLeft = 0, hitBody = 0, hitRight = 0;
    // Set by the tests against plugged game-play objects: the body ran
    // into one (the owner then checks its wing tips against the floor).
    uint8_t collided = 0;
    std::vector<P3DSceneUnit*> units;
    std::vector<uint8_t> unitFlags; // per unit of the world's list
    std::vector<PhysicObject*> partners;
    std::vector<int32_t> partnerDistances;
    int32_t* health = nullptr;
    uint8_t disabled = 0;
};
