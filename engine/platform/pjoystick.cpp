#include "engine/platform/pjoystick.h"

#include "engine/platform/peventhandler.h"
#include "host/hostevents.h"

CStubJoystickEx* m_global_joy = nullptr;

int PJoystick::IsSupported()
{
    return host::AccelerometerIsSupported();
}

PJoystick* PJoystick::Create(PEventHandler* handler)
{
    if (!IsSupported())
        return nullptr;
    CStubJoystickEx* joy = new CStubJoystickEx(handler);
    if (joy)
        joy->Activate(1, 0);
    return joy;
}

CStubJoystickEx::CStubJoystickEx(PEventHandler* handler) : m_handler(handler)
{
    m_global_joy = this;
}

CStubJoystickEx::~CStubJoystickEx()
{
    if (m_global_joy == this)
        m_global_joy = nullptr;
}

int CStubJoystickEx::IsActivated(int)
{
    return m_activated;
}

int CStubJoystickEx::Activate(unsigned char on, int device)
{
    ActivateType(on, device, PJOYSTICK_ACCELEROMETER, 0);
    m_activated = on;
    return on;
}

int CStubJoystickEx::ActivateType(unsigned char on, int, PJoystickType, unsigned int flags)
{
    if (flags)
        return 1;
    host::AccelerometerSetUpdateFrequency(on ? 25 : 1000);
    return 1;
}

int CStubJoystickEx::GetPos(int& x, int& y, int& z, int, PJoystickType, unsigned int flags)
{
    if (flags || !m_activated)
        return 0;
    x = m_x == INT32_MIN ? INT32_MAX : -m_x;
    y = m_y;
    z = m_z;
    return 1;
}

void CStubJoystickEx::OnEvent(int x, int y, int z)
{
    if (m_handler && (m_eventMask & 1) && m_activated) {
        // An address does not fit the event's int arguments on a 64-bit
        // machine: the handler reads the record with PJoyLastEvent().
        m_lastEvent = {0, x, y, z};
        m_handler->OnEvent(PEVENT_JOYSTICK, PEVENT_JOYSTICK_READING, 0);
    }
    // Smoothing in 64 bits: new + 3 * old fits there for any 32-bit inputs.
    m_x = int32_t((int64_t(x) + 3 * int64_t(m_x)) >> 2);
    m_y = int32_t((int64_t(y) + 3 * int64_t(m_y)) >> 2);
    m_z = int32_t((int64_t(z) + 3 * int64_t(m_z)) >> 2);
}

PJoyEventRecord const* PJoyLastEvent()
{
    return m_global_joy ? &m_global_joy->m_lastEvent : nullptr;
}

void PJoyEvent(int x, int y, int z)
{
    if (m_global_joy)
        m_global_joy->OnEvent(x, y, z);
}
