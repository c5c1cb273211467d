// The level catalogue reader on arbitrary bytes: it keeps whole records only
// and its groups stay within the records.
#include <cstdint>
#include <cstdlib>

#include "game/world/levelsmanager.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    LevelsManager m(nullptr, nullptr, nullptr);
    m.LoadLevelConfig(nullptr, data, size);
    if (m.RecordCount() > LevelsManager::kMaxRecords)
        std::abort();
    for (int mode = 0; mode < 5; mode++) {
        LevelsGroup* g = m.AddLevelsGroup(mode, 0);
        for (int i = 0; i < g->Count(); i++) {
            LevelConfig* c = g->GetLevelConfig(i);
            if (!c || c->mode != mode || (i > 0 && g->GetLevelConfig(i - 1)->mission > c->mission))
                std::abort();
        }
        g->ProcessLevelsWindow(8 | 16, 2);
    }
    return 0;
}
