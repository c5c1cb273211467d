#include "gl/gltrace_backend.h"

#include "engine/platform/pdisplay.h"
#include "engine/runtime/pdebug.h"
#include "gl/glhooks.h"
#include "gl/glstateman.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <tuple>
#include <type_traits>

namespace vornGL {

#define VORNGL_TRACE_SLOT(kind, ret, name, params, args, cv) name,
enum class P3DBackendTraceES11::Slot { VORNGL_BACKEND_SLOTS(VORNGL_TRACE_SLOT) };
#undef VORNGL_TRACE_SLOT

using Slot = P3DBackendTraceES11::Slot;

// Each call is written, then made; glGenTextures also notes the names made.
#define VORNGL_TRACE_DEFINE_C(ret, name, params, args, cv)                \
    ret P3DBackendTraceES11::name params cv                               \
    {                                                                     \
        Note<Slot::name>(#name VORNGL_TRACE_COMMA args);                  \
        if constexpr (Slot::name == Slot::glGenTextures) {                \
            P3DBackendES11::name args;                                    \
            After<Slot::name>(VORNGL_TRACE_ARGS args);                    \
            return SlotZero<ret>();                                       \
        } else {                                                          \
            return P3DBackendES11::name args;                             \
        }                                                                 \
    }
#define VORNGL_TRACE_DEFINE_F(ret, name, params, args, cv)
#define VORNGL_TRACE_DEFINE_N(ret, name, params, args, cv)
#define VORNGL_TRACE_DEFINE_V(ret, name, params, args, cv)
#define VORNGL_TRACE_DEFINE(kind, ret, name, params, args, cv) VORNGL_TRACE_DEFINE_##kind(ret, name, params, args, cv)
// (a, b) -> , a, b; () -> nothing
#define VORNGL_TRACE_COMMA(...) __VA_OPT__(, ) __VA_ARGS__
#define VORNGL_TRACE_ARGS(...) __VA_ARGS__
VORNGL_BACKEND_SLOTS(VORNGL_TRACE_DEFINE)

namespace {

// The starting picture: its largest side, and the side of its tiles.
constexpr int32_t kMaxPictureSide = 8192;
constexpr int32_t kPictureTile = 256;

// Values a parameter vector holds for its name.
size_t VectorCount(uint32_t pname)
{
    switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_EMISSION:
    case GL_POSITION:
    case GL_AMBIENT_AND_DIFFUSE:
    case GL_FOG_COLOR:
    case GL_TEXTURE_ENV_COLOR:
    case GL_LIGHT_MODEL_AMBIENT:
        return 4;
    case GL_SPOT_DIRECTION:
        return 3;
    default:
        return 1;
    }
}

} // namespace

P3DBackendTraceES11::P3DBackendTraceES11(PDisplayProperties* info, std::FILE* file, std::string path, uint32_t frame)
    : P3DBackendES11(info), m_file(file), m_path(std::move(path)), m_frame(frame), m_presented(s_profilerPresented),
      m_started(false), m_done(false), m_arrays(0), m_sequence(0), m_unpackAlignment(4), m_unit(0), m_clientUnit(0),
      m_matrixMode(GL_MODELVIEW), m_startUnit(0), m_startClientUnit(0), m_startMatrixMode(GL_MODELVIEW), m_pictureW(0), m_pictureH(0), m_drawn(false), m_pictureHidden(false)
{
    m_bound[0] = m_bound[1] = m_startBound[0] = m_startBound[1] = -1;
}

P3DBackendTraceES11* P3DBackendTraceES11::Create(PDisplayProperties* info, char const* path, uint32_t frame)
{
    std::string tmp = path;
    tmp += ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        _PDebug("GL trace: cannot write %s: %s\n", tmp.c_str(), std::strerror(errno));
        return nullptr;
    }
    auto* b = new (std::nothrow) P3DBackendTraceES11(info, f, path, frame);
    if (!b) {
        std::fclose(f);
        std::remove(tmp.c_str());
        _PDebug("GL trace: no memory\n");
    }
    return b;
}

P3DBackendTraceES11::~P3DBackendTraceES11()
{
    // The frame was presented as the last one drawn.
    if (m_file && s_profilerPresented - m_presented > m_frame)
        Finish();
    if (m_file) {
        // The frame asked for never came: no trace.
        std::fclose(m_file);
        std::remove(TempPath().c_str());
        _PDebug("GL trace: the program ended before frame %u; %s not written\n", m_frame, m_path.c_str());
    }
}

std::string P3DBackendTraceES11::TempPath() const
{
    std::string tmp = m_path;
    tmp += ".tmp";
    return tmp;
}

bool P3DBackendTraceES11::Live()
{
    if (!m_file)
        return false;
    if (s_profilerPresented - m_presented > m_frame) {
        Finish();
        return false;
    }
    return true;
}

void P3DBackendTraceES11::Finish()
{
    // Here the frame was presented already: what the framebuffer holds now
    // is not what the frame started from.
    Start(false);
    WriteState();
    std::fwrite(m_frameText.data(), 1, m_frameText.size(), m_file);
    m_frameText.clear();
    std::fputs("frame\n", m_file);
    bool ok = std::ferror(m_file) == 0;
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    std::string tmp = TempPath();
    if (!ok || std::rename(tmp.c_str(), m_path.c_str()) != 0) {
        _PDebug("GL trace: cannot write %s\n", m_path.c_str());
        std::remove(tmp.c_str());
        return;
    }
    m_done = true;
    _PDebug("GL trace: frame %u written to %s\n", m_frame, m_path.c_str());
}

void P3DBackendTraceES11::Put(char const* format, ...)
{
    char b[512];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(b, sizeof b, format, ap);
    va_end(ap);
    if (n > 0)
        m_out.append(b, std::min(size_t(n), sizeof b - 1));
}

template <class T> void P3DBackendTraceES11::Args(T v)
{
    if constexpr (std::is_floating_point_v<T>) {
        char b[40];
        std::snprintf(b, sizeof b, "%.9g", double(v));
        if (!std::strpbrk(b, ".eEni"))
            std::strcat(b, ".0");
        Put(" %s", b);
    } else {
        Put(" %lld", static_cast<long long>(v));
    }
}

// Appends count elements of the given type as a new array; its reference.
std::string P3DBackendTraceES11::Memory(char const* type, void const* data, size_t count)
{
    if (!data)
        return "null";
    char name[24];
    std::snprintf(name, sizeof name, "a%u", m_arrays++);
    Put("array %s %s", name, type);
    if (count == 0)
        Put(" 0");
    for (size_t i = 0; i < count; ++i) {
        if (!std::strcmp(type, "float")) {
            float f;
            std::memcpy(&f, static_cast<char const*>(data) + 4 * i, 4);
            Put(" %.9g", double(f));
        } else if (!std::strcmp(type, "fixed") || !std::strcmp(type, "int")) {
            int32_t x;
            std::memcpy(&x, static_cast<char const*>(data) + 4 * i, 4);
            Put(" %d", x);
        } else if (!std::strcmp(type, "ushort")) {
            uint16_t x;
            std::memcpy(&x, static_cast<char const*>(data) + 2 * i, 2);
            Put(" %u", unsigned(x));
        } else {
            Put(" %u", unsigned(static_cast<uint8_t const*>(data)[i]));
        }
    }
    Put("\n");
    char ref[26];
    std::snprintf(ref, sizeof ref, "@%s", name);
    return ref;
}

int P3DBackendTraceES11::Object(uint32_t name)
{
    auto it = m_names.find(name);
    if (it != m_names.end())
        return it->second;
    // A name the program did not make with glGenTextures: used as it is.
    Texture t;
    t.ref = std::to_string(name);
    m_objects.push_back(std::move(t));
    m_names[name] = int(m_objects.size() - 1);
    return int(m_objects.size() - 1);
}

std::string P3DBackendTraceES11::TextureName(uint32_t name)
{
    if (name == 0)
        return "0";
    return m_objects[size_t(Object(name))].ref;
}

void P3DBackendTraceES11::Keep(std::string key)
{
    m_state[std::move(key)] = std::make_pair(m_sequence++, m_out);
}

// The state the frames before the traced one left: the textures the frame
// uses with their images and parameters, then every other setting's last value in
// the order the settings were last made, the bindings of both texture units,
// and the active units.
// The traced frame begins: the textures bound now are used by it.
void P3DBackendTraceES11::Start(bool readPicture)
{
    if (m_started)
        return;
    m_started = true;
    if (readPicture)
        ReadPicture();
    for (int b : m_bound)
        if (b >= 0)
            m_objects[size_t(b)].used = true;
    m_startBound[0] = m_bound[0];
    m_startBound[1] = m_bound[1];
    m_startUnit = m_unit;
    m_startClientUnit = m_clientUnit;
    m_startMatrixMode = m_matrixMode;
}

// The framebuffer the traced frame draws on, as the frames before it left it.
// Its size is the drawing size of the display (the off-screen framebuffer's
// when there is one).
void P3DBackendTraceES11::ReadPicture()
{
    PDisplayProperties const* info = vornGLGetDispInfo();
    if (!info)
        return;
    int32_t w = info->fbWidth > 0 && info->fbHeight > 0 ? info->fbWidth : info->screenWidth;
    int32_t h = info->fbWidth > 0 && info->fbHeight > 0 ? info->fbHeight : info->screenHeight;
    if (w <= 0 || h <= 0) {
        w = info->width;
        h = info->height;
    }
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide) {
        _PDebug("GL trace: drawing size %d x %d; the frame's starting picture is not written\n", w, h);
        return;
    }
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[size_t(w) * size_t(h) * 4]());
    if (!pixels) {
        _PDebug("GL trace: no memory for the frame's starting picture\n");
        return;
    }
    // Reading must leave the program's state as it was, its pending GL
    // error too: the read is not followed by glGetError (it fails only on an
    // incomplete framebuffer, and then leaves the picture black).
    i32 pack = 4;
    P3DBackendES11::glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    P3DBackendES11::glPixelStorei(GL_PACK_ALIGNMENT, 4);
    P3DBackendES11::glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.get());
    P3DBackendES11::glPixelStorei(GL_PACK_ALIGNMENT, pack);
    m_picture = std::move(pixels);
    m_pictureW = w;
    m_pictureH = h;
}

// A clear of the whole colour buffer before the frame's first draw hides the
// starting picture: it is then not written.
void P3DBackendTraceES11::NoteClear(uint32_t mask)
{
    if (m_drawn || !(mask & GL_COLOR_BUFFER_BIT) || P3DBackendES11::glIsEnabled(GL_SCISSOR_TEST))
        return;
    u8 writes[4] = {};
    P3DBackendES11::glGetBooleanv(GL_COLOR_WRITEMASK, writes);
    i32 alphaBits = 0;
    P3DBackendES11::glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    if (writes[0] && writes[1] && writes[2] && (writes[3] || alphaBits == 0))
        m_pictureHidden = true;
}

// The starting picture, drawn on a fresh context: tiles of at most
// kPictureTile texels a side, each a texture of its own drawn with
// nearest sampling into a viewport of its size, so that every pixel gets its
// own texel on any back end that takes textures of that size. Everything it
// changes is then set back to the context's defaults before the state is
// written.
void P3DBackendTraceES11::WritePicture()
{
    if (!m_picture || m_pictureHidden)
        return;
    int32_t const W = m_pictureW, H = m_pictureH;
    int32_t const across = (W + kPictureTile - 1) / kPictureTile, down = (H + kPictureTile - 1) / kPictureTile;
    int32_t const tiles = across * down;
    std::string text = "# The picture the frame starts from, which it draws over.\narray picture uint";
    for (int32_t i = 0; i < tiles; ++i)
        text += " 0";
    char b[160];
    std::snprintf(b, sizeof b,
                  "\nglGenTextures %d @picture\narray picture_quad fixed -65536 -65536 65536 -65536 -65536 65536 "
                  "65536 65536\n",
                  tiles);
    text += b;
    std::snprintf(b, sizeof b, "glActiveTexture %u\nglEnable %u\nglDisable %u\nglTexEnvx %u %u %u\n", GL_TEXTURE0,
                  GL_TEXTURE_2D, GL_DITHER, GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    text += b;
    std::snprintf(b, sizeof b, "glEnableClientState %u\nglEnableClientState %u\nglVertexPointer 2 %u 0 @picture_quad\n",
                  GL_VERTEX_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_FIXED);
    text += b;
    std::fwrite(text.data(), 1, text.size(), m_file);
    auto pow2 = [](int32_t v) {
        int32_t p = 1;
        while (p < v)
            p *= 2;
        return p;
    };
    for (int32_t ty = 0; ty < down; ++ty)
        for (int32_t tx = 0; tx < across; ++tx) {
            int32_t const k = ty * across + tx, x0 = tx * kPictureTile, y0 = ty * kPictureTile;
            int32_t const w = std::min(kPictureTile, W - x0), h = std::min(kPictureTile, H - y0);
            int32_t const tw = pow2(w), th = pow2(h);
            text.clear();
            std::snprintf(b, sizeof b, "array picture_%d ubyte", k);
            text += b;
            for (int32_t y = 0; y < h; ++y) {
                uint8_t const* row = &m_picture[(size_t(y0 + y) * size_t(W) + size_t(x0)) * 4];
                for (int32_t i = 0; i < w * 4; ++i) {
                    char digits[5] = {' '};
                    int n = 1;
                    uint8_t v = row[i];
                    if (v >= 100)
                        digits[n++] = char('0' + v / 100);
                    if (v >= 10)
                        digits[n++] = char('0' + v / 10 % 10);
                    digits[n++] = char('0' + v % 10);
                    text.append(digits, size_t(n));
                }
            }
            std::snprintf(b, sizeof b, "\narray picture_uv_%d fixed 0 0 %d 0 0 %d %d %d\n", k, w * 65536 / tw,
                          h * 65536 / th, w * 65536 / tw, h * 65536 / th);
            text += b;
            std::snprintf(b, sizeof b, "glBindTexture %u picture[%d]\nglTexParameterx %u %u %u\nglTexParameterx %u %u %u\n",
                          GL_TEXTURE_2D, k, GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST, GL_TEXTURE_2D,
                          GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            text += b;
            std::snprintf(b, sizeof b, "glTexImage2D %u 0 %u %d %d 0 %u %u null\n", GL_TEXTURE_2D, GL_RGBA, tw, th,
                          GL_RGBA, GL_UNSIGNED_BYTE);
            text += b;
            std::snprintf(b, sizeof b, "glTexSubImage2D %u 0 0 0 %d %d %u %u @picture_%d\n", GL_TEXTURE_2D, w, h,
                          GL_RGBA, GL_UNSIGNED_BYTE, k);
            text += b;
            std::snprintf(b, sizeof b, "glTexCoordPointer 2 %u 0 @picture_uv_%d\nglViewport %d %d %d %d\nglDrawArrays %u 0 4\n",
                          GL_FIXED, k, x0, y0, w, h, GL_TRIANGLE_STRIP);
            text += b;
            std::fwrite(text.data(), 1, text.size(), m_file);
        }
    std::fprintf(m_file, "glBindTexture %u 0\nglDeleteTextures %d @picture\n", GL_TEXTURE_2D, tiles);
    std::fprintf(m_file, "glDisableClientState %u\nglDisableClientState %u\n", GL_VERTEX_ARRAY, GL_TEXTURE_COORD_ARRAY);
    std::fprintf(m_file, "glTexEnvx %u %u %u\nglEnable %u\nglDisable %u\nglViewport 0 0 %d %d\n", GL_TEXTURE_ENV,
                 GL_TEXTURE_ENV_MODE, GL_MODULATE, GL_DITHER, GL_TEXTURE_2D, W, H);
    m_picture.reset();
}

void P3DBackendTraceES11::WriteState()
{
    std::fputs("# One frame of the program, written by its OpenGL ES 1.1 back end: the picture and the\n"
               "# state the frames before it left, then its calls.\n",
               m_file);
    WritePicture();
    std::fputs("glActiveTexture 33984\n", m_file);
    for (Texture& t : m_objects) {
        if (!t.alive || !t.used || t.made.empty())
            continue; // not used, or made by the frame itself
        std::fputs(t.made.c_str(), m_file);
        std::fprintf(m_file, "glBindTexture 3553 %s\n", t.ref.c_str());
        for (std::string const& u : t.uploads)
            std::fputs(u.c_str(), m_file);
        for (auto const& p : t.params)
            std::fputs(p.second.c_str(), m_file);
        t.made.clear();
        t.uploads.clear();
        t.params.clear();
    }
    std::vector<std::pair<uint64_t, std::string const*>> order;
    for (auto const& s : m_state)
        order.push_back({s.second.first, &s.second.second});
    std::sort(order.begin(), order.end());
    for (auto const& o : order)
        std::fputs(o.second->c_str(), m_file);
    m_state.clear();
    for (int u = 0; u < 2; ++u) {
        int b = m_startBound[u];
        std::fprintf(m_file, "glActiveTexture %d\nglBindTexture 3553 %s\n", GL_TEXTURE0 + u,
                     b >= 0 && m_objects[size_t(b)].alive ? m_objects[size_t(b)].ref.c_str() : "0");
    }
    std::fprintf(m_file, "glActiveTexture %u\nglClientActiveTexture %u\nglMatrixMode %u\n", GL_TEXTURE0 + m_startUnit,
                 GL_TEXTURE0 + m_startClientUnit, m_startMatrixMode);
}

// The enabled client arrays for vertices 0 to vertices - 1, each written as
// an array and set again to point at it.
void P3DBackendTraceES11::ArraysFor(uint32_t vertices)
{
    static char const* const kNames[kPointers] = {"glVertexPointer", "glColorPointer", "glNormalPointer",
                                                  "glTexCoordPointer", "glTexCoordPointer"};
    for (int i = 0; i < kPointers; ++i) {
        Pointer const& p = m_pointers[i];
        if (!p.enabled || !p.data || vertices == 0)
            continue;
        size_t elem = size_t(GLTypeBytes(p.type)) * size_t(i == kNormal ? 3 : p.size);
        size_t stride = p.stride ? size_t(p.stride) : elem;
        std::string ref = Memory("ubyte", p.data, (vertices - 1) * stride + elem);
        uint32_t unit = i == kTexCoord1 ? 1 : 0;
        bool switchUnit = i >= kTexCoord0 && unit != m_clientUnit;
        if (switchUnit)
            Put("glClientActiveTexture %u\n", GL_TEXTURE0 + unit);
        if (i == kNormal)
            Put("%s %u %d %s\n", kNames[i], p.type, p.stride, ref.c_str());
        else
            Put("%s %d %u %d %s\n", kNames[i], p.size, p.type, p.stride, ref.c_str());
        if (switchUnit)
            Put("glClientActiveTexture %u\n", GL_TEXTURE0 + m_clientUnit);
    }
}

template <Slot S, class... A> void P3DBackendTraceES11::Note(char const* name, A... a)
{
    if (!Live())
        return;
    bool const target = s_profilerPresented - m_presented == m_frame;
    if (target) {
        Start(true);
        if constexpr (S == Slot::glDrawArrays || S == Slot::glDrawElements)
            m_drawn = true;
        if constexpr (S == Slot::glClear)
            NoteClear(std::get<0>(std::make_tuple(a...)));
    }
    m_out.clear();
    auto const t = std::make_tuple(a...);
    auto vec = [&](char const* type, auto const* p, size_t n) {
        // Parameter vectors are read as four values; unused ones are zero.
        using T = std::remove_cv_t<std::remove_pointer_t<decltype(p)>>;
        T v[16] = {};
        for (size_t i = 0; i < n && p; ++i)
            v[i] = p[i];
        return Memory(type, p ? v : nullptr, std::max<size_t>(n, 4));
    };
    char key[64];
    // Settings of the active texture unit are made on that unit.
    auto onUnit = [this] { Put("glActiveTexture %u\n", GL_TEXTURE0 + m_unit); };
    if constexpr (S == Slot::glLoadMatrixf || S == Slot::glMultMatrixf || S == Slot::glLoadMatrixx ||
                  S == Slot::glMultMatrixx) {
        constexpr bool kLoad = S == Slot::glLoadMatrixf || S == Slot::glLoadMatrixx;
        Put("glMatrixMode %u\n", m_matrixMode);
        std::string m = Memory(S == Slot::glLoadMatrixf || S == Slot::glMultMatrixf ? "float" : "fixed",
                               std::get<0>(t), 16);
        Put("%s %s\n", name, m.c_str());
        if (!target)
            Matrix(kLoad);
    } else if constexpr (S == Slot::glLoadIdentity || S == Slot::glPushMatrix || S == Slot::glPopMatrix ||
                         S == Slot::glRotatef || S == Slot::glRotatex || S == Slot::glTranslatef ||
                         S == Slot::glTranslatex || S == Slot::glScalef || S == Slot::glScalex ||
                         S == Slot::glOrthof || S == Slot::glOrthox || S == Slot::glFrustumf ||
                         S == Slot::glFrustumx) {
        Put("glMatrixMode %u\n%s", m_matrixMode, name);
        (Args(a), ...);
        Put("\n");
        if (!target)
            Matrix(S == Slot::glLoadIdentity);
    } else if constexpr (S == Slot::glMatrixMode) {
        m_matrixMode = std::get<0>(t);
        Put("%s %u\n", name, std::get<0>(t));
    } else if constexpr (S == Slot::glFogfv || S == Slot::glLightModelfv || S == Slot::glFogxv ||
                         S == Slot::glLightModelxv) {
        std::string m = vec(std::is_same_v<std::remove_cvref_t<decltype(std::get<1>(t))>, f32 const*> ? "float"
                                                                                                        : "fixed",
                            std::get<1>(t), VectorCount(std::get<0>(t)));
        Put("%s %u %s\n", name, std::get<0>(t), m.c_str());
        std::snprintf(key, sizeof key, "%s %u", name, std::get<0>(t));
        if (!target)
            Keep(key);
    } else if constexpr (S == Slot::glLightfv || S == Slot::glMaterialfv || S == Slot::glLightxv ||
                         S == Slot::glMaterialxv) {
        constexpr bool kFloat = S == Slot::glLightfv || S == Slot::glMaterialfv;
        std::string m = vec(kFloat ? "float" : "fixed", std::get<2>(t), VectorCount(std::get<1>(t)));
        Put("%s %u %u %s\n", name, std::get<0>(t), std::get<1>(t), m.c_str());
        std::snprintf(key, sizeof key, "%s %u %u", name, std::get<0>(t), std::get<1>(t));
        if (!target)
            Keep(key);
    } else if constexpr (S == Slot::glTexEnvfv || S == Slot::glTexEnvxv || S == Slot::glTexEnviv) {
        onUnit();
        std::string m = vec(S == Slot::glTexEnvfv ? "float" : S == Slot::glTexEnviv ? "int" : "fixed", std::get<2>(t),
                            VectorCount(std::get<1>(t)));
        Put("%s %u %u %s\n", name, std::get<0>(t), std::get<1>(t), m.c_str());
        std::snprintf(key, sizeof key, "%s %u %u %u", name, m_unit, std::get<0>(t), std::get<1>(t));
        if (!target)
            Keep(key);
    } else if constexpr (S == Slot::glTexEnvf || S == Slot::glTexEnvi || S == Slot::glTexEnvx) {
        onUnit();
        Put("%s", name);
        (Args(a), ...);
        Put("\n");
        std::snprintf(key, sizeof key, "glTexEnv %u %u %u", m_unit, std::get<0>(t), std::get<1>(t));
        if (!target)
            Keep(key);
    } else if constexpr (S == Slot::glTexParameterfv || S == Slot::glTexParameterxv ||
                         S == Slot::glTexParameteriv || S == Slot::glTexParameterf || S == Slot::glTexParameteri ||
                         S == Slot::glTexParameterx) {
        if constexpr (S == Slot::glTexParameterfv || S == Slot::glTexParameterxv || S == Slot::glTexParameteriv) {
            std::string m = vec(S == Slot::glTexParameterfv   ? "float"
                                : S == Slot::glTexParameteriv ? "int"
                                                              : "fixed",
                                std::get<2>(t), 1);
            Put("%s %u %u %s\n", name, std::get<0>(t), std::get<1>(t), m.c_str());
        } else {
            Put("%s", name);
            (Args(a), ...);
            Put("\n");
        }
        if (!target && m_bound[m_unit] >= 0)
            m_objects[size_t(m_bound[m_unit])].params[std::get<1>(t)] = m_out;
    } else if constexpr (S == Slot::glTexImage2D || S == Slot::glTexSubImage2D ||
                         S == Slot::glCompressedTexImage2D) {
        size_t bytes = 0;
        void const* pixels = nullptr;
        if constexpr (S == Slot::glCompressedTexImage2D) {
            bytes = std::get<6>(t) > 0 ? size_t(std::get<6>(t)) : 0;
            pixels = std::get<7>(t);
        } else {
            // (target, level, internalformat, w, h, border, format, type, pixels)
            // or (target, level, x, y, w, h, format, type, pixels).
            constexpr int kW = S == Slot::glTexImage2D ? 3 : 4;
            int32_t w = std::get<kW>(t), h = std::get<kW + 1>(t);
            size_t bpp = size_t(GLBytesPerPixel(std::get<6>(t), std::get<7>(t)));
            pixels = std::get<8>(t);
            if (w > 0 && h > 0 && bpp) {
                size_t align = m_unpackAlignment > 0 ? size_t(m_unpackAlignment) : 1;
                size_t row = (size_t(w) * bpp + align - 1) / align * align;
                bytes = row * size_t(h - 1) + size_t(w) * bpp;
            }
        }
        Put("glPixelStorei %u %d\n", GL_UNPACK_ALIGNMENT, m_unpackAlignment);
        std::string m = Memory("ubyte", bytes ? pixels : nullptr, bytes);
        Put("%s", name);
        auto one = [&](auto x) {
            if constexpr (!std::is_pointer_v<decltype(x)>)
                Args(x);
        };
        std::apply([&one](auto... x) { (one(x), ...); }, t);
        Put(" %s\n", m.c_str());
        if (!target && m_bound[m_unit] >= 0) {
            Texture& o = m_objects[size_t(m_bound[m_unit])];
            if (S != Slot::glTexSubImage2D && std::get<1>(t) == 0)
                o.uploads.clear(); // a new base image replaces the earlier ones
            o.uploads.push_back(m_out);
        }
    } else if constexpr (S == Slot::glPixelStorei) {
        if (std::get<0>(t) == GL_UNPACK_ALIGNMENT)
            m_unpackAlignment = std::get<1>(t);
        Put("%s %u %d\n", name, std::get<0>(t), std::get<1>(t));
    } else if constexpr (S == Slot::glGenTextures) {
        int32_t n = std::get<0>(t);
        if (n <= 0 || !std::get<1>(t))
            return;
        // The array is filled by the replay's own glGenTextures; After
        // notes which of its elements stands for which name made here.
        char array[24];
        std::snprintf(array, sizeof array, "t%u", m_arrays++);
        m_generated = array;
        Put("array %s uint", array);
        for (int32_t i = 0; i < n; ++i)
            Put(" 0");
        Put("\n%s %d @%s\n", name, n, array);
    } else if constexpr (S == Slot::glDeleteTextures) {
        int32_t n = std::get<0>(t);
        u32 const* names = std::get<1>(t);
        if (target || n <= 0 || !names)
            return;
        for (int32_t i = 0; i < n; ++i) {
            auto it = m_names.find(names[i]);
            if (it == m_names.end())
                continue;
            m_objects[size_t(it->second)].alive = false;
            for (int& b : m_bound)
                if (b == it->second)
                    b = -1;
            m_names.erase(it);
        }
        return;
    } else if constexpr (S == Slot::glBindTexture) {
        if (std::get<1>(t) == 0)
            m_bound[m_unit] = -1;
        else
            m_bound[m_unit] = Object(std::get<1>(t));
        if (target && m_bound[m_unit] >= 0)
            m_objects[size_t(m_bound[m_unit])].used = true;
        Put("%s %u %s\n", name, std::get<0>(t), TextureName(std::get<1>(t)).c_str());
        if (!target)
            return; // the bindings at the frame's start are written by Start
    } else if constexpr (S == Slot::glActiveTexture) {
        m_unit = std::get<0>(t) == GL_TEXTURE1 ? 1 : 0;
        Put("%s %u\n", name, std::get<0>(t));
        if (!target)
            return;
    } else if constexpr (S == Slot::glClientActiveTexture) {
        m_clientUnit = std::get<0>(t) == GL_TEXTURE1 ? 1 : 0;
        Put("%s %u\n", name, std::get<0>(t));
        if (!target)
            return;
    } else if constexpr (S == Slot::glVertexPointer || S == Slot::glColorPointer || S == Slot::glTexCoordPointer) {
        int which = S == Slot::glVertexPointer ? kVertex
                    : S == Slot::glColorPointer ? kColour
                    : m_clientUnit == 1         ? kTexCoord1
                                                : kTexCoord0;
        Pointer& p = m_pointers[which];
        p.size = std::get<0>(t);
        p.type = std::get<1>(t);
        p.stride = std::get<2>(t);
        p.data = std::get<3>(t);
        return;
    } else if constexpr (S == Slot::glNormalPointer) {
        Pointer& p = m_pointers[kNormal];
        p.type = std::get<0>(t);
        p.stride = std::get<1>(t);
        p.data = std::get<2>(t);
        return;
    } else if constexpr (S == Slot::glEnableClientState || S == Slot::glDisableClientState) {
        bool on = S == Slot::glEnableClientState;
        uint32_t cap = std::get<0>(t);
        int which = cap == GL_VERTEX_ARRAY ? kVertex
                    : cap == GL_COLOR_ARRAY ? kColour
                    : cap == GL_NORMAL_ARRAY ? kNormal
                    : cap == GL_TEXTURE_COORD_ARRAY ? (m_clientUnit == 1 ? kTexCoord1 : kTexCoord0)
                                                    : -1;
        if (which >= 0)
            m_pointers[which].enabled = on;
        if (cap == GL_TEXTURE_COORD_ARRAY)
            Put("glClientActiveTexture %u\n", GL_TEXTURE0 + m_clientUnit);
        Put("%s %u\n", name, cap);
        std::snprintf(key, sizeof key, "client %u %u", cap, cap == GL_TEXTURE_COORD_ARRAY ? m_clientUnit : 0);
        if (!target)
            Keep(key);
    } else if constexpr (S == Slot::glEnable || S == Slot::glDisable) {
        uint32_t cap = std::get<0>(t);
        if (cap == GL_TEXTURE_2D)
            onUnit();
        Put("%s %u\n", name, cap);
        std::snprintf(key, sizeof key, "enable %u %u", cap, cap == GL_TEXTURE_2D ? m_unit : 0);
        if (!target)
            Keep(key);
    } else if constexpr (S == Slot::glDrawArrays) {
        if (!target)
            return;
        int32_t first = std::get<1>(t), count = std::get<2>(t);
        if (first < 0 || count <= 0)
            return;
        ArraysFor(uint32_t(first) + uint32_t(count));
        Put("%s %u %d %d\n", name, std::get<0>(t), first, count);
    } else if constexpr (S == Slot::glDrawElements) {
        if (!target)
            return;
        int32_t count = std::get<1>(t);
        uint32_t type = std::get<2>(t);
        void const* indices = std::get<3>(t);
        if (count <= 0 || !indices || (type != GL_UNSIGNED_BYTE && type != GL_UNSIGNED_SHORT))
            return;
        uint32_t top = 0;
        for (int32_t i = 0; i < count; ++i) {
            uint32_t x = type == GL_UNSIGNED_BYTE ? static_cast<uint8_t const*>(indices)[i]
                                                  : static_cast<uint16_t const*>(indices)[i];
            top = std::max(top, x);
        }
        ArraysFor(top + 1);
        std::string m = Memory(type == GL_UNSIGNED_BYTE ? "ubyte" : "ushort", indices, size_t(count));
        Put("%s %u %d %u %s\n", name, std::get<0>(t), count, type, m.c_str());
    } else if constexpr ((std::is_pointer_v<A> || ...)) {
        // Queries, reads and the calls a trace cannot hold.
        return;
    } else if constexpr (S == Slot::glGetError || S == Slot::glGetString || S == Slot::glIsEnabled ||
                         S == Slot::glIsTexture || S == Slot::glIsBuffer || S == Slot::glFinish ||
                         S == Slot::glFlush || S == Slot::glBindBuffer) {
        // Queries; buffer objects are not part of the traces.
        return;
    } else {
        if (S == Slot::glClear && !target)
            return;
        Put("%s", name);
        (Args(a), ...);
        Put("\n");
        // A setting: its name and its selector (the first argument where
        // there is one that names what is set).
        constexpr bool kSelector = S == Slot::glHint || S == Slot::glFogf || S == Slot::glFogx ||
                                   S == Slot::glLightModelf || S == Slot::glLightModelx || S == Slot::glLightf ||
                                   S == Slot::glLightx || S == Slot::glMaterialf || S == Slot::glMaterialx;
        if constexpr (kSelector && sizeof...(A) >= 2) {
            if constexpr (S == Slot::glLightf || S == Slot::glLightx || S == Slot::glMaterialf ||
                          S == Slot::glMaterialx)
                std::snprintf(key, sizeof key, "%s %u %u", name, unsigned(std::get<0>(t)), unsigned(std::get<1>(t)));
            else
                std::snprintf(key, sizeof key, "%s %u", name, unsigned(std::get<0>(t)));
        } else {
            std::snprintf(key, sizeof key, "%s", name);
        }
        if (!target)
            Keep(key);
    }
    if (target)
        m_frameText += m_out;
}

// The calls on the current matrix of the frames before the traced one: a
// load starts its list again.
void P3DBackendTraceES11::Matrix(bool load)
{
    // Each texture unit has a texture matrix of its own.
    uint32_t unit = m_matrixMode == GL_TEXTURE ? m_unit : 0;
    std::string& list = m_matrices[m_matrixMode + (unit << 16)];
    if (load)
        list.clear();
    if (list.empty()) {
        if (m_matrixMode == GL_TEXTURE) {
            char b[40];
            std::snprintf(b, sizeof b, "glActiveTexture %u\n", GL_TEXTURE0 + unit);
            list = b;
        }
    }
    list += m_out;
    char key[32];
    std::snprintf(key, sizeof key, "matrix %u %u", m_matrixMode, unit);
    m_state[key] = std::make_pair(m_sequence++, list);
}

template <Slot S, class... A> void P3DBackendTraceES11::After(A... a)
{
    if constexpr (S == Slot::glGenTextures) {
        auto const t = std::make_tuple(a...);
        int32_t n = std::get<0>(t);
        u32 const* names = std::get<1>(t);
        if (!m_file || m_generated.empty() || n <= 0 || !names)
            return;
        bool const target = s_profilerPresented - m_presented == m_frame;
        for (int32_t i = 0; i < n; ++i) {
            char element[48];
            std::snprintf(element, sizeof element, "%s[%d]", m_generated.c_str(), i);
            if (auto it = m_names.find(names[i]); it != m_names.end()) {
                m_objects[size_t(it->second)].alive = false;
                m_names.erase(it);
            }
            Texture o;
            o.ref = element;
            // Each texture made before the traced frame is made again on its
            // own at the frame's start.
            if (!target) {
                char array[24];
                std::snprintf(array, sizeof array, "t%u", m_arrays++);
                char made[80];
                std::snprintf(made, sizeof made, "%s[0]", array);
                o.ref = made;
                std::snprintf(made, sizeof made, "array %s uint 0\nglGenTextures 1 @%s\n", array, array);
                o.made = made;
            }
            m_objects.push_back(std::move(o));
            m_names[names[i]] = int(m_objects.size() - 1);
        }
        m_generated.clear();
    }
}

P3DBackend* MakeES11Backend(PDisplayProperties* info)
{
    char const* path = std::getenv("KRV_GL_TRACE");
    if (path && *path) {
        uint32_t frame = 0;
        if (char const* f = std::getenv("KRV_GL_TRACE_FRAME"); f && *f) {
            char* end = nullptr;
            errno = 0;
            unsigned long v = std::strtoul(f, &end, 10);
            if (errno || *end || v > 1000000000ul || *f == '-') {
                _PDebug("GL trace: KRV_GL_TRACE_FRAME \"%s\" is not a frame number; no trace\n", f);
                return new (std::nothrow) P3DBackendES11(info);
            }
            frame = uint32_t(v);
        }
        if (P3DBackend* b = P3DBackendTraceES11::Create(info, path, frame))
            return b;
    }
    return new (std::nothrow) P3DBackendES11(info);
}

} // namespace vornGL
