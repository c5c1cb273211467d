// The OpenGL ES 1.1 back end on Mesa: matrices against Mesa's own, the
// framebuffer operations with and without the extension, and a presentation
// that leaves the GL state as it found it.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "gl/glbackend_es11.h"
#include "gl/gles.h"
#include "tools/glreplay/eglpbuffer.h"

using vornGL::i32;
using vornGL::P3DStateMan;

namespace {

struct OnMesa : ::testing::Test {
    glreplay::EglPbuffer surface;
    void SetUp() override
    {
        char const* why = nullptr;
        ASSERT_TRUE(surface.Create(64, 48, &why)) << why;
    }
};

void MesaModelview(i32 out[16])
{
    glGetFixedv(GL_MODELVIEW_MATRIX, out);
}

int MaxLsb(i32 const* a, i32 const* b)
{
    int worst = 0;
    for (int i = 0; i < 16; ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

TEST_F(OnMesa, MatricesAgreeWithMesa)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> op(0, 4), units(-40000, 40000), small(-0x20000, 0x20000),
        axis(-0x10000, 0x10000);
    // One operation on a random starting matrix, then four in a row.
    int worstSingle[5] = {}, worstSequence = 0;
    for (int seq = 0; seq < 200; ++seq) {
        P3DStateMan ours;
        glMatrixMode(GL_MODELVIEW);
        i32 start[16];
        for (auto& v : start)
            v = small(rng) / 2;
        start[3] = start[7] = start[11] = 0;
        start[15] = 0x10000;
        ours.glLoadMatrixx(start);
        glLoadMatrixx(start);
        int steps = seq < 100 ? 1 : 4;
        int kind = 0;
        for (int step = 0; step < steps; ++step) {
            switch (kind = op(rng)) {
            case 0: {
                i32 x = small(rng), y = small(rng), z = small(rng);
                ours.glTranslatex(x, y, z);
                glTranslatex(x, y, z);
                break;
            }
            case 1: {
                i32 x = small(rng) | 0x4000, y = small(rng) | 0x4000, z = 0x10000;
                ours.glScalex(x, y, z);
                glScalex(x, y, z);
                break;
            }
            case 2: { // whole engine angle units, so both sides turn by the same angle
                i32 a = units(rng) * 360;
                i32 x = axis(rng), y = axis(rng), z = axis(rng) | 0x100;
                ours.glRotatex(a, x, y, z);
                glRotatex(a, x, y, z);
                break;
            }
            case 3: {
                i32 a = units(rng) * 360;
                ours.glRotatex(a, 0, 0x10000, 0);
                glRotatex(a, 0, 0x10000, 0);
                break;
            }
            default: {
                i32 m[16];
                for (auto& v : m)
                    v = small(rng) / 2;
                m[15] = 0x10000;
                ours.glMultMatrixx(m);
                glMultMatrixx(m);
                break;
            }
            }
        }
        i32 theirs[16];
        MesaModelview(theirs);
        int d = MaxLsb(ours.Top(0).w, theirs);
        if (steps == 1)
            worstSingle[kind] = std::max(worstSingle[kind], d);
        else
            worstSequence = std::max(worstSequence, d);
    }
    std::printf("worst LSB vs Mesa: translate %d scale %d rotate %d/%d mult %d, four in a row %d\n", worstSingle[0],
                worstSingle[1], worstSingle[2], worstSingle[3], worstSingle[4], worstSequence);
    // Translation, scale and product: the 16.16 truncation against Mesa's
    // float; rotations add the sine table's last bit.
    EXPECT_LE(worstSingle[0], 2);
    EXPECT_LE(worstSingle[1], 2);
    EXPECT_LE(worstSingle[2], 3);
    EXPECT_LE(worstSingle[3], 3);
    EXPECT_LE(worstSingle[4], 2);
    // Four in a row on values up to 2.0: the differences add up and grow.
    EXPECT_LE(worstSequence, 12);

    // Projections.
    P3DStateMan ours;
    ours.glMatrixMode(GL_PROJECTION);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    ours.glOrthox(0, 1024 << 16, 600 << 16, 0, -0x10000, 0x10000);
    glOrthox(0, 1024 << 16, 600 << 16, 0, -0x10000, 0x10000);
    i32 theirs[16];
    glGetFixedv(GL_PROJECTION_MATRIX, theirs);
    EXPECT_LE(MaxLsb(ours.Top(1).w, theirs), 1);
    ours.glLoadIdentity();
    glLoadIdentity();
    ours.glFrustumx(-0x8000, 0xC000, -0x6000, 0x6000, 0x10000, 0x640000);
    glFrustumx(-0x8000, 0xC000, -0x6000, 0x6000, 0x10000, 0x640000);
    glGetFixedv(GL_PROJECTION_MATRIX, theirs);
    EXPECT_LE(MaxLsb(ours.Top(1).w, theirs), 1);
}

TEST_F(OnMesa, BackEndBasicsAndFramebufferOperations)
{
    PDisplayProperties info{};
    info.width = 64;
    info.height = 48;
    vornGL::P3DBackendES11 b(&info);

    // A plain pass-through: what it sets, Mesa has.
    b.glEnable(GL_CULL_FACE);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    b.glClearColorx(0x10000, 0, 0, 0x10000);
    b.glClear(GL_COLOR_BUFFER_BIT);
    uint8_t px[4] = {};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 255);

    // Without the framebuffer-object extension nothing is called and no name
    // is written.
    vornGL::InitExtensions(1, "");
    uint32_t name = 12345;
    b.glGenFramebuffers(1, &name);
    EXPECT_EQ(name, 12345u);
    EXPECT_EQ(b.glCheckFramebufferStatus(GL_FRAMEBUFFER_OES), 0u);
    // With it (Mesa has it), they reach the OES entry points.
    vornGL::InitExtensions(1, reinterpret_cast<char const*>(glGetString(GL_EXTENSIONS)));
    ASSERT_EQ(vornGL::HaveExtension(vornGL::VornGLExtFramebufferObject), 1);
    b.glGenFramebuffers(1, &name);
    EXPECT_NE(name, 12345u);
    b.glBindFramebuffer(GL_FRAMEBUFFER_OES, name);
    EXPECT_EQ(b.glCheckFramebufferStatus(GL_FRAMEBUFFER_OES), static_cast<uint32_t>(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_OES));
    b.glBindFramebuffer(GL_FRAMEBUFFER_OES, 0);
    b.glDeleteFramebuffers(1, &name);
    EXPECT_FALSE(b.glIsFramebuffer(name));
}

// Everything presentation touches, read back from Mesa.
std::map<std::string, std::vector<intptr_t>> Snapshot()
{
    std::map<std::string, std::vector<intptr_t>> s;
    auto ints = [&](char const* key, GLenum pname, int n) {
        GLint v[16] = {};
        glGetIntegerv(pname, v);
        s[key] = std::vector<intptr_t>(v, v + n);
    };
    auto fixed = [&](char const* key, GLenum pname) {
        GLfixed v[16] = {};
        glGetFixedv(pname, v);
        s[key] = std::vector<intptr_t>(v, v + 16);
    };
    auto ptr = [&](char const* key, GLenum pname) {
        void* p = nullptr;
        glGetPointerv(pname, &p);
        s[key] = {reinterpret_cast<intptr_t>(p)};
    };
    GLenum const caps[] = {GL_CULL_FACE, GL_BLEND, GL_DEPTH_TEST, GL_STENCIL_TEST, GL_ALPHA_TEST, GL_FOG,
                           GL_COLOR_LOGIC_OP, GL_SCISSOR_TEST, GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY};
    for (GLenum c : caps)
        s["cap" + std::to_string(c)] = {glIsEnabled(c)};
    for (auto [key, pname, n] : {std::tuple{"active", GL_ACTIVE_TEXTURE, 1}, {"clientActive", GL_CLIENT_ACTIVE_TEXTURE, 1},
                                 {"viewport", GL_VIEWPORT, 4}, {"scissor", GL_SCISSOR_BOX, 4},
                                 {"mode", GL_MATRIX_MODE, 1}, {"framebuffer", GL_FRAMEBUFFER_BINDING_OES, 1},
                                 {"arrayBuffer", GL_ARRAY_BUFFER_BINDING, 1}, {"vertexSize", GL_VERTEX_ARRAY_SIZE, 1},
                                 {"vertexType", GL_VERTEX_ARRAY_TYPE, 1}, {"vertexStride", GL_VERTEX_ARRAY_STRIDE, 1},
                                 {"vertexBuffer", GL_VERTEX_ARRAY_BUFFER_BINDING, 1},
                                 {"mvDepth", GL_MODELVIEW_STACK_DEPTH, 1}, {"pDepth", GL_PROJECTION_STACK_DEPTH, 1}})
        ints(key, pname, n);
    ptr("vertexPointer", GL_VERTEX_ARRAY_POINTER);
    fixed("modelview", GL_MODELVIEW_MATRIX);
    fixed("projection", GL_PROJECTION_MATRIX);
    // Per unit: texturing, binding, environment, texture-coordinate array.
    GLint active = 0, clientActive = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &clientActive);
    for (int u = 0; u < 2; ++u) {
        std::string k = "unit" + std::to_string(u);
        glActiveTexture(GL_TEXTURE0 + u);
        glClientActiveTexture(GL_TEXTURE0 + u);
        s[k + "tex2d"] = {glIsEnabled(GL_TEXTURE_2D)};
        ints((k + "binding").c_str(), GL_TEXTURE_BINDING_2D, 1);
        GLint env = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
        s[k + "env"] = {env};
        s[k + "tcArray"] = {glIsEnabled(GL_TEXTURE_COORD_ARRAY)};
        ints((k + "tcSize").c_str(), GL_TEXTURE_COORD_ARRAY_SIZE, 1);
        ints((k + "tcStride").c_str(), GL_TEXTURE_COORD_ARRAY_STRIDE, 1);
        ints((k + "tcBuffer").c_str(), GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING, 1);
        ptr((k + "tcPointer").c_str(), GL_TEXTURE_COORD_ARRAY_POINTER);
    }
    glActiveTexture(active);
    glClientActiveTexture(clientActive);
    return s;
}

TEST_F(OnMesa, PresentationLeavesTheStateAsItWas)
{
    PDisplayProperties info{};
    info.width = info.screenWidth = info.fbWidth = 64;
    info.height = info.screenHeight = info.fbHeight = 48;
    auto gles = std::make_unique<GLES>();
    auto* backend = new vornGL::P3DBackendES11(&info);
    backend->vornGLSetOrientation(1);
    ASSERT_EQ(gles->Init(backend, nullptr), 1);
    ASSERT_NE(gles->GetDefaultFramebuffer(), 0u);

    // A busy state: caps, two units, arrays from memory and from a buffer,
    // odd viewport and scissor, the texture matrix mode.
    static const int32_t verts[12] = {};
    static const int32_t uv[8] = {};
    uint32_t tex[2];
    gles->glGenTextures(2, tex);
    gles->glBindTexture(GL_TEXTURE_2D, tex[0]);
    gles->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    gles->glActiveTexture(GL_TEXTURE1);
    gles->glEnable(GL_TEXTURE_2D);
    gles->glBindTexture(GL_TEXTURE_2D, tex[1]);
    gles->glEnable(GL_BLEND);
    gles->glEnable(GL_DEPTH_TEST);
    gles->glEnable(GL_STENCIL_TEST);
    gles->glEnable(GL_FOG);
    gles->glEnable(GL_SCISSOR_TEST);
    gles->glEnableClientState(GL_VERTEX_ARRAY);
    gles->glEnableClientState(GL_COLOR_ARRAY);
    backend->glVertexPointer(3, GL_FIXED, 12, verts);
    GLuint vbo = 0;
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, 64, nullptr, GL_STATIC_DRAW);
    gles->glClientActiveTexture(GL_TEXTURE0);
    backend->glTexCoordPointer(2, GL_FIXED, 8, reinterpret_cast<void const*>(16)); // from the buffer
    gles->glClientActiveTexture(GL_TEXTURE1);
    gles->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    backend->glTexCoordPointer(2, GL_FIXED, 0, uv);
    gles->glViewport(3, 4, 50, 30);
    gles->glScissor(5, 6, 20, 10);
    gles->glMatrixMode(GL_TEXTURE);
    gles->glClear(GL_COLOR_BUFFER_BIT); // sends the cached enables
    backend->glMatrixMode(GL_TEXTURE);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    auto before = Snapshot();
    ASSERT_EQ(gles->vornGLPresentFramebuffer(), 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // The display binds the default framebuffer again after its swap.
    backend->glBindFramebuffer(GL_FRAMEBUFFER_OES, gles->GetDefaultFramebuffer());
    auto after = Snapshot();
    for (auto const& [key, value] : before)
        EXPECT_EQ(after[key], value) << key;
    glDeleteBuffers(1, &vbo);
}

} // namespace
