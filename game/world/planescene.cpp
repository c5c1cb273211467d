#include "game/world/planescene.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dchannel.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"

namespace {

int32_t ClampDeflection(int32_t v)
{
    return v > PlaneScene::kMaxDeflection ? PlaneScene::kMaxDeflection
         : v < -PlaneScene::kMaxDeflection ? -PlaneScene::kMaxDeflection
                                           : v;
}

// The first model of the scene drawing the named pool mesh, or null. With
// all, every such model is passed to fn.
template <typename F>
void ForModelsNamed(P3DGameEngine* engine, P3DAnim* scene, const char* name, bool all, F fn)
{
    if (!engine || !scene || !name || !*name)
        return;
    P3DModel** list = nullptr;
    int n = engine->GetModelsPtrByName(scene, name, list);
    for (int i = 0; i < n && list; i++) {
        fn(list[i]);
        if (!all)
            break;
    }
    PFree(list);
}

} // namespace

PlaneScene::PlaneScene() = default;

PlaneScene::~PlaneScene()
{
    current = nullptr;
}

void PlaneScene::SetScene(P3DGameEngine* engine, int index)
{
    sceneIndex = index;
    scene = engine ? engine->GetAnimationPtr(index) : nullptr;
}

void PlaneScene::AddUnit(P3DGameEngine* engine, P3DAnim* level, const char* nullName, const PVector3& position,
                         const PVector3& angles)
{
    if (!engine || !scene)
        return;
    unit = engine->AddSceneUnit(sceneIndex, 0, 0, 0, 0, 0, 0);
    if (!unit)
        return;
    unit->SetCameraViewport(false);
    unit->SetCurrentFrame(kRestFrame);
    unit->Pause();
    unit->Disable();
    // The unit's box: the union of the boxes of its models' meshes.
    bool any = false;
    int32_t box[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < scene->modelCount; i++) {
        P3DModel* m = scene->models[i];
        if (!m || m->meshIndex < 0 || m->meshIndex >= engine->meshCount)
            continue;
        int32_t b[6];
        if (!P3DMeshBox(engine->meshes[m->meshIndex], b))
            continue;
        for (int k = 0; k < 3; k++) {
            box[k] = any && box[k] < b[k] ? box[k] : b[k];
            box[k + 3] = any && box[k + 3] > b[k + 3] ? box[k + 3] : b[k + 3];
        }
        any = true;
    }
    if (any)
        for (int k = 0; k < 6; k++)
            unit->box[k] = box[k];
    if (!level || !nullName)
        return;
    null = level->GetNullPointerByName(nullName);
    if (!null)
        return;
    null->PlugScene(unit);
    null->SetFreeDrawing(true);
    null->SetFreePosition(position.x, position.y, position.z, angles.y, angles.z, angles.x);
}

void PlaneScene::AddRotor(P3DGameEngine* engine, int index, const char* nullName)
{
    if (!engine)
        return;
    P3DSceneUnit* r = engine->AddSceneUnit(index, 0, 0, 0, 0, 0, 0);
    if (!r)
        return;
    rotors.push_back(r);
    rotorSpins.push_back(nullptr);
    P3DNullPoint* n = scene && nullName ? scene->GetNullPointerByName(nullName) : nullptr;
    if (!n)
        return;
    r->Disable();
    n->PlugScene(r);
    if (r->anim && r->anim->modelCount > 0 && r->anim->models[0]) {
        P3DModel* blade = r->anim->models[0];
        P3DFreeChannel* spin = r->GetFreeChannelPtr(r->AddFreeChannel(&blade->tracks[kTrackRotZ], blade));
        if (spin)
            spin->value = 0;
        rotorSpins.back() = spin;
    }
}

P3DFreeChannel* PlaneScene::DefinePart(P3DGameEngine* engine, const char* name, uint8_t& present)
{
    if (!name || (PStrLen(name) >= 4 && PStrCmpN(name, "NULL", 4) == 0)) {
        present = 0;
        return nullptr;
    }
    present = 1;
    P3DFreeChannel* channel = nullptr;
    ForModelsNamed(engine, scene, name, false, [&](P3DModel* m) {
        if (!unit)
            return;
        // Flaps and ailerons turn about their hinge along X.
        channel = unit->GetFreeChannelPtr(unit->AddFreeChannel(&m->tracks[kTrackRotX], m));
    });
    return channel;
}

void PlaneScene::DefineFlapLeft(P3DGameEngine* engine, const char* name)
{
    flapLeft = DefinePart(engine, name, flapLeftPresent);
}

void PlaneScene::DefineFlapRight(P3DGameEngine* engine, const char* name)
{
    flapRight = DefinePart(engine, name, flapRightPresent);
}

void PlaneScene::DefineRudder(P3DGameEngine* engine, const char* name)
{
    if (!name || (PStrLen(name) >= 4 && PStrCmpN(name, "NULL", 4) == 0)) {
        rudderPresent = 0;
        rudder = nullptr;
        return;
    }
    rudderPresent = 1;
    rudder = nullptr;
    ForModelsNamed(engine, scene, name, false, [&](P3DModel* m) {
        if (unit) // the rudder turns about the upright axis
            rudder = unit->GetFreeChannelPtr(unit->AddFreeChannel(&m->tracks[kTrackRotY], m));
    });
}

void PlaneScene::DefineGunFires(P3DGameEngine* engine, const char* name)
{
    ForModelsNamed(engine, scene, name, true, [&](P3DModel* m) {
        if (!unit)
            return;
        // Muzzle flashes spin about the barrel axis.
        P3DFreeChannel* c = unit->GetFreeChannelPtr(unit->AddFreeChannel(&m->tracks[kTrackRotZ], m));
        if (!c)
            return;
        c->hidden = 1;
        c->value = 0;
        gunFires.push_back(c);
    });
}

void PlaneScene::SetLodsScenes(int n)
{
    lods.clear();
    lodDistances.clear();
    current = this;
    if (n < 1)
        return;
    lodDistances.assign(size_t(n), 0);
    for (int i = 0; i < n; i++)
        lods.push_back(std::make_unique<PlaneScene>());
}

void PlaneScene::SetLODchangeDistance(int k, int d)
{
    if (k >= 0 && k < int(lodDistances.size()))
        lodDistances[size_t(k)] = d;
}

void PlaneScene::UpdateLODscene(const PPlane3* plane)
{
    if (lods.empty() || !null || !plane)
        return;
    int64_t d = P3DUtils::PlaneDistance(*plane, null->tracks[kTrackPosX].value, null->tracks[kTrackPosY].value,
                                        null->tracks[kTrackPosZ].value);
    int count = int(lods.size());
    if (d <= 0) {
        current = nullptr;
        return;
    }
    if (d <= lodDistances[0]) {
        current = this;
        return;
    }
    for (int k = 0; k + 1 < count; k++)
        if (d > lodDistances[size_t(k)] && d <= lodDistances[size_t(k) + 1]) {
            current = lods[size_t(k)].get();
            return;
        }
    current = lods.back().get();
}

void PlaneScene::RotateRotor(int i, int angle)
{
    if (i < 0 || i >= int(rotorSpins.size()) || !rotorSpins[size_t(i)])
        return;
    P3DFreeChannel* spin = rotorSpins[size_t(i)];
    spin->value = int32_t(uint32_t(spin->value) + uint32_t(angle));
}

void PlaneScene::SetFlapsDegree(int d)
{
    int32_t h = d >> 1;
    if (flapLeftPresent && flapLeft)
        flapLeft->value = ClampDeflection(h);
    if (flapRightPresent && flapRight)
        flapRight->value = ClampDeflection(-h);
}

void PlaneScene::SetRudderDegee(int d)
{
    if (rudderPresent && rudder)
        rudder->value = ClampDeflection(d >> 1);
}

void PlaneScene::SetGunFireActive(bool on, int angle)
{
    int sign = 1;
    for (P3DFreeChannel* c : gunFires) {
        c->hidden = on ? 0 : 1;
        if (on)
            c->value = int32_t(on && sign > 0 ? uint32_t(c->value) + uint32_t(angle) : uint32_t(c->value) - uint32_t(angle));
        sign = -sign;
    }
}
