// The program's multiplayer back ends for the facade: the local network
// (kind 1) and the internet (kind 3).
#pragma once
#include <cstdint>

class MPInterface;

// A new back end of that kind, null for another kind or without memory.
MPInterface* CreateNetworkBackEnd(int32_t kind);
// 1 when the device has a usable IPv4 address.
int NetworkAddressAvailable();
// Hands both to the facade (Multiplayer::SetBackEnds); the program calls it
// once before the first multiplayer session.
void InstallNetworkBackEnds();
