// Helpers of the network tests: child server processes on loopback and a
// driver that runs an HTTP request to its end.
#pragma once
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/net/httprequest.h"
#include "engine/runtime/ptime.h"

namespace nettest {

inline std::string SourceDir()
{
    return KRV_SOURCE_DIR;
}

inline bool FileExists(const std::string& p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

inline std::string FindProgram(const char* name)
{
    const char* dirs[] = {"/usr/sbin", "/usr/bin", "/usr/local/bin", "/usr/local/sbin"};
    for (const char* d : dirs) {
        std::string p = std::string(d) + "/" + name;
        if (access(p.c_str(), X_OK) == 0)
            return p;
    }
    if (const char* path = getenv("PATH")) {
        std::string all = path;
        size_t start = 0;
        while (start <= all.size()) {
            size_t end = all.find(':', start);
            if (end == std::string::npos)
                end = all.size();
            std::string p = all.substr(start, end - start) + "/" + name;
            if (access(p.c_str(), X_OK) == 0)
                return p;
            start = end + 1;
        }
    }
    return "";
}

// A port on 127.0.0.1 that was free a moment ago.
inline int FreeLoopbackPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

// True when something accepts TCP connections on 127.0.0.1:port.
inline bool CanConnect(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// A child process with its standard input and output on pipes. Closing its
// input tells the test servers to stop; Stop ends it by its process id.
class Child {
public:
    ~Child() { Stop(); }

    bool Start(const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (pipe(in) != 0)
            return false;
        if (pipe(out) != 0) {
            close(in[0]);
            close(in[1]);
            return false;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[0]);
            close(in[1]);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
        return m_pid > 0;
    }

    // Reads the "PORT <n>" line the test servers print; 0 when none came.
    int ReadPort(int timeoutMs = 10000)
    {
        std::string line;
        uint32_t start = PTickCount();
        while (int(PTickCount() - start) < timeoutMs) {
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (read(m_out, &c, 1) != 1)
                return 0;
            if (c == '\n') {
                int port = 0;
                if (std::sscanf(line.c_str(), "PORT %d", &port) == 1)
                    return port;
                line.clear();
            } else {
                line += c;
            }
        }
        return 0;
    }

    void Stop()
    {
        if (m_in >= 0)
            close(m_in);
        m_in = -1;
        if (m_pid > 0) {
            for (int i = 0; i < 100; i++) {
                if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                    m_pid = -1;
                    break;
                }
                if (i == 20)
                    kill(m_pid, SIGTERM);
                usleep(20000);
            }
            if (m_pid > 0) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                m_pid = -1;
            }
        }
        if (m_out >= 0)
            close(m_out);
        m_out = -1;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
};

struct FetchResult {
    int status = 0;      // response status, 0 when no head was read
    std::string body;
    int end = 0;         // the result that ended the exchange: 0 clean, negative failure
    int state = -1;      // request state at the end
    bool timedOut = false;
};

// Polls a submitted request the way the main loop does (Select then Read)
// until its body ends, it fails or timeoutMs pass.
inline FetchResult Drive(PHTTPRequest* r, int timeoutMs = 10000)
{
    FetchResult f;
    char buf[700];
    uint32_t start = PTickCount();
    for (;;) {
        if (int(PTickCount() - start) > timeoutMs) {
            f.timedOut = true;
            break;
        }
        int s = r->Select(1, 20);
        if (s < 0) {
            f.end = s;
            break;
        }
        if (!(s & 1))
            continue;
        int n = r->Read(buf, sizeof buf);
        if (n > 0) {
            f.body.append(buf, size_t(n));
            continue;
        }
        if (n == PSOCK_EWOULDBLOCK)
            continue;
        f.end = n;
        break;
    }
    if (r->Response())
        f.status = r->Response()->Status();
    f.state = r->GetState();
    return f;
}

// Points the request at the address with the method and body (or, without
// an address, repeats it), submits it and runs it to its end; end -1 when
// the reset or the submission fails.
inline FetchResult Again(PHTTPRequest* r, int method = PHTTPRequest::GET, std::string const& url = {},
                         PHTTPBody* body = nullptr)
{
    int reset = url.empty() ? r->Reset() : r->Reset(method, PURI(url.c_str()));
    if (!url.empty())
        r->SetBody(body);
    if (reset != 0 || r->Submit() != 0) {
        FetchResult failed;
        failed.end = -1;
        return failed;
    }
    return Drive(r);
}

} // namespace nettest
