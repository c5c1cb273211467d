// The matrix stacks of the state manager and the 16.16 matrix arithmetic.
// Every product is formed in 64 bits and shifted right by 16 once per element.
#include "gl/glstateman.h"

#include "engine/runtime/pfixed.h"

#include <GLES/gl.h>

#include <cstring>

namespace vornGL {

const P3DMatrixEntry MatIdentity = {{0x10000, 0, 0, 0, 0, 0x10000, 0, 0, 0, 0, 0x10000, 0, 0, 0, 0, 0x10000,
                                     kMatIdentity | kMatDirty}};
const P3DMatrixEntry MatIdentity90 = {{0, -0x10000, 0, 0, 0x10000, 0, 0, 0, 0, 0, 0x10000, 0, 0, 0, 0, 0x10000,
                                       kMatTurn90 | kMatIdentity | kMatDirty}};
const P3DMatrixEntry MatIdentity270 = {{0, 0x10000, 0, 0, -0x10000, 0, 0, 0, 0, 0, 0x10000, 0, 0, 0, 0, 0x10000,
                                        kMatTurn270 | kMatIdentity | kMatDirty}};
const i32 MatIdentityCmp[16] = {0x10000, 0, 0, 0, 0, 0x10000, 0, 0, 0, 0, 0x10000, 0, 0, 0, 0, 0x10000};

namespace {

constexpr i32 kModelviewDepth = 18;
constexpr i32 kProjectionDepth = 4;
constexpr i32 kTextureDepth = 4;

inline i32 Mul(i32 a, i32 b) { return static_cast<i32>((int64_t(a) * b) >> 16); }

// A 64-bit intermediate stored in a 32-bit 16.16 value, saturated rather than
// wrapped.
inline i32 Sat32(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<i32>(v);
}

// floor(sqrt(v)) of a 128-bit value.
uint64_t ISqrt128(unsigned __int128 v)
{
    unsigned __int128 r = 0, bit = (unsigned __int128)1 << 126;
    while (bit > v)
        bit >>= 2;
    while (bit) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
        bit >>= 2;
    }
    return static_cast<uint64_t>(r);
}

// The unit vector along (x, y, z) in 2.30 fixed point; (x, y, z) not all 0.
void NormalizeAxis30(i32 x, i32 y, i32 z, int64_t out[3])
{
    unsigned __int128 sum = (unsigned __int128)(int64_t(x) * x) + (unsigned __int128)(int64_t(y) * y) +
                            (unsigned __int128)(int64_t(z) * z);
    uint64_t len = ISqrt128(sum << 60); // |v| * 2^30
    i32 const v[3] = {x, y, z};
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<int64_t>((__int128(v[i]) << 60) / __int128(len));
}

} // namespace

// ---------------------------------------------------------------------------
// Free matrix routines

namespace {

// A 16.16 sum of products. Four products of 32-bit values can exceed 64
// bits together: the sum wraps (as the 32-bit result does anyway) instead
// of overflowing.
i32 Dot(int64_t a0, int64_t b0, int64_t a1, int64_t b1, int64_t a2, int64_t b2, int64_t a3 = 0, int64_t b3 = 0)
{
    uint64_t sum = uint64_t(a0 * b0) + uint64_t(a1 * b1) + uint64_t(a2 * b2) + uint64_t(a3 * b3);
    return static_cast<i32>(int64_t(sum) >> 16);
}

} // namespace

void P3DStateMan::gl_mulmat(i32* a, i32 const* b)
{
    i32 r[16];
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            r[4 * c + row] = Dot(a[row], b[4 * c], a[4 + row], b[4 * c + 1], a[8 + row], b[4 * c + 2], a[12 + row],
                                 b[4 * c + 3]);
    std::memcpy(a, r, sizeof r);
}

void P3DStateMan::gl_mulmat(i32* r, i32 const* a, i32 const* b)
{
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            r[4 * c + row] = Dot(a[row], b[4 * c], a[4 + row], b[4 * c + 1], a[8 + row], b[4 * c + 2], a[12 + row],
                                 b[4 * c + 3]);
}

void P3DStateMan::gl_mulmat3x3(i32* a, i32 const* b)
{
    i32 r[9];
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            r[3 * c + row] = Dot(a[row], b[4 * c], a[4 + row], b[4 * c + 1], a[8 + row], b[4 * c + 2]);
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            a[4 * c + row] = r[3 * c + row];
}

void P3DStateMan::gl_transform(_Vector4GL_& v, i32 const* m)
{
    int64_t x = v.x, y = v.y, z = v.z, w = v.w;
    i32 rx = Dot(m[0], x, m[4], y, m[8], z, m[12], w);
    i32 ry = Dot(m[1], x, m[5], y, m[9], z, m[13], w);
    i32 rz = Dot(m[2], x, m[6], y, m[10], z, m[14], w);
    v.x = rx;
    v.y = ry;
    v.z = rz;
}

void P3DStateMan::gl_normalize(_Vector4GL_&) {}

u32 P3DStateMan::gl_invmat(i32* r, i32 const* m)
{
    auto pair = [](i32 a, i32 b, i32 c, i32 d) -> int64_t { return (int64_t(a) * b - int64_t(c) * d) >> 16; };
    int64_t c0 = pair(m[5], m[10], m[6], m[9]);
    int64_t c1 = pair(m[9], m[2], m[10], m[1]);
    int64_t c2 = pair(m[6], m[1], m[2], m[5]);
    int64_t det = (m[0] * c0 + m[4] * c1 + m[8] * c2) >> 16;
    if (det == 0)
        return 0;
    int64_t inv = (int64_t(1) << 32) / det;
    auto scale = [inv](int64_t v) -> i32 { return Sat32((v * inv) >> 16); };
    i32 t[16];
    t[0] = scale(c0);
    t[1] = scale(c1);
    t[2] = scale(c2);
    t[4] = scale(pair(m[8], m[6], m[4], m[10]));
    t[5] = scale(pair(m[0], m[10], m[8], m[2]));
    t[6] = scale(pair(m[4], m[2], m[0], m[6]));
    t[8] = scale(pair(m[4], m[9], m[8], m[5]));
    t[9] = scale(pair(m[8], m[1], m[0], m[9]));
    t[10] = scale(pair(m[0], m[5], m[4], m[1]));
    for (int row = 0; row < 3; ++row)
        t[12 + row] = Sat32(-((int64_t(t[row]) * m[12] + int64_t(t[4 + row]) * m[13] +
                               int64_t(t[8 + row]) * m[14]) >> 16));
    t[3] = m[3];
    t[7] = m[7];
    t[11] = m[11];
    t[15] = m[15];
    std::memcpy(r, t, sizeof t);
    return 1;
}

// ---------------------------------------------------------------------------
// Stacks

void P3DStateMan::InitMatrices()
{
    std::memset(m_stacks, 0, sizeof m_stacks);
    m_stacks[kStackModelview].entries = m_modelview;
    m_stacks[kStackModelview].maxTop = kModelviewDepth - 1;
    m_stacks[kStackProjection].entries = m_projection;
    m_stacks[kStackProjection].maxTop = kProjectionDepth - 1;
    for (int u = 0; u < kMaxTextureUnits; ++u) {
        m_stacks[kStackTexture0 + u].entries = m_texture[u];
        m_stacks[kStackTexture0 + u].maxTop = kTextureDepth - 1;
    }
    for (auto& s : m_stacks) {
        s.top = 0;
        s.entries[0] = MatIdentity;
    }
    m_scratch = MatIdentity;
    m_modeIndex = 0;
    m_pushFlags = 0;
}

u32 P3DStateMan::MatrixModeEnum() const
{
    if (m_modeIndex == kStackModelview)
        return GL_MODELVIEW;
    if (m_modeIndex == kStackProjection)
        return GL_PROJECTION;
    return GL_TEXTURE;
}

u32 P3DStateMan::CallerModeEnum() const { return MatrixModeEnum(); }

void P3DStateMan::glMatrixMode(u32 mode)
{
    switch (mode) {
    case GL_MODELVIEW:
        m_modeIndex = kStackModelview;
        break;
    case GL_PROJECTION:
        m_modeIndex = kStackProjection;
        break;
    case GL_TEXTURE:
        m_modeIndex = kStackTexture0 + m_activeUnit;
        break;
    default:
        SetError(0x1500);
        break;
    }
}

void P3DStateMan::glLoadIdentity()
{
    P3DMatrixEntry& t = Top(m_modeIndex);
    if (t.flags() & kMatIdentity)
        return;
    t = MatIdentity;
}

void P3DStateMan::glLoadMatrixx(i32 const* m)
{
    if (!m)
        return;
    P3DMatrixEntry& t = Top(m_modeIndex);
    std::memcpy(t.w, m, 16 * sizeof(i32));
    t.flags() = (t.flags() & ~0x1C1) | kMatDirty;
}

void P3DStateMan::glMultMatrixx(i32 const* m) { UpdateMatrix(m); }

void P3DStateMan::UpdateMatrix(i32 const* m)
{
    if (!m)
        return;
    P3DMatrixEntry& t = Top(m_modeIndex);
    gl_mulmat(t.w, m);
    t.flags() = (t.flags() & ~kMatIdentity) | kMatDirty;
}

void P3DStateMan::UpdateMatrix3x3(i32 const* m)
{
    P3DMatrixEntry& t = Top(m_modeIndex);
    gl_mulmat3x3(t.w, m);
    t.flags() = (t.flags() & ~kMatIdentity) | kMatDirty;
}

void P3DStateMan::glTranslatex(i32 x, i32 y, i32 z)
{
    P3DMatrixEntry& t = Top(m_modeIndex);
    // The sums wrap, as Dot's do, instead of overflowing.
    for (int r = 0; r < 4; ++r) {
        uint64_t xy = uint64_t(int64_t(t.w[r]) * x) + uint64_t(int64_t(t.w[4 + r]) * y);
        i32 d = static_cast<i32>((int64_t(xy) >> 16) + ((int64_t(t.w[8 + r]) * z) >> 16));
        t.w[12 + r] = static_cast<i32>(uint32_t(t.w[12 + r]) + uint32_t(d));
    }
    t.flags() = (t.flags() & ~kMatIdentity) | kMatDirty;
}

void P3DStateMan::glScalex(i32 x, i32 y, i32 z)
{
    P3DMatrixEntry& t = Top(m_modeIndex);
    for (int r = 0; r < 4; ++r) {
        t.w[r] = Mul(t.w[r], x);
        t.w[4 + r] = Mul(t.w[4 + r], y);
        t.w[8 + r] = Mul(t.w[8 + r], z);
    }
    t.flags() = (t.flags() & ~kMatIdentity) | kMatDirty;
}

void P3DStateMan::glRotatex(i32 angle, i32 x, i32 y, i32 z)
{
    int64_t sc = PSinCosd(angle);
    i32 s = static_cast<i32>(static_cast<uint64_t>(sc) & 0xFFFFFFFFu);
    i32 c = static_cast<i32>(static_cast<uint64_t>(sc) >> 32);
    P3DMatrixEntry& t = Top(m_modeIndex);
    i32* m = t.w;

    // Rotation of two columns: a' = c*a + s*b, b' = c*b - s*a.
    auto turn = [m, c](int ca, int cb, i32 sn) {
        for (int r = 0; r < 4; ++r) {
            i32 a = m[4 * ca + r], b = m[4 * cb + r];
            m[4 * ca + r] = static_cast<i32>((int64_t(c) * a + int64_t(sn) * b) >> 16);
            m[4 * cb + r] = static_cast<i32>((int64_t(c) * b - int64_t(sn) * a) >> 16);
        }
    };

    if (y == 0 && z == 0) {
        turn(1, 2, x < 0 ? -s : s); // about X (an all-zero axis too)
    } else if (x == 0 && z == 0) {
        turn(2, 0, y < 0 ? -s : s); // about Y
    } else if (x == 0 && y == 0) {
        turn(0, 1, z < 0 ? -s : s); // about Z
    } else {
        // Arbitrary axis: normalized exactly (to 2.30, whatever its length),
        // the rotation built in 2.30 and applied with one rounding per element.
        int64_t n30[3];
        NormalizeAxis30(x, y, z, n30);
        int64_t c30 = int64_t(c) << 14, s30 = int64_t(s) << 14, t30 = (int64_t(1) << 30) - c30;
        auto mul30 = [](int64_t a, int64_t b) -> int64_t { return (a * b) >> 30; };
        int64_t xt = mul30(n30[0], t30), yt = mul30(n30[1], t30), zt = mul30(n30[2], t30);
        int64_t xs = mul30(n30[0], s30), ys = mul30(n30[1], s30), zs = mul30(n30[2], s30);
        int64_t rot[9] = {
            mul30(n30[0], xt) + c30, mul30(n30[1], xt) + zs,  mul30(n30[2], xt) - ys,
            mul30(n30[0], yt) - zs,  mul30(n30[1], yt) + c30, mul30(n30[2], yt) + xs,
            mul30(n30[0], zt) + ys,  mul30(n30[1], zt) - xs,  mul30(n30[2], zt) + c30,
        };
        i32 r[12];
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 4; ++row) {
                __int128 acc = __int128(m[row]) * rot[3 * col] + __int128(m[4 + row]) * rot[3 * col + 1] +
                               __int128(m[8 + row]) * rot[3 * col + 2];
                r[4 * col + row] = Sat32(static_cast<int64_t>((acc + (__int128(1) << 29)) >> 30));
            }
        std::memcpy(m, r, sizeof r);
    }
    t.flags() = (t.flags() & ~kMatIdentity) | kMatDirty;
}

void P3DStateMan::glOrthox(i32 l, i32 r, i32 b, i32 t, i32 n, i32 f)
{
    if (r == l || t == b || f == n) {
        SetError(0x1501);
        return;
    }
    int64_t rl = int64_t(r) - l, tb = int64_t(t) - b, fn = int64_t(f) - n;
    P3DMatrixEntry o = MatIdentity;
    o.w[0] = Sat32((int64_t(2) << 32) / rl);
    o.w[5] = Sat32((int64_t(2) << 32) / tb);
    o.w[10] = Sat32(-((int64_t(2) << 32) / fn));
    o.w[12] = Sat32(-(((int64_t(r) + l) << 16) / rl));
    o.w[13] = Sat32(-(((int64_t(t) + b) << 16) / tb));
    o.w[14] = Sat32(-(((int64_t(f) + n) << 16) / fn));
    o.w[15] = 0x10000;
    UpdateMatrix(o.w);
    P3DMatrixEntry& top = Top(m_modeIndex);
    top.flags() = (top.flags() & ~kMatFrustum) | kMatOrtho;
}

void P3DStateMan::glFrustumx(i32 l, i32 r, i32 b, i32 t, i32 n, i32 f)
{
    if (r == l || t == b || n <= 0 || f <= 0 || f == n)
        return;
    int64_t rl = int64_t(r) - l, tb = int64_t(t) - b, fn = int64_t(f) - n;
    P3DMatrixEntry p = MatIdentity;
    p.w[0] = Sat32((int64_t(n) << 17) / rl);
    p.w[5] = Sat32((int64_t(n) << 17) / tb);
    p.w[8] = Sat32(((int64_t(r) + l) << 16) / rl);
    p.w[9] = Sat32(((int64_t(t) + b) << 16) / tb);
    p.w[10] = Sat32(-(((int64_t(f) + n) << 16) / fn));
    p.w[11] = -0x10000;
    p.w[14] = Sat32(-((2 * (int64_t(f) * n)) / fn));
    p.w[15] = 0;
    UpdateMatrix(p.w);
    P3DMatrixEntry& top = Top(m_modeIndex);
    top.flags() = (top.flags() & ~kMatOrtho) | kMatFrustum;
}

void P3DStateMan::glPushMatrix()
{
    P3DMatrixStack& s = m_stacks[m_modeIndex];
    if (s.top < s.maxTop) {
        s.entries[s.top + 1] = s.entries[s.top];
        ++s.top;
    } else {
        SetError(0x1503);
    }
}

void P3DStateMan::glPopMatrix()
{
    P3DMatrixStack& s = m_stacks[m_modeIndex];
    if (s.top == 0) {
        SetError(0x1504);
        return;
    }
    --s.top;
    s.entries[s.top].flags() |= kMatDirty;
}

void P3DStateMan::glPushMatricesSetIdentity()
{
    m_pushFlags = 0;
    if (!(Top(kStackProjection).flags() & kMatIdentity)) {
        m_modeIndex = kStackProjection;
        u8 before = m_stacks[kStackProjection].top;
        glPushMatrix();
        if (m_stacks[kStackProjection].top != before) {
            glLoadIdentity();
            m_pushFlags |= 4;
        }
    }
    if (!(Top(kStackModelview).flags() & kMatIdentity)) {
        m_modeIndex = kStackModelview;
        u8 before = m_stacks[kStackModelview].top;
        glPushMatrix();
        if (m_stacks[kStackModelview].top != before) {
            glLoadIdentity();
            m_pushFlags |= 8;
        }
    }
}

void P3DStateMan::glPopMatrices()
{
    if (m_pushFlags & 4) {
        m_modeIndex = kStackProjection;
        glPopMatrix();
    }
    m_modeIndex = kStackModelview;
    if (m_pushFlags & 8)
        glPopMatrix();
}

void P3DStateMan::glGetFixedp(u32 pname, i32** out)
{
    if (!out)
        return;
    if (pname == GL_MODELVIEW_MATRIX)
        *out = Top(kStackModelview).w;
    else if (pname == GL_PROJECTION_MATRIX)
        *out = Top(kStackProjection).w;
}

// ---------------------------------------------------------------------------
// Queries

bool P3DStateMan::IsMatrixQuery(u32 pname)
{
    switch (pname) {
    case GL_MATRIX_MODE:
    case GL_MODELVIEW_STACK_DEPTH:
    case GL_PROJECTION_STACK_DEPTH:
    case GL_TEXTURE_STACK_DEPTH:
    case GL_MODELVIEW_MATRIX:
    case GL_PROJECTION_MATRIX:
    case GL_TEXTURE_MATRIX:
    case GL_MAX_MODELVIEW_STACK_DEPTH:
    case GL_MAX_PROJECTION_STACK_DEPTH:
    case GL_MAX_TEXTURE_STACK_DEPTH:
        return true;
    default:
        return false;
    }
}

namespace {
// One matrix query's answer: a scalar (integer) or a matrix (16.16 values).
struct Answer {
    bool matrix = false;
    i32 scalar = 0;
    i32 const* m = nullptr;
};
} // namespace

#define VORNGL_ANSWER(pname, a)                                                                              \
    Answer a;                                                                                                \
    switch (pname) {                                                                                         \
    case GL_MATRIX_MODE: a.scalar = static_cast<i32>(MatrixModeEnum()); break;                               \
    case GL_MODELVIEW_STACK_DEPTH: a.scalar = m_stacks[kStackModelview].top + 1; break;                      \
    case GL_PROJECTION_STACK_DEPTH: a.scalar = m_stacks[kStackProjection].top + 1; break;                    \
    case GL_TEXTURE_STACK_DEPTH: a.scalar = m_stacks[kStackTexture0 + m_activeUnit].top + 1; break;          \
    case GL_MODELVIEW_MATRIX: a.matrix = true; a.m = Top(kStackModelview).w; break;                          \
    case GL_PROJECTION_MATRIX: a.matrix = true; a.m = Top(kStackProjection).w; break;                        \
    case GL_TEXTURE_MATRIX: a.matrix = true; a.m = Top(kStackTexture0 + m_activeUnit).w; break;              \
    case GL_MAX_MODELVIEW_STACK_DEPTH: a.scalar = kModelviewDepth; break;                                    \
    case GL_MAX_PROJECTION_STACK_DEPTH: a.scalar = kProjectionDepth; break;                                  \
    case GL_MAX_TEXTURE_STACK_DEPTH: a.scalar = kTextureDepth; break;                                        \
    default: return false;                                                                                   \
    }

bool P3DStateMan::glGetIntegerv(u32 pname, i32* out) const
{
    if (!out)
        return IsMatrixQuery(pname);
    VORNGL_ANSWER(pname, a)
    if (a.matrix) {
        for (int i = 0; i < 16; ++i)
            out[i] = a.m[i] / 65536; // truncated toward zero
    } else {
        out[0] = a.scalar;
    }
    return true;
}

bool P3DStateMan::glGetFixedv(u32 pname, i32* out) const
{
    if (!out)
        return IsMatrixQuery(pname);
    VORNGL_ANSWER(pname, a)
    if (a.matrix)
        std::memcpy(out, a.m, 16 * sizeof(i32));
    else
        out[0] = static_cast<i32>(static_cast<u32>(a.scalar) << 16);
    return true;
}

bool P3DStateMan::glGetBooleanv(u32 pname, u8* out) const
{
    if (!out)
        return IsMatrixQuery(pname);
    VORNGL_ANSWER(pname, a)
    if (a.matrix) {
        for (int i = 0; i < 16; ++i)
            out[i] = a.m[i] != 0;
    } else {
        out[0] = 1;
    }
    return true;
}

bool P3DStateMan::glGetFloatv(u32 pname, f32* out) const
{
    if (!out)
        return IsMatrixQuery(pname);
    VORNGL_ANSWER(pname, a)
    if (a.matrix) {
        for (int i = 0; i < 16; ++i)
            out[i] = static_cast<f32>(a.m[i]) * (1.0f / 65536.0f);
    } else {
        out[0] = static_cast<f32>(a.scalar);
    }
    return true;
}

#undef VORNGL_ANSWER

// ---------------------------------------------------------------------------
// Sending to the back end

void P3DStateMan::ApplyMatrices()
{
    if (!m_backend)
        return;
    P3DMatrixEntry& p = Top(kStackProjection);
    P3DMatrixEntry& mv = Top(kStackModelview);
    u32 lastMode = 0;
    int sent = 0;
    if (p.flags() & kMatDirty) {
        m_backend->glMatrixMode(GL_PROJECTION);
        int orientation = m_backend->vornGLGetOrientation();
        if (orientation == 2 || orientation == 8) {
            P3DMatrixEntry const& turn = orientation == 2 ? MatIdentity90 : MatIdentity270;
            if (p.flags() & kMatIdentity)
                m_scratch = turn;
            else {
                gl_mulmat(m_scratch.w, turn.w, p.w);
                m_scratch.flags() = 0;
            }
        } else {
            m_scratch = p;
        }
        p.flags() &= ~kMatDirty;
        m_backend->glLoadMatrixx(m_scratch.w);
        lastMode = GL_PROJECTION;
        sent = 2;
    }
    if (mv.flags() & kMatDirty) {
        mv.flags() &= ~kMatDirty;
        m_backend->glMatrixMode(GL_MODELVIEW);
        m_backend->glLoadMatrixx(mv.w);
        lastMode = GL_MODELVIEW;
        sent = sent ? 6 : 4;
    }
    if (sent == 0)
        return;
    m_backend->vornGLUpdateMatrices(sent);
    u32 callerMode = CallerModeEnum();
    if (callerMode != lastMode)
        m_backend->glMatrixMode(callerMode);
}

} // namespace vornGL
