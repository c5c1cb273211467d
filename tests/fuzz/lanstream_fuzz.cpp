// Fuzz target: the byte stream of a game connection of the local-network
// back end from an untrusted peer, read by a host (from one of its clients)
// or by a client (from its host), delivered in pieces of every size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "../game/multiplayer/lan_test_util.h"
#include "engine/runtime/pdebugpeer.h"
#include "scripted_socket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    // The log's limits on peers' lines start afresh: an input's outcome does
    // not depend on the inputs before it.
    PDebugPeerReset();
    const bool host = data[0] & 1;
    const int piece = 1 + (data[0] >> 1) % 64;
    ScriptedSocket* peer = new ScriptedSocket(data + 1, size - 1, piece);
    peer->Open(0, 0, 0);
    IPInterface ip;
    if (host) {
        IPInterfaceTestAccess::BecomeHost(ip, "HOST");
        IPInterfaceTestAccess::AdoptClient(ip, peer);
    } else {
        IPInterfaceTestAccess::BecomeClient(ip, "CLIENT", peer);
    }
    unsigned char payload[64];
    for (size_t i = 0; i < size + 8; ++i) {
        int e = ip.PollMessages();
        if (e == EventList::kGameMessage)
            ip.GetPayLoad(payload, sizeof payload);
        if (i % 7 == 0)
            ip.SendToAll(payload, 10, false);
        if (ip.NumPlayers() > IPInterface::kMaxPlayers || ip.MyClientID() < 0 || ip.MyClientID() > 3)
            abort();
        for (int p = 0; p < ip.NumPlayers(); ++p)
            if (strnlen(ip.GetPlayer(p)->name, 32) > 31)
                abort();
    }
    return 0;
}
