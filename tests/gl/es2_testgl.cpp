#include "es2_testgl.h"

#include <EGL/egl.h>
#include <GLES2/gl2.h>

#include <cstdlib>
#include <filesystem>

#include "gl/es2_gl.h"
#include "gl/glbackend_es11.h"

namespace testes2 {

bool EglContext::Create(int version, int w, int h)
{
    Destroy();
    EGLDisplay dpy = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr))
        return false;
    m_display = dpy;
    eglBindAPI(EGL_OPENGL_ES_API);
    EGLint const attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                              version == 1 ? EGL_OPENGL_ES_BIT : EGL_OPENGL_ES2_BIT, EGL_RED_SIZE, 8,
                              EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8, EGL_DEPTH_SIZE, 24,
                              EGL_STENCIL_SIZE, 8, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(dpy, attribs, &config, 1, &count) || count == 0)
        return false;
    EGLint const size[] = {EGL_WIDTH, w, EGL_HEIGHT, h, EGL_NONE};
    m_surface = eglCreatePbufferSurface(dpy, config, size);
    EGLint const ver[] = {EGL_CONTEXT_CLIENT_VERSION, version, EGL_NONE};
    m_context = eglCreateContext(dpy, config, EGL_NO_CONTEXT, ver);
    if (!m_surface || !m_context || !eglMakeCurrent(dpy, m_surface, m_surface, m_context)) {
        Destroy();
        return false;
    }
    width = w;
    height = h;
    return true;
}

void EglContext::Destroy()
{
    if (!m_display)
        return;
    eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (m_context)
        eglDestroyContext(m_display, m_context);
    if (m_surface)
        eglDestroySurface(m_display, m_surface);
    m_display = m_surface = m_context = nullptr;
}

std::vector<unsigned char> EglContext::Read() const
{
    std::vector<unsigned char> px(size_t(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

// ---------------------------------------------------------------------------
// Tracing shim

std::vector<std::string> Trace::calls;

namespace {

#define TESTES2_TRACE_FN(kind, ret, name, params, args, cv) \
    VORNGL_ES2_IF_HAS(kind, name, ret Trace_##name params { \
        Trace::calls.push_back(#name);                      \
        return vornGL::kPlatformGLES2.name args;            \
    })

using vornGL::f32;
using vornGL::i32;
using vornGL::u32;
using vornGL::u8;
VORNGL_BACKEND_SLOTS(TESTES2_TRACE_FN)

#define TESTES2_TRACE_INIT(kind, ret, name, params, args, cv) VORNGL_ES2_IF_HAS(kind, name, &Trace_##name, )
vornGL::ES2Dispatch const kTracing = {VORNGL_BACKEND_SLOTS(TESTES2_TRACE_INIT)};

} // namespace

Trace::Trace()
{
    calls.clear();
    vornGL::g_gles2 = kTracing;
}

Trace::~Trace()
{
    vornGL::g_gles2 = vornGL::kPlatformGLES2;
    calls.clear();
}

size_t Trace::Count(std::string const& prefix) const
{
    size_t n = 0;
    for (auto const& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            ++n;
    return n;
}

std::string Trace::Joined() const
{
    std::string s;
    for (auto const& c : calls)
        s += c + " ";
    return s;
}

// ---------------------------------------------------------------------------

bool FrontEnd::Create(int api, int width, int height)
{
    info.width = info.screenWidth = width;
    info.height = info.screenHeight = height;
    gl = std::make_unique<GLES>();
    vornGL::P3DBackend* b = nullptr;
    if (api == 2) {
        es2 = new vornGL::P3DBackendES20(&info, gl->GetStateMan());
        b = es2;
    } else {
        b = new vornGL::P3DBackendES11(&info);
    }
    if (!b)
        return false;
    gl->Init(b, nullptr); // no off-screen framebuffer: draws go to the pbuffer
    gl->glGetError();
    return true;
}

int MaxDifference(std::vector<unsigned char> const& a, std::vector<unsigned char> const& b)
{
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

ScratchDir::ScratchDir()
{
    char tmpl[] = "/tmp/es2test.XXXXXX";
    char* d = mkdtemp(tmpl);
    path = d ? std::string(d) + "/" : std::string("/tmp/");
    setenv("VORNAPP_SAVEPATH", path.c_str(), 1);
}

ScratchDir::~ScratchDir()
{
    unsetenv("VORNAPP_SAVEPATH");
    std::error_code ec;
    if (path.size() > 5 && path.compare(0, 5, "/tmp/") == 0 && path != "/tmp/")
        std::filesystem::remove_all(path, ec);
}

} // namespace testes2
