#include "game/scene/p3dsceneunit.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "game/scene/p3danim.h"
#include "gl/gles.h"

#include <GLES/gl.h>

P3DSceneUnit::P3DSceneUnit()
{
    Initialize(nullptr);
}

P3DSceneUnit::P3DSceneUnit(P3DAnim* a)
{
    Initialize(a);
}

P3DSceneUnit::~P3DSceneUnit()
{
    anim = nullptr;
    pluggedNull = nullptr;
    RemoveAllFreeChannels();
    FreeBlendQueue();
}

void P3DSceneUnit::Initialize(P3DAnim* a)
{
    posX = posY = posZ = 0;
    rotA = rotB = rotC = 0;
    anim = a;
    if (a) {
        direction = a->direction;
        fps = a->fps;
        frame = a->currentFrame;
        paused = a->paused;
        hold = a->hold;
        lastTick = a->Now();
        cameraViewport = a->useCamera;
    }
    freeChannels = nullptr;
    freeChannelCount = 0;
    freeChannelCapacity = 0;
    blendModels = nullptr;
    blendMatrices = nullptr;
    blendAlphas = nullptr;
    blendCount = blendCapacity = 0;
    cullOnNull = 1;
    enabled = 1;
    clearDepth = 0;
    plugged = 0;
    pluggedNull = nullptr;
    for (auto& v : box)
        v = -1;
}

void P3DSceneUnit::SetPosition(int x, int y, int z, int a, int b, int c)
{
    posX = x, posY = y, posZ = z;
    SetRotation(a, b, c);
}

void P3DSceneUnit::SetRotation(int a, int b, int c)
{
    rotA = a, rotB = b, rotC = c;
}

P3DPlacement P3DSceneUnit::Placement() const
{
    P3DPlacement p;
    p.t[0] = posX, p.t[1] = posY, p.t[2] = posZ;
    p.angle[0] = rotA, p.angle[1] = rotC, p.angle[2] = rotB;
    p.axis[0] = P3DPlacement::kAxisY, p.axis[1] = P3DPlacement::kAxisX, p.axis[2] = P3DPlacement::kAxisZ;
    return p;
}

void P3DSceneUnit::Translate(GLES* gl)
{
    Placement().Apply(gl);
}

void P3DSceneUnit::ResetFPS()
{
    if (anim)
        fps = anim->fileFPS;
}

void P3DSceneUnit::SetCurrentFrame(int f)
{
    frame = f;
    if (anim)
        anim->currentFrame = f;
}

int P3DSceneUnit::SetLoop(unsigned start, unsigned end)
{
    if (end <= start)
        return 0;
    loopStart = int32_t(start);
    loopEnd = int32_t(end);
    frame = int32_t(start);
    if (anim) {
        lastTick = anim->Now();
        anim->currentFrame = frame;
        anim->RefreshAllTransitionsAtFrame(start);
    }
    return 1;
}

void P3DSceneUnit::Play()
{
    paused = 0;
    if (anim)
        lastTick = anim->Now();
}

void P3DSceneUnit::Pause()
{
    paused = 1;
    if (anim)
        anim->RefreshAllTransitionsAtFrame(unsigned(frame));
}

void P3DSceneUnit::Reset()
{
    paused = 0;
    frame = loopStart;
    if (anim)
        lastTick = anim->Now();
}

void P3DSceneUnit::Refresh()
{
    if (!anim)
        return;
    anim->RefreshAllTransitionsAtFrame(unsigned(frame));
    for (int i = 0; i < anim->nullCount; i++)
        anim->nulls[i]->refreshedBy = this;
}

void P3DSceneUnit::Animate()
{
    if (!anim)
        return;
    uint32_t now = anim->Now();
    // A unit of 0 (or fewer) frames per second stands still.
    if (paused || fps <= 0) {
        lastTick = now;
        return;
    }
    uint32_t period = 1000u / uint32_t(fps);
    if (!period)
        return;
    uint32_t steps = (now - lastTick) / period;
    if (!steps)
        return;
    lastTick = now;
    int64_t f;
    if (direction) {
        f = int64_t(frame) + steps;
        if (f < loopEnd)
            frame = int32_t(f);
        else if (hold)
            frame = loopEnd;
        else
            frame = int32_t(int64_t(loopStart) + (f - loopEnd));
    } else {
        f = int64_t(frame) - steps;
        if (f > loopStart)
            frame = int32_t(f);
        else if (hold)
            frame = loopStart;
        else
            frame = int32_t(int64_t(loopEnd) - (loopStart - f));
    }
    anim->currentFrame = frame;
    anim->RefreshAllTransitionsAtFrame(unsigned(frame));
}

// Free channels.

int P3DSceneUnit::AddFreeChannel(P3DChannel* track, P3DModel* model)
{
    if (!track)
        return -1;
    P3DFreeChannel* fc = new P3DFreeChannel();
    if (!fc)
        return -1;
    if (freeChannelCount == freeChannelCapacity) {
        int cap = freeChannelCapacity + 1;
        auto* p = static_cast<P3DFreeChannel**>(PAlloc(cap * int(sizeof(P3DFreeChannel*))));
        if (!p) {
            delete fc;
            return -1;
        }
        for (int i = 0; i < freeChannelCount; i++)
            p[i] = freeChannels[i];
        PFree(freeChannels);
        freeChannels = p;
        freeChannelCapacity = cap;
    }
    fc->value = track->value;
    fc->track = track;
    fc->model = model;
    if (model) {
        fc->alpha = model->dissolveAlpha;
        fc->dissolve = model->IsDissolve();
    }
    track->blocked = 1;
    freeChannels[freeChannelCount] = fc;
    return freeChannelCount++;
}

P3DFreeChannel* P3DSceneUnit::GetFreeChannelPtr(int i)
{
    return i >= 0 && i < freeChannelCount ? freeChannels[i] : nullptr;
}

void P3DSceneUnit::RefreshFreeTransitionsToModels()
{
    for (int i = 0; i < freeChannelCount; i++) {
        P3DFreeChannel* fc = freeChannels[i];
        fc->track->value = fc->value;
        if (!fc->model)
            continue;
        if (fc->dissolve)
            fc->model->AddFlag(kModelDissolve);
        else
            fc->model->RemoveFlag(kModelDissolve);
        fc->model->dissolveAlpha = fc->alpha;
        fc->model->hidden = fc->hidden;
    }
}

void P3DSceneUnit::RemoveFreeChannel(int i)
{
    if (i < 0 || i >= freeChannelCount)
        return;
    delete freeChannels[i];
    for (int k = i; k + 1 < freeChannelCount; k++)
        freeChannels[k] = freeChannels[k + 1];
    freeChannelCount--;
}

void P3DSceneUnit::RemoveAllFreeChannels()
{
    for (int i = 0; i < freeChannelCount; i++)
        delete freeChannels[i];
    PFree(freeChannels);
    freeChannels = nullptr;
    freeChannelCount = 0;
    freeChannelCapacity = 0;
}

int P3DSceneUnit::BoxUnknown() const
{
    for (int v : box)
        if (v == -1)
            return 1;
    return 0;
}

void P3DSceneUnit::FreeBlendQueue()
{
    PFree(blendModels);
    PFree(blendMatrices);
    PFree(blendAlphas);
    blendModels = nullptr;
    blendMatrices = nullptr;
    blendAlphas = nullptr;
    blendCount = blendCapacity = 0;
}

// Blended-model queue.

void P3DSceneUnit::AddBlendTotalCounter(P3DAnim* a, int& total, int depth)
{
    if (!a || depth > P3DAnim::kMaxPlugDepth)
        return;
    // Capped: the queue of one unit never needs more than every model of
    // every scene it can reach, and the capacity must stay allocatable.
    total = total > (1 << 20) - a->blendedCount ? 1 << 20 : total + a->blendedCount;
    for (int i = 0; i < a->nullCount; i++) {
        P3DNullPoint* n = a->nulls[i];
        if (n->scenePlugged && n->unit && n->unit->anim)
            AddBlendTotalCounter(n->unit->anim, total, depth + 1);
    }
}

void P3DSceneUnit::InitBlendedModelQueue()
{
    FreeBlendQueue();
    if (!anim)
        return;
    int total = 0;
    AddBlendTotalCounter(anim, total);
    int cap = total + 32;
    blendModels = static_cast<P3DModel**>(PAlloc(cap * int(sizeof(P3DModel*))));
    blendMatrices = static_cast<int32_t*>(PAlloc(cap * 16 * 4));
    blendAlphas = static_cast<int32_t*>(PAlloc(cap * 4));
    if (!blendModels || !blendMatrices || !blendAlphas) {
        _PDebug("P3DSceneUnit: no memory for a queue of %d blended models\n", cap);
        FreeBlendQueue();
        return;
    }
    blendCapacity = cap;
}

void P3DSceneUnit::AddBlendedModel(P3DModel* model, GLES* gl, int alpha)
{
    if (!blendModels || blendCount >= blendCapacity)
        return;
    gl->glGetFixedv(GL_MODELVIEW_MATRIX, blendMatrices + 16 * blendCount);
    blendAlphas[blendCount] = alpha;
    blendModels[blendCount] = model;
    blendCount++;
}

void P3DSceneUnit::RenderBlendedModels(GLES* gl, PMesh** meshes, int meshCount)
{
    if (anim && blendCount)
        anim->RenderBlendedModels(gl, blendModels, blendCount, meshes, meshCount, blendMatrices, blendAlphas);
}

void P3DSceneUnit::ReleaseBlendMatrixies()
{
    PFree(blendMatrices);
    blendMatrices = nullptr;
    PFree(blendModels);
    blendModels = nullptr;
    PFree(blendAlphas);
    blendAlphas = nullptr;
    blendCount = blendCapacity = 0;
}
