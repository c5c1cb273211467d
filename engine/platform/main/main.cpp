// The program's entry: the host reads its options (flags and environment),
// makes the log's folder and turns the stop signals into the tablet's exit;
// then the platform layer starts, runs the application and shuts down.
#include <cstdio>

#include "engine/platform/psystemmanager.h"
#include "host/hostoptions.h"
#include "host/hostprocess.h"

#if defined(__SANITIZE_ADDRESS__)
// The GL driver (Mesa) keeps blocks past eglTerminate and is unloaded before
// the leak check at exit, so its blocks cannot be told from ours there: the
// program itself is not leak-checked (the game's code is, by its tests on the
// memory display). The full unwinder must not run on allocation either: it
// deadlocks inside libgcc once the driver has registered JIT-compiled code.
extern "C" char const* __asan_default_options()
{
    return "detect_leaks=0";
}
#endif

int main(int argc, char** argv)
{
    host::Options options;
    int exitCode = 0;
    if (!host::ParseOptions(argc, argv, &options, &exitCode))
        return exitCode;
    host::Configure(options);
    host::PrepareLogFolder();
    host::WatchStopSignals();
    int status = PMain();
    // The log holds the details; the caller gets one line with the first cause.
    if (char const* cause = PStartFailure())
        std::fprintf(stderr, "korvanth: cannot start: %s\n", cause);
    return status;
}
