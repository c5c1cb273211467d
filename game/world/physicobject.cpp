#include "game/world/physicobject.h"

#include <algorithm>

#include "engine/runtime/pfixed.h"
#include "game/scene/p3dutils.h"
#include "game/world/myutility.h"

namespace {

constexpr int32_t kMaxPush = 2 << 16;

} // namespace

void PhysicObject::AddCollisionSceneUnit(P3DSceneUnit* unit)
{
    units.push_back(unit);
}

void PhysicObject::RemoveCollisionSceneUnit(P3DSceneUnit* unit)
{
    units.erase(std::remove(units.begin(), units.end(), unit), units.end());
}

void PhysicObject::RemoveAllCollisionSceneUnits()
{
    units.clear();
}

void PhysicObject::GenerateCollideUnitsArray(P3DSceneUnit* const* worldUnits, int n)
{
    unitFlags.assign(size_t(n > 0 ? n : 0), 0);
    for (int i = 0; i < n; i++)
        unitFlags[size_t(i)] = std::find(units.begin(), units.end(), worldUnits[i]) != units.end() ? 1 : 0;
}

void PhysicObject::SetSphere2SphereCollision(PhysicObject* partner, int distance)
{
    partners.push_back(partner);
    partnerDistances.push_back(distance);
}

void PhysicObject::RemoveSphere2SphereCollision(PhysicObject* partner)
{
    if (partners.size() < 2) {
        partners.clear();
        partnerDistances.clear();
        return;
    }
    auto it = std::find(partners.begin(), partners.end(), partner);
    if (it == partners.end())
        return;
    partnerDistances.erase(partnerDistances.begin() + (it - partners.begin()));
    partners.erase(it);
}

int PhysicObject::IsCollidingWith(int i)
{
    if (i < 0 || i >= int(partners.size()))
        return 0;
    PhysicObject* p = partners[size_t(i)];
    if (!p || !p->health || *p->health < 1 || p->disabled)
        return 0;
    if (MyUtility::GetDistanceInMinimum(p->position, position, partnerDistances[size_t(i)]) == -1)
        return 0;
    int32_t* own[3] = {&position.x, &position.y, &position.z};
    const int32_t other[3] = {p->position.x, p->position.y, p->position.z};
    for (int k = 0; k < 3; k++) {
        int64_t h = (int64_t(other[k]) - *own[k]) >> 1;
        *own[k] = int32_t(*own[k] - (h > kMaxPush ? kMaxPush : h));
    }
    return 1;
}

void PhysicObject::RubForce(int, int& v)
{
    if (v > 0) {
        int r = v - (v >> 3);
        v = r < 0 ? 0 : r;
    } else if (v < 0) {
        int r = v - ((v + 7) >> 3);
        v = r > 0 ? 0 : r;
    }
}

void PhysicObject::RealizeMovement()
{
    AddX(velocity.x);
    AddY(velocity.y);
    AddZ(velocity.z);
    if (rubOnCollision && !AnyHit()) {
        int v = velocity.y;
        RubForce(rubForce, v);
        velocity.y = v;
    }
}

void PhysicObject::Move(int dt)
{
    velocity.x = int32_t(velocity.x + ((int64_t(dt) * (PSind(yaw) >> 11)) >> 8));
    velocity.z = int32_t(velocity.z + ((int64_t(dt) * (PCosd(yaw) >> 11)) >> 8));
}

PVector3 PhysicObject::WingPoint(const PVector3& offset) const
{
    int x = int32_t(uint32_t(position.x) + uint32_t(offset.x));
    int y = int32_t(uint32_t(position.y) + uint32_t(offset.y));
    int z = int32_t(uint32_t(position.z) + uint32_t(offset.z));
    P3DUtils::TranslatePointByPivot(x, y, z, position.x, position.y, position.z, 0, yaw, roll);
    return PVector3(x, y, z);
}
