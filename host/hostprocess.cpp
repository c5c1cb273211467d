#include "host/hostprocess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "engine/runtime/pdebug.h"

namespace host {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal)
{
    g_stopSignal = signal;
}

} // namespace

int PrepareLogFolder()
{
    char const* const kFolder = "logs";
    struct stat st;
    if (stat(kFolder, &st) == 0 && S_ISDIR(st.st_mode))
        return 1;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        std::strcpy(cwd, ".");
    if (mkdir(kFolder, 0777) != 0) {
        std::fprintf(stderr, "korvanth: cannot create the log folder %s/%s (%s); the log goes to standard output only\n",
                     cwd, kFolder, std::strerror(errno));
        return 0;
    }
    _PDebug("host: created the log folder %s/%s\n", cwd, kFolder);
    return 1;
}

void WatchStopSignals()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // Back to the default after the first: a second signal ends the process
    // when the application does not leave.
    sa.sa_flags = SA_RESETHAND | SA_RESTART;
    for (int signal : {SIGINT, SIGTERM}) {
        // A signal the caller ignores (an interrupt to a background job of a
        // shell script) stays ignored.
        struct sigaction old;
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &sa, nullptr);
    }
}

int StopSignalReceived()
{
    return g_stopSignal;
}

} // namespace host
