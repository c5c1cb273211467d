// Drawing on several threads: every trace of the repository comes out byte
// for byte as one thread draws it, at band counts that cut the surface
// unevenly; kept draws are drawn before what would change or read their
// result (a texture upload, a read-back, a clear, the display's
// presentation).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/graphics/p3d.h"
#include "gl/software/swbands.h"
#include "tests/gl/software/sw_fixture.h"
#include "tests/gl/trace_files.h"
#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

namespace {

using namespace glreplay;


bool ReplayWith(Trace const& trace, char const* threads, int orientation, Image& frame, std::string& error)
{
    setenv("KRV_SW_THREADS", threads, 1);
    ReplayOptions opt;
    opt.backend = Backend::SW;
    opt.orientation = orientation;
    ReplayResult r;
    bool ok = Replay(trace, opt, r, error);
    unsetenv("KRV_SW_THREADS");
    frame = r.frame;
    return ok;
}

TEST(SwBands, EveryTraceAsOneThreadDrawsIt)
{
    std::vector<std::string> paths = TraceFiles({"/tests/gl/traces", "/tests/gl/software/traces", "/tests/gl/es2_traces"});
    ASSERT_GT(paths.size(), 10u);
    for (std::string const& path : paths) {
        SCOPED_TRACE(path);
        Trace trace;
        std::string error;
        ASSERT_TRUE(LoadTrace(path, trace, error)) << error;
        for (int orientation : {1, 2}) {
            Image one;
            ASSERT_TRUE(ReplayWith(trace, "1", orientation, one, error)) << error;
            for (char const* threads : {"2", "3", "7"}) {
                Image many;
                ASSERT_TRUE(ReplayWith(trace, threads, orientation, many, error)) << error;
                EXPECT_TRUE(many.rgba == one.rgba) << threads << " threads, orientation " << orientation;
            }
        }
    }
}

class SwBandsOrder : public swtest::SwFixture {
protected:
    void SetUp() override
    {
        SwFixture::SetUp();
        ASSERT_TRUE(sw->SetDrawThreads(3));
        ASSERT_EQ(sw->DrawThreads(), 3);
    }
    void RedQuad()
    {
        gles->glColor4x(0x10000, 0, 0, 0x10000);
        Triangles({8, 8, 56, 8, 8, 56, 56, 8, 56, 56, 8, 56});
    }
};

// Each case draws a red quad on the cleared surface, then makes a call that
// reads or changes what the quad drew; the quad must be there (or be
// overwritten) as if drawn at once.
TEST_F(SwBandsOrder, KeptDrawsComeBeforeWhatFollows)
{
    uint16_t const red = 0xF800;
    RedQuad();
    EXPECT_EQ(Count(red), 0) << "the quad is kept until the picture is needed";
    // A read-back sees it.
    std::vector<uint8_t> rgba(W * H * 4);
    sw->glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    EXPECT_EQ(rgba[(32 * W + 32) * 4], 255);
    EXPECT_EQ(Count(red), 48 * 48);

    // A clear comes after it.
    RedQuad();
    gles->glClear(GL_COLOR_BUFFER_BIT);
    sw->glFinish();
    EXPECT_EQ(Count(red), 0);

    // A texture upload waits for the draws that read the old texels.
    uint32_t name = NewTexture();
    uint16_t green[4] = {0x07E0, 0x07E0, 0x07E0, 0x07E0}, blue[4] = {0x001F, 0x001F, 0x001F, 0x001F};
    gles->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, green);
    gles->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gles->glEnable(GL_TEXTURE_2D);
    gles->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    int32_t uv[12] = {0, 0, 0x10000, 0, 0, 0x10000, 0x10000, 0, 0x10000, 0x10000, 0, 0x10000};
    sw->glTexCoordPointer(2, GL_FIXED, 0, uv);
    gles->glColor4x(0x10000, 0x10000, 0x10000, 0x10000);
    Triangles({8, 8, 56, 8, 8, 56, 56, 8, 56, 56, 8, 56});
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, blue);
    gles->glDeleteTextures(1, &name);
    sw->glFinish();
    EXPECT_EQ(Count(0x07C0), 48 * 48); // green as the texture keeps it (bit 0x20 is the key)
    EXPECT_EQ(Count(0x001F), 0);
}

// The display's presentation draws what is kept; a back end that goes back
// to one thread, or goes away, leaves the display no hook.
class PresentingDisplay : public swtest::MemoryDisplay {
public:
    using MemoryDisplay::MemoryDisplay;
    bool SetBeforePresent(void (*hook)(void*), void* user) override
    {
        m_hook = hook;
        m_user = user;
        return true;
    }
    void Update(int) override
    {
        if (m_hook)
            m_hook(m_user);
    }
    bool Hooked() const { return m_hook != nullptr; }

private:
    void (*m_hook)(void*) = nullptr;
    void* m_user = nullptr;
};

TEST(SwBandsPresent, PresentationDrawsWhatIsKept)
{
    PresentingDisplay display(64, 64);
    PDisplayProperties info{};
    info.width = info.height = 64;
    auto gles = std::make_unique<GLES>();
    auto* sw = vornGL::P3DBackendSW::Create(&info, gles->GetStateMan(), &display);
    ASSERT_NE(sw, nullptr);
    gles->Init(sw, nullptr);
    ASSERT_TRUE(sw->SetDrawThreads(4));
    EXPECT_TRUE(display.Hooked());
    gles->glViewport(0, 0, 64, 64);
    gles->glMatrixMode(GL_PROJECTION);
    gles->glLoadIdentity();
    gles->glOrthox(0, 64 << 16, 0, 64 << 16, -(1 << 16), 1 << 16);
    gles->glMatrixMode(GL_MODELVIEW);
    gles->glLoadIdentity();
    gles->glEnableClientState(GL_VERTEX_ARRAY);
    int32_t xy[6] = {0, 0, 64 << 16, 0, 0, 64 << 16};
    sw->glVertexPointer(2, GL_FIXED, 0, xy);
    gles->glColor4x(0x10000, 0x10000, 0x10000, 0x10000);
    gles->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(display.Buffer().pixels[63 * 64 + 1], 0);
    display.Update(0);
    EXPECT_EQ(display.Buffer().pixels[63 * 64 + 1], 0xFFFF);
    ASSERT_TRUE(sw->SetDrawThreads(1));
    EXPECT_FALSE(display.Hooked());
    ASSERT_TRUE(sw->SetDrawThreads(2));
    gles.reset(); // the back end goes with it
    EXPECT_FALSE(display.Hooked());
}

// The drawing context draws on threads only on a display that presents
// through the hook; the picture is there when the display shows it.
TEST(SwBandsPresent, DrawingContextDrawsLateOnlyWhereTheDisplayWaits)
{
    setenv("KRV_SW_THREADS", "3", 1);
    PresentingDisplay presenting(64, 48);
    swtest::MemoryDisplay plain(64, 48);
    for (swtest::MemoryDisplay* display : {static_cast<swtest::MemoryDisplay*>(&presenting), &plain}) {
        P3D* p3d = P3D::Create(display, nullptr);
        ASSERT_NE(p3d, nullptr);
        p3d->Clear(0xFF000000);
        p3d->FillRect(8, 4, 20, 10, 0xFFFF0000, P3DBLEND_OPAQUE);
        uint16_t before = display->Buffer().pixels[4 * 64 + 8];
        display->Update(0);
        EXPECT_EQ(display->Buffer().pixels[4 * 64 + 8], 0xF800);
        EXPECT_EQ(before, display == &plain ? 0xF800 : 0) << "drawn at once only on the plain display";
        delete p3d;
    }
    EXPECT_FALSE(presenting.Hooked());
    unsetenv("KRV_SW_THREADS");
}

TEST(SwBandsThreads, WantedCountFromTheEnvironment)
{
    struct Case {
        char const* value;
        int expected; // 0: the default
    } const cases[] = {{"1", 1}, {"3", 3}, {"64", 64}, {"0", 0}, {"65", 0}, {"2x", 0}, {"-2", 0}, {"", 0}};
    unsetenv("KRV_SW_THREADS");
    int const fallback = vornGL::DrawThreadsWanted();
    EXPECT_GE(fallback, 1);
    EXPECT_LE(fallback, 8);
    for (Case const& c : cases) {
        setenv("KRV_SW_THREADS", c.value, 1);
        EXPECT_EQ(vornGL::DrawThreadsWanted(), c.expected ? c.expected : fallback) << c.value;
    }
    unsetenv("KRV_SW_THREADS");
}

} // namespace
