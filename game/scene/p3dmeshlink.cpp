#include "game/scene/p3dmeshlink.h"

#include "engine/runtime/pdebug.h"

int P3DMakeMeshPath(char* out, int outSize, const char* dir, const char* name, const char* suffix, int digit)
{
    int n = 0;
    auto put = [&](const char* s) {
        for (; s && *s; s++) {
            if (n + 1 >= outSize)
                return false;
            out[n++] = *s;
        }
        return true;
    };
    char d[2] = {char(digit > 0 ? '0' + digit : 0), 0};
    if (!put(dir) || !put(name) || !put(suffix) || !put(d) || !put(".pof")) {
        out[0] = 0;
        _PDebug("P3DAnim: mesh path of \"%s\" too long\n", name ? name : "");
        return 0;
    }
    out[n] = 0;
    return 1;
}

#if __has_include("engine/graphics/pmesh.h")
#include "engine/graphics/pmesh.h"

int P3DMeshBox(PMesh* mesh, int32_t* box)
{
    if (!mesh)
        return 0;
    PAABB3 b;
    mesh->BoundingBox(b);
    box[0] = b.min.x, box[1] = b.min.y, box[2] = b.min.z;
    box[3] = b.max.x, box[4] = b.max.y, box[5] = b.max.z;
    return 1;
}

PMesh* P3DMeshLoad(const char* path, PTextureManager* tm, const char* textureDir)
{
    return PMesh::CreateFromFile(path, tm, textureDir);
}

void P3DMeshDelete(PMesh* mesh)
{
    delete mesh;
}

#else

// Meshes are not part of the build yet: none loads.
int P3DMeshBox(PMesh*, int32_t*)
{
    return 0;
}

PMesh* P3DMeshLoad(const char* path, PTextureManager*, const char*)
{
    _PDebug("P3DAnim: no mesh loader in this build, \"%s\" not loaded\n", path);
    return nullptr;
}

void P3DMeshDelete(PMesh*) {}
#endif
