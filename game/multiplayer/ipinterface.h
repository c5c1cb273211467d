// The local-network multiplayer back end. A hosting device announces its
// room by UDP datagrams on port 2000 to the subnet's broadcast address and to
// the multicast group 224.0.0.3 and accepts up to three clients over TCP on
// the first free port from 1024 to 1040; a searching device listens on port
// 2000 and keeps a table of at most 8 rooms. The players form a star around
// the host, which numbers the clients 1 to 3, keeps the player table and
// relays every data message from one client to the others, stamped with the
// id of the connection it came in on.
#pragma once
#include <cstdint>

#include "engine/net/socket.h"
#include "engine/runtime/ptext.h"
#include "game/multiplayer/lanlink.h"
#include "game/multiplayer/mpinterface.h"

// The UDP port of room announcements, in network byte order, and the
// multicast group they also go to.
constexpr uint16_t kBroadcastPort = PSwap16(2000);
constexpr uint16_t kMulticastPort = PSwap16(2000);
constexpr const char kMulticastAddr[] = "224.0.0.3";

// The device's own IPv4 address (network byte order): 1 with the address
// set, 0 with it 0 when the device has none.
int GetHostAddr(unsigned int& address);

class IPInterface : public MPInterface {
public:
    enum Status {
        kIdle = 0,
        kConnecting = 1,
        kConnected = 2,
        kRunning = 3,
        kSearching = 5,
    };
    enum Role { kNoRole = 0, kHost = 1, kClient = 2 };

    static constexpr int kMaxRooms = 8;
    // Places of the room list one address may hold: two programs on one
    // machine host two rooms; made-up rooms of one address take no more.
    static constexpr int kRoomsPerAddress = 2;
    static constexpr int kMaxPlayers = 4;
    static constexpr int kMaxClients = 3;
    static constexpr int kFirstPort = 1024;
    static constexpr int kLastPort = 1040;
    static constexpr uint32_t kAnnounceEveryMs = 2000;
    static constexpr uint32_t kRoomLifeMs = 8000;
    static constexpr int kMaxDatagram = 255;
    // Announcement datagrams read in one poll of the search at most.
    static constexpr int kDatagramsPerPoll = 128;
    // Datagrams arriving at this rate or faster (per kFloodWindowMs) are a
    // flood: eight times what eight rooms send on both paths, so the socket's
    // queue may overflow and announcements of listed rooms be lost in it.
    static constexpr int kFloodDatagrams = 64;
    static constexpr uint32_t kFloodWindowMs = 1000;
    static constexpr int kAnnounceTtl = 3;
    // A join (connect, id, name) not complete within this many ms is given
    // up: the host closes the connection, the client reports the join
    // refused.
    static constexpr uint32_t kJoinLimitMs = 5000;
    // A joined link that brings nothing for longer than this is lost, as if
    // it had closed (in a room and in a match every player sends at least
    // every 2.5 s; a match loading is the longest legitimate silence).
    static constexpr uint32_t kSilentLinkMs = 15000;
    // Messages of one connection that give no event (an unknown type, a
    // busy state, a data message the relay filter refused), read one after
    // another in one poll before the poll goes on to the next connection:
    // a peer's junk delays only what that peer sends.
    static constexpr int kQuietPerRead = 64;
    // Connections accepted that have not given their name yet take no
    // player's place, only a nameless place (a socket and a few hundred
    // bytes, NamelessPlace). The host keeps at most kNamelessPerAddress of
    // them from one address and kMaxNameless in all: a further one from an
    // address at its share closes the oldest of its own (or is turned away
    // when that came in the same accept pass); with every place taken, it
    // closes the oldest of the address that holds the most, but only a
    // connection accepted kNameGraceMs ago or more: when every place is
    // younger, the newcomer is turned away. An honest guest names itself in
    // its first round trip, well within the grace, and finds a free place
    // while fewer than kMaxNameless / kNamelessPerAddress other addresses
    // hold their share.
    static constexpr int kNamelessPerAddress = 2;
    static constexpr int kMaxNameless = 16;
    static constexpr uint32_t kNameGraceMs = 1000;
    // Connections the system may keep waiting for the host's accept, and
    // the most the host accepts in one poll: as many as can wait, so that
    // each poll empties the queue (each is taken or turned away at once).
    // A full queue drops a further connect, which then waits a second or
    // more to be tried again: room for the connections of as many
    // addresses as the nameless places can hold, and three of each.
    static constexpr int kListenBacklog = 32;
    static constexpr int kAcceptsPerPoll = kListenBacklog + 1;

    IPInterface();
    ~IPInterface() override;
    IPInterface(const IPInterface&) = delete;
    IPInterface& operator=(const IPInterface&) = delete;

    bool IsInitialized() override { return m_initialised != 0; }
    int GetStatus() override { return m_status; }
    int GetDeviceInfo(DeviceInfo& info) override;
    int RequestGameRooms() override;
    void StopGameRoomRequest() override;
    int GetGameRoomCount() override { return m_roomCount; }
    GameRoom* GetGameRoom(int index) override;
    int HostGameRoom(GameRoom& room) override;
    int JoinGameRoom(int index) override;
    void LeaveGameRoom() override { Disconnect(); }
    EventList::event PollMessages() override;
    int GetPayLoad(unsigned char* buffer, unsigned int capacity) override;
    int SendToAll(unsigned char* data, int length, bool flag) override;
    int SendToAllConfirm(unsigned char* data, int length) override;
    // Raw bytes on one game connection (0..3); 1 when they went or were
    // queued.
    int SendToClient(int connection, unsigned char* data, int length) override;
    int MyClientID() override { return m_ownId; }
    void SetUserInfo(const char* name) override;
    int NumPlayers() override { return m_clientCount; }
    ClientInfo* GetPlayer(int position) override;
    int GetPlayerName(int id, char* buffer, int capacity) override;
    int ClientsReady() override;
    int SendBusyStateReq(unsigned char busy) override;
    int GetDisconnectStatus() override { return m_disconnectStatus; }
    int GetPayLoadLength() override { return m_copiedLength; }
    // The host is player 0 of every local-network room.
    int HostClientID() override { return m_status == kRunning ? 0 : -1; }

    // Joins the room at a typed dotted address and port (1024 for port 0).
    int JoinGameRoom(const char* address, int port) override;
    void SetRelayFilter(RelayFilter filter, void* context) override
    {
        m_relayFilter = filter;
        m_relayContext = context;
    }
    // 1 when the device has a usable IPv4 address.
    int isConnectionAvailable();
    // Whether a room can be reached at the address: a peer this device can
    // reach (PInetPeerReachable), loopback included.
    static bool isValidIP(unsigned int address);

    // Reads one announcement datagram from sender (network byte order) into
    // the room table; anything malformed is ignored. The room is listed at
    // the sender's address, whatever address the text names, and its game
    // port: an address holds at most kRoomsPerAddress places.
    void handleGameRoomInfo(const char* text, int length, unsigned int sender);
    int Role() const { return m_role; }

private:
    friend struct IPInterfaceTestAccess;

    void SessionReset();
    void ResetConnections();

    // Room discovery.
    int InitGameRoomSearch();
    int StartBroadcastSocket();
    int StartMulticastSocket();
    void CreateBroadcastMsg(unsigned int address, int port, const GameRoom& room);
    int SendGameRoomInfo(int open);
    // The index of the room listed at the address and game port, -1 when
    // there is none.
    int findGameRoomIndex(unsigned int address, int port);
    // A place for a room newly heard from the address: the place of its own
    // room heard longest ago when it holds kRoomsPerAddress already, else a
    // new one while the list has room, else, unless a flood is under way,
    // the place of the room heard longest ago; -1 when there is none.
    int placeGameRoom(unsigned int address);
    void removeGameRoom(int index);
    // Counts one datagram read at now toward the arrival rate; true when
    // it starts a flood.
    bool CountArrival(uint32_t now);
    EventList::event processPollGameRooms();

    // Game connections.
    int StartListening(const GameRoom& room);
    int ConnectToGameRoom(int index);
    int ConnectToAddress();
    EventList::event processConnecting();
    void processPollPlayers();
    void AcceptClients();
    // Takes a connection just accepted among those without a name, tells
    // it the id it may get. passStart is the count of accepts when the
    // accept pass that brought it began: the connections taken since came
    // in the same pass, and none of them had a round trip yet.
    void TakeClient(PSocket& accepted, uint32_t passStart);
    // Reads the connections without a name: a name makes its connection a
    // player; true when one did.
    bool ReadNameless();
    // The connection without a name k has given its name (the message of
    // nameBytes bytes at the start of its buffer): it becomes a player, or
    // is turned away when the room filled meanwhile.
    void NameClient(int k, int nameBytes);
    // Closes the nameless place k and forgets what it held.
    void CloseNameless(int k);
    EventList::event processRead(int connection);
    // -1 for a data message the relay filter refused (dropped), 0 for a
    // message that gives no event.
    EventList::event HandleHostMessage(int connection, const uint8_t* msg, int length);
    EventList::event HandleClientMessage(const uint8_t* msg, int length);
    void SendToOthers(int connection);
    void Disconnect();
    // Host: removes every client whose connection broke, tells the others;
    // true when one went.
    bool DropBrokenClients();
    // A client's link ended: event 1 once joined, 3 (the join refused)
    // before. A leave before the id is event 17, the room full.
    EventList::event ClientLost();
    // Host: marks broken the players silent for too long (the connections
    // without a name have their own limit, ReadNameless).
    void CheckClientTimers();
    // Client: the join or the joined link has run out of time.
    bool ClientTimedOut();
    int SendOn(int connection, const void* data, int length);

    int FindFreeSocket();
    int AddClient(int id, const char* name, int busy);
    int UpdateClient(int id, const char* name);
    int RemoveClient(int id);
    int FindClientIndex(int id);
    void UpdateClientStatus(int id, int busy);
    void UpdateMyUserId(int id) { m_ownId = id; }
    void ResetClientDB();
    void SendUserIdToClient(int connection, int id);
    void SendUserInfoClient();
    void SendUserListHost(int connection);
    void SendUserListHostToAll();
    void SendBusyStatus(int busy);
    void SendBusyStatusHostToAll(int id, int busy);

    PSockAddrIP m_destination = {};
    PSockAddrIP m_broadcastBind = {};
    LanLink m_links[4];
    PSocket m_listen;  // the search socket while searching, the listen socket while hosting
    PSocket m_broadcast;
    PSocket m_multicast;
    PSockAddrIP m_multicastDest = {};
    uint8_t m_initialised = 0;
    int32_t m_status = kIdle;
    uint8_t m_busyPending = 0;
    int32_t m_role = kNoRole;
    uint32_t m_lastAnnouncement = 0;
    char m_prefix[64] = {};
    // The last data message read: type, sender, length, payload.
    uint8_t m_received[3 + lanframe::kMaxPayload + 2] = {};
    uint8_t m_payloadWaiting = 0;
    int32_t m_payloadSender = 0;
    int32_t m_payloadLength = 0;
    int32_t m_copiedLength = 0;  // by the last GetPayLoad
    int32_t m_freeSocket = 0;
    int32_t m_pollIndex = 0;
    GameRoom m_rooms[kMaxRooms] = {};
    int32_t m_roomCount = 0;
    // The order of the last announcements of the listed rooms (a count of
    // the announcements taken): the lowest was heard longest ago.
    uint32_t m_roomHeardTurn[kMaxRooms] = {};
    uint32_t m_announcementsHeard = 0;
    // The arrival rate of the search's datagrams: those read since a moment
    // the socket's queue was seen empty (so all of them arrived after it),
    // and the last moment it was seen empty.
    uint8_t m_arrivalsOpen = 0;
    uint32_t m_arrivalsSince = 0;
    int32_t m_arrivals = 0;
    uint32_t m_queueEmptyAt = 0;
    uint8_t m_searchFlooded = 0;  // datagrams arrive at a flood's rate
    ClientInfo m_clients[kMaxPlayers] = {};
    int32_t m_clientCount = 0;
    int32_t m_ownId = 0;
    char m_ownName[kNameSize] = {};
    uint32_t m_hostAddress = 0;
    int32_t m_port = kFirstPort;
    int32_t m_disconnectStatus = 0;
    // Client: 1 once the host gave the id; when the join began.
    uint8_t m_joined = 0;
    uint32_t m_joinStart = 0;
    // Host: the connections without a name. Each keeps only what it needs
    // until its name: the bytes of one message, when it was accepted and
    // in which turn (the count of accepts, for their order within a
    // millisecond), the player id it was told.
    struct NamelessPlace {
        PSocket socket;
        uint32_t peer = 0;
        uint32_t acceptedAt = 0;
        uint32_t turn = 0;
        uint8_t toldId = 0;
        int16_t inEnd = 0;
        uint8_t in[lanframe::kMaxMessage] = {};
    };
    NamelessPlace m_nameless[kMaxNameless];
    uint32_t m_accepts = 0;
    RelayFilter m_relayFilter = nullptr;
    void* m_relayContext = nullptr;
};
