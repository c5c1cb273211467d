// The perspective and look-at camera set-ups in 16.16 fixed point.
#include "engine/graphics/pglu.h"

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"
#include "gl/gles.h"

namespace {

PVector3 Cross(const PVector3& a, const PVector3& b)
{
    return PVector3(int32_t((int64_t(a.y) * b.z - int64_t(a.z) * b.y) >> 16),
                    int32_t((int64_t(a.z) * b.x - int64_t(a.x) * b.z) >> 16),
                    int32_t((int64_t(a.x) * b.y - int64_t(a.y) * b.x) >> 16));
}

} // namespace

void gluPerspectivex(GLES* gl, int fovy, int aspect, int zNear, int zFar)
{
    if (!gl)
        return;
    // Half the angle, from 16.16 degrees to engine units (65536 a turn).
    int half = (fovy / 2) / 360;
    int32_t ymax = int32_t((int64_t(PTan(half)) * zNear) >> 16);
    int32_t xmax = int32_t((int64_t(ymax) * aspect) >> 16);
    gl->glFrustumx(-xmax, xmax, -ymax, ymax, zNear, zFar);
}

void gluLookAtx(GLES* gl, int eyeX, int eyeY, int eyeZ, int centerX, int centerY, int centerZ, int upX, int upY,
                int upZ)
{
    if (!gl)
        return;
    PVector3 f(int32_t(int64_t(centerX) - eyeX), int32_t(int64_t(centerY) - eyeY), int32_t(int64_t(centerZ) - eyeZ));
    f.Normalize();
    PVector3 up(upX, upY, upZ);
    PVector3 s = Cross(f, up);
    s.Normalize();
    PVector3 u = Cross(s, f);
    int32_t m[16] = {s.x, u.x, -f.x, 0, s.y, u.y, -f.y, 0, s.z, u.z, -f.z, 0, 0, 0, 0, 0x10000};
    gl->glMultMatrixx(m);
    gl->glTranslatex(-eyeX, -eyeY, -eyeZ);
}
