#include "game/multiplayer/multiplayer.h"

#include <algorithm>

#include "engine/runtime/pdebug.h"
#include "game/frontend/fonts.h"

namespace {

Multiplayer::BackEnds g_backEnds;

// A back end that keeps answering events the facade skips must not hold the
// frame forever: after this many skipped events the poll ends with none.
constexpr int kMaxSkippedEvents = 64;

}  // namespace

void Multiplayer::SetBackEnds(const BackEnds& b)
{
    g_backEnds = b;
}

Multiplayer::~Multiplayer()
{
    Close();
}

int Multiplayer::Init(nettype kind)
{
    if (backEnd) {
        if (netType == kind)
            return 1;
        Close();
    }
    netType = kind;
    if (kind != kNetLocal && kind != kNetInternet) {
        _PDebug("Multiplayer: unknown network kind %d\n", int(kind));
        return 0;
    }
    if (!g_backEnds.create) {
        _PDebug("Multiplayer: no back end for network kind %d\n", int(kind));
        return 0;
    }
    backEnd.reset(g_backEnds.create(kind));
    if (!backEnd)
        return 0;
    if (!backEnd->IsInitialized()) {
        _PDebug("Multiplayer: back end %d did not start\n", int(kind));
        backEnd.reset();
        return 0;
    }
    return 1;
}

void Multiplayer::Close()
{
    backEnd.reset();
    linkStatus = 0;
}

int Multiplayer::PollEvent(int* sender, char* buffer, int capacity, int* length)
{
    if (length)
        *length = 0;
    MPInterface* b = Live();
    if (!b)
        return kEvNone;
    for (int skipped = 0; skipped < kMaxSkippedEvents; ++skipped) {
        switch (b->PollMessages()) {
        case EventList::kNone:
            return kEvNone;
        case EventList::kNotConnected:
            linkStatus = 0;
            return kEvLinkLost;
        case EventList::kConnected:
            linkStatus = kLinkUp;
            return kEvConnected;
        case EventList::kRejected:
            return kEvRejected;
        case EventList::kNameTaken:
            return kEvNameTaken;
        case EventList::kGameMessage:
            if (buffer && sender) {
                *sender = b->GetPayLoad(reinterpret_cast<unsigned char*>(buffer), unsigned(std::max(capacity, 0)));
                if (length)
                    *length = std::clamp(b->GetPayLoadLength(), 0, std::max(capacity, 0));
            }
            return kEvGameMessage;
        case EventList::kConfirmedSend:
            return kEvConfirmedSend;
        case EventList::kServerListReady:
        case EventList::kBusyConfirmed:
        case EventList::kSpareListReady:
            return kEvLobbyListReady;
        case EventList::kSpareNotice:
            return kEvNotice;
        case EventList::kSpareRoomRefused:
            return kEvRoomRefused;
        case EventList::kSpareRoomRefusedOther:
            return kEvRoomRefusedOther;
        case EventList::kRoomListReady:
            return kEvRoomListReady;
        case EventList::kPlayersChanged:
            return kEvPlayersChanged;
        case EventList::kRoomActionRejected:
            return kEvRoomActionRejected;
        case EventList::kBecameHost:
            isHost = 1;
            break;
        default:
            break;
        }
    }
    return kEvNone;
}

int Multiplayer::GetDeviceInfo(MPInterface::DeviceInfo& info)
{
    MPInterface* b = Live();
    return b ? b->GetDeviceInfo(info) : 0;
}

void Multiplayer::SetUserInfo(char* name)
{
    if (MPInterface* b = Live())
        b->SetUserInfo(name);
}

void Multiplayer::SetUserInfo(wchar_t* name)
{
    if (!Live())
        return;
    char narrow[MPInterface::kNameSize] = {};
    Fonts::WideToUtf8(narrow, int(sizeof narrow), name);
    SetUserInfo(narrow);
}

int Multiplayer::RequestGameRooms()
{
    MPInterface* b = Live();
    return b ? b->RequestGameRooms() : 0;
}

void Multiplayer::StopGameRoomRequest()
{
    if (MPInterface* b = Live())
        b->StopGameRoomRequest();
}

int Multiplayer::GetGameRoomCount()
{
    MPInterface* b = Live();
    return b ? b->GetGameRoomCount() : 0;
}

MPInterface::GameRoom* Multiplayer::GetGameRoom(int index)
{
    MPInterface* b = Live();
    return b ? b->GetGameRoom(index) : nullptr;
}

int Multiplayer::CreateGameRoom(MPInterface::GameRoom& room)
{
    MPInterface* b = Live();
    if (!b)
        return 0;
    isHost = 1;
    return b->HostGameRoom(room);
}

int Multiplayer::JoinGameRoom(int index)
{
    MPInterface* b = Live();
    if (!b)
        return 0;
    isHost = 0;
    return b->JoinGameRoom(index);
}

int Multiplayer::JoinGameRoom(const char* address, int port)
{
    MPInterface* b = Live();
    if (!b || (netType != kNetLocal && netType != kNetInternet))
        return 0;
    isHost = 0;
    return b->JoinGameRoom(address, port);
}

void Multiplayer::SetRelayFilter(MPInterface::RelayFilter filter, void* context)
{
    if (MPInterface* b = Live())
        b->SetRelayFilter(filter, context);
}

void Multiplayer::LeaveGameRoom()
{
    MPInterface* b = Live();
    if (!b || linkStatus == 0)
        return;
    b->LeaveGameRoom();
    // On the internet the lobby session stays when a room is left.
    if (!b->LobbyLinkUp())
        linkStatus = 0;
}

int Multiplayer::GetPlayerCount()
{
    MPInterface* b = Live();
    return b ? b->NumPlayers() : 0;
}

MPInterface::ClientInfo* Multiplayer::GetPlayer(int index)
{
    MPInterface* b = Live();
    return b ? b->GetPlayer(index) : nullptr;
}

int Multiplayer::GetPlayerName(int id, char* buffer, int capacity)
{
    MPInterface* b = Live();
    return b ? b->GetPlayerName(id, buffer, capacity) : 0;
}

int Multiplayer::GetMyID()
{
    MPInterface* b = Live();
    return b ? b->MyClientID() : 0;
}

int Multiplayer::GetStatus()
{
    MPInterface* b = Live();
    return b ? b->GetStatus() : 0;
}

int Multiplayer::isConnectionAvailable()
{
    if (!backEnd || !g_backEnds.addressAvailable)
        return 0;
    return g_backEnds.addressAvailable();
}

int Multiplayer::SendToAll(unsigned char* data, int length, bool flag)
{
    MPInterface* b = Live();
    return b ? b->SendToAll(data, length, flag) : 0;
}

int Multiplayer::SendToAllConfirm(unsigned char* data, int length)
{
    MPInterface* b = Live();
    return b ? b->SendToAllConfirm(data, length) : 0;
}

int Multiplayer::ClientsReady()
{
    MPInterface* b = Live();
    return b ? b->ClientsReady() : 0;
}

int Multiplayer::SetBusyState(unsigned char busy)
{
    MPInterface* b = Live();
    return b ? b->SendBusyStateReq(busy) : 0;
}

int Multiplayer::GetHostID()
{
    MPInterface* b = Live();
    return b ? b->HostClientID() : -1;
}

int Multiplayer::RequestLobbys(int count)
{
    MPInterface* b = Lobby();
    return b ? b->RequestLobbys(count) : 0;
}

void Multiplayer::StopLobbyRequest()
{
    if (MPInterface* b = Lobby())
        b->StopLobbyRequest();
}

int Multiplayer::GetLobbyCount()
{
    MPInterface* b = Lobby();
    return b ? b->GetLobbyCount() : 0;
}

MPInterface::LobbyInfo* Multiplayer::GetLobby(int index)
{
    MPInterface* b = Lobby();
    return b ? b->GetLobby(index) : nullptr;
}

int Multiplayer::ConnectToLobby(int index)
{
    MPInterface* b = Lobby();
    return b ? b->ConnectToLobby(index) : 0;
}

int Multiplayer::ConnectToLobby(const char* address, int port)
{
    MPInterface* b = Lobby();
    return b ? b->ConnectToLobby(address, port) : 0;
}

void Multiplayer::LeaveLobby()
{
    if (MPInterface* b = Lobby())
        b->LeaveLobby();
}

void Multiplayer::GetJoinedLobbyName(char* buffer, int capacity)
{
    if (buffer && capacity > 0)
        buffer[0] = 0;
    if (MPInterface* b = Lobby())
        b->GetJoinedLobbyName(buffer, capacity);
}

void Multiplayer::SetLobbysFilter_Name(const char* name)
{
    if (MPInterface* b = Lobby())
        b->SetLobbysFilter_Name(name);
}

void Multiplayer::SetLobbysFilter_Nearest(unsigned char nearMe)
{
    if (MPInterface* b = Lobby())
        b->SetLobbysFilter_Nearest(nearMe);
}

void Multiplayer::SetLobbysFilter_Sort(VOrededidaza::ServerFilter::SortingKey key)
{
    if (MPInterface* b = Lobby())
        b->SetLobbysFilter_Sort(key);
}
