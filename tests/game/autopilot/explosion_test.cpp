// The demo's explosion drawn with the game's own textures from the built
// archive, on the software renderer and on Mesa: its light fades out
// towards its rims. The ring, glow and burst quads each draw a quarter of
// the smoke picture; a quarter cut through a bright part of it ended in a
// straight hard edge at the quad's side (a large translucent square in
// flight). The brightest frame is kept in autopilot_shots/explosion_{sw,gl}.png.
#include <gtest/gtest.h>

#include <GLES/gl.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "game/world/myexplosion.h"
#include "tests/game/world/game_fixture.h"
#include "tools/glreplay/pngio.h"

namespace {

constexpr int kSide = 200; // pixels, over 16 units: the biggest quad fits
constexpr int kUnlit = 24; // the three channels summed

class Explosion : public testing::TestWithParam<bool> {};

TEST_P(Explosion, LightFadesOutTowardsItsRims)
{
    PVFS vfs;
    ASSERT_TRUE(vfs.OpenVFS(KRV_DEMO_ARCHIVE));
    PGlobals globals{};
    globals.archive = &vfs;
    PSetTls(&globals);
    std::unique_ptr<gametest::MesaContext> mesa;
    std::unique_ptr<gametest::SoftContext> soft;
    if (GetParam())
        mesa = std::make_unique<gametest::MesaContext>(kSide, kSide);
    else
        soft = std::make_unique<gametest::SoftContext>(kSide, kSide);
    P3D* gl = mesa ? mesa->ctx : soft->ctx;
    ASSERT_NE(gl, nullptr);
    {
        PTextureManager tm(nullptr, gl);
        // As the game loads its shared textures.
        const int flash = tm.AddTexture("data\\textures\\explosion.png", PTEX_ALPHA, 0);
        const int smoke = tm.AddTexture("data\\textures\\smoke.png", PTEX_ALPHA, 0);
        const int smoke2 = tm.AddTexture("data\\textures\\smoke2.png", PTEX_ALPHA, 0);
        ASSERT_TRUE(flash > 0 && smoke > 0 && smoke2 > 0);

        MyExplosion e;
        e.Init(PVector3(), MyExplosion::kBasic, nullptr);
        int worst = 0, worstFrame = 0, brightest = -1;
        std::vector<uint32_t> kept;
        for (int frame = 0; frame < 80 && e.frame != MyExplosion::kIdle; ++frame) {
            gl->glViewport(0, 0, kSide, kSide);
            gl->glMatrixMode(GL_PROJECTION);
            gl->glLoadIdentity();
            gl->glOrthox(-8 << 16, 8 << 16, -8 << 16, 8 << 16, -50 << 16, 50 << 16);
            gl->glMatrixMode(GL_MODELVIEW);
            gl->glLoadIdentity();
            gl->Clear(0xFF000000);
            e.Render(gl, &tm, flash, smoke, nullptr, 0, smoke2);
            const std::vector<uint32_t> f = mesa ? mesa->Read() : soft->Read();
            auto sum = [&](int x, int y) {
                const uint32_t c = f[size_t(y) * kSide + size_t(x)];
                return int(c >> 16 & 0xFF) + int(c >> 8 & 0xFF) + int(c & 0xFF);
            };
            // The brightest pixel beside one the explosion left dark.
            int rim = 0;
            long light = 0;
            for (int y = 1; y + 1 < kSide; ++y)
                for (int x = 1; x + 1 < kSide; ++x) {
                    const int s = sum(x, y);
                    light += s;
                    if (std::min({sum(x - 1, y), sum(x + 1, y), sum(x, y - 1), sum(x, y + 1)}) <= kUnlit)
                        rim = std::max(rim, s);
                }
            // The first frames' quads are a few pixels across, all rim.
            if (frame >= 3 && rim > worst)
                worst = rim, worstFrame = frame;
            if (light > brightest)
                brightest = light, kept = f;
        }
        // The rims give up to about 200 (the flash's small fireballs at their
        // sharpest); the quads cut through the smoke picture gave 400 to 750.
        EXPECT_LT(worst, 300) << "frame " << worstFrame << ": the explosion's light stops at a hard edge";
        glreplay::Image img;
        img.width = img.height = kSide;
        img.rgba.resize(size_t(kSide) * kSide * 4);
        for (size_t i = 0; i < kept.size(); ++i) {
            img.rgba[4 * i] = uint8_t(kept[i] >> 16), img.rgba[4 * i + 1] = uint8_t(kept[i] >> 8);
            img.rgba[4 * i + 2] = uint8_t(kept[i]), img.rgba[4 * i + 3] = 255;
        }
        std::filesystem::create_directories("autopilot_shots");
        std::string err;
        EXPECT_TRUE(glreplay::WritePng(std::string("autopilot_shots/explosion_") + (mesa ? "gl" : "sw") + ".png",
                                       img, err))
            << err;
    }
    PSetTls(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Renderers, Explosion, testing::Values(false, true),
                         [](testing::TestParamInfo<bool> const& i) { return std::string(i.param ? "gl" : "sw"); });

} // namespace
