// The host's options: command-line flags read before the program's own
// start-up, each mirrored by an environment variable (flags win).
#pragma once
#include <string>
#include <vector>

namespace host {

enum Mode { MODE_AUTO = 0, MODE_HEADLESS = 1, MODE_DESKTOP = 2 };
enum Renderer {
    RENDERER_REQUEST = 0, // what the application asks (OpenGL ES 1.1 for version codes below 12)
    RENDERER_GLES1 = 1,
    RENDERER_GLES2 = 2,
    RENDERER_SOFTWARE = 3,
};

// Frames first to last (counted from 1), every step-th of them.
struct FrameRange {
    int first = 1;
    int last = 1;
    int step = 1;
};

struct Options {
    int mode = MODE_AUTO;
    int width = 1024;
    int height = 600;
    std::string script;     // event script file
    std::string scriptText; // script text given directly (takes precedence)
    int frames = 0;         // end the run after this many presented frames (0: no limit)
    std::string shots;      // directory for PNG copies of presented frames
    std::vector<FrameRange> shotFrames; // the frames saved there (empty: every one)
    std::string shotSums;   // file of every presented frame's checksums
    int renderer = RENDERER_REQUEST;
    int angle = 0;          // the device angle at start
    int accelerometer = 1;  // whether an accelerometer is present
    int exitGraceMs = 2000; // after the navigator's exit, the run ends this long after at the latest
    int activate = 1;       // the window is reported active once at start, as the tablet does
    std::string opener = "xdg-open";
    int virtualClock = 0;   // the engine's clock moves by clockStepMs per presented frame, not by wall time
    int clockStepMs = 25;
};

// Reads the environment, then the flags. Returns 1 to go on; 0 to stop with
// *exitCode (--help: 0, usage on standard output; a bad flag or value: 2,
// the value and what is accepted on standard error).
int ParseOptions(int argc, char** argv, Options* options, int* exitCode);
char const* OptionsUsage();

// Whether frame n (counted from 1) is one the shots are kept of.
bool ShotWanted(Options const& options, unsigned n);

void Configure(Options const& options);
Options const& GetOptions();

} // namespace host
