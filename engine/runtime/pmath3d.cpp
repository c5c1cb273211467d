#include "engine/runtime/pmath3d.h"

#include "engine/runtime/pfixed.h"

#include <climits>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int32_t Saturate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

constexpr int64_t Abs64(int64_t v)
{
    return v < 0 ? -v : v;
}

// v^2 for |v| < 2^32, saturated beyond.
constexpr uint64_t Square(int64_t v)
{
    uint64_t a = uint64_t(Abs64(v));
    return a >= (uint64_t(1) << 32) ? UINT64_MAX : a * a;
}

constexpr uint64_t AddSat(uint64_t a, uint64_t b)
{
    return a + b < a ? UINT64_MAX : a + b;
}

// x^2 + y^2 + z^2 without overflow (saturated at 2^64 - 1).
constexpr uint64_t SumSquares(int64_t x, int64_t y, int64_t z)
{
    return AddSat(AddSat(Square(x), Square(y)), Square(z));
}

// a0 b0 + a1 b1 + a2 b2 of 32-bit values. The sum wraps instead of
// overflowing (only for values no 16.16 matrix holds).
inline int64_t Dot3(int64_t a0, int64_t b0, int64_t a1, int64_t b1, int64_t a2, int64_t b2)
{
    return int64_t(uint64_t(a0 * b0) + uint64_t(a1 * b1) + uint64_t(a2 * b2));
}

inline int32_t Fixed(int64_t sumOfProducts)
{
    return int32_t(sumOfProducts >> 16);
}

// (a b) >> 16 exactly, for |a| |b| below 2^62 and |b| <= 2^32.
inline int64_t MulShift16(int64_t a, int64_t b)
{
    return a * (b >> 16) + ((a * (b & 0xFFFF)) >> 16);
}

// Scales the (wide) vector to unit length: components above 128.0 are
// halved together, the squared length is brought into 32 bits, a very short
// vector is scaled up by 16 until its squared length shows, and the
// components are multiplied by 1/sqrt of it.
PVector3 UnitVector(int64_t x, int64_t y, int64_t z, bool limitComponents)
{
    if (limitComponents) {
        while (Abs64(x) > 0x800000 || Abs64(y) > 0x800000 || Abs64(z) > 0x800000) {
            x >>= 1;
            y >>= 1;
            z >>= 1;
        }
    }
    uint64_t s = SumSquares(x, y, z) >> 16;
    while (s > INT32_MAX) {
        x >>= 1;
        y >>= 1;
        z >>= 1;
        s = SumSquares(x, y, z) >> 16;
    }
    while (s == 0 && (x | y | z) != 0) {
        x *= 16;
        y *= 16;
        z *= 16;
        s = SumSquares(x, y, z) >> 16;
    }
    int64_t r = PFRSqrt(int32_t(s));
    return PVector3(Saturate((x * r) >> 16), Saturate((y * r) >> 16), Saturate((z * r) >> 16));
}

// The distance sqrt(s) for the vector d, where s is the 16.16 squared length
// as the caller forms it; while s exceeds limit, d is halved and the result
// doubled. The distance saturates at 0x7FFFFFFF.
template <typename SquaredLength>
int ScaledDistance(int64_t dx, int64_t dy, int64_t dz, uint64_t limit, SquaredLength squared)
{
    int k = 0;
    uint64_t s = squared(dx, dy, dz);
    while (s > limit) {
        dx >>= 1;
        dy >>= 1;
        dz >>= 1;
        k++;
        s = squared(dx, dy, dz);
    }
    int64_t r = int64_t(PFSqrt(uint32_t(s))) << k;
    return r > INT32_MAX ? INT32_MAX : int32_t(r);
}

int32_t Center(int32_t lo, int32_t hi)
{
    return int32_t((int64_t(lo) + hi) / 2);
}

int32_t ScaleComponent(int32_t v, int s)
{
    return Saturate((int64_t(v) * s) >> 16);
}

// The rotation matrix of a quaternion, translation 0.
void QuaternionMatrix(const PQuaternion& q, PMatrix3D& out)
{
    bool small = Abs64(q.x) < 0x10000 && Abs64(q.y) < 0x10000 && Abs64(q.z) < 0x10000;
    // 2 u v in 16.16, keeping the product inside 32 bits for unit quaternions.
    auto twice = [small](int64_t u, int64_t v) -> int64_t {
        return small ? int32_t((u * (v >> 1)) >> 14) : int32_t((u * (v >> 2)) >> 13);
    };
    int64_t xx = twice(q.x, q.x), yy = twice(q.y, q.y), zz = twice(q.z, q.z);
    int64_t xy = twice(q.x, q.y), xz = twice(q.x, q.z), yz = twice(q.y, q.z);
    int64_t wx = twice(q.w, q.x), wy = twice(q.w, q.y), wz = twice(q.w, q.z);
    int32_t(*m)[4] = out.m;
    m[0][0] = int32_t(0x10000 - yy - zz);
    m[0][1] = int32_t(xy - wz);
    m[0][2] = int32_t(xz + wy);
    m[1][0] = int32_t(xy + wz);
    m[1][1] = int32_t(0x10000 - xx - zz);
    m[1][2] = int32_t(yz - wx);
    m[2][0] = int32_t(xz - wy);
    m[2][1] = int32_t(yz + wx);
    m[2][2] = int32_t(0x10000 - xx - yy);
    m[0][3] = m[1][3] = m[2][3] = 0;
}

// r = a x b for raw matrices; r may not alias a or b.
void Product(const int32_t (*a)[4], const int32_t (*b)[4], int32_t (*r)[4])
{
    for (int i = 0; i < 3; i++) {
        int64_t a0 = a[i][0], a1 = a[i][1], a2 = a[i][2];
        for (int j = 0; j < 3; j++)
            r[i][j] = Fixed(Dot3(a0, b[0][j], a1, b[1][j], a2, b[2][j]));
        r[i][3] = int32_t(Fixed(Dot3(a0, b[0][3], a1, b[1][3], a2, b[2][3])) + int64_t(a[i][3]));
    }
}

// Sine and cosine of a 16.16-degree angle; false for a whole number of turns.
bool AngleSinCos(int angle, int64_t& s, int64_t& c)
{
    int a = angle / 360;
    if ((a & 0xFFFF) == 0)
        return false;
    int64_t sc = PSinCos(a);
    s = PSinCosSin(sc);
    c = PSinCosCos(sc);
    return true;
}

} // namespace

// ---- PVector3 ----

PVector3& PVector3::operator/=(int d)
{
    if (d == 0) {
        auto inf = [](int32_t v) { return v > 0 ? INT32_MAX : v < 0 ? INT32_MIN : 0; };
        x = inf(x);
        y = inf(y);
        z = inf(z);
        return *this;
    }
    int64_t r = (int64_t(1) << 32) / d;
    x = Saturate(MulShift16(x, r));
    y = Saturate(MulShift16(y, r));
    z = Saturate(MulShift16(z, r));
    return *this;
}

PVector3 PVector3::operator/(int d) const
{
    PVector3 v = *this;
    v /= d;
    return v;
}

int PVector3::LengthSafe() const
{
    uint64_t s = SumSquares(x, y, z) >> 16;
    return s > INT32_MAX ? INT32_MAX : PFSqrt(uint32_t(s));
}

int PVector3::LengthSqrSafe() const
{
    uint64_t s = SumSquares(x, y, z) >> 16;
    return s > INT32_MAX ? INT32_MAX : int32_t(s);
}

int PVector3::DistanceSqrSafe(const PVector3& a, const PVector3& b)
{
    uint64_t s = SumSquares(int64_t(a.x) - b.x, int64_t(a.y) - b.y, int64_t(a.z) - b.z) >> 16;
    return s > INT32_MAX ? INT32_MAX : int32_t(s);
}

int PVector3::DistanceSafe(const PVector3& a, const PVector3& b)
{
    return ScaledDistance(int64_t(a.x) - b.x, int64_t(a.y) - b.y, int64_t(a.z) - b.z, INT32_MAX,
                          [](int64_t dx, int64_t dy, int64_t dz) { return SumSquares(dx, dy, dz) >> 16; });
}

void PVector3::Normalize()
{
    *this = UnitVector(x, y, z, true);
}

void PVector3::SetNormal(const PVector3& v)
{
    *this = UnitVector(v.x, v.y, v.z, false);
}

void PVector3::Normalize2()
{
    int64_t vx = x, vy = y, vz = z;
    uint64_t s = SumSquares(vx, vy, vz) >> 16;
    while (s > INT32_MAX) {
        vx >>= 1;
        vy >>= 1;
        vz >>= 1;
        s = SumSquares(vx, vy, vz) >> 16;
    }
    if (s == 0) {
        vx *= 2;
        vy *= 2;
        vz *= 2;
        s = SumSquares(vx, vy, vz) >> 16;
    }
    int64_t len = PFSqrt(uint32_t(s));
    if (len == 0)
        return;
    x = Saturate((vx << 16) / len);
    y = Saturate((vy << 16) / len);
    z = Saturate((vz << 16) / len);
}

// ---- PMatrix3D ----

void PMatrix3D::SetIdentity()
{
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            m[r][c] = r == c ? 0x10000 : 0;
}

void PMatrix3D::SetupTranslation(int x, int y, int z)
{
    SetIdentity();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
}

void PMatrix3D::SetupScale(int sx, int sy, int sz)
{
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            m[r][c] = 0;
    m[0][0] = sx;
    m[1][1] = sy;
    m[2][2] = sz;
}

void PMatrix3D::SetupRotate(int angle, int x, int y, int z)
{
    int64_t s, c;
    if (!AngleSinCos(angle, s, c)) {
        SetIdentity();
        return;
    }
    int64_t t = 0x10000 - c;
    auto tp = [t](int64_t u, int64_t v) { return (t * ((u * v) >> 16)) >> 16; };
    int64_t sx = (x * s) >> 16, sy = (y * s) >> 16, sz = (z * s) >> 16;
    m[0][0] = int32_t(c + tp(x, x));
    m[0][1] = int32_t(tp(x, y) - sz);
    m[0][2] = int32_t(tp(x, z) + sy);
    m[1][0] = int32_t(tp(x, y) + sz);
    m[1][1] = int32_t(c + tp(y, y));
    m[1][2] = int32_t(tp(y, z) - sx);
    m[2][0] = int32_t(tp(x, z) - sy);
    m[2][1] = int32_t(tp(y, z) + sx);
    m[2][2] = int32_t(c + tp(z, z));
    m[0][3] = m[1][3] = m[2][3] = 0;
}

void PMatrix3D::SetupRotate(const PQuaternion& q)
{
    // w = +-1 to 24-bit precision: no rotation.
    int64_t w8 = int64_t(q.w) << 8;
    if (0x1000000 - ((w8 * w8) >> 24) <= 80) {
        SetIdentity();
        return;
    }
    QuaternionMatrix(q, *this);
}

void PMatrix3D::Multiply(const int32_t (*b)[4])
{
    int32_t r[3][4];
    Product(m, b, r);
    std::memcpy(m, r, sizeof m);
}

void PMatrix3D::PreMultiply(const int32_t (*b)[4])
{
    int32_t r[3][4];
    Product(b, m, r);
    std::memcpy(m, r, sizeof m);
}

void PMatrix3D::SetProduct(const PMatrix3D& a, const PMatrix3D& b)
{
    int32_t r[3][4];
    Product(a.m, b.m, r);
    std::memcpy(m, r, sizeof m);
}

void PMatrix3D::Translate(int x, int y, int z)
{
    for (int r = 0; r < 3; r++)
        m[r][3] = int32_t(m[r][3] + int64_t(Fixed(Dot3(m[r][0], x, m[r][1], y, m[r][2], z))));
}

void PMatrix3D::Scale(int sx, int sy, int sz)
{
    for (int r = 0; r < 3; r++) {
        m[r][0] = Fixed(int64_t(m[r][0]) * sx);
        m[r][1] = Fixed(int64_t(m[r][1]) * sy);
        m[r][2] = Fixed(int64_t(m[r][2]) * sz);
    }
}

void PMatrix3D::RotateX(int angle)
{
    int64_t s, c;
    if (!AngleSinCos(angle, s, c))
        return;
    for (int r = 0; r < 3; r++) {
        int64_t m1 = m[r][1], m2 = m[r][2];
        m[r][1] = Fixed(c * m1 + s * m2);
        m[r][2] = Fixed(c * m2 - s * m1);
    }
}

void PMatrix3D::RotateY(int angle)
{
    int64_t s, c;
    if (!AngleSinCos(angle, s, c))
        return;
    for (int r = 0; r < 3; r++) {
        int64_t m0 = m[r][0], m2 = m[r][2];
        m[r][0] = Fixed(c * m0 - s * m2);
        m[r][2] = Fixed(s * m0 + c * m2);
    }
}

void PMatrix3D::RotateZ(int angle)
{
    int64_t s, c;
    if (!AngleSinCos(angle, s, c))
        return;
    for (int r = 0; r < 3; r++) {
        int64_t m0 = m[r][0], m1 = m[r][1];
        m[r][0] = Fixed(c * m0 + s * m1);
        m[r][1] = Fixed(c * m1 - s * m0);
    }
}

void PMatrix3D::Rotate(int angle, int x, int y, int z)
{
    if (y == 0 && z == 0) {
        RotateX(angle);
    } else if (x == 0 && z == 0) {
        RotateY(angle);
    } else if (x == 0 && y == 0) {
        RotateZ(angle);
    } else {
        PMatrix3D r;
        r.SetupRotate(angle, x, y, z);
        Multiply(r.m);
    }
}

void PMatrix3D::Rotate(const PQuaternion& q)
{
    PMatrix3D r;
    QuaternionMatrix(q, r);
    Multiply(r.m);
}

void PMatrix3D::TransformPoint(PVector3& p) const
{
    int64_t x = p.x, y = p.y, z = p.z;
    p.x = int32_t(Fixed(Dot3(m[0][0], x, m[0][1], y, m[0][2], z)) + int64_t(m[0][3]));
    p.y = int32_t(Fixed(Dot3(m[1][0], x, m[1][1], y, m[1][2], z)) + int64_t(m[1][3]));
    p.z = int32_t(Fixed(Dot3(m[2][0], x, m[2][1], y, m[2][2], z)) + int64_t(m[2][3]));
}

// ---- PPlane3 ----

void PPlane3::Create(const PVector3& p0, const PVector3& p1, const PVector3& p2)
{
    int64_t e1[3] = { int64_t(p1.x) - p0.x, int64_t(p1.y) - p0.y, int64_t(p1.z) - p0.z };
    int64_t e2[3] = { int64_t(p2.x) - p0.x, int64_t(p2.y) - p0.y, int64_t(p2.z) - p0.z };
    // Edges longer than 32 bits are halved; that keeps the normal's direction.
    for (int64_t* e : { e1, e2 }) {
        while (Abs64(e[0]) > INT32_MAX || Abs64(e[1]) > INT32_MAX || Abs64(e[2]) > INT32_MAX) {
            e[0] >>= 1;
            e[1] >>= 1;
            e[2] >>= 1;
        }
    }
    PVector3 n = UnitVector((e1[1] * e2[2] - e1[2] * e2[1]) >> 16, (e1[2] * e2[0] - e1[0] * e2[2]) >> 16,
                            (e1[0] * e2[1] - e1[1] * e2[0]) >> 16, true);
    a = n.x;
    b = n.y;
    c = n.z;
    d = Saturate(-(Dot3(a, p0.x, b, p0.y, c, p0.z) >> 16));
}

void PPlane3::Normalize()
{
    int64_t va = a, vb = b, vc = c, vd = d;
    if ((va | vb | vc) == 0)
        return; // no normal to scale by
    uint64_t s = SumSquares(va, vb, vc) >> 16;
    while (s > INT32_MAX) {
        va >>= 1;
        vb >>= 1;
        vc >>= 1;
        vd >>= 1;
        s = SumSquares(va, vb, vc) >> 16;
    }
    while (s == 0) {
        va *= 16;
        vb *= 16;
        vc *= 16;
        vd *= 16;
        s = SumSquares(va, vb, vc) >> 16;
    }
    int64_t r = PFRSqrt(int32_t(s));
    a = Saturate((va * r) >> 16);
    b = Saturate((vb * r) >> 16);
    c = Saturate((vc * r) >> 16);
    d = Saturate(MulShift16(vd, r));
}

// ---- PAABB3 ----

void PAABB3::Zero()
{
    min = PVector3(INT32_MAX, INT32_MAX, INT32_MAX);
    max = PVector3(INT32_MIN, INT32_MIN, INT32_MIN);
}

void PAABB3::Add(const PVector3* points, int n)
{
    if (!points)
        return;
    for (int i = 0; i < n; i++) {
        const PVector3& p = points[i];
        if (p.x < min.x)
            min.x = p.x;
        if (p.x > max.x)
            max.x = p.x;
        if (p.y < min.y)
            min.y = p.y;
        if (p.y > max.y)
            max.y = p.y;
        if (p.z < min.z)
            min.z = p.z;
        if (p.z > max.z)
            max.z = p.z;
    }
}

int PAABB3::Contains(int x, int y, int z) const
{
    return x >= min.x && x <= max.x && y >= min.y && y <= max.y && z >= min.z && z <= max.z;
}

void PAABB3::Scale(int sx, int sy, int sz)
{
    min = PVector3(ScaleComponent(min.x, sx), ScaleComponent(min.y, sy), ScaleComponent(min.z, sz));
    max = PVector3(ScaleComponent(max.x, sx), ScaleComponent(max.y, sy), ScaleComponent(max.z, sz));
}

void PAABB3::Scale(PAABB3& out, int sx, int sy, int sz) const
{
    out = *this;
    out.Scale(sx, sy, sz);
}

void PAABB3::Translate(const PVector3& v)
{
    auto add = [](int32_t a, int32_t b) { return Saturate(int64_t(a) + b); };
    min = PVector3(add(min.x, v.x), add(min.y, v.y), add(min.z, v.z));
    max = PVector3(add(max.x, v.x), add(max.y, v.y), add(max.z, v.z));
}

void PAABB3::Corners(PVector3* out) const
{
    if (!out)
        return;
    for (int i = 0; i < 8; i++)
        out[i] = PVector3(i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z);
}

namespace {

// (dx^2 + dy^2) >> 16 plus dz^2 >> 16, as the box distances form it.
uint64_t BoxSquared(int64_t dx, int64_t dy, int64_t dz)
{
    return AddSat(AddSat(Square(dx), Square(dy)) >> 16, Square(dz) >> 16);
}

} // namespace

int PAABB3::DistanceFromCenter(const PVector3& p) const
{
    int64_t dx = int64_t(Center(min.x, max.x)) - p.x;
    int64_t dy = int64_t(Center(min.y, max.y)) - p.y;
    int64_t dz = int64_t(Center(min.z, max.z)) - p.z;
    return ScaledDistance(dx, dy, dz, UINT32_MAX, BoxSquared);
}

int PAABB3::DistanceFromCenter(const PAABB3& o) const
{
    PVector3 c(Center(o.min.x, o.max.x), Center(o.min.y, o.max.y), Center(o.min.z, o.max.z));
    return DistanceFromCenter(c);
}
