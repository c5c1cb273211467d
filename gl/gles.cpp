// The GL ES 1.x front end: caching, conversion of float arguments, and the
// orientation turn of viewport and scissor.
#include "gl/gles.h"

#include "engine/platform/pdisplay.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cmath>

using namespace vornGL;

namespace vornGL {

i32 FloatToFixed(f32 v)
{
    f32 p = v * 65536.0f;
    if (std::isnan(p))
        return 0;
    if (p >= 2147483648.0f)
        return INT32_MAX;
    if (p <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<i32>(p);
}

i32 FloatToInt(f32 v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483648.0f)
        return INT32_MAX;
    if (v <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<i32>(v);
}

} // namespace vornGL

namespace {

void ToFixed16(float const* m, i32* out)
{
    for (int i = 0; i < 16; ++i)
        out[i] = FloatToFixed(m[i]);
}

} // namespace

GLES::GLES() : m_defaultFramebuffer(0), m_colourTexture(0), m_backend(nullptr), m_renderbuffer(0), m_display(nullptr)
{
}

GLES::~GLES()
{
    m_state.vornClearTextures();
    if (m_display) {
        // The display must not present through an object that is gone.
        m_display->SetUpdateCallback(nullptr);
        m_display->SetGLES(nullptr);
    }
    m_state.SetBackend(nullptr);
    delete m_backend;
}

int GLES::Init(P3DBackend* backend, PDisplay* display)
{
    if (!backend)
        return 0;
    m_backend = backend;
    InitVornGLFuncPtrs(backend->vornGLGetAPI());
    m_state.SetBackend(backend);
    InitExtensions(backend->vornGLGetAPI(), reinterpret_cast<char const*>(backend->glGetString(GL_EXTENSIONS)));
    InitVendor();
    if (!SetupDefaultFramebuffer())
        return 0;
    if (display) {
        m_display = display;
        display->SetGLES(this);
        display->SetUpdateCallback(display_update_cb);
    }
    return 1;
}

int display_update_cb(void* gles)
{
    if (!gles)
        return 0;
    return static_cast<GLES*>(gles)->vornGLPresentFramebuffer();
}

void GLES::SetOrientation(int code) { m_backend->vornGLSetOrientation(code); }
void GLES::vornGLSetFlags(int flags) { m_backend->vornGLSetFlags(flags); }
uint8_t GLES::vornGLHaveExtension(VornGLExtension e) { return HaveExtension(e); }

// ---------------------------------------------------------------------------
// Enables, clear and draw

void GLES::glEnable(uint32_t cap) { m_state.EnableDisableCap(cap, 1); }
void GLES::glDisable(uint32_t cap) { m_state.EnableDisableCap(cap, 0); }
void GLES::glEnableClientState(uint32_t array) { m_state.EnableDisableCap(array, 1); }
void GLES::glDisableClientState(uint32_t array) { m_state.EnableDisableCap(array, 0); }
void GLES::vornGLStateUpdate(uint32_t value, uint32_t mask) { m_state.StateUpdate(value, mask); }

void GLES::glClear(uint32_t mask)
{
    m_state.ApplyEnableDisable();
    m_backend->glClear(mask);
}

void GLES::glDrawArrays(uint32_t mode, int32_t first, int32_t count)
{
    m_state.ApplyEnableDisable();
    m_state.ApplyTextures();
    m_state.ApplyMatrices();
    m_backend->glDrawArrays(mode, first, count);
    vornGLProfilerIncDrawCall();
}

void GLES::glDrawElements(uint32_t mode, int32_t count, uint32_t type, void const* indices)
{
    m_state.ApplyEnableDisable();
    m_state.ApplyTextures();
    m_state.ApplyMatrices();
    m_backend->glDrawElements(mode, count, type, indices);
    vornGLProfilerIncDrawCall();
}

// ---------------------------------------------------------------------------
// Matrices

void GLES::glMatrixMode(uint32_t mode) { m_state.glMatrixMode(mode); }
void GLES::glLoadIdentity() { m_state.glLoadIdentity(); }
void GLES::glLoadMatrixx(int32_t const* m) { m_state.glLoadMatrixx(m); }
void GLES::glMultMatrixx(int32_t const* m) { m_state.glMultMatrixx(m); }
void GLES::glPushMatrix() { m_state.glPushMatrix(); }
void GLES::glPopMatrix() { m_state.glPopMatrix(); }
void GLES::glTranslatex(int32_t x, int32_t y, int32_t z) { m_state.glTranslatex(x, y, z); }
void GLES::glScalex(int32_t x, int32_t y, int32_t z) { m_state.glScalex(x, y, z); }
void GLES::glRotatex(int32_t a, int32_t x, int32_t y, int32_t z) { m_state.glRotatex(a, x, y, z); }
void GLES::glOrthox(int32_t l, int32_t r, int32_t b, int32_t t, int32_t n, int32_t f)
{
    m_state.glOrthox(l, r, b, t, n, f);
}
void GLES::glFrustumx(int32_t l, int32_t r, int32_t b, int32_t t, int32_t n, int32_t f)
{
    m_state.glFrustumx(l, r, b, t, n, f);
}
void GLES::vornGLPushMatricesSetIdentity() { m_state.glPushMatricesSetIdentity(); }
void GLES::vornGLPopMatrices() { m_state.glPopMatrices(); }
void GLES::glGetFixedp(uint32_t pname, int32_t** out) { m_state.glGetFixedp(pname, out); }

void GLES::glLoadMatrixf(float const* m)
{
    if (!m)
        return;
    i32 x[16];
    ToFixed16(m, x);
    m_state.glLoadMatrixx(x);
}

void GLES::glMultMatrixf(float const* m)
{
    if (!m)
        return;
    i32 x[16];
    ToFixed16(m, x);
    m_state.glMultMatrixx(x);
}

void GLES::glTranslatef(float x, float y, float z)
{
    m_state.glTranslatex(FloatToFixed(x), FloatToFixed(y), FloatToFixed(z));
}

void GLES::glScalef(float x, float y, float z) { m_state.glScalex(FloatToFixed(x), FloatToFixed(y), FloatToFixed(z)); }

void GLES::glRotatef(float a, float x, float y, float z)
{
    m_state.glRotatex(FloatToFixed(a), FloatToFixed(x), FloatToFixed(y), FloatToFixed(z));
}

void GLES::glOrthof(float l, float r, float b, float t, float n, float f)
{
    m_state.glOrthox(FloatToFixed(l), FloatToFixed(r), FloatToFixed(b), FloatToFixed(t), FloatToFixed(n),
                     FloatToFixed(f));
}

void GLES::glFrustumf(float l, float r, float b, float t, float n, float f)
{
    m_state.glFrustumx(FloatToFixed(l), FloatToFixed(r), FloatToFixed(b), FloatToFixed(t), FloatToFixed(n),
                       FloatToFixed(f));
}

// ---------------------------------------------------------------------------
// Recorded, then forwarded

void GLES::glBlendFunc(uint32_t s, uint32_t d)
{
    m_state.glBlendFunc(s, d);
    m_backend->glBlendFunc(s, d);
}

void GLES::glColor4ub(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    m_state.glColor4ub(r, g, b, a);
    m_backend->glColor4ub(r, g, b, a);
}

void GLES::glColor4x(int32_t r, int32_t g, int32_t b, int32_t a)
{
    m_state.glColor4x(r, g, b, a);
    m_backend->glColor4x(r, g, b, a);
}

void GLES::glColor4f(float r, float g, float b, float a)
{
    m_state.glColor4x(FloatToFixed(r), FloatToFixed(g), FloatToFixed(b), FloatToFixed(a));
    m_backend->glColor4f(r, g, b, a);
}

void GLES::glTexEnvx(uint32_t target, uint32_t pname, int32_t param)
{
    m_state.glTexEnvGeneric(target, pname, param);
    m_backend->glTexEnvx(target, pname, param);
}

void GLES::glTexEnvi(uint32_t target, uint32_t pname, int32_t param)
{
    m_state.glTexEnvGeneric(target, pname, param);
    m_backend->glTexEnvi(target, pname, param);
}

void GLES::glTexEnvxv(uint32_t target, uint32_t pname, int32_t const* params)
{
    if (params)
        m_state.glTexEnvGeneric(target, pname, params[0]);
    m_backend->glTexEnvxv(target, pname, params);
}

void GLES::glTexEnviv(uint32_t target, uint32_t pname, int32_t const* params)
{
    if (params)
        m_state.glTexEnvGeneric(target, pname, params[0]);
    m_backend->glTexEnviv(target, pname, params);
}

void GLES::glTexEnvf(uint32_t target, uint32_t pname, float param)
{
    m_state.glTexEnvGeneric(target, pname, FloatToInt(param));
    m_backend->glTexEnvf(target, pname, param);
}

void GLES::glTexEnvfv(uint32_t target, uint32_t pname, float const* params)
{
    if (params)
        m_state.glTexEnvGeneric(target, pname, FloatToInt(params[0]));
    m_backend->glTexEnvfv(target, pname, params);
}

void GLES::glTexParameterx(uint32_t target, uint32_t pname, int32_t param)
{
    m_state.vornTexBackup_glTexParameter(target, pname, param);
    m_backend->glTexParameterx(target, pname, param);
}

void GLES::glTexParameteri(uint32_t target, uint32_t pname, int32_t param)
{
    m_state.vornTexBackup_glTexParameter(target, pname, param);
    m_backend->glTexParameteri(target, pname, param);
}

void GLES::glTexParameterxv(uint32_t target, uint32_t pname, int32_t const* params)
{
    if (params)
        m_state.vornTexBackup_glTexParameter(target, pname, params[0]);
    m_backend->glTexParameterxv(target, pname, params);
}

void GLES::glTexParameteriv(uint32_t target, uint32_t pname, int32_t const* params)
{
    if (params)
        m_state.vornTexBackup_glTexParameter(target, pname, params[0]);
    m_backend->glTexParameteriv(target, pname, params);
}

void GLES::glTexParameterf(uint32_t target, uint32_t pname, float param)
{
    m_state.vornTexBackup_glTexParameter(target, pname, FloatToInt(param));
    m_backend->glTexParameterf(target, pname, param);
}

void GLES::glTexParameterfv(uint32_t target, uint32_t pname, float const* params)
{
    if (params)
        m_state.vornTexBackup_glTexParameter(target, pname, FloatToInt(params[0]));
    m_backend->glTexParameterfv(target, pname, params);
}

void GLES::glActiveTexture(uint32_t unit)
{
    m_state.glActiveTexture(unit);
    m_backend->glActiveTexture(unit);
}

void GLES::glClientActiveTexture(uint32_t unit)
{
    m_state.glClientActiveTexture(unit);
    m_backend->glClientActiveTexture(unit);
}

// ---------------------------------------------------------------------------
// Textures

void GLES::glGenTextures(int32_t n, uint32_t* names) { m_state.glGenTextures(n, names); }
void GLES::glBindTexture(uint32_t target, uint32_t name) { m_state.glBindTexture(target, name); }
void GLES::glDeleteTextures(int32_t n, uint32_t const* names) { m_state.glDeleteTextures(n, names); }

void GLES::glTexImage2D(uint32_t target, int32_t level, int32_t internalformat, int32_t width, int32_t height,
                        int32_t border, uint32_t format, uint32_t type, void const* pixels)
{
    m_state.glTexImage2D(target, level, internalformat, width, height, border, format, type, pixels);
}

void GLES::glCompressedTexImage2D(uint32_t target, int32_t level, uint32_t internalformat, int32_t width,
                                  int32_t height, int32_t border, int32_t imageSize, void const* data)
{
    m_state.glCompressedTexImage2D(target, level, internalformat, width, height, border, imageSize, data);
}

// ---------------------------------------------------------------------------
// State save, queries, errors

void GLES::vornGLPushState() { m_state.PushStates(); }
void GLES::vornGLPopState() { m_state.PopStates(); }

void GLES::glGetIntegerv(uint32_t pname, int32_t* out)
{
    if (P3DStateMan::IsMatrixQuery(pname))
        m_state.glGetIntegerv(pname, out);
    else
        m_backend->glGetIntegerv(pname, out);
}

void GLES::glGetFixedv(uint32_t pname, int32_t* out)
{
    if (P3DStateMan::IsMatrixQuery(pname))
        m_state.glGetFixedv(pname, out);
    else
        m_backend->glGetFixedv(pname, out);
}

void GLES::glGetBooleanv(uint32_t pname, uint8_t* out)
{
    if (P3DStateMan::IsMatrixQuery(pname))
        m_state.glGetBooleanv(pname, out);
    else
        m_backend->glGetBooleanv(pname, out);
}

void GLES::glGetFloatv(uint32_t pname, float* out)
{
    if (P3DStateMan::IsMatrixQuery(pname))
        m_state.glGetFloatv(pname, out);
    else
        m_backend->glGetFloatv(pname, out);
}

uint32_t GLES::glGetError() { return m_state.glGetError(); }

// ---------------------------------------------------------------------------
// Viewport, scissor, lights, framebuffer

namespace {

void DisplaySize(P3DBackend* b, int32_t& w, int32_t& h)
{
    PDisplayProperties const* info = b->vornGLGetDispInfo();
    w = info ? info->width : 0;
    h = info ? info->height : 0;
}

} // namespace

void GLES::glViewport(int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (w < 0 || h < 0)
        return;
    int32_t W, H;
    DisplaySize(m_backend, W, H);
    // The stored rectangle: clipped to the display, top-left origin. Sums are
    // formed in 64 bits so that extreme arguments cannot wrap.
    int64_t cx, cw;
    if (x < 0) {
        cx = 0;
        cw = int64_t(w) + x;
        if (cw < 0)
            cw = 0;
    } else if (x > W) {
        cx = W;
        cw = 0;
    } else {
        cx = x;
        cw = w;
    }
    if (cx + cw > W)
        cw = W - cx;
    int64_t y0 = int64_t(H) - y - h, cy, ch;
    if (y0 < 0) {
        cy = 0;
        ch = h + y0;
        if (ch < 0)
            ch = 0;
    } else if (y0 > H) {
        cy = H;
        ch = 0;
    } else {
        cy = y0;
        ch = h;
    }
    if (cy + ch > H)
        ch = H - cy;
    if (cw < 0)
        cw = 0;
    if (ch < 0)
        ch = 0;

    switch (m_backend->vornGLGetOrientation()) {
    case 2:
        m_backend->glViewport(y, W - x - w, h, w);
        break;
    case 8:
        m_backend->glViewport(H - y - h, x, h, w);
        break;
    default:
        m_backend->glViewport(x, y, w, h);
        break;
    }
    m_state.SetViewport(PRect{static_cast<int32_t>(cx), static_cast<int32_t>(cy), static_cast<int32_t>(cw),
                              static_cast<int32_t>(ch)});
}

void GLES::glScissor(int32_t x, int32_t y, int32_t w, int32_t h)
{
    int32_t W, H;
    DisplaySize(m_backend, W, H);
    switch (m_backend->vornGLGetOrientation()) {
    case 2:
        m_backend->glScissor(y, W - x - w, h, w);
        break;
    case 8:
        m_backend->glScissor(H - y - h, x, h, w);
        break;
    default:
        m_backend->glScissor(x, y, w, h);
        break;
    }
}

// A light position is taken through the modelview matrix current at the call,
// so the back end must hold the cached one first.
static void SendModelviewForLight(P3DStateMan& state, P3DBackend* b)
{
    P3DMatrixEntry& mv = state.Top(kStackModelview);
    if (!(mv.flags() & kMatDirty) || b->vornGLGetAPI() != kAPIES11)
        return;
    b->glMatrixMode(GL_MODELVIEW);
    b->glLoadMatrixx(mv.w); // stays dirty: the next draw loads it again
    u32 mode = state.MatrixModeEnum();
    if (mode != GL_MODELVIEW)
        b->glMatrixMode(mode);
}

void GLES::glLightxv(uint32_t light, uint32_t pname, int32_t const* params)
{
    if (pname == GL_POSITION)
        SendModelviewForLight(m_state, m_backend);
    m_backend->glLightxv(light, pname, params);
}

void GLES::glLightfv(uint32_t light, uint32_t pname, float const* params)
{
    if (pname == GL_POSITION)
        SendModelviewForLight(m_state, m_backend);
    m_backend->glLightfv(light, pname, params);
}

void GLES::glBindFramebuffer(uint32_t target, uint32_t name)
{
    if (name == 0)
        name = m_defaultFramebuffer;
    m_backend->glBindFramebuffer(target, name);
}
