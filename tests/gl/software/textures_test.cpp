// Texture names, uploads and their texel conversions, sub-images, paletted
// images, and incomplete textures.
#include "sw_fixture.h"

using namespace swtest;

namespace {

using SwTextures = SwFixture;

TEST_F(SwTextures, NamesRunOutAt255)
{
    std::vector<uint32_t> names(256, 77);
    sw->glGenTextures(255, names.data());
    EXPECT_EQ(names[0], 1u);
    EXPECT_EQ(names[254], 255u);
    EXPECT_EQ(Error(), 0u);
    uint32_t more[2] = {9, 9};
    sw->glGenTextures(2, more);
    EXPECT_EQ(more[0], 0u);
    EXPECT_EQ(more[1], 0u);
    EXPECT_EQ(Error(), GLenum(GL_OUT_OF_MEMORY));
    // A deleted name is free again.
    sw->glDeleteTextures(1, &names[9]);
    EXPECT_FALSE(sw->glIsTexture(10));
    sw->glGenTextures(1, more);
    EXPECT_EQ(more[0], 10u);
}

TEST_F(SwTextures, UploadsConvertEveryFormat)
{
    uint32_t name = 0;
    sw->glGenTextures(1, &name);
    gles->glBindTexture(GL_TEXTURE_2D, name);
    vornGL::PSWTexture const& t = sw->Texture(name);

    uint16_t t5551[2] = {0xFFFE, 0xFFFF}; // white, alpha 0 then 1
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 1, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, t5551);
    EXPECT_EQ(t.data[0], 0xFFDF | 0x20); // key bit set: transparent
    EXPECT_EQ(t.data[1] & 0x20, 0);
    uint16_t t565[1] = {0xFFFF};
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, t565);
    EXPECT_EQ(t.data[0], 0xFFDF);
    EXPECT_EQ(t.type, GLenum(GL_UNSIGNED_SHORT_5_6_5));
    uint8_t rgba[4] = {255, 128, 0, 255};
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(t.data[0], 0xF80F);
    EXPECT_EQ(t.type, GLenum(GL_UNSIGNED_SHORT_4_4_4_4));
    uint8_t la[2] = {0x78, 0x40};
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE_ALPHA, 1, 1, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, la);
    EXPECT_EQ(t.data[0], 0x7840);
    EXPECT_EQ(t.type, GLenum(GL_LUMINANCE_ALPHA));
    uint8_t a[1] = {0x80};
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, 1, 1, 0, GL_ALPHA, GL_UNSIGNED_BYTE, a);
    EXPECT_EQ(t.data[0], 0x8080);
    // RGB bytes: rows padded to the unpack alignment (4): 2 x 2 texels.
    uint8_t rgb[16] = {255, 0, 0, 0, 255, 0, 9, 9, 0, 0, 255, 255, 255, 255, 9, 9};
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_EQ(t.data[0], 0xF800);
    EXPECT_EQ(t.data[1], 0x07C0);
    EXPECT_EQ(t.data[2], 0x001F);
    EXPECT_EQ(t.data[3], 0xFFDF);

    // Sub-image: RGBA bytes make the texture 4444.
    uint8_t px[4] = {0, 255, 0, 128};
    sw->glTexSubImage2D(GL_TEXTURE_2D, 0, 1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(t.data[3], 0x0F08);
    EXPECT_EQ(t.type, GLenum(GL_UNSIGNED_SHORT_4_4_4_4));
    sw->glTexSubImage2D(GL_TEXTURE_2D, 0, 1, 1, 2, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
}

TEST_F(SwTextures, SizesAreCheckedAndLargerUploadsGetNewStorage)
{
    uint32_t name = 0;
    sw->glGenTextures(1, &name);
    gles->glBindTexture(GL_TEXTURE_2D, name);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 512, 1, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, nullptr);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 48, 1, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, nullptr);
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE));
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 256, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, nullptr);
    EXPECT_EQ(Error(), 0u);
    // A small texture, then a large one: the large one gets room for all its
    // texels (AddressSanitizer would catch the overrun).
    std::vector<uint16_t> small(4, 0x1234), large(256 * 256, 0xF800);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, small.data());
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 256, 256, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, large.data());
    EXPECT_EQ(sw->Texture(name).data[256 * 256 - 1], 0xF800);
    EXPECT_GE(sw->Texture(name).capacity, 256 * 256);
}

// Textures of no texels and deleted textures draw untextured (texture 0 is a
// black texel); a textured draw reads the unit's own record.
TEST_F(SwTextures, EmptyAndDeletedTexturesDrawSafely)
{
    uint32_t name = 0;
    sw->glGenTextures(1, &name);
    gles->glBindTexture(GL_TEXTURE_2D, name);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 8, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, nullptr);
    gles->glEnable(GL_TEXTURE_2D);
    gles->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    int16_t uv[6] = {0, 0, 1, 0, 0, 1};
    sw->glTexCoordPointer(2, GL_SHORT, 0, uv);
    gles->glColor4ub(0, 255, 0, 255);
    Triangles({0, 0, 64, 0, 0, 64});
    EXPECT_EQ(Pixel(2, 62), 0x07E0); // untextured: the current colour

    std::vector<uint16_t> red(16, 0xF800);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, red.data());
    gles->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    Triangles({0, 0, 64, 0, 0, 64});
    EXPECT_EQ(Pixel(2, 62), 0xF800);

    sw->glDeleteTextures(1, &name);
    Triangles({0, 0, 64, 0, 0, 64});
    EXPECT_EQ(Pixel(2, 62), 0x0000); // texture 0: one black texel
}

TEST_F(SwTextures, PalettedImages)
{
    uint32_t name = 0;
    sw->glGenTextures(1, &name);
    gles->glBindTexture(GL_TEXTURE_2D, name);
    // PALETTE4_R5_G6_B5: 16 entries, then 4-bit indices packed high nibble
    // first, continuously across rows.
    std::vector<uint8_t> data(32 + 2);
    for (int i = 0; i < 16; ++i) {
        uint16_t c = uint16_t(i << 11 | i);
        data[2 * i] = uint8_t(c);
        data[2 * i + 1] = uint8_t(c >> 8);
    }
    data[32] = 0x12; // texels 0, 1: entries 1, 2
    data[33] = 0x3F; // texels 2, 3: entries 3, 15
    sw->glCompressedTexImage2D(GL_TEXTURE_2D, 0, GL_PALETTE4_R5_G6_B5_OES, 2, 2, 0, 33, data.data());
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE)); // palette + 2 bytes needed
    sw->glCompressedTexImage2D(GL_TEXTURE_2D, 0, GL_PALETTE4_R5_G6_B5_OES, 2, 2, 0, 34, data.data());
    EXPECT_EQ(Error(), 0u);
    vornGL::PSWTexture const& t = sw->Texture(name);
    EXPECT_EQ(t.data[0], (1 << 11 | 1));
    EXPECT_EQ(t.data[1], (2 << 11 | 2));
    EXPECT_EQ(t.data[2], (3 << 11 | 3));
    EXPECT_EQ(t.data[3], (15 << 11 | 15));
    // One texel a row: the indices still follow each other within a byte.
    sw->glCompressedTexImage2D(GL_TEXTURE_2D, 0, GL_PALETTE4_R5_G6_B5_OES, 1, 2, 0, 33, data.data());
    EXPECT_EQ(Error(), 0u);
    EXPECT_EQ(t.data[0], (1 << 11 | 1));
    EXPECT_EQ(t.data[1], (2 << 11 | 2));
    sw->glCompressedTexImage2D(GL_TEXTURE_2D, 0, 0x8B9A, 2, 2, 0, 34, data.data());
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
    sw->glCompressedTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 2, GL_PALETTE4_R5_G6_B5_OES, 20, data.data());
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE)); // too short to read
}

} // namespace
