// The internet multiplayer back end on the online lobby library: the list of
// lobby servers from the lobby web service, the login to one of them, its
// game rooms, and the packets of the joined room. The library reports
// through the observer interface, which this class implements: each
// notification becomes a state change and a queued back-end event.
#pragma once
#include <cstdint>

#include "engine/net/online/multiplayerinterface.h"
#include "game/multiplayer/mpinterface.h"

class NVServerInterface : public MPInterface, public VOrededidaza::MultiplayerObserver {
public:
    static constexpr unsigned kGameId = 0x10460003;
    // The longest packet handed on: the session's receive buffer. Longer
    // (and empty) packets are dropped unread.
    static constexpr unsigned kMaxPacket = 1024;
    static constexpr int kRoomCapacity = 4;

    enum State { kNothing = 0, kListingOrLogin = 1, kInLobby = 2, kInRoom = 3 };

    // A listed lobby server: name, players in game, address text, port,
    // and its maximum of players.
    struct LobbyInfo : MPInterface::LobbyInfo {
        int32_t maxPlayers;
    };

    NVServerInterface();
    ~NVServerInterface() override;
    NVServerInterface(const NVServerInterface&) = delete;
    NVServerInterface& operator=(const NVServerInterface&) = delete;

    // Lobby operations.
    int RequestLobbys(int count) override;
    void StopLobbyRequest() override;
    int GetLobbyCount() override { return m_initialised ? m_lobbyCount : 0; }
    LobbyInfo* GetLobby(int index) override;
    int ConnectToLobby(int index) override;
    int ConnectToLobby(const char* address, int port) override;
    void LeaveLobby() override;
    bool LobbyLinkUp() override { return m_lobby && m_lobbyUp; }
    // The joined lobby server's name in upper case; the buffer is left alone
    // without a lobby.
    void GetJoinedServerName(char* buffer, int max);
    void GetJoinedLobbyName(char* buffer, int capacity) override { GetJoinedServerName(buffer, capacity); }
    void SetLobbysFilter_Name(const char* name) override { m_filter.setNameFilter(name); }
    void SetLobbysFilter_Nearest(unsigned char nearMe) override { m_filter.setNearMeFilter(nearMe); }
    void SetLobbysFilter_Sort(VOrededidaza::ServerFilter::SortingKey key) override { m_filter.setSortingKey(key); }
    VOrededidaza::ServerFilter& GetServerFilter() { return m_filter; }
    int State() const { return m_state; }

    bool IsInitialized() override { return m_initialised != 0; }
    int GetStatus() override { return m_status; }
    int GetDeviceInfo(DeviceInfo& info) override;
    int RequestGameRooms() override;
    void StopGameRoomRequest() override;
    int GetGameRoomCount() override { return m_initialised ? m_roomCount : 0; }
    GameRoom* GetGameRoom(int index) override;
    int HostGameRoom(GameRoom& room) override;
    int JoinGameRoom(int index) override;
    int JoinGameRoom(const char*, int) override { return 0; }
    void LeaveGameRoom() override;
    EventList::event PollMessages() override;
    int GetPayLoad(unsigned char* buffer, unsigned int capacity) override;
    int SendToAll(unsigned char* data, int length, bool flag) override;
    int SendToAllConfirm(unsigned char* data, int length) override;
    int SendToClient(int index, unsigned char* data, int length) override;
    int MyClientID() override;
    void SetUserInfo(const char* name) override;
    int NumPlayers() override;
    ClientInfo* GetPlayer(int index) override;
    int GetPlayerName(int, char*, int) override { return 0; }
    int ClientsReady() override { return 1; }
    int SendBusyStateReq(unsigned char) override { return 1; }
    int GetDisconnectStatus() override { return m_disconnectStatus; }
    int GetPayLoadLength() override { return m_copiedLength; }
    // The room's host's player id, -1 outside a room.
    int HostClientID() override;

    void onNotify(VOrededidaza::Message message, VOrededidaza::Status status) override;

private:
    void SessionReset();
    void RebuildLobbyList();
    void RebuildRoomList();
    void FreeLobbyList();
    void FreeRoomList();
    void DropLobby();

    VOrededidaza::ServerFilter m_filter{kGameId};
    uint8_t m_initialised = 0;
    int32_t m_status = 0;
    int32_t m_disconnectStatus = 0;
    int32_t m_state = kNothing;
    VOrededidaza::MultiplayerInterface* m_root = nullptr;
    VOrededidaza::ServerDiscovery* m_discovery = nullptr;
    VOrededidaza::LobbyInterface* m_lobby = nullptr;
    bool m_lobbyUp = false;  // logged in, and neither lost nor closed since
    VOrededidaza::GameRoomInterface* m_room = nullptr;
    VOrededidaza::PacketStream* m_packets = nullptr;
    char m_ownName[kNameSize] = {};
    uint32_t m_address = 0;
    int32_t m_port = 1024;
    LobbyInfo* m_lobbies = nullptr;
    int32_t m_lobbyCount = 0;
    GameRoom* m_rooms = nullptr;
    int32_t m_roomCount = 0;
    ClientInfo m_player = {};
    int32_t m_copiedLength = 0;  // by the last GetPayLoad
};
