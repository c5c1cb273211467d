// The emulation's state: starting values, the setters' flags and checks, the
// spot flags that follow the cut-off, and the uniform values they mark.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <cstring>

#include "gl/es2_fixedemu.h"
#include "es2_testgl.h"

using namespace vornGL;

namespace {

struct Emu : testes2::RecordedEmu {
    u32 Error() { return sm.glGetError(); }
    f32 const* Value(int k) { return static_cast<f32 const*>(emu.UniformValue(k).Value()); }
};

TEST_F(Emu, StartsWithGLDefaults)
{
    // The uniforms a first draw reads hold GL's defaults, not zeros.
    EXPECT_EQ(Value(kUniColor)[0], 1.0f);
    EXPECT_EQ(Value(kUniColor)[3], 1.0f);
    EXPECT_EQ(Value(kUniNormal)[2], 1.0f);
    EXPECT_EQ(Value(kUniAlphaRef)[0], 0.0f);
    EXPECT_EQ(Value(kUniModelViewProj)[15], 1.0f);
    EXPECT_EQ(*static_cast<u32 const*>(emu.UniformValue(kUniTexture0 + 5).Value()), 5u);
    EXPECT_EQ(Value(kUniFogStartEndDensityDiff)[3], 1.0f);
}

TEST_F(Emu, LightsAndTheirFlags)
{
    i32 const directional[4] = {0, 0, 0x10000, 0}, positional[4] = {0, 0, 0x10000, 0x10000};
    emu.glLightxv(GL_LIGHT0, GL_POSITION, directional);
    EXPECT_EQ(emu.m_lights[0].flags & 0xE0, 0x20u);
    // Positional again: the spot flags follow the cut-off (180: no spot).
    emu.glLightxv(GL_LIGHT0, GL_POSITION, positional);
    EXPECT_EQ(emu.m_lights[0].flags & 0xE0, 0x40u);
    i32 cutoff = 20 << 16;
    emu.glLightxv(GL_LIGHT0, GL_SPOT_CUTOFF, &cutoff);
    EXPECT_EQ(emu.m_lights[0].flags & 0xE0, 0x80u);
    emu.glLightxv(GL_LIGHT0, GL_POSITION, directional);
    emu.glLightxv(GL_LIGHT0, GL_POSITION, positional);
    EXPECT_EQ(emu.m_lights[0].flags & 0xE0, 0x80u);

    i32 k = 0x8000;
    emu.glLightxv(GL_LIGHT1, GL_LINEAR_ATTENUATION, &k);
    EXPECT_TRUE(emu.m_lights[1].flags & PFixedEmu::kLightAttenuated);
    k = 0;
    emu.glLightxv(GL_LIGHT1, GL_LINEAR_ATTENUATION, &k);
    EXPECT_FALSE(emu.m_lights[1].flags & PFixedEmu::kLightAttenuated);
    i32 const white[4] = {0x10000, 0x10000, 0x10000, 0x10000};
    emu.glLightxv(GL_LIGHT1, GL_SPECULAR, white);
    EXPECT_TRUE(emu.m_lights[1].flags & PFixedEmu::kLightSpecular);

    // The position goes through the modelview matrix of the moment.
    sm.glTranslatex(0x10000, 0, 0);
    emu.glLightxv(GL_LIGHT2, GL_POSITION, positional);
    EXPECT_EQ(emu.m_lights[2].position[0], 0x10000);
    EXPECT_EQ(Error(), 0u);

    // Light indices outside 0..7 and bad names are refused, nothing written.
    PFixedEmu::Light const before = emu.m_lights[7];
    emu.glLightxv(GL_LIGHT0 + 8, GL_POSITION, positional);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));
    emu.glLightxv(GL_LIGHT0 - 1, GL_DIFFUSE, white);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));
    float const f[4] = {1, 1, 1, 1};
    emu.glLightfv(0xFFFFFFFFu, GL_DIFFUSE, f);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));
    emu.glLightxv(GL_LIGHT7, GL_SPOT_EXPONENT - 0x200, white);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));
    EXPECT_EQ(std::memcmp(&before, &emu.m_lights[7], sizeof before), 0);
}

TEST_F(Emu, MaterialLightModelFogAlpha)
{
    i32 const black[4] = {0, 0, 0, 0x10000}, grey[4] = {0x8000, 0x8000, 0x8000, 0x10000};
    emu.glMaterialxv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    EXPECT_EQ(emu.m_materialFlags & 0x804, 0u);
    emu.glMaterialxv(GL_FRONT_AND_BACK, GL_AMBIENT, grey);
    EXPECT_EQ(emu.m_materialFlags & 0x804, 0x804u);
    emu.glMaterialxv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, black);
    EXPECT_EQ(emu.m_materialFlags & 0x806, 0x800u);
    emu.glLightModelxv(GL_LIGHT_MODEL_AMBIENT, black);
    EXPECT_EQ(emu.m_materialFlags & 0x800, 0u);
    emu.glLightModelxv(GL_LIGHT_MODEL_AMBIENT, grey);
    emu.glMaterialxv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, grey);
    EXPECT_EQ(emu.m_materialFlags & 0x806, 0x806u); // the global term is back
    emu.glMaterialxv(GL_FRONT_AND_BACK, GL_SPOT_CUTOFF, grey);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));

    i32 end = 0x18000, start = 0x8000;
    emu.glFogxv(GL_FOG_END, &end);
    emu.glFogxv(GL_FOG_START, &start);
    EXPECT_EQ(Value(kUniFogStartEndDensityDiff)[3], 1.0f);
    emu.glFogxv(GL_FOG_START, &end);
    EXPECT_EQ(Value(kUniFogStartEndDensityDiff)[3], 0.0f);
    emu.glFogxv(GL_FOG_COLOR - 5, &end);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));

    emu.glAlphaFuncx(GL_GREATER, 0x20000);
    EXPECT_EQ(Value(kUniAlphaRef)[0], 1.0f);
    emu.glAlphaFuncx(GL_GREATER, -5);
    EXPECT_EQ(Value(kUniAlphaRef)[0], 0.0f);
    emu.glAlphaFunc(GL_LESS, 0.25f);
    EXPECT_EQ(Value(kUniAlphaRef)[0], 0.25f);
}

TEST_F(Emu, ArraysAndQueries)
{
    char data[64] = {};
    emu.glColorPointer(3, GL_UNSIGNED_BYTE, 0, data);
    EXPECT_EQ(Error(), u32(GL_INVALID_VALUE));
    emu.glColorPointer(4, GL_SHORT, 0, data);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));
    emu.glVertexPointer(3, GL_FIXED, -4, data);
    EXPECT_EQ(Error(), u32(GL_INVALID_VALUE));
    emu.glVertexPointer(3, GL_FIXED, 12, data);
    EXPECT_EQ(Error(), 0u);

    i32 v = -1;
    emu.glGetIntegerv(GL_FOG_MODE, &v);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));
    sm.glColor4ub(255, 0, 0, 128);
    i32 c[4] = {};
    emu.glGetFixedv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0], 0x10000);
    EXPECT_EQ(c[3], 128 * 65536 / 255);
}

TEST_F(Emu, TextureEnvironment)
{
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_ZERO);
    EXPECT_EQ(Error(), u32(GL_INVALID_ENUM));
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_OPERAND2_ALPHA, GL_ONE_MINUS_SRC_COLOR);
    EXPECT_EQ(Error(), u32(GL_INVALID_OPERATION));
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    EXPECT_EQ(Error(), 0u);

    sm.glActiveTexture(GL_TEXTURE2);
    i32 const colour[4] = {0x10000, 0x8000, 0, 0x10000};
    emu.glTexEnvxv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
    EXPECT_EQ(Value(kUniBlendColor0 + 2)[1], 0.5f);
    i32 three = 0x30000;
    emu.glTexEnvxv(GL_TEXTURE_ENV, GL_RGB_SCALE, &three);
    EXPECT_EQ(Error(), u32(GL_INVALID_VALUE));
    i32 two = 2;
    emu.glTexEnviv(GL_TEXTURE_ENV, GL_ALPHA_SCALE, &two);
    EXPECT_EQ(sm.Unit(2).alphaScale, 0x20000);
}

} // namespace
