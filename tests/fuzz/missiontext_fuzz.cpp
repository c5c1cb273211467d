// The mission script text reader on arbitrary text: the preparation passes
// and the block reader must end (templates that use themselves included)
// without reading out of bounds.
#include <cstdint>
#include <string>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "mission_vocabulary.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    ScriptReader r;
    // The text reader finds each array element by searching its group, so
    // a smaller budget keeps every input quick.
    FuzzMissionReader(r, 64);
    r.SetContent(std::string(reinterpret_cast<char const*>(data), size));
    r.RemoveComments();
    r.PreprocessTemplates();
    r.RemoveTemplateDefinitions();
    r.ReadDefinitions();
    return SPLM::GetGpos_count(&r) < 0 ? 1 : 0;
}
