// End to end: a scene of 2D fills, a line, a textured mesh and a sprite drawn
// through P3D on Mesa and written to a PNG, against the same scene as plain
// GL calls replayed straight into Mesa by glreplay.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/graphics/pmesh.h"
#include "engine/graphics/psprite3d.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/piffreader.h"
#include "p3d_fixtures.h"
#include "tools/glreplay/replay.h"
#include "tools/lib/pof_writer.h"

namespace {

constexpr int N = 128;

// An 8-bit level that 5 bits hold exactly (GL widens 5 bits by repeating the top ones).
uint8_t Level5(int v) { return uint8_t((v & 31) << 3 | (v & 31) >> 2); }
uint8_t Level6(int v) { return uint8_t((v & 63) << 2 | (v & 63) >> 4); }

// A w x h 565 picture whose colours survive both 5-5-5-1 and 8-bit texels,
// and the same picture as RGBA bytes.
std::unique_ptr<PSurface> Picture(int w, int h, int seed, bool green6, glreplay::Image& rgba)
{
    std::unique_ptr<PSurface> s(PSurface::Create(w, h, PSURFACE_RGB565));
    rgba.width = w, rgba.height = h;
    rgba.rgba.assign(size_t(w) * h * 4, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t r = Level5(x * 3 + seed + 1), g = green6 ? Level6(y * 5 + seed + 2) : Level5(y * 5 + seed + 2),
                    b = Level5((x ^ y) + 7);
            uint16_t c = PRGB2Native(r, g, b);
            std::memcpy(s->pixels + y * s->pitch + x * 2, &c, 2);
            uint8_t* p = &rgba.rgba[(size_t(y) * w + x) * 4];
            p[0] = r, p[1] = g, p[2] = b;
        }
    s->SetColorKey(0x000000); // no pixel is black
    return s;
}

class PictureManager : public PTextureManager {
public:
    PictureManager(GLES* gl, PSurface* img) : PTextureManager(nullptr, gl), m_img(img) {}
    PSurface* LoadTexture(const char*, int) override
    {
        PSurface* s = PSurface::Create(m_img->width, m_img->height, PSURFACE_RGB565);
        for (int y = 0; y < m_img->height; ++y)
            std::memcpy(s->pixels + y * s->pitch, m_img->pixels + y * m_img->pitch, size_t(m_img->width) * 2);
        s->flags |= PSURF_BOTTOMUP; // as the loader gives it: no row reversal
        return s;
    }

private:
    PSurface* m_img;
};

int32_t X(int x) { return ((0x2000000 / N) * x >> 8) - 0x10000; }
int32_t Y(int y) { return ((0x2000000 / N) * (N - y) >> 8) - 0x10000; }

std::string Quad(const char* name, int x, int y, int w, int h)
{
    return std::string("array ") + name + " fixed " + std::to_string(X(x)) + " " + std::to_string(Y(y)) + " " +
           std::to_string(X(x + w)) + " " + std::to_string(Y(y)) + " " + std::to_string(X(x + w)) + " " +
           std::to_string(Y(y + h)) + " " + std::to_string(X(x)) + " " + std::to_string(Y(y + h)) + "\n";
}

} // namespace

TEST(P3DScene, SameFrameAsPlainGlOnMesa)
{
    std::string dir = "scene_fixture";
    std::system(("mkdir -p " + dir).c_str());
    glreplay::Image meshTex, spriteTex;
    auto meshImg = Picture(16, 16, 3, false, meshTex);
    auto spriteImg = Picture(32, 32, 9, true, spriteTex);
    std::string err;
    ASSERT_TRUE(glreplay::WritePng(dir + "/mesh.png", meshTex, err)) << err;
    ASSERT_TRUE(glreplay::WritePng(dir + "/sprite.png", spriteTex, err)) << err;

    // The mesh: a quad in clip space, texture coordinates 0..1.
    PofMesh q;
    int32_t a = -0xC000, b = 0;
    q.positions = {a, a, 0, b, a, 0, b, b, 0, a, b, 0};
    q.texcoords = {0, 0, 0x10000, 0, 0x10000, 0x10000, 0, 0x10000};
    PofList l;
    l.indices = {0, 1, 2, 0, 2, 3};
    l.material = 1;
    q.lists = {l};
    PofMaterial mat;
    mat.texture = 1;
    q.materials = {mat};
    q.textures = {"mesh.png"};

    // Through the drawing context.
    p3dtest::Mesa m(N, N);
    ASSERT_TRUE(m.Ok());
    P3D& g = *m.ctx;
    PictureManager tm(&g, meshImg.get());
    PMesh mesh(&tm);
    auto bytes = WritePof(q);
    PMemStream ms(bytes.data(), long(bytes.size()));
    PIFFReader reader(&ms, 0);
    ASSERT_EQ(mesh.Load(reader, nullptr), 1);
    PSprite3D sprite(&g, PSurface3D::Create(&g, spriteImg.get(), 0x200), 1);
    sprite.SetPosition(80, 8);

    g.Clear(0x203040);
    g.FillRect(8, 8, 40, 24, 0xFFC08020, P3DBLEND_OPAQUE);
    mesh.Render(&g, nullptr);
    sprite.Draw();
    g.FillRect(60, 70, 50, 30, 0x80FFFFFF, P3DBLEND_ALPHA);
    g.Line(5, 120, 120, 100, 0xFF00FF00, P3DBLEND_OPAQUE);
    glreplay::Image frame;
    frame.width = frame.height = N;
    frame.rgba = m.Read();
    for (size_t i = 3; i < frame.rgba.size(); i += 4)
        frame.rgba[i] = 255; // alpha writes are off: the picture is opaque
    ASSERT_TRUE(glreplay::WritePng(dir + "/p3d.png", frame, err)) << err;

    // The same scene as plain GL calls.
    int32_t sx = (0x2000000 / N) >> 8; // one pixel in clip units
    std::string t = "image meshimg mesh.png\nimage spriteimg sprite.png\narray tex uint 0 0\n";
    t += Quad("fill1", 8, 8, 40, 24) + Quad("fill2", 60, 70, 50, 30) + Quad("spr", 80, 8, 32, 32);
    t += "array line fixed " + std::to_string(X(5)) + " " + std::to_string(Y(120)) + " " + std::to_string(X(120)) +
         " " + std::to_string(Y(100)) + " " + std::to_string(X(5)) + " " + std::to_string(Y(120) + sx) + " " +
         std::to_string(X(120)) + " " + std::to_string(Y(100) + sx) + "\n";
    t += "array mpos fixed";
    for (int32_t v : q.positions)
        t += " " + std::to_string(v);
    t += "\narray uv fixed 0 0 65536 0 65536 65536 0 65536\narray idx ushort 0 1 2 0 2 3\n";
    t += "glViewport 0 0 128 128\nglHint GL_PERSPECTIVE_CORRECTION_HINT GL_FASTEST\nglShadeModel GL_FLAT\n"
         "glClearColorx 8193 12289 16385 0\nglClear GL_COLOR_BUFFER_BIT\n"
         "glEnableClientState GL_VERTEX_ARRAY\n"
         // opaque fill
         "glColor4x 49152 32768 8192 65280\nglVertexPointer 2 GL_FIXED 0 @fill1\n"
         "glDrawArrays GL_TRIANGLE_FAN 0 4\n"
         // textured mesh
         "glGenTextures 2 @tex\nglBindTexture GL_TEXTURE_2D tex[0]\n"
         "glTexImage2D GL_TEXTURE_2D 0 GL_RGBA 16 16 0 GL_RGBA GL_UNSIGNED_BYTE @meshimg\n"
         "glTexParameteri GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_LINEAR\n"
         "glTexParameteri GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_LINEAR\n"
         "glTexEnvi GL_TEXTURE_ENV GL_TEXTURE_ENV_MODE GL_REPLACE\nglEnable GL_TEXTURE_2D\n"
         "glEnableClientState GL_TEXTURE_COORD_ARRAY\nglVertexPointer 3 GL_FIXED 0 @mpos\n"
         "glTexCoordPointer 2 GL_FIXED 0 @uv\nglDrawElements GL_TRIANGLES 6 GL_UNSIGNED_SHORT @idx\n"
         // sprite: rows top first, nearest
         "glBindTexture GL_TEXTURE_2D tex[1]\n"
         "glTexImage2D GL_TEXTURE_2D 0 GL_RGBA 32 32 0 GL_RGBA GL_UNSIGNED_BYTE @spriteimg\n"
         "glTexParameteri GL_TEXTURE_2D GL_TEXTURE_MIN_FILTER GL_NEAREST\n"
         "glTexParameteri GL_TEXTURE_2D GL_TEXTURE_MAG_FILTER GL_NEAREST\n"
         "glVertexPointer 2 GL_FIXED 0 @spr\nglTexCoordPointer 2 GL_FIXED 0 @uv\n"
         "glDrawArrays GL_TRIANGLE_FAN 0 4\n"
         "glDisable GL_TEXTURE_2D\nglDisableClientState GL_TEXTURE_COORD_ARRAY\n"
         // blended fill
         "glEnable GL_BLEND\nglBlendFunc GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA\n"
         "glColor4x 65280 65280 65280 32768\nglVertexPointer 2 GL_FIXED 0 @fill2\n"
         "glDrawArrays GL_TRIANGLE_FAN 0 4\nglDisable GL_BLEND\n"
         // line
         "glColor4x 0 65280 0 65280\nglVertexPointer 2 GL_FIXED 0 @line\n"
         "glDrawArrays GL_TRIANGLE_STRIP 0 4\nframe\n";
    glreplay::Trace trace;
    ASSERT_TRUE(glreplay::ParseTrace(t, dir, trace, err)) << err;
    glreplay::ReplayOptions opt;
    opt.backend = glreplay::Backend::Mesa;
    opt.width = opt.height = N;
    glreplay::ReplayResult ref;
    ASSERT_TRUE(glreplay::Replay(trace, opt, ref, err)) << err;
    EXPECT_TRUE(ref.errors.empty());
    ASSERT_TRUE(glreplay::WritePng(dir + "/reference.png", ref.frame, err)) << err;

    int differ = 0;
    for (size_t i = 0; i < frame.rgba.size(); i += 4)
        differ += std::memcmp(&frame.rgba[i], &ref.frame.rgba[i], 3) != 0;
    EXPECT_EQ(differ, 0) << "compare " << dir << "/p3d.png with " << dir << "/reference.png";
    // The scene is not empty: fill, mesh, sprite and line are all there.
    EXPECT_EQ(m.At(frame.rgba, 10, 10) >> 16, 0xBFu);
    EXPECT_NE(m.At(frame.rgba, 30, 80), m.At(frame.rgba, 2, 2));
}
