// Fuzz target: a room announcement datagram from an untrusted device on the
// local network, read into the room table of the local-network back end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/net/inetaddr.h"
#include "game/multiplayer/ipinterface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(IPInterface::kMaxDatagram))
        return 0;
    IPInterface ip;
    // Each input twice: the second reading refreshes or closes the first.
    for (int i = 0; i < 2; ++i)
        ip.handleGameRoomInfo(reinterpret_cast<const char*>(data), int(size), PInetAddr("10.1.2.3"));
    if (ip.GetGameRoomCount() > IPInterface::kMaxRooms)
        abort();
    for (int i = 0; i < ip.GetGameRoomCount(); ++i) {
        MPInterface::GameRoom* r = ip.GetGameRoom(i);
        if (!r || strnlen(r->name, sizeof r->name) >= sizeof r->name || r->hostAddress.port == 0 ||
            !IPInterface::isValidIP(r->hostAddress.address))
            abort();
    }
    return 0;
}
