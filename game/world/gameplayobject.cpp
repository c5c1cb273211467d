#include "game/world/gameplayobject.h"

#include <algorithm>

#include "engine/graphics/pmesh.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pfixed.h"
#include "engine/runtime/pstring.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dobjects.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/physic.h"
#include "game/world/wave.h"
#include "game/world/wavesmanager.h"
#include "game/world/weaponsystem.h"

namespace {

constexpr unsigned kWakeElements = 4;
constexpr unsigned kWakeLifeMs = 330;

} // namespace

GPO::BoundsCheckFn GPO::boundsCheck = &MainGame::BoundsCheck;

GPO::GPO() = default;
GPO::~GPO() = default;

void GPO::DefineTypeName(const char* s)
{
    if (s)
        name = s;
}

void GPO::DefineIDTypeName(const char* s)
{
    if (s)
        referenceName = s;
}

void GPO::AddGroupModelName(const char* s)
{
    if (s && int(groupNames.size()) < kMaxGroupNames)
        groupNames.emplace_back(s);
}

void GPO::AI_SetFollowPath(bool on, int start, int end, int speed, bool stopAtEnd)
{
    pathOn = on;
    pathPosition = start;
    pathStart = int16_t(start);
    pathEnd = int16_t(end);
    pathSpeed = uint8_t(speed);
    pathStopAtEnd = stopAtEnd;
}

int GPO::GetEnergy() const
{
    if (healthRef)
        return *healthRef;
    return objectKind == BUILDING ? kFullHealth : 0;
}

PVector3 GPO::GetPosition() const
{
    // A null point linked to a model moves with it: its scene position.
    if (kind == POINT && nullPoint && nullPoint->linkedModel >= 0) {
        PVector3 p;
        nullPoint->GetPosition(p.x, p.y, p.z);
        return p;
    }
    if (refX && refY && refZ)
        return {*refX, *refY, *refZ};
    return position;
}

int GPO::GetCurrentAmmoCount() const
{
    return currentSlot >= 0 && currentSlot < int(ammo.size()) ? ammo[size_t(currentSlot)] : 0;
}

void GPO::GetCurrentAmmoCountAsString(PString*& out) const
{
    if (!out)
        return;
    int n = GetCurrentAmmoCount();
    if (n == -1)
        out->Append("INF");
    else
        out->AppendNum(n);
}

void GPO::PlugCursorToBasicType()
{
    cursorX = &position.x;
    cursorY = &position.y;
    cursorZ = &position.z;
}

void GPO::PlugCursorToIDType()
{
    P3DChannel const* t = nullptr;
    if (referenceKind == MODEL && refModel)
        t = refModel->tracks;
    else if (referenceKind == TRIGGER && refTrigger)
        t = refTrigger->tracks;
    else if (referenceKind == POINT && refNullPoint)
        t = refNullPoint->tracks;
    if (!t)
        return;
    cursorX = &t[0].value;
    cursorY = &t[1].value;
    cursorZ = &t[2].value;
}

void GPO::SetCursorBounce(bool on, int amplitude)
{
    bounceOn = on;
    bounceAmplitude = amplitude;
    bounceMin = 0;
}

int GPO::GetBounceCursor()
{
    if (!bounceOn)
        return bounceOffset;
    if (bounceRising) {
        bounceOffset += bounceAmplitude >> 4;
        if (bounceOffset >= bounceAmplitude)
            bounceRising = 0;
    } else {
        bounceOffset -= bounceAmplitude >> 3;
        if (bounceOffset <= bounceMin)
            bounceRising = 1;
    }
    return bounceOffset;
}

void GPO::Disable()
{
    enabled = 0;
    if (aircraft)
        aircraft->RefreshPluggedPlane(false);
}

void GPO::Enable()
{
    enabled = 1;
    if (aircraft)
        aircraft->RefreshPluggedPlane(true);
}

void GPO::AddWeaponAvailable(signed char wid, int count)
{
    if (int(weaponIds.size()) >= kMaxWeapons)
        return;
    weaponIds.push_back(wid);
    ammo.push_back(count);
    maxAmmo.push_back(count);
}

void GPO::SetCurrentWeapon(signed char slot)
{
    currentSlot = slot;
    currentWeapon = slot >= 0 && slot < int(weaponIds.size()) ? weaponIds[size_t(slot)] : 0;
}

int GPO::SwitchToNextWeapon()
{
    int n = int(weaponIds.size());
    if (!n)
        return 0;
    int slot = currentSlot;
    for (int k = 1; k <= n; k++) {
        int s = ((slot + k) % n + n) % n;
        if (ammo[size_t(s)] != 0) {
            currentSlot = int8_t(s);
            break;
        }
    }
    SetCurrentWeapon(currentSlot);
    reloadTimer = 0;
    return currentSlot;
}

int GPO::IsWeaponReloaded() const
{
    return reloadTimer == 0 && GetCurrentAmmoCount() != 0;
}

int GPO::GetWeaponSeeker()
{
    seeker = !seeker;
    return seeker;
}

int GPO::ReduceAmmo()
{
    if (currentSlot < 0 || currentSlot >= int(ammo.size()))
        return currentSlot;
    int32_t& a = ammo[size_t(currentSlot)];
    if (a == -1)
        return currentSlot;
    if (a > 0)
        a--;
    for (int k = 0; k < int(ammo.size()) && GetCurrentAmmoCount() == 0; k++)
        SwitchToNextWeapon();
    return currentSlot;
}

void GPO::RearmAllWeapons(int n)
{
    if (rearmLock)
        return;
    for (size_t i = 0; i < ammo.size(); i++)
        if (ammo[i] != -1)
            ammo[i] = int32_t(std::min<int64_t>(int64_t(ammo[i]) + n, maxAmmo[i]));
    rearmLock = 1;
}

void GPO::RearmAllWeapons_Extend(int n)
{
    if (rearmLock)
        return;
    for (size_t i = 0; i < ammo.size(); i++) {
        if (ammo[i] == -1)
            continue;
        ammo[i] = int32_t(std::min<int64_t>(int64_t(ammo[i]) + n, INT32_MAX));
        maxAmmo[i] = std::max(maxAmmo[i], ammo[i]);
    }
    rearmLock = 1;
}

void GPO::RearmWeapon()
{
    if (rearmLock || currentSlot < 0 || currentSlot >= int(ammo.size()))
        return;
    size_t s = size_t(currentSlot);
    if (ammo[s] != -1 && ammo[s] < maxAmmo[s]) {
        ammo[s]++;
        rearmLock = 1;
    }
}

void GPO::RearmWeapon(signed char slot)
{
    if (slot >= 0 && slot < int(ammo.size()))
        ammo[size_t(slot)] = maxAmmo[size_t(slot)];
}

void GPO::WeaponReloadProcess(WeaponSystem* ws, unsigned int dt, unsigned char doubleShots)
{
    if (reloadTimer > 0) {
        // An id that names no weapon record has no reload time: the timer
        // simply ends.
        MyWeapon const* w = ws ? ws->GetWeapon(currentWeapon) : nullptr;
        int32_t reload = w ? w->reload : 0;
        if (w && doubleShots && w->type == MyWeapon::kShot)
            reload *= 2;
        // A step that would run the clock backwards (a delta that wrapped)
        // adds nothing, and the timer never leaves the range it counts in:
        // "reloaded" means exactly 0.
        int64_t step = int32_t(dt) > 0 ? int64_t(int32_t(dt)) : 0;
        if (reload > reloadTimer && reloadTimer + step < reload)
            reloadTimer = int32_t(reloadTimer + step);
        else
            reloadTimer = 0;
    }
    if (reloadTimer < 0)
        reloadTimer = 0;
    if (rearmLock >= 1 && ++rearmLock > kRearmLockSteps)
        rearmLock = 0;
}

void GPO::ReduceHealth(int d)
{
    if (!healthRef || *healthRef < 1)
        return;
    if (d >= kFatalHit) {
        *healthRef = 0;
        return;
    }
    if (armour)
        d = std::max(d - int(armour), 1);
    *healthRef = std::max(*healthRef - d, 0);
}

void GPO::AI_AddObjective(Objective const* o)
{
    if (o && objectives.size() < size_t(INT16_MAX))
        objectives.push_back(*o);
}

void GPO::SetObjectiveTitle(const wchar_t* title, Objective& o)
{
    if (!title)
        return;
    o.title = title;
    o.hasTitle = true;
}

void GPO::UpdateAllObjectivesStatus()
{
    for (Objective& o : objectives) {
        if (!o.objects.empty()) {
            bool anyAlive = false;
            for (GPO* g : o.objects)
                if (g && g->GetEnergy() >= 1)
                    anyAlive = true;
            o.done = o.action == Objective::DESTROY ? !anyAlive : anyAlive;
        } else if (o.target) {
            int e = o.target->GetEnergy();
            o.done = o.action == Objective::DESTROY ? e < 1 : e > 0;
        }
    }
}

void GPO::BindValues(P3DChannel* t)
{
    refX = &t[0].value;
    refY = &t[1].value;
    refZ = &t[2].value;
    refPitch = &t[3].value;
    refYaw = &t[4].value;
    refRoll = &t[5].value;
    position = {*refX, *refY, *refZ};
    rotation = {*refPitch, *refYaw, *refRoll};
}

void GPO::SetVectorRef(int32_t& x, int32_t& y, int32_t& z, int32_t& pitch, int32_t& yaw, int32_t& roll)
{
    refX = &x, refY = &y, refZ = &z, refPitch = &pitch, refYaw = &yaw, refRoll = &roll;
    position = {x, y, z};
}

namespace {

PVector3 NullPos(P3DNullPoint* n)
{
    PVector3 p;
    n->GetPosition(p.x, p.y, p.z);
    return p;
}

PVector3 TrackPos(P3DChannel const* t)
{
    return {t[0].value, t[1].value, t[2].value};
}

} // namespace

int GPO::GenerateFromLevel(P3DGameEngine* engine, P3DAnim* scene)
{
    exists = 0;
    if (!scene || name.empty())
        return 0;
    P3DNullPoint** nulls = nullptr;
    P3DModel** mods = nullptr;
    P3DTrigger** trigs = nullptr;
    int n = 0;
    if (kind == POINT)
        n = scene->GetNullPointersByName(name.c_str(), nulls);
    else if (kind == MODEL && engine)
        n = engine->GetModelsPtrByName(scene, name.c_str(), mods);
    else if (kind == TRIGGER)
        n = scene->GetPtrsToSphereTriggersByName(name.c_str(), trigs);
    auto release = [&] {
        PFree(nulls);
        PFree(mods);
        PFree(trigs);
    };
    if (n <= 0) {
        release();
        return 0;
    }
    auto bind = [&](int i) {
        if (kind == POINT) {
            nullPoint = nulls[i];
            BindValues(nullPoint->tracks);
            position = NullPos(nullPoint);
        } else if (kind == MODEL) {
            model = mods[i];
            BindValues(model->tracks);
        } else {
            trigger = trigs[i];
            BindValues(trigger->tracks);
        }
    };
    int chosen = 0;
    if (placedByOwnName) {
        if (kind == POINT) {
            nulls[0]->SetFreeDrawing(false);
            nulls[0]->RefreshTransition(0);
            nulls[0]->SetFreeDrawing(true);
        }
    } else {
        PVector3 ref;
        bool found = false;
        if (referenceKind == MODEL && engine) {
            P3DModel** r = nullptr;
            if (engine->GetModelsPtrByName(scene, referenceName.c_str(), r) > 0) {
                refModel = r[0];
                ref = TrackPos(refModel->tracks);
                found = true;
            }
            PFree(r);
        } else if (referenceKind == TRIGGER) {
            refTrigger = scene->GetPtrToSphereTriggerByName(referenceName.c_str());
            if (refTrigger) {
                ref = TrackPos(refTrigger->tracks);
                found = true;
            }
        } else if (referenceKind == POINT) {
            refNullPoint = scene->GetNullPointerByName(referenceName.c_str());
            if (refNullPoint) {
                ref = NullPos(refNullPoint);
                found = true;
            }
        }
        if (!found) {
            release();
            return 0;
        }
        int32_t best = INT32_MAX;
        for (int i = 0; i < n; i++) {
            PVector3 p = kind == POINT ? NullPos(nulls[i]) : TrackPos(kind == MODEL ? mods[i]->tracks : trigs[i]->tracks);
            int32_t d = PVector3::DistanceSafe(p, ref);
            if (d < best) {
                best = d;
                chosen = i;
            }
        }
    }
    bind(chosen);
    // The start position is recorded on both paths so that a respawn
    // returns the object to where the mission placed it.
    startPosition = position;
    startRotation = rotation;
    exists = 1;
    release();
    return 1;
}

void GPO::RespawnPosition()
{
    if (refX && refY && refZ && refPitch && refYaw && refRoll) {
        *refX = startPosition.x, *refY = startPosition.y, *refZ = startPosition.z;
        *refPitch = startRotation.x, *refYaw = startRotation.y, *refRoll = startRotation.z;
    }
    position = startPosition;
    rotation = startRotation;
}

void GPO::AddModelsToGroup(P3DModel** list, int n)
{
    if (!list || n <= 0)
        return;
    models.insert(models.end(), list, list + n);
}

int GPO::FindGroupOnLevel_TriggerRange(P3DGameEngine* engine, P3DAnim* scene, P3DTrigger* trig)
{
    if (!engine || !scene || !trig)
        return 0;
    int result = 1;
    for (std::string const& g : groupNames) {
        P3DModel** found = nullptr;
        int n = engine->GetModelsPtrByNameInTrigger(trig, scene, g.c_str(), found);
        if (n > 0)
            AddModelsToGroup(found, n);
        else
            result = 0;
        PFree(found);
    }
    return result;
}

void GPO::CalculateBBox()
{
    if (!nullPoint || !nullPoint->mesh)
        return;
    PAABB3 box;
    nullPoint->mesh->BoundingBox(box);
    int64_t s = (int64_t(box.max.x) * box.max.x + int64_t(box.max.y) * box.max.y + int64_t(box.max.z) * box.max.z) >> 16;
    boundingRadius = PFSqrt(unsigned(std::min<int64_t>(s, UINT32_MAX)));
}

int GPO::IsGPOBelongsToMeshBox(PVector3 const* box) const
{
    int x0, y0, z0, x1, y1, z1;
    Physic::GetMinimumMaximumFromBBox(box, x0, y0, z0, x1, y1, z1);
    PVector3 p = GetPosition();
    return p.x > x0 && p.x < x1 && p.y > y0 && p.y < y1 && p.z > z0 && p.z < z1;
}

// The index of the engine's mesh called `name`, loading directory + name +
// ".pof" when the engine has none of that name yet; negative when it cannot.
int GPO::FindOrLoadMesh(P3DGameEngine* engine, std::string const& name, const char* directory, const char* textures)
{
    int i = engine->GetMeshIndexByName(name.c_str());
    if (i < 0) {
        std::string path = std::string(directory) + name + ".pof";
        engine->AddMesh(path.c_str(), name.c_str(), textures);
        i = engine->GetMeshIndexByName(name.c_str());
    }
    return i;
}

void GPO::PlugModelToPoint(P3DGameEngine* engine, P3DAnim* scene, const char* meshName, const char* directory,
                           const char* textures, const char* lodSuffix, int lodCount, int lodDist)
{
    if (kind != POINT || !engine || !scene || !meshName || !directory)
        return;
    auto findOrLoad = [&](std::string const& n) { return GPO::FindOrLoadMesh(engine, n, directory, textures); };
    int first = findOrLoad(meshName);
    if (first >= 0 && first < engine->meshCount && engine->meshes) {
        AddPlugModelIndex(uint16_t(first));
        if (nullPoint) {
            nullPoint->PlugModel(engine->meshes[first]);
            CalculateBBox();
            nullPoint->UpdateMeshBox();
        }
    }
    if (lodSuffix && lodCount > 0) {
        lodCount = std::min(lodCount, 9);
        for (int k = 1; k <= lodCount; k++) {
            int i = findOrLoad(std::string(meshName) + lodSuffix + char('1' + k - 1));
            if (i >= 0)
                AddPlugModelIndex(uint16_t(i));
        }
    }
    lodDistance = int32_t(std::clamp<int64_t>(int64_t(lodDist) * 65536, 0, INT32_MAX));
}

void GPO::AddPlugModelIndex(unsigned short i)
{
    if (int(plugMeshes.size()) < kMaxPlugMeshes)
        plugMeshes.push_back(i);
}

int GPO::PluggedLodFor(int32_t d) const
{
    int n = int(plugMeshes.size());
    if (d <= -boundingRadius)
        return -1;
    if (d <= lodDistance || n == 1)
        return 0;
    // Without a positive distance there are no bands: beyond it, the last.
    for (int k = 1; k <= n - 1; k++)
        if (int64_t(k) * lodDistance < d && d <= int64_t(k + 1) * lodDistance)
            return k;
    return n - 1;
}

void GPO::UpdatePluggedModelLod(P3DGameEngine* engine)
{
    if (!engine || !nullPoint || plugMeshes.empty())
        return;
    PPlane3 pl = engine->GetCameraPlane();
    PVector3 p = GetPosition();
    int64_t d64 = ((int64_t(pl.a) * p.x + int64_t(pl.b) * p.y + int64_t(pl.c) * p.z) >> 16) + pl.d;
    int32_t d = int32_t(std::clamp<int64_t>(d64, INT32_MIN, INT32_MAX));
    int k = PluggedLodFor(d);
    if (k < 0) {
        nullPoint->UnplugModel();
        return;
    }
    auto mesh = [&](uint16_t i) { return engine->meshes && i < engine->meshCount ? engine->meshes[i] : nullptr; };
    PMesh* m = mesh(plugMeshes[size_t(k)]);
    if (!m)
        m = mesh(plugMeshes.back());
    if (m)
        nullPoint->PlugModel(m);
}

void GPO::AddWaveFx(WavesManager* waves, MySmoke* s, int size)
{
    smoke = s;
    wake = std::make_unique<Wave>(kWakeElements, kWakeLifeMs);
    wake->SetSize(size);
    if (waves)
        waves->AddWave(wake.get());
}
