// The desktop flavour on a real X server: the test starts Xvfb on a free
// display (skipped only when Xvfb cannot start), opens the window with EGL and
// pushes a click through SDL's event queue.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <cstdlib>
#include <string>

#include "app_recorder.h"
#include "engine/platform/pdisplayegl.h"
#include "engine/platform/psystemmanager.h"
#include "host/hostevents.h"

extern char** environ;

namespace {

// An X server of its own; -displayfd makes it pick a free display number and
// report it once it accepts connections.
class Xvfb {
public:
    bool Start()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        std::string fd = std::to_string(fds[1]);
        char const* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int rc = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            m_pid = 0;
            close(fds[0]);
            return false;
        }
        std::string number;
        pollfd p = {fds[0], POLLIN, 0};
        char c = 0;
        // Wait (up to 20 s) for the display number and its newline.
        while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty() || c != '\n')
            return false;
        m_display = ":" + number;
        return true;
    }

    ~Xvfb()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }

    std::string const& Display() const { return m_display; }

private:
    pid_t m_pid = 0;
    std::string m_display;
};

SDL_Window* TheWindow()
{
    for (Uint32 id = 1; id < 16; ++id)
        if (SDL_Window* w = SDL_GetWindowFromID(id))
            return w;
    return nullptr;
}

void PushButton(Uint32 type, Uint32 window, int x, int y)
{
    SDL_Event e = {};
    e.type = type;
    e.button.windowID = window;
    e.button.which = 0;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

} // namespace

TEST(Desktop, ClickReachesTheApplicationAsATouch)
{
    Xvfb xvfb;
    if (!xvfb.Start())
        GTEST_SKIP() << "Xvfb could not start";
    setenv("DISPLAY", xvfb.Display().c_str(), 1);

    host::Options o;
    o.mode = host::MODE_DESKTOP;
    o.activate = 0;
    host::Configure(o);
    ASSERT_TRUE(host::EventServiceStart());
    g_recorder = RecorderConfig();
    g_recorder.displayAtLoop = -1;
    g_calls.clear();
    {
        PRimSystemManager sysman;
        ASSERT_EQ(sysman.Init(nullptr), 1);
        PDisplayProperties request = {};
        PDisplayProperties3D r3 = {24, 0, 0, 0, 0, 0, 11};
        PDisplay* d = PDisplay::Get3D(sysman.m_app, &request, &r3, 0);
        ASSERT_NE(d, nullptr);
        PDisplayEGL* egl = static_cast<PDisplayEGL*>(d);
        EXPECT_EQ(egl->m_surfaceKind, PSURFACE_WINDOW);
        PDisplayProperties p;
        d->GetInfo(p);
        EXPECT_EQ(p.width, 1024);
        EXPECT_EQ(p.height, 600);
        d->Update(0);
        EXPECT_EQ(egl->m_current, 1); // the window surface swapped
        d->SetOrientation(PDISPLAY_ORIENT_180);

        SDL_Window* window = TheWindow();
        ASSERT_NE(window, nullptr);
        Uint32 id = SDL_GetWindowID(window);
        PushButton(SDL_MOUSEBUTTONDOWN, id, 100, 50);
        PushButton(SDL_MOUSEBUTTONUP, id, 110, 60);
        for (int i = 0; i < 10 && CallsStartingWith(g_calls, "OnMouseButton").size() < 2; ++i)
            sysman.HandleEvents();
    }
    host::EventServiceStop();
    std::vector<std::string> buttons = CallsStartingWith(g_calls, "OnMouseButton");
    std::vector<std::string> expected = {"OnMouseButton(924,550,0,0x80000001)", "OnMouseButton(914,540,0,0x80000000)"};
    EXPECT_EQ(buttons, expected);
}
