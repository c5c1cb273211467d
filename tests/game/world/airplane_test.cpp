// The flight model: speed, damage, angle rules, scripted flights and the
// steering filters against double-precision references, remote dead
// reckoning, bouncing off the floor, death and respawn (all without a
// scene).
#include <gtest/gtest.h>

#include <cmath>

#include "game/world/myairplane.h"
#include "tests/game/world/world_fixture.h"

namespace {

using namespace worldtest;

constexpr double kPi = 3.14159265358979323846;

struct Vd {
    double x, y, z;
};

// Forward of the angles in doubles: about Y by yaw, Z by roll, X by pitch,
// applied to (0, 0, -3.5).
Vd Forward(double pitch, double yaw, double roll)
{
    double p = pitch * kPi / 180, y = yaw * kPi / 180, r = roll * kPi / 180;
    Vd v{0, 0, -3.5};
    v = {v.x, v.y * std::cos(p) - v.z * std::sin(p), v.y * std::sin(p) + v.z * std::cos(p)}; // X
    v = {v.x * std::cos(r) - v.y * std::sin(r), v.x * std::sin(r) + v.y * std::cos(r), v.z}; // Z
    v = {v.x * std::cos(y) + v.z * std::sin(y), v.y, -v.x * std::sin(y) + v.z * std::cos(y)}; // Y
    return v;
}

class Flight : public ::testing::Test {
protected:
    void SetUp() override
    {
        plane.Init(1);
        plane.SetRealignSpeedX(26214);
    }
    // One frame of the player's keys: Rotate, then Move.
    void Frame(unsigned char flags)
    {
        t += 25;
        plane.Rotate(&plane.angles, flags, t, 0);
        plane.Move(&plane.position, plane.angles, t);
    }
    MyAirplane plane{nullptr, nullptr};
    unsigned t = 1000;
};

TEST_F(Flight, SpeedFollowsTheThrottle)
{
    plane.throttle = 50;
    int calls = 0;
    while (plane.speed < 15200 && calls < 100) {
        Frame(0);
        calls++;
        EXPECT_EQ(10000 + 150 * calls, plane.speed);
    }
    EXPECT_EQ(15250, plane.speed);
    for (int i = 0; i < 30; i++) {
        int before = plane.speed;
        Frame(0);
        EXPECT_EQ(before > 15200 ? before - 300 : before + 150, plane.speed);
    }
    struct Case {
        int throttle, speed;
    } stays[] = {{100, 23000}, {100, 30000}, {0, 7000}};
    for (auto c : stays) {
        plane.throttle = c.throttle;
        plane.speed = c.speed;
        Frame(0);
        EXPECT_EQ(c.speed, plane.speed) << c.throttle;
    }
}

TEST_F(Flight, DamageArmourDeathAndRespawn)
{
    struct Case {
        int armour, damage, health;
        bool dead;
    } cases[] = {{9, 998, 0, true}, {9, 1, 99, false}, {9, 999, 0, true}, {0, 999, 0, true},
                 {5, 50, 75, false}, {0, 100, 0, true}, {3, 10, 93, false}};
    for (auto c : cases) {
        plane.Init(0);
        plane.armour = int8_t(c.armour);
        plane.position = PVector3(Fx(1), Fx(2), Fx(3));
        plane.ReduceHealth(c.damage);
        EXPECT_EQ(c.health, plane.health) << c.armour << " " << c.damage;
        EXPECT_EQ(c.dead ? MyAirplane::kStateExploding : 0, plane.state);
        if (c.dead) {
            EXPECT_EQ(0, plane.GetExplosionLife());
            EXPECT_EQ(Fx(2), plane.explosion.y);
        }
    }
    // Damage to the dead is ignored.
    plane.ReduceHealth(999);
    plane.explosion.frame = 7;
    plane.ReduceHealth(5);
    EXPECT_EQ(7, plane.GetExplosionLife());
    EXPECT_EQ(0, plane.health);

    plane.SetSpawnPoint(PVector3(Fx(5), Fx(6), Fx(7)), PVector3(0, Fx(90), 0));
    plane.Respawn(80, 4000);
    EXPECT_EQ(80, plane.health);
    EXPECT_EQ(0, plane.state);
    EXPECT_EQ(-1, plane.GetExplosionLife());
    EXPECT_EQ(PVector3(Fx(5), Fx(6), Fx(7)), plane.position);
    EXPECT_EQ(plane.position, plane.physics.position);
    EXPECT_EQ(Fx(90), plane.displayedAngles.y);
}

TEST_F(Flight, AnglesWrapAndRollStopsAtItsLimit)
{
    struct Case {
        double pitch, yaw;
        unsigned char mode, hold;
        double wantPitch, wantYaw;
    } cases[] = {{190, 0, 2, 0, -170, 0}, {-190, 0, 2, 0, 170, 0}, {190, 0, 2, 1, 190, 0}, {0, 190, 0, 0, 0, -170}};
    for (auto c : cases) {
        plane.holdAttitude = c.hold;
        plane.angles = PVector3(Fx(c.pitch), Fx(c.yaw), 0);
        plane.Rotate(&plane.angles, 0, t += 25, c.mode);
        EXPECT_EQ(Fx(c.wantPitch), plane.angles.x) << c.pitch << " " << c.yaw;
        EXPECT_EQ(Fx(c.wantYaw), plane.angles.y) << c.pitch << " " << c.yaw;
    }
    plane.holdAttitude = 0;
    plane.angles = PVector3();
    for (int i = 0; i < 200; i++) {
        Frame(MyAirplane::kRollLeft);
        ASSERT_LE(plane.angles.z, Fx(79)) << i;
    }
    EXPECT_EQ(Fx(79), plane.angles.z);
    EXPECT_EQ(0, plane.rollRate);
    for (int i = 0; i < 200; i++)
        Frame(MyAirplane::kRollRight);
    EXPECT_EQ(Fx(-79), plane.angles.z);
}

TEST_F(Flight, ScriptedFlightStaysWithinBounds)
{
    plane.throttle = 50;
    // Level: the heading and the height do not move.
    for (int i = 0; i < 300; i++)
        Frame(0);
    EXPECT_EQ(0, plane.position.y);
    EXPECT_EQ(0, plane.position.x);
    EXPECT_LT(plane.position.z, Fx(-20));
    // A left turn, then hands off: the bank returns to level and the
    // heading settles.
    for (int i = 0; i < 100; i++)
        Frame(MyAirplane::kRollLeft);
    EXPECT_EQ(Fx(79), plane.angles.z);
    EXPECT_GT(plane.angles.y, Fx(60));
    for (int i = 0; i < 200; i++)
        Frame(0);
    EXPECT_LT(std::abs(plane.angles.z), Fx(1));
    int32_t heading = plane.angles.y;
    for (int i = 0; i < 100; i++)
        Frame(0);
    EXPECT_NEAR(Db(heading), Db(plane.angles.y), 1.0);
    EXPECT_EQ(0, plane.position.y); // turning never changes the height
    // A climb: the pitch stops at 32 degrees and comes back to level.
    int32_t floor = plane.position.y;
    for (int i = 0; i < 100; i++) {
        Frame(MyAirplane::kPitchUp);
        ASSERT_LE(plane.angles.x, Fx(32));
    }
    EXPECT_EQ(Fx(32), plane.angles.x);
    for (int i = 0; i < 200; i++)
        Frame(0);
    EXPECT_EQ(0, plane.angles.x);
    double climbed = Db(plane.position.y - floor);
    EXPECT_GT(climbed, 4);
    // At most 300 frames of the largest step at 32 degrees.
    EXPECT_LT(climbed, 300 * Db(plane.step) * 3.5 * std::sin(32 * kPi / 180));
    EXPECT_GE(plane.angles.y, Fx(-180));
    EXPECT_LE(plane.angles.y, Fx(180));
}

TEST_F(Flight, MovementMatchesDoubleGeometry)
{
    struct Case {
        double pitch, yaw, roll;
    } cases[] = {{0, 0, 0}, {10, 30, 0}, {-25, 135, 40}, {31, -170, -79}, {5, 400, 10}};
    for (auto c : cases) {
        plane.Init(0);
        plane.throttle = 50;
        t = 1000;
        plane.Rotate(&plane.angles, 0, t, 2); // starts the clock
        PVector3 a(Fx(c.pitch), Fx(c.yaw), Fx(c.roll));
        double x = 0, y = 0, z = 0;
        for (int i = 0; i < 1000; i++) {
            plane.Rotate(&plane.angles, 0, t += 25, 2);
            plane.Move(&plane.position, a, t);
            Vd f = Forward(c.pitch, c.yaw, c.roll);
            x += f.x * Db(plane.step), y += f.y * Db(plane.step), z += f.z * Db(plane.step);
        }
        Vd f = Forward(c.pitch, c.yaw, c.roll);
        EXPECT_NEAR(f.x, Db(plane.forward.x), 0.002) << c.pitch << " " << c.yaw << " " << c.roll;
        EXPECT_NEAR(f.y, Db(plane.forward.y), 0.002);
        EXPECT_NEAR(f.z, Db(plane.forward.z), 0.002);
        double tolerance = 0.002 * std::sqrt(x * x + y * y + z * z) + 0.01;
        EXPECT_NEAR(x, Db(plane.position.x), tolerance);
        EXPECT_NEAR(y, Db(plane.position.y), tolerance);
        EXPECT_NEAR(z, Db(plane.position.z), tolerance);
    }
}

TEST_F(Flight, SteeringFiltersMatchDoubleReferences)
{
    plane.configPreset(MyAirplane::kPresetQuick);
    plane.inputScaleX = Fx(1.5);
    double f[3] = {0, 0, 1};
    double inputFilter = 52428 / 65536.0, ex = 15, ey = 3;
    struct Step {
        double x, y, z;
        int dt;
    } steps[] = {{0.1, 0.05, 0.99, 0}, {0.3, -0.2, 0.9, 40}, {0.6, 0.4, 0.7, 0},
                 {-0.2, 0.1, -0.9, 0}, {0.05, 0.02, 1, 100}, {0.5, 0.5, 0.5, 0}};
    t = 1000;
    plane.Rotate(&plane.angles, 0, t, 2);
    for (int round = 0; round < 3; round++)
        for (auto s : steps) {
            int dt = s.dt ? s.dt : 25 + 15 * round;
            plane.Rotate(&plane.angles, 0, t += unsigned(dt), 2); // the frame time
            plane.updateJoystick(PVector3(Fx(s.x), Fx(s.y), Fx(s.z)));
            // Reference: scale, normalise, cap to the ellipse, filter.
            double v[3] = {s.x * 1.5, s.y, s.z};
            double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            for (double& c : v)
                c /= l;
            double e = v[0] * v[0] * ex + v[1] * v[1] * ey;
            if (e > 1) {
                v[0] /= std::sqrt(e), v[1] /= std::sqrt(e);
                v[2] = std::sqrt(std::max(0.0, 1 - v[0] * v[0] - v[1] * v[1]));
            } else {
                v[2] = std::fabs(v[2]);
            }
            double g = std::pow(inputFilter, dt / 25.0);
            for (int k = 0; k < 3; k++)
                f[k] = g * f[k] + (1 - g) * v[k];
            l = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
            for (double& c : f)
                c /= l;
            EXPECT_NEAR(f[0], Db(plane.filtered.x), 0.003) << round << " " << s.x;
            EXPECT_NEAR(f[1], Db(plane.filtered.y), 0.003);
            EXPECT_NEAR(f[2], Db(plane.filtered.z), 0.003);
        }

    // The attitude follows the filtered vector through its own filter.
    plane.angles = PVector3();
    plane.filtered = PVector3(Fx(0.3), Fx(-0.2), Fx(0.933));
    double pitch = 0, roll = 0, yaw = 0;
    double g = 58982 / 65536.0;
    double sx = 0.3 - 1000 / 65536.0, sy = 0.2; // no tilt device: sx = x, sy = -y
    for (int i = 0; i < 200; i++) {
        plane.updateSteering(PVector3(), t += 25, 0);
        pitch = g * pitch + (1 - g) * 100 * sy;
        roll = g * roll + (1 - g) * -400 * sx;
        yaw += 0.3 * 20 * -sx + 20 * roll / 400 * (1 - 0.3);
        yaw = std::fmod(yaw + 540, 360) - 180;
        ASSERT_NEAR(pitch, Db(plane.angles.x), 0.05) << i;
        ASSERT_NEAR(roll, Db(plane.angles.z), 0.2) << i;
        plane.angles.y = Fx(yaw); // heading drift is checked step by step
    }
}

TEST_F(Flight, RemoteAircraftReckonAndEase)
{
    plane.remoteActive = 0;
    plane.Move_Multiplayer(1000);
    EXPECT_EQ(PVector3(), plane.displayedPosition);
    plane.remoteActive = 1;
    plane.throttle = 50;
    plane.speed = 15200;
    plane.Move_Multiplayer(1000); // starts the clock
    // A fresh state ahead: the displayed aircraft heads for it.
    plane.previousNetPosition = PVector3(0, 0, Fx(5)); // it moved farther than the reckoning is off
    plane.position = PVector3(0, 0, Fx(-2));
    plane.netTimeBefore = 1000;
    plane.netTime = 1020;
    plane.newState = 1;
    plane.Move_Multiplayer(1025);
    EXPECT_EQ(0, plane.newState);
    EXPECT_EQ(-0x38000, plane.forward.z);
    EXPECT_EQ(int32_t((-0x38000LL * plane.step) >> 16), plane.displayedPosition.z);
    // A stale state: a tenth of the way each call, no reckoning.
    plane.displayedPosition = PVector3(Fx(10), 0, 0);
    plane.position = PVector3();
    plane.Move_Multiplayer(1020 + 2401);
    EXPECT_EQ(Fx(10) - ((int64_t(Fx(10)) * 6553) >> 16), plane.displayedPosition.x);
    EXPECT_EQ(0, plane.displayedPosition.z);
    // Angles ease toward the received ones.
    plane.angles = PVector3(0, Fx(90), 0);
    plane.displayedAngles = PVector3();
    plane.Move_Multiplayer(3500);
    EXPECT_EQ((int64_t(Fx(90)) * 6000) >> 16, plane.displayedAngles.y);
}

TEST_F(Flight, BouncesOffTheFloor)
{
    plane.physics.position = PVector3(0, Fx(-1), 0);
    EXPECT_EQ(1, plane.BounceWithCollision(0, 0));
    EXPECT_EQ(9830 + 13107, plane.position.y);
    EXPECT_EQ(Fx(15), plane.angles.x);
    EXPECT_EQ(90, plane.health);
    plane.physics.ClearHits();
    plane.physics.position = PVector3(0, Fx(1), 0);
    EXPECT_EQ(0, plane.BounceWithCollision(0, 0));
    // A collision with the left wing tip under the floor rolls right;
    // in a match the damage is left to the match.
    plane.physics.collided = 1;
    plane.physics.leftWing = PVector3(Fx(-3), 0, 0);
    plane.physics.rightWing = PVector3(Fx(3), 0, 0);
    plane.physics.roll = Fx(30);
    plane.angles.z = Fx(30);
    EXPECT_EQ(1, plane.BounceWithCollision(0, 1));
    EXPECT_EQ(1, plane.physics.hitLeft);
    EXPECT_EQ(Fx(40), plane.angles.z);
    EXPECT_EQ(90, plane.health);
    plane.physics.ClearHits();
    plane.physics.roll = Fx(-30);
    EXPECT_EQ(1, plane.BounceWithCollision(0, 0));
    EXPECT_EQ(1, plane.physics.hitRight);
    EXPECT_EQ(Fx(30), plane.angles.z);
    EXPECT_EQ(80, plane.health);
}

} // namespace
