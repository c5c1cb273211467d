// ServerDiscoveryImp: one HTTP POST of a Blowfish-encrypted query to the
// lobby web service, the binary server list that comes back, and the login
// to a chosen lobby server.
#pragma once
#include <cstdint>

#include "engine/net/http.h"
#include "engine/net/httpbody.h"
#include "engine/net/httprequest.h"
#include "engine/net/online/databuffer.h"
#include "engine/net/online/lobbyinterfaceimp.h"
#include "engine/net/online/multiplayerinterfaceimp.h"
#include "engine/runtime/ptime.h"

namespace VOrededidaza {
namespace Internal {

class ServerDiscoveryImp : public ServerDiscovery, public Updateable {
public:
    static constexpr int kMaxServers = 16;
    static constexpr int kQuerySize = 256;
    static constexpr int kKeyLength = 12;
    static constexpr int kReplyBuffer = 1024;
    static constexpr int kRecordBuffer = 256;
    static constexpr int kMaxRedirects = 5;
    static constexpr int kProtocolVersion = 3;
    // A query (its redirects included) that has not ended this long after it
    // started fails.
    static constexpr uint32_t kQueryTimeoutMs = 10000;

    // The lobby web service: its host (optionally with ":port") and the
    // 12-character query key. Process-wide settings read by every query.
    static void setServiceHost(const char* host);
    static const char* getServiceHost();
    static void setQueryKey(const char* key12);
    // The key in use (12 characters and a zero).
    static void getQueryKey(char* out13);

    explicit ServerDiscoveryImp(MultiplayerInterfaceImp* owner);
    virtual ~ServerDiscoveryImp();

    virtual void setObserver(MultiplayerObserver* observer) override { m_observer = observer; }
    virtual int getServerList(const ServerFilter& filter) override;
    virtual int getServerCount() override { return m_count; }
    virtual const char* getServerName(unsigned i) override;
    virtual const char* getServerDescription(unsigned i) override;
    virtual const char* getServerIP(unsigned i) override;
    virtual unsigned getServerPort(unsigned i) override;
    virtual int getServerPlayerCountTotal(unsigned i) override;
    virtual int getServerPlayerCountMax(unsigned i) override;
    virtual int getServerAvailableGameRooms(unsigned i) override;
    virtual int getServerPlayerCountGame(unsigned i) override;
    virtual int getServerNearMe(unsigned i) override;
    virtual int getServerSupportedProtocol(unsigned i) override;
    virtual int connectToServer(unsigned index, unsigned gameId, const char* userName) override;
    virtual int connectToServer(const char* ip, int port, unsigned gameId, const char* userName) override;
    virtual LobbyInterface* getLobbyInterface() override;
    virtual const char* getSuggestedName() override { return m_suggested; }
    virtual void update() override;

    // Builds the 256-byte query block (before encryption); 0 when the filter
    // holds a value that cannot be sent or the query would not fit.
    static int buildQuery(const ServerFilter& filter, unsigned char* out256);
    bool queryRunning() const { return m_request != nullptr; }
    // The address a redirect's Location leads to from the address now asked:
    // a path ("/...") on the same server, else the Location as it is.
    static void redirectTarget(const PURI& now, const char* location, PURI& target);

private:
    // The fuzz target of the reply parser feeds the reply buffer directly.
    friend struct ServerListProbe;
    struct Server {
        char name[65];
        char description[129];
        char ip[16];
        uint32_t port;
        int32_t totalPlayers;
        int32_t maxPlayers;
        int32_t gameRooms;
        int32_t playersInGame;
        uint32_t flags;
    };
    const Server* server(unsigned i) const;
    void endQuery(bool ok);
    bool followRedirect();
    void parse();
    // >0 bytes of a complete record, 0 when incomplete, -1 when malformed.
    int parseRecord(Server& out);
    void loginFollowUp();
    void notify(Message m, Status s);

    MultiplayerInterfaceImp* m_owner;
    MultiplayerObserver* m_observer;
    PHTTP* m_http;
    PHTTPRequest* m_request;
    PHTTPBodyBlob* m_body;
    int m_returnMask;
    Server m_servers[kMaxServers];
    int m_count;
    int m_phase;
    uint32_t m_announced;
    uint32_t m_recordsRead;
    int m_redirects;
    PTicker m_queryTimer;
    DataBuffer m_reply;
    unsigned char m_record[kRecordBuffer];
    int m_recordFill;
    LobbyInterfaceImp* m_pending;
    LobbyInterfaceImp* m_loggedIn;
    char m_suggested[65];
};

} // namespace Internal
} // namespace VOrededidaza
