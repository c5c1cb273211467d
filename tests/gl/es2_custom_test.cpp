// Custom shaders and uniforms, and the clearing and restoring of the program
// cache, on Mesa. Under AddressSanitizer these also prove that no listener is
// left pointing into a deleted program.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include "es2_testgl.h"

using namespace vornGL;

namespace {

char const kVS[] = "attribute highp vec4 attribPos;\nuniform highp mat4 uniModelViewProj;\n"
                   "void main() { gl_Position = uniModelViewProj * attribPos; }\n";
char const kFS[] = "uniform lowp vec4 uniColor;\nuniform lowp vec4 tint;\n"
                   "void main() { gl_FragColor = uniColor * tint; }\n";
// The position under another name first, so the linker may put it elsewhere.
char const kVSMisplaced[] = "attribute highp vec4 attribColor;\nattribute highp vec4 attribPos;\n"
                            "varying lowp vec4 c;\nuniform highp mat4 uniModelViewProj;\n"
                            "void main() { c = attribColor; gl_Position = uniModelViewProj * attribPos; }\n";
char const kFSVarying[] = "varying lowp vec4 c;\nvoid main() { gl_FragColor = c; }\n";

i32 const kQuad[12] = {-0x10000, -0x10000, 0, 0x10000, -0x10000, 0, -0x10000, 0x10000, 0, 0x10000, 0x10000, 0};

struct Custom : testes2::OnMesaEs2<8> {
    void SetUp() override
    {
        OnMesaEs2::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        fe.gl->glEnableClientState(GL_VERTEX_ARRAY);
        b->glVertexPointer(3, GL_FIXED, 0, kQuad);
        // The front end made its presentation program at start-up; start clean.
        b->vornGLClearShaderCache();
        fe.gl->glGetError();
    }
    u32 Error() { return fe.gl->glGetError(); }
    void Draw() { fe.gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4); }
};

TEST_F(Custom, ProgramsByIndex)
{
    EXPECT_EQ(b->vornGLCreateCustomShader(kVS, kFS), 1u);
    b->vornGLSetCustomShader(1);
    EXPECT_EQ(emu->ForcedProgram(), emu->ProgramAt(0).program);
    b->vornGLSetCustomShader(2);
    EXPECT_EQ(Error(), u32(GL_INVALID_VALUE));
    EXPECT_EQ(b->vornGLGetCustomShaderIndex(), 2u);

    // A value of the caller's, bound by name.
    PGLShaderUniformValue tint;
    f32 const half[4] = {0.5f, 1.0f, 1.0f, 1.0f};
    tint.SetDirty(half);
    b->vornGLSetCustomShader(1);
    EXPECT_EQ(b->vornGLBindUniformValue(1, tint, "tint"), 1);
    EXPECT_EQ(b->vornGLBindUniformValue(1, tint, "absent"), 0);
    Draw();
    EXPECT_NEAR(Centre()[0], 128, 1);
    EXPECT_EQ(Centre()[1], 255);

    // Deleting the program in force: nothing in force, the index is dead.
    int listeners = emu->UniformValue(kUniColor).ListenerCount();
    b->vornGLDeleteCustomShader(1);
    EXPECT_EQ(emu->ForcedProgram(), nullptr);
    EXPECT_EQ(b->vornGLGetCustomShaderIndex(), 0u);
    EXPECT_EQ(emu->UniformValue(kUniColor).ListenerCount(), listeners - 1);
    EXPECT_EQ(tint.ListenerCount(), 0);
    b->vornGLSetCustomShader(1);
    EXPECT_EQ(Error(), u32(GL_INVALID_OPERATION));
    Draw(); // a generated program again
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{255, 255, 255, 255}));
}

TEST_F(Custom, AttributesFoundAtTheirOwnLocations)
{
    u32 i = b->vornGLCreateCustomShader(kVSMisplaced, kFSVarying);
    PGLShader const* p = emu->ProgramAt(int(i - 1)).program;
    ASSERT_TRUE(p->Linked());
    EXPECT_TRUE(p->UsesAttribute(kAttribPos));
    EXPECT_TRUE(p->UsesAttribute(kAttribColor));
    EXPECT_FALSE(p->UsesAttribute(kAttribNormal));
    u8 const green[16] = {0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255};
    b->glColorPointer(4, GL_UNSIGNED_BYTE, 0, green);
    b->vornGLSetCustomShader(i);
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{0, 255, 0, 255}));
}

TEST_F(Custom, ProgramsByHandleUniformsClearAndRestore)
{
    b->vornGLSetCustomShader(0);
    Draw(); // one generated program first
    u32 h[2] = {};
    b->vornGLGenCustomShaders(2, h);
    EXPECT_EQ(h[0], 2u);
    EXPECT_EQ(h[1], 3u);
    b->vornGLCustomShaderSource(h[0], kVS, kFS);
    b->vornGLCustomShaderSource(99, kVS, kFS);
    EXPECT_EQ(Error(), u32(GL_INVALID_OPERATION));

    u32 tint = 0, colour = 0;
    b->vornGLGenUniform("tint", &tint);
    b->vornGLGenUniform("uniColor", &colour);
    EXPECT_EQ(tint, 1u);
    b->vornGLBindUniform(h[0], tint);
    b->vornGLBindUniform(0, colour); // ties it to the emulation's own colour
    f32 const blueish[4] = {0.0f, 0.0f, 1.0f, 1.0f}, full[4] = {1, 1, 1, 1};
    b->vornGLSetUniformData(tint, const_cast<f32*>(full));
    b->vornGLSetUniformData(colour, const_cast<f32*>(blueish));
    b->vornGLUseCustomShader(h[0]);
    EXPECT_EQ(b->vornGLGetCurrentCustomShaderHandle(), h[0]);
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{0, 0, 255, 255}));
    b->vornGLSetUniformData(7, nullptr);
    EXPECT_EQ(Error(), u32(GL_INVALID_VALUE));
    b->vornGLUseCustomShader(7);
    EXPECT_EQ(Error(), u32(GL_INVALID_OPERATION));
    EXPECT_NE(emu->ForcedProgram(), nullptr); // still in force

    // Clear: every program goes, listeners with them; the records stay.
    b->vornGLClearShaderCache();
    EXPECT_EQ(emu->ProgramCount(), 0);
    EXPECT_EQ(emu->ForcedProgram(), nullptr);
    for (int k = 0; k < kUniformCount; ++k)
        ASSERT_FALSE(emu->UniformValue(k).HaveListeners()) << k;
    EXPECT_EQ(PPaperDoll::s_VertexShaderCache.Count(), 0);
    EXPECT_EQ(emu->CustomShaderCount(), 2);

    // Restore: the handle programs come back under their handles, the custom
    // uniform is bound again (and waits for data: clearing reset it).
    b->vornGLRestoreShaders();
    EXPECT_EQ(emu->ProgramCount(), 2);
    b->vornGLUseCustomShader(h[0]);
    b->vornGLSetUniformData(tint, const_cast<f32*>(full));
    fe.gl->glColor4x(0x10000, 0, 0, 0x10000);
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{255, 0, 0, 255}));

    // Deleting by handle removes the entry (the first one stays, marked), the
    // record and the uniform's tie.
    b->vornGLDeleteCustomShaders(2, h);
    EXPECT_EQ(emu->ProgramCount(), 1);
    EXPECT_EQ(emu->ProgramAt(0).program, nullptr);
    EXPECT_EQ(emu->CustomShaderCount(), 0);
    EXPECT_EQ(emu->ForcedProgram(), nullptr);
    b->vornGLUseCustomShader(0);
    Draw();
    EXPECT_EQ(Centre(), (std::vector<unsigned char>{255, 0, 0, 255}));
}

TEST_F(Custom, HandlesAreNeverHandedOutTwice)
{
    u32 h[3] = {};
    b->vornGLGenCustomShaders(3, h);
    EXPECT_EQ(h[2], 3u);
    b->vornGLDeleteCustomShaders(1, &h[1]); // the cache shrinks to two entries
    u32 next = 0;
    b->vornGLGenCustomShaders(1, &next);
    EXPECT_EQ(next, 4u); // 3 is still in use
}

TEST_F(Custom, ReplacedSourcesAndOversizedUniformsAreSafe)
{
    u32 h = 0;
    b->vornGLGenCustomShaders(1, &h);
    b->vornGLCustomShaderSource(h, kVS, kFS);
    b->vornGLUseCustomShader(h);
    Draw();
    // New sources replace the program in force.
    char const fs[] = "uniform lowp vec4 uniColor[4];\nvoid main() { gl_FragColor = uniColor[3] + uniColor[0]; }\n";
    b->vornGLCustomShaderSource(h, kVS, fs);
    EXPECT_NE(emu->ForcedProgram(), nullptr);
    // uniColor declared four times larger than the emulation's colour: not
    // uploaded rather than read past the value.
    Draw();
    EXPECT_EQ(Error(), 0u);
}

} // namespace
