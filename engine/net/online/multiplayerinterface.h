// The online multiplayer library's public interfaces: the root object, the
// observer through which every part reports events, and the notification
// codes. The parts are abstract classes implemented in VOrededidaza::Internal.
#pragma once

namespace VOrededidaza {

class ServerDiscovery;
class LobbyInterface;

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
