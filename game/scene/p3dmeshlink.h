// The few mesh and texture operations the scene engine needs, in one place:
// the seam between the scene engine and the mesh class. The operations can
// be replaced as a whole (tests draw scenes of stand-in meshes through it).
#pragma once
#include <cstdint>

class GLES;
class PMesh;
class PTextureManager;

struct P3DMeshOps {
    // The mesh's bounding box as {min x, y, z, max x, y, z} (16.16); 0 for
    // a null mesh.
    int (*box)(PMesh* mesh, int32_t* box);
    // Loads a .pof mesh; null when it cannot be loaded.
    PMesh* (*load)(const char* path, PTextureManager* tm, const char* textureDir);
    void (*destroy)(PMesh* mesh);
    // Draws the whole mesh; nothing for null.
    void (*render)(PMesh* mesh, GLES* gl);
};

// Replaces the mesh operations; null restores the built-in ones.
void P3DSetMeshOps(const P3DMeshOps* ops);

int P3DMeshBox(PMesh* mesh, int32_t* box);
PMesh* P3DMeshLoad(const char* path, PTextureManager* tm, const char* textureDir);
void P3DMeshDelete(PMesh* mesh);
void P3DMeshRender(PMesh* mesh, GLES* gl);
// out = dir + name + suffix + (digit > 0 ? the digit : nothing) + ".pof";
// 0 (logged) when it does not fit in outSize bytes.
int P3DMakeMeshPath(char* out, int outSize, const char* dir, const char* name, const char* suffix, int digit);
// Makes a texture of the cache current; nothing for a null cache or a
// handle of 0 or less.
void P3DTextureSet(PTextureManager* tm, int handle);
