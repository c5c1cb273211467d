// The game-play object AI: target selection, steering by direction finding,
// anti-aircraft aiming, path and water following, danger avoidance and
// shooting. All values 16.16; angles 16.16 degrees.
#include <cstdlib>

#include "engine/runtime/pfixed.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dobjects.h"
#include "game/scene/p3dutils.h"
#include "game/world/gameplayobject.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/myutility.h"
#include "game/world/physic.h"
#include "game/world/wave.h"
#include "game/world/weaponsystem.h"

namespace {

constexpr int32_t kOne = 0x10000;
constexpr int32_t kDeg = 0x10000;
constexpr int32_t kCeiling = 60 * kOne;
constexpr int32_t kBomberRise = 5 * kOne;
constexpr int32_t kUboatStep = 655;
constexpr int32_t kShootRange = 50 * kOne - 1;
constexpr int kShootCone = 3639;     // 20 degrees in 1/65536 turn
constexpr int kAntiAirCone = 20480;  // 112.5 degrees
constexpr int32_t kAntiAirRange = 0x14000;
constexpr int kBomberCone = 30 << 16;         // 30 degrees
constexpr int32_t kAboveBackground = 2 * kOne; // lifted over the ground outside the play area
// Out of the play area: back toward the middle, with the wider limit.
constexpr int kBoundsCeiling = 32;
constexpr PVector3 kHomePoint{kOne, 5 * kOne, kOne};
constexpr int32_t kHomeLimit = 250 * kOne;
// Wakes are left only this near the camera (its plane distance).
constexpr int32_t kWakeSight = 30 * kOne;

// 1/65536 of a turn to 16.16 degrees.
int32_t TurnToDeg(int a)
{
    return int32_t(int64_t(a) * 360);
}

int32_t Dist(int64_t dx, int64_t dy, int64_t dz)
{
    uint64_t s = uint64_t((dx * dx + dy * dy + dz * dz) >> 16);
    return PFSqrt(s > 0xFFFFFFFFu ? 0xFFFFFFFFu : unsigned(s));
}

int32_t Mul(int32_t a, int32_t b)
{
    return int32_t((int64_t(a) * b) >> 16);
}

// Half the edge of the play area: the size of the area grid's root cells;
// 0 for a level without areas.
int64_t PlayAreaHalfSize(P3DAnim const* scene)
{
    for (P3DBspTreeElement const* r : scene->roots)
        if (r)
            return r->size < 0 ? -int64_t(r->size) : r->size;
    return 0;
}

} // namespace

GPO* GPO::AI_CurrentTarget() const
{
    if (currentObjective < 0 || currentObjective >= int32_t(objectives.size()))
        return nullptr;
    return objectives[size_t(currentObjective)].target;
}

void GPO::AI_AutoDirectionFind(GPO* target, unsigned int now)
{
    if (!target)
        return;
    AI_AutoDirectionFind(target->position.x, target->position.y, target->position.z, now);
}

void GPO::AI_AutoDirectionFind(int tx, int ty, int tz, unsigned int now)
{
    if (!refX || !refYaw)
        return;
    int32_t limit = finderLimit;
    // Out of the play area: head back toward the middle from afar (the
    // check also holds the aircraft under the AI's ceiling).
    bool home = aircraft && boundsCheck && boundsCheck(aircraft, kBoundsCeiling) == MainGame::OUT_OF_BOUNDS;
    if (home) {
        tx = kHomePoint.x, ty = kHomePoint.y, tz = kHomePoint.z;
        limit = kHomeLimit;
    }
    int32_t x = *refX, y = *refY, z = *refZ;
    int32_t h0 = TurnToDeg(PAtan2(tx - x, tz - z));
    int32_t h = h0;
    if (h < 0)
        h = 360 * kDeg - ((-h) % (360 * kDeg));
    uint8_t bits = 0;
    if (y >= kCeiling) {
        *refY = kCeiling;
        bits = MyAirplane::kPitchUp;
    } else {
        int32_t dy = (home ? ty : ty / 4) - y / 4;
        int32_t pitch = *refPitch;
        if (dy > 1500)
            bits = pitch < 10 * kDeg ? MyAirplane::kPitchUp : 0;
        else if (dy < -1500)
            bits = pitch > -10 * kDeg ? MyAirplane::kPitchDown : 0;
    }
    if (std::abs(int64_t(tx) - x) >= limit || std::abs(int64_t(tz) - z) >= limit) {
        *refYaw = h0 + 180 * kDeg;
        *refRoll = 0;
        if (aircraft) {
            aircraft->angles.y = *refYaw;
            aircraft->angles.z = 0;
        }
        bits &= uint8_t(MyAirplane::kPitchUp | MyAirplane::kPitchDown);
    } else {
        int32_t yaw = *refYaw;
        int32_t roll = *refRoll;
        if (!(h - 218 * kDeg <= yaw && yaw <= h - 142 * kDeg)) {
            if (confused) {
                if (++confusionCounter >= confusionDelay)
                    confused = 0;
            } else {
                int64_t off = std::abs(int64_t(yaw) - (int64_t(h) - 180 * kDeg));
                if (off >= 120 * kDeg && off <= 180 * kDeg) {
                    if (confusionCounter <= 0)
                        confused = 1;
                    else if ((confusionCounter -= 2) == -1)
                        confusionCounter = 0;
                }
                if (yaw <= h - 142 * kDeg) {
                    if (roll < 45 * kDeg)
                        bits |= MyAirplane::kRollLeft;
                } else if (roll > -45 * kDeg) {
                    bits |= MyAirplane::kRollRight;
                }
            }
        }
    }
    if (aircraft) {
        aircraft->Rotate(&aircraft->angles, bits, now, 0);
        *refPitch = aircraft->angles.x;
        *refYaw = aircraft->angles.y;
        *refRoll = aircraft->angles.z;
    }
}

void GPO::AI_ThrottleManger()
{
    if (!refPitch)
        return;
    int32_t p = *refPitch >> 17;
    int32_t t = p + 30;
    if (GPO* target = AI_CurrentTarget()) {
        int32_t d = Dist(int64_t(target->position.x) - position.x, int64_t(target->position.y) - position.y,
                         int64_t(target->position.z) - position.z);
        if (d > 40 * kOne)
            t = p + 40;
        else if (d < 4 * kOne)
            t = p + 20;
    }
    targetThrottle = t < 0 ? 0 : (t > 75 ? 75 : t);
    if (!aircraft)
        return;
    if (aircraft->throttle < targetThrottle)
        aircraft->ThrottleUp();
    else if (aircraft->throttle > targetThrottle)
        aircraft->ThrottleDown();
}

bool GPO::AI_CollisionDetection(P3DGameEngine* engine, P3DAnim* scene, int waterLevel)
{
    if (!refX || !refY || !refZ)
        return false;
    if (*refY <= waterLevel)
        return true;
    if (!scene)
        return false;
    // Outside the play area the background models are the ground.
    if (scene->bgModelCount > 0 && scene->bgModels && scene->bgModels[0]) {
        int64_t half = PlayAreaHalfSize(scene);
        int32_t ground = scene->bgModels[0]->PosY();
        if ((std::abs(int64_t(*refX)) > half || std::abs(int64_t(*refZ)) > half) && *refY <= ground) {
            *refY = int32_t(std::min<int64_t>(int64_t(ground) + kAboveBackground, INT32_MAX));
            return true;
        }
    }
    if (!engine || scene->areaCount < 1 || !scene->areas)
        return false;
    P3DClip* area = scene->GetModelClipAreaPtr(scene->Coord2Area(*refX, 1), scene->Coord2Area(*refY, 1),
                                               scene->Coord2Area(*refZ, 1));
    if (!area || !area->models)
        return false;
    P3DModel* found = nullptr;
    for (int i = 0; i < area->count && !found; i++) {
        int k = area->models[i];
        P3DModel* m = k < scene->modelCount && scene->models ? scene->models[k] : nullptr;
        if (!m || !m->IsPerPolyColl() || m->meshIndex < 0 || m->meshIndex >= engine->meshCount)
            continue;
        if (m->meshIndex < engine->meshBoxCount && engine->meshBoxes && engine->meshBoxes[m->meshIndex]) {
            m->RefreshBox(engine->meshBoxes[m->meshIndex]);
            if (!IsGPOBelongsToMeshBox(m->box))
                continue;
        }
        found = m;
    }
    if (!found)
        return false;
    // Into the model's own frame.
    int x = int32_t(uint32_t(*refX) - uint32_t(found->PosX()));
    int y = int32_t(uint32_t(*refY) - uint32_t(found->PosY()));
    int z = int32_t(uint32_t(*refZ) - uint32_t(found->PosZ()));
    P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, -found->tracks[kTrackRotZ].value,
                               -found->tracks[kTrackRotY].value, -found->tracks[kTrackRotX].value);
    int mi = found->meshIndex;
    PMesh const* mesh = nullptr;
    if (P3DLods const* l = scene->lods; l && l->meshes && mi < l->meshCount && l->levelCount > 0 && l->meshes[mi])
        mesh = l->meshes[mi][0];
    if (!mesh && engine->meshes)
        mesh = engine->meshes[mi];
    return mesh && (Physic::CountTrianglesAbove(mesh, PVector3(x, y, z)) & 1);
}

bool GPO::AI_AntiAirAiming(GPO* target) const
{
    if (!target)
        return false;
    PVector3 me = position, t = target->position;
    if (int64_t(t.y) - me.y <= kOne)
        return false;
    int64_t dx = (int64_t(t.x) >> 4) - (me.x >> 4), dy = (int64_t(t.y) >> 4) - (me.y >> 4),
            dz = (int64_t(t.z) >> 4) - (me.z >> 4);
    if (Dist(dx, dy, dz) > kAntiAirRange)
        return false;
    PVector3 n{t.x - me.x, t.y - me.y, t.z - me.z};
    n.Normalize();
    return std::abs(PAcos(n.y)) <= kAntiAirCone;
}

void GPO::AI_ProcessPathFollow(unsigned int now)
{
    // The bound element stands at the current path frame.
    unsigned frame = unsigned(pathPosition < 0 ? 0 : pathPosition);
    if (nullPoint) {
        nullPoint->SetFreeDrawing(false);
        nullPoint->RefreshTransition(frame);
        nullPoint->SetFreeDrawing(true);
    } else if (model && model->anim) {
        model->anim->RefreshAllTransitionsForModel(model, frame);
    }
    if (aiTimer == 0)
        aiTimer = now;
    if (pathSpeed == 0) // a speed of 0 stands still
        return;
    unsigned step = 1000u / pathSpeed;
    if (step == 0)
        return;
    unsigned n = (now - aiTimer) / step;
    if (n == 0)
        return;
    aiTimer = now;
    pathPosition += int32_t(n);
    if (pathPosition >= pathEnd) {
        if (pathStopAtEnd)
            pathPosition = pathEnd;
        else
            pathPosition = pathStart + (pathPosition - pathEnd);
    }
}

void GPO::AI_ProcessTargetFollow(int tx, int ty, int tz)
{
    (void)ty;
    if (!refYaw)
        return;
    int32_t full = 360 * kDeg, half = 180 * kDeg;
    int32_t desired = TurnToDeg(PAtan2(tx - *refX, tz - *refZ)) % full;
    desired += desired < 0 ? half : -half;
    if (desired > half)
        desired -= full;
    else if (desired < -half)
        desired += full;
    int32_t yaw = *refYaw % full;
    if (yaw > half)
        yaw -= full;
    else if (yaw < -half)
        yaw += full;
    if (yaw > desired + 3 * kDeg)
        yaw -= kDeg;
    else if (yaw < desired - 3 * kDeg)
        yaw += kDeg;
    *refYaw = yaw;
    if (Dist(int64_t(tx) - *refX, 0, int64_t(tz) - *refZ) > 28 * kOne) {
        MyUtility::MoveByAngle(PVector3{*refPitch, *refYaw, *refRoll}, forward);
        *refX += int32_t(aiFrameTime) * ((forward.x / 28) / 40);
        *refZ += int32_t(aiFrameTime) * ((forward.z / 28) / 40);
    }
}

void GPO::AI_Process(P3DGameEngine* engine, P3DAnim* scene, int waterLevel, unsigned int now)
{
    if (GetEnergy() < 1 || !refX || !refY || !refZ || !refPitch || !refYaw || !refRoll)
        return;
    for (size_t i = 0; i < objectives.size(); i++) {
        Objective& o = objectives[i];
        if (o.done || !o.target) // objectives without a target are skipped
            continue;
        if (o.target->GetEnergy() > 0) {
            currentObjective = int32_t(i);
            break;
        }
        o.done = 1;
    }
    GPO* target = AI_CurrentTarget();
    bool destroy = target && objectives[size_t(currentObjective)].action == Objective::DESTROY;
    bool move = false;
    switch (aiBehaviour) {
    case FIGHTER:
        if (destroy) {
            aiDecision = DECISION_CHASE_TARGET;
            AI_AutoDirectionFind(target, now);
            move = true;
        }
        break;
    case BOMBER:
        if (destroy) {
            aiDecision = DECISION_BOMB_APPROACH;
            AI_AutoDirectionFind(target->position.x, target->position.y + kBomberRise, target->position.z, now);
            move = true;
        }
        break;
    case BEH_GROUND_AA:
        aiDecision = DECISION_AIM_GUN;
        break;
    case UBOAT:
        if (aiTimer == 0)
            aiTimer = now;
        if (target && target->GetEnergy() > 0) {
            aiDecision = DECISION_FOLLOW_ON_WATER;
            if (*refY < waterLevel)
                *refY = *refY + kUboatStep > waterLevel ? waterLevel : *refY + kUboatStep;
        } else if (*refY > waterLevel - 4 * kOne) {
            *refY = *refY - kUboatStep < waterLevel - 4 * kOne ? waterLevel - 4 * kOne : *refY - kUboatStep;
        }
        aiFrameTime = now - aiTimer;
        aiTimer = now;
        break;
    case BEH_NONE:
        if (pathOn) {
            aiDecision = DECISION_FOLLOW_PATH;
            AI_ProcessPathFollow(now);
            move = true;
        }
        break;
    }
    if (!move) {
        switch (aiDecision) {
        case DECISION_CHASE_TARGET:
            AI_AutoDirectionFind(target, now);
            break;
        case DECISION_BOMB_APPROACH:
            if (target)
                AI_AutoDirectionFind(target->position.x, target->position.y + kBomberRise, target->position.z, now);
            break;
        case DECISION_AIM_GUN:
            if (shooting && target) {
                PVector3 n{target->position.x - position.x, target->position.y - position.y,
                           target->position.z - position.z};
                n.Normalize();
                int32_t pitch = std::abs(TurnToDeg(PAtan2(PFSqrt(unsigned(Mul(n.x, n.x) + Mul(n.z, n.z))), n.y)));
                *refPitch = pitch > 80 * kDeg ? 80 * kDeg : pitch;
                *refYaw = TurnToDeg(PAtan2(n.x, n.z)) + 90 * kDeg;
            }
            break;
        case DECISION_FOLLOW_PATH:
            AI_ProcessPathFollow(now);
            break;
        case DECISION_FOLLOW_ON_WATER:
            if (target)
                AI_ProcessTargetFollow(target->position.x, target->position.y, target->position.z);
            break;
        default:
            break;
        }
    }
    if (aircraft) {
        AI_ThrottleManger();
        if (*refY <= waterLevel)
            *refY = waterLevel + kOne;
        aircraft->position = {*refX, *refY, *refZ};
        if (*refY >= kCeiling) {
            int32_t tx = target ? target->position.x : *refX, tz = target ? target->position.z : *refZ;
            *refYaw = TurnToDeg(PAtan2(tx - *refX, tz - *refZ)) + 180 * kDeg;
            *refPitch = -5 * kDeg;
            *refRoll = 0;
            aircraft->angles = {*refPitch, *refYaw, *refRoll};
            aircraft->Move(&aircraft->position, aircraft->angles, now);
        } else if (AI_CollisionDetection(engine, scene, waterLevel)) {
            if (aircraft->position.y > kCeiling) {
                aircraft->position.y = kCeiling;
                aircraft->Move(&aircraft->position, aircraft->angles, now);
            } else {
                *refYaw -= 180 * kDeg;
                aircraft->angles = {*refPitch, *refYaw, *refRoll};
                aircraft->Move(&aircraft->position, aircraft->angles, now);
                aircraft->Move(&aircraft->position, aircraft->angles, now);
                aircraft->angles.x = 25 * kDeg;
                aircraft->position.y += 0xC000;
            }
        } else {
            aircraft->Move(&aircraft->position, aircraft->angles, now);
        }
        *refX = aircraft->position.x, *refY = aircraft->position.y, *refZ = aircraft->position.z;
        forward = aircraft->forward;
        aircraft->previousNetPosition = aircraft->position;
    }
    position = {*refX, *refY, *refZ};
    rotation = {*refPitch, *refYaw, *refRoll};
    if (wake && engine &&
        P3DUtils::PlaneDistance(engine->GetCameraPlane(), position.x, position.y, position.z) < kWakeSight)
        wake->Add(&position, &forward, rotation.y, waterLevel, now, smoke);
}

void GPO::AI_ShootManager(WeaponSystem* weapons, unsigned int dt)
{
    if (GetEnergy() < 1 || !weapons)
        return;
    WeaponReloadProcess(weapons, dt, 0);
    GPO* chosen = nullptr;
    mycoolparticle* second = nullptr;
    switch (aiDecision) {
    case DECISION_CHASE_TARGET:
    case DECISION_FOLLOW_ON_WATER:
        for (Objective& o : objectives) {
            GPO* t = o.target;
            if (!t)
                continue;
            if (t->GetEnergy() < 1)
                return; // a destroyed target ends the walk without a shot
            shooting = 0;
            PVector3 d{t->position.x - position.x, t->position.y - position.y, t->position.z - position.z};
            if (Dist(d.x, d.y, d.z) > kShootRange)
                continue;
            PVector3 f = forward, n = d;
            f.Normalize();
            n.Normalize();
            int32_t dot = Mul(f.x, n.x) + Mul(f.y, n.y) + Mul(f.z, n.z);
            if (PAcos(dot) <= kShootCone) {
                chosen = t;
                shooting = 1;
                break;
            }
        }
        break;
    case DECISION_BOMB_APPROACH: {
        GPO* t = weapons->IsGroundObjectTargeted(this, kBomberCone);
        if (t && IsWeaponReloaded())
            weapons->Fire(uint8_t(currentWeapon), this, &t, 1, 0, second);
        if (aircraft) {
            if (t && reloadTimer == 0)
                aircraft->state |= MyAirplane::kStateFiring;
            else
                aircraft->state &= uint8_t(~MyAirplane::kStateFiring);
        }
        return;
    }
    case DECISION_AIM_GUN: {
        GPO* t = AI_CurrentTarget();
        if (t && AI_AntiAirAiming(t)) {
            shooting = 1;
            if (IsWeaponReloaded()) {
                forward = {t->position.x - position.x, t->position.y - position.y, t->position.z - position.z};
                forward.Normalize();
                weapons->Fire(uint8_t(currentWeapon), this, &t, 1, 0, second);
            }
        } else {
            forward = {0, kOne, 0};
            shooting = 0;
        }
        return;
    }
    default:
        return;
    }
    if ((chosen || shooting) && IsWeaponReloaded()) {
        GPO* t = chosen ? chosen : AI_CurrentTarget();
        if (t)
            weapons->Fire(uint8_t(currentWeapon), this, &t, 1, 0, second);
    }
    if (aircraft) {
        if (shooting && reloadTimer == 0)
            aircraft->state |= MyAirplane::kStateFiring;
        else
            aircraft->state &= uint8_t(~MyAirplane::kStateFiring);
    }
}
