#include "app_recorder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/platform/pjoystick.h"
#include "engine/platform/psystemmanager.h"

RecorderConfig g_recorder;
std::vector<std::string> g_calls;
int g_loops = 0;
bool g_appDeleted = false;

namespace {

void Record(char const* format, ...) __attribute__((format(printf, 1, 2)));
void Record(char const* format, ...)
{
    char buf[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    g_calls.emplace_back(buf);
}

class RecorderApp : public PGameApp {
public:
    ~RecorderApp() override
    {
        delete m_joystick;
        g_appDeleted = true;
    }

    int Init() override
    {
        Record("Init");
        if (g_recorder.joystick)
            m_joystick = PJoystick::Create(this);
        if (g_recorder.displayAtLoop == 0 && !MakeDisplay())
            return 0;
        return g_recorder.initResult;
    }

    int MainLoop() override
    {
        int pass = ++g_loops;
        if (pass == g_recorder.displayAtLoop)
            MakeDisplay();
        if (g_recorder.onLoop)
            g_recorder.onLoop(this, m_display);
        if (m_display)
            m_display->Update(0);
        if (pass == g_recorder.exitAtLoop)
            Exit(0);
        return 1;
    }

    int OnEvent(int code, int a, int b) override
    {
        if (code == PEVENT_JOYSTICK) {
            PJoyEventRecord const* r = PJoyLastEvent();
            Record("Joy(%d,%d,%d)", r ? r->x : 0, r ? r->y : 0, r ? r->z : 0);
            return 1;
        }
        Record("OnEvent(%d,%d,%d)", code, a, b);
        return PGameDispatcher::OnEvent(code, a, b);
    }

    void OnFocus(int gained) override { Record("OnFocus(%d)", gained); }

    int OnMouseButton(int x, int y, int button, int pointer) override
    {
        Record("OnMouseButton(%d,%d,%d,0x%08X)", x, y, button, unsigned(pointer));
        return 1;
    }

    int OnMouseMove(int x, int y, int pointer) override
    {
        Record("OnMouseMove(%d,%d,0x%08X)", x, y, unsigned(pointer));
        return 1;
    }

    void OnExit() override
    {
        Record("OnExit");
        if (g_recorder.exitOnExitEvent)
            Exit(0);
    }

private:
    bool MakeDisplay()
    {
        PDisplayProperties request = {};
        m_display = PDisplay::Get3D(this, &request, &g_recorder.request3D, 0);
        Record("Display(%s)", m_display ? "ok" : "null");
        if (m_display && g_recorder.orientation)
            m_display->SetOrientation(PDisplayOrientations(g_recorder.orientation));
        return m_display != nullptr;
    }

    PDisplay* m_display = nullptr;
    PJoystick* m_joystick = nullptr;
};

} // namespace

PGameApp* PGameApp::Create()
{
    g_appDeleted = false;
    if (!g_recorder.create)
        return nullptr;
    return new RecorderApp();
}

host::Options ScriptOptions(char const* script)
{
    host::Options o;
    o.mode = host::MODE_HEADLESS;
    o.scriptText = script;
    o.activate = 0;
    o.exitGraceMs = 0;
    o.opener = "";
    return o;
}

std::vector<std::string> RunScript(char const* script, RecorderConfig const& config)
{
    host::Options o = ScriptOptions(script);
    if (config.software)
        o.renderer = host::RENDERER_SOFTWARE;
    host::Configure(o);
    g_recorder = config;
    g_calls.clear();
    g_loops = 0;
    PMain([](unsigned) {});
    return g_calls;
}

std::vector<std::string> CallsStartingWith(std::vector<std::string> const& calls, char const* prefix)
{
    std::vector<std::string> out;
    for (std::string const& c : calls)
        if (c.compare(0, std::strlen(prefix), prefix) == 0)
            out.push_back(c);
    return out;
}

#if defined(__SANITIZE_ADDRESS__)
// Mesa's EGL driver keeps a block from its one-time set-up past eglTerminate,
// and the D-Bus library SDL starts keeps its connection data to the end:
// the full unwinder lets the suppression see the library in the stack.
// (The dynamic-TLS interceptor stays off, as tests/sanitizer_defaults.cpp
// explains.)
extern "C" char const* __lsan_default_suppressions()
{
    return "leak:libEGL_mesa.so\nleak:libdbus-1.so\n";
}
extern "C" char const* __asan_default_options()
{
    return "fast_unwind_on_malloc=0:intercept_tls_get_addr=0";
}
#endif
