// The wakes of a level: the wake meshes, the waves of the objects that
// leave wakes, and the level's water areas (one per "Null_Water" null point,
// found by area cell).
#pragma once
#include <cstdint>
#include <vector>

#include "engine/runtime/pmath3d.h"

class P3D;
class P3DAnim;
class P3DGameEngine;
class PMesh;
class PTextureManager;
class Wave;

struct WaterArea {
    int32_t ax = 0, ay = 0, az = 0; // area cell
    int32_t level = 0;              // water height (16.16)
};

class WavesManager {
public:
    WavesManager() = default;
    ~WavesManager();
    WavesManager(WavesManager const&) = delete;
    WavesManager& operator=(WavesManager const&) = delete;

    // Loads a wake mesh; a mesh that does not load is not added.
    void AddMesh(const char* file, const char* textureFolder, PTextureManager* tm);
    void AddWave(Wave* w)
    {
        if (w)
            waves.push_back(w);
    }
    void AddWaterArea(int ax, int ay, int az, int level) { areas.push_back({ax, ay, az, level}); }
    void InitWaterAreas(P3DGameEngine* engine, P3DAnim* scene);
    // The water area of the position's cell, or null.
    const WaterArea* GetWaterLevelArea(const PVector3& pos, P3DAnim* scene) const;
    void RenderWaves(P3D* gl);

    std::vector<PMesh*> meshes; // owned
    std::vector<Wave*> waves;   // not owned
    std::vector<WaterArea> areas;
};
