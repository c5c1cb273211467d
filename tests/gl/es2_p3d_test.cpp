// The drawing context on a display of graphics type 2 (an OpenGL ES 2.0
// pbuffer, as the program's gles2 renderer gives it) draws what it draws on
// OpenGL ES 1.1: fills in every blend mode, lines, rectangles and textured
// images with alpha test, blending, effects alpha, tint, rotation and scale.
#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/platform/pdisplayegl.h"
#include "es2_testgl.h"

namespace {

constexpr int W = 160, H = 120;

// One display per version for the whole run (Mesa keeps some of its set-up
// past eglTerminate).
PDisplayEGL* Display(int version)
{
    static PDisplayEGL* displays[2] = {};
    PDisplayEGL*& d = displays[version == 20 ? 1 : 0];
    if (!d) {
        d = new PDisplayEGL();
        d->m_surfaceKind = PSURFACE_PBUFFER;
        d->SetPbufferSize(W, H);
        PDisplayProperties req{};
        req.redBits = 8;
        PDisplayProperties3D r3{};
        r3.depthBits = 24;
        r3.alphaBits = 8;
        r3.version = uint8_t(version);
        if (!d->Init(nullptr, 32, &req, &r3)) {
            delete d;
            d = nullptr;
        }
    }
    if (d)
        d->MakeCurrent();
    return d;
}

// An 8 x 8 image: colour blocks, alpha falling from left to right.
std::vector<uint32_t> Pixels()
{
    std::vector<uint32_t> px(64);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint32_t a = 255 - x * 32;
            uint32_t r = (x < 4) ? 230 : 40, g = (y < 4) ? 200 : 60, b = ((x + y) & 1) ? 220 : 30;
            px[y * 8 + x] = a << 24 | r << 16 | g << 8 | b;
        }
    return px;
}

std::vector<unsigned char> Draw(int version)
{
    PDisplayEGL* display = Display(version);
    if (!display)
        return {};
    P3D* ctx = P3D::Create(display, nullptr);
    if (!ctx)
        return {};
    EXPECT_EQ(ctx->GetBackend()->vornGLGetAPI(), version == 20 ? 2 : 1);
    std::vector<uint32_t> pixels = Pixels();
    PSurface image(8, 8, 32, 3, reinterpret_cast<unsigned char*>(pixels.data()), PSURF_NOTOWNED);
    PSurface3D* tex = PSurface3D::Create(ctx, &image, 0);
    EXPECT_NE(tex, nullptr);

    ctx->Clear(0x203040);
    ctx->FillRect(4, 4, 40, 20, 0xFF8040, P3DBLEND_OPAQUE);
    ctx->FillRect(24, 10, 40, 20, 0x8040C0FF, P3DBLEND_ALPHA);
    ctx->FillRect(50, 4, 30, 30, 0x60FF2020, P3DBLEND_ADDALPHA);
    ctx->FillRect(70, 20, 30, 30, 0x00202060, P3DBLEND_ADD);
    ctx->Line(4, 60, 150, 70, 0xFFFFFF, 0x00FF00, P3DBLEND_OPAQUE);
    ctx->Rectangle(110, 4, 40, 30, 0xFFFF00, P3DBLEND_OPAQUE);
    if (tex) {
        tex->Blit(4, 80, nullptr, 0);
        tex->Blit(20, 80, nullptr, PS3D_ALPHATEST);
        tex->Blit(36, 80, nullptr, PS3D_BLEND | PS3D_MIRROR);
        PBlitFX fx;
        fx.alpha = 128;
        tex->BlitFx(70, 90, nullptr, PS3D_ALPHA, fx);
        fx.color = 0xF800; // red tint
        tex->BlitFx(90, 90, nullptr, PS3D_TINT, fx);
        fx.angle = 8192;
        fx.scaleX = fx.scaleY = 0x30000;
        tex->BlitFx(130, 90, nullptr, PS3D_ROTATE | PS3D_SCALE | PS3D_BLEND, fx);
    }
    glFinish();
    std::vector<unsigned char> out(size_t(W) * H * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    delete tex;
    delete ctx;
    return out;
}

TEST(Es2DrawingContext, DrawsAsOnOpenGLES11)
{
    std::vector<unsigned char> es1 = Draw(11);
    std::vector<unsigned char> es2 = Draw(20);
    if (es1.empty() || es2.empty())
        GTEST_SKIP() << "no OpenGL ES pbuffers on this machine";
    // RGB only: the 2D drawing turns alpha writes off.
    int worst = 0;
    for (size_t i = 0; i < es1.size(); i += 4)
        for (int k = 0; k < 3; ++k)
            worst = std::max(worst, std::abs(int(es1[i + k]) - int(es2[i + k])));
    EXPECT_LE(worst, 3);
    size_t distinct = 0;
    for (size_t i = 4; i < es2.size(); i += 4)
        distinct += std::memcmp(&es2[i], &es2[0], 3) != 0;
    EXPECT_GT(distinct, size_t(W) * H / 8); // a drawn frame, not a cleared one
}

} // namespace
