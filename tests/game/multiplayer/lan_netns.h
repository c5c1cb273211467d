// A private local network for the local-network tests: network namespaces
// made by the test, each host with one veth link (eth0, 10.77.0.N/24, a
// route for 224.0.0.0/4) to a bridge that lives in a namespace of its own, so
// that no datagram ever reaches the machine's own interfaces. Everything is
// removed again when the object goes. Making namespaces needs privilege;
// without it Ok() is false and the test skips.
#pragma once
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class NetLab {
public:
    explicit NetLab(int hosts)
    {
        m_prefix = "krv" + std::to_string(getpid()) + "x" + std::to_string(s_labs++);
        m_home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        if (m_home < 0 || !Run({"ip", "netns", "add", Bridge()})) {
            m_why = "cannot create network namespaces (needs root or CAP_NET_ADMIN)";
            return;
        }
        m_made.push_back(Bridge());
        bool ok = Run({"ip", "-n", Bridge(), "link", "add", "br0", "type", "bridge"}) &&
                  Run({"ip", "-n", Bridge(), "link", "set", "br0", "up"});
        for (int i = 1; ok && i <= hosts; ++i) {
            std::string h = Host(i), port = "p" + std::to_string(i);
            ok = Run({"ip", "netns", "add", h});
            if (ok)
                m_made.push_back(h);
            ok = ok && Run({"ip", "-n", Bridge(), "link", "add", port, "type", "veth", "peer", "name", "eth0", "netns", h}) &&
                 Run({"ip", "-n", Bridge(), "link", "set", port, "master", "br0", "up"}) &&
                 Run({"ip", "-n", h, "addr", "add", Address(i) + "/24", "dev", "eth0"}) &&
                 Run({"ip", "-n", h, "link", "set", "eth0", "up"}) && Run({"ip", "-n", h, "link", "set", "lo", "up"}) &&
                 Run({"ip", "-n", h, "route", "add", "224.0.0.0/4", "dev", "eth0"});
        }
        if (!ok)
            m_why = "setting up the test network failed";
        m_ok = ok;
    }
    ~NetLab()
    {
        Leave();
        for (pid_t p : m_children)
            Stop(p);
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it)
            Run({"ip", "netns", "del", *it});
        if (m_home >= 0)
            close(m_home);
    }
    bool Ok() const { return m_ok; }
    const std::string& Why() const { return m_why; }
    std::string Bridge() const { return m_prefix + "br"; }
    std::string Host(int i) const { return m_prefix + "h" + std::to_string(i); }
    static std::string Address(int i) { return "10.77.0." + std::to_string(i); }

    // A host apart from the bridge, sealed: its one link is a veth pair
    // whose both ends stay inside it (eth0 with address/24, and its peer),
    // with no default route, so that nothing it sends can leave. Its
    // namespace's name, empty when it cannot be made.
    std::string Sealed(const std::string& address)
    {
        std::string h = m_prefix + "s" + std::to_string(m_made.size());
        if (!Run({"ip", "netns", "add", h}))
            return "";
        m_made.push_back(h);
        bool ok = Run({"ip", "-n", h, "link", "add", "eth0", "type", "veth", "peer", "name", "eth1"}) &&
                  Run({"ip", "-n", h, "addr", "add", address + "/24", "dev", "eth0"}) &&
                  Run({"ip", "-n", h, "link", "set", "eth0", "up"}) && Run({"ip", "-n", h, "link", "set", "eth1", "up"}) &&
                  Run({"ip", "-n", h, "link", "set", "lo", "up"});
        return ok ? h : "";
    }

    // This thread's sockets are made in host i's namespace until Leave.
    bool Enter(int i) { return Enter(Host(i)); }
    bool Enter(const std::string& name)
    {
        int fd = open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        bool ok = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0)
            close(fd);
        return ok;
    }
    void Leave() { setns(m_home, CLONE_NEWNET); }

    // Starts a program in host i's namespace, its output to the file out
    // and its errors to the file err (either may be empty for none).
    pid_t Spawn(int i, std::vector<std::string> args, const std::string& out = "", const std::string& err = "")
    {
        args.insert(args.begin(), {"ip", "netns", "exec", Host(i)});
        pid_t p = Fork(args, out, err);
        if (p > 0)
            m_children.push_back(p);
        return p;
    }
    // Runs a program in host i's namespace to its end; true on exit code 0.
    bool RunIn(int i, std::vector<std::string> args)
    {
        args.insert(args.begin(), {"ip", "netns", "exec", Host(i)});
        return Run(args);
    }
    // Waits (up to seconds real seconds) for a program to end: its wait
    // status, -1 when it is still running.
    static int Wait(pid_t p, int seconds)
    {
        for (int i = 0; i < seconds * 100; ++i) {
            int status = 0;
            if (waitpid(p, &status, WNOHANG) == p)
                return status;
            usleep(10000);
        }
        return -1;
    }
    // Ends a spawned program with SIGINT (tcpdump and socat flush on it).
    void Stop(pid_t p)
    {
        if (p <= 0 || waitpid(p, nullptr, WNOHANG) != 0)  // gone, or already reaped
            return;
        kill(p, SIGINT);
        for (int i = 0; i < 200; ++i) {
            if (waitpid(p, nullptr, WNOHANG) == p)
                return;
            usleep(10000);
        }
        kill(p, SIGKILL);
        waitpid(p, nullptr, 0);
    }

    static bool Run(const std::vector<std::string>& args)
    {
        pid_t p = Fork(args, "", "/dev/null");
        int status = 0;
        return p > 0 && waitpid(p, &status, 0) == p && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // Starts a program here with its output and errors to files (or none).
    static pid_t Fork(const std::vector<std::string>& args, const std::string& out, const std::string& err)
    {
        pid_t p = fork();
        if (p == 0) {
            int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            int o = open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int e = open(err.empty() ? "/dev/null" : err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(o, 1);
            dup2(e, 2);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        return p;
    }

private:
    static inline int s_labs = 0;
    std::string m_prefix;
    std::string m_why;
    bool m_ok = false;
    int m_home = -1;
    std::vector<std::string> m_made;
    std::vector<pid_t> m_children;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Waits (ten real seconds at most) until done() holds.
template <class F>
bool WaitFor(F done)
{
    auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10))
            return false;
        usleep(2000);
    }
    return true;
}
