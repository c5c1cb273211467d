#include "game/scene/p3dutils.h"

#include <cmath>

#include "engine/runtime/pfixed.h"
#include "gl/gles.h"

namespace {

constexpr uint32_t kModelviewMatrix = 0x0BA6;
constexpr uint32_t kProjectionMatrix = 0x0BA7;

int32_t Saturate(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return int32_t(v);
}

// floor(sqrt(v)) of a 64-bit value.
uint64_t ISqrt64(uint64_t v)
{
    uint64_t r = uint64_t(std::sqrt(double(v)));
    if (r > 0xFFFFFFFFu)
        r = 0xFFFFFFFFu;
    while (r * r > v)
        r--;
    while (r < 0xFFFFFFFFu && (r + 1) * (r + 1) <= v)
        r++;
    return r;
}

} // namespace

int P3DUtils::getIntFromBytes(const signed char* data, unsigned int* pos)
{
    const uint8_t* b = reinterpret_cast<const uint8_t*>(data) + *pos;
    *pos += 4;
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

int P3DUtils::ToPowerOf2(int v)
{
    if (v == 0)
        return 0;
    int64_t a = v < 0 ? -int64_t(v) : int64_t(v);
    int64_t r;
    if (a > 16384) {
        r = a > 32768 ? a : 32768;
    } else {
        r = 2;
        while (r < a)
            r <<= 1;
    }
    if (r > INT32_MAX)
        r = INT32_MAX;
    return v < 0 ? int(-r) : int(r);
}

void P3DUtils::BBox2Vectors(const PAABB3& box, PVector3* out)
{
    int x0 = box.min.x, y0 = box.min.y, z0 = box.min.z;
    int x1 = box.max.x, y1 = box.max.y, z1 = box.max.z;
    out[0] = PVector3(x0, y0, z0);
    out[1] = PVector3(x1, y0, z0);
    out[2] = PVector3(x1, y0, z1);
    out[3] = PVector3(x0, y0, z1);
    out[4] = PVector3(x0, y1, z0);
    out[5] = PVector3(x1, y1, z0);
    out[6] = PVector3(x1, y1, z1);
    out[7] = PVector3(x0, y1, z1);
}

int64_t P3DUtils::PlaneDistance(const PPlane3& p, int x, int y, int z)
{
    return ((int64_t(p.a) * x) >> 16) + ((int64_t(p.b) * y) >> 16) + ((int64_t(p.c) * z) >> 16) + p.d;
}

int P3DUtils::PBoxInFrustum(const PVector3* corners, const PPlane3* planes, int n)
{
    for (int i = 0; i < n; i++) {
        int outside = 0;
        for (int k = 0; k < 8; k++)
            if (PlaneDistance(planes[i], corners[k].x, corners[k].y, corners[k].z) < 1)
                outside++;
        if (outside == 8)
            return 0;
    }
    return 1;
}

int P3DUtils::IsPointInFrustum(const PVector3* p, const PPlane3* planes, int n)
{
    if (n < 0)
        return 0;
    for (int i = 0; i < n; i++)
        if (PlaneDistance(planes[i], p->x, p->y, p->z) < 1)
            return 0;
    return 1;
}

void P3DUtils::MatMult4x4(int* out, const int* a, const int* b)
{
    int r[16];
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++) {
            int64_t s = 0;
            for (int k = 0; k < 4; k++)
                s += (int64_t(a[k * 4 + row]) * b[col * 4 + k]) >> 16;
            r[col * 4 + row] = int32_t(uint32_t(uint64_t(s)));
        }
    for (int i = 0; i < 16; i++)
        out[i] = r[i];
}

void P3DUtils::FrustumPlanesFromMatrices(PPlane3* out, const int32_t* modelview, const int32_t* projection)
{
    int clip[16];
    MatMult4x4(clip, projection, modelview);
    auto row = [&](int i, int k) { return int64_t(clip[i + 4 * k]); };
    // r3 + r2, r3 - r2, r3 + r0, r3 - r0, r3 + r1, r3 - r1.
    static const int kRow[6] = {2, 2, 0, 0, 1, 1};
    for (int p = 0; p < 6; p++) {
        int sign = (p & 1) ? -1 : 1;
        int32_t v[4];
        for (int k = 0; k < 4; k++)
            v[k] = Saturate(row(3, k) + sign * row(kRow[p], k));
        out[p].a = v[0];
        out[p].b = v[1];
        out[p].c = v[2];
        out[p].d = v[3];
    }
}

void P3DUtils::PGetFrustumPlanes(PPlane3* out, GLES* gl)
{
    int32_t mv[16], proj[16];
    gl->glGetFixedv(kModelviewMatrix, mv);
    gl->glGetFixedv(kProjectionMatrix, proj);
    FrustumPlanesFromMatrices(out, mv, proj);
}

PVector3 P3DUtils::CreateNormal(const PVector3& a, const PVector3& b, const PVector3& c)
{
    int64_t ux = int64_t(b.x) - a.x, uy = int64_t(b.y) - a.y, uz = int64_t(b.z) - a.z;
    int64_t vx = int64_t(c.x) - a.x, vy = int64_t(c.y) - a.y, vz = int64_t(c.z) - a.z;
    // Differences up to 2^32 make products up to 2^64: shift each factor
    // down together until they fit, which changes the length only.
    auto big = [](int64_t v) { return v > (int64_t(1) << 30) || v < -(int64_t(1) << 30); };
    while (big(ux) || big(uy) || big(uz) || big(vx) || big(vy) || big(vz)) {
        ux >>= 1, uy >>= 1, uz >>= 1, vx >>= 1, vy >>= 1, vz >>= 1;
    }
    PVector3 n(Saturate((uy * vz - uz * vy) >> 16), Saturate((uz * vx - ux * vz) >> 16),
               Saturate((ux * vy - uy * vx) >> 16));
    n.Normalize();
    return n;
}

int P3DUtils::GetAngle(int x0, int y0, int x1, int y1)
{
    return PAtan2(int32_t(uint32_t(y1) - uint32_t(y0)), int32_t(uint32_t(x1) - uint32_t(x0)));
}

void P3DUtils::GetTranslatedXYZ(int* x, int* y, int* z, int tx, int ty, int tz, int ax, int ay, int az)
{
    int64_t px = *x, py = *y, pz = *z;
    int64_t s = PSind(az), c = PCosd(az);
    int64_t nx = (c * px - s * py) >> 16;
    int64_t ny = (s * px + c * py) >> 16;
    px = nx, py = ny;
    s = PSind(ax), c = PCosd(ax);
    ny = (c * py - s * pz) >> 16;
    int64_t nz = (s * py + c * pz) >> 16;
    py = ny, pz = nz;
    s = PSind(ay), c = PCosd(ay);
    nx = (c * px + s * pz) >> 16;
    nz = (c * pz - s * px) >> 16;
    px = nx, pz = nz;
    *x = int32_t(uint32_t(uint64_t(px + tx)));
    *y = int32_t(uint32_t(uint64_t(py + ty)));
    *z = int32_t(uint32_t(uint64_t(pz + tz)));
}

void P3DUtils::TranslatePointByPivot(int* x, int* y, int* z, int px, int py, int pz, int ax, int ay, int az)
{
    int rx = int32_t(uint32_t(*x) - uint32_t(px));
    int ry = int32_t(uint32_t(*y) - uint32_t(py));
    int rz = int32_t(uint32_t(*z) - uint32_t(pz));
    GetTranslatedXYZ(&rx, &ry, &rz, 0, 0, 0, ax, ay, az);
    *x = int32_t(uint32_t(rx) + uint32_t(px));
    *y = int32_t(uint32_t(ry) + uint32_t(py));
    *z = int32_t(uint32_t(rz) + uint32_t(pz));
}

int P3DUtils::SqrtOfSquare(unsigned __int128 sum)
{
    unsigned __int128 w = sum >> 16;
    if (w >> 64)
        return INT32_MAX;
    uint64_t u = uint64_t(w);
    if (u <= 0xFFFFFFFFu)
        return PFSqrt(unsigned(u));
    uint64_t r = ISqrt64(u) << 8;
    return r > uint64_t(INT32_MAX) ? INT32_MAX : int(r);
}

namespace {

// Turns (x, y, z) by a (16.16 degrees) about one axis, as glRotatex does.
void Turn(int64_t& x, int64_t& y, int64_t& z, int axis, int32_t a)
{
    if (!a)
        return;
    int64_t s = PSind(a), c = PCosd(a);
    int64_t u, v;
    switch (axis) {
    case P3DPlacement::kAxisX:
        u = (c * y - s * z) >> 16, v = (s * y + c * z) >> 16;
        y = u, z = v;
        break;
    case P3DPlacement::kAxisY:
        u = (c * x + s * z) >> 16, v = (c * z - s * x) >> 16;
        x = u, z = v;
        break;
    default:
        u = (c * x - s * y) >> 16, v = (s * x + c * y) >> 16;
        x = u, y = v;
        break;
    }
}

int32_t Negated(int32_t a)
{
    return int32_t(0u - uint32_t(a));
}

} // namespace

void P3DPlacement::Apply(GLES* gl) const
{
    gl->glTranslatex(t[0], t[1], t[2]);
    for (int i = 0; i < 3; i++)
        gl->glRotatex(angle[i], axis[i] == kAxisX ? 0x10000 : 0, axis[i] == kAxisY ? 0x10000 : 0,
                      axis[i] == kAxisZ ? 0x10000 : 0);
}

void P3DPlacement::Transform(int* x, int* y, int* z) const
{
    int64_t px = *x, py = *y, pz = *z;
    for (int i = 2; i >= 0; i--)
        Turn(px, py, pz, axis[i], angle[i]);
    *x = int32_t(uint32_t(uint64_t(px + t[0])));
    *y = int32_t(uint32_t(uint64_t(py + t[1])));
    *z = int32_t(uint32_t(uint64_t(pz + t[2])));
}

void P3DPlacement::Untransform(int* x, int* y, int* z) const
{
    int64_t px = int64_t(*x) - t[0], py = int64_t(*y) - t[1], pz = int64_t(*z) - t[2];
    for (int i = 0; i < 3; i++)
        Turn(px, py, pz, axis[i], Negated(angle[i]));
    *x = Saturate(px);
    *y = Saturate(py);
    *z = Saturate(pz);
}

void P3DPlacement::PlanesInside(const PPlane3* in, PPlane3* out, int n) const
{
    // n . (T + R q) + d = (R^-1 n) . q + (n . T + d) for a rotation R.
    for (int k = 0; k < n; k++) {
        int64_t a = in[k].a, b = in[k].b, c = in[k].c;
        int64_t d = in[k].d + ((a * t[0]) >> 16) + ((b * t[1]) >> 16) + ((c * t[2]) >> 16);
        for (int i = 0; i < 3; i++)
            Turn(a, b, c, axis[i], Negated(angle[i]));
        out[k].a = Saturate(a);
        out[k].b = Saturate(b);
        out[k].c = Saturate(c);
        out[k].d = Saturate(d);
    }
}
