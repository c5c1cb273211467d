// Fuzz target: a compiled mission script from untrusted bytes, built into
// objects, commands and events (no level: every object is left out) and run
// for a few frames; its intro camera's timed texts are walked through.
#include <cstddef>
#include <cstdint>

#include "game/world/gameplayobject.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "mission_vocabulary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ScriptReader reader;
    FuzzMissionReader(reader);
    if (!reader.LoadFromBuffer(data, size))
        return 0;
    SPLM m;
    m.LoadVirtualDebriefFromHeader(nullptr, &reader);
    for (int frame = -10; frame < 400; frame += 7)
        m.GetNextVDText(frame);
    GPO* player = new GPO;
    player->SetInternalHealthRef();
    m.SetPlayer(player);
    if (!m.DefineGPOs(nullptr, nullptr, nullptr, nullptr, &reader, nullptr, nullptr))
        return 0;
    for (unsigned t = 0; t < 2000; t += 100)
        m.HandleLevelEvents(nullptr, t, 100);
    return 0;
}
