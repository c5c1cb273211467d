// Smoke and splash particles: 32 slots of camera-facing quads that rise and
// grow (smoke) or shrink (splash) while they fade, one step per drawn frame.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

class P3D;
class PTextureManager;

class MySmoke {
public:
    enum Kind : uint8_t { kSmoke = 3, kSplash = 4 };
    static constexpr int kSlots = 32;
    static constexpr int kSmokeLife = 44;
    static constexpr int kSplashLife = 20;

    struct Particle {
        int32_t x = 0, y = 0, z = 0;
        int32_t life = 0; // frames left, 0 = free
        uint8_t kind = kSmoke;
    };

    MySmoke() = default;
    void Clear();
    // The first free slot takes the particle; nothing when all are alive
    // or the kind is neither smoke nor splash.
    void AddParticle(const PVector3& pos, unsigned char kind);
    // A smoke particle in the first free slot i, spread by 144 raw units
    // times i along x (alternating sides) and z.
    void AddParticle(const PVector3& pos, const PVector3& offset);
    // Draws and ages every live particle; textures is indexed by kind.
    void Render(P3D* gl, PTextureManager* tm, const int* textures);
    int LiveCount() const;

    Particle slots[kSlots];
    int32_t spin = 0; // 16.16 degrees
};
