// The interface every multiplayer back end (local network, internet)
// implements, its records of rooms, players and own address, and the
// first-in first-out queue of the back end's pending event codes.
#pragma once
#include <cstdint>

#include "engine/net/online/multiplayerinterface.h"

// A back end's queue of pending events: at most 15, oldest first. Events
// added to a full queue are dropped; what is queued survives.
class EventList {
public:
    using event = int32_t;

    // Back-end event codes, results of MPInterface::PollMessages.
    enum Code : event {
        kNone = 0,
        kNotConnected = 1,
        kConnected = 2,
        kRejected = 3,
        kNameTaken = 4,
        kGameMessage = 6,
        kConfirmedSend = 7,
        kServerListReady = 8,
        // Codes no back end posts; the facade still passes them on as the
        // session events they stand for: a notice the session ignores, two
        // refusals of a room action, a list ready.
        kSpareNotice = 9,
        kSpareRoomRefused = 10,
        kSpareRoomRefusedOther = 11,
        kRoomListReady = 12,
        kPlayersChanged = 13,
        kBecameHost = 14,
        kBusyConfirmed = 15,
        kSpareListReady = 16,
        kRoomActionRejected = 17,
    };

    static constexpr int kCapacity = 15;

    // Appends an event (0 is never queued); answers 1, also when the event
    // was dropped because the queue is full.
    int Add(event e);
    // Removes and returns the oldest event; 0 when the queue is empty.
    event Get();
    void Reset() { count = 0; }
    int Count() const { return count; }

private:
    event slots[kCapacity + 1] = {};
    int32_t count = 0;
};

class MPInterface {
public:
    static constexpr int kNameSize = 32;

    struct GameRoom {
        char name[kNameSize];
        int32_t players;
        int32_t maxPlayers;
        uint32_t reserved;
        // IPv4 socket address: family, port (host order), address (network
        // order), padding.
        struct {
            uint16_t family;
            uint16_t port;
            uint32_t address;
            uint8_t zero[8];
        } hostAddress;
        uint32_t expiry;
    };

    struct DeviceInfo {
        uint32_t ip;  // first octet in the lowest byte
        uint32_t port;
    };

    struct ClientInfo {
        int32_t id;
        uint32_t busy;
        char name[kNameSize];
        uint32_t ready;
    };

    // One listed lobby server of the internet back end.
    struct LobbyInfo {
        char name[kNameSize];
        int32_t playersInGame;
        char address[16];
        int32_t port;
    };

    virtual ~MPInterface() = default;

    virtual bool IsInitialized() = 0;
    virtual int GetStatus() = 0;
    virtual int GetDeviceInfo(DeviceInfo& info) = 0;
    virtual int RequestGameRooms() = 0;
    virtual void StopGameRoomRequest() = 0;
    virtual int GetGameRoomCount() = 0;
    virtual GameRoom* GetGameRoom(int index) = 0;
    virtual int HostGameRoom(GameRoom& room) = 0;
    virtual int JoinGameRoom(int index) = 0;
    virtual void LeaveGameRoom() = 0;
    // The next event (0 for none); also advances the back end, so it is
    // called every frame while the back end exists.
    virtual EventList::event PollMessages() = 0;
    // After event 6: copies the waiting message (at most capacity bytes)
    // and answers the sender's network id.
    virtual int GetPayLoad(unsigned char* buffer, unsigned int capacity) = 0;
    virtual int SendToAll(unsigned char* data, int length, bool flag) = 0;
    virtual int SendToAllConfirm(unsigned char* data, int length) = 0;
    virtual int SendToClient(int id, unsigned char* data, int length) = 0;
    virtual int MyClientID() = 0;
    virtual void SetUserInfo(const char* name) = 0;
    virtual int NumPlayers() = 0;
    virtual ClientInfo* GetPlayer(int index) = 0;
    virtual int GetPlayerName(int id, char* buffer, int capacity) = 0;
    virtual int ClientsReady() = 0;
    virtual int SendBusyStateReq(unsigned char busy) = 0;
    virtual int GetDisconnectStatus() = 0;

    // Length in bytes of the message the last GetPayLoad copied, 0 when it
    // copied nothing. The session hands it to every message handler.
    virtual int GetPayLoadLength() = 0;
    // Network id of the room's host as the transport knows it, -1 when it
    // does not (messages only the host sends are then taken from anyone).
    virtual int HostClientID() { return -1; }

    // Joining a room by IPv4 address text and port (local network only).
    virtual int JoinGameRoom(const char* /*address*/, int /*port*/) { return 0; }

    // Where the host passes a guest's game messages on to the other guests
    // (the local network), the filter sees each one first and may change
    // its bytes in place: the sender's id, the payload and its length. When
    // it answers false the message is dropped: neither passed on nor handed
    // to the host's own session.
    using RelayFilter = bool (*)(void* context, int sender, uint8_t* payload, int length);
    virtual void SetRelayFilter(RelayFilter /*filter*/, void* /*context*/) {}

    // Lobby servers, internet only; the local network answers 0 or null.
    virtual int RequestLobbys(int /*count*/) { return 0; }
    virtual void StopLobbyRequest() {}
    virtual int GetLobbyCount() { return 0; }
    virtual LobbyInfo* GetLobby(int /*index*/) { return nullptr; }
    virtual int ConnectToLobby(int /*index*/) { return 0; }
    virtual int ConnectToLobby(const char* /*address*/, int /*port*/) { return 0; }
    virtual void LeaveLobby() {}
    // Whether the session with a lobby server is up; it outlives the rooms
    // joined through it.
    virtual bool LobbyLinkUp() { return false; }
    virtual void GetJoinedLobbyName(char* buffer, int capacity)
    {
        if (buffer && capacity > 0)
            buffer[0] = 0;
    }
    virtual void SetLobbysFilter_Name(const char* /*name*/) {}
    virtual void SetLobbysFilter_Nearest(unsigned char /*nearMe*/) {}
    virtual void SetLobbysFilter_Sort(VOrededidaza::ServerFilter::SortingKey /*key*/) {}

protected:
    EventList events;
};
