// Test lobby services on loopback, each on its own thread: the lobby web
// service (the encrypted server list query) and a lobby server (the framed
// lobby protocol). Their behaviour is written down in docs/lobby.md. Both stop
// when destroyed, and by themselves after a minute at the latest.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace lobbytest {

struct ServerRecord {
    std::string ip;
    uint32_t port = 0;
    std::string name;
    std::string description;
    uint32_t totalPlayers = 0;
    uint32_t maxPlayers = 0;
    uint32_t gameRooms = 0;
    uint32_t playersInGame = 0;
    uint32_t flags = 2;
};

class WebService {
public:
    enum Mode {
        LIST,       // the configured servers
        EMPTY,      // a list of no servers
        REDIRECT,   // `redirects` redirects (302, Location on the same server), then the list
        NOT_FOUND,  // 404
        TRUNCATED,  // announces one more server than it sends
        CUT,        // closes the connection in the middle of the body
        OVERSIZED,  // a record whose name string never ends within 256 bytes
        GARBAGE,    // bytes that are no HTTP response, then the connection closes
        BAD_LENGTH, // a Content-Length the client must refuse
        DRIP,       // the list one byte every 200 ms, until the client goes
    };

    explicit WebService(const std::string& key);
    ~WebService();
    // Listens on 127.0.0.1:port, a port the system picks for 0.
    bool Start(int port = 0);
    int Port() const { return m_port; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(m_port); }

    void SetMode(Mode m, int redirects = 0);
    void SetServers(const std::vector<ServerRecord>& servers);
    // The last query as decrypted, and how many requests came.
    std::string LastQuery();
    int Requests() const { return m_requests; }

private:
    void Run();
    void Serve(int fd);
    std::string Reply(const std::string& query);

    std::string m_key;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
    std::mutex m_mutex;
    Mode m_mode = LIST;
    int m_redirects = 0;
    int m_redirectsDone = 0;
    std::vector<ServerRecord> m_servers;
    std::string m_lastQuery;
};

class LobbyServer {
public:
    LobbyServer();
    ~LobbyServer();
    bool Start();
    int Port() const { return m_port; }

    void SetServerName(const std::string& n) { m_serverName = n; }
    // Names answered with 12 (taken; the suggestion is the name and "_2").
    void AddTakenName(const std::string& n) { m_taken.insert(n); }
    // Names answered with 10 (refused).
    void AddRefusedName(const std::string& n) { m_refused.insert(n); }
    void SetKeepAliveMs(int ms) { m_keepAliveMs = ms; }
    // How long the server serves at most (a minute unless set before Start).
    void SetLifetimeMs(int ms) { m_lifetimeMs = ms; }
    // Sends 14 (lobby closed) to every logged-in player and closes them.
    void CloseLobby() { m_closeLobby = true; }
    // Queues raw bytes for the player with that id (hostile frames in tests).
    void SendRaw(uint32_t playerId, const std::string& bytes);
    // Stops the server: every connection is closed.
    void Stop();
    int LoggedIn();

private:
    struct Client {
        int fd = -1;
        uint32_t id = 0;
        std::string name;
        bool loggedIn = false;
        uint32_t room = 0;
        bool roomSubscriber = false;
        bool lobbySubscriber = false;
        std::string in;
    };
    struct Room {
        uint32_t id = 0;
        uint32_t maxPlayers = 0;
        uint32_t groupMask = 0;
        std::string password;
        std::string description;
        std::vector<uint32_t> members;
        uint32_t host = 0;
    };
    void Run();
    bool Handle(Client& c, uint32_t type, const std::string& payload);
    void SendFrame(Client& c, uint32_t type, const std::string& payload);
    Client* Find(uint32_t id);
    Room* FindRoom(uint32_t id);
    void LeaveRoom(Client& c);
    void SendRoomList();
    std::string RoomList();
    void Relay(Client& from, const std::string& payload);
    void Drop(size_t index);

    std::string m_serverName = "Test Lobby";
    std::set<std::string> m_taken;
    std::set<std::string> m_refused;
    int m_keepAliveMs = 2000;
    int m_lifetimeMs = 60000;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closeLobby{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::pair<uint32_t, std::string>> m_raw;
    std::vector<Client> m_clients;
    std::vector<Room> m_rooms;
    uint32_t m_nextId = 100;
    uint32_t m_nextRoom = 1;
    std::atomic<int> m_loggedIn{0};
};

std::string BE32(uint32_t v);
uint32_t ReadBE(const std::string& s, size_t at);

} // namespace lobbytest
