// Fuzz target: a scene file from untrusted bytes, loaded and then animated,
// queried and culled as the game does.
#include <cstddef>
#include <cstdint>

#include "engine/runtime/palloc.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dsceneunit.h"

namespace {

uint32_t g_now = 0;
uint32_t Clock(void*) { return g_now; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    P3DAnim* a = P3DAnim::Create();
    if (!a)
        return 0;
    a->SetTimeSource(Clock, nullptr);
    // The octree has a node for every area on each level down to it (eight
    // leaves under each lowest node), so a scene of tens of thousands of
    // areas legitimately costs a large part of a second to load; the grid
    // code is the same with a few thousand.
    a->areaLimit = 1024;
    PMesh** meshes = nullptr;
    char** names = nullptr;
    int count = 0;
    if (a->LoadFromMemory(data, unsigned(size), nullptr, 0, "data\\objects\\", nullptr, meshes, names, &count)) {
        g_now = 0;
        P3DSceneUnit unit(a);
        unit.SetLoop(0, 50);
        for (int step = 0; step < 4; step++) {
            g_now += 400;
            unit.Animate();
            a->PlayCamera();
            a->AnimateCamera();
        }
        int x, y, z;
        for (int i = 0; i < a->modelCount; i++)
            a->GetModelPosition(i, &x, &y, &z);
        for (int i = 0; i < a->nullCount; i++)
            a->nulls[i]->GetPosition(&x, &y, &z);
        a->GetSphereTriggerIdThatPointBelongs(PVector3(0, 0, 0));
        PPlane3 planes[6] = {{0x10000, 0, 0, 0x100000}, {-0x10000, 0, 0, 0x100000}, {0, 0x10000, 0, 0x100000},
                             {0, -0x10000, 0, 0x100000}, {0, 0, 0x10000, 0x100000}, {0, 0, -0x10000, 0x100000}};
        a->SetFrustumCheckingByAreas(true);
        a->SetModelClip(false);
        a->RefreshAreasInFrustumList(planes);
        a->RefreshAllTransitionsAtFrame(7);
        a->SetCurrentModelClipAreaByGlobalPos(0x50000, -0x50000, 0x50000);
        a->SetCurrentModelClipAreaByGlobalPos(0x50000, -0x50000, 0x50000);
        a->RefreshModelClipArea();
        a->SetModelClip(true);
        a->RefreshAllTransitionsAtFrame(9);
        a->InitBoxCollPrecalculations();
        for (int i = 0; i < count; i++)
            PFree(names[i]);
        PFree(names);
        PFree(meshes);
    }
    delete a;
    return 0;
}
