// Texture names, uploads and their texel conversions, sub-images, paletted
// images, and incomplete textures.
#include "sw_fixture.h"

#include <tuple>

using namespace swtest;

namespace {

using SwTextures = SwFixture;
using Texels = std::vector<uint16_t>;

Texels First(vornGL::PSWTexture const& t, int n) { return Texels(t.data, t.data + n); }

TEST_F(SwTextures, NamesRunOutAt255)
{
    std::vector<uint32_t> names(256, 77);
    sw->glGenTextures(255, names.data());
    EXPECT_EQ(std::make_tuple(names[0], names[254], Error()), std::make_tuple(1u, 255u, 0u));
    uint32_t more[2] = {9, 9};
    sw->glGenTextures(2, more);
    EXPECT_EQ(std::make_tuple(more[0], more[1], Error()), std::make_tuple(0u, 0u, GLenum(GL_OUT_OF_MEMORY)));
    // A deleted name is free again.
    sw->glDeleteTextures(1, &names[9]);
    EXPECT_FALSE(sw->glIsTexture(10));
    sw->glGenTextures(1, more);
    EXPECT_EQ(more[0], 10u);
}

TEST_F(SwTextures, UploadsConvertEveryFormat)
{
    uint32_t name = NewTexture();
    vornGL::PSWTexture const& t = sw->Texture(name);

    // Each upload: the texels and the type they are kept as. 565 keeps the
    // lowest green bit for the transparency key (set: transparent).
    uint16_t const t5551[2] = {0xFFFE, 0xFFFF}, t565[1] = {0xFFFF}; // white, alpha 0 then 1
    uint8_t const rgba[4] = {255, 128, 0, 255}, la[2] = {0x78, 0x40}, a[1] = {0x80};
    // RGB bytes: rows padded to the unpack alignment (4): 2 x 2 texels.
    uint8_t const rgb[16] = {255, 0, 0, 0, 255, 0, 9, 9, 0, 0, 255, 255, 255, 255, 9, 9};
    struct Upload {
        GLenum format, type;
        int w, h;
        void const* data;
        Texels want;
        GLenum kept; // 0: not checked
    } const uploads[] = {
        {GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, 2, 1, t5551, {0xFFFF, 0xFFDF}, 0},
        {GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 1, 1, t565, {0xFFDF}, GL_UNSIGNED_SHORT_5_6_5},
        {GL_RGBA, GL_UNSIGNED_BYTE, 1, 1, rgba, {0xF80F}, GL_UNSIGNED_SHORT_4_4_4_4},
        {GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 1, 1, la, {0x7840}, GL_LUMINANCE_ALPHA},
        {GL_ALPHA, GL_UNSIGNED_BYTE, 1, 1, a, {0x8080}, 0},
        {GL_RGB, GL_UNSIGNED_BYTE, 2, 2, rgb, {0xF800, 0x07C0, 0x001F, 0xFFDF}, 0},
    };
    for (Upload const& u : uploads) {
        gles->glTexImage2D(GL_TEXTURE_2D, 0, GLint(u.format), u.w, u.h, 0, u.format, u.type, u.data);
        EXPECT_EQ(First(t, int(u.want.size())), u.want) << std::hex << u.format << " " << u.type;
        EXPECT_TRUE(!u.kept || t.type == u.kept) << std::hex << u.format << " " << u.type;
    }

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
    uint32_t name = NewTexture();
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
    uint32_t name = NewTexture();
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
    uint32_t name = NewTexture();
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
    EXPECT_EQ(First(t, 4), (Texels{1 << 11 | 1, 2 << 11 | 2, 3 << 11 | 3, 15 << 11 | 15}));
    // One texel a row: the indices still follow each other within a byte.
    sw->glCompressedTexImage2D(GL_TEXTURE_2D, 0, GL_PALETTE4_R5_G6_B5_OES, 1, 2, 0, 33, data.data());
    EXPECT_EQ(Error(), 0u);
    EXPECT_EQ(First(t, 2), (Texels{1 << 11 | 1, 2 << 11 | 2}));
    sw->glCompressedTexImage2D(GL_TEXTURE_2D, 0, 0x8B9A, 2, 2, 0, 34, data.data());
    EXPECT_EQ(Error(), GLenum(GL_INVALID_ENUM));
    sw->glCompressedTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 2, GL_PALETTE4_R5_G6_B5_OES, 20, data.data());
    EXPECT_EQ(Error(), GLenum(GL_INVALID_VALUE)); // too short to read
}

} // namespace
