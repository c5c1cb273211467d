// The geometric value types, all in 16.16 fixed point: vector, rotation
// quaternion, 3x4 affine matrix, plane and axis-aligned box. Products are
// signed 64-bit; a sum of products is shifted right by 16 once.
#pragma once
#include <cstdint>

struct PVector3 {
    int32_t x, y, z;

    constexpr PVector3() : x(0), y(0), z(0) {}
    constexpr PVector3(int32_t ax, int32_t ay, int32_t az) : x(ax), y(ay), z(az) {}

    bool operator==(const PVector3& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const PVector3& o) const { return !(*this == o); }

    // Division by a 16.16 divisor through its reciprocal 2^32 / d. Results
    // beyond the 16.16 range, and division by 0, saturate (a zero component
    // stays 0).
    PVector3& operator/=(int d);
    PVector3 operator/(int d) const;

    // Length; 0x7FFFFFFF when the squared length does not fit in 16.16.
    int LengthSafe() const;
    // Squared length; 0x7FFFFFFF when it does not fit in 16.16.
    int LengthSqrSafe() const;
    static int DistanceSqrSafe(const PVector3& a, const PVector3& b);
    // Distance, scaled down internally as needed; 0x7FFFFFFF only when the
    // distance itself does not fit in 16.16.
    static int DistanceSafe(const PVector3& a, const PVector3& b);

    // Unit length in place (through 1/sqrt); components above 128.0 are
    // halved first and very short vectors scaled up. A zero vector stays
    // zero.
    void Normalize();
    // This = v made unit length.
    void SetNormal(const PVector3& v);
    // Unit length in place by dividing by the length; a vector too short to
    // measure is left unchanged.
    void Normalize2();
};

// A rotation: w the scalar part, then x, y, z; expected to be of unit length.
struct PQuaternion {
    int32_t w, x, y, z;

    constexpr PQuaternion() : w(0x10000), x(0), y(0), z(0) {}
    constexpr PQuaternion(int32_t aw, int32_t ax, int32_t ay, int32_t az) : w(aw), x(ax), y(ay), z(az) {}
};

// A 3x4 matrix acting on column vectors, p' = L p + t: three rows of four,
// m[r][0..2] the linear part and m[r][3] the translation; the missing fourth
// row is (0, 0, 0, 1). Multiply, Translate, Scale and the rotations
// post-multiply (this = this x M, so M applies to points first). Rotation
// angles are 16.16 degrees; an angle that is a whole number of turns does
// nothing.
struct PMatrix3D {
    int32_t m[3][4];

    void SetIdentity();
    void SetupTranslation(int x, int y, int z);
    void SetupScale(int sx, int sy, int sz);
    // Rotation by angle about the unit axis (x, y, z).
    void SetupRotate(int angle, int x, int y, int z);
    void SetupRotate(const PQuaternion& q);

    // this = this x b.
    void Multiply(const int32_t (*b)[4]);
    // this = b x this.
    void PreMultiply(const int32_t (*b)[4]);
    // this = a x b (either may be this).
    void SetProduct(const PMatrix3D& a, const PMatrix3D& b);

    void Translate(int x, int y, int z);
    void Translate(const PVector3& v) { Translate(v.x, v.y, v.z); }
    void Scale(int sx, int sy, int sz);
    void Scale(const PVector3& v) { Scale(v.x, v.y, v.z); }
    void RotateX(int angle);
    void RotateY(int angle);
    void RotateZ(int angle);
    void Rotate(int angle, int x, int y, int z);
    void Rotate(int angle, const PVector3& axis) { Rotate(angle, axis.x, axis.y, axis.z); }
    void Rotate(const PQuaternion& q);

    // p = L p + t in place.
    void TransformPoint(PVector3& p) const;
};

// The plane a x + b y + c z + d = 0, (a, b, c) its normal.
struct PPlane3 {
    int32_t a, b, c, d;

    // The plane through three points; the normal is (p1 - p0) x (p2 - p0)
    // made unit length.
    void Create(const PVector3& p0, const PVector3& p1, const PVector3& p2);
    static void Create(PPlane3& out, const PVector3& p0, const PVector3& p1, const PVector3& p2)
    {
        out.Create(p0, p1, p2);
    }
    // Scales a, b, c and d so that the normal is unit length; a plane
    // without a normal is left as it is.
    void Normalize();
};

// An axis-aligned box; Zero makes the empty box that Add grows.
struct PAABB3 {
    PVector3 min, max;

    void Zero();
    void Add(const PVector3* points, int n);
    // 1 when min <= p <= max on every axis, else 0.
    int Contains(const PVector3& p) const { return Contains(p.x, p.y, p.z); }
    int Contains(int x, int y, int z) const;
    // Each axis's bounds times its factor (16.16, saturating); a negative
    // factor leaves min and max exchanged.
    void Scale(int sx, int sy, int sz);
    void Scale(PAABB3& out, int sx, int sy, int sz) const;
    // Adds v to both corners (saturating, so an empty box stays empty).
    void Translate(const PVector3& v);
    // Corner i takes max x for bit 0 of i, max y for bit 1, max z for bit 2.
    void Corners(PVector3* out) const;
    // Distance from the box's centre to p, or between the two centres.
    int DistanceFromCenter(const PVector3& p) const;
    int DistanceFromCenter(const PAABB3& o) const;
};

// Component arithmetic on 16.16 vectors. Sums and differences wrap modulo
// 2^32 and products keep the low 32 bits of (a x b) >> 16, so every input
// gives a defined result; callers that need saturation check their ranges
// first.
inline int32_t PWrapAdd(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}
inline int32_t PWrapSub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}
// (a x b) >> 16 in 64 bits, low 32 bits kept.
inline int32_t PWrapMul(int32_t a, int32_t b)
{
    return int32_t((int64_t(a) * b) >> 16);
}
inline PVector3 PVecAdd(const PVector3& a, const PVector3& b)
{
    return {PWrapAdd(a.x, b.x), PWrapAdd(a.y, b.y), PWrapAdd(a.z, b.z)};
}
inline PVector3 PVecSub(const PVector3& a, const PVector3& b)
{
    return {PWrapSub(a.x, b.x), PWrapSub(a.y, b.y), PWrapSub(a.z, b.z)};
}
// v x s (s 16.16).
inline PVector3 PVecScale(const PVector3& v, int32_t s)
{
    return {PWrapMul(v.x, s), PWrapMul(v.y, s), PWrapMul(v.z, s)};
}
// Each component brought into [-limit, limit] (limit >= 0).
inline PVector3 PVecClamp(const PVector3& v, int32_t limit)
{
    auto c = [limit](int32_t x) { return x < -limit ? -limit : x > limit ? limit : x; };
    return {c(v.x), c(v.y), c(v.z)};
}
// An angle in 16.16 degrees brought into [-180.0, 180.0] by whole turns;
// angles inside are unchanged.
inline int32_t PWrapDegrees(int32_t a)
{
    constexpr int64_t kHalf = int64_t(180) << 16, kTurn = 2 * kHalf;
    if (a >= -kHalf && a <= kHalf)
        return a;
    int64_t r = int64_t(a) % kTurn;  // (-360.0, 360.0), beyond +-180.0
    return int32_t(r > kHalf ? r - kTurn : r < -kHalf ? r + kTurn : r);
}
inline PVector3 PVecWrapDegrees(const PVector3& v)
{
    return {PWrapDegrees(v.x), PWrapDegrees(v.y), PWrapDegrees(v.z)};
}
// a . b in 16.16: the three 64-bit products summed (modulo 2^64), shifted once.
inline int32_t PVecDot(const PVector3& a, const PVector3& b)
{
    uint64_t s = uint64_t(int64_t(a.x) * b.x) + uint64_t(int64_t(a.y) * b.y) + uint64_t(int64_t(a.z) * b.z);
    return int32_t(int64_t(s) >> 16);
}
