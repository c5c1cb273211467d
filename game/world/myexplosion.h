// An explosion: camera-facing flash, ring, glow and burst quads (basic), a
// growing set of meshes (nuke) or two particle bursts, advanced one step per
// drawn frame until it ends.
#pragma once
#include <cstdint>
#include <memory>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"

class GPO;
class MySmoke;
class P3D;
class ParticleEmitter;
class PMesh;
class PTextureManager;

class MyExplosion {
public:
    // Kinds, as the mission scripts name them.
    enum Kind : int8_t { kBasic = 0, kRing = 1, kNuke = 2, kParticles = 3 };
    static constexpr int kIdle = -1;

    MyExplosion();
    virtual ~MyExplosion();
    MyExplosion(MyExplosion const&) = delete;
    MyExplosion& operator=(MyExplosion const&) = delete;

    // Starts at frame 0 with random rotations and the start sizes.
    void Init();
    void Init(const PVector3& pos, signed char kind, GPO* owner);
    // Draws one frame; the frame counter, -1 once finished (an idle
    // explosion draws nothing).
    int Render(P3D* gl, PTextureManager* tm, int texture1, int texture2, PMesh** meshes, signed char meshCount,
               int texture3);
    int Render(const PVector3& pos, P3D* gl, PTextureManager* tm, int texture1, int texture2, PMesh** meshes,
               signed char meshCount, int texture3);
    // n smoke particles scattered about the explosion (a spread of 0 puts
    // them on its axis).
    void SetSmoke(MySmoke* smoke, int n, int spreadX, int spreadY, int spreadZ);
    int GetLife() const { return frame; }

    int32_t x = 0, y = 0, z = 0;
    int32_t frame = kIdle;
    int32_t rot[4] = {0, 0, 0, 0};   // R1..R4
    int32_t scale[4] = {0, 0, 0, 0}; // S1..S4
    int32_t ringScale = 0;
    int32_t alpha = 0;      // A
    int32_t flashAlpha = 0; // F
    PRand2 random;
    int8_t kind = kBasic;
    std::unique_ptr<ParticleEmitter> emitters[2];
    GPO* owner = nullptr;

private:
    void RenderBasic(P3D* gl, PTextureManager* tm, int texture1, int texture2);
    void RenderNuke(P3D* gl, PMesh** meshes, int meshCount);
    void RenderParticles(P3D* gl, PTextureManager* tm, int texture1, int texture3);
};
