#include "tools/glreplay/eglpbuffer.h"

#include <EGL/egl.h>

namespace glreplay {

EglPbuffer::~EglPbuffer() { Destroy(); }

bool EglPbuffer::Create(int width, int height, char const** error, bool rgb565, int version)
{
    auto fail = [this, error](char const* what) {
        if (error)
            *error = what;
        Destroy();
        return false;
    };
    Destroy();
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192)
        return fail("pbuffer size out of range");
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr))
        return fail("no EGL display");
    m_display = display;
    if (!eglBindAPI(EGL_OPENGL_ES_API))
        return fail("eglBindAPI failed");
    int const R = rgb565 ? 5 : 8, G = rgb565 ? 6 : 8, B = rgb565 ? 5 : 8;
    EGLint const renderable = version >= 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT;
    EGLint const attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, renderable,
                              EGL_RED_SIZE, R, EGL_GREEN_SIZE, G, EGL_BLUE_SIZE, B, EGL_DEPTH_SIZE,
                              rgb565 ? 16 : 24, EGL_STENCIL_SIZE, rgb565 ? 0 : 8, EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, attribs, configs, 64, &count) || count == 0)
        return fail("no matching EGL config");
    // The first config with exactly the channel sizes and no alpha: read-back
    // alpha is then always opaque, whichever path drew the frame. A 565
    // surface takes exactly a 16-bit depth buffer.
    EGLConfig chosen = configs[0];
    for (EGLint i = 0; i < count; ++i) {
        EGLint r = 0, g = 0, b = 0, a = 0, d = 0;
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &b);
        eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &a);
        eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &d);
        if (r == R && g == G && b == B && a == 0 && (!rgb565 || d == 16)) {
            chosen = configs[i];
            break;
        }
    }
    EGLint const size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    m_surface = eglCreatePbufferSurface(display, chosen, size);
    if (m_surface == EGL_NO_SURFACE)
        return fail("eglCreatePbufferSurface failed");
    EGLint const client[] = {EGL_CONTEXT_CLIENT_VERSION, version >= 2 ? 2 : 1, EGL_NONE};
    m_context = eglCreateContext(display, chosen, EGL_NO_CONTEXT, client);
    if (m_context == EGL_NO_CONTEXT)
        return fail("eglCreateContext failed");
    if (!eglMakeCurrent(display, m_surface, m_surface, m_context))
        return fail("eglMakeCurrent failed");
    m_width = width;
    m_height = height;
    return true;
}

void EglPbuffer::Swap()
{
    if (m_display && m_surface)
        eglSwapBuffers(m_display, m_surface);
}

void EglPbuffer::Destroy()
{
    if (!m_display)
        return;
    eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (m_context)
        eglDestroyContext(m_display, m_context);
    if (m_surface)
        eglDestroySurface(m_display, m_surface);
    // The display stays initialized: other contexts of the process may use it.
    m_display = m_surface = m_context = nullptr;
    m_width = m_height = 0;
}

} // namespace glreplay
