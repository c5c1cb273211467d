// The state manager: enable words, blend function, current colour, the
// one-deep state save and the error record.
#include "gl/glstateman.h"

#include "engine/runtime/palloc.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cstring>

namespace vornGL {

const u32 GLLowCapList[31] = {
    GL_TEXTURE_2D, GL_CULL_FACE, GL_BLEND, GL_DITHER, GL_STENCIL_TEST, GL_DEPTH_TEST,
    GL_SCISSOR_TEST, GL_POLYGON_OFFSET_FILL, GL_FOG, GL_LIGHTING, GL_ALPHA_TEST,
    GL_COLOR_LOGIC_OP, GL_LIGHT0, GL_LIGHT1, GL_LIGHT2, GL_LIGHT3, GL_LIGHT4, GL_LIGHT5,
    GL_LIGHT6, GL_LIGHT7, 0, 0, GL_COLOR_MATERIAL, GL_NORMALIZE, GL_RESCALE_NORMAL,
    GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY, 0, 0,
};

const u32 GLHighCapList[6] = {
    GL_MULTISAMPLE, GL_SAMPLE_ALPHA_TO_ONE, GL_SAMPLE_ALPHA_TO_COVERAGE,
    GL_SAMPLE_COVERAGE, GL_POINT_SMOOTH, GL_LINE_SMOOTH,
};

namespace {
constexpr u32 kHighWord = 0x80000000u;
constexpr int kBitTexture2D = 0;
constexpr int kBitStencil = 4;
constexpr int kBitClientFirst = 25; // vertex, normal, colour arrays: 25, 26, 27
constexpr int kBitTexCoordArray = 28;
constexpr int kBitPerspectiveHint = 29;
constexpr int kBitShading = 30;

// A capability or client array switched on the back end at once (none: nothing).
void SendCap(P3DBackend* backend, u32 cap, bool on)
{
    if (!backend)
        return;
    if (on)
        backend->glEnable(cap);
    else
        backend->glDisable(cap);
}

void SendClientCap(P3DBackend* backend, u32 cap, bool on)
{
    if (!backend)
        return;
    if (on)
        backend->glEnableClientState(cap);
    else
        backend->glDisableClientState(cap);
}
} // namespace

P3DStateMan::P3DStateMan()
{
    m_backend = nullptr;
    m_saved.blendSrc = GL_ONE;
    m_saved.blendDst = GL_ZERO;
    m_saved.colour = 0xFFFFFFFFu;
    m_saved.envMode = GL_MODULATE;
    // Popping before any push restores the construction state.
    m_saved.wantedLow = 0;
    m_saved.wantedHigh = kHighWord;
    m_textures = nullptr;
    m_texCount = 0;
    m_texCapacity = 0;
    m_texBackup = 0;
    m_error = 0;
    std::memset(m_errorName, 0, sizeof m_errorName);
    m_appliedLow = m_wantedLow = 0;
    m_blendSrc = GL_ONE;
    m_blendDst = GL_ZERO;
    m_colour = 0xFFFFFFFFu;
    m_appliedHigh = m_wantedHigh = kHighWord;
    m_viewport = PRect{0, 0, 0, 0};
    InitMatrices();
    InitTextures();
}

P3DStateMan::~P3DStateMan()
{
    for (int i = 0; i < m_texCount; ++i)
        FreeLevels(m_textures[i]);
    if (m_textures)
        PFree(m_textures);
}

void P3DStateMan::SetBackend(P3DBackend* b)
{
    m_backend = b;
    if (!b)
        return;
    i32 units = static_cast<i32>(m_unitCount);
    b->glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    if (units < 0)
        units = 0;
    if (units > kMaxTextureUnits)
        units = kMaxTextureUnits;
    m_unitCount = static_cast<u32>(units);
    if (m_activeUnit >= m_unitCount && m_unitCount > 0)
        m_activeUnit = 0;
    if (m_clientActiveUnit >= m_unitCount && m_unitCount > 0)
        m_clientActiveUnit = 0;
}

// ---------------------------------------------------------------------------
// Enables

void P3DStateMan::EnableDisableCap(u32 cap, u8 on)
{
    if (cap == GL_TEXTURE_2D) {
        SetUnitTexture2D(on);
        return;
    }
    if (cap == GL_TEXTURE_COORD_ARRAY) {
        SetUnitTexCoordArray(on);
        return;
    }
    if (cap == GL_STENCIL_TEST) {
        // Sent at once and cached: the applied word keeps its old value, so
        // the next apply may send the same state once more.
        SendCap(m_backend, GL_STENCIL_TEST, on);
        EnableDisableP3DState(1u << kBitStencil, on);
        return;
    }
    if (cap >= GL_LIGHT0 && cap <= GL_LIGHT7) {
        EnableDisableP3DState(1u << (12 + (cap & 0xFF)), on);
        return;
    }
    if (cap != 0) {
        for (int bit = 0; bit < 31; ++bit) {
            if (GLLowCapList[bit] == cap) {
                EnableDisableP3DState(1u << bit, on);
                return;
            }
        }
        for (int bit = 0; bit < 6; ++bit) {
            if (GLHighCapList[bit] == cap) {
                EnableDisableP3DState(kHighWord | (1u << bit), on);
                return;
            }
        }
    }
    SetError(0x1500);
}

// The texture enable of the active unit and the texture-coordinate array of
// the client-active unit are kept per unit and sent at once.
void P3DStateMan::SetUnitTexture2D(bool on)
{
    P3DTextureUnit& u = m_units[m_activeUnit];
    u.flags = on ? (u.flags | 1u) : (u.flags & ~1u);
    SendCap(m_backend, GL_TEXTURE_2D, on);
}

void P3DStateMan::SetUnitTexCoordArray(bool on)
{
    P3DTextureUnit& u = m_units[m_clientActiveUnit];
    u.clientFlags = on ? (u.clientFlags | 1u) : (u.clientFlags & ~1u);
    SendClientCap(m_backend, GL_TEXTURE_COORD_ARRAY, on);
}

void P3DStateMan::EnableDisableP3DState(P3DStateFlags flag, u8 on)
{
    u32& word = (flag & kHighWord) ? m_wantedHigh : m_wantedLow;
    if (on)
        word |= flag;
    else
        word &= ~(flag & ~kHighWord);
}

bool P3DStateMan::IsEnabled(P3DStateFlags flag) const
{
    u32 word = (flag & kHighWord) ? m_wantedHigh : m_wantedLow;
    return (word & flag & ~kHighWord) != 0;
}

void P3DStateMan::StateUpdate(P3DStateFlags value, u32 mask)
{
    static const int kCachedFirst[] = {10, 2, 3, 1, 5};
    for (int bit : kCachedFirst)
        if (mask & (1u << bit))
            EnableDisableP3DState(1u << bit, (value >> bit) & 1);
    if (mask & (1u << kBitTexture2D))
        SetUnitTexture2D(value & 1u);
    static const int kCachedSecond[] = {30, 29, 26, 27};
    for (int bit : kCachedSecond)
        if (mask & (1u << bit))
            EnableDisableP3DState(1u << bit, (value >> bit) & 1);
    if (mask & (1u << kBitTexCoordArray))
        SetUnitTexCoordArray((value >> kBitTexCoordArray) & 1u);
}

void P3DStateMan::ApplyEnableDisable()
{
    if (!m_backend)
        return;
    u32 changed = m_wantedLow ^ m_appliedLow;
    if (changed) {
        bool api2 = m_backend->vornGLGetAPI() == kAPIES20;
        while (changed) {
            int bit = __builtin_ctz(changed);
            changed &= changed - 1;
            bool on = (m_wantedLow >> bit) & 1u;
            u32 cap = bit < 31 ? GLLowCapList[bit] : 0;
            if (bit == kBitPerspectiveHint) {
                if (!api2)
                    m_backend->glHint(GL_PERSPECTIVE_CORRECTION_HINT, on ? GL_NICEST : GL_FASTEST);
            } else if (bit == kBitShading) {
                if (!api2)
                    m_backend->glShadeModel(on ? GL_SMOOTH : GL_FLAT);
            } else if (cap == 0) {
                // A bit without a capability of its own (free for a back end's use).
            } else if (bit >= kBitClientFirst && bit <= kBitTexCoordArray) {
                SendClientCap(m_backend, cap, on);
            } else {
                SendCap(m_backend, cap, on);
            }
        }
        m_appliedLow = m_wantedLow;
    }
    changed = (m_wantedHigh ^ m_appliedHigh) & 0x3Fu;
    while (changed) {
        int bit = __builtin_ctz(changed);
        changed &= changed - 1;
        SendCap(m_backend, GLHighCapList[bit], (m_wantedHigh >> bit) & 1u);
    }
    m_appliedHigh = m_wantedHigh;
}

// ---------------------------------------------------------------------------
// Blend, colour, state save

void P3DStateMan::glBlendFunc(u32 s, u32 d)
{
    m_blendSrc = s;
    m_blendDst = d;
}

void P3DStateMan::glColor4ub(u8 r, u8 g, u8 b, u8 a)
{
    m_colour = u32(r) | u32(g) << 8 | u32(b) << 16 | u32(a) << 24;
}

void P3DStateMan::glColor4x(i32 r, i32 g, i32 b, i32 a)
{
    auto byte = [](i32 c) -> u32 {
        if (c < 0)
            c = 0;
        if (c > 0x10000)
            c = 0x10000;
        return static_cast<u32>((c * 255) >> 16);
    };
    m_colour = byte(r) | byte(g) << 8 | byte(b) << 16 | byte(a) << 24;
}

void P3DStateMan::PushStates()
{
    m_saved.wantedLow = m_wantedLow;
    m_saved.wantedHigh = m_wantedHigh;
    m_saved.blendSrc = m_blendSrc;
    m_saved.blendDst = m_blendDst;
    m_saved.envMode = m_units[m_activeUnit].envMode;
    m_saved.colour = m_colour;
}

void P3DStateMan::PopStates()
{
    m_wantedLow = m_saved.wantedLow;
    m_wantedHigh = m_saved.wantedHigh | kHighWord;
    m_blendSrc = m_saved.blendSrc;
    m_blendDst = m_saved.blendDst;
    m_colour = m_saved.colour;
    m_units[m_activeUnit].envMode = m_saved.envMode;
    if (!m_backend)
        return;
    m_backend->glBlendFunc(m_blendSrc, m_blendDst);
    m_backend->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<i32>(m_saved.envMode));
    auto fixed = [](u32 c) -> i32 { return static_cast<i32>((c * 65536u) / 255u); };
    m_backend->glColor4x(fixed(m_colour & 0xFF), fixed((m_colour >> 8) & 0xFF),
                         fixed((m_colour >> 16) & 0xFF), fixed(m_colour >> 24));
}

// ---------------------------------------------------------------------------
// Errors

void P3DStateMan::SetError(u32 code)
{
    m_error = code;
    std::memset(m_errorName, 0, sizeof m_errorName);
}

void P3DStateMan::SetError(u32 code, char const* name)
{
    m_error = code;
    std::memset(m_errorName, 0, sizeof m_errorName);
    if (name) {
        // At most 99 characters, so the name always ends in a terminator.
        size_t n = strnlen(name, sizeof m_errorName - 1);
        std::memcpy(m_errorName, name, n);
    }
}

u32 P3DStateMan::glGetError()
{
    u32 recorded = m_error;
    m_error = 0;
    if (m_backend) {
        u32 own = m_backend->glGetError();
        if (own != 0)
            return own;
    }
    if (recorded == 0)
        return 0;
    if (recorded & 0x1000)
        return recorded - 0x1000;
    if (recorded & 0x2000)
        return recorded - 0x2000;
    if (recorded & 0x4000)
        return recorded - 0x4000;
    return recorded;
}

} // namespace vornGL
