// A small burst of textured, camera-facing quads (smoke, sparks) that spread
// from a point, fall under gravity, grow and fade. One Process call is one
// time step; values are 16.16.
#pragma once
#include <cstdint>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"

class GLES;
class PTextureManager;

class ParticleEmitter {
public:
    enum State : uint8_t { kStopped = 0, kRunning = 1, kPaused = 2 };

    struct Particle {
        int32_t x, y, z;    // relative to the emitter
        int32_t vx, vy, vz; // per step
        uint16_t life;      // steps left
    };

    ParticleEmitter();
    ~ParticleEmitter();
    ParticleEmitter(ParticleEmitter const&) = delete;
    ParticleEmitter& operator=(ParticleEmitter const&) = delete;

    void SetGravity(int g) { gravity = g; }
    void SetPosition(PVector3 p) { position = p; }
    void SetPosition(int x, int y, int z) { position = PVector3(x, y, z); }
    void SetLoopInf(bool on) { loopForever = on ? 1 : 0; }
    void SetTextureIndex(int t) { texture = t; }
    void Start() { state = kRunning; }
    void Pause() { state = kPaused; }
    // A new burst of count particles (at most 65535) with offsets below the
    // spreads (at least 1) and the given life (1 to 65535 steps) and size;
    // the emitter is left stopped. 0 when memory is exhausted.
    int Init(int count, int spreadXZ, int spreadY, int life, int size);
    void Process();
    void Render(GLES* gl, PTextureManager* tm);
    void ReleaseParticles();

    PVector3 position;
    Particle* particles = nullptr;
    int32_t count = 0;
    int32_t gravity = 3276;
    uint8_t state = kStopped;
    PRand2 random;
    int32_t life = 100;
    int32_t texture = 0;
    int32_t size = 0;
    uint8_t loopForever = 0;
    int32_t spreadXZ = 1;
    int32_t spreadY = 1;
};
