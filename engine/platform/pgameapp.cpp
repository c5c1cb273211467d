#include "engine/platform/pgameapp.h"

#include "engine/platform/psystemmanager.h"

uint16_t m_keycodes[PKEY_TABLE_SIZE];
uint32_t m_keymasks[PKEY_TABLE_SIZE];
unsigned m_timeslice;

PGameDispatcher::~PGameDispatcher() = default;
PGameApp::~PGameApp() = default;

void PGameDispatcher::OnFocus(int) {}
int PGameDispatcher::OnInput(int, int, int) { return 0; }
int PGameDispatcher::OnMouseButton(int, int, int, int) { return 0; }
int PGameDispatcher::OnMouseMove(int, int, int) { return 0; }
void PGameDispatcher::OnRedraw() {}
void PGameDispatcher::OnClose() { Exit(0); }
void PGameDispatcher::OnExit() {}

int PGameDispatcher::OnEvent(int code, int a, int b)
{
    switch (code) {
    case 0:
    case 1:
        return 1;
    case PEVENT_POINTER_MOVE: {
        int x = int16_t(uint32_t(a) & 0xFFFF);
        int y = a >> 16;
        return OnMouseMove(x, y, b);
    }
    case PEVENT_REDRAW:
        OnRedraw();
        return 1;
    case PEVENT_FOCUS:
        OnFocus(a);
        return 1;
    case PEVENT_CLOSE:
        OnClose();
        return 1;
    case PEVENT_EXIT:
        OnExit();
        return 1;
    case PEVENT_SYSTEM:
        // Notifications that take the focus away (0x16F8) or give it back (0x907).
        if (a >= 0 && a < 13) {
            if ((0x16F8 >> a) & 1)
                OnFocus(0);
            else if ((0x907 >> a) & 1)
                OnFocus(1);
        }
        return 1;
    default:
        return 0;
    }
}

void PGameDispatcher::Exit(int code)
{
    if (!m_sysman)
        return;
    m_sysman->m_runState = PRUN_EXIT;
    m_sysman->m_exitCode = code;
    m_sysman->OnExit();
}

void PGameDispatcher::Pause()
{
    if (m_sysman && m_sysman->m_runState == PRUN_RUNNING)
        m_sysman->m_runState = PRUN_PAUSED;
}

void PGameDispatcher::Resume()
{
    if (m_sysman && m_sysman->m_runState == PRUN_PAUSED) {
        m_sysman->m_runState = PRUN_RUNNING;
        m_sysman->OnResume();
    }
}

int PGameDispatcher::GetKeyMapping(int scan)
{
    return scan >= 0 && scan < PKEY_TABLE_SIZE ? m_keycodes[scan] : -1;
}

void PGameDispatcher::SetKeyMapping(int scan, int code)
{
    if (scan >= 0 && scan < PKEY_TABLE_SIZE)
        m_keycodes[scan] = uint16_t(code);
}

unsigned PGameDispatcher::GetKeyMask(int scan)
{
    return scan >= 0 && scan < PKEY_TABLE_SIZE ? m_keymasks[scan] : 0;
}

void PGameDispatcher::SetKeyMask(int scan, unsigned mask)
{
    if (scan >= 0 && scan < PKEY_TABLE_SIZE)
        m_keymasks[scan] = mask;
}

int PGameDispatcher::GetScanCode(int code)
{
    for (int scan = 0; scan < PKEY_TABLE_SIZE; ++scan)
        if (m_keycodes[scan] == code)
            return scan;
    return -1;
}

void PGameDispatcher::SetSystemTimeSlice(unsigned slice)
{
    m_timeslice = slice;
}
