// A loaded scene (.pam, layout in docs/formats/pam.md): its models, null
// points, camera, triggers, sky box and the area grid with its octree, the
// camera's play state and the lookups the game uses. Several scene units
// (p3dsceneunit.h) can play one scene; the tracks live here, so each unit
// re-evaluates them at its own frame before the scene is drawn for it.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"
#include "engine/runtime/ptime.h"
#include "game/scene/p3dareas.h"
#include "game/scene/p3dobjects.h"

class PMesh;
class PString;
class PTextureManager;
class P3DLods;
class P3DSceneUnit;
class GLES;

class P3DAnim {
public:
    // Magic byte of a scene file.
    static constexpr uint8_t kMagic = 0x84;
    // Most models or areas a scene may have (area indices are 16-bit).
    static constexpr int kMaxModels = 65535;
    static constexpr int kMaxAreas = 65535;
    // Most (model, area) entries of the grid, against files whose boxes
    // span huge numbers of cells.
    static constexpr int kMaxAreaEntries = 1 << 22;
    // Most cells of the eight octant lookup tables together.
    static constexpr int64_t kMaxOctantCells = int64_t(1) << 24;

    static P3DAnim* Create();
    P3DAnim();
    ~P3DAnim();
    P3DAnim(P3DAnim const&) = delete;
    P3DAnim& operator=(P3DAnim const&) = delete;

    // Loads a scene file and its meshes (meshDir + name + ".pof", each
    // texture directory in turn). 1 on success; 0 when the file cannot be
    // read or is not a valid scene (the reason is logged). On success the
    // caller owns the new arrays meshesOut and namesOut (PFree the arrays,
    // delete the meshes, PFree the names) of *meshCountOut entries.
    int LoadFromFile(const char* path, PString** textureDirs, unsigned char textureDirCount, const char* meshDir,
                     PTextureManager* tm, PMesh**& meshesOut, char**& namesOut, int* meshCountOut);
    // The same from scene bytes already in memory.
    int LoadFromMemory(const uint8_t* data, unsigned size, PString** textureDirs, unsigned char textureDirCount,
                       const char* meshDir, PTextureManager* tm, PMesh**& meshesOut, char**& namesOut,
                       int* meshCountOut);
    // Deletes every object and array; the scene is empty afterwards.
    void Release();

    // Milliseconds of the scene's clock (its ticker, or the source set by
    // SetTimeSource).
    uint32_t Now() const;
    // Replaces the clock (tests and replays); null restores the ticker.
    void SetTimeSource(uint32_t (*source)(void* ctx), void* ctx);

    // Null points.
    P3DNullPoint* GetNullPointerByName(const char* name);
    int GetNullIndexByName(const char* name);
    int GetNullPointersByName(const char* name, P3DNullPoint**& out);
    int GetNullIndiciesByName(const char* name, int*& out);
    P3DNullPoint* GetPointerToNull(int i);
    void GetNullPosition(int i, int* x, int* y, int* z);
    void GetNullPosition(int i, int* x, int* y, int* z, int* a, int* b, int* c);
    void GetNullPosition(P3DNullPoint* n, int* x, int* y, int* z, int* a, int* b, int* c);
    void SetNullFreePosition(int i, int x, int y, int z);
    void SetNullFreePosition(int i, int x, int y, int z, int r4, int r5, int r6);
    void SetNullFreeDrawing(int i, bool on);
    void PlugModelToNullPoint(int i, PMesh* mesh);
    void UnplugModelFromNullPoint(int i);
    void UnplugModelFromAllNulls();
    void RemoveNull(int i);

    // Triggers.
    int GetSphereTriggers(P3DTrigger** unused);
    P3DTrigger* GetPtrToSphereTriggerByName(const char* name);
    int GetPtrsToSphereTriggersByName(const char* name, P3DTrigger**& out);
    void SetSphereTriggerIdToName(const char* name, short id);
    int GetSphereTriggerIdThatPointBelongs(PVector3 p);

    // Models.
    int GetIndexToMeshFromModel(int i);
    int GetModelsPtrByModelIndex(int mesh, P3DModel**& out);
    int GetModelsPtrByModelIndexInTrigger(P3DTrigger* trigger, int mesh, P3DModel**& out);
    void ChangeIndiciesInAllModels(int from, int to, bool* done);
    void GetBoxMeasure(int* x, int* y, int* z, int* w, int* h, int* d, int i);
    void BlockAllChannelsInModel(int i);
    void UnblockAllChannelsInModel(int i);
    P3DChannel* BlockChannelInModel(int i, int track, bool block);
    void GetModelPosition(int i, int* x, int* y, int* z);
    // Background models, in model order (at most 255).
    void GeneratePtrsToBgModels();
    // Lists the box-collision models (flag bit 5) in model order.
    void InitBoxCollPrecalculations();
    int GetBoxCollIndicies(int*& out);
    void SetCheckingBoxCollWithNearest(bool on) { checkBoxCollWithNearest = on ? 1 : 0; }

    // Frame evaluation.
    void RefreshAllTransitionsForModel(P3DModel* m, unsigned int frame);
    void RefreshAllTransitionsAtFrame(unsigned int frame);
    void RefreshAllTransitionsForCamera(unsigned int frame);

    // The camera's play state.
    void SetCameraFreeDrawing(bool on) { cameraFreeDrawing = on ? 1 : 0; }
    void SetCameraFreePosition(int x, int y, int z, int a, int b, int c);
    void CameraPlayForward() { cameraDirection = 1; }
    void CameraPlayBackward() { cameraDirection = 0; }
    void CameraSetCurrentFrame(int f) { cameraFrame = f; }
    void SetCameraFPS(int f)
    {
        if (f > 0)
            cameraFPS = f;
    }
    void ResetCameraFPS() { cameraFPS = cameraFileFPS; }
    void HoldCameraAtTheEndOfLoop(bool on) { holdCamera = on ? 1 : 0; }
    void PauseCamera() { cameraPaused = 1; }
    void UseCameraFovEnvelope(bool on) { useFovEnvelope = on ? 1 : 0; }
    void ResetCamera();
    void PlayCamera();
    void SetCameraLoop(unsigned start, unsigned end);
    void AnimateCamera();
    void SetNearClipDistance(int d) { nearClip = d; }
    void SetFarClipDistance(int d) { farClip = d; }
    // Perspective projection from a field of view (16.16 degrees) with the
    // near and far distances; the model-view matrix stays current.
    void SetFOV(GLES* gl, int aspect, int fov);

    // Drawing (p3danimrender.cpp). Every mesh index is checked against the
    // pool's meshCount. GL work goes through gl, the drawing context.
    void RenderSkyboxes(GLES* gl, PMesh** meshes, int meshCount, int aspect);
    // depth counts the scenes drawn on null points above this one: plugged
    // units deeper than kMaxPlugDepth (a unit plugged into its own scene)
    // are not drawn, nor any when the matrix stack has no room left. planes
    // are in this scene's space. With animate the unit is animated once the
    // frame's visible areas are known (a plugged unit also takes its free
    // channels then).
    void RenderScene(GLES* gl, int aspect, PMesh** meshes, int meshCount, P3DAnim** scenes, PPlane3* planes,
                     PVector3** meshBoxes, P3DSceneUnit*& unit, int depth = 0, bool animate = false);
    void RenderModel(GLES* gl, P3DModel* model, PMesh** meshes, int meshCount, P3DSceneUnit*& unit);
    void RenderArea(GLES* gl, P3DClip* area, PMesh** meshes, int meshCount, P3DSceneUnit*& unit);
    void RenderGackgroundModels(GLES* gl, PMesh** meshes, int meshCount, P3DSceneUnit*& unit);
    static void RenderBlendedModels(GLES* gl, P3DModel** queue, int count, PMesh** meshes, int meshCount,
                             int32_t* matrices, int32_t* alphas);
    static constexpr int kMaxPlugDepth = 4;

    // The area grid (p3dareas.cpp).
    // Area size used by the grid: the file's, at least 1.0.
    int AreaSize() const { return areaSize < 0x10000 ? 0x10000 : areaSize; }
    int Coord2Area(int c, signed char dir) const;
    // Builds the areas from the given model boxes ({min x, y, z, max x, y, z}
    // per mesh, null entries for missing meshes). 0 (logged) when the grid
    // exceeds the limits above.
    int GenerateAreas(PMesh** meshes, int meshCount);
    int GenerateAreasFromBoxes(const int32_t (*const* boxes)[6], int meshCount);
    P3DClip* GetArea(int x, int y, int z);
    P3DClip* AddArea(int x, int y, int z);
    // One octant's table of extents dimX x dimY x dimZ (each 1 to 65535).
    int CreateAreaClipOptimizationArray(P3DOctantTable& table, int dimX, int dimY, int dimZ, bool posX, bool posY,
                                        bool posZ);
    static void InitAreaOptimizationArray(P3DOctantTable& table);
    static void FreeAreaOptimizationArray(P3DOctantTable& table);
    // Tables, frustum list and octree after GenerateAreas; 0 (logged) when
    // the tables would be too large or memory is exhausted.
    int BuildAreaLookups();
    int GetModelClipAreaIndex(int x, int y, int z) const;
    P3DClip* GetModelClipAreaPtr(int x, int y, int z) const;
    void GetModelClipAreaByGlobalPos(int x, int y, int z, int* ax, int* ay, int* az) const;
    void GetModelClipAreaByGlobalPos(int x, int y, int z, int& ax, int& ay, int& az) const
    {
        GetModelClipAreaByGlobalPos(x, y, z, &ax, &ay, &az);
    }
    void SetCurrentModelClipAreaByGlobalPos(int x, int y, int z);
    void SetCurrentModelClipArea(int x, int y, int z);
    void RefreshModelClipArea();
    void SetModelClip(bool on) { modelClipByArea = on ? 1 : 0; }
    void SetModelClipDrawNearest(bool on) { drawNearest = on ? 1 : 0; }
    void SetModelClipFrustum(bool on) { clipByFrustum = on ? 1 : 0; }
    void SetFrustumCheckingByAreas(bool on) { frustumByAreas = on ? 1 : 0; }
    void RefreshAreasInFrustumList(const PPlane3* planes);

    // Models.
    int32_t modelCount = 0;
    P3DModel** models = nullptr;
    uint8_t bgModelCount = 0;
    P3DModel** bgModels = nullptr;
    // Null points.
    int32_t nullCount = 0;
    P3DNullPoint** nulls = nullptr;
    uint8_t checkBoxCollWithNearest = 0;
    // Play defaults of the scene's units.
    int32_t fileFPS = 0;
    uint8_t direction = 1;
    int32_t fps = 0;
    int32_t currentFrame = 0;
    uint8_t paused = 0;
    uint8_t hold = 0;
    // The camera and its play state.
    P3DCamera camera;
    int8_t cameraByte = 0;
    int32_t cameraLoopStart = 0, cameraLoopEnd = 0, cameraFrame = 0;
    uint8_t fovConstant = 0;
    int32_t constFov = 0;
    uint8_t cameraPresent = 0;
    uint8_t useCamera = 0;
    uint8_t cameraDirection = 1;
    int32_t cameraFPS = 0, cameraFileFPS = 0;
    uint8_t cameraPaused = 0, holdCamera = 0, useFovEnvelope = 0, cameraFreeDrawing = 0;
    int32_t farClip = 70 << 16;
    int32_t nearClip = 6553;
    int32_t currentFov = 0;
    // Areas inside the frustum (indices into areas).
    uint16_t* areasInFrustum = nullptr;
    int32_t areasInFrustumCount = 0;
    // The area grid.
    uint8_t modelClipByArea = 0, areasPresent = 0;
    int32_t areaSize = 0;
    int32_t curAreaX = 0, curAreaY = 0, curAreaZ = 0;
    int32_t curAreaPosX = 0, curAreaPosY = 0, curAreaPosZ = 0;
    int32_t areaCount = 0;
    // Most areas this scene may make: kMaxAreas unless the owner lowers it
    // before loading (a scene with more fails to load).
    int32_t areaLimit = kMaxAreas;
    P3DClip** areas = nullptr;
    P3DClip* currentArea = nullptr;
    int32_t drawStamp = 1;
    uint8_t drawNearest = 0, clipByFrustum = 0, frustumByAreas = 0;
    P3DOctantTable octants[8];
    P3DBspTreeElement* roots[8] = {};
    P3DLods* lods = nullptr;
    // Sky box.
    uint8_t skyboxFlag = 0;
    int8_t skyboxCount = 0;
    int32_t* skyboxModels = nullptr;
    // Triggers.
    P3DTrigger** triggers = nullptr;
    int16_t triggerCount = 0;
    int32_t blendedCount = 0;
    PTicker ticker;
    uint32_t cameraLastTick = 0;
    int32_t boxCollCount = 0;
    int32_t* boxColl = nullptr;
    int32_t cameraView[16] = {};
    // Set by each drawing pass.
    PVector3** renderMeshBoxes = nullptr;
    PPlane3* renderPlanes = nullptr;

private:
    int Parse(const uint8_t* data, unsigned size);
    int BuildParentChains();
    int LoadMeshes(char** names, int count, PString** textureDirs, unsigned char dirCount, const char* meshDir,
                   PTextureManager* tm, PMesh** meshes);
    int AreaIndexFromHash(int x, int y, int z) const;
    int AddToHash(int index);

    uint32_t (*m_timeSource)(void*) = nullptr;
    void* m_timeContext = nullptr;
    // Transient during loading: the mesh names of the file.
    char** m_meshNames = nullptr;
    int m_meshCount = 0;
    // Transient while the areas are generated: open-addressed cell hash of
    // area indices (-1 empty).
    int32_t* m_areaHash = nullptr;
    int m_areaHashMask = 0;
    int32_t m_areaCapacity = 0;
};
