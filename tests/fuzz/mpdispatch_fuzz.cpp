// Fuzz target: game messages from untrusted peers reaching the match
// session's dispatcher through the back end, during a running 3-player
// match on the in-memory network. Input: one byte choosing the receiver
// (even: the host, odd: a client), then records of a sender byte, a 16-bit
// big-endian length and that many message bytes.
#include <cstddef>
#include <cstdint>

#include "../game/multiplayer/matchrig.h"
#include "engine/runtime/pdebugpeer.h"

namespace {

constexpr int kMaxRecords = 32;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 16384)
        return 0;
    // The log's limits on peers' lines start afresh: an input's outcome does
    // not depend on the inputs before it.
    PDebugPeerReset();
    rig::Driver d(3);
    if (!d.StartMatch(0))
        return 0;
    rig::Peer& to = *d.peers[data[0] & 1];
    size_t at = 1;
    // Every record costs a frame of the whole three-player match, so an
    // input delivers at most 32; more only repeat what the dispatcher does.
    for (int records = 0; records < kMaxRecords && at + 3 <= size; records++) {
        int sender = data[at] % 5 - 1;  // -1 to 3: strangers and myself too
        size_t length = size_t(data[at + 1]) << 8 | data[at + 2];
        at += 3;
        length = std::min(length, size - at);
        if (rig::Member* net = to.Net())
            net->inbox.push_back({sender, std::vector<uint8_t>(data + at, data + at + length), d.hub.now});
        at += length;
        d.Step();
    }
    // Respawns, winner checks and lag marks on what arrived, in frames of
    // 100 ms (a slow device's rate) so that the 2.5 s cost a quarter of the
    // frames.
    d.Run(2500, 100);
    return 0;
}
