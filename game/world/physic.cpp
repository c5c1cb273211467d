#include "game/world/physic.h"

#include <algorithm>
#include <cstring>

#include "engine/graphics/pmesh.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "game/world/physicobject.h"

namespace {

constexpr unsigned kFixed = 0x140C;
constexpr unsigned kTriangles = 4;
constexpr int64_t kMaxSpan = int64_t(1) << 30;

int32_t Saturate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

PVector3 Add(const PVector3& a, const PVector3& b)
{
    return PVector3(int32_t(uint32_t(a.x) + uint32_t(b.x)), int32_t(uint32_t(a.y) + uint32_t(b.y)),
                    int32_t(uint32_t(a.z) + uint32_t(b.z)));
}

// The play area's half-size of a level: the edge of its area grid's root
// cells, 0 for a level without areas (the ground then lies everywhere).
int64_t PlayAreaHalfSize(const P3DAnim* scene)
{
    for (const P3DBspTreeElement* r : scene->roots)
        if (r)
            return r->size < 0 ? -r->size : r->size;
    return 0;
}

} // namespace

// The point in the model's own space: moved back by its position and turned
// back through the rotations it is drawn with (about Y, then X, then Z).
void Physic::ToModelSpace(const P3DModel* m, int& x, int& y, int& z)
{
    x = Saturate(int64_t(x) - m->PosX());
    y = Saturate(int64_t(y) - m->PosY());
    z = Saturate(int64_t(z) - m->PosZ());
    if (m->RotY())
        P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, 0, -m->RotY(), 0);
    if (m->RotX())
        P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, -m->RotX(), 0, 0);
    if (m->RotZ())
        P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, 0, 0, -m->RotZ());
}

void Physic::AddObject(PhysicObject* o)
{
    objects.push_back(o);
}

void Physic::RemoveObject(PhysicObject* o)
{
    auto it = std::find(objects.begin(), objects.end(), o);
    if (it != objects.end())
        objects.erase(it);
}

bool Physic::CollUnits_IsExist(P3DSceneUnit* unit) const
{
    return std::find(units.begin(), units.end(), unit) != units.end();
}

void Physic::InitOptimizedCollisionSystem()
{
    units.clear();
    for (PhysicObject* o : objects)
        if (o)
            for (P3DSceneUnit* u : o->units)
                if (!CollUnits_IsExist(u))
                    units.push_back(u);
    for (PhysicObject* o : objects)
        if (o)
            o->GenerateCollideUnitsArray(units.data(), int(units.size()));
}

void Physic::CalculateGravity(PhysicObject* o) const
{
    if (o)
        o->velocity.y = int32_t(uint32_t(o->velocity.y) - uint32_t(gravity));
}

void Physic::AffectGravity() const
{
    for (PhysicObject* o : objects)
        CalculateGravity(o);
}

void Physic::CheckCollisions(P3DGameEngine* engine)
{
    auto tested = [&](PhysicObject* o, size_t u) {
        return o && o->IsAlive() && !o->disabled && u < o->unitFlags.size() && o->unitFlags[u];
    };
    for (PhysicObject* o : objects)
        for (size_t u = 0; u < units.size(); u++)
            if (tested(o, u)) {
                o->ClearHits();
                break;
            }
    for (size_t u = 0; u < units.size(); u++) {
        P3DSceneUnit* unit = units[u];
        for (PhysicObject* o : objects) {
            if (!tested(o, u))
                continue;
            if (unit && unit->anim && IsCollidingWithHorizontModels(unit->anim, o)) {
                o->hitBody = 1;
                continue;
            }
            if (o->perPoly && CheckPerPolyCollision(engine, o, unit))
                continue;
            bool sphere = false;
            for (int i = 0; i < int(o->partners.size()) && !sphere; i++)
                sphere = o->IsCollidingWith(i) != 0;
            if (sphere) {
                o->hitBody = 1;
                continue;
            }
            if (!engine || !unit)
                continue;
            PVector3 p = Add(o->position, o->velocity);
            if (engine->IsPointBelongsToBoxColl_SeekUnit(p.x, p.y, p.z, unit)) {
                o->hitBody = 1;
                continue;
            }
            if (!o->wingCollision)
                continue;
            auto wing = [&](const PVector3& offset) {
                PVector3 w = Add(p, offset);
                P3DUtils::TranslatePointByPivot(w.x, w.y, w.z, o->position.x, o->position.y, o->position.z, 0, o->yaw,
                                                o->roll);
                return engine->IsPointBelongsToBoxColl_SeekUnit(w.x, w.y, w.z, unit) != nullptr;
            };
            if (wing(o->leftWing))
                o->hitLeft = 1;
            else if (wing(o->rightWing))
                o->hitRight = 1;
        }
    }
}

void Physic::GetMinimumMaximumFromBBox(const PVector3* box, int& minX, int& minY, int& minZ, int& maxX, int& maxY,
                                       int& maxZ)
{
    minX = maxX = box[0].x;
    minY = maxY = box[0].y;
    minZ = maxZ = box[0].z;
    for (int i = 1; i < 8; i++) {
        minX = std::min(minX, box[i].x), maxX = std::max(maxX, box[i].x);
        minY = std::min(minY, box[i].y), maxY = std::max(maxY, box[i].y);
        minZ = std::min(minZ, box[i].z), maxZ = std::max(maxZ, box[i].z);
    }
    minY = Saturate(int64_t(minY) - kBoxMargin);
    maxY = Saturate(int64_t(maxY) + kBoxMargin);
}

bool Physic::IsObjectBelongsToMeshBox(const PhysicObject* o, const PVector3* box)
{
    int b[6];
    GetMinimumMaximumFromBBox(box, b[0], b[1], b[2], b[3], b[4], b[5]);
    for (int v : b)
        if (v == -1)
            return true;
    const PVector3& p = o->position;
    return p.x > b[0] && p.x < b[3] && p.y > b[1] && p.y < b[4] && p.z > b[2] && p.z < b[5];
}

void Physic::GetPolygonFromListFixed(PVector3 out[3], const int32_t* vertices, const void* indices, int offset,
                                     unsigned indexType)
{
    for (int k = 0; k < 3; k++) {
        unsigned i;
        if (indexType == kByteIndices) {
            i = static_cast<const uint8_t*>(indices)[offset + k];
        } else {
            uint16_t v;
            std::memcpy(&v, static_cast<const uint8_t*>(indices) + 2 * (offset + k), 2);
            i = v;
        }
        const int32_t* v = vertices + 3 * size_t(i);
        out[k] = PVector3(v[0], v[1], v[2]);
    }
}

bool Physic::CheckPointBelowTrack(int& height, const PVector3* point, const PVector3 tri[3])
{
    const int64_t px = point->x, pz = point->z;
    const int64_t ax = tri[0].x, az = tri[0].z, bx = tri[1].x, bz = tri[1].z, cx = tri[2].x, cz = tri[2].z;
    // Differences are held within 2^30 (16384.0, far beyond any level) so
    // that no product of two overflows, whatever a mesh file holds.
    auto d = [](int64_t v) { return v > kMaxSpan ? kMaxSpan : v < -kMaxSpan ? -kMaxSpan : v; };
    int64_t c1 = (d(px - ax) * d(bz - az) + d(pz - az) * d(ax - bx)) >> 16;
    int64_t c2 = (d(cz - bz) * d(px - bx) + d(pz - bz) * d(bx - cx)) >> 16;
    if (c1 && c2 && ((c1 < 0) != (c2 < 0)))
        return false;
    int64_t s = c1 + c2;
    int64_t c3 = (d(px - cx) * d(az - cz) + d(pz - cz) * d(cx - ax)) >> 16;
    if (c3 && s && ((c3 < 0) != (s < 0)))
        return false;
    PPlane3 plane;
    plane.Create(tri[0], tri[1], tri[2]);
    int64_t num = ((int64_t(plane.a) * px + int64_t(plane.c) * pz) >> 16) + plane.d;
    height = Saturate((-num * 65536) / (plane.b | 1));
    return true;
}

bool Physic::IsComparedMeshName(const char* a, const char* b)
{
    if (!a || !b || !*a || !*b)
        return true;
    int la = PStrLen(a), lb = PStrLen(b);
    return PStrCmpN(a, b, unsigned(la < lb ? la : lb)) == 0;
}

int Physic::CountTrianglesAbove(const PMesh* mesh, const PVector3& p)
{
    const PMesh::VertexList* v = mesh ? mesh->Vertices() : nullptr;
    if (!v || v->type != kFixed)
        return 0;
    const int32_t* vertices = reinterpret_cast<const int32_t*>(v->Data());
    int count = 0;
    for (int l = 0; l < mesh->ListCount(); l++) {
        const PMesh::RenderList* list = mesh->List(l);
        if (!list || list->mode != kTriangles)
            continue;
        for (int t = 0; t + 3 <= list->count; t += 3) {
            PVector3 tri[3];
            GetPolygonFromListFixed(tri, vertices, list->Data(), t, list->indexType);
            int h;
            if (CheckPointBelowTrack(h, &p, tri) && p.y < h)
                count++;
        }
    }
    return count;
}

bool Physic::IsCollidingWithHorizontModels(P3DAnim* scene, PhysicObject* o) const
{
    if (!scene || !o || scene->bgModelCount < 1 || !scene->bgModels || !scene->bgModels[0])
        return false;
    int64_t half = PlayAreaHalfSize(scene);
    int64_t x = o->position.x, z = o->position.z;
    if ((x < 0 ? -x : x) <= half && (z < 0 ? -z : z) <= half)
        return false;
    int32_t g = scene->bgModels[0]->PosY();
    if (g > o->position.y) {
        o->position.y = g;
        return true;
    }
    if (!o->wingCollision)
        return false;
    if (o->LeftWingPoint().y < g) {
        o->hitLeft = 1;
        return true;
    }
    if (o->RightWingPoint().y < g) {
        o->hitRight = 1;
        return true;
    }
    return false;
}

bool Physic::CheckPerPolyCollision(P3DGameEngine* engine, PhysicObject* o, P3DSceneUnit* unit) const
{
    if (!engine || !o || !unit || !unit->anim)
        return false;
    P3DAnim* scene = unit->anim;
    bool any = false;
    for (int i = 0; i < scene->modelCount; i++) {
        P3DModel* m = scene->models[i];
        // Only models in play: one hidden by the mission (a destroyed
        // building swapped out, say) no longer stops anything.
        if (!m || m->hidden || !m->IsPerPolyColl() || m->meshIndex < 0 || m->meshIndex >= engine->meshCount)
            continue;
        const PMesh* mesh = engine->meshes[m->meshIndex];
        if (!mesh)
            continue;
        if (m->meshIndex < engine->meshBoxCount && engine->meshBoxes && engine->meshBoxes[m->meshIndex]) {
            m->RefreshBox(engine->meshBoxes[m->meshIndex]);
            if (!IsObjectBelongsToMeshBox(o, m->box))
                continue;
        }
        PVector3 points[3] = {o->position};
        int n = 1;
        if (o->wingCollision) {
            points[1] = o->LeftWingPoint();
            points[2] = o->RightWingPoint();
            n = 3;
        }
        for (int k = 0; k < n; k++) {
            PVector3 q = points[k];
            ToModelSpace(m, q.x, q.y, q.z);
            if (!(CountTrianglesAbove(mesh, q) & 1))
                continue;
            any = true;
            if (k == 0) {
                o->position = PVector3(Saturate(int64_t(o->position.x) - 8 * int64_t(o->velocity.x)),
                                       Saturate(int64_t(o->position.y) - 8 * int64_t(o->velocity.y)),
                                       Saturate(int64_t(o->position.z) - 8 * int64_t(o->velocity.z)));
                o->hitBody = 1;
            } else if (k == 1) {
                o->hitLeft = 1;
            } else {
                o->hitRight = 1;
            }
        }
    }
    return any;
}

bool Physic::IsInsideAreaPerPolyModel(P3DGameEngine* engine, P3DAnim* scene, const PVector3& p)
{
    if (!engine || !scene || scene->areaCount < 1 || !scene->areas)
        return false;
    int ax, ay, az;
    scene->GetModelClipAreaByGlobalPos(p.x, p.y, p.z, ax, ay, az);
    const P3DClip* area = scene->GetModelClipAreaPtr(ax, ay, az);
    if (!area || !area->models)
        return false;
    for (int i = 0; i < area->count; i++) {
        int k = area->models[i];
        P3DModel* m = k < scene->modelCount && scene->models ? scene->models[k] : nullptr;
        if (!m || m->hidden || !m->IsPerPolyColl() || m->meshIndex < 0 || m->meshIndex >= engine->meshCount)
            continue;
        const PMesh* mesh = engine->meshes[m->meshIndex];
        if (!mesh || m->meshIndex >= engine->meshBoxCount || !engine->meshBoxes || !engine->meshBoxes[m->meshIndex])
            continue;
        m->RefreshBox(engine->meshBoxes[m->meshIndex]);
        int minX, minY, minZ, maxX, maxY, maxZ;
        GetMinimumMaximumFromBBox(m->box, minX, minY, minZ, maxX, maxY, maxZ);
        if (!(p.x > minX && p.x < maxX && p.y > minY && p.y < maxY && p.z > minZ && p.z < maxZ))
            continue;
        PVector3 q = p;
        ToModelSpace(m, q.x, q.y, q.z);
        return (CountTrianglesAbove(mesh, q) & 1) != 0;
    }
    return false;
}

bool Physic::IsAnyTriangleAbove(const PMesh* mesh, const PVector3& p)
{
    const PMesh::VertexList* v = mesh ? mesh->Vertices() : nullptr;
    if (!v || v->type != kFixed)
        return false;
    const int32_t* vertices = reinterpret_cast<const int32_t*>(v->Data());
    for (int l = 0; l < mesh->ListCount(); l++) {
        const PMesh::RenderList* list = mesh->List(l);
        if (!list || list->mode != kTriangles)
            continue;
        int n = list->count / 3;
        for (int front = 0, back = n - 1; front <= back; front++, back--) {
            for (int t : {front, back}) {
                PVector3 tri[3];
                GetPolygonFromListFixed(tri, vertices, list->Data(), t * 3, list->indexType);
                int h;
                if (CheckPointBelowTrack(h, &p, tri) && p.y < h)
                    return true;
                if (front == back)
                    break;
            }
        }
    }
    return false;
}
