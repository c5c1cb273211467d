#include "game/scene/p3danim.h"

#include <GLES/gl.h>

#include "engine/graphics/pglu.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pfixed.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "gl/gles.h"

namespace {

// A new array of the n matching pointers (PFree it); null for none.
template <class T, class Pred> int Collect(T** items, int count, Pred match, T**& out)
{
    out = nullptr;
    int n = 0;
    for (int i = 0; i < count; i++)
        if (match(items[i]))
            n++;
    if (!n)
        return 0;
    out = static_cast<T**>(PAlloc(n * int(sizeof(T*))));
    if (!out)
        return 0;
    int k = 0;
    for (int i = 0; i < count; i++)
        if (match(items[i]))
            out[k++] = items[i];
    return n;
}

bool SameName(const char* a, const char* b)
{
    return a && b && PStrCmp(a, b) == 0;
}

// Deletes every object of an owned pointer array and frees the array.
template <class T, class Count> void DeleteAll(T**& items, Count& count)
{
    for (int i = 0; i < count; i++)
        delete items[i];
    PFree(items);
    items = nullptr;
    count = 0;
}

} // namespace

P3DAnim* P3DAnim::Create()
{
    return new P3DAnim();
}

P3DAnim::P3DAnim()
{
    for (auto& t : octants)
        InitAreaOptimizationArray(t);
}

P3DAnim::~P3DAnim()
{
    Release();
}

void P3DAnim::Release()
{
    DeleteAll(models, modelCount);
    PFree(bgModels);
    bgModels = nullptr;
    bgModelCount = 0;
    DeleteAll(nulls, nullCount);
    DeleteAll(triggers, triggerCount);
    DeleteAll(areas, areaCount);
    m_areaCapacity = 0;
    areaSize = 0;
    currentArea = nullptr;
    PFree(areasInFrustum);
    areasInFrustum = nullptr;
    areasInFrustumCount = 0;
    for (auto& t : octants)
        FreeAreaOptimizationArray(t);
    for (auto& r : roots) {
        delete r;
        r = nullptr;
    }
    delete lods;
    lods = nullptr;
    PFree(skyboxModels);
    skyboxModels = nullptr;
    skyboxCount = 0;
    skyboxFlag = 0;
    PFree(boxColl);
    boxColl = nullptr;
    boxCollCount = 0;
    for (auto& t : camera.tracks)
        t.Free();
    cameraPresent = 0;
    useCamera = 0;
    cameraByte = 0;
    fovConstant = 0;
    constFov = 0;
    areasPresent = 0;
    modelClipByArea = 0;
    blendedCount = 0;
    if (m_meshNames) {
        for (int i = 0; i < m_meshCount; i++)
            PFree(m_meshNames[i]);
        PFree(m_meshNames);
    }
    m_meshNames = nullptr;
    m_meshCount = 0;
}

uint32_t P3DAnim::Now() const
{
    return m_timeSource ? m_timeSource(m_timeContext) : ticker();
}

void P3DAnim::SetTimeSource(uint32_t (*source)(void*), void* ctx)
{
    m_timeSource = source;
    m_timeContext = ctx;
}

// Null points.

P3DNullPoint* P3DAnim::GetNullPointerByName(const char* name)
{
    int i = GetNullIndexByName(name);
    return i < 0 ? nullptr : nulls[i];
}

int P3DAnim::GetNullIndexByName(const char* name)
{
    for (int i = 0; i < nullCount; i++)
        if (SameName(name, nulls[i]->name))
            return i;
    return -1;
}

int P3DAnim::GetNullPointersByName(const char* name, P3DNullPoint**& out)
{
    return Collect(nulls, nullCount, [&](P3DNullPoint* n) { return SameName(name, n->name); }, out);
}

int P3DAnim::GetNullIndiciesByName(const char* name, int*& out)
{
    out = nullptr;
    int n = 0;
    for (int i = 0; i < nullCount; i++)
        if (SameName(name, nulls[i]->name))
            n++;
    if (!n)
        return 0;
    out = static_cast<int*>(PAlloc(n * 4));
    if (!out)
        return 0;
    int k = 0;
    for (int i = 0; i < nullCount; i++)
        if (SameName(name, nulls[i]->name))
            out[k++] = i;
    return n;
}

P3DNullPoint* P3DAnim::GetPointerToNull(int i)
{
    return i >= 0 && i < nullCount ? nulls[i] : nullptr;
}

void P3DAnim::GetNullPosition(int i, int* x, int* y, int* z)
{
    P3DNullPoint* n = GetPointerToNull(i);
    if (!n)
        return;
    *x = n->tracks[kTrackPosX].value;
    *y = n->tracks[kTrackPosY].value;
    *z = n->tracks[kTrackPosZ].value;
}

void P3DAnim::GetNullPosition(int i, int* x, int* y, int* z, int* a, int* b, int* c)
{
    GetNullPosition(GetPointerToNull(i), x, y, z, a, b, c);
}

void P3DAnim::GetNullPosition(P3DNullPoint* n, int* x, int* y, int* z, int* a, int* b, int* c)
{
    if (!n)
        return;
    *x = n->tracks[kTrackPosX].value;
    *y = n->tracks[kTrackPosY].value;
    *z = n->tracks[kTrackPosZ].value;
    *a = n->tracks[kTrackRotY].value;
    *b = n->tracks[kTrackRotZ].value;
    *c = n->tracks[kTrackRotX].value;
}

void P3DAnim::SetNullFreePosition(int i, int x, int y, int z)
{
    P3DNullPoint* n = GetPointerToNull(i);
    if (!n)
        return;
    n->tracks[kTrackPosX].value = x;
    n->tracks[kTrackPosY].value = y;
    n->tracks[kTrackPosZ].value = z;
}

void P3DAnim::SetNullFreePosition(int i, int x, int y, int z, int r4, int r5, int r6)
{
    P3DNullPoint* n = GetPointerToNull(i);
    if (!n)
        return;
    SetNullFreePosition(i, x, y, z);
    n->tracks[kTrackRotY].value = r4;
    n->tracks[kTrackRotZ].value = r5;
    n->tracks[kTrackRotX].value = r6;
}

void P3DAnim::SetNullFreeDrawing(int i, bool on)
{
    if (P3DNullPoint* n = GetPointerToNull(i))
        n->SetFreeDrawing(on);
}

void P3DAnim::PlugModelToNullPoint(int i, PMesh* mesh)
{
    if (P3DNullPoint* n = GetPointerToNull(i))
        n->PlugModel(mesh);
}

void P3DAnim::UnplugModelFromNullPoint(int i)
{
    if (P3DNullPoint* n = GetPointerToNull(i))
        n->UnplugModel();
}

void P3DAnim::UnplugModelFromAllNulls()
{
    for (int i = 0; i < nullCount; i++)
        nulls[i]->UnplugModel();
}

void P3DAnim::RemoveNull(int i)
{
    if (i < 0 || i >= nullCount)
        return;
    delete nulls[i];
    for (int k = i; k + 1 < nullCount; k++)
        nulls[k] = nulls[k + 1];
    nullCount--;
}

// Triggers.

int P3DAnim::GetSphereTriggers(P3DTrigger**)
{
    return triggerCount;
}

P3DTrigger* P3DAnim::GetPtrToSphereTriggerByName(const char* name)
{
    for (int i = 0; i < triggerCount; i++)
        if (SameName(name, triggers[i]->name))
            return triggers[i];
    return nullptr;
}

int P3DAnim::GetPtrsToSphereTriggersByName(const char* name, P3DTrigger**& out)
{
    return Collect(triggers, triggerCount, [&](P3DTrigger* t) { return SameName(name, t->name); }, out);
}

void P3DAnim::SetSphereTriggerIdToName(const char* name, short id)
{
    if (!name)
        return;
    for (int i = 0; i < triggerCount; i++)
        if (SameName(name, triggers[i]->name)) {
            triggers[i]->id = id;
            triggers[i]->RefreshTransitions(0);
        }
}

int P3DAnim::GetSphereTriggerIdThatPointBelongs(PVector3 p)
{
    for (int i = 0; i < triggerCount; i++)
        if (triggers[i]->IsPointInside(p))
            return i;
    return -1;
}

// Models.

int P3DAnim::GetIndexToMeshFromModel(int i)
{
    return i >= 0 && i < modelCount ? models[i]->meshIndex : -1;
}

int P3DAnim::GetModelsPtrByModelIndex(int mesh, P3DModel**& out)
{
    return Collect(models, modelCount, [&](P3DModel* m) { return m->meshIndex == mesh; }, out);
}

int P3DAnim::GetModelsPtrByModelIndexInTrigger(P3DTrigger* trigger, int mesh, P3DModel**& out)
{
    out = nullptr;
    if (!trigger)
        return 0;
    int r = trigger->Radius();
    auto inside = [&](P3DModel* m) {
        if (m->meshIndex != mesh)
            return false;
        int64_t dx = int64_t(m->PosX()) - trigger->tracks[0].value;
        int64_t dy = int64_t(m->PosY()) - trigger->tracks[1].value;
        int64_t dz = int64_t(m->PosZ()) - trigger->tracks[2].value;
        auto sq = [](int64_t v) { return (unsigned __int128)((__int128)v * v); };
        unsigned __int128 sum = sq(dx) + sq(dy) + sq(dz);
        return P3DUtils::SqrtOfSquare(sum) <= r;
    };
    return Collect(models, modelCount, inside, out);
}

void P3DAnim::ChangeIndiciesInAllModels(int from, int to, bool* done)
{
    for (int i = 0; i < modelCount; i++)
        if (models[i]->meshIndex == from && !done[i]) {
            models[i]->meshIndex = to;
            done[i] = true;
        }
}

void P3DAnim::GetBoxMeasure(int* x, int* y, int* z, int* w, int* h, int* d, int i)
{
    if (i < 0 || i >= modelCount)
        return;
    P3DModel* m = models[i];
    *x = m->PosX();
    *y = m->PosY();
    *z = m->PosZ();
    *w = m->size[0].value;
    *h = m->size[1].value;
    *d = m->size[2].value;
}

void P3DAnim::BlockAllChannelsInModel(int i)
{
    if (i < 0 || i >= modelCount)
        return;
    P3DModel* m = models[i];
    for (auto& t : m->tracks)
        t.blocked = 1;
    if (m->IsBoxColl())
        for (auto& t : m->size)
            t.blocked = 1;
}

void P3DAnim::UnblockAllChannelsInModel(int i)
{
    if (i < 0 || i >= modelCount)
        return;
    P3DModel* m = models[i];
    for (auto& t : m->tracks)
        t.blocked = 0;
    for (auto& t : m->size)
        t.blocked = 0;
}

P3DChannel* P3DAnim::BlockChannelInModel(int i, int track, bool block)
{
    if (i < 0 || i >= modelCount || track < 0 || track > 8)
        return nullptr;
    P3DModel* m = models[i];
    P3DChannel* t = track < 6 ? &m->tracks[track] : &m->size[track - 6];
    t->blocked = block ? 1 : 0;
    return t;
}

void P3DAnim::GetModelPosition(int i, int* x, int* y, int* z)
{
    if (i < 0 || i >= modelCount)
        return;
    P3DModel* m = models[i];
    int px = m->PosX(), py = m->PosY(), pz = m->PosZ();
    for (int k = 0; k < m->chainLength; k++) {
        const P3DModel* p = models[m->chain[k]];
        P3DUtils::GetTranslatedXYZ(&px, &py, &pz, p->PosX(), p->PosY(), p->PosZ(), p->RotX(), p->RotY(), p->RotZ());
    }
    *x = px;
    *y = py;
    *z = pz;
}

void P3DAnim::GeneratePtrsToBgModels()
{
    PFree(bgModels);
    bgModels = nullptr;
    bgModelCount = 0;
    int n = 0;
    for (int i = 0; i < modelCount && n < 255; i++)
        if (models[i]->IsBgModel())
            n++;
    if (!n)
        return;
    bgModels = static_cast<P3DModel**>(PAlloc(n * int(sizeof(P3DModel*))));
    if (!bgModels)
        return;
    for (int i = 0; i < modelCount && bgModelCount < n; i++)
        if (models[i]->IsBgModel())
            bgModels[bgModelCount++] = models[i];
}

void P3DAnim::InitBoxCollPrecalculations()
{
    PFree(boxColl);
    boxColl = nullptr;
    boxCollCount = 0;
    int n = 0;
    for (int i = 0; i < modelCount; i++)
        if (models[i]->IsBoxColl())
            n++;
    if (!n)
        return;
    boxColl = static_cast<int32_t*>(PAlloc(n * 4));
    if (!boxColl)
        return;
    for (int i = 0; i < modelCount; i++)
        if (models[i]->IsBoxColl())
            boxColl[boxCollCount++] = i;
}

int P3DAnim::GetBoxCollIndicies(int*& out)
{
    out = boxColl;
    return boxCollCount;
}

// Frame evaluation.

void P3DAnim::RefreshAllTransitionsForModel(P3DModel* m, unsigned int frame)
{
    if (!m)
        return;
    for (auto& t : m->tracks)
        t.FindAB(frame);
    if (m->IsBoxColl())
        for (auto& t : m->size)
            t.FindAB(frame);
    if (m->IsDissolveEnvelope())
        m->envelope.FindAB(frame);
}

void P3DAnim::RefreshAllTransitionsAtFrame(unsigned int frame)
{
    if (modelClipByArea && areasPresent) {
        if (currentArea)
            for (int i = 0; i < currentArea->count; i++) {
                int k = currentArea->models[i];
                if (k < modelCount && !models[k]->IsNotAnimated())
                    RefreshAllTransitionsForModel(models[k], frame);
            }
    } else if (!frustumByAreas) {
        for (int i = 0; i < modelCount; i++)
            if (!models[i]->IsNotAnimated())
                RefreshAllTransitionsForModel(models[i], frame);
    } else {
        for (int a = 0; a < areasInFrustumCount; a++) {
            int ai = areasInFrustum[a];
            if (ai >= areaCount)
                continue;
            P3DClip* area = areas[ai];
            for (int i = 0; i < area->count; i++) {
                int k = area->models[i];
                if (k < modelCount && !models[k]->IsNotAnimated())
                    RefreshAllTransitionsForModel(models[k], frame);
            }
        }
    }
    for (int i = 0; i < triggerCount; i++)
        triggers[i]->RefreshTransitions(frame);
}

void P3DAnim::RefreshAllTransitionsForCamera(unsigned int frame)
{
    for (int i = 0; i < 6; i++)
        camera.tracks[i].FindAB(frame);
}

// The camera's play state.

void P3DAnim::SetCameraFreePosition(int x, int y, int z, int a, int b, int c)
{
    camera.tracks[kTrackPosX].value = x;
    camera.tracks[kTrackPosY].value = y;
    camera.tracks[kTrackPosZ].value = z;
    camera.tracks[kTrackRotY].value = a;
    camera.tracks[kTrackRotZ].value = b;
    camera.tracks[kTrackRotX].value = c;
}

void P3DAnim::ResetCamera()
{
    cameraPaused = 0;
    cameraFrame = cameraLoopStart;
    cameraLastTick = Now();
}

void P3DAnim::PlayCamera()
{
    cameraPaused = 0;
    cameraLastTick = Now();
}

void P3DAnim::SetCameraLoop(unsigned start, unsigned end)
{
    if (end <= start)
        return;
    cameraLoopStart = int32_t(start);
    cameraLoopEnd = int32_t(end);
    cameraFrame = int32_t(start);
    cameraLastTick = Now();
    RefreshAllTransitionsForCamera(start);
}

void P3DAnim::AnimateCamera()
{
    uint32_t now = Now();
    // A clock of 0 (or fewer) frames per second stands still.
    if (cameraPaused || cameraFPS <= 0) {
        cameraLastTick = now;
        return;
    }
    uint32_t period = 1000u / uint32_t(cameraFPS);
    if (!period)
        return;
    uint32_t steps = (now - cameraLastTick) / period;
    if (!steps)
        return;
    cameraLastTick = now;
    int64_t f;
    if (cameraDirection) {
        f = int64_t(cameraFrame) + steps;
        if (f < cameraLoopEnd)
            cameraFrame = int32_t(f);
        else if (holdCamera)
            cameraFrame = cameraLoopEnd;
        else
            cameraFrame = int32_t(int64_t(cameraLoopStart) + (f - cameraLoopEnd));
    } else {
        f = int64_t(cameraFrame) - steps;
        if (f > cameraLoopStart)
            cameraFrame = int32_t(f);
        else if (holdCamera)
            cameraFrame = cameraLoopStart;
        else
            cameraFrame = int32_t(int64_t(cameraLoopEnd) - 1 - (cameraLoopStart - f));
    }
    RefreshAllTransitionsForCamera(unsigned(cameraFrame));
}

void P3DAnim::SetFOV(GLES* gl, int aspect, int fov)
{
    gl->glPushMatrix();
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadIdentity();
    gluPerspectivex(gl, fov, aspect, nearClip, farClip);
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glPopMatrix();
    currentFov = fov;
}
