// Particle emitters: the burst drawn from the generator in its fixed order,
// steps under gravity, the fade and growth seen on Mesa, looping, and the
// billboard that turns each quad to the viewer.
#include <gtest/gtest.h>
#include <tuple>

#include "game/scene/particleemitter.h"
#include "game/world/mybillboard.h"
#include "gl_fixture.h"
#include "scene_fixtures.h"

namespace {

using namespace scenetest;

// The two multiply-with-carry generators, written out again.
struct Reference {
    uint32_t a, b;
    uint32_t Next()
    {
        b = 30903u * (b & 0xFFFF) + (b >> 16);
        a = 18000u * (a & 0xFFFF) + (a >> 16);
        return (b << 16) + (a & 0xFFFF);
    }
};

TEST(Particles, BurstFollowsTheGeneratorOrder)
{
    ParticleEmitter e;
    e.random.Seed(12345, 678);
    ASSERT_EQ(1, e.Init(20, 0x8000, 0x10000, 100, 0x10000));
    EXPECT_EQ(ParticleEmitter::kStopped, e.state);
    Reference r{12345, 678};
    for (int i = 0; i < 20; i++) {
        uint32_t r1 = r.Next();
        int s1 = (r.Next() & 1) ? -1 : 1;
        int x = int(r1 % 0x8000) * s1;
        int y = int(r.Next() % 0x10000);
        uint32_t r3 = r.Next();
        int s3 = (r.Next() & 1) ? -1 : 1;
        int z = int(r3 % 0x8000) * s3;
        int d = int(r.Next() & 3);
        d = d ? d : 1;
        auto const& p = e.particles[i];
        ASSERT_EQ(x, p.x) << i;
        ASSERT_EQ(y, p.y) << i;
        ASSERT_EQ(z, p.z) << i;
        ASSERT_EQ(x / d, p.vx) << i;
        ASSERT_EQ(y / d, p.vy) << i;
        ASSERT_EQ(z / d, p.vz) << i;
        ASSERT_EQ(100, p.life);
    }
    // Golden values of the first particle for this seed.
    EXPECT_EQ(10192, e.particles[0].x);
    EXPECT_EQ(38263, e.particles[0].y);
}

TEST(Particles, StepsFallAndEndOrLoop)
{
    ParticleEmitter e;
    e.random.Seed(1, 2);
    e.Init(3, 0x1000, 0x1000, 4, 0x10000);
    e.Process(); // not started: nothing moves
    EXPECT_EQ(4, e.particles[0].life);
    e.Start();
    auto p0 = e.particles[0];
    e.Process();
    EXPECT_EQ(p0.x + p0.vx, e.particles[0].x);
    EXPECT_EQ(p0.y + p0.vy, e.particles[0].y);
    EXPECT_EQ(p0.vy - 3276, e.particles[0].vy);
    EXPECT_EQ(3, e.particles[0].life);
    e.Pause();
    e.Process();
    EXPECT_EQ(3, e.particles[0].life);
    e.Start();
    for (int i = 0; i < 3; i++)
        e.Process();
    EXPECT_EQ(ParticleEmitter::kRunning, e.state);
    e.Process(); // every particle dead: stops
    EXPECT_EQ(ParticleEmitter::kStopped, e.state);

    e.SetLoopInf(true);
    e.Init(3, 0x1000, 0x1000, 2, 0x10000);
    e.Start();
    e.Process();
    e.Process();
    e.Process(); // dead: a new burst starts at once
    EXPECT_EQ(ParticleEmitter::kRunning, e.state);
    EXPECT_EQ(2, e.particles[0].life);

    e.SetLoopInf(false);
    e.SetGravity(-655);
    e.Init(1, 1, 1, 10, 0);
    e.Start();
    int32_t v0 = e.particles[0].vy;
    e.Process();
    e.Process();
    EXPECT_EQ(v0 + 2 * 655, e.particles[0].vy); // rises faster each step
}

TEST(Particles, HostileParametersNeverDivideByZero)
{
    ParticleEmitter e;
    ASSERT_EQ(1, e.Init(70000, 0, -5, 0, 0));
    EXPECT_EQ(std::make_tuple(65535, 1, 0), std::make_tuple(e.count, e.life, e.particles[65534].x));
    ASSERT_EQ(1, e.Init(1, 10, 10, 1000000, 0));
    EXPECT_EQ(65535, e.particles[0].life);
    ASSERT_EQ(1, e.Init(0, 10, 10, 10, 0));
    e.Start();
    e.Process(); // no particles: stops
    EXPECT_EQ(ParticleEmitter::kStopped, e.state);
}

class ParticlesOnMesa : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string err;
        ASSERT_TRUE(mesa.Create(64, 64, true, &err)) << err;
        gl = mesa.gl();
        gl->glEnableClientState(GL_VERTEX_ARRAY);
        gl->GetBackend()->glClearColorx(0, 0, 0, 0x10000);
    }
    // Draws the emitter alone after `steps` steps; the centre row's pixels.
    std::vector<uint8_t> Row(ParticleEmitter& e)
    {
        gl->glClear(GL_COLOR_BUFFER_BIT);
        gl->glMatrixMode(GL_MODELVIEW);
        gl->glLoadIdentity();
        e.Render(gl, nullptr);
        auto px = mesa.Read();
        return std::vector<uint8_t>(px.begin() + 32 * 64 * 4, px.begin() + 33 * 64 * 4);
    }
    MesaLayer mesa;
    GLES* gl = nullptr;
};

TEST_F(ParticlesOnMesa, FadesToNothingAtHalfLifeAndGrows)
{
    ParticleEmitter e;
    e.SetGravity(0);
    e.Init(1, 1, 1, 100, 0x2000);
    auto row = Row(e);
    EXPECT_EQ(0, row[32 * 4]); // never started: not drawn
    e.Start();
    struct Step {
        int elapsed, alpha255;
    } steps[] = {{0, 255}, {10, 204}, {25, 128}, {49, 5}, {50, 0}, {51, 0}, {70, 0}};
    int done = 0;
    for (auto const& s : steps) {
        for (; done < s.elapsed; done++)
            e.Process();
        row = Row(e);
        // Alpha 65536 - 1310 x elapsed, clamped at 0; additive on black.
        EXPECT_NEAR(s.alpha255, row[32 * 4], 1) << s.elapsed;
        if (s.elapsed == 10) {
            // The quad (1.2 wide) scaled by 0x2000 + 6553 x 10, 32 pixels a unit.
            int lit = 0;
            for (int x = 0; x < 64; x++)
                lit += row[x * 4] > 0;
            double scale = (0x2000 + 6553 * 10) / 65536.0;
            EXPECT_NEAR(1.2 * scale * 32, lit, 2);
        }
    }
    e.Pause(); // paused: still drawn (alpha 0 by now: the quad is dark)
    row = Row(e);
    EXPECT_EQ(0, row[32 * 4]);
}

TEST_F(ParticlesOnMesa, BillboardKeepsOnlyThePosition)
{
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glLoadIdentity();
    gl->glTranslatex(Fx(3), Fx(-2), Fx(-7));
    gl->glRotatex(Fx(35), Fx(0.6), Fx(0.8), 0);
    gl->glScalex(Fx(2), Fx(3), Fx(4));
    int32_t before[16], after[16];
    gl->glGetFixedv(GL_MODELVIEW_MATRIX, before);
    MyBillboard::CheatSphericalBegin(gl);
    gl->glGetFixedv(GL_MODELVIEW_MATRIX, after);
    for (int c = 0; c < 3; c++)
        for (int r = 0; r < 3; r++)
            EXPECT_EQ(c == r ? 0x10000 : 0, after[c * 4 + r]);
    for (int i : {3, 7, 11, 12, 13, 14, 15})
        EXPECT_EQ(before[i], after[i]) << i;
}

} // namespace
