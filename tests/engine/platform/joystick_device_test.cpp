// The accelerometer joystick, the device and profile answers, the call
// monitor and the link launcher.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "engine/platform/pdevice.h"
#include "engine/platform/peventhandler.h"
#include "engine/platform/pjoystick.h"
#include "host/hostevents.h"
#include "host/hostoptions.h"

namespace {

struct Listener : PEventHandler {
    int OnEvent(int code, int a, int b) override
    {
        PJoyEventRecord const* r = PJoyLastEvent();
        events.push_back({code, a, b, r ? r->x : 0});
        return 1;
    }
    struct Seen {
        int code, a, b, x;
    };
    std::vector<Seen> events;
};

class JoystickTest : public testing::Test {
protected:
    void SetUp() override
    {
        host::Options o;
        o.accelerometer = 1;
        host::Configure(o);
        host::ClearCallLog();
    }
};

} // namespace

TEST_F(JoystickTest, SmoothsEachAxisAndReportsXNegated)
{
    Listener listener;
    PJoystick* joy = PJoystick::Create(&listener);
    ASSERT_NE(joy, nullptr);
    EXPECT_EQ(m_global_joy, joy);
    EXPECT_EQ(joy->IsActivated(0), 1);
    EXPECT_EQ(host::CallLog(), std::vector<std::string>{"accel-frequency 25"});

    int32_t expected[3] = {0x4000, 0x7000, 0x9400};
    for (int i = 0; i < 3; ++i) {
        PJoyEvent(0x10000, 0, 0);
        EXPECT_EQ(m_global_joy->m_x, expected[i]);
    }
    int x = 1, y = 1, z = 1;
    EXPECT_EQ(joy->GetPos(x, y, z, 0, PJOYSTICK_ACCELEROMETER, 0), 1);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(-0x9400, 0));
    // The handler saw every raw reading.
    ASSERT_EQ(listener.events.size(), 3u);
    EXPECT_EQ(std::make_tuple(listener.events[0].code, listener.events[0].a, listener.events[2].x),
              std::make_tuple(PEVENT_JOYSTICK, PEVENT_JOYSTICK_READING, 0x10000));
    delete joy;
    EXPECT_EQ(m_global_joy, nullptr);
}

TEST_F(JoystickTest, IntegerSmoothingOfSmallAndNegativeReadings)
{
    CStubJoystickEx joy(nullptr);
    joy.Activate(1, 0);
    joy.m_z = 0x7FFFFFFF;
    for (int i = 0; i < 20; ++i)
        joy.OnEvent(4, -4, 0x7FFFFFFF);
    EXPECT_EQ(joy.m_x, 1);          // settles below small inputs
    EXPECT_EQ(joy.m_z, 0x7FFFFFFF); // the sum of four extremes does not wrap
    CStubJoystickEx neg(nullptr);
    neg.OnEvent(-4, 0, 0);
    EXPECT_EQ(neg.m_x, -1); // arithmetic shift
}

TEST_F(JoystickTest, GetPosRefusesBeforeActivationOrWithFlags)
{
    CStubJoystickEx joy(nullptr);
    joy.OnEvent(0x10000, 0x10000, 0x10000);
    int x = 11, y = 22, z = 33;
    EXPECT_EQ(joy.GetPos(x, y, z, 0, PJOYSTICK_ACCELEROMETER, 0), 0);
    joy.Activate(1, 0);
    EXPECT_EQ(joy.GetPos(x, y, z, 0, PJOYSTICK_ACCELEROMETER, 1), 0);
    EXPECT_EQ(std::make_tuple(x, y, z), std::make_tuple(11, 22, 33));
    joy.Activate(0, 0);
    EXPECT_EQ(host::CallLog().back(), "accel-frequency 1000");
}

TEST_F(JoystickTest, MaskBitZeroGatesTheHandlerNotTheSmoothing)
{
    Listener listener;
    CStubJoystickEx joy(&listener);
    joy.Activate(1, 0);
    joy.SetEventMask(0);
    joy.OnEvent(0x10000, 0, 0);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(joy.m_x, 0x4000);
    joy.SetEventMask(1);
    joy.OnEvent(0x10000, 0, 0);
    EXPECT_EQ(listener.events.size(), 1u);
}

TEST_F(JoystickTest, NoJoystickWithoutAnAccelerometerOrBeforeCreation)
{
    PJoyEvent(1, 2, 3); // nothing to feed: no effect
    EXPECT_EQ(PJoyLastEvent(), nullptr);
    host::Options o;
    o.accelerometer = 0;
    host::Configure(o);
    EXPECT_EQ(PJoystick::IsSupported(), 0);
    EXPECT_EQ(PJoystick::Create(nullptr), nullptr);
}

// A long run asks the services without end: the call log keeps the latest
// 64 calls, oldest first, in the storage it always has.
TEST_F(JoystickTest, TheCallLogKeepsTheLatestCalls)
{
    for (int hz = 0; hz < 70; ++hz)
        host::AccelerometerSetUpdateFrequency(hz);
    std::vector<std::string> log = host::CallLog();
    ASSERT_EQ(log.size(), 64u);
    EXPECT_EQ(log.front(), "accel-frequency 6");
    EXPECT_EQ(log.back(), "accel-frequency 69");
    host::ClearCallLog();
    EXPECT_TRUE(host::CallLog().empty());
}

TEST(Device, FixedAnswersAreTerminatedWithinTheirBuffer)
{
    char buf[6];
    PDevice::GetDevicePlatform(buf, 3);
    EXPECT_STREQ(buf, "Li"); // cut short, still terminated
    EXPECT_EQ(PDevice::GetDevicePlatform(buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "Linux");
    EXPECT_EQ(PDevice::GetOperatorName(buf, sizeof buf), 14); // the full length, as the stub reports it
    EXPECT_STREQ(buf, "Opera");
}

TEST(Device, ModelNameIsAlwaysTerminated)
{
    char full[256];
    int n = PDevice::GetDeviceModelName(full, sizeof full);
    ASSERT_GT(n, 0);
    EXPECT_EQ(int(std::strlen(full)), n);
    char small[3];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(PDevice::GetDeviceModelName(small, 3), 2);
    EXPECT_EQ(small[2], 0);
    EXPECT_EQ(std::strncmp(small, full, 2), 0);
    EXPECT_EQ(PDevice::GetDeviceModelName(small, 0), 0);
    EXPECT_EQ(PDevice::GetDeviceModelName(nullptr, 10), 0);
}

TEST(LaunchURL, SucceedsOnlyWhenTheOpenerDoes)
{
    host::Options o;
    o.opener = "true";
    host::Configure(o);
    EXPECT_EQ(PLaunchURL("https://example.invalid/"), 1);
    o.opener = "false";
    host::Configure(o);
    EXPECT_EQ(PLaunchURL("https://example.invalid/"), 0);
    o.opener = "/nonexistent/opener";
    host::Configure(o);
    EXPECT_EQ(PLaunchURL("https://example.invalid/"), 0);
    EXPECT_EQ(PLaunchURL(nullptr), 0);
}
