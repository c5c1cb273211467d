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
    // Each input from sources a room can and cannot be reached at, twice
    // from one: the second reading refreshes or closes the first.
    const unsigned senders[] = {PInetAddr("10.1.2.3"), PInetAddr("10.1.2.3"), 0, PInetAddr("224.0.0.3"),
                                0xFFFFFFFFu, PInetAddr("127.0.0.1"), PInetAddr("10.1.2.223")};
    for (unsigned sender : senders)
        ip.handleGameRoomInfo(reinterpret_cast<const char*>(data), int(size), sender);
    if (ip.GetGameRoomCount() > IPInterface::kMaxRooms)
        abort();
    for (int i = 0; i < ip.GetGameRoomCount(); ++i) {
        MPInterface::GameRoom* r = ip.GetGameRoom(i);
        if (!r || strnlen(r->name, sizeof r->name) >= sizeof r->name || r->hostAddress.port == 0 ||
            !IPInterface::isValidIP(r->hostAddress.address))
            abort();
        int sameAddress = 0;
        for (int j = 0; j < ip.GetGameRoomCount(); ++j)
            sameAddress += ip.GetGameRoom(j)->hostAddress.address == r->hostAddress.address;
        if (sameAddress > IPInterface::kRoomsPerAddress)
            abort();
    }
    return 0;
}
