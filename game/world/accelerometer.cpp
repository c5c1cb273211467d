#include "game/world/accelerometer.h"

#include <climits>

#include "engine/platform/pjoystick.h"
#include "engine/runtime/pdebug.h"

namespace {

int32_t Dot(const PVector3& a, int x, int y, int z)
{
    const int64_t sum = int64_t(a.x) * x + int64_t(a.y) * y + int64_t(a.z) * z;
    const int64_t v = sum >> 16;
    return int32_t(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}

int32_t Negate(int v) { return v == INT32_MIN ? INT32_MAX : -v; }

} // namespace

Accelerometer::Accelerometer(PJoystick* dev) : device(dev) {}

Accelerometer::Accelerometer()
{
    device = PJoystick::Create(nullptr);
    if (device) {
        ownsDevice = true;
        device->Activate(1, 0);
    }
}

Accelerometer::~Accelerometer()
{
    if (ownsDevice)
        delete device;
}

bool Accelerometer::Read(int& x, int& y, int& z)
{
    return device && device->GetPos(x, y, z, 0, PJOYSTICK_ACCELEROMETER, 0) != 0;
}

void Accelerometer::getOrientation(PVector3& out)
{
    int x = 0, y = 0, z = 0;
    if (Read(x, y, z))
        m_last = PVector3(x, Dot(axisA, x, y, z), Dot(axisB, x, y, z));
    out = m_last;
}

void Accelerometer::calibrate()
{
    int x = 0, y = 0, z = 0;
    if (Read(x, y, z))
        calibrateFromSettings(y, z);
}

void Accelerometer::calibrateFromSettings(int y, int z)
{
    if (y == 0 && z == 0) {
        _PDebug("Accelerometer: a reading without direction keeps the calibration\n");
        return;
    }
    PVector3 b(0, y, z);
    PVector3 a(0, z, Negate(y));
    b.Normalize();
    a.Normalize();
    axisB = b;
    axisA = a;
}
