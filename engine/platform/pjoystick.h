// The accelerometer as a joystick device: the event pump feeds each reading
// (16.16 g) to PJoyEvent; the joystick smooths it and, when asked, forwards
// the raw reading to its event handler.
#pragma once
#include <cstdint>

class PEventHandler;

class PBaseObject {
public:
    virtual ~PBaseObject() = default;
};

enum PJoystickType {
    PJOYSTICK_ACCELEROMETER = 0,
};

// Event code and sub-code of a joystick reading sent to the handler; the
// reading itself is PJoyLastEvent().
enum { PEVENT_JOYSTICK = 41, PEVENT_JOYSTICK_READING = 3 };

struct PJoyEventRecord {
    int32_t device; // 0
    int32_t x, y, z;
};

class PJoystick : public PBaseObject {
public:
    virtual int IsActivated(int device) = 0;
    virtual int Activate(unsigned char on, int device) = 0;
    virtual int ActivateType(unsigned char on, int device, PJoystickType type, unsigned int flags) = 0;
    virtual int GetDeviceCount() = 0;
    virtual void SetEventMask(int mask) = 0;
    virtual int GetDigitalMask(unsigned int& mask, int device, unsigned int flags) = 0;
    virtual int GetAnalogButton(int& value, int device, unsigned int flags) = 0;
    virtual int GetPos(int& x, int& y, int& z, int device, PJoystickType type, unsigned int flags) = 0;

    static int IsSupported();
    // Null when there is no accelerometer.
    static PJoystick* Create(PEventHandler* handler);
};

class CStubJoystickEx : public PJoystick {
public:
    explicit CStubJoystickEx(PEventHandler* handler);
    ~CStubJoystickEx() override;

    int IsActivated(int device) override;
    int Activate(unsigned char on, int device) override;
    int ActivateType(unsigned char on, int device, PJoystickType type, unsigned int flags) override;
    int GetDeviceCount() override { return 1; }
    void SetEventMask(int mask) override { m_eventMask = mask; }
    int GetDigitalMask(unsigned int&, int, unsigned int) override { return 0; }
    int GetAnalogButton(int&, int, unsigned int) override { return 0; }
    int GetPos(int& x, int& y, int& z, int device, PJoystickType type, unsigned int flags) override;

    // One reading (16.16 g).
    void OnEvent(int x, int y, int z);

    PEventHandler* m_handler;
    int32_t m_eventMask = -1;
    int32_t m_x = 0, m_y = 0, m_z = 0;
    uint8_t m_activated = 0;
    PJoyEventRecord m_lastEvent = {};
};

extern CStubJoystickEx* m_global_joy;

// The raw reading last sent to the joystick's handler (null without a joystick).
PJoyEventRecord const* PJoyLastEvent();
// Feeds one reading to the joystick, when there is one.
void PJoyEvent(int x, int y, int z);
