#include "game/scene/p3dgameengine.h"

#include <GLES/gl.h>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "gl/gles.h"

namespace {

constexpr int32_t kOne = 0x10000;

char* CopyString(const char* s)
{
    int n = s ? PStrLen(s) : 0;
    char* p = static_cast<char*>(PAlloc(n + 1));
    if (p) {
        for (int i = 0; i < n; i++)
            p[i] = s[i];
        p[n] = 0;
    }
    return p;
}

// Appends one pointer to a list that grows by exactly one; 0 when memory is
// exhausted (the list is unchanged then).
template <class T> int Append(T**& list, int32_t& count, T* item)
{
    T** p = static_cast<T**>(PAlloc((count + 1) * int(sizeof(T*))));
    if (!p)
        return 0;
    for (int i = 0; i < count; i++)
        p[i] = list[i];
    p[count] = item;
    PFree(list);
    list = p;
    count++;
    return 1;
}

// lo <= p < lo + size on one axis, in 64 bits.
bool Within(int64_t p, int64_t lo, int64_t size)
{
    return lo <= p && p < lo + size;
}

// The eight corners of a mesh's box; null for a missing mesh or when memory
// is exhausted.
PVector3* MeshCorners(PMesh* mesh)
{
    int32_t b[6];
    if (!P3DMeshBox(mesh, b))
        return nullptr;
    PVector3* corners = static_cast<PVector3*>(PAlloc(8 * int(sizeof(PVector3))));
    if (!corners)
        return nullptr;
    PAABB3 box;
    box.min = PVector3(b[0], b[1], b[2]);
    box.max = PVector3(b[3], b[4], b[5]);
    P3DUtils::BBox2Vectors(box, corners);
    return corners;
}

// The placements between a null's frame and its scene: the model the null
// is drawn on, then that model's parent chain outwards.
void NullFrameToScene(const P3DNullPoint* n, int& x, int& y, int& z)
{
    const P3DModel* m = n->DrawnOnModel();
    if (!m)
        return;
    m->Placement().Transform(&x, &y, &z);
    for (int k = 0; k < m->chainLength; k++)
        if (m->chain[k] >= 0 && m->chain[k] < n->anim->modelCount)
            n->anim->models[m->chain[k]]->Placement().Transform(&x, &y, &z);
}

void SceneToNullFrame(const P3DNullPoint* n, int& x, int& y, int& z)
{
    const P3DModel* m = n->DrawnOnModel();
    if (!m)
        return;
    for (int k = m->chainLength - 1; k >= 0; k--)
        if (m->chain[k] >= 0 && m->chain[k] < n->anim->modelCount)
            n->anim->models[m->chain[k]]->Placement().Untransform(&x, &y, &z);
    m->Placement().Untransform(&x, &y, &z);
}

bool InBox(const P3DModel* m, int64_t x, int64_t y, int64_t z, int64_t ox = 0, int64_t oy = 0, int64_t oz = 0)
{
    return Within(x, ox + m->PosX(), m->size[0].value) && Within(y, oy + m->PosY(), m->size[1].value) &&
           Within(z, oz + m->PosZ(), m->size[2].value);
}

} // namespace

P3DGameEngine* P3DGameEngine::Create(PTextureManager* tm, int aspect)
{
    return new P3DGameEngine(tm, aspect);
}

P3DGameEngine::P3DGameEngine(PTextureManager* tm, int a) : textureManager(tm), aspect(a) {}

P3DGameEngine::~P3DGameEngine()
{
    RemoveAllSceneUnits();
    for (int i = 0; i < sceneCount; i++)
        delete scenes[i];
    PFree(scenes);
    scenes = nullptr;
    sceneCount = 0;
    DeallocAllMeshes();
    PFree(m_entryUnit);
    PFree(m_entrySlot);
    PFree(m_order);
    PFree(m_orderTmp);
}

int P3DGameEngine::AspectRatio(int width, int height)
{
    if (height <= 0)
        return kOne;
    int64_t a = (int64_t(width) << 16) / height;
    return a > INT32_MAX ? INT32_MAX : a < INT32_MIN ? INT32_MIN : int(a);
}

// Mesh pool.

int P3DGameEngine::AddMesh(char* name, PMesh* mesh)
{
    PMesh** m = static_cast<PMesh**>(PAlloc((meshCount + 1) * int(sizeof(PMesh*))));
    char** n = static_cast<char**>(PAlloc((meshCount + 1) * int(sizeof(char*))));
    if (!m || !n) {
        PFree(m);
        PFree(n);
        return -1;
    }
    for (int i = 0; i < meshCount; i++) {
        m[i] = meshes[i];
        n[i] = meshNames[i];
    }
    m[meshCount] = mesh;
    n[meshCount] = name;
    PFree(meshes);
    PFree(meshNames);
    meshes = m;
    meshNames = n;
    int index = meshCount++;
    // Culling goes on with the stored boxes and this mesh's own.
    if (meshBoxes)
        GrowMeshBoxes();
    return index;
}

int P3DGameEngine::AddMesh(const char* path, const char* name, const char* textureDir)
{
    if (!path || !*path)
        return -1;
    char* copy = CopyString(name);
    if (!copy)
        return -1;
    PMesh* mesh = P3DMeshLoad(path, textureManager, textureDir);
    int i = AddMesh(copy, mesh);
    if (i < 0) {
        PFree(copy);
        P3DMeshDelete(mesh);
    }
    return i;
}

int P3DGameEngine::GetMeshIndexByName(const char* name) const
{
    if (!name)
        return -1;
    for (int i = 0; i < meshCount; i++)
        if (meshNames[i] && PStrCmp(meshNames[i], name) == 0)
            return i;
    return -1;
}

void P3DGameEngine::DeallocMesh(int index)
{
    if (index < 0 || index >= meshCount)
        return;
    // The slot stays (empty): models of every scene keep their indices.
    P3DMeshDelete(meshes[index]);
    meshes[index] = nullptr;
    PFree(meshNames[index]);
    meshNames[index] = nullptr;
    if (index < meshBoxCount && meshBoxes) {
        PFree(meshBoxes[index]);
        meshBoxes[index] = nullptr;
    }
}

void P3DGameEngine::DeallocMesh(const char* name)
{
    DeallocMesh(GetMeshIndexByName(name));
}

void P3DGameEngine::DeallocAllMeshes()
{
    for (int i = 0; i < meshCount; i++) {
        P3DMeshDelete(meshes[i]);
        PFree(meshNames[i]);
    }
    PFree(meshes);
    PFree(meshNames);
    meshes = nullptr;
    meshNames = nullptr;
    meshCount = 0;
    FreeMeshBoxes();
}

void P3DGameEngine::FreeMeshBoxes()
{
    for (int i = 0; i < meshBoxCount; i++)
        PFree(meshBoxes[i]);
    PFree(meshBoxes);
    meshBoxes = nullptr;
    meshBoxCount = 0;
}

void P3DGameEngine::GenerateMeshBoxes()
{
    FreeMeshBoxes();
    if (!meshCount)
        return;
    meshBoxes = static_cast<PVector3**>(PAllocZ(meshCount * int(sizeof(PVector3*))));
    if (!meshBoxes)
        return;
    meshBoxCount = meshCount;
    for (int i = 0; i < meshCount; i++)
        meshBoxes[i] = MeshCorners(meshes[i]);
}

int P3DGameEngine::GrowMeshBoxes()
{
    if (meshBoxCount >= meshCount)
        return 1;
    PVector3** p = static_cast<PVector3**>(PAllocZ(meshCount * int(sizeof(PVector3*))));
    if (!p)
        return 0;
    for (int i = 0; i < meshBoxCount; i++)
        p[i] = meshBoxes[i];
    for (int i = meshBoxCount; i < meshCount; i++)
        p[i] = MeshCorners(meshes[i]);
    PFree(meshBoxes);
    meshBoxes = p;
    meshBoxCount = meshCount;
    return 1;
}

// Scenes.

int P3DGameEngine::GrowScenes()
{
    P3DAnim** p = static_cast<P3DAnim**>(PAlloc((sceneCount + 1) * int(sizeof(P3DAnim*))));
    if (!p)
        return 0;
    for (int i = 0; i < sceneCount; i++)
        p[i] = scenes[i];
    p[sceneCount] = nullptr;
    PFree(scenes);
    scenes = p;
    return 1;
}

int P3DGameEngine::AddSceneFromFile(const char* path, PString** textureDirs, unsigned char dirCount,
                                    const char* meshDir)
{
    if (!GrowScenes())
        return -1;
    P3DAnim* a = P3DAnim::Create();
    if (!a)
        return -1;
    scenes[sceneCount] = a;
    PMesh** loaded = nullptr;
    char** names = nullptr;
    int count = 0;
    if (!a->LoadFromFile(path, textureDirs, dirCount, meshDir, textureManager, loaded, names, &count)) {
        delete a;
        scenes[sceneCount] = nullptr;
        return -1;
    }
    bool* done = static_cast<bool*>(PAllocZ(a->modelCount ? a->modelCount : 1));
    for (int i = 0; i < count; i++) {
        int pool = GetMeshIndexByName(names[i]);
        if (pool < 0) {
            pool = AddMesh(names[i], loaded[i]);
            if (pool < 0) {
                PFree(names[i]);
                P3DMeshDelete(loaded[i]);
            }
        } else {
            // Loaded once and shared: this copy goes.
            PFree(names[i]);
            P3DMeshDelete(loaded[i]);
        }
        if (done)
            a->ChangeIndiciesInAllModels(i, pool, done);
    }
    PFree(done);
    PFree(names);
    PFree(loaded);
    return sceneCount++;
}

int P3DGameEngine::AddSceneFromFile(const char* path, const char* textureDir, const char* meshDir)
{
    PString dir(textureDir ? textureDir : "");
    PString* dirs[1] = {&dir};
    return AddSceneFromFile(path, dirs, 1, meshDir);
}

P3DAnim* P3DGameEngine::GetAnimationPtr(int index)
{
    return index >= 0 && index < sceneCount ? scenes[index] : nullptr;
}

void P3DGameEngine::RemoveScene(int index, bool freeMeshes)
{
    if (index < 0 || index >= sceneCount)
        return;
    P3DAnim* a = scenes[index];
    if (freeMeshes) {
        for (int m = 0; m < a->modelCount; m++) {
            int mesh = a->models[m]->meshIndex;
            if (mesh < 0 || mesh >= meshCount || !meshes[mesh])
                continue;
            bool shared = false;
            for (int s = 0; s < sceneCount && !shared; s++)
                if (s != index)
                    for (int k = 0; k < scenes[s]->modelCount && !shared; k++)
                        shared = scenes[s]->models[k]->meshIndex == mesh;
            if (!shared)
                DeallocMesh(mesh);
        }
    }
    // Nothing may keep pointing into the scene.
    for (int i = 0; i < unitCount; i++) {
        P3DSceneUnit* u = units[i];
        if (u->anim == a)
            u->anim = nullptr;
        if (u->plugged && u->pluggedNull && u->pluggedNull->anim == a) {
            u->plugged = 0;
            u->pluggedNull = nullptr;
        }
    }
    delete a;
    for (int i = index; i + 1 < sceneCount; i++)
        scenes[i] = scenes[i + 1];
    sceneCount--;
}

void P3DGameEngine::InitCollisionPrecalculation_allScenes()
{
    for (int i = 0; i < sceneCount; i++)
        scenes[i]->InitBoxCollPrecalculations();
}

// Units.

P3DSceneUnit* P3DGameEngine::AddSceneUnit(P3DAnim* scene, int x, int y, int z, int a, int b, int c)
{
    P3DSceneUnit* u = new P3DSceneUnit(scene);
    if (!u)
        return nullptr;
    u->SetPosition(x, y, z, a, b, c);
    if (!Append(units, unitCount, u)) {
        delete u;
        return nullptr;
    }
    return u;
}

P3DSceneUnit* P3DGameEngine::AddSceneUnit(int sceneIndex, int x, int y, int z, int a, int b, int c)
{
    P3DAnim* s = GetAnimationPtr(sceneIndex);
    return s ? AddSceneUnit(s, x, y, z, a, b, c) : nullptr;
}

// A unit about to go: it leaves its null, and no null keeps it as the unit
// that last refreshed it.
void P3DGameEngine::ForgetUnit(P3DSceneUnit* u)
{
    if (u->plugged && u->pluggedNull)
        u->pluggedNull->UnplugScene();
    for (int s = 0; s < sceneCount; s++)
        for (int i = 0; i < scenes[s]->nullCount; i++) {
            P3DNullPoint* n = scenes[s]->nulls[i];
            if (n->refreshedBy == u)
                n->refreshedBy = nullptr;
            if (n->unit == u)
                n->UnplugScene();
        }
}

void P3DGameEngine::RemoveSceneUnit(P3DSceneUnit*& unit)
{
    for (int i = 0; i < unitCount; i++) {
        if (units[i] != unit)
            continue;
        ForgetUnit(unit);
        delete unit;
        for (int k = i; k + 1 < unitCount; k++)
            units[k] = units[k + 1];
        unitCount--;
        break;
    }
    unit = nullptr;
}

void P3DGameEngine::RemoveAllSceneUnits()
{
    for (int i = 0; i < unitCount; i++)
        ForgetUnit(units[i]);
    for (int i = 0; i < unitCount; i++)
        delete units[i];
    PFree(units);
    units = nullptr;
    unitCount = 0;
}

void P3DGameEngine::PauseAllUnits()
{
    for (int i = 0; i < unitCount; i++)
        units[i]->Pause();
}

void P3DGameEngine::ResumeAllUnits()
{
    for (int i = 0; i < unitCount; i++)
        units[i]->Play();
}

// Drawing.

void P3DGameEngine::InitBlendedModelsSorting()
{
    int total = 0;
    for (int i = 0; i < unitCount; i++) {
        units[i]->InitBlendedModelQueue();
        total += units[i]->blendCapacity;
    }
    PFree(m_entryUnit);
    PFree(m_entrySlot);
    PFree(m_order);
    PFree(m_orderTmp);
    m_entryUnit = static_cast<int32_t*>(PAlloc((total ? total : 1) * 4));
    m_entrySlot = static_cast<int32_t*>(PAlloc((total ? total : 1) * 4));
    m_order = static_cast<int32_t*>(PAlloc((total ? total : 1) * 4));
    m_orderTmp = static_cast<int32_t*>(PAlloc((total ? total : 1) * 4));
    m_orderCapacity = m_entryUnit && m_entrySlot && m_order && m_orderTmp ? total : 0;
}

void P3DGameEngine::CalculateCameraFrustum(GLES* gl)
{
    P3DUtils::PGetFrustumPlanes(planes, gl);
    planes[0].Normalize();
    // The camera plane: the eye-space depth of a point, -(row 2 of the
    // model-view matrix), made unit length.
    int32_t mv[16];
    gl->glGetFixedv(GL_MODELVIEW_MATRIX, mv);
    cameraPlane.a = int32_t(0u - uint32_t(mv[2]));
    cameraPlane.b = int32_t(0u - uint32_t(mv[6]));
    cameraPlane.c = int32_t(0u - uint32_t(mv[10]));
    cameraPlane.d = int32_t(0u - uint32_t(mv[14]));
    cameraPlane.Normalize();
}

void P3DGameEngine::RenderAllScenes(GLES* gl)
{
    // Meshes added since the boxes were made get theirs; without boxes
    // (memory exhausted) each model's box comes from its mesh.
    if (meshBoxCount != meshCount)
        GrowMeshBoxes();
    PVector3** boxes = meshBoxCount == meshCount ? meshBoxes : nullptr;
    for (int i = 0; i < unitCount; i++)
        units[i]->ResetBlendedModels();
    for (int i = 0; i < unitCount; i++) {
        P3DAnim* a = units[i]->anim;
        if (a && a->skyboxFlag)
            a->RenderSkyboxes(gl, meshes, meshCount, aspect);
    }
    gl->glEnable(GL_LIGHTING);
    gl->GetBackend()->glShadeModel(GL_SMOOTH);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const int32_t light[4] = {kOne, kOne, kOne, 0};
    gl->glLightxv(GL_LIGHT0, GL_POSITION, light);
    for (int i = 0; i < unitCount; i++) {
        P3DSceneUnit* u = units[i];
        if (!u->enabled)
            continue;
        if (u->clearDepth)
            gl->glClear(GL_DEPTH_BUFFER_BIT);
        P3DAnim* a = u->anim;
        if (!a)
            continue;
        gl->glPushMatrix();
        a->useCamera = u->cameraViewport;
        if (!u->cameraViewport)
            u->Translate(gl);
        if (a->clipByFrustum)
            CalculateCameraFrustum(gl);
        // The unit is animated inside, once this frame's visible areas are
        // known.
        a->RenderScene(gl, aspect, meshes, meshCount, scenes, planes, boxes, u, 0, true);
        if (a->useCamera && a->cameraPresent)
            cameraFov = a->currentFov;
        a->RenderGackgroundModels(gl, meshes, meshCount, u);
        gl->glPopMatrix();
    }
    gl->glDisable(GL_LIGHTING);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gl->glPushMatrix();
    gl->glEnable(GL_BLEND);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glDisable(GL_CULL_FACE);
    DrawBlendedBackToFront(gl);
    gl->glDisable(GL_BLEND);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glEnable(GL_CULL_FACE);
    gl->glPopMatrix();
}

// The queued blended models of every unit, farthest first (by the eye-space
// depth of each model's origin; equal depths keep the queue order), so that
// transparent models cover what lies behind them.
void P3DGameEngine::DrawBlendedBackToFront(GLES* gl)
{
    int n = 0;
    for (int i = 0; i < unitCount; i++)
        n += units[i]->blendCount;
    if (n > m_orderCapacity) {
        // Units added since the queues were sized: queue order, unit by unit.
        for (int i = 0; i < unitCount; i++)
            units[i]->RenderBlendedModels(gl, meshes, meshCount);
        return;
    }
    int k = 0;
    for (int i = 0; i < unitCount; i++)
        for (int q = 0; q < units[i]->blendCount; q++) {
            m_entryUnit[k] = i;
            m_entrySlot[k] = q;
            m_order[k] = k;
            k++;
        }
    auto depth = [&](int e) { return units[m_entryUnit[e]]->blendMatrices[16 * m_entrySlot[e] + 14]; };
    // Bottom-up merge sort: stable, no allocation.
    for (int width = 1; width < n; width *= 2) {
        for (int lo = 0; lo < n; lo += 2 * width) {
            int mid = lo + width < n ? lo + width : n, hi = lo + 2 * width < n ? lo + 2 * width : n;
            int a = lo, b = mid, o = lo;
            while (a < mid && b < hi)
                m_orderTmp[o++] = depth(m_order[b]) < depth(m_order[a]) ? m_order[b++] : m_order[a++];
            while (a < mid)
                m_orderTmp[o++] = m_order[a++];
            while (b < hi)
                m_orderTmp[o++] = m_order[b++];
        }
        int32_t* t = m_order;
        m_order = m_orderTmp;
        m_orderTmp = t;
    }
    for (int i = 0; i < n; i++) {
        int e = m_order[i];
        P3DSceneUnit* u = units[m_entryUnit[e]];
        int q = m_entrySlot[e];
        P3DAnim::RenderBlendedModels(gl, u->blendModels + q, 1, meshes, meshCount, u->blendMatrices + 16 * q,
                                     u->blendAlphas + q);
    }
}

// Queries.

void P3DGameEngine::GetModelGlobalPosition(P3DModel* model, int* x, int* y, int* z)
{
    if (!model)
        return;
    *x = model->PosX();
    *y = model->PosY();
    *z = model->PosZ();
}

int P3DGameEngine::GetModelsPtrByName(P3DAnim* scene, const char* meshName, P3DModel**& out)
{
    out = nullptr;
    if (!scene)
        return -1;
    int mesh = GetMeshIndexByName(meshName);
    if (mesh < 0)
        return 0;
    return scene->GetModelsPtrByModelIndex(mesh, out);
}

int P3DGameEngine::GetModelsPtrByNameInTrigger(P3DTrigger* trigger, P3DAnim* scene, const char* meshName,
                                               P3DModel**& out)
{
    int mesh = GetMeshIndexByName(meshName);
    if (mesh < 0 || !scene)
        return 0;
    return scene->GetModelsPtrByModelIndexInTrigger(trigger, mesh, out);
}

int P3DGameEngine::GetAllModelsThatUseMesh(const char* meshName, int sceneIndex, int*& out)
{
    int mesh = GetMeshIndexByName(meshName);
    P3DAnim* a = GetAnimationPtr(sceneIndex);
    if (mesh < 0 || !a || a->modelCount == 0)
        return -1;
    int n = 0;
    for (int i = 0; i < a->modelCount; i++)
        n += a->models[i]->meshIndex == mesh;
    out = static_cast<int*>(PAlloc((n ? n : 1) * 4));
    if (!out)
        return -1;
    int k = 0;
    for (int i = 0; i < a->modelCount; i++)
        if (a->models[i]->meshIndex == mesh)
            out[k++] = i;
    return n;
}

int P3DGameEngine::IsPointBelongsToBoxColl(int x, int y, int z, int modelIndex, int sceneIndex)
{
    P3DAnim* a = GetAnimationPtr(sceneIndex);
    if (!a || modelIndex < 0 || modelIndex >= a->modelCount)
        return 0;
    const P3DModel* m = a->models[modelIndex];
    return m->IsBoxColl() && InBox(m, x, y, z);
}

P3DModel* P3DGameEngine::IsPointBelongsToBoxColl_SeekOneScene(int x, int y, int z, int sceneIndex, bool)
{
    P3DAnim* a = GetAnimationPtr(sceneIndex);
    if (!a)
        return nullptr;
    for (int i = 0; i < a->boxCollCount; i++) {
        int k = a->boxColl[i];
        if (k >= 0 && k < a->modelCount && InBox(a->models[k], x, y, z))
            return a->models[k];
    }
    return nullptr;
}

P3DModel* P3DGameEngine::IsPointBelongsToBoxColl_SeekAllScenes(int x, int y, int z, bool flag)
{
    for (int s = 0; s < sceneCount; s++)
        if (P3DModel* m = IsPointBelongsToBoxColl_SeekOneScene(x, y, z, s, flag))
            return m;
    return nullptr;
}

int P3DGameEngine::CheckColl_Point_Box(P3DModel* box, int px, int py, int pz, int, int, int)
{
    if (!box)
        return 0;
    if (box->RotX() || box->RotY() || box->RotZ()) {
        // The point in the box's own axes, measured from its position.
        P3DPlacement turn = box->Placement();
        turn.t[0] = turn.t[1] = turn.t[2] = 0;
        int64_t dx = int64_t(px) - box->PosX(), dy = int64_t(py) - box->PosY(), dz = int64_t(pz) - box->PosZ();
        if (dx < INT32_MIN || dx > INT32_MAX || dy < INT32_MIN || dy > INT32_MAX || dz < INT32_MIN ||
            dz > INT32_MAX)
            return 0;
        int qx = int(dx), qy = int(dy), qz = int(dz);
        turn.Untransform(&qx, &qy, &qz);
        return Within(qx, 0, box->size[0].value) && Within(qy, 0, box->size[1].value) &&
               Within(qz, 0, box->size[2].value);
    }
    return InBox(box, px, py, pz);
}

void P3DGameEngine::TranslateToGlobal(int& x, int& y, int& z, P3DNullPoint* null)
{
    if (!null)
        return;
    int nx, ny, nz;
    null->GetPosition(&nx, &ny, &nz);
    x = int32_t(uint32_t(x) + uint32_t(nx));
    y = int32_t(uint32_t(y) + uint32_t(ny));
    z = int32_t(uint32_t(z) + uint32_t(nz));
    if (null->refreshedBy)
        SceneToWorld(x, y, z, null->refreshedBy, 0);
}

void P3DGameEngine::SceneToWorld(int& x, int& y, int& z, P3DSceneUnit* unit)
{
    SceneToWorld(x, y, z, unit, 0);
}

void P3DGameEngine::WorldToScene(int& x, int& y, int& z, P3DSceneUnit* unit)
{
    WorldToScene(x, y, z, unit, 0);
}

// A unit plugged into a null is drawn in that null's frame, which the scene
// of the unit that last refreshed the null holds; followed outwards at most
// as deep as scenes are drawn. A unit that shows its scene's own camera is
// not placed.
void P3DGameEngine::SceneToWorld(int& x, int& y, int& z, P3DSceneUnit* u, int depth)
{
    if (!u)
        return;
    if (u->plugged && u->pluggedNull) {
        if (depth >= P3DAnim::kMaxPlugDepth)
            return;
        const P3DNullPoint* n = u->pluggedNull;
        n->ScenePlacement().Transform(&x, &y, &z);
        NullFrameToScene(n, x, y, z);
        SceneToWorld(x, y, z, n->refreshedBy, depth + 1);
    } else if (!u->cameraViewport) {
        u->Placement().Transform(&x, &y, &z);
    }
}

void P3DGameEngine::WorldToScene(int& x, int& y, int& z, P3DSceneUnit* u, int depth)
{
    if (!u)
        return;
    if (u->plugged && u->pluggedNull) {
        if (depth >= P3DAnim::kMaxPlugDepth)
            return;
        const P3DNullPoint* n = u->pluggedNull;
        WorldToScene(x, y, z, n->refreshedBy, depth + 1);
        SceneToNullFrame(n, x, y, z);
        n->ScenePlacement().Untransform(&x, &y, &z);
    } else if (!u->cameraViewport) {
        u->Placement().Untransform(&x, &y, &z);
    }
}

P3DModel* P3DGameEngine::CheckCollision(P3DNullPoint* null, P3DSceneUnit* unit)
{
    if (!null || !unit || !unit->anim)
        return nullptr;
    int px = 0, py = 0, pz = 0;
    TranslateToGlobal(px, py, pz, null);
    WorldToScene(px, py, pz, unit);
    P3DAnim* a = unit->anim;
    for (int i = 0; i < a->boxCollCount; i++) {
        int k = a->boxColl[i];
        if (k >= 0 && k < a->modelCount && CheckColl_Point_Box(a->models[k], px, py, pz, 0, 0, 0))
            return a->models[k];
    }
    return nullptr;
}

P3DModel* P3DGameEngine::IsPointBelongsToBoxColl_SeekUnit(int x, int y, int z, P3DSceneUnit* unit)
{
    if (!unit || !unit->anim)
        return nullptr;
    P3DAnim* a = unit->anim;
    if (!a->areasPresent) {
        for (int i = 0; i < a->boxCollCount; i++) {
            int k = a->boxColl[i];
            if (k >= 0 && k < a->modelCount && InBox(a->models[k], x, y, z))
                return a->models[k];
        }
        return nullptr;
    }
    P3DClip* area = a->currentArea;
    if (!area)
        return nullptr;
    for (int i = 0; i < area->count; i++) {
        int k = area->models[i];
        if (k >= a->modelCount)
            continue;
        P3DModel* m = a->models[k];
        if (m->IsBoxColl() && m->visible && CheckColl_Point_Box(m, x, y, z, 0, 0, 0))
            return m;
    }
    return nullptr;
}
