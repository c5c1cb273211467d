// The span table and the choice of its row for a draw call.
//
// Rows 0-119 (no texture, or 565 texels): 20 b + 10 z + k, with b the blend
// index (0 none, 1 SRC_ALPHA/ONE_MINUS_SRC_ALPHA, 2 SRC_ALPHA/ONE, 3 ONE/ONE,
// 4 DST_COLOR/ZERO, 5 DST_COLOR/SRC_COLOR), z the depth test and k the kind:
// 0 flat, 1 smooth, 2 texture (REPLACE, DECAL), 3 MODULATE, 4 ADD or BLEND,
// 5 MODULATE with grey vertex colours, 6-9 the same four with perspective.
// Under the blends of b = 1-3, MODULATE (kinds 3, 5, 7, 9) multiplies the
// texel by the vertex colour before blending, as REPLACE does not.
// Rows 120-167 (4444 texels) and 168-215 (88 texels): base + 8 b + g + 2 z +
// 4 p, with g for MODULATE and p for perspective. Row 216 is the bilinear
// alpha span, row 217 the noise span.
#include "gl/software/swbackend.h"
#include "gl/software/swgl.h"
#include "gl/software/swspanlist.h"

#include <algorithm>

namespace vornGL {

using namespace swgl;

namespace {

struct SpanRef {
    PSpanFn fn;
    char const* name;
};

struct SetupRef {
    PGradientFn gradient;
    PEdgeFn left;
    char const* name;
};

struct RowDef {
    SetupRef setup;
    SpanRef span;
};

#define S(name) SpanRef{name, #name}

constexpr SetupRef kFlat{GradientFlat, LeftSlopeFlat, "Flat"};
constexpr SetupRef kGouraud{GradientGouraud, LeftSlopeGouraud, "Gouraud"};
constexpr SetupRef kUV{GradientUV, LeftSlopeUV, "UV"};
constexpr SetupRef kUVG{GradientUVG, LeftSlopeUVG, "UVG"};
constexpr SetupRef kAll{GradientAll, LeftSlopeAll, "All"};
constexpr SetupRef kAllP{GradientAllP, LeftSlopeAllP, "AllP"};
constexpr SetupRef kNoice{GradientNoice, LeftSlopeNoice, "Noice"};

// Span routines of rows 0-119 by kind, blend index (0-3; 4 and 5 below) and
// depth test.
constexpr SpanRef kLowSpans[10][4][2] = {
    {{S(DrawInnerFlat), S(DrawInnerFlatZ)}, {S(PDrawAFAsm), S(PDrawAFZAsm)}, {S(PDrawAAFAsm), S(PDrawAAFZAsm)},
     {S(PDrawADDFAsm), S(PDrawADDFZAsm)}},
    {{S(PDrawCSAsm), S(PDrawZCSAsm)}, {S(PDrawAGAsm), S(PDrawAGZAsm)}, {S(PDrawAAGAsm), S(PDrawAAGZAsm)},
     {S(PDrawADDGAsm), S(PDrawADDGZAsm)}},
    {{S(PDrawTAsm), S(PDrawZTAsm)}, {S(PDrawATAsm), S(PDrawATZAsm)}, {S(PDrawAATAsm), S(PDrawAATZAsm)},
     {S(PDrawADDTAsm), S(PDrawADDTZAsm)}},
    {{S(PDrawGTAsm), S(PDrawGTZAsm)}, {S(DrawInnerAGT), S(DrawInnerAGTZ)}, {S(DrawInnerAAGT), S(DrawInnerAAGTZ)},
     {S(DrawInnerADDGT), S(DrawInnerADDGTZ)}},
    {{S(PDrawBTAsm), S(PDrawBTZAsm)}, {S(PDrawBTAsm), S(PDrawBTZAsm)}, {S(PDrawBTAsm), S(PDrawBTZAsm)},
     {S(PDrawBTAsm), S(PDrawBTZAsm)}},
    {{S(PDrawGWTAsm), S(PDrawGWTZAsm)}, {S(DrawInnerAGT), S(DrawInnerAGTZ)}, {S(DrawInnerAAGT), S(DrawInnerAAGTZ)},
     {S(DrawInnerADDGT), S(DrawInnerADDGTZ)}},
    {{S(PDrawTPAsm), S(PDrawZTPAsm)}, {S(PDrawATPAsm), S(PDrawATPZAsm)}, {S(PDrawAATPAsm), S(PDrawAATPZAsm)},
     {S(PDrawADDTPAsm), S(PDrawADDTPZAsm)}},
    {{S(PDrawGTPAsm), S(PDrawGTPZAsm)}, {S(DrawInnerAGTP), S(DrawInnerAGTPZ)}, {S(DrawInnerAAGTP), S(DrawInnerAAGTPZ)},
     {S(DrawInnerADDGTP), S(DrawInnerADDGTPZ)}},
    {{S(PDrawBTPAsm), S(PDrawBTPZAsm)}, {S(PDrawBTPAsm), S(PDrawBTPZAsm)}, {S(PDrawBTPAsm), S(PDrawBTPZAsm)},
     {S(PDrawBTPAsm), S(PDrawBTPZAsm)}},
    {{S(PDrawGWTPAsm), S(PDrawGWTPZAsm)}, {S(DrawInnerAGTP), S(DrawInnerAGTPZ)}, {S(DrawInnerAAGTP), S(DrawInnerAAGTPZ)},
     {S(DrawInnerADDGTP), S(DrawInnerADDGTPZ)}},
};

// Span routines of the 4444 and 88 blocks by blend index and m = g + 2 z + 4 p.
constexpr SpanRef k4444Spans[6][8] = {
    {S(DrawInnerT4444), S(DrawInnerGT4444), S(DrawInnerTZ4444), S(DrawInnerGTZ4444), S(DrawInnerTP4444),
     S(DrawInnerGTP4444), S(DrawInnerTPZ4444), S(DrawInnerGTPZ4444)},
    {S(DrawInnerAT4444), S(DrawInnerAGT4444), S(DrawInnerATZ4444), S(DrawInnerAGTZ4444), S(DrawInnerATP4444),
     S(DrawInnerAGTP4444), S(DrawInnerATPZ4444), S(DrawInnerAGTPZ4444)},
    {S(DrawInnerAAT4444), S(DrawInnerAAGT4444), S(DrawInnerAATZ4444), S(DrawInnerAAGTZ4444), S(DrawInnerAATP4444),
     S(DrawInnerAAGTP4444), S(DrawInnerAATPZ4444), S(DrawInnerAAGTPZ4444)},
    {S(DrawInnerAAT4444), S(DrawInnerAAGT4444), S(DrawInnerAATZ4444), S(DrawInnerAAGTZ4444), S(DrawInnerAATP4444),
     S(DrawInnerAAGTP4444), S(DrawInnerAATPZ4444), S(DrawInnerAAGTPZ4444)},
    {S(DrawInnerMT4444), S(DrawInnerMGT4444), S(DrawInnerMTZ4444), S(DrawInnerMGTZ4444), S(DrawInnerMTP4444),
     S(DrawInnerMGTP4444), S(DrawInnerMTPZ4444), S(DrawInnerMGTPZ4444)},
    {S(DrawInnerMX2T4444), S(DrawInnerMX2GT4444), S(DrawInnerMX2TZ4444), S(DrawInnerMX2GTZ4444),
     S(DrawInnerMX2TP4444), S(DrawInnerMX2GTP4444), S(DrawInnerMX2TPZ4444), S(DrawInnerMX2GTPZ4444)},
};

constexpr SpanRef k88Spans[6][8] = {
    {S(DrawInnerT88), S(DrawInnerGT88), S(DrawInnerTZ88), S(DrawInnerGTZ88), S(DrawInnerTP88), S(DrawInnerGTP88),
     S(DrawInnerTPZ88), S(DrawInnerGTPZ88)},
    {S(DrawInnerAT88), S(PDrawAGT88Asm), S(DrawInnerATZ88), S(DrawInnerAGTZ88), S(DrawInnerATP88),
     S(DrawInnerAGTP88), S(DrawInnerATPZ88), S(DrawInnerAGTPZ88)},
    {S(DrawInnerAAT88), S(DrawInnerAAGT88), S(DrawInnerAATZ88), S(DrawInnerAAGTZ88), S(DrawInnerAATP88),
     S(DrawInnerAAGTP88), S(DrawInnerAATPZ88), S(DrawInnerAAGTPZ88)},
    {S(DrawInnerADDT88), S(DrawInnerADDGT88), S(DrawInnerADDTZ88), S(DrawInnerADDGTZ88), S(DrawInnerAATP88),
     S(DrawInnerAAGTP88), S(DrawInnerAATPZ88), S(DrawInnerAAGTPZ88)},
    {S(DrawInnerMT88), S(DrawInnerMGT88), S(DrawInnerMTZ88), S(DrawInnerMGTZ88), S(DrawInnerMTP88),
     S(DrawInnerMGTP88), S(DrawInnerMTPZ88), S(DrawInnerMGTPZ88)},
    {S(DrawInnerMX2T88), S(DrawInnerMX2GT88), S(DrawInnerMX2TZ88), S(DrawInnerMX2GTZ88), S(DrawInnerMX2TP88),
     S(DrawInnerMX2GTP88), S(DrawInnerMX2TPZ88), S(DrawInnerMX2GTPZ88)},
};

constexpr RowDef MakeRow(int row)
{
    if (row < 120) {
        int b = row / 20, z = (row / 10) % 2, k = row % 10;
        SetupRef setup = kFlat;
        if (k == 1)
            setup = kGouraud;
        else if (k >= 2 && k <= 5)
            setup = b >= 4 ? kAllP : (b == 0 && k == 2) ? kUV : kUVG;
        else if (k >= 6)
            setup = b >= 4 ? kAllP : kAll;
        SpanRef span = S(DrawInnerGeneric);
        if (b < 4)
            span = kLowSpans[k][b][z];
        else if (k == 0)
            span = S(DrawInnerFlat);
        else if (k == 1)
            span = S(PDrawCSAsm);
        return RowDef{setup, span};
    }
    if (row < 216) {
        int base = row < 168 ? 120 : 168;
        int b = (row - base) / 8, m = (row - base) % 8;
        SetupRef setup = m < 4 ? kUVG : kAll;
        return RowDef{setup, base == 120 ? k4444Spans[b][m] : k88Spans[b][m]};
    }
    if (row == 216)
        return RowDef{kUVG, S(DrawInnerABGT88)};
    return RowDef{kNoice, S(DrawInnerNoice)};
}

#undef S

constexpr std::array<RowDef, kSpanRows> MakeRows()
{
    std::array<RowDef, kSpanRows> rows{};
    for (int r = 0; r < kSpanRows; ++r)
        rows[r] = MakeRow(r);
    return rows;
}

constexpr std::array<RowDef, kSpanRows> kRows = MakeRows();

constexpr std::array<PPolyFuncs, kSpanRows> MakeTable()
{
    std::array<PPolyFuncs, kSpanRows> t{};
    for (int r = 0; r < kSpanRows; ++r)
        t[r] = PPolyFuncs{kRows[r].setup.gradient, kRows[r].setup.left, RightSlope, kRows[r].span.fn};
    return t;
}

} // namespace

const std::array<PPolyFuncs, kSpanRows> m_polyfunc = MakeTable();

char const* SpanRowName(int row) { return row >= 0 && row < kSpanRows ? kRows[row].span.name : ""; }
char const* SetupRowName(int row) { return row >= 0 && row < kSpanRows ? kRows[row].setup.name : ""; }

// The row of the current state; also the current texture of the draw call
// and, for 565 textures under REPLACE with RGBA data and alpha blending, the
// colour key.
void P3DBackendSW::UpdateRender()
{
    u32 unit = m_stateMan->ActiveUnit() % kMaxTextureUnits;
    P3DTextureUnit const& U = m_stateMan->Unit(unit);
    PSWTexture* rec = m_boundTexture;
    u32 enables = m_stateMan->WantedLow();
    bool blend = enables & kEnBlend;
    bool depth = enables & kEnDepthTest;
    u32 env = U.envMode;
    m_currentTexture = nullptr;
    i32 row;
    if (!(U.flags & 1u) || !rec || !rec->data) {
        row = m_shadeModel == SMOOTH ? 1 : 0;
    } else if (rec->type == UNSIGNED_SHORT_4_4_4_4 || rec->type == LUMINANCE_ALPHA) {
        row = rec->type == UNSIGNED_SHORT_4_4_4_4 ? 120 : 168;
        if (blend) {
            switch (m_blendMode) {
            case 1: row += 8; break;
            case 2: row += 16; break;
            case 4: row += 24; break;
            case 8: row += 32; break;
            case 16: row += 40; break;
            default: break;
            }
        }
        if (env == MODULATE)
            row += 1;
        if (depth)
            row += 2;
        if (m_perspective)
            row += 4;
        if (row == 177 && m_linearFilter)
            row = 216;
        m_currentTexture = rec;
        m_renderRow = row;
        return;
    } else {
        m_currentTexture = rec;
        row = env == MODULATE ? 3 : (env == ADD || env == BLEND) ? 4 : 2;
        if (m_perspective)
            row += 4;
    }
    if (depth)
        row += 10;
    if (blend) {
        switch (m_blendMode) {
        case 1:
            if (m_currentTexture && env == REPLACE) {
                if (m_currentTexture->format == RGBA)
                    m_setup.colourKey = 1;
            } else {
                row += 20;
                KeyModulatedAlpha(env);
            }
            break;
        case 2:
            row += 40;
            KeyModulatedAlpha(env);
            break;
        case 4: row += 60; break;
        case 8: row += 80; break;
        case 16: row += 100; break;
        default: break;
        }
    }
    m_renderRow = row;
}

// Under MODULATE a texel of alpha 0 (a keyed 5551 texel) gives a fragment of
// alpha 0, which the alpha blends leave out.
void P3DBackendSW::KeyModulatedAlpha(u32 env)
{
    if (m_currentTexture && env == MODULATE && m_currentTexture->format == RGBA)
        m_setup.colourKey = 1;
}

// The spans key texels of zero alpha instead of comparing with the alpha
// reference. A draw whose every fragment has the current colour's alpha
// (no texture, or 565 texels under an environment other than REPLACE, with
// neither a colour array nor lighting) is compared here once, as a whole, so
// that a faded model the test rejects does not appear. Keyed texels have alpha
// 0 and stay skipped.
bool P3DBackendSW::AlphaTestRejectsDraw() const
{
    u32 enables = m_stateMan->WantedLow();
    if (!(enables & kEnAlphaTest) || (enables & kEnLighting) || (m_colorArray.enabled && m_colorArray.pointer))
        return false;
    if (m_currentTexture) {
        u32 unit = m_stateMan->ActiveUnit() % kMaxTextureUnits;
        if (m_currentTexture->type == UNSIGNED_SHORT_4_4_4_4 || m_currentTexture->type == LUMINANCE_ALPHA ||
            m_stateMan->Unit(unit).envMode == REPLACE)
            return false;
    }
    // alpha / 255 against ref / 65536 (clamped to 0..1), both scaled by 255 * 65536.
    int64_t a = int64_t(m_stateMan->Colour() >> 24) * 65536;
    int64_t ref = int64_t(std::clamp(m_alphaRef, 0, 0x10000)) * 255;
    switch (m_alphaFunc) {
    case NEVER: return true;
    case LESS: return !(a < ref);
    case EQUAL: return a != ref;
    case LEQUAL: return !(a <= ref);
    case GREATER: return !(a > ref);
    case NOTEQUAL: return a == ref;
    case GEQUAL: return !(a >= ref);
    default: return false;
    }
}

} // namespace vornGL
