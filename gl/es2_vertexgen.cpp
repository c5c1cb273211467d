// The vertex shader generator: transform, normals, per-vertex lighting with up
// to eight lights, colour material, the fog factor and texture coordinates.
#include "engine/runtime/psprintf.h"
#include "gl/es2_fixedemu.h"

#include <GLES/gl.h>

namespace vornGL {

namespace {

constexpr u32 kBitFog = 1u << 8;
constexpr u32 kBitLighting = 1u << 9;
constexpr u32 kBitLight0 = 1u << 12;
constexpr u32 kBitColorMaterial = 1u << 22;
constexpr u32 kBitNormalize = 1u << 23;
constexpr u32 kBitRescaleNormal = 1u << 24;
constexpr u32 kBitNormalArray = 1u << 26;
constexpr u32 kBitColorArray = 1u << 27;

using S = PPaperDoll::ShaderString;
using PD = PPaperDoll;

char const* Uni(int k) { return PD::uniformNames[k]; }

void Decl(S& s, char const* head, char const* name)
{
    s += head;
    s += name;
    s += PD::newLine;
}

} // namespace

char* PPaperDoll::CreateVertexShader(PFixedEmu const& emu, unsigned vertexHash)
{
    P3DStateMan& sm = emu.State();
    u32 const E = sm.WantedLow();
    bool const lighting = E & kBitLighting;
    bool const fog = E & kBitFog;
    bool const colorArray = E & kBitColorArray;
    bool const normalArray = E & kBitNormalArray;
    bool const colorMaterial = E & kBitColorMaterial;
    bool const normalize = E & kBitNormalize;
    bool const rescale = !normalize && (E & kBitRescaleNormal);
    bool const objectSpace = emu.m_objectSpaceLighting != 0;
    u32 const mat = emu.m_materialFlags;
    bool const emission = mat & PFixedEmu::kMatEmission;
    bool const globalAmbient = colorMaterial || (mat & PFixedEmu::kMatGlobalAmbient);

    u32 units = sm.UnitCount();
    if (units > PFixedEmu::kUnits)
        units = PFixedEmu::kUnits;
    auto textured = [&](u32 u) { return (sm.Unit(u).flags & 1u) && (sm.Unit(u).clientFlags & 1u); };

    bool enabled[PFixedEmu::kLightCount], positional[PFixedEmu::kLightCount], specular[PFixedEmu::kLightCount];
    bool anyPositional = false, anySpecular = false;
    for (int i = 0; i < PFixedEmu::kLightCount; ++i) {
        u32 lf = emu.m_lights[i].flags;
        enabled[i] = lighting && (E & (kBitLight0 << i));
        positional[i] = enabled[i] && !(lf & PFixedEmu::kLightDirectional);
        specular[i] = enabled[i] && (lf & PFixedEmu::kLightSpecular) && (mat & PFixedEmu::kMatSpecular);
        anyPositional |= positional[i];
        anySpecular |= specular[i];
    }

    S s(2000);
    char number[16];
    if (m_ShaderHashEmbed) {
        PSnprintf(number, sizeof number, "%u", vertexHash);
        s += "// Shader Hash: ";
        s += number;
        s += "\n\n";
    }
    Decl(s, "attribute highp vec4 ", attribNames[kAttribPos]);
    if (colorArray)
        Decl(s, "attribute lowp vec4 ", attribNames[kAttribColor]);
    if (normalArray)
        Decl(s, "attribute highp vec3 ", attribNames[kAttribNormal]);
    for (u32 u = 0; u < units; ++u) {
        if (!textured(u))
            continue;
        Decl(s, "attribute highp vec4 ", attribNames[kAttribUV0 + u]);
        Decl(s, "varying highp vec2 ", variantNames[kVarUV0 + u]);
        if (emu.m_texMatrixFlag[u])
            Decl(s, "uniform highp mat4 ", Uni(kUniTexMat0 + int(u)));
    }
    Decl(s, "uniform highp mat4 ", Uni(kUniModelViewProj));

    bool mv4 = false;
    char const* normalSource = normalArray ? attribNames[kAttribNormal] : Uni(kUniNormal);
    if (lighting) {
        if (rescale)
            Decl(s, "uniform highp float ", Uni(kUniRescaleNormalFactor));
        if (!normalArray)
            Decl(s, "uniform lowp vec3 ", Uni(kUniNormal));
        if (!objectSpace) {
            Decl(s, "uniform highp mat3 ", Uni(kUniModelView3x3));
            if (anyPositional) {
                Decl(s, "uniform highp mat4 ", Uni(kUniModelView4x4));
                mv4 = true;
            }
        }
        if (anySpecular)
            Decl(s, "uniform mediump float ", Uni(kUniShininess));
        if (emission)
            Decl(s, "uniform lowp vec4 ", Uni(kUniEmission));
        if (globalAmbient)
            Decl(s, "uniform lowp vec4 ", Uni(kUniGlobalAmbient));
        for (int i = 0; i < PFixedEmu::kLightCount; ++i) {
            if (!enabled[i])
                continue;
            u32 lf = emu.m_lights[i].flags;
            Decl(s, "uniform highp vec3 ", Uni(kUniLightPos0 + i));
            if (specular[i])
                Decl(s, "uniform lowp vec4 ", Uni(kUniLightSpecular0 + i));
            if (positional[i]) {
                if (lf & PFixedEmu::kLightAttenuated)
                    Decl(s, "uniform lowp vec3 ", Uni(kUniLightAttenuation0 + i));
                if (lf & PFixedEmu::kLightSpot) {
                    Decl(s, "uniform highp vec3 ", Uni(kUniLightSpotDirection0 + i));
                    Decl(s, "uniform lowp float ", Uni(kUniLightSpotCutoff0 + i));
                    Decl(s, "uniform mediump float ", Uni(kUniLightSpotExponent0 + i));
                }
            }
            Decl(s, "uniform lowp vec4 ", Uni(kUniLightDiffuse0 + i));
            Decl(s, "uniform lowp vec4 ", Uni(kUniLightAmbient0 + i));
        }
    }
    if (fog) {
        if (!mv4) {
            Decl(s, "uniform highp mat4 ", Uni(kUniModelView4x4));
            mv4 = true;
        }
        Decl(s, "uniform highp vec4 ", Uni(kUniFogStartEndDensityDiff));
        Decl(s, "varying lowp vec3 ", variantNames[kVarFogFactor]);
    }
    char const* varColor = variantNames[kVarColor];
    if (colorArray || lighting)
        Decl(s, "varying lowp vec4 ", varColor);

    s += "void main()\n{\n";
    if (mv4) {
        s += "highp vec4 mvVertexPos = (";
        s += Uni(kUniModelView4x4);
        s += " * ";
        s += attribNames[kAttribPos];
        s += ");\n";
    }
    if (fog) {
        char const* fp = Uni(kUniFogStartEndDensityDiff);
        s += "highp float fogIntensity = 1.0;\n";
        s += "highp float eyeDist = abs(mvVertexPos.z);\n";
        if (emu.m_fogMode == GL_LINEAR) {
            s += "fogIntensity = (";
            s += fp;
            s += ".y - eyeDist) * ";
            s += fp;
            s += ".w;\n";
        } else {
            s += "highp float scaledDist = eyeDist * ";
            s += fp;
            s += ".z;\n";
            if (emu.m_fogMode == GL_EXP2)
                s += "scaledDist *= scaledDist;\n";
            s += "fogIntensity = exp(-scaledDist);\n";
        }
        s += variantNames[kVarFogFactor];
        s += " = vec3(clamp(fogIntensity, 0.0, 1.0));\n";
    }

    if (!lighting) {
        if (colorArray) {
            s += varColor;
            s += " = ";
            s += attribNames[kAttribColor];
            s += PD::newLine;
        }
    } else {
        s += varColor;
        s += " = ";
        if (globalAmbient) {
            s += Uni(kUniGlobalAmbient);
            // The vertex colour is the material's ambient colour here (the
            // uniform holds the light model's ambient alone).
            if (colorMaterial && colorArray) {
                s += " * ";
                s += attribNames[kAttribColor];
            }
            if (emission) {
                s += " + ";
                s += Uni(kUniEmission);
            }
            s += PD::newLine;
        } else if (emission) {
            s += Uni(kUniEmission);
            s += PD::newLine;
        } else {
            s += "vec4(0.0);\n";
        }
        s += normalize ? "lowp vec3 normal = normalize(" : "lowp vec3 normal = (";
        if (!objectSpace) {
            s += Uni(kUniModelView3x3);
            s += " * ";
        }
        s += normalSource;
        s += ");\n";
        if (rescale) {
            s += "normal *= ";
            s += Uni(kUniRescaleNormalFactor);
            s += PD::newLine;
        }

        for (int i = 0; i < PFixedEmu::kLightCount; ++i) {
            if (!enabled[i])
                continue;
            u32 lf = emu.m_lights[i].flags;
            bool attenuated = positional[i] && (lf & PFixedEmu::kLightAttenuated);
            bool spot = positional[i] && (lf & PFixedEmu::kLightSpot);
            s += "{\n";
            if (positional[i]) {
                s += "highp vec3 lightvec_tmp = ";
                s += Uni(kUniLightPos0 + i);
                if (!objectSpace) {
                    s += " - mvVertexPos.xyz;\n";
                } else {
                    s += " - ";
                    s += attribNames[kAttribPos];
                    s += ".xyz;\n";
                }
                if (attenuated)
                    s += "highp float dist = length(lightvec_tmp);\n";
                s += "lowp vec3 lightvec = normalize(lightvec_tmp);\n";
                if (spot) {
                    s += "lowp float spotFactor = 0.0;\n";
                    s += "lowp float spotAngle = dot(-lightvec, ";
                    s += Uni(kUniLightSpotDirection0 + i);
                    s += ");\n";
                    s += "if(";
                    s += Uni(kUniLightSpotCutoff0 + i);
                    s += " < spotAngle)\n{\n";
                    s += "spotFactor = pow(max(spotAngle, 0.0), ";
                    s += Uni(kUniLightSpotExponent0 + i);
                    s += ");\n }\n";
                }
                if (attenuated) {
                    char const* att = Uni(kUniLightAttenuation0 + i);
                    s += "lowp float luminocity = clamp(1.0 / (";
                    s += att;
                    s += ".x + ";
                    s += att;
                    s += ".y * dist + ";
                    s += att;
                    s += ".z * (dist * dist)), 0.0, 1.0);\n";
                }
            } else {
                s += "lowp vec3 lightvec = ";
                s += Uni(kUniLightPos0 + i);
                s += PD::newLine;
            }
            s += "lowp float angle = max(dot(normal, lightvec), 0.0);\n";
            if (specular[i]) {
                s += "lowp float specular_factor = 0.0;\n";
                s += "if(angle > 0.0)\n{\n";
                s += "lowp vec3 viewvec = vec3(0, 0, 1);\n";
                s += "lowp vec3 half_vec = normalize(lightvec + viewvec);\n";
                s += "specular_factor = pow(max(dot(normal, half_vec), 0.0), ";
                s += Uni(kUniShininess);
                s += ");\n";
                s += "}\n";
            }
            char const* ambientTerm = Uni(kUniLightAmbient0 + i);
            char const* diffuseTerm = Uni(kUniLightDiffuse0 + i);
            if (colorArray && colorMaterial) {
                s += "lowp vec4 color_mat_ambient = ";
                s += Uni(kUniLightAmbient0 + i);
                s += " * ";
                s += attribNames[kAttribColor];
                s += PD::newLine;
                s += "lowp vec4 color_mat_diffuse = ";
                s += Uni(kUniLightDiffuse0 + i);
                s += " * ";
                s += attribNames[kAttribColor];
                s += PD::newLine;
                ambientTerm = "color_mat_ambient";
                diffuseTerm = "color_mat_diffuse";
            }
            char const* prefix = attenuated ? (spot ? "luminocity * spotFactor * " : "luminocity * ")
                                            : (spot ? "spotFactor * " : "");
            s += "lowp vec4 ambient = ";
            s += prefix;
            s += ambientTerm;
            s += PD::newLine;
            s += "lowp vec4 diffuse = ";
            s += prefix;
            s += diffuseTerm;
            s += " * angle;\n";
            if (specular[i]) {
                s += "lowp vec4 specular = ";
                s += prefix;
                s += "specular_factor * ";
                s += Uni(kUniLightSpecular0 + i);
                s += PD::newLine;
                s += varColor;
                s += " += diffuse + ambient + specular";
                s += PD::newLine;
            } else {
                s += varColor;
                s += " += diffuse + ambient";
                s += PD::newLine;
            }
            s += "}\n";
        }
        s += varColor;
        s += " = clamp(";
        s += varColor;
        s += ", 0.0, 1.0);\n";
    }

    for (u32 u = 0; u < units; ++u) {
        if (!textured(u))
            continue;
        s += variantNames[kVarUV0 + u];
        s += " = (";
        if (emu.m_texMatrixFlag[u]) {
            s += Uni(kUniTexMat0 + int(u));
            s += " * ";
        }
        s += attribNames[kAttribUV0 + u];
        s += ").xy;\n";
    }
    s += "gl_Position = ";
    s += Uni(kUniModelViewProj);
    s += " * ";
    s += attribNames[kAttribPos];
    s += PD::newLine;
    s += "}\n";
    return s.Release();
}

} // namespace vornGL
