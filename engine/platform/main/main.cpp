// The program's entry: the host reads its options (flags and environment),
// makes the log's folder and turns the stop signals into the tablet's exit;
// then the platform layer starts, runs the application and shuts down.
#include "engine/platform/psystemmanager.h"
#include "host/hostoptions.h"
#include "host/hostprocess.h"

#if defined(__SANITIZE_ADDRESS__)
// Mesa's EGL driver keeps a block from its one-time set-up past eglTerminate,
// and the D-Bus library SDL starts keeps its connection data to the end:
// neither is ours to free. Mesa has no frame pointers: the full unwinder is
// needed for the suppression to see the library in the stack.
extern "C" char const* __lsan_default_suppressions()
{
    return "leak:libEGL_mesa.so\nleak:libdbus-1.so\n";
}
extern "C" char const* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
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
    return PMain();
}
