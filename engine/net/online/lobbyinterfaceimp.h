// The session with a lobby server: login, the lobby's state and requests, and
// the lobby messages; room messages go on to the game room interface.
#pragma once
#include <cstdint>

#include "engine/net/online/gameroominterfaceimp.h"
#include "engine/net/online/gameroomlist.h"
#include "engine/net/online/multiplayerinterfaceimp.h"
#include "engine/net/online/networkinterface.h"
#include "engine/net/online/playerlist.h"

namespace VOrededidaza {
namespace Internal {

class LobbyInterfaceImp : public LobbyInterface, public SystemDataReader, public Updateable {
public:
    enum { STATE_IDLE = 0, STATE_CONNECTING = 1, STATE_LOGIN_SENT = 2, STATE_LOGGED_IN = 3, STATE_FAILED = 4 };
    static constexpr int kMaxName = 64;
    static constexpr int kMaxPassword = 16;
    static constexpr int kMaxRoomData = 256;
    static constexpr int kProtocolVersion = 3;

    explicit LobbyInterfaceImp(MultiplayerInterfaceImp* owner);
    virtual ~LobbyInterfaceImp();

    virtual void setObserver(MultiplayerObserver* observer) override { m_observer = observer; }
    virtual void createGameRoom(unsigned maxPlayers, const char* password, const unsigned char* data, int dataLength,
                                unsigned groupMask) override;
    virtual void joinGameRoom(unsigned index, unsigned value, const char* password) override;
    virtual void leaveGameRoom() override;
    virtual void startGameRoomSubscription() override;
    virtual void stopGameRoomSubscription() override;
    virtual int getGameRoomCount() override;
    virtual int getGameRoomPlayerCount(unsigned i) override;
    virtual int getGameRoomMaxPlayerCount(unsigned i) override;
    virtual const unsigned char* getGameRoomDescription(unsigned i) override;
    virtual int getGameRoomDescriptionLength(unsigned i) override;
    virtual int getGameRoomProtected(unsigned i) override;
    virtual unsigned getGameRoomGroupMask(unsigned i) override;
    virtual void setGameRoomFilter(unsigned filter) override { m_rooms.setFilter(filter); }
    virtual void setGameRoomSorting(SortingKey key) override { m_rooms.setSortingKey(int(key)); }
    virtual void setGameRoomGroupMaskFilter(unsigned mask) override { m_rooms.setGroupMaskFilter(mask); }
    virtual void getServerName(char* buffer, int size) override;
    virtual unsigned getMyId() override { return m_myId; }
    virtual GameRoomInterface* getGameRoomInterface() override { return m_room; }
    virtual int checkExtension(ServerExtension e) override;
    virtual void startLobbyInfoSubscription() override;
    virtual void stopLobbyInfoSubscription() override;
    virtual int getLobbyPlayerCount() override { return m_players.getPlayerCount(); }
    virtual const char* getLobbyPlayerName(unsigned i) override;
    virtual unsigned getLobbyPlayerId(unsigned i) override;

    // 1 when the login has started (the outcome shows in getState), else 0.
    int logIn(unsigned gameId, const char* ip, int port, const char* userName);
    void getSuggestedName(char* buffer, int size) const;
    int getFailureReason() const { return m_failureReason; }
    int getState() const { return m_state; }
    NetworkInterface* getNetwork() { return m_net; }

    virtual void update() override;
    virtual int readyToReceive(int) override { return 1; }
    virtual void systemDataReceived(const unsigned char* frame, int length) override;

private:
    void notify(Message m, Status s);
    // Sends a message without a body; false when it could not be sent.
    bool sendEmpty(uint32_t type);
    void fail(int reason);

    MultiplayerInterfaceImp* m_owner;
    MultiplayerObserver* m_observer;
    GameRoomList m_rooms;
    int m_state;
    uint32_t m_myId;
    char m_serverName[kMaxName + 1];
    int m_failureReason;
    NetworkInterface* m_net;
    GameRoomInterfaceImp* m_room;
    char m_suggestedName[kMaxName + 1];
    unsigned char m_login[81];
    int m_loginLength;
    unsigned char m_extensions[2];
    PlayerList m_players;
    bool m_registered;
    // Whether the server sends this session the room list (message 5 was
    // sent an odd number of times in this login).
    bool m_roomsSubscribed;
};

} // namespace Internal
} // namespace VOrededidaza
