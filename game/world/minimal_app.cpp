// PROVISIONAL: the smallest application the platform layer can run until the
// game's own application object takes its place (it then replaces this file).
// It opens the display, clears the screen to a slowly changing colour every
// frame, logs every call it receives and ends the run on the exit event.
#include <GLES/gl.h>

#include "engine/platform/pdisplay.h"
#include "engine/platform/pgameapp.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptime.h"

namespace {

constexpr uint32_t kFrameMs = 25;

class MinimalApp : public PGameApp {
public:
    ~MinimalApp() override { _PDebug("app: deleted after %u frames\n", m_frames); }

    int Init() override
    {
        _PDebug("app: Init\n");
        PDisplayProperties request = {};
        PDisplayProperties3D request3D = {};
        request3D.depthBits = 24;
        request3D.version = 11;
        m_display = PDisplay::Get3D(this, &request, &request3D, 0);
        if (!m_display) {
            _PDebug("app: no display\n");
            return 0;
        }
        PDisplayProperties info;
        m_display->GetInfo(info);
        _PDebug("app: display %d x %d, graphics type %d\n", info.width, info.height, m_display->GetType());
        m_last = PTickCount();
        return 1;
    }

    int MainLoop() override
    {
        if (m_exited || !m_display)
            return 0;
        uint32_t since = PTickCount() - m_last;
        if (since < kFrameMs)
            PSleep(kFrameMs - since);
        m_last = PTickCount();
        if (m_frames % 100 == 0)
            _PDebug("app: MainLoop, frame %u\n", m_frames);
        Clear();
        m_display->Update(0);
        ++m_frames;
        return 1;
    }

    int OnEvent(int code, int a, int b) override
    {
        _PDebug("app: OnEvent(%d, %d, %d)\n", code, a, b);
        return PGameDispatcher::OnEvent(code, a, b);
    }

    void OnFocus(int gained) override { _PDebug("app: OnFocus(%d)\n", gained); }

    int OnMouseButton(int x, int y, int button, int pointer) override
    {
        _PDebug("app: OnMouseButton(%d, %d, %d, 0x%08X)\n", x, y, button, unsigned(pointer));
        return 1;
    }

    int OnMouseMove(int x, int y, int pointer) override
    {
        _PDebug("app: OnMouseMove(%d, %d, 0x%08X)\n", x, y, unsigned(pointer));
        return 1;
    }

    void OnExit() override
    {
        _PDebug("app: OnExit\n");
        m_exited = true;
        Exit(0);
    }

private:
    void Clear()
    {
        // A colour that walks around the hue circle, one turn in 256 frames.
        unsigned t = m_frames & 255, seg = t / 86, f = (t % 86) * 3;
        unsigned r = seg == 0 ? 255 - f : seg == 1 ? 0 : f;
        unsigned g = seg == 0 ? f : seg == 1 ? 255 - f : 0;
        unsigned b = seg == 0 ? 0 : seg == 1 ? f : 255 - f;
        if (m_display->GetType() == PGRAPHICS_SOFTWARE) {
            PBackBuffer* bb = m_display->GetBackBuffer(PBACKBUFFER_COLOR);
            if (!bb)
                return;
            uint16_t c = uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            for (int y = 0; y < bb->height; ++y) {
                uint16_t* row = reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(bb->pixels) + y * bb->pitch);
                for (int x = 0; x < bb->width; ++x)
                    row[x] = c;
            }
            return;
        }
        glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    PDisplay* m_display = nullptr; // owned by the system manager
    uint32_t m_frames = 0;
    uint32_t m_last = 0;
    bool m_exited = false;
};

} // namespace

PGameApp* PGameApp::Create()
{
    return new MinimalApp();
}
