// The headless flavour: no window system (EGL draws into a pbuffer), events
// from the configured script, the accelerometer reading the script last set.
#include <vector>

#include "engine/runtime/pdebug.h"
#include "host/hostflavour.h"
#include "host/hostscript.h"

namespace host {

namespace {

class Headless : public Flavour {
public:
    int Start(Options const& o) override
    {
        m_items.clear();
        m_next = 0;
        if (!o.scriptText.empty()) {
            if (!ParseScript(o.scriptText.data(), o.scriptText.size(), &m_items))
                return 0;
        } else if (!o.script.empty()) {
            if (!LoadScript(o.script.c_str(), &m_items))
                return 0;
        }
        m_hasScript = !o.scriptText.empty() || !o.script.empty();
        return 1;
    }

    void Stop() override { m_items.clear(); }

    int Poll(std::deque<Event>& queue, unsigned frames, uint32_t elapsedMs) override
    {
        // Items are delivered in file order, each once its time has come.
        while (m_next < m_items.size()) {
            ScriptItem const& item = m_items[m_next];
            unsigned now = item.unit == ScriptItem::FRAMES ? frames : elapsedMs;
            if (now < item.at)
                break;
            if (item.kind == ScriptItem::EVENT) {
                queue.push_back(item.event);
            } else if (item.kind == ScriptItem::ACCEL) {
                m_fail = false;
                m_x = item.ax;
                m_y = item.ay;
                m_z = item.az;
            } else {
                m_fail = true;
            }
            ++m_next;
        }
        return m_hasScript && m_next >= m_items.size();
    }

    int ReadForces(double* x, double* y, double* z) override
    {
        if (m_fail)
            return -1;
        *x = m_x;
        *y = m_y;
        *z = m_z;
        return 0;
    }

    Window* CreateWindow(int, int, int, int) override { return nullptr; }
    void DestroyWindow(Window*) override {}

    int EglPlatform(void** nativeDisplay) override
    {
        *nativeDisplay = nullptr; // EGL_DEFAULT_DISPLAY
        return 0x31DD;            // EGL_PLATFORM_SURFACELESS_MESA
    }

private:
    std::vector<ScriptItem> m_items;
    size_t m_next = 0;
    bool m_hasScript = false;
    bool m_fail = false;
    // At rest, lying flat face up.
    double m_x = 0, m_y = 0, m_z = -1;
};

} // namespace

Flavour* NewHeadlessFlavour()
{
    return new Headless();
}

} // namespace host
