#include "engine/platform/psystemmanager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/platform/pdisplay.h"
#include "engine/platform/pgameapp.h"
#include "engine/platform/pjoystick.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptime.h"
#include "host/hostevents.h"

PRimSystemManager* m_global_sysman = nullptr;

namespace {
char g_startFailure[256];
}

void PSetStartFailure(char const* cause)
{
    if (g_startFailure[0] || !cause || !cause[0])
        return;
    std::snprintf(g_startFailure, sizeof g_startFailure, "%s", cause);
}

char const* PStartFailure()
{
    return g_startFailure[0] ? g_startFailure : nullptr;
}

PGameSystemManager::~PGameSystemManager()
{
    delete m_app;
    m_app = nullptr;
    delete m_display;
    m_display = nullptr;
}

int PGameSystemManager::Init(void*)
{
    PGameApp* app = PGameApp::Create();
    m_app = app;
    if (!app)
        return 0;
    app->SetSystemManager(this);
    return app->Init() ? 1 : 0;
}

// Programs that link the platform layer without an application (tools, tests,
// benchmarks) get this default, and start-up fails cleanly. A program's own
// application, linked whole into it, replaces it.
__attribute__((weak)) PGameApp* PGameApp::Create()
{
    return nullptr;
}

PRimSystemManager::~PRimSystemManager()
{
    if (m_global_sysman == this)
        m_global_sysman = nullptr;
}

namespace {

void FillKeyTables()
{
    std::memset(m_keymasks, 0, sizeof m_keymasks);
    std::fill(m_keycodes, m_keycodes + 256, uint16_t(0));
    for (int c = '0'; c <= '9'; ++c)
        m_keycodes[c] = uint16_t(c);
    for (int c = 'a'; c <= 'z'; ++c)
        m_keycodes[c] = uint16_t(c);
    for (int c = 'A'; c <= 'Z'; ++c)
        m_keycodes[c] = uint16_t(c);
    // The numeric-keypad layout: 4 left, 6 right, 2 down, 8 up, 5 fire; the
    // diagonals are the sums of their two neighbours.
    static constexpr uint32_t kDigitMasks[10] = {128, 5, 4, 6, 1, 16, 2, 9, 8, 10};
    for (int d = 0; d < 10; ++d)
        m_keymasks['0' + d] = kDigitMasks[d];
}

// A force in g as 16.16 fixed point, truncated toward zero; readings beyond
// what 16.16 can hold are clamped, and a reading that is not a number is 0.
int32_t ForceToFixed(double g)
{
    if (!(g == g))
        return 0;
    double v = g * 65536.0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return int32_t(v);
}

} // namespace

int PRimSystemManager::Init(void* arg)
{
    FillKeyTables();
    int direction = 0, angle = 0;
    host::OrientationGet(&direction, &angle);
    m_orientationDirection = direction;
    m_orientationAngle = angle;
    return PGameSystemManager::Init(arg);
}

int PRimSystemManager::Run()
{
    if (m_runState != PRUN_EXIT) {
        // The host's session ending stands for the tablet ending an
        // application that did not leave after the navigator's exit.
        while (m_runState != PRUN_EXIT && !host::SessionOver()) {
            if (m_runState == PRUN_RUNNING) {
                if (m_app)
                    m_app->MainLoop();
            } else {
                PSleep(1);
            }
            HandleEvents();
        }
    }
    if (m_exitSeen)
        return PRUN_EXIT;
    m_exitSeen = 1;
    if (m_app)
        m_app->OnEvent(PEVENT_EXIT, 0, 0);
    return m_runState;
}

void PRimSystemManager::HandleEvents()
{
    double fx = 0, fy = 0, fz = 0;
    if (host::AccelerometerReadForces(&fx, &fy, &fz) == 0) {
        int32_t x = ForceToFixed(fx), y = ForceToFixed(fy), z = ForceToFixed(fz);
        // Negation of the most negative reading stays in range.
        auto neg = [](int32_t v) { return v == INT32_MIN ? INT32_MAX : -v; };
        if (m_orientationAngle == 180)
            PJoyEvent(neg(x), y, z);
        else
            PJoyEvent(x, neg(y), z);
    }

    PDisplay* display = GetDisplay();
    host::Event ev;
    while (host::GetEvent(&ev)) {
        switch (ev.domain) {
        case host::DOMAIN_SCREEN: {
            int x = ev.x, y = ev.y;
            if (display)
                display->ConvertPos(x, y);
            if (!m_app)
                break;
            if (ev.code == host::SCREEN_TOUCH) {
                m_touchDown = 1;
                m_app->OnMouseButton(x, y, 0, PPointerWord(ev.touchId, 1));
            } else if (ev.code == host::SCREEN_MOVE) {
                if (m_touchDown == 1)
                    m_app->OnMouseMove(x, y, PPointerWord(ev.touchId, 1));
            } else if (ev.code == host::SCREEN_RELEASE) {
                m_touchDown = 0;
                m_app->OnMouseButton(x, y, 0, PPointerWord(ev.touchId, 0));
            }
            break;
        }
        case host::DOMAIN_NAVIGATOR: {
            int gained = -1;
            if (ev.code == host::NAV_EXIT) {
                if (!m_exitSeen && m_app)
                    m_app->OnEvent(PEVENT_EXIT, 0, 0);
                m_exitSeen = 1;
            } else if (ev.code == host::NAV_WINDOW_ACTIVE) {
                gained = 1;
            } else if (ev.code == host::NAV_WINDOW_INACTIVE) {
                gained = 0;
            } else if (ev.code == host::NAV_WINDOW_STATE) {
                gained = ev.windowState == host::WINDOW_FULLSCREEN ? 1 : 0;
            }
            if (gained == 1 && !m_active) {
                m_active = 1;
                if (m_app)
                    m_app->OnEvent(PEVENT_FOCUS, 1, 1);
            } else if (gained == 0 && m_active) {
                m_active = 0;
                if (m_app)
                    m_app->OnEvent(PEVENT_FOCUS, 0, 0);
            }
            break;
        }
        case host::DOMAIN_ORIENTATION:
            if (ev.direction != 0)
                m_orientationDirection = ev.direction;
            break;
        case host::DOMAIN_ORIENTATION_CHECK:
            host::NavOrientationCheckResponse(ev, ev.angle == 0 || ev.angle == 180 ? 1 : 0);
            break;
        case host::DOMAIN_ORIENTATION_DONE:
            host::NavDoneOrientation(ev);
            break;
        default:
            break;
        }
    }
}

int PMain(void (*sleepMs)(unsigned))
{
    setenv("VORNAPPPATH", "app/native/", 1);
    setenv("VORNAPP_SAVEPATH", "data/", 1);
    if (!host::EventServiceStart()) {
        _PDebug("PMain: the event service could not start\n");
        return 1;
    }
    host::NavRequestEvents();

    int direction = 0, angle = 0;
    host::OrientationGet(&direction, &angle);
    if (angle == 90 || angle == 270) {
        // Ask for the upright orientation and give the rotation time to settle.
        host::NavSetOrientation(0);
        (sleepMs ? sleepMs : PSleep)(2000);
    }
    host::OrientationRequestEvents();

    PRimSystemManager* sysman = new PRimSystemManager();
    int code = 0;
    if (sysman) {
        m_global_sysman = sysman;
        if (sysman->Init(nullptr)) {
            sysman->Run();
            code = sysman->m_exitCode;
        } else {
            PSetStartFailure("the application could not start");
        }
    }
    host::EventServiceStop();
    if (m_global_sysman)
        delete m_global_sysman;
    return PStartFailure() ? 1 : code;
}
