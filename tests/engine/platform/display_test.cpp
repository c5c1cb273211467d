// The displays on Mesa, headless: EGL pbuffers for OpenGL ES 1.1 and 2.0,
// the memory display, the off-screen framebuffer size and touch conversion.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#define EGL_NO_X11
#include <EGL/egl.h>
#include <GLES2/gl2.h>

#include "app_recorder.h"
#include "engine/platform/pdisplayegl.h"
#include "engine/platform/psystemmanager.h"
#include "gl/glhooks.h"
#include "host/hostevents.h"
#include "host/hostwindow.h"
#include "host/png_read.h"

namespace {

class DisplayTest : public testing::Test {
protected:
    // With shots, presented frames are saved as PNG files in a scratch
    // directory (Shot(n) names them).
    void Start(int renderer = host::RENDERER_REQUEST, bool shots = false)
    {
        host::Options o = ScriptOptions("");
        o.renderer = renderer;
        if (shots) {
            char dir[] = "/tmp/krv_shotsXXXXXX";
            ASSERT_NE(mkdtemp(dir), nullptr);
            m_shots = dir;
            o.shots = m_shots;
        }
        host::Configure(o);
        host::ClearCallLog();
        ASSERT_TRUE(host::EventServiceStart());
        g_recorder = RecorderConfig();
        g_recorder.displayAtLoop = -1;
        m_sysman = new PRimSystemManager();
        ASSERT_EQ(m_sysman->Init(nullptr), 1);
    }

    void TearDown() override
    {
        delete m_sysman;
        m_sysman = nullptr;
        host::EventServiceStop();
        EXPECT_TRUE(m_shots.empty() || std::system(("rm -rf '" + m_shots + "'").c_str()) == 0);
        m_shots.clear();
    }

    std::string Shot(int n) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%05d.png", n);
        return m_shots + name;
    }

    PDisplay* Get(int version, int depth = 24, int alpha = 0, int sampleBuffers = 0, int samples = 0)
    {
        PDisplayProperties request = {};
        PDisplayProperties3D r3 = {};
        r3.depthBits = uint8_t(depth);
        r3.alphaBits = uint8_t(alpha);
        r3.sampleBuffers = uint8_t(sampleBuffers);
        r3.samples = uint8_t(samples);
        r3.version = uint8_t(version);
        return PDisplay::Get3D(m_sysman->m_app, &request, &r3, 0);
    }

    static bool Logged(char const* call)
    {
        auto const& log = host::CallLog();
        return std::find(log.begin(), log.end(), call) != log.end();
    }

    PRimSystemManager* m_sysman = nullptr;
    std::string m_shots;
};

std::string GlVersion()
{
    char const* v = reinterpret_cast<char const*>(glGetString(GL_VERSION));
    return v ? v : "";
}

} // namespace

// The requested version picks the context and the window format; the
// renderer option overrides the request.
TEST_F(DisplayTest, ContextFollowsTheVersionOrTheRendererOption)
{
    struct Case {
        int renderer, version, type;
        bool es1;
        char const* format;
    } const cases[] = {
        {host::RENDERER_REQUEST, 11, PGRAPHICS_GLES1, true, "window format 9 usage 16"}, // no colour bits: RGBX8888
        {host::RENDERER_REQUEST, 20, PGRAPHICS_GLES2, false, "window format 9 usage 32"},
        {host::RENDERER_GLES2, 11, PGRAPHICS_GLES2, false, "window format 9 usage 32"},
    };
    for (Case const& c : cases) {
        Start(c.renderer);
        PDisplayEGL* d = static_cast<PDisplayEGL*>(Get(c.version));
        ASSERT_NE(d, nullptr) << c.version;
        EXPECT_EQ(d->GetType(), c.type);
        std::string v = GlVersion();
        EXPECT_EQ(v.rfind(c.es1 ? "OpenGL ES-CM 1.1" : "OpenGL ES ", 0), 0u) << v;
        EXPECT_EQ(v.find("ES-CM") != std::string::npos, c.es1) << v;
        EXPECT_TRUE(Logged(c.format)) << c.format;
        EXPECT_EQ(m_sysman->GetDisplay(), d);
        EXPECT_EQ(d->Begin(), 1);
        EGLint renderable = 0;
        eglGetConfigAttrib(d->m_eglDisplay, d->m_eglConfig, EGL_RENDERABLE_TYPE, &renderable);
        EXPECT_TRUE(c.es1 || (renderable & EGL_OPENGL_ES2_BIT));
        TearDown();
    }
}

TEST_F(DisplayTest, InfoAgreesWithEgl)
{
    Start();
    PDisplayEGL* d = static_cast<PDisplayEGL*>(Get(11, 24, 8));
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(Logged("window format 8 usage 16")); // alpha asked: RGBA8888
    PDisplayProperties p;
    std::memset(&p, 0x5A, sizeof p);
    d->GetInfo(p);
    EGLDisplay dpy = eglGetCurrentDisplay();
    EGLint w = 0, h = 0, r = 0, g = 0, b = 0, a = 0;
    eglQuerySurface(dpy, eglGetCurrentSurface(EGL_DRAW), EGL_WIDTH, &w);
    eglQuerySurface(dpy, eglGetCurrentSurface(EGL_DRAW), EGL_HEIGHT, &h);
    for (auto [attr, out] : {std::pair{EGL_RED_SIZE, &r}, {EGL_GREEN_SIZE, &g}, {EGL_BLUE_SIZE, &b}, {EGL_ALPHA_SIZE, &a}})
        eglGetConfigAttrib(dpy, d->m_eglConfig, attr, out);
    EXPECT_EQ(std::make_tuple(w, h), std::make_tuple(1024, 600)); // the pbuffer follows the window size
    EXPECT_EQ(std::make_tuple(p.width, p.height), std::make_tuple(w, h));
    EXPECT_EQ(std::make_tuple(p.redBits, p.greenBits, p.blueBits), std::make_tuple(r, g, b));
    EXPECT_EQ(std::make_tuple(p.redShift, p.greenShift), std::make_tuple(g + b, b));
    EXPECT_EQ(p.redMask, ((1u << r) - 1) << (g + b));
    EXPECT_EQ(p.blueMask, (1u << b) - 1);
    EXPECT_EQ(p.bitsPerPixel, 24); // the depth request, as the tablet reports it
    EXPECT_GE(a, 1);
    PDisplayProperties3D p3 = {};
    d->GetInfo3D(p3);
    EXPECT_GE(p3.depthBits, 24);
    EXPECT_EQ(p3.alphaBits, a);
}

TEST_F(DisplayTest, ClearPresentAndReadBack)
{
    Start(host::RENDERER_REQUEST, true);
    PDisplay* d = Get(11);
    ASSERT_NE(d, nullptr);
    unsigned frames = host::FramesPresented();
    vornGL::s_profilerNofDrawcalls = 5;
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    d->Update(1);
    EXPECT_EQ(host::FramesPresented(), frames + 1);
    EXPECT_EQ(vornGL::s_profilerNofDrawcalls, 0u);
    uint8_t px[4] = {};
    glReadPixels(512, 300, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(std::make_tuple(px[0], px[1], px[2]), std::make_tuple(0, 255, 0));

    TestImage img;
    ASSERT_TRUE(ReadTestPng(Shot(1), &img));
    EXPECT_EQ(std::make_tuple(img.width, img.height), std::make_tuple(1024, 600));
    EXPECT_EQ(std::make_tuple(img.At(10, 10)[0], img.At(10, 10)[1]), std::make_tuple(0, 255));
}

TEST_F(DisplayTest, ImpossibleRequestFailsCleanly)
{
    Start();
    EXPECT_EQ(Get(11, 24, 0, 1, 64), nullptr);
    EXPECT_EQ(m_sysman->GetDisplay(), nullptr);
    // A later sound request still works.
    EXPECT_NE(Get(11), nullptr);
}

TEST(DisplayStartUp, ApplicationInitFailsWithoutADisplay)
{
    RecorderConfig config;
    config.software = false;
    config.request3D.sampleBuffers = 1;
    config.request3D.samples = 64;
    std::vector<std::string> calls = RunScript("1 exit\n", config);
    std::vector<std::string> expected = {"Init", "Display(null)"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(g_loops, 0);
    EXPECT_TRUE(g_appDeleted);
}

// A second request returns the first display untouched; orientation changes
// reconfigure only on a change; Activate drops and remakes the surface.
TEST_F(DisplayTest, OneDisplayReconfiguredInPlace)
{
    Start();
    PRimDisplay* d = static_cast<PRimDisplay*>(Get(11));
    ASSERT_NE(d, nullptr);
    void* surface = d->m_eglSurface;
    EXPECT_EQ(d->SetOrientation(PDISPLAY_ORIENT_NORMAL), 1);
    EXPECT_EQ(d->m_eglSurface, surface);
    EXPECT_EQ(d->SetOrientation(PDISPLAY_ORIENT_90), 1);
    EXPECT_EQ(d->m_current, 1);
    EXPECT_EQ(Get(20, 16, 8), d);
    EXPECT_EQ(d->GetType(), PGRAPHICS_GLES1);
    EXPECT_EQ(d->GetCurrentOrientation(), PDISPLAY_ORIENT_90);
    PDisplayProperties p;
    d->GetInfo(p);
    EXPECT_EQ(std::make_tuple(p.width, p.height, p.screenWidth), std::make_tuple(600, 1024, 1024)); // exchanged

    EXPECT_EQ(d->Activate(0), 1);
    EXPECT_EQ(d->m_eglSurface, nullptr);
    EXPECT_EQ(d->Begin(), 0);
    unsigned frames = host::FramesPresented();
    d->Update(0); // not current: nothing presented
    EXPECT_EQ(host::FramesPresented(), frames);
    d->GetInfo(p);
    EXPECT_EQ(p.width, 0); // no surface: a cleared record
    EXPECT_EQ(d->Activate(1), 1);
    EXPECT_NE(d->m_eglSurface, nullptr);
    EXPECT_EQ(d->Begin(), 1);
    EXPECT_EQ(d->Activate(-1), 1);
    EXPECT_EQ(d->m_eglSurface, nullptr);
}

namespace {
int g_callbacks = 0;
void* g_callbackArg = nullptr;
int PresentCallback(void* gles)
{
    ++g_callbacks;
    g_callbackArg = gles;
    glBindFramebuffer(GL_FRAMEBUFFER, 0); // as the GL layer does to draw onto the window
    return 1;
}
} // namespace

TEST_F(DisplayTest, UpdateCallbackRunsAndTheFramebufferIsBoundAgain)
{
    Start();
    PDisplay* d = Get(20);
    ASSERT_NE(d, nullptr);
    GLuint fb = 0, tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &fb);
    glBindFramebuffer(GL_FRAMEBUFFER, fb);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
    int glObject = 0;
    d->SetGLES(&glObject);
    d->SetUpdateCallback(PresentCallback);
    g_callbacks = 0;
    d->Update(0);
    EXPECT_EQ(g_callbacks, 1);
    EXPECT_EQ(g_callbackArg, &glObject);
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(GLuint(bound), fb);
    d->SetUpdateCallback(nullptr);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fb);
    glDeleteTextures(1, &tex);
}

TEST_F(DisplayTest, FramebufferSizeFromTheRequest)
{
    Start();
    PRimDisplay* d = static_cast<PRimDisplay*>(Get(11));
    ASSERT_NE(d, nullptr);
    PDisplayProperties r = {};
    auto fbo = [&](int w, int h, int fit) {
        r.fbWidth = w;
        r.fbHeight = h;
        r.fitFlags = uint8_t(fit);
        r.fbFlags = 3;
        d->InitFbo(&r);
        return std::make_tuple(d->m_fbWidth, d->m_fbHeight);
    };
    EXPECT_EQ(fbo(801, 481, 1), std::make_tuple(800, 480));
    EXPECT_EQ(d->m_fbFlags, 3);
    EXPECT_EQ(fbo(1024, 600, 0), std::make_tuple(0, 0)); // the screen's own size: none
    EXPECT_EQ(fbo(481, 801, 1), std::make_tuple(800, 480)); // turned to the screen
    EXPECT_EQ(fbo(481, 801, 0), std::make_tuple(480, 800)); // as given
    EXPECT_EQ(fbo(400, 300, 2), std::make_tuple(510, 300)); // widened toward 1024:600
    EXPECT_EQ(fbo(0, 480, 1), std::make_tuple(0, 0));
    EXPECT_EQ(fbo(-8, 480, 1), std::make_tuple(0, 0));
    EXPECT_EQ(std::make_tuple(d->m_screenWidth, d->m_screenHeight), std::make_tuple(1024, 600));
}

TEST_F(DisplayTest, NoDivisionByAZeroScreenSize)
{
    Start();
    // A display whose EGL set-up never ran: every query answers 0.
    PDisplayProperties request = {};
    PRimDisplay d(1, 0, &request);
    request.fbWidth = 801;
    request.fbHeight = 481;
    request.fitFlags = 2;
    d.InitFbo(&request);
    EXPECT_EQ(d.m_screenWidth, 0);
    EXPECT_EQ(std::make_tuple(d.m_fbWidth, d.m_fbHeight), std::make_tuple(800, 480));
    d.SetUpdateCallback(PresentCallback);
    int x = 100, y = 50;
    d.ConvertPos(x, y);
    EXPECT_EQ(std::make_tuple(x, y), std::make_tuple(100, 50));
}

TEST_F(DisplayTest, ConvertPosByOrientationAndFramebuffer)
{
    Start();
    PRimDisplay* d = static_cast<PRimDisplay*>(Get(11));
    ASSERT_NE(d, nullptr);
    auto conv = [&](int x, int y) {
        d->ConvertPos(x, y);
        return std::make_tuple(x, y);
    };
    EXPECT_EQ(conv(10, 20), std::make_tuple(10, 20));
    d->m_orientation = PDISPLAY_ORIENT_180;
    EXPECT_EQ(conv(0, 0), std::make_tuple(1024, 600));
    d->m_orientation = PDISPLAY_ORIENT_90;
    EXPECT_EQ(conv(10, 20), std::make_tuple(20, 1014));
    d->m_orientation = PDISPLAY_ORIENT_270;
    EXPECT_EQ(conv(10, 20), std::make_tuple(580, 10));
    // With the GL layer's framebuffer at half size: positions scale first.
    d->m_orientation = PDISPLAY_ORIENT_NORMAL;
    d->m_fbWidth = 512;
    d->m_fbHeight = 300;
    d->SetUpdateCallback(PresentCallback);
    EXPECT_EQ(conv(1024, 600), std::make_tuple(512, 300));
    d->m_orientation = PDISPLAY_ORIENT_180;
    EXPECT_EQ(conv(0, 0), std::make_tuple(512, 300));
    d->SetUpdateCallback(nullptr);
}

TEST_F(DisplayTest, MemoryDisplayForTheSoftwareRasterizer)
{
    Start(host::RENDERER_SOFTWARE, true);
    PDisplay* d = Get(11);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetType(), PGRAPHICS_SOFTWARE);
    PBackBuffer* bb = d->GetBackBuffer(PBACKBUFFER_COLOR);
    ASSERT_NE(bb, nullptr);
    EXPECT_EQ(std::make_tuple(bb->width, bb->height, bb->pitch), std::make_tuple(1024, 600, 2048));
    for (int i = 0; i < bb->width * bb->height; ++i)
        bb->pixels[i] = 0xF800; // red
    bb->pixels[0] = 0x001F;     // top-left blue
    d->Update(0);
    TestImage img;
    ASSERT_TRUE(ReadTestPng(Shot(1), &img));
    EXPECT_EQ(img.channels, 3);
    EXPECT_EQ(std::make_tuple(img.At(0, 0)[0], img.At(0, 0)[2]), std::make_tuple(0, 255));
    EXPECT_EQ(std::make_tuple(img.At(5, 5)[0], img.At(5, 5)[2]), std::make_tuple(255, 0));
}
