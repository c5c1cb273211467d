// The common event service: one queue fed by the configured flavour, the
// frame counter, the end of the run (frame limit, end of script, grace after
// the navigator's exit), orientation and accelerometer answers, and the
// window calls passed on to the flavour.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <GLES2/gl2.h>
#include <zlib.h>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptime.h"
#include "host/hostflavour.h"
#include "host/hostprocess.h"

extern char** environ;

namespace host {

namespace {

constexpr size_t kCallsKept = 64;
constexpr size_t kCallSize = 128;

struct Service {
    std::unique_ptr<Flavour> flavour;
    std::deque<Event> queue;
    bool running = false;
    bool sourceDone = false;
    bool exitQueued = false;     // a navigator exit is queued or delivered
    bool exitDelivered = false;
    uint32_t exitTick = 0;
    uint32_t startTick = 0;
    unsigned frames = 0;
    int windows = 0;
    bool stopPending = false;
    int orientationAngle = 0;
    unsigned framesAtLastIdle = 0; // frames presented when the event queue last ran dry
    // The latest calls, oldest first from callsNext once the ring is full.
    // Fixed storage: a long run calls the services without end, and logging
    // a call allocates nothing.
    char calls[kCallsKept][kCallSize] = {};
    size_t callsNext = 0;
    size_t callsKept = 0;
};

Service& S()
{
    static Service service;
    return service;
}

// The flavour the options ask for: the desktop when they say so, or when
// they leave it open and there is a display.
int FlavourMode(Options const& o)
{
    if (o.mode != MODE_AUTO)
        return o.mode;
    char const* display = std::getenv("DISPLAY");
    return display && *display ? MODE_DESKTOP : MODE_HEADLESS;
}

// Creates dir and its missing parents; false (logged) when it cannot.
bool MakeDirectories(std::string const& dir)
{
    for (size_t at = 1; at <= dir.size(); ++at) {
        if (at < dir.size() && dir[at] != '/')
            continue;
        std::string part = dir.substr(0, at);
        struct stat st;
        if (stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            _PDebug("host: cannot create the frame directory \"%s\": %s\n", part.c_str(), std::strerror(errno));
            return false;
        }
    }
    return true;
}

void FinishStop()
{
    Service& s = S();
    if (s.flavour)
        s.flavour->Stop();
    s.flavour.reset();
    s.stopPending = false;
}

void Pump()
{
    Service& s = S();
    if (!s.running || !s.flavour)
        return;
    size_t before = s.queue.size();
    int done = s.flavour->Poll(s.queue, s.frames, PTickCount() - s.startTick);
    for (size_t i = before; i < s.queue.size(); ++i)
        if (s.queue[i].domain == DOMAIN_NAVIGATOR && s.queue[i].code == NAV_EXIT)
            s.exitQueued = true;
    if (done)
        s.sourceDone = true;
    Options const& o = GetOptions();
    bool limit = o.frames > 0 && s.frames >= unsigned(o.frames);
    int stopSignal = StopSignalReceived();
    if (stopSignal && !s.exitQueued)
        _PDebug("host: signal %d: the application is asked to exit\n", stopSignal);
    if ((limit || s.sourceDone || stopSignal) && !s.exitQueued) {
        Event ev;
        ev.domain = DOMAIN_NAVIGATOR;
        ev.code = NAV_EXIT;
        s.queue.push_back(ev);
        s.exitQueued = true;
    }
}

} // namespace

void LogCall(char const* format, ...)
{
    Service& s = S();
    va_list args;
    va_start(args, format);
    std::vsnprintf(s.calls[s.callsNext], kCallSize, format, args);
    va_end(args);
    s.callsNext = (s.callsNext + 1) % kCallsKept;
    if (s.callsKept < kCallsKept)
        ++s.callsKept;
}

std::vector<std::string> CallLog()
{
    Service const& s = S();
    std::vector<std::string> log;
    log.reserve(s.callsKept);
    for (size_t i = 0; i < s.callsKept; ++i)
        log.emplace_back(s.calls[(s.callsNext + kCallsKept - s.callsKept + i) % kCallsKept]);
    return log;
}

void ClearCallLog()
{
    Service& s = S();
    s.callsNext = 0;
    s.callsKept = 0;
}

int EventServiceStart()
{
    Service& s = S();
    if (s.running)
        return 1;
    if (s.stopPending)
        FinishStop();
    Options const& o = GetOptions();
    if (!o.shots.empty() && !MakeDirectories(o.shots))
        return 0;
    if (!o.shotSums.empty()) {
        FILE* f = std::fopen(o.shotSums.c_str(), "w");
        if (!f || std::fclose(f) != 0) {
            _PDebug("host: cannot write the frame sums \"%s\": %s\n", o.shotSums.c_str(), std::strerror(errno));
            return 0;
        }
    }
    int mode = FlavourMode(o);
    std::unique_ptr<Flavour> flavour(mode == MODE_DESKTOP ? NewDesktopFlavour() : NewHeadlessFlavour());
    if (!flavour || !flavour->Start(o)) {
        // Only a display that could not be used falls back to headless; a
        // headless start that failed has said why.
        if (o.mode != MODE_AUTO || mode != MODE_DESKTOP || !flavour)
            return 0;
        // No usable window system: run headless.
        _PDebug("host: no window system, running headless\n");
        flavour.reset(NewHeadlessFlavour());
        if (!flavour || !flavour->Start(o))
            return 0;
    }
    s.flavour = std::move(flavour);
    s.queue.clear();
    s.running = true;
    s.sourceDone = false;
    s.exitQueued = false;
    s.exitDelivered = false;
    s.frames = 0;
    s.framesAtLastIdle = 0;
    s.startTick = PTickCount();
    s.orientationAngle = o.angle;
    if (o.activate) {
        // The tablet shows the application full screen at launch.
        Event ev;
        ev.domain = DOMAIN_NAVIGATOR;
        ev.code = NAV_WINDOW_ACTIVE;
        s.queue.push_back(ev);
    }
    return 1;
}

void EventServiceStop()
{
    Service& s = S();
    if (!s.running)
        return;
    s.running = false;
    s.queue.clear();
    // The window system goes when its last window does.
    if (s.windows > 0)
        s.stopPending = true;
    else
        FinishStop();
}

int EventServiceRunning()
{
    return S().running;
}

int GetEvent(Event* ev)
{
    Service& s = S();
    if (!s.running)
        return 0;
    if (s.queue.empty())
        Pump();
    if (s.queue.empty()) {
        // The queue runs dry once per pass of the program's loop. On the
        // virtual clock a pass that presented no frame moves the clock on by
        // 1 ms, so that a program waiting for time (between frames, without
        // focus, after the exit) still reaches its next event and its end.
        if (GetOptions().virtualClock && s.frames == s.framesAtLastIdle)
            PAdvanceVirtualClock(1);
        s.framesAtLastIdle = s.frames;
        return 0;
    }
    *ev = s.queue.front();
    s.queue.pop_front();
    if (ev->domain == DOMAIN_NAVIGATOR && ev->code == NAV_EXIT && !s.exitDelivered) {
        s.exitDelivered = true;
        s.exitTick = PTickCount();
    }
    return 1;
}

int SessionOver()
{
    Service& s = S();
    if (!s.exitDelivered)
        return 0;
    // A stop signal wants the process gone: once the application has had
    // its exit event, the run ends without the grace.
    if (StopSignalReceived())
        return 1;
    return int32_t(PTickCount() - s.exitTick) >= GetOptions().exitGraceMs;
}

void OrientationGet(int* direction, int* angle)
{
    Service& s = S();
    int a = s.running ? s.orientationAngle : GetOptions().angle;
    // Directions: 0 face up, 1 top up, 2 right up, 3 bottom up, 4 left up.
    if (direction)
        *direction = a == 0 ? 1 : a == 90 ? 2 : a == 180 ? 3 : 4;
    if (angle)
        *angle = a;
}

int OrientationRequestEvents()
{
    LogCall("orientation-events");
    return 0;
}

int NavRequestEvents()
{
    LogCall("navigator-events");
    return 0;
}

int NavSetOrientation(int angle)
{
    LogCall("set-orientation %d", angle);
    return 0;
}

void NavOrientationCheckResponse(Event const& ev, int accept)
{
    LogCall("orientation-response %d %d", ev.angle, accept);
}

void NavDoneOrientation(Event const& ev)
{
    LogCall("orientation-done %d", ev.angle);
}

int AccelerometerIsSupported()
{
    return GetOptions().accelerometer;
}

int AccelerometerReadForces(double* x, double* y, double* z)
{
    Service& s = S();
    if (!s.running || !s.flavour || !GetOptions().accelerometer)
        return -1;
    Pump();
    return s.flavour->ReadForces(x, y, z);
}

int AccelerometerSetUpdateFrequency(int hz)
{
    LogCall("accel-frequency %d", hz);
    return 0;
}

int OpenLink(char const* url)
{
    char const* opener = GetOptions().opener.c_str();
    if (!url || !*opener)
        return 0;
    char* argv[] = {const_cast<char*>(opener), const_cast<char*>(url), nullptr};
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, opener, nullptr, nullptr, argv, environ);
    if (rc != 0) {
        _PDebug("host: cannot start \"%s\" (%s)\n", opener, std::strerror(rc));
        return 0;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return 0;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
}

// --- windows ---------------------------------------------------------------

Window* CreateWindow(int format, int usage)
{
    Service& s = S();
    Options const& o = GetOptions();
    LogCall("window format %d usage %d", format, usage);
    Window* w = nullptr;
    if (s.flavour)
        w = s.flavour->CreateWindow(format, usage, o.width, o.height);
    if (!w) {
        // Without a running service the window is a size only.
        w = new Window();
        if (!w)
            return nullptr;
        w->width = o.width;
        w->height = o.height;
        w->format = format;
        w->usage = usage;
    }
    ++s.windows;
    return w;
}

void DestroyWindow(Window* window)
{
    if (!window)
        return;
    Service& s = S();
    if (s.flavour && window->flavourData)
        s.flavour->DestroyWindow(window);
    delete window;
    if (--s.windows <= 0) {
        s.windows = 0;
        if (s.stopPending)
            FinishStop();
    }
}

void* NativeWindow(Window* window)
{
    return window ? window->native : nullptr;
}

void WindowSize(Window* window, int* width, int* height)
{
    Options const& o = GetOptions();
    *width = window ? window->width : o.width;
    *height = window ? window->height : o.height;
}

int EglPlatform(void** nativeDisplay)
{
    Service& s = S();
    if (s.flavour)
        return s.flavour->EglPlatform(nativeDisplay);
    *nativeDisplay = nullptr;
    return 0x31DD; // surfaceless
}

unsigned FramesPresented()
{
    return S().frames;
}

namespace {

bool ShotPath(char* path, size_t size)
{
    std::string const& dir = GetOptions().shots;
    if (dir.empty() || !ShotWanted(GetOptions(), S().frames))
        return false;
    int n = std::snprintf(path, size, "%s/frame%05u.png", dir.c_str(), S().frames);
    return n > 0 && size_t(n) < size;
}

// Appends the frame's line to the sums file: its number, the CRC-32 and the
// Adler-32 of its rows top down (the bytes a PNG of it holds, less the
// filter bytes). A replay compares these instead of saving every frame.
void WriteSums(uint8_t const* top, int width, int height, int channels, ptrdiff_t stride)
{
    size_t rowBytes = size_t(width) * size_t(channels);
    uLong crc = crc32(0L, Z_NULL, 0), adler = adler32(0L, Z_NULL, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t const* row = top + ptrdiff_t(y) * stride;
        crc = crc32(crc, row, uInt(rowBytes));
        adler = adler32(adler, row, uInt(rowBytes));
    }
    std::string const& path = GetOptions().shotSums;
    FILE* f = std::fopen(path.c_str(), "a");
    bool ok = f && std::fprintf(f, "%05u %08lx %08lx\n", S().frames, crc, adler) > 0;
    ok = f && std::fclose(f) == 0 && ok;
    if (!ok)
        _PDebug("host: cannot write the frame sums \"%s\"\n", path.c_str());
}

// A presented frame moves the virtual clock on by its step.
void FramePresented()
{
    Service& s = S();
    ++s.frames;
    if (GetOptions().virtualClock)
        PAdvanceVirtualClock(uint32_t(GetOptions().clockStepMs));
}

} // namespace

void PresentGL(int width, int height)
{
    FramePresented();
    char path[1024];
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return;
    bool save = ShotPath(path, sizeof path), sums = !GetOptions().shotSums.empty();
    if (!save && !sums)
        return;
    thread_local std::vector<uint8_t> rgba; // kept for the next frame, as the PNG writer's buffers
    rgba.resize(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    // GL rows go bottom-up: read them from the last.
    uint8_t const* top = rgba.data() + size_t(height - 1) * width * 4;
    if (sums)
        WriteSums(top, width, height, 4, -ptrdiff_t(width) * 4);
    if (save && !WritePng(path, top, width, height, 4, -width * 4))
        _PDebug("host: cannot save frame \"%s\"\n", path);
}

void PresentSoft(uint16_t const* pixels, int width, int height, int pitch)
{
    Service& s = S();
    FramePresented();
    if (!pixels || width <= 0 || height <= 0 || pitch < width * 2)
        return;
    if (s.flavour)
        s.flavour->PresentSoft(pixels, width, height, pitch);
    char path[1024];
    bool save = ShotPath(path, sizeof path), sums = !GetOptions().shotSums.empty();
    if (!save && !sums)
        return;
    thread_local std::vector<uint8_t> rgb; // kept for the next frame
    rgb.resize(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        uint16_t const* row = reinterpret_cast<uint16_t const*>(reinterpret_cast<uint8_t const*>(pixels) +
                                                                size_t(y) * size_t(pitch));
        uint8_t* out = rgb.data() + size_t(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            unsigned p = row[x];
            unsigned r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
            out[x * 3] = uint8_t((r << 3) | (r >> 2));
            out[x * 3 + 1] = uint8_t((g << 2) | (g >> 4));
            out[x * 3 + 2] = uint8_t((b << 3) | (b >> 2));
        }
    }
    if (sums)
        WriteSums(rgb.data(), width, height, 3, ptrdiff_t(width) * 3);
    if (save && !WritePng(path, rgb.data(), width, height, 3, width * 3))
        _PDebug("host: cannot save frame \"%s\"\n", path);
}

} // namespace host
