#include "lobby_services.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <map>
#include <nettle/blowfish.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lobbytest {

namespace {

constexpr int kLifetimeMs = 60000;

int ListenLoopback(int& port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port)); // 0: the system picks
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SendAll(int fd, const std::string& s)
{
    size_t off = 0;
    while (off < s.size()) {
        ssize_t n = send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        off += size_t(n);
    }
}

std::string PaddedString(const std::string& s)
{
    std::string out = s;
    size_t field = (s.size() + 4) & ~size_t(3);
    out.resize(field, '\0');
    return out;
}

std::map<std::string, std::string> ParseQuery(const std::string& q)
{
    std::map<std::string, std::string> m;
    size_t start = 0;
    while (start < q.size()) {
        size_t end = q.find('&', start);
        if (end == std::string::npos)
            end = q.size();
        std::string pair = q.substr(start, end - start);
        size_t eq = pair.find('=');
        if (eq != std::string::npos)
            m[pair.substr(0, eq)] = pair.substr(eq + 1);
        start = end + 1;
    }
    return m;
}

} // namespace

std::string BE32(uint32_t v)
{
    std::string s(4, '\0');
    s[0] = char(v >> 24);
    s[1] = char(v >> 16);
    s[2] = char(v >> 8);
    s[3] = char(v);
    return s;
}

uint32_t ReadBE(const std::string& s, size_t at)
{
    if (at + 4 > s.size())
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// ---------------------------------------------------------------------------
// Lobby web service

WebService::WebService(const std::string& key) : m_key(key) {}

WebService::~WebService()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        close(m_listen);
}

bool WebService::Start(int port)
{
    m_port = port;
    m_listen = ListenLoopback(m_port);
    if (m_listen < 0)
        return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void WebService::SetMode(Mode m, int redirects)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_mode = m;
    m_redirects = redirects;
    m_redirectsDone = 0;
}

void WebService::SetServers(const std::vector<ServerRecord>& servers)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_servers = servers;
}

std::string WebService::LastQuery()
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_lastQuery;
}

void WebService::Run()
{
    long long end = NowMs() + kLifetimeMs;
    while (!m_stop && NowMs() < end) {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            Serve(fd);
            close(fd);
        }
    }
}

// Serves the requests of one connection (kept open between them).
void WebService::Serve(int fd)
{
    std::string in;
    // Appends what arrives within 50 ms; false when the peer has gone.
    auto receive = [&]() {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            return true;
        char buf[2048];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        in.append(buf, size_t(n));
        return true;
    };
    long long end = NowMs() + 5000;
    while (!m_stop && NowMs() < end) {
        size_t head = in.find("\r\n\r\n");
        if (head == std::string::npos) {
            if (!receive())
                return;
            continue;
        }
        std::string h = in.substr(0, head);
        size_t length = 0;
        size_t cl = h.find("Content-Length: ");
        if (cl != std::string::npos)
            length = size_t(std::stoul(h.substr(cl + 16)));
        while (in.size() < head + 4 + length && !m_stop && NowMs() < end)
            if (!receive())
                return;
        std::string body = in.substr(head + 4, length);
        in.erase(0, head + 4 + length);
        m_requests++;
        bool postToScript = h.rfind("POST /scripts/update_lobby2.php", 0) == 0 && length == 256;
        std::string query;
        if (postToScript) {
            blowfish_ctx ctx;
            blowfish_set_key(&ctx, m_key.size(), reinterpret_cast<const uint8_t*>(m_key.data()));
            std::string plain(256, '\0');
            blowfish_decrypt(&ctx, 256, reinterpret_cast<uint8_t*>(&plain[0]),
                             reinterpret_cast<const uint8_t*>(body.data()));
            query = plain.substr(0, plain.find('\0'));
            std::lock_guard<std::mutex> l(m_mutex);
            m_lastQuery = query;
        }
        Mode mode;
        {
            std::lock_guard<std::mutex> l(m_mutex);
            mode = m_mode;
            if (mode == REDIRECT && m_redirectsDone >= m_redirects)
                mode = LIST;
            else if (mode == REDIRECT)
                m_redirectsDone++;
        }
        if (!postToScript || mode == NOT_FOUND) {
            SendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
            continue;
        }
        if (mode == REDIRECT) {
            SendAll(fd, "HTTP/1.1 302 Found\r\nLocation: /scripts/update_lobby2.php?again\r\nContent-Length: 0\r\n\r\n");
            continue;
        }
        if (mode == GARBAGE) {
            static const char kGarbage[] = "\x7f\x00garbage\r\n\r\n";
            SendAll(fd, std::string(kGarbage, sizeof kGarbage - 1));
            return;
        }
        if (mode == BAD_LENGTH) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n" + BE32(0));
            return;
        }
        std::string reply = Reply(query);
        if (mode == DRIP) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply.size()) + "\r\n\r\n");
            for (size_t i = 0; i < reply.size() && !m_stop; i++) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                if (send(fd, reply.data() + i, 1, MSG_NOSIGNAL) != 1)
                    return;
            }
            return;
        }
        if (mode == CUT) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply.size()) + "\r\n\r\n" +
                            reply.substr(0, reply.size() / 2));
            return;
        }
        SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                        std::to_string(reply.size()) + "\r\n\r\n" + reply);
    }
}

std::string WebService::Reply(const std::string& query)
{
    std::map<std::string, std::string> q = ParseQuery(query);
    uint32_t mask = q.count("return_mask") ? uint32_t(std::stoul(q["return_mask"])) : 49;
    std::lock_guard<std::mutex> l(m_mutex);
    if (m_mode == EMPTY)
        return BE32(0);
    if (m_mode == OVERSIZED)
        return BE32(1) + PaddedString("127.0.0.1") + BE32(1) + std::string(300, 'n');
    std::string out = BE32(uint32_t(m_servers.size() + (m_mode == TRUNCATED ? 1 : 0)));
    for (const ServerRecord& s : m_servers) {
        out += PaddedString(s.ip) + BE32(s.port);
        if (mask & 1)
            out += PaddedString(s.name);
        if (mask & 2)
            out += PaddedString(s.description);
        if (mask & 16)
            out += BE32(s.totalPlayers);
        if (mask & 32)
            out += BE32(s.maxPlayers);
        if (mask & 64)
            out += BE32(s.gameRooms);
        if (mask & 128)
            out += BE32(s.playersInGame);
        out += BE32(s.flags);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Lobby server

LobbyServer::LobbyServer() {}

LobbyServer::~LobbyServer()
{
    Stop();
}

bool LobbyServer::Start()
{
    m_listen = ListenLoopback(m_port);
    if (m_listen < 0)
        return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void LobbyServer::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        close(m_listen);
    m_listen = -1;
}

int LobbyServer::LoggedIn()
{
    return m_loggedIn;
}

void LobbyServer::SendRaw(uint32_t playerId, const std::string& bytes)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_raw.push_back({playerId, bytes});
}

void LobbyServer::SendFrame(Client& c, uint32_t type, const std::string& payload)
{
    if (c.fd >= 0)
        SendAll(c.fd, BE32(type) + BE32(uint32_t(payload.size())) + payload);
}

LobbyServer::Client* LobbyServer::Find(uint32_t id)
{
    for (Client& c : m_clients)
        if (c.loggedIn && c.id == id)
            return &c;
    return nullptr;
}

LobbyServer::Room* LobbyServer::FindRoom(uint32_t id)
{
    for (Room& r : m_rooms)
        if (r.id == id)
            return &r;
    return nullptr;
}

std::string LobbyServer::RoomList()
{
    std::string out = BE32(uint32_t(m_rooms.size()));
    for (const Room& r : m_rooms) {
        out += BE32(r.id) + BE32(uint32_t(r.members.size())) + BE32(r.maxPlayers) + BE32(r.password.empty() ? 0 : 1) +
               BE32(r.groupMask) + BE32(uint32_t(r.description.size())) + r.description;
    }
    return out;
}

void LobbyServer::SendRoomList()
{
    std::string list = RoomList();
    for (Client& c : m_clients)
        if (c.loggedIn && c.roomSubscriber)
            SendFrame(c, 20, list);
}

void LobbyServer::LeaveRoom(Client& c)
{
    Room* r = FindRoom(c.room);
    c.room = 0;
    if (!r)
        return;
    for (size_t i = 0; i < r->members.size(); i++) {
        if (r->members[i] == c.id) {
            r->members.erase(r->members.begin() + long(i));
            break;
        }
    }
    if (r->host == c.id || r->members.empty()) {
        // The host leaving closes the room.
        for (uint32_t m : r->members) {
            if (Client* o = Find(m)) {
                o->room = 0;
                SendFrame(*o, 7, "");
            }
        }
        for (size_t i = 0; i < m_rooms.size(); i++) {
            if (m_rooms[i].id == r->id) {
                m_rooms.erase(m_rooms.begin() + long(i));
                break;
            }
        }
    } else {
        for (uint32_t m : r->members)
            if (Client* o = Find(m))
                SendFrame(*o, 22, BE32(c.id));
    }
    SendRoomList();
}

void LobbyServer::Relay(Client& from, const std::string& payload)
{
    Room* r = FindRoom(from.room);
    if (!r || payload.size() < 4)
        return;
    uint32_t target = ReadBE(payload, 0);
    std::string data = payload.substr(4);
    std::vector<uint32_t> to;
    if (target == 0xFFFFFFFFu || target == 0xFFFFFFFDu) {
        for (uint32_t m : r->members)
            if (m != from.id)
                to.push_back(m);
    } else if (target == 0xFFFFFFFEu) {
        if (r->host != from.id)
            to.push_back(r->host);
    } else if (target == 0xFFFFFFFCu) {
        uint32_t n = ReadBE(payload, 4);
        if (payload.size() < 8 + 4 * size_t(n))
            return;
        for (uint32_t i = 0; i < n; i++)
            to.push_back(ReadBE(payload, 8 + 4 * i));
        data = payload.substr(8 + 4 * size_t(n));
    } else {
        to.push_back(target);
    }
    for (uint32_t id : to) {
        Client* c = Find(id);
        if (c && c->room == r->id)
            SendFrame(*c, 0, BE32(from.id) + data);
    }
}

// Handles one frame; false drops the connection.
bool LobbyServer::Handle(Client& c, uint32_t type, const std::string& p)
{
    if (!c.loggedIn) {
        if (type != 1 || p.size() < 9)
            return false;
        std::string name = p.substr(8);
        name = name.substr(0, name.find('\0'));
        if (m_refused.count(name)) {
            SendFrame(c, 10, "");
            return false;
        }
        bool taken = m_taken.count(name) > 0;
        for (Client& o : m_clients)
            taken |= o.loggedIn && o.name == name;
        if (taken) {
            SendFrame(c, 12, name + "_2" + std::string(1, '\0'));
            return false;
        }
        c.id = m_nextId++;
        c.name = name;
        c.loggedIn = true;
        m_loggedIn++;
        SendFrame(c, 9, BE32(c.id) + m_serverName + std::string(1, '\0'));
        SendFrame(c, 31, BE32(0));
        for (Client& o : m_clients)
            if (o.loggedIn && o.lobbySubscriber && o.id != c.id)
                SendFrame(o, 34, BE32(c.id) + c.name + std::string(1, '\0'));
        return true;
    }
    switch (type) {
    case 0:
        Relay(c, p);
        return true;
    case 2:
        return false;
    case 3: {
        if (p.size() < 9)
            return true;
        LeaveRoom(c);
        Room r;
        r.id = m_nextRoom++;
        r.maxPlayers = ReadBE(p, 0);
        r.groupMask = ReadBE(p, 4);
        size_t z = p.find('\0', 8);
        if (z == std::string::npos)
            return true;
        r.password = p.substr(8, z - 8);
        r.description = p.substr(z + 1);
        r.members.push_back(c.id);
        r.host = c.id;
        m_rooms.push_back(r);
        c.room = r.id;
        SendFrame(c, 16, BE32(c.id));
        SendFrame(c, 24, BE32(r.maxPlayers));
        SendFrame(c, 21, BE32(c.id) + c.name + std::string(1, '\0'));
        SendRoomList();
        return true;
    }
    case 4: {
        if (p.size() < 9)
            return true;
        uint32_t id = ReadBE(p, 0);
        std::string password = p.substr(8);
        password = password.substr(0, password.find('\0'));
        Room* r = FindRoom(id);
        if (!r) {
            SendFrame(c, 19, "");
            return true;
        }
        if (r->password != password) {
            SendFrame(c, 25, "");
            return true;
        }
        if (r->members.size() >= r->maxPlayers) {
            SendFrame(c, 17, "");
            return true;
        }
        if (c.room != id) {
            LeaveRoom(c);
            r = FindRoom(id);
            if (!r)
                return true;
            for (uint32_t m : r->members)
                if (Client* o = Find(m))
                    SendFrame(*o, 21, BE32(c.id) + c.name + std::string(1, '\0'));
            r->members.push_back(c.id);
            c.room = id;
        }
        SendFrame(c, 16, BE32(r->host));
        SendFrame(c, 24, BE32(r->maxPlayers));
        for (uint32_t m : r->members)
            if (Client* o = Find(m))
                SendFrame(c, 21, BE32(o->id) + o->name + std::string(1, '\0'));
        SendRoomList();
        return true;
    }
    case 5:
        c.roomSubscriber = !c.roomSubscriber;
        if (c.roomSubscriber)
            SendFrame(c, 20, RoomList());
        return true;
    case 7:
        LeaveRoom(c);
        return true;
    case 32:
        c.lobbySubscriber = true;
        for (Client& o : m_clients)
            if (o.loggedIn && o.id != c.id)
                SendFrame(c, 34, BE32(o.id) + o.name + std::string(1, '\0'));
        return true;
    case 33:
        c.lobbySubscriber = false;
        return true;
    default:
        return true;
    }
}

void LobbyServer::Drop(size_t index)
{
    Client& c = m_clients[index];
    if (c.loggedIn) {
        LeaveRoom(c);
        m_loggedIn--;
        for (Client& o : m_clients)
            if (o.loggedIn && o.lobbySubscriber && o.id != c.id)
                SendFrame(o, 35, BE32(c.id));
    }
    if (c.fd >= 0)
        close(c.fd);
    m_clients.erase(m_clients.begin() + long(index));
}

void LobbyServer::Run()
{
    long long end = NowMs() + m_lifetimeMs;
    long long nextKeepAlive = NowMs() + m_keepAliveMs;
    while (!m_stop && NowMs() < end) {
        std::vector<pollfd> fds;
        fds.push_back({m_listen, POLLIN, 0});
        for (Client& c : m_clients)
            fds.push_back({c.fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 10);
        if (fds[0].revents & POLLIN) {
            int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                Client c;
                c.fd = fd;
                m_clients.push_back(c);
            }
        }
        for (size_t i = m_clients.size(); i-- > 0;) {
            if (i + 1 >= fds.size() || !(fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Client& c = m_clients[i];
            char buf[4096];
            ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0) {
                Drop(i);
                continue;
            }
            c.in.append(buf, size_t(n));
            bool keep = true;
            while (keep && c.in.size() >= 8) {
                uint32_t type = ReadBE(c.in, 0);
                uint32_t len = ReadBE(c.in, 4);
                if (type > 35 || len > 1015) {
                    keep = false;
                    break;
                }
                if (c.in.size() < 8 + size_t(len))
                    break;
                std::string payload = c.in.substr(8, len);
                c.in.erase(0, 8 + size_t(len));
                keep = Handle(m_clients[i], type, payload);
            }
            if (!keep)
                Drop(i);
        }
        {
            std::lock_guard<std::mutex> l(m_mutex);
            for (auto& raw : m_raw)
                if (Client* c = Find(raw.first))
                    SendAll(c->fd, raw.second);
            m_raw.clear();
        }
        if (m_closeLobby) {
            m_closeLobby = false;
            while (!m_clients.empty()) {
                if (m_clients.back().loggedIn)
                    SendFrame(m_clients.back(), 14, "");
                close(m_clients.back().fd);
                if (m_clients.back().loggedIn)
                    m_loggedIn--;
                m_clients.pop_back();
            }
            m_rooms.clear();
        }
        if (NowMs() >= nextKeepAlive) {
            nextKeepAlive = NowMs() + m_keepAliveMs;
            for (Client& c : m_clients)
                if (c.loggedIn)
                    SendFrame(c, 15, "");
        }
    }
    for (Client& c : m_clients)
        close(c.fd);
    m_clients.clear();
}

} // namespace lobbytest
