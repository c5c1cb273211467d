// Levels of detail: per pool mesh, lower-detail meshes loaded from
// name + suffix + level digit, chosen by the distance of a model from the
// view plane.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

class PMesh;
class PString;
class PTextureManager;

class P3DLods {
public:
    P3DLods();
    ~P3DLods();
    P3DLods(P3DLods const&) = delete;
    P3DLods& operator=(P3DLods const&) = delete;

    // Turns the set on or off; levels > 0 sets the level count with zeroed
    // thresholds, 0 leaves no levels. The suffix is copied (null: none).
    void SetUsing(bool use, unsigned char levels, const char* suffix);
    // Threshold of a level (16.16 distance); only for an existing level
    // while in use.
    void SetDistance(unsigned char level, int distance);
    // Loads level k of every name from meshDir + name + suffix + ('1' + k) +
    // ".pof", trying the texture directories in order; levels that do not
    // load stay null. Replaces any earlier set. 0 when memory is exhausted.
    int FindAndLoadMeshes(char** names, int count, PString** textureDirs, unsigned char dirCount,
                          const char* meshDir, PTextureManager* tm);
    int FindAndLoadMeshes(char** names, int count, const char* textureDir, const char* meshDir,
                          PTextureManager* tm);
    // The level for a model of pool mesh `mesh` at (x, y, z) seen from the
    // view plane: 1 and the level mesh in out (possibly null: the model is
    // not drawn at that distance); 0 when the pool mesh itself is drawn
    // (too near, behind the viewer, or a mesh index out of range).
    int GetMeshByLods(int mesh, const PPlane3* view, int x, int y, int z, PMesh*& out, int& depth, int& level);
    void FreeMeshes();

    uint8_t levelCount = 0;
    int32_t meshCount = 0;
    PMesh*** meshes = nullptr;   // [mesh][level]
    int32_t* thresholds = nullptr;
    uint8_t inUse = 0;
    char* suffix = nullptr;
};
