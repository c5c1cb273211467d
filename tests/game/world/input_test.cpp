// Player input: key edges and digit latches, and the accelerometer's
// orientation and calibration against double-precision references on a
// scripted joystick.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/platform/pjoystick.h"
#include "game/world/accelerometer.h"
#include "game/world/myinput.h"

namespace {

// A joystick that gives a set reading, or none.
class ScriptedJoystick : public PJoystick {
public:
    int IsActivated(int) override { return 1; }
    int Activate(unsigned char, int) override { return 0; }
    int ActivateType(unsigned char, int, PJoystickType, unsigned int) override { return 0; }
    int GetDeviceCount() override { return 1; }
    void SetEventMask(int) override {}
    int GetDigitalMask(unsigned int&, int, unsigned int) override { return 0; }
    int GetAnalogButton(int&, int, unsigned int) override { return 0; }
    int GetPos(int& x, int& y, int& z, int, PJoystickType, unsigned int) override
    {
        if (!reading)
            return 0;
        x = rx;
        y = ry;
        z = rz;
        return 1;
    }
    void Set(double x, double y, double z)
    {
        reading = true;
        rx = int(std::lround(x * 65536));
        ry = int(std::lround(y * 65536));
        rz = int(std::lround(z * 65536));
    }
    bool reading = false;
    int rx = 0, ry = 0, rz = 0;
};

double F(int v) { return v / 65536.0; }

} // namespace

TEST(MyInputKeys, EveryKeyAnswersOncePerPress)
{
    using Query = int (MyInput::*)(int);
    const struct {
        Query query;
        int bit;
    } keys[] = {
        {&MyInput::PressedLeft, MyInput::kLeft},       {&MyInput::PressedRight, MyInput::kRight},
        {&MyInput::PressedUp, MyInput::kUp},           {&MyInput::PressedDown, MyInput::kDown},
        {&MyInput::PressedFire, MyInput::kFire},       {&MyInput::PressedFire2, MyInput::kFire2},
        {&MyInput::PressedBack, MyInput::kBack},       {&MyInput::PressedFire3, MyInput::kFire3},
        {&MyInput::PressedFire4, MyInput::kFire4},     {&MyInput::PressedShoulderL, MyInput::kShoulderL},
        {&MyInput::PressedShoulderR, MyInput::kShoulderR},
    };
    for (const auto& k : keys) {
        MyInput in;
        // Held since before the object was made: no press until released.
        EXPECT_EQ((in.*k.query)(k.bit), 0) << k.bit;
        EXPECT_EQ((in.*k.query)(0x7FF), 0) << k.bit;
        EXPECT_EQ((in.*k.query)(0x7FF & ~k.bit), 0) << k.bit;
        EXPECT_EQ((in.*k.query)(k.bit), 1) << k.bit;
        EXPECT_EQ((in.*k.query)(k.bit), 0) << k.bit;
        // SetAllKeys(0) makes a held key count again.
        in.SetAllKeys(0);
        EXPECT_EQ((in.*k.query)(k.bit), 1) << k.bit;
    }
}

TEST(MyInputKeys, DigitLatchesAndState)
{
    MyInput in;
    EXPECT_EQ(in.PressedNumpad(1, 3), 0); // held from before
    EXPECT_EQ(in.PressedNumpad(2, 3), 0); // any state but 1 releases
    EXPECT_EQ(in.PressedNumpad(1, 3), 1);
    EXPECT_EQ(in.PressedNumpad(1, 3), 0);
    EXPECT_EQ(in.PressedNumpad(1, 4), 0); // each digit latches alone
    EXPECT_EQ(in.PressedNumpad(0, 10), 0);
    EXPECT_EQ(in.PressedNumpad(1, 255), 0);

    in.SetAllKeys(0);
    EXPECT_EQ(in.PressedNumpad(1, 4), 1);
}

TEST(AccelerometerTilt, CalibrationMatchesDoublePrecision)
{
    ScriptedJoystick joy;
    Accelerometer acc(&joy);
    ASSERT_TRUE(acc.available());
    const double rests[][3] = {{0.1, 0.0, 1.0}, {0.0, 0.7, 0.7}, {-0.3, -0.5, 0.8}, {0.2, 0.9, -0.4}, {0, 0, -1}};
    const double tilts[][3] = {{0.0, 0.0, 1.0}, {0.5, 0.3, 0.8}, {-0.9, -0.2, 0.1}, {0.1, 1.5, -1.5}};
    for (const auto& r : rests) {
        joy.Set(r[0], r[1], r[2]);
        acc.calibrate();
        const double y0 = F(joy.ry), z0 = F(joy.rz), n = std::hypot(y0, z0);
        const double b[3] = {0, y0 / n, z0 / n}, a[3] = {0, z0 / n, -y0 / n};
        EXPECT_NEAR(F(acc.axisB.y), b[1], 2e-3);
        EXPECT_NEAR(F(acc.axisB.z), b[2], 2e-3);
        EXPECT_NEAR(F(acc.axisA.y), a[1], 2e-3);
        EXPECT_NEAR(F(acc.axisA.z), a[2], 2e-3);
        // At rest: no component across, the whole y-z length along.
        PVector3 out(1, 2, 3);
        acc.getOrientation(out);
        EXPECT_NEAR(F(out.y), 0.0, 2e-3);
        EXPECT_NEAR(F(out.z), n, 3e-3);
        for (const auto& t : tilts) {
            joy.Set(t[0], t[1], t[2]);
            acc.getOrientation(out);
            const double y = F(joy.ry), z = F(joy.rz);
            EXPECT_EQ(out.x, joy.rx);
            EXPECT_NEAR(F(out.y), a[1] * y + a[2] * z, 4e-3);
            EXPECT_NEAR(F(out.z), b[1] * y + b[2] * z, 4e-3);
        }
    }
    // Lying flat with y = 0: B follows the sign of z.
    acc.calibrateFromSettings(0, -3 << 16);
    EXPECT_EQ(acc.axisB.y, 0);
    EXPECT_NEAR(acc.axisB.z, -0x10000, 2);
    EXPECT_NEAR(acc.axisA.y, -0x10000, 2);
    EXPECT_EQ(acc.axisA.z, 0);
}

TEST(AccelerometerTilt, MissingReadingsKeepWhatWasThere)
{
    ScriptedJoystick joy;
    Accelerometer acc(&joy);
    // No reading yet: a zero orientation, never what the caller's vector held.
    PVector3 out(7, 7, 7);
    acc.getOrientation(out);
    EXPECT_EQ(out, PVector3());
    joy.Set(0.25, 0.5, 0.75);
    acc.getOrientation(out);
    const PVector3 seen = out;
    joy.reading = false;
    out = PVector3(9, 9, 9);
    acc.getOrientation(out);
    EXPECT_EQ(out, seen);
    // Calibrating without a reading, or on a reading without direction,
    // keeps the axes.
    const PVector3 a = acc.axisA, b = acc.axisB;
    acc.calibrate();
    joy.Set(0.5, 0, 0);
    acc.calibrate();
    acc.calibrateFromSettings(0, 0);
    EXPECT_EQ(acc.axisA, a);
    EXPECT_EQ(acc.axisB, b);

    Accelerometer none(static_cast<PJoystick*>(nullptr));
    EXPECT_FALSE(none.available());
    out = PVector3(5, 5, 5);
    none.getOrientation(out);
    EXPECT_EQ(out, PVector3());
}
