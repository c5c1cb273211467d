// The front end: orientation turns of viewport and scissor, light positions,
// the draw counter, framebuffer name 0, start-up, and the default framebuffer
// with its presentation, all seen on a recording back end.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "gl/gles.h"
#include "recording_backend.h"

using testgl::Call;
using testgl::RecordingBackend;

namespace {

void FakeEntry() {}
vornGL::ProcFn FakeLookup(char const*) { return &FakeEntry; }

class FakeDisplay : public PDisplay {
public:
    PBackBuffer* GetBackBuffer(PBackBufferType) override { return nullptr; }
    void Update(int) override {}
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties&) override {}
    void SetUpdateCallback(int (*cb)(void*)) override { callback = cb; }
    void SetGLES(void* g) override { gles = g; }
    int (*callback)(void*) = nullptr;
    void* gles = nullptr;
};

struct FrontEnd : ::testing::Test {
    PDisplayProperties info{};
    RecordingBackend* rec = nullptr;
    std::unique_ptr<GLES> g;

    void SetUp() override
    {
        vornGL::SetProcAddressLookup(&FakeLookup);
        info.width = 1024;
        info.height = 600;
        info.screenWidth = 1024;
        info.screenHeight = 600;
    }
    void TearDown() override { vornGL::SetProcAddressLookup(nullptr); }

    // A front end on a fresh recorder; extensions as given.
    int Make(int api, char const* extensions, PDisplay* display = nullptr)
    {
        g = std::make_unique<GLES>();
        rec = new RecordingBackend(api, &info);
        rec->extensions = extensions;
        rec->integers[GL_MAX_TEXTURE_UNITS] = {2};
        int r = g->Init(rec, display);
        rec->Clear();
        return r;
    }
};

TEST_F(FrontEnd, ViewportAndScissorAreTurnedForTheOrientation)
{
    Make(1, "");
    g->glViewport(-10, 0, 100, 50);
    EXPECT_EQ(rec->calls.back(), Call("glViewport", -10, 0, 100, 50));
    PRect r = g->GetStateMan().GetViewport();
    EXPECT_EQ((std::vector<int>{r.x, r.y, r.width, r.height}), (std::vector<int>{0, 550, 90, 50}));

    g->glViewport(2000, -700, 10, 10); // entirely outside: an empty stored rectangle
    r = g->GetStateMan().GetViewport();
    EXPECT_EQ((std::vector<int>{r.x, r.width, r.height}), (std::vector<int>{1024, 0, 0}));

    rec->Clear();
    g->glViewport(0, 0, -1, 10); // negative size: ignored
    EXPECT_TRUE(rec->calls.empty() || rec->calls.back().rfind("glViewport", 0) != 0);

    rec->orientation = 2;
    g->glViewport(0, 0, 1024, 600);
    EXPECT_EQ(rec->calls.back(), Call("glViewport", 0, 0, 600, 1024));
    g->glScissor(10, 20, 30, 40);
    EXPECT_EQ(rec->calls.back(), Call("glScissor", 20, 984, 40, 30));
    rec->orientation = 8;
    g->glViewport(0, 0, 1024, 600);
    EXPECT_EQ(rec->calls.back(), Call("glViewport", 0, 0, 600, 1024));
    g->glScissor(10, 20, 30, 40);
    EXPECT_EQ(rec->calls.back(), Call("glScissor", 540, 10, 40, 30));
    rec->orientation = 4; // the half turn counts as upright here
    g->glScissor(10, 20, 30, 40);
    EXPECT_EQ(rec->calls.back(), Call("glScissor", 10, 20, 30, 40));
}

TEST_F(FrontEnd, LightPositionsSeeTheCurrentModelview)
{
    Make(1, "");
    int32_t pos[4] = {0, 0, 0x10000, 0};
    g->glMatrixMode(GL_MODELVIEW);
    g->glTranslatex(0, 0x10000, 0);
    g->glMatrixMode(GL_PROJECTION);
    g->glLightxv(GL_LIGHT0, GL_POSITION, pos);
    // The modelview goes out first and the caller's mode is put back, so the
    // projection can never be overwritten.
    ASSERT_EQ(rec->calls.size(), 4u);
    EXPECT_EQ(rec->calls[0], Call("glMatrixMode", GL_MODELVIEW));
    EXPECT_EQ(rec->loaded[0][13], 0x10000);
    EXPECT_EQ(rec->calls[2], Call("glMatrixMode", GL_PROJECTION));
    EXPECT_EQ(rec->calls[3], Call("glLightxv", GL_LIGHT0, GL_POSITION, (int32_t const*)pos));
    EXPECT_TRUE(g->GetStateMan().Top(0).flags() & vornGL::kMatDirty); // loaded again at the next draw

    // Not dirty any more after a draw: forwarded at once. Other pnames too.
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    rec->Clear();
    float fpos[4] = {0, 0, 1, 0};
    g->glLightfv(GL_LIGHT0, GL_POSITION, fpos);
    g->glLightxv(GL_LIGHT0, GL_DIFFUSE, pos);
    EXPECT_EQ(rec->calls.size(), 2u);

    // Another API gets no matrix.
    Make(2, "");
    g->glTranslatex(0, 0x10000, 0);
    g->glLightxv(GL_LIGHT0, GL_POSITION, pos);
    EXPECT_EQ(rec->calls.size(), 1u);
}

TEST_F(FrontEnd, DrawCounterAndFramebufferZero)
{
    Make(1, "");
    vornGL::vornGLProfilerPresent();
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    uint16_t idx[3] = {0, 1, 2};
    g->glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_SHORT, idx);
    g->glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(vornGL::s_profilerNofDrawcalls, 2u);

    // Without a default framebuffer 0 stays 0.
    g->glBindFramebuffer(GL_FRAMEBUFFER_OES, 0);
    EXPECT_EQ(rec->calls.back(), Call("glBindFramebuffer", GL_FRAMEBUFFER_OES, 0u));
}

TEST_F(FrontEnd, StartUpWithoutAFramebuffer)
{
    FakeDisplay display;
    // No framebuffer-object extension: Init reports 0 and leaves the display alone.
    info.fbWidth = 1024;
    info.fbHeight = 600;
    EXPECT_EQ(Make(1, "GL_OES_depth24"), 0);
    EXPECT_EQ(g->GetDefaultFramebuffer(), 0u);
    EXPECT_EQ(g->GetStateMan().UnitCount(), 2u);
    EXPECT_EQ(vornGL::HaveExtension(vornGL::VornGLExtDepth24), 1);
    // No framebuffer size wanted: the same.
    info.fbWidth = 0;
    EXPECT_EQ(Make(1, "GL_OES_framebuffer_object", &display), 0);
    EXPECT_EQ(display.callback, nullptr);
}

struct Framebuffer : FrontEnd {
    FakeDisplay display;
    void TearDown() override
    {
        g.reset(); // before the display it was registered with
        FrontEnd::TearDown();
    }
    void Bits(int r, int gr, int b, int a, int d, int s)
    {
        pendingBits = {r, gr, b, a, d, s};
    }
    std::vector<int> pendingBits = {8, 8, 8, 0, 24, 8};
    int MakeFbo(char const* ext = "GL_OES_framebuffer_object GL_OES_packed_depth_stencil")
    {
        info.fbWidth = 1024;
        info.fbHeight = 600;
        g = std::make_unique<GLES>();
        rec = new RecordingBackend(1, &info);
        rec->extensions = ext;
        rec->integers[GL_MAX_TEXTURE_UNITS] = {2};
        unsigned const q[6] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS, GL_DEPTH_BITS,
                               GL_STENCIL_BITS};
        for (int i = 0; i < 6; ++i)
            rec->integers[q[i]] = {pendingBits[i]};
        setup(rec);
        return g->Init(rec, &display);
    }
    std::function<void(RecordingBackend*)> setup = [](RecordingBackend*) {};
};

TEST_F(Framebuffer, CompleteFramebufferIsMadeAndRegistered)
{
    ASSERT_EQ(MakeFbo(), 1);
    EXPECT_NE(g->GetDefaultFramebuffer(), 0u);
    EXPECT_EQ(display.gles, g.get());
    ASSERT_NE(display.callback, nullptr);
    EXPECT_EQ(display.callback(nullptr), 0);
    // 8-bit colour: RGB bytes, full size, nearest filtering; packed depth-stencil.
    auto texImages = rec->Only("glTexImage2D");
    ASSERT_EQ(texImages.size(), 1u);
    EXPECT_EQ(texImages[0], Call("glTexImage2D", GL_TEXTURE_2D, 0, GL_RGB, 1024, 600, 0, GL_RGB, GL_UNSIGNED_BYTE,
                                 (void const*)nullptr));
    EXPECT_EQ(rec->Count(Call("glTexParameteri", GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST)), 1u);
    EXPECT_EQ(rec->Count(Call("glRenderbufferStorage", GL_RENDERBUFFER_OES, GL_DEPTH24_STENCIL8_OES, 1024, 600)), 1u);
    EXPECT_EQ(rec->Count("glFramebufferRenderbuffer"), 2u);
    // Framebuffer name 0 now means the default framebuffer.
    rec->Clear();
    g->glBindFramebuffer(GL_FRAMEBUFFER_OES, 0);
    EXPECT_EQ(rec->calls.back(), Call("glBindFramebuffer", GL_FRAMEBUFFER_OES, g->GetDefaultFramebuffer()));
    // Going away unhooks the display.
    g.reset();
    EXPECT_EQ(display.callback, nullptr);
    EXPECT_EQ(display.gles, nullptr);
}

TEST_F(Framebuffer, ColourFormatsAndDepthChoices)
{
    Bits(5, 6, 5, 0, 24, 8);
    ASSERT_EQ(MakeFbo("GL_OES_framebuffer_object"), 1); // no packed depth-stencil
    EXPECT_EQ(rec->Only("glTexImage2D")[0], Call("glTexImage2D", GL_TEXTURE_2D, 0, GL_RGB, 1024, 600, 0, GL_RGB,
                                                 GL_UNSIGNED_SHORT_5_6_5, (void const*)nullptr));
    EXPECT_EQ(rec->Count(Call("glRenderbufferStorage", GL_RENDERBUFFER_OES, GL_DEPTH_COMPONENT16_OES, 1024, 600)),
              1u);
    EXPECT_EQ(rec->Count("glFramebufferRenderbuffer"), 1u);
    Bits(5, 5, 5, 1, 16, 0);
    ASSERT_EQ(MakeFbo(), 1);
    EXPECT_EQ(rec->Only("glTexImage2D")[0], Call("glTexImage2D", GL_TEXTURE_2D, 0, GL_RGBA, 1024, 600, 0, GL_RGBA,
                                                 GL_UNSIGNED_SHORT_5_5_5_1, (void const*)nullptr));
}

TEST_F(Framebuffer, PowerOfTwoFallbackScalesTheQuad)
{
    // The first upload is refused; the retry is 1024 x 1024 and t becomes 600/1024.
    setup = [](RecordingBackend* r) { r->errors = {0, 0, GL_INVALID_VALUE}; };
    ASSERT_EQ(MakeFbo(), 1);
    auto texImages = rec->Only("glTexImage2D");
    ASSERT_EQ(texImages.size(), 2u);
    EXPECT_EQ(texImages[1], Call("glTexImage2D", GL_TEXTURE_2D, 0, GL_RGB, 1024, 1024, 0, GL_RGB, GL_UNSIGNED_BYTE,
                                 (void const*)nullptr));
    rec->Clear();
    ASSERT_EQ(g->vornGLPresentFramebuffer(), 1);
    auto ptr = rec->Only("glTexCoordPointer");
    ASSERT_FALSE(ptr.empty());
    // The texture-coordinate pointer is the quad plus 3 values; read it back.
    void* p = nullptr;
    sscanf(ptr[0].c_str(), "glTexCoordPointer(2, %*u, 20, %p)", &p);
    ASSERT_NE(p, nullptr);
    int32_t const* st = static_cast<int32_t const*>(p);
    EXPECT_EQ(st[0], 0);       // vertex 0: s
    EXPECT_EQ(st[1], 0x9600);  // vertex 0: t = 600/1024
    EXPECT_EQ(st[10], 0x10000); // vertex 2: s
    // A later set-up without the fallback puts 1.0 back.
    setup = [](RecordingBackend*) {};
    ASSERT_EQ(MakeFbo(), 1);
    EXPECT_EQ(st[1], 0x10000);
}

TEST_F(Framebuffer, IncompleteFramebufferFreesEverything)
{
    setup = [](RecordingBackend* r) { r->framebufferStatus = 0x8CD6; };
    EXPECT_EQ(MakeFbo(), 0);
    EXPECT_EQ(g->GetDefaultFramebuffer(), 0u);
    EXPECT_EQ(g->GetColourTexture(), 0u);
    EXPECT_EQ(rec->Count("glDeleteFramebuffers"), 1u);
    EXPECT_EQ(rec->Count("glDeleteRenderbuffers"), 1u);
    EXPECT_EQ(rec->Count("glDeleteTextures"), 1u);
    EXPECT_EQ(display.callback, nullptr);
    EXPECT_EQ(g->vornGLPresentFramebuffer(), 0);
}

TEST_F(Framebuffer, PresentationRestoresWhatItChanges)
{
    ASSERT_EQ(MakeFbo(), 1);
    g->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    rec->integers[GL_BLEND] = {1};
    rec->integers[GL_FOG] = {1};
    rec->integers[GL_ACTIVE_TEXTURE] = {GL_TEXTURE1};
    rec->integers[GL_TEXTURE_2D] = {0};
    rec->integers[GL_TEXTURE_BINDING_2D] = {7};
    rec->integers[GL_VIEWPORT] = {1, 2, 3, 4};
    rec->integers[GL_SCISSOR_BOX] = {5, 6, 7, 8};
    rec->integers[GL_MATRIX_MODE] = {GL_TEXTURE};
    rec->Clear();
    ASSERT_EQ(g->vornGLPresentFramebuffer(), 1);
    auto const& c = rec->calls;
    auto pos = [&](std::string const& s) { return std::find(c.begin(), c.end(), s) - c.begin(); };
    // Draws one quad to the window, unit 0 selected while it works.
    EXPECT_LT(pos(Call("glBindFramebuffer", GL_FRAMEBUFFER_OES, 0u)), pos(Call("glDrawArrays", GL_TRIANGLE_STRIP, 0, 4)));
    EXPECT_LT(pos(Call("glDisable", GL_BLEND)), pos(Call("glDrawArrays", GL_TRIANGLE_STRIP, 0, 4)));
    EXPECT_LT(pos(Call("glDisable", GL_FOG)), pos(Call("glDrawArrays", GL_TRIANGLE_STRIP, 0, 4)));
    EXPECT_EQ(rec->Count(Call("glEnable", GL_BLEND)), 1u);
    EXPECT_EQ(rec->Count(Call("glEnable", GL_FOG)), 1u);
    // Unit 0 gets its cached environment, binding and enable back; then unit 1 is active again.
    size_t env = pos(Call("glTexEnvi", GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD));
    size_t bind = pos(Call("glBindTexture", GL_TEXTURE_2D, 7u));
    size_t disable = pos(Call("glDisable", GL_TEXTURE_2D));
    size_t active = pos(Call("glActiveTexture", GL_TEXTURE1));
    EXPECT_LT(env, active);
    EXPECT_LT(bind, active);
    EXPECT_LT(disable, active);
    EXPECT_LT(active, c.size());
    EXPECT_EQ(pos(Call("glViewport", 1, 2, 3, 4)) < (long)c.size(), true);
    EXPECT_EQ(pos(Call("glScissor", 5, 6, 7, 8)) < (long)c.size(), true);
    EXPECT_EQ(c[c.size() - 4], Call("glMatrixMode", GL_TEXTURE));
    EXPECT_EQ(c.back(), Call("vornGLPopFixed"));
    // Both matrix stacks are pushed and popped once each.
    EXPECT_EQ(rec->Count("glPushMatrix"), 2u);
    EXPECT_EQ(rec->Count("glPopMatrix"), 2u);
}

} // namespace
