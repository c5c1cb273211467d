// The few mesh operations the scene engine needs, in one place.
#pragma once
#include <cstdint>

class PMesh;
class PTextureManager;

// The mesh's bounding box as {min x, y, z, max x, y, z} (16.16); 0 for a
// null mesh.
int P3DMeshBox(PMesh* mesh, int32_t* box);
// Loads a .pof mesh; null when it cannot be loaded.
PMesh* P3DMeshLoad(const char* path, PTextureManager* tm, const char* textureDir);
void P3DMeshDelete(PMesh* mesh);
// out = dir + name + suffix + (digit > 0 ? the digit : nothing) + ".pof";
// 0 (logged) when it does not fit in outSize bytes.
int P3DMakeMeshPath(char* out, int outSize, const char* dir, const char* name, const char* suffix, int digit);
