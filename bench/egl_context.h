// A current OpenGL ES context (1.1, or 2.0 with version 2) on a Mesa pbuffer
// of width x height with at least `depth` depth bits; ok tells whether EGL
// gave one. The GL benchmarks draw on it.
#pragma once
#include <EGL/egl.h>

namespace benchegl {

struct Context {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    bool ok = false;

    explicit Context(int version = 1, int width = 64, int height = 64, int depth = 16)
    {
        display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_ES_API))
            return;
        EGLint const attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                  version == 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT, EGL_RED_SIZE, 8,
                                  EGL_DEPTH_SIZE, depth, EGL_NONE};
        EGLConfig config;
        EGLint n = 0;
        if (!eglChooseConfig(display, attribs, &config, 1, &n) || n < 1)
            return;
        EGLint const size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        EGLint const client[] = {EGL_CONTEXT_CLIENT_VERSION, version, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, size);
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, client);
        ok = surface != EGL_NO_SURFACE && context != EGL_NO_CONTEXT &&
             eglMakeCurrent(display, surface, surface, context);
    }
    ~Context()
    {
        if (display == EGL_NO_DISPLAY)
            return;
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context != EGL_NO_CONTEXT)
            eglDestroyContext(display, context);
        if (surface != EGL_NO_SURFACE)
            eglDestroySurface(display, surface);
    }
    Context(Context const&) = delete;
    Context& operator=(Context const&) = delete;
};

} // namespace benchegl
