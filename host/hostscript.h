// The headless event script: one timed event per line (layout in
// docs/formats/events.md). The text is untrusted: every field is checked.
#pragma once
#include <cstddef>
#include <vector>

#include "host/hostevents.h"

namespace host {

struct ScriptItem {
    enum Kind { EVENT, ACCEL, ACCEL_FAIL };
    enum Unit { FRAMES, MILLISECONDS };
    int kind = EVENT;
    int unit = FRAMES;
    unsigned at = 0;     // frames presented, or milliseconds since the start
    Event event;         // kind EVENT
    double ax = 0, ay = 0, az = 0; // kind ACCEL, in g
    int line = 0;
};

constexpr size_t kScriptMaxBytes = 1 << 20;
constexpr int kScriptMaxLine = 255;
constexpr int kScriptMaxCoord = 65535;
constexpr int kScriptMaxTouchId = 0x7FFF;

// Parses text of len bytes into items; 0 with a logged message naming the
// line on any fault (items then holds what came before it).
int ParseScript(char const* text, size_t len, std::vector<ScriptItem>* items);
// Reads and parses a script file.
int LoadScript(char const* path, std::vector<ScriptItem>* items);

} // namespace host
