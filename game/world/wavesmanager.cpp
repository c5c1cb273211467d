#include "game/world/wavesmanager.h"

#include <GLES/gl.h>

#include "engine/graphics/p3d.h"
#include "engine/runtime/palloc.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dmeshlink.h"
#include "game/world/wave.h"

WavesManager::~WavesManager()
{
    for (PMesh* m : meshes)
        P3DMeshDelete(m);
}

void WavesManager::AddMesh(const char* file, const char* textureFolder, PTextureManager* tm)
{
    PMesh* m = file ? P3DMeshLoad(file, tm, textureFolder) : nullptr;
    if (m)
        meshes.push_back(m);
}

void WavesManager::InitWaterAreas(P3DGameEngine*, P3DAnim* scene)
{
    if (!scene)
        return;
    P3DNullPoint** list = nullptr;
    int n = scene->GetNullPointersByName("Null_Water", list);
    for (int i = 0; i < n && list; i++) {
        int x, y, z;
        list[i]->GetPosition(x, y, z);
        AddWaterArea(scene->Coord2Area(x, 1), scene->Coord2Area(y, 1), scene->Coord2Area(z, 1), y);
    }
    PFree(list);
}

const WaterArea* WavesManager::GetWaterLevelArea(const PVector3& pos, P3DAnim* scene) const
{
    if (!scene)
        return nullptr;
    int ax, ay, az;
    scene->GetModelClipAreaByGlobalPos(pos.x, pos.y, pos.z, ax, ay, az);
    for (const WaterArea& a : areas)
        if (a.ax == ax && a.ay == ay && a.az == az)
            return &a;
    return nullptr;
}

void WavesManager::RenderWaves(P3D* gl)
{
    if (!gl || meshes.empty())
        return;
    gl->glEnable(GL_ALPHA_TEST);
    gl->glEnable(GL_BLEND);
    gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl->glDisable(GL_CULL_FACE);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    for (Wave* w : waves)
        if (w->active == 1)
            w->Render(gl, meshes[0]);
    gl->glDisable(GL_BLEND);
    gl->glEnable(GL_CULL_FACE);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
}
