#include "engine/net/online/serverdiscoveryimp.h"

#include <cstdio>
#include <cstring>

#include "engine/net/online/blowfish.h"
#include "engine/net/online/packetio.h"
#include "engine/runtime/pdebug.h"

namespace VOrededidaza {
namespace Internal {

namespace {

const char kPath[] = "/scripts/update_lobby2.php";

char g_host[128] = "127.0.0.1:8380";

// The default query key, kept scrambled and put together when first needed.
constexpr unsigned char kScrambledKey[ServerDiscoveryImp::kKeyLength] = {
    'K' ^ 0x5A, 'o' ^ 0x5A, 'r' ^ 0x5A, 'v' ^ 0x5A, 'a' ^ 0x5A, 'n' ^ 0x5A,
    't' ^ 0x5A, 'h' ^ 0x5A, '#' ^ 0x5A, 'L' ^ 0x5A, 'o' ^ 0x5A, 'b' ^ 0x5A,
};
char g_key[ServerDiscoveryImp::kKeyLength + 1] = {0};

bool HasSeparator(const char* s)
{
    return std::strchr(s, '&') || std::strchr(s, '=');
}

} // namespace

void ServerDiscoveryImp::setServiceHost(const char* host)
{
    CopyBounded(g_host, host, int(sizeof g_host) - 1);
}

const char* ServerDiscoveryImp::getServiceHost()
{
    return g_host;
}

void ServerDiscoveryImp::setQueryKey(const char* key12)
{
    if (!key12 || std::strlen(key12) != size_t(kKeyLength)) {
        _PDebug("online: the query key must have %d characters\n", kKeyLength);
        return;
    }
    std::memcpy(g_key, key12, size_t(kKeyLength));
    g_key[kKeyLength] = 0;
}

void ServerDiscoveryImp::getQueryKey(char* out13)
{
    if (!g_key[0]) {
        for (int i = 0; i < kKeyLength; i++)
            g_key[i] = char(kScrambledKey[i] ^ 0x5A);
        g_key[kKeyLength] = 0;
    }
    std::memcpy(out13, g_key, size_t(kKeyLength) + 1);
}

ServerDiscoveryImp::ServerDiscoveryImp(MultiplayerInterfaceImp* owner)
    : m_owner(owner), m_observer(nullptr), m_http(new PHTTP()), m_request(nullptr), m_body(nullptr), m_returnMask(0),
      m_count(0), m_phase(0), m_announced(0), m_recordsRead(0), m_redirects(0), m_recordFill(0), m_pending(nullptr),
      m_loggedIn(nullptr)
{
    std::memset(m_servers, 0, sizeof m_servers);
    m_suggested[0] = 0;
    m_reply.construct(kReplyBuffer);
    if (m_owner)
        m_owner->addUpdateable(this);
}

ServerDiscoveryImp::~ServerDiscoveryImp()
{
    if (m_owner)
        m_owner->removeUpdateable(this);
    delete m_request;
    delete m_body;
    delete m_loggedIn;
    delete m_pending;
    delete m_http;
}

void ServerDiscoveryImp::notify(Message m, Status s)
{
    if (m_observer)
        m_observer->onNotify(m, s);
}

int ServerDiscoveryImp::buildQuery(const ServerFilter& filter, unsigned char* out)
{
    if (HasSeparator(filter.getNameFilter()) || HasSeparator(filter.getDescriptionFilter())) {
        _PDebug("online: filter values may not contain '&' or '='\n");
        return 0;
    }
    char text[512];
    int n = std::snprintf(text, sizeof text,
                          "action=3&game_id=%d&protocol_version=%d&name_filter=%s&desc_filter=%s&protocol_filter=%d"
                          "&near_me_filter=%d&sorting_key=%s&max_results=%d&return_mask=%d",
                          int(filter.getGameId()), kProtocolVersion, filter.getNameFilter(),
                          filter.getDescriptionFilter(), int(filter.getProtocolFilter()), int(filter.getNearMeFilter()),
                          filter.getSortingKeyString(), filter.getMaxResults(), filter.getReturnMask());
    if (n < 0 || n > kQuerySize - 1) {
        _PDebug("online: server query of %d bytes does not fit %d\n", n, kQuerySize - 1);
        return 0;
    }
    std::memset(out, ' ', size_t(kQuerySize));
    std::memcpy(out, text, size_t(n) + 1);
    return 1;
}

int ServerDiscoveryImp::getServerList(const ServerFilter& filter)
{
    if (m_request || !m_http)
        return 0;
    m_body = new PHTTPBodyBlob(kQuerySize);
    if (!m_body || !m_body->Buffer() || !buildQuery(filter, m_body->Buffer())) {
        delete m_body;
        m_body = nullptr;
        return 0;
    }
    char key[kKeyLength + 1];
    getQueryKey(key);
    {
        Blowfish cipher(reinterpret_cast<const unsigned char*>(key), kKeyLength);
        cipher.encryptBuffer(m_body->Buffer(), kQuerySize);
    }
    std::memset(key, 0, sizeof key);

    m_phase = 0;
    m_reply.clear();
    m_recordFill = 0;
    m_recordsRead = 0;
    m_redirects = 0;
    m_queryTimer.Reset();
    char url[200];
    std::snprintf(url, sizeof url, "http://%s%s", g_host, kPath);
    m_request = m_http->CreateRequest(PHTTPRequest::POST, url);
    if (!m_request) {
        _PDebug("online: bad lobby web service address \"%s\"\n", url);
        delete m_body;
        m_body = nullptr;
        return 0;
    }
    m_request->SetBody(m_body);
    int r = m_request->Submit();
    if (r == -1 || r == PSOCK_EINVAL || r == PSOCK_ENOMEM) {
        delete m_request;
        delete m_body;
        m_request = nullptr;
        m_body = nullptr;
        return 0;
    }
    // Any other failure shows on the next update as a query without reply.
    m_returnMask = filter.getReturnMask();
    return 1;
}

void ServerDiscoveryImp::endQuery(bool ok)
{
    delete m_request;
    delete m_body;
    m_request = nullptr;
    m_body = nullptr;
    if (!ok)
        m_phase = 0;
    notify(MSG_SERVER_LIST, ok ? STATUS_OK : STATUS_FAILED);
}

void ServerDiscoveryImp::redirectTarget(const PURI& now, const char* location, PURI& target)
{
    if (location[0] == '/') {
        // A path on the same server.
        char url[600];
        if (now.Port() > 0)
            std::snprintf(url, sizeof url, "http://%s:%d%.500s", now.Host(), now.Port(), location);
        else
            std::snprintf(url, sizeof url, "http://%s%.500s", now.Host(), location);
        target.Set(url);
    } else {
        target.Set(location);
    }
}

bool ServerDiscoveryImp::followRedirect()
{
    const PHTTPHeaders::Entry* loc = m_request->Response()->Headers().GetHeader(PHTTP_LOCATION);
    if (!loc || loc->length == 0) {
        _PDebug("online: redirect without a Location\n");
        return false;
    }
    if (++m_redirects > kMaxRedirects) {
        _PDebug("online: more than %d redirects\n", kMaxRedirects);
        return false;
    }
    PURI target;
    redirectTarget(m_request->Uri(), loc->value, target);
    if (m_request->Reset(PHTTPRequest::POST, target) != 0)
        return false;
    m_request->SetBody(m_body);
    return m_request->Submit() == 0;
}

void ServerDiscoveryImp::update()
{
    if (m_request && m_queryTimer() > kQueryTimeoutMs) {
        // A service that answers too slowly, or never ends its answer.
        _PDebug("online: the lobby web service did not answer within %u ms\n", unsigned(kQueryTimeoutMs));
        endQuery(false);
    }
    if (m_request) {
        int s = m_request->Select(1, 0);
        if (s < 0) {
            endQuery(false);
            loginFollowUp();
            return;
        }
        if (s & 1) {
            PHTTPResponse* resp = m_request->Response();
            if (!resp || !m_request->HeadComplete()) {
                _PDebug("online: the lobby web service did not answer\n");
                endQuery(false);
                return;
            }
            int status = resp->Status();
            if (status >= 301 && status <= 307) {
                if (!followRedirect())
                    endQuery(false);
                return;
            }
            if (status < 200 || status > 299) {
                _PDebug("online: the lobby web service answered %d\n", status);
                endQuery(false);
                return;
            }
            int room = m_reply.availableSpace();
            if (room > 128)
                room = 128;
            if (room > 0) {
                unsigned char buf[128];
                int n = m_request->Read(buf, room);
                if (n > 0) {
                    m_reply.addData(buf, n);
                } else if (n < 0 && n != PSOCK_EWOULDBLOCK) {
                    _PDebug("online: reading the server list failed\n");
                    endQuery(false);
                    loginFollowUp();
                    return;
                }
            }
        }
        parse();
        if (m_request && m_request->GetState() == PHTTPRequest::STATE_DONE && m_reply.availableData() == 0) {
            if (m_request->Failed() || m_phase == 0) {
                _PDebug("online: server list ended before its count\n");
                endQuery(false);
            } else if (m_phase == 2) {
                endQuery(true);
            } else {
                // Nothing left to read: a record may still wait in the
                // assembly buffer (one is parsed per update); otherwise
                // records are missing.
                Server scratch;
                if (parseRecord(scratch) <= 0) {
                    _PDebug("online: server list ended after %u of %u records\n", m_recordsRead, m_announced);
                    endQuery(false);
                }
            }
        }
    }
    loginFollowUp();
}

void ServerDiscoveryImp::parse()
{
    if (!m_request)
        return;
    if (m_phase == 0) {
        if (m_reply.availableData() < 4)
            return;
        unsigned char b[4];
        m_reply.readData(b, 4);
        m_announced = ReadBE32(b);
        m_count = 0;
        m_recordsRead = 0;
        m_recordFill = 0;
        m_phase = m_announced == 0 ? 2 : 1;
        return;
    }
    if (m_phase != 1)
        return;
    int take = kRecordBuffer - m_recordFill;
    if (take > m_reply.availableData())
        take = m_reply.availableData();
    if (take > 0) {
        m_reply.readData(m_record + m_recordFill, take);
        m_recordFill += take;
    }
    Server entry;
    int used = parseRecord(entry);
    if (used < 0 || (used == 0 && m_recordFill == kRecordBuffer)) {
        _PDebug("online: malformed or oversized server record\n");
        endQuery(false);
        return;
    }
    if (used == 0)
        return;
    // Records beyond the sixteenth are read and dropped.
    if (m_count < kMaxServers)
        m_servers[m_count++] = entry;
    m_recordsRead++;
    std::memmove(m_record, m_record + used, size_t(m_recordFill - used));
    m_recordFill -= used;
    if (m_recordsRead >= m_announced)
        m_phase = 2;
}

int ServerDiscoveryImp::parseRecord(Server& out)
{
    std::memset(&out, 0, sizeof out);
    out.gameRooms = -1;
    int pos = 0;
    auto str = [&](char* dst, int max) -> int {
        const unsigned char* z =
            static_cast<const unsigned char*>(std::memchr(m_record + pos, 0, size_t(m_recordFill - pos)));
        if (!z)
            return 0;
        int n = int(z - (m_record + pos));
        int field = (n + 4) & ~3;
        if (pos + field > m_recordFill)
            return 0;
        CopyBounded(dst, reinterpret_cast<const char*>(m_record + pos), n < max ? n : max);
        pos += field;
        return 1;
    };
    auto u32 = [&](uint32_t& v) -> int {
        if (pos + 4 > m_recordFill)
            return 0;
        v = ReadBE32(m_record + pos);
        pos += 4;
        return 1;
    };
    uint32_t v;
    if (!str(out.ip, 15) || !u32(out.port))
        return 0;
    if ((m_returnMask & ServerFilter::RETURN_NAME) && !str(out.name, 64))
        return 0;
    if ((m_returnMask & ServerFilter::RETURN_DESCRIPTION) && !str(out.description, 128))
        return 0;
    if (m_returnMask & ServerFilter::RETURN_TOTAL_PLAYERS) {
        if (!u32(v))
            return 0;
        out.totalPlayers = int32_t(v);
    }
    if (m_returnMask & ServerFilter::RETURN_MAX_PLAYERS) {
        if (!u32(v))
            return 0;
        out.maxPlayers = int32_t(v);
    }
    if (m_returnMask & ServerFilter::RETURN_GAME_ROOMS) {
        if (!u32(v))
            return 0;
        out.gameRooms = int32_t(v);
    }
    if (m_returnMask & ServerFilter::RETURN_PLAYERS_IN_GAME) {
        if (!u32(v))
            return 0;
        out.playersInGame = int32_t(v);
    }
    if (!u32(out.flags))
        return 0;
    return pos;
}

void ServerDiscoveryImp::loginFollowUp()
{
    if (!m_pending)
        return;
    int state = m_pending->getState();
    if (state == LobbyInterfaceImp::STATE_FAILED) {
        Status result;
        switch (m_pending->getFailureReason()) {
        case 12:
            result = STATUS_NAME_TAKEN;
            m_pending->getSuggestedName(m_suggested, int(sizeof m_suggested));
            break;
        case 11: result = STATUS_LOGIN_REJECTED_11; break;
        case 10: result = STATUS_LOGIN_REJECTED_10; break;
        case 13: result = STATUS_LOGIN_REJECTED_13; break;
        case -2: result = STATUS_NO_CONNECTION; break;
        default: result = STATUS_FAILED; break;
        }
        delete m_pending;
        m_pending = nullptr;
        notify(MSG_LOGIN, result);
    } else if (state == LobbyInterfaceImp::STATE_LOGGED_IN) {
        delete m_loggedIn;
        m_loggedIn = m_pending;
        m_pending = nullptr;
        notify(MSG_LOGIN, STATUS_OK);
    }
}

int ServerDiscoveryImp::connectToServer(unsigned index, unsigned gameId, const char* userName)
{
    if (index >= unsigned(m_count))
        return 0;
    return connectToServer(m_servers[index].ip, int(m_servers[index].port), gameId, userName);
}

int ServerDiscoveryImp::connectToServer(const char* ip, int port, unsigned gameId, const char* userName)
{
    if (m_pending)
        return 0;
    m_pending = new LobbyInterfaceImp(m_owner);
    if (!m_pending)
        return 0;
    if (!m_pending->logIn(gameId, ip, port, userName)) {
        delete m_pending;
        m_pending = nullptr;
        return 0;
    }
    return 1;
}

LobbyInterface* ServerDiscoveryImp::getLobbyInterface()
{
    LobbyInterface* l = m_loggedIn;
    m_loggedIn = nullptr;
    return l;
}

const ServerDiscoveryImp::Server* ServerDiscoveryImp::server(unsigned i) const
{
    return i < unsigned(m_count) ? &m_servers[i] : nullptr;
}

const char* ServerDiscoveryImp::getServerName(unsigned i)
{
    const Server* s = server(i);
    return s ? s->name : nullptr;
}

const char* ServerDiscoveryImp::getServerDescription(unsigned i)
{
    const Server* s = server(i);
    return s ? s->description : nullptr;
}

const char* ServerDiscoveryImp::getServerIP(unsigned i)
{
    const Server* s = server(i);
    return s ? s->ip : nullptr;
}

unsigned ServerDiscoveryImp::getServerPort(unsigned i)
{
    const Server* s = server(i);
    return s ? s->port : 0;
}

int ServerDiscoveryImp::getServerPlayerCountTotal(unsigned i)
{
    const Server* s = server(i);
    return s ? s->totalPlayers : 0;
}

int ServerDiscoveryImp::getServerPlayerCountMax(unsigned i)
{
    const Server* s = server(i);
    return s ? s->maxPlayers : 0;
}

int ServerDiscoveryImp::getServerAvailableGameRooms(unsigned i)
{
    const Server* s = server(i);
    return s ? s->gameRooms : 0;
}

int ServerDiscoveryImp::getServerPlayerCountGame(unsigned i)
{
    const Server* s = server(i);
    return s ? s->playersInGame : 0;
}

int ServerDiscoveryImp::getServerNearMe(unsigned i)
{
    const Server* s = server(i);
    return s ? int(s->flags & 1) : 0;
}

int ServerDiscoveryImp::getServerSupportedProtocol(unsigned i)
{
    const Server* s = server(i);
    return s ? int(s->flags & 2) : 0;
}

} // namespace Internal
} // namespace VOrededidaza
