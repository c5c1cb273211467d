// The interface every multiplayer back end (local network, internet)
// implements, its records of rooms, players and own address, and the
// first-in first-out queue of the back end's pending event codes.
#pragma once
#include <cstdint>

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
        kRoomListReady = 12,
        kPlayersChanged = 13,
        kBecameHost = 14,
        kBusyConfirmed = 15,
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

protected:
    EventList events;
};
