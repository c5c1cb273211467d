// The tablet's tilt, read through the platform's joystick device and
// expressed against a calibrated rest attitude: x as read, y across the rest
// direction in the y-z plane (0 at rest) and z along it.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

class PJoystick;

class Accelerometer {
public:
    // On a device of the caller's (not owned).
    explicit Accelerometer(PJoystick* device);
    // On a device of its own, activated; none when the platform has no
    // accelerometer.
    Accelerometer();
    ~Accelerometer();
    Accelerometer(const Accelerometer&) = delete;
    Accelerometer& operator=(const Accelerometer&) = delete;

    bool available() const { return device != nullptr; }
    // The reading against the rest attitude: (x, A·r, B·r). When there is
    // no device or no reading, the orientation last given (zero at first).
    void getOrientation(PVector3& out);
    void getRelativeOrientation(PVector3&, const PVector3&) {}
    // Takes the current reading as the rest attitude.
    void calibrate();
    // The same from a stored reading's y and z. A reading with y = z = 0
    // has no direction and keeps the axes.
    void calibrateFromSettings(int y, int z);

    PJoystick* device = nullptr;
    bool ownsDevice = false;
    PVector3 axisA{0, 0x10000, 0};
    PVector3 axisB{0, 0, 0x10000};

private:
    // The device's reading; false when it gives none.
    bool Read(int& x, int& y, int& z);

    PVector3 m_last;
};
