// The scene manager: the loaded scenes, a pool of meshes shared by name
// between them, the playing scene units, the view frustum and the mesh boxes.
// It loads scenes, places units, draws them all each frame and answers the
// game's collision and position queries.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

class GLES;
class P3DAnim;
class P3DModel;
class P3DNullPoint;
class P3DSceneUnit;
class P3DTrigger;
class PMesh;
class PString;
class PTextureManager;

class P3DGameEngine {
public:
    // New manager; aspect is the 16.16 width / height of the display (see
    // AspectRatio). Null when memory is exhausted.
    static P3DGameEngine* Create(PTextureManager* tm, int aspect);
    P3DGameEngine(PTextureManager* tm, int aspect);
    ~P3DGameEngine();
    P3DGameEngine(P3DGameEngine const&) = delete;
    P3DGameEngine& operator=(P3DGameEngine const&) = delete;

    // width * 65536 / height in 64 bits (1.0 for a height of 0 or less).
    static int AspectRatio(int width, int height);

    // Mesh pool. Indices never change: freeing a mesh empties its slot.
    int AddMesh(char* name, PMesh* mesh);
    int AddMesh(const char* path, const char* name, const char* textureDir);
    int GetMeshIndexByName(const char* name) const;
    void DeallocMesh(int index);
    void DeallocMesh(const char* name);
    void DeallocAllMeshes();
    // (Re)builds the box of every pool mesh. Once built, a mesh added later
    // gets its box when it is added, and the stored boxes stay.
    void GenerateMeshBoxes();

    // Scenes.
    int AddSceneFromFile(const char* path, PString** textureDirs, unsigned char dirCount, const char* meshDir);
    int AddSceneFromFile(const char* path, const char* textureDir, const char* meshDir);
    P3DAnim* GetAnimationPtr(int index);
    // Removes a scene; with freeMeshes, the pool meshes only it uses are
    // freed. Units of the scene are left without a scene (never drawn).
    void RemoveScene(int index, bool freeMeshes);
    void InitCollisionPrecalculation_allScenes();

    // Units.
    P3DSceneUnit* AddSceneUnit(P3DAnim* scene, int x, int y, int z, int a, int b, int c);
    P3DSceneUnit* AddSceneUnit(int sceneIndex, int x, int y, int z, int a, int b, int c);
    void RemoveSceneUnit(P3DSceneUnit*& unit);
    void RemoveAllSceneUnits();
    void PauseAllUnits();
    void ResumeAllUnits();

    // Drawing.
    void InitBlendedModelsSorting();
    void CalculateCameraFrustum(GLES* gl);
    void RenderAllScenes(GLES* gl);

    // Queries (16.16, in scene space unless said otherwise).
    void GetModelGlobalPosition(P3DModel* model, int* x, int* y, int* z);
    int GetModelsPtrByName(P3DAnim* scene, const char* meshName, P3DModel**& out);
    int GetModelsPtrByNameInTrigger(P3DTrigger* trigger, P3DAnim* scene, const char* meshName, P3DModel**& out);
    int GetAllModelsThatUseMesh(const char* meshName, int sceneIndex, int*& out);
    int IsPointBelongsToBoxColl(int x, int y, int z, int modelIndex, int sceneIndex);
    P3DModel* IsPointBelongsToBoxColl_SeekOneScene(int x, int y, int z, int sceneIndex, bool unused);
    P3DModel* IsPointBelongsToBoxColl_SeekAllScenes(int x, int y, int z, bool unused);
    // The point turned back through the box's three rotations in the order
    // the box is placed (about Y, then X, then Z undone about its position),
    // then the half-open test against position and size.
    int CheckColl_Point_Box(P3DModel* box, int px, int py, int pz, int ox, int oy, int oz);
    // The point, an offset from the null in its scene's axes, where the
    // drawing puts it in the world: through the unit that last refreshed the
    // null and, for a plugged unit, on through the null it is plugged into.
    void TranslateToGlobal(int& x, int& y, int& z, P3DNullPoint* null);
    // The unit's first box-collision model holding the null's world
    // position, tested in the unit's scene space.
    P3DModel* CheckCollision(P3DNullPoint* null, P3DSceneUnit* unit);
    // A world point in the space of the unit's scene, and back: the inverse
    // of the drawing's placements and the placements themselves.
    void WorldToScene(int& x, int& y, int& z, P3DSceneUnit* unit);
    void SceneToWorld(int& x, int& y, int& z, P3DSceneUnit* unit);
    P3DModel* IsPointBelongsToBoxColl_SeekUnit(int x, int y, int z, P3DSceneUnit* unit);

    // The view as the game reads it: the six frustum planes of the last
    // CalculateCameraFrustum (the first normalised), the water plane (that
    // first plane), the camera plane (a x + b y + c z + d is the distance of
    // a point in front of the camera) and the field of view (16.16 degrees:
    // the last one a scene's own camera set, or the one given).
    const PPlane3* GetFrustumPlanes() const { return planes; }
    PPlane3 GetWaterPlane() const { return planes[0]; }
    PPlane3 GetCameraPlane() const { return cameraPlane; }
    int GetCameraFOV() const { return cameraFov; }
    void SetCameraFOV(int fov) { cameraFov = fov; }

    P3DAnim** scenes = nullptr;
    int32_t sceneCount = 0;
    int32_t unitCount = 0;
    P3DSceneUnit** units = nullptr;
    PPlane3 planes[6] = {};
    PMesh** meshes = nullptr;
    char** meshNames = nullptr;
    PVector3** meshBoxes = nullptr; // eight corners per pool mesh, null for a missing one
    int32_t meshCount = 0;
    int32_t meshBoxCount = 0;
    PTextureManager* textureManager = nullptr;
    int32_t aspect = 0x10000;
    PPlane3 cameraPlane = {};
    int32_t cameraFov = 60 << 16;

private:
    int GrowScenes();
    void FreeMeshBoxes();
    // Boxes for the pool meshes added since the boxes were built; 0 when
    // memory is exhausted (the stored boxes stay).
    int GrowMeshBoxes();
    void ForgetUnit(P3DSceneUnit* unit);
    void WorldToScene(int& x, int& y, int& z, P3DSceneUnit* unit, int depth);
    void SceneToWorld(int& x, int& y, int& z, P3DSceneUnit* unit, int depth);
    void DrawBlendedBackToFront(GLES* gl);

    // Scratch of the back-to-front order of blended models, sized by
    // InitBlendedModelsSorting so that drawing never allocates.
    int32_t* m_entryUnit = nullptr;  // unit of each queued entry
    int32_t* m_entrySlot = nullptr;  // its slot in that unit's queue
    int32_t* m_order = nullptr;      // entries, farthest first
    int32_t* m_orderTmp = nullptr;
    int32_t m_orderCapacity = 0;
};
