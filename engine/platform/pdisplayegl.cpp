#include "engine/platform/pdisplayegl.h"

#include <cstdint>
#include <cstring>

#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "gl/glhooks.h"
#include "host/hostwindow.h"

namespace {

EGLDisplay Dpy(void* p) { return static_cast<EGLDisplay>(p); }

void LogEglError(char const* what)
{
    _PDebug("PDisplayEGL: %s failed (EGL error 0x%x)\n", what, unsigned(eglGetError()));
}

int ConfigAttrib(EGLDisplay dpy, EGLConfig config, EGLint attrib)
{
    EGLint v = 0;
    if (!dpy || !config || !eglGetConfigAttrib(dpy, config, attrib, &v))
        return 0;
    return v;
}

} // namespace

PDisplayEGL::PDisplayEGL()
{
    m_attribs[0] = EGL_NONE;
}

PDisplayEGL::~PDisplayEGL()
{
    CloseEGL();
    vornGL::ReleaseVornEGLLibrary();
    vornGL::ReleaseVornGLLibrary();
}

void PDisplayEGL::SetPbufferSize(int width, int height)
{
    m_pbufferWidth = width > 0 ? width : 1;
    m_pbufferHeight = height > 0 ? height : 1;
}

void PDisplayEGL::CloseEGL()
{
    EGLDisplay dpy = Dpy(m_eglDisplay);
    if (dpy) {
        if (m_current)
            eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (m_eglSurface)
            eglDestroySurface(dpy, static_cast<EGLSurface>(m_eglSurface));
        if (m_eglContext)
            eglDestroyContext(dpy, static_cast<EGLContext>(m_eglContext));
        eglTerminate(dpy);
        eglReleaseThread();
    }
    m_eglDisplay = nullptr;
    m_eglSurface = nullptr;
    m_eglContext = nullptr;
    m_eglConfig = nullptr;
    m_current = 0;
}

int PDisplayEGL::Init(void* window, int depth, PDisplayProperties* request, PDisplayProperties3D* request3D)
{
    if (request3D)
        m_request3D = *request3D;
    else
        std::memset(&m_request3D, 0, sizeof m_request3D);
    int kind = m_request3D.version < 12 ? 1 : 2;
    vornGL::InitVornEGLLibrary(kind);
    vornGL::InitVornEGLFuncPtrs();
    vornGL::InitVornGLLibrary(kind);

    m_window = window;
    m_colorDepth = depth ? depth : 16;

    // The host names the native display (never a window) and its platform.
    void* native = nullptr;
    int platform = host::EglPlatform(&native);
    EGLDisplay dpy = EGL_NO_DISPLAY;
    if (platform)
        dpy = eglGetPlatformDisplay(EGLenum(platform), native, nullptr);
    else
        dpy = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(native));
    if (dpy == EGL_NO_DISPLAY)
        dpy = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (dpy == EGL_NO_DISPLAY) {
        LogEglError("eglGetDisplay");
        return 0;
    }
    m_eglDisplay = dpy;

    if (!eglInitialize(dpy, nullptr, nullptr)) {
        LogEglError("eglInitialize");
        return 0;
    }
    m_graphicsType = kind;
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        LogEglError("eglBindAPI");
        return 0;
    }

    EGLint configCount = 0;
    if (!eglGetConfigs(dpy, nullptr, 0, &configCount) || configCount <= 0) {
        LogEglError("eglGetConfigs");
        return 0;
    }

    int n = 0;
    m_attribs[n++] = EGL_LEVEL;
    m_attribs[n++] = 0;
    m_attribs[n++] = EGL_SURFACE_TYPE;
    m_attribs[n++] = m_surfaceKind;
    if (request3D) {
        if (m_request3D.version > 11) {
            m_attribs[n++] = EGL_RENDERABLE_TYPE;
            m_attribs[n++] = EGL_OPENGL_ES2_BIT;
        }
        m_attribs[n++] = EGL_SAMPLE_BUFFERS;
        m_attribs[n++] = m_request3D.sampleBuffers;
        if (m_request3D.sampleBuffers) {
            m_attribs[n++] = EGL_SAMPLES;
            m_attribs[n++] = m_request3D.samples;
        }
        m_attribs[n++] = EGL_DEPTH_SIZE;
        m_attribs[n++] = m_request3D.depthBits;
        m_attribs[n++] = EGL_STENCIL_SIZE;
        m_attribs[n++] = m_request3D.stencilBits;
        m_attribs[n++] = EGL_ALPHA_SIZE;
        m_attribs[n++] = m_request3D.alphaBits;
    } else {
        m_attribs[n++] = EGL_DEPTH_SIZE;
        m_attribs[n++] = 16;
        m_request3D.depthBits = 16;
    }
    if (request && request->redBits) {
        m_attribs[n++] = EGL_RED_SIZE;
        m_attribs[n++] = request->redBits;
    }
    m_attribs[n] = EGL_NONE;

    EGLConfig* configs = static_cast<EGLConfig*>(PAlloc(int(sizeof(EGLConfig)) * configCount));
    if (!configs)
        return 0;
    EGLint matched = 0;
    EGLBoolean chosen = eglChooseConfig(dpy, m_attribs, configs, configCount, &matched);
    if (chosen && matched > 0) {
        // EGL takes a channel size as a least one and sorts deeper buffers
        // first (10 bits a channel where the driver has them): the first
        // configuration with exactly the asked red and blue sizes is taken, so
        // that frames are drawn and blended at the depth the game asks for.
        m_eglConfig = configs[0];
        int want = request && request->redBits ? request->redBits : 0;
        for (EGLint i = 0; want && i < matched; ++i)
            if (ConfigAttrib(dpy, configs[i], EGL_RED_SIZE) == want &&
                ConfigAttrib(dpy, configs[i], EGL_BLUE_SIZE) == want) {
                m_eglConfig = configs[i];
                break;
            }
    }
    PFree(configs);
    if (!m_eglConfig) {
        LogEglError("eglChooseConfig (no matching configuration)");
        return 0;
    }

    if (!CreateContext())
        return 0;
    if (!CreateSurface())
        return 0;
    return MakeCurrent();
}

PDisplayEGL* PDisplayEGL::Create(void* window, int depth, PDisplayProperties* request,
                                 PDisplayProperties3D* request3D)
{
    PDisplayEGL* display = new PDisplayEGL();
    if (!display)
        return nullptr;
    if (!window)
        display->m_surfaceKind = PSURFACE_PBUFFER;
    if (!display->Init(window, depth, request, request3D)) {
        delete display;
        return nullptr;
    }
    return display;
}

int PDisplayEGL::CreateContext()
{
    // The client version follows the graphics type, also when the context is
    // made again after being lost.
    static EGLint const es2[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext ctx = eglCreateContext(Dpy(m_eglDisplay), static_cast<EGLConfig>(m_eglConfig), EGL_NO_CONTEXT,
                                      m_graphicsType == PGRAPHICS_GLES2 ? es2 : nullptr);
    if (ctx == EGL_NO_CONTEXT) {
        LogEglError("eglCreateContext");
        return 0;
    }
    m_eglContext = ctx;
    return 1;
}

int PDisplayEGL::CreateSurface()
{
    EGLDisplay dpy = Dpy(m_eglDisplay);
    EGLConfig config = static_cast<EGLConfig>(m_eglConfig);
    EGLSurface surface = EGL_NO_SURFACE;
    if (m_surfaceKind == PSURFACE_WINDOW) {
        surface = eglCreateWindowSurface(dpy, config, reinterpret_cast<EGLNativeWindowType>(m_window), nullptr);
    } else {
        EGLint const attribs[] = {EGL_WIDTH, m_pbufferWidth, EGL_HEIGHT, m_pbufferHeight, EGL_NONE};
        surface = eglCreatePbufferSurface(dpy, config, attribs);
    }
    if (surface == EGL_NO_SURFACE) {
        LogEglError(m_surfaceKind == PSURFACE_WINDOW ? "eglCreateWindowSurface" : "eglCreatePbufferSurface");
        return 0;
    }
    m_eglSurface = surface;
    return 1;
}

int PDisplayEGL::MakeCurrent()
{
    if (!m_eglDisplay) {
        m_current = 0;
        return 0;
    }
    if (!m_eglSurface && !ReConfigure(m_window)) {
        m_current = 0;
        return 0;
    }
    EGLSurface s = static_cast<EGLSurface>(m_eglSurface);
    if (!eglMakeCurrent(Dpy(m_eglDisplay), s, s, static_cast<EGLContext>(m_eglContext))) {
        LogEglError("eglMakeCurrent");
        m_current = 0;
        return 0;
    }
    m_current = 1;
    return 1;
}

int PDisplayEGL::ReConfigure(void* window)
{
    EGLDisplay dpy = Dpy(m_eglDisplay);
    if (!dpy || !m_eglConfig)
        return 0;
    int wasCurrent = m_current;
    if (wasCurrent) {
        m_current = 0;
        eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (window != m_window) {
        m_window = window;
        if (m_eglSurface) {
            eglDestroySurface(dpy, static_cast<EGLSurface>(m_eglSurface));
            m_eglSurface = nullptr;
        }
    }
    if (!m_eglContext && !CreateContext())
        return 0;
    if (!m_eglSurface && !CreateSurface())
        return 0;
    if (wasCurrent) {
        EGLSurface s = static_cast<EGLSurface>(m_eglSurface);
        if (eglMakeCurrent(dpy, s, s, static_cast<EGLContext>(m_eglContext)))
            m_current = 1;
        else
            LogEglError("eglMakeCurrent");
    }
    return 1;
}

int PDisplayEGL::Activate(int on)
{
    if (on >= 1)
        return MakeCurrent();
    EGLDisplay dpy = Dpy(m_eglDisplay);
    if (m_current) {
        eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (m_eglSurface)
            eglDestroySurface(dpy, static_cast<EGLSurface>(m_eglSurface));
        m_eglSurface = nullptr;
        m_current = 0;
    } else if (on < 0 && m_eglSurface) {
        eglDestroySurface(dpy, static_cast<EGLSurface>(m_eglSurface));
        m_eglSurface = nullptr;
    }
    return 1;
}

void PDisplayEGL::Update(int finish)
{
    if (!m_current)
        return;
    vornGL::vornGLProfilerPresent();
    if (finish)
        glFinish();
    EGLDisplay dpy = Dpy(m_eglDisplay);
    EGLSurface s = static_cast<EGLSurface>(m_eglSurface);
    EGLint w = 0, h = 0;
    if (eglQuerySurface(dpy, s, EGL_WIDTH, &w) && eglQuerySurface(dpy, s, EGL_HEIGHT, &h))
        host::PresentGL(w, h);
    if (!eglSwapBuffers(dpy, s)) {
        LogEglError("eglSwapBuffers");
        Activate(0);
    }
}

void PDisplayEGL::GetInfo(PDisplayProperties& props)
{
    std::memset(&props, 0, sizeof props);
    if (!m_eglSurface)
        return;
    EGLDisplay dpy = Dpy(m_eglDisplay);
    EGLSurface s = static_cast<EGLSurface>(m_eglSurface);
    EGLint w = 0, h = 0;
    if (!eglQuerySurface(dpy, s, EGL_WIDTH, &w)) {
        LogEglError("eglQuerySurface");
        return;
    }
    eglQuerySurface(dpy, s, EGL_HEIGHT, &h);
    props.width = w;
    props.height = h;
    props.colorDepth = uint16_t(m_colorDepth);
    props.bitsPerPixel = uint16_t(m_colorDepth >= 9 && m_colorDepth <= 16 ? 16 : m_colorDepth);
    EGLConfig config = static_cast<EGLConfig>(m_eglConfig);
    PDisplaySetChannels(props, ConfigAttrib(dpy, config, EGL_RED_SIZE), ConfigAttrib(dpy, config, EGL_GREEN_SIZE),
                        ConfigAttrib(dpy, config, EGL_BLUE_SIZE));
}

void PDisplayEGL::GetInfo3D(PDisplayProperties3D& props3D)
{
    EGLDisplay dpy = Dpy(m_eglDisplay);
    EGLConfig config = static_cast<EGLConfig>(m_eglConfig);
    props3D.depthBits = uint8_t(ConfigAttrib(dpy, config, EGL_DEPTH_SIZE));
    props3D.stencilBits = uint8_t(ConfigAttrib(dpy, config, EGL_STENCIL_SIZE));
    props3D.alphaBits = uint8_t(ConfigAttrib(dpy, config, EGL_ALPHA_SIZE));
    props3D.sampleBuffers = uint8_t(ConfigAttrib(dpy, config, EGL_SAMPLE_BUFFERS));
}

// ---------------------------------------------------------------------------

PRimDisplay::PRimDisplay(int kind, int alpha, PDisplayProperties* request)
{
    int format = alpha ? host::FORMAT_RGBA8888
                       : request && request->redBits >= 8 ? host::FORMAT_RGBX8888 : host::FORMAT_RGB565;
    m_screenWindow = host::CreateWindow(format, kind < 2 ? host::USAGE_OPENGL_ES1 : host::USAGE_OPENGL_ES2);
    int w = 0, h = 0;
    host::WindowSize(m_screenWindow, &w, &h);
    if (!host::NativeWindow(m_screenWindow)) {
        // No window system: draw into an off-screen surface of the window's size.
        m_surfaceKind = PSURFACE_PBUFFER;
        SetPbufferSize(w, h);
    }
}

PRimDisplay::~PRimDisplay()
{
    CloseEGL();
    host::DestroyWindow(m_screenWindow);
    m_screenWindow = nullptr;
}

void* PRimDisplay::NativeWindow() const
{
    return host::NativeWindow(m_screenWindow);
}

void PRimDisplay::Update(int finish)
{
    // The GL layer draws into its own framebuffer: the callback copies it to
    // the window, and after the swap that framebuffer is bound again.
    GLint framebuffer = 0;
    if (m_updateCallback) {
        if (m_current)
            glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
        m_updateCallback(m_gles);
    }
    PDisplayEGL::Update(finish);
    if (m_updateCallback && framebuffer && m_current)
        glBindFramebuffer(GL_FRAMEBUFFER, GLuint(framebuffer));
}

void PRimDisplay::GetInfo(PDisplayProperties& props)
{
    PDisplayEGL::GetInfo(props);
    props.fbWidth = m_fbWidth;
    props.fbHeight = m_fbHeight;
    props.fbFlags = m_fbFlags;
    if (m_updateCallback && m_fbWidth && m_fbHeight) {
        props.width = m_fbWidth;
        props.height = m_fbHeight;
        props.screenWidth = m_screenWidth;
        props.screenHeight = m_screenHeight;
    } else {
        props.screenWidth = props.width;
        props.screenHeight = props.height;
    }
    if (m_orientation == PDISPLAY_ORIENT_90 || m_orientation == PDISPLAY_ORIENT_270) {
        int32_t t = props.width;
        props.width = props.height;
        props.height = t;
    }
}

int PRimDisplay::SetOrientation(PDisplayOrientations orientation)
{
    if (orientation == m_orientation)
        return 1;
    m_orientation = orientation;
    return ReConfigure(m_window) ? 1 : 0;
}

void PRimDisplay::InitFbo(PDisplayProperties* request)
{
    PDisplayProperties info;
    PDisplayEGL::GetInfo(info);
    int W = info.width, H = info.height;
    m_screenWidth = W;
    m_screenHeight = H;
    m_fbWidth = 0;
    m_fbHeight = 0;
    if (!request)
        return;
    int64_t w = request->fbWidth, h = request->fbHeight;
    if (w <= 0 || h <= 0)
        return;
    if (request->fitFlags) {
        if ((w < h && W > H) || (w > h && W < H)) {
            int64_t t = w;
            w = h;
            h = t;
        }
        // Matching the aspect needs a screen size; after a failed query there is none.
        if ((request->fitFlags & 2) && W > 0 && H > 0) {
            int64_t a = (int64_t(W) << 16) / H;
            int64_t b = (w << 16) / h;
            int64_t f = a == b ? 0x10000 : a > b ? (a << 16) / b : (b << 16) / a;
            if (a >= 0x10000)
                w = (w * f) >> 16;
            else
                h = (h * f) >> 16;
        }
    }
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF)
        return;
    m_fbWidth = int32_t(w) & ~1;
    m_fbHeight = int32_t(h) & ~1;
    m_fbFlags = request->fbFlags;
    if (m_fbWidth == W && m_fbHeight == H) {
        m_fbWidth = 0;
        m_fbHeight = 0;
    }
}

void PRimDisplay::ConvertPos(int& x, int& y)
{
    int W = m_screenWidth, H = m_screenHeight;
    if (m_updateCallback) {
        // Screen pixels to framebuffer pixels; nothing to scale without a size.
        if (W > 0 && H > 0) {
            int64_t sx = (int64_t(m_fbWidth) << 16) / W;
            int64_t sy = (int64_t(m_fbHeight) << 16) / H;
            x = int((int64_t(x) * sx) >> 16);
            y = int((int64_t(y) * sy) >> 16);
        }
        W = m_fbWidth;
        H = m_fbHeight;
    }
    PDisplayRotatePos(m_orientation, W, H, x, y);
}
