#include "host/hostoptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptime.h"

namespace host {

namespace {

Options g_options;

bool ParseInt(char const* s, long lo, long hi, int* out)
{
    if (!s || !*s)
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    *out = int(v);
    return true;
}

bool ParseSize(char const* s, int* w, int* h)
{
    if (!s)
        return false;
    char const* x = std::strchr(s, 'x');
    if (!x || x - s > 15)
        return false;
    char first[16];
    std::memcpy(first, s, size_t(x - s));
    first[x - s] = 0;
    return ParseInt(first, 16, 8192, w) && ParseInt(x + 1, 16, 8192, h);
}

bool ParseRenderer(char const* s, int* out)
{
    if (!s)
        return false;
    if (!std::strcmp(s, "gles1"))
        *out = RENDERER_GLES1;
    else if (!std::strcmp(s, "gles2"))
        *out = RENDERER_GLES2;
    else if (!std::strcmp(s, "software"))
        *out = RENDERER_SOFTWARE;
    else if (!std::strcmp(s, "auto"))
        *out = RENDERER_REQUEST;
    else
        return false;
    return true;
}

bool ParseMode(char const* s, int* out)
{
    if (!s)
        return false;
    if (!std::strcmp(s, "headless"))
        *out = MODE_HEADLESS;
    else if (!std::strcmp(s, "window"))
        *out = MODE_DESKTOP;
    else if (!std::strcmp(s, "auto"))
        *out = MODE_AUTO;
    else
        return false;
    return true;
}

bool ParseClock(char const* s, int* out)
{
    if (!s)
        return false;
    if (!std::strcmp(s, "virtual"))
        *out = 1;
    else if (!std::strcmp(s, "wall"))
        *out = 0;
    else
        return false;
    return true;
}

// "5,10-20,100-900/100": frame numbers, ranges and ranges taken every n-th
// frame; at most 4096 items.
bool ParseFrameList(char const* s, std::vector<FrameRange>* out)
{
    if (!s || !*s)
        return false;
    std::vector<FrameRange> list;
    char const* p = s;
    for (;;) {
        char const* end = std::strchr(p, ',');
        size_t n = end ? size_t(end - p) : std::strlen(p);
        if (n == 0 || n > 31 || list.size() >= 4096)
            return false;
        char item[32];
        std::memcpy(item, p, n);
        item[n] = 0;
        FrameRange r;
        char* slash = std::strchr(item, '/');
        if (slash) {
            *slash = 0;
            if (!ParseInt(slash + 1, 1, 1000000000, &r.step))
                return false;
        }
        char* dash = std::strchr(item, '-');
        if (dash) {
            *dash = 0;
            if (!ParseInt(item, 1, 1000000000, &r.first) || !ParseInt(dash + 1, 1, 1000000000, &r.last) ||
                r.last < r.first)
                return false;
        } else {
            if (slash || !ParseInt(item, 1, 1000000000, &r.first))
                return false;
            r.last = r.first;
        }
        list.push_back(r);
        if (!end)
            break;
        p = end + 1;
    }
    *out = std::move(list);
    return true;
}

bool ParseAngle(char const* s, int* out)
{
    int a = 0;
    if (!ParseInt(s, 0, 270, &a) || a % 90)
        return false;
    *out = a;
    return true;
}

// One option by name (the flag without its dashes, or the variable's suffix).
bool Apply(Options* o, char const* name, char const* value)
{
    if (!std::strcmp(name, "mode"))
        return ParseMode(value, &o->mode);
    if (!std::strcmp(name, "size"))
        return ParseSize(value, &o->width, &o->height);
    if (!std::strcmp(name, "script")) {
        if (!value)
            return false;
        o->script = value;
        return true;
    }
    if (!std::strcmp(name, "frames"))
        return ParseInt(value, 0, 1000000000, &o->frames);
    if (!std::strcmp(name, "shots")) {
        if (!value)
            return false;
        o->shots = value;
        return true;
    }
    if (!std::strcmp(name, "shot-frames"))
        return ParseFrameList(value, &o->shotFrames);
    if (!std::strcmp(name, "shot-sums")) {
        if (!value)
            return false;
        o->shotSums = value;
        return true;
    }
    if (!std::strcmp(name, "renderer"))
        return ParseRenderer(value, &o->renderer);
    if (!std::strcmp(name, "angle"))
        return ParseAngle(value, &o->angle);
    if (!std::strcmp(name, "accelerometer"))
        return ParseInt(value, 0, 1, &o->accelerometer);
    if (!std::strcmp(name, "exit-grace"))
        return ParseInt(value, 0, 600000, &o->exitGraceMs);
    if (!std::strcmp(name, "clock"))
        return ParseClock(value, &o->virtualClock);
    if (!std::strcmp(name, "clock-step"))
        return ParseInt(value, 1, 60000, &o->clockStepMs);
    return false;
}

struct EnvName {
    char const* env;
    char const* option;
};
constexpr EnvName kEnv[] = {
    {"KRV_MODE", "mode"},         {"KRV_SIZE", "size"},         {"KRV_SCRIPT", "script"},
    {"KRV_FRAMES", "frames"},     {"KRV_SHOTS", "shots"},       {"KRV_SHOT_FRAMES", "shot-frames"},
    {"KRV_SHOT_SUMS", "shot-sums"}, {"KRV_RENDERER", "renderer"},
    {"KRV_ANGLE", "angle"},       {"KRV_ACCELEROMETER", "accelerometer"},
    {"KRV_EXIT_GRACE", "exit-grace"},
    {"KRV_CLOCK", "clock"},       {"KRV_CLOCK_STEP", "clock-step"},
};

// What each option accepts, for the message about a bad value.
struct Accepted {
    char const* option;
    char const* values;
};
constexpr Accepted kAccepted[] = {
    {"mode", "headless, window or auto"},
    {"size", "WxH, each 16 to 8192"},
    {"script", "a file name"},
    {"frames", "a whole number from 0 to 1000000000"},
    {"shots", "a directory name"},
    {"shot-frames", "frame numbers and ranges from 1, e.g. 5,10-20,100-900/100"},
    {"shot-sums", "a file name"},
    {"renderer", "gles1, gles2, software or auto"},
    {"angle", "0, 90, 180 or 270"},
    {"accelerometer", "0 or 1"},
    {"exit-grace", "milliseconds from 0 to 600000"},
    {"clock", "virtual or wall"},
    {"clock-step", "milliseconds from 1 to 60000"},
};

char const* AcceptedValues(char const* option)
{
    for (Accepted const& a : kAccepted)
        if (!std::strcmp(a.option, option))
            return a.values;
    return "see korvanth --help";
}

bool KnownOption(char const* option)
{
    for (EnvName const& e : kEnv)
        if (!std::strcmp(e.option, option))
            return true;
    return false;
}

} // namespace

char const* OptionsUsage()
{
    return "usage: korvanth [options]\n"
           "  --headless            no window: EGL pbuffer, events from --script (env KRV_MODE=headless)\n"
           "  --window              an SDL2 window on X11 (env KRV_MODE=window); default: window when\n"
           "                        DISPLAY is set, else headless\n"
           "  --size WxH            window or pbuffer size, default 1024x600 (KRV_SIZE)\n"
           "  --script FILE         timed event script, see docs/formats/events.md (KRV_SCRIPT)\n"
           "  --frames N            end the run after N presented frames (KRV_FRAMES)\n"
           "  --shots DIR           save every presented frame as DIR/frameNNNNN.png (KRV_SHOTS)\n"
           "  --shot-frames LIST    save only these frames, counted from 1: numbers and ranges,\n"
           "                        a range every S-th frame with /S: 5,10-20,100-900/100\n"
           "                        (KRV_SHOT_FRAMES)\n"
           "  --shot-sums FILE      write every presented frame's number and the CRC-32 and Adler-32\n"
           "                        of its pixels to FILE, a line each (KRV_SHOT_SUMS)\n"
           "  --renderer R          gles1, gles2, software or auto; default auto: what the application\n"
           "                        asks (KRV_RENDERER)\n"
           "  --angle A             device angle at start: 0, 90, 180 or 270 (KRV_ANGLE)\n"
           "  --no-accelerometer    report no accelerometer (KRV_ACCELEROMETER=0)\n"
           "  --exit-grace MS       after the exit event, end the run at the latest after MS\n"
           "                        milliseconds, default 2000 (KRV_EXIT_GRACE)\n"
           "  --clock virtual|wall  virtual: the clock moves only by a fixed step per presented frame,\n"
           "                        for runs that replay exactly; default wall (KRV_CLOCK)\n"
           "  --clock-step MS       the virtual clock's step per frame, default 25 (KRV_CLOCK_STEP)\n"
           "  --help                this text\n";
}

int ParseOptions(int argc, char** argv, Options* options, int* exitCode)
{
    Options o;
    for (EnvName const& e : kEnv) {
        char const* v = std::getenv(e.env);
        if (v && *v && !Apply(&o, e.option, v)) {
            std::fprintf(stderr, "korvanth: bad value \"%s\" of %s (accepted: %s)\n", v, e.env,
                         AcceptedValues(e.option));
            *exitCode = 2;
            return 0;
        }
    }
    for (int i = 1; i < argc; ++i) {
        char const* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::fputs(OptionsUsage(), stdout);
            *exitCode = 0;
            return 0;
        }
        if (!std::strcmp(a, "--headless")) {
            o.mode = MODE_HEADLESS;
            continue;
        }
        if (!std::strcmp(a, "--window")) {
            o.mode = MODE_DESKTOP;
            continue;
        }
        if (!std::strcmp(a, "--no-accelerometer")) {
            o.accelerometer = 0;
            continue;
        }
        if (std::strncmp(a, "--", 2) != 0 || !KnownOption(a + 2)) {
            std::fprintf(stderr, "korvanth: unknown option \"%s\"\n%s", a, OptionsUsage());
            *exitCode = 2;
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "korvanth: %s needs a value (accepted: %s)\n", a, AcceptedValues(a + 2));
            *exitCode = 2;
            return 0;
        }
        if (!Apply(&o, a + 2, argv[i + 1])) {
            std::fprintf(stderr, "korvanth: bad value \"%s\" of %s (accepted: %s)\n", argv[i + 1], a,
                         AcceptedValues(a + 2));
            *exitCode = 2;
            return 0;
        }
        ++i;
    }
    *options = o;
    *exitCode = 0;
    return 1;
}

bool ShotWanted(Options const& options, unsigned n)
{
    if (options.shotFrames.empty())
        return true;
    for (FrameRange const& r : options.shotFrames)
        if (n >= unsigned(r.first) && n <= unsigned(r.last) && (n - unsigned(r.first)) % unsigned(r.step) == 0)
            return true;
    return false;
}

void Configure(Options const& options)
{
    g_options = options;
    PSetVirtualClock(options.virtualClock);
}

Options const& GetOptions()
{
    return g_options;
}

} // namespace host
