// Effects: smoke, explosions and wakes drawn on Mesa and on the software
// renderer with the coverage their quads and meshes should give, and the
// explosions' lifetimes, the shake and the wake rules.
#include <gtest/gtest.h>

#include <GLES/gl.h>

#include <cmath>
#include <cstdlib>

#include "engine/graphics/pmesh.h"
#include "game/world/myexplosion.h"
#include "game/world/mysmoke.h"
#include "game/world/quakefx.h"
#include "game/world/wave.h"
#include "game/world/wavesmanager.h"
#include "tests/game/world/world_fixture.h"

namespace {

using namespace worldtest;

constexpr int kW = 128, kH = 128;
constexpr double kPixelsPerUnit = 32; // the views below span 4.0 units

// A view of 4 x 4 units about the origin, looking down -z (or down -y from
// above), untextured white on black.
void View(P3D* gl, bool fromAbove)
{
    OrthoView(gl, kW, kH);
    if (fromAbove)
        gl->glRotatex(Fx(90), 0x10000, 0, 0);
    gl->glDisable(GL_TEXTURE_2D);
    gl->glDisable(GL_DEPTH_TEST);
    gl->Clear(0xFF000000);
}

// Lit pixels of a frame, and the farthest one's distance from its centre.
std::pair<int, double> Lit(std::vector<uint32_t> const& f)
{
    int n = 0;
    double r = 0;
    for (int i = 0; i < kW * kH; i++)
        if (((f[size_t(i)] >> 8) & 0xFF) >= 0x20)
            n++, r = std::max(r, std::hypot(i % kW + 0.5 - kW / 2.0, i / kW + 0.5 - kH / 2.0));
    return {n, r};
}

class Effects : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (GetParam()) {
            mesa = std::make_unique<MesaContext>(kW, kH);
            gl = mesa->ctx;
        } else {
            soft = std::make_unique<SoftContext>(kW, kH);
            gl = soft->ctx;
        }
        ASSERT_NE(nullptr, gl);
    }
    // The frame drawn, also saved under KRV_SAVE_FRAMES when set.
    std::vector<uint32_t> Frame(const char* name)
    {
        auto f = mesa ? mesa->Read() : soft->Read();
        if (const char* d = std::getenv("KRV_SAVE_FRAMES"))
            SaveFrame(std::string(d) + "/" + name + (mesa ? "_mesa.png" : "_soft.png"), f, kW, kH);
        return f;
    }

    std::unique_ptr<MesaContext> mesa;
    std::unique_ptr<SoftContext> soft;
    P3D* gl = nullptr;
};

TEST_P(Effects, SmokeAndSplashCoverTheirQuads)
{
    const int textures[5] = {0, 0, 0, 0, 0};
    for (auto [kind, scale] : {std::pair{MySmoke::kSmoke, 0.4}, {MySmoke::kSplash, 85196 / 65536.0}}) {
        MySmoke smoke;
        smoke.AddParticle(PVector3(), kind);
        View(gl, false);
        smoke.Render(gl, nullptr, textures);
        auto f = Frame(kind == MySmoke::kSmoke ? "smoke" : "splash");
        double side = 2 * 52756 / 65536.0 * scale * kPixelsPerUnit;
        EXPECT_NEAR(side * side, Lit(f).first, 2 * side + 4) << int(kind);
    }
}

TEST_P(Effects, BasicExplosionStaysWithinItsQuads)
{
    MyExplosion e;
    e.Init(PVector3(), MyExplosion::kBasic, nullptr);
    int biggest = 0;
    for (int frame = 0; frame < 8; frame++) {
        View(gl, false);
        e.Render(gl, nullptr, 0, 0, nullptr, 0, 0);
        auto [lit, reach] = Lit(Frame("explosion"));
        EXPECT_GT(lit, 0) << frame;
        // Every quad is at most 0.6 across per unit of scale, turned any way.
        int32_t s = std::max({e.scale[0], e.scale[1], e.scale[2], e.scale[3], e.ringScale});
        EXPECT_LE(reach, std::sqrt(2.0) * 0.6 * Db(s) * kPixelsPerUnit + 1.5) << frame;
        EXPECT_GE(lit, biggest) << "the glow only grows early on, frame " << frame;
        biggest = lit;
    }
}

TEST_P(Effects, WakeCoversItsMesh)
{
    DataDir dir;
    Tris sheet;
    sheet.v = {-1, 0, -1, 1, 0, -1, -1, 0, 1, 1, 0, 1};
    sheet.t = {0, 1, 2, 1, 3, 2};
    dir.Put("wake.pof", WritePof(sheet.Pof()));
    WavesManager waves;
    waves.AddMesh("wake.pof", "", nullptr);
    waves.AddMesh("missing.pof", "", nullptr);
    ASSERT_EQ(1u, waves.meshes.size());
    Wave w(4, 330);
    waves.AddWave(&w);
    PVector3 pos(0, Fx(0.25), 0), dir2(0, 0, 0);
    w.Add(&pos, &dir2, 0, 0, 1000, nullptr);
    ASSERT_EQ(1, w.active);
    View(gl, true);
    waves.RenderWaves(gl);
    auto f = Frame("wake");
    // First frame: scale size + 1.0 = 2.0, so the 2 x 2 sheet spans 2 x 4.
    double want = (2 * kPixelsPerUnit) * (4 * kPixelsPerUnit);
    EXPECT_NEAR(want, Lit(f).first, 2 * (6 * kPixelsPerUnit) + 4);
}

INSTANTIATE_TEST_SUITE_P(MesaAndSoftware, Effects, ::testing::Values(true, false),
                         [](auto const& info) { return info.param ? "Mesa" : "Software"; });

TEST(ExplosionLife, EachKindEnds)
{
    SoftContext sc(16, 16);
    ASSERT_NE(nullptr, sc.ctx);
    // Drawn frames up to and including the one that ends it.
    for (auto c : {std::tuple{MyExplosion::kRing, 1, 1}, {MyExplosion::kNuke, 46, 46},
                   {MyExplosion::kParticles, 122, 122}, {MyExplosion::kBasic, 20, 100}}) {
        auto [kind, least, most] = c;
        MyExplosion e;
        EXPECT_EQ(-1, e.Render(sc.ctx, nullptr, 0, 0, nullptr, 0, 0)); // idle
        e.Init(PVector3(), kind, nullptr);
        int n = 1;
        while (n < 500 && e.Render(sc.ctx, nullptr, 0, 0, nullptr, 0, 0) != -1)
            n++;
        EXPECT_GE(n, least) << int(kind);
        EXPECT_LE(n, most) << int(kind);
    }
}

TEST(SmokeSlots, FullPoolDropsAndSpreadZeroStaysOnAxis)
{
    MySmoke smoke;
    for (int i = 0; i < 33; i++)
        smoke.AddParticle(PVector3(Fx(i), 0, 0), MySmoke::kSmoke);
    EXPECT_EQ(32, smoke.LiveCount());
    EXPECT_EQ(Fx(31), smoke.slots[31].x);

    MyExplosion e;
    e.Init(PVector3(Fx(5), Fx(6), Fx(7)), MyExplosion::kBasic, nullptr);
    smoke.Clear();
    e.SetSmoke(&smoke, 3, 0, 0, 0);
    ASSERT_EQ(3, smoke.LiveCount());
    EXPECT_EQ(Fx(5), smoke.slots[0].x);
    EXPECT_EQ(Fx(7), smoke.slots[0].z);
}

TEST(Shake, BlinksAndEnds)
{
    unsigned int clock = 5000;
    QuakeFx q(&clock);
    SoftContext sc(8, 8);
    q.SetBlink(1);
    q.Enable();
    std::vector<int> blinks;
    for (int call = 0; call < 40; call++) {
        clock = 5000 + 20 * call;
        if (q.BlinkScreen(sc.ctx))
            blinks.push_back(int(clock - 5000));
    }
    // The first after a quarter of 1500 ms, then 5, 10 and 15 calls later.
    EXPECT_EQ((std::vector<int>{380, 480, 580, 680}), blinks);
    q.SetBlink(0);
    q.Enable();
    clock += 1000;
    EXPECT_FALSE(q.BlinkScreen(sc.ctx));

    // The shake moves the matrix by 0 to the strength and stops after its
    // length; a strength of 0 does not divide.
    for (int strength : {Fx(0.2), 0}) {
        q.SetStrength(strength);
        q.Enable();
        sc.ctx->glMatrixMode(GL_MODELVIEW);
        sc.ctx->glLoadIdentity();
        q.ModifyMatrix(sc.ctx);
        int32_t m[16];
        sc.ctx->glGetFixedv(GL_MODELVIEW_MATRIX, m);
        for (int k = 12; k < 15; k++) {
            EXPECT_GE(m[k], 0);
            EXPECT_LE(m[k], strength);
        }
        clock += 1501;
        q.ModifyMatrix(sc.ctx);
        EXPECT_EQ(0, q.active);
    }
}

TEST(Wake, AddedOnlyNearWaterAndNotTooOften)
{
    MySmoke smoke;
    Wave w(2, 330);
    PVector3 dir(Fx(2), 0, Fx(-4));
    struct { double y; unsigned now; bool added; } steps[] = { // clang-format off
        {3.6, 1000, false}, // too high above the water
        {-3.6, 1000, false}, // too far below
        {1.0, 1000, true},
        {1.0, 1200, false}, // within the interval
        {3.5, 1330, true},
        {0.0, 2000, false}, // both marks still alive
    }; // clang-format on
    int marks = 0;
    for (auto s : steps) {
        PVector3 pos(Fx(10), Fx(s.y), Fx(20));
        w.Add(&pos, &dir, Fx(90), 0, s.now, &smoke);
        int now = 0;
        for (auto const& e : w.elements)
            now += e.life > 0;
        EXPECT_EQ(s.added, now > marks) << s.y << " " << s.now;
        marks = now;
    }
    EXPECT_EQ(Fx(11), w.elements[0].x); // half a step ahead
    EXPECT_EQ(Fx(18), w.elements[0].z);
    // Only the low mark splashed.
    EXPECT_EQ(1, smoke.LiveCount());
    EXPECT_EQ(MySmoke::kSplash, smoke.slots[0].kind);
    Wave none(0, 330);
    PVector3 pos(0, 0, 0);
    none.Add(&pos, &dir, 0, 0, 5000, &smoke);
    EXPECT_EQ(0, none.active);
}

} // namespace
