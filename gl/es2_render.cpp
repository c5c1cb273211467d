// The render step of the emulation: program choice, uniform and attribute
// upload before each draw, and the matrix and light updates that turn the
// 16.16 state into float uniform values.
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"
#include "gl/es2_fixedemu.h"
#include "gl/es2_gl.h"

#include <GLES/gl.h>

#include <cmath>
#include <cstring>

namespace vornGL {

namespace {

constexpr u32 kBitLighting = 1u << 9;
constexpr u32 kBitLight0 = 1u << 12;
constexpr u32 kBitColorMaterial = 1u << 22;
constexpr u32 kBitNormalize = 1u << 23;
constexpr u32 kBitRescaleNormal = 1u << 24;
constexpr u32 kBitVertexArray = 1u << 25;
constexpr u32 kBitColorArray = 1u << 27;

f32 ToFloat(i32 v) { return f32(v) * (1.0f / 65536.0f); }
i32 Mul(i32 a, i32 b) { return i32((int64_t(a) * b) >> 16); }

void ToFloats(f32* dst, i32 const* src, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] = ToFloat(src[i]);
}

} // namespace

// ---------------------------------------------------------------------------
// Draws

void PFixedEmu::glDrawArrays(u32 mode, i32 first, i32 count)
{
    if (!ApplyRender())
        return;
    g_gles2.glDrawArrays(mode, first, count);
    if (m_current)
        m_current->m_changed = false;
}

void PFixedEmu::glDrawElements(u32 mode, i32 count, u32 type, void const* indices)
{
    if (count < 1)
        return;
    if (!ApplyRender())
        return;
    g_gles2.glDrawElements(mode, count, type, indices);
    if (m_current)
        m_current->m_changed = false;
}

PGLShader* PFixedEmu::FindGenerated(u32 vertexHash, u32 fragmentHash) const
{
    for (ProgramEntry const& e : m_programs)
        if (e.generated && e.program && e.vertexHash == vertexHash && e.fragmentHash == fragmentHash)
            return e.program;
    return nullptr;
}

bool PFixedEmu::ApplyRender()
{
    PGLShader* program = m_forced;
    if (!program) {
        unsigned vh = 0, fh = 0, key = 0;
        PPaperDoll::GetStateHash(*this, vh, fh, key);
        program = FindGenerated(vh, fh);
        if (!program) {
            program = new PGLShader();
            if (!program)
                return false;
            program->CreateShader(*this, vh, fh);
            if (!m_programs.Append(ProgramEntry{key, vh, fh, 1, program})) {
                delete program;
                return false;
            }
        }
    }
    if (program != m_current) {
        program->m_changed = true;
        m_current = program;
    }
    if (program->m_changed)
        g_gles2.glUseProgram(program->Program());
    if (m_state->WantedLow() & kBitLighting)
        UpdateLights();
    program->ApplyUniforms();
    ApplyAttributes(program);
    return true;
}

bool PFixedEmu::ArrayEnabled(int i) const
{
    if (i < 3)
        return m_state->IsEnabled(kBitVertexArray << i);
    u32 u = u32(i - 3);
    return u < m_state->UnitCount() && (m_state->Unit(u).clientFlags & 1u);
}

// Points every attribute the program reads at its client array and disables
// the others. Generated programs read an array only while the state enables
// it; custom programs read every array they declare. An array with neither a
// pointer nor a buffer has nothing to read and stays off.
void PFixedEmu::ApplyAttributes(PGLShader* p)
{
    bool generated = p != m_forced;
    for (int i = 0; i < kArrayCount; ++i) {
        ClientArray& a = m_arrays[i];
        u32 bit = 1u << i;
        bool want = p->UsesAttribute(i) && (a.pointer || a.buffer) && (!generated || ArrayEnabled(i));
        if (!want) {
            if (m_attribEnabled & bit) {
                g_gles2.glDisableVertexAttribArray(u32(i));
                m_attribEnabled &= ~bit;
            }
            continue;
        }
        if (p->m_changed || a.changed || !(m_attribEnabled & bit)) {
            a.changed = 0;
            if (!(m_attribEnabled & bit)) {
                g_gles2.glEnableVertexAttribArray(u32(i));
                m_attribEnabled |= bit;
            }
            // The pointer is an offset into the buffer bound when it was given.
            if (a.buffer != m_arrayBuffer)
                g_gles2.glBindBuffer(GL_ARRAY_BUFFER, a.buffer);
            g_gles2.glVertexAttribPointer(u32(i), a.size, a.type, i == kAttribColor ? 1 : 0, a.stride, a.pointer);
            if (a.buffer != m_arrayBuffer)
                g_gles2.glBindBuffer(GL_ARRAY_BUFFER, m_arrayBuffer);
        }
    }
}

// ---------------------------------------------------------------------------
// Matrices

void PFixedEmu::vornGLSampleViewMatrix() { std::memcpy(m_view, m_state->Top(kStackModelview).w, sizeof m_view); }

void PFixedEmu::UpdateMatrices(int which)
{
    P3DStateMan& sm = *m_state;
    if (which & 6) {
        i32 const* M = sm.Top(kStackModelview).w;
        i32 const* P = sm.SentProjection().w;
        i32 mvp[16];
        P3DStateMan::gl_mulmat(mvp, P, M);
        f32 f[16];
        if (m_uniforms[kUniModel4x4].HaveListeners()) {
            i32 inv[16], model[16];
            if (!P3DStateMan::gl_invmat(inv, m_view))
                std::memcpy(inv, MatIdentity.w, sizeof inv);
            P3DStateMan::gl_mulmat(model, inv, M);
            ToFloats(f, model, 16);
            SetFloats(kUniModel4x4, m_model, f, 16);
        }
        static constexpr int k3x3[9] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
        f32 m3[9];
        for (int i = 0; i < 9; ++i)
            m3[i] = ToFloat(M[k3x3[i]]);
        SetFloats(kUniModelView3x3, m_mv3x3, m3, 9);
        ToFloats(f, M, 16);
        SetFloats(kUniModelView4x4, m_mv, f, 16);
        ToFloats(f, mvp, 16);
        SetFloats(kUniModelViewProj, m_mvp, f, 16);
        ToFloats(f, P, 16);
        SetFloats(kUniProjection, m_projection, f, 16);
        ToFloats(f, m_view, 16);
        SetFloats(kUniView4x4, m_viewFloat, f, 16);
    }
    if (which & 1) {
        u32 u = sm.ActiveUnit();
        if (u >= kUnits)
            return;
        P3DMatrixEntry& T = sm.Top(kStackTexture0 + int(u));
        if (T.flags() & kMatIdentity) {
            m_texMatrixFlag[u] = 0;
        } else if (std::memcmp(T.w, MatIdentityCmp, sizeof MatIdentityCmp) == 0) {
            T.flags() |= kMatIdentity;
            m_texMatrixFlag[u] = 0;
        } else {
            m_texMatrixFlag[u] = 1;
            f32 f[16];
            ToFloats(f, T.w, 16);
            SetFloats(kUniTexMat0 + int(u), m_texMatrix[u], f, 16);
        }
    }
}

// ---------------------------------------------------------------------------
// Lights

void PFixedEmu::UpdateLights()
{
    P3DStateMan& sm = *m_state;
    u32 const E = sm.WantedLow();
    i32 const* M = sm.Top(kStackModelview).w;
    bool const objectSpace = m_objectSpaceLighting != 0;

    if (E & kBitRescaleNormal) {
        int L = PVector3(M[0], M[1], M[2]).LengthSafe();
        int64_t factor = L ? (int64_t(1) << 32) / L : 0x2AAAAAAA;
        f32 v = f32(double(factor) / 65536.0);
        SetFloats(kUniRescaleNormalFactor, &m_rescaleNormal, &v, 1);
    }
    f32 v = ToFloat(m_matShininess);
    SetFloats(kUniShininess, &m_shininess, &v, 1);
    f32 c[4];
    ToFloats(c, m_matEmission, 4);
    SetFloats(kUniEmission, m_emission, c, 4);
    // Under colour material the current colour (or the vertex colour, which
    // the shader multiplies in) is the material's ambient colour.
    for (int i = 0; i < 4; ++i) {
        if (!(E & kBitColorMaterial))
            c[i] = ToFloat(Mul(m_lightModelAmbient[i], m_matAmbient[i]));
        else if (!(E & kBitColorArray))
            c[i] = ToFloat(Mul(m_lightModelAmbient[i], m_colour[i]));
        else
            c[i] = ToFloat(m_lightModelAmbient[i]);
    }
    SetFloats(kUniGlobalAmbient, m_globalAmbient, c, 4);

    i32 X[16];
    if (objectSpace && !P3DStateMan::gl_invmat(X, M))
        std::memcpy(X, M, sizeof X);

    for (int i = 0; i < kLightCount; ++i) {
        if (!(E & (kBitLight0 << i)))
            continue;
        Light& L = m_lights[i];
        LightFloats& R = m_lightFloats[i];
        bool directional = L.flags & kLightDirectional;
        if (directional && ((E & kBitNormalize) || ((E & kBitRescaleNormal) && !objectSpace))) {
            PVector3 d(L.position[0], L.position[1], L.position[2]);
            int64_t sum = (int64_t(d.x) * d.x + int64_t(d.y) * d.y + int64_t(d.z) * d.z) >> 16;
            if (sum > 0 && sum <= 0x7FFFFFFF) {
                int r = PFRSqrt(int(sum));
                L.position[0] = Mul(d.x, r);
                L.position[1] = Mul(d.y, r);
                L.position[2] = Mul(d.z, r);
            } else if (sum > 0) {
                d.Normalize();
                L.position[0] = d.x;
                L.position[1] = d.y;
                L.position[2] = d.z;
            }
        }
        f32 pos[3];
        if (!objectSpace) {
            ToFloats(pos, L.position, 3);
        } else {
            _Vector4GL_ p{L.position[0], L.position[1], L.position[2], L.position[3]};
            P3DStateMan::gl_transform(p, X);
            if (directional) {
                PVector3 d(p.x, p.y, p.z);
                d.Normalize();
                p.x = d.x;
                p.y = d.y;
                p.z = d.z;
            }
            pos[0] = ToFloat(p.x);
            pos[1] = ToFloat(p.y);
            pos[2] = ToFloat(p.z);
            _Vector4GL_ eye{0, 0, 0, 0x10000};
            P3DStateMan::gl_transform(eye, X);
            f32 view[3] = {ToFloat(eye.x), ToFloat(eye.y), ToFloat(eye.z)};
            SetFloats(kUniViewVector, R.viewVector, view, 3);
        }
        // The shader takes a directional light's uniform as the unit vector
        // towards the light.
        if (directional) {
            f32 len = std::sqrt(pos[0] * pos[0] + pos[1] * pos[1] + pos[2] * pos[2]);
            if (len > 0.0f)
                for (f32& p : pos)
                    p /= len;
        }
        SetFloats(kUniLightPos0 + i, R.position, pos, 3);

        f32 amb[4], dif[4];
        for (int k = 0; k < 4; ++k) {
            if ((E & kBitColorMaterial) && !(E & kBitColorArray)) {
                amb[k] = ToFloat(Mul(L.ambient[k], m_colour[k]));
                dif[k] = ToFloat(Mul(L.diffuse[k], m_colour[k]));
            } else if (E & kBitColorMaterial) {
                amb[k] = ToFloat(L.ambient[k]);
                dif[k] = ToFloat(L.diffuse[k]);
            } else {
                amb[k] = ToFloat(Mul(L.ambient[k], m_matAmbient[k]));
                dif[k] = ToFloat(Mul(L.diffuse[k], m_matDiffuse[k]));
            }
            c[k] = ToFloat(Mul(L.specular[k], m_matSpecular[k]));
        }
        SetFloats(kUniLightDiffuse0 + i, R.diffuse, dif, 4);
        SetFloats(kUniLightAmbient0 + i, R.ambient, amb, 4);
        SetFloats(kUniLightSpecular0 + i, R.specular, c, 4);
        f32 att[3];
        ToFloats(att, L.attenuation, 3);
        SetFloats(kUniLightAttenuation0 + i, R.attenuation, att, 3);
        if (L.flags & kLightSpot) {
            f32 dir[3];
            ToFloats(dir, L.spotDirection, 3);
            SetFloats(kUniLightSpotDirection0 + i, R.spotDirection, dir, 3);
            v = ToFloat(PCosd(L.spotCutoff));
            SetFloats(kUniLightSpotCutoff0 + i, &R.spotCutoff, &v, 1);
            v = ToFloat(L.spotExponent);
            SetFloats(kUniLightSpotExponent0 + i, &R.spotExponent, &v, 1);
        }
    }
}

} // namespace vornGL
