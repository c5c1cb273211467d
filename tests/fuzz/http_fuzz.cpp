// Feeds hostile server responses to the HTTP client: a scripted socket
// answers a GET (and a POST) with the input, cut into pieces whose sizes the
// input's first byte chooses.
#include <cstdint>

#include "engine/net/http.h"
#include "engine/net/httprequest.h"
#include "tests/fuzz/scripted_socket.h"

namespace {

void RunOne(PHTTP& http, int type, const uint8_t* data, size_t size, int piece)
{
    PHTTPRequest* r = http.CreateRequest(type, "http://127.0.0.1:8080/x");
    if (!r)
        return;
    static const unsigned char body[16] = {1, 2, 3};
    PHTTPBodyBlob blob(body, sizeof body);
    if (type == PHTTPRequest::POST)
        r->SetBody(&blob);
    r->SetImpl(new ScriptedSocket(data, size, piece));
    if (r->Submit() == 0) {
        unsigned char buf[300];
        long total = 0;
        for (int i = 0; i < 20000; i++) {
            int s = r->Select(1, 0);
            if (s < 0)
                break;
            if (!(s & 1))
                continue;
            int n = r->Read(buf, int(sizeof buf));
            if (n > 0) {
                total += n;
                if (total > long(size))
                    __builtin_trap(); // more body than the server sent
                continue;
            }
            if (n != PSOCK_EWOULDBLOCK)
                break;
        }
        r->BytesAvail();
        r->BytesLeft();
    }
    delete r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    int piece = 1 + data[0] % 64 * 31;
    PHTTP http;
    RunOne(http, PHTTPRequest::GET, data + 1, size - 1, piece);
    RunOne(http, PHTTPRequest::POST, data + 1, size - 1, piece > 7 ? piece / 7 : 1);
    return 0;
}
