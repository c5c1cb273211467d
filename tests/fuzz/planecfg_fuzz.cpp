// Fuzz target: an aircraft definition file from untrusted bytes, read by the
// game's checked reader, and its configuration built without a scene
// manager.
#include <cstddef>
#include <cstdint>

#include "game/world/planescene.h"
#include "game/world/planesmanager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(PlanesManager::kMaxFileSize))
        return 0;
    auto c = PlanesManager::ParseConfig(reinterpret_cast<const char*>(data), int(size));
    if (!c)
        return 0;
    PlanesManager m(nullptr);
    m.AddPlane(std::move(c));
    PlaneScene ps;
    PVector3 at, angles;
    m.SetNewPlaneOnScene(0, &ps, nullptr, "Null_Player", at, angles, 1);
    return 0;
}
