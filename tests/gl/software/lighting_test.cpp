// Fixed-point lighting: the base colour, diffuse and specular terms, their
// saturation, the entry points' checks, and later changes taking effect.
#include "sw_fixture.h"

#include <array>
#include <tuple>

using namespace swtest;

namespace {

class SwLighting : public SwFixture {
protected:
    void SetUp() override
    {
        SwFixture::SetUp();
        gles->glEnable(GL_LIGHTING);
        gles->glEnable(GL_LIGHT0);
    }
    // Lit colour of a normal, 8-bit channels r, g, b, a.
    std::array<int, 4> Lit(int32_t nx, int32_t ny, int32_t nz)
    {
        int32_t n[3] = {nx, ny, nz};
        uint16_t c[4];
        sw->LightVertex(n, c);
        return {c[0] >> 8, c[1] >> 8, c[2] >> 8, c[3] >> 8};
    }
};

TEST_F(SwLighting, DefaultLightAndMaterial)
{
    // Base 51 x 51 >> 8 = 10, diffuse (204 x 255) >> 8 = 203 at full incidence.
    auto c = Lit(0, 0, 0x10000);
    EXPECT_EQ(std::make_tuple(c[0], c[1], c[2], c[3]), std::make_tuple(213, 213, 213, 255));
    // Facing away: the base colour only (no specular: the material has none).
    EXPECT_EQ(Lit(0, 0, -0x10000)[0], 10);
}

TEST_F(SwLighting, ChannelsSaturate)
{
    int32_t white[4] = {0x10000, 0x10000, 0x10000, 0x10000};
    sw->glMaterialxv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    sw->glLightxv(GL_LIGHT1, GL_DIFFUSE, white);
    int32_t dir[4] = {0, 0, 0x10000, 0};
    gles->glLightxv(GL_LIGHT1, GL_POSITION, dir);
    gles->glEnable(GL_LIGHT1);
    auto c = Lit(0, 0, 0x10000);
    EXPECT_EQ(c[0], 255);
    EXPECT_EQ(c[2], 255);
}

TEST_F(SwLighting, SpecularWithoutDiffuse)
{
    int32_t specular[4] = {0x10000, 0x10000, 0x10000, 0x10000};
    sw->glMaterialxv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    int32_t side[4] = {0x10000, 0, 0, 0};
    gles->glLightxv(GL_LIGHT0, GL_POSITION, side);
    // The normal is at right angles to the light (no diffuse term) but not to
    // the half vector between the light and the viewer.
    auto c = Lit(0, 0, 0x10000);
    EXPECT_GT(c[0], 10);
}

TEST_F(SwLighting, EntryPointChecks)
{
    sw->glMaterialx(GL_FRONT_AND_BACK, GL_SHININESS, 0x100000);
    EXPECT_EQ(Error(), 0u);
    sw->glMaterialx(GL_FRONT_AND_BACK, GL_SHININESS, 0x800001);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glLightx(GL_LIGHT0, GL_SPOT_CUTOFF, 0xB40000);
    EXPECT_EQ(Error(), 0u);
    EXPECT_EQ(sw->Light(0).spotCutoff, 0xB40000);
    sw->glLightx(GL_LIGHT0, GL_SPOT_CUTOFF, 0xB40001);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    sw->glLightx(GL_LIGHT0, GL_AMBIENT, 0);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
    int32_t v[4] = {0, 0, 0, 0};
    sw->glLightxv(GL_LIGHT0 + 8, GL_AMBIENT, v);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
}

// Every change of a material, light or the model's ambient takes effect at the
// next draw, the second as well as the first; the diffuse alpha becomes the
// lit vertices' alpha.
TEST_F(SwLighting, LaterChangesTakeEffect)
{
    int32_t black[4] = {0, 0, 0, 0x10000};
    int32_t grey[4] = {0x8000, 0x8000, 0x8000, 0x10000};
    int32_t white[4] = {0x10000, 0x10000, 0x10000, 0x10000};
    sw->glMaterialxv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
    sw->glLightModelxv(GL_LIGHT_MODEL_AMBIENT, grey);
    EXPECT_EQ(Lit(0, 0, -0x10000)[0], 126); // 255 x 127 >> 8
    sw->glMaterialxv(GL_FRONT_AND_BACK, GL_AMBIENT, grey);
    EXPECT_EQ(Lit(0, 0, -0x10000)[0], 63);
    sw->glLightModelxv(GL_LIGHT_MODEL_AMBIENT, black);
    EXPECT_EQ(Lit(0, 0, -0x10000)[0], 0);
    sw->glLightxv(GL_LIGHT0, GL_AMBIENT, white);
    EXPECT_EQ(Lit(0, 0, -0x10000)[0], 126);
    sw->glMaterialxv(GL_FRONT_AND_BACK, GL_EMISSION, grey);
    EXPECT_EQ(Lit(0, 0, -0x10000)[0], 253);

    int32_t halfAlpha[4] = {0x10000, 0x10000, 0x10000, 0x8000};
    sw->glMaterialxv(GL_FRONT_AND_BACK, GL_DIFFUSE, halfAlpha);
    EXPECT_EQ(Lit(0, 0, 0x10000)[3], 127);
}

// A light's direction follows the modelview matrix at the time it is given.
TEST_F(SwLighting, PositionThroughTheModelview)
{
    gles->glRotatex(Fx(90), 0, Fx(1), 0); // +z turns to +x
    int32_t dir[4] = {0, 0, 0x10000, 0};
    gles->glLightxv(GL_LIGHT0, GL_POSITION, dir);
    gles->glLoadIdentity();
    EXPECT_NEAR(sw->Light(0).position[0], 0x10000, 4);
    EXPECT_NEAR(sw->Light(0).position[2], 0, 4);
    EXPECT_EQ(Lit(0x10000, 0, 0)[0], 213);
}

} // namespace
