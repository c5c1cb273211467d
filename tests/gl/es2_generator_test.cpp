// The shader generators: exact texts of the documented cases, and states
// whose code used to be unbuildable.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/runtime/palloc.h"
#include "gl/es2_fixedemu.h"
#include "es2_testgl.h"

using namespace vornGL;

namespace {

int Occurrences(std::string const& s, std::string const& what)
{
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

struct Gen : testes2::RecordedEmu {
    void SetUp() override
    {
        RecordedEmu::SetUp();
        sm.EnableDisableCap(GL_VERTEX_ARRAY, 1);
    }
    static std::string Take(char* text)
    {
        std::string s = text ? text : "(null)";
        PFree(text);
        return s;
    }
    std::string VS() { return Take(PPaperDoll::CreateVertexShader(emu, 0)); }
    std::string FS() { return Take(PPaperDoll::CreateFragmentShader(emu, 0)); }
    void Unit(u32 u, bool on, bool coords, u32 mode)
    {
        sm.glActiveTexture(GL_TEXTURE0 + u);
        sm.glClientActiveTexture(GL_TEXTURE0 + u);
        sm.EnableDisableCap(GL_TEXTURE_2D, on);
        sm.EnableDisableCap(GL_TEXTURE_COORD_ARRAY, coords);
        sm.Unit(u).envMode = mode;
    }
};

TEST_F(Gen, PlainStateGivesOnlyThePosition)
{
    EXPECT_EQ(VS(), "attribute highp vec4 attribPos;\n"
                    "uniform highp mat4 uniModelViewProj;\n"
                    "void main()\n{\n"
                    "gl_Position = uniModelViewProj * attribPos;\n"
                    "}\n");
    EXPECT_EQ(FS(), "uniform lowp vec4 uniColor;\n"
                    "void main()\n{\n"
                    "lowp vec4 rgba_color = uniColor;\n"
                    "gl_FragColor = rgba_color;\n"
                    "}\n");
    PPaperDoll::m_ShaderHashEmbed = true;
    EXPECT_EQ(Take(PPaperDoll::CreateVertexShader(emu, 4294967295u)).substr(0, 28), "// Shader Hash: 4294967295\n\n");
}

TEST_F(Gen, PositionalSpotLight)
{
    sm.EnableDisableCap(GL_LIGHTING, 1);
    sm.EnableDisableCap(GL_LIGHT0, 1);
    i32 const pos[4] = {0, 0x10000, 0, 0x10000};
    emu.glLightxv(GL_LIGHT0, GL_POSITION, pos);
    i32 cutoff = 30 << 16, linear = 0x8000;
    emu.glLightxv(GL_LIGHT0, GL_SPOT_CUTOFF, &cutoff);
    emu.glLightxv(GL_LIGHT0, GL_LINEAR_ATTENUATION, &linear);
    EXPECT_EQ(VS(), "attribute highp vec4 attribPos;\n"
                    "uniform highp mat4 uniModelViewProj;\n"
                    "uniform lowp vec3 uniNormal;\n"
                    "uniform highp mat3 uniModelView3x3;\n"
                    "uniform highp mat4 uniModelView4x4;\n"
                    "uniform lowp vec4 uniGlobalAmbient;\n"
                    "uniform highp vec3 uniLight0Pos;\n"
                    "uniform lowp vec3 uniLight0Attenuation;\n"
                    "uniform highp vec3 uniLight0SpotDirection;\n"
                    "uniform lowp float uniLight0SpotCutoff;\n"
                    "uniform mediump float uniLight0SpotExponent;\n"
                    "uniform lowp vec4 uniLight0Diffuse;\n"
                    "uniform lowp vec4 uniLight0Ambient;\n"
                    "varying lowp vec4 varColor;\n"
                    "void main()\n{\n"
                    "highp vec4 mvVertexPos = (uniModelView4x4 * attribPos);\n"
                    "varColor = uniGlobalAmbient;\n"
                    "lowp vec3 normal = (uniModelView3x3 * uniNormal);\n"
                    "{\n"
                    "highp vec3 lightvec_tmp = uniLight0Pos - mvVertexPos.xyz;\n"
                    "highp float dist = length(lightvec_tmp);\n"
                    "lowp vec3 lightvec = normalize(lightvec_tmp);\n"
                    "lowp float spotFactor = 0.0;\n"
                    "lowp float spotAngle = dot(-lightvec, uniLight0SpotDirection);\n"
                    "if(uniLight0SpotCutoff < spotAngle)\n{\n"
                    "spotFactor = pow(max(spotAngle, 0.0), uniLight0SpotExponent);\n }\n"
                    "lowp float luminocity = clamp(1.0 / (uniLight0Attenuation.x + uniLight0Attenuation.y * dist + "
                    "uniLight0Attenuation.z * (dist * dist)), 0.0, 1.0);\n"
                    "lowp float angle = max(dot(normal, lightvec), 0.0);\n"
                    "lowp vec4 ambient = luminocity * spotFactor * uniLight0Ambient;\n"
                    "lowp vec4 diffuse = luminocity * spotFactor * uniLight0Diffuse * angle;\n"
                    "varColor += diffuse + ambient;\n"
                    "}\n"
                    "varColor = clamp(varColor, 0.0, 1.0);\n"
                    "gl_Position = uniModelViewProj * attribPos;\n"
                    "}\n");
}

TEST_F(Gen, FragmentCases)
{
    // Unit 0 alone in REPLACE with coordinates declares the colour itself.
    Unit(0, true, true, GL_REPLACE);
    std::string fs = FS();
    EXPECT_EQ(fs.find("lowp vec4 rgba_color = uniColor"), std::string::npos);
    EXPECT_NE(fs.find("// GL_REPLACE\nlowp vec4 rgba_color = texture2D(uniTexture0, varUV0);\n"), std::string::npos);

    // Unit 0 without coordinates is skipped; unit 1 without coordinates then
    // has none to borrow and is skipped too (no undeclared varUV0).
    Unit(0, true, false, GL_MODULATE);
    Unit(1, true, false, GL_MODULATE);
    fs = FS();
    EXPECT_EQ(fs.find("varUV0"), std::string::npos);
    EXPECT_EQ(Occurrences(fs, "\n// This shader suffers from SBS!\n\n"), 2);

    // With unit 0's coordinates, unit 1 borrows them.
    Unit(0, true, true, GL_MODULATE);
    fs = FS();
    EXPECT_NE(fs.find("rgba_color *= texture2D(uniTexture1, varUV0);\n"), std::string::npos);
    Unit(1, false, false, GL_MODULATE);

    // Alpha test: NEVER only discards; GREATER compares; the switch removes it.
    sm.EnableDisableCap(GL_ALPHA_TEST, 1);
    emu.glAlphaFuncx(GL_NEVER, 0);
    fs = FS();
    EXPECT_NE(fs.find("uniform lowp float uniAlphaRef;\n"), std::string::npos);
    EXPECT_NE(fs.find("discard;\n}\n"), std::string::npos);
    emu.glAlphaFuncx(GL_GREATER, 0x8000);
    EXPECT_NE(FS().find("if(rgba_color.a>uniAlphaRef) { gl_FragColor = rgba_color; } else { discard; }\n"),
              std::string::npos);
    emu.glAlphaFuncx(GL_ALWAYS, 0);
    EXPECT_EQ(FS().find("uniAlphaRef"), std::string::npos);
    PPaperDoll::m_ShaderNoAlphaTest = true;
    emu.glAlphaFuncx(GL_LESS, 0);
    EXPECT_NE(FS().find("\n// Alpha test removed\n\ngl_FragColor = rgba_color;\n"), std::string::npos);
}

TEST_F(Gen, TintRowsAdvanceAndStopAtTheLast)
{
    PPaperDoll::m_ShaderColorTint = true;
    PPaperDoll::m_ShaderColorTintIndex = 0;
    EXPECT_NE(FS().find("// Red;\n"), std::string::npos);
    EXPECT_NE(FS().find("// Yellow;\n"), std::string::npos);
    for (int i = 2; i < 14; ++i)
        FS();
    EXPECT_NE(FS().find("// Orange;\n"), std::string::npos);
    EXPECT_NE(FS().find("gl_FragColor.rgb = vec3(grey * 1.0, grey * 0.41, grey * 0.0);\n"), std::string::npos);
}

TEST_F(Gen, CombinerDeclaresOnlyTheArgumentsItReads)
{
    Unit(0, true, true, GL_COMBINE);
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB);
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    std::string fs = FS();
    EXPECT_NE(fs.find("lowp vec3 src1_rgb = rgba_color.rgb;\n"), std::string::npos);
    EXPECT_EQ(fs.find("src2_rgb"), std::string::npos);
    EXPECT_NE(fs.find("lowp float src0_alpha = 1.0 - tex_color.a;\n"), std::string::npos);
    EXPECT_EQ(fs.find("src1_alpha"), std::string::npos);
    EXPECT_NE(fs.find("mediump vec3 result_rgb = vec3(4.0);\n"
                      "result_rgb *= dot(src0_rgb - vec3(0.5), src1_rgb - vec3(0.5));\n"),
              std::string::npos);

    // An alpha operand reading colour is refused (the combiner could not be
    // built); the stored operand stays.
    sm.glGetError();
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_COLOR);
    EXPECT_EQ(sm.glGetError(), u32(GL_INVALID_OPERATION));
    EXPECT_EQ(sm.Unit(0).operandAlpha[0], u32(GL_ONE_MINUS_SRC_ALPHA));
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_DOT3_RGB);
    EXPECT_EQ(sm.glGetError(), u32(GL_INVALID_ENUM));
}

} // namespace
