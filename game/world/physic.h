// The collision world of a game session: its bodies, the scene units they
// can hit, and once a frame the tests that set each body's hit flags: the
// ground of the background models outside the play area, per-polygon tests
// against flagged meshes, partner spheres and box-collision models. The
// triangle and box operations are shared with the AI and the game-play
// objects.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/runtime/pmath3d.h"

class P3DAnim;
class P3DGameEngine;
class P3DModel;
class P3DSceneUnit;
class PMesh;
class PhysicObject;

class Physic {
public:
    static constexpr int32_t kGravity = 1638; // 0.025 per step
    // How far a mesh box reaches above and below its mesh.
    static constexpr int32_t kBoxMargin = 8 << 16;
    static constexpr unsigned kByteIndices = 0x1401;

    Physic() = default;
    Physic(Physic const&) = delete;
    Physic& operator=(Physic const&) = delete;

    void AddObject(PhysicObject* o);
    // Removes the first occurrence.
    void RemoveObject(PhysicObject* o);
    void RemoveAllObjects() { objects.clear(); }
    void CollUnits_Add(P3DSceneUnit* unit) { units.push_back(unit); }
    bool CollUnits_IsExist(P3DSceneUnit* unit) const;
    // The world's units become the union of the bodies' units in order of
    // first appearance; each body learns which of them it collides with.
    void InitOptimizedCollisionSystem();
    void CalculateGravity(PhysicObject* o) const;
    void AffectGravity() const;

    // The frame's tests. Every live, enabled body that collides with any of
    // the units has its hit flags cleared once and then set by whatever it
    // hits in any unit.
    void CheckCollisions(P3DGameEngine* engine);

    // Bounds over the eight corners; the vertical ones widened by 8.0.
    static void GetMinimumMaximumFromBBox(const PVector3* box, int& minX, int& minY, int& minZ, int& maxX, int& maxY,
                                          int& maxZ);
    // True when a bound of the box is unknown (-1) or the position lies
    // strictly inside it.
    static bool IsObjectBelongsToMeshBox(const PhysicObject* o, const PVector3* box);
    // Triangle at index offset `offset` of an index list (8-bit indices for
    // kByteIndices, else 16-bit) over 16.16 x, y, z vertices.
    static void GetPolygonFromListFixed(PVector3 out[3], const int32_t* vertices, const void* indices, int offset,
                                        unsigned indexType);
    // True when the point lies over or under the triangle in the X-Z plane
    // (edges count as inside); height is then the triangle plane's height
    // there.
    static bool CheckPointBelowTrack(int& height, const PVector3* point, const PVector3 tri[3]);
    // True when the shorter name begins the longer one (or either is empty).
    static bool IsComparedMeshName(const char* a, const char* b);
    // How many triangles of the mesh lie above the point (mesh space): odd
    // inside a closed mesh. Meshes whose vertices are not 16.16 triples
    // count 0.
    static int CountTrianglesAbove(const PMesh* mesh, const PVector3& p);

    // The point in the model's own space: moved back by its position and
    // turned back through the rotations it is drawn with.
    static void ToModelSpace(const P3DModel* m, int& x, int& y, int& z);
    // Whether the point lies inside the first per-polygon model of its clip
    // area whose box holds it (odd count of the model's triangles above it).
    // False for a scene without areas.
    static bool IsInsideAreaPerPolyModel(P3DGameEngine* engine, P3DAnim* scene, const PVector3& p);

    // Whether any triangle of the mesh lies above the point (mesh space),
    // visiting each list's triangles from both ends toward the middle.
    static bool IsAnyTriangleAbove(const PMesh* mesh, const PVector3& p);
    bool IsCollidingWithHorizontModels(P3DAnim* scene, PhysicObject* o) const;
    bool CheckPerPolyCollision(P3DGameEngine* engine, PhysicObject* o, P3DSceneUnit* unit) const;

    std::vector<PhysicObject*> objects; // not owned
    std::vector<P3DSceneUnit*> units;   // not owned
    int32_t gravity = kGravity;
};
