// The online multiplayer library's public interfaces: the root object, the
// observer through which every part reports events, and the notification
// codes. The parts are abstract classes implemented in VOrededidaza::Internal.
#pragma once

namespace VOrededidaza {

class ServerDiscovery;
class LobbyInterface;
class GameRoomInterface;
class PacketStream;
class DataStream;

// What happened (first argument of onNotify).
enum Message {
    MSG_SERVER_LIST = 0,       // discovery: server list complete or query failed
    MSG_LOGIN = 1,             // discovery: outcome of connectToServer
    MSG_LOBBY_CLOSED = 2,      // lobby closed the session (lobby message 14)
    MSG_GAME_ROOM = 3,         // room joined or a room request answered
    MSG_GAME_ROOM_LIST = 4,    // room list updated (lobby message 20)
    MSG_GAME_ROOM_CLOSED = 5,  // room closed (room message 7)
    MSG_LOBBY_18 = 6,          // lobby message 18
    MSG_CONNECTION_LOST = 7,   // link to the lobby server lost while logged in
    MSG_PLAYER_JOINED = 8,     // room message 21
    MSG_PLAYER_LEFT = 9,       // room message 22
    MSG_PLAYER_CHANGED = 10,   // room message 23
    MSG_ROOM_26 = 11,          // room message 26
    MSG_HOST_INVITATION = 12,  // room message 27
    MSG_NEW_HOST = 13,         // room message 28
    MSG_PACKET_RECEIVED = 14,  // packet stream: a packet arrived
    MSG_LOBBY_PLAYER_JOINED = 15, // lobby message 34
    MSG_LOBBY_PLAYER_LEFT = 16,   // lobby message 35
};

// How it went (second argument of onNotify).
enum Status {
    STATUS_OK = 0,
    STATUS_FAILED = 1,             // query failed; login rejected (other reason)
    STATUS_LOGIN_REJECTED_11 = 2,  // login rejected with lobby message 11
    STATUS_NAME_TAKEN = 3,         // lobby message 12: see getSuggestedName
    STATUS_LOGIN_REJECTED_10 = 4,  // lobby message 10
    STATUS_LOGIN_REJECTED_13 = 5,  // lobby message 13
    STATUS_NO_CONNECTION = 6,      // the lobby server could not be reached
    STATUS_ROOM_19 = 7,            // lobby message 19
    STATUS_ROOM_17 = 8,            // lobby message 17
    STATUS_ROOM_25 = 9,            // lobby message 25
    STATUS_ROOM_29 = 10,           // lobby message 29
    STATUS_ROOM_30 = 11,           // lobby message 30
};

// Implemented by the user of the library; called on the main thread from
// inside the root's update.
class MultiplayerObserver {
public:
    virtual ~MultiplayerObserver() {}
    virtual void onNotify(Message message, Status status) = 0;
    virtual void onDebugMessage(const char*) {}
};

// The parameters of a lobby server list query.
class ServerFilter {
public:
    enum SortingKey { SORT_NONE = 0, SORT_NAME = 1, SORT_PLAYER_COUNT = 2, SORT_GAME_ROOMS = 3 };
    // Return-mask bits: the optional fields of each server record.
    enum {
        RETURN_NAME = 1,
        RETURN_DESCRIPTION = 2,
        RETURN_TOTAL_PLAYERS = 16,
        RETURN_MAX_PLAYERS = 32,
        RETURN_GAME_ROOMS = 64,
        RETURN_PLAYERS_IN_GAME = 128,
    };
    static constexpr int kMaxName = 64;
    static constexpr int kMaxDescription = 128;

    explicit ServerFilter(unsigned gameId);
    // Copy at most 64 (128) characters; null clears.
    void setNameFilter(const char* name);
    void setDescriptionFilter(const char* text);
    void setNearMeFilter(unsigned char v) { m_nearMe = v; }
    void setProtocolFilter(unsigned char v) { m_protocol = v; }
    void setSortingKey(SortingKey key) { m_sortingKey = key; }
    void setMaxResults(int n) { m_maxResults = n; }
    void setReturnMask(int mask) { m_returnMask = mask; }

    unsigned getGameId() const { return m_gameId; }
    const char* getNameFilter() const { return m_name; }
    const char* getDescriptionFilter() const { return m_description; }
    unsigned char getNearMeFilter() const { return m_nearMe; }
    unsigned char getProtocolFilter() const { return m_protocol; }
    SortingKey getSortingKey() const { return m_sortingKey; }
    int getMaxResults() const { return m_maxResults; }
    int getReturnMask() const { return m_returnMask; }
    // "", "Name", "PlayerCount" or "GameRooms".
    const char* getSortingKeyString() const;

private:
    unsigned m_gameId;
    char m_name[kMaxName + 1];
    char m_description[kMaxDescription + 1];
    unsigned char m_nearMe;
    unsigned char m_protocol;
    SortingKey m_sortingKey;
    int m_maxResults;
    int m_returnMask;
};

typedef ServerFilter::SortingKey SortingKey;

// Finds lobby servers through the lobby web service and logs in to one.
class ServerDiscovery {
public:
    virtual ~ServerDiscovery() {}
    virtual void setObserver(MultiplayerObserver* observer) = 0;
    // Starts a query; 1 when started, 0 when one is running or it cannot start.
    virtual int getServerList(const ServerFilter& filter) = 0;
    virtual int getServerCount() = 0;
    // Indexes at or above the count give 0 (null for texts).
    virtual const char* getServerName(unsigned i) = 0;
    virtual const char* getServerDescription(unsigned i) = 0;
    virtual const char* getServerIP(unsigned i) = 0;
    virtual unsigned getServerPort(unsigned i) = 0;
    virtual int getServerPlayerCountTotal(unsigned i) = 0;
    virtual int getServerPlayerCountMax(unsigned i) = 0;
    virtual int getServerAvailableGameRooms(unsigned i) = 0;
    virtual int getServerPlayerCountGame(unsigned i) = 0;
    virtual int getServerNearMe(unsigned i) = 0;
    virtual int getServerSupportedProtocol(unsigned i) = 0;
    // Start a login; the outcome arrives as message 1.
    virtual int connectToServer(unsigned index, unsigned gameId, const char* userName) = 0;
    virtual int connectToServer(const char* ip, int port, unsigned gameId, const char* userName) = 0;
    // Hands the logged-in lobby over to the caller (null when none).
    virtual LobbyInterface* getLobbyInterface() = 0;
    virtual const char* getSuggestedName() = 0;
};

enum ServerExtension { EXTENSION_0 = 0, EXTENSION_1 = 1 };

// The session with a lobby server.
class LobbyInterface {
public:
    virtual ~LobbyInterface() {}
    virtual void setObserver(MultiplayerObserver* observer) = 0;
    virtual void createGameRoom(unsigned maxPlayers, const char* password, const unsigned char* data, int dataLength,
                                unsigned groupMask) = 0;
    virtual void joinGameRoom(unsigned index, unsigned value, const char* password) = 0;
    virtual void leaveGameRoom() = 0;
    virtual void startGameRoomSubscription() = 0;
    virtual void stopGameRoomSubscription() = 0;
    virtual int getGameRoomCount() = 0;
    virtual int getGameRoomPlayerCount(unsigned i) = 0;
    virtual int getGameRoomMaxPlayerCount(unsigned i) = 0;
    virtual const unsigned char* getGameRoomDescription(unsigned i) = 0;
    virtual int getGameRoomDescriptionLength(unsigned i) = 0;
    virtual int getGameRoomProtected(unsigned i) = 0;
    virtual unsigned getGameRoomGroupMask(unsigned i) = 0;
    virtual void setGameRoomFilter(unsigned filter) = 0;
    virtual void setGameRoomSorting(SortingKey key) = 0;
    virtual void setGameRoomGroupMaskFilter(unsigned mask) = 0;
    virtual void getServerName(char* buffer, int size) = 0;
    virtual unsigned getMyId() = 0;
    virtual GameRoomInterface* getGameRoomInterface() = 0;
    virtual int checkExtension(ServerExtension e) = 0;
    virtual void startLobbyInfoSubscription() = 0;
    virtual void stopLobbyInfoSubscription() = 0;
    virtual int getLobbyPlayerCount() = 0;
    virtual const char* getLobbyPlayerName(unsigned i) = 0;
    virtual unsigned getLobbyPlayerId(unsigned i) = 0;
};

// The room the player is in.
class GameRoomInterface {
public:
    virtual ~GameRoomInterface() {}
    virtual void setObserver(MultiplayerObserver* observer) = 0;
    virtual int getGameRoomPlayerCount() = 0;
    virtual const char* getGameRoomPlayerName(unsigned i) = 0;
    virtual unsigned getGameRoomPlayerId(unsigned i) = 0;
    virtual int getGameRoomMaxPlayerCount() = 0;
    virtual int getHostIndex() = 0;
    virtual void acceptHostInviation() = 0;
    virtual DataStream* getDataStream() = 0;
    virtual PacketStream* getPacketStream() = 0;
};

// Whole packets between the players of a room. Sends return the bytes
// written (0 when nothing was sent); packets carry at most 1011 bytes.
class PacketStream {
public:
    static constexpr int kMaxPacket = 1011;
    virtual ~PacketStream() {}
    virtual int sendPacket(const unsigned char* data, unsigned length) = 0;
    virtual int sendPacketToAll(const unsigned char* data, unsigned length) = 0;
    virtual int sendPacketToClient(unsigned id, const unsigned char* data, unsigned length) = 0;
    virtual int sendPacketToClientList(const unsigned* ids, unsigned count, const unsigned char* data,
                                       unsigned length) = 0;
    virtual int sendPacketToHost(const unsigned char* data, unsigned length) = 0;
    virtual void readPacketInfo(unsigned& sender, unsigned& length) = 0;
    // Copy the oldest packet (readPacket also removes it); the count copied.
    virtual int readPacket(unsigned char* buffer, unsigned length) = 0;
    virtual int peek(unsigned char* buffer, unsigned length) = 0;
    virtual void skipPacket() = 0;
    virtual int getAvailablePackets() = 0;
    virtual void setObserver(MultiplayerObserver* observer) = 0;
};

// A plain byte stream between the players of a room.
class DataStream {
public:
    virtual ~DataStream() {}
    virtual int sendData(const unsigned char* data, unsigned length) = 0;
    virtual int sendDataToAll(const unsigned char* data, unsigned length) = 0;
    virtual int sendDataToClient(unsigned id, const unsigned char* data, unsigned length) = 0;
    virtual int sendDataToClientList(const unsigned* ids, unsigned count, const unsigned char* data,
                                     unsigned length) = 0;
    virtual int sendDataToHost(const unsigned char* data, unsigned length) = 0;
    virtual int readData(unsigned char* buffer, unsigned length) = 0;
    virtual int getAvailableData() = 0;
};

// The root: creates the discovery and drives every part of the library from
// one update call per main-loop pass.
class MultiplayerInterface {
public:
    // A new root, null without memory; the caller deletes it after every
    // object it made.
    static MultiplayerInterface* Create();
    virtual ~MultiplayerInterface() {}
    // A new server discovery bound to this root (the caller deletes it).
    virtual ServerDiscovery* createServerDiscovery() = 0;
    virtual void update() = 0;
    // A new lobby interface bound to this root, not logged in.
    virtual LobbyInterface* createLobbyInterface() = 0;
};

} // namespace VOrededidaza
