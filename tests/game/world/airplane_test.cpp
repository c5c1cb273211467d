// The flight model against double-precision references (movement and the
// steering filters), speed, damage and respawn, angle limits, remote dead
// reckoning and bouncing off the floor.
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
    // Frames of the player's keys: Rotate, then Move.
    void Frames(int n, unsigned char flags = 0)
    {
        for (int i = 0; i < n; i++) {
            plane.Rotate(&plane.angles, flags, t += 25, 0);
            plane.Move(&plane.position, plane.angles, t);
        }
    }
    MyAirplane plane{nullptr, nullptr};
    unsigned t = 1000;
};

TEST_F(Flight, SpeedFollowsTheThrottle)
{
    plane.throttle = 50;
    for (int calls = 1; calls <= 36; calls++) { // up by 150 past 15200, then down by 300
        int before = plane.speed;
        Frames(1);
        EXPECT_EQ(before > 15200 ? before - 300 : before + 150, plane.speed) << calls;
    }
    for (auto [throttle, speed] : {std::pair{100, 23000}, {100, 30000}, {0, 7000}}) { // at the limits
        plane.throttle = throttle, plane.speed = speed;
        Frames(1);
        EXPECT_EQ(speed, plane.speed) << throttle;
    }
}

TEST_F(Flight, DamageArmourDeathAndRespawn)
{
    for (auto [armour, damage, health] : {std::tuple{9, 1, 99}, {5, 50, 75}, {3, 10, 93}, {0, 999, 0}, {9, 998, 0}}) {
        plane.Init(0);
        plane.armour = int8_t(armour);
        plane.position = PVector3(Fx(1), Fx(2), Fx(3));
        plane.ReduceHealth(damage);
        EXPECT_EQ(health, plane.health) << armour << " " << damage;
        EXPECT_EQ(health ? 0 : MyAirplane::kStateExploding, plane.state);
        EXPECT_EQ(health ? -1 : 0, plane.GetExplosionLife());
    }
    plane.explosion.frame = 7; // damage to the dead is ignored
    plane.ReduceHealth(5);
    EXPECT_EQ(7, plane.GetExplosionLife());
    EXPECT_EQ(Fx(2), plane.explosion.y);

    plane.SetSpawnPoint(PVector3(Fx(5), Fx(6), Fx(7)), PVector3(0, Fx(90), 0));
    plane.Respawn(80, 4000);
    EXPECT_EQ(std::tuple(80, 0, -1), std::tuple(plane.health, plane.state, plane.GetExplosionLife()));
    EXPECT_EQ(PVector3(Fx(5), Fx(6), Fx(7)), plane.physics.position);
    EXPECT_EQ(Fx(90), plane.displayedAngles.y);
}

TEST_F(Flight, AnglesWrapAndStopAtTheirLimits)
{
    // pitch, yaw, mode, hold, and the angles after one frame
    for (auto [p, y, mode, hold, wantP, wantY] : {std::tuple{190, 0, 2, 0, -170, 0}, {-190, 0, 2, 0, 170, 0},
                                                 {190, 0, 2, 1, 190, 0}, {0, 190, 0, 0, 0, -170}}) {
        plane.holdAttitude = uint8_t(hold);
        plane.angles = PVector3(Fx(p), Fx(y), 0);
        plane.Rotate(&plane.angles, 0, t += 25, uint8_t(mode));
        EXPECT_EQ(PVector3(Fx(wantP), Fx(wantY), 0), plane.angles) << p << " " << y;
    }
    plane.holdAttitude = 0;
    plane.angles = PVector3();
    plane.throttle = 50;
    // A left turn stops banking at 79 degrees; hands off, the bank returns
    // to level, the heading settles and the height never changes.
    Frames(100, MyAirplane::kRollLeft);
    EXPECT_EQ(Fx(79), plane.angles.z);
    EXPECT_EQ(0, plane.rollRate);
    EXPECT_GT(plane.angles.y, Fx(60));
    Frames(200);
    EXPECT_LT(std::abs(plane.angles.z), Fx(1));
    int32_t heading = plane.angles.y;
    Frames(100);
    EXPECT_NEAR(Db(heading), Db(plane.angles.y), 1.0);
    EXPECT_EQ(0, plane.position.y);
    // A climb stops at 32 degrees of pitch and comes back to level.
    Frames(100, MyAirplane::kPitchUp);
    EXPECT_EQ(Fx(32), plane.angles.x);
    Frames(200);
    EXPECT_EQ(0, plane.angles.x);
    EXPECT_GT(plane.position.y, Fx(4));
    Frames(200, MyAirplane::kRollRight);
    EXPECT_EQ(Fx(-79), plane.angles.z);
}

TEST_F(Flight, MovementMatchesDoubleGeometry)
{
    for (auto c : {Vd{0, 0, 0}, {10, 30, 0}, {-25, 135, 40}, {31, -170, -79}, {5, 400, 10}}) { // pitch, yaw, roll
        plane.Init(0);
        plane.throttle = 50;
        t = 1000;
        plane.Rotate(&plane.angles, 0, t, 2); // starts the clock
        PVector3 a(Fx(c.x), Fx(c.y), Fx(c.z));
        Vd f = Forward(c.x, c.y, c.z), p{0, 0, 0};
        for (int i = 0; i < 1000; i++) {
            plane.Rotate(&plane.angles, 0, t += 25, 2);
            plane.Move(&plane.position, a, t);
            p = {p.x + f.x * Db(plane.step), p.y + f.y * Db(plane.step), p.z + f.z * Db(plane.step)};
        }
        EXPECT_NEAR(f.x, Db(plane.forward.x), 0.002) << c.x << " " << c.y << " " << c.z;
        EXPECT_NEAR(f.y, Db(plane.forward.y), 0.002);
        EXPECT_NEAR(f.z, Db(plane.forward.z), 0.002);
        double tolerance = 0.002 * std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) + 0.01;
        EXPECT_NEAR(p.x, Db(plane.position.x), tolerance);
        EXPECT_NEAR(p.y, Db(plane.position.y), tolerance);
        EXPECT_NEAR(p.z, Db(plane.position.z), tolerance);
    }
}

TEST_F(Flight, SteeringFiltersMatchDoubleReferences)
{
    plane.configPreset(MyAirplane::kPresetQuick);
    plane.inputScaleX = Fx(1.5);
    double f[3] = {0, 0, 1};
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
            // Reference: scale, normalise, cap to the ellipse 15 x^2 + 3 y^2, filter.
            double v[3] = {s.x * 1.5, s.y, s.z};
            double l = std::hypot(v[0], v[1], v[2]);
            for (double& c : v)
                c /= l;
            double e = v[0] * v[0] * 15 + v[1] * v[1] * 3;
            if (e > 1) {
                v[0] /= std::sqrt(e), v[1] /= std::sqrt(e);
                v[2] = std::sqrt(std::max(0.0, 1 - v[0] * v[0] - v[1] * v[1]));
            } else {
                v[2] = std::fabs(v[2]);
            }
            double g = std::pow(52428 / 65536.0, dt / 25.0);
            for (int k = 0; k < 3; k++)
                f[k] = g * f[k] + (1 - g) * v[k];
            l = std::hypot(f[0], f[1], f[2]);
            EXPECT_NEAR(f[0] / l, Db(plane.filtered.x), 0.003) << round << " " << s.x;
            EXPECT_NEAR(f[1] / l, Db(plane.filtered.y), 0.003);
            EXPECT_NEAR(f[2] / l, Db(plane.filtered.z), 0.003);
            for (double& c : f)
                c /= l;
        }

    // The attitude follows the filtered vector through its own filter.
    plane.angles = PVector3();
    plane.filtered = PVector3(Fx(0.3), Fx(-0.2), Fx(0.933));
    double pitch = 0, roll = 0, yaw = 0, g = 58982 / 65536.0;
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
    plane.Move_Multiplayer(1000); // inactive: not moved
    EXPECT_EQ(PVector3(), plane.displayedPosition);
    plane.remoteActive = 1;
    plane.throttle = 50;
    plane.speed = 15200;
    plane.Move_Multiplayer(1000); // starts the clock
    // A fresh state ahead: the displayed aircraft heads for it.
    plane.previousNetPosition = PVector3(0, 0, Fx(5)); // it moved farther than the reckoning is off
    plane.position = PVector3(0, 0, Fx(-2));
    plane.netTimeBefore = 1000, plane.netTime = 1020, plane.newState = 1;
    plane.Move_Multiplayer(1025);
    EXPECT_EQ(0, plane.newState);
    EXPECT_EQ(-0x38000, plane.forward.z);
    EXPECT_EQ(int32_t((-0x38000LL * plane.step) >> 16), plane.displayedPosition.z);
    // A stale state: a tenth of the way each call, no reckoning.
    plane.displayedPosition = PVector3(Fx(10), 0, 0);
    plane.position = PVector3();
    plane.Move_Multiplayer(1020 + 2401);
    EXPECT_EQ(PVector3(Fx(10) - ((int64_t(Fx(10)) * 6553) >> 16), 0, 0), plane.displayedPosition);
    plane.angles = PVector3(0, Fx(90), 0); // angles ease toward the received ones
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
    // A wing tip under the floor rolls the aircraft away from it; in a
    // match the damage is left to the match.
    plane.physics.collided = 1;
    plane.physics.leftWing = PVector3(Fx(-3), 0, 0);
    plane.physics.rightWing = PVector3(Fx(3), 0, 0);
    plane.physics.roll = plane.angles.z = Fx(30);
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
