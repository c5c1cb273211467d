// The headless event script parser on arbitrary bytes: it must refuse or
// accept without reading out of bounds, and what it accepts is in range.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/hostscript.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    std::vector<host::ScriptItem> items;
    host::ParseScript(reinterpret_cast<char const*>(data), size, &items);
    for (host::ScriptItem const& item : items) {
        host::Event const& e = item.event;
        if (e.touchId < 0 || e.touchId > host::kScriptMaxTouchId || e.x < -host::kScriptMaxCoord ||
            e.x > host::kScriptMaxCoord || e.y < -host::kScriptMaxCoord || e.y > host::kScriptMaxCoord ||
            e.angle < 0 || e.angle > 359 || item.at > 0x7FFFFFFFu)
            std::abort();
    }
    return 0;
}
