// The extension map and the OES entry points, with a lookup under the test's
// control (Mesa answers every name) and with Mesa's real one.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#define EGL_NO_X11
#include <EGL/egl.h>
#include <GLES2/gl2.h>

#include "app_recorder.h"
#include "engine/platform/psystemmanager.h"
#include "gl/glhooks.h"
#include "host/hostevents.h"

using namespace vornGL;

namespace {

std::set<std::string> g_missing;
std::set<std::string> g_asked;

void Dummy() {}

ProcFn FakeLookup(char const* name)
{
    g_asked.insert(name);
    return g_missing.count(name) ? nullptr : Dummy;
}

class GlHooksTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_missing.clear();
        g_asked.clear();
        SetProcAddressLookup(FakeLookup);
    }
    void TearDown() override
    {
        SetProcAddressLookup(nullptr);
        InitExtensions(0, nullptr);
    }
    static int Flags()
    {
        int bits = 0;
        for (int i = 0; i < kExtensionCount; ++i)
            bits |= HaveExtension(VornGLExtension(i)) ? 1 << i : 0;
        return bits;
    }
};

} // namespace

TEST_F(GlHooksTest, FramebufferFlagNeedsAllFifteenEntryPoints)
{
    InitExtensions(1, "GL_OES_framebuffer_object GL_OES_depth24");
    EXPECT_EQ(Flags(), 1 << 5 | 1 << 6);
    EXPECT_EQ(g_asked.size(), 15u);
    EXPECT_EQ(reinterpret_cast<void*>(_glGenFramebuffersOES), reinterpret_cast<void*>(Dummy));

    g_missing.insert("glGenerateMipmapOES");
    InitExtensions(1, "GL_OES_framebuffer_object");
    EXPECT_EQ(HaveExtension(VornGLExtFramebufferObject), 0);
    // The missing one is a typed stub that does nothing.
    _glGenerateMipmapOES(GL_TEXTURE_2D);
}

TEST_F(GlHooksTest, MissingEntryPointsGetStubsWithDefinedResults)
{
    g_missing = {"glGenFramebuffersOES", "glCheckFramebufferStatusOES", "glIsRenderbufferOES",
                 "glGetRenderbufferParameterivOES"};
    InitExtensions(1, "OES_framebuffer_object");
    unsigned names[3] = {7, 7, 7};
    _glGenFramebuffersOES(3, names);
    EXPECT_EQ(names[0] | names[1] | names[2], 0u);
    _glGenFramebuffersOES(2, nullptr);
    EXPECT_EQ(_glCheckFramebufferStatusOES(0x8D40), 0u);
    EXPECT_EQ(_glIsRenderbufferOES(1), 0);
    int param = 9;
    _glGetRenderbufferParameterivOES(0x8D41, 0x8D42, &param);
    EXPECT_EQ(param, 0);
}

TEST_F(GlHooksTest, PaletteFlagOnlyWhenAllFourAreFound)
{
    InitExtensions(1, "GL_OES_matrix_palette");
    EXPECT_EQ(Flags(), 1 << 0);
    g_missing.insert("glWeightPointerOES");
    InitExtensions(1, "GL_OES_matrix_palette");
    EXPECT_EQ(Flags(), 0);
    _glWeightPointerOES(2, 0x1406, 0, nullptr);
    // The software back end (api 0) fetches nothing.
    g_asked.clear();
    InitExtensions(0, "GL_OES_matrix_palette GL_OES_framebuffer_object");
    EXPECT_TRUE(g_asked.empty());
    EXPECT_EQ(Flags(), 0);
}

TEST_F(GlHooksTest, FlagsFromTheExtensionString)
{
    InitExtensions(2, "");
    EXPECT_EQ(Flags(), 1 << 5 | 1 << 8);
    InitExtensions(2, nullptr);
    EXPECT_EQ(Flags(), 0);
    InitExtensions(1, "GL_AMD_compressed_ATC_texture");
    EXPECT_EQ(Flags(), 1 << 2);
    InitExtensions(0, "GL_ATI_texture_compression_atitc GL_IMG_texture_compression_pvrtc "
                      "GL_OES_compressed_ETC1_RGB8_texture GL_OES_packed_depth_stencil GL_OES_stencil8");
    EXPECT_EQ(Flags(), 1 << 2 | 1 << 3 | 1 << 4 | 1 << 7 | 1 << 8);
}

TEST_F(GlHooksTest, HaveExtensionOutsideTheMapIsZero)
{
    std::memset(ExtensionMap, 1, sizeof ExtensionMap);
    EXPECT_EQ(HaveExtension(VornGLExtension(-1)), 0);
    EXPECT_EQ(HaveExtension(VornGLExtension(10)), 0);
    EXPECT_EQ(HaveExtension(VornGLExtension(1000)), 0);
    EXPECT_EQ(HaveExtension(VornGLExtStencil8), 1);
}

TEST(GlHooksOnMesa, FramebufferEntryPointsWorkOnAnEs11Context)
{
    host::Options o = ScriptOptions("");
    host::Configure(o);
    ASSERT_TRUE(host::EventServiceStart());
    g_recorder = RecorderConfig();
    g_recorder.displayAtLoop = -1;
    {
        PRimSystemManager sysman;
        ASSERT_EQ(sysman.Init(nullptr), 1);
        PDisplayProperties request = {};
        PDisplayProperties3D r3 = {24, 0, 0, 0, 0, 0, 11};
        ASSERT_NE(PDisplay::Get3D(sysman.m_app, &request, &r3, 0), nullptr);
        char const* ext = reinterpret_cast<char const*>(glGetString(GL_EXTENSIONS));
        ASSERT_NE(ext, nullptr);
        InitExtensions(1, ext);
        ASSERT_EQ(HaveExtension(VornGLExtFramebufferObject), 1);
        unsigned fb = 0;
        _glGenFramebuffersOES(1, &fb);
        EXPECT_NE(fb, 0u);
        _glBindFramebufferOES(0x8D40, fb);
        EXPECT_EQ(_glIsFramebufferOES(fb), 1);
        _glBindFramebufferOES(0x8D40, 0);
        _glDeleteFramebuffersOES(1, &fb);
        InitExtensions(0, nullptr);
    }
    host::EventServiceStop();
}
