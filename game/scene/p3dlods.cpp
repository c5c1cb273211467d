#include "game/scene/p3dlods.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebugmute.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dutils.h"

P3DLods::P3DLods() = default;

P3DLods::~P3DLods()
{
    FreeMeshes();
    PFree(thresholds);
    PFree(suffix);
}

void P3DLods::FreeMeshes()
{
    if (meshes) {
        for (int i = 0; i < meshCount; i++) {
            if (!meshes[i])
                continue;
            for (int k = 0; k < levelCount; k++)
                P3DMeshDelete(meshes[i][k]);
            PFree(meshes[i]);
        }
        PFree(meshes);
    }
    meshes = nullptr;
    meshCount = 0;
}

void P3DLods::SetUsing(bool use, unsigned char levels, const char* s)
{
    FreeMeshes();
    inUse = use ? 1 : 0;
    PFree(thresholds);
    thresholds = nullptr;
    levelCount = 0;
    if (levels > 0) {
        thresholds = static_cast<int32_t*>(PAllocZ(levels * 4));
        if (thresholds)
            levelCount = levels;
    }
    PFree(suffix);
    suffix = nullptr;
    if (s) {
        int n = PStrLen(s);
        suffix = static_cast<char*>(PAlloc(n + 1));
        if (suffix)
            PStrCpy(suffix, s);
    }
}

void P3DLods::SetDistance(unsigned char level, int distance)
{
    if (level < levelCount && inUse)
        thresholds[level] = distance;
}

int P3DLods::FindAndLoadMeshes(char** names, int count, PString** textureDirs, unsigned char dirCount,
                               const char* meshDir, PTextureManager* tm)
{
    FreeMeshes();
    if (count <= 0 || !names)
        return 1;
    meshes = static_cast<PMesh***>(PAllocZ(count * int(sizeof(PMesh**))));
    if (!meshes)
        return 0;
    meshCount = count;
    for (int i = 0; i < count; i++) {
        meshes[i] = static_cast<PMesh**>(PAllocZ((levelCount ? levelCount : 1) * int(sizeof(PMesh*))));
        if (!meshes[i])
            return 0;
        if (!names[i])
            continue;
        for (int k = 0; k < levelCount; k++) {
            char path[512];
            if (!P3DMakeMeshPath(path, sizeof path, meshDir, names[i], suffix, k + 1))
                continue;
            for (int d = 0; d < dirCount && !meshes[i][k]; d++) {
                // Only the last folder's miss is a failure worth a log line.
                PDebugMute quiet(d + 1 < dirCount);
                meshes[i][k] = P3DMeshLoad(path, tm, textureDirs[d] ? textureDirs[d]->c_str() : "");
            }
        }
    }
    return 1;
}

int P3DLods::FindAndLoadMeshes(char** names, int count, const char* textureDir, const char* meshDir,
                               PTextureManager* tm)
{
    PString dir(textureDir ? textureDir : "");
    PString* dirs[1] = {&dir};
    return FindAndLoadMeshes(names, count, dirs, 1, meshDir, tm);
}

int P3DLods::GetMeshByLods(int mesh, const PPlane3* view, int x, int y, int z, PMesh*& out, int& depth, int& level)
{
    out = nullptr;
    if (mesh < 0 || mesh >= meshCount || !meshes || !meshes[mesh] || levelCount == 0)
        return 0;
    int64_t d = P3DUtils::PlaneDistance(*view, x, y, z);
    depth = d > INT32_MAX ? INT32_MAX : d < INT32_MIN ? INT32_MIN : int(d);
    if (d < 1) {
        level = 0;
        return 0;
    }
    if (d < thresholds[0])
        return 0;
    if (levelCount == 1) {
        level = 1;
        out = meshes[mesh][0];
        return 1;
    }
    for (int k = 0; k + 1 < levelCount; k++)
        if (thresholds[k] < d && d <= thresholds[k + 1]) {
            level = k + 1;
            out = meshes[mesh][k];
            return 1;
        }
    level = levelCount;
    out = meshes[mesh][levelCount - 1];
    return 1;
}
