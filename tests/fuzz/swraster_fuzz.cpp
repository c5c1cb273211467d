// Fuzz target: the software rasterizer driven by random GL calls: hostile
// viewports, scissors, matrices, array types and strides, texture sizes and
// formats, blend, depth, lighting and shading states, and draw calls with
// arbitrary indices into client arrays large enough for every 16-bit index.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "gl/gles.h"
#include "gl/software/swbackend.h"
#include "tests/gl/software/memory_display.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

using swtest::MemoryDisplay;

namespace {

struct Input {
    uint8_t const* p;
    size_t n;
    uint32_t U8() { return n ? (--n, *p++) : 0; }
    uint32_t U16() { return U8() | U8() << 8; }
    int32_t I32() { return int32_t(U16() | U16() << 16); }
};

// Client memory: every array may be read at any 16-bit index with the largest
// stride (4 components of 4 bytes, stride up to 64).
constexpr size_t kArrayBytes = 65536 * 64 + 64;

// Draw sizes are kept small so that one input runs in well under a
// millisecond: a display of at most 32 x 32 pixels (viewports and vertices
// still go anywhere), at most 48 vertices a draw and 32 calls an input.
// Transforming and clipping a vertex costs the same wherever it lands, and
// grown inputs draw at every call, so the vertex and call counts bound the
// time of an input; more of either repeats the same paths.
constexpr int kMaxSide = 32;
constexpr int kMaxVertices = 48;
constexpr int kMaxCalls = 32;
// The part of the client memory that each input seeds; the rest keeps a fixed
// pattern.
constexpr size_t kSeededBytes = 4096;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> memory = [] {
        std::vector<uint8_t> m(kArrayBytes);
        uint32_t seed = 1;
        for (auto& b : m) {
            seed = seed * 1103515245u + 12345u;
            b = uint8_t(seed >> 16);
        }
        return m;
    }();
    Input in{data, size};
    // The start of the client memory: a pattern seeded by the input.
    uint32_t seed = in.U16();
    for (size_t i = 0; i < kSeededBytes; ++i) {
        seed = seed * 1103515245u + 12345u;
        memory[i] = uint8_t(seed >> 16);
    }
    int w = 1 + int(in.U8() % kMaxSide), h = 1 + int(in.U8() % kMaxSide);
    MemoryDisplay display(w, h);
    PDisplayProperties info{};
    info.width = w;
    info.height = h;
    GLES gles;
    vornGL::P3DBackendSW* sw = vornGL::P3DBackendSW::Create(&info, gles.GetStateMan(), &display, 0);
    if (!sw)
        return 0;
    gles.Init(sw, nullptr);
    static GLenum const caps[] = {GL_BLEND, GL_DEPTH_TEST, GL_TEXTURE_2D, GL_CULL_FACE, GL_LIGHTING, GL_LIGHT0,
                                  GL_LIGHT1, GL_SCISSOR_TEST, GL_ALPHA_TEST, GL_NORMALIZE, GL_POLYGON_OFFSET_FILL};
    static GLenum const arrays[] = {GL_VERTEX_ARRAY, GL_COLOR_ARRAY, GL_NORMAL_ARRAY, GL_TEXTURE_COORD_ARRAY};
    static GLenum const types[] = {GL_BYTE, GL_SHORT, GL_FIXED, GL_FLOAT, GL_UNSIGNED_BYTE};
    static GLenum const blends[] = {GL_ZERO, GL_ONE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_COLOR, GL_SRC_COLOR};
    static GLenum const envs[] = {GL_REPLACE, GL_MODULATE, GL_DECAL, GL_ADD, GL_BLEND};
    static GLenum const formats[][2] = {{GL_RGB, GL_UNSIGNED_SHORT_5_6_5},   {GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4},
                                        {GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1}, {GL_RGBA, GL_UNSIGNED_BYTE},
                                        {GL_RGB, GL_UNSIGNED_BYTE},           {GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE},
                                        {GL_ALPHA, GL_UNSIGNED_BYTE},         {GL_LUMINANCE, GL_UNSIGNED_BYTE}};
    uint32_t names[4] = {0, 0, 0, 0};
    sw->glGenTextures(4, names);
    uint16_t indices[kMaxVertices];
    for (int step = 0; step < kMaxCalls && in.n; ++step) {
        switch (in.U8() % 16) {
        case 0:
            gles.glViewport(in.I32(), in.I32(), in.I32(), in.I32());
            break;
        case 1:
            gles.glScissor(in.I32(), in.I32(), in.I32(), in.I32());
            break;
        case 2: {
            GLenum cap = caps[in.U8() % (sizeof caps / sizeof caps[0])];
            (in.U8() & 1) ? gles.glEnable(cap) : gles.glDisable(cap);
            break;
        }
        case 3: {
            GLenum a = arrays[in.U8() % 4];
            (in.U8() & 1) ? gles.glEnableClientState(a) : gles.glDisableClientState(a);
            break;
        }
        case 4: {
            int which = int(in.U8() % 4), size = 2 + int(in.U8() % 3);
            GLenum type = types[in.U8() % 5];
            int stride = int(in.U8() % 65);
            void const* p = memory.data() + in.U8() % 64;
            if (which == 0)
                sw->glVertexPointer(size, type, stride, p);
            else if (which == 1)
                sw->glColorPointer(4, type, stride, p);
            else if (which == 2)
                sw->glNormalPointer(type, stride, p);
            else
                sw->glTexCoordPointer(size, type, stride, p);
            break;
        }
        case 5: {
            gles.glMatrixMode(in.U8() & 1 ? GL_PROJECTION : GL_MODELVIEW);
            int32_t m[16];
            for (auto& v : m)
                v = (in.U8() & 3) ? int32_t(int8_t(in.U8())) << 12 : in.I32();
            gles.glLoadMatrixx(m);
            break;
        }
        case 6:
            gles.glBlendFunc(blends[in.U8() % 6], blends[in.U8() % 6]);
            break;
        case 7:
            gles.glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, int32_t(envs[in.U8() % 5]));
            break;
        case 8: {
            gles.glBindTexture(GL_TEXTURE_2D, names[in.U8() % 4]);
            auto const* f = formats[in.U8() % 8];
            int tw = 1 << (in.U8() % 6), th = (in.U8() & 7) == 0 ? 0 : 1 << (in.U8() % 6);
            sw->glPixelStorei(GL_UNPACK_ALIGNMENT, 1 << (in.U8() % 4));
            gles.glTexImage2D(GL_TEXTURE_2D, 0, int32_t(f[0]), tw, th, 0, f[0], f[1], memory.data());
            sw->glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, (in.U8() & 1) ? GL_LINEAR : GL_NEAREST);
            break;
        }
        case 9:
            sw->glShadeModel((in.U8() & 1) ? GL_SMOOTH : GL_FLAT);
            sw->glHint(GL_PERSPECTIVE_CORRECTION_HINT, (in.U8() & 1) ? GL_NICEST : GL_FASTEST);
            break;
        case 10:
            sw->glPolygonOffsetx(in.I32(), in.I32());
            sw->glDepthRangex(in.I32(), in.I32());
            sw->glDepthMask(uint8_t(in.U8() & 1));
            break;
        case 11: {
            int32_t v[4] = {in.I32(), in.I32(), in.I32(), in.I32()};
            static GLenum const pn[] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_POSITION, GL_SPOT_DIRECTION};
            gles.glLightxv(GL_LIGHT0 + in.U8() % 2, pn[in.U8() % 5], v);
            sw->glMaterialxv(GL_FRONT_AND_BACK, pn[in.U8() % 3], v);
            sw->glMaterialx(GL_FRONT_AND_BACK, GL_SHININESS, in.I32());
            break;
        }
        case 12:
        case 13: {
            int count = int(in.U16() % (kMaxVertices + 1));
            for (int i = 0; i < count; ++i)
                indices[i] = uint16_t(in.U16());
            GLenum mode = GLenum(in.U8() % 8);
            if (in.U8() & 1) {
                gles.glDrawElements(mode, count, GL_UNSIGNED_SHORT, indices);
            } else {
                uint8_t bytes[kMaxVertices];
                for (int i = 0; i < count; ++i)
                    bytes[i] = uint8_t(indices[i]);
                gles.glDrawElements(mode, count, GL_UNSIGNED_BYTE, bytes);
            }
            break;
        }
        case 14:
            gles.glDrawArrays(GLenum(in.U8() % 8), int32_t(in.U16() % (65536 - kMaxVertices)) - 100,
                              int32_t(in.U16() % (kMaxVertices + 1)));
            break;
        default:
            sw->glClearDepthx(in.I32());
            gles.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            break;
        }
    }
    gles.glGetError();
    return 0;
}
