// Request latency of the HTTP client on loopback, beside libcurl against the
// same in-process server: a fresh connection per request, and keep-alive.
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstring>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/net/http.h"
#include "engine/net/httprequest.h"

namespace {

// A small HTTP/1.1 server: answers every request head with a fixed
// 13-byte body and keeps connections open.
class LoopbackServer {
public:
    LoopbackServer()
    {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        listen(m_listen, 64);
        m_thread = std::thread([this] { Run(); });
    }
    ~LoopbackServer()
    {
        m_stop = true;
        m_thread.join();
        close(m_listen);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/hello"; }

private:
    void Run()
    {
        static const char kReply[] = "HTTP/1.1 200 OK\r\nContent-Length: 13\r\n\r\nhello, world\n";
        std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
        std::vector<std::string> pending{""};
        while (!m_stop) {
            if (poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            for (size_t i = fds.size(); i-- > 0;) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                if (i == 0) {
                    int c = accept(m_listen, nullptr, nullptr);
                    if (c >= 0) {
                        fds.push_back({c, POLLIN, 0});
                        pending.push_back("");
                    }
                    continue;
                }
                char buf[2048];
                ssize_t n = recv(fds[i].fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds.erase(fds.begin() + long(i));
                    pending.erase(pending.begin() + long(i));
                    continue;
                }
                pending[i].append(buf, size_t(n));
                size_t end;
                while ((end = pending[i].find("\r\n\r\n")) != std::string::npos) {
                    pending[i].erase(0, end + 4);
                    send(fds[i].fd, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
                }
            }
        }
        for (size_t i = 1; i < fds.size(); i++)
            close(fds[i].fd);
    }

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

LoopbackServer& Server()
{
    static LoopbackServer s;
    return s;
}

bool DriveToEnd(PHTTPRequest* r)
{
    char buf[256];
    int got = 0;
    for (int i = 0; i < 100000; i++) {
        int s = r->Select(1, 5);
        if (s < 0)
            return false;
        if (!(s & 1))
            continue;
        int n = r->Read(buf, sizeof buf);
        if (n > 0)
            got += n;
        else if (n == 0)
            return got == 13;
        else if (n != PSOCK_EWOULDBLOCK)
            return false;
    }
    return false;
}

void BM_HttpClient_NewConnection(benchmark::State& state)
{
    PHTTP http;
    std::string url = Server().Url();
    for (auto _ : state) {
        PHTTPRequest* r = http.CreateRequest(PHTTPRequest::GET, url.c_str());
        if (!r || r->Submit() != 0 || !DriveToEnd(r))
            state.SkipWithError("request failed");
        delete r;
    }
}
BENCHMARK(BM_HttpClient_NewConnection);

void BM_HttpClient_KeepAlive(benchmark::State& state)
{
    PHTTP http;
    std::string url = Server().Url();
    PHTTPRequest* r = http.CreateRequest(PHTTPRequest::GET, url.c_str());
    for (auto _ : state) {
        r->Reset();
        if (r->Submit() != 0 || !DriveToEnd(r))
            state.SkipWithError("request failed");
    }
    delete r;
}
BENCHMARK(BM_HttpClient_KeepAlive);

size_t Sink(char*, size_t size, size_t n, void* user)
{
    *static_cast<size_t*>(user) += size * n;
    return size * n;
}

void CurlRun(benchmark::State& state, bool reuse)
{
    std::string url = Server().Url();
    CURL* c = curl_easy_init();
    size_t got = 0;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Sink);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &got);
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, reuse ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    for (auto _ : state) {
        got = 0;
        if (curl_easy_perform(c) != CURLE_OK || got != 13)
            state.SkipWithError("curl request failed");
    }
    curl_easy_cleanup(c);
}

void BM_Curl_NewConnection(benchmark::State& state)
{
    CurlRun(state, false);
}
BENCHMARK(BM_Curl_NewConnection);

void BM_Curl_KeepAlive(benchmark::State& state)
{
    CurlRun(state, true);
}
BENCHMARK(BM_Curl_KeepAlive);

} // namespace
