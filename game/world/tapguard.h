// The touch rule every message window and question shares: a tap answers a
// window only when both its press and its release came after the window was
// fully shown (its opening animation over, drawn at its full size). The
// release of the tap that opened it (still held in the owner's touch record),
// a finger already down at the opening and a tap begun while the window was
// still growing (the second tap of a double tap) answer nothing; the window
// arms on the first press after it has been shown and has seen the pen up.
#pragma once
#include <cstdint>

class TapGuard {
public:
    // Every press and release the window's owner receives, as it receives
    // them (the owner's own pen resets are not events and do not come here).
    void Event(bool down)
    {
        if (down && !m_down && m_stage == WAIT_PRESS)
            m_stage = ARMED;
        else if (!down && m_stage == WAIT_UP)
            m_stage = WAIT_PRESS;
        m_down = down;
    }
    // The window opens (or is laid out anew): touches begun before it is
    // shown count for nothing.
    void Open() { m_stage = OPENING; }
    // The window is on the screen at its full size; the owner says so each
    // time it draws it whole (only the first time after opening counts).
    void Shown()
    {
        if (m_stage == OPENING)
            m_stage = m_down ? WAIT_UP : WAIT_PRESS;
    }
    // A press has come since the window was shown: it and its release are
    // the window's.
    bool Armed() const { return m_stage == ARMED; }

private:
    enum Stage : uint8_t { OPENING, WAIT_UP, WAIT_PRESS, ARMED };
    Stage m_stage = ARMED;
    bool m_down = false;
};
