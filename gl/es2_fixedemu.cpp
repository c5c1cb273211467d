// The fixed-function emulation state: construction, the state-setting entry
// points, conversions passed on to OpenGL ES 2.0, and the queries.
#include "gl/es2_fixedemu.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "gl/es2_gl.h"
#include "gl/gles.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cmath>
#include <cstring>

namespace vornGL {

namespace {

constexpr i32 kOne = 0x10000;
constexpr i32 kCutoff180 = 0xB40000;

bool NonBlack(i32 const* c) { return c[0] != 0 || c[1] != 0 || c[2] != 0; }

void Identity(f32* m)
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

f32 ToFloat(i32 v) { return f32(v) * (1.0f / 65536.0f); }

} // namespace

PFixedEmu::PFixedEmu(P3DStateMan& state)
{
    m_objectSpaceLighting = 0;
    m_backend = nullptr;
    m_state = &state;
    m_current = m_forced = nullptr;
    m_customIndex = m_customHandle = 0;
    std::memset(m_arrays, 0, sizeof m_arrays);
    m_materialFlags = 0x806;
    for (int i = 0; i < 4; ++i) {
        m_colour[i] = kOne;
        m_lightModelAmbient[i] = m_matAmbient[i] = i < 3 ? 0x3333 : kOne;
        m_matDiffuse[i] = i < 3 ? 0xCCCC : kOne;
        m_matSpecular[i] = m_matEmission[i] = i < 3 ? 0 : kOne;
    }
    m_matShininess = 0;
    std::memset(m_lights, 0, sizeof m_lights);
    for (int l = 0; l < kLightCount; ++l) {
        Light& L = m_lights[l];
        L.flags = l == 0 ? 0x6A : 0x60;
        L.ambient[3] = kOne;
        for (int i = 0; i < 4; ++i) {
            L.diffuse[i] = l == 0 ? kOne : 0;
            L.specular[i] = l == 0 ? kOne : 0;
        }
        L.position[2] = kOne;
        L.spotDirection[2] = -kOne;
        L.spotCutoff = kCutoff180;
        L.attenuation[0] = kOne;
    }
    std::memset(m_lightFloats, 0, sizeof m_lightFloats);
    m_fogMode = GL_EXP;
    std::memset(m_fogColour, 0, sizeof m_fogColour);
    m_fogParams[0] = 0.0f;
    m_fogParams[1] = 1.0f;
    m_fogParams[2] = 1.0f;
    m_fogParams[3] = 1.0f;
    m_shininess = 0.0f;
    std::memset(m_emission, 0, sizeof m_emission);
    std::memset(m_globalAmbient, 0, sizeof m_globalAmbient);
    m_normal[0] = m_normal[1] = 0.0f;
    m_normal[2] = 1.0f;
    for (f32& c : m_colourFloat)
        c = 1.0f;
    std::memset(m_mv3x3, 0, sizeof m_mv3x3);
    m_mv3x3[0] = m_mv3x3[4] = m_mv3x3[8] = 1.0f;
    Identity(m_mv);
    Identity(m_mvp);
    Identity(m_projection);
    Identity(m_viewFloat);
    Identity(m_model);
    m_rescaleNormal = 1.0f;
    for (u32 u = 0; u < kUnits; ++u) {
        m_samplerUnits[u] = u;
        Identity(m_texMatrix[u]);
        m_texMatrixFlag[u] = 0;
    }
    std::memset(m_envColour, 0, sizeof m_envColour);
    std::memcpy(m_view, MatIdentity.w, sizeof m_view);
    m_alphaFunc = GL_ALWAYS;
    m_alphaRef = 0.0f;
    m_arrayBuffer = 0;
    m_attribEnabled = 0;
    WireStandardUniforms();
}

PFixedEmu::~PFixedEmu()
{
    for (ProgramEntry& e : m_programs)
        delete e.program;
    m_programs.Release();
    m_current = m_forced = nullptr;
    PPaperDoll::ClearCache();
    for (CustomShader& c : m_customShaders) {
        PFree(c.vertexSource);
        PFree(c.fragmentSource);
    }
    m_customShaders.Release();
    for (CustomUniform& c : m_customUniforms) {
        if (c.ownsValue)
            delete c.value;
        PFree(c.name);
        delete c.programs;
    }
    m_customUniforms.Release();
}

void PFixedEmu::Error(u32 code) { m_state->SetError(kErrorTag | code); }

void PFixedEmu::Mark(int k, void const* storage, int bytes) { m_uniforms[k].SetDirty(storage, bytes); }

void PFixedEmu::SetFloats(int k, f32* dst, f32 const* src, int n)
{
    bool same = m_uniforms[k].Value() == dst && std::memcmp(dst, src, size_t(n) * sizeof(f32)) == 0;
    if (same)
        return;
    std::memmove(dst, src, size_t(n) * sizeof(f32));
    Mark(k, dst, n * int(sizeof(f32)));
}

// Every standard value points at its storage from the start, so a program's
// first draw finds GL's defaults (white colour, normal (0, 0, 1), identity
// matrices) rather than zeros.
void PFixedEmu::WireStandardUniforms()
{
    Mark(kUniModelViewProj, m_mvp, sizeof m_mvp);
    Mark(kUniModelView3x3, m_mv3x3, sizeof m_mv3x3);
    Mark(kUniModelView4x4, m_mv, sizeof m_mv);
    Mark(kUniProjection, m_projection, sizeof m_projection);
    Mark(kUniModel4x4, m_model, sizeof m_model);
    Mark(kUniView4x4, m_viewFloat, sizeof m_viewFloat);
    Mark(kUniColor, m_colourFloat, sizeof m_colourFloat);
    Mark(kUniNormal, m_normal, sizeof m_normal);
    for (int u = 0; u < kUnits; ++u) {
        Mark(kUniTexture0 + u, &m_samplerUnits[u], sizeof m_samplerUnits[u]);
        Mark(kUniBlendColor0 + u, m_envColour[u], sizeof m_envColour[u]);
        Mark(kUniTexMat0 + u, m_texMatrix[u], sizeof m_texMatrix[u]);
    }
    Mark(kUniShininess, &m_shininess, sizeof m_shininess);
    Mark(kUniEmission, m_emission, sizeof m_emission);
    Mark(kUniGlobalAmbient, m_globalAmbient, sizeof m_globalAmbient);
    for (int i = 0; i < kLightCount; ++i) {
        LightFloats& R = m_lightFloats[i];
        Mark(kUniLightPos0 + i, R.position, sizeof R.position);
        Mark(kUniLightAmbient0 + i, R.ambient, sizeof R.ambient);
        Mark(kUniLightDiffuse0 + i, R.diffuse, sizeof R.diffuse);
        Mark(kUniLightSpecular0 + i, R.specular, sizeof R.specular);
        Mark(kUniLightAttenuation0 + i, R.attenuation, sizeof R.attenuation);
        Mark(kUniLightSpotDirection0 + i, R.spotDirection, sizeof R.spotDirection);
        Mark(kUniLightSpotCutoff0 + i, &R.spotCutoff, sizeof R.spotCutoff);
        Mark(kUniLightSpotExponent0 + i, &R.spotExponent, sizeof R.spotExponent);
    }
    Mark(kUniAlphaRef, &m_alphaRef, sizeof m_alphaRef);
    Mark(kUniFogColor, m_fogColour, sizeof m_fogColour);
    Mark(kUniFogStartEndDensityDiff, m_fogParams, sizeof m_fogParams);
    Mark(kUniRescaleNormalFactor, &m_rescaleNormal, sizeof m_rescaleNormal);
    Mark(kUniViewVector, m_lightFloats[0].viewVector, sizeof m_lightFloats[0].viewVector);
}

// ---------------------------------------------------------------------------
// Current values

void PFixedEmu::glColor4f(f32 r, f32 g, f32 b, f32 a)
{
    f32 c[4] = {r, g, b, a};
    SetFloats(kUniColor, m_colourFloat, c, 4);
    for (int i = 0; i < 4; ++i)
        m_colour[i] = FloatToFixed(c[i]);
}

void PFixedEmu::glColor4x(i32 r, i32 g, i32 b, i32 a)
{
    f32 c[4] = {ToFloat(r), ToFloat(g), ToFloat(b), ToFloat(a)};
    SetFloats(kUniColor, m_colourFloat, c, 4);
    m_colour[0] = r;
    m_colour[1] = g;
    m_colour[2] = b;
    m_colour[3] = a;
}

void PFixedEmu::glColor4ub(u8 r, u8 g, u8 b, u8 a)
{
    f32 c[4] = {r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f};
    SetFloats(kUniColor, m_colourFloat, c, 4);
    for (int i = 0; i < 4; ++i)
        m_colour[i] = FloatToFixed(c[i]);
}

void PFixedEmu::glNormal3f(f32 x, f32 y, f32 z)
{
    f32 n[3] = {x, y, z};
    SetFloats(kUniNormal, m_normal, n, 3);
}

void PFixedEmu::glNormal3x(i32 x, i32 y, i32 z) { glNormal3f(ToFloat(x), ToFloat(y), ToFloat(z)); }

void PFixedEmu::glAlphaFuncx(u32 func, i32 ref)
{
    m_alphaFunc = func;
    if (ref < 0)
        ref = 0;
    if (ref > kOne)
        ref = kOne;
    f32 v = ToFloat(ref);
    SetFloats(kUniAlphaRef, &m_alphaRef, &v, 1);
}

void PFixedEmu::glAlphaFunc(u32 func, f32 ref)
{
    m_alphaFunc = func;
    f32 v = ref > 0.0f ? (ref < 1.0f ? ref : 1.0f) : 0.0f; // NaN gives 0
    SetFloats(kUniAlphaRef, &m_alphaRef, &v, 1);
}

// ---------------------------------------------------------------------------
// Client arrays

namespace {
bool PositionType(u32 type) { return type == GL_BYTE || type == GL_SHORT || type == GL_FLOAT || type == GL_FIXED; }
} // namespace

void PFixedEmu::glVertexPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    if (size < 2 || size > 4 || stride < 0)
        return Error(GL_INVALID_VALUE);
    if (!PositionType(type))
        return Error(GL_INVALID_ENUM);
    m_arrays[0] = ClientArray{1, type, size, stride, pointer, m_arrayBuffer};
}

void PFixedEmu::glNormalPointer(u32 type, i32 stride, void const* pointer)
{
    if (stride < 0)
        return Error(GL_INVALID_VALUE);
    if (!PositionType(type))
        return Error(GL_INVALID_ENUM);
    m_arrays[1] = ClientArray{1, type, 3, stride, pointer, m_arrayBuffer};
}

void PFixedEmu::glColorPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    if (size != 4 || stride < 0)
        return Error(GL_INVALID_VALUE);
    if (type != GL_UNSIGNED_BYTE && type != GL_FLOAT && type != GL_FIXED)
        return Error(GL_INVALID_ENUM);
    m_arrays[2] = ClientArray{1, type, 4, stride, pointer, m_arrayBuffer};
}

void PFixedEmu::glTexCoordPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    if (size < 2 || size > 4 || stride < 0)
        return Error(GL_INVALID_VALUE);
    if (!PositionType(type))
        return Error(GL_INVALID_ENUM);
    u32 unit = m_state->ClientActiveUnit();
    if (unit >= kUnits)
        return Error(GL_INVALID_OPERATION);
    m_arrays[3 + unit] = ClientArray{1, type, size, stride, pointer, m_arrayBuffer};
}

// A deleted buffer is unbound everywhere; arrays that read from it have no
// data any more (their offsets are not client addresses).
void PFixedEmu::BufferDeleted(u32 buffer)
{
    if (buffer == 0)
        return;
    if (m_arrayBuffer == buffer)
        m_arrayBuffer = 0;
    for (ClientArray& a : m_arrays) {
        if (a.buffer == buffer) {
            a.buffer = 0;
            a.pointer = nullptr;
            a.changed = 1;
        }
    }
}

// ---------------------------------------------------------------------------
// Material, light model, lights

void PFixedEmu::glMaterialxv(u32, u32 pname, i32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    switch (pname) {
    case GL_AMBIENT:
        std::memcpy(m_matAmbient, params, sizeof m_matAmbient);
        if (NonBlack(m_matAmbient)) {
            m_materialFlags |= kMatAmbient;
            if (NonBlack(m_lightModelAmbient))
                m_materialFlags |= kMatGlobalAmbient;
            else
                m_materialFlags &= ~kMatGlobalAmbient;
        } else {
            m_materialFlags &= ~(kMatAmbient | kMatGlobalAmbient);
        }
        break;
    case GL_DIFFUSE:
        std::memcpy(m_matDiffuse, params, sizeof m_matDiffuse);
        m_materialFlags = NonBlack(m_matDiffuse) ? (m_materialFlags | kMatDiffuse) : (m_materialFlags & ~kMatDiffuse);
        break;
    case GL_SPECULAR:
        std::memcpy(m_matSpecular, params, sizeof m_matSpecular);
        m_materialFlags =
            NonBlack(m_matSpecular) ? (m_materialFlags | kMatSpecular) : (m_materialFlags & ~kMatSpecular);
        break;
    case GL_EMISSION:
        std::memcpy(m_matEmission, params, sizeof m_matEmission);
        m_materialFlags =
            NonBlack(m_matEmission) ? (m_materialFlags | kMatEmission) : (m_materialFlags & ~kMatEmission);
        break;
    case GL_AMBIENT_AND_DIFFUSE:
        std::memcpy(m_matAmbient, params, sizeof m_matAmbient);
        std::memcpy(m_matDiffuse, params, sizeof m_matDiffuse);
        if (NonBlack(params)) {
            m_materialFlags |= kMatAmbient | kMatDiffuse;
            // The global-ambient term exists again once both colours are lit.
            if (NonBlack(m_lightModelAmbient))
                m_materialFlags |= kMatGlobalAmbient;
        } else {
            m_materialFlags &= ~(kMatAmbient | kMatDiffuse);
        }
        break;
    case GL_SHININESS:
        m_matShininess = params[0];
        break;
    default:
        Error(GL_INVALID_ENUM);
        break;
    }
}

void PFixedEmu::glMaterialfv(u32 face, u32 pname, f32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    i32 x[4] = {};
    int n = pname == GL_SHININESS ? 1 : 4;
    for (int i = 0; i < n; ++i)
        x[i] = FloatToFixed(params[i]);
    glMaterialxv(face, pname, x);
}

void PFixedEmu::glLightModelxv(u32 pname, i32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    switch (pname) {
    case GL_LIGHT_MODEL_TWO_SIDE:
        break;
    case GL_LIGHT_MODEL_AMBIENT:
        std::memcpy(m_lightModelAmbient, params, sizeof m_lightModelAmbient);
        if (NonBlack(m_lightModelAmbient) && NonBlack(m_matAmbient))
            m_materialFlags |= kMatGlobalAmbient;
        else
            m_materialFlags &= ~kMatGlobalAmbient;
        break;
    default:
        Error(GL_INVALID_ENUM);
        break;
    }
}

void PFixedEmu::glLightModelfv(u32 pname, f32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    i32 x[4] = {};
    int n = pname == GL_LIGHT_MODEL_AMBIENT ? 4 : 1;
    for (int i = 0; i < n; ++i)
        x[i] = FloatToFixed(params[i]);
    glLightModelxv(pname, x);
}

// A positional light's spot flags follow its cut-off; a directional light has
// neither, so the key and the generated code always agree.
void PFixedEmu::LightFlagsFromState(Light& l)
{
    l.flags &= ~(kLightNoSpot | kLightSpot);
    if (l.flags & kLightDirectional)
        return;
    l.flags |= l.spotCutoff == kCutoff180 ? kLightNoSpot : kLightSpot;
}

void PFixedEmu::glLightxv(u32 light, u32 pname, i32 const* params)
{
    if (light < GL_LIGHT0 || light >= GL_LIGHT0 + kLightCount)
        return Error(GL_INVALID_ENUM);
    if (pname < GL_AMBIENT || pname > GL_QUADRATIC_ATTENUATION)
        return Error(GL_INVALID_ENUM);
    if (!params)
        return Error(GL_INVALID_VALUE);
    Light& L = m_lights[light - GL_LIGHT0];
    auto colourFlag = [&L](u32 flag, i32* dst, i32 const* src) {
        std::memcpy(dst, src, 4 * sizeof(i32));
        L.flags = NonBlack(dst) ? (L.flags | flag) : (L.flags & ~flag);
    };
    i32 const* M = m_state->Top(kStackModelview).w;
    switch (pname) {
    case GL_AMBIENT: colourFlag(kLightAmbient, L.ambient, params); break;
    case GL_DIFFUSE: colourFlag(kLightDiffuse, L.diffuse, params); break;
    case GL_SPECULAR: colourFlag(kLightSpecular, L.specular, params); break;
    case GL_POSITION: {
        _Vector4GL_ v{params[0], params[1], params[2], params[3]};
        P3DStateMan::gl_transform(v, M);
        L.position[0] = v.x;
        L.position[1] = v.y;
        L.position[2] = v.z;
        L.position[3] = v.w;
        if (params[3] != 0)
            L.flags &= ~kLightDirectional;
        else
            L.flags |= kLightDirectional;
        LightFlagsFromState(L);
        break;
    }
    case GL_SPOT_DIRECTION: {
        _Vector4GL_ v{params[0], params[1], params[2], 0};
        P3DStateMan::gl_transform(v, M);
        L.spotDirection[0] = v.x;
        L.spotDirection[1] = v.y;
        L.spotDirection[2] = v.z;
        break;
    }
    case GL_SPOT_EXPONENT: L.spotExponent = params[0]; break;
    case GL_SPOT_CUTOFF:
        L.spotCutoff = params[0];
        L.flags &= ~(kLightNoSpot | kLightSpot);
        L.flags |= L.spotCutoff == kCutoff180 ? kLightNoSpot : kLightSpot;
        break;
    default: { // the three attenuation factors
        L.attenuation[pname - GL_CONSTANT_ATTENUATION] = params[0];
        bool plain = L.attenuation[0] == kOne && L.attenuation[1] == 0 && L.attenuation[2] == 0;
        L.flags = plain ? (L.flags & ~kLightAttenuated) : (L.flags | kLightAttenuated);
        break;
    }
    }
}

void PFixedEmu::glLightfv(u32 light, u32 pname, f32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    int n = 1;
    if (pname == GL_AMBIENT || pname == GL_DIFFUSE || pname == GL_SPECULAR || pname == GL_POSITION)
        n = 4;
    else if (pname == GL_SPOT_DIRECTION)
        n = 3;
    i32 x[4] = {};
    for (int i = 0; i < n; ++i)
        x[i] = FloatToFixed(params[i]);
    glLightxv(light, pname, x);
}

// ---------------------------------------------------------------------------
// Fog

namespace {
// The fog parameters after one change (start, end, density, 1 / (end - start)).
void FogValue(f32* p, u32 pname, f32 value)
{
    if (pname == GL_FOG_DENSITY)
        p[2] = value;
    else if (pname == GL_FOG_START)
        p[0] = value;
    else
        p[1] = value;
    p[3] = p[1] == p[0] ? 0.0f : 1.0f / (p[1] - p[0]);
}
} // namespace

void PFixedEmu::glFogxv(u32 pname, i32 const* params)
{
    if (pname < GL_FOG_DENSITY || pname > GL_FOG_COLOR)
        return Error(GL_INVALID_ENUM);
    if (!params)
        return Error(GL_INVALID_VALUE);
    if (pname == GL_FOG_MODE) {
        m_fogMode = u32(params[0]);
    } else if (pname == GL_FOG_COLOR) {
        f32 c[4] = {ToFloat(params[0]), ToFloat(params[1]), ToFloat(params[2]), ToFloat(params[3])};
        SetFloats(kUniFogColor, m_fogColour, c, 4);
    } else {
        f32 p[4];
        std::memcpy(p, m_fogParams, sizeof p);
        FogValue(p, pname, ToFloat(params[0]));
        SetFloats(kUniFogStartEndDensityDiff, m_fogParams, p, 4);
    }
}

void PFixedEmu::glFogfv(u32 pname, f32 const* params)
{
    if (pname < GL_FOG_DENSITY || pname > GL_FOG_COLOR)
        return Error(GL_INVALID_ENUM);
    if (!params)
        return Error(GL_INVALID_VALUE);
    if (pname == GL_FOG_MODE) {
        m_fogMode = u32(FloatToInt(params[0]));
    } else if (pname == GL_FOG_COLOR) {
        f32 c[4] = {params[0], params[1], params[2], params[3]};
        SetFloats(kUniFogColor, m_fogColour, c, 4);
    } else {
        f32 p[4];
        std::memcpy(p, m_fogParams, sizeof p);
        FogValue(p, pname, params[0]);
        SetFloats(kUniFogStartEndDensityDiff, m_fogParams, p, 4);
    }
}

// ---------------------------------------------------------------------------
// Texture environment

void PFixedEmu::glTexEnvGeneric(u32, u32 pname, i32 value)
{
    P3DTextureUnit& tu = m_state->Unit(m_state->ActiveUnit());
    u32 v = u32(value);
    switch (pname) {
    case GL_COMBINE_RGB:
    case GL_COMBINE_ALPHA:
        switch (v) {
        case GL_DOT3_RGB:
        case GL_DOT3_RGBA:
            if (pname == GL_COMBINE_ALPHA)
                return Error(GL_INVALID_ENUM);
            [[fallthrough]];
        case GL_REPLACE:
        case GL_MODULATE:
        case GL_ADD:
        case GL_ADD_SIGNED:
        case GL_INTERPOLATE:
        case GL_SUBTRACT:
            (pname == GL_COMBINE_RGB ? tu.combineRGB : tu.combineAlpha) = v;
            return;
        default: return Error(GL_INVALID_ENUM);
        }
    case GL_SRC0_RGB:
    case GL_SRC1_RGB:
    case GL_SRC2_RGB:
    case GL_SRC0_ALPHA:
    case GL_SRC1_ALPHA:
    case GL_SRC2_ALPHA:
        if (v != GL_TEXTURE && v != GL_CONSTANT && v != GL_PRIMARY_COLOR && v != GL_PREVIOUS)
            return Error(GL_INVALID_ENUM);
        if (pname <= GL_SRC2_RGB)
            tu.srcRGB[pname - GL_SRC0_RGB] = v;
        else
            tu.srcAlpha[pname - GL_SRC0_ALPHA] = v;
        return;
    case GL_OPERAND0_RGB:
    case GL_OPERAND1_RGB:
    case GL_OPERAND2_RGB:
    case GL_OPERAND0_ALPHA:
    case GL_OPERAND1_ALPHA:
    case GL_OPERAND2_ALPHA: {
        bool alpha = pname >= GL_OPERAND0_ALPHA;
        if (v != GL_SRC_COLOR && v != GL_ONE_MINUS_SRC_COLOR && v != GL_SRC_ALPHA && v != GL_ONE_MINUS_SRC_ALPHA)
            return Error(GL_INVALID_ENUM);
        // An alpha argument has no colour to read: the combiner cannot be built.
        if (alpha && (v == GL_SRC_COLOR || v == GL_ONE_MINUS_SRC_COLOR))
            return Error(GL_INVALID_OPERATION);
        if (alpha)
            tu.operandAlpha[pname - GL_OPERAND0_ALPHA] = v;
        else
            tu.operandRGB[pname - GL_OPERAND0_RGB] = v;
        return;
    }
    case GL_TEXTURE_ENV_MODE:
    case GL_TEXTURE_ENV_COLOR:
    case GL_RGB_SCALE:
    case GL_ALPHA_SCALE: return;
    default: return Error(GL_INVALID_ENUM);
    }
}

void PFixedEmu::glTexEnvxv(u32 target, u32 pname, i32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    glTexEnvGeneric(target, pname, params[0]);
    u32 unit = m_state->ActiveUnit();
    if (pname == GL_TEXTURE_ENV_COLOR && unit < kUnits) {
        f32 c[4] = {ToFloat(params[0]), ToFloat(params[1]), ToFloat(params[2]), ToFloat(params[3])};
        SetFloats(kUniBlendColor0 + int(unit), m_envColour[unit], c, 4);
    } else if (pname == GL_RGB_SCALE || pname == GL_ALPHA_SCALE) {
        i32 v = params[0];
        if (v != kOne && v != 2 * kOne && v != 4 * kOne)
            return Error(GL_INVALID_VALUE);
        P3DTextureUnit& tu = m_state->Unit(unit);
        (pname == GL_RGB_SCALE ? tu.rgbScale : tu.alphaScale) = v;
    }
}

void PFixedEmu::glTexEnvfv(u32 target, u32 pname, f32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    glTexEnvGeneric(target, pname, FloatToInt(params[0]));
    u32 unit = m_state->ActiveUnit();
    if (pname == GL_TEXTURE_ENV_COLOR && unit < kUnits) {
        f32 c[4] = {params[0], params[1], params[2], params[3]};
        SetFloats(kUniBlendColor0 + int(unit), m_envColour[unit], c, 4);
    } else if (pname == GL_RGB_SCALE || pname == GL_ALPHA_SCALE) {
        f32 v = params[0];
        if (v != 1.0f && v != 2.0f && v != 4.0f)
            return Error(GL_INVALID_VALUE);
        P3DTextureUnit& tu = m_state->Unit(unit);
        (pname == GL_RGB_SCALE ? tu.rgbScale : tu.alphaScale) = i32(v) * kOne;
    }
}

void PFixedEmu::glTexEnviv(u32 target, u32 pname, i32 const* params)
{
    if (!params)
        return Error(GL_INVALID_VALUE);
    glTexEnvGeneric(target, pname, params[0]);
    u32 unit = m_state->ActiveUnit();
    if (pname == GL_TEXTURE_ENV_COLOR && unit < kUnits) {
        f32 c[4];
        for (int i = 0; i < 4; ++i)
            c[i] = f32(double(params[i]) / 2147483648.0);
        SetFloats(kUniBlendColor0 + int(unit), m_envColour[unit], c, 4);
    } else if (pname == GL_RGB_SCALE || pname == GL_ALPHA_SCALE) {
        i32 v = params[0];
        if (v != 1 && v != 2 && v != 4)
            return Error(GL_INVALID_VALUE);
        P3DTextureUnit& tu = m_state->Unit(unit);
        (pname == GL_RGB_SCALE ? tu.rgbScale : tu.alphaScale) = v * kOne;
    }
}

// ---------------------------------------------------------------------------
// Conversions to OpenGL ES 2.0

void PFixedEmu::glClearColorx(i32 r, i32 g, i32 b, i32 a)
{
    g_gles2.glClearColor(ToFloat(r), ToFloat(g), ToFloat(b), ToFloat(a));
}
void PFixedEmu::glClearDepthx(i32 d) { g_gles2.glClearDepthf(ToFloat(d)); }
void PFixedEmu::glDepthRangex(i32 n, i32 f) { g_gles2.glDepthRangef(ToFloat(n), ToFloat(f)); }
void PFixedEmu::glLineWidthx(i32 w) { g_gles2.glLineWidth(ToFloat(w)); }
void PFixedEmu::glPolygonOffsetx(i32 factor, i32 units) { g_gles2.glPolygonOffset(ToFloat(factor), ToFloat(units)); }
void PFixedEmu::glSampleCoveragex(i32 value, u8 invert) { g_gles2.glSampleCoverage(ToFloat(value), invert); }
void PFixedEmu::glTexParameterxv(u32 target, u32 pname, i32 const* params)
{
    g_gles2.glTexParameteriv(target, pname, params);
}

// ---------------------------------------------------------------------------
// Queries

void PFixedEmu::glGetFixedv(u32 pname, i32* data)
{
    if (pname == 0 || !data)
        return;
    if (pname == GL_CURRENT_COLOR) {
        u32 c = m_state->Colour();
        for (int i = 0; i < 4; ++i)
            data[i] = i32(((c >> (8 * i)) & 0xFF) * 65536u / 255u);
        return;
    }
    glGetIntegerv(pname, data);
}

void PFixedEmu::glGetPointerv(u32 pname, void** params)
{
    if (!params)
        return;
    u32 client = m_state->ClientActiveUnit() < kUnits ? m_state->ClientActiveUnit() : 0;
    switch (pname) {
    case GL_VERTEX_ARRAY_POINTER: *params = const_cast<void*>(m_arrays[0].pointer); return;
    case GL_NORMAL_ARRAY_POINTER: *params = const_cast<void*>(m_arrays[1].pointer); return;
    case GL_COLOR_ARRAY_POINTER: *params = const_cast<void*>(m_arrays[2].pointer); return;
    case GL_TEXTURE_COORD_ARRAY_POINTER: *params = const_cast<void*>(m_arrays[3 + client].pointer); return;
    default: return Error(GL_INVALID_ENUM);
    }
}

void PFixedEmu::glGetIntegerv(u32 pname, i32* data)
{
    if (pname == 0 || !data)
        return;
    P3DStateMan& sm = *m_state;
    auto recordOf = [&](int i) -> ClientArray const& { return m_arrays[i]; };
    u32 client = sm.ClientActiveUnit() < kUnits ? sm.ClientActiveUnit() : 0;
    switch (pname) {
    case GL_VERTEX_ARRAY:
    case GL_NORMAL_ARRAY:
    case GL_COLOR_ARRAY:
    case GL_ALPHA_TEST:
    // The OpenGL ES 1.x capabilities OpenGL ES 2.0 does not know.
    case GL_FOG:
    case GL_LIGHTING:
    case GL_COLOR_LOGIC_OP:
    case GL_COLOR_MATERIAL:
    case GL_NORMALIZE:
    case GL_RESCALE_NORMAL:
    case GL_LIGHT0:
    case GL_LIGHT1:
    case GL_LIGHT2:
    case GL_LIGHT3:
    case GL_LIGHT4:
    case GL_LIGHT5:
    case GL_LIGHT6:
    case GL_LIGHT7: {
        u32 bit = 0;
        if (pname >= GL_LIGHT0 && pname <= GL_LIGHT7) {
            bit = 1u << (12 + (pname - GL_LIGHT0));
        } else {
            for (int b = 0; b < 31; ++b)
                if (GLLowCapList[b] == pname)
                    bit = 1u << b;
        }
        data[0] = (sm.WantedLow() & bit) ? 1 : 0;
        return;
    }
    case GL_TEXTURE_COORD_ARRAY: data[0] = i32(sm.Unit(client).clientFlags & 1u); return;
    case GL_TEXTURE_2D: data[0] = sm.ActiveUnit() < kUnits ? i32(sm.Unit(sm.ActiveUnit()).flags & 1u) : 0; return;
    case GL_VERTEX_ARRAY_SIZE: data[0] = recordOf(0).size; return;
    case GL_VERTEX_ARRAY_TYPE: data[0] = i32(recordOf(0).type); return;
    case GL_VERTEX_ARRAY_STRIDE: data[0] = recordOf(0).stride; return;
    case GL_NORMAL_ARRAY_TYPE: data[0] = i32(recordOf(1).type); return;
    case GL_NORMAL_ARRAY_STRIDE: data[0] = recordOf(1).stride; return;
    case GL_COLOR_ARRAY_SIZE: data[0] = recordOf(2).size; return;
    case GL_COLOR_ARRAY_TYPE: data[0] = i32(recordOf(2).type); return;
    case GL_COLOR_ARRAY_STRIDE: data[0] = recordOf(2).stride; return;
    case GL_TEXTURE_COORD_ARRAY_SIZE: data[0] = recordOf(3 + int(client)).size; return;
    case GL_TEXTURE_COORD_ARRAY_TYPE: data[0] = i32(recordOf(3 + int(client)).type); return;
    case GL_TEXTURE_COORD_ARRAY_STRIDE: data[0] = recordOf(3 + int(client)).stride; return;
    // The buffer each array reads from, as GL answers it.
    case GL_VERTEX_ARRAY_BUFFER_BINDING: data[0] = i32(recordOf(0).buffer); return;
    case GL_NORMAL_ARRAY_BUFFER_BINDING: data[0] = i32(recordOf(1).buffer); return;
    case GL_COLOR_ARRAY_BUFFER_BINDING: data[0] = i32(recordOf(2).buffer); return;
    case GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING: data[0] = i32(recordOf(3 + int(client)).buffer); return;
    case GL_ACTIVE_TEXTURE: data[0] = i32(GL_TEXTURE0 + sm.ActiveUnit()); return;
    case GL_CLIENT_ACTIVE_TEXTURE: data[0] = i32(GL_TEXTURE0 + sm.ClientActiveUnit()); return;
    case GL_MATRIX_MODE: data[0] = i32(sm.MatrixModeEnum()); return;
    case GL_MAX_TEXTURE_UNITS: g_gles2.glGetIntegerv(es2::MAX_TEXTURE_IMAGE_UNITS, data); return;
    case GL_BLEND_SRC: g_gles2.glGetIntegerv(es2::BLEND_SRC_RGB, data); return;
    case GL_BLEND_DST: g_gles2.glGetIntegerv(es2::BLEND_DST_RGB, data); return;
    case GL_CURRENT_COLOR: return;
    case GL_CURRENT_NORMAL:
    case GL_CURRENT_TEXTURE_COORDS:
    case GL_POINT_SIZE:
    case GL_SMOOTH_POINT_SIZE_RANGE: // POINT_SIZE_RANGE
    case GL_SMOOTH_LINE_WIDTH_RANGE:
    case GL_LIGHT_MODEL_TWO_SIDE:
    case GL_LIGHT_MODEL_AMBIENT:
    case GL_SHADE_MODEL:
    case GL_FOG_DENSITY:
    case GL_FOG_START:
    case GL_FOG_END:
    case GL_FOG_MODE:
    case GL_FOG_COLOR:
    case GL_ALPHA_TEST_FUNC:
    case GL_ALPHA_TEST_REF:
    case GL_LOGIC_OP_MODE:
    case GL_PERSPECTIVE_CORRECTION_HINT:
    case GL_POINT_SMOOTH_HINT:
    case GL_LINE_SMOOTH_HINT:
    case GL_FOG_HINT:
    case GL_MAX_LIGHTS:
    case GL_MAX_CLIP_PLANES:
    case GL_MAX_PALETTE_MATRICES_OES:
    case GL_MATRIX_INDEX_ARRAY_SIZE_OES:
    case GL_MATRIX_INDEX_ARRAY_TYPE_OES:
    case GL_MATRIX_INDEX_ARRAY_STRIDE_OES:
    case GL_MAX_VERTEX_UNITS_OES:
    case GL_WEIGHT_ARRAY_SIZE_OES:
    case GL_WEIGHT_ARRAY_TYPE_OES:
    case GL_WEIGHT_ARRAY_STRIDE_OES:
    case GL_WEIGHT_ARRAY_BUFFER_BINDING_OES:
    case GL_POINT_SIZE_ARRAY_TYPE_OES:
    case GL_POINT_SIZE_ARRAY_STRIDE_OES:
    case GL_MATRIX_INDEX_ARRAY_BUFFER_BINDING_OES:
    case GL_POINT_SIZE_ARRAY_BUFFER_BINDING_OES: return Error(GL_INVALID_ENUM);
    default: g_gles2.glGetIntegerv(pname, data); return;
    }
}

} // namespace vornGL
