// Fuzz target: a game message from an untrusted peer, read by the checked
// decoder and written back.
#include <cstddef>
#include <cstdint>

#include "engine/runtime/pdebugpeer.h"
#include "game/multiplayer/gamemessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(GameMessage::kMaxSize))
        return 0;
    // The log's limits on peers' lines start afresh: an input's outcome does
    // not depend on the inputs before it.
    PDebugPeerReset();
    GameMessage m;
    if (!GameMessage::Decode(data, int(size), m))
        return 0;
    uint8_t out[GameMessage::kMaxSize];
    m.Encode(out, sizeof out);
    return 0;
}
