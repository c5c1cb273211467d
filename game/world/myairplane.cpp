#include "game/world/myairplane.h"

#include <algorithm>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dobjects.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "game/world/gameplayobject.h"
#include "game/world/planescene.h"

namespace {

constexpr int32_t kOne = 0x10000;
constexpr int32_t kDeg = 0x10000;
constexpr int32_t kFullTurn = 360 * kDeg;
constexpr int32_t kHalfTurn = 180 * kDeg;
constexpr int32_t kPlayerRollAccel = 175000;
constexpr int32_t kPlayerExtraRoll = 50000;
constexpr int32_t kRollAccel = 50000;
constexpr int32_t kPitchAccel = 85400;
constexpr int32_t kPitchAccelMode1 = 170800;
constexpr int32_t kRollDecay = 4500;
constexpr int32_t kFramePeriodMs = 25;
constexpr int32_t kRotorSpin = 0x190900;  // 25.035 degrees a call
constexpr int32_t kBounceLift = 9830;     // 0.15 above the floor
constexpr int32_t kBounceRise = 13107;    // 0.2
constexpr int32_t kBouncePitch = 15 * kDeg;
constexpr int32_t kBounceRoll = 10 * kDeg;
constexpr int32_t kEase = 6553;           // 10 % toward the network state
constexpr int32_t kAngleEase = 6000;

struct Preset {
    int32_t inputFilter, ellipseX, ellipseY, attitudeFilter, yawGain;
};
const Preset kPresets[3] = {{55705, 15 * kOne, 5 * kOne, 62259, 12},
                            {52428, 15 * kOne, 3 * kOne, 58982, 20},
                            {58982, 45 * kOne, 12 * kOne, 64225, 14}};

int32_t Wrap(int64_t v)
{
    return int32_t(uint32_t(uint64_t(v)));
}

int32_t Mul(int32_t a, int32_t b)
{
    return Wrap((int64_t(a) * b) >> 16);
}

// The heading matrix of the angles: about Y by yaw, Z by roll, X by pitch,
// each angle reduced to a turn with the sign kept.
PMatrix3D Heading(const PVector3& a)
{
    PMatrix3D m;
    m.SetIdentity();
    m.RotateY(a.y % kFullTurn);
    m.RotateZ(a.z % kFullTurn);
    m.RotateX(a.x % kFullTurn);
    return m;
}

PVector3 Apply(const PMatrix3D& m, PVector3 v)
{
    m.TransformPoint(v);
    return v;
}

// A filter factor for dt milliseconds: raised to dt / 25 (unchanged for a dt
// of 0).
int32_t FilterFactor(int32_t f, int32_t dt)
{
    if (dt == 0)
        return f;
    return PFPow(f, Wrap(int64_t(dt) * kOne / kFramePeriodMs));
}

int32_t Blend(int32_t g, int32_t a, int32_t b)
{
    return Wrap(((int64_t(g) * a) >> 16) + ((int64_t(kOne - g) * b) >> 16));
}

} // namespace

MyAirplane::MyAirplane(int*, PJoystick* device) : tilt(device), accelerometer(device)
{
    physics.SetReferenceToHealth(health);
    configPreset(kPresetGentle);
}

MyAirplane::~MyAirplane()
{
    Unload();
}

void MyAirplane::Init(int mode)
{
    Unload();
    model = std::make_unique<PlaneScene>();
    rollAccel = mode == 1 ? kPlayerRollAccel : kRollAccel;
    extraRollLimit = mode == 1 ? kPlayerExtraRoll : 0;
    angles = previousAngles = PVector3();
    pitchRate = rollRate = 0;
    forward = PVector3(0, 0, -kOne);
    up = PVector3(0, kOne, 0);
    position = PVector3();
    throttle = 35;
    speed = 10000;
    health = 100;
    state = status = 0;
    rotorAngle = 0;
    steering = 0;
    remoteActive = 0;
}

void MyAirplane::SetName(const char* n)
{
    if (!n || !*n)
        return;
    int i = 0;
    for (; i < 15 && n[i]; i++)
        name[i] = n[i];
    name[i] = 0;
}

void MyAirplane::Unload()
{
    model.reset();
    name[0] = 0;
}

void MyAirplane::configPreset(int p)
{
    deadZone = 1000;
    yawMix = 19660;
    if (p < 0 || p > 2)
        return;
    const Preset& s = kPresets[p];
    inputFilter = s.inputFilter;
    ellipseX = s.ellipseX;
    ellipseY = s.ellipseY;
    attitudeFilter = s.attitudeFilter;
    yawGain = s.yawGain;
}

void MyAirplane::TakeDt(unsigned int t)
{
    dt = lastUpdate == 0 ? 0 : int32_t(t - lastUpdate);
    lastUpdate = t;
}

void MyAirplane::ApplySpeedRule()
{
    int32_t target = throttle * 144 + 8000;
    if (target > speed)
        speed += throttle * 3;
    else if (target < speed)
        speed = speed - 600 + throttle * 6;
}

void MyAirplane::Advance(PVector3* p)
{
    int32_t half = speed - speed / 2;
    int32_t bonus = int32_t(int64_t(speed) * (speedRating * 10) / 100);
    step = Wrap(int64_t(dt) * (((half + bonus) >> 1) / 40));
    PVector3 old = *p;
    p->x = Wrap(int64_t(p->x) + ((int64_t(forward.x) * step) >> 16));
    p->y = Wrap(int64_t(p->y) + ((int64_t(forward.y) * step) >> 16));
    p->z = Wrap(int64_t(p->z) + ((int64_t(forward.z) * step) >> 16));
    if (model && model->null) {
        model->null->tracks[kTrackPosX].value = p->x;
        model->null->tracks[kTrackPosY].value = p->y;
        model->null->tracks[kTrackPosZ].value = p->z;
    }
    physics.velocity = PVector3(Wrap(int64_t(p->x) - old.x), Wrap(int64_t(p->y) - old.y), Wrap(int64_t(p->z) - old.z));
}

void MyAirplane::Move(PVector3* p, PVector3 a, unsigned int)
{
    PMatrix3D m = Heading(a);
    forward = Apply(m, PVector3(0, 0, -kNoseLength));
    up = Apply(m, PVector3(0, kOne, 0));
    ApplySpeedRule();
    if (p)
        Advance(p);
}

// Pitch and roll rates: limits grow with the step, so faster aircraft turn
// faster. A positive roll rate lowers the roll angle.
void MyAirplane::PullUp()
{
    int32_t l = Wrap(int64_t(9) * step);
    if (pitchRate < l)
        pitchRate = int32_t(std::min<int64_t>(int64_t(pitchRate) + pitchAccel + 2 * int64_t(step), l));
}

void MyAirplane::PullDown()
{
    int32_t l = Wrap(int64_t(9) * step);
    if (pitchRate > -l)
        pitchRate = int32_t(std::max<int64_t>(int64_t(pitchRate) - pitchAccel - 2 * int64_t(step), -int64_t(l)));
}

void MyAirplane::PullRight()
{
    int32_t r = Wrap(int64_t(19) * step + extraRollLimit);
    if (rollRate < r)
        rollRate = int32_t(std::min<int64_t>(int64_t(rollRate) + rollAccel + 8 * int64_t(step), r));
}

void MyAirplane::PullLeft()
{
    int32_t r = Wrap(int64_t(19) * step + extraRollLimit);
    if (rollRate > -r)
        rollRate = int32_t(std::max<int64_t>(int64_t(rollRate) - rollAccel - 8 * int64_t(step), -int64_t(r)));
}

// The pitch drifts back to level at a rate that grows with time.
void MyAirplane::RealignRotateX(PVector3* a)
{
    int64_t v = int64_t(dt) * realignSpeed;
    int64_t cap = v / 40;
    if (a->x == 0) {
        pitchRate = 0;
        return;
    }
    if (a->x < 0) {
        pitchRate = int32_t(std::min<int64_t>(int64_t(pitchRate) + v / 160, cap));
        int64_t p = int64_t(a->x) + pitchRate;
        if (p > 0) {
            p = 0;
        } else if (p < -kPitchLimit) {
            p = -kPitchLimit;
            pitchRate = 0;
        }
        a->x = int32_t(p);
    } else {
        pitchRate = int32_t(std::max<int64_t>(int64_t(pitchRate) - cap / 4, -cap));
        int64_t p = int64_t(a->x) + pitchRate;
        if (p < 0) {
            p = 0;
        } else if (p > kPitchLimit) {
            p = kPitchLimit;
            pitchRate = 0;
        }
        a->x = int32_t(p);
    }
}

void MyAirplane::RealignRotateZ(PVector3* a)
{
    if (a->z == 0) {
        rollRate = 0;
        return;
    }
    int64_t mag = a->z < 0 ? -int64_t(a->z) : a->z;
    int64_t r = int64_t(dt) * ((std::min<int64_t>(mag >> 4, 2 * kOne) + 6553) / 40);
    rollRate = Wrap(a->z < 0 ? -r : r);
}

void MyAirplane::IntegrateRoll(PVector3* a, bool limited)
{
    int32_t r = rollRate;
    int64_t roll = a->z;
    if (r < 0 && (!limited || roll < kRollLimit)) {
        roll -= r;
        if (roll < 0)
            roll -= r / 2;
    } else if (r < 0 || r == 0) {
        rollRate = 0;
    } else if (!limited || roll > -kRollLimit) {
        roll -= r;
        if (roll > 0)
            roll -= r / 2;
    } else {
        rollRate = 0;
    }
    if (!limited && (roll > kHalfTurn || roll < -kHalfTurn)) {
        roll += roll > 0 ? -kFullTurn : kFullTurn;
        rollRate = 0;
    }
    a->z = Wrap(roll);
}

void MyAirplane::WrapAngles(PVector3* a) const
{
    for (int32_t* v : {&a->x, &a->y, &a->z}) {
        if (*v > kHalfTurn)
            *v = Wrap(int64_t(*v) - kFullTurn);
        else if (*v < -kHalfTurn)
            *v = Wrap(int64_t(*v) + kFullTurn);
    }
}

void MyAirplane::Rotate(PVector3* a, unsigned char flags, unsigned int t, unsigned char mode)
{
    if (!a)
        return;
    if (aboveCeiling && mode == 0) {
        flags &= uint8_t(~kPitchUp);
        if (a->x > 0)
            flags |= kPitchDown;
    }
    steering = flags;
    TakeDt(t);
    if (mode == 0 || mode == 1) {
        // The pitch acceleration is set only while the nose is pulled.
        if (flags & kPitchDown) {
            pitchAccel = mode == 0 ? kPitchAccel : kPitchAccelMode1;
            PullDown();
            a->x = Wrap(int64_t(a->x) + pitchRate);
        } else if (flags & kPitchUp) {
            pitchAccel = mode == 0 ? kPitchAccel : kPitchAccelMode1;
            PullUp();
            a->x = Wrap(int64_t(a->x) + pitchRate);
        } else if (!holdAttitude || mode == 1) {
            RealignRotateX(a);
        }
        if (flags & kRollRight)
            PullRight();
        else if (flags & kRollLeft)
            PullLeft();
        else if (mode == 0)
            RealignRotateZ(a);
        if (mode == 0) {
            if (a->z != 0)
                a->y = Wrap(int64_t(a->y) + int64_t(dt) * (a->z / 1000));
        } else {
            // Banking into the turn levels the nose; the turn rate follows
            // the bank and the pitch.
            bool intoTurn = ((flags & kRollLeft) && a->z < 0) || ((flags & kRollRight) && a->z >= kOne);
            if (intoTurn && a->x != 0) {
                if (a->x < 0)
                    PullUp();
                else
                    PullDown();
                a->x = Wrap(int64_t(a->x) + pitchRate);
            }
            if (a->z != 0) {
                int64_t bank = a->z < 0 ? -int64_t(a->z) : a->z;
                if (bank > 90 * kDeg)
                    bank = kHalfTurn - bank;
                int64_t k = (bank * ((int64_t(a->x) + 0x18000) * 2)) >> 16;
                int64_t turn = int64_t(dt) * ((k >> 4) / 3600);
                a->y = Wrap(int64_t(a->y) + (a->z > 0 ? turn : -turn));
            }
        }
        IntegrateRoll(a, mode == 0);
        // Pitch and roll stop at their limits while pulled.
        if (flags & kPitchDown) {
            if (a->x < -kPitchLimit)
                a->x = -kPitchLimit;
            else if ((flags & kPitchUp) && a->x > kPitchLimit)
                a->x = kPitchLimit;
        } else if ((flags & kPitchUp) && a->x > kPitchLimit) {
            a->x = kPitchLimit;
        }
        if (mode == 1) {
            // No roll limits: the roll wraps in IntegrateRoll.
        } else if (flags & kRollRight) {
            if (a->z < -kRollLimit)
                a->z = -kRollLimit;
            else if ((flags & kRollLeft) && a->z > kRollLimit)
                a->z = kRollLimit;
        } else if ((flags & kRollLeft) && a->z > kRollLimit) {
            a->z = kRollLimit;
        }
        if (rollRate > kRollDecay)
            rollRate -= kRollDecay;
        else if (rollRate < -kRollDecay)
            rollRate += kRollDecay;
    }
    if (!holdAttitude)
        WrapAngles(a);
}

void MyAirplane::ThrottleUp()
{
    throttle = std::min<int32_t>(100, Wrap(throttle + ((int64_t(dt) * 4915) >> 16)));
}

void MyAirplane::ThrottleDown()
{
    throttle = std::max<int32_t>(0, Wrap(throttle - ((int64_t(dt) * 6553) >> 16)));
}

void MyAirplane::updateJoystick(const PVector3& input)
{
    PVector3 v = input;
    if (tilt)
        accelerometer.getOrientation(v);
    v.x = Mul(v.x, inputScaleX);
    v.y = Mul(v.y, inputScaleY);
    v.Normalize();
    // Cap to the control ellipse: the tilt that reaches its edge counts as
    // full deflection.
    int64_t x2 = (int64_t(v.x) * v.x) >> 16, y2 = (int64_t(v.y) * v.y) >> 16;
    int64_t e = ((x2 * ellipseX) >> 16) + ((y2 * ellipseY) >> 16);
    if (e > kOne) {
        int32_t inv = PFRSqrt(int32_t(std::min<int64_t>(e, INT32_MAX)));
        v.x = Mul(v.x, inv);
        v.y = Mul(v.y, inv);
        int64_t rest = kOne - (((int64_t(v.x) * v.x) >> 16) + ((int64_t(v.y) * v.y) >> 16));
        v.z = PFSqrt(unsigned(rest > 0 ? rest : 0));
    } else if (v.z < 0) {
        v.z = -v.z;
    }
    v.Normalize();
    int32_t f = FilterFactor(inputFilter, dt);
    filtered = PVector3(Blend(f, filtered.x, v.x), Blend(f, filtered.y, v.y), Blend(f, filtered.z, v.z));
    filtered.Normalize();
}

void MyAirplane::resetJoystick()
{
    accelerometer.calibrate();
    filtered = PVector3(0, 0, kOne);
    accelerometer.getOrientation(filtered);
}

void MyAirplane::updateSteering(const PVector3&, unsigned int t, unsigned char invertPitch)
{
    TakeDt(t);
    PMatrix3D m = Heading(angles);
    up = Apply(m, PVector3(0, kOne, 0));
    forward = Apply(m, PVector3(0, 0, -kNoseLength));
    previousAngles = angles;
    int32_t sx = tilt ? -filtered.x : filtered.x;
    int32_t sy = tilt ? filtered.y : -filtered.y;
    if (invertPitch)
        sy = -sy;
    sx = sx > 0 ? std::max(sx - deadZone, 0) : std::min(sx + deadZone, 0);
    int32_t g = FilterFactor(attitudeFilter, dt);
    if (!aboveCeiling || sy <= 0)
        angles.x = Blend(g, angles.x, Wrap(100 * int64_t(sy)));
    else
        angles.x = Mul(g, angles.x);
    angles.z = Blend(g, angles.z, Wrap(-400 * int64_t(sx)));
    int64_t direct = (int64_t(yawMix) * (int64_t(yawGain) * -sx)) >> 16;
    int64_t banked = ((int64_t(yawGain) * angles.z / 400) * (kOne - yawMix)) >> 16;
    angles.y = Wrap(int64_t(angles.y) + direct + banked);
    ApplySpeedRule();
    Advance(&position);
    lastUpdate = t;
}

void MyAirplane::Move_Multiplayer(unsigned int t)
{
    if (!remoteActive)
        return;
    if (!tilt)
        TakeDt(t);
    ApplySpeedRule();
    int32_t half = speed - speed / 2;
    int32_t bonus = int32_t(int64_t(speed) * (speedRating * 10) / 100);
    step = Wrap(int64_t(dt) * (((half + bonus) >> 1) / 40));
    PVector3 before = displayedPosition;
    auto ease = [&]() {
        displayedPosition.x = Wrap(displayedPosition.x + ((int64_t(position.x) - displayedPosition.x) * kEase >> 16));
        displayedPosition.y = Wrap(displayedPosition.y + ((int64_t(position.y) - displayedPosition.y) * kEase >> 16));
        displayedPosition.z = Wrap(displayedPosition.z + ((int64_t(position.z) - displayedPosition.z) * kEase >> 16));
    };
    if (netTime != netTimeBefore) {
        if (t - netTime < kStaleStateMs) {
            if (newState) {
                newState = 0;
                if (position != displayedPosition) {
                    PVector3 d(Wrap(int64_t(position.x) - displayedPosition.x),
                               Wrap(int64_t(position.y) - displayedPosition.y),
                               Wrap(int64_t(position.z) - displayedPosition.z));
                    d.Normalize();
                    forward = PVector3(Mul(d.x, kNoseLength), Mul(d.y, kNoseLength), Mul(d.z, kNoseLength));
                }
            }
            displayedPosition.x = Wrap(displayedPosition.x + ((int64_t(forward.x) * step) >> 16));
            displayedPosition.y = Wrap(displayedPosition.y + ((int64_t(forward.y) * step) >> 16));
            displayedPosition.z = Wrap(displayedPosition.z + ((int64_t(forward.z) * step) >> 16));
            // Ease back when the reckoning ran farther off than the last
            // state moved.
            auto eighth = [](const PVector3& v) { return PVector3(v.x / 8, v.y / 8, v.z / 8); };
            PVector3 off(Wrap(int64_t(displayedPosition.x) - position.x), Wrap(int64_t(displayedPosition.y) - position.y),
                         Wrap(int64_t(displayedPosition.z) - position.z));
            PVector3 moved(Wrap(int64_t(position.x) - previousNetPosition.x),
                           Wrap(int64_t(position.y) - previousNetPosition.y),
                           Wrap(int64_t(position.z) - previousNetPosition.z));
            if (eighth(off).LengthSafe() > eighth(moved).LengthSafe())
                ease();
        } else {
            ease();
        }
    }
    // The game-play object follows what is shown: homing weapons, target
    // indicators and the lock camera read it.
    if (gpo) {
        gpo->position = displayedPosition;
        gpo->rotation = displayedAngles;
        if (gpo->refX && gpo->refY && gpo->refZ) {
            *gpo->refX = displayedPosition.x;
            *gpo->refY = displayedPosition.y;
            *gpo->refZ = displayedPosition.z;
        }
        if (gpo->refPitch && gpo->refYaw && gpo->refRoll) {
            *gpo->refPitch = displayedAngles.x;
            *gpo->refYaw = displayedAngles.y;
            *gpo->refRoll = displayedAngles.z;
        }
    }
    displayedAngles.x = Wrap(displayedAngles.x + ((int64_t(angles.x) - displayedAngles.x) * kAngleEase >> 16));
    displayedAngles.y = Wrap(displayedAngles.y + ((int64_t(angles.y) - displayedAngles.y) * kAngleEase >> 16));
    displayedAngles.z = Wrap(displayedAngles.z + ((int64_t(angles.z) - displayedAngles.z) * kAngleEase >> 16));
    up = Apply(Heading(displayedAngles), PVector3(0, kOne, 0));
    if (PlaneScene* s = GetCurrentPlaneScene(); s && s->null)
        s->null->SetFreePosition(displayedPosition.x, displayedPosition.y, displayedPosition.z, displayedAngles.y,
                                 displayedAngles.z, displayedAngles.x);
    physics.velocity = PVector3(Wrap(int64_t(displayedPosition.x) - before.x),
                                Wrap(int64_t(displayedPosition.y) - before.y),
                                Wrap(int64_t(displayedPosition.z) - before.z));
}

void MyAirplane::UpdateModelPosition(unsigned char displayed)
{
    const PVector3& p = displayed ? displayedPosition : position;
    const PVector3& a = displayed ? displayedAngles : angles;
    if (PlaneScene* s = GetCurrentPlaneScene(); s && s->null)
        s->null->SetFreePosition(p.x, p.y, p.z, a.y, a.z, a.x);
    UpdatePlanePositionToPhysicsData(displayed);
}

void MyAirplane::UpdatePlanePositionToPhysicsData(unsigned char displayed)
{
    const PVector3& p = displayed ? displayedPosition : position;
    const PVector3& a = displayed ? displayedAngles : angles;
    physics.position = p;
    physics.yaw = a.y;
    physics.pitch = a.x;
    physics.roll = a.z;
}

void MyAirplane::UpdateRudderAndFlaps()
{
    PlaneScene* s = GetCurrentPlaneScene();
    if (!s)
        return;
    s->SetFlapsDegree(Wrap((int64_t(angles.z) - previousAngles.z) * -32));
    s->SetRudderDegee(Wrap((int64_t(angles.x) - previousAngles.x) * 128));
}

void MyAirplane::UpadteRotors()
{
    PlaneScene* s = GetCurrentPlaneScene();
    if (health <= 0 || !s)
        return;
    rotorAngle = Wrap(int64_t(rotorAngle) + kRotorSpin + int64_t(throttle / 2) * (kDeg / 2));
    for (int i = 0; i < int(s->rotors.size()); i++)
        s->RotateRotor(i, rotorAngle);
}

void MyAirplane::UpdateFireEffect(int frame, int weaponIndex)
{
    PlaneScene* s = GetCurrentPlaneScene();
    if (weaponIndex != 0 || !s)
        return;
    bool shown = (state & kStateFiring) && frame % 5 != 0;
    s->SetGunFireActive(shown, Wrap(int64_t(rotorAngle) * 4));
}

void MyAirplane::UpdateWingPoints()
{
    if (!model || !model->scene)
        return;
    P3DNullPoint* r = model->scene->GetNullPointerByName("WingR");
    P3DNullPoint* l = model->scene->GetNullPointerByName("WingL");
    if (!r || !l)
        return;
    physics.rightWing = PVector3(r->tracks[kTrackPosX].value, r->tracks[kTrackPosY].value, r->tracks[kTrackPosZ].value);
    physics.leftWing = PVector3(l->tracks[kTrackPosX].value, l->tracks[kTrackPosY].value, l->tracks[kTrackPosZ].value);
}

void MyAirplane::UpdateLODlevel(const PPlane3* plane)
{
    if (model)
        model->UpdateLODscene(plane);
}

void MyAirplane::RefreshPluggedPlane(bool show)
{
    PlaneScene* s = GetCurrentPlaneScene();
    P3DNullPoint* n = model ? model->null : nullptr;
    if (s && health >= 1 && show) {
        if (n && s->unit)
            n->PlugScene(s->unit);
        shown = 1;
    } else {
        if (n)
            n->UnplugScene();
        shown = 0;
    }
}

int MyAirplane::BounceWithCollision(int floorY, unsigned char multiplayer)
{
    position = physics.position;
    if (position.y < floorY) {
        physics.hitBody = 1;
        position.y = Wrap(int64_t(floorY) + kBounceLift);
        physics.position.y = position.y;
    } else if (physics.collided) {
        // The wing tips, turned with the aircraft's yaw and roll.
        if (floorY > physics.LeftWingPoint().y)
            physics.hitLeft = 1;
        else if (floorY > physics.RightWingPoint().y)
            physics.hitRight = 1;
    }
    if (physics.hitBody) {
        previousAngles.x = angles.x;
        angles.x = kBouncePitch;
        if (PlaneScene* s = GetCurrentPlaneScene(); s && s->null)
            s->null->tracks[kTrackRotZ].value = angles.x;
        position.y = Wrap(int64_t(position.y) + kBounceRise);
    }
    if (physics.hitLeft) {
        previousAngles.z = angles.z;
        angles.z = Wrap(int64_t(angles.z) + kBounceRoll);
    }
    if (physics.hitRight) {
        previousAngles.z = angles.z;
        angles.z = Wrap(int64_t(angles.z) - kBounceRoll);
    }
    if (!physics.AnyHit())
        return 0;
    if (!multiplayer)
        ReduceHealth(kBounceDamage);
    return 1;
}

void MyAirplane::ReduceHealth(int d)
{
    if (health <= 0)
        return;
    if (d >= kFatalDamage) {
        health = 0;
        Die();
        return;
    }
    int64_t absorbed = int64_t(d) * armour * 10 / 100;
    health = Wrap(health - std::max<int64_t>(d - absorbed, 1));
    if (health <= 0)
        Die();
}

void MyAirplane::Die()
{
    Explode();
    explosion.Init(position, MyExplosion::kBasic, nullptr);
    health = 0;
}

void MyAirplane::Respawn(int h, unsigned int t)
{
    position = previousNetPosition = displayedPosition = spawnPosition;
    angles = previousAngles = displayedAngles = spawnAngles;
    health = h;
    forward = PVector3(0, 0, -kOne);
    up = PVector3(0, kOne, 0);
    status = 0;
    if (gpo) {
        gpo->startPosition = spawnPosition;
        gpo->startRotation = spawnAngles;
        gpo->RespawnPosition();
        if (gpo->healthRef)
            *gpo->healthRef = h;
    }
    state = 0;
    explosion.frame = MyExplosion::kIdle;
    UpdateModelPosition(1);
    lastUpdate = t;
    netTime = t;
    netTimeBefore = t - 30;
}

PlaneScene* MyAirplane::GetCurrentPlaneScene() const
{
    return model ? model->current : nullptr;
}

PVector3 MyAirplane::GetRealPosOnScene() const
{
    PlaneScene* s = GetCurrentPlaneScene();
    if (s && s->null)
        return PVector3(s->null->tracks[kTrackPosX].value, s->null->tracks[kTrackPosY].value,
                        s->null->tracks[kTrackPosZ].value);
    return position;
}

void MyAirplane::SetOnNullPPosition(P3DAnim* scene, const char* nullName)
{
    P3DNullPoint* n = scene && nullName ? scene->GetNullPointerByName(nullName) : nullptr;
    if (!n)
        return;
    n->RefreshTransition(0);
    int x, y, z, yaw, pitch, roll;
    n->GetPosition(x, y, z);
    // The null's rotation tracks as the model is placed on it: yaw, roll,
    // pitch (see UpdateModelPosition).
    n->GetRotation(yaw, roll, pitch);
    position = displayedPosition = PVector3(x, y, z);
    angles = previousAngles = displayedAngles = PVector3(pitch, yaw, roll);
    forward = PVector3(0, 0, -kOne);
    up = PVector3(0, kOne, 0);
}
