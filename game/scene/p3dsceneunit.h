// A placed, playing instance of a loaded scene: play state (frame, loop,
// speed, direction, pause), placement, the free channels through which the
// game drives single tracks, and the queue of blended models collected while
// the scene is drawn.
#pragma once
#include <cstdint>

#include "engine/runtime/ptime.h"
#include "game/scene/p3dutils.h"

class P3DAnim;
class P3DChannel;
class P3DFreeChannel;
class P3DModel;
class P3DNullPoint;
class PMesh;
class GLES;

class P3DSceneUnit {
public:
    P3DSceneUnit();
    explicit P3DSceneUnit(P3DAnim* anim);
    ~P3DSceneUnit();
    P3DSceneUnit(P3DSceneUnit const&) = delete;
    P3DSceneUnit& operator=(P3DSceneUnit const&) = delete;

    void Initialize(P3DAnim* anim);

    // a about Y, b about Z, c about X (16.16 degrees).
    void SetPosition(int x, int y, int z, int a, int b, int c);
    void SetRotation(int a, int b, int c);
    // Applies the placement to the current matrix: translation, then a
    // about Y, c about X, b about Z.
    void Translate(GLES* gl);
    // That placement, for the position queries.
    P3DPlacement Placement() const;
    void SetFPS(int f)
    {
        if (f > 0)
            fps = f;
    }
    void ResetFPS();
    void HoldAtTheEndOfLoop(bool on) { hold = on ? 1 : 0; }
    void PlayForward() { direction = 1; }
    void PlayBackward() { direction = 0; }
    void Enable() { enabled = 1; }
    void Disable() { enabled = 0; }
    void DrawWithClearZBuffer(bool on) { clearDepth = on ? 1 : 0; }
    void SetCameraViewport(bool on) { cameraViewport = on ? 1 : 0; }
    void SetCurrentFrame(int f);
    // 0 (nothing changed) when end <= start.
    int SetLoop(unsigned start, unsigned end);
    void Play();
    void Pause();
    void Reset();
    void Refresh();
    void Animate();

    // Free channels.
    int AddFreeChannel(P3DChannel* track, P3DModel* model);
    P3DFreeChannel* GetFreeChannelPtr(int i);
    void RefreshFreeTransitionsToModels();
    void RemoveFreeChannel(int i);
    void RemoveAllFreeChannels();

    // Blended-model queue: sized for the scene's blended models and those of
    // every scene plugged into its nulls, plus 32.
    void InitBlendedModelQueue();
    static void AddBlendTotalCounter(P3DAnim* anim, int& total, int depth = 0);
    void ResetBlendedModels() { blendCount = 0; }
    // Queues the model with the current model-view matrix; a full queue
    // drops it.
    void AddBlendedModel(P3DModel* model, GLES* gl, int alpha);
    void RenderBlendedModels(GLES* gl, PMesh** meshes, int meshCount);
    void ReleaseBlendMatrixies();

    // 1 when the unit box is unknown (any of its six values -1).
    int BoxUnknown() const;

    uint8_t direction = 1;
    int32_t fps = 0;
    int32_t loopStart = 0, loopEnd = 0;
    int32_t frame = 0;
    uint8_t paused = 0;
    uint8_t hold = 0;
    uint8_t cullOnNull = 1;
    int32_t box[6] = {-1, -1, -1, -1, -1, -1};
    uint8_t cameraViewport = 0;
    int32_t posX = 0, posY = 0, posZ = 0;
    int32_t rotA = 0, rotB = 0, rotC = 0;
    P3DAnim* anim = nullptr;
    uint8_t enabled = 1;
    uint8_t clearDepth = 0;
    uint8_t plugged = 0;
    P3DNullPoint* pluggedNull = nullptr;
    P3DFreeChannel** freeChannels = nullptr;
    int32_t freeChannelCount = 0;
    int32_t freeChannelCapacity = 0;
    // Blended-model queue.
    P3DModel** blendModels = nullptr;
    int32_t blendCount = 0;
    int32_t blendCapacity = 0;
    int32_t* blendMatrices = nullptr; // 16 values per slot
    int32_t* blendAlphas = nullptr;
    PTicker ticker;
    uint32_t lastTick = 0;

private:
    void FreeBlendQueue();
};
