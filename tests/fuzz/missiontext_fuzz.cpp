// The mission script text reader on arbitrary text: the preparation passes
// and the block reader must end (templates that use themselves included)
// without reading out of bounds.
#include <cstdint>
#include <string>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "mission_vocabulary.h"

constexpr size_t kMaxText = 512;

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    ScriptReader r;
    // Every array element copies its keywords' schema, so a small budget
    // keeps every input quick.
    FuzzMissionReader(r, 8);
    // The reader's cost grows with the text (about a microsecond a byte
    // under the sanitizers, more for every block and element it makes); past
    // 512 bytes a text only repeats what shorter ones reach, so the rest is
    // left off.
    size = size > kMaxText ? kMaxText : size;
    r.SetContent(std::string(reinterpret_cast<char const*>(data), size));
    r.RemoveComments();
    r.PreprocessTemplates();
    r.RemoveTemplateDefinitions();
    r.ReadDefinitions();
    return SPLM::GetGpos_count(&r) < 0 ? 1 : 0;
}
