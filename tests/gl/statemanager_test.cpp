// The state manager's enable cache, blend/colour save and error record, seen
// through the calls that reach a recording back end.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "gl/gles.h"
#include "recording_backend.h"

using testgl::Call;
using testgl::RecordingBackend;

namespace {

struct Front : ::testing::Test {
    PDisplayProperties info{};
    RecordingBackend* rec = nullptr;
    std::unique_ptr<GLES> g;

    void SetUp() override { Make(1); }
    void Make(int api)
    {
        info.width = 1024;
        info.height = 600;
        g = std::make_unique<GLES>();
        rec = new RecordingBackend(api, &info);
        rec->integers[GL_MAX_TEXTURE_UNITS] = {2};
        g->Init(rec, nullptr); // no framebuffer size: draws to the window
        g->glClear(0);         // first apply: nothing is wanted yet
        rec->Clear();
    }
};

TEST_F(Front, EnablesAreSentAtTheNextClearOrDrawAndOnlyWhenChanged)
{
    g->glEnable(GL_FOG);
    EXPECT_EQ(rec->Count("glEnable"), 0u);
    g->glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(rec->Only("glEnable"), std::vector<std::string>{Call("glEnable", GL_FOG)});
    rec->Clear();
    g->glClear(GL_COLOR_BUFFER_BIT);
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Count("glEnable"), 0u);
    EXPECT_EQ(rec->Count("glDisable"), 0u);

    // Toggling between two draws sends nothing.
    g->glEnable(GL_BLEND);
    g->glDisable(GL_BLEND);
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Count("glEnable"), 0u);
    EXPECT_EQ(rec->Count("glDisable"), 0u);

    // Several changes: one call per changed bit, lowest bit first.
    g->glEnable(GL_LIGHT3);
    g->glDisable(GL_FOG);
    g->glEnableClientState(GL_VERTEX_ARRAY);
    g->glEnable(GL_LINE_SMOOTH);
    EXPECT_EQ(g->GetStateMan().WantedLow() & (1u << 15), 1u << 15);
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    std::vector<std::string> expect = {Call("glDisable", GL_FOG), Call("glEnable", GL_LIGHT3),
                                       Call("glEnableClientState", GL_VERTEX_ARRAY),
                                       Call("glEnable", GL_LINE_SMOOTH)};
    std::vector<std::string> got;
    for (auto const& c : rec->calls)
        if (c.rfind("glEnable", 0) == 0 || c.rfind("glDisable", 0) == 0)
            got.push_back(c);
    EXPECT_EQ(got, expect);
}

TEST_F(Front, ImmediateCapabilities)
{
    // TEXTURE_2D and the texture-coordinate array go out at once, per unit,
    // and leave the enable words alone.
    uint32_t low = g->GetStateMan().WantedLow();
    g->glEnable(GL_TEXTURE_2D);
    g->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    EXPECT_EQ(rec->calls, (std::vector<std::string>{Call("glEnable", GL_TEXTURE_2D),
                                                     Call("glEnableClientState", GL_TEXTURE_COORD_ARRAY)}));
    EXPECT_EQ(g->GetStateMan().WantedLow(), low);
    EXPECT_EQ(g->GetStateMan().AppliedLow(), low);
    EXPECT_EQ(g->GetStateMan().Unit(0).flags, 1u);
    EXPECT_EQ(g->GetStateMan().Unit(0).clientFlags, 1u);

    // STENCIL_TEST goes out at once and once more at the next draw.
    rec->Clear();
    g->glEnable(GL_STENCIL_TEST);
    EXPECT_EQ(rec->calls, std::vector<std::string>{Call("glEnable", GL_STENCIL_TEST)});
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Count(Call("glEnable", GL_STENCIL_TEST)), 2u);
}

TEST_F(Front, UnknownCapabilityIsInvalidEnum)
{
    g->glEnable(0x1234);
    EXPECT_EQ(g->GetStateMan().PeekError(), 0x1500u);
    EXPECT_EQ(g->glGetError(), static_cast<uint32_t>(GL_INVALID_ENUM));
    EXPECT_EQ(g->glGetError(), 0u);

    // The back end's own error comes first and the recorded one is lost.
    g->glEnable(0x1234);
    rec->errors.push_back(GL_OUT_OF_MEMORY);
    EXPECT_EQ(g->glGetError(), static_cast<uint32_t>(GL_OUT_OF_MEMORY));
    EXPECT_EQ(g->glGetError(), 0u);

    // Other tags come off too.
    g->GetStateMan().SetError(0x4502, "glFoo");
    EXPECT_EQ(g->glGetError(), static_cast<uint32_t>(GL_INVALID_OPERATION));
    g->GetStateMan().SetError(0x2501);
    EXPECT_EQ(g->glGetError(), static_cast<uint32_t>(GL_INVALID_VALUE));
}

TEST_F(Front, ErrorNameKeepsATerminator)
{
    std::string longName(150, 'x');
    g->GetStateMan().SetError(0x4500, longName.c_str());
    EXPECT_EQ(std::strlen(g->GetStateMan().ErrorName()), 99u);
    g->GetStateMan().SetError(0x4500, "glDrawArrays");
    EXPECT_STREQ(g->GetStateMan().ErrorName(), "glDrawArrays");
}

TEST_F(Front, HighWordFlags)
{
    auto& sm = g->GetStateMan();
    EXPECT_FALSE(sm.IsEnabled(0x80000020));
    g->glEnable(GL_LINE_SMOOTH);
    EXPECT_TRUE(sm.IsEnabled(0x80000020));
    EXPECT_FALSE(sm.IsEnabled(0x80000010));
    g->glDisable(GL_LINE_SMOOTH);
    EXPECT_EQ(sm.WantedHigh(), 0x80000000u); // bit 31 is never cleared
}

TEST_F(Front, StateUpdateShadingAndHintDependOnTheApi)
{
    g->vornGLStateUpdate(0x40000000, 0x40000000);
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Only("glShadeModel"), std::vector<std::string>{Call("glShadeModel", GL_SMOOTH)});

    // The start-up state of the drawing context: texturing on, everything
    // else in the mask off, fastest hint, flat shading.
    rec->Clear();
    g->vornGLStateUpdate(0x80000009, 0x7C000427);
    EXPECT_EQ(rec->calls.front(), Call("glEnable", GL_TEXTURE_2D));
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Count(Call("glShadeModel", GL_FLAT)), 1u);
    EXPECT_EQ(rec->Count("glHint"), 0u); // bit 29 was never on

    // A back end reporting API 2 never gets hint or shade model.
    Make(2);
    g->vornGLStateUpdate(0x60000000, 0x60000000);
    g->glDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(rec->Count("glShadeModel"), 0u);
    EXPECT_EQ(rec->Count("glHint"), 0u);
}

TEST_F(Front, PushPopStates)
{
    g->glColor4ub(255, 128, 0, 255);
    g->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    g->glEnable(GL_BLEND);
    g->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    g->vornGLPushState();
    g->glColor4x(0, 0, 0, 0);
    g->glBlendFunc(GL_ONE, GL_ZERO);
    g->glDisable(GL_BLEND);
    g->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    rec->Clear();
    g->vornGLPopState();
    EXPECT_EQ(rec->calls, (std::vector<std::string>{
                              Call("glBlendFunc", GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
                              Call("glTexEnvx", GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD),
                              Call("glColor4x", 0x10000, 0x8080, 0, 0x10000)}));
    EXPECT_TRUE(g->GetStateMan().IsEnabled(4)); // blend wanted again
    EXPECT_EQ(g->GetStateMan().Unit(0).envMode, static_cast<uint32_t>(GL_ADD));
}

TEST_F(Front, ColourClampsAndConvertsFloats)
{
    g->glColor4x(0x18000, -5, 0x8000, 0x10000);
    EXPECT_EQ(g->GetStateMan().Colour(), 0xFF7F00FFu);
    g->glColor4f(0.5f, NAN, 1e30f, -1e30f);
    EXPECT_EQ(g->GetStateMan().Colour(), 0x00FF007Fu);
    EXPECT_EQ(vornGL::FloatToFixed(NAN), 0);
    EXPECT_EQ(vornGL::FloatToFixed(1e20f), INT32_MAX);
    EXPECT_EQ(vornGL::FloatToFixed(-1e20f), INT32_MIN);
    EXPECT_EQ(vornGL::FloatToFixed(-1.5f), -0x18000);
    EXPECT_EQ(vornGL::FloatToFixed(1.0f / 65536.0f * 2.5f), 2); // truncated toward zero
    EXPECT_EQ(vornGL::FloatToInt(8448.9f), 8448);
}

} // namespace
