#include "game/scene/p3dobjects.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"

namespace {

// A zero-terminated copy of length bytes of s; null when memory is
// exhausted.
char* CopyName(const char* s, int length)
{
    if (length < 0)
        length = 0;
    char* p = static_cast<char*>(PAlloc(length + 1));
    if (!p)
        return nullptr;
    for (int i = 0; i < length; i++)
        p[i] = s[i];
    p[length] = 0;
    return p;
}

} // namespace

// Models.

P3DModel* P3DModel::Create()
{
    return new P3DModel();
}

P3DModel::P3DModel()
{
    AddFlag(kModelNotAnimated);
}

P3DModel::~P3DModel()
{
    PFree(chain);
}

void P3DModel::AddFlag(uint32_t bits)
{
    if (!(flags & bits))
        flags |= bits;
}

void P3DModel::RemoveFlag(uint32_t bits)
{
    if (flags & bits)
        flags -= bits;
}

P3DPlacement P3DModel::Placement() const
{
    P3DPlacement p;
    p.t[0] = PosX(), p.t[1] = PosY(), p.t[2] = PosZ();
    p.angle[0] = RotY(), p.angle[1] = RotX(), p.angle[2] = RotZ();
    p.axis[0] = P3DPlacement::kAxisY, p.axis[1] = P3DPlacement::kAxisX, p.axis[2] = P3DPlacement::kAxisZ;
    return p;
}

void P3DModel::RefreshBox(const PVector3* meshCorners)
{
    if (!meshCorners)
        return;
    const P3DPlacement own = Placement();
    for (int i = 0; i < 8; i++) {
        int cx = meshCorners[i].x, cy = meshCorners[i].y, cz = meshCorners[i].z;
        own.Transform(&cx, &cy, &cz);
        if (anim)
            for (int k = 0; k < chainLength; k++)
                if (chain[k] >= 0 && chain[k] < anim->modelCount)
                    anim->models[chain[k]]->Placement().Transform(&cx, &cy, &cz);
        box[i] = PVector3(cx, cy, cz);
    }
}

// Null points.

P3DNullPoint* P3DNullPoint::Create(P3DAnim* a)
{
    return new P3DNullPoint(a);
}

P3DNullPoint::P3DNullPoint(P3DAnim* a) : anim(a) {}

P3DNullPoint::~P3DNullPoint()
{
    PFree(name);
}

int P3DNullPoint::SetName(const char* s, int length)
{
    if (length > 255)
        length = 255;
    char* p = CopyName(s, length);
    if (!p)
        return 0;
    PFree(name);
    name = p;
    nameLength = uint8_t(length < 0 ? 0 : length);
    return 1;
}

void P3DNullPoint::PlugModel(PMesh* m)
{
    if (!m)
        return;
    mesh = m;
    meshPlugged = 1;
}

void P3DNullPoint::UnplugModel()
{
    mesh = nullptr;
    meshPlugged = 0;
}

void P3DNullPoint::PlugScene(P3DSceneUnit* u)
{
    if (!u)
        return;
    UnplugModel();
    u->pluggedNull = this;
    u->plugged = 1;
    unit = u;
    scenePlugged = 1;
}

void P3DNullPoint::UnplugScene()
{
    if (!unit)
        return;
    unit->plugged = 0;
    unit->pluggedNull = nullptr;
    unit = nullptr;
    scenePlugged = 0;
}

void P3DNullPoint::RefreshTransition(unsigned int frame)
{
    if (freeDrawing)
        return;
    for (auto& t : tracks)
        t.FindAB(frame);
}

void P3DNullPoint::SetFreePosition(int x, int y, int z, int a, int b, int c)
{
    if (!freeDrawing)
        return;
    tracks[kTrackPosX].value = x;
    tracks[kTrackPosY].value = y;
    tracks[kTrackPosZ].value = z;
    tracks[kTrackRotY].value = a;
    tracks[kTrackRotX].value = b;
    tracks[kTrackRotZ].value = c;
}

void P3DNullPoint::SetFreeRotation(int a, int b, int c)
{
    if (!freeDrawing)
        return;
    tracks[kTrackRotY].value = a;
    tracks[kTrackRotX].value = b;
    tracks[kTrackRotZ].value = c;
}

void P3DNullPoint::GetRotation(int* a, int* b, int* c) const
{
    *a = tracks[kTrackRotY].value;
    *b = tracks[kTrackRotX].value;
    *c = tracks[kTrackRotZ].value;
}

const P3DModel* P3DNullPoint::DrawnOnModel() const
{
    if (freeDrawing || !anim || linkedModel < 0 || linkedModel >= anim->modelCount)
        return nullptr;
    return anim->models[linkedModel];
}

P3DPlacement P3DNullPoint::MeshPlacement() const
{
    P3DPlacement p;
    p.t[0] = tracks[kTrackPosX].value, p.t[1] = tracks[kTrackPosY].value, p.t[2] = tracks[kTrackPosZ].value;
    p.angle[0] = tracks[kTrackRotY].value, p.angle[1] = tracks[kTrackRotX].value;
    p.angle[2] = tracks[kTrackRotZ].value;
    p.axis[0] = P3DPlacement::kAxisY, p.axis[1] = P3DPlacement::kAxisX, p.axis[2] = P3DPlacement::kAxisZ;
    return p;
}

P3DPlacement P3DNullPoint::ScenePlacement() const
{
    P3DPlacement p = MeshPlacement();
    p.axis[1] = P3DPlacement::kAxisZ;
    p.axis[2] = P3DPlacement::kAxisX;
    return p;
}

void P3DNullPoint::GetPosition(int* x, int* y, int* z) const
{
    int px = tracks[kTrackPosX].value, py = tracks[kTrackPosY].value, pz = tracks[kTrackPosZ].value;
    if (const P3DModel* m = DrawnOnModel()) {
        m->Placement().Transform(&px, &py, &pz);
        for (int i = 0; i < m->chainLength; i++)
            if (m->chain[i] >= 0 && m->chain[i] < anim->modelCount)
                anim->models[m->chain[i]]->Placement().Transform(&px, &py, &pz);
    }
    *x = px;
    *y = py;
    *z = pz;
}

void P3DNullPoint::UpdateMeshBox()
{
    if (!meshPlugged || !mesh)
        return;
    int32_t b[6];
    if (P3DMeshBox(mesh, b))
        for (int i = 0; i < 6; i++)
            meshBox[i] = b[i];
}

int P3DNullPoint::NameCmp(const char* s) const
{
    return PStrCmp(s ? s : "", name ? name : "");
}

int P3DNullPoint::MeshBoxUnknown() const
{
    for (int v : meshBox)
        if (v != -1)
            return 0;
    return 1;
}

// Triggers.

P3DTrigger* P3DTrigger::Create()
{
    return new P3DTrigger();
}

P3DTrigger::P3DTrigger() = default;

P3DTrigger::~P3DTrigger()
{
    PFree(name);
}

int P3DTrigger::SetName(const char* s, int length)
{
    char* p = CopyName(s, length);
    if (!p)
        return 0;
    PFree(name);
    name = p;
    return 1;
}

void P3DTrigger::RefreshTransitions(unsigned int frame)
{
    for (int i = 0; i < 3; i++)
        tracks[i].FindAB(frame);
    if (!constRadiusFlag)
        tracks[kTrackRadius].FindAB(frame);
}

// Coordinates are taken at a quarter scale so that the squares stay in
// range; the squared distance is summed in 64 bits, so a far point is
// outside however far it is.
int P3DTrigger::IsPointInside(PVector3 p) const
{
    int64_t dx = int64_t(p.x >> 2) - (tracks[0].value >> 2);
    int64_t dy = int64_t(p.y >> 2) - (tracks[1].value >> 2);
    int64_t dz = int64_t(p.z >> 2) - (tracks[2].value >> 2);
    unsigned __int128 sum = (unsigned __int128)uint64_t(dx * dx) + uint64_t(dy * dy) + uint64_t(dz * dz);
    int d = P3DUtils::SqrtOfSquare(sum);
    return d <= (Radius() >> 2);
}

// Area cells.

P3DClip::P3DClip(int cx, int cy, int cz) : x(cx), y(cy), z(cz) {}

P3DClip::~P3DClip()
{
    PFree(models);
}

int P3DClip::AddModel(unsigned short model)
{
    if (count == capacity) {
        // The list grows geometrically: a level's cells can list thousands
        // of models.
        int cap = capacity ? capacity * 2 : 4;
        auto* p = static_cast<uint16_t*>(PAlloc(cap * 2));
        if (!p)
            return 0;
        for (int i = 0; i < count; i++)
            p[i] = models[i];
        PFree(models);
        models = p;
        capacity = cap;
    }
    models[count++] = model;
    return 1;
}
