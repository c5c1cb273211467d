// Lighting of the software back end, in 16.16 with 8-bit colour channels.
// Lights act as directions only (no attenuation, no spot cone); the
// terms that do not depend on the vertex are folded into one base colour
// before a draw, and each lit vertex adds the diffuse and specular terms of
// the enabled lights to it.
#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"
#include "gl/software/swbackend.h"
#include "gl/software/swgl.h"

#include <algorithm>

namespace vornGL {

using namespace swgl;

namespace {

constexpr u32 kLightingBits = 0x5FF200u; // LIGHTING, LIGHT0-7, material changed, COLOR_MATERIAL

// A GL colour channel (16.16) as a byte; negative values count as above 1.0.
u32 Byte(i32 c)
{
    u32 v = std::min(u32(c), 0x10000u);
    return (v * 255) >> 16;
}

u32 Pack(i32 const* c) { return Byte(c[0]) | Byte(c[1]) << 8 | Byte(c[2]) << 16; }
u32 PackWithAlpha(i32 const* c) { return Pack(c) | Byte(c[3]) << 24; }

u32 Channel(u32 packed, int i) { return (packed >> (8 * i)) & 0xFF; }

i32 Clamp32(__int128 v) { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : i32(v); }

// Sum of products >> 16, formed without overflow and saturated.
i32 Dot3(i32 const* a, i32 const* b)
{
    return Clamp32((__int128(int64_t(a[0]) * b[0]) + int64_t(a[1]) * b[1] + int64_t(a[2]) * b[2]) >> 16);
}

} // namespace

void P3DBackendSW::glLightxv(u32 light, u32 pname, i32 const* params)
{
    if (light < LIGHT0 || light > LIGHT7) {
        SetError(INVALID_ENUM, "glLightxv");
        return;
    }
    if (!params)
        return;
    PSWLight& L = m_lights[light - LIGHT0];
    i32 const* mv = m_stateMan->Top(kStackModelview).w;
    switch (pname) {
    case AMBIENT:
        L.ambient = Pack(params);
        m_lightingDirty = true;
        break;
    case DIFFUSE:
        L.diffuse = Pack(params);
        break;
    case SPECULAR:
        L.specular = Pack(params);
        break;
    case POSITION: {
        // Eye space: the position through the whole modelview matrix.
        i32 p[4];
        for (int r = 0; r < 4; ++r) {
            __int128 s = __int128(int64_t(mv[r]) * params[0]) + int64_t(mv[4 + r]) * params[1] +
                         int64_t(mv[8 + r]) * params[2] + int64_t(mv[12 + r]) * params[3];
            p[r] = Clamp32(s >> 16);
        }
        if (p[3] == 0) {
            PVector3 d(p[0], p[1], p[2]);
            d.Normalize();
            p[0] = d.x;
            p[1] = d.y;
            p[2] = d.z;
        }
        for (int r = 0; r < 4; ++r)
            L.position[r] = p[r];
        m_lightVectorsDirty = true;
        break;
    }
    case SPOT_DIRECTION: {
        i32 out[3];
        for (int r = 0; r < 3; ++r) {
            __int128 s = __int128(int64_t(mv[r]) * params[0]) + int64_t(mv[4 + r]) * params[1] +
                         int64_t(mv[8 + r]) * params[2];
            out[r] = Clamp32(s >> 16);
        }
        PVector3 d(out[0], out[1], out[2]);
        d.Normalize();
        L.spotDirection[0] = d.x;
        L.spotDirection[1] = d.y;
        L.spotDirection[2] = d.z;
        break;
    }
    default:
        glLightx(light, pname, params[0]);
        break;
    }
}

void P3DBackendSW::glLightx(u32 light, u32 pname, i32 param)
{
    if (light < LIGHT0 || light > LIGHT7 || pname < SPOT_EXPONENT || pname > QUADRATIC_ATTENUATION) {
        SetError(INVALID_ENUM, "glLightx");
        return;
    }
    PSWLight& L = m_lights[light - LIGHT0];
    switch (pname) {
    case SPOT_EXPONENT:
        if (u32(param) > 0x800000u) {
            SetError(INVALID_VALUE, "glLightx");
            return;
        }
        L.spotExponent = param;
        break;
    case SPOT_CUTOFF:
        if (u32(param) > 0xB40000u) {
            SetError(INVALID_VALUE, "glLightx");
            return;
        }
        L.spotCutoff = param;
        L.spotCosine = PCosd(param);
        break;
    case LINEAR_ATTENUATION:
        L.linear = param;
        break;
    case CONSTANT_ATTENUATION:
        L.constant = param;
        break;
    default:
        L.quadratic = param;
        break;
    }
}

void P3DBackendSW::glMaterialxv(u32 face, u32 pname, i32 const* params)
{
    if (!params)
        return;
    u32 oldAmbient = m_materialAmbient, oldEmission = m_materialEmission;
    switch (pname) {
    case AMBIENT:
        m_materialAmbient = Pack(params);
        break;
    case DIFFUSE:
        // The diffuse alpha is the lit vertices' alpha, so it is kept.
        m_materialDiffuse = PackWithAlpha(params);
        break;
    case SPECULAR:
        m_materialSpecular = Pack(params);
        break;
    case EMISSION:
        m_materialEmission = Pack(params);
        break;
    case AMBIENT_AND_DIFFUSE:
        m_materialAmbient = Pack(params);
        m_materialDiffuse = PackWithAlpha(params);
        break;
    case SHININESS:
        if (params[0] != m_shininess)
            glMaterialx(face, pname, params[0]);
        return;
    default:
        return;
    }
    if (m_materialAmbient != oldAmbient || m_materialEmission != oldEmission) {
        m_stateMan->EnableDisableP3DState(kEnMaterialChanged, 1);
        m_lightingDirty = true;
    }
}

void P3DBackendSW::glMaterialx(u32, u32 pname, i32 param)
{
    if (pname != SHININESS || param == m_shininess)
        return;
    if (u32(param) > 0x800000u) {
        SetError(INVALID_VALUE, "glMaterialx");
        return;
    }
    m_shininess = param;
    m_stateMan->EnableDisableP3DState(kEnMaterialChanged, 1);
    m_lightingDirty = true;
}

void P3DBackendSW::glLightModelxv(u32 pname, i32 const* params)
{
    if (pname != LIGHT_MODEL_AMBIENT || !params)
        return;
    m_modelAmbient = Pack(params);
    m_lightingDirty = true;
}

// Emission and the ambient terms, folded into the base colour.
void P3DBackendSW::PreCalcLight()
{
    u32 enables = m_stateMan->WantedLow();
    if (!((enables ^ m_lightSnapshot) & kLightingBits) && !m_lightingDirty)
        return;
    m_lightSnapshot = enables & kLightingBits;
    m_lightingDirty = false;
    u32 c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = Channel(m_materialEmission, i);
    if (!(enables & kEnColourMaterial))
        for (int i = 0; i < 3; ++i)
            c[i] = std::min(c[i] + ((Channel(m_materialAmbient, i) * Channel(m_modelAmbient, i)) >> 8), 255u);
    for (int l = 0; l < 8; ++l) {
        if (!(enables & (1u << (12 + l))))
            continue;
        for (int i = 0; i < 3; ++i)
            c[i] = std::min(c[i] + ((Channel(m_materialAmbient, i) * Channel(m_lights[l].ambient, i)) >> 8), 255u);
    }
    m_baseColour = c[0] | c[1] << 8 | c[2] << 16;
}

// Each light's direction in object space: directions through the transpose
// of the modelview's rotation, positions through the combined matrix.
void P3DBackendSW::ObjectSpaceLights()
{
    m_lightVectorsDirty = false;
    i32 const* mv = m_stateMan->Top(kStackModelview).w;
    for (auto& L : m_lights) {
        i32 const* m = L.position[3] == 0 ? mv : m_mvp;
        for (int j = 0; j < 3; ++j)
            L.objectVector[j] = Dot3(L.position, m + 4 * j);
    }
}

void P3DBackendSW::DiffLight(PVertex* vertex, i32 const* normal)
{
    i32 n[3] = {normal[0], normal[1], normal[2]};
    u32 enables = m_setup.enables;
    if (enables & kEnNormalize) {
        PVector3 v(n[0], n[1], n[2]);
        v.Normalize();
        n[0] = v.x;
        n[1] = v.y;
        n[2] = v.z;
    }
    u32 acc[3];
    for (int i = 0; i < 3; ++i)
        acc[i] = Channel(m_baseColour, i);
    bool specular = m_materialSpecular != 0;
    for (int l = 0; l < 8; ++l) {
        if (!(enables & (1u << (12 + l))))
            continue;
        PSWLight const& L = m_lights[l];
        i32 d = Dot3(n, L.objectVector);
        if (d > 0) {
            for (int i = 0; i < 3; ++i) {
                u32 k = (Channel(m_materialDiffuse, i) * Channel(L.diffuse, i)) >> 8;
                u32 add = u32(std::min<int64_t>((int64_t(k) * d) >> 16, 255));
                acc[i] = std::min(acc[i] + add, 255u);
            }
        }
        if (specular && L.specular) {
            i32 h[3] = {L.objectVector[0], L.objectVector[1], i32(std::min<int64_t>(int64_t(L.objectVector[2]) + 0x10000, INT32_MAX))};
            i32 scale = PFRSqrt(std::max(Dot3(h, h), 0));
            for (auto& c : h)
                c = i32(std::clamp<int64_t>((int64_t(c) * scale) >> 16, INT32_MIN, INT32_MAX));
            i32 s = Dot3(n, h);
            if (s > 0) {
                i32 f = PFPow(s, m_shininess);
                for (int i = 0; i < 3; ++i) {
                    u32 k = (Channel(m_materialSpecular, i) * Channel(L.specular, i)) >> 8;
                    u32 add = u32(std::clamp<int64_t>((int64_t(k) * f) >> 16, 0, 255));
                    acc[i] = std::min(acc[i] + add, 255u);
                }
            }
        }
    }
    vertex->r = u16(acc[0] << 8 | 0x80);
    vertex->g = u16(acc[1] << 8 | 0x80);
    vertex->b = u16(acc[2] << 8 | 0x80);
    vertex->a = u16(Channel(m_materialDiffuse, 3) << 8);
}

void P3DBackendSW::LightVertex(i32 const* normal, u16* rgba)
{
    m_setup.enables = m_stateMan->WantedLow();
    if (m_lightVectorsDirty)
        ObjectSpaceLights();
    PreCalcLight();
    PVertex v{};
    DiffLight(&v, normal);
    rgba[0] = v.r;
    rgba[1] = v.g;
    rgba[2] = v.b;
    rgba[3] = v.a;
}

} // namespace vornGL
