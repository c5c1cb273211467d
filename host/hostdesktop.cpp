// The desktop flavour: an SDL2 window on X11. The mouse (left button) and
// touch fingers become touches, window focus becomes the navigator's
// active/inactive events, closing the window (or Escape) the navigator's exit;
// the arrow keys or WASD, or the mouse with Ctrl held, tilt a simulated
// accelerometer.
#include <cmath>
#include <cstdint>

#include <SDL.h>
#include <SDL_syswm.h>

#include "engine/runtime/pdebug.h"
#include "host/hostflavour.h"

namespace host {

namespace {

constexpr int kMaxFingers = 16;
constexpr double kKeyTilt = 0.5; // g along an axis while its key is held

class Desktop : public Flavour {
public:
    int Start(Options const&) override
    {
        // Touches and mouse stay apart: no synthetic events either way.
        SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
        SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
        SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            _PDebug("host: SDL video unavailable: %s\n", SDL_GetError());
            return 0;
        }
        return 1;
    }

    void Stop() override { SDL_Quit(); }

    Window* CreateWindow(int format, int usage, int width, int height) override
    {
        if (m_window) {
            _PDebug("host: the desktop has one window\n");
            return nullptr;
        }
        SDL_Window* sdl = SDL_CreateWindow("Korvanth", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                                           height, SDL_WINDOW_SHOWN);
        if (!sdl) {
            _PDebug("host: cannot create the window: %s\n", SDL_GetError());
            return nullptr;
        }
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(sdl, &info) || info.subsystem != SDL_SYSWM_X11) {
            _PDebug("host: the window is not an X11 window\n");
            SDL_DestroyWindow(sdl);
            return nullptr;
        }
        Window* w = new Window();
        if (!w) {
            SDL_DestroyWindow(sdl);
            return nullptr;
        }
        w->width = width;
        w->height = height;
        w->format = format;
        w->usage = usage;
        w->native = reinterpret_cast<void*>(uintptr_t(info.info.x11.window));
        w->flavourData = sdl;
        m_window = w;
        m_x11Display = info.info.x11.display;
        return w;
    }

    void DestroyWindow(Window* w) override
    {
        if (w != m_window)
            return;
        SDL_DestroyWindow(static_cast<SDL_Window*>(w->flavourData));
        w->flavourData = nullptr;
        m_window = nullptr;
    }

    int EglPlatform(void** nativeDisplay) override
    {
        if (m_x11Display) {
            *nativeDisplay = m_x11Display;
            return 0x31D5; // EGL_PLATFORM_X11_KHR
        }
        *nativeDisplay = nullptr;
        return 0x31DD; // nothing to show on: EGL_PLATFORM_SURFACELESS_MESA
    }

    void PresentSoft(uint16_t const* pixels, int width, int height, int pitch) override
    {
        if (!m_window)
            return;
        SDL_Window* sdl = static_cast<SDL_Window*>(m_window->flavourData);
        SDL_Surface* target = SDL_GetWindowSurface(sdl);
        SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint16_t*>(pixels), width, height, 16,
                                                                pitch, SDL_PIXELFORMAT_RGB565);
        if (target && frame) {
            SDL_BlitScaled(frame, nullptr, target, nullptr);
            SDL_UpdateWindowSurface(sdl);
        }
        if (frame)
            SDL_FreeSurface(frame);
    }

    int Poll(std::deque<Event>& queue, unsigned, uint32_t) override
    {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            Translate(e, queue);
        return 0;
    }

    int ReadForces(double* x, double* y, double* z) override
    {
        double tx = 0, ty = 0;
        int mx = 0, my = 0;
        if ((SDL_GetModState() & KMOD_CTRL) && m_window) {
            SDL_GetMouseState(&mx, &my);
            double cx = m_window->width / 2.0, cy = m_window->height / 2.0;
            tx = (mx - cx) / cx;
            ty = (my - cy) / cy;
        } else {
            Uint8 const* keys = SDL_GetKeyboardState(nullptr);
            if (keys[SDL_SCANCODE_LEFT] || keys[SDL_SCANCODE_A])
                tx -= kKeyTilt;
            if (keys[SDL_SCANCODE_RIGHT] || keys[SDL_SCANCODE_D])
                tx += kKeyTilt;
            if (keys[SDL_SCANCODE_UP] || keys[SDL_SCANCODE_W])
                ty -= kKeyTilt;
            if (keys[SDL_SCANCODE_DOWN] || keys[SDL_SCANCODE_S])
                ty += kKeyTilt;
        }
        tx = tx < -1 ? -1 : tx > 1 ? 1 : tx;
        ty = ty < -1 ? -1 : ty > 1 ? 1 : ty;
        double rest = 1 - tx * tx - ty * ty;
        *x = tx;
        *y = ty;
        *z = -std::sqrt(rest > 0 ? rest : 0);
        return 0;
    }

private:
    void Push(std::deque<Event>& q, int domain, int code)
    {
        Event ev;
        ev.domain = domain;
        ev.code = code;
        q.push_back(ev);
    }

    void Touch(std::deque<Event>& q, int type, int id, int x, int y)
    {
        Event ev;
        ev.domain = DOMAIN_SCREEN;
        ev.code = type;
        ev.touchId = id;
        ev.x = x;
        ev.y = y;
        q.push_back(ev);
    }

    // Finger ids of the touch device become small touch ids 1-15 (0 is the mouse).
    int FingerSlot(SDL_FingerID finger, bool claim)
    {
        for (int i = 1; i < kMaxFingers; ++i)
            if (m_fingerUsed[i] && m_fingers[i] == finger)
                return i;
        if (!claim)
            return -1;
        for (int i = 1; i < kMaxFingers; ++i)
            if (!m_fingerUsed[i]) {
                m_fingerUsed[i] = true;
                m_fingers[i] = finger;
                return i;
            }
        return -1;
    }

    void Translate(SDL_Event const& e, std::deque<Event>& q)
    {
        int w = m_window ? m_window->width : 0, h = m_window ? m_window->height : 0;
        switch (e.type) {
        case SDL_QUIT:
            Push(q, DOMAIN_NAVIGATOR, NAV_EXIT);
            break;
        case SDL_KEYDOWN:
            if (e.key.keysym.sym == SDLK_ESCAPE && !e.key.repeat)
                Push(q, DOMAIN_NAVIGATOR, NAV_EXIT);
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                Push(q, DOMAIN_NAVIGATOR, NAV_WINDOW_ACTIVE);
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                Push(q, DOMAIN_NAVIGATOR, NAV_WINDOW_INACTIVE);
            } else if (e.window.event == SDL_WINDOWEVENT_MINIMIZED || e.window.event == SDL_WINDOWEVENT_RESTORED) {
                Event ev;
                ev.domain = DOMAIN_NAVIGATOR;
                ev.code = NAV_WINDOW_STATE;
                ev.windowState = e.window.event == SDL_WINDOWEVENT_MINIMIZED ? WINDOW_THUMBNAIL : WINDOW_FULLSCREEN;
                q.push_back(ev);
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.which != SDL_TOUCH_MOUSEID && e.button.button == SDL_BUTTON_LEFT &&
                !(SDL_GetModState() & KMOD_CTRL)) {
                m_mouseDown = true;
                Touch(q, SCREEN_TOUCH, 0, e.button.x, e.button.y);
            }
            break;
        case SDL_MOUSEMOTION:
            if (e.motion.which != SDL_TOUCH_MOUSEID && m_mouseDown)
                Touch(q, SCREEN_MOVE, 0, e.motion.x, e.motion.y);
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.which != SDL_TOUCH_MOUSEID && e.button.button == SDL_BUTTON_LEFT && m_mouseDown) {
                m_mouseDown = false;
                Touch(q, SCREEN_RELEASE, 0, e.button.x, e.button.y);
            }
            break;
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
        case SDL_FINGERUP: {
            int slot = FingerSlot(e.tfinger.fingerId, e.type == SDL_FINGERDOWN);
            if (slot < 0)
                break;
            int x = int(e.tfinger.x * w), y = int(e.tfinger.y * h);
            int type = e.type == SDL_FINGERDOWN ? SCREEN_TOUCH : e.type == SDL_FINGERMOTION ? SCREEN_MOVE : SCREEN_RELEASE;
            Touch(q, type, slot, x, y);
            if (e.type == SDL_FINGERUP)
                m_fingerUsed[slot] = false;
            break;
        }
        default:
            break;
        }
    }

    Window* m_window = nullptr;
    void* m_x11Display = nullptr;
    bool m_mouseDown = false;
    SDL_FingerID m_fingers[kMaxFingers] = {};
    bool m_fingerUsed[kMaxFingers] = {};
};

} // namespace

Flavour* NewDesktopFlavour()
{
    return new Desktop();
}

} // namespace host
