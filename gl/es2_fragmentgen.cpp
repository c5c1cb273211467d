// The fragment shader generator: the texture environment of every enabled
// unit (REPLACE, MODULATE, DECAL, ADD, BLEND and COMBINE), fog, the alpha test
// and the debugging tint.
#include "engine/runtime/psprintf.h"
#include "gl/es2_fixedemu.h"

#include <GLES/gl.h>

namespace vornGL {

char const* const color_tints[14][4] = {
    {"1.0", "0.0", "0.0", "// Red"},         {"1.0", "0.84", "0.0", "// Yellow"},
    {"0.0", "1.0", "0.0", "// Green"},       {"0.0", "1.0", "1.0", "// Magneta"},
    {"0.0", "0.58", "1.0", "// Light blue"}, {"0.0", "0.0", "1.0", "// Blue"},
    {"0.69", "0.0", "1.0", "// Purple"},     {"1.0", "1.0", "1.0", "// Grey"},
    {"0.5", "0.41", "0.0", "// Dark Yellow"}, {"0.0", "0.5", "0.0", "// Dark Green"},
    {"0.0", "0.0", "0.5", "// Dark blue"},   {"0.5", "0.0", "0.0", "// Dark Red"},
    {"0.5", "0.0", "0.4", "// Dark Purple"}, {"1.0", "0.41", "0.0", "// Orange"},
};

namespace {

constexpr u32 kBitFog = 1u << 8;
constexpr u32 kBitLighting = 1u << 9;
constexpr u32 kBitAlphaTest = 1u << 10;
constexpr u32 kBitColorArray = 1u << 27;

using S = PPaperDoll::ShaderString;
using PD = PPaperDoll;

void Decl(S& s, char const* head, char const* name)
{
    s += head;
    s += name;
    s += PD::newLine;
}

// How many arguments a combine function reads.
int ArgumentsOf(u32 f)
{
    switch (f) {
    case GL_REPLACE: return 1;
    case GL_MODULATE:
    case GL_ADD:
    case GL_ADD_SIGNED:
    case GL_SUBTRACT:
    case GL_DOT3_RGB:
    case GL_DOT3_RGBA: return 2;
    case GL_INTERPOLATE: return 3;
    default: return 0;
    }
}

} // namespace

void DeclareSrc(PPaperDoll::ShaderString& s, char const* name, int unit, char const* primaryName, bool rgb,
                unsigned source, unsigned operand)
{
    if (!name)
        return;
    s += rgb ? "lowp vec3 " : "lowp float ";
    s += name;
    s += " = ";
    char const* src = "";
    switch (source) {
    case GL_TEXTURE: src = "tex_color"; break;
    case GL_CONSTANT: src = (unit >= 0 && unit < 8) ? PD::uniformNames[kUniBlendColor0 + unit] : ""; break;
    case GL_PRIMARY_COLOR: src = primaryName; break;
    case GL_PREVIOUS: src = "rgba_color"; break;
    default: break;
    }
    if (rgb) {
        switch (operand) {
        case GL_SRC_COLOR:
            s += src;
            s += ".rgb";
            break;
        case GL_ONE_MINUS_SRC_COLOR:
            s += "vec3(1.0) - ";
            s += src;
            s += ".rgb";
            break;
        case GL_SRC_ALPHA:
            s += src;
            s += ".aaa";
            break;
        case GL_ONE_MINUS_SRC_ALPHA:
            s += "vec3(1.0) - ";
            s += src;
            s += ".aaa";
            break;
        default: break;
        }
    } else {
        switch (operand) {
        case GL_SRC_ALPHA:
            s += src;
            s += ".a";
            break;
        case GL_ONE_MINUS_SRC_ALPHA:
            s += "1.0 - ";
            s += src;
            s += ".a";
            break;
        default: break;
        }
    }
    s += PD::newLine;
}

void PPaperDoll::SetupTextureCombiner(ShaderString& s, int unit, char const* coordName, char const* primaryName,
                                      PFixedEmu const& emu)
{
    P3DTextureUnit const& tu = emu.State().Unit(u32(unit));
    s += "{\n";
    s += "lowp vec4 tex_color = texture2D(";
    s += uniformNames[kUniTexture0 + unit];
    s += ", ";
    s += coordName;
    s += ");\n";
    int nRGB = ArgumentsOf(tu.combineRGB);
    int nAlpha = tu.combineAlpha == GL_DOT3_RGB || tu.combineAlpha == GL_DOT3_RGBA ? 0 : ArgumentsOf(tu.combineAlpha);
    static char const* const rgbNames[3] = {"src0_rgb", "src1_rgb", "src2_rgb"};
    static char const* const alphaNames[3] = {"src0_alpha", "src1_alpha", "src2_alpha"};
    for (int a = 0; a < 3; ++a)
        DeclareSrc(s, a < nRGB ? rgbNames[a] : nullptr, unit, primaryName, true, tu.srcRGB[a], tu.operandRGB[a]);
    for (int a = 0; a < 3; ++a)
        DeclareSrc(s, a < nAlpha ? alphaNames[a] : nullptr, unit, primaryName, false, tu.srcAlpha[a],
                   tu.operandAlpha[a]);

    if (tu.combineRGB == GL_DOT3_RGB || tu.combineRGB == GL_DOT3_RGBA) {
        s += "mediump vec3 result_rgb = vec3(4.0);\n";
        s += "result_rgb *= dot(src0_rgb - vec3(0.5), src1_rgb - vec3(0.5))";
        s += newLine;
    } else {
        s += "lowp vec3 result_rgb = ";
        switch (tu.combineRGB) {
        case GL_REPLACE: s += "src0_rgb"; break;
        case GL_MODULATE: s += "src0_rgb * src1_rgb"; break;
        case GL_ADD: s += "src0_rgb + src1_rgb"; break;
        case GL_ADD_SIGNED: s += "src0_rgb + src1_rgb - vec3(0.5)"; break;
        case GL_INTERPOLATE: s += "mix(src1_rgb,src0_rgb,src2_rgb)"; break;
        case GL_SUBTRACT: s += "src0_rgb - src1_rgb"; break;
        default: break;
        }
        s += newLine;
    }
    s += "lowp float result_alpha = ";
    switch (tu.combineAlpha) {
    case GL_REPLACE: s += "src0_alpha"; break;
    case GL_MODULATE: s += "src0_alpha * src1_alpha"; break;
    case GL_ADD: s += "src0_alpha + src1_alpha"; break;
    case GL_ADD_SIGNED: s += "src0_alpha + src1_alpha - (0.5)"; break;
    case GL_INTERPOLATE: s += "mix(src1_alpha,src0_alpha,src2_alpha)"; break;
    case GL_SUBTRACT: s += "src0_alpha - src1_alpha"; break;
    default: break;
    }
    s += newLine;
    s += "rgba_color = vec4(result_rgb, result_alpha);\n";
    s += "}\n";
}

char* PPaperDoll::CreateFragmentShader(PFixedEmu const& emu, unsigned fragmentHash)
{
    P3DStateMan& sm = emu.State();
    u32 const E = sm.WantedLow();
    u32 units = sm.UnitCount();
    if (units > PFixedEmu::kUnits)
        units = PFixedEmu::kUnits;

    bool enabled[PFixedEmu::kUnits] = {}, coords[PFixedEmu::kUnits] = {};
    int enabledCount = 0;
    for (u32 u = 0; u < units; ++u) {
        enabled[u] = sm.Unit(u).flags & 1u;
        coords[u] = enabled[u] && (sm.Unit(u).clientFlags & 1u);
        enabledCount += enabled[u];
    }
    // The coordinates a unit samples with: its own, or unit 0's for a unit
    // above 0 without an array of its own; none when neither exists.
    auto coordName = [&](u32 u) -> char const* {
        if (coords[u])
            return variantNames[kVarUV0 + u];
        if (u > 0 && coords[0])
            return variantNames[kVarUV0];
        return nullptr;
    };
    bool const unit0Declares = enabledCount == 1 && enabled[0] && coords[0] && sm.Unit(0).envMode == GL_REPLACE;
    char const* primary = (E & (kBitColorArray | kBitLighting)) ? variantNames[kVarColor] : uniformNames[kUniColor];
    u32 const alphaFunc = emu.m_alphaFunc;
    bool const alphaTest = (E & kBitAlphaTest) != 0;
    bool const alphaCompare = alphaTest && alphaFunc >= GL_NEVER && alphaFunc <= GL_GEQUAL;

    S s(2000);
    if (m_ShaderHashEmbed) {
        char number[16];
        PSnprintf(number, sizeof number, "%u", fragmentHash);
        s += "// Shader Hash: ";
        s += number;
        s += "\n\n";
    }
    for (u32 u = 0; u < units; ++u) {
        if (!enabled[u])
            continue;
        Decl(s, "uniform lowp sampler2D ", uniformNames[kUniTexture0 + u]);
        Decl(s, "uniform lowp vec4 ", uniformNames[kUniBlendColor0 + u]);
        if (coords[u])
            Decl(s, "varying highp vec2 ", variantNames[kVarUV0 + u]);
    }
    if (primary == variantNames[kVarColor])
        Decl(s, "varying lowp vec4 ", primary);
    else
        Decl(s, "uniform lowp vec4 ", primary);
    if (alphaCompare)
        Decl(s, "uniform lowp float ", uniformNames[kUniAlphaRef]);
    if (E & kBitFog) {
        Decl(s, "uniform lowp vec4 ", uniformNames[kUniFogColor]);
        Decl(s, "varying lowp vec3 ", variantNames[kVarFogFactor]);
    }
    s += "void main()\n{\n";
    if (!unit0Declares) {
        s += "lowp vec4 rgba_color = ";
        s += primary;
        s += newLine;
    }

    for (u32 u = 0; u < units; ++u) {
        if (!enabled[u])
            continue;
        char const* uv = coordName(u);
        if (!uv) {
            s += "\n// This shader suffers from SBS!\n\n";
            continue;
        }
        char const* sampler = uniformNames[kUniTexture0 + u];
        auto sample = [&](char const* head) {
            s += head;
            s += sampler;
            s += ", ";
            s += uv;
            s += ");\n";
        };
        switch (sm.Unit(u).envMode) {
        case GL_REPLACE: {
            s += "// GL_REPLACE\n";
            sample(unit0Declares ? "lowp vec4 rgba_color = texture2D(" : "rgba_color = texture2D(");
            u32 format = BoundTextureFormat(sm, u);
            if (format == GL_RGB || format == GL_LUMINANCE) {
                s += "rgba_color.a = ";
                s += primary;
                s += ".a;\n";
            }
            break;
        }
        case GL_MODULATE:
            s += "// GL_MODULATE\n";
            sample("rgba_color *= texture2D(");
            break;
        case GL_DECAL:
            s += "// GL_DECAL\n{\n";
            sample("lowp vec4 tex_color = texture2D(");
            s += "lowp vec3 rgb_color = mix(rgba_color.rgb, tex_color.rgb, tex_color.a);\n";
            s += "lowp float a_color = rgba_color.a;\n";
            s += "rgba_color = vec4(rgb_color, a_color);\n}\n";
            break;
        case GL_ADD:
            s += "// GL_ADD\n{\n";
            sample("lowp vec4 tex_color = texture2D(");
            s += "lowp vec3 rgb_color = rgba_color.rgb + tex_color.rgb;\n";
            s += "lowp float a_color = rgba_color.a * tex_color.a;\n";
            s += "rgba_color = vec4(rgb_color, a_color);\n}\n";
            break;
        case GL_BLEND:
            s += "// GL_BLEND\n{\n";
            sample("lowp vec4 tex_color = texture2D(");
            s += "lowp vec3 rgb_color = mix(rgba_color.rgb, ";
            s += uniformNames[kUniBlendColor0 + u];
            s += ".rgb, tex_color.rgb);\n";
            s += "lowp float a_color = rgba_color.a * tex_color.a;\n";
            s += "rgba_color = vec4(rgb_color, a_color);\n}\n";
            break;
        case GL_COMBINE:
            s += "// GL_COMBINE\n";
            SetupTextureCombiner(s, int(u), uv, primary, emu);
            break;
        default: break;
        }
    }

    if (E & kBitFog) {
        s += "rgba_color.rgb = mix(";
        s += uniformNames[kUniFogColor];
        s += ".rgb, rgba_color.rgb, ";
        s += variantNames[kVarFogFactor];
        s += ");\n";
    }
    if (m_ShaderNoAlphaTest) {
        s += "\n// Alpha test removed\n\n";
        s += "gl_FragColor = rgba_color;\n";
    } else if (alphaCompare) {
        static char const* const ops[8] = {nullptr, "<", "==", "<=", ">", "!=", ">=", nullptr};
        if (alphaFunc == GL_NEVER) {
            s += "discard;\n";
        } else {
            s += "if(rgba_color.a";
            s += ops[alphaFunc - GL_NEVER];
            s += uniformNames[kUniAlphaRef];
            s += ") { gl_FragColor = rgba_color; } else { discard; }\n";
        }
    } else {
        s += "gl_FragColor = rgba_color;\n";
    }
    if (m_ShaderColorTint) {
        int r = m_ShaderColorTintIndex;
        if (r < 0)
            r = 0;
        if (r > 13)
            r = 13;
        s += "// !!!!!!!!!!! SHADER COLOR DEBUG !!!!!!!!!!!!!\n";
        s += color_tints[r][3];
        s += newLine;
        s += "lowp vec3 greyformula = vec3(0.3, 0.59, 0.11);\n";
        s += "lowp float grey = dot(gl_FragColor.rgb, greyformula);\n";
        s += "gl_FragColor.rgb = vec3(grey * ";
        s += color_tints[r][0];
        s += ", grey * ";
        s += color_tints[r][1];
        s += ", grey * ";
        s += color_tints[r][2];
        s += ");\n";
        if (m_ShaderColorTintIndex < 13)
            m_ShaderColorTintIndex = r + 1;
    }
    s += "}\n";
    return s.Release();
}

} // namespace vornGL
