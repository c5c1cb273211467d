// Drawing a scene: sky boxes, the scene's camera, models culled by areas and
// the frustum with levels of detail, null points with their plugged meshes
// and scenes, and the queued blended models.
#include <GLES/gl.h>

#include "engine/runtime/pdebug.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "gl/gles.h"

namespace {

constexpr int32_t kOne = 0x10000;
// Matrices a nested scene needs on the model-view stack: its own, its
// camera's and one per model or null.
constexpr int kStackPerScene = 4;

PMesh* PoolMesh(PMesh** meshes, int meshCount, int index)
{
    return meshes && index >= 0 && index < meshCount ? meshes[index] : nullptr;
}

void ApplyModel(GLES* gl, const P3DModel* m)
{
    m->Placement().Apply(gl);
}

void Hint(GLES* gl, uint32_t mode)
{
    gl->GetBackend()->glHint(GL_PERSPECTIVE_CORRECTION_HINT, mode);
}

int32_t Saturate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// The corners of a box {min x, y, z, max x, y, z} placed as the drawing
// places what it bounds.
void PlaceBox(const int32_t* b, const P3DPlacement& placement, PVector3* corners)
{
    PAABB3 box;
    box.min = PVector3(b[0], b[1], b[2]);
    box.max = PVector3(b[3], b[4], b[5]);
    P3DUtils::BBox2Vectors(box, corners);
    for (int i = 0; i < 8; i++) {
        int cx = corners[i].x, cy = corners[i].y, cz = corners[i].z;
        placement.Transform(&cx, &cy, &cz);
        corners[i] = PVector3(cx, cy, cz);
    }
}

// Room left on the model-view stack.
int StackRoom(GLES* gl)
{
    int32_t depth = 0, max = 0;
    gl->glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    gl->glGetIntegerv(GL_MAX_MODELVIEW_STACK_DEPTH, &max);
    return max - depth;
}

} // namespace

void P3DNullPoint::Render(GLES* gl, int, PMesh**, int hint)
{
    if (!meshPlugged || !mesh)
        return;
    Hint(gl, uint32_t(hint));
    MeshPlacement().Apply(gl);
    P3DMeshRender(mesh, gl);
}

void P3DAnim::RenderSkyboxes(GLES* gl, PMesh** meshes, int meshCount, int aspect)
{
    gl->glPushMatrix();
    int32_t savedFar = farClip;
    farClip = Saturate(int64_t(farClip) * 8);
    SetFOV(gl, aspect, currentFov);
    // The sky box turns with the view but never moves.
    int32_t m[16];
    if (useCamera && cameraPresent) {
        for (int i = 0; i < 16; i++)
            m[i] = cameraView[i];
    } else {
        gl->glGetFixedv(GL_MODELVIEW_MATRIX, m);
    }
    m[12] = m[13] = m[14] = 0;
    gl->glLoadMatrixx(m);
    gl->glTranslatex(0, -7 * kOne, 0);
    gl->glScalex(kOne, kOne + kOne / 4, kOne);
    Hint(gl, GL_NICEST);
    gl->glEnable(GL_DITHER);
    for (int i = 0; i < skyboxCount; i++) {
        int k = skyboxModels[i];
        if (k < 0 || k >= modelCount)
            continue;
        const P3DModel* model = models[k];
        gl->glPushMatrix();
        if (PMesh* mesh = PoolMesh(meshes, meshCount, model->meshIndex)) {
            gl->glTranslatex(0, model->PosY(), 0);
            gl->glRotatex(model->RotY(), 0, kOne, 0);
            gl->glRotatex(model->RotX(), kOne, 0, 0);
            gl->glRotatex(model->RotZ(), 0, 0, kOne);
            gl->glScalex(2 * kOne, 2 * kOne, 2 * kOne);
            P3DMeshRender(mesh, gl);
        }
        gl->glPopMatrix();
    }
    farClip = savedFar;
    SetFOV(gl, aspect, currentFov);
    gl->glClear(GL_DEPTH_BUFFER_BIT);
    gl->glDisable(GL_DITHER);
    gl->glPopMatrix();
}

void P3DAnim::RenderScene(GLES* gl, int aspect, PMesh** meshes, int meshCount, P3DAnim** scenes, PPlane3* planes,
                          PVector3** meshBoxes, P3DSceneUnit*& unit, int depth, bool animate)
{
    renderPlanes = planes;
    renderMeshBoxes = meshBoxes;
    gl->glPushMatrix();

    bool ownCamera = useCamera && cameraPresent;
    if (ownCamera) {
        if (cameraFreeDrawing) {
            if (fovConstant)
                SetFOV(gl, aspect, constFov);
        } else {
            AnimateCamera();
            if (useFovEnvelope) {
                if (fovConstant) {
                    SetFOV(gl, aspect, constFov);
                } else {
                    P3DChannel& fov = camera.tracks[P3DCamera::kTrackFov];
                    fov.FindAB(unsigned(cameraFrame));
                    SetFOV(gl, aspect, fov.value);
                }
            }
        }
        // The inverse of the camera's placement, then a half turn about Y.
        gl->glLoadIdentity();
        gl->glRotatex(-180 * kOne, 0, kOne, 0);
        gl->glRotatex(-camera.tracks[kTrackRotZ].value, 0, 0, kOne);
        gl->glRotatex(-camera.tracks[kTrackRotX].value, kOne, 0, 0);
        gl->glRotatex(-camera.tracks[kTrackRotY].value, 0, kOne, 0);
        gl->glTranslatex(-camera.tracks[kTrackPosX].value, -camera.tracks[kTrackPosY].value,
                         -camera.tracks[kTrackPosZ].value);
        if (planes) {
            P3DUtils::PGetFrustumPlanes(planes, gl);
            planes[0].Normalize();
        }
        gl->glGetFixedv(GL_MODELVIEW_MATRIX, cameraView);
        gl->glPushMatrix();
    }

    // This frame's visible areas first: the unit animates the models in
    // them, so that a model whose area has just come into view is drawn in
    // its pose of this frame.
    const bool byAreaList = !(modelClipByArea && areasPresent) && frustumByAreas;
    if (byAreaList && planes)
        RefreshAreasInFrustumList(planes);
    if (animate && unit) {
        unit->Animate();
        if (depth > 0)
            unit->RefreshFreeTransitionsToModels();
    }

    gl->glPushMatrix();
    if (modelClipByArea && areasPresent) {
        if (currentArea)
            RenderArea(gl, currentArea, meshes, meshCount, unit);
    } else if (byAreaList) {
        for (int i = 0; i < areasInFrustumCount; i++)
            if (areasInFrustum[i] < areaCount)
                RenderArea(gl, areas[areasInFrustum[i]], meshes, meshCount, unit);
    } else {
        // Background models are drawn once, by RenderGackgroundModels.
        for (int i = 0; i < modelCount; i++)
            if (!models[i]->IsBgModel())
                RenderModel(gl, models[i], meshes, meshCount, unit);
    }
    gl->glPopMatrix();

    for (int i = 0; i < nullCount; i++) {
        P3DNullPoint* n = nulls[i];
        n->RefreshTransition(unsigned(currentFrame));
        bool scene = n->scenePlugged && n->unit;
        bool mesh = n->meshPlugged && n->mesh;
        if (!scene && !mesh)
            continue;
        gl->glPopMatrix();
        gl->glPushMatrix();
        // The null's frame: the model it rides on, inside that model's
        // parent chain. The planes are carried into that frame, so that the
        // null and what is plugged into it are tested where they are drawn.
        PPlane3 frame[6];
        const PPlane3* framePlanes = planes;
        if (const P3DModel* m = n->DrawnOnModel()) {
            if (planes)
                for (int k = 0; k < 6; k++)
                    frame[k] = planes[k];
            for (int k = m->chainLength - 1; k >= 0; k--) {
                const P3DModel* p = models[m->chain[k]];
                ApplyModel(gl, p);
                if (planes)
                    p->Placement().PlanesInside(frame, frame, 6);
            }
            ApplyModel(gl, m);
            if (planes) {
                m->Placement().PlanesInside(frame, frame, 6);
                framePlanes = frame;
            }
        }
        PVector3 pos(n->tracks[kTrackPosX].value, n->tracks[kTrackPosY].value, n->tracks[kTrackPosZ].value);
        if (scene) {
            P3DSceneUnit* plugged = n->unit;
            P3DAnim* child = plugged->anim;
            if (!child)
                continue;
            if (depth >= kMaxPlugDepth || StackRoom(gl) < kStackPerScene) {
                static bool logged = false;
                if (!logged)
                    _PDebug("P3DAnim: scenes plugged too deep; the deeper ones are not drawn\n");
                logged = true;
                continue;
            }
            const P3DPlacement place = n->ScenePlacement();
            if (plugged->cullOnNull && framePlanes) {
                int visible;
                if (plugged->BoxUnknown()) {
                    visible = P3DUtils::IsPointInFrustum(&pos, framePlanes, 6);
                } else {
                    PVector3 corners[8];
                    PlaceBox(plugged->box, place, corners);
                    visible = P3DUtils::PBoxInFrustum(corners, framePlanes, 6);
                }
                if (!visible)
                    continue;
            }
            if (plugged->clearDepth)
                gl->glClear(GL_DEPTH_BUFFER_BIT);
            uint8_t savedCamera = child->useCamera;
            PPlane3* savedPlanes = child->renderPlanes;
            PVector3** savedBoxes = child->renderMeshBoxes;
            child->useCamera = 0;
            place.Apply(gl);
            // The plugged scene is culled in its own space.
            PPlane3 inner[6];
            PPlane3* innerPlanes = nullptr;
            if (framePlanes) {
                place.PlanesInside(framePlanes, inner, 6);
                innerPlanes = inner;
            }
            // A disabled unit is animated here; an enabled one is animated
            // where it is drawn as a unit of its own.
            child->RenderScene(gl, aspect, meshes, meshCount, scenes, innerPlanes, meshBoxes, plugged, depth + 1,
                               !plugged->enabled);
            child->useCamera = savedCamera;
            child->renderPlanes = savedPlanes;
            child->renderMeshBoxes = savedBoxes;
        } else {
            int hint = GL_FASTEST;
            int visible = 1;
            if (framePlanes) {
                if (n->MeshBoxUnknown()) {
                    visible = P3DUtils::IsPointInFrustum(&pos, framePlanes, 6);
                } else {
                    PVector3 corners[8];
                    PlaceBox(n->meshBox, n->MeshPlacement(), corners);
                    visible = P3DUtils::PBoxInFrustum(corners, framePlanes, 6);
                    hint = GL_NICEST;
                }
            }
            if (visible)
                n->Render(gl, aspect, meshes, hint);
        }
    }

    if (ownCamera)
        gl->glPopMatrix();
    gl->glPopMatrix();
    drawStamp++;
}

void P3DAnim::RenderModel(GLES* gl, P3DModel* model, PMesh** meshes, int meshCount, P3DSceneUnit*& unit)
{
    if (!model || model->hidden || model->drawStamp >= drawStamp || model->IsBoxColl() || model->IsSkyboxModel())
        return;
    model->drawStamp = drawStamp;
    PMesh* mesh = PoolMesh(meshes, meshCount, model->meshIndex);
    if (!mesh)
        return;
    PVector3* boxes = renderMeshBoxes ? renderMeshBoxes[model->meshIndex] : nullptr;
    // A mesh without a stored box gets its box here.
    PVector3 own[8];
    if (!boxes) {
        int32_t b[6];
        if (P3DMeshBox(mesh, b)) {
            PAABB3 box;
            box.min = PVector3(b[0], b[1], b[2]);
            box.max = PVector3(b[3], b[4], b[5]);
            P3DUtils::BBox2Vectors(box, own);
            boxes = own;
        }
    }
    int64_t depth = 0;
    int64_t threshold = 30 * int64_t(kOne);
    if (clipByFrustum && renderPlanes) {
        if (lods && lods->inUse && !model->IsBgModel()) {
            PMesh* lodMesh = nullptr;
            int d = 0, level = 0;
            if (lods->GetMeshByLods(model->meshIndex, &renderPlanes[0], model->PosX(), model->PosY(), model->PosZ(),
                                    lodMesh, d, level)) {
                if (!lodMesh)
                    return;
                mesh = lodMesh;
            }
            depth = d;
        }
        model->RefreshBox(boxes);
        if (!P3DUtils::PBoxInFrustum(model->box, renderPlanes, 6)) {
            model->visible = 0;
            return;
        }
        model->visible = 1;
        if (model->IsBgModel()) {
            threshold = 240 * int64_t(kOne);
            depth = P3DUtils::PlaneDistance(renderPlanes[0], model->PosX(), model->PosY(), model->PosZ());
        }
    } else if (unit && unit->plugged && unit->pluggedNull) {
        // A plugged scene's planes are in its own space (RenderScene).
        model->RefreshBox(boxes);
        if (renderPlanes)
            depth = P3DUtils::PlaneDistance(renderPlanes[0], model->PosX(), model->PosY(), model->PosZ());
    }

    gl->glPopMatrix();
    gl->glPushMatrix();
    for (int k = model->chainLength - 1; k >= 0; k--)
        ApplyModel(gl, models[model->chain[k]]);
    ApplyModel(gl, model);

    if (!model->IsBlended()) {
        Hint(gl, depth > threshold ? GL_FASTEST : GL_NICEST);
        gl->glDisable(GL_BLEND);
        P3DMeshRender(mesh, gl);
        return;
    }
    int alpha = kOne;
    if (model->IsDissolve())
        alpha = model->dissolveAlpha;
    else if (model->IsDissolveEnvelope())
        alpha = model->envelope.value;
    if (unit)
        unit->AddBlendedModel(model, gl, alpha);
}

void P3DAnim::RenderArea(GLES* gl, P3DClip* area, PMesh** meshes, int meshCount, P3DSceneUnit*& unit)
{
    if (!area)
        return;
    for (int i = 0; i < area->count; i++)
        if (area->models[i] < modelCount)
            RenderModel(gl, models[area->models[i]], meshes, meshCount, unit);
}

void P3DAnim::RenderGackgroundModels(GLES* gl, PMesh** meshes, int meshCount, P3DSceneUnit*& unit)
{
    for (int i = 0; i < bgModelCount; i++)
        RenderModel(gl, bgModels[i], meshes, meshCount, unit);
}

void P3DAnim::RenderBlendedModels(GLES* gl, P3DModel** queue, int count, PMesh** meshes, int meshCount,
                                  int32_t* matrices, int32_t* alphas)
{
    for (int i = 0; i < count; i++) {
        const P3DModel* m = queue[i];
        PMesh* mesh = m ? PoolMesh(meshes, meshCount, m->meshIndex) : nullptr;
        if (!mesh)
            continue;
        gl->glLoadMatrixx(matrices + 16 * i);
        Hint(gl, GL_FASTEST);
        if (m->IsAddtiveBlending() && !m->IsDissolve() && !m->IsDissolveEnvelope()) {
            gl->glBlendFunc(GL_ONE, GL_ONE);
            P3DMeshRender(mesh, gl);
        } else if (m->IsAlphaAddtiveBlending()) {
            gl->glColor4x(kOne, kOne, kOne, kOne / 2);
            gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            P3DMeshRender(mesh, gl);
            gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        } else if (m->IsTransparency()) {
            gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            gl->glColor4x(kOne, kOne, kOne, kOne);
            P3DMeshRender(mesh, gl);
        } else {
            int alpha = alphas[i];
            if (alpha == kOne) {
                P3DMeshRender(mesh, gl);
            } else if (alpha > 0) {
                gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                gl->glColor4x(kOne, kOne, kOne, alpha);
                gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
                P3DMeshRender(mesh, gl);
                gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            }
        }
    }
}
