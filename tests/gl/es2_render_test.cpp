// Drawing through the ES 2.0 back end on Mesa, with every OpenGL ES 2.0 call
// traced: what a draw sends, what a repeated draw does not send, the arrays,
// the nesting counter, the filtered enables and the switches.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include "es2_testgl.h"
#include "gl/es2_gl.h"

using namespace vornGL;

namespace {

// A triangle strip covering the viewport, in 16.16.
i32 const kQuad[12] = {-0x10000, -0x10000, 0, 0x10000, -0x10000, 0, -0x10000, 0x10000, 0, 0x10000, 0x10000, 0};
u8 const kRed[16] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
i32 const kNormals[12] = {0, 0, 0x10000, 0, 0, 0x10000, 0, 0, 0x10000, 0, 0, 0x10000};

struct Render : testes2::OnMesaEs2<8> {
    void SetUp() override
    {
        OnMesaEs2::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        g->glEnableClientState(GL_VERTEX_ARRAY);
        fe.backend()->glVertexPointer(3, GL_FIXED, 0, kQuad);
    }
    void Draw() { g->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4); }
    void Clear() { g->glClear(GL_COLOR_BUFFER_BIT); }
};

TEST_F(Render, FirstDrawIsWhiteAndRepeatedDrawsSendNothingNew)
{
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{255, 255, 255, 255}));

    g->glEnable(GL_LIGHTING);
    g->glEnable(GL_LIGHT0);
    g->glEnableClientState(GL_NORMAL_ARRAY);
    fe.backend()->glNormalPointer(GL_FIXED, 0, kNormals);
    g->glColor4x(0x10000, 0x8000, 0x8000, 0x10000);
    Draw();
    testes2::Trace trace;
    Draw();
    EXPECT_EQ(trace.Count("glUseProgram"), 0u) << trace.Joined();
    EXPECT_EQ(trace.Count("glUniform"), 0u) << trace.Joined();
    EXPECT_EQ(trace.Count("glVertexAttrib"), 0u) << trace.Joined();
    EXPECT_EQ(trace.Count("glEnableVertexAttribArray") + trace.Count("glDisableVertexAttribArray"), 0u);
    EXPECT_EQ(trace.Joined(), "glDrawArrays ");

    // A new colour uploads that one uniform only (the light products follow it
    // only under colour material).
    trace.Clear();
    g->glColor4x(0x10000, 0x10000, 0x8000, 0x10000);
    Draw();
    EXPECT_EQ(trace.Count("glUniform"), 0u) << trace.Joined(); // lighting does not read the colour
    g->glEnable(GL_COLOR_MATERIAL);
    Draw();
    trace.Clear();
    g->glColor4x(0x8000, 0x10000, 0x8000, 0x10000);
    Draw();
    // Under colour material the colour is the material's: the global ambient
    // term and light 0's diffuse product (its ambient is black and stays so).
    EXPECT_EQ(trace.Joined(), "glUniform4fv glUniform4fv glDrawArrays ");

    // Count 0 makes no call at all.
    trace.Clear();
    g->glDrawElements(GL_TRIANGLES, 0, GL_UNSIGNED_SHORT, nullptr);
    EXPECT_EQ(trace.calls.size(), 0u) << trace.Joined();
}

TEST_F(Render, ArraysArePointedAndDisabledAsProgramsNeedThem)
{
    g->glEnableClientState(GL_COLOR_ARRAY);
    fe.backend()->glColorPointer(4, GL_UNSIGNED_BYTE, 0, kRed);
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{255, 0, 0, 255}));
    EXPECT_EQ(emu->EnabledAttributes(), 0x5u);

    testes2::Trace trace;
    u8 blue[16];
    for (int i = 0; i < 16; ++i)
        blue[i] = (i % 4 == 2 || i % 4 == 3) ? 255 : 0;
    fe.backend()->glColorPointer(4, GL_UNSIGNED_BYTE, 0, blue);
    Draw();
    EXPECT_EQ(trace.Count("glVertexAttribPointer"), 1u) << trace.Joined();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{0, 0, 255, 255}));

    // Without the colour array the next program does not read attribute 2: it is disabled.
    g->glDisableClientState(GL_COLOR_ARRAY);
    Draw();
    EXPECT_EQ(emu->EnabledAttributes(), 0x1u);
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{255, 255, 255, 255}));

    // An enabled array without data is not read (no crash, nothing drawn from it).
    Clear();
    fe.backend()->glVertexPointer(3, GL_FIXED, 0, nullptr);
    Draw();
    EXPECT_EQ(emu->EnabledAttributes(), 0u);
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST_F(Render, ArraysInBuffersKeepTheirBuffer)
{
    u32 buffer = 0;
    fe.backend()->glGenBuffers(1, &buffer);
    fe.backend()->glBindBuffer(GL_ARRAY_BUFFER, buffer);
    fe.backend()->glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    fe.backend()->glVertexPointer(3, GL_FIXED, 0, nullptr); // offset 0 into the buffer
    fe.backend()->glBindBuffer(GL_ARRAY_BUFFER, 0);
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{255, 255, 255, 255}));
    i32 binding = -1;
    fe.backend()->glGetIntegerv(GL_VERTEX_ARRAY_BUFFER_BINDING, &binding);
    EXPECT_EQ(binding, i32(buffer));
    // Deleting the buffer leaves the array without data.
    fe.backend()->glDeleteBuffers(1, &buffer);
    Clear();
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST_F(Render, NestingCounterFiltersAndSwitches)
{
    P3DBackend* b = fe.backend();
    testes2::Trace trace;
    EXPECT_EQ(fe.es2->FixedNesting(), 1);
    b->glEnable(GL_TEXTURE_2D);
    b->glEnable(GL_LIGHTING);
    b->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    EXPECT_EQ(trace.calls.size(), 0u) << trace.Joined();
    b->glEnable(GL_BLEND);
    b->glHint(GL_GENERATE_MIPMAP_HINT, GL_NICEST);
    EXPECT_EQ(trace.Joined(), "glEnable glHint ");
    b->glDisable(GL_BLEND);

    // Counter 1: the emulation answers and draws; 0: straight to GL.
    i32 size = 0;
    b->glGetIntegerv(GL_VERTEX_ARRAY_SIZE, &size);
    EXPECT_EQ(size, 3);
    trace.Clear();
    b->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    EXPECT_GT(trace.calls.size(), 1u);
    b->vornGLPopFixed();
    trace.Clear();
    b->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    EXPECT_EQ(trace.Joined(), "glDrawArrays ");
    EXPECT_EQ(b->vornGLPushFixed(), 0);
    EXPECT_EQ(b->vornGLPushFixed(), 1);
    b->vornGLPopFixed();

    PPaperDoll::m_ShaderColorTint = true;
    b->vornGLSetFlags(0);
    EXPECT_TRUE(PPaperDoll::m_ShaderNoAlphaTest);
    EXPECT_FALSE(PPaperDoll::m_ShaderColorTint || PPaperDoll::m_ShaderHashEmbed || PPaperDoll::m_ExportShaders);
    b->vornGLSetFlags(8 | 2);
    EXPECT_EQ(emu->m_objectSpaceLighting, 1);
    EXPECT_TRUE(PPaperDoll::m_ShaderHashEmbed);
    b->vornGLSetFlags(0);
    PPaperDoll::m_ShaderNoAlphaTest = false;
}

TEST_F(Render, AlphaTestAndFog)
{
    Clear();
    g->glEnable(GL_ALPHA_TEST);
    fe.backend()->glAlphaFuncx(GL_GREATER, 0x8000);
    g->glColor4x(0x10000, 0x10000, 0x10000, 0x4000);
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{0, 0, 0, 0}));
    g->glColor4x(0x10000, 0x10000, 0x10000, 0xC000);
    Draw();
    EXPECT_EQ(Centre()[0], 255);
    g->glDisable(GL_ALPHA_TEST);

    // Linear fog from 0 to 2 at eye depth 1: half fog colour.
    g->glEnable(GL_FOG);
    i32 const fogColour[4] = {0, 0, 0, 0x10000};
    i32 mode = GL_LINEAR, end = 0x20000;
    fe.backend()->glFogxv(GL_FOG_MODE, &mode);
    fe.backend()->glFogxv(GL_FOG_END, &end);
    fe.backend()->glFogxv(GL_FOG_COLOR, fogColour);
    g->glTranslatex(0, 0, -0x10000);
    Draw();
    EXPECT_NEAR(Centre()[0], 128, 2);
}

TEST_F(Render, PositionAlwaysAtLocationZeroAndDirectionsNormalised)
{
    // A program made while the vertex array is off still reserves location 0
    // for the position; the array stays off while the state says so.
    g->glDisableClientState(GL_VERTEX_ARRAY);
    Draw();
    ASSERT_NE(emu->CurrentProgram(), nullptr);
    EXPECT_TRUE(emu->CurrentProgram()->UsesAttribute(kAttribPos));
    EXPECT_EQ(emu->EnabledAttributes() & 1u, 0u);
    g->glEnableClientState(GL_VERTEX_ARRAY);

    // A directional light given at length 2 reaches the shader as a unit vector.
    g->glEnable(GL_LIGHTING);
    g->glEnable(GL_LIGHT0);
    i32 const twice[4] = {0, 0x20000, 0, 0};
    fe.backend()->glLightxv(GL_LIGHT0, GL_POSITION, twice);
    Draw();
    f32 const* pos = static_cast<f32 const*>(emu->UniformValue(kUniLightPos0).Value());
    EXPECT_FLOAT_EQ(pos[1], 1.0f);
    EXPECT_FLOAT_EQ(pos[0], 0.0f);
}

} // namespace
