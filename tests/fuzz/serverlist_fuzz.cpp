// Fuzz target: the lobby web service's server-list reply and its redirects.
// The reply bytes reach the discovery's reply buffer in pieces, as the HTTP
// response delivers them, and are parsed with the return mask the input
// chooses; every server that comes out is read back through the accessors.
// The same bytes, up to a zero, are a redirect's Location, turned into the
// next address from a server with and without a port.
//
// Input: a byte of return mask, a byte of piece size, then the reply.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/net/online/serverdiscoveryimp.h"
#include "engine/net/uri.h"

namespace VOrededidaza {
namespace Internal {

struct ServerListProbe {
    static void SetMask(ServerDiscoveryImp& d, int mask) { d.m_returnMask = mask; }
    static void Reply(ServerDiscoveryImp& d, const uint8_t* data, size_t size, int piece)
    {
        // As a query does when it starts, without sending anything.
        d.m_request = d.m_http->CreateRequest(PHTTPRequest::POST, "http://127.0.0.1:8080/list");
        if (!d.m_request)
            return;
        d.m_phase = 0;
        d.m_reply.clear();
        d.m_recordFill = 0;
        d.m_recordsRead = 0;
        size_t at = 0;
        // Each round moves at most one piece and parses once, as an update
        // does; the bound covers the records left in the assembly buffer.
        for (int round = 0; d.m_request && round < 4096; ++round) {
            int room = d.m_reply.availableSpace();
            int n = int(std::min<size_t>(size_t(std::min(room, piece)), size - at));
            if (n > 0) {
                d.m_reply.addData(data + at, n);
                at += size_t(n);
            }
            d.parse();
            if (n == 0 && d.m_reply.availableData() == 0 && d.m_request) {
                // The response ended: a record may still wait in the
                // assembly buffer.
                ServerDiscoveryImp::Server scratch;
                if (d.m_phase == 2 || d.parseRecord(scratch) <= 0)
                    d.endQuery(d.m_phase == 2);
            }
        }
        if (d.m_request)
            d.endQuery(false);
    }
};

} // namespace Internal
} // namespace VOrededidaza

using namespace VOrededidaza;
using namespace VOrededidaza::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    ServerDiscoveryImp d(nullptr);
    ServerListProbe::SetMask(d, data[0]);
    int piece = 1 + data[1] % 128;
    ServerListProbe::Reply(d, data + 2, size - 2, piece);
    int count = d.getServerCount();
    if (count < 0 || count > ServerDiscoveryImp::kMaxServers)
        __builtin_trap();
    for (int i = 0; i <= count; ++i) {
        const char* texts[] = {d.getServerName(unsigned(i)), d.getServerDescription(unsigned(i)),
                               d.getServerIP(unsigned(i))};
        for (const char* t : texts)
            if (t && std::strlen(t) > 128)
                __builtin_trap();
        d.getServerPort(unsigned(i));
        d.getServerPlayerCountTotal(unsigned(i));
        d.getServerPlayerCountMax(unsigned(i));
        d.getServerAvailableGameRooms(unsigned(i));
        d.getServerPlayerCountGame(unsigned(i));
        d.getServerNearMe(unsigned(i));
        d.getServerSupportedProtocol(unsigned(i));
    }

    std::string location(reinterpret_cast<const char*>(data + 2), size - 2);
    location.resize(std::strlen(location.c_str()));
    for (const char* from : {"http://127.0.0.1:8080/list", "http://127.0.0.1/list"}) {
        PURI now;
        now.Set(from);
        PURI target;
        ServerDiscoveryImp::redirectTarget(now, location.c_str(), target);
        if (target.IsValid()) {
            target.Host();
            target.Path();
        }
    }
    return 0;
}
