#include "tools/glreplay/replay.h"

#include "engine/platform/pdisplay.h"
#include "gl/es2_backend.h"
#include "gl/glbackend_es11.h"
#include "gl/gles.h"
#include "gl/glhooks.h"
#include "gl/glstateman.h"
#include "gl/gltrace_backend.h"
#include "gl/software/swbackend.h"
#include "gl/software/swbands.h"
#include "tools/glreplay/eglpbuffer.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <tuple>
#include <type_traits>
#include <unordered_map>

namespace glreplay {

namespace {

// What the replay knows of the client arrays, to check that every draw reads
// inside the trace's arrays.
struct ClientArray {
    bool enabled = false;
    int size = 0, stride = 0;
    uint32_t type = 0;
    Arg pointer; // Null until set
};

struct Ctx {
    Trace const* trace = nullptr;
    std::vector<std::vector<uint8_t>> memory; // the trace's arrays, writable copies
    GLES* gles = nullptr;
    vornGL::P3DBackend* backend = nullptr;
    ClientArray vertex, normal, colour, texcoord[8];
    int clientUnit = 0;
    int unpackAlignment = 4;

    size_t Available(Arg const& a) const
    {
        if (a.kind != ArgKind::Pointer)
            return 0;
        size_t n = memory[a.array].size();
        return a.offset <= int64_t(n) ? n - size_t(a.offset) : 0;
    }
    uint8_t* Address(Arg const& a) { return memory[a.array].data() + a.offset; }
};

// ---------------------------------------------------------------------------
// Argument conversion

// Element i of an array as it is now, as an integer argument.
Arg Resolve(Ctx& ctx, Arg const& a)
{
    if (a.kind != ArgKind::Element)
        return a;
    Array const& arr = ctx.trace->arrays[a.array];
    uint8_t const* p = ctx.memory[a.array].data() + a.offset * ElemSize(arr.type);
    Arg r;
    switch (arr.type) {
    case ElemType::Byte: r.i = int8_t(p[0]); break;
    case ElemType::UByte: r.i = p[0]; break;
    case ElemType::Short: r.i = int16_t(p[0] | p[1] << 8); break;
    case ElemType::UShort: r.i = uint16_t(p[0] | p[1] << 8); break;
    case ElemType::Float: {
        float f;
        std::memcpy(&f, p, 4);
        r.kind = ArgKind::Float;
        r.f = f;
        return r;
    }
    case ElemType::UInt: r.i = uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); break;
    default: r.i = int32_t(uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24)); break;
    }
    return r;
}

template <class T> bool Convert(Ctx& ctx, Arg const& arg, T& out, std::string& err)
{
    Arg a = Resolve(ctx, arg);
    if constexpr (std::is_floating_point_v<T>) {
        if (a.kind == ArgKind::Float)
            out = static_cast<T>(a.f);
        else if (a.kind == ArgKind::Int)
            out = static_cast<T>(a.i);
        else
            return err = "a number is needed", false;
        return true;
    } else if constexpr (std::is_integral_v<T>) {
        if (a.kind != ArgKind::Int)
            return err = "an integer is needed (GLfixed values are integers, 65536 is 1.0)", false;
        if constexpr (sizeof(T) == 1) {
            if (a.i < 0 || a.i > 255)
                return err = "value out of range for a byte", false;
        } else {
            if (a.i < INT32_MIN || a.i > int64_t(UINT32_MAX))
                return err = "value out of 32-bit range", false;
        }
        out = static_cast<T>(static_cast<uint32_t>(a.i));
        return true;
    } else if constexpr (std::is_pointer_v<T>) {
        if (a.kind == ArgKind::Null) {
            out = nullptr;
            return true;
        }
        if (a.kind != ArgKind::Pointer)
            return err = "a pointer (@NAME) or null is needed", false;
        out = reinterpret_cast<T>(ctx.Address(a));
        return true;
    } else {
        static_assert(sizeof(T) == 0, "unsupported parameter type");
    }
}

template <class... A, size_t... I>
bool ConvertAll(Ctx& ctx, Call const& c, std::tuple<A...>& t, std::string& err, std::index_sequence<I...>)
{
    if (c.args.size() != sizeof...(A)) {
        err = c.name + " takes " + std::to_string(sizeof...(A)) + " arguments, " + std::to_string(c.args.size()) +
              " given";
        return false;
    }
    return (Convert(ctx, c.args[I], std::get<I>(t), err) && ...);
}

template <class F> struct Signature;
template <class R, class... A> struct Signature<R (*)(A...)> {
    using Args = std::tuple<std::remove_cv_t<A>...>;
};
template <class C, class R, class... A> struct Signature<R (C::*)(A...)> {
    using Args = std::tuple<std::remove_cv_t<A>...>;
};

using Handler = bool (*)(Ctx&, Call const&, std::string&);

// Mesa's own entry point.
template <auto F> bool Direct(Ctx& ctx, Call const& c, std::string& err)
{
    typename Signature<decltype(F)>::Args args;
    if (!ConvertAll(ctx, c, args, err, std::make_index_sequence<std::tuple_size_v<decltype(args)>>()))
        return false;
    std::apply(F, args);
    return true;
}

// The GL layer's front end.
template <auto M> bool Front(Ctx& ctx, Call const& c, std::string& err)
{
    typename Signature<decltype(M)>::Args args;
    if (!ConvertAll(ctx, c, args, err, std::make_index_sequence<std::tuple_size_v<decltype(args)>>()))
        return false;
    std::apply([&ctx](auto... a) { (ctx.gles->*M)(a...); }, args);
    return true;
}

// Straight to the back end, as the engine's drawing classes do for the calls
// the front end does not offer.
template <auto M> bool Back(Ctx& ctx, Call const& c, std::string& err)
{
    typename Signature<decltype(M)>::Args args;
    if (!ConvertAll(ctx, c, args, err, std::make_index_sequence<std::tuple_size_v<decltype(args)>>()))
        return false;
    std::apply([&ctx](auto... a) { (ctx.backend->*M)(a...); }, args);
    return true;
}

struct Entry {
    Handler es1, mesa;
};

#define FRONT(name) {#name, {&Front<&GLES::name>, &Direct<&::name>}}
#define BACK(name) {#name, {&Back<&vornGL::P3DBackend::name>, &Direct<&::name>}}

const std::unordered_map<std::string, Entry>& Table()
{
    static const std::unordered_map<std::string, Entry> table = {
        FRONT(glActiveTexture), FRONT(glBindTexture), FRONT(glBlendFunc), FRONT(glClear),
        FRONT(glClientActiveTexture), FRONT(glColor4f), FRONT(glColor4ub), FRONT(glColor4x),
        FRONT(glCompressedTexImage2D), FRONT(glDeleteTextures), FRONT(glDisable), FRONT(glDisableClientState),
        FRONT(glDrawArrays), FRONT(glDrawElements), FRONT(glEnable), FRONT(glEnableClientState),
        FRONT(glFrustumf), FRONT(glFrustumx), FRONT(glGenTextures), FRONT(glLightfv), FRONT(glLightxv),
        FRONT(glLoadIdentity), FRONT(glLoadMatrixf), FRONT(glLoadMatrixx), FRONT(glMatrixMode),
        FRONT(glMultMatrixf), FRONT(glMultMatrixx), FRONT(glOrthof), FRONT(glOrthox), FRONT(glPopMatrix),
        FRONT(glPushMatrix), FRONT(glRotatef), FRONT(glRotatex), FRONT(glScalef), FRONT(glScalex),
        FRONT(glScissor), FRONT(glTexEnvf), FRONT(glTexEnvfv), FRONT(glTexEnvi), FRONT(glTexEnviv),
        FRONT(glTexEnvx), FRONT(glTexEnvxv), FRONT(glTexImage2D), FRONT(glTexParameterf), FRONT(glTexParameterfv),
        FRONT(glTexParameteri), FRONT(glTexParameteriv), FRONT(glTexParameterx), FRONT(glTexParameterxv),
        FRONT(glTranslatef), FRONT(glTranslatex), FRONT(glViewport),
        BACK(glAlphaFunc), BACK(glAlphaFuncx), BACK(glClearColor), BACK(glClearColorx), BACK(glClearDepthf),
        BACK(glClearDepthx), BACK(glClearStencil), BACK(glColorMask), BACK(glColorPointer), BACK(glCullFace),
        BACK(glDepthFunc), BACK(glDepthMask), BACK(glDepthRangef), BACK(glDepthRangex), BACK(glFinish),
        BACK(glFlush), BACK(glFogf), BACK(glFogfv), BACK(glFogx), BACK(glFogxv), BACK(glFrontFace), BACK(glHint),
        BACK(glLightModelf), BACK(glLightModelfv), BACK(glLightModelx), BACK(glLightModelxv), BACK(glLightf),
        BACK(glLightx), BACK(glLineWidth), BACK(glLineWidthx), BACK(glLogicOp), BACK(glMaterialf),
        BACK(glMaterialfv), BACK(glMaterialx), BACK(glMaterialxv), BACK(glMultiTexCoord4f),
        BACK(glMultiTexCoord4x), BACK(glNormal3f), BACK(glNormal3x), BACK(glNormalPointer), BACK(glPixelStorei),
        BACK(glPointSize), BACK(glPointSizex), BACK(glPolygonOffset), BACK(glPolygonOffsetx),
        BACK(glSampleCoverage), BACK(glSampleCoveragex), BACK(glShadeModel), BACK(glStencilFunc),
        BACK(glStencilMask), BACK(glStencilOp), BACK(glTexCoordPointer), BACK(glTexSubImage2D),
        BACK(glVertexPointer),
    };
    return table;
}

#undef FRONT
#undef BACK

// ---------------------------------------------------------------------------
// Checks that keep every read of the trace's memory inside its arrays

bool Need(Ctx& ctx, Call const& c, size_t index, size_t bytes, std::string& err)
{
    if (index >= c.args.size())
        return true; // the argument count check reports it
    Arg const& a = c.args[index];
    if (a.kind == ArgKind::Null)
        return bytes == 0 ? true : (err = "null where memory is read", false);
    if (a.kind != ArgKind::Pointer)
        return true;
    if (ctx.Available(a) < bytes) {
        err = "array '" + ctx.trace->arrays[a.array].name + "' too short: " + std::to_string(bytes) +
              " bytes needed";
        return false;
    }
    return true;
}

int64_t IntArg(Ctx& ctx, Call const& c, size_t i)
{
    if (i >= c.args.size())
        return -1;
    Arg a = Resolve(ctx, c.args[i]);
    return a.kind == ArgKind::Int ? a.i : -1;
}

bool CheckArrayPointer(ClientArray& arr, Call const& c, int size, uint32_t type, int stride, int minSize,
                       int maxSize, bool colourTypes, std::string& err)
{
    if (size < minSize || size > maxSize || stride < 0 || stride > 1024)
        return err = "array size or stride out of range", false;
    bool ok = colourTypes ? (type == GL_UNSIGNED_BYTE || type == GL_FIXED || type == GL_FLOAT)
                          : (type == GL_BYTE || type == GL_SHORT || type == GL_FIXED || type == GL_FLOAT);
    if (!ok)
        return err = "array type not accepted", false;
    Arg const& p = c.args.back();
    if (p.kind != ArgKind::Pointer && p.kind != ArgKind::Null)
        return err = "array pointer must be @NAME or null", false;
    arr.size = size;
    arr.type = type;
    arr.stride = stride;
    arr.pointer = p;
    return true;
}

bool CoversVertices(Ctx& ctx, ClientArray const& arr, int64_t vertices, char const* what, std::string& err)
{
    if (!arr.enabled || vertices <= 0)
        return true;
    if (arr.pointer.kind != ArgKind::Pointer)
        return err = std::string(what) + " array enabled without memory", false;
    int64_t elem = int64_t(arr.size) * vornGL::GLTypeBytes(arr.type);
    int64_t stride = arr.stride ? arr.stride : elem;
    int64_t need = (vertices - 1) * stride + elem;
    if (int64_t(ctx.Available(arr.pointer)) < need)
        return err = std::string(what) + " array too short for the draw", false;
    return true;
}

// Checks a call's memory use before it is made and follows the client-array
// state; false with a message when the call would read outside the trace.
bool Check(Ctx& ctx, Call const& c, std::string& err)
{
    std::string const& n = c.name;
    bool hasPointer = false;
    for (auto const& a : c.args)
        hasPointer |= a.kind == ArgKind::Pointer;

    if (n == "glLoadMatrixx" || n == "glLoadMatrixf" || n == "glMultMatrixx" || n == "glMultMatrixf")
        return Need(ctx, c, 0, 64, err);
    if (n == "glFogxv" || n == "glFogfv" || n == "glLightModelxv" || n == "glLightModelfv")
        return Need(ctx, c, 1, 16, err);
    if (n == "glLightxv" || n == "glLightfv" || n == "glMaterialxv" || n == "glMaterialfv" || n == "glTexEnvxv" ||
        n == "glTexEnvfv" || n == "glTexEnviv" || n == "glTexParameterxv" || n == "glTexParameterfv" ||
        n == "glTexParameteriv")
        return Need(ctx, c, 2, 16, err);
    if (n == "glGenTextures" || n == "glDeleteTextures") {
        int64_t count = IntArg(ctx, c, 0);
        if (count < 0 || count > 4096)
            return err = "texture count out of range", false;
        return Need(ctx, c, 1, size_t(count) * 4, err);
    }
    if (n == "glPixelStorei") {
        if (IntArg(ctx, c, 0) == GL_UNPACK_ALIGNMENT) {
            int64_t v = IntArg(ctx, c, 1);
            if (v == 1 || v == 2 || v == 4 || v == 8)
                ctx.unpackAlignment = int(v);
        }
        return true;
    }
    if (n == "glTexImage2D" || n == "glTexSubImage2D") {
        bool sub = n == "glTexSubImage2D";
        int64_t w = IntArg(ctx, c, sub ? 4 : 3), h = IntArg(ctx, c, sub ? 5 : 4);
        uint32_t format = uint32_t(IntArg(ctx, c, 6)), type = uint32_t(IntArg(ctx, c, 7));
        if (w < 0 || h < 0 || w > 8192 || h > 8192)
            return err = "texture size out of range", false;
        if (c.args.size() < 9 || c.args[8].kind == ArgKind::Null)
            return true;
        int bpp = vornGL::GLBytesPerPixel(format, type);
        if (bpp == 0)
            return err = "texture format and type not accepted", false;
        int64_t row = w * bpp;
        int64_t stride = (row + ctx.unpackAlignment - 1) / ctx.unpackAlignment * ctx.unpackAlignment;
        return Need(ctx, c, 8, h == 0 ? 0 : size_t(stride * (h - 1) + row), err);
    }
    if (n == "glCompressedTexImage2D") {
        int64_t size = IntArg(ctx, c, 6);
        if (size < 0)
            return err = "negative image size", false;
        return Need(ctx, c, 7, size_t(size), err);
    }
    if (n == "glVertexPointer" && c.args.size() == 4)
        return CheckArrayPointer(ctx.vertex, c, int(IntArg(ctx, c, 0)), uint32_t(IntArg(ctx, c, 1)), int(IntArg(ctx, c, 2)), 2, 4,
                                 false, err);
    if (n == "glColorPointer" && c.args.size() == 4)
        return CheckArrayPointer(ctx.colour, c, int(IntArg(ctx, c, 0)), uint32_t(IntArg(ctx, c, 1)), int(IntArg(ctx, c, 2)), 4, 4,
                                 true, err);
    if (n == "glTexCoordPointer" && c.args.size() == 4)
        return CheckArrayPointer(ctx.texcoord[ctx.clientUnit], c, int(IntArg(ctx, c, 0)), uint32_t(IntArg(ctx, c, 1)),
                                 int(IntArg(ctx, c, 2)), 2, 4, false, err);
    if (n == "glNormalPointer" && c.args.size() == 3)
        return CheckArrayPointer(ctx.normal, c, 3, uint32_t(IntArg(ctx, c, 0)), int(IntArg(ctx, c, 1)), 3, 3, false, err);
    if (n == "glEnableClientState" || n == "glDisableClientState") {
        bool on = n == "glEnableClientState";
        switch (IntArg(ctx, c, 0)) {
        case GL_VERTEX_ARRAY: ctx.vertex.enabled = on; break;
        case GL_NORMAL_ARRAY: ctx.normal.enabled = on; break;
        case GL_COLOR_ARRAY: ctx.colour.enabled = on; break;
        case GL_TEXTURE_COORD_ARRAY: ctx.texcoord[ctx.clientUnit].enabled = on; break;
        default: break;
        }
        return true;
    }
    if (n == "glClientActiveTexture") {
        int64_t unit = IntArg(ctx, c, 0) - GL_TEXTURE0;
        if (unit >= 0 && unit < 8)
            ctx.clientUnit = int(unit);
        return true;
    }
    if (n == "glDrawArrays" || n == "glDrawElements") {
        int64_t vertices = 0;
        if (n == "glDrawArrays") {
            int64_t first = IntArg(ctx, c, 1), count = IntArg(ctx, c, 2);
            if (first < 0 || count < 0 || first + count > (1 << 24))
                return err = "draw range out of bounds", false;
            vertices = count ? first + count : 0;
        } else {
            int64_t count = IntArg(ctx, c, 1);
            uint32_t type = uint32_t(IntArg(ctx, c, 2));
            int size = type == GL_UNSIGNED_BYTE ? 1 : type == GL_UNSIGNED_SHORT ? 2 : 0;
            if (count < 0 || count > (1 << 24) || size == 0)
                return err = "index count or type out of range", false;
            if (c.args.size() != 4 || c.args[3].kind != ArgKind::Pointer)
                return err = "indices must be @NAME", false;
            if (!Need(ctx, c, 3, size_t(count * size), err))
                return false;
            uint8_t const* idx = ctx.Address(c.args[3]);
            for (int64_t k = 0; k < count; ++k) {
                int64_t v = size == 1 ? idx[k] : int64_t(idx[2 * k] | idx[2 * k + 1] << 8);
                vertices = std::max(vertices, v + 1);
            }
        }
        if (!CoversVertices(ctx, ctx.vertex, vertices, "vertex", err) ||
            !CoversVertices(ctx, ctx.normal, vertices, "normal", err) ||
            !CoversVertices(ctx, ctx.colour, vertices, "colour", err))
            return false;
        for (auto const& t : ctx.texcoord)
            if (!CoversVertices(ctx, t, vertices, "texture-coordinate", err))
                return false;
        return true;
    }
    if (hasPointer)
        return err = "pointer arguments are not accepted by " + n, false;
    return true;
}

// Puts the client state the checks above follow back to where a context
// starts: every client array off, texture unit 0 the client unit, rows
// unpacked at 4-byte alignment. A repetition begins with fresh copies of the
// trace's arrays, so a pointer set by the one before points at freed memory;
// with the arrays off, as the checks believe them at a repetition's start, no
// draw reads through such a pointer before the trace sets it anew, and no
// upload reads rows farther apart than the checks allowed for.
void ResetClientState(Ctx& ctx, bool mesa)
{
    int32_t units = 1;
    if (mesa)
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    else
        ctx.gles->glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    units = std::clamp(units, 1, 8);
    for (int u = units - 1; u >= 0; --u) {
        if (mesa) {
            glClientActiveTexture(GL_TEXTURE0 + u);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        } else {
            ctx.gles->glClientActiveTexture(GL_TEXTURE0 + u);
            ctx.gles->glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
    }
    for (uint32_t array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY}) {
        if (mesa)
            glDisableClientState(array);
        else
            ctx.gles->glDisableClientState(array);
    }
    if (mesa)
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    else
        ctx.backend->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

// The display of the software back end: an RGB565 back buffer in memory.
class MemoryDisplay : public PDisplay {
public:
    explicit MemoryDisplay(int w, int h) : m_pixels(size_t(w) * h)
    {
        m_buffer.pixels = m_pixels.data();
        m_buffer.width = w;
        m_buffer.height = h;
        m_buffer.pitch = w * 2;
    }
    PBackBuffer* GetBackBuffer(PBackBufferType type) override { return type == PBACKBUFFER_COLOR ? &m_buffer : nullptr; }
    void Update(int) override {}
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& props) override
    {
        props = PDisplayProperties{};
        props.width = props.screenWidth = m_buffer.width;
        props.height = props.screenHeight = m_buffer.height;
        props.bitsPerPixel = 16;
    }

private:
    std::vector<uint16_t> m_pixels;
    PBackBuffer m_buffer{};
};

// Reads the physical surface (Mesa's, or the software back end's when sw is
// given) and turns it upright.
void ReadFrame(int physW, int physH, int W, int H, int orientation, Image& out, vornGL::P3DBackend* sw)
{
    std::vector<uint8_t> phys(size_t(physW) * physH * 4);
    if (sw) {
        sw->glPixelStorei(GL_PACK_ALIGNMENT, 4);
        sw->glReadPixels(0, 0, physW, physH, GL_RGBA, GL_UNSIGNED_BYTE, phys.data());
    } else {
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, physW, physH, GL_RGBA, GL_UNSIGNED_BYTE, phys.data());
    }
    out.width = W;
    out.height = H;
    out.rgba.assign(size_t(W) * H * 4, 0);
    // Logical pixel (x, y), GL bottom-up coordinates, from the physical one.
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int px = x, py = y;
            if (orientation == 2) {
                px = y;
                py = W - 1 - x;
            } else if (orientation == 8) {
                px = H - 1 - y;
                py = x;
            }
            std::memcpy(&out.rgba[(size_t(H - 1 - y) * W + x) * 4], &phys[(size_t(py) * physW + px) * 4], 4);
        }
}

} // namespace

bool ParseBackend(std::string const& name, Backend& out)
{
    if (name == "es1")
        out = Backend::ES1;
    else if (name == "es2")
        out = Backend::ES2;
    else if (name == "mesa")
        out = Backend::Mesa;
    else if (name == "sw")
        out = Backend::SW;
    else
        return false;
    return true;
}

bool Replay(Trace const& trace, ReplayOptions const& opt, ReplayResult& result, std::string& error)
{
    result = ReplayResult();
    if (opt.width <= 0 || opt.height <= 0 || opt.width > 8192 || opt.height > 8192) {
        error = "size out of range";
        return false;
    }
    int orientation = opt.backend == Backend::Mesa ? 1 : opt.orientation;
    bool turned = orientation == 2 || orientation == 8;
    int physW = turned ? opt.height : opt.width, physH = turned ? opt.width : opt.height;

    bool sw = opt.backend == Backend::SW;
    EglPbuffer surface;
    char const* why = nullptr;
    if (!sw && !surface.Create(physW, physH, &why, opt.rgb565, opt.backend == Backend::ES2 ? 2 : 1)) {
        error = why ? why : "EGL failed";
        return false;
    }

    Ctx ctx;
    ctx.trace = &trace;
    PDisplayProperties info{};
    info.width = opt.width;
    info.height = opt.height;
    info.screenWidth = physW;
    info.screenHeight = physH;
    if (opt.fbo) {
        info.fbWidth = physW;
        info.fbHeight = physH;
    }
    // The software back end's display is declared first, so that it outlives
    // the back end on every way out.
    std::unique_ptr<MemoryDisplay> memory;
    std::unique_ptr<GLES> gles;
    if (opt.backend == Backend::ES1 || opt.backend == Backend::ES2) {
        gles = std::make_unique<GLES>();
        vornGL::P3DBackend* backend = nullptr;
        if (opt.backend == Backend::ES2)
            backend = new vornGL::P3DBackendES20(&info, gles->GetStateMan());
        else
            backend = vornGL::MakeES11Backend(&info);
        if (!backend) {
            error = "out of memory";
            return false;
        }
        backend->vornGLSetOrientation(orientation);
        gles->Init(backend, nullptr);
        if (opt.fbo && gles->GetDefaultFramebuffer() == 0) {
            error = "the GL layer could not make its default framebuffer";
            return false;
        }
        ctx.gles = gles.get();
        ctx.backend = backend;
    }
    if (sw) {
        memory = std::make_unique<MemoryDisplay>(physW, physH);
        gles = std::make_unique<GLES>();
        auto* backend = vornGL::P3DBackendSW::Create(&info, gles->GetStateMan(), memory.get(), orientation);
        if (!backend) {
            error = "the software back end could not be made";
            return false;
        }
        backend->SetDrawThreads(vornGL::DrawThreadsWanted());
        gles->Init(backend, nullptr); // no default framebuffer in software
        ctx.gles = gles.get();
        ctx.backend = backend;
    }

    auto const& table = Table();
    auto present = [&]() {
        if (ctx.gles && opt.fbo)
            ctx.gles->vornGLPresentFramebuffer();
        if (!sw)
            surface.Swap();
        else
            ctx.backend->glFinish(); // the software back end finishes its kept draws
        if (ctx.gles)
            vornGL::vornGLProfilerPresent();
        if (ctx.gles && opt.fbo)
            ctx.backend->glBindFramebuffer(GL_FRAMEBUFFER_OES, ctx.gles->GetDefaultFramebuffer());
        ++result.frames;
    };

    auto start = std::chrono::steady_clock::now();
    for (int rep = 0; rep < std::max(1, opt.repeat); ++rep) {
        ctx.memory.clear();
        for (auto const& a : trace.arrays)
            ctx.memory.push_back(a.bytes);
        ctx.vertex = ctx.normal = ctx.colour = ClientArray();
        for (auto& t : ctx.texcoord)
            t = ClientArray();
        ctx.clientUnit = 0;
        ctx.unpackAlignment = 4;
        if (rep > 0)
            ResetClientState(ctx, opt.backend == Backend::Mesa);
        bool endedWithFrame = false;
        for (Call const& c : trace.calls) {
            if (c.name == "frame") {
                present();
                endedWithFrame = true;
                continue;
            }
            endedWithFrame = false;
            auto it = table.find(c.name);
            if (it == table.end()) {
                error = "line " + std::to_string(c.line) + ": " + c.name + " is not supported";
                return false;
            }
            std::string why2;
            if (!Check(ctx, c, why2)) {
                error = "line " + std::to_string(c.line) + ": " + c.name + ": " + why2;
                return false;
            }
            Handler h = opt.backend == Backend::Mesa ? it->second.mesa : it->second.es1;
            if (!h(ctx, c, why2)) {
                error = "line " + std::to_string(c.line) + ": " + why2;
                return false;
            }
            if (opt.checkErrors && rep == 0) {
                uint32_t e = ctx.gles ? ctx.gles->glGetError() : glGetError();
                if (e)
                    result.errors.emplace_back(c.line, e);
            }
        }
        if (!endedWithFrame)
            present();
    }
    if (!sw)
        glFinish();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (ctx.gles && opt.fbo)
        ctx.backend->glBindFramebuffer(GL_FRAMEBUFFER_OES, 0);
    ReadFrame(physW, physH, opt.width, opt.height, orientation, result.frame, sw ? ctx.backend : nullptr);
    gles.reset(); // while the context is current: its textures go with it
    return true;
}

} // namespace glreplay
