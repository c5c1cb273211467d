#include "game/multiplayer/mpbackends.h"

#include "game/multiplayer/ipinterface.h"
#include "game/multiplayer/multiplayer.h"
#include "game/multiplayer/nvserverinterface.h"

MPInterface* CreateNetworkBackEnd(int32_t kind)
{
    if (kind == Multiplayer::kNetLocal)
        return new IPInterface();
    if (kind == Multiplayer::kNetInternet)
        return new NVServerInterface();
    return nullptr;
}

int NetworkAddressAvailable()
{
    unsigned address;
    return GetHostAddr(address);
}

void InstallNetworkBackEnds()
{
    Multiplayer::BackEnds b;
    b.create = &CreateNetworkBackEnd;
    b.addressAvailable = &NetworkAddressAvailable;
    Multiplayer::SetBackEnds(b);
}
