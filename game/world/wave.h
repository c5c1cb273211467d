// A water wake: short-lived marks left behind an object moving on the
// water, added at most once per interval and drawn growing and fading.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"

class MySmoke;
class P3D;
class PMesh;

struct WaveElement {
    int32_t x = 0, y = 0, z = 0;
    int32_t yaw = 0;   // 16.16 degrees
    int16_t life = 0;  // drawn frames left
};

class Wave {
public:
    static constexpr int kLife = 20;
    static constexpr int32_t kReach = 0x38000;      // 3.5: farthest from the water
    static constexpr int32_t kLevelDrop = 28180;    // the wake sits this far below the water
    static constexpr int32_t kSplashHeight = 2 << 16;
    static constexpr int32_t kSplashSpread = 49152;

    Wave(unsigned char count, unsigned int interval);
    ~Wave() = default;
    void SetSize(int s) { size = s; }
    void InitWaveElements();
    static void InitWaveElement(WaveElement* e) { *e = WaveElement(); }
    // A new mark at pos (moved half of dir ahead), at most one per interval
    // and only within 3.5 of the water; a splash when low enough.
    void Add(const PVector3* pos, const PVector3* dir, int yaw, int waterLevel, unsigned int now, MySmoke* smoke);
    void Render(P3D* gl, PMesh* mesh);

    std::vector<WaveElement> elements;
    int32_t level = 0;
    unsigned int lastAdd = 0;
    unsigned int interval = 0;
    uint8_t active = 0;
    PRand2 random;
    int32_t size = 0x10000;
};
