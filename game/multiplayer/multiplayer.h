// The game-side facade over one multiplayer back end: it creates the back
// end of the chosen network kind, forwards room, player and send operations
// to it, offers the internet back end's lobby-server operations, and turns
// the back end's event codes into the session events the match session acts
// on. It also keeps whether this device hosts the room and whether the link
// is up.
#pragma once
#include <cstdint>
#include <memory>

#include "game/multiplayer/mpinterface.h"

class Multiplayer {
public:
    // Network kinds; any other value makes Init fail.
    using nettype = int32_t;
    static constexpr nettype kNetNone = 0;
    static constexpr nettype kNetLocal = 1;
    static constexpr nettype kNetInternet = 3;

    // linkStatus while connected.
    static constexpr int32_t kLinkUp = 3;

    // Session events, the results of PollEvent.
    enum SessionEvent : int {
        kEvNone = 0,
        kEvLobbyListReady = 1,  // also a confirmed busy state
        kEvRoomActionRejected = 2,
        kEvConnected = 3,
        kEvLinkLost = 4,
        kEvRejected = 5,
        kEvNameTaken = 6,
        // From codes no back end posts (EventList::kSpare...): a notice the
        // session ignores and two refusals of a room action.
        kEvNotice = 7,
        kEvRoomRefused = 8,
        kEvRoomRefusedOther = 9,
        kEvPlayersChanged = 10,
        kEvRoomListReady = 11,
        kEvConfirmedSend = 13,
        kEvGameMessage = 14,
    };

    // How back ends are made: create answers a new back end of a kind (null
    // when it cannot), addressAvailable whether the device has a usable
    // IPv4 address. Set once by the program (and by tests); without it no
    // back end can be made.
    struct BackEnds {
        MPInterface* (*create)(nettype kind) = nullptr;
        int (*addressAvailable)() = nullptr;
    };
    static void SetBackEnds(const BackEnds& b);

    Multiplayer() = default;
    virtual ~Multiplayer();
    Multiplayer(const Multiplayer&) = delete;
    Multiplayer& operator=(const Multiplayer&) = delete;

    // Makes the back end of a kind; 1 at once when one of that kind exists.
    int Init(nettype kind);
    void Close();
    // The next session event (0 for none). For a game message the message
    // is copied into buffer (at most capacity bytes), its sender stored in
    // *sender and its length in *length (when given).
    int PollEvent(int* sender, char* buffer, int capacity, int* length = nullptr);

    int GetDeviceInfo(MPInterface::DeviceInfo& info);
    void SetUserInfo(char* name);
    // The first 31 wide characters, each cut to its low 8 bits.
    void SetUserInfo(wchar_t* name);
    int RequestGameRooms();
    void StopGameRoomRequest();
    int GetGameRoomCount();
    MPInterface::GameRoom* GetGameRoom(int index);
    int CreateGameRoom(MPInterface::GameRoom& room);
    int JoinGameRoom(int index);
    int JoinGameRoom(const char* address, int port);
    void SetRelayFilter(MPInterface::RelayFilter filter, void* context);
    void LeaveGameRoom();
    int GetPlayerCount();
    MPInterface::ClientInfo* GetPlayer(int index);
    int GetPlayerName(int id, char* buffer, int capacity);
    int GetMyID();
    int GetStatus();
    bool IsConnected() const { return linkStatus == kLinkUp; }
    int isConnectionAvailable();
    int SendToAll(unsigned char* data, int length, bool flag);
    int SendToAllConfirm(unsigned char* data, int length);
    int ClientsReady();
    int SetBusyState(unsigned char busy);
    int GetDisconnectStatus() { return 0; }
    int GetError() { return 0; }
    const char* GetErrorString() { return nullptr; }
    // The room's host as the transport knows it, -1 when it does not.
    int GetHostID();

    // Lobby servers (internet only).
    int RequestLobbys(int count);
    void StopLobbyRequest();
    int GetLobbyCount();
    MPInterface::LobbyInfo* GetLobby(int index);
    int ConnectToLobby(int index);
    int ConnectToLobby(const char* address, int port);
    void LeaveLobby();
    void GetJoinedLobbyName(char* buffer, int capacity);
    void SetLobbysFilter_Name(const char* name);
    void SetLobbysFilter_Nearest(unsigned char nearMe);
    void SetLobbysFilter_Sort(VOrededidaza::ServerFilter::SortingKey key);

    // Bluetooth is not offered: these do nothing.
    int BTStartClientsRequest(unsigned char) { return 0; }
    int BTStopClientsRequest() { return 0; }
    int BTGetClientCount() { return 0; }
    const char* BTClientName(int) { return nullptr; }
    int BTClientValid(int) { return 0; }
    int BTSelectClient(int) { return 0; }
    void BTUnselectClient(int) {}

    uint32_t isHost = 0;
    nettype netType = kNetNone;
    int32_t linkStatus = 0;
    std::unique_ptr<MPInterface> backEnd;

private:
    MPInterface* Live() const { return netType != kNetNone ? backEnd.get() : nullptr; }
    MPInterface* Lobby() const { return netType == kNetInternet ? backEnd.get() : nullptr; }
};
