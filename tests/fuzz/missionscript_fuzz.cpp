// The compiled mission script reader on arbitrary bytes, under the game's
// mission vocabulary: it must load or refuse without reading out of bounds
// or allocating without limit, and what it loads must be walkable by the
// mission accessors.
#include <cstdint>
#include <cstdlib>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "mission_vocabulary.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    ScriptReader r;
    FuzzMissionReader(r);
    if (!r.LoadFromBuffer(data, size))
        return 0;
    // Read values are summed as unsigned, so that any value the file holds adds up.
    unsigned sum = unsigned(SPLM::GetEnergy_mainPlayer(&r)) + unsigned(SPLM::GetMissionDescription(&r)) +
                   unsigned(SPLM::GetPlane_mainPlayer(&r));
    for (int i = 0; i < SPLM::GetGpos_count(&r); i++) {
        Definition* g = SPLM::GetGpos_arrayElement(&r, i);
        for (int w = 0; w < SPLM::GetWeaponsAvailableCount_gpo(g); w++) {
            int index, ammo;
            SPLM::GetWeaponData_gpo(g, index, ammo, w);
            sum += unsigned(index) + unsigned(ammo);
        }
        PString* name = nullptr;
        SPLM::GetModelGroupData_gpo(g, name, 0);
    }
    for (int i = 0; i < SPLM::GetEvents_count(&r); i++) {
        Definition* e = SPLM::GetEvents_arrayElement(&r, i);
        for (int c = 0; c < SPLM::GetEventsCommands_count(e); c++)
            sum += SPLM::GetEventsCommands_arrayElement(e, c) ? 1u : 0u;
    }
    SPLM::FixMultiplayerDataInParsedScript(nullptr, &r, 1, 1, 2, 1);
    SPLM::FixArcadeDataInParsedScript(nullptr, &r, 0, 2, 0, 1, 6, 0, 2, 0, 30, 1);
    SmartCamera* cams = nullptr;
    unsigned short count = 0;
    SPLM manager;
    manager.GetCameraLock_mainPlayer(&r, cams, count);
    SPLM::FreeCameraLocks(cams, count);
    return sum == 0x7FFFFFFFu ? 1 : 0;
}
